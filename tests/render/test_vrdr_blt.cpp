// test_vrdr_blt.cpp - the blit routine families of all four depths against a
// plain per-pixel model written here from the documented formulas, one field
// at a time: every table routine, every flag combination through the BltFast
// and BltFlip dispatchers (which reach the shift-blend fall-back and the
// generic loop), the SSE2 16-bit routines against the portable ones at every
// width 1..40 and start alignment, the extent of the table getters, and known
// answers worked out by hand from the formulas.
//
// Every buffer is allocated at its exact size with the rectangle ending at
// its last byte, and padding around the rectangle that must stay untouched,
// so the ASan build catches any access past a rectangle's end.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "render/vrdr_blt.h"
#include "tests/support/xorshift.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Rng = XorShift32;

// --- depths ------------------------------------------------------------------

using FastDispatcher = void (*)(int32_t, int32_t, uint8_t*, const uint8_t*, int32_t, int32_t, uint32_t, uint32_t,
                                uint32_t, uint32_t);
using FlipDispatcher = void (*)(int32_t, int32_t, int32_t, int32_t, uint8_t*, const uint8_t*, int32_t, int32_t,
                                uint32_t, uint32_t, uint32_t, uint32_t);

struct DepthCase {
  const char* name;
  uint32_t bytes;     // per pixel
  bool indexed;       // 8-bit: one index, no fields
  uint32_t shift[3];  // fields: red, green, blue
  uint32_t bits[3];
  uint32_t weightBits;  // opacity weight precision: 5 (0..31 of 32), 4, 8
  void (*getFast)(VRDR_BLTFAST*);
  void (*getFlip)(VRDR_BLTFLIP*);
  FastDispatcher fast;
  FlipDispatcher flip;
};

const DepthCase kDepths[] = {
    {"Indexed8",
     1,
     true,
     {0, 0, 0},
     {8, 0, 0},
     0,
     VRender_Get_BltFast8,
     VRender_Get_BltFlip8,
     VRdrBltFast8,
     VRdrBltFlip8},
    {"Rgb444",
     2,
     false,
     {8, 4, 0},
     {4, 4, 4},
     4,
     VRender_Get_BltFast12,
     VRender_Get_BltFlip12,
     VRdrBltFast12,
     VRdrBltFlip12},
    {"Rgb565",
     2,
     false,
     {11, 5, 0},
     {5, 6, 5},
     5,
     VRender_Get_BltFast16,
     VRender_Get_BltFlip16,
     VRdrBltFast16,
     VRdrBltFlip16},
    {"Xrgb8888",
     4,
     false,
     {16, 8, 0},
     {8, 8, 8},
     8,
     VRender_Get_BltFast32,
     VRender_Get_BltFlip32,
     VRdrBltFast32,
     VRdrBltFlip32},
};

uint32_t FieldMax(const DepthCase& d, int i) { return (1u << d.bits[i]) - 1; }
uint32_t Field(const DepthCase& d, uint32_t p, int i) { return (p >> d.shift[i]) & FieldMax(d, i); }
uint32_t PixelMax(const DepthCase& d) {
  return d.indexed ? 0xFF : (FieldMax(d, 0) << d.shift[0]) | (FieldMax(d, 1) << d.shift[1]) | FieldMax(d, 2);
}

// A pixel built field by field from f(field index, field max).
template <typename F>
uint32_t PerField(const DepthCase& d, F f) {
  uint32_t p = 0;
  for (int i = 0; i < 3; ++i) p |= f(i, FieldMax(d, i)) << d.shift[i];
  return p;
}

// --- the model ---------------------------------------------------------------

constexpr uint32_t kKey = 0x1, kFill = 0x2, kTint = 0x4, kOpacity = 0x8, kAdd = 0x10, kSub = 0x20, kHigh = 0x40,
                   kLow = 0x80;

uint32_t HighShiftFor(uint32_t opacity) {
  return opacity == 128 ? 1 : opacity == 192 ? 2 : opacity == 224 ? 3 : opacity == 240 ? 4 : 0;
}
uint32_t LowShiftFor(uint32_t opacity) { return opacity == 64 ? 2 : opacity == 32 ? 3 : opacity == 16 ? 4 : 0; }

// Opacity weight w out of 2^weightBits: 16-bit opacity >> 3, 12-bit >> 4,
// 32-bit the opacity itself.
uint32_t WeightOf(const DepthCase& d, uint32_t opacity) { return opacity >> (8 - d.weightBits); }

uint32_t ModelBlend(const DepthCase& d, uint32_t t, uint32_t s, uint32_t opacity) {
  const uint32_t w = WeightOf(d, opacity), whole = 1u << d.weightBits;
  return PerField(d,
                  [&](int i, uint32_t) { return (Field(d, t, i) * (whole - w) + Field(d, s, i) * w) >> d.weightBits; });
}
uint32_t ModelScale(const DepthCase& d, uint32_t s, uint32_t opacity) { return ModelBlend(d, 0, s, opacity); }
uint32_t ModelAdd(const DepthCase& d, uint32_t t, uint32_t s) {
  if (d.indexed) return t + s > 255 ? 255 : t + s;
  return PerField(d, [&](int i, uint32_t max) {
    const uint32_t sum = Field(d, t, i) + Field(d, s, i);
    return sum > max ? max : sum;
  });
}
uint32_t ModelSub(const DepthCase& d, uint32_t t, uint32_t s) {
  if (d.indexed) return t > s ? t - s : 0;
  return PerField(
      d, [&](int i, uint32_t) { return Field(d, t, i) > Field(d, s, i) ? Field(d, t, i) - Field(d, s, i) : 0; });
}
// c is the fill colour already halved per field.
uint32_t ModelTint(const DepthCase& d, uint32_t c, uint32_t s) {
  return PerField(d, [&](int i, uint32_t) { return Field(d, c, i) + (Field(d, s, i) >> 1); });
}
// Brightness = the largest field at the weight's precision (green of Rgb565
// loses its low bit); each fill field is scaled by it.
uint32_t ModelColourize(const DepthCase& d, uint32_t c, uint32_t s) {
  uint32_t b = 0;
  for (int i = 0; i < 3; ++i) {
    const uint32_t v = Field(d, s, i) >> (d.bits[i] - d.weightBits);
    if (v > b) b = v;
  }
  return PerField(d, [&](int i, uint32_t) { return (Field(d, c, i) * b) >> d.weightBits; });
}
uint32_t ModelShiftHigh(const DepthCase& d, uint32_t t, uint32_t s, uint32_t k) {
  return PerField(d, [&](int i, uint32_t) { return Field(d, s, i) + (Field(d, t, i) >> k) - (Field(d, s, i) >> k); });
}
uint32_t ModelShiftLow(const DepthCase& d, uint32_t t, uint32_t s, uint32_t k) {
  return PerField(d, [&](int i, uint32_t) { return Field(d, t, i) + (Field(d, s, i) >> k) - (Field(d, t, i) >> k); });
}

// Which routines a blit can reach: BltFast's table has shift-blend routines,
// BltFlip's only the two stepped copies.
enum class Table { kFast, kFlip };

// The new destination pixel for flags, or nothing when it stays. The shift
// formulas apply only where a shift-blend routine serves (BltFast slots 0x40,
// 0x41, 0x80, 0x81 with one of its opacities); everywhere else a shift-blend
// bit weighs like Opacity. An index has no fields: everything but the fill
// and the byte arithmetic copies it.
std::optional<uint32_t> ModelPixel(const DepthCase& d, Table table, uint32_t flags, uint32_t t, uint32_t s,
                                   uint32_t key, uint32_t fill, uint32_t opacity) {
  flags &= 0xFF;
  if ((flags & kKey) && s == key) return std::nullopt;
  if (!d.indexed && table == Table::kFast) {
    if ((flags & ~kKey) == kHigh && HighShiftFor(opacity)) return ModelShiftHigh(d, t, s, HighShiftFor(opacity));
    if ((flags & ~kKey) == kLow && LowShiftFor(opacity)) return ModelShiftLow(d, t, s, LowShiftFor(opacity));
  }
  if ((flags & (kAdd | kSub)) == (kAdd | kSub)) flags &= ~(kAdd | kSub);
  const bool weighted = (flags & (kOpacity | kHigh | kLow)) != 0;
  uint32_t c = s;
  switch (flags & (kFill | kTint)) {
    case kFill:
      c = fill;
      break;
    case kTint:
      c = d.indexed ? s : ModelTint(d, fill, s);
      break;
    case kFill | kTint:
      c = d.indexed ? s : ModelColourize(d, fill, s);
      break;
  }
  if (flags & (kAdd | kSub)) {
    if (weighted && !d.indexed) c = ModelScale(d, c, opacity);
    return (flags & kAdd) ? ModelAdd(d, t, c) : ModelSub(d, t, c);
  }
  if (weighted && !d.indexed) return ModelBlend(d, t, c, opacity);
  return c;
}

// --- buffers -----------------------------------------------------------------

uint32_t GetPixel(const Bytes& b, size_t at, uint32_t bytes) {
  uint32_t v = 0;
  if (bytes == 1) v = b[at];
  if (bytes == 2) v = uint32_t(b[at]) | uint32_t(b[at + 1]) << 8;
  if (bytes == 4)
    v = uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
  return v;
}
void PutPixel(Bytes& b, size_t at, uint32_t bytes, uint32_t v) {
  for (uint32_t i = 0; i < bytes; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

// A width x height rectangle at column `offset` of rows `pitch` bytes apart,
// in a buffer that ends with the rectangle's last pixel. Every pixel slot of
// the buffer is random, one in three the key.
struct Surface {
  Bytes bytes;
  int32_t pitch;
  size_t start;
  uint8_t* Data() { return bytes.data() + start; }
  const uint8_t* Data() const { return bytes.data() + start; }
  size_t At(int32_t x, int32_t y, uint32_t pixelBytes) const {
    return start + size_t(y) * pitch + size_t(x) * pixelBytes;
  }
};

uint32_t RandomPixel(const DepthCase& d, Rng& rng) { return rng.Next() & PixelMax(d); }

Surface MakeSurface(const DepthCase& d, int32_t width, int32_t height, int32_t offset, int32_t pad, uint32_t key,
                    Rng& rng) {
  Surface s;
  s.pitch = int32_t((offset + width + pad) * d.bytes);
  s.start = size_t(offset) * d.bytes;
  s.bytes.resize(size_t(height - 1) * s.pitch + size_t(offset + width) * d.bytes);
  for (size_t at = 0; at < s.bytes.size(); at += d.bytes)
    PutPixel(s.bytes, at, d.bytes, rng.Below(3) == 0 ? key : RandomPixel(d, rng));
  return s;
}

// The fill a caller hands over: for a tint alone, halved per field.
uint32_t FillFor(const DepthCase& d, uint32_t flags, Rng& rng) {
  if (!d.indexed && (flags & (kFill | kTint)) == kTint)
    return PerField(d, [&](int, uint32_t max) { return rng.Below((max >> 1) + 1); });
  return RandomPixel(d, rng);
}

// Source pixel of destination (x, y): at row * ystep + column * xstep pixels.
struct Walk {
  int32_t xstep, ystep;
};

Bytes Expected(const DepthCase& d, Table table, uint32_t flags, const Surface& dst, const Surface& src, size_t srcAt,
               Walk walk, int32_t width, int32_t height, uint32_t key, uint32_t fill, uint32_t opacity) {
  Bytes out = dst.bytes;
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      const size_t at = dst.At(x, y, d.bytes);
      const ptrdiff_t step = ptrdiff_t(y) * walk.ystep + ptrdiff_t(x) * walk.xstep;
      const uint32_t s = GetPixel(src.bytes, size_t(ptrdiff_t(srcAt) + step * ptrdiff_t(d.bytes)), d.bytes);
      if (auto r = ModelPixel(d, table, flags, GetPixel(out, at, d.bytes), s, key, fill, opacity))
        PutPixel(out, at, d.bytes, *r);
    }
  return out;
}

// "" when equal, else where and how the first pixel differs.
std::string FirstDifference(const Bytes& got, const Bytes& want, uint32_t pixelBytes) {
  if (got.size() != want.size()) return "buffer size changed";
  for (size_t at = 0; at < got.size(); at += pixelBytes)
    if (GetPixel(got, at, pixelBytes) != GetPixel(want, at, pixelBytes)) {
      std::ostringstream o;
      o << "pixel at byte " << at << ": got 0x" << std::hex << GetPixel(got, at, pixelBytes) << ", want 0x"
        << GetPixel(want, at, pixelBytes);
      return o.str();
    }
  return "";
}

struct Shape {
  int32_t width, height, dstOffset, srcOffset;
};

std::string Describe(const DepthCase& d, uint32_t flags, const Shape& s, uint32_t opacity) {
  std::ostringstream o;
  o << d.name << " flags 0x" << std::hex << flags << std::dec << " " << s.width << "x" << s.height << " dst+"
    << s.dstOffset << " src+" << s.srcOffset << " opacity " << opacity;
  return o.str();
}

bool Declines(const DepthCase& d, uint32_t slot, uint32_t opacity) {
  if (d.indexed) return false;
  if ((slot & ~kKey) == kHigh) return HighShiftFor(opacity) == 0;
  if ((slot & ~kKey) == kLow) return LowShiftFor(opacity) == 0;
  return false;
}

// Opacities worth trying for a slot: a shift slot's own values and one it
// declines; otherwise anything.
uint32_t OpacityFor(uint32_t slot, uint32_t n, Rng& rng) {
  static const uint32_t kHighValues[] = {128, 192, 224, 240, 100};
  static const uint32_t kLowValues[] = {16, 32, 64, 96};
  if ((slot & ~kKey) == kHigh) return kHighValues[n % 5];
  if ((slot & ~kKey) == kLow) return kLowValues[n % 4];
  return rng.Below(256);
}

// Runs one BltFast routine on a fresh pair of surfaces; the result must be
// the model's, or, for a shift blend given another opacity, 0 and no change.
bool CheckRoutine(const DepthCase& d, VRDR_BLTFAST routine, uint32_t slot, const Shape& shape, uint32_t opacity,
                  Rng& rng) {
  const uint32_t key = RandomPixel(d, rng), fill = FillFor(d, slot, rng);
  Surface dst = MakeSurface(d, shape.width, shape.height, shape.dstOffset, int32_t(rng.Below(3)), key, rng);
  const Surface src = MakeSurface(d, shape.width, shape.height, shape.srcOffset, int32_t(rng.Below(3)), key, rng);
  const bool declines = Declines(d, slot, opacity);
  const Bytes want = declines
                         ? dst.bytes
                         : Expected(d, Table::kFast, slot, dst, src, src.start, Walk{1, src.pitch / int32_t(d.bytes)},
                                    shape.width, shape.height, key, fill, opacity);
  const int done = routine(shape.width, shape.height, dst.Data(), src.Data(), dst.pitch, src.pitch, key, fill, opacity);
  const std::string diff = FirstDifference(dst.bytes, want, d.bytes);
  if ((done != 0) == declines || !diff.empty()) {
    ADD_FAILURE() << Describe(d, slot, shape, opacity) << ": returned " << done << " " << diff;
    return false;
  }
  return true;
}

// --- the table getters -------------------------------------------------------

int SentinelFast(int32_t, int32_t, uint8_t*, const uint8_t*, int32_t, int32_t, uint32_t, uint32_t, uint32_t) {
  return 0;
}
int SentinelFlip(int32_t, int32_t, int32_t, int32_t, uint8_t*, const uint8_t*, int32_t, int32_t, uint32_t, uint32_t,
                 uint32_t) {
  return 0;
}

const uint32_t kFilledSlots[] = {1, 3, 4, 5, 8, 9, 16, 17, 32, 33, 64, 65, 128, 129};

bool IsFilledSlot(uint32_t slot) {
  for (uint32_t s : kFilledSlots)
    if (s == slot) return true;
  return false;
}

std::vector<VRDR_BLTFAST> FastTable(void (*get)(VRDR_BLTFAST*)) {
  std::vector<VRDR_BLTFAST> table(512, SentinelFast);
  get(table.data());
  return table;
}

class BltDepthTest : public ::testing::TestWithParam<int> {
 protected:
  const DepthCase& depth() const { return kDepths[GetParam()]; }
};

std::string DepthName(const ::testing::TestParamInfo<int>& info) { return kDepths[info.param].name; }

TEST_P(BltDepthTest, GettersFillTheirListedSlotsAndNothingBeyond) {
  const auto fast = FastTable(depth().getFast);
  for (uint32_t slot = 0; slot < VRDR_BLTFAST_ENTRIES; ++slot)
    EXPECT_EQ(fast[slot] != nullptr, IsFilledSlot(slot)) << "slot " << slot;
  for (uint32_t slot = VRDR_BLTFAST_ENTRIES; slot < fast.size(); ++slot)
    EXPECT_EQ(fast[slot], &SentinelFast) << "slot " << slot;

  std::vector<VRDR_BLTFLIP> flip(4, SentinelFlip);
  depth().getFlip(flip.data());
  EXPECT_NE(flip[0], nullptr);
  EXPECT_NE(flip[1], nullptr);
  EXPECT_NE(flip[0], &SentinelFlip);
  EXPECT_NE(flip[1], &SentinelFlip);
  EXPECT_EQ(flip[2], &SentinelFlip);
  EXPECT_EQ(flip[3], &SentinelFlip);
}

TEST(BltTables, PortableRgb565TableFillsTheSameSlots) {
  const auto portable = FastTable(VRender_Get_BltFast16Portable);
  for (uint32_t slot = 0; slot < VRDR_BLTFAST_ENTRIES; ++slot)
    EXPECT_EQ(portable[slot] != nullptr, IsFilledSlot(slot)) << "slot " << slot;
  EXPECT_EQ(portable[VRDR_BLTFAST_ENTRIES], &SentinelFast);
}

TEST(BltTables, RoutinesCarryTheirSlotNames) {
  VRDR_BLTFAST fast[VRDR_BLTFAST_ENTRIES];
  VRDR_BLTFLIP flip[VRDR_BLTFLIP_ENTRIES];
  VRender_Get_BltFast16(fast);
  VRender_Get_BltFlip16(flip);
  EXPECT_EQ(fast[1], &VRdrBltFast16_ck);
  EXPECT_EQ(fast[3], &VRdrBltFast16_ck_cf);
  EXPECT_EQ(fast[9], &VRdrBltFast16_ck_op);
  EXPECT_EQ(fast[129], &VRdrBltFast16_ck_ol);
  EXPECT_EQ(flip[0], &VRdrBltFlip16_);
  EXPECT_EQ(flip[1], &VRdrBltFlip16_ck);
  VRender_Get_BltFast8(fast);
  EXPECT_EQ(fast[16], &VRdrBltFast8_ad);
  VRender_Get_BltFast12(fast);
  EXPECT_EQ(fast[64], &VRdrBltFast12_oh);
  VRender_Get_BltFast32(fast);
  EXPECT_EQ(fast[33], &VRdrBltFast32_ck_sb);
}

// --- every table routine against the model -----------------------------------

// Word loops (12 and 16 bits) at every width 1..40 and start alignment; the
// one-pixel loops (8 and 32 bits) at widths 1..9.
void CheckTable(const DepthCase& d, const std::vector<VRDR_BLTFAST>& table, uint32_t seed) {
  Rng rng{seed};
  const int32_t maxWidth = d.bytes == 2 ? 40 : 9;
  uint32_t n = 0;
  for (uint32_t slot : kFilledSlots)
    for (int32_t width = 1; width <= maxWidth; ++width)
      for (int32_t dstOffset = 0; dstOffset < 4; ++dstOffset)
        for (int32_t srcOffset = 0; srcOffset < 4; ++srcOffset, ++n) {
          const Shape shape{width, int32_t(1 + n % 3), dstOffset, srcOffset};
          if (!CheckRoutine(d, table[slot], slot, shape, OpacityFor(slot, n, rng), rng)) return;
        }
}

TEST_P(BltDepthTest, EveryTableRoutineMatchesTheModel) {
  CheckTable(depth(), FastTable(depth().getFast), 7 + GetParam());
}

TEST(BltTables, PortableRgb565RoutinesMatchTheModel) {
  CheckTable(kDepths[2], FastTable(VRender_Get_BltFast16Portable), 99);
}

// --- the dispatchers ---------------------------------------------------------

const int32_t kWidths[] = {1, 2, 3, 7, 8, 9, 16, 17, 23, 24, 33};
const uint32_t kOpacities[] = {128, 240, 64, 16, 96, 200};

// Every flag value 0..255, each with shift and non-shift opacities: the
// table routine, its shift-blend fall-back or the generic loop must give the
// model's pixels, always drawn with the dispatcher's own depth.
TEST_P(BltDepthTest, FastDispatcherGivesTheModelForEveryFlagCombination) {
  const DepthCase& d = depth();
  Rng rng{1234u + GetParam()};
  uint32_t n = 0;
  for (uint32_t flags = 0; flags < 256; ++flags)
    for (uint32_t opacity : kOpacities) {
      ++n;
      const Shape shape{kWidths[n % 11], int32_t(1 + n % 3), int32_t(n % 4), int32_t(n / 4 % 4)};
      const uint32_t key = RandomPixel(d, rng), fill = FillFor(d, flags, rng);
      Surface dst = MakeSurface(d, shape.width, shape.height, shape.dstOffset, int32_t(rng.Below(3)), key, rng);
      const Surface src = MakeSurface(d, shape.width, shape.height, shape.srcOffset, int32_t(rng.Below(3)), key, rng);
      const Bytes want = Expected(d, Table::kFast, flags, dst, src, src.start, Walk{1, src.pitch / int32_t(d.bytes)},
                                  shape.width, shape.height, key, fill, opacity);
      d.fast(shape.width, shape.height, dst.Data(), src.Data(), dst.pitch, src.pitch, key, fill, opacity, flags);
      const std::string diff = FirstDifference(dst.bytes, want, d.bytes);
      ASSERT_EQ(diff, "") << Describe(d, flags, shape, opacity);
    }
}

// The eight ways to walk a source rectangle (quarter turns and mirrors):
// along a destination row the source moves by +-1 pixel or +-1 row.
struct Orientation {
  bool acrossRows;  // the x step moves between source rows
  int32_t xsign, ysign;
};

TEST_P(BltDepthTest, FlipDispatcherWalksTheSourceForEveryOrientationAndFlag) {
  const DepthCase& d = depth();
  Rng rng{555u + GetParam()};
  uint32_t n = 0;
  for (uint32_t o = 0; o < 8; ++o) {
    const Orientation orient{(o & 4) != 0, (o & 1) ? -1 : 1, (o & 2) ? -1 : 1};
    for (uint32_t flags = 0; flags < 256; ++flags, ++n) {
      const int32_t srcWidth = kWidths[n % 11], srcHeight = int32_t(1 + n % 4);
      const int32_t width = orient.acrossRows ? srcHeight : srcWidth;
      const int32_t height = orient.acrossRows ? srcWidth : srcHeight;
      const uint32_t opacity = kOpacities[n % 6], key = RandomPixel(d, rng), fill = FillFor(d, flags, rng);
      Surface dst = MakeSurface(d, width, height, int32_t(n % 4), int32_t(rng.Below(3)), key, rng);
      const Surface src = MakeSurface(d, srcWidth, srcHeight, int32_t(n / 4 % 4), int32_t(rng.Below(3)), key, rng);
      const int32_t row = src.pitch / int32_t(d.bytes);
      const int32_t alongRows = orient.acrossRows ? orient.ysign : orient.xsign;   // sign of the +-1 pixel step
      const int32_t acrossRows = orient.acrossRows ? orient.xsign : orient.ysign;  // sign of the +-1 row step
      const Walk walk =
          orient.acrossRows ? Walk{orient.xsign * row, orient.ysign} : Walk{orient.xsign, orient.ysign * row};
      const size_t first = src.At(alongRows < 0 ? srcWidth - 1 : 0, acrossRows < 0 ? srcHeight - 1 : 0, d.bytes);
      const Bytes want = Expected(d, Table::kFlip, flags, dst, src, first, walk, width, height, key, fill, opacity);
      d.flip(walk.xstep, walk.ystep, width, height, dst.Data(), src.bytes.data() + first, dst.pitch, src.pitch, key,
             fill, opacity, flags);
      const std::string diff = FirstDifference(dst.bytes, want, d.bytes);
      ASSERT_EQ(diff, "") << Describe(d, flags, Shape{width, height, int32_t(n % 4), int32_t(n / 4 % 4)}, opacity)
                          << " orientation " << o;
    }
  }
}

TEST_P(BltDepthTest, EmptyRectanglesTouchNothing) {
  const DepthCase& d = depth();
  Bytes dst(64, 0xA5);
  const Bytes src(64, 0x5A);
  for (uint32_t flags : {0u, 1u, 3u, 8u, 0x41u, 0x1Cu}) {
    d.fast(0, 3, dst.data(), src.data(), 16, 16, 0, 0, 128, flags);
    d.fast(3, 0, dst.data(), src.data(), 16, 16, 0, 0, 128, flags);
    d.flip(1, 4, 0, 3, dst.data(), src.data(), 16, 16, 0, 0, 128, flags);
    d.flip(1, 4, 3, 0, dst.data(), src.data(), 16, 16, 0, 0, 128, flags);
  }
  EXPECT_EQ(dst, Bytes(64, 0xA5));
}

INSTANTIATE_TEST_SUITE_P(AllDepths, BltDepthTest, ::testing::Range(0, 4), DepthName);

// --- SSE2 against portable ---------------------------------------------------

#if defined(__SSE2__)
TEST(BltRgb565Simd, MatchesPortableOnEveryModeWidthAndAlignment) {
  const DepthCase& d = kDepths[2];
  const auto simd = FastTable(VRender_Get_BltFast16);
  const auto portable = FastTable(VRender_Get_BltFast16Portable);
  Rng rng{2024};
  uint32_t n = 0;
  for (uint32_t slot : kFilledSlots)
    for (int32_t width = 1; width <= 40; ++width)
      for (int32_t height = 1; height <= 3; ++height)
        for (int32_t dstOffset = 0; dstOffset < 4; ++dstOffset)
          for (int32_t srcOffset = 0; srcOffset < 4; ++srcOffset, ++n) {
            const Shape shape{width, height, dstOffset, srcOffset};
            const uint32_t opacity = OpacityFor(slot, n, rng), key = RandomPixel(d, rng), fill = FillFor(d, slot, rng);
            Surface a = MakeSurface(d, width, height, dstOffset, int32_t(n % 3), key, rng);
            Surface b = a;
            const Surface src = MakeSurface(d, width, height, srcOffset, int32_t(n / 3 % 3), key, rng);
            const int doneA = simd[slot](width, height, a.Data(), src.Data(), a.pitch, src.pitch, key, fill, opacity);
            const int doneB =
                portable[slot](width, height, b.Data(), src.Data(), b.pitch, src.pitch, key, fill, opacity);
            ASSERT_EQ(doneA, doneB) << Describe(d, slot, shape, opacity);
            ASSERT_EQ(FirstDifference(a.bytes, b.bytes, 2), "") << Describe(d, slot, shape, opacity);
          }
}
#endif

// --- known answers, worked out by hand from the formulas --------------------

struct KnownCase {
  const char* what;
  int depth;  // index into kDepths
  uint32_t flags, opacity, fill;
  uint32_t key;
  std::vector<uint32_t> dst, src, want;  // one row
};

const KnownCase kKnown[] = {
    // (s + t) / 2 by shifts: 0xFFFF - 0x7BEF; the weighted formula gives 31 * 16 >> 5 = 15 per 5-bit field.
    {"shift blend 128", 2, kHigh, 128, 0, 0, {0x0000}, {0xFFFF}, {0x8410}},
    {"weighted 128", 2, kOpacity, 128, 0, 0, {0x0000}, {0xFFFF}, {0x7BEF}},
    {"shift blend 64 keeps 3/4 of the destination", 2, kLow, 64, 0, 0, {0xFFFF}, {0x0000}, {0xFFFF - 0x39E7}},
    {"a declined shift blend weighs instead", 2, kHigh, 96, 0, 0, {0x0000}, {0xFFFF}, {(11u << 11) | (23u << 5) | 11u}},
    {"Rgb444 opacity 16 leaves the destination", 1, kLow, 16, 0, 0, {0x123}, {0xABC}, {0x123}},
    {"Rgb444 opacity 240 writes the source", 1, kHigh, 240, 0, 0, {0x123}, {0xABC}, {0xABC}},
    {"additive saturates each field", 2, kAdd, 0, 0, 0, {0x8410, 0x0821}, {0x8410, 0x0821}, {0xFFFF, 0x1042}},
    {"subtractive clamps each field", 2, kSub, 0, 0, 0, {0x1042, 0x0821}, {0x0821, 0x1042}, {0x0821, 0x0000}},
    {"colourize by the brightest field", 2, kFill | kTint, 0, 0xFFFF, 0, {0}, {0x8000}, {0x7BEF}},
    {"tint adds the halved fill", 2, kTint, 0, 0x7BEF, 0, {0}, {0xFFFF}, {0xF7DE}},
    {"keyed pairs skip key pixels", 2, kKey, 0, 0, 0xF81F, {1, 2, 3, 4}, {0xF81F, 0xF81F, 0xF81F, 7}, {1, 2, 3, 7}},
    {"opacity with additive scales first",
     2,
     kOpacity | kAdd,
     128,
     0,
     0,
     {0x0821},
     {0xFFFF},
     {(16u << 11) | (32u << 5) | 16u}},
    {"additive with subtractive is a copy", 2, kAdd | kSub, 0, 0, 0, {0x1234}, {0x4321}, {0x4321}},
    {"Xrgb8888 weighted 128", 3, kOpacity, 128, 0, 0, {0x000000}, {0xFF80FF}, {0x7F407F}},
    {"Xrgb8888 additive", 3, kAdd, 0, 0, 0, {0x80FF01}, {0x800102}, {0xFFFF03}},
    {"Indexed8 additive saturates at 255", 0, kAdd, 0, 0, 0, {200, 3}, {100, 4}, {255, 7}},
    {"Indexed8 subtractive clamps at 0", 0, kSub, 0, 0, 0, {100, 9}, {200, 4}, {0, 5}},
    {"Indexed8 opacity copies the index", 0, kOpacity, 100, 0, 0, {1}, {2}, {2}},
    {"Indexed8 fill writes the fill index", 0, kKey | kFill, 0, 9, 0, {1, 1}, {0, 5}, {1, 9}},
};

void PrintTo(const KnownCase& k, std::ostream* os) { *os << k.what; }

class BltKnownTest : public ::testing::TestWithParam<KnownCase> {};

TEST_P(BltKnownTest, GivesTheHandWorkedPixels) {
  const KnownCase& k = GetParam();
  const DepthCase& d = kDepths[k.depth];
  const int32_t width = int32_t(k.dst.size());
  Bytes dst(width * d.bytes), src(width * d.bytes);
  for (int32_t x = 0; x < width; ++x) {
    PutPixel(dst, x * d.bytes, d.bytes, k.dst[x]);
    PutPixel(src, x * d.bytes, d.bytes, k.src[x]);
  }
  const uint32_t opacity = k.opacity;
  d.fast(width, 1, dst.data(), src.data(), int32_t(dst.size()), int32_t(src.size()), k.key, k.fill, opacity, k.flags);
  for (int32_t x = 0; x < width; ++x)
    EXPECT_EQ(GetPixel(dst, x * d.bytes, d.bytes), k.want[x]) << k.what << " pixel " << x;
}

INSTANTIATE_TEST_SUITE_P(Formulas, BltKnownTest, ::testing::ValuesIn(kKnown));

}  // namespace
