// Checks of the PNG loader and writer. Every PNG is made here by
// png_builder.h (our own chunk writer over zlib), and the expected pixels
// come from the samples the image was built from.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "resources/loaders/vldr_png.h"
#include "resources/vmod_file.h"
#include "support/temp_folder.h"
#include "support/xorshift.h"
#include "tests/resources/png_builder.h"
#include "tools/common/image_capture.h"
#include "util/vmod_memory.h"

namespace {

using pngbuild::AppendChunk;
using pngbuild::BuildPng;
using pngbuild::Bytes;
using pngbuild::Ihdr;
using pngbuild::PatternImage;
using pngbuild::SampleImage;

uint32_t Rgba(uint32_t r, uint32_t g, uint32_t b, uint32_t a = 255) { return r | (g << 8) | (b << 16) | (a << 24); }

uint32_t To8(uint16_t sample, uint8_t depth) { return depth == 16 ? sample >> 8 : sample * 255u / ((1u << depth) - 1); }

// Entry i of the test palettes: a colour that differs for every index.
uint32_t PaletteColour(uint32_t i) { return Rgba(i, 255 - i, (i * 37) & 0xFF); }

Bytes Plte(uint32_t entries) {
  Bytes data;
  for (uint32_t i = 0; i < entries; ++i) {
    const uint32_t c = PaletteColour(i);
    data.insert(data.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
  }
  return data;
}

uint32_t ExpectedPixel(const SampleImage &img, uint32_t x, uint32_t y) {
  const uint8_t d = img.depth;
  switch (img.colortype) {
    case 0: {
      const uint32_t g = To8(img.At(x, y, 0), d);
      return Rgba(g, g, g);
    }
    case 2:
      return Rgba(To8(img.At(x, y, 0), d), To8(img.At(x, y, 1), d), To8(img.At(x, y, 2), d));
    case 3:
      return PaletteColour(img.At(x, y, 0));
    case 4: {
      const uint32_t g = To8(img.At(x, y, 0), d);
      return Rgba(g, g, g, To8(img.At(x, y, 1), d));
    }
    default:
      return Rgba(To8(img.At(x, y, 0), d), To8(img.At(x, y, 1), d), To8(img.At(x, y, 2), d), To8(img.At(x, y, 3), d));
  }
}

// Loads a block into a capture surface.
int Load(const Bytes &png, VImageCapture &capture) {
  VLoader_PNG loader;
  return capture.Load(loader, png.data(), uint32_t(png.size()));
}

int LoadResult(const Bytes &png) {
  VImageCapture capture;
  return Load(png, capture);
}

void ExpectPixels(const SampleImage &img, const VImageCapture &capture) {
  ASSERT_EQ(capture.width, int32_t(img.width));
  ASSERT_EQ(capture.height, img.height);
  for (uint32_t y = 0; y < img.height; ++y) {
    for (uint32_t x = 0; x < img.width; ++x) {
      ASSERT_EQ(capture.At(int32_t(x), int32_t(y)), ExpectedPixel(img, x, y)) << "pixel " << x << "," << y;
    }
  }
}

// A PNG of the header given and one small IDAT of filter-0 rows.
Bytes HeaderOnlyPng(const Bytes &ihdr, uint32_t rawbytes = 8) {
  Bytes png = pngbuild::Signature();
  AppendChunk(png, "IHDR", ihdr);
  AppendChunk(png, "IDAT", pngbuild::Deflate(Bytes(rawbytes, 0)));
  AppendChunk(png, "IEND", {});
  return png;
}

// Records every palette stream as the loader sends it.
class PaletteRecorder : public VImageCapture {
 public:
  int LdrOnPaletteStream(VLDR_2DCALLBACKINFO *info) override {
    starts.push_back(info->palettestart);
    lengths.push_back(info->length);
    return VImageCapture::LdrOnPaletteStream(info);
  }
  std::vector<uint32_t> starts, lengths;
};

struct FORMAT {
  uint8_t colortype, depth;
};

// Every pair of colour type and bit depth the format allows.
const FORMAT ALLFORMATS[] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
                             {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};

// Sizes of 1 to 4 pixels leave Adam7 passes without columns or rows.
const uint32_t SIZES[][2] = {{1, 1}, {2, 1}, {1, 3}, {3, 2}, {4, 4}, {5, 9}, {13, 11}, {33, 17}};

// Filters change from row to row, or every row is Paeth (which runs rows
// in pairs).
TEST(VLoaderPng, DecodesEveryFormatWithAndWithoutAdam7ExactlyAcrossAllFilters) {
  for (const FORMAT &f : ALLFORMATS) {
    for (int interlace = 0; interlace < 2; ++interlace) {
      for (uint32_t filterstep = 0; filterstep < 2; ++filterstep) {
        uint32_t seed = 1;
        for (const auto &size : SIZES) {
          SCOPED_TRACE(testing::Message()
                       << "type " << int(f.colortype) << " depth " << int(f.depth) << " adam7 " << interlace << " size "
                       << size[0] << "x" << size[1] << " step " << filterstep);
          const SampleImage img = PatternImage(size[0], size[1], f.depth, f.colortype, seed++);
          std::vector<std::pair<const char *, Bytes>> chunks;
          if (f.colortype == 3) chunks.push_back({"PLTE", Plte(1u << f.depth)});
          const uint32_t idatparts = 1 + seed % 3, firstfilter = filterstep ? seed : 4;
          VImageCapture capture;
          ASSERT_EQ(Load(BuildPng(img, interlace != 0, chunks, idatparts, firstfilter, filterstep), capture),
                    VLDR_LOADED);
          EXPECT_EQ(capture.indexed, f.colortype == 3);
          EXPECT_EQ(capture.alpha, (f.colortype & 4) != 0);
          EXPECT_EQ(capture.rows, int(size[1]));
          ExpectPixels(img, capture);
        }
      }
    }
  }
}

TEST(VLoaderPng, RefusesWhatIsNotPng) {
  Bytes png = BuildPng(PatternImage(2, 2, 8, 2), false);
  png[1] = 'Q';
  EXPECT_EQ(LoadResult(png), VLDR_NOTMYFORMAT);
  Bytes signature = pngbuild::Signature();
  signature.pop_back();
  EXPECT_EQ(LoadResult(signature), VLDR_NOTMYFORMAT);
}

TEST(VLoaderPng, ZeroWidthIsCorruptBeforeCreating) {
  VImageCapture capture;
  EXPECT_EQ(Load(HeaderOnlyPng(Ihdr(0, 4, 8, 2)), capture), VLDR_CORRUPT);
  EXPECT_EQ(capture.creates, 0);
}

TEST(VLoaderPng, RefusesHeaderValuesOutsideTheFormat) {
  struct CASE {
    Bytes ihdr;
    int result;
  };
  const CASE cases[] = {
      {Ihdr(0x80000000u, 1, 8, 0), VLDR_CORRUPT},
      {Ihdr(1, 0x80000000u, 8, 0), VLDR_CORRUPT},
      {Ihdr(4, 0, 8, 0), VLDR_CORRUPT},
      {Ihdr(4, 4, 3, 0), VLDR_CORRUPT},
      {Ihdr(4, 4, 4, 2), VLDR_CORRUPT},
      {Ihdr(4, 4, 16, 3), VLDR_CORRUPT},
      {Ihdr(4, 4, 1, 4), VLDR_CORRUPT},
      {Ihdr(4, 4, 2, 6), VLDR_CORRUPT},
      {Ihdr(4, 4, 8, 1), VLDR_CORRUPT},
      {Ihdr(4, 4, 8, 5), VLDR_CORRUPT},
      {Ihdr(4, 4, 8, 7), VLDR_CORRUPT},
      {Ihdr(4, 4, 8, 0, 0, 1), VLDR_NOTMYFORMAT},
      {Ihdr(4, 4, 8, 0, 0, 0, 1), VLDR_NOTMYFORMAT},
      {Ihdr(4, 4, 8, 0, 2), VLDR_NOTMYFORMAT},
  };
  for (const CASE &c : cases) {
    VImageCapture capture;
    EXPECT_EQ(Load(HeaderOnlyPng(c.ihdr), capture), c.result);
    EXPECT_EQ(capture.creates, 0);
  }
  Bytes ihdr = Ihdr(4, 4, 8, 0);
  ihdr.push_back(0);
  EXPECT_EQ(LoadResult(HeaderOnlyPng(ihdr)), VLDR_CORRUPT);  // IHDR is 13 bytes
}

TEST(VLoaderPng, RefusesARowFilterTypeAboveFour) {
  Bytes raw = {0, 1, 2, 5, 3, 4};  // two grey rows, the second with filter 5
  Bytes png = pngbuild::Signature();
  AppendChunk(png, "IHDR", Ihdr(2, 2, 8, 0));
  AppendChunk(png, "IDAT", pngbuild::Deflate(raw));
  EXPECT_EQ(LoadResult(png), VLDR_CORRUPT);
}

TEST(VLoaderPng, HeaderMustComeFirstAndOnce) {
  const Bytes ihdr = Ihdr(2, 2, 8, 3);
  const Bytes idat = pngbuild::Deflate(Bytes(6, 0));
  const std::vector<std::vector<std::pair<const char *, Bytes>>> orders = {
      {{"tRNS", {0}}, {"IHDR", ihdr}, {"PLTE", Plte(2)}, {"IDAT", idat}},
      {{"PLTE", Plte(2)}, {"IHDR", ihdr}, {"IDAT", idat}},
      {{"IDAT", idat}},
      {{"IHDR", ihdr}, {"PLTE", Plte(2)}, {"IHDR", ihdr}, {"IDAT", idat}},
  };
  for (const auto &order : orders) {
    Bytes png = pngbuild::Signature();
    for (const auto &chunk : order) AppendChunk(png, chunk.first, chunk.second);
    VImageCapture capture;
    EXPECT_EQ(Load(png, capture), VLDR_CORRUPT);
    EXPECT_EQ(capture.creates, 0);
  }
}

TEST(VLoaderPng, PaletteChunkRules) {
  SampleImage img = PatternImage(3, 3, 8, 3);
  for (uint16_t &s : img.samples) s %= 4;
  EXPECT_EQ(LoadResult(BuildPng(img, false, {{"PLTE", Bytes(770, 1)}})), VLDR_CORRUPT);
  EXPECT_EQ(LoadResult(BuildPng(img, false, {{"PLTE", Bytes(771, 1)}})), VLDR_CORRUPT);
  EXPECT_EQ(LoadResult(BuildPng(img, false, {{"PLTE", {}}})), VLDR_CORRUPT);
  EXPECT_EQ(LoadResult(BuildPng(img, false)),
            VLDR_CORRUPT);  // indexed without a palette
  EXPECT_EQ(LoadResult(BuildPng(img, false, {{"PLTE", Plte(256)}})), VLDR_LOADED);
}

TEST(VLoaderPng, ThreeByteTrnsSetsThreeAlphasAndSendsThePaletteTwiceFromEntryZero) {
  SampleImage img = PatternImage(4, 1, 8, 3);
  img.samples = {0, 1, 2, 3};
  PaletteRecorder capture;
  ASSERT_EQ(Load(BuildPng(img, false, {{"PLTE", Plte(4)}, {"tRNS", {0, 128, 7}}}), capture), VLDR_LOADED);
  EXPECT_EQ(capture.starts, (std::vector<uint32_t>{0, 0}));
  EXPECT_EQ(capture.lengths, (std::vector<uint32_t>{16, 12}));
  EXPECT_EQ(capture.alpha, 1);
  const uint32_t alphas[4] = {0, 128, 7, 255};
  for (uint32_t i = 0; i < 4; ++i) {
    EXPECT_EQ(capture.colours[i], (PaletteColour(i) & 0xFFFFFF) | (alphas[i] << 24));
    EXPECT_EQ(capture.At(int32_t(i), 0), capture.colours[i]);
  }
}

TEST(VLoaderPng, TrnsColourMakesExactlyThatColourTransparent) {
  struct CASE {
    uint8_t colortype, depth;
    Bytes trns;
    std::vector<uint16_t> samples;  // two pixels: the first matches the key, the second does not
  };
  const CASE cases[] = {
      {2, 8, {0, 10, 0, 20, 0, 30}, {10, 20, 30, 10, 20, 31}},
      // 16-bit keys compare whole samples: equal high bytes are not enough.
      {2, 16, {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}, {0x1234, 0x5678, 0x9ABC, 0x1234, 0x5678, 0x9ABD}},
      {0, 4, {0, 9}, {9, 8}},
      {0, 1, {0, 0}, {0, 1}},
      {0, 16, {0xAB, 0xCD}, {0xABCD, 0xABCE}},
  };
  for (const CASE &c : cases) {
    SampleImage img = PatternImage(2, 1, c.depth, c.colortype);
    img.samples = c.samples;
    VImageCapture capture;
    ASSERT_EQ(Load(BuildPng(img, false, {{"tRNS", c.trns}}), capture), VLDR_LOADED);
    EXPECT_EQ(capture.alpha, 1);
    EXPECT_EQ(capture.At(0, 0), ExpectedPixel(img, 0, 0) & 0xFFFFFF);
    EXPECT_EQ(capture.At(1, 0), ExpectedPixel(img, 1, 0));
  }
}

TEST(VLoaderPng, TrnsValueTheDepthCannotHoldMatchesNothing) {
  SampleImage img = PatternImage(2, 1, 8, 2);
  img.samples = {1, 0, 0, 0, 0, 0};
  VImageCapture capture;
  ASSERT_EQ(Load(BuildPng(img, false, {{"tRNS", {1, 1, 0, 0, 0, 0}}}), capture), VLDR_LOADED);
  EXPECT_EQ(capture.At(0, 0), Rgba(1, 0, 0));
  EXPECT_EQ(capture.At(1, 0), Rgba(0, 0, 0));
}

TEST(VLoaderPng, SixteenBitRgbaDeliversHighBytes) {
  SampleImage img = PatternImage(1, 1, 16, 6);
  img.samples = {0x12FF, 0x3400, 0x5680, 0x78EE};
  VImageCapture capture;
  ASSERT_EQ(Load(BuildPng(img, true), capture), VLDR_LOADED);
  EXPECT_EQ(capture.At(0, 0), 0x78563412u);
}

TEST(VLoaderPng, IdatLengthsPastTheBlockKeepWhatTheBlockHolds) {
  const SampleImage img = PatternImage(7, 5, 8, 6);
  for (uint32_t claimed : {0xFFFFFFF4u, 0xFFFFFFFFu, 0x80000000u}) {
    Bytes png = pngbuild::Signature();
    AppendChunk(png, "IHDR", Ihdr(7, 5, 8, 6));
    const size_t idat = png.size();
    AppendChunk(png, "IDAT", pngbuild::Deflate(pngbuild::FilteredData(img, false)));
    png.resize(png.size() - 4);  // the block ends inside the chunk, before its CRC
    for (int i = 0; i < 4; ++i) png[idat + i] = uint8_t(claimed >> (24 - 8 * i));
    VImageCapture capture;
    ASSERT_EQ(Load(png, capture), VLDR_LOADED);
    ExpectPixels(img, capture);
  }
}

TEST(VLoaderPng, IdatChunksMustFollowOneAnother) {
  const SampleImage img = PatternImage(6, 6, 8, 2);
  const Bytes data = pngbuild::Deflate(pngbuild::FilteredData(img, false));
  const size_t half = data.size() / 2;
  Bytes png = pngbuild::Signature();
  AppendChunk(png, "IHDR", Ihdr(6, 6, 8, 2));
  AppendChunk(png, "IDAT", Bytes(data.begin(), data.begin() + half));
  AppendChunk(png, "tEXt", {'a', 0, 'b'});
  AppendChunk(png, "IDAT", Bytes(data.begin() + half, data.end()));
  EXPECT_EQ(LoadResult(png), VLDR_CORRUPT);
}

TEST(VLoaderPng, WithoutImageDataIsCorrupt) {
  Bytes png = pngbuild::Signature();
  AppendChunk(png, "IHDR", Ihdr(2, 2, 8, 2));
  AppendChunk(png, "IEND", {});
  EXPECT_EQ(LoadResult(png), VLDR_CORRUPT);
}

TEST(VLoaderPng, ImageDataEndingEarlyLeavesTheRestZero) {
  const SampleImage img = PatternImage(4, 6, 8, 2);
  Bytes raw = pngbuild::FilteredData(img, false);
  raw.resize(raw.size() / 2);  // three of the six rows
  Bytes png = pngbuild::Signature();
  AppendChunk(png, "IHDR", Ihdr(4, 6, 8, 2));
  AppendChunk(png, "IDAT", pngbuild::Deflate(raw));
  VImageCapture capture;
  ASSERT_EQ(Load(png, capture), VLDR_LOADED);
  for (uint32_t y = 0; y < 6; ++y) {
    for (uint32_t x = 0; x < 4; ++x) {
      EXPECT_EQ(capture.At(int32_t(x), int32_t(y)), y < 3 ? ExpectedPixel(img, x, y) : Rgba(0, 0, 0));
    }
  }
}

TEST(VLoaderPng, HugeClaimsAreRefusedBeforeAnythingIsCreated) {
  for (uint8_t interlace : {0, 1}) {
    VImageCapture capture;
    EXPECT_EQ(Load(HeaderOnlyPng(Ihdr(100000, 100000, 8, 6, interlace)), capture), VLDR_CORRUPT);
    EXPECT_EQ(capture.creates, 0);
  }
}

TEST(VLoaderPng, SurfaceRefusalIsTheResult) {
  class Refusing : public VImageCapture {
    int LdrOnCreate(VLDR_2DCALLBACKINFO *) override { return 7; }
  } capture;
  EXPECT_EQ(Load(BuildPng(PatternImage(2, 2, 8, 0), false), capture), 7);
}

TEST(VLoaderPng, TruncationAtEveryByteFailsCleanly) {
  const std::vector<Bytes> files = {
      BuildPng(PatternImage(9, 7, 8, 6), true, {}, 3),
      BuildPng(PatternImage(5, 4, 2, 3), false, {{"PLTE", Plte(4)}, {"tRNS", {1, 2}}}, 2),
  };
  for (const Bytes &png : files) {
    const size_t end = png.size() - 12;  // where IEND starts: all image data lies before it
    for (size_t n = 0; n < png.size(); ++n) {
      const Bytes part(png.begin(), png.begin() + n);
      VImageCapture capture;
      const int result = Load(part, capture);
      if (n < 8) {
        EXPECT_EQ(result, VLDR_NOTMYFORMAT) << n;
      } else if (n < end - 4) {
        EXPECT_TRUE(result == VLDR_CORRUPT || result == VLDR_OUTOFMEMORY) << n << ": " << result;
      } else {
        EXPECT_EQ(result, VLDR_LOADED) << n;  // only CRCs and IEND are missing
      }
    }
  }
}

// --- the writer
// -------------------------------------------------------------------

struct PICTURE {
  uint32_t width, height;
  uint8_t colortype;
  std::vector<uint8_t> pixels;
  std::vector<uint32_t> palette;
  VPNGIMAGE Image(uint32_t pitch) const {
    return VPNGIMAGE{width,
                     height,
                     colortype,
                     pixels.data(),
                     pitch,
                     palette.empty() ? nullptr : palette.data(),
                     uint32_t(palette.size())};
  }
};

// Noise, smooth ramps and repeated rows, so that every filter wins somewhere.
PICTURE MakePicture(uint32_t width, uint32_t height, uint8_t colortype, uint32_t pitchpad) {
  const uint32_t bytes = colortype == 2 ? 3 : colortype == 6 ? 4 : 1;
  PICTURE p{width, height, colortype, std::vector<uint8_t>(size_t(width * bytes + pitchpad) * height), {}};
  XorShift32 random{77};
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width * bytes; ++x) {
      uint8_t &v = p.pixels[size_t(y) * (width * bytes + pitchpad) + x];
      if (colortype == 3) {
        v = uint8_t(y % 3 ? (x / 3) % 20 : random.Below(20));
      } else {
        v = uint8_t(y % 4 == 0 ? random.Next() : y % 4 == 1 ? x * 3 + y : y % 4 == 2 ? (x * y) >> 2 : x + y * 5);
      }
    }
  }
  if (colortype == 3) {
    for (uint32_t i = 0; i < 20; ++i)
      p.palette.push_back((PaletteColour(i * 12) & 0xFFFFFF) | (uint32_t(i * 13) << 24));
  }
  return p;
}

uint32_t PictureColour(const PICTURE &p, uint32_t pitch, uint32_t x, uint32_t y) {
  const uint8_t *at = p.pixels.data() + size_t(y) * pitch;
  if (p.colortype == 3) return p.palette[at[x]];
  if (p.colortype == 2) return Rgba(at[x * 3], at[x * 3 + 1], at[x * 3 + 2]);
  return Rgba(at[x * 4], at[x * 4 + 1], at[x * 4 + 2], at[x * 4 + 3]);
}

// The filter bytes of a written file, from its one IDAT.
std::vector<uint8_t> FilterBytes(const Bytes &png, uint32_t rowbytes, uint32_t height) {
  size_t at = 8;
  while (at + 8 <= png.size() && std::memcmp(&png[at + 4], "IDAT", 4) != 0) {
    at += 12 + ((uint32_t(png[at]) << 24) | (uint32_t(png[at + 1]) << 16) | (uint32_t(png[at + 2]) << 8) | png[at + 3]);
  }
  const uint32_t length =
      (uint32_t(png[at]) << 24) | (uint32_t(png[at + 1]) << 16) | (uint32_t(png[at + 2]) << 8) | png[at + 3];
  Bytes raw(size_t(height) * (1 + rowbytes));
  uLongf size = uLongf(raw.size());
  EXPECT_EQ(uncompress(raw.data(), &size, &png[at + 8], length), Z_OK);
  std::vector<uint8_t> filters;
  for (uint32_t y = 0; y < height; ++y) filters.push_back(raw[size_t(y) * (1 + rowbytes)]);
  return filters;
}

Bytes EncodeToBytes(const VPNGIMAGE &image) {
  uint8_t *out = nullptr;
  uint32_t size = 0;
  EXPECT_EQ(VLoader_PNG::Encode(&image, &out, &size), VPNG_WRITTEN);
  Bytes png(out, out + size);
  ClassVMemory::DeAlloc(out);
  return png;
}

TEST(VLoaderPngWriter, RoundTripsRgbRgbaAndPaletteExactly) {
  for (uint8_t colortype : {uint8_t(2), uint8_t(6), uint8_t(3)}) {
    SCOPED_TRACE(int(colortype));
    const PICTURE p = MakePicture(37, 23, colortype, 5);
    const uint32_t pitch = uint32_t(p.pixels.size() / p.height);
    VImageCapture capture;
    ASSERT_EQ(Load(EncodeToBytes(p.Image(pitch)), capture), VLDR_LOADED);
    ASSERT_EQ(capture.width, 37);
    ASSERT_EQ(capture.height, 23u);
    EXPECT_EQ(capture.alpha, colortype != 2);
    for (uint32_t y = 0; y < 23; ++y) {
      for (uint32_t x = 0; x < 37; ++x) ASSERT_EQ(capture.At(int32_t(x), int32_t(y)), PictureColour(p, pitch, x, y));
    }
  }
}

TEST(VLoaderPngWriter, ChoosesTheFilterWithTheSmallestDifferencesPerRow) {
  // A ramp (Sub is exact but for the first pixel) repeated (Up is exact).
  PICTURE p{16, 3, 2, std::vector<uint8_t>(48 * 3), {}};
  for (uint32_t y = 0; y < 3; ++y) {
    for (uint32_t x = 0; x < 48; ++x) p.pixels[y * 48 + x] = uint8_t(100 + x * 3);
  }
  EXPECT_EQ(FilterBytes(EncodeToBytes(p.Image(48)), 48, 3), (std::vector<uint8_t>{1, 2, 2}));
  const PICTURE photo = MakePicture(64, 40, 2, 0);
  const std::vector<uint8_t> filters = FilterBytes(EncodeToBytes(photo.Image(64 * 3)), 64 * 3, 40);
  EXPECT_GE(std::set<uint8_t>(filters.begin(), filters.end()).size(), 3u);
}

TEST(VLoaderPngWriter, RefusesInvalidImages) {
  const PICTURE p = MakePicture(4, 4, 3, 0);
  const VPNGIMAGE good = p.Image(4);
  std::vector<VPNGIMAGE> bad(8, good);
  bad[0].width = 0;
  bad[1].height = 0x80000000u;
  bad[2].colortype = 4;
  bad[3].pitch = 3;
  bad[4].palette = nullptr;
  bad[5].palettesize = 0;
  bad[6].palettesize = 257;
  bad[7].palettesize = 5;  // indices up to 19 are in use
  uint8_t stale = 0;
  for (const VPNGIMAGE &image : bad) {
    uint8_t *out = &stale;
    uint32_t size = 1;
    EXPECT_EQ(VLoader_PNG::Encode(&image, &out, &size), VPNG_BADIMAGE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(size, 0u);
  }
  uint8_t *out = nullptr;
  uint32_t size = 0;
  EXPECT_EQ(VLoader_PNG::Encode(nullptr, &out, &size), VPNG_BADIMAGE);
  EXPECT_EQ(VLoader_PNG::Encode(&good, nullptr, &size), VPNG_BADIMAGE);
}

TEST(VLoaderPngWriter, WriteFileStoresWhatEncodeMakes) {
  const std::string folder = MakeTempFolder("vldr_png_");
  ASSERT_FALSE(folder.empty());
  const PICTURE p = MakePicture(9, 5, 6, 0);
  const VPNGIMAGE image = p.Image(36);
  const std::string path = folder + "shot.png";
  const std::u16string wide(path.begin(), path.end());
  ASSERT_EQ(VLoader_PNG::WriteFile(wide.c_str(), &image), VPNG_WRITTEN);
  ClassVFile file;
  ASSERT_TRUE(file.Open(wide.c_str(), VFILE_MODE_READ));
  Bytes stored(file.Size());
  ASSERT_TRUE(file.Read(stored.data(), uint32_t(stored.size())));
  file.Close();
  EXPECT_EQ(stored, EncodeToBytes(image));
  EXPECT_EQ(VLoader_PNG::WriteFile((std::u16string(wide) + u"/no/such/folder.png").c_str(), &image), VPNG_WRITEFAILED);
  RemoveTree(folder);
}

}  // namespace
