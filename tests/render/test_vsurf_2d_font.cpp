// Tests of the bitmap fonts: glyph tables from marker runs and from a grid,
// character lookup against the table, advances and padding, alignment and
// line counting, word wrapping (prepared and drawn), numbers, and the
// display's internal font with its picture source. Sheets here paint every
// glyph as a solid block of its own colour, so a drawn text shows exactly
// which glyph landed where.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "display_rig.h"
#include "render/vmod_dsp.h"
#include "render/vsurf_2d.h"
#include "support/xorshift.h"
#include "tools/fontgen/fontgen_sheet.h"
#include "util/vmod_memory.h"

namespace {
#include "render/vmod_dsp_font_data.inc"
}  // namespace

namespace {

using namespace BlitFlags;

constexpr uint32_t KEY = 0xFF00FF;
constexpr uint32_t MARK = 0x800080;
constexpr uint32_t SURFACE565 = 1u | (uint32_t(VideoType::Rgb565) << 8);

// A colour per glyph that survives Rgb565 exactly and is never black.
uint32_t GlyphColour(int32_t i) {
  const uint32_t n = uint32_t(i + 1);
  return ((n & 31) << 3) | (((n >> 5) & 63) << 10) | 0x800000;
}

struct RECT16 {
  int32_t left, top, right, bottom;
  bool operator==(const RECT16& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
};

RECT16 GlyphRect(const V2DSurface& font, int32_t i) {
  const int16_t* g = font.GetFontTable() + 4 * (i + 1);
  return {g[0], g[1], g[2], g[3]};
}

// A sheet of `bands` bands: marker runs of the given widths (one key column
// between runs), each glyph a solid block below its run.
void PaintSheet(V2DSurface& sheet, int32_t width, int32_t bandheight,
                const std::vector<std::vector<int32_t>>& bands) {
  ASSERT_EQ(sheet.Create(width, bandheight * int32_t(bands.size()), VideoType::Rgb565, SURFACE565), 0);
  sheet.FillRect(nullptr, KEY);
  int32_t glyph = 0;
  for (size_t b = 0; b < bands.size(); b++) {
    const int32_t top = int32_t(b) * bandheight;
    int32_t x = 0;
    for (int32_t w : bands[b]) {
      tagRECT marker = {x, top, x + w, top + 1};
      tagRECT body = {x, top + 2, x + w, top + bandheight};
      sheet.FillRect(&marker, MARK);
      sheet.FillRect(&body, GlyphColour(glyph++));
      x += w + 1;
    }
  }
}

// A font of solid glyphs for the characters from `first`, `widths` wide, one band.
void MakeFont(V2DSurface& font, const std::vector<int32_t>& widths, uint16_t first = 'a', int32_t height = 10) {
  int32_t width = 0;
  for (int32_t w : widths) width += w + 1;
  PaintSheet(font, width, height + 2, {widths});
  font.SetFontCharacters(first, uint16_t(first + widths.size() - 1));
  ASSERT_EQ(font.BuildFont(true, KEY), 0);
}

struct Canvas {
  V2DSurface surface;
  explicit Canvas(int32_t w = 160, int32_t h = 100) {
    EXPECT_EQ(surface.Create(w, h, VideoType::Rgb565, SURFACE565), 0);
  }
  std::vector<uint32_t> Pixels() const {
    std::vector<uint32_t> p;
    for (int32_t y = 0; y < surface.GetHeight(); y++)
      for (int32_t x = 0; x < surface.GetWidth(); x++) p.push_back(surface.GetPixel(x, y));
    return p;
  }
  // Columns and rows of the drawn (non-black) pixels in rows [top, bottom).
  RECT16 Extent(int32_t top = 0, int32_t bottom = std::numeric_limits<int32_t>::max()) const {
    RECT16 e = {std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max(), -1, -1};
    for (int32_t y = std::max(top, 0); y < std::min(bottom, surface.GetHeight()); y++) {
      for (int32_t x = 0; x < surface.GetWidth(); x++) {
        if (!surface.GetPixel(x, y)) continue;
        e = {std::min(e.left, x), std::min(e.top, y), std::max(e.right, x + 1), std::max(e.bottom, y + 1)};
      }
    }
    return e;
  }
};

// --- building the glyph table ----------------------------------------------------------

struct DETECTCASE {
  const char* name;
  int32_t width, bandheight;
  std::vector<std::vector<int32_t>> bands;  // marker run widths per band
  uint16_t first, last;
  std::vector<RECT16> glyphs;               // expected, the rest empty
};

class MarkerRuns : public ::testing::TestWithParam<DETECTCASE> {};

TEST_P(MarkerRuns, GiveTheGlyphRectanglesAndLeaveMissingGlyphsEmpty) {
  const DETECTCASE& c = GetParam();
  V2DSurface sheet;
  PaintSheet(sheet, c.width, c.bandheight, c.bands);
  sheet.SetFontCharacters(c.first, c.last);
  sheet.SetFontSheetLayout(uint8_t(c.bands.size()), -1);
  sheet.SetFontPadding(-1, 2);
  ASSERT_EQ(sheet.BuildFont(true, KEY), 0);
  const int16_t* table = sheet.GetFontTable();
  ASSERT_NE(table, nullptr);
  const int32_t count = c.last - c.first + 1;
  EXPECT_EQ(table[0], -1);
  EXPECT_EQ(table[1], 2);
  EXPECT_EQ(table[2], int16_t(c.first));
  EXPECT_EQ(table[3], count);
  for (int32_t i = 0; i < count; i++) {
    const RECT16 expected = size_t(i) < c.glyphs.size() ? c.glyphs[size_t(i)] : RECT16{0, 0, 0, 0};
    EXPECT_EQ(GlyphRect(sheet, i), expected) << "glyph " << i;
  }
  EXPECT_EQ(sheet.GetColorKey(), 0xF800F8u);  // the key as Rgb565 holds it
}

std::vector<RECT16> TenOfNinetyFive() {
  std::vector<RECT16> r;
  for (int32_t i = 0; i < 10; i++) r.push_back({i * 4, 2, i * 4 + 3, 12});
  return r;
}

INSTANTIATE_TEST_SUITE_P(
    Sheets, MarkerRuns,
    ::testing::Values(
        DETECTCASE{"one_band", 20, 8, {{2, 3, 1}}, 'a', 'c', {{0, 2, 2, 8}, {3, 2, 6, 8}, {7, 2, 8, 8}}},
        DETECTCASE{"continue_on_next_band", 12, 6, {{5, 4}, {11}}, 'a', 'c', {{0, 2, 5, 6}, {6, 2, 10, 6}, {0, 8, 11, 12}}},
        DETECTCASE{"run_to_the_right_side", 6, 5, {{2, 3}}, 'a', 'b', {{0, 2, 2, 5}, {3, 2, 6, 5}}},
        DETECTCASE{"ten_runs_for_95_characters", 40, 12, {{3, 3, 3, 3, 3, 3, 3, 3, 3, 3}}, 32, 126, TenOfNinetyFive()},
        DETECTCASE{"bands_exhausted", 8, 6, {{3}, {}, {2}}, 'a', 'e', {{0, 2, 3, 6}, {0, 14, 2, 18}}}),
    [](const ::testing::TestParamInfo<DETECTCASE>& info) { return std::string(info.param.name); });

struct GRIDCASE {
  const char* name;
  int32_t width, height;
  uint8_t rows;
  int32_t perrow;
  uint16_t first, last;
  std::vector<RECT16> glyphs;
};

class Grid : public ::testing::TestWithParam<GRIDCASE> {};

TEST_P(Grid, CutsCellsRowByRowAndStopsBelowTheSheet) {
  const GRIDCASE& c = GetParam();
  V2DSurface sheet;
  ASSERT_EQ(sheet.Create(c.width, c.height, VideoType::Rgb565, SURFACE565), 0);
  sheet.SetFontCharacters(c.first, c.last);
  sheet.SetFontSheetLayout(c.rows, c.perrow);
  ASSERT_EQ(sheet.BuildFont(false, KEY), 0);
  const int32_t count = c.last - c.first + 1;
  for (int32_t i = 0; i < count; i++) {
    const RECT16 expected = size_t(i) < c.glyphs.size() ? c.glyphs[size_t(i)] : RECT16{0, 0, 0, 0};
    EXPECT_EQ(GlyphRect(sheet, i), expected) << "glyph " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, Grid,
    ::testing::Values(
        GRIDCASE{"layout_per_row", 30, 20, 2, 3, 'a', 'f',
                 {{0, 0, 10, 10}, {10, 0, 20, 10}, {20, 0, 30, 10}, {0, 10, 10, 20}, {10, 10, 20, 20}, {20, 10, 30, 20}}},
        GRIDCASE{"per_row_from_the_count", 20, 20, 2, -1, 'a', 'd',
                 {{0, 0, 10, 10}, {10, 0, 20, 10}, {0, 10, 10, 20}, {10, 10, 20, 20}}},
        GRIDCASE{"fewer_glyphs_than_rows", 8, 30, 3, 0, 'a', 'b', {{0, 0, 8, 10}, {0, 10, 8, 20}}},
        GRIDCASE{"stops_below_the_sheet", 20, 10, 1, 2, 'a', 'e', {{0, 0, 10, 10}, {10, 0, 20, 10}}}),
    [](const ::testing::TestParamInfo<GRIDCASE>& info) { return std::string(info.param.name); });

TEST(BuildFont, BuildsNoTableForACountBelowOne) {
  V2DSurface sheet;
  ASSERT_EQ(sheet.Create(16, 16, VideoType::Rgb565, SURFACE565), 0);
  ASSERT_EQ(sheet.BuildFont(false, KEY), 0);
  sheet.SetFontCharacters('z', 'a');
  EXPECT_EQ(sheet.BuildFont(false, KEY), VSURF_INVALID);
  EXPECT_EQ(sheet.GetFontTable(), nullptr);
  sheet.SetFontCharacters('a', 'z');
  ASSERT_EQ(sheet.SetFontCharacterSet(""), 0);
  EXPECT_EQ(sheet.BuildFont(true, KEY), VSURF_INVALID);
  EXPECT_EQ(sheet.GetFontTable(), nullptr);
  V2DSurface none;
  EXPECT_EQ(none.BuildFont(true, KEY), VSURF_NOTCREATED);
}

TEST(BuildFont, TableIsDroppedByClearAndCreate) {
  V2DSurface font;
  MakeFont(font, {2, 3});
  font.Clear(0);
  EXPECT_EQ(font.GetFontTable(), nullptr);
  MakeFont(font, {2, 3});
  ASSERT_EQ(font.Create(8, 8, VideoType::Rgb565, SURFACE565), 0);
  EXPECT_EQ(font.GetFontTable(), nullptr);
}

// --- lookup and measuring ------------------------------------------------------------------

TEST(Lookup, IsBoundedByTheTableWhateverTheSettingsSay) {
  V2DSurface font;
  MakeFont(font, {2, 3, 4}, 'a');  // a b c
  EXPECT_EQ(font.GetFontWidth("abc"), 9);
  font.SetFontCharacters(0, 0xFFFF);  // after the build: the table still starts at 'a' with 3 glyphs
  EXPECT_EQ(font.GetFontWidth("abc"), 9);
  EXPECT_EQ(font.GetFontWidth("dz~\xFF"), 0);
  ASSERT_EQ(font.SetFontCharacterSet(u"cbaxyz"), 0);  // positions past the table's 3 glyphs draw nothing
  EXPECT_EQ(font.GetFontWidth("a"), 4);
  EXPECT_EQ(font.GetFontWidth("c"), 2);
  EXPECT_EQ(font.GetFontWidth("xyz"), 0);
  Canvas canvas;
  EXPECT_EQ(canvas.surface.DrawFont(0, 0, &font, "xyz", ColorKey, 0), 0);
  EXPECT_EQ(canvas.Extent().right, -1);
  ASSERT_EQ(font.SetFontCharacterSet(static_cast<const char*>(nullptr)), 0);
  EXPECT_EQ(font.GetFontCharacterSet(), nullptr);
}

TEST(Lookup, CharacterSetNamesTheGlyphsAndEightBitCodesAreUnsigned) {
  V2DSurface font;
  PaintSheet(font, 20, 8, {{1, 2, 3}});
  ASSERT_EQ(font.SetFontCharacterSet("\x80q\xFF"), 0);
  ASSERT_EQ(font.BuildFont(true, KEY), 0);
  EXPECT_EQ(font.GetFontWidth("\x80"), 1);
  EXPECT_EQ(font.GetFontWidth("q"), 2);
  EXPECT_EQ(font.GetFontWidth(u"\u00FF"), 3);
  EXPECT_EQ(font.GetFontWidth("\xFF\xFFq"), 8);
  EXPECT_EQ(font.GetFontWidth("a"), 0);
}

TEST(Measure, WidthIsTheWidestLineAndPaddingCountsAfterEveryGlyph) {
  V2DSurface font;
  MakeFont(font, {2, 3, 4});  // a b c
  EXPECT_EQ(font.GetFontWidth("ab\ncc\rba"), 8);
  EXPECT_EQ(font.GetFontWidth(u"ab\r\nc"), 5);
  EXPECT_EQ(font.GetFontWidth(static_cast<const char*>(nullptr)), 0);
  font.SetFontPadding(-1, -1);
  EXPECT_EQ(font.GetFontWidth("abc"), 6);
  font.SetFontPadding(2, 0);
  EXPECT_EQ(font.GetFontWidth("abc"), 15);
  V2DSurface plain;
  EXPECT_EQ(plain.GetFontWidth("abc"), 0);
}

struct LINECASE {
  const char* text;
  int32_t lines;
};

class LineCount : public ::testing::TestWithParam<LINECASE> {};

TEST_P(LineCount, CountsLineFeedsFollowedByACharacter) {
  V2DSurface font;
  MakeFont(font, {2, 3}, 'a', 7);
  EXPECT_EQ(font.GetFontHeight(GetParam().text), 7 * GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(Texts, LineCount,
                         ::testing::Values(LINECASE{"a\n\nb", 3}, LINECASE{"a\n", 1}, LINECASE{"a\nb", 2},
                                           LINECASE{"a\rb", 1}, LINECASE{"", 1}, LINECASE{"\n", 1},
                                           LINECASE{"\n\n", 2}, LINECASE{"a\r\nb\r\n", 2}));

TEST(Measure, HeightOfNoTextIsOneLineAndWithoutATableZero) {
  V2DSurface font;
  MakeFont(font, {2}, 'a', 9);
  font.SetFontPadding(0, 5);  // padding y is not part of the height
  EXPECT_EQ(font.GetFontHeight(static_cast<const char*>(nullptr)), 9);
  EXPECT_EQ(font.GetFontHeight(u"a\na"), 18);
  V2DSurface plain;
  EXPECT_EQ(plain.GetFontHeight("a"), 0);
}

// --- drawing ---------------------------------------------------------------------------

TEST(DrawFont, BlitsEachGlyphAndSkipsCharactersWithoutOne) {
  V2DSurface font;
  MakeFont(font, {2, 3, 4});  // a b c, 10 rows
  Canvas canvas;
  ASSERT_EQ(canvas.surface.DrawFont(5, 7, &font, "ca?b", ColorKey, 0), 0);
  const V2DSurface& s = canvas.surface;
  EXPECT_EQ(s.GetPixel(5, 7), GlyphColour(2));
  EXPECT_EQ(s.GetPixel(8, 16), GlyphColour(2));
  EXPECT_EQ(s.GetPixel(9, 7), GlyphColour(0));
  EXPECT_EQ(s.GetPixel(10, 7), GlyphColour(0));
  EXPECT_EQ(s.GetPixel(11, 7), GlyphColour(1));  // '?' has no glyph and takes no room
  EXPECT_EQ(s.GetPixel(13, 16), GlyphColour(1));
  EXPECT_EQ(canvas.Extent(), (RECT16{5, 7, 14, 17}));
}

TEST(DrawFont, PaddingMinusOneOverlapsColumnsAndLines) {
  V2DSurface font;
  MakeFont(font, {3, 3});  // a b, 10 rows
  font.SetFontPadding(-1, -1);
  Canvas canvas;
  ASSERT_EQ(canvas.surface.DrawFont(0, 0, &font, "ab\nb", ColorKey, 0), 0);
  const V2DSurface& s = canvas.surface;
  EXPECT_EQ(s.GetPixel(1, 0), GlyphColour(0));
  EXPECT_EQ(s.GetPixel(2, 0), GlyphColour(1));  // b starts at a's last column
  EXPECT_EQ(s.GetPixel(4, 0), GlyphColour(1));
  EXPECT_EQ(s.GetPixel(5, 0), 0u);
  EXPECT_EQ(s.GetPixel(0, 8), GlyphColour(0));
  EXPECT_EQ(s.GetPixel(0, 9), GlyphColour(1));  // the second line starts one row early
  EXPECT_EQ(canvas.Extent(), (RECT16{0, 0, 5, 19}));
}

TEST(DrawFont, MissingGlyphsDrawNothingAndDoNotAdvance) {
  V2DSurface font;
  PaintSheet(font, 40, 12, {{3, 3, 3, 3, 3, 3, 3, 3, 3, 3}});
  font.SetFontCharacters(32, 126);
  ASSERT_EQ(font.BuildFont(true, KEY), 0);
  font.SetFontPadding(1, 0);
  Canvas canvas;
  ASSERT_EQ(canvas.surface.DrawFont(0, 0, &font, "!zz~\"", ColorKey, 0), 0);
  EXPECT_EQ(canvas.surface.GetPixel(0, 0), GlyphColour(1));
  EXPECT_EQ(canvas.surface.GetPixel(4, 0), GlyphColour(2));
  EXPECT_EQ(canvas.Extent(), (RECT16{0, 0, 7, 10}));
}

struct ALIGNCASE {
  uint32_t flags;
  int32_t left0, left1, top;  // first line (width 5), second line (width 15), text top
};

class Alignment : public ::testing::TestWithParam<ALIGNCASE> {};

TEST_P(Alignment, PlacesEveryLineOfAMultiLineText) {
  V2DSurface font;
  MakeFont(font, {2, 3, 4});  // a b c; lines 10 high, step 10 + 2
  font.SetFontPadding(0, 2);
  Canvas canvas;
  const ALIGNCASE& c = GetParam();
  ASSERT_EQ(canvas.surface.DrawFont(60, 50, &font, "ab\ncccb", c.flags | ColorKey, 0), 0);
  EXPECT_EQ(canvas.Extent(0, c.top + 10), (RECT16{c.left0, c.top, c.left0 + 5, c.top + 10}));
  EXPECT_EQ(canvas.Extent(c.top + 10, 100), (RECT16{c.left1, c.top + 12, c.left1 + 15, c.top + 22}));
}

INSTANTIATE_TEST_SUITE_P(Flags, Alignment,
                         ::testing::Values(ALIGNCASE{0, 60, 60, 50}, ALIGNCASE{VFONT_RIGHT, 55, 45, 50},
                                           ALIGNCASE{VFONT_CENTER, 58, 53, 50}, ALIGNCASE{VFONT_BOTTOM, 60, 60, 30},
                                           ALIGNCASE{VFONT_MIDDLE, 60, 60, 40},
                                           ALIGNCASE{VFONT_RIGHT | VFONT_BOTTOM, 55, 45, 30},
                                           ALIGNCASE{VFONT_CENTER | VFONT_MIDDLE, 58, 53, 40}));

TEST(DrawFont, PassesTheBlitFlagsToEveryGlyph) {
  V2DSurface font;
  MakeFont(font, {2, 3});
  Canvas canvas;
  ASSERT_EQ(canvas.surface.DrawFont(5, 0, &font, "ab", ColorKey | ColorFill | VFONT_RIGHT, 0x00FF00), 0);
  EXPECT_EQ(canvas.surface.GetPixel(0, 0), 0x00FC00u);
  EXPECT_EQ(canvas.surface.GetPixel(4, 9), 0x00FC00u);
  EXPECT_EQ(canvas.Extent(), (RECT16{0, 0, 5, 10}));
}

TEST(DrawFont, RefusesWhatCannotBeDrawn) {
  V2DSurface font, plain;
  MakeFont(font, {2});
  ASSERT_EQ(plain.Create(8, 8, VideoType::Rgb565, SURFACE565), 0);
  Canvas canvas;
  V2DSurface closed;
  EXPECT_EQ(canvas.surface.DrawFont(0, 0, nullptr, "a", 0, 0), VSURF_NOTCREATED);
  EXPECT_EQ(canvas.surface.DrawFont(0, 0, &plain, "a", 0, 0), VSURF_NOTCREATED);
  EXPECT_EQ(closed.DrawFont(0, 0, &font, "a", 0, 0), VSURF_NOTCREATED);
  EXPECT_EQ(canvas.surface.DrawFont(0, 0, &font, static_cast<const char*>(nullptr), 0, 0), VSURF_INVALID);
  EXPECT_EQ(canvas.surface.DrawFontWrap(0, 0, &font, static_cast<const char16_t*>(nullptr), 9, 0, 0), VSURF_INVALID);
  EXPECT_EQ(canvas.Extent().right, -1);
}

// Digits and the minus sign as solid glyphs of different widths.
void MakeDigitFont(V2DSurface& font) {
  PaintSheet(font, 60, 9, {{2, 3, 4, 2, 3, 4, 2, 3, 4, 2, 3}});
  ASSERT_EQ(font.SetFontCharacterSet("-0123456789"), 0);
  ASSERT_EQ(font.BuildFont(true, KEY), 0);
}

struct NUMBERCASE {
  int32_t number;
  const char* text;
};

class Number : public ::testing::TestWithParam<NUMBERCASE> {};

TEST_P(Number, DrawsItsDecimalDigitsWithAMinusSignWhenNegative) {
  V2DSurface font;
  MakeDigitFont(font);
  Canvas numeric(200, 20), text(200, 20);
  ASSERT_EQ(numeric.surface.DrawFont(3, 2, &font, GetParam().number, ColorKey, 0), 0);
  ASSERT_EQ(text.surface.DrawFont(3, 2, &font, GetParam().text, ColorKey, 0), 0);
  EXPECT_EQ(numeric.Pixels(), text.Pixels());
  EXPECT_EQ(numeric.Extent().right, 3 + font.GetFontWidth(GetParam().text));
  EXPECT_EQ(numeric.surface.GetPixel(3, 2), GlyphColour(GetParam().text[0] == '-' ? 0 : GetParam().text[0] - '0' + 1));
}

INSTANTIATE_TEST_SUITE_P(Values, Number,
                         ::testing::Values(NUMBERCASE{0, "0"}, NUMBERCASE{7, "7"}, NUMBERCASE{-5, "-5"},
                                           NUMBERCASE{1234, "1234"}, NUMBERCASE{-90210, "-90210"},
                                           NUMBERCASE{std::numeric_limits<int32_t>::max(), "2147483647"},
                                           NUMBERCASE{std::numeric_limits<int32_t>::min(), "-2147483648"}));

// --- word wrap -----------------------------------------------------------------------------

struct WRAPCASE {
  const char* name;
  const char* text;
  int32_t width;
  const char* wrapped;
};

class Wrap : public ::testing::TestWithParam<WRAPCASE> {};

// Every glyph is 4 wide; the space too.
void MakeWrapFont(V2DSurface& font) {
  PaintSheet(font, 60, 10, {{4, 4, 4}});
  ASSERT_EQ(font.SetFontCharacterSet(" ab"), 0);
  ASSERT_EQ(font.BuildFont(true, KEY), 0);
}

TEST_P(Wrap, PreparedTextBreaksAtTheLastWhitespace) {
  V2DSurface font;
  MakeWrapFont(font);
  const WRAPCASE& c = GetParam();
  char result[64];
  const int32_t length = font.PrepareFontWrap(c.text, result, c.width, sizeof result);
  EXPECT_STREQ(result, c.wrapped);
  EXPECT_EQ(length, int32_t(std::strlen(c.wrapped)));
  std::u16string wide(c.text, c.text + std::strlen(c.text));
  char16_t wideresult[64];
  font.PrepareFontWrap(wide.c_str(), wideresult, c.width, 64);
  EXPECT_EQ(std::u16string(wideresult), std::u16string(c.wrapped, c.wrapped + std::strlen(c.wrapped)));
}

TEST_P(Wrap, DrawnTextIsThePreparedTextDrawn) {
  V2DSurface font;
  MakeWrapFont(font);
  font.SetFontPadding(0, 1);
  const WRAPCASE& c = GetParam();
  char prepared[64];
  font.PrepareFontWrap(c.text, prepared, c.width, sizeof prepared);
  for (uint32_t flags : {0u, VFONT_BOTTOM, VFONT_MIDDLE}) {
    Canvas wrapped(80, 120), drawn(80, 120);
    ASSERT_EQ(wrapped.surface.DrawFontWrap(2, 60, &font, c.text, c.width, flags | ColorKey, 0), 0);
    ASSERT_EQ(drawn.surface.DrawFont(2, 60, &font, prepared, flags | ColorKey, 0), 0);
    EXPECT_EQ(wrapped.Pixels(), drawn.Pixels()) << "flags " << flags;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Wrap,
    ::testing::Values(WRAPCASE{"break_after_the_space", "aaaa bbbb", 24, "aaaa \nbbbb"},
                      WRAPCASE{"width_reached_at_the_space", "aaaa bbbb", 20, "aaaa \nbbbb"},
                      WRAPCASE{"no_whitespace_breaks_after_the_character", "aaaaaa", 12, "aaa\naaa\n"},
                      WRAPCASE{"whitespace_run_stays_on_the_line", "ab  \r bb", 12, "ab  \r \nbb"},
                      WRAPCASE{"line_feed_of_the_run_is_not_doubled", "aaaa\nbb", 16, "aaaa\nbb"},
                      WRAPCASE{"only_one_line_feed_is_absorbed", "aaaa\n\nbb", 16, "aaaa\n\nbb"},
                      WRAPCASE{"explicit_line_feed_resets_the_sum", "aa\naaaa", 12, "aa\naaa\na"},
                      WRAPCASE{"first_character_is_not_a_break", " aaaa", 12, " aa\naa"},
                      WRAPCASE{"fits", "ab ba", 40, "ab ba"},
                      WRAPCASE{"zero_width_puts_each_character_on_a_line", "ab", 0, "a\nb\n"}),
    [](const ::testing::TestParamInfo<WRAPCASE>& info) { return std::string(info.param.name); });

TEST(Wrap, DrawnLinesAlignByTheirWidthWithoutTheBreakingWhitespace) {
  V2DSurface font;
  MakeWrapFont(font);
  Canvas canvas;
  ASSERT_EQ(canvas.surface.DrawFontWrap(100, 0, &font, "aaaa bb", 24, VFONT_RIGHT | ColorKey, 0), 0);
  EXPECT_EQ(canvas.Extent(0, 8), (RECT16{84, 0, 104, 8}));  // the space block lies past x
  EXPECT_EQ(canvas.Extent(8, 16), (RECT16{92, 8, 100, 16}));
}

TEST(Wrap, PreparedTextStaysInsideItsBuffer) {
  V2DSurface font;
  MakeWrapFont(font);
  char result[8];
  std::memset(result, '#', sizeof result);
  EXPECT_EQ(font.PrepareFontWrap("aaaaaaaa", result, 4, 5), 4);
  EXPECT_STREQ(result, "a\na\n");
  EXPECT_EQ(result[5], '#');
  EXPECT_EQ(font.PrepareFontWrap("aa", result, 4, 0), 0);
  EXPECT_EQ(result[0], 'a');
  EXPECT_EQ(font.PrepareFontWrap(static_cast<const char*>(nullptr), result, 4, 8), 0);
  EXPECT_STREQ(result, "");
}

// --- safety ------------------------------------------------------------------------------

TEST(DrawFont, NeverDrawsOutsideTheClipperForAnyPosition) {
  V2DSurface font;
  MakeFont(font, {3, 1, 5, 2}, 'a', 6);
  font.SetFontPadding(-2, -3);
  Canvas canvas(64, 48);
  const tagRECT clip = {10, 8, 50, 40};
  canvas.surface.SetClipper(&clip);
  XorShift32 rng{77};
  const int32_t extremes[] = {std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), -70000,
                              70000, -5, 45};
  char text[24];
  for (int round = 0; round < 300; round++) {
    for (char& c : text) c = "abcd \n\r\t\x80"[rng.Below(9)];
    text[rng.Below(sizeof text)] = 0;
    const int32_t x = round % 3 ? int32_t(rng.Below(120)) - 30 : extremes[rng.Below(6)];
    const int32_t y = round % 3 ? int32_t(rng.Below(100)) - 30 : extremes[rng.Below(6)];
    const uint32_t flags = ColorKey | (rng.Below(16) << 8);
    if (round % 2) canvas.surface.DrawFont(x, y, &font, text, flags, 0);
    else canvas.surface.DrawFontWrap(x, y, &font, text, int32_t(rng.Below(40)) - 5, flags, 0);
  }
  RECT16 inside = canvas.Extent();
  EXPECT_GE(inside.left, clip.left);
  EXPECT_GE(inside.top, clip.top);
  EXPECT_LE(inside.right, clip.right);
  EXPECT_LE(inside.bottom, clip.bottom);
  EXPECT_GT(inside.right, 0);
}

// --- the internal font ------------------------------------------------------------------

TEST(InternalFont, StreamInflatesToThePicture) {
  std::vector<uint8_t> picture(FONTGEN_BYTES), inflated(FONTGEN_BYTES + 16);
  ASSERT_TRUE(FontGen_Pack(picture.data()));
  uint32_t size = uint32_t(inflated.size());
  ASSERT_EQ(ClassVMemory::UnCompressZLib(inflated.data(), size, VDSP_FONTSTREAM, sizeof VDSP_FONTSTREAM), 1);
  ASSERT_EQ(size, 5292u);
  inflated.resize(size);
  EXPECT_EQ(inflated, picture);
}

// The marker runs of the picture, band by band: what the glyph table must hold.
std::vector<RECT16> PictureRuns() {
  std::vector<RECT16> runs;
  const char* const* rows = FontGen_Rows();
  for (int32_t top = 0; top < FONTGEN_HEIGHT; top += 14) {
    for (int32_t x = 0; x < FONTGEN_WIDTH;) {
      if (rows[top][x] == '.') {
        x++;
        continue;
      }
      const int32_t left = x;
      while (x < FONTGEN_WIDTH && rows[top][x] != '.') x++;
      runs.push_back({left, top + 2, x, top + 14});
    }
  }
  return runs;
}

class InternalFont : public ::testing::TestWithParam<uint8_t> {};

TEST_P(InternalFont, IsBuiltByOpenWithAGlyphForEveryCharacter) {
  DisplayRig rig;
  ASSERT_EQ(rig.Open(GetParam(), VideoType::DisplayDefault, 0), 0);
  V2DSurface* font = rig.display.GetInternalFont();
  ASSERT_NE(font->GetFontTable(), nullptr);
  EXPECT_EQ(font->GetWidth(), 126);
  EXPECT_EQ(font->GetHeight(), 84);
  EXPECT_EQ(font->GetFontTable()[2], 32);
  ASSERT_EQ(font->GetFontTable()[3], 99);
  const std::vector<RECT16> runs = PictureRuns();
  ASSERT_EQ(runs.size(), 99u);
  for (int32_t i = 0; i < 99; i++) EXPECT_EQ(GlyphRect(*font, i), runs[size_t(i)]) << "glyph " << i;
  EXPECT_EQ(font->GetFontHeight("Ag"), 12);
  EXPECT_EQ(font->GetPixel(0, 0), 0x800080u);
  EXPECT_EQ(font->GetColorKey(), V2DSurfaceBase::NativeToColor(VideoType::Rgb565, 0xF81F));
}

TEST_P(InternalFont, DrawsTheSameVirtualPictureInEveryRotation) {
  DisplayRig upright, turned;
  ASSERT_EQ(upright.Open(0, VideoType::DisplayDefault, 0), 0);
  ASSERT_EQ(turned.Open(GetParam(), VideoType::DisplayDefault, 0), 0);
  const char* text = "Score: 120\n\x80 ok? \x82";
  upright.display.DrawFont(4, 6, upright.display.GetInternalFont(), text);
  turned.display.DrawFont(4, 6, turned.display.GetInternalFont(), text);
  V2DSurface* a = upright.display.GetBackBuffer();
  V2DSurface* b = turned.display.GetBackBuffer();
  int32_t white = 0, differ = 0;
  for (int32_t y = 0; y < 40; y++) {
    for (int32_t x = 0; x < 120; x++) {
      white += a->GetPixel(x, y) == 0xF8FCF8;
      differ += a->GetPixel(x, y) != b->GetPixel(x, y);
    }
  }
  EXPECT_GT(white, 100);
  EXPECT_EQ(differ, 0);
  EXPECT_EQ(a->GetPixel(4, 6), 0u);  // the outline and the key leave the corner as it was
  EXPECT_EQ(upright.display.DrawFont(4, 6, upright.display.GetInternalFont(), -2147483647 - 1), 0);
}

INSTANTIATE_TEST_SUITE_P(Rotations, InternalFont, ::testing::Values(0, 1, 2, 3));

}  // namespace
