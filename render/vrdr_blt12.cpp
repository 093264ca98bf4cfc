// vrdr_blt12.cpp - the 12-bit (Rgb444) blit routine family, its tables and
// its dispatchers. Pixels sit in 16-bit storage (red bits 8-11, green 4-7,
// blue 0-3), so the routines move two of them per 32-bit word like the
// 16-bit family, with 4-bit weights; every field has spare bits above it.
//
// Depends on: render/vrdr_blt_generic.h.
#include <cstdint>

#include "render/vrdr_blt.h"
#include "render/vrdr_blt_generic.h"

namespace {

using namespace vrdr;

// A shift by 4 empties a 4-bit field: opacity 16 leaves the destination and
// 240 writes the source.
struct Depth12 {
  using Pixel = uint16_t;
  static constexpr uint32_t kTintMask = 0x0777;
  static constexpr uint32_t kShiftMasks[5] = {0, 0x0777, 0x0333, 0x0111, 0};

  static uint32_t ShiftMask(uint32_t k) { return kShiftMasks[k]; }
  static uint32_t Tint(uint32_t c, uint32_t s) { return (c & kTintMask) + ((s >> 1) & kTintMask); }
  static uint32_t Colourize(uint32_t c, uint32_t s) {
    const uint32_t b = Max3(s & 0xF, (s >> 4) & 0xF, (s >> 8) & 0xF);
    return (((c & 0x0F0F) * b >> 4) & 0x0F0F) | (((c & 0x00F0) * b >> 4) & 0x00F0);
  }
  static uint32_t Weight(uint32_t opacity) { return Clamp255(opacity) >> 4; }
  static uint32_t Blend(uint32_t t, uint32_t s, uint32_t w) { return BlendFields(t, s, w, 0x0F0F, 0x00F0); }
  static uint32_t Blend2(uint32_t t, uint32_t s, uint32_t w) { return BlendFields(t, s, w, 0x0F0F0F0F, 0x00F000F0); }
  static uint32_t Scale(uint32_t s, uint32_t w) { return Blend(0, s, w); }
  static uint32_t Add(uint32_t t, uint32_t s) {
    return SaturatingAdd<4>(t, s, 0x0F0F, 0x1010) | SaturatingAdd<4>(t, s, 0x00F0, 0x0100);
  }
  static uint32_t Sub(uint32_t t, uint32_t s) {
    return SaturatingSub<4>(t, s, 0x0F0F, 0x1010) | SaturatingSub<4>(t, s, 0x00F0, 0x0100);
  }
  static uint32_t Add2(uint32_t t, uint32_t s) {
    return SaturatingAdd<4>(t, s, 0x0F0F0F0F, 0x10101010) | SaturatingAdd<4>(t, s, 0x00F000F0, 0x01000100);
  }
  static uint32_t Sub2(uint32_t t, uint32_t s) {
    return SaturatingSub<4>(t, s, 0x0F0F0F0F, 0x10101010) | SaturatingSub<4>(t, s, 0x00F000F0, 0x01000100);
  }

  // One multiply per group: red+blue and green, weights 16 - w and w.
  static uint32_t BlendFields(uint32_t t, uint32_t s, uint32_t w, uint32_t redBlue, uint32_t green) {
    const uint32_t v = 16 - w;
    return ((((t & redBlue) * v + (s & redBlue) * w) >> 4) & redBlue) |
           ((((t & green) * v + (s & green) * w) >> 4) & green);
  }
};

using Tint12 = TintOp<Depth12>;
using Opacity12 = OpacityOp<Depth12>;
using Add12 = AddOp<Depth12>;
using Sub12 = SubOp<Depth12>;
using High12 = ShiftHighOp<Depth12>;
using Low12 = ShiftLowOp<Depth12>;

}  // namespace

VRDR_DEFINE_BLTFAST(VRdrBltFast12_ck, PairRoutine<CopyOp, true>)
VRDR_DEFINE_BLTFAST(VRdrBltFast12_ck_cf, PairRoutine<FillOp, true>)
VRDR_DEFINE_BLTFAST(VRdrBltFast12_tn, PairRoutine<Tint12, false>)
VRDR_DEFINE_BLTFAST(VRdrBltFast12_ck_tn, PairRoutine<Tint12, true>)
VRDR_DEFINE_BLTFAST(VRdrBltFast12_op, PairRoutine<Opacity12, false>)
VRDR_DEFINE_BLTFAST(VRdrBltFast12_ck_op, PairRoutine<Opacity12, true>)
VRDR_DEFINE_BLTFAST(VRdrBltFast12_ad, PairRoutine<Add12, false>)
VRDR_DEFINE_BLTFAST(VRdrBltFast12_ck_ad, PairRoutine<Add12, true>)
VRDR_DEFINE_BLTFAST(VRdrBltFast12_sb, PairRoutine<Sub12, false>)
VRDR_DEFINE_BLTFAST(VRdrBltFast12_ck_sb, PairRoutine<Sub12, true>)
VRDR_DEFINE_BLTFAST(VRdrBltFast12_oh, PairRoutine<High12, false>)
VRDR_DEFINE_BLTFAST(VRdrBltFast12_ck_oh, PairRoutine<High12, true>)
VRDR_DEFINE_BLTFAST(VRdrBltFast12_ol, PairRoutine<Low12, false>)
VRDR_DEFINE_BLTFAST(VRdrBltFast12_ck_ol, PairRoutine<Low12, true>)
VRDR_DEFINE_BLTFLIP(VRdrBltFlip12_, SteppedRoutine<uint16_t, false>)
VRDR_DEFINE_BLTFLIP(VRdrBltFlip12_ck, SteppedRoutine<uint16_t, true>)

namespace {

constexpr BltFastTable kBltFast12 =
    MakeBltFastTable({VRdrBltFast12_ck, VRdrBltFast12_ck_cf, VRdrBltFast12_tn, VRdrBltFast12_ck_tn, VRdrBltFast12_op,
                      VRdrBltFast12_ck_op, VRdrBltFast12_ad, VRdrBltFast12_ck_ad, VRdrBltFast12_sb, VRdrBltFast12_ck_sb,
                      VRdrBltFast12_oh, VRdrBltFast12_ck_oh, VRdrBltFast12_ol, VRdrBltFast12_ck_ol});
constexpr BltFlipTable kBltFlip12 = MakeBltFlipTable(VRdrBltFlip12_, VRdrBltFlip12_ck);

}  // namespace

void VRender_Get_BltFast12(VRDR_BLTFAST* table) { CopyTable(kBltFast12, table); }
void VRender_Get_BltFlip12(VRDR_BLTFLIP* table) { CopyTable(kBltFlip12, table); }

void VRdrBltFast12(int32_t width, int32_t height, uint8_t* dst, const uint8_t* src, int32_t dstpitch, int32_t srcpitch,
                   uint32_t key, uint32_t fill, uint32_t opacity, uint32_t flags) {
  DispatchFast<Depth12>(kBltFast12, width, height, dst, src, dstpitch, srcpitch, key, fill, opacity, flags);
}

void VRdrBltFlip12(int32_t xstep, int32_t ystep, int32_t width, int32_t height, uint8_t* dst, const uint8_t* src,
                   int32_t dstpitch, int32_t srcpitch, uint32_t key, uint32_t fill, uint32_t opacity, uint32_t flags) {
  DispatchFlip<Depth12>(kBltFlip12, xstep, ystep, width, height, dst, src, dstpitch, srcpitch, key, fill, opacity,
                        flags);
}
