// platform.h - the one seam between the framework and the handheld's devices.
//
// Every device file, register window, clock and process step the framework
// needs goes through these calls. They are shaped like the system calls they
// replace, so the handheld build (platform/gp2x) forwards each one directly,
// and the host build (platform/host) emulates "/dev/mem", "/dev/fb0",
// "/dev/dsp" and "/dev/batt" without ever touching the machine's real ones.
#pragma once

#include <cstddef>
#include <cstdint>

#include <sys/time.h>
#include <sys/types.h>
#include <time.h>

// Register window of the handheld: physical base and size of the mapping.
constexpr uint32_t PLATFORM_REGISTER_BASE = 0xC0000000u;
constexpr uint32_t PLATFORM_REGISTER_SIZE = 0x10000u;

// Byte offsets of the 16-bit registers the framework reads.
constexpr uint32_t PLATFORM_REG_VBLANK = 0x1182;   // bit 4 (0x10) reads 0 during the vertical blank
constexpr uint32_t PLATFORM_REG_BUTTONS1 = 0x1184; // high byte: buttons of bits 8..15, 0 = pressed
constexpr uint32_t PLATFORM_REG_BUTTONS2 = 0x1186; // buttons of bits 16..31, 0 = pressed
constexpr uint32_t PLATFORM_REG_STICK = 0x1198;    // low byte: stick bits 0..7, 0 = pressed

// Requests the framework issues: the framebuffer's variable screen information
// and the three OSS audio settings.
constexpr unsigned long PLATFORM_FBIOGET_VSCREENINFO = 0x4600;
constexpr unsigned long PLATFORM_SNDCTL_DSP_SPEED = 0xC0045002;
constexpr unsigned long PLATFORM_SNDCTL_DSP_STEREO = 0xC0045003;
constexpr unsigned long PLATFORM_SNDCTL_DSP_SETFMT = 0xC0045005;
constexpr int PLATFORM_AFMT_U8 = 8;
constexpr int PLATFORM_AFMT_S16_LE = 16;

// Device files.
int Platform_Open(const char* path, int flags);
int Platform_Close(int fd);
ssize_t Platform_Read(int fd, void* buffer, size_t length);
ssize_t Platform_Write(int fd, const void* buffer, size_t length);
int Platform_Ioctl(int fd, unsigned long request, void* argument);
void* Platform_Mmap(size_t length, int prot, int flags, int fd, off_t offset); // MAP_FAILED on failure
int Platform_Munmap(void* address, size_t length);

// Clock and sleep of the frame loop and the timers.
int Platform_GetTimeOfDay(struct timeval* tv);
int Platform_Usleep(useconds_t microseconds);
int Platform_Nanosleep(const struct timespec* request, struct timespec* remaining);

// Exit step: change to "/usr/gp2x" and replace the process by "gp2xmenu".
// Returns only when that fails (always on the host, which never replaces itself).
int Platform_ExitToMenu();
void Platform_Sync();

// Hooks with no effect on the handheld: the button poll calls PollInput()
// before it reads the registers, Flip calls Present() after its copy.
void Platform_PollInput();
void Platform_Present();

// What the host's front end asks of the running application, read by the
// frame loop once per pass. The handheld never asks anything: it is always
// in the foreground and only the game ends its run.
constexpr int PLATFORM_WINDOW_FOREGROUND = 0;  // shown with the focus
constexpr int PLATFORM_WINDOW_INACTIVE = 1;    // shown, without the focus
constexpr int PLATFORM_WINDOW_MINIMIZED = 2;   // hidden
int Platform_WindowState();
bool Platform_QuitRequested();                 // window closed, Ctrl+C or SIGTERM: end the run now
// The end of the application's run, with the framework's error text (empty
// when it ended well). The handheld shows nothing; the host reports it.
void Platform_RunEnded(const char16_t* errortext);

// Options the host entry parsed from its command line, handed to the
// application (the framework itself reads none). On the handheld every
// entry is empty.
struct PLATFORM_OPTIONS {
  bool hasseed;          // seed the random generator with `seed` instead of the clock
  uint32_t seed;
  const char* record;    // file to write the input recording to at exit, or null
  const char* replay;    // input recording to play back from the start, or null
  const char* trace;     // file to write the play field's per-frame trace to, or null
};
const PLATFORM_OPTIONS* Platform_GetOptions();   // never null
