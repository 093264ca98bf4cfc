// game_probe.h - the game application with logging screens in place of its
// real ones, run on the emulated handheld: the active screen runs a test's
// script frame by frame, button words are shown to the poll by frame, and
// every call a screen receives is kept.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "audio/mxrGP2X.h"
#include "game/app.h"
#include "game/game_folder.h"
#include "platform/host/host_devices.h"

// Button word bits (code - 1).
constexpr uint32_t BUTTONBIT_START = 1u << 8;
constexpr uint32_t BUTTONBIT_SELECT = 1u << 9;
constexpr uint32_t BUTTONBIT_B = 1u << 13;
constexpr uint32_t BUTTONBIT_X = 1u << 14;
constexpr uint32_t BUTTONBIT_VOLUMEDOWN = 1u << 22;
constexpr uint32_t BUTTONBIT_VOLUMEUP = 1u << 23;

// One call a screen received.
struct ScreenCall {
  uint32_t frame;          // the application's frame, 1-based
  uint32_t module;
  std::string what;        // frame, down, up, wheel, stylusup, stylusdown, stylusmove, minimize, restore
  long value;              // frame time, action, button, direction or x
  bool repeat;
  int32_t clipbottom;      // frame: the back buffer's clipper bottom
  bool operator==(const ScreenCall& o) const {
    return frame == o.frame && module == o.module && what == o.what && value == o.value && repeat == o.repeat &&
           clipbottom == o.clipbottom;
  }
};

class GameProbe;

// What a script sees in the frame of the active screen.
struct FrameContext {
  GameProbe& app;
  ClassShared& shared;
  uint32_t frame;
  uint32_t module;
  V2DSurface* backbuffer;
  unsigned long delta;
};

// A screen that logs every call; the active one runs the test's script.
class ProbeScreen : public ClassModule {
 public:
  ProbeScreen(uint32_t index, GameProbe& app) : index(index), app(app) {}
  void OnNextFrame(V2DSurface* backbuffer, uint32_t* activemodule, uint32_t* modulestatus,
                   unsigned long delta) override;
  void OnMinimize() override { Log("minimize", 0); }
  void OnRestore() override { Log("restore", 0); }
  void OnButtonDown(unsigned long action, VBUTTONLIST*, bool repeat) override { Log("down", long(action), repeat); }
  void OnButtonUp(unsigned long button, VBUTTONLIST*) override { Log("up", long(button)); }
  void OnWheel(long direction) override { Log("wheel", direction); }
  void OnStylusUp(tagPOINT point) override { Log("stylusup", point.x); }
  void OnStylusDown(tagPOINT point) override { Log("stylusdown", point.x); }
  void OnStylusMove(tagPOINT point) override { Log("stylusmove", point.x); }

 private:
  void Log(const char* what, long value, bool repeat = false, int32_t clipbottom = 0);

  uint32_t index;
  GameProbe& app;
};

// The game application with probe screens (or its real ones), counting its
// frames and ending the run by itself at the latest after maxframes.
class GameProbe : public ClassMain {
 public:
  explicit GameProbe(const VEXADATA* data, bool probes = true) : ClassMain(data), probes(probes) {}
  ~GameProbe() override {
    if (keepcalls != nullptr) *keepcalls = calls;
  }

  std::map<uint32_t, std::function<void(FrameContext&)>> script;  // by frame, on the active screen
  std::map<uint32_t, uint32_t> buttons;  // button word from the poll after that frame on (the first poll
                                         // only releases: a button held then is not pressed)
  std::vector<ScreenCall> calls;
  std::vector<ScreenCall>* keepcalls = nullptr;  // receives the calls when the entry deletes the object
  std::vector<unsigned long> elapsed;    // as the framework handed it in
  std::vector<int> results;
  uint32_t frame = 0;
  uint32_t failmodule = MODULE_COUNT;    // this index cannot be created
  uint32_t maxframes = 600;
  int exits = 0;

  ClassShared& Shared() { return shared; }
  ClassModule* Module(uint32_t index) { return modules[index]; }
  ClassVSound& Sound() { return sound; }
  ClassVMath& Math() { return math; }
  ClassVDisplay& Display() { return display; }

  int OnNextFrame(ClassVDisplay* screen, unsigned long time) override {
    frame++;
    elapsed.push_back(time);
    if (frame >= maxframes) Quit();
    results.push_back(ClassMain::OnNextFrame(screen, time));
    return results.back();
  }
  int OnExit(int launchparam) override {
    exits++;
    return ClassMain::OnExit(launchparam);
  }

  // The calls of one kind, and the actions that reached one module.
  std::vector<ScreenCall> CallsOf(const std::string& what) const {
    std::vector<ScreenCall> found;
    for (const ScreenCall& call : calls)
      if (call.what == what) found.push_back(call);
    return found;
  }
  std::vector<long> ActionsOf(uint32_t module) const {
    std::vector<long> actions;
    for (const ScreenCall& call : CallsOf("down"))
      if (call.module == module) actions.push_back(call.value);
    return actions;
  }

 protected:
  ClassModule* CreateModule(uint32_t index) override {
    if (index == failmodule) return nullptr;
    if (!probes) return ClassMain::CreateModule(index);
    return new (std::nothrow) ProbeScreen(index, *this);
  }

 private:
  bool probes;
};

inline void ProbeScreen::OnNextFrame(V2DSurface* backbuffer, uint32_t*, uint32_t*, unsigned long delta) {
  tagRECT clip;
  backbuffer->GetClipper(&clip);
  Log("frame", long(delta), false, clip.bottom);
  if (index == MODULE_GUI) return;
  auto step = app.script.find(app.frame);
  if (step == app.script.end()) return;
  FrameContext context{app, app.Shared(), app.frame, index, backbuffer, delta};
  step->second(context);
}

inline void ProbeScreen::Log(const char* what, long value, bool repeat, int32_t clipbottom) {
  app.calls.push_back(ScreenCall{app.frame, index, what, value, repeat, clipbottom});
}

inline void PollScript(void* user) {
  GameProbe& app = *static_cast<GameProbe*>(user);
  auto word = app.buttons.find(app.frame);
  if (word != app.buttons.end()) HostDevices_SetButtons(word->second);
}

inline void EndRun(FrameContext& context) {
  context.shared.activemodule = MODULE_COUNT;
}

inline uint32_t WordInFile(const std::vector<uint8_t>& bytes, size_t offset) {
  return uint32_t(bytes[offset]) | uint32_t(bytes[offset + 1]) << 8 | uint32_t(bytes[offset + 2]) << 16 |
         uint32_t(bytes[offset + 3]) << 24;
}

inline std::u16string Wide(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

// A working folder of its own, the emulated devices, the virtual clock and
// sound drivers without an output thread.
class GameRun : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.Entered());
    HostClock_UseVirtual(true, 5000000);
    mxrGP2X::manualByDefault(true);
    GetPath(data.apppath);
  }
  void TearDown() override {
    HandleDevicePtr(true);
    mxrGP2X::manualByDefault(false);
    HostDevices_Reset();
  }

  std::unique_ptr<GameProbe> MakeApp(bool probes = true) { return std::make_unique<GameProbe>(&data, probes); }
  void Run(GameProbe& app) {
    ASSERT_NE(HandleDevicePtr(false), nullptr);
    HostDevices_SetPollHook(PollScript, &app);
    app.Start();
    HandleDevicePtr(true);
  }

  GameFolder folder;
  VEXADATA data{};
};
