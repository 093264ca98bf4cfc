// TGA loader: colour-mapped, true-colour and greyscale images from either
// origin decoded pixel for pixel, the 16-bit conversion, the refused
// variants, and truncated pixel data.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "resources/image_fixtures.h"
#include "resources/loaders/vldr_tga.h"
#include "support/xorshift.h"
#include "tools/common/image_capture.h"

namespace {

using fixtures::Bytes;
using fixtures::Rgb;
using fixtures::TGAFIXTURE;

constexpr uint8_t TOPLEFT = 0x20;

TGAFIXTURE Picture(uint8_t type, uint8_t depth, uint8_t descriptor, uint32_t seed) {
  TGAFIXTURE s;
  s.imagetype = type;
  s.depth = depth;
  s.descriptor = descriptor;
  s.width = 5;
  s.height = 3;
  XorShift32 random{seed};
  for (uint32_t i = 0; i < 15; ++i) {
    uint32_t v = random.Next();
    s.pixels.push_back(type == 2 ? (depth == 32 ? v : v | 0xFF000000u) : v & 0xFF);
  }
  return s;
}

int Load(VImageCapture& image, const Bytes& file) {
  VLoader_TGA loader;
  return image.Load(loader, file.data(), uint32_t(file.size()));
}

TEST(TgaLoader, DecodesTrueColourAndGreyFromEitherOrigin) {
  for (uint8_t descriptor : {uint8_t(0), TOPLEFT}) {
    for (uint8_t type : {2, 3}) {
      for (uint8_t depth : {8, 24, 32}) {
        if ((type == 3) != (depth == 8)) continue;
        TGAFIXTURE s = Picture(type, depth, descriptor | (depth == 32 ? 8 : 0), depth + descriptor);
        s.id = {'i', 'd'};
        VImageCapture image;
        ASSERT_EQ(Load(image, fixtures::MakeTga(s)), VLDR_LOADED);
        EXPECT_EQ(image.indexed, 0);
        EXPECT_EQ(image.alpha, depth == 32 ? 1 : 0);
        for (int32_t y = 0; y < 3; ++y) {
          for (int32_t x = 0; x < 5; ++x) {
            uint32_t v = s.pixels[size_t(y) * 5 + size_t(x)];
            uint32_t expected = type == 3 ? 0xFF000000u | v * 0x010101u : v;
            ASSERT_EQ(image.At(x, y), expected) << int(type) << "/" << int(depth) << " at " << x << "," << y;
          }
        }
      }
    }
  }
}

// Records the row offsets in delivery order.
class RowLog : public VImageCapture {
 public:
  int LdrOnPixelStream(VLDR_2DCALLBACKINFO* info) override {
    offsets.push_back(info->offset);
    return VImageCapture::LdrOnPixelStream(info);
  }
  std::vector<int32_t> offsets;
};

TEST(TgaLoader, DeliversABottomOriginImageBottomRowFirst) {
  for (uint8_t descriptor : {uint8_t(0), TOPLEFT}) {
    RowLog image;
    VLoader_TGA loader;
    const Bytes file = fixtures::MakeTga(Picture(2, 24, descriptor, 1));
    ASSERT_EQ(image.Load(loader, file.data(), uint32_t(file.size())), VLDR_LOADED);
    EXPECT_EQ(image.offsets, descriptor ? (std::vector<int32_t>{0, 5, 10}) : (std::vector<int32_t>{10, 5, 0}));
  }
}

TEST(TgaLoader, DecodesColourMappedImagesFromTheMapsFirstIndex) {
  for (uint8_t entrysize : {24, 32}) {
    TGAFIXTURE s = Picture(1, 8, TOPLEFT, entrysize);
    s.mapentrysize = entrysize;
    s.mapfirst = 100;
    XorShift32 random{entrysize};
    for (uint32_t i = 0; i < 20; ++i) {
      uint32_t c = random.Next();
      s.map.push_back(entrysize == 32 ? c : c | 0xFF000000u);
    }
    for (uint32_t& v : s.pixels) v = 100 + v % 20;
    VImageCapture image;
    ASSERT_EQ(Load(image, fixtures::MakeTga(s)), VLDR_LOADED);
    EXPECT_EQ(image.indexed, 1);
    EXPECT_EQ(image.alpha, entrysize == 32 ? 1 : 0);
    EXPECT_EQ(image.paletteentries, 120u);
    for (int32_t y = 0; y < 3; ++y)
      for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(image.At(x, y), s.map[s.pixels[size_t(y) * 5 + size_t(x)] - 100]);
  }
}

// 16-bit words are 1-5-5-5, red highest; five bits widen as v << 3 | v >> 2.
TEST(TgaLoader, SpreadsSixteenBitPixelsAsFiveBitsPerComponent) {
  struct Case {
    uint32_t word;
    uint32_t plain;      // no attribute bit declared
    uint32_t attribute;  // one attribute bit: bit 15 is the opacity
  };
  const Case cases[] = {
      {0x7FFF, Rgb(255, 255, 255), Rgb(255, 255, 255) & 0xFFFFFF},
      {0xFC00, Rgb(255, 0, 0), Rgb(255, 0, 0)},
      {0x83E0, Rgb(0, 255, 0), Rgb(0, 255, 0)},
      {0x801F, Rgb(0, 0, 255), Rgb(0, 0, 255)},
      {0x0421, Rgb(8, 8, 8), Rgb(8, 8, 8) & 0xFFFFFF},
      {0x4210, Rgb(132, 132, 132), Rgb(132, 132, 132) & 0xFFFFFF},
  };
  for (uint8_t descriptor : {uint8_t(TOPLEFT), uint8_t(TOPLEFT | 1)}) {
    TGAFIXTURE s;
    s.depth = 16;
    s.descriptor = descriptor;
    s.width = uint16_t(sizeof cases / sizeof cases[0]);
    s.height = 1;
    for (const Case& c : cases) s.pixels.push_back(c.word);
    VImageCapture image;
    ASSERT_EQ(Load(image, fixtures::MakeTga(s)), VLDR_LOADED);
    EXPECT_EQ(image.alpha, descriptor & 1);
    for (int32_t x = 0; x < s.width; ++x)
      EXPECT_EQ(image.At(x, 0), (descriptor & 1) ? cases[x].attribute : cases[x].plain) << std::hex << cases[x].word;
  }
}

TEST(TgaLoader, RefusesVariantsItDoesNotDecode) {
  struct Case {
    const char* what;
    size_t at;
    uint8_t value;
  };
  // Offsets: 1 map type, 2 image type, 7 map entry size, 16 depth, 17 descriptor.
  const Case cases[] = {
      {"run-length true colour", 2, 10}, {"run-length mapped", 2, 9}, {"map type 2", 1, 2},
      {"right to left", 17, 0x10},       {"mapped with 16-bit pixels", 16, 16},
      {"mapped with 24-bit pixels", 16, 24}, {"mapped with 16-bit entries", 7, 16}, {"grey of 16 bits", 2, 3},
  };
  TGAFIXTURE base = Picture(1, 8, 0, 1);
  base.map = {Rgb(1, 2, 3), Rgb(4, 5, 6)};
  for (uint32_t& v : base.pixels) v &= 1;
  const Bytes good = fixtures::MakeTga(base);
  VImageCapture check;
  ASSERT_EQ(Load(check, good), VLDR_LOADED);
  for (const Case& c : cases) {
    Bytes file = good;
    file[c.at] = c.value;
    if (c.at == 2 && c.value == 3) file[16] = 16;
    VImageCapture image;
    EXPECT_EQ(Load(image, file), VLDR_NOTMYFORMAT) << c.what;
    EXPECT_EQ(image.creates, 0) << c.what;
  }
}

TEST(TgaLoader, TruncatedRowsArePaddedOrEndTheLoad) {
  TGAFIXTURE s = Picture(2, 24, TOPLEFT, 5);
  const Bytes file = fixtures::MakeTga(s);
  {
    VImageCapture image;
    VLoader_TGA loader;
    ASSERT_EQ(image.Load(loader, file.data(), uint32_t(file.size() - 4)), VLDR_LOADED);
    EXPECT_EQ(image.At(3, 2), 0xFF000000u | (s.pixels[13] & 0xFFFF00u));  // red cut off
    EXPECT_EQ(image.At(4, 2), 0xFF000000u);
    EXPECT_EQ(image.At(2, 2), s.pixels[12]);
  }
  {
    // An ID field long enough to push the last row wholly past the block.
    Bytes shifted = file;
    shifted[0] = 15;
    RowLog image;
    VLoader_TGA loader;
    EXPECT_EQ(image.Load(loader, shifted.data(), uint32_t(shifted.size())), VLDR_CORRUPT);
    EXPECT_EQ(image.offsets, (std::vector<int32_t>{0, 5}));
  }
  {
    Bytes huge = file;
    huge[12] = huge[13] = huge[14] = huge[15] = 0xFF;
    VImageCapture image;
    EXPECT_EQ(Load(image, huge), VLDR_CORRUPT);
    EXPECT_EQ(image.creates, 0);
  }
}

}  // namespace
