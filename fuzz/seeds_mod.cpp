// Writes the seed modules of fuzz_mod into the folder given: small modules
// made by the module writer, on 4 and 8 tracks, with looped and one-shot
// samples, notes on every track and each effect family (arpeggio, slides,
// tone portamento, vibrato, offsets, volume, jumps, breaks, loops, delays,
// cuts, speed and tempo). They are made by the build rather than kept in
// the tree.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/common/mod_writer.h"

namespace {

using modwriter::CELL;

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

modwriter::SAMPLE Wave(unsigned bytes, bool looped, uint8_t finetune) {
  modwriter::SAMPLE s;
  for (unsigned i = 0; i < bytes; ++i) s.data.push_back(static_cast<int8_t>((i * 37) % 200 - 100));
  s.finetune = finetune;
  s.volume = 48;
  s.repeatstart = looped ? 2 : 0;
  s.repeatlength = static_cast<uint16_t>(looped ? bytes / 2 - 2 : 1);
  return s;
}

// Effects by family, one command and parameter each.
const CELL kEffects[] = {{0, 0, 0x0, 0x37}, {0, 0, 0x1, 0x08}, {0, 0, 0x2, 0x08}, {0, 0, 0x3, 0x20},
                         {0, 0, 0x4, 0x46}, {0, 0, 0x5, 0x02}, {0, 0, 0x6, 0x20}, {0, 0, 0x9, 0x01},
                         {0, 0, 0xA, 0x0F}, {0, 0, 0xC, 0x50}, {0, 0, 0xE, 0x61}, {0, 0, 0xE, 0xA4},
                         {0, 0, 0xE, 0xC2}, {0, 0, 0xE, 0xD2}, {0, 0, 0xE, 0xE1}, {0, 0, 0xF, 0x03},
                         {0, 0, 0xF, 0x7D}, {0, 0, 0xD, 0x08}, {0, 0, 0xB, 0x01}};

std::vector<uint8_t> Module(unsigned tracks, unsigned patterns, uint32_t seed) {
  modwriter::MODULE m;
  m.title = "seed";
  m.tracks = tracks;
  m.orders.clear();
  for (unsigned p = 0; p < patterns; ++p) m.orders.push_back(static_cast<uint8_t>(p));
  m.restart = 0;
  m.samples = {Wave(64, true, 0), Wave(200, false, 3), Wave(32, true, 12)};
  uint32_t x = seed;
  for (unsigned p = 0; p < patterns; ++p) {
    for (unsigned row = 0; row < modwriter::kRows; row += 2) {
      for (unsigned t = 0; t < tracks; ++t) {
        x = x * 1103515245u + 12345u;
        CELL cell = kEffects[(x >> 16) % (sizeof kEffects / sizeof kEffects[0])];
        cell.period = modwriter::kNotePeriods[(x >> 8) % 36];
        cell.instrument = static_cast<uint8_t>(1 + (x >> 4) % 3);
        // Jumps only near the ends of patterns, so every row gets played.
        if ((cell.command == 0xB || cell.command == 0xD) && row < 56) cell.command = 0;
        m.at(p, row, t) = cell;
      }
    }
  }
  return modwriter::Write(m);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: seeds_mod FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  const bool ok = WriteFile(folder + "/four_tracks.mod", Module(4, 2, 1)) &&
                  WriteFile(folder + "/eight_tracks.mod", Module(8, 1, 2)) &&
                  WriteFile(folder + "/two_patterns_alt.mod", Module(4, 2, 3));
  return ok ? 0 : 1;
}
