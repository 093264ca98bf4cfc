// Tests of the game application: its configuration, the creation of the
// screens, and, with logging screens in place of the real ones running on
// the emulated handheld, the frame time, the routing of key events to the
// active screen and the overlay, the volume keys, the overlay's clipper,
// module switching, the ends of a run with and without "game.cfg", and the
// input recording and its playback.
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "game/game_probe.h"
#include "game/gui.h"
#include "game/level.h"
#include "game/loader.h"
#include "game/title.h"

namespace {

// --- configuration and screens ------------------------------------------------------

TEST_F(GameRun, CreateSetsTheGameConfiguration) {
  auto app = MakeApp();
  VEXACONFIG config{};
  config.videotype = VideoType::DisplayDefault;
  config.reserved5 = config.reserved8 = config.reserved11 = config.idlesleep = config.numconnections = 1;
  EXPECT_EQ(app->OnCreate(&config, &data), 0);
  EXPECT_EQ(config.width, 320u);
  EXPECT_EQ(config.height, 240u);
  EXPECT_EQ(config.drivervideotype, VideoType::Rgb565);
  EXPECT_EQ(config.videotype, VideoType::DisplayDefault);
  EXPECT_EQ(config.orientation, 5);
  EXPECT_EQ(config.dspflags, 12u);
  EXPECT_EQ(config.maxfps, 60u);
  const uint8_t zeros[] = {config.numconnections, config.idlesleep, config.reserved5, config.reserved8,
                           config.reserved11};
  for (uint8_t value : zeros) EXPECT_EQ(value, 0);
  const uint8_t ones[] = {config.surfacetype, config.reserved6, config.fullscreen, config.reserved9,
                          config.reserved10, config.suspendinactive};
  for (uint8_t value : ones) EXPECT_EQ(value, 1);
}

TEST_F(GameRun, InitModulesCreatesTheFourScreensLinkedToTheSharedState) {
  auto app = MakeApp(false);
  ASSERT_TRUE(app->InitModules());
  EXPECT_NE(dynamic_cast<ClassLoader*>(app->Module(MODULE_LOADER)), nullptr);
  EXPECT_NE(dynamic_cast<ClassTitle*>(app->Module(MODULE_TITLE)), nullptr);
  EXPECT_NE(dynamic_cast<ClassLevel*>(app->Module(MODULE_LEVEL)), nullptr);
  auto* gui = dynamic_cast<ClassGui*>(app->Module(MODULE_GUI));
  ASSERT_NE(gui, nullptr);
  for (uint32_t index = 0; index < MODULE_COUNT; index++) EXPECT_EQ(app->Module(index)->GetShared(), &app->Shared());
  EXPECT_EQ(gui->boxstate, BOXSTATE_UNINITIALISED);
  const std::vector<uint8_t> mainmenu = {0, 1, 98, 6, 98, 2, 5, 98, 3};
  EXPECT_EQ(std::vector<uint8_t>(gui->menulist, gui->menulist + gui->menucount), mainmenu);
  EXPECT_EQ(gui->redraw, 1);
}

class ScreenCreationFails : public GameRun, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(ScreenCreationFails, StopsTheStartWithItsTextAndLinksOnlyThoseBefore) {
  auto app = MakeApp();
  app->failmodule = GetParam();
  EXPECT_EQ(app->OnInit(0), 1);
  EXPECT_EQ(std::u16string(app->GetErrorMsg()), u"Error: not enough memory available");
  for (uint32_t index = 0; index < MODULE_COUNT; index++) {
    ClassModule* module = app->Module(index);
    if (index == GetParam()) {
      EXPECT_EQ(module, nullptr);
    } else {
      ASSERT_NE(module, nullptr) << "every other screen was still created";
      EXPECT_EQ(module->GetShared(), index < GetParam() ? &app->Shared() : nullptr) << index;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Index, ScreenCreationFails, ::testing::Values(0u, 1u, 2u, 3u));

// Built over storage full of junk, so only what the constructor sets is zero.
template <typename Screen, typename Check>
void CheckFreshScreen(Check check) {
  alignas(Screen) unsigned char storage[sizeof(Screen)];
  std::memset(storage, 0xAB, sizeof storage);
  Screen* screen = new (storage) Screen;
  EXPECT_EQ(screen->GetShared(), nullptr);
  check(*screen);
  screen->~Screen();
}

TEST(GameScreens, StartWithEveryFieldZeroAndThenTheirOwnStartValues) {
  CheckFreshScreen<ClassLoader>([](ClassLoader& loader) {
    EXPECT_EQ(loader.item, 0u);
    EXPECT_FALSE(loader.gfxpack.IsOpen());
    EXPECT_FALSE(loader.sndpack.IsOpen());
    EXPECT_EQ(loader.elapsed, 0u);
    EXPECT_EQ(loader.logotime, 0u);
    EXPECT_EQ(loader.packindex, nullptr) << "the first package must not free junk";
  });
  CheckFreshScreen<ClassTitle>([](ClassTitle& title) {
    EXPECT_EQ(title.titlestate, TITLESTATE_CHOOSING) << "junk here would end the program at the first press";
    EXPECT_EQ(title.stylusheld, 0);
    EXPECT_EQ(title.optionwidth, 0);
    EXPECT_EQ(title.optionheight, 0);
    EXPECT_EQ(title.timer, 0u);
    EXPECT_EQ(title.pulsetime, 0u);
  });
  CheckFreshScreen<ClassLevel>([](ClassLevel& level) {
    EXPECT_EQ(level.LevelPhase, 0u);
    for (const LEVEL_OBJECT& object : level.objects) {
      EXPECT_TRUE(object.param == 0 && object.fade == 0 && object.clock == 0 && object.type == 0 &&
                  object.state == 0 && object.frame == 0 && object.x == 0 && object.y == 0 &&
                  object.offsetX == 0 && object.offsetY == 0);
    }
    for (uint16_t cell : level.grid) EXPECT_EQ(cell, 0);
    for (const SCORE_OBJECT& score : level.scoreobjects) {
      EXPECT_TRUE(score.age == 0 && score.value == 0 && score.x == 0 && score.y == 0);
    }
    const uint32_t bytes[] = {level.cursorx, level.cursory, level.selected, level.swapx, level.swapy,
                              level.swaplock, level.hintx, level.hinty, level.stylusdown, level.gameover};
    for (uint32_t value : bytes) EXPECT_EQ(value, 0u);
    EXPECT_TRUE(level.stylus.x == 0 && level.stylus.y == 0 && level.cellsize == 0);
    const uint32_t timers[] = {level.introtime, level.createtime, level.freezetime, level.counttime,
                               level.shownscore, level.hinttime, level.totaltime, level.unsettledtime,
                               level.droptime, level.dropcount, level.sirentime};
    for (uint32_t value : timers) EXPECT_EQ(value, 0u);
  });
  CheckFreshScreen<ClassGui>([](ClassGui& gui) {
    EXPECT_EQ(gui.boxstate, BOXSTATE_UNINITIALISED);
    EXPECT_EQ(gui.menucount, 9);
    for (int32_t i = gui.menucount; i < GUI_MENUMAX; i++) EXPECT_EQ(gui.menulist[i], 0);
    EXPECT_EQ(gui.redraw, 1);
    EXPECT_TRUE(gui.menurect.left == 0 && gui.menurect.top == 0 && gui.menurect.right == 0 &&
                gui.menurect.bottom == 0);
    const int32_t values[] = {gui.menuopen, gui.selected, gui.barwidth, gui.barheight, gui.itemwidth,
                              gui.itemheight, gui.volumemode, gui.cursorcolumn, gui.cursorrow, gui.shiftstate,
                              int32_t(gui.editentry), gui.flashtime};
    for (int32_t value : values) EXPECT_EQ(value, 0);
    for (char c : gui.typed) EXPECT_EQ(c, 0);
    for (const auto& checksum : gui.checksums)
      for (char c : checksum) EXPECT_EQ(c, 0);
  });
}

TEST_F(GameRun, BackBufferOtherThan320By240FailsDisplayInit) {
  auto app = MakeApp();
  EXPECT_EQ(app->OnDisplayInit(0, &app->Display()), 1);  // not opened: no back buffer at all
  EXPECT_EQ(std::u16string(app->GetErrorMsg()), u"Wrong resolution");
}

struct SeedCase {
  const char* name;
  bool hasseed;
  uint32_t seed;
  uint32_t expected;  // the virtual clock stands at 5000 ms
};

class GameSeed : public GameRun, public ::testing::WithParamInterface<SeedCase> {};

TEST_P(GameSeed, ComesFromTheClockUnlessAnOptionGivesIt) {
  HostDevices_SetOptions(PLATFORM_OPTIONS{GetParam().hasseed, GetParam().seed, nullptr, nullptr, nullptr});
  auto app = MakeApp();
  ASSERT_EQ(app->OnInit(0), 0);
  EXPECT_EQ(app->Math().GetRandSeed(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, GameSeed,
                         ::testing::Values(SeedCase{"Clock", false, 77, 5000}, SeedCase{"Option", true, 77, 77}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(GameRun, MinimizeAndRestoreReachTheActiveScreenAndTheHiddenOverlay) {
  auto app = MakeApp();
  ASSERT_TRUE(app->InitModules());
  app->Shared().activemodule = MODULE_LEVEL;
  EXPECT_EQ(app->OnMinimize(), 0);
  EXPECT_EQ(app->OnRestore(), 0);
  const std::vector<ScreenCall> expected = {{0, MODULE_LEVEL, "minimize", 0, false, 0},
                                            {0, MODULE_GUI, "minimize", 0, false, 0},
                                            {0, MODULE_LEVEL, "restore", 0, false, 0},
                                            {0, MODULE_GUI, "restore", 0, false, 0}};
  EXPECT_EQ(app->calls, expected);
}

struct OverlayCase {
  const char* name;
  uint8_t guiactive, guihidden;
  bool shown;
};

const OverlayCase OVERLAYS[] = {
    {"Shown", 1, 0, true},
    {"NotActive", 0, 0, false},
    {"Hidden", 1, 1, false},
};

class OverlayRouting : public GameRun, public ::testing::WithParamInterface<OverlayCase> {};

TEST_P(OverlayRouting, ReleasesWheelAndStylusReachTheOverlayOnlyWhileShown) {
  auto app = MakeApp();
  ASSERT_TRUE(app->InitModules());
  app->Shared().activemodule = MODULE_TITLE;
  app->Shared().guiactive = GetParam().guiactive;
  app->Shared().guihidden = GetParam().guihidden;
  app->OnButtonDown(14, app->GetButtonList());
  EXPECT_TRUE(app->calls.empty()) << "presses arrive only as key events";
  app->OnButtonUp(14, app->GetButtonList());
  app->OnWheel(-1);
  app->OnStylusUp(tagPOINT{5, 6});
  app->OnStylusDown(tagPOINT{7, 8});
  app->OnStylusMove(tagPOINT{9, 10});
  std::vector<ScreenCall> expected;
  const std::vector<std::pair<const char*, long>> calls = {
      {"up", 14}, {"wheel", -1}, {"stylusup", 5}, {"stylusdown", 7}, {"stylusmove", 9}};
  for (const auto& call : calls) {
    expected.push_back({0, MODULE_TITLE, call.first, call.second, false, 0});
    if (GetParam().shown) expected.push_back({0, MODULE_GUI, call.first, call.second, false, 0});
  }
  EXPECT_EQ(app->calls, expected);
}

TEST_P(OverlayRouting, KeyEventsReachTheActiveScreenThenTheOverlayOnlyWhileShown) {
  const OverlayCase param = GetParam();
  auto app = MakeApp();
  app->script[1] = [param](FrameContext& c) {
    c.shared.activemodule = MODULE_TITLE;
    c.shared.guiactive = param.guiactive;
    c.shared.guihidden = param.guihidden;
  };
  app->script[4] = EndRun;
  app->buttons = {{2, BUTTONBIT_B}, {3, 0}};
  Run(*app);
  const std::vector<long> actions = app->ActionsOf(MODULE_TITLE);
  ASSERT_FALSE(actions.empty());
  EXPECT_NE(std::find(actions.begin(), actions.end(), long(ACTION_SELECT)), actions.end());
  EXPECT_EQ(app->ActionsOf(MODULE_GUI), GetParam().shown ? actions : std::vector<long>{});
  EXPECT_TRUE(app->ActionsOf(MODULE_LOADER).empty());
  // Each event goes to the active screen first, then to the overlay.
  std::vector<ScreenCall> downs = app->CallsOf("down");
  for (size_t i = 0; i < downs.size(); i++) {
    EXPECT_EQ(downs[i].frame, 3u) << "queued by the poll, handed on in the next frame; releases ignored";
    EXPECT_EQ(downs[i].module, GetParam().shown ? (i % 2 ? MODULE_GUI : MODULE_TITLE) : MODULE_TITLE);
  }
  size_t overlayframes = 0;
  for (const ScreenCall& call : app->CallsOf("frame")) overlayframes += call.module == MODULE_GUI;
  EXPECT_EQ(overlayframes, GetParam().shown ? 4u : 0u) << "from the frame that showed it on";
}

INSTANTIATE_TEST_SUITE_P(Cases, OverlayRouting, ::testing::ValuesIn(OVERLAYS),
                         [](const auto& info) { return std::string(info.param.name); });

// --- frames -------------------------------------------------------------------------------

TEST_F(GameRun, FrameTimeIsCappedAt100AndResetDeltaGivesZero) {
  auto app = MakeApp();
  app->script[2] = [](FrameContext&) { HostClock_Advance(250000); };
  app->script[5] = [](FrameContext& c) { c.shared.resetdelta = 1; };
  app->script[6] = [](FrameContext& c) {
    c.shared.CreateParticle(100, 100, PARTICLE_LIGHT, 0, 0);
    HostClock_Advance(150000);
  };
  uint32_t vy = 0;
  app->script[8] = [&vy](FrameContext& c) {
    vy = uint32_t(c.shared.particles[0].vy);
    EndRun(c);
  };
  Run(*app);
  std::vector<long> times;
  for (const ScreenCall& call : app->CallsOf("frame")) times.push_back(call.value);
  ASSERT_EQ(times.size(), 8u);
  ASSERT_EQ(app->elapsed.size(), 8u);
  EXPECT_GT(app->elapsed[1], 0u);
  EXPECT_GE(app->elapsed[2], 250u);
  EXPECT_GT(app->elapsed[5], 0u);
  EXPECT_GE(app->elapsed[6], 150u);
  for (size_t i = 0; i < times.size(); i++) {
    const bool reset = i == 0 || i == 5;  // the first frame, and the one after resetdelta
    const unsigned long capped = app->elapsed[i] > 100 ? 100 : app->elapsed[i];
    EXPECT_EQ(times[i], long(reset ? 0 : capped)) << "frame " << i + 1 << " took " << app->elapsed[i];
  }
  EXPECT_EQ(vy, 100u) << "particles move by the frame time: 0, then 100 ms of gravity";
}

TEST_F(GameRun, ModuleSwitchTakesEffectOnTheNextFrame) {
  auto app = MakeApp();
  uint32_t statusseen = 0;
  app->script[1] = [](FrameContext& c) {
    c.shared.activemodule = MODULE_LEVEL;
    c.shared.modulestatus = MODULESTATUS_ENTER;
  };
  app->script[2] = [&statusseen](FrameContext& c) {
    statusseen = c.shared.modulestatus;
    c.shared.modulestatus = MODULESTATUS_RUNNING;
    c.shared.minimizerequest = 1;
  };
  uint8_t minimizerequest = 1;
  app->script[3] = [&minimizerequest](FrameContext& c) {
    minimizerequest = c.shared.minimizerequest;
    EndRun(c);
  };
  Run(*app);
  std::vector<std::pair<uint32_t, uint32_t>> frames;
  for (const ScreenCall& call : app->CallsOf("frame")) frames.push_back({call.frame, call.module});
  const std::vector<std::pair<uint32_t, uint32_t>> expected = {{1, MODULE_LOADER}, {2, MODULE_LEVEL}, {3, MODULE_LEVEL}};
  EXPECT_EQ(frames, expected);
  EXPECT_EQ(statusseen, MODULESTATUS_ENTER);
  EXPECT_EQ(minimizerequest, 0) << "a minimize request is taken once";
}

TEST_F(GameRun, StartSelectAndXAlsoGiveTheMenuAndAlternateActions) {
  auto app = MakeApp();
  app->buttons = {{2, BUTTONBIT_START}, {3, 0}, {4, BUTTONBIT_SELECT}, {5, 0}, {6, BUTTONBIT_X}, {7, 0}};
  app->script[8] = EndRun;
  Run(*app);
  std::map<uint32_t, std::vector<long>> byframe;
  for (const ScreenCall& call : app->CallsOf("down")) byframe[call.frame].push_back(call.value);
  auto has = [&byframe](uint32_t frame, long action) {
    return std::find(byframe[frame].begin(), byframe[frame].end(), action) != byframe[frame].end();
  };
  EXPECT_TRUE(has(3, ACTION_MENU)) << "Start";
  EXPECT_TRUE(has(5, ACTION_MENU)) << "Select";
  EXPECT_TRUE(has(7, ACTION_ALT)) << "X";
}

TEST_F(GameRun, InputBlockedLosesTheEventsOfItsFrames) {
  auto app = MakeApp();
  app->script[2] = [](FrameContext& c) { c.shared.inputblocked = 1; };
  app->script[3] = [](FrameContext& c) { c.shared.inputblocked = 0; };
  app->script[7] = EndRun;
  app->buttons = {{2, BUTTONBIT_START}, {4, 0}, {5, BUTTONBIT_X}};
  Run(*app);
  std::vector<ScreenCall> downs = app->CallsOf("down");
  ASSERT_FALSE(downs.empty());
  for (const ScreenCall& call : downs) {
    EXPECT_EQ(call.frame, 6u) << "the press while blocked is lost, not delayed";
    EXPECT_NE(call.value, long(ACTION_MENU));
  }
}

TEST_F(GameRun, VolumeKeysStepTheVolumeAfterTheScreensSawThem) {
  auto app = MakeApp();
  struct Seen {
    uint32_t volume, music, effects;
  };
  std::vector<Seen> seen;
  auto look = [&seen](FrameContext& c) {
    ClassVSound& sound = c.app.Sound();
    seen.push_back({c.shared.settings.volume, sound.GetMusicVolume(), sound.GetSoundVolume()});
  };
  app->script[1] = [](FrameContext& c) { c.shared.settings.volume = 241; };
  app->script[3] = [look](FrameContext& c) {
    look(c);
    c.shared.settings.volume = 14;
  };
  app->script[5] = look;
  app->script[6] = EndRun;
  app->buttons = {{2, BUTTONBIT_VOLUMEUP}, {3, 0}, {4, BUTTONBIT_VOLUMEDOWN}, {5, 0}};
  Run(*app);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].volume, 254u);
  EXPECT_EQ(seen[0].music, 254u);
  EXPECT_EQ(seen[0].effects, 190u);
  EXPECT_EQ(seen[1].volume, 1u);
  EXPECT_EQ(seen[1].music, 1u);
  EXPECT_EQ(seen[1].effects, 0u);
  EXPECT_EQ(app->ActionsOf(MODULE_LOADER), (std::vector<long>{ACTION_VOLUME_UP, ACTION_VOLUME_DOWN}));
}

struct ClipCase {
  const char* name;
  uint32_t activemodule;
  uint8_t guiactive, guihidden;
  int32_t bottom;  // menubar 88 high: strips of 11
};

const ClipCase CLIPS[] = {
    {"TitleUnderTheBar", MODULE_TITLE, 1, 0, 238 - 11},
    {"PlayFieldUnderTheBar", MODULE_LEVEL, 1, 0, 238 - 11},
    {"LoadingScreenWhole", MODULE_LOADER, 1, 0, 240},
    {"NoOverlayWhole", MODULE_TITLE, 0, 0, 240},
    {"HiddenOverlayWhole", MODULE_TITLE, 1, 1, 240},
};

class OverlayClip : public GameRun, public ::testing::WithParamInterface<ClipCase> {};

TEST_P(OverlayClip, LeavesTheBarFreeForTheShownOverlayOnly) {
  const ClipCase param = GetParam();
  auto app = MakeApp();
  app->script[1] = [param](FrameContext& c) {
    ASSERT_EQ(c.shared.surface.menubar.Create(64, 88, VideoType::Rgb565, 1), VSURF_OK);
    c.shared.activemodule = param.activemodule;
    c.shared.guiactive = param.guiactive;
    c.shared.guihidden = param.guihidden;
  };
  app->script[2] = EndRun;
  Run(*app);
  std::vector<ScreenCall> active;
  for (const ScreenCall& call : app->CallsOf("frame")) {
    if (call.module == MODULE_GUI) {
      EXPECT_EQ(call.clipbottom, 240) << "the overlay draws on the whole screen";
    } else if (call.frame == 2) {
      active.push_back(call);
    }
  }
  ASSERT_EQ(active.size(), 1u);
  EXPECT_EQ(active[0].module, param.activemodule);
  EXPECT_EQ(active[0].clipbottom, param.bottom);
}

INSTANTIATE_TEST_SUITE_P(Cases, OverlayClip, ::testing::ValuesIn(CLIPS),
                         [](const auto& info) { return std::string(info.param.name); });

// --- the end of a run ----------------------------------------------------------------------

TEST_F(GameRun, ActiveModuleFourEndsTheRunAfterItsFrameWithTheSettingsSaved) {
  int flips = 0;
  HostDevices_SetPresentHook([](const uint16_t*, void* user) { ++*static_cast<int*>(user); }, &flips);
  auto app = MakeApp();
  app->script[1] = [](FrameContext& c) {
    c.shared.LoadCfg();  // as loading does
    c.shared.settings.scores[0][0] = 4321;
  };
  app->script[2] = EndRun;
  Run(*app);
  EXPECT_EQ(app->frame, 2u);
  EXPECT_EQ(flips, 2) << "the last frame still shows";
  EXPECT_EQ(app->exits, 1);
  EXPECT_EQ(app->GetStatus(), VEXA_STATUS_CLOSED);
  const std::vector<uint8_t> saved = ReadWholeFile("game.cfg");
  ASSERT_EQ(saved.size(), SETTINGS_SIZE);
  EXPECT_EQ(WordInFile(saved, 192), 4321u);
}

class FatalStatus : public GameRun, public ::testing::WithParamInterface<size_t> {};

TEST_P(FatalStatus, CopiesTheErrorTextAndEndsTheRunThroughTheExit) {
  const std::string text(GetParam(), 'E');
  auto app = MakeApp();
  app->script[1] = [&text](FrameContext& c) {
    c.shared.LoadCfg();
    std::memcpy(c.shared.errortext, text.data(), text.size());  // may fill the field without a zero
    c.shared.modulestatus = MODULESTATUS_FATAL;
  };
  Run(*app);
  EXPECT_EQ(app->results, std::vector<int>{1});
  EXPECT_EQ(app->exits, 1);
  EXPECT_EQ(app->GetStatus(), VEXA_STATUS_CLOSED);
  EXPECT_EQ(std::u16string(app->GetErrorMsg()), Wide(text.substr(0, SHARED_ERRORTEXTSIZE - 1)));
  EXPECT_EQ(ReadWholeFile("game.cfg").size(), SETTINGS_SIZE);
}

INSTANTIATE_TEST_SUITE_P(Lengths, FatalStatus, ::testing::Values(12, 255, 256));

struct EarlyEndCase {
  const char* name;
  uint32_t activemodule, modulestatus;
};

class EndBeforeLoading : public GameRun, public ::testing::WithParamInterface<EarlyEndCase> {};

TEST_P(EndBeforeLoading, LeavesThePlayersFileUntouched) {
  std::vector<uint8_t> previous(SETTINGS_SIZE, 0);
  previous[192] = 0x39;  // a best score of 12345
  previous[193] = 0x30;
  previous[250] = 99;
  ASSERT_TRUE(WriteWholeFile("game.cfg", previous));
  const EarlyEndCase param = GetParam();
  auto app = MakeApp();
  app->script[1] = [param](FrameContext& c) {
    c.shared.activemodule = param.activemodule;
    c.shared.modulestatus = param.modulestatus;
  };
  Run(*app);
  EXPECT_EQ(app->exits, 1);
  EXPECT_EQ(ReadWholeFile("game.cfg"), previous);
  EXPECT_FALSE(FileExists("game.cfg.tmp"));
}

INSTANTIATE_TEST_SUITE_P(Cases, EndBeforeLoading,
                         ::testing::Values(EarlyEndCase{"ByActiveModule", MODULE_COUNT, MODULESTATUS_RUNNING},
                                           EarlyEndCase{"ByFatalError", MODULE_LOADER, MODULESTATUS_FATAL}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- recording and playback ------------------------------------------------------------------

// The same screen program in both runs: the title screen, then the end.
void ScriptTitleRun(GameProbe& app, std::vector<uint32_t>& seeds) {
  app.script[1] = [&seeds](FrameContext& c) {
    seeds.push_back(c.app.Math().GetRandSeed());
    c.shared.activemodule = MODULE_TITLE;
    c.shared.guiactive = 1;
  };
  app.script[9] = EndRun;
}

TEST_F(GameRun, RecordedRunReplaysTheSameScreenCalls) {
  std::vector<uint32_t> seeds;
  HostDevices_SetOptions(PLATFORM_OPTIONS{true, 1234, "run.rec", nullptr, nullptr});
  auto recorded = MakeApp();
  ScriptTitleRun(*recorded, seeds);
  recorded->script[3] = [](FrameContext&) { HostClock_Advance(40000); };
  recorded->buttons = {{2, BUTTONBIT_B}, {3, 0}, {4, BUTTONBIT_START | BUTTONBIT_VOLUMEUP}, {6, 0}};
  Run(*recorded);
  const std::vector<uint8_t> file = ReadWholeFile("run.rec");
  ASSERT_GT(file.size(), 16u);
  EXPECT_EQ(WordInFile(file, 0), 16u) << "header size";
  EXPECT_EQ(WordInFile(file, 8), file.size()) << "write position: the end of the records";
  EXPECT_EQ(WordInFile(file, 12), 1234u) << "the seed";

  HostDevices_Reset();
  HostClock_UseVirtual(true, 9000000);
  HostDevices_SetOptions(PLATFORM_OPTIONS{false, 0, nullptr, "run.rec", nullptr});
  auto replayed = MakeApp();
  ScriptTitleRun(*replayed, seeds);
  Run(*replayed);
  EXPECT_EQ(replayed->calls, recorded->calls) << "the same frame times, events and screens";
  EXPECT_EQ(seeds, (std::vector<uint32_t>{1234, 1234}));
}

struct BadReplayCase {
  const char* name;
  std::vector<uint8_t> file;  // empty: no file at all
  const char* record;
};

class BadReplay : public GameRun, public ::testing::WithParamInterface<BadReplayCase> {};

TEST_P(BadReplay, StopsTheStartWithAClearText) {
  if (!GetParam().file.empty()) {
    ASSERT_TRUE(WriteWholeFile("bad.rec", GetParam().file));
  }
  HostDevices_SetOptions(PLATFORM_OPTIONS{false, 0, GetParam().record, "bad.rec", nullptr});
  auto app = MakeApp();
  Run(*app);
  EXPECT_EQ(app->frame, 0u);
  EXPECT_EQ(app->GetStatus(), VEXA_STATUS_STARTING);
  EXPECT_FALSE(app->Sound().IsOpen());
  EXPECT_EQ(std::u16string(app->GetErrorMsg()).rfind(u"The input recording", 0), 0u);
}

const uint8_t GOOD_HEADER[] = {16, 0, 0, 0, 16, 0, 0, 0, 16, 0, 0, 0, 1, 0, 0, 0};

INSTANTIATE_TEST_SUITE_P(
    Cases, BadReplay,
    ::testing::Values(BadReplayCase{"Missing", {}, nullptr}, BadReplayCase{"ShorterThanItsHeader", {16, 0, 0}, nullptr},
                      BadReplayCase{"SizeBeyondTheFile", {16, 0, 0, 0, 200, 0, 0, 0, 200, 0, 0, 0, 1, 0, 0, 0}, nullptr},
                      BadReplayCase{"TogetherWithRecording",
                                    std::vector<uint8_t>(GOOD_HEADER, GOOD_HEADER + sizeof GOOD_HEADER), "again.rec"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
