// app.cpp - the game's application object: configuration, start-up,
// the frame with its event routing, and the exit.
//
// Depends on: game/app.h, the four screens, framework/vmod_vtimer.h (the
// clock seed), resources/vmod_file.h (recordings), util/vmod_memory.h.
#include "game/app.h"

#include <new>

#include "framework/vmod_vtimer.h"
#include "game/gui.h"
#include "game/level.h"
#include "game/loader.h"
#include "game/title.h"
#include "resources/vmod_file.h"
#include "util/vmod_memory.h"

namespace {

// Buttons the game adds to the menu and alternate actions.
constexpr uint16_t BUTTON_START = 9;
constexpr uint16_t BUTTON_SELECT = 10;
constexpr uint16_t BUTTON_X = 15;

// The overlay's bar ends two lines above the bottom of the screen; the
// active module draws only above it.
constexpr int32_t OVERLAY_BARBOTTOM = 238;
constexpr int32_t MENUBAR_STRIPS = 8;

// The framework's configuration for the game.
constexpr uint32_t GAME_MAXFPS = 60;
constexpr uint8_t GAME_DRIVERVIDEOTYPE = VideoType::Rgb565;  // the framebuffer's own format
constexpr uint8_t GAME_ORIENTATION = 5;      // landscape

}  // namespace

ClassMain::ClassMain(const VEXADATA* data) : ClassVexa(data) {}

ClassMain::~ClassMain() {
  // The screens go first: they may still refer to the shared surfaces,
  // which the shared state's own destruction frees afterwards.
  for (ClassModule*& module : modules) {
    delete module;
    module = nullptr;
  }
}

int ClassMain::OnCreate(VEXACONFIG* config, VEXADATA* /*data*/) {
  config->width = GAME_WIDTH;
  config->height = GAME_HEIGHT;
  config->drivervideotype = GAME_DRIVERVIDEOTYPE;
  config->orientation = GAME_ORIENTATION;
  config->dspflags = VEXA_DSPFLAG_WAITVBLANK | VEXA_DSPFLAG_NOFONT;
  config->maxfps = GAME_MAXFPS;
  config->numconnections = 0;
  config->idlesleep = 0;
  config->reserved5 = 0;
  config->reserved8 = 0;
  config->reserved11 = 0;
  config->surfacetype = 1;
  config->reserved6 = 1;
  config->fullscreen = 1;
  config->reserved9 = 1;
  config->reserved10 = 1;
  config->suspendinactive = 1;
  return 0;
}

int ClassMain::OnInit(int /*launchparam*/) {
  shared.vcd = GetVCD();
  shared.player = &shared.playerrecord;
  const PLATFORM_OPTIONS* options = Platform_GetOptions();
  math.SetRandSeed(options->hasseed ? options->seed : ClassVRTimer::Count());
  shared.ResetParticles();
  if (!InitModules()) {
    SetErrorMsg("Error: not enough memory available");
    return 1;
  }
  input.AddKeyMapping(ACTION_MENU, {BUTTON_START, BUTTON_SELECT});
  input.AddKeyMapping(ACTION_ALT, BUTTON_X);
  // Without a sound device the game runs silently: every sound call is then a no-op.
  sound.Open();
  return StartInputRecording(*options);
}

bool ClassMain::InitModules() {
  for (uint32_t index = 0; index < MODULE_COUNT; index++) modules[index] = CreateModule(index);
  for (ClassModule* module : modules) {
    if (module == nullptr) return false;
    module->LinkShared(&shared);
  }
  return true;
}

ClassModule* ClassMain::CreateModule(uint32_t index) {
  switch (index) {
    case MODULE_LOADER:
      return new (std::nothrow) ClassLoader;
    case MODULE_TITLE:
      return new (std::nothrow) ClassTitle;
    case MODULE_LEVEL:
      return new (std::nothrow) ClassLevel;
    case MODULE_GUI:
      return new (std::nothrow) ClassGui;
    default:
      return nullptr;
  }
}

int ClassMain::OnMinimize() {
  // The overlay hears of it even while hidden: it pauses a running game.
  ForwardToScreens([](ClassModule* module) { module->OnMinimize(); }, true);
  return 0;
}

int ClassMain::OnRestore() {
  ForwardToScreens([](ClassModule* module) { module->OnRestore(); }, true);
  return 0;
}

int ClassMain::OnDisplayInit(int /*launchparam*/, ClassVDisplay* screen) {
  V2DSurface* backbuffer = screen->GetBackBuffer();
  if (backbuffer->GetWidth() != static_cast<int32_t>(GAME_WIDTH) ||
      backbuffer->GetHeight() != static_cast<int32_t>(GAME_HEIGHT)) {
    SetErrorMsg("Wrong resolution");
    return 1;
  }
  return 0;
}

int ClassMain::OnNextFrame(ClassVDisplay* screen, unsigned long elapsed) {
  const unsigned long t = FrameTime(elapsed);
  DispatchKeyEvents();
  V2DSurface* backbuffer = screen->GetBackBuffer();
  ClipForOverlay(backbuffer);
  if (ClassModule* active = ActiveModule()) {
    active->OnNextFrame(backbuffer, &shared.activemodule, &shared.modulestatus, t);
  }
  shared.HandleParticles(static_cast<uint32_t>(t));
  if (!shared.guihidden) shared.RenderParticles(backbuffer);
  backbuffer->SetClipper(nullptr);
  if (ClassModule* overlay = ShownOverlay()) {
    overlay->OnNextFrame(backbuffer, &shared.activemodule, &shared.modulestatus, t);
  }
  if (shared.activemodule >= MODULE_COUNT) Quit();
  if (shared.modulestatus == MODULESTATUS_FATAL) {
    // A module may have filled the whole text; it ends inside its field.
    shared.errortext[SHARED_ERRORTEXTSIZE - 1] = '\0';
    SetErrorMsg(shared.errortext);
    Quit();
    return 1;
  }
  if (shared.minimizerequest) {
    shared.minimizerequest = 0;
    Minimize();
  }
  return 0;
}

int ClassMain::OnExit(int launchparam) {
  // Until the settings are loaded the block holds only defaults, which
  // must not replace the player's scores.
  if (shared.CfgLoaded()) shared.SaveCfg();
  const char* record = Platform_GetOptions()->record;
  if (record != nullptr) SaveRecording(record);
  return ClassVexa::OnExit(launchparam);
}

void ClassMain::OnButtonDown(unsigned long /*button*/, VBUTTONLIST* /*list*/) {}

void ClassMain::OnButtonUp(unsigned long button, VBUTTONLIST* list) {
  ForwardToScreens([=](ClassModule* module) { module->OnButtonUp(button, list); }, false);
}

void ClassMain::OnWheel(long direction) {
  ForwardToScreens([=](ClassModule* module) { module->OnWheel(direction); }, false);
}

void ClassMain::OnStylusUp(tagPOINT point) {
  ForwardToScreens([=](ClassModule* module) { module->OnStylusUp(point); }, false);
}

void ClassMain::OnStylusDown(tagPOINT point) {
  ForwardToScreens([=](ClassModule* module) { module->OnStylusDown(point); }, false);
}

void ClassMain::OnStylusMove(tagPOINT point) {
  ForwardToScreens([=](ClassModule* module) { module->OnStylusMove(point); }, false);
}

ClassModule* ClassMain::ActiveModule() const {
  return shared.activemodule < MODULE_COUNT ? modules[shared.activemodule] : nullptr;
}

ClassModule* ClassMain::ShownOverlay() const {
  return shared.guihidden == 0 && shared.guiactive != 0 ? modules[MODULE_GUI] : nullptr;
}

template <typename Call>
void ClassMain::ForwardToScreens(Call call, bool hiddenoverlay) {
  if (ClassModule* active = ActiveModule()) call(active);
  ClassModule* overlay = hiddenoverlay ? modules[MODULE_GUI] : ShownOverlay();
  if (overlay != nullptr) call(overlay);
}

unsigned long ClassMain::FrameTime(unsigned long elapsed) {
  if (shared.resetdelta) {
    shared.resetdelta = 0;
    return 0;
  }
  return elapsed > GAME_MAXFRAMETIME ? GAME_MAXFRAMETIME : elapsed;
}

void ClassMain::DispatchKeyEvents() {
  // Blocked events stay queued until the frame drops them: they are lost.
  if (shared.inputblocked) return;
  V_INPUTEVENT event;
  while (input.GetKeyEvent(&event)) {
    if (event.type != INPUTEVENT_PRESS && event.type != INPUTEVENT_REPEAT) continue;
    const bool repeat = event.type == INPUTEVENT_REPEAT;
    ForwardToScreens([&](ClassModule* module) { module->OnButtonDown(event.code, GetButtonList(), repeat); },
                     false);
    if (event.code == ACTION_VOLUME_UP || event.code == ACTION_VOLUME_DOWN) {
      shared.ChangeVolume(event.code == ACTION_VOLUME_UP);
    }
  }
}

void ClassMain::ClipForOverlay(V2DSurface* backbuffer) {
  // The loading screen draws under no bar.
  if (ShownOverlay() == nullptr || shared.activemodule == MODULE_LOADER) return;
  const tagRECT above = {0, 0, static_cast<int32_t>(GAME_WIDTH),
                         OVERLAY_BARBOTTOM - shared.surface.menubar.GetHeight() / MENUBAR_STRIPS};
  backbuffer->SetClipper(&above);
}

int ClassMain::StartInputRecording(const PLATFORM_OPTIONS& options) {
  // A playback would be recorded with the seed of this run, not its own.
  if (options.replay != nullptr && options.record != nullptr) {
    SetErrorMsg("The input recording cannot be made while one is played back");
    return 1;
  }
  if (options.replay != nullptr && !StartReplay(options.replay)) {
    SetErrorMsg("The input recording cannot be played back");
    return 1;
  }
  if (options.record != nullptr && !StartRecording()) {
    SetErrorMsg("Error: not enough memory available");
    return 1;
  }
  return 0;
}

bool ClassMain::StartReplay(const char* path) {
  ClassVFile file;
  if (!file.Open(path, VFILE_MODE_READ)) return false;
  const uint32_t size = file.Size();
  uint8_t* buffer = static_cast<uint8_t*>(ClassVMemory::Alloc(size));
  const bool read = buffer != nullptr && file.Read(buffer, size);
  file.Close();
  // The playback checks the header and each record against the size.
  const bool started = read && StartPlayback(buffer, size);
  ClassVMemory::DeAlloc(buffer);
  return started;
}

void ClassMain::SaveRecording(const char* path) {
  uint32_t size = 0;
  const uint8_t* recording = GetRecording(size);
  if (recording == nullptr) return;
  ClassVFile file;
  const bool written = file.New(path) && file.Write(recording, size);
  file.Close();
  if (!written) SetErrorMsg("The input recording cannot be written");
}
