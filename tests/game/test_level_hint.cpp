// Tests of the move search and the hint: the single move from every start
// row, moves that a frozen object blocks or that would move a frozen object,
// the settled board without a move, the board still in motion, and what a
// hint costs.
#include <cstdint>

#include <gtest/gtest.h>

#include "level_rig.h"

namespace {

constexpr uint8_t BLUE = 2;

// The diagonal board with (2, 0) turned blue: row 0 reads red, blue, blue,
// so the only move is the blue object at (0, 1) going up.
void OneMoveBoard(LevelRig& rig) {
  rig.DiagonalBoard();
  rig.At(2, 0).type = BLUE;
}

void Freeze(LevelRig& rig, int8_t x, int8_t y) {
  LEVEL_OBJECT& object = rig.At(x, y);
  object.param = object.type;
  object.type = OBJTYPE_FROZEN;
  object.state = OBJSTATE_FROZEN;
}

TEST(LevelHint, FindsTheSingleMoveFromEveryStartRow) {
  LevelRig rig;
  OneMoveBoard(rig);
  for (uint8_t start = 0; start < 8; start++) {
    uint8_t column = 99, row = 99;
    EXPECT_TRUE(rig.level.CheckHint(column, row, start)) << int(start);
    EXPECT_EQ(column, 0) << int(start);
    EXPECT_EQ(row, 1) << int(start);
  }
}

TEST(LevelHint, ASettledFullBoardWithoutAMoveIsFinished) {
  LevelRig rig;
  rig.DiagonalBoard();
  uint8_t column = 0, row = 0;
  EXPECT_FALSE(rig.level.CheckHint(column, row, 3));
  EXPECT_EQ(column, 8);
}

TEST(LevelHint, ABoardStillMovingOrNotFullIsNotFinished) {
  LevelRig moving;
  moving.DiagonalBoard();
  moving.At(5, 5).state = OBJSTATE_CLEARED;
  uint8_t column = 0, row = 0;
  EXPECT_TRUE(moving.level.CheckHint(column, row, 0));
  EXPECT_EQ(column, 8);

  LevelRig gap;
  gap.DiagonalBoard();
  gap.At(5, 5).type = OBJTYPE_FREE;
  gap.level.LinkGridObj(5, 5, CELL_EMPTY);
  EXPECT_TRUE(gap.level.CheckHint(column, row, 0));
  EXPECT_EQ(column, 8);
}

TEST(LevelHint, AMoveBlockedOnlyByAFrozenObjectIsReportedAsColumn8) {
  LevelRig rig;
  OneMoveBoard(rig);
  Freeze(rig, 1, 0);  // blue, in the middle of the run the move would make
  uint8_t column = 0, row = 0;
  EXPECT_TRUE(rig.level.CheckHint(column, row, 5));
  EXPECT_EQ(column, 8);
}

TEST(LevelHint, AMoveOfAFrozenObjectIsNeverReported) {
  for (int8_t frozenrow : {0, 1}) {  // the partner at (0, 0) or the mover at (0, 1)
    LevelRig rig;
    OneMoveBoard(rig);
    Freeze(rig, 0, frozenrow);
    for (uint8_t start = 0; start < 8; start++) {
      uint8_t column = 0, row = 0;
      EXPECT_TRUE(rig.level.CheckHint(column, row, start)) << "not finished";
      EXPECT_EQ(column, 8) << "frozen at row " << int(frozenrow);
    }
  }
}

TEST(LevelHint, LinkTestCountsFreeCellsBeforeTheFirstFrozenOne) {
  LevelRig rig;
  uint8_t colour[8][8] = {};
  uint8_t raw[8][8] = {};
  for (int32_t x = 0; x < 5; x++) colour[0][x] = raw[0][x] = 4;
  raw[0][3] = OBJTYPE_FROZEN;
  bool blocked = false;
  EXPECT_TRUE(rig.level.CheckHintLink(1, 0, colour, raw, blocked)) << "0, 1, 2 free";
  EXPECT_FALSE(blocked);
  EXPECT_FALSE(rig.level.CheckHintLink(4, 0, colour, raw, blocked)) << "only itself free";
  EXPECT_TRUE(blocked);
  blocked = false;
  EXPECT_FALSE(rig.level.CheckHintLink(3, 0, colour, raw, blocked)) << "a frozen centre never links";
  EXPECT_TRUE(blocked);
}

TEST(LevelHintShow, AFoundHintCostsProgressAndShowsTheCell) {
  for (uint8_t mode : {PLAYER_MODE_EASY, PLAYER_MODE_TIMED}) {
    LevelRig rig(1, mode);
    OneMoveBoard(rig);
    rig.Player().progress = 100;
    rig.Player().hintRequest = 1;
    rig.level.StartHintShow();
    EXPECT_EQ(rig.Player().progress, mode == PLAYER_MODE_TIMED ? 76u : 52u);
    EXPECT_EQ(rig.level.hintx, 0);
    EXPECT_EQ(rig.level.hinty, 1);
    EXPECT_EQ(rig.level.hinttime, 0u);
    EXPECT_EQ(rig.Player().hintRequest, 0);
    EXPECT_EQ(rig.Sounds(), " s6");
  }
}

TEST(LevelHintShow, TooLittleProgressCostsNothingAndShowsNothing) {
  LevelRig rig(1, PLAYER_MODE_TIMED);
  OneMoveBoard(rig);
  rig.Player().progress = 23;
  rig.Player().hintRequest = 1;
  rig.level.StartHintShow();
  EXPECT_EQ(rig.Player().progress, 23u);
  EXPECT_EQ(rig.level.hintx, 8);
  EXPECT_EQ(rig.Player().hintRequest, 0);
  EXPECT_EQ(rig.Sounds(), "");
}

TEST(LevelHintShow, AskingWhileAHintShowsCostsAgainAndShowsNothingNew) {
  LevelRig rig;
  OneMoveBoard(rig);
  rig.Player().progress = 200;
  rig.level.StartHintShow();
  rig.level.hinttime = 500;
  rig.level.StartHintShow();
  EXPECT_EQ(rig.Player().progress, 200u - 2u * 48u);
  EXPECT_EQ(rig.level.hinttime, 500u);
  EXPECT_EQ(rig.Sounds(), " s6");
}

TEST(LevelHintShow, NoMoveFoundStillCosts) {
  LevelRig rig;
  rig.DiagonalBoard();
  rig.Player().progress = 48;
  rig.level.StartHintShow();
  EXPECT_EQ(rig.Player().progress, 0u);
  EXPECT_EQ(rig.level.hintx, 8);
  EXPECT_EQ(rig.Sounds(), "");
}

}  // namespace
