// vldr_tga.cpp - the TGA loader.
//
// TGA has no signature, so the header is checked strictly: anything outside
// the uncompressed types and depths this loader knows is left to the other
// loaders (3).
#include "resources/loaders/vldr_tga.h"

#include <cstring>

#include "render/vsurf_2dbase.h"

namespace {

constexpr uint32_t HEADER_SIZE = 18;
constexpr uint32_t OPAQUE = 0xFF000000u;
constexpr uint8_t TYPE_COLORMAPPED = 1;
constexpr uint8_t TYPE_TRUECOLOR = 2;
constexpr uint8_t TYPE_GREY = 3;
constexpr uint8_t DESCRIPTOR_RIGHTTOLEFT = 0x10;
constexpr uint8_t DESCRIPTOR_TOPDOWN = 0x20;

struct TGAHEADER {
  uint8_t idlength, maptype, imagetype;
  uint16_t mapfirst, maplength;
  uint8_t mapentrysize;
  uint16_t xorigin, yorigin, width, height;
  uint8_t depth, descriptor;
};

bool ReadHeader(ClassVLoaderBase& in, TGAHEADER& h) {
  return in.Read8(h.idlength) && in.Read8(h.maptype) && in.Read8(h.imagetype) && in.Read16(h.mapfirst) &&
         in.Read16(h.maplength) && in.Read8(h.mapentrysize) && in.Read16(h.xorigin) && in.Read16(h.yorigin) &&
         in.Read16(h.width) && in.Read16(h.height) && in.Read8(h.depth) && in.Read8(h.descriptor);
}

bool IsSupported(const TGAHEADER& h) {
  if (h.maptype > 1 || (h.descriptor & DESCRIPTOR_RIGHTTOLEFT)) return false;
  switch (h.imagetype) {
    case TYPE_COLORMAPPED:
      return h.maptype == 1 && (h.mapentrysize == 24 || h.mapentrysize == 32) && h.depth == 8;
    case TYPE_TRUECOLOR: return h.depth == 16 || h.depth == 24 || h.depth == 32;
    case TYPE_GREY: return h.depth == 8;
    default: return false;
  }
}

uint32_t Widen5(uint32_t v) { return (v << 3) | (v >> 2); }

uint32_t Colour16(const uint8_t* p, bool attributealpha) {
  const uint32_t v = p[0] | (uint32_t{p[1]} << 8);
  const uint32_t alpha = (!attributealpha || (v & 0x8000)) ? OPAQUE : 0;
  return alpha | Widen5((v >> 10) & 31) | (Widen5((v >> 5) & 31) << 8) | (Widen5(v & 31) << 16);
}

uint32_t Colour24(const uint8_t* p) { return OPAQUE | p[2] | (uint32_t{p[1]} << 8) | (uint32_t{p[0]} << 16); }

uint32_t Colour32(const uint8_t* p) { return (uint32_t{p[3]} << 24) | (Colour24(p) & 0xFFFFFF); }

uint32_t Grey(const uint8_t* p) { return OPAQUE | p[0] * 0x010101u; }

// One stored row of pixels of the given depth to 32-bit colours.
void ConvertRow(uint8_t* out, const uint8_t* row, uint32_t width, const TGAHEADER& h) {
  const bool attributealpha = (h.descriptor & 0x0F) == 1;
  const uint32_t bytes = h.depth / 8;
  for (uint32_t x = 0; x < width; ++x) {
    const uint8_t* p = row + size_t(x) * bytes;
    uint32_t colour = h.imagetype == TYPE_GREY ? Grey(p)
                      : bytes == 2             ? Colour16(p, attributealpha)
                      : bytes == 3             ? Colour24(p)
                                               : Colour32(p);
    std::memcpy(out + size_t(x) * 4, &colour, 4);
  }
}

bool CarriesAlpha(const TGAHEADER& h) {
  if (h.imagetype == TYPE_COLORMAPPED) return h.mapentrysize == 32;
  return h.imagetype == TYPE_TRUECOLOR && (h.depth == 32 || (h.depth == 16 && (h.descriptor & 0x0F) == 1));
}

}  // namespace

int VLoader_TGA::Start(V2DSurfaceBase* surface, const void* block, uint32_t length, uint8_t displaytype,
                       uint32_t flags) {
  LinkData(block, length);
  SetByteOrder(false);
  TGAHEADER h = {};
  if (!surface || Remaining() < HEADER_SIZE || !ReadHeader(*this, h) || !IsSupported(h)) return VLDR_NOTMYFORMAT;
  if (h.width == 0 || h.height == 0) return VLDR_CORRUPT;
  const bool mapped = h.imagetype == TYPE_COLORMAPPED;
  if (mapped && (h.maplength == 0 || uint32_t(h.mapfirst) + h.maplength > 256)) return VLDR_CORRUPT;

  // Where the pixels start, and whether the block can hold them at all,
  // before anything is allocated.
  const uint32_t mapbytes = h.maptype ? h.maplength * ((h.mapentrysize + 7u) / 8) : 0;
  const uint64_t pixelstart = uint64_t(HEADER_SIZE) + h.idlength + mapbytes;
  const uint32_t rowbytes = uint32_t(h.width) * (h.depth / 8);
  if (uint64_t(rowbytes) * h.height > length) return VLDR_CORRUPT;
  const uint32_t deliveredbytes = mapped ? h.width : uint32_t(h.width) * 4;
  VLdrBuffer filerow(rowbytes), outrow(deliveredbytes);
  if (!filerow.Get() || !outrow.Get()) return VLDR_OUTOFMEMORY;

  VLDR_2DCALLBACKINFO info = {};
  info.width = h.width;
  info.height = h.height;
  info.indexed = mapped ? 1 : 0;
  info.alpha = CarriesAlpha(h) ? 1 : 0;
  info.displaytype = displaytype;
  info.flags = flags;
  if (int result = surface->LdrOnCreate(&info)) return result;

  if (mapped) {
    uint8_t entries[256 * 4];
    uint32_t palette[256];
    const uint32_t entrybytes = h.mapentrysize / 8;
    SeekSet(uint64_t(HEADER_SIZE) + h.idlength);
    if (!ReadPadded(entries, h.maplength * entrybytes)) return VLDR_CORRUPT;
    for (uint32_t i = 0; i < h.maplength; ++i) {
      const uint8_t* p = entries + i * entrybytes;
      palette[i] = entrybytes == 4 ? Colour32(p) : Colour24(p);
    }
    info.data = palette;
    info.length = h.maplength * 4u;
    info.palettestart = h.mapfirst;
    if (int result = surface->LdrOnPaletteStream(&info)) return result;
  }

  for (uint32_t i = 0; i < h.height; ++i) {
    SeekSet(pixelstart + uint64_t(rowbytes) * i);
    if (!ReadPadded(filerow.Get(), rowbytes)) return VLDR_CORRUPT;
    if (!mapped) ConvertRow(outrow.Get(), filerow.Get(), h.width, h);
    const uint32_t row = (h.descriptor & DESCRIPTOR_TOPDOWN) ? i : h.height - 1u - i;
    info.data = mapped ? filerow.Get() : outrow.Get();
    info.length = deliveredbytes;
    info.offset = int32_t(uint32_t(h.width) * row);
    // A surface that takes no more rows ends the rows, not the load.
    if (surface->LdrOnPixelStream(&info)) break;
  }
  return VLDR_LOADED;
}
