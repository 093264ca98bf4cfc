// The game through the real process entry: it creates the application by
// the factory this binary defines (probe screens in place of the real ones),
// runs the title screen with one press, and ends with the settings saved.
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "game/game_probe.h"

namespace {

std::vector<ScreenCall> entrycalls;

}  // namespace

// The process entry creates this application: probe screens on the title
// screen, one press of B, then the end.
ClassVexa* VexaCreateApplication(const VEXADATA* data) {
  GameProbe* app = new GameProbe(data);
  app->keepcalls = &entrycalls;
  app->script[1] = [](FrameContext& c) {
    c.shared.LoadCfg();
    c.shared.activemodule = MODULE_TITLE;
    c.shared.guiactive = 1;
  };
  app->script[4] = EndRun;
  app->buttons = {{2, BUTTONBIT_B}, {3, 0}};
  HostDevices_SetPollHook(PollScript, app);
  return app;
}

namespace {

TEST(GameEntry, RealEntryRunsTheScreensAndSavesTheSettingsAtTheEnd) {
  GameFolder folder;
  ASSERT_TRUE(folder.Entered());
  HostClock_UseVirtual(true, 5000000);
  mxrGP2X::manualByDefault(true);
  entrycalls.clear();
  EXPECT_EQ(VexaProcessMain(), 0);
  HostDevices_SetPollHook(nullptr, nullptr);
  mxrGP2X::manualByDefault(false);
  EXPECT_EQ(ReadWholeFile("game.cfg").size(), SETTINGS_SIZE);
  std::vector<uint32_t> framemodules;
  bool titlesawselect = false, overlaysawselect = false;
  for (const ScreenCall& call : entrycalls) {
    if (call.what == "frame") framemodules.push_back(call.module);
    if (call.what == "down" && call.value == ACTION_SELECT) {
      titlesawselect |= call.module == MODULE_TITLE;
      overlaysawselect |= call.module == MODULE_GUI;
    }
  }
  const std::vector<uint32_t> expected = {MODULE_LOADER, MODULE_GUI, MODULE_TITLE, MODULE_GUI,
                                          MODULE_TITLE,  MODULE_GUI, MODULE_TITLE, MODULE_GUI};
  EXPECT_EQ(framemodules, expected);
  EXPECT_TRUE(titlesawselect);
  EXPECT_TRUE(overlaysawselect);
}

}  // namespace
