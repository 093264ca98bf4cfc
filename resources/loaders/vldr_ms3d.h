// vldr_ms3d.h - the MilkShape 3D (MS3D) model loader: "MS3D000000" and
// version 3 or 4; vertices, triangles, groups, materials, the animation
// header and the joints with their rotation and position key frames.
//
// Streams in this order after LdrOnCreate (which gets the vertex, triangle
// and joint counts, and the group and material counts in its reserved
// words for tools that report them): the joints' properties and then their
// vertex attachments, the vertices (20.12), the triangles, one normal per
// vertex (20.12; a vertex takes the normal of the first triangle corner that
// uses it), the texture coordinates per triangle (16.16), the colours of the
// triangles of the first 32 groups that name a material (its diffuse
// colour, opaque), and each joint's rotation keys (angles) and position
// keys (20.12), timed in ms. The option is not used.
//
// Every count must fit the data, every index its table; a joint's parent must
// be an earlier joint; more than 128 joints (MilkShape's own limit) is an
// error (1).
// Depends on: the loader base, the model surface, the math module.
#pragma once

#include <cstdint>

#include "resources/loaders/vldr_base.h"

constexpr uint32_t VLDR_MS3D_MAXGROUPS = 32;   // groups whose materials colour their triangles
constexpr uint32_t VLDR_MS3D_MAXJOINTS = 128;  // joints per file

class VLoader_MS3D : public ClassVLoaderBase {
 public:
  int Start(V3DSurface* surface, const void* data, uint32_t length, int8_t option, uint32_t flags) override;
  using ClassVLoaderBase::Start;
};
