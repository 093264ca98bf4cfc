// vrdr_blt8.cpp - the 8-bit (Indexed8) blit routine family, its tables and
// its dispatchers. An index has no components: tint, colourize, opacity and
// the shift blends copy it (keyed or not), the fill routine writes the fill
// index, and additive and subtractive add or subtract the index bytes with
// saturation at 255 and 0.
//
// Depends on: render/vrdr_blt_generic.h.
#include <cstdint>

#include "render/vrdr_blt.h"
#include "render/vrdr_blt_generic.h"

namespace {

using namespace vrdr;

struct Depth8 {
  using Pixel = uint8_t;
  static uint32_t Tint(uint32_t, uint32_t s) { return s; }
  static uint32_t Colourize(uint32_t, uint32_t s) { return s; }
  static uint32_t Weight(uint32_t) { return 0; }
  static uint32_t Blend(uint32_t, uint32_t s, uint32_t) { return s; }
  static uint32_t Scale(uint32_t s, uint32_t) { return s; }
  static uint32_t Add(uint32_t t, uint32_t s) { return Clamp255(t + s); }
  static uint32_t Sub(uint32_t t, uint32_t s) { return t > s ? t - s : 0; }
};

}  // namespace

VRDR_DEFINE_BLTFAST(VRdrBltFast8_ck, PixelRoutine<uint8_t, CopyOp, true>)
VRDR_DEFINE_BLTFAST(VRdrBltFast8_ck_cf, PixelRoutine<uint8_t, FillOp, true>)
VRDR_DEFINE_BLTFAST(VRdrBltFast8_tn, CopyRoutine<uint8_t>)
VRDR_DEFINE_BLTFAST(VRdrBltFast8_ck_tn, PixelRoutine<uint8_t, CopyOp, true>)
VRDR_DEFINE_BLTFAST(VRdrBltFast8_op, CopyRoutine<uint8_t>)
VRDR_DEFINE_BLTFAST(VRdrBltFast8_ck_op, PixelRoutine<uint8_t, CopyOp, true>)
VRDR_DEFINE_BLTFAST(VRdrBltFast8_ad, PixelRoutine<uint8_t, AddOp<Depth8>, false>)
VRDR_DEFINE_BLTFAST(VRdrBltFast8_ck_ad, PixelRoutine<uint8_t, AddOp<Depth8>, true>)
VRDR_DEFINE_BLTFAST(VRdrBltFast8_sb, PixelRoutine<uint8_t, SubOp<Depth8>, false>)
VRDR_DEFINE_BLTFAST(VRdrBltFast8_ck_sb, PixelRoutine<uint8_t, SubOp<Depth8>, true>)
VRDR_DEFINE_BLTFAST(VRdrBltFast8_oh, CopyRoutine<uint8_t>)
VRDR_DEFINE_BLTFAST(VRdrBltFast8_ck_oh, PixelRoutine<uint8_t, CopyOp, true>)
VRDR_DEFINE_BLTFAST(VRdrBltFast8_ol, CopyRoutine<uint8_t>)
VRDR_DEFINE_BLTFAST(VRdrBltFast8_ck_ol, PixelRoutine<uint8_t, CopyOp, true>)
VRDR_DEFINE_BLTFLIP(VRdrBltFlip8_, SteppedRoutine<uint8_t, false>)
VRDR_DEFINE_BLTFLIP(VRdrBltFlip8_ck, SteppedRoutine<uint8_t, true>)

namespace {

constexpr BltFastTable kBltFast8 =
    MakeBltFastTable({VRdrBltFast8_ck, VRdrBltFast8_ck_cf, VRdrBltFast8_tn, VRdrBltFast8_ck_tn, VRdrBltFast8_op,
                      VRdrBltFast8_ck_op, VRdrBltFast8_ad, VRdrBltFast8_ck_ad, VRdrBltFast8_sb, VRdrBltFast8_ck_sb,
                      VRdrBltFast8_oh, VRdrBltFast8_ck_oh, VRdrBltFast8_ol, VRdrBltFast8_ck_ol});
constexpr BltFlipTable kBltFlip8 = MakeBltFlipTable(VRdrBltFlip8_, VRdrBltFlip8_ck);

}  // namespace

void VRender_Get_BltFast8(VRDR_BLTFAST* table) { CopyTable(kBltFast8, table); }
void VRender_Get_BltFlip8(VRDR_BLTFLIP* table) { CopyTable(kBltFlip8, table); }

void VRdrBltFast8(int32_t width, int32_t height, uint8_t* dst, const uint8_t* src, int32_t dstpitch, int32_t srcpitch,
                  uint32_t key, uint32_t fill, uint32_t opacity, uint32_t flags) {
  DispatchFast<Depth8>(kBltFast8, width, height, dst, src, dstpitch, srcpitch, key, fill, opacity, flags);
}

void VRdrBltFlip8(int32_t xstep, int32_t ystep, int32_t width, int32_t height, uint8_t* dst, const uint8_t* src,
                  int32_t dstpitch, int32_t srcpitch, uint32_t key, uint32_t fill, uint32_t opacity, uint32_t flags) {
  DispatchFlip<Depth8>(kBltFlip8, xstep, ystep, width, height, dst, src, dstpitch, srcpitch, key, fill, opacity, flags);
}
