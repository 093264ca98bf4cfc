// temp_folder.h - a fresh folder under /tmp for a test's files, removed with
// everything in it afterwards.
#pragma once

#include <cstdio>
#include <string>

#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

// Creates /tmp/<prefix>XXXXXX; returns its path with a trailing '/', or an
// empty string when it cannot be made.
inline std::string MakeTempFolder(const char* prefix) {
  std::string pattern = std::string("/tmp/") + prefix + "XXXXXX";
  if (!mkdtemp(&pattern[0])) return std::string();
  return pattern + "/";
}

// Removes a folder given with its trailing '/', and all it holds.
inline void RemoveTree(const std::string& path) {
  if (DIR* dir = opendir(path.c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      const std::string child = path + name;
      if (std::remove(child.c_str()) != 0) RemoveTree(child + "/");
    }
    closedir(dir);
  }
  rmdir(path.c_str());
}
