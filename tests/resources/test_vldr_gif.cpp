// GIF loader: plain, interlaced, transparent and locally coloured images of
// both versions decoded pixel for pixel, images reaching past the screen,
// and the code streams a decoder must refuse or survive. The files are made
// by the LZW writer of image_fixtures.h, and one by netpbm's pamtogif.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "render/vsurf_2d.h"
#include "resources/image_fixtures.h"
#include "resources/loaders/vldr_gif.h"
#include "support/xorshift.h"
#include "tools/common/image_capture.h"

namespace {

using fixtures::Bytes;
using fixtures::GIFIMAGEFIXTURE;
using fixtures::Rgb;

std::vector<uint32_t> Table(uint32_t entries, uint32_t seed) {
  XorShift32 random{seed};
  std::vector<uint32_t> table;
  for (uint32_t i = 0; i < entries; ++i) table.push_back(0xFF000000u | (random.Next() & 0xFFFFFF));
  return table;
}

GIFIMAGEFIXTURE Image(uint16_t width, uint16_t height, uint32_t colours, uint32_t seed) {
  GIFIMAGEFIXTURE im;
  im.width = width;
  im.height = height;
  XorShift32 random{seed};
  for (uint32_t i = 0; i < uint32_t(width) * height; ++i) im.pixels.push_back(uint8_t(random.Below(colours)));
  uint32_t bits = 2;
  while ((1u << bits) < colours) ++bits;
  im.mincodesize = bits;
  return im;
}

int Load(VImageCapture& image, const Bytes& file) {
  VLoader_GIF loader;
  return image.Load(loader, file.data(), uint32_t(file.size()));
}

void ExpectImage(const VImageCapture& image, const GIFIMAGEFIXTURE& im, const std::vector<uint32_t>& table) {
  for (uint32_t y = 0; y < im.height; ++y)
    for (uint32_t x = 0; x < im.width; ++x)
      ASSERT_EQ(image.At(int32_t(im.left + x), int32_t(im.top + y)), table[im.pixels[y * im.width + x]])
          << x << "," << y;
}

TEST(GifLoader, DecodesPlainAndInterlacedImagesOfBothVersions) {
  struct Case {
    const char* version;
    uint16_t width, height;
    uint32_t colours;
    bool interlaced;
  };
  // Heights 1 to 9 reach every combination of the interlace passes; 256
  // colours over 40000 pixels fill the string table several times.
  const Case cases[] = {{"87a", 16, 9, 2, false}, {"89a", 16, 9, 4, true},   {"89a", 5, 1, 8, true},
                        {"89a", 3, 2, 16, true},   {"87a", 7, 3, 32, true},  {"89a", 4, 5, 64, true},
                        {"89a", 9, 6, 128, true},  {"87a", 2, 7, 4, true},   {"89a", 6, 8, 4, true},
                        {"89a", 200, 200, 256, false}, {"89a", 200, 200, 256, true}};
  uint32_t seed = 1;
  for (const Case& c : cases) {
    GIFIMAGEFIXTURE im = Image(c.width, c.height, c.colours, ++seed);
    im.interlaced = c.interlaced;
    const std::vector<uint32_t> table = Table(c.colours < 4 ? 4 : c.colours, seed);
    VImageCapture image;
    ASSERT_EQ(Load(image, fixtures::MakeGif(c.version, c.width, c.height, table, {im})), VLDR_LOADED)
        << c.width << "x" << c.height;
    EXPECT_EQ(image.width, c.width);
    EXPECT_EQ(image.indexed, 1);
    EXPECT_EQ(image.alpha, 0);
    EXPECT_EQ(image.rows, int(c.height));
    ExpectImage(image, im, table);
  }
}

TEST(GifLoader, KeepsDecodingWhenTheStringTableIsFull) {
  GIFIMAGEFIXTURE im = Image(150, 120, 256, 42);
  im.clearwhenfull = false;
  const std::vector<uint32_t> table = Table(256, 42);
  VImageCapture image;
  ASSERT_EQ(Load(image, fixtures::MakeGif("89a", 150, 120, table, {im})), VLDR_LOADED);
  ExpectImage(image, im, table);
}

// Made with: pamtogif -interlace -transparent=rgb:ff/00/00 from a 7 x 5
// picture of red, green, blue and yellow (250, 250, 10) pixels.
const uint8_t PAMTOGIF_INTERLACED[] = {
    0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x07, 0x00, 0x05, 0x00, 0x91, 0x00, 0x00, 0xff, 0x00, 0x00,
    0x00, 0xff, 0x00, 0x00, 0x00, 0xff, 0xfa, 0xfa, 0x0a, 0x21, 0xf9, 0x04, 0x01, 0x00, 0x00, 0x00,
    0x00, 0x2c, 0x00, 0x00, 0x00, 0x00, 0x07, 0x00, 0x05, 0x00, 0x40, 0x02, 0x0f, 0x8c, 0x30, 0x13,
    0x20, 0x1a, 0x31, 0x84, 0x58, 0x93, 0x01, 0x74, 0xcc, 0xd4, 0xa7, 0x00, 0x00, 0x3b};
const char* const PAMTOGIF_ROWS[5] = {"GBRYYGR", "RRYBRGB", "BGRBGRB", "BGGBBBR", "BYGGGYB"};

TEST(GifLoader, DecodesAnInterlacedTransparentFileOfAnotherWriter) {
  VImageCapture image;
  VLoader_GIF loader;
  ASSERT_EQ(image.Load(loader, PAMTOGIF_INTERLACED, sizeof PAMTOGIF_INTERLACED), VLDR_LOADED);
  EXPECT_EQ(image.alpha, 1);
  for (int32_t y = 0; y < 5; ++y) {
    for (int32_t x = 0; x < 7; ++x) {
      uint32_t expected = 0;
      switch (PAMTOGIF_ROWS[y][x]) {
        case 'R': expected = 0x000000FF; break;  // the transparent colour: alpha 0
        case 'G': expected = Rgb(0, 255, 0); break;
        case 'B': expected = Rgb(0, 0, 255); break;
        default: expected = Rgb(250, 250, 10);
      }
      EXPECT_EQ(image.At(x, y), expected) << x << "," << y;
    }
  }
}

// Counts palette streams and where each began.
class PaletteLog : public VImageCapture {
 public:
  int LdrOnPaletteStream(VLDR_2DCALLBACKINFO* info) override {
    starts.push_back(info->palettestart);
    counts.push_back(info->length / 4);
    return VImageCapture::LdrOnPaletteStream(info);
  }
  std::vector<uint32_t> starts, counts;
};

TEST(GifLoader, StreamsEachTableFromItsOwnFirstEntry) {
  GIFIMAGEFIXTURE im = Image(6, 4, 4, 7);
  im.localtable = Table(4, 99);
  im.transparent = 2;
  const std::vector<uint32_t> global = Table(4, 5);
  PaletteLog image;
  ASSERT_EQ(Load(image, fixtures::MakeGif("89a", 6, 4, global, {im})), VLDR_LOADED);
  EXPECT_EQ(image.starts, (std::vector<uint32_t>{0, 0, 2}));
  EXPECT_EQ(image.counts, (std::vector<uint32_t>{4, 4, 1}));
  EXPECT_EQ(image.alpha, 1);
  std::vector<uint32_t> expected = im.localtable;
  expected[2] &= 0xFFFFFF;
  ExpectImage(image, im, expected);
}

TEST(GifLoader, DrawsTheFirstImageOnly) {
  GIFIMAGEFIXTURE first = Image(3, 2, 4, 1), second = Image(3, 2, 4, 2);
  first.left = 1;
  second.left = 5;
  second.top = 2;
  const std::vector<uint32_t> table = Table(4, 3);
  VImageCapture image;
  ASSERT_EQ(Load(image, fixtures::MakeGif("89a", 8, 4, table, {first, second})), VLDR_LOADED);
  EXPECT_EQ(image.rows, 2);
  ExpectImage(image, first, table);
  for (int32_t y = 2; y < 4; ++y)
    for (int32_t x = 5; x < 8; ++x) EXPECT_EQ(image.At(x, y), 0u);
}

// An image reaching past the right and bottom of the screen: only the part
// inside is delivered, nothing wraps into the next row or past the surface.
TEST(GifLoader, DeliversOnlyThePartInsideTheScreen) {
  GIFIMAGEFIXTURE im = Image(6, 6, 4, 11);
  im.left = 5;
  im.top = 2;
  const std::vector<uint32_t> table = {Rgb(1, 1, 1), Rgb(2, 2, 2), Rgb(3, 3, 3), Rgb(4, 4, 4)};
  const Bytes file = fixtures::MakeGif("89a", 8, 6, table, {im});
  VImageCapture image;
  ASSERT_EQ(Load(image, file), VLDR_LOADED);
  EXPECT_EQ(image.rows, 4);
  for (int32_t y = 0; y < 6; ++y) {
    for (int32_t x = 0; x < 8; ++x) {
      bool inside = x >= 5 && y >= 2;
      uint32_t expected = inside ? table[im.pixels[size_t(y - 2) * 6 + size_t(x - 5)]] : 0;
      EXPECT_EQ(image.At(x, y), expected) << x << "," << y;
    }
  }
  V2DSurface surface;
  VLoader_GIF loader;
  ASSERT_EQ(loader.Start(&surface, file.data(), uint32_t(file.size()), VideoType::Xrgb8888, 1), VLDR_LOADED);
  EXPECT_EQ(surface.GetPixel(0, 3), 0u);
  EXPECT_EQ(surface.GetPixel(7, 5), table[im.pixels[3 * 6 + 2]] & 0xFFFFFF);
}

TEST(GifLoader, RefusesOtherSignaturesAndVersions) {
  const GIFIMAGEFIXTURE im = Image(2, 2, 4, 1);
  for (const char* version : {"86a", "96a", "7aa", "8 a"}) {
    VImageCapture image;
    EXPECT_EQ(Load(image, fixtures::MakeGif(version, 2, 2, Table(4, 1), {im})), VLDR_NOTMYFORMAT) << version;
    EXPECT_EQ(image.creates, 0);
  }
  Bytes notgif = fixtures::MakeGif("89a", 2, 2, Table(4, 1), {im});
  notgif[0] = 'J';
  VImageCapture image;
  EXPECT_EQ(Load(image, notgif), VLDR_NOTMYFORMAT);
}

// Hand-packed code streams: (code, width) pairs, least significant bit first.
Bytes Codes(std::initializer_list<std::pair<uint32_t, uint32_t>> codes) {
  Bytes out;
  uint32_t buffer = 0, count = 0;
  for (auto [code, bits] : codes) {
    buffer |= code << count;
    count += bits;
    for (; count >= 8; count -= 8, buffer >>= 8) out.push_back(uint8_t(buffer));
  }
  if (count) out.push_back(uint8_t(buffer));
  return out;
}

// A 4 x 2 screen with one 4 x 2 image whose LZW data is given.
Bytes WithCodes(uint8_t mincodesize, const Bytes& data) {
  Bytes file = fixtures::MakeGif("89a", 4, 2, Table(4, 1), {Image(4, 2, 4, 1)});
  size_t at = 6 + 7 + 12 + 10;  // signature, screen, table, descriptor
  file.resize(at);
  file.push_back(mincodesize);
  fixtures::PutSubBlocks(file, data);
  file.push_back(';');
  return file;
}

TEST(GifLoader, CodeStreamRulesGiveTheirCodes) {
  struct Case {
    const char* what;
    uint8_t mincodesize;
    Bytes data;
    int expected;
  };
  const Case cases[] = {
      {"minimum code size 1", 1, Codes({{2, 2}, {0, 2}, {3, 2}}), VLDR_CORRUPT},
      {"minimum code size 9", 9, Codes({{512, 10}, {0, 10}, {513, 10}}), VLDR_CORRUPT},
      {"minimum code size 12", 12, Codes({{4096, 13}}), VLDR_CORRUPT},
      {"a string code before any literal", 2, Codes({{4, 3}, {6, 3}, {5, 3}}), VLDR_CORRUPT},
      {"a code above the next free one", 2, Codes({{4, 3}, {1, 3}, {7, 3}, {5, 3}}), VLDR_CORRUPT},
      {"the next free code itself", 2, Codes({{4, 3}, {1, 3}, {6, 3}, {6, 3}, {5, 4}}), VLDR_LOADED},
      {"more pixels than the image", 2, Codes({{4, 3}, {1, 3}, {6, 3}, {7, 3}, {8, 4}, {9, 4}, {5, 4}}), VLDR_LOADED},
      {"stream ends before the pixels", 2, Codes({{4, 3}, {1, 3}, {5, 3}}), VLDR_LOADED},
  };
  for (const Case& c : cases) {
    VImageCapture image;
    EXPECT_EQ(Load(image, WithCodes(c.mincodesize, c.data)), c.expected) << c.what;
  }
}

TEST(GifLoader, PixelsTheCodesNeverReachAreIndexZero) {
  // Codes: clear, 1, then the string "1 1" (6): three pixels of index 1.
  VImageCapture image;
  ASSERT_EQ(Load(image, WithCodes(2, Codes({{4, 3}, {1, 3}, {6, 3}, {5, 3}}))), VLDR_LOADED);
  const std::vector<uint32_t> table = Table(4, 1);
  for (int32_t i = 0; i < 8; ++i) EXPECT_EQ(image.At(i % 4, i / 4), table[i < 3 ? 1 : 0]) << i;
}

TEST(GifLoader, EveryTruncationEndsWithACode) {
  const Bytes file = fixtures::MakeGif("89a", 9, 7, Table(16, 2), {Image(9, 7, 16, 3)});
  const size_t tableend = 6 + 7 + 16 * 3;
  for (size_t cut = 0; cut < file.size(); ++cut) {
    VImageCapture image;
    VLoader_GIF loader;
    int result = image.Load(loader, file.data(), uint32_t(cut));
    if (cut < 6) {
      EXPECT_EQ(result, VLDR_NOTMYFORMAT) << cut;
    } else if (cut == tableend) {
      EXPECT_EQ(result, VLDR_GIF_NOIMAGE) << cut;
    } else if (cut + 2 >= file.size()) {
      EXPECT_EQ(result, VLDR_LOADED) << cut;  // only the terminator or the trailer is missing
    } else if (cut + 3 == file.size()) {
      // The last data byte may hold nothing but the end code.
      EXPECT_TRUE(result == VLDR_LOADED || result == VLDR_CORRUPT) << cut;
    } else {
      EXPECT_EQ(result, VLDR_CORRUPT) << cut;
    }
  }
}

TEST(GifLoader, AScreenNoCodesCouldFillIsRefusedBeforeCreation) {
  Bytes file = fixtures::MakeGif("89a", 4, 2, Table(4, 1), {Image(4, 2, 4, 1)});
  file[6] = file[7] = file[8] = file[9] = 0xFF;  // 65535 x 65535
  VImageCapture image;
  EXPECT_EQ(Load(image, file), VLDR_CORRUPT);
  EXPECT_EQ(image.creates, 0);
}

}  // namespace
