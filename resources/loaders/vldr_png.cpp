// vldr_png.cpp - the PNG image loader and the PNG writer.
//
// Loading walks the chunks first and creates nothing until the walk shows a
// sound header and enough image data to justify the image: only then are
// the surface, the palette and the inflated image made. The image data is
// inflated in one zlib call, unfiltered in place, converted row by row and
// handed to the surface one row at a time (interlaced images are assembled
// in a full-image buffer first).
//
// Tunables: MAXDEFLATERATIO (how many bytes one byte of deflate data may
// stand for when sizing the image against the data; zlib's own limit is
// about 1032) and IDATCHUNKMAX (largest IDAT chunk the writer makes).
#include "resources/loaders/vldr_png.h"

#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "render/vsurf_2dbase.h"
#include "resources/vmod_file.h"
#include "util/vmod_memory.h"

namespace {

constexpr uint8_t SIGNATURE[8] = {137, 80, 78, 71, 13, 10, 26, 10};
constexpr uint32_t MAXDIMENSION = 0x7FFFFFFF;
constexpr uint64_t MAXDEFLATERATIO = 1032;
constexpr uint64_t DEFLATESLACK = 1024;      // a tiny stream may still make a little more than its ratio
constexpr uint32_t IDATCHUNKMAX = 1u << 30;
constexpr uint32_t NOTRANSPARENT = 0xFF000000;  // no colour of the image matches it

constexpr uint32_t ChunkName(const char (&name)[5]) {
  return (uint32_t(uint8_t(name[0])) << 24) | (uint32_t(uint8_t(name[1])) << 16) |
         (uint32_t(uint8_t(name[2])) << 8) | uint32_t(uint8_t(name[3]));
}
constexpr uint32_t CHUNK_IHDR = ChunkName("IHDR");
constexpr uint32_t CHUNK_PLTE = ChunkName("PLTE");
constexpr uint32_t CHUNK_TRNS = ChunkName("tRNS");
constexpr uint32_t CHUNK_IDAT = ChunkName("IDAT");
constexpr uint32_t CHUNK_IEND = ChunkName("IEND");

// Colour types: bit 0 palette, bit 1 colour, bit 2 alpha.
constexpr uint8_t COLOR_GREY = 0;
constexpr uint8_t COLOR_RGB = 2;
constexpr uint8_t COLOR_PALETTE = 3;
constexpr uint8_t COLOR_GREYALPHA = 4;
constexpr uint8_t COLOR_RGBA = 6;

enum Filter : uint8_t { FILTER_NONE, FILTER_SUB, FILTER_UP, FILTER_AVERAGE, FILTER_PAETH, FILTER_COUNT };

// Adam7: where each pass starts and how far apart its pixels lie.
struct PASS {
  uint8_t x0, y0, dx, dy;
};
constexpr PASS ADAM7[7] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                           {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
constexpr PASS WHOLEIMAGE = {0, 0, 1, 1};

struct PNGHEADER {
  uint32_t width, height;
  uint8_t depth, colortype, interlace;
};

uint32_t Channels(uint8_t colortype) {
  switch (colortype) {
    case COLOR_RGB: return 3;
    case COLOR_GREYALPHA: return 2;
    case COLOR_RGBA: return 4;
    default: return 1;
  }
}

// The pairs of colour type and bit depth the format allows.
bool AllowedDepth(uint8_t colortype, uint8_t depth) {
  switch (colortype) {
    case COLOR_GREY: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case COLOR_PALETTE: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case COLOR_RGB:
    case COLOR_GREYALPHA:
    case COLOR_RGBA: return depth == 8 || depth == 16;
    default: return false;
  }
}

uint32_t BitsPerPixel(const PNGHEADER& h) { return h.depth * Channels(h.colortype); }
uint64_t RowBytes(const PNGHEADER& h, uint64_t width) { return (width * BitsPerPixel(h) + 7) / 8; }
uint32_t FilterDistance(const PNGHEADER& h) { return BitsPerPixel(h) >= 8 ? BitsPerPixel(h) / 8 : 1; }

uint64_t PassSize(uint32_t full, uint8_t start, uint8_t step) {
  return full > start ? (uint64_t(full) - start + step - 1) / step : 0;
}

// Bytes of filtered image data a pass holds: one filter byte and the row
// bytes per row; a pass without pixels holds nothing.
uint64_t PassBytes(const PNGHEADER& h, const PASS& pass) {
  uint64_t w = PassSize(h.width, pass.x0, pass.dx), rows = PassSize(h.height, pass.y0, pass.dy);
  return w && rows ? rows * (1 + RowBytes(h, w)) : 0;
}

uint64_t ImageBytes(const PNGHEADER& h) {
  if (!h.interlace) return PassBytes(h, WHOLEIMAGE);
  uint64_t total = 0;
  for (const PASS& pass : ADAM7) total += PassBytes(h, pass);
  return total;
}

// --- unfiltering ---------------------------------------------------------------

uint8_t PaethPredictor(int a, int b, int c) {
  int pa = b - c, pb = a - c, pc = pa + pb;  // distances of a + b - c to a, b and c
  pa = pa < 0 ? -pa : pa;
  pb = pb < 0 ? -pb : pb;
  pc = pc < 0 ? -pc : pc;
  if (pa <= pb && pa <= pc) return uint8_t(a);
  return uint8_t(pb <= pc ? b : c);
}

// The pixel distance is a template argument so that each loop keeps its left
// neighbours in registers.
template <uint32_t D>
void UndoSub(uint8_t* row, uint32_t n) {
  for (uint32_t i = D; i < n; ++i) row[i] = uint8_t(row[i] + row[i - D]);
}

void UndoUp(uint8_t* row, const uint8_t* prior, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) row[i] = uint8_t(row[i] + prior[i]);
}

template <uint32_t D>
void UndoAverage(uint8_t* row, const uint8_t* prior, uint32_t n) {
  for (uint32_t i = 0; i < D && i < n; ++i) row[i] = uint8_t(row[i] + (prior[i] >> 1));
  for (uint32_t i = D; i < n; ++i) row[i] = uint8_t(row[i] + ((row[i - D] + prior[i]) >> 1));
}

template <uint32_t D>
void UndoPaeth(uint8_t* row, const uint8_t* prior, uint32_t n) {
  for (uint32_t i = 0; i < D && i < n; ++i) row[i] = uint8_t(row[i] + prior[i]);
  for (uint32_t i = D; i < n; ++i) row[i] = uint8_t(row[i] + PaethPredictor(row[i - D], prior[i], prior[i - D]));
}

#if defined(__SSE2__)
// Pixels of 3 and 4 bytes, one pixel at a time with its bytes side by side
// in 16-bit lanes: the chain from each pixel to the next stays, but it is a
// pixel long instead of a byte.
template <uint32_t D>
__m128i LoadPixel(const uint8_t* p) {
  // Three bytes are put together in a register: a 3-byte copy into a 4-byte
  // word would stall on the store to load forwarding.
  uint32_t v = p[0] | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
  if (D == 4) std::memcpy(&v, p, 4);
  return _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(v)), _mm_setzero_si128());
}

template <uint32_t D>
void StorePixel(uint8_t* p, __m128i lanes) {
  const uint32_t v = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(lanes, lanes)));
  if (D == 4) {
    std::memcpy(p, &v, 4);
    return;
  }
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
}

__m128i Select(__m128i mask, __m128i yes, __m128i no) { return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no)); }

__m128i Distance(__m128i v) { return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v)); }

template <uint32_t D>
void UndoSubWide(uint8_t* row, uint32_t n) {
  __m128i a = _mm_setzero_si128();
  const __m128i low = _mm_set1_epi16(0xFF);
  for (uint32_t i = 0; i < n; i += D) {
    a = _mm_and_si128(_mm_add_epi16(LoadPixel<D>(row + i), a), low);
    StorePixel<D>(row + i, a);
  }
}

template <uint32_t D>
void UndoAverageWide(uint8_t* row, const uint8_t* prior, uint32_t n) {
  __m128i a = _mm_setzero_si128();
  const __m128i low = _mm_set1_epi16(0xFF);
  for (uint32_t i = 0; i < n; i += D) {
    const __m128i average = _mm_srli_epi16(_mm_add_epi16(a, LoadPixel<D>(prior + i)), 1);
    a = _mm_and_si128(_mm_add_epi16(LoadPixel<D>(row + i), average), low);
    StorePixel<D>(row + i, a);
  }
}

// One pixel of a Paeth row; a and c carry the left and upper-left pixels
// from one call to the next. Ties go to the left, then the upper neighbour,
// as the predictor says. The choice between upper and upper-left is made
// beside the test against the left one, which keeps the chain from one pixel
// to the next short.
template <uint32_t D>
void PaethPixel(__m128i& a, __m128i& c, uint8_t* row, const uint8_t* prior, uint32_t i) {
  const __m128i b = LoadPixel<D>(prior + i);
  const __m128i bc = _mm_sub_epi16(b, c), ac = _mm_sub_epi16(a, c);
  const __m128i pa = Distance(bc), pb = Distance(ac), pc = Distance(_mm_add_epi16(bc, ac));
  const __m128i upper = Select(_mm_cmpgt_epi16(pb, pc), c, b);
  const __m128i nearest = Select(_mm_cmpgt_epi16(pa, _mm_min_epi16(pb, pc)), upper, a);
  a = _mm_and_si128(_mm_add_epi16(LoadPixel<D>(row + i), nearest), _mm_set1_epi16(0xFF));
  StorePixel<D>(row + i, a);
  c = b;
}

template <uint32_t D>
void UndoPaethWide(uint8_t* row, const uint8_t* prior, uint32_t n) {
  __m128i a = _mm_setzero_si128(), c = _mm_setzero_si128();
  for (uint32_t i = 0; i < n; i += D) PaethPixel<D>(a, c, row, prior, i);
}

// Two Paeth rows at once, the second one pixel behind the first: each pixel
// of the second needs only pixels of the first that are already done, and
// the two independent chains keep the processor busy.
template <uint32_t D>
void UndoPaethPairWide(uint8_t* first, uint8_t* second, const uint8_t* prior, uint32_t n) {
  __m128i a1 = _mm_setzero_si128(), c1 = a1, a2 = a1, c2 = a1;
  PaethPixel<D>(a1, c1, first, prior, 0);
  for (uint32_t i = D; i < n; i += D) {
    PaethPixel<D>(a1, c1, first, prior, i);
    PaethPixel<D>(a2, c2, second, first, i - D);
  }
  PaethPixel<D>(a2, c2, second, first, n - D);
}

template <>
void UndoSub<3>(uint8_t* row, uint32_t n) { UndoSubWide<3>(row, n); }
template <>
void UndoSub<4>(uint8_t* row, uint32_t n) { UndoSubWide<4>(row, n); }
template <>
void UndoAverage<3>(uint8_t* row, const uint8_t* prior, uint32_t n) { UndoAverageWide<3>(row, prior, n); }
template <>
void UndoAverage<4>(uint8_t* row, const uint8_t* prior, uint32_t n) { UndoAverageWide<4>(row, prior, n); }
template <>
void UndoPaeth<3>(uint8_t* row, const uint8_t* prior, uint32_t n) { UndoPaethWide<3>(row, prior, n); }
template <>
void UndoPaeth<4>(uint8_t* row, const uint8_t* prior, uint32_t n) { UndoPaethWide<4>(row, prior, n); }
#endif

template <uint32_t D>
bool UndoFilterFor(uint8_t filter, uint8_t* row, const uint8_t* prior, uint32_t n) {
  switch (filter) {
    case FILTER_NONE: return true;
    case FILTER_SUB: UndoSub<D>(row, n); return true;
    case FILTER_UP: UndoUp(row, prior, n); return true;
    case FILTER_AVERAGE: UndoAverage<D>(row, prior, n); return true;
    case FILTER_PAETH: UndoPaeth<D>(row, prior, n); return true;
    default: return false;
  }
}

// Undoes the Paeth filter of two rows, the second right after the first, when
// there is a routine for the pixel size; false leaves both rows alone.
bool UndoPaethPair(uint32_t distance, uint8_t* first, uint8_t* second, const uint8_t* prior, uint32_t n) {
#if defined(__SSE2__)
  if (distance == 3) UndoPaethPairWide<3>(first, second, prior, n);
  if (distance == 4) UndoPaethPairWide<4>(first, second, prior, n);
  return distance == 3 || distance == 4;
#else
  (void)distance, (void)first, (void)second, (void)prior, (void)n;
  return false;
#endif
}

// Undoes one row's filter in place; false for an unknown filter type.
bool UndoFilter(uint8_t filter, uint32_t distance, uint8_t* row, const uint8_t* prior, uint32_t n) {
  switch (distance) {
    case 1: return UndoFilterFor<1>(filter, row, prior, n);
    case 2: return UndoFilterFor<2>(filter, row, prior, n);
    case 3: return UndoFilterFor<3>(filter, row, prior, n);
    case 4: return UndoFilterFor<4>(filter, row, prior, n);
    case 6: return UndoFilterFor<6>(filter, row, prior, n);
    default: return UndoFilterFor<8>(filter, row, prior, n);
  }
}

// --- row conversion ------------------------------------------------------------

uint32_t Colour(uint32_t r, uint32_t g, uint32_t b, uint32_t a) { return r | (g << 8) | (b << 16) | (a << 24); }

// Streams carry colours as native 32-bit values.
void StoreColour(uint8_t* out, uint32_t colour) { std::memcpy(out, &colour, 4); }

constexpr bool LITTLEENDIAN = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

uint32_t Sample16(const uint8_t* p) { return (uint32_t(p[0]) << 8) | p[1]; }

// Sample i of a row packed at 1, 2 or 4 bits, most significant bits first.
uint32_t PackedSample(const uint8_t* row, uint32_t i, uint32_t depth) {
  uint32_t bit = i * depth;
  return (row[bit >> 3] >> (8 - depth - (bit & 7))) & ((1u << depth) - 1);
}

// What a row conversion needs to know of the image.
struct ROWFORMAT {
  uint8_t colortype, depth;
  bool keyed;            // a transparent sample value is set
  uint16_t key[3];       // transparent grey or red, green, blue, at the image's depth
};

void ConvertPackedIndices(const ROWFORMAT& f, const uint8_t* row, uint32_t width, uint8_t* out) {
  for (uint32_t i = 0; i < width; ++i) out[i] = uint8_t(PackedSample(row, i, f.depth));
}

void ConvertGrey(const ROWFORMAT& f, const uint8_t* row, uint32_t width, uint8_t* out) {
  const uint32_t scale = f.depth == 16 ? 0 : 255 / ((1u << f.depth) - 1);
  for (uint32_t i = 0; i < width; ++i, out += 4) {
    uint32_t v, g;
    if (f.depth == 16) {
      v = Sample16(row + i * 2);
      g = v >> 8;
    } else {
      v = f.depth == 8 ? row[i] : PackedSample(row, i, f.depth);
      g = v * scale;
    }
    StoreColour(out, Colour(g, g, g, f.keyed && v == f.key[0] ? 0 : 255));
  }
}

void ConvertGreyAlpha(const ROWFORMAT& f, const uint8_t* row, uint32_t width, uint8_t* out) {
  const uint32_t step = f.depth == 16 ? 4 : 2, second = step / 2;
  for (const uint8_t* end = row + size_t(width) * step; row < end; row += step, out += 4) {
    StoreColour(out, Colour(row[0], row[0], row[0], row[second]));
  }
}

void ConvertRgb8(const ROWFORMAT& f, const uint8_t* row, uint32_t width, uint8_t* out) {
  const uint32_t key = f.keyed ? Colour(f.key[0], f.key[1], f.key[2], 0) : NOTRANSPARENT;
  for (const uint8_t* end = row + size_t(width) * 3; row < end; row += 3, out += 4) {
    uint32_t c = Colour(row[0], row[1], row[2], 0);
    StoreColour(out, c | (c == key ? 0 : 0xFF000000u));
  }
}

void ConvertRgb16(const ROWFORMAT& f, const uint8_t* row, uint32_t width, uint8_t* out) {
  for (const uint8_t* end = row + size_t(width) * 6; row < end; row += 6, out += 4) {
    bool clear = f.keyed && Sample16(row) == f.key[0] && Sample16(row + 2) == f.key[1] && Sample16(row + 4) == f.key[2];
    StoreColour(out, Colour(row[0], row[2], row[4], clear ? 0 : 255));
  }
}

void ConvertRgba(const ROWFORMAT& f, const uint8_t* row, uint32_t width, uint8_t* out) {
  const uint32_t step = f.depth == 16 ? 8 : 4, second = step / 4;
  for (const uint8_t* end = row + size_t(width) * step; row < end; row += step, out += 4) {
    StoreColour(out, Colour(row[0], row[second], row[2 * second], row[3 * second]));
  }
}

using ConvertRow = void (*)(const ROWFORMAT&, const uint8_t*, uint32_t, uint8_t*);

// Picks the row conversion once per image; null: the rows are delivered as
// they come out of the filter (8-bit palette indices, and 8-bit RGBA where the
// file's byte order is the native colour's).
ConvertRow ConversionFor(const ROWFORMAT& f) {
  if (f.colortype == COLOR_RGBA && f.depth == 8 && LITTLEENDIAN) return nullptr;
  switch (f.colortype) {
    case COLOR_PALETTE: return f.depth == 8 ? nullptr : ConvertPackedIndices;
    case COLOR_GREY: return ConvertGrey;
    case COLOR_GREYALPHA: return ConvertGreyAlpha;
    case COLOR_RGB: return f.depth == 8 ? ConvertRgb8 : ConvertRgb16;
    default: return ConvertRgba;
  }
}

// --- the decoder -----------------------------------------------------------------

// One load: what the chunk walk found, then the decoding.
class PngDecoder {
 public:
  PngDecoder(VLoader_PNG& reader, const uint8_t* block, V2DSurfaceBase* surface) : reader(reader), block(block), surface(surface) {
    for (uint32_t& entry : palette) entry = 0xFF000000u;
  }
  ~PngDecoder() {
    ClassVMemory::DeAlloc(image);
    ClassVMemory::DeAlloc(gathered);
    ClassVMemory::DeAlloc(zerorow);
    ClassVMemory::DeAlloc(rowbuffer);
    ClassVMemory::DeAlloc(fullimage);
  }
  PngDecoder(const PngDecoder&) = delete;
  PngDecoder& operator=(const PngDecoder&) = delete;

  int WalkChunks();
  int Decode(uint8_t displaytype, uint32_t flags);

 private:
  int ProcessIHDR(uint32_t length);
  int ProcessPLTE(uint32_t length);
  void ProcessTRNS(uint32_t length);
  void ProcessIDAT(uint32_t start, uint32_t length);
  int CheckImageSize() const;
  int CreateImage(uint8_t displaytype, uint32_t flags);
  int StreamPalette(uint32_t entries);
  int Inflate();
  int AllocateRows();
  int DecodePass(const PASS& pass, uint8_t*& filtered);
  void DeliverRow(uint32_t y, const uint8_t* pixels);

  VLoader_PNG& reader;
  const uint8_t* block;
  V2DSurfaceBase* surface;
  VLDR_2DCALLBACKINFO info{};

  PNGHEADER header{};
  bool headerseen = false;
  uint32_t palette[256];           // entries as streamed: colour and alpha
  uint32_t paletteentries = 0;     // from PLTE
  uint32_t alphaentries = 0;       // from an indexed image's tRNS
  ROWFORMAT format{};

  uint32_t idatstart = 0;          // first IDAT chunk
  uint32_t idatcount = 0;
  uint64_t idatbytes = 0;          // data bytes of all IDATs the block holds
  bool idatended = false;          // a chunk of another type followed the IDATs

  uint8_t* image = nullptr;        // the inflated, then unfiltered, image data
  uint8_t* gathered = nullptr;     // several IDATs' data joined
  uint8_t* zerorow = nullptr;      // the row above the first row
  uint8_t* rowbuffer = nullptr;    // one converted row
  uint8_t* fullimage = nullptr;    // interlaced images, assembled
  ConvertRow convert = nullptr;
  uint32_t pixelbytes = 0;         // bytes a delivered pixel takes: 1 index or 4 colour
};

int PngDecoder::WalkChunks() {
  while (reader.HaveData()) {
    const uint32_t start = reader.Tell();
    uint32_t length = 0, type = 0;
    if (!reader.Read32(length) || !reader.Read32(type)) break;
    const bool complete = length <= reader.Remaining();
    if (!headerseen && type != CHUNK_IHDR) return VLDR_CORRUPT;
    if (type == CHUNK_IDAT) {
      if (idatended) return VLDR_CORRUPT;
      ProcessIDAT(start, complete ? length : reader.Remaining());
    } else {
      if (idatcount) idatended = true;
      if (!complete) break;
      int result = VLDR_LOADED;
      if (type == CHUNK_IHDR) result = ProcessIHDR(length);
      if (type == CHUNK_PLTE) result = ProcessPLTE(length);
      if (type == CHUNK_TRNS) ProcessTRNS(length);
      if (result != VLDR_LOADED) return result;
      if (type == CHUNK_IEND) break;
    }
    if (!complete) break;
    reader.SeekSet(uint64_t(start) + 12 + length);  // past the data and the CRC
  }
  return headerseen ? VLDR_LOADED : VLDR_CORRUPT;
}

// IHDR: width, height, bit depth, colour type, compression, filter and interlace method.
int PngDecoder::ProcessIHDR(uint32_t length) {
  if (headerseen || length != 13) return VLDR_CORRUPT;
  uint8_t compression = 0, filter = 0;
  reader.Read32(header.width);
  reader.Read32(header.height);
  reader.Read8(header.depth);
  reader.Read8(header.colortype);
  reader.Read8(compression);
  reader.Read8(filter);
  reader.Read8(header.interlace);
  headerseen = true;
  if (header.width == 0 || header.height == 0 || header.width > MAXDIMENSION || header.height > MAXDIMENSION) {
    return VLDR_CORRUPT;
  }
  if (!AllowedDepth(header.colortype, header.depth)) return VLDR_CORRUPT;
  if (compression != 0 || filter != 0 || header.interlace > 1) return VLDR_NOTMYFORMAT;
  format.colortype = header.colortype;
  format.depth = header.depth;
  return VLDR_LOADED;
}

// PLTE: 1 to 256 red, green, blue triples.
int PngDecoder::ProcessPLTE(uint32_t length) {
  if (length == 0 || length % 3 != 0 || length > 768) return VLDR_CORRUPT;
  paletteentries = length / 3;
  for (uint32_t i = 0; i < paletteentries; ++i) {
    uint8_t rgb[3] = {};
    reader.ReadStream(rgb, 3);
    palette[i] = (palette[i] & 0xFF000000u) | Colour(rgb[0], rgb[1], rgb[2], 0);
  }
  return VLDR_LOADED;
}

// tRNS: palette alphas, or the one grey or RGB value that is transparent.
// A chunk too short for its colour type, or a value the bit depth cannot
// hold, leaves no pixel transparent.
void PngDecoder::ProcessTRNS(uint32_t length) {
  const uint32_t maxsample = header.depth == 16 ? 0xFFFF : (1u << header.depth) - 1;
  switch (header.colortype) {
    case COLOR_PALETTE:
      alphaentries = length < 256 ? length : 256;
      for (uint32_t i = 0; i < alphaentries; ++i) {
        uint8_t a = 255;
        reader.Read8(a);
        palette[i] = (palette[i] & 0xFFFFFFu) | (uint32_t(a) << 24);
      }
      break;
    case COLOR_GREY:
    case COLOR_RGB: {
      const uint32_t samples = header.colortype == COLOR_GREY ? 1 : 3;
      if (length < samples * 2) return;
      bool fits = true;
      for (uint32_t i = 0; i < samples; ++i) {
        reader.Read16(format.key[i]);
        fits = fits && format.key[i] <= maxsample;
      }
      format.keyed = fits;
      break;
    }
    default:
      return;  // images with an alpha channel carry no tRNS
  }
  info.alpha = 1;
}

// IDAT: only the bytes the block holds count.
void PngDecoder::ProcessIDAT(uint32_t start, uint32_t length) {
  if (idatcount == 0) idatstart = start;
  ++idatcount;
  idatbytes += length;
}

// Refuses an image the data cannot justify before anything is allocated:
// deflate data makes at most MAXDEFLATERATIO bytes per byte, and the rows'
// offsets, buffers and zlib's counts are 32-bit.
int PngDecoder::CheckImageSize() const {
  const uint64_t bytes = ImageBytes(header);
  if (bytes > idatbytes * MAXDEFLATERATIO + DEFLATESLACK) return VLDR_CORRUPT;
  const uint64_t pixels = uint64_t(header.width) * header.height;
  if (bytes > UINT32_MAX || pixels > uint64_t(INT32_MAX) || uint64_t(header.width) * 4 > UINT32_MAX) {
    return VLDR_OUTOFMEMORY;
  }
  if (header.interlace && pixels * pixelbytes > UINT32_MAX) return VLDR_OUTOFMEMORY;
  return VLDR_LOADED;
}

int PngDecoder::Decode(uint8_t displaytype, uint32_t flags) {
  if (idatcount == 0 || idatbytes == 0) return VLDR_CORRUPT;
  if (header.colortype == COLOR_PALETTE && paletteentries == 0) return VLDR_CORRUPT;
  pixelbytes = header.colortype == COLOR_PALETTE ? 1 : 4;
  int result = CheckImageSize();
  if (result == VLDR_LOADED) result = CreateImage(displaytype, flags);
  if (result == VLDR_LOADED) result = Inflate();
  if (result == VLDR_LOADED) result = AllocateRows();
  if (result != VLDR_LOADED) return result;

  uint8_t* filtered = image;
  if (!header.interlace) return DecodePass(WHOLEIMAGE, filtered);
  for (const PASS& pass : ADAM7) {
    result = DecodePass(pass, filtered);
    if (result != VLDR_LOADED) return result;
  }
  const uint32_t rowlength = header.width * pixelbytes;
  for (uint32_t y = 0; y < header.height; ++y) DeliverRow(y, fullimage + size_t(y) * rowlength);
  return VLDR_LOADED;
}

int PngDecoder::CreateImage(uint8_t displaytype, uint32_t flags) {
  info.width = int32_t(header.width);
  info.height = header.height;
  info.indexed = header.colortype == COLOR_PALETTE;
  info.alpha = uint8_t(info.alpha | ((header.colortype & 4) ? 1 : 0));
  info.displaytype = displaytype;
  info.flags = flags;
  int result = surface->LdrOnCreate(&info);
  if (result != VLDR_LOADED || !info.indexed) return result;
  // The palette, then again the entries tRNS gave an alpha, as a reader
  // following the chunks would see them.
  result = StreamPalette(paletteentries);
  if (result == VLDR_LOADED && alphaentries) result = StreamPalette(alphaentries);
  return result;
}

int PngDecoder::StreamPalette(uint32_t entries) {
  uint8_t bytes[256 * 4];
  for (uint32_t i = 0; i < entries; ++i) StoreColour(bytes + i * 4, palette[i]);
  info.data = bytes;
  info.length = entries * 4;
  info.palettestart = 0;  // the surface moves it on; every stream starts at entry 0
  int result = surface->LdrOnPaletteStream(&info);
  info.data = nullptr;
  return result;
}

// Inflates all image data in one call, straight from the block when there is
// one IDAT; what the stream leaves unfilled is 0.
int PngDecoder::Inflate() {
  const uint32_t bytes = uint32_t(ImageBytes(header));
  const uint8_t* source = block + idatstart + 8;
  if (idatcount > 1) {
    gathered = static_cast<uint8_t*>(ClassVMemory::Alloc(uint32_t(idatbytes)));
    image = static_cast<uint8_t*>(ClassVMemory::Alloc(bytes));
    if (!gathered || !image) return VLDR_OUTOFMEMORY;
    reader.SeekSet(idatstart);
    uint8_t* out = gathered;
    for (uint32_t i = 0; i < idatcount; ++i) {
      uint32_t length = 0, type = 0;
      const uint32_t start = reader.Tell();
      reader.Read32(length);
      reader.Read32(type);
      const uint32_t held = length < reader.Remaining() ? length : reader.Remaining();
      std::memcpy(out, block + start + 8, held);
      out += held;
      reader.SeekSet(uint64_t(start) + 12 + length);
    }
    source = gathered;
  } else {
    image = static_cast<uint8_t*>(ClassVMemory::Alloc(bytes));
    if (!image) return VLDR_OUTOFMEMORY;
  }
  uint32_t produced = bytes;
  if (!ClassVMemory::UnCompressZLib(image, produced, source, uint32_t(idatbytes))) return VLDR_CORRUPT;
  ClassVMemory::Set(image + produced, 0, bytes - produced);
  ClassVMemory::DeAlloc(gathered);
  gathered = nullptr;
  return VLDR_LOADED;
}

int PngDecoder::AllocateRows() {
  const uint32_t rowbytes = uint32_t(RowBytes(header, header.width));
  zerorow = static_cast<uint8_t*>(ClassVMemory::Alloc(rowbytes));
  if (!zerorow) return VLDR_OUTOFMEMORY;
  ClassVMemory::Set(zerorow, 0, rowbytes);
  convert = ConversionFor(format);
  if (convert) {
    rowbuffer = static_cast<uint8_t*>(ClassVMemory::Alloc(header.width * pixelbytes));
    if (!rowbuffer) return VLDR_OUTOFMEMORY;
  }
  if (header.interlace) {
    // The seven passes cover every pixel once: no clearing needed.
    fullimage = static_cast<uint8_t*>(ClassVMemory::Alloc(header.width * header.height * pixelbytes));
    if (!fullimage) return VLDR_OUTOFMEMORY;
  }
  return VLDR_LOADED;
}

// Unfilters and converts the rows of one pass, which start at filtered (moved
// past them); the whole image is delivered directly, an Adam7 pass is
// scattered into the full image. A pass without pixels has no rows.
int PngDecoder::DecodePass(const PASS& pass, uint8_t*& filtered) {
  const uint32_t width = uint32_t(PassSize(header.width, pass.x0, pass.dx));
  const uint32_t rows = uint32_t(PassSize(header.height, pass.y0, pass.dy));
  if (width == 0 || rows == 0) return VLDR_LOADED;
  const uint32_t rowbytes = uint32_t(RowBytes(header, width)), distance = FilterDistance(header);
  const uint8_t* prior = zerorow;
  uint32_t unfiltered = 0;  // rows of the pass whose filter is undone
  for (uint32_t r = 0; r < rows; ++r, filtered += 1 + rowbytes) {
    uint8_t* row = filtered + 1;
    uint8_t* next = row + rowbytes + 1;
    if (r < unfiltered) {
      // done with the row before
    } else if (r + 1 < rows && filtered[0] == FILTER_PAETH && next[-1] == FILTER_PAETH &&
               UndoPaethPair(distance, row, next, prior, rowbytes)) {
      unfiltered = r + 2;
    } else if (!UndoFilter(filtered[0], distance, row, prior, rowbytes)) {
      return VLDR_CORRUPT;
    }
    prior = row;
    const uint8_t* pixels = row;
    if (convert) {
      convert(format, row, width, rowbuffer);
      pixels = rowbuffer;
    }
    const uint32_t y = pass.y0 + r * uint32_t(pass.dy);
    if (!header.interlace) {
      DeliverRow(y, pixels);
      continue;
    }
    uint8_t* target = fullimage + (size_t(y) * header.width + pass.x0) * pixelbytes;
    const size_t step = size_t(pass.dx) * pixelbytes;
    for (uint32_t x = 0; x < width; ++x, target += step, pixels += pixelbytes) std::memcpy(target, pixels, pixelbytes);
  }
  return VLDR_LOADED;
}

// The surface's answer for one row is not a reason to stop: it keeps what
// it could take.
void PngDecoder::DeliverRow(uint32_t y, const uint8_t* pixels) {
  info.data = pixels;
  info.length = header.width * pixelbytes;
  info.offset = int32_t(uint64_t(y) * header.width);
  surface->LdrOnPixelStream(&info);
}

// --- the writer --------------------------------------------------------------------

uint32_t WriterPixelBytes(uint8_t colortype) { return colortype == VPNG_COLOR_RGB ? 3 : colortype == VPNG_COLOR_RGBA ? 4 : 1; }

bool ValidImage(const VPNGIMAGE* image) {
  if (!image || !image->pixels) return false;
  if (image->width == 0 || image->height == 0 || image->width > MAXDIMENSION || image->height > MAXDIMENSION) return false;
  if (image->colortype != VPNG_COLOR_RGB && image->colortype != VPNG_COLOR_RGBA && image->colortype != VPNG_COLOR_PALETTE) {
    return false;
  }
  if (uint64_t(image->width) * WriterPixelBytes(image->colortype) > image->pitch) return false;
  if (image->colortype != VPNG_COLOR_PALETTE) return true;
  if (!image->palette || image->palettesize < 1 || image->palettesize > 256) return false;
  // Every index must name an entry, or no reader could show the pixel.
  for (uint32_t y = 0; y < image->height; ++y) {
    const uint8_t* row = image->pixels + size_t(y) * image->pitch;
    for (uint32_t x = 0; x < image->width; ++x) {
      if (row[x] >= image->palettesize) return false;
    }
  }
  return true;
}

// Filters a row with one filter type into out.
void ApplyFilter(uint8_t filter, const uint8_t* row, const uint8_t* prior, uint32_t n, uint32_t d, uint8_t* out) {
  for (uint32_t i = 0; i < n; ++i) {
    const int a = i >= d ? row[i - d] : 0, b = prior[i], c = i >= d ? prior[i - d] : 0;
    int predicted = 0;
    switch (filter) {
      case FILTER_SUB: predicted = a; break;
      case FILTER_UP: predicted = b; break;
      case FILTER_AVERAGE: predicted = (a + b) >> 1; break;
      case FILTER_PAETH: predicted = PaethPredictor(a, b, c); break;
      default: break;
    }
    out[i] = uint8_t(row[i] - predicted);
  }
}

// The heuristic for choosing a filter: the smallest sum of the filtered
// bytes taken as signed distances from zero.
uint64_t FilteredCost(const uint8_t* bytes, uint32_t n) {
  uint64_t sum = 0;
  for (uint32_t i = 0; i < n; ++i) sum += bytes[i] < 128 ? bytes[i] : 256 - bytes[i];
  return sum;
}

// Writes a row's filter byte and filtered bytes to out: the cheapest filter
// for colour images, none for palette images (whose indices do not predict).
void FilterRow(const VPNGIMAGE& image, const uint8_t* row, const uint8_t* prior, uint32_t n, uint8_t* trial, uint8_t* out) {
  const uint32_t d = WriterPixelBytes(image.colortype);
  out[0] = FILTER_NONE;
  std::memcpy(out + 1, row, n);
  if (image.colortype == VPNG_COLOR_PALETTE) return;
  uint64_t best = FilteredCost(out + 1, n);
  for (uint8_t filter = FILTER_SUB; filter < FILTER_COUNT; ++filter) {
    ApplyFilter(filter, row, prior, n, d, trial);
    const uint64_t cost = FilteredCost(trial, n);
    if (cost < best) {
      best = cost;
      out[0] = filter;
      std::memcpy(out + 1, trial, n);
    }
  }
}

void Put32(uint8_t* out, uint32_t value) {
  out[0] = uint8_t(value >> 24);
  out[1] = uint8_t(value >> 16);
  out[2] = uint8_t(value >> 8);
  out[3] = uint8_t(value);
}

// Appends a chunk (length, type, data, CRC over type and data) at out; the
// caller has made room for 12 + length bytes.
uint8_t* PutChunk(uint8_t* out, uint32_t type, const uint8_t* data, uint32_t length) {
  Put32(out, length);
  Put32(out + 4, type);
  if (length) std::memcpy(out + 8, data, length);
  Put32(out + 8 + length, CZLib::Crc32(0, out + 4, 4 + length));
  return out + 12 + length;
}

// Palette chunk bytes; alphas only up to the last entry that is not opaque.
uint32_t BuildPalette(const VPNGIMAGE& image, uint8_t* rgb, uint8_t* alpha) {
  uint32_t alphas = 0;
  for (uint32_t i = 0; i < image.palettesize; ++i) {
    const uint32_t c = image.palette[i];
    rgb[i * 3] = uint8_t(c);
    rgb[i * 3 + 1] = uint8_t(c >> 8);
    rgb[i * 3 + 2] = uint8_t(c >> 16);
    alpha[i] = uint8_t(c >> 24);
    if (alpha[i] != 255) alphas = i + 1;
  }
  return alphas;
}

// Filters every row into one block of image data; null when out of memory.
uint8_t* FilterImage(const VPNGIMAGE& image, uint32_t rowbytes, uint32_t total) {
  uint8_t* filtered = static_cast<uint8_t*>(ClassVMemory::Alloc(total));
  uint8_t* scratch = static_cast<uint8_t*>(ClassVMemory::Alloc(rowbytes * 2));
  if (!filtered || !scratch) {
    ClassVMemory::DeAlloc(filtered);
    ClassVMemory::DeAlloc(scratch);
    return nullptr;
  }
  uint8_t* zero = scratch + rowbytes;
  ClassVMemory::Set(zero, 0, rowbytes);
  const uint8_t* prior = zero;
  for (uint32_t y = 0; y < image.height; ++y) {
    const uint8_t* row = image.pixels + size_t(y) * image.pitch;
    FilterRow(image, row, prior, rowbytes, scratch, filtered + size_t(y) * (1 + rowbytes));
    prior = row;
  }
  ClassVMemory::DeAlloc(scratch);
  return filtered;
}

}  // namespace

int VLoader_PNG::Start(V2DSurfaceBase* surface, const void* block, uint32_t length, uint8_t displaytype, uint32_t flags) {
  LinkData(block, length);
  SetByteOrder(true);
  uint8_t signature[8] = {};
  if (!surface || length < 8 || !ReadStream(signature, 8) || std::memcmp(signature, SIGNATURE, 8) != 0) {
    return VLDR_NOTMYFORMAT;
  }
  PngDecoder decoder(*this, static_cast<const uint8_t*>(block), surface);
  const int result = decoder.WalkChunks();
  return result != VLDR_LOADED ? result : decoder.Decode(displaytype, flags);
}

int VLoader_PNG::Encode(const VPNGIMAGE* image, uint8_t** out, uint32_t* outsize) {
  if (!out || !outsize) return VPNG_BADIMAGE;
  *out = nullptr;
  *outsize = 0;
  if (!ValidImage(image)) return VPNG_BADIMAGE;
  const uint64_t rowbytes = uint64_t(image->width) * WriterPixelBytes(image->colortype);
  const uint64_t total = image->height * (1 + rowbytes);
  const uint64_t bound = compressBound(uLong(total));
  if (total > UINT32_MAX || bound > UINT32_MAX) return VPNG_NOMEMORY;

  uint8_t* filtered = FilterImage(*image, uint32_t(rowbytes), uint32_t(total));
  uint8_t* deflated = static_cast<uint8_t*>(ClassVMemory::Alloc(uint32_t(bound)));
  uint32_t deflatedsize = uint32_t(bound);
  int result = VPNG_WRITTEN;
  if (!filtered || !deflated || !ClassVMemory::CompressZLib(deflated, deflatedsize, filtered, uint32_t(total))) {
    result = VPNG_NOMEMORY;
  }
  ClassVMemory::DeAlloc(filtered);
  if (result != VPNG_WRITTEN) {
    ClassVMemory::DeAlloc(deflated);
    return result;
  }

  uint8_t rgb[768], alpha[256];
  const uint32_t entries = image->colortype == VPNG_COLOR_PALETTE ? image->palettesize : 0;
  const uint32_t alphas = entries ? BuildPalette(*image, rgb, alpha) : 0;
  const uint32_t idatchunks = deflatedsize / IDATCHUNKMAX + 1;
  const uint64_t size = 8 + (12 + 13) + (entries ? 12 + entries * 3 : 0) + (alphas ? 12 + alphas : 0) +
                        uint64_t(idatchunks) * 12 + deflatedsize + 12;
  uint8_t* png = size <= UINT32_MAX ? static_cast<uint8_t*>(ClassVMemory::Alloc(uint32_t(size))) : nullptr;
  if (!png) {
    ClassVMemory::DeAlloc(deflated);
    return VPNG_NOMEMORY;
  }
  uint8_t ihdr[13] = {};
  Put32(ihdr, image->width);
  Put32(ihdr + 4, image->height);
  ihdr[8] = 8;
  ihdr[9] = image->colortype;
  std::memcpy(png, SIGNATURE, 8);
  uint8_t* p = PutChunk(png + 8, CHUNK_IHDR, ihdr, 13);
  if (entries) p = PutChunk(p, CHUNK_PLTE, rgb, entries * 3);
  if (alphas) p = PutChunk(p, CHUNK_TRNS, alpha, alphas);
  for (uint32_t done = 0, i = 0; i < idatchunks; ++i) {
    const uint32_t part = deflatedsize - done < IDATCHUNKMAX ? deflatedsize - done : IDATCHUNKMAX;
    p = PutChunk(p, CHUNK_IDAT, deflated + done, part);
    done += part;
  }
  PutChunk(p, CHUNK_IEND, nullptr, 0);
  ClassVMemory::DeAlloc(deflated);
  *out = png;
  *outsize = uint32_t(size);
  return VPNG_WRITTEN;
}

int VLoader_PNG::WriteFile(const char16_t* path, const VPNGIMAGE* image) {
  if (!path) return VPNG_BADIMAGE;
  uint8_t* png = nullptr;
  uint32_t size = 0;
  const int result = Encode(image, &png, &size);
  if (result != VPNG_WRITTEN) return result;
  ClassVFile file;
  const bool written = file.New(path) && file.Write(png, size);
  file.Close();
  ClassVMemory::DeAlloc(png);
  return written ? VPNG_WRITTEN : VPNG_WRITEFAILED;
}
