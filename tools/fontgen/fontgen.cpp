// fontgen - turns the internal font's picture (tools/fontgen/font_sheet.inc)
// into the compressed sheet the display builds its font from.
//
// Usage: fontgen <output>   writes the C array include (normally
// render/vmod_dsp_font_data.inc). The picture is compiled in, so rebuild
// fontgen after editing it. Depends on: zlib.
#include <cstdint>
#include <cstdio>

#include <zlib.h>

#include "tools/fontgen/fontgen_sheet.h"

namespace {

constexpr int32_t BYTESPERLINE = 16;  // array bytes per source line

bool WriteInclude(FILE* out, const uint8_t* stream, uLongf size) {
  std::fprintf(out,
               "// vmod_dsp_font_data.inc - the internal font's sheet as a zlib stream, made by\n"
               "// tools/fontgen from tools/fontgen/font_sheet.inc; do not edit by hand.\n"
               "// Inflates to %d bytes: 84 rows of 63, two pixels per byte, high nibble first.\n"
               "static const uint8_t VDSP_FONTSTREAM[%lu] = {\n",
               FONTGEN_BYTES, static_cast<unsigned long>(size));
  for (uLongf i = 0; i < size; i++) {
    const bool first = i % BYTESPERLINE == 0, last = i + 1 == size || (i + 1) % BYTESPERLINE == 0;
    std::fprintf(out, "%s0x%02X,%s", first ? "    " : " ", stream[i], last ? "\n" : "");
  }
  std::fprintf(out, "};\n");
  return std::ferror(out) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fontgen <output>\n");
    return 2;
  }
  static uint8_t sheet[FONTGEN_BYTES];
  if (!FontGen_Pack(sheet)) {
    std::fprintf(stderr, "fontgen: a row of the picture has the wrong length or an unknown character\n");
    return 1;
  }
  static uint8_t stream[FONTGEN_BYTES + 1024];
  uLongf size = sizeof stream;
  if (compress2(stream, &size, sheet, FONTGEN_BYTES, Z_BEST_COMPRESSION) != Z_OK) {
    std::fprintf(stderr, "fontgen: compression failed\n");
    return 1;
  }
  FILE* out = std::fopen(argv[1], "w");
  if (!out) {
    std::fprintf(stderr, "fontgen: cannot write %s\n", argv[1]);
    return 1;
  }
  const bool written = WriteInclude(out, stream, size);
  if (std::fclose(out) != 0 || !written) {
    std::fprintf(stderr, "fontgen: writing %s failed\n", argv[1]);
    return 1;
  }
  return 0;
}
