// host_headless.h - the headless front end: the game runs without a window
// on the virtual clock, so minutes of play take seconds and the same seed
// and input give the same frames.
//
// The frame loop owns the clock: its sleeps advance it at once. Sound is
// mixed on the same thread at each flip (mxrGP2X's manual mode) and
// discarded, so no other thread moves time. The poll hook stays free for
// whoever scripts the buttons.
// Depends on: framework/vexa.h (VexaProcessMain), audio/mxrGP2X.h,
// platform/host/host_run.h, host_options.h, host_devices.h.
#pragma once

#include <cstdint>

#include "platform/host/host_options.h"

// Runs the game once; the exit status: 0, or 1 when a picture could not be
// written or the --shots folder made.
int HostHeadless_Run(const HOSTOPTIONS& options);

// Where the virtual clock starts: the current time of day cut to the whole
// second, so every run's frame times fall alike within the second.
uint64_t HostHeadless_ClockStart();
