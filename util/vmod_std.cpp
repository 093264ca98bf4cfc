// vmod_std.cpp - strings, number conversion, dates and MD5.
//
// Every string operation is written once as a template over the character
// type and reached through thin overloads. Characters are handled as
// unsigned codes (an 8-bit char widens to 0..255 whatever the signedness
// of plain char). Depends on: resources/vmod_file (MD5File only).
#include "util/vmod_std.h"

#include <cstring>

#include "resources/vmod_file.h"

namespace {

// A size argument above this, taken as unsigned, means VSTD_MAXLENGTH.
constexpr uint32_t kLargestCopySize = 65536;
constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr uint8_t kLowestRadix = 2;
constexpr uint8_t kHighestRadix = 36;
constexpr uint32_t kNoDigit = 36; // above every digit of every radix

// Days in the months before month m (index 0 and 1: none), no leap day.
constexpr uint16_t kDaysBeforeMonth[13] = {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
constexpr uint8_t kDaysInMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
constexpr uint32_t kEpochYear = 1970;
constexpr uint32_t kSecondsPerDay = 86400;

// ---- characters ------------------------------------------------------------

inline uint32_t Code(char c) { return static_cast<uint8_t>(c); }
inline uint32_t Code(char16_t c) { return c; }

template <typename C> C FromCode(uint32_t code);
template <> inline char FromCode<char>(uint32_t code) { return static_cast<char>(static_cast<uint8_t>(code)); }
template <> inline char16_t FromCode<char16_t>(uint32_t code) { return static_cast<char16_t>(code); }

inline bool IsBlank(uint32_t code) { return code == 32 || (code >= 9 && code <= 13); }
inline uint32_t UpperCode(uint32_t code) { return (code >= 'a' && code <= 'z') ? code - ('a' - 'A') : code; }
inline uint32_t LowerCode(uint32_t code) { return (code >= 'A' && code <= 'Z') ? code + ('a' - 'A') : code; }

inline bool SameCode(uint32_t a, uint32_t b, bool caseSensitive)
{
	return a == b || (!caseSensitive && UpperCode(a) == UpperCode(b));
}

// ---- string templates --------------------------------------------------------

template <typename C> int32_t Length(const C* s, int32_t max = VSTD_MAXLENGTH)
{
	const int32_t limit = max < VSTD_MAXLENGTH ? max : VSTD_MAXLENGTH;
	int32_t n = 0;
	while (n < limit && s[n] != 0)
		n++;
	return n;
}

template <typename D, typename S> void CopyCodes(D* dst, const S* src, int32_t count)
{
	for (int32_t i = 0; i < count; i++)
		dst[i] = FromCode<D>(Code(src[i]));
}

template <typename D, typename S> void Copy(D* dst, const S* src, int32_t size)
{
	// Every negative size is above the limit as unsigned, so only 0 is left
	// to mean "no room at all".
	const int32_t room = static_cast<uint32_t>(size) > kLargestCopySize ? VSTD_MAXLENGTH : size;
	if (room == 0)
		return;
	const int32_t count = Length(src, room - 1);
	CopyCodes(dst, src, count);
	dst[count] = 0;
}

template <typename D, typename S> void Append(D* dst, const S* src)
{
	Copy(dst + Length(dst), src, VSTD_MAXLENGTH);
}

template <typename C> void WriteNumber(C* dst, int32_t number, uint8_t radix, bool isSigned)
{
	if (radix < kLowestRadix || radix > kHighestRadix)
		return;
	const bool negative = isSigned && number < 0;
	// The magnitude is taken in unsigned arithmetic: negating -2^31 as a
	// signed value would overflow.
	uint32_t magnitude = static_cast<uint32_t>(number);
	if (negative)
		magnitude = 0u - magnitude;
	char reversed[32];
	int32_t count = 0;
	do
	{
		reversed[count++] = kDigits[magnitude % radix];
		magnitude /= radix;
	} while (magnitude != 0);
	if (negative)
		*dst++ = FromCode<C>('-');
	while (count > 0)
		*dst++ = FromCode<C>(Code(reversed[--count]));
	*dst = 0;
}

inline uint32_t DigitValue(uint32_t code)
{
	if (code >= '0' && code <= '9')
		return code - '0';
	const uint32_t upper = UpperCode(code);
	if (upper >= 'A' && upper <= 'Z')
		return upper - 'A' + 10;
	return kNoDigit;
}

// Two's complement reading of a 32-bit pattern, without an out-of-range
// conversion.
inline int32_t AsSigned(uint32_t bits)
{
	return bits <= 0x7FFFFFFFu ? static_cast<int32_t>(bits) : -static_cast<int32_t>(~bits) - 1;
}

template <typename C> int32_t ParseNumber(const C* s, uint8_t radix)
{
	if (radix < kLowestRadix || radix > kHighestRadix)
		return 0;
	const bool negative = Code(s[0]) == '-';
	// Unsigned accumulation: an overlong number wraps instead of overflowing.
	uint32_t value = 0;
	for (int32_t i = negative ? 1 : 0; i < VSTD_MAXLENGTH && s[i] != 0; i++)
	{
		const uint32_t digit = DigitValue(Code(s[i]));
		if (digit >= radix)
			return 0;
		value = value * radix + digit;
	}
	return AsSigned(negative ? 0u - value : value);
}

template <typename A, typename B> bool Equal(const A* a, const B* b, bool caseSensitive)
{
	for (int32_t i = 0; i < VSTD_MAXLENGTH; i++)
	{
		const uint32_t codeA = Code(a[i]);
		if (!SameCode(codeA, Code(b[i]), caseSensitive))
			return false;
		if (codeA == 0)
			return true;
	}
	return true; // both run on past the longest length any scan sees
}

template <typename C> int32_t FindCode(const C* s, char16_t ch)
{
	for (int32_t i = 0; i < VSTD_MAXLENGTH && s[i] != 0; i++)
	{
		if (Code(s[i]) == ch)
			return i;
	}
	return -1;
}

template <typename A, typename B> bool MatchesAt(const A* s, const B* sought, int32_t soughtLength, bool caseSensitive)
{
	for (int32_t i = 0; i < soughtLength; i++)
	{
		if (!SameCode(Code(s[i]), Code(sought[i]), caseSensitive))
			return false;
	}
	return true;
}

template <typename A, typename B> int32_t FindText(const A* s, const B* sought, bool caseSensitive)
{
	const int32_t soughtLength = Length(sought);
	if (soughtLength == 0)
		return -1;
	const int32_t last = Length(s) - soughtLength;
	for (int32_t i = 0; i <= last; i++)
	{
		if (MatchesAt(s + i, sought, soughtLength, caseSensitive))
			return i;
	}
	return -1;
}

template <typename C, typename Map> C* MapCodes(C* s, Map map)
{
	for (int32_t i = 0; i < VSTD_MAXLENGTH && s[i] != 0; i++)
		s[i] = FromCode<C>(map(Code(s[i])));
	return s;
}

template <typename C> C* TrimLeft(C* s)
{
	const int32_t length = Length(s);
	int32_t lead = 0;
	while (lead < length && IsBlank(Code(s[lead])))
		lead++;
	if (lead > 0)
	{
		std::memmove(s, s + lead, static_cast<size_t>(length - lead) * sizeof(C));
		s[length - lead] = 0;
	}
	return s;
}

template <typename C> C* TrimRight(C* s)
{
	int32_t length = Length(s);
	while (length > 0 && IsBlank(Code(s[length - 1])))
		s[--length] = 0;
	return s;
}

template <typename C> void ReplaceHead(C* dst, const C* src, int32_t count)
{
	const int32_t length = Length(dst);
	const int32_t head = count < 0 ? 0 : (count > length ? length : count);
	const int32_t srcLength = Length(src);
	const int32_t tail = length - head;
	std::memmove(dst + srcLength, dst + head, static_cast<size_t>(tail) * sizeof(C));
	std::memmove(dst, src, static_cast<size_t>(srcLength) * sizeof(C));
	dst[srcLength + tail] = 0;
}

// Left-to-right, non-overlapping matches, at most limit of them.
template <typename C> int32_t CountMatches(const C* s, int32_t length, const C* find, int32_t findLength, bool caseSensitive, uint32_t limit)
{
	uint32_t count = 0;
	for (int32_t i = 0; i + findLength <= length && count < limit;)
	{
		if (MatchesAt(s + i, find, findLength, caseSensitive))
		{
			count++;
			i += findLength;
		}
		else
			i++;
	}
	return static_cast<int32_t>(count);
}

template <typename C> int32_t ReplaceAll(C* s, const C* find, const C* replacement, bool caseSensitive, int32_t max)
{
	if (max == 0 || max < -1)
		return 0;
	const int32_t findLength = Length(find);
	if (findLength == 0)
		return 0;
	const uint32_t limit = max == -1 ? UINT32_MAX : static_cast<uint32_t>(max);
	const int32_t length = Length(s);
	const int32_t matches = CountMatches(s, length, find, findLength, caseSensitive, limit);
	if (matches == 0)
		return 0;

	// One pass, no rescans: the text is read from its old place while the
	// result is written from the front. A growing result first parks the
	// text at the end of the grown region, so the writer never overtakes
	// what is still to be read.
	const int32_t replacementLength = Length(replacement);
	const int32_t shift = replacementLength > findLength ? matches * (replacementLength - findLength) : 0;
	if (shift > 0)
		std::memmove(s + shift, s, static_cast<size_t>(length) * sizeof(C));
	const C* read = s + shift;
	const C* const end = read + length;
	C* write = s;
	int32_t made = 0;
	while (read < end)
	{
		if (made < matches && end - read >= findLength && MatchesAt(read, find, findLength, caseSensitive))
		{
			std::memcpy(write, replacement, static_cast<size_t>(replacementLength) * sizeof(C));
			write += replacementLength;
			read += findLength;
			made++;
		}
		else
			*write++ = *read++;
	}
	*write = 0;
	return made;
}

// ---- dates -------------------------------------------------------------------

inline bool IsLeapYear(uint32_t year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }
inline uint32_t DaysInYear(uint32_t year) { return IsLeapYear(year) ? 366 : 365; }

inline uint32_t DaysInMonth(uint32_t month, bool leapYear)
{
	return kDaysInMonth[month - 1] + ((month == 2 && leapYear) ? 1 : 0);
}

// Leap years in 1 .. year - 1.
inline uint64_t LeapYearsBefore(uint32_t year)
{
	const uint64_t y = year - 1u;
	return y / 4 - y / 100 + y / 400;
}

// ---- MD5 (RFC 1321) ------------------------------------------------------------

constexpr uint32_t kSineTable[64] = {
	0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
	0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
	0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
	0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
	0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
	0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
	0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
	0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};
constexpr uint8_t kRotations[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};
constexpr uint32_t kBlockSize = 64;
constexpr uint32_t kLengthOffset = 56; // where the bit count goes in the last block
constexpr uint32_t kFileBlockSize = 8192;

struct MD5_CONTEXT
{
	uint32_t state[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
	uint64_t bytes = 0; // message length so far
	uint8_t buffer[kBlockSize] = {};
};

// Little-endian words from bytes; size is a multiple of 4.
void MD5Decode(uint32_t* out, const uint8_t* in, uint32_t size)
{
	for (uint32_t i = 0, j = 0; j < size; i++, j += 4)
		out[i] = static_cast<uint32_t>(in[j]) | (static_cast<uint32_t>(in[j + 1]) << 8) | (static_cast<uint32_t>(in[j + 2]) << 16) | (static_cast<uint32_t>(in[j + 3]) << 24);
}

// Bytes from little-endian words; size is a multiple of 4.
void MD5Encode(uint8_t* out, const uint32_t* in, uint32_t size)
{
	for (uint32_t i = 0, j = 0; j < size; i++, j += 4)
	{
		out[j] = static_cast<uint8_t>(in[i]);
		out[j + 1] = static_cast<uint8_t>(in[i] >> 8);
		out[j + 2] = static_cast<uint8_t>(in[i] >> 16);
		out[j + 3] = static_cast<uint8_t>(in[i] >> 24);
	}
}

inline uint32_t RotateLeft(uint32_t x, uint32_t n) { return (x << n) | (x >> (32 - n)); }

// One step of any round: a = b + ((a + f + x + t) <<< s), then the words rotate.
inline void MD5Step(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, uint32_t f, uint32_t word, uint32_t i)
{
	const uint32_t sum = a + f + word + kSineTable[i];
	a = d;
	d = c;
	c = b;
	b += RotateLeft(sum, kRotations[i >> 4][i & 3]);
}

// The four rounds of 16 steps over one 64-byte block.
void MD5Transform(uint32_t state[4], const uint8_t block[kBlockSize])
{
	uint32_t x[16];
	MD5Decode(x, block, kBlockSize);
	uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
	for (uint32_t i = 0; i < 16; i++)
		MD5Step(a, b, c, d, (b & c) | (~b & d), x[i], i);
	for (uint32_t i = 16; i < 32; i++)
		MD5Step(a, b, c, d, (b & d) | (c & ~d), x[(5 * i + 1) & 15], i);
	for (uint32_t i = 32; i < 48; i++)
		MD5Step(a, b, c, d, b ^ c ^ d, x[(3 * i + 5) & 15], i);
	for (uint32_t i = 48; i < 64; i++)
		MD5Step(a, b, c, d, c ^ (b | ~d), x[(7 * i) & 15], i);
	state[0] += a;
	state[1] += b;
	state[2] += c;
	state[3] += d;
}

void MD5Update(MD5_CONTEXT& context, const uint8_t* data, uint32_t size)
{
	uint32_t filled = static_cast<uint32_t>(context.bytes % kBlockSize);
	context.bytes += size;
	if (filled > 0)
	{
		const uint32_t take = size < kBlockSize - filled ? size : kBlockSize - filled;
		std::memcpy(context.buffer + filled, data, take);
		data += take;
		size -= take;
		filled += take;
		if (filled < kBlockSize)
			return;
		MD5Transform(context.state, context.buffer);
	}
	for (; size >= kBlockSize; data += kBlockSize, size -= kBlockSize)
		MD5Transform(context.state, data);
	if (size > 0)
		std::memcpy(context.buffer, data, size);
}

// Pads with 0x80 and zeros to 56 bytes mod 64, appends the bit count.
void MD5Finalize(MD5_CONTEXT& context, uint8_t digest[16])
{
	const uint64_t bits = context.bytes * 8;
	uint32_t lengthWords[2] = {static_cast<uint32_t>(bits), static_cast<uint32_t>(bits >> 32)};
	uint8_t length[8];
	MD5Encode(length, lengthWords, sizeof(length));
	const uint32_t filled = static_cast<uint32_t>(context.bytes % kBlockSize);
	const uint32_t padding = filled < kLengthOffset ? kLengthOffset - filled : kBlockSize + kLengthOffset - filled;
	uint8_t pad[kBlockSize] = {0x80};
	MD5Update(context, pad, padding);
	MD5Update(context, length, sizeof(length));
	MD5Encode(digest, context.state, 16);
}

void WriteDigest(char* out, MD5_CONTEXT& context)
{
	static constexpr char kHex[] = "0123456789abcdef";
	uint8_t digest[16];
	MD5Finalize(context, digest);
	for (int i = 0; i < 16; i++)
	{
		out[2 * i] = kHex[digest[i] >> 4];
		out[2 * i + 1] = kHex[digest[i] & 15];
	}
	out[32] = 0;
}

void HashCodes(MD5_CONTEXT& context, const char* s, int32_t length)
{
	MD5Update(context, reinterpret_cast<const uint8_t*>(s), static_cast<uint32_t>(length));
}

// Wide characters go in as two bytes each, low byte first, whatever the
// machine's byte order.
void HashCodes(MD5_CONTEXT& context, const char16_t* s, int32_t length)
{
	uint8_t bytes[256];
	while (length > 0)
	{
		const int32_t count = length < 128 ? length : 128;
		for (int32_t i = 0; i < count; i++)
		{
			bytes[2 * i] = static_cast<uint8_t>(s[i]);
			bytes[2 * i + 1] = static_cast<uint8_t>(s[i] >> 8);
		}
		MD5Update(context, bytes, static_cast<uint32_t>(count) * 2);
		s += count;
		length -= count;
	}
}

template <typename C> void HashString(char* out, const C* s)
{
	MD5_CONTEXT context;
	HashCodes(context, s, Length(s));
	WriteDigest(out, context);
}

template <typename C> void HashNamedFile(char* out, const C* name)
{
	ClassVFile file;
	if (file.Open(name, VFILE_MODE_READ) != 1)
	{
		MD5_CONTEXT empty;
		WriteDigest(out, empty);
		return;
	}
	ClassVStd::MD5File(out, file);
	file.Close();
}

} // namespace

// ---- lengths and character classes ---------------------------------------------

int32_t ClassVStd::StrLen(const char* s, int32_t max) { return Length(s, max); }
int32_t ClassVStd::StrLen(const char16_t* s, int32_t max) { return Length(s, max); }
bool ClassVStd::IsWhiteSpace(char16_t code) { return IsBlank(code); }

// ---- copying and appending -------------------------------------------------------

void ClassVStd::StrCpy(char* dst, const char* src, int32_t size) { Copy(dst, src, size); }
void ClassVStd::StrCpy(char* dst, const char16_t* src, int32_t size) { Copy(dst, src, size); }
void ClassVStd::StrCpy(char16_t* dst, const char* src, int32_t size) { Copy(dst, src, size); }
void ClassVStd::StrCpy(char16_t* dst, const char16_t* src, int32_t size) { Copy(dst, src, size); }

void ClassVStd::StrCat(char* dst, const char* src) { Append(dst, src); }
void ClassVStd::StrCat(char* dst, const char16_t* src) { Append(dst, src); }
void ClassVStd::StrCat(char16_t* dst, const char* src) { Append(dst, src); }
void ClassVStd::StrCat(char16_t* dst, const char16_t* src) { Append(dst, src); }
void ClassVStd::StrCat(char* dst, int32_t number, uint8_t radix, bool isSigned) { WriteNumber(dst + Length(dst), number, radix, isSigned); }
void ClassVStd::StrCat(char16_t* dst, int32_t number, uint8_t radix, bool isSigned) { WriteNumber(dst + Length(dst), number, radix, isSigned); }

// ---- number conversion -------------------------------------------------------------

void ClassVStd::IntToStr(char* dst, int32_t number, uint8_t radix, bool isSigned) { WriteNumber(dst, number, radix, isSigned); }
void ClassVStd::IntToStr(char16_t* dst, int32_t number, uint8_t radix, bool isSigned) { WriteNumber(dst, number, radix, isSigned); }
int32_t ClassVStd::StrToInt(const char* s, uint8_t radix) { return ParseNumber(s, radix); }
int32_t ClassVStd::StrToInt(const char16_t* s, uint8_t radix) { return ParseNumber(s, radix); }

// ---- comparing and searching ---------------------------------------------------------

bool ClassVStd::StrEqual(const char* a, const char* b, bool caseSensitive) { return Equal(a, b, caseSensitive); }
bool ClassVStd::StrEqual(const char* a, const char16_t* b, bool caseSensitive) { return Equal(a, b, caseSensitive); }
bool ClassVStd::StrEqual(const char16_t* a, const char* b, bool caseSensitive) { return Equal(a, b, caseSensitive); }
bool ClassVStd::StrEqual(const char16_t* a, const char16_t* b, bool caseSensitive) { return Equal(a, b, caseSensitive); }

int32_t ClassVStd::StrFind(const char* s, char16_t ch) { return FindCode(s, ch); }
int32_t ClassVStd::StrFind(const char16_t* s, char16_t ch) { return FindCode(s, ch); }
int32_t ClassVStd::StrFind(const char* s, const char* sought, bool caseSensitive) { return FindText(s, sought, caseSensitive); }
int32_t ClassVStd::StrFind(const char* s, const char16_t* sought, bool caseSensitive) { return FindText(s, sought, caseSensitive); }
int32_t ClassVStd::StrFind(const char16_t* s, const char* sought, bool caseSensitive) { return FindText(s, sought, caseSensitive); }
int32_t ClassVStd::StrFind(const char16_t* s, const char16_t* sought, bool caseSensitive) { return FindText(s, sought, caseSensitive); }

// ---- editing in place ------------------------------------------------------------------

char* ClassVStd::StrUpper(char* s) { return MapCodes(s, UpperCode); }
char16_t* ClassVStd::StrUpper(char16_t* s) { return MapCodes(s, UpperCode); }
char* ClassVStd::StrLower(char* s) { return MapCodes(s, LowerCode); }
char16_t* ClassVStd::StrLower(char16_t* s) { return MapCodes(s, LowerCode); }
char* ClassVStd::StrTrimLeft(char* s) { return TrimLeft(s); }
char16_t* ClassVStd::StrTrimLeft(char16_t* s) { return TrimLeft(s); }
char* ClassVStd::StrTrimRight(char* s) { return TrimRight(s); }
char16_t* ClassVStd::StrTrimRight(char16_t* s) { return TrimRight(s); }
char* ClassVStd::StrTrim(char* s) { return TrimLeft(TrimRight(s)); }
char16_t* ClassVStd::StrTrim(char16_t* s) { return TrimLeft(TrimRight(s)); }

// ---- replacing -------------------------------------------------------------------------------

void ClassVStd::StrNew(char* dst, const char* src, int32_t count) { ReplaceHead(dst, src, count); }
void ClassVStd::StrNew(char16_t* dst, const char16_t* src, int32_t count) { ReplaceHead(dst, src, count); }

int32_t ClassVStd::StrReplace(char* s, const char* find, const char* replacement, bool caseSensitive, int32_t max)
{
	return ReplaceAll(s, find, replacement, caseSensitive, max);
}

int32_t ClassVStd::StrReplace(char16_t* s, const char16_t* find, const char16_t* replacement, bool caseSensitive, int32_t max)
{
	return ReplaceAll(s, find, replacement, caseSensitive, max);
}

// ---- dates -------------------------------------------------------------------------------------

uint32_t ClassVStd::DateTimeToTimestamp(const V_DATETIME& date)
{
	if (date.year < kEpochYear)
		return 0;
	const uint32_t month = date.month > 12 ? 12 : date.month;
	// Counted in 64 bits and cut to 32 at the end, as a 32-bit running sum
	// would wrap for years past 2106.
	uint64_t days = 365ull * (date.year - kEpochYear) + LeapYearsBefore(date.year) - LeapYearsBefore(kEpochYear);
	days += kDaysBeforeMonth[month];
	if (month >= 3 && IsLeapYear(date.year))
		days++;
	days += date.day > 0 ? date.day - 1u : 0u;
	const uint64_t seconds = days * kSecondsPerDay + date.hour * 3600ull + date.minute * 60ull + date.second;
	return static_cast<uint32_t>(seconds);
}

void ClassVStd::TimestampToDateTime(V_DATETIME& out, uint32_t seconds)
{
	const uint32_t inDay = seconds % kSecondsPerDay;
	out.hour = static_cast<uint8_t>(inDay / 3600);
	out.minute = static_cast<uint8_t>(inDay / 60 % 60);
	out.second = static_cast<uint8_t>(inDay % 60);

	uint32_t days = seconds / kSecondsPerDay;
	uint32_t year = kEpochYear;
	while (days >= DaysInYear(year))
		days -= DaysInYear(year++);
	const bool leapYear = IsLeapYear(year);
	uint32_t month = 1;
	while (days >= DaysInMonth(month, leapYear))
		days -= DaysInMonth(month++, leapYear);
	out.year = year;
	out.month = static_cast<uint8_t>(month);
	out.day = static_cast<uint8_t>(days + 1);
}

// ---- MD5 -------------------------------------------------------------------------------------------

void ClassVStd::MD5Str(char* out, const char* s) { HashString(out, s); }
void ClassVStd::MD5Str(char* out, const char16_t* s) { HashString(out, s); }

void ClassVStd::MD5Data(char* out, const void* data, uint32_t size)
{
	MD5_CONTEXT context;
	MD5Update(context, static_cast<const uint8_t*>(data), size);
	WriteDigest(out, context);
}

void ClassVStd::MD5File(char* out, ClassVFile& file)
{
	MD5_CONTEXT context;
	const uint32_t size = file.Size();
	const uint32_t position = file.Tell();
	uint32_t remaining = size > position ? size - position : 0;
	uint8_t block[kFileBlockSize];
	while (remaining > 0)
	{
		const uint32_t count = remaining < kFileBlockSize ? remaining : kFileBlockSize;
		if (file.Read(block, count) != 1)
			break; // a short read ends the input; only whole blocks are known good
		MD5Update(context, block, count);
		remaining -= count;
	}
	WriteDigest(out, context);
}

void ClassVStd::MD5File(char* out, const char* name) { HashNamedFile(out, name); }
void ClassVStd::MD5File(char* out, const char16_t* name) { HashNamedFile(out, name); }
