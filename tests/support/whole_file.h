// whole_file.h - whole files in and out of memory for the suites, and the
// path of a fixture kept beside a test's source.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The file's bytes; an empty result for a missing or unreadable one.
inline std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  std::vector<uint8_t> bytes;
  if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
    int c;
    while ((c = std::fgetc(file)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
    std::fclose(file);
  }
  return bytes;
}

inline bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

// relative, taken from the folder of the source file given as __FILE__.
inline std::string FixturePath(const char* source, const std::string& relative) {
  const std::string path = source;
  return path.substr(0, path.find_last_of('/') + 1) + relative;
}
