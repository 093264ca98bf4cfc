// seed_file.h - writes one seed file for the seed programs of the fuzz
// targets that make their seeds with the project's own writers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

inline bool WriteSeedFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}
