// vsurf_2d.cpp - the surface core: creation and release, image loading
// through the display's loaders, the colour key, colour replacement, the
// hit-test mask and the hand-off to the BMP writer.
//
// Depends on: the display (loaders, orientation), the memory module (pixel
// memory and file buffers), the file module (LoadImage from a file).
#include "render/vsurf_2d.h"

#include <cstddef>
#include <cstdint>
#include <utility>

#include "render/vmod_dsp.h"
#include "render/vsurf_2d_pixel.h"
#include "resources/loaders/vldr_base.h"
#include "resources/loaders/vldr_bmp.h"
#include "resources/vmod_file.h"
#include "util/vmod_memory.h"

namespace {

constexpr uint8_t DEFAULT_SURFACETYPE = 1;  // without a configuration
constexpr int32_t BMPNAME_LOCAL = 256;      // WriteBmp widens shorter 8-bit names locally

}  // namespace

V2DSurface::~V2DSurface() { Free(); }

// --- creation and release ------------------------------------------------------------

int V2DSurface::Create(int32_t width, int32_t height, uint8_t type, uint32_t flags) {
  if ((flags & VSURF_TYPEMASK) == 0) {
    uint8_t fallback = ecd && ecd->config ? ecd->config->surfacetype : DEFAULT_SURFACETYPE;
    flags |= fallback & VSURF_TYPEMASK;
  }
  // Sides beyond 16 bits would wrap in the scan-line tables.
  if ((flags & VSURF_TYPEMASK) > VSURF_MAXTYPE || width <= 0 || height <= 0 || width > VSURF_MAXSIDE ||
      height > VSURF_MAXSIDE)
    return VSURF_INVALID;
  uint8_t override = uint8_t(flags >> 8);
  if (override) type = override;
  if (SameCreation(width, height, type, flags)) {
    Clear(0);
    return VSURF_OK;
  }
  Free();
  createflags = flags;
  if ((flags & VSURF_TYPEMASK) == 0) return VSURF_OK;
  uint8_t bits = BitsPerPixel(type);
  if (bits == 0) return VSURF_NOTCREATED;
  videotype = type;
  bitsperpixel = bits;
  if (SwappedAxes()) std::swap(width, height);
  physwidth = uint32_t(width);
  physheight = uint32_t(height);
  rowlength = (physwidth + 3) & ~3u;
  uint64_t bytes = uint64_t(rowlength) * physheight * (bits / 8);
  int result = AllocPixels(bytes);
  if (result == VSURF_OK) result = Init();
  if (result != VSURF_OK) {
    Free();
    return result;
  }
  state = VSURF_STATE_PIXELS;
  Clear(0);
  return VSURF_OK;
}

int V2DSurface::Init() {
  for (uint32_t& entry : palette) entry = 0;
  WholeSurface(clipper);
  fontfirst = 32;
  fontlast = 127;
  fontpaddingx = fontpaddingy = 0;
  fontperrow = 128;
  fontrows = 1;
  return AllocScanTables();
}

void V2DSurface::Free() {
  lockcount = 0;
  if (texturehandle != -1) {
    if (ClassVDisplay* display = Display()) display->ReleaseTextureHandle(this);
    texturehandle = -1;
  }
  FreePixels();
  ClassVMemory::DeAlloc(fontcharset);
  fontcharset = nullptr;
  DropDrawTables();
  FreeScanTables();
  ClassVMemory::DeAlloc(indexremap);
  indexremap = nullptr;
  state = VSURF_STATE_NONE;
  physwidth = physheight = rowlength = 0;
  clipper = {0, 0, 0, 0};
}

int V2DSurface::LoadImage(const void* data, uint32_t size, uint8_t type, uint32_t flags) {
  return OfferToLoaders(data, size, type, flags);
}

int V2DSurface::LoadImage(const char16_t* name, uint8_t type, uint32_t flags) {
  return OfferFileToLoaders(name, type, flags);
}

bool V2DSurface::SameCreation(int32_t width, int32_t height, uint8_t type, uint32_t flags) const {
  return IsCreated() && (state & 0x0F) != VSURF_STATE_HIDDEN && createflags == flags && videotype == type &&
         GetWidth() == width && GetHeight() == height;
}

void V2DSurface::DropDrawTables() {
  ClassVMemory::DeAlloc(fonttable);
  fonttable = nullptr;
  ClassVMemory::DeAlloc(tablemask);
  tablemask = nullptr;
}

// --- colour key -------------------------------------------------------------------------

void V2DSurface::SetColorKey(uint32_t colour) {
  colorkey = ColorToNative(videotype, colour);
  if (videotype == VideoType::Indexed8) colorkey &= 0xFF;
}

uint32_t V2DSurface::GetColorKey() const { return NativeToColor(videotype, colorkey); }

uint32_t V2DSurface::AutoSetColorKey(int32_t x, int32_t y) {
  uint32_t colour = GetPixel(x, y);
  SetColorKey(colour);
  return colour;
}

// --- whole-surface operations -------------------------------------------------------

void V2DSurface::Clear(uint32_t colour) {
  FillRectV(nullptr, colour, 0, 0, false);
  DropDrawTables();
}

void V2DSurface::ReplaceColor(uint32_t from, uint32_t to, bool invert) {
  if (!IsCreated() || !pixels) return;
  tagRECT r = clipper;
  if (!ClipRect(&r)) return;
  uint32_t nativefrom = ColorToNative(videotype, from), nativeto = ColorToNative(videotype, to);
  if (videotype == VideoType::Indexed8) nativefrom &= 0xFF, nativeto &= 0xFF;
  uint8_t* first = PixelAt(r.left, r.top);
  int32_t width = r.right - r.left, height = r.bottom - r.top;
  if (invert) {
    vsurf::RewriteRect(first, RowBytes(), BytesPerPixel(), width, height,
                       [=](uint32_t p) { return p == nativeto ? p : nativefrom; });
  } else {
    vsurf::RewriteRect(first, RowBytes(), BytesPerPixel(), width, height,
                       [=](uint32_t p) { return p == nativefrom ? nativeto : p; });
  }
}

int V2DSurface::BuildTableMask(uint32_t threshold) {
  ClassVMemory::DeAlloc(tablemask);
  tablemask = nullptr;
  if (!IsCreated() || !pixels) return VSURF_NOTCREATED;
  const uint32_t words = (physwidth + 31) / 32;
  tablemask = static_cast<uint32_t*>(ClassVMemory::Alloc(words * physheight * 4));
  if (!tablemask) return VSURF_NOMEMORY;
  const uint32_t bytes = BytesPerPixel();
  for (uint32_t y = 0; y < physheight; y++) {
    uint32_t* row = tablemask + size_t(y) * words;
    for (uint32_t w = 0; w < words; w++) row[w] = 0;
    const uint8_t* p = PixelAt(0, int32_t(y));
    for (uint32_t x = 0; x < physwidth; x++, p += bytes) {
      uint32_t native = vsurf::LoadPixel(p, bytes);
      if (native == colorkey) continue;
      // An index is as bright as its palette colour.
      uint32_t c = videotype == VideoType::Indexed8 ? palette[native] : NativeToColor(videotype, native);
      uint32_t brightness = ((c & 0xFF) + ((c >> 8) & 0xFF) + ((c >> 16) & 0xFF)) / 3;
      if (brightness >= threshold) row[x / 32] |= 0x80000000u >> (x % 32);
    }
  }
  return VSURF_OK;
}

int V2DSurface::WriteBmp(const char* name, const tagRECT* rect) {
  V2DWideName wide(name, BMPNAME_LOCAL);
  if (!wide.Get()) return name ? VSURF_NOMEMORY : VSURF_NOTCREATED;
  return WriteBmp(wide.Get(), rect);
}

int V2DSurface::WriteBmp(const char16_t* name, const tagRECT* rect) {
  if (!name || !IsCreated()) return VSURF_NOTCREATED;
  const tagRECT whole = {0, 0, GetWidth(), GetHeight()};
  const tagRECT& area = rect ? *rect : whole;
  // Sides measured in 64 bits, so that no pixel position of the area can wrap.
  const int64_t width = int64_t(area.right) - area.left, height = int64_t(area.bottom) - area.top;
  if (width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX) return VSURF_INVALID;
  ClassVFile file;
  if (ecd && ecd->file) file.SetCurrentFolder(ecd->file->GetCurrentFolder());
  if (!file.New(name)) return VSURF_NOTCREATED;
  VLoader_BMP writer;
  int result = writer.WriteHeader(&file, int32_t(width), int32_t(height));
  if (result == VSURF_OK) result = writer.WritePixelData(&file, this, &area);
  file.Close();
  return result;
}
