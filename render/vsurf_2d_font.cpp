// vsurf_2d_font.cpp - bitmap fonts: a surface's pixels as a font sheet, the
// glyph table built from it, and text drawn glyph by glyph with BltFast, so
// every blit flag applies to text as well.
//
// The glyph table is a header (padding x, padding y, first code, glyph count)
// and one rectangle per glyph in the sheet's virtual coordinates. Characters
// are looked up against the header, never against the settings, which may
// have changed since the table was built. Line feed and carriage return never
// draw and take no room. Depends on: the surface and its blits, the string
// module (length scans), the memory module (tables).
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

#include "render/vsurf_2d.h"
#include "util/vmod_memory.h"
#include "util/vmod_std.h"

namespace {

constexpr char16_t LINEFEED = 10;
constexpr char16_t CARRIAGERETURN = 13;
constexpr int32_t TABLEVALUES = 4;       // 16-bit values per table entry
constexpr int32_t MAXGLYPHS = 0xFFFF;    // the header holds the count in 16 bits
constexpr int32_t GLYPHSKIP = 2;         // a band's marker row and spacer row
constexpr int32_t NUMBERCHARS = 12;      // "-2147483648" and the zero
constexpr uint32_t BLITFLAGS = 0xFF;     // the flags that go to BltFast

char16_t Code(char c) { return char16_t(uint8_t(c)); }  // 8-bit text holds codes 0-255
char16_t Code(char16_t c) { return c; }

bool IsWrapSpace(char16_t c) { return c == ' ' || (c >= 9 && c <= 13); }

int32_t Clamp32(int64_t v) {
  return int32_t(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

int16_t Clamp16(int32_t v) {
  return int16_t(std::clamp<int32_t>(v, std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()));
}

// The header keeps codes and counts up to 0xFFFF in its signed 16-bit slots.
int16_t AsStored(uint16_t v) {
  int16_t s;
  std::memcpy(&s, &v, sizeof s);
  return s;
}

uint16_t AsCode(int16_t s) {
  uint16_t v;
  std::memcpy(&v, &s, sizeof v);
  return v;
}

bool HasPixels(V2DSurface& surface) {
  uint8_t* memory = surface.Lock(nullptr);
  if (memory) surface.Unlock();
  return memory != nullptr;
}

// A text and its length; every scan stops at the string module's limit.
template <typename CHAR>
struct TEXT {
  const CHAR* chars;
  int32_t length;
  char16_t operator[](int32_t i) const { return Code(chars[i]); }
};

template <typename CHAR>
TEXT<CHAR> Text(const CHAR* chars) {
  return {chars, chars ? ClassVStd::StrLen(chars) : 0};
}

// A font sheet's glyph table, read the way every text walk needs it.
class FontMetrics {
 public:
  explicit FontMetrics(const V2DSurface& font) : table(font.GetFontTable()), charset(font.GetFontCharacterSet()) {
    if (!table) return;
    paddingx = table[0];
    paddingy = table[1];
    first = AsCode(table[2]);
    count = AsCode(table[3]);
    lineheight = table[TABLEVALUES + 3] - table[TABLEVALUES + 1];
    charsetlength = charset ? ClassVStd::StrLen(charset) : 0;
  }

  bool Built() const { return table != nullptr; }
  int32_t LineHeight() const { return lineheight; }
  int32_t LineStep() const { return lineheight + paddingy; }
  int32_t PaddingX() const { return paddingx; }

  // The glyph's left, top, right, bottom; null for a character without one
  // (not in the table, an empty cell, a line break).
  const int16_t* Glyph(char16_t code) const {
    if (!table || code == LINEFEED || code == CARRIAGERETURN) return nullptr;
    const int32_t index = Index(code);
    if (index < 0 || index >= count) return nullptr;
    const int16_t* glyph = table + TABLEVALUES * (index + 1);
    return glyph[2] > glyph[0] && glyph[3] > glyph[1] ? glyph : nullptr;
  }

  int32_t Advance(char16_t code) const {
    const int16_t* glyph = Glyph(code);
    return glyph ? glyph[2] - glyph[0] + paddingx : 0;
  }

 private:
  int32_t Index(char16_t code) const {
    if (!charset) return int32_t(code) - first;
    for (int32_t i = 0; i < charsetlength; i++) {
      if (charset[i] == code) return i;
    }
    return -1;
  }

  const int16_t* table;
  const char16_t* charset;
  int32_t charsetlength = 0;
  int32_t paddingx = 0, paddingy = 0, first = 0, count = 0, lineheight = 0;
};

template <typename CHAR>
int64_t RunWidth(const FontMetrics& metrics, const TEXT<CHAR>& text, int32_t start, int32_t end) {
  int64_t width = 0;
  for (int32_t i = start; i < end; i++) width += metrics.Advance(text[i]);
  return width;
}

template <typename CHAR>
int32_t LineEnd(const TEXT<CHAR>& text, int32_t start) {
  while (start < text.length && text[start] != LINEFEED) start++;
  return start;
}

// One line, plus one per line feed that has a character after it.
template <typename CHAR>
int32_t CountLines(const TEXT<CHAR>& text) {
  int32_t lines = 1;
  for (int32_t i = 0; i + 1 < text.length; i++) lines += text[i] == LINEFEED;
  return lines;
}

int64_t AlignX(int32_t x, int64_t linewidth, uint32_t flags) {
  if (flags & VFONT_RIGHT) return x - linewidth;
  if (flags & VFONT_CENTER) return x - linewidth / 2;
  return x;
}

int64_t AlignY(int32_t y, int64_t textheight, uint32_t flags) {
  if (flags & VFONT_BOTTOM) return y - textheight;
  if (flags & VFONT_MIDDLE) return y - textheight / 2;
  return y;
}

// Blits glyphs onto a destination. Glyphs wholly outside it are skipped
// here, so only coordinates near the surface ever reach BltFast.
class GlyphPen {
 public:
  GlyphPen(V2DSurface& dest, V2DSurface& font, const FontMetrics& metrics, uint32_t flags, uint32_t value)
      : dest(dest), font(font), metrics(metrics), flags(flags & BLITFLAGS), value(value),
        width(dest.GetWidth()), height(dest.GetHeight()) {}

  template <typename CHAR>
  void DrawRun(const TEXT<CHAR>& text, int32_t start, int32_t end, int64_t x, int64_t y) {
    for (int32_t i = start; i < end; i++) {
      const int16_t* glyph = metrics.Glyph(text[i]);
      if (!glyph) continue;
      Blit(x, y, glyph);
      x += glyph[2] - glyph[0] + metrics.PaddingX();
    }
  }

 private:
  void Blit(int64_t x, int64_t y, const int16_t* glyph) {
    if (x >= width || y >= height || x + (glyph[2] - glyph[0]) <= 0 || y + (glyph[3] - glyph[1]) <= 0) return;
    tagRECT rect = {glyph[0], glyph[1], glyph[2], glyph[3]};
    dest.BltFast(int32_t(x), int32_t(y), &font, &rect, flags, value);
  }

  V2DSurface& dest;
  V2DSurface& font;
  const FontMetrics& metrics;
  uint32_t flags, value;
  int32_t width, height;
};

// A line of wrapped text: characters [start, end), and whether a line feed
// follows it in the wrapped text (a run's own line feed inside it is dropped).
struct WRAPLINE {
  int32_t start, end;
  bool linefeed;
};

// Walks a text line by line: a line ends at a line feed, or is broken where
// its advances reach the width, at its last whitespace after the first
// character (else behind the character that reached the width), taking the
// whitespace run behind the break along.
template <typename CHAR>
class WrapWalker {
 public:
  WrapWalker(const FontMetrics& metrics, const TEXT<CHAR>& text, int32_t width)
      : metrics(metrics), text(text), width(width) {}

  bool Next(WRAPLINE& line) {
    if (position >= text.length) return false;
    const int32_t start = position;
    int64_t sum = 0;
    for (int32_t i = start; i < text.length; i++) {
      if (text[i] == LINEFEED) {
        line = {start, i, true};
        position = i + 1;
        return true;
      }
      sum += metrics.Advance(text[i]);
      if (sum >= width) {
        position = SkipWhitespaceRun(BreakPosition(start, i));
        line = {start, position, true};
        return true;
      }
    }
    line = {start, text.length, false};
    position = text.length;
    return true;
  }

 private:
  int32_t BreakPosition(int32_t start, int32_t current) const {
    for (int32_t i = current; i > start; i--) {
      if (IsWrapSpace(text[i])) return i;
    }
    return current + 1;
  }

  // Behind the whitespace from `from` on, taking at most one line feed.
  int32_t SkipWhitespaceRun(int32_t from) const {
    bool linefeed = false;
    for (; from < text.length && IsWrapSpace(text[from]); from++) {
      if (text[from] != LINEFEED) continue;
      if (linefeed) break;
      linefeed = true;
    }
    return from;
  }

  const FontMetrics& metrics;
  const TEXT<CHAR>& text;
  int64_t width;
  int32_t position = 0;
};

template <typename CHAR>
int32_t CountWrappedLines(const FontMetrics& metrics, const TEXT<CHAR>& text, int32_t width) {
  WrapWalker<CHAR> walker(metrics, text, width);
  WRAPLINE line;
  int32_t lines = 0;
  while (walker.Next(line)) lines++;
  return std::max(lines, 1);
}

template <typename CHAR>
int32_t TrimmedEnd(const TEXT<CHAR>& text, int32_t start, int32_t end) {
  while (end > start && IsWrapSpace(text[end - 1])) end--;
  return end;
}

bool CanDraw(V2DSurface& dest, V2DSurface* font) {
  return font && font->GetFontTable() && dest.IsCreated() && font->IsCreated() && HasPixels(dest) &&
         HasPixels(*font);
}

template <typename CHAR>
int DrawText(V2DSurface& dest, int32_t x, int32_t y, V2DSurface* font, const CHAR* chars, uint32_t flags,
             uint32_t value) {
  if (!CanDraw(dest, font)) return VSURF_NOTCREATED;
  if (!chars) return VSURF_INVALID;
  const FontMetrics metrics(*font);
  const TEXT<CHAR> text = Text(chars);
  GlyphPen pen(dest, *font, metrics, flags, value);
  int64_t top = AlignY(y, int64_t(CountLines(text)) * metrics.LineHeight(), flags);
  for (int32_t start = 0;; top += metrics.LineStep()) {
    const int32_t end = LineEnd(text, start);
    pen.DrawRun(text, start, end, AlignX(x, RunWidth(metrics, text, start, end), flags), top);
    if (end + 1 >= text.length) break;
    start = end + 1;
  }
  return VSURF_OK;
}

template <typename CHAR>
int DrawWrapped(V2DSurface& dest, int32_t x, int32_t y, V2DSurface* font, const CHAR* chars, int32_t width,
                uint32_t flags, uint32_t value) {
  if (!CanDraw(dest, font)) return VSURF_NOTCREATED;
  if (!chars) return VSURF_INVALID;
  const FontMetrics metrics(*font);
  const TEXT<CHAR> text = Text(chars);
  GlyphPen pen(dest, *font, metrics, flags, value);
  int64_t top = AlignY(y, int64_t(CountWrappedLines(metrics, text, width)) * metrics.LineHeight(), flags);
  WrapWalker<CHAR> walker(metrics, text, width);
  WRAPLINE line;
  while (walker.Next(line)) {
    // Aligned by what the line shows, without the whitespace it was broken at.
    const int64_t linewidth = RunWidth(metrics, text, line.start, TrimmedEnd(text, line.start, line.end));
    pen.DrawRun(text, line.start, line.end, AlignX(x, linewidth, flags), top);
    top += metrics.LineStep();
  }
  return VSURF_OK;
}

template <typename CHAR>
int32_t WrapInto(const V2DSurface& font, const CHAR* chars, CHAR* result, int32_t width, int32_t capacity) {
  if (!result || capacity < 1) return 0;
  const int32_t room = capacity - 1;
  int32_t written = 0;
  auto put = [&](CHAR c) {
    if (written < room) result[written++] = c;
  };
  if (chars) {
    const FontMetrics metrics(font);
    const TEXT<CHAR> text = Text(chars);
    WrapWalker<CHAR> walker(metrics, text, width);
    WRAPLINE line;
    while (walker.Next(line)) {
      for (int32_t i = line.start; i < line.end; i++) {
        if (text[i] != LINEFEED) put(chars[i]);
      }
      if (line.linefeed) put(CHAR(LINEFEED));
    }
  }
  result[written] = 0;
  return written;
}

template <typename CHAR>
int32_t WidestLine(const V2DSurface& font, const CHAR* chars) {
  const FontMetrics metrics(font);
  if (!metrics.Built() || !chars) return 0;
  const TEXT<CHAR> text = Text(chars);
  int64_t widest = 0, line = 0;
  for (int32_t i = 0; i < text.length; i++) {
    const char16_t c = text[i];
    line = c == LINEFEED || c == CARRIAGERETURN ? 0 : line + metrics.Advance(c);
    widest = std::max(widest, line);
  }
  return Clamp32(widest);
}

template <typename CHAR>
int32_t TextHeight(const V2DSurface& font, const CHAR* chars) {
  const FontMetrics metrics(font);
  if (!metrics.Built()) return 0;
  if (!chars) return metrics.LineHeight();
  return Clamp32(int64_t(CountLines(Text(chars))) * metrics.LineHeight());
}

template <typename CHAR>
char16_t* WidenedCopy(const CHAR* text) {
  const int32_t length = ClassVStd::StrLen(text);
  auto* copy = static_cast<char16_t*>(ClassVMemory::Alloc(uint32_t(length + 1) * sizeof(char16_t)));
  if (!copy) return nullptr;
  for (int32_t i = 0; i < length; i++) copy[i] = Code(text[i]);
  copy[length] = 0;
  return copy;
}

// Keeps the old set when memory runs out for the new one.
template <typename CHAR>
int ReplaceCharacterSet(char16_t*& charset, const CHAR* text) {
  char16_t* copy = text ? WidenedCopy(text) : nullptr;
  if (text && !copy) return VSURF_NOMEMORY;
  ClassVMemory::DeAlloc(charset);
  charset = copy;
  return VSURF_OK;
}

// Glyph i's rectangle in the table (entry 0 is the header).
void SetGlyph(int16_t* table, int32_t i, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  int16_t* glyph = table + TABLEVALUES * (i + 1);
  glyph[0] = int16_t(left);
  glyph[1] = int16_t(top);
  glyph[2] = int16_t(right);
  glyph[3] = int16_t(bottom);
}

// Marker runs: each band's top row marks a glyph's columns with non-key
// pixels; glyphs follow each other along the bands. Glyphs past the last run
// stay empty.
void DetectGlyphs(const V2DSurface& sheet, int16_t* table, int32_t count, int32_t rows) {
  const int32_t width = sheet.GetWidth(), bandheight = sheet.GetHeight() / rows;
  const uint32_t key = sheet.GetColorKey();
  int32_t band = 0, x = 0;
  for (int32_t i = 0; i < count && band < rows;) {
    const int32_t marker = band * bandheight;
    while (x < width && sheet.GetPixel(x, marker) == key) x++;
    if (x >= width) {
      band++;
      x = 0;
      continue;
    }
    const int32_t left = x;
    while (x < width && sheet.GetPixel(x, marker) != key) x++;
    const int32_t bottom = marker + bandheight;
    SetGlyph(table, i++, left, std::min(marker + GLYPHSKIP, bottom), x, bottom);
  }
}

// A regular grid of rows x perrow cells; glyphs whose cell starts below the
// sheet stay empty.
void CutGrid(const V2DSurface& sheet, int16_t* table, int32_t count, int32_t rows, int32_t perrow) {
  // Spread over the rows when the layout gives no count, at least one per row.
  if (perrow < 1) perrow = std::max(count / rows, 1);
  const int32_t width = sheet.GetWidth(), height = sheet.GetHeight();
  const int32_t cellwidth = width / perrow, cellheight = height / rows;
  for (int32_t i = 0; i < count; i++) {
    const int64_t top = int64_t(i / perrow) * cellheight;
    if (top >= height) break;
    const int32_t left = cellwidth * (i % perrow);
    SetGlyph(table, i, left, int32_t(top), left + cellwidth, int32_t(std::min<int64_t>(top + cellheight, height)));
  }
}

void FormatNumber(int32_t number, char* out) {
  // As unsigned, since -2147483648 has no 32-bit absolute value.
  uint32_t magnitude = number < 0 ? 0u - uint32_t(number) : uint32_t(number);
  char digits[NUMBERCHARS];
  int32_t count = 0;
  do {
    digits[count++] = char('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude);
  if (number < 0) *out++ = '-';
  while (count) *out++ = digits[--count];
  *out = 0;
}

}  // namespace

// --- font settings -------------------------------------------------------------------

void V2DSurface::SetFontCharacters(uint16_t first, uint16_t last) {
  fontfirst = first;
  fontlast = last;
}

int V2DSurface::SetFontCharacterSet(const char* text) { return ReplaceCharacterSet(fontcharset, text); }

int V2DSurface::SetFontCharacterSet(const char16_t* text) { return ReplaceCharacterSet(fontcharset, text); }

void V2DSurface::SetFontPadding(int32_t x, int32_t y) {
  fontpaddingx = x;
  fontpaddingy = y;
  if (!fonttable) return;
  fonttable[0] = Clamp16(x);
  fonttable[1] = Clamp16(y);
}

void V2DSurface::SetFontSheetLayout(uint8_t rows, int32_t perrow) {
  fontrows = rows;
  fontperrow = perrow;
}

int V2DSurface::BuildFont(bool detect, uint32_t colourkey) {
  if (!IsCreated() || (detect && !pixels)) return VSURF_NOTCREATED;
  SetColorKey(colourkey);
  ClassVMemory::DeAlloc(fonttable);
  fonttable = nullptr;
  const int32_t count = fontcharset ? ClassVStd::StrLen(fontcharset) : int32_t(fontlast) - int32_t(fontfirst) + 1;
  // Last before first, an empty set, or more glyphs than the header counts.
  if (count < 1 || count > MAXGLYPHS) return VSURF_INVALID;
  const uint32_t bytes = uint32_t(count + 1) * TABLEVALUES * sizeof(int16_t);
  auto* table = static_cast<int16_t*>(ClassVMemory::Alloc(bytes));
  if (!table) return VSURF_NOMEMORY;
  ClassVMemory::Set(table, 0, bytes);
  table[0] = Clamp16(fontpaddingx);
  table[1] = Clamp16(fontpaddingy);
  table[2] = AsStored(fontfirst);
  table[3] = AsStored(uint16_t(count));
  const int32_t rows = fontrows ? fontrows : 1;
  if (detect) {
    DetectGlyphs(*this, table, count, rows);
    if (rows == 1) fontperrow = count;
  } else {
    CutGrid(*this, table, count, rows, fontperrow);
  }
  fonttable = table;
  return VSURF_OK;
}

int32_t V2DSurface::GetFontWidth(const char* text) const { return WidestLine(*this, text); }

int32_t V2DSurface::GetFontWidth(const char16_t* text) const { return WidestLine(*this, text); }

int32_t V2DSurface::GetFontHeight(const char* text) const { return TextHeight(*this, text); }

int32_t V2DSurface::GetFontHeight(const char16_t* text) const { return TextHeight(*this, text); }

int32_t V2DSurface::PrepareFontWrap(const char* text, char* result, int32_t width, int32_t capacity) const {
  return WrapInto(*this, text, result, width, capacity);
}

int32_t V2DSurface::PrepareFontWrap(const char16_t* text, char16_t* result, int32_t width, int32_t capacity) const {
  return WrapInto(*this, text, result, width, capacity);
}

// --- drawing text --------------------------------------------------------------------

int V2DSurface::DrawFont(int32_t x, int32_t y, V2DSurface* font, const char* text, uint32_t flags, uint32_t value) {
  return DrawText(*this, x, y, font, text, flags, value);
}

int V2DSurface::DrawFont(int32_t x, int32_t y, V2DSurface* font, const char16_t* text, uint32_t flags,
                         uint32_t value) {
  return DrawText(*this, x, y, font, text, flags, value);
}

int V2DSurface::DrawFont(int32_t x, int32_t y, V2DSurface* font, int32_t number, uint32_t flags, uint32_t value) {
  char text[NUMBERCHARS];
  FormatNumber(number, text);
  return DrawText(*this, x, y, font, text, flags, value);
}

int V2DSurface::DrawFontWrap(int32_t x, int32_t y, V2DSurface* font, const char* text, int32_t width,
                             uint32_t flags, uint32_t value) {
  return DrawWrapped(*this, x, y, font, text, width, flags, value);
}

int V2DSurface::DrawFontWrap(int32_t x, int32_t y, V2DSurface* font, const char16_t* text, int32_t width,
                             uint32_t flags, uint32_t value) {
  return DrawWrapped(*this, x, y, font, text, width, flags, value);
}
