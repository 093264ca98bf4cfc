// Writes the seed packages of fuzz_package into the folder given: packages
// made by the package writer with each storage method, a corrupt copy, a
// short-header package and an old-layout one built byte by byte. They are
// made by the build rather than kept in the tree.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "resources/vmod_file.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kModified = 0x6B1AA307;  // a fixed file time for every entry

void PutLe32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

void PutText(Bytes& b, size_t at, const char* text) {
  for (size_t i = 0; text[i]; ++i) b[at + i] = uint8_t(text[i]);
}

void Append(Bytes& b, const std::string& text) { b.insert(b.end(), text.begin(), text.end()); }

std::string Repeated(const char* line, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += std::to_string(i) + line;
  return text;
}

bool WriteFile(const std::string& path, const Bytes& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

bool ReadFile(const std::string& path, Bytes& bytes) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  bytes.clear();
  int c;
  while ((c = std::fgetc(f)) != EOF) bytes.push_back(uint8_t(c));
  return std::fclose(f) == 0;
}

struct ENTRY {
  const char* name;
  std::string data;
  int method;
};

bool WritePackage(const std::string& path, const char* vendor, const std::vector<ENTRY>& entries) {
  std::remove(path.c_str());
  ClassVFile pack;
  if (pack.PackNew(path.c_str(), vendor) != VPK_OK) return false;
  for (const ENTRY& e : entries) {
    if (pack.PackAddFileData(e.name, e.data.data(), uint32_t(e.data.size()), false, e.method, kModified) != VPK_OK)
      return false;
  }
  pack.Close();
  return true;
}

// The zlib package with four bytes inside its compressed stream overwritten.
bool WriteCorruptCopy(const std::string& from, const std::string& to) {
  Bytes bytes;
  if (!ReadFile(from, bytes)) return false;
  const size_t stream = 28 + 92;  // header, then the first entry's record
  for (size_t i = stream + 30; i < stream + 34 && i < bytes.size(); ++i) bytes[i] = 'X';
  return WriteFile(to, bytes);
}

// A package whose header is 24 bytes long, as older writers made them.
Bytes ShortHeaderPackage() {
  const std::string data = "short header entry";
  Bytes b(24 + 92);
  PutText(b, 0, "VPK2H24 ");
  PutLe32(b, 8, 24);
  b[12] = 200;
  PutLe32(b, 16, 1);
  PutLe32(b, 24, 92);
  PutText(b, 28, "a.txt");
  PutLe32(b, 24 + 72, uint32_t(data.size()));
  PutLe32(b, 24 + 76, uint32_t(data.size()));
  Append(b, data);
  b.resize(b.size() + 4);
  PutLe32(b, b.size() - 4, 24);
  PutLe32(b, 20, VFile_QuickChecksum(b.data(), 24));
  return b;
}

// The old layout: a 32-byte header, then fixed 152-byte records.
Bytes OldLayoutPackage() {
  const char* names[] = {"Old\\first.txt", "second.txt"};
  const std::string data[] = {"first entry\n", "second entry\n"};
  Bytes b(32 + 2 * 152);
  PutText(b, 0, "VPCKSEED");
  PutLe32(b, 16, 2);
  for (int i = 0; i < 2; ++i) {
    const size_t record = 32 + size_t(i) * 152;
    PutText(b, record, names[i]);
    PutLe32(b, record + 128, uint32_t(b.size()));
    PutLe32(b, record + 132, uint32_t(data[i].size()));
    PutLe32(b, record + 136, uint32_t(data[i].size()));
    Append(b, data[i]);
  }
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: seeds_package FOLDER\n");
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/";
  const std::string text = Repeated(" a line of package text that repeats\n", 30);
  bool ok = WritePackage(folder + "raw.vpk", nullptr,
                         {{"raw.txt", "raw entry bytes\n", VPK_METHOD_RAW}, {"empty.dat", "", VPK_METHOD_RAW}}) &&
            WritePackage(folder + "lzw.vpk", nullptr, {{"lzw.txt", text, VPK_METHOD_LZW}}) &&
            WritePackage(folder + "zlib.vpk", "SEED",
                         {{"zlib.txt", text + text, VPK_METHOD_ZLIB}, {"Sprites\\Back.PNG", text, VPK_METHOD_RAW}}) &&
            WriteCorruptCopy(folder + "zlib.vpk", folder + "corrupt.vpk") &&
            WriteFile(folder + "header24.vpk", ShortHeaderPackage()) &&
            WriteFile(folder + "old.vpck", OldLayoutPackage());
  if (!ok) std::fprintf(stderr, "seeds_package: cannot write the seeds into %s\n", argv[1]);
  return ok ? 0 : 1;
}
