// vsurf_2d_fill.cpp - single pixels and rectangle fills with the draw flags.
//
// Colour flags (ColorFill, Tint, colourize) pick the colour once per call;
// the blend flags then run the rectangle routines: a split-mask opacity blend
// with the colour premultiplied once (5-bit weight on the 16-bit formats,
// 4-bit on Rgb444, 8-bit otherwise), and per-component saturating add and
// clamped subtract. The single-pixel path blends opacity at 8-bit precision
// in the interface layout and adds or subtracts in the format's fields as the
// fills do. Rgb888 blends like Xrgb8888: its native value is the same
// 0xRRGGBB in three bytes. Depends on: the surface base, vsurf_2d_pixel.h.
#include <cstddef>
#include <cstdint>

#include "render/vsurf_2d.h"
#include "render/vsurf_2d_pixel.h"
#include "util/vmod_memory.h"

namespace {

constexpr uint32_t COLOURIZE = BlitFlags::ColorFill | BlitFlags::Tint;

// The native bit fields of a format, for the split-mask opacity blend and
// the per-component add and subtract.
struct FORMATMASKS {
  uint32_t redblue;    // red and blue fields together
  uint32_t green;      // green field
  uint32_t shift;      // weight bits: blend = (t * (2^shift - w) + s * w) >> shift
  uint32_t field[3];   // blue, green, red fields
};

FORMATMASKS MasksOf(uint8_t videotype) {
  switch (videotype) {
    case VideoType::Rgb444: return {0x0F0F, 0x00F0, 4, {0xF, 0xF0, 0xF00}};
    case VideoType::Rgb555: return {0x7C1F, 0x03E0, 5, {0x1F, 0x3E0, 0x7C00}};
    case VideoType::Rgb565: return {0xF81F, 0x07E0, 5, {0x1F, 0x7E0, 0xF800}};
    default: return {0xFF00FF, 0x00FF00, 8, {0xFF, 0xFF00, 0xFF0000}};
  }
}

uint32_t Component(uint32_t c, int index) { return (c >> (8 * index)) & 0xFF; }

uint32_t ScaleColor(uint32_t c, uint32_t opacity) {
  uint32_t out = 0;
  for (int i = 0; i < 3; i++) out |= ((Component(c, i) * opacity) >> 8) << (8 * i);
  return out;
}

// The colour a single-colour operation draws before any blend.
uint32_t SourceColor(uint32_t colour, uint32_t flags, uint32_t value) {
  switch (flags & COLOURIZE) {
    case BlitFlags::ColorFill: return value & 0xFFFFFF;
    case BlitFlags::Tint: return ((colour >> 1) & 0x7F7F7F) + ((value >> 1) & 0x7F7F7F);
    case COLOURIZE: {
      uint32_t brightness = Component(colour, 0);
      if (Component(colour, 1) > brightness) brightness = Component(colour, 1);
      if (Component(colour, 2) > brightness) brightness = Component(colour, 2);
      return ScaleColor(value, brightness);
    }
    default: return colour & 0xFFFFFF;
  }
}

// Opacity blend of an interface colour onto another, 8 bits per component.
uint32_t BlendColor(uint32_t dst, uint32_t src, uint32_t opacity) {
  uint32_t out = 0;
  for (int i = 0; i < 3; i++) out |= ((Component(dst, i) * (256 - opacity) + Component(src, i) * opacity) >> 8) << (8 * i);
  return out;
}

// Indices have no colour arithmetic: the colour flags pick the index, and
// only Additive and Subtractive change it, saturating as bytes.
uint32_t IndexOf(uint32_t colour, uint32_t flags, uint32_t value) {
  return ((flags & BlitFlags::ColorFill) ? value : colour) & 0xFF;
}

uint32_t BlendIndex(uint32_t dst, uint32_t src, uint32_t flags) {
  if (flags & BlitFlags::Additive) return dst + src > 255 ? 255 : dst + src;
  if (flags & BlitFlags::Subtractive) return dst > src ? dst - src : 0;
  return src;
}

uint32_t AddFields(uint32_t t, uint32_t s, const FORMATMASKS& m) {
  uint32_t out = 0;
  for (uint32_t field : m.field) {
    uint32_t sum = (t & field) + (s & field);
    out |= sum > field ? field : sum;
  }
  return out;
}

uint32_t SubtractFields(uint32_t t, uint32_t s, const FORMATMASKS& m) {
  uint32_t out = 0;
  for (uint32_t field : m.field) {
    if ((t & field) > (s & field)) out |= (t & field) - (s & field);
  }
  return out;
}

// Plain fill: whole rows, one fill when the rows are contiguous.
void FillRows(uint8_t* first, size_t rowbytes, uint32_t bytes, int32_t width, int32_t height, uint32_t native,
              bool contiguous) {
  if (contiguous) {
    width *= height;
    height = 1;
  }
  for (int32_t y = 0; y < height; y++) {
    uint8_t* row = first + size_t(y) * rowbytes;
    switch (bytes) {
      case 1: ClassVMemory::Set(row, uint8_t(native), uint32_t(width)); break;
      case 2: ClassVMemory::Set16(row, uint16_t(native), uint32_t(width)); break;
      case 3: ClassVMemory::Set24(row, native, uint32_t(width)); break;
      default: ClassVMemory::Set32(row, native, uint32_t(width)); break;
    }
  }
}

}  // namespace

// --- pixels ------------------------------------------------------------------------------

uint32_t V2DSurface::GetPixel(int32_t x, int32_t y) const {
  if (!IsCreated() || !pixels) return 0;
  MapPos(x, y);
  return GetPixelV(x, y);
}

uint32_t V2DSurface::GetPixelV(int32_t x, int32_t y) const {
  if (!IsCreated() || !pixels || x < 0 || y < 0 || uint32_t(x) >= physwidth || uint32_t(y) >= physheight) return 0;
  return GetPixelRaw(x, y, pixels);
}

uint32_t V2DSurface::GetPixelRaw(int32_t x, int32_t y, const uint8_t* memory) const {
  const uint8_t* p = memory + size_t(uint32_t(y)) * RowBytes() + size_t(uint32_t(x)) * BytesPerPixel();
  return NativeToColor(videotype, vsurf::LoadPixel(p, BytesPerPixel()));
}

void V2DSurface::PutPixel(int32_t x, int32_t y, uint32_t colour, uint32_t flags, uint32_t value) {
  if (!IsCreated() || !pixels) return;
  MapPos(x, y);
  if (x < clipper.left || x >= clipper.right || y < clipper.top || y >= clipper.bottom) return;
  PutPixelRaw(x, y, colour, flags, value);
}

void V2DSurface::PutPixelRaw(int32_t x, int32_t y, uint32_t colour, uint32_t flags, uint32_t value) {
  uint32_t opacity = OpacityOfValue(flags, value);
  if (!ResolveDrawFlags(videotype, flags, opacity)) return;
  uint8_t* p = PixelAt(x, y);
  const uint32_t bytes = BytesPerPixel();
  if (videotype == VideoType::Indexed8) {
    vsurf::StorePixel<1>(p, BlendIndex(vsurf::LoadPixel<1>(p), IndexOf(colour, flags, value), flags));
    return;
  }
  uint32_t src = SourceColor(colour, flags, value);
  if (flags & (BlitFlags::Additive | BlitFlags::Subtractive)) {
    // Added or subtracted in the format's own fields, as the fills do.
    if (flags & BlitFlags::Opacity) src = ScaleColor(src, opacity);
    const uint32_t native = ColorToNative(videotype, src), t = vsurf::LoadPixel(p, bytes);
    const FORMATMASKS m = MasksOf(videotype);
    vsurf::StorePixel(p, bytes, (flags & BlitFlags::Additive) ? AddFields(t, native, m) : SubtractFields(t, native, m));
    return;
  }
  if (flags & BlitFlags::Opacity) src = BlendColor(NativeToColor(videotype, vsurf::LoadPixel(p, bytes)), src, opacity);
  vsurf::StorePixel(p, bytes, ColorToNative(videotype, src));
}

// --- fills ---------------------------------------------------------------------------------

void V2DSurface::FillRect(const tagRECT* rect, uint32_t colour, uint32_t flags, uint32_t value) {
  FillRectV(rect, colour, flags, value, true);
}

void V2DSurface::FillRectV(const tagRECT* rect, uint32_t colour, uint32_t flags, uint32_t value, bool map) {
  if (!IsCreated() || !pixels) return;
  // No rectangle means the clipper, which is physical already.
  tagRECT r = rect ? *rect : clipper;
  if (rect && map) MapRect(r);
  if (!ClipRect(&r)) return;
  FillPhysical(r, colour, flags, value);
}

void V2DSurface::PutPixelRow(int32_t x, int32_t y, int32_t length, uint32_t colour, uint32_t flags,
                             uint32_t value) {
  int64_t end = int64_t(x) + length;
  if (end > INT32_MAX) end = INT32_MAX;
  tagRECT r = {x < 0 ? 0 : x, y, int32_t(end), y == INT32_MAX ? y : y + 1};
  FillRect(&r, colour, flags, value);
}

void V2DSurface::FillPhysical(const tagRECT& r, uint32_t colour, uint32_t flags, uint32_t value) {
  uint32_t opacity = OpacityOfValue(flags, value);
  if (!ResolveDrawFlags(videotype, flags, opacity)) return;
  const uint32_t bytes = BytesPerPixel();
  const size_t rowbytes = RowBytes();
  const int32_t width = r.right - r.left, height = r.bottom - r.top;
  uint8_t* first = PixelAt(r.left, r.top);

  uint32_t native;
  if (videotype == VideoType::Indexed8) {
    native = IndexOf(colour, flags, value);
    flags &= BlitFlags::Additive | BlitFlags::Subtractive;
  } else {
    uint32_t src = SourceColor(colour, flags, value);
    // With a blend of add or subtract, the opacity only scales the colour.
    if ((flags & BlitFlags::Opacity) && (flags & (BlitFlags::Additive | BlitFlags::Subtractive))) {
      src = ScaleColor(src, opacity);
      flags &= ~BlitFlags::Opacity;
    }
    native = ColorToNative(videotype, src);
  }

  const FORMATMASKS m = MasksOf(videotype);
  if (flags & BlitFlags::Additive) {
    vsurf::RewriteRect(first, rowbytes, bytes, width, height, [&](uint32_t t) { return AddFields(t, native, m); });
  } else if (flags & BlitFlags::Subtractive) {
    vsurf::RewriteRect(first, rowbytes, bytes, width, height,
                       [&](uint32_t t) { return SubtractFields(t, native, m); });
  } else if (flags & BlitFlags::Opacity) {
    const uint32_t w = opacity >> (8 - m.shift), keep = (1u << m.shift) - w;
    const uint32_t srb = (native & m.redblue) * w, sg = (native & m.green) * w;
    vsurf::RewriteRect(first, rowbytes, bytes, width, height, [&](uint32_t t) {
      return ((((t & m.redblue) * keep + srb) >> m.shift) & m.redblue) |
             ((((t & m.green) * keep + sg) >> m.shift) & m.green);
    });
  } else {
    FillRows(first, rowbytes, bytes, width, height, native, uint32_t(width) == rowlength);
  }
}
