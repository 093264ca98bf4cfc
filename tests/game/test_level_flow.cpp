// Tests of the play field in motion: swaps that stand and swaps that slide
// back, falling and landing, frozen objects breaking and thawing, treasures,
// the player's reset and level-up in both modes, refill limits, the freeze
// limit, the timed mode's clock and siren, the shown score, the level start
// and the end of a game.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "game/game_folder.h"
#include "level_rig.h"
#include "platform/host/host_devices.h"

namespace {

constexpr uint8_t RED = 1;
constexpr uint8_t BLUE = 2;
constexpr uint8_t GREEN = 3;

// Row 7: red red blue red; moving the last red left onto the blue links three.
void SwapRow(LevelRig& rig) {
  rig.EmptyField();
  rig.Put(0, 7, RED);
  rig.Put(1, 7, RED);
  rig.Put(2, 7, BLUE);
  rig.Put(3, 7, RED);
}

TEST(LevelSwap, ASwapThatLinksKeepsBothObjectsAndMovesTheCursorToTheTarget) {
  LevelRig rig;
  SwapRow(rig);
  const int32_t mover = rig.level.GetGridObj(3, 7);
  const int32_t partner = rig.level.GetGridObj(2, 7);
  rig.level.SelectCell(3, 7);
  ASSERT_TRUE(rig.level.StartSwap(2, 7));
  rig.Objects(16, 15);
  EXPECT_EQ(rig.level.swaplock, 1) << "still sliding after 240 ms";
  rig.Objects(16);
  EXPECT_EQ(rig.level.objects[mover].state, OBJSTATE_CLEARED);
  EXPECT_EQ(rig.level.objects[mover].x, 2);
  EXPECT_EQ(rig.level.objects[partner].state, OBJSTATE_RESTING) << "the one outside the link returns to rest";
  EXPECT_EQ(rig.level.objects[partner].x, 3);
  EXPECT_EQ(rig.level.GetGridObj(3, 7), partner);
  EXPECT_EQ(rig.level.swaplock, 0);
  EXPECT_EQ(rig.level.selected, 0);
  EXPECT_EQ(rig.level.cursorx, 2);
  EXPECT_EQ(rig.level.cursory, 7);
  EXPECT_EQ(rig.Player().score, 50u);
  EXPECT_EQ(rig.level.scoreobjects[0].value, 50u);
  EXPECT_EQ(rig.level.scoreobjects[0].x >> 16, 24 * 2 + 63);
}

TEST(LevelSwap, ASwapThatLinksNothingSlidesBothBackAndClearsTheSelection) {
  LevelRig rig;
  SwapRow(rig);
  const int32_t mover = rig.level.GetGridObj(1, 7);
  const int32_t partner = rig.level.GetGridObj(2, 7);
  rig.level.SelectCell(1, 7);
  ASSERT_TRUE(rig.level.StartSwap(2, 7));
  rig.Objects(16, 16);
  EXPECT_EQ(rig.level.objects[mover].state, OBJSTATE_SWAPBACK) << "judged at once and sent back";
  EXPECT_EQ(rig.level.GetGridObj(1, 7), mover);
  EXPECT_EQ(rig.level.objects[mover].offsetX, 64 * (256 - 16));
  rig.Objects(16, 16);
  for (int32_t slot : {mover, partner}) {
    EXPECT_EQ(rig.level.objects[slot].state, OBJSTATE_RESTING);
    EXPECT_EQ(rig.level.objects[slot].offsetX, 0);
  }
  EXPECT_EQ(rig.level.GetGridObj(1, 7), mover);
  EXPECT_EQ(rig.level.GetGridObj(2, 7), partner);
  EXPECT_EQ(rig.level.selected, 0);
  EXPECT_EQ(rig.level.swaplock, 0);
  EXPECT_EQ(rig.level.cursorx, 1);
  EXPECT_EQ(rig.Player().score, 0u);
}

TEST(LevelFall, AnObjectFallsIntoTheEmptyCellsAndLinksWhereItLands) {
  LevelRig rig;
  rig.EmptyField();
  rig.Put(0, 7, RED);
  rig.Put(2, 7, RED);
  const int32_t faller = rig.Put(1, 2, RED);
  rig.Objects(16);
  EXPECT_EQ(rig.level.objects[faller].state, OBJSTATE_FALLING2);
  EXPECT_EQ(rig.level.GetGridObj(1, 2), CELL_RESERVED);
  EXPECT_EQ(rig.level.GetGridObj(1, 3), CELL_RESERVED);
  rig.Objects(16, 60);
  EXPECT_EQ(rig.level.objects[faller].y, 7);
  EXPECT_EQ(rig.level.objects[faller].state, OBJSTATE_CLEARED);
  EXPECT_EQ(rig.Player().score, 50u);
  for (int8_t y = 0; y < 7; y++) EXPECT_EQ(rig.level.GetGridObj(1, y), CELL_EMPTY) << y;
  rig.Objects(16, 20);
  for (int8_t x = 0; x < 3; x++) EXPECT_EQ(rig.level.GetGridObj(x, 7), CELL_EMPTY) << "cleared after 300 ms";
  EXPECT_EQ(rig.level.objects[faller].type, OBJTYPE_FREE);
}

TEST(LevelFrozen, AFrozenObjectOverAnEmptyCellShattersForTheLevelsPoints) {
  for (uint8_t mode : {PLAYER_MODE_EASY, PLAYER_MODE_TIMED}) {
    LevelRig rig(3, mode);
    rig.EmptyField();
    rig.Player().level = 2;
    rig.Player().progress = 1000;
    const int32_t frozen = rig.PutFrozen(4, 6, BLUE);
    rig.level.HandleObjects(16, false);
    EXPECT_EQ(rig.level.objects[frozen].type, OBJTYPE_SHATTERING);
    EXPECT_EQ(rig.level.objects[frozen].state, OBJSTATE_SHATTERFALL);
    EXPECT_EQ(rig.Player().score, 300u);
    EXPECT_EQ(rig.Player().progress, mode == PLAYER_MODE_TIMED ? 1024u : 1000u);
    EXPECT_EQ(rig.Sounds(), " s9");
    rig.Objects(16, 32);
    EXPECT_EQ(rig.level.objects[frozen].type, OBJTYPE_FREE);
    EXPECT_EQ(rig.level.GetGridObj(4, 6), CELL_EMPTY);
  }
}

TEST(LevelFrozen, AFrozenObjectUnderAClearingCellShattersInPlace) {
  LevelRig rig;
  rig.EmptyField();
  rig.Put(5, 7, GREEN);
  const int32_t frozen = rig.PutFrozen(5, 6, BLUE);
  rig.level.LinkGridObj(5, 2, CELL_CLEARING);
  rig.level.HandleObjects(16, false);
  EXPECT_EQ(rig.level.objects[frozen].state, OBJSTATE_SHATTER);
  EXPECT_EQ(rig.Player().score, 100u);
}

TEST(LevelFrozen, AFrozenObjectLeftAloneThawsAfter4096MsAndMayLink) {
  LevelRig rig;
  rig.EmptyField();
  rig.Put(0, 7, RED);
  const int32_t frozen = rig.PutFrozen(1, 7, RED);
  rig.Put(2, 7, RED);
  rig.Objects(64, 63);
  EXPECT_EQ(rig.level.objects[frozen].state, OBJSTATE_FROZEN) << "4032 ms";
  EXPECT_EQ(rig.Player().score, 0u);
  rig.Objects(64);
  EXPECT_EQ(rig.level.objects[frozen].type, RED);
  EXPECT_EQ(rig.level.objects[frozen].state, OBJSTATE_CLEARED);
  EXPECT_EQ(rig.Player().score, 50u);
}

TEST(LevelTreasure, ATreasureOnTheBottomRowPaysTheLevelsThousands) {
  LevelRig rig;
  rig.EmptyField();
  rig.Player().level = 3;
  const int32_t treasure = rig.Put(6, 7, OBJTYPE_TREASURE);
  rig.level.HandleObjects(16, false);
  EXPECT_EQ(rig.level.objects[treasure].state, OBJSTATE_COLLECTED);
  EXPECT_EQ(rig.level.GetGridObj(6, 7), CELL_RESERVED);
  rig.Objects(16, 47);
  EXPECT_EQ(rig.level.objects[treasure].type, OBJTYPE_TREASURE) << "768 ms of life, 752 spent";
  rig.Objects(16);
  EXPECT_EQ(rig.level.objects[treasure].type, OBJTYPE_FREE);
  EXPECT_EQ(rig.level.GetGridObj(6, 7), CELL_EMPTY);
  EXPECT_EQ(rig.Player().score, 4000u);
}

TEST(LevelTreasure, ALifeShorterThanTheFrameEndsWithoutWrapping) {
  LevelRig rig;
  rig.EmptyField();
  const int32_t treasure = rig.Put(6, 7, OBJTYPE_TREASURE, OBJSTATE_COLLECTED, 10);
  rig.level.HandleObjects(16, false);
  EXPECT_EQ(rig.level.objects[treasure].type, OBJTYPE_FREE);
  EXPECT_EQ(rig.Player().score, 1000u);
}

TEST(LevelTreasure, DuringALevelUpBonusEveryRestingTreasureIsCollected) {
  LevelRig rig;
  rig.EmptyField();
  rig.Put(2, 7, GREEN);
  const int32_t treasure = rig.Put(2, 6, OBJTYPE_TREASURE);
  rig.Objects(16, 10);
  EXPECT_EQ(rig.level.objects[treasure].state, OBJSTATE_RESTING) << "above the bottom row it stays";
  rig.Player().bonusClock = 1;
  rig.Objects(16, 50);
  EXPECT_EQ(rig.level.objects[treasure].type, OBJTYPE_FREE);
  EXPECT_EQ(rig.Player().score, 100u);
}

TEST(LevelPlayer, ResetStartsTheBarAt585InTimedModeAndAt0InEasyMode) {
  for (uint8_t mode : {PLAYER_MODE_EASY, PLAYER_MODE_TIMED}) {
    LevelRig rig(1, mode);
    ClassPlayer& player = rig.Player();
    player = ClassPlayer{};
    player.mode = mode;
    player.level = 4;
    player.score = 99;
    player.tickTime = player.bonusClock = player.treasureCount = player.freezeCount = 7;
    player.bonusSteps = 5;
    player.hintRequest = player.endRequest = 1;
    rig.level.LevelReset();
    const uint32_t start = mode == PLAYER_MODE_TIMED ? 585u : 0u;
    EXPECT_EQ(player.progress, start);
    EXPECT_EQ(player.progressShown, start);
    EXPECT_EQ(player.level + player.score + player.tickTime + player.bonusClock + player.treasureCount +
                  player.freezeCount + player.hintRequest + player.endRequest,
              0u);
    EXPECT_EQ(player.bonusSteps, 5u) << "kept";
    EXPECT_EQ(player.mode, mode);
  }
}

TEST(LevelIdle, AFullBarLevelsUpAndRestartsAt512InTimedModeAnd0InEasyMode) {
  for (uint8_t mode : {PLAYER_MODE_EASY, PLAYER_MODE_TIMED}) {
    LevelRig rig(1, mode);
    rig.EmptyField();
    rig.level.introtime = 4000;
    rig.Player().progress = 1024;
    rig.level.HandleIdle(0);
    EXPECT_EQ(rig.Player().progress, mode == PLAYER_MODE_TIMED ? 512u : 0u);
    EXPECT_EQ(rig.Player().level, 1);
    EXPECT_EQ(rig.Player().bonusClock, 1u);
    EXPECT_NE(rig.Sounds().find(" m0"), std::string::npos);
    for (int32_t i = 0; i < 10; i++) rig.level.HandleIdle(251);
    EXPECT_EQ(rig.Player().bonusClock, 0u) << "ten payouts";
    EXPECT_EQ(rig.Player().bonusSteps, 10u);
    EXPECT_EQ(rig.Player().score, 10u * 100u);
  }
}

TEST(LevelIdle, NoRefillWith64ObjectsOnTheField) {
  LevelRig rig;
  rig.DiagonalBoard();
  rig.level.introtime = 4000;
  rig.level.objects[rig.level.GetGridObj(3, 0)].state = OBJSTATE_CLEARED;  // still in use
  rig.level.LinkGridObj(3, 0, CELL_EMPTY);
  rig.level.HandleIdle(0);
  EXPECT_EQ(rig.level.GetGridObj(3, 0), CELL_EMPTY);
  for (int32_t slot = LEVEL_CELLS; slot < LEVEL_OBJECTS; slot++) EXPECT_EQ(rig.level.objects[slot].type, 0);

  rig.level.objects[rig.level.GetGridObj(4, 4)].type = OBJTYPE_FREE;
  rig.level.HandleIdle(0);
  EXPECT_EQ(rig.level.GetGridObj(3, 0), CELL_RESERVED) << "one slot free: one new object";
}

TEST(LevelIdle, RefillDropsNewObjectsIntoEveryEmptyTopCell) {
  LevelRig rig(11);
  rig.EmptyField();
  rig.level.introtime = 4000;
  rig.level.HandleIdle(0);
  for (int8_t x = 0; x < 8; x++) {
    EXPECT_EQ(rig.level.GetGridObj(x, 0), CELL_RESERVED);
    const LEVEL_OBJECT& object = rig.level.objects[x];
    EXPECT_EQ(object.x, x);
    EXPECT_EQ(object.y, -1);
    EXPECT_EQ(object.state, OBJSTATE_FALLING2);
    EXPECT_GE(object.param, 512u);
    EXPECT_LT(object.param, 768u);
    EXPECT_TRUE((object.type >= 1 && object.type <= 8) || object.type == OBJTYPE_TREASURE);
  }
}

TEST(LevelIdle, TheFreezeRuleStopsAtFiveFrozenObjects) {
  for (int32_t already : {4, 5}) {
    LevelRig rig(9);
    rig.DiagonalBoard();
    rig.level.introtime = 4000;
    rig.level.objects[rig.level.GetGridObj(2, 0)].type = BLUE;  // one move: (0, 1) upwards
    for (int8_t i = 0; i < already; i++) {
      LEVEL_OBJECT& object = rig.At(static_cast<int8_t>(7 - i), 7);
      object.param = object.type;
      object.type = OBJTYPE_FROZEN;
      object.state = OBJSTATE_FROZEN;
    }
    for (int32_t i = 0; i < 10; i++) rig.level.HandleIdle(8000);  // one freeze interval each
    int32_t frozen = 0;
    for (const LEVEL_OBJECT& object : rig.level.objects) frozen += object.type == OBJTYPE_FROZEN;
    EXPECT_EQ(frozen, 5) << already << " were frozen";
    EXPECT_EQ(rig.level.freezetime, 0u);
  }
}

TEST(LevelIdle, HintAndTickNeverTakeProgressBelowZero) {
  LevelRig easy(1, PLAYER_MODE_EASY);
  easy.DiagonalBoard();
  easy.Player().progress = 47;
  easy.level.StartHintShow();
  EXPECT_EQ(easy.Player().progress, 47u);

  LevelRig timed(1, PLAYER_MODE_TIMED);
  timed.EmptyField();
  timed.level.introtime = 4000;
  timed.Player().progress = 1;
  timed.level.HandleIdle(100);
  EXPECT_EQ(timed.Player().progress, 0u);
  EXPECT_EQ(timed.Player().progressShown, 0u);
  EXPECT_EQ(timed.level.gameover, 1);
  EXPECT_EQ(timed.level.LevelPhase, LEVELPHASE_CLEARING);
}

TEST(LevelIdle, TheTimedTickShortensWithTheLevelAndPausesDuringTheBonus) {
  struct Case {
    uint8_t level;
    uint32_t bonus;
    uint32_t lost;   // progress lost in 480 ms
  };
  for (const Case& c : {Case{0, 0, 5}, Case{3, 0, 8}, Case{6, 0, 12}, Case{9, 0, 12}, Case{0, 5, 0}}) {
    LevelRig rig(1, PLAYER_MODE_TIMED);
    rig.EmptyField();
    rig.Player().level = c.level;
    rig.Player().progress = 500;
    rig.Player().bonusClock = c.bonus;
    rig.level.HandleIdle(480);
    EXPECT_EQ(rig.Player().progress, 500u - c.lost) << int(c.level);
  }
}

TEST(LevelIdle, TheSirenSoundsAtOnceAndThenEverySecondWhileTheBarIsLow) {
  LevelRig rig(1, PLAYER_MODE_TIMED);
  rig.EmptyField();
  rig.Player().progress = 170;
  rig.level.HandleIdle(0);
  EXPECT_EQ(rig.Sounds(), "");
  rig.Player().progress = 160;
  rig.Player().tickTime = 0;
  rig.level.HandleIdle(0);
  EXPECT_EQ(rig.Sounds(), " s14");
  rig.level.HandleIdle(90);  // the siren time counts down by the frame time
  for (int32_t i = 0; i < 9; i++) rig.level.HandleIdle(100);
  EXPECT_EQ(rig.Sounds(), " s14") << "990 ms later";
  rig.level.HandleIdle(10);
  EXPECT_EQ(rig.Sounds(), " s14 s14");
}

TEST(LevelIdle, TheShownScoreCountsTowardsTheScoreInShrinkingSteps) {
  LevelRig rig;
  rig.EmptyField();
  rig.Player().score = 1234;
  const uint32_t expected[] = {1000, 1100, 1200, 1210, 1220, 1230, 1231, 1232, 1233, 1234, 1234};
  for (uint32_t shown : expected) {
    rig.level.HandleIdle(50);
    EXPECT_EQ(rig.level.shownscore, shown);
  }
  EXPECT_EQ(rig.level.counttime, 0u);
  rig.level.HandleIdle(30);
  EXPECT_EQ(rig.level.counttime, 0u);
}

TEST(LevelIdle, EightDropSoundsPlay128MsApartFromTheDropTime3600) {
  LevelRig rig;
  rig.EmptyField();
  rig.level.dropcount = 0;
  rig.level.droptime = 3500;
  rig.level.HandleIdle(99);
  EXPECT_EQ(rig.Sounds(), "");
  rig.level.HandleIdle(1);
  EXPECT_EQ(rig.Sounds(), " s0");
  rig.level.HandleIdle(1000);
  EXPECT_EQ(rig.level.dropcount, 8u);
  EXPECT_EQ(rig.Sounds(), " s0 s0 s0 s0 s0 s0 s0 s0");
}

TEST(LevelIdle, AStuckEasyBoardEndsTheGameAndAStuckTimedBoardGetsANewOne) {
  for (uint8_t mode : {PLAYER_MODE_EASY, PLAYER_MODE_TIMED}) {
    LevelRig rig(1, mode);
    rig.DiagonalBoard();
    rig.level.introtime = 4000;
    rig.Player().progress = 500;
    rig.level.HandleIdle(16);
    EXPECT_EQ(rig.level.LevelPhase, LEVELPHASE_CLEARING);
    EXPECT_EQ(rig.level.gameover, mode == PLAYER_MODE_EASY ? 1 : 0);
    rig.Objects(100, 30);
    rig.level.HandleIdle(16);
    EXPECT_EQ(rig.level.LevelPhase, mode == PLAYER_MODE_EASY ? LEVELPHASE_FINISHED : LEVELPHASE_INTRO);
  }
}

TEST(LevelScores, AScoreRisesAPixelEvery8MsAndGoesAfterAbout512Ms) {
  LevelRig rig;
  rig.EmptyField();
  rig.level.CreateScoreObject(100, 50, 150);
  rig.level.CreateScoreObject(100, 50, 0);
  EXPECT_EQ(rig.level.scoreobjects[1].value, 0u) << "a value of 0 makes nothing";
  rig.Objects(16);
  EXPECT_EQ(rig.level.scoreobjects[0].y, (50 << 16) + 2 * 4096 * 16);
  EXPECT_EQ(rig.level.scoreobjects[0].age, 32u);
  rig.Objects(16, 30);
  EXPECT_EQ(rig.level.scoreobjects[0].value, 150u) << "aged 992 ms";
  rig.Objects(16);
  EXPECT_EQ(rig.level.scoreobjects[0].value, 0u);
}

TEST(LevelScores, WithAll24InUseANewScoreIsDropped) {
  LevelRig rig;
  rig.EmptyField();
  for (uint32_t i = 1; i <= 25; i++) rig.level.CreateScoreObject(0, 0, i);
  for (int32_t slot = 0; slot < LEVEL_SCOREOBJECTS; slot++)
    EXPECT_EQ(rig.level.scoreobjects[slot].value, static_cast<uint32_t>(slot + 1));
}

TEST(LevelIdle, TheRefillMakesATreasureWhenItsAccumulatorReaches512) {
  for (uint32_t treasures : {0u, 2u}) {
    LevelRig rig(8);
    rig.EmptyField();
    rig.level.introtime = 4000;
    for (uint32_t i = 0; i < treasures; i++) rig.Put(static_cast<int8_t>(i), 7, OBJTYPE_TREASURE);
    rig.Player().treasureCount = 511;
    rig.level.HandleIdle(0);
    const LEVEL_OBJECT& dropped = rig.level.objects[treasures];  // the first free slot, column 0
    EXPECT_EQ(dropped.x, 0);
    EXPECT_EQ(dropped.y, -1);
    if (treasures == 0) {
      EXPECT_EQ(dropped.type, OBJTYPE_TREASURE);
      EXPECT_LT(rig.Player().treasureCount, 512u);
    } else {
      EXPECT_NE(dropped.type, OBJTYPE_TREASURE) << "two on the field already";
      EXPECT_EQ(rig.Player().treasureCount, 511u);
    }
  }
}

// The diagonal board with one move: the blue object at (0, 1) going up.
void OneMoveBoard(LevelRig& rig) {
  rig.DiagonalBoard();
  rig.At(2, 0).type = BLUE;
  rig.level.introtime = 4000;
}

int32_t FrozenCount(const LevelRig& rig) {
  int32_t frozen = 0;
  for (const LEVEL_OBJECT& object : rig.level.objects) frozen += object.type == OBJTYPE_FROZEN;
  return frozen;
}

TEST(LevelIdle, AFreezeThatWouldLeaveNoMoveIsUndone) {
  LevelRig rig;
  OneMoveBoard(rig);
  rig.Player().freezeCount = 40;  // above the level's 32: this freeze aims at the move
  rig.level.HandleIdle(8000);
  EXPECT_EQ(rig.Player().freezeCount, 0u);
  EXPECT_EQ(FrozenCount(rig), 0);
  EXPECT_EQ(rig.At(0, 1).type, BLUE);
  EXPECT_EQ(rig.At(0, 1).state, OBJSTATE_RESTING);
  EXPECT_EQ(rig.Sounds(), "");
  EXPECT_EQ(rig.level.freezetime, 0u);
}

TEST(LevelIdle, AFreezeSparesTheRowAndColumnOfTheShownHint) {
  for (bool showing : {false, true}) {
    LevelRig rig(21);
    OneMoveBoard(rig);
    rig.Player().freezeCount = 0;
    rig.level.hintx = 3;
    rig.level.hinty = 5;
    rig.level.hinttime = showing ? 0 : 1024;
    int32_t near = 0;
    for (int32_t i = 0; i < 40; i++) {
      rig.level.HandleIdle(8000);
      for (const LEVEL_OBJECT& object : rig.level.objects) {
        if (object.type != OBJTYPE_FROZEN) continue;
        near += object.x == 3 || object.y == 5;
      }
      for (LEVEL_OBJECT& object : rig.level.objects)  // thaw at once, so every try may freeze
        if (object.type == OBJTYPE_FROZEN) {
          object.type = static_cast<uint8_t>(object.param);
          object.state = OBJSTATE_RESTING;
        }
      rig.level.hinttime = showing ? 0 : 1024;
    }
    if (showing) {
      EXPECT_EQ(near, 0);
    } else {
      EXPECT_GT(near, 0) << "without a hint those cells freeze too";
    }
  }
}

// --- the frame ----------------------------------------------------------------------

TEST(LevelFrame, TheFirstCallOnlyStartsTheLevel) {
  LevelRig rig(1, PLAYER_MODE_TIMED);
  rig.shared.modulestatus = MODULESTATUS_ENTER;
  rig.shared.activemodule = MODULE_LEVEL;
  rig.shared.resetdelta = 0;
  rig.level.hinttime = 300;
  rig.level.cursorx = 1;
  rig.Player().score = 500;
  rig.level.objects[5].type = RED;
  rig.Frames(16);
  EXPECT_EQ(rig.shared.modulestatus, MODULESTATUS_RUNNING);
  EXPECT_EQ(rig.shared.resetdelta, 1);
  EXPECT_EQ(rig.level.LevelPhase, LEVELPHASE_INTRO);
  EXPECT_EQ(rig.level.objects[5].type, OBJTYPE_FREE);
  for (uint16_t cell : rig.level.grid) EXPECT_EQ(cell, CELL_EMPTY);
  EXPECT_EQ(rig.Player().progress, 585u);
  EXPECT_EQ(rig.level.shownscore, 0u);
  EXPECT_EQ(rig.level.cursorx, 4);
  EXPECT_EQ(rig.level.hintx, 8);
  EXPECT_EQ(rig.level.hinttime, 300u) << "kept";
  EXPECT_EQ(rig.level.totaltime, 0u) << "no frame ran";
  EXPECT_EQ(rig.Sounds(), " x1");
}

TEST(LevelFrame, AMissingBackdropEntersTheTitleAsEverySwitchDoes) {
  LevelRig rig;
  rig.level.backdrop = false;
  rig.shared.modulestatus = MODULESTATUS_ENTER;
  rig.shared.activemodule = MODULE_LEVEL;
  rig.Frames(16);
  EXPECT_EQ(rig.shared.activemodule, MODULE_TITLE);
  EXPECT_EQ(rig.shared.modulestatus, MODULESTATUS_ENTER);
}

TEST(LevelFrame, TheBoardFillsAt2000MsAndTheIntroEndsAt4000Ms) {
  LevelRig rig;
  rig.shared.modulestatus = MODULESTATUS_ENTER;
  rig.Frames(0);
  rig.Frames(100, 19);
  EXPECT_EQ(rig.level.objects[0].type, OBJTYPE_FREE);
  rig.Frames(100);
  EXPECT_NE(rig.level.objects[0].type, OBJTYPE_FREE);
  rig.Frames(100, 19);
  EXPECT_EQ(rig.level.LevelPhase, LEVELPHASE_INTRO);
  rig.Frames(100);
  EXPECT_EQ(rig.level.LevelPhase, LEVELPHASE_PLAYING);
}

TEST(LevelFrame, TheOverlayPausesPlayAndReleasesIt) {
  LevelRig rig;
  rig.DiagonalBoard();
  rig.level.objects[rig.level.GetGridObj(2, 0)].type = BLUE;  // one move keeps the board alive
  rig.shared.guibusy = 1;
  rig.Frames(16);
  EXPECT_EQ(rig.level.LevelPhase, LEVELPHASE_PAUSED);
  rig.shared.guibusy = 0;
  rig.Frames(16);
  EXPECT_EQ(rig.level.LevelPhase, LEVELPHASE_PLAYING);
}

TEST(LevelFrame, GivingUpEntersTheScoreInTheModesTableAndReturnsToTheTitle) {
  for (uint8_t mode : {PLAYER_MODE_EASY, PLAYER_MODE_TIMED}) {
    LevelRig rig(1, mode);
    rig.DiagonalBoard();
    rig.level.objects[rig.level.GetGridObj(2, 0)].type = BLUE;
    rig.shared.settings.scores[mode][0] = 900;
    rig.Player().score = 700;
    rig.Player().progress = 500;
    rig.Player().endRequest = 1;
    rig.shared.activemodule = MODULE_LEVEL;
    rig.Frames(16);
    EXPECT_EQ(rig.shared.settings.scores[mode][1], 700u);
    EXPECT_EQ(rig.shared.settings.scores[1 - mode][1], 0u);
    EXPECT_EQ(rig.shared.pendinghighscore, 1);
    EXPECT_EQ(rig.shared.activemodule, MODULE_TITLE);
    EXPECT_EQ(rig.shared.modulestatus, MODULESTATUS_ENTER);
  }
}

TEST(LevelFrame, AGiveUpRequestDuringTheIntroIsDropped) {
  LevelRig rig;
  rig.EmptyField();
  rig.level.LevelPhase = LEVELPHASE_INTRO;
  rig.Player().endRequest = 1;
  rig.Frames(16);
  EXPECT_EQ(rig.Player().endRequest, 0);
  EXPECT_EQ(rig.shared.activemodule, 0u);
}

// The host's --trace option as the game finds it.
class TraceOption {
 public:
  explicit TraceOption(const char* path) {
    PLATFORM_OPTIONS options{};
    options.trace = path;
    HostDevices_SetOptions(options);
  }
  ~TraceOption() { HostDevices_SetOptions(PLATFORM_OPTIONS{}); }
  TraceOption(const TraceOption&) = delete;
  TraceOption& operator=(const TraceOption&) = delete;
};

TEST(LevelFrame, TheHostsTraceFileGetsARecordForEveryFrame) {
  GameFolder folder;
  ASSERT_TRUE(folder.Entered());
  {
    TraceOption option("run.trace");
    LevelRig rig;
    rig.level.SetTrace(nullptr);
    rig.shared.modulestatus = MODULESTATUS_ENTER;
    rig.Frames(16, 3);
  }
  const std::vector<uint8_t> bytes = ReadWholeFile("run.trace");
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_EQ(text.rfind("frame 0 t 16 ", 0), 0u);
  EXPECT_NE(text.find("\nframe 2 t 16 "), std::string::npos);
  EXPECT_EQ(text.find("\nframe 3 "), std::string::npos);
}

TEST(LevelFrame, ATraceFileThatCannotBeCreatedEndsTheRunWithItsReason) {
  TraceOption option("no/such/folder/run.trace");
  LevelRig rig;
  rig.level.SetTrace(nullptr);
  rig.shared.modulestatus = MODULESTATUS_ENTER;
  rig.Frames(16);
  EXPECT_EQ(rig.shared.modulestatus, MODULESTATUS_FATAL);
  EXPECT_STREQ(rig.shared.errortext, "Cannot write the trace file no/such/folder/run.trace");
}

}  // namespace
