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
                          const V2DSurface* source) const;         // virtual -> clipped physical; 0, 1 or 4
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

  // Fonts (vsurf_2d_font.cpp).
  int DrawFont(int32_t x, int32_t y, V2DSurface* font, const char* text, uint32_t flags, uint32_t value);     // 8-bit text
  int DrawFont(int32_t x, int32_t y, V2DSurface* font, const char16_t* text, uint32_t flags, uint32_t value); // 16-bit text
  int DrawFont(int32_t x, int32_t y, V2DSurface* font, int32_t number, uint32_t flags, uint32_t value);       // decimal number

 private:
  bool SameCreation(int32_t width, int32_t height, uint8_t videotype, uint32_t flags) const; // Create would only clear
  void DropDrawTables();                                           // glyph table and hit-test mask
  void FillPhysical(const tagRECT& rect, uint32_t colour, uint32_t flags, uint32_t value); // clipped physical rect
  void WriteStreamPixel(int32_t x, int32_t y, uint32_t colour);    // loader pixel at virtual (x, y), inside only
  uint32_t StreamColor(uint32_t colour, bool alphaflag, bool dither, int32_t phase) const; // dither, transparency
  int StreamIndexed(VLDR_2DCALLBACKINFO* info);                    // index bytes
  int StreamTrueColor(VLDR_2DCALLBACKINFO* info);                  // 32-bit colours
  int BuildIndexRemap();                                           // remap table from this palette; 0 or 2

  // Memory-level workers of BltPixelShader (vsurf_2d_blt.cpp): width x height
  // pixels, shader per pixel (8-bit surfaces copy indices).
  void MemBlt(uint8_t* dst, const uint8_t* src, int32_t width, int32_t height, int32_t dstpitch,
              int32_t srcpitch, VPSHADER shader, uint32_t value);
  void MemBltColorkey(uint8_t* dst, const uint8_t* src, int32_t width, int32_t height, int32_t dstpitch,
                      int32_t srcpitch, VPSHADER shader, uint32_t value, uint32_t key); // skips key pixels
};
