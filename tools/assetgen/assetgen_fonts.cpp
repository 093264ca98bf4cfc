// assetgen_fonts - the game's three fonts, drawn from the glyph pictures of
// glyphs.inc and keylabels.inc onto marker-row sheets:
//   font.png       characters 32-127, white with a dark outline (boxes, texts)
//   fontscore.png  characters 32-127 at double size, gold with a dark outline
//   keyfont.bmp    characters 0-127 in one light grey, for the keyboard's keys
// A sheet is one band: row 0 marks each glyph's columns with a run of marker
// pixels (one key column between runs), row 1 is a spacer, the glyphs below.
// Depends on: the display (surfaces), assetgen_draw (files).
#include <cstdint>
#include <cstring>
#include <vector>

#include "render/vmod_dsp.h"
#include "render/vsurf_2d.h"
#include "tools/assetgen/assetgen.h"

namespace {

constexpr int32_t kArtRows = 9;
constexpr uint32_t kMarker = 0x402040;
constexpr uint16_t kLastCode = 127;

struct GLYPHART {
  int32_t code;
  const char* rows[kArtRows];
};

const GLYPHART kGlyphs[] = {
#include "tools/assetgen/glyphs.inc"
};
const GLYPHART kKeyLabels[] = {
#include "tools/assetgen/keylabels.inc"
};
// What stands for a control code that has no label: a small hollow box.
const GLYPHART kNoLabel = {0, {"...", "###", "#.#", "#.#", "#.#", "###"}};

struct FONTSTYLE {
  uint16_t first;       // first character code of the sheet
  int32_t scale;        // sheet pixels per picture pixel
  int32_t outline;      // outline width in sheet pixels, 0 for none
  int32_t topspace;     // empty rows above the glyphs
  uint32_t inktop, inkbottom, outlinecolour;
  int32_t paddingx, paddingy;
};

const FONTSTYLE kText = {32, 1, 1, 0, 0xFFFFFF, 0xE0F0FF, 0x301808, -1, -1};
const FONTSTYLE kScore = {32, 2, 1, 3, 0x60F0FF, 0x0090FF, 0x101040, -1, -1};
const FONTSTYLE kKey = {0, 1, 0, 0, 0xB0B0B0, 0xB0B0B0, 0, 1, 0};

const FONTSTYLE& StyleOf(ASSETFONT font) {
  switch (font) {
    case ASSETFONT::Score: return kScore;
    case ASSETFONT::Key: return kKey;
    default: return kText;
  }
}

const GLYPHART* FindArt(const GLYPHART* table, size_t count, int32_t code) {
  for (size_t i = 0; i < count; ++i)
    if (table[i].code == code) return &table[i];
  return nullptr;
}

const GLYPHART& ArtOf(int32_t code) {
  const GLYPHART* art = FindArt(kGlyphs, sizeof kGlyphs / sizeof kGlyphs[0], code);
  if (!art) art = FindArt(kKeyLabels, sizeof kKeyLabels / sizeof kKeyLabels[0], code);
  return art ? *art : kNoLabel;
}

int32_t ArtWidth(const GLYPHART& art) { return int32_t(std::strlen(art.rows[0])); }

bool Inked(const GLYPHART& art, int32_t x, int32_t y) {
  const char* row = art.rows[y];
  return row && x < int32_t(std::strlen(row)) && row[x] == '#';
}

int32_t CellWidth(const FONTSTYLE& style, const GLYPHART& art) {
  return ArtWidth(art) * style.scale + 2 * style.outline;
}

int32_t GlyphHeight(const FONTSTYLE& style) { return style.topspace + kArtRows * style.scale + 2 * style.outline; }

// Ink blends from the top colour to the bottom colour down the glyph rows.
uint32_t InkAt(const FONTSTYLE& style, int32_t row) {
  uint32_t colour = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const int32_t top = (style.inktop >> shift) & 0xFF, bottom = (style.inkbottom >> shift) & 0xFF;
    colour |= uint32_t(top + (bottom - top) * row / (kArtRows - 1)) << shift;
  }
  return colour;
}

// One pass over the picture's ink: the outline pass grows every ink block by
// the outline width, so the ink pass that follows leaves a rim around it.
void DrawArt(V2DSurface& sheet, const FONTSTYLE& style, const GLYPHART& art, int32_t left, int32_t top, bool rim) {
  const int32_t grow = rim ? style.outline : 0;
  for (int32_t y = 0; y < kArtRows; ++y) {
    for (int32_t x = 0; x < ArtWidth(art); ++x) {
      if (!Inked(art, x, y)) continue;
      const int32_t px = left + style.outline + x * style.scale, py = top + style.outline + y * style.scale;
      const tagRECT block = {px - grow, py - grow, px + style.scale + grow, py + style.scale + grow};
      sheet.FillRect(&block, rim ? style.outlinecolour : InkAt(style, y));
    }
  }
}

bool DrawSheet(ClassVDisplay& display, const FONTSTYLE& style, V2DSurface& sheet) {
  int32_t width = 0;
  for (int32_t code = style.first; code <= kLastCode; ++code) width += CellWidth(style, ArtOf(code)) + 1;
  if (!AssetGen_Canvas(display, sheet, width, 2 + GlyphHeight(style), ASSET_KEY)) return false;
  int32_t x = 0;
  for (int32_t code = style.first; code <= kLastCode; ++code) {
    const GLYPHART& art = ArtOf(code);
    const int32_t cell = CellWidth(style, art);
    sheet.DrawLine(x, 0, x + cell - 1, 0, kMarker, 0, 0);
    const int32_t top = 2 + style.topspace;
    if (style.outline) DrawArt(sheet, style, art, x, top, true);
    DrawArt(sheet, style, art, x, top, false);
    x += cell + 1;
  }
  return true;
}

bool AddSheet(ClassVDisplay& display, ASSETFONT font, const char* name, bool bmp, std::vector<ASSETENTRY>& entries) {
  V2DSurface sheet;
  if (!DrawSheet(display, StyleOf(font), sheet)) return false;
  ASSETENTRY entry = {name, bmp ? AssetGen_Bmp(sheet) : AssetGen_Png(sheet, false)};
  if (entry.bytes.empty()) return false;
  entries.push_back(entry);
  return true;
}

}  // namespace

bool AssetGen_FontSheet(ClassVDisplay& display, ASSETFONT font, V2DSurface& sheet) {
  const FONTSTYLE& style = StyleOf(font);
  if (!DrawSheet(display, style, sheet)) return false;
  sheet.SetFontPadding(style.paddingx, style.paddingy);
  sheet.SetFontCharacters(style.first, kLastCode);
  return sheet.BuildFont(true, ASSET_KEY) == 0;
}

bool AssetGen_Fonts(ClassVDisplay& display, std::vector<ASSETENTRY>& entries) {
  return AddSheet(display, ASSETFONT::Text, "font.png", false, entries) &&
         AddSheet(display, ASSETFONT::Score, "fontscore.png", false, entries) &&
         AddSheet(display, ASSETFONT::Key, "keyfont.bmp", true, entries);
}
