// vrdr_blt.h - the blit inner loops: one routine family per pixel depth
// (8-bit indexed, 12-bit Rgb444, 16-bit Rgb565, 32-bit Xrgb8888).
//
// Each family offers hand-tuned routines for the common flag combinations,
// reached through a table indexed by the blit flags, and a dispatcher that
// falls back to the plain opacity routine and then to a generic per-pixel
// loop, so every combination of flags works at every depth. The routines know
// nothing of surfaces: they take start pointers, row bytes and native values.
#pragma once

#include <cstdint>
#include <type_traits>

// Blit flags (bits 0-7 index the routine tables).
constexpr uint32_t VBLT_COLORKEY = 0x1;
constexpr uint32_t VBLT_COLORFILL = 0x2;
constexpr uint32_t VBLT_TINT = 0x4;
constexpr uint32_t VBLT_OPACITY = 0x8;
constexpr uint32_t VBLT_ADDITIVE = 0x10;
constexpr uint32_t VBLT_SUBTRACTIVE = 0x20;
constexpr uint32_t VBLT_SHIFTBLENDHIGH = 0x40; // chosen internally for opacity 128, 192, 224, 240
constexpr uint32_t VBLT_SHIFTBLENDLOW = 0x80;  // chosen internally for opacity 16, 32, 64

// Pixel pointers and row bytes keep every pixel aligned to its size (as
// surface rows are); a 16-bit row may start off a 4-byte boundary.

// A BltFast routine: width x height pixels from src to dst. key and fill are
// native pixel values (fill already halved per component for a tint), opacity
// 0..255. Returns non-zero when it has done the work.
typedef int (*VRDR_BLTFAST)(int32_t width, int32_t height, uint8_t* dst, const uint8_t* src,
                            int32_t dstpitch, int32_t srcpitch, uint32_t key, uint32_t fill,
                            uint32_t opacity);

// A BltFlip routine: like BltFast, but the source is walked with a step of
// xstep pixels along a destination row and ystep pixels (either may be a
// multiple of the source row) from one destination row to the next.
typedef int (*VRDR_BLTFLIP)(int32_t xstep, int32_t ystep, int32_t width, int32_t height, uint8_t* dst,
                            const uint8_t* src, int32_t dstpitch, int32_t srcpitch, uint32_t key,
                            uint32_t fill, uint32_t opacity);

constexpr int VRDR_BLTFAST_ENTRIES = 130; // slots 0..129 a family fills
constexpr int VRDR_BLTFLIP_ENTRIES = 2;   // slots 0 (stepped copy) and 1 (keyed)

// Fill a table of VRDR_BLTFAST_ENTRIES (unfilled slots null).
void VRender_Get_BltFast8(VRDR_BLTFAST* table);
void VRender_Get_BltFast12(VRDR_BLTFAST* table);
void VRender_Get_BltFast16(VRDR_BLTFAST* table);
void VRender_Get_BltFast32(VRDR_BLTFAST* table);
// Fill a table of VRDR_BLTFLIP_ENTRIES.
void VRender_Get_BltFlip8(VRDR_BLTFLIP* table);
void VRender_Get_BltFlip12(VRDR_BLTFLIP* table);
void VRender_Get_BltFlip16(VRDR_BLTFLIP* table);
void VRender_Get_BltFlip32(VRDR_BLTFLIP* table);

// Dispatchers: the depth's own table routine for flags, else the plain
// opacity routine for a shift blend, else the generic loop. Always draw.
void VRdrBltFast8(int32_t width, int32_t height, uint8_t* dst, const uint8_t* src, int32_t dstpitch,
                  int32_t srcpitch, uint32_t key, uint32_t fill, uint32_t opacity, uint32_t flags);
void VRdrBltFast12(int32_t width, int32_t height, uint8_t* dst, const uint8_t* src, int32_t dstpitch,
                   int32_t srcpitch, uint32_t key, uint32_t fill, uint32_t opacity, uint32_t flags);
void VRdrBltFast16(int32_t width, int32_t height, uint8_t* dst, const uint8_t* src, int32_t dstpitch,
                   int32_t srcpitch, uint32_t key, uint32_t fill, uint32_t opacity, uint32_t flags);
void VRdrBltFast32(int32_t width, int32_t height, uint8_t* dst, const uint8_t* src, int32_t dstpitch,
                   int32_t srcpitch, uint32_t key, uint32_t fill, uint32_t opacity, uint32_t flags);
void VRdrBltFlip8(int32_t xstep, int32_t ystep, int32_t width, int32_t height, uint8_t* dst,
                  const uint8_t* src, int32_t dstpitch, int32_t srcpitch, uint32_t key, uint32_t fill,
                  uint32_t opacity, uint32_t flags);
void VRdrBltFlip12(int32_t xstep, int32_t ystep, int32_t width, int32_t height, uint8_t* dst,
                   const uint8_t* src, int32_t dstpitch, int32_t srcpitch, uint32_t key, uint32_t fill,
                   uint32_t opacity, uint32_t flags);
void VRdrBltFlip16(int32_t xstep, int32_t ystep, int32_t width, int32_t height, uint8_t* dst,
                   const uint8_t* src, int32_t dstpitch, int32_t srcpitch, uint32_t key, uint32_t fill,
                   uint32_t opacity, uint32_t flags);
void VRdrBltFlip32(int32_t xstep, int32_t ystep, int32_t width, int32_t height, uint8_t* dst,
                   const uint8_t* src, int32_t dstpitch, int32_t srcpitch, uint32_t key, uint32_t fill,
                   uint32_t opacity, uint32_t flags);

// The routines themselves, by table slot (the same slots at every depth):
// 1 _ck, 3 _ck_cf, 4 _tn, 5 _ck_tn, 8 _op, 9 _ck_op, 16 _ad, 17 _ck_ad,
// 32 _sb, 33 _ck_sb, 64 _oh, 65 _ck_oh, 128 _ol, 129 _ck_ol; BltFlip 0 _, 1 _ck.
using VRDR_BLTFAST_ROUTINE = std::remove_pointer_t<VRDR_BLTFAST>;
using VRDR_BLTFLIP_ROUTINE = std::remove_pointer_t<VRDR_BLTFLIP>;

VRDR_BLTFAST_ROUTINE VRdrBltFast8_ck;     // copy, skipping key pixels
VRDR_BLTFAST_ROUTINE VRdrBltFast8_ck_cf;  // fill index where the source is not the key
VRDR_BLTFAST_ROUTINE VRdrBltFast8_tn;     // copy (an index has no tint)
VRDR_BLTFAST_ROUTINE VRdrBltFast8_ck_tn;  // keyed copy
VRDR_BLTFAST_ROUTINE VRdrBltFast8_op;     // copy (an index has no opacity)
VRDR_BLTFAST_ROUTINE VRdrBltFast8_ck_op;  // keyed copy
VRDR_BLTFAST_ROUTINE VRdrBltFast8_ad;     // index bytes added, saturating at 255
VRDR_BLTFAST_ROUTINE VRdrBltFast8_ck_ad;  // same, keyed
VRDR_BLTFAST_ROUTINE VRdrBltFast8_sb;     // index bytes subtracted, clamped at 0
VRDR_BLTFAST_ROUTINE VRdrBltFast8_ck_sb;  // same, keyed
VRDR_BLTFAST_ROUTINE VRdrBltFast8_oh;     // copy
VRDR_BLTFAST_ROUTINE VRdrBltFast8_ck_oh;  // keyed copy
VRDR_BLTFAST_ROUTINE VRdrBltFast8_ol;     // copy
VRDR_BLTFAST_ROUTINE VRdrBltFast8_ck_ol;  // keyed copy
VRDR_BLTFLIP_ROUTINE VRdrBltFlip8_;       // stepped copy
VRDR_BLTFLIP_ROUTINE VRdrBltFlip8_ck;     // stepped copy, keyed

VRDR_BLTFAST_ROUTINE VRdrBltFast12_ck;     // copy, skipping key pixels
VRDR_BLTFAST_ROUTINE VRdrBltFast12_ck_cf;  // fill colour where the source is not the key
VRDR_BLTFAST_ROUTINE VRdrBltFast12_tn;     // halved fill + half the source
VRDR_BLTFAST_ROUTINE VRdrBltFast12_ck_tn;  // same, keyed
VRDR_BLTFAST_ROUTINE VRdrBltFast12_op;     // opacity blend, 4-bit weight
VRDR_BLTFAST_ROUTINE VRdrBltFast12_ck_op;  // same, keyed
VRDR_BLTFAST_ROUTINE VRdrBltFast12_ad;     // additive, saturating
VRDR_BLTFAST_ROUTINE VRdrBltFast12_ck_ad;  // same, keyed
VRDR_BLTFAST_ROUTINE VRdrBltFast12_sb;     // subtractive, clamped at 0
VRDR_BLTFAST_ROUTINE VRdrBltFast12_ck_sb;  // same, keyed
VRDR_BLTFAST_ROUTINE VRdrBltFast12_oh;     // shift blend, opacity 128/192/224/240, else 0
VRDR_BLTFAST_ROUTINE VRdrBltFast12_ck_oh;  // same, keyed
VRDR_BLTFAST_ROUTINE VRdrBltFast12_ol;     // shift blend, opacity 64/32/16, else 0
VRDR_BLTFAST_ROUTINE VRdrBltFast12_ck_ol;  // same, keyed
VRDR_BLTFLIP_ROUTINE VRdrBltFlip12_;       // stepped copy
VRDR_BLTFLIP_ROUTINE VRdrBltFlip12_ck;     // stepped copy, keyed

VRDR_BLTFAST_ROUTINE VRdrBltFast16_ck;     // copy, skipping key pixels
VRDR_BLTFAST_ROUTINE VRdrBltFast16_ck_cf;  // fill colour where the source is not the key
VRDR_BLTFAST_ROUTINE VRdrBltFast16_tn;     // halved fill + half the source
VRDR_BLTFAST_ROUTINE VRdrBltFast16_ck_tn;  // same, keyed
VRDR_BLTFAST_ROUTINE VRdrBltFast16_op;     // opacity blend, 5-bit weight
VRDR_BLTFAST_ROUTINE VRdrBltFast16_ck_op;  // same, keyed
VRDR_BLTFAST_ROUTINE VRdrBltFast16_ad;     // additive, saturating
VRDR_BLTFAST_ROUTINE VRdrBltFast16_ck_ad;  // same, keyed
VRDR_BLTFAST_ROUTINE VRdrBltFast16_sb;     // subtractive, clamped at 0
VRDR_BLTFAST_ROUTINE VRdrBltFast16_ck_sb;  // same, keyed
VRDR_BLTFAST_ROUTINE VRdrBltFast16_oh;     // shift blend, opacity 128/192/224/240, else 0
VRDR_BLTFAST_ROUTINE VRdrBltFast16_ck_oh;  // same, keyed
VRDR_BLTFAST_ROUTINE VRdrBltFast16_ol;     // shift blend, opacity 64/32/16, else 0
VRDR_BLTFAST_ROUTINE VRdrBltFast16_ck_ol;  // same, keyed
VRDR_BLTFLIP_ROUTINE VRdrBltFlip16_;       // stepped copy
VRDR_BLTFLIP_ROUTINE VRdrBltFlip16_ck;     // stepped copy, keyed

VRDR_BLTFAST_ROUTINE VRdrBltFast32_ck;     // copy, skipping key pixels
VRDR_BLTFAST_ROUTINE VRdrBltFast32_ck_cf;  // fill colour where the source is not the key
VRDR_BLTFAST_ROUTINE VRdrBltFast32_tn;     // halved fill + half the source
VRDR_BLTFAST_ROUTINE VRdrBltFast32_ck_tn;  // same, keyed
VRDR_BLTFAST_ROUTINE VRdrBltFast32_op;     // opacity blend, 8-bit weight
VRDR_BLTFAST_ROUTINE VRdrBltFast32_ck_op;  // same, keyed
VRDR_BLTFAST_ROUTINE VRdrBltFast32_ad;     // additive, saturating
VRDR_BLTFAST_ROUTINE VRdrBltFast32_ck_ad;  // same, keyed
VRDR_BLTFAST_ROUTINE VRdrBltFast32_sb;     // subtractive, clamped at 0
VRDR_BLTFAST_ROUTINE VRdrBltFast32_ck_sb;  // same, keyed
VRDR_BLTFAST_ROUTINE VRdrBltFast32_oh;     // shift blend, opacity 128/192/224/240, else 0
VRDR_BLTFAST_ROUTINE VRdrBltFast32_ck_oh;  // same, keyed
VRDR_BLTFAST_ROUTINE VRdrBltFast32_ol;     // shift blend, opacity 64/32/16, else 0
VRDR_BLTFAST_ROUTINE VRdrBltFast32_ck_ol;  // same, keyed
VRDR_BLTFLIP_ROUTINE VRdrBltFlip32_;       // stepped copy
VRDR_BLTFLIP_ROUTINE VRdrBltFlip32_ck;     // stepped copy, keyed

// The portable 16-bit routines, which the SSE2 ones in VRender_Get_BltFast16
// must match pixel for pixel (on other targets both tables are the same).
void VRender_Get_BltFast16Portable(VRDR_BLTFAST* table);
