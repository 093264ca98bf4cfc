// vmod_dsp_wipe.cpp - screen transitions: slides from each side, a block
// dissolve along a spiral (or a caller's order), a mosaic, a cross-fade and
// a dissolve by a random byte map.
//
// Each call draws one step for a position 0..65536; the dissolves remember
// how far they have drawn. Depends on: the surfaces (blits, fills, pixels),
// the math module's random generator.
#include <cstddef>
#include <cstdint>

#include "render/vmod_dsp.h"
#include "util/vmod_math.h"

namespace {

constexpr int WIPE_CELLS = 16;  // a dissolve tile is 16 x 16 cells

// Cell order of the block dissolve: 0..255 along a clockwise spiral from the
// top-left cell, inwards to the centre.
struct SPIRAL {
  uint8_t order[WIPE_CELLS * WIPE_CELLS];
};

constexpr SPIRAL MakeSpiral() {
  SPIRAL s{};
  int top = 0, bottom = WIPE_CELLS - 1, left = 0, right = WIPE_CELLS - 1, k = 0;
  while (k < WIPE_CELLS * WIPE_CELLS) {
    for (int x = left; x <= right; x++) s.order[top * WIPE_CELLS + x] = uint8_t(k++);
    top++;
    for (int y = top; y <= bottom; y++) s.order[y * WIPE_CELLS + right] = uint8_t(k++);
    right--;
    for (int x = right; x >= left && top <= bottom; x--) s.order[bottom * WIPE_CELLS + x] = uint8_t(k++);
    bottom--;
    for (int y = bottom; y >= top && left <= right; y--) s.order[y * WIPE_CELLS + left] = uint8_t(k++);
    left++;
  }
  return s;
}

constexpr SPIRAL SPIRAL_ORDER = MakeSpiral();

int32_t Scale(uint32_t p, int32_t size) { return int32_t((int64_t(p) * size) >> 16); }

}  // namespace

void ClassVDisplay::StartWipe(uint32_t type, V2DSurface* surface) {
  (void)type, (void)surface;
  wipeprogress = 0;
}

int ClassVDisplay::Wipe(V2DSurface* dest, V2DSurface* old, V2DSurface* fresh, uint32_t position, uint32_t type,
                        const uint8_t* map, int32_t blocksize) {
  if (!dest || !dest->IsCreated()) return 1;
  const uint32_t p = position < VDSP_WIPEEND ? position : VDSP_WIPEEND;
  const int32_t w = dest->GetWidth(), h = dest->GetHeight();
  switch (type) {
    case 0: WipeSlide(dest, old, fresh, w - Scale(p, w), 0); break;
    case 1: WipeSlide(dest, old, fresh, Scale(p, w) - w, 0); break;
    case 2: WipeSlide(dest, old, fresh, 0, h - Scale(p, h)); break;
    case 3: WipeSlide(dest, old, fresh, 0, Scale(p, h) - h); break;
    case 4: WipeBlocks(dest, old, fresh, p, map, blocksize); break;
    case 5: WipeMosaic(dest, old, p); break;
    case 6:
      WipeSlide(dest, old, nullptr, 0, 0);
      if (fresh) dest->BltFast(0, 0, fresh, nullptr, BlitFlags::Opacity, (p * 255) >> 16);
      break;
    case 7:
      // The map dissolve has no order without its map.
      if (!map) return 1;
      WipeMap(dest, fresh, p, map);
      break;
    default: break;
  }
  return 0;
}

void ClassVDisplay::WipeSlide(V2DSurface* dest, V2DSurface* old, V2DSurface* fresh, int32_t x, int32_t y) {
  if (old && old != dest) dest->BltFast(0, 0, old, nullptr, 0, 0);
  if (fresh) dest->BltFast(x, y, fresh, nullptr, 0, 0);
}

void ClassVDisplay::WipeBlocks(V2DSurface* dest, V2DSurface* old, V2DSurface* fresh, uint32_t p, const uint8_t* map,
                               int32_t blocksize) {
  const int32_t w = dest->GetWidth(), h = dest->GetHeight();
  // Drawing onto a copy of old redraws every due cell; drawing onto old
  // itself adds only the newly due ones.
  if (old && old != dest) {
    dest->BltFast(0, 0, old, nullptr, 0, 0);
    wipeprogress = 0;
  }
  const uint8_t* order = map ? map : SPIRAL_ORDER.order;
  int64_t n = blocksize > 0 ? blocksize : (w > h ? w : h) / 15;
  if (n < 1) n = 1;
  if (n > VSURF_MAXSIDE) n = VSURF_MAXSIDE;
  const int64_t tile = WIPE_CELLS * n;
  const int64_t ox = w < tile ? (w - tile) / 2 : 0, oy = h < tile ? (h - tile) / 2 : 0;
  const uint32_t last = p >> 8;
  for (int64_t ty = oy; ty < h; ty += tile) {
    for (int64_t tx = ox; tx < w; tx += tile) {
      for (int cell = 0; cell < WIPE_CELLS * WIPE_CELLS; cell++) {
        const uint32_t v = order[cell];
        if (v < wipeprogress || v > last) continue;
        const int64_t left = tx + (cell % WIPE_CELLS) * n, top = ty + (cell / WIPE_CELLS) * n;
        if (left >= w || top >= h || left + n <= 0 || top + n <= 0) continue;
        tagRECT r = {int32_t(left), int32_t(top), int32_t(left + n), int32_t(top + n)};
        if (fresh) dest->BltFast(r.left, r.top, fresh, &r, 0, 0);
        else dest->FillRect(&r, 0, 0, 0);
      }
    }
  }
  wipeprogress = last + 1;
}

void ClassVDisplay::WipeMosaic(V2DSurface* dest, V2DSurface* old, uint32_t p) {
  if (!old) return;
  const int32_t w = dest->GetWidth(), h = dest->GetHeight();
  const int32_t s = Scale(p, w > h ? w : h);
  if (s < 2) return;
  for (int32_t by = 0; by < h; by += s) {
    for (int32_t bx = 0; bx < w; bx += s) {
      const int32_t cx = bx + s / 2 < w ? bx + s / 2 : w - 1, cy = by + s / 2 < h ? by + s / 2 : h - 1;
      tagRECT r = {bx, by, bx + s, by + s};
      dest->FillRect(&r, old->GetPixel(cx, cy), 0, 0);
    }
  }
}

void ClassVDisplay::WipeMap(V2DSurface* dest, V2DSurface* fresh, uint32_t p, const uint8_t* map) {
  const int32_t w = dest->GetWidth(), h = dest->GetHeight();
  const uint32_t last = p >> 8;
  for (int32_t y = 0; y < h; y++) {
    for (int32_t x = 0; x < w; x++) {
      const uint32_t v = map[size_t(y) * size_t(w) + size_t(x)];
      if (v >= wipeprogress && v <= last) dest->PutPixel(x, y, fresh ? fresh->GetPixel(x, y) : 0, 0, 0);
    }
  }
  wipeprogress = last + 1;
}

void ClassVDisplay::MapScreenWipe(uint8_t* map, int32_t width, int32_t height, uint32_t maptype) {
  if (!map || maptype != 0 || width <= 0 || height <= 0 || !ecd || !ecd->math) return;
  const size_t count = size_t(width) * size_t(height);
  for (size_t i = 0; i < count; i++) map[i] = uint8_t(ecd->math->Rand());
}
