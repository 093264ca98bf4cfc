// sdl_window.cpp - the SDL2 window, its controls and the game's thread.
#include "platform/host/sdl_window.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include <SDL.h>
#include <pthread.h>
#include <unistd.h>

#include "framework/vexa.h"
#include "platform/host/host_audio.h"
#include "platform/host/host_devices.h"
#include "platform/host/host_run.h"
#include "platform/host/host_screenshot.h"
#include "platform/platform.h"

namespace {

constexpr uint32_t DEFAULT_SCALE = 3;
constexpr int16_t STICK_DEADZONE = 16384;  // half the travel: resting thumbs do not move the cursor
constexpr int16_t TRIGGER_PRESSED = 16384;
constexpr uint32_t WAIT_MILLISECONDS = 100;  // longest sleep of the window thread between events
constexpr uint32_t MAX_PICTURES = 9999;      // F12 picture names run vexa-0001.png .. vexa-9999.png
constexpr const char* WINDOW_TITLE = "Vexa Puzzle";

// Button codes of the handheld (bit code - 1 of the button word).
constexpr uint8_t BUTTON_UP = 1, BUTTON_UPLEFT = 2, BUTTON_LEFT = 3, BUTTON_DOWNLEFT = 4, BUTTON_DOWN = 5,
                  BUTTON_DOWNRIGHT = 6, BUTTON_RIGHT = 7, BUTTON_UPRIGHT = 8, BUTTON_START = 9, BUTTON_SELECT = 10,
                  BUTTON_L = 11, BUTTON_R = 12, BUTTON_A = 13, BUTTON_B = 14, BUTTON_X = 15, BUTTON_Y = 16,
                  BUTTON_VOLUMEDOWN = 23, BUTTON_VOLUMEUP = 24, BUTTON_STICK = 28;

constexpr uint32_t Bit(uint8_t code) { return 1u << (code - 1); }

// Directions a control pushes.
constexpr uint8_t GO_UP = 1, GO_DOWN = 2, GO_LEFT = 4, GO_RIGHT = 8;

struct KEYBINDING {
  SDL_Keycode key;
  uint8_t directions;
  uint8_t button;  // 0: directions only
};

constexpr KEYBINDING KEY_BINDINGS[] = {
    {SDLK_UP, GO_UP, 0},
    {SDLK_DOWN, GO_DOWN, 0},
    {SDLK_LEFT, GO_LEFT, 0},
    {SDLK_RIGHT, GO_RIGHT, 0},
    {SDLK_KP_8, GO_UP, 0},
    {SDLK_KP_2, GO_DOWN, 0},
    {SDLK_KP_4, GO_LEFT, 0},
    {SDLK_KP_6, GO_RIGHT, 0},
    {SDLK_KP_7, GO_UP | GO_LEFT, 0},
    {SDLK_KP_9, GO_UP | GO_RIGHT, 0},
    {SDLK_KP_1, GO_DOWN | GO_LEFT, 0},
    {SDLK_KP_3, GO_DOWN | GO_RIGHT, 0},
    {SDLK_KP_5, 0, BUTTON_STICK},
    {SDLK_a, 0, BUTTON_A},
    {SDLK_b, 0, BUTTON_B},
    {SDLK_SPACE, 0, BUTTON_B},
    {SDLK_x, 0, BUTTON_X},
    {SDLK_y, 0, BUTTON_Y},
    {SDLK_l, 0, BUTTON_L},
    {SDLK_PAGEUP, 0, BUTTON_L},
    {SDLK_r, 0, BUTTON_R},
    {SDLK_PAGEDOWN, 0, BUTTON_R},
    {SDLK_RETURN, 0, BUTTON_START},
    {SDLK_KP_ENTER, 0, BUTTON_START},
    {SDLK_ESCAPE, 0, BUTTON_SELECT},
    {SDLK_BACKSPACE, 0, BUTTON_SELECT},
    {SDLK_MINUS, 0, BUTTON_VOLUMEDOWN},
    {SDLK_KP_MINUS, 0, BUTTON_VOLUMEDOWN},
    {SDLK_VOLUMEDOWN, 0, BUTTON_VOLUMEDOWN},
    {SDLK_EQUALS, 0, BUTTON_VOLUMEUP},
    {SDLK_PLUS, 0, BUTTON_VOLUMEUP},
    {SDLK_KP_PLUS, 0, BUTTON_VOLUMEUP},
    {SDLK_VOLUMEUP, 0, BUTTON_VOLUMEUP},
};
constexpr size_t KEY_BINDING_COUNT = sizeof(KEY_BINDINGS) / sizeof(KEY_BINDINGS[0]);

struct PADBINDING {
  SDL_GameControllerButton control;
  uint8_t directions;
  uint8_t button;
};

// Face buttons by their place: the handheld has A on the left, B on the
// right, X below and Y above.
constexpr PADBINDING PAD_BINDINGS[] = {
    {SDL_CONTROLLER_BUTTON_DPAD_UP, GO_UP, 0},
    {SDL_CONTROLLER_BUTTON_DPAD_DOWN, GO_DOWN, 0},
    {SDL_CONTROLLER_BUTTON_DPAD_LEFT, GO_LEFT, 0},
    {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, GO_RIGHT, 0},
    {SDL_CONTROLLER_BUTTON_X, 0, BUTTON_A},
    {SDL_CONTROLLER_BUTTON_B, 0, BUTTON_B},
    {SDL_CONTROLLER_BUTTON_A, 0, BUTTON_X},
    {SDL_CONTROLLER_BUTTON_Y, 0, BUTTON_Y},
    {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, 0, BUTTON_L},
    {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, 0, BUTTON_R},
    {SDL_CONTROLLER_BUTTON_START, 0, BUTTON_START},
    {SDL_CONTROLLER_BUTTON_BACK, 0, BUTTON_SELECT},
    {SDL_CONTROLLER_BUTTON_LEFTSTICK, 0, BUTTON_STICK},
};

struct TRIGGERBINDING {
  SDL_GameControllerAxis axis;
  uint8_t button;
};

constexpr TRIGGERBINDING TRIGGER_BINDINGS[] = {
    {SDL_CONTROLLER_AXIS_TRIGGERLEFT, BUTTON_VOLUMEDOWN},
    {SDL_CONTROLLER_AXIS_TRIGGERRIGHT, BUTTON_VOLUMEUP},
};

// The stick bit for each vertical (none, up, down) and horizontal (none,
// left, right) push.
constexpr uint8_t STICK_CODES[3][3] = {
    {0, BUTTON_LEFT, BUTTON_RIGHT},
    {BUTTON_UP, BUTTON_UPLEFT, BUTTON_UPRIGHT},
    {BUTTON_DOWN, BUTTON_DOWNLEFT, BUTTON_DOWNRIGHT},
};

struct WindowStatus {
  std::atomic<bool> open{false};
  std::atomic<bool> fullscreen{false};
  std::atomic<uint32_t> controllers{0};
  std::atomic<uint32_t> pictures{0};
};
WindowStatus g_status;

void Push(HOSTPAD* pad, uint8_t directions, uint8_t button) {
  pad->up |= (directions & GO_UP) != 0;
  pad->down |= (directions & GO_DOWN) != 0;
  pad->left |= (directions & GO_LEFT) != 0;
  pad->right |= (directions & GO_RIGHT) != 0;
  if (button) pad->buttons |= Bit(button);
}

// One step of the stick: 0 none, 1 towards up or left, 2 towards down or right.
int StickStep(bool towardsstart, bool towardsend) {
  if (towardsstart == towardsend) return 0;
  return towardsstart ? 1 : 2;
}

void ReadController(SDL_GameController* controller, HOSTPAD* pad) {
  for (const PADBINDING& binding : PAD_BINDINGS) {
    if (SDL_GameControllerGetButton(controller, binding.control)) Push(pad, binding.directions, binding.button);
  }
  int16_t x = SDL_GameControllerGetAxis(controller, SDL_CONTROLLER_AXIS_LEFTX);
  int16_t y = SDL_GameControllerGetAxis(controller, SDL_CONTROLLER_AXIS_LEFTY);
  Push(pad,
       uint8_t((y < -STICK_DEADZONE ? GO_UP : 0) | (y > STICK_DEADZONE ? GO_DOWN : 0) |
               (x < -STICK_DEADZONE ? GO_LEFT : 0) | (x > STICK_DEADZONE ? GO_RIGHT : 0)),
       0);
  for (const TRIGGERBINDING& binding : TRIGGER_BINDINGS) {
    if (SDL_GameControllerGetAxis(controller, binding.axis) > TRIGGER_PRESSED) Push(pad, 0, binding.button);
  }
}

// SDL falls back to drivers that show nothing when no display answers;
// those count as a display only when asked for by name.
bool ShowsNothing(const char* driver) {
  const char* asked = std::getenv("SDL_VIDEODRIVER");
  bool invisible = driver && (SDL_strcasecmp(driver, "offscreen") == 0 || SDL_strcasecmp(driver, "dummy") == 0);
  return invisible && !(asked && SDL_strcasecmp(asked, driver) == 0);
}

bool FileExists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

// The first free picture name in folder (the current one when empty).
std::string FreePicturePath(const std::string& folder) {
  std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  for (uint32_t number = 1; number <= MAX_PICTURES; number++) {
    char name[32];
    std::snprintf(name, sizeof name, "vexa-%04u.png", number);
    if (!FileExists(prefix + name)) return prefix + name;
  }
  return std::string();
}

class HostSdlWindow {
 public:
  explicit HostSdlWindow(const HOSTOPTIONS& options) : options(options), run(options) {}
  ~HostSdlWindow() { Close(); }
  HostSdlWindow(const HostSdlWindow&) = delete;
  HostSdlWindow& operator=(const HostSdlWindow&) = delete;

  bool Open(std::string* reason);
  int Run();

 private:
  // Window thread: the event handlers.
  void OnEvent(const SDL_Event& event);
  void OnKey(const SDL_KeyboardEvent& key, bool down);
  void OnWindowEvent(const SDL_WindowEvent& window);
  void OnControllerAdded(int32_t device);
  void OnControllerRemoved(SDL_JoystickID id);
  void OnFrame();

  bool StartSdl(std::string* reason);
  bool OpenWindow(std::string* reason);
  bool OnWindowKey(const SDL_KeyboardEvent& key);  // F11, Alt+Enter, F12; true when taken
  void ToggleFullscreen();
  void SavePicture();
  void PublishButtons();
  void Draw();
  void Close();
  uint32_t ChooseScale() const;

  // Game thread: the framework's run and its two hooks.
  static void* RunGame(void* user);
  static void PresentHook(const uint16_t* pixels, void* user);
  static void PollHook(void* user);

  const HOSTOPTIONS& options;
  HostRun run;
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;
  bool sdlstarted = false;
  uint32_t frameevent = 0;     // a new frame waits in `frame`
  uint32_t finishedevent = 0;  // the game's run has ended
  bool keyheld[KEY_BINDING_COUNT] = {};
  std::vector<SDL_GameController*> controllers;

  // Shared between the two threads.
  std::mutex framelock;
  std::vector<uint16_t> frame = std::vector<uint16_t>(size_t(HOST_FB_WIDTH) * HOST_FB_HEIGHT);
  std::atomic<bool> framepending{false};
  std::atomic<uint32_t> buttons{0};
  std::atomic<bool> finished{false};
};

bool HostSdlWindow::Open(std::string* reason) {
  if (!StartSdl(reason) || !OpenWindow(reason)) {
    Close();
    return false;
  }
  // A renderer may re-create the window, which hides and shows it again:
  // none of that is the user's doing.
  SDL_PumpEvents();
  SDL_FlushEvent(SDL_WINDOWEVENT);
  g_status.fullscreen.store((SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN) != 0);
  g_status.open.store(true);
  Draw();
  return true;
}

bool HostSdlWindow::StartSdl(std::string* reason) {
  // Ctrl+C and SIGTERM are the host entry's: they end the run through Quit.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // The game pauses without the focus itself; controllers are not cut off too.
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    *reason = SDL_GetError();
    return false;
  }
  sdlstarted = true;
  if (ShowsNothing(SDL_GetCurrentVideoDriver())) {
    *reason = std::string("no display answers (SDL has only its ") + SDL_GetCurrentVideoDriver() + " driver)";
    return false;
  }
  if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0)
    std::fprintf(stderr, "%s: no game controllers (%s)\n", HOST_PROGRAM, SDL_GetError());
  frameevent = SDL_RegisterEvents(2);
  finishedevent = frameevent + 1;
  if (frameevent == uint32_t(-1)) *reason = SDL_GetError();
  return frameevent != uint32_t(-1);
}

bool HostSdlWindow::OpenWindow(std::string* reason) {
  uint32_t scale = options.scale ? options.scale : ChooseScale();
  uint32_t flags = SDL_WINDOW_RESIZABLE | (options.fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
  window = SDL_CreateWindow(WINDOW_TITLE, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, int(HOST_FB_WIDTH * scale),
                            int(HOST_FB_HEIGHT * scale), flags);
  if (window) renderer = SDL_CreateRenderer(window, -1, 0);
  if (renderer)
    texture = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB565, SDL_TEXTUREACCESS_STREAMING, int(HOST_FB_WIDTH),
                                int(HOST_FB_HEIGHT));
  if (!texture) {
    *reason = SDL_GetError();
    return false;
  }
  SDL_SetWindowMinimumSize(window, int(HOST_FB_WIDTH), int(HOST_FB_HEIGHT));
  return true;
}

int HostSdlWindow::Run() {
  std::string error;
  if (!run.Begin(&error)) {
    std::fprintf(stderr, "%s: %s\n", HOST_PROGRAM, error.c_str());
    return 1;
  }
  char notice[256];
  if (!HostAudio_PlayThroughSdl(notice, sizeof notice)) std::fprintf(stderr, "%s\n", notice);
  HostDevices_SetPresentHook(PresentHook, this);
  HostDevices_SetPollHook(PollHook, this);
  pthread_t game;
  int started = pthread_create(&game, nullptr, RunGame, this);
  if (started != 0) {
    std::fprintf(stderr, "%s: cannot start the game's thread: %s\n", HOST_PROGRAM, std::strerror(started));
    finished.store(true);
  }
  while (!finished.load()) {
    SDL_Event event;
    if (SDL_WaitEventTimeout(&event, int(WAIT_MILLISECONDS))) OnEvent(event);
  }
  if (started == 0) pthread_join(game, nullptr);
  HostDevices_SetPresentHook(nullptr, nullptr);
  HostDevices_SetPollHook(nullptr, nullptr);
  HostAudio_Close();
  int status = run.End();
  return started == 0 ? status : 1;
}

void HostSdlWindow::OnEvent(const SDL_Event& event) {
  switch (event.type) {
    case SDL_QUIT: HostDevices_RequestQuit(true); break;
    case SDL_WINDOWEVENT: OnWindowEvent(event.window); break;
    case SDL_KEYDOWN: OnKey(event.key, true); break;
    case SDL_KEYUP: OnKey(event.key, false); break;
    case SDL_CONTROLLERDEVICEADDED: OnControllerAdded(event.cdevice.which); break;
    case SDL_CONTROLLERDEVICEREMOVED: OnControllerRemoved(event.cdevice.which); break;
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP:
    case SDL_CONTROLLERAXISMOTION: PublishButtons(); break;
    default:
      if (event.type == frameevent) OnFrame();
      break;
  }
}

void HostSdlWindow::OnKey(const SDL_KeyboardEvent& key, bool down) {
  if (down && OnWindowKey(key)) return;
  for (size_t i = 0; i < KEY_BINDING_COUNT; i++) {
    if (KEY_BINDINGS[i].key == key.keysym.sym) keyheld[i] = down;
  }
  PublishButtons();
}

void HostSdlWindow::OnWindowEvent(const SDL_WindowEvent& event) {
  switch (event.event) {
    case SDL_WINDOWEVENT_FOCUS_LOST:
      // Losing the focus on the way to the taskbar keeps the game minimised.
      if (Platform_WindowState() != PLATFORM_WINDOW_MINIMIZED) HostDevices_SetWindowState(PLATFORM_WINDOW_INACTIVE);
      break;
    case SDL_WINDOWEVENT_MINIMIZED:
    case SDL_WINDOWEVENT_HIDDEN: HostDevices_SetWindowState(PLATFORM_WINDOW_MINIMIZED); break;
    case SDL_WINDOWEVENT_SHOWN:
      if (Platform_WindowState() == PLATFORM_WINDOW_MINIMIZED) HostDevices_SetWindowState(PLATFORM_WINDOW_FOREGROUND);
      break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
    case SDL_WINDOWEVENT_RESTORED: HostDevices_SetWindowState(PLATFORM_WINDOW_FOREGROUND); break;
    case SDL_WINDOWEVENT_CLOSE: HostDevices_RequestQuit(true); break;
    case SDL_WINDOWEVENT_EXPOSED:
    case SDL_WINDOWEVENT_SIZE_CHANGED: Draw(); break;
    default: break;
  }
}

void HostSdlWindow::OnControllerAdded(int32_t device) {
  // Controllers present at start are announced again once the subsystem runs.
  if (SDL_GameControllerFromInstanceID(SDL_JoystickGetDeviceInstanceID(device))) return;
  SDL_GameController* controller = SDL_GameControllerOpen(device);
  if (!controller) {
    std::fprintf(stderr, "%s: cannot use the game controller: %s\n", HOST_PROGRAM, SDL_GetError());
    return;
  }
  controllers.push_back(controller);
  g_status.controllers.store(uint32_t(controllers.size()));
  PublishButtons();
}

void HostSdlWindow::OnControllerRemoved(SDL_JoystickID id) {
  SDL_GameController* controller = SDL_GameControllerFromInstanceID(id);
  auto found = std::find(controllers.begin(), controllers.end(), controller);
  if (!controller || found == controllers.end()) return;
  SDL_GameControllerClose(controller);
  controllers.erase(found);
  g_status.controllers.store(uint32_t(controllers.size()));
  PublishButtons();
}

void HostSdlWindow::OnFrame() {
  framepending.store(false);
  {
    std::lock_guard<std::mutex> guard(framelock);
    SDL_UpdateTexture(texture, nullptr, frame.data(), int(HOST_FB_WIDTH * sizeof(uint16_t)));
  }
  Draw();
}

bool HostSdlWindow::OnWindowKey(const SDL_KeyboardEvent& key) {
  bool altenter = (key.keysym.sym == SDLK_RETURN || key.keysym.sym == SDLK_KP_ENTER) && (key.keysym.mod & KMOD_ALT);
  if (key.keysym.sym == SDLK_F11 || altenter) {
    if (!key.repeat) ToggleFullscreen();
    return true;
  }
  if (key.keysym.sym == SDLK_F12) {
    if (!key.repeat) SavePicture();
    return true;
  }
  return false;
}

void HostSdlWindow::ToggleFullscreen() {
  bool on = (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN) == 0;
  if (SDL_SetWindowFullscreen(window, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) != 0)
    std::fprintf(stderr, "%s: cannot switch full screen: %s\n", HOST_PROGRAM, SDL_GetError());
  g_status.fullscreen.store((SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN) != 0);
}

void HostSdlWindow::SavePicture() {
  std::vector<uint16_t> shown;
  {
    std::lock_guard<std::mutex> guard(framelock);
    shown = frame;
  }
  std::string path = FreePicturePath(options.picturefolder);
  std::string error = "every picture name is taken in " + options.picturefolder;
  if (!path.empty() && HostScreenshot_Write(path.c_str(), shown.data(), &error)) {
    g_status.pictures.fetch_add(1);
    std::printf("%s: picture written to %s\n", HOST_PROGRAM, path.c_str());
    return;
  }
  std::fprintf(stderr, "%s: %s\n", HOST_PROGRAM, error.c_str());
}

void HostSdlWindow::PublishButtons() {
  HOSTPAD pad{};
  for (size_t i = 0; i < KEY_BINDING_COUNT; i++) {
    if (keyheld[i]) Push(&pad, KEY_BINDINGS[i].directions, KEY_BINDINGS[i].button);
  }
  for (SDL_GameController* controller : controllers) ReadController(controller, &pad);
  buttons.store(HostWindow_ButtonWord(pad));
}

void HostSdlWindow::Draw() {
  int width = 0, height = 0;
  if (SDL_GetRendererOutputSize(renderer, &width, &height) != 0) return;
  HOSTVIEW view = HostWindow_Fit(width, height);
  SDL_Rect target{view.x, view.y, view.width, view.height};
  SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
  SDL_RenderClear(renderer);
  SDL_RenderCopy(renderer, texture, nullptr, &target);
  SDL_RenderPresent(renderer);
}

void HostSdlWindow::Close() {
  for (SDL_GameController* controller : controllers) SDL_GameControllerClose(controller);
  controllers.clear();
  if (texture) SDL_DestroyTexture(texture);
  if (renderer) SDL_DestroyRenderer(renderer);
  if (window) SDL_DestroyWindow(window);
  texture = nullptr;
  renderer = nullptr;
  window = nullptr;
  if (sdlstarted) SDL_Quit();
  sdlstarted = false;
  g_status.open.store(false);
  g_status.fullscreen.store(false);
  g_status.controllers.store(0);
}

uint32_t HostSdlWindow::ChooseScale() const {
  SDL_Rect usable{};
  if (SDL_GetDisplayUsableBounds(0, &usable) != 0) return DEFAULT_SCALE;
  uint32_t fits = uint32_t(std::min(usable.w / int(HOST_FB_WIDTH), usable.h / int(HOST_FB_HEIGHT)));
  return std::max(1u, std::min(DEFAULT_SCALE, fits));
}

void* HostSdlWindow::RunGame(void* user) {
  HostSdlWindow* self = static_cast<HostSdlWindow*>(user);
  VexaProcessMain();
  self->finished.store(true);
  SDL_Event event{};
  event.type = self->finishedevent;
  SDL_PushEvent(&event);
  return nullptr;
}

void HostSdlWindow::PresentHook(const uint16_t* pixels, void* user) {
  HostSdlWindow* self = static_cast<HostSdlWindow*>(user);
  self->run.OnPresent(pixels);
  {
    std::lock_guard<std::mutex> guard(self->framelock);
    std::memcpy(self->frame.data(), pixels, self->frame.size() * sizeof(uint16_t));
  }
  // One waiting frame event is enough: it draws whatever frame is newest.
  if (self->framepending.exchange(true)) return;
  SDL_Event event{};
  event.type = self->frameevent;
  SDL_PushEvent(&event);
}

void HostSdlWindow::PollHook(void* user) { HostDevices_SetButtons(static_cast<HostSdlWindow*>(user)->buttons.load()); }

}  // namespace

HOSTVIEW HostWindow_Fit(int32_t windowwidth, int32_t windowheight) {
  int32_t factor = std::max(1, std::min(windowwidth / int32_t(HOST_FB_WIDTH), windowheight / int32_t(HOST_FB_HEIGHT)));
  int32_t width = int32_t(HOST_FB_WIDTH) * factor, height = int32_t(HOST_FB_HEIGHT) * factor;
  return HOSTVIEW{(windowwidth - width) / 2, (windowheight - height) / 2, width, height};
}

uint32_t HostWindow_ButtonWord(const HOSTPAD& pad) {
  uint8_t stick = STICK_CODES[StickStep(pad.up, pad.down)][StickStep(pad.left, pad.right)];
  return pad.buttons | (stick ? Bit(stick) : 0);
}

HOSTWINDOWSTATUS HostWindow_Status() {
  return HOSTWINDOWSTATUS{g_status.open.load(), g_status.fullscreen.load(), g_status.controllers.load(),
                          g_status.pictures.load()};
}

bool HostWindow_DisplayExpected() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"}) {
    const char* value = std::getenv(name);
    if (value && value[0]) return true;
  }
  return false;
}

int HostWindow_Run(const HOSTOPTIONS& options, std::string* reason) {
  HostSdlWindow window(options);
  if (!window.Open(reason)) return HOST_WINDOW_NODISPLAY;
  return window.Run();
}
