// vmod_dsp_font.cpp - the display's internal font.
//
// The internal font is a 126 x 84 sheet kept in the program as a zlib stream
// (render/vmod_dsp_font_data.inc, made by tools/fontgen from its picture):
// 84 rows of 63 bytes, two pixels per byte, high nibble first. The sheet is
// drawn in the render mode and made a font of the characters 32-130 in six
// bands of marker runs. Depends on: the surfaces and fonts, the memory module
// (inflate).
#include <cstdint>

#include "render/vmod_dsp.h"
#include "render/vsurf_2d.h"
#include "util/vmod_memory.h"

namespace {

#include "render/vmod_dsp_font_data.inc"

constexpr int32_t SHEETWIDTH = 126;
constexpr int32_t SHEETHEIGHT = 84;
constexpr uint32_t SHEETBYTES = SHEETWIDTH / 2 * SHEETHEIGHT;  // 5292
constexpr uint32_t SURFACETYPE = 1;
constexpr uint16_t FIRSTCHAR = 32;
constexpr uint16_t LASTCHAR = 130;
constexpr uint8_t BANDS = 6;
constexpr uint32_t KEY = 0xFF00FF;

uint32_t NibbleColor(uint8_t nibble) {
  switch (nibble) {
    case 1: return 0xFFFFFF;
    case 2: return 0x000000;
    case 3: return 0x800080;
    default: return KEY;
  }
}

// The inflated sheet, released on leaving.
class SheetBuffer {
 public:
  SheetBuffer() : bytes(static_cast<uint8_t*>(ClassVMemory::Alloc(SHEETBYTES))) {}
  ~SheetBuffer() { ClassVMemory::DeAlloc(bytes); }
  SheetBuffer(const SheetBuffer&) = delete;
  SheetBuffer& operator=(const SheetBuffer&) = delete;

  // Only a stream of exactly the sheet's size is a sheet.
  bool Inflate() {
    uint32_t size = SHEETBYTES;
    return ClassVMemory::UnCompressZLib(bytes, size, VDSP_FONTSTREAM, sizeof VDSP_FONTSTREAM) && size == SHEETBYTES;
  }

  uint8_t Nibble(int32_t x, int32_t y) const {
    const uint8_t pair = bytes[y * (SHEETWIDTH / 2) + x / 2];
    return x % 2 ? pair & 0x0F : pair >> 4;
  }

  uint8_t* bytes;
};

}  // namespace

int VDisplay_CreateInternalFont(ClassVDisplay* display, V2DSurface* font) {
  if (!display || !font) return 1;
  SheetBuffer sheet;
  if (!sheet.bytes) return 2;
  if (!sheet.Inflate()) return 1;
  if (font->Create(SHEETWIDTH, SHEETHEIGHT, display->GetRenderMode(), SURFACETYPE) != VSURF_OK) return 1;
  for (int32_t y = 0; y < SHEETHEIGHT; y++) {
    for (int32_t x = 0; x < SHEETWIDTH; x++) font->PutPixel(x, y, NibbleColor(sheet.Nibble(x, y)), 0, 0);
  }
  font->SetFontCharacters(FIRSTCHAR, LASTCHAR);
  font->SetFontSheetLayout(BANDS, -1);
  const int built = font->BuildFont(true, KEY);
  if (built == VSURF_NOMEMORY) return 2;
  return built == VSURF_OK ? 0 : 1;
}
