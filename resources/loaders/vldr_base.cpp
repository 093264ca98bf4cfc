// vldr_base.cpp - the byte reader every loader parses its block with.
//
// The bounds are written as "bytes remaining" rather than "position + n <
// size" so that a position left anywhere by a seek can never wrap the test.
#include "resources/loaders/vldr_base.h"

#include <cstring>

#include "util/vmod_memory.h"

VLdrBuffer::VLdrBuffer(uint32_t bytes) : block(static_cast<uint8_t*>(ClassVMemory::Alloc(bytes))) {}

VLdrBuffer::~VLdrBuffer() { ClassVMemory::DeAlloc(block); }

void ClassVLoaderBase::LinkData(const void* block, uint32_t length) {
  data = static_cast<const uint8_t*>(block);
  size = block ? length : 0;
  position = 0;
}

int ClassVLoaderBase::Read8(uint8_t& out) {
  if (Remaining() < 1) return 0;
  out = data[position++];
  return 1;
}

int ClassVLoaderBase::Read16(uint16_t& out) {
  if (Remaining() < 2) return 0;
  const uint8_t* p = data + position;
  out = bigendian ? static_cast<uint16_t>((p[0] << 8) | p[1]) : static_cast<uint16_t>(p[0] | (p[1] << 8));
  position += 2;
  return 1;
}

int ClassVLoaderBase::Read32(uint32_t& out) {
  if (Remaining() < 4) return 0;
  const uint8_t* p = data + position;
  if (bigendian) {
    out = (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
  } else {
    out = p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
  }
  position += 4;
  return 1;
}

int ClassVLoaderBase::ReadStream(void* buffer, uint32_t length) {
  if (!HaveData()) return 0;
  uint32_t count = length < Remaining() ? length : Remaining();
  if (count) std::memcpy(buffer, data + position, count);
  position += count;
  return 1;
}

int ClassVLoaderBase::ReadPadded(void* buffer, uint32_t length) {
  uint32_t available = Remaining();
  if (!ReadStream(buffer, length)) return 0;
  if (available < length) std::memset(static_cast<uint8_t*>(buffer) + available, 0, length - available);
  return 1;
}

void ClassVLoaderBase::SeekSet(uint64_t offset) {
  position = offset > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(offset);
}

void ClassVLoaderBase::SeekRelative(int64_t delta) {
  int64_t target = static_cast<int64_t>(position) + delta;
  // Before the block counts as past it: nothing there can be read either.
  position = (target < 0 || target > INT64_C(0xFFFFFFFF)) ? UINT32_MAX : static_cast<uint32_t>(target);
}
