// vmod_dsp_font.cpp - the display's internal font.
//
// The internal font is a 126 x 84 sheet, kept compressed in the program, that
// BuildFont turns into a glyph table. The font module (the sheet and
// BuildFont) is not in the tree yet, so the font cannot be built: Open fails
// with result 1 unless the configuration asks for no internal font (display
// flag 8). Depends on: the surfaces.
#include "render/vmod_dsp.h"

int VDisplay_CreateInternalFont(ClassVDisplay* display, V2DSurface* font) {
  (void)display, (void)font;
  return 1;
}
