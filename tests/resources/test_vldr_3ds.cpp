// 3DS loader: meshes streamed with model-wide indices, the coordinate
// conversion with its rounding and option shift, batch sizes, mapping
// coordinates and material colour runs, and the malformed files that must
// end in a code before the model sees anything.
// The files are made by the 3DS writer of tools/common/model_writer.h.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "render/vsurf_3d.h"
#include "resources/image_fixtures.h"
#include "resources/loaders/vldr_3ds.h"
#include "tools/common/model_capture.h"
#include "tools/common/model_writer.h"

namespace {

using modelwriter::Bytes;
using modelwriter::Chunk;
using modelwriter::MESH3DS;
using modelwriter::MODEL3DS;

constexpr uint32_t UNREAD = 0xFFFFFF;  // a triangle item's fourth word
constexpr uint32_t OPAQUE = 0xFF000000u;

// 20.12 of a float that 4096 multiplies exactly, shifted as option 0 does.
int32_t Coordinate(float f, int32_t shift = 6) { return int32_t(f * 4096.0f) >> shift; }

// Mapping coordinate + 1, 16.16, for a float that 65536 multiplies exactly.
uint32_t Texel(float f) { return uint32_t(int32_t(f * 65536.0f) + 65536); }

MESH3DS Mesh(const std::string& name, uint32_t corners, float base) {
  MESH3DS mesh;
  mesh.name = name;
  for (uint32_t i = 0; i < corners; ++i) {
    mesh.positions.insert(mesh.positions.end(), {base + float(i), -base * 0.5f - float(i) * 0.25f, base * 2 + 0.125f});
    mesh.mapping.insert(mesh.mapping.end(), {float(i) * 0.25f, 1.0f - float(i) * 0.125f});
  }
  for (uint32_t i = 1; i + 1 < corners; ++i) mesh.faces.insert(mesh.faces.end(), {0, uint16_t(i), uint16_t(i + 1)});
  return mesh;
}

// A quad and a triangle; red and a float-coloured blue-green material.
MODEL3DS TwoMeshes() {
  MODEL3DS model;
  model.materials = {{"red", 0x0000FF, false}, {"teal", 0x996633, true}};
  model.meshes = {Mesh("quad", 4, 3.0f), Mesh("tri", 3, -40.5f)};
  model.meshes[0].groups = {{"red", {0}}, {"teal", {1}}};
  model.meshes[1].groups = {{"red", {0}}};
  return model;
}

int Load(VModelCapture& capture, const Bytes& file, int8_t option = 0) {
  VLoader_3DS loader;
  return capture.Load(loader, file.data(), uint32_t(file.size()), option, 0x1234);
}

// A file of one named object around the given triangle-mesh body.
Bytes MeshFile(const Bytes& trimesh) {
  Bytes object;
  modelwriter::PutString(object, "m");
  modelwriter::PutBytes(object, Chunk(modelwriter::k3dsTriMesh, trimesh));
  return modelwriter::Main3ds(Chunk(modelwriter::k3dsObject, object));
}

TEST(Loader3ds, StreamsEveryMeshWithModelWideIndices) {
  const MODEL3DS model = TwoMeshes();
  VModelCapture capture;
  ASSERT_EQ(Load(capture, modelwriter::Write3ds(model)), VLDR_LOADED);
  EXPECT_EQ(capture.creates, 1);
  EXPECT_EQ(capture.record.vertexcount, 7u);
  EXPECT_EQ(capture.record.polygoncount, 3u);
  EXPECT_EQ(capture.record.texelmode, 1);
  EXPECT_EQ(capture.record.colormode, 0);
  EXPECT_EQ(capture.record.flags, 0x1234u);
  EXPECT_EQ(capture.record.jointcount, 0u);
  EXPECT_EQ(capture.record.reserved[0], 2u);  // meshes
  EXPECT_EQ(capture.record.reserved[1], 2u);  // materials

  std::vector<uint32_t> vertices, polygons, texels;
  for (const MESH3DS& mesh : model.meshes) {
    const uint32_t first = uint32_t(vertices.size() / 3);
    for (float f : mesh.positions) vertices.push_back(uint32_t(Coordinate(f)));
    for (uint16_t corner : mesh.faces) {
      polygons.push_back(first + corner);
      if (polygons.size() % 4 == 3) polygons.push_back(UNREAD);
    }
    for (size_t i = 0; i < mesh.mapping.size(); i += 2)
      texels.insert(texels.end(), {Texel(mesh.mapping[i]), Texel(mesh.mapping[i + 1]), 1});
  }
  EXPECT_EQ(VModelCapture::Items(capture.vertices, 3), vertices);
  EXPECT_EQ(VModelCapture::Items(capture.polygons, 4), polygons);
  EXPECT_EQ(VModelCapture::Items(capture.texels, 3), texels);
  EXPECT_TRUE(capture.normals.empty());
  EXPECT_TRUE(capture.joints.empty());
}

TEST(Loader3ds, ColoursEachRunOfFacesOfAMaterialWithItsModelWideIndex) {
  MODEL3DS model;
  model.materials = {{"a", 0x102030, false}, {"b", 0x996633, true}};
  model.meshes = {Mesh("one", 3, 1.0f), Mesh("two", 8, 2.0f)};  // faces 0, then 1 .. 6
  model.meshes[0].groups = {{"b", {0}}};
  model.meshes[1].groups = {{"a", {0, 1, 2, 4, 5}}, {"b", {3}}, {"missing", {0}}};
  VModelCapture capture;
  ASSERT_EQ(Load(capture, modelwriter::Write3ds(model)), VLDR_LOADED);
  const uint32_t a = OPAQUE | 0x102030, b = OPAQUE | 0x996633;
  struct Run {
    uint32_t start;
    std::vector<uint32_t> colours;
  };
  const Run expected[] = {{0, {b}}, {1, {a, a, a}}, {5, {a, a}}, {4, {b}}};
  ASSERT_EQ(capture.colours.size(), sizeof expected / sizeof expected[0]);
  for (size_t i = 0; i < capture.colours.size(); ++i) {
    EXPECT_EQ(capture.colours[i].start, expected[i].start) << "run " << i;
    EXPECT_EQ(capture.colours[i].words, expected[i].colours) << "run " << i;
    EXPECT_EQ(capture.colours[i].mode, 0) << "run " << i;
  }
}

// The float's truncation toward zero leaves 0xFFF or 0x001 where a whole
// number was meant; the loader puts it back.
TEST(Loader3ds, RoundsFractionsOneStepFromAWholeNumber) {
  struct Case {
    float value;
    int32_t fixed;   // 20.12 at option 6 (no shift)
    uint32_t texel;  // the mapping coordinate + 1, 16.16
  };
  const float below1 = 0.99999994f;  // 1 - 2^-24
  const Case cases[] = {
      {below1, 4096, 131072},
      {-below1, -4096, 0},
      {1.0f + 1.0f / 4096, 4096, 65536 + 65536 + 16},
      {1.0f / 65536, 0, 65536},
      {2.0f + 2.0f / 4096, 8194, 196608 + 32},
      {1.0f + 1.0f / 8192, 4096, 131072 + 8},
      {0.5f, 2048, 98304},
  };
  for (const Case& c : cases) {
    MODEL3DS model;
    model.meshes = {Mesh("m", 3, 0.0f)};
    model.meshes[0].positions[0] = c.value;
    model.meshes[0].mapping[0] = c.value;
    VModelCapture capture;
    ASSERT_EQ(Load(capture, modelwriter::Write3ds(model), 6), VLDR_LOADED) << c.value;
    EXPECT_EQ(int32_t(capture.vertices.at(0).words.at(0)), c.fixed) << c.value;
    EXPECT_EQ(capture.texels.at(0).words.at(0), c.texel) << c.value;
  }
}

TEST(Loader3ds, ShiftsCoordinatesBySixLessTheOptionAtMostThirtyOneAndNeverLeft) {
  struct Case {
    int8_t option;
    int32_t shift;
  };
  const Case cases[] = {{0, 6}, {3, 3}, {6, 0}, {7, 0}, {127, 0}, {-25, 31}, {-128, 31}};
  for (const Case& c : cases) {
    MODEL3DS model;
    model.meshes = {Mesh("m", 3, 1000.0f)};
    model.meshes[0].positions[1] = -1000.0f;
    VModelCapture capture;
    ASSERT_EQ(Load(capture, modelwriter::Write3ds(model), c.option), VLDR_LOADED) << int(c.option);
    const std::vector<uint32_t> got = VModelCapture::Items(capture.vertices, 3);
    for (size_t i = 0; i < model.meshes[0].positions.size(); ++i)
      EXPECT_EQ(int32_t(got.at(i)), Coordinate(model.meshes[0].positions[i], c.shift)) << int(c.option) << " " << i;
  }
}

TEST(Loader3ds, DeliversBatchesOfAtMostTheirSizeInOrder) {
  MODEL3DS model;
  model.meshes = {Mesh("big", 200, 0.0f)};  // 200 vertices, 198 faces, 200 mapping coordinates
  VModelCapture capture;
  ASSERT_EQ(Load(capture, modelwriter::Write3ds(model)), VLDR_LOADED);
  struct Stream {
    const char* what;
    const std::vector<VModelCapture::BATCH>* batches;
    uint32_t words, limit, items;
  };
  const Stream streams[] = {{"vertices", &capture.vertices, 3, VLDR_3DS_VERTEXBATCH, 200},
                            {"polygons", &capture.polygons, 4, VLDR_3DS_POLYGONBATCH, 198},
                            {"texels", &capture.texels, 3, VLDR_3DS_TEXELBATCH, 200}};
  for (const Stream& s : streams) {
    uint32_t next = 0;
    for (const VModelCapture::BATCH& b : *s.batches) {
      EXPECT_EQ(b.start, next) << s.what;
      const uint32_t items = uint32_t(b.words.size()) / s.words;
      EXPECT_EQ(items, std::min(s.limit, s.items - next)) << s.what;
      next += items;
    }
    EXPECT_EQ(next, s.items) << s.what;
  }
}

TEST(Loader3ds, GivesEachMeshAtMostItsOwnVerticesMappingCoordinates) {
  MODEL3DS model;
  model.meshes = {Mesh("long", 3, 0.0f), Mesh("short", 4, 1.0f)};
  model.meshes[0].mapping.insert(model.meshes[0].mapping.end(), {0.5f, 0.5f, 0.25f, 0.25f});
  model.meshes[1].mapping.resize(4);
  VModelCapture capture;
  ASSERT_EQ(Load(capture, modelwriter::Write3ds(model)), VLDR_LOADED);
  ASSERT_EQ(capture.texels.size(), 2u);
  EXPECT_EQ(capture.texels[0].start, 0u);
  EXPECT_EQ(capture.texels[0].words.size(), 3u * 3);
  EXPECT_EQ(capture.texels[1].start, 3u);
  EXPECT_EQ(capture.texels[1].words.size(), 2u * 3);
}

TEST(Loader3ds, FillsAModelThroughItsCallbacks) {
  const MODEL3DS model = TwoMeshes();
  const Bytes file = modelwriter::Write3ds(model);
  V3DSurface surface;
  VLoader_3DS loader;
  ASSERT_EQ(loader.Start(&surface, file.data(), uint32_t(file.size()), 0, 0), VLDR_LOADED);
  EXPECT_EQ(surface.VerticesInUse(), 7);
  EXPECT_EQ(surface.PolygonsInUse(), 3);
  int32_t corners[3];
  surface.GetPolygon(2, corners);
  EXPECT_EQ(corners[0], 4);
  EXPECT_EQ(corners[2], 6);
  VVERTEX3D v;
  surface.GetVertex(5, &v);
  EXPECT_EQ(v.x, Coordinate(model.meshes[1].positions[3]));
  EXPECT_EQ(v.color, int32_t(OPAQUE | 0x0000FF));  // the triangle's red
  EXPECT_EQ(v.u, int32_t(Texel(model.meshes[1].mapping[2])));
}

TEST(Loader3ds, RefusesFilesThatDoNotBeginWithTheMainChunk) {
  Bytes file = modelwriter::Write3ds(TwoMeshes());
  file[0] = 0x4E;
  VModelCapture capture;
  EXPECT_EQ(Load(capture, file), VLDR_NOTMYFORMAT);
  EXPECT_EQ(Load(capture, Bytes{0x4D}), VLDR_NOTMYFORMAT);
  VLoader_3DS loader;
  EXPECT_EQ(capture.Load(loader, nullptr, 0), VLDR_NOTMYFORMAT);
  EXPECT_EQ(capture.creates, 0);
}

Bytes WithStoredLength(Bytes chunk, uint32_t length) {
  fixtures::Poke32(chunk, 2, length);
  return chunk;
}

TEST(Loader3ds, MalformedFilesEndInACodeBeforeTheModelIsMade) {
  using namespace modelwriter;
  const MESH3DS tri = Mesh("m", 3, 1.0f);
  const Bytes vertices = VertexList3ds(tri.positions), faces = FaceList3ds(tri.faces, {});
  Bytes counted;  // a list that claims ten items and holds three
  Put16(counted, 10);
  for (int i = 0; i < 9; ++i) PutFloat(counted, 1.0f);
  auto join = [](std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) PutBytes(out, p);
    return out;
  };
  MODEL3DS crossing;  // the second mesh's face names vertex 3, which is only the model's
  crossing.meshes = {Mesh("a", 4, 0.0f), Mesh("b", 3, 1.0f)};
  crossing.meshes[1].faces[2] = 3;
  MODEL3DS group;
  group.materials = {{"x", 1, false}};
  group.meshes = {Mesh("a", 3, 0.0f)};
  group.meshes[0].groups = {{"x", {1}}};
  MODEL3DS many;
  for (int i = 0; i <= int(VLDR_3DS_MAXOBJECTS); ++i) many.meshes.push_back(Mesh("m" + std::to_string(i), 3, 0));
  Bytes cut = Write3ds(TwoMeshes());
  cut.resize(cut.size() / 2);
  Bytes longmain = Write3ds(TwoMeshes());
  fixtures::Poke32(longmain, 2, uint32_t(longmain.size() + 1));
  Bytes badcolour = Chunk(k3dsMaterialName, {'c', 0});
  PutBytes(badcolour, Chunk(k3dsDiffuse, Chunk(k3dsColour24, {1, 2})));

  struct Case {
    const char* what;
    Bytes file;
  };
  const Case cases[] = {
      {"main chunk longer than the file", longmain},
      {"file cut short", cut},
      {"header only", Bytes{0x4D, 0x4D, 0x10, 0}},
      {"vertex list reaching past its mesh",
       MeshFile(join({faces, WithStoredLength(vertices, uint32_t(vertices.size() + 4))}))},
      {"chunk of length 0", MeshFile(join({vertices, WithStoredLength(faces, 0)}))},
      {"chunk of length 5", MeshFile(join({WithStoredLength(vertices, 5), faces}))},
      {"bytes too few for a chunk", MeshFile(join({vertices, faces, Bytes{1, 2, 3}}))},
      {"vertex count beyond the data", MeshFile(Chunk(k3dsVertices, counted))},
      {"face count beyond the data", MeshFile(join({vertices, Chunk(k3dsFaces, counted)}))},
      {"mapping count beyond the data", MeshFile(join({vertices, Chunk(k3dsMapping, counted)}))},
      {"list without its count", MeshFile(Chunk(k3dsVertices, {3}))},
      {"face index beyond its mesh", Write3ds(crossing)},
      {"group face beyond the faces", Write3ds(group)},
      {"object name without its end", Main3ds(Chunk(k3dsObject, {'a', 'b'}))},
      {"more than 32 meshes", Write3ds(many)},
      {"colour too short", Main3ds(Chunk(k3dsMaterial, badcolour))},
  };
  for (const Case& c : cases) {
    VModelCapture capture;
    EXPECT_EQ(Load(capture, c.file), VLDR_CORRUPT) << c.what;
    EXPECT_EQ(capture.creates, 0) << c.what;
  }
  many.meshes.pop_back();
  VModelCapture capture;
  EXPECT_EQ(Load(capture, Write3ds(many)), VLDR_LOADED) << "32 meshes";
  EXPECT_EQ(capture.record.vertexcount, 3 * VLDR_3DS_MAXOBJECTS);
}

}  // namespace
