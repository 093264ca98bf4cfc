// lzw_reference.h - the own dictionary compressor written step by step as its
// format describes it, searching the dictionary entry by entry. Far too slow
// for real data; the suite checks ClassVMemory::Compress against it.
#pragma once

#include <cstdint>

// What one run of the reference coder went through, so a test can show that
// its input reached the paths it is meant to cover.
struct LZWREFERENCE_STATS {
  uint32_t codes = 0;   // codes emitted
  uint32_t resets = 0;  // dictionary resets
  uint32_t splits = 0;  // strings ended by the 191-byte limit
};

// dstSize: capacity in, block size out. 1 on success, 0 when the output would
// not fit in the capacity or the data does not shrink.
int LzwReference_Compress(void* dst, uint32_t& dstSize, const void* src, uint32_t srcSize,
                          LZWREFERENCE_STATS* stats = nullptr);
