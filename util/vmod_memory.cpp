// vmod_memory.cpp - blocks, fills, the tracked list, the own LZW coder and the
// zlib calls of the memory module.
//
// Depends on: zlib. The LZW coder's dictionary holds at most 3745 entries
// (codes 256..4000, 9 to 12 bits wide) and strings of at most 191 bytes; both
// coders allocate their scratch per call and free it on every exit.
#include "util/vmod_memory.h"

#include <cstdlib>
#include <cstring>

namespace {

// The own coder's code space.
constexpr uint32_t kFirstEntryCode = 256;   // codes below are plain bytes
constexpr uint32_t kCodeSpaceEnd = 4000;    // the dictionary resets when its codes reach this
constexpr uint32_t kMaxString = 191;        // longest string one code stands for
constexpr uint32_t kDictSlots = 4096;       // scratch slots (more than the 3745 entries used)
constexpr uint32_t kFirstWidth = 9;
constexpr uint32_t kFirstLimit = 512;
constexpr uint32_t kShrinkMargin = 6;       // the output must stay this far below the input size
constexpr uint32_t kTotalSizeAt = 8;
constexpr uint32_t kUnpackedSizeAt = 12;

// Encoder: hash chains from (code of S, next byte) to the entry for S + byte.
constexpr uint32_t kHashBits = 13;          // 8192 heads for at most 3745 entries
constexpr uint16_t kNoEntry = 0xFFFF;

struct LZW_ENCODERTABLES {
  uint16_t head[1u << kHashBits];  // newest entry of each chain
  uint16_t next[kDictSlots];       // older entry of the same chain
  uint32_t key[kDictSlots];        // code of the entry's prefix << 8 | its last byte
};

uint32_t ReadLe32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void WriteLe32(uint8_t* p, uint32_t value) {
  p[0] = uint8_t(value);
  p[1] = uint8_t(value >> 8);
  p[2] = uint8_t(value >> 16);
  p[3] = uint8_t(value >> 24);
}

// Code width and the first code that no longer fits it. After each code both
// coders widen once the highest code the next one may be (count + 255 in the
// coder, count + 256 in the decoder one entry behind) reaches the limit.
struct LZW_WIDTH {
  uint32_t width = kFirstWidth;
  uint32_t limit = kFirstLimit;

  void Reset() {
    width = kFirstWidth;
    limit = kFirstLimit;
  }
  void GrowFor(uint32_t highestCode) {
    if (highestCode >= limit) {
      limit *= 2;
      ++width;
    }
  }
};

// Codes packed most significant bit first; refuses to write past capacity.
struct LZW_BITWRITER {
  uint8_t* out;
  uint32_t pos;
  uint32_t capacity;
  uint32_t bits = 0;   // pending bits in the low end
  uint32_t count = 0;  // number of pending bits (below 8 between calls)

  bool Put(uint32_t code, uint32_t width) {
    bits = bits << width | code;
    count += width;
    while (count >= 8) {
      if (pos == capacity) return false;
      count -= 8;
      out[pos++] = uint8_t(bits >> count);
    }
    return true;
  }
  bool Flush() {
    if (count == 0) return true;
    if (pos == capacity) return false;
    out[pos++] = uint8_t(bits << (8 - count));
    count = 0;
    return true;
  }
};

struct LZW_BITREADER {
  const uint8_t* in;
  uint32_t size;
  uint32_t pos = 0;
  uint32_t bits = 0;
  uint32_t count = 0;

  // False when fewer than width bits are left (the zero padding).
  bool Get(uint32_t width, uint32_t& code) {
    while (count < width) {
      if (pos == size) return false;
      bits = bits << 8 | in[pos++];
      count += 8;
    }
    count -= width;
    code = bits >> count & ((1u << width) - 1);
    return true;
  }
};

uint32_t HashKey(uint32_t key) {
  return (key * 0x9E3779B1u) >> (32 - kHashBits);
}

void ClearChains(LZW_ENCODERTABLES& tables) {
  std::memset(tables.head, 0xFF, sizeof tables.head);
}

uint32_t FindEntry(const LZW_ENCODERTABLES& tables, uint32_t key) {
  for (uint32_t e = tables.head[HashKey(key)]; e != kNoEntry; e = tables.next[e]) {
    if (tables.key[e] == key) return e;
  }
  return kNoEntry;
}

void AddEntry(LZW_ENCODERTABLES& tables, uint32_t index, uint32_t key) {
  const uint32_t h = HashKey(key);
  tables.key[index] = key;
  tables.next[index] = tables.head[h];
  tables.head[h] = uint16_t(index);
}

// The coder proper. Every dictionary entry is some shorter string with a code
// plus one byte, and an entry is only added when that string had no code, so
// the searchable entries (up to 191 bytes) are unique and a chain lookup on
// (code of S, byte) finds exactly the entry a search in index order would.
// Entries of 192 bytes (made when S hits the length limit) can repeat, but S
// never grows to 192, so they only take their code and are never looked up.
struct LZW_ENCODER {
  LZW_ENCODERTABLES& tables;
  LZW_BITWRITER writer;
  LZW_WIDTH width{};
  uint32_t count = 0;

  // Emits S and moves the dictionary on; false when the output would not fit
  // or not shrink.
  bool EndString(uint32_t code, uint32_t size) {
    // The reset below keeps count + 256 within the code space for this entry.
    ++count;
    if (!writer.Put(code, width.width)) return false;
    if (count + kFirstEntryCode - 1 >= kCodeSpaceEnd) {
      count = 0;
      width.Reset();
      ClearChains(tables);
    }
    width.GrowFor(count + kFirstEntryCode - 1);
    return uint64_t(writer.pos) + kShrinkMargin < size;
  }

  // Returns the block size, or 0 when the output would not fit or not shrink.
  uint32_t Encode(const uint8_t* in, uint32_t size) {
    ClearChains(tables);
    uint32_t code = in[0];
    uint32_t length = 1;
    for (uint32_t i = 1; i < size; ++i) {
      const uint32_t byte = in[i];
      const uint32_t key = code << 8 | byte;
      if (length < kMaxString) {
        const uint32_t found = FindEntry(tables, key);
        if (found != kNoEntry) {
          code = kFirstEntryCode + found;
          ++length;
          continue;
        }
        AddEntry(tables, count, key);
      }
      if (!EndString(code, size)) return 0;
      code = byte;
      length = 1;
    }
    if (!writer.Put(code, width.width) || !writer.Flush()) return 0;
    return writer.pos;
  }
};

// The decoder, one entry behind the coder. Decode writes the string of a code
// at produced, or returns false for a code the coder cannot have made or a
// string past the stated size. Entries only point at finished output before
// produced, so the copies never overlap.
struct LZW_DECODER {
  uint8_t* out;
  uint32_t stated;
  uint32_t* offsets;
  uint8_t* lengths;
  uint32_t produced = 0;
  uint32_t count = 0;
  bool started = false;     // a first code since the last reset was read
  uint32_t prevOffset = 0;  // the string written last
  uint32_t prevLength = 0;

  bool Room(uint32_t length) const { return length <= kMaxString && length <= stated - produced; }

  void AddEntry(uint32_t length) {
    offsets[count] = prevOffset;
    lengths[count] = uint8_t(length);
    ++count;
  }

  bool Decode(uint32_t code) {
    uint32_t length;
    if (!started) {
      // The first code of a dictionary is a plain byte.
      if (code >= kFirstEntryCode || !Room(1)) return false;
      out[produced] = uint8_t(code);
      length = 1;
      started = true;
    } else if (code < kFirstEntryCode + count) {
      // Known code: the previous string plus this one's first byte is new.
      AddEntry(prevLength + 1);
      if (code < kFirstEntryCode) {
        if (!Room(1)) return false;
        out[produced] = uint8_t(code);
        length = 1;
      } else {
        const uint32_t entry = code - kFirstEntryCode;
        length = lengths[entry];
        if (!Room(length)) return false;
        std::memcpy(out + produced, out + offsets[entry], length);
      }
    } else if (code == kFirstEntryCode + count) {
      // The code the coder made from the string it is emitting (KwKwK).
      length = prevLength + 1;
      if (!Room(length)) return false;
      std::memcpy(out + produced, out + prevOffset, prevLength);
      out[produced + prevLength] = out[prevOffset];
      AddEntry(length);
    } else {
      return false;
    }
    prevOffset = produced;
    prevLength = length;
    produced += length;
    return true;
  }
};

bool DecodeLzw(LZW_DECODER& decoder, const uint8_t* in, uint32_t size) {
  LZW_BITREADER reader{in, size};
  LZW_WIDTH width{};
  uint32_t code;
  while (reader.Get(width.width, code)) {
    if (!decoder.Decode(code)) return false;
    if (decoder.count + kFirstEntryCode >= kCodeSpaceEnd) {
      decoder.count = 0;
      decoder.started = false;
      width.Reset();
    }
    width.GrowFor(decoder.count + kFirstEntryCode);
  }
  return decoder.produced == decoder.stated;
}

}  // namespace

ClassVMemory::~ClassVMemory() {
  DeAlloc(listtable);
  DeAlloc(sizetable);
}

void* ClassVMemory::Alloc(uint32_t size) {
  return size == 0 ? nullptr : std::malloc(size);
}

void ClassVMemory::DeAlloc(void* block) {
  std::free(block);
}

void ClassVMemory::Set(void* dst, uint8_t byte, uint32_t count) {
  if (count) std::memset(dst, byte, count);
}

void ClassVMemory::Set16(void* dst, uint16_t value, uint32_t count) {
  uint8_t* p = static_cast<uint8_t*>(dst);
  for (uint32_t i = 0; i < count; ++i) std::memcpy(p + i * 2u, &value, 2);
}

void ClassVMemory::Set24(void* dst, uint32_t value, uint32_t count) {
  const uint8_t low = uint8_t(value), middle = uint8_t(value >> 8), high = uint8_t(value >> 16);
  uint8_t* p = static_cast<uint8_t*>(dst);
  for (uint32_t i = 0; i < count; ++i, p += 3) {
    p[0] = low;
    p[1] = middle;
    p[2] = high;
  }
}

void ClassVMemory::Set32(void* dst, uint32_t value, uint32_t count) {
  uint8_t* p = static_cast<uint8_t*>(dst);
  for (uint32_t i = 0; i < count; ++i) std::memcpy(p + i * 4u, &value, 4);
}

void ClassVMemory::Copy(void* dst, const void* src, uint32_t size, bool overlap) {
  if (size == 0 || dst == src) return;
  if (overlap) {
    std::memmove(dst, src, size);
  } else {
    std::memcpy(dst, src, size);
  }
}

int32_t ClassVMemory::Compare(const void* a, const void* b, uint32_t size) {
  const uint8_t* pa = static_cast<const uint8_t*>(a);
  const uint8_t* pb = static_cast<const uint8_t*>(b);
  for (uint32_t i = 0; i < size; ++i) {
    if (pa[i] != pb[i]) return int32_t(pa[i]) - int32_t(pb[i]);
  }
  return 0;
}

void* ClassVMemory::AllocList(uint32_t size) {
  if (size == 0 || size > UINT32_MAX - 4) return nullptr;
  uint32_t slot = 0;
  while (slot < listcapacity && sizetable[slot] != 0) ++slot;
  if (slot == listcapacity && !GrowList()) return nullptr;
  uint8_t* block = static_cast<uint8_t*>(Alloc(size + 4));
  if (!block) return nullptr;
  std::memcpy(block, &slot, 4);
  listtable[slot] = block;
  sizetable[slot] = size + 4;
  return block + 4;
}

void ClassVMemory::DeAllocList(void* block) {
  if (!block) return;
  uint8_t* base = static_cast<uint8_t*>(block) - 4;
  uint32_t slot;
  std::memcpy(&slot, base, 4);
  // A block this list did not hand out is left alone.
  if (slot >= listcapacity || listtable[slot] != base) return;
  listtable[slot] = nullptr;
  sizetable[slot] = 0;
  DeAlloc(base);
}

uint32_t ClassVMemory::InUse() const {
  uint64_t total = uint64_t(listcapacity) * VMEM_LISTSLOTBYTES;
  for (uint32_t slot = 0; slot < listcapacity; ++slot) total += sizetable[slot];
  return total > UINT32_MAX ? UINT32_MAX : uint32_t(total);
}

bool ClassVMemory::GrowList() {
  if (listcapacity > UINT32_MAX / VMEM_LISTSLOTBYTES - VMEM_LISTGROWTH) return false;
  const uint32_t capacity = listcapacity + VMEM_LISTGROWTH;
  void** blocks = static_cast<void**>(Alloc(capacity * uint32_t(sizeof(void*))));
  uint32_t* sizes = static_cast<uint32_t*>(Alloc(capacity * 4u));
  if (!blocks || !sizes) {
    DeAlloc(blocks);
    DeAlloc(sizes);
    return false;
  }
  for (uint32_t slot = 0; slot < capacity; ++slot) {
    const bool kept = slot < listcapacity;
    blocks[slot] = kept ? listtable[slot] : nullptr;
    sizes[slot] = kept ? sizetable[slot] : 0;
  }
  DeAlloc(listtable);
  DeAlloc(sizetable);
  listtable = blocks;
  sizetable = sizes;
  listcapacity = capacity;
  return true;
}

int ClassVMemory::Compress(void* dst, uint32_t& dstSize, const void* src, uint32_t srcSize) {
  if (!dst || !src || srcSize == 0 || dstSize < VMEM_BLOCKHEADER) return 0;
  auto* tables = static_cast<LZW_ENCODERTABLES*>(Alloc(sizeof(LZW_ENCODERTABLES)));
  if (!tables) return 0;
  uint8_t* out = static_cast<uint8_t*>(dst);
  LZW_ENCODER encoder{*tables, {out, VMEM_BLOCKHEADER, dstSize}};
  const uint32_t total = encoder.Encode(static_cast<const uint8_t*>(src), srcSize);
  dictcount = encoder.count;
  DeAlloc(tables);
  if (total == 0) return 0;
  std::memset(out, 0, kTotalSizeAt);
  WriteLe32(out + kTotalSizeAt, total);
  WriteLe32(out + kUnpackedSizeAt, srcSize);
  dstSize = total;
  return 1;
}

int ClassVMemory::UnCompress(void* dst, uint32_t& dstSize, const void* src, uint32_t srcSize) {
  if (!src || srcSize < VMEM_BLOCKHEADER) return 0;
  const uint8_t* in = static_cast<const uint8_t*>(src);
  const uint32_t stated = ReadLe32(in + kUnpackedSizeAt);
  if (stated > dstSize || (stated != 0 && !dst)) return 0;
  dictoffsets = static_cast<uint32_t*>(Alloc(kDictSlots * 4));
  dictlengths = static_cast<uint8_t*>(Alloc(kDictSlots));
  bool decoded = false;
  if (dictoffsets && dictlengths) {
    LZW_DECODER decoder{static_cast<uint8_t*>(dst), stated, dictoffsets, dictlengths};
    decoded = DecodeLzw(decoder, in + VMEM_BLOCKHEADER, srcSize - VMEM_BLOCKHEADER);
    dictcount = decoder.count;
  }
  DeAlloc(dictoffsets);
  DeAlloc(dictlengths);
  dictoffsets = nullptr;
  dictlengths = nullptr;
  if (!decoded) return 0;
  dstSize = stated;
  return 1;
}

int ClassVMemory::CompressZLib(void* dst, uint32_t& dstSize, const void* src, uint32_t srcSize) {
  if (!dst || (!src && srcSize != 0)) return 0;
  uLongf length = dstSize;
  if (compress2(static_cast<Bytef*>(dst), &length, static_cast<const Bytef*>(src), srcSize, Z_DEFAULT_COMPRESSION) != Z_OK) {
    return 0;
  }
  dstSize = uint32_t(length);
  return 1;
}

int ClassVMemory::UnCompressZLib(void* dst, uint32_t& dstSize, const void* src, uint32_t srcSize) {
  if (!src || srcSize == 0 || (!dst && dstSize != 0)) return 0;
  uLongf length = dstSize;
  if (uncompress(static_cast<Bytef*>(dst), &length, static_cast<const Bytef*>(src), srcSize) != Z_OK) return 0;
  dstSize = uint32_t(length);
  return 1;
}

// --- CZLib -------------------------------------------------------------------

CZLib::CZLib() {
  std::memset(&stream, 0, sizeof stream);  // zalloc, zfree, opaque null: zlib's own allocation
}

CZLib::~CZLib() {
  EndOpenStream();
}

void CZLib::EndOpenStream() {
  if (mode == Mode::Inflating) inflateEnd(&stream);
  if (mode == Mode::Deflating) deflateEnd(&stream);
  mode = Mode::None;
}

void CZLib::SetupInput(const void* data, uint32_t size) {
  // zlib only reads through next_in; its type lacks the const.
  stream.next_in = static_cast<Bytef*>(const_cast<void*>(data));
  stream.avail_in = size;
}

const uint8_t* CZLib::NextInput() const { return stream.next_in; }
uint32_t CZLib::AvailableInput() const { return stream.avail_in; }
uint32_t CZLib::TotalInput() const { return uint32_t(stream.total_in); }

void CZLib::SetupOutput(void* data, uint32_t size) {
  stream.next_out = static_cast<Bytef*>(data);
  stream.avail_out = size;
}

uint8_t* CZLib::NextOutput() const { return stream.next_out; }
uint32_t CZLib::AvailableOutput() const { return stream.avail_out; }
uint32_t CZLib::TotalOutput() const { return uint32_t(stream.total_out); }
int CZLib::DataType() const { return stream.data_type; }
uint32_t CZLib::Adler() const { return uint32_t(stream.adler); }

int CZLib::InflateInit() {
  EndOpenStream();
  const int result = inflateInit(&stream);
  if (result == Z_OK) mode = Mode::Inflating;
  return result;
}

int CZLib::InflateInit2(int windowBits) {
  EndOpenStream();
  const int result = inflateInit2(&stream, windowBits);
  if (result == Z_OK) mode = Mode::Inflating;
  return result;
}

int CZLib::Inflate(int flush) {
  return mode == Mode::Inflating ? inflate(&stream, flush) : Z_STREAM_ERROR;
}

int CZLib::InflateEnd() {
  if (mode != Mode::Inflating) return Z_STREAM_ERROR;
  mode = Mode::None;
  return inflateEnd(&stream);
}

int CZLib::InflateReset() {
  return mode == Mode::Inflating ? inflateReset(&stream) : Z_STREAM_ERROR;
}

int CZLib::InflateSync() {
  return mode == Mode::Inflating ? inflateSync(&stream) : Z_STREAM_ERROR;
}

int CZLib::InflateSetDictionary(const void* dictionary, uint32_t size) {
  if (mode != Mode::Inflating) return Z_STREAM_ERROR;
  return inflateSetDictionary(&stream, static_cast<const Bytef*>(dictionary), size);
}

int CZLib::DeflateInit(int level) {
  EndOpenStream();
  const int result = deflateInit(&stream, level);
  if (result == Z_OK) mode = Mode::Deflating;
  return result;
}

int CZLib::DeflateInit2(int level, int method, int windowBits, int memLevel, int strategy) {
  EndOpenStream();
  const int result = deflateInit2(&stream, level, method, windowBits, memLevel, strategy);
  if (result == Z_OK) mode = Mode::Deflating;
  return result;
}

int CZLib::Deflate(int flush) {
  return mode == Mode::Deflating ? deflate(&stream, flush) : Z_STREAM_ERROR;
}

int CZLib::DeflateEnd() {
  if (mode != Mode::Deflating) return Z_STREAM_ERROR;
  mode = Mode::None;
  return deflateEnd(&stream);
}

int CZLib::DeflateReset() {
  return mode == Mode::Deflating ? deflateReset(&stream) : Z_STREAM_ERROR;
}

int CZLib::DeflateParams(int level, int strategy) {
  return mode == Mode::Deflating ? deflateParams(&stream, level, strategy) : Z_STREAM_ERROR;
}

int CZLib::DeflateSetDictionary(const void* dictionary, uint32_t size) {
  if (mode != Mode::Deflating) return Z_STREAM_ERROR;
  return deflateSetDictionary(&stream, static_cast<const Bytef*>(dictionary), size);
}

uint32_t CZLib::DeflateBound(uint32_t size) {
  // Without an open deflate stream zlib gives its bound for default settings.
  return uint32_t(deflateBound(mode == Mode::Deflating ? &stream : nullptr, size));
}

int CZLib::Compress(void* dst, uint32_t& dstSize, const void* src, uint32_t srcSize, int level) {
  uLongf length = dstSize;
  const int result = compress2(static_cast<Bytef*>(dst), &length, static_cast<const Bytef*>(src), srcSize, level);
  if (result == Z_OK) dstSize = uint32_t(length);
  return result;
}

int CZLib::Uncompress(void* dst, uint32_t& dstSize, const void* src, uint32_t srcSize) {
  uLongf length = dstSize;
  const int result = uncompress(static_cast<Bytef*>(dst), &length, static_cast<const Bytef*>(src), srcSize);
  if (result == Z_OK) dstSize = uint32_t(length);
  return result;
}

uint32_t CZLib::Adler32(uint32_t adler, const void* data, uint32_t size) {
  return uint32_t(adler32(adler, static_cast<const Bytef*>(data), size));
}

uint32_t CZLib::Crc32(uint32_t crc, const void* data, uint32_t size) {
  return uint32_t(crc32(crc, static_cast<const Bytef*>(data), size));
}
