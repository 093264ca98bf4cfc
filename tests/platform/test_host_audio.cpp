// The host's audio outputs: a headless run's stream in a WAV file, the same
// bytes every run, and a machine without an audio device running silently.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "support/whole_file.h"
#include "audio/mxrGP2X.h"
#include "platform/host/host_audio.h"
#include "platform/host/host_devices.h"
#include "platform/platform.h"

namespace {

// A callback whose bytes depend only on how many it has produced.
void CountingCallback(void* user, void* buffer, unsigned bytes) {
  uint32_t* produced = static_cast<uint32_t*>(user);
  uint8_t* out = static_cast<uint8_t*>(buffer);
  for (unsigned i = 0; i < bytes; i++) out[i] = uint8_t((*produced)++ * 7u);
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

uint32_t Le16(const std::vector<uint8_t>& b, size_t at) { return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8; }

// One second of a headless run at 22050 Hz, 8-bit mono, into a WAV file.
std::vector<uint8_t> RecordOneSecond(const std::string& path) {
  HostClock_UseVirtual(true, 1000000);
  EXPECT_TRUE(HostAudio_WriteWavFile(path.c_str()));
  mxrGP2X driver;
  EXPECT_EQ(driver.manual(true), 0);
  AudioSpec spec{22050, AUDIO_FORMAT_U8, 1};
  uint32_t produced = 0;
  EXPECT_EQ(driver.open(&spec, 22050 / 10, CountingCallback, &produced), 0);
  driver.resume();
  for (int frame = 0; frame < 60; frame++) {
    HostClock_Advance(16667);
    mxrGP2X::pumpManualDrivers(HostClock_NowMicroseconds());
  }
  driver.close();
  HostAudio_Close();
  return ReadWholeFile(path);
}

TEST(HostAudio, HeadlessStreamGoesToAWavFileIdenticallyEveryRun) {
  char folder[] = "/tmp/vexa-audio-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  std::string first = std::string(folder) + "/first.wav";
  std::string second = std::string(folder) + "/second.wav";
  std::vector<uint8_t> a = RecordOneSecond(first);
  std::vector<uint8_t> b = RecordOneSecond(second);
  std::remove(first.c_str());
  std::remove(second.c_str());
  rmdir(folder);

  ASSERT_GE(a.size(), 44u);
  EXPECT_EQ(std::memcmp(a.data(), "RIFF", 4), 0);
  EXPECT_EQ(std::memcmp(a.data() + 8, "WAVEfmt ", 8), 0);
  EXPECT_EQ(Le16(a, 20), 1u);      // PCM
  EXPECT_EQ(Le16(a, 22), 1u);      // mono
  EXPECT_EQ(Le32(a, 24), 22050u);  // rate
  EXPECT_EQ(Le16(a, 34), 8u);      // bits
  // 60 frames of 16667 us are 1.00002 s: 49 whole fragments of 448 bytes.
  EXPECT_EQ(Le32(a, 40), 49u * 448u);
  EXPECT_EQ(Le32(a, 4), 36u + 49u * 448u);
  ASSERT_EQ(a.size(), 44u + 49u * 448u);
  for (size_t i = 0; i < 49u * 448u; i++) ASSERT_EQ(a[44 + i], uint8_t(i * 7u)) << i;
  EXPECT_EQ(a, b);
}

TEST(HostAudio, WavFileThatCannotBeCreatedIsRefused) {
  EXPECT_FALSE(HostAudio_WriteWavFile("/nonexistent-folder/out.wav"));
}

TEST(HostAudio, MachineWithoutAudioDeviceRunsSilentlyWithANotice) {
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  char notice[160] = "untouched";
  EXPECT_FALSE(HostAudio_PlayThroughSdl(notice, sizeof notice));
  unsetenv("SDL_AUDIODRIVER");
  EXPECT_NE(std::strstr(notice, "playing silently"), nullptr) << notice;
  // The stream is still taken.
  int fd = Platform_Open("/dev/dsp", O_WRONLY);
  ASSERT_GE(fd, 0);
  const uint8_t fragment[64] = {};
  EXPECT_EQ(Platform_Write(fd, fragment, sizeof fragment), ssize_t(sizeof fragment));
  Platform_Close(fd);
  HostAudio_Close();
}

#if VEXA_WITH_SDL
TEST(HostAudio, SdlOutputOpensOnTheDummyDriverAndTakesTheStream) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  char notice[160] = "untouched";
  EXPECT_TRUE(HostAudio_PlayThroughSdl(notice, sizeof notice)) << notice;
  EXPECT_STREQ(notice, "");
  int fd = Platform_Open("/dev/dsp", O_WRONLY);
  ASSERT_GE(fd, 0);
  const uint8_t fragment[3528] = {};
  EXPECT_EQ(Platform_Write(fd, fragment, sizeof fragment), ssize_t(sizeof fragment));
  Platform_Close(fd);
  HostAudio_Close();
  unsetenv("SDL_AUDIODRIVER");
}
#endif

}  // namespace
