// vmod_dsp.cpp - the display: framebuffer probe and mapping, back buffer and
// conversion surface, the blit routine and light tables, Flip and BackFlip,
// the virtual coordinate mappings, surfaces and loaders, the palette with
// its 15-bit lookup, and the hardware 3D entry points (none on this target).
//
// Depends on: platform/platform.h (framebuffer, registers, Present), the
// device globals, the surfaces, the blit routine families, the memory and
// math modules.
#include "render/vmod_dsp.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

#include <linux/fb.h>
#include <sys/mman.h>

#include "platform/platform.h"
#include "render/vsurf_2d.h"
#include "render/vsurf_2drgba.h"
#include "render/vsurf_3d.h"
#include "resources/loaders/vldr_base.h"
#include "util/vmod_math.h"
#include "util/vmod_memory.h"

namespace {

constexpr int32_t COORD_LIMIT = 1 << 28;          // coordinates are clamped here before mapping
constexpr uint32_t VBLANK_BUSY = 0x10;            // register 0x1182 bit 4: not in the vertical blank
constexpr int32_t NAME_LOCAL = 512;               // CreateSurface widens shorter 8-bit names locally
constexpr int32_t LIGHT_DEFAULT_Z = -65536;       // -1.0: lights shine into the screen
constexpr uint32_t LIGHT0_ANGLECOLOR = 0xFFFFFF;  // light 0 is white

// Far-away coordinates stay far away, and no mirroring can overflow.
int32_t ClampCoord(int32_t v) { return v < -COORD_LIMIT ? -COORD_LIMIT : (v > COORD_LIMIT ? COORD_LIMIT : v); }

int32_t ClampTo(int32_t v, int32_t low, int32_t high) { return v < low ? low : (v > high ? high : v); }

void ClampRect(tagRECT& r) {
  r.left = ClampCoord(r.left), r.top = ClampCoord(r.top);
  r.right = ClampCoord(r.right), r.bottom = ClampCoord(r.bottom);
}

// All four edges into 0..width and 0..height; an inverted rectangle is empty.
void ClampInto(tagRECT& r, int32_t width, int32_t height) {
  r.left = ClampTo(r.left, 0, width);
  r.right = ClampTo(r.right, r.left, width);
  r.top = ClampTo(r.top, 0, height);
  r.bottom = ClampTo(r.bottom, r.top, height);
}

uint8_t DisplayModeOf(const fb_var_screeninfo& info) {
  switch (info.bits_per_pixel) {
    case 8: return VideoType::Indexed8;
    case 16: return info.green.length == 6 ? VideoType::Rgb565 : VideoType::Rgb555;
    case 24: return VideoType::Rgb888;
    case 32: return VideoType::Xrgb8888;
    default: return 0;
  }
}

// Palette lookup candidates: distinct colours of entries 1..255 as 5-bit
// components, in brightness order after one pass of adjacent exchanges.
struct CANDIDATE {
  uint8_t index;
  uint8_t red, green, blue;
  uint32_t key;
};

struct CANDIDATES {
  CANDIDATE entry[255];
  int count = 0;
};

void Reduce(uint32_t c, uint8_t& red, uint8_t& green, uint8_t& blue) {
  red = uint8_t((c & 0xFF) >> 3), green = uint8_t((c >> 11) & 0x1F), blue = uint8_t((c >> 19) & 0x1F);
}

void BuildCandidates(const uint32_t* palette, CANDIDATES& out) {
  uint32_t colours[255];
  out.count = 0;
  for (int i = 1; i < 256; i++) {
    uint32_t c = palette[i] & 0xFFFFFF;
    bool seen = false;
    for (int j = 0; j < out.count && !seen; j++) seen = colours[j] == c;
    if (seen) continue;
    CANDIDATE& k = out.entry[out.count];
    colours[out.count++] = c;
    k.index = uint8_t(i);
    Reduce(c, k.red, k.green, k.blue);
    k.key = ((c & 0xFF) + ((c >> 8) & 0xFF) + ((c >> 16) & 0xFF)) / 8;
  }
  for (int j = 0; j + 1 < out.count; j++) {
    if (out.entry[j].key > out.entry[j + 1].key) std::swap(out.entry[j], out.entry[j + 1]);
  }
  // A later candidate with the same 15-bit colour as an earlier one can never
  // win (ties go to the first), so the search may skip it.
  int kept = 0;
  for (int j = 0; j < out.count; j++) {
    bool same = false;
    for (int k = 0; k < kept && !same; k++) {
      same = out.entry[k].red == out.entry[j].red && out.entry[k].green == out.entry[j].green &&
             out.entry[k].blue == out.entry[j].blue;
    }
    if (!same) out.entry[kept++] = out.entry[j];
  }
  out.count = kept;
}

int Distance(int a, int b) { return a > b ? a - b : b - a; }

uint8_t Nearest(const CANDIDATES& c, int red, int green, int blue) {
  int best = 0, bestdistance = INT32_MAX;
  for (int j = 0; j < c.count && bestdistance != 0; j++) {
    int d = Distance(red, c.entry[j].red) + Distance(green, c.entry[j].green) + Distance(blue, c.entry[j].blue);
    if (d < bestdistance) best = j, bestdistance = d;
  }
  return c.entry[best].index;
}

}  // namespace

// --- palette lookup ------------------------------------------------------------------------

void VDisplay_CreatePaletteLookup(uint8_t* lookup, const uint32_t* palette) {
  CANDIDATES candidates;
  BuildCandidates(palette, candidates);
  for (uint32_t k = 0; k < VDSP_LOOKUPSIZE; k++) {
    lookup[k] = Nearest(candidates, int(k & 0x1F), int((k >> 5) & 0x1F), int((k >> 10) & 0x1F));
  }
}

// --- object ----------------------------------------------------------------------------------

ClassVDisplay::ClassVDisplay() = default;

ClassVDisplay::~ClassVDisplay() {
  Close();
  for (int slot = 0; slot < VDSP_LOADERSLOTS; slot++) {
    if (adopted[slot]) delete loaders[slot];
  }
}

// --- opening and closing ---------------------------------------------------------------

int ClassVDisplay::Open(void* window, VCD* vcd, uint8_t videotype, uint32_t width, uint32_t height,
                        bool fullscreen) {
  // Only a hardware 3D driver would use these; the modes come from the framebuffer.
  (void)window, (void)videotype, (void)width, (void)height, (void)fullscreen;
  Close();
  // Surfaces reach their orientation through the record's display.
  if (!vcd || !vcd->config || vcd->display != this) return 4;
  ecd = vcd;
  VEXACONFIG& config = *ecd->config;
  config.surfacetype &= VSURF_TYPEMASK;
  xdirection = ydirection = 1;
  swapped = false;
  suspended = false;
  int result = OpenGP2X();
  if (result != 0) {
    Close();
    return result;
  }
  config.orientation = rotation;
  uint8_t mode = config.videotype == VideoType::DisplayDefault ? displaymode : config.videotype;
  // No blit family works on 15 or 24 bits: such panels get a conversion surface.
  if (mode == VideoType::Rgb555) mode = VideoType::Rgb565;
  if (mode == VideoType::Rgb888) mode = VideoType::Xrgb8888;
  rendermode = mode;
  result = Initialize();
  if (result != 0) Close();
  return result;
}

int ClassVDisplay::OpenGP2X() {
  const int fd = vdeviceptr[VEXA_DEVICE_FB];
  fb_var_screeninfo info{};
  if (fd == 0 || Platform_Ioctl(fd, PLATFORM_FBIOGET_VSCREENINFO, &info) != 0) return 1;
  if (info.xres == 0 || info.yres == 0 || info.xres > uint32_t(VSURF_MAXSIDE) || info.yres > uint32_t(VSURF_MAXSIDE))
    return 1;
  xres = info.xres;
  yres = info.yres;
  bitsperpixel = info.bits_per_pixel;
  uint8_t code = ecd->config->orientation;
  if (code == DisplayRotation::System) code = systemrotation;
  if (code == DisplayRotation::Portrait) code = yres < xres ? DisplayRotation::ThreeQuarter : DisplayRotation::None;
  if (code == DisplayRotation::Landscape) code = xres < yres ? DisplayRotation::Quarter : DisplayRotation::None;
  if (code > DisplayRotation::ThreeQuarter) return 4;
  rotation = code;
  displaymode = DisplayModeOf(info);
  if (displaymode == 0) return 3;
  // The whole of every line, so a framebuffer with wider virtual lines is
  // never addressed past its mapping.
  linepixels = info.xres_virtual > xres ? info.xres_virtual : xres;
  uint64_t bytes = uint64_t(linepixels) * yres * (bitsperpixel / 8);
  if (bytes > UINT32_MAX) return 1;
  void* mapping = Platform_Mmap(size_t(bytes), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (mapping == MAP_FAILED) return 1;
  framebuffer = static_cast<uint8_t*>(mapping);
  framebufferbytes = uint32_t(bytes);
  ResolveOrientation();
  return 0;
}

void ClassVDisplay::ResolveOrientation() {
  swapped = rotation == DisplayRotation::Quarter || rotation == DisplayRotation::ThreeQuarter;
  xdirection = (rotation == DisplayRotation::Half || rotation == DisplayRotation::ThreeQuarter) ? -1 : 1;
  ydirection = (rotation == DisplayRotation::Quarter || rotation == DisplayRotation::Half) ? -1 : 1;
}

int ClassVDisplay::Initialize() {
  const VEXACONFIG& config = *ecd->config;
  // The storage of both surfaces is xres x yres whatever the orientation.
  int32_t width = int32_t(xres), height = int32_t(yres);
  if (swapped) std::swap(width, height);
  backbuffer.LinkECD(ecd);
  conversion.LinkECD(ecd);
  internalfont.LinkECD(ecd);
  if (rendermode == displaymode) {
    conversion.Free();
  } else if (conversion.Create(width, height, displaymode, uint32_t(displaymode) << 8) != 0 ||
             !conversion.IsCreated()) {
    return 1;
  }
  if (backbuffer.Create(width, height, rendermode, config.surfacetype) != 0 || !backbuffer.IsCreated()) return 1;
  if (!(config.dspflags & VEXA_DSPFLAG_NOFONT) && VDisplay_CreateInternalFont(this, &internalfont) != 0) return 1;

  blttable = new (std::nothrow) VDSPBLTTABLE();
  if (!blttable) return 2;
  // Each family fills its 130 BltFast and 2 BltFlip entries; the rest stay null.
  switch (rendermode) {
    case VideoType::Indexed8: VRender_Get_BltFast8(blttable->fast), VRender_Get_BltFlip8(blttable->flip); break;
    case VideoType::Rgb444: VRender_Get_BltFast12(blttable->fast), VRender_Get_BltFlip12(blttable->flip); break;
    case VideoType::Rgb565: VRender_Get_BltFast16(blttable->fast), VRender_Get_BltFlip16(blttable->flip); break;
    case VideoType::Xrgb8888: VRender_Get_BltFast32(blttable->fast), VRender_Get_BltFlip32(blttable->flip); break;
    default: break;
  }

  lights = new (std::nothrow) VDSPLIGHT[VDSP_LIGHTS];
  if (!lights) return 2;
  for (int i = 0; i < VDSP_LIGHTS; i++) lights[i] = {0, 0, 0, LIGHT_DEFAULT_Z, 0, i == 0 ? LIGHT0_ANGLECOLOR : 0};

  fliprect = {0, 0, int32_t(xres), int32_t(yres)};
  rendersize = int32_t(yres < xres ? yres : xres);
  if (config.dspflags & VEXA_DSPFLAG_BACKFLIP) BackFlip();
  ClassVMath::MatrixLoadIdentity(worldmatrix);
  return 0;
}

void ClassVDisplay::Close() {
  if (framebuffer) Platform_Munmap(framebuffer, framebufferbytes);
  framebuffer = nullptr;
  framebufferbytes = 0;
  delete[] lights;
  lights = nullptr;
  delete blttable;
  blttable = nullptr;
  ClassVMemory::DeAlloc(palettelookup);
  palettelookup = nullptr;
  lookupversion = 0;
  // The surfaces go with the display's opening: an owner may destroy the
  // memory module their blocks are listed in before it destroys the display.
  internalfont.Free();
  conversion.Free();
  backbuffer.Free();
  rendermode = 0;
}

void ClassVDisplay::Suspend() {
  if (IsOpen()) suspended = true;
}

void ClassVDisplay::Resume() {
  if (!IsOpen()) return;
  suspended = false;
  systemrotation = 0;
}

void ClassVDisplay::CheckDisplay() { systemrotation = 0; }

int32_t ClassVDisplay::GetWidth() const { return backbuffer.GetWidth(); }

int32_t ClassVDisplay::GetHeight() const { return backbuffer.GetHeight(); }

int ClassVDisplay::GetVideoMemory(uint32_t& total, uint32_t& free) const {
  total = free = 0;
  return 3;
}

void ClassVDisplay::SetRenderSize(int32_t size) { rendersize = size; }

// --- virtual coordinates ------------------------------------------------------------

void ClassVDisplay::VirtualPos(int32_t& x, int32_t& y, int32_t w, int32_t h) const {
  x = ClampCoord(x), y = ClampCoord(y);
  if (swapped) std::swap(x, y);
  if (xdirection < 0) x = w - x - 1;
  if (ydirection < 0) y = h - y - 1;
}

void ClassVDisplay::VirtualRect(tagRECT& r, int32_t w, int32_t h) const {
  ClampRect(r);
  if (swapped) std::swap(r.left, r.top), std::swap(r.right, r.bottom);
  if (xdirection < 0) r = {w - r.right, r.top, w - r.left, r.bottom};
  if (ydirection < 0) r = {r.left, h - r.bottom, r.right, h - r.top};
}

void ClassVDisplay::ReVirtualRect(tagRECT& r, int32_t w, int32_t h) const {
  ClampRect(r);
  if (xdirection < 0) r = {w - r.right, r.top, w - r.left, r.bottom};
  if (ydirection < 0) r = {r.left, h - r.bottom, r.right, h - r.top};
  if (swapped) std::swap(r.left, r.top), std::swap(r.right, r.bottom);
}

void ClassVDisplay::VirtualRectPos(int32_t& x, int32_t& y, tagRECT& rect, int32_t w, int32_t h, int32_t rw,
                                   int32_t rh) const {
  VirtualRectPos(x, y, rect, w, h, rw, rh, 0);
}

void ClassVDisplay::VirtualRectPos(int32_t& x, int32_t& y, tagRECT& rect, int32_t w, int32_t h, int32_t rw,
                                   int32_t rh, uint32_t angle) const {
  VirtualPos(x, y, w, h);
  VirtualRect(rect, rw, rh);
  // A quarter or three-quarter turn lays the block's width along y.
  const bool turned = (angle & 2047) != 0;
  const int32_t across = turned ? rect.top - rect.bottom : rect.left - rect.right;
  const int32_t down = turned ? rect.left - rect.right : rect.top - rect.bottom;
  if (xdirection < 0) x += across + 1;
  if (ydirection < 0) y += down + 1;
}

uint32_t ClassVDisplay::VirtualRotation(uint32_t angle) const {
  if (xdirection < 0) angle = 4096 - (angle & 4095);
  if (ydirection < 0) angle = 2048 - (angle & 4095);
  if (swapped) angle = 1024 - (angle & 4095);
  return angle & 4095;
}

void ClassVDisplay::VirtualMouse(int32_t& x, int32_t& y) const {
  const int32_t w = int32_t(xres), h = int32_t(yres), px = x, py = y;
  switch (rotation) {
    case DisplayRotation::Quarter: x = h - py, y = px; break;
    case DisplayRotation::Half: x = w - px, y = h - py; break;
    case DisplayRotation::ThreeQuarter: x = py, y = w - px; break;
    default: break;
  }
}

void ClassVDisplay::VirtualTilt(int32_t& x, int32_t& y) const {
  const int32_t px = x, py = y;
  switch (rotation) {
    case DisplayRotation::Quarter: x = -py, y = px; break;
    case DisplayRotation::Half: x = -px, y = -py; break;
    case DisplayRotation::ThreeQuarter: x = py, y = -px; break;
    default: break;
  }
}

uint32_t ClassVDisplay::VirtualDPad(uint32_t button, const VBUTTONLIST* list) const {
  if (!list || rotation == DisplayRotation::None) return button;
  // Directions clockwise: a quarter turn moves each one step on.
  const uint32_t ring[4] = {list->dirup, list->dirright, list->dirdown, list->dirleft};
  int steps = rotation == DisplayRotation::Quarter ? 1 : (rotation == DisplayRotation::Half ? 2 : 3);
  for (int i = 0; i < 4; i++) {
    if (ring[i] == button) return ring[(i + steps) % 4];
  }
  return button;
}

// --- per frame ------------------------------------------------------------------------

uint32_t ClassVDisplay::LinePixels(uint32_t xres, uint32_t mapped, bool queried, uint32_t xresvirtual) {
  if (!queried || xresvirtual < xres || xresvirtual > mapped) return mapped;
  return xresvirtual;
}

uint32_t ClassVDisplay::QueryLinePixels() const {
  fb_var_screeninfo info{};
  bool queried = Platform_Ioctl(vdeviceptr[VEXA_DEVICE_FB], PLATFORM_FBIOGET_VSCREENINFO, &info) == 0;
  return LinePixels(xres, linepixels, queried, info.xres_virtual);
}

void ClassVDisplay::WaitVerticalBlank() const {
  if (!vdevicereg_ptr16) return;
  while (vdevicereg_ptr16[PLATFORM_REG_VBLANK / 2] & VBLANK_BUSY) {
  }
}

void ClassVDisplay::Flip(bool wait) {
  (void)wait;
  if (!IsOpen() || suspended || !backbuffer.IsCreated() || backbuffer.GetVideoType() != rendermode) return;
  V2DSurface* source = &backbuffer;
  if (rendermode != displaymode) {
    if (!conversion.IsCreated() || conversion.GetVideoType() != displaymode) return;
    conversion.BltFast(0, 0, &backbuffer, nullptr, 0, 0);
    source = &conversion;
  }
  CopyToScreen(*source);
  Platform_Present();
}

void ClassVDisplay::BackFlip() {
  if (!IsOpen() || suspended || !backbuffer.IsCreated()) return;
  if (rendermode == displaymode) {
    CopyFromScreen(backbuffer);
    return;
  }
  if (!conversion.IsCreated()) return;
  CopyFromScreen(conversion);
  backbuffer.BltFast(0, 0, &conversion, nullptr, 0, 0);
}

void ClassVDisplay::CopyToScreen(V2DSurface& source) {
  V2DSURFACEINFO info;
  uint8_t* pixels = source.Lock(&info);
  if (!pixels) return;
  const uint32_t line = QueryLinePixels();
  if (ecd->config->dspflags & VEXA_DSPFLAG_WAITVBLANK) WaitVerticalBlank();
  tagRECT r = fliprect;
  ClampInto(r, int32_t(info.physwidth < xres ? info.physwidth : xres),
            int32_t(info.physheight < yres ? info.physheight : yres));
  const int32_t bytes = int32_t(bitsperpixel / 8);
  if (r.right > r.left && r.bottom > r.top && info.bitsperpixel / 8 == uint32_t(bytes)) {
    FlipCopy(framebuffer + size_t(r.top) * line * bytes + size_t(r.left) * bytes,
             pixels + size_t(r.top) * info.rowbytes + size_t(r.left) * bytes, bytes, int32_t(line) * bytes, bytes,
             int32_t(info.rowbytes), r.right - r.left, r.bottom - r.top, bytes);
  }
  source.Unlock();
}

void ClassVDisplay::CopyFromScreen(V2DSurface& target) {
  V2DSURFACEINFO info;
  uint8_t* pixels = target.Lock(&info);
  if (!pixels) return;
  const uint32_t line = QueryLinePixels();
  tagRECT r = fliprect;
  ClampInto(r, int32_t(info.physwidth < xres ? info.physwidth : xres),
            int32_t(info.physheight < yres ? info.physheight : yres));
  const int32_t bytes = int32_t(bitsperpixel / 8);
  if (r.right > r.left && r.bottom > r.top && info.bitsperpixel / 8 == uint32_t(bytes)) {
    FlipCopy(pixels + size_t(r.top) * info.rowbytes + size_t(r.left) * bytes,
             framebuffer + size_t(r.top) * line * bytes + size_t(r.left) * bytes, bytes, int32_t(info.rowbytes),
             bytes, int32_t(line) * bytes, r.right - r.left, r.bottom - r.top, bytes);
  }
  target.Unlock();
}

void ClassVDisplay::FlipCopy(uint8_t* dest, const uint8_t* src, int32_t dxstep, int32_t dystep, int32_t sxstep,
                             int32_t systep, int32_t width, int32_t height, int32_t pixelbytes) {
  if (!dest || width <= 0 || height <= 0 || pixelbytes <= 0) return;
  const size_t rowbytes = size_t(width) * size_t(pixelbytes);
  const bool wholerows = dxstep == pixelbytes && (!src || sxstep == pixelbytes);
  if (wholerows && dystep == int32_t(rowbytes) && (!src || systep == dystep)) {
    // Contiguous rows on both sides: one copy.
    if (src) std::memcpy(dest, src, rowbytes * size_t(height));
    else std::memset(dest, 0, rowbytes * size_t(height));
    return;
  }
  for (int32_t y = 0; y < height; y++) {
    uint8_t* d = dest + ptrdiff_t(y) * dystep;
    const uint8_t* s = src ? src + ptrdiff_t(y) * systep : nullptr;
    if (wholerows) {
      if (s) std::memcpy(d, s, rowbytes);
      else std::memset(d, 0, rowbytes);
      continue;
    }
    for (int32_t x = 0; x < width; x++) {
      uint8_t* dp = d + ptrdiff_t(x) * dxstep;
      if (s) std::memcpy(dp, s + ptrdiff_t(x) * sxstep, size_t(pixelbytes));
      else std::memset(dp, 0, size_t(pixelbytes));
    }
  }
}

void ClassVDisplay::SetFlipRect(const tagRECT* rect) {
  if (!rect) {
    fliprect = {0, 0, int32_t(xres), int32_t(yres)};
    return;
  }
  tagRECT r = *rect;
  VirtualRect(r, int32_t(xres), int32_t(yres));
  ClampInto(r, int32_t(xres), int32_t(yres));
  fliprect = r;
}

void ClassVDisplay::GetFlipRect(tagRECT* rect) const {
  if (rect) *rect = fliprect;
}

int ClassVDisplay::BltFast(int32_t x, int32_t y, V2DSurface* source, const tagRECT* rect) {
  if (!IsOpen() || suspended) return 1;
  return backbuffer.BltFast(x, y, source, rect, 0, 0);
}

int ClassVDisplay::DrawFont(int32_t x, int32_t y, V2DSurface* font, const char* text, uint32_t flags) {
  // The alignment flags only serve a hardware driver.
  (void)flags;
  if (!IsOpen() || suspended) return 1;
  return backbuffer.DrawFont(x, y, font, text, BlitFlags::ColorKey, 0);
}

int ClassVDisplay::DrawFont(int32_t x, int32_t y, V2DSurface* font, const char16_t* text, uint32_t flags) {
  (void)flags;
  if (!IsOpen() || suspended) return 1;
  return backbuffer.DrawFont(x, y, font, text, BlitFlags::ColorKey, 0);
}

int ClassVDisplay::DrawFont(int32_t x, int32_t y, V2DSurface* font, int32_t number, uint32_t flags) {
  (void)flags;
  if (!IsOpen() || suspended) return 1;
  return backbuffer.DrawFont(x, y, font, number, BlitFlags::ColorKey, 0);
}

int ClassVDisplay::FillRect(const tagRECT* rect, uint32_t colour) {
  if (!IsOpen() || suspended) return 1;
  backbuffer.FillRect(rect, colour & 0xFFFFFF, BlitFlags::Opacity, colour >> 24);
  return 0;
}

// --- surfaces and loaders ---------------------------------------------------------

namespace {

// Plain and RGBA surfaces are created and loaded alike: linked to the shared
// record, in the display's render mode.
template <typename Surface>
int CreateLinked(Surface* surface, VCD* ecd, uint8_t mode, int32_t width, int32_t height, uint32_t flags) {
  if (!surface) return VSURF_INVALID;
  surface->LinkECD(ecd);
  return surface->Create(width, height, mode, flags);
}

template <typename Surface>
int LoadLinked(Surface* surface, VCD* ecd, uint8_t mode, const void* data, uint32_t size, uint32_t flags) {
  if (!surface) return VSURF_INVALID;
  surface->LinkECD(ecd);
  return surface->LoadImage(data, size, mode, flags);
}

template <typename Surface>
int LoadLinked(Surface* surface, VCD* ecd, uint8_t mode, const char16_t* name, uint32_t flags) {
  if (!surface) return VSURF_INVALID;
  surface->LinkECD(ecd);
  return surface->LoadImage(name, mode, flags);
}

template <typename Surface>
int LoadLinked(Surface* surface, VCD* ecd, uint8_t mode, const char* name, uint32_t flags) {
  if (!surface) return VSURF_INVALID;
  surface->LinkECD(ecd);
  if (!name) return VSURF_NOTCREATED;
  V2DWideName wide(name, NAME_LOCAL);
  if (!wide.Get()) return VSURF_NOMEMORY;
  return surface->LoadImage(wide.Get(), mode, flags);
}

}  // namespace

int ClassVDisplay::CreateSurface(V2DSurface* surface, int32_t width, int32_t height, uint32_t flags) {
  return CreateLinked(surface, ecd, rendermode, width, height, flags);
}

int ClassVDisplay::CreateSurface(V2DSurface* surface, const void* data, uint32_t size, uint32_t flags) {
  return LoadLinked(surface, ecd, rendermode, data, size, flags);
}

int ClassVDisplay::CreateSurface(V2DSurface* surface, const char* name, uint32_t flags) {
  return LoadLinked(surface, ecd, rendermode, name, flags);
}

int ClassVDisplay::CreateSurface(V2DSurface* surface, const char16_t* name, uint32_t flags) {
  return LoadLinked(surface, ecd, rendermode, name, flags);
}

int ClassVDisplay::CreateSurface(V2DSurfaceRGBA* surface, int32_t width, int32_t height, uint32_t flags) {
  return CreateLinked(surface, ecd, rendermode, width, height, flags);
}

int ClassVDisplay::CreateSurface(V2DSurfaceRGBA* surface, const void* data, uint32_t size, uint32_t flags) {
  return LoadLinked(surface, ecd, rendermode, data, size, flags);
}

int ClassVDisplay::CreateSurface(V2DSurfaceRGBA* surface, const char* name, uint32_t flags) {
  return LoadLinked(surface, ecd, rendermode, name, flags);
}

int ClassVDisplay::CreateSurface(V2DSurfaceRGBA* surface, const char16_t* name, uint32_t flags) {
  return LoadLinked(surface, ecd, rendermode, name, flags);
}

namespace {

// Models are linked like surfaces, then created or loaded in no pixel format.
template <typename Operation>
int WithLinkedModel(V3DSurface* surface, VCD* ecd, Operation operation) {
  if (!surface) return VSURF_INVALID;
  surface->LinkECD(ecd);
  return operation(*surface);
}

}  // namespace

int ClassVDisplay::CreateSurface(V3DSurface* surface, int32_t vertices, int32_t polygons, uint32_t flags) {
  return WithLinkedModel(surface, ecd, [&](V3DSurface& s) { return s.Create(vertices, polygons, flags); });
}

int ClassVDisplay::CreateSurface(V3DSurface* surface, const void* data, uint32_t size, int8_t type, uint32_t flags) {
  return WithLinkedModel(surface, ecd, [&](V3DSurface& s) { return s.LoadModel(data, size, type, flags); });
}

int ClassVDisplay::CreateSurface(V3DSurface* surface, const char* name, int8_t type, uint32_t flags) {
  return WithLinkedModel(surface, ecd, [&](V3DSurface& s) { return s.LoadModel(name, type, flags); });
}

int ClassVDisplay::CreateSurface(V3DSurface* surface, const char16_t* name, int8_t type, uint32_t flags) {
  return WithLinkedModel(surface, ecd, [&](V3DSurface& s) { return s.LoadModel(name, type, flags); });
}

int ClassVDisplay::RegisterLoader(ClassVLoaderBase* loader) {
  if (!loader) return 0;
  for (ClassVLoaderBase*& slot : loaders) {
    if (!slot) {
      slot = loader;
      return 1;
    }
  }
  return 0;
}

int ClassVDisplay::AdoptLoader(ClassVLoaderBase* loader) {
  if (!RegisterLoader(loader)) return 0;
  for (int slot = 0; slot < VDSP_LOADERSLOTS; slot++) {
    if (loaders[slot] == loader) adopted[slot] = true;
  }
  return 1;
}

int ClassVDisplay::UnRegisterLoader(ClassVLoaderBase* loader) {
  if (!loader) return 0;
  for (int slot = 0; slot < VDSP_LOADERSLOTS; slot++) {
    if (loaders[slot] == loader) {
      loaders[slot] = nullptr;
      adopted[slot] = false;
      return 1;
    }
  }
  return 0;
}

ClassVLoaderBase* ClassVDisplay::GetLoader(int slot) const {
  return slot >= 0 && slot < VDSP_LOADERSLOTS ? loaders[slot] : nullptr;
}

// --- palette -------------------------------------------------------------------------------

void ClassVDisplay::SetPalette(const uint32_t* colours, int32_t first, int32_t count) {
  if (!colours || first < 0 || first > 255 || count <= 0) return;
  for (int32_t i = first; i < 256 && i - first < count; i++) displaypalette[i] = colours[i - first];
  paletteversion++;
}

void ClassVDisplay::GetPalette(uint32_t* colours, int32_t first, int32_t count) const {
  if (!colours || first < 0 || first > 255 || count <= 0) return;
  for (int32_t i = first; i < 256 && i - first < count; i++) colours[i - first] = displaypalette[i] & 0xFFFFFF;
}

int ClassVDisplay::BuildPaletteLookup() {
  if (!palettelookup) {
    palettelookup = static_cast<uint8_t*>(ClassVMemory::Alloc(VDSP_LOOKUPSIZE));
    if (!palettelookup) return 0;
    lookupversion = 0;
  }
  if (lookupversion != paletteversion) {
    VDisplay_CreatePaletteLookup(palettelookup, displaypalette);
    lookupversion = paletteversion;
  }
  return 1;
}

void ClassVDisplay::BuildPaletteLookupIndex(uint8_t* indextable, const uint32_t* colours) const {
  if (!indextable || !colours) return;
  CANDIDATES candidates;
  BuildCandidates(displaypalette, candidates);
  indextable[0] = 0;
  for (int i = 1; i < 256; i++) {
    uint8_t red, green, blue;
    Reduce(colours[i], red, green, blue);
    indextable[i] = Nearest(candidates, red, green, blue);
  }
}

const uint32_t* ClassVDisplay::GetPaletteConversion(uint8_t videotype) {
  if (conversiontype != videotype || conversionversion != paletteversion) {
    for (int i = 0; i < 256; i++) paletteconversion[i] = V2DSurfaceBase::ColorToNative(videotype, displaypalette[i]);
    conversiontype = videotype;
    conversionversion = paletteversion;
  }
  return paletteconversion;
}

// --- hardware 3D (no driver on this target) ------------------------------------------

int32_t ClassVDisplay::QueryTextureHandle(V2DSurfaceBase*) const { return -1; }
void ClassVDisplay::ReleaseTextureHandle(V2DSurfaceBase*) {}
void ClassVDisplay::UploadTexture(V2DSurfaceBase*) {}
void ClassVDisplay::WriteTextureData(V2DSurfaceBase*) {}
