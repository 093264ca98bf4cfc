// level.h - the play field, module 2: the 8 x 8 grid of coloured objects,
// the object pool with its states, the floating scores, the cursor, the
// hint and the timers of the game flow. Its rules, controls and drawing
// arrive with the play field's own changes; until then the handlers keep
// the base behaviour and every field starts at zero.
//
// Depends on: game/module.h.
#pragma once

#include <cstdint>

#include "game/module.h"

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
  ~ClassLevel() override = default;

  void OnNextFrame(V2DSurface* /*backbuffer*/, uint32_t* /*activemodule*/, uint32_t* /*modulestatus*/,
                   unsigned long /*delta*/) override {}
  void OnButtonDown(unsigned long /*action*/, VBUTTONLIST* /*list*/, bool /*repeat*/) override {}
  void OnButtonUp(unsigned long /*button*/, VBUTTONLIST* /*list*/) override {}
  void OnWheel(long /*direction*/) override {}
  void OnStylusUp(tagPOINT /*point*/) override {}
  void OnStylusDown(tagPOINT /*point*/) override {}
  void OnStylusMove(tagPOINT /*point*/) override {}

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
};
