// Tests of the framework object on the emulated handheld: the configuration
// check, the start and exit steps, the frame-rate lock, the button poll, the
// status machine driven by the front end, input recording and playback, the
// log, and the process entry.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "framework/vexa.h"
#include "platform/host/host_devices.h"
#include "support/temp_folder.h"
#include "util/vmod_std.h"

namespace {

constexpr uint32_t BUTTON_UP = 1u << 0, BUTTON_LEFT = 1u << 2, BUTTON_B = 1u << 13, BUTTON_A = 1u << 12;

// An application that logs what the framework calls and ends itself after a
// number of frames; tests change its configuration and add per-frame work.
class TestApp : public ClassVexa {
 public:
  explicit TestApp(const VEXADATA* startup = nullptr) : ClassVexa(startup) {}

  std::function<void(VEXACONFIG&)> configure;
  std::function<void(TestApp&, uint32_t frame)> perframe;
  int initresult = 0;
  bool opensound = false;
  uint32_t frames = 3;  // Quit in this frame (1-based); 0 never
  std::vector<std::string> events;
  std::vector<uint32_t> deltas;
  int exits = 0;

  int OnCreate(VEXACONFIG* config, VEXADATA*) override {
    config->width = 320;
    config->height = 240;
    config->dspflags = VEXA_DSPFLAG_NOFONT;
    config->idlesleep = 0;
    if (configure) configure(*config);
    return 0;
  }
  int OnInit(int) override {
    if (opensound) sound.Open();
    events.push_back("init");
    return initresult;
  }
  int OnNextFrame(ClassVDisplay*, unsigned long elapsed) override {
    deltas.push_back(uint32_t(elapsed));
    if (perframe) perframe(*this, uint32_t(deltas.size()));
    if (frames != 0 && deltas.size() == frames) Quit();
    return 0;
  }
  int OnExit(int) override {
    exits++;
    events.push_back("exit");
    return 0;
  }
  int OnMinimize() override {
    events.push_back("minimize");
    return 0;
  }
  int OnRestore() override {
    events.push_back("restore");
    return 0;
  }
  void OnButtonDown(unsigned long button, VBUTTONLIST*) override { events.push_back("down " + std::to_string(button)); }
  void OnButtonUp(unsigned long button, VBUTTONLIST*) override { events.push_back("up " + std::to_string(button)); }

  ClassVInput& Input() { return input; }
  ClassVMath& Math() { return math; }
  ClassVDisplay& Display() { return display; }
  ClassVSound& Sound() { return sound; }
};

// The emulated devices opened as the process entry opens them, and the
// virtual clock, so a run takes no real time.
class FrameworkRun : public ::testing::Test {
 protected:
  void SetUp() override { HostClock_UseVirtual(true, 5000000); }
  void TearDown() override {
    HandleDevicePtr(true);
    HostDevices_Reset();
  }
  void Run(TestApp& app) {
    ASSERT_NE(HandleDevicePtr(false), nullptr);
    app.Start();
  }
  // Button words the front end shows at each poll (the last one stays).
  void ScriptButtons(std::vector<uint32_t> words) {
    script = std::move(words);
    polls = 0;
    HostDevices_SetPollHook(
        [](void* user) {
          FrameworkRun& run = *static_cast<FrameworkRun*>(user);
          const size_t at = run.polls < run.script.size() ? run.polls : run.script.size() - 1;
          HostDevices_SetButtons(run.script[at]);
          run.polls++;
        },
        this);
  }
  static bool IsButton(const std::string& e) { return e.rfind("down", 0) == 0 || e.rfind("up", 0) == 0; }
  // The button events of one code, or of all codes for 0.
  static std::vector<std::string> ButtonEvents(const TestApp& app, uint32_t code = 0) {
    std::vector<std::string> buttons;
    for (const std::string& e : app.events)
      if (IsButton(e) && (code == 0 || e.substr(e.find(' ') + 1) == std::to_string(code))) buttons.push_back(e);
    return buttons;
  }
  // The other handler calls: init, minimize, restore, exit.
  static std::vector<std::string> Lifecycle(const TestApp& app) {
    std::vector<std::string> calls;
    for (const std::string& e : app.events)
      if (!IsButton(e)) calls.push_back(e);
    return calls;
  }

  std::vector<uint32_t> script;
  size_t polls = 0;
};

// --- the configuration check ------------------------------------------------------

struct CheckCase {
  const char* name;
  uint32_t width, height, maxfps;
  uint8_t orientation;
  const char16_t* error;  // null: the run starts
};

const CheckCase CHECKS[] = {
    {"GameConfiguration", 320, 240, 60, 5, nullptr},
    {"UnlockedRate", 320, 240, 0, 0, nullptr},
    {"LowestLockedRate", 320, 240, 5, 0, nullptr},
    {"RateOne", 320, 240, 1, 0, u"Locking FPS below 5 is disabled"},
    {"RateFour", 320, 240, 4, 0, u"Locking FPS below 5 is disabled"},
    {"WidthNotDivisibleBy4", 318, 240, 60, 0, u"Wrong display size: width not divisible by 4"},
    {"TooWide", 2004, 240, 60, 0, u"Obscure display sizes not supported"},
    {"TooLow", 320, 8, 60, 0, u"Obscure display sizes not supported"},
    {"UnknownRotation", 320, 240, 60, 7, u"Unknown display rotation"},
};

class ConfigurationCheck : public FrameworkRun, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(ConfigurationCheck, StartsOrFailsWithItsText) {
  const CheckCase& c = GetParam();
  TestApp app;
  app.configure = [&c](VEXACONFIG& config) {
    config.width = c.width;
    config.height = c.height;
    config.maxfps = c.maxfps;
    config.orientation = c.orientation;
  };
  Run(app);
  if (c.error) {
    EXPECT_EQ(std::u16string(app.GetErrorMsg()), std::u16string(c.error));
    EXPECT_TRUE(app.events.empty()) << "no handler after OnCreate";
    EXPECT_EQ(app.GetStatus(), VEXA_STATUS_STARTING);
  } else {
    EXPECT_EQ(app.GetErrorMsg()[0], u'\0');
    EXPECT_EQ(app.deltas.size(), 3u);
    EXPECT_EQ(app.GetStatus(), VEXA_STATUS_CLOSED);
    EXPECT_EQ(app.GetConfig()->fullscreen, 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, ConfigurationCheck, ::testing::ValuesIn(CHECKS),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FrameworkRun, QuarterTurnsExchangeWidthAndHeightButLandscapeDoesNot) {
  for (uint8_t orientation : {uint8_t(1), uint8_t(3), uint8_t(5)}) {
    TestApp app;
    app.configure = [orientation](VEXACONFIG& config) {
      config.width = 240;
      config.height = 320;
      config.orientation = orientation;
    };
    app.frames = 1;
    Run(app);
    HandleDevicePtr(true);
    const bool swapped = orientation != 5;
    EXPECT_EQ(app.GetConfig()->width, swapped ? 320u : 240u) << int(orientation);
    EXPECT_EQ(app.GetConfig()->height, swapped ? 240u : 320u) << int(orientation);
  }
}

TEST_F(FrameworkRun, ButtonListNamesTheHandheldsButtons) {
  TestApp app;
  app.frames = 1;
  Run(app);
  const VBUTTONLIST& list = *app.GetButtonList();
  const uint32_t expected[12] = {13, 14, 15, 9, 1, 5, 3, 7, 0, 0, 11, 12};
  EXPECT_EQ(std::vector<uint32_t>(&list.buttona, &list.buttona + 12), std::vector<uint32_t>(expected, expected + 12));
}

// --- start and exit -------------------------------------------------------------------

TEST_F(FrameworkRun, AfterQuitTheFrameStillFlipsAndExitRunsOnceBeforeTheClose) {
  int flips = 0;
  HostDevices_SetPresentHook([](const uint16_t*, void* user) { ++*static_cast<int*>(user); }, &flips);
  TestApp app;
  app.opensound = true;
  app.frames = 4;
  Run(app);
  EXPECT_EQ(app.deltas.size(), 4u);
  EXPECT_EQ(flips, 4);
  EXPECT_EQ(app.exits, 1);
  EXPECT_EQ(app.GetStatus(), VEXA_STATUS_CLOSED);
  // Closed by the exit steps already, before the object goes.
  EXPECT_FALSE(app.Sound().IsOpen());
  EXPECT_FALSE(app.Display().IsOpen());
}

struct DisplayInitFails : public TestApp {
  int OnDisplayInit(int, ClassVDisplay*) override { return 9; }
};

TEST_F(FrameworkRun, FailedInitClosesSoundAndDisplayWithoutExit) {
  TestApp initfails;
  initfails.initresult = 7;
  DisplayInitFails displayinitfails;
  for (TestApp* app : {&initfails, static_cast<TestApp*>(&displayinitfails)}) {
    app->opensound = true;
    Run(*app);
    HandleDevicePtr(true);
    EXPECT_TRUE(app->deltas.empty());
    EXPECT_EQ(app->exits, 0);
    EXPECT_EQ(app->GetStatus(), VEXA_STATUS_STARTING);
    EXPECT_FALSE(app->Sound().IsOpen());
    EXPECT_FALSE(app->Display().IsOpen());
  }
}

TEST_F(FrameworkRun, QuitRequestedByTheFrontEndEndsTheRunThroughExit) {
  TestApp app;
  app.frames = 0;
  app.perframe = [](TestApp&, uint32_t frame) {
    if (frame == 5) HostDevices_RequestQuit(true);
  };
  Run(app);
  EXPECT_EQ(app.deltas.size(), 5u);
  EXPECT_EQ(app.exits, 1);
}

// --- the frame-rate lock ----------------------------------------------------------------

TEST_F(FrameworkRun, SixtyFramesTakeOneSecondOfVirtualTime) {
  TestApp app;
  app.frames = 61;
  Run(app);
  uint32_t total = 0;
  for (size_t i = 1; i < app.deltas.size(); i++) {
    EXPECT_TRUE(app.deltas[i] == 16 || app.deltas[i] == 17) << "frame " << i << ": " << app.deltas[i];
    total += app.deltas[i];
  }
  EXPECT_NEAR(double(total), 1000.0, 1.0);
}

TEST_F(FrameworkRun, UnlockedRateSleepsOnlyWithIdleSleep) {
  for (uint8_t idlesleep : {uint8_t(0), uint8_t(1)}) {
    TestApp app;
    app.configure = [idlesleep](VEXACONFIG& config) {
      config.maxfps = 0;
      config.idlesleep = idlesleep;
    };
    app.frames = 5;
    Run(app);
    HandleDevicePtr(true);
    EXPECT_EQ(app.deltas, (std::vector<uint32_t>{0, idlesleep, idlesleep, idlesleep, idlesleep}));
  }
}

TEST_F(FrameworkRun, SlowFramesAreNotCaughtUp) {
  TestApp app;
  app.frames = 7;
  app.perframe = [](TestApp&, uint32_t frame) {
    if (frame == 2 || frame == 3) HostClock_Advance(40000);
  };
  Run(app);
  ASSERT_EQ(app.deltas.size(), 7u);
  // Late after the slow frames: no sleep, so only the handler's 40 ms and then nothing.
  EXPECT_EQ(app.deltas[3], 40u);
  EXPECT_EQ(app.deltas[4], 0u);
  // The target was pulled up: full frames follow, not short ones winning the time back.
  for (size_t i : {size_t(5), size_t(6)}) EXPECT_TRUE(app.deltas[i] == 16 || app.deltas[i] == 17) << app.deltas[i];
}

// --- the button poll -----------------------------------------------------------------

TEST_F(FrameworkRun, ButtonHeldAtStartGivesNoPressUntilReleased) {
  ScriptButtons({BUTTON_B, BUTTON_B, 0, BUTTON_B, BUTTON_B});
  TestApp app;
  app.frames = 5;
  Run(app);
  EXPECT_EQ(ButtonEvents(app, 14), (std::vector<std::string>{"up 14", "down 14"}));
}

TEST_F(FrameworkRun, ChangesOfOnePollAreReportedInAscendingOrder) {
  // The first poll releases what is not held; the second presses three at once.
  ScriptButtons({0, BUTTON_A | BUTTON_LEFT | BUTTON_B | BUTTON_UP});
  TestApp app;
  app.frames = 3;
  Run(app);
  std::vector<std::string> buttons = ButtonEvents(app);
  buttons.erase(buttons.begin(), buttons.begin() + 32);  // the releases of the first poll
  EXPECT_EQ(buttons, (std::vector<std::string>{"down 1", "down 3", "down 13", "down 14"}));
}

TEST_F(FrameworkRun, PressesReachTheInputModuleAsKeyEventsOfTheNextFrame) {
  ScriptButtons({0, BUTTON_B, BUTTON_B});
  TestApp app;
  app.frames = 3;
  std::vector<int> presses;
  app.perframe = [&presses](TestApp& a, uint32_t) { presses.push_back(a.Input().GetKeyPressCount(201, false)); };
  Run(app);
  EXPECT_EQ(presses, (std::vector<int>{0, 0, 1}));
}

struct StickCase {
  uint8_t stick;      // the stick register's low byte, 0 = pressed
  uint32_t pressed;   // the button word it gives
};

class StickDiagonals : public FrameworkRun, public ::testing::WithParamInterface<StickCase> {};

TEST_P(StickDiagonals, AreCorrectedBeforeTheWordIsFormed) {
  TestApp app;
  app.frames = 3;
  std::vector<std::string> seen;
  app.perframe = [&](TestApp&, uint32_t frame) {
    if (frame != 2) return;  // after the first poll, which presses nothing
    // Write the raw register as a board with the doubled diagonal bits reads it.
    volatile uint16_t* registers = vdevicereg_ptr16;
    registers[PLATFORM_REG_STICK / 2] = uint16_t(0xFF00 | GetParam().stick);
  };
  Run(app);
  for (const std::string& e : ButtonEvents(app))
    if (e.rfind("down", 0) == 0) seen.push_back(e);
  std::vector<std::string> expected;
  for (uint32_t bit = 0; bit < 8; bit++)
    if (GetParam().pressed & (1u << bit)) expected.push_back("down " + std::to_string(bit + 1));
  EXPECT_EQ(seen, expected);
}

INSTANTIATE_TEST_SUITE_P(Bytes, StickDiagonals,
                         ::testing::Values(StickCase{0xFD, 0x05}, StickCase{0xF7, 0x14}, StickCase{0xDF, 0x50},
                                           StickCase{0x7F, 0x41}, StickCase{0xFE, 0x01}, StickCase{0xFA, 0x05}));

// --- the status machine ----------------------------------------------------------------

TEST_F(FrameworkRun, InactiveWindowStopsFramesAndForegroundResumesWithRestore) {
  TestApp app;
  app.frames = 0;
  uint32_t frameatreturn = 0;
  app.perframe = [&](TestApp& a, uint32_t frame) {
    if (frame == 2) HostDevices_SetWindowState(PLATFORM_WINDOW_INACTIVE);
    if (frame == 3) HostDevices_RequestQuit(true);
    if (frame == 3) frameatreturn = a.GetStatus();
  };
  // Ten idle passes later, the poll hook brings the window back.
  int idle = 0;
  HostDevices_SetPollHook(
      [](void* user) {
        int& count = *static_cast<int*>(user);
        if (Platform_WindowState() != PLATFORM_WINDOW_FOREGROUND && ++count == 10)
          HostDevices_SetWindowState(PLATFORM_WINDOW_FOREGROUND);
      },
      &idle);
  Run(app);
  EXPECT_EQ(app.deltas.size(), 3u);
  EXPECT_EQ(idle, 10);
  EXPECT_EQ(frameatreturn, VEXA_STATUS_RUNNING);
  EXPECT_EQ(Lifecycle(app), (std::vector<std::string>{"init", "restore", "exit"}));
}

TEST_F(FrameworkRun, MinimizeCallsOnMinimizeAndSuspendsTheDisplayUntilRestored) {
  TestApp app;
  app.frames = 0;
  bool suspendedwhileaway = false;
  app.perframe = [](TestApp&, uint32_t frame) {
    if (frame == 2) HostDevices_SetWindowState(PLATFORM_WINDOW_MINIMIZED);
    if (frame == 3) HostDevices_RequestQuit(true);
  };
  struct Away {
    TestApp* app;
    bool* suspended;
    int passes;
  } away{&app, &suspendedwhileaway, 0};
  HostDevices_SetPollHook(
      [](void* user) {
        Away& a = *static_cast<Away*>(user);
        if (Platform_WindowState() != PLATFORM_WINDOW_MINIMIZED) return;
        *a.suspended = a.app->Display().IsSuspended() && a.app->GetStatus() == VEXA_STATUS_MINIMIZED;
        if (++a.passes == 3) HostDevices_SetWindowState(PLATFORM_WINDOW_FOREGROUND);
      },
      &away);
  Run(app);
  EXPECT_TRUE(suspendedwhileaway);
  EXPECT_EQ(app.deltas.size(), 3u);
  EXPECT_EQ(Lifecycle(app), (std::vector<std::string>{"init", "minimize", "restore", "exit"}));
}

// --- recording and playback ---------------------------------------------------------------

// Frame deltas, button events and random numbers the application saw.
std::vector<std::string> Trace(const TestApp& app, const std::vector<uint32_t>& randoms) {
  std::vector<std::string> trace = app.events;
  for (uint32_t d : app.deltas) trace.push_back("delta " + std::to_string(d));
  for (uint32_t r : randoms) trace.push_back("rand " + std::to_string(r));
  return trace;
}

TEST_F(FrameworkRun, RecordingReplaysToTheSameFramesAndButtons) {
  std::vector<uint8_t> recording;
  std::vector<std::string> recorded;
  {
    ScriptButtons({0, 0, BUTTON_B, BUTTON_B | BUTTON_LEFT, 0, BUTTON_UP, 0});
    TestApp app;
    app.frames = 8;
    std::vector<uint32_t> randoms;
    app.perframe = [&](TestApp& a, uint32_t frame) {
      if (frame == 1) {
        a.Math().SetRandSeed(4242);
        ASSERT_TRUE(a.StartRecording());
        return;
      }
      randoms.push_back(a.Math().Rand());
      if (frame == 3) HostClock_Advance(25000);  // an uneven frame
    };
    Run(app);
    uint32_t size = 0;
    const uint8_t* bytes = app.GetRecording(size);
    ASSERT_NE(bytes, nullptr);
    recording.assign(bytes, bytes + size);
    // What happened from the moment the recording began.
    app.events.erase(app.events.begin());  // init
    app.deltas.erase(app.deltas.begin());
    recorded = Trace(app, randoms);
    HandleDevicePtr(true);
  }
  HostDevices_SetPollHook(nullptr, nullptr);
  HostDevices_SetButtons(0);
  TestApp replay;
  replay.frames = 0;
  std::vector<uint32_t> randoms;
  bool started = false;
  replay.perframe = [&](TestApp& a, uint32_t frame) {
    if (frame == 1) {
      started = a.StartPlayback(recording.data(), uint32_t(recording.size()));
      a.events.clear();
    } else if (!a.IsPlayingBack()) {
      a.Quit();
    } else {
      randoms.push_back(a.Math().Rand());
    }
  };
  Run(replay);
  ASSERT_TRUE(started);
  replay.deltas.erase(replay.deltas.begin());
  replay.deltas.pop_back();  // the live frame that found the recording over
  EXPECT_EQ(Trace(replay, randoms), recorded);
}

struct BadRecording {
  const char* name;
  std::vector<uint8_t> bytes;
  bool accepted;  // StartPlayback takes it (and the playback then stops at the fault)
};

std::vector<uint8_t> Header(uint32_t headersize, uint32_t buffersize, uint32_t end) {
  std::vector<uint8_t> bytes;
  for (uint32_t word : {headersize, buffersize, end, 7u})
    for (int i = 0; i < 4; i++) bytes.push_back(uint8_t(word >> (8 * i)));
  return bytes;
}

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const BadRecording BAD_RECORDINGS[] = {
    {"ShortHeader", {16, 0, 0, 0, 16, 0}, false},
    {"WrongHeaderSize", Header(12, 16, 16), false},
    {"BufferPastTheFile", Header(16, 4096, 16), false},
    {"EndPastTheBuffer", Header(16, 16, 64), false},
    {"EndInsideTheHeader", Header(16, 16, 8), false},
    {"RecordPastTheEnd", Concat(Header(16, 20, 20), {1, 4, 16, 0, 0, 0}), true},
    {"LengthWrongForItsType", Concat(Header(16, 22, 22), {2, 200, 1, 0, 0, 0}), true},
    {"UnknownType", Concat(Header(16, 22, 22), {77, 4, 1, 0, 0, 0}), true},
};

class HostileRecording : public FrameworkRun, public ::testing::WithParamInterface<BadRecording> {};

TEST_P(HostileRecording, IsRefusedOrStopsThePlaybackWithoutReadingPastIt) {
  const BadRecording& c = GetParam();
  TestApp app;
  app.frames = 4;
  bool accepted = false, playingafter = true;
  app.perframe = [&](TestApp& a, uint32_t frame) {
    // The buffer is copied: a heap block of exactly the file's size shows an overrun under ASan.
    std::vector<uint8_t> file(c.bytes);
    if (frame == 1) accepted = a.StartPlayback(file.data(), uint32_t(file.size()));
    if (frame == 3) playingafter = a.IsPlayingBack();
  };
  Run(app);
  EXPECT_EQ(accepted, c.accepted);
  EXPECT_FALSE(playingafter);
  EXPECT_EQ(app.exits, 1);
}

INSTANTIATE_TEST_SUITE_P(Files, HostileRecording, ::testing::ValuesIn(BAD_RECORDINGS),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FrameworkRun, RecordingGrowsPastItsFirstBlock) {
  TestApp app;
  app.frames = 2000;  // 6 bytes a frame: three growths
  app.perframe = [](TestApp& a, uint32_t frame) {
    if (frame == 1) a.StartRecording();
  };
  Run(app);
  uint32_t size = 0;
  const uint8_t* bytes = app.GetRecording(size);
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(size, 16u + 6u * 32u + 6u * 1999u);  // the first poll's releases, then a record a frame
  EXPECT_TRUE(app.IsRecording());
}

// --- messages, the log, the program folder, the entry --------------------------------------

TEST(VexaMessages, ErrorTextIsCutToItsField) {
  TestApp app;
  std::string longtext(400, 'x');
  app.SetErrorMsg(longtext.c_str());
  EXPECT_EQ(ClassVStd::StrLen(app.GetErrorMsg()), VEXA_ERRORTEXTSIZE - 1);
  app.SetErrorMsg(u"Wrong resolution");
  EXPECT_EQ(std::u16string(app.GetErrorMsg()), u"Wrong resolution");
}

TEST(VexaLog, AppendsLinesAndNewLogFileEmptiesTheOneInTheProgramFolder) {
  const std::string folder = MakeTempFolder("vexalog");
  ASSERT_FALSE(folder.empty());
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(folder.c_str()), 0);
  VEXADATA data{};
  GetPath(data.apppath);
  TestApp app(&data);
  app.Log("score", false);
  app.Log(u" ok", true);
  app.Log(-17, true);
  app.Log(std::u16string(300, u'w').c_str(), false);
  std::FILE* log = std::fopen("log.txt", "rb");
  ASSERT_NE(log, nullptr);
  char text[512] = {};
  const size_t length = std::fread(text, 1, sizeof text - 1, log);
  std::fclose(log);
  EXPECT_EQ(std::string(text, length), "score ok\r\n-17\r\n" + std::string(300, 'w'));
  app.NewLogFile();
  log = std::fopen("log.txt", "rb");
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(std::fgetc(log), EOF);
  std::fclose(log);
  ASSERT_EQ(chdir(previous), 0);
  RemoveTree(folder);
}

// The process entry creates its application through this factory.
bool entryappdeleted = false;
uint32_t entryframes = 0;

class EntryApp : public TestApp {
 public:
  using TestApp::TestApp;
  ~EntryApp() override { entryappdeleted = !Sound().IsOpen() && !Display().IsOpen(); }
};

}  // namespace

ClassVexa* VexaCreateApplication(const VEXADATA* data) {
  EntryApp* app = new EntryApp(data);
  app->frames = 2;
  app->perframe = [](TestApp&, uint32_t frame) { entryframes = frame; };
  return app;
}

namespace {

TEST(VexaProcessEntry, RunsTheApplicationDeletesItAndReleasesTheDevices) {
  HostClock_UseVirtual(true, 0);
  entryappdeleted = false;
  entryframes = 0;
  EXPECT_EQ(VexaProcessMain(), 0);  // the host never replaces its process
  EXPECT_EQ(entryframes, 2u);
  EXPECT_TRUE(entryappdeleted) << "display and sound closed before the object went";
  EXPECT_EQ(vdeviceptr[VEXA_DEVICE_MEM], 0);
  EXPECT_EQ(vdeviceptr[VEXA_DEVICE_FB], 0);
  EXPECT_EQ(vdevicereg_ptr, nullptr);
}

TEST(VexaProcessEntry, AFailedRegisterMapClosesTheDevicesAndStartsNoApplication) {
  HostDevices_FailRegisterMap(true);
  EXPECT_EQ(HandleDevicePtr(false), nullptr);
  EXPECT_EQ(vdeviceptr[VEXA_DEVICE_MEM], 0);
  EXPECT_EQ(vdeviceptr[VEXA_DEVICE_FB], 0);
  EXPECT_EQ(vdevicereg_ptr16, nullptr);
  entryframes = 0;
  EXPECT_EQ(VexaProcessMain(), 0);
  EXPECT_EQ(entryframes, 0u);
}

TEST(VexaProgramFolder, AFolderTooLongForTheRecordReadsAsTheRoot) {
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  const std::string base = MakeTempFolder("vexapath");
  ASSERT_FALSE(base.empty());
  std::string folder = base;
  char16_t path[VEXA_PATHMAX];
  // Deeper and deeper: the path fits with its "/" up to 255 characters, then not.
  while (folder.size() < 300) {
    folder += "abcdefghij/";
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(chdir(folder.c_str()), 0);
    std::fill(path, path + VEXA_PATHMAX, u'?');
    GetPath(path);
    const std::string expected = folder.size() <= VEXA_PATHMAX - 1 ? folder : "/";
    EXPECT_EQ(std::u16string(path), std::u16string(expected.begin(), expected.end())) << folder.size();
  }
  ASSERT_EQ(chdir(previous), 0);
  RemoveTree(base);
}

TEST(VexaProcessEntry, VexaMainRunsWithTheCallersRecordAndKeepsTheObject) {
  HostClock_UseVirtual(true, 0);
  ASSERT_NE(HandleDevicePtr(false), nullptr);
  VEXADATA data{};
  data.launchparam = 5;
  ClassVexa* app = VexaMain(&data);
  ASSERT_NE(app, nullptr);
  EXPECT_EQ(app->GetData()->launchparam, 5);
  EXPECT_EQ(app->GetStatus(), VEXA_STATUS_CLOSED);
  delete app;
  HandleDevicePtr(true);
}

}  // namespace
