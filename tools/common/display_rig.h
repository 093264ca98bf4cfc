// display_rig.h - the framework's modules with a display opened on the
// emulated devices, for the tools that draw or render as the game does
// (surfaces take the display's lights, render size and loaders).
//
// Header-only. Open registers the display's loaders, maps the emulated
// device window and opens a 320 x 240 display; the destructor closes both.
// Depends on: the framework (records, device window), the display, the math
// and memory modules.
#pragma once

#include "framework/vexa.h"
#include "render/vmod_dsp.h"
#include "resources/loaders/vldr_base.h"
#include "util/vmod_math.h"
#include "util/vmod_memory.h"

struct VTOOLDISPLAY {
  ClassVMemory memory;
  ClassVMath math;
  VEXACONFIG config{};
  VCD vcd{};
  ClassVDisplay display;
  bool devices = false;

  VTOOLDISPLAY() {
    config.videotype = VideoType::DisplayDefault;
    config.surfacetype = 1;
    config.dspflags = VEXA_DSPFLAG_NOFONT;
    vcd.display = &display;
    vcd.memory = &memory;
    vcd.math = &math;
    vcd.config = &config;
  }
  ~VTOOLDISPLAY() {
    display.Close();
    if (devices) HandleDevicePtr(true);
  }
  VTOOLDISPLAY(const VTOOLDISPLAY&) = delete;
  VTOOLDISPLAY& operator=(const VTOOLDISPLAY&) = delete;

  bool Open() {
    if (!math.Init() || !RegisterDisplayLoaders(&display)) return false;
    devices = HandleDevicePtr(false) != nullptr;
    return devices && display.Open(nullptr, &vcd, VideoType::Rgb565, 320, 240, true) == 0;
  }
};
