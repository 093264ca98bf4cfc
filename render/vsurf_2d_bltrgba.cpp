// vsurf_2d_bltrgba.cpp - blits from RGBA surfaces (being written).
#include "render/vsurf_2d.h"

int V2DSurface::BltFast(int32_t x, int32_t y, V2DSurfaceRGBA* source, const tagRECT* rect, uint32_t flags,
                        uint32_t value) {
  (void)x, (void)y, (void)source, (void)rect, (void)flags, (void)value;
  return VSURF_NOTCREATED;
}
