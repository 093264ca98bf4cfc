// MS3D loader: every section streamed in its order with the conversions
// (20.12 positions and normals, 16.16 texture coordinates, radians to
// angles, seconds to ms), joints with parents, attachments and keys, the
// 32 groups that colour, the versions taken and refused, and the broken
// files that must end in a code before the model is made. Then both model
// loaders: through the display's registration, and ended by a callback's
// result. The files are made by the writers of tools/common/model_writer.h.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "render/vmod_dsp.h"
#include "render/vsurf_3d.h"
#include "resources/loaders/vldr_3ds.h"
#include "resources/loaders/vldr_ms3d.h"
#include "tools/common/model_capture.h"
#include "tools/common/model_writer.h"

namespace {

using modelwriter::Bytes;
using modelwriter::MS3DMODEL;
using Batches = std::vector<VModelCapture::BATCH>;

constexpr uint32_t UNREAD = 0xFFFFFF;  // a triangle item's fourth word
constexpr uint32_t WHITE = 0xFFFFFFFFu;
constexpr float PI = 3.14159265f;

// Fixed point of a float that the scale multiplies exactly.
uint32_t Fixed12(float f) { return uint32_t(int32_t(f * 4096.0f)); }
uint32_t Fixed16(float f) { return uint32_t(int32_t(f * 65536.0f)); }
uint32_t Signed(int32_t v) { return uint32_t(v); }

// Four vertices (three on joints), two triangles, a group with a material
// and one without, two materials, a root joint and a child with keys.
MS3DMODEL Figure() {
  MS3DMODEL m;
  m.vertices = {{0.5f, 1.0f, -2.0f, -1}, {1.25f, -0.75f, 3.0f, 0}, {-4.0f, 2.5f, 0.125f, 1}, {8.0f, 8.0f, 8.0f, 1}};
  m.triangles.resize(2);
  m.triangles[0] = {{0, 1, 2}, {{0, 0, 1}, {0, 1, 0}, {1, 0, 0}}, {0.0f, 0.5f, 1.0f}, {0.25f, 0.75f, 1.0f}, 1, 0};
  m.triangles[1] = {{2, 3, 0}, {{0, 0, -1}, {0, -0.5f, 0}, {-1, 0, 0}}, {2.0f, -1.0f, 0.125f}, {0, 0, 0}, 1, 1};
  m.groups = {{"body", {0}, 1}, {"head", {1}, -1}};
  m.materials.resize(2);
  m.materials[0].name = "dull";
  m.materials[1].name = "bright";
  m.materials[1].diffuse[0] = 1.0f;
  m.materials[1].diffuse[1] = 0.2f;
  m.materials[1].diffuse[2] = 0.0f;
  m.joints.resize(2);
  m.joints[0].name = "root";
  m.joints[0].rotation[1] = PI / 2;
  m.joints[0].position[0] = 1;
  m.joints[0].position[1] = 2;
  m.joints[0].position[2] = 3;
  m.joints[0].rotationkeys = {{0, 0, 0, 0}, {0.5f, 0, PI, 0}};
  m.joints[0].positionkeys = {{-1.0f, 0, 0, 0}, {1.25f, 0.5f, 0, -1}};
  m.joints[1].name = "arm";
  m.joints[1].parent = "root";
  m.joints[1].position[1] = 1;
  m.joints[1].positionkeys = {{2.0f, 1, 1, 1}};
  return m;
}

int Load(VModelCapture& capture, const Bytes& file) {
  VLoader_MS3D loader;
  return capture.Load(loader, file.data(), uint32_t(file.size()), 0, 0x4321);
}

std::vector<uint32_t> Words(const Batches& batches) {
  std::vector<uint32_t> out;
  for (const VModelCapture::BATCH& b : batches) out.insert(out.end(), b.words.begin(), b.words.end());
  return out;
}

TEST(LoaderMs3d, StreamsTheSectionsInOrderAfterCreatingTheModel) {
  VModelCapture capture;
  ASSERT_EQ(Load(capture, modelwriter::WriteMs3d(Figure())), VLDR_LOADED);
  EXPECT_EQ(capture.creates, 1);
  EXPECT_EQ(capture.record.vertexcount, 4u);
  EXPECT_EQ(capture.record.polygoncount, 2u);
  EXPECT_EQ(capture.record.jointcount, 2u);
  EXPECT_EQ(capture.record.texelmode, 0);
  EXPECT_EQ(capture.record.colormode, 0);
  EXPECT_EQ(capture.record.normalmode, 1);
  EXPECT_EQ(capture.record.flags, 0x4321u);
  EXPECT_EQ(capture.record.reserved[0], 2u);  // groups
  EXPECT_EQ(capture.record.reserved[1], 2u);  // materials
  // Joint properties, attachments, vertices, polygons, normals, texels,
  // colours, then the keys: the root's rotations and positions, the arm's
  // positions (it has no rotation keys).
  struct Step {
    const Batches* stream;
    size_t batch;
    uint8_t mode;
  };
  const Step steps[] = {{&capture.joints, 0, VLDR_JOINT_PROPERTIES},
                        {&capture.joints, 1, VLDR_JOINT_ATTACHMENTS},
                        {&capture.vertices, 0, 0},
                        {&capture.polygons, 0, 0},
                        {&capture.normals, 0, 1},
                        {&capture.texels, 0, 0},
                        {&capture.colours, 0, 0},
                        {&capture.keys, 0, VLDR_KEYS_ROTATION},
                        {&capture.keys, 1, VLDR_KEYS_POSITION},
                        {&capture.keys, 2, VLDR_KEYS_POSITION}};
  ASSERT_EQ(capture.calls, int(sizeof steps / sizeof steps[0]));
  for (int i = 0; i < capture.calls; ++i) {
    ASSERT_GT(steps[i].stream->size(), steps[i].batch) << "step " << i;
    EXPECT_EQ((*steps[i].stream)[steps[i].batch].call, i) << "step " << i;
    EXPECT_EQ((*steps[i].stream)[steps[i].batch].mode, steps[i].mode) << "step " << i;
  }
  EXPECT_EQ(capture.keys[0].joint, 0u);
  EXPECT_EQ(capture.keys[2].joint, 1u);
}

TEST(LoaderMs3d, ConvertsPositionsNormalsAndTextureCoordinates) {
  const MS3DMODEL m = Figure();
  VModelCapture capture;
  ASSERT_EQ(Load(capture, modelwriter::WriteMs3d(m)), VLDR_LOADED);
  std::vector<uint32_t> vertices, texels;
  for (const auto& v : m.vertices) vertices.insert(vertices.end(), {Fixed12(v.x), Fixed12(v.y), Fixed12(v.z)});
  for (const auto& t : m.triangles)
    for (int c = 0; c < 3; ++c) texels.insert(texels.end(), {Fixed16(t.s[c]), Fixed16(t.t[c])});
  EXPECT_EQ(Words(capture.vertices), vertices);
  EXPECT_EQ(Words(capture.polygons), (std::vector<uint32_t>{0, 1, 2, UNREAD, 2, 3, 0, UNREAD}));
  EXPECT_EQ(Words(capture.texels), texels);
  // Each vertex takes the normal of the first corner that uses it: vertices
  // 0, 1 and 2 from the first triangle, vertex 3 from the second.
  std::vector<uint32_t> normals;
  const float(*corners[4])[3] = {&m.triangles[0].normals[0], &m.triangles[0].normals[1], &m.triangles[0].normals[2],
                                 &m.triangles[1].normals[1]};
  for (const auto* n : corners) normals.insert(normals.end(), {Fixed12((*n)[0]), Fixed12((*n)[1]), Fixed12((*n)[2])});
  EXPECT_EQ(Words(capture.normals), normals);
}

TEST(LoaderMs3d, ColoursTheTrianglesOfGroupsWithADiffuseMaterial) {
  VModelCapture capture;
  ASSERT_EQ(Load(capture, modelwriter::WriteMs3d(Figure())), VLDR_LOADED);
  const uint32_t bright = 0xFF000000u | 255 | (51 << 8);  // 1.0, 0.2, 0.0
  ASSERT_EQ(capture.colours.size(), 1u);
  EXPECT_EQ(capture.colours[0].start, 0u);
  EXPECT_EQ(capture.colours[0].words, (std::vector<uint32_t>{bright, WHITE}));
}

TEST(LoaderMs3d, OnlyTheFirst32GroupsColour) {
  for (uint32_t coloured : {VLDR_MS3D_MAXGROUPS - 1, VLDR_MS3D_MAXGROUPS}) {
    MS3DMODEL m = Figure();
    m.triangles.resize(VLDR_MS3D_MAXGROUPS + 1, m.triangles[0]);
    m.groups.clear();
    for (uint32_t g = 0; g <= VLDR_MS3D_MAXGROUPS; ++g)
      m.groups.push_back({"g" + std::to_string(g), {uint16_t(g)}, int8_t(g == coloured ? 0 : -1)});
    VModelCapture capture;
    ASSERT_EQ(Load(capture, modelwriter::WriteMs3d(m)), VLDR_LOADED) << coloured;
    EXPECT_EQ(capture.record.reserved[0], VLDR_MS3D_MAXGROUPS + 1);
    if (coloured == VLDR_MS3D_MAXGROUPS) {
      EXPECT_TRUE(capture.colours.empty());
      continue;
    }
    const std::vector<uint32_t> colours = Words(capture.colours);
    ASSERT_EQ(colours.size(), VLDR_MS3D_MAXGROUPS + 1);
    for (uint32_t t = 0; t < colours.size(); ++t) EXPECT_EQ(colours[t] == WHITE, t != coloured) << t;
  }
}

TEST(LoaderMs3d, ConvertsJointsAndKeysToAnglesMillisecondsAndFixedPoint) {
  VModelCapture capture;
  ASSERT_EQ(Load(capture, modelwriter::WriteMs3d(Figure())), VLDR_LOADED);
  // Parent, rotation (a quarter turn is 1024), position, key counts.
  EXPECT_EQ(capture.joints[0].words,
            (std::vector<uint32_t>{Signed(-1), 0, 1024, 0, 4096, 8192, 12288, 2, 2, 0, 0, 0, 0, 0, 4096, 0, 0, 1}));
  EXPECT_EQ(capture.joints[0].start, 0u);
  EXPECT_EQ(capture.joints[1].words, (std::vector<uint32_t>{1, 0, 2, 1, 3, 1}));  // vertex, joint
  // Half a second and a half turn; a time before 0 is 0.
  EXPECT_EQ(capture.keys[0].words, (std::vector<uint32_t>{0, 0, 0, 0, 500, 0, 2048, 0}));
  EXPECT_EQ(capture.keys[1].words, (std::vector<uint32_t>{0, 0, 0, 0, 1250, 2048, 0, Signed(-4096)}));
  EXPECT_EQ(capture.keys[2].words, (std::vector<uint32_t>{2000, 4096, 4096, 4096}));
  for (const VModelCapture::BATCH& b : capture.keys) EXPECT_EQ(b.start, 0u);
}

TEST(LoaderMs3d, FillsAModelWithItsSkeleton) {
  const Bytes file = modelwriter::WriteMs3d(Figure());
  V3DSurface surface;
  VLoader_MS3D loader;
  ASSERT_EQ(loader.Start(&surface, file.data(), uint32_t(file.size()), 0, 0), VLDR_LOADED);
  EXPECT_EQ(surface.VerticesInUse(), 4);
  EXPECT_EQ(surface.PolygonsInUse(), 2);
  ASSERT_EQ(surface.GetJointCount(), 2);
  const V3DJOINT* root = surface.GetJoint(0);
  const V3DJOINT* arm = surface.GetJoint(1);
  EXPECT_EQ(root->parent, -1);
  EXPECT_EQ(arm->parent, 0);
  EXPECT_EQ(root->vertexcount, 1u);
  EXPECT_EQ(arm->vertexcount, 2u);
  ASSERT_EQ(root->positionkeycount, 2u);
  EXPECT_EQ(root->positionkeys[1].time, 1250);
  EXPECT_EQ(root->positionkeys[1].z, -4096);
  EXPECT_EQ(arm->rotationkeycount, 0u);
}

TEST(LoaderMs3d, TakesVersionsThreeAndFourOnly) {
  struct Case {
    int32_t version;
    int result;
  };
  const Case cases[] = {{3, VLDR_LOADED}, {4, VLDR_LOADED}, {2, VLDR_NOTMYFORMAT}, {5, VLDR_NOTMYFORMAT}};
  for (const Case& c : cases) {
    MS3DMODEL m = Figure();
    m.version = c.version;
    VModelCapture capture;
    EXPECT_EQ(Load(capture, modelwriter::WriteMs3d(m)), c.result) << c.version;
  }
  Bytes file = modelwriter::WriteMs3d(Figure());
  file[9] = '1';
  VModelCapture capture;
  EXPECT_EQ(Load(capture, file), VLDR_NOTMYFORMAT);
  EXPECT_EQ(capture.creates, 0);
}

TEST(LoaderMs3d, EveryCutOfTheFileEndsInACodeBeforeTheModelIsMade) {
  const Bytes file = modelwriter::WriteMs3d(Figure());
  for (size_t length = 0; length < file.size(); ++length) {
    VModelCapture capture;
    VLoader_MS3D loader;
    const int expected = length < modelwriter::kMs3dHeaderBytes ? VLDR_NOTMYFORMAT : VLDR_CORRUPT;
    ASSERT_EQ(capture.Load(loader, file.data(), uint32_t(length)), expected) << length;
    ASSERT_EQ(capture.creates, 0) << length;
  }
}

TEST(LoaderMs3d, IndicesOutsideTheirTablesAndBadParentsEndInACode) {
  struct Case {
    const char* what;
    void (*spoil)(MS3DMODEL&);
  };
  const Case cases[] = {
      {"triangle corner beyond the vertices", [](MS3DMODEL& m) { m.triangles[1].vertices[1] = 4; }},
      {"group triangle beyond the triangles", [](MS3DMODEL& m) { m.groups[1].triangles.push_back(2); }},
      {"group material beyond the materials", [](MS3DMODEL& m) { m.groups[0].material = 2; }},
      {"vertex joint beyond the joints", [](MS3DMODEL& m) { m.vertices[3].bone = 2; }},
      {"parent that does not exist", [](MS3DMODEL& m) { m.joints[1].parent = "leg"; }},
      {"parent that comes later", [](MS3DMODEL& m) { m.joints[0].parent = "arm"; }},
      {"joint its own parent", [](MS3DMODEL& m) { m.joints[1].parent = "arm"; }},
      {"more than 128 joints", [](MS3DMODEL& m) { m.joints.resize(VLDR_MS3D_MAXJOINTS + 1, m.joints[0]); }},
  };
  for (const Case& c : cases) {
    MS3DMODEL m = Figure();
    c.spoil(m);
    VModelCapture capture;
    EXPECT_EQ(Load(capture, modelwriter::WriteMs3d(m)), VLDR_CORRUPT) << c.what;
    EXPECT_EQ(capture.creates, 0) << c.what;
  }
}

// One triangle of one material with mapping coordinates: four stream calls.
Bytes OneTriangle3ds() {
  modelwriter::MODEL3DS model;
  model.materials = {{"m", 0x123456, false}};
  model.meshes.resize(1);
  model.meshes[0].name = "t";
  model.meshes[0].positions = {0, 1, 0, 1, -1, 0, -1, -1, 0};
  model.meshes[0].faces = {0, 1, 2};
  model.meshes[0].mapping = {0, 0, 1, 0, 0, 1};
  model.meshes[0].groups = {{"m", {0}}};
  return modelwriter::Write3ds(model);
}

// Both model formats reach a model through the display's registered loaders,
// past the image loaders before them.
TEST(ModelLoaders, TheDisplaysLoadersTakeBothModelFormats) {
  ClassVDisplay display;
  ASSERT_EQ(RegisterDisplayLoaders(&display), 1);
  VCD vcd{};
  vcd.display = &display;
  const Bytes files[] = {OneTriangle3ds(), modelwriter::WriteMs3d(Figure())};
  const int32_t triangles[] = {1, 2};
  for (int i = 0; i < 2; ++i) {
    V3DSurface surface;
    surface.LinkECD(&vcd);
    ASSERT_EQ(surface.LoadModel(files[i].data(), uint32_t(files[i].size()), 0, 0), VLDR_LOADED) << i;
    EXPECT_EQ(surface.PolygonsInUse(), triangles[i]) << i;
  }
}

TEST(ModelLoaders, EndTheLoadWithACallbacksResult) {
  VLoader_3DS loader3ds;
  VLoader_MS3D loaderms3d;
  struct Case {
    ClassVLoaderBase* loader;
    Bytes file;
    std::vector<int> failing;  // stream calls to fail, the last one the file's last
  };
  const Case cases[] = {{&loader3ds, OneTriangle3ds(), {0, 3}},
                        {&loaderms3d, modelwriter::WriteMs3d(Figure()), {0, 4, 9}}};
  for (const Case& c : cases) {
    const uint32_t size = uint32_t(c.file.size());
    VModelCapture created;
    created.createresult = 2;
    EXPECT_EQ(created.Load(*c.loader, c.file.data(), size), 2);
    EXPECT_EQ(created.calls, 0);
    for (int call : c.failing) {
      VModelCapture capture;
      capture.failcall = call;
      capture.failresult = 7;
      EXPECT_EQ(capture.Load(*c.loader, c.file.data(), size), 7) << call;
      EXPECT_EQ(capture.calls, call + 1) << call;
    }
  }
}

}  // namespace
