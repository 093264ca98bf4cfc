// fuzz_uncompress.cpp - the own dictionary decoder on arbitrary blocks, and
// the coder on arbitrary data.
//
// The input is taken as a compressed block and decoded into a buffer of the
// stated size (at most 1 MB, so larger claims also meet a smaller capacity)
// followed by a guard: the decoder may succeed only with exactly the stated
// size and must never touch the guard. The same input is then compressed in
// the package layer's buffer (length + length / 100 + 12) and, when accepted,
// must decode to itself.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "util/vmod_memory.h"

namespace {

constexpr uint32_t kMaxCapacity = 1u << 20;
constexpr uint32_t kGuardBytes = 64;
constexpr uint8_t kGuard = 0xA5;

void Require(bool condition) {
  if (!condition) std::abort();
}

bool GuardIntact(const std::vector<uint8_t>& buffer, size_t from) {
  for (size_t i = from; i < buffer.size(); ++i) {
    if (buffer[i] != kGuard) return false;
  }
  return true;
}

uint32_t StatedSize(const uint8_t* data, size_t size) {
  if (size < VMEM_BLOCKHEADER) return 0;
  return uint32_t(data[12]) | uint32_t(data[13]) << 8 | uint32_t(data[14]) << 16 | uint32_t(data[15]) << 24;
}

void DecodeAsBlock(ClassVMemory& memory, const uint8_t* data, uint32_t size) {
  const uint32_t stated = StatedSize(data, size);
  const uint32_t capacity = stated < kMaxCapacity ? stated : kMaxCapacity;
  std::vector<uint8_t> out(capacity + kGuardBytes, kGuard);
  uint32_t outSize = capacity;
  const int result = memory.UnCompress(out.data(), outSize, data, size);
  Require(GuardIntact(out, capacity));
  Require(result == 0 || (size >= VMEM_BLOCKHEADER && outSize == stated));
}

void RoundTrip(ClassVMemory& memory, const uint8_t* data, uint32_t size) {
  const uint32_t capacity = size + size / 100 + 12;
  std::vector<uint8_t> block(capacity + kGuardBytes, kGuard);
  uint32_t blockSize = capacity;
  const int packed = memory.Compress(block.data(), blockSize, data, size);
  Require(GuardIntact(block, capacity));
  if (!packed) return;
  Require(blockSize < size);
  std::vector<uint8_t> out(size);
  uint32_t outSize = size;
  Require(memory.UnCompress(out.data(), outSize, block.data(), blockSize) == 1);
  Require(outSize == size && std::memcmp(out.data(), data, size) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxCapacity) return 0;
  ClassVMemory memory;
  DecodeAsBlock(memory, data, uint32_t(size));
  if (size > 0) RoundTrip(memory, data, uint32_t(size));
  return 0;
}
