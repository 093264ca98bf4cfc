// BMP loader and writer: every supported depth decoded pixel for pixel, the
// bottom-up row order, the header rules (negative sizes, long information
// headers), truncated rows, and a written file read back.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "render/vsurf_2d.h"
#include "resources/image_fixtures.h"
#include "resources/loaders/vldr_bmp.h"
#include "support/temp_folder.h"
#include "support/xorshift.h"
#include "tools/common/image_capture.h"

namespace {

using fixtures::Bytes;
using fixtures::Rgb;

std::vector<uint32_t> Palette(uint32_t entries) {
  std::vector<uint32_t> palette;
  for (uint32_t i = 0; i < entries; ++i) palette.push_back(Rgb(i * 7 & 0xFF, 255 - i, i * 3 & 0xFF));
  return palette;
}

// A width x height picture of indices below 2^bits (or random colours).
fixtures::BMPFIXTURE Picture(uint16_t bits, int32_t width, int32_t height, uint32_t seed) {
  fixtures::BMPFIXTURE s;
  s.bitcount = bits;
  s.width = width;
  s.height = height;
  XorShift32 random{seed};
  if (bits != 24) s.palette = Palette(1u << bits);
  for (int32_t i = 0; i < width * height; ++i) {
    uint32_t v = random.Next();
    s.pixels.push_back(bits == 24 ? (v | 0xFF000000u) : v % (1u << bits));
  }
  return s;
}

uint32_t Expected(const fixtures::BMPFIXTURE& s, int32_t x, int32_t y) {
  uint32_t v = s.pixels[size_t(y) * uint32_t(s.width) + uint32_t(x)];
  return s.bitcount == 24 ? v : s.palette[v];
}

void ExpectPicture(const VImageCapture& image, const fixtures::BMPFIXTURE& s) {
  ASSERT_EQ(image.width, s.width);
  ASSERT_EQ(image.height, uint32_t(s.height));
  for (int32_t y = 0; y < s.height; ++y)
    for (int32_t x = 0; x < s.width; ++x)
      ASSERT_EQ(image.At(x, y), Expected(s, x, y)) << "bits " << s.bitcount << " at " << x << "," << y;
}

TEST(BmpLoader, DecodesEveryDepthBottomRowFirst) {
  // Widths that leave every kind of row padding.
  for (uint16_t bits : {1, 4, 8, 24}) {
    for (int32_t width : {1, 3, 5, 8, 13}) {
      fixtures::BMPFIXTURE s = Picture(bits, width, 4, 77u + bits * 100u + uint32_t(width));
      Bytes file = fixtures::MakeBmp(s);
      VLoader_BMP loader;
      VImageCapture image;
      ASSERT_EQ(image.Load(loader, file.data(), uint32_t(file.size())), VLDR_LOADED);
      EXPECT_EQ(image.indexed, bits == 24 ? 0 : 1);
      EXPECT_EQ(image.alpha, 0);
      EXPECT_EQ(image.rows, 4);
      ExpectPicture(image, s);
    }
  }
}

// Records each row's offset and length as the loader hands it over.
class RowLog : public VImageCapture {
 public:
  int LdrOnPixelStream(VLDR_2DCALLBACKINFO* info) override {
    offsets.push_back(info->offset);
    lengths.push_back(info->length);
    return VImageCapture::LdrOnPixelStream(info);
  }
  std::vector<int32_t> offsets;
  std::vector<uint32_t> lengths;
};

TEST(BmpLoader, DeliversThreeByteRowsOfAnEightBitImageFromTheBottom) {
  fixtures::BMPFIXTURE s = Picture(8, 3, 2, 5);
  Bytes file = fixtures::MakeBmp(s);
  ASSERT_EQ(file.size(), 14u + 40 + 1024 + 2 * 4);
  VLoader_BMP loader;
  RowLog image;
  ASSERT_EQ(image.Load(loader, file.data(), uint32_t(file.size())), VLDR_LOADED);
  EXPECT_EQ(image.offsets, (std::vector<int32_t>{3, 0}));
  EXPECT_EQ(image.lengths, (std::vector<uint32_t>{3, 3}));
  ExpectPicture(image, s);
}

TEST(BmpLoader, ReadsThePaletteAfterALongInformationHeader) {
  for (uint32_t headersize : {40u, 108u, 124u}) {
    fixtures::BMPFIXTURE s = Picture(4, 6, 3, headersize);
    s.headersize = headersize;
    Bytes file = fixtures::MakeBmp(s);
    VLoader_BMP loader;
    VImageCapture image;
    ASSERT_EQ(image.Load(loader, file.data(), uint32_t(file.size())), VLDR_LOADED) << headersize;
    ExpectPicture(image, s);
  }
}

TEST(BmpLoader, HeaderRulesGiveTheirCodes) {
  const Bytes good = fixtures::MakeBmp(Picture(8, 4, 4, 1));
  struct Case {
    const char* what;
    size_t at;
    uint32_t value;
    int expected;
  };
  const Case cases[] = {
      {"top-down rows", 22, uint32_t(-4), VLDR_NOTMYFORMAT},
      {"negative width", 18, uint32_t(-4), VLDR_CORRUPT},
      {"zero width", 18, 0, VLDR_CORRUPT},
      {"zero height", 22, 0, VLDR_CORRUPT},
      {"12-byte header", 14, 12, VLDR_NOTMYFORMAT},
      {"two planes", 26, 0x00080002, VLDR_NOTMYFORMAT},
      {"32 bits", 26, 0x00200001, VLDR_NOTMYFORMAT},
      {"run-length", 30, 1, VLDR_NOTMYFORMAT},
      {"rows past the block", 22, 100000, VLDR_CORRUPT},
      {"huge width", 18, 0x7FFFFFFF, VLDR_CORRUPT},
  };
  for (const Case& c : cases) {
    Bytes file = good;
    fixtures::Poke32(file, c.at, c.value);
    VLoader_BMP loader;
    VImageCapture image;
    EXPECT_EQ(image.Load(loader, file.data(), uint32_t(file.size())), c.expected) << c.what;
    EXPECT_EQ(image.creates, 0) << c.what;
  }
  Bytes notbmp = good;
  notbmp[1] = 'A';
  VLoader_BMP loader;
  VImageCapture image;
  EXPECT_EQ(image.Load(loader, notbmp.data(), uint32_t(notbmp.size())), VLDR_NOTMYFORMAT);
  EXPECT_EQ(image.Load(loader, good.data(), 20), VLDR_CORRUPT);
}

// Cut inside the last stored row (the top one): its missing bytes are 0.
// Cut so that the top row lies wholly beyond: the rows before stay, code 1.
TEST(BmpLoader, TruncatedRowsArePaddedOrEndTheLoad) {
  fixtures::BMPFIXTURE s = Picture(24, 4, 3, 9);
  Bytes file = fixtures::MakeBmp(s);
  const uint32_t stride = 12;
  {
    VLoader_BMP loader;
    VImageCapture image;
    ASSERT_EQ(image.Load(loader, file.data(), uint32_t(file.size() - 5)), VLDR_LOADED);
    EXPECT_EQ(image.At(0, 0), s.pixels[0]);
    EXPECT_EQ(image.At(2, 0), 0xFF000000u | (s.pixels[2] & 0xFF0000u));  // green and red cut off
    EXPECT_EQ(image.At(3, 0), 0xFF000000u);
    EXPECT_EQ(image.At(3, 2), s.pixels[11]);
  }
  {
    VLoader_BMP loader;
    RowLog image;
    fixtures::Poke32(file, 10, 54 + stride);  // rows start late
    ASSERT_EQ(image.Load(loader, file.data(), uint32_t(file.size())), VLDR_CORRUPT);
    EXPECT_EQ(image.offsets, (std::vector<int32_t>{8, 4}));
  }
}

TEST(BmpWriter, WritesFiveByTwoAsEightySixBytes) {
  const std::string folder = MakeTempFolder("bmpwrite");
  ASSERT_FALSE(folder.empty());
  V2DSurface surface;
  ASSERT_EQ(surface.Create(8, 4, VideoType::Xrgb8888, 1), 0);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 8; ++x) surface.PutPixel(x, y, 0x010000u * uint32_t(y * 8 + x) + 0x30 + uint32_t(x), 0, 0);
  const tagRECT rect = {2, 1, 7, 3};
  const std::string name = folder + "shot.bmp";
  ASSERT_EQ(surface.WriteBmp(name.c_str(), &rect), 0);
  std::ifstream in(name, std::ios::binary);
  Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(file.size(), 86u);
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[2], 86);
  EXPECT_EQ(file[10], 54);
  EXPECT_EQ(file[28], 24);
  EXPECT_EQ(file[34], 32);   // image size: 2 rows of 16
  EXPECT_EQ(file[38] | (file[39] << 8), 2834);
  // The first stored row is the rectangle's bottom row (y = 2), blue first.
  EXPECT_EQ(file[54], uint8_t(2 * 8 + 2));
  EXPECT_EQ(file[56], 0x30 + 2);
  EXPECT_EQ(file[54 + 15], 0);  // padding

  VLoader_BMP loader;
  VImageCapture image;
  ASSERT_EQ(image.Load(loader, file.data(), uint32_t(file.size())), VLDR_LOADED);
  ASSERT_EQ(image.width, 5);
  ASSERT_EQ(image.height, 2u);
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 5; ++x)
      EXPECT_EQ(image.At(x, y), 0xFF000000u | surface.GetPixel(rect.left + x, rect.top + y)) << x << "," << y;
  RemoveTree(folder);
}

TEST(BmpWriter, RoundTripsAWholeSixteenBitSurface) {
  const std::string folder = MakeTempFolder("bmpwrite");
  V2DSurface surface;
  ASSERT_EQ(surface.Create(7, 5, VideoType::Rgb565, 1), 0);
  XorShift32 random{3};
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 7; ++x) surface.PutPixel(x, y, random.Next() & 0xFFFFFF, 0, 0);
  const std::string name = folder + "whole.bmp";
  ASSERT_EQ(surface.WriteBmp(name.c_str(), nullptr), 0);
  V2DSurface back;
  std::ifstream in(name, std::ios::binary);
  Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  VLoader_BMP loader;
  ASSERT_EQ(loader.Start(&back, file.data(), uint32_t(file.size()), VideoType::Rgb565, 1), VLDR_LOADED);
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 7; ++x) EXPECT_EQ(back.GetPixel(x, y), surface.GetPixel(x, y)) << x << "," << y;
  RemoveTree(folder);
}

TEST(BmpWriter, RefusesWhatItCannotWrite) {
  V2DSurface surface;
  EXPECT_EQ(surface.WriteBmp("never.bmp", nullptr), VSURF_NOTCREATED);
  ASSERT_EQ(surface.Create(4, 4, VideoType::Rgb565, 1), 0);
  const tagRECT empty = {2, 2, 2, 3};
  EXPECT_EQ(surface.WriteBmp("never.bmp", &empty), VSURF_INVALID);
  EXPECT_EQ(surface.WriteBmp("no-such-folder/x.bmp", nullptr), VSURF_NOTCREATED);
}

}  // namespace
