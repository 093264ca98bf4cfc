// The window front end under SDL2's offscreen video driver, with a probe
// application in place of the game and events pushed through SDL as a
// desktop would send them: focus and minimising pause the game and their
// return resumes it, F11 and Alt+Enter switch full screen, F12 writes a
// picture that reads back, keys and a hot-plugged controller reach the
// buttons (stick diagonals included), closing the window ends the run
// through the exit steps, and without an audio device the game runs
// silently after a one-line notice.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <SDL.h>
#include <gtest/gtest.h>

#include "platform/host/host_devices.h"
#include "platform/host/sdl_window.h"
#include "support/temp_folder.h"
#include "tests/platform/probe_application.h"

ClassVexa* VexaCreateApplication(const VEXADATA* data) { return new ClassProbe(data); }

namespace {

constexpr auto POLL_STEP = std::chrono::milliseconds(5);
constexpr int POLL_STEPS = 2000;                              // give up on a condition after 10 s
constexpr auto QUIET_SPELL = std::chrono::milliseconds(300);  // a running game shows ~18 frames in it

// Handheld button codes the controls are expected to reach.
constexpr uint32_t UP = 1, LEFT = 3, DOWN = 5, RIGHT = 7, START = 9, SELECT = 10, L = 11, R = 12, A = 13, B = 14,
                   X = 15, Y = 16, VOLUMEDOWN = 23, VOLUMEUP = 24, STICK = 28;

constexpr uint32_t Bits(std::initializer_list<uint32_t> codes) {
  uint32_t bits = 0;
  for (uint32_t code : codes) bits |= 1u << (code - 1);
  return bits;
}

bool WaitUntil(const std::function<bool()>& condition) {
  for (int step = 0; step < POLL_STEPS; step++) {
    if (condition()) return true;
    std::this_thread::sleep_for(POLL_STEP);
  }
  return condition();
}

// True once no frame has been shown for a quiet spell; the frame count then.
bool WaitForPause(uint32_t* paused) {
  for (int attempt = 0; attempt < 20; attempt++) {
    uint32_t before = g_probe.frames.load();
    std::this_thread::sleep_for(QUIET_SPELL);
    if (g_probe.frames.load() == before) {
      *paused = before;
      return true;
    }
  }
  return false;
}

void PushWindowEvent(SDL_WindowEventID id) {
  SDL_Event event{};
  event.type = SDL_WINDOWEVENT;
  event.window.event = uint8_t(id);
  SDL_PushEvent(&event);
}

void PushKey(SDL_Keycode key, bool down, uint16_t modifiers = KMOD_NONE) {
  SDL_Event event{};
  event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
  event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
  event.key.keysym.sym = key;
  event.key.keysym.mod = modifiers;
  SDL_PushEvent(&event);
}

void TapKey(SDL_Keycode key, uint16_t modifiers = KMOD_NONE) {
  PushKey(key, true, modifiers);
  PushKey(key, false, modifiers);
}

// Waits until the game's buttons went down as `codes` (and only those).
bool WaitForPresses(uint32_t codes) {
  return WaitUntil([=] { return g_probe.pressed.load() == codes; });
}

bool WaitForReleases(uint32_t codes) {
  return WaitUntil([=] { return g_probe.released.load() == codes && g_probe.held.load() == 0; });
}

void ForgetButtons() {
  g_probe.pressed.store(0);
  g_probe.released.store(0);
}

class SdlWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    // Software drawing into the window itself: no GL driver threads beside the front end's.
    setenv("SDL_RENDER_DRIVER", "software", 1);
    setenv("SDL_FRAMEBUFFER_ACCELERATION", "0", 1);
    g_probe.Reset();
    folder = MakeTempFolder("vexa-window-");
    ASSERT_FALSE(folder.empty());
    options.frontend = HostFrontEnd::Window;
    options.scale = 1;
    options.picturefolder = folder;
  }
  void TearDown() override { RemoveTree(folder); }

  // Runs the window front end on this thread while script drives it from
  // another once the game shows frames; the run is ended afterwards
  // whatever the script did. The front end's exit status.
  int Run(const std::function<void()>& script) {
    std::thread driver([&] {
      if (WaitUntil([] { return g_probe.frames.load() >= 3; })) script();
      HostDevices_RequestQuit(true);
    });
    std::string reason;
    int status = HostWindow_Run(options, &reason);
    driver.join();
    EXPECT_NE(status, HOST_WINDOW_NODISPLAY) << reason;
    return status;
  }

  HOSTOPTIONS options;
  std::string folder;
};

TEST_F(SdlWindow, FocusLossPausesTheGameAndFocusGainResumesIt) {
  EXPECT_EQ(Run([] {
              PushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
              ASSERT_TRUE(WaitUntil([] { return Platform_WindowState() == PLATFORM_WINDOW_INACTIVE; }));
              uint32_t paused = 0;
              ASSERT_TRUE(WaitForPause(&paused)) << "frames went on without the focus";
              PushWindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED);
              EXPECT_TRUE(WaitUntil([=] { return g_probe.frames.load() > paused + 3; })) << "no frames after focus";
              EXPECT_EQ(Platform_WindowState(), PLATFORM_WINDOW_FOREGROUND);
            }),
            0);
  EXPECT_EQ(g_probe.restores.load(), 1u);
  EXPECT_EQ(g_probe.minimizes.load(), 0u);
}

TEST_F(SdlWindow, MinimisingPausesTheGameAndRestoringResumesIt) {
  EXPECT_EQ(Run([] {
              PushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
              PushWindowEvent(SDL_WINDOWEVENT_MINIMIZED);
              ASSERT_TRUE(WaitUntil([] { return g_probe.minimizes.load() == 1; }));
              EXPECT_EQ(Platform_WindowState(), PLATFORM_WINDOW_MINIMIZED);
              uint32_t paused = 0;
              ASSERT_TRUE(WaitForPause(&paused)) << "frames went on while minimised";
              PushWindowEvent(SDL_WINDOWEVENT_RESTORED);
              EXPECT_TRUE(WaitUntil([=] { return g_probe.frames.load() > paused + 3; })) << "no frames after restore";
            }),
            0);
  EXPECT_EQ(g_probe.minimizes.load(), 1u);
  EXPECT_EQ(g_probe.restores.load(), 1u);
}

TEST_F(SdlWindow, F11AndAltEnterSwitchFullScreenWithoutPressingStart) {
  EXPECT_EQ(Run([] {
              ASSERT_FALSE(HostWindow_Status().fullscreen);
              TapKey(SDLK_F11);
              EXPECT_TRUE(WaitUntil([] { return HostWindow_Status().fullscreen; }));
              TapKey(SDLK_RETURN, KMOD_LALT);
              EXPECT_TRUE(WaitUntil([] { return !HostWindow_Status().fullscreen; }));
              uint32_t now = g_probe.frames.load();
              ASSERT_TRUE(WaitUntil([=] { return g_probe.frames.load() > now + 3; }));
              EXPECT_EQ(g_probe.pressed.load(), 0u);
            }),
            0);
}

TEST_F(SdlWindow, F12WritesPicturesThatReadBack) {
  EXPECT_EQ(Run([this] {
              TapKey(SDLK_F12);
              ASSERT_TRUE(WaitUntil([] { return HostWindow_Status().pictures == 1; }));
              TapKey(SDLK_F12);
              ASSERT_TRUE(WaitUntil([] { return HostWindow_Status().pictures == 2; }));
              for (const char* name : {"vexa-0001.png", "vexa-0002.png"}) {
                VImageCapture picture;
                ASSERT_TRUE(ProbeReadPicture(folder + name, &picture)) << name;
                // Above the mark, one of the probe's backgrounds; then the mark.
                uint32_t background = picture.At(0, 0) & 0xFFFFFF;
                EXPECT_NE(std::find(std::begin(PROBE_BACKGROUNDS), std::end(PROBE_BACKGROUNDS), background),
                          std::end(PROBE_BACKGROUNDS));
                EXPECT_EQ(picture.At(int32_t(HOST_FB_WIDTH) - 1, PROBE_MARK.top - 1) & 0xFFFFFF, background);
                EXPECT_EQ(picture.At(PROBE_MARK.left, PROBE_MARK.top) & 0xFFFFFF, PROBE_MARKCOLOUR);
                EXPECT_EQ(picture.At(PROBE_MARK.right - 1, PROBE_MARK.bottom - 1) & 0xFFFFFF, PROBE_MARKCOLOUR);
              }
            }),
            0);
}

TEST_F(SdlWindow, KeysReachTheHandheldButtons) {
  struct Case {
    std::vector<SDL_Keycode> keys;
    uint32_t codes;  // what the game is told went down
  };
  const std::vector<Case> cases = {
      {{SDLK_UP}, Bits({UP})},
      {{SDLK_KP_2}, Bits({DOWN})},
      {{SDLK_UP, SDLK_LEFT}, Bits({UP, LEFT})},  // the stick's up-left, which the framework splits
      {{SDLK_KP_3}, Bits({DOWN, RIGHT})},
      {{SDLK_LEFT, SDLK_RIGHT, SDLK_DOWN}, Bits({DOWN})},  // opposite keys cancel
      {{SDLK_a}, Bits({A})},
      {{SDLK_b}, Bits({B})},
      {{SDLK_SPACE}, Bits({B})},
      {{SDLK_x}, Bits({X})},
      {{SDLK_y}, Bits({Y})},
      {{SDLK_l}, Bits({L})},
      {{SDLK_PAGEDOWN}, Bits({R})},
      {{SDLK_RETURN}, Bits({START})},
      {{SDLK_ESCAPE}, Bits({SELECT})},
      {{SDLK_MINUS}, Bits({VOLUMEDOWN})},
      {{SDLK_KP_PLUS}, Bits({VOLUMEUP})},
      {{SDLK_KP_5}, Bits({STICK})},
  };
  EXPECT_EQ(Run([&] {
              for (const Case& c : cases) {
                ForgetButtons();
                for (SDL_Keycode key : c.keys) PushKey(key, true);
                EXPECT_TRUE(WaitForPresses(c.codes)) << SDL_GetKeyName(c.keys[0]) << ": " << g_probe.pressed.load();
                for (SDL_Keycode key : c.keys) PushKey(key, false);
                EXPECT_TRUE(WaitForReleases(c.codes)) << SDL_GetKeyName(c.keys[0]);
              }
            }),
            0);
}

TEST_F(SdlWindow, HotPluggedControllerButtonsAndStickReachTheHandheldButtons) {
  struct Case {
    std::vector<SDL_GameControllerButton> buttons;
    int16_t x, y;  // left stick
    uint32_t codes;
  };
  const std::vector<Case> cases = {
      {{SDL_CONTROLLER_BUTTON_B}, 0, 0, Bits({B})},
      {{SDL_CONTROLLER_BUTTON_X}, 0, 0, Bits({A})},
      {{SDL_CONTROLLER_BUTTON_A}, 0, 0, Bits({X})},
      {{SDL_CONTROLLER_BUTTON_Y, SDL_CONTROLLER_BUTTON_START}, 0, 0, Bits({Y, START})},
      {{SDL_CONTROLLER_BUTTON_LEFTSHOULDER}, 0, 0, Bits({L})},
      {{SDL_CONTROLLER_BUTTON_DPAD_DOWN}, 0, 0, Bits({DOWN})},
      {{}, -32767, -32767, Bits({UP, LEFT})},
      {{}, 32767, 0, Bits({RIGHT})},
      {{}, 8000, 8000, 0},  // inside the dead zone
  };
  EXPECT_EQ(Run([&] {
              int device = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, SDL_CONTROLLER_AXIS_MAX,
                                                     SDL_CONTROLLER_BUTTON_MAX, 0);
              ASSERT_GE(device, 0) << SDL_GetError();
              SDL_Joystick* joystick = SDL_JoystickOpen(device);
              ASSERT_NE(joystick, nullptr) << SDL_GetError();
              for (int trigger : {SDL_CONTROLLER_AXIS_TRIGGERLEFT, SDL_CONTROLLER_AXIS_TRIGGERRIGHT})
                SDL_JoystickSetVirtualAxis(joystick, trigger, -32768);  // at rest
              EXPECT_TRUE(WaitUntil([] { return HostWindow_Status().controllers == 1; }));
              for (const Case& c : cases) {
                ForgetButtons();
                for (SDL_GameControllerButton button : c.buttons) SDL_JoystickSetVirtualButton(joystick, button, 1);
                SDL_JoystickSetVirtualAxis(joystick, SDL_CONTROLLER_AXIS_LEFTX, c.x);
                SDL_JoystickSetVirtualAxis(joystick, SDL_CONTROLLER_AXIS_LEFTY, c.y);
                if (c.codes == 0) {
                  uint32_t now = g_probe.frames.load();
                  ASSERT_TRUE(WaitUntil([=] { return g_probe.frames.load() > now + 10; }));
                }
                EXPECT_TRUE(WaitForPresses(c.codes))
                    << "case " << (&c - cases.data()) << ": " << g_probe.pressed.load();
                for (SDL_GameControllerButton button : c.buttons) SDL_JoystickSetVirtualButton(joystick, button, 0);
                SDL_JoystickSetVirtualAxis(joystick, SDL_CONTROLLER_AXIS_LEFTX, 0);
                SDL_JoystickSetVirtualAxis(joystick, SDL_CONTROLLER_AXIS_LEFTY, 0);
                EXPECT_TRUE(WaitForReleases(c.codes)) << "case " << (&c - cases.data());
              }
              // Unplugged while a button is held: the button comes up.
              ForgetButtons();
              SDL_JoystickSetVirtualButton(joystick, SDL_CONTROLLER_BUTTON_BACK, 1);
              EXPECT_TRUE(WaitForPresses(Bits({SELECT})));
              SDL_JoystickClose(joystick);
              SDL_JoystickDetachVirtual(device);
              EXPECT_TRUE(WaitUntil([] { return HostWindow_Status().controllers == 0; }));
              EXPECT_TRUE(WaitForReleases(Bits({SELECT})));
            }),
            0);
}

TEST_F(SdlWindow, ClosingTheWindowEndsTheRunThroughTheExitSteps) {
  for (uint32_t type : {uint32_t(SDL_WINDOWEVENT), uint32_t(SDL_QUIT)}) {
    HostDevices_Reset();
    g_probe.Reset();
    std::atomic<uint32_t> shown{0};
    EXPECT_EQ(Run([&] {
                SDL_Event event{};
                event.type = type;
                event.window.event = SDL_WINDOWEVENT_CLOSE;
                SDL_PushEvent(&event);
                EXPECT_TRUE(WaitUntil([] { return !HostWindow_Status().open; })) << "the window stayed open";
                shown.store(g_probe.frames.load());
              }),
              0);
    EXPECT_EQ(g_probe.exits.load(), 1u);
    EXPECT_EQ(g_probe.frames.load(), shown.load());  // nothing ran after the window closed
  }
}

TEST_F(SdlWindow, WithoutAnAudioDeviceTheGameRunsSilentlyAfterOneNotice) {
  struct Case {
    const char* driver;
    size_t notices;
  };
  for (const Case& c : {Case{"dummy", 0}, Case{"no-such-audio", 1}}) {
    HostDevices_Reset();
    g_probe.Reset();
    g_probe.opensound = true;
    setenv("SDL_AUDIODRIVER", c.driver, 1);
    options.frames = 30;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Run([] { WaitUntil([] { return !HostWindow_Status().open; }); }), 0);
    std::string errors = ::testing::internal::GetCapturedStderr();
    size_t notices = 0;
    for (size_t at = errors.find("no audio device"); at != std::string::npos;
         at = errors.find("no audio device", at + 1))
      notices++;
    EXPECT_EQ(notices, c.notices) << c.driver << ": " << errors;
    EXPECT_EQ(g_probe.frames.load(), 30u) << c.driver;
    EXPECT_GT(HostDevices_DspState().byteswritten, 0u) << c.driver << ": the sound did not run";
  }
}

TEST(SdlWindowView, PictureTakesTheLargestWholeFactorCentred) {
  struct Case {
    int32_t width, height;
    HOSTVIEW view;
  };
  const Case cases[] = {
      {320, 240, {0, 0, 320, 240}},     {640, 480, {0, 0, 640, 480}},     {1920, 1080, {320, 60, 1280, 960}},
      {1000, 240, {340, 0, 320, 240}},  {639, 479, {159, 119, 320, 240}}, {2000, 1000, {360, 20, 1280, 960}},
      {200, 100, {-60, -70, 320, 240}},  // smaller than the picture: its middle shows
  };
  for (const Case& c : cases) {
    HOSTVIEW view = HostWindow_Fit(c.width, c.height);
    EXPECT_EQ(view.x, c.view.x) << c.width << "x" << c.height;
    EXPECT_EQ(view.y, c.view.y) << c.width << "x" << c.height;
    EXPECT_EQ(view.width, c.view.width) << c.width << "x" << c.height;
    EXPECT_EQ(view.height, c.view.height) << c.width << "x" << c.height;
  }
}

TEST(SdlWindowView, DirectionsBecomeTheOneStickBitTheHandheldReports) {
  struct Case {
    HOSTPAD pad;
    uint32_t word;
  };
  const Case cases[] = {
      {{false, false, false, false, 0}, 0},
      {{true, false, false, false, 0}, Bits({1})},
      {{true, false, true, false, 0}, Bits({2})},  // up-left
      {{false, false, true, false, 0}, Bits({3})},
      {{false, true, true, false, 0}, Bits({4})},  // down-left
      {{false, true, false, false, 0}, Bits({5})},
      {{false, true, false, true, 0}, Bits({6})},  // down-right
      {{false, false, false, true, 0}, Bits({7})},
      {{true, false, false, true, 0}, Bits({8})},  // up-right
      {{true, true, false, false, 0}, 0},          // opposites cancel
      {{true, true, true, false, 0}, Bits({3})},
      {{true, true, true, true, 0}, 0},
      {{true, false, false, false, Bits({B, VOLUMEUP})}, Bits({1, B, VOLUMEUP})},
  };
  for (const Case& c : cases) EXPECT_EQ(HostWindow_ButtonWord(c.pad), c.word) << (&c - cases);
}

}  // namespace
