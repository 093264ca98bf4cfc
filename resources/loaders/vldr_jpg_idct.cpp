// vldr_jpg_idct.cpp - the JPEG decoder's sample stages: the inverse DCT, the
// chroma upsampling and the colour rows.
//
// The inverse DCT is the Loeffler-Ligtenberg-Moschytz factorisation in
// integers with 13-bit constants, two passes (columns, then rows) with 2 extra
// bits of precision kept between them. Its rotations are written out as sums
// of pairs of products, which is the shape SSE2's multiply-add takes, so the
// portable pass and the vector pass compute the very same integers.
#include <cstdint>

#include "resources/loaders/vldr_jpg.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr int kConstBits = 13;
constexpr int kPass1Bits = 2;
constexpr int kPass1Shift = kConstBits - kPass1Bits;      // 11
constexpr int kPass2Shift = kConstBits + kPass1Bits + 3;  // 18

// Valid data never comes near these bounds; they keep garbage from
// overflowing 32 bits in the portable pass.
constexpr int32_t kInputLimit = 4096;   // dequantised coefficient
constexpr int32_t kMiddleLimit = 16383; // between the passes

// Even part: products of (d0, d4) and (d2, d6).
constexpr int32_t kE04 = 8192;                       // 1.0
constexpr int32_t kE2a = 10703, kE6a = 4433;         // tmp3 = d2 * 1.306562965 + d6 * 0.541196100
constexpr int32_t kE2b = 4433, kE6b = -10704;        // tmp2 = d2 * 0.541196100 - d6 * 1.306562965
// Odd part: o_k = a * d7 + b * d5 + c * d3 + d * d1.
constexpr int32_t kOdd[4][4] = {
    {-11363, 9633, -6436, 2260},   // o0, paired with out3/out4
    {9633, 2261, -11362, 6437},    // o1, out2/out5
    {-6436, -11362, -2259, 9633},  // o2, out1/out6
    {2260, 6437, 9633, 11363},     // o3, out0/out7
};

// Colour conversion in 14-bit fixed point.
constexpr int kColourBits = 14;
constexpr int32_t kCrToR = 22970;   // 1.402
constexpr int32_t kCbToG = -5638;   // -0.344136
constexpr int32_t kCrToG = -11700;  // -0.714136
constexpr int32_t kCbToB = 29032;   // 1.772

inline int32_t Clamp(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : (v > hi ? hi : v); }
inline uint8_t ClampByte(int32_t v) { return static_cast<uint8_t>(Clamp(v, 0, 255)); }
inline int32_t Descale(int32_t v, int shift) { return (v + (int32_t(1) << (shift - 1))) >> shift; }

// One 8-point transform of d[0..7] into out[0..7], unscaled.
void Transform8(const int32_t d[8], int32_t out[8]) {
  int32_t e0 = kE04 * (d[0] + d[4]);
  int32_t e1 = kE04 * (d[0] - d[4]);
  int32_t e3 = kE2a * d[2] + kE6a * d[6];
  int32_t e2 = kE2b * d[2] + kE6b * d[6];
  int32_t a0 = e0 + e3, a3 = e0 - e3, a1 = e1 + e2, a2 = e1 - e2;
  int32_t o[4];
  for (int k = 0; k < 4; ++k) o[k] = kOdd[k][0] * d[7] + kOdd[k][1] * d[5] + kOdd[k][2] * d[3] + kOdd[k][3] * d[1];
  out[0] = a0 + o[3];
  out[7] = a0 - o[3];
  out[1] = a1 + o[2];
  out[6] = a1 - o[2];
  out[2] = a2 + o[1];
  out[5] = a2 - o[1];
  out[3] = a3 + o[0];
  out[4] = a3 - o[0];
}

inline uint8_t AverageWeighted(int32_t nearv, int32_t farv, int32_t bias, int shift) {
  return static_cast<uint8_t>((3 * nearv + farv + bias) >> shift);
}

}  // namespace

void VJpg_InverseDctScalar(const int16_t* coefs, const uint16_t* quant, uint8_t* out, uint32_t stride) {
  int32_t middle[64];
  int32_t d[8], t[8];
  for (int u = 0; u < 8; ++u) {  // columns
    for (int v = 0; v < 8; ++v) d[v] = Clamp(int32_t(coefs[v * 8 + u]) * quant[v * 8 + u], -kInputLimit, kInputLimit);
    Transform8(d, t);
    for (int y = 0; y < 8; ++y) middle[y * 8 + u] = Clamp(Descale(t[y], kPass1Shift), -kMiddleLimit, kMiddleLimit);
  }
  for (int y = 0; y < 8; ++y) {  // rows
    Transform8(middle + y * 8, t);
    for (int x = 0; x < 8; ++x) out[y * stride + x] = ClampByte(Clamp(Descale(t[x], kPass2Shift), -32768, 32767) + 128);
  }
}

void VJpg_YccRowScalar(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint32_t* out, uint32_t count) {
  constexpr int32_t round = int32_t(1) << (kColourBits - 1);
  for (uint32_t i = 0; i < count; ++i) {
    int32_t b = int32_t(cb[i]) - 128, r = int32_t(cr[i]) - 128, l = y[i];
    uint32_t red = ClampByte(l + ((kCrToR * r + round) >> kColourBits));
    uint32_t green = ClampByte(l + ((kCbToG * b + kCrToG * r + round) >> kColourBits));
    uint32_t blue = ClampByte(l + ((kCbToB * b + round) >> kColourBits));
    out[i] = red | (green << 8) | (blue << 16) | 0xFF000000u;
  }
}

void VJpg_GreyRow(const uint8_t* y, uint32_t* out, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) out[i] = uint32_t(y[i]) * 0x010101u | 0xFF000000u;
}

void VJpg_UpsampleWide(const uint8_t* in, uint8_t* out, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    int32_t left = in[i > 0 ? i - 1 : 0], right = in[i + 1 < count ? i + 1 : i];
    out[2 * i] = AverageWeighted(in[i], left, 1, 2);
    out[2 * i + 1] = AverageWeighted(in[i], right, 2, 2);
  }
}

void VJpg_UpsampleTall(const uint8_t* nearrow, const uint8_t* farrow, uint8_t* out, uint32_t count, bool odd) {
  int32_t bias = odd ? 2 : 1;
  for (uint32_t i = 0; i < count; ++i) out[i] = AverageWeighted(nearrow[i], farrow[i], bias, 2);
}

void VJpg_UpsampleBothScalar(const uint8_t* nearrow, const uint8_t* farrow, uint8_t* out, uint32_t count) {
  // Column sums first (3:1 vertically, 0..1020), then 3:1 across them.
  int32_t previous = 3 * nearrow[0] + farrow[0];
  int32_t current = previous;
  for (uint32_t i = 0; i < count; ++i) {
    int32_t next = i + 1 < count ? 3 * nearrow[i + 1] + farrow[i + 1] : current;
    out[2 * i] = static_cast<uint8_t>((3 * current + previous + 8) >> 4);
    out[2 * i + 1] = static_cast<uint8_t>((3 * current + next + 7) >> 4);
    previous = current;
    current = next;
  }
}

#if defined(__SSE2__)

namespace {

inline __m128i Pair(int32_t a, int32_t b) {
  return _mm_setr_epi16(int16_t(a), int16_t(b), int16_t(a), int16_t(b), int16_t(a), int16_t(b), int16_t(a),
                        int16_t(b));
}

// Four lanes of a * x + b * y from interleaved (x, y) pairs, both halves.
struct Wide {
  __m128i lo, hi;
};
inline Wide MulAdd(const Wide& pairs, __m128i k) { return {_mm_madd_epi16(pairs.lo, k), _mm_madd_epi16(pairs.hi, k)}; }
inline Wide Interleave(__m128i x, __m128i y) { return {_mm_unpacklo_epi16(x, y), _mm_unpackhi_epi16(x, y)}; }
inline Wide Add(const Wide& a, const Wide& b) { return {_mm_add_epi32(a.lo, b.lo), _mm_add_epi32(a.hi, b.hi)}; }
inline Wide Sub(const Wide& a, const Wide& b) { return {_mm_sub_epi32(a.lo, b.lo), _mm_sub_epi32(a.hi, b.hi)}; }
inline __m128i Narrow(const Wide& v, int shift) {
  __m128i round = _mm_set1_epi32(int32_t(1) << (shift - 1));
  return _mm_packs_epi32(_mm_srai_epi32(_mm_add_epi32(v.lo, round), shift),
                         _mm_srai_epi32(_mm_add_epi32(v.hi, round), shift));
}

// The 8-point transform across eight vectors, lane by lane.
inline __attribute__((always_inline)) void Transform8(__m128i d[8], int shift) {
  Wide p04 = Interleave(d[0], d[4]), p26 = Interleave(d[2], d[6]);
  Wide p75 = Interleave(d[7], d[5]), p31 = Interleave(d[3], d[1]);
  Wide e0 = MulAdd(p04, Pair(kE04, kE04)), e1 = MulAdd(p04, Pair(kE04, -kE04));
  Wide e3 = MulAdd(p26, Pair(kE2a, kE6a)), e2 = MulAdd(p26, Pair(kE2b, kE6b));
  Wide a0 = Add(e0, e3), a3 = Sub(e0, e3), a1 = Add(e1, e2), a2 = Sub(e1, e2);
  Wide o[4];
  for (int k = 0; k < 4; ++k) {
    o[k] = Add(MulAdd(p75, Pair(kOdd[k][0], kOdd[k][1])), MulAdd(p31, Pair(kOdd[k][2], kOdd[k][3])));
  }
  d[0] = Narrow(Add(a0, o[3]), shift);
  d[7] = Narrow(Sub(a0, o[3]), shift);
  d[1] = Narrow(Add(a1, o[2]), shift);
  d[6] = Narrow(Sub(a1, o[2]), shift);
  d[2] = Narrow(Add(a2, o[1]), shift);
  d[5] = Narrow(Sub(a2, o[1]), shift);
  d[3] = Narrow(Add(a3, o[0]), shift);
  d[4] = Narrow(Sub(a3, o[0]), shift);
}

inline __attribute__((always_inline)) void Transpose8(__m128i r[8]) {
  __m128i a0 = _mm_unpacklo_epi16(r[0], r[1]), a1 = _mm_unpackhi_epi16(r[0], r[1]);
  __m128i a2 = _mm_unpacklo_epi16(r[2], r[3]), a3 = _mm_unpackhi_epi16(r[2], r[3]);
  __m128i a4 = _mm_unpacklo_epi16(r[4], r[5]), a5 = _mm_unpackhi_epi16(r[4], r[5]);
  __m128i a6 = _mm_unpacklo_epi16(r[6], r[7]), a7 = _mm_unpackhi_epi16(r[6], r[7]);
  __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
  __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
  __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
  __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
  r[0] = _mm_unpacklo_epi64(b0, b4);
  r[1] = _mm_unpackhi_epi64(b0, b4);
  r[2] = _mm_unpacklo_epi64(b1, b5);
  r[3] = _mm_unpackhi_epi64(b1, b5);
  r[4] = _mm_unpacklo_epi64(b2, b6);
  r[5] = _mm_unpackhi_epi64(b2, b6);
  r[6] = _mm_unpacklo_epi64(b3, b7);
  r[7] = _mm_unpackhi_epi64(b3, b7);
}

// True when every coefficient but the DC term is zero, as in smooth areas.
inline bool OnlyDc(const int16_t* coefs) {
  __m128i ac = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(coefs)),
                             _mm_setr_epi16(0, -1, -1, -1, -1, -1, -1, -1));
  for (int v = 1; v < 8; ++v) ac = _mm_or_si128(ac, _mm_loadu_si128(reinterpret_cast<const __m128i*>(coefs + v * 8)));
  return _mm_movemask_epi8(_mm_cmpeq_epi16(ac, _mm_setzero_si128())) == 0xFFFF;
}

// The two passes of a block holding only its DC term give one value: pass 1
// turns the dequantised x into exactly 4x, pass 2 that into (4x + 16) >> 5;
// the 16-bit product wraps as the vector pass's does.
void FillDcOnly(int16_t coef, uint16_t quant, uint8_t* out, uint32_t stride) {
  const int16_t product = int16_t(uint16_t(uint32_t(uint16_t(coef)) * quant));
  const int32_t middle = Clamp(4 * Clamp(product, -kInputLimit, kInputLimit), -kMiddleLimit, kMiddleLimit);
  const __m128i value = _mm_set1_epi8(char(ClampByte(((middle + 16) >> 5) + 128)));
  for (int y = 0; y < 8; ++y) _mm_storel_epi64(reinterpret_cast<__m128i*>(out + y * stride), value);
}

}  // namespace

void VJpg_InverseDctSse2(const int16_t* coefs, const uint16_t* quant, uint8_t* out, uint32_t stride) {
  if (OnlyDc(coefs)) {
    FillDcOnly(coefs[0], quant[0], out, stride);
    return;
  }
  __m128i r[8];
  const __m128i limit = _mm_set1_epi16(int16_t(kInputLimit));
  const __m128i middle = _mm_set1_epi16(int16_t(kMiddleLimit));
  for (int v = 0; v < 8; ++v) {
    __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coefs + v * 8));
    __m128i q = _mm_loadu_si128(reinterpret_cast<const __m128i*>(quant + v * 8));
    __m128i product = _mm_mullo_epi16(c, q);
    r[v] = _mm_max_epi16(_mm_min_epi16(product, limit), _mm_sub_epi16(_mm_setzero_si128(), limit));
  }
  Transform8(r, kPass1Shift);
  for (int v = 0; v < 8; ++v) r[v] = _mm_max_epi16(_mm_min_epi16(r[v], middle), _mm_sub_epi16(_mm_setzero_si128(), middle));
  Transpose8(r);
  Transform8(r, kPass2Shift);
  Transpose8(r);
  const __m128i bias = _mm_set1_epi16(128);
  for (int y = 0; y < 8; y += 2) {
    __m128i bytes = _mm_packus_epi16(_mm_adds_epi16(r[y], bias), _mm_adds_epi16(r[y + 1], bias));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + y * stride), bytes);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + (y + 1) * stride), _mm_srli_si128(bytes, 8));
  }
}

void VJpg_YccRowSse2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint32_t* out, uint32_t count) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i centre = _mm_set1_epi16(128);
  const __m128i opaque = _mm_set1_epi8(-1);
  const __m128i toR = Pair(0, kCrToR), toG = Pair(kCbToG, kCrToG), toB = Pair(kCbToB, 0);
  uint32_t i = 0;
  for (; i + 8 <= count; i += 8) {
    __m128i l = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(y + i)), zero);
    __m128i b = _mm_sub_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cb + i)), zero), centre);
    __m128i r = _mm_sub_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cr + i)), zero), centre);
    Wide pairs = Interleave(b, r);
    __m128i red = _mm_packus_epi16(_mm_add_epi16(l, Narrow(MulAdd(pairs, toR), kColourBits)), zero);
    __m128i green = _mm_packus_epi16(_mm_add_epi16(l, Narrow(MulAdd(pairs, toG), kColourBits)), zero);
    __m128i blue = _mm_packus_epi16(_mm_add_epi16(l, Narrow(MulAdd(pairs, toB), kColourBits)), zero);
    __m128i rg = _mm_unpacklo_epi8(red, green);
    __m128i ba = _mm_unpacklo_epi8(blue, opaque);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi16(rg, ba));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 4), _mm_unpackhi_epi16(rg, ba));
  }
  VJpg_YccRowScalar(y + i, cb + i, cr + i, out + i, count - i);
}

void VJpg_UpsampleBothSse2(const uint8_t* nearrow, const uint8_t* farrow, uint8_t* out, uint32_t count) {
  if (count < 10) {
    VJpg_UpsampleBothScalar(nearrow, farrow, out, count);
    return;
  }
  const __m128i zero = _mm_setzero_si128();
  const __m128i three = _mm_set1_epi16(3);
  auto sums = [&](uint32_t at) {  // eight column sums from input sample at
    __m128i n = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(nearrow + at)), zero);
    __m128i f = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(farrow + at)), zero);
    return _mm_add_epi16(_mm_mullo_epi16(n, three), f);
  };
  // The edges (first sample, and the tail the vectors cannot reach) go the
  // portable way; the middle eight samples at a time.
  VJpg_UpsampleBothScalar(nearrow, farrow, out, 2);
  uint32_t i = 1;
  for (; i + 9 <= count; i += 8) {
    __m128i previous = sums(i - 1), current = sums(i), next = sums(i + 1);
    __m128i tripled = _mm_mullo_epi16(current, three);
    __m128i even = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(tripled, previous), _mm_set1_epi16(8)), 4);
    __m128i odd = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(tripled, next), _mm_set1_epi16(7)), 4);
    __m128i pairs = _mm_or_si128(even, _mm_slli_epi16(odd, 8));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), pairs);
  }
  // The rest from one sample before it, whose left neighbour is then real.
  uint8_t tail[2 * 11];
  uint32_t from = i - 1, left = count - from;
  VJpg_UpsampleBothScalar(nearrow + from, farrow + from, tail, left);
  for (uint32_t j = 2; j < 2 * left; ++j) out[2 * from + j] = tail[j];
}

void VJpg_InverseDct(const int16_t* coefs, const uint16_t* quant, uint8_t* out, uint32_t stride) {
  VJpg_InverseDctSse2(coefs, quant, out, stride);
}

void VJpg_YccRow(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint32_t* out, uint32_t count) {
  VJpg_YccRowSse2(y, cb, cr, out, count);
}

void VJpg_UpsampleBoth(const uint8_t* nearrow, const uint8_t* farrow, uint8_t* out, uint32_t count) {
  VJpg_UpsampleBothSse2(nearrow, farrow, out, count);
}

#else

void VJpg_InverseDct(const int16_t* coefs, const uint16_t* quant, uint8_t* out, uint32_t stride) {
  VJpg_InverseDctScalar(coefs, quant, out, stride);
}

void VJpg_YccRow(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint32_t* out, uint32_t count) {
  VJpg_YccRowScalar(y, cb, cr, out, count);
}

void VJpg_UpsampleBoth(const uint8_t* nearrow, const uint8_t* farrow, uint8_t* out, uint32_t count) {
  VJpg_UpsampleBothScalar(nearrow, farrow, out, count);
}

#endif
