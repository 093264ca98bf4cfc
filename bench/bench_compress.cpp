// bench_compress.cpp - throughput of the memory module's own dictionary coder
// against zlib (compress2 at Z_DEFAULT_COMPRESSION, uncompress) on the same
// 8 MB of mixed data: text, 8-bit and 16-bit sprite sheets (palette colours,
// colour-key runs, outlines, a little shading) and random bytes.
//
// The data is coded in 64 KB chunks, as the package layer codes entries of
// that order, and also as one 8 MB block. A chunk the own coder refuses (it
// would not shrink) counts as stored raw, as the package layer stores it; the
// decoders run over the chunks the own coder accepted. Reported: MB/s of
// uncompressed data (bytes_per_second) and the ratio of stored to original
// bytes.
#include <cstdint>
#include <cstring>
#include <vector>

#include <benchmark/benchmark.h>
#include <zlib.h>

#include "tests/support/xorshift.h"
#include "util/vmod_memory.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kDataSize = 8u << 20;
constexpr uint32_t kChunkSize = 64u << 10;
constexpr uint32_t kSegmentSize = 256u << 10;  // data of one kind in a row

using Rng = XorShift32;

void AppendText(Bytes& out, uint32_t size, Rng& rng) {
  static const char* const kWords[] = {"level", "bonus", "score", "object", "frozen", "treasure", "the", "of",
                                       "a", "row", "column", "link", "three", "hint", "moves", "progress",
                                       "surface", "blit", "palette", "sound", "music", "timer", "display", "and"};
  const size_t end = out.size() + size;
  while (out.size() < end) {
    const char* word = kWords[rng.Below(sizeof kWords / sizeof kWords[0])];
    out.insert(out.end(), word, word + std::strlen(word));
    const uint32_t r = rng.Below(12);
    out.push_back(r == 0 ? '\n' : r == 1 ? ',' : ' ');
  }
  out.resize(end);
}

// A sheet of 32 x 32 cells on a colour-key background, each cell a shaded
// disc or box with a dark outline; bytesPerPixel 1 (palette index) or 2
// (RGB565 of the palette).
void AppendSprites(Bytes& out, uint32_t size, uint32_t bytesPerPixel, Rng& rng) {
  const uint32_t width = 256, height = size / (width * bytesPerPixel);
  const size_t start = out.size();
  out.resize(start + size, 0);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const int cx = int(x % 32) - 16, cy = int(y % 32) - 16;
      const uint32_t cell = (y / 32) * 8 + x / 32;
      const bool disc = cell % 2 == 0;
      const int extent = disc ? cx * cx + cy * cy : (cx * cx > cy * cy ? cx * cx : cy * cy);
      const int radius = disc ? 13 * 13 : 12 * 12;
      uint8_t index = 0;  // colour key
      if (extent <= radius) {
        const bool outline = extent > (disc ? 12 * 12 : 11 * 11);
        index = outline ? 1 : uint8_t(2 + cell % 14 + (cy < -4 ? 16 : 0) + (rng.Below(16) == 0 ? 32 : 0));
      }
      const size_t at = start + (size_t(y) * width + x) * bytesPerPixel;
      if (bytesPerPixel == 1) {
        out[at] = index;
      } else {
        const uint16_t pixel = index == 0 ? 0xF81F : uint16_t(index * 0x1863u);
        out[at] = uint8_t(pixel);
        out[at + 1] = uint8_t(pixel >> 8);
      }
    }
  }
}

void AppendRandom(Bytes& out, uint32_t size, Rng& rng) {
  for (uint32_t i = 0; i < size; ++i) out.push_back(uint8_t(rng.Next() >> 24));
}

// Segments in the order text, 8-bit sprites, text, 16-bit sprites, text,
// 8-bit sprites, random, random: 3/8 text, 3/8 pictures, 2/8 random.
const Bytes& MixedData() {
  static const Bytes data = [] {
    Rng rng{0x1234567u};
    Bytes out;
    out.reserve(kDataSize);
    for (uint32_t segment = 0; out.size() < kDataSize; ++segment) {
      switch (segment % 8) {
        case 0: case 2: case 4: AppendText(out, kSegmentSize, rng); break;
        case 1: case 5: AppendSprites(out, kSegmentSize, 1, rng); break;
        case 3: AppendSprites(out, kSegmentSize, 2, rng); break;
        default: AppendRandom(out, kSegmentSize, rng); break;
      }
    }
    return out;
  }();
  return data;
}

uint32_t PackageCapacity(uint32_t length) { return length + length / 100 + 12; }

struct Chunk {
  uint32_t offset;
  uint32_t size;
};

std::vector<Chunk> Chunks(uint32_t chunkSize) {
  std::vector<Chunk> chunks;
  for (uint32_t offset = 0; offset < kDataSize; offset += chunkSize) chunks.push_back({offset, chunkSize});
  return chunks;
}

// The own coder's output for every chunk it accepts.
struct Packed {
  Chunk chunk;
  Bytes block;
};

std::vector<Packed> PackOwn(uint32_t chunkSize) {
  ClassVMemory memory;
  std::vector<Packed> packed;
  for (const Chunk& chunk : Chunks(chunkSize)) {
    Bytes block(PackageCapacity(chunk.size));
    uint32_t size = uint32_t(block.size());
    if (memory.Compress(block.data(), size, MixedData().data() + chunk.offset, chunk.size)) {
      block.resize(size);
      packed.push_back({chunk, block});
    }
  }
  return packed;
}

void OwnCompress(benchmark::State& state) {
  const uint32_t chunkSize = uint32_t(state.range(0));
  const std::vector<Chunk> chunks = Chunks(chunkSize);
  Bytes block(PackageCapacity(chunkSize));
  ClassVMemory memory;
  uint64_t stored = 0;
  for (auto _ : state) {
    stored = 0;
    for (const Chunk& chunk : chunks) {
      uint32_t size = uint32_t(block.size());
      const int ok = memory.Compress(block.data(), size, MixedData().data() + chunk.offset, chunk.size);
      stored += ok ? size : chunk.size;
    }
    benchmark::DoNotOptimize(block.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kDataSize);
  state.counters["ratio"] = double(stored) / kDataSize;
}

void OwnUnCompress(benchmark::State& state) {
  const std::vector<Packed> packed = PackOwn(uint32_t(state.range(0)));
  Bytes out(state.range(0));
  ClassVMemory memory;
  uint64_t bytes = 0;
  for (const Packed& p : packed) bytes += p.chunk.size;
  for (auto _ : state) {
    for (const Packed& p : packed) {
      uint32_t size = uint32_t(out.size());
      if (!memory.UnCompress(out.data(), size, p.block.data(), uint32_t(p.block.size()))) {
        state.SkipWithError("own block did not decode");
        return;
      }
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
  state.counters["chunks"] = double(packed.size());
}

void ZLibCompress(benchmark::State& state) {
  const uint32_t chunkSize = uint32_t(state.range(0));
  const std::vector<Chunk> chunks = Chunks(chunkSize);
  Bytes block(compressBound(chunkSize));
  uint64_t stored = 0;
  for (auto _ : state) {
    stored = 0;
    for (const Chunk& chunk : chunks) {
      uLongf size = uLongf(block.size());
      compress2(block.data(), &size, MixedData().data() + chunk.offset, chunk.size, Z_DEFAULT_COMPRESSION);
      stored += size < chunk.size ? size : chunk.size;
    }
    benchmark::DoNotOptimize(block.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kDataSize);
  state.counters["ratio"] = double(stored) / kDataSize;
}

// zlib inflates the same chunks the own decoder does.
void ZLibUnCompress(benchmark::State& state) {
  const uint32_t chunkSize = uint32_t(state.range(0));
  std::vector<Bytes> blocks;
  uint64_t bytes = 0;
  for (const Packed& p : PackOwn(chunkSize)) {
    Bytes block(compressBound(p.chunk.size));
    uLongf size = uLongf(block.size());
    compress2(block.data(), &size, MixedData().data() + p.chunk.offset, p.chunk.size, Z_DEFAULT_COMPRESSION);
    block.resize(size);
    blocks.push_back(block);
    bytes += p.chunk.size;
  }
  Bytes out(chunkSize);
  for (auto _ : state) {
    for (const Bytes& block : blocks) {
      uLongf size = uLongf(out.size());
      if (uncompress(out.data(), &size, block.data(), uLong(block.size())) != Z_OK) {
        state.SkipWithError("zlib block did not inflate");
        return;
      }
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

// Argument: chunk size (64 KB, or the whole 8 MB as one block).
BENCHMARK(OwnCompress)->Arg(kChunkSize)->Arg(kDataSize)->Unit(benchmark::kMillisecond);
BENCHMARK(ZLibCompress)->Arg(kChunkSize)->Arg(kDataSize)->Unit(benchmark::kMillisecond);
BENCHMARK(OwnUnCompress)->Arg(kChunkSize)->Arg(kDataSize)->Unit(benchmark::kMillisecond);
BENCHMARK(ZLibUnCompress)->Arg(kChunkSize)->Arg(kDataSize)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
