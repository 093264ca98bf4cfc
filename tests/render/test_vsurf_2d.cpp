// Tests of the 2D surface core: formats and conversions, creation, clipper,
// pixels and fills with the draw flags against a per-pixel reference, colour
// replacement, the hit-test mask, the loader callbacks, orientation and
// memory safety under every display rotation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "display_rig.h"
#include "render/vmod_dsp.h"
#include "render/vsurf_2d.h"
#include "resources/loaders/vldr_base.h"
#include "support/xorshift.h"

namespace {

using namespace BlitFlags;

// --- an independent model of the native formats --------------------------------

struct FIELD {
  uint32_t shift, bits;
};

struct FORMAT {
  uint8_t type;
  FIELD blue, green, red;
  uint32_t opacitymask;  // opacity bits the format keeps
  uint32_t weightbits;   // bits of the fill blend weight
};

const FORMAT FORMATS[] = {
    {VideoType::Rgb444, {0, 4}, {4, 4}, {8, 4}, 0xF0, 4},
    {VideoType::Rgb555, {0, 5}, {5, 5}, {10, 5}, 0xF8, 5},
    {VideoType::Rgb565, {0, 5}, {5, 6}, {11, 5}, 0xF8, 5},
    {VideoType::Rgb888, {0, 8}, {8, 8}, {16, 8}, 0xFF, 8},
    {VideoType::Xrgb8888, {0, 8}, {8, 8}, {16, 8}, 0xFF, 8},
};

uint32_t Comp(uint32_t c, int i) { return (c >> (8 * i)) & 0xFF; }

// Field i (0 red, 1 green, 2 blue: the interface order) of a format.
const FIELD& FieldOf(const FORMAT& f, int i) { return i == 0 ? f.red : (i == 1 ? f.green : f.blue); }

uint32_t FieldValue(const FORMAT& f, uint32_t native, int i) {
  const FIELD& d = FieldOf(f, i);
  return (native >> d.shift) & ((1u << d.bits) - 1);
}

uint32_t ToNative(const FORMAT& f, uint32_t colour) {
  uint32_t n = 0;
  for (int i = 0; i < 3; i++) n |= (Comp(colour, i) >> (8 - FieldOf(f, i).bits)) << FieldOf(f, i).shift;
  return n;
}

uint32_t Scale(uint32_t c, uint32_t factor) {
  uint32_t out = 0;
  for (int i = 0; i < 3; i++) out |= ((Comp(c, i) * factor) >> 8) << (8 * i);
  return out;
}

// The colour the flags select, in the interface layout.
uint32_t FlagColour(uint32_t colour, uint32_t flags, uint32_t value) {
  if ((flags & (ColorFill | Tint)) == (ColorFill | Tint)) {
    uint32_t m = std::max(Comp(colour, 0), std::max(Comp(colour, 1), Comp(colour, 2)));
    return Scale(value, m);
  }
  if (flags & ColorFill) return value & 0xFFFFFF;
  if (flags & Tint) return ((colour >> 1) & 0x7F7F7F) + ((value >> 1) & 0x7F7F7F);
  return colour & 0xFFFFFF;
}

// What one pixel becomes. fill: the rectangle routines (blend weight at the
// format's precision); otherwise the single-pixel path (8-bit blend).
uint32_t Reference(const FORMAT& f, uint32_t dst, uint32_t colour, uint32_t flags, uint32_t value, bool fill) {
  if ((flags & (Additive | Subtractive)) == (Additive | Subtractive)) flags &= ~(Additive | Subtractive);
  uint32_t a = (flags & (ColorFill | Tint)) ? value >> 24 : value;
  if (flags & Opacity) {
    if (a >= 255) flags &= ~Opacity;
    else if ((a &= f.opacitymask) == 0) return dst;
  }
  uint32_t s = FlagColour(colour, flags, value);
  if ((flags & Opacity) && (flags & (Additive | Subtractive))) {
    s = Scale(s, a);
    flags &= ~Opacity;
  }
  uint32_t sn = ToNative(f, s), out = 0;
  for (int i = 0; i < 3; i++) {
    const FIELD& d = FieldOf(f, i);
    const uint32_t top = (1u << d.bits) - 1;
    uint32_t tf = FieldValue(f, dst, i), sf = FieldValue(f, sn, i), r = sf;
    if (flags & Additive) {
      r = std::min(tf + sf, top);
    } else if (flags & Subtractive) {
      r = tf > sf ? tf - sf : 0;
    } else if ((flags & Opacity) && fill) {
      uint32_t w = a >> (8 - f.weightbits);
      r = (tf * ((1u << f.weightbits) - w) + sf * w) >> f.weightbits;
    } else if (flags & Opacity) {
      uint32_t d8 = tf << (8 - d.bits), s8 = Comp(s, i);
      r = ((d8 * (256 - a) + s8 * a) >> 8) >> (8 - d.bits);
    }
    out |= r << d.shift;
  }
  return out;
}

uint32_t RawPixel(V2DSurface& s, int32_t x, int32_t y) {
  V2DSURFACEINFO info;
  uint8_t* p = s.Lock(&info);
  s.Unlock();
  p += int64_t(info.origin) + int64_t(x) * info.xstep + int64_t(y) * info.ystep;
  uint32_t v = 0;
  std::memcpy(&v, p, info.bitsperpixel / 8);
  return v;
}

// --- conversions ----------------------------------------------------------------

struct CONVERSION {
  uint8_t type;
  uint32_t colour, native, readback;
};

class ColourConversion : public ::testing::TestWithParam<CONVERSION> {};

TEST_P(ColourConversion, KeyStoresNativeAndPixelsReadBackTopBits) {
  const CONVERSION& c = GetParam();
  V2DSurface s;
  ASSERT_EQ(s.Create(4, 4, c.type, 1), 0);
  s.SetColorKey(c.colour);
  EXPECT_EQ(s.GetNativeColorKey(), c.native);
  EXPECT_EQ(s.GetColorKey(), c.readback);
  s.PutPixel(1, 2, c.colour, 0, 0);
  EXPECT_EQ(RawPixel(s, 1, 2), c.native);
  EXPECT_EQ(s.GetPixel(1, 2), c.readback);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ColourConversion,
    ::testing::Values(CONVERSION{VideoType::Rgb565, 0xFF00FF, 0xF81F, 0xF800F8},
                      CONVERSION{VideoType::Rgb565, 0xFFFFFF, 0xFFFF, 0xF8FCF8},
                      CONVERSION{VideoType::Rgb565, 0x123456, 0x51A2, 0x103450},
                      CONVERSION{VideoType::Rgb555, 0xFF00FF, 0x7C1F, 0xF800F8},
                      CONVERSION{VideoType::Rgb555, 0x00FF00, 0x03E0, 0x00F800},
                      CONVERSION{VideoType::Rgb444, 0xFFFFFF, 0x0FFF, 0xF0F0F0},
                      CONVERSION{VideoType::Rgb444, 0x123456, 0x0531, 0x103050},
                      CONVERSION{VideoType::Rgb888, 0x123456, 0x563412, 0x123456},
                      CONVERSION{VideoType::Xrgb8888, 0xFF00FF, 0xFF00FF, 0xFF00FF},
                      CONVERSION{VideoType::Xrgb8888, 0x0000FF, 0xFF0000, 0x0000FF},
                      CONVERSION{VideoType::Indexed8, 0x42, 0x42, 0x42}));

// --- creation --------------------------------------------------------------------

struct CREATION {
  int32_t width, height;
  uint8_t type;
  uint32_t flags;
  int result;
};

class Creation : public ::testing::TestWithParam<CREATION> {};

TEST_P(Creation, ValidatesSizeTypeAndFlags) {
  const CREATION& c = GetParam();
  V2DSurface s;
  EXPECT_EQ(s.Create(c.width, c.height, c.type, c.flags), c.result);
  EXPECT_EQ(s.IsCreated(), c.result == 0);
  if (c.result == 0) {
    EXPECT_EQ(s.GetWidth(), c.width);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, Creation,
                         ::testing::Values(CREATION{30, 20, VideoType::Rgb565, 1, 0},
                                           CREATION{0, 20, VideoType::Rgb565, 1, 4},
                                           CREATION{30, 0, VideoType::Rgb565, 1, 4},
                                           CREATION{-30, 20, VideoType::Rgb565, 1, 4},
                                           CREATION{30, -1, VideoType::Rgb565, 1, 4},
                                           CREATION{32768, 1, VideoType::Indexed8, 1, 4},
                                           CREATION{1, 32768, VideoType::Indexed8, 1, 4},
                                           CREATION{32767, 1, VideoType::Indexed8, 1, 0},
                                           CREATION{INT32_MIN, INT32_MIN, VideoType::Xrgb8888, 1, 4},
                                           CREATION{30, 20, VideoType::Rgb565, 4, 4},
                                           CREATION{30, 20, 7, 1, 1},
                                           CREATION{30, 20, VideoType::DisplayDefault, 1, 1},
                                           CREATION{30, 20, 7, 1 | (VideoType::Rgb444 << 8), 0}));

TEST(Surface, RowsAreAlignedToFourPixelsAndSwappedAxesTransposeStorage) {
  V2DSurface plain;
  ASSERT_EQ(plain.Create(30, 20, VideoType::Rgb565, 1), 0);
  V2DSURFACEINFO info;
  ASSERT_EQ(plain.GetInfo(&info), 1);
  EXPECT_EQ(info.rowbytes, 64u);
  EXPECT_EQ(info.width, 30u);
  EXPECT_EQ(info.height, 20u);
  EXPECT_EQ(info.physwidth, 30u);

  DisplayRig rig;
  ASSERT_EQ(rig.Open(DisplayRotation::Quarter), 0);
  V2DSurface turned;
  ASSERT_EQ(rig.display.CreateSurface(&turned, 30, 20, 1), 0);
  ASSERT_EQ(turned.GetInfo(&info), 1);
  EXPECT_EQ(info.physwidth, 20u);
  EXPECT_EQ(info.physheight, 30u);
  EXPECT_EQ(info.rowbytes, 40u);
  EXPECT_EQ(info.width, 30u);
  EXPECT_EQ(info.height, 20u);
}

TEST(Surface, OverrideTypeComesFromFlagsBits8To15) {
  V2DSurface s;
  ASSERT_EQ(s.Create(8, 8, VideoType::Rgb565, 1 | (VideoType::Xrgb8888 << 8)), 0);
  EXPECT_EQ(s.GetVideoType(), VideoType::Xrgb8888);
}

TEST(Surface, RecreatingWithSameSizeAndFlagsOnlyClears) {
  V2DSurface s;
  ASSERT_EQ(s.Create(8, 8, VideoType::Rgb565, 1), 0);
  s.PutPixel(3, 3, 0xFFFFFF, 0, 0);
  uint8_t* before = s.Lock(nullptr);
  s.Unlock();
  ASSERT_EQ(s.Create(8, 8, VideoType::Rgb565, 1), 0);
  EXPECT_EQ(s.Lock(nullptr), before);
  s.Unlock();
  EXPECT_EQ(s.GetPixel(3, 3), 0u);
  ASSERT_EQ(s.Create(8, 8, VideoType::Xrgb8888, 1), 0);
  EXPECT_EQ(s.GetVideoType(), VideoType::Xrgb8888);
}

TEST(Surface, FreeIsSafeTwiceAndWithoutAnyLink) {
  V2DSurface s;
  s.Free();
  ASSERT_EQ(s.Create(16, 9, VideoType::Rgb565, 1), 0);
  EXPECT_EQ(s.GetECD(), nullptr);
  s.FillRect(nullptr, 0xFFFFFF);
  EXPECT_EQ(s.GetPixel(15, 8), 0xF8FCF8u);
  s.Free();
  s.Free();
  EXPECT_FALSE(s.IsCreated());
  EXPECT_EQ(s.GetWidth(), 0);
  EXPECT_EQ(s.Lock(nullptr), nullptr);
  EXPECT_EQ(s.GetPixel(0, 0), 0u);
  s.FillRect(nullptr, 0xFFFFFF);
}

TEST(Surface, PixelMemoryComesFromTheModuleList) {
  DisplayRig rig;
  ASSERT_EQ(rig.Open(0), 0);
  const uint32_t before = rig.memory.InUse();
  V2DSurface s;
  ASSERT_EQ(rig.display.CreateSurface(&s, 30, 20, 1), 0);
  EXPECT_EQ(rig.memory.InUse() - before, 32u * 20 * 2 + 4);
  s.Free();
  EXPECT_EQ(rig.memory.InUse(), before);
}

TEST(Surface, LockCountsAndUnlockStopsAtZero) {
  V2DSurface s;
  ASSERT_EQ(s.Create(4, 4, VideoType::Rgb565, 1), 0);
  EXPECT_NE(s.Lock(nullptr), nullptr);
  EXPECT_NE(s.Lock(nullptr), nullptr);
  EXPECT_EQ(s.GetLockCount(), 2);
  s.Unlock();
  s.Unlock();
  s.Unlock();
  EXPECT_EQ(s.GetLockCount(), 0);
  EXPECT_EQ(s.GetInfo(nullptr), 0);
}

// --- clipper -----------------------------------------------------------------------

struct CLIP {
  tagRECT in;
  tagRECT out;
};

class Clipper : public ::testing::TestWithParam<CLIP> {};

TEST_P(Clipper, ClampsAllFourEdgesIntoTheSurface) {
  V2DSurface s;
  ASSERT_EQ(s.Create(40, 30, VideoType::Rgb565, 1), 0);
  s.SetClipper(&GetParam().in);
  tagRECT r;
  s.GetClipper(&r);
  const tagRECT& e = GetParam().out;
  EXPECT_EQ(r.left, e.left);
  EXPECT_EQ(r.top, e.top);
  EXPECT_EQ(r.right, e.right);
  EXPECT_EQ(r.bottom, e.bottom);
  // Nothing outside the clipper is drawn.
  s.FillRect(nullptr, 0xFFFFFF);
  for (int32_t y = 0; y < 30; y++) {
    for (int32_t x = 0; x < 40; x++) {
      bool inside = x >= e.left && x < e.right && y >= e.top && y < e.bottom;
      ASSERT_EQ(s.GetPixel(x, y) != 0, inside) << x << "," << y;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, Clipper,
                         ::testing::Values(CLIP{{5, 6, 20, 25}, {5, 6, 20, 25}},
                                           CLIP{{-5, -6, 100, 100}, {0, 0, 40, 30}},
                                           CLIP{{50, 40, 60, 70}, {40, 30, 40, 30}},
                                           CLIP{{-20, -20, -10, -10}, {0, 0, 0, 0}},
                                           CLIP{{20, 10, 5, 2}, {20, 10, 20, 10}},
                                           CLIP{{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, {0, 0, 40, 30}}));

TEST(Surface, ClipRectReportsWhatIsLeft) {
  V2DSurface s;
  ASSERT_EQ(s.Create(40, 30, VideoType::Rgb565, 1), 0);
  tagRECT clip = {10, 10, 20, 20};
  s.SetClipper(&clip);
  tagRECT r = {0, 0, 15, 25};
  EXPECT_EQ(s.ClipRect(&r), 1);
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.bottom, 20);
  tagRECT outside = {20, 10, 30, 20};
  EXPECT_EQ(s.ClipRect(&outside), 0);
  tagRECT empty = {12, 12, 12, 18};
  EXPECT_EQ(s.ClipRect(&empty), 0);
}

// --- draw flags --------------------------------------------------------------------

struct FLAGCASE {
  uint32_t flags, value;
};

const FLAGCASE FLAGCASES[] = {
    {0, 0},
    {Opacity, 128},
    {Opacity, 100},
    {Opacity, 3},
    {Opacity, 255},
    {Opacity, 300},
    {Additive, 0},
    {Subtractive, 0},
    {Additive | Subtractive, 0},
    {Opacity | Additive, 160},
    {Opacity | Subtractive, 96},
    {ColorFill, 0x8030C0F0},
    {Tint, 0x8030C0F0},
    {ColorFill | Tint, 0x00FF8040},
    {Tint | Opacity, 0x9030C0F0},
    {ColorFill | Additive, 0x00102030},
    {Opacity | Additive | Subtractive, 64},
};

const uint32_t DESTINATIONS[] = {0x000000, 0x40A0C0, 0xFFFFFF, 0x102030};
const uint32_t COLOURS[] = {0xC08020, 0xFFFFFF, 0x0A0B0C};

class DrawFlags : public ::testing::TestWithParam<FORMAT> {};

TEST_P(DrawFlags, FillsAndPixelsMatchThePerPixelReference) {
  const FORMAT& f = GetParam();
  V2DSurface s;
  ASSERT_EQ(s.Create(6, 3, f.type, 1), 0);
  const tagRECT left = {0, 0, 3, 3};
  for (const FLAGCASE& c : FLAGCASES) {
    for (uint32_t dst : DESTINATIONS) {
      for (uint32_t colour : COLOURS) {
        s.FillRect(nullptr, dst);
        const uint32_t t = RawPixel(s, 0, 0);
        s.FillRect(&left, colour, c.flags, c.value);
        s.PutPixel(4, 1, colour, c.flags, c.value);
        SCOPED_TRACE(::testing::Message() << "flags " << c.flags << " value " << c.value << " dst " << dst
                                          << " colour " << colour);
        EXPECT_EQ(RawPixel(s, 1, 1), Reference(f, t, colour, c.flags, c.value, true));
        EXPECT_EQ(RawPixel(s, 4, 1), Reference(f, t, colour, c.flags, c.value, false));
        EXPECT_EQ(RawPixel(s, 3, 1), t);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, DrawFlags, ::testing::ValuesIn(FORMATS),
                         [](const ::testing::TestParamInfo<FORMAT>& i) {
                           return std::string("type") + std::to_string(i.param.type);
                         });

TEST(Surface, OpacityThreeOn565DrawsNothingAnd255IsOpaque) {
  V2DSurface s;
  ASSERT_EQ(s.Create(4, 4, VideoType::Rgb565, 1), 0);
  s.PutPixel(1, 1, 0xFFFFFF, Opacity, 3);
  EXPECT_EQ(s.GetPixel(1, 1), 0u);
  s.PutPixel(1, 1, 0xFFFFFF, Opacity, 255);
  EXPECT_EQ(s.GetPixel(1, 1), 0xF8FCF8u);
}

TEST(Surface, IndexedPixelsPickIndicesAndSaturateAddAndSubtract) {
  V2DSurface s;
  ASSERT_EQ(s.Create(4, 1, VideoType::Indexed8, 1), 0);
  s.FillRect(nullptr, 200);
  s.PutPixel(0, 0, 100, Additive, 0);
  s.PutPixel(1, 0, 250, Subtractive, 0);
  s.PutPixel(2, 0, 7, ColorFill, 0x09);
  s.PutPixel(3, 0, 7, Opacity, 10);
  EXPECT_EQ(s.GetPixel(0, 0), 255u);
  EXPECT_EQ(s.GetPixel(1, 0), 0u);
  EXPECT_EQ(s.GetPixel(2, 0), 9u);
  EXPECT_EQ(s.GetPixel(3, 0), 7u);
  tagRECT r = {0, 0, 4, 1};
  s.FillRect(&r, 60, Additive, 0);
  EXPECT_EQ(s.GetPixel(1, 0), 60u);
  EXPECT_EQ(s.GetPixel(2, 0), 69u);
}

TEST(Surface, PutPixelRowStartsAtZeroAndEndsAtXPlusLength) {
  V2DSurface s;
  ASSERT_EQ(s.Create(10, 2, VideoType::Rgb565, 1), 0);
  s.PutPixelRow(-3, 1, 6, 0xFFFFFF, 0, 0);
  for (int32_t x = 0; x < 10; x++) EXPECT_EQ(s.GetPixel(x, 1) != 0, x < 3) << x;
  s.PutPixelRow(8, 0, INT32_MAX, 0xFFFFFF, 0, 0);
  EXPECT_NE(s.GetPixel(9, 0), 0u);
  EXPECT_EQ(s.GetPixel(7, 0), 0u);
}

TEST(Surface, ReplaceColorSwapsOneColourOrAllOthers) {
  V2DSurface s;
  ASSERT_EQ(s.Create(3, 1, VideoType::Xrgb8888, 1), 0);
  s.PutPixel(0, 0, 0x0000FF, 0, 0);
  s.PutPixel(1, 0, 0x00FF00, 0, 0);
  s.PutPixel(2, 0, 0xFF0000, 0, 0);
  s.ReplaceColor(0x00FF00, 0x123456, false);
  EXPECT_EQ(s.GetPixel(0, 0), 0x0000FFu);
  EXPECT_EQ(s.GetPixel(1, 0), 0x123456u);
  s.ReplaceColor(0xABCDEF, 0x0000FF, true);
  EXPECT_EQ(s.GetPixel(0, 0), 0x0000FFu);
  EXPECT_EQ(s.GetPixel(1, 0), 0xABCDEFu);
  EXPECT_EQ(s.GetPixel(2, 0), 0xABCDEFu);
}

TEST(Surface, AutoSetColorKeyTakesThePixelOrZeroOutside) {
  V2DSurface s;
  ASSERT_EQ(s.Create(4, 4, VideoType::Rgb565, 1), 0);
  s.PutPixel(2, 3, 0xFF00FF, 0, 0);
  EXPECT_EQ(s.AutoSetColorKey(2, 3), 0xF800F8u);
  EXPECT_EQ(s.GetNativeColorKey(), 0xF81Fu);
  EXPECT_EQ(s.AutoSetColorKey(4, 0), 0u);
  EXPECT_EQ(s.GetNativeColorKey(), 0u);
}

TEST(Surface, TableMaskSetsBitsOfBrightNonKeyPixelsMostSignificantFirst) {
  V2DSurface s;
  ASSERT_EQ(s.Create(40, 2, VideoType::Xrgb8888, 1), 0);
  s.SetColorKey(0xFF00FF);
  s.FillRect(nullptr, 0xFF00FF);
  s.PutPixel(0, 0, 0xFFFFFF, 0, 0);
  s.PutPixel(33, 0, 0x303030, 0, 0);  // brightness 48
  s.PutPixel(35, 1, 0x606060, 0, 0);  // brightness 96
  ASSERT_EQ(s.BuildTableMask(64), 0);
  const uint32_t* mask = s.GetTableMask();
  ASSERT_NE(mask, nullptr);
  EXPECT_EQ(mask[0], 0x80000000u);
  EXPECT_EQ(mask[1], 0u);
  EXPECT_EQ(mask[2], 0u);
  EXPECT_EQ(mask[3], 0x80000000u >> 3);
  s.Clear(0);
  EXPECT_EQ(s.GetTableMask(), nullptr);
}

TEST(Surface, WriteBmpReportsAFileItCannotCreate) {
  V2DSurface s;
  ASSERT_EQ(s.Create(4, 4, VideoType::Rgb565, 1), 0);
  EXPECT_EQ(s.WriteBmp("no-such-folder/shot.bmp", nullptr), 1);
  EXPECT_EQ(s.WriteBmp(("no-such-folder/" + std::string(600, 'a')).c_str(), nullptr), 1);
}

TEST(WideName, WidensShortAndLongNamesWhole) {
  const std::string shortname = "res\\gfx.vpk", longname(3000, 'x');
  V2DWideName a(shortname.c_str(), 512), b(longname.c_str(), 512), none(nullptr, 512);
  ASSERT_NE(a.Get(), nullptr);
  ASSERT_NE(b.Get(), nullptr);
  EXPECT_EQ(std::u16string(a.Get()), u"res\\gfx.vpk");
  EXPECT_EQ(std::u16string(b.Get()).size(), 3000u);
  EXPECT_EQ(none.Get(), nullptr);
}

// --- loader callbacks ---------------------------------------------------------------

VLDR_2DCALLBACKINFO Info(int32_t width, uint32_t height, uint8_t type, uint32_t flags = 1) {
  VLDR_2DCALLBACKINFO info{};
  info.width = width;
  info.height = height;
  info.displaytype = type;
  info.flags = flags;
  return info;
}

int Stream(V2DSurface& s, VLDR_2DCALLBACKINFO& info, const std::vector<uint32_t>& colours, int32_t offset) {
  info.indexed = 0;
  info.data = colours.data();
  info.length = uint32_t(colours.size() * 4);
  info.offset = offset;
  return s.LdrOnPixelStream(&info);
}

TEST(LoaderCallbacks, CreateSetsKeyZero) {
  V2DSurface s;
  s.SetColorKey(0x123456);
  VLDR_2DCALLBACKINFO info = Info(5, 3, VideoType::Rgb565);
  ASSERT_EQ(s.LdrOnCreate(&info), 0);
  EXPECT_EQ(s.GetWidth(), 5);
  EXPECT_EQ(s.GetHeight(), 3);
  EXPECT_EQ(s.GetNativeColorKey(), 0u);
  info.height = 0x80000000u;
  EXPECT_EQ(s.LdrOnCreate(&info), 4);
}

TEST(LoaderCallbacks, PaletteStreamFillsFromStartAndStopsAt256) {
  V2DSurface s;
  VLDR_2DCALLBACKINFO info = Info(2, 2, VideoType::Indexed8);
  ASSERT_EQ(s.LdrOnCreate(&info), 0);
  std::vector<uint32_t> entries(10);
  for (uint32_t i = 0; i < 10; i++) entries[i] = 0xFF000000u | (i + 1);
  info.data = entries.data();
  info.length = 40;
  info.palettestart = 250;
  ASSERT_EQ(s.LdrOnPaletteStream(&info), 0);
  EXPECT_EQ(info.palettestart, 256u);
  uint32_t got[7] = {};
  s.GetPalette(got, 249, 7);
  EXPECT_EQ(got[0], 0u);
  EXPECT_EQ(got[1], 0xFF000001u);
  EXPECT_EQ(got[6], 0xFF000006u);
  EXPECT_EQ(s.LdrOnPaletteStream(&info), 10);
}

TEST(LoaderCallbacks, TransparencyGivesKeyAndOpaqueBlackGivesNearBlack) {
  struct CASE {
    uint8_t type;
    uint32_t nearblack;
  };
  const CASE cases[] = {{VideoType::Rgb565, 0x080808}, {VideoType::Rgb555, 0x080808}, {VideoType::Rgb444, 0x101010},
                        {VideoType::Xrgb8888, 0x010101}, {VideoType::Rgb888, 0x010101}};
  for (const CASE& c : cases) {
    for (uint8_t alphaflag = 0; alphaflag < 2; alphaflag++) {
      V2DSurface s;
      VLDR_2DCALLBACKINFO info = Info(4, 1, c.type);
      ASSERT_EQ(s.LdrOnCreate(&info), 0);
      info.alpha = alphaflag;
      ASSERT_EQ(Stream(s, info, {0x00FFFFFF, 0xFF000000, 0x80FFFFFF, 0xFFFFFFFF}, 0), 0);
      EXPECT_EQ(info.offset, 4);
      EXPECT_EQ(s.GetPixel(0, 0), 0u);
      EXPECT_EQ(s.GetPixel(1, 0), alphaflag ? c.nearblack : 0u) << int(c.type);
      EXPECT_EQ(s.GetPixel(2, 0), 0u);
      EXPECT_NE(s.GetPixel(3, 0), 0u);
    }
  }
}

TEST(LoaderCallbacks, DitherAddsAStepWhereTheThresholdTablesSay) {
  // Red 0x0B (low bits 3): 8x8 row 0 (0xF0) has bit 3 clear, row 1 (0xC8)
  // has it set. Green 0x05 (low bits 1): 4x4 row 0 (0xC) clear, row 2 (0x6) set.
  V2DSurface s;
  VLDR_2DCALLBACKINFO info = Info(3, 1, VideoType::Rgb565, 1 | VLDR_FLAG_DITHER);
  ASSERT_EQ(s.LdrOnCreate(&info), 0);
  ASSERT_EQ(Stream(s, info, {0xFF00050B, 0xFF00050B, 0xFF00050B}, 0), 0);
  EXPECT_EQ(s.GetPixel(0, 0), 0x000408u);
  EXPECT_EQ(s.GetPixel(1, 0), 0x000410u);
  EXPECT_EQ(s.GetPixel(2, 0), 0x000808u);
  // Components at the top of their range are not dithered.
  ASSERT_EQ(Stream(s, info, {0xFFFFFFFF}, 1), 0);
  EXPECT_EQ(s.GetPixel(1, 0), 0xF8FCF8u);
  // 4-bit: 0x1F (low bits 15) gains a step in row 0 (0xFB40, bit 15 set).
  V2DSurface t;
  VLDR_2DCALLBACKINFO info12 = Info(1, 1, VideoType::Rgb444, 1 | VLDR_FLAG_DITHER);
  ASSERT_EQ(t.LdrOnCreate(&info12), 0);
  ASSERT_EQ(Stream(t, info12, {0xFF00001F}, 0), 0);
  EXPECT_EQ(t.GetPixel(0, 0), 0x000020u);
}

TEST(LoaderCallbacks, StreamsNeverWritePastTheSurfaceOrOutsideTheClipper) {
  V2DSurface s;
  VLDR_2DCALLBACKINFO info = Info(4, 3, VideoType::Xrgb8888);
  ASSERT_EQ(s.LdrOnCreate(&info), 0);
  tagRECT clip = {1, 0, 4, 3};
  s.SetClipper(&clip);
  std::vector<uint32_t> many(40, 0xFFFFFFFF);
  ASSERT_EQ(Stream(s, info, many, 6), 0);
  ASSERT_EQ(Stream(s, info, many, -2), 0);
  for (int32_t y = 0; y < 3; y++) {
    for (int32_t x = 0; x < 4; x++) EXPECT_EQ(s.GetPixel(x, y) != 0, x >= 1) << x << "," << y;
  }
  std::vector<uint8_t> indices(100, 1);
  info.indexed = 1;
  info.data = indices.data();
  info.length = 100;
  info.offset = 11;
  EXPECT_EQ(s.LdrOnPixelStream(&info), 0);
  V2DSurface none;
  EXPECT_EQ(none.LdrOnPixelStream(&info), 1);
}

TEST(LoaderCallbacks, IndexedRowsKeepOpaqueIndicesOrTakePaletteColours) {
  std::vector<uint32_t> entries = {0xFF000000, 0xFF0000FF, 0x7F00FF00, 0xFFFF0000};
  const uint8_t row[4] = {3, 2, 1, 0};
  for (uint8_t type : {VideoType::Indexed8, VideoType::Xrgb8888}) {
    V2DSurface s;
    VLDR_2DCALLBACKINFO info = Info(4, 1, type);
    ASSERT_EQ(s.LdrOnCreate(&info), 0);
    info.data = entries.data();
    info.length = uint32_t(entries.size() * 4);
    ASSERT_EQ(s.LdrOnPaletteStream(&info), 0);
    info.indexed = 1;
    info.data = row;
    info.length = 4;
    ASSERT_EQ(s.LdrOnPixelStream(&info), 0);
    if (type == VideoType::Indexed8) {
      EXPECT_EQ(s.GetPixel(0, 0), 3u);
      EXPECT_EQ(s.GetPixel(1, 0), 0u);  // entry 2 is not fully opaque
      EXPECT_EQ(s.GetPixel(2, 0), 1u);
    } else {
      EXPECT_EQ(s.GetPixel(0, 0), 0xFF0000u);
      EXPECT_EQ(s.GetPixel(1, 0), 0u);
      EXPECT_EQ(s.GetPixel(2, 0), 0x0000FFu);
    }
  }
}

TEST(LoaderCallbacks, RemapMapsOntoTheDisplayPaletteBuildingTheLookupFirst) {
  DisplayRig rig;
  ASSERT_EQ(rig.Open(0), 0);
  const uint32_t display[4] = {0, 0x0000F0, 0x00F000, 0xF00000};
  rig.display.SetPalette(display, 0, 4);
  ASSERT_EQ(rig.display.GetPaletteLookup(), nullptr);
  V2DSurface s;
  s.LinkECD(&rig.vcd);
  VLDR_2DCALLBACKINFO info = Info(3, 1, VideoType::Indexed8, 1 | VLDR_FLAG_REMAP);
  ASSERT_EQ(s.LdrOnCreate(&info), 0);
  ASSERT_EQ(Stream(s, info, {0xFF0000FF, 0xFFFF0000, 0x00FF0000}, 0), 0);
  EXPECT_NE(rig.display.GetPaletteLookup(), nullptr);
  EXPECT_EQ(s.GetPixel(0, 0), 1u);
  EXPECT_EQ(s.GetPixel(1, 0), 3u);
  EXPECT_EQ(s.GetPixel(2, 0), 0u);
  // Indexed rows go through the remap of this surface's palette.
  std::vector<uint32_t> entries = {0xFF000000, 0xFF00FF00, 0xFF0000E0};
  info.data = entries.data();
  info.length = 12;
  info.palettestart = 0;
  ASSERT_EQ(s.LdrOnPaletteStream(&info), 0);
  const uint8_t row[3] = {1, 2, 0};
  info.indexed = 1;
  info.data = row;
  info.length = 3;
  info.offset = 0;
  ASSERT_EQ(s.LdrOnPixelStream(&info), 0);
  EXPECT_EQ(s.GetPixel(0, 0), 2u);
  EXPECT_EQ(s.GetPixel(1, 0), 1u);
  EXPECT_EQ(s.GetPixel(2, 0), 0u);
}

// A loader that answers with a fixed code, optionally loading a 2 x 1 image.
class FixedLoader : public ClassVLoaderBase {
 public:
  FixedLoader(int code, bool load) : code(code), load(load) {}
  int Start(V2DSurfaceBase* surface, const void*, uint32_t, uint8_t displaytype, uint32_t flags) override {
    calls++;
    if (!load) return code;
    VLDR_2DCALLBACKINFO info{};
    info.width = 2;
    info.height = 1;
    info.displaytype = displaytype;
    info.flags = flags;
    if (int r = surface->LdrOnCreate(&info)) return r;
    const uint32_t row[2] = {0xFF0000FF, 0xFF00FF00};
    info.data = row;
    info.length = 8;
    surface->LdrOnPixelStream(&info);
    return code;
  }
  using ClassVLoaderBase::Start;
  int code;
  bool load;
  int calls = 0;
};

TEST(LoadImage, AsksLoadersInSlotOrderPastThoseThatDecline) {
  DisplayRig rig;
  ASSERT_EQ(rig.Open(0), 0);
  FixedLoader no3(3, false), no14(14, false), yes(0, true), never(0, true);
  for (ClassVLoaderBase* l : {static_cast<ClassVLoaderBase*>(&no3), static_cast<ClassVLoaderBase*>(&no14),
                              static_cast<ClassVLoaderBase*>(&yes), static_cast<ClassVLoaderBase*>(&never)})
    ASSERT_EQ(rig.display.RegisterLoader(l), 1);
  V2DSurface s;
  const uint8_t block[4] = {1, 2, 3, 4};
  ASSERT_EQ(rig.display.CreateSurface(&s, block, 4, 1), 0);
  EXPECT_EQ(no3.calls + no14.calls + yes.calls, 3);
  EXPECT_EQ(never.calls, 0);
  EXPECT_EQ(s.GetPixel(0, 0), 0x0000F8u);
  EXPECT_EQ(s.GetPixel(1, 0), 0x00FC00u);
  EXPECT_EQ(s.GetLockCount(), 0);
  rig.display.UnRegisterLoader(&yes);
  rig.display.UnRegisterLoader(&never);
  EXPECT_EQ(rig.display.CreateSurface(&s, block, 4, 1), 3);
  EXPECT_EQ(s.LoadImage(block, 4, VideoType::Rgb565, 5), 4);
}

TEST(LoadImage, MissingOrEmptyFilesGiveOne) {
  DisplayRig rig;
  ASSERT_EQ(rig.Open(0), 0);
  V2DSurface s;
  EXPECT_EQ(rig.display.CreateSurface(&s, "no such picture.bmp", 1), 1);
  EXPECT_EQ(rig.display.CreateSurface(&s, u"no such picture.bmp", 1), 1);
  EXPECT_EQ(rig.display.CreateSurface(&s, std::string(2000, 'n').c_str(), 1), 1);
}

// --- orientation and memory safety ---------------------------------------------

constexpr int32_t PICTURE_W = 37, PICTURE_H = 23;

const uint32_t RANDOMFLAGS[] = {0, Opacity, Additive, Subtractive, Tint, ColorFill, ColorFill | Tint,
                                Opacity | Additive, Tint | Opacity};

tagRECT RandomRect(XorShift32& rng, int32_t spread) {
  auto coordinate = [&] { return int32_t(rng.Below(uint32_t(2 * spread))) - spread / 2; };
  return {coordinate(), coordinate(), coordinate(), coordinate()};
}

// The same drawing, in virtual coordinates, whatever the rotation: mostly
// fills and pixels, now and then a clipper or a colour replacement.
void DrawScene(V2DSurface& s, uint32_t seed) {
  XorShift32 rng{seed};
  for (int op = 0; op < 80; op++) {
    uint32_t colour = rng.Next() & 0xFFFFFF, flags = RANDOMFLAGS[rng.Below(9)], value = rng.Next();
    if ((flags & Opacity) && !(flags & (Tint | ColorFill))) value &= 0xFF;
    const int32_t x = int32_t(rng.Below(56)) - 10, y = int32_t(rng.Below(40)) - 10;
    tagRECT r = {x, y, x + int32_t(rng.Below(25)), y + int32_t(rng.Below(20))};
    switch (rng.Below(10)) {
      case 0:
      case 1:
      case 2: s.FillRect(&r, colour, flags, value); break;
      case 3:
      case 4: s.PutPixel(x, y, colour, flags, value); break;
      case 5:
      case 6: s.PutPixelRow(x, y, r.right - x, colour, flags, value); break;
      case 7: s.SetClipper(&r); break;
      case 8: s.SetClipper(nullptr); break;
      default: s.ReplaceColor(s.GetPixel(x, y), colour, rng.Below(4) == 0); break;
    }
  }
  s.SetClipper(nullptr);
}

std::vector<uint32_t> Picture(const V2DSurface& s) {
  std::vector<uint32_t> out;
  for (int32_t y = -1; y <= PICTURE_H; y++) {
    for (int32_t x = -1; x <= PICTURE_W; x++) out.push_back(s.GetPixel(x, y));
  }
  return out;
}

class Orientation : public ::testing::TestWithParam<uint8_t> {};

TEST_P(Orientation, FillsAndPixelsGiveTheSameVirtualPictureAtEveryRotation) {
  const uint8_t type = GetParam();
  std::vector<uint32_t> upright;
  for (uint8_t rotation = 0; rotation < 4; rotation++) {
    DisplayRig rig;
    ASSERT_EQ(rig.Open(rotation), 0);
    V2DSurface s;
    ASSERT_EQ(rig.display.CreateSurface(&s, PICTURE_W, PICTURE_H, 1 | (uint32_t(type) << 8)), 0);
    ASSERT_EQ(s.GetWidth(), PICTURE_W);
    tagRECT clip = {3, 2, 30, 19}, back;
    s.SetClipper(&clip);
    s.GetClipper(&back);
    EXPECT_EQ(back.left, 3);
    EXPECT_EQ(back.bottom, 19);
    DrawScene(s, 0xC0FFEE);
    // The record's steps reach the same pixels as GetPixel.
    V2DSURFACEINFO info;
    const uint8_t* p = s.Lock(&info);
    s.Unlock();
    for (int32_t y = 0; y < PICTURE_H; y += 5) {
      for (int32_t x = 0; x < PICTURE_W; x += 3) {
        uint32_t raw = 0;
        std::memcpy(&raw, p + int64_t(info.origin) + x * info.xstep + y * info.ystep, info.bitsperpixel / 8);
        ASSERT_EQ(V2DSurfaceBase::NativeToColor(type, raw), s.GetPixel(x, y));
      }
    }
    std::vector<uint32_t> picture = Picture(s);
    if (rotation == 0) {
      // A scene worth comparing: most pixels drawn, many colours.
      std::vector<uint32_t> colours(picture);
      std::sort(colours.begin(), colours.end());
      EXPECT_GT(std::unique(colours.begin(), colours.end()) - colours.begin(), 10);
      upright = picture;
    } else {
      EXPECT_EQ(picture, upright) << "rotation " << int(rotation);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, Orientation,
                         ::testing::Values(VideoType::Indexed8, VideoType::Rgb444, VideoType::Rgb555,
                                           VideoType::Rgb565, VideoType::Rgb888, VideoType::Xrgb8888));

TEST(MemorySafety, NoFillOrPixelOperationTouchesMemoryOutsideItsSurface) {
  XorShift32 rng{0x5EED};
  const uint32_t huge[] = {0, 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};
  for (uint8_t rotation = 0; rotation < 4; rotation++) {
    DisplayRig rig(false);  // plain allocations, so a sanitizer guards both ends of the pixels
    ASSERT_EQ(rig.Open(rotation), 0);
    for (uint8_t type = 1; type <= 6; type++) {
      V2DSurface s;
      const int32_t w = int32_t(1 + rng.Below(13)), h = int32_t(1 + rng.Below(9));
      ASSERT_EQ(rig.display.CreateSurface(&s, w, h, 1 | (uint32_t(type) << 8)), 0);
      // The row padding past the storage width is outside the surface too.
      V2DSURFACEINFO info;
      uint8_t* p = s.Lock(&info);
      s.Unlock();
      const uint32_t used = info.physwidth * info.bitsperpixel / 8;
      for (uint32_t y = 0; y < info.physheight; y++) std::memset(p + y * info.rowbytes + used, 0xA5, info.rowbytes - used);
      for (int op = 0; op < 400; op++) {
        tagRECT r = RandomRect(rng, 40);
        if (rng.Below(8) == 0) r.left = int32_t(huge[rng.Below(5)]);
        if (rng.Below(8) == 0) r.right = int32_t(huge[rng.Below(5)]);
        if (rng.Below(8) == 0) r.bottom = int32_t(huge[rng.Below(5)]);
        uint32_t colour = rng.Next(), flags = rng.Next() & 0x3F, value = rng.Next();
        switch (rng.Below(8)) {
          case 0: s.FillRect(&r, colour, flags, value); break;
          case 1: s.PutPixel(r.left, r.top, colour, flags, value); break;
          case 2: s.PutPixelRow(r.left, r.top, r.right, colour, flags, value); break;
          case 3: s.SetClipper(&r); break;
          case 4: s.GetPixel(r.left, r.right); break;
          case 5: s.ReplaceColor(colour, value, (flags & 1) != 0); break;
          case 6: s.AutoSetColorKey(r.left, r.top); break;
          default: s.FillRectV(nullptr, colour, flags, value, true); break;
        }
      }
      for (uint32_t y = 0; y < info.physheight; y++) {
        for (uint32_t b = used; b < info.rowbytes; b++) ASSERT_EQ(p[y * info.rowbytes + b], 0xA5);
      }
    }
  }
}

}  // namespace
