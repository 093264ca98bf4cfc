// Fuzz target of the package reader and writers. Each input is written to a
// temporary file once and opened as a package: the name index is built,
// every indexed name searched with and without it, every entry's record and
// data read, one entry extracted; then the writers change the same file
// (add, replace, delete, vendor; an old layout converts first), and what a
// writer reports as done is read back and checked. Inputs of even length get
// their header checksum made right first, so mutated header fields (count,
// header size) reach the code behind the checksum.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "resources/vmod_file.h"
#include "util/vmod_memory.h"

namespace {

constexpr uint32_t kMaxVisited = 256; // entries read per input; counts may be huge
constexpr uint32_t kMaxAdded = 300;   // bytes of the input added back as an entry

void RemoveFolderContents(const std::string& folder) {
  ClassVFile lister;
  if (!lister.OpenFolder(folder.c_str())) return;
  char name[VFILE_NAMEMAX];
  while (lister.ReadFolder(name)) {
    if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) {
      std::remove((folder + name).c_str());
    }
  }
}

std::string WorkFolder();

void RemoveWorkFolder() {
  const std::string folder = WorkFolder();
  RemoveFolderContents(folder + "out/");
  rmdir((folder + "out").c_str());
  RemoveFolderContents(folder);
  rmdir(folder.c_str());
}

// A folder of its own, on a memory file system where there is one, so the
// writers' flush to disk costs nothing; removed when the process ends. Kept
// in a plain array, which outlives every exit handler.
std::string WorkFolder() {
  static char folder[64] = "";
  if (folder[0] == '\0') {
    char shm[] = "/dev/shm/vexa_fuzz_package_XXXXXX";
    char tmp[] = "/tmp/vexa_fuzz_package_XXXXXX";
    const char* made = mkdtemp(shm);
    if (made == nullptr) made = mkdtemp(tmp);
    if (made == nullptr) std::abort();
    std::snprintf(folder, sizeof folder, "%s/", made);
    std::atexit(RemoveWorkFolder);
  }
  return folder;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

void MakeChecksumRight(std::vector<uint8_t>& bytes) {
  if (bytes.size() < VPK_HEADERSIZE || std::memcmp(bytes.data(), "VPK2", 4) != 0) return;
  const uint32_t covered = bytes[8] | (bytes[9] << 8) | (bytes[10] << 16) | (uint32_t{bytes[11]} << 24);
  if (covered > VPK_HEADERSIZE) return;
  std::memset(&bytes[20], 0, 4);
  const uint32_t checksum = VFile_QuickChecksum(bytes.data(), covered);
  for (int i = 0; i < 4; i++) bytes[20 + i] = static_cast<uint8_t>(checksum >> (8 * i));
}

bool WriteInput(const std::string& path, const uint8_t* data, size_t size) {
  std::remove(path.c_str());
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool whole = size == 0 || std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && whole;
}

void ReadEntry(ClassVFile& file, int32_t index) {
  VPK_FILEINFO info;
  file.PackGetFileInfo(info, index, (index & 1) != 0);
  uint8_t* data = nullptr;
  uint32_t size = 0;
  const int code = file.PackGetFileData(data, size, index);
  Check(code == VPK_OK || (data == nullptr && size == 0));
  if (code == VPK_OK && size > 0) {
    Check(data != nullptr);
    volatile uint8_t sink = data[0] ^ data[size - 1];  // the whole block is ours
    (void)sink;
  }
  ClassVMemory::DeAlloc(data);
}

void ReadEverything(ClassVFile& file) {
  const uint32_t count = file.PackContainFiles();
  const uint32_t visited = count < kMaxVisited ? count : kMaxVisited;
  uint8_t* index = file.PackBuildIndex();
  for (uint32_t i = 0; i < visited; i++) {
    ReadEntry(file, static_cast<int32_t>(i));
    if (index == nullptr) continue;
    const char* name = reinterpret_cast<const char*>(index + i * VPK_NAMESIZE);
    int32_t found = -1;
    // A name without separators is its own stored name, so the index finds it.
    if (name[0] != '\0' && std::strpbrk(name, "/\\") == nullptr) {
      Check(file.PackSearchFile(name, found) == 1 && found >= 0 && static_cast<uint32_t>(found) <= i);
    }
    file.PackUseIndex(nullptr);
    file.PackSearchFile(name, found);
    file.PackUseIndex(index);
  }
  file.PackUseIndex(nullptr);
  ClassVMemory::DeAlloc(index);
  int32_t found = -1;
  file.PackSearchFile("missing.name", found);
}

void ExtractOne(ClassVFile& file, int32_t index) {
  const std::string out = WorkFolder() + "out/";
  mkdir(out.c_str(), 0700);
  file.PackExtractFile(out.c_str(), index, true);
  RemoveFolderContents(out);
}

// What a writer reports as done must read back.
void ChangeAndCheck(const std::string& path, const uint8_t* data, size_t size) {
  ClassVFile file;
  if (!file.Open(path.c_str(), VFILE_MODE_READWRITE) || !file.PackValid()) return;
  const uint32_t added = static_cast<uint32_t>(size < kMaxAdded ? size : kMaxAdded);
  const int method = static_cast<int>(size % 3);
  if (file.PackAddFileData("fuzz.bin", data, added, true, method, 0) == VPK_OK) {
    int32_t index = -1;
    Check(file.PackSearchFile("FUZZ.BIN", index) == 1);
    uint8_t* back = nullptr;
    uint32_t length = 0;
    Check(file.PackGetFileData(back, length, index) == VPK_OK);
    Check(length == added && (added == 0 || std::memcmp(back, data, added) == 0));
    ClassVMemory::DeAlloc(back);
  }
  const uint32_t count = file.PackContainFiles();
  if (count > 0 && file.PackDeleteFile(static_cast<int32_t>(size % count)) == VPK_OK) {
    Check(file.PackValid() && file.PackContainFiles() == count - 1);
  }
  if (file.PackChangeVendor("FUZZ")) {
    char vendor[5];
    Check(file.PackGetVendor(vendor) == 1 && std::strcmp(vendor, "FUZZ") == 0);
  }
  ReadEverything(file);
  file.Close();
  ClassVFile reopened;
  Check(reopened.Open(path.c_str(), VFILE_MODE_READ) == 1);
  ReadEverything(reopened);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = WorkFolder() + "input.vpk";
  std::vector<uint8_t> bytes(data, data + size);
  if (size % 2 == 0) MakeChecksumRight(bytes);
  if (!WriteInput(path, bytes.data(), size)) return 0;
  {
    ClassVFile file;
    if (file.Open(path.c_str(), VFILE_MODE_READ)) {
      ReadEverything(file);
      if (file.PackContainFiles() > 0) ExtractOne(file, static_cast<int32_t>(size % file.PackContainFiles()));
    }
  }
  ChangeAndCheck(path, data, size);
  std::remove((path + "_tmp").c_str());
  return 0;
}
