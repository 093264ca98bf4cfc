// Tests of the file object's package half: header recognition and checksum,
// stored names, search, entry data with the three storage methods, every
// writer, the old layout and its conversion, and hostile packages. Fixtures
// are built byte by byte here, and the writers' output is parsed here, so the
// format is checked independently of the reader.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <gtest/gtest.h>
#include <zlib.h>

#include "resources/vmod_file.h"
#include "tests/support/temp_folder.h"
#include "tests/support/xorshift.h"
#include "util/vmod_memory.h"
#include "util/vmod_std.h"

namespace {

// --- bytes --------------------------------------------------------------------

void PutLe32(std::string& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; i++) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

uint32_t GetLe32(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 0; i < 4; i++) value |= uint32_t{static_cast<uint8_t>(bytes[at + i])} << (8 * i);
  return value;
}

std::string Le32(uint32_t value) {
  std::string bytes(4, '\0');
  PutLe32(bytes, 0, value);
  return bytes;
}

// The header checksum as the format defines it: MD5 hex digits 5..8 read as a
// little-endian number, plus 692792.
uint32_t ExpectedChecksum(const std::string& bytes) {
  char digest[VSTD_MD5LENGTH];
  ClassVStd::MD5Data(digest, bytes.data(), static_cast<uint32_t>(bytes.size()));
  return GetLe32(std::string(digest + 5, 4), 0) + 692792u;
}

std::string RandomBytes(uint32_t seed, size_t length) {
  XorShift32 random{seed};
  std::string bytes(length, '\0');
  for (char& c : bytes) c = static_cast<char>(random.Next() & 0xFF);
  return bytes;
}

std::string TextBytes(size_t length) {
  static const char kWords[] = "the quick brown fox jumps over the lazy dog; ";
  std::string text;
  while (text.size() < length) text += kWords;
  text.resize(length);
  return text;
}

std::string ZlibBytes(const std::string& data) {
  uLongf length = compressBound(data.size());
  std::string out(length, '\0');
  EXPECT_EQ(compress(reinterpret_cast<Bytef*>(&out[0]), &length, reinterpret_cast<const Bytef*>(data.data()),
                     data.size()),
            Z_OK);
  out.resize(length);
  return out;
}

std::string LzwBytes(const std::string& data) {
  std::string out(data.size() + data.size() / 100 + 12, '\0');
  uint32_t size = static_cast<uint32_t>(out.size());
  ClassVMemory memory;
  EXPECT_EQ(memory.Compress(&out[0], size, data.data(), static_cast<uint32_t>(data.size())), 1);
  out.resize(size);
  return out;
}

// --- fixtures built by hand ---------------------------------------------------------

struct FIXTUREENTRY {
  std::string name;      // the record's name bytes, as stored
  std::string stored;    // the bytes after the record
  uint32_t unpacked;
  uint8_t method;
  uint32_t recordsize = 92;
};

FIXTUREENTRY RawEntry(const std::string& name, const std::string& data) {
  return {name, data, static_cast<uint32_t>(data.size()), 0};
}

FIXTUREENTRY ZlibEntry(const std::string& name, const std::string& data) {
  return {name, ZlibBytes(data), static_cast<uint32_t>(data.size()), 2};
}

FIXTUREENTRY LzwEntry(const std::string& name, const std::string& data) {
  return {name, LzwBytes(data), static_cast<uint32_t>(data.size()), 1};
}

std::string RecordBytes(const FIXTUREENTRY& entry) {
  std::string record(92, '\0');
  PutLe32(record, 0, entry.recordsize);
  record.replace(4, entry.name.size() < 64 ? entry.name.size() : 64, entry.name.substr(0, 64));
  PutLe32(record, 72, entry.unpacked);
  PutLe32(record, 76, static_cast<uint32_t>(entry.stored.size()));
  record[80] = static_cast<char>(entry.method);
  PutLe32(record, 84, 1000000000u);
  PutLe32(record, 88, 1100000000u);
  // The size field itself is always there; a short record keeps its first bytes.
  return record.substr(0, entry.recordsize < 4 ? 4 : entry.recordsize < 92 ? entry.recordsize : 92);
}

// A header of headersize bytes whose checksum covers them.
std::string HeaderBytes(uint32_t headersize, uint32_t count, const std::string& vendor = "TEST") {
  std::string header(28, '\0');
  header.replace(0, 4, "VPK2");
  header.replace(4, 4, vendor);
  PutLe32(header, 8, headersize);
  header[12] = static_cast<char>(200);
  PutLe32(header, 16, count);
  PutLe32(header, 20, ExpectedChecksum(header.substr(0, headersize)));
  return header.substr(0, headersize);
}

std::string BuildPackage(const std::vector<FIXTUREENTRY>& entries, uint32_t headersize = 28) {
  std::string bytes = HeaderBytes(headersize, static_cast<uint32_t>(entries.size()));
  std::string table;
  for (const FIXTUREENTRY& entry : entries) {
    table += Le32(static_cast<uint32_t>(bytes.size()));
    bytes += RecordBytes(entry) + entry.stored;
  }
  return bytes + table;
}

std::string BuildOldPackage(const std::vector<FIXTUREENTRY>& entries) {
  const size_t count = entries.size();
  std::string bytes(32 + count * 152, '\0');
  bytes.replace(0, 8, "VPCKOLDV");
  PutLe32(bytes, 16, static_cast<uint32_t>(count));
  for (size_t i = 0; i < count; i++) {
    const size_t record = 32 + i * 152;
    bytes.replace(record, entries[i].name.size(), entries[i].name);
    PutLe32(bytes, record + 128, static_cast<uint32_t>(bytes.size()));
    PutLe32(bytes, record + 132, entries[i].unpacked);
    PutLe32(bytes, record + 136, static_cast<uint32_t>(entries[i].stored.size()));
    bytes[record + 140] = static_cast<char>(entries[i].method);
    bytes += entries[i].stored;
  }
  return bytes;
}

// --- the writers' output, parsed here ---------------------------------------------------

struct PARSEDENTRY {
  uint32_t position;
  std::string name;
  uint32_t unpacked;
  uint32_t packed;
  uint8_t method;
};

// Checks every rule a writer must keep and returns the entries it found.
std::vector<PARSEDENTRY> ParseWritten(const std::string& bytes) {
  std::vector<PARSEDENTRY> entries;
  EXPECT_GE(bytes.size(), 28u);
  if (bytes.size() < 28) return entries;
  EXPECT_EQ(bytes.substr(0, 4), "VPK2");
  EXPECT_EQ(GetLe32(bytes, 8), 28u);
  EXPECT_EQ(static_cast<uint8_t>(bytes[12]), 200);
  EXPECT_EQ(bytes.substr(13, 3), std::string(3, '\0'));
  EXPECT_EQ(bytes.substr(24, 4), std::string(4, '\0'));
  std::string header = bytes.substr(0, 28);
  PutLe32(header, 20, 0);
  EXPECT_EQ(GetLe32(bytes, 20), ExpectedChecksum(header));
  const uint32_t count = GetLe32(bytes, 16);
  EXPECT_LE(28u + count * 96u, bytes.size());
  const size_t table = bytes.size() - count * 4u;
  uint32_t expected = 28;
  for (uint32_t i = 0; i < count; i++) {
    PARSEDENTRY entry{};
    entry.position = GetLe32(bytes, table + i * 4);
    EXPECT_EQ(entry.position, expected) << "blocks follow one another, entry " << i;
    if (entry.position + 92 > table) return entries;
    EXPECT_EQ(GetLe32(bytes, entry.position), 92u);
    entry.name = std::string(bytes.c_str() + entry.position + 4);
    EXPECT_EQ(GetLe32(bytes, entry.position + 68), 0u) << "data position is written as 0";
    entry.unpacked = GetLe32(bytes, entry.position + 72);
    entry.packed = GetLe32(bytes, entry.position + 76);
    entry.method = static_cast<uint8_t>(bytes[entry.position + 80]);
    expected = entry.position + 92 + entry.packed;
    entries.push_back(entry);
  }
  EXPECT_EQ(expected, table) << "the position table follows the last block";
  return entries;
}

// --- the fixture ----------------------------------------------------------------------

class VPackageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = MakeTempFolder("vexa_pack_");
    ASSERT_FALSE(folder.empty());
    pack.SetCurrentFolder(folder.c_str());
  }

  void TearDown() override {
    pack.Close();
    RemoveTree(folder);
  }

  // A fresh file each time: rewriting one in place makes some file systems
  // flush it on every close.
  void Put(const std::string& name, const std::string& bytes) {
    std::remove((folder + name).c_str());
    FILE* f = std::fopen((folder + name).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }

  std::string Get(const std::string& name) {
    FILE* f = std::fopen((folder + name).c_str(), "rb");
    if (f == nullptr) return "<missing>";
    std::string bytes;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.append(chunk, n);
    std::fclose(f);
    return bytes;
  }

  bool Present(const std::string& name) { return access((folder + name).c_str(), F_OK) == 0; }

  void OpenFixture(const std::string& bytes, int mode = VFILE_MODE_READWRITE) {
    Put("p.vpk", bytes);
    ASSERT_EQ(pack.Open("p.vpk", mode), 1);
  }

  std::string EntryData(ClassVFile& file, int32_t index, int* code = nullptr) {
    uint8_t* data = nullptr;
    uint32_t size = 77;
    const int result = file.PackGetFileData(data, size, index);
    if (code) *code = result;
    std::string bytes;
    if (result == VPK_OK) {
      if (size == 0) {
        EXPECT_EQ(data, nullptr);
      }
      bytes.assign(reinterpret_cast<const char*>(data), size);
    } else {
      EXPECT_EQ(data, nullptr);
      EXPECT_EQ(size, 0u);
    }
    ClassVMemory::DeAlloc(data);
    return bytes;
  }

  int DataCode(int32_t index) {
    int code = -1;
    EntryData(pack, index, &code);
    return code;
  }

  // Reopens the package from disk and checks every entry's data.
  void ExpectContents(const std::vector<std::pair<std::string, std::string>>& expected) {
    pack.Close();
    ClassVFile reader;
    ASSERT_EQ(reader.Open((folder + "p.vpk").c_str(), VFILE_MODE_READ), 1);
    ASSERT_TRUE(reader.PackValid());
    ASSERT_EQ(reader.PackContainFiles(), expected.size());
    for (size_t i = 0; i < expected.size(); i++) {
      VPK_FILEINFO info;
      ASSERT_EQ(reader.PackGetFileInfo(info, static_cast<int32_t>(i), false), 1);
      EXPECT_STREQ(info.name, expected[i].first.c_str());
      int code = -1;
      EXPECT_EQ(EntryData(reader, static_cast<int32_t>(i), &code), expected[i].second) << expected[i].first;
      EXPECT_EQ(code, VPK_OK);
    }
    reader.Close();
    ParseWritten(Get("p.vpk"));
  }

  void NewPackage() { ASSERT_EQ(pack.PackNew("p.vpk"), VPK_OK); }

  void Add(const std::string& name, const std::string& data, int method = VPK_METHOD_RAW) {
    ASSERT_EQ(pack.PackAddFileData(name.c_str(), data.data(), static_cast<uint32_t>(data.size()), false, method, 0),
              VPK_OK)
        << name;
  }

  std::string folder;
  ClassVFile pack;
};

// --- checksum, tags, names -----------------------------------------------------------

TEST(VPackageChecksum, IsDigestCharactersFiveToEightPlusBias) {
  // RFC 1321: MD5("") = d41d8cd98f00..., MD5("abc") = 900150983cd24fb0...
  EXPECT_EQ(VFile_QuickChecksum("", 0), 0x38396463u + 692792u);
  EXPECT_EQ(VFile_QuickChecksum("abc", 3), 0x33383930u + 692792u);
}

TEST(VPackageFourCharacters, ShortTextsStopAtTheirZero) {
  struct Case {
    const char* text;
    uint32_t value;
  };
  const Case cases[] = {{"VEXA", 0x41584556u}, {"ABCDEF", 0x44434241u}, {"AB", 0x4241u}, {"", 0u}, {nullptr, 0u}};
  for (const Case& c : cases) {
    EXPECT_EQ(VFile_LongFCC(c.text), c.value) << (c.text ? c.text : "null");
    if (c.text) {
      const std::u16string wide(c.text, c.text + std::strlen(c.text));
      EXPECT_EQ(VFile_LongFCC(wide.c_str()), c.value);
    }
  }
  EXPECT_EQ(VFile_LongFCC(u"\u0141\u0142"), 0x4241u);  // low bytes of wide characters
  char text[5];
  VFile_CharFCC(text, 0x44434241u);
  EXPECT_STREQ(text, "ABCD");
  char16_t wide[5];
  VFile_CharFCC(wide, 0x4241u);
  EXPECT_EQ(std::u16string(wide, 5), std::u16string(u"AB\0\0\0", 5));
}

struct StoreNameCase {
  std::string path;
  std::string stored;
};

std::vector<StoreNameCase> StoreNameCases() {
  const std::string name70 = std::string(66, 'n') + ".png";
  const std::string longext = std::string(40, 'h') + "." + std::string(40, 'e');
  return {
      {"Sprites\\Back.PNG", "Back.PNG"},
      {"a/b\\c/d.txt", "d.txt"},
      {"folder/", ""},
      {"", ""},
      {std::string(63, 'x'), std::string(63, 'x')},
      {std::string(64, 'x'), std::string(63, 'x')},
      {"dir/" + name70, std::string(59, 'n') + ".png"},
      {longext, std::string(31, 'h') + "." + std::string(31, 'e')},
      {std::string(70, 'a') + ".b.c", std::string(61, 'a') + ".c"},
  };
}

TEST(VPackageStoreName, KeepsTheLastSegmentCutTo63WithItsExtension) {
  for (const StoreNameCase& c : StoreNameCases()) {
    char out[VPK_NAMESIZE];
    std::memset(out, 'z', sizeof out);
    VFile_CheckStoreName(out, c.path.c_str());
    EXPECT_EQ(std::string(out), c.stored) << c.path;
    EXPECT_LE(std::strlen(out), 63u);
    EXPECT_EQ(std::string(out + std::strlen(out), VPK_NAMESIZE - std::strlen(out)),
              std::string(VPK_NAMESIZE - std::strlen(out), '\0'))
        << "zero-filled";
    const std::u16string wide(c.path.begin(), c.path.end());
    char fromwide[VPK_NAMESIZE];
    VFile_CheckStoreName(fromwide, wide.c_str());
    EXPECT_EQ(std::string(fromwide), c.stored) << c.path;
  }
}

// --- recognising packages ---------------------------------------------------------------

TEST_F(VPackageTest, OtherFilesOpenAsPlainFiles) {
  for (const std::string& bytes : {std::string("ABCDxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"), std::string("VPK"),
                                  std::string(), std::string("VPK2\0\0\0\0\x1d\0\0\0", 12)}) {
    OpenFixture(bytes);
    EXPECT_FALSE(pack.PackValid());
    EXPECT_EQ(pack.PackContainFiles(), 0u);
    EXPECT_EQ(pack.Tell(), 0u);
    char vendor[5];
    EXPECT_EQ(pack.PackGetVendor(vendor), 0);
    EXPECT_EQ(pack.PackBuildIndex(), nullptr);
    EXPECT_EQ(DataCode(0), VPK_ERR_NOPACKAGE);
    EXPECT_EQ(pack.PackAddFileData("a", "x", 1, false, 0, 0), VPK_ERR_NOPACKAGE);
    EXPECT_EQ(pack.PackDeleteFile(0), VPK_ERR_NOPACKAGE);
    EXPECT_EQ(pack.PackExtractFile(folder.c_str(), 0, false), VPK_ERR_NOPACKAGE);
    EXPECT_EQ(pack.PackChangeVendor("ABCD"), 0);
    EXPECT_EQ(pack.ConvertPackFile(), 0);
    pack.Close();
    EXPECT_EQ(Get("p.vpk"), bytes);
  }
}

TEST_F(VPackageTest, ChangingAnyHeaderByteInvalidatesThePackage) {
  const std::string good = BuildPackage({RawEntry("a.txt", "alpha")});
  OpenFixture(good);
  ASSERT_TRUE(pack.PackValid());
  char vendor[5];
  ASSERT_EQ(pack.PackGetVendor(vendor), 1);
  EXPECT_STREQ(vendor, "TEST");
  for (size_t at = 0; at < 28; at++) {
    std::string bad = good;
    bad[at] = static_cast<char>(bad[at] ^ 0x01);
    OpenFixture(bad);
    EXPECT_FALSE(pack.PackValid()) << "byte " << at;
  }
}

TEST_F(VPackageTest, ShorterHeaderSizeIsReadAndNormalisedByWriters) {
  OpenFixture(BuildPackage({RawEntry("a.txt", "alpha"), ZlibEntry("b.txt", TextBytes(500))}, 24));
  ASSERT_TRUE(pack.PackValid());
  ASSERT_EQ(pack.PackContainFiles(), 2u);
  EXPECT_EQ(EntryData(pack, 0), "alpha");
  EXPECT_EQ(EntryData(pack, 1), TextBytes(500));
  Add("c.txt", "gamma");
  EXPECT_EQ(pack.PackContainFiles(), 3u);
  ExpectContents({{"a.txt", "alpha"}, {"b.txt", TextBytes(500)}, {"c.txt", "gamma"}});
}

TEST_F(VPackageTest, DeletingFromAShorterHeaderEndsAfterTheTable) {
  OpenFixture(BuildPackage({RawEntry("a.txt", "alpha"), RawEntry("b.txt", "beta"), RawEntry("c.txt", "gamma")}, 24));
  ASSERT_TRUE(pack.PackValid());
  ASSERT_EQ(pack.PackDeleteFile(1), VPK_OK);
  EXPECT_EQ(pack.PackContainFiles(), 2u);
  EXPECT_EQ(EntryData(pack, 1), "gamma");  // the in-memory header finds the new table
  ExpectContents({{"a.txt", "alpha"}, {"c.txt", "gamma"}});
  EXPECT_EQ(Get("p.vpk").size(), 28u + 2 * 92 + 5 + 5 + 2 * 4);
}

TEST_F(VPackageTest, ChangingTheVendorOfAShorterHeaderMovesEverything) {
  OpenFixture(BuildPackage({RawEntry("a.txt", "alpha")}, 24));
  ASSERT_EQ(pack.PackChangeVendor("NEW!"), 1);
  char vendor[5];
  ASSERT_EQ(pack.PackGetVendor(vendor), 1);
  EXPECT_STREQ(vendor, "NEW!");
  ExpectContents({{"a.txt", "alpha"}});
}

// Cutting whole words off the table leaves a shorter table of genuine
// positions, which reads as genuine entries under other indices; any other cut
// must not read at all. Nothing a cut package hands out is other than an
// entry's own data.
TEST_F(VPackageTest, TruncatedPackagesFailAtEveryLength) {
  const std::vector<std::string> contents = {"alpha", TextBytes(300), TextBytes(400)};
  const std::string good =
      BuildPackage({RawEntry("a.txt", contents[0]), ZlibEntry("b.txt", contents[1]), LzwEntry("c", contents[2])});
  for (size_t length = 0; length < good.size(); length++) {
    OpenFixture(good.substr(0, length), VFILE_MODE_READ);
    EXPECT_EQ(pack.PackValid(), length >= 28) << length;
    const bool wholewordscut = length + 12 >= good.size() && (good.size() - length) % 4 == 0;
    for (int32_t i = 0; i < 3; i++) {
      int code = -1;
      const std::string data = EntryData(pack, i, &code);
      if (code == VPK_OK) {
        EXPECT_TRUE(wholewordscut) << length << " entry " << i;
        EXPECT_TRUE(data == contents[0] || data == contents[1] || data == contents[2]) << length << " entry " << i;
      } else {
        EXPECT_TRUE(code == VPK_ERR_NOPACKAGE || code == VPK_ERR_NOENTRY) << length << " entry " << i << " " << code;
      }
    }
  }
}

// --- reading ---------------------------------------------------------------------------

TEST_F(VPackageTest, ReadsAllThreeStorageMethods) {
  const std::string text = TextBytes(3000);
  OpenFixture(BuildPackage({RawEntry("raw.bin", "plain bytes"), LzwEntry("lzw.txt", text), ZlibEntry("z.txt", text),
                            RawEntry("empty", "")}));
  ASSERT_EQ(pack.PackContainFiles(), 4u);
  EXPECT_EQ(EntryData(pack, 0), "plain bytes");
  EXPECT_EQ(EntryData(pack, 1), text);
  EXPECT_EQ(EntryData(pack, 2), text);
  int code = -1;
  EXPECT_EQ(EntryData(pack, 3, &code), "");
  EXPECT_EQ(code, VPK_OK);
  EXPECT_EQ(DataCode(4), VPK_ERR_NOENTRY);
  EXPECT_EQ(DataCode(-1), VPK_ERR_NOENTRY);

  VPK_FILEINFO info;
  ASSERT_EQ(pack.PackGetFileInfo(info, 1, false), 1);
  EXPECT_STREQ(info.name, "lzw.txt");
  EXPECT_EQ(info.unpackedsize, 3000u);
  EXPECT_EQ(info.method, VPK_METHOD_LZW);
  EXPECT_EQ(info.dataposition, 28u + 92 + 11 + 92);
  EXPECT_EQ(info.modifiedtime, 1000000000u);
  EXPECT_EQ(info.addedtime, 1100000000u);
}

TEST_F(VPackageTest, SearchIgnoresCaseAndFoldersWithAndWithoutIndex) {
  OpenFixture(BuildPackage({RawEntry("front.png", "F"), RawEntry("back.png", "B"), RawEntry("BACK.png", "C")}));
  for (bool indexed : {false, true}) {
    uint8_t* index = indexed ? pack.PackBuildIndex() : nullptr;
    if (indexed) {
      ASSERT_NE(index, nullptr);
      EXPECT_STREQ(reinterpret_cast<const char*>(index + 64), "back.png");
    }
    int32_t found = -1;
    ASSERT_EQ(pack.PackSearchFile("Sprites\\Back.PNG", found), 1);
    EXPECT_EQ(found, 1);  // the first match
    ASSERT_EQ(pack.PackSearchFile(u"x/FRONT.PNG", found), 1);
    EXPECT_EQ(found, 0);
    EXPECT_EQ(pack.PackSearchFile("back.pn", found), 0);
    EXPECT_EQ(pack.PackSearchFile("", found), 0);
    uint8_t* data = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(pack.PackGetFileData(data, size, "BACK.PNG"), VPK_OK);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), size), "B");
    ClassVMemory::DeAlloc(data);
    EXPECT_EQ(pack.PackGetFileData(data, size, u"nothing"), VPK_ERR_NOENTRY);
    VPK_FILEINFO info;
    EXPECT_EQ(pack.PackGetFileInfo(info, u"FRONT.png", false), 1);
    EXPECT_EQ(pack.PackGetFileInfo(info, "nothing", false), 0);
    pack.PackUseIndex(nullptr);
    ClassVMemory::DeAlloc(index);
  }
}

TEST_F(VPackageTest, AnInstalledIndexIsWhatTheReaderSearches) {
  OpenFixture(BuildPackage({RawEntry("a", "A"), RawEntry("b", "B")}));
  uint8_t index[2 * 64] = {};
  std::strcpy(reinterpret_cast<char*>(index), "b");
  std::strcpy(reinterpret_cast<char*>(index + 64), "a");
  pack.PackUseIndex(index);
  int32_t found = -1;
  ASSERT_EQ(pack.PackSearchFile("a", found), 1);
  EXPECT_EQ(found, 1);
  pack.Close();  // forgets it without freeing it
  ASSERT_EQ(pack.Open("p.vpk", VFILE_MODE_READ), 1);
  ASSERT_EQ(pack.PackSearchFile("a", found), 1);
  EXPECT_EQ(found, 0);
}

TEST_F(VPackageTest, LocalTimeMovesBothTimestampsAndStopsAtZero) {
  const char* saved = std::getenv("TZ");
  const std::string previous = saved ? saved : "";
  setenv("TZ", "EST5", 1);
  tzset();
  FIXTUREENTRY early = RawEntry("early", "e");
  std::string bytes = BuildPackage({RawEntry("late", "l"), early});
  PutLe32(bytes, 28 + 92 + 1 + 84, 1000);  // modified 1000 s after the epoch
  OpenFixture(bytes);
  VPK_FILEINFO info;
  ASSERT_EQ(pack.PackGetFileInfo(info, 0, true), 1);
  EXPECT_EQ(info.modifiedtime, 1000000000u - 18000u);
  EXPECT_EQ(info.addedtime, 1100000000u - 18000u);
  ASSERT_EQ(pack.PackGetFileInfo(info, "early", true), 1);
  EXPECT_EQ(info.modifiedtime, 0u);
  ASSERT_EQ(pack.PackGetFileInfo(info, "early", false), 1);
  EXPECT_EQ(info.modifiedtime, 1000u);
  if (saved) {
    setenv("TZ", previous.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

// The record size counts its own four bytes and says where the data starts.
TEST_F(VPackageTest, RecordSizeGovernsWhatIsReadAndWhereDataStarts) {
  struct Case {
    uint32_t recordsize;
    bool readable;
  };
  const Case cases[] = {{92, true}, {84, true}, {72, true}, {0, false}, {3, false}, {93, false}, {200, false}};
  for (const Case& c : cases) {
    FIXTUREENTRY entry = RawEntry("short.rec", "payload!");
    entry.recordsize = c.recordsize;
    OpenFixture(BuildPackage({entry, RawEntry("next", "NEXT")}));
    ASSERT_TRUE(pack.PackValid());
    VPK_FILEINFO info;
    EXPECT_EQ(pack.PackGetFileInfo(info, 0, false), c.readable ? 1 : 0) << c.recordsize;
    if (c.readable) {
      EXPECT_EQ(info.dataposition, 28u + c.recordsize);
      // Fields beyond a short record read as zero: no times past 84 bytes.
      EXPECT_EQ(info.addedtime, c.recordsize > 88 ? 1100000000u : 0u);
    }
    if (c.readable && c.recordsize >= 80) {
      EXPECT_EQ(EntryData(pack, 0), "payload!") << c.recordsize;
    }
    EXPECT_EQ(EntryData(pack, 1), "NEXT");
  }
}

TEST_F(VPackageTest, TheSmallestRecordIsAnEmptyEntry) {
  FIXTUREENTRY tiny = RawEntry("", "");
  tiny.recordsize = 4;
  OpenFixture(BuildPackage({tiny, RawEntry("b", "B")}));
  int code = -1;
  EXPECT_EQ(EntryData(pack, 0, &code), "");
  EXPECT_EQ(code, VPK_OK);
  EXPECT_EQ(pack.PackExtractFile(folder.c_str(), 0, false), VPK_ERR_IO);  // no name to write it under
  EXPECT_EQ(EntryData(pack, 1), "B");
}

struct CorruptCase {
  const char* what;
  int code;
  void (*damage)(std::string& bytes, size_t table);
};

// Entry 0 is raw "alpha" (5 bytes), entry 1 zlib text, entry 2 raw "gamma".
const CorruptCase kCorruptCases[] = {
    {"position past the table", VPK_ERR_NOENTRY, [](std::string& b, size_t t) { PutLe32(b, t, 0x7FFFFFF0u); }},
    {"position into the header", VPK_ERR_NOENTRY, [](std::string& b, size_t t) { PutLe32(b, t, 8); }},
    {"positions out of order", VPK_ERR_NOENTRY,
     [](std::string& b, size_t t) { PutLe32(b, t + 4, GetLe32(b, t) + 40); }},
    {"packed size past the file", VPK_ERR_NOENTRY, [](std::string& b, size_t) { PutLe32(b, 28 + 76, 0xFFFFFFF0u); }},
    {"packed size into the next block", VPK_ERR_NOENTRY, [](std::string& b, size_t) { PutLe32(b, 28 + 76, 6); }},
    {"name without its zero", VPK_ERR_NOENTRY, [](std::string& b, size_t) { b.replace(32, 64, std::string(64, 'n')); }},
    {"raw sizes differ, larger", VPK_ERR_CORRUPT, [](std::string& b, size_t) { PutLe32(b, 28 + 72, 9); }},
    {"raw sizes differ, smaller", VPK_ERR_CORRUPT, [](std::string& b, size_t) { PutLe32(b, 28 + 72, 4); }},
    {"unknown method", VPK_ERR_CORRUPT, [](std::string& b, size_t) { b[28 + 80] = 3; }},
    {"compressed as method 1", VPK_ERR_CORRUPT, [](std::string& b, size_t) { b[28 + 80] = 1; }},
    {"compressed as method 2", VPK_ERR_CORRUPT, [](std::string& b, size_t) { b[28 + 80] = 2; }},
};

TEST_F(VPackageTest, DamagedEntriesGiveTheirCodesAndSpareTheOthers) {
  const std::vector<FIXTUREENTRY> entries = {RawEntry("a", "alpha"), ZlibEntry("b", TextBytes(700)),
                                             RawEntry("c", "gamma")};
  const std::string good = BuildPackage(entries);
  for (const CorruptCase& c : kCorruptCases) {
    std::string bytes = good;
    c.damage(bytes, bytes.size() - 12);
    OpenFixture(bytes, VFILE_MODE_READ);
    ASSERT_TRUE(pack.PackValid()) << c.what;
    EXPECT_EQ(DataCode(0), c.code) << c.what;
    EXPECT_EQ(EntryData(pack, 2), "gamma") << c.what;
    EXPECT_EQ(pack.PackExtractFile(folder.c_str(), 0, false), c.code == VPK_ERR_NOENTRY ? VPK_ERR_IO : c.code)
        << c.what;
    EXPECT_FALSE(Present("a")) << c.what;
  }
}

TEST_F(VPackageTest, CorruptCompressedDataGivesEight) {
  const std::string text = TextBytes(2000);
  struct Case {
    FIXTUREENTRY entry;
    const char* what;
  };
  std::vector<Case> cases;
  // The own compressor's stream has no check of its own: a changed byte may
  // decode to other bytes of the same length, so only zlib's is flipped.
  FIXTUREENTRY flipped = ZlibEntry("z", text);
  flipped.stored[flipped.stored.size() / 2] ^= 0x5A;
  cases.push_back({flipped, "flipped byte"});
  for (FIXTUREENTRY entry : {ZlibEntry("z", text), LzwEntry("l", text)}) {
    FIXTUREENTRY cut = entry;
    cut.stored.resize(cut.stored.size() - 3);
    FIXTUREENTRY longer = entry;
    longer.unpacked += 1;
    FIXTUREENTRY shorter = entry;
    shorter.unpacked -= 1;
    FIXTUREENTRY huge = entry;
    huge.unpacked = 0xFFFFFFF0u;
    cases.push_back({cut, "cut stream"});
    cases.push_back({longer, "stated size larger"});
    cases.push_back({shorter, "stated size smaller"});
    cases.push_back({huge, "stated size beyond any expansion"});
  }
  FIXTUREENTRY nodata = ZlibEntry("n", text);
  nodata.stored.clear();
  cases.push_back({nodata, "no packed bytes"});
  for (const Case& c : cases) {
    OpenFixture(BuildPackage({c.entry}), VFILE_MODE_READ);
    EXPECT_EQ(DataCode(0), VPK_ERR_CORRUPT) << c.what << " method " << int(c.entry.method);
  }
}

TEST_F(VPackageTest, CountsTheFileCannotHoldReadNothing) {
  std::string bytes = BuildPackage({RawEntry("a", "alpha")});
  PutLe32(bytes, 16, 0x10000000u);
  bytes.replace(20, 4, Le32(0));
  PutLe32(bytes, 20, ExpectedChecksum(bytes.substr(0, 28)));
  OpenFixture(bytes);
  ASSERT_TRUE(pack.PackValid());
  EXPECT_EQ(pack.PackContainFiles(), 0x10000000u);
  EXPECT_EQ(pack.PackBuildIndex(), nullptr);
  EXPECT_EQ(DataCode(0), VPK_ERR_NOENTRY);
  int32_t found = -1;
  EXPECT_EQ(pack.PackSearchFile("a", found), 0);
  EXPECT_EQ(pack.PackAddFileData("b", "x", 1, false, 0, 0), VPK_ERR_IO);
  EXPECT_EQ(pack.PackDeleteFile(0), VPK_ERR_IO);
  pack.Close();
  EXPECT_EQ(Get("p.vpk"), bytes);
}

// --- writing ---------------------------------------------------------------------------

TEST_F(VPackageTest, NewPackageIsAValidEmptyHeader) {
  ASSERT_EQ(pack.PackNew("p.vpk"), VPK_OK);
  EXPECT_TRUE(pack.PackValid());
  EXPECT_EQ(pack.PackContainFiles(), 0u);
  EXPECT_EQ(pack.Tell(), 0u);
  EXPECT_EQ(pack.PackBuildIndex(), nullptr);  // nothing to index
  char vendor[5];
  ASSERT_EQ(pack.PackGetVendor(vendor), 1);
  EXPECT_STREQ(vendor, "VEXA");
  pack.Close();
  const std::string bytes = Get("p.vpk");
  EXPECT_EQ(bytes.size(), 28u);
  EXPECT_TRUE(ParseWritten(bytes).empty());
  EXPECT_EQ(bytes.substr(4, 4), "VEXA");

  EXPECT_EQ(pack.PackNew("p.vpk", "ZZZZ"), VPK_ERR_EXISTS);
  EXPECT_EQ(Get("p.vpk"), bytes);
  ASSERT_EQ(pack.PackNew(u"q.vpk", u"AB"), VPK_OK);
  char16_t widevendor[5];
  ASSERT_EQ(pack.PackGetVendor(widevendor), 1);
  EXPECT_EQ(std::u16string(widevendor, 4), std::u16string(u"AB\0\0", 4));
  pack.Close();
  EXPECT_EQ(Get("q.vpk").substr(4, 4), std::string("AB\0\0", 4));
}

TEST_F(VPackageTest, WrittenPackagesReadBack) {
  NewPackage();
  const std::string text = TextBytes(5000);
  const std::string noise = RandomBytes(7, 2000);
  Add("dir/Raw.TXT", "raw text", VPK_METHOD_RAW);
  Add("lzw.txt", text, VPK_METHOD_LZW);
  Add("zlib.txt", text, VPK_METHOD_ZLIB);
  Add("noise.bin", noise, VPK_METHOD_ZLIB);
  Add("noise2.bin", noise, VPK_METHOD_LZW);
  Add("three", "aaa", VPK_METHOD_ZLIB);   // below 4 bytes the size test would wrap
  Add("other", "other method", 9);
  EXPECT_EQ(pack.PackContainFiles(), 7u);
  ExpectContents({{"Raw.TXT", "raw text"},
                  {"lzw.txt", text},
                  {"zlib.txt", text},
                  {"noise.bin", noise},
                  {"noise2.bin", noise},
                  {"three", "aaa"},
                  {"other", "other method"}});
  const std::vector<PARSEDENTRY> parsed = ParseWritten(Get("p.vpk"));
  ASSERT_EQ(parsed.size(), 7u);
  const uint8_t methods[] = {0, 1, 2, 0, 0, 0, 0};
  for (size_t i = 0; i < parsed.size(); i++) {
    EXPECT_EQ(parsed[i].method, methods[i]) << parsed[i].name;
    if (parsed[i].method == 0) {
      EXPECT_EQ(parsed[i].packed, parsed[i].unpacked) << parsed[i].name;
    } else {
      EXPECT_LT(parsed[i].packed + 4, parsed[i].unpacked) << parsed[i].name;
    }
  }
}

TEST_F(VPackageTest, AddedEntriesCarryTheirTimes) {
  NewPackage();
  const time_t before = std::time(nullptr);
  ASSERT_EQ(pack.PackAddFileData("t", "x", 1, false, 0, 123456u), VPK_OK);
  const time_t after = std::time(nullptr);
  VPK_FILEINFO info;
  ASSERT_EQ(pack.PackGetFileInfo(info, 0, false), 1);
  EXPECT_EQ(info.modifiedtime, 123456u);
  EXPECT_GE(info.addedtime, static_cast<uint32_t>(before));
  EXPECT_LE(info.addedtime, static_cast<uint32_t>(after));
  EXPECT_EQ(info.recordsize, 92u);
}

TEST_F(VPackageTest, EmptyEntriesAddConvertAndExtract) {
  NewPackage();
  ASSERT_EQ(pack.PackAddFileData("none", nullptr, 10, false, VPK_METHOD_ZLIB, 0), VPK_OK);
  ASSERT_EQ(pack.PackAddFileData(u"zero", "x", 0, false, VPK_METHOD_LZW, 0), VPK_OK);
  Add("after", "tail");
  int code = -1;
  EXPECT_EQ(EntryData(pack, 0, &code), "");
  EXPECT_EQ(code, VPK_OK);
  EXPECT_EQ(EntryData(pack, 1, &code), "");
  EXPECT_EQ(code, VPK_OK);
  ASSERT_EQ(mkdir((folder + "out").c_str(), 0700), 0);
  ASSERT_EQ(pack.PackExtractFile("out", "zero", false), VPK_OK);
  EXPECT_EQ(Get("out/zero"), "");
  ExpectContents({{"none", ""}, {"zero", ""}, {"after", "tail"}});
}

TEST_F(VPackageTest, ReplacingKeepsTheIndexAndShiftsLaterPositions) {
  NewPackage();
  Add("a", "first");
  Add("b", "second entry");
  Add("c", "third");
  const std::vector<PARSEDENTRY> before = ParseWritten(Get("p.vpk"));
  ASSERT_EQ(before.size(), 3u);

  const std::string unchanged = Get("p.vpk");
  EXPECT_EQ(pack.PackAddFileData("B", "x", 1, false, 0, 0), VPK_ERR_EXISTS);
  pack.Close();
  EXPECT_EQ(Get("p.vpk"), unchanged);
  ASSERT_EQ(pack.Open("p.vpk", VFILE_MODE_READWRITE), 1);

  for (const std::string& replacement : {std::string(400, 'L'), std::string("s")}) {
    ASSERT_EQ(pack.PackAddFileData("B", replacement.data(), static_cast<uint32_t>(replacement.size()), true, 0, 0),
              VPK_OK);
    EXPECT_EQ(pack.PackContainFiles(), 3u);
    const std::vector<PARSEDENTRY> after = ParseWritten(Get("p.vpk"));
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(after[0].position, before[0].position);
    EXPECT_EQ(after[1].position, before[1].position);
    const int64_t difference = int64_t(replacement.size()) - 12;
    EXPECT_EQ(int64_t(after[2].position), int64_t(before[2].position) + difference);
    EXPECT_EQ(after[1].name, "B");
    EXPECT_EQ(EntryData(pack, 2), "third");
    EXPECT_EQ(EntryData(pack, 1), replacement);
  }
  ExpectContents({{"a", "first"}, {"B", "s"}, {"c", "third"}});
}

TEST_F(VPackageTest, DeletingShiftsLaterEntriesDown) {
  NewPackage();
  Add("a", "first");
  Add("b", "second entry");
  Add("c", "third");
  Add("d", "fourth");
  const std::vector<PARSEDENTRY> before = ParseWritten(Get("p.vpk"));
  ASSERT_EQ(pack.PackDeleteFile(1), VPK_OK);
  const std::vector<PARSEDENTRY> after = ParseWritten(Get("p.vpk"));
  ASSERT_EQ(after.size(), 3u);
  EXPECT_EQ(after[1].position, before[2].position - (92 + 12));
  EXPECT_EQ(after[2].position, before[3].position - (92 + 12));
  EXPECT_EQ(pack.PackDeleteFile("C"), VPK_OK);
  EXPECT_EQ(pack.PackDeleteFile(u"missing"), VPK_ERR_NOENTRY);
  EXPECT_EQ(pack.PackDeleteFile(2), VPK_ERR_NOENTRY);
  EXPECT_EQ(pack.PackDeleteFile(-1), VPK_ERR_NOENTRY);
  EXPECT_EQ(EntryData(pack, 1), "fourth");
  ExpectContents({{"a", "first"}, {"d", "fourth"}});
}

TEST_F(VPackageTest, DeletingTheOnlyEntryLeavesTheHeader) {
  NewPackage();
  Add("only", TextBytes(900), VPK_METHOD_ZLIB);
  ASSERT_EQ(pack.PackDeleteFile(0), VPK_OK);
  EXPECT_EQ(pack.PackContainFiles(), 0u);
  pack.Close();
  const std::string bytes = Get("p.vpk");
  EXPECT_EQ(bytes.size(), 28u);
  EXPECT_TRUE(ParseWritten(bytes).empty());
}

TEST_F(VPackageTest, WritersSearchTheRecordsNotAnOutdatedIndex) {
  NewPackage();
  Add("a", "A");
  Add("b", "B");
  Add("c", "C");
  uint8_t* index = pack.PackBuildIndex();
  ASSERT_NE(index, nullptr);
  ASSERT_EQ(pack.PackDeleteFile("a"), VPK_OK);  // forgets the index
  int32_t found = -1;
  ASSERT_EQ(pack.PackSearchFile("c", found), 1);
  EXPECT_EQ(found, 1);
  ClassVMemory::DeAlloc(index);

  // An index that lies: it names c as entry 0.
  uint8_t lying[2 * 64] = {};
  std::strcpy(reinterpret_cast<char*>(lying), "c");
  pack.PackUseIndex(lying);
  EXPECT_EQ(pack.PackAddFileData("c", "again", 5, false, 0, 0), VPK_ERR_EXISTS);
  ASSERT_EQ(pack.PackAddFileData("c", "again", 5, true, 0, 0), VPK_OK);
  pack.PackUseIndex(lying);
  ASSERT_EQ(pack.PackDeleteFile("b"), VPK_OK);
  ExpectContents({{"c", "again"}});
}

TEST_F(VPackageTest, WritersRewriteReservedHeaderBytes) {
  std::string bytes = BuildPackage({RawEntry("a", "alpha")});
  bytes[13] = 7;
  bytes[26] = 9;
  PutLe32(bytes, 20, 0);
  PutLe32(bytes, 20, ExpectedChecksum(bytes.substr(0, 28)));
  OpenFixture(bytes);
  ASSERT_TRUE(pack.PackValid());
  Add("b", "beta");
  ExpectContents({{"a", "alpha"}, {"b", "beta"}});  // ParseWritten checks the reserved bytes
}

TEST_F(VPackageTest, WritersRefuseTablesOutOfOrder) {
  std::string bytes = BuildPackage({RawEntry("a", "alpha"), RawEntry("b", "beta")});
  const size_t table = bytes.size() - 8;
  const uint32_t first = GetLe32(bytes, table);
  PutLe32(bytes, table, GetLe32(bytes, table + 4));
  PutLe32(bytes, table + 4, first);
  OpenFixture(bytes);
  EXPECT_EQ(pack.PackAddFileData("c", "x", 1, false, 0, 0), VPK_ERR_IO);
  EXPECT_EQ(pack.PackDeleteFile(0), VPK_ERR_IO);
  pack.Close();
  EXPECT_EQ(Get("p.vpk"), bytes);
}

TEST_F(VPackageTest, ChangingTheVendorKeepsEveryEntry) {
  NewPackage();
  Add("a", "alpha");
  ASSERT_EQ(pack.PackChangeVendor("Q"), 1);
  char vendor[5];
  ASSERT_EQ(pack.PackGetVendor(vendor), 1);
  EXPECT_EQ(std::string(vendor, 4), std::string("Q\0\0\0", 4));
  EXPECT_EQ(EntryData(pack, 0), "alpha");
  ASSERT_EQ(pack.PackChangeVendor(u"WIDE"), 1);
  EXPECT_EQ(pack.PackChangeVendor(static_cast<const char*>(nullptr)), 0);
  ExpectContents({{"a", "alpha"}});
  EXPECT_EQ(Get("p.vpk").substr(4, 4), "WIDE");
}

TEST_F(VPackageTest, AddingFilesUsesTheirNameAndModificationTime) {
  ASSERT_EQ(mkdir((folder + "src").c_str(), 0700), 0);
  Put("src/Picture.PNG", "not really a picture");
  struct utimbuf times {1000000000, 1000000000};
  ASSERT_EQ(utime((folder + "src/Picture.PNG").c_str(), &times), 0);
  NewPackage();
  ASSERT_EQ(pack.PackAddFile("src\\Picture.PNG", false, VPK_METHOD_ZLIB), VPK_OK);
  VPK_FILEINFO info;
  ASSERT_EQ(pack.PackGetFileInfo(info, "picture.png", false), 1);
  EXPECT_STREQ(info.name, "Picture.PNG");
  EXPECT_EQ(info.modifiedtime, 1000000000u);
  const std::string before = Get("p.vpk");
  EXPECT_EQ(pack.PackAddFile(u"src/Picture.PNG", false, VPK_METHOD_ZLIB), VPK_ERR_EXISTS);
  EXPECT_EQ(Get("p.vpk"), before);
  EXPECT_EQ(pack.PackAddFile("src/missing.png", false, VPK_METHOD_ZLIB), VPK_ERR_NOENTRY);
  EXPECT_EQ(pack.PackAddFile("src/", false, VPK_METHOD_ZLIB), VPK_ERR_NOENTRY);
  Put("src/Picture.PNG", "");
  ASSERT_EQ(pack.PackAddFile("src/Picture.PNG", true, VPK_METHOD_ZLIB), VPK_OK);
  ExpectContents({{"Picture.PNG", ""}});
}

// A package whose count stands at the limit, made of the smallest records.
TEST_F(VPackageTest, AFullPackageTakesNoNewEntry) {
  std::string bytes = HeaderBytes(28, VPK_MAXENTRIES);
  std::string table;
  for (uint32_t i = 0; i < VPK_MAXENTRIES; i++) {
    table += Le32(static_cast<uint32_t>(28 + i * 4));
    bytes += Le32(4);
  }
  OpenFixture(bytes + table);
  ASSERT_TRUE(pack.PackValid());
  EXPECT_EQ(pack.PackAddFileData("new", "x", 1, false, 0, 0), VPK_ERR_FULL);
}

// --- extracting -------------------------------------------------------------------------

TEST_F(VPackageTest, ExtractWritesIntoTheFolderWithOrWithoutItsSeparator) {
  NewPackage();
  Add("a.txt", "alpha");
  Add("b.txt", TextBytes(1000), VPK_METHOD_LZW);
  ASSERT_EQ(mkdir((folder + "out").c_str(), 0700), 0);
  ASSERT_EQ(pack.PackExtractFile("out", "a.txt", false), VPK_OK);
  EXPECT_EQ(Get("out/a.txt"), "alpha");
  EXPECT_EQ(pack.PackExtractFile("out/", "a.txt", false), VPK_ERR_EXISTS);
  EXPECT_EQ(pack.PackExtractFile(u"out\\", u"A.TXT", false), VPK_ERR_EXISTS);
  Put("out/a.txt", "mine");
  EXPECT_EQ(pack.PackExtractFile((folder + "out").c_str(), 0, false), VPK_ERR_EXISTS);
  EXPECT_EQ(Get("out/a.txt"), "mine");
  ASSERT_EQ(pack.PackExtractFile(u"out", 0, true), VPK_OK);
  EXPECT_EQ(Get("out/a.txt"), "alpha");
  ASSERT_EQ(pack.PackExtractFile("out", 1, false), VPK_OK);
  EXPECT_EQ(Get("out/b.txt"), TextBytes(1000));
  EXPECT_EQ(pack.PackExtractFile("out", 2, false), VPK_ERR_NOENTRY);
  EXPECT_EQ(pack.PackExtractFile("out", "c.txt", false), VPK_ERR_NOENTRY);
  EXPECT_EQ(pack.PackExtractFile("missing-folder", 0, false), VPK_ERR_IO);
}

TEST_F(VPackageTest, ExtractNeverLeavesTheFolder) {
  struct Case {
    std::string stored;
    std::string written;  // "" when refused
  };
  const Case cases[] = {{"../x", "x"}, {"a/../../x", "x"}, {"..\\..\\y", "y"}, {"/etc/z", "z"},
                        {"..", ""},    {".", ""},          {"sub/", ""},       {"sub/..", ""}};
  ASSERT_EQ(mkdir((folder + "out").c_str(), 0700), 0);
  for (const Case& c : cases) {
    OpenFixture(BuildPackage({RawEntry(c.stored, "escaped?")}));
    const int code = pack.PackExtractFile("out", 0, true);
    if (c.written.empty()) {
      EXPECT_EQ(code, VPK_ERR_IO) << c.stored;
    } else {
      EXPECT_EQ(code, VPK_OK) << c.stored;
      EXPECT_EQ(Get("out/" + c.written), "escaped?") << c.stored;
      std::remove((folder + "out/" + c.written).c_str());
    }
    EXPECT_FALSE(Present("x"));
    EXPECT_FALSE(Present("y"));
  }
}

TEST_F(VPackageTest, CorruptEntriesCreateAndTruncateNothing) {
  FIXTUREENTRY bad = ZlibEntry("victim.txt", TextBytes(600));
  bad.stored[4] ^= 0x33;
  OpenFixture(BuildPackage({bad}));
  ASSERT_EQ(mkdir((folder + "out").c_str(), 0700), 0);
  EXPECT_EQ(pack.PackExtractFile("out", 0, true), VPK_ERR_CORRUPT);
  EXPECT_FALSE(Present("out/victim.txt"));
  Put("out/victim.txt", "keep me");
  EXPECT_EQ(pack.PackExtractFile("out", 0, true), VPK_ERR_CORRUPT);
  EXPECT_EQ(Get("out/victim.txt"), "keep me");
}

// --- the old layout ---------------------------------------------------------------------

TEST_F(VPackageTest, OldPackagesAreReadInPlace) {
  const std::string text = TextBytes(1500);
  const std::string longname = "old/folder/" + std::string(80, 'q') + ".dat";
  OpenFixture(BuildOldPackage({RawEntry("Old\\Raw.bin", "old raw"), ZlibEntry(longname, text), RawEntry("e", "")}),
              VFILE_MODE_READ);
  ASSERT_TRUE(pack.PackValid());
  EXPECT_EQ(pack.PackContainFiles(), 3u);
  char vendor[5];
  ASSERT_EQ(pack.PackGetVendor(vendor), 1);
  EXPECT_STREQ(vendor, "OLDV");
  VPK_FILEINFO info;
  ASSERT_EQ(pack.PackGetFileInfo(info, 1, false), 1);
  EXPECT_EQ(std::string(info.name), std::string(59, 'q') + ".dat");
  EXPECT_EQ(info.modifiedtime, 0u);
  int32_t found = -1;
  ASSERT_EQ(pack.PackSearchFile("RAW.BIN", found), 1);
  EXPECT_EQ(found, 0);
  EXPECT_EQ(EntryData(pack, 0), "old raw");
  EXPECT_EQ(EntryData(pack, 1), text);
  EXPECT_EQ(EntryData(pack, 2), "");
}

TEST_F(VPackageTest, ConvertingTheOldLayoutKeepsEveryEntry) {
  const std::string text = TextBytes(1500);
  OpenFixture(BuildOldPackage({RawEntry("a.bin", "old raw"), LzwEntry("b.txt", text), ZlibEntry("c.txt", text),
                               RawEntry("empty", "")}));
  uint8_t* index = pack.PackBuildIndex();
  ASSERT_NE(index, nullptr);
  ASSERT_EQ(pack.ConvertPackFile(), 1);
  EXPECT_TRUE(pack.PackValid());
  EXPECT_EQ(pack.ConvertPackFile(), 1);  // already current
  EXPECT_FALSE(Present("p.vpk_tmp"));
  char vendor[5];
  ASSERT_EQ(pack.PackGetVendor(vendor), 1);
  EXPECT_STREQ(vendor, "OLDV");
  ClassVMemory::DeAlloc(index);
  ExpectContents({{"a.bin", "old raw"}, {"b.txt", text}, {"c.txt", text}, {"empty", ""}});
  const std::vector<PARSEDENTRY> parsed = ParseWritten(Get("p.vpk"));
  ASSERT_EQ(parsed.size(), 4u);
  EXPECT_EQ(parsed[1].method, 1);
  EXPECT_EQ(parsed[2].method, 2);
}

TEST_F(VPackageTest, WritersConvertTheOldLayoutFirst) {
  OpenFixture(BuildOldPackage({RawEntry("a", "alpha"), RawEntry("b", "beta")}));
  Add("c", "gamma");
  EXPECT_EQ(pack.PackDeleteFile("a"), VPK_OK);
  ExpectContents({{"b", "beta"}, {"c", "gamma"}});

  OpenFixture(BuildOldPackage({RawEntry("a", "alpha")}));
  ASSERT_EQ(pack.PackChangeVendor("NEWV"), 1);
  ExpectContents({{"a", "alpha"}});
  EXPECT_EQ(Get("p.vpk").substr(4, 4), "NEWV");
}

TEST_F(VPackageTest, AFailedConversionLeavesThePackageUntouched) {
  const std::string old = BuildOldPackage({RawEntry("a", "alpha"), RawEntry("b", "beta")});
  // Something already lies at the temporary path.
  OpenFixture(old);
  Put("p.vpk_tmp", "someone else's");
  EXPECT_EQ(pack.ConvertPackFile(), 0);
  EXPECT_EQ(pack.PackAddFileData("c", "x", 1, false, 0, 0), VPK_ERR_IO);
  EXPECT_TRUE(pack.PackValid());
  EXPECT_EQ(EntryData(pack, 1), "beta");
  pack.Close();
  EXPECT_EQ(Get("p.vpk"), old);
  EXPECT_EQ(Get("p.vpk_tmp"), "someone else's");
  std::remove((folder + "p.vpk_tmp").c_str());

  // An entry that cannot be read.
  std::string broken = old;
  PutLe32(broken, 32 + 152 + 136, 0x10000u);
  OpenFixture(broken);
  EXPECT_EQ(pack.ConvertPackFile(), 0);
  EXPECT_EQ(pack.PackDeleteFile(0), VPK_ERR_IO);
  EXPECT_EQ(EntryData(pack, 0), "alpha");
  pack.Close();
  EXPECT_EQ(Get("p.vpk"), broken);
  EXPECT_FALSE(Present("p.vpk_tmp"));
}

TEST_F(VPackageTest, AReadOnlyOldPackageConvertsAndStaysReadOnly) {
  OpenFixture(BuildOldPackage({RawEntry("a", "alpha")}), VFILE_MODE_READ);
  ASSERT_EQ(pack.ConvertPackFile(), 1);
  EXPECT_EQ(EntryData(pack, 0), "alpha");
  EXPECT_EQ(pack.Write("x", 1), 0);
  ExpectContents({{"a", "alpha"}});
}

}  // namespace
