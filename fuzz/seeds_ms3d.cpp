// Writes the seed models of fuzz_ms3d into the folder given, made by the
// MS3D writer: a still model of version 3, a skinned one of version 4 with a
// chain of joints and their rotation and position keys, and one with more
// groups than colour their triangles.
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/support/seed_file.h"
#include "tools/common/model_writer.h"

namespace {

using modelwriter::MS3DMODEL;

// A strip of `count` triangles over count + 2 vertices, each vertex on the
// joint (count of joints permitting) of its place along the strip.
MS3DMODEL Strip(uint16_t count, int joints) {
  MS3DMODEL m;
  for (uint16_t i = 0; i < count + 2; ++i) {
    const int8_t bone = joints ? int8_t(i * joints / (count + 2)) : -1;
    m.vertices.push_back({float(i) * 0.5f, float(i % 2), float(i % 3) * -0.25f, bone});
  }
  for (uint16_t t = 0; t < count; ++t) {
    modelwriter::MS3DTRIANGLE tri;
    for (int c = 0; c < 3; ++c) {
      tri.vertices[c] = uint16_t(t + c);
      tri.normals[c][2] = (t % 2) ? -1.0f : 1.0f;
      tri.s[c] = float(c) * 0.5f;
      tri.t[c] = float(t % 4) * 0.25f;
    }
    tri.group = uint8_t(t % 3);
    m.triangles.push_back(tri);
  }
  m.materials.resize(2);
  m.materials[0].name = "skin";
  m.materials[1].name = "cloth";
  m.materials[1].diffuse[2] = 0.1f;
  for (uint16_t g = 0; g < 3; ++g) {
    modelwriter::MS3DGROUP group;
    group.name = "part" + std::to_string(g);
    for (uint16_t t = g; t < count; t += 3) group.triangles.push_back(t);
    group.material = int8_t(g < 2 ? g : -1);
    m.groups.push_back(group);
  }
  for (int j = 0; j < joints; ++j) {
    modelwriter::MS3DJOINT joint;
    joint.name = "joint" + std::to_string(j);
    if (j) joint.parent = "joint" + std::to_string(j - 1);
    joint.position[0] = j ? 1.0f : 0.0f;
    joint.rotationkeys = {{0.0f, 0, 0, 0}, {0.5f, 0.3f, 0, float(j)}, {1.0f, 0, 0, 0}};
    joint.positionkeys = {{0.0f, 0, 0, 0}, {1.0f, 0, 0.5f, 0}};
    m.joints.push_back(joint);
  }
  return m;
}

MS3DMODEL Still() {
  MS3DMODEL m = Strip(6, 0);
  m.version = 3;
  return m;
}

MS3DMODEL Grouped() {
  MS3DMODEL m = Strip(40, 1);
  for (uint16_t t = 0; t < 40; ++t) m.groups.push_back({"single" + std::to_string(t), {t}, int8_t(t % 2)});
  return m;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: seeds_ms3d FOLDER\n");
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/";
  const bool ok = WriteSeedFile(folder + "still.ms3d", modelwriter::WriteMs3d(Still())) &&
                  WriteSeedFile(folder + "skinned.ms3d", modelwriter::WriteMs3d(Strip(100, 4))) &&
                  WriteSeedFile(folder + "grouped.ms3d", modelwriter::WriteMs3d(Grouped()));
  return ok ? 0 : 1;
}
