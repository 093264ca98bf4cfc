// host_devices.cpp - the handheld's device files, emulated in memory.
//
// "/dev/mem" is a 0x10000-byte register window whose button registers read
// "released" until a front end presses something and whose vertical-blank bit
// reads 0; "/dev/fb0" reports 320 x 240 x 16 (RGB565) and maps a buffer of
// its own; "/dev/dsp" takes the three OSS requests and hands the written
// stream to a sink; "/dev/batt" reads 900 (external power). Any other "/dev/"
// path fails, so a host build can never reach the machine's real devices.
#include <cerrno>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <linux/fb.h>
#include <sys/mman.h>
#include <unistd.h>

#include "platform/host/host_devices.h"
#include "platform/platform.h"

namespace {

enum class Device { None, Mem, Fb, Dsp, Batt };

// Emulated descriptors live far above any real one the process could hold.
constexpr int EMULATED_FD_BASE = 0x40000000;
constexpr int MAX_EMULATED_FDS = 32;

struct DeviceName {
  const char* path;
  Device device;
};
constexpr DeviceName DEVICE_NAMES[] = {
    {"/dev/mem", Device::Mem},
    {"/dev/fb0", Device::Fb},
    {"/dev/dsp", Device::Dsp},
    {"/dev/batt", Device::Batt},
};

constexpr size_t FB_BYTES = HOST_FB_WIDTH * HOST_FB_HEIGHT * HOST_FB_BPP / 8;

struct HostState {
  HostState();
  std::mutex lock;  // the dsp is written from the audio thread
  Device fds[MAX_EMULATED_FDS] = {};
  alignas(8) uint16_t registers[PLATFORM_REGISTER_SIZE / 2] = {};
  alignas(8) uint16_t framebuffer[HOST_FB_WIDTH * HOST_FB_HEIGHT] = {};
  uint32_t buttons = 0;
  uint16_t battery = HOST_BATTERY_EXTERNAL;
  HOSTDSPSTATE dsp = {};
  int dspformatreply = 0;  // 0: SNDCTL_DSP_SETFMT takes the format asked for
  HostDspSink sink = nullptr;
  void* sinkuser = nullptr;
  HostPresentHook present = nullptr;
  void* presentuser = nullptr;
  HostPollHook poll = nullptr;
  void* polluser = nullptr;
  bool failregistermap = false;  // tests: the register window cannot be mapped
};

// A set register bit means released, as on the handheld.
void WriteButtonRegisters(uint16_t* registers, uint32_t pressed) {
  uint32_t released = ~pressed;
  registers[PLATFORM_REG_STICK / 2] = static_cast<uint16_t>(released & 0xFF);
  registers[PLATFORM_REG_BUTTONS1 / 2] = static_cast<uint16_t>(released & 0xFF00);
  registers[PLATFORM_REG_BUTTONS2 / 2] = static_cast<uint16_t>(released >> 16);
}

HostState::HostState() { WriteButtonRegisters(registers, 0); }

HostState& State() {
  static HostState state;
  return state;
}

Device DeviceOfPath(const char* path) {
  for (const DeviceName& name : DEVICE_NAMES) {
    if (std::strcmp(path, name.path) == 0) return name.device;
  }
  return Device::None;
}

bool IsEmulatedFd(int fd) { return fd >= EMULATED_FD_BASE && fd < EMULATED_FD_BASE + MAX_EMULATED_FDS; }

Device DeviceOfFd(int fd) {
  if (!IsEmulatedFd(fd)) return Device::None;
  std::lock_guard<std::mutex> guard(State().lock);
  return State().fds[fd - EMULATED_FD_BASE];
}

int OpenEmulated(Device device) {
  HostState& state = State();
  std::lock_guard<std::mutex> guard(state.lock);
  for (int slot = 0; slot < MAX_EMULATED_FDS; slot++) {
    if (state.fds[slot] == Device::None) {
      state.fds[slot] = device;
      if (device == Device::Dsp) state.dsp = HOSTDSPSTATE{};
      return EMULATED_FD_BASE + slot;
    }
  }
  errno = EMFILE;
  return -1;
}

ssize_t ReadBattery(void* buffer, size_t length) {
  uint16_t raw = State().battery;
  size_t n = length < sizeof raw ? length : sizeof raw;
  std::memcpy(buffer, &raw, n);
  return static_cast<ssize_t>(n);
}

ssize_t WriteDsp(const void* buffer, size_t length) {
  HostState& state = State();
  HostDspSink sink;
  void* user;
  {
    std::lock_guard<std::mutex> guard(state.lock);
    state.dsp.byteswritten += length;
    sink = state.sink;
    user = state.sinkuser;
  }
  if (sink) sink(buffer, length, user);
  return static_cast<ssize_t>(length);
}

void FillScreenInfo(fb_var_screeninfo* info) {
  std::memset(info, 0, sizeof *info);
  info->xres = info->xres_virtual = HOST_FB_WIDTH;
  info->yres = info->yres_virtual = HOST_FB_HEIGHT;
  info->bits_per_pixel = HOST_FB_BPP;
  info->red = {11, 5, 0};
  info->green = {5, 6, 0};
  info->blue = {0, 5, 0};
}

int DspRequest(unsigned long request, void* argument) {
  if (!argument) {
    errno = EFAULT;
    return -1;
  }
  int value;
  std::memcpy(&value, argument, sizeof value);
  std::lock_guard<std::mutex> guard(State().lock);
  HOSTDSPSTATE& dsp = State().dsp;
  switch (request) {
    case PLATFORM_SNDCTL_DSP_SPEED: dsp.rate = value; return 0;
    case PLATFORM_SNDCTL_DSP_SETFMT:
      if (State().dspformatreply != 0) {
        value = State().dspformatreply;
        std::memcpy(argument, &value, sizeof value);
      }
      dsp.format = value;
      return 0;
    case PLATFORM_SNDCTL_DSP_STEREO: dsp.stereo = value; return 0;
    default: errno = EINVAL; return -1;
  }
}

}  // namespace

// --- platform.h, host side ---------------------------------------------------

int Platform_Open(const char* path, int flags) {
  if (!path) {
    errno = EFAULT;
    return -1;
  }
  Device device = DeviceOfPath(path);
  if (device != Device::None) return OpenEmulated(device);
  if (std::strncmp(path, "/dev/", 5) == 0) {
    errno = ENOENT;
    return -1;
  }
  return ::open(path, flags, 0644);
}

int Platform_Close(int fd) {
  if (!IsEmulatedFd(fd)) return ::close(fd);
  std::lock_guard<std::mutex> guard(State().lock);
  Device& slot = State().fds[fd - EMULATED_FD_BASE];
  if (slot == Device::None) {
    errno = EBADF;
    return -1;
  }
  slot = Device::None;
  return 0;
}

ssize_t Platform_Read(int fd, void* buffer, size_t length) {
  if (!IsEmulatedFd(fd)) return ::read(fd, buffer, length);
  switch (DeviceOfFd(fd)) {
    case Device::Batt: return ReadBattery(buffer, length);
    case Device::None: errno = EBADF; return -1;
    default: errno = EINVAL; return -1;
  }
}

ssize_t Platform_Write(int fd, const void* buffer, size_t length) {
  if (!IsEmulatedFd(fd)) return ::write(fd, buffer, length);
  switch (DeviceOfFd(fd)) {
    case Device::Dsp: return WriteDsp(buffer, length);
    case Device::None: errno = EBADF; return -1;
    default: errno = EINVAL; return -1;
  }
}

int Platform_Ioctl(int fd, unsigned long request, void* argument) {
  switch (DeviceOfFd(fd)) {
    case Device::Fb:
      if (request != PLATFORM_FBIOGET_VSCREENINFO || !argument) break;
      FillScreenInfo(static_cast<fb_var_screeninfo*>(argument));
      return 0;
    case Device::Dsp: return DspRequest(request, argument);
    case Device::None:
      if (!IsEmulatedFd(fd)) errno = ENOTTY;
      else errno = EBADF;
      return -1;
    default: break;
  }
  errno = EINVAL;
  return -1;
}

void* Platform_Mmap(size_t length, int prot, int flags, int fd, off_t offset) {
  if (!IsEmulatedFd(fd)) return ::mmap(nullptr, length, prot, flags, fd, offset);
  switch (DeviceOfFd(fd)) {
    case Device::Mem:
      if (State().failregistermap) break;
      if (static_cast<uint64_t>(offset) == PLATFORM_REGISTER_BASE && length <= PLATFORM_REGISTER_SIZE)
        return State().registers;
      break;
    case Device::Fb:
      if (offset == 0 && length <= FB_BYTES) return State().framebuffer;
      break;
    default: break;
  }
  errno = EINVAL;
  return MAP_FAILED;
}

int Platform_Munmap(void* address, size_t length) {
  if (address == State().registers || address == State().framebuffer) return 0;
  return ::munmap(address, length);
}

int Platform_ExitToMenu() {
  // The host never replaces its process; the caller goes on to return.
  errno = ENOSYS;
  return -1;
}

// Flushing every disk of a desktop machine at each file close would be
// hostile; files that must survive a crash are written atomically instead.
void Platform_Sync() {}

void Platform_PollInput() {
  HostPollHook hook = State().poll;
  if (hook) hook(State().polluser);
}

void Platform_Present() {
  HostPresentHook hook = State().present;
  if (hook) hook(State().framebuffer, State().presentuser);
}

// --- host_devices.h ------------------------------------------------------------

void HostDevices_SetButtons(uint32_t pressed) {
  State().buttons = pressed;
  WriteButtonRegisters(State().registers, pressed);
}

uint32_t HostDevices_GetButtons() { return State().buttons; }

const uint16_t* HostDevices_FrameBuffer() { return State().framebuffer; }

HOSTDSPSTATE HostDevices_DspState() {
  std::lock_guard<std::mutex> guard(State().lock);
  return State().dsp;
}

void HostDevices_SetDspSink(HostDspSink sink, void* user) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().sink = sink;
  State().sinkuser = user;
}

void HostDevices_SetDspFormatReply(int format) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().dspformatreply = format;
}

void HostDevices_SetBattery(uint16_t raw) { State().battery = raw; }

void HostDevices_SetPresentHook(HostPresentHook hook, void* user) {
  State().present = hook;
  State().presentuser = user;
}

void HostDevices_SetPollHook(HostPollHook hook, void* user) {
  State().poll = hook;
  State().polluser = user;
}

void HostDevices_FailRegisterMap(bool fail) { State().failregistermap = fail; }

void HostDevices_Reset() {
  HostState& state = State();
  {
    std::lock_guard<std::mutex> guard(state.lock);
    for (Device& slot : state.fds) slot = Device::None;
    state.dsp = HOSTDSPSTATE{};
    state.dspformatreply = 0;
    state.sink = nullptr;
    state.sinkuser = nullptr;
  }
  std::memset(state.registers, 0, sizeof state.registers);
  std::memset(state.framebuffer, 0, sizeof state.framebuffer);
  HostDevices_SetButtons(0);
  state.battery = HOST_BATTERY_EXTERNAL;
  HostDevices_SetPresentHook(nullptr, nullptr);
  HostDevices_SetPollHook(nullptr, nullptr);
  HostDevices_FailRegisterMap(false);
  HostClock_UseVirtual(false);
  HostDevices_SetWindowState(PLATFORM_WINDOW_FOREGROUND);
  HostDevices_RequestQuit(false);
  HostDevices_SetOptions(PLATFORM_OPTIONS{});
  Platform_RunEnded(u"");
}
