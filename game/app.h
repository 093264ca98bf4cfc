// app.h - the game's application object ClassMain: it sets the framework's
// configuration, owns the shared state and the four screens, and routes the
// framework's frames and input events to the active screen and to the menu
// overlay. Screens switch by writing the shared words activemodule and
// modulestatus; the switch takes effect on the next frame.
//
// On the host the parsed options can replace the clock seed, record the
// input of a run into a file at exit, or play such a file back from the
// start.
//
// Source: app.cpp (app_factory.cpp creates it for the process entry).
// Depends on: framework/vexa.h, platform/platform.h (options), game/shared.h,
// the four screens.
#pragma once

#include <cstdint>

#include "framework/vexa.h"
#include "game/module.h"
#include "game/shared.h"
#include "platform/platform.h"

constexpr uint32_t GAME_WIDTH = 320;         // the back buffer every screen draws for
constexpr uint32_t GAME_HEIGHT = 240;
constexpr unsigned long GAME_MAXFRAMETIME = 100; // ms: a longer frame reaches the screens as this

class ClassMain : public ClassVexa {
 public:
  explicit ClassMain(const VEXADATA* data);  // shared start values, no modules yet
  ~ClassMain() override;                     // modules in index order, then the shared surfaces

  int OnCreate(VEXACONFIG* config, VEXADATA* data) override;
  int OnInit(int launchparam) override;
  int OnMinimize() override;
  int OnRestore() override;
  int OnDisplayInit(int launchparam, ClassVDisplay* screen) override;
  int OnNextFrame(ClassVDisplay* screen, unsigned long elapsed) override;
  int OnExit(int launchparam) override;
  void OnButtonDown(unsigned long button, VBUTTONLIST* list) override; // ignored: presses arrive as key events
  void OnButtonUp(unsigned long button, VBUTTONLIST* list) override;
  void OnWheel(long direction) override;
  void OnStylusUp(tagPOINT point) override;
  void OnStylusDown(tagPOINT point) override;
  void OnStylusMove(tagPOINT point) override;

  bool InitModules();                        // the four screens, linked in index order; false when one is missing

 protected:
  virtual ClassModule* CreateModule(uint32_t index); // the screen of an index, or null; tests put their own

  ClassShared shared;
  ClassModule* modules[MODULE_COUNT] = {};   // MODULE_LOADER .. MODULE_GUI

 private:
  ClassModule* ActiveModule() const;         // null above index 3 or for a missing module
  ClassModule* ShownOverlay() const;         // the overlay while it is shown, else null
  template <typename Call>
  void ForwardToScreens(Call call, bool hiddenoverlay); // active module, then the overlay
  unsigned long FrameTime(unsigned long elapsed);
  void DispatchKeyEvents();
  void ClipForOverlay(V2DSurface* backbuffer);
  int StartInputRecording(const PLATFORM_OPTIONS& options); // 0, or 1 with the error text
  bool StartReplay(const char* path);
  void SaveRecording(const char* path);
};
