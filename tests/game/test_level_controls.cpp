// Tests of the play field's controls: buttons go through the input module's
// default mapping as the framework feeds it, so releases and held keys are
// the real ones. Cursor wrap, the selection toggle, straight and diagonal
// swaps, swaps that cannot be made, the hint key in any phase, the overlay
// blocking input, the wheel and the stylus.
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "input/vmod_input.h"
#include "level_rig.h"

namespace {

// GP2X buttons of the default mapping.
constexpr uint16_t KEY_UP = 1;
constexpr uint16_t KEY_LEFT = 3;
constexpr uint16_t KEY_DOWN = 5;
constexpr uint16_t KEY_RIGHT = 7;
constexpr uint16_t KEY_R = 12;   // the hint key
constexpr uint16_t KEY_B = 14;   // the select key

constexpr uint32_t HINT_COST_EASY = 48;

class Controls {
 public:
  Controls() {
    input.SetDefaultMappings();
    rig.vcd.input = &input;
    rig.DiagonalBoard();
    rig.level.cursorx = rig.level.cursory = 4;
  }

  // A button goes down: its queued actions reach the field as the frame hands them on.
  void Down(uint16_t key) {
    input.OnKeyDown(key);
    V_INPUTEVENT event;
    while (input.GetKeyEvent(&event)) {
      if (event.type == INPUTEVENT_PRESS) rig.level.OnButtonDown(event.code, nullptr, false);
    }
  }

  void Up(uint16_t key) {
    input.OnKeyUp(key);
    rig.level.OnButtonUp(key, nullptr);
    input.ResetEvents();
  }

  void Tap(uint16_t key) {
    Down(key);
    Up(key);
  }

  void Select(uint8_t x, uint8_t y) {
    rig.level.cursorx = x;
    rig.level.cursory = y;
    Tap(KEY_B);
  }

  // The stylus on the middle of a cell.
  static tagPOINT CellPoint(int32_t x, int32_t y) { return {LEVEL_FIELDX + 24 * x + 12, LEVEL_FIELDY + 24 * y + 12}; }

  bool Swapping(uint8_t x, uint8_t y) const {
    return rig.level.swaplock != 0 && rig.level.swapx == x && rig.level.swapy == y;
  }

  ClassVInput input;
  LevelRig rig;
};

struct WrapCase {
  const char* name;
  uint8_t x, y;
  uint16_t key;
  uint8_t wantx, wanty;
};

constexpr WrapCase WRAP_CASES[] = {
    {"LeftFromColumn0", 0, 3, KEY_LEFT, 7, 3},
    {"RightFromColumn7", 7, 3, KEY_RIGHT, 0, 3},
    {"UpFromRow0", 2, 0, KEY_UP, 2, 7},
    {"DownFromRow7", 2, 7, KEY_DOWN, 2, 0},
    {"LeftInside", 4, 4, KEY_LEFT, 3, 4},
};

class LevelCursorWrap : public ::testing::TestWithParam<WrapCase> {};

TEST_P(LevelCursorWrap, ADirectionMovesTheCursorOneCellAndWraps) {
  Controls c;
  c.rig.level.cursorx = GetParam().x;
  c.rig.level.cursory = GetParam().y;
  c.Tap(GetParam().key);
  EXPECT_EQ(c.rig.level.cursorx, GetParam().wantx);
  EXPECT_EQ(c.rig.level.cursory, GetParam().wanty);
  EXPECT_EQ(c.rig.level.selected, 0);
}

INSTANTIATE_TEST_SUITE_P(Keys, LevelCursorWrap, ::testing::ValuesIn(WRAP_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LevelControls, SelectTogglesTheSelectionAndItsRepeatsDoNot) {
  Controls c;
  c.Tap(KEY_B);
  EXPECT_EQ(c.rig.level.selected, 1);
  c.rig.level.OnButtonDown(ACTION_SELECT, nullptr, true);
  EXPECT_EQ(c.rig.level.selected, 1);
  c.Tap(KEY_B);
  EXPECT_EQ(c.rig.level.selected, 0);
}

TEST(LevelControls, KeysOnlyWorkWhilePlayingWithoutASwap) {
  Controls c;
  c.rig.level.LevelPhase = LEVELPHASE_INTRO;
  c.Tap(KEY_LEFT);
  c.Tap(KEY_B);
  c.rig.level.LevelPhase = LEVELPHASE_PLAYING;
  c.rig.level.swaplock = 1;
  c.Tap(KEY_LEFT);
  c.Tap(KEY_B);
  EXPECT_EQ(c.rig.level.cursorx, 4);
  EXPECT_EQ(c.rig.level.selected, 0);
}

struct SwapCase {
  const char* name;
  uint16_t held;      // 0: none
  uint16_t released;
  uint8_t wantx, wanty;
};

constexpr SwapCase SWAP_CASES[] = {
    {"Right", 0, KEY_RIGHT, 5, 4},
    {"Left", 0, KEY_LEFT, 3, 4},
    {"Up", 0, KEY_UP, 4, 3},
    {"Down", 0, KEY_DOWN, 4, 5},
    {"RightHoldingUp", KEY_UP, KEY_RIGHT, 5, 3},
    {"UpHoldingLeft", KEY_LEFT, KEY_UP, 3, 3},
    {"DownHoldingRight", KEY_RIGHT, KEY_DOWN, 5, 5},
};

class LevelKeySwap : public ::testing::TestWithParam<SwapCase> {};

TEST_P(LevelKeySwap, ReleasingADirectionSwapsWithTheAimedNeighbour) {
  Controls c;
  c.Select(4, 4);
  if (GetParam().held != 0) c.Down(GetParam().held);
  c.Tap(GetParam().released);
  EXPECT_TRUE(c.Swapping(GetParam().wantx, GetParam().wanty));
  EXPECT_EQ(c.rig.At(4, 4).state, OBJSTATE_SWAPOUT);
  EXPECT_EQ(c.rig.At(static_cast<int8_t>(GetParam().wantx), static_cast<int8_t>(GetParam().wanty)).state,
            OBJSTATE_SWAPOUT);
  // The cursor waits on its cell until the swap stands.
  EXPECT_EQ(c.rig.level.cursorx, 4);
  EXPECT_EQ(c.rig.level.cursory, 4);
  EXPECT_EQ(c.rig.Sounds(), " s1");
}

INSTANTIATE_TEST_SUITE_P(Directions, LevelKeySwap, ::testing::ValuesIn(SWAP_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LevelControls, ReleasingTheHeldDirectionOfADiagonalDoesNotSwapTwice) {
  Controls c;
  c.Select(4, 4);
  c.Down(KEY_UP);
  c.Tap(KEY_RIGHT);
  c.Up(KEY_UP);
  EXPECT_TRUE(c.Swapping(5, 3));
  EXPECT_EQ(c.rig.Sounds(), " s1");
}

enum class Blocker { Frozen, Treasure, Empty };

class LevelBlockedSwap : public ::testing::TestWithParam<Blocker> {};

TEST_P(LevelBlockedSwap, ASwapTowardsANonColourDropsTheSelection) {
  Controls c;
  LEVEL_OBJECT& target = c.rig.At(5, 4);
  if (GetParam() == Blocker::Frozen) {
    target.param = target.type;
    target.type = OBJTYPE_FROZEN;
    target.state = OBJSTATE_FROZEN;
  } else if (GetParam() == Blocker::Treasure) {
    target.type = OBJTYPE_TREASURE;
  } else {
    target.type = OBJTYPE_FREE;
    c.rig.level.LinkGridObj(5, 4, CELL_EMPTY);
  }
  c.Select(4, 4);
  c.Tap(KEY_RIGHT);
  EXPECT_EQ(c.rig.level.selected, 0);
  EXPECT_EQ(c.rig.level.swaplock, 0);
  EXPECT_EQ(c.rig.At(4, 4).state, OBJSTATE_RESTING);
  EXPECT_EQ(c.rig.Sounds(), "");
}

INSTANTIATE_TEST_SUITE_P(Targets, LevelBlockedSwap,
                         ::testing::Values(Blocker::Frozen, Blocker::Treasure, Blocker::Empty),
                         [](const auto& info) {
                           return std::string(info.param == Blocker::Frozen     ? "Frozen"
                                              : info.param == Blocker::Treasure ? "Treasure"
                                                                                : "Empty");
                         });

TEST(LevelControls, AtTheBorderADirectionAimsNowhereAndKeepsTheSelection) {
  Controls c;
  c.Select(7, 2);
  c.Tap(KEY_RIGHT);
  EXPECT_EQ(c.rig.level.selected, 1);
  EXPECT_EQ(c.rig.level.swaplock, 0);
}

TEST(LevelControls, ReleasingAnotherKeyWhileAimingDropsTheSelection) {
  Controls c;
  c.Select(4, 4);
  c.Down(KEY_LEFT);
  c.Up(KEY_R);  // a key let go that is no direction
  EXPECT_EQ(c.rig.level.selected, 0);
  EXPECT_EQ(c.rig.level.swaplock, 0);
}

TEST(LevelControls, ASelectionOnAnInvalidCursorIsDroppedAtTheRelease) {
  Controls c;
  c.Select(4, 4);
  c.rig.At(4, 4).type = OBJTYPE_TREASURE;
  c.Tap(KEY_RIGHT);
  EXPECT_EQ(c.rig.level.selected, 0);
  EXPECT_EQ(c.rig.level.swaplock, 0);
}

// The diagonal board with (2, 0) turned blue has a move, so a hint can show.
void HintableBoard(Controls& c) {
  c.rig.At(2, 0).type = 2;
  c.rig.Player().progress = 500;
}

TEST(LevelControls, TheHintKeyWorksDuringTheIntroAndDuringASwap) {
  for (const bool intro : {true, false}) {
    Controls c;
    HintableBoard(c);
    if (intro) {
      c.rig.level.LevelPhase = LEVELPHASE_INTRO;
    } else {
      c.Select(4, 4);
      c.Tap(KEY_RIGHT);
      ASSERT_EQ(c.rig.level.swaplock, 1);
    }
    c.Tap(KEY_R);
    EXPECT_EQ(c.rig.level.hinttime, 0u) << intro;
    EXPECT_EQ(c.rig.level.hintx, 0) << intro;
    EXPECT_EQ(c.rig.level.hinty, 1) << intro;
    EXPECT_EQ(c.rig.Player().progress, 500 - HINT_COST_EASY) << intro;
  }
}

TEST(LevelControls, AHintKeyRepeatBuysNothing) {
  Controls c;
  HintableBoard(c);
  c.rig.level.OnButtonDown(ACTION_ALT, nullptr, true);
  EXPECT_EQ(c.rig.Player().progress, 500u);
  EXPECT_EQ(c.rig.level.hintx, LEVEL_NOHINT);
}

TEST(LevelControls, WhileTheOverlayIsBusyNoKeyOrWheelReachesTheField) {
  Controls c;
  HintableBoard(c);
  c.rig.shared.guibusy = 1;
  c.Tap(KEY_LEFT);
  c.Tap(KEY_R);
  c.Tap(KEY_B);
  c.rig.level.OnWheel(1);
  EXPECT_EQ(c.rig.level.cursorx, 4);
  EXPECT_EQ(c.rig.level.cursory, 4);
  EXPECT_EQ(c.rig.level.selected, 0);
  EXPECT_EQ(c.rig.Player().progress, 500u);
}

TEST(LevelWheel, WithoutASelectionTheWheelMovesTheCursorAndWraps) {
  Controls c;
  c.rig.level.cursory = 0;
  c.rig.level.OnWheel(1);
  EXPECT_EQ(c.rig.level.cursory, 7);
  c.rig.level.OnWheel(-1);
  EXPECT_EQ(c.rig.level.cursory, 0);
  c.rig.level.OnWheel(0);
  EXPECT_EQ(c.rig.level.cursory, 1);
}

TEST(LevelWheel, WithASelectionTheWheelSwapsVertically) {
  for (const long delta : {1L, -1L}) {
    Controls c;
    c.Select(3, 3);
    c.rig.level.OnWheel(delta);
    EXPECT_TRUE(c.Swapping(3, delta > 0 ? 2 : 4)) << delta;
  }
}

TEST(LevelWheel, TheWheelTowardsNoColourObjectDropsTheSelection) {
  Controls top;
  top.Select(3, 0);
  top.rig.level.OnWheel(1);  // no row above
  Controls treasure;
  treasure.rig.At(3, 4).type = OBJTYPE_TREASURE;
  treasure.Select(3, 3);
  treasure.rig.level.OnWheel(-1);
  for (Controls* c : {&top, &treasure}) {
    EXPECT_EQ(c->rig.level.selected, 0);
    EXPECT_EQ(c->rig.level.swaplock, 0);
  }
}

TEST(LevelStylus, TappingTheCursorCellTogglesTheSelection) {
  Controls c;
  c.rig.level.OnStylusDown(Controls::CellPoint(4, 4));
  c.rig.level.OnStylusUp(Controls::CellPoint(4, 4));
  EXPECT_EQ(c.rig.level.selected, 1);
  c.rig.level.OnStylusDown(Controls::CellPoint(4, 4));
  c.rig.level.OnStylusUp(Controls::CellPoint(4, 4));
  EXPECT_EQ(c.rig.level.selected, 0);
  EXPECT_EQ(c.rig.Sounds(), " s1 s1");
}

TEST(LevelStylus, TappingAnotherColourCellSelectsItAndANeighbourSwaps) {
  Controls c;
  c.rig.level.OnStylusDown(Controls::CellPoint(1, 6));
  c.rig.level.OnStylusUp(Controls::CellPoint(1, 6));
  EXPECT_EQ(c.rig.level.cursorx, 1);
  EXPECT_EQ(c.rig.level.cursory, 6);
  EXPECT_EQ(c.rig.level.selected, 1);
  c.rig.level.OnStylusDown(Controls::CellPoint(2, 7));
  EXPECT_TRUE(c.Swapping(2, 7));
}

TEST(LevelStylus, DraggingFromTheSelectedObjectOntoANeighbourSwaps) {
  Controls c;
  tagPOINT point = Controls::CellPoint(4, 4);
  c.rig.level.OnStylusDown(point);
  point.x += 2;  // a wobble inside the slack is no new touch
  c.rig.level.OnStylusMove(point);
  EXPECT_EQ(c.rig.level.selected, 1);
  c.rig.level.OnStylusMove(Controls::CellPoint(4, 3));
  EXPECT_TRUE(c.Swapping(4, 3));
}

TEST(LevelStylus, FrozenTreasureAndOutsideTapsDoNothing) {
  Controls c;
  c.rig.At(2, 2).type = OBJTYPE_TREASURE;
  c.rig.At(6, 6).param = c.rig.At(6, 6).type;
  c.rig.At(6, 6).type = OBJTYPE_FROZEN;
  c.rig.At(6, 6).state = OBJSTATE_FROZEN;
  for (const tagPOINT point : {Controls::CellPoint(2, 2), Controls::CellPoint(6, 6), tagPOINT{20, 100},
                               tagPOINT{LEVEL_FIELDX + 192, 100}}) {
    c.rig.level.OnStylusDown(point);
    c.rig.level.OnStylusUp(point);
  }
  EXPECT_EQ(c.rig.level.cursorx, 4);
  EXPECT_EQ(c.rig.level.cursory, 4);
  EXPECT_EQ(c.rig.level.selected, 0);
  EXPECT_EQ(c.rig.Sounds(), "");
}

TEST(LevelStylus, TheStylusWorksOnlyWhilePlaying) {
  Controls c;
  c.rig.level.LevelPhase = LEVELPHASE_INTRO;
  c.rig.level.OnStylusDown(Controls::CellPoint(4, 4));
  EXPECT_EQ(c.rig.level.selected, 0);
  EXPECT_EQ(c.rig.level.stylusdown, 0);
}

}  // namespace
