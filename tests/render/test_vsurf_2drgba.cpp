// Tests of the RGBA surface and its blit: creation refusals, the two storage
// modes through PutPixel, GetPixel and the loader callbacks (a small loader
// that streams a fixed image row by row), the mask, and BltFast onto every
// destination format with hand-computed results, clipping, the effect flags,
// the same picture on a turned display, and a randomised run that checks
// nothing is drawn outside the clipper.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "display_rig.h"
#include "render/vmod_dsp.h"
#include "render/vsurf_2d.h"
#include "render/vsurf_2drgba.h"
#include "resources/loaders/vldr_base.h"
#include "support/xorshift.h"

namespace {

using namespace BlitFlags;

constexpr uint32_t WHITE = 0xFFFFFF;
constexpr uint32_t PREMULTIPLIED = V2DRGBA_PREMULTIPLIED;

uint32_t As(uint8_t type) { return 1u | (uint32_t(type) << 8); }  // surface type 1 in the given format

uint32_t Native(uint8_t type, uint32_t colour) { return V2DSurfaceBase::ColorToNative(type, colour); }

// The raw 32-bit word of physical pixel (x, y).
uint32_t Stored(V2DSurfaceRGBA& s, int32_t x, int32_t y) {
  V2DSURFACEINFO info{};
  const uint8_t* p = static_cast<V2DSurfaceBase&>(s).Lock(&info);
  uint32_t v = 0;
  if (p) std::memcpy(&v, p + size_t(y) * info.rowbytes + size_t(x) * 4, 4);
  s.Unlock();
  return v;
}

// The native value of physical pixel (x, y) of an ordinary surface.
uint32_t NativeAt(V2DSurface& s, int32_t x, int32_t y) {
  V2DSURFACEINFO info{};
  const uint8_t* p = s.Lock(&info);
  uint32_t v = 0;
  if (p) std::memcpy(&v, p + size_t(y) * info.rowbytes + size_t(x) * (info.bitsperpixel / 8), info.bitsperpixel / 8);
  s.Unlock();
  return v;
}

// A loader that streams one fixed image: LdrOnCreate, the palette (when it
// has one), then one LdrOnPixelStream per row.
class RowLoader : public ClassVLoaderBase {
 public:
  using ClassVLoaderBase::Start;
  RowLoader(int32_t w, int32_t h, std::vector<uint32_t> colours) : width(w), height(h), pixels(std::move(colours)) {}
  RowLoader(int32_t w, int32_t h, std::vector<uint8_t> indices, std::vector<uint32_t> entries)
      : width(w), height(h), indexbytes(std::move(indices)), palette(std::move(entries)) {}

  int Start(V2DSurfaceBase* surface, const void*, uint32_t, uint8_t displaytype, uint32_t flags) override {
    VLDR_2DCALLBACKINFO info{};
    info.width = width;
    info.height = uint32_t(height);
    info.indexed = indexbytes.empty() ? 0 : 1;
    info.alpha = 1;
    info.displaytype = displaytype;
    info.flags = flags;
    int result = surface->LdrOnCreate(&info);
    if (result != 0) return result;
    if (!palette.empty()) {
      info.data = palette.data();
      info.length = uint32_t(palette.size() * 4);
      if ((result = surface->LdrOnPaletteStream(&info)) != 0) return result;
    }
    for (int32_t row = 0; row < height; ++row) {
      const size_t first = size_t(row) * size_t(width);
      info.data = info.indexed ? static_cast<const void*>(&indexbytes[first]) : &pixels[first];
      info.length = uint32_t(width) * (info.indexed ? 1u : 4u);
      info.offset = int32_t(first);
      if ((result = surface->LdrOnPixelStream(&info)) != 0) return result;
    }
    return VLDR_LOADED;
  }

 private:
  int32_t width, height;
  std::vector<uint32_t> pixels;
  std::vector<uint8_t> indexbytes;
  std::vector<uint32_t> palette;
};

// A display rig with an RGBA source and an ordinary destination on it.
struct BlitRig : DisplayRig {
  explicit BlitRig(uint8_t rotation = 0) { opened = Open(rotation); }

  // A w x 1 source from (colour, alpha) pairs.
  int Source(uint8_t type, uint32_t mode, const std::vector<std::pair<uint32_t, uint32_t>>& row) {
    source.LinkECD(&vcd);
    const int result = source.Create(int32_t(row.size()), 1, type, mode);
    for (size_t i = 0; i < row.size(); ++i) source.PutPixel(int32_t(i), 0, row[i].first, row[i].second);
    return result;
  }
  int Dest(uint8_t type, int32_t w, int32_t h, uint32_t colour) {
    const int result = display.CreateSurface(&dest, w, h, As(type));
    dest.FillRect(nullptr, colour);
    return result;
  }

  int opened;
  V2DSurfaceRGBA source;
  V2DSurface dest;
};

// --- creation -------------------------------------------------------------------

struct CREATECASE {
  int32_t width, height;
  uint8_t type;
  uint32_t flags;
  int result;
};

TEST(RGBACreate, RefusesWhatCannotBeBuilt) {
  const CREATECASE cases[] = {
      {0, 10, VideoType::Rgb565, 0, VSURF_INVALID},
      {10, 0, VideoType::Rgb565, 0, VSURF_INVALID},
      {-4, 10, VideoType::Rgb565, 0, VSURF_INVALID},
      {10, INT32_MIN, VideoType::Rgb565, 0, VSURF_INVALID},
      {40000, 1, VideoType::Rgb565, 0, VSURF_INVALID},
      {10, 10, 0, 0, VSURF_NOTCREATED},
      {10, 10, 7, 0, VSURF_NOTCREATED},
      {10, 10, VideoType::DisplayDefault, 0, VSURF_NOTCREATED},
      {10, 10, VideoType::Rgb565, 9u << 8, VSURF_NOTCREATED},
      {30, 20, VideoType::Rgb565, 0, VSURF_OK},
      {30, 20, 0, As(VideoType::Xrgb8888), VSURF_OK},
  };
  for (const CREATECASE& c : cases) {
    V2DSurfaceRGBA s;
    EXPECT_EQ(s.Create(c.width, c.height, c.type, c.flags), c.result) << c.width << " x " << c.height << " type "
                                                                        << int(c.type) << " flags " << c.flags;
    EXPECT_EQ(s.IsCreated(), c.result == VSURF_OK);
  }
}

TEST(RGBACreate, HoldsThirtyTwoBitRowsOfFourPixelsInEitherMode) {
  for (uint32_t mode : {0u, PREMULTIPLIED}) {
    V2DSurfaceRGBA s;
    ASSERT_EQ(s.Create(30, 20, VideoType::Rgb565, mode), VSURF_OK);
    V2DSURFACEINFO info{};
    ASSERT_EQ(s.GetInfo(&info), 1);
    EXPECT_EQ(info.bitsperpixel, 32);
    EXPECT_EQ(info.rowbytes, 32u * 4);
    EXPECT_EQ(info.videotype, VideoType::Rgb565);
    EXPECT_EQ(s.GetWidth(), 30);
    EXPECT_EQ(s.IsPremultiplied(), mode == PREMULTIPLIED);
    const uint32_t clear = mode ? V2DRGBA_CLEAR_PREMULTIPLIED : V2DRGBA_CLEAR_STRAIGHT;
    EXPECT_EQ(Stored(s, 0, 0), clear);
    EXPECT_EQ(Stored(s, 29, 19), clear);
    // The same creation again only clears.
    s.PutPixel(3, 4, WHITE, 200);
    EXPECT_EQ(s.Create(30, 20, VideoType::Rgb565, mode), VSURF_OK);
    EXPECT_EQ(Stored(s, 3, 4), clear);
  }
}

TEST(RGBACreate, SwapsSidesOnATurnedDisplay) {
  BlitRig rig(1);
  ASSERT_EQ(rig.opened, 0);
  ASSERT_EQ(rig.display.CreateSurface(&rig.source, 30, 20, 0), VSURF_OK);
  V2DSURFACEINFO info{};
  rig.source.GetInfo(&info);
  EXPECT_EQ(info.physwidth, 20u);
  EXPECT_EQ(info.physheight, 30u);
  EXPECT_EQ(rig.source.GetWidth(), 30);
  EXPECT_EQ(rig.source.GetVideoType(), VideoType::Rgb565);
  EXPECT_EQ(rig.display.CreateSurface(static_cast<V2DSurfaceRGBA*>(nullptr), 4, 4, 0), VSURF_INVALID);
}

// --- pixels ----------------------------------------------------------------------------

struct PIXELCASE {
  uint32_t mode;
  uint32_t colour, alpha;   // as put
  uint32_t stored;          // the raw word
  uint32_t readcolour, readalpha;
};

TEST(RGBAPixels, PutStoresAsGivenAndGetTurnsPremultipliedBack) {
  const PIXELCASE cases[] = {
      {0, 0x123456, 77, 0x4D563412, 0x123456, 77},
      {0, 0x123456, 0, 0x00563412, 0x123456, 0},
      // Premultiplied: alpha = 255 - 0x4D = 178; each component x 256 / 179.
      {PREMULTIPLIED, 0x123456, 0x4D, 0x4D563412, 0x194A7A, 178},
      {PREMULTIPLIED, 0x404040, 127, 0x7F404040, 0x7F7F7F, 128},
      {PREMULTIPLIED, 0xFFFFFF, 0, 0x00FFFFFF, 0xFFFFFF, 255},
      {PREMULTIPLIED, 0x123456, 255, 0xFF563412, 0, 0},
  };
  for (const PIXELCASE& c : cases) {
    V2DSurfaceRGBA s;
    ASSERT_EQ(s.Create(4, 4, VideoType::Xrgb8888, c.mode), VSURF_OK);
    s.PutPixel(1, 2, c.colour, c.alpha);
    EXPECT_EQ(Stored(s, 1, 2), c.stored) << std::hex << c.colour;
    uint32_t colour = 1, alpha = 1;
    s.GetPixel(1, 2, colour, alpha);
    EXPECT_EQ(colour, c.readcolour) << std::hex << c.colour;
    EXPECT_EQ(alpha, c.readalpha) << std::hex << c.colour;
  }
}

TEST(RGBAPixels, OutsideTheClipperNothingIsWrittenOrRead) {
  V2DSurfaceRGBA s;
  ASSERT_EQ(s.Create(8, 8, VideoType::Rgb565, 0), VSURF_OK);
  s.PutPixel(2, 2, WHITE, 255);
  const tagRECT clip = {3, 3, 6, 6};
  s.SetClipper(&clip);
  for (int32_t v : {-1, 2, 6, 8, INT32_MIN, INT32_MAX}) s.PutPixel(v, 4, WHITE, 255), s.PutPixel(4, v, WHITE, 255);
  uint32_t colour = 1, alpha = 1;
  s.GetPixel(2, 2, colour, alpha);
  EXPECT_EQ(colour | alpha, 0u);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x) EXPECT_EQ(Stored(s, x, y), x == 2 && y == 2 ? 0xFF00FFFFu : 0u) << x << ", " << y;
}

TEST(RGBAPixels, ClearDropsTheMaskAndMakesEveryPixelInvisible) {
  V2DSurfaceRGBA s;
  ASSERT_EQ(s.Create(40, 3, VideoType::Rgb565, PREMULTIPLIED), VSURF_OK);
  s.PutPixel(0, 0, WHITE, 0);    // opaque
  s.PutPixel(33, 1, WHITE, 100); // alpha 155
  s.PutPixel(39, 2, WHITE, 200); // alpha 55
  ASSERT_EQ(s.BuildTableMask(100), VSURF_OK);
  const uint32_t* mask = s.GetTableMask();
  ASSERT_NE(mask, nullptr);
  // Two words per row; column x is bit 31 - x % 32 of word x / 32.
  EXPECT_EQ(mask[0], 0x80000000u);
  EXPECT_EQ(mask[1], 0u);
  EXPECT_EQ(mask[2], 0u);
  EXPECT_EQ(mask[3], 0x40000000u);
  EXPECT_EQ(mask[4] | mask[5], 0u);
  s.Clear(WHITE);
  EXPECT_EQ(s.GetTableMask(), nullptr);
  EXPECT_EQ(Stored(s, 0, 0), V2DRGBA_CLEAR_PREMULTIPLIED);
}

// --- loader callbacks ------------------------------------------------------------------

struct STREAMCASE {
  uint32_t mode;
  uint32_t stored[4];
  uint32_t colour[4], alpha[4];
};

TEST(RGBALoader, StreamsRowsInEitherMode) {
  // 0x808080 at 128, white opaque, red invisible, green at 64 (2 x 2).
  const std::vector<uint32_t> image = {0x80808080, 0xFFFFFFFF, 0x000000FF, 0x4000FF00};
  const STREAMCASE cases[] = {
      {0,
       {0x80808080, 0xFFFFFFFF, 0x00FF0000, 0x4000FF00},
       {0x808080, 0xFFFFFF, 0x0000FF, 0x00FF00},
       {128, 255, 0, 64}},
      // colour x (alpha + 1) / 256 and 255 - alpha; read back x 256 / (alpha + 1).
      {PREMULTIPLIED,
       {0x7F404040, 0x00FFFFFF, 0xFF000000, 0xBF004000},
       {0x7F7F7F, 0xFFFFFF, 0, 0x00FC00},
       {128, 255, 0, 64}},
  };
  for (const STREAMCASE& c : cases) {
    BlitRig rig;
    ASSERT_EQ(rig.opened, 0);
    RowLoader loader(2, 2, image);
    ASSERT_EQ(rig.display.RegisterLoader(&loader), 1);
    ASSERT_EQ(rig.display.CreateSurface(&rig.source, "x", 4, As(VideoType::Xrgb8888) | c.mode), VSURF_OK);
    EXPECT_EQ(rig.source.IsPremultiplied(), c.mode != 0);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(Stored(rig.source, i % 2, i / 2), c.stored[i]) << "pixel " << i;
      uint32_t colour, alpha;
      rig.source.GetPixel(i % 2, i / 2, colour, alpha);
      EXPECT_EQ(colour, c.colour[i]) << "pixel " << i;
      EXPECT_EQ(alpha, c.alpha[i]) << "pixel " << i;
    }
    rig.display.UnRegisterLoader(&loader);
  }
}

TEST(RGBALoader, TakesPaletteEntriesWithTheirAlphaAndDithers) {
  BlitRig rig;
  ASSERT_EQ(rig.opened, 0);
  RowLoader loader(3, 1, std::vector<uint8_t>{2, 0, 1}, {0x00000000, 0xFF040404, 0x80FF0000});
  ASSERT_EQ(rig.display.RegisterLoader(&loader), 1);
  ASSERT_EQ(rig.display.CreateSurface(&rig.source, "x", 4, As(VideoType::Rgb565) | VLDR_FLAG_DITHER), VSURF_OK);
  uint32_t colour, alpha;
  rig.source.GetPixel(0, 0, colour, alpha);
  EXPECT_EQ(colour, 0xF80000u);
  EXPECT_EQ(alpha, 0x80u);
  rig.source.GetPixel(1, 0, colour, alpha);
  EXPECT_EQ(alpha, 0u);
  // 0x040404 at phase 1 (x + y): red and blue gain a step of 8, green keeps 4.
  rig.source.GetPixel(2, 0, colour, alpha);
  EXPECT_EQ(colour, 0x080408u);
  EXPECT_EQ(alpha, 255u);

  VLDR_2DCALLBACKINFO info{};
  const uint32_t entry = 0;
  info.data = &entry;
  info.length = 4;
  info.palettestart = 256;
  EXPECT_EQ(rig.source.LdrOnPaletteStream(&info), VSURF_NOTHING);
  V2DSurfaceRGBA empty;
  EXPECT_EQ(empty.LdrOnPixelStream(&info), VSURF_NOTCREATED);
}

// --- BltFast ---------------------------------------------------------------------------

struct BLENDCASE {
  uint8_t type;
  uint32_t mode;
  uint32_t colour, alpha;  // as put (premultiplied cases put stored values)
  uint32_t dest;           // interface colour under it
  uint32_t result;         // native result
};

TEST(RGBABltFast, BlendsByAlphaAtEachDepthsPrecision) {
  const BLENDCASE cases[] = {
      // Alpha 128 of white over black: half intensity at 4, 5, 6 and 8 bits of weight.
      {VideoType::Rgb565, 0, WHITE, 128, 0, 0x7BEF},
      {VideoType::Rgb555, 0, WHITE, 128, 0, 0x3DEF},
      {VideoType::Rgb444, 0, WHITE, 128, 0, 0x0777},
      {VideoType::Xrgb8888, 0, WHITE, 128, 0, 0x7F7F7F},
      // Alpha 255 copies, alpha 0 leaves the destination.
      {VideoType::Rgb565, 0, 0x00FF00, 255, 0x0000FF, 0x07E0},
      {VideoType::Rgb565, 0, 0x00FF00, 0, 0x0000FF, 0xF800},
      {VideoType::Xrgb8888, 0, 0x123456, 255, 0xABCDEF, 0x563412},
      {VideoType::Xrgb8888, 0, 0x123456, 0, 0xABCDEF, 0xEFCDAB},
      // Straight 8-bit: (0x40 x 192 + 0xC0 x 64) >> 8 = 0x60.
      {VideoType::Xrgb8888, 0, 0xC0C0C0, 64, 0x404040, 0x606060},
      // Premultiplied: white at 128 stored as 0x808080 and 127: over black it is the colour itself.
      {VideoType::Rgb565, PREMULTIPLIED, 0x808080, 127, 0, 0x8410},
      {VideoType::Xrgb8888, PREMULTIPLIED, 0x808080, 127, 0, 0x808080},
      // ... and over white adds 0xFF x (127 >> 0) >> 8 = 0x7E.
      {VideoType::Xrgb8888, PREMULTIPLIED, 0x808080, 127, WHITE, 0xFEFEFE},
      {VideoType::Rgb565, PREMULTIPLIED, 0x00FF00, 0, 0x0000FF, 0x07E0},
      {VideoType::Rgb565, PREMULTIPLIED, 0x00FF00, 255, 0x0000FF, 0xF800},
      // A hand-stored colour too bright for its alpha holds each field at its maximum.
      {VideoType::Rgb565, PREMULTIPLIED, WHITE, 127, WHITE, 0xFFFF},
  };
  for (const BLENDCASE& c : cases) {
    BlitRig rig;
    ASSERT_EQ(rig.opened, 0);
    ASSERT_EQ(rig.Source(c.type, c.mode, {{c.colour, c.alpha}}), VSURF_OK);
    ASSERT_EQ(rig.Dest(c.type, 4, 1, c.dest), VSURF_OK);
    EXPECT_EQ(rig.dest.BltFast(1, 0, &rig.source, nullptr), VSURF_OK);
    EXPECT_EQ(NativeAt(rig.dest, 1, 0), c.result) << "type " << int(c.type) << " mode " << c.mode << std::hex
                                                  << " colour " << c.colour << " alpha " << c.alpha;
    EXPECT_EQ(NativeAt(rig.dest, 0, 0), Native(c.type, c.dest));
    EXPECT_EQ(NativeAt(rig.dest, 2, 0), Native(c.type, c.dest));
  }
}

TEST(RGBABltFast, DrawsTwentyFourBitAndIndexedDestinationsPixelByPixel) {
  // Rgb888: three bytes a pixel; the single-pixel path blends at 8 bits.
  BlitRig rig;
  ASSERT_EQ(rig.opened, 0);
  ASSERT_EQ(rig.Source(VideoType::Rgb888, 0, {{0x0000FF, 255}, {0xC0C0C0, 64}, {WHITE, 0}}), VSURF_OK);
  ASSERT_EQ(rig.Dest(VideoType::Rgb888, 5, 1, 0x404040), VSURF_OK);
  EXPECT_EQ(rig.dest.BltFast(1, 0, &rig.source, nullptr), VSURF_OK);
  const uint32_t expected[5] = {0x404040, 0x0000FF, 0x606060, 0x404040, 0x404040};
  for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(rig.dest.GetPixel(x, 0), expected[x]) << "x " << x;

  // Indexed8: indices are copied where the alpha is not 0.
  BlitRig indexed;
  ASSERT_EQ(indexed.opened, 0);
  ASSERT_EQ(indexed.Source(VideoType::Indexed8, 0, {{7, 255}, {9, 128}, {11, 0}}), VSURF_OK);
  ASSERT_EQ(indexed.Dest(VideoType::Indexed8, 5, 1, 3), VSURF_OK);
  EXPECT_EQ(indexed.dest.BltFast(1, 0, &indexed.source, nullptr), VSURF_OK);
  const uint32_t indices[5] = {3, 7, 9, 3, 3};
  for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(NativeAt(indexed.dest, x, 0), indices[x]) << "x " << x;
}

TEST(RGBABltFast, ConvertsBetweenFormatsThroughTheInterfaceColour) {
  for (uint32_t mode : {0u, PREMULTIPLIED}) {
    BlitRig rig;
    ASSERT_EQ(rig.opened, 0);
    // White at 128 in either storage (premultiplied reads back as 0xFEFEFE);
    // onto Rgb565 through the 8-bit blend: 0x7F7F7F.
    const uint32_t colour = mode ? 0x808080 : WHITE, alphabyte = mode ? 127 : 128;
    ASSERT_EQ(rig.Source(VideoType::Xrgb8888, mode, {{colour, alphabyte}, {0x00FF00, mode ? 0u : 255u}}), VSURF_OK);
    ASSERT_EQ(rig.Dest(VideoType::Rgb565, 4, 1, 0), VSURF_OK);
    EXPECT_EQ(rig.dest.BltFast(0, 0, &rig.source, nullptr), VSURF_OK);
    EXPECT_EQ(NativeAt(rig.dest, 0, 0), 0x7BEFu);
    EXPECT_EQ(NativeAt(rig.dest, 1, 0), 0x07E0u);
    EXPECT_EQ(NativeAt(rig.dest, 2, 0), 0u);
  }
}

struct FLAGCASE {
  const char* name;
  uint8_t type;
  uint32_t alpha;       // of a white pixel
  uint32_t dest;
  uint32_t flags, value;
  int result;
  uint32_t native[2];   // straight, premultiplied
};

TEST(RGBABltFast, AppliesEffectsOnTopOfTheAlpha) {
  const FLAGCASE cases[] = {
      // Opacity 128 on an opaque pixel: the 5-bit blend of the 16-bit family.
      {"opacity", VideoType::Rgb565, 255, 0, Opacity, 128, VSURF_OK, {0x7BEF, 0x7BEF}},
      // Alpha 128 x opacity 128 = 64: weight 8 of 32.
      {"opacity x alpha", VideoType::Rgb565, 128, 0, Opacity, 128, VSURF_OK, {0x39E7, 0x39E7}},
      // No effect left: the alpha blend itself (premultiplied white at 128 holds 0x808080).
      {"opacity 255 is none", VideoType::Rgb565, 128, 0, Opacity, 255, VSURF_OK, {0x7BEF, 0x8410}},
      {"opacity reduced to 0", VideoType::Rgb565, 255, 0, Opacity, 4, VSURF_NOTHING, {0, 0}},
      // The silhouette in the fill colour, blended by the alpha.
      {"colour fill", VideoType::Xrgb8888, 255, 0, ColorFill, 0x0000FF, VSURF_OK, {0xFF0000, 0xFF0000}},
      {"colour fill x alpha", VideoType::Xrgb8888, 128, 0, ColorFill, 0x0000FF, VSURF_OK, {0x7F0000, 0x7F0000}},
      // Tint: half the red fill plus half the source.
      {"tint", VideoType::Xrgb8888, 255, 0, Tint, 0x0000FF, VSURF_OK, {0xFE7F7F, 0xFE7F7F}},
      // White scaled by 128 and added to 0x404040 (premultiplied white at 128 reads back as 0xFEFEFE).
      {"additive", VideoType::Xrgb8888, 128, 0x404040, Additive, 0, VSURF_OK, {0xBFBFBF, 0xBFBFBF}},
      {"subtractive", VideoType::Xrgb8888, 255, 0x404040, Subtractive, 0, VSURF_OK, {0, 0}},
      {"additive and subtractive cancel", VideoType::Xrgb8888, 255, 0x404040, Additive | Subtractive, 0, VSURF_OK,
       {0xFFFFFF, 0xFFFFFF}},
      {"colour key means nothing here", VideoType::Rgb565, 128, 0, ColorKey, 0, VSURF_OK, {0x7BEF, 0x8410}},
      // Rgb555 has no family: the single-pixel path at 8 bits.
      {"opacity on Rgb555", VideoType::Rgb555, 255, 0, Opacity, 128, VSURF_OK, {0x3DEF, 0x3DEF}},
      {"opacity on Rgb444", VideoType::Rgb444, 255, 0, Opacity, 128, VSURF_OK, {0x0777, 0x0777}},
  };
  for (int premultiplied = 0; premultiplied < 2; ++premultiplied) {
    for (const FLAGCASE& c : cases) {
      BlitRig rig;
      ASSERT_EQ(rig.opened, 0);
      // White at the case's alpha, stored in either mode as the loader stores it.
      const uint32_t colour = premultiplied ? (0xFF * (c.alpha + 1) >> 8) * 0x010101u : WHITE;
      const uint32_t alphabyte = premultiplied ? 255 - c.alpha : c.alpha;
      ASSERT_EQ(rig.Source(c.type, premultiplied ? PREMULTIPLIED : 0, {{colour, alphabyte}}), VSURF_OK);
      ASSERT_EQ(rig.Dest(c.type, 2, 1, c.dest), VSURF_OK);
      EXPECT_EQ(rig.dest.BltFast(0, 0, &rig.source, nullptr, c.flags, c.value), c.result) << c.name;
      const uint32_t expected = c.result == VSURF_OK ? c.native[premultiplied] : Native(c.type, c.dest);
      EXPECT_EQ(NativeAt(rig.dest, 0, 0), expected) << c.name << (premultiplied ? " premultiplied" : " straight");
      EXPECT_EQ(NativeAt(rig.dest, 1, 0), Native(c.type, c.dest)) << c.name;
    }
  }
}

TEST(RGBABltFast, ClearedPremultipliedSurfaceLeavesTheDestinationUnchanged) {
  const uint8_t types[] = {VideoType::Indexed8, VideoType::Rgb444, VideoType::Rgb555, VideoType::Rgb565,
                           VideoType::Rgb888, VideoType::Xrgb8888};
  const uint32_t flagsets[][2] = {{0, 0}, {Opacity, 100}, {ColorFill, 0x80FFFFFF}, {Tint | Opacity, 0x80FF0000},
                                  {Additive, 0}, {Subtractive, 0}};
  for (uint8_t type : types) {
    for (uint8_t sourcetype : {type, VideoType::Xrgb8888}) {
      for (const auto& f : flagsets) {
        BlitRig rig;
        ASSERT_EQ(rig.opened, 0);
        rig.source.LinkECD(&rig.vcd);
        ASSERT_EQ(rig.source.Create(9, 7, sourcetype, PREMULTIPLIED), VSURF_OK);
        ASSERT_EQ(rig.Dest(type, 12, 10, 0x5A3C1E), VSURF_OK);
        const uint32_t before = NativeAt(rig.dest, 4, 4);
        EXPECT_EQ(rig.dest.BltFast(1, 2, &rig.source, nullptr, f[0], f[1]), VSURF_OK);
        for (int32_t y = 0; y < 10; ++y)
          for (int32_t x = 0; x < 12; ++x)
            ASSERT_EQ(NativeAt(rig.dest, x, y), before) << "type " << int(type) << " flags " << f[0];
      }
    }
  }
}

TEST(RGBABltFast, ClipsToTheDestinationAndTheSourceRectangle) {
  BlitRig rig;
  ASSERT_EQ(rig.opened, 0);
  std::vector<std::pair<uint32_t, uint32_t>> row;
  for (uint32_t i = 0; i < 10; ++i) row.push_back({0x000001u * (i + 1) * 10, 255});
  ASSERT_EQ(rig.Source(VideoType::Xrgb8888, 0, row), VSURF_OK);
  ASSERT_EQ(rig.Dest(VideoType::Xrgb8888, 8, 1, 0), VSURF_OK);
  // At x = -5 only the source's right five columns land, from x = 0.
  EXPECT_EQ(rig.dest.BltFast(-5, 0, &rig.source, nullptr), VSURF_OK);
  for (int32_t x = 0; x < 8; ++x) EXPECT_EQ(rig.dest.GetPixel(x, 0), x < 5 ? uint32_t(x + 6) * 10 : 0u) << x;
  // A source rectangle and the destination clipper.
  rig.dest.FillRect(nullptr, 0);
  const tagRECT clip = {2, 0, 6, 1}, part = {1, 0, 9, 1};
  rig.dest.SetClipper(&clip);
  EXPECT_EQ(rig.dest.BltFast(0, 0, &rig.source, &part), VSURF_OK);
  for (int32_t x = 0; x < 8; ++x)
    EXPECT_EQ(rig.dest.GetPixel(x, 0), x >= 2 && x < 6 ? uint32_t(x + 2) * 10 : 0u) << x;
  // Nothing visible.
  EXPECT_EQ(rig.dest.BltFast(6, 0, &rig.source, nullptr), VSURF_INVALID);
  EXPECT_EQ(rig.dest.BltFast(INT32_MIN, 0, &rig.source, nullptr), VSURF_INVALID);
  EXPECT_EQ(rig.dest.BltFast(0, INT32_MAX, &rig.source, nullptr), VSURF_INVALID);
  V2DSurfaceRGBA never;
  EXPECT_EQ(rig.dest.BltFast(0, 0, &never, nullptr), VSURF_NOTCREATED);
  EXPECT_EQ(rig.dest.BltFast(0, 0, static_cast<V2DSurfaceRGBA*>(nullptr), nullptr), VSURF_NOTCREATED);
}

TEST(RGBABltFast, SeesPixelsWrittenThroughALock) {
  BlitRig rig;
  ASSERT_EQ(rig.opened, 0);
  ASSERT_EQ(rig.Source(VideoType::Rgb565, 0, {{0, 0}, {0, 0}, {0, 0}}), VSURF_OK);
  ASSERT_EQ(rig.Dest(VideoType::Rgb565, 3, 1, 0), VSURF_OK);
  EXPECT_EQ(rig.dest.BltFast(0, 0, &rig.source, nullptr), VSURF_OK);  // measures an empty row
  V2DSURFACEINFO info{};
  uint8_t* p = rig.source.Lock(&info);
  ASSERT_NE(p, nullptr);
  const uint32_t opaque = 0xFF00F800;  // red, opaque
  std::memcpy(p + 8, &opaque, 4);
  rig.source.Unlock();
  EXPECT_EQ(rig.dest.BltFast(0, 0, &rig.source, nullptr), VSURF_OK);
  EXPECT_EQ(NativeAt(rig.dest, 2, 0), 0xF800u);
  rig.source.PutPixel(0, 0, 0x0000FF, 255);
  EXPECT_EQ(rig.dest.BltFast(0, 0, &rig.source, nullptr), VSURF_OK);
  EXPECT_EQ(NativeAt(rig.dest, 0, 0), 0xF800u);
}

// The Rgb565 blend of one pixel as the format defines it: weights of 6 bits
// (alpha >> 2), 255 copying and 0 leaving in straight storage; in
// premultiplied storage s + t x (stored byte >> 2) / 64 per field, held at
// the field's maximum.
uint32_t Reference565(uint32_t t, uint32_t stored, bool premultiplied) {
  const uint32_t alphabyte = stored >> 24, s = stored & 0xFFFF;
  const uint32_t fields[3][2] = {{0, 0x1F}, {5, 0x3F}, {11, 0x1F}};  // shift, maximum
  if (alphabyte == (premultiplied ? 0u : 255u)) return s;
  if (alphabyte == (premultiplied ? 255u : 0u)) return t;
  const uint32_t w = alphabyte >> 2;
  uint32_t out = 0;
  for (const auto& f : fields) {
    const uint32_t tf = (t >> f[0]) & f[1], sf = (s >> f[0]) & f[1];
    const uint32_t v = premultiplied ? sf + ((tf * w) >> 6) : (tf * (64 - w) + sf * w) >> 6;
    out |= (v < f[1] ? v : f[1]) << f[0];
  }
  return out;
}

TEST(RGBABltFast, MatchesTheRgb565ArithmeticForEveryRunShape) {
  XorShift32 rng{565};
  for (int premultiplied = 0; premultiplied < 2; ++premultiplied) {
    for (int round = 0; round < 40; ++round) {
      BlitRig rig;
      ASSERT_EQ(rig.opened, 0);
      const int32_t width = int32_t(1 + rng.Below(70)), height = 6;
      rig.source.LinkECD(&rig.vcd);
      ASSERT_EQ(rig.source.Create(width, height, VideoType::Rgb565, premultiplied ? PREMULTIPLIED : 0), VSURF_OK);
      // Rows of soft edges around opaque runs of any length, with holes.
      std::vector<uint32_t> stored(size_t(width) * height);
      for (int32_t y = 0; y < height; ++y) {
        const int32_t solidfrom = int32_t(rng.Below(uint32_t(width) + 1));
        const int32_t solidto = solidfrom + int32_t(rng.Below(uint32_t(width - solidfrom) + 1));
        for (int32_t x = 0; x < width; ++x) {
          uint32_t alphabyte = x >= solidfrom && x < solidto ? 255 : rng.Below(256);
          if (rng.Below(8) == 0) alphabyte = rng.Below(2) ? 0 : 255;
          const uint32_t colour = rng.Next() & 0xFFFF;
          const uint32_t word = premultiplied ? ((255 - alphabyte) << 24) | colour : (alphabyte << 24) | colour;
          stored[size_t(y) * width + x] = word;
          rig.source.PutPixel(x, y, V2DSurfaceBase::NativeToColor(VideoType::Rgb565, colour), word >> 24);
        }
      }
      ASSERT_EQ(rig.Dest(VideoType::Rgb565, width + 3, height, 0), VSURF_OK);
      std::vector<uint32_t> before;
      for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width + 3; ++x) {
          rig.dest.PutPixel(x, y, V2DSurfaceBase::NativeToColor(VideoType::Rgb565, rng.Next() & 0xFFFF), 0, 0);
          before.push_back(NativeAt(rig.dest, x, y));
        }
      const int32_t at = int32_t(rng.Below(4));
      ASSERT_EQ(rig.dest.BltFast(at, 0, &rig.source, nullptr), VSURF_OK);
      for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width + 3; ++x) {
          const uint32_t t = before[size_t(y) * (width + 3) + x];
          const int32_t sx = x - at;
          const uint32_t expected =
              sx >= 0 && sx < width ? Reference565(t, stored[size_t(y) * width + sx], premultiplied != 0) : t;
          ASSERT_EQ(NativeAt(rig.dest, x, y), expected) << "round " << round << " width " << width << " at " << x
                                                        << ", " << y << (premultiplied ? " premultiplied" : "");
        }
    }
  }
}

// A sprite of every alpha, drawn on each display rotation: the same virtual picture.
std::vector<uint32_t> DrawSprite(uint8_t rotation, uint32_t mode, uint32_t flags, uint32_t value) {
  BlitRig rig(rotation);
  std::vector<uint32_t> picture;
  if (rig.opened != 0) return picture;
  rig.source.LinkECD(&rig.vcd);
  if (rig.source.Create(13, 9, VideoType::Rgb565, mode) != VSURF_OK) return picture;
  for (int32_t y = 0; y < 9; ++y)
    for (int32_t x = 0; x < 13; ++x) {
      const uint32_t alpha = uint32_t(x * 21 + y * 3) & 0xFF;
      const uint32_t colour = 0x102030u * uint32_t(x + 1) + 0x030201u * uint32_t(y);
      rig.source.PutPixel(x, y, mode ? colour & 0x3F3F3F : colour, mode ? 255 - alpha : alpha);
    }
  if (rig.Dest(VideoType::Rgb565, 20, 16, 0x336699) != VSURF_OK) return picture;
  const tagRECT part = {1, 1, 12, 9};
  rig.dest.BltFast(-2, 9, &rig.source, &part, flags, value);
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 20; ++x) picture.push_back(rig.dest.GetPixel(x, y));
  return picture;
}

TEST(RGBABltFast, DrawsTheSameVirtualPictureOnEveryRotation) {
  const uint32_t flagsets[][2] = {{0, 0}, {Tint | Opacity, 0xC0FF8000}};
  for (uint32_t mode : {0u, PREMULTIPLIED}) {
    for (const auto& f : flagsets) {
      const std::vector<uint32_t> upright = DrawSprite(0, mode, f[0], f[1]);
      ASSERT_EQ(upright.size(), 20u * 16u);
      for (uint8_t rotation : {1, 2, 3}) EXPECT_EQ(DrawSprite(rotation, mode, f[0], f[1]), upright) << int(rotation);
    }
  }
}

TEST(RGBABltFast, NeverDrawsOutsideTheClipperForAnyArguments) {
  XorShift32 rng{2024};
  const uint8_t types[] = {VideoType::Indexed8, VideoType::Rgb444, VideoType::Rgb555, VideoType::Rgb565,
                           VideoType::Rgb888, VideoType::Xrgb8888};
  const int32_t far[] = {INT32_MIN, -100000, -20, -1, 0, 3, 17, 30, 100000, INT32_MAX};
  for (int round = 0; round < 120; ++round) {
    BlitRig rig(uint8_t(round % 4));
    ASSERT_EQ(rig.opened, 0);
    const uint8_t type = types[rng.Below(6)];
    const uint8_t sourcetype = rng.Below(3) == 0 ? types[rng.Below(6)] : type;
    const uint32_t mode = rng.Below(2) ? PREMULTIPLIED : 0;
    rig.source.LinkECD(&rig.vcd);
    ASSERT_EQ(rig.source.Create(int32_t(1 + rng.Below(24)), int32_t(1 + rng.Below(24)), sourcetype, mode), VSURF_OK);
    for (int i = 0; i < 64; ++i)
      rig.source.PutPixel(int32_t(rng.Below(24)), int32_t(rng.Below(24)), rng.Next(), rng.Below(256));
    ASSERT_EQ(rig.Dest(type, 28, 20, 0x204060), VSURF_OK);
    const uint32_t background = rig.dest.GetPixel(0, 0);
    const tagRECT clip = {4, 3, 22, 15};
    rig.dest.SetClipper(&clip);
    for (int blit = 0; blit < 8; ++blit) {
      const bool wild = rng.Below(3) == 0;
      const int32_t x = wild ? far[rng.Below(10)] : int32_t(rng.Below(40)) - 10;
      const int32_t y = wild ? far[rng.Below(10)] : int32_t(rng.Below(40)) - 10;
      const tagRECT part = {far[rng.Below(10)] % 30, far[rng.Below(10)] % 30, far[rng.Below(10)],
                            far[rng.Below(10)]};
      rig.dest.BltFast(x, y, &rig.source, rng.Below(2) ? &part : nullptr, rng.Below(64), rng.Next());
    }
    for (int32_t py = 0; py < 20; ++py)
      for (int32_t px = 0; px < 28; ++px) {
        if (px >= clip.left && px < clip.right && py >= clip.top && py < clip.bottom) continue;
        ASSERT_EQ(rig.dest.GetPixel(px, py), background) << "round " << round << " at " << px << ", " << py;
      }
  }
}

}  // namespace
