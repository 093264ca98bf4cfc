// The emulated handheld devices, seen through the calls the framework makes.
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fb.h>
#include <sys/mman.h>

#include "platform/host/host_devices.h"
#include "platform/platform.h"

namespace {

class RegisterWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    fd = Platform_Open("/dev/mem", O_RDWR);
    ASSERT_GE(fd, 0);
    void* map = Platform_Mmap(PLATFORM_REGISTER_SIZE, PROT_READ | PROT_WRITE, MAP_SHARED, fd,
                              static_cast<off_t>(PLATFORM_REGISTER_BASE));
    ASSERT_NE(map, MAP_FAILED);
    registers = static_cast<volatile uint16_t*>(map);
  }
  void TearDown() override {
    Platform_Munmap(const_cast<uint16_t*>(registers), PLATFORM_REGISTER_SIZE);
    Platform_Close(fd);
  }
  uint16_t Read(uint32_t offset) const { return registers[offset / 2]; }
  // The framework's button word: a set bit means pressed.
  uint32_t ButtonWord() const {
    return ~((Read(PLATFORM_REG_STICK) & 0xFFu) | (Read(PLATFORM_REG_BUTTONS1) & 0xFF00u) |
             (static_cast<uint32_t>(Read(PLATFORM_REG_BUTTONS2)) << 16));
  }
  int fd = -1;
  volatile uint16_t* registers = nullptr;
};

TEST_F(RegisterWindow, ButtonsReadReleasedUntilPressed) {
  EXPECT_EQ(ButtonWord(), 0u);
  EXPECT_EQ(Read(PLATFORM_REG_STICK), 0x00FF);
  EXPECT_EQ(Read(PLATFORM_REG_BUTTONS1), 0xFF00);
  EXPECT_EQ(Read(PLATFORM_REG_BUTTONS2), 0xFFFF);
}

TEST_F(RegisterWindow, PressedButtonsClearTheirBitsInEachRegister) {
  // Up (stick), B (first register), volume up (second register), all of them.
  for (uint32_t pressed : {1u << 0, 1u << 13, 1u << 23, (1u << 0) | (1u << 13) | (1u << 23) | (1u << 27)}) {
    HostDevices_SetButtons(pressed);
    EXPECT_EQ(ButtonWord(), pressed) << std::hex << pressed;
  }
  HostDevices_SetButtons(0);
  EXPECT_EQ(ButtonWord(), 0u);
}

TEST_F(RegisterWindow, VerticalBlankBitReadsZero) { EXPECT_EQ(Read(PLATFORM_REG_VBLANK) & 0x10, 0); }

TEST(HostDevices, RegisterWindowMapsOnlyAtItsPhysicalAddress) {
  int fd = Platform_Open("/dev/mem", O_RDWR);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(Platform_Mmap(PLATFORM_REGISTER_SIZE, PROT_READ, MAP_SHARED, fd, 0), MAP_FAILED);
  EXPECT_EQ(Platform_Mmap(PLATFORM_REGISTER_SIZE * 2, PROT_READ, MAP_SHARED, fd,
                          static_cast<off_t>(PLATFORM_REGISTER_BASE)),
            MAP_FAILED);
  Platform_Close(fd);
}

TEST(HostDevices, FramebufferReports320x240RGB565AndMapsItsBuffer) {
  int fd = Platform_Open("/dev/fb0", O_RDWR);
  ASSERT_GE(fd, 0);
  fb_var_screeninfo info{};
  ASSERT_EQ(Platform_Ioctl(fd, PLATFORM_FBIOGET_VSCREENINFO, &info), 0);
  EXPECT_EQ(info.xres, 320u);
  EXPECT_EQ(info.yres, 240u);
  EXPECT_EQ(info.bits_per_pixel, 16u);
  EXPECT_EQ(info.green.length, 6u);
  EXPECT_EQ(info.green.offset, 5u);
  EXPECT_EQ(info.red.offset, 11u);
  size_t bytes = 320 * 240 * 2;
  void* map = Platform_Mmap(bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  ASSERT_NE(map, MAP_FAILED);
  static_cast<uint16_t*>(map)[320 * 239 + 319] = 0x07E0;
  EXPECT_EQ(HostDevices_FrameBuffer()[320 * 239 + 319], 0x07E0);
  EXPECT_EQ(Platform_Mmap(bytes + 2, PROT_READ, MAP_SHARED, fd, 0), MAP_FAILED);
  Platform_Munmap(map, bytes);
  Platform_Close(fd);
}

void CollectStream(const void* data, size_t length, void* user) {
  auto* stream = static_cast<std::vector<uint8_t>*>(user);
  stream->insert(stream->end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + length);
}

TEST(HostDevices, DspTakesTheThreeRequestsAndTheStream) {
  std::vector<uint8_t> stream;
  HostDevices_SetDspSink(CollectStream, &stream);
  int fd = Platform_Open("/dev/dsp", O_WRONLY);
  ASSERT_GE(fd, 0);
  int rate = 22050, format = PLATFORM_AFMT_U8, stereo = 0;
  EXPECT_EQ(Platform_Ioctl(fd, PLATFORM_SNDCTL_DSP_SPEED, &rate), 0);
  EXPECT_EQ(Platform_Ioctl(fd, PLATFORM_SNDCTL_DSP_SETFMT, &format), 0);
  EXPECT_EQ(Platform_Ioctl(fd, PLATFORM_SNDCTL_DSP_STEREO, &stereo), 0);
  EXPECT_EQ(Platform_Ioctl(fd, 0xC0045004, &rate), -1);
  const uint8_t samples[] = {1, 2, 3, 4, 5};
  EXPECT_EQ(Platform_Write(fd, samples, sizeof samples), 5);
  EXPECT_EQ(Platform_Write(fd, samples, 2), 2);
  HOSTDSPSTATE state = HostDevices_DspState();
  EXPECT_EQ(state.rate, 22050);
  EXPECT_EQ(state.format, PLATFORM_AFMT_U8);
  EXPECT_EQ(state.stereo, 0);
  EXPECT_EQ(state.byteswritten, 7u);
  EXPECT_EQ(stream, (std::vector<uint8_t>{1, 2, 3, 4, 5, 1, 2}));
  Platform_Close(fd);
}

TEST(HostDevices, BatteryReads900UnlessSet) {
  for (uint16_t raw : {uint16_t{900}, uint16_t{750}}) {
    if (raw != 900) HostDevices_SetBattery(raw);
    int fd = Platform_Open("/dev/batt", O_RDONLY);
    ASSERT_GE(fd, 0);
    uint16_t value = 0;
    EXPECT_EQ(Platform_Read(fd, &value, sizeof value), 2);
    EXPECT_EQ(value, raw);
    Platform_Close(fd);
  }
}

TEST(HostDevices, OtherDeviceFilesAreRefusedAndClosedDescriptorsFail) {
  EXPECT_LT(Platform_Open("/dev/tty0", O_RDONLY), 0);
  EXPECT_LT(Platform_Open("/dev/input/event0", O_RDONLY), 0);
  int fd = Platform_Open("/dev/batt", O_RDONLY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(Platform_Close(fd), 0);
  EXPECT_EQ(Platform_Close(fd), -1);
  uint16_t value;
  EXPECT_EQ(Platform_Read(fd, &value, sizeof value), -1);
}

TEST(HostDevices, HooksRunOnPollAndPresent) {
  int polls = 0;
  const uint16_t* presented = nullptr;
  HostDevices_SetPollHook([](void* user) { ++*static_cast<int*>(user); }, &polls);
  HostDevices_SetPresentHook([](const uint16_t* pixels, void* user) { *static_cast<const uint16_t**>(user) = pixels; },
                             &presented);
  Platform_PollInput();
  Platform_PollInput();
  Platform_Present();
  EXPECT_EQ(polls, 2);
  EXPECT_EQ(presented, HostDevices_FrameBuffer());
}

TEST(HostDevices, SelfCheckPasses) {
  std::vector<HOSTCHECK> results;
  EXPECT_TRUE(HostDevices_SelfCheck(results));
  for (const HOSTCHECK& check : results) EXPECT_TRUE(check.passed) << check.name << ": " << check.detail;
  EXPECT_EQ(HostDevices_GetButtons(), 0u);
}

uint64_t TimeOfDayMicroseconds() {
  timeval tv{};
  Platform_GetTimeOfDay(&tv);
  return static_cast<uint64_t>(tv.tv_sec) * 1000000u + static_cast<uint64_t>(tv.tv_usec);
}

TEST(HostClock, VirtualClockAdvancesOnTheOwnersSleepsAtOnce) {
  HostClock_UseVirtual(true, 5000000);
  EXPECT_EQ(TimeOfDayMicroseconds(), 5000000u);
  // An hour of sleeps returns immediately; the test would time out otherwise.
  for (int i = 0; i < 3600; i++) Platform_Usleep(1000000);
  timespec half{0, 500000000};
  timespec left{9, 9};
  EXPECT_EQ(Platform_Nanosleep(&half, &left), 0);
  EXPECT_EQ(left.tv_sec, 0);
  EXPECT_EQ(TimeOfDayMicroseconds(), 5000000u + 3600u * 1000000u + 500000u);
  timespec bad{0, 1000000000};
  EXPECT_EQ(Platform_Nanosleep(&bad, nullptr), -1);
}

TEST(HostClock, OtherThreadsSleepForRealWithoutMovingTheClock) {
  HostClock_UseVirtual(true, 0);
  std::atomic<uint64_t> seen{1};
  std::thread other([&] {
    Platform_Usleep(2000);
    timespec ms{0, 1000000};
    Platform_Nanosleep(&ms, nullptr);
    seen = TimeOfDayMicroseconds();
  });
  other.join();
  EXPECT_EQ(seen.load(), 0u);
  EXPECT_EQ(TimeOfDayMicroseconds(), 0u);
}

TEST(HostClock, RealClockFollowsTheSystem) {
  HostClock_UseVirtual(false);
  timeval system{};
  gettimeofday(&system, nullptr);
  uint64_t expected = static_cast<uint64_t>(system.tv_sec) * 1000000u + static_cast<uint64_t>(system.tv_usec);
  uint64_t now = TimeOfDayMicroseconds();
  EXPECT_GE(now, expected);
  EXPECT_LT(now - expected, 10u * 1000000u);
}

}  // namespace
