// The input module: mapping, holds and repeat, the queues and key names.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "input/vmod_input.h"

namespace {

// GP2X button codes.
constexpr uint16_t KEY_UP = 1;
constexpr uint16_t KEY_LEFT = 3;
constexpr uint16_t KEY_DOWN = 5;
constexpr uint16_t KEY_RIGHT = 7;
constexpr uint16_t KEY_A = 13;
constexpr uint16_t KEY_B = 14;
constexpr uint16_t KEY_Y = 16;
constexpr uint16_t KEY_STICK = 28;

// A key of no handheld button, for tables of its own.
constexpr uint16_t KEY_FREE = 40;

using EVENT = std::pair<int, int>;  // type, code
using EVENTS = std::vector<EVENT>;

EVENT Press(int code) { return {INPUTEVENT_PRESS, code}; }
EVENT Repeat(int code) { return {INPUTEVENT_REPEAT, code}; }
EVENT Release(int code) { return {INPUTEVENT_RELEASE, code}; }

EVENTS TakeKeyEvents(ClassVInput& input) {
  EVENTS taken;
  V_INPUTEVENT event;
  while (input.GetKeyEvent(&event)) {
    taken.emplace_back(event.type, event.code);
  }
  return taken;
}

// One frame as the framework runs it: repeat, the application takes its
// events, the frame's leftovers are dropped.
EVENTS RunFrame(ClassVInput& input, uint32_t elapsed) {
  input.CheckRepeat(elapsed);
  EVENTS taken = TakeKeyEvents(input);
  input.ResetEvents();
  return taken;
}

// Frame times of a 60 fps loop: 16, 17, 17 ms, exactly 50 ms every 3 frames.
uint32_t SixtyFpsFrame(int frame) { return frame % 3 == 1 ? 16 : 17; }

std::u16string Name(const ClassVInput& input, uint16_t code) {
  char16_t buffer[64];
  input.GetKeyName(code, buffer, 64);
  return buffer;
}

std::string Name8(const ClassVInput& input, uint16_t code) {
  char buffer[64];
  input.GetKeyName(code, buffer, 64);
  return buffer;
}

std::u16string Widen(const std::string& text) { return std::u16string(text.begin(), text.end()); }

class DefaultInput : public ::testing::Test {
 protected:
  void SetUp() override { input.SetDefaultMappings(); }
  ClassVInput input;
};

// --- default table ----------------------------------------------------------

struct KEYACTIONS {
  uint16_t key;
  std::vector<int> actions;  // in table order
};

TEST(InputDefaults, EachButtonPressesItsActionsInTableOrder) {
  const std::vector<KEYACTIONS> table = {
      {1, {160, 192, 208}},       {3, {162, 194, 210}}, {5, {161, 193, 209}},
      {7, {163, 195, 211}},       {9, {214}},           {10, {213}},
      {11, {166, 198, 212}},      {12, {167, 199, 213}}, {13, {197, 213}},
      {14, {196, 201, 200, 212}}, {15, {197, 212}},     {16, {196, 201, 213}},
      {23, {165}},                {24, {164}},          {28, {196, 201, 200}},
  };
  for (uint16_t key = 1; key <= 32; ++key) {
    std::vector<int> expected;
    for (const KEYACTIONS& row : table) {
      if (row.key == key) {
        expected = row.actions;
      }
    }
    ClassVInput input;
    input.SetDefaultMappings();
    input.OnKeyDown(key);
    EVENTS wanted;
    for (int action : expected) {
      wanted.push_back(Press(action));
      EXPECT_TRUE(input.KeyHold(action)) << "key " << key << " action " << action;
    }
    EXPECT_EQ(TakeKeyEvents(input), wanted) << "key " << key;
  }
}

TEST_F(DefaultInput, TableHolds36MappingsLeavingRoomFor92) {
  for (int i = 0; i < 92; ++i) {
    EXPECT_TRUE(input.AddKeyMapping(i, KEY_FREE)) << i;
  }
  EXPECT_FALSE(input.AddKeyMapping(100, KEY_FREE));
}

TEST_F(DefaultInput, NamedActionsAreTheTablesActions) {
  EXPECT_TRUE(input.MappedTo(ACTION_UP, KEY_UP));
  EXPECT_TRUE(input.MappedTo(ACTION_DOWN, KEY_DOWN));
  EXPECT_TRUE(input.MappedTo(ACTION_LEFT, KEY_LEFT));
  EXPECT_TRUE(input.MappedTo(ACTION_RIGHT, KEY_RIGHT));
  EXPECT_TRUE(input.MappedTo(ACTION_SELECT, KEY_B));
  EXPECT_TRUE(input.MappedTo(ACTION_MENU, 11));
  EXPECT_TRUE(input.MappedTo(ACTION_ALT, 12));
  EXPECT_TRUE(input.MappedTo(ACTION_VOLUME_UP, 24));
  EXPECT_TRUE(input.MappedTo(ACTION_VOLUME_DOWN, 23));
  EXPECT_FALSE(input.MappedTo(ACTION_SELECT, KEY_A));
}

// --- repeat -------------------------------------------------------------------

struct REPEATCASE {
  const char* name;
  std::vector<uint32_t> frames;     // elapsed ms of each frame
  std::vector<size_t> repeatframes; // 1-based frames that give one repeat
};

class InputRepeatTiming : public ::testing::TestWithParam<REPEATCASE> {};

std::vector<uint32_t> SixtyFpsFrames(int count) {
  std::vector<uint32_t> frames;
  for (int frame = 1; frame <= count; ++frame) {
    frames.push_back(SixtyFpsFrame(frame));
  }
  return frames;
}

TEST_P(InputRepeatTiming, GivesOneRepeatAtMostPerFrame) {
  const REPEATCASE& c = GetParam();
  ClassVInput input;
  ASSERT_TRUE(input.AddKeyMapping(5, KEY_FREE));
  input.OnKeyDown(KEY_FREE);
  EXPECT_EQ(TakeKeyEvents(input), EVENTS{Press(5)});
  input.ResetEvents();
  for (size_t frame = 1; frame <= c.frames.size(); ++frame) {
    bool due = false;
    for (size_t f : c.repeatframes) {
      due = due || f == frame;
    }
    EXPECT_EQ(RunFrame(input, c.frames[frame - 1]), due ? EVENTS{Repeat(5)} : EVENTS{}) << "frame " << frame;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Frames, InputRepeatTiming,
    ::testing::Values(
        // 300 ms after 18 frames, then every 100 ms (6 frames).
        REPEATCASE{"SixtyFps", SixtyFpsFrames(60), {18, 24, 30, 36, 42, 48, 54, 60}},
        REPEATCASE{"AtTheDelayThenAtTheRate", {299, 1, 99, 1}, {2, 4}},
        REPEATCASE{"LongFramesGiveOneEach", {250, 250, 250, 250}, {2, 3, 4}},
        REPEATCASE{"HeldTimeSaturates", {0xFFFFFFFFu, 0xFFFFFFFFu, 65535}, {1, 2, 3}}),
    [](const ::testing::TestParamInfo<REPEATCASE>& info) { return std::string(info.param.name); });

TEST(InputRepeat, CountWrapsAfter255RepeatsAndCarriesOneMillisecond) {
  ClassVInput input;
  ASSERT_TRUE(input.AddKeyMapping(5, KEY_FREE));
  input.OnKeyDown(KEY_FREE);
  input.ResetEvents();
  ASSERT_EQ(RunFrame(input, 300), EVENTS{Repeat(5)});
  for (int i = 2; i <= 256; ++i) {
    ASSERT_EQ(RunFrame(input, 100), EVENTS{Repeat(5)}) << "repeat " << i;
  }
  // Count 0 again: the delay applies, and the carried 1 ms counts toward it.
  EXPECT_EQ(RunFrame(input, 298), EVENTS{});
  EXPECT_EQ(RunFrame(input, 1), EVENTS{Repeat(5)});
  EXPECT_EQ(RunFrame(input, 100), EVENTS{Repeat(5)});
}

TEST(InputRepeat, RatesAreFixed) {
  ClassVInput input;
  ASSERT_TRUE(input.AddKeyMapping(5, KEY_FREE));
  input.SetRepeatRates(10, 10);
  input.OnKeyDown(KEY_FREE);
  input.ResetEvents();
  EXPECT_EQ(RunFrame(input, 299), EVENTS{});
  EXPECT_EQ(RunFrame(input, 1), EVENTS{Repeat(5)});
  EXPECT_EQ(RunFrame(input, 99), EVENTS{});
}

TEST_F(DefaultInput, HoldingBForOneSecondPressesThenRepeatsEachAction) {
  input.OnKeyDown(KEY_B);
  EXPECT_EQ(TakeKeyEvents(input), (EVENTS{Press(196), Press(201), Press(200), Press(212)}));
  input.ResetEvents();
  uint32_t elapsed = 0;
  for (int frame = 1; frame <= 60; ++frame) {
    elapsed += SixtyFpsFrame(frame);
    const bool due = elapsed >= 300 && elapsed % 100 == 0;
    // Repeats come in action order, not table order.
    const EVENTS wanted = due ? EVENTS{Repeat(196), Repeat(200), Repeat(201), Repeat(212)} : EVENTS{};
    EXPECT_EQ(RunFrame(input, SixtyFpsFrame(frame)), wanted) << elapsed << " ms";
  }
  EXPECT_EQ(elapsed, 1000u);
}

// --- holds through several keys ----------------------------------------------

TEST_F(DefaultInput, ReleasingBWhileYIsDownKeepsTheSharedActionsAndTheirTime) {
  input.OnKeyDown(KEY_B);
  input.OnKeyDown(KEY_Y);
  input.ResetEvents();
  EXPECT_EQ(RunFrame(input, 200), EVENTS{});
  input.OnKeyUp(KEY_B);
  EXPECT_EQ(TakeKeyEvents(input), (EVENTS{Release(196), Release(201), Release(200), Release(212)}));
  EXPECT_TRUE(input.KeyHold(196));
  EXPECT_TRUE(input.KeyHold(201));
  EXPECT_TRUE(input.KeyHold(213));
  EXPECT_FALSE(input.KeyHold(200));
  EXPECT_FALSE(input.KeyHold(212));
  input.ResetEvents();
  // 196 and 201 kept their 200 ms; 213 too.
  EXPECT_EQ(RunFrame(input, 100), (EVENTS{Repeat(196), Repeat(201), Repeat(213)}));
  input.OnKeyUp(KEY_Y);
  EXPECT_FALSE(input.KeyHold(196));
  EXPECT_FALSE(input.KeyHold(201));
}

TEST_F(DefaultInput, RemovingAKeyKeepsActionsAnotherDownKeyHolds) {
  input.OnKeyDown(KEY_B);
  input.OnKeyDown(KEY_Y);
  input.RemoveKeyMapping(KEY_B);
  EXPECT_FALSE(input.MappedTo(196, KEY_B));
  EXPECT_TRUE(input.MappedTo(196, KEY_Y));
  EXPECT_TRUE(input.KeyHold(196));
  EXPECT_TRUE(input.KeyHold(201));
  EXPECT_FALSE(input.KeyHold(200));
  EXPECT_FALSE(input.KeyHold(212));
  input.ResetEvents();
  // The rest keeps its order; B has nothing left to release.
  input.OnKeyUp(KEY_B);
  input.OnKeyDown(KEY_STICK);
  EXPECT_EQ(TakeKeyEvents(input), (EVENTS{Press(196), Press(201), Press(200)}));
}

TEST_F(DefaultInput, RemovingAnActionReleasesItAndKeepsTheRestInOrder) {
  input.OnKeyDown(KEY_B);
  input.RemoveActionMapping(ACTION_SELECT);
  EXPECT_FALSE(input.KeyHold(ACTION_SELECT));
  EXPECT_TRUE(input.KeyHold(196));
  EXPECT_FALSE(input.MappedTo(ACTION_SELECT, KEY_Y));
  input.ResetEvents();
  input.OnKeyDown(KEY_Y);
  EXPECT_EQ(TakeKeyEvents(input), (EVENTS{Press(196), Press(213)}));
}

// --- resets --------------------------------------------------------------------

TEST_F(DefaultInput, ResetEventsDropsWhatTheFrameDidNotTake) {
  input.OnKeyDown(KEY_B);
  input.PutChar(u'a', KEY_A);
  V_INPUTEVENT event;
  ASSERT_TRUE(input.GetKeyEvent(&event));
  EXPECT_EQ(input.GetLastKey(), KEY_B);
  input.ResetEvents();
  EXPECT_FALSE(input.GetKeyEvent(&event));
  EXPECT_EQ(input.GetChar(nullptr), 0);
  EXPECT_EQ(input.GetLastKey(), 0);
  EXPECT_TRUE(input.KeyHold(ACTION_SELECT));
}

TEST_F(DefaultInput, ResetStateWhileHeldThenReleaseStillQueuesARelease) {
  input.OnKeyDown(KEY_B);
  input.OnWheelScroll(1);
  input.ResetState();
  EXPECT_FALSE(input.KeyHold(ACTION_SELECT));
  EXPECT_EQ(input.GetWheelScroll(), 0);
  EXPECT_EQ(RunFrame(input, 1000), EVENTS{});
  input.OnKeyUp(KEY_B);
  EXPECT_EQ(TakeKeyEvents(input), (EVENTS{Release(196), Release(201), Release(200), Release(212)}));
  // No key stays down behind the reset: pressing Y holds 201 only while Y is.
  input.OnKeyDown(KEY_Y);
  input.OnKeyUp(KEY_Y);
  EXPECT_FALSE(input.KeyHold(ACTION_SELECT));
}

TEST(InputKeys, KeyZeroIsIgnored) {
  ClassVInput input;
  ASSERT_TRUE(input.AddKeyMapping(5, 0));
  input.OnKeyDown(0);
  EXPECT_FALSE(input.KeyHold(5));
  EXPECT_EQ(input.GetLastKey(), 0);
  EXPECT_EQ(TakeKeyEvents(input), EVENTS{});
}

// --- queue limits ----------------------------------------------------------------

TEST(InputQueue, FullQueueDropsEventsButHoldsStillUpdate) {
  ClassVInput input;
  for (int action = 0; action < 40; ++action) {
    ASSERT_TRUE(input.AddKeyMapping(action, KEY_FREE));
  }
  input.OnKeyDown(KEY_FREE);
  EXPECT_TRUE(input.KeyHold(39));
  EXPECT_EQ(input.GetKeyPressCount(31, false), 1);
  EXPECT_EQ(input.GetKeyPressCount(32, false), 0);
  // Repeats are dropped too, yet the hold moves on to the rate.
  input.CheckRepeat(300);
  EXPECT_EQ(input.GetKeyPressCount(0, true), 1);
  EXPECT_EQ(RunFrame(input, 0).size(), 32u);
  const EVENTS repeats = RunFrame(input, 100);
  ASSERT_EQ(repeats.size(), 32u);
  EXPECT_EQ(repeats.front(), Repeat(0));
  EXPECT_EQ(repeats.back(), Repeat(31));
  // A release into a full queue still releases.
  input.OnKeyDown(KEY_FREE);
  input.OnKeyUp(KEY_FREE);
  EXPECT_FALSE(input.KeyHold(0));
  EXPECT_FALSE(input.KeyHold(39));
  const EVENTS left = TakeKeyEvents(input);
  ASSERT_EQ(left.size(), 32u);
  EXPECT_EQ(left.back(), Press(31));
}

// --- adding mappings ---------------------------------------------------------------

TEST(InputMapping, OnlyActionsUpTo223CanBeMapped) {
  const std::vector<std::pair<int32_t, bool>> table = {
      {0, true}, {223, true}, {224, false}, {227, false}, {255, false}, {256, false}, {-1, false}};
  for (const auto& row : table) {
    ClassVInput input;
    EXPECT_EQ(input.AddKeyMapping(row.first, KEY_FREE), row.second) << row.first;
    EXPECT_EQ(input.MappedTo(row.first, KEY_FREE), row.second) << row.first;
    input.OnKeyDown(KEY_FREE);
    EXPECT_EQ(TakeKeyEvents(input).size(), row.second ? 1u : 0u) << row.first;
  }
}

TEST(InputMapping, The129thMappingFailsAndChangesNothing) {
  ClassVInput input;
  for (int i = 0; i < 128; ++i) {
    ASSERT_TRUE(input.AddKeyMapping(i, static_cast<uint16_t>(100 + i))) << i;
  }
  EXPECT_FALSE(input.AddKeyMapping(5, KEY_FREE));
  EXPECT_FALSE(input.MappedTo(5, KEY_FREE));
  input.OnKeyDown(KEY_FREE);
  EXPECT_FALSE(input.KeyHold(5));
  EXPECT_TRUE(input.MappedTo(127, 227));
}

TEST(InputMapping, AListOfKeysStopsAtTheFirstThatFails) {
  ClassVInput input;
  for (int i = 0; i < 125; ++i) {
    ASSERT_TRUE(input.AddKeyMapping(i, KEY_FREE));
  }
  EXPECT_FALSE(input.AddKeyMapping(7, {}));
  EXPECT_TRUE(input.AddKeyMapping(7, {1}));
  EXPECT_FALSE(input.AddKeyMapping(8, {2, 3, 4}));
  EXPECT_TRUE(input.MappedTo(8, 2));
  EXPECT_TRUE(input.MappedTo(8, 3));
  EXPECT_FALSE(input.MappedTo(8, 4));
  EXPECT_FALSE(input.AddKeyMapping(224, {5}));
}

TEST(InputMapping, AListAddsInArgumentOrder) {
  ClassVInput input;
  ASSERT_TRUE(input.AddKeyMapping(ACTION_MENU, {9, 10}));
  ASSERT_TRUE(input.AddKeyMapping(ACTION_ALT, {9}));
  input.OnKeyDown(9);
  input.OnKeyDown(10);
  EXPECT_EQ(TakeKeyEvents(input), (EVENTS{Press(ACTION_MENU), Press(ACTION_ALT), Press(ACTION_MENU)}));
}

// --- taking events -------------------------------------------------------------------

TEST_F(DefaultInput, GetKeyEventByActionTakesThatActionsFirstEvent) {
  input.OnKeyDown(KEY_B);
  input.CheckRepeat(300);
  EXPECT_EQ(input.GetKeyPressCount(ACTION_SELECT, false), 1);
  EXPECT_EQ(input.GetKeyPressCount(ACTION_SELECT, true), 2);
  EXPECT_EQ(input.GetKeyEvent(ACTION_SELECT), INPUTEVENT_PRESS);
  EXPECT_EQ(input.GetKeyEvent(ACTION_SELECT), INPUTEVENT_REPEAT);
  EXPECT_EQ(input.GetKeyEvent(ACTION_SELECT), 0);
  EXPECT_EQ(TakeKeyEvents(input), (EVENTS{Press(196), Press(200), Press(212), Repeat(196), Repeat(200), Repeat(212)}));
}

TEST(InputClicks, ClickEventsStayForKeyTakersAndGoToTheClickTaker) {
  for (uint32_t button = 0; button <= 2; ++button) {
    ClassVInput input;
    ASSERT_TRUE(input.AddKeyMapping(5, KEY_FREE));
    input.OnClickDown(10, 20, button);
    input.OnKeyDown(KEY_FREE);
    EXPECT_EQ(input.GetKeyEvent(static_cast<int32_t>(INPUT_CLICKCODE + button)), 0);
    EXPECT_EQ(TakeKeyEvents(input), EVENTS{Press(5)}) << button;
    V_INPUTEVENT event;
    ASSERT_TRUE(input.GetClickEvent(&event)) << button;
    EXPECT_EQ(event.code, button);
    EXPECT_EQ(event.type, INPUTEVENT_PRESS);
    EXPECT_EQ(event.x, 10);
    EXPECT_EQ(event.y, 20);
    EXPECT_FALSE(input.GetClickEvent(&event));
  }
}

TEST(InputClicks, DoubleUpAndRepeatEventsOfAClickButton) {
  ClassVInput input;
  input.OnClickDouble(1, 2, 1);
  EXPECT_TRUE(input.ClickHold(1));
  input.CheckRepeat(300);
  input.OnClickUp(3, 4, 1);
  EXPECT_FALSE(input.ClickHold(1));
  const std::vector<V_INPUTEVENT> wanted = {
      {1, 2, INPUTEVENT_DOUBLECLICK, 1}, {1, 2, INPUTEVENT_REPEAT, 1}, {3, 4, INPUTEVENT_RELEASE, 1}};
  for (const V_INPUTEVENT& w : wanted) {
    V_INPUTEVENT event;
    ASSERT_TRUE(input.GetClickEvent(&event));
    EXPECT_EQ(event.x, w.x);
    EXPECT_EQ(event.y, w.y);
    EXPECT_EQ(event.type, w.type);
    EXPECT_EQ(event.code, w.code);
  }
}

TEST(InputClicks, ButtonThreeQueuesButIsNotHandedOutAndButtonFourIsIgnored) {
  ClassVInput input;
  input.OnClickDown(5, 6, 3);
  input.OnClickDown(7, 8, 4);
  int32_t x = 0;
  int32_t y = 0;
  input.GetClickPosition(&x, &y);
  EXPECT_EQ(x, 7);
  EXPECT_EQ(y, 8);
  V_INPUTEVENT event;
  EXPECT_FALSE(input.GetClickEvent(&event));
  EXPECT_FALSE(input.ClickHold(4));
  EXPECT_TRUE(input.ClickHold(3));
  EXPECT_EQ(input.GetClickPressCount(&x, &y, 3, false), 1);
  EXPECT_EQ(x, 5);
  EXPECT_EQ(y, 6);
  EXPECT_EQ(input.GetClickPressCount(&x, &y, 4, false), 0);
}

TEST(InputClicks, PressCountOfButtonZeroCountsTheOtherButtons) {
  ClassVInput input;
  input.OnClickDown(1, 1, 0);
  input.OnClickDown(2, 2, 1);
  input.OnClickDown(3, 3, 2);
  input.CheckRepeat(300);  // one repeat for each of the three
  input.OnClickMove(9, 9);
  int32_t x = 0;
  int32_t y = 0;
  EXPECT_EQ(input.GetClickPressCount(&x, &y, 0, false), 2);
  EXPECT_EQ(x, 3);
  EXPECT_EQ(input.GetClickPressCount(&x, &y, 0, true), 4);
  EXPECT_EQ(input.GetClickPressCount(&x, &y, 1, true), 2);
  EXPECT_EQ(input.GetClickPressCount(&x, &y, 3, false), 0);
  EXPECT_EQ(x, 9);  // none counted: the click position
}

struct CLICKHOLDCASE {
  uint32_t held;
  bool expected[5];  // ClickHold(0..4)
};

TEST(InputClicks, ClickHoldOfButtonZeroMeansAnyAndButtonZeroHeldMeansAll) {
  const std::vector<CLICKHOLDCASE> table = {
      {0, {true, true, true, true, false}},
      {1, {true, true, false, false, false}},
      {2, {true, false, true, false, false}},
      {3, {true, false, false, true, false}},
  };
  for (const CLICKHOLDCASE& c : table) {
    ClassVInput input;
    input.OnClickDown(0, 0, c.held);
    for (uint32_t button = 0; button <= 4; ++button) {
      EXPECT_EQ(input.ClickHold(button), c.expected[button]) << c.held << " held, asking " << button;
    }
  }
  ClassVInput idle;
  EXPECT_FALSE(idle.ClickHold(0));
}

TEST_F(DefaultInput, KeyEventsCarryTheClickPosition) {
  input.OnClickMove(-7, 9);
  input.OnKeyDown(KEY_A);
  V_INPUTEVENT event;
  ASSERT_TRUE(input.GetKeyEvent(&event));
  EXPECT_EQ(event.x, -7);
  EXPECT_EQ(event.y, 9);
}

// --- characters, wheel, tilt -----------------------------------------------------------

TEST_F(DefaultInput, PutCharIgnoresKeysMappedToTheConfirmAction) {
  input.PutChar(u'x', KEY_B);
  input.PutChar(u'y', KEY_STICK);
  input.PutChar(u'a', KEY_A);
  input.PutChar(u'\u00e9', 0);
  uint16_t key = 99;
  EXPECT_EQ(input.GetChar(&key), u'a');
  EXPECT_EQ(key, KEY_A);
  EXPECT_EQ(input.GetChar(&key), u'\u00e9');
  EXPECT_EQ(key, 0);
  key = 99;
  EXPECT_EQ(input.GetChar(&key), 0);
  EXPECT_EQ(key, 0);
}

TEST(InputChars, FullCharacterQueueDropsCharacters) {
  ClassVInput input;
  for (int i = 0; i < 40; ++i) {
    input.PutChar(static_cast<char16_t>(u'A' + i), static_cast<uint16_t>(i));
  }
  for (int i = 0; i < 32; ++i) {
    uint16_t key = 0;
    EXPECT_EQ(input.GetChar(&key), static_cast<char16_t>(u'A' + i));
    EXPECT_EQ(key, i);
  }
  EXPECT_EQ(input.GetChar(nullptr), 0);
}

TEST(InputWheel, CountsDirectionsAndClearsWhenRead) {
  ClassVInput input;
  for (int32_t delta : {5, -3, 0, 7, 1, INT32_MIN}) {
    input.OnWheelScroll(delta);
  }
  EXPECT_EQ(input.GetWheelScroll(), 1);
  EXPECT_EQ(input.GetWheelScroll(), 0);
}

TEST(InputTilt, StoresTheLastValuesAndHasNoSensor) {
  ClassVInput input;
  input.OnTilt(3, -4);
  int32_t x = 0;
  int32_t y = 0;
  input.GetTiltAngle(&x, &y);
  EXPECT_EQ(x, 3);
  EXPECT_EQ(y, -4);
  EXPECT_EQ(input.GetTiltData(), INPUT_TILT_NOTAVAILABLE);
}

// --- key names --------------------------------------------------------------------------

TEST(InputKeyNames, HandheldKeysHaveTheirNames) {
  const std::vector<std::pair<uint16_t, std::string>> table = {
      {0, "None"},     {1, "Up"},        {2, "#2"},     {3, "Left"},   {4, "#4"},       {5, "Down"},
      {6, "#6"},       {7, "Right"},     {8, "#8"},     {9, "Start"},  {10, "Select"},  {11, "L"},
      {12, "R"},       {13, "A"},        {14, "B"},     {15, "X"},     {16, "Y"},       {17, "#17"},
      {23, "Volume down"}, {24, "Volume up"}, {28, "Enter"}, {32, "#32"}, {255, "#255"},
      {256, "#256"},   {300, "#300"},    {65535, "#65535"},
  };
  ClassVInput input;
  for (const auto& row : table) {
    EXPECT_EQ(Name8(input, row.first), row.second) << row.first;
    EXPECT_EQ(Name(input, row.first), Widen(row.second)) << row.first;
  }
}

TEST(InputKeyNames, NameIsCutToTheBuffer) {
  ClassVInput input;
  char buffer[4] = {'z', 'z', 'z', 'z'};
  input.GetKeyName(23, buffer, 4);
  EXPECT_EQ(std::string(buffer), "Vol");
  input.GetKeyName(300, buffer, 3);
  EXPECT_EQ(std::string(buffer), "#3");
}

struct DESCRIPTORCASE {
  const char* name;
  std::string text;
  // Names of Up, Down, Left, Right (lines 0..3), Enter (line 18), Start
  // (line 40), Volume up (line 45) and A, which is no line.
  std::vector<std::string> names;
};

const uint16_t DESCRIPTOR_CODES[] = {1, 5, 3, 7, 28, 9, 24, 13};

std::string NumberedLines(int count, const std::string& prefix) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    text += prefix + std::to_string(i) + "\n";
  }
  return text;
}

class InputDescriptor : public ::testing::TestWithParam<DESCRIPTORCASE> {};

TEST_P(InputDescriptor, LinesBecomeNamesIn8And16BitForm) {
  const DESCRIPTORCASE& c = GetParam();
  ClassVInput narrow;
  ClassVInput wide;
  ASSERT_TRUE(narrow.LoadKeyDescriptor(c.text.c_str()));
  ASSERT_TRUE(wide.LoadKeyDescriptor(Widen(c.text).c_str()));
  for (size_t i = 0; i < c.names.size(); ++i) {
    const uint16_t code = DESCRIPTOR_CODES[i];
    EXPECT_EQ(Name8(narrow, code), c.names[i]) << code;
    EXPECT_EQ(Name(wide, code), Widen(c.names[i])) << code;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, InputDescriptor,
    ::testing::Values(
        DESCRIPTORCASE{"LineFeeds", "u\nd\nl\nr", {"u", "d", "l", "r", "#28", "#9", "#24", "A"}},
        DESCRIPTORCASE{"CarriageReturnsAndEmptyLines", "\r\n\nu\r\nd\r\r\nl\rr\n\n",
                       {"u", "d", "l", "r", "#28", "#9", "#24", "A"}},
        DESCRIPTORCASE{"Empty", "", {"#1", "#5", "#3", "#7", "#28", "#9", "#24", "A"}},
        DESCRIPTORCASE{"SeventyLinesKeepTheFirst64", NumberedLines(70, "n"),
                       {"n0", "n1", "n2", "n3", "n18", "n40", "n45", "A"}},
        // Longer than the stack buffer of the 8-bit form.
        DESCRIPTORCASE{"LongText", NumberedLines(50, "a rather long key name "),
                       {"a rather long key name 0", "a rather long key name 1", "a rather long key name 2",
                        "a rather long key name 3", "a rather long key name 18", "a rather long key name 40",
                        "a rather long key name 45", "A"}}),
    [](const ::testing::TestParamInfo<DESCRIPTORCASE>& info) { return std::string(info.param.name); });

TEST(InputKeyNames, AShorterDescriptorLeavesNoNameOfTheOldText) {
  ClassVInput input;
  ASSERT_EQ(Name(input, 24), u"Volume up");
  ASSERT_TRUE(input.LoadKeyDescriptor(u"U\nD\nL"));
  EXPECT_EQ(Name(input, 1), u"U");
  EXPECT_EQ(Name(input, 5), u"D");
  EXPECT_EQ(Name(input, 3), u"L");
  EXPECT_EQ(Name(input, 7), u"#7");
  EXPECT_EQ(Name(input, 28), u"#28");
  EXPECT_EQ(Name(input, 24), u"#24");
  EXPECT_EQ(Name(input, 11), u"L");
  ASSERT_TRUE(input.LoadKeyDescriptor(NumberedLines(47, "k").c_str()));
  EXPECT_EQ(Name8(input, 23), "k46");
  ASSERT_TRUE(input.LoadKeyDescriptor("only"));
  EXPECT_EQ(Name8(input, 1), "only");
  EXPECT_EQ(Name8(input, 23), "#23");
}

}  // namespace
