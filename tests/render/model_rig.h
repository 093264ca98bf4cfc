// model_rig.h - small 3D models built in code for the renderer's suites and
// benchmark: a cube with a colour and the whole texture on each face, and a
// sphere-like mesh of latitude rings. Both run clockwise on the screen when
// seen from outside, the order the renderer keeps when culling.
#pragma once

#include <cstdint>

#include "render/vsurf_3d.h"
#include "util/vmod_math.h"

constexpr int32_t kModelOne = 4096;     // 1.0 in 20.12
constexpr int32_t kTexelOne = 65536;    // 1.0 in 16.16: the whole texture

// Two triangles of a quad whose corners a, b, c, d run clockwise from outside.
inline void SetQuad(V3DSurface& m, int32_t triangle, int32_t a, int32_t b, int32_t c, int32_t d) {
  m.SetPolygon(triangle, a, b, c);
  m.SetPolygon(triangle + 1, a, c, d);
}

// A square of side 2 x half facing the viewer, centred at (dx, 0, z): four
// vertices from `first`, two triangles from `triangle`.
inline void SetSquare(V3DSurface& m, int32_t first, int32_t triangle, int32_t half, int32_t dx = 0, int32_t z = 0) {
  m.SetVertex(first, dx - half, half, z);
  m.SetVertex(first + 1, dx + half, half, z);
  m.SetVertex(first + 2, dx + half, -half, z);
  m.SetVertex(first + 3, dx - half, -half, z);
  SetQuad(m, triangle, first, first + 1, first + 2, first + 3);
}

// A cube of side 2 x half about the origin: 24 vertices (4 per face, so each
// face has its own colour and texture corners), 12 triangles, face normals.
inline int BuildCube(V3DSurface& m, int32_t half, uint32_t flags = 0) {
  const int result = m.Create(24, 12, flags);
  if (result != V3D_OK) return result;
  // Corner k of the cube: x from bit 0, y from bit 1, z from bit 2; each
  // face's corners top-left, top-right, bottom-right, bottom-left from outside.
  static const int32_t faces[6][4] = {{6, 7, 5, 4}, {3, 2, 0, 1}, {7, 3, 1, 5},
                                      {2, 6, 4, 0}, {2, 3, 7, 6}, {4, 5, 1, 0}};
  static const uint32_t colours[6] = {0xFF3030E0, 0xFF30E030, 0xFFE03030, 0xFF30E0E0, 0xFFE0E030, 0xFFE030E0};
  static const int32_t texel[4][2] = {{0, 0}, {kTexelOne, 0}, {kTexelOne, kTexelOne}, {0, kTexelOne}};
  for (int32_t f = 0; f < 6; f++) {
    for (int32_t k = 0; k < 4; k++) {
      const int32_t corner = faces[f][k], v = 4 * f + k;
      m.SetVertex(v, corner & 1 ? half : -half, corner & 2 ? half : -half, corner & 4 ? half : -half);
      m.SetColor(v, colours[f]);
      m.SetTexCoord(v, texel[k][0], texel[k][1]);
    }
    SetQuad(m, 2 * f, 4 * f, 4 * f + 1, 4 * f + 2, 4 * f + 3);
  }
  m.CalculateNormals();
  return V3D_OK;
}

// A sphere of `rings` latitude bands and `segments` longitude steps:
// (rings + 1) x (segments + 1) vertices (the seam, at the back, and the poles repeated),
// 2 x rings x segments triangles (those at the poles degenerate), smooth
// normals, one colour, the texture wrapped once around.
inline int BuildSphere(V3DSurface& m, const ClassVMath& math, int32_t radius, int32_t rings, int32_t segments,
                       uint32_t colour, uint32_t flags = 0) {
  const int32_t across = segments + 1;
  const int result = m.Create((rings + 1) * across, 2 * rings * segments, flags);
  if (result != V3D_OK) return result;
  for (int32_t i = 0; i <= rings; i++) {
    const uint32_t latitude = uint32_t(-1024 + 2048 * i / rings);
    const int64_t ring = int64_t(radius) * math.Cos(latitude) >> 16;
    for (int32_t j = 0; j <= segments; j++) {
      const uint32_t longitude = uint32_t(3072 + 4096 * j / segments);  // the seam at the back
      const int32_t v = i * across + j;
      m.SetVertex(v, int32_t(ring * math.Cos(longitude) >> 16), int32_t(int64_t(radius) * math.Sin(latitude) >> 16),
                  int32_t(ring * math.Sin(longitude) >> 16));
      m.SetTexCoord(v, kTexelOne * j / segments, kTexelOne * (rings - i) / rings);
    }
  }
  for (int32_t i = 0; i < rings; i++)
    for (int32_t j = 0; j < segments; j++) {
      const int32_t below = i * across + j, above = below + across;
      SetQuad(m, 2 * (i * segments + j), above + 1, above, below, below + 1);
    }
  m.SetModelColor(colour);
  m.CalculateNormals();
  return V3D_OK;
}
