// level_board.cpp - the play field's board model: the grid and its codes,
// the object pool, a new board, the link rule with its score and progress,
// the start of a swap and the end of a board; with the shared services the
// rules draw on (random generator, sounds, particles, the player).
//
// Depends on: game/level.h, game/shared.h, util/vmod_math.h,
// audio/vmod_sound.h.
#include <cstdint>

#include "audio/vmod_sound.h"
#include "game/level.h"
#include "game/shared.h"
#include "util/vmod_math.h"

namespace {

constexpr uint32_t LINK_PROGRESS_EASY = 12;
constexpr uint32_t LINK_PROGRESS_TIMED = 18;
constexpr uint32_t SOUND_CLICK_ID = 1;
constexpr uint32_t SOUND_LINK_FIRST = 2;     // 2..5: the four link sounds
constexpr int32_t DESTROY_PARTICLES = 64;
constexpr int32_t NEWBOARD_DISCARDS = 8;     // draws thrown away between the colours and the offsets
constexpr int32_t NEWBOARD_FIRSTFALLING1 = 21; // slots from here start in state 1, before it in 2
constexpr int32_t NEWBOARD_STARTCLOCK = -680;  // keeps the fall on frame 0 for its first 680 ms
constexpr uint32_t NEWBOARD_FADE = 1000;

bool InGrid(int32_t x, int32_t y) { return x >= 0 && x < LEVEL_SIZE && y >= 0 && y < LEVEL_SIZE; }

// The opposite direction code: 1 and 2 exchanged in each half.
uint32_t OppositeStep(uint32_t step) { return step == 1 ? 2 : step == 2 ? 1 : 0; }

uint32_t StepCode(int32_t from, int32_t to) { return to < from ? 1 : to > from ? 2 : 0; }

// Whether colour c at index i would complete three in a row leftwards or upwards.
bool CompletesRun(const uint16_t* colours, int32_t i, uint16_t c) {
  const int32_t column = i % LEVEL_SIZE;
  const int32_t row = i / LEVEL_SIZE;
  if (column >= 2 && colours[i - 1] == colours[i - 2] && colours[i - 1] == c) return true;
  return row >= 2 && colours[i - 8] == colours[i - 16] && colours[i - 8] == c;
}

}  // namespace

ClassPlayer& ClassLevel::Player() {
  static ClassPlayer unlinked;
  if (shared == nullptr || shared->player == nullptr) return unlinked;
  return *shared->player;
}

uint32_t ClassLevel::Rand() {
  if (shared == nullptr || shared->vcd == nullptr || shared->vcd->math == nullptr) return 0;
  return shared->vcd->math->Rand();
}

void ClassLevel::PlaySound(uint32_t slot) {
  TraceSound('s', slot);
  if (shared != nullptr && shared->vcd != nullptr && shared->vcd->sound != nullptr) shared->vcd->sound->PlaySound(slot);
}

void ClassLevel::PlayMusic(uint32_t slot, bool loop) {
  TraceSound('m', slot);
  if (shared != nullptr && shared->vcd != nullptr && shared->vcd->sound != nullptr)
    shared->vcd->sound->PlayMusic(slot, loop, 0, 0);
}

void ClassLevel::StopMusic(uint32_t slot, uint32_t flags, uint32_t time) {
  TraceSound('x', slot);
  if (shared != nullptr && shared->vcd != nullptr && shared->vcd->sound != nullptr)
    shared->vcd->sound->StopMusic(slot, flags, time);
}

bool ClassLevel::TimedMode() { return Player().mode == PLAYER_MODE_TIMED; }

bool ClassLevel::BonusRunning() const {
  return shared != nullptr && shared->player != nullptr && shared->player->bonusClock != 0;
}

uint16_t ClassLevel::GetGridObj(int8_t x, int8_t y) const {
  if (!InGrid(x, y)) return CELL_OUTSIDE;
  return grid[y * LEVEL_SIZE + x];
}

void ClassLevel::LinkGridObj(int8_t x, int8_t y, uint16_t value) {
  if (InGrid(x, y)) grid[y * LEVEL_SIZE + x] = value;
}

uint8_t ClassLevel::GetGridObjType(int8_t x, int8_t y, bool fallen) const {
  const uint16_t cell = GetGridObj(x, y);
  if (cell >= LEVEL_OBJECTS) return 0;
  const LEVEL_OBJECT& object = objects[cell];
  if (object.state == OBJSTATE_RESTING || object.state == OBJSTATE_FROZEN) return object.type;
  if (object.state == OBJSTATE_SWAPPED && !fallen) return object.type;
  return 0;
}

uint8_t ClassLevel::GetGridObjTypeSpecial(int8_t x, int8_t y, bool& frozen) const {
  frozen = false;
  const uint16_t cell = GetGridObj(x, y);
  if (cell >= LEVEL_OBJECTS) return 0;
  const LEVEL_OBJECT& object = objects[cell];
  if (object.type != OBJTYPE_FROZEN) return object.type;
  frozen = true;
  return static_cast<uint8_t>(object.param & 0xFF);
}

// A shattering object is no colour either: selected and swapped it would
// never come to rest again.
bool ClassLevel::CursorValid() const {
  const uint16_t cell = GetGridObj(static_cast<int8_t>(cursorx), static_cast<int8_t>(cursory));
  return cell < LEVEL_OBJECTS && LevelIsColour(objects[cell].type);
}

void ClassLevel::CreateNew() {
  for (LEVEL_OBJECT& object : objects) object.type = OBJTYPE_FREE;
  for (int32_t i = 0; i < LEVEL_CELLS; i++) {
    uint16_t c = 0;
    do {
      c = static_cast<uint16_t>(Rand() & 7);
    } while (CompletesRun(grid, i, c));
    grid[i] = c;
  }
  for (int32_t i = 0; i < NEWBOARD_DISCARDS; i++) Rand();
  for (int32_t i = 0; i < LEVEL_CELLS; i++) {
    LEVEL_OBJECT& object = objects[i];
    object.type = static_cast<uint8_t>(grid[i] + 1);
    object.x = static_cast<int8_t>(i % LEVEL_SIZE);
    object.y = static_cast<int8_t>(-2 * (i / LEVEL_SIZE) - 2);
    object.param = 0;
    object.fade = NEWBOARD_FADE;
    object.clock = NEWBOARD_STARTCLOCK;
    object.frame = 0;
    object.offsetX = 0;
    object.offsetY = static_cast<int32_t>(Rand() & 16383);
    object.state = i < NEWBOARD_FIRSTFALLING1 ? OBJSTATE_FALLING2 : OBJSTATE_FALLING;
  }
  for (uint16_t& cell : grid) cell = CELL_EMPTY;
  freezetime = 0;
}

void ClassLevel::AddLinkProgress() {
  ClassPlayer& player = Player();
  const bool timed = player.mode == PLAYER_MODE_TIMED;
  if (timed && player.bonusClock != 0) return;
  player.progress += timed ? LINK_PROGRESS_TIMED : LINK_PROGRESS_EASY;
  if (player.progress > LEVEL_PROGRESSFULL) player.progress = LEVEL_PROGRESSFULL;
}

void ClassLevel::MarkRunCleared(int8_t x, int8_t y, int8_t dx, int8_t dy, int32_t length, uint8_t colour,
                                bool fallen) {
  for (int32_t i = 0; i < length; i++) {
    const int8_t cx = static_cast<int8_t>(x + dx * i);
    const int8_t cy = static_cast<int8_t>(y + dy * i);
    const uint16_t cell = GetGridObj(cx, cy);
    // The crossing cell of two runs is already clearing.
    if (cell >= LEVEL_OBJECTS || GetGridObjType(cx, cy, fallen) != colour) continue;
    LEVEL_OBJECT& object = objects[cell];
    object.state = OBJSTATE_CLEARED;
    object.clock = 0;
    LinkGridObj(cx, cy, CELL_CLEARING);
  }
}

uint16_t ClassLevel::CheckObjLink(int8_t x, int8_t y, bool fallen) {
  if (!InGrid(x, y)) return 0;
  const uint8_t f = GetGridObjType(x, y, fallen);
  if (!LevelIsColour(f)) return 0;
  int8_t left = x;
  while (GetGridObjType(static_cast<int8_t>(left - 1), y, fallen) == f) left--;
  int8_t right = x;
  while (GetGridObjType(static_cast<int8_t>(right + 1), y, fallen) == f) right++;
  int8_t top = y;
  while (GetGridObjType(x, static_cast<int8_t>(top - 1), fallen) == f) top--;
  int8_t bottom = y;
  while (GetGridObjType(x, static_cast<int8_t>(bottom + 1), fallen) == f) bottom++;
  const int32_t h = right - left + 1;
  const int32_t v = bottom - top + 1;
  if (h < 3 && v < 3) return 0;
  if (h >= 3) {
    MarkRunCleared(left, y, 1, 0, h, f, fallen);
    AddLinkProgress();
  }
  if (v >= 3) {
    MarkRunCleared(x, top, 0, 1, v, f, fallen);
    AddLinkProgress();
  }
  PlaySound(SOUND_LINK_FIRST + (Rand() & 3));
  AddLinkProgress();
  int32_t points = (h >= 3 && v >= 3) ? 200 : 0;
  if (h >= 3) points += h * 100 - 250;
  if (v >= 3) points += v * 100 - 250;
  return static_cast<uint16_t>(points);
}

void ClassLevel::SelectCell(uint8_t x, uint8_t y) {
  TraceInput("sel %d %d", x, y);
  cursorx = x;
  cursory = y;
  selected = 1;
}

void ClassLevel::Deselect() {
  TraceInput("desel", 0, 0);
  selected = 0;
}

bool ClassLevel::StartSwap(uint8_t x, uint8_t y) {
  TraceInput("swap %d %d", x, y);
  if (swaplock != 0 || selected == 0 || !CursorValid()) return false;
  const int32_t dx = static_cast<int32_t>(x) - cursorx;
  const int32_t dy = static_cast<int32_t>(y) - cursory;
  if ((dx == 0 && dy == 0) || dx < -1 || dx > 1 || dy < -1 || dy > 1) return false;
  const uint16_t target = GetGridObj(static_cast<int8_t>(x), static_cast<int8_t>(y));
  if (target >= LEVEL_OBJECTS || !LevelIsColour(objects[target].type)) return false;
  LEVEL_OBJECT& mover = objects[GetGridObj(static_cast<int8_t>(cursorx), static_cast<int8_t>(cursory))];
  LEVEL_OBJECT& partner = objects[target];
  // Only objects at rest swap: one still falling would leave its cell twice.
  if (mover.state != OBJSTATE_RESTING || partner.state != OBJSTATE_RESTING) return false;
  PlaySound(SOUND_CLICK_ID);
  swaplock = 1;
  swapx = x;
  swapy = y;
  const uint32_t stepx = StepCode(cursorx, x);
  const uint32_t stepy = StepCode(cursory, y);
  mover.param = stepx + 4 * stepy;
  partner.param = OppositeStep(stepx) + 4 * OppositeStep(stepy);
  mover.state = partner.state = OBJSTATE_SWAPOUT;
  mover.clock = partner.clock = 0;
  return true;
}

void ClassLevel::DestroyMatrix() {
  for (LEVEL_OBJECT& object : objects) {
    if (object.type == OBJTYPE_FREE) continue;
    if (object.type == OBJTYPE_FROZEN) object.type = static_cast<uint8_t>(object.param & 0xFF);
    object.state = OBJSTATE_DROPPING;
    object.param = static_cast<uint32_t>(object.y * 24);
    object.offsetX = static_cast<int32_t>(Rand() & 8191) - 4096;
    object.offsetY = static_cast<int32_t>(Rand() & 8191) - 4096;
  }
  for (int32_t i = 0; i < DESTROY_PARTICLES; i++) {
    const int32_t px = static_cast<int32_t>(Rand() % 192) + 63;
    const int32_t py = static_cast<int32_t>(Rand() % 192) + 17;
    const int32_t vx = static_cast<int32_t>(Rand() & 2047) - 1024;
    const int32_t vy = static_cast<int32_t>(Rand() & 2047) - 1024;
    if (shared != nullptr) shared->CreateParticle(px, py, PARTICLE_HEAVY, vx, vy);
  }
  cursorx = cursory = LEVEL_CURSORHOME;
  hintx = LEVEL_NOHINT;
  LevelPhase = LEVELPHASE_CLEARING;
  swaplock = 0;
  selected = 0;
  // A new board starts settled; left standing, an old unsettled time would
  // throw out every following timed board on its first frame.
  unsettledtime = 0;
  StopMusic(LEVEL_MUSICBONUS, LEVEL_MUSICFADEOUT, LEVEL_MUSICFADETIME);
  PlaySound(SOUND_LINK_FIRST);
}
