// vldr_3ds.cpp - the 3DS loader.
//
// Two passes over the block. The scan walks the chunk tree, checks every
// chunk against its parent, notes where each mesh's lists lie, keeps the
// materials and checks every face and material-group index, so that a file
// found corrupt reaches the model not at all; the second pass creates the
// model and fills it mesh by mesh.
#include "resources/loaders/vldr_3ds.h"

#include <cstring>

#include "render/vsurf_3d.h"
#include "resources/loaders/vldr_stream.h"
#include "util/vmod_math.h"

namespace {

// Chunk IDs.
constexpr uint16_t CHUNK_MAIN = 0x4D4D;
constexpr uint16_t CHUNK_EDITOR = 0x3D3D;
constexpr uint16_t CHUNK_OBJECT = 0x4000;
constexpr uint16_t CHUNK_TRIMESH = 0x4100;
constexpr uint16_t CHUNK_VERTICES = 0x4110;
constexpr uint16_t CHUNK_FACES = 0x4120;
constexpr uint16_t CHUNK_FACEMATERIAL = 0x4130;
constexpr uint16_t CHUNK_MAPPING = 0x4140;
constexpr uint16_t CHUNK_MATERIAL = 0xAFFF;
constexpr uint16_t CHUNK_MATERIALNAME = 0xA000;
constexpr uint16_t CHUNK_DIFFUSE = 0xA020;
constexpr uint16_t CHUNK_COLOURFLOAT = 0x0010;
constexpr uint16_t CHUNK_COLOUR24 = 0x0011;
constexpr uint16_t CHUNK_LINEARCOLOUR24 = 0x0012;
constexpr uint16_t CHUNK_LINEARCOLOURFLOAT = 0x0013;

constexpr uint32_t CHUNKHEADER = 6;   // 16-bit ID, 32-bit length
constexpr uint32_t VERTEXBYTES = 12;  // three floats
constexpr uint32_t FACEBYTES = 8;     // three vertex indices and a flags word
constexpr uint32_t MAPBYTES = 8;      // two floats
constexpr int32_t BASESHIFT = 6;      // coordinate shift at option 0
constexpr int32_t MAXSHIFT = 31;
constexpr uint32_t POLYGONCOLOUR = 0xFFFFFF;  // the fourth, unread word of a triangle item
constexpr uint32_t OPAQUE = 0xFF000000u;
constexpr int64_t ONE16 = 0x10000;  // 1.0 in 16.16

struct CHUNK {
  uint16_t id;
  uint32_t data;  // first byte after the header
  uint32_t end;   // one past its last byte
};

// A counted list: a 16-bit count, then the items.
struct LIST {
  uint32_t data = 0;  // the first item
  uint32_t count = 0;
};

struct MESH {
  LIST vertices, faces, mapping;
  uint32_t facesend = 0;      // end of the face list chunk; its material groups follow the faces
  uint32_t firstvertex = 0;   // model-wide index of the mesh's first vertex
  uint32_t firstpolygon = 0;  // and of its first triangle
};

struct MATERIAL {
  const uint8_t* name = nullptr;  // in the block; null when the material has none
  uint32_t namelength = 0;
  uint32_t colour = 0;  // diffuse, opaque
  bool coloured = false;
};

// A material group of a face list: the material's name and face indices.
struct GROUP {
  const uint8_t* name = nullptr;
  uint32_t namelength = 0;
  LIST faces;
};

struct MODEL {
  const uint8_t* block = nullptr;
  MESH meshes[VLDR_3DS_MAXOBJECTS];
  uint32_t meshcount = 0;
  MATERIAL materials[VLDR_3DS_MAXMATERIALS];
  uint32_t materialcount = 0;  // kept in materials
  uint32_t materialsseen = 0;  // in the file
  uint32_t vertices = 0;       // totals of all meshes
  uint32_t polygons = 0;
};

// What the streaming pass works with.
struct LOAD {
  ClassVLoaderBase& in;
  V3DSurface* surface;
  VLDR_3DCALLBACKINFO& info;
  const MODEL& model;
  int32_t shift;  // coordinate shift from the option
};

// --- the chunk walk -------------------------------------------------------------

// The chunk whose header is at `at`; false when it is shorter than its header
// or does not lie within its parent, which ends at `end`.
bool ReadChunk(ClassVLoaderBase& in, uint32_t at, uint32_t end, CHUNK& chunk) {
  uint16_t id = 0;
  uint32_t length = 0;
  if (uint64_t(at) + CHUNKHEADER > end) return false;
  in.SeekSet(at);
  if (!in.Read16(id) || !in.Read32(length)) return false;
  if (length < CHUNKHEADER || uint64_t(at) + length > end) return false;
  chunk = {id, at + CHUNKHEADER, at + length};
  return true;
}

// Calls visit(chunk) for each chunk from start to end in turn: the first
// non-zero result, 1 for a chunk that breaks its parent, else 0.
template <class Visit>
int ForEachChunk(ClassVLoaderBase& in, uint32_t start, uint32_t end, Visit visit) {
  for (uint32_t at = start; at < end;) {
    CHUNK chunk;
    if (!ReadChunk(in, at, end, chunk)) return VLDR_CORRUPT;
    if (int result = visit(chunk)) return result;
    at = chunk.end;
  }
  return VLDR_LOADED;
}

// The zero-terminated string at `at`, which must end before `end`.
bool ReadString(const MODEL& model, uint32_t at, uint32_t end, const uint8_t*& text, uint32_t& length) {
  if (at >= end) return false;
  const void* zero = std::memchr(model.block + at, 0, end - at);
  if (!zero) return false;
  text = model.block + at;
  length = uint32_t(static_cast<const uint8_t*>(zero) - text);
  return true;
}

// A counted list at `at` whose items must end by `end`.
int ReadList(ClassVLoaderBase& in, uint32_t at, uint32_t end, uint32_t itembytes, LIST& list) {
  uint16_t count = 0;
  if (uint64_t(at) + 2 > end) return VLDR_CORRUPT;
  in.SeekSet(at);
  if (!in.Read16(count) || uint64_t(at) + 2 + uint64_t(count) * itembytes > end) return VLDR_CORRUPT;
  list = {at + 2, count};
  return VLDR_LOADED;
}

// The three corners of face `index`; the list was checked against the block.
void ReadFace(ClassVLoaderBase& in, const LIST& faces, uint32_t index, uint16_t corners[3]) {
  in.SeekSet(faces.data + uint64_t(index) * FACEBYTES);
  for (int i = 0; i < 3; ++i) in.Read16(corners[i]);
}

uint16_t ReadGroupFace(ClassVLoaderBase& in, const GROUP& group, uint32_t index) {
  uint16_t face = 0;
  in.SeekSet(group.faces.data + uint64_t(index) * 2);
  in.Read16(face);
  return face;
}

// Material group: a material name, then a counted list of face indices.
int ReadGroup(ClassVLoaderBase& in, const MODEL& model, const CHUNK& chunk, GROUP& group) {
  if (!ReadString(model, chunk.data, chunk.end, group.name, group.namelength)) return VLDR_CORRUPT;
  return ReadList(in, chunk.data + group.namelength + 1, chunk.end, 2, group.faces);
}

// Calls visit(group) for each material group of a mesh's face list.
template <class Visit>
int ForEachGroup(ClassVLoaderBase& in, const MODEL& model, const MESH& mesh, Visit visit) {
  const uint32_t groupsstart = mesh.faces.data + mesh.faces.count * FACEBYTES;
  return ForEachChunk(in, groupsstart, mesh.facesend, [&](const CHUNK& chunk) {
    if (chunk.id != CHUNK_FACEMATERIAL) return VLDR_LOADED;
    GROUP group;
    if (int result = ReadGroup(in, model, chunk, group)) return result;
    return visit(group);
  });
}

// --- number conversion ----------------------------------------------------------

// A float to fixed point with `bits` fraction bits, where a fraction one
// step short of a whole number (the float's truncation) rounds up to it and
// one a step above rounds down.
int64_t RoundedFixed(uint32_t floatbits, int32_t bits) {
  const uint32_t mask = (1u << bits) - 1;
  int64_t v = ClassVMath::FloatToFixed(floatbits, bits);
  const uint32_t fraction = uint32_t(v) & mask;
  if (fraction == mask) ++v;
  if (fraction == 1) --v;
  return v;
}

int32_t Coordinate(uint32_t floatbits, int32_t shift) { return VLdr_Saturate(RoundedFixed(floatbits, 12)) >> shift; }

// Mapping coordinate: the value + 1 in 16.16.
uint32_t Texel(uint32_t floatbits) { return uint32_t(VLdr_Saturate(RoundedFixed(floatbits, 16) + ONE16)); }

int32_t Shift(int8_t option) {
  const int32_t shift = BASESHIFT - option;
  return shift < 0 ? 0 : shift > MAXSHIFT ? MAXSHIFT : shift;
}

// --- the scan -------------------------------------------------------------------

uint32_t ReadChannel(ClassVLoaderBase& in, bool isfloat) {
  if (isfloat) {
    uint32_t bits = 0;
    in.Read32(bits);
    return VLdr_FloatChannel(bits);
  }
  uint8_t byte = 0;
  in.Read8(byte);
  return byte;
}

// Colour chunk: three bytes or three floats, red first. A diffuse chunk may
// carry the colour twice (gamma-corrected and linear); the first one counts.
int ReadColour(ClassVLoaderBase& in, const CHUNK& chunk, MATERIAL& material) {
  const bool floats = chunk.id == CHUNK_COLOURFLOAT || chunk.id == CHUNK_LINEARCOLOURFLOAT;
  if (!floats && chunk.id != CHUNK_COLOUR24 && chunk.id != CHUNK_LINEARCOLOUR24) return VLDR_LOADED;
  if (material.coloured) return VLDR_LOADED;
  if (chunk.end - chunk.data < (floats ? 12u : 3u)) return VLDR_CORRUPT;
  in.SeekSet(chunk.data);
  uint32_t colour = OPAQUE;
  for (int shift = 0; shift < 24; shift += 8) colour |= ReadChannel(in, floats) << shift;
  material.colour = colour;
  material.coloured = true;
  return VLDR_LOADED;
}

// Material: its name and its diffuse colour; kept while there is room.
int ScanMaterial(ClassVLoaderBase& in, MODEL& model, const CHUNK& chunk) {
  MATERIAL material;
  int result = ForEachChunk(in, chunk.data, chunk.end, [&](const CHUNK& child) {
    if (child.id == CHUNK_MATERIALNAME) {
      return ReadString(model, child.data, child.end, material.name, material.namelength) ? VLDR_LOADED : VLDR_CORRUPT;
    }
    if (child.id != CHUNK_DIFFUSE) return VLDR_LOADED;
    return ForEachChunk(in, child.data, child.end, [&](const CHUNK& c) { return ReadColour(in, c, material); });
  });
  if (result) return result;
  if (model.materialcount < VLDR_3DS_MAXMATERIALS) model.materials[model.materialcount++] = material;
  ++model.materialsseen;
  return VLDR_LOADED;
}

int CheckFaces(ClassVLoaderBase& in, const MESH& mesh) {
  for (uint32_t i = 0; i < mesh.faces.count; ++i) {
    uint16_t corners[3];
    ReadFace(in, mesh.faces, i, corners);
    for (uint16_t corner : corners)
      if (corner >= mesh.vertices.count) return VLDR_CORRUPT;
  }
  return VLDR_LOADED;
}

int CheckGroups(ClassVLoaderBase& in, const MODEL& model, const MESH& mesh) {
  return ForEachGroup(in, model, mesh, [&](const GROUP& group) {
    for (uint32_t i = 0; i < group.faces.count; ++i)
      if (ReadGroupFace(in, group, i) >= mesh.faces.count) return VLDR_CORRUPT;
    return VLDR_LOADED;
  });
}

// Triangle mesh: its vertex, face and mapping lists (a repeated list
// replaces the earlier one), checked, then placed after the meshes before it.
int ScanMesh(ClassVLoaderBase& in, MODEL& model, const CHUNK& chunk) {
  if (model.meshcount == VLDR_3DS_MAXOBJECTS) return VLDR_CORRUPT;
  MESH mesh;
  int result = ForEachChunk(in, chunk.data, chunk.end, [&](const CHUNK& child) {
    switch (child.id) {
      case CHUNK_VERTICES: return ReadList(in, child.data, child.end, VERTEXBYTES, mesh.vertices);
      case CHUNK_FACES: mesh.facesend = child.end; return ReadList(in, child.data, child.end, FACEBYTES, mesh.faces);
      case CHUNK_MAPPING: return ReadList(in, child.data, child.end, MAPBYTES, mesh.mapping);
      default: return VLDR_LOADED;
    }
  });
  if (!result) result = CheckFaces(in, mesh);
  if (!result) result = CheckGroups(in, model, mesh);
  if (result) return result;
  mesh.firstvertex = model.vertices;
  mesh.firstpolygon = model.polygons;
  model.vertices += mesh.vertices.count;
  model.polygons += mesh.faces.count;
  model.meshes[model.meshcount++] = mesh;
  return VLDR_LOADED;
}

// Named object: its name, then what it is (only triangle meshes are read).
int ScanObject(ClassVLoaderBase& in, MODEL& model, const CHUNK& chunk) {
  const uint8_t* name = nullptr;
  uint32_t namelength = 0;
  if (!ReadString(model, chunk.data, chunk.end, name, namelength)) return VLDR_CORRUPT;
  return ForEachChunk(in, chunk.data + namelength + 1, chunk.end, [&](const CHUNK& child) {
    return child.id == CHUNK_TRIMESH ? ScanMesh(in, model, child) : VLDR_LOADED;
  });
}

// Editor chunk: the materials and the named objects.
int ScanEditor(ClassVLoaderBase& in, MODEL& model, const CHUNK& chunk) {
  return ForEachChunk(in, chunk.data, chunk.end, [&](const CHUNK& child) {
    switch (child.id) {
      case CHUNK_MATERIAL: return ScanMaterial(in, model, child);
      case CHUNK_OBJECT: return ScanObject(in, model, child);
      default: return VLDR_LOADED;
    }
  });
}

// Main chunk: it must lie within the block; the editor chunks inside count.
int Scan(ClassVLoaderBase& in, MODEL& model, uint32_t length) {
  CHUNK main;
  if (!ReadChunk(in, 0, length, main)) return VLDR_CORRUPT;
  return ForEachChunk(in, main.data, main.end, [&](const CHUNK& child) {
    return child.id == CHUNK_EDITOR ? ScanEditor(in, model, child) : VLDR_LOADED;
  });
}

// --- streaming ------------------------------------------------------------------

uint32_t ReadFloat(ClassVLoaderBase& in, uint64_t at) {
  uint32_t bits = 0;
  in.SeekSet(at);
  in.Read32(bits);
  return bits;
}

int StreamVertices(LOAD& load, const MESH& mesh) {
  auto make = [&](uint32_t i, uint32_t* item) {
    for (uint32_t axis = 0; axis < 3; ++axis) {
      const uint32_t bits = ReadFloat(load.in, mesh.vertices.data + uint64_t(i) * VERTEXBYTES + axis * 4);
      item[axis] = uint32_t(Coordinate(bits, load.shift));
    }
  };
  return VLdr_StreamBatches(load.surface, &V3DSurface::LdrOnVertexStream, load.info, load.info.vertexstart,
                            mesh.firstvertex, mesh.vertices.count, 3, VLDR_3DS_VERTEXBATCH, make);
}

// Face indices count within their mesh; the model counts across all meshes.
int StreamPolygons(LOAD& load, const MESH& mesh) {
  auto make = [&](uint32_t i, uint32_t* item) {
    uint16_t corners[3];
    ReadFace(load.in, mesh.faces, i, corners);
    for (int c = 0; c < 3; ++c) item[c] = mesh.firstvertex + corners[c];
    item[3] = POLYGONCOLOUR;
  };
  return VLdr_StreamBatches(load.surface, &V3DSurface::LdrOnPolygonStream, load.info, load.info.polygonstart,
                            mesh.firstpolygon, mesh.faces.count, 4, VLDR_3DS_POLYGONBATCH, make);
}

// One mapping coordinate per vertex from the mesh's first vertex; extra ones
// would land on the next mesh's vertices.
int StreamTexels(LOAD& load, const MESH& mesh) {
  auto make = [&](uint32_t i, uint32_t* item) {
    for (uint32_t axis = 0; axis < 2; ++axis)
      item[axis] = Texel(ReadFloat(load.in, mesh.mapping.data + uint64_t(i) * MAPBYTES + axis * 4));
    item[2] = 1;
  };
  const uint32_t count = mesh.mapping.count < mesh.vertices.count ? mesh.mapping.count : mesh.vertices.count;
  return VLdr_StreamBatches(load.surface, &V3DSurface::LdrOnTexelStream, load.info, load.info.texelstart,
                            mesh.firstvertex, count, 3, VLDR_3DS_TEXELBATCH, make);
}

int StreamRun(LOAD& load, uint32_t firstpolygon, uint32_t count, uint32_t colour) {
  auto make = [&](uint32_t, uint32_t* item) { item[0] = colour; };
  return VLdr_StreamBatches(load.surface, &V3DSurface::LdrOnColorStream, load.info, load.info.colorstart, firstpolygon,
                            count, 1, VLDR_3DS_COLORBATCH, make);
}

const MATERIAL* FindMaterial(const MODEL& model, const GROUP& group) {
  for (uint32_t i = 0; i < model.materialcount; ++i) {
    const MATERIAL& m = model.materials[i];
    if (m.name && m.namelength == group.namelength && std::memcmp(m.name, group.name, m.namelength) == 0) return &m;
  }
  return nullptr;
}

// A group's material colour for each run of consecutive faces in its list.
int StreamGroupColours(LOAD& load, const MESH& mesh, const GROUP& group) {
  const MATERIAL* material = FindMaterial(load.model, group);
  if (!material || !material->coloured) return VLDR_LOADED;
  uint32_t runstart = 0, runlength = 0;
  for (uint32_t i = 0; i < group.faces.count; ++i) {
    const uint32_t face = ReadGroupFace(load.in, group, i);
    if (runlength && face == runstart + runlength) {
      ++runlength;
      continue;
    }
    if (runlength) {
      if (int result = StreamRun(load, mesh.firstpolygon + runstart, runlength, material->colour)) return result;
    }
    runstart = face;
    runlength = 1;
  }
  return runlength ? StreamRun(load, mesh.firstpolygon + runstart, runlength, material->colour) : VLDR_LOADED;
}

int StreamMesh(LOAD& load, const MESH& mesh) {
  if (int result = StreamVertices(load, mesh)) return result;
  if (int result = StreamPolygons(load, mesh)) return result;
  if (int result = StreamTexels(load, mesh)) return result;
  return ForEachGroup(load.in, load.model, mesh,
                      [&](const GROUP& group) { return StreamGroupColours(load, mesh, group); });
}

}  // namespace

int VLoader_3DS::Start(V3DSurface* surface, const void* block, uint32_t length, int8_t option, uint32_t flags) {
  LinkData(block, length);
  SetByteOrder(false);
  uint16_t id = 0;
  if (!surface || !Read16(id) || id != CHUNK_MAIN) return VLDR_NOTMYFORMAT;
  MODEL model;
  model.block = static_cast<const uint8_t*>(block);
  if (int result = Scan(*this, model, length)) return result;

  VLDR_3DCALLBACKINFO info = {};
  info.vertexcount = model.vertices;
  info.polygoncount = model.polygons;
  info.texelmode = 1;
  info.colormode = 0;
  info.flags = flags;
  info.reserved[0] = model.meshcount;
  info.reserved[1] = model.materialsseen;
  if (int result = surface->LdrOnCreate(&info)) return result;
  LOAD load = {*this, surface, info, model, Shift(option)};
  for (uint32_t i = 0; i < model.meshcount; ++i) {
    if (int result = StreamMesh(load, model.meshes[i])) return result;
  }
  return VLDR_LOADED;
}
