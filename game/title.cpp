// title.cpp - the title screen and the exit picture.
//
// Depends on: game/title.h, game/loader.h (QuickLoadSurface), game/shared.h,
// audio/vmod_sound.h, input/vmod_input.h (actions).
#include "game/title.h"

#include "audio/vmod_sound.h"
#include "game/loader.h"
#include "game/shared.h"
#include "input/vmod_input.h"

namespace {

constexpr uint32_t TUNE_INGAME = 1;
constexpr uint32_t SOUND_CLICK_MODE = 1;
constexpr uint32_t SOUND_GAME = 13;
constexpr uint32_t SOUND_TARVOLOGO = 16;
constexpr uint32_t START_DELAY = 1000;       // ms from select to the play field
constexpr uint32_t EXIT_FADE = 2048;         // ms of the exit picture's fade-in
constexpr uint32_t EXIT_END = 18048;         // ms after which the exit picture ends the program
constexpr uint32_t EXIT_FADESHIFT = 11;      // timer x 255 >> 11: opacity over the fade
constexpr uint32_t MUSIC_FADEOUT = 1000;
constexpr uint32_t PULSE_PERIOD = 1024;
constexpr uint32_t MODULE_END = MODULE_COUNT; // the application ends on an index past its screens

// Where each mode's label lies on the title picture.
constexpr int32_t EASY_X = 161;
constexpr int32_t EASY_Y = 157;
constexpr int32_t TIMED_X = 240;
constexpr int32_t TIMED_Y = 156;

bool Inside(tagPOINT point, int32_t x, int32_t y, int32_t width, int32_t height) {
  return point.x >= x && point.x < x + width && point.y >= y && point.y < y + height;
}

}  // namespace

ClassVSound* ClassTitle::Sound() const {
  return shared != nullptr && shared->vcd != nullptr ? shared->vcd->sound : nullptr;
}

void ClassTitle::PlaySound(uint32_t slot) const {
  if (ClassVSound* sound = Sound()) sound->PlaySound(slot);
}

void ClassTitle::OnNextFrame(V2DSurface* backbuffer, uint32_t* activemodule, uint32_t* modulestatus,
                             unsigned long delta) {
  if (shared == nullptr) return;
  if (*modulestatus == MODULESTATUS_ENTER) {
    Enter();
    *modulestatus = MODULESTATUS_RUNNING;
    return;
  }
  if (*modulestatus == MODULESTATUS_EXIT) {
    if (!StartExit(backbuffer)) {
      *activemodule = MODULE_END;
      return;
    }
    *modulestatus = MODULESTATUS_RUNNING;
    return;
  }
  if (*modulestatus != MODULESTATUS_RUNNING) return;
  shared->guiactive = 1;
  const uint32_t t = static_cast<uint32_t>(delta);
  if (titlestate == TITLESTATE_EXIT) {
    RunExitPicture(backbuffer, t);
    if (timer >= EXIT_END) *activemodule = MODULE_END;
    return;
  }
  pulsetime += t;
  if (titlestate == TITLESTATE_STARTING) {
    if (t < timer) {
      timer -= t;
    } else {
      *activemodule = MODULE_LEVEL;
      *modulestatus = MODULESTATUS_ENTER;
    }
  }
  RenderAll(backbuffer);
}

void ClassTitle::Enter() {
  SHARED_SURFACE& s = shared->surface;
  ClassVDisplay* display = shared->vcd != nullptr ? shared->vcd->display : nullptr;
  // Without the picture the screen runs over the logo's gradient.
  ClassLoader::QuickLoadSurface(&s.background, "title.png", display);
  optionwidth = s.titleoption.GetWidth();
  optionheight = s.titleoption.GetHeight() / 2;
  stylusheld = 0;
  shared->resetdelta = 1;
  pulsetime = 0;
  titlestate = TITLESTATE_CHOOSING;
  if (ClassVSound* sound = Sound()) sound->PlayMusic(TUNE_INGAME, true, 0, 0);
}

bool ClassTitle::StartExit(V2DSurface* backbuffer) {
  SHARED_SURFACE& s = shared->surface;
  ClassVDisplay* display = shared->vcd != nullptr ? shared->vcd->display : nullptr;
  if (!ClassLoader::QuickLoadSurface(&s.advert, "advert.png", display)) return false;
  // The last screen stays frozen under the fade.
  s.background.BltFast(0, 0, backbuffer, nullptr);
  titlestate = TITLESTATE_EXIT;
  timer = 0;
  if (ClassVSound* sound = Sound()) sound->StopMusic(TUNE_INGAME, VSOUND_FADEOUT, MUSIC_FADEOUT);
  PlaySound(SOUND_TARVOLOGO);
  return true;
}

void ClassTitle::RunExitPicture(V2DSurface* backbuffer, uint32_t t) {
  SHARED_SURFACE& s = shared->surface;
  if (timer < EXIT_FADE) {
    timer = timer + t < EXIT_FADE ? timer + t : EXIT_FADE;
    backbuffer->BltFast(0, 0, &s.background, nullptr);
    backbuffer->BltFast(0, 0, &s.advert, nullptr, BlitFlags::Opacity, (timer * 255) >> EXIT_FADESHIFT);
    return;
  }
  if (timer == EXIT_FADE) backbuffer->BltFast(0, 0, &s.advert, nullptr);
  timer += t;
}

void ClassTitle::RenderAll(V2DSurface* surface) {
  SHARED_SURFACE& s = shared->surface;
  surface->BltFast(0, 0, &s.background, nullptr);
  const uint32_t p = pulsetime % PULSE_PERIOD;
  const uint32_t wave = p < PULSE_PERIOD / 2 ? p : PULSE_PERIOD - 1 - p;
  const uint32_t opacity = 255 - wave / 2;
  if (shared->player != nullptr && shared->player->mode == PLAYER_MODE_TIMED) {
    const tagRECT label = {0, optionheight, optionwidth, 2 * optionheight};
    surface->BltFast(TIMED_X, TIMED_Y, &s.titleoption, &label, BlitFlags::Opacity, opacity);
  } else {
    const tagRECT label = {0, 0, optionwidth, optionheight};
    surface->BltFast(EASY_X, EASY_Y, &s.titleoption, &label, BlitFlags::Opacity, opacity);
  }
}

bool ClassTitle::Choosing() const {
  return titlestate == TITLESTATE_CHOOSING && shared != nullptr && shared->guibusy == 0;
}

void ClassTitle::StartGame() {
  timer = START_DELAY;
  PlaySound(SOUND_GAME);
  titlestate = TITLESTATE_STARTING;
}

void ClassTitle::OnButtonDown(unsigned long action, VBUTTONLIST* /*list*/, bool repeat) {
  if (repeat || shared == nullptr) return;
  if (action == ACTION_LEFT || action == ACTION_RIGHT) OnWheel(action == ACTION_LEFT ? -1 : 1);
  if (Choosing()) {
    if (action == ACTION_SELECT) {
      StartGame();
    } else if (action == ACTION_ALT) {
      shared->modulestatus = MODULESTATUS_EXIT;
      shared->guihidden = 1;
      shared->activemodule = MODULE_TITLE;
    }
  } else if (titlestate == TITLESTATE_EXIT) {
    shared->activemodule = MODULE_END;
  }
}

void ClassTitle::OnWheel(long /*direction*/) {
  if (!Choosing() || shared->player == nullptr) return;
  PlaySound(SOUND_CLICK_MODE);
  shared->player->mode = shared->player->mode == PLAYER_MODE_EASY ? PLAYER_MODE_TIMED : PLAYER_MODE_EASY;
  pulsetime = 0;
}

void ClassTitle::TapLabel(tagPOINT point) {
  if (titlestate == TITLESTATE_EXIT) {
    shared->activemodule = MODULE_END;
    return;
  }
  if (!Choosing() || shared->player == nullptr) return;
  if (Inside(point, EASY_X, EASY_Y, optionwidth, optionheight)) {
    shared->player->mode = PLAYER_MODE_EASY;
    StartGame();
  } else if (Inside(point, TIMED_X, TIMED_Y, optionwidth, optionheight)) {
    shared->player->mode = PLAYER_MODE_TIMED;
    StartGame();
  }
}

void ClassTitle::OnStylusDown(tagPOINT point) {
  if (shared == nullptr) return;
  stylusheld = 1;
  TapLabel(point);
}

void ClassTitle::OnStylusMove(tagPOINT point) {
  if (shared != nullptr && stylusheld) TapLabel(point);
}

void ClassTitle::OnStylusUp(tagPOINT /*point*/) {
  stylusheld = 0;
}
