// vsurf_3d.cpp - the 3D model: creation with its vertex streams, vertex and
// triangle access, vertex normals, the model matrix, joints with key-frame
// animation, loading through the display's loaders and the loader callbacks.
//
// Indices are 16-bit, so a model holds at most 65536 vertices and triangles.
// Every index a caller or a loader hands in is checked against what was
// created; items out of range are skipped. Products of 20.12 values are
// taken in 64 bits and saturated to 32, so far-away or huge models clip at
// the edge of the number range instead of wrapping round.
//
// Depends on: render/vsurf_3d.h, the display (loaders), the math module
// (rotation matrices), the memory and file modules.
#include "render/vsurf_3d.h"

#include <cstdint>
#include <cstring>

#include "render/vmod_dsp.h"
#include "render/vsurf_2dbase.h"
#include "render/vsurf_load.h"
#include "resources/loaders/vldr_base.h"
#include "resources/vmod_file.h"
#include "util/vmod_math.h"
#include "util/vmod_memory.h"

namespace {

// Bytes of one item per stream, and the Create flag that leaves it out.
constexpr int32_t STREAM_BYTES[V3D_STREAMS] = {12, 4, 4, 8};
constexpr uint32_t STREAM_OMITTED[V3D_STREAMS] = {0, V3D_NONORMALS, V3D_NOCOLORS, V3D_NOTEXCOORDS};

constexpr uint32_t OPAQUE_WHITE = 0xFFFFFFFF;  // the colour of every fresh vertex
constexpr int32_t NORMAL_UNIT = 127;           // length of a stored unit normal
constexpr int32_t FIXED_UNIT = 4096;           // 1.0 in 20.12
constexpr int32_t FACE_UNIT = 16384;           // length of a face normal while summing
constexpr int32_t NAME_LOCAL = 512;            // LoadModel widens shorter 8-bit names locally

// Loader batch item sizes.
constexpr uint32_t VERTEX_ITEM = 12, POLYGON_ITEM = 16, COLOR_ITEM = 4, NORMAL_ITEM = 12;
constexpr uint32_t TEXEL_VERTEX_ITEM = 12, TEXEL_POLYGON_ITEM = 24;
constexpr uint32_t JOINT_ITEM = 36, ATTACHMENT_ITEM = 8, KEY_ITEM = 16;

int32_t Saturate(int64_t v) { return v > INT32_MAX ? INT32_MAX : (v < INT32_MIN ? INT32_MIN : int32_t(v)); }

int8_t ToNormalByte(int64_t v) {
  return int8_t(v > NORMAL_UNIT ? NORMAL_UNIT : (v < -NORMAL_UNIT ? -NORMAL_UNIT : v));
}

int64_t FloorDiv(int64_t v, int64_t d) { return v >= 0 ? v / d : -((-v + d - 1) / d); }

// A little-endian 32-bit word of a loader batch (batches need not be aligned).
uint32_t Word(const uint8_t* item, int word) {
  const uint8_t* p = item + 4 * word;
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

int32_t SignedWord(const uint8_t* item, int word) { return int32_t(Word(item, word)); }

// An index of a batch as the access functions take it: beyond int32 is out of range anyway.
int32_t AsIndex(uint64_t v) { return v > uint64_t(INT32_MAX) ? -1 : int32_t(v); }

uint32_t AddClamped(uint32_t start, uint32_t count) {
  return uint64_t(start) + count > UINT32_MAX ? UINT32_MAX : start + count;
}

// The count argument of Create from a loader's 32-bit count: too large stays too large.
int32_t AsCount(uint32_t v) { return v > V3D_MAXCOUNT ? int32_t(V3D_MAXCOUNT + 1) : int32_t(v); }

// Hands each item of a batch to store(vertex, item, corner): per vertex to
// the item's own vertex (corner 0), per triangle to each of the triangle's
// three corners; items beyond the counts are skipped. The items in the batch.
template <typename Store>
uint32_t StoreByVertexOrTriangle(const V3DSurface& model, const VLDR_3DCALLBACKINFO& info, uint32_t start,
                                 uint32_t size, bool pervertex, Store store) {
  const uint8_t* item = static_cast<const uint8_t*>(info.data);
  const uint32_t count = info.length / size;
  for (uint32_t i = 0; i < count; i++, item += size) {
    const int32_t index = AsIndex(uint64_t(start) + i);
    if (pervertex) {
      store(index, item, 0);
      continue;
    }
    if (index < 0 || index >= model.GetPolygonCount()) continue;
    int32_t corner[3];
    model.GetPolygon(index, corner);
    for (int k = 0; k < 3; k++) store(corner[k], item, k);
  }
  return count;
}

template <typename T>
T* AllocArray(uint64_t count) {
  const uint64_t bytes = count * sizeof(T);
  return bytes == 0 || bytes > UINT32_MAX ? nullptr : static_cast<T*>(ClassVMemory::Alloc(uint32_t(bytes)));
}

void Read3(const uint8_t* p, int32_t* v) {
  for (int i = 0; i < 3; i++) std::memcpy(&v[i], p + 4 * i, 4);
}

void Write3(uint8_t* p, const int32_t* v) {
  for (int i = 0; i < 3; i++) std::memcpy(p + 4 * i, &v[i], 4);
}

// Integer square root of a 64-bit value, rounded down.
uint64_t Sqrt64(uint64_t v) {
  uint64_t root = 0, bit = uint64_t(1) << 62;
  while (bit > v) bit >>= 2;
  while (bit) {
    if (v >= root + bit) {
      v -= root + bit;
      root = (root >> 1) + bit;
    } else {
      root >>= 1;
    }
    bit >>= 2;
  }
  return root;
}

// A key array's value at `time`: the first key's before it, the last key's
// after it, else the linear blend of the two keys around the time. Keys
// need not be ordered: the pair found always has ta <= time < tb, and a
// pair with tb <= ta would give B.
void InterpolateKeys(const V3DKEYFRAME* keys, uint32_t count, int32_t time, int32_t* out) {
  out[0] = out[1] = out[2] = 0;
  if (count == 0) return;
  const V3DKEYFRAME* pick = nullptr;
  if (time < keys[0].time) pick = &keys[0];
  else if (time >= keys[count - 1].time) pick = &keys[count - 1];
  if (pick) {
    out[0] = pick->x, out[1] = pick->y, out[2] = pick->z;
    return;
  }
  uint32_t i = 1;
  while (keys[i].time <= time) i++;
  const V3DKEYFRAME& a = keys[i - 1];
  const V3DKEYFRAME& b = keys[i];
  const int32_t av[3] = {a.x, a.y, a.z}, bv[3] = {b.x, b.y, b.z};
  const int64_t span = int64_t(b.time) - a.time;
  for (int c = 0; c < 3; c++) {
    if (span <= 0) {
      out[c] = bv[c];
      continue;
    }
    const int64_t w = (int64_t(time) - a.time) * 256 / span;
    out[c] = Saturate(av[c] + (int64_t(bv[c]) - av[c]) * w / 256);
  }
}

void InitJoint(V3DJOINT& j) {
  j = V3DJOINT{};
  ClassVMath::MatrixLoadIdentity(j.base);
  ClassVMath::MatrixLoadIdentity(j.rest);
  ClassVMath::MatrixLoadIdentity(j.final);
  j.parent = -1;
}

void FreeJointArrays(V3DJOINT& j) {
  ClassVMemory::DeAlloc(j.vertices);
  ClassVMemory::DeAlloc(j.rotationkeys);
  ClassVMemory::DeAlloc(j.positionkeys);
}

// Makes room for `more` attached vertices, doubling the array as it grows.
bool ReserveAttachments(V3DJOINT& j, uint32_t more) {
  const uint64_t need = uint64_t(j.vertexcount) + more;
  if (need <= j.vertexcapacity) return true;
  uint64_t capacity = j.vertexcapacity ? j.vertexcapacity : 16;
  while (capacity < need) capacity *= 2;
  uint16_t* grown = AllocArray<uint16_t>(capacity);
  if (!grown || capacity > UINT32_MAX) {
    ClassVMemory::DeAlloc(grown);
    return false;
  }
  if (j.vertexcount) std::memcpy(grown, j.vertices, j.vertexcount * sizeof(uint16_t));
  ClassVMemory::DeAlloc(j.vertices);
  j.vertices = grown;
  j.vertexcapacity = uint32_t(capacity);
  return true;
}

}  // namespace

// --- creation and release ----------------------------------------------------------

V3DSurface::~V3DSurface() { Free(); }

void V3DSurface::LayOutStreams(int32_t vertices, uint32_t flags) {
  const bool separate = (flags & V3D_SEPARATE) != 0;
  int32_t record = 0;
  for (int s = 0; s < V3D_STREAMS; s++)
    if (!(flags & STREAM_OMITTED[s])) record += STREAM_BYTES[s];
  int32_t offset = 0;
  for (int s = 0; s < V3D_STREAMS; s++) {
    if (flags & STREAM_OMITTED[s]) {
      streamoffset[s] = -1, streamstride[s] = 0;
      continue;
    }
    streamoffset[s] = offset;
    streamstride[s] = separate ? STREAM_BYTES[s] : record;
    offset += separate ? STREAM_BYTES[s] * vertices : STREAM_BYTES[s];
  }
  buffersize = uint32_t(separate ? offset : record * vertices);
}

int V3DSurface::Create(int32_t vertices, int32_t triangles, uint32_t flags) {
  Free();
  if (vertices <= 0 || triangles <= 0 || uint32_t(vertices) > V3D_MAXCOUNT || uint32_t(triangles) > V3D_MAXCOUNT)
    return V3D_INVALID;
  LayOutStreams(vertices, flags);
  vertexbuffer = AllocArray<uint8_t>(buffersize);
  polygons = AllocArray<uint16_t>(uint64_t(triangles) * 3);
  sortlist = AllocArray<int32_t>(uint64_t(triangles));
  records = AllocArray<V3DRENDERRECORD>(uint64_t(triangles));
  if (!vertexbuffer || !polygons || !sortlist || !records) {
    Free();
    return V3D_NOMEMORY;
  }
  std::memset(vertexbuffer, 0, buffersize);
  std::memset(polygons, 0, uint64_t(triangles) * 3 * sizeof(uint16_t));
  vertexcount = vertices;
  polygoncount = triangles;
  SetModelColor(OPAQUE_WHITE);
  ClassVMath::MatrixLoadIdentity(modelmatrix);
  matrixchanged = false;
  return V3D_OK;
}

void V3DSurface::Free() {
  FreeJoints();
  ClassVMemory::DeAlloc(vertexbuffer);
  ClassVMemory::DeAlloc(polygons);
  ClassVMemory::DeAlloc(sortlist);
  ClassVMemory::DeAlloc(records);
  vertexbuffer = nullptr, polygons = nullptr, sortlist = nullptr, records = nullptr;
  for (int s = 0; s < V3D_STREAMS; s++) streamoffset[s] = -1, streamstride[s] = 0;
  vertexcount = polygoncount = verticesinuse = polygonsinuse = 0;
  buffersize = 0;
  lockcount = 0;
  matrixchanged = false;
}

void V3DSurface::Reset() {
  ClassVMath::MatrixLoadIdentity(modelmatrix);
  matrixchanged = true;
}

int V3DSurface::LoadModel(const void* data, uint32_t size, int8_t type, uint32_t flags) {
  return VSurf_OfferToLoaders(Display(), this, data, size, type, flags);
}

int V3DSurface::LoadModel(const char* name, int8_t type, uint32_t flags) {
  if (!name) return VSURF_NOTCREATED;
  V2DWideName wide(name, NAME_LOCAL);
  if (!wide.Get()) return VSURF_NOMEMORY;
  return LoadModel(wide.Get(), type, flags);
}

int V3DSurface::LoadModel(const char16_t* name, int8_t type, uint32_t flags) {
  VSurfWholeFile file(ecd ? ecd->memory : nullptr);
  const int result = file.Read(name, ecd ? ecd->file : nullptr);
  if (result != VSURF_OK) return result;
  return LoadModel(file.data, file.size, type, flags);
}

// --- access ----------------------------------------------------------------------------

uint8_t* V3DSurface::ItemIn(uint8_t* buffer, int stream, int32_t index) const {
  return buffer + streamoffset[stream] + ptrdiff_t(index) * streamstride[stream];
}

void V3DSurface::VertexStored(int32_t index) {
  if (index >= verticesinuse) verticesinuse = index + 1;
  animatedstale = true;
}

void V3DSurface::PolygonStored(int32_t index) {
  if (index >= polygonsinuse) polygonsinuse = index + 1;
}

int V3DSurface::Lock(V3DSURFACEINFO* info, bool animated) {
  if (!info || !IsCreated()) return 0;
  const bool posed = animated && hasjoints;
  if (posed && animatedstale) RefreshAnimatedCopy();
  uint8_t* buffer = posed ? animatedbuffer : vertexbuffer;
  auto at = [&](int s) -> uint8_t* { return HasStream(s) ? ItemIn(buffer, s, 0) : nullptr; };
  *info = V3DSURFACEINFO{};
  info->position = reinterpret_cast<int32_t*>(at(V3D_STREAM_POSITION));
  info->normal = reinterpret_cast<int8_t*>(at(V3D_STREAM_NORMAL));
  info->color = at(V3D_STREAM_COLOR);
  info->texcoord = reinterpret_cast<int32_t*>(at(V3D_STREAM_TEXCOORD));
  info->polygons = polygons;
  info->matrix = modelmatrix;
  info->positionstride = streamstride[V3D_STREAM_POSITION];
  info->normalstride = streamstride[V3D_STREAM_NORMAL];
  info->colorstride = streamstride[V3D_STREAM_COLOR];
  info->texcoordstride = streamstride[V3D_STREAM_TEXCOORD];
  info->fixedpoint = 1;
  info->flags = posed ? 1 : 0;
  lockcount++;
  return 1;
}

void V3DSurface::Unlock() {
  if (lockcount > 0) lockcount--;
}

void V3DSurface::SetVertex(int32_t index, int32_t x, int32_t y, int32_t z) {
  if (index < 0 || index >= vertexcount) return;
  const int32_t v[3] = {x, y, z};
  Write3(Item(V3D_STREAM_POSITION, index), v);
  VertexStored(index);
}

void V3DSurface::SetVertex(int32_t index, const VVERTEX3D* vertex) {
  if (!vertex || index < 0 || index >= vertexcount) return;
  SetVertex(index, vertex->x, vertex->y, vertex->z);
  SetNormal(index, ToNormalByte(vertex->nx), ToNormalByte(vertex->ny), ToNormalByte(vertex->nz));
  SetColor(index, uint32_t(vertex->color));
  SetTexCoord(index, vertex->u, vertex->v);
}

void V3DSurface::GetVertex(int32_t index, VVERTEX3D* vertex) const {
  if (!vertex || index < 0 || index >= vertexcount) return;
  *vertex = VVERTEX3D{};
  Read3(Item(V3D_STREAM_POSITION, index), &vertex->x);
  if (HasStream(V3D_STREAM_NORMAL)) {
    const int8_t* n = reinterpret_cast<const int8_t*>(Item(V3D_STREAM_NORMAL, index));
    vertex->nx = n[0], vertex->ny = n[1], vertex->nz = n[2];
  }
  vertex->color = -1;
  if (HasStream(V3D_STREAM_COLOR)) std::memcpy(&vertex->color, Item(V3D_STREAM_COLOR, index), 4);
  if (HasStream(V3D_STREAM_TEXCOORD)) {
    std::memcpy(&vertex->u, Item(V3D_STREAM_TEXCOORD, index), 4);
    std::memcpy(&vertex->v, Item(V3D_STREAM_TEXCOORD, index) + 4, 4);
  }
}

void V3DSurface::SetNormal(int32_t index, int8_t x, int8_t y, int8_t z) {
  if (index < 0 || index >= vertexcount || !HasStream(V3D_STREAM_NORMAL)) return;
  int8_t* n = reinterpret_cast<int8_t*>(Item(V3D_STREAM_NORMAL, index));
  n[0] = x, n[1] = y, n[2] = z, n[3] = 0;
  animatedstale = true;
}

void V3DSurface::SetColor(int32_t index, uint32_t colour) {
  if (index < 0 || index >= vertexcount || !HasStream(V3D_STREAM_COLOR)) return;
  std::memcpy(Item(V3D_STREAM_COLOR, index), &colour, 4);
  animatedstale = true;
}

void V3DSurface::SetTexCoord(int32_t index, int32_t u, int32_t v) {
  if (index < 0 || index >= vertexcount || !HasStream(V3D_STREAM_TEXCOORD)) return;
  std::memcpy(Item(V3D_STREAM_TEXCOORD, index), &u, 4);
  std::memcpy(Item(V3D_STREAM_TEXCOORD, index) + 4, &v, 4);
  animatedstale = true;
}

void V3DSurface::SetModelColor(uint32_t colour) {
  for (int32_t i = 0; i < vertexcount; i++) SetColor(i, colour);
}

void V3DSurface::SetPolygon(int32_t index, int32_t first, int32_t second, int32_t third) {
  if (index < 0 || index >= polygoncount) return;
  const int32_t corners[3] = {first, second, third};
  for (int32_t c : corners)
    if (c < 0 || c >= vertexcount) return;
  for (int i = 0; i < 3; i++) polygons[3 * index + i] = uint16_t(corners[i]);
  PolygonStored(index);
}

void V3DSurface::SetPolygon(int32_t index, const VVERTEX3D* vertex1, const VVERTEX3D* vertex2,
                            const VVERTEX3D* vertex3) {
  const int64_t first = int64_t(index) * 3;
  if (!vertex1 || !vertex2 || !vertex3 || index < 0 || index >= polygoncount || first + 2 >= vertexcount) return;
  const VVERTEX3D* corners[3] = {vertex1, vertex2, vertex3};
  for (int i = 0; i < 3; i++) SetVertex(int32_t(first) + i, corners[i]);
  SetPolygon(index, int32_t(first), int32_t(first) + 1, int32_t(first) + 2);
}

void V3DSurface::GetPolygon(int32_t index, int32_t* corners) const {
  if (!corners) return;
  for (int i = 0; i < 3; i++)
    corners[i] = index >= 0 && index < polygoncount ? int32_t(polygons[3 * index + i]) : -1;
}

// Vertex normals: every triangle in use adds its unit face normal (the
// cross product (C - A) x (B - A), scaled to length 16384) to its three
// corners, and each vertex normal is that sum scaled to length 127. All
// triangles at a vertex count alike, whatever their size, so a mesh of
// uneven triangles still shades evenly; degenerate triangles add nothing,
// and a vertex that no proper triangle touches gets the zero normal.
// So a triangle whose corners run clockwise on the screen, the order the
// renderer keeps when culling, has a normal towards the viewer (+z).
void V3DSurface::CalculateNormals() {
  if (!IsCreated() || !HasStream(V3D_STREAM_NORMAL)) return;
  int64_t* sums = AllocArray<int64_t>(uint64_t(vertexcount) * 3);
  if (!sums) return;
  std::memset(sums, 0, uint64_t(vertexcount) * 3 * sizeof(int64_t));
  for (int32_t t = 0; t < polygonsinuse; t++) {
    int32_t corner[3], p[3][3];
    GetPolygon(t, corner);
    for (int i = 0; i < 3; i++) Read3(Item(V3D_STREAM_POSITION, corner[i]), p[i]);
    int64_t side[2][3];
    for (int k = 0; k < 3; k++) side[0][k] = int64_t(p[1][k]) - p[0][k], side[1][k] = int64_t(p[2][k]) - p[0][k];
    // Sides reach 33 bits; down to 30 their cross product fits 64.
    while (true) {
      int64_t most = 0;
      for (auto& s : side)
        for (int64_t c : s) most = c > most ? c : (-c > most ? -c : most);
      if (most < (int64_t(1) << 30)) break;
      for (auto& s : side)
        for (int64_t& c : s) c /= 2;
    }
    const int64_t cross[3] = {side[1][1] * side[0][2] - side[1][2] * side[0][1],
                              side[1][2] * side[0][0] - side[1][0] * side[0][2],
                              side[1][0] * side[0][1] - side[1][1] * side[0][0]};
    int32_t unit[3];
    NormaliseVector(cross, FACE_UNIT, unit);
    for (int i = 0; i < 3; i++)
      for (int k = 0; k < 3; k++) sums[3 * corner[i] + k] += unit[k];
  }
  for (int32_t v = 0; v < vertexcount; v++) {
    int32_t n[3];
    NormaliseVector(sums + 3 * v, NORMAL_UNIT, n);
    SetNormal(v, int8_t(n[0]), int8_t(n[1]), int8_t(n[2]));
  }
  ClassVMemory::DeAlloc(sums);
}

void V3DSurface::NormaliseVector(const int64_t* v, int32_t length, int32_t* out) {
  int64_t c[3] = {v[0], v[1], v[2]};
  auto fits = [&c]() {
    for (int64_t x : c)
      if (x > INT32_MAX || x < -INT32_MAX) return false;
    return true;
  };
  while (!fits())
    for (int64_t& x : c) x /= 2;
  // |c| < 2^31, so the sum of the squares stays below 2^64.
  const uint64_t sum = uint64_t(c[0] * c[0]) + uint64_t(c[1] * c[1]) + uint64_t(c[2] * c[2]);
  const int64_t norm = int64_t(Sqrt64(sum));
  for (int i = 0; i < 3; i++) out[i] = norm == 0 ? 0 : int32_t(c[i] * length / norm);
}

void V3DSurface::TransformPoint(const int32_t* m, const int32_t* in, int32_t* out) {
  for (int r = 0; r < 3; r++) {
    const int64_t sum = ((int64_t(m[r]) * in[0]) >> 12) + ((int64_t(m[4 + r]) * in[1]) >> 12) +
                        ((int64_t(m[8 + r]) * in[2]) >> 12) + m[12 + r];
    out[r] = Saturate(sum);
  }
}

void V3DSurface::TransformNormal(const int32_t* m, const int8_t* in, int32_t* out) {
  for (int r = 0; r < 3; r++) {
    const int64_t sum = ((int64_t(m[r]) * in[0]) >> 12) + ((int64_t(m[4 + r]) * in[1]) >> 12) +
                        ((int64_t(m[8 + r]) * in[2]) >> 12);
    out[r] = Saturate(sum);
  }
}

// --- model matrix ------------------------------------------------------------------------

bool V3DSurface::RotateMatrix(int32_t* m, const ClassVMath* math, uint32_t x, uint32_t y, uint32_t z) {
  if (!m || !math || ((x | y | z) & 4095) == 0) return false;
  int32_t r[16];
  ClassVMath::MatrixLoadIdentity(r);
  math->MatrixSetRotate(x, y, z, r);
  ClassVMath::MatrixMultiply(m, r);
  return true;
}

bool V3DSurface::ScaleMatrix(int32_t* m, int32_t x, int32_t y, int32_t z) {
  constexpr int32_t ONE = 65536;
  if (!m || (x == ONE && y == ONE && z == ONE)) return false;
  int32_t s[16];
  ClassVMath::MatrixLoadIdentity(s);
  s[0] = x >> 4, s[5] = y >> 4, s[10] = z >> 4;
  ClassVMath::MatrixMultiply(m, s);
  return true;
}

bool V3DSurface::TranslateMatrix(int32_t* m, int32_t x, int32_t y, int32_t z) {
  if (!m || (x == 0 && y == 0 && z == 0)) return false;
  int32_t t[16];
  ClassVMath::MatrixLoadIdentity(t);
  ClassVMath::MatrixSetTranslate(x, y, z, t);
  ClassVMath::MatrixMultiply(m, t);
  return true;
}

void V3DSurface::Rotate(uint32_t x, uint32_t y, uint32_t z) {
  if (RotateMatrix(modelmatrix, Math(), x, y, z)) matrixchanged = true;
}

void V3DSurface::Scale(int32_t x, int32_t y, int32_t z) {
  if (ScaleMatrix(modelmatrix, x, y, z)) matrixchanged = true;
}

void V3DSurface::Translate(int32_t x, int32_t y, int32_t z) {
  if (TranslateMatrix(modelmatrix, x, y, z)) matrixchanged = true;
}

// --- joints --------------------------------------------------------------------------------

void V3DSurface::FreeJoints() {
  for (int32_t j = 0; j < jointcount; j++) FreeJointArrays(joints[j]);
  ClassVMemory::DeAlloc(joints);
  ClassVMemory::DeAlloc(animatedbuffer);
  joints = nullptr, animatedbuffer = nullptr;
  jointcount = 0;
  hasjoints = false;
  animatedstale = true;
}

int V3DSurface::CreateJoints(int32_t count) {
  if (!IsCreated() || count < 0 || uint32_t(count) > V3D_MAXCOUNT) return V3D_INVALID;
  FreeJoints();
  if (count == 0) return V3D_OK;
  joints = AllocArray<V3DJOINT>(uint64_t(count));
  animatedbuffer = AllocArray<uint8_t>(buffersize);
  if (!joints || !animatedbuffer) {
    ClassVMemory::DeAlloc(joints);
    joints = nullptr;
    FreeJoints();
    return V3D_NOMEMORY;
  }
  for (int32_t j = 0; j < count; j++) InitJoint(joints[j]);
  jointcount = count;
  hasjoints = true;
  RefreshAnimatedCopy();
  return V3D_OK;
}

const V3DJOINT* V3DSurface::GetJoint(int32_t joint) const {
  return joint >= 0 && joint < jointcount ? &joints[joint] : nullptr;
}

int V3DSurface::AttachJoint(int32_t joint, const uint16_t* indices, int32_t count) {
  if (joint < 0 || joint >= jointcount || count < 0 || (count > 0 && !indices)) return V3D_INVALID;
  V3DJOINT& j = joints[joint];
  if (!ReserveAttachments(j, uint32_t(count))) return V3D_NOMEMORY;
  for (int32_t i = 0; i < count; i++)
    if (indices[i] < vertexcount) j.vertices[j.vertexcount++] = indices[i];
  animatedstale = true;
  return V3D_OK;
}

void V3DSurface::SetJointProperties(int32_t joint, const int32_t* rotation, const int32_t* position,
                                    int32_t parent) {
  if (joint < 0 || joint >= jointcount) return;
  V3DJOINT& j = joints[joint];
  ClassVMath::MatrixLoadIdentity(j.base);
  if (rotation && Math()) Math()->MatrixSetRotate(uint32_t(rotation[0]), uint32_t(rotation[1]), uint32_t(rotation[2]), j.base);
  if (position) ClassVMath::MatrixSetTranslate(position[0], position[1], position[2], j.base);
  j.parent = int16_t(parent >= 0 && parent < joint ? parent : -1);
}

int V3DSurface::CreateJointKeyFrames(int32_t joint, int32_t rotationkeys, int32_t positionkeys) {
  if (joint < 0 || joint >= jointcount || rotationkeys < 0 || positionkeys < 0 ||
      uint32_t(rotationkeys) > V3D_MAXKEYS || uint32_t(positionkeys) > V3D_MAXKEYS)
    return V3D_INVALID;
  V3DJOINT& j = joints[joint];
  ClassVMemory::DeAlloc(j.rotationkeys);
  ClassVMemory::DeAlloc(j.positionkeys);
  j.rotationkeys = AllocArray<V3DKEYFRAME>(uint64_t(rotationkeys));
  j.positionkeys = AllocArray<V3DKEYFRAME>(uint64_t(positionkeys));
  j.rotationkeycount = j.rotationkeys ? uint32_t(rotationkeys) : 0;
  j.positionkeycount = j.positionkeys ? uint32_t(positionkeys) : 0;
  if (j.rotationkeycount != uint32_t(rotationkeys) || j.positionkeycount != uint32_t(positionkeys))
    return V3D_NOMEMORY;
  if (j.rotationkeys) std::memset(j.rotationkeys, 0, j.rotationkeycount * sizeof(V3DKEYFRAME));
  if (j.positionkeys) std::memset(j.positionkeys, 0, j.positionkeycount * sizeof(V3DKEYFRAME));
  return V3D_OK;
}

void V3DSurface::StoreKeys(int32_t joint, uint32_t first, const V3DKEYFRAME* keys, uint32_t count, bool position) {
  if (!keys || joint < 0 || joint >= jointcount) return;
  V3DJOINT& j = joints[joint];
  V3DKEYFRAME* target = position ? j.positionkeys : j.rotationkeys;
  const uint32_t created = position ? j.positionkeycount : j.rotationkeycount;
  for (uint32_t i = 0; i < count && uint64_t(first) + i < created; i++) target[first + i] = keys[i];
}

void V3DSurface::SetJointKeyFrames(int32_t joint, const V3DKEYFRAME* keys, int32_t count, bool position) {
  if (count > 0) StoreKeys(joint, 0, keys, uint32_t(count), position);
}

// The joint's local pose is its base composed with the key frames' rotation
// and translation; in model space it sits under its parent's animated pose
// (final x rest of the parent). The final matrix undoes the rest pose, so
// it takes the stored vertices (modelled in the rest pose) to the animated
// one, and an unanimated joint leaves them where they are, up to rounding.
void V3DSurface::PoseJoint(V3DJOINT& j, int32_t time) {
  int32_t angles[3], offset[3];
  InterpolateKeys(j.rotationkeys, j.rotationkeycount, time, angles);
  InterpolateKeys(j.positionkeys, j.positionkeycount, time, offset);
  int32_t motion[16], local[16], animated[16], inverse[16];
  ClassVMath::MatrixLoadIdentity(motion);
  if (Math()) Math()->MatrixSetRotate(uint32_t(angles[0]), uint32_t(angles[1]), uint32_t(angles[2]), motion);
  ClassVMath::MatrixSetTranslate(offset[0], offset[1], offset[2], motion);
  std::memcpy(local, j.base, sizeof(local));
  ClassVMath::MatrixMultiply(local, motion);
  if (j.parent >= 0) {
    const V3DJOINT& p = joints[j.parent];
    std::memcpy(j.rest, p.rest, sizeof(j.rest));
    ClassVMath::MatrixMultiply(j.rest, j.base);
    std::memcpy(animated, p.final, sizeof(animated));
    ClassVMath::MatrixMultiply(animated, p.rest);
    ClassVMath::MatrixMultiply(animated, local);
  } else {
    std::memcpy(j.rest, j.base, sizeof(j.rest));
    std::memcpy(animated, local, sizeof(animated));
  }
  std::memcpy(inverse, j.rest, sizeof(inverse));
  ClassVMath::MatrixReverse(inverse);
  std::memcpy(j.final, animated, sizeof(j.final));
  ClassVMath::MatrixMultiply(j.final, inverse);
}

void V3DSurface::PoseVertices(const V3DJOINT& j) {
  for (uint32_t i = 0; i < j.vertexcount; i++) {
    const int32_t v = j.vertices[i];
    int32_t p[3], q[3];
    Read3(Item(V3D_STREAM_POSITION, v), p);
    TransformPoint(j.final, p, q);
    Write3(ItemIn(animatedbuffer, V3D_STREAM_POSITION, v), q);
    if (!HasStream(V3D_STREAM_NORMAL)) continue;
    int32_t n[3];
    TransformNormal(j.final, reinterpret_cast<const int8_t*>(Item(V3D_STREAM_NORMAL, v)), n);
    int8_t* out = reinterpret_cast<int8_t*>(ItemIn(animatedbuffer, V3D_STREAM_NORMAL, v));
    for (int k = 0; k < 3; k++) out[k] = ToNormalByte(n[k]);
  }
}

void V3DSurface::RefreshAnimatedCopy() {
  if (!hasjoints) return;
  std::memcpy(animatedbuffer, vertexbuffer, buffersize);
  for (int32_t j = 0; j < jointcount; j++) PoseVertices(joints[j]);
  animatedstale = false;
}

void V3DSurface::Animate(int32_t time) {
  if (!hasjoints) return;
  for (int32_t j = 0; j < jointcount; j++) PoseJoint(joints[j], time);
  RefreshAnimatedCopy();
}

void V3DSurface::ResetAnimation() {
  if (!hasjoints) return;
  for (int32_t j = 0; j < jointcount; j++) ClassVMath::MatrixLoadIdentity(joints[j].final);
  RefreshAnimatedCopy();
}

// --- loader callbacks ------------------------------------------------------------------------

int V3DSurface::LdrOnCreate(VLDR_3DCALLBACKINFO* info) {
  if (!info) return V3D_INVALID;
  int result = Create(AsCount(info->vertexcount), AsCount(info->polygoncount), info->flags);
  if (result == V3D_OK && info->jointcount > 0) {
    result = CreateJoints(AsCount(info->jointcount));
    if (result != V3D_OK) Free();
  }
  return result;
}

int V3DSurface::LdrOnVertexStream(VLDR_3DCALLBACKINFO* info) {
  if (!info || !info->data || !IsCreated()) return 0;
  const uint8_t* item = static_cast<const uint8_t*>(info->data);
  const uint32_t count = info->length / VERTEX_ITEM;
  for (uint32_t i = 0; i < count; i++, item += VERTEX_ITEM)
    SetVertex(AsIndex(uint64_t(info->vertexstart) + i), SignedWord(item, 0), SignedWord(item, 1), SignedWord(item, 2));
  info->vertexstart = AddClamped(info->vertexstart, count);
  return 0;
}

int V3DSurface::LdrOnPolygonStream(VLDR_3DCALLBACKINFO* info) {
  if (!info || !info->data || !IsCreated()) return 0;
  const uint8_t* item = static_cast<const uint8_t*>(info->data);
  const uint32_t count = info->length / POLYGON_ITEM;
  for (uint32_t i = 0; i < count; i++, item += POLYGON_ITEM)
    SetPolygon(AsIndex(uint64_t(info->polygonstart) + i), AsIndex(Word(item, 0)), AsIndex(Word(item, 1)),
               AsIndex(Word(item, 2)));
  info->polygonstart = AddClamped(info->polygonstart, count);
  return 0;
}

// A 20.12 normal (4096 = unit length) rounded to the signed-byte scale.
void V3DSurface::StoreNormal(int32_t index, const uint8_t* item) {
  int8_t n[3];
  for (int k = 0; k < 3; k++)
    n[k] = ToNormalByte(FloorDiv(int64_t(SignedWord(item, k)) * NORMAL_UNIT + FIXED_UNIT / 2, FIXED_UNIT));
  SetNormal(index, n[0], n[1], n[2]);
}

int V3DSurface::LdrOnNormalStream(VLDR_3DCALLBACKINFO* info) {
  if (!info || !info->data || !IsCreated()) return 0;
  const uint32_t count = StoreByVertexOrTriangle(*this, *info, info->normalstart, NORMAL_ITEM, info->normalmode,
                                                 [this](int32_t v, const uint8_t* item, int) { StoreNormal(v, item); });
  info->normalstart = AddClamped(info->normalstart, count);
  return 0;
}

int V3DSurface::LdrOnColorStream(VLDR_3DCALLBACKINFO* info) {
  if (!info || !info->data || !IsCreated()) return 0;
  const uint32_t count = StoreByVertexOrTriangle(*this, *info, info->colorstart, COLOR_ITEM, info->colormode,
                                                 [this](int32_t v, const uint8_t* item, int) { SetColor(v, Word(item, 0)); });
  info->colorstart = AddClamped(info->colorstart, count);
  return 0;
}

// v is stored negated: the software renderer's texture rows run the other
// way from the loaders' (only a hardware 3D driver would keep it).
void V3DSurface::StoreTexel(int32_t index, int32_t u, int32_t v) {
  SetTexCoord(index, u, v == INT32_MIN ? INT32_MAX : -v);
}

int V3DSurface::LdrOnTexelStream(VLDR_3DCALLBACKINFO* info) {
  if (!info || !info->data || !IsCreated()) return 0;
  const uint32_t size = info->texelmode ? TEXEL_VERTEX_ITEM : TEXEL_POLYGON_ITEM;
  // Per triangle, corner k's u and v are words 2k and 2k + 1; per vertex, words 0 and 1.
  const uint32_t count = StoreByVertexOrTriangle(
      *this, *info, info->texelstart, size, info->texelmode,
      [this](int32_t v, const uint8_t* item, int k) { StoreTexel(v, SignedWord(item, 2 * k), SignedWord(item, 2 * k + 1)); });
  info->texelstart = AddClamped(info->texelstart, count);
  return 0;
}

void V3DSurface::StoreJointProperties(VLDR_3DCALLBACKINFO* info) {
  const uint8_t* item = static_cast<const uint8_t*>(info->data);
  const uint32_t count = info->length / JOINT_ITEM;
  for (uint32_t i = 0; i < count; i++, item += JOINT_ITEM) {
    const int32_t joint = AsIndex(uint64_t(info->jointstart) + i);
    if (joint < 0 || joint >= jointcount) continue;
    const int32_t rotation[3] = {SignedWord(item, 1), SignedWord(item, 2), SignedWord(item, 3)};
    const int32_t position[3] = {SignedWord(item, 4), SignedWord(item, 5), SignedWord(item, 6)};
    SetJointProperties(joint, rotation, position, SignedWord(item, 0));
    const uint32_t rotationkeys = Word(item, 7), positionkeys = Word(item, 8);
    if (rotationkeys <= V3D_MAXKEYS && positionkeys <= V3D_MAXKEYS)
      CreateJointKeyFrames(joint, int32_t(rotationkeys), int32_t(positionkeys));
  }
  info->jointstart = AddClamped(info->jointstart, count);
}

void V3DSurface::StoreJointAttachments(VLDR_3DCALLBACKINFO* info) {
  const uint8_t* item = static_cast<const uint8_t*>(info->data);
  const uint32_t count = info->length / ATTACHMENT_ITEM;
  for (uint32_t i = 0; i < count; i++, item += ATTACHMENT_ITEM) {
    const uint32_t vertex = Word(item, 0);
    if (vertex >= uint32_t(vertexcount)) continue;
    const uint16_t index = uint16_t(vertex);
    AttachJoint(AsIndex(Word(item, 1)), &index, 1);
  }
}

int V3DSurface::LdrOnJointStream(VLDR_3DCALLBACKINFO* info) {
  if (!info || !info->data || !IsCreated()) return 0;
  if (info->jointitem == VLDR_JOINT_PROPERTIES) StoreJointProperties(info);
  else if (info->jointitem == VLDR_JOINT_ATTACHMENTS) StoreJointAttachments(info);
  return 0;
}

int V3DSurface::LdrOnKeyFrameStream(VLDR_3DCALLBACKINFO* info) {
  if (!info || !info->data || !IsCreated()) return 0;
  const uint8_t* item = static_cast<const uint8_t*>(info->data);
  const uint32_t count = info->length / KEY_ITEM;
  const int32_t joint = AsIndex(info->keyjoint);
  if (info->keykind != VLDR_KEYS_ROTATION && info->keykind != VLDR_KEYS_POSITION) return 0;
  for (uint32_t i = 0; i < count; i++, item += KEY_ITEM) {
    const V3DKEYFRAME key = {SignedWord(item, 0), SignedWord(item, 1), SignedWord(item, 2), SignedWord(item, 3)};
    StoreKeys(joint, AddClamped(info->keystart, i), &key, 1, info->keykind == VLDR_KEYS_POSITION);
  }
  info->keystart = AddClamped(info->keystart, count);
  return 0;
}
