// model_writer.h - 3DS chunk structures and MS3D files in memory, for the
// asset tool, the loader tests and the fuzz seeds.
//
// Header-only. 3DS: a chunk is a 16-bit ID and a 32-bit length that counts
// its own 6-byte header; Chunk builds one around a body, and Write3ds a whole
// file (main, editor, materials, named meshes with vertices, faces, material
// groups and mapping coordinates). MS3D: WriteMs3d writes the header, the
// vertices, triangles, groups, materials, the animation header and the
// joints with their key frames. Everything little-endian; floats as IEEE
// single.
// Depends on: nothing.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tools/common/byte_writer.h"

namespace modelwriter {

using bytewriter::Bytes;
using bytewriter::Put16;
using bytewriter::Put32;
using bytewriter::Put8;
inline void PutFloat(Bytes& out, float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, 4);
  Put32(out, bits);
}
inline void PutBytes(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }
// A zero-terminated string.
inline void PutString(Bytes& out, const std::string& text) {
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
}
// A string in a field of fixed size, zero-padded (cut to size - 1 characters).
inline void PutField(Bytes& out, const std::string& text, size_t size) {
  for (size_t i = 0; i < size; ++i) out.push_back(i + 1 < size && i < text.size() ? uint8_t(text[i]) : 0);
}

// --- 3DS ------------------------------------------------------------------------

constexpr uint16_t k3dsMain = 0x4D4D;
constexpr uint16_t k3dsVersion = 0x0002;
constexpr uint16_t k3dsEditor = 0x3D3D;
constexpr uint16_t k3dsObject = 0x4000;
constexpr uint16_t k3dsTriMesh = 0x4100;
constexpr uint16_t k3dsVertices = 0x4110;
constexpr uint16_t k3dsFaces = 0x4120;
constexpr uint16_t k3dsFaceMaterial = 0x4130;
constexpr uint16_t k3dsMapping = 0x4140;
constexpr uint16_t k3dsMaterial = 0xAFFF;
constexpr uint16_t k3dsMaterialName = 0xA000;
constexpr uint16_t k3dsDiffuse = 0xA020;
constexpr uint16_t k3dsColourFloat = 0x0010;
constexpr uint16_t k3dsColour24 = 0x0011;

// A chunk around its body; length is the stored length when not 0 (to make
// broken files), else 6 + the body's size.
inline Bytes Chunk(uint16_t id, const Bytes& body, uint32_t length = 0) {
  Bytes out;
  Put16(out, id);
  Put32(out, length ? length : uint32_t(6 + body.size()));
  PutBytes(out, body);
  return out;
}

struct FACEGROUP3DS {
  std::string material;         // a material's name
  std::vector<uint16_t> faces;  // indices into the mesh's faces
};

struct MESH3DS {
  std::string name;
  std::vector<float> positions;  // x, y, z per vertex
  std::vector<uint16_t> faces;   // three vertex indices per face
  std::vector<float> mapping;    // u, v per vertex; empty: no mapping chunk
  std::vector<FACEGROUP3DS> groups;
};

struct MATERIAL3DS {
  std::string name;
  uint32_t colour = 0xFFFFFF;  // red in bits 0-7, green 8-15, blue 16-23
  bool floatcolour = false;    // written as three floats instead of three bytes
};

struct MODEL3DS {
  std::vector<MATERIAL3DS> materials;
  std::vector<MESH3DS> meshes;
};

// A counted list of `per` floats an item.
inline Bytes FloatList3ds(uint16_t id, const std::vector<float>& values, size_t per) {
  Bytes body;
  Put16(body, uint32_t(values.size() / per));
  for (float f : values) PutFloat(body, f);
  return Chunk(id, body);
}

inline Bytes VertexList3ds(const std::vector<float>& positions) { return FloatList3ds(k3dsVertices, positions, 3); }
inline Bytes MappingList3ds(const std::vector<float>& mapping) { return FloatList3ds(k3dsMapping, mapping, 2); }

inline Bytes FaceGroup3ds(const FACEGROUP3DS& group) {
  Bytes body;
  PutString(body, group.material);
  Put16(body, uint32_t(group.faces.size()));
  for (uint16_t face : group.faces) Put16(body, face);
  return Chunk(k3dsFaceMaterial, body);
}

// The faces (each with a flags word of 7: all edges visible), then their
// material groups.
inline Bytes FaceList3ds(const std::vector<uint16_t>& faces, const std::vector<FACEGROUP3DS>& groups) {
  Bytes body;
  Put16(body, uint32_t(faces.size() / 3));
  for (size_t i = 0; i + 2 < faces.size(); i += 3) {
    Put16(body, faces[i]);
    Put16(body, faces[i + 1]);
    Put16(body, faces[i + 2]);
    Put16(body, 7);
  }
  for (const FACEGROUP3DS& group : groups) PutBytes(body, FaceGroup3ds(group));
  return Chunk(k3dsFaces, body);
}

// A named object holding one triangle mesh.
inline Bytes Object3ds(const MESH3DS& mesh) {
  Bytes trimesh = VertexList3ds(mesh.positions);
  PutBytes(trimesh, FaceList3ds(mesh.faces, mesh.groups));
  if (!mesh.mapping.empty()) PutBytes(trimesh, MappingList3ds(mesh.mapping));
  Bytes body;
  PutString(body, mesh.name);
  PutBytes(body, Chunk(k3dsTriMesh, trimesh));
  return Chunk(k3dsObject, body);
}

inline Bytes Material3ds(const MATERIAL3DS& material) {
  Bytes name;
  PutString(name, material.name);
  Bytes colour;
  if (material.floatcolour) {
    for (int shift = 0; shift < 24; shift += 8) PutFloat(colour, float((material.colour >> shift) & 0xFF) / 255.0f);
  } else {
    for (int shift = 0; shift < 24; shift += 8) Put8(colour, material.colour >> shift);
  }
  Bytes body = Chunk(k3dsMaterialName, name);
  PutBytes(body, Chunk(k3dsDiffuse, Chunk(material.floatcolour ? k3dsColourFloat : k3dsColour24, colour)));
  return Chunk(k3dsMaterial, body);
}

// A main chunk around the given editor chunk's body.
inline Bytes Main3ds(const Bytes& editorbody) {
  Bytes version;
  Put32(version, 3);
  Bytes body = Chunk(k3dsVersion, version);
  PutBytes(body, Chunk(k3dsEditor, editorbody));
  return Chunk(k3dsMain, body);
}

inline Bytes Write3ds(const MODEL3DS& model) {
  Bytes editor;
  for (const MATERIAL3DS& material : model.materials) PutBytes(editor, Material3ds(material));
  for (const MESH3DS& mesh : model.meshes) PutBytes(editor, Object3ds(mesh));
  return Main3ds(editor);
}

// --- MS3D -----------------------------------------------------------------------

constexpr uint32_t kMs3dHeaderBytes = 14;
constexpr uint32_t kMs3dVertexBytes = 15;
constexpr uint32_t kMs3dTriangleBytes = 70;
constexpr uint32_t kMs3dMaterialBytes = 361;
constexpr uint32_t kMs3dJointBytes = 93;  // without its key frames
constexpr uint32_t kMs3dKeyBytes = 16;

struct MS3DVERTEX {
  float x = 0, y = 0, z = 0;
  int8_t bone = -1;  // -1: no joint
};

struct MS3DTRIANGLE {
  uint16_t vertices[3] = {};
  float normals[3][3] = {};    // one per corner
  float s[3] = {}, t[3] = {};  // texture coordinate per corner
  uint8_t smoothing = 1;
  uint8_t group = 0;
};

struct MS3DGROUP {
  std::string name;
  std::vector<uint16_t> triangles;
  int8_t material = -1;  // -1: none
};

struct MS3DMATERIAL {
  std::string name;
  float ambient[4] = {0.2f, 0.2f, 0.2f, 1.0f};
  float diffuse[4] = {0.8f, 0.8f, 0.8f, 1.0f};
  float transparency = 1.0f;
  std::string texture;
};

struct MS3DKEY {
  float time = 0;             // seconds
  float x = 0, y = 0, z = 0;  // radians or positions
};

struct MS3DJOINT {
  std::string name, parent;  // parent empty: none
  float rotation[3] = {};    // radians
  float position[3] = {};
  std::vector<MS3DKEY> rotationkeys, positionkeys;
};

struct MS3DMODEL {
  int32_t version = 4;
  std::vector<MS3DVERTEX> vertices;
  std::vector<MS3DTRIANGLE> triangles;
  std::vector<MS3DGROUP> groups;
  std::vector<MS3DMATERIAL> materials;
  float fps = 24.0f;
  float currenttime = 0.0f;
  int32_t totalframes = 30;
  std::vector<MS3DJOINT> joints;
};

inline void PutFloats(Bytes& out, const float* values, int count) {
  for (int i = 0; i < count; ++i) PutFloat(out, values[i]);
}

inline void PutMs3dVertex(Bytes& out, const MS3DVERTEX& v) {
  Put8(out, 0);
  PutFloat(out, v.x);
  PutFloat(out, v.y);
  PutFloat(out, v.z);
  Put8(out, uint8_t(v.bone));
  Put8(out, 1);
}

inline void PutMs3dTriangle(Bytes& out, const MS3DTRIANGLE& t) {
  Put16(out, 0);
  for (uint16_t index : t.vertices) Put16(out, index);
  for (const auto& normal : t.normals) PutFloats(out, normal, 3);
  PutFloats(out, t.s, 3);
  PutFloats(out, t.t, 3);
  Put8(out, t.smoothing);
  Put8(out, t.group);
}

inline void PutMs3dGroup(Bytes& out, const MS3DGROUP& g) {
  Put8(out, 0);
  PutField(out, g.name, 32);
  Put16(out, uint32_t(g.triangles.size()));
  for (uint16_t index : g.triangles) Put16(out, index);
  Put8(out, uint8_t(g.material));
}

inline void PutMs3dMaterial(Bytes& out, const MS3DMATERIAL& m) {
  static const float kSpecular[4] = {0, 0, 0, 1}, kEmissive[4] = {0, 0, 0, 1};
  PutField(out, m.name, 32);
  PutFloats(out, m.ambient, 4);
  PutFloats(out, m.diffuse, 4);
  PutFloats(out, kSpecular, 4);
  PutFloats(out, kEmissive, 4);
  PutFloat(out, 0.0f);  // shininess
  PutFloat(out, m.transparency);
  Put8(out, 0);  // mode
  PutField(out, m.texture, 128);
  PutField(out, "", 128);  // alpha map
}

inline void PutMs3dKeys(Bytes& out, const std::vector<MS3DKEY>& keys) {
  for (const MS3DKEY& k : keys) {
    PutFloat(out, k.time);
    PutFloat(out, k.x);
    PutFloat(out, k.y);
    PutFloat(out, k.z);
  }
}

inline void PutMs3dJoint(Bytes& out, const MS3DJOINT& j) {
  Put8(out, 0);
  PutField(out, j.name, 32);
  PutField(out, j.parent, 32);
  PutFloats(out, j.rotation, 3);
  PutFloats(out, j.position, 3);
  Put16(out, uint32_t(j.rotationkeys.size()));
  Put16(out, uint32_t(j.positionkeys.size()));
  PutMs3dKeys(out, j.rotationkeys);
  PutMs3dKeys(out, j.positionkeys);
}

inline Bytes WriteMs3d(const MS3DMODEL& model) {
  const char signature[] = "MS3D000000";
  Bytes out(signature, signature + 10);
  Put32(out, uint32_t(model.version));
  Put16(out, uint32_t(model.vertices.size()));
  for (const MS3DVERTEX& v : model.vertices) PutMs3dVertex(out, v);
  Put16(out, uint32_t(model.triangles.size()));
  for (const MS3DTRIANGLE& t : model.triangles) PutMs3dTriangle(out, t);
  Put16(out, uint32_t(model.groups.size()));
  for (const MS3DGROUP& g : model.groups) PutMs3dGroup(out, g);
  Put16(out, uint32_t(model.materials.size()));
  for (const MS3DMATERIAL& m : model.materials) PutMs3dMaterial(out, m);
  PutFloat(out, model.fps);
  PutFloat(out, model.currenttime);
  Put32(out, uint32_t(model.totalframes));
  Put16(out, uint32_t(model.joints.size()));
  for (const MS3DJOINT& j : model.joints) PutMs3dJoint(out, j);
  return out;
}

}  // namespace modelwriter
