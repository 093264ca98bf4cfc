// vsurf_2d_blt.cpp - blits onto a 2D surface: BltFast (same orientation,
// with the converting copy between formats), BltFlip (quarter turns and
// mirroring), BltFx/Blt (any rotation and scale, centred, drawn as a textured
// quad), BltPixelShader with its four shaders, and the clipping that turns
// virtual positions and rectangles into physical ones.
//
// Callers may pass any 32-bit positions and rectangles. A block is first cut
// to both surfaces in 64-bit arithmetic (in virtual coordinates, where the
// cut does not depend on the orientation), so the orientation mapping and the
// inner loops only ever see rectangles inside both surfaces. The inner loops
// are the destination depth's own routine family (render/vrdr_blt.h); a blit
// for a display that is closed draws nothing and reports 1.
//
// The rotate/scale quad is scanned and filled in virtual rows: every pixel's
// coverage and source position come from the same arithmetic whatever the
// display's orientation, and only the addresses differ, so a rotated or
// mirrored display shows exactly the picture of an unrotated one.
//
// Depends on: render/vsurf_2d.h, render/vmod_dsp.h (orientation, palette,
// open state), render/vrdr_blt.h, render/vsurf_2d_pixel.h, the math and
// memory modules.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "render/vmod_dsp.h"
#include "render/vrdr_blt.h"
#include "render/vsurf_2d.h"
#include "render/vsurf_2d_pixel.h"
#include "render/vsurf_2d_span.h"
#include "util/vmod_math.h"
#include "util/vmod_memory.h"

namespace {

using vsurf::BLITOP;
using vsurf::COLOUR_FLAGS;
using vsurf::EFFECT;
using vsurf::FastDispatcher;
using vsurf::FASTDISPATCH;
using vsurf::ResolveBlit;
using vsurf::RoutineFill;
using vsurf::WithShiftBlend;

constexpr uint32_t ANGLE_MASK = 4095;    // 4096 steps to the full turn
constexpr uint32_t QUARTER_TURN = 1024;
constexpr int32_t UNIT_SCALE = 65536;    // 1.0 in 16.16
constexpr int64_t ONE_PIXEL = 1024;      // 1.0 in 22.10
// The side scan samples each pixel at its bottom-right corner and keeps
// samples in (a, b]. Moving the quad by just under half a pixel samples the
// pixel centres and keeps those in [a, b) on the 22.10 grid: the same side of
// an edge as the floor of the source position puts a texel boundary.
constexpr int64_t SAMPLE_SHIFT = ONE_PIXEL / 2 - 1;

// --- flags of one blit ----------------------------------------------------------

// The value that hands the resolved opacity on to a draw-flag call.
uint32_t ResolvedValue(const BLITOP& op) {
  return (op.flags & COLOUR_FLAGS) ? (op.opacity << 24) | op.fill : op.opacity;
}

typedef void (*FLIPDISPATCH)(int32_t, int32_t, int32_t, int32_t, uint8_t*, const uint8_t*, int32_t, int32_t,
                             uint32_t, uint32_t, uint32_t, uint32_t);

// Each depth runs its own flipping family; Rgb555 and Rgb888 have none.
FLIPDISPATCH FlipDispatcher(uint8_t videotype) {
  switch (videotype) {
    case VideoType::Indexed8: return VRdrBltFlip8;
    case VideoType::Rgb444: return VRdrBltFlip12;
    case VideoType::Rgb565: return VRdrBltFlip16;
    case VideoType::Xrgb8888: return VRdrBltFlip32;
    default: return nullptr;
  }
}

// 1 unless both surfaces exist and the display they draw for, if any, is open.
int BlitReady(const V2DSurface* dest, const V2DSurface* source) {
  if (!source || !dest->IsCreated() || !source->IsCreated()) return VSURF_NOTCREATED;
  const VCD* vcd = dest->GetECD();
  if (vcd && vcd->display && !vcd->display->IsOpen()) return VSURF_NOTCREATED;
  return VSURF_OK;
}

ClassVDisplay* DisplayOf(const V2DSurface* surface) {
  const VCD* vcd = surface->GetECD();
  return vcd ? vcd->display : nullptr;
}

// --- 64-bit rectangles and the turned block ---------------------------------------

struct BOX {
  int64_t left, top, right, bottom;
};

BOX BoxOf(const tagRECT& r) { return {r.left, r.top, r.right, r.bottom}; }

// Only for boxes already cut to a surface.
tagRECT RectOf(const BOX& b) { return {int32_t(b.left), int32_t(b.top), int32_t(b.right), int32_t(b.bottom)}; }

bool IsEmpty(const BOX& b) { return b.right <= b.left || b.bottom <= b.top; }

int64_t Larger(int64_t a, int64_t b) { return a > b ? a : b; }
int64_t Smaller(int64_t a, int64_t b) { return a < b ? a : b; }

BOX Intersect(const BOX& a, const BOX& b) {
  return {Larger(a.left, b.left), Larger(a.top, b.top), Smaller(a.right, b.right), Smaller(a.bottom, b.bottom)};
}

BOX VirtualBox(const V2DSurfaceBase* s) { return {0, 0, s->GetWidth(), s->GetHeight()}; }

BOX SourceBox(const V2DSurfaceBase* source, const tagRECT* rect) { return rect ? BoxOf(*rect) : VirtualBox(source); }

// A BltFlip turn: the source is mirrored by the flip bits, then turned
// clockwise by the rotation (0, 1024, 2048 or 3072).
struct TURN {
  uint32_t rotation;
  uint8_t flip;
};

bool Sideways(uint32_t rotation) { return rotation == QUARTER_TURN || rotation == 3 * QUARTER_TURN; }

// The source pixel (i, j) of a w x h rectangle that destination pixel (a, b)
// of the turned block shows.
void DestToSource(const TURN& t, int64_t w, int64_t h, int64_t a, int64_t b, int64_t& i, int64_t& j) {
  switch (t.rotation) {
    case QUARTER_TURN: i = b, j = h - 1 - a; break;          // the left column becomes the top row
    case 2 * QUARTER_TURN: i = w - 1 - a, j = h - 1 - b; break;
    case 3 * QUARTER_TURN: i = w - 1 - b, j = a; break;
    default: i = a, j = b; break;
  }
  if (t.flip & V2DFLIP_LEFTRIGHT) i = w - 1 - i;
  if (t.flip & V2DFLIP_TOPBOTTOM) j = h - 1 - j;
}

void SourceToDest(const TURN& t, int64_t w, int64_t h, int64_t i, int64_t j, int64_t& a, int64_t& b) {
  if (t.flip & V2DFLIP_LEFTRIGHT) i = w - 1 - i;
  if (t.flip & V2DFLIP_TOPBOTTOM) j = h - 1 - j;
  switch (t.rotation) {
    case QUARTER_TURN: a = h - 1 - j, b = i; break;
    case 2 * QUARTER_TURN: a = w - 1 - i, b = h - 1 - j; break;
    case 3 * QUARTER_TURN: a = j, b = w - 1 - i; break;
    default: a = i, b = j; break;
  }
}

// A sub-box of the block in local coordinates, carried to the other side of
// the turn through its two corner pixels.
BOX MapLocal(const BOX& local, const TURN& t, int64_t w, int64_t h, bool todest) {
  int64_t a0, b0, a1, b1;
  if (todest) {
    SourceToDest(t, w, h, local.left, local.top, a0, b0);
    SourceToDest(t, w, h, local.right - 1, local.bottom - 1, a1, b1);
  } else {
    DestToSource(t, w, h, local.left, local.top, a0, b0);
    DestToSource(t, w, h, local.right - 1, local.bottom - 1, a1, b1);
  }
  return {Smaller(a0, a1), Smaller(b0, b1), Larger(a0, a1) + 1, Larger(b0, b1) + 1};
}

// A source rectangle drawn turned with its top-left at (x, y).
struct BLOCK {
  int64_t x, y;
  BOX rect;
};

BOX DestOf(const BLOCK& b, const TURN& t) {
  const int64_t w = b.rect.right - b.rect.left, h = b.rect.bottom - b.rect.top;
  return Sideways(t.rotation) ? BOX{b.x, b.y, b.x + h, b.y + w} : BOX{b.x, b.y, b.x + w, b.y + h};
}

// Keeps the source pixels inside `bounds`; the position moves where the cut
// side lands on the destination's left or top.
bool CutToSource(BLOCK& b, const TURN& t, const BOX& bounds) {
  if (IsEmpty(b.rect)) return false;
  const BOX kept = Intersect(b.rect, bounds);
  if (IsEmpty(kept)) return false;
  const int64_t w = b.rect.right - b.rect.left, h = b.rect.bottom - b.rect.top;
  const BOX local = {kept.left - b.rect.left, kept.top - b.rect.top, kept.right - b.rect.left,
                     kept.bottom - b.rect.top};
  const BOX dest = MapLocal(local, t, w, h, true);
  b.x += dest.left;
  b.y += dest.top;
  b.rect = kept;
  return true;
}

// Keeps the source pixels whose destination lies inside `window`.
bool CutToDest(BLOCK& b, const TURN& t, const BOX& window) {
  if (IsEmpty(b.rect)) return false;
  const BOX dest = DestOf(b, t), seen = Intersect(dest, window);
  if (IsEmpty(seen)) return false;
  const int64_t w = b.rect.right - b.rect.left, h = b.rect.bottom - b.rect.top;
  const BOX local = {seen.left - b.x, seen.top - b.y, seen.right - b.x, seen.bottom - b.y};
  const BOX kept = MapLocal(local, t, w, h, false);
  b.rect = {b.rect.left + kept.left, b.rect.top + kept.top, b.rect.left + kept.right, b.rect.top + kept.bottom};
  b.x = seen.left;
  b.y = seen.top;
  return true;
}

// Cut to the source and to the destination (virtual): afterwards everything fits 32 bits.
bool FitBlock(BLOCK& b, const TURN& t, const V2DSurfaceBase* dest, const V2DSurfaceBase* source) {
  return CutToSource(b, t, VirtualBox(source)) && CutToDest(b, t, VirtualBox(dest));
}

// --- locked pixels -----------------------------------------------------------------

struct VIEW {
  uint8_t* pixels = nullptr;
  V2DSURFACEINFO info{};
  uint32_t Bytes() const { return info.bitsperpixel / 8u; }
  int32_t Pitch() const { return int32_t(info.rowbytes); }
  uint8_t* At(int32_t x, int32_t y) const { return pixels + size_t(y) * info.rowbytes + size_t(x) * Bytes(); }
  // Virtual pixel (x, y), inside the surface.
  uint8_t* AtVirtual(int64_t x, int64_t y) const {
    return pixels + (ptrdiff_t(info.origin) + ptrdiff_t(x) * info.xstep + ptrdiff_t(y) * info.ystep);
  }
};

// Both surfaces locked for the length of one blit.
class BlitLock {
 public:
  BlitLock(V2DSurface* dest, V2DSurface* source) : d(dest), s(source) {
    dst.pixels = d->Lock(&dst.info);
    src.pixels = s->Lock(&src.info);
  }
  ~BlitLock() {
    if (dst.pixels) d->Unlock();
    if (src.pixels) s->Unlock();
  }
  BlitLock(const BlitLock&) = delete;
  BlitLock& operator=(const BlitLock&) = delete;
  bool Ok() const { return dst.pixels && src.pixels; }

  VIEW dst, src;

 private:
  V2DSurface* d;
  V2DSurface* s;
};

// --- copies and conversions ----------------------------------------------------------

// Rows copied in the order that keeps an overlapping copy within one surface intact.
void CopyRows(uint8_t* dst, int32_t dstpitch, const uint8_t* src, int32_t srcpitch, size_t rowbytes, int32_t height) {
  if (rowbytes == size_t(dstpitch) && rowbytes == size_t(srcpitch)) {
    std::memmove(dst, src, rowbytes * size_t(height));
    return;
  }
  const bool upwards = reinterpret_cast<uintptr_t>(dst) > reinterpret_cast<uintptr_t>(src);
  for (int32_t n = 0; n < height; n++) {
    const int32_t row = upwards ? height - 1 - n : n;
    std::memmove(dst + ptrdiff_t(row) * dstpitch, src + ptrdiff_t(row) * srcpitch, rowbytes);
  }
}

// The source block a routine reads. A surface blitting onto itself over an
// overlapping rectangle gets the block copied aside first: the routines read
// whole rows that must not change under them.
class SourceBlock {
 public:
  SourceBlock(const VIEW& src, const tagRECT& r, bool aside) {
    if (!aside) {
      data = src.At(r.left, r.top);
      pitch = src.Pitch();
      return;
    }
    pitch = (r.right - r.left) * int32_t(src.Bytes());
    copy = static_cast<uint8_t*>(ClassVMemory::Alloc(uint32_t(pitch) * uint32_t(r.bottom - r.top)));
    if (copy) CopyRows(copy, pitch, src.At(r.left, r.top), src.Pitch(), size_t(pitch), r.bottom - r.top);
    data = copy;
  }
  ~SourceBlock() { ClassVMemory::DeAlloc(copy); }
  SourceBlock(const SourceBlock&) = delete;
  SourceBlock& operator=(const SourceBlock&) = delete;

  const uint8_t* data = nullptr;  // the block's top-left pixel; null when no copy could be made
  int32_t pitch = 0;

 private:
  uint8_t* copy = nullptr;
};

// Whether a w x h destination block at (x, y) and source rectangle r share pixels.
bool Overlaps(int32_t x, int32_t y, int64_t w, int64_t h, const tagRECT& r) {
  return x < r.right && r.left < x + w && y < r.bottom && r.top < y + h;
}

template <int SB, int DB, typename Convert>
void ConvertRows(uint8_t* dst, int32_t dstpitch, const uint8_t* src, int32_t srcpitch, int32_t width,
                 int32_t height, Convert convert) {
  for (int32_t y = 0; y < height; y++) {
    const uint8_t* s = src + ptrdiff_t(y) * srcpitch;
    uint8_t* d = dst + ptrdiff_t(y) * dstpitch;
    for (int32_t x = 0; x < width; x++, s += SB, d += DB) vsurf::StorePixel<DB>(d, convert(vsurf::LoadPixel<SB>(s)));
  }
}

template <int SB, typename Convert>
void ConvertInto(uint32_t dstbytes, uint8_t* dst, int32_t dstpitch, const uint8_t* src, int32_t srcpitch,
                 int32_t width, int32_t height, Convert convert) {
  switch (dstbytes) {
    case 1: ConvertRows<SB, 1>(dst, dstpitch, src, srcpitch, width, height, convert); break;
    case 2: ConvertRows<SB, 2>(dst, dstpitch, src, srcpitch, width, height, convert); break;
    case 3: ConvertRows<SB, 3>(dst, dstpitch, src, srcpitch, width, height, convert); break;
    default: ConvertRows<SB, 4>(dst, dstpitch, src, srcpitch, width, height, convert); break;
  }
}

template <typename Convert>
void ConvertPixels(uint32_t srcbytes, uint32_t dstbytes, uint8_t* dst, int32_t dstpitch, const uint8_t* src,
                   int32_t srcpitch, int32_t width, int32_t height, Convert convert) {
  switch (srcbytes) {
    case 1: ConvertInto<1>(dstbytes, dst, dstpitch, src, srcpitch, width, height, convert); break;
    case 2: ConvertInto<2>(dstbytes, dst, dstpitch, src, srcpitch, width, height, convert); break;
    case 3: ConvertInto<3>(dstbytes, dst, dstpitch, src, srcpitch, width, height, convert); break;
    default: ConvertInto<4>(dstbytes, dst, dstpitch, src, srcpitch, width, height, convert); break;
  }
}

// The palette lookup's index for an interface colour: its 15-bit reduction.
uint32_t LookupKey(uint32_t c) { return (((c >> 19) & 0x1F) << 10) | (((c >> 11) & 0x1F) << 5) | ((c >> 3) & 0x1F); }

// The converting copy between formats: rows as they are for the same format;
// an indexed source through the display palette converted once to the
// destination format (the display caches it until the palette changes); into
// an indexed destination through the display's palette lookup; between true
// colour formats pixel by pixel. 1 without a display where its palette is
// needed, 2 when the lookup cannot be built.
int VxBltColorConvert(ClassVDisplay* display, uint8_t* dst, uint8_t dsttype, int32_t dstpitch, const uint8_t* src,
                      uint8_t srctype, int32_t srcpitch, int32_t width, int32_t height) {
  const uint32_t srcbytes = V2DSurfaceBase::BitsPerPixel(srctype) / 8u;
  const uint32_t dstbytes = V2DSurfaceBase::BitsPerPixel(dsttype) / 8u;
  if (srctype == dsttype) {
    CopyRows(dst, dstpitch, src, srcpitch, size_t(width) * dstbytes, height);
    return VSURF_OK;
  }
  if (srctype == VideoType::Indexed8 || dsttype == VideoType::Indexed8) {
    if (!display) return VSURF_NOTCREATED;
    if (srctype == VideoType::Indexed8) {
      const uint32_t* palette = display->GetPaletteConversion(dsttype);
      ConvertPixels(1, dstbytes, dst, dstpitch, src, srcpitch, width, height,
                    [palette](uint32_t index) { return palette[index & 0xFF]; });
      return VSURF_OK;
    }
    if (!display->BuildPaletteLookup()) return VSURF_NOMEMORY;
    const uint8_t* lookup = display->GetPaletteLookup();
    ConvertPixels(srcbytes, 1, dst, dstpitch, src, srcpitch, width, height, [lookup, srctype](uint32_t native) {
      return uint32_t(lookup[LookupKey(V2DSurfaceBase::NativeToColor(srctype, native))]);
    });
    return VSURF_OK;
  }
  ConvertPixels(srcbytes, dstbytes, dst, dstpitch, src, srcpitch, width, height, [srctype, dsttype](uint32_t native) {
    return V2DSurfaceBase::ColorToNative(dsttype, V2DSurfaceBase::NativeToColor(srctype, native));
  });
  return VSURF_OK;
}

// Between formats with flags: each source pixel as an interface colour (an
// index through the display palette), skipped when keyed, drawn with the
// flags by the single-pixel path (into an indexed surface as the nearest
// palette index).
int DrawConverted(V2DSurface* dest, V2DSurface* source, const BlitLock& lock, int32_t x, int32_t y,
                  const tagRECT& r, const BLITOP& op) {
  const uint8_t srctype = lock.src.info.videotype, dsttype = lock.dst.info.videotype;
  ClassVDisplay* display = DisplayOf(dest);
  const bool indexed = srctype == VideoType::Indexed8 || dsttype == VideoType::Indexed8;
  if (indexed && !display) return VSURF_NOTCREATED;
  uint32_t palette[256] = {};
  const uint8_t* lookup = nullptr;
  if (srctype == VideoType::Indexed8) display->GetPalette(palette, 0, 256);
  if (dsttype == VideoType::Indexed8) {
    if (!display->BuildPaletteLookup()) return VSURF_NOMEMORY;
    lookup = display->GetPaletteLookup();
  }
  const bool keyed = op.flags & BlitFlags::ColorKey;
  const uint32_t key = source->GetColorKey(), flags = op.flags & ~BlitFlags::ColorKey, value = ResolvedValue(op);
  for (int32_t j = 0; j < r.bottom - r.top; j++) {
    for (int32_t i = 0; i < r.right - r.left; i++) {
      uint32_t colour = source->GetPixelRaw(r.left + i, r.top + j, lock.src.pixels);
      if (keyed && colour == key) continue;
      if (srctype == VideoType::Indexed8) colour = palette[colour & 0xFF];
      if (lookup) colour = lookup[LookupKey(colour)];
      dest->PutPixelRaw(x + i, y + j, colour, flags, value);
    }
  }
  return VSURF_OK;
}

// ColorFill without ColorKey: the block the source rectangle would cover is
// filled with the fill colour and the remaining flags.
int FillBlock(V2DSurface* dest, int64_t x, int64_t y, V2DSurface* source, const tagRECT* rect, const TURN& t,
              const BLITOP& op) {
  BLOCK b = {x, y, SourceBox(source, rect)};
  if (FitBlock(b, t, dest, source)) {
    const tagRECT area = RectOf(DestOf(b, t));
    dest->FillRect(&area, op.fill, op.flags & ~BlitFlags::ColorFill, op.opacity);
  }
  return VSURF_OK;
}

// Steps 1 and 3 of BltFx: the block is cut to both surfaces first, so its
// 64-bit position fits the 32-bit calls.
int CentredBlit(V2DSurface* dest, int64_t x, int64_t y, V2DSurface* source, const BOX& rect, const TURN& t,
                uint32_t flags, uint32_t value) {
  BLOCK b = {x, y, rect};
  if (!FitBlock(b, t, dest, source)) return VSURF_INVALID;
  const tagRECT r = RectOf(b.rect);
  if (t.rotation == 0 && t.flip == 0) return dest->BltFast(int32_t(b.x), int32_t(b.y), source, &r, flags, value);
  return dest->BltFlip(int32_t(b.x), int32_t(b.y), source, &r, t.rotation, t.flip, flags, value);
}

// --- the rotate/scale quad -----------------------------------------------------------

int64_t FloorDiv(int64_t v, int64_t d) {
  const int64_t q = v / d;
  return (v % d != 0 && (v < 0) != (d < 0)) ? q - 1 : q;
}

bool Fits32(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

// The quad in virtual coordinates: corners (22.10, moved by SAMPLE_SHIFT),
// the rows to scan, and the affine map from a destination pixel to its
// source position (16.16).
struct QUAD {
  int32_t x[4], y[4];
  int32_t top, bottom;
  BOX texels;                   // the source rectangle every sample is kept in
  int64_t u0, dudx, dudy;       // source x at pixel (0, 0) and per pixel right and down
  int64_t v0, dvdx, dvdy;       // source y likewise
};

// The affine map's source position for destination pixel centres: with the
// block's centre (cx2 / 2) and the source rectangle's centre both continuous,
// u(x, y) = centre + dudx * (x + 0.5 - cx) + dudy * (y + 0.5 - cy).
int64_t MapOrigin(int64_t centre16, int64_t dx, int64_t dy, int64_t cx2, int64_t cy2) {
  return centre16 + FloorDiv(dx * (1 - cx2) + dy * (1 - cy2), 2);
}

// Corners, rows and map of the quad for (x, y), the clipped source
// rectangle, the parameters and the angle's cosine and sine; 4 when the quad
// does not fit 22.10, has no area or misses the clipper.
int BuildQuad(int64_t x, int64_t y, const BOX& rect, const V2DBLTFX& fx, int32_t cosv, int32_t sinv,
              const BOX& clip, QUAD& q) {
  if (fx.xscale == 0 || fx.yscale == 0) return VSURF_INVALID;
  const int64_t w = rect.right - rect.left, h = rect.bottom - rect.top;
  const int64_t mx = (fx.flip & V2DFLIP_LEFTRIGHT) ? -1 : 1, my = (fx.flip & V2DFLIP_TOPBOTTOM) ? -1 : 1;
  // An odd side centres on a pixel's middle, as the unscaled block is placed.
  const int64_t cx2 = 2 * x + (w & 1), cy2 = 2 * y + (h & 1);
  const int64_t halfx = w * fx.xscale / 128 * mx, halfy = h * fx.yscale / 128 * my;  // 22.10
  static const int SIGNS[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
  int64_t xmin = INT64_MAX, xmax = INT64_MIN, ymin = INT64_MAX, ymax = INT64_MIN;
  for (int i = 0; i < 4; i++) {
    const int64_t ox = SIGNS[i][0] * halfx, oy = SIGNS[i][1] * halfy;
    const int64_t px = cx2 * (ONE_PIXEL / 2) + FloorDiv(ox * cosv - oy * sinv + 32768, 65536) + SAMPLE_SHIFT;
    const int64_t py = cy2 * (ONE_PIXEL / 2) + FloorDiv(ox * sinv + oy * cosv + 32768, 65536) + SAMPLE_SHIFT;
    if (!Fits32(px) || !Fits32(py)) return VSURF_INVALID;
    q.x[i] = int32_t(px), q.y[i] = int32_t(py);
    xmin = Smaller(xmin, px), xmax = Larger(xmax, px), ymin = Smaller(ymin, py), ymax = Larger(ymax, py);
  }
  // Columns and rows whose samples (n + 1) * 1024 lie in (min, max].
  const int64_t top = Larger(FloorDiv(ymin, ONE_PIXEL), clip.top);
  const int64_t bottom = Smaller(FloorDiv(ymax, ONE_PIXEL), clip.bottom);
  const int64_t left = Larger(FloorDiv(xmin, ONE_PIXEL), clip.left);
  const int64_t right = Smaller(FloorDiv(xmax, ONE_PIXEL), clip.right);
  if (bottom <= top || right <= left) return VSURF_INVALID;
  q.top = int32_t(top), q.bottom = int32_t(bottom);
  q.texels = rect;
  // The inverse of the corner mapping: turn back, then undo scale and flip.
  q.dudx = int64_t(cosv) * mx * UNIT_SCALE / fx.xscale;
  q.dudy = int64_t(sinv) * mx * UNIT_SCALE / fx.xscale;
  q.dvdx = -int64_t(sinv) * my * UNIT_SCALE / fx.yscale;
  q.dvdy = int64_t(cosv) * my * UNIT_SCALE / fx.yscale;
  q.u0 = MapOrigin(rect.left * UNIT_SCALE + w * (UNIT_SCALE / 2), q.dudx, q.dudy, cx2, cy2);
  q.v0 = MapOrigin(rect.top * UNIT_SCALE + h * (UNIT_SCALE / 2), q.dvdx, q.dvdy, cx2, cy2);
  return VSURF_OK;
}

// Walks the source along one span: positions in 16.16, every sample kept
// inside the source rectangle.
struct SAMPLER {
  const VIEW* source;
  int64_t u, v, du, dv;
  BOX texels;

  static int64_t Texel(int64_t fixed, int64_t low, int64_t high) {
    if (fixed < low * UNIT_SCALE) return low;
    const int64_t t = fixed >> 16;  // not negative here
    return t < high ? t : high - 1;
  }
  const uint8_t* At() const {
    return source->AtVirtual(Texel(u, texels.left, texels.right), Texel(v, texels.top, texels.bottom));
  }
  void Next() { u += du, v += dv; }
};

// One row of the quad from column `left`: plain, keyed, or through the
// depth's routines for any other flag.
void FillSpan(const BlitLock& lock, const QUAD& q, int32_t row, int32_t left, int32_t count, const EFFECT& e) {
  SAMPLER s = {&lock.src, q.u0 + q.dudx * left + q.dudy * row, q.v0 + q.dvdx * left + q.dvdy * row, q.dudx, q.dvdx,
               q.texels};
  uint8_t* d = lock.dst.AtVirtual(left, row);
  const ptrdiff_t dstep = lock.dst.info.xstep;
  vsurf::FillSpan(lock.dst.Bytes(), d, dstep, count, s, e);
}

// --- pixel shaders ---------------------------------------------------------------------

// Shaders see 0x00RRGGBB (red in bits 16-23), not the interface layout.
uint32_t SwapRedBlue(uint32_t c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }

// Where a physical offset (i, j) of a w x h block lies in the block's
// virtual columns and rows, so shaders see the picture's own coordinates.
struct SHADEGRID {
  bool swapped;
  bool xmirrored, ymirrored;
  int32_t width, height;
  void Virtual(int32_t i, int32_t j, int32_t& column, int32_t& row) const {
    const int32_t pi = xmirrored ? width - 1 - i : i, pj = ymirrored ? height - 1 - j : j;
    column = swapped ? pj : pi;
    row = swapped ? pi : pj;
  }
};

template <int B, bool Keyed>
void ShadeRows(uint8_t videotype, const SHADEGRID& grid, uint8_t* dst, const uint8_t* src, int32_t dstpitch,
               int32_t srcpitch, VPSHADER shader, uint32_t value, uint32_t key) {
  for (int32_t j = 0; j < grid.height; j++) {
    uint8_t* d = dst + ptrdiff_t(j) * dstpitch;
    const uint8_t* s = src + ptrdiff_t(j) * srcpitch;
    for (int32_t i = 0; i < grid.width; i++, d += B, s += B) {
      const uint32_t sp = vsurf::LoadPixel<B>(s);
      if (Keyed && sp == key) continue;
      if constexpr (B == 1) {
        vsurf::StorePixel<B>(d, sp);  // indices have no colour to shade
        continue;
      }
      int32_t column, row;
      grid.Virtual(i, j, column, row);
      const uint32_t dc = SwapRedBlue(V2DSurfaceBase::NativeToColor(videotype, vsurf::LoadPixel<B>(d)));
      const uint32_t sc = SwapRedBlue(V2DSurfaceBase::NativeToColor(videotype, sp));
      const uint32_t out = shader(dc, sc, column, row, value);
      vsurf::StorePixel<B>(d, V2DSurfaceBase::ColorToNative(videotype, SwapRedBlue(out & 0xFFFFFF)));
    }
  }
}

template <bool Keyed>
void ShadeBlock(uint32_t bytes, uint8_t videotype, const SHADEGRID& grid, uint8_t* dst, const uint8_t* src,
                int32_t dstpitch, int32_t srcpitch, VPSHADER shader, uint32_t value, uint32_t key) {
  switch (bytes) {
    case 1: ShadeRows<1, Keyed>(videotype, grid, dst, src, dstpitch, srcpitch, shader, value, key); break;
    case 2: ShadeRows<2, Keyed>(videotype, grid, dst, src, dstpitch, srcpitch, shader, value, key); break;
    case 3: ShadeRows<3, Keyed>(videotype, grid, dst, src, dstpitch, srcpitch, shader, value, key); break;
    default: ShadeRows<4, Keyed>(videotype, grid, dst, src, dstpitch, srcpitch, shader, value, key); break;
  }
}

}  // namespace

// --- shaders ---------------------------------------------------------------------------

uint32_t VPShader_AND(uint32_t dst, uint32_t src, int32_t, int32_t, uint32_t) { return dst & src; }

uint32_t VPShader_OR(uint32_t dst, uint32_t src, int32_t, int32_t, uint32_t) { return dst | src; }

uint32_t VPShader_XOR(uint32_t dst, uint32_t src, int32_t, int32_t, uint32_t) { return dst ^ src; }

uint32_t VPShader_Grayscale(uint32_t, uint32_t src, int32_t, int32_t, uint32_t) {
  const uint32_t grey = (((src >> 16) & 0xFF) + ((src >> 8) & 0xFF) + (src & 0xFF)) / 3;
  return grey * 0x010101;
}

// --- BltFast -----------------------------------------------------------------------------

int V2DSurface::BltFast(int32_t x, int32_t y, V2DSurface* source, const tagRECT* rect, uint32_t flags,
                        uint32_t value) {
  const int ready = BlitReady(this, source);
  if (ready != VSURF_OK) return ready;
  BLITOP op;
  if (!ResolveBlit(videotype, flags, value, op)) return VSURF_NOTHING;
  if ((op.flags & (BlitFlags::ColorKey | COLOUR_FLAGS)) == BlitFlags::ColorFill)
    return FillBlock(this, x, y, source, rect, TURN{0, 0}, op);

  tagRECT r;
  const int clipped = GetBltFastPositions(x, y, r, rect, source);
  if (clipped != VSURF_OK) return clipped;
  BlitLock lock(this, source);
  if (!lock.Ok()) return VSURF_NOPIXELS;
  const int32_t width = r.right - r.left, height = r.bottom - r.top;
  uint8_t* dst = lock.dst.At(x, y);
  const uint8_t* src = lock.src.At(r.left, r.top);
  if (!op.flags)
    return VxBltColorConvert(Display(), dst, videotype, lock.dst.Pitch(), src, source->videotype, lock.src.Pitch(),
                             width, height);
  if (source->videotype != videotype) return DrawConverted(this, source, lock, x, y, r, op);
  FASTDISPATCH dispatch = FastDispatcher(videotype);
  if (!dispatch) return VSURF_OK;
  const SourceBlock block(lock.src, r, source == this && Overlaps(x, y, width, height, r));
  if (!block.data) return VSURF_NOMEMORY;
  dispatch(width, height, dst, block.data, lock.dst.Pitch(), block.pitch, source->colorkey, RoutineFill(videotype, op),
           op.opacity, WithShiftBlend(op.flags, op.opacity));
  return VSURF_OK;
}

// --- BltFlip -----------------------------------------------------------------------------

int V2DSurface::BltFlip(int32_t x, int32_t y, V2DSurface* source, const tagRECT* rect, uint32_t rotation,
                        uint8_t flip, uint32_t flags, uint32_t value) {
  const int ready = BlitReady(this, source);
  if (ready != VSURF_OK) return ready;
  rotation &= ANGLE_MASK;  // a full turn (4096) is no turn
  if (rotation % QUARTER_TURN) return VSURF_INVALID;
  flip &= V2DFLIP_LEFTRIGHT | V2DFLIP_TOPBOTTOM;
  BLITOP op;
  if (!ResolveBlit(videotype, flags, value, op)) return VSURF_NOTHING;
  if ((op.flags & (BlitFlags::ColorKey | COLOUR_FLAGS)) == BlitFlags::ColorFill)
    return FillBlock(this, x, y, source, rect, TURN{rotation, flip}, op);

  tagRECT r;
  const int clipped = GetBltFlipPositions(x, y, r, rect, source, rotation, flip);
  if (clipped != VSURF_OK) return clipped;
  BlitLock lock(this, source);
  if (!lock.Ok()) return VSURF_NOPIXELS;
  if (source->videotype != videotype) return VSURF_NOLOADER;
  FLIPDISPATCH dispatch = FlipDispatcher(videotype);
  if (!dispatch) return VSURF_OK;
  const TURN t = {rotation, flip};
  const int64_t w = r.right - r.left, h = r.bottom - r.top;
  const bool sideways = Sideways(rotation);
  const int32_t bw = int32_t(sideways ? h : w), bh = int32_t(sideways ? w : h);
  const SourceBlock block(lock.src, r, source == this && Overlaps(x, y, bw, bh, r));
  if (!block.data) return VSURF_NOMEMORY;
  // The source walk in pixels: where destination pixels (0, 0), (1, 0) and
  // (0, 1) read, a source row being the block's pitch in pixels.
  const int64_t bytes = lock.src.Bytes(), rowpixels = block.pitch / bytes;
  int64_t i0, j0, i1, j1, i2, j2;
  DestToSource(t, w, h, 0, 0, i0, j0);
  DestToSource(t, w, h, 1, 0, i1, j1);
  DestToSource(t, w, h, 0, 1, i2, j2);
  const int32_t xstep = int32_t((i1 - i0) + (j1 - j0) * rowpixels);
  const int32_t ystep = int32_t((i2 - i0) + (j2 - j0) * rowpixels);
  dispatch(xstep, ystep, bw, bh, lock.dst.At(x, y), block.data + ((i0 + j0 * rowpixels) * bytes), lock.dst.Pitch(),
           block.pitch, source->colorkey, RoutineFill(videotype, op), op.opacity, WithShiftBlend(op.flags, op.opacity));
  return VSURF_OK;
}

// --- BltFx and Blt -------------------------------------------------------------------------

int V2DSurface::BltFx(int32_t x, int32_t y, V2DSurface* source, const tagRECT* rect, const V2DBLTFX* fx) {
  const int ready = BlitReady(this, source);
  if (ready != VSURF_OK) return ready;
  const V2DBLTFX p = fx ? *fx : V2DBLTFX{0, 0, UNIT_SCALE, UNIT_SCALE, 0, 0};
  const uint32_t rotation = p.rotation & ANGLE_MASK;
  const uint8_t flip = p.flip & (V2DFLIP_LEFTRIGHT | V2DFLIP_TOPBOTTOM);
  const bool unscaled = p.xscale == UNIT_SCALE && p.yscale == UNIT_SCALE;
  const BOX r = SourceBox(source, rect);
  const int64_t w = r.right - r.left, h = r.bottom - r.top;
  if (!flip && rotation == 0 && unscaled)
    return CentredBlit(this, x - w / 2, y - h / 2, source, r, TURN{0, 0}, p.flags, p.value);

  BLITOP op;
  if (!ResolveBlit(videotype, p.flags, p.value, op)) return VSURF_NOTHING;
  if (source->videotype != videotype) return VSURF_TYPESDIFFER;
  if (rotation % QUARTER_TURN == 0 && unscaled) {
    const bool sideways = Sideways(rotation);
    return CentredBlit(this, x - (sideways ? h : w) / 2, y - (sideways ? w : h) / 2, source, r, TURN{rotation, flip},
                       op.flags, ResolvedValue(op));
  }

  // A textured quad, in virtual coordinates.
  tagRECT sourceclip, destclip;
  source->GetClipper(&sourceclip);
  GetClipper(&destclip);
  const BOX texels = Intersect(r, BoxOf(sourceclip));
  if (IsEmpty(texels)) return VSURF_INVALID;
  const ClassVMath* math = ecd ? ecd->math : nullptr;
  if (rotation && !math) return VSURF_NOTCREATED;
  const int32_t cosv = rotation ? math->Cos(rotation) : UNIT_SCALE, sinv = rotation ? math->Sin(rotation) : 0;
  V2DBLTFX quadfx = p;
  quadfx.flip = flip;
  QUAD q;
  const int built = BuildQuad(x, y, texels, quadfx, cosv, sinv, BoxOf(destclip), q);
  if (built != VSURF_OK) return built;
  BlitLock lock(this, source);
  if (!lock.Ok()) return VSURF_NOPIXELS;

  ResetScanLines(q.top, q.bottom);
  for (int i = 0; i < 4; i++) ScanPolyLine(q.x[i], q.y[i], q.x[(i + 1) & 3], q.y[(i + 1) & 3]);
  const EFFECT effect = {FastDispatcher(videotype), source->colorkey, RoutineFill(videotype, op), op.opacity, op.flags};
  if ((op.flags & ~BlitFlags::ColorKey) && !effect.dispatch) return VSURF_OK;
  for (int32_t row = scanfirst; row < scanend; row++) {
    const int32_t left = scanleftx[row] > destclip.left ? scanleftx[row] : destclip.left;
    const int32_t right = scanrightx[row] < destclip.right - 1 ? scanrightx[row] : destclip.right - 1;
    if (right >= left) FillSpan(lock, q, row, left, right - left + 1, effect);
  }
  return VSURF_OK;
}

int V2DSurface::Blt(int32_t x, int32_t y, V2DSurface* source, const tagRECT* rect, uint32_t rotation, int32_t scale,
                    uint8_t flip, uint32_t flags, uint32_t value) {
  const V2DBLTFX fx = {flags, value, scale, scale, rotation, flip};
  return BltFx(x, y, source, rect, &fx);
}

// --- BltPixelShader ------------------------------------------------------------------------

int V2DSurface::BltPixelShader(int32_t x, int32_t y, V2DSurface* source, const tagRECT* rect, VPSHADER shader,
                               uint32_t flags, uint32_t value) {
  const int ready = BlitReady(this, source);
  if (ready != VSURF_OK) return ready;
  if (!shader) return VSURF_INVALID;
  if (source->videotype != videotype) return VSURF_TYPESDIFFER;
  tagRECT r;
  const int clipped = GetBltFastPositions(x, y, r, rect, source);
  if (clipped != VSURF_OK) return clipped;
  BlitLock lock(this, source);
  if (!lock.Ok()) return VSURF_NOPIXELS;
  uint8_t* dst = lock.dst.At(x, y);
  const uint8_t* src = lock.src.At(r.left, r.top);
  const int32_t width = r.right - r.left, height = r.bottom - r.top;
  if (flags & BlitFlags::ColorKey)
    MemBltColorkey(dst, src, width, height, lock.dst.Pitch(), lock.src.Pitch(), shader, value, source->colorkey);
  else
    MemBlt(dst, src, width, height, lock.dst.Pitch(), lock.src.Pitch(), shader, value);
  return VSURF_OK;
}

void V2DSurface::MemBlt(uint8_t* dst, const uint8_t* src, int32_t width, int32_t height, int32_t dstpitch,
                        int32_t srcpitch, VPSHADER shader, uint32_t value) {
  const ClassVDisplay* display = Display();
  const SHADEGRID grid = {SwappedAxes(), display && display->GetXDirection() < 0,
                          display && display->GetYDirection() < 0, width, height};
  ShadeBlock<false>(BytesPerPixel(), videotype, grid, dst, src, dstpitch, srcpitch, shader, value, 0);
}

void V2DSurface::MemBltColorkey(uint8_t* dst, const uint8_t* src, int32_t width, int32_t height, int32_t dstpitch,
                                int32_t srcpitch, VPSHADER shader, uint32_t value, uint32_t key) {
  const ClassVDisplay* display = Display();
  const SHADEGRID grid = {SwappedAxes(), display && display->GetXDirection() < 0,
                          display && display->GetYDirection() < 0, width, height};
  ShadeBlock<true>(BytesPerPixel(), videotype, grid, dst, src, dstpitch, srcpitch, shader, value, key);
}

// --- clipping ---------------------------------------------------------------------------------

int V2DSurface::GetBltFastPositions(int32_t& x, int32_t& y, tagRECT& rect, const tagRECT* sourcerect,
                                    const V2DSurfaceBase* source) const {
  if (!IsCreated() || !source || !source->IsCreated()) return VSURF_NOTCREATED;
  BLOCK b = {x, y, SourceBox(source, sourcerect)};
  if (!FitBlock(b, TURN{0, 0}, this, source)) return VSURF_INVALID;
  x = int32_t(b.x), y = int32_t(b.y), rect = RectOf(b.rect);
  V2DSURFACEINFO from;
  source->GetInfo(&from);
  if (const ClassVDisplay* display = Display())
    display->VirtualRectPos(x, y, rect, int32_t(physwidth), int32_t(physheight), int32_t(from.physwidth),
                            int32_t(from.physheight));
  return PrepareBlitFlipRect(x, y, rect, 0, 0);
}

int V2DSurface::GetBltFlipPositions(int32_t& x, int32_t& y, tagRECT& rect, const tagRECT* sourcerect,
                                    const V2DSurface* source, uint32_t rotation, uint8_t& flip) const {
  if (!IsCreated() || !source || !source->IsCreated()) return VSURF_NOTCREATED;
  rotation &= ANGLE_MASK;
  if (rotation % QUARTER_TURN) return VSURF_INVALID;
  BLOCK b = {x, y, SourceBox(source, sourcerect)};
  if (!FitBlock(b, TURN{rotation, flip}, this, source)) return VSURF_INVALID;
  x = int32_t(b.x), y = int32_t(b.y), rect = RectOf(b.rect);
  if (const ClassVDisplay* display = Display()) {
    display->VirtualRectPos(x, y, rect, int32_t(physwidth), int32_t(physheight), int32_t(source->physwidth),
                            int32_t(source->physheight), rotation);
    // Stored a quarter turn away, the source's rows run along the other axis.
    if (display->AxesSwapped()) flip = uint8_t(((flip & V2DFLIP_LEFTRIGHT) << 1) | ((flip & V2DFLIP_TOPBOTTOM) >> 1));
  }
  return PrepareBlitFlipRect(x, y, rect, rotation, flip);
}

int V2DSurface::PrepareBlitFlipRect(int32_t& x, int32_t& y, tagRECT& rect, uint32_t rotation, uint8_t flip) const {
  BLOCK b = {x, y, BoxOf(rect)};
  if (!CutToDest(b, TURN{rotation & ANGLE_MASK, flip}, BoxOf(clipper))) return VSURF_INVALID;
  x = int32_t(b.x), y = int32_t(b.y), rect = RectOf(b.rect);
  return VSURF_OK;
}
