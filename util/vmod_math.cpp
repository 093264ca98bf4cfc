// vmod_math.cpp - fixed-point math and the random number generator.
//
// Everything is integer arithmetic. Products that can leave 32 bits (square
// root trials, 20.12 matrix terms with large translations) are formed in 64
// bits; left shifts of signed values go through uint32_t so that negative
// operands stay defined.
// Depends on: framework/vmod_vtimer.h (real-time seed), util/vmath_sintable.h.
#include "util/vmod_math.h"

#include <cstdint>
#include <new>

#include "framework/vmod_vtimer.h"
#include "util/vmath_sintable.h"

namespace {

constexpr uint32_t kAngleMask = 4095;
constexpr uint32_t kQuarter = 1024;
constexpr uint32_t kTableEntries = 5 * kQuarter;        // four quarters plus one so Cos needs no mask of its own
constexpr int32_t kMatrixOne = 4096;                    // 1.0 in 20.12
constexpr int32_t kSaturatedPositive = 0x7FFFFFFF;
constexpr int32_t kSaturatedNegative = -0x7FFFFFFF;     // 0x80000001

// Generator tables: the seed's low half is mixed with kRandSeedMix[k], the
// output is whitened with kRandOutputMix[k], k taken from the new high half.
constexpr uint32_t kRandSeedMix[16] = {
    0x0923AB23, 0xDF920D20, 0x03485921, 0xDF230AAD, 0xDAAF239B, 0xEBA13DAF, 0xCE238D01, 0x01592DDE,
    0xCC2309DE, 0xDE395056, 0x205DFAB2, 0x19681549, 0xDBAFF941, 0xAB8DF12C, 0xCD059DD3, 0xFF185FAB,
};
constexpr uint32_t kRandOutputMix[16] = {
    0xA7B93291, 0x0389AF83, 0x4CD923AA, 0x823AF340, 0xDF923800, 0xEF7FAB92, 0x923ACDFA, 0xA7239AA3,
    0x93401034, 0xAB49DC34, 0x9106BD8F, 0x0239F1CB, 0xD01750DD, 0x0923D01E, 0x304DC09F, 0x1204FF31,
};

// Low 32 bits of v as a signed value (two's complement wrap).
int32_t WrapToInt32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

int32_t ShiftLeft(int32_t v, uint32_t bits) { return static_cast<int32_t>(static_cast<uint32_t>(v) << bits); }

int32_t Negate(int32_t v) { return static_cast<int32_t>(0u - static_cast<uint32_t>(v)); }

uint32_t Magnitude(int32_t v) { return v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v); }

// (a * b) >> bits with the product in 64 bits.
int64_t ProductShifted(int32_t a, int32_t b, uint32_t bits) { return (static_cast<int64_t>(a) * b) >> bits; }

// Rotation terms: 16384-scaled factors, product brought to 20.12.
int32_t RotationTerm(int32_t a, int32_t b) { return static_cast<int32_t>(ProductShifted(a, b, 16)); }

// (fixed << 14) / (divisor >> 2): a 16.16 quotient, -1 where the divisor vanishes.
int32_t FixedQuotient(int32_t fixed, int32_t divisor) {
  const int32_t scaled = divisor >> 2;
  return scaled == 0 ? -1 : ShiftLeft(fixed, 14) / scaled;
}

void BuildSineTable(int32_t* s) {
  for (uint32_t i = 0; i < kQuarter; ++i) {
    s[i] = VMath_QuarterSine[i];
    s[kQuarter + i] = VMath_QuarterSine[kQuarter - 1 - i];
    s[4 * kQuarter + i] = VMath_QuarterSine[i];
  }
  for (uint32_t j = 0; j < 2 * kQuarter; ++j) s[2 * kQuarter + j] = -s[j];
}

uint32_t HighestSetBit(uint32_t v) {
  uint32_t p = 0;
  while (v >>= 1) ++p;
  return p;
}

}  // namespace

ClassVMath::~ClassVMath() { delete[] sintable; }

bool ClassVMath::Init() {
  delete[] sintable;
  costable = nullptr;
  randseed = ClassVRTimer::Count();
  sintable = new (std::nothrow) int32_t[kTableEntries];
  if (sintable == nullptr) return false;
  BuildSineTable(sintable);
  costable = sintable + kQuarter;
  return true;
}

int32_t ClassVMath::Sin(uint32_t angle) const { return sintable ? sintable[angle & kAngleMask] : 0; }

int32_t ClassVMath::Cos(uint32_t angle) const { return costable ? costable[angle & kAngleMask] : 0; }

int32_t ClassVMath::Tan(uint32_t angle) const {
  return sintable ? FixedQuotient(Sin(angle), Cos(angle)) : 0;
}

int32_t ClassVMath::Cotan(uint32_t angle) const {
  return sintable ? FixedQuotient(Cos(angle), Sin(angle)) : 0;
}

int32_t ClassVMath::Abs(int32_t v) { return v < 0 ? Negate(v) : v; }

// Binary search from the middle of the 16-bit root range; squares in 64 bits
// so the whole positive int32 range is served.
int32_t ClassVMath::IntSqrt(int32_t v) {
  if (v <= 0) return 0;
  int64_t r = 32768;
  int64_t step = 32768;
  do {
    step >>= 1;
    const int64_t square = r * r;
    if (v < square) {
      r -= step;
    } else if (v > square) {
      r += step;
    }
  } while (step != 0);
  return static_cast<int32_t>(r);
}

void ClassVMath::SetRandSeed(uint32_t seed) { randseed = seed; }

uint32_t ClassVMath::GetRandSeed() const { return randseed; }

// A 16-bit linear congruential step on each half of the seed; the new high
// half picks the mixing words. All steps are mod 65536, hence uint32_t.
uint32_t ClassVMath::Rand() {
  const uint32_t hi = (1103515245u * (randseed >> 16) + 12345u) & 0xFFFFu;
  const uint32_t k = hi & 15u;
  const uint32_t lo = (23743u * (kRandSeedMix[k] ^ (randseed & 0xFFFFu)) + 193u) & 0xFFFFu;
  randseed = (hi << 16) | lo;
  return randseed ^ kRandOutputMix[k];
}

uint32_t ClassVMath::Rand(uint32_t min, uint32_t max) {
  if (min >= max) return min;
  const uint32_t span = max - min + 1u;                 // 0 for the full 32-bit range
  return span == 0 ? min + Rand() : min + Rand() % span;
}

void ClassVMath::MatrixLoadIdentity(int32_t* m) {
  for (uint32_t i = 0; i < 16; ++i) m[i] = (i % 5 == 0) ? kMatrixOne : 0;
}

void ClassVMath::MatrixSetTranslate(int32_t x, int32_t y, int32_t z, int32_t* m) {
  m[12] = x;
  m[13] = y;
  m[14] = z;
}

void ClassVMath::MatrixSetRotate(uint32_t ax, uint32_t ay, uint32_t az, int32_t* m) const {
  const int32_t cx = Cos(ax) >> 2, sx = Sin(ax) >> 2;
  const int32_t cy = Cos(ay) >> 2, sy = Sin(ay) >> 2;
  const int32_t cz = Cos(az) >> 2, sz = Sin(az) >> 2;
  const int32_t t1 = static_cast<int32_t>(ProductShifted(cx, sy, 14));
  const int32_t t2 = static_cast<int32_t>(ProductShifted(sx, sy, 14));
  m[0] = RotationTerm(cz, cy);
  m[1] = RotationTerm(cy, sz);
  m[2] = (-sy) >> 2;
  m[4] = RotationTerm(cz, t2) - RotationTerm(sz, cx);
  m[5] = RotationTerm(cz, cx) + RotationTerm(sz, t2);
  m[6] = RotationTerm(sx, cy);
  m[8] = RotationTerm(sz, sx) + RotationTerm(t1, cz);
  m[9] = RotationTerm(sz, t1) - RotationTerm(cz, sx);
  m[10] = RotationTerm(cy, cx);
}

// Every 20.12 product is shifted on its own, as the renderer expects; the
// products are 64-bit because a translation beyond 128.0 times 1.0 already
// leaves 32 bits. The result is gathered apart, so n may be m itself.
void ClassVMath::MatrixMultiply(int32_t* m, const int32_t* n) {
  int32_t result[16];
  for (uint32_t r = 0; r < 3; ++r) {
    for (uint32_t j = 0; j < 3; ++j) {
      result[4 * j + r] = WrapToInt32(ProductShifted(m[r], n[4 * j], 12) + ProductShifted(m[4 + r], n[4 * j + 1], 12) +
                                      ProductShifted(m[8 + r], n[4 * j + 2], 12));
    }
    result[12 + r] = WrapToInt32(ProductShifted(m[r], n[12], 12) + ProductShifted(m[4 + r], n[13], 12) +
                                 ProductShifted(m[8 + r], n[14], 12) + m[12 + r]);
  }
  result[3] = result[7] = result[11] = 0;
  result[15] = 1;
  for (uint32_t i = 0; i < 16; ++i) m[i] = result[i];
}

// A rotation's inverse is its transpose; the translation is then undone by
// composing with the negated old translation.
void ClassVMath::MatrixReverse(int32_t* m) {
  auto swap = [m](uint32_t a, uint32_t b) {
    const int32_t keep = m[a];
    m[a] = m[b];
    m[b] = keep;
  };
  swap(1, 4);
  swap(2, 8);
  swap(6, 9);
  int32_t back[16];
  MatrixLoadIdentity(back);
  MatrixSetTranslate(Negate(m[12]), Negate(m[13]), Negate(m[14]), back);
  m[12] = m[13] = m[14] = 0;
  MatrixMultiply(m, back);
}

int32_t ClassVMath::FloatToFixed(uint32_t bits, int32_t n) {
  const uint32_t exponent = (bits >> 23) & 0xFFu;
  const uint32_t fraction = bits & 0x7FFFFFu;
  const bool negative = (bits >> 31) != 0;
  const int32_t saturated = negative ? kSaturatedNegative : kSaturatedPositive;
  if (exponent == 0xFFu) return fraction != 0 ? 0 : saturated;
  const int64_t shift = static_cast<int64_t>(exponent) + n - 150;
  if (shift < -31) return 0;
  if (shift > 31) return saturated;
  const uint32_t mantissa = fraction | 0x800000u;
  const uint32_t magnitude = shift >= 0 ? mantissa << shift : mantissa >> -shift;
  return static_cast<int32_t>(negative ? 0u - magnitude : magnitude);
}

// Exponents beyond the single format's range (only for fraction counts far
// outside 0..31) become infinity or zero of the same sign.
uint32_t ClassVMath::FixedToFloat(int32_t v, int32_t n) {
  if (v == 0) return 0;
  const uint32_t sign = static_cast<uint32_t>(v) & 0x80000000u;
  const uint32_t magnitude = Magnitude(v);
  const uint32_t p = HighestSetBit(magnitude);
  const int64_t exponent = static_cast<int64_t>(p) - n + 127;
  if (exponent >= 255) return sign | 0x7F800000u;
  if (exponent <= 0) return sign;
  const uint32_t normalised = p >= 23 ? magnitude >> (p - 23) : magnitude << (23 - p);
  return sign | (static_cast<uint32_t>(exponent) << 23) | (normalised & 0x7FFFFFu);
}
