// Stand-in for libFuzzer in ordinary builds: feeds every file named on the
// command line (folders are walked one level deep) to the target once.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  out.clear();
  uint8_t chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) out.insert(out.end(), chunk, chunk + n);
  std::fclose(f);
  return true;
}

int RunFile(const std::string& path) {
  std::vector<uint8_t> data;
  if (!ReadWholeFile(path, data)) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return 1;
  }
  LLVMFuzzerTestOneInput(data.data(), data.size());
  return 0;
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

int main(int argc, char** argv) {
  int failures = 0;
  int inputs = 0;
  for (int i = 1; i < argc; i++) {
    std::string path = argv[i];
    if (!IsFolder(path)) {
      failures += RunFile(path);
      inputs++;
      continue;
    }
    DIR* dir = opendir(path.c_str());
    if (!dir) {
      std::fprintf(stderr, "cannot list %s\n", path.c_str());
      failures++;
      continue;
    }
    while (dirent* entry = readdir(dir)) {
      std::string child = path + "/" + entry->d_name;
      if (entry->d_name[0] == '.' || IsFolder(child)) continue;
      failures += RunFile(child);
      inputs++;
    }
    closedir(dir);
  }
  std::printf("%d inputs run, %d unreadable\n", inputs, failures);
  return failures == 0 ? 0 : 1;
}
