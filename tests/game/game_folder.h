// game_folder.h - a fresh temporary folder as the working directory of one
// test, where the game reads and writes "game.cfg"; the previous working
// directory comes back and the folder goes with everything in it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "support/temp_folder.h"

class GameFolder {
 public:
  GameFolder() {
    if (getcwd(previous, sizeof previous) == nullptr) previous[0] = '\0';
    folder = MakeTempFolder("vexa_game_");
    entered = !folder.empty() && chdir(folder.c_str()) == 0;
  }
  ~GameFolder() {
    if (previous[0] != '\0' && chdir(previous) != 0) ADD_FAILURE() << "cannot return to " << previous;
    if (!folder.empty()) RemoveTree(folder);
  }
  GameFolder(const GameFolder&) = delete;
  GameFolder& operator=(const GameFolder&) = delete;

  bool Entered() const { return entered; }

 private:
  char previous[4096];
  std::string folder;
  bool entered = false;
};

// Whole files of the working directory; an empty result for a missing one.
inline std::vector<uint8_t> ReadWholeFile(const char* name) {
  std::vector<uint8_t> bytes;
  if (std::FILE* file = std::fopen(name, "rb")) {
    int c;
    while ((c = std::fgetc(file)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
    std::fclose(file);
  }
  return bytes;
}

inline bool WriteWholeFile(const char* name, const std::vector<uint8_t>& bytes) {
  std::FILE* file = std::fopen(name, "wb");
  if (file == nullptr) return false;
  const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

inline bool FileExists(const char* name) {
  return access(name, F_OK) == 0;
}
