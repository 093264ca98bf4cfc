// module.h - the base of the game's screens: the loading screen, the title
// screen, the play field and the menu overlay. The application hands each
// frame and each input event to the active screen (and to the overlay while
// it is shown); a screen switches to another by writing the shared words
// activemodule and modulestatus.
//
// Depends on: framework/vexa_records.h (records).
#pragma once

#include <cstdint>

#include "framework/vexa_records.h"

class ClassShared;
class V2DSurface;

// Module indexes of the application.
constexpr uint32_t MODULE_LOADER = 0;
constexpr uint32_t MODULE_TITLE = 1;
constexpr uint32_t MODULE_LEVEL = 2;
constexpr uint32_t MODULE_GUI = 3;
constexpr uint32_t MODULE_COUNT = 4;   // an activemodule of this or above ends the program

// Module status words: the handshake between the application and its active module.
constexpr uint32_t MODULESTATUS_RUNNING = 0;
constexpr uint32_t MODULESTATUS_ENTER = 1;    // just became active: initialise on the next frame
constexpr uint32_t MODULESTATUS_FATAL = 2;    // errortext holds the reason; the program ends
constexpr uint32_t MODULESTATUS_EXIT = 0x10000; // the title screen shows the exit picture

class ClassModule {
 public:
  ClassModule() = default;
  virtual ~ClassModule() = default;
  ClassModule(const ClassModule&) = delete;
  ClassModule& operator=(const ClassModule&) = delete;

  // Handlers in slot order; the base does nothing. The two words are the
  // shared activemodule and modulestatus; action is an input action code,
  // button a raw button code.
  virtual void OnNextFrame(V2DSurface* /*backbuffer*/, uint32_t* /*activemodule*/,
                           uint32_t* /*modulestatus*/, unsigned long /*delta*/) {}
  virtual void OnMinimize() {}
  virtual void OnRestore() {}
  virtual void OnButtonDown(unsigned long /*action*/, VBUTTONLIST* /*list*/, bool /*repeat*/) {}
  virtual void OnButtonUp(unsigned long /*button*/, VBUTTONLIST* /*list*/) {}
  virtual void OnWheel(long /*direction*/) {}
  virtual void OnStylusUp(tagPOINT /*point*/) {}
  virtual void OnStylusDown(tagPOINT /*point*/) {}
  virtual void OnStylusMove(tagPOINT /*point*/) {}

  void LinkShared(ClassShared* state) { shared = state; }
  ClassShared* GetShared() const { return shared; }

 protected:
  ClassShared* shared = nullptr;
};
