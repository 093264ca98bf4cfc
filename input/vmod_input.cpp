// vmod_input.cpp - key mapping, holds and repeat, event and character queues,
// key names.
//
// Every table is a fixed array scanned linearly: at most 128 mappings, 240
// hold words and 32 queued events, so nothing here allocates per frame.
// Depends on: util/vmod_std.h, util/vmod_memory.h (the key-name text).
#include "input/vmod_input.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "util/vmod_memory.h"
#include "util/vmod_std.h"

namespace {

// Mapping word: key code in bits 16..31, key-down flag, action in bits 0..7.
constexpr uint32_t MAPPING_KEYSHIFT = 16;
constexpr uint32_t MAPPING_KEYDOWN = 0x100;
constexpr uint32_t MAPPING_ACTIONMASK = 0xFF;

// Hold word: held time (ms) in bits 16..31, repeat count in bits 8..15, held
// flag in bits 0..7.
constexpr uint32_t HOLD_HELD = 1;
constexpr uint32_t HOLD_FLAGMASK = 0xFF;
constexpr uint32_t HOLD_COUNTSHIFT = 8;
constexpr uint32_t HOLD_COUNTMASK = 0xFF << HOLD_COUNTSHIFT;
constexpr uint32_t HOLD_COUNTSTEP = 1 << HOLD_COUNTSHIFT;
constexpr uint32_t HOLD_TIMESHIFT = 16;
constexpr uint32_t HOLD_MAXTIME = 0xFFFF;

constexpr uint32_t REPEAT_DELAY_MS = 300;
constexpr uint32_t REPEAT_RATE_MS = 100;

// Keys mapped to this action (stick press, B) confirm rather than type.
constexpr int32_t ACTION_NOCHAR = 200;

// Name entries: the printable characters first, then the descriptor lines.
constexpr int32_t NAME_FIRSTCHAR = 32;
constexpr int32_t NAME_FIRSTLINE = 96;
constexpr uint8_t NAME_NONE = 0xFF;
constexpr int32_t KEYCODE_COUNT = 256;

// 8-bit descriptors of up to this many characters are widened on the stack.
constexpr int32_t NARROW_STACKCHARS = 256;

// Longest "#" and number text: "#65535" and the zero.
constexpr int32_t NUMBER_NAMESIZE = 8;

struct DEFAULTMAPPING {
  uint8_t action;
  uint16_t key;
};

// The handheld's default table, in the order it is appended. Keys are the
// GP2X button codes: 1 up, 3 left, 5 down, 7 right, 9 Start, 10 Select, 11 L,
// 12 R, 13 A, 14 B, 15 X, 16 Y, 23 volume down, 24 volume up, 28 stick press.
constexpr DEFAULTMAPPING DEFAULT_MAPPINGS[] = {
    {160, 1},  {161, 5},  {162, 3},  {163, 7},
    {ACTION_VOLUME_UP, 24}, {ACTION_VOLUME_DOWN, 23},
    {166, 11}, {167, 12},
    {ACTION_UP, 1}, {ACTION_DOWN, 5}, {ACTION_LEFT, 3}, {ACTION_RIGHT, 7},
    {196, 28}, {196, 14}, {196, 16},
    {197, 13}, {197, 15},
    {ACTION_SELECT, 28}, {ACTION_SELECT, 14}, {ACTION_SELECT, 16},
    {ACTION_MENU, 11},
    {ACTION_ALT, 12},
    {ACTION_NOCHAR, 28}, {ACTION_NOCHAR, 14},
    {208, 1},  {209, 5},  {210, 3},  {211, 7},
    {212, 14}, {212, 15}, {212, 11},
    {213, 13}, {213, 16}, {213, 12}, {213, 10},
    {214, 9},
};

// The built-in descriptor; line n becomes name entry NAME_FIRSTLINE + n.
constexpr char16_t BUILTIN_DESCRIPTOR[] =
    u"Up\nDown\nLeft\nRight\n"                                   // lines 0..3
    u"F1\nF2\nF3\nF4\nF5\nF6\nF7\nF8\nF9\nF10\nF11\nF12\n"       // lines 4..15
    u"Tab\nSpace\nEnter\nShift\nControl\nAlt\nEsc\n"             // lines 16..22
    u"Insert\nDelete\nHome\nEnd\nPageup\nPagedown\n"             // lines 23..28
    u"Capslock\nNumlock\nScroll lock\nPrintscreen\nPause\nBackspace\n" // lines 29..34
    u"Softkey 1\nSoftkey 2\nSoftkey 3\nSoftkey 4\n"              // lines 35..38
    u"Menu\nStart\nSelect\n"                                     // lines 39..41
    u"Jog up\nJog down\nJog\n"                                   // lines 42..44
    u"Volume up\nVolume down";                                   // lines 45..46

constexpr uint8_t LineEntry(int32_t line) { return static_cast<uint8_t>(NAME_FIRSTLINE + line); }
constexpr uint8_t CharEntry(char ch) { return static_cast<uint8_t>(ch - NAME_FIRSTCHAR); }

struct KEYNAME {
  uint8_t code;
  uint8_t entry;
};

// The handheld's keys that have a name; every other code has none.
constexpr KEYNAME KEY_NAMES[] = {
    {1, LineEntry(0)},   {3, LineEntry(2)},   {5, LineEntry(1)},   {7, LineEntry(3)},    // Up Left Down Right
    {9, LineEntry(40)},  {10, LineEntry(41)},                                            // Start Select
    {11, CharEntry('L')}, {12, CharEntry('R')}, {13, CharEntry('A')}, {14, CharEntry('B')},
    {15, CharEntry('X')}, {16, CharEntry('Y')},
    {23, LineEntry(46)}, {24, LineEntry(45)},                                            // Volume down, up
    {28, LineEntry(18)},                                                                 // Enter
};

constexpr std::array<uint8_t, KEYCODE_COUNT> BuildKeyCodeEntries() {
  std::array<uint8_t, KEYCODE_COUNT> entries{};
  for (uint8_t& entry : entries) {
    entry = NAME_NONE;
  }
  for (const KEYNAME& name : KEY_NAMES) {
    entries[name.code] = name.entry;
  }
  return entries;
}
constexpr std::array<uint8_t, KEYCODE_COUNT> KEYCODE_ENTRIES = BuildKeyCodeEntries();

// One-character names of the codes 32..127, each zero-terminated.
using CHARNAMES = std::array<std::array<char16_t, 2>, NAME_FIRSTLINE>;
constexpr CHARNAMES BuildCharNames() {
  CHARNAMES names{};
  for (int32_t i = 0; i < NAME_FIRSTLINE; ++i) {
    names[static_cast<size_t>(i)][0] = static_cast<char16_t>(i + NAME_FIRSTCHAR);
  }
  return names;
}
constexpr CHARNAMES CHAR_NAMES = BuildCharNames();

uint16_t MappingKey(uint32_t mapping) { return static_cast<uint16_t>(mapping >> MAPPING_KEYSHIFT); }
uint8_t MappingAction(uint32_t mapping) { return static_cast<uint8_t>(mapping & MAPPING_ACTIONMASK); }
bool MappingDown(uint32_t mapping) { return (mapping & MAPPING_KEYDOWN) != 0; }

bool Held(uint32_t hold) { return (hold & HOLD_FLAGMASK) != 0; }
uint32_t HeldTime(uint32_t hold) { return hold >> HOLD_TIMESHIFT; }
uint32_t RepeatCount(uint32_t hold) { return (hold & HOLD_COUNTMASK) >> HOLD_COUNTSHIFT; }

bool IsAction(int32_t action) { return action >= 0 && action <= INPUT_MAXACTION; }
bool IsCountedPress(uint8_t type, bool countrepeats) {
  return type == INPUTEVENT_PRESS || (countrepeats && type == INPUTEVENT_REPEAT);
}
bool IsLineBreak(char16_t ch) { return ch == u'\r' || ch == u'\n'; }

// Moves the items after index up by one; the caller shortens its count.
template <typename T>
void ShiftOut(T* items, int32_t count, int32_t index) {
  std::copy(items + index + 1, items + count, items + index);
}

}  // namespace

ClassVInput::ClassVInput() : repeatdelay(REPEAT_DELAY_MS), repeatrate(REPEAT_RATE_MS) {
  std::fill(std::begin(holds), std::end(holds), 0u);
  for (int32_t i = 0; i < NAME_FIRSTLINE; ++i) {
    names[i] = CHAR_NAMES[i].data();
  }
  std::fill(names + NAME_FIRSTLINE, names + INPUT_NAMECOUNT, nullptr);
  LoadKeyDescriptor(BUILTIN_DESCRIPTOR);
}

ClassVInput::~ClassVInput() { ClassVMemory::DeAlloc(nametext); }

void ClassVInput::OnKeyDown(uint16_t key) {
  if (key == 0) {
    return;
  }
  lastkey = key;
  // Every action of the key is held before any press is queued, so the
  // application sees all of them held when it takes the first press.
  for (int32_t i = 0; i < mappingcount; ++i) {
    if (MappingKey(mappings[i]) == key) {
      mappings[i] |= MAPPING_KEYDOWN;
      const uint8_t action = MappingAction(mappings[i]);
      if (!Held(holds[action])) {
        holds[action] = HOLD_HELD;
      }
    }
  }
  for (int32_t i = 0; i < mappingcount; ++i) {
    if (MappingKey(mappings[i]) == key) {
      QueueEvent(INPUTEVENT_PRESS, MappingAction(mappings[i]));
    }
  }
}

void ClassVInput::OnKeyUp(uint16_t key) {
  if (key == 0) {
    return;
  }
  // An action reached through another key that is still down stays held,
  // held time and all.
  for (int32_t i = 0; i < mappingcount; ++i) {
    if (MappingKey(mappings[i]) == key) {
      mappings[i] &= ~MAPPING_KEYDOWN;
      const uint8_t action = MappingAction(mappings[i]);
      if (!ActionKeyDown(action)) {
        holds[action] = 0;
      }
    }
  }
  for (int32_t i = 0; i < mappingcount; ++i) {
    if (MappingKey(mappings[i]) == key) {
      QueueEvent(INPUTEVENT_RELEASE, MappingAction(mappings[i]));
    }
  }
}

void ClassVInput::OnClickDown(int32_t x, int32_t y, uint32_t button) {
  OnClickMove(x, y);
  HoldClick(button, INPUTEVENT_PRESS);
}

void ClassVInput::OnClickUp(int32_t x, int32_t y, uint32_t button) {
  OnClickMove(x, y);
  if (button > INPUT_MAXCLICKBUTTON) {
    return;
  }
  const uint8_t code = static_cast<uint8_t>(INPUT_CLICKCODE + button);
  holds[code] = 0;
  QueueEvent(INPUTEVENT_RELEASE, code);
}

void ClassVInput::OnClickDouble(int32_t x, int32_t y, uint32_t button) {
  OnClickMove(x, y);
  HoldClick(button, INPUTEVENT_DOUBLECLICK);
}

void ClassVInput::OnClickMove(int32_t x, int32_t y) {
  clickx = x;
  clicky = y;
}

void ClassVInput::OnWheelScroll(int32_t delta) {
  // Only the direction counts; the counter stops at its limits.
  if (delta > 0 && wheel < INT32_MAX) {
    ++wheel;
  } else if (delta < 0 && wheel > INT32_MIN) {
    --wheel;
  }
}

void ClassVInput::OnTilt(int32_t x, int32_t y) {
  tiltx = x;
  tilty = y;
}

void ClassVInput::CheckRepeat(uint32_t elapsed) {
  for (int32_t i = 0; i < INPUT_HOLDCOUNT; ++i) {
    uint32_t hold = holds[i];
    if (!Held(hold)) {
      continue;
    }
    const uint32_t time = HeldTime(hold);
    const uint32_t newtime = elapsed >= HOLD_MAXTIME - time ? HOLD_MAXTIME : time + elapsed;
    hold = (hold & ~(HOLD_MAXTIME << HOLD_TIMESHIFT)) | (newtime << HOLD_TIMESHIFT);
    const uint32_t due = RepeatCount(hold) == 0 ? repeatdelay : repeatrate;
    if (newtime >= due) {
      // Clearing the time and stepping the count in one add lets a count of
      // 255 wrap to 0 and carry 1 ms into the time, as the word is laid out.
      hold = (hold & (HOLD_COUNTMASK | HOLD_FLAGMASK)) + HOLD_COUNTSTEP;
      QueueEvent(INPUTEVENT_REPEAT, static_cast<uint8_t>(i));
    }
    holds[i] = hold;
  }
}

void ClassVInput::ResetEvents() {
  eventcount = 0;
  charcount = 0;
  lastkey = 0;
}

void ClassVInput::ResetState() {
  std::fill(std::begin(holds), std::end(holds), 0u);
  for (int32_t i = 0; i < mappingcount; ++i) {
    mappings[i] &= ~MAPPING_KEYDOWN;
  }
  wheel = 0;
  ResetEvents();
}

void ClassVInput::SetRepeatRates(uint32_t, uint32_t) {}

bool ClassVInput::AddKeyMapping(int32_t action, uint16_t key) {
  if (!IsAction(action) || mappingcount >= INPUT_MAXMAPPINGS) {
    return false;
  }
  mappings[mappingcount++] = (static_cast<uint32_t>(key) << MAPPING_KEYSHIFT) | static_cast<uint32_t>(action);
  return true;
}

bool ClassVInput::AddKeyMapping(int32_t action, std::initializer_list<uint16_t> keys) {
  bool added = false;
  for (uint16_t key : keys) {
    added = AddKeyMapping(action, key);
    if (!added) {
      break;
    }
  }
  return added;
}

void ClassVInput::RemoveKeyMapping(uint16_t key) {
  RemoveMappings([key](uint32_t mapping) { return MappingKey(mapping) == key; });
}

void ClassVInput::RemoveActionMapping(int32_t action) {
  RemoveMappings([action](uint32_t mapping) { return MappingAction(mapping) == action; });
}

bool ClassVInput::MappedTo(int32_t action, uint16_t key) const {
  for (int32_t i = 0; i < mappingcount; ++i) {
    if (MappingKey(mappings[i]) == key && MappingAction(mappings[i]) == action) {
      return true;
    }
  }
  return false;
}

void ClassVInput::SetDefaultMappings() {
  for (const DEFAULTMAPPING& mapping : DEFAULT_MAPPINGS) {
    AddKeyMapping(mapping.action, mapping.key);
  }
}

bool ClassVInput::GetKeyEvent(V_INPUTEVENT* event) {
  const int32_t index = FindEvent([](const V_INPUTEVENT& e) { return e.code < INPUT_CLICKCODE; });
  if (index < 0) {
    return false;
  }
  TakeEvent(index, event);
  return true;
}

uint8_t ClassVInput::GetKeyEvent(int32_t action) {
  if (!IsAction(action)) {
    return 0;
  }
  const int32_t index = FindEvent([action](const V_INPUTEVENT& e) { return e.code == action; });
  if (index < 0) {
    return 0;
  }
  V_INPUTEVENT taken;
  TakeEvent(index, &taken);
  return taken.type;
}

bool ClassVInput::GetClickEvent(V_INPUTEVENT* event) {
  // Click button 3 has no event code of its own to hand out here.
  const int32_t index = FindEvent([](const V_INPUTEVENT& e) {
    return e.code >= INPUT_CLICKCODE && e.code <= INPUT_CLICKCODE + 2;
  });
  if (index < 0) {
    return false;
  }
  TakeEvent(index, event);
  event->code = static_cast<uint8_t>(event->code - INPUT_CLICKCODE);
  return true;
}

bool ClassVInput::KeyHold(int32_t action) const { return IsAction(action) && Held(holds[action]); }

bool ClassVInput::ClickHold(uint32_t button) const {
  if (button > INPUT_MAXCLICKBUTTON) {
    return false;
  }
  if (Held(holds[INPUT_CLICKCODE])) {
    return true;
  }
  if (button != 0) {
    return Held(holds[INPUT_CLICKCODE + button]);
  }
  for (uint32_t other = 1; other <= INPUT_MAXCLICKBUTTON; ++other) {
    if (Held(holds[INPUT_CLICKCODE + other])) {
      return true;
    }
  }
  return false;
}

int32_t ClassVInput::GetKeyPressCount(int32_t action, bool countrepeats) const {
  if (!IsAction(action)) {
    return 0;
  }
  int32_t count = 0;
  for (int32_t i = 0; i < eventcount; ++i) {
    if (events[i].code == action && IsCountedPress(events[i].type, countrepeats)) {
      ++count;
    }
  }
  return count;
}

int32_t ClassVInput::GetClickPressCount(int32_t* x, int32_t* y, uint32_t button, bool countrepeats) const {
  *x = clickx;
  *y = clicky;
  if (button > INPUT_MAXCLICKBUTTON) {
    return 0;
  }
  // Button 0 stands for the other buttons together.
  const uint32_t first = INPUT_CLICKCODE + (button == 0 ? 1 : button);
  const uint32_t last = INPUT_CLICKCODE + (button == 0 ? INPUT_MAXCLICKBUTTON : button);
  int32_t count = 0;
  for (int32_t i = 0; i < eventcount; ++i) {
    const V_INPUTEVENT& event = events[i];
    if (event.code >= first && event.code <= last && IsCountedPress(event.type, countrepeats)) {
      ++count;
      *x = event.x;
      *y = event.y;
    }
  }
  return count;
}

char16_t ClassVInput::GetChar(uint16_t* key) {
  if (charcount == 0) {
    if (key != nullptr) {
      *key = 0;
    }
    return 0;
  }
  const char16_t ch = chars[0];
  if (key != nullptr) {
    *key = charkeys[0];
  }
  ShiftOut(chars, charcount, 0);
  ShiftOut(charkeys, charcount, 0);
  --charcount;
  return ch;
}

void ClassVInput::PutChar(char16_t ch, uint16_t key) {
  if (charcount >= INPUT_QUEUESIZE || MappedTo(ACTION_NOCHAR, key)) {
    return;
  }
  chars[charcount] = ch;
  charkeys[charcount] = key;
  ++charcount;
}

uint16_t ClassVInput::GetLastKey() const { return lastkey; }

void ClassVInput::GetClickPosition(int32_t* x, int32_t* y) const {
  *x = clickx;
  *y = clicky;
}

int32_t ClassVInput::GetWheelScroll() {
  const int32_t steps = wheel;
  wheel = 0;
  return steps;
}

void ClassVInput::GetTiltAngle(int32_t* x, int32_t* y) const {
  *x = tiltx;
  *y = tilty;
}

int32_t ClassVInput::GetTiltData() const { return INPUT_TILT_NOTAVAILABLE; }

bool ClassVInput::LoadKeyDescriptor(const char16_t* text) {
  if (text == nullptr) {
    return false;
  }
  const int32_t length = ClassVStd::StrLen(text);
  const uint32_t bytes = static_cast<uint32_t>(length + 1) * sizeof(char16_t);
  char16_t* copy = static_cast<char16_t*>(ClassVMemory::Alloc(bytes));
  if (copy == nullptr) {
    return false;
  }
  ClassVStd::StrCpy(copy, text, length + 1);
  ClassVMemory::DeAlloc(nametext);
  nametext = copy;
  ParseKeyDescriptor(copy);
  return true;
}

bool ClassVInput::LoadKeyDescriptor(const char* text) {
  if (text == nullptr) {
    return false;
  }
  const int32_t length = ClassVStd::StrLen(text);
  char16_t onstack[NARROW_STACKCHARS + 1];
  char16_t* heap = nullptr;
  if (length > NARROW_STACKCHARS) {
    const uint32_t bytes = static_cast<uint32_t>(length + 1) * sizeof(char16_t);
    heap = static_cast<char16_t*>(ClassVMemory::Alloc(bytes));
  }
  // Without memory for a long text its first characters still load.
  if (heap != nullptr) {
    ClassVStd::StrCpy(heap, text, length + 1);
  } else {
    ClassVStd::StrCpy(onstack, text, NARROW_STACKCHARS + 1);
  }
  const bool loaded = LoadKeyDescriptor(heap != nullptr ? heap : onstack);
  ClassVMemory::DeAlloc(heap);
  return loaded;
}

void ClassVInput::GetKeyName(uint16_t code, char16_t* buffer, int32_t size) const {
  WriteKeyName(code, buffer, size);
}

void ClassVInput::GetKeyName(uint16_t code, char* buffer, int32_t size) const {
  WriteKeyName(code, buffer, size);
}

template <typename PREDICATE>
int32_t ClassVInput::FindEvent(PREDICATE matches) const {
  for (int32_t i = 0; i < eventcount; ++i) {
    if (matches(events[i])) {
      return i;
    }
  }
  return -1;
}

template <typename PREDICATE>
void ClassVInput::RemoveMappings(PREDICATE matches) {
  uint8_t removed[INPUT_MAXMAPPINGS];
  int32_t removedcount = 0;
  int32_t kept = 0;
  for (int32_t i = 0; i < mappingcount; ++i) {
    if (matches(mappings[i])) {
      removed[removedcount++] = MappingAction(mappings[i]);
    } else {
      mappings[kept++] = mappings[i];
    }
  }
  mappingcount = kept;
  // An action stays held while a remaining key of it is down.
  for (int32_t i = 0; i < removedcount; ++i) {
    if (!ActionKeyDown(removed[i])) {
      holds[removed[i]] = 0;
    }
  }
}

template <typename CHAR>
void ClassVInput::WriteKeyName(uint16_t code, CHAR* buffer, int32_t size) const {
  if (code == 0) {
    ClassVStd::StrCpy(buffer, "None", size);
    return;
  }
  const uint8_t entry = code < KEYCODE_COUNT ? KEYCODE_ENTRIES[code] : NAME_NONE;
  if (entry != NAME_NONE && names[entry] != nullptr) {
    ClassVStd::StrCpy(buffer, names[entry], size);
    return;
  }
  CHAR number[NUMBER_NAMESIZE] = {'#'};
  ClassVStd::IntToStr(number + 1, code);
  ClassVStd::StrCpy(buffer, number, size);
}

void ClassVInput::QueueEvent(uint8_t type, uint8_t code) {
  if (eventcount >= INPUT_QUEUESIZE) {
    return;
  }
  events[eventcount++] = V_INPUTEVENT{clickx, clicky, type, code};
}

void ClassVInput::TakeEvent(int32_t index, V_INPUTEVENT* event) {
  *event = events[index];
  ShiftOut(events, eventcount, index);
  --eventcount;
}

bool ClassVInput::ActionKeyDown(uint8_t action) const {
  for (int32_t i = 0; i < mappingcount; ++i) {
    if (MappingAction(mappings[i]) == action && MappingDown(mappings[i])) {
      return true;
    }
  }
  return false;
}

void ClassVInput::HoldClick(uint32_t button, uint8_t type) {
  if (button > INPUT_MAXCLICKBUTTON) {
    return;
  }
  const uint8_t code = static_cast<uint8_t>(INPUT_CLICKCODE + button);
  if (!Held(holds[code])) {
    holds[code] = HOLD_HELD;
  }
  QueueEvent(type, code);
}

void ClassVInput::ParseKeyDescriptor(char16_t* text) {
  // Entries of the lines are cleared first: a text with fewer lines than
  // the last must not leave names pointing into the freed old text.
  std::fill(names + NAME_FIRSTLINE, names + INPUT_NAMECOUNT, nullptr);
  int32_t entry = NAME_FIRSTLINE;
  char16_t* p = text;
  while (*p != 0 && entry < INPUT_NAMECOUNT) {
    if (!IsLineBreak(*p)) {
      names[entry++] = p;
      while (*p != 0 && !IsLineBreak(*p)) {
        ++p;
      }
    }
    if (*p != 0) {
      *p++ = 0;
    }
  }
}
