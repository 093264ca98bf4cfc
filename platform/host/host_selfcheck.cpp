// host_selfcheck.cpp - checks the emulated devices through the same calls the
// framework makes, so `vexa-puzzle --self-check` shows at a glance that a host
// build stands in for the handheld as it should.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <linux/fb.h>
#include <sys/mman.h>

#include "platform/host/host_devices.h"
#include "platform/platform.h"

namespace {

void Report(std::vector<HOSTCHECK>& results, const char* name, bool passed, const char* format, ...) {
  HOSTCHECK check{name, passed, {}};
  va_list args;
  va_start(args, format);
  std::vsnprintf(check.detail, sizeof check.detail, format, args);
  va_end(args);
  results.push_back(check);
}

uint16_t ReadRegister(const volatile uint8_t* window, uint32_t offset) {
  return *reinterpret_cast<const volatile uint16_t*>(window + offset);
}

// The button word as the framework's poll forms it (stick diagonals aside).
uint32_t ButtonWord(const volatile uint8_t* window) {
  uint32_t stick = ReadRegister(window, PLATFORM_REG_STICK) & 0xFFu;
  uint32_t first = ReadRegister(window, PLATFORM_REG_BUTTONS1) & 0xFF00u;
  uint32_t second = static_cast<uint32_t>(ReadRegister(window, PLATFORM_REG_BUTTONS2)) << 16;
  return ~(stick | first | second);
}

void CheckRegisters(std::vector<HOSTCHECK>& results) {
  int fd = Platform_Open("/dev/mem", O_RDWR);
  void* map = fd < 0 ? MAP_FAILED
                     : Platform_Mmap(PLATFORM_REGISTER_SIZE, PROT_READ | PROT_WRITE, MAP_SHARED, fd,
                                     static_cast<off_t>(PLATFORM_REGISTER_BASE));
  if (map == MAP_FAILED) {
    Report(results, "register window", false, "cannot open or map /dev/mem");
    if (fd >= 0) Platform_Close(fd);
    return;
  }
  const volatile uint8_t* window = static_cast<const uint8_t*>(map);
  uint32_t idle = ButtonWord(window);
  HostDevices_SetButtons(1u << 13);  // B
  uint32_t pressed = ButtonWord(window);
  HostDevices_SetButtons(0);
  bool vblank = (ReadRegister(window, PLATFORM_REG_VBLANK) & 0x10) == 0;
  Report(results, "buttons", idle == 0 && pressed == (1u << 13),
         "idle word %08X, with B pressed %08X", idle, pressed);
  Report(results, "vertical blank", vblank, "bit 4 of 0x1182 reads %d", vblank ? 0 : 1);
  Platform_Munmap(map, PLATFORM_REGISTER_SIZE);
  Platform_Close(fd);
}

void CheckFramebuffer(std::vector<HOSTCHECK>& results) {
  int fd = Platform_Open("/dev/fb0", O_RDWR);
  fb_var_screeninfo info{};
  if (fd < 0 || Platform_Ioctl(fd, PLATFORM_FBIOGET_VSCREENINFO, &info) != 0) {
    Report(results, "framebuffer", false, "FBIOGET_VSCREENINFO failed");
    if (fd >= 0) Platform_Close(fd);
    return;
  }
  size_t bytes = size_t{info.xres} * info.yres * info.bits_per_pixel / 8;
  void* map = Platform_Mmap(bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  bool mapped = map != MAP_FAILED;
  if (mapped) {
    static_cast<uint16_t*>(map)[0] = 0xF800;
    mapped = HostDevices_FrameBuffer()[0] == 0xF800;
    static_cast<uint16_t*>(map)[0] = 0;
    Platform_Munmap(map, bytes);
  }
  bool mode = info.xres == 320 && info.yres == 240 && info.bits_per_pixel == 16 && info.green.length == 6;
  Report(results, "framebuffer", mode && mapped, "%ux%u, %u bits, green %u bits, %s", info.xres, info.yres,
         info.bits_per_pixel, info.green.length, mapped ? "mapped" : "not mapped");
  Platform_Close(fd);
}

void CheckDsp(std::vector<HOSTCHECK>& results) {
  int fd = Platform_Open("/dev/dsp", O_WRONLY);
  int rate = 44100, format = PLATFORM_AFMT_S16_LE, stereo = 1;
  bool set = fd >= 0 && Platform_Ioctl(fd, PLATFORM_SNDCTL_DSP_SPEED, &rate) == 0 &&
             Platform_Ioctl(fd, PLATFORM_SNDCTL_DSP_SETFMT, &format) == 0 &&
             Platform_Ioctl(fd, PLATFORM_SNDCTL_DSP_STEREO, &stereo) == 0;
  static const uint8_t fragment[3528] = {};
  bool written = set && Platform_Write(fd, fragment, sizeof fragment) == static_cast<ssize_t>(sizeof fragment);
  HOSTDSPSTATE state = HostDevices_DspState();
  Report(results, "sound device", written && state.rate == 44100 && state.byteswritten == sizeof fragment,
         "%d Hz, format %d, stereo %d, %llu bytes taken", state.rate, state.format, state.stereo,
         static_cast<unsigned long long>(state.byteswritten));
  if (fd >= 0) Platform_Close(fd);
}

void CheckBattery(std::vector<HOSTCHECK>& results) {
  int fd = Platform_Open("/dev/batt", O_RDONLY);
  uint16_t raw = 0;
  bool read = fd >= 0 && Platform_Read(fd, &raw, sizeof raw) == static_cast<ssize_t>(sizeof raw);
  Report(results, "battery", read && raw == 900, "raw value %u", raw);
  if (fd >= 0) Platform_Close(fd);
}

void CheckVirtualClock(std::vector<HOSTCHECK>& results) {
  bool wasVirtual = HostClock_IsVirtual();
  uint64_t saved = HostClock_NowMicroseconds();
  HostClock_UseVirtual(true, 1000000);
  Platform_Usleep(250000);
  timespec tenth{0, 100000000};
  Platform_Nanosleep(&tenth, nullptr);
  timeval tv{};
  Platform_GetTimeOfDay(&tv);
  uint64_t now = static_cast<uint64_t>(tv.tv_sec) * 1000000u + static_cast<uint64_t>(tv.tv_usec);
  HostClock_UseVirtual(wasVirtual, saved);
  Report(results, "virtual clock", now == 1350000, "350 ms of sleep moved it by %lld us",
         static_cast<long long>(now) - 1000000);
}

void CheckRealDevicesRefused(std::vector<HOSTCHECK>& results) {
  int fd = Platform_Open("/dev/tty0", O_RDONLY);
  if (fd >= 0) Platform_Close(fd);
  Report(results, "real devices", fd < 0, "other /dev paths are %s", fd < 0 ? "refused" : "open");
}

}  // namespace

bool HostDevices_SelfCheck(std::vector<HOSTCHECK>& results) {
  results.clear();
  CheckRegisters(results);
  CheckFramebuffer(results);
  CheckDsp(results);
  CheckBattery(results);
  CheckVirtualClock(results);
  CheckRealDevicesRefused(results);
  bool all = true;
  for (const HOSTCHECK& check : results) all = all && check.passed;
  return all;
}
