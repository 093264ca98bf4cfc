// The 3D model surface and the software renderer: creation and its limits,
// the vertex streams, access with out-of-range indices, the model matrix,
// joints and key frames, the loader callbacks, projection, lighting, depth
// order and culling, and golden pictures of a cube and a lit sphere in each
// drawing mode, the same on every display rotation.
//
// To look at a picture, write the virtual pixels of ModePicture's surface
// to an image once; a digest is only changed after doing so.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "display_rig.h"
#include "model_rig.h"
#include "render/vmod_dsp.h"
#include "render/vsurf_2d.h"
#include "render/vsurf_3d.h"
#include "resources/loaders/vldr_base.h"
#include "util/vmod_std.h"

namespace {

uint32_t As(uint8_t type) { return 1u | (uint32_t(type) << 8); }

// A colour as the Rgb565 back buffer gives it back.
uint32_t Rgb565(uint32_t colour) { return colour & 0xF8FCF8; }

// The MD5 of a surface's virtual pixels: 32-bit interface colours, low byte
// first, in row order.
std::string PictureDigest(const V2DSurface& s) {
  std::vector<uint8_t> bytes;
  for (int32_t y = 0; y < s.GetHeight(); y++)
    for (int32_t x = 0; x < s.GetWidth(); x++) {
      const uint32_t c = s.GetPixel(x, y);
      for (int i = 0; i < 4; i++) bytes.push_back(uint8_t(c >> (8 * i)));
    }
  char digest[VSTD_MD5LENGTH];
  ClassVStd::MD5Data(digest, bytes.data(), uint32_t(bytes.size()));
  return digest;
}

bool IsIdentity(const int32_t* m) {
  int32_t identity[16];
  ClassVMath::MatrixLoadIdentity(identity);
  return std::memcmp(m, identity, sizeof(identity)) == 0;
}

// An open display whose math module is ready, for the tests that rotate.
struct Rig3D : DisplayRig {
  Rig3D() {
    math.Init();
    EXPECT_EQ(Open(0), 0);
  }
};

// --- creation and streams --------------------------------------------------------------

struct CreateCase {
  int32_t vertices, triangles;
  int expected;
};

class CreateCounts : public ::testing::TestWithParam<CreateCase> {};

TEST_P(CreateCounts, RefusesZeroNegativeAndAboveSixteenBitCounts) {
  V3DSurface m;
  const CreateCase c = GetParam();
  EXPECT_EQ(m.Create(c.vertices, c.triangles, 0), c.expected);
  EXPECT_EQ(m.IsCreated(), c.expected == V3D_OK);
}

INSTANTIATE_TEST_SUITE_P(Counts, CreateCounts,
                         ::testing::Values(CreateCase{0, 10, V3D_INVALID}, CreateCase{10, 0, V3D_INVALID},
                                           CreateCase{-1, 10, V3D_INVALID}, CreateCase{65537, 1, V3D_INVALID},
                                           CreateCase{3, 65537, V3D_INVALID}, CreateCase{3, 1, V3D_OK},
                                           CreateCase{65536, 65536, V3D_OK}));

TEST(Create, FailingFreesTheEarlierModel) {
  V3DSurface m;
  ASSERT_EQ(m.Create(4, 2, 0), V3D_OK);
  EXPECT_EQ(m.Create(0, 10, 0), V3D_INVALID);
  EXPECT_FALSE(m.IsCreated());
  EXPECT_EQ(m.GetVertexCount(), 0);
}

struct LayoutCase {
  uint32_t flags;
  int32_t strides[V3D_STREAMS];  // 0: the stream is absent
};

class StreamLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(StreamLayout, PlacesEachPresentStreamAndKeepsItsValues) {
  const LayoutCase c = GetParam();
  V3DSurface m;
  ASSERT_EQ(m.Create(5, 1, c.flags), V3D_OK);
  V3DSURFACEINFO info;
  ASSERT_EQ(m.Lock(&info, false), 1);
  const void* pointers[V3D_STREAMS] = {info.position, info.normal, info.color, info.texcoord};
  const int32_t strides[V3D_STREAMS] = {info.positionstride, info.normalstride, info.colorstride, info.texcoordstride};
  for (int s = 0; s < V3D_STREAMS; s++) {
    EXPECT_EQ(pointers[s] != nullptr, c.strides[s] != 0) << "stream " << s;
    EXPECT_EQ(strides[s], c.strides[s]) << "stream " << s;
  }
  m.Unlock();
  const VVERTEX3D in = {-7, 8, 9, 10, -11, 12, int32_t(0x80402010), 65536, -32768};
  m.SetVertex(4, &in);
  VVERTEX3D out;
  m.GetVertex(4, &out);
  EXPECT_EQ(out.x, in.x);
  EXPECT_EQ(out.z, in.z);
  EXPECT_EQ(out.ny, c.strides[V3D_STREAM_NORMAL] ? in.ny : 0);
  EXPECT_EQ(out.color, c.strides[V3D_STREAM_COLOR] ? in.color : -1);
  EXPECT_EQ(out.v, c.strides[V3D_STREAM_TEXCOORD] ? in.v : 0);
  m.GetVertex(3, &out);
  EXPECT_EQ(out.color, -1) << "fresh colours are opaque white, absent ones -1";
  EXPECT_EQ(m.VerticesInUse(), 5);
}

INSTANTIATE_TEST_SUITE_P(
    Flags, StreamLayout,
    ::testing::Values(LayoutCase{0, {28, 28, 28, 28}}, LayoutCase{V3D_SEPARATE, {12, 4, 4, 8}},
                      LayoutCase{V3D_NONORMALS | V3D_NOTEXCOORDS, {16, 0, 16, 0}},
                      LayoutCase{V3D_NOCOLORS | V3D_SEPARATE, {12, 4, 0, 8}},
                      LayoutCase{V3D_NONORMALS | V3D_NOCOLORS | V3D_NOTEXCOORDS, {12, 0, 0, 0}}));

TEST(StreamLayout, SeparateStreamsFollowOneAnother) {
  V3DSurface m;
  ASSERT_EQ(m.Create(10, 1, V3D_SEPARATE), V3D_OK);
  V3DSURFACEINFO info;
  ASSERT_EQ(m.Lock(&info, false), 1);
  const uint8_t* base = reinterpret_cast<const uint8_t*>(info.position);
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(info.normal) - base, 120);
  EXPECT_EQ(info.color - base, 160);
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(info.texcoord) - base, 200);
  m.Unlock();
}

TEST(Access, SkipsIndicesOutsideTheCounts) {
  V3DSurface m;
  ASSERT_EQ(m.Create(4, 2, 0), V3D_OK);
  m.SetVertex(4, 1, 2, 3);
  m.SetVertex(-1, 1, 2, 3);
  m.SetColor(4, 0x123456);
  EXPECT_EQ(m.VerticesInUse(), 0);
  m.SetPolygon(0, 0, 1, 4);   // a corner beyond the vertices
  m.SetPolygon(2, 0, 1, 2);   // beyond the triangles
  m.SetPolygon(0, 0, -1, 2);
  EXPECT_EQ(m.PolygonsInUse(), 0);
  m.SetPolygon(1, 3, 2, 1);
  EXPECT_EQ(m.PolygonsInUse(), 2);
  int32_t corners[3];
  m.GetPolygon(1, corners);
  EXPECT_EQ(corners[0], 3);
  EXPECT_EQ(corners[2], 1);
  m.GetPolygon(2, corners);
  EXPECT_EQ(corners[0], -1);
  // Triangles by records take vertices 3 x index on: one past them is refused.
  const VVERTEX3D v = {1, 2, 3, 0, 0, 0, -1, 0, 0};
  m.SetPolygon(1, &v, &v, &v);
  m.GetPolygon(1, corners);
  EXPECT_EQ(corners[0], 3);
  m.SetPolygon(0, &v, &v, &v);
  m.GetPolygon(0, corners);
  EXPECT_EQ(corners[1], 1);
}

TEST(CalculateNormals, GivesClockwiseTrianglesANormalTowardsTheViewer) {
  V3DSurface m;
  ASSERT_EQ(m.Create(5, 2, 0), V3D_OK);
  SetSquare(m, 0, 0, kModelOne);
  m.SetVertex(4, 0, 0, kModelOne);  // in no triangle
  m.CalculateNormals();
  VVERTEX3D v;
  for (int32_t i = 0; i < 4; i++) {
    m.GetVertex(i, &v);
    EXPECT_EQ(v.nx, 0);
    EXPECT_EQ(v.ny, 0);
    EXPECT_EQ(v.nz, 127);
  }
  m.GetVertex(4, &v);
  EXPECT_EQ(v.nz, 0);
}

TEST(CalculateNormals, WeighsEveryTriangleAtACornerAlike) {
  V3DSurface m;
  ASSERT_EQ(m.Create(24, 12, 0), V3D_OK);
  ASSERT_EQ(BuildCube(m, 2000), V3D_OK);
  // Vertex 0 is the front face's top-left: its normal is the face's, +z.
  VVERTEX3D v;
  m.GetVertex(0, &v);
  EXPECT_EQ(v.nz, 127);
  EXPECT_EQ(v.nx, 0);
  // A triangle across the whole coordinate range still gives a unit normal.
  V3DSurface big;
  ASSERT_EQ(big.Create(3, 1, 0), V3D_OK);
  big.SetVertex(0, INT32_MIN, INT32_MAX, 0);
  big.SetVertex(1, INT32_MAX, INT32_MAX, 0);
  big.SetVertex(2, INT32_MAX, INT32_MIN, 0);
  big.SetPolygon(0, 0, 1, 2);
  big.CalculateNormals();
  big.GetVertex(0, &v);
  EXPECT_EQ(v.nz, 127);
}

// --- model matrix ----------------------------------------------------------------------

TEST(ModelMatrix, IdentityOperationsLeaveTheMatrixAndItsChangedFlag) {
  Rig3D rig;
  V3DSurface m;
  ASSERT_EQ(rig.display.CreateSurface(&m, 3, 1, 0), V3D_OK);
  m.Rotate(0, 0, 0);
  m.Rotate(4096, 0, 8192);
  m.Scale(65536, 65536, 65536);
  m.Translate(0, 0, 0);
  EXPECT_TRUE(IsIdentity(m.GetMatrix()));
  EXPECT_FALSE(m.MatrixChanged());
  m.Translate(-3840, 5, 0);
  EXPECT_TRUE(m.MatrixChanged());
  EXPECT_EQ(m.GetMatrix()[12], -3840) << "translations go into the last row unshifted";
  EXPECT_EQ(m.GetMatrix()[13], 5);
  m.Scale(2 * 65536, 65536, 32768);
  EXPECT_EQ(m.GetMatrix()[0], 8192);
  EXPECT_EQ(m.GetMatrix()[10], 2048);
  m.Reset();
  EXPECT_TRUE(IsIdentity(m.GetMatrix()));
}

TEST(ModelMatrix, RotationTurnsAQuarterAboutZ) {
  Rig3D rig;
  V3DSurface m;
  ASSERT_EQ(rig.display.CreateSurface(&m, 3, 1, 0), V3D_OK);
  m.Rotate(0, 0, 1024);
  EXPECT_TRUE(m.MatrixChanged());
  const int32_t x[3] = {kModelOne, 0, 0};
  int32_t out[3];
  V3DSurface::TransformPoint(m.GetMatrix(), x, out);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(std::abs(out[1]), kModelOne);
}

// --- joints and key frames ---------------------------------------------------------------

// A model of two vertices on one joint with position keys along x.
struct JointModel {
  Rig3D rig;
  V3DSurface m;
  explicit JointModel(const std::vector<V3DKEYFRAME>& keys) {
    EXPECT_EQ(rig.display.CreateSurface(&m, 2, 1, 0), V3D_OK);
    m.SetVertex(0, 100, 200, 300);
    m.SetVertex(1, -5, 0, 0);
    EXPECT_EQ(m.CreateJoints(1), V3D_OK);
    const uint16_t attached[2] = {0, 7};  // 7 is beyond the vertices: skipped
    EXPECT_EQ(m.AttachJoint(0, attached, 2), V3D_OK);
    EXPECT_EQ(m.CreateJointKeyFrames(0, 0, int32_t(keys.size())), V3D_OK);
    m.SetJointKeyFrames(0, keys.data(), int32_t(keys.size()), true);
  }
  int32_t PosedX(int32_t time, int32_t vertex = 0) {
    m.Animate(time);
    V3DSURFACEINFO info;
    EXPECT_EQ(m.Lock(&info, true), 1);
    const int32_t x = info.position[vertex * info.positionstride / 4];
    m.Unlock();
    return x;
  }
};

struct AnimateCase {
  int32_t time, expected;  // offset of vertex 0 from its stored x
};

class AnimatePositions : public ::testing::TestWithParam<AnimateCase> {};

TEST_P(AnimatePositions, HoldsTheEndKeysAndBlendsBetween) {
  JointModel j({{100, 0, 0, 0}, {200, 4096, 0, 0}, {400, -4096, 0, 0}});
  const AnimateCase c = GetParam();
  EXPECT_EQ(j.PosedX(c.time), 100 + c.expected);
  EXPECT_EQ(j.PosedX(c.time, 1), -5) << "a vertex on no joint stays";
}

INSTANTIATE_TEST_SUITE_P(Times, AnimatePositions,
                         ::testing::Values(AnimateCase{-50, 0}, AnimateCase{100, 0}, AnimateCase{150, 2048},
                                           AnimateCase{200, 4096}, AnimateCase{300, 0}, AnimateCase{400, -4096},
                                           AnimateCase{100000, -4096}));

TEST(Animate, EqualKeyTimesTakeTheLaterKey) {
  JointModel j({{100, 0, 0, 0}, {100, 4096, 0, 0}});
  EXPECT_EQ(j.PosedX(99), 100);
  EXPECT_EQ(j.PosedX(100), 100 + 4096);
  JointModel three({{0, 0, 0, 0}, {100, 1000, 0, 0}, {100, 3000, 0, 0}, {200, 5000, 0, 0}});
  EXPECT_EQ(three.PosedX(100), 100 + 3000);
  EXPECT_EQ(three.PosedX(150), 100 + 4000);
}

TEST(Animate, UnorderedAndHugeKeysNeitherDivideByZeroNorWrap) {
  JointModel j({{300, 0, 0, 0}, {100, INT32_MAX, 0, 0}, {INT32_MAX, INT32_MIN, 0, 0}});
  EXPECT_EQ(j.PosedX(INT32_MIN), 100);
  EXPECT_EQ(j.PosedX(200), 100 + 0);
  EXPECT_EQ(j.PosedX(INT32_MAX), INT32_MIN + 100);
  EXPECT_EQ(j.PosedX(1000), INT32_MAX) << "between keys 1 and 2: saturated";
}

TEST(Animate, NoKeysAndResetLeaveTheRestPose) {
  JointModel j({});
  EXPECT_EQ(j.PosedX(500), 100);
  JointModel k({{0, 4096, 0, 0}});
  EXPECT_EQ(k.PosedX(0), 100 + 4096);
  k.m.ResetAnimation();
  V3DSURFACEINFO info;
  ASSERT_EQ(k.m.Lock(&info, true), 1);
  EXPECT_EQ(info.position[0], 100);
  k.m.Unlock();
}

TEST(Joints, ChildrenFollowTheirParentAndBadParentsAreNone) {
  Rig3D rig;
  V3DSurface m;
  ASSERT_EQ(rig.display.CreateSurface(&m, 2, 1, 0), V3D_OK);
  m.SetVertex(0, 0, 0, 0);
  m.SetVertex(1, 0, 0, 0);
  ASSERT_EQ(m.CreateJoints(3), V3D_OK);
  const int32_t none[3] = {0, 0, 0};
  m.SetJointProperties(0, none, none, -1);
  m.SetJointProperties(1, none, none, 0);
  m.SetJointProperties(2, none, none, 2);  // itself: none
  EXPECT_EQ(m.GetJoint(1)->parent, 0);
  EXPECT_EQ(m.GetJoint(2)->parent, -1);
  m.SetJointProperties(2, none, none, 5);
  EXPECT_EQ(m.GetJoint(2)->parent, -1);
  EXPECT_EQ(m.GetJoint(3), nullptr);
  const uint16_t first = 0, second = 1;
  ASSERT_EQ(m.AttachJoint(1, &first, 1), V3D_OK);
  ASSERT_EQ(m.AttachJoint(2, &second, 1), V3D_OK);
  EXPECT_EQ(m.AttachJoint(3, &second, 1), V3D_INVALID);
  ASSERT_EQ(m.CreateJointKeyFrames(0, 0, 1), V3D_OK);
  const V3DKEYFRAME move = {0, 0, 4096, 0};
  m.SetJointKeyFrames(0, &move, 1, true);
  m.SetJointKeyFrames(0, &move, 1, false);  // no rotation keys were created: skipped
  EXPECT_EQ(m.CreateJointKeyFrames(0, -1, 1), V3D_INVALID);
  m.Animate(10);
  V3DSURFACEINFO info;
  ASSERT_EQ(m.Lock(&info, true), 1);
  EXPECT_EQ(info.position[1], 4096) << "the child moves with joint 0";
  EXPECT_EQ(info.position[info.positionstride / 4 + 1], 0) << "joint 2 has no parent";
  m.Unlock();
  ASSERT_EQ(m.Lock(&info, false), 1);
  EXPECT_EQ(info.position[1], 0) << "the stored vertices stay";
  m.Unlock();
}

TEST(Joints, NeedACreatedModel) {
  V3DSurface m;
  EXPECT_EQ(m.CreateJoints(2), V3D_INVALID);
  ASSERT_EQ(m.Create(2, 1, 0), V3D_OK);
  EXPECT_EQ(m.CreateJoints(65537), V3D_INVALID);
  EXPECT_EQ(m.CreateJoints(2), V3D_OK);
  EXPECT_EQ(m.CreateJoints(0), V3D_OK);
  EXPECT_EQ(m.GetJointCount(), 0);
}

// --- loader callbacks --------------------------------------------------------------------

// Little-endian words of a batch.
std::vector<uint8_t> Words(std::initializer_list<uint32_t> words) {
  std::vector<uint8_t> bytes;
  for (uint32_t w : words)
    for (int i = 0; i < 4; i++) bytes.push_back(uint8_t(w >> (8 * i)));
  return bytes;
}

void Deliver(VLDR_3DCALLBACKINFO& info, const std::vector<uint8_t>& batch) {
  info.data = batch.data();
  info.length = uint32_t(batch.size());
}

TEST(ModelCallbacks, CreateReportsCreatesResult) {
  V3DSurface m;
  VLDR_3DCALLBACKINFO info{};
  info.vertexcount = 0, info.polygoncount = 10;
  EXPECT_EQ(m.LdrOnCreate(&info), V3D_INVALID);
  info.vertexcount = 70000;
  EXPECT_EQ(m.LdrOnCreate(&info), V3D_INVALID) << "more than 16-bit indices can reach";
  info.vertexcount = 0xFFFFFFFF;
  EXPECT_EQ(m.LdrOnCreate(&info), V3D_INVALID);
  info.vertexcount = 3, info.jointcount = 2;
  EXPECT_EQ(m.LdrOnCreate(&info), V3D_OK);
  EXPECT_EQ(m.GetJointCount(), 2);
}

TEST(ModelCallbacks, StreamsIgnoreAnUncreatedModel) {
  V3DSurface m;
  VLDR_3DCALLBACKINFO info{};
  const std::vector<uint8_t> batch = Words({1, 2, 3});
  Deliver(info, batch);
  EXPECT_EQ(m.LdrOnVertexStream(&info), 0);
  EXPECT_EQ(m.LdrOnPolygonStream(&info), 0);
  EXPECT_EQ(m.LdrOnColorStream(&info), 0);
  EXPECT_EQ(m.LdrOnJointStream(&info), 0);
  EXPECT_FALSE(m.IsCreated());
}

TEST(ModelCallbacks, StoreBatchesInOrderAndSkipItemsOutOfRange) {
  V3DSurface m;
  VLDR_3DCALLBACKINFO info{};
  info.vertexcount = 3, info.polygoncount = 2, info.flags = 0;
  ASSERT_EQ(m.LdrOnCreate(&info), V3D_OK);
  const std::vector<uint8_t> first = Words({10, 20, 30, 40, 50, 60});
  Deliver(info, first);
  m.LdrOnVertexStream(&info);
  EXPECT_EQ(info.vertexstart, 2u);
  const std::vector<uint8_t> second = Words({70, 80, 90, 1, 1, 1});  // the second is vertex 3: skipped
  Deliver(info, second);
  m.LdrOnVertexStream(&info);
  EXPECT_EQ(info.vertexstart, 4u);
  EXPECT_EQ(m.VerticesInUse(), 3);
  VVERTEX3D v;
  m.GetVertex(2, &v);
  EXPECT_EQ(v.x, 70);
  EXPECT_EQ(v.z, 90);

  const std::vector<uint8_t> triangles = Words({0, 1, 2, 0, 0, 1, 3, 0});  // the second names vertex 3
  Deliver(info, triangles);
  m.LdrOnPolygonStream(&info);
  EXPECT_EQ(info.polygonstart, 2u);
  EXPECT_EQ(m.PolygonsInUse(), 1);

  // Per triangle: triangle 0's corners get the colour, triangle 5 is skipped.
  info.colormode = 0, info.colorstart = 0;
  const std::vector<uint8_t> colour = Words({0x80112233});
  Deliver(info, colour);
  m.LdrOnColorStream(&info);
  info.colorstart = 5;
  m.LdrOnColorStream(&info);
  m.GetVertex(1, &v);
  EXPECT_EQ(uint32_t(v.color), 0x80112233u);

  // Per-vertex normals: 20.12 to signed bytes; index 3 skipped.
  info.normalmode = 1, info.normalstart = 2;
  const std::vector<uint8_t> normals = Words({4096, uint32_t(-2048), 0, 4096, 4096, 4096});
  Deliver(info, normals);
  m.LdrOnNormalStream(&info);
  m.GetVertex(2, &v);
  EXPECT_EQ(v.nx, 127);
  EXPECT_EQ(v.ny, -63);
  EXPECT_EQ(v.nz, 0);
  EXPECT_EQ(info.normalstart, 4u);

  // Per-triangle texture coordinates, v negated.
  info.texelmode = 0, info.texelstart = 0;
  const std::vector<uint8_t> texels = Words({1, 2, 3, 4, 5, 6});
  Deliver(info, texels);
  m.LdrOnTexelStream(&info);
  m.GetVertex(2, &v);
  EXPECT_EQ(v.u, 5);
  EXPECT_EQ(v.v, -6);
}

TEST(ModelCallbacks, JointsAttachmentsAndKeysSkipWhatWasNotCreated) {
  Rig3D rig;
  V3DSurface m;
  m.LinkECD(&rig.vcd);
  VLDR_3DCALLBACKINFO info{};
  info.vertexcount = 2, info.polygoncount = 1, info.jointcount = 2;
  ASSERT_EQ(m.LdrOnCreate(&info), V3D_OK);
  info.jointitem = VLDR_JOINT_PROPERTIES;
  // Joint 0: no parent, one position key; joint 1: parent 1 (itself: none); joint 2 does not exist.
  const std::vector<uint8_t> joints = Words({uint32_t(-1), 0, 0, 0, 0, 0, 0, 0, 1,
                                             1, 0, 0, 0, 0, 0, 0, 0, 0,
                                             0, 0, 0, 0, 0, 0, 0, 0, 0});
  Deliver(info, joints);
  m.LdrOnJointStream(&info);
  EXPECT_EQ(info.jointstart, 3u);
  EXPECT_EQ(m.GetJoint(1)->parent, -1);
  EXPECT_EQ(m.GetJoint(0)->positionkeycount, 1u);
  info.jointitem = VLDR_JOINT_ATTACHMENTS;
  const std::vector<uint8_t> attachments = Words({1, 0, 5, 0, 0, 9});  // vertex 5 and joint 9 do not exist
  Deliver(info, attachments);
  m.LdrOnJointStream(&info);
  EXPECT_EQ(m.GetJoint(0)->vertexcount, 1u);
  info.keyjoint = 0, info.keykind = VLDR_KEYS_POSITION, info.keystart = 0;
  const std::vector<uint8_t> keys = Words({0, 0, 0, 777, 50, 1, 1, 1});  // the second key was not created
  Deliver(info, keys);
  m.LdrOnKeyFrameStream(&info);
  EXPECT_EQ(info.keystart, 2u);
  EXPECT_EQ(m.GetJoint(0)->positionkeys[0].z, 777);
  m.Animate(0);
  V3DSURFACEINFO lock;
  ASSERT_EQ(m.Lock(&lock, true), 1);
  EXPECT_EQ(lock.position[lock.positionstride / 4 + 2], 777);
  m.Unlock();
}

// A loader that knows one tag and hands the model a given vertex count.
class TagLoader : public ClassVLoaderBase {
 public:
  int Start(V3DSurface* surface, const void* data, uint32_t length, int8_t, uint32_t flags) override {
    if (length < 4 || std::memcmp(data, "TEST", 4) != 0) return VLDR_NOTMYFORMAT;
    VLDR_3DCALLBACKINFO info{};
    info.vertexcount = vertices, info.polygoncount = 1, info.flags = flags;
    const int result = surface->LdrOnCreate(&info);
    if (result != 0) return result;
    const std::vector<uint8_t> batch = Words({1, 2, 3});
    Deliver(info, batch);
    return surface->LdrOnVertexStream(&info);
  }
  uint32_t vertices = 3;
};

TEST(LoadModel, AsksTheDisplaysLoadersAndEndsWithAFailedCreate) {
  Rig3D rig;
  TagLoader loader;
  ASSERT_EQ(rig.display.RegisterLoader(&loader), 1);
  V3DSurface m;
  const char good[] = "TEST", other[] = "NOPE";
  EXPECT_EQ(rig.display.CreateSurface(&m, good, 4, 0, 0), VLDR_LOADED);
  VVERTEX3D v;
  m.GetVertex(0, &v);
  EXPECT_EQ(v.y, 2);
  EXPECT_EQ(rig.display.CreateSurface(&m, other, 4, 0, 0), VSURF_NOLOADER);
  loader.vertices = 0;
  EXPECT_EQ(rig.display.CreateSurface(&m, good, 4, 0, 0), V3D_INVALID);
  EXPECT_FALSE(m.IsCreated());
  EXPECT_EQ(rig.display.CreateSurface(&m, static_cast<const char*>(nullptr), 0, 0), VSURF_NOTCREATED);
  EXPECT_EQ(rig.display.CreateSurface(&m, u"no such model.3ds", 0, 0), VSURF_NOTCREATED);
  EXPECT_EQ(rig.display.CreateSurface(static_cast<V3DSurface*>(nullptr), 3, 1, 0), VSURF_INVALID);
  rig.display.UnRegisterLoader(&loader);
}

// --- projection, lighting, order, culling -------------------------------------------------

struct PerspectiveCase {
  int32_t x, y, z;
  int32_t px, py;
};

class Perspective : public ::testing::TestWithParam<PerspectiveCase> {};

TEST_P(Perspective, ProjectsWithTheEyeEightUnitsOut) {
  Rig3D rig;
  ASSERT_EQ(rig.display.GetRenderSize(), 240);
  const PerspectiveCase c = GetParam();
  const int32_t v[3] = {c.x, c.y, c.z};
  tagPOINT p = {-1, -1};
  rig.display.CalculatePerspective(v, &p);
  EXPECT_EQ(p.x, c.px);
  EXPECT_EQ(p.y, c.py);
}

INSTANTIATE_TEST_SUITE_P(
    Points, Perspective,
    ::testing::Values(PerspectiveCase{4096, -4096, 0, 120, -120},            // 1.0 at the origin's depth: half the render size
                      PerspectiveCase{4096, 0, 4 * 4096, 240, 0},            // halfway to the eye: twice as large
                      PerspectiveCase{4096, 0, 0x8000, 2047, 0},             // at the eye: divisor 1, saturated
                      PerspectiveCase{INT32_MAX, INT32_MIN, 0, 2047, -2048}, // saturated, not wrapped
                      PerspectiveCase{65536, 0, -0x8000, 952, 0}));          // the guarded divisor 65537

TEST(Lighting, AmbientIsAFifthAndALightFacingTheNormalAddsItsColour) {
  Rig3D rig;
  V2DSurface* back = rig.display.GetBackBuffer();
  V3DSurface m;
  ASSERT_EQ(rig.display.CreateSurface(&m, 4, 2, 0), V3D_OK);
  SetSquare(m, 0, 0, kModelOne);
  m.CalculateNormals();
  rig.display.SetShading(V3D_RENDER_LIGHT);
  // Light 0 on, with no colour at all: the ambient fifth, 255 x 13107 >> 16.
  rig.display.SetLightSource(0, 0, 0, -1, 0, 0);
  rig.display.UseLight(0, true);
  EXPECT_EQ(rig.display.Render(&m), 2);
  const uint32_t ambient = 50u << 16 | 50u << 8 | 50u;
  EXPECT_EQ(back->GetPixel(160, 120), Rgb565(ambient));
  // A red angle colour straight at the normal: red saturates, the rest stays ambient.
  rig.display.SetLightSource(0, 0, 0, -5, 0x0000FF, 0);
  EXPECT_EQ(rig.display.GetLights()[0].z, -16384 * 8);
  rig.display.Render(&m);
  EXPECT_EQ(back->GetPixel(160, 120), Rgb565((ambient & ~0xFFu) | 0xFF));
  // A light behind the triangle adds nothing; lights beyond 7 are ignored.
  rig.display.SetLightSource(0, 0, 0, 1, 0xFFFFFF, 0);
  rig.display.UseLight(8, true);
  rig.display.Render(&m);
  EXPECT_EQ(back->GetPixel(160, 120), Rgb565(ambient));
  // Switched off, the stored colour is drawn unchanged.
  rig.display.UseLight(0, false);
  rig.display.Render(&m);
  EXPECT_EQ(back->GetPixel(160, 120), Rgb565(0xFFFFFF));
}

// Two squares, the near one red at z = +0.5 listed first, the far one green
// at z = -0.5 shifted right; the sort must draw green first.
void BuildTwoSquares(V3DSurface& m) {
  ASSERT_EQ(m.Create(8, 4, 0), V3D_OK);
  SetSquare(m, 0, 0, kModelOne / 2, 0, kModelOne / 2);
  SetSquare(m, 4, 2, kModelOne / 2, kModelOne / 2, -kModelOne / 2);
  for (int32_t k = 0; k < 4; k++) m.SetColor(k, 0xFF0000FF), m.SetColor(4 + k, 0xFF00FF00);
}

TEST(DepthOrder, DrawsNearOverFarWhateverTheListOrder) {
  Rig3D rig;
  V2DSurface* back = rig.display.GetBackBuffer();
  V3DSurface m;
  rig.display.CreateSurface(&m, 1, 1, 0);
  BuildTwoSquares(m);
  back->Clear(0);
  ASSERT_EQ(back->Render(0, 0, &m, 0, 0), 4);
  const int32_t* order = m.GetSortList();
  EXPECT_GE(order[0] & 0xFFFF, 2) << "a far triangle first";
  EXPECT_GE(order[1] & 0xFFFF, 2);
  for (int32_t i = 1; i < 4; i++) EXPECT_LT(order[i - 1], order[i]);
  EXPECT_EQ(back->GetPixel(175, 120), Rgb565(0x0000FF)) << "the overlap is the near square's";
  EXPECT_EQ(back->GetPixel(250, 120), Rgb565(0x00FF00)) << "the far square shows beside it";
  EXPECT_EQ(back->GetPixel(40, 120), 0u);
}

TEST(DepthOrder, FarTrianglesSaturateTheKeyInsteadOfWrappingToTheFront) {
  Rig3D rig;
  V3DSurface m;
  rig.display.CreateSurface(&m, 1, 1, 0);
  BuildTwoSquares(m);
  m.Translate(0, 0, -0x7F000000);  // everything far away: both keys saturate
  ASSERT_EQ(m.PrepareRender(false, true, false, false, false), 4);
  for (int32_t i = 0; i < 4; i++) {
    EXPECT_EQ(m.GetSortList()[i] >> 16, INT16_MIN);
    EXPECT_EQ(m.GetSortList()[i] & 0xFFFF, i) << "equal keys keep index order";
  }
}

TEST(Culling, DropsBackFacesExceptForWireFrames) {
  Rig3D rig;
  V2DSurface* back = rig.display.GetBackBuffer();
  V3DSurface m;
  ASSERT_EQ(rig.display.CreateSurface(&m, 4, 3, 0), V3D_OK);
  SetSquare(m, 0, 1, kModelOne);  // triangles 1 and 2 run clockwise: they face the viewer
  m.SetPolygon(0, 0, 2, 1);       // anticlockwise: its back
  EXPECT_EQ(back->Render(0, 0, &m, 0, 0), 2);
  EXPECT_NE(m.GetSortList()[0] & 0xFFFF, 0);
  EXPECT_NE(m.GetSortList()[1] & 0xFFFF, 0);
  EXPECT_EQ(back->Render(0, 0, &m, V3D_RENDER_WIRE, 0), 3);
  EXPECT_EQ(back->Render(0, 0, &m, V3D_RENDER_SHADED, 0), 2);
  EXPECT_EQ(back->Render(0, 0, &m, V3D_RENDER_WIRE | V3D_RENDER_SHADED, 0), 2) << "shading wins over the wire frame";
}

TEST(Render, TexturedWithoutCoordinatesFallsBackAndWithoutATextureDrawsNothing) {
  Rig3D rig;
  V2DSurface* back = rig.display.GetBackBuffer();
  V3DSurface plain, textured;
  rig.display.CreateSurface(&plain, 1, 1, 0);
  rig.display.CreateSurface(&textured, 1, 1, 0);
  ASSERT_EQ(BuildCube(plain, 1500, V3D_NOTEXCOORDS), V3D_OK);
  ASSERT_EQ(BuildCube(textured, 1500), V3D_OK);
  plain.Rotate(300, 500, 0);
  textured.Rotate(300, 500, 0);
  auto digest = [&](V3DSurface& m, uint32_t flags) {
    back->Clear(0x102030);
    back->Render(0, 0, &m, flags, 0);
    return PictureDigest(*back);
  };
  EXPECT_EQ(digest(plain, V3D_RENDER_TEXTURED), digest(plain, 0));
  EXPECT_EQ(digest(plain, V3D_RENDER_TEXTURED | V3D_RENDER_WIRE), digest(plain, V3D_RENDER_WIRE));
  EXPECT_NE(digest(plain, 0), digest(plain, V3D_RENDER_WIRE));
  back->Clear(0x102030);
  EXPECT_EQ(back->Render(0, 0, &textured, V3D_RENDER_TEXTURED, 0), 0) << "no texture is bound";
  EXPECT_EQ(back->GetPixel(160, 120), Rgb565(0x102030));
}

// --- golden pictures ---------------------------------------------------------------------

constexpr uint32_t kModes[4] = {V3D_RENDER_TEXTURED, V3D_RENDER_SHADED, V3D_RENDER_WIRE, V3D_RENDER_LIGHT};

// MD5 of each mode's picture (virtual pixels as 32-bit interface colours,
// low byte first, in row order), in the order of kModes.
const char* const kModeMD5[4] = {"34e5bed0703b6320d7d3182600f77af5", "e0df3d3496a84721b9bd7e3c323b098a",
                                  "3a232a8c9e4b25d2786780eb64f5128d", "775106256754c5df482826b0eb3a12c0"};

// A 16 x 16 texture: four coloured quarters with a light grid.
void PaintTexture(V2DSurface& t) {
  const uint32_t quarters[4] = {0xE04020, 0x20C040, 0x3050E0, 0xE0D020};
  for (int32_t y = 0; y < 16; y++)
    for (int32_t x = 0; x < 16; x++)
      t.PutPixel(x, y, x % 4 == 0 || y % 4 == 0 ? 0xF0F0F0 : quarters[(x / 8) + 2 * (y / 8)], 0, 0);
}

std::string ModePicture(uint8_t rotation, uint32_t mode) {
  Rig3D rig;
  rig.display.Close();
  EXPECT_EQ(rig.Open(rotation), 0);
  V2DSurface* back = rig.display.GetBackBuffer();
  V2DSurface sideways, texture;
  if (rig.display.AxesSwapped()) {
    EXPECT_EQ(rig.display.CreateSurface(&sideways, 320, 240, As(VideoType::Rgb565)), 0);
    back = &sideways;
  }
  EXPECT_EQ(rig.display.CreateSurface(&texture, 16, 16, As(VideoType::Rgb565)), 0);
  PaintTexture(texture);
  rig.display.BindTexture(&texture);
  rig.display.SetLightSource(0, -65536, 65536, -131072, 0x909090, 0);
  rig.display.SetLightSource(1, 131072, -65536, -65536, 0xA04020, 0x101010);
  rig.display.UseLight(0, true);
  rig.display.UseLight(1, true);
  V3DSurface cube, sphere;
  rig.display.CreateSurface(&cube, 1, 1, 0);
  rig.display.CreateSurface(&sphere, 1, 1, 0);
  EXPECT_EQ(BuildCube(cube, 1536), V3D_OK);
  EXPECT_EQ(BuildSphere(sphere, rig.math, 1700, 8, 12, 0xFF40C0F0), V3D_OK);
  cube.Rotate(300, 520, 100);
  sphere.Rotate(200, 0, 0);
  sphere.Translate(0, 0, kModelOne / 2);
  back->Clear(0x202030);
  back->Render(-80, 0, &cube, mode, 0);
  back->Render(80, 10, &sphere, mode, 0);
  return PictureDigest(*back);
}

class ModePictures : public ::testing::TestWithParam<std::tuple<int, uint8_t>> {};

TEST_P(ModePictures, MatchTheCheckedInDigestOnEveryRotation) {
  const int mode = std::get<0>(GetParam());
  EXPECT_EQ(ModePicture(std::get<1>(GetParam()), kModes[mode]), kModeMD5[mode]);
}

std::string ModePictureName(const ::testing::TestParamInfo<std::tuple<int, uint8_t>>& info) {
  static const char* const names[4] = {"Textured", "Shaded", "Wire", "Flat"};
  return std::string(names[std::get<0>(info.param)]) + "Rotation" + std::to_string(int(std::get<1>(info.param)));
}

INSTANTIATE_TEST_SUITE_P(ModesAndRotations, ModePictures,
                         ::testing::Combine(::testing::Range(0, 4), ::testing::Range<uint8_t>(0, 4)), ModePictureName);

}  // namespace
