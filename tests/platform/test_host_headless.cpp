// The headless front end with a probe application in place of the game: the
// run ends after the frames asked for, on a virtual clock; the same seed
// gives the same frames; the listed frames and the last one become PNG
// pictures that read back pixel for pixel; sound is mixed at each flip; the
// game sees the options only during its run; Ctrl+C ends the run through
// Quit.
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <dirent.h>
#include <gtest/gtest.h>

#include "audio/mxrGP2X.h"
#include "platform/host/host_devices.h"
#include "platform/host/host_headless.h"
#include "platform/host/host_run.h"
#include "platform/host/host_screenshot.h"
#include "platform/host/host_signals.h"
#include "support/temp_folder.h"
#include "tests/platform/probe_application.h"

ClassVexa* VexaCreateApplication(const VEXADATA* data) { return new ClassProbe(data); }

namespace {

constexpr uint32_t FRAME_MICROSECONDS_LOW = 16000;   // 60 frames a second in whole milliseconds:
constexpr uint32_t FRAME_MICROSECONDS_HIGH = 17000;  // each frame lasts 16 or 17 ms

uint32_t Rgb(const VImageCapture& picture, int32_t x, int32_t y) { return picture.At(x, y) & 0xFFFFFF; }

size_t FilesIn(const std::string& folder) {
  size_t count = 0;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir)) count += entry->d_name[0] != '.';
    closedir(dir);
  }
  return count;
}

// What the probe drew in frame: its background above the mark, the mark.
void ExpectProbeFrame(const VImageCapture& picture, uint32_t frame) {
  for (int32_t y = 0; y < PROBE_MARK.top; y++)
    for (int32_t x = 0; x < int32_t(HOST_FB_WIDTH); x++)
      ASSERT_EQ(Rgb(picture, x, y), ProbeBackground(frame)) << "frame " << frame << " at " << x << "," << y;
  for (int32_t y = PROBE_MARK.top; y < PROBE_MARK.bottom; y++)
    for (int32_t x = PROBE_MARK.left; x < PROBE_MARK.right; x++)
      ASSERT_EQ(Rgb(picture, x, y), PROBE_MARKCOLOUR) << "frame " << frame << " at " << x << "," << y;
}

class HostHeadless : public ::testing::Test {
 protected:
  void SetUp() override {
    g_probe.Reset();
    folder = MakeTempFolder("vexa-headless-");
    ASSERT_FALSE(folder.empty());
    options.frontend = HostFrontEnd::Headless;
  }
  void TearDown() override { RemoveTree(folder); }

  std::vector<uint64_t> FramesOfSeed(uint32_t seed, uint32_t frames) {
    g_probe.Reset();
    options.hasseed = true;
    options.seed = seed;
    options.frames = frames;
    EXPECT_EQ(HostHeadless_Run(options), 0);
    return g_probe.hashes;
  }

  HOSTOPTIONS options;
  std::string folder;
};

TEST_F(HostHeadless, RunEndsAfterTheFramesAskedForOnTheVirtualClock) {
  options.frames = 600;
  EXPECT_EQ(HostHeadless_Run(options), 0);
  EXPECT_EQ(g_probe.frames.load(), 600u);
  EXPECT_EQ(g_probe.exits.load(), 1u);  // through Quit: the exit steps ran
  // Ten seconds of game time at 60 frames a second.
  uint64_t played = g_probe.lastclock - g_probe.firstclock;
  EXPECT_GE(played, 599u * FRAME_MICROSECONDS_LOW);
  EXPECT_LE(played, 599u * FRAME_MICROSECONDS_HIGH);
  EXPECT_GE(g_probe.elapsed, 599u * FRAME_MICROSECONDS_LOW / 1000);
  EXPECT_LE(g_probe.elapsed, 600u * FRAME_MICROSECONDS_HIGH / 1000);
  EXPECT_FALSE(HostClock_IsVirtual());  // the clock is given back after the run
}

TEST_F(HostHeadless, SameSeedGivesTheSameFrames) {
  std::vector<uint64_t> first = FramesOfSeed(5, 90);
  std::vector<uint64_t> again = FramesOfSeed(5, 90);
  std::vector<uint64_t> other = FramesOfSeed(6, 90);
  ASSERT_EQ(first.size(), 90u);
  EXPECT_EQ(first, again);
  EXPECT_NE(first, other);
  EXPECT_NE(first[10], first[11]);  // the frames do change
}

TEST_F(HostHeadless, ListedFramesAndTheLastOneBecomePictures) {
  options.frames = 30;
  options.shotframes = {1, 7, 30};
  options.shotsfolder = folder + "deep/er";
  options.screenshot = folder + "last.png";
  ASSERT_EQ(HostHeadless_Run(options), 0);
  EXPECT_EQ(FilesIn(options.shotsfolder), options.shotframes.size());
  for (uint32_t frame : options.shotframes) {
    VImageCapture picture;
    ASSERT_TRUE(ProbeReadPicture(HostRun_ShotPath(options.shotsfolder, frame), &picture)) << frame;
    ExpectProbeFrame(picture, frame);
  }
  EXPECT_EQ(ReadWholeFile(options.screenshot), ReadWholeFile(HostRun_ShotPath(options.shotsfolder, 30)));
}

TEST_F(HostHeadless, PicturesKeepEveryRgb565ColourExactly) {
  // 76800 pixels hold each of the 65536 values at least once.
  std::vector<uint16_t> pixels(size_t(HOST_FB_WIDTH) * HOST_FB_HEIGHT);
  for (size_t i = 0; i < pixels.size(); i++) pixels[i] = uint16_t(i * 40503u);
  std::string path = folder + "all.png";
  std::string error;
  ASSERT_TRUE(HostScreenshot_Write(path.c_str(), pixels.data(), &error)) << error;
  VImageCapture picture;
  ASSERT_TRUE(ProbeReadPicture(path, &picture));
  // Each channel is the 8-bit value nearest to the field's share of full scale.
  auto nearest = [](uint32_t wide, uint32_t field, uint32_t top) {
    int64_t error = int64_t(wide) * top - int64_t(field) * 255;
    return 2 * (error < 0 ? -error : error) <= int64_t(top);
  };
  for (size_t i = 0; i < pixels.size(); i++) {
    uint32_t colour = picture.pixels[i];
    ASSERT_TRUE(nearest(colour & 0xFF, pixels[i] >> 11, 31) &&
                nearest((colour >> 8) & 0xFF, (pixels[i] >> 5) & 63, 63) &&
                nearest((colour >> 16) & 0xFF, pixels[i] & 31, 31))
        << "pixel " << i << " value " << pixels[i] << " became " << std::hex << colour;
  }
  EXPECT_FALSE(HostScreenshot_Write((folder + "missing/x.png").c_str(), pixels.data(), &error));
  EXPECT_NE(error.find("missing/x.png: No such file or directory"), std::string::npos) << error;
  EXPECT_EQ(FilesIn(folder), 1u);
}

TEST_F(HostHeadless, ShotsFolderThatCannotBeMadeEndsTheRunBeforeTheGame) {
  std::string blocker = folder + "file";
  FILE* file = std::fopen(blocker.c_str(), "w");
  ASSERT_NE(file, nullptr);
  std::fclose(file);
  options.frames = 10;
  options.shotframes = {5};
  options.shotsfolder = blocker + "/shots";
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(HostHeadless_Run(options), 1);
  std::string message = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(message.find(options.shotsfolder), std::string::npos) << message;
  EXPECT_EQ(g_probe.frames.load(), 0u);
}

TEST_F(HostHeadless, GameSeesTheOptionsDuringItsRunOnly) {
  options.frames = 3;
  options.hasseed = true;
  options.seed = 31337;
  options.record = folder + "input.rec";
  options.replay = folder + "old.rec";
  ASSERT_EQ(HostHeadless_Run(options), 0);
  EXPECT_TRUE(g_probe.options.hasseed);
  EXPECT_EQ(g_probe.options.seed, 31337u);
  EXPECT_EQ(g_probe.record, options.record);
  EXPECT_EQ(g_probe.replay, options.replay);
  EXPECT_EQ(Platform_GetOptions()->record, nullptr);
  EXPECT_EQ(Platform_GetOptions()->replay, nullptr);
}

TEST_F(HostHeadless, SoundIsMixedAtEachFlipTheSameEveryRun) {
  auto bytesOfRun = [this](uint32_t frames) {
    HostDevices_Reset();
    g_probe.Reset();
    g_probe.opensound = true;
    options.frames = frames;
    EXPECT_EQ(HostHeadless_Run(options), 0);
    return HostDevices_DspState().byteswritten;
  };
  uint64_t first = bytesOfRun(120);
  HOSTDSPSTATE dsp = HostDevices_DspState();
  ASSERT_GT(dsp.rate, 0) << "the sound module did not open the device";
  uint64_t bytespersecond = uint64_t(dsp.rate) * (dsp.stereo ? 2 : 1) * (dsp.format == PLATFORM_AFMT_U8 ? 1 : 2);
  uint64_t played = g_probe.lastclock - g_probe.firstclock;  // game time between the first and last flip
  // As much sound as game time passed, to within a fragment and the time
  // before the first frame.
  uint64_t mixed = first * 1000000 / bytespersecond;
  EXPECT_GE(mixed + MXR_FRAGMENT_MS * 1000, played);
  EXPECT_LE(mixed, played + 100000);
  EXPECT_EQ(bytesOfRun(120), first);
  EXPECT_GT(bytesOfRun(240), first);
}

TEST_F(HostHeadless, CtrlCEndsTheRunThroughQuit) {
  HostSignals_RouteToQuit();
  options.frames = 1000;
  g_probe.signalframe = 20;
  EXPECT_EQ(HostHeadless_Run(options), 0);
  EXPECT_EQ(g_probe.frames.load(), 20u);
  EXPECT_EQ(g_probe.exits.load(), 1u);
  std::signal(SIGINT, SIG_DFL);
}

}  // namespace
