// vsurf_2d.h - the 2D surface: a pixel buffer in one of the display's pixel
// formats (the back buffer, every loaded image, every font sheet) with its
// creation, colour key, pixels, fills with the draw flags, colour
// replacement, hit-test mask, the loader callbacks, and the blits, fonts and
// scan-line primitives drawn on it.
//
// Sources: vsurf_2d.cpp (the core), vsurf_2d_fill.cpp (pixels and fills with
// the draw flags), vsurf_2d_ldr.cpp (loader callbacks), vsurf_2d_blt.cpp
// (blits), vsurf_2d_bltrgba.cpp (blits from RGBA surfaces), vsurf_2d_scan.cpp
// (scan-line tables), vsurf_2d_prim.cpp (lines, rectangles, ovals),
// vsurf_2d_poly.cpp (triangles, gradients, textures, landscape),
// vsurf_2d_font.cpp (fonts).
// Depends on: render/vsurf_2dbase.h, the display, the memory, file and math
// modules, the blit routine families (render/vrdr_blt.h).
#pragma once

#include <cstdint>

#include "render/vsurf_2dbase.h"

class V2DSurfaceRGBA;
class V3DSurface;

// The general blit's parameters; a null record means flags 0, value 0,
// scales 1.0, no rotation, no flip.
struct V2DBLTFX {
  uint32_t flags;     // BlitFlags
  uint32_t value;     // colour / opacity value as for BltFast
  int32_t xscale;     // 16.16, 65536 = 1.0
  int32_t yscale;     // 16.16
  uint32_t rotation;  // 4096 to the full turn; low 16 bits used
  uint8_t flip;       // V2DFLIP_ bits
};

constexpr uint8_t V2DFLIP_LEFTRIGHT = 0x1;  // mirror the source left-right
constexpr uint8_t V2DFLIP_TOPBOTTOM = 0x2;  // mirror the source top-bottom

// Text alignment, bits 8-11 of DrawFont's flags.
constexpr uint32_t VFONT_RIGHT = 0x100;     // x is the right end of each line
constexpr uint32_t VFONT_CENTER = 0x200;    // x is the centre of each line
constexpr uint32_t VFONT_BOTTOM = 0x400;    // y is the bottom of the text
constexpr uint32_t VFONT_MIDDLE = 0x800;    // y is the vertical centre of the text

constexpr uint32_t V2DGRADIENT_DITHER = 0x100;  // gradients: ordered dither before the format's truncation

// A pixel shader: (destination, source, column, row, value) -> new
// destination. Colours are 0x00RRGGBB (red in bits 16-23).
typedef uint32_t (*VPSHADER)(uint32_t dst, uint32_t src, int32_t column, int32_t row, uint32_t value);
uint32_t VPShader_AND(uint32_t dst, uint32_t src, int32_t column, int32_t row, uint32_t value);       // dst & src
uint32_t VPShader_OR(uint32_t dst, uint32_t src, int32_t column, int32_t row, uint32_t value);        // dst | src
uint32_t VPShader_XOR(uint32_t dst, uint32_t src, int32_t column, int32_t row, uint32_t value);       // dst ^ src
uint32_t VPShader_Grayscale(uint32_t dst, uint32_t src, int32_t column, int32_t row, uint32_t value); // grey of src

class V2DSurface : public V2DSurfaceBase {
 public:
  V2DSurface() = default;
  ~V2DSurface() override;                                          // Free

  // Creation and release.
  int Create(int32_t width, int32_t height, uint8_t videotype, uint32_t flags); // 0, 1 bad type, 2 memory, 4 bad size/type
  int Init();                                                      // palette, clipper, font defaults, scan tables; 0 or 2
  void Free();                                                     // releases everything; safe twice
  int LoadImage(const void* data, uint32_t size, uint8_t videotype, uint32_t flags); // asks the display's loaders
  int LoadImage(const char16_t* name, uint8_t videotype, uint32_t flags);             // reads the file, then as above

  // Colour key.
  void SetColorKey(uint32_t colour);                               // stored native
  uint32_t GetColorKey() const;                                    // interface layout
  uint32_t AutoSetColorKey(int32_t x, int32_t y);                  // key = colour at virtual (x, y); returns it
  uint32_t GetNativeColorKey() const { return colorkey; }          // the key as stored

  // Pixels and fills (virtual coordinates unless the name ends in V or Raw).
  uint32_t GetPixel(int32_t x, int32_t y) const;                   // interface colour; 0 outside
  uint32_t GetPixelV(int32_t x, int32_t y) const;                  // physical position; 0 outside
  uint32_t GetPixelRaw(int32_t x, int32_t y, const uint8_t* memory) const; // physical, no checks
  void PutPixel(int32_t x, int32_t y, uint32_t colour, uint32_t flags, uint32_t value);    // inside the clipper, draw flags
  void PutPixelRaw(int32_t x, int32_t y, uint32_t colour, uint32_t flags, uint32_t value); // physical, no checks
  void FillRect(const tagRECT* rect, uint32_t colour, uint32_t flags = 0, uint32_t value = 0); // null = the clipper
  void FillRectV(const tagRECT* rect, uint32_t colour, uint32_t flags, uint32_t value, bool map); // map: rect is virtual
  void PutPixelRow(int32_t x, int32_t y, int32_t length, uint32_t colour, uint32_t flags, uint32_t value); // one row
  void Clear(uint32_t colour);                                     // fills the clipper, drops glyphs and mask
  void ReplaceColor(uint32_t from, uint32_t to, bool invert);      // inside the clipper
  int BuildTableMask(uint32_t threshold);                          // 1-bit mask of bright non-key pixels; 0 or 2
  const uint32_t* GetTableMask() const { return tablemask; }       // rows of ceil(physical width / 32) words
  int WriteBmp(const char* name, const tagRECT* rect);             // 24-bit BMP of the rectangle
  int WriteBmp(const char16_t* name, const tagRECT* rect);         // 24-bit BMP of the rectangle

  // Loader callbacks.
  int LdrOnCreate(VLDR_2DCALLBACKINFO* info) override;             // Create; key 0
  int LdrOnPaletteStream(VLDR_2DCALLBACKINFO* info) override;      // palette entries; 10 past entry 255
  int LdrOnPixelStream(VLDR_2DCALLBACKINFO* info) override;        // one run; 1 no pixels, 2 no memory

  // Blits (vsurf_2d_blt.cpp).
  int BltFast(int32_t x, int32_t y, V2DSurface* source, const tagRECT* rect, uint32_t flags = 0,
              uint32_t value = 0);                                 // same orientation, top-left at (x, y)
  int BltFlip(int32_t x, int32_t y, V2DSurface* source, const tagRECT* rect, uint32_t rotation,
              uint8_t flip, uint32_t flags, uint32_t value);       // quarter turns and mirroring
  int BltFx(int32_t x, int32_t y, V2DSurface* source, const tagRECT* rect, const V2DBLTFX* fx); // centred at (x, y)
  int Blt(int32_t x, int32_t y, V2DSurface* source, const tagRECT* rect, uint32_t rotation, int32_t scale,
          uint8_t flip, uint32_t flags, uint32_t value);           // BltFx with both scales = scale
  int BltPixelShader(int32_t x, int32_t y, V2DSurface* source, const tagRECT* rect, VPSHADER shader,
                     uint32_t flags, uint32_t value);              // shader per pixel; only ColorKey honoured
  int GetBltFastPositions(int32_t& x, int32_t& y, tagRECT& rect, const tagRECT* sourcerect,
                          const V2DSurfaceBase* source) const;     // virtual -> clipped physical; 0, 1 or 4
  int GetBltFlipPositions(int32_t& x, int32_t& y, tagRECT& rect, const tagRECT* sourcerect,
                          const V2DSurface* source, uint32_t rotation, uint8_t& flip) const; // 0, 1 or 4
  int PrepareBlitFlipRect(int32_t& x, int32_t& y, tagRECT& rect, uint32_t rotation, uint8_t flip) const; // 0 or 4

  // Scan-line tables of the polygon and rotate/scale paths (vsurf_2d_scan.cpp).
  void ResetScanLines(int32_t top, int32_t bottom);               // rows top..bottom-1: left = width, right = -1
  void ScanPolyLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2); // one side, positions only (22.10)
  void ScanPolyLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const int32_t* a1,
                    const int32_t* a2);                            // with one interpolated pair
  void ScanPolyLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, const int32_t* a1,
                    const int32_t* a2, const int32_t* b1, const int32_t* b2); // with two pairs

  // RGBA source: blends every pixel by its own alpha (vsurf_2d_bltrgba.cpp).
  int BltFast(int32_t x, int32_t y, V2DSurfaceRGBA* source, const tagRECT* rect, uint32_t flags = 0,
              uint32_t value = 0);

  // Drawing primitives (vsurf_2d_prim.cpp, vsurf_2d_poly.cpp).
  void DrawLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour, uint32_t flags,
                uint32_t value);                                   // both end points included
  void DrawRect(const tagRECT* rect, uint32_t colour, uint32_t flags, uint32_t value); // outline; null = the clipper
  void DrawOval(int32_t x, int32_t y, int32_t rx, int32_t ry, uint32_t colour, uint32_t flags,
                uint32_t value);                                   // (x, y) top-left of the box, |rx|, |ry| radii
  void FillOval(int32_t x, int32_t y, int32_t rx, int32_t ry, uint32_t colour, uint32_t flags,
                uint32_t value);                                   // the same oval filled
  void FillPoly(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3, uint32_t colour,
                uint32_t flags, uint32_t value);                   // triangle, pixel coordinates
  void FillPolyV(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3, uint32_t colour,
                 uint32_t flags, uint32_t value);                  // triangle, 22.10 coordinates
  void GradientPoly(int32_t x1, int32_t y1, uint32_t colour1, int32_t x2, int32_t y2, uint32_t colour2,
                    int32_t x3, int32_t y3, uint32_t colour3, uint32_t flags); // shaded triangle, pixels
  void GradientPolyV(int32_t x1, int32_t y1, uint32_t colour1, int32_t x2, int32_t y2, uint32_t colour2,
                     int32_t x3, int32_t y3, uint32_t colour3, uint32_t flags); // shaded triangle, 22.10
  void GradientRect(const tagRECT* rect, uint32_t topleft, uint32_t topright, uint32_t bottomleft,
                    uint32_t bottomright, uint32_t flags);         // four corner colours; null = whole surface
  void GradientRectV(const tagRECT* rect, uint32_t top, uint32_t bottom, uint32_t flags);  // top to bottom
  void GradientRectH(const tagRECT* rect, uint32_t left, uint32_t right, uint32_t flags);  // left to right
  void TexturePoly(int32_t x1, int32_t y1, int32_t u1, int32_t v1, int32_t x2, int32_t y2, int32_t u2, int32_t v2,
                   int32_t x3, int32_t y3, int32_t u3, int32_t v3, V2DSurface* texture, uint32_t flags,
                   uint32_t value);                                // corners (x, y) in pixels, (u, v) in texels, wrapped
  void Landscape(const tagRECT* rect, int32_t x, int32_t y, int32_t z, uint16_t angle, int16_t horizon,
                 uint16_t focal, V2DSurface* texture);             // ground plane; null rect = whole surface
  bool GetLandscapePoint(const tagRECT* rect, int32_t x, int32_t y, int32_t z, uint16_t angle, int16_t horizon,
                         uint16_t focal, const V2DSurface* texture, int32_t sx, int32_t sy, int32_t& u,
                         int32_t& v) const;                        // texel Landscape draws at (sx, sy); false: sky

  // A 3D model drawn with its origin at the surface centre moved by (x, y):
  // flags 0x800 textured (with texture coordinates), else 0x400 shaded, else
  // 0x100 wire frame, else flat; 0x200 or 0x400 light it; bits 0-7 and value
  // are the draw flags. Triangles drawn (vsurf_3d_render.cpp).
  int32_t Render(int32_t x, int32_t y, V3DSurface* model, uint32_t flags, uint32_t value);

  // Fonts (vsurf_2d_font.cpp). This surface as a font sheet:
  void SetFontCharacters(uint16_t first, uint16_t last);           // codes of the first and last glyph
  int SetFontCharacterSet(const char* text);                       // n-th character = n-th glyph; null removes; 0 or 2
  int SetFontCharacterSet(const char16_t* text);                   // as above
  void SetFontPadding(int32_t x, int32_t y);                       // added to advances and line steps; also in the table
  void SetFontSheetLayout(uint8_t rows, int32_t perrow);           // glyph rows (0 counts as 1), glyphs per row
  int BuildFont(bool detect, uint32_t colourkey);                  // glyph table from marker runs or a grid; 0, 1, 2 or 4
  const int16_t* GetFontTable() const { return fonttable; }        // header + (left, top, right, bottom) per glyph, or null
  const char16_t* GetFontCharacterSet() const { return fontcharset; } // null without a set
  int32_t GetFontWidth(const char* text) const;                    // widest line
  int32_t GetFontWidth(const char16_t* text) const;                // widest line
  int32_t GetFontHeight(const char* text) const;                   // lines x line height; 0 without a table
  int32_t GetFontHeight(const char16_t* text) const;               // lines x line height; 0 without a table
  int32_t PrepareFontWrap(const char* text, char* result, int32_t width, int32_t capacity) const; // wrapped copy; its length
  int32_t PrepareFontWrap(const char16_t* text, char16_t* result, int32_t width, int32_t capacity) const; // capacity counts the zero
  // Text drawn on this surface with a font sheet; flags bits 0-7 and value go to BltFast, bits 8-11 align.
  int DrawFont(int32_t x, int32_t y, V2DSurface* font, const char* text, uint32_t flags, uint32_t value);     // 8-bit text
  int DrawFont(int32_t x, int32_t y, V2DSurface* font, const char16_t* text, uint32_t flags, uint32_t value); // 16-bit text
  int DrawFont(int32_t x, int32_t y, V2DSurface* font, int32_t number, uint32_t flags, uint32_t value);       // decimal number
  int DrawFontWrap(int32_t x, int32_t y, V2DSurface* font, const char* text, int32_t width, uint32_t flags,
                   uint32_t value);                                // wrapped to width
  int DrawFontWrap(int32_t x, int32_t y, V2DSurface* font, const char16_t* text, int32_t width, uint32_t flags,
                   uint32_t value);                                // wrapped to width

 private:
  bool SameCreation(int32_t width, int32_t height, uint8_t videotype, uint32_t flags) const; // Create would only clear
  void DropDrawTables();                                           // glyph table and hit-test mask
  void FillPhysical(const tagRECT& rect, uint32_t colour, uint32_t flags, uint32_t value); // clipped physical rect
  void WriteStreamPixel(int32_t x, int32_t y, uint32_t colour);    // loader pixel at virtual (x, y), inside only
  uint32_t StreamColor(uint32_t colour, bool alphaflag, bool dither, int32_t phase) const; // dither, transparency
  int StreamIndexed(VLDR_2DCALLBACKINFO* info);                    // index bytes
  int StreamTrueColor(VLDR_2DCALLBACKINFO* info);                  // 32-bit colours
  uint8_t* StreamRowStart(int32_t offset, uint32_t count, int32_t& step) const; // run within one row and the clipper, else null
  template <typename Fetch>
  bool StreamRowFast(VLDR_2DCALLBACKINFO* info, uint32_t count, const uint8_t* colours,
                     Fetch fetch);                                 // true-colour row in one loop (colours: the run as 32-bit values, or null); false: not taken
  int BuildIndexRemap();                                           // remap table from this palette; 0 or 2

  // Resets the scan-line tables and scans a triangle (22.10, virtual rows),
  // with three interpolated values per corner unless `values` is null; false
  // when nothing of it is inside the clipper, which `clip` receives in
  // virtual coordinates (vsurf_2d_poly.cpp).
  bool ScanTriangle(const int32_t* x, const int32_t* y, const V2DSCANVALUES* values, tagRECT& clip);

  // Memory-level workers of BltPixelShader (vsurf_2d_blt.cpp): width x height
  // pixels, shader per pixel (8-bit surfaces copy indices).
  void MemBlt(uint8_t* dst, const uint8_t* src, int32_t width, int32_t height, int32_t dstpitch,
              int32_t srcpitch, VPSHADER shader, uint32_t value);
  void MemBltColorkey(uint8_t* dst, const uint8_t* src, int32_t width, int32_t height, int32_t dstpitch,
                      int32_t srcpitch, VPSHADER shader, uint32_t value, uint32_t key); // skips key pixels
};
