// image_fixtures.h - builders of small BMP, GIF and TGA files for the loader
// tests, written byte by byte from the formats' own layouts. The pixels a
// test expects are the ones it hands to the builder.
#pragma once

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "tools/common/byte_writer.h"

namespace fixtures {

using bytewriter::Bytes;
using bytewriter::Put16;
using bytewriter::Put32;
using bytewriter::Put8;
using bytewriter::Poke32;

// Interface colour (red bits 0-7) from its components, opaque.
constexpr uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return 0xFF000000u | r | (g << 8) | (b << 16); }

// --- BMP ------------------------------------------------------------------------

struct BMPFIXTURE {
  uint16_t bitcount = 24;
  int32_t width = 0, height = 0;  // height > 0: stored bottom row first
  uint32_t headersize = 40;       // information header length; the extra bytes are zeros
  std::vector<uint32_t> palette;  // interface colours; written as blue, green, red, 0
  std::vector<uint32_t> pixels;   // top row first: indices (1/4/8 bits) or interface colours (24 bits)
};

inline uint32_t BmpStride(uint16_t bits, int32_t width) { return (uint32_t(bits) * uint32_t(width) + 31) / 32 * 4; }

inline Bytes MakeBmp(const BMPFIXTURE& s) {
  const uint32_t stride = BmpStride(s.bitcount, s.width);
  const uint32_t entries = s.bitcount == 24 ? 0 : 1u << s.bitcount;
  const uint32_t offset = 14 + s.headersize + entries * 4;
  Bytes out;
  Put8(out, 'B');
  Put8(out, 'M');
  Put32(out, offset + stride * uint32_t(s.height));
  Put32(out, 0);
  Put32(out, offset);
  Put32(out, s.headersize);
  Put32(out, uint32_t(s.width));
  Put32(out, uint32_t(s.height));
  Put16(out, 1);
  Put16(out, s.bitcount);
  for (uint32_t i = 0; i < 6; ++i) Put32(out, i == 1 ? stride * uint32_t(s.height) : 0);
  out.resize(14 + s.headersize, 0);
  for (uint32_t i = 0; i < entries; ++i) {
    uint32_t c = i < s.palette.size() ? s.palette[i] : 0;
    Put8(out, c >> 16);
    Put8(out, c >> 8);
    Put8(out, c);
    Put8(out, 0);
  }
  for (int32_t row = s.height - 1; row >= 0; --row) {
    Bytes line(stride, 0);
    for (int32_t x = 0; x < s.width; ++x) {
      uint32_t v = s.pixels[size_t(row) * uint32_t(s.width) + uint32_t(x)];
      if (s.bitcount == 24) {
        line[size_t(x) * 3] = uint8_t(v >> 16);
        line[size_t(x) * 3 + 1] = uint8_t(v >> 8);
        line[size_t(x) * 3 + 2] = uint8_t(v);
      } else {
        uint32_t bit = uint32_t(x) * s.bitcount;
        line[bit / 8] |= uint8_t(v << (8 - s.bitcount - bit % 8));
      }
    }
    out.insert(out.end(), line.begin(), line.end());
  }
  return out;
}

// --- GIF ------------------------------------------------------------------------

// Variable-length LZW as GIF packs it: codes least significant bit first,
// a clear code at the start, the end code last. A full table is cleared, or
// with clearwhenfull false kept as it is (the format allows both).
inline Bytes LzwEncode(const std::vector<uint8_t>& indices, uint32_t mincodesize, bool clearwhenfull = true) {
  const uint32_t clear = 1u << mincodesize, end = clear + 1;
  Bytes out;
  uint32_t bitbuffer = 0, bitcount = 0, codebits = mincodesize + 1, next = clear + 2;
  std::map<std::pair<uint32_t, uint8_t>, uint32_t> table;
  auto emit = [&](uint32_t code) {
    bitbuffer |= code << bitcount;
    bitcount += codebits;
    while (bitcount >= 8) {
      out.push_back(uint8_t(bitbuffer));
      bitbuffer >>= 8;
      bitcount -= 8;
    }
  };
  emit(clear);
  uint32_t current = indices.empty() ? 0 : indices[0];
  for (size_t i = 1; i < indices.size(); ++i) {
    auto key = std::make_pair(current, indices[i]);
    auto found = table.find(key);
    if (found != table.end()) {
      current = found->second;
      continue;
    }
    emit(current);
    if (next == 4096 && !clearwhenfull) {
      // The table stays full: no entry is added.
    } else if (next == 4096) {
      emit(clear);
      table.clear();
      codebits = mincodesize + 1;
      next = clear + 2;
    } else {
      table[key] = next++;
      // The reader adds each entry one code later, so it widens one code later.
      if (next > (1u << codebits) && codebits < 12) ++codebits;
    }
    current = indices[i];
  }
  if (!indices.empty()) emit(current);
  emit(end);
  if (bitcount) out.push_back(uint8_t(bitbuffer));
  return out;
}

// Data in sub-blocks of at most 255 bytes and the terminator.
inline void PutSubBlocks(Bytes& out, const Bytes& data) {
  for (size_t at = 0; at < data.size(); at += 255) {
    size_t n = data.size() - at < 255 ? data.size() - at : 255;
    Put8(out, uint32_t(n));
    out.insert(out.end(), data.begin() + long(at), data.begin() + long(at + n));
  }
  Put8(out, 0);
}

struct GIFIMAGEFIXTURE {
  uint16_t left = 0, top = 0, width = 0, height = 0;
  bool interlaced = false;
  std::vector<uint32_t> localtable;  // empty: none; else 2^k RGB colours
  int transparent = -1;              // graphic-control transparent index, -1: no extension
  std::vector<uint8_t> pixels;       // display order, top row first
  uint32_t mincodesize = 2;
  bool clearwhenfull = true;
};

// Size field of a colour table of the given entries (2^(n + 1)).
inline uint32_t TableBits(size_t entries) {
  uint32_t n = 0;
  while ((2u << n) < entries) ++n;
  return n;
}

inline void PutTable(Bytes& out, const std::vector<uint32_t>& table) {
  for (uint32_t c : table) {
    Put8(out, c);
    Put8(out, c >> 8);
    Put8(out, c >> 16);
  }
}

// Image rows in the order they are stored: interlaced images by pass.
inline std::vector<uint8_t> StoredOrder(const GIFIMAGEFIXTURE& im) {
  if (!im.interlaced) return im.pixels;
  std::vector<uint8_t> out;
  static const uint32_t START[4] = {0, 4, 2, 1}, STEP[4] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass)
    for (uint32_t r = START[pass]; r < im.height; r += STEP[pass])
      out.insert(out.end(), im.pixels.begin() + long(r * im.width), im.pixels.begin() + long((r + 1) * im.width));
  return out;
}

inline Bytes MakeGif(const char* version, uint16_t width, uint16_t height, const std::vector<uint32_t>& globaltable,
                     const std::vector<GIFIMAGEFIXTURE>& images) {
  Bytes out = {'G', 'I', 'F', uint8_t(version[0]), uint8_t(version[1]), uint8_t(version[2])};
  Put16(out, width);
  Put16(out, height);
  Put8(out, globaltable.empty() ? 0 : 0x80 | TableBits(globaltable.size()));
  Put8(out, 0);
  Put8(out, 0);
  PutTable(out, globaltable);
  for (const GIFIMAGEFIXTURE& im : images) {
    if (im.transparent >= 0) {
      const Bytes control = {0xF9, 4, 1, 0, 0, uint8_t(im.transparent), 0};
      Put8(out, '!');
      out.insert(out.end(), control.begin(), control.end());
    }
    Put8(out, ',');
    Put16(out, im.left);
    Put16(out, im.top);
    Put16(out, im.width);
    Put16(out, im.height);
    uint32_t flags = (im.interlaced ? 0x40 : 0) | (im.localtable.empty() ? 0 : 0x80 | TableBits(im.localtable.size()));
    Put8(out, flags);
    PutTable(out, im.localtable);
    Put8(out, im.mincodesize);
    PutSubBlocks(out, LzwEncode(StoredOrder(im), im.mincodesize, im.clearwhenfull));
  }
  Put8(out, ';');
  return out;
}

// --- TGA ------------------------------------------------------------------------

struct TGAFIXTURE {
  uint8_t imagetype = 2;
  uint8_t depth = 24;
  uint8_t descriptor = 0;          // bit 5: top row stored first
  uint16_t width = 0, height = 0;
  uint16_t mapfirst = 0;
  uint8_t mapentrysize = 24;
  std::vector<uint32_t> map;       // interface colours with alpha (type 1)
  Bytes id;                        // image ID field
  std::vector<uint32_t> pixels;    // display order, top row first: indices, grey levels, interface colours or raw 16-bit words
};

inline Bytes MakeTga(const TGAFIXTURE& s) {
  Bytes out;
  Put8(out, uint32_t(s.id.size()));
  Put8(out, s.map.empty() ? 0 : 1);
  Put8(out, s.imagetype);
  Put16(out, s.mapfirst);
  Put16(out, uint32_t(s.map.size()));
  Put8(out, s.map.empty() ? 0 : s.mapentrysize);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, s.width);
  Put16(out, s.height);
  Put8(out, s.depth);
  Put8(out, s.descriptor);
  out.insert(out.end(), s.id.begin(), s.id.end());
  for (uint32_t c : s.map) {
    Put8(out, c >> 16);
    Put8(out, c >> 8);
    Put8(out, c);
    if (s.mapentrysize == 32) Put8(out, c >> 24);
  }
  const bool topfirst = (s.descriptor & 0x20) != 0;
  for (uint32_t i = 0; i < s.height; ++i) {
    uint32_t row = topfirst ? i : s.height - 1 - i;
    for (uint32_t x = 0; x < s.width; ++x) {
      uint32_t v = s.pixels[size_t(row) * s.width + x];
      switch (s.depth) {
        case 8: Put8(out, v); break;
        case 16: Put16(out, v); break;
        default:
          Put8(out, v >> 16);
          Put8(out, v >> 8);
          Put8(out, v);
          if (s.depth == 32) Put8(out, v >> 24);
      }
    }
  }
  return out;
}

}  // namespace fixtures
