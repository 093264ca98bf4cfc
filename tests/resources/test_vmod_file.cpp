// Tests of the file object's plain half: open modes, byte I/O, sizes,
// truncation and moves inside a file, files and folders by name, listings,
// attributes and information, path resolution against a current folder and
// the folder normalisation.
#include <algorithm>
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

#include "framework/vexa_records.h"
#include "resources/vmod_file.h"
#include "tests/support/temp_folder.h"

namespace {

std::u16string Widen(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

std::string Narrow(const char16_t* text) {
  std::string out;
  for (; *text != u'\0'; text++) out.push_back(static_cast<char>(*text));
  return out;
}

std::string WorkingFolder() {
  char folder[1024];
  EXPECT_NE(getcwd(folder, sizeof folder), nullptr);
  std::string path = folder;
  if (path.back() != '/') path += '/';
  return path;
}

// A fresh folder under /tmp per test, removed with its files afterwards.
class VFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = MakeTempFolder("vexa_file_");
    ASSERT_FALSE(folder.empty());
    file.SetCurrentFolder(folder.c_str());
  }

  void TearDown() override {
    file.Close();
    RemoveTree(folder);
  }

  void Put(const std::string& name, const std::string& bytes) {
    FILE* f = std::fopen((folder + name).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }

  std::string Get(const std::string& name) {
    std::string bytes;
    FILE* f = std::fopen((folder + name).c_str(), "rb");
    if (f == nullptr) return "<missing>";
    int c;
    while ((c = std::fgetc(f)) != EOF) bytes.push_back(static_cast<char>(c));
    std::fclose(f);
    return bytes;
  }

  std::string folder;
  ClassVFile file;
};

// --- open modes ----------------------------------------------------------------

struct OpenModeCase {
  int mode;
  bool opensExisting;
  bool createsMissing;
  bool reads;
  bool writes;
  bool truncates;
};

const OpenModeCase kOpenModes[] = {
    {0, true, false, true, true, false},
    {1, true, false, true, false, false},
    {2, true, true, false, true, true},
    {3, true, false, true, true, false},
    {4, false, false, false, false, false},
    {-1, false, false, false, false, false},
};

class VFileOpenModeTest : public VFileTest, public ::testing::WithParamInterface<OpenModeCase> {};

TEST_P(VFileOpenModeTest, ModeDecidesAccess) {
  const OpenModeCase& c = GetParam();
  Put("data.bin", "hello");

  ASSERT_EQ(file.Open("data.bin", c.mode), c.opensExisting ? 1 : 0);
  EXPECT_EQ(file.IsOpen(), c.opensExisting);
  EXPECT_EQ(file.Tell(), 0u);
  char buffer[5] = {};
  EXPECT_EQ(file.Read(buffer, 5), c.reads ? 1 : 0);
  if (c.reads) {
    EXPECT_EQ(std::string(buffer, 5), "hello");
  }
  file.Seek(0);
  EXPECT_EQ(file.Write("HE", 2), c.writes ? 1 : 0);
  file.Close();

  std::string expected = "hello";
  if (c.truncates) expected = "";
  if (c.writes) expected.replace(0, 2, "HE");
  EXPECT_EQ(Get("data.bin"), expected);

  EXPECT_EQ(file.Open("missing.bin", c.mode), c.createsMissing ? 1 : 0);
  EXPECT_EQ(Get("missing.bin") != "<missing>", c.createsMissing);
}

INSTANTIATE_TEST_SUITE_P(Modes, VFileOpenModeTest, ::testing::ValuesIn(kOpenModes));

TEST_F(VFileTest, NewCreatesOrTruncatesForReadingAndWriting) {
  Put("old.bin", "previous contents");
  for (const char* name : {"old.bin", "fresh.bin"}) {
    ASSERT_EQ(file.New(name), 1) << name;
    EXPECT_EQ(file.Size(), 0u);
    ASSERT_EQ(file.Write("abc", 3), 1);
    ASSERT_EQ(file.Seek(0), 1);
    char back[3] = {};
    ASSERT_EQ(file.Read(back, 3), 1);
    EXPECT_EQ(std::string(back, 3), "abc");
    file.Close();
    EXPECT_EQ(Get(name), "abc");
  }
}

TEST_F(VFileTest, OpenClosesThePreviousStream) {
  Put("a.bin", "A");
  Put("b.bin", "BB");
  ASSERT_EQ(file.Open("a.bin", VFILE_MODE_READ), 1);
  ASSERT_EQ(file.Open("b.bin", VFILE_MODE_READ), 1);
  EXPECT_EQ(file.Size(), 2u);
  EXPECT_EQ(file.Open("missing.bin", VFILE_MODE_READ), 0);
  EXPECT_FALSE(file.IsOpen());
}

// --- byte I/O ------------------------------------------------------------------

TEST_F(VFileTest, ReadWriteSeekTellAndSize) {
  ASSERT_EQ(file.New(u"io.bin"), 1);
  ASSERT_EQ(file.Write("0123456789", 10), 1);
  EXPECT_EQ(file.Tell(), 10u);
  EXPECT_EQ(file.Size(), 10u);
  EXPECT_EQ(file.Size(u"io.bin"), 10u);  // the open file, named
  EXPECT_EQ(file.SizeC("io.bin"), 10u);
  EXPECT_EQ(file.Tell(), 10u);  // sizing keeps the position

  ASSERT_EQ(file.Seek(4), 1);
  char part[3] = {};
  ASSERT_EQ(file.Read(part, 3), 1);
  EXPECT_EQ(std::string(part, 3), "456");
  EXPECT_EQ(file.Tell(), 7u);

  // Switching from reading to writing in place needs no seek of the caller.
  ASSERT_EQ(file.Write("xy", 2), 1);
  ASSERT_EQ(file.Seek(0), 1);
  char whole[10] = {};
  ASSERT_EQ(file.Read(whole, 10), 1);
  EXPECT_EQ(std::string(whole, 10), "0123456xy9");

  // A block that runs past the end did not move whole.
  ASSERT_EQ(file.Seek(8), 1);
  char tail[4] = {};
  EXPECT_EQ(file.Read(tail, 4), 0);
}

TEST_F(VFileTest, SizeOfOtherAndMissingFiles) {
  Put("other.bin", std::string(1234, 'x'));
  ASSERT_EQ(file.New("open.bin"), 1);
  EXPECT_EQ(file.SizeC("other.bin"), 1234u);
  EXPECT_EQ(file.Size(Widen(folder + "other.bin").c_str()), 1234u);
  EXPECT_EQ(file.SizeC("missing.bin"), 0u);
  EXPECT_EQ(file.SizeC(""), 0u);  // the current folder is no file
  file.Close();
  EXPECT_EQ(file.Size(), 0u);
}

TEST_F(VFileTest, ClosedObjectMovesNothing) {
  uint8_t buffer[4] = {7, 7, 7, 7};
  EXPECT_EQ(file.Read(buffer, 4), 0);
  EXPECT_EQ(buffer[0], 7);
  EXPECT_EQ(file.Write(buffer, 4), 0);
  EXPECT_EQ(file.Seek(0), 0);
  EXPECT_EQ(file.Tell(), 0u);
  EXPECT_EQ(file.Size(), 0u);
  EXPECT_FALSE(file.IsOpen());
}

TEST_F(VFileTest, LengthZeroMovesNothing) {
  ASSERT_EQ(file.New("zero.bin"), 1);
  char buffer[1] = {'q'};
  EXPECT_EQ(file.Write(buffer, 0), 0);
  EXPECT_EQ(file.Read(buffer, 0), 0);
  EXPECT_EQ(file.Tell(), 0u);
  EXPECT_EQ(buffer[0], 'q');
}

// --- truncation and moves ------------------------------------------------------

struct SetSizeCase {
  uint32_t position;
  uint32_t size;
  uint32_t expectedposition;
};

const SetSizeCase kSetSizeCases[] = {
    {4, 6, 4},    // inside the new size: kept
    {6, 6, 6},    // at the new end: kept
    {8, 6, 5},    // beyond a non-zero new size: its last byte
    {10, 0, 10},  // a new size of 0 keeps any position
    {2, 20, 2},   // growing fills with zeros
};

TEST_F(VFileTest, SetSizeTruncatesAndPlacesThePosition) {
  for (const SetSizeCase& c : kSetSizeCases) {
    ASSERT_EQ(file.New("cut.bin"), 1);
    ASSERT_EQ(file.Write("0123456789", 10), 1);
    ASSERT_EQ(file.Seek(c.position), 1);
    EXPECT_EQ(file.SetSize(c.size), 1);
    EXPECT_TRUE(file.IsOpen());
    EXPECT_EQ(file.Size(), c.size);
    EXPECT_EQ(file.Tell(), c.expectedposition) << c.position << " -> " << c.size;
    file.Close();
    std::string expected = std::string("0123456789").substr(0, c.size);
    expected.resize(c.size, '\0');
    EXPECT_EQ(Get("cut.bin"), expected);
  }
}

TEST_F(VFileTest, SetSizeReopensForWriting) {
  Put("ro.bin", "abcdef");
  ASSERT_EQ(file.Open("ro.bin", VFILE_MODE_READ), 1);
  EXPECT_EQ(file.Write("x", 1), 0);
  ASSERT_EQ(file.SetSize(3), 1);
  ASSERT_EQ(file.Seek(0), 1);
  EXPECT_EQ(file.Write("X", 1), 1);
  file.Close();
  EXPECT_EQ(Get("ro.bin"), "Xbc");
  EXPECT_EQ(file.SetSize(0), 0);  // nothing open
}

struct MoveCase {
  uint32_t destination;
  uint32_t source;
  uint32_t length;
  uint32_t buffer;
};

const MoveCase kMoveCases[] = {
    {0, 10, 50, 7},   {10, 0, 50, 7},  {5, 6, 90, 1},   {6, 5, 90, 3},   {0, 50, 50, 64},
    {40, 0, 60, 13},  {50, 0, 80, 16}, {0, 99, 1, 4},   {3, 0, 97, 97},  {0, 3, 97, 32768},
};

TEST_F(VFileTest, MoveDataMatchesAnOverlapSafeMove) {
  std::string original;
  for (int i = 0; i < 100; i++) original.push_back(static_cast<char>('A' + i % 50));
  for (const MoveCase& c : kMoveCases) {
    Put("move.bin", original);
    ASSERT_EQ(file.Open("move.bin", VFILE_MODE_READWRITE), 1);
    EXPECT_EQ(file.MoveData(c.destination, c.source, c.length, c.buffer), 1);
    file.Close();
    std::string expected = original;
    expected.resize(std::max<size_t>(expected.size(), c.destination + c.length), '\0');
    std::memmove(&expected[c.destination], original.data() + c.source, c.length);
    EXPECT_EQ(Get("move.bin"), expected) << c.destination << " " << c.source << " " << c.length << " " << c.buffer;
  }
}

TEST_F(VFileTest, MoveDataEdgeCases) {
  Put("move.bin", "0123456789");
  EXPECT_EQ(file.MoveData(0, 1, 2, 4), 0);  // nothing open
  ASSERT_EQ(file.Open("move.bin", VFILE_MODE_READWRITE), 1);
  EXPECT_EQ(file.MoveData(0, 5, 0, 4), 1);
  EXPECT_EQ(file.MoveData(3, 3, 5, 4), 1);
  EXPECT_EQ(file.MoveData(0, 5, 5, 0), 0);   // no buffer
  EXPECT_EQ(file.MoveData(0, 8, 5, 4), 0);   // source runs past the end
  EXPECT_EQ(file.MoveData(0, 0xFFFFFFF0u, 0x20, 4), 0);
  file.Close();
  EXPECT_EQ(Get("move.bin").substr(3), "3456789");
}

// --- files and folders by name -----------------------------------------------------

TEST_F(VFileTest, DeleteAndRenameFiles) {
  Put("old.txt", "contents");
  EXPECT_EQ(file.Rename("new.txt", "old.txt"), 1);  // the new name comes first
  EXPECT_EQ(Get("old.txt"), "<missing>");
  EXPECT_EQ(Get("new.txt"), "contents");
  EXPECT_EQ(file.Rename(u"back.txt", u"new.txt"), 1);
  EXPECT_EQ(file.Rename("x.txt", "missing.txt"), 0);
  EXPECT_EQ(file.Delete("back.txt"), 1);
  EXPECT_EQ(Get("back.txt"), "<missing>");
  EXPECT_EQ(file.Delete(u"back.txt"), 0);
  EXPECT_EQ(file.Delete(std::string(300, 'd').c_str()), 0);
}

TEST_F(VFileTest, FoldersAreMadeSearchableRemovedAndRenamed) {
  ASSERT_EQ(file.NewFolder("made"), 1);
  struct stat status;
  ASSERT_EQ(stat((folder + "made").c_str(), &status), 0);
  EXPECT_TRUE(S_ISDIR(status.st_mode));
  EXPECT_EQ(status.st_mode & 0777, 0700u);
  Put("made/inside.txt", "x");
  EXPECT_EQ(file.NewFolder(u"made"), 0);
  EXPECT_EQ(file.DeleteFolder("made"), 0);  // not empty
  EXPECT_EQ(file.RenameFolder("renamed", "made"), 1);
  EXPECT_EQ(Get("renamed/inside.txt"), "x");
  std::remove((folder + "renamed/inside.txt").c_str());
  EXPECT_EQ(file.RenameFolder(u"again", u"renamed"), 1);
  EXPECT_EQ(file.DeleteFolder(u"again"), 1);
  EXPECT_FALSE(file.Exists("again"));
  EXPECT_EQ(file.NewFolder(std::string(300, 'f').c_str()), 0);
}

TEST_F(VFileTest, ListingShowsEveryEntryThenCloses) {
  Put("a.txt", "");
  Put("b.png", "");
  ASSERT_EQ(mkdir((folder + "sub").c_str(), 0700), 0);
  for (bool wide : {false, true}) {
    ASSERT_EQ(wide ? file.OpenFolder(Widen(folder).c_str(), u"*.png") : file.OpenFolder(folder.c_str()), 1);
    std::vector<std::string> names;
    if (wide) {
      char16_t name[VFILE_NAMEMAX];
      while (file.ReadFolder(name)) names.push_back(Narrow(name));
    } else {
      char name[VFILE_NAMEMAX];
      while (file.ReadFolder(name)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "a.txt", "b.png", "sub"}));  // the pattern filters nothing
    char name[VFILE_NAMEMAX];
    EXPECT_EQ(file.ReadFolder(name), 0);
  }
  file.SetCurrentFolder("sub");
  ASSERT_EQ(file.OpenFolder(""), 1);  // the current folder
  char name[VFILE_NAMEMAX];
  int count = 0;
  while (file.ReadFolder(name)) count++;
  EXPECT_EQ(count, 2);
  EXPECT_EQ(file.OpenFolder("missing"), 0);
  file.CloseFolder();
  EXPECT_EQ(file.ReadFolder(name), 0);
}

// --- attributes and information ---------------------------------------------------

TEST_F(VFileTest, AttributesTellFilesFoldersAndReadOnlyEntries) {
  Put("file.txt", "x");
  Put("locked.txt", "x");
  ASSERT_EQ(mkdir((folder + "dir").c_str(), 0700), 0);
  ASSERT_EQ(mkdir((folder + "lockeddir").c_str(), 0500), 0);
  ASSERT_EQ(chmod((folder + "locked.txt").c_str(), 0444), 0);
  struct Case {
    const char* name;
    uint16_t attributes;
    bool folder;
  };
  const Case cases[] = {{"file.txt", 0x01, false},
                        {"dir", 0x21, true},
                        {"locked.txt", 0x03, false},
                        {"lockeddir", 0x03, false},
                        {"missing", 0x00, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(file.GetAttributesC(c.name), c.attributes) << c.name;
    EXPECT_EQ(file.GetAttributes(Widen(c.name).c_str()), c.attributes) << c.name;
    EXPECT_EQ(file.IsFolder(c.name), c.folder) << c.name;
    EXPECT_EQ(file.Exists(Widen(c.name).c_str()), c.attributes != 0) << c.name;
  }
  EXPECT_EQ(file.GetAttributes(), 0);  // no open file
  EXPECT_FALSE(file.Exists());
  ASSERT_EQ(file.Open("file.txt", VFILE_MODE_READ), 1);
  EXPECT_EQ(file.GetAttributes(), 0x01);
  EXPECT_TRUE(file.Exists());
  EXPECT_EQ(file.GetAttributesC((folder + std::string(300, 'a')).c_str()), 0);
  chmod((folder + "lockeddir").c_str(), 0700);
}

TEST_F(VFileTest, InformationGivesBothTimesInUtcOrLocalTime) {
  Put("dated.txt", "x");
  const std::string path = folder + "dated.txt";
  struct utimbuf times {1000000000, 1000000000};  // 2001-09-09 01:46:40 UTC
  ASSERT_EQ(utime(path.c_str(), &times), 0);
  struct stat status;
  ASSERT_EQ(stat(path.c_str(), &status), 0);

  const char* saved = std::getenv("TZ");
  const std::string previous = saved ? saved : "";
  setenv("TZ", "EST5", 1);
  tzset();
  V_FILEINFO info;
  ASSERT_EQ(file.GetInformationC(info, "dated.txt", false), 1);
  EXPECT_EQ(info.attributes, 0x01);
  EXPECT_EQ(info.modifiedyear, 2001u);
  EXPECT_EQ(info.modifiedmonth, 9);
  EXPECT_EQ(info.modifiedday, 9);
  EXPECT_EQ(info.modifiedhour, 1);
  EXPECT_EQ(info.modifiedminute, 46);
  EXPECT_EQ(info.modifiedsecond, 40);
  struct tm created {};
  gmtime_r(&status.st_ctime, &created);
  EXPECT_EQ(info.createdyear, static_cast<uint32_t>(created.tm_year + 1900));
  EXPECT_EQ(info.createdday, created.tm_mday);
  EXPECT_EQ(info.createdsecond, created.tm_sec);

  ASSERT_EQ(file.GetInformation(info, Widen("dated.txt").c_str(), true), 1);
  EXPECT_EQ(info.modifiedday, 8);   // five hours west of UTC
  EXPECT_EQ(info.modifiedhour, 20);
  ASSERT_EQ(file.Open("dated.txt", VFILE_MODE_READ), 1);
  ASSERT_EQ(file.GetInformation(info), 1);
  EXPECT_EQ(info.modifiedhour, 1);
  EXPECT_EQ(file.GetInformationC(info, "missing.txt"), 0);
  EXPECT_EQ(info.attributes, 0);
  if (saved) {
    setenv("TZ", previous.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

TEST(VFileNames, FileAndFolderPartsInPlace) {
  struct Case {
    const char* path;
    const char* filename;
    const char* foldername;
  };
  const Case cases[] = {
      {"a/b\\c.txt", "c.txt", "a/b/"},
      {"c.txt", "c.txt", ""},
      {"dir/", "", "dir/"},
      {"\\x", "x", "/"},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    char narrow[64];
    std::strcpy(narrow, c.path);
    ClassVFile::GetFileName(narrow);
    EXPECT_STREQ(narrow, c.filename) << c.path;
    std::strcpy(narrow, c.path);
    ClassVFile::GetFolderName(narrow);
    EXPECT_STREQ(narrow, c.foldername) << c.path;
    std::u16string wide = Widen(c.path);
    ClassVFile::GetFileName(&wide[0]);
    EXPECT_EQ(Narrow(wide.c_str()), c.filename) << c.path;
    wide = Widen(c.path);
    ClassVFile::GetFolderName(&wide[0]);
    EXPECT_EQ(Narrow(wide.c_str()), c.foldername) << c.path;
  }
}

// --- paths ---------------------------------------------------------------------

TEST_F(VFileTest, RelativePathsResolveAgainstTheCurrentFolder) {
  ASSERT_EQ(mkdir((folder + "sub").c_str(), 0700), 0);
  Put("sub/in.txt", "inside");
  ASSERT_EQ(file.Open("sub\\in.txt", VFILE_MODE_READ), 1);  // '\' is a separator
  EXPECT_EQ(file.Size(), 6u);

  // An absolute path ignores the current folder.
  file.SetCurrentFolder("/nonexistent/");
  ASSERT_EQ(file.Open((folder + "sub/in.txt").c_str(), VFILE_MODE_READ), 1);
  EXPECT_EQ(file.Size(), 6u);

  // The current folder as a relative step.
  file.SetCurrentFolder(folder.c_str());
  file.SetCurrentFolder("sub");
  EXPECT_EQ(std::string(file.GetCurrentFolderC()), folder + "sub/");
  EXPECT_EQ(file.Open("in.txt", VFILE_MODE_READ), 1);
}

TEST_F(VFileTest, SystemPathsEndAt255Characters) {
  // folder + name: exactly 255 characters opens, 256 does not.
  const size_t fits = 255 - folder.size();
  ASSERT_LT(fits, 256u);  // a name the system itself accepts
  const std::string longest(fits, 'n');
  EXPECT_EQ(file.New(longest.c_str()), 1);
  EXPECT_EQ(file.New((longest + "n").c_str()), 0);
  EXPECT_EQ(file.New(Widen(longest + "n").c_str()), 0);
  // An 8-bit path of 256 characters and more goes through a heap block.
  EXPECT_EQ(file.New(std::string(300, 'm').c_str()), 0);
  EXPECT_EQ(file.SizeC((folder + std::string(300, 'm')).c_str()), 0u);
}

TEST(VFileCheckFileName, ResolvesAndTurnsSeparators) {
  struct Case {
    const char16_t* path;
    const char16_t* folder;
    const char16_t* expected;
  };
  const Case cases[] = {
      {u"a\\b.txt", u"/base/", u"/base/a/b.txt"},
      {u"/abs\\x", u"/base/", u"/abs/x"},
      {u"\\abs", u"/base/", u"/abs"},
      {u"C:\\x", u"/base/", u"C:/x"},
      {u"C:/x", u"/base/", u"C:/x"},
      {u"C:x", u"/base/", u"/base/C:x"},
      {u"", u"/base/", u"/base/"},
  };
  for (const Case& c : cases) {
    char16_t out[VFILE_PATHMAX];
    VFile_CheckFileName(out, c.path, c.folder);
    EXPECT_EQ(std::u16string(out), std::u16string(c.expected)) << Narrow(c.path);
  }
}

TEST(VFileCheckFileName, EmptyFolderMeansTheProgramFolder) {
  char16_t out[VFILE_PATHMAX];
  VFile_CheckFileName(out, u"x.ini", u"");
  EXPECT_EQ(Narrow(out), WorkingFolder() + "x.ini");
  VFile_CheckFileName(out, u"x.ini", nullptr);
  EXPECT_EQ(Narrow(out), WorkingFolder() + "x.ini");
  VFile_CheckFileName(out, nullptr, u"/base/");
  EXPECT_EQ(out[0], u'\0');
}

TEST(VFileGetPath, IsTheWorkingFolderWithASeparator) {
  char16_t path[VEXA_PATHMAX];
  GetPath(path);
  EXPECT_EQ(Narrow(path), WorkingFolder());
}

TEST(VFileCurrentFolder, StartsAsTheProgramFolder) {
  ClassVFile file;
  EXPECT_EQ(Narrow(file.GetCurrentFolder()), WorkingFolder());
  EXPECT_EQ(std::string(file.GetCurrentFolderC()), WorkingFolder());
  file.SetCurrentFolder("data");
  EXPECT_EQ(std::string(file.GetCurrentFolderC()), WorkingFolder() + "data/");
}

struct FolderCase {
  const char* start;
  const char* path;
  const char* expected;
};

const FolderCase kFolderCases[] = {
    {"/tmp/x/", "a/./b/../c", "/tmp/x/a/c/"},
    {"/tmp/x/", "./a", "/tmp/x/a/"},
    {"/tmp/x/", "../y", "/tmp/y/"},
    {"/tmp/x/", "..\\..\\..\\z", "/z/"},           // at the root only "../" goes
    {"/tmp/x/", "/../a", "/a/"},                   // a leading "../" after one separator
    {"/tmp/x/", "C:/../d", "C:/d/"},
    {"/tmp/x/", "C:\\.\\e\\", "C:/e/"},
    {"/tmp/x/", "/a//b/../c", "/a//c/"},           // separator runs count once
    {"/tmp/x/", "/a//../c", "/c/"},
    {"/tmp/x/", "/a/.../b../..c/x./", "/a/.../b../..c/x./"},
    {"/tmp/x/", "/q", "/q/"},
    {"/tmp/x/", "\\w\\v", "/w/v/"},
    {"/a/", "../s", "/s/"},
    {"/", "../../s", "/s/"},
};

class VFileFolderTest : public ::testing::TestWithParam<FolderCase> {};

TEST_P(VFileFolderTest, NormalisesDotSegments) {
  const FolderCase& c = GetParam();
  ClassVFile file;
  file.SetCurrentFolder(c.start);
  file.SetCurrentFolder(c.path);
  EXPECT_EQ(std::string(file.GetCurrentFolderC()), c.expected);
  EXPECT_EQ(std::u16string(file.GetCurrentFolder()), Widen(c.expected));
}

INSTANTIATE_TEST_SUITE_P(Paths, VFileFolderTest, ::testing::ValuesIn(kFolderCases));

TEST(VFileCurrentFolder, MissingOrOversizedPathLeavesItUnchanged) {
  ClassVFile file;
  file.SetCurrentFolder("/keep/");
  file.SetCurrentFolder(static_cast<const char*>(nullptr));
  file.SetCurrentFolder(static_cast<const char16_t*>(nullptr));
  EXPECT_EQ(std::string(file.GetCurrentFolderC()), "/keep/");
  file.SetCurrentFolder(std::string(600, 'f').c_str());
  EXPECT_EQ(std::string(file.GetCurrentFolderC()), "/keep/");
}

}  // namespace
