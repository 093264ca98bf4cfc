// vmod_dsp_3d.cpp - the display's 3D state: the world matrix shared by all
// models, the eight lights, the shading flags and the bound texture of
// Render(model), and the perspective of one point.
//
// Depends on: render/vmod_dsp.h, render/vsurf_3d.h (matrix operations,
// projection, normalisation, the renderer), the math module.
#include <cstdint>

#include "render/vmod_dsp.h"
#include "render/vsurf_3d.h"
#include "util/vmod_math.h"

namespace {

constexpr int32_t LIGHT_LENGTH = 16384;  // a normalised light direction
constexpr int32_t LIGHT_SCALE = 8;       // stored directions are 8 times that
constexpr int32_t PIXEL_SHIFT = 20;      // 12.20 projected points to pixels

bool IsLight(int32_t light) { return light >= 0 && light < VDSP_LIGHTS; }

}  // namespace

void ClassVDisplay::WorldReset() { ClassVMath::MatrixLoadIdentity(worldmatrix); }

void ClassVDisplay::WorldTranslate(int32_t x, int32_t y, int32_t z) {
  V3DSurface::TranslateMatrix(worldmatrix, x, y, z);
}

void ClassVDisplay::WorldRotate(uint32_t x, uint32_t y, uint32_t z) {
  V3DSurface::RotateMatrix(worldmatrix, ecd ? ecd->math : nullptr, x, y, z);
}

void ClassVDisplay::WorldScale(int32_t x, int32_t y, int32_t z) { V3DSurface::ScaleMatrix(worldmatrix, x, y, z); }

void ClassVDisplay::UseLight(int32_t light, bool on) {
  if (lights && IsLight(light)) lights[light].on = on ? 1 : 0;
}

void ClassVDisplay::SetLightSource(int32_t light, int32_t x, int32_t y, int32_t z, uint32_t anglecolour,
                                   uint32_t constantcolour) {
  if (!lights || !IsLight(light)) return;
  const int64_t direction[3] = {x, y, z};
  int32_t unit[3];
  V3DSurface::NormaliseVector(direction, LIGHT_LENGTH, unit);
  VDSPLIGHT& l = lights[light];
  l.x = unit[0] * LIGHT_SCALE, l.y = unit[1] * LIGHT_SCALE, l.z = unit[2] * LIGHT_SCALE;
  l.anglecolor = anglecolour & 0xFFFFFF;
  l.constantcolor = constantcolour & 0xFFFFFF;
}

void ClassVDisplay::CalculatePerspective(const int32_t* vector, tagPOINT* point) const {
  if (!vector || !point) return;
  int32_t px, py;
  V3DSurface::Project(rendersize, vector[0], vector[1], vector[2], px, py);
  point->x = px >> PIXEL_SHIFT;
  point->y = py >> PIXEL_SHIFT;
}

int32_t ClassVDisplay::Render(V3DSurface* model) {
  if (!model || !IsOpen()) return 0;
  model->LinkWorldMatrix(worldmatrix);
  return backbuffer.Render(0, 0, model, shading, 0);
}
