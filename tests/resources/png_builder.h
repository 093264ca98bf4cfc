// png_builder.h - makes PNG files byte by byte for the PNG loader's checks
// and fuzz seeds: chunks with their CRCs, images of samples at any colour
// type and bit depth, packed, filtered with a chosen filter per row, laid out
// whole or in the seven Adam7 passes, deflated by zlib and split over any
// number of IDAT chunks.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include <zlib.h>

namespace pngbuild {

using Bytes = std::vector<uint8_t>;

inline void PutBe32(Bytes& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
}

inline Bytes Signature() { return {137, 80, 78, 71, 13, 10, 26, 10}; }

// Appends length, type, data and the CRC of type and data.
inline void AppendChunk(Bytes& png, const char* type, const Bytes& data) {
  PutBe32(png, uint32_t(data.size()));
  const size_t start = png.size();
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), data.begin(), data.end());
  PutBe32(png, uint32_t(crc32(0, png.data() + start, uInt(png.size() - start))));
}

inline Bytes Ihdr(uint32_t width, uint32_t height, uint8_t depth, uint8_t colortype, uint8_t interlace = 0,
                  uint8_t compression = 0, uint8_t filter = 0) {
  Bytes data;
  PutBe32(data, width);
  PutBe32(data, height);
  data.insert(data.end(), {depth, colortype, compression, filter, interlace});
  return data;
}

inline Bytes Deflate(const Bytes& raw) {
  uLongf size = compressBound(uLong(raw.size()));
  Bytes out(size);
  compress2(out.data(), &size, raw.data(), uLong(raw.size()), 9);
  out.resize(size);
  return out;
}

inline uint32_t Channels(uint8_t colortype) {
  static const uint8_t channels[7] = {1, 0, 3, 1, 2, 0, 4};
  return colortype < 7 ? channels[colortype] : 0;
}

// An image as samples at its bit depth, channel by channel in file order.
struct SampleImage {
  uint32_t width = 0, height = 0;
  uint8_t depth = 8, colortype = 0;
  std::vector<uint16_t> samples;
  uint16_t At(uint32_t x, uint32_t y, uint32_t c) const {
    return samples[(size_t(y) * width + x) * Channels(colortype) + c];
  }
};

// The pixels of one pass row (x from x0 in steps of dx) packed as the file
// holds them: 16-bit samples big-endian, smaller ones most significant first.
inline Bytes PackRow(const SampleImage& img, uint32_t y, uint32_t x0, uint32_t dx) {
  Bytes row;
  uint32_t bits = 0, acc = 0;
  for (uint32_t x = x0; x < img.width; x += dx) {
    for (uint32_t c = 0; c < Channels(img.colortype); ++c) {
      const uint16_t s = img.At(x, y, c);
      if (img.depth == 16) {
        row.push_back(uint8_t(s >> 8));
        row.push_back(uint8_t(s));
      } else if (img.depth == 8) {
        row.push_back(uint8_t(s));
      } else {
        acc = (acc << img.depth) | s;
        bits += img.depth;
        if (bits == 8) {
          row.push_back(uint8_t(acc));
          acc = bits = 0;
        }
      }
    }
  }
  if (bits) row.push_back(uint8_t(acc << (8 - bits)));
  return row;
}

inline int Predict(uint8_t filter, int a, int b, int c) {
  switch (filter) {
    case 1: return a;
    case 2: return b;
    case 3: return (a + b) / 2;
    case 4: {
      const int p = a + b - c, pa = p > a ? p - a : a - p, pb = p > b ? p - b : b - p, pc = p > c ? p - c : c - p;
      return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
    }
    default: return 0;
  }
}

// Appends the filter byte and the row filtered against the row above.
inline void AppendFiltered(Bytes& raw, uint8_t filter, const Bytes& row, const Bytes& prior, uint32_t distance) {
  raw.push_back(filter);
  for (size_t i = 0; i < row.size(); ++i) {
    const int a = i >= distance ? row[i - distance] : 0, b = prior.empty() ? 0 : prior[i];
    const int c = i >= distance && !prior.empty() ? prior[i - distance] : 0;
    raw.push_back(uint8_t(row[i] - Predict(filter, a, b, c)));
  }
}

// The filtered image data; row k (counted over all passes) uses filter
// (firstfilter + k * filterstep) % 5: with a step of 1 every image exercises
// all five, with 0 every row has the same one.
inline Bytes FilteredData(const SampleImage& img, bool interlace, uint32_t firstfilter = 0, uint32_t filterstep = 1) {
  static const uint32_t adam7[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                       {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
  static const uint32_t whole[1][4] = {{0, 0, 1, 1}};
  const uint32_t bits = img.depth * Channels(img.colortype), distance = bits >= 8 ? bits / 8 : 1;
  Bytes raw;
  uint32_t k = firstfilter;
  for (uint32_t p = 0; p < (interlace ? 7u : 1u); ++p) {
    const uint32_t* pass = interlace ? adam7[p] : whole[0];
    if (pass[0] >= img.width) continue;  // a pass without columns has no rows either
    Bytes prior;
    for (uint32_t y = pass[1]; y < img.height; y += pass[3]) {
      Bytes row = PackRow(img, y, pass[0], pass[2]);
      AppendFiltered(raw, uint8_t(k % 5), row, prior, distance);
      k += filterstep;
      prior = row;
    }
  }
  return raw;
}

// A whole file: IHDR, the chunks given (PLTE, tRNS, ...), the deflated data
// over idatparts IDAT chunks, IEND.
inline Bytes BuildPng(const SampleImage& img, bool interlace, const std::vector<std::pair<const char*, Bytes>>& chunks = {},
                      uint32_t idatparts = 1, uint32_t firstfilter = 0, uint32_t filterstep = 1) {
  Bytes png = Signature();
  AppendChunk(png, "IHDR", Ihdr(img.width, img.height, img.depth, img.colortype, interlace ? 1 : 0));
  for (const auto& chunk : chunks) AppendChunk(png, chunk.first, chunk.second);
  const Bytes data = Deflate(FilteredData(img, interlace, firstfilter, filterstep));
  const size_t part = data.size() / idatparts + 1;
  for (size_t at = 0; at < data.size(); at += part) {
    AppendChunk(png, "IDAT", Bytes(data.begin() + at, data.begin() + (at + part < data.size() ? at + part : data.size())));
  }
  AppendChunk(png, "IEND", {});
  return png;
}

// Samples that reach every value of the depth, with high and low bytes of
// 16-bit samples different.
inline SampleImage PatternImage(uint32_t width, uint32_t height, uint8_t depth, uint8_t colortype, uint32_t seed = 1) {
  SampleImage img;
  img.width = width;
  img.height = height;
  img.depth = depth;
  img.colortype = colortype;
  const uint32_t limit = depth == 16 ? 0x10000 : 1u << depth;
  uint32_t state = seed * 2654435761u + 1;
  img.samples.resize(size_t(width) * height * Channels(colortype));
  for (uint16_t& s : img.samples) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    s = uint16_t(state % limit);
  }
  return img;
}

}  // namespace pngbuild
