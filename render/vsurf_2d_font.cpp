// vsurf_2d_font.cpp - text drawing on a surface.
//
// Text is drawn glyph by glyph from a font sheet's glyph table, which
// BuildFont makes. The font module (glyph tables, layout, wrapping) is not in
// the tree yet, so no surface carries a glyph table and, as for any sheet
// without one, drawing text draws nothing and reports the font as not built.
// Depends on: the surface.
#include <cstdint>

#include "render/vsurf_2d.h"

int V2DSurface::DrawFont(int32_t x, int32_t y, V2DSurface* font, const char* text, uint32_t flags, uint32_t value) {
  (void)x, (void)y, (void)font, (void)text, (void)flags, (void)value;
  return VSURF_NOTCREATED;
}

int V2DSurface::DrawFont(int32_t x, int32_t y, V2DSurface* font, const char16_t* text, uint32_t flags,
                         uint32_t value) {
  (void)x, (void)y, (void)font, (void)text, (void)flags, (void)value;
  return VSURF_NOTCREATED;
}

int V2DSurface::DrawFont(int32_t x, int32_t y, V2DSurface* font, int32_t number, uint32_t flags, uint32_t value) {
  (void)x, (void)y, (void)font, (void)number, (void)flags, (void)value;
  return VSURF_NOTCREATED;
}
