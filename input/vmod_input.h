// vmod_input.h - the framework's input module: device keys mapped to
// application actions, hold state with held times, key repeat, the event and
// character queues, the last stylus, wheel and tilt input, and key names.
//
// The framework feeds it from the button poll (OnKeyDown/OnKeyUp) and calls
// CheckRepeat before and ResetEvents after each application frame; the
// application takes the queued events during its frame. Fixed-size tables
// throughout; only a replaced key-name text allocates.
// Tunables: repeat delay 300 ms, repeat rate 100 ms (fixed).
// Depends on: util/vmod_std.h (string copies, numbers), util/vmod_memory.h
// (the key-name text).
#pragma once

#include <cstdint>
#include <initializer_list>

// One queued input event. Key events carry the click position of the moment.
struct V_INPUTEVENT {
  int32_t x;     // click position
  int32_t y;     // click position
  uint8_t type;  // INPUTEVENT_PRESS .. INPUTEVENT_RELEASE
  uint8_t code;  // action 0..223, or INPUT_CLICKCODE + click button
};

// Event types.
constexpr uint8_t INPUTEVENT_PRESS = 1;        // key or click button went down
constexpr uint8_t INPUTEVENT_DOUBLECLICK = 2;  // click button double click
constexpr uint8_t INPUTEVENT_REPEAT = 3;       // held long enough for a repeat
constexpr uint8_t INPUTEVENT_RELEASE = 4;      // key or click button went up

// Actions the game reads; keys reach them through the mapping table.
constexpr uint8_t ACTION_VOLUME_UP = 164;    // volume up button
constexpr uint8_t ACTION_VOLUME_DOWN = 165;  // volume down button
constexpr uint8_t ACTION_UP = 192;           // D-pad up
constexpr uint8_t ACTION_DOWN = 193;         // D-pad down
constexpr uint8_t ACTION_LEFT = 194;         // D-pad left
constexpr uint8_t ACTION_RIGHT = 195;        // D-pad right
constexpr uint8_t ACTION_MENU = 198;         // L (the game adds Start and Select)
constexpr uint8_t ACTION_ALT = 199;          // R (the game adds X)
constexpr uint8_t ACTION_SELECT = 201;       // stick press, B, Y

constexpr int32_t INPUT_MAXACTION = 223;     // highest action a key can map to
constexpr uint8_t INPUT_CLICKCODE = 224;     // event code of click button 0; buttons 1..3 follow
constexpr uint32_t INPUT_MAXCLICKBUTTON = 3; // highest click button
constexpr int32_t INPUT_MAXMAPPINGS = 128;   // room in the mapping table
constexpr int32_t INPUT_QUEUESIZE = 32;      // room in the event and character queues
constexpr int32_t INPUT_HOLDCOUNT = 240;     // hold words: actions 0..223, click buttons 224..239
constexpr int32_t INPUT_NAMECOUNT = 160;     // key-name entries: 96 characters, 64 descriptor lines
constexpr int32_t INPUT_TILT_NOTAVAILABLE = 3; // GetTiltData: no tilt sensor

class ClassVInput {
 public:
  ClassVInput();                                               // no mappings, nothing held, built-in key names
  ~ClassVInput();                                              // frees the key-name text
  ClassVInput(const ClassVInput&) = delete;
  ClassVInput& operator=(const ClassVInput&) = delete;

  // Feeding, from the framework.
  void OnKeyDown(uint16_t key);                                // holds and queues presses of the key's actions; 0 ignored
  void OnKeyUp(uint16_t key);                                  // releases and queues releases of the key's actions; 0 ignored
  void OnClickDown(int32_t x, int32_t y, uint32_t button);     // position; holds the button and queues a press
  void OnClickUp(int32_t x, int32_t y, uint32_t button);       // position; releases the button and queues a release
  void OnClickDouble(int32_t x, int32_t y, uint32_t button);   // position; holds the button and queues a double click
  void OnClickMove(int32_t x, int32_t y);                      // position only
  void OnWheelScroll(int32_t delta);                           // adds the sign of delta to the wheel counter
  void OnTilt(int32_t x, int32_t y);                           // stores the tilt values
  void CheckRepeat(uint32_t elapsed);                          // advances held times by elapsed ms, queues repeats
  void ResetEvents();                                          // drops queued events and characters, clears the last key
  void ResetState();                                           // also releases every hold and key, clears the wheel
  void SetRepeatRates(uint32_t delay, uint32_t rate);          // accepted and ignored: the rates are fixed

  // Mapping; the order of insertion is kept.
  bool AddKeyMapping(int32_t action, uint16_t key);            // appends; false for an action above 223 or a full table
  bool AddKeyMapping(int32_t action, std::initializer_list<uint16_t> keys); // appends each in order, stops at a failure; the last result
  void RemoveKeyMapping(uint16_t key);                         // removes every mapping of the key
  void RemoveActionMapping(int32_t action);                    // removes every mapping of the action
  bool MappedTo(int32_t action, uint16_t key) const;           // whether the pair is mapped
  void SetDefaultMappings();                                   // appends the handheld's default table

  // Querying, from the application.
  bool GetKeyEvent(V_INPUTEVENT* event);                       // takes the first key event; click events stay
  uint8_t GetKeyEvent(int32_t action);                         // takes the action's first event: its type, 0 if none
  bool GetClickEvent(V_INPUTEVENT* event);                     // takes the first event of click button 0..2; code becomes the button
  bool KeyHold(int32_t action) const;                          // whether the action is held
  bool ClickHold(uint32_t button) const;                       // whether the click button is held (button 0: any)
  int32_t GetKeyPressCount(int32_t action, bool countrepeats) const; // queued presses (and repeats) of the action
  int32_t GetClickPressCount(int32_t* x, int32_t* y, uint32_t button, bool countrepeats) const; // the same for a click button, with the last one's position
  char16_t GetChar(uint16_t* key);                             // takes the first queued character (0 if none) and its key
  void PutChar(char16_t ch, uint16_t key);                     // queues a character unless full or the key maps to action 200
  uint16_t GetLastKey() const;                                 // the last key pressed this frame, 0 if none
  void GetClickPosition(int32_t* x, int32_t* y) const;         // the last click position
  int32_t GetWheelScroll();                                    // the wheel counter, cleared
  void GetTiltAngle(int32_t* x, int32_t* y) const;             // the last tilt values
  int32_t GetTiltData() const;                                 // INPUT_TILT_NOTAVAILABLE

  // Key names: entries 0..95 name the characters 32..127, entries 96..159
  // are the lines of the descriptor text.
  bool LoadKeyDescriptor(const char16_t* text);                // replaces the descriptor; false (old kept) without memory
  bool LoadKeyDescriptor(const char* text);                    // the same for 8-bit text
  void GetKeyName(uint16_t code, char16_t* buffer, int32_t size) const; // the key's name, "#" and the code if none, "None" for 0
  void GetKeyName(uint16_t code, char* buffer, int32_t size) const;     // the same, 8-bit

 private:
  template <typename PREDICATE> int32_t FindEvent(PREDICATE matches) const;
  template <typename PREDICATE> void RemoveMappings(PREDICATE matches);
  template <typename CHAR> void WriteKeyName(uint16_t code, CHAR* buffer, int32_t size) const;
  void QueueEvent(uint8_t type, uint8_t code);
  void TakeEvent(int32_t index, V_INPUTEVENT* event);
  bool ActionKeyDown(uint8_t action) const;
  void HoldClick(uint32_t button, uint8_t type);
  void ParseKeyDescriptor(char16_t* text);

  V_INPUTEVENT events[INPUT_QUEUESIZE];                        // queued events, oldest first
  int32_t eventcount = 0;                                      // 0..32
  uint32_t mappings[INPUT_MAXMAPPINGS];                        // key << 16 | key-down 0x100 | action
  int32_t mappingcount = 0;                                    // 0..128
  uint32_t holds[INPUT_HOLDCOUNT];                             // held time << 16 | repeat count << 8 | held flag
  char16_t chars[INPUT_QUEUESIZE];                             // queued characters, oldest first
  uint16_t charkeys[INPUT_QUEUESIZE];                          // the key that produced each character
  int32_t charcount = 0;                                       // 0..32
  int32_t clickx = 0;                                          // last click position
  int32_t clicky = 0;
  int32_t tiltx = 0;                                           // last tilt values
  int32_t tilty = 0;
  int32_t wheel = 0;                                           // wheel steps not yet read
  uint16_t lastkey = 0;                                        // last key pressed, 0 = none
  uint32_t repeatdelay;                                        // ms held before the first repeat
  uint32_t repeatrate;                                         // ms between later repeats
  char16_t* nametext = nullptr;                                // the descriptor's lines, each zero-terminated
  const char16_t* names[INPUT_NAMECOUNT];                      // name entries; null = no name
};
