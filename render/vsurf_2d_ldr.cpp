// vsurf_2d_ldr.cpp - the surface side of the loader protocol: creation for
// an image, palette entries, and pixel runs converted into the surface's
// format with ordered dithering and the transparency rules (alpha below 255
// becomes the colour key 0, opaque black of an image with transparency
// becomes the format's near-black). A run lying within one row of the image
// and the clipper, as decoders deliver them, is converted in one loop per
// format; any other run goes pixel by pixel.
//
// Depends on: the display (palette lookup, index remap), the loader record.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "render/vmod_dsp.h"
#include "render/vsurf_2d.h"
#include "render/vsurf_2d_pixel.h"
#include "resources/loaders/vldr_base.h"
#include "util/vmod_memory.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

uint32_t V2DSurfaceBase::DitherColor(uint8_t videotype, uint32_t c, int32_t phase) {
  uint32_t red = c & 0xFF, green = (c >> 8) & 0xFF, blue = (c >> 16) & 0xFF;
  switch (videotype) {
    case VideoType::Rgb444: {
      uint32_t row = vsurf::DITHER16[phase & 15];
      red = vsurf::DitherComponent(red, 16, 0xF0, row);
      green = vsurf::DitherComponent(green, 16, 0xF0, row);
      blue = vsurf::DitherComponent(blue, 16, 0xF0, row);
      break;
    }
    case VideoType::Rgb555: {
      uint32_t row = vsurf::DITHER8[phase & 7];
      red = vsurf::DitherComponent(red, 8, 0xF8, row);
      green = vsurf::DitherComponent(green, 8, 0xF8, row);
      blue = vsurf::DitherComponent(blue, 8, 0xF8, row);
      break;
    }
    case VideoType::Rgb565: {
      uint32_t row = vsurf::DITHER8[phase & 7];
      red = vsurf::DitherComponent(red, 8, 0xF8, row);
      green = vsurf::DitherComponent(green, 4, 0xFC, vsurf::DITHER4[phase & 3]);
      blue = vsurf::DitherComponent(blue, 8, 0xF8, row);
      break;
    }
    default: return c;
  }
  return red | (green << 8) | (blue << 16);
}

namespace {

// The darkest colour a format keeps apart from black.
uint32_t NearBlack(uint8_t videotype) {
  switch (videotype) {
    case VideoType::Rgb444: return 0x101010;
    case VideoType::Rgb555:
    case VideoType::Rgb565: return 0x080808;
    case VideoType::Rgb888:
    case VideoType::Xrgb8888: return 0x010101;
    default: return 0;
  }
}

bool IsOpaque(uint32_t colour) { return (colour >> 24) == 255; }

bool Inside(const tagRECT& r, int32_t x, int32_t y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

// A loaded colour as stored: alpha below 255 gives the key 0, opaque black of
// an image with transparency the near-black, else the colour, dithered on
// request. Inline so the row loops fold it for their fixed format.
inline uint32_t LoadedColor(uint8_t videotype, uint32_t colour, bool alphaflag, bool dither, int32_t phase) {
  if (!IsOpaque(colour)) return 0;
  uint32_t c = colour & 0xFFFFFF;
  if (c == 0) return alphaflag ? NearBlack(videotype) : 0;
  return dither ? V2DSurfaceBase::DitherColor(videotype, c, phase) : c;
}

// Index of a 24-bit colour in the display's 15-bit palette lookup.
uint32_t LookupIndex(uint32_t c) { return ((c >> 19 & 0x1F) << 10) | ((c >> 11 & 0x1F) << 5) | ((c >> 3) & 0x1F); }

// The offset past count stream pixels, held within its 32-bit field.
void AdvanceOffset(VLDR_2DCALLBACKINFO* info, uint32_t count) {
  int64_t next = int64_t(info->offset) + count;
  info->offset = next > INT32_MAX ? INT32_MAX : int32_t(next);
}

// Calls put(i, x, y) for each of count stream pixels, from the info's offset
// on, that lies inside the width x height image; the offset moves past them.
template <typename Put>
void WalkStream(VLDR_2DCALLBACKINFO* info, uint32_t count, int32_t width, int32_t height, Put put) {
  const int64_t start = info->offset;
  for (uint32_t i = 0; i < count; i++) {
    int64_t position = start + i;
    if (position < 0) continue;
    int64_t y = position / width;
    if (y >= height) break;
    put(i, int32_t(position % width), int32_t(y));
  }
  AdvanceOffset(info, count);
}

// One row run of true-colour pixels: where the first goes, the byte step to
// the next, and what the stream asks for.
struct LOADEDROW {
  uint8_t* first;
  int32_t step;
  uint32_t count;
  bool alphaflag;
  bool dither;
  int32_t phase;           // dither phase of the first pixel
  const uint8_t* source;   // the run as 32-bit colours, when it is one (else null)
};

#if defined(__SSE2__)
// Four 32-bit loaded colours -> their stored values, by the rules of
// LoadedColor without dithering: transparent to 0, opaque black to the
// near-black when the image has transparency.
inline __m128i LoadedColors(__m128i v, __m128i nearblack) {
  const __m128i opaque = _mm_cmpeq_epi32(_mm_srli_epi32(v, 24), _mm_set1_epi32(255));
  const __m128i c = _mm_and_si128(_mm_and_si128(v, _mm_set1_epi32(0xFFFFFF)), opaque);
  const __m128i black = _mm_and_si128(_mm_cmpeq_epi32(c, _mm_setzero_si128()), opaque);
  return _mm_or_si128(c, _mm_and_si128(black, nearblack));
}

// Interface colours -> native pixels of the two formats the game's
// surfaces use; the others take the scalar loop.
inline __m128i NativeXrgb8888(__m128i c) {
  const __m128i green = _mm_and_si128(c, _mm_set1_epi32(0xFF00));
  const __m128i blue = _mm_and_si128(_mm_srli_epi32(c, 16), _mm_set1_epi32(0xFF));
  const __m128i red = _mm_and_si128(_mm_slli_epi32(c, 16), _mm_set1_epi32(0xFF0000));
  return _mm_or_si128(green, _mm_or_si128(blue, red));
}

inline __m128i NativeRgb565(__m128i c) {
  const __m128i red = _mm_slli_epi32(_mm_and_si128(c, _mm_set1_epi32(0xF8)), 8);
  const __m128i green = _mm_and_si128(_mm_srli_epi32(c, 5), _mm_set1_epi32(0x7E0));
  const __m128i blue = _mm_and_si128(_mm_srli_epi32(c, 19), _mm_set1_epi32(0x1F));
  // packs saturates signed words: move the 16-bit values into its range and back.
  const __m128i bias = _mm_set1_epi32(0x8000);
  const __m128i n = _mm_sub_epi32(_mm_or_si128(red, _mm_or_si128(green, blue)), bias);
  return _mm_add_epi16(_mm_packs_epi32(n, n), _mm_set1_epi16(int16_t(-0x8000)));
}

// The bulk of an undithered run of 32-bit colours into an unturned row,
// four pixels at a time; returns how many pixels it stored.
template <uint8_t Type>
uint32_t WriteLoadedRowSse2(const LOADEDROW& row) {
  if (Type != VideoType::Xrgb8888 && Type != VideoType::Rgb565) return 0;
  const __m128i nearblack = _mm_set1_epi32(row.alphaflag ? int32_t(NearBlack(Type)) : 0);
  uint32_t i = 0;
  for (; i + 4 <= row.count; i += 4) {
    const __m128i c = LoadedColors(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row.source + 4 * i)), nearblack);
    if (Type == VideoType::Xrgb8888) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(row.first + 4 * i), NativeXrgb8888(c));
    } else {
      _mm_storel_epi64(reinterpret_cast<__m128i*>(row.first + 2 * i), NativeRgb565(c));
    }
  }
  return i;
}
#endif

// The pixels of the run an unturned, undithered row stores with vector code.
template <uint8_t Type>
uint32_t WriteLoadedRowVector(const LOADEDROW& row) {
#if defined(__SSE2__)
  if (row.source) return WriteLoadedRowSse2<Type>(row);
#endif
  (void)row;
  return 0;
}

// Stores fetch(i) for each pixel of the run, as the per-pixel path would.
// Dithering and the byte step are template arguments, so the common case (no
// dither, an unturned surface) is a straight loop of shifts and stores.
template <uint8_t Type, int Bytes, bool Dither, int Step, typename Fetch>
void WriteLoadedRow(const LOADEDROW& row, Fetch fetch) {
  const ptrdiff_t step = Step != 0 ? Step : row.step;
  const uint32_t done = !Dither && Step != 0 ? WriteLoadedRowVector<Type>(row) : 0;
  uint8_t* at = row.first + ptrdiff_t(done) * step;
  for (uint32_t i = done; i < row.count; i++, at += step) {
    const uint32_t c = LoadedColor(Type, fetch(i), row.alphaflag, Dither, row.phase + int32_t(i));
    vsurf::StorePixel<Bytes>(at, V2DSurfaceBase::ColorToNative(Type, c));
  }
}

template <uint8_t Type, int Bytes, typename Fetch>
void WriteLoadedRow(const LOADEDROW& row, Fetch fetch) {
  if (row.dither) {
    WriteLoadedRow<Type, Bytes, true, 0>(row, fetch);
  } else if (row.step == Bytes) {
    WriteLoadedRow<Type, Bytes, false, Bytes>(row, fetch);
  } else {
    WriteLoadedRow<Type, Bytes, false, 0>(row, fetch);
  }
}

}  // namespace

int V2DSurface::LdrOnCreate(VLDR_2DCALLBACKINFO* info) {
  if (!info) return VSURF_INVALID;
  int32_t height = info->height > uint32_t(INT32_MAX) ? INT32_MAX : int32_t(info->height);
  int result = Create(info->width, height, info->displaytype, info->flags);
  if (result == VSURF_OK) colorkey = 0;
  return result;
}

int V2DSurface::LdrOnPaletteStream(VLDR_2DCALLBACKINFO* info) {
  int result = StorePaletteStream(info);
  if (result != VSURF_OK) return result;
  // The remap was made for the old entries.
  ClassVMemory::DeAlloc(indexremap);
  indexremap = nullptr;
  return VSURF_OK;
}

int V2DSurface::LdrOnPixelStream(VLDR_2DCALLBACKINFO* info) {
  if (!IsCreated() || !pixels) return VSURF_NOTCREATED;
  if (!info || !info->data) return VSURF_INVALID;
  return info->indexed ? StreamIndexed(info) : StreamTrueColor(info);
}

int V2DSurface::StreamIndexed(VLDR_2DCALLBACKINFO* info) {
  const bool remap = (info->flags & VLDR_FLAG_REMAP) != 0;
  if (videotype == VideoType::Indexed8 && remap && !indexremap && BuildIndexRemap() != VSURF_OK) return VSURF_NOMEMORY;
  const uint8_t* data = static_cast<const uint8_t*>(info->data);
  if (videotype != VideoType::Indexed8 &&
      StreamRowFast(info, info->length, nullptr, [&](uint32_t i) { return palette[data[i]]; }))
    return VSURF_OK;
  const bool dither = (info->flags & VLDR_FLAG_DITHER) != 0;
  WalkStream(info, info->length, GetWidth(), GetHeight(), [&](uint32_t i, int32_t x, int32_t y) {
    uint32_t entry = palette[data[i]];
    if (videotype != VideoType::Indexed8) {
      WriteStreamPixel(x, y, StreamColor(entry, info->alpha != 0, dither, x + y));
    } else {
      WriteStreamPixel(x, y, !IsOpaque(entry) ? 0 : (remap ? indexremap[data[i]] : data[i]));
    }
  });
  return VSURF_OK;
}

int V2DSurface::StreamTrueColor(VLDR_2DCALLBACKINFO* info) {
  const bool remap = (info->flags & VLDR_FLAG_REMAP) != 0;
  ClassVDisplay* display = Display();
  const uint8_t* lookup = nullptr;
  if (videotype == VideoType::Indexed8 && remap && display) {
    // The lookup may not exist yet, or be older than the palette.
    if (!display->BuildPaletteLookup()) return VSURF_NOMEMORY;
    lookup = display->GetPaletteLookup();
  }
  const uint8_t* data = static_cast<const uint8_t*>(info->data);
  auto colourat = [data](uint32_t i) {
    uint32_t colour;
    std::memcpy(&colour, data + size_t(i) * 4, 4);
    return colour;
  };
  if (videotype != VideoType::Indexed8 && StreamRowFast(info, info->length / 4, data, colourat)) return VSURF_OK;
  const bool dither = (info->flags & VLDR_FLAG_DITHER) != 0;
  WalkStream(info, info->length / 4, GetWidth(), GetHeight(), [&](uint32_t i, int32_t x, int32_t y) {
    const uint32_t colour = colourat(i);
    if (videotype != VideoType::Indexed8) {
      WriteStreamPixel(x, y, StreamColor(colour, info->alpha != 0, dither, x + y));
    } else {
      WriteStreamPixel(x, y, !IsOpaque(colour) ? 0 : (lookup ? lookup[LookupIndex(colour)] : colour & 0xFF));
    }
  });
  return VSURF_OK;
}

uint32_t V2DSurface::StreamColor(uint32_t colour, bool alphaflag, bool dither, int32_t phase) const {
  return LoadedColor(videotype, colour, alphaflag, dither, phase);
}

uint8_t* V2DSurface::StreamRowStart(int32_t offset, uint32_t count, int32_t& step) const {
  const int32_t width = GetWidth();
  if (offset < 0 || count == 0 || width <= 0 || offset / width >= GetHeight()) return nullptr;
  const int32_t x = offset % width, y = offset / width;
  if (count > uint32_t(width - x)) return nullptr;
  // The run maps to a straight line, so both ends inside means all inside.
  int32_t firstx = x, firsty = y, lastx = x + int32_t(count - 1), lasty = y;
  MapPos(firstx, firsty);
  MapPos(lastx, lasty);
  if (!Inside(clipper, firstx, firsty) || !Inside(clipper, lastx, lasty)) return nullptr;
  V2DSURFACEINFO layout;
  GetInfo(&layout);
  step = layout.xstep;
  return PixelAt(firstx, firsty);
}

template <typename Fetch>
bool V2DSurface::StreamRowFast(VLDR_2DCALLBACKINFO* info, uint32_t count, const uint8_t* colours, Fetch fetch) {
  int32_t step = 0;
  uint8_t* first = StreamRowStart(info->offset, count, step);
  if (!first) return false;
  const int32_t width = GetWidth();
  const LOADEDROW row = {first, step, count, info->alpha != 0, (info->flags & VLDR_FLAG_DITHER) != 0,
                         info->offset % width + info->offset / width, colours};
  switch (videotype) {
    case VideoType::Rgb444: WriteLoadedRow<VideoType::Rgb444, 2>(row, fetch); break;
    case VideoType::Rgb555: WriteLoadedRow<VideoType::Rgb555, 2>(row, fetch); break;
    case VideoType::Rgb565: WriteLoadedRow<VideoType::Rgb565, 2>(row, fetch); break;
    case VideoType::Rgb888: WriteLoadedRow<VideoType::Rgb888, 3>(row, fetch); break;
    case VideoType::Xrgb8888: WriteLoadedRow<VideoType::Xrgb8888, 4>(row, fetch); break;
    default: return false;
  }
  AdvanceOffset(info, count);
  return true;
}

void V2DSurface::WriteStreamPixel(int32_t x, int32_t y, uint32_t colour) {
  MapPos(x, y);
  if (!Inside(clipper, x, y)) return;
  PutPixelRaw(x, y, colour, 0, 0);
}

int V2DSurface::BuildIndexRemap() {
  indexremap = static_cast<uint8_t*>(ClassVMemory::Alloc(256));
  if (!indexremap) return VSURF_NOMEMORY;
  if (const ClassVDisplay* display = Display()) {
    display->BuildPaletteLookupIndex(indexremap, palette);
  } else {
    // Without a display there is no palette to map onto.
    for (int i = 0; i < 256; i++) indexremap[i] = uint8_t(i);
  }
  return VSURF_OK;
}
