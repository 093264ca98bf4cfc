// vldr_jpg.h - the JPEG image loader: Huffman-coded baseline, extended
// sequential and progressive frames of 8-bit samples, grey or YCbCr with the
// luma sampled 1x1, 2x1, 1x2 or 2x2 against 1x1 chroma, 1 to 8192 pixels
// each way. Rows reach the surface from the top as 32-bit colours.
//
// Sources: vldr_jpg.cpp (markers, entropy decoding, row assembly),
// vldr_jpg_idct.cpp (inverse transform, chroma upsampling, colour rows, with
// SSE2 versions where the build targets it). Depends on: vldr_base.
#pragma once

#include <cstdint>

#include "resources/loaders/vldr_base.h"

class VLoader_JPG : public ClassVLoaderBase {
 public:
  int Start(V2DSurfaceBase* surface, const void* data, uint32_t length, uint8_t displaytype,
            uint32_t flags) override;  // 0 loaded, 1 corrupt, 2 out of memory, 3 not a JPEG it decodes
  using ClassVLoaderBase::Start;
};

// Decode stages shared by the decoder's sources. Each has a portable version
// that is the reference and, in SSE2 builds, a vector twin giving the same
// results; the plain name is the fastest one the build has.

// Dequantises one block of coefficients (natural order) and writes its 8 x 8
// samples, level-shifted and clamped to 0-255, at out with the given stride.
void VJpg_InverseDct(const int16_t* coefs, const uint16_t* quant, uint8_t* out, uint32_t stride);
void VJpg_InverseDctScalar(const int16_t* coefs, const uint16_t* quant, uint8_t* out, uint32_t stride);

// Converts count YCbCr samples to opaque 32-bit colours.
void VJpg_YccRow(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint32_t* out, uint32_t count);
void VJpg_YccRowScalar(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint32_t* out, uint32_t count);

#if defined(__SSE2__)
void VJpg_InverseDctSse2(const int16_t* coefs, const uint16_t* quant, uint8_t* out, uint32_t stride);
void VJpg_YccRowSse2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint32_t* out, uint32_t count);
#endif

// Copies count grey samples to opaque 32-bit colours.
void VJpg_GreyRow(const uint8_t* y, uint32_t* out, uint32_t count);

// Chroma upsampling by a triangle filter, each output sample weighted 3:1
// between its nearest and next-nearest input sample; edges repeat.
// Doubles a row of count samples into 2 x count.
void VJpg_UpsampleWide(const uint8_t* in, uint8_t* out, uint32_t count);
// One output row between the nearest input row and the next-nearest one.
void VJpg_UpsampleTall(const uint8_t* nearrow, const uint8_t* farrow, uint8_t* out, uint32_t count, bool odd);
// Both at once: 2 x count samples from two input rows of count samples.
void VJpg_UpsampleBoth(const uint8_t* nearrow, const uint8_t* farrow, uint8_t* out, uint32_t count);
void VJpg_UpsampleBothScalar(const uint8_t* nearrow, const uint8_t* farrow, uint8_t* out, uint32_t count);
#if defined(__SSE2__)
void VJpg_UpsampleBothSse2(const uint8_t* nearrow, const uint8_t* farrow, uint8_t* out, uint32_t count);
#endif
