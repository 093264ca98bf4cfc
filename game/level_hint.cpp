// level_hint.cpp - the move search: is there still a move, where should a
// freeze aim, which object should the player move. It works on scratch
// copies of the board, tries every swap from a given start row, and counts
// a link that only frozen objects stand in the way of as a sign that the
// board may still have a move.
//
// Depends on: game/level.h, game/shared.h, util/vmod_math.h.
#include <cstdint>

#include "game/level.h"
#include "game/shared.h"

namespace {

constexpr uint32_t HINT_COST_EASY = 48;
constexpr uint32_t HINT_COST_TIMED = 24;
constexpr uint32_t SOUND_HINT = 6;

// The partner of (x, y) in direction d: lower left, lower, lower right, right;
// at the borders it may repeat another one or be the cell itself.
void Partner(int32_t x, int32_t y, int32_t d, int32_t& x2, int32_t& y2) {
  const int32_t down = y == 7 ? y : y + 1;
  switch (d) {
    case 0: x2 = x == 0 ? x + 1 : x - 1; y2 = down; break;
    case 1: x2 = x; y2 = down; break;
    case 2: x2 = x == 7 ? x : x + 1; y2 = down; break;
    default: x2 = x == 7 ? x : x + 1; y2 = y; break;
  }
}

void Exchange(uint8_t board[8][8], int32_t x, int32_t y, int32_t x2, int32_t y2) {
  const uint8_t keep = board[y][x];
  board[y][x] = board[y2][x2];
  board[y2][x2] = keep;
}

// Counts the cells of colour c from (x, y) stepping (dx, dy): those before
// the first frozen one are free, it and those after it blocked.
void Walk(const uint8_t colour[8][8], const uint8_t raw[8][8], int32_t x, int32_t y, int32_t dx, int32_t dy,
          bool centrefrozen, int32_t& free, int32_t& blocked) {
  const uint8_t c = colour[y][x];
  bool stopped = centrefrozen;
  for (int32_t cx = x + dx, cy = y + dy; cx >= 0 && cx < 8 && cy >= 0 && cy < 8 && colour[cy][cx] == c;
       cx += dx, cy += dy) {
    stopped = stopped || raw[cy][cx] == OBJTYPE_FROZEN;
    if (stopped) blocked++;
    else free++;
  }
}

}  // namespace

bool ClassLevel::CheckHintLink(int8_t x, int8_t y, uint8_t colour[8][8], uint8_t raw[8][8], bool& blocked) const {
  const bool centrefrozen = raw[y][x] == OBJTYPE_FROZEN;
  int32_t hfree = 1, hblocked = 0, vfree = 1, vblocked = 0;
  Walk(colour, raw, x, y, -1, 0, centrefrozen, hfree, hblocked);
  Walk(colour, raw, x, y, 1, 0, centrefrozen, hfree, hblocked);
  Walk(colour, raw, x, y, 0, -1, centrefrozen, vfree, vblocked);
  Walk(colour, raw, x, y, 0, 1, centrefrozen, vfree, vblocked);
  if (hfree >= 3 || vfree >= 3) return true;
  if (hfree + hblocked >= 3 || vfree + vblocked >= 3) blocked = true;
  return false;
}

bool ClassLevel::CheckHint(uint8_t& column, uint8_t& row, uint8_t startRow) {
  column = LEVEL_NOHINT;
  uint8_t raw[8][8];
  uint8_t colour[8][8];
  for (int8_t y = 0; y < LEVEL_SIZE; y++) {
    for (int8_t x = 0; x < LEVEL_SIZE; x++) {
      raw[y][x] = GetGridObjType(x, y, false);
      colour[y][x] = raw[y][x] == OBJTYPE_FROZEN ? static_cast<uint8_t>(objects[grid[y * 8 + x]].param & 0xFF)
                                                  : raw[y][x];
    }
  }
  bool anyblocked = false;
  for (int32_t r = 0; r < LEVEL_SIZE; r++) {
    const int32_t y = (r + startRow) % LEVEL_SIZE;
    for (int32_t x = 0; x < LEVEL_SIZE; x++) {
      if (!LevelIsColour(colour[y][x])) continue;
      for (int32_t d = 0; d < 4; d++) {
        int32_t x2 = 0, y2 = 0;
        Partner(x, y, d, x2, y2);
        if (!LevelIsColour(colour[y2][x2])) continue;
        // A frozen object cannot be moved: such a pair only shows that a move may come.
        const bool frozenpair = raw[y][x] == OBJTYPE_FROZEN || raw[y2][x2] == OBJTYPE_FROZEN;
        Exchange(colour, x, y, x2, y2);
        Exchange(raw, x, y, x2, y2);
        bool blocked = false;
        int32_t movex = -1, movey = -1;
        if (CheckHintLink(static_cast<int8_t>(x), static_cast<int8_t>(y), colour, raw, blocked)) {
          movex = x2;
          movey = y2;
        } else if (CheckHintLink(static_cast<int8_t>(x2), static_cast<int8_t>(y2), colour, raw, blocked)) {
          movex = x;
          movey = y;
        }
        if (movex >= 0 && !frozenpair) {
          column = static_cast<uint8_t>(movex);
          row = static_cast<uint8_t>(movey);
          return true;
        }
        if (movex >= 0) blocked = true;
        Exchange(colour, x, y, x2, y2);
        Exchange(raw, x, y, x2, y2);
        anyblocked = anyblocked || blocked;
      }
    }
  }
  if (anyblocked) return true;
  int32_t used = 0;
  for (const LEVEL_OBJECT& object : objects) {
    if (object.type == OBJTYPE_FREE) continue;
    if (object.state != OBJSTATE_RESTING && object.state != OBJSTATE_FROZEN) return true;  // still moving
    used++;
  }
  return used < LEVEL_CELLS;
}

void ClassLevel::StartHintShow() {
  ClassPlayer& player = Player();
  const uint32_t cost = player.mode == PLAYER_MODE_TIMED ? HINT_COST_TIMED : HINT_COST_EASY;
  if (player.progress >= cost) {
    const bool showing = hinttime < LEVEL_HINTSHOWN;
    if (!showing && CheckHint(hintx, hinty, static_cast<uint8_t>(Rand() & 7)) && hintx < LEVEL_NOHINT) {
      BurstAtCell(static_cast<int8_t>(hintx), static_cast<int8_t>(hinty), PARTICLE_HEAVY);
      PlaySound(SOUND_HINT);
      hinttime = 0;
    }
    player.progress -= cost;
  }
  player.hintRequest = 0;
}
