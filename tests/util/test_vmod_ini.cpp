// Tests of INI reading (lines, comments, quotes, the "=" rule, line ends, tiny
// parse buffers, over-long text) and writing (exact bytes, refusals, the CR LF
// inserted before a line, a round trip through a real file).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "util/vmod_ini.h"

namespace {

using Lines = std::vector<std::pair<std::string, std::string>>;

// Reads every line; key and value buffers are heap blocks of exactly
// VINI_TEXTMAX bytes, so a write past them is caught by the address sanitizer.
Lines ReadAll(ClassVIni& ini) {
  Lines lines;
  std::vector<char> key(VINI_TEXTMAX);
  std::vector<char> value(VINI_TEXTMAX);
  while (ini.ReadLine(key.data(), value.data())) lines.emplace_back(key.data(), value.data());
  return lines;
}

// The source as a heap block of exactly its length: nothing after it to lean on.
Lines ReadText(const std::string& text, uint32_t parsebuffer) {
  std::vector<uint8_t> data(text.begin(), text.end());
  ClassVIni ini;
  if (!ini.OpenData(data.data(), static_cast<uint32_t>(data.size()))) return {{"<not opened>", ""}};
  if (!ini.SetParseBufferSize(parsebuffer)) return {{"<no buffer>", ""}};
  return ReadAll(ini);
}

std::string Slurp(const std::string& path) {
  std::string bytes;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return "<missing>";
  int c;
  while ((c = std::fgetc(f)) != EOF) bytes.push_back(static_cast<char>(c));
  std::fclose(f);
  return bytes;
}

void Spill(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// --- reading: one table, every parse buffer size --------------------------------

struct ReadCase {
  const char* name;
  std::string text;
  Lines expected;
};

const ReadCase kReadCases[] = {
    {"QuotedValueWithBlank", "key1 = \"a b\"\r\n", {{"key1", "a b"}}},
    {"CommentOnlyLineSkipped", "# just a comment\r\nk = v\r\n", {{"k", "v"}}},
    {"SemicolonComment", "; note\r\nk=v", {{"k", "v"}}},
    {"TrailingComment", "k = v # why\r\n", {{"k", "v"}}},
    {"HashInsideQuotes", "k = \"a # b; c\"\r\n", {{"k", "a # b; c"}}},
    {"EqualsInsideQuotes", "k = \"a=b\"\r\n", {{"k", "a=b"}}},
    {"BlankLinesSkipped", "\r\n   \r\n\tk\t=\tv\t\r\n\r\n", {{"k", "v"}}},
    {"KeyWithoutValue", "flag\r\n", {{"flag", ""}}},
    {"EmptyKeySkipped", "= orphan\r\nk = v\r\n", {{"k", "v"}}},
    {"LastLineWithoutEnd", "a = 1\r\nb = 2", {{"a", "1"}, {"b", "2"}}},
    {"EmptySource", "\r\n", {}},
    // Line ends: CR or LF always ends a line, comment or quotes alike.
    {"CommentOpensTheSource", "# written first\r\na = 1\r\nb = 2\r\n", {{"a", "1"}, {"b", "2"}}},
    {"CommentAfterLfLine", "x = 1\n# c\ny = 2\n", {{"x", "1"}, {"y", "2"}}},
    {"LfOnlyWithoutBlanks", "a=1\nb=2\nc=3", {{"a", "1"}, {"b", "2"}, {"c", "3"}}},
    {"CrOnly", "a=1\rb=2\r", {{"a", "1"}, {"b", "2"}}},
    {"UnclosedQuoteEndsAtLineEnd", "a = \"open\nb = 2\n", {{"a", "\"open"}, {"b", "2"}}},
    {"CommentCharAfterUnclosedQuoteLine", "a = \"x\r\n# c\r\nb = 3\r\n", {{"a", "\"x"}, {"b", "3"}}},
    // Quotes: a pair is removed; a lone quote is text of its own.
    {"LoneQuoteValue", "k = \"\r\n", {{"k", "\""}}},
    {"LoneQuoteKey", "\"\r\n", {{"\"", ""}}},
    {"EmptyQuotedValue", "k = \"\"\r\n", {{"k", ""}}},
    {"QuotedKey", "\"my key\" = 1\r\n", {{"my key", "1"}}},
    {"QuotesKeepInnerBlanks", "k = \" a \"\r\n", {{"k", " a "}}},
    // The "=" rule: a later "=" starts the value over; nothing after it keeps it.
    {"LaterEqualsRestartsValue", "k = abcdef=xy\r\n", {{"k", "xy"}}},
    {"LaterEqualsAtLineEndKeepsValue", "k = abc=\r\n", {{"k", "abc"}}},
    {"DoubleEquals", "k==v\r\n", {{"k", "v"}}},
};

class VIniReadTest : public ::testing::TestWithParam<std::tuple<ReadCase, uint32_t>> {};

TEST_P(VIniReadTest, ReadsTheLinesOfTheText) {
  const ReadCase& c = std::get<0>(GetParam());
  EXPECT_EQ(ReadText(c.text, std::get<1>(GetParam())), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, VIniReadTest,
    ::testing::Combine(::testing::ValuesIn(kReadCases), ::testing::Values(1u, 2u, 3u, 4096u)),
    [](const ::testing::TestParamInfo<std::tuple<ReadCase, uint32_t>>& info) {
      return std::string(std::get<0>(info.param).name) + "_Buffer" +
             std::to_string(std::get<1>(info.param));
    });

TEST(VIniRead, OverlongKeysAndValuesAreCut) {
  const std::string longkey(1000, 'k');
  const std::string longvalue(1000, 'v');
  const std::string text = longkey + " = " + longvalue + "\r\nnext = \"" + longvalue + "\"\r\n";
  for (uint32_t size : {1u, 3u, 4096u}) {
    const Lines lines = ReadText(text, size);
    ASSERT_EQ(lines.size(), 2u) << size;
    EXPECT_EQ(lines[0].first, std::string(VINI_TEXTMAX - 1, 'k'));
    EXPECT_EQ(lines[0].second, std::string(VINI_TEXTMAX - 2, 'v'));  // the blank after "=" counts
    EXPECT_EQ(lines[1].first, "next");
    // The closing quote lies beyond the cut, so the opening one stays.
    EXPECT_EQ(lines[1].second, "\"" + std::string(VINI_TEXTMAX - 3, 'v'));
  }
}

TEST(VIniRead, FindKeyReadsOnFromTheCursor) {
  const std::string text = "alpha = 1\r\nBeta = \"two\"\r\ngamma = 3\r\n";
  ClassVIni ini;
  ASSERT_EQ(ini.OpenData(text.data(), static_cast<uint32_t>(text.size())), 1);
  char value[VINI_TEXTMAX];
  ASSERT_TRUE(ini.FindKey("Beta", value));
  EXPECT_STREQ(value, "two");
  EXPECT_FALSE(ini.FindKey("alpha", value));  // before the cursor
  ini.ResetCursor();
  ASSERT_TRUE(ini.FindKey("alpha", value));
  EXPECT_STREQ(value, "1");
  EXPECT_FALSE(ini.FindKey("GAMMA", value));
  ini.ResetCursor();
  ASSERT_TRUE(ini.FindKey("GAMMA", value, false));
  EXPECT_STREQ(value, "3");
}

TEST(VIniRead, FindValueCopiesTheKey) {
  const std::string text = "a = x\r\nb = \"Y\"\r\nc = z\r\n";
  ClassVIni ini;
  ASSERT_EQ(ini.OpenData(text.data(), static_cast<uint32_t>(text.size())), 1);
  char key[VINI_TEXTMAX];
  EXPECT_FALSE(ini.FindValue(key, "y"));
  ini.ResetCursor();
  ASSERT_TRUE(ini.FindValue(key, "y", false));
  EXPECT_STREQ(key, "b");
  ASSERT_TRUE(ini.FindValue(key, "z"));
  EXPECT_STREQ(key, "c");
  EXPECT_FALSE(ini.FindValue(key, "x"));
}

TEST(VIniRead, ParseBufferOfSizeZeroFailsAndStopsReading) {
  const std::string text = "a = 1\r\n";
  ClassVIni ini;
  ASSERT_EQ(ini.OpenData(text.data(), static_cast<uint32_t>(text.size())), 1);
  EXPECT_FALSE(ini.SetParseBufferSize(0));
  char key[VINI_TEXTMAX] = "stale";
  char value[VINI_TEXTMAX] = "stale";
  EXPECT_FALSE(ini.ReadLine(key, value));
  EXPECT_STREQ(key, "");
  EXPECT_FALSE(ini.FindKey("a", value));
  // A good buffer afterwards reads from the start again.
  ASSERT_TRUE(ini.SetParseBufferSize(2));
  EXPECT_EQ(ReadAll(ini), (Lines{{"a", "1"}}));
}

TEST(VIniRead, NothingToReadWithoutASource) {
  ClassVIni ini;
  char key[VINI_TEXTMAX];
  char value[VINI_TEXTMAX];
  EXPECT_FALSE(ini.ReadLine(key, value));
  EXPECT_FALSE(ini.SetParseBufferSize(16));
  EXPECT_EQ(ini.OpenData("a=1", 0), 0);
  EXPECT_EQ(ini.OpenData(nullptr, 3), 0);
  EXPECT_FALSE(ini.ReadLine(key, value));
  EXPECT_EQ(ini.Open("/nonexistent/folder/x.ini"), 0);
  EXPECT_FALSE(ini.ReadLine(key, value));
  // Used up: the end stays the end until rewound.
  ASSERT_EQ(ini.OpenData("a=1", 3), 1);
  EXPECT_TRUE(ini.ReadLine(key, value));
  EXPECT_FALSE(ini.ReadLine(key, value));
  EXPECT_FALSE(ini.ReadLine(key, value));
  ini.ResetCursor();
  EXPECT_TRUE(ini.ReadLine(key, value));
}

// --- files -----------------------------------------------------------------------

class VIniFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vexa_ini_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder = pattern;
    path = folder + "/test.ini";
  }

  void TearDown() override {
    std::remove(path.c_str());
    rmdir(folder.c_str());
  }

  std::string folder;
  std::string path;
};

TEST_F(VIniFileTest, WritesExactBytes) {
  ClassVIni ini;
  ASSERT_EQ(ini.New(path.c_str()), 1);
  EXPECT_TRUE(ini.WriteComment("settings"));
  EXPECT_TRUE(ini.WriteLine("name", "Bob Smith"));
  EXPECT_TRUE(ini.WriteLine("score", -42));
  EXPECT_TRUE(ini.WriteNewline());
  EXPECT_TRUE(ini.WriteLine("low", INT32_MIN));
  EXPECT_TRUE(ini.WriteLine("empty", ""));
  ini.Close();
  EXPECT_EQ(Slurp(path),
            "# settings\r\n"
            "name = \"Bob Smith\"\r\n"
            "score = -42\r\n"
            "\r\n"
            "low = -2147483648\r\n"
            "empty = \"\"\r\n");
}

TEST_F(VIniFileTest, WritingIsRefusedWithoutAFileToWrite) {
  ClassVIni ini;
  EXPECT_FALSE(ini.WriteLine("k", "v"));
  EXPECT_FALSE(ini.WriteLine("k", 1));
  EXPECT_FALSE(ini.WriteComment("c"));
  EXPECT_FALSE(ini.WriteNewline());

  const std::string text = "a = 1\r\n";
  ASSERT_EQ(ini.OpenData(text.data(), static_cast<uint32_t>(text.size())), 1);
  EXPECT_FALSE(ini.WriteLine("k", "v"));
  EXPECT_FALSE(ini.WriteNewline());
  EXPECT_EQ(ReadAll(ini), (Lines{{"a", "1"}}));

  // Read only: the writes cannot go through.
  Spill(path, text);
  ASSERT_EQ(ini.Open(path.c_str(), VFILE_MODE_READ), 1);
  EXPECT_FALSE(ini.WriteLine("k", "v"));
  ini.Close();
  EXPECT_EQ(Slurp(path), text);
}

TEST_F(VIniFileTest, LineStartsOnALineOfItsOwn) {
  struct Case {
    std::string before;
    std::string after;
  };
  const Case cases[] = {
      {"a = 1", "a = 1\r\nb = 2\r\n"},        // no LF in the two bytes before: CR LF first
      {"a = 1\r", "a = 1\r\r\nb = 2\r\n"},    // a CR alone is not a line end for the writer
      {"a = 1\n", "a = 1\nb = 2\r\n"},
      {"a = 1\n ", "a = 1\n b = 2\r\n"},      // the LF is one of the two bytes before
      {"a", "ab = 2\r\n"},                    // below position 2 nothing is looked at
  };
  for (const Case& c : cases) {
    Spill(path, c.before);
    ClassVIni ini;
    ASSERT_EQ(ini.Open(path.c_str(), VFILE_MODE_READWRITE), 1);
    ReadAll(ini);  // the cursor is now at the end: writing appends
    EXPECT_TRUE(ini.WriteLine("b", 2));
    ini.Close();
    EXPECT_EQ(Slurp(path), c.after) << c.before;
  }
}

TEST_F(VIniFileTest, CommentAfterAnUnendedLineGetsItsOwnLine) {
  Spill(path, "a = 1");
  ClassVIni ini;
  ASSERT_EQ(ini.Open(path.c_str(), VFILE_MODE_READWRITE), 1);
  ReadAll(ini);
  EXPECT_TRUE(ini.WriteComment("c"));
  ini.Close();
  EXPECT_EQ(Slurp(path), "a = 1\r\n# c\r\n");
}

TEST_F(VIniFileTest, WrittenFileReadsBack) {
  {
    ClassVIni ini;
    ASSERT_EQ(ini.New(path.c_str()), 1);
    ini.WriteComment("opening comment");
    ini.WriteLine("name", "a b");
    ini.WriteLine("hash", "#1; not a comment");
    ini.WriteNewline();
    ini.WriteLine("count", 12345);
    ini.WriteLine("negative", -7);
    ini.WriteComment("closing comment");
  }  // the destructor closes the file
  const Lines expected = {
      {"name", "a b"}, {"hash", "#1; not a comment"}, {"count", "12345"}, {"negative", "-7"}};
  for (uint32_t size : {1u, 2u, 3u, 4096u}) {
    ClassVIni ini;
    ASSERT_EQ(ini.Open(path.c_str()), 1);
    ASSERT_TRUE(ini.SetParseBufferSize(size));
    EXPECT_EQ(ReadAll(ini), expected) << size;
    ini.ResetCursor();
    char value[VINI_TEXTMAX];
    ASSERT_TRUE(ini.FindKey("count", value));
    EXPECT_STREQ(value, "12345");
  }
  ClassVIni wide;
  ASSERT_EQ(wide.Open(std::u16string(path.begin(), path.end()).c_str()), 1);
  EXPECT_EQ(ReadAll(wide), expected);
}

}  // namespace
