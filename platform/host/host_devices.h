// host_devices.h - controls of the emulated handheld devices, for the host's
// front ends (window, headless runner) and for tests.
//
// The framework never calls these; it only sees platform.h. Front ends press
// buttons, read the framebuffer, collect the audio stream and drive the clock
// through this interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/platform.h"

// Screen the emulated "/dev/fb0" reports: 320 x 240, 16 bits, RGB565.
constexpr uint32_t HOST_FB_WIDTH = 320;
constexpr uint32_t HOST_FB_HEIGHT = 240;
constexpr uint32_t HOST_FB_BPP = 16;

// Raw value the emulated "/dev/batt" reads unless a test sets another.
constexpr uint16_t HOST_BATTERY_EXTERNAL = 900;

// Buttons: bit (code - 1) set means pressed, as in the framework's button word.
void HostDevices_SetButtons(uint32_t pressed);
uint32_t HostDevices_GetButtons();

// The emulated framebuffer (HOST_FB_WIDTH * HOST_FB_HEIGHT RGB565 pixels).
const uint16_t* HostDevices_FrameBuffer();

// Audio settings the last opened "/dev/dsp" received (0 until set).
struct HOSTDSPSTATE {
  int rate;
  int format;
  int stereo;
  uint64_t byteswritten;
};
HOSTDSPSTATE HostDevices_DspState();

// Where the "/dev/dsp" stream goes. The sink runs on the writing thread; a
// null sink discards the stream. A blocking sink paces the writer as the
// device would.
typedef void (*HostDspSink)(const void* data, size_t length, void* user);
void HostDevices_SetDspSink(HostDspSink sink, void* user);

// Makes SNDCTL_DSP_SETFMT answer (and take) `format` whatever was asked, as a
// device that cannot play the requested format does; 0 takes what is asked.
void HostDevices_SetDspFormatReply(int format);

void HostDevices_SetBattery(uint16_t raw);

// Present hook: called after every Flip with the framebuffer.
typedef void (*HostPresentHook)(const uint16_t* pixels, void* user);
void HostDevices_SetPresentHook(HostPresentHook hook, void* user);
// PollInput hook: called by the button poll before it reads the registers.
typedef void (*HostPollHook)(void* user);
void HostDevices_SetPollHook(HostPollHook hook, void* user);

// What the front end asks of the application (platform.h: Platform_WindowState,
// Platform_QuitRequested), and the options it parsed (Platform_GetOptions;
// the strings must outlive the run). RequestQuit is safe in a signal handler.
void HostDevices_SetWindowState(int state);   // PLATFORM_WINDOW_FOREGROUND, _INACTIVE or _MINIMIZED
void HostDevices_RequestQuit(bool on);
void HostDevices_SetOptions(const PLATFORM_OPTIONS& parsed);
// The error text the last run ended with (Platform_RunEnded); empty after a good run.
const char* HostDevices_LastError();

// Makes mapping the register window of "/dev/mem" fail (tests).
void HostDevices_FailRegisterMap(bool fail);

// Restores every emulated device to its start state (tests).
void HostDevices_Reset();

// Clock. Real by default. The virtual clock belongs to the thread that turns
// it on (the frame loop's): only that thread's sleeps advance it, at once and
// by exactly the time asked; other threads sleep for real and never move it.
void HostClock_UseVirtual(bool on, uint64_t startMicroseconds = 0);
bool HostClock_IsVirtual();
uint64_t HostClock_NowMicroseconds();
void HostClock_Advance(uint64_t microseconds);

// Self-checks of the emulated devices through the same calls the framework
// uses. Each result is a line of text; the function returns true when all pass.
struct HOSTCHECK {
  const char* name;
  bool passed;
  char detail[96];
};
bool HostDevices_SelfCheck(std::vector<HOSTCHECK>& results);
