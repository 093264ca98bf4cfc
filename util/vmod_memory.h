// vmod_memory.h - the framework's memory module: blocks, pattern fills,
// copies and compares, a tracked allocation list, the framework's own LZW
// dictionary compressor (compressed package entries, the display module) and
// calls into zlib, plus CZLib, a thin wrapper of one zlib stream.
//
// Depends on: zlib. Most calls are static; the tracked list and the own
// compressor's scratch tables live in the object, so one object serves one
// thread at a time.
//
// Own compressed block: bytes 0-7 zero (never read back), 8-11 total block
// size, 12-15 uncompressed size (both little-endian), then the code stream.
#pragma once

#include <cstdint>

#include <zlib.h>

constexpr uint32_t VMEM_BLOCKHEADER = 16;     // bytes in front of the code stream
constexpr uint32_t VMEM_LISTGROWTH = 256;     // slots the tracked list grows by
constexpr uint32_t VMEM_LISTSLOTBYTES = 8;    // what InUse counts per slot of capacity

class ClassVMemory {
 public:
  ClassVMemory() = default;
  ~ClassVMemory();                                                          // frees the list tables, not the tracked blocks
  ClassVMemory(const ClassVMemory&) = delete;
  ClassVMemory& operator=(const ClassVMemory&) = delete;

  static void* Alloc(uint32_t size);                                        // null for 0 or when memory is exhausted
  static void DeAlloc(void* block);                                         // frees an Alloc block; null is ignored
  static void Set(void* dst, uint8_t byte, uint32_t count);                 // count bytes
  static void Set16(void* dst, uint16_t value, uint32_t count);             // count 16-bit units, native order, any alignment
  static void Set24(void* dst, uint32_t value, uint32_t count);             // count 3-byte units: value's low, middle, high byte
  static void Set32(void* dst, uint32_t value, uint32_t count);             // count 32-bit units, native order, any alignment
  static void Copy(void* dst, const void* src, uint32_t size, bool overlap = false); // overlap: ranges may overlap either way; else they must not
  static int32_t Compare(const void* a, const void* b, uint32_t size);      // 0, or a's minus b's first differing byte (unsigned bytes)

  void* AllocList(uint32_t size);                                           // tracked block; null for 0 or when memory is exhausted
  void DeAllocList(void* block);                                            // frees a tracked block, clears its slot; null is ignored
  uint32_t InUse() const;                                                   // 8 per slot of capacity + the recorded sizes

  int Compress(void* dst, uint32_t& dstSize, const void* src, uint32_t srcSize);   // dstSize: capacity in, block size out; 0 when it would not fit or not shrink
  int UnCompress(void* dst, uint32_t& dstSize, const void* src, uint32_t srcSize); // dstSize: capacity in, unpacked size out; 0 for a corrupt block
  static int CompressZLib(void* dst, uint32_t& dstSize, const void* src, uint32_t srcSize);   // zlib stream, default level; dstSize: capacity in, size out
  static int UnCompressZLib(void* dst, uint32_t& dstSize, const void* src, uint32_t srcSize); // inflate; dstSize: capacity in, size out

 private:
  bool GrowList();                                                          // 256 more slots, new sizes 0

  void** listtable = nullptr;        // tracked blocks, one per slot
  uint32_t* sizetable = nullptr;     // recorded block sizes (size + 4), 0 = free slot
  uint32_t* dictoffsets = nullptr;   // decoder scratch: where each entry starts in the output
  uint8_t* dictlengths = nullptr;    // decoder scratch: length of each entry
  uint32_t listcapacity = 0;         // slots in the two list tables
  uint32_t dictcount = 0;            // dictionary entries in use when the last coder call ended
};

// One zlib stream with zlib's default allocation; every call forwards to the
// zlib call of the same name and returns its result code.
class CZLib {
 public:
  CZLib();
  ~CZLib();                                                                 // ends a stream still open
  CZLib(const CZLib&) = delete;
  CZLib& operator=(const CZLib&) = delete;

  void SetupInput(const void* data, uint32_t size);                         // next_in, avail_in
  const uint8_t* NextInput() const;                                         // next_in
  uint32_t AvailableInput() const;                                          // avail_in
  uint32_t TotalInput() const;                                              // total_in
  void SetupOutput(void* data, uint32_t size);                              // next_out, avail_out
  uint8_t* NextOutput() const;                                              // next_out
  uint32_t AvailableOutput() const;                                         // avail_out
  uint32_t TotalOutput() const;                                             // total_out
  int DataType() const;                                                     // data_type
  uint32_t Adler() const;                                                   // adler of the data so far

  int InflateInit();                                                        // inflateInit (ends an open stream first)
  int InflateInit2(int windowBits);                                         // inflateInit2
  int Inflate(int flush);                                                   // inflate
  int InflateEnd();                                                         // inflateEnd
  int InflateReset();                                                       // inflateReset
  int InflateSync();                                                        // inflateSync
  int InflateSetDictionary(const void* dictionary, uint32_t size);          // inflateSetDictionary
  int DeflateInit(int level);                                               // deflateInit (ends an open stream first)
  int DeflateInit2(int level, int method, int windowBits, int memLevel, int strategy); // deflateInit2
  int Deflate(int flush);                                                   // deflate
  int DeflateEnd();                                                         // deflateEnd
  int DeflateReset();                                                       // deflateReset
  int DeflateParams(int level, int strategy);                               // deflateParams
  int DeflateSetDictionary(const void* dictionary, uint32_t size);          // deflateSetDictionary
  uint32_t DeflateBound(uint32_t size);                                     // deflateBound of an open deflate stream

  static int Compress(void* dst, uint32_t& dstSize, const void* src, uint32_t srcSize, int level = Z_DEFAULT_COMPRESSION); // compress2
  static int Uncompress(void* dst, uint32_t& dstSize, const void* src, uint32_t srcSize); // uncompress
  static uint32_t Adler32(uint32_t adler, const void* data, uint32_t size);                // adler32
  static uint32_t Crc32(uint32_t crc, const void* data, uint32_t size);                    // crc32

 private:
  enum class Mode { None, Inflating, Deflating };

  void EndOpenStream();                                                     // inflateEnd/deflateEnd of what is open

  z_stream stream;
  Mode mode = Mode::None;
};
