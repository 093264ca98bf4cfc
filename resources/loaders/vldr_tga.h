// vldr_tga.h - the TGA image loader: uncompressed colour-mapped (type 1,
// 8-bit indices into a map of 24- or 32-bit entries), true-colour (type 2,
// 16, 24 or 32 bits) and greyscale (type 3, 8 bits) images, stored from the
// bottom or the top row.
//
// 16-bit pixels are little-endian 1-5-5-5 words: blue in bits 0-4, green in
// 5-9, red in 10-14, each widened to 8 bits by (v << 3) | (v >> 2) so that
// 31 becomes 255. Bit 15 is the pixel's opacity only when the descriptor
// declares one attribute bit (bits 0-3 = 1): clear is transparent; otherwise
// it is ignored and every pixel is opaque.
//
// Depends on: the loader base.
#pragma once

#include <cstdint>

#include "resources/loaders/vldr_base.h"

class VLoader_TGA : public ClassVLoaderBase {
 public:
  int Start(V2DSurfaceBase* surface, const void* data, uint32_t length, uint8_t displaytype,
            uint32_t flags) override;
  using ClassVLoaderBase::Start;
};
