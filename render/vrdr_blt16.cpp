// vrdr_blt16.cpp - the 16-bit (Rgb565) blit routine family, its tables and
// its dispatchers. The portable routines move two pixels per 32-bit word and
// are the reference; where the compiler targets SSE2 the table routines move
// eight pixels per register and finish each row with the portable loop.
//
// Depends on: render/vrdr_blt_generic.h; <emmintrin.h> on SSE2 targets.
#include <cstdint>

#include "render/vrdr_blt.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "render/vrdr_blt_generic.h"

namespace {

using namespace vrdr;

// Rgb565: red bits 11-15, green 5-10, blue 0-4. The blends split a pixel into
// red+blue (0xF81F) and green (0x07E0) so that one multiply serves each group;
// in a two-pixel word the groups are 0x07E0F81F and, shifted down by 5 so
// that the top field has room, 0xF81F07E0.
struct Depth16 {
  using Pixel = uint16_t;
  static constexpr uint32_t kTintMask = 0x7BEF;
  static constexpr uint32_t kShiftMasks[5] = {0, 0x7BEF, 0x39E7, 0x18E3, 0x0861};

  static uint32_t ShiftMask(uint32_t k) { return kShiftMasks[k]; }
  static uint32_t Tint(uint32_t c, uint32_t s) { return (c & kTintMask) + ((s >> 1) & kTintMask); }
  static uint32_t Colourize(uint32_t c, uint32_t s) {
    const uint32_t b = Max3(s & 0x1F, (s >> 6) & 0x1F, (s >> 11) & 0x1F);
    return (((c & 0x07E0) * b >> 5) & 0x07E0) | ((c & 0x001F) * b >> 5) | (((c & 0xF800) * b >> 5) & 0xF800);
  }
  static uint32_t Weight(uint32_t opacity) { return Clamp255(opacity) >> 3; }
  static uint32_t Blend(uint32_t t, uint32_t s, uint32_t w) {
    const uint32_t v = 32 - w;
    return ((((t & 0xF81F) * v + (s & 0xF81F) * w) >> 5) & 0xF81F) |
           ((((t & 0x07E0) * v + (s & 0x07E0) * w) >> 5) & 0x07E0);
  }
  static uint32_t Blend2(uint32_t t, uint32_t s, uint32_t w) {
    const uint32_t v = 32 - w;
    const uint32_t low = ((((t & 0x07E0F81F) * v + (s & 0x07E0F81F) * w) >> 5) & 0x07E0F81F);
    const uint32_t high = ((((t >> 5) & 0x07C0F83F) * v + ((s >> 5) & 0x07C0F83F) * w) & 0xF81F07E0);
    return low | high;
  }
  static uint32_t Scale(uint32_t s, uint32_t w) { return Blend(0, s, w); }
  static uint32_t Add(uint32_t t, uint32_t s) {
    return SaturatingAdd<5>(t, s, 0xF81F, 0x10020) | SaturatingAdd<6>(t, s, 0x07E0, 0x0800);
  }
  static uint32_t Sub(uint32_t t, uint32_t s) {
    return SaturatingSub<5>(t, s, 0xF81F, 0x10020) | SaturatingSub<6>(t, s, 0x07E0, 0x0800);
  }
  // Two pixels: blue, green, and red shifted down by one, each a group of
  // equal-width fields with a guard bit above every field.
  static uint32_t Add2(uint32_t t, uint32_t s) {
    return SaturatingAdd<5>(t, s, 0x001F001F, 0x00200020) | SaturatingAdd<6>(t, s, 0x07E007E0, 0x08000800) |
           SaturatingAdd<5>(t >> 1, s >> 1, 0x7C007C00, 0x80008000) << 1;
  }
  static uint32_t Sub2(uint32_t t, uint32_t s) {
    return SaturatingSub<5>(t, s, 0x001F001F, 0x00200020) | SaturatingSub<6>(t, s, 0x07E007E0, 0x08000800) |
           SaturatingSub<5>(t >> 1, s >> 1, 0x7C007C00, 0x80008000) << 1;
  }
};

using Tint16 = TintOp<Depth16>;
using Opacity16 = OpacityOp<Depth16>;
using Add16 = AddOp<Depth16>;
using Sub16 = SubOp<Depth16>;
using High16 = ShiftHighOp<Depth16>;
using Low16 = ShiftLowOp<Depth16>;

#if defined(__SSE2__)

// --- SSE2: eight pixels per register ------------------------------------------
// Each vector operation is built from its portable twin's precomputed values
// and gives the same pixels.

inline __m128i Splat(uint32_t v) { return _mm_set1_epi16(static_cast<short>(v & 0xFFFF)); }

struct VecCopy {
  explicit VecCopy(const CopyOp&) {}
  __m128i operator()(__m128i, __m128i s) const { return s; }
};

struct VecFill {
  __m128i fill;
  explicit VecFill(const FillOp& op) : fill(Splat(op.fill)) {}
  __m128i operator()(__m128i, __m128i) const { return fill; }
};

struct VecTint {
  __m128i fill, mask;
  explicit VecTint(const Tint16& op) : fill(Splat(op.fill)), mask(Splat(Depth16::kTintMask)) {}
  __m128i operator()(__m128i, __m128i s) const {
    return _mm_add_epi16(fill, _mm_and_si128(_mm_srli_epi16(s, 1), mask));
  }
};

// Per field: t + ((s - t) * w >> 5), which is (t * (32 - w) + s * w) >> 5
// exactly, in signed 16-bit lanes.
struct VecOpacity {
  __m128i w;
  explicit VecOpacity(const Opacity16& op) : w(Splat(op.w)) {}
  __m128i Mix(__m128i t, __m128i s) const {
    return _mm_add_epi16(t, _mm_srai_epi16(_mm_mullo_epi16(_mm_sub_epi16(s, t), w), 5));
  }
  __m128i operator()(__m128i t, __m128i s) const {
    const __m128i m5 = Splat(0x1F), m6 = Splat(0x3F);
    const __m128i r = Mix(_mm_srli_epi16(t, 11), _mm_srli_epi16(s, 11));
    const __m128i g = Mix(_mm_and_si128(_mm_srli_epi16(t, 5), m6), _mm_and_si128(_mm_srli_epi16(s, 5), m6));
    const __m128i b = Mix(_mm_and_si128(t, m5), _mm_and_si128(s, m5));
    return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(r, 11), _mm_slli_epi16(g, 5)), b);
  }
};

// Saturation by the unsigned saturating lane arithmetic: each field is moved
// to the top of its lane, where the lane's limit is the field's limit.
template <typename Saturate>
inline __m128i FieldwiseSaturated(__m128i t, __m128i s, Saturate saturate) {
  const __m128i red = Splat(0xF800), green = Splat(0xFC00);
  const __m128i r = _mm_and_si128(saturate(_mm_and_si128(t, red), _mm_and_si128(s, red)), red);
  const __m128i g = _mm_and_si128(
      saturate(_mm_and_si128(_mm_slli_epi16(t, 5), green), _mm_and_si128(_mm_slli_epi16(s, 5), green)), green);
  const __m128i b = saturate(_mm_slli_epi16(t, 11), _mm_slli_epi16(s, 11));
  return _mm_or_si128(r, _mm_or_si128(_mm_srli_epi16(g, 5), _mm_srli_epi16(b, 11)));
}

struct VecAdd {
  explicit VecAdd(const Add16&) {}
  __m128i operator()(__m128i t, __m128i s) const {
    return FieldwiseSaturated(t, s, [](__m128i a, __m128i b) { return _mm_adds_epu16(a, b); });
  }
};

struct VecSub {
  explicit VecSub(const Sub16&) {}
  __m128i operator()(__m128i t, __m128i s) const {
    return FieldwiseSaturated(t, s, [](__m128i a, __m128i b) { return _mm_subs_epu16(a, b); });
  }
};

struct VecHigh {
  __m128i k, m;
  explicit VecHigh(const High16& op) : k(_mm_cvtsi32_si128(int(op.k))), m(Splat(op.m)) {}
  __m128i operator()(__m128i t, __m128i s) const {
    return _mm_add_epi16(s,
                         _mm_sub_epi16(_mm_and_si128(_mm_srl_epi16(t, k), m), _mm_and_si128(_mm_srl_epi16(s, k), m)));
  }
};

struct VecLow {
  __m128i k, m;
  explicit VecLow(const Low16& op) : k(_mm_cvtsi32_si128(int(op.k))), m(Splat(op.m)) {}
  __m128i operator()(__m128i t, __m128i s) const {
    return _mm_add_epi16(t,
                         _mm_sub_epi16(_mm_and_si128(_mm_srl_epi16(s, k), m), _mm_and_si128(_mm_srl_epi16(t, k), m)));
  }
};

inline __m128i Load8(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store8(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// Whole registers first, then the portable loop for the last 0..7 pixels.
// Keyed: a register of key pixels is skipped; otherwise the key lanes keep
// the destination.
template <typename Op, typename Vec, bool Keyed>
int Fast16(int32_t width, int32_t height, uint8_t* dst, const uint8_t* src, int32_t dstpitch, int32_t srcpitch,
           uint32_t key, uint32_t fill, uint32_t opacity) {
  const Op op(fill, opacity);
  if (op.Declines()) return 0;
  const Vec vec(op);
  const __m128i keys = Splat(key);
  return ForEachRow(height, dst, src, dstpitch, srcpitch, [&](uint8_t* d, const uint8_t* s) {
    int32_t x = 0;
    for (; x + 8 <= width; x += 8) {
      const __m128i sv = Load8(s + 2 * x);
      if constexpr (Keyed) {
        const __m128i isKey = _mm_cmpeq_epi16(sv, keys);
        if (_mm_movemask_epi8(isKey) == 0xFFFF) continue;
        const __m128i tv = Load8(d + 2 * x);
        Store8(d + 2 * x, _mm_or_si128(_mm_and_si128(isKey, tv), _mm_andnot_si128(isKey, vec(tv, sv))));
      } else {
        Store8(d + 2 * x, vec(Load8(d + 2 * x), sv));
      }
    }
    if (x == width) return;
    if constexpr (Keyed)
      KeyedPairRow(width - x, d + 2 * x, s + 2 * x, uint16_t(key), op);
    else
      PairRow(width - x, d + 2 * x, s + 2 * x, op);
  });
}

#else

struct VecCopy;
struct VecFill;
struct VecTint;
struct VecOpacity;
struct VecAdd;
struct VecSub;
struct VecHigh;
struct VecLow;

template <typename Op, typename Vec, bool Keyed>
int Fast16(int32_t width, int32_t height, uint8_t* dst, const uint8_t* src, int32_t dstpitch, int32_t srcpitch,
           uint32_t key, uint32_t fill, uint32_t opacity) {
  return PairRoutine<Op, Keyed>(width, height, dst, src, dstpitch, srcpitch, key, fill, opacity);
}

#endif

constexpr BltFastTable kBltFast16Portable = MakeBltFastTable(
    {PairRoutine<CopyOp, true>, PairRoutine<FillOp, true>, PairRoutine<Tint16, false>, PairRoutine<Tint16, true>,
     PairRoutine<Opacity16, false>, PairRoutine<Opacity16, true>, PairRoutine<Add16, false>, PairRoutine<Add16, true>,
     PairRoutine<Sub16, false>, PairRoutine<Sub16, true>, PairRoutine<High16, false>, PairRoutine<High16, true>,
     PairRoutine<Low16, false>, PairRoutine<Low16, true>});

}  // namespace

VRDR_DEFINE_BLTFAST(VRdrBltFast16_ck, Fast16<CopyOp, VecCopy, true>)
VRDR_DEFINE_BLTFAST(VRdrBltFast16_ck_cf, Fast16<FillOp, VecFill, true>)
VRDR_DEFINE_BLTFAST(VRdrBltFast16_tn, Fast16<Tint16, VecTint, false>)
VRDR_DEFINE_BLTFAST(VRdrBltFast16_ck_tn, Fast16<Tint16, VecTint, true>)
VRDR_DEFINE_BLTFAST(VRdrBltFast16_op, Fast16<Opacity16, VecOpacity, false>)
VRDR_DEFINE_BLTFAST(VRdrBltFast16_ck_op, Fast16<Opacity16, VecOpacity, true>)
VRDR_DEFINE_BLTFAST(VRdrBltFast16_ad, Fast16<Add16, VecAdd, false>)
VRDR_DEFINE_BLTFAST(VRdrBltFast16_ck_ad, Fast16<Add16, VecAdd, true>)
VRDR_DEFINE_BLTFAST(VRdrBltFast16_sb, Fast16<Sub16, VecSub, false>)
VRDR_DEFINE_BLTFAST(VRdrBltFast16_ck_sb, Fast16<Sub16, VecSub, true>)
VRDR_DEFINE_BLTFAST(VRdrBltFast16_oh, Fast16<High16, VecHigh, false>)
VRDR_DEFINE_BLTFAST(VRdrBltFast16_ck_oh, Fast16<High16, VecHigh, true>)
VRDR_DEFINE_BLTFAST(VRdrBltFast16_ol, Fast16<Low16, VecLow, false>)
VRDR_DEFINE_BLTFAST(VRdrBltFast16_ck_ol, Fast16<Low16, VecLow, true>)
VRDR_DEFINE_BLTFLIP(VRdrBltFlip16_, SteppedRoutine<uint16_t, false>)
VRDR_DEFINE_BLTFLIP(VRdrBltFlip16_ck, SteppedRoutine<uint16_t, true>)

namespace {

constexpr BltFastTable kBltFast16 =
    MakeBltFastTable({VRdrBltFast16_ck, VRdrBltFast16_ck_cf, VRdrBltFast16_tn, VRdrBltFast16_ck_tn, VRdrBltFast16_op,
                      VRdrBltFast16_ck_op, VRdrBltFast16_ad, VRdrBltFast16_ck_ad, VRdrBltFast16_sb, VRdrBltFast16_ck_sb,
                      VRdrBltFast16_oh, VRdrBltFast16_ck_oh, VRdrBltFast16_ol, VRdrBltFast16_ck_ol});
constexpr BltFlipTable kBltFlip16 = MakeBltFlipTable(VRdrBltFlip16_, VRdrBltFlip16_ck);

}  // namespace

void VRender_Get_BltFast16(VRDR_BLTFAST* table) { CopyTable(kBltFast16, table); }
void VRender_Get_BltFlip16(VRDR_BLTFLIP* table) { CopyTable(kBltFlip16, table); }
void VRender_Get_BltFast16Portable(VRDR_BLTFAST* table) { CopyTable(kBltFast16Portable, table); }

void VRdrBltFast16(int32_t width, int32_t height, uint8_t* dst, const uint8_t* src, int32_t dstpitch, int32_t srcpitch,
                   uint32_t key, uint32_t fill, uint32_t opacity, uint32_t flags) {
  DispatchFast<Depth16>(kBltFast16, width, height, dst, src, dstpitch, srcpitch, key, fill, opacity, flags);
}

void VRdrBltFlip16(int32_t xstep, int32_t ystep, int32_t width, int32_t height, uint8_t* dst, const uint8_t* src,
                   int32_t dstpitch, int32_t srcpitch, uint32_t key, uint32_t fill, uint32_t opacity, uint32_t flags) {
  DispatchFlip<Depth16>(kBltFlip16, xstep, ystep, width, height, dst, src, dstpitch, srcpitch, key, fill, opacity,
                        flags);
}
