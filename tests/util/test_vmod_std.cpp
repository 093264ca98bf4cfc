// test_vmod_std.cpp - strings in both widths, number conversion, dates and
// MD5 digests. String tables run once per character width; the expected
// timestamps come from GNU date, the digests from RFC 1321 and md5sum.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "resources/vmod_file.h"
#include "util/vmod_std.h"

namespace {

// Latin-1 widening done by the test itself, independent of the module.
std::u16string Widen(const std::string& s)
{
	std::u16string wide;
	for (char c : s)
		wide.push_back(static_cast<uint8_t>(c));
	return wide;
}

template <typename C> std::basic_string<C> Text(const std::string& s);
template <> std::string Text<char>(const std::string& s) { return s; }
template <> std::u16string Text<char16_t>(const std::string& s) { return Widen(s); }

// A writable string with room to grow, the unused tail filled with a marker
// so stray writes show.
template <typename C> std::vector<C> Buffer(const std::string& s, size_t room = 64, char marker = '#')
{
	std::vector<C> buffer(room + s.size() + 1, static_cast<C>(marker));
	const std::basic_string<C> text = Text<C>(s);
	std::copy(text.begin(), text.end(), buffer.begin());
	buffer[text.size()] = 0;
	return buffer;
}

template <typename C> std::basic_string<C> Str(const std::vector<C>& buffer) { return std::basic_string<C>(buffer.data()); }

template <typename C> class StdStrings : public ::testing::Test
{
};
using CharWidths = ::testing::Types<char, char16_t>;
TYPED_TEST_SUITE(StdStrings, CharWidths);

// ---- lengths and white space ---------------------------------------------------

TYPED_TEST(StdStrings, StrLenCountsUpToTheZeroOrMax)
{
	struct Case { const char* text; int32_t max; int32_t expected; };
	const Case cases[] = {
		{"", 16384, 0}, {"abc", 16384, 3}, {"abcdef", 4, 4}, {"abc", 0, 0}, {"abc", -1, 0}, {"abc", 100000, 3},
	};
	for (const Case& c : cases)
		EXPECT_EQ(ClassVStd::StrLen(Text<TypeParam>(c.text).c_str(), c.max), c.expected) << c.text << " max " << c.max;
	EXPECT_EQ(ClassVStd::StrLen(Text<TypeParam>("abc").c_str()), 3);
}

TEST(StdWhiteSpace, OnlyTabToCarriageReturnAndSpace)
{
	for (uint32_t code = 0; code <= 0xFFFF; code++)
	{
		const bool expected = code == 9 || code == 10 || code == 11 || code == 12 || code == 13 || code == 32;
		EXPECT_EQ(ClassVStd::IsWhiteSpace(static_cast<char16_t>(code)), expected) << code;
	}
}

// ---- the 16384-character cap -------------------------------------------------------

TYPED_TEST(StdStrings, EveryScanStopsAt16384Characters)
{
	const std::basic_string<TypeParam> longText = Text<TypeParam>(std::string(20000, 'a'));
	EXPECT_EQ(ClassVStd::StrLen(longText.c_str()), 16384);
	EXPECT_EQ(ClassVStd::StrLen(longText.c_str(), 100000), 16384);

	std::basic_string<TypeParam> other = longText;
	other[17000] = 'b';
	EXPECT_TRUE(ClassVStd::StrEqual(longText.c_str(), other.c_str())); // both count as 16384 long

	std::vector<TypeParam> appended = Buffer<TypeParam>("xy", 20000);
	ClassVStd::StrCat(appended.data(), longText.c_str());
	EXPECT_EQ(Str(appended).size(), 2u + 16383u); // at most 16383 appended, then a zero
}

// ---- copying ------------------------------------------------------------------------------

TYPED_TEST(StdStrings, StrCpySizeRules)
{
	struct Case { int32_t size; const char* expected; };
	const Case cases[] = {
		{4, "abc"}, {1, ""}, {0, "untouched"}, {7, "abcdef"}, {100, "abcdef"},
		{-1, "abcdef"}, {INT32_MIN, "abcdef"}, {65536, "abcdef"}, {65537, "abcdef"},
	};
	for (const Case& c : cases)
	{
		const std::vector<TypeParam> before = Buffer<TypeParam>("untouched");
		std::vector<TypeParam> dst = before;
		ClassVStd::StrCpy(dst.data(), Text<TypeParam>("abcdef").c_str(), c.size);
		const std::basic_string<TypeParam> expected = Text<TypeParam>(c.expected);
		EXPECT_EQ(Str(dst), expected) << "size " << c.size;
		// Nothing is written past the terminating zero.
		EXPECT_TRUE(std::equal(dst.begin() + expected.size() + 1, dst.end(), before.begin() + expected.size() + 1)) << "size " << c.size;
	}
}

TYPED_TEST(StdStrings, StrCpyOfLongSourceHonoursTheSizeCap)
{
	struct Case { int32_t size; size_t copied; };
	const Case cases[] = {
		{100, 99}, {20000, 16384}, {65536, 16384}, {65537, 16383}, {-1, 16383}, {INT32_MIN, 16383},
	};
	const std::basic_string<TypeParam> source = Text<TypeParam>(std::string(20000, 'a'));
	for (const Case& c : cases)
	{
		std::vector<TypeParam> dst(20001, static_cast<TypeParam>('#'));
		ClassVStd::StrCpy(dst.data(), source.c_str(), c.size);
		EXPECT_EQ(Str(dst).size(), c.copied) << "size " << c.size;
	}
}

TEST(StdCopyWidths, EightBitWidensToCodes0To255)
{
	char16_t wide[8] = {};
	ClassVStd::StrCpy(wide, "\xE9\x7F\x80\xFF", 8);
	EXPECT_EQ(std::u16string(wide), std::u16string({0xE9, 0x7F, 0x80, 0xFF}));
}

TEST(StdCopyWidths, SixteenBitKeepsTheLow8Bits)
{
	char narrow[8] = {};
	ClassVStd::StrCpy(narrow, u"\u0141\u00E9\uFF80", 8);
	EXPECT_EQ(std::string(narrow), std::string("\x41\xE9\x80"));
}

// ---- appending ------------------------------------------------------------------------------

TYPED_TEST(StdStrings, StrCatAppendsEitherWidth)
{
	struct Case { const char* dst; const char* src; const char* expected; };
	const Case cases[] = {{"abc", "def", "abcdef"}, {"", "x", "x"}, {"abc", "", "abc"}, {"\xE9", "\xFF", "\xE9\xFF"}};
	for (const Case& c : cases)
	{
		std::vector<TypeParam> fromNarrow = Buffer<TypeParam>(c.dst);
		ClassVStd::StrCat(fromNarrow.data(), c.src);
		EXPECT_EQ(Str(fromNarrow), Text<TypeParam>(c.expected));
		std::vector<TypeParam> fromWide = Buffer<TypeParam>(c.dst);
		ClassVStd::StrCat(fromWide.data(), Widen(c.src).c_str());
		EXPECT_EQ(Str(fromWide), Text<TypeParam>(c.expected));
	}
}

TYPED_TEST(StdStrings, StrCatAppendsANumber)
{
	std::vector<TypeParam> dst = Buffer<TypeParam>("n=");
	ClassVStd::StrCat(dst.data(), -255, 16, true);
	EXPECT_EQ(Str(dst), Text<TypeParam>("n=-FF"));
	ClassVStd::StrCat(dst.data(), -255, 16, false);
	EXPECT_EQ(Str(dst), Text<TypeParam>("n=-FFFFFFFF01"));
	ClassVStd::StrCat(dst.data(), 7, 37, true);
	EXPECT_EQ(Str(dst), Text<TypeParam>("n=-FFFFFFFF01"));
}

// ---- number conversion -----------------------------------------------------------------------

TYPED_TEST(StdStrings, IntToStrWritesAnyRadix)
{
	struct Case { int32_t number; uint8_t radix; bool isSigned; const char* expected; };
	const Case cases[] = {
		{-255, 16, true, "-FF"},
		{-255, 16, false, "FFFFFF01"},
		{0, 10, true, "0"},
		{1234567, 10, true, "1234567"},
		{35, 36, true, "Z"},
		{INT32_MAX, 36, true, "ZIK0ZJ"},
		{-1, 36, false, "1Z141Z3"},
		{-1, 2, false, "11111111111111111111111111111111"},
		{INT32_MIN, 10, true, "-2147483648"},
		{INT32_MIN, 2, true, "-10000000000000000000000000000000"},
		{INT32_MIN, 16, false, "80000000"},
		{INT32_MIN, 10, false, "2147483648"},
	};
	for (const Case& c : cases)
	{
		std::vector<TypeParam> dst = Buffer<TypeParam>("");
		ClassVStd::IntToStr(dst.data(), c.number, c.radix, c.isSigned);
		EXPECT_EQ(Str(dst), Text<TypeParam>(c.expected)) << c.number << " radix " << int(c.radix);
	}
}

TYPED_TEST(StdStrings, IntToStrWithBadRadixWritesNothing)
{
	for (uint8_t radix : {0, 1, 37, 255})
	{
		std::vector<TypeParam> dst = Buffer<TypeParam>("keep");
		ClassVStd::IntToStr(dst.data(), 12, radix);
		EXPECT_EQ(Str(dst), Text<TypeParam>("keep")) << int(radix);
	}
}

TYPED_TEST(StdStrings, StrToIntReadsAnyRadix)
{
	struct Case { const char* text; uint8_t radix; int32_t expected; };
	const Case cases[] = {
		{"ff", 16, 255}, {"FF", 16, 255}, {"-101", 2, -5}, {"12x", 10, 0}, {"19", 8, 0},
		{"", 10, 0}, {"-", 10, 0}, {"+5", 10, 0}, {" 5", 10, 0}, {"5 ", 10, 0},
		{"zZ", 36, 1295}, {"10", 37, 0}, {"10", 1, 0}, {"10", 0, 0}, {"0777", 8, 511},
		{"2147483647", 10, INT32_MAX}, {"-2147483648", 10, INT32_MIN},
		{"4294967295", 10, -1}, {"4294967296", 10, 0}, {"\xB1", 36, 0},
	};
	for (const Case& c : cases)
		EXPECT_EQ(ClassVStd::StrToInt(Text<TypeParam>(c.text).c_str(), c.radix), c.expected) << c.text << " radix " << int(c.radix);
	EXPECT_EQ(ClassVStd::StrToInt(Text<TypeParam>("42").c_str()), 42);
}

TEST(StdNumberWidths, WideCodesAreNotNarrowedToDigits)
{
	EXPECT_EQ(ClassVStd::StrToInt(u"\u0131"), 0); // low byte is '1'
	EXPECT_EQ(ClassVStd::StrToInt(u"1\u0130"), 0); // low byte is '0'
	EXPECT_EQ(ClassVStd::StrToInt(u"\uFF41", 16), 0); // low byte is 'A'
}

// ---- comparing and searching ------------------------------------------------------------------

TEST(StdCompare, StrEqualInEveryWidthCombination)
{
	struct Case { const char* a; const char* b; bool caseSensitive; bool expected; };
	const Case cases[] = {
		{"Abc", "aBC", false, true}, {"Abc", "aBC", true, false}, {"abc", "abcd", false, false},
		{"abcd", "abc", true, false}, {"abc", "abc", true, true}, {"", "", true, true}, {"", "a", false, false},
		{"[", "{", false, false}, {"@", "`", false, false}, {"\xE9", "\xE9", true, true}, {"\xE9", "\xC9", false, false},
	};
	for (const Case& c : cases)
	{
		const std::u16string a16 = Widen(c.a), b16 = Widen(c.b);
		EXPECT_EQ(ClassVStd::StrEqual(c.a, c.b, c.caseSensitive), c.expected) << c.a << " / " << c.b;
		EXPECT_EQ(ClassVStd::StrEqual(c.a, b16.c_str(), c.caseSensitive), c.expected) << c.a << " / " << c.b;
		EXPECT_EQ(ClassVStd::StrEqual(a16.c_str(), c.b, c.caseSensitive), c.expected) << c.a << " / " << c.b;
		EXPECT_EQ(ClassVStd::StrEqual(a16.c_str(), b16.c_str(), c.caseSensitive), c.expected) << c.a << " / " << c.b;
	}
	EXPECT_FALSE(ClassVStd::StrEqual("A", u"\u0141"));
}

TYPED_TEST(StdStrings, StrFindLocatesACharacter)
{
	struct Case { const char* text; char16_t ch; int32_t expected; };
	const Case cases[] = {
		{"hello", u'l', 2}, {"hello", u'h', 0}, {"hello", u'z', -1}, {"", u'a', -1}, {"x\xE9", 0xE9, 1}, {"x\xE9", 0xFFE9, -1},
	};
	for (const Case& c : cases)
		EXPECT_EQ(ClassVStd::StrFind(Text<TypeParam>(c.text).c_str(), c.ch), c.expected) << c.text << " " << int(c.ch);
}

TEST(StdCompare, StrFindOfACharacterComparesFullWideCodes)
{
	EXPECT_EQ(ClassVStd::StrFind(u"\u0141A", u'A'), 1);
}

TEST(StdCompare, StrFindLocatesTextInEveryWidthCombination)
{
	struct Case { const char* text; const char* sought; bool caseSensitive; int32_t expected; };
	const Case cases[] = {
		{"Hello World", "World", true, 6}, {"Hello World", "world", true, -1}, {"Hello World", "wORLD", false, 6},
		{"abc", "", true, -1}, {"", "", true, -1}, {"abc", "abcd", true, -1}, {"aab", "ab", true, 1},
		{"abc", "c", true, 2}, {"abc", "abc", true, 0}, {"\xE9t\xE9", "t\xE9", false, 1},
	};
	for (const Case& c : cases)
	{
		const std::u16string text16 = Widen(c.text), sought16 = Widen(c.sought);
		EXPECT_EQ(ClassVStd::StrFind(c.text, c.sought, c.caseSensitive), c.expected) << c.text << " / " << c.sought;
		EXPECT_EQ(ClassVStd::StrFind(c.text, sought16.c_str(), c.caseSensitive), c.expected) << c.text << " / " << c.sought;
		EXPECT_EQ(ClassVStd::StrFind(text16.c_str(), c.sought, c.caseSensitive), c.expected) << c.text << " / " << c.sought;
		EXPECT_EQ(ClassVStd::StrFind(text16.c_str(), sought16.c_str(), c.caseSensitive), c.expected) << c.text << " / " << c.sought;
	}
}

// ---- editing in place ------------------------------------------------------------------------------

TYPED_TEST(StdStrings, UpperAndLowerChangeOnlyAsciiLetters)
{
	std::vector<TypeParam> text = Buffer<TypeParam>("abc-XYZ-\xE9\xC9[{@`");
	EXPECT_EQ(ClassVStd::StrUpper(text.data()), text.data());
	EXPECT_EQ(Str(text), Text<TypeParam>("ABC-XYZ-\xE9\xC9[{@`"));
	EXPECT_EQ(ClassVStd::StrLower(text.data()), text.data());
	EXPECT_EQ(Str(text), Text<TypeParam>("abc-xyz-\xE9\xC9[{@`"));
}

TYPED_TEST(StdStrings, TrimRemovesWhiteSpaceAtEitherEnd)
{
	struct Case { const char* text; const char* left; const char* right; const char* both; };
	const Case cases[] = {
		{"  \t abc d \r\n", "abc d \r\n", "  \t abc d", "abc d"},
		{"\v\fx", "x", "\v\fx", "x"},
		{"   ", "", "", ""},
		{"", "", "", ""},
		{"abc", "abc", "abc", "abc"},
		{"\xA0x\xA0", "\xA0x\xA0", "\xA0x\xA0", "\xA0x\xA0"},
	};
	for (const Case& c : cases)
	{
		std::vector<TypeParam> left = Buffer<TypeParam>(c.text), right = Buffer<TypeParam>(c.text), both = Buffer<TypeParam>(c.text);
		EXPECT_EQ(ClassVStd::StrTrimLeft(left.data()), left.data());
		EXPECT_EQ(ClassVStd::StrTrimRight(right.data()), right.data());
		EXPECT_EQ(ClassVStd::StrTrim(both.data()), both.data());
		EXPECT_EQ(Str(left), Text<TypeParam>(c.left)) << c.text;
		EXPECT_EQ(Str(right), Text<TypeParam>(c.right)) << c.text;
		EXPECT_EQ(Str(both), Text<TypeParam>(c.both)) << c.text;
	}
}

TYPED_TEST(StdStrings, TrimRightOverwritesTheTailWithZeros)
{
	std::vector<TypeParam> text = Buffer<TypeParam>("ab \t ");
	ClassVStd::StrTrimRight(text.data());
	for (size_t i = 2; i <= 5; i++)
		EXPECT_EQ(text[i], 0) << i;
}

// ---- replacing ------------------------------------------------------------------------------------

TYPED_TEST(StdStrings, StrNewReplacesTheHead)
{
	struct Case { const char* dst; const char* src; int32_t count; const char* expected; };
	const Case cases[] = {
		{"Hello World", "Howdy", 5, "Howdy World"}, {"Hello", "J", 1, "Jello"}, {"abc", "xyz123", 1, "xyz123bc"},
		{"abc", "", 2, "c"}, {"abc", "X", 3, "X"}, {"abc", "X", 10, "X"}, {"abc", "X", 0, "Xabc"}, {"", "new", 0, "new"},
	};
	for (const Case& c : cases)
	{
		std::vector<TypeParam> dst = Buffer<TypeParam>(c.dst);
		ClassVStd::StrNew(dst.data(), Text<TypeParam>(c.src).c_str(), c.count);
		EXPECT_EQ(Str(dst), Text<TypeParam>(c.expected)) << c.dst << " <- " << c.src;
	}
}

TYPED_TEST(StdStrings, StrReplaceNeverRescansInsertedText)
{
	struct Case { const char* text; const char* find; const char* replacement; bool caseSensitive; int32_t max; const char* expected; int32_t made; };
	const Case cases[] = {
		{"aaa", "a", "aa", true, -1, "aaaaaa", 3},
		{"ab", "ab", "abab", true, -1, "abab", 1},
		{"aaa", "a", "", true, -1, "", 3},
		{"abcabc", "b", "XYZ", true, -1, "aXYZcaXYZc", 2},
		{"abcabc", "B", "x", true, -1, "abcabc", 0},
		{"abcabc", "B", "x", false, -1, "axcaxc", 2},
		{"aaaa", "aa", "b", true, -1, "bb", 2},
		{"aaa", "aa", "x", true, -1, "xa", 1},
		{"aaa", "a", "b", true, 2, "bba", 2},
		{"a.b.c", ".", "::", true, 1, "a::b.c", 1},
		{"xyz", "xyz", "", true, -1, "", 1},
		{"aaa", "a", "b", true, 0, "aaa", 0},
		{"aaa", "a", "b", true, -2, "aaa", 0},
		{"aaa", "", "b", true, -1, "aaa", 0},
		{"", "a", "b", true, -1, "", 0},
	};
	for (const Case& c : cases)
	{
		std::vector<TypeParam> text = Buffer<TypeParam>(c.text);
		const int32_t made = ClassVStd::StrReplace(text.data(), Text<TypeParam>(c.find).c_str(), Text<TypeParam>(c.replacement).c_str(), c.caseSensitive, c.max);
		EXPECT_EQ(made, c.made) << c.text << ": " << c.find << " -> " << c.replacement;
		EXPECT_EQ(Str(text), Text<TypeParam>(c.expected)) << c.text << ": " << c.find << " -> " << c.replacement;
	}
}

TYPED_TEST(StdStrings, StrReplaceGrowsALongTextInPlace)
{
	std::vector<TypeParam> text = Buffer<TypeParam>(std::string(5000, 'a') + "b", 15000);
	EXPECT_EQ(ClassVStd::StrReplace(text.data(), Text<TypeParam>("a").c_str(), Text<TypeParam>("xyz").c_str()), 5000);
	std::string expected;
	for (int i = 0; i < 5000; i++)
		expected += "xyz";
	EXPECT_EQ(Str(text), Text<TypeParam>(expected + "b"));
}

// ---- dates ------------------------------------------------------------------------------------------

V_DATETIME Date(uint32_t year, uint8_t month, uint8_t day, uint8_t hour = 0, uint8_t minute = 0, uint8_t second = 0)
{
	V_DATETIME date = {};
	date.year = year;
	date.month = month;
	date.day = day;
	date.hour = hour;
	date.minute = minute;
	date.second = second;
	return date;
}

bool SameDate(const V_DATETIME& a, const V_DATETIME& b)
{
	return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour && a.minute == b.minute && a.second == b.second;
}

std::string Show(const V_DATETIME& d)
{
	char text[64];
	std::snprintf(text, sizeof(text), "%u-%02u-%02u %02u:%02u:%02u", unsigned(d.year), unsigned(d.month), unsigned(d.day), unsigned(d.hour), unsigned(d.minute), unsigned(d.second));
	return text;
}

TEST(StdDates, KnownDatesConvertBothWays)
{
	struct Case { V_DATETIME date; uint32_t timestamp; };
	const Case cases[] = {
		{Date(1970, 1, 1), 0u},
		{Date(1972, 2, 29), 68169600u},
		{Date(1972, 3, 1), 68256000u},
		{Date(1999, 12, 31, 23, 59, 59), 946684799u},
		{Date(2000, 2, 29), 951782400u},
		{Date(2000, 3, 1), 951868800u},
		{Date(2038, 1, 19, 3, 14, 7), 2147483647u},
		{Date(2100, 2, 28), 4107456000u},
		{Date(2100, 3, 1), 4107542400u},
		{Date(2104, 2, 29, 12, 34, 56), 4233731696u},
		{Date(2106, 2, 7, 6, 28, 15), 4294967295u},
	};
	for (const Case& c : cases)
	{
		EXPECT_EQ(ClassVStd::DateTimeToTimestamp(c.date), c.timestamp) << Show(c.date);
		V_DATETIME back = Date(0, 0, 0);
		ClassVStd::TimestampToDateTime(back, c.timestamp);
		EXPECT_TRUE(SameDate(back, c.date)) << Show(back) << " for " << c.timestamp;
	}
}

TEST(StdDates, EveryDayRoundTrips)
{
	const uint32_t lastDay = UINT32_MAX / 86400;
	for (uint32_t day = 0; day <= lastDay; day++)
	{
		const uint32_t timestamp = day * 86400 + (day * 7919) % 86400;
		V_DATETIME date;
		ClassVStd::TimestampToDateTime(date, timestamp);
		ASSERT_TRUE(date.month >= 1 && date.month <= 12 && date.day >= 1 && date.day <= 31 && date.hour < 24 && date.minute < 60 && date.second < 60) << Show(date);
		ASSERT_EQ(ClassVStd::DateTimeToTimestamp(date), timestamp) << Show(date);
	}
}

TEST(StdDates, OutOfRangeFieldsAreClamped)
{
	EXPECT_EQ(ClassVStd::DateTimeToTimestamp(Date(1969, 12, 31, 23, 59, 59)), 0u);
	EXPECT_EQ(ClassVStd::DateTimeToTimestamp(Date(0, 6, 1)), 0u);
	EXPECT_EQ(ClassVStd::DateTimeToTimestamp(Date(2001, 13, 5)), ClassVStd::DateTimeToTimestamp(Date(2001, 12, 5)));
	EXPECT_EQ(ClassVStd::DateTimeToTimestamp(Date(2001, 0, 5)), ClassVStd::DateTimeToTimestamp(Date(2001, 1, 5)));
	EXPECT_EQ(ClassVStd::DateTimeToTimestamp(Date(2000, 3, 0)), 951868800u);
}

// ---- MD5 ---------------------------------------------------------------------------------------------

struct DigestCase { std::string input; const char* digest; };

std::string DigestOfData(const std::string& data)
{
	char out[VSTD_MD5LENGTH + 1];
	out[VSTD_MD5LENGTH] = '#';
	ClassVStd::MD5Data(out, data.data(), static_cast<uint32_t>(data.size()));
	EXPECT_EQ(out[32], 0);
	EXPECT_EQ(out[33], '#');
	return out;
}

TEST(StdMD5, RfcTestSuite)
{
	const DigestCase cases[] = {
		{"", "d41d8cd98f00b204e9800998ecf8427e"},
		{"a", "0cc175b9c0f1b6a831c399e269772661"},
		{"abc", "900150983cd24fb0d6963f7d28e17f72"},
		{"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
		{"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
		{"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
		{"12345678901234567890123456789012345678901234567890123456789012345678901234567890", "57edf4a22be3c955ac49da2e2107b67a"},
	};
	for (const DigestCase& c : cases)
	{
		char out[VSTD_MD5LENGTH];
		ClassVStd::MD5Str(out, c.input.c_str());
		EXPECT_STREQ(out, c.digest) << c.input;
		EXPECT_EQ(DigestOfData(c.input), c.digest) << c.input;
	}
}

TEST(StdMD5, BlockBoundariesAndLongInput)
{
	const DigestCase cases[] = {
		{std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65"},
		{std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"},
		{std::string(63, 'a'), "b06521f39153d618550606be297466d5"},
		{std::string(64, 'a'), "014842d480b571495a4a0363793f7367"},
		{std::string(65, 'a'), "c743a45e0d2e6a95cb859adae0248435"},
		{std::string(1000000, 'a'), "7707d6ae4e027c70eea2a935c2296f21"},
	};
	for (const DigestCase& c : cases)
		EXPECT_EQ(DigestOfData(c.input), c.digest) << c.input.size() << " bytes";
}

TEST(StdMD5, WideStringsHashTwoBytesPerCharacterLowFirst)
{
	struct Case { const char16_t* text; const char* digest; };
	const Case cases[] = {
		{u"", "d41d8cd98f00b204e9800998ecf8427e"},
		{u"abc", "ce1473cf80c6b3fda8e3dfc006adc315"},
		{u"\u20AC", "94a4e171de16580742c4d141e6607bf7"},
	};
	for (const Case& c : cases)
	{
		char out[VSTD_MD5LENGTH];
		ClassVStd::MD5Str(out, c.text);
		EXPECT_STREQ(out, c.digest);
	}
}

class StdMD5File : public ::testing::Test
{
protected:
	std::string WriteFile(const std::string& name, const std::string& contents)
	{
		const std::string path = ::testing::TempDir() + "vmod_std_" + name;
		FILE* file = std::fopen(path.c_str(), "wb");
		EXPECT_NE(file, nullptr);
		if (file != nullptr)
		{
			std::fwrite(contents.data(), 1, contents.size(), file);
			std::fclose(file);
		}
		written.push_back(path);
		return path;
	}

	void TearDown() override
	{
		for (const std::string& path : written)
			std::remove(path.c_str());
	}

	std::vector<std::string> written;
};

TEST_F(StdMD5File, NamedFilesHashTheirContents)
{
	const DigestCase cases[] = {
		{"", "d41d8cd98f00b204e9800998ecf8427e"},
		{"abc", "900150983cd24fb0d6963f7d28e17f72"},
		{std::string(8192, 'a'), "221994040b14294bdf7fbc128e66633c"},
		{std::string(20000, 'a'), "9bb57f821953f3c232116e38badc8e96"},
	};
	int index = 0;
	for (const DigestCase& c : cases)
	{
		const std::string path = WriteFile("named" + std::to_string(index++), c.input);
		char out[VSTD_MD5LENGTH];
		ClassVStd::MD5File(out, path.c_str());
		EXPECT_STREQ(out, c.digest) << c.input.size() << " bytes";
		ClassVStd::MD5File(out, Widen(path).c_str());
		EXPECT_STREQ(out, c.digest) << c.input.size() << " bytes, wide name";
	}
}

TEST_F(StdMD5File, MissingFileGivesTheEmptyDigest)
{
	char out[VSTD_MD5LENGTH];
	ClassVStd::MD5File(out, (::testing::TempDir() + "vmod_std_no_such_file").c_str());
	EXPECT_STREQ(out, "d41d8cd98f00b204e9800998ecf8427e");
}

TEST_F(StdMD5File, OpenFileHashesFromItsPosition)
{
	const std::string path = WriteFile("open", "abc");
	ClassVFile file;
	ASSERT_EQ(file.Open(path.c_str(), VFILE_MODE_READ), 1);
	char out[VSTD_MD5LENGTH];
	ClassVStd::MD5File(out, file);
	EXPECT_STREQ(out, "900150983cd24fb0d6963f7d28e17f72");
	file.Seek(1);
	ASSERT_EQ(file.Tell(), 1u);
	ClassVStd::MD5File(out, file);
	EXPECT_STREQ(out, "5360af35bde9ebd8f01f492dc059593c"); // "bc"
	file.Close();
}

} // namespace
