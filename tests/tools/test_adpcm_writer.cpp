// Tests of the MS-ADPCM encoder of the asset tools, read back through the
// mixer's own decoder: a tone survives the round trip closely, stereo keeps
// its channels apart, the image's header describes its blocks, and a last
// partial block is padded so that no frame is lost.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ostream>
#include <vector>

#include <gtest/gtest.h>

#include "audio/mxrData.h"
#include "tools/common/adpcm_writer.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

uint16_t Le16(const std::vector<uint8_t>& bytes, size_t at) { return uint16_t(bytes[at] | bytes[at + 1] << 8); }

constexpr size_t kFadeFrames = 300;

// `frames` of a tone per channel (each channel its own pitch and level),
// fading out at the end as the game's sounds do.
std::vector<int16_t> Tones(size_t frames, const std::vector<double>& freqs, double level) {
  std::vector<int16_t> samples;
  for (size_t i = 0; i < frames; ++i) {
    const double fade = std::min(1.0, double(frames - i) / kFadeFrames);
    for (size_t c = 0; c < freqs.size(); ++c) {
      const double amplitude = fade * level * 32767 / double(c + 1);
      samples.push_back(int16_t(std::lround(amplitude * std::sin(2 * kPi * freqs[c] * double(i) / 22050))));
    }
  }
  return samples;
}

// Root-mean-square difference between the source and the decoded frames, of full scale.
double RmsError(const std::vector<int16_t>& source, const mxrSound& decoded) {
  const auto* pcm = reinterpret_cast<const int16_t*>(decoded.data());
  double sum = 0;
  for (size_t i = 0; i < source.size(); ++i) sum += (double(pcm[i]) - source[i]) * (double(pcm[i]) - source[i]);
  return std::sqrt(sum / double(source.size())) / 32768;
}

struct RoundTripCase {
  const char* name;
  std::vector<double> freqs;  // one a channel
  size_t frames;
};

void PrintTo(const RoundTripCase& c, std::ostream* os) { *os << c.name; }

class AdpcmRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(AdpcmRoundTrip, DecodesCloseToTheSourceWithEveryFrameKept) {
  const RoundTripCase& c = GetParam();
  const auto channels = static_cast<uint16_t>(c.freqs.size());
  const std::vector<int16_t> source = Tones(c.frames, c.freqs, 0.7);
  const std::vector<uint8_t> image = adpcmwriter::Encode(channels, 22050, source);

  const uint16_t blockalign = Le16(image, 32);
  const uint16_t perblock = Le16(image, 38);
  EXPECT_EQ(Le16(image, 20), 2);  // Microsoft ADPCM
  EXPECT_EQ(Le16(image, 34), 4);
  EXPECT_EQ(perblock, adpcmwriter::SamplesPerBlock(blockalign, channels));

  mxrSound sound;
  ASSERT_EQ(sound.load(image.data(), uint32_t(image.size()), false), MXR_WAV_OK);
  EXPECT_EQ(sound.stereo(), channels == 2);
  const size_t blocks = (c.frames + perblock - 1) / perblock;
  EXPECT_EQ(sound.frameCount(), blocks * perblock);  // the partial block padded, not dropped
  EXPECT_LT(RmsError(source, sound), 0.01);
  // The padding past the source decodes to silence.
  const auto* pcm = reinterpret_cast<const int16_t*>(sound.data());
  for (size_t i = source.size(); i < size_t(sound.frameCount()) * channels; ++i) EXPECT_LE(std::abs(pcm[i]), 64);
}

INSTANTIATE_TEST_SUITE_P(Tones, AdpcmRoundTrip,
                         ::testing::Values(RoundTripCase{"MonoWholeBlocks", {440}, 2000},
                                           RoundTripCase{"MonoPartialBlock", {1000}, 1234},
                                           RoundTripCase{"StereoTwoPitches", {330, 2500}, 1700}),
                         [](const ::testing::TestParamInfo<RoundTripCase>& info) { return info.param.name; });

TEST(AdpcmWriter, SilenceStaysSilentAtTheSmallestStep) {
  const std::vector<int16_t> silence(1500, 0);
  const std::vector<uint8_t> image = adpcmwriter::Encode(1, 44100, silence);
  mxrSound sound;
  ASSERT_EQ(sound.load(image.data(), uint32_t(image.size()), false), MXR_WAV_OK);
  const auto* pcm = reinterpret_cast<const int16_t*>(sound.data());
  for (uint32_t i = 0; i < sound.frameCount(); ++i) ASSERT_EQ(pcm[i], 0) << i;
}

}  // namespace
