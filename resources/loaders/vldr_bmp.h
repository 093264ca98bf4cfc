// vldr_bmp.h - the BMP image loader (uncompressed 1, 4, 8 and 24 bits per
// pixel, rows stored bottom first) and the 24-bit BMP writer behind
// V2DSurface::WriteBmp.
//
// Depends on: the loader base, the file module (writer), the surface (writer).
#pragma once

#include <cstdint>

#include "framework/vexa_records.h"
#include "resources/loaders/vldr_base.h"

class ClassVFile;
class V2DSurface;

constexpr uint32_t VBMP_HEADERSIZE = 54;  // file header and information header the writer emits

class VLoader_BMP : public ClassVLoaderBase {
 public:
  int Start(V2DSurfaceBase* surface, const void* data, uint32_t length, uint8_t displaytype,
            uint32_t flags) override;
  using ClassVLoaderBase::Start;

  // Writer: the header, then the rows it announces. 0 written, 1 write failed
  // or bad size, 2 out of memory.
  int WriteHeader(ClassVFile* file, int32_t width, int32_t height);               // 54-byte header, kept here too
  int WritePixelData(ClassVFile* file, const V2DSurface* surface, const tagRECT* rect); // rows bottom first

 private:
  uint8_t header[VBMP_HEADERSIZE] = {};  // the header last written
};
