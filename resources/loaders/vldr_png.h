// vldr_png.h - the PNG image loader and the PNG writer beside it.
//
// The loader reads every colour type and bit depth PNG allows, PLTE and tRNS,
// image data split over several consecutive IDAT chunks, the five row filters
// and Adam7 interlacing; the whole image is inflated in one zlib call.
// The writer makes RGB, RGBA and palette PNGs with a filter chosen per row.
// Depends on: vldr_base (byte reader), vmod_memory (zlib, blocks), vmod_file
// (WriteFile).
#pragma once

#include <cstdint>

#include "resources/loaders/vldr_base.h"

// Colour types the writer takes.
constexpr uint8_t VPNG_COLOR_RGB = 2;      // 3 bytes a pixel: red, green, blue
constexpr uint8_t VPNG_COLOR_PALETTE = 3;  // 1 byte a pixel: palette index
constexpr uint8_t VPNG_COLOR_RGBA = 6;     // 4 bytes a pixel: red, green, blue, alpha

// Results of Encode and WriteFile.
constexpr int VPNG_WRITTEN = 0;       // done
constexpr int VPNG_WRITEFAILED = 1;   // the file could not be created or written
constexpr int VPNG_NOMEMORY = 2;      // out of memory
constexpr int VPNG_BADIMAGE = 4;      // the image record is invalid

// An image for the writer. Row y starts at pixels + y * pitch and holds the
// pixel bytes of the colour type in file order (on a little-endian machine an
// RGBA row is a row of 32-bit interface colours).
struct VPNGIMAGE {
  uint32_t width, height;    // 1 .. 2^31 - 1 each
  uint8_t colortype;         /*2 RGB, 6 RGBA, 3 palette*/
  const uint8_t* pixels;     // first row
  uint32_t pitch;            // bytes from one row to the next
  const uint32_t* palette;   /* interface colours, alpha in bits 24-31 */
  uint32_t palettesize;      // entries at palette, 1 .. 256 (palette images only)
};

class VLoader_PNG : public ClassVLoaderBase {
 public:
  int Start(V2DSurfaceBase* surface, const void* data, uint32_t length, uint8_t displaytype,
            uint32_t flags) override;
  using ClassVLoaderBase::Start;

  // Writes the image as a PNG into a new block; *out is allocated with
  // ClassVMemory::Alloc and belongs to the caller, who frees it with
  // ClassVMemory::DeAlloc. On failure *out is null and *outsize 0.
  static int Encode(const VPNGIMAGE* image, uint8_t** out, uint32_t* outsize);
  // Encodes and writes the PNG to a plain file through the file module.
  static int WriteFile(const char16_t* path, const VPNGIMAGE* image);
};
