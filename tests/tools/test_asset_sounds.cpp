// Tests of the game's generated sound effects and tunes, read from the
// packages the build has made: every effect and both tunes load into the
// sound module from package data, as the loading screen hands them over, and
// what the mixer renders from them is clean: peaks with headroom, no offset,
// silent ends on the effects, and an in-game tune that loops without a gap.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "audio/mxrData.h"
#include "audio/mxrGP2X.h"
#include "audio/mxrSpeaker.h"
#include "audio/vmod_sound.h"
#include "resources/vmod_file.h"
#include "util/vmod_memory.h"

namespace {

using Samples = std::vector<int16_t>;  // interleaved left, right

constexpr uint32_t kOutputRate = 44100;  // the module's Open()
constexpr double kFullScale = 32768.0;
constexpr double kPeakLimit = 0.9;
constexpr double kMeanLimit = 0.002;
constexpr double kEdgeLimit = 0.01;
constexpr double kEdgeSeconds = 0.005;
constexpr uint32_t kPassFrames = kOutputRate / 50;  // one 20 ms fragment of the output thread
constexpr int32_t kHardLeft = -128;                  // a pan of 0: the effect at its own full scale on the left
constexpr uint16_t kFormatAdpcm = 2;

// The effects of the loading screen's table; slot 10 stays empty.
const char* const kEffectNames[] = {"00-drop.wav",       "01-click.wav",      "02-part1.wav",      "03-part2.wav",
                                    "04-part3.wav",      "05-part4.wav",      "06-hint.wav",       "07-closelayer.wav",
                                    "08-frozen.wav",     "09-frozendeath.wav", "11-keyboard.wav",  "12-hiscore.wav",
                                    "13-game.wav",       "14-siren.wav",      "15-vexalogo.wav",   "16-tarvologo.wav"};

#ifdef VEXA_PACKAGE_FOLDER
const std::string kPackageFolder = VEXA_PACKAGE_FOLDER;
#else
const std::string kPackageFolder;  // no packages in this build: the suite skips
#endif

struct ENTRY {
  std::string name;
  std::vector<uint8_t> bytes;
};

// Every entry of a package, fetched as the loading screen fetches them.
std::vector<ENTRY> ReadPackage(const char* name) {
  std::vector<ENTRY> entries;
  ClassVFile pack;
  if (pack.Open((kPackageFolder + "/res/" + name).c_str(), VFILE_MODE_READ) != 1) return entries;
  for (uint32_t i = 0; i < pack.PackContainFiles(); ++i) {
    VPK_FILEINFO info{};
    uint8_t* data = nullptr;
    uint32_t size = 0;
    if (pack.PackGetFileInfo(info, int32_t(i), false) != 1) continue;
    if (pack.PackGetFileData(data, size, int32_t(i)) != VPK_OK || data == nullptr) continue;
    entries.push_back({info.name, std::vector<uint8_t>(data, data + size)});
    ClassVMemory::DeAlloc(data);
  }
  pack.Close();
  return entries;
}

std::vector<ENTRY> Effects() { return ReadPackage("sound.vpk"); }
std::vector<ENTRY> Tunes() { return ReadPackage("music.vpk"); }

const ENTRY* Find(const std::vector<ENTRY>& entries, const std::string& name) {
  for (const ENTRY& entry : entries) {
    if (entry.name == name) return &entry;
  }
  return nullptr;
}

uint16_t Le16(const std::vector<uint8_t>& bytes, size_t at) { return uint16_t(bytes[at] | bytes[at + 1] << 8); }

// One channel of interleaved frames.
std::vector<int32_t> Channel(const Samples& frames, unsigned channel) {
  std::vector<int32_t> out;
  for (size_t i = channel; i < frames.size(); i += 2) out.push_back(frames[i]);
  return out;
}

double Peak(const std::vector<int32_t>& samples) {
  int32_t peak = 0;
  for (int32_t s : samples) peak = std::max(peak, s < 0 ? -s : s);
  return peak / kFullScale;
}

double Mean(const std::vector<int32_t>& samples) {
  double sum = 0;
  for (int32_t s : samples) sum += s;
  return sum / static_cast<double>(samples.size()) / kFullScale;
}

double Rms(const std::vector<int32_t>& samples, size_t first, size_t count) {
  double sum = 0;
  for (size_t i = first; i < first + count; ++i) sum += double(samples[i]) * samples[i];
  return std::sqrt(sum / static_cast<double>(count)) / kFullScale;
}

double EdgePeak(const std::vector<int32_t>& samples, size_t first, size_t count) {
  return Peak(std::vector<int32_t>(samples.begin() + long(first), samples.begin() + long(first + count)));
}

// The sample step below which 99 % of the steps of a channel lie.
int32_t StepPercentile99(const std::vector<int32_t>& samples) {
  std::vector<int32_t> steps;
  for (size_t i = 1; i < samples.size(); ++i) steps.push_back(std::abs(samples[i] - samples[i - 1]));
  const size_t at = steps.size() * 99 / 100;
  std::nth_element(steps.begin(), steps.begin() + long(at), steps.end());
  return steps[at];
}

// Skips where the build made no packages.
class AssetPackages : public ::testing::Test {
 protected:
  void SetUp() override {
    if (kPackageFolder.empty()) GTEST_SKIP() << "this build makes no packages";
  }
};

class AssetSounds : public AssetPackages {
 protected:
  void SetUp() override {
    AssetPackages::SetUp();
    if (IsSkipped()) return;
    mxrGP2X::manualByDefault(true);
    ASSERT_EQ(sound.Open(), 0);
    sound.SetSoundVolume(255);  // the mixer at full volume, so levels are the assets' own
    sound.SetMusicVolume(255);
  }
  void TearDown() override {
    if (IsSkipped()) return;
    sound.Close();
    mxrGP2X::manualByDefault(false);
  }

  // Hands a copy to the module as the loading screen does: a memory block it keeps.
  int Load(uint32_t slot, const ENTRY& entry, bool music) {
    const auto length = static_cast<uint32_t>(entry.bytes.size());
    void* block = ClassVMemory::Alloc(length);
    ClassVMemory::Copy(block, entry.bytes.data(), length);
    const int result = music ? sound.LoadMusic(slot, block, length) : sound.LoadSoundEffect(slot, block, length);
    if (result != VSOUND_OK) ClassVMemory::DeAlloc(block);
    return result;
  }

  // A tune of the music package into a music slot.
  void LoadTune(uint32_t slot, const char* name) {
    const std::vector<ENTRY> tunes = Tunes();
    const ENTRY* tune = Find(tunes, name);
    ASSERT_NE(tune, nullptr) << name;
    ASSERT_EQ(Load(slot, *tune, true), VSOUND_OK) << name;
  }

  // Output-thread passes until nothing plays or `maxframes` are rendered.
  Samples Render(uint64_t maxframes) {
    mxrSpeaker* mixer = sound.GetDriver();
    Samples out;
    while (out.size() / 2 < maxframes && mixer->playingChannelMusics() + mixer->playingChannelSounds() > 0) {
      const size_t at = out.size();
      out.resize(at + kPassFrames * 2);
      mixer->updateModSFX(out.data() + at, kPassFrames * 4);
    }
    return out;
  }

  ClassVSound sound;
};

// Headroom and no offset.
void ExpectCleanLevels(const std::vector<int32_t>& samples) {
  EXPECT_LE(Peak(samples), kPeakLimit);
  EXPECT_LE(std::fabs(Mean(samples)), kMeanLimit);
}

// --- the effects ------------------------------------------------------------

TEST_F(AssetPackages, EveryEffectOfTheTableIsMadeOnceAndSlotTenStaysEmpty) {
  const std::vector<ENTRY> effects = Effects();
  EXPECT_EQ(effects.size(), sizeof kEffectNames / sizeof kEffectNames[0]);
  for (const char* name : kEffectNames) {
    EXPECT_EQ(std::count_if(effects.begin(), effects.end(), [&](const ENTRY& e) { return e.name == name; }), 1)
        << name;
  }
  for (const ENTRY& effect : effects) EXPECT_NE(effect.name.substr(0, 3), "10-") << effect.name;
}

TEST_F(AssetPackages, FormatsMixSixteenBitEightBitAndMsAdpcmAtGameRates) {
  unsigned sixteen = 0;
  unsigned eight = 0;
  unsigned adpcm = 0;
  const std::vector<ENTRY> effects = Effects();
  ASSERT_FALSE(effects.empty());
  for (const ENTRY& effect : effects) {
    ASSERT_GE(effect.bytes.size(), 44u) << effect.name;
    const uint16_t tag = Le16(effect.bytes, 20);
    const uint16_t bits = Le16(effect.bytes, 34);
    const uint32_t rate = Le16(effect.bytes, 24) | uint32_t(Le16(effect.bytes, 26)) << 16;
    EXPECT_TRUE(rate == 22050 || rate == 44100) << effect.name << " at " << rate;
    sixteen += tag == 1 && bits == 16;
    eight += tag == 1 && bits == 8;
    adpcm += tag == kFormatAdpcm && bits == 4;
  }
  EXPECT_GT(sixteen, eight + adpcm);  // mostly 16-bit PCM
  EXPECT_GE(eight, 1u);
  EXPECT_GE(adpcm, 2u);
}

TEST_F(AssetSounds, EveryEffectLoadsAndRendersCleanWithSilentEnds) {
  const std::vector<ENTRY> effects = Effects();
  ASSERT_FALSE(effects.empty());
  for (const ENTRY& effect : effects) {
    SCOPED_TRACE(effect.name);
    const auto slot = static_cast<uint32_t>(std::stoul(effect.name.substr(0, 2)));  // "NN-..." plays as slot NN
    mxrSound parsed;  // the decoded length and rate the mixer will play
    ASSERT_EQ(parsed.load(effect.bytes.data(), uint32_t(effect.bytes.size()), true), MXR_WAV_OK);
    ASSERT_GT(parsed.frameCount(), 0u);
    ASSERT_EQ(Load(slot, effect, false), VSOUND_OK);
    ASSERT_GE(sound.PlaySound(slot, 0, kHardLeft), 0);
    const uint64_t frames = uint64_t(parsed.frameCount()) * kOutputRate / parsed.sampleRate();
    const Samples rendered = Render(frames + kPassFrames);
    ASSERT_GE(rendered.size() / 2, frames);
    std::vector<int32_t> left = Channel(rendered, 0);
    left.resize(frames);  // the effect itself, without the silence of the last pass
    const auto edge = static_cast<size_t>(kEdgeSeconds * kOutputRate);
    ExpectCleanLevels(left);
    EXPECT_GT(Peak(left), 0.2);  // loud enough to be heard over the music
    EXPECT_LE(EdgePeak(left, 0, edge), kEdgeLimit);
    EXPECT_LE(EdgePeak(left, left.size() - edge, edge), kEdgeLimit);
  }
}

// The siren repeats every second, the drop eight times 128 ms apart as the
// rows land, and the clicks as fast as a held key repeats (every 100 ms).
TEST_F(AssetPackages, RepeatedEffectsEndBeforeTheyComeAgain) {
  const std::vector<ENTRY> effects = Effects();
  const struct {
    const char* name;
    double seconds;
  } kRepeats[] = {{"14-siren.wav", 1.0}, {"00-drop.wav", 0.128}, {"01-click.wav", 0.1}, {"11-keyboard.wav", 0.1}};
  for (const auto& repeat : kRepeats) {
    const ENTRY* entry = Find(effects, repeat.name);
    ASSERT_NE(entry, nullptr) << repeat.name;
    mxrSound parsed;
    ASSERT_EQ(parsed.load(entry->bytes.data(), uint32_t(entry->bytes.size()), true), MXR_WAV_OK);
    EXPECT_LT(double(parsed.frameCount()) / parsed.sampleRate(), repeat.seconds) << repeat.name;
  }
}

// --- the tunes ----------------------------------------------------------------

// The effect commands a module's song uses (arpeggio only with a parameter).
std::set<unsigned> CommandsOf(const std::vector<uint8_t>& module) {
  constexpr size_t kPatternData = 1084;  // after the header, samples, orders and signature
  constexpr size_t kCellsPerPattern = 64 * 4;
  unsigned patterns = 0;
  for (unsigned i = 0; i < module[950]; ++i) patterns = std::max(patterns, module[952 + i] + 1u);
  std::set<unsigned> commands;
  for (size_t cell = 0; cell < patterns * kCellsPerPattern; ++cell) {
    const size_t at = kPatternData + cell * 4;
    if (at + 4 > module.size()) break;
    const unsigned command = module[at + 2] & 0x0F;
    if (command != 0 || module[at + 3] != 0) commands.insert(command);
  }
  return commands;
}

TEST_F(AssetPackages, TunesAreFourTrackModulesWithArpeggioPortamentoSlidesAndSpeed) {
  const std::vector<ENTRY> tunes = Tunes();
  ASSERT_EQ(tunes.size(), 2u);
  for (const char* name : {"00-bonus.mod", "01-ingame.mod"}) {
    const ENTRY* tune = Find(tunes, name);
    ASSERT_NE(tune, nullptr) << name;
    ASSERT_GT(tune->bytes.size(), 1084u) << name;
    EXPECT_EQ(std::string(tune->bytes.begin() + 1080, tune->bytes.begin() + 1084), "M.K.") << name;
  }
  const std::set<unsigned> ingame = CommandsOf(Find(tunes, "01-ingame.mod")->bytes);
  for (unsigned command : {0x0u, 0x3u, 0x4u, 0xAu, 0xFu}) EXPECT_EQ(ingame.count(command), 1u) << command;
  const std::set<unsigned> bonus = CommandsOf(Find(tunes, "00-bonus.mod")->bytes);
  for (unsigned command : {0x0u, 0xAu, 0xDu, 0xFu}) EXPECT_EQ(bonus.count(command), 1u) << command;
}

TEST_F(AssetSounds, BonusJingleIsShortBrightAndClean) {
  ASSERT_NO_FATAL_FAILURE(LoadTune(0, "00-bonus.mod"));
  ASSERT_GE(sound.PlayMusic(0, false), 0);
  const Samples rendered = Render(uint64_t(30) * kOutputRate);
  EXPECT_EQ(sound.GetDriver()->playingChannelMusics(), 0);  // it ends by itself
  const double seconds = double(rendered.size() / 2) / kOutputRate;
  EXPECT_GE(seconds, 1.0);
  EXPECT_LE(seconds, 5.0);
  for (unsigned channel = 0; channel < 2; ++channel) {
    const std::vector<int32_t> samples = Channel(rendered, channel);
    ExpectCleanLevels(samples);
    EXPECT_GT(Peak(samples), 0.2);
  }
}

// Once round without looping, then twice round with it: the two agree up to
// the loop point, where the looping one carries on as the song starts again.
TEST_F(AssetSounds, InGameTuneLastsAMinuteAndLoopsWithoutAGap) {
  ASSERT_NO_FATAL_FAILURE(LoadTune(1, "01-ingame.mod"));
  ASSERT_GE(sound.PlayMusic(1, false), 0);
  const Samples once = Render(uint64_t(300) * kOutputRate);
  ASSERT_EQ(sound.GetDriver()->playingChannelMusics(), 0);
  ASSERT_GE(sound.PlayMusic(1, true), 0);
  const Samples twice = Render(once.size());  // frames: twice the samples of one pass
  ASSERT_EQ(twice.size(), once.size() * 2);

  size_t loop = 0;
  while (loop < once.size() && once[loop] == twice[loop]) ++loop;
  const size_t loopframe = loop / 2;
  EXPECT_GE(double(loopframe) / kOutputRate, 60.0);
  const auto window = static_cast<size_t>(0.05 * kOutputRate);
  ASSERT_GT(loopframe, window);
  ASSERT_LT(loopframe + window, twice.size() / 2);
  for (unsigned channel = 0; channel < 2; ++channel) {
    SCOPED_TRACE(channel == 0 ? "left" : "right");
    const std::vector<int32_t> samples = Channel(twice, channel);
    const int32_t step = std::abs(samples[loopframe] - samples[loopframe - 1]);
    EXPECT_LE(step, StepPercentile99(samples));
    const double level = Rms(samples, 0, samples.size());
    EXPECT_GT(Rms(samples, loopframe - window, window), level / 10);  // no hole before the loop point
    EXPECT_GT(Rms(samples, loopframe, window), level / 10);           // nor after it
    ExpectCleanLevels(samples);
  }
}

}  // namespace
