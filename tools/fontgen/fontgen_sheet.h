// fontgen_sheet.h - the internal font's picture (font_sheet.inc) packed into
// the sheet's nibble layout: 84 rows of 63 bytes, two pixels per byte, high
// nibble first; 1 white, 2 black, 3 dark purple, 0 transparent.
//
// Shared by the generator, which compresses the packed sheet, and the tests,
// which check the stream in the program against it. Header only.
#pragma once

#include <cstdint>
#include <cstring>

constexpr int32_t FONTGEN_WIDTH = 126;                        // pixels per row
constexpr int32_t FONTGEN_HEIGHT = 84;                        // rows
constexpr int32_t FONTGEN_ROWBYTES = FONTGEN_WIDTH / 2;       // two pixels per byte
constexpr int32_t FONTGEN_BYTES = FONTGEN_ROWBYTES * FONTGEN_HEIGHT;

inline const char* const* FontGen_Rows() {
  static const char* const rows[] = {
#include "tools/fontgen/font_sheet.inc"
  };
  static_assert(sizeof rows / sizeof rows[0] == FONTGEN_HEIGHT, "the picture has 84 rows");
  return rows;
}

// The nibble of one picture character; -1 for a character outside the legend.
inline int32_t FontGen_Nibble(char c) {
  switch (c) {
    case '.': return 0;
    case '#': return 1;
    case 'o': return 2;
    case '+': return 3;
    default: return -1;
  }
}

// Packs the picture into sheet (FONTGEN_BYTES); false when a row has the
// wrong length or a character outside the legend.
inline bool FontGen_Pack(uint8_t* sheet) {
  const char* const* rows = FontGen_Rows();
  for (int32_t y = 0; y < FONTGEN_HEIGHT; y++) {
    if (std::strlen(rows[y]) != size_t(FONTGEN_WIDTH)) return false;
    for (int32_t x = 0; x < FONTGEN_WIDTH; x += 2) {
      int32_t high = FontGen_Nibble(rows[y][x]), low = FontGen_Nibble(rows[y][x + 1]);
      if (high < 0 || low < 0) return false;
      sheet[y * FONTGEN_ROWBYTES + x / 2] = uint8_t(high << 4 | low);
    }
  }
  return true;
}
