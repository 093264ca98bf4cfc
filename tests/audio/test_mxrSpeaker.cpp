// Tests of the mixer: channel pools and their clamps, buffer length, channel
// choice and playback limits, channel state and rates, the period tables,
// the mixing pass against a plain per-sample model of its arithmetic (8- and
// 16-bit, mono and stereo output, every sample layout, pans, rates, loops),
// gains and clamping, music channels that play silence, and the two threads:
// starting, stopping and freeing sounds while the output thread mixes, and
// closing while playing.
#include <cstdint>
#include <cstring>
#include <memory>
#include <ostream>
#include <vector>

#include <gtest/gtest.h>

#include "audio/mxrChannel.h"
#include "audio/mxrData.h"
#include "audio/mxrGP2X.h"
#include "audio/mxrSpeaker.h"
#include "platform/host/host_devices.h"
#include "tests/support/xorshift.h"
#include "tools/common/wav_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

// --- sounds and the reference model ------------------------------------------

// A sound made in memory, with the frames the mixer should see kept apart as
// plain values (u left or mono, t right).
struct TestSound {
  Bytes image;
  mxrSound sound;
  std::vector<int32_t> u;
  std::vector<int32_t> t;
  bool stereo = false;
};

std::unique_ptr<TestSound> MakeSound(bool eightbit, bool stereo, uint32_t rate, uint32_t frames, uint32_t seed) {
  auto made = std::make_unique<TestSound>();
  made->stereo = stereo;
  XorShift32 rng{seed};
  const uint32_t samples = frames * (stereo ? 2 : 1);
  std::vector<int32_t> values;
  if (eightbit) {
    Bytes raw;
    for (uint32_t i = 0; i < samples; ++i) {
      raw.push_back(static_cast<uint8_t>(rng.Next()));
      values.push_back((int32_t{raw.back()} - 128) * 256);
    }
    made->image = wavwriter::Pcm8(stereo ? 2 : 1, rate, raw);
  } else {
    std::vector<int16_t> raw;
    for (uint32_t i = 0; i < samples; ++i) {
      raw.push_back(static_cast<int16_t>(rng.Next()));
      values.push_back(raw.back());
    }
    made->image = wavwriter::Pcm16(stereo ? 2 : 1, rate, raw);
  }
  for (uint32_t f = 0; f < frames; ++f) {
    made->u.push_back(values[stereo ? f * 2 : f]);
    made->t.push_back(stereo ? values[f * 2 + 1] : 0);
  }
  EXPECT_EQ(made->sound.load(made->image.data(), static_cast<uint32_t>(made->image.size()), false), 0);
  return made;
}

// A mono 16-bit sound holding one value throughout.
std::unique_ptr<TestSound> MakeConstantSound(int16_t value, uint32_t frames, uint32_t rate = 44100) {
  auto made = std::make_unique<TestSound>();
  made->image = wavwriter::Pcm16(1, rate, std::vector<int16_t>(frames, value));
  made->u.assign(frames, value);
  made->t.assign(frames, 0);
  EXPECT_EQ(made->sound.load(made->image.data(), static_cast<uint32_t>(made->image.size()), false), 0);
  return made;
}

int32_t FloorDiv(int32_t a, int32_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// One channel of the model, set up as playSound describes.
struct RefChannel {
  const TestSound* sound;
  uint64_t position;
  uint64_t step;
  uint64_t length;
  bool loop;
  int32_t volume;  // effective
  int32_t pan;
  bool playing;
};

struct RefMixer {
  uint32_t rate;
  bool sixteenbit;
  bool stereo;
  std::vector<RefChannel> channels;

  void Add(const TestSound& sound, uint32_t samplerate, uint32_t frames, bool loop, int32_t volume, int32_t pan,
           uint32_t globalvolume) {
    const uint64_t step = uint64_t{samplerate} * 65536 / (uint64_t{rate} * 256);
    channels.push_back({&sound, 0, step, uint64_t{frames} * 256, loop,
                        volume * static_cast<int32_t>(globalvolume) / 64, pan, true});
  }

  void Store(Bytes& out, int32_t value) const {
    if (sixteenbit) {
      const auto sample = static_cast<int16_t>(value > 32767 ? 32767 : value < -32768 ? -32768 : value);
      out.push_back(static_cast<uint8_t>(static_cast<uint16_t>(sample)));
      out.push_back(static_cast<uint8_t>(static_cast<uint16_t>(sample) >> 8));
    } else {
      out.push_back(value > 32767 ? 255 : value < -32768 ? 0 : static_cast<uint8_t>(FloorDiv(value, 256) + 128));
    }
  }

  // The pass, frame by frame and channel by channel, as written down.
  Bytes Mix(uint32_t frames) {
    Bytes out;
    for (uint32_t f = 0; f < frames; ++f) {
      int32_t left = 0, right = 0;
      for (RefChannel& c : channels) {
        if (!c.playing) continue;
        if (c.position >= c.length) {
          if (!c.loop) {
            c.playing = false;
            continue;
          }
          c.position -= c.length;
          if (c.position >= c.length) {
            c.playing = false;
            continue;
          }
        }
        const int32_t u = c.sound->u[c.position / 256];
        const int32_t t = c.sound->t[c.position / 256];
        if (!stereo) {
          left += (u + t) * c.volume;
        } else if (c.pan == 128) {
          left += u * c.volume;
          right += (c.sound->stereo ? t : u) * c.volume;
        } else {
          const int32_t w = 2 * c.volume;
          const int32_t p = w * c.pan / 256;
          left += (u + t) * (w - p);
          right += (u + t) * p;
        }
        c.position += c.step;
      }
      Store(out, FloorDiv(left, 128));
      if (stereo) Store(out, FloorDiv(right, 128));
    }
    return out;
  }
};

// The manual driver runs no output thread, so a test calls the pass itself.
class ManualOutput : public ::testing::Test {
 protected:
  void SetUp() override { mxrGP2X::manualByDefault(true); }
  void TearDown() override { mxrGP2X::manualByDefault(false); }

  static Bytes Pass(mxrSpeaker& speaker, uint32_t bytes) {
    Bytes out(bytes, 0x5A);
    speaker.updateModSFX(out.data(), bytes);
    return out;
  }

  static std::vector<int16_t> Pass16(mxrSpeaker& speaker, uint32_t samples) {
    const Bytes raw = Pass(speaker, samples * 2);
    std::vector<int16_t> out(samples);
    std::memcpy(out.data(), raw.data(), raw.size());
    return out;
  }
};

// --- open, close, pools ------------------------------------------------------

struct PoolCase {
  unsigned musics, sounds;
  int expectedmusics, expectedsounds;
};

void PrintTo(const PoolCase& c, std::ostream* os) { *os << c.musics << " music, " << c.sounds << " sound"; }

class Pools : public ManualOutput, public ::testing::WithParamInterface<PoolCase> {};

TEST_P(Pools, ChannelCountsAreClampedAndMusicComesFirst) {
  const PoolCase& c = GetParam();
  mxrSpeaker speaker;
  ASSERT_EQ(speaker.open(44100, 16, true, c.musics, c.sounds), 0);
  EXPECT_EQ(speaker.maxChannelMusics(), c.expectedmusics);
  EXPECT_EQ(speaker.maxChannelSounds(), c.expectedsounds);
  const int total = c.expectedmusics + c.expectedsounds;
  for (int i = 0; i < total; ++i) {
    const bool music = i < c.expectedmusics;
    EXPECT_EQ(dynamic_cast<mxrMusicChannel*>(speaker.channel(i)) != nullptr, music) << i;
    EXPECT_EQ(dynamic_cast<mxrSoundChannel*>(speaker.channel(i)) != nullptr, !music) << i;
  }
  EXPECT_EQ(speaker.channel(-1), nullptr);
  EXPECT_EQ(speaker.channel(total), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Clamps, Pools,
                         ::testing::Values(PoolCase{2, 8, 2, 8}, PoolCase{0, 200, 1, 128}, PoolCase{100, 3, 64, 8},
                                           PoolCase{64, 128, 64, 128}));

TEST_F(ManualOutput, TwoMusicAndEightSoundChannelsPutTheFirstSoundAtIndexTwo) {
  mxrSpeaker speaker;
  ASSERT_EQ(speaker.open(44100, 16, true, 2, 8), 0);
  auto sound = MakeConstantSound(1000, 100);
  EXPECT_EQ(speaker.playSound(&sound->sound, MXR_PLAY_ANYCHANNEL), 2);
  EXPECT_EQ(speaker.playSound(&sound->sound, MXR_PLAY_ANYCHANNEL | 7), 3);  // the channel bits count only without "any"
  EXPECT_EQ(speaker.playSound(&sound->sound, 7), 9);
  EXPECT_EQ(speaker.playingChannelSounds(), 3);
}

TEST_F(ManualOutput, OpenTwiceFailsAndReopenAfterCloseWorks) {
  mxrSpeaker speaker;
  EXPECT_FALSE(speaker.isOpen());
  ASSERT_EQ(speaker.open(22050, 8, false, 1, 8), 0);
  EXPECT_EQ(speaker.open(22050, 8, false, 1, 8), MXR_SPEAKER_ALREADYOPEN);
  EXPECT_EQ(speaker.volumeSounds(), 64u);
  EXPECT_EQ(speaker.volumeMusics(), 64u);
  speaker.close();
  EXPECT_FALSE(speaker.isOpen());
  EXPECT_EQ(speaker.maxChannelSounds(), 0);
  EXPECT_EQ(speaker.channel(0), nullptr);
  EXPECT_EQ(speaker.open(44100, 16, true, 2, 8), 0);
  EXPECT_TRUE(speaker.sixteenBit());
  EXPECT_TRUE(speaker.stereo());
  EXPECT_EQ(speaker.rate(), 44100u);
}

TEST_F(ManualOutput, DriverRefusalIsReturnedAndLeavesTheMixerClosed) {
  mxrSpeaker speaker;
  EXPECT_LT(speaker.open(0, 16, true, 2, 8), 0);
  EXPECT_FALSE(speaker.isOpen());
  EXPECT_EQ(speaker.channel(0), nullptr);
  auto sound = MakeConstantSound(1, 10);
  EXPECT_EQ(speaker.playSound(&sound->sound, MXR_PLAY_ANYCHANNEL), MXR_SPEAKER_NOCHANNEL);
  EXPECT_EQ(speaker.open(44100, 16, true, 2, 8), 0);
}

TEST_F(ManualOutput, BufferLengthBelowSixtyIsRefusedAndWhileOpenToo) {
  mxrSpeaker speaker;
  EXPECT_EQ(speaker.bufferLength(), 200u);
  EXPECT_EQ(speaker.bufferLength(59), MXR_SPEAKER_BUFFERTOOSHORT);
  EXPECT_EQ(speaker.bufferLength(), 200u);
  EXPECT_EQ(speaker.bufferLength(60), 0);
  EXPECT_EQ(speaker.bufferLength(), 60u);
  ASSERT_EQ(speaker.open(44100, 16, true, 2, 8), 0);
  EXPECT_EQ(speaker.bufferLength(100), MXR_SPEAKER_ALREADYOPEN);
  EXPECT_EQ(speaker.bufferLength(), 60u);
  // The driver was asked for 60 ms: 3 fragments of 20 ms.
  auto* driver = dynamic_cast<mxrGP2X*>(speaker.driver());
  ASSERT_NE(driver, nullptr);
  EXPECT_EQ(driver->fragmentCount(), 3u);
}

// --- choosing channels -------------------------------------------------------

TEST_F(ManualOutput, PlaySoundRefusesWithoutMixerDataOrChannel) {
  mxrSpeaker speaker;
  auto sound = MakeConstantSound(1, 10);
  EXPECT_EQ(speaker.playSound(&sound->sound, MXR_PLAY_ANYCHANNEL), MXR_SPEAKER_NOCHANNEL);  // closed
  ASSERT_EQ(speaker.open(44100, 16, true, 2, 8), 0);
  mxrSound empty;
  EXPECT_EQ(speaker.playSound(&empty, MXR_PLAY_ANYCHANNEL), MXR_SPEAKER_NOCHANNEL);
  EXPECT_EQ(speaker.playSound(nullptr, MXR_PLAY_ANYCHANNEL), MXR_SPEAKER_NOCHANNEL);
  EXPECT_EQ(speaker.playSound(&sound->sound, 8), MXR_SPEAKER_NOCHANNEL);  // no ninth sound channel
  EXPECT_EQ(speaker.playSound(&sound->sound, 4), 6);
  EXPECT_EQ(speaker.playSound(&sound->sound, 4), MXR_SPEAKER_NOCHANNEL);  // busy
  for (int i = 0; i < 7; ++i) {
    EXPECT_GE(speaker.playSound(&sound->sound, MXR_PLAY_ANYCHANNEL), 0);
  }
  EXPECT_EQ(speaker.playSound(&sound->sound, MXR_PLAY_ANYCHANNEL), MXR_SPEAKER_NOCHANNEL);  // all busy
}

TEST_F(ManualOutput, PlaybackLimitTakesTheLastFreeChannelAndCountsTheSameData) {
  mxrSpeaker speaker;
  ASSERT_EQ(speaker.open(44100, 16, true, 2, 8), 0);
  auto limited = MakeConstantSound(1, 10);
  auto other = MakeConstantSound(2, 10);
  limited->sound.maxplaybacks(2);
  EXPECT_EQ(speaker.playSound(&other->sound, MXR_PLAY_ANYCHANNEL), 2);
  EXPECT_EQ(speaker.playSound(&limited->sound, MXR_PLAY_ANYCHANNEL), 9);
  EXPECT_EQ(speaker.playSound(&limited->sound, MXR_PLAY_ANYCHANNEL), 8);
  EXPECT_EQ(speaker.playSound(&limited->sound, MXR_PLAY_ANYCHANNEL), MXR_SPEAKER_NOCHANNEL);
  EXPECT_EQ(speaker.playSound(&limited->sound, 3), MXR_SPEAKER_NOCHANNEL);  // a named channel obeys the limit too
  EXPECT_EQ(speaker.playSound(&other->sound, MXR_PLAY_ANYCHANNEL), 3);      // other data is not counted
  speaker.channel(9)->stop();
  EXPECT_EQ(speaker.playSound(&limited->sound, 4), 6);
}

TEST_F(ManualOutput, PausedStartHoldsTheChannelWithoutPlayingIt) {
  mxrSpeaker speaker;
  ASSERT_EQ(speaker.open(44100, 16, true, 2, 8), 0);
  auto sound = MakeConstantSound(20000, 100);
  const int index = speaker.playSound(&sound->sound, MXR_PLAY_ANYCHANNEL | MXR_PLAY_PAUSED);
  ASSERT_EQ(index, 2);
  mxrChannel* c = speaker.channel(index);
  EXPECT_TRUE(c->paused());
  EXPECT_FALSE(c->playing());
  EXPECT_FALSE(c->isFree());
  EXPECT_EQ(speaker.playSound(&sound->sound, 0), MXR_SPEAKER_NOCHANNEL);
  EXPECT_EQ(Pass16(speaker, 8), std::vector<int16_t>(8, 0));
  speaker.unpauseSounds();
  EXPECT_TRUE(c->playing());
  EXPECT_EQ(Pass16(speaker, 2), std::vector<int16_t>(2, 20000 * 64 / 128));
}

TEST_F(ManualOutput, PauseAndResumeTouchOnlyChannelsThatAreNotStopped) {
  mxrSpeaker speaker;
  ASSERT_EQ(speaker.open(44100, 16, true, 2, 8), 0);
  mxrChannel* idle = speaker.channel(3);
  idle->pause();
  EXPECT_TRUE(idle->isFree());
  auto sound = MakeConstantSound(1, 10);
  mxrChannel* busy = speaker.channel(speaker.playSound(&sound->sound, MXR_PLAY_ANYCHANNEL));
  busy->pause();
  EXPECT_TRUE(busy->paused());
  busy->resume();
  EXPECT_TRUE(busy->playing());
  speaker.pauseSounds();
  EXPECT_TRUE(busy->paused());
  speaker.stopSounds();
  EXPECT_TRUE(busy->isFree());
  EXPECT_FALSE(busy->paused());
  EXPECT_EQ(speaker.playingChannelSounds(), 0);
}

// --- channel state -----------------------------------------------------------

TEST_F(ManualOutput, VolumesClampAndFollowTheGlobalVolume) {
  mxrSpeaker speaker;
  ASSERT_EQ(speaker.open(44100, 16, true, 2, 8), 0);
  mxrChannel* c = speaker.channel(2);
  c->volume(100);
  EXPECT_EQ(c->volume(), 64u);
  EXPECT_EQ(c->effectiveVolume(), 64u);
  c->volume(40);
  speaker.volumeSounds(32);
  EXPECT_EQ(c->effectiveVolume(), 40u * 32 / 64);
  speaker.volumeSounds(1000);
  EXPECT_EQ(speaker.volumeSounds(), 64u);
  EXPECT_EQ(c->effectiveVolume(), 40u);
  mxrChannel* music = speaker.channel(0);
  music->volume(48);
  speaker.volumeMusics(16);
  EXPECT_EQ(music->effectiveVolume(), 48u * 16 / 64);
  EXPECT_EQ(c->effectiveVolume(), 40u);  // sounds keep their own global volume
  c->pan(300);
  EXPECT_EQ(c->pan(), 255u);
  music->pan(17);
  EXPECT_EQ(music->pan(), 17u);
}

TEST_F(ManualOutput, FrequencyAndSpeedAtFullRateDoNotOverflow) {
  mxrSpeaker speaker;
  ASSERT_EQ(speaker.open(44100, 16, false, 1, 8), 0);
  std::vector<int16_t> ramp(64);
  for (int i = 0; i < 64; ++i) ramp[i] = static_cast<int16_t>(i * 256);
  Bytes image = wavwriter::Pcm16(1, 44100, ramp);
  mxrSound sound;
  ASSERT_EQ(sound.load(image.data(), static_cast<uint32_t>(image.size()), false), 0);
  mxrChannel* c = speaker.channel(speaker.playSound(&sound, MXR_PLAY_ANYCHANNEL));
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->baseRate(), 44100u);
  // 44100 x 65536 passes 2^31: the speed must still come out normal.
  c->frequency(44100);
  EXPECT_EQ(c->speed(), 128u);
  c->frequency(88200);
  EXPECT_EQ(c->speed(), 256u);
  // Twice the rate steps two frames per output sample.
  std::vector<int16_t> out = Pass16(speaker, 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(out[i], ramp[i * 2] * 64 / 128) << i;
  c->speed(64);
  EXPECT_EQ(c->frequency(), 22050u);
  c->speed(128);
  EXPECT_EQ(c->frequency(), 44100u);
  out = Pass16(speaker, 2);
  EXPECT_EQ(out[0], ramp[8] * 64 / 128);
  EXPECT_EQ(out[1], ramp[9] * 64 / 128);
}

TEST_F(ManualOutput, SoundPositionIsInFramesAndClampsToTheEnd) {
  mxrSpeaker speaker;
  ASSERT_EQ(speaker.open(44100, 16, true, 2, 8), 0);
  auto sound = MakeConstantSound(5, 1000);
  mxrChannel* c = speaker.channel(speaker.playSound(&sound->sound, MXR_PLAY_ANYCHANNEL));
  EXPECT_EQ(c->length(), 1000u);
  EXPECT_EQ(c->position(), 0u);
  Pass(speaker, 10 * 4);
  EXPECT_EQ(c->position(), 10u);
  c->position(500);
  EXPECT_EQ(c->position(), 500u);
  c->position(5000);
  EXPECT_EQ(c->position(), 1000u);
  Pass(speaker, 4);
  EXPECT_TRUE(c->isFree());
}

// --- period tables -----------------------------------------------------------

TEST_F(ManualOutput, StepTableFollowsThePaulaClockAtTheOutputRate) {
  mxrSpeaker speaker;
  for (unsigned rate : {44100u, 22050u, 8000u}) {
    speaker.createTables(rate);
    EXPECT_EQ(speaker.periodStep(0), 0u);
    for (unsigned period : {1u, 13u, 113u, 428u, 856u, 1712u}) {
      const uint64_t expected = ((7159090ull / (2 * period)) * 4096) / rate;
      EXPECT_EQ(speaker.periodStep(period), expected) << rate << " Hz, period " << period;
    }
  }
  speaker.createTables(44100);
  EXPECT_EQ(speaker.periodStep(428), 776u);  // C-2 of the period table: 8363 Hz, 776/4096 of a sample per output sample
}

struct NoteCase {
  unsigned period;
  int note;
};

const NoteCase NOTE_CASES[] = {
    {428, 24},  // exact: C-2 of the standard table
    {1712, 0},  {13, 83},
    {0, 83},    // entry 0 is the smallest period
    {430, 24},  // nearest
    {832, 12},  // halfway between 856 and 808: the first of equals
    {2000, 0},  {1, 83},
};

TEST_F(ManualOutput, NoteIndexIsTheNearestPeriodOfRowZero) {
  mxrSpeaker speaker;
  speaker.createTables(44100);
  for (const NoteCase& c : NOTE_CASES) {
    EXPECT_EQ(speaker.findBestNoteIndex(c.period), c.note) << c.period;
    if (c.period < MXR_PERIODS) {
      EXPECT_EQ(speaker.noteIndex(c.period), c.note) << c.period;
    }
  }
}

// --- the mixing pass ---------------------------------------------------------

struct MixSource {
  bool eightbit, stereo;
  uint32_t rate, frames;
  bool loop;
  unsigned volume, pan;
};

struct MixCase {
  const char* name;
  uint32_t outputrate;
  unsigned outputbits;
  bool outputstereo;
  unsigned globalvolume;
  std::vector<MixSource> sources;
};

void PrintTo(const MixCase& c, std::ostream* os) { *os << c.name; }

// Every sample layout on one output: centred, hard left, right of centre,
// short and looping samples, rates above and below the output's.
const std::vector<MixSource> MIXED_SCENE = {
    {false, false, 44100, 700, false, 64, 128},  // ends inside the second pass
    {true, true, 22050, 301, true, 40, 0},
    {false, true, 32000, 257, true, 64, 200},
    {true, false, 48000, 150, true, 17, 128},
    {false, true, 11025, 999, false, 64, 128},
    {true, true, 44100, 90, true, 64, 255},
};
// Loud random sources so the sums clamp often.
const std::vector<MixSource> LOUD_SCENE = {
    {false, false, 44100, 5000, false, 64, 128},
    {false, true, 44100, 5000, false, 64, 128},
    {false, false, 44100, 5000, false, 64, 255},
    {false, true, 44100, 5000, false, 64, 1},
    {true, false, 44100, 5000, false, 64, 128},
};

const MixCase MIX_CASES[] = {
    {"Stereo16", 44100, 16, true, 64, MIXED_SCENE},
    {"Mono16", 44100, 16, false, 64, MIXED_SCENE},
    {"Stereo8", 22050, 8, true, 64, MIXED_SCENE},
    {"Mono8", 44100, 8, false, 48, MIXED_SCENE},
    {"Stereo16Loud", 44100, 16, true, 64, LOUD_SCENE},
    {"Mono16Loud", 32000, 16, false, 64, LOUD_SCENE},
    {"Stereo8Loud", 44100, 8, true, 64, LOUD_SCENE},
    {"Mono8Loud", 44100, 8, false, 64, LOUD_SCENE},
};

class MixAgainstModel : public ManualOutput, public ::testing::WithParamInterface<MixCase> {};

TEST_P(MixAgainstModel, PassMatchesThePerSampleArithmetic) {
  const MixCase& c = GetParam();
  mxrSpeaker speaker;
  ASSERT_EQ(speaker.open(c.outputrate, c.outputbits, c.outputstereo, 2, 8), 0);
  speaker.volumeSounds(c.globalvolume);
  RefMixer model{c.outputrate, c.outputbits == 16, c.outputstereo, {}};
  std::vector<std::unique_ptr<TestSound>> sounds;
  uint32_t seed = 1;
  for (const MixSource& s : c.sources) {
    sounds.push_back(MakeSound(s.eightbit, s.stereo, s.rate, s.frames, seed++));
    mxrSound& sound = sounds.back()->sound;
    sound.volume(s.volume);
    sound.pan(s.pan);
    sound.loop(s.loop);
    ASSERT_GE(speaker.playSound(&sound, MXR_PLAY_ANYCHANNEL), 0);
    model.Add(*sounds.back(), s.rate, s.frames, s.loop, static_cast<int32_t>(s.volume), static_cast<int32_t>(s.pan),
              c.globalvolume);
  }
  const uint32_t framebytes = (c.outputbits / 8) * (c.outputstereo ? 2 : 1);
  // Passes of several chunks, not a multiple of the chunk, and a short one.
  for (uint32_t frames : {1000u, 333u, 1u, 600u}) {
    EXPECT_EQ(Pass(speaker, frames * framebytes), model.Mix(frames)) << frames << " frames";
  }
  int stillplaying = 0;
  for (const RefChannel& r : model.channels) stillplaying += r.playing ? 1 : 0;
  EXPECT_EQ(speaker.playingChannelSounds(), stillplaying);
}

INSTANTIATE_TEST_SUITE_P(Layouts, MixAgainstModel, ::testing::ValuesIn(MIX_CASES),
                         [](const ::testing::TestParamInfo<MixCase>& info) { return info.param.name; });

struct GainCase {
  unsigned bits;
  int16_t value;
  int sounds;
  int32_t expected;  // the 16-bit value each side carries
};

void PrintTo(const GainCase& c, std::ostream* os) { *os << c.bits << " bit, " << c.sounds << " x " << c.value; }

class CentredGain : public ManualOutput, public ::testing::WithParamInterface<GainCase> {};

// A centred sound at full volume gives half of full scale per side; two give
// full scale; more clamp rather than wrap.
TEST_P(CentredGain, SumsAreClampedNotWrapped) {
  const GainCase& c = GetParam();
  mxrSpeaker speaker;
  ASSERT_EQ(speaker.open(44100, c.bits, true, 2, 8), 0);
  std::vector<std::unique_ptr<TestSound>> sounds;
  for (int i = 0; i < c.sounds; ++i) {
    sounds.push_back(MakeConstantSound(c.value, 100));
    ASSERT_GE(speaker.playSound(&sounds.back()->sound, MXR_PLAY_ANYCHANNEL), 0);
  }
  if (c.bits == 16) {
    EXPECT_EQ(Pass16(speaker, 8), std::vector<int16_t>(8, static_cast<int16_t>(c.expected)));
  } else {
    const int32_t byte = c.expected >= 32767 ? 255 : c.expected <= -32768 ? 0 : FloorDiv(c.expected, 256) + 128;
    EXPECT_EQ(Pass(speaker, 8), Bytes(8, static_cast<uint8_t>(byte)));
  }
}

INSTANTIATE_TEST_SUITE_P(Sums, CentredGain,
                         ::testing::Values(GainCase{16, 32767, 1, 16383}, GainCase{16, 32767, 2, 32767},
                                           GainCase{16, 32767, 4, 32767}, GainCase{16, -32768, 2, -32768},
                                           GainCase{16, -32768, 4, -32768}, GainCase{8, 32767, 4, 32767},
                                           GainCase{8, -32768, 4, -32768}, GainCase{8, -32768, 1, -16384}));

TEST_F(ManualOutput, SilentMixIsZeroFor16BitAnd128For8Bit) {
  for (unsigned bits : {8u, 16u}) {
    for (bool stereo : {false, true}) {
      mxrSpeaker speaker;
      ASSERT_EQ(speaker.open(44100, bits, stereo, 2, 8), 0);
      EXPECT_EQ(Pass(speaker, 101), Bytes(101, bits == 8 ? 128 : 0)) << bits << " bit";
    }
  }
}

TEST_F(ManualOutput, LoopingSoundWhoseStepExceedsItsLengthStops) {
  mxrSpeaker speaker;
  ASSERT_EQ(speaker.open(44100, 16, false, 1, 8), 0);
  // One frame at twice the output rate: the step is two frames, the loop one.
  auto once = MakeConstantSound(8000, 1, 88200);
  once->sound.loop(true);
  mxrChannel* c = speaker.channel(speaker.playSound(&once->sound, MXR_PLAY_ANYCHANNEL));
  EXPECT_EQ(Pass16(speaker, 4), (std::vector<int16_t>{4000, 0, 0, 0}));
  EXPECT_TRUE(c->isFree());
  // Two frames at the same step wrap once per loop and go on.
  auto twice = MakeConstantSound(8000, 2, 88200);
  twice->sound.loop(true);
  c = speaker.channel(speaker.playSound(&twice->sound, MXR_PLAY_ANYCHANNEL));
  EXPECT_EQ(Pass16(speaker, 4), std::vector<int16_t>(4, 4000));
  EXPECT_TRUE(c->playing());
}

TEST_F(ManualOutput, OddBufferEndsInSilence) {
  mxrSpeaker speaker;
  ASSERT_EQ(speaker.open(44100, 16, true, 2, 8), 0);
  auto sound = MakeConstantSound(-32768, 100);
  speaker.playSound(&sound->sound, MXR_PLAY_ANYCHANNEL);
  const Bytes out = Pass(speaker, 7);  // one frame and three bytes
  const int16_t half = -16384;
  Bytes expected(4);
  std::memcpy(expected.data(), &half, 2);
  std::memcpy(expected.data() + 2, &half, 2);
  expected.insert(expected.end(), 3, 0);
  EXPECT_EQ(out, expected);
}

// --- music channels ----------------------------------------------------------

// The smallest module: 4 tracks, one pattern, no samples.
Bytes TinyModule() {
  Bytes image(1084 + 4 * 64 * 4, 0);
  image[950] = 1;
  std::memcpy(&image[1080], "M.K.", 4);
  return image;
}

TEST_F(ManualOutput, MusicChannelsTakeTheTuneAndPlaySilence) {
  mxrSpeaker speaker;
  ASSERT_EQ(speaker.open(44100, 16, true, 2, 8), 0);
  Bytes image = TinyModule();
  mxrMusic music;
  ASSERT_EQ(music.load(image.data(), static_cast<uint32_t>(image.size()), false), 0);
  music.volume(50);
  music.pan(128);
  music.loop(true);
  EXPECT_EQ(speaker.playMusic(&music, MXR_PLAY_ANYCHANNEL), 0);
  EXPECT_EQ(speaker.playMusic(&music, MXR_PLAY_ANYCHANNEL), 1);
  EXPECT_EQ(speaker.playMusic(&music, MXR_PLAY_ANYCHANNEL), MXR_SPEAKER_NOCHANNEL);
  auto* c = dynamic_cast<mxrMusicChannel*>(speaker.channel(0));
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->music(), &music);
  EXPECT_EQ(c->volume(), 50u);
  EXPECT_EQ(c->pan(), 128u);
  EXPECT_TRUE(c->loop());
  EXPECT_EQ(speaker.playingChannelMusics(), 2);
  EXPECT_EQ(Pass16(speaker, 64), std::vector<int16_t>(64, 0));
  // Beside a sound the music adds nothing.
  auto sound = MakeConstantSound(3000, 100);
  speaker.playSound(&sound->sound, MXR_PLAY_ANYCHANNEL);
  EXPECT_EQ(Pass16(speaker, 4), std::vector<int16_t>(4, 1500));
  speaker.stopMusics();
  EXPECT_EQ(speaker.playingChannelMusics(), 0);
  EXPECT_EQ(speaker.playMusic(&music, 1), 1);
}

TEST_F(ManualOutput, PlayMusicRefusesWithoutTune) {
  mxrSpeaker speaker;
  Bytes image = TinyModule();
  mxrMusic music;
  ASSERT_EQ(music.load(image.data(), static_cast<uint32_t>(image.size()), false), 0);
  EXPECT_EQ(speaker.playMusic(&music, MXR_PLAY_ANYCHANNEL), MXR_SPEAKER_NOCHANNEL);  // closed
  ASSERT_EQ(speaker.open(44100, 16, true, 2, 8), 0);
  mxrMusic empty;
  EXPECT_EQ(speaker.playMusic(&empty, MXR_PLAY_ANYCHANNEL), MXR_SPEAKER_NOCHANNEL);
  EXPECT_EQ(speaker.playMusic(nullptr, MXR_PLAY_ANYCHANNEL), MXR_SPEAKER_NOCHANNEL);
  EXPECT_EQ(speaker.playMusic(&music, 2), MXR_SPEAKER_NOCHANNEL);  // no third music channel
}

// --- two threads -------------------------------------------------------------

// Sounds are made, started, changed, stopped and freed on this thread while
// the output thread mixes; a stopped channel's data is freed at once, so any
// pass still reading it would show up under the sanitizers.
TEST(SpeakerThreads, GameThreadStartsStopsAndFreesSoundsWhileTheOutputThreadMixes) {
  mxrSpeaker speaker;
  ASSERT_EQ(speaker.open(44100, 16, true, 2, 8), 0);
  XorShift32 rng{77};
  Bytes image = wavwriter::Pcm16(2, 44100, std::vector<int16_t>(4000, 1234));
  struct Playing {
    std::unique_ptr<mxrSound> sound;
    int index;
  };
  std::vector<Playing> ring(6);
  const uint64_t start = HostDevices_DspState().byteswritten;
  const uint64_t fragment = 3528;
  int rounds = 0;
  for (; rounds < 100000 && (rounds < 400 || HostDevices_DspState().byteswritten - start < 20 * fragment); ++rounds) {
    Playing& slot = ring[rng.Below(ring.size())];
    if (slot.sound != nullptr) {
      if (mxrChannel* c = speaker.channel(slot.index)) c->stop();
      slot.sound.reset();
    }
    slot.sound = std::make_unique<mxrSound>();
    ASSERT_EQ(slot.sound->load(image.data(), static_cast<uint32_t>(image.size()), true), 0);
    slot.sound->loop(rng.Below(2) == 0);
    slot.index = speaker.playSound(slot.sound.get(), MXR_PLAY_ANYCHANNEL);
    if (mxrChannel* c = speaker.channel(slot.index)) {
      c->volume(rng.Below(65));
      c->pan(rng.Below(256));
      c->speed(64 + rng.Below(256));
      if (rng.Below(4) == 0) c->frequency(8000 + rng.Below(40000));
      if (rng.Below(8) == 0) {
        c->pause();
        c->resume();
      }
    }
    switch (rng.Below(32)) {
      case 0:
        speaker.stopSounds();
        break;
      case 1:
        speaker.pauseSounds();
        speaker.unpauseSounds();
        break;
      case 2:
        speaker.volumeSounds(rng.Below(65));
        break;
      default:
        break;
    }
  }
  EXPECT_GE(HostDevices_DspState().byteswritten - start, 20 * fragment) << rounds << " rounds";
  speaker.close();
}

TEST(SpeakerThreads, CloseWhilePlayingStopsCleanly) {
  Bytes image = wavwriter::Pcm8(1, 22050, Bytes(20000, 200));
  for (int round = 0; round < 5; ++round) {
    auto speaker = std::make_unique<mxrSpeaker>();
    ASSERT_EQ(speaker->open(44100, round % 2 == 0 ? 16 : 8, true, 2, 8), 0);
    mxrSound sound;
    ASSERT_EQ(sound.load(image.data(), static_cast<uint32_t>(image.size()), false), 0);
    sound.loop(true);
    for (int i = 0; i < 8; ++i) speaker->playSound(&sound, MXR_PLAY_ANYCHANNEL);
    const uint64_t start = HostDevices_DspState().byteswritten;
    while (HostDevices_DspState().byteswritten == start) {
    }
    if (round % 2 == 0) {
      speaker->close();
      EXPECT_FALSE(speaker->isOpen());
    }
    speaker.reset();  // the destructor closes what is still open
  }
}

}  // namespace
