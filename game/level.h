// level.h - the play field, module 2: the 8 x 8 grid of coloured objects,
// the object pool with its states, the floating scores, the cursor, the
// hint and the timers of the game flow. The board model and link rule live
// in level_board.cpp, the object states, scoring and game flow in
// level_objects.cpp, the move search in level_hint.cpp and the per-frame
// trace in level_trace.cpp, keys, wheel and stylus in level_controls.cpp
// and the drawing in level_draw.cpp.
//
// Depends on: game/module.h, game/shared.h (player, particles, high scores),
// util/vmod_math.h (the random generator), audio/vmod_sound.h.
#pragma once

#include <cstdint>
#include <cstdio>

#include "game/module.h"

class ClassPlayer;
class ClassVMath;

constexpr int32_t LEVEL_SIZE = 8;            // columns and rows of the grid
constexpr int32_t LEVEL_CELLS = 64;
constexpr int32_t LEVEL_OBJECTS = 80;        // object slots: cleared objects animate while new ones fall
constexpr int32_t LEVEL_SCOREOBJECTS = 24;   // floating score slots

// Grid codes besides a slot index 0..79.
constexpr uint16_t CELL_EMPTY = 80;
constexpr uint16_t CELL_RESERVED = 81;       // claimed by an object falling into it
constexpr uint16_t CELL_CLEARING = 82;       // its object was just linked
constexpr uint16_t CELL_OUTSIDE = 83;        // read outside the grid; never stored

// Level phases.
constexpr uint32_t LEVELPHASE_PLAYING = 0;
constexpr uint32_t LEVELPHASE_INTRO = 1;
constexpr uint32_t LEVELPHASE_PAUSED = 2;
constexpr uint32_t LEVELPHASE_CLEARING = 3;
constexpr uint32_t LEVELPHASE_FINISHED = 4;

// Object types.
constexpr uint8_t OBJTYPE_FREE = 0;
constexpr uint8_t OBJTYPE_COLOURS = 8;       // 1..8 are the colours
constexpr uint8_t OBJTYPE_TREASURE = 9;
constexpr uint8_t OBJTYPE_FROZEN = 40;
constexpr uint8_t OBJTYPE_SHATTERING = 41;

// Object states.
constexpr uint8_t OBJSTATE_RESTING = 0;
constexpr uint8_t OBJSTATE_FALLING = 1;      // 1 and 2 fall alike
constexpr uint8_t OBJSTATE_FALLING2 = 2;
constexpr uint8_t OBJSTATE_DROPPING = 3;     // out of the screen at the end of a board
constexpr uint8_t OBJSTATE_SWAPOUT = 4;
constexpr uint8_t OBJSTATE_SWAPBACK = 5;
constexpr uint8_t OBJSTATE_SWAPPED = 6;      // arrived, waiting for judgement
constexpr uint8_t OBJSTATE_CLEARED = 7;
constexpr uint8_t OBJSTATE_FROZEN = 8;
constexpr uint8_t OBJSTATE_SHATTERFALL = 9;
constexpr uint8_t OBJSTATE_SHATTER = 10;
constexpr uint8_t OBJSTATE_COLLECTED = 11;

// Screen geometry of the field: cell (x, y) has its top left at
// (LEVEL_FIELDX + 24 x, LEVEL_FIELDY + 24 y).
constexpr int32_t LEVEL_FIELDX = 63;
constexpr int32_t LEVEL_FIELDY = 17;
constexpr int32_t LEVEL_CELLPIXELS = 24;

constexpr uint8_t LEVEL_NOHINT = 8;         // hint column: no hint shown
constexpr uint8_t LEVEL_CURSORHOME = 4;      // cursor column and row at the start of a board
constexpr uint32_t LEVEL_PROGRESSFULL = 1024; // a full bar levels up
constexpr uint32_t LEVEL_HINTSHOWN = 1024;   // hint time from which no hint shows

// Tunes and how the field stops them.
constexpr uint32_t LEVEL_MUSICBONUS = 0;
constexpr uint32_t LEVEL_MUSICINGAME = 1;
constexpr uint32_t LEVEL_MUSICFADEOUT = 2;
constexpr uint32_t LEVEL_MUSICFADETIME = 1000;

inline bool LevelIsColour(uint8_t type) { return type >= 1 && type <= OBJTYPE_COLOURS; }

constexpr uint32_t LEVEL_TRACESOUNDS = 256;  // characters of one frame's sound record
constexpr uint32_t LEVEL_TRACEINPUTS = 256;  // characters of one frame's input record

// One object of the pool; free while type is 0.
struct LEVEL_OBJECT {
  uint32_t param;    // by state: fall speed, swap direction, remaining life, hidden colour
  uint32_t fade;     // fade-in amount: opacity 255 - fade / 4, invisible from 1020
  int32_t clock;     // ms in the current state
  uint8_t type;      // 0 free, 1..8 colour, 9 treasure, 40 frozen, 41 shattering
  uint8_t state;     // 0..11
  uint8_t frame;     // animation frame, column of the sprite sheet
  int8_t x;          // column
  int8_t y;          // row; negative above the grid
  int32_t offsetX;   // sub-cell displacement, 16384 = one cell
  int32_t offsetY;
};

// A floating score number; free while value is 0.
struct SCORE_OBJECT {
  uint32_t age;      // ms
  uint32_t value;
  int32_t x;         // 16.16 pixels
  int32_t y;
};

class ClassLevel : public ClassModule {
 public:
  ClassLevel() = default;
  ~ClassLevel() override;                    // closes the trace

  void OnNextFrame(V2DSurface* backbuffer, uint32_t* activemodule, uint32_t* modulestatus,
                   unsigned long delta) override; // level start, or one frame of the game
  // Controls (level_controls.cpp).
  void OnButtonDown(unsigned long action, VBUTTONLIST* list, bool repeat) override; // cursor, selection, hint
  void OnButtonUp(unsigned long button, VBUTTONLIST* list) override;  // a released direction swaps
  void OnWheel(long direction) override;                       // cursor up and down, or a vertical swap
  void OnStylusUp(tagPOINT point) override;
  void OnStylusDown(tagPOINT point) override;                  // tap to select, tap a neighbour to swap
  void OnStylusMove(tagPOINT point) override;                  // dragging acts as touching
  bool AimedCell(uint16_t released, uint8_t& x, uint8_t& y) const; // cell the released and held directions point at; false: the cursor's

  // Drawing (level_draw.cpp).
  void RenderAll(V2DSurface* target);                          // the whole field, in drawing order
  void RenderObjects(V2DSurface* target);                      // every used object slot
  void RenderHUD(V2DSurface* target);                          // score line and progress bar

  // Board model and link rule (level_board.cpp).
  uint16_t GetGridObj(int8_t x, int8_t y) const;               // cell value, CELL_OUTSIDE outside
  void LinkGridObj(int8_t x, int8_t y, uint16_t value);        // ignored outside
  uint8_t GetGridObjType(int8_t x, int8_t y, bool fallen) const; // type of a resting object, else 0
  uint8_t GetGridObjTypeSpecial(int8_t x, int8_t y, bool& frozen) const; // colour, hidden one for frozen
  bool CursorValid() const;                                    // the cursor cell holds a colour object
  void CreateNew();                                            // a new board falling in
  uint16_t CheckObjLink(int8_t x, int8_t y, bool fallen);      // link rule through a cell: its points
  void DestroyMatrix();                                        // every object drops out
  // Controls' entry points, each kept in the trace.
  void SelectCell(uint8_t x, uint8_t y);                       // cursor there, selected
  void Deselect();                                             // selection dropped
  bool StartSwap(uint8_t x, uint8_t y);                        // selected object with a neighbour; false: none started

  // Objects, scoring and game flow (level_objects.cpp).
  void LevelReset();                                           // the player at the start of a game
  void CreateScoreObject(int32_t x, int32_t y, uint32_t value); // at pixel (x, y); value 0 or all used: none
  void HandleObjects(uint32_t t, bool judgeSwaps);             // one pass of the object states
  void HandleIdle(uint32_t t);                                 // the rules not tied to one object
  void StartLevel(uint32_t* activemodule, uint32_t* modulestatus); // first frame after activation
  void RunFrame(uint32_t t, uint32_t* activemodule, uint32_t* modulestatus); // one frame up to drawing

  // Move search (level_hint.cpp).
  bool CheckHint(uint8_t& column, uint8_t& row, uint8_t startRow); // a move's cell; true with column 8 when unfinished
  bool CheckHintLink(int8_t x, int8_t y, uint8_t colour[8][8], uint8_t raw[8][8], bool& blocked) const;
  void StartHintShow();                                        // the player's hint request, paid with progress

  // Trace of every frame (level_trace.cpp).
  bool OpenTrace(const char* path);                            // false when it cannot be created
  void SetTrace(std::FILE* file);                              // write to an open stream (not closed here)
  void TraceFrame(uint32_t t);                                 // one frame's record, inputs and sounds included

  uint32_t LevelPhase = LEVELPHASE_PLAYING;
  LEVEL_OBJECT objects[LEVEL_OBJECTS] = {};
  uint16_t grid[LEVEL_CELLS] = {};           // index y * 8 + x: a slot or a CELL_ code
  SCORE_OBJECT scoreobjects[LEVEL_SCOREOBJECTS] = {};
  uint8_t cursorx = 0;                       // cursor column and row
  uint8_t cursory = 0;
  uint8_t selected = 0;                      // the object under the cursor is picked up
  uint8_t swapx = 0;                         // the other cell of the running swap
  uint8_t swapy = 0;
  uint8_t swaplock = 0;                      // a swap runs
  uint8_t hintx = 0;                         // hint cell; column 8 = no hint
  uint8_t hinty = 0;
  tagPOINT stylus = {};                      // last stylus point
  uint8_t stylusdown = 0;
  int32_t cellsize = 0;                      // object sheet width / 8
  uint32_t introtime = 0;                    // 0..4000: fade-in of the grid
  uint32_t createtime = 0;                   // 0..2000: the board is filled when it passes 2000
  uint32_t freezetime = 0;                   // accumulator of the freeze rule
  uint32_t counttime = 0;                    // accumulator of the score counter
  uint32_t shownscore = 0;                   // the score as displayed
  uint32_t hinttime = 0;                     // age of the shown hint
  uint32_t totaltime = 0;                    // sum of all frame times
  uint32_t unsettledtime = 0;                // time without a concrete move while still moving
  uint32_t droptime = 0;                     // the drop sounds at the start of a board
  uint32_t dropcount = 0;
  uint32_t sirentime = 0;                    // countdown between siren sounds
  uint8_t gameover = 0;                      // the game is lost

 protected:
  virtual bool LoadBackdrop();                                 // "backdrop.png" into the shared background

 private:
  // Shared services; each tolerates a level not linked to a running game.
  ClassPlayer& Player();
  uint32_t Rand();
  void PlaySound(uint32_t slot);
  void PlayMusic(uint32_t slot, bool loop);
  void StopMusic(uint32_t slot, uint32_t flags, uint32_t time);

  // Board helpers.
  void AddLinkProgress();
  void MarkRunCleared(int8_t x, int8_t y, int8_t dx, int8_t dy, int32_t length, uint8_t colour, bool fallen);
  int32_t FirstFreeSlot() const;
  void FreeSlot(int32_t slot);
  void ScoreAtCell(int8_t x, int8_t y, uint32_t points);
  void Burst(int32_t px, int32_t py, uint8_t type);
  void BurstAtCell(int8_t x, int8_t y, uint8_t type);
  bool BonusRunning() const;
  bool TimedMode();

  // Object states (level_objects.cpp).
  void HandleResting(int32_t slot, uint32_t t);
  void HandleFalling(int32_t slot, uint32_t t);
  void HandleDropping(int32_t slot, uint32_t t);
  bool HandleSwapOut(int32_t slot, uint32_t t);                // true on arrival
  void HandleSwapBack(int32_t slot, uint32_t t);
  void HandleSwapped(int32_t slot, uint32_t t);
  void HandleCleared(int32_t slot, uint32_t t);
  void HandleFrozen(int32_t slot, uint32_t t);
  void HandleShatter(int32_t slot, uint32_t t, bool moving);
  void HandleCollected(int32_t slot, uint32_t t);
  void JudgeSwap(int32_t a, int32_t b);
  void HandleScoreObjects(uint32_t t);
  void HandleDropSounds(uint32_t t);
  void HandleShownScore(uint32_t t);
  void Refill();
  void HandleBoardCleared();
  void HandleFreeze(uint32_t t);
  void HandleTimer(uint32_t t);
  void HandleBonus(uint32_t t);
  void HandleLevelUp();
  void HandleStuck(uint32_t t);
  void EndGame(uint32_t* activemodule, uint32_t* modulestatus);

  // Trace (level_trace.cpp).
  void TraceInput(const char* format, int32_t a, int32_t b);
  void TraceSound(char kind, uint32_t slot);

  // Controls (level_controls.cpp).
  bool KeysIgnored() const;                                    // the overlay has a menu, box or keyboard open
  bool Released(int32_t action, uint16_t button) const;        // the button is mapped to the action
  bool Held(int32_t action) const;
  void ToggleSelection();
  void SwapOrDrop(uint8_t x, uint8_t y);                       // a colour object there swaps, else the selection drops
  void TouchCell(uint8_t x, uint8_t y, tagPOINT point);

  // Drawing (level_draw.cpp).
  void RenderCursor(V2DSurface* target);
  void RenderMessages(V2DSurface* target);
  void RenderScores(V2DSurface* target);
  void RenderHint(V2DSurface* target);
  void DrawMessage(V2DSurface* target, int32_t band);          // band k of the messages image, centred on the field

  uint32_t tracegen = 0;                     // random state at the start of the traced frame
  uint32_t traceframe = 0;                   // frames written
  std::FILE* trace = nullptr;
  bool traceowned = false;                   // opened here, closed here
  bool traceopened = false;                  // the host's trace file was asked for once
  char tracesounds[LEVEL_TRACESOUNDS] = {};
  char traceinputs[LEVEL_TRACEINPUTS] = {};
};
