// vsurf_2dbase.cpp - the surface base: colour conversions, the shared draw
// flag rules, size and lock, the clipper, the orientation mapping through the
// display, and the allocation of pixel memory and scan-line tables.
//
// Depends on: the display (orientation), the memory module, vmod_std.
#include "render/vsurf_2dbase.h"

#include <cstddef>
#include <cstdint>

#include <cstring>

#include "render/vmod_dsp.h"
#include "render/vsurf_load.h"
#include "resources/loaders/vldr_base.h"
#include "resources/vmod_file.h"
#include "util/vmod_memory.h"
#include "util/vmod_std.h"

namespace {

// Opacity bits a format keeps: the 16-bit formats blend with a 5-bit
// weight, Rgb444 with a 4-bit one.
uint32_t OpacityPrecisionMask(uint8_t videotype) {
  switch (videotype) {
    case VideoType::Rgb444: return 0xF0;
    case VideoType::Rgb555:
    case VideoType::Rgb565: return 0xF8;
    default: return 0xFF;
  }
}

// Red and blue change places between the interface and the 24/32-bit layout.
uint32_t SwapRedBlue(uint32_t c) { return (c & 0xFF00) | ((c >> 16) & 0xFF) | ((c & 0xFF) << 16); }

int32_t ClampTo(int32_t v, int32_t low, int32_t high) { return v < low ? low : (v > high ? high : v); }

}  // namespace

// --- V2DWideName ---------------------------------------------------------------

V2DWideName::V2DWideName(const char* name, int32_t localsize) {
  if (!name) return;
  int32_t length = ClassVStd::StrLen(name);
  if (localsize > LOCALMAX) localsize = LOCALMAX;
  if (length < localsize) {
    ClassVStd::StrCpy(local, name, length + 1);
    wide = local;
    return;
  }
  heap = static_cast<char16_t*>(ClassVMemory::Alloc(uint32_t(length + 1) * sizeof(char16_t)));
  if (!heap) return;
  ClassVStd::StrCpy(heap, name, length + 1);
  wide = heap;
}

V2DWideName::~V2DWideName() { ClassVMemory::DeAlloc(heap); }

// --- conversions and draw rules ---------------------------------------------

uint32_t V2DSurfaceBase::NativeToColor(uint8_t videotype, uint32_t n) {
  uint32_t red, green, blue;
  switch (videotype) {
    case VideoType::Rgb444:
      red = ((n >> 8) & 0xF) << 4, green = ((n >> 4) & 0xF) << 4, blue = (n & 0xF) << 4;
      break;
    case VideoType::Rgb555:
      red = ((n >> 10) & 0x1F) << 3, green = ((n >> 5) & 0x1F) << 3, blue = (n & 0x1F) << 3;
      break;
    case VideoType::Rgb565:
      red = ((n >> 11) & 0x1F) << 3, green = ((n >> 5) & 0x3F) << 2, blue = (n & 0x1F) << 3;
      break;
    case VideoType::Rgb888:
    case VideoType::Xrgb8888: return SwapRedBlue(n) & 0xFFFFFF;
    default: return n;
  }
  return red | (green << 8) | (blue << 16);
}

uint8_t V2DSurfaceBase::BitsPerPixel(uint8_t videotype) {
  switch (videotype) {
    case VideoType::Indexed8: return 8;
    case VideoType::Rgb444:
    case VideoType::Rgb555:
    case VideoType::Rgb565: return 16;
    case VideoType::Rgb888: return 24;
    case VideoType::Xrgb8888: return 32;
    default: return 0;
  }
}

bool V2DSurfaceBase::ResolveDrawFlags(uint8_t videotype, uint32_t& flags, uint32_t& opacity) {
  const uint32_t both = BlitFlags::Additive | BlitFlags::Subtractive;
  if ((flags & both) == both) flags &= ~both;
  if (!(flags & BlitFlags::Opacity)) return true;
  if (opacity >= 255) {
    flags &= ~BlitFlags::Opacity;
    return true;
  }
  opacity &= OpacityPrecisionMask(videotype);
  return opacity != 0;
}

uint32_t V2DSurfaceBase::OpacityOfValue(uint32_t flags, uint32_t value) {
  return (flags & (BlitFlags::ColorFill | BlitFlags::Tint)) ? value >> 24 : value;
}

// --- object ------------------------------------------------------------------------

V2DSurfaceBase::V2DSurfaceBase() = default;

V2DSurfaceBase::~V2DSurfaceBase() = default;

int V2DSurfaceBase::LdrOnCreate(VLDR_2DCALLBACKINFO*) { return VSURF_NOLOADER; }
int V2DSurfaceBase::LdrOnPaletteStream(VLDR_2DCALLBACKINFO*) { return VSURF_NOLOADER; }
int V2DSurfaceBase::LdrOnPixelStream(VLDR_2DCALLBACKINFO*) { return VSURF_NOLOADER; }

void V2DSurfaceBase::LinkECD(VCD* vcd) { ecd = vcd; }

// --- loading -------------------------------------------------------------------------

VSurfWholeFile::~VSurfWholeFile() {
  if (memory) memory->DeAllocList(data);
  else ClassVMemory::DeAlloc(data);
}

int VSurfWholeFile::Read(const char16_t* name, ClassVFile* folder) {
  ClassVFile file;
  if (folder) file.SetCurrentFolder(folder->GetCurrentFolder());
  if (!name || !file.Open(name, VFILE_MODE_READ)) return VSURF_NOTCREATED;
  size = file.Size();
  if (size == 0) return VSURF_NOTCREATED;
  data = memory ? memory->AllocList(size) : ClassVMemory::Alloc(size);
  if (!data) return VSURF_NOMEMORY;
  return file.Read(data, size) ? VSURF_OK : VSURF_NOTCREATED;
}

int V2DSurfaceBase::OfferToLoaders(const void* data, uint32_t size, uint8_t type, uint32_t flags) {
  if ((flags & VSURF_TYPEMASK) > VSURF_MAXTYPE) return VSURF_INVALID;
  const int result = VSurf_OfferToLoaders(Display(), this, data, size, type, flags);
  lockcount = 0;
  return result;
}

int V2DSurfaceBase::OfferFileToLoaders(const char16_t* name, uint8_t type, uint32_t flags) {
  if ((flags & VSURF_TYPEMASK) > VSURF_MAXTYPE) return VSURF_INVALID;
  VSurfWholeFile file(ecd ? ecd->memory : nullptr);
  int result = file.Read(name, ecd ? ecd->file : nullptr);
  if (result != VSURF_OK) return result;
  return OfferToLoaders(file.data, file.size, type, flags);
}

int V2DSurfaceBase::StorePaletteStream(VLDR_2DCALLBACKINFO* info) {
  if (!info || !info->data) return VSURF_INVALID;
  if (info->palettestart > 255) return VSURF_NOTHING;
  uint32_t count = info->length / 4;
  if (count > 256 - info->palettestart) count = 256 - info->palettestart;
  std::memcpy(palette + info->palettestart, info->data, count * 4);
  info->palettestart += count;
  return VSURF_OK;
}

bool V2DSurfaceBase::IsCreated() const { return (state & 0x0F) != VSURF_STATE_NONE; }

int32_t V2DSurfaceBase::GetWidth() const {
  if (!IsCreated()) return 0;
  return int32_t(SwappedAxes() ? physheight : physwidth);
}

int32_t V2DSurfaceBase::GetHeight() const {
  if (!IsCreated()) return 0;
  return int32_t(SwappedAxes() ? physwidth : physheight);
}

uint8_t* V2DSurfaceBase::Lock(V2DSURFACEINFO* info) {
  if (!IsCreated() || (state & 0x0F) == VSURF_STATE_HIDDEN || !pixels) return nullptr;
  if (info) GetInfo(info);
  lockcount++;
  return pixels;
}

void V2DSurfaceBase::Unlock() {
  if (lockcount > 0) lockcount--;
}

int V2DSurfaceBase::GetInfo(V2DSURFACEINFO* info) const {
  if (!info) return 0;
  *info = V2DSURFACEINFO{};
  info->videotype = videotype;
  info->bitsperpixel = bitsperpixel;
  if (!IsCreated()) return 1;
  const ClassVDisplay* display = Display();
  int32_t xdir = display ? display->GetXDirection() : 1;
  int32_t ydir = display ? display->GetYDirection() : 1;
  int32_t bytes = int32_t(BytesPerPixel()), row = int32_t(RowBytes());
  if (SwappedAxes()) {
    info->xstep = row * ydir;
    info->ystep = bytes * xdir;
  } else {
    info->xstep = bytes * xdir;
    info->ystep = row * ydir;
  }
  int32_t x = 0, y = 0;
  MapPos(x, y);
  info->rowbytes = uint32_t(row);
  info->origin = uint32_t(int64_t(x) * bytes + int64_t(y) * row);
  info->width = uint32_t(GetWidth());
  info->height = uint32_t(GetHeight());
  info->physwidth = physwidth;
  info->physheight = physheight;
  return 1;
}

void V2DSurfaceBase::GetPalette(uint32_t* colours, int32_t first, int32_t count) const {
  if (!colours || first < 0 || count <= 0) return;
  for (int32_t i = first; i < 256 && i - first < count; i++) colours[i - first] = palette[i];
}

void V2DSurfaceBase::SetClipper(const tagRECT* rect) {
  if (!IsCreated()) return;
  if (!rect) {
    WholeSurface(clipper);
    return;
  }
  tagRECT r = *rect;
  MapRect(r);
  // All four edges into the surface; an inverted rectangle becomes empty.
  r.left = ClampTo(r.left, 0, int32_t(physwidth));
  r.right = ClampTo(r.right, r.left, int32_t(physwidth));
  r.top = ClampTo(r.top, 0, int32_t(physheight));
  r.bottom = ClampTo(r.bottom, r.top, int32_t(physheight));
  clipper = r;
}

void V2DSurfaceBase::GetClipper(tagRECT* rect) const {
  if (!rect) return;
  *rect = clipper;
  UnMapRect(*rect);
}

int V2DSurfaceBase::ClipRect(tagRECT* rect) const {
  if (!rect || rect->right <= rect->left || rect->bottom <= rect->top) return 0;
  if (rect->left >= clipper.right || rect->right <= clipper.left || rect->top >= clipper.bottom ||
      rect->bottom <= clipper.top)
    return 0;
  if (rect->left < clipper.left) rect->left = clipper.left;
  if (rect->top < clipper.top) rect->top = clipper.top;
  if (rect->right > clipper.right) rect->right = clipper.right;
  if (rect->bottom > clipper.bottom) rect->bottom = clipper.bottom;
  return rect->right > rect->left && rect->bottom > rect->top;
}

// --- orientation ---------------------------------------------------------------------

ClassVDisplay* V2DSurfaceBase::Display() const { return ecd ? ecd->display : nullptr; }

bool V2DSurfaceBase::SwappedAxes() const {
  const ClassVDisplay* display = Display();
  return display && display->AxesSwapped();
}

void V2DSurfaceBase::MapPos(int32_t& x, int32_t& y) const {
  if (const ClassVDisplay* display = Display()) display->VirtualPos(x, y, int32_t(physwidth), int32_t(physheight));
}

void V2DSurfaceBase::MapRect(tagRECT& rect) const {
  if (const ClassVDisplay* display = Display()) display->VirtualRect(rect, int32_t(physwidth), int32_t(physheight));
}

void V2DSurfaceBase::UnMapRect(tagRECT& rect) const {
  if (const ClassVDisplay* display = Display()) display->ReVirtualRect(rect, int32_t(physwidth), int32_t(physheight));
}

void V2DSurfaceBase::WholeSurface(tagRECT& rect) const { rect = {0, 0, int32_t(physwidth), int32_t(physheight)}; }

uint8_t* V2DSurfaceBase::PixelAt(int32_t x, int32_t y) const {
  return pixels + size_t(uint32_t(y)) * RowBytes() + size_t(uint32_t(x)) * BytesPerPixel();
}

// --- memory ----------------------------------------------------------------------------

int V2DSurfaceBase::AllocPixels(uint64_t bytes) {
  // The list allocator keeps a 4-byte slot header in front of each block.
  if (bytes == 0 || bytes > uint64_t(UINT32_MAX) - 4 || bytes > uint64_t(SIZE_MAX)) return VSURF_NOMEMORY;
  pixelowner = ecd ? ecd->memory : nullptr;
  void* block = pixelowner ? pixelowner->AllocList(uint32_t(bytes)) : ClassVMemory::Alloc(uint32_t(bytes));
  pixels = static_cast<uint8_t*>(block);
  return pixels ? VSURF_OK : VSURF_NOMEMORY;
}

void V2DSurfaceBase::FreePixels() {
  if (pixelowner) pixelowner->DeAllocList(pixels);
  else ClassVMemory::DeAlloc(pixels);
  pixels = nullptr;
  pixelowner = nullptr;
}

int V2DSurfaceBase::AllocScanTables() {
  FreeScanTables();
  uint32_t rows = physheight;
  if (SwappedAxes() && rowlength > rows) rows = rowlength;
  scanleftx = static_cast<int16_t*>(ClassVMemory::Alloc(rows * sizeof(int16_t)));
  scanrightx = static_cast<int16_t*>(ClassVMemory::Alloc(rows * sizeof(int16_t)));
  scanleftvalues = static_cast<V2DSCANVALUES*>(ClassVMemory::Alloc(rows * sizeof(V2DSCANVALUES)));
  scanrightvalues = static_cast<V2DSCANVALUES*>(ClassVMemory::Alloc(rows * sizeof(V2DSCANVALUES)));
  if (!scanleftx || !scanrightx || !scanleftvalues || !scanrightvalues) {
    FreeScanTables();
    return VSURF_NOMEMORY;
  }
  scanrows = int32_t(rows);
  return VSURF_OK;
}

void V2DSurfaceBase::FreeScanTables() {
  ClassVMemory::DeAlloc(scanleftx);
  ClassVMemory::DeAlloc(scanrightx);
  ClassVMemory::DeAlloc(scanleftvalues);
  ClassVMemory::DeAlloc(scanrightvalues);
  scanleftx = scanrightx = nullptr;
  scanleftvalues = scanrightvalues = nullptr;
  scanrows = scanfirst = scanend = 0;
}
