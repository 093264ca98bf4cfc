// Tests of the fixed-point math module: the sine table and its symmetries,
// tangent, square root, the random generator against a plain re-computation
// of its four steps, 20.12 matrices (large translations included) and the
// IEEE single conversions against hand-derived bit patterns.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <ostream>
#include <vector>

#include <gtest/gtest.h>

#include "framework/vmod_vtimer.h"
#include "platform/host/host_devices.h"
#include "util/vmod_math.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int32_t kOne12 = 4096;                        // 1.0 in 20.12

class VMathTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(math.Init()); }
  ClassVMath math;
};

// ---------------------------------------------------------------- lifecycle

TEST(VMathLifecycle, EverythingIsZeroBeforeInit) {
  ClassVMath math;
  EXPECT_EQ(math.GetRandSeed(), 0u);
  for (uint32_t angle : {0u, 1u, 512u, 1024u, 2048u, 3072u, 4095u}) {
    EXPECT_EQ(math.Sin(angle), 0) << angle;
    EXPECT_EQ(math.Cos(angle), 0) << angle;
    EXPECT_EQ(math.Tan(angle), 0) << angle;
    EXPECT_EQ(math.Cotan(angle), 0) << angle;
  }
  int32_t m[16];
  for (int32_t& v : m) v = 77;
  math.MatrixSetRotate(100, 200, 300, m);
  for (int i : {0, 1, 2, 4, 5, 6, 8, 9, 10}) EXPECT_EQ(m[i], 0) << i;
}

TEST(VMathLifecycle, InitSeedsFromTheRealTimeClock) {
  HostClock_UseVirtual(true, 123456789012ull);
  ClassVMath math;
  ASSERT_TRUE(math.Init());
  EXPECT_EQ(math.GetRandSeed(), ClassVRTimer::Count());
  EXPECT_EQ(math.GetRandSeed(), 123456789u);            // 123456 s * 1000 + 789012 us / 1000
}

TEST(VMathLifecycle, InitAgainRebuildsTheSameTables) {
  ClassVMath math;
  ASSERT_TRUE(math.Init());
  std::vector<int32_t> first;
  for (uint32_t a = 0; a < 4096; ++a) first.push_back(math.Sin(a));
  ASSERT_TRUE(math.Init());
  for (uint32_t a = 0; a < 4096; ++a) {
    ASSERT_EQ(math.Sin(a), first[a]) << a;
    ASSERT_EQ(math.Cos(a), first[(a + 1024) & 4095]) << a;
  }
}

// ---------------------------------------------------------------- sine table

struct TrigCase {
  const char* what;
  int32_t (ClassVMath::*fn)(uint32_t) const;
  uint32_t angle;
  int32_t expected;
};

TEST_F(VMathTest, TrigonometryHitsItsFixedPoints) {
  const TrigCase cases[] = {
      {"Sin", &ClassVMath::Sin, 0, 0},          {"Sin", &ClassVMath::Sin, 1, 100},
      {"Sin", &ClassVMath::Sin, 256, 25067},    {"Sin", &ClassVMath::Sin, 512, 46322},
      {"Sin", &ClassVMath::Sin, 1023, 65536},   {"Sin", &ClassVMath::Sin, 1024, 65536},
      {"Sin", &ClassVMath::Sin, 2048, 0},       {"Sin", &ClassVMath::Sin, 3072, -65536},
      {"Sin", &ClassVMath::Sin, 4096, 0},       {"Sin", &ClassVMath::Sin, 0xFFFFF400u, 65536},
      {"Cos", &ClassVMath::Cos, 0, 65536},      {"Cos", &ClassVMath::Cos, 1024, 0},
      {"Cos", &ClassVMath::Cos, 2048, -65536},  {"Cos", &ClassVMath::Cos, 3072, 0},
      {"Cos", &ClassVMath::Cos, 4095, 65536},   {"Cos", &ClassVMath::Cos, 4096, 65536},
      // Tangent: (sine << 14) / (cosine >> 2); -1 where cosine >> 2 is 0.
      {"Tan", &ClassVMath::Tan, 0, 0},          {"Tan", &ClassVMath::Tan, 1024, -1},
      {"Tan", &ClassVMath::Tan, 2048, 0},       {"Tan", &ClassVMath::Tan, 3072, -1},
      {"Cotan", &ClassVMath::Cotan, 0, -1},     {"Cotan", &ClassVMath::Cotan, 1024, 0},
      {"Cotan", &ClassVMath::Cotan, 2048, -1},  {"Cotan", &ClassVMath::Cotan, 3072, 0},
  };
  for (const TrigCase& c : cases) EXPECT_EQ((math.*c.fn)(c.angle), c.expected) << c.what << "(" << c.angle << ")";
}

TEST_F(VMathTest, FirstQuarterFollowsTheTrueSineWithin20Units) {
  for (uint32_t i = 0; i < 1024; ++i) {
    const double exact = 65536.0 * std::sin(2.0 * kPi * i / 4096.0);
    ASSERT_LE(std::fabs(math.Sin(i) - exact), 20.0) << i;
  }
}

TEST_F(VMathTest, TurnIsBuiltFromMirroredAndNegatedQuarters) {
  for (uint32_t a = 0; a < 4096; ++a) {
    ASSERT_EQ(math.Sin(2048 + a), -math.Sin(a)) << a;
    ASSERT_EQ(math.Cos(a), math.Sin(a + 1024)) << a;
    ASSERT_EQ(math.Sin(4096 + a), math.Sin(a)) << a;
    ASSERT_EQ(math.Sin(0xABCDE000u + a), math.Sin(a)) << a;
    ASSERT_EQ(math.Cos(0xFFFFF000u + a), math.Cos(a)) << a;
  }
  for (uint32_t i = 0; i < 1024; ++i) ASSERT_EQ(math.Sin(1024 + i), math.Sin(1023 - i)) << i;
}

TEST_F(VMathTest, TangentFollowsTheTrueTangentAwayFromItsPoles) {
  for (uint32_t angle : {64u, 256u, 512u, 768u, 900u, 1300u, 2304u, 2560u, 3584u, 3900u}) {
    const double theta = 2.0 * kPi * angle / 4096.0;
    const double tangent = 65536.0 * std::tan(theta);
    const double cotangent = 65536.0 / std::tan(theta);
    // Cosine comes from the mirrored quarter, one table step off, so allow 3 %.
    EXPECT_NEAR(math.Tan(angle), tangent, std::fabs(tangent) * 0.03 + 2) << angle;
    EXPECT_NEAR(math.Cotan(angle), cotangent, std::fabs(cotangent) * 0.03 + 2) << angle;
  }
}

// ---------------------------------------------------------------- Abs, IntSqrt

TEST(VMathArithmetic, AbsOfSignedValues) {
  const int32_t kMin = std::numeric_limits<int32_t>::min();
  const int32_t kMax = std::numeric_limits<int32_t>::max();
  const struct {
    int32_t v, expected;
  } cases[] = {{0, 0}, {5, 5}, {-5, 5}, {kMax, kMax}, {kMin + 1, kMax}, {kMin, kMin}};  // INT32_MIN has no positive twin
  for (const auto& c : cases) EXPECT_EQ(ClassVMath::Abs(c.v), c.expected) << c.v;
}

TEST(VMathArithmetic, IntSqrtOfSmallAndNonPositiveValues) {
  const struct {
    int32_t v, expected;
  } cases[] = {{0, 0}, {-5, 0}, {std::numeric_limits<int32_t>::min(), 0}, {1, 1}, {4, 2},
               {10, 3}, {16, 4}, {17, 5}, {1 << 30, 32768}};
  for (const auto& c : cases) EXPECT_EQ(ClassVMath::IntSqrt(c.v), c.expected) << c.v;
}

// |r - sqrt(v)| < 1, decided in integers: (r - 1)^2 < v < (r + 1)^2.
bool WithinOneOfRoot(int32_t v, int32_t r) {
  const int64_t below = static_cast<int64_t>(r) - 1, above = static_cast<int64_t>(r) + 1;
  return below * below < v && v < above * above;
}

TEST(VMathArithmetic, IntSqrtIsWithinOneAcrossThePositiveRange) {
  std::vector<int32_t> values;
  for (int32_t v = 1; v <= 70000; ++v) values.push_back(v);
  for (int64_t n = 2; n <= 46340; ++n) {
    for (int64_t d = -1; d <= 1; ++d) values.push_back(static_cast<int32_t>(n * n + d));
  }
  for (int32_t k = 0; k < 5000; ++k) values.push_back(std::numeric_limits<int32_t>::max() - k);
  for (int32_t k = -5000; k < 5000; ++k) values.push_back((1 << 30) + k);
  for (int32_t v : values) ASSERT_TRUE(WithinOneOfRoot(v, ClassVMath::IntSqrt(v))) << v << " -> " << ClassVMath::IntSqrt(v);
}

// ---------------------------------------------------------------- random numbers

// The generator's four steps written out plainly, in 64-bit arithmetic with
// explicit remainders, as an independent check of the module.
uint32_t ReferenceRand(uint32_t& seed) {
  static const uint32_t M[16] = {0x0923AB23, 0xDF920D20, 0x03485921, 0xDF230AAD, 0xDAAF239B, 0xEBA13DAF,
                                 0xCE238D01, 0x01592DDE, 0xCC2309DE, 0xDE395056, 0x205DFAB2, 0x19681549,
                                 0xDBAFF941, 0xAB8DF12C, 0xCD059DD3, 0xFF185FAB};
  static const uint32_t G[16] = {0xA7B93291, 0x0389AF83, 0x4CD923AA, 0x823AF340, 0xDF923800, 0xEF7FAB92,
                                 0x923ACDFA, 0xA7239AA3, 0x93401034, 0xAB49DC34, 0x9106BD8F, 0x0239F1CB,
                                 0xD01750DD, 0x0923D01E, 0x304DC09F, 0x1204FF31};
  const uint64_t hi = (1103515245ull * (seed / 65536) + 12345) % 65536;
  const uint64_t k = hi % 16;
  const uint64_t lo = (23743ull * (M[k] ^ (seed % 65536)) + 193) % 65536;
  seed = static_cast<uint32_t>(hi * 65536 + lo);
  return seed ^ G[k];
}

TEST(VMathRandom, SequenceMatchesThePlainRecomputation) {
  for (uint32_t start : {0u, 1u, 0xFFFFu, 0x10000u, 123456789u, 0xDEADBEEFu, 0xFFFFFFFFu}) {
    ClassVMath math;
    math.SetRandSeed(start);
    EXPECT_EQ(math.GetRandSeed(), start);
    uint32_t seed = start;
    for (int i = 0; i < 2000; ++i) {
      const uint32_t expected = ReferenceRand(seed);
      ASSERT_EQ(math.Rand(), expected) << "seed " << start << " draw " << i;
      ASSERT_EQ(math.GetRandSeed(), seed) << "seed " << start << " draw " << i;
    }
  }
}

TEST(VMathRandom, SameSeedGivesTheSameSequence) {
  ClassVMath a, b;
  a.SetRandSeed(0x5EED1234u);
  b.SetRandSeed(0x5EED1234u);
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(a.Rand(), b.Rand()) << i;
    ASSERT_EQ(a.Rand(i, 1000 + i), b.Rand(i, 1000 + i)) << i;
  }
}

TEST(VMathRandom, RangeWithoutSpanReturnsMinAndKeepsTheSeed) {
  const struct {
    uint32_t min, max;
  } cases[] = {{5, 5}, {7, 3}, {0, 0}, {0xFFFFFFFFu, 0}, {0xFFFFFFFFu, 0xFFFFFFFFu}};
  ClassVMath math;
  math.SetRandSeed(42);
  for (const auto& c : cases) {
    EXPECT_EQ(math.Rand(c.min, c.max), c.min) << c.min << ".." << c.max;
    EXPECT_EQ(math.GetRandSeed(), 42u) << c.min << ".." << c.max;
  }
}

TEST(VMathRandom, RangeIsMinPlusRandModuloSpan) {
  const struct {
    uint32_t min, max;
  } cases[] = {{0, 1}, {0, 7}, {10, 20}, {1000, 1255}, {1, 0xFFFFFFFFu}, {0xFFFFFFF0u, 0xFFFFFFFFu}};
  for (const auto& c : cases) {
    ClassVMath math;
    math.SetRandSeed(0xC0FFEEu);
    uint32_t seed = 0xC0FFEEu;
    const uint64_t span = static_cast<uint64_t>(c.max) - c.min + 1;
    for (int i = 0; i < 500; ++i) {
      const uint32_t got = math.Rand(c.min, c.max);
      ASSERT_EQ(got, c.min + ReferenceRand(seed) % span) << c.min << ".." << c.max << " draw " << i;
      ASSERT_GE(got, c.min);
      ASSERT_LE(got, c.max);
    }
  }
}

TEST(VMathRandom, FullRangeReturnsMinPlusRand) {
  ClassVMath math;
  math.SetRandSeed(7);
  uint32_t seed = 7;
  for (int i = 0; i < 100; ++i) ASSERT_EQ(math.Rand(0, 0xFFFFFFFFu), ReferenceRand(seed)) << i;
}

// ---------------------------------------------------------------- matrices

using Matrix = std::array<int32_t, 16>;

Matrix Filled(int32_t base) {
  Matrix m;
  for (int i = 0; i < 16; ++i) m[i] = base + i;
  return m;
}

Matrix Identity() {
  Matrix m = Filled(-1);
  ClassVMath::MatrixLoadIdentity(m.data());
  return m;
}

Matrix Translation(int32_t x, int32_t y, int32_t z) {
  Matrix m = Identity();
  ClassVMath::MatrixSetTranslate(x, y, z, m.data());
  return m;
}

TEST(VMathMatrix, IdentityHas4096OnTheDiagonal) {
  const Matrix m = Identity();
  for (int i = 0; i < 16; ++i) EXPECT_EQ(m[i], (i == 0 || i == 5 || i == 10 || i == 15) ? kOne12 : 0) << i;
}

TEST(VMathMatrix, SetTranslateChangesOnlyTheTranslation) {
  Matrix m = Filled(100);
  ClassVMath::MatrixSetTranslate(-7, 8, 1 << 30, m.data());
  const Matrix before = Filled(100);
  for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 15}) EXPECT_EQ(m[i], before[i]) << i;
  EXPECT_EQ(m[12], -7);
  EXPECT_EQ(m[13], 8);
  EXPECT_EQ(m[14], 1 << 30);
}

TEST_F(VMathTest, QuarterTurnRotationsAreExact) {
  // Quarter turns read exact table entries (0 and 65536), so every entry is
  // derived by hand from the rotation formulas.
  const struct {
    uint32_t ax, ay, az;
    int32_t linear[9];                                  // entries 0, 1, 2, 4, 5, 6, 8, 9, 10
  } cases[] = {
      {0, 0, 0, {4096, 0, 0, 0, 4096, 0, 0, 0, 4096}},
      {0, 0, 1024, {0, 4096, 0, -4096, 0, 0, 0, 0, 4096}},   // about z: x -> y, y -> -x
      {1024, 0, 0, {4096, 0, 0, 0, 0, 4096, 0, -4096, 0}},   // about x: y -> z, z -> -y
      {0, 1024, 0, {0, 0, -4096, 0, 4096, 0, 4096, 0, 0}},   // about y: x -> -z, z -> x
      {0, 0, 2048, {-4096, 0, 0, 0, -4096, 0, 0, 0, 4096}},
      {4096, 8192, 1024 + 4096, {0, 4096, 0, -4096, 0, 0, 0, 0, 4096}},  // high bits ignored
  };
  const int linearIndex[9] = {0, 1, 2, 4, 5, 6, 8, 9, 10};
  for (const auto& c : cases) {
    Matrix m = Filled(1000);
    math.MatrixSetRotate(c.ax, c.ay, c.az, m.data());
    for (int k = 0; k < 9; ++k) EXPECT_EQ(m[linearIndex[k]], c.linear[k]) << c.ax << "," << c.ay << "," << c.az << " entry " << linearIndex[k];
    for (int i : {3, 7, 11, 12, 13, 14, 15}) EXPECT_EQ(m[i], 1000 + i) << "untouched entry " << i;
  }
}

TEST(VMathMatrix, MultiplyAddsTranslationsBeyond128) {
  // 300.0, -200.0, 1000.0 and 128.0, 146.5, -488.25 in 20.12: products with
  // 1.0 leave 32 bits, the sums do not.
  Matrix m = Translation(1228800, -819200, 4096000);
  const Matrix n = Translation(524288, 600064, -1999872);
  ClassVMath::MatrixMultiply(m.data(), n.data());
  const Matrix expected = {4096, 0, 0, 0, 0, 4096, 0, 0, 0, 0, 4096, 0, 1753088, -219136, 2096128, 1};
  EXPECT_EQ(m, expected);
}

TEST_F(VMathTest, MultiplyRotatesTheTranslationOfTheSecondMatrix) {
  Matrix m = Identity();
  math.MatrixSetRotate(0, 0, 1024, m.data());
  ClassVMath::MatrixSetTranslate(40960, 0, 0, m.data());
  const Matrix n = Translation(1000000, 2000000, -3000000);
  ClassVMath::MatrixMultiply(m.data(), n.data());
  // Quarter turn about z: (x, y, z) -> (-y, x, z), then m's own translation.
  const Matrix expected = {0, 4096, 0, 0, -4096, 0, 0, 0, 0, 0, 4096, 0, -2000000 + 40960, 1000000, -3000000, 1};
  EXPECT_EQ(m, expected);
}

TEST_F(VMathTest, MultiplyByIdentityKeepsTheMatrixEitherSide) {
  Matrix m = Identity();
  math.MatrixSetRotate(123, 2345, 3456, m.data());
  ClassVMath::MatrixSetTranslate(-4000000, 3000000, 777777, m.data());
  const Matrix original = m;
  ClassVMath::MatrixMultiply(m.data(), Identity().data());
  Matrix left = Identity();
  ClassVMath::MatrixMultiply(left.data(), original.data());
  for (int i = 0; i < 15; ++i) {
    if (i == 3 || i == 7 || i == 11) continue;
    EXPECT_EQ(m[i], original[i]) << i;
    EXPECT_EQ(left[i], original[i]) << i;
  }
}

TEST_F(VMathTest, MultiplyAcceptsTheSameMatrixTwice) {
  Matrix m = Identity();
  math.MatrixSetRotate(0, 0, 1024, m.data());
  ClassVMath::MatrixSetTranslate(4096, 0, 0, m.data());
  ClassVMath::MatrixMultiply(m.data(), m.data());
  // Two quarter turns about z; the second translation is turned by the first.
  const Matrix expected = {-4096, 0, 0, 0, 0, -4096, 0, 0, 0, 0, 4096, 0, 4096, 4096, 0, 1};
  EXPECT_EQ(m, expected);
}

struct ReverseCase {
  uint32_t ax, ay, az;
  int32_t tx, ty, tz;                                   // 20.12
};

void PrintTo(const ReverseCase& c, std::ostream* os) {
  *os << "angles (" << c.ax << ", " << c.ay << ", " << c.az << ") translation (" << c.tx << ", " << c.ty << ", " << c.tz << ")";
}

class VMathReverseTest : public VMathTest, public ::testing::WithParamInterface<ReverseCase> {};

// Table cosines are one angle step (0.15 %) off and every rotation entry
// multiplies up to three of them, so a table rotation composed with its
// transpose is identity only to about 1 %; the leftover translation is that
// share of the largest translation. A wrapped 32-bit product would miss by
// 2^20 or more.
constexpr int32_t kLinearTolerance = 40;                // of 4096
int32_t TranslationTolerance(const ReverseCase& c) {
  const int64_t largest = std::max({std::llabs(c.tx), std::llabs(c.ty), std::llabs(c.tz)});
  return static_cast<int32_t>(largest / 64 + 16);
}

void ExpectNearIdentity(const Matrix& m, int32_t translationTolerance, const char* order) {
  for (int i : {0, 1, 2, 4, 5, 6, 8, 9, 10}) {
    EXPECT_NEAR(m[i], (i % 5 == 0) ? kOne12 : 0, kLinearTolerance) << order << " entry " << i;
  }
  for (int i : {12, 13, 14}) EXPECT_NEAR(m[i], 0, translationTolerance) << order << " entry " << i;
}

TEST_P(VMathReverseTest, ReverseComposedWithTheOriginalIsIdentity) {
  const ReverseCase& c = GetParam();
  Matrix original = Identity();
  math.MatrixSetRotate(c.ax, c.ay, c.az, original.data());
  ClassVMath::MatrixSetTranslate(c.tx, c.ty, c.tz, original.data());
  Matrix inverse = original;
  ClassVMath::MatrixReverse(inverse.data());

  Matrix undo = original;
  ClassVMath::MatrixMultiply(undo.data(), inverse.data());
  ExpectNearIdentity(undo, TranslationTolerance(c), "original * inverse");
  Matrix redo = inverse;
  ClassVMath::MatrixMultiply(redo.data(), original.data());
  ExpectNearIdentity(redo, TranslationTolerance(c), "inverse * original");
}

INSTANTIATE_TEST_SUITE_P(
    RotationsAndTranslations, VMathReverseTest,
    ::testing::Values(ReverseCase{0, 0, 0, 524288, 0, 0},                  // 128.0: the first 32-bit overflow
                      ReverseCase{0, 0, 1024, 524288, -524288, 524288},
                      ReverseCase{100, 200, 300, 4096, 8192, -12288},
                      ReverseCase{512, 1536, 3000, 600000, -700000, 800000},
                      ReverseCase{4000, 1, 2047, -4096000, 2048000, 1000000},  // about 1000.0
                      ReverseCase{3333, 2222, 1111, 40000000, -40000000, 7}));  // about 9765.6

TEST_F(VMathTest, ReverseOfQuarterTurnIsExact) {
  Matrix m = Identity();
  math.MatrixSetRotate(0, 0, 1024, m.data());
  ClassVMath::MatrixSetTranslate(1000000, 2000000, -3000000, m.data());
  ClassVMath::MatrixReverse(m.data());
  // Inverse turn (x, y, z) -> (y, -x, z) applied to the negated translation.
  const Matrix expected = {0, -4096, 0, 0, 4096, 0, 0, 0, 0, 0, 4096, 0, -2000000, 1000000, 3000000, 1};
  EXPECT_EQ(m, expected);
}

// ---------------------------------------------------------------- IEEE single conversion

TEST(VMathFloat, FloatToFixedOfHandDerivedPatterns) {
  const int32_t kMax = 0x7FFFFFFF, kMinSat = -0x7FFFFFFF;
  const struct {
    const char* what;
    uint32_t bits;
    int32_t n, expected;
  } cases[] = {
      {"1.0", 0x3F800000, 16, 65536},
      {"-0.5", 0xBF000000, 12, -2048},
      {"pi", 0x40490FDB, 12, 12867},                    // 0xC90FDB >> 10, 12867.96 truncated
      {"1.75", 0x3FE00000, 0, 1},
      {"-1.75 toward zero", 0xBFE00000, 0, -1},
      {"+0", 0x00000000, 16, 0},
      {"-0", 0x80000000, 16, 0},
      {"+infinity", 0x7F800000, 16, kMax},
      {"-infinity", 0xFF800000, 16, kMinSat},
      {"quiet NaN", 0x7FC00000, 16, 0},
      {"negative NaN", 0xFFC00001, 16, 0},
      {"smallest denormal", 0x00000001, 16, 0},
      {"denormal keeps bit 23", 0x00400000, 140, 12288}, // (0x400000 | 0x800000) >> 10
      {"largest finite", 0x7F7FFFFF, 16, kMax},
      {"most negative finite", 0xFF7FFFFF, 16, kMinSat},
      {"2^55, shift 32", 0x5B000000, 0, kMax},
      {"65536.0 keeps the low 32 bits", 0x47800000, 16, 0},  // 0x800000 << 9 = 2^32
      {"1.0 with 31 bits", 0x3F800000, 31, static_cast<int32_t>(0x80000000u)},
      {"huge fraction count", 0x3F800000, std::numeric_limits<int32_t>::max(), kMax},
      {"tiny fraction count", 0x3F800000, std::numeric_limits<int32_t>::min(), 0},
  };
  for (const auto& c : cases) EXPECT_EQ(ClassVMath::FloatToFixed(c.bits, c.n), c.expected) << c.what;
}

TEST(VMathFloat, FixedToFloatOfHandDerivedValues) {
  const struct {
    const char* what;
    int32_t v, n;
    uint32_t expected;
  } cases[] = {
      {"0", 0, 16, 0x00000000},
      {"1.0 in 16.16", 65536, 16, 0x3F800000},
      {"-0.5 in 20.12", -2048, 12, 0xBF000000},
      {"1", 1, 0, 0x3F800000},
      {"1.5", 3, 1, 0x3FC00000},
      {"12867 / 4096", 12867, 12, 0x40490C00},
      {"2^31 - 1 truncated to 24 bits", 0x7FFFFFFF, 0, 0x4EFFFFFF},
      {"-2^31", std::numeric_limits<int32_t>::min(), 0, 0xCF000000},
      {"below the smallest normal", 1, 200, 0x00000000},
      {"negative below the smallest normal", -1, 200, 0x80000000},
      {"beyond the largest finite", 1, -200, 0x7F800000},
  };
  for (const auto& c : cases) EXPECT_EQ(ClassVMath::FixedToFloat(c.v, c.n), c.expected) << c.what;
}

uint32_t BitsOf(float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return bits;
}

TEST(VMathFloat, ConversionsAgreeWithTheHardwareFloat) {
  ClassVMath math;
  math.SetRandSeed(99);
  for (int i = 0; i < 20000; ++i) {
    const int32_t n = static_cast<int32_t>(math.Rand() % 31);
    // 24 significant bits at most, so the float holds the value exactly.
    const int32_t v = static_cast<int32_t>(math.Rand() & 0xFFFFFF) - 0x800000;
    const float value = std::ldexp(static_cast<float>(v), -n);
    ASSERT_EQ(ClassVMath::FixedToFloat(v, n), v == 0 ? 0u : BitsOf(value)) << v << " / 2^" << n;
    ASSERT_EQ(ClassVMath::FloatToFixed(BitsOf(value), n), v) << v << " / 2^" << n;
    // Any float within range converts to its value times 2^n, truncated toward zero.
    const float other = std::ldexp(static_cast<float>(static_cast<int32_t>(math.Rand())), -31 - (i % 8));
    const double scaled = std::trunc(std::ldexp(static_cast<double>(other), 16));
    ASSERT_EQ(ClassVMath::FloatToFixed(BitsOf(other), 16), static_cast<int32_t>(scaled)) << other;
  }
}

}  // namespace
