// Tests of the drawing primitives: line end points and exact pixels of huge
// lines, rectangle outlines, ovals and their outlines, triangle coverage,
// gradient dither on the 12-, 15- and 16-bit formats, gradient ramps,
// texture wrapping and the texture flags against the blits, the ground
// plane against its own point query, and that nothing is ever drawn outside
// the clipper or the surface for any coordinates.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "display_rig.h"
#include "render/vmod_dsp.h"
#include "render/vsurf_2d.h"
#include "support/xorshift.h"

namespace {

using namespace BlitFlags;

constexpr uint32_t BACKGROUND = 0x203040;
constexpr uint32_t INK = 0xF8FCF8;
constexpr uint32_t UNIT = 0x080808;  // one additive step on Rgb565, so a pixel drawn twice shows

uint32_t As(uint8_t type) { return 1u | (uint32_t(type) << 8); }  // surface type 1 in the given format

struct Rig : DisplayRig {
  explicit Rig(uint8_t rotation = 0, bool withmemory = true) : DisplayRig(withmemory) {
    math.Init();
    opened = Open(rotation);
  }
  int opened;
};

// A surface of the rig's display, cleared to a background.
void Make(Rig& rig, V2DSurface& s, int32_t w, int32_t h, uint8_t type = VideoType::Rgb565, uint32_t background = 0) {
  ASSERT_EQ(rig.opened, 0);
  ASSERT_EQ(rig.display.CreateSurface(&s, w, h, As(type)), 0);
  s.Clear(background);
}

// One display with one surface on it.
struct Canvas {
  Rig rig;
  V2DSurface s;
  Canvas(int32_t w, int32_t h, uint8_t type = VideoType::Rgb565, uint8_t rotation = 0, uint32_t background = 0)
      : rig(rotation) {
    Make(rig, s, w, h, type, background);
  }
};

struct POINT2 {
  int32_t x, y;
  bool operator==(const POINT2& o) const { return x == o.x && y == o.y; }
  bool operator<(const POINT2& o) const { return y != o.y ? y < o.y : x < o.x; }
};

// The pixels that differ from the background, row by row.
std::vector<POINT2> Drawn(const V2DSurface& s, uint32_t background) {
  std::vector<POINT2> out;
  for (int32_t y = 0; y < s.GetHeight(); y++)
    for (int32_t x = 0; x < s.GetWidth(); x++)
      if (s.GetPixel(x, y) != background) out.push_back({x, y});
  return out;
}

bool Has(const std::vector<POINT2>& set, int32_t x, int32_t y) {
  return std::binary_search(set.begin(), set.end(), POINT2{x, y});
}

// Every pixel holds either the background or exactly one additive step on black.
void ExpectEachDrawnOnce(const V2DSurface& s) {
  for (int32_t y = 0; y < s.GetHeight(); y++)
    for (int32_t x = 0; x < s.GetWidth(); x++) {
      const uint32_t c = s.GetPixel(x, y);
      ASSERT_TRUE(c == 0 || c == UNIT) << "pixel " << x << "," << y << " = " << std::hex << c;
    }
}

// --- lines -------------------------------------------------------------------------

struct LINECASE {
  const char* name;
  int32_t x1, y1, x2, y2;
  std::vector<POINT2> pixels;  // sorted by row, then column
};

std::vector<POINT2> Row(int32_t y, int32_t from, int32_t to) {
  std::vector<POINT2> out;
  for (int32_t x = from; x <= to; x++) out.push_back({x, y});
  return out;
}

const LINECASE LINE_CASES[] = {
    {"OnePointIsOnePixel", 5, 5, 5, 5, {{5, 5}}},
    {"HorizontalRightToLeftCoversBothEnds", 10, 3, 2, 3, Row(3, 2, 10)},
    {"HorizontalFromLeftOfTheSurfaceStartsAtZero", -3, 2, 2, 2, Row(2, 0, 2)},
    {"VerticalCoversBothEnds", 7, 1, 7, 4, {{7, 1}, {7, 2}, {7, 3}, {7, 4}}},
    {"ShallowMovesWhenTheErrorReachesTheLength", 0, 0, 4, 2, {{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}}},
    {"ShallowBackwardsStartsItsErrorAtTheOtherEnd", 4, 2, 0, 0, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}}},
    {"SteepStepsAlongRows", 1, 0, 2, 5, {{1, 0}, {1, 1}, {1, 2}, {2, 3}, {2, 4}, {2, 5}}},
    {"DiagonalMovesEveryStep", 3, 6, 0, 3, {{0, 3}, {1, 4}, {2, 5}, {3, 6}}},
};

class LineEnds : public ::testing::TestWithParam<LINECASE> {};

TEST_P(LineEnds, DrawsExactlyTheseOpaquePixelsOnce) {
  const LINECASE& c = GetParam();
  Canvas k(16, 12);
  k.s.DrawLine(c.x1, c.y1, c.x2, c.y2, UNIT, Additive, 0);
  ExpectEachDrawnOnce(k.s);
  EXPECT_EQ(Drawn(k.s, 0), c.pixels);
}

INSTANTIATE_TEST_SUITE_P(Prim, LineEnds, ::testing::ValuesIn(LINE_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// Lines reaching anywhere in 32 bits draw the pixels of the whole walk, at once.
struct HUGELINE {
  const char* name;
  int32_t x1, y1, x2, y2;
  bool (*on)(int32_t x, int32_t y);
};

const HUGELINE HUGE_LINES[] = {
    {"CornerToCornerDiagonal", INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, [](int32_t x, int32_t y) { return x == y; }},
    {"HalfSlopeForwards", 0, 0, 2000000000, 1000000000, [](int32_t x, int32_t y) { return y == (x + 1) / 2; }},
    {"HalfSlopeBackwards", 2000000000, 1000000000, 0, 0, [](int32_t x, int32_t y) { return y == x / 2; }},
    {"SteepAcrossFourBillionRows", 5, -2000000000, 6, 2000000000, [](int32_t x, int32_t) { return x == 6; }},
    {"FarAwayDrawsNothing", -2000000000, 5, -1999999000, 900, [](int32_t, int32_t) { return false; }},
};

class HugeLines : public ::testing::TestWithParam<HUGELINE> {};

TEST_P(HugeLines, DrawTheWalksPixelsInsideTheSurface) {
  const HUGELINE& c = GetParam();
  Canvas k(64, 48);
  k.s.DrawLine(c.x1, c.y1, c.x2, c.y2, UNIT, Additive, 0);
  ExpectEachDrawnOnce(k.s);
  for (int32_t y = 0; y < 48; y++)
    for (int32_t x = 0; x < 64; x++) ASSERT_EQ(k.s.GetPixel(x, y) != 0, c.on(x, y)) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Prim, HugeLines, ::testing::ValuesIn(HUGE_LINES),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LineClip, AClippedLineIsTheWholeLineCutToTheClipper) {
  XorShift32 rng{77};
  Rig rig;
  for (int round = 0; round < 200; round++) {
    V2DSurface whole, cut;
    Make(rig, whole, 40, 30);
    Make(rig, cut, 40, 30);
    const tagRECT clip = {int32_t(rng.Below(20)), int32_t(rng.Below(15)), 20 + int32_t(rng.Below(21)),
                          15 + int32_t(rng.Below(16))};
    cut.SetClipper(&clip);
    const int32_t x1 = int32_t(rng.Below(200)) - 80, y1 = int32_t(rng.Below(150)) - 60;
    const int32_t x2 = int32_t(rng.Below(200)) - 80, y2 = int32_t(rng.Below(150)) - 60;
    whole.DrawLine(x1, y1, x2, y2, INK, 0, 0);
    cut.DrawLine(x1, y1, x2, y2, INK, 0, 0);
    for (int32_t y = 0; y < 30; y++)
      for (int32_t x = 0; x < 40; x++) {
        const bool inside = x >= clip.left && x < clip.right && y >= clip.top && y < clip.bottom;
        ASSERT_EQ(cut.GetPixel(x, y), inside ? whole.GetPixel(x, y) : 0u)
            << "line " << x1 << "," << y1 << " - " << x2 << "," << y2 << " at " << x << "," << y;
      }
  }
}

// --- rectangles ----------------------------------------------------------------------

struct RECTCASE {
  const char* name;
  tagRECT rect;
};

const RECTCASE RECT_CASES[] = {
    {"OneRowHighIsOneRow", {2, 2, 8, 3}},      {"TwoRowsHighIsTwoRows", {2, 2, 8, 4}},
    {"Outline", {2, 2, 8, 7}},                 {"WidthOneIsOneColumn", {3, 1, 4, 9}},
    {"OnePixel", {5, 5, 6, 6}},                {"EmptyIsNothing", {5, 5, 5, 9}},
    {"InvertedIsNothing", {9, 5, 3, 9}},       {"CutByTheSurface", {-3, -2, 5, 4}},
    {"ExtremeEdges", {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}},
};

class Outline : public ::testing::TestWithParam<RECTCASE> {};

TEST_P(Outline, DrawsTheRectanglesBorderPixelsOnce) {
  const tagRECT r = GetParam().rect;
  Canvas k(16, 12);
  k.s.DrawRect(&r, UNIT, Additive, 0);
  ExpectEachDrawnOnce(k.s);
  for (int32_t y = 0; y < 12; y++)
    for (int32_t x = 0; x < 16; x++) {
      const bool inside = x >= r.left && x < r.right && y >= r.top && y < r.bottom;
      const bool border =
          inside && (x == r.left || x == int64_t(r.right) - 1 || y == r.top || y == int64_t(r.bottom) - 1);
      ASSERT_EQ(k.s.GetPixel(x, y) != 0, border) << x << "," << y;
    }
}

INSTANTIATE_TEST_SUITE_P(Prim, Outline, ::testing::ValuesIn(RECT_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// --- ovals ---------------------------------------------------------------------------

struct OVALCASE {
  int32_t rx, ry;
};

class Ovals : public ::testing::TestWithParam<OVALCASE> {};

TEST_P(Ovals, FillIsASymmetricConvexShapeAndTheOutlineIsItsBorder) {
  const int32_t rx = GetParam().rx, ry = GetParam().ry, ax = std::abs(rx), ay = std::abs(ry);
  const int32_t x = 4, y = 3, cx = x + ax, cy = y + ay;
  Rig rig;
  V2DSurface filled, outlined;
  Make(rig, filled, 40, 40);
  Make(rig, outlined, 40, 40);
  filled.FillOval(x, y, rx, ry, UNIT, Additive, 0);
  outlined.DrawOval(x, y, rx, ry, UNIT, Additive, 0);
  ExpectEachDrawnOnce(filled);
  ExpectEachDrawnOnce(outlined);
  const std::vector<POINT2> fill = Drawn(filled, 0), line = Drawn(outlined, 0);

  // Rows cy - |ry| .. cy + |ry|, each one run centred on cx, widest in the middle.
  int32_t previous = -1;
  for (int32_t row = 0; row < 40; row++) {
    int32_t first = 40, last = -1, count = 0;
    for (int32_t col = 0; col < 40; col++)
      if (Has(fill, col, row)) first = std::min(first, col), last = std::max(last, col), count++;
    if (row < cy - ay || row > cy + ay) {
      EXPECT_EQ(count, 0) << "row " << row;
      continue;
    }
    ASSERT_GT(count, 0) << "row " << row;
    EXPECT_EQ(count, last - first + 1) << "row " << row;
    EXPECT_EQ(first + last, 2 * cx) << "row " << row;
    const int32_t half = cx - first;
    if (row <= cy) {
      EXPECT_GE(half, previous) << "row " << row;
    }
    previous = half;
    EXPECT_EQ(Has(fill, first, 2 * cy - row), true) << "mirror of row " << row;
  }
  EXPECT_TRUE(Has(fill, cx - ax, cy) && Has(fill, cx + ax, cy) && !Has(fill, cx + ax + 1, cy));

  std::vector<POINT2> border;
  for (const POINT2& p : fill)
    if (!Has(fill, p.x - 1, p.y) || !Has(fill, p.x + 1, p.y) || !Has(fill, p.x, p.y - 1) || !Has(fill, p.x, p.y + 1))
      border.push_back(p);
  EXPECT_EQ(line, border);
}

INSTANTIATE_TEST_SUITE_P(Prim, Ovals,
                         ::testing::Values(OVALCASE{0, 0}, OVALCASE{5, 0}, OVALCASE{-5, 0}, OVALCASE{0, 4},
                                           OVALCASE{6, 4}, OVALCASE{-6, -4}, OVALCASE{12, 7}, OVALCASE{3, 14},
                                           OVALCASE{15, 15}));

TEST(OvalRows, FlatOvalIsOneRowOfTwiceTheRadiusPlusOne) {
  Canvas k(40, 10);
  k.s.FillOval(3, 4, -7, 0, INK, 0, 0);
  EXPECT_EQ(Drawn(k.s, 0), Row(4, 3, 17));
}

TEST(OvalRows, HugeRadiiDrawTheirPartInsideTheSurfaceAtOnce) {
  Canvas k(32, 24);
  // A circle around the surface's centre far larger than it covers all of it;
  // its outline passes nowhere near.
  k.s.FillOval(16 - 1000000000, 12 - 1000000000, 1000000000, 1000000000, UNIT, Additive, 0);
  ExpectEachDrawnOnce(k.s);
  EXPECT_EQ(Drawn(k.s, 0).size(), 32u * 24u);
  k.s.Clear(0);
  k.s.DrawOval(16 - 1000000000, 12 - 1000000000, 1000000000, 1000000000, INK, 0, 0);
  EXPECT_TRUE(Drawn(k.s, 0).empty());
  k.s.DrawOval(INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN, INK, 0, 0);
  k.s.FillOval(INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, INK, 0, 0);
  EXPECT_TRUE(Drawn(k.s, 0).empty());
}

// --- triangles ------------------------------------------------------------------------

struct TRICASE {
  const char* name;
  int32_t x[3], y[3];
  bool (*inside)(int32_t x, int32_t y);
};

const TRICASE TRI_CASES[] = {
    {"RightTriangleCoversThePixelCentresInside", {0, 10, 0}, {0, 0, 10},
     [](int32_t x, int32_t y) { return x + y <= 8; }},
    {"AllOnOneRowIsNothing", {3, 9, 20}, {5, 5, 5}, [](int32_t, int32_t) { return false; }},
    {"CollinearIsNothing", {0, 4, 8}, {0, 4, 8}, [](int32_t, int32_t) { return false; }},
    {"TwoCornersTogetherIsNothing", {2, 2, 9}, {2, 2, 7}, [](int32_t, int32_t) { return false; }},
    {"UpwardTriangle", {6, 0, 12}, {0, 12, 12},
     [](int32_t x, int32_t y) { return 11 - y <= 2 * x && 2 * x <= 11 + y && y < 12; }},
    {"PastTwentyTwoTenIsNothing", {-3000000, 3000000, 0}, {0, 0, 3000000}, [](int32_t, int32_t) { return false; }},
    {"LargestTwentyTwoTenCoversTheSurface", {-2097151, 2097151, 0}, {-10, -10, 2097151},
     [](int32_t, int32_t) { return true; }},
};

class Triangles : public ::testing::TestWithParam<TRICASE> {};

TEST_P(Triangles, CoverTheSamePixelsInEveryCornerOrder) {
  const TRICASE& c = GetParam();
  static const int ORDERS[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
  Canvas k(24, 16);
  for (const auto& o : ORDERS) {
    k.s.Clear(0);
    k.s.FillPoly(c.x[o[0]], c.y[o[0]], c.x[o[1]], c.y[o[1]], c.x[o[2]], c.y[o[2]], UNIT, Additive, 0);
    ExpectEachDrawnOnce(k.s);
    for (int32_t y = 0; y < 16; y++)
      for (int32_t x = 0; x < 24; x++) ASSERT_EQ(k.s.GetPixel(x, y) != 0, c.inside(x, y)) << x << "," << y;
  }
}

INSTANTIATE_TEST_SUITE_P(Prim, Triangles, ::testing::ValuesIn(TRI_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TrianglePairs, TrianglesSharingASideMeetWithoutGapOrOverlap) {
  XorShift32 rng{5};
  Canvas k(32, 24);
  for (int round = 0; round < 100; round++) {
    k.s.Clear(0);
    const int32_t x[4] = {int32_t(rng.Below(40)) - 4, int32_t(rng.Below(40)) - 4, int32_t(rng.Below(40)) - 4,
                          int32_t(rng.Below(40)) - 4};
    const int32_t y[4] = {int32_t(rng.Below(30)) - 3, int32_t(rng.Below(30)) - 3, int32_t(rng.Below(30)) - 3,
                          int32_t(rng.Below(30)) - 3};
    // Corners 0 and 2 on opposite sides of the shared side 1-3 make two triangles that do not overlap.
    const int64_t side0 = int64_t(x[3] - x[1]) * (y[0] - y[1]) - int64_t(y[3] - y[1]) * (x[0] - x[1]);
    const int64_t side2 = int64_t(x[3] - x[1]) * (y[2] - y[1]) - int64_t(y[3] - y[1]) * (x[2] - x[1]);
    if (!((side0 < 0 && side2 > 0) || (side0 > 0 && side2 < 0))) continue;
    k.s.FillPoly(x[0], y[0], x[1], y[1], x[3], y[3], UNIT, Additive, 0);
    k.s.FillPoly(x[1], y[1], x[2], y[2], x[3], y[3], UNIT, Additive, 0);
    ExpectEachDrawnOnce(k.s);
  }
}

// --- gradients --------------------------------------------------------------------------

struct DITHERCASE {
  const char* name;
  uint8_t type;
  uint32_t colour, flags;
  uint32_t native[4];  // at phases 0..3
};

const DITHERCASE DITHER_CASES[] = {
    {"Rgb565RedAlternatesByTheEightTable", VideoType::Rgb565, 0x000084, V2DGRADIENT_DITHER,
     {0x8800, 0x8000, 0x8800, 0x8000}},
    {"Rgb565GreenAlternatesByTheFourTable", VideoType::Rgb565, 0x008200, V2DGRADIENT_DITHER,
     {0x0420, 0x0400, 0x0420, 0x0400}},
    {"Rgb565GreenFromFBStays", VideoType::Rgb565, 0x00FB00, V2DGRADIENT_DITHER, {0x07C0, 0x07C0, 0x07C0, 0x07C0}},
    {"Rgb565WhiteStaysWhite", VideoType::Rgb565, 0xFFFFFF, V2DGRADIENT_DITHER, {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}},
    {"Rgb565WithoutTheFlagTruncates", VideoType::Rgb565, 0x000084, 0, {0x8000, 0x8000, 0x8000, 0x8000}},
    {"Rgb555BlueAlternatesByTheEightTable", VideoType::Rgb555, 0x840000, V2DGRADIENT_DITHER,
     {0x0011, 0x0010, 0x0011, 0x0010}},
    {"Rgb555FromF8Stays", VideoType::Rgb555, 0xF8F8F8, V2DGRADIENT_DITHER, {0x7FFF, 0x7FFF, 0x7FFF, 0x7FFF}},
    {"Rgb444RedFollowsTheSixteenTable", VideoType::Rgb444, 0x000088, V2DGRADIENT_DITHER, {0x900, 0x800, 0x900, 0x800}},
    {"Rgb444FromF0Stays", VideoType::Rgb444, 0xF0F0F0, V2DGRADIENT_DITHER, {0xFFF, 0xFFF, 0xFFF, 0xFFF}},
    {"Rgb444F8DoesNotOverflow", VideoType::Rgb444, 0xF8F8F8, V2DGRADIENT_DITHER, {0xFFF, 0xFFF, 0xFFF, 0xFFF}},
};

class GradientDither : public ::testing::TestWithParam<DITHERCASE> {};

// Every span of the triangle starts at column 0, where the clipper cuts it;
// the phase still counts from the span's own start.
TEST_P(GradientDither, PhaseIsRowPlusPlaceInSpan) {
  const DITHERCASE& c = GetParam();
  Canvas k(8, 4, c.type);
  const tagRECT clip = {2, 0, 8, 4};
  k.s.SetClipper(&clip);
  k.s.GradientPoly(0, 0, c.colour, 64, 0, c.colour, 0, 64, c.colour, c.flags);
  for (int32_t y = 0; y < 4; y++)
    for (int32_t x = 0; x < 8; x++) {
      const uint32_t expect = x < 2 ? 0 : V2DSurfaceBase::NativeToColor(c.type, c.native[(x + y) & 3]);
      ASSERT_EQ(k.s.GetPixel(x, y), expect) << x << "," << y;
    }
}

INSTANTIATE_TEST_SUITE_P(Prim, GradientDither, ::testing::ValuesIn(DITHER_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// A ramp from colour a at one edge to b at the other gives a pixel at
// distance t (its centre t + 1/2 pixels from the edge) a + (b - a) (t + 1/2) / length.
TEST(GradientRamp, RampsTakeTheValueAtEachPixelCentre) {
  Canvas k(256, 256, VideoType::Xrgb8888);
  k.s.GradientRectH(nullptr, 0x000000, 0x0000FF, 0);
  for (int32_t x = 0; x < 256; x++) ASSERT_EQ(k.s.GetPixel(x, 100), uint32_t((255 * (2 * x + 1)) / 512)) << x;
  k.s.GradientRectV(nullptr, 0x00FF00, 0x000000, 0);
  for (int32_t y = 0; y < 256; y++)
    ASSERT_EQ(k.s.GetPixel(30, y), uint32_t(255 - (255 * (2 * y + 1) + 511) / 512) << 8) << y;
  // Two triangles split along the top-right to bottom-left diagonal: its
  // middle is the average of those two corners.
  const tagRECT r = {10, 20, 74, 84};
  k.s.GradientRect(&r, 0x0000FF, 0x00FF00, 0xFF0000, 0x000000, 0);
  const uint32_t middle = k.s.GetPixel(41, 51);
  EXPECT_LE(int(middle & 0xFF), 3);
  EXPECT_NEAR(int((middle >> 8) & 0xFF), 127, 3);
  EXPECT_NEAR(int((middle >> 16) & 0xFF), 127, 3);
  EXPECT_EQ(k.s.GetPixel(9, 51), k.s.GetPixel(8, 51));  // left of the rectangle the ramp before it stays
}

TEST(GradientRamp, IndexedSurfacesTakeTheNearestPaletteEntry) {
  Canvas k(16, 4, VideoType::Indexed8);
  std::vector<uint32_t> palette(256, 0x808080);
  palette[7] = 0x000000, palette[9] = 0xFFFFFF;
  k.rig.display.SetPalette(palette.data(), 0, 256);
  k.s.GradientRectH(nullptr, 0x000000, 0xFFFFFF, 0);
  EXPECT_EQ(k.s.GetPixel(0, 0), 7u);
  EXPECT_EQ(k.s.GetPixel(15, 3), 9u);
  EXPECT_EQ(palette[k.s.GetPixel(8, 1)], 0x808080u);  // mid grey
}

// --- textures ---------------------------------------------------------------------------

// A 4 x 4 texture of distinct colours, one of them the key.
void PaintTexture(V2DSurface& t) {
  for (int32_t y = 0; y < 4; y++)
    for (int32_t x = 0; x < 4; x++) t.PutPixel(x, y, 0x102030u * uint32_t(1 + x + 4 * y) & 0xF8FCF8, 0, 0);
  t.SetColorKey(t.GetPixel(1, 2));
}

int32_t Mod(int32_t v, int32_t m) { return ((v % m) + m) % m; }

TEST(TexturePoly, TextureCoordinatesWrapInBothDirections) {
  for (uint8_t rotation = 0; rotation < 4; rotation++) {
    Canvas k(24, 20, VideoType::Rgb565, rotation);
    V2DSurface tex;
    ASSERT_EQ(k.rig.display.CreateSurface(&tex, 4, 4, As(VideoType::Rgb565)), 0);
    PaintTexture(tex);
    // Two triangles over (2, 1) .. (18, 17), texels offset by (-7, +9) and so outside the texture.
    k.s.TexturePoly(2, 1, -7, 10, 18, 1, 9, 10, 2, 17, -7, 26, &tex, 0, 0);
    k.s.TexturePoly(18, 1, 9, 10, 18, 17, 9, 26, 2, 17, -7, 26, &tex, 0, 0);
    for (int32_t y = 0; y < 20; y++)
      for (int32_t x = 0; x < 24; x++) {
        const bool inside = x >= 2 && x < 18 && y >= 1 && y < 17;
        const uint32_t expect = inside ? tex.GetPixel(Mod(x - 2 - 7, 4), Mod(y - 1 + 10, 4)) : 0;
        ASSERT_EQ(k.s.GetPixel(x, y), expect) << x << "," << y << " rotation " << int(rotation);
      }
  }
}

TEST(TexturePoly, FlagsDrawAsTheBlitsDo) {
  const uint32_t FLAGS[][2] = {{0, 0},
                               {ColorKey, 0},
                               {Opacity, 128},
                               {Opacity, 100},
                               {Additive, 0},
                               {Subtractive, 0},
                               {ColorKey | Tint, 0x4080C0},
                               {ColorKey | ColorFill, 0xF80000},
                               {Opacity | Additive, 90}};
  for (const auto& f : FLAGS) {
    Rig rig;
    V2DSurface viaPoly, viaBlit, tex;
    Make(rig, viaPoly, 8, 8, VideoType::Rgb565, 0x406080);
    Make(rig, viaBlit, 8, 8, VideoType::Rgb565, 0x406080);
    Make(rig, tex, 4, 4);
    PaintTexture(tex);
    viaPoly.TexturePoly(2, 2, 0, 0, 6, 2, 4, 0, 2, 6, 0, 4, &tex, f[0], f[1]);
    viaPoly.TexturePoly(6, 2, 4, 0, 6, 6, 4, 4, 2, 6, 0, 4, &tex, f[0], f[1]);
    viaBlit.BltFast(2, 2, &tex, nullptr, f[0], f[1]);
    for (int32_t y = 0; y < 8; y++)
      for (int32_t x = 0; x < 8; x++)
        ASSERT_EQ(viaPoly.GetPixel(x, y), viaBlit.GetPixel(x, y)) << "flags " << f[0] << " at " << x << "," << y;
  }
}

TEST(TexturePoly, UnusableTexturesDrawNothing) {
  Canvas k(8, 8);
  V2DSurface never, other, emptied;
  ASSERT_EQ(k.rig.display.CreateSurface(&other, 4, 4, As(VideoType::Xrgb8888)), 0);
  other.Clear(0xFFFFFF);
  ASSERT_EQ(k.rig.display.CreateSurface(&emptied, 4, 4, As(VideoType::Rgb565)), 0);
  emptied.Clear(0xFFFFFF);
  emptied.Free();
  for (V2DSurface* t : {static_cast<V2DSurface*>(nullptr), &never, &other, &emptied}) {
    k.s.TexturePoly(0, 0, 0, 0, 8, 0, 4, 0, 0, 8, 0, 4, t, 0, 0);
    EXPECT_TRUE(Drawn(k.s, 0).empty());
  }
}

// --- the ground plane --------------------------------------------------------------------

struct GROUNDCASE {
  int32_t x, y, z;
  uint16_t angle;
  int16_t horizon;
  uint16_t focal;
};

class LandscapeView : public ::testing::TestWithParam<GROUNDCASE> {};

TEST_P(LandscapeView, DrawsBelowTheHorizonWhatItsPointQueryNames) {
  const GROUNDCASE& g = GetParam();
  for (uint8_t rotation = 0; rotation < 4; rotation += 3) {
    Canvas k(48, 40, VideoType::Rgb565, rotation, BACKGROUND);
    V2DSurface tex;
    ASSERT_EQ(k.rig.display.CreateSurface(&tex, 4, 4, As(VideoType::Rgb565)), 0);
    PaintTexture(tex);
    const tagRECT area = {4, 6, 44, 36};
    k.s.Landscape(&area, g.x, g.y, g.z, g.angle, g.horizon, g.focal, &tex);
    for (int32_t y = 0; y < 40; y++)
      for (int32_t x = 0; x < 48; x++) {
        int32_t u = -1, v = -1;
        const bool ground = k.s.GetLandscapePoint(&area, g.x, g.y, g.z, g.angle, g.horizon, g.focal, &tex, x, y, u, v);
        const bool inside = x >= area.left && x < area.right && y >= area.top && y < area.bottom;
        EXPECT_EQ(ground, inside && y > area.top + g.horizon) << x << "," << y;
        ASSERT_EQ(k.s.GetPixel(x, y), ground ? tex.GetPixel(u, v) : BACKGROUND) << x << "," << y;
      }
  }
}

INSTANTIATE_TEST_SUITE_P(Prim, LandscapeView,
                         ::testing::Values(GROUNDCASE{0, 0, 8 << 16, 0, 10, 100},
                                           GROUNDCASE{-5 * 65536, 77 << 16, 3 << 16, 700, 0, 160},
                                           GROUNDCASE{INT32_MAX, INT32_MIN, INT32_MAX, 2048, 28, 65535},
                                           GROUNDCASE{7 << 16, 7 << 16, 5 << 16, 512, 29, 90},
                                           GROUNDCASE{123456, 654321, -4 * 65536, 3000, -20, 0},
                                           GROUNDCASE{0, 0, 1 << 16, 100, 30, 64}));

TEST(Landscape, TheRowBelowTheHorizonIsTheFarthestAndRowsApartShowNearerGround) {
  Canvas k(40, 30);
  V2DSurface tex;
  ASSERT_EQ(k.rig.display.CreateSurface(&tex, 256, 256, As(VideoType::Rgb565)), 0);
  int32_t u1, v1, u2, v2;
  // Looking along -v from (128, 250) at height 4: farther rows show smaller v.
  ASSERT_TRUE(k.s.GetLandscapePoint(nullptr, 128 << 16, 250 << 16, 4 << 16, 0, 10, 40, &tex, 20, 11, u1, v1));
  ASSERT_TRUE(k.s.GetLandscapePoint(nullptr, 128 << 16, 250 << 16, 4 << 16, 0, 10, 40, &tex, 20, 29, u2, v2));
  EXPECT_EQ(v1, 250 - 4 * 40);
  EXPECT_LT(v1, v2);
  EXPECT_FALSE(k.s.GetLandscapePoint(nullptr, 128 << 16, 250 << 16, 4 << 16, 0, 10, 40, &tex, 20, 10, u1, v1));
}

// --- nothing outside the clipper or the surface -------------------------------------------

int32_t AnyCoordinate(XorShift32& rng, int32_t around) {
  switch (rng.Below(16)) {
    case 0: return INT32_MIN + int32_t(rng.Below(3));
    case 1: return INT32_MAX - int32_t(rng.Below(3));
    case 2: return int32_t(rng.Next());
    case 3: return int32_t(rng.Next()) / 1024;
    default: return int32_t(rng.Below(uint32_t(around) * 2 + 8)) - around / 2 - 4;
  }
}

// Any 32-bit value, of any magnitude.
int32_t AnyMagnitude(XorShift32& rng) { return int32_t(rng.Next()) / int32_t(1u << rng.Below(31)); }

// A coordinate in 22.10, of any magnitude.
int32_t AnyFixed(XorShift32& rng, int32_t around) {
  const int64_t v = int64_t(AnyCoordinate(rng, around)) * 1024;
  return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : int32_t(v);
}

tagRECT AnyRect(XorShift32& rng, int32_t w, int32_t h) {
  return {AnyCoordinate(rng, w), AnyCoordinate(rng, h), AnyCoordinate(rng, w), AnyCoordinate(rng, h)};
}

// Row padding past the storage width belongs to no pixel: marked, it must stay marked.
void MarkPadding(V2DSurface& s, bool check) {
  V2DSURFACEINFO info;
  uint8_t* p = s.Lock(&info);
  s.Unlock();
  const uint32_t used = info.physwidth * info.bitsperpixel / 8;
  for (uint32_t y = 0; y < info.physheight; y++)
    for (uint32_t b = used; b < info.rowbytes; b++) {
      if (check) ASSERT_EQ(p[y * info.rowbytes + b], 0xA5);
      else p[y * info.rowbytes + b] = 0xA5;
    }
}

void AnyPrimitive(XorShift32& rng, V2DSurface& s, V2DSurface& tex) {
  const int32_t w = s.GetWidth(), h = s.GetHeight();
  auto X = [&] { return AnyCoordinate(rng, w); };
  auto Y = [&] { return AnyCoordinate(rng, h); };
  const uint32_t colour = rng.Next(), flags = rng.Below(64) | (rng.Below(2) ? V2DGRADIENT_DITHER : 0);
  const uint32_t value = rng.Next();
  const tagRECT r = AnyRect(rng, w, h);
  const tagRECT* rect = rng.Below(5) ? &r : nullptr;
  switch (rng.Below(11)) {
    case 0: s.DrawLine(X(), Y(), X(), Y(), colour, flags, value); break;
    case 1: s.DrawRect(rect, colour, flags, value); break;
    case 2: s.DrawOval(X(), Y(), X(), Y(), colour, flags, value); break;
    case 3: s.FillOval(X(), Y(), X(), Y(), colour, flags, value); break;
    case 4: s.FillPoly(X(), Y(), X(), Y(), X(), Y(), colour, flags, value); break;
    case 5:
      s.FillPolyV(AnyFixed(rng, w), AnyFixed(rng, h), AnyFixed(rng, w), AnyFixed(rng, h), AnyMagnitude(rng),
                  AnyMagnitude(rng), colour, flags, value);
      break;
    case 6: s.GradientPoly(X(), Y(), rng.Next(), X(), Y(), rng.Next(), X(), Y(), rng.Next(), flags); break;
    case 7: s.GradientRect(rect, rng.Next(), rng.Next(), rng.Next(), rng.Next(), flags); break;
    case 8:
      s.TexturePoly(X(), Y(), AnyMagnitude(rng), Y(), X(), Y(), X(), AnyMagnitude(rng), X(), Y(), X(), Y(), &tex, flags,
                    value);
      break;
    case 9:
      s.Landscape(rect, AnyMagnitude(rng), AnyMagnitude(rng), AnyMagnitude(rng), uint16_t(rng.Next()),
                  int16_t(int32_t(rng.Below(65536)) - 32768), uint16_t(rng.Next()), &tex);
      break;
    default: s.GradientRectH(rect, rng.Next(), rng.Next(), flags); break;
  }
}

class PrimitiveBounds : public ::testing::TestWithParam<uint8_t> {};

TEST_P(PrimitiveBounds, NothingIsDrawnOutsideTheClipperOrTheSurface) {
  Rig rig(GetParam(), false);  // plain allocations, so a sanitizer guards both ends of the pixels
  ASSERT_EQ(rig.opened, 0);
  XorShift32 rng{0x5EEDu + GetParam()};
  const uint8_t types[] = {VideoType::Indexed8, VideoType::Rgb444, VideoType::Rgb555, VideoType::Rgb565,
                           VideoType::Rgb888, VideoType::Xrgb8888};
  for (int round = 0; round < 64; round++) {
    const uint8_t type = types[rng.Below(6)];
    V2DSurface s, tex;
    const int32_t w = int32_t(3 + rng.Below(30)), h = int32_t(3 + rng.Below(26));
    ASSERT_EQ(rig.display.CreateSurface(&s, w, h, As(type)), 0);
    ASSERT_EQ(rig.display.CreateSurface(&tex, int32_t(1 + rng.Below(9)), int32_t(1 + rng.Below(9)),
                                        As(rng.Below(5) ? type : types[rng.Below(6)])),
              0);
    tex.Clear(0x00FFFF);
    s.Clear(BACKGROUND & (type == VideoType::Indexed8 ? 0xFF : 0xFFFFFF));
    // A guard border of at least one pixel, now and then a larger or empty clipper.
    tagRECT clip = {1 + int32_t(rng.Below(uint32_t(w) / 3 + 1)), 1 + int32_t(rng.Below(uint32_t(h) / 3 + 1)),
                    w - 1 - int32_t(rng.Below(uint32_t(w) / 3 + 1)), h - 1 - int32_t(rng.Below(uint32_t(h) / 3 + 1))};
    if (rng.Below(8) == 0) clip = AnyRect(rng, w, h);
    s.SetClipper(&clip);
    tagRECT vclip;
    s.GetClipper(&vclip);
    MarkPadding(s, false);
    std::vector<uint32_t> before;
    for (int32_t y = 0; y < h; y++)
      for (int32_t x = 0; x < w; x++) before.push_back(s.GetPixel(x, y));
    for (int op = 0; op < 60; op++) AnyPrimitive(rng, s, tex);
    for (int32_t y = 0; y < h; y++)
      for (int32_t x = 0; x < w; x++) {
        const bool inside = x >= vclip.left && x < vclip.right && y >= vclip.top && y < vclip.bottom;
        if (!inside) {
          ASSERT_EQ(s.GetPixel(x, y), before[size_t(y) * size_t(w) + size_t(x)]) << x << "," << y;
        }
      }
    MarkPadding(s, true);
  }
}

INSTANTIATE_TEST_SUITE_P(Rotations, PrimitiveBounds, ::testing::Range<uint8_t>(0, 4),
                         [](const auto& info) { return "Rotation" + std::to_string(int(info.param)); });

}  // namespace
