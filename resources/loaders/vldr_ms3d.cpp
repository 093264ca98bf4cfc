// vldr_ms3d.cpp - the MS3D loader.
//
// The file is a row of counted sections of fixed-size records, except the
// groups and the joints, whose records vary in length. The scan steps over
// them all, checking every count against the data left and every index
// against its table, and notes where each section lies; only a file that
// passes creates the model, which is then filled from those places.
#include "resources/loaders/vldr_ms3d.h"

#include <cstring>

#include "render/vsurf_3d.h"
#include "resources/loaders/vldr_stream.h"
#include "util/vmod_math.h"

namespace {

constexpr char SIGNATURE[] = "MS3D000000";
constexpr uint32_t SIGNATUREBYTES = 10;
constexpr uint32_t VERTEXBYTES = 15;     // flags, x, y, z, joint, reference count
constexpr uint32_t TRIANGLEBYTES = 70;   // flags, indices, corner normals, s, t, smoothing group, group
constexpr uint32_t GROUPHEADBYTES = 35;  // flags, name, triangle count; the indices and a material follow
constexpr uint32_t MATERIALBYTES = 361;  // name, four colours, shininess, transparency, mode, two file names
constexpr uint32_t ANIMATIONBYTES = 12;  // frames per second, current time, total frames
constexpr uint32_t JOINTBYTES = 93;      // flags, name, parent name, rotation, position, key counts
constexpr uint32_t KEYBYTES = 16;        // time, x, y, z
constexpr uint32_t NAMEBYTES = 32;

// Field offsets within the records.
constexpr uint32_t VERTEX_POSITION = 1;
constexpr uint32_t VERTEX_JOINT = 13;
constexpr uint32_t TRIANGLE_INDICES = 2;
constexpr uint32_t TRIANGLE_NORMALS = 8;
constexpr uint32_t TRIANGLE_S = 44;
constexpr uint32_t TRIANGLE_T = 56;
constexpr uint32_t GROUP_COUNT = 33;
constexpr uint32_t MATERIAL_DIFFUSE = 48;
constexpr uint32_t JOINT_NAME = 1;
constexpr uint32_t JOINT_PARENT = 33;
constexpr uint32_t JOINT_ROTATION = 65;
constexpr uint32_t JOINT_POSITION = 77;
constexpr uint32_t JOINT_ROTATIONKEYS = 89;
constexpr uint32_t JOINT_POSITIONKEYS = 91;

// Items per batch, each batch about 1 KB.
constexpr uint32_t VERTEXBATCH = 85;
constexpr uint32_t POLYGONBATCH = 64;
constexpr uint32_t NORMALBATCH = 85;
constexpr uint32_t TEXELBATCH = 42;
constexpr uint32_t COLORBATCH = 256;
constexpr uint32_t JOINTBATCH = 28;
constexpr uint32_t ATTACHMENTBATCH = 128;
constexpr uint32_t KEYBATCH = 64;

constexpr uint32_t POLYGONCOLOUR = 0xFFFFFF;  // the fourth, unread word of a triangle item
constexpr uint32_t WHITE = 0xFFFFFFFFu;       // a triangle without material: the model's own default
constexpr uint32_t OPAQUE = 0xFF000000u;
constexpr int64_t ANGLESPERRADIAN = 42722830;  // 4096 / 2 pi, 16.16
constexpr int8_t NOMATERIAL = -1;

struct GROUP {
  int8_t material = NOMATERIAL;
  uint32_t triangles = 0;  // its first triangle index
  uint32_t count = 0;
};

struct JOINT {
  uint32_t at = 0;  // the record
  uint32_t rotationkeys = 0, positionkeys = 0;
  int32_t parent = -1;
};

struct MODEL {
  const uint8_t* block = nullptr;
  uint32_t vertexdata = 0, vertices = 0;
  uint32_t triangledata = 0, triangles = 0;
  GROUP groups[VLDR_MS3D_MAXGROUPS];
  uint32_t groupcount = 0;  // in the file; the first VLDR_MS3D_MAXGROUPS are kept
  uint32_t materialdata = 0, materials = 0;
  JOINT joints[VLDR_MS3D_MAXJOINTS];
  uint32_t jointcount = 0;
  uint32_t attachments = 0;  // vertices with a joint
};

// What the streaming pass works with.
struct LOAD {
  ClassVLoaderBase& in;
  V3DSurface* surface;
  VLDR_3DCALLBACKINFO& info;
  const MODEL& model;
  const uint8_t* firstcorners;      // per vertex: 32-bit triangle x 3 + corner + 1, 0 for none
  const int8_t* trianglematerials;  // per triangle: material index or NOMATERIAL; null when none is used
};

// --- fields ---------------------------------------------------------------------

// Fields at a place the scan has found within the block.
uint16_t Field16(ClassVLoaderBase& in, uint64_t at) {
  uint16_t v = 0;
  in.SeekSet(at);
  in.Read16(v);
  return v;
}

uint32_t Field32(ClassVLoaderBase& in, uint64_t at) {
  uint32_t v = 0;
  in.SeekSet(at);
  in.Read32(v);
  return v;
}

int8_t FieldSigned8(ClassVLoaderBase& in, uint64_t at) {
  uint8_t v = 0;
  in.SeekSet(at);
  in.Read8(v);
  return int8_t(v);
}

int32_t Fixed(ClassVLoaderBase& in, uint64_t at, int32_t bits) {
  return ClassVMath::FloatToFixed(Field32(in, at), bits);
}

// Radians to angles of 4096 to the turn.
int32_t Angle(ClassVLoaderBase& in, uint64_t at) {
  const int64_t radians = ClassVMath::FloatToFixed(Field32(in, at), 16);
  return VLdr_Saturate((radians * ANGLESPERRADIAN + (int64_t(1) << 31)) >> 32);
}

// Seconds to ms; times before 0 are 0.
uint32_t Milliseconds(ClassVLoaderBase& in, uint64_t at) {
  const int64_t seconds = ClassVMath::FloatToFixed(Field32(in, at), 16);
  return seconds <= 0 ? 0 : uint32_t((seconds * 1000 + 0x8000) >> 16);
}

bool SameName(const uint8_t* a, const uint8_t* b) {
  return std::strncmp(reinterpret_cast<const char*>(a), reinterpret_cast<const char*>(b), NAMEBYTES) == 0;
}

uint64_t VertexAt(const MODEL& model, uint32_t v) { return model.vertexdata + uint64_t(v) * VERTEXBYTES; }
uint64_t TriangleAt(const MODEL& model, uint32_t t) { return model.triangledata + uint64_t(t) * TRIANGLEBYTES; }

// --- the scan -------------------------------------------------------------------

bool HasSignature(ClassVLoaderBase& in) {
  char signature[SIGNATUREBYTES];
  uint32_t version = 0;
  if (in.Remaining() < SIGNATUREBYTES) return false;
  in.ReadStream(signature, SIGNATUREBYTES);
  return std::memcmp(signature, SIGNATURE, SIGNATUREBYTES) == 0 && in.Read32(version) && (version == 3 || version == 4);
}

// A 16-bit count and that many records of `bytes` each, which must fit.
int ReadSection(ClassVLoaderBase& in, uint32_t bytes, uint32_t& data, uint32_t& count) {
  uint16_t n = 0;
  if (!in.Read16(n) || uint64_t(n) * bytes > in.Remaining()) return VLDR_CORRUPT;
  data = in.Tell();
  count = n;
  in.SeekRelative(int64_t(n) * bytes);
  return VLDR_LOADED;
}

// One group: its triangle indices must name triangles.
int ScanGroup(ClassVLoaderBase& in, const MODEL& model, GROUP& group) {
  const uint32_t at = in.Tell();
  if (in.Remaining() < GROUPHEADBYTES) return VLDR_CORRUPT;
  group.count = Field16(in, at + GROUP_COUNT);
  group.triangles = at + GROUPHEADBYTES;
  if (in.Remaining() < uint64_t(group.count) * 2 + 1) return VLDR_CORRUPT;
  for (uint32_t i = 0; i < group.count; ++i) {
    uint16_t triangle = 0;
    in.Read16(triangle);
    if (triangle >= model.triangles) return VLDR_CORRUPT;
  }
  group.material = FieldSigned8(in, in.Tell());
  return VLDR_LOADED;
}

int ScanGroups(ClassVLoaderBase& in, MODEL& model) {
  uint16_t count = 0;
  if (!in.Read16(count)) return VLDR_CORRUPT;
  for (uint32_t g = 0; g < count; ++g) {
    GROUP group;
    if (int result = ScanGroup(in, model, group)) return result;
    if (g < VLDR_MS3D_MAXGROUPS) model.groups[g] = group;
  }
  model.groupcount = count;
  return VLDR_LOADED;
}

// The parent named in joint j's record: none for an empty name, else one of
// the joints before it, so that parents are posed before their children.
bool FindParent(const MODEL& model, uint32_t j, int32_t& parent) {
  const uint8_t* name = model.block + model.joints[j].at + JOINT_PARENT;
  parent = -1;
  if (name[0] == 0) return true;
  for (uint32_t k = 0; k < j; ++k) {
    if (SameName(model.block + model.joints[k].at + JOINT_NAME, name)) {
      parent = int32_t(k);
      return true;
    }
  }
  return false;
}

int ScanJoints(ClassVLoaderBase& in, MODEL& model) {
  uint16_t count = 0;
  if (!in.Read16(count) || count > VLDR_MS3D_MAXJOINTS) return VLDR_CORRUPT;
  for (uint32_t j = 0; j < count; ++j) {
    JOINT& joint = model.joints[j];
    joint.at = in.Tell();
    if (in.Remaining() < JOINTBYTES) return VLDR_CORRUPT;
    joint.rotationkeys = Field16(in, joint.at + JOINT_ROTATIONKEYS);
    joint.positionkeys = Field16(in, joint.at + JOINT_POSITIONKEYS);
    const uint64_t keybytes = uint64_t(joint.rotationkeys + joint.positionkeys) * KEYBYTES;
    if (in.Remaining() < keybytes || !FindParent(model, j, joint.parent)) return VLDR_CORRUPT;
    in.SeekRelative(int64_t(keybytes));
  }
  model.jointcount = count;
  return VLDR_LOADED;
}

// A vertex's joint must exist; -1 (any negative byte) is none.
int CheckVertices(ClassVLoaderBase& in, MODEL& model) {
  for (uint32_t v = 0; v < model.vertices; ++v) {
    const int8_t joint = FieldSigned8(in, VertexAt(model, v) + VERTEX_JOINT);
    if (joint < 0) continue;
    if (uint32_t(joint) >= model.jointcount) return VLDR_CORRUPT;
    ++model.attachments;
  }
  return VLDR_LOADED;
}

int CheckTriangles(ClassVLoaderBase& in, const MODEL& model) {
  for (uint32_t t = 0; t < model.triangles; ++t) {
    for (uint32_t c = 0; c < 3; ++c)
      if (Field16(in, TriangleAt(model, t) + TRIANGLE_INDICES + c * 2) >= model.vertices) return VLDR_CORRUPT;
  }
  return VLDR_LOADED;
}

int CheckGroupMaterials(const MODEL& model) {
  const uint32_t used = model.groupcount < VLDR_MS3D_MAXGROUPS ? model.groupcount : VLDR_MS3D_MAXGROUPS;
  for (uint32_t g = 0; g < used; ++g) {
    const int8_t material = model.groups[g].material;
    if (material >= 0 && uint32_t(material) >= model.materials) return VLDR_CORRUPT;
  }
  return VLDR_LOADED;
}

int Scan(ClassVLoaderBase& in, MODEL& model) {
  if (int result = ReadSection(in, VERTEXBYTES, model.vertexdata, model.vertices)) return result;
  if (int result = ReadSection(in, TRIANGLEBYTES, model.triangledata, model.triangles)) return result;
  if (int result = ScanGroups(in, model)) return result;
  if (int result = ReadSection(in, MATERIALBYTES, model.materialdata, model.materials)) return result;
  if (in.Remaining() < ANIMATIONBYTES) return VLDR_CORRUPT;
  in.SeekRelative(ANIMATIONBYTES);
  if (int result = ScanJoints(in, model)) return result;
  if (int result = CheckVertices(in, model)) return result;
  if (int result = CheckTriangles(in, model)) return result;
  return CheckGroupMaterials(model);
}

// --- what the streams need ------------------------------------------------------

// For each vertex the first triangle corner that uses it, whose normal it takes.
void FindFirstCorners(ClassVLoaderBase& in, const MODEL& model, uint8_t* firstcorners) {
  std::memset(firstcorners, 0, size_t(model.vertices) * 4);
  for (uint32_t t = 0; t < model.triangles; ++t) {
    for (uint32_t c = 0; c < 3; ++c) {
      const uint32_t v = Field16(in, TriangleAt(model, t) + TRIANGLE_INDICES + c * 2);
      uint32_t corner = 0;
      std::memcpy(&corner, firstcorners + size_t(v) * 4, 4);
      if (corner) continue;
      corner = t * 3 + c + 1;
      std::memcpy(firstcorners + size_t(v) * 4, &corner, 4);
    }
  }
}

// Each triangle's material from the groups kept (a later group wins); false
// when no group names a material.
bool AssignMaterials(ClassVLoaderBase& in, const MODEL& model, int8_t* trianglematerials) {
  std::memset(trianglematerials, NOMATERIAL, model.triangles);
  const uint32_t used = model.groupcount < VLDR_MS3D_MAXGROUPS ? model.groupcount : VLDR_MS3D_MAXGROUPS;
  bool any = false;
  for (uint32_t g = 0; g < used; ++g) {
    const GROUP& group = model.groups[g];
    if (group.material < 0) continue;
    any = true;
    for (uint32_t i = 0; i < group.count; ++i)
      trianglematerials[Field16(in, group.triangles + uint64_t(i) * 2)] = group.material;
  }
  return any;
}

// --- streaming ------------------------------------------------------------------

// Joint properties: parent, rotation (angles), position (20.12), key counts.
int StreamJointProperties(LOAD& load) {
  auto make = [&](uint32_t j, uint32_t* item) {
    const JOINT& joint = load.model.joints[j];
    item[0] = uint32_t(joint.parent);
    for (uint32_t axis = 0; axis < 3; ++axis) {
      item[1 + axis] = uint32_t(Angle(load.in, joint.at + JOINT_ROTATION + axis * 4));
      item[4 + axis] = uint32_t(Fixed(load.in, joint.at + JOINT_POSITION + axis * 4, 12));
    }
    item[7] = joint.rotationkeys;
    item[8] = joint.positionkeys;
  };
  load.info.jointitem = VLDR_JOINT_PROPERTIES;
  return VLdr_StreamBatches(load.surface, &V3DSurface::LdrOnJointStream, load.info, load.info.jointstart, 0,
                            load.model.jointcount, 9, JOINTBATCH, make);
}

// Attachments: each vertex that names a joint, with that joint.
int StreamAttachments(LOAD& load) {
  uint32_t next = 0;
  auto make = [&](uint32_t, uint32_t* item) {
    int8_t joint = FieldSigned8(load.in, VertexAt(load.model, next) + VERTEX_JOINT);
    while (joint < 0) joint = FieldSigned8(load.in, VertexAt(load.model, ++next) + VERTEX_JOINT);
    item[0] = next++;
    item[1] = uint32_t(joint);
  };
  uint32_t first = 0;  // attachments carry no start field
  load.info.jointitem = VLDR_JOINT_ATTACHMENTS;
  return VLdr_StreamBatches(load.surface, &V3DSurface::LdrOnJointStream, load.info, first, 0, load.model.attachments, 2,
                            ATTACHMENTBATCH, make);
}

int StreamVertices(LOAD& load) {
  auto make = [&](uint32_t v, uint32_t* item) {
    for (uint32_t axis = 0; axis < 3; ++axis)
      item[axis] = uint32_t(Fixed(load.in, VertexAt(load.model, v) + VERTEX_POSITION + axis * 4, 12));
  };
  return VLdr_StreamBatches(load.surface, &V3DSurface::LdrOnVertexStream, load.info, load.info.vertexstart, 0,
                            load.model.vertices, 3, VERTEXBATCH, make);
}

int StreamPolygons(LOAD& load) {
  auto make = [&](uint32_t t, uint32_t* item) {
    for (uint32_t c = 0; c < 3; ++c) item[c] = Field16(load.in, TriangleAt(load.model, t) + TRIANGLE_INDICES + c * 2);
    item[3] = POLYGONCOLOUR;
  };
  return VLdr_StreamBatches(load.surface, &V3DSurface::LdrOnPolygonStream, load.info, load.info.polygonstart, 0,
                            load.model.triangles, 4, POLYGONBATCH, make);
}

int StreamNormals(LOAD& load) {
  auto make = [&](uint32_t v, uint32_t* item) {
    uint32_t corner = 0;
    std::memcpy(&corner, load.firstcorners + size_t(v) * 4, 4);
    for (uint32_t axis = 0; axis < 3; ++axis) item[axis] = 0;
    if (!corner--) return;
    const uint64_t at = TriangleAt(load.model, corner / 3) + TRIANGLE_NORMALS + (corner % 3) * 12;
    for (uint32_t axis = 0; axis < 3; ++axis) item[axis] = uint32_t(Fixed(load.in, at + axis * 4, 12));
  };
  return VLdr_StreamBatches(load.surface, &V3DSurface::LdrOnNormalStream, load.info, load.info.normalstart, 0,
                            load.model.vertices, 3, NORMALBATCH, make);
}

// Per triangle: u and v of its first, second and third corner.
int StreamTexels(LOAD& load) {
  auto make = [&](uint32_t t, uint32_t* item) {
    const uint64_t at = TriangleAt(load.model, t);
    for (uint32_t c = 0; c < 3; ++c) {
      item[c * 2] = uint32_t(Fixed(load.in, at + TRIANGLE_S + c * 4, 16));
      item[c * 2 + 1] = uint32_t(Fixed(load.in, at + TRIANGLE_T + c * 4, 16));
    }
  };
  return VLdr_StreamBatches(load.surface, &V3DSurface::LdrOnTexelStream, load.info, load.info.texelstart, 0,
                            load.model.triangles, 6, TEXELBATCH, make);
}

uint32_t DiffuseColour(LOAD& load, int8_t material) {
  const uint64_t at = load.model.materialdata + uint64_t(material) * MATERIALBYTES + MATERIAL_DIFFUSE;
  uint32_t colour = OPAQUE;
  for (uint32_t c = 0; c < 3; ++c) colour |= VLdr_FloatChannel(Field32(load.in, at + c * 4)) << (c * 8);
  return colour;
}

int StreamColours(LOAD& load) {
  if (!load.trianglematerials) return VLDR_LOADED;
  auto make = [&](uint32_t t, uint32_t* item) {
    const int8_t material = load.trianglematerials[t];
    item[0] = material < 0 ? WHITE : DiffuseColour(load, material);
  };
  return VLdr_StreamBatches(load.surface, &V3DSurface::LdrOnColorStream, load.info, load.info.colorstart, 0,
                            load.model.triangles, 1, COLORBATCH, make);
}

// One joint's keys of one kind: time (ms), then angles or 20.12 positions.
int StreamKeys(LOAD& load, uint32_t j, uint8_t kind) {
  const JOINT& joint = load.model.joints[j];
  const bool rotation = kind == VLDR_KEYS_ROTATION;
  const uint64_t keys = uint64_t(joint.at) + JOINTBYTES + (rotation ? 0 : uint64_t(joint.rotationkeys) * KEYBYTES);
  auto make = [&](uint32_t k, uint32_t* item) {
    const uint64_t at = keys + uint64_t(k) * KEYBYTES;
    item[0] = Milliseconds(load.in, at);
    for (uint32_t axis = 0; axis < 3; ++axis)
      item[1 + axis] = uint32_t(rotation ? Angle(load.in, at + 4 + axis * 4) : Fixed(load.in, at + 4 + axis * 4, 12));
  };
  load.info.keyjoint = j;
  load.info.keykind = kind;
  return VLdr_StreamBatches(load.surface, &V3DSurface::LdrOnKeyFrameStream, load.info, load.info.keystart, 0,
                            rotation ? joint.rotationkeys : joint.positionkeys, 4, KEYBATCH, make);
}

int StreamModel(LOAD& load) {
  if (load.model.jointcount) {
    if (int result = StreamJointProperties(load)) return result;
    if (int result = StreamAttachments(load)) return result;
  }
  if (int result = StreamVertices(load)) return result;
  if (int result = StreamPolygons(load)) return result;
  if (int result = StreamNormals(load)) return result;
  if (int result = StreamTexels(load)) return result;
  if (int result = StreamColours(load)) return result;
  for (uint32_t j = 0; j < load.model.jointcount; ++j) {
    if (int result = StreamKeys(load, j, VLDR_KEYS_ROTATION)) return result;
    if (int result = StreamKeys(load, j, VLDR_KEYS_POSITION)) return result;
  }
  return VLDR_LOADED;
}

}  // namespace

int VLoader_MS3D::Start(V3DSurface* surface, const void* block, uint32_t length, int8_t option, uint32_t flags) {
  (void)option;
  LinkData(block, length);
  SetByteOrder(false);
  if (!surface || !HasSignature(*this)) return VLDR_NOTMYFORMAT;
  MODEL model;
  model.block = static_cast<const uint8_t*>(block);
  if (int result = Scan(*this, model)) return result;

  // The tables the streams read, made before the model so that running out
  // of memory leaves it untouched.
  VLdrBuffer firstcorners(model.vertices * 4), trianglematerials(model.triangles);
  if ((model.vertices && !firstcorners.Get()) || (model.triangles && !trianglematerials.Get())) return VLDR_OUTOFMEMORY;
  if (model.vertices) FindFirstCorners(*this, model, firstcorners.Get());
  int8_t* materials = reinterpret_cast<int8_t*>(trianglematerials.Get());
  const bool coloured = model.triangles && AssignMaterials(*this, model, materials);

  VLDR_3DCALLBACKINFO info = {};
  info.vertexcount = model.vertices;
  info.polygoncount = model.triangles;
  info.texelmode = 0;
  info.colormode = 0;
  info.normalmode = 1;
  info.flags = flags;
  info.jointcount = model.jointcount;
  info.reserved[0] = model.groupcount;
  info.reserved[1] = model.materials;
  if (int result = surface->LdrOnCreate(&info)) return result;
  LOAD load = {*this, surface, info, model, firstcorners.Get(), coloured ? materials : nullptr};
  return StreamModel(load);
}
