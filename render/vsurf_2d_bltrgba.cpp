// vsurf_2d_bltrgba.cpp - BltFast from an RGBA surface into an ordinary
// surface: every source pixel blended by its own alpha.
//
// Three paths, chosen once per blit:
//   - same video type, no effect flags: the destination format's own alpha
//     arithmetic (Rgb444, Rgb555, Rgb565 and Xrgb8888), a straight and a
//     premultiplied row loop each;
//   - same video type with ColorFill, Tint, Opacity, Additive or Subtractive:
//     runs of pixels of one alpha handed to the destination depth's blit
//     routine family with that alpha as their opacity (Rgb444, Rgb565,
//     Xrgb8888, the formats with a family);
//   - everything else (other video types, Rgb888 and Indexed8 destinations,
//     effects on Rgb555): pixel by pixel through the interface colour and the
//     destination's single-pixel path.
// Every path walks only the visible span of each source row (the RGBA
// surface's span table), so transparent surroundings cost nothing.
//
// Depends on: render/vsurf_2d.h, render/vsurf_2drgba.h, render/vmod_dsp.h
// (open state), render/vrdr_blt.h (the families), render/vrdr_blt_generic.h
// (aligned pixel loads and stores).
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "render/vmod_dsp.h"
#include "render/vrdr_blt.h"
#include "render/vrdr_blt_generic.h"
#include "render/vsurf_2d.h"
#include "render/vsurf_2d_span.h"
#include "render/vsurf_2drgba.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

using vrdr::Load;
using vrdr::Store;

using vsurf::COLOUR_FLAGS;
using vsurf::EFFECT_CHUNK;  // pixels of one alpha handed to a family at once
using vsurf::FASTDISPATCH;

// --- the formats' alpha arithmetic -----------------------------------------------

// A destination format as two groups of colour fields that one multiply
// each can weigh (red with blue, green alone), with weights of Bits bits.
// The weight of an alpha byte runs to 2^Bits for 255, so that the blend of
// an opaque pixel is the pixel and of an invisible one the destination, and
// every pixel of a span takes the same arithmetic with no test.
template <typename P, uint32_t RedBlue, uint32_t Green, unsigned Bits, uint32_t Blue, uint32_t Red>
struct ALPHAFORMAT {
  using Pixel = P;

  static uint32_t Weight(uint32_t alphabyte) { return (alphabyte >> (8 - Bits)) + (alphabyte == 255 ? 1u : 0u); }

  // Straight: t x (1 - w) + s x w.
  static uint32_t Over(uint32_t t, uint32_t s, uint32_t alpha) {
    const uint32_t w = Weight(alpha), keep = (1u << Bits) - w;
    return ((((t & RedBlue) * keep + (s & RedBlue) * w) >> Bits) & RedBlue) |
           ((((t & Green) * keep + (s & Green) * w) >> Bits) & Green);
  }

  // Premultiplied: s + t x complement; a stored alpha byte of 255 (colour
  // bits whatever they hold) leaves the destination. A consistent pixel
  // never carries out of a field; one stored by hand may, and then the field
  // stays at its maximum.
  static uint32_t Under(uint32_t t, uint32_t s, uint32_t complement) {
    const uint32_t w = Weight(complement);
    if (complement == 255) s = 0;
    const uint32_t redblue = (s & RedBlue) + ((((t & RedBlue) * w) >> Bits) & RedBlue);
    const uint32_t green = (s & Green) + ((((t & Green) * w) >> Bits) & Green);
    return Held(redblue, Blue) | Held(redblue, Red) | Held(green, Green);
  }

  static uint32_t Held(uint32_t sum, uint32_t field) {
    const uint32_t carry = (field << 1) & ~field;  // the bit just above the field
    return (sum & carry) ? field : sum & field;
  }
};

using ALPHA444 = ALPHAFORMAT<uint16_t, 0x0F0F, 0x00F0, 4, 0x000F, 0x0F00>;
using ALPHA555 = ALPHAFORMAT<uint16_t, 0x7C1F, 0x03E0, 5, 0x001F, 0x7C00>;
using ALPHA565 = ALPHAFORMAT<uint16_t, 0xF81F, 0x07E0, 6, 0x001F, 0xF800>;
using ALPHA8888 = ALPHAFORMAT<uint32_t, 0xFF00FF, 0x00FF00, 8, 0x0000FF, 0xFF0000>;

// The soft parts of a span: every pixel blended by its alpha, without a
// branch (edge alphas change from pixel to pixel and would defeat prediction).
template <typename F, bool Premultiplied>
void BlendRow(uint8_t* d, const uint8_t* s, int32_t count) {
  using Pixel = typename F::Pixel;
  for (int32_t i = 0; i < count; ++i, d += sizeof(Pixel), s += 4) {
    const uint32_t p = Load<uint32_t>(s), t = Load<Pixel>(d);
    Store<Pixel>(d, Pixel(Premultiplied ? F::Under(t, p, p >> 24) : F::Over(t, p, p >> 24)));
  }
}

// An opaque run: the colour bits copied with no test.
template <typename Pixel>
void SolidRow(uint8_t* d, const uint8_t* s, int32_t count) {
  for (int32_t i = 0; i < count; ++i, d += sizeof(Pixel), s += 4) Store<Pixel>(d, Pixel(Load<uint32_t>(s) & 0xFFFFFF));
}

// --- the clipped block -------------------------------------------------------------

struct RGBABLOCK {
  uint8_t* dst;               // destination pixel of the block's top-left
  int32_t dstpitch;
  uint32_t dstbytes;          // destination bytes per pixel
  const uint8_t* src;         // source pixel of the block's top-left
  int32_t srcpitch;
  int32_t left, width, height; // source columns left .. left + width - 1, rows from the first
  const V2DRGBASPAN* spans;   // the source's spans from the block's first row
};

// The visible part of one source row inside the block.
struct RUN {
  uint8_t* d;                 // destination of its first pixel
  const uint8_t* s;           // source of its first pixel
  int32_t count;              // pixels
  int32_t solidfrom, solidto; // the opaque run inside, from the first pixel (empty when equal)
  int32_t column, row;        // of the first pixel, from the block's top-left
};

// visit(run) for each row: the source row's span cut to the block.
template <typename Visit>
void ForEachVisibleRun(const RGBABLOCK& b, Visit visit) {
  const int32_t right = b.left + b.width;
  for (int32_t row = 0; row < b.height; ++row) {
    const V2DRGBASPAN span = b.spans[row];
    const int32_t first = span.first > b.left ? span.first : b.left;
    const int32_t end = span.end < right ? span.end : right;
    if (first >= end) continue;
    const int32_t solidfirst = span.solidfirst > first ? span.solidfirst : first;
    int32_t solidend = span.solidend < end ? span.solidend : end;
    if (solidend < solidfirst) solidend = solidfirst;
    const int32_t column = first - b.left;
    visit(RUN{b.dst + ptrdiff_t(row) * b.dstpitch + ptrdiff_t(column) * b.dstbytes,
              b.src + ptrdiff_t(row) * b.srcpitch + ptrdiff_t(column) * 4, end - first, solidfirst - first,
              solidend - first, column, row});
  }
}

#if defined(__SSE2__)
// --- SSE2: eight Rgb565 pixels per register ----------------------------------------
// The same arithmetic as SolidRow and ALPHA565, one field per 16-bit lane.

// The low halves of eight source words, sign extended so that the
// saturating pack keeps them exactly.
inline __m128i LowHalves(__m128i a, __m128i b) {
  return _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(a, 16), 16), _mm_srai_epi32(_mm_slli_epi32(b, 16), 16));
}

inline void Solid565x8(uint8_t* d, const uint8_t* s) {
  const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(d), LowHalves(a, b));
}

// A copy may cover a pixel twice, so a run of eight or more ends with a
// chunk that finishes exactly at its end.
template <>
void SolidRow<uint16_t>(uint8_t* d, const uint8_t* s, int32_t count) {
  if (count < 8) {
    for (int32_t i = 0; i < count; ++i) Store<uint16_t>(d + 2 * i, uint16_t(Load<uint32_t>(s + 4 * i)));
    return;
  }
  for (int32_t i = 0; i + 8 < count; i += 8) Solid565x8(d + 2 * i, s + 4 * i);
  Solid565x8(d + 2 * (count - 8), s + 4 * (count - 8));
}

// One field of eight pixels: straight (t x (64 - w) + s x w) >> 6, which is
// t + floor((s - t) x w / 64) with one multiply (the product fits a signed
// lane), or premultiplied s + (t x w) >> 6 held at the field's maximum.
template <bool Premultiplied>
inline __m128i MixField(__m128i t, __m128i s, __m128i w, __m128i maximum) {
  if (Premultiplied) return _mm_min_epi16(_mm_add_epi16(s, _mm_srli_epi16(_mm_mullo_epi16(t, w), 6)), maximum);
  return _mm_add_epi16(t, _mm_srai_epi16(_mm_mullo_epi16(_mm_sub_epi16(s, t), w), 6));
}

// Eight pixels t blended with the eight source pixels at s.
template <bool Premultiplied>
inline __m128i Blend565x8(__m128i t, const uint8_t* s) {
  const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16));
  const __m128i alphabyte = _mm_packs_epi32(_mm_srli_epi32(a, 24), _mm_srli_epi32(b, 24));
  const __m128i full = _mm_cmpeq_epi16(alphabyte, _mm_set1_epi16(255));
  const __m128i w = _mm_sub_epi16(_mm_srli_epi16(alphabyte, 2), full);  // 0 .. 64
  __m128i colour = LowHalves(a, b);
  if (Premultiplied) colour = _mm_andnot_si128(full, colour);  // a stored 255 adds nothing
  const __m128i five = _mm_set1_epi16(0x1F), six = _mm_set1_epi16(0x3F);
  const __m128i blue = MixField<Premultiplied>(_mm_and_si128(t, five), _mm_and_si128(colour, five), w, five);
  const __m128i green = MixField<Premultiplied>(_mm_and_si128(_mm_srli_epi16(t, 5), six),
                                                _mm_and_si128(_mm_srli_epi16(colour, 5), six), w, six);
  const __m128i red = MixField<Premultiplied>(_mm_srli_epi16(t, 11), _mm_srli_epi16(colour, 11), w, five);
  return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(red, 11), _mm_slli_epi16(green, 5)), blue);
}

inline __m128i Load8(const uint8_t* d) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(d)); }
inline void Store8(uint8_t* d, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(d), v); }

// count pixels from `first` in chunks of eight. A remainder is blended as
// the last eight pixels of the range with the lanes already done kept as
// they are; a range shorter than eight goes one by one.
template <bool Premultiplied>
void BlendChunks565(uint8_t* d, const uint8_t* s, int32_t first, int32_t count) {
  d += 2 * first, s += 4 * first;
  if (count < 8) {
    BlendRow<ALPHA565, Premultiplied>(d, s, count);
    return;
  }
  int32_t i = 0;
  for (; i + 8 <= count; i += 8) Store8(d + 2 * i, Blend565x8<Premultiplied>(Load8(d + 2 * i), s + 4 * i));
  if (i == count) return;
  const int32_t last = count - 8;
  const __m128i t = Load8(d + 2 * last);
  const __m128i done = _mm_cmplt_epi16(_mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7), _mm_set1_epi16(int16_t(i - last)));
  const __m128i blended = Blend565x8<Premultiplied>(t, s + 4 * last);
  Store8(d + 2 * last, _mm_or_si128(_mm_and_si128(done, t), _mm_andnot_si128(done, blended)));
}

// The soft pixels of a run in whole chunks of eight where a chunk may reach
// into the opaque run (its blend there is the copy SolidRow makes too);
// never past the run or into the other soft side. The opaque run goes last:
// a chunk that read pixels just stored by it would wait for the stores.
template <bool Premultiplied>
void AlphaRun565(const RUN& r) {
  const int32_t left = (r.solidfrom + 7) & ~7;
  BlendChunks565<Premultiplied>(r.d, r.s, 0, left <= r.solidto ? left : r.solidfrom);
  const int32_t right = (r.count - r.solidto + 7) & ~7;
  if (r.count - right >= r.solidfrom)
    BlendChunks565<Premultiplied>(r.d, r.s, r.count - right, right);
  else
    BlendChunks565<Premultiplied>(r.d, r.s, r.solidto, r.count - r.solidto);
  SolidRow<uint16_t>(r.d + 2 * r.solidfrom, r.s + 4 * r.solidfrom, r.solidto - r.solidfrom);
}
#endif

template <typename F, bool Premultiplied>
void AlphaRun(const RUN& r) {
#if defined(__SSE2__)
  if constexpr (std::is_same_v<F, ALPHA565>) {
    AlphaRun565<Premultiplied>(r);
    return;
  }
#endif
  constexpr ptrdiff_t kBytes = sizeof(typename F::Pixel);
  BlendRow<F, Premultiplied>(r.d, r.s, r.solidfrom);
  SolidRow<typename F::Pixel>(r.d + r.solidfrom * kBytes, r.s + ptrdiff_t(r.solidfrom) * 4, r.solidto - r.solidfrom);
  BlendRow<F, Premultiplied>(r.d + r.solidto * kBytes, r.s + ptrdiff_t(r.solidto) * 4, r.count - r.solidto);
}

template <typename F>
void AlphaBlock(const RGBABLOCK& b, bool premultiplied) {
  if (premultiplied)
    ForEachVisibleRun(b, [](const RUN& r) { AlphaRun<F, true>(r); });
  else
    ForEachVisibleRun(b, [](const RUN& r) { AlphaRun<F, false>(r); });
}

// False for the formats without their own alpha arithmetic.
bool DrawAlpha(uint8_t videotype, bool premultiplied, const RGBABLOCK& b) {
  switch (videotype) {
    case VideoType::Rgb444: AlphaBlock<ALPHA444>(b, premultiplied); return true;
    case VideoType::Rgb555: AlphaBlock<ALPHA555>(b, premultiplied); return true;
    case VideoType::Rgb565: AlphaBlock<ALPHA565>(b, premultiplied); return true;
    case VideoType::Xrgb8888: AlphaBlock<ALPHA8888>(b, premultiplied); return true;
    default: return false;
  }
}

// --- effects ---------------------------------------------------------------------------

// The families that take effects in a pixel's own format.
FASTDISPATCH EffectFamily(uint8_t videotype) {
  return videotype == VideoType::Indexed8 ? nullptr : vsurf::FastDispatcher(videotype);
}

// One blit's resolved flags and its source's storage: the caller's opacity
// (when Opacity is set) scales every pixel's alpha.
struct RGBAOP : vsurf::BLITOP {
  uint8_t videotype; // of both surfaces on the effect path; the source's on the pixel path
  bool premultiplied;
};

// alpha x opacity / 256, exact at alpha 255 and never 0 from a visible pixel.
uint32_t EffectiveAlpha(uint32_t alpha, const RGBAOP& op) {
  return (op.flags & BlitFlags::Opacity) ? (alpha * op.opacity + 255) >> 8 : alpha;
}

uint32_t AlphaOf(uint32_t stored, const RGBAOP& op) {
  return EffectiveAlpha(op.premultiplied ? 255 - (stored >> 24) : stored >> 24, op);
}

// The straight native colour of a stored pixel; opaque premultiplied pixels
// hold it already.
uint32_t StraightNative(uint32_t stored, const RGBAOP& op) {
  if (!op.premultiplied || (stored >> 24) == 0) return stored & 0xFFFFFF;
  uint32_t colour, alpha;
  V2DSurfaceRGBA::StoredToColor(op.videotype, true, stored, colour, alpha);
  return V2DSurfaceBase::ColorToNative(op.videotype, colour);
}

// Runs of pixels of one alpha, gathered as native colours, drawn by the
// family with the alpha as the opacity (opaque runs without it).
template <typename Pixel>
void EffectRow(uint8_t* d, const uint8_t* s, int32_t count, const RGBAOP& op, FASTDISPATCH family,
               uint32_t fill) {
  Pixel colours[EFFECT_CHUNK];
  const uint32_t flags = op.flags & ~(BlitFlags::ColorKey | BlitFlags::Opacity);
  int32_t i = 0;
  while (i < count) {
    const uint32_t alpha = AlphaOf(Load<uint32_t>(s + ptrdiff_t(i) * 4), op);
    int32_t n = 0;
    for (; i + n < count && n < EFFECT_CHUNK; ++n) {
      const uint32_t stored = Load<uint32_t>(s + ptrdiff_t(i + n) * 4);
      if (AlphaOf(stored, op) != alpha) break;
      colours[n] = Pixel(StraightNative(stored, op));
    }
    uint32_t runflags = flags | BlitFlags::Opacity, opacity = alpha;
    if (V2DSurfaceBase::ResolveDrawFlags(op.videotype, runflags, opacity)) {
      const int32_t pitch = n * int32_t(sizeof(Pixel));
      family(n, 1, d + ptrdiff_t(i) * ptrdiff_t(sizeof(Pixel)), reinterpret_cast<const uint8_t*>(colours), pitch,
             pitch, 0, fill, opacity, runflags);
    }
    i += n;
  }
}

// False for the formats without a family.
bool DrawEffects(const RGBAOP& op, const RGBABLOCK& b) {
  const FASTDISPATCH family = EffectFamily(op.videotype);
  if (!family) return false;
  const uint32_t fill = vsurf::RoutineFill(op.videotype, op);
  if (b.dstbytes == 2)
    ForEachVisibleRun(b, [&](const RUN& r) { EffectRow<uint16_t>(r.d, r.s, r.count, op, family, fill); });
  else
    ForEachVisibleRun(b, [&](const RUN& r) { EffectRow<uint32_t>(r.d, r.s, r.count, op, family, fill); });
  return true;
}

// --- pixel by pixel ---------------------------------------------------------------------

// Each visible pixel as an interface colour, drawn by the destination's
// single-pixel path with its alpha as the opacity (in the value's top byte
// next to the fill colour for ColorFill and Tint).
void DrawPixels(V2DSurface* dest, int32_t x, int32_t y, const RGBAOP& op, const RGBABLOCK& b) {
  const uint32_t flags = (op.flags & ~BlitFlags::ColorKey) | BlitFlags::Opacity;
  const bool colourvalue = (op.flags & COLOUR_FLAGS) != 0;
  ForEachVisibleRun(b, [&](const RUN& r) {
    for (int32_t i = 0; i < r.count; ++i) {
      uint32_t colour, alpha;
      V2DSurfaceRGBA::StoredToColor(op.videotype, op.premultiplied, Load<uint32_t>(r.s + ptrdiff_t(i) * 4), colour,
                                    alpha);
      alpha = EffectiveAlpha(alpha, op);
      if (alpha == 0) continue;
      dest->PutPixelRaw(x + r.column + i, y + r.row, colour, flags, colourvalue ? (alpha << 24) | op.fill : alpha);
    }
  });
}

// Both surfaces locked for the length of one blit. The source's plain base
// lock: reading leaves its span table valid.
class RgbaLock {
 public:
  RgbaLock(V2DSurface* dest, V2DSurfaceRGBA* source) : d(dest), s(source) {
    dst = d->Lock(&dstinfo);
    src = static_cast<V2DSurfaceBase*>(s)->Lock(&srcinfo);
  }
  ~RgbaLock() {
    if (dst) d->Unlock();
    if (src) s->Unlock();
  }
  RgbaLock(const RgbaLock&) = delete;
  RgbaLock& operator=(const RgbaLock&) = delete;

  uint8_t* dst = nullptr;
  const uint8_t* src = nullptr;
  V2DSURFACEINFO dstinfo{}, srcinfo{};

 private:
  V2DSurface* d;
  V2DSurfaceRGBA* s;
};

}  // namespace

int V2DSurface::BltFast(int32_t x, int32_t y, V2DSurfaceRGBA* source, const tagRECT* rect, uint32_t flags,
                        uint32_t value) {
  if (!source || !IsCreated() || !source->IsCreated()) return VSURF_NOTCREATED;
  if (ecd && ecd->display && !ecd->display->IsOpen()) return VSURF_NOTCREATED;
  RGBAOP op;
  if (!vsurf::ResolveBlit(videotype, flags, value, op)) return VSURF_NOTHING;
  op.videotype = source->GetVideoType();
  op.premultiplied = source->IsPremultiplied();

  tagRECT r;
  const int clipped = GetBltFastPositions(x, y, r, rect, source);
  if (clipped != VSURF_OK) return clipped;
  const V2DRGBASPAN* spans = source->GetRowSpans();
  RgbaLock lock(this, source);
  if (!lock.dst || !lock.src || !spans) return VSURF_NOPIXELS;
  const RGBABLOCK block = {lock.dst + size_t(y) * lock.dstinfo.rowbytes + size_t(x) * BytesPerPixel(),
                           int32_t(lock.dstinfo.rowbytes),
                           BytesPerPixel(),
                           lock.src + size_t(r.top) * lock.srcinfo.rowbytes + size_t(r.left) * 4,
                           int32_t(lock.srcinfo.rowbytes),
                           r.left,
                           r.right - r.left,
                           r.bottom - r.top,
                           spans + r.top};
  if (op.videotype == videotype) {
    const bool effects = (op.flags & ~BlitFlags::ColorKey) != 0;
    if (!effects && DrawAlpha(videotype, op.premultiplied, block)) return VSURF_OK;
    if (effects && DrawEffects(op, block)) return VSURF_OK;
  }
  DrawPixels(this, x, y, op, block);
  return VSURF_OK;
}
