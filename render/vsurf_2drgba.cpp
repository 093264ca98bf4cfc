// vsurf_2drgba.cpp - the RGBA surface: creation and release, image loading
// through the display's loaders, pixel access in both storage modes, the
// hit-test mask by alpha, the loader callbacks and the per-row span table.
//
// Premultiplied colours are colour x (alpha + 1) / 256 per component, so an
// opaque pixel keeps its colour exactly and the blit's "source plus
// destination x (255 - alpha) / 256" weighs the two sides to a sum of one,
// as the straight blend does. Depends on: the display (loaders,
// orientation), the memory and file modules, the loader record.
#include "render/vsurf_2drgba.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "render/vmod_dsp.h"
#include "resources/loaders/vldr_base.h"
#include "resources/vmod_file.h"
#include "util/vmod_memory.h"

namespace {

constexpr uint32_t TYPE_RGBA = 1;  // the surface type bits an RGBA surface always has

uint32_t Component(uint32_t c, int index) { return (c >> (8 * index)) & 0xFF; }

// Each component x (alpha + 1) / 256; an index has no components.
uint32_t Premultiply(uint8_t videotype, uint32_t c, uint32_t alpha) {
  if (videotype == VideoType::Indexed8) return c;
  uint32_t out = 0;
  for (int i = 0; i < 3; i++) out |= ((Component(c, i) * (alpha + 1)) >> 8) << (8 * i);
  return out;
}

// The inverse: each component x 256 / (alpha + 1), at most 255.
uint32_t Unpremultiply(uint8_t videotype, uint32_t c, uint32_t alpha) {
  if (videotype == VideoType::Indexed8) return c;
  uint32_t out = 0;
  for (int i = 0; i < 3; i++) {
    const uint32_t v = Component(c, i) * 256 / (alpha + 1);
    out |= (v < 255 ? v : 255) << (8 * i);
  }
  return out;
}

// The native colour bits a pixel keeps (an index is one byte).
uint32_t NativeMask(uint8_t videotype) { return videotype == VideoType::Indexed8 ? 0xFF : 0xFFFFFF; }

uint32_t StoredAt(const uint8_t* row, uint32_t x) {
  uint32_t stored;
  std::memcpy(&stored, row + size_t(x) * 4, 4);
  return stored;
}

bool IsVisible(uint32_t stored, bool premultiplied) {
  const uint32_t alphabyte = stored >> 24;
  return premultiplied ? alphabyte != 255 : alphabyte != 0;
}

bool IsOpaque(uint32_t stored, bool premultiplied) { return (stored >> 24) == (premultiplied ? 0u : 255u); }

}  // namespace

V2DSurfaceRGBA::~V2DSurfaceRGBA() { Free(); }

// --- creation and release ------------------------------------------------------------

int V2DSurfaceRGBA::Create(int32_t width, int32_t height, uint8_t type, uint32_t flags) {
  // Sides beyond 16 bits would wrap in the scan-line and span tables.
  if (width <= 0 || height <= 0 || width > VSURF_MAXSIDE || height > VSURF_MAXSIDE) return VSURF_INVALID;
  flags = (flags & ~VSURF_TYPEMASK) | TYPE_RGBA;
  const uint8_t override = uint8_t(flags >> 8);
  if (override) type = override;
  if (IsCreated() && createflags == flags && videotype == type && GetWidth() == width && GetHeight() == height) {
    Clear(0);
    return VSURF_OK;
  }
  Free();
  if (BitsPerPixel(type) == 0) return VSURF_NOTCREATED;
  createflags = flags;
  videotype = type;
  bitsperpixel = 32;
  if (SwappedAxes()) std::swap(width, height);
  physwidth = uint32_t(width);
  physheight = uint32_t(height);
  rowlength = (physwidth + 3) & ~3u;
  int result = AllocPixels(uint64_t(rowlength) * physheight * 4);
  if (result == VSURF_OK) result = Init();
  if (result != VSURF_OK) {
    Free();
    return result;
  }
  state = uint8_t((flags & 0xF0) | VSURF_STATE_PIXELS);
  Clear(0);
  return VSURF_OK;
}

int V2DSurfaceRGBA::Init() {
  for (uint32_t& entry : palette) entry = 0;
  WholeSurface(clipper);
  ClassVMemory::DeAlloc(rowspans);
  rowspans = static_cast<V2DRGBASPAN*>(ClassVMemory::Alloc(physheight * sizeof(V2DRGBASPAN)));
  spansvalid = false;
  if (!rowspans) return VSURF_NOMEMORY;
  return AllocScanTables();
}

void V2DSurfaceRGBA::Free() {
  lockcount = 0;
  if (texturehandle != -1) {
    if (ClassVDisplay* display = Display()) display->ReleaseTextureHandle(this);
    texturehandle = -1;
  }
  FreePixels();
  DropMask();
  FreeScanTables();
  ClassVMemory::DeAlloc(rowspans);
  rowspans = nullptr;
  spansvalid = false;
  state = VSURF_STATE_NONE;
  physwidth = physheight = rowlength = 0;
  clipper = {0, 0, 0, 0};
}

int V2DSurfaceRGBA::LoadImage(const void* data, uint32_t size, uint8_t type, uint32_t flags) {
  return OfferToLoaders(data, size, type, flags);
}

int V2DSurfaceRGBA::LoadImage(const char16_t* name, uint8_t type, uint32_t flags) {
  return OfferFileToLoaders(name, type, flags);
}

// --- pixels ----------------------------------------------------------------------------

uint8_t* V2DSurfaceRGBA::Lock(V2DSURFACEINFO* info) {
  // Whoever locks may write: the spans cannot be trusted afterwards.
  spansvalid = false;
  return V2DSurfaceBase::Lock(info);
}

void V2DSurfaceRGBA::Clear(uint32_t) {
  if (!IsCreated() || !pixels) return;
  tagRECT r = clipper;
  if (ClipRect(&r)) {
    for (int32_t y = r.top; y < r.bottom; y++)
      ClassVMemory::Set32(PixelAt(r.left, y), ClearPattern(), uint32_t(r.right - r.left));
  }
  spansvalid = false;
  DropMask();
}

void V2DSurfaceRGBA::PutPixel(int32_t x, int32_t y, uint32_t colour, uint32_t alpha) {
  if (!IsCreated() || !pixels) return;
  MapPos(x, y);
  if (x < clipper.left || x >= clipper.right || y < clipper.top || y >= clipper.bottom) return;
  const uint32_t stored = (ColorToNative(videotype, colour) & NativeMask(videotype)) | ((alpha & 0xFF) << 24);
  std::memcpy(PixelAt(x, y), &stored, 4);
  spansvalid = false;
}

void V2DSurfaceRGBA::GetPixel(int32_t x, int32_t y, uint32_t& colour, uint32_t& alpha) const {
  MapPos(x, y);
  GetPixelV(x, y, colour, alpha);
}

void V2DSurfaceRGBA::GetPixelV(int32_t x, int32_t y, uint32_t& colour, uint32_t& alpha) const {
  colour = alpha = 0;
  if (!IsCreated() || !pixels) return;
  if (x < clipper.left || x >= clipper.right || y < clipper.top || y >= clipper.bottom) return;
  StoredToColor(videotype, IsPremultiplied(), StoredAt(PixelAt(x, y), 0), colour, alpha);
}

void V2DSurfaceRGBA::StoredToColor(uint8_t type, bool premultiplied, uint32_t stored, uint32_t& colour,
                                   uint32_t& alpha) {
  const uint32_t native = stored & NativeMask(type);
  if (!premultiplied) {
    alpha = stored >> 24;
    colour = NativeToColor(type, native);
    return;
  }
  alpha = 255 - (stored >> 24);
  colour = alpha == 0 ? 0 : Unpremultiply(type, NativeToColor(type, native), alpha);
}

int V2DSurfaceRGBA::BuildTableMask(uint32_t threshold) {
  DropMask();
  if (!IsCreated() || !pixels) return VSURF_NOTCREATED;
  const uint32_t words = (physwidth + 31) / 32;
  tablemask = static_cast<uint32_t*>(ClassVMemory::Alloc(words * physheight * 4));
  if (!tablemask) return VSURF_NOMEMORY;
  const bool premultiplied = IsPremultiplied();
  for (uint32_t y = 0; y < physheight; y++) {
    uint32_t* row = tablemask + size_t(y) * words;
    for (uint32_t w = 0; w < words; w++) row[w] = 0;
    const uint8_t* pixelrow = PixelAt(0, int32_t(y));
    for (uint32_t x = 0; x < physwidth; x++) {
      const uint32_t alphabyte = StoredAt(pixelrow, x) >> 24;
      const uint32_t alpha = premultiplied ? 255 - alphabyte : alphabyte;
      if (alpha >= threshold) row[x / 32] |= 0x80000000u >> (x % 32);
    }
  }
  return VSURF_OK;
}

const V2DRGBASPAN* V2DSurfaceRGBA::GetRowSpans() {
  if (!IsCreated() || !pixels || !rowspans) return nullptr;
  if (!spansvalid || lockcount > 0) MeasureRowSpans();
  // Still locked by someone else: measure again next time.
  spansvalid = lockcount == 0;
  return rowspans;
}

// --- loader callbacks ---------------------------------------------------------------------

int V2DSurfaceRGBA::LdrOnCreate(VLDR_2DCALLBACKINFO* info) {
  if (!info) return VSURF_INVALID;
  const int32_t height = info->height > uint32_t(INT32_MAX) ? INT32_MAX : int32_t(info->height);
  return Create(info->width, height, info->displaytype, info->flags);
}

int V2DSurfaceRGBA::LdrOnPaletteStream(VLDR_2DCALLBACKINFO* info) { return StorePaletteStream(info); }

int V2DSurfaceRGBA::LdrOnPixelStream(VLDR_2DCALLBACKINFO* info) {
  if (!IsCreated() || !pixels) return VSURF_NOTCREATED;
  if (!info || !info->data) return VSURF_INVALID;
  const uint8_t* data = static_cast<const uint8_t*>(info->data);
  const uint32_t count = info->indexed ? info->length : info->length / 4;
  const bool dither = (info->flags & VLDR_FLAG_DITHER) != 0;
  const int64_t width = GetWidth(), height = GetHeight(), start = info->offset;
  for (uint32_t i = 0; i < count; i++) {
    const int64_t position = start + i;
    if (position < 0) continue;
    if (position / width >= height) break;
    uint32_t colour;
    if (info->indexed) {
      colour = palette[data[i]];
      // An indexed surface keeps the index, with the entry's alpha.
      if (videotype == VideoType::Indexed8) colour = (colour & 0xFF000000u) | data[i];
    } else {
      std::memcpy(&colour, data + size_t(i) * 4, 4);
    }
    StreamPixel(int32_t(position % width), int32_t(position / width), colour, dither);
  }
  const int64_t next = start + count;
  info->offset = next > INT32_MAX ? INT32_MAX : int32_t(next);
  return VSURF_OK;
}

// --- private ---------------------------------------------------------------------------

uint32_t V2DSurfaceRGBA::ClearPattern() const {
  return IsPremultiplied() ? V2DRGBA_CLEAR_PREMULTIPLIED : V2DRGBA_CLEAR_STRAIGHT;
}

void V2DSurfaceRGBA::StreamPixel(int32_t x, int32_t y, uint32_t colour, bool dither) {
  uint32_t alpha = colour >> 24, c = colour & 0xFFFFFF;
  if (dither) c = DitherColor(videotype, c, x + y);
  if (IsPremultiplied()) {
    c = Premultiply(videotype, c, alpha);
    alpha = 255 - alpha;
  }
  PutPixel(x, y, c, alpha);
}

void V2DSurfaceRGBA::MeasureRowSpans() {
  const bool premultiplied = IsPremultiplied();
  for (uint32_t y = 0; y < physheight; y++) {
    const uint8_t* row = PixelAt(0, int32_t(y));
    uint32_t first = 0, end = physwidth;
    while (first < end && !IsVisible(StoredAt(row, first), premultiplied)) first++;
    while (end > first && !IsVisible(StoredAt(row, end - 1), premultiplied)) end--;
    uint32_t solidfirst = first, solidend = first;
    for (uint32_t x = first; x < end;) {
      uint32_t runend = x;
      while (runend < end && IsOpaque(StoredAt(row, runend), premultiplied)) runend++;
      if (runend - x > solidend - solidfirst) solidfirst = x, solidend = runend;
      x = runend + 1;
    }
    rowspans[y] = {uint16_t(first), uint16_t(end), uint16_t(solidfirst), uint16_t(solidend)};
  }
}

void V2DSurfaceRGBA::DropMask() {
  ClassVMemory::DeAlloc(tablemask);
  tablemask = nullptr;
}
