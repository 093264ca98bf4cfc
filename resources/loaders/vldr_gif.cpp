// vldr_gif.cpp - the GIF loader.
//
// The image's LZW data is decoded straight into one row buffer and each row
// is handed over as soon as it is complete, so no image-sized buffer exists:
// interlaced rows are simply delivered to their own screen rows. Rows and
// columns outside the logical screen are decoded but never delivered. Pixels
// the code stream does not reach are index 0.
#include "resources/loaders/vldr_gif.h"

#include <cstring>

#include "render/vsurf_2dbase.h"

namespace {

constexpr uint8_t INTRODUCER_EXTENSION = '!';
constexpr uint8_t INTRODUCER_IMAGE = ',';
constexpr uint8_t LABEL_GRAPHICCONTROL = 0xF9;
constexpr uint32_t OPAQUE = 0xFF000000u;
constexpr uint32_t TABLE_SIZE = 4096;  // codes up to 12 bits
constexpr uint32_t MAX_CODEBITS = 12;

struct GIFIMAGE {
  uint16_t left, top, width, height;
  bool interlaced;
};

// Screen rows of an image row: plain images row by row, interlaced ones by
// the four passes (every 8th from 0, every 8th from 4, every 4th from 2,
// every 2nd from 1).
class RowOrder {
 public:
  RowOrder(uint32_t height, bool interlaced) : height(height), interlaced(interlaced) {}
  uint32_t Next() {
    uint32_t row = current;
    if (!interlaced) {
      ++current;
      return row;
    }
    static const uint8_t START[4] = {0, 4, 2, 1}, STEP[4] = {8, 8, 4, 2};
    current += STEP[pass];
    while (current >= height && pass < 3) current = START[++pass];
    return row;
  }

 private:
  uint32_t height;
  bool interlaced;
  uint32_t current = 0;
  uint32_t pass = 0;
};

// The decoder's state: the string table and the bit reader over the
// sub-blocks.
struct GIFDECODE {
  uint16_t prefix[TABLE_SIZE];
  uint8_t suffix[TABLE_SIZE];
  uint8_t first[TABLE_SIZE];  // first byte of each code's string
  uint8_t stack[TABLE_SIZE];
  uint32_t blockleft = 0;     // bytes left in the current sub-block
  bool blocksended = false;   // the zero-length terminator was read
  uint32_t bitbuffer = 0;
  uint32_t bitcount = 0;
};

// Everything one load needs; the loader's byte reader is borrowed.
class GifLoad {
 public:
  GifLoad(ClassVLoaderBase& reader, V2DSurfaceBase* surface, VLDR_2DCALLBACKINFO& info)
      : in(reader), surface(surface), info(info) {}

  int Run();

 private:
  int ReadTable(uint8_t flags);
  int SendPalette(uint32_t start, uint32_t count);
  int SkipSubBlocks();
  int ReadGraphicControl();
  int ReadImage();
  int DecodeImage(const GIFIMAGE& image, uint32_t mincodesize, uint8_t* row);
  bool ReadCode(uint32_t bits, uint32_t& code);
  int Emit(uint32_t code, uint32_t clear, const GIFIMAGE& image, uint8_t* row);
  int FinishRow(const GIFIMAGE& image, const uint8_t* row);

  ClassVLoaderBase& in;
  V2DSurfaceBase* surface;
  VLDR_2DCALLBACKINFO& info;
  uint32_t palette[256] = {};
  uint16_t screenwidth = 0, screenheight = 0;
  bool transparent = false;
  uint8_t transparentindex = 0;
  GIFDECODE lzw;
  RowOrder* order = nullptr;
  uint32_t column = 0;     // next pixel of the current row
  uint32_t rowsdone = 0;   // image rows complete
};

int GifLoad::Run() {
  uint8_t flags = 0, background = 0, aspect = 0;
  if (!in.Read16(screenwidth) || !in.Read16(screenheight) || !in.Read8(flags) || !in.Read8(background) ||
      !in.Read8(aspect))
    return VLDR_CORRUPT;
  // A screen of more pixels than the codes of the whole block could ever
  // fill (at most 4096 pixels for every 3 bits) cannot be justified.
  const uint64_t pixels = uint64_t(screenwidth) * screenheight;
  if (pixels == 0 || pixels > uint64_t(INT32_MAX) || pixels > uint64_t(in.Remaining()) * 8 / 3 * TABLE_SIZE)
    return VLDR_CORRUPT;
  info.width = screenwidth;
  info.height = screenheight;
  info.indexed = 1;
  info.lastimage = 0;
  if (int result = surface->LdrOnCreate(&info)) return result;
  if (flags & 0x80) {
    if (int result = ReadTable(flags)) return result;
  }

  for (uint32_t image = 0; image <= info.lastimage;) {
    uint8_t introducer = 0;
    if (!in.Read8(introducer)) return image ? VLDR_LOADED : VLDR_GIF_NOIMAGE;
    if (introducer == 0) continue;  // stray padding between blocks
    if (introducer == INTRODUCER_EXTENSION) {
      if (int result = ReadGraphicControl()) return result;
    } else if (introducer == INTRODUCER_IMAGE) {
      if (int result = ReadImage()) return result;
      ++image;
    } else {
      return image ? VLDR_LOADED : VLDR_GIF_NOIMAGE;
    }
  }
  return VLDR_LOADED;
}

// Colour table of 2^(n + 1) RGB triples, n = flags & 7; opaque entries.
int GifLoad::ReadTable(uint8_t flags) {
  const uint32_t count = 2u << (flags & 7);
  uint8_t triples[256 * 3];
  if (in.Remaining() < count * 3 || !in.ReadStream(triples, count * 3)) return VLDR_CORRUPT;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* p = triples + i * 3;
    palette[i] = OPAQUE | p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16);
  }
  return SendPalette(0, count);
}

// Each palette stream names its own first entry: the surface advances it.
int GifLoad::SendPalette(uint32_t start, uint32_t count) {
  info.data = palette + start;
  info.length = count * 4;
  info.palettestart = start;
  return surface->LdrOnPaletteStream(&info);
}

int GifLoad::SkipSubBlocks() {
  for (;;) {
    uint8_t length = 0;
    if (!in.Read8(length)) return VLDR_CORRUPT;
    if (length == 0) return VLDR_LOADED;
    if (in.Remaining() < length) return VLDR_CORRUPT;
    in.SeekRelative(length);
  }
}

// Extension: the graphic-control one gives the transparent index; every
// other one is skipped by its sub-blocks.
int GifLoad::ReadGraphicControl() {
  uint8_t label = 0;
  if (!in.Read8(label)) return VLDR_CORRUPT;
  if (label == LABEL_GRAPHICCONTROL && in.Remaining() >= 5) {
    uint8_t length = 0, packed = 0, index = 0;
    uint16_t delay = 0;
    in.Read8(length);
    if (length >= 4) {
      in.Read8(packed);
      in.Read16(delay);
      in.Read8(index);
      transparent = (packed & 1) != 0;
      transparentindex = index;
      in.SeekRelative(int64_t(length) - 4);
    } else {
      in.SeekRelative(length);
    }
  }
  return SkipSubBlocks();
}

// Image descriptor, local table, transparency, then the rows.
int GifLoad::ReadImage() {
  GIFIMAGE image = {};
  uint8_t flags = 0, mincodesize = 0;
  if (!in.Read16(image.left) || !in.Read16(image.top) || !in.Read16(image.width) || !in.Read16(image.height) ||
      !in.Read8(flags))
    return VLDR_CORRUPT;
  if (image.width == 0 || image.height == 0) return VLDR_CORRUPT;
  image.interlaced = (flags & 0x40) != 0;
  if (flags & 0x80) {
    if (int result = ReadTable(flags)) return result;
  }
  if (!in.Read8(mincodesize)) return VLDR_CORRUPT;
  if (mincodesize < 2 || mincodesize > 8) return VLDR_CORRUPT;
  if (transparent) {
    info.alpha = 1;
    palette[transparentindex] &= 0xFFFFFF;
    if (int result = SendPalette(transparentindex, 1)) return result;
  }
  VLdrBuffer row(image.width);
  if (!row.Get()) return VLDR_OUTOFMEMORY;
  RowOrder rows(image.height, image.interlaced);
  order = &rows;
  int result = DecodeImage(image, mincodesize, row.Get());
  order = nullptr;
  return result;
}

// Next code of the given width, least significant bits first, across the
// sub-blocks. False when the data ends.
bool GifLoad::ReadCode(uint32_t bits, uint32_t& code) {
  while (lzw.bitcount < bits) {
    if (lzw.blockleft == 0) {
      uint8_t length = 0;
      if (lzw.blocksended || !in.Read8(length)) return false;
      if (length == 0) {
        lzw.blocksended = true;
        return false;
      }
      lzw.blockleft = length;
    }
    uint8_t byte = 0;
    if (!in.Read8(byte)) return false;
    --lzw.blockleft;
    lzw.bitbuffer |= uint32_t{byte} << lzw.bitcount;
    lzw.bitcount += 8;
  }
  code = lzw.bitbuffer & ((1u << bits) - 1);
  lzw.bitbuffer >>= bits;
  lzw.bitcount -= bits;
  return true;
}

int GifLoad::DecodeImage(const GIFIMAGE& image, uint32_t mincodesize, uint8_t* row) {
  const uint32_t clear = 1u << mincodesize, end = clear + 1;
  lzw.bitcount = 0;
  lzw.bitbuffer = 0;
  lzw.blockleft = 0;
  lzw.blocksended = false;
  for (uint32_t i = 0; i < clear; ++i) {
    lzw.suffix[i] = uint8_t(i);
    lzw.first[i] = uint8_t(i);
  }
  constexpr uint32_t NONE = TABLE_SIZE;
  uint32_t codebits = mincodesize + 1, next = clear + 2, previous = NONE, code = 0;
  column = 0;
  rowsdone = 0;
  while (rowsdone < image.height) {
    if (!ReadCode(codebits, code)) {
      // Data ended early: a proper terminator leaves the rest index 0; a
      // block cut off by the end of the file is corrupt.
      if (!lzw.blocksended) return VLDR_CORRUPT;
      break;
    }
    if (code == clear) {
      codebits = mincodesize + 1;
      next = clear + 2;
      previous = NONE;
      continue;
    }
    if (code == end) break;
    if (code > next || (previous == NONE && code > clear)) return VLDR_CORRUPT;
    if (previous != NONE && next < TABLE_SIZE) {
      // The new entry is the previous string plus the first byte of this
      // one; a code equal to the next free one is that entry itself.
      lzw.prefix[next] = uint16_t(previous);
      lzw.suffix[next] = code == next ? lzw.first[previous] : lzw.first[code];
      lzw.first[next] = lzw.first[previous];
      ++next;
      if (next == (1u << codebits) && codebits < MAX_CODEBITS) ++codebits;
    }
    // A full table takes no entry and keeps 12-bit codes until a clear.
    if (int result = Emit(code, clear, image, row)) return result;
    previous = code;
  }
  // Rows the codes never reached are index 0.
  while (rowsdone < image.height) {
    std::memset(row + column, 0, image.width - column);
    column = image.width;
    if (int result = FinishRow(image, row)) return result;
  }
  return VLDR_LOADED;
}

// Writes one code's string into the rows, handing over each completed row;
// the string is gathered backwards along its prefixes (each prefix is an
// older code, so the walk ends at a root within the table's size).
int GifLoad::Emit(uint32_t code, uint32_t clear, const GIFIMAGE& image, uint8_t* row) {
  uint32_t depth = 0, c = code;
  for (; c >= clear; c = lzw.prefix[c]) lzw.stack[depth++] = lzw.suffix[c];
  lzw.stack[depth++] = uint8_t(c);
  while (depth) {
    row[column++] = lzw.stack[--depth];
    if (column < image.width) continue;
    if (int result = FinishRow(image, row)) return result;
    if (rowsdone == image.height) return VLDR_LOADED;
  }
  return VLDR_LOADED;
}

int GifLoad::FinishRow(const GIFIMAGE& image, const uint8_t* row) {
  const uint32_t screenrow = uint32_t(image.top) + order->Next();
  column = 0;
  ++rowsdone;
  if (screenrow >= screenheight || image.left >= screenwidth) return VLDR_LOADED;
  const uint32_t visible = image.width < screenwidth - image.left ? image.width : screenwidth - image.left;
  info.data = row;
  info.length = visible;
  info.offset = int32_t(image.left + uint32_t(screenwidth) * screenrow);
  return surface->LdrOnPixelStream(&info);
}

}  // namespace

int VLoader_GIF::Start(V2DSurfaceBase* surface, const void* block, uint32_t length, uint8_t displaytype,
                       uint32_t flags) {
  LinkData(block, length);
  SetByteOrder(false);
  uint8_t signature[6] = {};
  if (!surface || Remaining() < 6 || !ReadStream(signature, 6)) return VLDR_NOTMYFORMAT;
  if (std::memcmp(signature, "GIF", 3) != 0 || signature[3] != '8' || signature[4] <= '6') return VLDR_NOTMYFORMAT;
  VLDR_2DCALLBACKINFO info = {};
  info.displaytype = displaytype;
  info.flags = flags;
  GifLoad load(*this, surface, info);
  return load.Run();
}
