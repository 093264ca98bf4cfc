// vrdr_blt_generic.h - what the four blit routine families share: pixel
// loads and stores, saturating arithmetic on packed colour fields, the row
// loops (one pixel at a time, two 16-bit pixels per 32-bit word, stepped for
// BltFlip), the operations the routines are made of, the generic per-pixel
// loop behind every family, the slot table and the dispatch.
//
// Depends on: render/vrdr_blt.h. Private to render/vrdr_blt*.cpp.
//
// A depth is described by a record with the pixel type and its one-pixel
// arithmetic (Tint, Colourize, Weight, Blend, Scale, Add, Sub; Blend and
// Scale take the weight that Weight makes of an opacity); the 12- and 16-bit
// records add the two-pixel forms (Blend2, Add2, Sub2), and those with tint
// and shift-blend routines the masks (kTintMask, ShiftMask). Every pointer a
// loop forms lies inside the rectangle it was given (or one past a row's
// last pixel).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "render/vrdr_blt.h"

namespace vrdr {

// --- pixel access ------------------------------------------------------------

// Pixel pointers are aligned to their pixel's size (surfaces' rows are), and
// the compiler is told so: the handheld cannot load an unaligned word, and
// without the promise its compiler would call memcpy for every word. Access
// goes through memcpy, so no pointer of a wider type ever aliases the bytes.
template <size_t Alignment, typename T>
inline T* AssumeAligned(T* p) {
#if defined(__GNUC__)
  return static_cast<T*>(__builtin_assume_aligned(p, Alignment));
#else
  return p;
#endif
}

template <typename T>
inline T Load(const uint8_t* p) {
  T v;
  std::memcpy(&v, AssumeAligned<sizeof(T)>(p), sizeof v);
  return v;
}
template <typename T>
inline void Store(uint8_t* p, T v) {
  std::memcpy(AssumeAligned<sizeof(T)>(p), &v, sizeof v);
}

// Two 16-bit pixels as one word in memory order, from a source that is only
// 2-byte aligned.
inline uint32_t LoadHalves(const uint8_t* p) {
  const uint16_t halves[2] = {Load<uint16_t>(p), Load<uint16_t>(p + 2)};
  uint32_t v;
  std::memcpy(&v, halves, sizeof v);
  return v;
}

inline uint8_t* RowAt(uint8_t* base, int32_t row, ptrdiff_t pitch) { return base + row * pitch; }
inline const uint8_t* RowAt(const uint8_t* base, int32_t row, ptrdiff_t pitch) { return base + row * pitch; }

inline bool IsWordAligned(const uint8_t* p) { return (reinterpret_cast<uintptr_t>(p) & 3) == 0; }

constexpr uint32_t Doubled(uint32_t pixel16) { return (pixel16 & 0xFFFF) * 0x10001u; }

constexpr uint32_t Max3(uint32_t a, uint32_t b, uint32_t c) { return a > b ? (a > c ? a : c) : (b > c ? b : c); }
constexpr uint32_t Clamp255(uint32_t v) { return v < 255 ? v : 255; }

// --- packed-field arithmetic -------------------------------------------------

// Adds the fields of a and b (Width bits each, at the bits `fields`, each with
// a free guard bit just above it in `guards`), saturating each field.
template <unsigned Width>
inline uint32_t SaturatingAdd(uint32_t a, uint32_t b, uint32_t fields, uint32_t guards) {
  const uint32_t sum = (a & fields) + (b & fields);
  const uint32_t carries = sum & guards;
  return (sum | (carries - (carries >> Width))) & fields;
}

// t - s per field, clamped at 0: each field borrows from its own guard bit,
// which survives exactly where t is not below s.
template <unsigned Width>
inline uint32_t SaturatingSub(uint32_t t, uint32_t s, uint32_t fields, uint32_t guards) {
  const uint32_t diff = ((t & fields) | guards) - (s & fields);
  const uint32_t kept = diff & guards;
  return diff & (kept - (kept >> Width)) & fields;
}

// The shift blends: k = 1..4 weighs the source 1 - 2^-k (high) or the
// destination 1 - 2^-k (low); m keeps the bits that stay inside their field.
inline uint32_t ShiftHigh(uint32_t t, uint32_t s, uint32_t k, uint32_t m) {
  return s + ((t >> k) & m) - ((s >> k) & m);
}
inline uint32_t ShiftLow(uint32_t t, uint32_t s, uint32_t k, uint32_t m) { return t + ((s >> k) & m) - ((t >> k) & m); }
inline uint32_t ShiftHighOf(uint32_t opacity) {  // 0 when no shift blend fits
  return opacity == 128 ? 1 : opacity == 192 ? 2 : opacity == 224 ? 3 : opacity == 240 ? 4 : 0;
}
inline uint32_t ShiftLowOf(uint32_t opacity) { return opacity == 64 ? 2 : opacity == 32 ? 3 : opacity == 16 ? 4 : 0; }

// --- operations --------------------------------------------------------------
// Each is built once per blit from (fill, opacity); One works on a pixel, Two
// on a 32-bit word of two 16-bit pixels. A shift blend declines an opacity it
// has no shift for.

struct CopyOp {
  CopyOp(uint32_t, uint32_t) {}
  bool Declines() const { return false; }
  uint32_t One(uint32_t, uint32_t s) const { return s; }
  uint32_t Two(uint32_t, uint32_t s) const { return s; }
};

struct FillOp {
  uint32_t fill;
  FillOp(uint32_t f, uint32_t) : fill(f) {}
  bool Declines() const { return false; }
  uint32_t One(uint32_t, uint32_t) const { return fill; }
  uint32_t Two(uint32_t, uint32_t) const { return Doubled(fill); }
};

template <typename Depth>
struct TintOp {
  uint32_t fill;
  TintOp(uint32_t f, uint32_t) : fill(f & Depth::kTintMask) {}
  bool Declines() const { return false; }
  uint32_t One(uint32_t, uint32_t s) const { return Depth::Tint(fill, s); }
  uint32_t Two(uint32_t, uint32_t s) const { return Doubled(fill) + ((s >> 1) & Doubled(Depth::kTintMask)); }
};

template <typename Depth>
struct OpacityOp {
  uint32_t w;
  OpacityOp(uint32_t, uint32_t opacity) : w(Depth::Weight(opacity)) {}
  bool Declines() const { return false; }
  uint32_t One(uint32_t t, uint32_t s) const { return Depth::Blend(t, s, w); }
  uint32_t Two(uint32_t t, uint32_t s) const { return Depth::Blend2(t, s, w); }
};

template <typename Depth>
struct AddOp {
  AddOp(uint32_t, uint32_t) {}
  bool Declines() const { return false; }
  uint32_t One(uint32_t t, uint32_t s) const { return Depth::Add(t, s); }
  uint32_t Two(uint32_t t, uint32_t s) const { return Depth::Add2(t, s); }
};

template <typename Depth>
struct SubOp {
  SubOp(uint32_t, uint32_t) {}
  bool Declines() const { return false; }
  uint32_t One(uint32_t t, uint32_t s) const { return Depth::Sub(t, s); }
  uint32_t Two(uint32_t t, uint32_t s) const { return Depth::Sub2(t, s); }
};

template <typename Depth>
struct ShiftHighOp {
  uint32_t k, m;
  ShiftHighOp(uint32_t, uint32_t opacity) : k(ShiftHighOf(opacity)), m(Depth::ShiftMask(k)) {}
  bool Declines() const { return k == 0; }
  uint32_t One(uint32_t t, uint32_t s) const { return ShiftHigh(t, s, k, m); }
  uint32_t Two(uint32_t t, uint32_t s) const { return ShiftHigh(t, s, k, Doubled(m)); }
};

template <typename Depth>
struct ShiftLowOp {
  uint32_t k, m;
  ShiftLowOp(uint32_t, uint32_t opacity) : k(ShiftLowOf(opacity)), m(Depth::ShiftMask(k)) {}
  bool Declines() const { return k == 0; }
  uint32_t One(uint32_t t, uint32_t s) const { return ShiftLow(t, s, k, m); }
  uint32_t Two(uint32_t t, uint32_t s) const { return ShiftLow(t, s, k, Doubled(m)); }
};

// --- row loops ---------------------------------------------------------------

template <typename RowFn>
inline int ForEachRow(int32_t height, uint8_t* dst, const uint8_t* src, int32_t dstpitch, int32_t srcpitch, RowFn row) {
  for (int32_t y = 0; y < height; ++y) row(RowAt(dst, y, dstpitch), RowAt(src, y, srcpitch));
  return 1;
}

// Rows that lie back to back in both surfaces are one copy.
inline int CopyRows(int32_t width, int32_t height, uint8_t* dst, const uint8_t* src, int32_t dstpitch,
                    ptrdiff_t srcpitch, size_t pixelBytes) {
  if (width <= 0 || height <= 0) return 1;
  const size_t bytes = size_t(width) * pixelBytes;
  if (ptrdiff_t(bytes) == dstpitch && ptrdiff_t(bytes) == srcpitch) {
    std::memcpy(dst, src, bytes * size_t(height));
    return 1;
  }
  for (int32_t y = 0; y < height; ++y) std::memcpy(RowAt(dst, y, dstpitch), RowAt(src, y, srcpitch), bytes);
  return 1;
}

// One pixel at a time (8 and 32 bits, and the odd columns of 12 and 16).
template <typename Pixel, typename Op>
inline void PixelRow(int32_t n, uint8_t* d, const uint8_t* s, const Op& op) {
  for (int32_t x = 0; x < n; ++x, d += sizeof(Pixel), s += sizeof(Pixel))
    Store<Pixel>(d, Pixel(op.One(Load<Pixel>(d), Load<Pixel>(s))));
}
template <typename Pixel, typename Op>
inline void KeyedPixelRow(int32_t n, uint8_t* d, const uint8_t* s, Pixel key, const Op& op) {
  for (int32_t x = 0; x < n; ++x, d += sizeof(Pixel), s += sizeof(Pixel)) {
    const Pixel p = Load<Pixel>(s);
    if (p != key) Store<Pixel>(d, Pixel(op.One(Load<Pixel>(d), p)));
  }
}

// Two 16-bit pixels per 32-bit word: a destination off the word boundary
// takes its first column alone, an odd count its last. The source words are
// whole when the source is then word aligned too, else read as two halves.
struct WholeWords {
  uint32_t operator()(const uint8_t* p) const { return Load<uint32_t>(p); }
};
struct HalfWords {
  uint32_t operator()(const uint8_t* p) const { return LoadHalves(p); }
};

template <typename Op, typename SourceWords>
inline void PairWords(int32_t pairs, uint8_t* d, const uint8_t* s, const Op& op, SourceWords load) {
  for (int32_t i = 0; i < pairs; ++i, d += 4, s += 4) Store<uint32_t>(d, op.Two(Load<uint32_t>(d), load(s)));
}

template <typename Op>
inline void PairRow(int32_t n, uint8_t* d, const uint8_t* s, const Op& op) {
  if (n > 0 && !IsWordAligned(d)) {
    PixelRow<uint16_t>(1, d, s, op);
    d += 2, s += 2, --n;
  }
  const int32_t pairs = n / 2;
  if (IsWordAligned(s))
    PairWords(pairs, d, s, op, WholeWords{});
  else
    PairWords(pairs, d, s, op, HalfWords{});
  if (n & 1) PixelRow<uint16_t>(1, d + 4 * pairs, s + 4 * pairs, op);
}

// 0xFFFF over each half of a two-pixel word that holds the key.
inline uint32_t KeyHalves(uint32_t word, uint32_t doubledKey) {
  const uint32_t x = word ^ doubledKey;
  return ((x & 0xFFFFu) == 0 ? 0xFFFFu : 0u) | ((x >> 16) == 0 ? 0xFFFF0000u : 0u);
}

// Keyed pairs: a word of two key pixels is skipped; otherwise only the halves
// that differ from the key take the result.
template <typename Op, typename SourceWords>
inline void KeyedPairWords(int32_t pairs, uint8_t* d, const uint8_t* s, uint16_t key, const Op& op, SourceWords load) {
  const uint32_t doubledKey = Doubled(key);
  for (int32_t i = 0; i < pairs; ++i, d += 4, s += 4) {
    const uint32_t sw = load(s);
    if (sw == doubledKey) continue;
    const uint32_t tw = Load<uint32_t>(d);
    const uint32_t keep = KeyHalves(sw, doubledKey);
    Store<uint32_t>(d, (op.Two(tw, sw) & ~keep) | (tw & keep));
  }
}

template <typename Op>
inline void KeyedPairRow(int32_t n, uint8_t* d, const uint8_t* s, uint16_t key, const Op& op) {
  if (n > 0 && !IsWordAligned(d)) {
    KeyedPixelRow<uint16_t>(1, d, s, key, op);
    d += 2, s += 2, --n;
  }
  const int32_t pairs = n / 2;
  if (IsWordAligned(s))
    KeyedPairWords(pairs, d, s, key, op, WholeWords{});
  else
    KeyedPairWords(pairs, d, s, key, op, HalfWords{});
  if (n & 1) KeyedPixelRow<uint16_t>(1, d + 4 * pairs, s + 4 * pairs, key, op);
}

// BltFlip's walk: destination pixels in order, the source at
// row * ystep + column * xstep bytes from its start (offsets, so no pointer
// leaves the source rectangle whichever way the steps point).
template <typename Pixel, typename Visit>
inline void ForEachStepped(ptrdiff_t xstep, ptrdiff_t ystep, int32_t width, int32_t height, uint8_t* dst,
                           const uint8_t* src, int32_t dstpitch, Visit visit) {
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* d = RowAt(dst, y, dstpitch);
    ptrdiff_t at = y * ystep;
    for (int32_t x = 0; x < width; ++x, d += sizeof(Pixel), at += xstep) visit(d, src + at);
  }
}

// --- routine templates (the signatures of the tables) ------------------------

template <typename Pixel, typename Op, bool Keyed>
int PixelRoutine(int32_t width, int32_t height, uint8_t* dst, const uint8_t* src, int32_t dstpitch, int32_t srcpitch,
                 uint32_t key, uint32_t fill, uint32_t opacity) {
  const Op op(fill, opacity);
  if (op.Declines()) return 0;
  return ForEachRow(height, dst, src, dstpitch, srcpitch, [&](uint8_t* d, const uint8_t* s) {
    if constexpr (Keyed)
      KeyedPixelRow<Pixel>(width, d, s, Pixel(key), op);
    else
      PixelRow<Pixel>(width, d, s, op);
  });
}

template <typename Op, bool Keyed>
int PairRoutine(int32_t width, int32_t height, uint8_t* dst, const uint8_t* src, int32_t dstpitch, int32_t srcpitch,
                uint32_t key, uint32_t fill, uint32_t opacity) {
  const Op op(fill, opacity);
  if (op.Declines()) return 0;
  return ForEachRow(height, dst, src, dstpitch, srcpitch, [&](uint8_t* d, const uint8_t* s) {
    if constexpr (Keyed)
      KeyedPairRow(width, d, s, uint16_t(key), op);
    else
      PairRow(width, d, s, op);
  });
}

template <typename Pixel>
int CopyRoutine(int32_t width, int32_t height, uint8_t* dst, const uint8_t* src, int32_t dstpitch, int32_t srcpitch,
                uint32_t, uint32_t, uint32_t) {
  return CopyRows(width, height, dst, src, dstpitch, srcpitch, sizeof(Pixel));
}

// BltFlip's stepped copy; steps are in pixels.
template <typename Pixel, bool Keyed>
int SteppedRoutine(int32_t xstep, int32_t ystep, int32_t width, int32_t height, uint8_t* dst, const uint8_t* src,
                   int32_t dstpitch, int32_t, uint32_t key, uint32_t, uint32_t) {
  const Pixel k = Pixel(key);
  ForEachStepped<Pixel>(ptrdiff_t(xstep) * ptrdiff_t(sizeof(Pixel)), ptrdiff_t(ystep) * ptrdiff_t(sizeof(Pixel)), width,
                        height, dst, src, dstpitch, [k](uint8_t* d, const uint8_t* s) {
                          const Pixel p = Load<Pixel>(s);
                          if (!Keyed || p != k) Store<Pixel>(d, p);
                        });
  return 1;
}

// --- the generic loop --------------------------------------------------------

// Every flag combination, one pixel at a time: skip key pixels; take the
// colourized, fill, tinted or source colour; then blend it by the opacity
// (a shift blend counts as its opacity), or add or subtract it, scaled by
// the opacity when Opacity is set too. Additive with Subtractive is neither.
template <typename Depth>
void BltGeneric(ptrdiff_t xstep, ptrdiff_t ystep, int32_t width, int32_t height, uint8_t* dst, const uint8_t* src,
                int32_t dstpitch, uint32_t key, uint32_t fill, uint32_t opacity, uint32_t flags) {
  using Pixel = typename Depth::Pixel;
  constexpr uint32_t kAddSub = VBLT_ADDITIVE | VBLT_SUBTRACTIVE;
  flags &= 0xFF;
  if ((flags & kAddSub) == kAddSub) flags &= ~kAddSub;
  if (flags == 0 && xstep == ptrdiff_t(sizeof(Pixel))) {
    CopyRows(width, height, dst, src, dstpitch, ystep, sizeof(Pixel));
    return;
  }
  const bool keyed = (flags & VBLT_COLORKEY) != 0;
  const bool weighted = (flags & (VBLT_OPACITY | VBLT_SHIFTBLENDHIGH | VBLT_SHIFTBLENDLOW)) != 0;
  const uint32_t colour = flags & (VBLT_COLORFILL | VBLT_TINT);
  const uint32_t mix = flags & kAddSub;
  const Pixel k = Pixel(key);
  const uint32_t w = Depth::Weight(opacity);
  ForEachStepped<Pixel>(xstep, ystep, width, height, dst, src, dstpitch, [&](uint8_t* d, const uint8_t* sp) {
    const Pixel s = Load<Pixel>(sp);
    if (keyed && s == k) return;
    uint32_t c = colour == VBLT_COLORFILL ? fill
                 : colour == VBLT_TINT    ? Depth::Tint(fill, s)
                 : colour != 0            ? Depth::Colourize(fill, s)
                                          : s;
    if (mix != 0) {
      if (weighted) c = Depth::Scale(c, w);
      c = mix == VBLT_ADDITIVE ? Depth::Add(Load<Pixel>(d), c) : Depth::Sub(Load<Pixel>(d), c);
    } else if (weighted) {
      c = Depth::Blend(Load<Pixel>(d), c, w);
    }
    Store<Pixel>(d, Pixel(c));
  });
}

// --- the slot table and the dispatch -----------------------------------------

// A family's BltFast routines, in slot order.
struct BLTFASTFAMILY {
  VRDR_BLTFAST ck, ck_cf, tn, ck_tn, op, ck_op, ad, ck_ad, sb, ck_sb, oh, ck_oh, ol, ck_ol;
};

using BltFastTable = std::array<VRDR_BLTFAST, VRDR_BLTFAST_ENTRIES>;
using BltFlipTable = std::array<VRDR_BLTFLIP, VRDR_BLTFLIP_ENTRIES>;

// Slots are the flags a routine serves; all others stay empty.
constexpr BltFastTable MakeBltFastTable(const BLTFASTFAMILY& f) {
  BltFastTable t{};
  t[VBLT_COLORKEY] = f.ck;
  t[VBLT_COLORKEY | VBLT_COLORFILL] = f.ck_cf;
  t[VBLT_TINT] = f.tn;
  t[VBLT_COLORKEY | VBLT_TINT] = f.ck_tn;
  t[VBLT_OPACITY] = f.op;
  t[VBLT_COLORKEY | VBLT_OPACITY] = f.ck_op;
  t[VBLT_ADDITIVE] = f.ad;
  t[VBLT_COLORKEY | VBLT_ADDITIVE] = f.ck_ad;
  t[VBLT_SUBTRACTIVE] = f.sb;
  t[VBLT_COLORKEY | VBLT_SUBTRACTIVE] = f.ck_sb;
  t[VBLT_SHIFTBLENDHIGH] = f.oh;
  t[VBLT_COLORKEY | VBLT_SHIFTBLENDHIGH] = f.ck_oh;
  t[VBLT_SHIFTBLENDLOW] = f.ol;
  t[VBLT_COLORKEY | VBLT_SHIFTBLENDLOW] = f.ck_ol;
  return t;
}

constexpr BltFlipTable MakeBltFlipTable(VRDR_BLTFLIP copy, VRDR_BLTFLIP keyed) { return BltFlipTable{copy, keyed}; }

template <typename Table>
inline void CopyTable(const Table& from, typename Table::value_type* to) {
  for (size_t i = 0; i < from.size(); ++i) to[i] = from[i];
}

template <typename Table, typename... Args>
inline bool RunSlot(const Table& table, uint32_t slot, Args... args) {
  return slot < table.size() && table[slot] != nullptr && table[slot](args...) != 0;
}

// The routine at the flags' slot; for a shift blend that is missing or
// declines, the plain opacity routine (keyed or not); else the generic loop.
template <typename Table, typename Generic, typename... Args>
inline void Dispatch(const Table& table, uint32_t flags, Generic generic, Args... args) {
  if (RunSlot(table, flags & 0xFF, args...)) return;
  if ((flags & (VBLT_SHIFTBLENDHIGH | VBLT_SHIFTBLENDLOW)) != 0 &&
      RunSlot(table, (flags & 0x3F) | VBLT_OPACITY, args...))
    return;
  generic();
}

template <typename Depth>
inline void DispatchFast(const BltFastTable& table, int32_t width, int32_t height, uint8_t* dst, const uint8_t* src,
                         int32_t dstpitch, int32_t srcpitch, uint32_t key, uint32_t fill, uint32_t opacity,
                         uint32_t flags) {
  Dispatch(
      table, flags,
      [&] {
        BltGeneric<Depth>(ptrdiff_t(sizeof(typename Depth::Pixel)), srcpitch, width, height, dst, src, dstpitch, key,
                          fill, opacity, flags);
      },
      width, height, dst, src, dstpitch, srcpitch, key, fill, opacity);
}

template <typename Depth>
inline void DispatchFlip(const BltFlipTable& table, int32_t xstep, int32_t ystep, int32_t width, int32_t height,
                         uint8_t* dst, const uint8_t* src, int32_t dstpitch, int32_t srcpitch, uint32_t key,
                         uint32_t fill, uint32_t opacity, uint32_t flags) {
  constexpr ptrdiff_t kBytes = sizeof(typename Depth::Pixel);
  Dispatch(
      table, flags,
      [&] {
        BltGeneric<Depth>(xstep * kBytes, ystep * kBytes, width, height, dst, src, dstpitch, key, fill, opacity, flags);
      },
      xstep, ystep, width, height, dst, src, dstpitch, srcpitch, key, fill, opacity);
}

}  // namespace vrdr

// Defines a named table routine as one of the templates above.
#define VRDR_DEFINE_BLTFAST(name, ...)                                                                          \
  int name(int32_t width, int32_t height, uint8_t* dst, const uint8_t* src, int32_t dstpitch, int32_t srcpitch, \
           uint32_t key, uint32_t fill, uint32_t opacity) {                                                     \
    return __VA_ARGS__(width, height, dst, src, dstpitch, srcpitch, key, fill, opacity);                        \
  }
#define VRDR_DEFINE_BLTFLIP(name, ...)                                                                    \
  int name(int32_t xstep, int32_t ystep, int32_t width, int32_t height, uint8_t* dst, const uint8_t* src, \
           int32_t dstpitch, int32_t srcpitch, uint32_t key, uint32_t fill, uint32_t opacity) {           \
    return __VA_ARGS__(xstep, ystep, width, height, dst, src, dstpitch, srcpitch, key, fill, opacity);    \
  }
