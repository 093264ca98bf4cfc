// Our PNG writer's files read back by libpng (which checks every CRC and the
// zlib stream) give exactly the pixels written: RGB, RGBA and palette images
// with transparent entries, in sizes that make every row filter win.
#include <algorithm>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>
#if defined(VEXA_HAVE_LIBPNG)
#include <png.h>
#endif

#include "resources/loaders/vldr_png.h"
#include "support/xorshift.h"
#include "util/vmod_memory.h"

namespace {

#if defined(VEXA_HAVE_LIBPNG)

struct PICTURE {
  uint32_t width, height;
  uint8_t colortype;
  uint32_t pitch;
  std::vector<uint8_t> pixels;
  std::vector<uint32_t> palette;
};

uint32_t BytesPerPixel(uint8_t colortype) { return colortype == VPNG_COLOR_RGB ? 3 : colortype == VPNG_COLOR_RGBA ? 4 : 1; }

// Rows of noise, ramps and repeats, so that each filter is the best for some.
PICTURE MakePicture(uint32_t width, uint32_t height, uint8_t colortype) {
  const uint32_t bytes = BytesPerPixel(colortype), pitch = width * bytes + 3;
  PICTURE p{width, height, colortype, pitch, std::vector<uint8_t>(size_t(pitch) * height), {}};
  XorShift32 random{width * 7919u + height};
  const uint32_t entries = 1 + random.Below(256);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width * bytes; ++x) {
      const uint32_t kind = (y / 2) % 4;
      uint32_t v = kind == 0 ? random.Next() : kind == 1 ? x * 5 + y : kind == 2 ? (x ^ y) * 3 : 200 - x / 4;
      if (colortype == VPNG_COLOR_PALETTE) v %= entries;
      p.pixels[size_t(y) * pitch + x] = uint8_t(v);
    }
  }
  if (colortype == VPNG_COLOR_PALETTE) {
    for (uint32_t i = 0; i < entries; ++i) p.palette.push_back(random.Next() | (i % 3 ? 0xFF000000u : 0));
  }
  return p;
}

// The colour libpng should give for a pixel, as red, green, blue, alpha bytes.
void ExpectedRgba(const PICTURE& p, uint32_t x, uint32_t y, uint8_t out[4]) {
  const uint8_t* at = p.pixels.data() + size_t(y) * p.pitch + size_t(x) * BytesPerPixel(p.colortype);
  if (p.colortype == VPNG_COLOR_PALETTE) {
    const uint32_t c = p.palette[at[0]];
    for (int i = 0; i < 4; ++i) out[i] = uint8_t(c >> (8 * i));
    return;
  }
  for (int i = 0; i < 3; ++i) out[i] = at[i];
  out[3] = p.colortype == VPNG_COLOR_RGBA ? at[3] : 255;
}

void CheckWithLibpng(const PICTURE& p) {
  const VPNGIMAGE image = {p.width,  p.height, p.colortype, p.pixels.data(), p.pitch,
                           p.palette.empty() ? nullptr : p.palette.data(), uint32_t(p.palette.size())};
  uint8_t* png = nullptr;
  uint32_t size = 0;
  ASSERT_EQ(VLoader_PNG::Encode(&image, &png, &size), VPNG_WRITTEN);
  png_image reader{};
  reader.version = PNG_IMAGE_VERSION;
  const bool opened = png_image_begin_read_from_memory(&reader, png, size) != 0;
  std::vector<uint8_t> rgba(size_t(p.width) * p.height * 4);
  bool read = false;
  if (opened) {
    EXPECT_EQ(reader.width, p.width);
    EXPECT_EQ(reader.height, p.height);
    EXPECT_EQ((reader.format & PNG_FORMAT_FLAG_COLORMAP) != 0, p.colortype == VPNG_COLOR_PALETTE);
    EXPECT_EQ((reader.format & PNG_FORMAT_FLAG_ALPHA) != 0, p.colortype != VPNG_COLOR_RGB);
    reader.format = PNG_FORMAT_RGBA;
    read = png_image_finish_read(&reader, nullptr, rgba.data(), 0, nullptr) != 0;
  }
  ClassVMemory::DeAlloc(png);
  ASSERT_TRUE(opened && read) << reader.message;
  for (uint32_t y = 0; y < p.height; ++y) {
    for (uint32_t x = 0; x < p.width; ++x) {
      uint8_t expected[4];
      ExpectedRgba(p, x, y, expected);
      const uint8_t* got = &rgba[(size_t(y) * p.width + x) * 4];
      ASSERT_TRUE(std::equal(expected, expected + 4, got)) << "pixel " << x << "," << y;
    }
  }
}

TEST(PngWriterAgainstLibpng, LibpngReadsEveryWrittenPixelExactly) {
  const uint32_t sizes[][2] = {{1, 1}, {3, 7}, {64, 33}, {257, 19}};
  for (uint8_t colortype : {VPNG_COLOR_RGB, VPNG_COLOR_RGBA, VPNG_COLOR_PALETTE}) {
    for (const auto& s : sizes) {
      SCOPED_TRACE(testing::Message() << "type " << int(colortype) << " size " << s[0] << "x" << s[1]);
      CheckWithLibpng(MakePicture(s[0], s[1], colortype));
    }
  }
}

#else

TEST(PngWriterAgainstLibpng, LibpngReadsEveryWrittenPixelExactly) {
  GTEST_SKIP() << "libpng is not installed: the cross-check did not run";
}

#endif

}  // namespace
