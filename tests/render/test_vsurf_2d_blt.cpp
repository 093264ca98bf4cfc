// Tests of the blits: BltFast, BltFlip, BltFx/Blt and BltPixelShader against
// per-pixel references written here (plain copies, turned and mirrored
// grids, scaled grids, the depths' arithmetic), clipping at every edge, the
// display's palette and open state, the scan-line tables, the same virtual
// picture under every display rotation, and memory safety for arbitrary
// arguments.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <tuple>
#include <vector>

#include "display_rig.h"
#include "render/vmod_dsp.h"
#include "render/vsurf_2d.h"
#include "support/xorshift.h"

namespace {

using namespace BlitFlags;

constexpr uint32_t KEY = 0xFF00FF;     // magenta, the usual key
constexpr uint32_t BACKGROUND = 0x406080;

uint32_t As(uint8_t type) { return 1u | (uint32_t(type) << 8); }  // surface type 1 in the given format

uint32_t Native(uint8_t type, uint32_t colour) { return V2DSurfaceBase::ColorToNative(type, colour); }

// A rig with the math module ready, so rotations have their sines.
struct Rig : DisplayRig {
  explicit Rig(uint8_t rotation, bool withmemory = true) : DisplayRig(withmemory) {
    math.Init();
    opened = Open(rotation);
  }
  int opened;
};

// Colours that stay distinct after reduction to any format; every `keyevery`-th pixel the key.
void Paint(V2DSurface& s, uint32_t seed, int keyevery = 0) {
  XorShift32 rng{seed};
  for (int32_t y = 0; y < s.GetHeight(); y++) {
    for (int32_t x = 0; x < s.GetWidth(); x++) {
      uint32_t colour = rng.Next() & 0xF0F0F0;
      if (s.GetVideoType() == VideoType::Indexed8) colour &= 0xFF;
      if (keyevery && (x + 3 * y) % keyevery == 0) colour = s.GetVideoType() == VideoType::Indexed8 ? 5 : KEY;
      s.PutPixel(x, y, colour, 0, 0);
    }
  }
  s.SetColorKey(s.GetVideoType() == VideoType::Indexed8 ? 5 : KEY);
}

// A picture in virtual coordinates.
struct GRID {
  int32_t w = 0, h = 0;
  std::vector<uint32_t> p;
  uint32_t& at(int32_t x, int32_t y) { return p[size_t(y) * size_t(w) + size_t(x)]; }
  uint32_t at(int32_t x, int32_t y) const { return p[size_t(y) * size_t(w) + size_t(x)]; }
  bool operator==(const GRID& o) const { return w == o.w && h == o.h && p == o.p; }
};

GRID Picture(const V2DSurface& s) {
  GRID g{s.GetWidth(), s.GetHeight(), {}};
  for (int32_t y = 0; y < g.h; y++) {
    for (int32_t x = 0; x < g.w; x++) g.p.push_back(s.GetPixel(x, y));
  }
  return g;
}

// The part of a surface's picture inside a rectangle (cut to the surface).
GRID Part(const V2DSurface& s, tagRECT r) {
  r.left = std::max(r.left, 0), r.top = std::max(r.top, 0);
  r.right = std::min(r.right, s.GetWidth()), r.bottom = std::min(r.bottom, s.GetHeight());
  GRID g{std::max(r.right - r.left, 0), std::max(r.bottom - r.top, 0), {}};
  for (int32_t y = r.top; y < r.bottom; y++) {
    for (int32_t x = r.left; x < r.right; x++) g.p.push_back(s.GetPixel(x, y));
  }
  return g;
}

GRID MirrorLeftRight(const GRID& g) {
  GRID out = g;
  for (int32_t y = 0; y < g.h; y++)
    for (int32_t x = 0; x < g.w; x++) out.at(x, y) = g.at(g.w - 1 - x, y);
  return out;
}

GRID MirrorTopBottom(const GRID& g) {
  GRID out = g;
  for (int32_t y = 0; y < g.h; y++)
    for (int32_t x = 0; x < g.w; x++) out.at(x, y) = g.at(x, g.h - 1 - y);
  return out;
}

// A quarter turn clockwise: the bottom-left corner comes to the top-left.
GRID TurnClockwise(const GRID& g) {
  GRID out{g.h, g.w, std::vector<uint32_t>(g.p.size())};
  for (int32_t y = 0; y < out.h; y++)
    for (int32_t x = 0; x < out.w; x++) out.at(x, y) = g.at(y, g.h - 1 - x);
  return out;
}

// The source mirrored by the flip bits, then turned by the rotation.
GRID Turned(GRID g, uint32_t rotation, uint8_t flip) {
  if (flip & V2DFLIP_LEFTRIGHT) g = MirrorLeftRight(g);
  if (flip & V2DFLIP_TOPBOTTOM) g = MirrorTopBottom(g);
  for (uint32_t turns = (rotation & 4095) / 1024; turns > 0; turns--) g = TurnClockwise(g);
  return g;
}

GRID Enlarged(const GRID& g, int32_t factor) {
  GRID out{g.w * factor, g.h * factor, {}};
  for (int32_t y = 0; y < out.h; y++)
    for (int32_t x = 0; x < out.w; x++) out.p.push_back(g.at(x / factor, y / factor));
  return out;
}

bool Inside(const tagRECT& r, int64_t x, int64_t y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

// What a block blit should leave: `block` at (x, y) over `before`, pixels
// outside the clipper untouched; a key-coloured block pixel is skipped when keyed.
GRID Placed(const GRID& before, const GRID& block, int64_t x, int64_t y, const tagRECT& clip, bool keyed = false,
            uint32_t key = 0, bool* drawn = nullptr) {
  GRID out = before;
  if (drawn) *drawn = false;
  for (int32_t j = 0; j < block.h; j++) {
    for (int32_t i = 0; i < block.w; i++) {
      if (!Inside(clip, x + i, y + j) || (keyed && block.at(i, j) == key)) continue;
      out.at(int32_t(x + i), int32_t(y + j)) = block.at(i, j);
      if (drawn) *drawn = true;
    }
  }
  return out;
}

// --- BltFast: the edge cases of every flag ------------------------------------------

// Expected native Rgb565 result from source s and destination t (key: s is the key).
typedef uint32_t (*PIXELRULE)(uint32_t s, uint32_t t, bool key);

struct FASTCASE {
  const char* name;
  uint32_t flags, value;
  int result;
  PIXELRULE rule;
};

uint32_t Copied(uint32_t s, uint32_t, bool) { return s; }
uint32_t Untouched(uint32_t, uint32_t t, bool) { return t; }
uint32_t KeyedCopy(uint32_t s, uint32_t t, bool key) { return key ? t : s; }
uint32_t SolidGreen(uint32_t, uint32_t, bool) { return 0x07E0; }
uint32_t BlueSilhouette(uint32_t, uint32_t t, bool key) { return key ? t : 0x001F; }
uint32_t HalfByShifts(uint32_t s, uint32_t t, bool) { return s + ((t >> 1) & 0x7BEF) - ((s >> 1) & 0x7BEF); }

const FASTCASE FAST_CASES[] = {
    {"Opacity255IsPlainCopy", Opacity, 255, 0, Copied},
    {"Opacity4On565DrawsNothing", Opacity, 4, 10, Untouched},
    {"ColorFillIsSolidBlockOfSourceSize", ColorFill, 0x00FF00, 0, SolidGreen},
    {"ColorKeyWithColorFillIsSilhouette", ColorKey | ColorFill, 0xFF0000, 0, BlueSilhouette},
    {"AdditiveWithSubtractiveIsPlainCopy", Additive | Subtractive, 0, 0, Copied},
    {"Opacity128HalvesByShifts", Opacity, 128, 0, HalfByShifts},
    {"ColorKeySkipsKeyPixels", ColorKey, 0, 0, KeyedCopy},
};

class BlitFastEdge : public ::testing::TestWithParam<std::tuple<uint8_t, FASTCASE>> {};

TEST_P(BlitFastEdge, DrawsTheRuleOverTheBlockAndNothingElse) {
  const uint8_t rotation = std::get<0>(GetParam());
  const FASTCASE& c = std::get<1>(GetParam());
  Rig rig(rotation);
  ASSERT_EQ(rig.opened, 0);
  V2DSurface dst, src;
  ASSERT_EQ(rig.display.CreateSurface(&dst, 24, 20, As(VideoType::Rgb565)), 0);
  ASSERT_EQ(rig.display.CreateSurface(&src, 10, 8, As(VideoType::Rgb565)), 0);
  Paint(dst, 11);
  Paint(src, 22, 7);
  const GRID before = Picture(dst), source = Picture(src);
  EXPECT_EQ(dst.BltFast(3, 2, &src, nullptr, c.flags, c.value), c.result);
  const GRID after = Picture(dst);
  for (int32_t y = 0; y < after.h; y++) {
    for (int32_t x = 0; x < after.w; x++) {
      const uint32_t t = Native(VideoType::Rgb565, before.at(x, y));
      uint32_t expect = t;
      if (x >= 3 && x < 13 && y >= 2 && y < 10) {
        const uint32_t s = source.at(x - 3, y - 2);
        expect = c.rule(Native(VideoType::Rgb565, s), t, s == 0xF800F8);
      }
      ASSERT_EQ(Native(VideoType::Rgb565, after.at(x, y)), expect) << c.name << " at " << x << "," << y;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, BlitFastEdge,
                         ::testing::Combine(::testing::Range<uint8_t>(0, 4), ::testing::ValuesIn(FAST_CASES)),
                         [](const auto& info) {
                           return std::string(std::get<1>(info.param).name) + "_Rotation" +
                                  std::to_string(std::get<0>(info.param));
                         });

TEST(BlitFast, AtMinusFiveDrawsTheSourcesRightFiveColumnsAtZero) {
  Rig rig(0);
  ASSERT_EQ(rig.opened, 0);
  V2DSurface dst, src;
  ASSERT_EQ(rig.display.CreateSurface(&dst, 16, 6, 1), 0);
  ASSERT_EQ(rig.display.CreateSurface(&src, 10, 4, 1), 0);
  dst.Clear(BACKGROUND);
  Paint(src, 5);
  ASSERT_EQ(dst.BltFast(-5, 1, &src, nullptr), 0);
  for (int32_t y = 1; y < 5; y++) {
    for (int32_t x = 0; x < 5; x++) EXPECT_EQ(dst.GetPixel(x, y), src.GetPixel(x + 5, y - 1));
    EXPECT_EQ(dst.GetPixel(5, y), 0x406080u & 0xF8FCF8u);
  }
}

// --- clipping at every edge ---------------------------------------------------------

struct CLIPCASE {
  const char* name;
  int32_t x, y;
  bool whole;      // null rectangle
  tagRECT rect;
};

const CLIPCASE CLIP_CASES[] = {
    {"Inside", 10, 10, true, {}},
    {"LeftEdge", 1, 8, true, {}},
    {"RightEdge", 28, 8, true, {}},
    {"TopEdge", 10, 0, true, {}},
    {"BottomEdge", 10, 22, true, {}},
    {"TopLeft", 0, 0, true, {}},
    {"TopRight", 30, -2, true, {}},
    {"BottomLeft", -3, 24, true, {}},
    {"BottomRight", 31, 23, true, {}},
    {"WhollyLeft", -20, 5, true, {}},
    {"AtClipperRight", 33, 5, true, {}},
    {"WhollyAbove", 5, -9, true, {}},
    {"AtClipperBottom", 5, 25, true, {}},
    {"RectBeyondTheSource", 8, 8, false, {-3, -2, 14, 11}},
    {"RectOutsideTheSource", 8, 8, false, {12, 0, 20, 9}},
    {"InvertedRect", 8, 8, false, {5, 5, 2, 2}},
    {"ExtremeValuesCancel", INT32_MIN, 6, false, {INT32_MIN, 0, INT32_MAX, 9}},
    {"ExtremePosition", INT32_MAX, INT32_MIN, true, {}},
};

class BlitClip : public ::testing::TestWithParam<std::tuple<uint8_t, CLIPCASE>> {};

// The reference: every source pixel inside the source lands at its offset
// from the rectangle's corner when that lies inside the clipper. Turned blits
// of the whole source go through the same edges (cut rectangles under a
// turn are BlitFlip's).
TEST_P(BlitClip, FastAndFlipDrawExactlyTheSourcePixelsInsideTheClipper) {
  const uint8_t rotation = std::get<0>(GetParam());
  const CLIPCASE& c = std::get<1>(GetParam());
  Rig rig(rotation);
  ASSERT_EQ(rig.opened, 0);
  V2DSurface dst, src;
  ASSERT_EQ(rig.display.CreateSurface(&dst, 40, 30, 1), 0);
  ASSERT_EQ(rig.display.CreateSurface(&src, 12, 9, 1), 0);
  Paint(src, 3);
  const tagRECT clip = {5, 4, 33, 25};
  const tagRECT r = c.whole ? tagRECT{0, 0, 12, 9} : c.rect;
  const int64_t left = std::max<int64_t>(r.left, 0), top = std::max<int64_t>(r.top, 0);
  const int64_t right = std::min<int64_t>(r.right, 12), bottom = std::min<int64_t>(r.bottom, 9);
  GRID block;
  if (right > left && bottom > top) block = Part(src, {int32_t(left), int32_t(top), int32_t(right), int32_t(bottom)});
  for (uint32_t turn = 0; turn < 4096; turn += 1024) {
    if (turn != 0 && !c.whole) continue;
    dst.SetClipper(nullptr);
    dst.Clear(BACKGROUND);
    dst.SetClipper(&clip);
    const GRID before = Picture(dst);
    bool drawn = false;
    GRID expect;
    int result;
    if (turn == 0) {
      expect = Placed(before, block, int64_t(c.x) + (left - r.left), int64_t(c.y) + (top - r.top), clip, false, 0,
                      &drawn);
      result = dst.BltFast(c.x, c.y, &src, c.whole ? nullptr : &c.rect);
    } else {
      expect = Placed(before, Turned(block, turn, 0), c.x, c.y, clip, false, 0, &drawn);
      result = dst.BltFlip(c.x, c.y, &src, nullptr, turn, 0, 0, 0);
    }
    EXPECT_EQ(result, drawn ? 0 : 4) << c.name << " turn " << turn;
    ASSERT_TRUE(Picture(dst) == expect) << c.name << " turn " << turn;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, BlitClip,
                         ::testing::Combine(::testing::Range<uint8_t>(0, 4), ::testing::ValuesIn(CLIP_CASES)),
                         [](const auto& info) {
                           return std::string(std::get<1>(info.param).name) + "_Rotation" +
                                  std::to_string(std::get<0>(info.param));
                         });

// A surface blitting onto itself reads its pixels as they were before the blit.
TEST(BlitSelf, OverlappingBlitsReadTheSourceAsItWas) {
  for (uint8_t rotation = 0; rotation < 4; rotation++) {
    Rig rig(rotation);
    ASSERT_EQ(rig.opened, 0);
    V2DSurface self, copy, reference;
    for (V2DSurface* s : {&self, &copy, &reference}) ASSERT_EQ(rig.display.CreateSurface(s, 20, 16, 1), 0);
    const tagRECT part = {2, 1, 14, 11};
    const uint32_t flagsets[][2] = {{0, 0}, {Opacity, 100}, {ColorKey, 0}, {Tint, 0x00FFFFFF}};
    for (const auto& f : flagsets) {
      for (uint32_t turn : {0u, 1024u, 2048u}) {
        Paint(self, 6, 4);
        Paint(copy, 6, 4);
        Paint(reference, 6, 4);
        if (turn == 0) {
          ASSERT_EQ(self.BltFast(3, 2, &self, &part, f[0], f[1]), 0);
          ASSERT_EQ(reference.BltFast(3, 2, &copy, &part, f[0], f[1]), 0);
        } else {
          ASSERT_EQ(self.BltFlip(1, 3, &self, &part, turn, 1, f[0], f[1]), 0);
          ASSERT_EQ(reference.BltFlip(1, 3, &copy, &part, turn, 1, f[0], f[1]), 0);
        }
        EXPECT_TRUE(Picture(self) == Picture(reference)) << "flags " << f[0] << " turn " << turn;
      }
    }
  }
}

// --- BltFlip: every rotation and flip ---------------------------------------------------

class BlitFlip : public ::testing::TestWithParam<std::tuple<uint8_t, uint32_t, uint8_t>> {};

TEST_P(BlitFlip, MatchesTheMirroredAndTurnedGridAndClipsAtEveryEdge) {
  const uint8_t rotation = std::get<0>(GetParam());
  const uint32_t turn = std::get<1>(GetParam());
  const uint8_t flip = std::get<2>(GetParam());
  Rig rig(rotation);
  ASSERT_EQ(rig.opened, 0);
  V2DSurface dst, src;
  ASSERT_EQ(rig.display.CreateSurface(&dst, 30, 22, 1), 0);
  ASSERT_EQ(rig.display.CreateSurface(&src, 9, 5, 1), 0);
  Paint(src, 77, 6);
  const tagRECT part = {1, 1, 8, 5};  // 7 x 4 of the source
  const GRID block = Turned(Part(src, part), turn, flip);
  const tagRECT whole = {0, 0, 30, 22};
  // Inside, and over each corner in turn.
  const int32_t spots[][2] = {{10, 8}, {-3, -2}, {26, -1}, {-2, 19}, {27, 20}};
  for (const auto& spot : spots) {
    for (uint32_t flags : {0u, uint32_t(ColorKey)}) {
      dst.Clear(BACKGROUND);
      const GRID before = Picture(dst);
      EXPECT_EQ(dst.BltFlip(spot[0], spot[1], &src, &part, turn, flip, flags, 0), 0);
      ASSERT_TRUE(Picture(dst) == Placed(before, block, spot[0], spot[1], whole, flags != 0, src.GetColorKey()))
          << "at " << spot[0] << "," << spot[1] << " flags " << flags;
    }
  }
  // A clipper inside the surface cuts the source on whichever side the turn puts there.
  const tagRECT clip = {4, 3, 12, 9};
  dst.SetClipper(nullptr);
  dst.Clear(BACKGROUND);
  dst.SetClipper(&clip);
  const GRID before = Picture(dst);
  EXPECT_EQ(dst.BltFlip(2, 1, &src, &part, turn, flip, 0, 0), 0);
  ASSERT_TRUE(Picture(dst) == Placed(before, block, 2, 1, clip));
}

INSTANTIATE_TEST_SUITE_P(Turns, BlitFlip,
                         ::testing::Combine(::testing::Range<uint8_t>(0, 4), ::testing::Values(0u, 1024u, 2048u, 3072u),
                                            ::testing::Range<uint8_t>(0, 4)));

TEST(BlitFlipAngles, OffQuarterAnglesAreInvalidAndFullTurnsWrap) {
  Rig rig(0);
  ASSERT_EQ(rig.opened, 0);
  V2DSurface dst, src, other;
  ASSERT_EQ(rig.display.CreateSurface(&dst, 20, 20, 1), 0);
  ASSERT_EQ(rig.display.CreateSurface(&src, 6, 4, 1), 0);
  ASSERT_EQ(rig.display.CreateSurface(&other, 6, 4, As(VideoType::Xrgb8888)), 0);
  Paint(src, 9);
  EXPECT_EQ(dst.BltFlip(2, 2, &src, nullptr, 512, 0, 0, 0), 4);
  EXPECT_EQ(dst.BltFlip(2, 2, &src, nullptr, 1, 0, 0, 0), 4);
  EXPECT_EQ(dst.BltFlip(2, 2, &other, nullptr, 0, 0, 0, 0), 3);
  // 4096 is no turn and 5120 a quarter turn, as 0 and 1024 are.
  for (uint32_t wrapped : {4096u, 5120u, 4096u * 3 + 2048u}) {
    dst.Clear(0);
    ASSERT_EQ(dst.BltFlip(2, 2, &src, nullptr, wrapped, 1, 0, 0), 0);
    const GRID once = Picture(dst);
    dst.Clear(0);
    ASSERT_EQ(dst.BltFlip(2, 2, &src, nullptr, wrapped & 4095, 1, 0, 0), 0);
    EXPECT_TRUE(Picture(dst) == once) << wrapped;
  }
}

TEST(BlitFlipAngles, SwappedAxesExchangeTheFlipBits) {
  for (uint8_t rotation = 0; rotation < 4; rotation++) {
    Rig rig(rotation);
    ASSERT_EQ(rig.opened, 0);
    V2DSurface dst, src;
    ASSERT_EQ(rig.display.CreateSurface(&dst, 20, 20, 1), 0);
    ASSERT_EQ(rig.display.CreateSurface(&src, 6, 4, 1), 0);
    const bool swapped = rotation == 1 || rotation == 3;
    for (uint8_t flip = 0; flip < 4; flip++) {
      int32_t x = 3, y = 3;
      tagRECT r;
      uint8_t f = flip;
      ASSERT_EQ(dst.GetBltFlipPositions(x, y, r, nullptr, &src, 1024, f), 0);
      EXPECT_EQ(f, swapped ? uint8_t(((flip & 1) << 1) | (flip >> 1)) : flip) << int(rotation);
    }
  }
}

// --- BltFx: centring, scaling, the quad --------------------------------------------------

class BlitFx : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(rig.opened, 0);
    ASSERT_EQ(rig.display.CreateSurface(&dst, 48, 40, 1), 0);
    dst.Clear(BACKGROUND);
  }
  void Source(int32_t w, int32_t h, uint32_t seed = 1) {
    src.Free();
    ASSERT_EQ(rig.display.CreateSurface(&src, w, h, 1), 0);
    Paint(src, seed);
  }
  Rig rig{0};
  V2DSurface dst, src;
};

TEST_F(BlitFx, UnscaledUnturnedNineByNineAtTwentyDrawsFromSixteen) {
  Source(9, 9);
  const GRID before = Picture(dst);
  const V2DBLTFX fx = {0, 0, 65536, 65536, 0, 0};
  ASSERT_EQ(dst.BltFx(20, 20, &src, nullptr, &fx), 0);
  EXPECT_TRUE(Picture(dst) == Placed(before, Picture(src), 16, 16, {0, 0, 48, 40}));
  dst.Clear(BACKGROUND);
  ASSERT_EQ(dst.BltFx(20, 20, &src, nullptr, nullptr), 0);  // a null record is the same blit
  EXPECT_TRUE(Picture(dst) == Placed(before, Picture(src), 16, 16, {0, 0, 48, 40}));
}

struct CENTRECASE {
  int32_t w, h;
  uint32_t rotation;
  uint8_t flip;
  int32_t left, top;  // where the block starts for a centre at (20, 20)
};

// Integer halves of the turned block's size: odd sides centre on (20, 20) itself.
const CENTRECASE CENTRE_CASES[] = {
    {9, 9, 0, 1, 16, 16},   {10, 8, 0, 2, 15, 16},   {9, 5, 1024, 0, 18, 16},
    {10, 8, 2048, 3, 15, 16}, {10, 7, 3072, 1, 17, 15}, {4, 6, 4096 + 1024, 0, 17, 18},
};

TEST_F(BlitFx, QuarterTurnsAreCentredBlocksOfTheTurnedSource) {
  for (const CENTRECASE& c : CENTRE_CASES) {
    Source(c.w, c.h, c.w * 31 + c.h);
    dst.Clear(BACKGROUND);
    const GRID before = Picture(dst);
    ASSERT_EQ(dst.Blt(20, 20, &src, nullptr, c.rotation, 65536, c.flip, 0, 0), 0);
    EXPECT_TRUE(Picture(dst) == Placed(before, Turned(Picture(src), c.rotation, c.flip), c.left, c.top, {0, 0, 48, 40}))
        << c.w << "x" << c.h << " rotation " << c.rotation;
  }
}

// Doubled, every source pixel becomes a 2 x 2 block, the result starting at
// (x - w, y - h); under a turn of the quad the same as the turned source doubled.
TEST_F(BlitFx, DoubleScaleEnlargesEveryPixelAroundTheCentreAtEveryTurn) {
  const int32_t sizes[][2] = {{4, 3}, {5, 5}, {6, 2}};
  for (const auto& size : sizes) {
    Source(size[0], size[1], size[0] + 7 * size[1]);
    dst.Clear(BACKGROUND);
    const GRID before = Picture(dst);
    ASSERT_EQ(dst.Blt(20, 20, &src, nullptr, 0, 2 * 65536, 0, 0, 0), 0);
    EXPECT_TRUE(Picture(dst) == Placed(before, Enlarged(Picture(src), 2), 20 - size[0], 20 - size[1], {0, 0, 48, 40}))
        << size[0] << "x" << size[1];
  }
  // Even sides: no edge passes through a pixel centre, so every turn and flip is exact.
  Source(6, 4, 99);
  for (uint32_t turn = 0; turn < 4096; turn += 1024) {
    for (uint8_t flip = 0; flip < 4; flip++) {
      dst.Clear(BACKGROUND);
      const GRID before = Picture(dst);
      const GRID block = Enlarged(Turned(Picture(src), turn, flip), 2);
      ASSERT_EQ(dst.Blt(20, 20, &src, nullptr, turn, 2 * 65536, flip, 0, 0), 0);
      EXPECT_TRUE(Picture(dst) == Placed(before, block, 20 - block.w / 2, 20 - block.h / 2, {0, 0, 48, 40}))
          << "turn " << turn << " flip " << int(flip);
    }
  }
}

TEST_F(BlitFx, FreeRotationStaysAroundTheCentreAndShowsTheSourceMiddleThere) {
  Source(9, 9);
  src.Clear(0x00FF00);
  src.PutPixel(4, 4, 0x0000FF, 0, 0);
  for (uint32_t angle : {512u, 300u, 1900u, 3500u}) {
    dst.Clear(BACKGROUND);
    ASSERT_EQ(dst.Blt(20, 20, &src, nullptr, angle, 65536, 0, 0, 0), 0);
    int drawn = 0;
    for (int32_t y = 0; y < 40; y++) {
      for (int32_t x = 0; x < 48; x++) {
        if (dst.GetPixel(x, y) == (BACKGROUND & 0xF8FCF8)) continue;
        drawn++;
        const double dx = x + 0.5 - 20.5, dy = y + 0.5 - 20.5;
        EXPECT_LE(dx * dx + dy * dy, 7.0 * 7.0) << angle << " at " << x << "," << y;
      }
    }
    EXPECT_NEAR(drawn, 81, 8) << angle;
    EXPECT_EQ(dst.GetPixel(20, 20), 0x0000F8u) << angle;
  }
}

// 128 x (2^25 + 1) wraps to 128 in 32 bits (a quad of a pixel); in 64 bits
// the quad is 32768 pixels wide and the whole clipper shows the source's middle.
TEST_F(BlitFx, HugeScalesAreExactAndUnfittableQuadsAreInvalid) {
  Source(128, 128);
  src.Clear(0x00FF00);
  const tagRECT middle = {63, 63, 65, 65};
  src.FillRect(&middle, 0xFF0000);
  for (uint32_t angle : {0u, 300u}) {
    dst.Clear(BACKGROUND);
    ASSERT_EQ(dst.Blt(24, 20, &src, nullptr, angle, (1 << 25) + 1, 0, 0, 0), 0);
    const GRID after = Picture(dst);
    EXPECT_EQ(std::count(after.p.begin(), after.p.end(), 0xF80000u), 48 * 40) << angle;
  }
  Source(256, 4);
  EXPECT_EQ(dst.Blt(24, 20, &src, nullptr, 0, INT32_MAX, 0, 0, 0), 4);  // corners past 22.10
  EXPECT_EQ(dst.Blt(24, 20, &src, nullptr, 100, 0, 0, 0, 0), 4);        // no area
}

TEST_F(BlitFx, OtherFormatsConvertUnturnedAndAreRefusedTurned) {
  V2DSurface wide;
  ASSERT_EQ(rig.display.CreateSurface(&wide, 6, 6, As(VideoType::Xrgb8888)), 0);
  wide.Clear(0x3366CC);
  EXPECT_EQ(dst.Blt(20, 20, &wide, nullptr, 0, 65536, 0, 0, 0), 0);
  EXPECT_EQ(dst.GetPixel(17, 17), 0x3366CCu & 0xF8FCF8);
  EXPECT_EQ(dst.Blt(20, 20, &wide, nullptr, 100, 65536, 0, 0, 0), 11);
  EXPECT_EQ(dst.Blt(20, 20, &wide, nullptr, 0, 65536, 1, 0, 0), 11);
}

// The quad's spans: plain, keyed, or through the depth's routines. Doubled
// (and half turned) they must draw what BltFast draws from the doubled picture.
struct FXFLAGCASE {
  const char* name;
  uint32_t flags, value;
};

const FXFLAGCASE FX_FLAG_CASES[] = {
    {"ColorKey", ColorKey, 0},
    {"Opacity", Opacity, 100},
    {"KeyedAdditive", ColorKey | Additive, 0},
    {"Subtractive", Subtractive, 0},
    {"Tint", Tint, 0x00FF8040},
    {"Silhouette", ColorKey | ColorFill, 0x0000FF},
    {"KeyedColourize", ColorKey | ColorFill | Tint, 0x0080FFFF},
};

class BlitFxFlags : public ::testing::TestWithParam<std::tuple<uint8_t, FXFLAGCASE>> {};

TEST_P(BlitFxFlags, ScaledQuadsDrawEveryFlagAsBltFastDoes) {
  const uint8_t type = std::get<0>(GetParam());
  const FXFLAGCASE& c = std::get<1>(GetParam());
  Rig rig(0);
  ASSERT_EQ(rig.opened, 0);
  V2DSurface quad, fast, src, doubled;
  ASSERT_EQ(rig.display.CreateSurface(&quad, 30, 24, As(type)), 0);
  ASSERT_EQ(rig.display.CreateSurface(&fast, 30, 24, As(type)), 0);
  ASSERT_EQ(rig.display.CreateSurface(&src, 6, 4, As(type)), 0);
  ASSERT_EQ(rig.display.CreateSurface(&doubled, 12, 8, As(type)), 0);
  Paint(src, 4, 5);
  for (uint32_t turn : {0u, 2048u}) {
    const GRID big = Enlarged(Turned(Picture(src), turn, 0), 2);
    for (int32_t y = 0; y < big.h; y++)
      for (int32_t x = 0; x < big.w; x++) doubled.PutPixel(x, y, big.at(x, y), 0, 0);
    doubled.SetColorKey(src.GetColorKey());
    Paint(quad, 9);
    Paint(fast, 9);
    ASSERT_EQ(quad.Blt(15, 12, &src, nullptr, turn, 2 * 65536, 0, c.flags, c.value), 0);
    ASSERT_EQ(fast.BltFast(15 - 6, 12 - 4, &doubled, nullptr, c.flags, c.value), 0);
    EXPECT_TRUE(Picture(quad) == Picture(fast)) << c.name << " turn " << turn;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, BlitFxFlags,
                         ::testing::Combine(::testing::Values(VideoType::Indexed8, VideoType::Rgb444, VideoType::Rgb565,
                                                              VideoType::Xrgb8888),
                                            ::testing::ValuesIn(FX_FLAG_CASES)),
                         [](const auto& info) {
                           return std::string(std::get<1>(info.param).name) + "_Type" +
                                  std::to_string(std::get<0>(info.param));
                         });

// --- the routine family is the destination's own ---------------------------------------

struct DEPTHCASE {
  const char* name;
  uint8_t type;
  uint32_t flags, value, s, t;  // native pixels
  uint32_t expect;
};

// Expected values from each depth's arithmetic; the display renders 16 bits.
const DEPTHCASE DEPTH_CASES[] = {
    {"IndexedAdditiveSaturates", VideoType::Indexed8, Additive, 0, 100, 200, 255},
    {"IndexedSubtractiveClamps", VideoType::Indexed8, Subtractive, 0, 100, 50, 0},
    {"IndexedOpacityCopies", VideoType::Indexed8, Opacity, 100, 100, 50, 100},
    // 32 bits: weights 156 and 100, one pixel per word.
    {"Xrgb8888Opacity", VideoType::Xrgb8888, Opacity, 100, 0xC08040, 0x2040F0,
     ((((0x2040F0 & 0xFF00FF) * 156 + (0xC08040 & 0xFF00FF) * 100) >> 8) & 0xFF00FF) |
         ((((0x2040F0 & 0xFF00) * 156 + (0xC08040 & 0xFF00) * 100) >> 8) & 0xFF00)},
    // 12 bits: 100 keeps 96, weight 6 of 16.
    {"Rgb444Opacity", VideoType::Rgb444, Opacity, 100, 0x0C84, 0x024F,
     ((((0x024F & 0x0F0F) * 10 + (0x0C84 & 0x0F0F) * 6) >> 4) & 0x0F0F) |
         ((((0x024F & 0xF0) * 10 + (0x0C84 & 0xF0) * 6) >> 4) & 0xF0)},
    {"Rgb565AdditiveSaturatesPerField", VideoType::Rgb565, Additive, 0, 0xC618, 0x8410, 0xFFFF},
};

class BlitDepth : public ::testing::TestWithParam<DEPTHCASE> {};

TEST_P(BlitDepth, BlitsOnAnyDisplayUseTheirOwnDepthsArithmetic) {
  const DEPTHCASE& c = GetParam();
  Rig rig(0);
  ASSERT_EQ(rig.opened, 0);
  ASSERT_EQ(rig.display.GetRenderMode(), VideoType::Rgb565);
  V2DSurface dst, src;
  ASSERT_EQ(rig.display.CreateSurface(&dst, 7, 3, As(c.type)), 0);
  ASSERT_EQ(rig.display.CreateSurface(&src, 7, 3, As(c.type)), 0);
  dst.Clear(V2DSurfaceBase::NativeToColor(c.type, c.t));
  src.Clear(V2DSurfaceBase::NativeToColor(c.type, c.s));
  for (int pass = 0; pass < 2; pass++) {
    if (pass == 1) dst.Clear(V2DSurfaceBase::NativeToColor(c.type, c.t));
    ASSERT_EQ(pass == 0 ? dst.BltFast(0, 0, &src, nullptr, c.flags, c.value)
                        : dst.BltFlip(0, 0, &src, nullptr, 2048, 0, c.flags, c.value),
              0);
    for (int32_t y = 0; y < 3; y++) {
      for (int32_t x = 0; x < 7; x++)
        ASSERT_EQ(Native(c.type, dst.GetPixel(x, y)), c.expect) << c.name << " pass " << pass;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, BlitDepth, ::testing::ValuesIn(DEPTH_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

// --- palette, lookup and the display's open state ---------------------------------------

TEST(BlitPalette, IndexedSourcesFollowEveryPaletteChange) {
  Rig rig(0);
  ASSERT_EQ(rig.opened, 0);
  V2DSurface* back = rig.display.GetBackBuffer();
  V2DSurface indexed;
  ASSERT_EQ(rig.display.CreateSurface(&indexed, 4, 4, As(VideoType::Indexed8)), 0);
  indexed.Clear(7);
  const uint32_t colours[] = {0x0000FF, 0xFF0000, 0x00FF00};
  for (uint32_t colour : colours) {
    rig.display.SetPalette(&colour, 7, 1);
    ASSERT_EQ(back->BltFast(0, 0, &indexed, nullptr), 0);
    EXPECT_EQ(back->GetPixel(3, 3), colour & 0xF8FCF8);
    // The per-pixel path (any flag) reads the same palette.
    ASSERT_EQ(back->BltFast(10, 0, &indexed, nullptr, ColorKey, 0), 0);
    EXPECT_EQ(back->GetPixel(12, 2), colour & 0xF8FCF8);
  }
}

TEST(BlitPalette, TrueColourIntoIndexedTakesTheNearestEntryBuildingTheLookup) {
  Rig rig(0);
  ASSERT_EQ(rig.opened, 0);
  ASSERT_EQ(rig.display.GetPaletteLookup(), nullptr);
  const uint32_t palette[] = {0, 0x0000FF, 0x00FF00, 0xFF0000, 0x000000};
  rig.display.SetPalette(palette, 0, 5);
  V2DSurface colours, indexed;
  ASSERT_EQ(rig.display.CreateSurface(&colours, 4, 1, 1), 0);
  ASSERT_EQ(rig.display.CreateSurface(&indexed, 8, 1, As(VideoType::Indexed8)), 0);
  const uint32_t row[] = {0x0000F0, 0x10E010, 0xC00000, 0x000088};  // nearest: 1, 2, 3, 1
  for (int32_t x = 0; x < 4; x++) colours.PutPixel(x, 0, row[x], 0, 0);
  colours.SetColorKey(0xC00000);
  indexed.Clear(9);
  ASSERT_EQ(indexed.BltFast(0, 0, &colours, nullptr), 0);
  ASSERT_EQ(indexed.BltFast(4, 0, &colours, nullptr, ColorKey, 0), 0);
  const uint32_t expect[] = {1, 2, 3, 1, 1, 2, 9, 1};
  for (int32_t x = 0; x < 8; x++) EXPECT_EQ(indexed.GetPixel(x, 0), expect[x]) << x;
  EXPECT_NE(rig.display.GetPaletteLookup(), nullptr);
}

TEST(BlitPalette, AfterCloseEveryBlitReportsNotCreated) {
  Rig rig(0);
  ASSERT_EQ(rig.opened, 0);
  V2DSurface dst, src;
  ASSERT_EQ(rig.display.CreateSurface(&dst, 20, 20, 1), 0);
  ASSERT_EQ(rig.display.CreateSurface(&src, 6, 6, 1), 0);
  ASSERT_EQ(dst.BltFast(0, 0, &src, nullptr), 0);
  rig.display.Close();
  EXPECT_EQ(dst.BltFast(0, 0, &src, nullptr), 1);
  EXPECT_EQ(dst.BltFlip(0, 0, &src, nullptr, 1024, 0, 0, 0), 1);
  EXPECT_EQ(dst.Blt(10, 10, &src, nullptr, 100, 65536, 0, 0, 0), 1);
  EXPECT_EQ(dst.BltPixelShader(0, 0, &src, nullptr, VPShader_XOR, 0, 0), 1);
  EXPECT_EQ(dst.BltFast(0, 0, static_cast<V2DSurface*>(nullptr), nullptr), 1);
}

// --- pixel shaders ---------------------------------------------------------------------------

uint32_t Rgb(uint32_t c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }  // interface <-> 0xRRGGBB

struct SHADERCASE {
  const char* name;
  VPSHADER shader;
  uint32_t (*expect)(uint32_t d, uint32_t s);  // 0xRRGGBB
};

uint32_t And(uint32_t d, uint32_t s) { return d & s; }
uint32_t Or(uint32_t d, uint32_t s) { return d | s; }
uint32_t Xor(uint32_t d, uint32_t s) { return d ^ s; }
uint32_t Grey(uint32_t, uint32_t s) { return (((s >> 16) & 0xFF) + ((s >> 8) & 0xFF) + (s & 0xFF)) / 3 * 0x010101; }

const SHADERCASE SHADER_CASES[] = {
    {"And", VPShader_AND, And},
    {"Or", VPShader_OR, Or},
    {"Xor", VPShader_XOR, Xor},
    {"Grayscale", VPShader_Grayscale, Grey},
};

class BlitShader : public ::testing::TestWithParam<std::tuple<uint8_t, SHADERCASE>> {};

TEST_P(BlitShader, ShadesEveryPixelInRedHighLayoutSkippingKeysWhenKeyed) {
  const uint8_t type = std::get<0>(GetParam());
  const SHADERCASE& c = std::get<1>(GetParam());
  Rig rig(1);
  ASSERT_EQ(rig.opened, 0);
  V2DSurface dst, src;
  ASSERT_EQ(rig.display.CreateSurface(&dst, 14, 9, As(type)), 0);
  ASSERT_EQ(rig.display.CreateSurface(&src, 6, 5, As(type)), 0);
  Paint(src, 31, 4);
  for (uint32_t flags : {0u, uint32_t(ColorKey | Opacity)}) {
    Paint(dst, 17);
    const GRID before = Picture(dst), source = Picture(src);
    ASSERT_EQ(dst.BltPixelShader(-2, 5, &src, nullptr, c.shader, flags, 0), 0);
    const GRID after = Picture(dst);
    for (int32_t y = 0; y < 9; y++) {
      for (int32_t x = 0; x < 14; x++) {
        uint32_t expect = before.at(x, y);
        const int32_t i = x + 2, j = y - 5;
        if (i >= 0 && i < 6 && j >= 0 && j < 5 && !((flags & ColorKey) && source.at(i, j) == src.GetColorKey()))
          expect = Rgb(c.expect(Rgb(before.at(x, y)), Rgb(source.at(i, j)))) & 0xFFFFFF;
        ASSERT_EQ(Native(type, after.at(x, y)), Native(type, expect)) << c.name << " at " << x << "," << y;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, BlitShader,
                         ::testing::Combine(::testing::Values(VideoType::Rgb565, VideoType::Xrgb8888),
                                            ::testing::ValuesIn(SHADER_CASES)),
                         [](const auto& info) {
                           return std::string(std::get<1>(info.param).name) + "_Type" +
                                  std::to_string(std::get<0>(info.param));
                         });

uint32_t Zero(uint32_t, uint32_t, int32_t, int32_t, uint32_t) { return 0; }

TEST(BlitShaderRules, IndexedSurfacesCopyIndicesAndTypesMustMatch) {
  Rig rig(2);
  ASSERT_EQ(rig.opened, 0);
  V2DSurface dst, src, other;
  ASSERT_EQ(rig.display.CreateSurface(&dst, 8, 8, As(VideoType::Indexed8)), 0);
  ASSERT_EQ(rig.display.CreateSurface(&src, 4, 4, As(VideoType::Indexed8)), 0);
  ASSERT_EQ(rig.display.CreateSurface(&other, 4, 4, 1), 0);
  Paint(src, 8, 3);
  dst.Clear(200);
  ASSERT_EQ(dst.BltPixelShader(2, 2, &src, nullptr, Zero, ColorKey, 0), 0);
  for (int32_t y = 0; y < 4; y++) {
    for (int32_t x = 0; x < 4; x++) {
      const uint32_t s = src.GetPixel(x, y);
      EXPECT_EQ(dst.GetPixel(x + 2, y + 2), s == 5 ? 200u : s);
    }
  }
  EXPECT_EQ(dst.BltPixelShader(0, 0, &other, nullptr, Zero, 0, 0), 11);
  EXPECT_EQ(dst.BltPixelShader(0, 0, &src, nullptr, nullptr, 0, 0), 4);
}

// --- scan-line tables -------------------------------------------------------------------------

class ScanProbe : public V2DSurface {
 public:
  using V2DSurfaceBase::scanleftvalues;
  using V2DSurfaceBase::scanleftx;
  using V2DSurfaceBase::scanrightvalues;
  using V2DSurfaceBase::scanrightx;
};

constexpr int32_t P = 1024;  // one pixel in 22.10

int64_t FloorBy(int64_t v, int64_t d) { return v >= 0 ? v / d : -((-v + d - 1) / d); }

// The column a side gives on row r: its x on the sample line (r + 1) * 1024.
int64_t SideColumn(int64_t x1, int64_t y1, int64_t x2, int64_t y2, int32_t row) {
  if (y1 > y2) std::swap(x1, x2), std::swap(y1, y2);
  return FloorBy(x1 + FloorBy((x2 - x1) * ((row + 1) * int64_t(P) - y1), y2 - y1), P);
}

TEST(BlitScan, SidesWriteOnlyTheResetRowsWithExactColumns) {
  ScanProbe s;
  ASSERT_EQ(s.Create(64, 64, VideoType::Rgb565, 1), 0);
  for (int32_t row = 0; row < 64; row++) s.scanleftx[row] = 1234, s.scanrightx[row] = -1234;
  s.ResetScanLines(10, 21);
  // Starts above the surface at a negative 22.10 y, crosses every row.
  const int32_t x1 = 5 * P + 300, y1 = -1536, x2 = 40 * P + 17, y2 = 63 * P + 5;
  s.ScanPolyLine(x1, y1, x2, y2);
  for (int32_t row = 0; row < 64; row++) {
    if (row < 10 || row > 20) {
      EXPECT_EQ(s.scanleftx[row], 1234) << row;
      EXPECT_EQ(s.scanrightx[row], -1234) << row;
      continue;
    }
    const int64_t column = SideColumn(x1, y1, x2, y2, row);
    EXPECT_EQ(s.scanleftx[row], column) << row;
    EXPECT_EQ(s.scanrightx[row], column - 1) << row;
  }
}

TEST(BlitScan, ExtremeSidesAreExactAndClampedToTheTable) {
  ScanProbe s;
  ASSERT_EQ(s.Create(64, 48, VideoType::Rgb565, 1), 0);  // x bound: the longer side, 64
  // dx = dy = 2^32 - 1: a product of 32-bit differences needs all 64 bits.
  s.ResetScanLines(0, 48);
  s.ScanPolyLine(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX);
  for (int32_t row = 0; row < 48; row++) {
    EXPECT_EQ(s.scanleftx[row], row + 1) << row;
    EXPECT_EQ(s.scanrightx[row], row) << row;
  }
  s.ResetScanLines(0, 48);
  s.ScanPolyLine(INT32_MAX, -5 * P, INT32_MAX - 7, 100 * P);
  s.ScanPolyLine(INT32_MIN, 100 * P, INT32_MIN + 9, -5 * P);
  for (int32_t row = 0; row < 48; row++) {
    EXPECT_EQ(s.scanleftx[row], -1);
    EXPECT_EQ(s.scanrightx[row], 64);
  }
  // A band past the tables, or inverted, writes nothing.
  s.scanleftx[0] = 77;
  s.ResetScanLines(48, 90);
  s.ScanPolyLine(0, 0, 10 * P, 47 * P);
  s.ResetScanLines(20, 10);
  s.ScanPolyLine(0, 0, 10 * P, 47 * P);
  EXPECT_EQ(s.scanleftx[0], 77);
}

TEST(BlitScan, ValuesAreInterpolatedAtTheSampleLineAndKeptForTheWinningEnd) {
  ScanProbe s;
  ASSERT_EQ(s.Create(32, 32, VideoType::Rgb565, 1), 0);
  s.ResetScanLines(0, 32);
  // Left side from (2, 0) to (2, 20); right side from (12, 0) to (22, 20).
  const int32_t a1[] = {0, 1000}, a2[] = {20 * P, -5000}, b1[] = {7, 7}, b2[] = {-7, 70000};
  s.ScanPolyLine(2 * P, 0, 2 * P, 20 * P, a1, a2);
  s.ScanPolyLine(12 * P, 0, 22 * P, 20 * P, a1, a2, b1, b2);
  for (int32_t row = 0; row < 20; row++) {
    const int64_t along = (row + 1) * int64_t(P), span = 20 * P;
    EXPECT_EQ(s.scanleftx[row], 2);
    EXPECT_EQ(s.scanrightx[row], SideColumn(12 * P, 0, 22 * P, 20 * P, row) - 1);
    EXPECT_EQ(s.scanleftvalues[row].value[0], FloorBy(a2[0] * along, span));
    EXPECT_EQ(s.scanleftvalues[row].value[1], 1000 + FloorBy(-6000 * along, span));
    EXPECT_EQ(s.scanrightvalues[row].value[1], 1000 + FloorBy(-6000 * along, span));
    EXPECT_EQ(s.scanrightvalues[row].value[2], 7 + FloorBy(-14 * along, span));
    EXPECT_EQ(s.scanrightvalues[row].value[3], 7 + FloorBy(69993 * along, span));
  }
  EXPECT_GT(s.scanleftx[20], s.scanrightx[20]);  // past the sides' lower ends: empty
}

TEST(BlitScan, ARectanglesSidesSpanTheColumnsWhoseRightEdgeIsInside) {
  ScanProbe s;
  ASSERT_EQ(s.Create(16, 16, VideoType::Rgb565, 1), 0);
  s.ResetScanLines(0, 16);
  const int32_t x[] = {2 * P, 6 * P, 6 * P, 2 * P}, y[] = {3 * P, 3 * P, 7 * P, 7 * P};
  for (int i = 0; i < 4; i++) s.ScanPolyLine(x[i], y[i], x[(i + 1) & 3], y[(i + 1) & 3]);
  for (int32_t row = 0; row < 16; row++) {
    const bool inside = row >= 3 && row < 7;
    EXPECT_EQ(s.scanleftx[row] <= s.scanrightx[row], inside) << row;
    if (inside) {
      EXPECT_EQ(s.scanleftx[row], 2);
      EXPECT_EQ(s.scanrightx[row], 5);
    }
  }
}

// --- the same virtual picture under every display rotation ---------------------------------

uint32_t PositionShader(uint32_t, uint32_t src, int32_t column, int32_t row, uint32_t) {
  return (uint32_t(column * 16) << 16) | (uint32_t(row * 16) << 8) | (src & 0xFF);
}

// One scene of fills, pixels and every kind of blit, drawn into `back` with
// sources made by `make`.
template <typename Make>
void DrawScene(V2DSurface& back, Make make) {
  V2DSurface a, b, c;
  make(a, 13, 9, VideoType::Rgb565);
  make(b, 8, 5, VideoType::Xrgb8888);
  make(c, 10, 6, VideoType::Rgb565);
  Paint(a, 1, 5);
  Paint(b, 2);
  Paint(c, 3);
  back.SetClipper(nullptr);
  back.Clear(0x203040);
  const tagRECT band = {10, 12, 70, 50};
  back.FillRect(&band, 0x8090A0, Opacity, 100);
  for (int32_t i = 0; i < 40; i++) back.PutPixel(3 * i, 2 * i + 1, 0xFFFFFF, Additive, 0);
  const int32_t w = back.GetWidth(), h = back.GetHeight();
  const tagRECT clip = {3, 5, w - 7, h - 4};
  back.SetClipper(&clip);
  back.BltFast(-4, 7, &a, nullptr, ColorKey, 0);
  back.BltFast(50, 20, &a, nullptr, Opacity, 128);
  back.BltFast(w - 6, h - 5, &a, nullptr, Additive, 0);
  back.BltFast(30, 60, &b, nullptr);
  back.BltFast(70, 60, &b, nullptr, Tint, 0xFF204080);
  const tagRECT part = {2, 1, 11, 8};
  for (uint32_t turn = 0; turn < 4; turn++) {
    for (uint8_t flip = 0; flip < 4; flip++)
      back.BltFlip(4 + 14 * int32_t(flip), 80 + 14 * int32_t(turn), &a, &part, turn * 1024, flip,
                   (flip & 1) ? ColorKey : 0, 0);
  }
  back.Blt(120, 40, &a, nullptr, 300, 98304, 0, 0, 0);
  back.Blt(150, 90, &a, &part, 3000, 49152, 1, ColorKey, 0);
  const V2DBLTFX stretched = {Opacity, 100, 163840, 81920, 700, 2};
  back.BltFx(60, 120, &c, nullptr, &stretched);
  const V2DBLTFX tinted = {ColorKey | Tint, 0x8000FF00, 70000, 70000, 2048, 0};
  back.BltFx(100, 200, &a, nullptr, &tinted);
  back.Blt(200, 30, &c, nullptr, 1024, 65536, 3, 0, 0);
  back.Blt(40, 150, &c, nullptr, 0, 2 * 65536, 0, 0, 0);
  back.Blt(2, 4, &a, nullptr, 900, 3 * 65536, 1, ColorKey, 0);  // over the clipper's corner
  back.BltPixelShader(100, 150, &c, nullptr, VPShader_XOR, 0, 0);
  back.BltPixelShader(130, 150, &a, nullptr, VPShader_Grayscale, ColorKey, 0);
  back.BltPixelShader(160, 150, &c, nullptr, PositionShader, 0, 0);
  back.SetClipper(nullptr);
}

class BlitOrientation : public ::testing::TestWithParam<uint8_t> {};

TEST_P(BlitOrientation, TheBackBufferShowsTheUnrotatedPicture) {
  const uint8_t rotation = GetParam();
  Rig rig(rotation);
  ASSERT_EQ(rig.opened, 0);
  V2DSurface* back = rig.display.GetBackBuffer();
  DrawScene(*back, [&](V2DSurface& s, int32_t w, int32_t h, uint8_t type) {
    ASSERT_EQ(rig.display.CreateSurface(&s, w, h, As(type)), 0);
  });
  const GRID rotated = Picture(*back);
  // The same scene on surfaces with no display: stored as they are seen.
  VCD plain{};
  plain.math = &rig.math;
  V2DSurface upright;
  upright.LinkECD(&plain);
  ASSERT_EQ(upright.Create(back->GetWidth(), back->GetHeight(), VideoType::Rgb565, 1), 0);
  DrawScene(upright, [&](V2DSurface& s, int32_t w, int32_t h, uint8_t type) {
    s.LinkECD(&plain);
    ASSERT_EQ(s.Create(w, h, type, 1), 0);
  });
  const GRID expect = Picture(upright);
  std::vector<uint32_t> colours(expect.p);
  std::sort(colours.begin(), colours.end());
  EXPECT_GT(std::unique(colours.begin(), colours.end()) - colours.begin(), 100);  // a scene worth comparing
  int differing = 0;
  for (size_t i = 0; i < expect.p.size(); i++) differing += expect.p[i] != rotated.p[i];
  EXPECT_EQ(differing, 0) << "rotation " << int(rotation);
}

INSTANTIATE_TEST_SUITE_P(Rotations, BlitOrientation, ::testing::Range<uint8_t>(0, 4));

// --- memory safety for arbitrary arguments -----------------------------------------------------

// Mostly values about a surface of w x h, so most blits draw something; now
// and then anything 32 bits hold.
int32_t AnyCoordinate(XorShift32& rng, int32_t around) {
  switch (rng.Below(24)) {
    case 0: return INT32_MIN + int32_t(rng.Below(3));
    case 1: return INT32_MAX - int32_t(rng.Below(3));
    case 2: return int32_t(rng.Next());
    default: return int32_t(rng.Below(uint32_t(around) + 4)) - 4;
  }
}

tagRECT AnyRect(XorShift32& rng, int32_t w, int32_t h) {
  if (rng.Below(6) == 0)
    return {AnyCoordinate(rng, w), AnyCoordinate(rng, h), AnyCoordinate(rng, w), AnyCoordinate(rng, h)};
  const int32_t l = int32_t(rng.Below(uint32_t(w + 1) / 2 + 2)) - 2;
  const int32_t t = int32_t(rng.Below(uint32_t(h + 1) / 2 + 2)) - 2;
  return {l, t, l + 1 + int32_t(rng.Below(uint32_t(w) + 3)), t + 1 + int32_t(rng.Below(uint32_t(h) + 3))};
}

int32_t AnyScale(XorShift32& rng) {
  const int32_t scales[] = {0, 1, 65536, 32768, 131072, (1 << 25) + 1, INT32_MAX, INT32_MIN, -65536, 1000};
  return rng.Below(3) ? int32_t(rng.Below(4 * 65536)) - 65536 : scales[rng.Below(10)];
}

uint32_t AnyRotation(XorShift32& rng) {
  switch (rng.Below(4)) {
    case 0:
    case 1: return rng.Below(8) * 1024;
    case 2: return rng.Below(4096);
    default: return rng.Next();
  }
}

// Row padding past the storage width belongs to no pixel: it is marked, and
// must stay marked.
void MarkPadding(V2DSurface& s, bool check) {
  V2DSURFACEINFO info;
  uint8_t* p = s.Lock(&info);
  s.Unlock();
  const uint32_t used = info.physwidth * info.bitsperpixel / 8;
  for (uint32_t y = 0; y < info.physheight; y++) {
    for (uint32_t b = used; b < info.rowbytes; b++) {
      if (check) {
        ASSERT_EQ(p[y * info.rowbytes + b], 0xA5);
      } else {
        p[y * info.rowbytes + b] = 0xA5;
      }
    }
  }
}

class BlitMemorySafety : public ::testing::TestWithParam<uint8_t> {};

TEST_P(BlitMemorySafety, ArbitraryBlitsStayInsideTheirSurfacesAndTheClipper) {
  Rig rig(GetParam(), false);  // plain allocations, so a sanitizer guards both ends of the pixels
  ASSERT_EQ(rig.opened, 0);
  XorShift32 rng{0xB1A5u + GetParam()};
  const uint8_t types[] = {VideoType::Indexed8, VideoType::Rgb444, VideoType::Rgb565, VideoType::Rgb888,
                           VideoType::Xrgb8888};
  for (int round = 0; round < 40; round++) {
    V2DSurface dst, src;
    const uint8_t type = types[rng.Below(5)];
    ASSERT_EQ(rig.display.CreateSurface(&dst, int32_t(1 + rng.Below(24)), int32_t(1 + rng.Below(20)), As(type)), 0);
    ASSERT_EQ(rig.display.CreateSurface(&src, int32_t(1 + rng.Below(16)), int32_t(1 + rng.Below(12)),
                                        As(rng.Below(4) ? type : types[rng.Below(5)])),
              0);
    Paint(dst, rng.Next());
    Paint(src, rng.Next(), 3);
    // Mostly a clipper of some size, at times anything.
    const int32_t w = dst.GetWidth(), h = dst.GetHeight();
    tagRECT clip = {int32_t(rng.Below(uint32_t(w + 1) / 2)) - 1, int32_t(rng.Below(uint32_t(h + 1) / 2)) - 1,
                    w / 2 + int32_t(rng.Below(uint32_t(w) / 2 + 3)), h / 2 + int32_t(rng.Below(uint32_t(h) / 2 + 3))};
    if (rng.Below(8) == 0) clip = AnyRect(rng, w, h);
    dst.SetClipper(rng.Below(3) ? &clip : nullptr);
    tagRECT vclip;
    dst.GetClipper(&vclip);
    MarkPadding(dst, false);
    MarkPadding(src, false);
    const GRID before = Picture(dst);
    for (int op = 0; op < 30; op++) {
      V2DSurface* from = rng.Below(6) ? &src : &dst;
      const tagRECT r = AnyRect(rng, from->GetWidth(), from->GetHeight());
      const tagRECT* rect = rng.Below(4) ? &r : nullptr;
      const int32_t x = AnyCoordinate(rng, dst.GetWidth()), y = AnyCoordinate(rng, dst.GetHeight());
      const uint32_t flags = rng.Below(256), value = rng.Next(), rotation = AnyRotation(rng);
      const uint8_t flip = uint8_t(rng.Below(4));
      switch (rng.Below(6)) {
        case 0: dst.BltFast(x, y, from, rect, flags, value); break;
        case 1: {
          const uint32_t turn = rng.Below(4) ? rng.Below(8) * 1024 : rotation;  // mostly a valid turn
          dst.BltFlip(x, y, from, rect, turn, flip, flags, value);
          break;
        }
        case 2: {
          const V2DBLTFX fx = {flags, value, AnyScale(rng), AnyScale(rng), rotation, flip};
          dst.BltFx(x, y, from, rect, &fx);
          break;
        }
        case 3: dst.Blt(x, y, from, rect, rotation, AnyScale(rng), flip, flags, value); break;
        case 4: dst.BltPixelShader(x, y, from, rect, VPShader_XOR, flags, value); break;
        default: {
          // The clipped positions name pixels inside both surfaces.
          int32_t px = x, py = y;
          tagRECT out;
          uint8_t f = flip;
          const bool turned = rng.Below(2);
          const int result = turned ? dst.GetBltFlipPositions(px, py, out, rect, from, rotation, f)
                                    : dst.GetBltFastPositions(px, py, out, rect, from);
          if (result != 0) break;
          V2DSURFACEINFO di, si;
          dst.GetInfo(&di);
          from->GetInfo(&si);
          ASSERT_TRUE(out.left >= 0 && out.top >= 0 && out.right <= int32_t(si.physwidth) &&
                      out.bottom <= int32_t(si.physheight) && out.right > out.left && out.bottom > out.top);
          const bool sideways = turned && (rotation & 2047) == 1024;
          const int32_t bw = sideways ? out.bottom - out.top : out.right - out.left;
          const int32_t bh = sideways ? out.right - out.left : out.bottom - out.top;
          ASSERT_TRUE(px >= 0 && py >= 0 && px + bw <= int32_t(di.physwidth) && py + bh <= int32_t(di.physheight));
        }
      }
    }
    const GRID after = Picture(dst);
    for (int32_t py = 0; py < after.h; py++) {
      for (int32_t px = 0; px < after.w; px++) {
        if (!Inside(vclip, px, py)) {
          ASSERT_EQ(after.at(px, py), before.at(px, py)) << "outside the clipper";
        }
      }
    }
    MarkPadding(dst, true);
    MarkPadding(src, true);
  }
}

INSTANTIATE_TEST_SUITE_P(Rotations, BlitMemorySafety, ::testing::Range<uint8_t>(0, 4));

}  // namespace
