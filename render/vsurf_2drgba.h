// vsurf_2drgba.h - the RGBA surface: an image with an alpha byte per pixel,
// loaded from images that carry transparency and drawn into an ordinary
// surface with the RGBA form of V2DSurface::BltFast, which blends every pixel
// by its own alpha. It is never a blit target itself.
//
// Pixels are 32 bits: the colour in the surface's video type's native format
// in bits 0-23, the alpha byte in bits 24-31. Two storage modes, chosen by
// V2DRGBA_PREMULTIPLIED in the creation flags:
//   straight        alpha byte = alpha (255 opaque), colour bits = the colour;
//   premultiplied   alpha byte = 255 - alpha, colour bits = colour x alpha.
// Cleared pixels are invisible in both: 0 and 0xFFFFFFFF.
//
// A per-row span table (the columns that hold any visible pixel, and the
// longest opaque run among them) lets the blit skip transparent surroundings
// and copy the opaque body without a test per pixel; it is measured again
// after the pixels changed (PutPixel, a load, a Lock for writing).
//
// Source: vsurf_2drgba.cpp. Depends on: render/vsurf_2dbase.h, the display
// (orientation, loaders), the memory and file modules.
#pragma once

#include <cstdint>

#include "render/vsurf_2dbase.h"

constexpr uint32_t V2DRGBA_PREMULTIPLIED = 0x20;  // creation flag and state bit: premultiplied storage
constexpr uint32_t V2DRGBA_CLEAR_STRAIGHT = 0;               // invisible black
constexpr uint32_t V2DRGBA_CLEAR_PREMULTIPLIED = 0xFFFFFFFF;  // alpha byte 255: invisible

// The physical columns [first, end) of one row that hold visible pixels
// (first == end for a row with none), and inside them the longest run of
// opaque pixels [solidfirst, solidend) (empty when there is none).
struct V2DRGBASPAN {
  uint16_t first;
  uint16_t end;
  uint16_t solidfirst;
  uint16_t solidend;
};

class V2DSurfaceRGBA : public V2DSurfaceBase {
 public:
  V2DSurfaceRGBA() = default;
  ~V2DSurfaceRGBA() override;                                      // Free

  // Creation and release.
  int Create(int32_t width, int32_t height, uint8_t videotype, uint32_t flags); // 0, 1 bad type, 2 memory, 4 bad size
  int Init();                                                      // palette, clipper, scan and span tables; 0 or 2
  void Free();                                                     // releases everything; safe twice
  int LoadImage(const void* data, uint32_t size, uint8_t videotype, uint32_t flags); // asks the display's loaders
  int LoadImage(const char16_t* name, uint8_t videotype, uint32_t flags);             // reads the file, then as above
  bool IsPremultiplied() const { return (state & V2DRGBA_PREMULTIPLIED) != 0; }

  // Pixels (virtual coordinates unless the name ends in V).
  uint8_t* Lock(V2DSURFACEINFO* info);                             // as the base; the spans are measured again
  void Clear(uint32_t colour);                                     // clear pattern inside the clipper (colour unused)
  void PutPixel(int32_t x, int32_t y, uint32_t colour, uint32_t alpha);          // stored as given, inside the clipper
  void GetPixel(int32_t x, int32_t y, uint32_t& colour, uint32_t& alpha) const;  // straight colour and alpha; 0 outside
  void GetPixelV(int32_t x, int32_t y, uint32_t& colour, uint32_t& alpha) const; // physical position; 0 outside
  int BuildTableMask(uint32_t threshold);                          // bit set where alpha >= threshold; 0, 1 or 2
  const uint32_t* GetTableMask() const { return tablemask; }       // rows of ceil(physical width / 32) words
  const V2DRGBASPAN* GetRowSpans();                                // one per physical row; null when not created
  static void StoredToColor(uint8_t videotype, bool premultiplied, uint32_t stored, uint32_t& colour,
                            uint32_t& alpha);                      // a stored pixel -> straight colour and alpha

  // Loader callbacks.
  int LdrOnCreate(VLDR_2DCALLBACKINFO* info) override;             // Create with the image's size, type and flags
  int LdrOnPaletteStream(VLDR_2DCALLBACKINFO* info) override;      // palette entries; 10 past entry 255
  int LdrOnPixelStream(VLDR_2DCALLBACKINFO* info) override;        // one run through PutPixel; 1 no pixels

 private:
  uint32_t ClearPattern() const;                                   // the invisible pixel of the storage mode
  void StreamPixel(int32_t x, int32_t y, uint32_t colour, bool dither); // a loaded colour with alpha in 24-31
  void MeasureRowSpans();                                          // the span table from the pixels
  void DropMask();                                                 // frees the hit-test mask

  V2DRGBASPAN* rowspans = nullptr;  // one per physical row (ClassVMemory::Alloc)
  bool spansvalid = false;          // rowspans match the pixels
};
