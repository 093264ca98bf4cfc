// The title screen reached through the real loading screen, driven by the
// emulated buttons with every frame 100 ms long: switching the mode, the
// delayed start, the exit picture and the stylus.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "game/screen_run.h"
#include "game/shared.h"

namespace {

constexpr uint32_t BUTTONBIT_LEFT = 1u << 2;
constexpr uint32_t BUTTONBIT_RIGHT = 1u << 6;
constexpr uint32_t FRAME_MICROSECONDS = 300000;  // every frame counts as the cap, 100 ms

// What the title held after one of its frames.
struct TitleFrame {
  uint32_t module;
  uint32_t status;
  uint32_t state;
  uint32_t timer;
  uint8_t mode;
  uint8_t guihidden;
};

// Runs the game to the title screen, then gives the button words by the
// title's frame (1 = its first running frame), records every title frame,
// and ends the run after the title's frame last (or when the game ends).
class TitleRun : public ScreenRun {
 protected:
  std::vector<TitleFrame> RunTitle(std::map<uint32_t, uint32_t> buttons, uint32_t last,
                                   std::function<void(ObservedGame&, uint32_t)> look = nullptr) {
    std::vector<TitleFrame> frames;
    app = MakeGame();
    app->stepmicroseconds = FRAME_MICROSECONDS;
    uint32_t titleframe = 0;
    app->after = [&](ObservedGame& game) {
      ClassShared& shared = game.Shared();
      if (titleframe == 0 && !(shared.activemodule == MODULE_TITLE && shared.modulestatus == MODULESTATUS_RUNNING)) {
        return;
      }
      titleframe++;
      ClassTitle& title = game.Title();
      frames.push_back({shared.activemodule, shared.modulestatus, title.titlestate, title.timer, shared.player->mode,
                        shared.guihidden});
      if (look) look(game, titleframe);
      auto word = buttons.find(titleframe);
      if (word != buttons.end()) HostDevices_SetButtons(word->second);
      if (titleframe >= last || shared.activemodule == MODULE_LEVEL) game.End();
    };
    Run(*app);
    return frames;
  }

  std::unique_ptr<ObservedGame> app;
};

TEST_F(TitleRun, LeftAndRightEachToggleTheModeOnceWhileHeld) {
  // Left held for a second (repeats come after 300 ms), then right held as long.
  const auto frames = RunTitle({{2, BUTTONBIT_LEFT}, {12, 0}, {14, BUTTONBIT_RIGHT}, {24, 0}}, 26);
  ASSERT_EQ(frames.size(), 26u);
  EXPECT_EQ(frames[0].mode, PLAYER_MODE_EASY);
  for (size_t i = 2; i < 14; i++) EXPECT_EQ(frames[i].mode, PLAYER_MODE_TIMED) << "title frame " << i + 1;
  for (size_t i = 14; i < 26; i++) EXPECT_EQ(frames[i].mode, PLAYER_MODE_EASY) << "title frame " << i + 1;
}

TEST_F(TitleRun, SelectDuringTheStartDelayStartsTheGameOnce) {
  // B at the title's third frame, again half a second later.
  const auto frames = RunTitle({{2, BUTTONBIT_B}, {3, 0}, {7, BUTTONBIT_B}, {8, 0}}, 40);
  ASSERT_GE(frames.size(), 4u);
  // The press arrives at the start of the third frame, which already counts down.
  EXPECT_EQ(frames[1].state, TITLESTATE_CHOOSING);
  EXPECT_EQ(frames[2].state, TITLESTATE_STARTING);
  EXPECT_EQ(frames[2].timer, 900u);
  EXPECT_EQ(frames[8].timer, 300u) << "the second press does not restart the delay";
  // The delay runs out in the tenth frame from the press, which enters the play field.
  ASSERT_EQ(frames.size(), 12u);
  EXPECT_EQ(frames.back().module, MODULE_LEVEL);
  EXPECT_EQ(frames.back().status, MODULESTATUS_ENTER);
  for (size_t i = 0; i + 1 < frames.size(); i++) EXPECT_EQ(frames[i].module, MODULE_TITLE);
}

TEST_F(TitleRun, ExitPictureFadesInOverTheFrozenScreenThenEndsTheProgram) {
  std::vector<uint32_t> advert;
  std::vector<uint16_t> exitpicture;
  const auto frames = RunTitle({{2, BUTTONBIT_X}, {3, 0}}, 400, [&](ObservedGame& game, uint32_t) {
    SHARED_SURFACE& s = game.Shared().surface;
    V2DSurface* screen = game.BackBuffer();
    if (game.Title().titlestate != TITLESTATE_EXIT) return;
    advert.push_back(screen->GetPixel(20, 20) == s.advert.GetPixel(20, 20));
    if (game.Title().timer == 2048) exitpicture = PicturePixels(*screen);
  });
  ASSERT_GE(frames.size(), 5u);
  // The press requests the exit before the frame, whose title begins the picture.
  EXPECT_EQ(frames[1].state, TITLESTATE_CHOOSING);
  EXPECT_EQ(frames[2].state, TITLESTATE_EXIT);
  EXPECT_EQ(frames[2].timer, 0u);
  uint32_t lasttimer = 0;
  for (size_t i = 2; i < frames.size(); i++) {
    EXPECT_EQ(frames[i].guihidden, 1) << "overlay and particles stay hidden";
    if (i == 2) continue;
    EXPECT_EQ(frames[i].timer, lasttimer + 100 > 2048 && lasttimer < 2048 ? 2048 : lasttimer + 100);
    lasttimer = frames[i].timer;
  }
  EXPECT_GE(lasttimer, 18048u);
  EXPECT_LT(lasttimer, 18148u);
  EXPECT_EQ(app->Shared().activemodule, MODULE_COUNT);
  ASSERT_GT(advert.size(), 22u);
  EXPECT_FALSE(advert[1]) << "a tenth into the fade the old screen still shows";
  EXPECT_TRUE(advert[21]) << "the fade has ended on the exit picture";
  EXPECT_TRUE(advert.back());
  EXPECT_EQ(ReadWholeFile("game.cfg").size(), SETTINGS_SIZE) << "the settings are saved at the end";
  SaveScreenshot("exit.png", exitpicture);
}

TEST_F(TitleRun, PressDuringTheFadeEndsTheProgramAtOnce) {
  const auto frames = RunTitle({{2, BUTTONBIT_X}, {3, 0}, {10, BUTTONBIT_B}}, 400);
  ASSERT_EQ(frames.size(), 11u) << "the press reaches the title in the frame after the poll";
  EXPECT_EQ(frames[9].state, TITLESTATE_EXIT);
  EXPECT_LT(frames[9].timer, 2048u);
  EXPECT_EQ(frames.back().module, MODULE_COUNT);
}

TEST_F(TitleRun, TitleShowsThePulsingLabelOfTheChosenMode) {
  std::vector<uint32_t> easy, timed;
  const auto frames = RunTitle({{7, BUTTONBIT_RIGHT}, {8, 0}}, 12, [&](ObservedGame& game, uint32_t titleframe) {
    V2DSurface* screen = game.BackBuffer();
    // The centre of each label: bright over the dimmed picture when chosen.
    easy.push_back(screen->GetPixel(199, 167));
    timed.push_back(screen->GetPixel(278, 166));
    if (titleframe == 2) SaveScreenshot("title.png", PicturePixels(*screen));
  });
  ASSERT_EQ(frames.size(), 12u);
  EXPECT_NE(easy[1], easy[5]) << "the easy label pulses";
  EXPECT_EQ(timed[1], timed[5]) << "the timed label rests while easy is chosen";
  EXPECT_EQ(frames[10].mode, PLAYER_MODE_TIMED);
  EXPECT_NE(timed[9], timed[11]) << "now the timed label pulses";
  EXPECT_EQ(easy[9], easy[11]);
}

}  // namespace
