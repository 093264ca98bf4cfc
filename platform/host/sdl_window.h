// sdl_window.h - the window front end: the emulated framebuffer in an SDL2
// window, keyboard and game controllers on the handheld's buttons, the sound
// through SDL2's audio output.
//
// The window's thread (the caller's) owns SDL: it handles the events and
// draws, so the window stays live while the game is paused. The game runs on
// a thread of its own; its present hook hands each frame over, its poll hook
// takes the buttons the events made. Focus loss makes the game inactive,
// minimising makes it minimised, restoring or focus brings it back; closing
// the window ends the run through the quit request.
//
// The picture is scaled by the largest whole factor that fits the window,
// nearest pixel, centred on black. Keys: see the README.
// Tunables: window factor 3 unless the display is smaller; stick dead zone
// half the travel.
// Depends on: SDL2, platform/host/host_options.h, host_run.h,
// host_screenshot.h, host_audio.h, host_devices.h, framework/vexa.h.
#pragma once

#include <cstdint>
#include <string>

#include "platform/host/host_options.h"

constexpr int HOST_WINDOW_NODISPLAY = -1;  // HostWindow_Run: no window could be opened

// Where the 320 x 240 picture lands in a window of the given size.
struct HOSTVIEW {
  int32_t x, y;
  int32_t width, height;
};
HOSTVIEW HostWindow_Fit(int32_t windowwidth, int32_t windowheight);

// What the controls hold at one moment: the four directions and the bits of
// every other button (bit code - 1).
struct HOSTPAD {
  bool up, down, left, right;
  uint32_t buttons;
};
// The button word: the directions become the one stick bit the handheld's
// stick reports (a diagonal is a bit of its own); opposite directions cancel.
uint32_t HostWindow_ButtonWord(const HOSTPAD& pad);

// What the window front end shows now, readable from any thread.
struct HOSTWINDOWSTATUS {
  bool open;
  bool fullscreen;
  uint32_t controllers;  // game controllers in use
  uint32_t pictures;     // F12 pictures written
};
HOSTWINDOWSTATUS HostWindow_Status();

// True where a display can be expected (DISPLAY, WAYLAND_DISPLAY or an
// explicit SDL video driver).
bool HostWindow_DisplayExpected();

// Opens the window and runs the game in it; the exit status (0, or 1 when a
// picture failed), or HOST_WINDOW_NODISPLAY with SDL's reason in *reason
// when no window could be opened.
int HostWindow_Run(const HOSTOPTIONS& options, std::string* reason);
