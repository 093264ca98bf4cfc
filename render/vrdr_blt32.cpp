// vrdr_blt32.cpp - the 32-bit (Xrgb8888) blit routine family, its tables and
// its dispatchers: one pixel per word (blue bits 0-7, green 8-15, red 16-23),
// 8-bit weights, red+blue and green blended with one multiply each.
//
// Depends on: render/vrdr_blt_generic.h.
#include <cstdint>

#include "render/vrdr_blt.h"
#include "render/vrdr_blt_generic.h"

namespace {

using namespace vrdr;

struct Depth32 {
  using Pixel = uint32_t;
  static constexpr uint32_t kTintMask = 0x7F7F7F;
  static constexpr uint32_t kShiftMasks[5] = {0, 0x7F7F7F, 0x3F3F3F, 0x1F1F1F, 0x0F0F0F};

  static uint32_t ShiftMask(uint32_t k) { return kShiftMasks[k]; }
  static uint32_t Tint(uint32_t c, uint32_t s) { return (c & kTintMask) + ((s >> 1) & kTintMask); }
  static uint32_t Colourize(uint32_t c, uint32_t s) {
    const uint32_t b = Max3(s & 0xFF, (s >> 8) & 0xFF, (s >> 16) & 0xFF);
    return (((c & 0xFF00FF) * b >> 8) & 0xFF00FF) | (((c & 0x00FF00) * b >> 8) & 0x00FF00);
  }
  static uint32_t Weight(uint32_t opacity) { return Clamp255(opacity); }
  static uint32_t Blend(uint32_t t, uint32_t s, uint32_t a) {
    const uint32_t v = 256 - a;
    return ((((t & 0xFF00FF) * v + (s & 0xFF00FF) * a) >> 8) & 0xFF00FF) |
           ((((t & 0x00FF00) * v + (s & 0x00FF00) * a) >> 8) & 0x00FF00);
  }
  static uint32_t Scale(uint32_t s, uint32_t a) { return Blend(0, s, a); }
  static uint32_t Add(uint32_t t, uint32_t s) {
    return SaturatingAdd<8>(t, s, 0xFF00FF, 0x01000100) | SaturatingAdd<8>(t, s, 0x00FF00, 0x010000);
  }
  static uint32_t Sub(uint32_t t, uint32_t s) {
    return SaturatingSub<8>(t, s, 0xFF00FF, 0x01000100) | SaturatingSub<8>(t, s, 0x00FF00, 0x010000);
  }
};

}  // namespace

VRDR_DEFINE_BLTFAST(VRdrBltFast32_ck, PixelRoutine<uint32_t, CopyOp, true>)
VRDR_DEFINE_BLTFAST(VRdrBltFast32_ck_cf, PixelRoutine<uint32_t, FillOp, true>)
VRDR_DEFINE_BLTFAST(VRdrBltFast32_tn, PixelRoutine<uint32_t, TintOp<Depth32>, false>)
VRDR_DEFINE_BLTFAST(VRdrBltFast32_ck_tn, PixelRoutine<uint32_t, TintOp<Depth32>, true>)
VRDR_DEFINE_BLTFAST(VRdrBltFast32_op, PixelRoutine<uint32_t, OpacityOp<Depth32>, false>)
VRDR_DEFINE_BLTFAST(VRdrBltFast32_ck_op, PixelRoutine<uint32_t, OpacityOp<Depth32>, true>)
VRDR_DEFINE_BLTFAST(VRdrBltFast32_ad, PixelRoutine<uint32_t, AddOp<Depth32>, false>)
VRDR_DEFINE_BLTFAST(VRdrBltFast32_ck_ad, PixelRoutine<uint32_t, AddOp<Depth32>, true>)
VRDR_DEFINE_BLTFAST(VRdrBltFast32_sb, PixelRoutine<uint32_t, SubOp<Depth32>, false>)
VRDR_DEFINE_BLTFAST(VRdrBltFast32_ck_sb, PixelRoutine<uint32_t, SubOp<Depth32>, true>)
VRDR_DEFINE_BLTFAST(VRdrBltFast32_oh, PixelRoutine<uint32_t, ShiftHighOp<Depth32>, false>)
VRDR_DEFINE_BLTFAST(VRdrBltFast32_ck_oh, PixelRoutine<uint32_t, ShiftHighOp<Depth32>, true>)
VRDR_DEFINE_BLTFAST(VRdrBltFast32_ol, PixelRoutine<uint32_t, ShiftLowOp<Depth32>, false>)
VRDR_DEFINE_BLTFAST(VRdrBltFast32_ck_ol, PixelRoutine<uint32_t, ShiftLowOp<Depth32>, true>)
VRDR_DEFINE_BLTFLIP(VRdrBltFlip32_, SteppedRoutine<uint32_t, false>)
VRDR_DEFINE_BLTFLIP(VRdrBltFlip32_ck, SteppedRoutine<uint32_t, true>)

namespace {

constexpr BltFastTable kBltFast32 =
    MakeBltFastTable({VRdrBltFast32_ck, VRdrBltFast32_ck_cf, VRdrBltFast32_tn, VRdrBltFast32_ck_tn, VRdrBltFast32_op,
                      VRdrBltFast32_ck_op, VRdrBltFast32_ad, VRdrBltFast32_ck_ad, VRdrBltFast32_sb, VRdrBltFast32_ck_sb,
                      VRdrBltFast32_oh, VRdrBltFast32_ck_oh, VRdrBltFast32_ol, VRdrBltFast32_ck_ol});
constexpr BltFlipTable kBltFlip32 = MakeBltFlipTable(VRdrBltFlip32_, VRdrBltFlip32_ck);

}  // namespace

void VRender_Get_BltFast32(VRDR_BLTFAST* table) { CopyTable(kBltFast32, table); }
void VRender_Get_BltFlip32(VRDR_BLTFLIP* table) { CopyTable(kBltFlip32, table); }

void VRdrBltFast32(int32_t width, int32_t height, uint8_t* dst, const uint8_t* src, int32_t dstpitch, int32_t srcpitch,
                   uint32_t key, uint32_t fill, uint32_t opacity, uint32_t flags) {
  DispatchFast<Depth32>(kBltFast32, width, height, dst, src, dstpitch, srcpitch, key, fill, opacity, flags);
}

void VRdrBltFlip32(int32_t xstep, int32_t ystep, int32_t width, int32_t height, uint8_t* dst, const uint8_t* src,
                   int32_t dstpitch, int32_t srcpitch, uint32_t key, uint32_t fill, uint32_t opacity, uint32_t flags) {
  DispatchFlip<Depth32>(kBltFlip32, xstep, ystep, width, height, dst, src, dstpitch, srcpitch, key, fill, opacity,
                        flags);
}
