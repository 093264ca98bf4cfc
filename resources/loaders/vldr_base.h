// vldr_base.h - the loader framework's base: the record a 2D loader hands to
// every surface callback, the loader result codes, and the loader base class
// that the display keeps in its loader slots.
//
// A surface offers a block of file data to the registered loaders in slot
// order; the loader that recognises the format calls LdrOnCreate once, then
// LdrOnPaletteStream zero or more times (indexed images) and LdrOnPixelStream
// once per row. Sources: vldr_base.cpp (the byte reader), vldr_register.cpp
// (registration). Depends on: the display (registration only).
#pragma once

#include <cstdint>

class V2DSurfaceBase;
class V3DSurface;

// Results of Start.
constexpr int VLDR_LOADED = 0;         // loaded
constexpr int VLDR_CORRUPT = 1;        // the data is corrupt or inconsistent
constexpr int VLDR_OUTOFMEMORY = 2;    // out of memory
constexpr int VLDR_NOTMYFORMAT = 3;    // not this loader's format; the next loader tries
constexpr int VLDR_DECLINED = 14;      // declined; the next loader tries too

// Bits of VLDR_2DCALLBACKINFO::flags the surface callbacks read.
constexpr uint32_t VLDR_FLAG_DITHER = 0x10;  // dither down to 12, 15 and 16 bits
constexpr uint32_t VLDR_FLAG_REMAP = 0x40;   // map colours onto the display palette (8-bit surfaces)

// What a 2D loader tells the surface. Colours on every stream: red bits 0-7,
// green 8-15, blue 16-23, alpha 24-31 (255 = opaque); palette entries alike.
struct VLDR_2DCALLBACKINFO {
  int32_t width;          // image width in pixels
  uint32_t height;        // image height in pixels
  uint8_t indexed;        // 1: one palette index per byte; 0: 32-bit colours
  uint8_t alpha;          // 1: the image carries transparency
  const void* data;       // palette stream: the entries; pixel stream: one row
  uint32_t length;        // bytes at data
  uint32_t lastimage;     // GIF only: index of the last image to decode
  uint32_t reserved;      // not used by the 2D loaders
  uint8_t displaytype;    // video type argument of Start, passed through
  uint32_t flags;         // flags argument of Start, passed through
  uint32_t palettestart;  // first palette entry of the palette stream
  int32_t offset;         // pixel stream: index of the row's first pixel (row x width)
};

// What a model loader tells the model (V3DSurface's Ldr callbacks). The
// loader sets the counts, modes and flags, calls LdrOnCreate once, then
// delivers batches; each stream callback stores its items and adds their
// number to its start field, so batches continue where the last one ended.
// Batch items (little-endian 32-bit words unless said):
//   vertices   12 bytes: x, y, z, 20.12
//   triangles  16 bytes: three vertex indices, one unused word
//   texels     per vertex 12 bytes (u, v, unused), per triangle 24 bytes
//              (u, v of its first, second and third vertex); 16.16, 1.0 = the texture
//   colours    4 bytes: the colour, alpha in bits 24-31
//   normals    12 bytes: x, y, z, 20.12 (4096 = unit length)
//   joints     jointitem 0: 36 bytes per joint: parent (-1 none), rotation x, y, z
//              (angles, 4096 to the turn), position x, y, z (20.12), rotation key
//              count, position key count; jointitem 1: 8 bytes per attachment:
//              vertex index, joint index
//   key frames 16 bytes: time (ms), x, y, z (angles or 20.12 positions) for the
//              joint keyjoint, rotation keys when keykind is 0, position keys when 1
constexpr uint8_t VLDR_JOINT_PROPERTIES = 0;
constexpr uint8_t VLDR_JOINT_ATTACHMENTS = 1;
constexpr uint8_t VLDR_KEYS_ROTATION = 0;
constexpr uint8_t VLDR_KEYS_POSITION = 1;
struct VLDR_3DCALLBACKINFO {
  uint32_t vertexcount;    // total vertices; passed to Create
  uint32_t polygoncount;   // total triangles; passed to Create
  uint8_t texelmode;       // 1: one texture coordinate per vertex; 0: per triangle
  uint8_t colormode;       // 1: one colour per vertex; 0: per triangle
  uint8_t normalmode;      // 1: one normal per vertex; 0: per triangle
  const void* data;        // the batch being delivered
  uint32_t length;         // bytes in the batch
  uint32_t reserved[2];    // [0] groups (3DS: meshes), [1] materials, for tools; the model reads neither
  uint32_t flags;          // Create's flags
  uint32_t vertexstart;    // index of the batch's first item, per stream
  uint32_t polygonstart;
  uint32_t texelstart;
  uint32_t colorstart;
  uint32_t normalstart;
  uint32_t jointcount;     // joints to create (0: none)
  uint8_t jointitem;       // VLDR_JOINT_PROPERTIES or VLDR_JOINT_ATTACHMENTS
  uint32_t jointstart;     // first joint of a properties batch
  uint32_t keyjoint;       // the joint a key-frame batch belongs to
  uint8_t keykind;         // VLDR_KEYS_ROTATION or VLDR_KEYS_POSITION
  uint32_t keystart;       // first key of the batch in that joint's array
};

// A loader's working buffer from the memory module, released on every exit.
class VLdrBuffer {
 public:
  explicit VLdrBuffer(uint32_t bytes);  // null (check Get) when memory is exhausted or bytes is 0
  ~VLdrBuffer();
  VLdrBuffer(const VLdrBuffer&) = delete;
  VLdrBuffer& operator=(const VLdrBuffer&) = delete;
  uint8_t* Get() const { return block; }

 private:
  uint8_t* block;
};

class ClassVLoaderBase {
 public:
  ClassVLoaderBase() = default;
  virtual ~ClassVLoaderBase() = default;
  ClassVLoaderBase(const ClassVLoaderBase&) = delete;
  ClassVLoaderBase& operator=(const ClassVLoaderBase&) = delete;

  virtual int Start(V2DSurfaceBase* surface, const void* data, uint32_t length, uint8_t displaytype,
                    uint32_t flags) {  // images; the base knows no format
    (void)surface, (void)data, (void)length, (void)displaytype, (void)flags;
    return VLDR_NOTMYFORMAT;
  }
  virtual int Start(V3DSurface* surface, const void* data, uint32_t length, int8_t option,
                    uint32_t flags) {  // models; the base knows no format
    (void)surface, (void)data, (void)length, (void)option, (void)flags;
    return VLDR_NOTMYFORMAT;
  }

  // Byte reader over the linked block. Every read is bounded by the block's
  // size; seeks never check, but a target outside 0 .. 2^32 - 1 lands past
  // any block, so the reads that follow fail instead of wrapping.
  void LinkData(const void* block, uint32_t length);  // links a block, position 0
  void SetByteOrder(bool big) { bigendian = big; }     // for Read16/Read32; fresh loaders are little-endian
  int Read8(uint8_t& out);                             // 1 and the byte; 0 past the end
  int Read16(uint16_t& out);                           // 1 and two bytes in the byte order; 0 if fewer remain
  int Read32(uint32_t& out);                           // 1 and four bytes in the byte order; 0 if fewer remain
  int ReadStream(void* buffer, uint32_t length);       // copies what remains up to length: 1; 0 past the end
  int ReadPadded(void* buffer, uint32_t length);       // as ReadStream, and zeros what the block lacked
  void SeekSet(uint64_t offset);                       // absolute position
  void SeekRelative(int64_t delta);                    // position + delta
  uint32_t Tell() const { return position; }
  bool HaveData() const { return position < size; }
  uint32_t Remaining() const { return position < size ? size - position : 0; }  // bytes left to read

 protected:
  bool bigendian = false;          // byte order of Read16/Read32
  const uint8_t* data = nullptr;   // the linked block, not owned
  uint32_t position = 0;           // read offset from the start of the block
  uint32_t size = 0;               // length of the block in bytes
};

class ClassVDisplay;

// Creates one instance of each loader and registers it with the display in
// the order BMP, GIF, PNG, JPG, TGA, 3DS, MS3D. A refused registration
// destroys that loader and creates none of the rest: 0. All registered: 1.
// The display adopts the registered loaders: they are deleted with it.
int RegisterDisplayLoaders(ClassVDisplay* display);
