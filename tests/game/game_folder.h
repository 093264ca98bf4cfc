// game_folder.h - a fresh temporary folder as the working directory of one
// test, where the game reads and writes "game.cfg"; the previous working
// directory comes back and the folder goes with everything in it.
#pragma once

#include "support/whole_file.h"

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

inline bool FileExists(const char* name) {
  return access(name, F_OK) == 0;
}
