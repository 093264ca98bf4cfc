// vsurf_2d_span.h - what the rotate/scale blit and the textured polygons
// share: the flag, opacity and fill-colour rules a blit starts with, the
// per-depth routine families, and the span fillers that walk a sampler
// along one destination row (plain, keyed, or through the routines).
//
// Internal to render/. The fillers are templates on the sampler, so each
// caller's way of keeping samples inside its source costs no branch per pixel.
#pragma once

#include <cstddef>
#include <cstdint>

#include "render/vrdr_blt.h"
#include "render/vsurf_2dbase.h"
#include "render/vsurf_2d_pixel.h"

namespace vsurf {

constexpr uint32_t CALLER_FLAGS = 0x3F;  // the shift-blend bits are chosen here, never by callers
constexpr uint32_t COLOUR_FLAGS = BlitFlags::ColorFill | BlitFlags::Tint;
constexpr int32_t EFFECT_CHUNK = 64;     // pixels a blended span hands to the routines at once

typedef void (*FASTDISPATCH)(int32_t, int32_t, uint8_t*, const uint8_t*, int32_t, int32_t, uint32_t, uint32_t,
                             uint32_t, uint32_t);

// Each depth runs its own family; Rgb555 and Rgb888 have none.
inline FASTDISPATCH FastDispatcher(uint8_t videotype) {
  switch (videotype) {
    case VideoType::Indexed8: return VRdrBltFast8;
    case VideoType::Rgb444: return VRdrBltFast12;
    case VideoType::Rgb565: return VRdrBltFast16;
    case VideoType::Xrgb8888: return VRdrBltFast32;
    default: return nullptr;
  }
}

struct BLITOP {
  uint32_t flags;    // after the shared draw-flag rules
  uint32_t opacity;  // reduced to the destination's precision
  uint32_t fill;     // the value's colour with ColorFill or Tint, else 0
};

// The flag, opacity and fill-colour steps every blit starts with; false when
// the opacity reduces to nothing.
inline bool ResolveBlit(uint8_t videotype, uint32_t flags, uint32_t value, BLITOP& op) {
  op.flags = flags & CALLER_FLAGS;
  op.opacity = V2DSurfaceBase::OpacityOfValue(op.flags, value) & 0xFF;
  if (!V2DSurfaceBase::ResolveDrawFlags(videotype, op.flags, op.opacity)) return false;
  op.fill = (op.flags & COLOUR_FLAGS) ? value & 0xFFFFFF : 0;
  return true;
}

// Opacities 1 - 2^-k and 2^-k have shift-and-subtract blends.
inline uint32_t WithShiftBlend(uint32_t flags, uint32_t opacity) {
  if (!(flags & BlitFlags::Opacity)) return flags;
  switch (opacity) {
    case 128: case 192: case 224: case 240: return (flags & ~BlitFlags::Opacity) | VBLT_SHIFTBLENDHIGH;
    case 16: case 32: case 64: return (flags & ~BlitFlags::Opacity) | VBLT_SHIFTBLENDLOW;
    default: return flags;
  }
}

// The fill colour a routine takes: native, halved for a plain tint so that
// the routine only adds.
inline uint32_t RoutineFill(uint8_t videotype, const BLITOP& op) {
  uint32_t fill = op.fill;
  if ((op.flags & COLOUR_FLAGS) == BlitFlags::Tint && videotype != VideoType::Indexed8) fill = (fill >> 1) & 0x7F7F7F;
  return V2DSurfaceBase::ColorToNative(videotype, fill);
}

// How the spans of one drawing are filled.
struct EFFECT {
  FASTDISPATCH dispatch;
  uint32_t key, fill, opacity, flags;  // native key and fill colour, flags for the routines
};

// A sampler offers At() (the current source pixel) and Next() (one step on).
template <int B, bool Keyed, typename Sampler>
void CopySpan(uint8_t* d, ptrdiff_t dstep, int32_t count, Sampler& s, uint32_t key) {
  for (int32_t n = 0; n < count; n++, d += dstep, s.Next()) {
    const uint32_t pixel = LoadPixel<B>(s.At());
    if (!Keyed || pixel != key) StorePixel<B>(d, pixel);
  }
}

template <bool Keyed, typename Sampler>
void CopySpanOf(uint32_t bytes, uint8_t* d, ptrdiff_t dstep, int32_t count, Sampler& s, uint32_t key) {
  switch (bytes) {
    case 1: CopySpan<1, Keyed>(d, dstep, count, s, key); break;
    case 2: CopySpan<2, Keyed>(d, dstep, count, s, key); break;
    case 3: CopySpan<3, Keyed>(d, dstep, count, s, key); break;
    default: CopySpan<4, Keyed>(d, dstep, count, s, key); break;
  }
}

// A blended span: source and destination pixels gathered into rows for the
// depth's routines (which need contiguous rows; a swapped display's virtual
// row is a physical column), the result scattered back.
template <typename Sampler>
void EffectSpan(uint32_t bytes, uint8_t* d, ptrdiff_t dstep, int32_t count, Sampler& s, const EFFECT& e) {
  uint32_t srcrow[EFFECT_CHUNK], dstrow[EFFECT_CHUNK];
  uint8_t* srcbytes = reinterpret_cast<uint8_t*>(srcrow);
  uint8_t* dstbytes = reinterpret_cast<uint8_t*>(dstrow);
  while (count > 0) {
    const int32_t n = count < EFFECT_CHUNK ? count : EFFECT_CHUNK;
    for (int32_t i = 0; i < n; i++, s.Next()) {
      StorePixel(srcbytes + i * bytes, bytes, LoadPixel(s.At(), bytes));
      StorePixel(dstbytes + i * bytes, bytes, LoadPixel(d + i * dstep, bytes));
    }
    const int32_t pitch = n * int32_t(bytes);
    e.dispatch(n, 1, dstbytes, srcbytes, pitch, pitch, e.key, e.fill, e.opacity, e.flags);
    for (int32_t i = 0; i < n; i++) StorePixel(d + i * dstep, bytes, LoadPixel(dstbytes + i * bytes, bytes));
    d += n * dstep;
    count -= n;
  }
}

// One span of count pixels from d: plain, keyed, or through the depth's
// routines for any other flag.
template <typename Sampler>
void FillSpan(uint32_t bytes, uint8_t* d, ptrdiff_t dstep, int32_t count, Sampler& s, const EFFECT& e) {
  if (e.flags & ~BlitFlags::ColorKey) EffectSpan(bytes, d, dstep, count, s, e);
  else if (e.flags) CopySpanOf<true>(bytes, d, dstep, count, s, e.key);
  else CopySpanOf<false>(bytes, d, dstep, count, s, 0);
}

}  // namespace vsurf
