// level_rig.h - a play field linked to its shared state, random generator
// and a trace kept in memory, with helpers that lay out boards cell by cell
// and run frames with given frame times.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "game/level.h"
#include "game/shared.h"
#include "util/vmod_math.h"

// The play field with the backdrop load replaced: tests choose whether it works.
class TestLevel : public ClassLevel {
 public:
  bool backdrop = true;

 protected:
  bool LoadBackdrop() override { return backdrop; }
};

class LevelRig {
 public:
  explicit LevelRig(uint32_t seed = 1, uint8_t mode = PLAYER_MODE_EASY) {
    math.Init();
    math.SetRandSeed(seed);
    vcd.math = &math;
    shared.vcd = &vcd;
    shared.player = &shared.playerrecord;
    shared.playerrecord.mode = mode;
    shared.modulestatus = MODULESTATUS_RUNNING;
    level.LinkShared(&shared);
    tracefile = open_memstream(&tracetext, &tracesize);
    level.SetTrace(tracefile);
  }
  ~LevelRig() {
    level.SetTrace(nullptr);
    if (tracefile != nullptr) std::fclose(tracefile);
    std::free(tracetext);
  }
  LevelRig(const LevelRig&) = delete;
  LevelRig& operator=(const LevelRig&) = delete;

  ClassPlayer& Player() { return shared.playerrecord; }

  // An empty field in play, past its intro, with no refill (intro time stays short of its end).
  void EmptyField() {
    for (LEVEL_OBJECT& object : level.objects) object = LEVEL_OBJECT{};
    for (uint16_t& cell : level.grid) cell = CELL_EMPTY;
    for (SCORE_OBJECT& score : level.scoreobjects) score = SCORE_OBJECT{};
    level.LevelPhase = LEVELPHASE_PLAYING;
    level.hintx = 8;
    level.hinttime = 1024;
    level.introtime = 0;
    level.dropcount = 8;
  }

  // An object at rest in a cell, in the first free slot; returns the slot.
  int32_t Put(int8_t x, int8_t y, uint8_t type, uint8_t state = OBJSTATE_RESTING, uint32_t param = 0) {
    for (int32_t slot = 0; slot < LEVEL_OBJECTS; slot++) {
      LEVEL_OBJECT& object = level.objects[slot];
      if (object.type != OBJTYPE_FREE) continue;
      object = LEVEL_OBJECT{};
      object.type = type;
      object.state = state;
      object.param = param;
      object.x = x;
      object.y = y;
      level.LinkGridObj(x, y, static_cast<uint16_t>(slot));
      return slot;
    }
    return -1;
  }

  int32_t PutFrozen(int8_t x, int8_t y, uint8_t colour) { return Put(x, y, OBJTYPE_FROZEN, OBJSTATE_FROZEN, colour); }

  // Every cell filled with colour (x + y) mod 8 + 1: equal colours run only
  // along the diagonals, so the board has neither a link nor a move.
  void DiagonalBoard() {
    EmptyField();
    for (int8_t y = 0; y < 8; y++)
      for (int8_t x = 0; x < 8; x++) Put(x, y, static_cast<uint8_t>((x + y) % 8 + 1));
  }

  // The object whose slot a cell holds; a cell holding a code is a broken test.
  LEVEL_OBJECT& At(int8_t x, int8_t y) {
    const uint16_t cell = level.GetGridObj(x, y);
    if (cell < LEVEL_OBJECTS) return level.objects[cell];
    ADD_FAILURE() << "cell " << int(x) << ", " << int(y) << " holds the code " << cell;
    static LEVEL_OBJECT none;
    return none;
  }

  // Both object passes, as a frame runs them.
  void Objects(uint32_t t, int32_t frames = 1) {
    for (int32_t i = 0; i < frames; i++) {
      level.HandleObjects(t, false);
      level.HandleObjects(t, true);
    }
  }

  // Whole frames of the screen.
  void Frames(uint32_t t, int32_t frames = 1) {
    for (int32_t i = 0; i < frames; i++) level.OnNextFrame(nullptr, &shared.activemodule, &shared.modulestatus, t);
  }

  std::string Trace() {
    std::fflush(tracefile);
    return tracetext != nullptr ? std::string(tracetext, tracesize) : std::string();
  }

  // The sound calls written to the trace since the rig was made, in order.
  std::string Sounds() {
    level.TraceFrame(0);  // writes the calls made since the last frame
    std::string sounds;
    const std::string text = Trace();
    size_t at = 0;
    while ((at = text.find("\nsound", at)) != std::string::npos) {
      const size_t end = text.find('\n', at + 1);
      const std::string line = text.substr(at + 6, end - at - 6);
      if (line != " -") sounds += line;
      at = end;
    }
    return sounds;
  }

  ClassVMath math;
  VCD vcd{};
  ClassShared shared;
  TestLevel level;

 private:
  std::FILE* tracefile = nullptr;
  char* tracetext = nullptr;
  size_t tracesize = 0;
};
