// Tests of the sound module and its driver glue: opening and volumes, loads
// from memory and from files with their codes and ownership, one start per
// slot per frame, fades in and out, stop flags, channel numbers out of range,
// music with cross-fades and the ranking of music channels, suspend and mute,
// and freeing or replacing sounds while the output thread mixes them.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "audio/mxrChannel.h"
#include "audio/mxrGP2X.h"
#include "audio/mxrSpeaker.h"
#include "audio/vmod_sound.h"
#include "platform/host/host_devices.h"
#include "tests/support/xorshift.h"
#include "tools/common/wav_writer.h"
#include "util/vmod_memory.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kMusics = VSOUND_MUSICCHANNELS;  // mixer channels before the first sound channel

// A block as the loader hands it over: the module frees it with the slot.
void* Block(const Bytes& image) {
  void* block = ClassVMemory::Alloc(static_cast<uint32_t>(image.size()));
  ClassVMemory::Copy(block, image.data(), static_cast<uint32_t>(image.size()));
  return block;
}

Bytes ConstantWav(int16_t value, uint32_t frames = 4000) {
  return wavwriter::Pcm16(1, 44100, std::vector<int16_t>(frames, value));
}

// The smallest module: 4 tracks, one pattern, no samples.
Bytes TinyModule() {
  Bytes image(1084 + 4 * 64 * 4, 0);
  image[950] = 1;
  std::memcpy(&image[1080], "M.K.", 4);
  return image;
}

int LoadImage(ClassVSound& sound, uint32_t slot, const Bytes& image, bool music = false) {
  void* block = Block(image);
  const auto length = static_cast<uint32_t>(image.size());
  const int result = music ? sound.LoadMusic(slot, block, length) : sound.LoadSoundEffect(slot, block, length);
  if (result != VSOUND_OK) ClassVMemory::DeAlloc(block);  // refused: still ours
  return result;
}

// Mixer volume (0..64) the module's fade sets at a position.
unsigned FadeVolume(int64_t position, int64_t duration) {
  return static_cast<unsigned>(position * 255 / duration) * 64 / 255;
}

class SoundModule : public ::testing::Test {
 protected:
  void SetUp() override {
    mxrGP2X::manualByDefault(true);
    ASSERT_EQ(sound.Open(), 0);
  }
  void TearDown() override {
    sound.Close();
    mxrGP2X::manualByDefault(false);
  }

  mxrChannel* SoundChannel(int32_t channel) { return sound.GetDriver()->channel(channel + kMusics); }
  mxrChannel* MusicChannel(int32_t channel) { return sound.GetDriver()->channel(channel); }

  std::vector<int16_t> Pass(uint32_t frames) {
    std::vector<int16_t> out(frames * 2);
    sound.GetDriver()->updateModSFX(out.data(), frames * 4);
    return out;
  }

  ClassVSound sound;
};

// --- opening, volumes --------------------------------------------------------

TEST(SoundModuleClosed, EveryOperationRefusesUntilOpen) {
  ClassVSound sound;
  EXPECT_FALSE(sound.IsOpen());
  EXPECT_EQ(sound.GetDriver(), nullptr);
  const Bytes wav = ConstantWav(1);
  EXPECT_EQ(LoadImage(sound, 0, wav), VSOUND_NOTOPEN);
  EXPECT_EQ(LoadImage(sound, 0, TinyModule(), true), VSOUND_NOTOPEN);
  EXPECT_EQ(sound.LoadSoundEffect(0, "no-such.wav"), VSOUND_NOTOPEN);
  EXPECT_EQ(sound.PlaySound(0), -1);
  EXPECT_EQ(sound.PlayMusic(0, true), -1);
  EXPECT_EQ(sound.MusicPlaying(), -1);
  sound.Suspend();  // closed: only the flag
  EXPECT_TRUE(sound.IsSuspended());
  sound.Resume();
  EXPECT_FALSE(sound.IsSuspended());
  sound.Update(16);
  sound.Close();
}

TEST_F(SoundModule, OpenGivesEightSoundAndTwoMusicChannelsAtVolume96) {
  mxrSpeaker* mixer = sound.GetDriver();
  ASSERT_NE(mixer, nullptr);
  EXPECT_TRUE(sound.IsOpen());
  EXPECT_EQ(mixer->maxChannelSounds(), 8);
  EXPECT_EQ(mixer->maxChannelMusics(), 2);
  EXPECT_TRUE(mixer->sixteenBit());
  EXPECT_TRUE(mixer->stereo());
  EXPECT_EQ(mixer->rate(), 44100u);
  EXPECT_EQ(sound.GetSoundVolume(), 96);
  EXPECT_EQ(sound.GetMusicVolume(), 96);
  EXPECT_EQ(mixer->volumeSounds(), 24u);
  EXPECT_EQ(mixer->volumeMusics(), 24u);
  // Opening again closes first and starts afresh.
  ASSERT_EQ(LoadImage(sound, 5, ConstantWav(1)), VSOUND_OK);
  ASSERT_EQ(sound.Open(22050, 8, false), 0);
  EXPECT_FALSE(sound.GetDriver()->sixteenBit());
  EXPECT_EQ(sound.PlaySound(5), -1);  // the slot went with the close
}

struct VolumeCase {
  uint32_t volume;
  unsigned mixer;
};

TEST_F(SoundModule, VolumesMapOntoTheMixerScale) {
  const VolumeCase cases[] = {{255, 64}, {96, 24}, {0, 0}, {128, 32}, {191, 47}, {1000, 64}};
  for (const VolumeCase& c : cases) {
    sound.SetSoundVolume(c.volume);
    sound.SetMusicVolume(c.volume);
    EXPECT_EQ(sound.GetDriver()->volumeSounds(), c.mixer) << c.volume;
    EXPECT_EQ(sound.GetDriver()->volumeMusics(), c.mixer) << c.volume;
  }
}

// --- loading -----------------------------------------------------------------

TEST_F(SoundModule, LoadsRefuseBadSlotsAndBadData) {
  const Bytes wav = ConstantWav(1);
  EXPECT_EQ(LoadImage(sound, 256, wav), VSOUND_BADSLOT);
  EXPECT_EQ(LoadImage(sound, 255, wav), VSOUND_OK);
  EXPECT_EQ(LoadImage(sound, 32, TinyModule(), true), VSOUND_BADSLOT);
  EXPECT_EQ(LoadImage(sound, 31, TinyModule(), true), VSOUND_OK);
  Bytes broken = wav;
  std::memcpy(&broken[12], "junk", 4);
  EXPECT_EQ(LoadImage(sound, 7, broken), VSOUND_DRIVERERROR);
  EXPECT_EQ(sound.PlaySound(7), -1);  // holds a sound that did not load
  EXPECT_EQ(LoadImage(sound, 7, wav), VSOUND_OK);
  EXPECT_GE(sound.PlaySound(7), 0);
  Bytes notmod = TinyModule();
  std::memcpy(&notmod[1080], "FLT4", 4);
  EXPECT_EQ(LoadImage(sound, 3, notmod, true), VSOUND_DRIVERERROR);
  EXPECT_EQ(sound.PlayMusic(3, true), -1);
}

class SoundFiles : public SoundModule {
 protected:
  void SetUp() override {
    SoundModule::SetUp();
    char pattern[] = "/tmp/vexa_sound_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder = pattern;
  }
  void TearDown() override {
    for (const std::string& file : files) std::remove(file.c_str());
    rmdir(folder.c_str());
    SoundModule::TearDown();
  }
  std::string Write(const char* name, const Bytes& contents) {
    const std::string path = folder + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    if (f != nullptr) {
      if (!contents.empty()) std::fwrite(contents.data(), 1, contents.size(), f);
      std::fclose(f);
    }
    files.push_back(path);
    return path;
  }

  std::string folder;
  std::vector<std::string> files;
};

TEST_F(SoundFiles, PathLoadsReadTheWholeFile) {
  const std::string wav = Write("click.wav", ConstantWav(2000));
  EXPECT_EQ(sound.LoadSoundEffect(1, wav.c_str()), VSOUND_OK);
  const int32_t channel = sound.PlaySound(1);
  ASSERT_GE(channel, 0);
  EXPECT_EQ(Pass(1), (std::vector<int16_t>{2000 * 24 / 128, 2000 * 24 / 128}));  // global volume 24
  const std::u16string wide(wav.begin(), wav.end());
  EXPECT_EQ(sound.LoadSoundEffect(2, wide.c_str()), VSOUND_OK);
  const std::string mod = Write("tune.mod", TinyModule());
  EXPECT_EQ(sound.LoadMusic(0, mod.c_str()), VSOUND_OK);
  EXPECT_EQ(sound.PlayMusic(0, true), 0);
  EXPECT_EQ(sound.LoadSoundEffect(3, (folder + "/missing.wav").c_str()), VSOUND_NOFILE);
  EXPECT_EQ(sound.LoadSoundEffect(3, Write("empty.wav", {}).c_str()), VSOUND_NOFILE);
  EXPECT_EQ(sound.LoadSoundEffect(3, mod.c_str()), VSOUND_DRIVERERROR);  // read, refused, block freed
  EXPECT_EQ(sound.LoadSoundEffect(256, wav.c_str()), VSOUND_BADSLOT);
  EXPECT_EQ(sound.LoadMusic(32, mod.c_str()), VSOUND_BADSLOT);
}

// --- playing sounds ----------------------------------------------------------

TEST_F(SoundModule, SameSlotStartsOncePerFrame) {
  ASSERT_EQ(LoadImage(sound, 1, ConstantWav(1)), VSOUND_OK);
  ASSERT_EQ(LoadImage(sound, 2, ConstantWav(1)), VSOUND_OK);
  EXPECT_EQ(sound.PlaySound(1), 0);
  EXPECT_EQ(sound.PlaySound(1), -1);
  EXPECT_EQ(sound.PlaySound(2), 1);
  sound.Update(16);
  EXPECT_EQ(sound.PlaySound(1), 2);
  EXPECT_EQ(sound.PlaySound(0), -1);    // empty slot
  EXPECT_EQ(sound.PlaySound(300), -1);  // beyond the slots
}

TEST_F(SoundModule, PanAndSpeedAreHandedToTheChannel) {
  ASSERT_EQ(LoadImage(sound, 1, ConstantWav(1)), VSOUND_OK);
  const struct {
    int32_t pan;
    unsigned mixerpan;
  } pans[] = {{0, 128}, {-128, 0}, {127, 255}, {-28, 100}};
  for (const auto& c : pans) {
    sound.Update(16);
    const int32_t channel = sound.PlaySound(1, 0, c.pan);
    ASSERT_GE(channel, 0);
    EXPECT_EQ(SoundChannel(channel)->pan(), c.mixerpan) << c.pan;
    EXPECT_EQ(SoundChannel(channel)->speed(), 128u);  // speed 0 leaves it alone
  }
  sound.Update(16);
  const int32_t channel = sound.PlaySound(1, 100);
  ASSERT_GE(channel, 0);
  EXPECT_EQ(SoundChannel(channel)->speed(), 100u + 32768u);
}

TEST_F(SoundModule, FadeOutGetsQuieterOverItsTimeThenStops) {
  ASSERT_EQ(LoadImage(sound, 4, ConstantWav(1)), VSOUND_OK);
  const int32_t channel = sound.PlaySound(4, 0, 0, true, VSOUND_FADEOUT, 500);
  ASSERT_EQ(channel, 0);
  EXPECT_EQ(SoundChannel(channel)->volume(), 64u);
  for (int64_t position : {400, 300, 200, 100}) {
    sound.Update(100);
    EXPECT_EQ(SoundChannel(channel)->volume(), FadeVolume(position, 500)) << position;
    EXPECT_TRUE(SoundChannel(channel)->playing());
  }
  sound.Update(100);
  EXPECT_TRUE(SoundChannel(channel)->isFree());
  ASSERT_EQ(LoadImage(sound, 5, ConstantWav(1)), VSOUND_OK);
  EXPECT_EQ(sound.PlaySound(5), 0);  // the record is free again
}

TEST_F(SoundModule, FadeInEndsAtFullVolumeEvenWhenAFrameOvershoots) {
  ASSERT_EQ(LoadImage(sound, 4, ConstantWav(1)), VSOUND_OK);
  const int32_t channel = sound.PlaySound(4, 0, 0, true, VSOUND_FADEIN, 300);
  ASSERT_GE(channel, 0);
  EXPECT_EQ(SoundChannel(channel)->volume(), 0u);
  sound.Update(100);
  EXPECT_EQ(SoundChannel(channel)->volume(), FadeVolume(100, 300));
  sound.Update(250);  // past the end
  EXPECT_EQ(SoundChannel(channel)->volume(), 64u);
  sound.Update(100);
  EXPECT_EQ(SoundChannel(channel)->volume(), 64u);
  // A fade shorter than one frame ends in that frame.
  ASSERT_EQ(LoadImage(sound, 6, ConstantWav(1)), VSOUND_OK);
  const int32_t quick = sound.PlaySound(6, 0, 0, false, VSOUND_FADEIN, 10);
  EXPECT_EQ(SoundChannel(quick)->volume(), 0u);
  sound.Update(16);
  EXPECT_EQ(SoundChannel(quick)->volume(), 64u);
}

TEST_F(SoundModule, StopFlagsZeroAndThreeStopAtOnce) {
  ASSERT_EQ(LoadImage(sound, 1, ConstantWav(1)), VSOUND_OK);
  for (uint32_t flags : {0u, 3u}) {
    sound.Update(16);
    const int32_t channel = sound.PlaySound(1, 0, 0, true);
    ASSERT_GE(channel, 0);
    sound.StopSoundChannel(channel, flags, 1000);
    EXPECT_TRUE(SoundChannel(channel)->isFree()) << flags;
  }
}

TEST_F(SoundModule, StopFlagsOneAndTwoFadeThroughUpdate) {
  ASSERT_EQ(LoadImage(sound, 1, ConstantWav(1)), VSOUND_OK);
  const int32_t channel = sound.PlaySound(1, 0, 0, true);
  sound.StopSoundChannel(channel, VSOUND_STOPFADEIN, 100);
  sound.Update(50);
  EXPECT_EQ(SoundChannel(channel)->volume(), FadeVolume(50, 100));
  sound.Update(60);
  EXPECT_EQ(SoundChannel(channel)->volume(), 64u);
  sound.StopSound(1, VSOUND_STOPFADEOUT, 200);
  sound.Update(50);
  EXPECT_EQ(SoundChannel(channel)->volume(), FadeVolume(150, 200));
  sound.Update(150);
  EXPECT_TRUE(SoundChannel(channel)->isFree());
  // StopSound and StopSoundAll reach every channel of the slot, or every one.
  sound.PlaySound(1, 0, 0, true);
  sound.Update(16);
  sound.PlaySound(1, 0, 0, true);
  EXPECT_EQ(sound.GetDriver()->playingChannelSounds(), 2);
  sound.StopSound(1);
  EXPECT_EQ(sound.GetDriver()->playingChannelSounds(), 0);
  sound.Update(16);
  sound.PlaySound(1, 0, 0, true);
  sound.StopSoundAll();
  EXPECT_EQ(sound.GetDriver()->playingChannelSounds(), 0);
}

TEST_F(SoundModule, ChannelNumbersOutOfRangeAreIgnored) {
  ASSERT_EQ(LoadImage(sound, 1, ConstantWav(1)), VSOUND_OK);
  ASSERT_EQ(LoadImage(sound, 0, TinyModule(), true), VSOUND_OK);
  const int32_t channel = sound.PlaySound(1, 0, 0, true);
  ASSERT_EQ(channel, 0);
  ASSERT_EQ(sound.PlayMusic(0, true), 0);
  const int32_t failed = sound.PlaySound(1);  // same frame: refused
  ASSERT_EQ(failed, -1);
  for (int32_t bad : {failed, -2, 8, 1000}) {
    sound.StopSoundChannel(bad);
    EXPECT_TRUE(SoundChannel(channel)->playing()) << bad;
  }
  for (int32_t bad : {-1, 2}) {
    sound.StopMusicChannel(bad);
    EXPECT_TRUE(MusicChannel(0)->playing()) << bad;
  }
  sound.StopSound(256);
  sound.StopMusic(32);
  EXPECT_TRUE(SoundChannel(channel)->playing());
  EXPECT_TRUE(MusicChannel(0)->playing());
}

TEST_F(SoundModule, SuspendAllowsOnlyLoopingStartsAndMuteOutlastsResume) {
  ASSERT_EQ(LoadImage(sound, 1, ConstantWav(1)), VSOUND_OK);
  auto* driver = dynamic_cast<mxrGP2X*>(sound.GetDriver()->driver());
  ASSERT_NE(driver, nullptr);
  EXPECT_FALSE(driver->suspended());
  sound.Suspend();
  EXPECT_TRUE(driver->suspended());
  EXPECT_EQ(sound.PlaySound(1), -1);
  EXPECT_GE(sound.PlaySound(1, 0, 0, true), 0);
  sound.Resume();
  EXPECT_FALSE(driver->suspended());
  sound.SetMute(true);
  EXPECT_TRUE(sound.IsMuted());
  EXPECT_TRUE(driver->suspended());
  sound.Resume();  // muted: stays silent
  EXPECT_TRUE(driver->suspended());
  EXPECT_TRUE(sound.IsSuspended());
  sound.SetMute(false);
  EXPECT_FALSE(driver->suspended());
  EXPECT_FALSE(sound.IsSuspended());
  // A suspend before the mute is undone by the unmute as well.
  sound.Suspend();
  sound.SetMute(true);
  sound.SetMute(false);
  EXPECT_FALSE(driver->suspended());
}

// --- freeing and replacing while the mixer reads -----------------------------

TEST_F(SoundModule, LoadingOverAPlayingSlotStopsItsChannelFirst) {
  ASSERT_EQ(LoadImage(sound, 3, ConstantWav(12800)), VSOUND_OK);
  const int32_t channel = sound.PlaySound(3, 0, 0, true);
  ASSERT_GE(channel, 0);
  EXPECT_EQ(Pass(1)[0], 12800 * 24 / 128);
  ASSERT_EQ(LoadImage(sound, 3, ConstantWav(-6400)), VSOUND_OK);
  EXPECT_TRUE(SoundChannel(channel)->isFree());
  EXPECT_EQ(Pass(4), std::vector<int16_t>(8, 0));
  sound.Update(16);
  ASSERT_GE(sound.PlaySound(3), 0);
  EXPECT_EQ(Pass(1)[0], -6400 * 24 / 128);
}

// The game thread frees a sound while a pass that collected it still runs
// (here: while this thread holds the critical section, as the output thread
// does around every pass). The free has to wait: the pass still mixes the
// intact sound, and only afterwards is the slot empty.
TEST_F(SoundModule, FreeWaitsForThePassThatIsMixingTheSound) {
  ASSERT_EQ(LoadImage(sound, 9, ConstantWav(12800)), VSOUND_OK);
  ASSERT_GE(sound.PlaySound(9, 0, 0, true), 0);
  mxrSpeaker* mixer = sound.GetDriver();
  std::atomic<bool> started{false};
  std::atomic<bool> freed{false};
  mixer->enterCriticalSection();
  std::thread game([&] {
    started = true;
    sound.FreeSoundEffect(9);
    freed = true;
  });
  while (!started) std::this_thread::yield();
  for (int i = 0; i < 1000 && !freed; ++i) std::this_thread::yield();
  EXPECT_FALSE(freed);
  EXPECT_EQ(Pass(2), std::vector<int16_t>(4, 12800 * 24 / 128));
  mixer->leaveCriticalSection();
  game.join();
  EXPECT_TRUE(freed);
  EXPECT_EQ(Pass(2), std::vector<int16_t>(4, 0));
  sound.Update(16);
  EXPECT_EQ(sound.PlaySound(9), -1);
}

// --- music ---------------------------------------------------------------------

TEST_F(SoundModule, PlayMusicReplacesOtherMusicUnlessAskedToKeepIt) {
  ASSERT_EQ(LoadImage(sound, 0, TinyModule(), true), VSOUND_OK);
  ASSERT_EQ(LoadImage(sound, 1, TinyModule(), true), VSOUND_OK);
  EXPECT_EQ(sound.PlayMusic(0, true), 0);
  EXPECT_EQ(sound.MusicPlaying(), 0);
  EXPECT_EQ(sound.PlayMusic(1, true), 0);  // the first was stopped
  EXPECT_EQ(sound.MusicPlaying(), 1);
  EXPECT_EQ(sound.PlayMusic(0, false, VSOUND_KEEPMUSIC), 1);
  EXPECT_EQ(sound.MusicPlaying(), 0);  // the one-shot tune ranks before the looping one
  EXPECT_EQ(sound.PlayMusic(5, true), -1);
  EXPECT_EQ(sound.GetDriver()->playingChannelMusics(), 0);  // stopped before finding slot 5 empty
  sound.PlayMusic(0, true);
  sound.StopMusicAll();
  EXPECT_EQ(sound.MusicPlaying(), -1);
  EXPECT_EQ(sound.PlayMusic(33, true), -1);
}

TEST_F(SoundModule, MusicRankingPrefersFadingInThenOneShotThenLowerChannel) {
  ASSERT_EQ(LoadImage(sound, 2, TinyModule(), true), VSOUND_OK);
  ASSERT_EQ(LoadImage(sound, 3, TinyModule(), true), VSOUND_OK);
  sound.PlayMusic(2, true);
  sound.PlayMusic(3, true, VSOUND_KEEPMUSIC);
  EXPECT_EQ(sound.MusicPlaying(), 2);  // a tie goes to the lower channel
  sound.StopMusicChannel(1, VSOUND_STOPFADEIN, 400);
  sound.Update(100);
  EXPECT_EQ(sound.MusicPlaying(), 3);  // 1024 x 100 / 400 + 16384 is below 1024 + 16384
  sound.StopMusicChannel(1, VSOUND_STOPFADEOUT, 400);
  EXPECT_EQ(sound.MusicPlaying(), 2);  // fading out does not count
  sound.StopMusicChannel(0, VSOUND_STOPFADEOUT, 400);
  EXPECT_EQ(sound.MusicPlaying(), -1);
}

TEST_F(SoundModule, CrossFadeHoldsTheNewMusicSilentForAnEighthThenRaisesIt) {
  ASSERT_EQ(LoadImage(sound, 0, TinyModule(), true), VSOUND_OK);
  ASSERT_EQ(LoadImage(sound, 1, TinyModule(), true), VSOUND_OK);
  ASSERT_EQ(sound.PlayMusic(0, true), 0);
  ASSERT_EQ(sound.PlayMusic(1, true, VSOUND_CROSSFADE, 800), 1);
  EXPECT_EQ(MusicChannel(1)->volume(), 0u);
  EXPECT_EQ(MusicChannel(0)->volume(), 64u);
  // New music: position -100 at the start; old music: 800 going down.
  sound.Update(50);
  EXPECT_EQ(MusicChannel(1)->volume(), 0u);
  EXPECT_EQ(MusicChannel(0)->volume(), FadeVolume(750, 800));
  sound.Update(100);
  EXPECT_EQ(MusicChannel(1)->volume(), FadeVolume(50, 800));
  EXPECT_EQ(MusicChannel(0)->volume(), FadeVolume(650, 800));
  EXPECT_EQ(sound.MusicPlaying(), 1);
  sound.Update(650);
  EXPECT_TRUE(MusicChannel(0)->isFree());
  EXPECT_EQ(MusicChannel(1)->volume(), FadeVolume(700, 800));
  sound.Update(100);
  EXPECT_EQ(MusicChannel(1)->volume(), 64u);
  EXPECT_TRUE(MusicChannel(1)->playing());
}

TEST_F(SoundModule, CrossFadeOfTimeZeroSwitchesInOneFrame) {
  ASSERT_EQ(LoadImage(sound, 0, TinyModule(), true), VSOUND_OK);
  ASSERT_EQ(LoadImage(sound, 1, TinyModule(), true), VSOUND_OK);
  ASSERT_EQ(sound.PlayMusic(0, true), 0);
  ASSERT_EQ(sound.PlayMusic(1, true, VSOUND_CROSSFADE, 0), 1);
  EXPECT_EQ(MusicChannel(1)->volume(), 0u);
  sound.Update(16);
  EXPECT_EQ(MusicChannel(1)->volume(), 64u);
  EXPECT_TRUE(MusicChannel(0)->isFree());
}

TEST_F(SoundModule, CrossFadeReusesTheChannelOfOneShotMusicAtOnce) {
  ASSERT_EQ(LoadImage(sound, 0, TinyModule(), true), VSOUND_OK);
  ASSERT_EQ(LoadImage(sound, 1, TinyModule(), true), VSOUND_OK);
  ASSERT_EQ(LoadImage(sound, 2, TinyModule(), true), VSOUND_OK);
  ASSERT_EQ(sound.PlayMusic(0, false), 0);
  ASSERT_EQ(sound.PlayMusic(2, true, VSOUND_KEEPMUSIC), 1);
  // Both channels hold music: the one-shot tune makes way at once, the
  // looping one fades out beside the new music.
  EXPECT_EQ(sound.PlayMusic(1, true, VSOUND_CROSSFADE, 400), 0);
  EXPECT_TRUE(MusicChannel(1)->playing());
  sound.Update(100);
  EXPECT_EQ(MusicChannel(1)->volume(), FadeVolume(300, 400));
  EXPECT_EQ(sound.MusicPlaying(), 1);
}

TEST_F(SoundModule, CrossFadeWithoutMusicIsADelayedFadeIn) {
  ASSERT_EQ(LoadImage(sound, 1, TinyModule(), true), VSOUND_OK);
  EXPECT_EQ(sound.PlayMusic(1, true, VSOUND_CROSSFADE, 400), 0);
  sound.Update(40);
  EXPECT_EQ(MusicChannel(0)->volume(), 0u);  // -50 + 40: still inside the first eighth
  sound.Update(260);
  EXPECT_EQ(MusicChannel(0)->volume(), FadeVolume(250, 400));
}

TEST_F(SoundModule, FreeMusicStopsItsChannelAndLoadingOverItToo) {
  ASSERT_EQ(LoadImage(sound, 4, TinyModule(), true), VSOUND_OK);
  ASSERT_EQ(sound.PlayMusic(4, true), 0);
  sound.FreeMusic(4);
  EXPECT_TRUE(MusicChannel(0)->isFree());
  EXPECT_EQ(sound.PlayMusic(4, true), -1);
  ASSERT_EQ(LoadImage(sound, 4, TinyModule(), true), VSOUND_OK);
  ASSERT_EQ(sound.PlayMusic(4, true), 0);
  ASSERT_EQ(LoadImage(sound, 4, TinyModule(), true), VSOUND_OK);
  EXPECT_TRUE(MusicChannel(0)->isFree());
}

// --- two threads -------------------------------------------------------------

// Everything the game does with sounds, at random, while the output thread
// mixes: loading over playing slots, freeing, fades, stops and volumes.
TEST(SoundModuleThreads, GameThreadWorksTheSlotsWhileTheOutputThreadMixes) {
  ClassVSound sound;
  ASSERT_EQ(sound.Open(), 0);
  std::vector<Bytes> images;
  for (int i = 0; i < 4; ++i) images.push_back(ConstantWav(static_cast<int16_t>(1000 * (i + 1)), 2000 + 500 * i));
  XorShift32 rng{2024};
  const uint64_t start = HostDevices_DspState().byteswritten;
  const uint64_t fragment = 3528;
  int rounds = 0;
  for (; rounds < 100000 && (rounds < 400 || HostDevices_DspState().byteswritten - start < 20 * fragment); ++rounds) {
    const uint32_t slot = rng.Below(6);
    switch (rng.Below(8)) {
      case 0:
      case 1:
        LoadImage(sound, slot, images[rng.Below(images.size())]);
        break;
      case 2:
        sound.FreeSoundEffect(slot);
        break;
      case 3:
        sound.StopSoundChannel(static_cast<int32_t>(rng.Below(10)) - 1, rng.Below(4), rng.Below(100));
        break;
      case 4:
        sound.SetSoundVolume(rng.Below(256));
        break;
      default:
        sound.PlaySound(slot, 0, static_cast<int32_t>(rng.Below(256)) - 128, rng.Below(2) == 0, rng.Below(4),
                        rng.Below(200));
        break;
    }
    if (rng.Below(4) == 0) sound.Update(16);
  }
  EXPECT_GE(HostDevices_DspState().byteswritten - start, 20 * fragment) << rounds << " rounds";
  sound.Close();
}

TEST(SoundModuleThreads, CloseWhilePlayingReleasesEverything) {
  for (int round = 0; round < 3; ++round) {
    ClassVSound sound;
    ASSERT_EQ(sound.Open(), 0);
    for (uint32_t slot = 0; slot < 8; ++slot) {
      ASSERT_EQ(LoadImage(sound, slot, ConstantWav(static_cast<int16_t>(slot * 100))), VSOUND_OK);
      sound.PlaySound(slot, 0, 0, true);
    }
    ASSERT_EQ(LoadImage(sound, 0, TinyModule(), true), VSOUND_OK);
    sound.PlayMusic(0, true);
    if (round == 1) sound.Suspend();
    if (round != 2) sound.Close();  // round 2: the destructor closes
    if (round != 2) {
      EXPECT_FALSE(sound.IsOpen());
      EXPECT_EQ(sound.GetDriver(), nullptr);
    }
  }
}

}  // namespace
