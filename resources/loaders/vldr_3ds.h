// vldr_3ds.h - the 3D Studio (3DS) model loader: the main chunk 0x4D4D, its
// editor chunk 0x3D3D with up to 32 named triangle meshes (vertices, faces,
// mapping coordinates, material groups) and the materials' diffuse colours.
//
// The model is created with the totals of all meshes; then each mesh in
// file order streams its vertices (20.12, shifted right by 6 - option, at
// most 31; an option above 6 shifts by 0), its triangles (indices made
// model-wide), its mapping coordinates (u + 1, v + 1 in 16.16, one per
// vertex from the mesh's first vertex) and, for each run of consecutive
// faces of one material, that material's colour (opaque) once per face.
// Before LdrOnCreate the record's reserved words hold the number of meshes
// and of materials, for tools that report them.
//
// Every chunk must be 6 bytes or longer and lie within its parent; face
// indices must lie within their mesh; more than 32 meshes is an error (1).
// Depends on: the loader base, the model surface, the math module.
#pragma once

#include <cstdint>

#include "resources/loaders/vldr_base.h"

constexpr uint32_t VLDR_3DS_MAXOBJECTS = 32;     // triangle meshes per file
constexpr uint32_t VLDR_3DS_MAXMATERIALS = 256;  // materials whose colours are kept; later ones colour nothing
constexpr uint32_t VLDR_3DS_VERTEXBATCH = 85;    // most vertices per LdrOnVertexStream
constexpr uint32_t VLDR_3DS_POLYGONBATCH = 64;   // most triangles per LdrOnPolygonStream
constexpr uint32_t VLDR_3DS_TEXELBATCH = 85;     // most mapping coordinates per LdrOnTexelStream
constexpr uint32_t VLDR_3DS_COLORBATCH = 64;     // most colours per LdrOnColorStream

class VLoader_3DS : public ClassVLoaderBase {
 public:
  int Start(V3DSurface* surface, const void* data, uint32_t length, int8_t option, uint32_t flags) override;
  using ClassVLoaderBase::Start;
};
