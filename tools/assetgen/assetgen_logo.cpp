// assetgen_logo - the framework's logo model "vexalogo.3ds": a cut gem with a
// gold crown, a silver girdle and a ruby pavilion, written in the 3DS chunk
// layout with one named mesh and its material colours.
//
// 3DS models stand with z up; the loading screen tips the model towards the
// viewer and turns it about z, and the gem's eightfold symmetry makes that
// quarter turn read as a smooth spin. The light is baked into the materials:
// each facet takes one of a few shades of its part's colour by how it faces
// a light above and in front, so the facets read without vertex normals.
// Every triangle is wound clockwise as seen from outside, the side the
// renderer keeps when it culls.
// Depends on: tools/common/model_writer.h.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/assetgen/assetgen.h"
#include "tools/common/model_writer.h"

namespace {

using modelwriter::MATERIAL3DS;
using modelwriter::MESH3DS;
using modelwriter::MODEL3DS;

constexpr float kSize = 330.0f;  // model units of the gem's unit length
constexpr int32_t kSides = 8;
constexpr int32_t kShades = 5;
constexpr float kPi = 3.14159265f;

struct VEC3 {
  float x, y, z;
};
VEC3 operator-(const VEC3& a, const VEC3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
VEC3 Cross(const VEC3& a, const VEC3& b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
float Dot(const VEC3& a, const VEC3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
VEC3 Unit(const VEC3& v) {
  const float length = std::sqrt(Dot(v, v));
  return length > 0 ? VEC3{v.x / length, v.y / length, v.z / length} : v;
}

// The parts of the gem and their colours (red in bits 0-7).
enum PART { kCrown, kGirdle, kPavilion, kParts };
const char* const kPartNames[kParts] = {"gold", "silver", "ruby"};
const uint32_t kPartColours[kParts] = {0x30C8FF, 0xF0E8E0, 0x4020E0};

struct FACET {
  VEC3 a, b, c;
  PART part;
};

// A ring of corners at height z; corner i at angle (i + turn) / kSides of a turn.
VEC3 Corner(float radius, float z, float i) {
  const float a = 2 * kPi * i / kSides;
  return {radius * std::cos(a), radius * std::sin(a), z};
}

// The convex gem as facets, each in any winding: table, crown, girdle, pavilion.
std::vector<FACET> GemFacets() {
  constexpr float table = 0.42f, girdle = 0.8f, top = 0.62f, crown = 0.28f, belt = 0.14f, apex = -1.0f;
  std::vector<FACET> facets;
  const VEC3 centre = {0, 0, top}, point = {0, 0, apex};
  for (int32_t i = 0; i < kSides; ++i) {
    const float j = float(i + 1);
    const VEC3 t0 = Corner(table, top, float(i)), t1 = Corner(table, top, j);
    const VEC3 c0 = Corner(girdle, crown, float(i)), c1 = Corner(girdle, crown, j);
    const VEC3 b0 = Corner(girdle, belt, float(i)), b1 = Corner(girdle, belt, j);
    facets.push_back({centre, t0, t1, kCrown});
    facets.push_back({t0, c0, c1, kCrown});
    facets.push_back({t0, c1, t1, kCrown});
    facets.push_back({c0, b0, b1, kGirdle});
    facets.push_back({c0, b1, c1, kGirdle});
    facets.push_back({b0, point, b1, kPavilion});
  }
  return facets;
}

// Clockwise from outside: the corners' cross product points inwards, towards
// the solid's inside point.
FACET Outward(FACET f, const VEC3& inside) {
  const VEC3 normal = Cross(f.b - f.a, f.c - f.a);
  if (Dot(normal, f.a - inside) > 0) std::swap(f.b, f.c);
  return f;
}

int32_t ShadeOf(const FACET& f) {
  const VEC3 light = Unit({-0.35f, -0.55f, 0.75f});
  const VEC3 outward = Unit(Cross(f.c - f.a, f.b - f.a));
  const float lit = std::max(0.0f, Dot(outward, light));
  return std::min(kShades - 1, int32_t(lit * kShades));
}

uint32_t Shaded(uint32_t colour, int32_t shade) {
  uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const uint32_t c = (colour >> shift) & 0xFF;
    out |= (c * uint32_t(100 + 155 * shade / (kShades - 1)) / 255) << shift;
  }
  return out;
}

std::string MaterialName(int32_t part, int32_t shade) { return std::string(kPartNames[part]) + char('0' + shade); }

}  // namespace

bool AssetGen_Logo(std::vector<ASSETENTRY>& entries) {
  MODEL3DS model;
  for (int32_t part = 0; part < kParts; ++part)
    for (int32_t shade = 0; shade < kShades; ++shade)
      model.materials.push_back(MATERIAL3DS{MaterialName(part, shade), Shaded(kPartColours[part], shade), false});
  MESH3DS gem;
  gem.name = "gem";
  std::vector<modelwriter::FACEGROUP3DS> groups(kParts * kShades);
  for (int32_t i = 0; i < kParts * kShades; ++i) groups[i].material = MaterialName(i / kShades, i % kShades);
  const VEC3 inside = {0, 0, 0};
  for (const FACET& facet : GemFacets()) {
    const FACET f = Outward(facet, inside);
    const uint16_t first = uint16_t(gem.positions.size() / 3);
    for (const VEC3& v : {f.a, f.b, f.c}) {
      gem.positions.push_back(v.x * kSize);
      gem.positions.push_back(v.y * kSize);
      gem.positions.push_back(v.z * kSize);
    }
    groups[f.part * kShades + ShadeOf(f)].faces.push_back(uint16_t(gem.faces.size() / 3));
    for (uint16_t k = 0; k < 3; ++k) gem.faces.push_back(uint16_t(first + k));
  }
  for (const auto& group : groups)
    if (!group.faces.empty()) gem.groups.push_back(group);
  model.meshes.push_back(gem);
  entries.push_back({"vexalogo.3ds", modelwriter::Write3ds(model)});
  return true;
}
