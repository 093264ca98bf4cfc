// level_objects.cpp - the play field in motion: the object state machine
// (resting, falling, swapping and its judgement, clearing, frozen,
// shattering, collected, dropping out), the floating scores, the game rules
// of every frame (drop sounds, shown score, refill with treasures, board
// clearing, freezes, the timed mode's clock, the level-up bonus, the stuck
// check) and the frame of the screen from the level start to the end of a
// game.
//
// Depends on: game/level.h, game/loader.h (the backdrop), game/shared.h,
// util/vmod_math.h, platform/platform.h (the trace option).
#include <cstdint>

#include "game/level.h"
#include "game/loader.h"
#include "game/shared.h"
#include "platform/platform.h"
#include "util/vmod_math.h"

namespace {

constexpr uint32_t PROGRESS_TIMEDSTART = 585;
constexpr uint32_t PROGRESS_TIMEDLEVEL = 512;   // a timed game goes on from here after a level-up
constexpr uint32_t PROGRESS_SIREN = 160;
constexpr uint32_t PROGRESS_SHATTER = 48;
constexpr int32_t SWAP_TIME = 256;
constexpr uint32_t FALL_START = 768;
constexpr uint32_t FALL_MAX = 1024;
constexpr int32_t CELL_UNITS = 16384;
constexpr int32_t DROPOUT_ROW = 10;             // an object below this row has left the screen
constexpr int32_t CLEAR_TIME = 300;
constexpr int32_t SHATTER_TIME = 512;
constexpr int32_t THAW_TIME = 4096;
constexpr uint32_t SHATTER_SPEED = 256;
constexpr uint32_t SCORE_LIFE = 1023;
constexpr uint32_t SCORE_RISE = 4096;           // 1/16 pixel per ms in 16.16
constexpr uint32_t DROP_SOUNDS = 8;
constexpr uint32_t DROP_AT = 3600;
constexpr uint32_t DROP_SPACING = 128;
constexpr uint32_t COUNT_STEP = 50;
constexpr uint32_t INTRO_END = 4000;
constexpr uint32_t CREATE_AT = 2000;
constexpr uint32_t NEWBOARD_TIME = 2000;
constexpr uint32_t TREASURE_AT = 512;
constexpr uint32_t FREEZE_MAXFROZEN = 4;
constexpr uint32_t FREEZE_SCOREEND = 35000;
constexpr uint32_t UNSETTLED_LIMIT = 8000;
constexpr uint32_t SIREN_INTERVAL = 1000;
constexpr uint32_t BONUS_STEP = 250;
constexpr uint32_t BONUS_PAYOUTS = 10;
constexpr int32_t MAXOBJECTS = 64;

// Sounds and tunes.
constexpr uint32_t SOUND_DROP = 0;
constexpr uint32_t SOUND_FROZEN = 8;
constexpr uint32_t SOUND_SHATTER = 9;
constexpr uint32_t SOUND_SIREN = 14;

constexpr int32_t FIELD_LEFT = 63;
constexpr int32_t FIELD_TOP = 17;

uint8_t FrameOf(int32_t clock, int32_t every) { return static_cast<uint8_t>((clock / every) & 7); }

uint32_t AddCapped(uint32_t value, uint32_t t, uint32_t cap) {
  const uint64_t sum = static_cast<uint64_t>(value) + t;
  return sum > cap ? cap : static_cast<uint32_t>(sum);
}

// Swap direction halves: 1 negative, 2 positive, 0 none.
int32_t StepOf(uint32_t code) { return code == 1 ? -1 : code == 2 ? 1 : 0; }

// One step of the shown score towards the score.
uint32_t CountStep(uint32_t distance) {
  if (distance >= 1000) return 1000;
  if (distance > 99) return 100;
  if (distance > 10) return 10;
  return 1;
}

// Sets the swap offsets and frame from the clock.
void PlaceSwapping(LEVEL_OBJECT& object) {
  const uint32_t dx = object.param & 3;
  const uint32_t dy = object.param >> 2;
  if (dx != 0) object.offsetX = 64 * object.clock * (dx == 1 ? -1 : 1);
  if (dy != 0) object.offsetY = 64 * object.clock * (dy == 1 ? -1 : 1);
  object.frame = static_cast<uint8_t>(object.clock / 32);
}

}  // namespace

ClassLevel::~ClassLevel() {
  if (traceowned && trace != nullptr) std::fclose(trace);
}

void ClassLevel::LevelReset() {
  ClassPlayer& player = Player();
  player.level = 0;
  player.score = 0;
  player.progress = player.mode == PLAYER_MODE_TIMED ? PROGRESS_TIMEDSTART : 0;
  player.progressShown = player.progress;
  player.tickTime = 0;
  player.bonusClock = 0;
  player.treasureCount = 0;
  player.freezeCount = 0;
  player.hintRequest = 0;
  player.endRequest = 0;
}

void ClassLevel::CreateScoreObject(int32_t x, int32_t y, uint32_t value) {
  if (value == 0) return;
  for (SCORE_OBJECT& score : scoreobjects) {
    if (score.value != 0) continue;
    score.age = 0;
    score.x = static_cast<int32_t>(static_cast<uint32_t>(x) << 16);
    score.y = static_cast<int32_t>(static_cast<uint32_t>(y) << 16);
    score.value = value;
    return;
  }
}

int32_t ClassLevel::FirstFreeSlot() const {
  for (int32_t slot = 0; slot < LEVEL_OBJECTS; slot++)
    if (objects[slot].type == OBJTYPE_FREE) return slot;
  return -1;
}

void ClassLevel::FreeSlot(int32_t slot) { objects[slot].type = OBJTYPE_FREE; }

void ClassLevel::ScoreAtCell(int8_t x, int8_t y, uint32_t points) {
  if (points == 0) return;
  Player().score += points;
  CreateScoreObject(24 * x + FIELD_LEFT, 24 * y + FIELD_TOP, points);
}

void ClassLevel::Burst(int32_t px, int32_t py, uint8_t type) {
  if (shared == nullptr || shared->vcd == nullptr || shared->vcd->math == nullptr) return;
  const ClassVMath& math = *shared->vcd->math;
  for (uint32_t angle = 0; angle < 4096; angle += 512) {
    const int32_t s = math.Sin(angle);
    const int32_t c = -math.Cos(angle);
    shared->CreateParticle(px + s / 4096, py + c / 4096, type, s / 64, c / 64);
  }
}

void ClassLevel::BurstAtCell(int8_t x, int8_t y, uint8_t type) { Burst(24 * x + 75, 24 * y + 29, type); }

// --- the object states ----------------------------------------------------------------

void ClassLevel::HandleObjects(uint32_t t, bool judgeSwaps) {
  int32_t first = -1;
  int32_t last = -1;
  for (int32_t slot = 0; slot < LEVEL_OBJECTS; slot++) {
    if (objects[slot].type == OBJTYPE_FREE) continue;
    const uint8_t state = objects[slot].state;
    if (judgeSwaps) {
      if (state == OBJSTATE_SWAPPED) HandleSwapped(slot, t);
      continue;
    }
    switch (state) {
      case OBJSTATE_RESTING: HandleResting(slot, t); break;
      case OBJSTATE_FALLING:
      case OBJSTATE_FALLING2: HandleFalling(slot, t); break;
      case OBJSTATE_DROPPING: HandleDropping(slot, t); break;
      case OBJSTATE_SWAPOUT:
        if (HandleSwapOut(slot, t)) {
          if (first < 0) first = slot;
          last = slot;
        }
        break;
      case OBJSTATE_SWAPBACK: HandleSwapBack(slot, t); break;
      case OBJSTATE_CLEARED: HandleCleared(slot, t); break;
      case OBJSTATE_FROZEN: HandleFrozen(slot, t); break;
      case OBJSTATE_SHATTERFALL: HandleShatter(slot, t, true); break;
      case OBJSTATE_SHATTER: HandleShatter(slot, t, false); break;
      case OBJSTATE_COLLECTED: HandleCollected(slot, t); break;
      default: break;
    }
  }
  if (first >= 0) JudgeSwap(first, last);
  HandleScoreObjects(t);
}

void ClassLevel::HandleResting(int32_t slot, uint32_t t) {
  LEVEL_OBJECT& object = objects[slot];
  if (object.type == OBJTYPE_TREASURE) {
    object.clock += static_cast<int32_t>(t);
    object.frame = FrameOf(object.clock, 56);
  } else {
    object.frame = 0;
    object.clock = 0;
  }
  object.fade = 0;
  const int8_t below = static_cast<int8_t>(object.y + 1);
  if (below < LEVEL_SIZE && GetGridObj(object.x, below) == CELL_EMPTY) {
    LinkGridObj(object.x, object.y, CELL_RESERVED);
    LinkGridObj(object.x, below, CELL_RESERVED);
    object.state = OBJSTATE_FALLING2;
    object.param = FALL_START;
  } else if (object.type == OBJTYPE_TREASURE && (object.y == LEVEL_SIZE - 1 || BonusRunning())) {
    LinkGridObj(object.x, object.y, CELL_RESERVED);
    object.state = OBJSTATE_COLLECTED;
    object.param = FALL_START;
  }
}

void ClassLevel::HandleFalling(int32_t slot, uint32_t t) {
  LEVEL_OBJECT& object = objects[slot];
  object.param = AddCapped(object.param, t, FALL_MAX);
  object.clock += static_cast<int32_t>(t);
  object.frame = object.clock < 0 ? 0 : FrameOf(object.clock, 28);
  object.fade = object.fade > t ? object.fade - t : 0;
  object.offsetY += static_cast<int32_t>((object.param * t) / 8);
  if (object.offsetY < CELL_UNITS) return;
  LinkGridObj(object.x, object.y, CELL_EMPTY);
  object.y = static_cast<int8_t>(object.y + 1);
  const int8_t below = static_cast<int8_t>(object.y + 1);
  const uint16_t under = GetGridObj(object.x, below);
  if (under != CELL_EMPTY && object.y >= -1) {
    LinkGridObj(object.x, object.y, static_cast<uint16_t>(slot));
    object.offsetY = 0;
    object.state = OBJSTATE_RESTING;
    ScoreAtCell(object.x, object.y, CheckObjLink(object.x, object.y, true));
    return;
  }
  LinkGridObj(object.x, object.y, CELL_RESERVED);
  LinkGridObj(object.x, below, CELL_RESERVED);
  object.offsetY %= CELL_UNITS;
}

void ClassLevel::HandleDropping(int32_t slot, uint32_t t) {
  LEVEL_OBJECT& object = objects[slot];
  // An object above the grid starts with a negative speed, which as an
  // unsigned number is huge: it goes to full speed at once instead of wrapping.
  object.param = object.param > FALL_MAX ? FALL_MAX : AddCapped(object.param, t, FALL_MAX);
  object.clock += static_cast<int32_t>(t);
  object.offsetY += static_cast<int32_t>((t * object.param) / 10);
  object.frame = FrameOf(object.clock, 56);
  if (object.offsetY / CELL_UNITS + object.y > DROPOUT_ROW) FreeSlot(slot);
}

bool ClassLevel::HandleSwapOut(int32_t slot, uint32_t t) {
  LEVEL_OBJECT& object = objects[slot];
  object.clock += static_cast<int32_t>(t);
  if (object.clock > SWAP_TIME) object.clock = SWAP_TIME;
  PlaceSwapping(object);
  if (object.clock < SWAP_TIME) return false;
  object.state = OBJSTATE_SWAPPED;
  object.x = static_cast<int8_t>(object.x + StepOf(object.param & 3));
  object.y = static_cast<int8_t>(object.y + StepOf(object.param >> 2));
  LinkGridObj(object.x, object.y, static_cast<uint16_t>(slot));
  object.offsetX = object.offsetY = 0;
  return true;
}

void ClassLevel::JudgeSwap(int32_t a, int32_t b) {
  LEVEL_OBJECT& first = objects[a];
  LEVEL_OBJECT& second = objects[b];
  const uint32_t pointsa = CheckObjLink(first.x, first.y, false);
  const uint32_t pointsb = b != a ? CheckObjLink(second.x, second.y, false) : 0;
  if (pointsa + pointsb == 0) return;  // both stay swapped and slide back in the second pass
  if (first.state != OBJSTATE_CLEARED) first.state = OBJSTATE_RESTING;
  if (second.state != OBJSTATE_CLEARED) second.state = OBJSTATE_RESTING;
  ScoreAtCell(first.x, first.y, pointsa);
  ScoreAtCell(second.x, second.y, pointsb);
  swaplock = 0;
  cursorx = swapx;
  cursory = swapy;
  selected = 0;
}

void ClassLevel::HandleSwapped(int32_t slot, uint32_t t) {
  LEVEL_OBJECT& object = objects[slot];
  object.x = static_cast<int8_t>(object.x - StepOf(object.param & 3));
  object.y = static_cast<int8_t>(object.y - StepOf(object.param >> 2));
  LinkGridObj(object.x, object.y, static_cast<uint16_t>(slot));
  object.state = OBJSTATE_SWAPBACK;
  object.clock = SWAP_TIME;
  HandleSwapBack(slot, t);
}

void ClassLevel::HandleSwapBack(int32_t slot, uint32_t t) {
  LEVEL_OBJECT& object = objects[slot];
  if (object.clock > static_cast<int32_t>(t)) {
    object.clock -= static_cast<int32_t>(t);
    PlaceSwapping(object);
    return;
  }
  object.clock = 0;
  PlaceSwapping(object);
  object.state = OBJSTATE_RESTING;
  selected = 0;
  swaplock = 0;
  ScoreAtCell(object.x, object.y, CheckObjLink(object.x, object.y, false));
}

void ClassLevel::HandleCleared(int32_t slot, uint32_t t) {
  LEVEL_OBJECT& object = objects[slot];
  object.clock += static_cast<int32_t>(t);
  object.frame = FrameOf(object.clock, 42);
  if (object.clock < CLEAR_TIME) return;
  FreeSlot(slot);
  LinkGridObj(object.x, object.y, CELL_EMPTY);
  BurstAtCell(object.x, object.y, PARTICLE_HEAVY);
}

void ClassLevel::HandleFrozen(int32_t slot, uint32_t t) {
  LEVEL_OBJECT& object = objects[slot];
  object.clock += static_cast<int32_t>(t);
  object.frame = FrameOf(object.clock, 56);
  const bool emptybelow = GetGridObj(object.x, static_cast<int8_t>(object.y + 1)) == CELL_EMPTY;
  bool clearingabove = false;
  for (int8_t row = 0; row < object.y; row++) clearingabove |= GetGridObj(object.x, row) == CELL_CLEARING;
  if (emptybelow || clearingabove) {
    ClassPlayer& player = Player();
    object.type = OBJTYPE_SHATTERING;
    object.state = emptybelow ? OBJSTATE_SHATTERFALL : OBJSTATE_SHATTER;
    object.clock = 0;
    object.param = SHATTER_SPEED;
    ScoreAtCell(object.x, object.y, (player.level + 1u) * 100u);
    PlaySound(SOUND_SHATTER);
    if (player.mode == PLAYER_MODE_TIMED && player.bonusClock == 0)
      player.progress = AddCapped(player.progress, PROGRESS_SHATTER, LEVEL_PROGRESSFULL);
    return;
  }
  if (object.clock < THAW_TIME) return;
  object.type = static_cast<uint8_t>(object.param & 0xFF);
  object.state = OBJSTATE_RESTING;
  ScoreAtCell(object.x, object.y, CheckObjLink(object.x, object.y, true));
}

void ClassLevel::HandleShatter(int32_t slot, uint32_t t, bool moving) {
  LEVEL_OBJECT& object = objects[slot];
  object.clock += static_cast<int32_t>(t);
  object.frame = FrameOf(object.clock, 56);
  if (moving) object.offsetY += static_cast<int32_t>((object.param * t) / 8);
  if (object.clock < SHATTER_TIME) return;
  LinkGridObj(object.x, object.y, CELL_EMPTY);
  FreeSlot(slot);
  BurstAtCell(object.x, object.y, PARTICLE_TUMBLING);
}

void ClassLevel::HandleCollected(int32_t slot, uint32_t t) {
  LEVEL_OBJECT& object = objects[slot];
  object.clock += static_cast<int32_t>(t);
  object.frame = FrameOf(object.clock, 28);
  // Compared before counting down: the unsigned life would wrap past zero.
  if (object.param > t) {
    object.param -= t;
    return;
  }
  LinkGridObj(object.x, object.y, CELL_EMPTY);
  FreeSlot(slot);
  const uint32_t points = object.y == LEVEL_SIZE - 1 ? (Player().level + 1u) * 1000u : 100u;
  ScoreAtCell(object.x, object.y, points);
  BurstAtCell(object.x, object.y, PARTICLE_HEAVY);
}

void ClassLevel::HandleScoreObjects(uint32_t t) {
  for (SCORE_OBJECT& score : scoreobjects) {
    if (score.value == 0) continue;
    score.y += static_cast<int32_t>(SCORE_RISE * t);
    score.age += t;
    if (score.age > SCORE_LIFE) score.value = 0;
  }
}

// --- the rules of every frame ---------------------------------------------------------

void ClassLevel::HandleIdle(uint32_t t) {
  HandleDropSounds(t);
  HandleShownScore(t);
  if (introtime >= INTRO_END) {
    if (LevelPhase == LEVELPHASE_PLAYING) Refill();
    if (LevelPhase == LEVELPHASE_CLEARING) HandleBoardCleared();
  }
  HandleFreeze(t);
  if (!CursorValid()) selected = 0;
  if (TimedMode() && LevelPhase == LEVELPHASE_PLAYING) HandleTimer(t);
  if (LevelPhase != LEVELPHASE_PLAYING) return;
  HandleBonus(t);
  HandleLevelUp();
  HandleStuck(t);
  if (hinttime < LEVEL_HINTSHOWN) hinttime += t;
}

void ClassLevel::HandleDropSounds(uint32_t t) {
  if (dropcount >= DROP_SOUNDS) return;
  droptime += t;
  while (droptime >= DROP_AT && dropcount < DROP_SOUNDS) {
    PlaySound(SOUND_DROP);
    droptime -= DROP_SPACING;
    dropcount++;
  }
}

void ClassLevel::HandleShownScore(uint32_t t) {
  const uint32_t score = Player().score;
  if (shownscore == score) {
    counttime = 0;
    return;
  }
  counttime += t;
  while (counttime >= COUNT_STEP && shownscore != score) {
    counttime -= COUNT_STEP;
    if (shownscore < score) shownscore += CountStep(score - shownscore);
    else shownscore -= CountStep(shownscore - score);
  }
  if (shownscore == score) counttime = 0;
}

void ClassLevel::Refill() {
  ClassPlayer& player = Player();
  int32_t used = 0;
  uint32_t treasures = 0;
  for (const LEVEL_OBJECT& object : objects) {
    used += object.type != OBJTYPE_FREE;
    treasures += object.type == OBJTYPE_TREASURE;
  }
  if (player.mode == PLAYER_MODE_TIMED) treasures *= 2;
  for (int8_t column = 0; column < LEVEL_SIZE && used < MAXOBJECTS; column++) {
    if (GetGridObj(column, 0) != CELL_EMPTY) continue;
    LEVEL_OBJECT& object = objects[FirstFreeSlot()];
    object.param = (Rand() & 255) + 512;
    object.y = -1;
    object.x = column;
    object.state = OBJSTATE_FALLING2;
    object.frame = 0;
    object.clock = 0;
    object.fade = 0;
    object.offsetX = object.offsetY = 0;
    LinkGridObj(column, 0, CELL_RESERVED);
    object.type = 0;
    if (treasures < 2) {
      player.treasureCount += (player.mode == PLAYER_MODE_TIMED ? (Rand() & 255) >> 5 : (Rand() & 255) >> 4) + 1;
      if (player.treasureCount >= TREASURE_AT) {
        player.treasureCount = 0;
        object.type = OBJTYPE_TREASURE;
      }
    }
    if (object.type == 0) object.type = static_cast<uint8_t>((Rand() & 7) + 1);
    used++;
  }
}

void ClassLevel::HandleBoardCleared() {
  for (const LEVEL_OBJECT& object : objects)
    if (object.type != OBJTYPE_FREE) return;
  if (gameover != 0) {
    LevelPhase = LEVELPHASE_FINISHED;
    return;
  }
  CreateNew();
  droptime = NEWBOARD_TIME;
  dropcount = 0;
  introtime = NEWBOARD_TIME;
  createtime = NEWBOARD_TIME;
  LevelPhase = LEVELPHASE_INTRO;
}

void ClassLevel::HandleFreeze(uint32_t t) {
  uint32_t frozen = 0;
  for (const LEVEL_OBJECT& object : objects) frozen += object.type == OBJTYPE_FROZEN;
  if (LevelPhase != LEVELPHASE_PLAYING || BonusRunning() || frozen > FREEZE_MAXFROZEN) {
    freezetime = 0;
    return;
  }
  ClassPlayer& player = Player();
  freezetime += t;
  const uint32_t interval = player.score <= FREEZE_SCOREEND ? 8000 - player.score / 5 : 1000;
  if (freezetime < interval) return;
  freezetime -= interval;
  const uint32_t aim = player.level <= 4 ? 32u - 6u * player.level : 4u;
  player.freezeCount += (Rand() & 3) + 1;
  uint8_t tx = LEVEL_NOHINT;
  uint8_t ty = 0;
  if (player.freezeCount < aim) {
    tx = static_cast<uint8_t>(Rand() & 7);
    ty = static_cast<uint8_t>(Rand() & 7);
  } else {
    player.freezeCount = 0;
    CheckHint(tx, ty, static_cast<uint8_t>(Rand() & 7));
  }
  if (tx >= LEVEL_NOHINT) return;
  if (hintx < LEVEL_NOHINT && hinttime < LEVEL_HINTSHOWN && (tx == hintx || ty == hinty)) return;
  const uint16_t cell = GetGridObj(static_cast<int8_t>(tx), static_cast<int8_t>(ty));
  if (cell >= LEVEL_OBJECTS) return;
  LEVEL_OBJECT& object = objects[cell];
  if (object.type < 1 || object.type > OBJTYPE_COLOURS || object.state != OBJSTATE_RESTING) return;
  object.param = object.type;
  object.type = OBJTYPE_FROZEN;
  object.state = OBJSTATE_FROZEN;
  object.clock = 0;
  uint8_t column = LEVEL_NOHINT;
  uint8_t row = 0;
  CheckHint(column, row, static_cast<uint8_t>(Rand() & 7));
  if (column >= LEVEL_NOHINT) {
    // Freezing it left no move: the player would be stuck through no fault of his own.
    object.state = OBJSTATE_RESTING;
    object.type = static_cast<uint8_t>(object.param & 0xFF);
    return;
  }
  PlaySound(SOUND_FROZEN);
}

void ClassLevel::HandleTimer(uint32_t t) {
  ClassPlayer& player = Player();
  const int32_t tickfor = 96 - 12 * static_cast<int32_t>(player.level);
  const uint32_t tick = tickfor < 40 ? 40u : static_cast<uint32_t>(tickfor);
  if (player.bonusClock == 0) player.tickTime += t;
  while (player.tickTime >= tick) {
    player.tickTime -= tick;
    if (player.progress > 0) player.progress--;
  }
  if (player.progress <= PROGRESS_SIREN) {
    if (sirentime <= t) {
      PlaySound(SOUND_SIREN);
      sirentime = SIREN_INTERVAL;
    } else {
      sirentime -= t;
    }
  } else {
    sirentime = 0;
  }
  if (player.progress == 0) {
    DestroyMatrix();
    gameover = 1;
  }
  player.progressShown = player.progress;
}

void ClassLevel::HandleBonus(uint32_t t) {
  ClassPlayer& player = Player();
  if (player.bonusClock == 0) return;
  player.bonusClock += t;
  if (player.bonusClock <= BONUS_STEP) return;
  const uint32_t points = (player.level + 1u) * 50u;
  const int32_t cx = static_cast<int32_t>(Rand() & 7);
  const int32_t cy = static_cast<int32_t>(Rand() & 3) + 4;
  player.score += points;
  CreateScoreObject(24 * cx + FIELD_LEFT, 24 * cy, points);
  Burst(24 * cx + 87, 24 * cy - 7, PARTICLE_HEAVY);
  player.bonusSteps++;
  player.bonusClock -= BONUS_STEP;
  if (player.bonusSteps >= BONUS_PAYOUTS) player.bonusClock = 0;
}

void ClassLevel::HandleLevelUp() {
  ClassPlayer& player = Player();
  if (player.progress < LEVEL_PROGRESSFULL || player.bonusClock != 0) return;
  player.progress = player.mode == PLAYER_MODE_TIMED ? PROGRESS_TIMEDLEVEL : 0;
  player.bonusClock = 1;
  player.level++;
  player.bonusSteps = 0;
  PlayMusic(LEVEL_MUSICBONUS, false);
}

void ClassLevel::HandleStuck(uint32_t t) {
  uint8_t column = LEVEL_NOHINT;
  uint8_t row = 0;
  const bool open = CheckHint(column, row, static_cast<uint8_t>(Rand() & 7));
  if (!open || unsettledtime >= UNSETTLED_LIMIT) {
    if (!TimedMode()) gameover = 1;
    DestroyMatrix();
  } else if (column < LEVEL_NOHINT) {
    unsettledtime = 0;
  } else {
    unsettledtime += t;
  }
}

// --- the frame ------------------------------------------------------------------------

void ClassLevel::OnNextFrame(V2DSurface* /*backbuffer*/, uint32_t* activemodule, uint32_t* modulestatus,
                             unsigned long delta) {
  if (activemodule == nullptr || modulestatus == nullptr) return;
  const uint32_t t = static_cast<uint32_t>(delta);
  tracegen = shared != nullptr && shared->vcd != nullptr && shared->vcd->math != nullptr
                 ? shared->vcd->math->GetRandSeed()
                 : 0;
  if (Player().hintRequest != 0) TraceInput("hint", 0, 0);
  if (Player().endRequest != 0) TraceInput("end", 0, 0);
  if (*modulestatus == MODULESTATUS_ENTER) StartLevel(activemodule, modulestatus);
  else RunFrame(t, activemodule, modulestatus);
  TraceFrame(t);
}

bool ClassLevel::LoadBackdrop() {
  if (shared == nullptr || shared->vcd == nullptr) return false;
  return ClassLoader::QuickLoadSurface(&shared->surface.background, "backdrop.png", shared->vcd->display) == 1;
}

void ClassLevel::StartLevel(uint32_t* activemodule, uint32_t* modulestatus) {
  if (!traceopened) {
    traceopened = true;
    const char* path = Platform_GetOptions()->trace;
    if (path != nullptr && trace == nullptr && !OpenTrace(path) && shared != nullptr) {
      std::snprintf(shared->errortext, SHARED_ERRORTEXTSIZE, "Cannot write the trace file %s", path);
      *modulestatus = MODULESTATUS_FATAL;
      return;
    }
  }
  if (!LoadBackdrop()) {
    // Entered like every other switch, so the title runs its first-call step.
    *activemodule = MODULE_TITLE;
    *modulestatus = MODULESTATUS_ENTER;
    return;
  }
  for (LEVEL_OBJECT& object : objects) object.type = OBJTYPE_FREE;
  for (SCORE_OBJECT& score : scoreobjects) score.value = 0;
  for (uint16_t& cell : grid) cell = CELL_EMPTY;
  LevelReset();
  cellsize = shared != nullptr ? shared->surface.objects.GetWidth() / 8 : 0;
  hintx = LEVEL_NOHINT;
  cursorx = cursory = LEVEL_CURSORHOME;
  shownscore = Player().score;
  introtime = createtime = counttime = unsettledtime = droptime = dropcount = 0;
  selected = swaplock = gameover = stylusdown = 0;
  StopMusic(LEVEL_MUSICINGAME, LEVEL_MUSICFADEOUT, LEVEL_MUSICFADETIME);
  LevelPhase = LEVELPHASE_INTRO;
  if (shared != nullptr) shared->resetdelta = 1;
  *modulestatus = MODULESTATUS_RUNNING;
}

void ClassLevel::RunFrame(uint32_t t, uint32_t* activemodule, uint32_t* modulestatus) {
  totaltime += t;
  const bool guibusy = shared != nullptr && shared->guibusy != 0;
  if (guibusy && LevelPhase == LEVELPHASE_PLAYING) LevelPhase = LEVELPHASE_PAUSED;
  if (!guibusy && LevelPhase == LEVELPHASE_PAUSED) LevelPhase = LEVELPHASE_PLAYING;
  ClassPlayer& player = Player();
  if (player.hintRequest != 0) StartHintShow();
  if (LevelPhase == LEVELPHASE_INTRO) {
    if (introtime < INTRO_END) {
      introtime += t;
      if (introtime >= INTRO_END) {
        // The grid becomes part of the backdrop for the rest of the game.
        if (shared != nullptr && shared->surface.background.IsCreated() && shared->surface.grid.IsCreated()) {
          V2DSurface& gridimage = shared->surface.grid;
          const tagRECT whole = {0, 0, gridimage.GetWidth(), gridimage.GetHeight()};
          shared->surface.background.BltFast(FIELD_LEFT, FIELD_TOP, &gridimage, &whole);
        }
        LevelPhase = LEVELPHASE_PLAYING;
      }
    }
    if (createtime < CREATE_AT) {
      createtime += t;
      if (createtime >= CREATE_AT) CreateNew();
    }
  }
  if (LevelPhase == LEVELPHASE_PLAYING || LevelPhase == LEVELPHASE_INTRO || LevelPhase == LEVELPHASE_CLEARING) {
    HandleObjects(t, false);
    HandleObjects(t, true);
    HandleIdle(t);
  }
  if (LevelPhase == LEVELPHASE_INTRO || LevelPhase == LEVELPHASE_CLEARING) player.endRequest = 0;
  if (LevelPhase == LEVELPHASE_PLAYING && player.endRequest != 0) LevelPhase = LEVELPHASE_FINISHED;
  if (LevelPhase == LEVELPHASE_FINISHED) EndGame(activemodule, modulestatus);
}

void ClassLevel::EndGame(uint32_t* activemodule, uint32_t* modulestatus) {
  if (shared != nullptr) shared->InsertHighScore(Player().mode, Player().score);
  *activemodule = MODULE_TITLE;
  *modulestatus = MODULESTATUS_ENTER;
}
