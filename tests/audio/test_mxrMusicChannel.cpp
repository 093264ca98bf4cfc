// Tests of the MOD player on small modules built here: tick and row timing,
// notes, finetune and the tables, every effect tick by tick, jumps, breaks,
// loops and delays, the song's end, per-track mixing with pan, and modules
// whose fields point past what the format or the image holds.
#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "audio/mxrChannel.h"
#include "audio/mxrData.h"
#include "audio/mxrGP2X.h"
#include "audio/mxrSpeaker.h"
#include "tools/common/mod_writer.h"
#include "tools/common/wav_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;
using modwriter::CELL;
using modwriter::MODULE;

constexpr uint32_t kTick = 882;  // frames per tick at 44100 Hz and 125 BPM
constexpr uint16_t kC1 = 856, kC2 = 428, kDs2 = 360, kG2 = 285, kB3 = 113;

// A looped sample holding one value: every frame of a playing track shows it.
modwriter::SAMPLE Constant(int8_t value, uint8_t volume = 64, size_t bytes = 256) {
  modwriter::SAMPLE s;
  s.data.assign(bytes, value);
  s.volume = volume;
  s.repeatstart = 0;
  s.repeatlength = static_cast<uint16_t>(bytes / 2);
  return s;
}

// A module of four tracks with a constant sample as instrument 1.
MODULE OneSample(int8_t value = 100, uint8_t volume = 64) {
  MODULE m;
  m.samples.push_back(Constant(value, volume));
  m.at(0, 0, 0);
  return m;
}

class Player : public ::testing::Test {
 protected:
  void SetUp() override { mxrGP2X::manualByDefault(true); }
  void TearDown() override { mxrGP2X::manualByDefault(false); }

  mxrMusicChannel& Start(const MODULE& m, bool loop = false, bool stereo = true, unsigned rate = 44100) {
    EXPECT_EQ(speaker.open(rate, 16, stereo, 1, 8), 0);
    image = modwriter::Write(m);
    EXPECT_EQ(music.load(image.data(), static_cast<uint32_t>(image.size()), false), MXR_MOD_OK);
    music.loop(loop);
    EXPECT_EQ(speaker.playMusic(&music, 0), 0);
    channel = dynamic_cast<mxrMusicChannel*>(speaker.channel(0));
    framebytes = stereo ? 4 : 2;
    return *channel;
  }

  // Renders frames, returning the samples (left, right for stereo).
  std::vector<int16_t> Render(uint32_t frames) {
    std::vector<int16_t> out(frames * framebytes / 2);
    speaker.updateModSFX(out.data(), frames * framebytes);
    done += frames;
    return out;
  }

  // Runs up to the first frame of tick `tick` (counted from the song's start).
  void ToTick(uint32_t tick) {
    const uint64_t target = uint64_t{tick} * channel->samplesPerTick() + 1;
    while (done < target) Render(static_cast<uint32_t>(target - done < 8192 ? target - done : 8192));
  }

  const MXRMODTRACK& Track(unsigned i = 0) const { return channel->track(i); }

  mxrSpeaker speaker;
  Bytes image;
  mxrMusic music;
  mxrMusicChannel* channel = nullptr;
  uint32_t framebytes = 4;
  uint64_t done = 0;
};

// --- timing --------------------------------------------------------------------

struct TempoCase {
  uint8_t parameter;
  unsigned tickspersecond, samplespertick, ticksperrow;
};

TEST_F(Player, SpeedAndTempoSetTicksAndSamplesPerTick) {
  const TempoCase cases[] = {{0x7D, 50, 882, 6}, {0x96, 60, 735, 6}, {0x21, 13, 3392, 6},
                             {0x06, 50, 882, 6}, {0x03, 50, 882, 3}, {0x00, 50, 882, 6}};
  for (const TempoCase& c : cases) {
    MODULE m = OneSample();
    m.at(0, 0, 1) = CELL{0, 0, 0xF, c.parameter};
    mxrMusicChannel& ch = Start(m);
    Render(1);
    EXPECT_EQ(ch.ticksPerSecond(), c.tickspersecond) << int(c.parameter);
    EXPECT_EQ(ch.samplesPerTick(), c.samplespertick) << int(c.parameter);
    EXPECT_EQ(ch.ticksPerRow(), c.ticksperrow) << int(c.parameter);
    speaker.close();
  }
}

TEST_F(Player, RowLastsSpeedTimesSamplesPerTickFrames) {
  mxrMusicChannel& ch = Start(OneSample());
  Render(6 * kTick);
  EXPECT_EQ(ch.row(), 0u);
  Render(1);
  EXPECT_EQ(ch.row(), 1u);
  EXPECT_EQ(ch.position(), 1u);
}

TEST_F(Player, LowFrequencyGivesLongTicksInsteadOfDividingByZero) {
  mxrMusicChannel& ch = Start(OneSample());
  ch.frequency(100);
  Render(1);
  EXPECT_EQ(ch.samplesPerTick(), 44100u * 256);
  EXPECT_TRUE(ch.playing());
}

// --- song end, jumps and breaks --------------------------------------------------

struct JumpCase {
  const char* what;
  unsigned tracks;
  std::vector<uint8_t> orders;
  std::vector<CELL> row0;  // row 0 of pattern 0, track by track
  bool loop;
  bool playing;            // after row 0
  unsigned order, row;     // of the next row read
};

TEST_F(Player, JumpsAndBreaksGoWhereTheyPoint) {
  const CELL speed1{0, 0, 0xF, 1};
  const JumpCase cases[] = {
      {"D32 on 4 tracks", 4, {0, 1}, {speed1, {0, 0, 0xD, 0x32}}, false, true, 1, 32},
      {"D32 on 8 tracks", 8, {0, 1}, {speed1, {0, 0, 0xD, 0x32}}, false, true, 1, 32},
      {"D at the end, looping", 4, {0}, {speed1, {0, 0, 0xD, 0x10}}, true, true, 0, 10},
      {"D at the end, not looping", 4, {0}, {speed1, {0, 0, 0xD, 0x10}}, false, false, 0, 0},
      {"break row above 63", 4, {0, 1}, {speed1, {0, 0, 0xD, 0x70}}, false, true, 1, 0},
      {"later track wins: D", 4, {0, 1, 2}, {speed1, {0, 0, 0xB, 2}, {0, 0, 0xD, 0x05}}, false, true, 1, 5},
      {"later track wins: B", 4, {0, 1, 2}, {speed1, {0, 0, 0xD, 0x05}, {0, 0, 0xB, 2}}, false, true, 2, 0},
      {"B back, looping", 4, {0, 1}, {speed1, {0, 0, 0xB, 0}}, true, true, 0, 0},
      {"B back, not looping, ends", 4, {0, 1}, {speed1, {0, 0, 0xB, 0}}, false, false, 0, 0},
      {"B beyond the song ends", 4, {0, 1}, {speed1, {0, 0, 0xB, 9}}, true, false, 0, 0},
  };
  for (const JumpCase& c : cases) {
    MODULE m = OneSample();
    m.tracks = c.tracks;
    m.orders = c.orders;
    m.patterns.clear();
    for (unsigned t = 0; t < c.row0.size(); ++t) m.at(0, 0, t) = c.row0[t];
    mxrMusicChannel& ch = Start(m, c.loop);
    Render(kTick);  // row 0 plays to its end
    EXPECT_TRUE(ch.playing()) << c.what;
    Render(1);
    EXPECT_EQ(ch.playing(), c.playing) << c.what;
    if (c.playing) {
      EXPECT_EQ(ch.order(), c.order) << c.what;
      EXPECT_EQ(ch.row(), c.row) << c.what;
    }
    speaker.close();
  }
}

TEST_F(Player, B00OnTheLastOrderEndsOrRestartsAtTheEndOfTheRow) {
  for (bool loop : {false, true}) {
    MODULE m = OneSample();
    m.orders = {0, 1};
    m.at(0, 0, 0) = CELL{kC2, 1, 0xF, 1};
    m.at(1, 0, 0) = CELL{0, 0, 0xB, 0};
    mxrMusicChannel& ch = Start(m, loop);
    Render(65 * kTick);
    EXPECT_EQ(ch.order(), 1u);
    EXPECT_TRUE(ch.playing());
    Render(1);
    EXPECT_EQ(ch.playing(), loop);
    if (loop) {
      EXPECT_EQ(ch.position(), 0u);
    }
    speaker.close();
  }
}

TEST_F(Player, SongWithoutLoopStopsAfterItsLastRowAndLoopingOneRestarts) {
  for (bool loop : {false, true}) {
    MODULE m = OneSample();
    m.orders = {0, 1, 0};
    m.restart = 1;
    m.at(0, 0, 0) = CELL{kC2, 1, 0xF, 1};
    mxrMusicChannel& ch = Start(m, loop);
    EXPECT_EQ(ch.length(), 3u * 64);
    Render(3 * 64 * kTick);
    EXPECT_TRUE(ch.playing());
    EXPECT_EQ(ch.position(), 3u * 64 - 1);
    Render(1);
    EXPECT_EQ(ch.playing(), loop);
    if (loop) {
      EXPECT_EQ(ch.position(), 64u);  // the restart position
    }
    speaker.close();
  }
}

TEST_F(Player, PositionMovesToARowOfTheSongAndIgnoresOthers) {
  MODULE m = OneSample();
  m.orders = {0, 1};
  mxrMusicChannel& ch = Start(m);
  Render(1);
  ch.position(70);
  Render(1);
  EXPECT_EQ(ch.order(), 1u);
  EXPECT_EQ(ch.row(), 6u);
  ch.position(128);
  Render(1);
  EXPECT_EQ(ch.position(), 70u);
}

struct LoopCase {
  uint8_t count;
  std::vector<unsigned> rows;  // rows read, one per row time
};

TEST_F(Player, PatternLoopRepeatsItsRowsCountMoreTimes) {
  const LoopCase cases[] = {{1, {0, 1, 0, 1, 2}}, {2, {0, 1, 0, 1, 0, 1, 2}}, {3, {0, 1, 0, 1, 0, 1, 0, 1, 2}}};
  for (const LoopCase& c : cases) {
    MODULE m = OneSample();
    m.at(0, 0, 0) = CELL{0, 0, 0xE, 0x60};
    m.at(0, 0, 1) = CELL{0, 0, 0xF, 1};
    m.at(0, 1, 0) = CELL{0, 0, 0xE, static_cast<uint8_t>(0x60 | c.count)};
    mxrMusicChannel& ch = Start(m);
    std::vector<unsigned> rows;
    for (size_t i = 0; i < c.rows.size(); ++i) {
      Render(i == 0 ? 1 : kTick);
      rows.push_back(ch.row());
    }
    EXPECT_EQ(rows, c.rows) << int(c.count);
    speaker.close();
  }
}

TEST_F(Player, PatternDelayHoldsTheRowForMoreRows) {
  MODULE m = OneSample();
  m.at(0, 0, 0) = CELL{0, 0, 0xE, 0xE2};
  m.at(0, 0, 1) = CELL{0, 0, 0xF, 1};
  mxrMusicChannel& ch = Start(m);
  std::vector<unsigned> rows;
  for (int i = 0; i < 5; ++i) {
    Render(i == 0 ? 1 : kTick);
    rows.push_back(ch.row());
  }
  EXPECT_EQ(rows, (std::vector<unsigned>{0, 0, 0, 1, 2}));
}

// --- notes and effects, tick by tick ---------------------------------------------

struct TickCase {
  const char* what;
  std::vector<CELL> cells;        // rows 0, 1, ... of track 0
  uint8_t finetune;               // of instrument 1
  std::vector<int32_t> periods;   // heard (the step's period) at ticks 0, 1, ...
};

TEST_F(Player, EffectsMoveThePeriodTickByTick) {
  const TickCase cases[] = {
      {"plain note holds", {{kC2, 1, 0, 0}}, 0, {428, 428, 428, 428, 428, 428}},
      {"arpeggio cycles", {{kC2, 1, 0x0, 0x37}}, 0, {kC2, kDs2, kG2, kC2, kDs2, kG2, kC2}},
      {"arpeggio then plain row", {{kC2, 1, 0x0, 0x37}, {0, 0, 0, 0}}, 0, {kC2, kDs2, kG2, kC2, kDs2, kG2, kC2, kC2, kC2}},
      {"arpeggio past the row's end", {{13, 1, 0x0, 0xFF}}, 0, {13, 13, 13}},
      {"portamento up stops at 13", {{kC1, 1, 0x1, 0xFF}}, 0, {856, 601, 346, 91, 13, 13}},
      {"portamento down stops at 1712",
       {{kB3, 1, 0xF, 8}, {0, 0, 0x2, 0xFF}},
       0,
       {113, 113, 113, 113, 113, 113, 113, 113, 113, 368, 623, 878, 1133, 1388, 1643, 1712}},
      {"tone portamento stops on its target",
       {{kC2, 1, 0, 0}, {kC1, 0, 0x3, 0x50}, {0, 0, 0x3, 0}},
       0,
       {428, 428, 428, 428, 428, 428, 428, 508, 588, 668, 748, 828, 828, 856, 856}},
      {"tone portamento down", {{kC1, 1, 0, 0}, {kC2, 0, 0x3, 0xC8}}, 0, {856, 856, 856, 856, 856, 856, 856, 656, 456, 428}},
      {"vibrato", {{kC2, 1, 0x4, 0x8F}, {0, 0, 0x4, 0}}, 0, {428, 428, 449, 457, 449, 428, 428, 407, 399, 407, 428}},
      {"vibrato past 1712", {{1712, 1, 0x4, 0x8F}}, 8, {1813, 1813, 1834, 1842}},
      {"vibrato below 0", {{13, 1, 0x4, 0x8F}, {0, 0, 0x4, 0}}, 0, {13, 13, 34, 42, 34, 13, 13, 0, 0, 0}},
      {"finetune row", {{kC2, 1, 0, 0}}, 8, {453}},
      {"period above 1712 takes note 0", {{4000, 1, 0, 0}}, 0, {1712}},
      {"note delay", {{kC1, 1, 0, 0}, {kC2, 0, 0xE, 0xD3}}, 0, {856, 856, 856, 856, 856, 856, 856, 856, 856, 428}},
      {"note delay 0 on its row", {{kC1, 1, 0, 0}, {kC2, 0, 0xE, 0xD0}}, 0, {856, 856, 856, 856, 856, 856, 428, 428}},
      {"note delay takes the raw period", {{kC1, 1, 0, 0}, {3000, 0, 0xE, 0xD1}}, 0, {856, 856, 856, 856, 856, 856, 856, 3000}},
      {"tone portamento to a period above 1712",
       {{kC1, 1, 0, 0}, {4000, 0, 0x3, 0xFF}},
       0,
       {856, 856, 856, 856, 856, 856, 856, 1111, 1366, 1621, 1712, 1712}},
      {"note delay without a period", {{kC1, 1, 0, 0}, {0, 0, 0xE, 0xD1}}, 0, {856, 856, 856, 856, 856, 856, 856, 856, 856}},
  };
  for (const TickCase& c : cases) {
    MODULE m = OneSample();
    m.samples[0].finetune = c.finetune;
    for (unsigned r = 0; r < c.cells.size(); ++r) m.at(0, r, 0) = c.cells[r];
    Start(m);
    for (uint32_t tick = 0; tick < c.periods.size(); ++tick) {
      ToTick(tick);
      EXPECT_EQ(Track().step, speaker.periodStep(static_cast<unsigned>(c.periods[tick]))) << c.what << ", tick " << tick;
    }
    speaker.close();
    done = 0;
  }
}

TEST_F(Player, StepTableCoversEveryTwelveBitPeriod) {
  speaker.createTables(44100);
  for (unsigned period : {1713u, 1842u, 3000u, 4095u}) {
    EXPECT_EQ(speaker.periodStep(period), ((7159090ull / (2 * period)) * 4096) / 44100) << period;
  }
  EXPECT_EQ(speaker.periodStep(4096), 0u);
  EXPECT_EQ(speaker.noteIndex(4095), 0);
}

TEST_F(Player, PeriodTableRowsFollowTheFinetune) {
  EXPECT_EQ(mxrMusicChannel::periodTable(0, 0), 1712);
  EXPECT_EQ(mxrMusicChannel::periodTable(0, 24), 428);
  EXPECT_EQ(mxrMusicChannel::periodTable(0, 83), 13);
  const uint16_t row8[] = {1813, 1711, 1615, 1525};
  const uint16_t row15[] = {1724, 1627, 1536, 1450};
  for (unsigned n = 0; n < 4; ++n) {
    EXPECT_EQ(mxrMusicChannel::periodTable(8, n), row8[n]);
    EXPECT_EQ(mxrMusicChannel::periodTable(15, n), row15[n]);
  }
  for (unsigned row = 0; row < MXR_MOD_FINETUNES; ++row) {
    for (unsigned n = 1; n < MXR_MOD_NOTES; ++n) {
      EXPECT_LE(mxrMusicChannel::periodTable(row, n), mxrMusicChannel::periodTable(row, n - 1)) << row << " " << n;
    }
  }
  EXPECT_EQ(mxrMusicChannel::vibratoTable(0), 0);
  EXPECT_EQ(mxrMusicChannel::vibratoTable(16), 255);
  EXPECT_EQ(mxrMusicChannel::vibratoTable(31), 24);
}

struct VolumeCase {
  const char* what;
  std::vector<CELL> cells;
  uint8_t instrumentvolume;
  std::vector<int32_t> volumes;  // effective volume at ticks 0, 1, ...
};

TEST_F(Player, VolumeEffectsAreHeardTickByTick) {
  const VolumeCase cases[] = {
      {"instrument volume", {{kC2, 1, 0, 0}}, 20, {20, 20}},
      {"C50 gives 80", {{kC2, 1, 0xC, 0x50}}, 64, {80, 80}},
      {"slide up stops at 64", {{kC2, 1, 0xA, 0x50}}, 50, {50, 55, 60, 64, 64, 64}},
      {"slide down stops at 0", {{kC2, 1, 0xA, 0x0F}}, 40, {40, 25, 10, 0, 0, 0}},
      {"slide of 80 clamps to 64", {{kC2, 1, 0xC, 0x50}, {0, 0, 0xA, 0x10}}, 64, {80, 80, 80, 80, 80, 80, 80, 64}},
      {"tone portamento and slide", {{kC2, 1, 0x5, 0x03}}, 30, {30, 27, 24}},
      {"vibrato and slide", {{kC2, 1, 0x6, 0x20}}, 30, {30, 32, 34}},
      {"fine volume up", {{kC2, 1, 0xE, 0xA5}}, 62, {64, 64}},
      {"fine volume down", {{kC2, 1, 0xE, 0xB5}}, 3, {0, 0}},
      {"note cut 2", {{kC2, 1, 0xE, 0xC2}}, 64, {64, 64, 0, 0, 0, 0}},
      {"note cut 0 on the first tick", {{kC2, 1, 0xE, 0xC0}}, 64, {64, 0, 0}},
      {"cut note comes back with an instrument", {{kC2, 1, 0xE, 0xC1}, {0, 1, 0, 0}}, 64, {64, 0, 0, 0, 0, 0, 64}},
  };
  for (const VolumeCase& c : cases) {
    MODULE m = OneSample(100, c.instrumentvolume);
    for (unsigned r = 0; r < c.cells.size(); ++r) m.at(0, r, 0) = c.cells[r];
    Start(m);
    for (uint32_t tick = 0; tick < c.volumes.size(); ++tick) {
      ToTick(tick);
      EXPECT_EQ(Track().effectivevolume, c.volumes[tick]) << c.what << ", tick " << tick;
    }
    speaker.close();
    done = 0;
  }
}

TEST_F(Player, TrackVolumeFollowsTheChannelAndGlobalVolume) {
  MODULE m = OneSample(100, 40);
  m.at(0, 0, 0) = CELL{kC2, 1, 0, 0};
  mxrMusicChannel& ch = Start(m);
  Render(1);
  ch.volume(32);
  EXPECT_EQ(Track().effectivevolume, 20);
  speaker.volumeMusics(16);
  EXPECT_EQ(Track().effectivevolume, 5);
}

// --- mixing --------------------------------------------------------------------

// What a constant sample value adds on each side at a track's volume and pan.
int16_t Side(int32_t value, int32_t volume, int32_t pan, bool right) {
  const int32_t toright = volume * pan / 256;
  return static_cast<int16_t>(value * 2 * (right ? toright : volume - toright));
}

TEST_F(Player, TracksArePannedByChannelPanEvenLeftOddRight) {
  for (unsigned pan : {255u, 128u, 0u}) {
    MODULE m = OneSample(100);
    m.at(0, 0, 1) = CELL{kC2, 1, 0, 0};
    mxrMusicChannel& ch = Start(m);
    ch.pan(pan);
    const int32_t spread = static_cast<int32_t>((255 - pan) * 64 / 256);
    EXPECT_EQ(Track(0).pan, static_cast<uint32_t>(64 + spread));
    EXPECT_EQ(Track(1).pan, static_cast<uint32_t>(192 - spread));
    const std::vector<int16_t> out = Render(2);
    EXPECT_EQ(out[0], Side(100, 64, 192 - spread, false)) << pan;
    EXPECT_EQ(out[1], Side(100, 64, 192 - spread, true)) << pan;
    speaker.close();
  }
}

TEST_F(Player, MonoOutputAddsValueTimesVolume) {
  MODULE m = OneSample(-50, 40);
  m.at(0, 0, 0) = CELL{kC2, 1, 0, 0};
  m.at(0, 0, 3) = CELL{kC2, 1, 0xC, 20};
  Start(m, false, false);
  EXPECT_EQ(Render(3), (std::vector<int16_t>(3, -50 * 40 + -50 * 20)));
}

TEST_F(Player, MusicAddsToSoundsScaledDown) {
  MODULE m = OneSample(10);
  m.at(0, 0, 0) = CELL{kC2, 1, 0, 0};
  Start(m);
  mxrSound sound;
  const Bytes wav = wavwriter::Pcm16(1, 44100, std::vector<int16_t>(4, 10000));
  ASSERT_EQ(sound.load(wav.data(), static_cast<uint32_t>(wav.size()), false), 0);
  speaker.playSound(&sound, MXR_PLAY_ANYCHANNEL);
  const std::vector<int16_t> out = Render(1);
  EXPECT_EQ(out[0], Side(10, 64, 64, false) + 10000 * 64 / 128);
  EXPECT_EQ(out[1], Side(10, 64, 64, true) + 10000 * 64 / 128);
}

TEST_F(Player, SampleWithOneWordRepeatPlaysOnce) {
  MODULE m;
  modwriter::SAMPLE s;
  s.data.assign(64, 100);
  s.repeatstart = 0;
  s.repeatlength = 1;
  m.samples.push_back(s);
  m.at(0, 0, 0) = CELL{kC2, 1, 0, 0};
  Start(m, false, false);
  // 428 steps 776/4096 of a byte per frame: 64 bytes last 338 frames.
  const std::vector<int16_t> out = Render(400);
  EXPECT_EQ(out[337], 100 * 64);
  EXPECT_EQ(out[338], 0);
  EXPECT_EQ(out[399], 0);
  EXPECT_GE(Track().position, uint64_t{64} << 12);
  Render(1000);
  EXPECT_LT(Track().position, uint64_t{65} << 12);  // stays at the end
}

TEST_F(Player, ShortLoopOnAHighNoteWrapsByTheRemainder) {
  MODULE m;
  modwriter::SAMPLE s;
  s.data = {10, 20, 30, 40};
  s.repeatstart = 0;
  s.repeatlength = 2;
  m.samples.push_back(s);
  m.at(0, 0, 0) = CELL{13, 1, 0, 0};
  Start(m, false, false);
  const uint64_t step = speaker.periodStep(13);
  ASSERT_GT(step, uint64_t{4} << 12);
  const std::vector<int16_t> out = Render(2000);
  for (uint32_t n = 0; n < out.size(); ++n) {
    const uint64_t at = (n * step) % (uint64_t{4} << 12);
    ASSERT_EQ(out[n], s.data[at >> 12] * 64) << n;
  }
}

TEST_F(Player, SampleOffsetStartsInsideTheSample) {
  MODULE m;
  modwriter::SAMPLE s;
  for (int i = 0; i < 1024; ++i) s.data.push_back(static_cast<int8_t>(i / 256));
  m.samples.push_back(s);
  m.at(0, 0, 0) = CELL{kC2, 1, 0x9, 2};
  m.at(0, 1, 0) = CELL{kC2, 0, 0x9, 0};  // remembered offset
  Start(m, false, false);
  EXPECT_EQ(Render(1)[0], 2 * 64);
  ToTick(6);
  EXPECT_EQ(Track().position >> 12, 512u);
}

// --- hostile modules -------------------------------------------------------------

TEST_F(Player, InstrumentsAboveThirtyOneAreIgnored) {
  MODULE m = OneSample(100, 50);
  m.at(0, 0, 0) = CELL{kC2, 1, 0, 0};
  m.at(0, 1, 0) = CELL{kB3, 0x20, 0, 0};
  Start(m);
  ToTick(6);
  EXPECT_EQ(Track().instrument, 1u);
  EXPECT_EQ(Track().volume, 50);
  EXPECT_EQ(Track().period, kB3);
}

TEST_F(Player, FinetuneHighBitsAreIgnoredAndNoInstrumentMeansFinetuneZero) {
  MODULE m = OneSample();
  m.samples[0].finetune = 0xF8;
  m.at(0, 0, 0) = CELL{kC2, 1, 0, 0};
  m.at(0, 0, 1) = CELL{kC2, 0, 0, 0};
  Start(m);
  Render(1);
  EXPECT_EQ(channel->instrument(1).finetune, 8u);
  EXPECT_EQ(Track(0).period, 453);
  EXPECT_EQ(Track(1).period, 428);
}

TEST_F(Player, SamplesEndWhereTheImageEnds) {
  MODULE m;
  m.samples.resize(3);
  m.samples[0].data.assign(100, 5);
  m.samples[0].storedwords = 0xFFFF;  // claims far more than follows
  m.samples[1].data.assign(8, 6);
  m.samples[1].repeatstart = 0x7000;  // loop outside the sample
  m.samples[1].repeatlength = 4;
  m.samples[2].data.assign(8, 7);
  m.samples[2].storedwords = 0;
  m.at(0, 0, 0) = CELL{13, 1, 0, 0};
  Start(m);
  EXPECT_EQ(channel->instrument(1).length, uint32_t{116} << 12);  // every byte after the patterns
  EXPECT_EQ(channel->instrument(2).data, nullptr);  // starts beyond the image
  EXPECT_EQ(channel->instrument(3).data, nullptr);
  // Period 13 reads about 6 bytes a frame: the 116 bytes are gone by frame 19.
  const std::vector<int16_t> out = Render(40);
  EXPECT_EQ(out[0], Side(5, 64, 64, false));
  EXPECT_EQ(out[2 * 39], 0);
}

TEST_F(Player, LoopOutsideTheSampleIsDropped) {
  MODULE m;
  m.samples.resize(1);
  m.samples[0].data.assign(8, 6);
  m.samples[0].repeatstart = 10;
  m.samples[0].repeatlength = 4;
  m.at(0, 0, 0) = CELL{kC2, 1, 0, 0};
  Start(m);
  EXPECT_EQ(channel->instrument(1).repeatlength, 0u);
}

TEST_F(Player, SongLengthsOutsideOneToOneHundredTwentyEight) {
  MODULE m = OneSample();
  m.songlength = 0;
  image = modwriter::Write(m);
  ASSERT_EQ(speaker.open(44100, 16, true, 1, 8), 0);
  ASSERT_EQ(music.load(image.data(), static_cast<uint32_t>(image.size()), false), MXR_MOD_OK);
  EXPECT_EQ(speaker.playMusic(&music, 0), MXR_SPEAKER_NOCHANNEL);
  speaker.close();
  m.songlength = 200;
  m.orders.assign(128, 0);
  mxrMusicChannel& ch = Start(m);
  EXPECT_EQ(ch.length(), 128u * 64);
}

}  // namespace
