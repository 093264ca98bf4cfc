// vsurf_2dbase.h - what every 2D surface holds: the pixel format codes, the
// draw flags, the colour conversions between the 32-bit interface colour and
// each native pixel format, the surface record, and the base class with the
// fields and the operations that do not depend on the pixel format (link,
// size, lock, clipper, orientation mapping, scan-line tables).
//
// Surfaces are stored in the display's physical orientation; every operation
// takes virtual coordinates and maps them through the display. A surface with
// no display link works unrotated on its own. Depends on: framework/vexa_records.h
// (records), render/vrdr_blt.h (flag bits), the display (orientation), the
// memory module (pixel memory), resources/loaders/vldr_base.h (callbacks).
#pragma once

#include <cstdint>

#include "framework/vexa_records.h"
#include "render/vrdr_blt.h"

struct VLDR_2DCALLBACKINFO;

// Pixel formats (VideoType).
namespace VideoType {
constexpr uint8_t Indexed8 = 1;         // palette index
constexpr uint8_t Rgb444 = 2;           // blue 0-3, green 4-7, red 8-11
constexpr uint8_t Rgb555 = 3;           // blue 0-4, green 5-9, red 10-14
constexpr uint8_t Rgb565 = 4;           // blue 0-4, green 5-10, red 11-15
constexpr uint8_t Rgb888 = 5;           // three bytes: blue, green, red
constexpr uint8_t Xrgb8888 = 6;         // blue 0-7, green 8-15, red 16-23
constexpr uint8_t DisplayDefault = 32;  // in a request: the framebuffer's own format
}  // namespace VideoType

// Draw flags (BlitFlags); a colour, these flags and a value go with every drawing call.
namespace BlitFlags {
constexpr uint32_t ColorKey = VBLT_COLORKEY;         // blits: skip source pixels equal to the key
constexpr uint32_t ColorFill = VBLT_COLORFILL;       // draw the value's colour
constexpr uint32_t Tint = VBLT_TINT;                 // average of source and the value's colour
constexpr uint32_t Opacity = VBLT_OPACITY;           // blend by an opacity 0..255
constexpr uint32_t Additive = VBLT_ADDITIVE;         // add, saturating per component
constexpr uint32_t Subtractive = VBLT_SUBTRACTIVE;   // destination minus source, clamped at 0
}  // namespace BlitFlags

// Graphics result codes.
constexpr int VSURF_OK = 0;
constexpr int VSURF_NOTCREATED = 1;   // not created, not found, unsupported type, no pixels for a stream
constexpr int VSURF_NOMEMORY = 2;     // out of memory
constexpr int VSURF_NOLOADER = 3;     // no loader accepted the data (BltFlip: video types differ)
constexpr int VSURF_INVALID = 4;      // invalid parameters, or nothing visible after clipping
constexpr int VSURF_NOTHING = 10;     // opacity reduced to 0, or palette position out of range
constexpr int VSURF_TYPESDIFFER = 11; // BltFx or BltPixelShader between different video types
constexpr int VSURF_NOPIXELS = 12;    // a blit's source or destination has no pixel memory

constexpr int32_t VSURF_MAXSIDE = 32767;    // longest side a surface may have (16-bit scan-line x)
constexpr uint32_t VSURF_TYPEMASK = 0x0F;   // creation flags: surface type
constexpr uint32_t VSURF_MAXTYPE = 3;       // highest surface type
constexpr int32_t VSURF_SCANVALUES = 4;     // 32-bit values in a scan-line record

// Surface states (low 4 bits of the state byte).
constexpr uint8_t VSURF_STATE_NONE = 0;     // not created
constexpr uint8_t VSURF_STATE_PIXELS = 1;   // created with own pixel memory
constexpr uint8_t VSURF_STATE_HIDDEN = 4;   // created without accessible pixels

// Filled by GetInfo and Lock. Virtual pixel (x, y) is at
// pixels + origin + x * xstep + y * ystep.
struct V2DSURFACEINFO {
  int32_t xstep;          // bytes to the virtual right neighbour
  int32_t ystep;          // bytes to the virtual pixel below
  uint32_t rowbytes;      // row length x bits per pixel / 8
  uint32_t origin;        // byte offset of virtual (0, 0)
  uint32_t width;         // virtual width
  uint32_t height;        // virtual height
  uint32_t physwidth;     // storage width (unaligned)
  uint32_t physheight;    // storage height
  uint8_t bitsperpixel;   // 8, 16, 24, 32
  uint8_t videotype;      // VideoType
};

// One side of a span in the scan-line tables: interpolated values
// (source coordinates or colour components, 22.10).
struct V2DSCANVALUES {
  int32_t value[VSURF_SCANVALUES];
};
static_assert(sizeof(V2DSCANVALUES) == 16, "a scan-line record is 16 bytes");

// An 8-bit name widened for the file calls: short names in a buffer of its
// own, longer ones (up to the 16384 characters of any string) allocated.
class V2DWideName {
 public:
  V2DWideName(const char* name, int32_t localsize);  // localsize: longest name kept locally, plus 1
  ~V2DWideName();
  V2DWideName(const V2DWideName&) = delete;
  V2DWideName& operator=(const V2DWideName&) = delete;
  const char16_t* Get() const { return wide; }       // null when the name was null or memory ran out

 private:
  static constexpr int32_t LOCALMAX = 512;
  char16_t local[LOCALMAX];
  char16_t* heap = nullptr;
  const char16_t* wide = nullptr;
};

class V2DSurfaceBase {
 public:
  V2DSurfaceBase();
  virtual ~V2DSurfaceBase();
  V2DSurfaceBase(const V2DSurfaceBase&) = delete;
  V2DSurfaceBase& operator=(const V2DSurfaceBase&) = delete;

  // Loader callbacks; the base supports none (3).
  virtual int LdrOnCreate(VLDR_2DCALLBACKINFO* info);         // creates the surface for the image
  virtual int LdrOnPaletteStream(VLDR_2DCALLBACKINFO* info);  // takes palette entries
  virtual int LdrOnPixelStream(VLDR_2DCALLBACKINFO* info);    // takes one run of pixels

  // Colour conversions between the interface colour and a native pixel.
  // Interface -> native (Indexed8: the index). Inline, so row loops of a
  // fixed format fold it into a few shifts.
  static uint32_t ColorToNative(uint8_t videotype, uint32_t c) {
    switch (videotype) {
      case VideoType::Rgb444: return ((c & 0xF0) << 4) | ((c >> 8) & 0xF0) | ((c >> 20) & 0xF);
      case VideoType::Rgb555: return ((c & 0xF8) << 7) | ((c >> 6) & 0x3E0) | ((c >> 19) & 0x1F);
      case VideoType::Rgb565: return ((c & 0xF8) << 8) | ((c >> 5) & 0x7E0) | ((c >> 19) & 0x1F);
      case VideoType::Rgb888:
      case VideoType::Xrgb8888: return (c & 0xFF00) | ((c >> 16) & 0xFF) | ((c & 0xFF) << 16);
      default: return c;
    }
  }
  static uint32_t NativeToColor(uint8_t videotype, uint32_t native);  // native -> interface, low bits zero
  static uint8_t BitsPerPixel(uint8_t videotype);                     // 8, 16, 24, 32; 0 for an unknown type
  // The shared draw-flag rules: Additive with Subtractive cancel; an opacity of
  // 255 or more drops Opacity, a lower one is reduced to the format's
  // precision. False when the opacity reduces to 0 (nothing to draw).
  static bool ResolveDrawFlags(uint8_t videotype, uint32_t& flags, uint32_t& opacity);
  static uint32_t OpacityOfValue(uint32_t flags, uint32_t value);     // value's top byte with ColorFill/Tint, else value
  static uint32_t DitherColor(uint8_t videotype, uint32_t colour, int32_t phase); // ordered dither of a loaded colour (vsurf_2d_ldr.cpp)

  void LinkECD(VCD* vcd);                          // the shared record; precedes Create
  VCD* GetECD() const { return ecd; }              // the linked record (null when unlinked)
  bool IsCreated() const;                          // state non-zero
  int32_t GetWidth() const;                        // virtual width (0 when not created)
  int32_t GetHeight() const;                       // virtual height (0 when not created)
  uint8_t GetVideoType() const { return videotype; }  // VideoType (0 when never created)
  uint8_t* Lock(V2DSURFACEINFO* info);             // pixel memory or null; fills info, counts the lock
  void Unlock();                                   // uncounts a lock
  int32_t GetLockCount() const { return lockcount; }  // locks not yet undone
  int GetInfo(V2DSURFACEINFO* info) const;         // 1 and the record; 0 for a null record
  void GetPalette(uint32_t* colours, int32_t first, int32_t count) const; // entries first .. min(first + count, 256) - 1
  void SetClipper(const tagRECT* rect);            // virtual rectangle clamped to the surface; null = whole
  void GetClipper(tagRECT* rect) const;            // the clipper in virtual coordinates
  int ClipRect(tagRECT* rect) const;               // physical rect cut to the clipper: 1 if anything is left

 protected:
  ClassVDisplay* Display() const;                  // the linked display, null without one
  bool SwappedAxes() const;                        // the display's axes are swapped
  void MapPos(int32_t& x, int32_t& y) const;       // virtual -> physical in this storage
  void MapRect(tagRECT& rect) const;               // virtual -> physical in this storage
  void UnMapRect(tagRECT& rect) const;             // physical -> virtual in this storage
  void WholeSurface(tagRECT& rect) const;          // the physical storage rectangle
  uint32_t BytesPerPixel() const { return bitsperpixel >> 3; }
  uint32_t RowBytes() const { return rowlength * BytesPerPixel(); }
  uint8_t* PixelAt(int32_t x, int32_t y) const;    // physical position in the pixel memory, no checks
  int AllocPixels(uint64_t bytes);                 // pixel memory from the module list (plain without one); 0 or 2
  void FreePixels();                               // releases the pixel memory where it came from
  // Loading shared by the surface kinds: the type check, the display's
  // loaders in slot order, the whole-file read, and the palette stream.
  int OfferToLoaders(const void* data, uint32_t size, uint8_t type, uint32_t flags);  // first loader that takes it
  int OfferFileToLoaders(const char16_t* name, uint8_t type, uint32_t flags);        // reads the file, then as above
  int StorePaletteStream(VLDR_2DCALLBACKINFO* info);  // entries from palettestart on; 10 past entry 255
  int AllocScanTables();                           // the four scan-line tables for this storage; 0 or 2
  void FreeScanTables();                           // releases them

  VCD* ecd = nullptr;                      // shared module record
  tagRECT clipper = {0, 0, 0, 0};          // physical, right and bottom exclusive
  uint32_t palette[256] = {};              // interface colours with alpha in bits 24-31
  int32_t texturehandle = -1;              // hardware texture (never on this target)
  uint32_t* tablemask = nullptr;           // hit-test mask (BuildTableMask)
  uint32_t rowlength = 0;                  // pixels per row: physical width raised to a multiple of 4
  uint32_t physheight = 0;                 // storage height
  uint32_t texturewidth = 0;               // hardware 3D only
  uint32_t textureheight = 0;              // hardware 3D only
  uint32_t physwidth = 0;                  // storage width (unaligned)
  uint32_t createflags = 0;                // bits 0-3 surface type, 8-15 video type override
  uint8_t videotype = 0;                   // VideoType
  uint8_t bitsperpixel = 0;                // 8, 16, 24 or 32
  uint8_t state = VSURF_STATE_NONE;        // VSURF_STATE_ in the low 4 bits
  uint16_t fontfirst = 32;                 // first character code of the font sheet
  uint16_t fontlast = 127;                 // last character code
  int32_t fontpaddingx = 0;                // added to every advance
  int32_t fontpaddingy = 0;                // added to every line advance
  int32_t fontperrow = 128;                // glyphs per sheet row
  uint8_t fontrows = 1;                    // glyph rows of the sheet (0 counts as 1)
  char16_t* fontcharset = nullptr;         // n-th character = n-th glyph (ClassVMemory::Alloc), may be null
  int16_t* scanleftx = nullptr;            // per scan row: leftmost x of the span
  int16_t* scanrightx = nullptr;           // per scan row: rightmost x of the span
  V2DSCANVALUES* scanleftvalues = nullptr; // per scan row: values at the left end
  V2DSCANVALUES* scanrightvalues = nullptr;// per scan row: values at the right end
  int32_t scanrows = 0;                    // rows of the four tables
  int32_t scanfirst = 0;                   // first row the last reset covered
  int32_t scanend = 0;                     // row after the last reset row
  int16_t* fonttable = nullptr;            // glyph table: (count + 1) x 4 values (ClassVMemory::Alloc)
  uint8_t* pixels = nullptr;               // pixel memory
  uint8_t* indexremap = nullptr;           // 256-byte index remap of an 8-bit load (ClassVMemory::Alloc)
  uint32_t colorkey = 0;                   // native pixel value
  int32_t lockcount = 0;                   // a record only; never blocks
  ClassVMemory* pixelowner = nullptr;      // the list the pixel memory came from (null: plain allocation)
};
