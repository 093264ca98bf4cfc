// assetgen_pictures - every picture of the game but the fonts: the four
// full-screen pictures, the field, the sprites, the message bands, the bars,
// boxes, labels, menu strips, the keyboard key and the logo's banner. The
// geometry each screen relies on is written down in docs/assets.md.
// Keyed pictures use magenta (ASSET_KEY); pictures the game loads as RGBA
// surfaces carry alpha instead, transparent where the drawing left the key.
// Depends on: the display (surfaces), the fonts and sprites of assetgen.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "render/vmod_dsp.h"
#include "render/vsurf_2d.h"
#include "tools/assetgen/assetgen.h"

namespace {

constexpr int32_t kScreenWidth = 320, kScreenHeight = 240;
constexpr int32_t kFieldX = 63, kFieldY = 17, kFieldSide = 192, kFieldCell = 24;
constexpr int32_t kObjectCell = 24;
constexpr int32_t kOptionWidth = 76, kOptionHeight = 20;  // one mode label of titleoption.png
constexpr int32_t kBarWidth = 64, kBarHeight = 16;        // one strip of menubar.png
constexpr int32_t kItemWidth = 96, kItemHeight = 16;      // one item of menuoption.png
constexpr int32_t kMessageWidth = 176, kMessageBand = 40;
constexpr uint32_t kCentred = VFONT_CENTER | VFONT_MIDDLE;
constexpr int32_t kDouble = 0x20000, kTriple = 0x30000;   // 16.16 scales

constexpr uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return r | (g << 8) | (b << 16); }

// The fonts and sprites the pictures are drawn with.
struct PAINTER {
  ClassVDisplay& display;
  V2DSurface text, score, plain, objects;  // plain: the key font, for one-colour text
};

void RoundRect(V2DSurface& s, const tagRECT& r, int32_t radius, uint32_t colour) {
  const tagRECT across = {r.left, r.top + radius, r.right, r.bottom - radius};
  const tagRECT down = {r.left + radius, r.top, r.right - radius, r.bottom};
  s.FillRect(&across, colour);
  s.FillRect(&down, colour);
  const int32_t right = r.right - 1 - 2 * radius, bottom = r.bottom - 1 - 2 * radius;
  s.FillOval(r.left, r.top, radius, radius, colour, 0, 0);
  s.FillOval(right, r.top, radius, radius, colour, 0, 0);
  s.FillOval(r.left, bottom, radius, radius, colour, 0, 0);
  s.FillOval(right, bottom, radius, radius, colour, 0, 0);
}

tagRECT Inset(const tagRECT& r, int32_t by) { return {r.left + by, r.top + by, r.right - by, r.bottom - by}; }

// A rounded panel: a dark rim around the fill.
void Panel(V2DSurface& s, const tagRECT& r, int32_t radius, uint32_t rim, uint32_t fill) {
  RoundRect(s, r, radius, rim);
  RoundRect(s, Inset(r, 1), radius - 1, fill);
}

// A panel lit from above: a light band over the upper half of its fill.
void GlossyPanel(V2DSurface& s, const tagRECT& r, int32_t radius, uint32_t rim, uint32_t fill, uint32_t gloss) {
  Panel(s, r, radius, rim, fill);
  const tagRECT band = {r.left + radius, r.top + 2, r.right - radius, r.top + (r.bottom - r.top) / 2};
  s.FillRect(&band, gloss, BlitFlags::Opacity, 70);
}

// A night sky from `top` to `bottom` colour with faint stars that stay the
// same from run to run.
void Sky(V2DSurface& s, uint32_t top, uint32_t bottom, uint32_t seed) {
  const tagRECT all = {0, 0, s.GetWidth(), s.GetHeight()};
  s.GradientRectV(&all, top, bottom, 0);
  uint32_t state = seed;
  for (int32_t i = 0; i < 60; ++i) {
    state = state * 1103515245u + 12345u;
    const int32_t x = int32_t((state >> 8) % uint32_t(s.GetWidth()));
    state = state * 1103515245u + 12345u;
    const int32_t y = int32_t((state >> 8) % uint32_t(s.GetHeight()));
    const int32_t size = int32_t((state >> 4) % 3);
    s.FillOval(x, y, size, size, 0xFFFFFF, BlitFlags::Opacity, 60 + 40 * uint32_t(2 - size));
  }
}

void Text(V2DSurface& s, V2DSurface& font, int32_t x, int32_t y, const char* text, uint32_t flags = 0,
          uint32_t value = 0) {
  s.DrawFont(x, y, &font, text, BlitFlags::ColorKey | flags, value);
}

// Text at a whole multiple of its font's size, centred on (x, y).
bool BigText(PAINTER& p, V2DSurface& s, V2DSurface& font, int32_t x, int32_t y, const char* text, int32_t scale) {
  V2DSurface line;
  if (!AssetGen_Canvas(p.display, line, font.GetFontWidth(text) + 2, font.GetFontHeight(text), ASSET_KEY))
    return false;
  Text(line, font, 1, 0, text);
  s.Blt(x, y, &line, nullptr, 0, scale, 0, BlitFlags::ColorKey, 0);
  return true;
}

// Object `row` (frame 0) with its top-left at (x, y), at `opacity`.
void Object(PAINTER& p, V2DSurface& s, int32_t row, int32_t x, int32_t y, uint32_t opacity = 255) {
  const tagRECT cell = {0, row * kObjectCell, kObjectCell, (row + 1) * kObjectCell};
  s.BltFast(x, y, &p.objects, &cell, BlitFlags::ColorKey | BlitFlags::Opacity, opacity);
}

// The eight colours in a row centred on x, `step` pixels apart.
void ObjectRow(PAINTER& p, V2DSurface& s, int32_t x, int32_t y, int32_t step) {
  for (int32_t row = 0; row < 8; ++row) Object(p, s, row, x - 4 * step + row * step + (step - kObjectCell) / 2, y);
}

void DrawField(V2DSurface& s, int32_t x0, int32_t y0) {
  const tagRECT frame = {x0 - 3, y0 - 3, x0 + kFieldSide + 3, y0 + kFieldSide + 3};
  RoundRect(s, frame, 3, Rgb(10, 12, 30));
  const tagRECT rim = Inset(frame, 1);
  s.DrawRect(&rim, Rgb(120, 140, 220), 0, 0);
  for (int32_t row = 0; row < 8; ++row) {
    for (int32_t column = 0; column < 8; ++column) {
      const int32_t x = x0 + column * kFieldCell, y = y0 + row * kFieldCell;
      const tagRECT cell = {x, y, x + kFieldCell, y + kFieldCell};
      s.FillRect(&cell, (row + column) % 2 ? Rgb(26, 34, 74) : Rgb(38, 50, 102));
      s.DrawLine(x, y, x + kFieldCell - 1, y, Rgb(60, 76, 140), BlitFlags::Opacity, 160);
      s.DrawLine(x, y, x, y + kFieldCell - 1, Rgb(60, 76, 140), BlitFlags::Opacity, 160);
    }
  }
}

// A mode label: bright for titleoption.png, dimmed under it in title.png.
void ModeLabel(PAINTER& p, V2DSurface& s, int32_t x, int32_t y, const char* text, bool lit) {
  struct LABELLOOK {
    uint32_t rim, fill, ink;
  };
  static const LABELLOOK looks[2] = {{Rgb(20, 20, 40), Rgb(70, 76, 110), Rgb(205, 210, 230)},
                                     {Rgb(110, 40, 0), Rgb(255, 196, 40), Rgb(90, 30, 0)}};
  const LABELLOOK& look = looks[lit ? 1 : 0];
  const tagRECT pill = {x, y, x + kOptionWidth, y + kOptionHeight};
  GlossyPanel(s, pill, 9, look.rim, look.fill, 0xFFFFFF);
  Text(s, p.plain, x + kOptionWidth / 2, y + kOptionHeight / 2, text, BlitFlags::ColorFill | kCentred, look.ink);
}

bool Add(std::vector<ASSETENTRY>& entries, const char* name, std::vector<uint8_t> bytes) {
  if (bytes.empty()) return false;
  entries.push_back({name, std::move(bytes)});
  return true;
}

// --- full-screen pictures -----------------------------------------------------

// A full-screen picture headed by two lines of large text over the row of
// the eight objects.
struct HEADING {
  uint32_t skytop, skybottom, stars;
  const char* first;
  int32_t firsty, firstscale;
  const char* second;
  int32_t secondy, objectsy;
};

bool Heading(PAINTER& p, V2DSurface& s, const HEADING& h) {
  if (!AssetGen_Canvas(p.display, s, kScreenWidth, kScreenHeight, 0)) return false;
  Sky(s, h.skytop, h.skybottom, h.stars);
  if (!BigText(p, s, p.score, 160, h.firsty, h.first, h.firstscale) ||
      !BigText(p, s, p.score, 160, h.secondy, h.second, kDouble))
    return false;
  ObjectRow(p, s, 160, h.objectsy, 30);
  return true;
}

bool Splash(PAINTER& p, V2DSurface& s) {
  const HEADING heading = {Rgb(10, 20, 70), Rgb(90, 30, 110), 7, "VEXA", 62, kTriple, "PUZZLE", 112, 148};
  if (!Heading(p, s, heading)) return false;
  Text(s, p.text, 160, 200, "Loading...", kCentred);
  return true;
}

bool Title(PAINTER& p, V2DSurface& s) {
  const HEADING heading = {Rgb(10, 40, 90), Rgb(20, 110, 140), 11, "VEXA", 46, kTriple, "PUZZLE", 94, 118};
  if (!Heading(p, s, heading)) return false;
  Text(s, p.text, 152, 162, "Choose a game:", VFONT_RIGHT);
  ModeLabel(p, s, 161, 157, "Easy", false);
  ModeLabel(p, s, 240, 156, "Timed", false);
  Text(s, p.text, 160, 196, "Left/right: mode     Select: start", kCentred);
  return true;
}

bool Backdrop(PAINTER& p, V2DSurface& s) {
  if (!AssetGen_Canvas(p.display, s, kScreenWidth, kScreenHeight, 0)) return false;
  Sky(s, Rgb(12, 16, 50), Rgb(60, 24, 80), 5);
  for (int32_t row = 0; row < 8; ++row) {
    Object(p, s, row, 18 + (row % 2) * 10, 24 + row * 24, 50);
    Object(p, s, 7 - row, 272 + (row % 2) * 14, 24 + row * 24, 50);
  }
  DrawField(s, kFieldX, kFieldY);
  return true;
}

bool Advert(PAINTER& p, V2DSurface& s) {
  const HEADING heading = {Rgb(70, 20, 100), Rgb(10, 20, 70), 3, "THANKS", 52, kDouble, "FOR PLAYING", 96, 166};
  if (!Heading(p, s, heading)) return false;
  Text(s, p.score, 160, 140, "VEXA PUZZLE", kCentred);
  Text(s, p.text, 160, 212, "See you again soon!", kCentred);
  return true;
}

// --- the play field's pictures ---------------------------------------------------

// The fade-in of the field ends on exactly the field the backdrop holds.
bool Grid(PAINTER& p, V2DSurface& backdrop, V2DSurface& s) {
  if (!AssetGen_Canvas(p.display, s, kFieldSide, kFieldSide, 0)) return false;
  const tagRECT field = {kFieldX, kFieldY, kFieldX + kFieldSide, kFieldY + kFieldSide};
  return s.BltFast(0, 0, &backdrop, &field) == 0;
}

bool Messages(PAINTER& p, V2DSurface& s) {
  if (!AssetGen_Canvas(p.display, s, kMessageWidth, 4 * kMessageBand, ASSET_KEY)) return false;
  static const char* const texts[4] = {"LEVEL UP!", "NO MORE MOVES", "TIME UP!", "PAUSED"};
  static const uint32_t fills[4] = {Rgb(30, 130, 60), Rgb(160, 30, 40), Rgb(190, 90, 10), Rgb(40, 70, 170)};
  for (int32_t band = 0; band < 4; ++band) {
    const int32_t top = band * kMessageBand;
    const tagRECT panel = {2, top + 3, kMessageWidth - 2, top + kMessageBand - 3};
    GlossyPanel(s, panel, 10, Rgb(10, 10, 20), fills[band], 0xFFFFFF);
    Text(s, p.score, kMessageWidth / 2, top + kMessageBand / 2, texts[band], kCentred);
  }
  return true;
}

// The bar's frame; the game fills (11, 5)-(141, 11) of it with the progress.
bool ProgressBar(PAINTER& p, V2DSurface& s) {
  if (!AssetGen_Canvas(p.display, s, 152, 17, ASSET_KEY)) return false;
  const tagRECT outer = {0, 0, 152, 17};
  GlossyPanel(s, outer, 6, Rgb(16, 16, 36), Rgb(160, 172, 200), 0xFFFFFF);
  const tagRECT trough = {10, 4, 142, 12}, inner = {11, 5, 141, 11};
  s.FillRect(&trough, Rgb(14, 14, 30));
  s.FillRect(&inner, Rgb(44, 44, 70));
  return true;
}

// --- overlay pictures -------------------------------------------------------------

// A box: a plain panel (the texts below stay on one even colour) with a
// lit band behind its heading.
void BoxFrame(PAINTER& p, V2DSurface& s, const char* title) {
  const tagRECT all = {0, 0, s.GetWidth(), s.GetHeight()};
  Panel(s, all, 10, Rgb(8, 10, 30), Rgb(34, 44, 100));
  const tagRECT band = {10, 2, s.GetWidth() - 10, 21};
  s.FillRect(&band, Rgb(120, 150, 255), BlitFlags::Opacity, 70);
  Text(s, p.score, s.GetWidth() / 2, 1, title, VFONT_CENTER);
}

void SectionHeader(PAINTER& p, V2DSurface& s, int32_t y, const char* text) {
  Text(s, p.text, 16, y, text, BlitFlags::Tint, Rgb(255, 220, 80));
  s.DrawLine(16, y + 11, s.GetWidth() - 17, y + 11, Rgb(120, 150, 255), BlitFlags::Opacity, 160);
}

// Laid out for the overlay's texts: drawn at (60, 16) when the bar is 16
// rows high, the ranks at y 50 and 102, the submit lines from y 144.
bool BoxHighScores(PAINTER& p, V2DSurface& s) {
  if (!AssetGen_Canvas(p.display, s, 200, 190, ASSET_KEY)) return false;
  BoxFrame(p, s, "HIGH SCORES");
  SectionHeader(p, s, 22, "Easy game");
  SectionHeader(p, s, 74, "Timed game");
  const tagRECT submit = {8, 124, 192, 182};
  s.FillRect(&submit, Rgb(10, 14, 40), BlitFlags::Opacity, 120);
  return true;
}

bool BoxAbout(PAINTER& p, V2DSurface& s) {
  if (!AssetGen_Canvas(p.display, s, 220, 160, ASSET_KEY)) return false;
  BoxFrame(p, s, "ABOUT");
  s.DrawLine(16, 32, 203, 32, Rgb(120, 150, 255), BlitFlags::Opacity, 160);
  return true;
}

// The key: a 24 x 24 face with 2 columns of soft shadow at each side and 3
// rows of shadow below, as RGBA pixels.
bool KbKey(PAINTER& p, std::vector<ASSETENTRY>& entries) {
  constexpr int32_t width = 28, height = 27, side = 2;
  V2DSurface s;
  if (!AssetGen_Canvas(p.display, s, width, height, ASSET_KEY)) return false;
  const tagRECT face = {side, 0, side + 24, 24};
  RoundRect(s, face, 3, Rgb(110, 120, 150));
  const tagRECT inner = Inset(face, 1);
  RoundRect(s, inner, 2, Rgb(236, 242, 252));
  const tagRECT lower = {inner.left + 2, 14, inner.right - 2, inner.bottom - 1};
  s.FillRect(&lower, Rgb(200, 210, 232), BlitFlags::Opacity, 140);
  std::vector<uint32_t> pixels(size_t(width) * height);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t colour = s.GetPixel(x, y) & 0xFFFFFF;
      const int32_t below = y >= 24 ? 3 - (y - 24) : 3, beside = x < side || x >= width - side ? 1 : 2;
      const uint32_t shadow = uint32_t(below * beside * 16) << 24;
      pixels[size_t(y) * width + x] = colour == ASSET_KEY ? shadow : colour | 0xFF000000u;
    }
  }
  return Add(entries, "kbkey.png", AssetGen_PngRgba(pixels, width, height));
}

bool TitleOption(PAINTER& p, V2DSurface& s) {
  if (!AssetGen_Canvas(p.display, s, kOptionWidth, 2 * kOptionHeight, ASSET_KEY)) return false;
  ModeLabel(p, s, 0, 0, "Easy", true);
  ModeLabel(p, s, 0, kOptionHeight, "Timed", true);
  return true;
}

// Eight button strips: 0 menu, 1 start (title), 2 ok, 3 back, 4 choose (menu
// open), 5 menu pressed, 6 hint (play field), 7 close.
bool MenuBar(PAINTER& p, V2DSurface& s) {
  if (!AssetGen_Canvas(p.display, s, kBarWidth, 8 * kBarHeight, ASSET_KEY)) return false;
  static const char* const labels[8] = {"Menu", "Start", "OK", "Back", "Choose", "Menu", "Hint", "Close"};
  for (int32_t strip = 0; strip < 8; ++strip) {
    const int32_t top = strip * kBarHeight;
    const bool lit = strip == 4 || strip == 5;
    const tagRECT pill = {1, top + 1, kBarWidth - 1, top + kBarHeight - 1};
    GlossyPanel(s, pill, 6, Rgb(10, 16, 40), lit ? Rgb(250, 150, 30) : Rgb(60, 110, 220), 0xFFFFFF);
    Text(s, p.text, kBarWidth / 2, top + kBarHeight / 2, labels[strip], kCentred);
  }
  return true;
}

// Ten items: the left half as listed, the right half the same selected.
bool MenuOption(PAINTER& p, V2DSurface& s) {
  if (!AssetGen_Canvas(p.display, s, 2 * kItemWidth, 10 * kItemHeight, ASSET_KEY)) return false;
  static const char* const items[10] = {"Timed game", "Easy game", "High scores", "Exit",     "Options",
                                        "About",      "Volume",    "Minimize",    "End game", "Continue"};
  for (int32_t item = 0; item < 10; ++item) {
    const int32_t top = item * kItemHeight;
    Text(s, p.plain, 8, top + kItemHeight / 2, items[item], BlitFlags::ColorFill | VFONT_MIDDLE, Rgb(20, 30, 80));
    const tagRECT bar = {kItemWidth + 1, top + 1, 2 * kItemWidth - 1, top + kItemHeight - 1};
    GlossyPanel(s, bar, 5, Rgb(10, 30, 90), Rgb(50, 100, 220), 0xFFFFFF);
    Text(s, p.text, kItemWidth + 8, top + kItemHeight / 2, items[item], VFONT_MIDDLE);
  }
  return true;
}

bool Banner(PAINTER& p, V2DSurface& s) {
  if (!AssetGen_Canvas(p.display, s, 240, 32, ASSET_KEY)) return false;
  const tagRECT ribbon = {0, 0, 240, 32};
  GlossyPanel(s, ribbon, 12, Rgb(8, 8, 24), Rgb(30, 26, 70), Rgb(140, 120, 255));
  Text(s, p.score, 120, 16, "VEXA FRAMEWORK", kCentred);
  return true;
}

using DRAW = bool (*)(PAINTER&, V2DSurface&);

enum class FORMAT { Rgb, Rgba };

bool AddDrawn(PAINTER& p, std::vector<ASSETENTRY>& entries, const char* name, DRAW draw, FORMAT format) {
  V2DSurface s;
  if (!draw(p, s)) return false;
  return Add(entries, name, AssetGen_Png(s, format == FORMAT::Rgba));
}

bool AddSprites(PAINTER& p, std::vector<ASSETENTRY>& entries) {
  V2DSurface menu;
  return Add(entries, "objects.bmp", AssetGen_Bmp(p.objects)) && AssetGen_MenuSprites(p.display, menu) &&
         Add(entries, "menusprites.bmp", AssetGen_Bmp(menu));
}

bool AddField(PAINTER& p, std::vector<ASSETENTRY>& entries) {
  V2DSurface backdrop, grid;
  return Backdrop(p, backdrop) && Add(entries, "backdrop.png", AssetGen_Png(backdrop, false)) &&
         Grid(p, backdrop, grid) && Add(entries, "grid.png", AssetGen_Png(grid, false));
}

}  // namespace

bool AssetGen_Pictures(ClassVDisplay& display, std::vector<ASSETENTRY>& entries) {
  PAINTER p = {display, {}, {}, {}, {}};
  if (!AssetGen_FontSheet(display, ASSETFONT::Text, p.text) || !AssetGen_FontSheet(display, ASSETFONT::Score, p.score) ||
      !AssetGen_FontSheet(display, ASSETFONT::Key, p.plain) || !AssetGen_ObjectSheet(display, p.objects))
    return false;
  return AddDrawn(p, entries, "splash.png", Splash, FORMAT::Rgb) &&
         AddDrawn(p, entries, "title.png", Title, FORMAT::Rgb) && AddField(p, entries) && AddSprites(p, entries) &&
         AddDrawn(p, entries, "messages.png", Messages, FORMAT::Rgb) &&
         AddDrawn(p, entries, "progressbar.png", ProgressBar, FORMAT::Rgb) &&
         AddDrawn(p, entries, "advert.png", Advert, FORMAT::Rgb) &&
         AddDrawn(p, entries, "box_highscores.png", BoxHighScores, FORMAT::Rgb) &&
         AddDrawn(p, entries, "box_about.png", BoxAbout, FORMAT::Rgb) && KbKey(p, entries) &&
         AddDrawn(p, entries, "titleoption.png", TitleOption, FORMAT::Rgba) &&
         AddDrawn(p, entries, "menubar.png", MenuBar, FORMAT::Rgba) &&
         AddDrawn(p, entries, "menuoption.png", MenuOption, FORMAT::Rgba) &&
         AddDrawn(p, entries, "vexabanner.png", Banner, FORMAT::Rgba);
}
