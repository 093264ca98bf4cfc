// Tests of the play field's board model: grid reads and codes, what the link
// rule sees of each cell, the cursor test, a new board, run scores and
// progress, runs broken by every kind of cell, the start of a swap and the
// end of a board.
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "level_rig.h"

namespace {

constexpr uint8_t RED = 1;
constexpr uint8_t BLUE = 2;

TEST(LevelGrid, ReadsOutsideTheGridGiveTheOutsideCodeAndWritesThereAreIgnored) {
  LevelRig rig;
  rig.EmptyField();
  EXPECT_EQ(rig.level.GetGridObj(8, 0), CELL_OUTSIDE);
  EXPECT_EQ(rig.level.GetGridObj(0, -1), CELL_OUTSIDE);
  EXPECT_EQ(rig.level.GetGridObj(7, 7), CELL_EMPTY);
  rig.level.LinkGridObj(-1, 3, 5);
  rig.level.LinkGridObj(3, 8, 5);
  for (uint16_t cell : rig.level.grid) EXPECT_EQ(cell, CELL_EMPTY);
  rig.level.LinkGridObj(7, 7, 12);
  EXPECT_EQ(rig.level.grid[63], 12);
}

struct TypeCase {
  const char* name;
  uint8_t state;
  bool countsAfterLanding;   // fallen true
  bool countsAfterSwap;      // fallen false
};

const TypeCase TYPE_CASES[] = {
    {"Resting", OBJSTATE_RESTING, true, true},     {"Frozen", OBJSTATE_FROZEN, true, true},
    {"Swapped", OBJSTATE_SWAPPED, false, true},    {"Falling", OBJSTATE_FALLING2, false, false},
    {"SwappingOut", OBJSTATE_SWAPOUT, false, false}, {"Cleared", OBJSTATE_CLEARED, false, false},
    {"Collected", OBJSTATE_COLLECTED, false, false},
};

class LevelGridType : public ::testing::TestWithParam<TypeCase> {};

TEST_P(LevelGridType, CountsAnObjectOnlyInTheStatesOfRest) {
  LevelRig rig;
  rig.EmptyField();
  rig.Put(2, 3, BLUE, GetParam().state);
  EXPECT_EQ(rig.level.GetGridObjType(2, 3, true), GetParam().countsAfterLanding ? BLUE : 0);
  EXPECT_EQ(rig.level.GetGridObjType(2, 3, false), GetParam().countsAfterSwap ? BLUE : 0);
}

INSTANTIATE_TEST_SUITE_P(States, LevelGridType, ::testing::ValuesIn(TYPE_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LevelGrid, CodesAndOutsideCellsHaveNoType) {
  LevelRig rig;
  rig.EmptyField();
  rig.level.LinkGridObj(0, 0, CELL_RESERVED);
  rig.level.LinkGridObj(1, 0, CELL_CLEARING);
  bool frozen = true;
  for (int8_t x : {0, 1, 2}) {
    EXPECT_EQ(rig.level.GetGridObjType(x, 0, false), 0);
    EXPECT_EQ(rig.level.GetGridObjTypeSpecial(x, 0, frozen), 0);
    EXPECT_FALSE(frozen);
  }
  EXPECT_EQ(rig.level.GetGridObjType(-1, 0, false), 0);
}

TEST(LevelGrid, SpecialTypeShowsTheHiddenColourOfAFrozenObject) {
  LevelRig rig;
  rig.EmptyField();
  rig.PutFrozen(4, 4, BLUE);
  rig.Put(5, 4, OBJTYPE_TREASURE, OBJSTATE_FALLING2);
  bool frozen = false;
  EXPECT_EQ(rig.level.GetGridObjTypeSpecial(4, 4, frozen), BLUE);
  EXPECT_TRUE(frozen);
  EXPECT_EQ(rig.level.GetGridObjTypeSpecial(5, 4, frozen), OBJTYPE_TREASURE) << "the state is not consulted";
  EXPECT_FALSE(frozen);
}

struct CursorCase {
  const char* name;
  uint8_t type;   // 0: no object
  bool valid;
};

const CursorCase CURSOR_CASES[] = {
    {"FirstColour", 1, true},          {"LastColour", 8, true},     {"Treasure", OBJTYPE_TREASURE, false},
    {"Frozen", OBJTYPE_FROZEN, false}, {"Shattering", OBJTYPE_SHATTERING, false}, {"Empty", 0, false},
};

class LevelCursor : public ::testing::TestWithParam<CursorCase> {};

TEST_P(LevelCursor, IsValidOnlyOnAColourObject) {
  LevelRig rig;
  rig.EmptyField();
  if (GetParam().type != 0) rig.Put(3, 5, GetParam().type);
  rig.level.cursorx = 3;
  rig.level.cursory = 5;
  EXPECT_EQ(rig.level.CursorValid(), GetParam().valid);
}

INSTANTIATE_TEST_SUITE_P(Cells, LevelCursor, ::testing::ValuesIn(CURSOR_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LevelCursor, IsInvalidOutsideTheGrid) {
  LevelRig rig;
  rig.DiagonalBoard();
  rig.level.cursorx = 8;
  rig.level.cursory = 0;
  EXPECT_FALSE(rig.level.CursorValid());
}

// --- a new board --------------------------------------------------------------------

bool ThreeInALine(const uint8_t colours[8][8]) {
  for (int32_t y = 0; y < 8; y++)
    for (int32_t x = 0; x < 8; x++) {
      const uint8_t c = colours[y][x];
      if (x <= 5 && colours[y][x + 1] == c && colours[y][x + 2] == c) return true;
      if (y <= 5 && colours[y + 1][x] == c && colours[y + 2][x] == c) return true;
    }
  return false;
}

TEST(LevelNewBoard, NeverHoldsThreeInALineForManySeeds) {
  for (uint32_t seed = 1; seed <= 300; seed++) {
    LevelRig rig(seed * 7919u);
    rig.EmptyField();
    rig.level.CreateNew();
    uint8_t colours[8][8];
    for (int32_t i = 0; i < LEVEL_CELLS; i++) colours[i / 8][i % 8] = rig.level.objects[i].type;
    ASSERT_FALSE(ThreeInALine(colours)) << "seed " << seed * 7919u;
  }
}

TEST(LevelNewBoard, StartsEveryObjectAboveTheGridInItsColumnWithTheEmptyGridBelow) {
  LevelRig rig(42);
  rig.EmptyField();
  rig.Put(0, 0, RED);
  rig.level.freezetime = 777;
  rig.level.CreateNew();
  for (int32_t i = 0; i < LEVEL_CELLS; i++) {
    const LEVEL_OBJECT& object = rig.level.objects[i];
    SCOPED_TRACE(i);
    EXPECT_GE(object.type, 1);
    EXPECT_LE(object.type, 8);
    EXPECT_EQ(object.x, i % 8);
    EXPECT_EQ(object.y, -2 * (i / 8) - 2);
    EXPECT_EQ(object.state, i <= 20 ? OBJSTATE_FALLING2 : OBJSTATE_FALLING);
    EXPECT_EQ(object.clock, -680);
    EXPECT_EQ(object.fade, 1000u);
    EXPECT_LT(object.offsetY, 16384);
    EXPECT_GE(object.offsetY, 0);
  }
  for (int32_t i = LEVEL_CELLS; i < LEVEL_OBJECTS; i++) EXPECT_EQ(rig.level.objects[i].type, OBJTYPE_FREE);
  for (uint16_t cell : rig.level.grid) EXPECT_EQ(cell, CELL_EMPTY);
  EXPECT_EQ(rig.level.freezetime, 0u);
}

TEST(LevelNewBoard, LandsUpsideDownWithoutALinkForSeveralSeeds) {
  for (uint32_t seed : {3u, 99u, 2024u, 65537u}) {
    LevelRig rig(seed);
    rig.EmptyField();
    rig.level.CreateNew();
    rig.Objects(16, 400);
    uint8_t colours[8][8];
    for (int32_t i = 0; i < LEVEL_CELLS; i++) {
      const LEVEL_OBJECT& object = rig.level.objects[i];
      ASSERT_EQ(object.state, OBJSTATE_RESTING) << "seed " << seed << " slot " << i;
      EXPECT_EQ(object.x, i % 8);
      EXPECT_EQ(object.y, 7 - i / 8) << "scratch row 0 lands on grid row 7";
      EXPECT_EQ(rig.level.GetGridObj(object.x, object.y), i);
      colours[object.y][object.x] = object.type;
    }
    EXPECT_FALSE(ThreeInALine(colours));
    EXPECT_EQ(rig.Player().score, 0u);
  }
}

// --- the link rule ------------------------------------------------------------------

struct RunCase {
  const char* name;
  int8_t across;       // length of the run along row 7, through (0, 7)
  int8_t up;           // length of the run up column 0, through (0, 7)
  uint16_t points;
  uint32_t easyProgress;
  uint32_t timedProgress;
};

const RunCase RUN_CASES[] = {
    {"Three", 3, 1, 50, 24, 36},           {"Four", 4, 1, 150, 24, 36},
    {"Five", 5, 1, 250, 24, 36},           {"Eight", 8, 1, 550, 24, 36},
    {"ThreeUpwards", 1, 3, 50, 24, 36},    {"CrossOfThrees", 3, 3, 300, 36, 54},
    {"FourAndFive", 4, 5, 200 + 150 + 250, 36, 54},
};

class LevelLinkRule : public ::testing::TestWithParam<RunCase> {};

TEST_P(LevelLinkRule, ScoresTheRunsAndClearsTheirCells) {
  for (uint8_t mode : {PLAYER_MODE_EASY, PLAYER_MODE_TIMED}) {
    LevelRig rig(5, mode);
    rig.EmptyField();
    for (int8_t x = 0; x < GetParam().across; x++) rig.Put(x, 7, RED);
    for (int8_t y = 6; y > 7 - GetParam().up; y--) rig.Put(0, y, RED);
    rig.Put(GetParam().across, 7, BLUE);  // ends the run (outside when it is eight long)
    EXPECT_EQ(rig.level.CheckObjLink(0, 7, true), GetParam().points);
    EXPECT_EQ(rig.Player().progress, mode == PLAYER_MODE_EASY ? GetParam().easyProgress : GetParam().timedProgress);
    for (int8_t x = 0; x < GetParam().across && GetParam().across >= 3; x++) {
      EXPECT_EQ(rig.level.GetGridObj(x, 7), CELL_CLEARING);
    }
    EXPECT_EQ(rig.level.GetGridObj(0, 7), CELL_CLEARING);
    const std::string sounds = rig.Sounds();
    ASSERT_EQ(sounds.size(), 3u);
    EXPECT_GE(sounds[2], '2');
    EXPECT_LE(sounds[2], '5');
  }
}

INSTANTIATE_TEST_SUITE_P(Runs, LevelLinkRule, ::testing::ValuesIn(RUN_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LevelLinkRule, LinkedObjectsEnterTheirClearingState) {
  LevelRig rig;
  rig.EmptyField();
  const int32_t a = rig.Put(3, 2, RED);
  const int32_t b = rig.Put(4, 2, RED);
  const int32_t c = rig.Put(5, 2, RED);
  rig.level.objects[b].clock = 99;
  EXPECT_EQ(rig.level.CheckObjLink(4, 2, false), 50);
  for (int32_t slot : {a, b, c}) {
    EXPECT_EQ(rig.level.objects[slot].state, OBJSTATE_CLEARED);
    EXPECT_EQ(rig.level.objects[slot].clock, 0);
  }
}

TEST(LevelLinkRule, ProgressStopsAtTheFullBarAndPausesDuringATimedBonus) {
  LevelRig easy(1, PLAYER_MODE_EASY);
  easy.EmptyField();
  easy.Player().progress = 1010;
  for (int8_t x = 0; x < 3; x++) easy.Put(x, 0, RED);
  easy.level.CheckObjLink(0, 0, false);
  EXPECT_EQ(easy.Player().progress, 1024u);

  for (uint8_t mode : {PLAYER_MODE_EASY, PLAYER_MODE_TIMED}) {
    LevelRig rig(1, mode);
    rig.EmptyField();
    rig.Player().bonusClock = 40;
    rig.Player().progress = 100;
    for (int8_t x = 0; x < 3; x++) rig.Put(x, 0, RED);
    rig.level.CheckObjLink(1, 0, false);
    EXPECT_EQ(rig.Player().progress, mode == PLAYER_MODE_EASY ? 124u : 100u);
  }
}

struct BreakerCase {
  const char* name;
  uint8_t type;       // 0: a code instead of an object
  uint8_t state;
  uint16_t code;
  bool fallen;
};

const BreakerCase BREAKERS[] = {
    {"EmptyCell", 0, 0, CELL_EMPTY, true},
    {"ReservedCell", 0, 0, CELL_RESERVED, true},
    {"ClearingCell", 0, 0, CELL_CLEARING, true},
    {"FrozenObject", OBJTYPE_FROZEN, OBJSTATE_FROZEN, 0, true},
    {"TreasureObject", OBJTYPE_TREASURE, OBJSTATE_RESTING, 0, true},
    {"OtherColour", BLUE, OBJSTATE_RESTING, 0, true},
    {"FallingObject", RED, OBJSTATE_FALLING2, 0, true},
    {"SwappedObjectAfterALanding", RED, OBJSTATE_SWAPPED, 0, true},
};

class LevelRunBreak : public ::testing::TestWithParam<BreakerCase> {};

TEST_P(LevelRunBreak, BreaksTheRunWithoutSoundOrProgress) {
  LevelRig rig;
  rig.EmptyField();
  rig.Put(0, 7, RED);
  rig.Put(1, 7, RED);
  if (GetParam().type != 0) rig.Put(2, 7, GetParam().type, GetParam().state, RED);
  else rig.level.LinkGridObj(2, 7, GetParam().code);
  rig.Put(3, 7, RED);
  rig.Put(4, 7, RED);
  EXPECT_EQ(rig.level.CheckObjLink(1, 7, GetParam().fallen), 0);
  EXPECT_EQ(rig.level.CheckObjLink(3, 7, GetParam().fallen), 0);
  EXPECT_EQ(rig.Player().progress, 0u);
  EXPECT_EQ(rig.Sounds(), "");
  EXPECT_EQ(rig.At(0, 7).state, OBJSTATE_RESTING);
}

INSTANTIATE_TEST_SUITE_P(Cells, LevelRunBreak, ::testing::ValuesIn(BREAKERS),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LevelLinkRule, ASwappedObjectCountsInTheJudgementOfASwap) {
  LevelRig rig;
  rig.EmptyField();
  rig.Put(0, 7, RED);
  rig.Put(1, 7, RED, OBJSTATE_SWAPPED);
  rig.Put(2, 7, RED);
  EXPECT_EQ(rig.level.CheckObjLink(0, 7, true), 0);
  EXPECT_EQ(rig.level.CheckObjLink(0, 7, false), 50);
}

TEST(LevelLinkRule, TreasureFrozenEmptyAndOutsideCellsLinkNothing) {
  LevelRig rig;
  rig.EmptyField();
  rig.Put(0, 7, OBJTYPE_TREASURE);
  rig.PutFrozen(1, 7, RED);
  for (int8_t x = 2; x < 5; x++) rig.Put(x, 6, RED);
  EXPECT_EQ(rig.level.CheckObjLink(0, 7, true), 0);
  EXPECT_EQ(rig.level.CheckObjLink(1, 7, true), 0);
  EXPECT_EQ(rig.level.CheckObjLink(5, 5, true), 0);
  EXPECT_EQ(rig.level.CheckObjLink(8, 6, true), 0);
  EXPECT_EQ(rig.Player().progress, 0u);
  EXPECT_EQ(rig.Sounds(), "");
}

// --- swaps and the end of a board ---------------------------------------------------

struct SwapCase {
  const char* name;
  int8_t dx, dy;
  uint32_t moverCode, targetCode;
};

const SwapCase SWAP_CASES[] = {
    {"Left", -1, 0, 1, 2},      {"Right", 1, 0, 2, 1},      {"Up", 0, -1, 4, 8},       {"Down", 0, 1, 8, 4},
    {"UpLeft", -1, -1, 5, 10},  {"UpRight", 1, -1, 6, 9},   {"DownLeft", -1, 1, 9, 6}, {"DownRight", 1, 1, 10, 5},
};

class LevelSwapStart : public ::testing::TestWithParam<SwapCase> {};

TEST_P(LevelSwapStart, GivesBothObjectsOppositeDirectionCodes) {
  LevelRig rig;
  rig.DiagonalBoard();
  rig.level.SelectCell(3, 3);
  const int8_t tx = static_cast<int8_t>(3 + GetParam().dx);
  const int8_t ty = static_cast<int8_t>(3 + GetParam().dy);
  ASSERT_TRUE(rig.level.StartSwap(static_cast<uint8_t>(tx), static_cast<uint8_t>(ty)));
  EXPECT_EQ(rig.At(3, 3).param, GetParam().moverCode);
  EXPECT_EQ(rig.At(tx, ty).param, GetParam().targetCode);
  EXPECT_EQ(rig.At(3, 3).state, OBJSTATE_SWAPOUT);
  EXPECT_EQ(rig.At(tx, ty).state, OBJSTATE_SWAPOUT);
  EXPECT_EQ(rig.level.swaplock, 1);
  EXPECT_EQ(rig.level.swapx, tx);
  EXPECT_EQ(rig.level.swapy, ty);
  EXPECT_EQ(rig.level.cursorx, 3) << "the cursor moves only when the swap stands";
  EXPECT_EQ(rig.Sounds(), " s1");
}

INSTANTIATE_TEST_SUITE_P(Directions, LevelSwapStart, ::testing::ValuesIn(SWAP_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LevelSwapStart, RefusesTargetsThatAreNoColourOrNoNeighbour) {
  LevelRig rig;
  rig.EmptyField();
  rig.Put(3, 7, RED);
  rig.PutFrozen(4, 7, BLUE);
  rig.Put(2, 7, OBJTYPE_TREASURE);
  rig.Put(5, 7, BLUE);
  rig.level.SelectCell(3, 7);
  EXPECT_FALSE(rig.level.StartSwap(4, 7)) << "frozen";
  EXPECT_FALSE(rig.level.StartSwap(2, 7)) << "treasure";
  EXPECT_FALSE(rig.level.StartSwap(3, 6)) << "empty";
  EXPECT_FALSE(rig.level.StartSwap(5, 7)) << "two cells away";
  EXPECT_FALSE(rig.level.StartSwap(3, 7)) << "itself";
  rig.level.Deselect();
  rig.Put(3, 6, BLUE);
  EXPECT_FALSE(rig.level.StartSwap(3, 6)) << "nothing selected";
  EXPECT_EQ(rig.level.swaplock, 0);
  EXPECT_EQ(rig.At(3, 7).state, OBJSTATE_RESTING);
  EXPECT_EQ(rig.Sounds(), "");
}

TEST(LevelDestroy, DropsEveryObjectOutAndResetsTheBoardState) {
  LevelRig rig(77, PLAYER_MODE_TIMED);
  rig.DiagonalBoard();
  rig.level.grid[0] = CELL_EMPTY;
  rig.level.objects[0] = LEVEL_OBJECT{};
  const int32_t frozen = rig.level.GetGridObj(2, 5);
  rig.level.objects[frozen].param = rig.level.objects[frozen].type;
  rig.level.objects[frozen].type = OBJTYPE_FROZEN;
  rig.level.objects[frozen].state = OBJSTATE_FROZEN;
  rig.level.cursorx = 1;
  rig.level.selected = rig.level.swaplock = 1;
  rig.level.hintx = 2;
  rig.level.unsettledtime = 8000;
  rig.level.DestroyMatrix();
  for (int32_t slot = 1; slot < LEVEL_CELLS; slot++) {
    const LEVEL_OBJECT& object = rig.level.objects[slot];
    EXPECT_EQ(object.state, OBJSTATE_DROPPING);
    EXPECT_EQ(object.param, static_cast<uint32_t>(object.y * 24));
    EXPECT_GE(object.offsetX, -4096);
    EXPECT_LT(object.offsetX, 4096);
    EXPECT_GE(object.offsetY, -4096);
    EXPECT_LT(object.offsetY, 4096);
  }
  EXPECT_EQ(rig.level.objects[0].type, OBJTYPE_FREE);
  EXPECT_EQ(rig.level.objects[frozen].type, (2 + 5) % 8 + 1) << "its hidden colour back";
  EXPECT_EQ(rig.level.LevelPhase, LEVELPHASE_CLEARING);
  EXPECT_EQ(rig.level.cursorx, 4);
  EXPECT_EQ(rig.level.cursory, 4);
  EXPECT_EQ(rig.level.hintx, 8);
  EXPECT_EQ(rig.level.selected + rig.level.swaplock, 0);
  EXPECT_EQ(rig.level.unsettledtime, 0u) << "else every following timed board is thrown out at once";
  int32_t particles = 0;
  for (const PARTICLE& particle : rig.shared.particles) particles += particle.type == PARTICLE_HEAVY;
  EXPECT_EQ(particles, 64);
  EXPECT_EQ(rig.Sounds(), " x0 s2");
}

TEST(LevelDestroy, AnObjectAboveTheGridDropsAtFullSpeedAtOnce) {
  LevelRig rig;
  rig.EmptyField();
  const int32_t above = rig.Put(2, -1, RED);
  const int32_t low = rig.Put(2, 7, RED);
  rig.level.DestroyMatrix();
  rig.level.HandleObjects(30, false);  // -24 + 30 would wrap round to a crawl of 6
  EXPECT_EQ(rig.level.objects[above].param, 1024u) << "a negative start speed must not wrap to a small one";
  EXPECT_EQ(rig.level.objects[low].param, 7u * 24u + 30u);
  rig.Objects(100, 40);
  EXPECT_EQ(rig.level.objects[above].type, OBJTYPE_FREE);
  EXPECT_EQ(rig.level.objects[low].type, OBJTYPE_FREE);
}

}  // namespace
