// Loader pixel runs that lie within one row take a one-loop path; these tests
// hold it to the pixel-by-pixel result, which a run across rows still takes,
// for every format, rotation and stream flag.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "display_rig.h"
#include "render/vmod_dsp.h"
#include "render/vsurf_2d.h"
#include "resources/loaders/vldr_base.h"
#include "support/xorshift.h"

namespace {

constexpr int32_t IMAGE_W = 13;  // not a multiple of 4, so rows are padded
constexpr uint32_t IMAGE_H = 6;
constexpr uint32_t PIXELS = IMAGE_W * IMAGE_H;

struct LOADCASE {
  uint8_t rotation;
  uint8_t videotype;
  bool dither;
  bool alphaflag;
  bool indexed;
  bool clipped;
};

// Colours with every transparency rule in play: a quarter see-through, some
// opaque black, components at and near the tops where dithering stops.
uint32_t LoadedColour(XorShift32& random) {
  static const uint32_t edges[] = {0x00, 0x07, 0x0F, 0xEF, 0xF0, 0xF7, 0xF8, 0xFB, 0xFC, 0xFF};
  uint32_t rgb = random.Next() & 0xFFFFFF;
  switch (random.Below(8)) {
    case 0: rgb = 0; break;
    case 1: rgb = edges[random.Below(10)] | (edges[random.Below(10)] << 8) | (edges[random.Below(10)] << 16); break;
    default: break;
  }
  const uint32_t alpha = random.Below(4) == 0 ? random.Below(255) : 255;
  return rgb | (alpha << 24);
}

// The stream bytes of the picture: 32-bit colours, or indices into palette.
std::vector<uint8_t> Picture(XorShift32& random, bool indexed, uint32_t* palette) {
  std::vector<uint8_t> bytes;
  if (indexed) {
    for (uint32_t i = 0; i < 256; i++) palette[i] = LoadedColour(random);
    for (uint32_t i = 0; i < PIXELS; i++) bytes.push_back(uint8_t(random.Next()));
  } else {
    for (uint32_t i = 0; i < PIXELS; i++) {
      const uint32_t colour = LoadedColour(random);
      bytes.insert(bytes.end(), reinterpret_cast<const uint8_t*>(&colour), reinterpret_cast<const uint8_t*>(&colour) + 4);
    }
  }
  return bytes;
}

// A surface created by the loader callbacks for the case, palette given.
void Prepare(V2DSurface& s, DisplayRig& rig, const LOADCASE& c, VLDR_2DCALLBACKINFO& info, uint32_t* palette) {
  s.LinkECD(&rig.vcd);
  info = VLDR_2DCALLBACKINFO{};
  info.width = IMAGE_W;
  info.height = IMAGE_H;
  info.displaytype = c.videotype;
  info.flags = 1 | (c.dither ? VLDR_FLAG_DITHER : 0);
  info.alpha = c.alphaflag ? 1 : 0;
  ASSERT_EQ(s.LdrOnCreate(&info), 0);
  info.data = palette;
  info.length = 256 * 4;
  ASSERT_EQ(s.LdrOnPaletteStream(&info), 0);
  info.indexed = c.indexed ? 1 : 0;
  if (c.clipped) {
    const tagRECT clip = {2, 1, 9, 4};
    s.SetClipper(&clip);
  }
}

// Streams pixels first .. first + count - 1 of the picture as one run.
int StreamRun(V2DSurface& s, VLDR_2DCALLBACKINFO& info, const std::vector<uint8_t>& bytes, bool indexed,
              uint32_t first, uint32_t count) {
  const uint32_t size = indexed ? 1 : 4;
  info.data = bytes.data() + size_t(first) * size;
  info.length = count * size;
  info.offset = int32_t(first);
  return s.LdrOnPixelStream(&info);
}

// The stored pixels, row by row (the padding at the end of each row is never
// written and left out).
std::vector<uint8_t> Memory(V2DSurface& s) {
  V2DSURFACEINFO layout;
  const uint8_t* p = s.Lock(&layout);
  std::vector<uint8_t> bytes;
  const size_t used = size_t(layout.physwidth) * (layout.bitsperpixel / 8);
  for (uint32_t y = 0; p && y < layout.physheight; y++) {
    bytes.insert(bytes.end(), p + size_t(y) * layout.rowbytes, p + size_t(y) * layout.rowbytes + used);
  }
  s.Unlock();
  return bytes;
}

std::vector<LOADCASE> AllCases() {
  std::vector<LOADCASE> cases;
  const uint8_t types[] = {VideoType::Rgb444, VideoType::Rgb555, VideoType::Rgb565, VideoType::Rgb888,
                           VideoType::Xrgb8888};
  for (uint8_t rotation = DisplayRotation::None; rotation <= DisplayRotation::ThreeQuarter; rotation++) {
    for (uint8_t type : types) {
      for (uint32_t bits = 0; bits < 16; bits++) {
        cases.push_back({rotation, type, (bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0});
      }
    }
  }
  return cases;
}

TEST(LoaderRows, RowPiecesStoreWhatTheSameImageAsOneRunStores) {
  XorShift32 random{0x5EED1234};
  uint32_t palette[256];
  for (const LOADCASE& c : AllCases()) {
    SCOPED_TRACE(testing::Message() << "rotation " << int(c.rotation) << " type " << int(c.videotype) << " dither "
                                    << c.dither << " alpha " << c.alphaflag << " indexed " << c.indexed
                                    << " clipped " << c.clipped);
    DisplayRig rig;
    ASSERT_EQ(rig.Open(c.rotation), 0);
    const std::vector<uint8_t> bytes = Picture(random, c.indexed, palette);
    V2DSurface rows, whole;
    VLDR_2DCALLBACKINFO rowinfo, wholeinfo;
    Prepare(rows, rig, c, rowinfo, palette);
    Prepare(whole, rig, c, wholeinfo, palette);
    // Each row in random pieces, all within the row; the reference in one run
    // across all rows, which converts pixel by pixel.
    for (uint32_t y = 0; y < IMAGE_H; y++) {
      for (uint32_t x = 0; x < uint32_t(IMAGE_W);) {
        const uint32_t count = 1 + random.Below(uint32_t(IMAGE_W) - x);
        ASSERT_EQ(StreamRun(rows, rowinfo, bytes, c.indexed, y * IMAGE_W + x, count), 0);
        EXPECT_EQ(rowinfo.offset, int32_t(y * IMAGE_W + x + count));
        x += count;
      }
    }
    ASSERT_EQ(StreamRun(whole, wholeinfo, bytes, c.indexed, 0, PIXELS), 0);
    const std::vector<uint8_t> expected = Memory(whole);
    ASSERT_FALSE(expected.empty());
    EXPECT_NE(std::vector<uint8_t>(expected.size(), 0), expected);  // the picture left a mark
    EXPECT_EQ(Memory(rows), expected);
  }
}

TEST(LoaderRows, RunsReachingPastTheImageKeepOnlyTheirInsidePixels) {
  const LOADCASE c = {DisplayRotation::Half, VideoType::Rgb565, true, true, false, false};
  XorShift32 random{77};
  uint32_t palette[256] = {};
  DisplayRig rig;
  ASSERT_EQ(rig.Open(c.rotation), 0);
  std::vector<uint8_t> bytes = Picture(random, false, palette);
  bytes.resize(bytes.size() + 4 * 4, 0xFF);  // four white pixels after the image
  V2DSurface rows, whole;
  VLDR_2DCALLBACKINFO rowinfo, wholeinfo;
  Prepare(rows, rig, c, rowinfo, palette);
  Prepare(whole, rig, c, wholeinfo, palette);
  // The last row streamed from one pixel before its start, and from its
  // middle on past the image's end.
  const uint32_t last = (IMAGE_H - 1) * IMAGE_W;
  ASSERT_EQ(StreamRun(rows, rowinfo, bytes, false, last - 1, 5), 0);
  ASSERT_EQ(StreamRun(rows, rowinfo, bytes, false, last + 4, IMAGE_W), 0);
  EXPECT_EQ(rowinfo.offset, int32_t(PIXELS + 4));
  ASSERT_EQ(StreamRun(whole, wholeinfo, bytes, false, last - 1, IMAGE_W + 5), 0);
  const std::vector<uint8_t> expected = Memory(whole);
  EXPECT_NE(std::vector<uint8_t>(expected.size(), 0), expected);
  EXPECT_EQ(Memory(rows), expected);
}

}  // namespace
