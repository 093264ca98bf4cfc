// Tests of the JPEG loader: pixels against djpeg's, progressive copies against
// their baseline originals, refusals, corrupt and truncated files, and the
// vector stages against the portable ones.
//
// The fixtures in fixtures/jpeg/ were made by the make.sh beside them with
// Debian's libjpeg-turbo-progs (cjpeg, jpegtran) from pictures the script
// draws itself; the expected pixels are what `djpeg -dct int` gives (see the
// README there).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/whole_file.h"
#include "resources/loaders/vldr_jpg.h"
#include "support/xorshift.h"
#include "tools/common/image_capture.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadFixture(const std::string& name) { return ReadWholeFile(FixturePath(__FILE__, "fixtures/jpeg/" + name)); }

// A binary PPM (P6) or PGM (P5) as 32-bit colours in the loaders' layout.
struct Picture {
  uint32_t width = 0, height = 0;
  std::vector<uint32_t> pixels;
};

Picture ParsePnm(const Bytes& file) {
  Picture picture;
  if (file.size() < 2 || file[0] != 'P' || (file[1] != '5' && file[1] != '6')) return picture;
  uint32_t channels = file[1] == '6' ? 3 : 1;
  size_t at = 2;
  uint32_t fields[3] = {};
  for (uint32_t& field : fields) {
    while (at < file.size() && (file[at] == ' ' || file[at] == '\n')) ++at;
    while (at < file.size() && file[at] >= '0' && file[at] <= '9') field = field * 10 + (file[at++] - '0');
  }
  ++at;  // the one whitespace byte before the samples
  if (fields[2] != 255 || file.size() - at != size_t(fields[0]) * fields[1] * channels) return picture;
  picture.width = fields[0];
  picture.height = fields[1];
  for (size_t i = at; i < file.size(); i += channels) {
    uint32_t r = file[i], g = file[i + channels / 3], b = file[i + 2 * (channels / 3)];
    picture.pixels.push_back(r | (g << 8) | (b << 16) | 0xFF000000u);
  }
  return picture;
}

int Load(const Bytes& file, VImageCapture& capture) {
  VLoader_JPG loader;
  return capture.Load(loader, file.data(), uint32_t(file.size()));
}

int Load(const Bytes& file) {
  VImageCapture capture;
  return Load(file, capture);
}

int LargestChannelDifference(uint32_t a, uint32_t b) {
  int largest = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    int d = int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF);
    if (d < 0) d = -d;
    if (d > largest) largest = d;
  }
  return largest;
}

// --- against djpeg -------------------------------------------------------------

class JpgReference : public ::testing::TestWithParam<const char*> {};

TEST_P(JpgReference, EveryPixelWithinTwoOfDjpeg) {
  std::string name = GetParam();
  Bytes file = ReadFixture(name + ".jpg");
  Picture expected = ParsePnm(ReadFixture(name + (name == "grey" ? ".pgm" : ".ppm")));
  ASSERT_FALSE(file.empty());
  ASSERT_FALSE(expected.pixels.empty());
  VImageCapture capture;
  ASSERT_EQ(Load(file, capture), VLDR_LOADED);
  EXPECT_EQ(capture.creates, 1);
  EXPECT_EQ(capture.indexed, 0);
  EXPECT_EQ(capture.alpha, 0);
  ASSERT_EQ(uint32_t(capture.width), expected.width);
  ASSERT_EQ(capture.height, expected.height);
  EXPECT_EQ(uint32_t(capture.rows), expected.height);
  int largest = 0;
  for (uint32_t y = 0; y < expected.height; ++y) {
    for (uint32_t x = 0; x < expected.width; ++x) {
      int d = LargestChannelDifference(capture.At(int32_t(x), int32_t(y)), expected.pixels[y * expected.width + x]);
      if (d > largest) largest = d;
      ASSERT_LE(d, 2) << "pixel " << x << ", " << y;
    }
  }
  RecordProperty("largest_difference", largest);
}

INSTANTIATE_TEST_SUITE_P(Layouts, JpgReference,
                         ::testing::Values("base444", "base422", "base440", "base420", "small420", "tiny420",
                                           "grey", "restart420"));

struct REARRANGEDCOPY {
  const char* rearranged;  // a lossless jpegtran copy
  const char* baseline;
};

class JpgRearranged : public ::testing::TestWithParam<REARRANGEDCOPY> {};

TEST_P(JpgRearranged, DecodesToExactlyTheBaselinePixels) {
  VImageCapture rearranged, baseline;
  ASSERT_EQ(Load(ReadFixture(GetParam().rearranged), rearranged), VLDR_LOADED);
  ASSERT_EQ(Load(ReadFixture(GetParam().baseline), baseline), VLDR_LOADED);
  ASSERT_EQ(rearranged.width, baseline.width);
  ASSERT_EQ(rearranged.height, baseline.height);
  EXPECT_EQ(rearranged.pixels, baseline.pixels);
}

INSTANTIATE_TEST_SUITE_P(Copies, JpgRearranged,
                         ::testing::Values(REARRANGEDCOPY{"progressive420.jpg", "base420.jpg"},
                                           REARRANGEDCOPY{"progressive444.jpg", "base444.jpg"},
                                           REARRANGEDCOPY{"progressivegrey.jpg", "grey.jpg"},
                                           REARRANGEDCOPY{"progressiverestart420.jpg", "base420.jpg"},
                                           REARRANGEDCOPY{"separate420.jpg", "base420.jpg"}));

// --- refusals --------------------------------------------------------------------

// A file that ends right after its frame header.
Bytes FrameOnly(uint8_t sof, uint8_t precision, uint16_t height, uint16_t width, uint8_t count) {
  Bytes out = {0xFF, 0xD8, 0xFF, sof};
  uint16_t length = uint16_t(8 + 3 * count);
  Bytes fields = {uint8_t(length >> 8), uint8_t(length), precision, uint8_t(height >> 8), uint8_t(height),
                  uint8_t(width >> 8), uint8_t(width), count};
  out.insert(out.end(), fields.begin(), fields.end());
  for (uint8_t i = 0; i < count; ++i) {
    Bytes component = {uint8_t(i + 1), 0x11, 0};
    out.insert(out.end(), component.begin(), component.end());
  }
  out.push_back(0xFF);
  out.push_back(0xD9);
  return out;
}

struct REFUSAL {
  const char* name;
  Bytes file;
};

class JpgRefusal : public ::testing::TestWithParam<REFUSAL> {};

TEST_P(JpgRefusal, IsNotThisLoadersFormatAndCreatesNothing) {
  VImageCapture capture;
  EXPECT_EQ(Load(GetParam().file, capture), VLDR_NOTMYFORMAT);
  EXPECT_EQ(capture.creates, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, JpgRefusal,
    ::testing::Values(REFUSAL{"NineThousandWide", FrameOnly(0xC0, 8, 16, 9000, 3)},
                      REFUSAL{"NineThousandHigh", FrameOnly(0xC2, 8, 9000, 16, 1)},
                      REFUSAL{"WidthZero", FrameOnly(0xC0, 8, 16, 0, 1)},
                      REFUSAL{"HeightLeftToALaterMarker", FrameOnly(0xC0, 8, 0, 16, 1)},
                      REFUSAL{"TwelveBitSamples", FrameOnly(0xC1, 12, 16, 16, 1)},
                      REFUSAL{"FiveComponents", FrameOnly(0xC0, 8, 16, 16, 5)},
                      REFUSAL{"Lossless", FrameOnly(0xC3, 8, 16, 16, 1)},
                      REFUSAL{"ArithmeticCoded", FrameOnly(0xC9, 8, 16, 16, 1)},
                      REFUSAL{"NoFrameHeader", Bytes{0xFF, 0xD8, 0xFF, 0xD9}},
                      REFUSAL{"EndsBeforeTheFrameHeader", Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x04, 0x4A, 0x46}},
                      REFUSAL{"NotAJpeg", Bytes{'G', 'I', 'F', '8', '9', 'a'}}, REFUSAL{"Empty", Bytes{}}),
    [](const ::testing::TestParamInfo<REFUSAL>& info) { return std::string(info.param.name); });

TEST(JpgLoader, LargestSideIsAccepted) {
  VImageCapture capture;
  EXPECT_EQ(Load(FrameOnly(0xC0, 8, 1, 8192, 1), capture), VLDR_CORRUPT);  // no scan follows
  EXPECT_EQ(capture.creates, 1);
  EXPECT_EQ(capture.width, 8192);
}

// --- corrupt files -----------------------------------------------------------------

size_t FindMarker(const Bytes& file, uint8_t marker) {
  for (size_t i = 0; i + 1 < file.size(); ++i) {
    if (file[i] == 0xFF && file[i + 1] == marker) return i;
  }
  return file.size();
}

// The fixture with one change.
Bytes Altered(const char* name, uint8_t marker, size_t offset, uint8_t value) {
  Bytes file = ReadFixture(name);
  size_t at = FindMarker(file, marker) + offset;
  if (at < file.size()) file[at] = value;
  return file;
}

class JpgCorrupt : public ::testing::TestWithParam<REFUSAL> {};

TEST_P(JpgCorrupt, EndsTheLoadAsCorrupt) {
  VImageCapture capture;
  EXPECT_EQ(Load(GetParam().file, capture), VLDR_CORRUPT);
}

INSTANTIATE_TEST_SUITE_P(
    Files, JpgCorrupt,
    ::testing::Values(
        // DHT: marker, length (2), class and destination, then the counts.
        REFUSAL{"HuffmanCodesOverflowTheirLengths", Altered("base420.jpg", 0xC4, 5, 3)},
        REFUSAL{"HuffmanTableOfUnknownClass", Altered("base420.jpg", 0xC4, 4, 0x20)},
        REFUSAL{"QuantTableOfUnknownPrecision", Altered("base420.jpg", 0xDB, 4, 0x20)},
        // SOF: marker, length, precision, lines, samples, count, then Ci, HiVi.
        REFUSAL{"ChromaSampledTwice", Altered("base420.jpg", 0xC0, 14, 0x22)},
        REFUSAL{"LumaSampledThreeWide", Altered("base420.jpg", 0xC0, 11, 0x31)},
        REFUSAL{"ScanOfAnUnknownComponent", Altered("base420.jpg", 0xDA, 5, 9)},
        REFUSAL{"ScanWithAnUndefinedTable", Altered("grey.jpg", 0xDA, 6, 0x33)},
        REFUSAL{"GarbageWhereAMarkerBelongs", Altered("base420.jpg", 0xDB, 0, 0x00)},
        REFUSAL{"RestartMarkerOutOfOrder", Altered("restart420.jpg", 0xD0, 1, 0xD3)},
        REFUSAL{"SecondStartOfImage", Altered("base420.jpg", 0xDB, 1, 0xD8)},
        REFUSAL{"ProgressiveBandAcrossTheDc", Altered("progressive420.jpg", 0xDA, 12, 0x05)}),
    [](const ::testing::TestParamInfo<REFUSAL>& info) { return std::string(info.param.name); });

TEST(JpgLoader, TwoComponentFrameIsCorruptAfterCreation) {
  Bytes file = ReadFixture("base420.jpg");
  size_t sof = FindMarker(file, 0xC0);
  file[sof + 3] = 8 + 3 * 2;  // length
  file[sof + 9] = 2;          // count
  VImageCapture capture;
  EXPECT_EQ(Load(file, capture), VLDR_CORRUPT);
  EXPECT_EQ(capture.creates, 1);
}

TEST(JpgLoader, TruncationAtEveryByteFailsWithACode) {
  for (const char* name : {"base420.jpg", "progressive420.jpg", "restart420.jpg", "progressivegrey.jpg"}) {
    Bytes file = ReadFixture(name);
    ASSERT_FALSE(file.empty());
    for (size_t length = 0; length < file.size(); ++length) {
      Bytes cut(file.begin(), file.begin() + long(length));
      int rc = Load(cut);
      ASSERT_TRUE(rc == VLDR_CORRUPT || rc == VLDR_OUTOFMEMORY || rc == VLDR_NOTMYFORMAT)
          << name << " cut to " << length << " bytes gave " << rc;
    }
  }
}

// A surface that refuses the image: its result is the load's.
class RefusingSurface : public VImageCapture {
 public:
  int LdrOnCreate(VLDR_2DCALLBACKINFO*) override { return 7; }
};

TEST(JpgLoader, SurfaceRefusalIsPassedThrough) {
  Bytes file = ReadFixture("base444.jpg");
  RefusingSurface surface;
  VLoader_JPG loader;
  EXPECT_EQ(surface.Load(loader, file.data(), uint32_t(file.size())), 7);
  EXPECT_TRUE(surface.pixels.empty());
}

// --- the stages --------------------------------------------------------------------

#if defined(__SSE2__)
TEST(JpgStages, VectorInverseDctMatchesThePortableOne) {
  XorShift32 random{0x1234567u};
  uint16_t quant[64];
  for (uint16_t& q : quant) q = uint16_t(1 + random.Next() % 40);
  for (int trial = 0; trial < 2000; ++trial) {
    int16_t coefs[64] = {};
    int used = 1 + int(random.Next() % 64);
    for (int i = 0; i < used; ++i) {
      int32_t span = i == 0 ? 2048 : 512 >> (i / 16);
      coefs[i] = int16_t(int32_t(random.Next() % uint32_t(2 * span)) - span);
      coefs[i] = int16_t(coefs[i] / quant[i]);
    }
    uint8_t scalar[8 * 10], vector[8 * 10];
    VJpg_InverseDctScalar(coefs, quant, scalar, 10);
    VJpg_InverseDctSse2(coefs, quant, vector, 10);
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 8; ++x) ASSERT_EQ(vector[y * 10 + x], scalar[y * 10 + x]) << "trial " << trial;
    }
  }
}

// Blocks with only a DC term take a shortcut in the vector pass; it must give
// the full transform's value, up to the clamps of both passes.
TEST(JpgStages, DcOnlyBlocksMatchThePortableTransformAtTheLimits) {
  const int16_t dcs[] = {0, 1, -1, 3, -3, 100, -100, 1023, -1024, 2047, -2048};
  const uint16_t quants[] = {1, 2, 3, 4};
  for (int16_t dc : dcs) {
    for (uint16_t q : quants) {
      int16_t coefs[64] = {dc};
      uint16_t quant[64];
      std::fill(quant, quant + 64, q);
      uint8_t scalar[64], vector[64];
      VJpg_InverseDctScalar(coefs, quant, scalar, 8);
      VJpg_InverseDctSse2(coefs, quant, vector, 8);
      ASSERT_EQ(std::vector<uint8_t>(vector, vector + 64), std::vector<uint8_t>(scalar, scalar + 64))
          << "dc " << dc << " quant " << q;
    }
  }
}

TEST(JpgStages, VectorColourRowMatchesThePortableOne) {
  XorShift32 random{0xBEEFu};
  constexpr uint32_t kCount = 4099;  // whole vectors and a tail
  std::vector<uint8_t> y(kCount), cb(kCount), cr(kCount);
  for (uint32_t i = 0; i < kCount; ++i) {
    y[i] = uint8_t(random.Next());
    cb[i] = uint8_t(random.Next());
    cr[i] = uint8_t(random.Next());
  }
  std::vector<uint32_t> scalar(kCount), vector(kCount);
  VJpg_YccRowScalar(y.data(), cb.data(), cr.data(), scalar.data(), kCount);
  VJpg_YccRowSse2(y.data(), cb.data(), cr.data(), vector.data(), kCount);
  EXPECT_EQ(vector, scalar);
}

TEST(JpgStages, VectorUpsamplingMatchesThePortableOne) {
  XorShift32 random{0xC0FFEEu};
  for (uint32_t count : {1u, 9u, 10u, 17u, 18u, 513u}) {
    std::vector<uint8_t> nearrow(count), farrow(count);
    for (uint32_t i = 0; i < count; ++i) {
      nearrow[i] = uint8_t(random.Next());
      farrow[i] = uint8_t(random.Next());
    }
    std::vector<uint8_t> scalar(2 * count), vector(2 * count);
    VJpg_UpsampleBothScalar(nearrow.data(), farrow.data(), scalar.data(), count);
    VJpg_UpsampleBothSse2(nearrow.data(), farrow.data(), vector.data(), count);
    EXPECT_EQ(vector, scalar) << count << " samples";
  }
}
#endif

TEST(JpgStages, FlatBlockGivesItsLevel) {
  // A DC of 8 x 8 x n lifts every sample of the block by n.
  uint16_t quant[64];
  for (uint16_t& q : quant) q = 1;
  for (int level : {-128, -37, 0, 1, 100, 127}) {
    int16_t coefs[64] = {};
    coefs[0] = int16_t(8 * level);
    uint8_t out[64];
    VJpg_InverseDctScalar(coefs, quant, out, 8);
    for (uint8_t sample : out) ASSERT_EQ(sample, 128 + level);
  }
}

}  // namespace
