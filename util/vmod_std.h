// vmod_std.h - the framework's string module: zero-terminated 8-bit and
// 16-bit strings, integer/text conversion in any radix, calendar dates and
// MD5 digests.
//
// Stateless and allocation-free: every operation is a static call and the
// caller owns every buffer and sizes it. Every length scan stops after
// VSTD_MAXLENGTH characters. Depends on: resources/vmod_file (MD5File only).
#pragma once

#include <cstdint>

class ClassVFile;

constexpr int32_t VSTD_MAXLENGTH = 16384; // longest string any scan sees
constexpr int32_t VSTD_MD5LENGTH = 33;    // 32 hex digits and the zero

// A calendar date and time of day, without time zone.
struct V_DATETIME
{
	uint32_t year;     // 1970 and later count
	uint8_t month;     // 1..12
	uint8_t day;       // 1..31
	uint8_t hour;      // 0..23
	uint8_t minute;    // 0..59
	uint8_t second;    // 0..59
	uint8_t unused[3]; // not used here
};
static_assert(sizeof(V_DATETIME) == 12, "V_DATETIME is 12 bytes");

class ClassVStd
{
public:
	// Lengths and character classes.
	static int32_t StrLen(const char* s, int32_t max = VSTD_MAXLENGTH);     // characters before the zero, at most max
	static int32_t StrLen(const char16_t* s, int32_t max = VSTD_MAXLENGTH); // characters before the zero, at most max
	static bool IsWhiteSpace(char16_t code);                                // 9..13 and 32

	// Copying: at most size - 1 characters and a zero; size 0 writes nothing,
	// a size above 65536 taken as unsigned (every negative one too) means 16384.
	static void StrCpy(char* dst, const char* src, int32_t size);         // plain copy
	static void StrCpy(char* dst, const char16_t* src, int32_t size);     // keeps the low 8 bits of each code
	static void StrCpy(char16_t* dst, const char* src, int32_t size);     // widens each code to 0..255
	static void StrCpy(char16_t* dst, const char16_t* src, int32_t size); // plain copy

	// Appending: at most 16383 characters after dst's zero, then a zero.
	static void StrCat(char* dst, const char* src);                                       // appends src
	static void StrCat(char* dst, const char16_t* src);                                   // appends src, low 8 bits
	static void StrCat(char16_t* dst, const char* src);                                   // appends src, widened
	static void StrCat(char16_t* dst, const char16_t* src);                               // appends src
	static void StrCat(char* dst, int32_t number, uint8_t radix, bool isSigned);          // appends IntToStr
	static void StrCat(char16_t* dst, int32_t number, uint8_t radix, bool isSigned);      // appends IntToStr

	// Number conversion in radix 2..36 (digits 0-9, then A-Z).
	static void IntToStr(char* dst, int32_t number, uint8_t radix = 10, bool isSigned = true);     // writes nothing for a bad radix
	static void IntToStr(char16_t* dst, int32_t number, uint8_t radix = 10, bool isSigned = true); // writes nothing for a bad radix
	static int32_t StrToInt(const char* s, uint8_t radix = 10);                                   // 0 for empty, bad radix or bad digit
	static int32_t StrToInt(const char16_t* s, uint8_t radix = 10);                               // 0 for empty, bad radix or bad digit

	// Comparing and searching; only a..z and A..Z have case.
	static bool StrEqual(const char* a, const char* b, bool caseSensitive = true);         // same length, same characters
	static bool StrEqual(const char* a, const char16_t* b, bool caseSensitive = true);     // same length, same characters
	static bool StrEqual(const char16_t* a, const char* b, bool caseSensitive = true);     // same length, same characters
	static bool StrEqual(const char16_t* a, const char16_t* b, bool caseSensitive = true); // same length, same characters
	static int32_t StrFind(const char* s, char16_t ch);                                               // first index of ch, -1 if none
	static int32_t StrFind(const char16_t* s, char16_t ch);                                           // first index of ch, -1 if none
	static int32_t StrFind(const char* s, const char* sought, bool caseSensitive = true);             // first index of sought, -1 if none or empty
	static int32_t StrFind(const char* s, const char16_t* sought, bool caseSensitive = true);         // first index of sought, -1 if none or empty
	static int32_t StrFind(const char16_t* s, const char* sought, bool caseSensitive = true);         // first index of sought, -1 if none or empty
	static int32_t StrFind(const char16_t* s, const char16_t* sought, bool caseSensitive = true);     // first index of sought, -1 if none or empty

	// Editing in place; each returns s.
	static char* StrUpper(char* s);               // a..z to A..Z
	static char16_t* StrUpper(char16_t* s);       // a..z to A..Z
	static char* StrLower(char* s);               // A..Z to a..z
	static char16_t* StrLower(char16_t* s);       // A..Z to a..z
	static char* StrTrimLeft(char* s);            // drops leading white space, moving the rest down
	static char16_t* StrTrimLeft(char16_t* s);    // drops leading white space, moving the rest down
	static char* StrTrimRight(char* s);           // zeros trailing white space
	static char16_t* StrTrimRight(char16_t* s);   // zeros trailing white space
	static char* StrTrim(char* s);                // both ends
	static char16_t* StrTrim(char16_t* s);        // both ends

	// Replacing; dst must hold the grown string.
	static void StrNew(char* dst, const char* src, int32_t count);          // first count characters of dst become src
	static void StrNew(char16_t* dst, const char16_t* src, int32_t count);  // first count characters of dst become src
	static int32_t StrReplace(char* s, const char* find, const char* replacement, bool caseSensitive = true, int32_t max = -1);                 // replacements made; max -1 = no limit
	static int32_t StrReplace(char16_t* s, const char16_t* find, const char16_t* replacement, bool caseSensitive = true, int32_t max = -1); // replacements made; max -1 = no limit

	// Dates: seconds since 1970-01-01 00:00:00, no time zones, no leap seconds.
	static uint32_t DateTimeToTimestamp(const V_DATETIME& date);      // 0 for years before 1970
	static void TimestampToDateTime(V_DATETIME& out, uint32_t seconds); // the inverse

	// MD5 digests (RFC 1321); out receives 32 lower-case hex digits and a zero.
	static void MD5Str(char* out, const char* s);                     // the string's bytes
	static void MD5Str(char* out, const char16_t* s);                 // 2 bytes a character, low byte first
	static void MD5Data(char* out, const void* data, uint32_t size);  // size bytes of memory
	static void MD5File(char* out, ClassVFile& file);                 // the rest of an open file, from its position
	static void MD5File(char* out, const char* name);                 // a named file; empty input if it won't open
	static void MD5File(char* out, const char16_t* name);             // a named file; empty input if it won't open
};
