// test_vmod_memory.cpp - fills, copies, compares, the tracked list, the own
// dictionary coder and the zlib calls. The fast coder is checked byte for
// byte against the plain reference coder (lzw_reference) on a corpus that
// reaches the dictionary reset and the 191-byte limit; the known-answer code
// streams are worked out by hand from the block format's rules; the zlib
// checksums are the published check values.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#include "tests/support/xorshift.h"
#include "tests/util/lzw_reference.h"
#include "util/vmod_memory.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kGuard = 0xA5;  // fills memory a call must not touch
constexpr uint32_t kGuardBytes = 64;

// --- inputs ------------------------------------------------------------------

using Rng = XorShift32;

Bytes RandomBytes(uint32_t size, uint32_t alphabet, uint32_t seed) {
  Rng rng{seed};
  Bytes out(size);
  for (auto& b : out) b = uint8_t(rng.Below(alphabet));
  return out;
}

Bytes RunOf(uint32_t size, uint8_t value) { return Bytes(size, value); }

Bytes Periodic(uint32_t size, uint32_t period, uint32_t seed) {
  const Bytes pattern = RandomBytes(period, 256, seed);
  Bytes out(size);
  for (uint32_t i = 0; i < size; ++i) out[i] = pattern[i % period];
  return out;
}

Bytes Text(uint32_t size, uint32_t seed) {
  static const char* const kWords[] = {"the",   "object", "falls",  "into", "a",     "row",   "of",    "three",
                                       "score", "level",  "bonus",  "bar",  "fills", "with",  "every", "link",
                                       "frozen", "treasure", "hint", "moves", "and",  "colour", "player", "swap"};
  Rng rng{seed};
  Bytes out;
  while (out.size() < size) {
    const std::string word = kWords[rng.Below(sizeof kWords / sizeof kWords[0])];
    out.insert(out.end(), word.begin(), word.end());
    const uint32_t r = rng.Below(16);
    out.push_back(r == 0 ? '\n' : r == 1 ? ',' : r == 2 ? '.' : ' ');
  }
  out.resize(size);
  return out;
}

// An 8-bit palette picture: colour-key background, filled discs with a
// one-pixel outline and a little shading noise, as sprite sheets look.
Bytes Sprite8(uint32_t width, uint32_t height, uint32_t seed) {
  Rng rng{seed};
  Bytes out(size_t(width) * height, 0);
  for (int disc = 0; disc < 40; ++disc) {
    const int cx = int(rng.Below(width)), cy = int(rng.Below(height)), r = 4 + int(rng.Below(20));
    const uint8_t colour = uint8_t(1 + rng.Below(15));
    for (int y = 0; y < int(height); ++y) {
      for (int x = 0; x < int(width); ++x) {
        const int d = (x - cx) * (x - cx) + (y - cy) * (y - cy);
        if (d > r * r) continue;
        const bool outline = d > (r - 1) * (r - 1);
        out[size_t(y) * width + x] = outline ? 16 : uint8_t(colour + (rng.Below(4) == 0 ? 16 : 0));
      }
    }
  }
  return out;
}

// The same picture in 16-bit pixels (a palette of RGB565 values).
Bytes Sprite16(uint32_t width, uint32_t height, uint32_t seed) {
  const Bytes indices = Sprite8(width, height, seed);
  Bytes out;
  for (uint8_t index : indices) {
    const uint16_t pixel = index == 0 ? 0xF81F : uint16_t(index * 0x0861u);
    out.push_back(uint8_t(pixel));
    out.push_back(uint8_t(pixel >> 8));
  }
  return out;
}

Bytes Concat(std::vector<Bytes> parts) {
  Bytes out;
  for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

// A sequence over a 62-symbol alphabet in which no pair of neighbours occurs
// twice (greedy de Bruijn construction), so the coder finds no string in it.
Bytes DistinctPairs(uint32_t size) {
  constexpr uint32_t kAlphabet = 62;
  std::vector<bool> used(kAlphabet * kAlphabet, false);
  Bytes out{0};
  while (out.size() < size) {
    const uint32_t last = out.back();
    uint32_t next = kAlphabet;
    for (uint32_t c = kAlphabet; c-- > 0;) {
      if (!used[last * kAlphabet + c]) {
        next = c;
        break;
      }
    }
    if (next == kAlphabet) break;
    used[last * kAlphabet + next] = true;
    out.push_back(uint8_t(next));
  }
  return out;
}

// --- blocks built by hand ------------------------------------------------------

struct Code {
  uint32_t value;
  uint32_t width;
};

// Packs codes most significant bit first, pads with zeros, and puts the
// block header in front.
Bytes MakeBlock(const std::vector<Code>& codes, uint32_t unpacked) {
  Bytes out(16, 0);
  uint32_t bits = 0, pending = 0;
  for (const Code& code : codes) {
    for (uint32_t bit = code.width; bit-- > 0;) {
      bits = bits << 1 | (code.value >> bit & 1);
      if (++pending == 8) {
        out.push_back(uint8_t(bits));
        bits = pending = 0;
      }
    }
  }
  if (pending) out.push_back(uint8_t(bits << (8 - pending)));
  const uint32_t total = uint32_t(out.size());
  for (int i = 0; i < 4; ++i) {
    out[8 + i] = uint8_t(total >> (8 * i));
    out[12 + i] = uint8_t(unpacked >> (8 * i));
  }
  return out;
}

// Codes of a run of one byte: the byte, then each longer run is the next new
// code (256 for two bytes, 257 for three, ...), all 9 bits while fewer than
// 257 codes have been made.
std::vector<Code> RunCodes(uint8_t value, uint32_t codes) {
  std::vector<Code> out{{value, 9}};
  for (uint32_t i = 1; i < codes; ++i) out.push_back({255 + i, 9});
  return out;
}

// Width of the i-th code since a reset: 9 bits, 10 from the 257th made entry,
// 11 from the 769th, 12 from the 1793rd.
uint32_t WidthOfCode(uint32_t i) { return i >= 1793 ? 12 : i >= 769 ? 11 : i >= 257 ? 10 : 9; }

uint32_t PackageCapacity(uint32_t length) { return length + length / 100 + 12; }

// --- helpers around the module -----------------------------------------------

class MemoryTest : public ::testing::Test {
 protected:
  // Compresses into a buffer of the given capacity followed by a guard.
  int CompressInto(const Bytes& in, uint32_t capacity, Bytes& block) {
    block.assign(capacity + kGuardBytes, kGuard);
    uint32_t size = capacity;
    const int result = memory.Compress(block.data(), size, in.data(), uint32_t(in.size()));
    EXPECT_TRUE(GuardIntact(block, capacity)) << "Compress wrote past its capacity";
    block.resize(result ? size : 0);
    return result;
  }

  int UnCompressInto(const Bytes& block, uint32_t capacity, Bytes& out) {
    out.assign(capacity + kGuardBytes, kGuard);
    uint32_t size = capacity;
    const int result = memory.UnCompress(out.data(), size, block.data(), uint32_t(block.size()));
    EXPECT_TRUE(GuardIntact(out, capacity)) << "UnCompress wrote past its capacity";
    out.resize(result ? size : 0);
    return result;
  }

  static bool GuardIntact(const Bytes& buffer, uint32_t from) {
    for (size_t i = from; i < buffer.size(); ++i) {
      if (buffer[i] != kGuard) return false;
    }
    return true;
  }

  static Bytes WithStatedSize(Bytes block, uint32_t stated) {
    for (int i = 0; i < 4; ++i) block[12 + i] = uint8_t(stated >> (8 * i));
    return block;
  }

  ClassVMemory memory;
};

// --- fills, copies, compares -------------------------------------------------

TEST(MemoryFill, SetFillsExactlyCountBytes) {
  Bytes buffer(12, 0);
  ClassVMemory::Set(buffer.data() + 1, 0x7E, 10);
  EXPECT_EQ(Bytes({0, 0x7E, 0x7E, 0x7E, 0x7E, 0x7E, 0x7E, 0x7E, 0x7E, 0x7E, 0x7E, 0}), buffer);
}

TEST(MemoryFill, Set24WritesLowMiddleHighByte) {
  Bytes buffer(11, 0);
  ClassVMemory::Set24(buffer.data() + 1, 0xAA112233, 3);
  EXPECT_EQ(Bytes({0, 0x33, 0x22, 0x11, 0x33, 0x22, 0x11, 0x33, 0x22, 0x11, 0}), buffer);
}

TEST(MemoryFill, Set16AndSet32FillUnalignedUnitsWithTheValue) {
  Bytes buffer(1 + 7 * 4 + 1, 0);
  ClassVMemory::Set16(buffer.data() + 1, 0xBEEF, 7);
  for (int i = 0; i < 7; ++i) {
    uint16_t unit;
    std::memcpy(&unit, buffer.data() + 1 + 2 * i, 2);
    EXPECT_EQ(0xBEEF, unit);
  }
  EXPECT_EQ(0, buffer[15]);
  ClassVMemory::Set32(buffer.data() + 1, 0x01020304, 7);
  for (int i = 0; i < 7; ++i) {
    uint32_t unit;
    std::memcpy(&unit, buffer.data() + 1 + 4 * i, 4);
    EXPECT_EQ(0x01020304u, unit);
  }
  EXPECT_EQ(0, buffer[0]);
  EXPECT_EQ(0, buffer.back());
}

struct CopyCase {
  const char* name;
  uint32_t dst;
  uint32_t src;
  uint32_t size;
  bool overlap;
};

void PrintTo(const CopyCase& c, std::ostream* os) { *os << c.name; }

class MemoryCopy : public ::testing::TestWithParam<CopyCase> {};

// Every case must end as memmove would leave the buffer.
TEST_P(MemoryCopy, MovesBytesAsMemmove) {
  const CopyCase& c = GetParam();
  Bytes buffer(64);
  for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = uint8_t(i * 7 + 1);
  Bytes expected = buffer;
  if (c.size) std::memmove(expected.data() + c.dst, expected.data() + c.src, c.size);
  ClassVMemory::Copy(buffer.data() + c.dst, buffer.data() + c.src, c.size, c.overlap);
  EXPECT_EQ(expected, buffer);
}

INSTANTIATE_TEST_SUITE_P(Cases, MemoryCopy,
                         ::testing::Values(CopyCase{"disjoint", 40, 0, 20, false},
                                           CopyCase{"disjoint_flagged", 0, 40, 20, true},
                                           CopyCase{"src_below_dst_overlapping", 5, 0, 40, true},
                                           CopyCase{"src_above_dst_overlapping", 0, 5, 40, true},
                                           CopyCase{"src_one_above_dst", 10, 11, 40, true},
                                           CopyCase{"src_one_below_dst", 11, 10, 40, true},
                                           CopyCase{"same_address", 8, 8, 30, true},
                                           CopyCase{"size_zero", 0, 30, 0, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MemoryCompare, ReturnsTheDifferenceOfTheFirstDifferingUnsignedBytes) {
  struct {
    Bytes a, b;
    uint32_t size;
    int32_t expected;
  } const cases[] = {
      {{0x01}, {0xFF}, 1, -254},
      {{0xFF}, {0x01}, 1, 254},
      {{1, 2, 3, 0x80}, {1, 2, 3, 0x7F}, 4, 1},
      {{1, 2, 9, 0}, {1, 2, 3, 0xFF}, 4, 6},
      {{5, 6, 7}, {5, 6, 7}, 3, 0},
      {{1, 2, 3}, {1, 2, 4}, 2, 0},
      {{1}, {2}, 0, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, ClassVMemory::Compare(c.a.data(), c.b.data(), c.size));
}

TEST(MemoryAlloc, ZeroSizeGivesNullAndNullIsIgnored) {
  EXPECT_EQ(nullptr, ClassVMemory::Alloc(0));
  ClassVMemory::DeAlloc(nullptr);
  void* block = ClassVMemory::Alloc(100);
  ASSERT_NE(nullptr, block);
  ClassVMemory::Set(block, 1, 100);
  ClassVMemory::DeAlloc(block);
}

// --- tracked list --------------------------------------------------------------

TEST(MemoryList, InUseCountsEightPerSlotAndTheRecordedSizes) {
  ClassVMemory memory;
  EXPECT_EQ(0u, memory.InUse());
  EXPECT_EQ(nullptr, memory.AllocList(0));
  EXPECT_EQ(0u, memory.InUse());

  void* first = memory.AllocList(100);
  ASSERT_NE(nullptr, first);
  ClassVMemory::Set(first, 0xCC, 100);
  EXPECT_EQ(256u * 8 + 104, memory.InUse());

  void* second = memory.AllocList(10);
  ASSERT_NE(nullptr, second);
  EXPECT_EQ(256u * 8 + 104 + 14, memory.InUse());

  memory.DeAllocList(first);
  EXPECT_EQ(256u * 8 + 14, memory.InUse());
  memory.DeAllocList(nullptr);
  EXPECT_EQ(256u * 8 + 14, memory.InUse());

  // The freed first slot is taken again; the capacity does not change.
  void* third = memory.AllocList(1);
  EXPECT_EQ(256u * 8 + 14 + 5, memory.InUse());
  memory.DeAllocList(second);
  memory.DeAllocList(third);
  EXPECT_EQ(256u * 8, memory.InUse());
}

TEST(MemoryList, GrowsBy256SlotsAndKeepsEveryBlock) {
  ClassVMemory memory;
  std::vector<uint8_t*> blocks;
  for (uint32_t i = 0; i < 257; ++i) {
    blocks.push_back(static_cast<uint8_t*>(memory.AllocList(1 + i % 3)));
    ASSERT_NE(nullptr, blocks.back());
    *blocks.back() = uint8_t(i);
  }
  uint32_t sizes = 0;
  for (uint32_t i = 0; i < 257; ++i) sizes += 1 + i % 3 + 4;
  EXPECT_EQ(512u * 8 + sizes, memory.InUse());
  for (uint32_t i = 0; i < 257; ++i) EXPECT_EQ(uint8_t(i), *blocks[i]);
  for (uint8_t* block : blocks) memory.DeAllocList(block);
  EXPECT_EQ(512u * 8, memory.InUse());
}

// --- own coder: fast against reference ---------------------------------------

struct CorpusCase {
  const char* name;
  Bytes (*make)();
  bool compresses;
  uint32_t minResets;  // the input must reach the dictionary reset this often
  uint32_t minSplits;  // and the 191-byte limit this often
};

void PrintTo(const CorpusCase& c, std::ostream* os) { *os << c.name; }

class MemoryCoderCorpus : public MemoryTest, public ::testing::WithParamInterface<CorpusCase> {};

TEST_P(MemoryCoderCorpus, FastCoderMatchesReferenceAndRoundTrips) {
  const CorpusCase& c = GetParam();
  const Bytes in = c.make();
  const uint32_t capacity = PackageCapacity(uint32_t(in.size()));

  Bytes expected(capacity, kGuard);
  uint32_t expectedSize = capacity;
  LZWREFERENCE_STATS stats;
  const int expectedResult = LzwReference_Compress(expected.data(), expectedSize, in.data(), uint32_t(in.size()), &stats);
  ASSERT_EQ(c.compresses ? 1 : 0, expectedResult);
  EXPECT_GE(stats.resets, c.minResets);
  EXPECT_GE(stats.splits, c.minSplits);

  Bytes block;
  ASSERT_EQ(expectedResult, CompressInto(in, capacity, block));
  if (!expectedResult) return;
  expected.resize(expectedSize);
  ASSERT_EQ(expected, block);

  Bytes out;
  ASSERT_EQ(1, UnCompressInto(block, uint32_t(in.size()), out));
  EXPECT_EQ(in, out);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, MemoryCoderCorpus,
    ::testing::Values(
        CorpusCase{"run_of_one_byte", [] { return RunOf(100000, 'a'); }, true, 0, 400},
        CorpusCase{"run_ending_at_the_length_limit", [] { return RunOf(191 * 192 / 2, 0); }, true, 0, 0},
        CorpusCase{"period_2", [] { return Periodic(80000, 2, 3); }, true, 0, 100},
        CorpusCase{"period_3", [] { return Periodic(80000, 3, 4); }, true, 0, 100},
        CorpusCase{"period_7", [] { return Periodic(150000, 7, 5); }, true, 0, 100},
        CorpusCase{"period_191", [] { return Periodic(40000, 191, 6); }, true, 1, 0},
        CorpusCase{"period_192", [] { return Periodic(40000, 192, 7); }, true, 1, 0},
        CorpusCase{"period_193", [] { return Periodic(40000, 193, 8); }, true, 1, 0},
        CorpusCase{"four_symbols", [] { return RandomBytes(60000, 4, 9); }, true, 2, 0},
        CorpusCase{"sixteen_symbols", [] { return RandomBytes(30000, 16, 10); }, true, 2, 0},
        CorpusCase{"text", [] { return Text(60000, 11); }, true, 3, 0},
        CorpusCase{"sprite_8bit", [] { return Sprite8(256, 192, 12); }, true, 1, 0},
        CorpusCase{"sprite_16bit", [] { return Sprite16(128, 128, 13); }, true, 1, 0},
        CorpusCase{"text_random_run", [] { return Concat({Text(20000, 14), RandomBytes(3000, 256, 15), RunOf(20000, 7)}); },
                   true, 1, 5},
        CorpusCase{"random_bytes", [] { return RandomBytes(20000, 256, 16); }, false, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// --- own coder: known answers ----------------------------------------------------

TEST_F(MemoryTest, RunOfOneByteIsCodedWithCodesNotYetInTheDictionary) {
  // 55 = 1 + 2 + ... + 10 bytes: 'a', then 256 ("aa") up to 264 (ten bytes).
  const Bytes in = RunOf(55, 'a');
  const Bytes expected = MakeBlock(RunCodes('a', 10), 55);
  Bytes block;
  ASSERT_EQ(1, CompressInto(in, 1000, block));
  EXPECT_EQ(expected, block);
  Bytes out;
  ASSERT_EQ(1, UnCompressInto(expected, 55, out));
  EXPECT_EQ(in, out);
}

TEST_F(MemoryTest, LongStringsAreSplitAt191BytesAndCodesWidenAfter256Entries) {
  // Codes for runs of 1..191 bytes (97, 256..445), a hundred more 191-byte
  // runs (445 again: the 192-byte entries are never found), then 5 bytes
  // (259). The 258th code and all after it are 10 bits wide.
  const uint32_t size = 191 * 192 / 2 + 191 * 100 + 5;
  std::vector<Code> codes = RunCodes('a', 191);
  for (int i = 0; i < 100; ++i) codes.push_back({445, 0});
  codes.push_back({259, 0});
  for (uint32_t i = 0; i < codes.size(); ++i) codes[i].width = WidthOfCode(i);
  const Bytes expected = MakeBlock(codes, size);

  const Bytes in = RunOf(size, 'a');
  Bytes block;
  ASSERT_EQ(1, CompressInto(in, PackageCapacity(size), block));
  EXPECT_EQ(expected, block);
  Bytes out;
  ASSERT_EQ(1, UnCompressInto(block, size, out));
  EXPECT_EQ(in, out);
}

TEST_F(MemoryTest, DictionaryResetsAfter3745EntriesInBothCoders) {
  // 3745 bytes in which no neighbouring pair repeats give 3745 byte codes at
  // widths 9 to 12; the 3745th entry resets the dictionary, so the run that
  // follows starts again with 9-bit codes: its byte, then 256..445.
  Bytes in = DistinctPairs(3745);
  ASSERT_EQ(3745u, in.size());
  std::set<std::pair<uint8_t, uint8_t>> pairs;
  for (size_t i = 0; i + 1 < in.size(); ++i) pairs.insert({in[i], in[i + 1]});
  ASSERT_EQ(in.size() - 1, pairs.size());
  const Bytes run = RunOf(191 * 192 / 2, 200);
  in.insert(in.end(), run.begin(), run.end());

  std::vector<Code> codes;
  for (uint32_t i = 0; i < 3745; ++i) codes.push_back({in[i], WidthOfCode(i)});
  const std::vector<Code> runCodes = RunCodes(200, 191);
  codes.insert(codes.end(), runCodes.begin(), runCodes.end());
  const Bytes expected = MakeBlock(codes, uint32_t(in.size()));

  Bytes block;
  ASSERT_EQ(1, CompressInto(in, PackageCapacity(uint32_t(in.size())), block));
  EXPECT_EQ(expected, block);
  Bytes out;
  ASSERT_EQ(1, UnCompressInto(expected, uint32_t(in.size()), out));
  EXPECT_EQ(in, out);
}

TEST_F(MemoryTest, HeaderHoldsBothSizesLittleEndianAfterEightZeroBytes) {
  const Bytes in = Text(5000, 1);
  Bytes block;
  ASSERT_EQ(1, CompressInto(in, PackageCapacity(5000), block));
  EXPECT_EQ(Bytes(8, 0), Bytes(block.begin(), block.begin() + 8));
  const uint32_t total = uint32_t(block.size());
  EXPECT_EQ(Bytes({uint8_t(total), uint8_t(total >> 8), uint8_t(total >> 16), uint8_t(total >> 24), 0x88, 0x13, 0, 0}),
            Bytes(block.begin() + 8, block.begin() + 16));
}

// --- own coder: refusals and capacity ---------------------------------------------

TEST_F(MemoryTest, CompressRefusesDataThatDoesNotShrink) {
  Bytes block;
  EXPECT_EQ(0, CompressInto(RandomBytes(4096, 256, 2), 10000, block));
  for (uint32_t size = 2; size <= 16; ++size) EXPECT_EQ(0, CompressInto(RunOf(size, 'x'), 1000, block)) << size;
  uint32_t capacity = 100;
  EXPECT_EQ(0, memory.Compress(block.data(), capacity, nullptr, 10));
  const Bytes in = Text(100, 3);
  EXPECT_EQ(0, memory.Compress(block.data(), capacity, in.data(), 0));
}

TEST_F(MemoryTest, CompressOfOneToFourBytesFailsInThePackageBuffer) {
  for (uint32_t size = 1; size <= 4; ++size) {
    Bytes block;
    EXPECT_EQ(0, CompressInto(RunOf(size, 'q'), PackageCapacity(size), block)) << size;
  }
}

TEST_F(MemoryTest, CompressSucceedsExactlyWhenTheBlockFits) {
  // One byte makes an 18-byte block: the header and one padded 9-bit code.
  Bytes block;
  EXPECT_EQ(0, CompressInto(RunOf(1, 'q'), 17, block));
  ASSERT_EQ(1, CompressInto(RunOf(1, 'q'), 18, block));
  EXPECT_EQ(MakeBlock({{'q', 9}}, 1), block);

  const Bytes in = Text(20000, 4);
  Bytes roomy;
  ASSERT_EQ(1, CompressInto(in, PackageCapacity(20000), roomy));
  const uint32_t needed = uint32_t(roomy.size());
  EXPECT_EQ(0, CompressInto(in, needed - 1, block));
  EXPECT_EQ(0, CompressInto(in, 15, block));
  ASSERT_EQ(1, CompressInto(in, needed, block));
  EXPECT_EQ(roomy, block);
}

// --- own coder: decoding only what the block can hold --------------------------

TEST_F(MemoryTest, UnCompressRejectsBlocksShorterThanTheHeader) {
  const Bytes empty = MakeBlock({}, 0);
  ASSERT_EQ(16u, empty.size());
  Bytes out;
  ASSERT_EQ(1, UnCompressInto(empty, 0, out));
  EXPECT_TRUE(out.empty());
  for (uint32_t size = 0; size < 16; ++size) {
    const Bytes prefix(empty.begin(), empty.begin() + size);
    uint32_t capacity = 100;
    Bytes dst(100);
    EXPECT_EQ(0, memory.UnCompress(dst.data(), capacity, size ? prefix.data() : empty.data(), size)) << size;
  }
  uint32_t capacity = 100;
  EXPECT_EQ(0, memory.UnCompress(out.data(), capacity, nullptr, 20));
}

TEST_F(MemoryTest, UnCompressRejectsAStatedSizeAboveTheCapacity) {
  const Bytes in = Text(1000, 5);
  Bytes block;
  ASSERT_EQ(1, CompressInto(in, PackageCapacity(1000), block));
  Bytes out;
  EXPECT_EQ(0, UnCompressInto(block, 999, out));
  // The caller sized its buffer from the entry while the header claims more.
  Bytes dst(1000 + kGuardBytes, kGuard);
  uint32_t capacity = 1000;
  EXPECT_EQ(0, memory.UnCompress(dst.data(), capacity, WithStatedSize(block, 5000).data(), uint32_t(block.size())));
  EXPECT_TRUE(GuardIntact(dst, 0));
}

TEST_F(MemoryTest, UnCompressRejectsCodesGivingMoreOrFewerBytesThanStated) {
  const Bytes in = Text(1000, 6);
  Bytes block;
  ASSERT_EQ(1, CompressInto(in, PackageCapacity(1000), block));
  Bytes out;
  // More bytes than stated: nothing may land past the stated size, even
  // where the capacity would allow it.
  Bytes dst(1000 + kGuardBytes, kGuard);
  uint32_t capacity = 1000;
  EXPECT_EQ(0, memory.UnCompress(dst.data(), capacity, WithStatedSize(block, 999).data(), uint32_t(block.size())));
  EXPECT_TRUE(GuardIntact(dst, 999));
  EXPECT_EQ(0, UnCompressInto(WithStatedSize(block, 1001), 2000, out));
  // Every truncation loses at least the last code.
  for (size_t size = 16; size < block.size(); ++size) {
    EXPECT_EQ(0, UnCompressInto(Bytes(block.begin(), block.begin() + size), 1000, out)) << size;
  }
}

TEST_F(MemoryTest, UnCompressRejectsCodesTheDictionaryCannotHaveMade) {
  struct {
    const char* name;
    std::vector<Code> codes;
    uint32_t stated;
    int expected;
  } const cases[] = {
      {"kwkwk_runs", {{'a', 9}, {256, 9}, {257, 9}}, 6, 1},
      {"first_code_is_an_entry", {{256, 9}}, 2, 0},
      {"code_beyond_the_next_new_one", {{'a', 9}, {257, 9}}, 3, 0},
      {"known_entry_then_unknown", {{'a', 9}, {'b', 9}, {256, 9}, {259, 9}}, 10, 0},
  };
  for (const auto& c : cases) {
    Bytes out;
    EXPECT_EQ(c.expected, UnCompressInto(MakeBlock(c.codes, c.stated), c.stated, out)) << c.name;
  }
  Bytes out;
  ASSERT_EQ(1, UnCompressInto(MakeBlock(cases[0].codes, 6), 6, out));
  EXPECT_EQ(RunOf(6, 'a'), out);
}

TEST_F(MemoryTest, UnCompressRejectsStringsLongerThan191Bytes) {
  // Runs of 1..191 bytes decode; one more new code would stand for 192.
  std::vector<Code> codes = RunCodes('a', 191);
  const uint32_t size = 191 * 192 / 2;
  Bytes out;
  ASSERT_EQ(1, UnCompressInto(MakeBlock(codes, size), size, out));
  EXPECT_EQ(RunOf(size, 'a'), out);
  codes.push_back({446, 9});
  EXPECT_EQ(0, UnCompressInto(MakeBlock(codes, size + 192), size + 192, out));
}

TEST_F(MemoryTest, UnCompressOfMutatedBlocksStaysInsideTheStatedSize) {
  const Bytes sources[] = {Text(3000, 7), Sprite8(64, 48, 8), Periodic(3000, 5, 9)};
  Rng rng{12345};
  for (const Bytes& in : sources) {
    Bytes block;
    ASSERT_EQ(1, CompressInto(in, PackageCapacity(uint32_t(in.size())), block));
    for (int trial = 0; trial < 300; ++trial) {
      Bytes mutated = block;
      const uint32_t flips = 1 + rng.Below(4);
      for (uint32_t f = 0; f < flips; ++f) mutated[16 + rng.Below(uint32_t(block.size()) - 16)] ^= uint8_t(1 + rng.Below(255));
      Bytes dst(in.size() + kGuardBytes, kGuard);
      uint32_t capacity = uint32_t(in.size()) + kGuardBytes / 2;
      const int result = memory.UnCompress(dst.data(), capacity, mutated.data(), uint32_t(mutated.size()));
      ASSERT_TRUE(GuardIntact(dst, uint32_t(in.size()))) << trial;
      if (result) {
        EXPECT_EQ(in.size(), capacity);
      }
    }
  }
}

// --- zlib ------------------------------------------------------------------------

TEST(MemoryZLib, RoundTripsAZlibStreamWithAdler32) {
  const Bytes in = Text(10000, 20);
  Bytes packed(compressBound(10000));
  uint32_t packedSize = uint32_t(packed.size());
  ASSERT_EQ(1, ClassVMemory::CompressZLib(packed.data(), packedSize, in.data(), 10000));
  ASSERT_LT(packedSize, 10000u);
  EXPECT_EQ(0x78, packed[0]);
  const uint32_t adler = uint32_t(adler32(1, in.data(), 10000));
  EXPECT_EQ(Bytes({uint8_t(adler >> 24), uint8_t(adler >> 16), uint8_t(adler >> 8), uint8_t(adler)}),
            Bytes(packed.begin() + packedSize - 4, packed.begin() + packedSize));

  Bytes out(10000);
  uint32_t outSize = 10000;
  ASSERT_EQ(1, ClassVMemory::UnCompressZLib(out.data(), outSize, packed.data(), packedSize));
  EXPECT_EQ(10000u, outSize);
  EXPECT_EQ(in, out);
}

TEST(MemoryZLib, FailsForTooSmallBuffersAndCorruptStreams) {
  const Bytes in = Text(10000, 21);
  Bytes packed(compressBound(10000));
  uint32_t packedSize = 10;
  EXPECT_EQ(0, ClassVMemory::CompressZLib(packed.data(), packedSize, in.data(), 10000));
  packedSize = uint32_t(packed.size());
  ASSERT_EQ(1, ClassVMemory::CompressZLib(packed.data(), packedSize, in.data(), 10000));

  Bytes out(10000);
  uint32_t outSize = 9999;
  EXPECT_EQ(0, ClassVMemory::UnCompressZLib(out.data(), outSize, packed.data(), packedSize));
  outSize = 10000;
  EXPECT_EQ(0, ClassVMemory::UnCompressZLib(out.data(), outSize, packed.data(), packedSize - 5));
  Bytes corrupt(packed.begin(), packed.begin() + packedSize);
  corrupt[packedSize - 1] ^= 0xFF;  // the Adler-32 no longer matches
  outSize = 10000;
  EXPECT_EQ(0, ClassVMemory::UnCompressZLib(out.data(), outSize, corrupt.data(), packedSize));
  outSize = 10000;
  EXPECT_EQ(0, ClassVMemory::UnCompressZLib(out.data(), outSize, nullptr, packedSize));
}

TEST(MemoryZLib, StreamWrapperDeflatesAndInflatesInPieces) {
  const Bytes in = Sprite8(128, 64, 22);
  Bytes packed;
  {
    CZLib z;
    ASSERT_EQ(Z_OK, z.DeflateInit(Z_DEFAULT_COMPRESSION));
    z.SetupInput(in.data(), uint32_t(in.size()));
    int result = Z_OK;
    while (result == Z_OK) {
      uint8_t piece[100];
      z.SetupOutput(piece, sizeof piece);
      result = z.Deflate(Z_FINISH);
      packed.insert(packed.end(), piece, z.NextOutput());
    }
    ASSERT_EQ(Z_STREAM_END, result);
    EXPECT_EQ(in.size(), z.TotalInput());
    EXPECT_EQ(packed.size(), z.TotalOutput());
    EXPECT_EQ(CZLib::Adler32(1, in.data(), uint32_t(in.size())), z.Adler());
    EXPECT_EQ(Z_OK, z.DeflateEnd());
  }
  CZLib z;
  EXPECT_EQ(Z_STREAM_ERROR, z.Inflate(Z_NO_FLUSH));
  ASSERT_EQ(Z_OK, z.InflateInit());
  Bytes out(in.size());
  z.SetupOutput(out.data(), uint32_t(out.size()));
  int result = Z_OK;
  for (size_t at = 0; result == Z_OK && at < packed.size(); at += 37) {
    z.SetupInput(packed.data() + at, uint32_t(std::min<size_t>(37, packed.size() - at)));
    result = z.Inflate(Z_NO_FLUSH);
  }
  EXPECT_EQ(Z_STREAM_END, result);
  EXPECT_EQ(0u, z.AvailableOutput());
  EXPECT_EQ(in, out);
  EXPECT_EQ(Z_STREAM_ERROR, z.Deflate(Z_FINISH));  // the open stream is an inflate stream
  // The destructor ends the stream still open.
}

TEST(MemoryZLib, ChecksumsMatchTheirCheckValues) {
  const char check[] = "123456789";
  EXPECT_EQ(0xCBF43926u, CZLib::Crc32(0, check, 9));
  const char wikipedia[] = "Wikipedia";
  EXPECT_EQ(0x11E60398u, CZLib::Adler32(1, wikipedia, 9));
}

TEST(MemoryZLib, OneShotCallsReturnZlibCodes) {
  const Bytes in = Text(3000, 23);
  Bytes packed(compressBound(3000));
  uint32_t packedSize = uint32_t(packed.size());
  ASSERT_EQ(Z_OK, CZLib::Compress(packed.data(), packedSize, in.data(), 3000, 9));
  Bytes out(3000);
  uint32_t outSize = 2999;
  EXPECT_EQ(Z_BUF_ERROR, CZLib::Uncompress(out.data(), outSize, packed.data(), packedSize));
  outSize = 3000;
  ASSERT_EQ(Z_OK, CZLib::Uncompress(out.data(), outSize, packed.data(), packedSize));
  EXPECT_EQ(in, out);
}

}  // namespace
