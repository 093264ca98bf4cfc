// vsurf_3d.h - the 3D model surface: a triangle model (vertices with optional
// normals, colours and texture coordinates, a triangle list, a model matrix,
// optional joints with key frames), the callbacks through which the model
// loaders fill it, and the software renderer's preparation step that
// transforms, lights, culls and depth-sorts the triangles for
// V2DSurface::Render.
//
// Fixed point: matrices 20.12 (4096 = 1.0); callers' scales 16.16; angles
// 4096 to the turn; texture coordinates 16.16 with 1.0 = the whole texture.
// Sources: vsurf_3d.cpp (model, streams, joints, callbacks),
// vsurf_3d_render.cpp (PrepareRender, V2DSurface::Render).
// Depends on: framework/vexa_records.h (VCD), the display (loaders, world
// matrix, lights, render size, bound texture), the math module (rotation
// matrices), the memory module.
#pragma once

#include <cstdint>

#include "framework/vexa_records.h"

struct VLDR_3DCALLBACKINFO;

// Create flags: streams left out, and the separate layout.
constexpr uint32_t V3D_NONORMALS = 0x100;    // no normal stream
constexpr uint32_t V3D_NOCOLORS = 0x200;     // no colour stream
constexpr uint32_t V3D_NOTEXCOORDS = 0x400;  // no texture coordinate stream
constexpr uint32_t V3D_SEPARATE = 0x800;     // streams one after another instead of interleaved

// Render flags of V2DSurface::Render and the display's shading flags.
constexpr uint32_t V3D_RENDER_WIRE = 0x100;      // wire frame
constexpr uint32_t V3D_RENDER_LIGHT = 0x200;     // light the triangles (with normals)
constexpr uint32_t V3D_RENDER_SHADED = 0x400;    // colour-interpolated triangles, lit per vertex
constexpr uint32_t V3D_RENDER_TEXTURED = 0x800;  // textured triangles from the bound texture

constexpr uint32_t V3D_MAXCOUNT = 65536;  // most vertices, triangles or joints (16-bit indices)
constexpr uint32_t V3D_MAXKEYS = 65536;   // most key frames of one array

// Results of Create and the joint operations.
constexpr int V3D_OK = 0;
constexpr int V3D_NOMEMORY = 1;  // out of memory; the model is freed
constexpr int V3D_INVALID = 4;   // a count of 0 or too large, or a bad argument

// Stream slots of the offset and stride tables.
constexpr int V3D_STREAM_POSITION = 0;
constexpr int V3D_STREAM_NORMAL = 1;
constexpr int V3D_STREAM_COLOR = 2;
constexpr int V3D_STREAM_TEXCOORD = 3;
constexpr int V3D_STREAMS = 4;

// One vertex as the access functions exchange it.
struct VVERTEX3D {
  int32_t x, y, z;     // position, 20.12
  int32_t nx, ny, nz;  // normal, signed-byte scale (127 = unit length)
  int32_t color;       // red 0-7, green 8-15, blue 16-23, alpha 24-31; -1 without colours
  int32_t u, v;        // texture coordinate, 16.16
};

// Filled by Lock; a pointer is null when its stream is absent.
struct V3DSURFACEINFO {
  int32_t* position;   // x, y, z per vertex
  int8_t* normal;      // x, y, z, spare per vertex
  uint8_t* color;      // red, green, blue, alpha per vertex
  int32_t* texcoord;   // u, v per vertex
  uint16_t* polygons;  // three vertex indices per triangle
  int32_t* matrix;     // the model matrix
  int32_t positionstride;  // bytes from one vertex's item to the next
  int32_t normalstride;
  int32_t colorstride;
  int32_t texcoordstride;
  uint8_t fixedpoint;  // 1: the matrix is 20.12
  uint8_t flags;       // 1: the pointers refer to the animated copy
};

// One key frame: a time and three values (angles or 20.12 positions).
struct V3DKEYFRAME {
  int32_t time;  // ms
  int32_t x, y, z;
};
static_assert(sizeof(V3DKEYFRAME) == 16, "a key frame is four 32-bit values");

// One joint of the skeleton. Its final matrix takes a vertex from the rest
// pose to the animated pose: the animated model-space matrix composed with
// the inverse of the rest one, so a joint that is not animated leaves its
// vertices where they are (up to rounding).
struct V3DJOINT {
  int32_t base[16];          // rest pose relative to the parent (SetJointProperties)
  int32_t rest[16];          // rest pose in model space (base under the parents' rest poses)
  int32_t final[16];         // rest -> animated pose, applied to the attached vertices
  int16_t parent;            // lower joint index, -1 for none
  uint16_t* vertices;        // attached vertex indices
  uint32_t vertexcount;      // attached vertices
  uint32_t vertexcapacity;   // room in vertices
  uint32_t rotationkeycount; // keys in rotationkeys
  uint32_t positionkeycount; // keys in positionkeys
  V3DKEYFRAME* rotationkeys; // angles, relative to the rest pose
  V3DKEYFRAME* positionkeys; // 20.12 positions, relative to the rest pose
};

// What PrepareRender leaves for Render, one per triangle.
struct V3DRENDERRECORD {
  int32_t x[3], y[3];   // projected corners, 22.10 pixels from the surface centre, y up
  uint32_t color[3];    // corner colours (flat drawing uses color[0])
  int32_t u[3], v[3];   // texels, 22.10 (textured drawing)
};

class ClassVDisplay;
class ClassVMath;

class V3DSurface {
 public:
  V3DSurface() = default;
  virtual ~V3DSurface();                                           // Free
  V3DSurface(const V3DSurface&) = delete;
  V3DSurface& operator=(const V3DSurface&) = delete;

  // Model loader callbacks. LdrOnCreate returns Create's result (a failure
  // ends the load); the others 0, also when they skip items out of range or
  // the model was not created.
  virtual int LdrOnCreate(VLDR_3DCALLBACKINFO* info);              // Create(counts, flags), joints when asked
  virtual int LdrOnVertexStream(VLDR_3DCALLBACKINFO* info);        // positions from vertexstart on
  virtual int LdrOnPolygonStream(VLDR_3DCALLBACKINFO* info);       // triangles from polygonstart on
  virtual int LdrOnNormalStream(VLDR_3DCALLBACKINFO* info);        // normals, per vertex or triangle
  virtual int LdrOnColorStream(VLDR_3DCALLBACKINFO* info);         // colours, per vertex or triangle
  virtual int LdrOnTexelStream(VLDR_3DCALLBACKINFO* info);         // texture coordinates, per vertex or triangle
  virtual int LdrOnJointStream(VLDR_3DCALLBACKINFO* info);         // joint properties or attachments
  virtual int LdrOnKeyFrameStream(VLDR_3DCALLBACKINFO* info);      // one joint's rotation or position keys

  // Creation and release.
  int Create(int32_t vertices, int32_t polygons, uint32_t flags);  // 0; 4 a count of 0 or above 65536; 1 out of memory
  void Free();                                                     // releases everything; safe twice
  bool IsCreated() const { return vertexbuffer != nullptr; }       // between Create and Free
  int32_t VerticesInUse() const { return verticesinuse; }          // highest stored vertex index + 1
  int32_t PolygonsInUse() const { return polygonsinuse; }          // highest stored triangle index + 1
  int32_t GetVertexCount() const { return vertexcount; }           // vertices created
  int32_t GetPolygonCount() const { return polygoncount; }         // triangles created
  bool HasStream(int stream) const {                               // V3D_STREAM_ slot present
    return stream >= 0 && stream < V3D_STREAMS && streamoffset[stream] >= 0;
  }
  void Reset();                                                    // model matrix back to identity
  void LinkECD(VCD* vcd) { ecd = vcd; }                            // the shared record; precedes loading and rendering
  VCD* GetECD() const { return ecd; }                              // the linked record
  int LoadModel(const void* data, uint32_t size, int8_t type, uint32_t flags); // first loader that takes it; 3 none
  int LoadModel(const char* name, int8_t type, uint32_t flags);                // reads the file, then as above
  int LoadModel(const char16_t* name, int8_t type, uint32_t flags);            // reads the file, then as above

  // Access. Indices beyond the counts are ignored.
  int Lock(V3DSURFACEINFO* info, bool animated);                   // 1 and the record; 0 no record or not created
  void Unlock();                                                   // uncounts a lock
  int32_t GetLockCount() const { return lockcount; }               // locks not yet undone
  void SetVertex(int32_t index, int32_t x, int32_t y, int32_t z);  // position, 20.12
  void SetVertex(int32_t index, const VVERTEX3D* vertex);          // every stream present
  void GetVertex(int32_t index, VVERTEX3D* vertex) const;          // every stream; absent ones 0 (colour -1)
  void SetNormal(int32_t index, int8_t x, int8_t y, int8_t z);     // signed-byte scale
  void SetColor(int32_t index, uint32_t colour);                   // red in bits 0-7, alpha 24-31
  void SetTexCoord(int32_t index, int32_t u, int32_t v);           // 16.16
  void SetModelColor(uint32_t colour);                             // every vertex
  void SetPolygon(int32_t index, int32_t first, int32_t second, int32_t third); // by vertex indices
  void SetPolygon(int32_t index, const VVERTEX3D* vertex1, const VVERTEX3D* vertex2,
                  const VVERTEX3D* vertex3);                       // records stored as vertices 3 index .. 3 index + 2
  void GetPolygon(int32_t index, int32_t* corners) const;          // three vertex indices; -1s out of range
  void CalculateNormals();                                         // vertex normals from the triangles (see the source)

  // Model matrix. Each operation composes the model matrix with its own
  // (that one applied first) and sets matrix-changed, unless it is the identity.
  void Rotate(uint32_t x, uint32_t y, uint32_t z);                 // angles (needs the linked math module)
  void Scale(int32_t x, int32_t y, int32_t z);                     // 16.16 factors
  void Translate(int32_t x, int32_t y, int32_t z);                 // 20.12, into the last row unshifted
  const int32_t* GetMatrix() const { return modelmatrix; }         // 20.12
  bool MatrixChanged() const { return matrixchanged; }             // an operation changed the matrix
  void ClearMatrixChanged() { matrixchanged = false; }             // the caller has taken the change
  void LinkWorldMatrix(const int32_t* world) { worldmatrix = world; } // composed after the model matrix; null unlinks
  // The operations on any 20.12 matrix (the display's world matrix too);
  // false when the operation is the identity and m is untouched.
  static bool RotateMatrix(int32_t* m, const ClassVMath* math, uint32_t x, uint32_t y, uint32_t z);
  static bool ScaleMatrix(int32_t* m, int32_t x, int32_t y, int32_t z);
  static bool TranslateMatrix(int32_t* m, int32_t x, int32_t y, int32_t z);
  // Perspective of a transformed point (20.12): 12.20 pixels from the centre,
  // y up, saturated to 32 bits.
  static void Project(int32_t rendersize, int32_t x, int32_t y, int32_t z, int32_t& px, int32_t& py);
  static void TransformPoint(const int32_t* m, const int32_t* in, int32_t* out); // 20.12 row products + translation, saturated
  static void TransformNormal(const int32_t* m, const int8_t* in, int32_t* out); // linear part only, signed-byte scale
  // v scaled to `length` (integer square root of the 64-bit sum of squares,
  // inputs beyond 32 bits shifted down first); the zero vector stays zero.
  static void NormaliseVector(const int64_t* v, int32_t length, int32_t* out);

  // Joints and key frames (need a created model).
  int CreateJoints(int32_t count);                                 // 0; 1 out of memory; 4 not created or above 65536; 0 removes them
  int32_t GetJointCount() const { return jointcount; }             // joints created
  const V3DJOINT* GetJoint(int32_t joint) const;                   // null out of range
  int AttachJoint(int32_t joint, const uint16_t* indices, int32_t count); // appends the indices below the vertex count; 0, 1, 4
  void SetJointProperties(int32_t joint, const int32_t* rotation, const int32_t* position,
                          int32_t parent);                         // angles x, y, z; 20.12 x, y, z; parent below joint, else none
  int CreateJointKeyFrames(int32_t joint, int32_t rotationkeys, int32_t positionkeys); // 0; 1 out of memory; 4 bad arguments
  void SetJointKeyFrames(int32_t joint, const V3DKEYFRAME* keys, int32_t count, bool position); // from key 0, up to those created
  void Animate(int32_t time);                                      // poses the animated copy at time (ms)
  void ResetAnimation();                                           // rest pose: animated copy = the stored vertices

  // Rendering.
  int32_t PrepareRender(bool light, bool colour, bool shaded, bool textured, bool cull); // triangles to draw
  const int32_t* GetSortList() const { return sortlist; }          // key x 65536 + triangle index, ascending
  const V3DRENDERRECORD* GetRenderRecords() const { return records; } // per triangle index

 private:
  uint8_t* ItemIn(uint8_t* buffer, int stream, int32_t index) const; // a vertex's item of a stream in a buffer
  uint8_t* Item(int stream, int32_t index) const { return ItemIn(vertexbuffer, stream, index); }
  void LayOutStreams(int32_t vertices, uint32_t flags);            // offsets, strides and buffer size
  void VertexStored(int32_t index);                                // in-use count; animated copy stale
  void PolygonStored(int32_t index);                               // in-use count
  void ComposeMatrix(const int32_t* m);                            // model = model composed with m
  void FreeJoints();                                               // joints and the animated copy
  void StoreKeys(int32_t joint, uint32_t first, const V3DKEYFRAME* keys, uint32_t count, bool position);
  void PoseJoint(V3DJOINT& joint, int32_t time);                   // final matrix at time
  void PoseVertices(const V3DJOINT& joint);                        // its attached vertices in the animated copy
  void RefreshAnimatedCopy();                                      // the stored vertices under the final matrices
  const ClassVDisplay* Display() const { return ecd ? ecd->display : nullptr; }
  const ClassVMath* Math() const { return ecd ? ecd->math : nullptr; }

  // Loader callback workers.
  void StoreNormal(int32_t index, const uint8_t* item);            // 20.12 vector -> signed bytes
  void StoreTexel(int32_t index, int32_t u, int32_t v);            // v negated (no hardware 3D here)
  void StoreJointProperties(VLDR_3DCALLBACKINFO* info);            // 36-byte items
  void StoreJointAttachments(VLDR_3DCALLBACKINFO* info);           // 8-byte items

  // Render preparation workers (vsurf_3d_render.cpp).
  void ComposeRenderMatrix();                                      // model, then world
  uint8_t* PosedBuffer();                                          // the animated copy when joints exist

  VCD* ecd = nullptr;                      // shared module record
  V3DJOINT* joints = nullptr;              // jointcount joints
  const int32_t* worldmatrix = nullptr;    // the display's world matrix (ClassVDisplay::Render)
  int32_t modelmatrix[16] = {};            // 20.12, identity after Create
  int32_t rendermatrix[16] = {};           // model composed with world while rendering
  int32_t* sortlist = nullptr;             // per drawn triangle: key x 65536 + index
  uint16_t* polygons = nullptr;            // three vertex indices per triangle
  uint8_t* vertexbuffer = nullptr;         // the streams
  uint8_t* animatedbuffer = nullptr;       // posed copy of vertexbuffer (with joints)
  V3DRENDERRECORD* records = nullptr;      // per triangle
  int32_t streamoffset[V3D_STREAMS] = {-1, -1, -1, -1}; // byte offset of each stream's first item, -1 absent
  int32_t streamstride[V3D_STREAMS] = {};  // bytes between a stream's items
  int32_t polygoncount = 0;                // triangles created
  int32_t vertexcount = 0;                 // vertices created
  int32_t verticesinuse = 0;               // highest stored vertex index + 1
  int32_t polygonsinuse = 0;               // highest stored triangle index + 1
  int32_t jointcount = 0;                  // joints created
  uint32_t buffersize = 0;                 // bytes of vertexbuffer
  int32_t lockcount = 0;                   // a record only; never blocks
  bool matrixchanged = false;              // an operation changed the model matrix
  bool hasjoints = false;                  // joints exist
  bool animatedstale = true;               // the animated copy lags the vertex buffer
};
