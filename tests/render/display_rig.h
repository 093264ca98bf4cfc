// display_rig.h - a display opened on the emulated handheld devices, with
// the modules and records a display needs, for the render suites.
//
// The rig opens "/dev/fb0" and "/dev/mem" through the platform seam as the
// process entry would, sets the device globals, and closes everything again.
#pragma once

#include <cstdint>

#include "framework/vexa.h"
#include "platform/platform.h"
#include "render/vmod_dsp.h"
#include "util/vmod_math.h"
#include "util/vmod_memory.h"

struct DisplayRig {
  // Members in this order so the display (and its surfaces) go before the
  // memory module whose list they use.
  ClassVMemory memory;
  ClassVMath math;
  VEXACONFIG config{};
  VCD vcd{};
  ClassVDisplay display;

  explicit DisplayRig(bool withmemory = true) {
    config.videotype = VideoType::DisplayDefault;
    config.surfacetype = 1;
    config.dspflags = VEXA_DSPFLAG_NOFONT;
    vcd.display = &display;
    vcd.memory = withmemory ? &memory : nullptr;
    vcd.math = &math;
    vcd.config = &config;
    math.SetRandSeed(12345);
    HandleDevicePtr(false);
  }

  ~DisplayRig() {
    display.Close();
    HandleDevicePtr(true);
  }

  DisplayRig(const DisplayRig&) = delete;
  DisplayRig& operator=(const DisplayRig&) = delete;

  int Open(uint8_t orientation, uint8_t videotype = VideoType::DisplayDefault,
           uint32_t dspflags = VEXA_DSPFLAG_NOFONT) {
    config.orientation = orientation;
    config.videotype = videotype;
    config.dspflags = dspflags;
    return display.Open(nullptr, &vcd, VideoType::Rgb565, 320, 240, true);
  }
};
