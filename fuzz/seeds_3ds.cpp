// Writes the seed models of fuzz_3ds into the folder given, made by the 3DS
// writer: meshes with and without mapping coordinates and material groups,
// byte and float colours, a mesh past one batch of every stream, and the
// most meshes a file may hold.
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/support/seed_file.h"
#include "tools/common/model_writer.h"

namespace {

using modelwriter::MESH3DS;
using modelwriter::MODEL3DS;

// A fan of `corners` vertices spread over a small grid: faces 0, i, i + 1.
MESH3DS Fan(const std::string& name, uint16_t corners, bool mapped) {
  MESH3DS mesh;
  mesh.name = name;
  for (uint16_t i = 0; i < corners; ++i) {
    const float x = float(i % 7) - 3.0f, y = float(i % 5) - 2.0f;
    mesh.positions.insert(mesh.positions.end(), {x * 10.0f, y * 10.0f, float(i) * 0.5f});
    if (mapped) mesh.mapping.insert(mesh.mapping.end(), {float(i % 4) / 4.0f, float(i % 3) / 3.0f});
  }
  for (uint16_t i = 1; i + 1 < corners; ++i) mesh.faces.insert(mesh.faces.end(), {0, i, uint16_t(i + 1)});
  return mesh;
}

MODEL3DS Coloured() {
  MODEL3DS model;
  model.materials = {{"red", 0x0000FF, false}, {"sky", 0xFFCC66, true}};
  model.meshes = {Fan("body", 6, true), Fan("wing", 5, false)};
  model.meshes[0].groups = {{"red", {0, 1, 3}}, {"sky", {2}}};
  model.meshes[1].groups = {{"sky", {0, 1, 2}}, {"unknown", {0}}};
  return model;
}

MODEL3DS Large() {
  MODEL3DS model;
  model.meshes = {Fan("large", 300, true)};
  return model;
}

MODEL3DS Crowded() {
  MODEL3DS model;
  for (int i = 0; i < 32; ++i) model.meshes.push_back(Fan("m" + std::to_string(i), uint16_t(3 + i % 4), i % 2 == 0));
  return model;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: seeds_3ds FOLDER\n");
    return 2;
  }
  const std::string folder = std::string(argv[1]) + "/";
  const bool ok = WriteSeedFile(folder + "coloured.3ds", modelwriter::Write3ds(Coloured())) &&
                  WriteSeedFile(folder + "large.3ds", modelwriter::Write3ds(Large())) &&
                  WriteSeedFile(folder + "crowded.3ds", modelwriter::Write3ds(Crowded()));
  return ok ? 0 : 1;
}
