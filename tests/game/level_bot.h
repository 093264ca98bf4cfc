// level_bot.h - a player for whole games on the play field: it asks the
// game's own move search for the object to move, picks the neighbour that
// completes a line (and now and then a wrong one), and plays with frame
// times drawn from its own generator, so every game is repeatable.
#pragma once

#include <cstdint>

#include "level_rig.h"
#include "support/xorshift.h"

class LevelBot {
 public:
  LevelBot(LevelRig& rig, uint32_t seed) : rig(rig), random{seed | 1u} {}

  uint32_t FrameTime() { return random.Next() % 101; }

  // One decision before a frame: sometimes a move, sometimes nothing. It
  // tires with every level, so that a timed game's clock wins in the end.
  void Act() {
    ClassLevel& level = rig.level;
    const uint32_t patience = 8u + 8u * rig.Player().level;
    if (level.LevelPhase != LEVELPHASE_PLAYING || level.swaplock != 0 || random.Next() % patience != 0) return;
    uint8_t column = 8, row = 0;
    if (!level.CheckHint(column, row, static_cast<uint8_t>(random.Next() & 7)) || column >= 8) return;
    const bool wrong = random.Next() % 6 == 0;
    int32_t tx = -1, ty = -1;
    for (int32_t d = 0; d < 8; d++) {
      const int32_t x = column + DX[d];
      const int32_t y = row + DY[d];
      if (x < 0 || x > 7 || y < 0 || y > 7) continue;
      if (Completes(column, row, x, y) != wrong) {
        tx = x;
        ty = y;
        break;
      }
    }
    if (tx < 0) return;
    level.SelectCell(column, row);
    if (!level.StartSwap(static_cast<uint8_t>(tx), static_cast<uint8_t>(ty))) level.Deselect();
  }

 private:
  static constexpr int32_t DX[8] = {-1, 0, 1, -1, 1, -1, 0, 1};
  static constexpr int32_t DY[8] = {-1, -1, -1, 0, 0, 1, 1, 1};

  uint8_t TypeAt(int32_t x, int32_t y) {
    return rig.level.GetGridObjType(static_cast<int8_t>(x), static_cast<int8_t>(y), false);
  }

  // Whether the object at (fx, fy) moved to (tx, ty) stands in a line of three there.
  bool Completes(int32_t fx, int32_t fy, int32_t tx, int32_t ty) {
    const uint8_t c = TypeAt(fx, fy);
    auto same = [&](int32_t x, int32_t y) {
      if (x == fx && y == fy) return TypeAt(tx, ty) == c;  // the partner comes here
      return x >= 0 && x < 8 && y >= 0 && y < 8 && TypeAt(x, y) == c;
    };
    int32_t h = 1, v = 1;
    for (int32_t x = tx - 1; same(x, ty); x--) h++;
    for (int32_t x = tx + 1; same(x, ty); x++) h++;
    for (int32_t y = ty - 1; same(tx, y); y--) v++;
    for (int32_t y = ty + 1; same(tx, y); y++) v++;
    return h >= 3 || v >= 3;
  }

  LevelRig& rig;
  XorShift32 random;
};
