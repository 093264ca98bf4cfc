// Writes the seed PNGs of fuzz_png into the folder given: one small image of
// every colour type and bit depth, whole and interlaced, some with tRNS and
// split image data, and one from the PNG writer.
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "resources/loaders/vldr_png.h"
#include "tests/resources/png_builder.h"
#include "util/vmod_memory.h"

namespace {

bool WriteSeed(const std::string& path, const uint8_t* bytes, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

// The extra chunks a colour type can carry: a palette, and a tRNS.
std::vector<std::pair<const char*, pngbuild::Bytes>> ChunksFor(uint8_t colortype, uint8_t depth) {
  switch (colortype) {
    case 0: return {{"tRNS", {0, 1}}};
    case 2: return {{"tRNS", {0, 1, 0, 2, 0, 3}}};
    case 3: return {{"PLTE", pngbuild::Bytes(3u << depth, 0x5A)}, {"tRNS", {0, 99, 200}}};
    default: return {};
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: seeds_png FOLDER\n");
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/";
  const uint8_t formats[][2] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
                                {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};
  bool ok = true;
  uint32_t seed = 1;
  for (const auto& f : formats) {
    for (int interlace = 0; interlace < 2; ++interlace, ++seed) {
      const pngbuild::SampleImage img = pngbuild::PatternImage(5 + seed % 4, 4 + seed % 3, f[1], f[0], seed);
      const pngbuild::Bytes png = pngbuild::BuildPng(img, interlace != 0, ChunksFor(f[0], f[1]), 1 + seed % 3, seed);
      const std::string name = "t" + std::to_string(f[0]) + "d" + std::to_string(f[1]) + (interlace ? "i" : "") + ".png";
      ok = WriteSeed(folder + name, png.data(), png.size()) && ok;
    }
  }
  uint8_t pixels[6 * 4 * 4];
  for (uint32_t i = 0; i < sizeof pixels; ++i) pixels[i] = uint8_t(i * 7);
  const VPNGIMAGE image = {6, 4, VPNG_COLOR_RGBA, pixels, 24, nullptr, 0};
  uint8_t* png = nullptr;
  uint32_t size = 0;
  ok = VLoader_PNG::Encode(&image, &png, &size) == VPNG_WRITTEN && WriteSeed(folder + "writer.png", png, size) && ok;
  ClassVMemory::DeAlloc(png);
  return ok ? 0 : 1;
}
