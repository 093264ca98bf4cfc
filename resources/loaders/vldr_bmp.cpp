// vldr_bmp.cpp - the BMP loader and writer.
//
// The loader takes the uncompressed bitmaps with a 40-byte or longer
// information header; the palette follows that header wherever it ends. Rows
// are stored bottom first and padded to 32 bits. Top-down (negative height),
// compressed, 16- and 32-bit bitmaps and the old 12-byte header are left to
// the other loaders (3).
#include "resources/loaders/vldr_bmp.h"

#include <cstring>

#include "render/vsurf_2d.h"
#include "resources/vmod_file.h"

namespace {

constexpr uint32_t FILEHEADER_SIZE = 14;
constexpr uint32_t INFOHEADER_MIN = 40;
constexpr uint32_t OPAQUE = 0xFF000000u;
constexpr uint32_t RESOLUTION = 2834;  // pixels per metre, 72 dpi

// File header and the part of the information header the loader reads.
struct BMPHEADER {
  uint32_t dataoffset;
  uint32_t headersize;
  int32_t width;
  int32_t height;
  uint16_t planes;
  uint16_t bitcount;
  uint32_t compression;
};

uint64_t RowStride(uint32_t bitcount, uint64_t width) { return (bitcount * width + 31) / 32 * 4; }

uint32_t Bgr(const uint8_t* p) { return OPAQUE | p[2] | (uint32_t{p[1]} << 8) | (uint32_t{p[0]} << 16); }

// Packed indices, most significant bits first, to one index per byte.
void UnpackIndices(uint8_t* out, const uint8_t* row, int32_t width, uint32_t bits) {
  const uint32_t perbyte = 8 / bits, mask = (1u << bits) - 1;
  for (int32_t x = 0; x < width; ++x) {
    uint32_t shift = 8 - bits * (uint32_t(x) % perbyte + 1);
    out[x] = uint8_t((row[uint32_t(x) / perbyte] >> shift) & mask);
  }
}

void ConvertBgrRow(uint8_t* out, const uint8_t* row, int32_t width) {
  for (int32_t x = 0; x < width; ++x) {
    uint32_t colour = Bgr(row + size_t(x) * 3);
    std::memcpy(out + size_t(x) * 4, &colour, 4);
  }
}

void Put16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

void Put32(uint8_t* p, uint32_t v) {
  Put16(p, v);
  Put16(p + 2, v >> 16);
}

uint32_t Get32(const uint8_t* p) { return p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24); }

uint32_t WriterStride(uint32_t width) { return (width * 3 + 3) / 4 * 4; }

}  // namespace

int VLoader_BMP::Start(V2DSurfaceBase* surface, const void* block, uint32_t length, uint8_t displaytype,
                       uint32_t flags) {
  LinkData(block, length);
  SetByteOrder(false);
  uint8_t magic[2] = {};
  if (!surface || Remaining() < 2 || !ReadStream(magic, 2) || magic[0] != 'B' || magic[1] != 'M')
    return VLDR_NOTMYFORMAT;

  // File header: size, reserved, pixel data offset; then the information header.
  BMPHEADER h = {};
  uint32_t filesize = 0, reserved = 0, width = 0, height = 0;
  if (!Read32(filesize) || !Read32(reserved) || !Read32(h.dataoffset) || !Read32(h.headersize)) return VLDR_CORRUPT;
  if (h.headersize < INFOHEADER_MIN) return VLDR_NOTMYFORMAT;
  if (!Read32(width) || !Read32(height) || !Read16(h.planes) || !Read16(h.bitcount) || !Read32(h.compression))
    return VLDR_CORRUPT;
  h.width = int32_t(width);
  h.height = int32_t(height);
  if (h.compression != 0 || h.planes != 1) return VLDR_NOTMYFORMAT;
  if (h.bitcount != 1 && h.bitcount != 4 && h.bitcount != 8 && h.bitcount != 24) return VLDR_NOTMYFORMAT;
  if (h.height < 0) return VLDR_NOTMYFORMAT;
  if (h.width <= 0 || h.height == 0) return VLDR_CORRUPT;

  // Pixel data the block cannot hold, or an image whose row offsets would not
  // fit the stream record, is refused before anything is allocated.
  const uint64_t stride = RowStride(h.bitcount, uint32_t(h.width));
  const uint64_t pixelcount = uint64_t(h.width) * uint32_t(h.height);
  if (stride * uint32_t(h.height) > length || pixelcount > uint64_t(INT32_MAX)) return VLDR_CORRUPT;
  const bool indexed = h.bitcount != 24;
  const uint32_t rowlength = indexed ? uint32_t(h.width) : uint32_t(h.width) * 4;
  VLdrBuffer filerow{uint32_t(stride)}, outrow{rowlength};
  if (!filerow.Get() || !outrow.Get()) return VLDR_OUTOFMEMORY;

  VLDR_2DCALLBACKINFO info = {};
  info.width = h.width;
  info.height = uint32_t(h.height);
  info.indexed = indexed ? 1 : 0;
  info.displaytype = displaytype;
  info.flags = flags;
  if (int result = surface->LdrOnCreate(&info)) return result;

  if (indexed) {
    // The table has the full 2, 16 or 256 entries whatever colours-used says.
    uint32_t entries = 1u << h.bitcount, palette[256];
    uint8_t quads[256 * 4];
    SeekSet(uint64_t(FILEHEADER_SIZE) + h.headersize);
    if (!ReadPadded(quads, entries * 4)) return VLDR_CORRUPT;
    for (uint32_t i = 0; i < entries; ++i) palette[i] = Bgr(quads + i * 4);
    info.data = palette;
    info.length = entries * 4;
    info.palettestart = 0;
    if (int result = surface->LdrOnPaletteStream(&info)) return result;
  }

  for (int32_t i = 0; i < h.height; ++i) {
    SeekSet(h.dataoffset + stride * uint32_t(i));
    if (!ReadPadded(filerow.Get(), uint32_t(stride))) return VLDR_CORRUPT;
    const uint8_t* row = filerow.Get();
    if (h.bitcount == 24) {
      ConvertBgrRow(outrow.Get(), row, h.width);
      row = outrow.Get();
    } else if (h.bitcount < 8) {
      UnpackIndices(outrow.Get(), row, h.width, h.bitcount);
      row = outrow.Get();
    }
    info.data = row;
    info.length = rowlength;
    info.offset = h.width * (h.height - 1 - i);
    if (int result = surface->LdrOnPixelStream(&info)) return result;
  }
  return VLDR_LOADED;
}

int VLoader_BMP::WriteHeader(ClassVFile* file, int32_t width, int32_t height) {
  const uint64_t imagesize = uint64_t(WriterStride(uint32_t(width))) * uint32_t(height);
  if (!file || width <= 0 || height <= 0 || imagesize + VBMP_HEADERSIZE > UINT32_MAX) return VSURF_NOTCREATED;
  std::memset(header, 0, sizeof header);
  header[0] = 'B';
  header[1] = 'M';
  Put32(header + 2, uint32_t(imagesize) + VBMP_HEADERSIZE);
  Put32(header + 10, VBMP_HEADERSIZE);
  Put32(header + 14, INFOHEADER_MIN);
  Put32(header + 18, uint32_t(width));
  Put32(header + 22, uint32_t(height));
  Put16(header + 26, 1);
  Put16(header + 28, 24);
  Put32(header + 34, uint32_t(imagesize));
  Put32(header + 38, RESOLUTION);
  Put32(header + 42, RESOLUTION);
  return file->Write(header, VBMP_HEADERSIZE) ? VSURF_OK : VSURF_NOTCREATED;
}

int VLoader_BMP::WritePixelData(ClassVFile* file, const V2DSurface* surface, const tagRECT* rect) {
  const uint32_t width = Get32(header + 18), height = Get32(header + 22), stride = WriterStride(width);
  if (!file || !surface || !rect || width == 0 || height == 0) return VSURF_NOTCREATED;
  VLdrBuffer pixels(stride * height);
  if (!pixels.Get()) return VSURF_NOMEMORY;
  std::memset(pixels.Get(), 0, size_t(stride) * height);
  for (uint32_t i = 0; i < height; ++i) {
    uint8_t* out = pixels.Get() + size_t(i) * stride;
    const int32_t y = rect->bottom - 1 - int32_t(i);
    for (uint32_t j = 0; j < width; ++j, out += 3) {
      uint32_t colour = surface->GetPixel(rect->left + int32_t(j), y);
      out[0] = uint8_t(colour >> 16);
      out[1] = uint8_t(colour >> 8);
      out[2] = uint8_t(colour);
    }
  }
  return file->Write(pixels.Get(), stride * height) ? VSURF_OK : VSURF_NOTCREATED;
}
