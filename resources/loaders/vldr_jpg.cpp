// vldr_jpg.cpp - the JPEG image loader: marker segments, Huffman entropy
// decoding (sequential and progressive), and the assembly of output rows.
//
// A frame whose first scan carries every component is decoded as it streams:
// one MCU row at a time into a ring of three MCU rows of samples per
// component, so the chroma upsampling always has the rows above and below.
// Any other frame (progressive, or sequential with a scan per component)
// gathers its coefficients for the whole image first, then runs the same row
// assembly over them. Entropy data that runs out, or that is read past a
// marker, ends the load as corrupt rather than being padded out.
#include "resources/loaders/vldr_jpg.h"

#include <cstdlib>
#include <cstring>

#include "render/vsurf_2dbase.h"

namespace {

constexpr uint32_t kMaxSide = 8192;
constexpr int kMaxComponents = 4;
constexpr int kMaxTracked = 16;

// Markers.
constexpr uint8_t kSOF0 = 0xC0, kSOF1 = 0xC1, kSOF2 = 0xC2, kDHT = 0xC4, kDAC = 0xCC;
constexpr uint8_t kRST0 = 0xD0, kRST7 = 0xD7, kSOI = 0xD8, kEOI = 0xD9, kSOS = 0xDA, kDQT = 0xDB, kDRI = 0xDD;
constexpr uint8_t kTEM = 0x01;

// Position in the zig-zag sequence -> position in the 8 x 8 block.
constexpr uint8_t kNatural[64 + 16] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
    // A run past the last coefficient of a corrupt block lands here harmlessly.
    63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63};

constexpr int kFastBits = 9;

// A Huffman table: a direct lookup for codes up to kFastBits long, and the
// canonical code ranges for the longer ones.
struct JpgHuffman {
  bool defined = false;
  uint16_t fast[1 << kFastBits];  // (length << 8) | symbol; 0 for longer codes
  // AC coefficients whose code and extra bits both fit the lookup:
  // bits 0-3 length of both, 4-7 the zero run, 16-31 the value; 0 for others.
  uint32_t fastac[1 << kFastBits];
  int32_t maxcode[17];            // last code of each length, -1 when none
  int32_t mincode[17];            // first code of each length
  int32_t first[17];              // index of that code's symbol
  uint8_t symbols[256];
};

struct JpgQuant {
  bool defined = false;
  uint16_t values[64];  // natural order
};

struct JpgComponent {
  uint8_t id = 0, h = 1, v = 1, tq = 0;
  uint32_t width = 0, height = 0;      // samples of this component in the image
  uint32_t blocksw = 0, blocksh = 0;   // blocks, padded out to whole MCUs
  int16_t* coefs = nullptr;            // whole-image coefficients (gathered frames)
  uint8_t* ring = nullptr;             // three MCU rows of samples
  uint32_t ringstride = 0, ringrows = 0;
  uint16_t quant[64];                  // the table the component's first scan used
  bool quantlatched = false;
  bool scanned = false;                // appeared in a scan (its first DC scan when progressive)
  int32_t dcpred = 0;
  uint8_t dctable = 0, actable = 0;
};

// Bits of the entropy-coded data. Stuffed zero bytes are dropped; a marker or
// the end of the block stops the reading, and the zero bits fed after it
// are counted so that using any of them shows as an overrun.
struct JpgBits {
  const uint8_t* data = nullptr;
  uint32_t size = 0, pos = 0;
  uint64_t buffer = 0;  // next bit in bit 63
  int32_t count = 0;
  int32_t padding = 0;  // zero bits fed past the data
  bool stopped = false;

  void Reset(uint32_t at) {
    pos = at;
    buffer = 0;
    count = 0;
    padding = 0;
    stopped = false;
  }
  void Fill() {
    while (count <= 56) {
      uint32_t byte = 0;
      if (!stopped && pos < size) {
        byte = data[pos];
        if (byte != 0xFF) {
          ++pos;
        } else if (pos + 1 < size && data[pos + 1] == 0x00) {
          pos += 2;
        } else {
          stopped = true;  // a marker (or a lone 0xFF at the end)
          byte = 0;
        }
      } else {
        stopped = true;
      }
      if (stopped) padding += 8;
      buffer |= uint64_t(byte) << (56 - count);
      count += 8;
    }
  }
  uint32_t Peek(int n) const { return uint32_t(buffer >> (64 - n)); }  // 1 <= n <= 32
  void Skip(int n) {
    buffer <<= n;
    count -= n;
  }
  uint32_t Get(int n) {  // 0 <= n <= 16
    if (n == 0) return 0;
    if (count < n) Fill();
    uint32_t v = Peek(n);
    Skip(n);
    return v;
  }
  bool Overrun() const { return padding > count; }
};

// The additional bits of a coefficient: s bits giving a value of magnitude
// 2^(s-1) .. 2^s - 1, negative when the top bit is 0.
inline int32_t Extend(uint32_t bits, int s) {
  int32_t v = int32_t(bits);
  return v < (int32_t(1) << (s - 1)) ? v - (int32_t(1) << s) + 1 : v;
}

inline int16_t ToCoefficient(int32_t v) { return int16_t(v < -32768 ? -32768 : (v > 32767 ? 32767 : v)); }

// Most AC coefficients of a photograph are a short code and a few bits: one
// lookup gives the run, the value and how many bits both take.
void BuildFastCoefficients(JpgHuffman& t) {
  for (uint32_t look = 0; look < (1u << kFastBits); ++look) {
    t.fastac[look] = 0;
    uint16_t entry = t.fast[look];
    if (!entry) continue;
    int length = entry >> 8, rs = entry & 0xFF, size = rs & 15;
    if (size == 0 || length + size > kFastBits) continue;
    uint32_t extra = (look >> (kFastBits - length - size)) & ((1u << size) - 1);
    uint16_t value = uint16_t(int16_t(Extend(extra, size)));
    t.fastac[look] = (uint32_t(value) << 16) | uint32_t((rs >> 4) << 4) | uint32_t(length + size);
  }
}

// Blocks of the decoder, all released when it goes.
class JpgBlocks {
 public:
  ~JpgBlocks() {
    for (int i = 0; i < count; ++i) std::free(blocks[i]);
  }
  void* Zeroed(uint64_t bytes) {
    if (count == kMaxTracked || bytes == 0 || bytes > SIZE_MAX) return nullptr;
    void* p = std::calloc(1, size_t(bytes));
    if (p) blocks[count++] = p;
    return p;
  }

 private:
  void* blocks[kMaxTracked] = {};
  int count = 0;
};

struct JpgScan {
  int count = 0;
  JpgComponent* components[kMaxComponents] = {};
  uint8_t ss = 0, se = 63, ah = 0, al = 0;
};

class JpgDecoder {
 public:
  JpgDecoder(ClassVLoaderBase& reader, const uint8_t* block, uint32_t length, V2DSurfaceBase* surface,
             VLDR_2DCALLBACKINFO& info)
      : in(reader), data(block), size(length), surface(surface), info(info) {
    bits.data = block;
    bits.size = length;
  }
  int Locate();  // finds and checks the frame header: 0, or 1/3
  int Run();     // creates the image and decodes it: 0 or an error


 private:
  // Marker segments.
  int NextMarker(uint8_t& marker);
  int SegmentLength(uint32_t& end);
  int ReadFrame();
  int ReadHuffmanTables(uint32_t end);
  int ReadQuantTables(uint32_t end);
  int ReadRestartInterval(uint32_t end);
  int ReadScan(uint32_t end, JpgScan& scan);
  int CheckLayout();
  int Prepare();
  int Decode();

  // Scans.
  int DecodeScan(const JpgScan& scan);
  int DecodeBlock(const JpgScan& scan, JpgComponent& c, int16_t* block);
  int DecodeSequential(JpgComponent& c, int16_t* block);
  int DecodeDcFirst(JpgComponent& c, int16_t* block, int al);
  int DecodeDcRefine(int16_t* block, int al);
  int DecodeAcFirst(const JpgScan& scan, int16_t* block);
  int DecodeAcRefine(const JpgScan& scan, int16_t* block);
  int DecodeSymbol(const JpgHuffman& table);
  int Restart(const JpgScan& scan);
  int RestartIfDue(const JpgScan& scan, uint32_t counted);
  template <typename Block, typename RowDone>
  int WalkMcus(const JpgScan& scan, Block block, RowDone rowdone);
  int GatherScan(const JpgScan& scan);
  int StreamScan(const JpgScan& scan);

  // Rows.
  void ProduceFromCoefficients(uint32_t mcurow);
  int DeliverMcuRow(uint32_t mcurow);
  void UpsampleChroma(const JpgComponent& c, uint32_t py, uint8_t* out);
  const uint8_t* RingRow(const JpgComponent& c, int64_t y) const;
  uint8_t* BlockTarget(JpgComponent& c, uint32_t bx, uint32_t by) const;
  int Finish();

  ClassVLoaderBase& in;
  const uint8_t* data;
  uint32_t size;
  V2DSurfaceBase* surface;
  VLDR_2DCALLBACKINFO& info;
  JpgBlocks blocks;
  JpgBits bits;

  bool progressive = false;
  bool gathered = false;     // coefficients for the whole image are kept
  bool streamed = false;     // the single streaming scan is done
  bool framed = false;
  uint32_t width = 0, height = 0;
  int ncomponents = 0;
  JpgComponent components[kMaxComponents];
  uint8_t hmax = 1, vmax = 1;
  uint32_t mcusw = 0, mcush = 0;
  uint32_t restartinterval = 0;
  uint8_t nextrestart = 0;
  int32_t eobrun = 0;
  JpgHuffman dc[4], ac[4];
  JpgQuant quant[4];
  uint32_t* row = nullptr;      // one output row of colours
  uint8_t* chroma[2] = {};      // one upsampled row of Cb and Cr
  int16_t scratch[64];
};

// --- marker segments -----------------------------------------------------

int JpgDecoder::NextMarker(uint8_t& marker) {
  uint8_t byte = 0;
  if (!in.Read8(byte)) return VLDR_CORRUPT;
  if (byte != 0xFF) return VLDR_CORRUPT;
  do {  // any number of fill bytes may precede the marker code
    if (!in.Read8(byte)) return VLDR_CORRUPT;
  } while (byte == 0xFF);
  if (byte == 0x00) return VLDR_CORRUPT;
  marker = byte;
  return 0;
}

int JpgDecoder::SegmentLength(uint32_t& end) {
  uint16_t length = 0;
  if (!in.Read16(length) || length < 2) return VLDR_CORRUPT;
  uint64_t target = uint64_t(in.Tell()) + length - 2;
  if (target > size) return VLDR_CORRUPT;
  end = uint32_t(target);
  return 0;
}

// Frame header: precision, lines, samples per line, components.
int JpgDecoder::ReadFrame() {
  uint32_t end = 0;
  if (int rc = SegmentLength(end)) return rc;
  uint8_t precision = 0, count = 0;
  uint16_t lines = 0, samples = 0;
  if (!in.Read8(precision) || !in.Read16(lines) || !in.Read16(samples) || !in.Read8(count)) return VLDR_CORRUPT;
  if (precision != 8 || lines == 0 || lines > kMaxSide || samples == 0 || samples > kMaxSide) return VLDR_NOTMYFORMAT;
  if (count > kMaxComponents) return VLDR_NOTMYFORMAT;
  if (uint64_t(in.Tell()) + 3u * count > end) return VLDR_CORRUPT;
  width = samples;
  height = lines;
  ncomponents = count;
  for (int i = 0; i < count; ++i) {
    uint8_t sampling = 0;
    JpgComponent& c = components[i];
    in.Read8(c.id);
    in.Read8(sampling);
    in.Read8(c.tq);
    c.h = sampling >> 4;
    c.v = sampling & 15;
  }
  in.SeekSet(end);
  return 0;
}

// Sampling layouts decoded: grey, or YCbCr with 1x1 chroma and luma 1x1,
// 2x1, 1x2 or 2x2.
int JpgDecoder::CheckLayout() {
  if (ncomponents != 1 && ncomponents != 3) return VLDR_CORRUPT;
  for (int i = 0; i < ncomponents; ++i) {
    const JpgComponent& c = components[i];
    if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4 || c.tq > 3) return VLDR_CORRUPT;
    for (int j = 0; j < i; ++j) {
      if (components[j].id == c.id) return VLDR_CORRUPT;
    }
  }
  if (ncomponents == 1) {
    components[0].h = components[0].v = 1;  // a lone component is never interleaved
    return 0;
  }
  if (components[0].h > 2 || components[0].v > 2) return VLDR_CORRUPT;
  for (int i = 1; i < 3; ++i) {
    if (components[i].h != 1 || components[i].v != 1) return VLDR_CORRUPT;
  }
  return 0;
}

// Sizes of the components and their sample rings, and the row buffers.
int JpgDecoder::Prepare() {
  hmax = components[0].h;
  vmax = components[0].v;
  mcusw = (width + 8u * hmax - 1) / (8u * hmax);
  mcush = (height + 8u * vmax - 1) / (8u * vmax);
  for (int i = 0; i < ncomponents; ++i) {
    JpgComponent& c = components[i];
    c.width = (width * c.h + hmax - 1) / hmax;
    c.height = (height * c.v + vmax - 1) / vmax;
    c.blocksw = mcusw * c.h;
    c.blocksh = mcush * c.v;
    c.ringstride = c.blocksw * 8;
    c.ringrows = 3u * 8u * c.v;
    c.ring = static_cast<uint8_t*>(blocks.Zeroed(uint64_t(c.ringstride) * c.ringrows));
    if (!c.ring) return VLDR_OUTOFMEMORY;
  }
  uint64_t padded = uint64_t(mcusw) * 8 * hmax;
  row = static_cast<uint32_t*>(blocks.Zeroed(padded * 4));
  chroma[0] = static_cast<uint8_t*>(blocks.Zeroed(padded));
  chroma[1] = static_cast<uint8_t*>(blocks.Zeroed(padded));
  if (!row || !chroma[0] || !chroma[1]) return VLDR_OUTOFMEMORY;
  return 0;
}

// Huffman tables: class and destination, 16 code-length counts, symbols.
int JpgDecoder::ReadHuffmanTables(uint32_t end) {
  while (in.Tell() < end) {
    uint8_t target = 0;
    uint8_t counts[17] = {};
    in.Read8(target);
    if ((target >> 4) > 1 || (target & 15) > 3) return VLDR_CORRUPT;
    uint32_t total = 0;
    for (int l = 1; l <= 16; ++l) {
      if (!in.Read8(counts[l])) return VLDR_CORRUPT;
      total += counts[l];
    }
    if (total > 256 || uint64_t(in.Tell()) + total > end) return VLDR_CORRUPT;
    for (int l = 1, room = 2; l <= 16; ++l, room *= 2) {  // codes of each length must fit
      room -= counts[l];
      if (room < 0) return VLDR_CORRUPT;
    }
    JpgHuffman& t = (target >> 4) ? ac[target & 15] : dc[target & 15];
    in.ReadStream(t.symbols, total);
    std::memset(t.fast, 0, sizeof t.fast);
    int32_t code = 0;
    int32_t k = 0;
    for (int l = 1; l <= 16; ++l) {
      t.first[l] = k;
      t.mincode[l] = code;
      t.maxcode[l] = counts[l] ? code + counts[l] - 1 : -1;
      for (int n = 0; n < counts[l]; ++n, ++code, ++k) {
        if (l > kFastBits) continue;
        uint32_t shift = kFastBits - l;
        for (uint32_t f = uint32_t(code) << shift; f < (uint32_t(code + 1) << shift); ++f) {
          t.fast[f] = uint16_t((l << 8) | t.symbols[k]);
        }
      }
      code <<= 1;
    }
    BuildFastCoefficients(t);
    t.defined = true;
  }
  return in.Tell() == end ? 0 : VLDR_CORRUPT;
}

// Quantisation tables: precision and destination, 64 values in zig-zag order.
int JpgDecoder::ReadQuantTables(uint32_t end) {
  while (in.Tell() < end) {
    uint8_t target = 0;
    in.Read8(target);
    if ((target >> 4) > 1 || (target & 15) > 3) return VLDR_CORRUPT;
    JpgQuant& q = quant[target & 15];
    for (int k = 0; k < 64; ++k) {
      uint16_t value = 0;
      uint8_t byte = 0;
      if (target >> 4) {
        if (!in.Read16(value)) return VLDR_CORRUPT;
      } else {
        if (!in.Read8(byte)) return VLDR_CORRUPT;
        value = byte;
      }
      q.values[kNatural[k]] = value;
    }
    q.defined = true;
  }
  return in.Tell() == end ? 0 : VLDR_CORRUPT;
}

// Restart interval: MCUs between restart markers, 0 for none.
int JpgDecoder::ReadRestartInterval(uint32_t end) {
  uint16_t interval = 0;
  if (end - in.Tell() != 2 || !in.Read16(interval)) return VLDR_CORRUPT;
  restartinterval = interval;
  return 0;
}

// Scan header: the components with their tables, spectral selection and
// successive approximation.
int JpgDecoder::ReadScan(uint32_t end, JpgScan& scan) {
  uint8_t count = 0;
  if (!in.Read8(count) || count < 1 || count > ncomponents) return VLDR_CORRUPT;
  if (uint64_t(in.Tell()) + 2u * count + 3 != end) return VLDR_CORRUPT;
  scan.count = count;
  for (int i = 0; i < count; ++i) {
    uint8_t id = 0, tables = 0;
    in.Read8(id);
    in.Read8(tables);
    JpgComponent* found = nullptr;
    for (int j = 0; j < ncomponents; ++j) {
      if (components[j].id == id) found = &components[j];
    }
    for (int j = 0; j < i; ++j) {
      if (scan.components[j] == found) found = nullptr;
    }
    if (!found || (tables >> 4) > 3 || (tables & 15) > 3) return VLDR_CORRUPT;
    found->dctable = tables >> 4;
    found->actable = tables & 15;
    scan.components[i] = found;
  }
  uint8_t approximation = 0;
  in.Read8(scan.ss);
  in.Read8(scan.se);
  in.Read8(approximation);
  scan.ah = approximation >> 4;
  scan.al = approximation & 15;
  if (!progressive) {
    scan.ss = 0;
    scan.se = 63;
    scan.ah = scan.al = 0;
  } else {
    bool dcscan = scan.ss == 0;
    if (scan.se > 63 || scan.ss > scan.se || (dcscan && scan.se != 0) || (!dcscan && count != 1)) return VLDR_CORRUPT;
    if (scan.al > 13 || (scan.ah != 0 && scan.ah != scan.al + 1)) return VLDR_CORRUPT;
  }
  for (int i = 0; i < count; ++i) {
    JpgComponent& c = *scan.components[i];
    bool needdc = scan.ss == 0 && scan.ah == 0;
    bool needac = scan.se > 0;
    if ((needdc && !dc[c.dctable].defined) || (needac && !ac[c.actable].defined)) return VLDR_CORRUPT;
    if (!c.quantlatched) {
      if (!quant[c.tq].defined) return VLDR_CORRUPT;
      std::memcpy(c.quant, quant[c.tq].values, sizeof c.quant);
      c.quantlatched = true;
    }
    if (progressive && scan.ss == 0 && scan.ah == 0) c.scanned = true;
    if (!progressive) {
      if (c.scanned) return VLDR_CORRUPT;  // a sequential frame codes each component once
      c.scanned = true;
    }
  }
  return 0;
}

// --- entropy decoding ------------------------------------------------------

int JpgDecoder::DecodeSymbol(const JpgHuffman& table) {
  if (bits.count < 16) bits.Fill();
  uint16_t entry = table.fast[bits.Peek(kFastBits)];
  if (entry) {
    bits.Skip(entry >> 8);
    return entry & 0xFF;
  }
  uint32_t code16 = bits.Peek(16);
  for (int l = kFastBits + 1; l <= 16; ++l) {
    int32_t code = int32_t(code16 >> (16 - l));
    if (code <= table.maxcode[l]) {
      bits.Skip(l);
      return table.symbols[table.first[l] + code - table.mincode[l]];
    }
  }
  return -1;  // no such code
}

// A whole block: the DC difference, then run/size pairs up to the end of block.
int JpgDecoder::DecodeSequential(JpgComponent& c, int16_t* block) {
  int s = DecodeSymbol(dc[c.dctable]);
  if (s < 0 || s > 11) return VLDR_CORRUPT;
  int32_t diff = s ? Extend(bits.Get(s), s) : 0;
  c.dcpred = ToCoefficient(c.dcpred + diff);
  block[0] = int16_t(c.dcpred);
  const JpgHuffman& table = ac[c.actable];
  for (int k = 1; k < 64; ++k) {
    if (bits.count < 16) bits.Fill();
    if (uint32_t quick = table.fastac[bits.Peek(kFastBits)]) {
      bits.Skip(int(quick & 15));
      k += int((quick >> 4) & 15);
      block[kNatural[k]] = int16_t(uint16_t(quick >> 16));
      continue;
    }
    int rs = DecodeSymbol(table);
    if (rs < 0) return VLDR_CORRUPT;
    int r = rs >> 4, size = rs & 15;
    if (size == 0) {
      if (r != 15) break;  // end of block
      k += 15;             // sixteen zeros
      continue;
    }
    if (size > 10) return VLDR_CORRUPT;
    k += r;
    block[kNatural[k]] = int16_t(Extend(bits.Get(size), size));
  }
  return 0;
}

// First DC scan: the difference, scaled up by the point transform.
int JpgDecoder::DecodeDcFirst(JpgComponent& c, int16_t* block, int al) {
  int s = DecodeSymbol(dc[c.dctable]);
  if (s < 0 || s > 11) return VLDR_CORRUPT;
  int32_t diff = s ? Extend(bits.Get(s), s) : 0;
  c.dcpred = ToCoefficient(c.dcpred + diff);
  block[0] = ToCoefficient(c.dcpred * (int32_t(1) << al));
  return 0;
}

// DC refinement: one more bit of every DC coefficient.
int JpgDecoder::DecodeDcRefine(int16_t* block, int al) {
  if (bits.Get(1)) block[0] = int16_t(block[0] | (1 << al));
  return 0;
}

// First AC scan of a band: run/size pairs, and runs of empty blocks.
int JpgDecoder::DecodeAcFirst(const JpgScan& scan, int16_t* block) {
  if (eobrun > 0) {
    --eobrun;
    return 0;
  }
  const JpgHuffman& table = ac[scan.components[0]->actable];
  for (int k = scan.ss; k <= scan.se; ++k) {
    int rs = DecodeSymbol(table);
    if (rs < 0) return VLDR_CORRUPT;
    int r = rs >> 4, size = rs & 15;
    if (size == 0) {
      if (r < 15) {  // this block and 2^r + extra bits - 1 more end here
        eobrun = (int32_t(1) << r) + int32_t(bits.Get(r)) - 1;
        break;
      }
      k += 15;
      continue;
    }
    if (size > 10) return VLDR_CORRUPT;
    k += r;
    if (k > scan.se) return VLDR_CORRUPT;
    block[kNatural[k]] = ToCoefficient(Extend(bits.Get(size), size) * (int32_t(1) << scan.al));
  }
  return 0;
}

// AC refinement: a correction bit for every coefficient already non-zero in
// the band, and new coefficients of magnitude 1 placed among the zero ones.
int JpgDecoder::DecodeAcRefine(const JpgScan& scan, int16_t* block) {
  const int16_t plus = int16_t(1 << scan.al);
  int k = scan.ss;
  auto refine = [&](int16_t& coef) {
    if (bits.Get(1) && (coef & plus) == 0) coef = int16_t(coef >= 0 ? coef + plus : coef - plus);
  };
  if (eobrun == 0) {
    const JpgHuffman& table = ac[scan.components[0]->actable];
    for (; k <= scan.se; ++k) {
      int rs = DecodeSymbol(table);
      if (rs < 0) return VLDR_CORRUPT;
      int r = rs >> 4, size = rs & 15;
      int16_t value = 0;
      if (size == 1) {
        value = bits.Get(1) ? plus : int16_t(-plus);
      } else if (size != 0) {
        return VLDR_CORRUPT;
      } else if (r != 15) {
        eobrun = (int32_t(1) << r) + int32_t(bits.Get(r));
        break;
      }
      // Skip r zero coefficients (refining the non-zero ones passed), then
      // place the new value on the next zero one.
      for (; k <= scan.se; ++k) {
        int16_t& coef = block[kNatural[k]];
        if (coef != 0) {
          refine(coef);
        } else {
          if (r == 0) break;
          --r;
        }
      }
      if (value != 0 && k <= scan.se) block[kNatural[k]] = value;
    }
  }
  if (eobrun > 0) {
    for (; k <= scan.se; ++k) {
      int16_t& coef = block[kNatural[k]];
      if (coef != 0) refine(coef);
    }
    --eobrun;
  }
  return 0;
}

int JpgDecoder::DecodeBlock(const JpgScan& scan, JpgComponent& c, int16_t* block) {
  int rc;
  if (!progressive) {
    rc = DecodeSequential(c, block);
  } else if (scan.ss == 0) {
    rc = scan.ah == 0 ? DecodeDcFirst(c, block, scan.al) : DecodeDcRefine(block, scan.al);
  } else {
    rc = scan.ah == 0 ? DecodeAcFirst(scan, block) : DecodeAcRefine(scan, block);
  }
  if (rc == 0 && bits.Overrun()) rc = VLDR_CORRUPT;
  return rc;
}

// A restart marker after every interval: the bit stream starts afresh at a
// byte boundary, the DC predictions from 0.
int JpgDecoder::Restart(const JpgScan& scan) {
  uint32_t at = bits.pos;
  while (at < size && data[at] == 0xFF && at + 1 < size && data[at + 1] == 0xFF) ++at;
  if (at + 1 >= size || data[at] != 0xFF || data[at + 1] != kRST0 + nextrestart) return VLDR_CORRUPT;
  nextrestart = uint8_t((nextrestart + 1) & 7);
  bits.Reset(at + 2);
  for (int i = 0; i < scan.count; ++i) scan.components[i]->dcpred = 0;
  eobrun = 0;
  return 0;
}

// Where block (bx, by) of a component goes in its ring.
uint8_t* JpgDecoder::BlockTarget(JpgComponent& c, uint32_t bx, uint32_t by) const {
  return c.ring + size_t(by % (3u * c.v)) * 8u * c.ringstride + size_t(bx) * 8u;
}

// Restart markers fall between every restartinterval MCUs (blocks, in a
// scan of one component).
int JpgDecoder::RestartIfDue(const JpgScan& scan, uint32_t counted) {
  if (restartinterval && counted && counted % restartinterval == 0) return Restart(scan);
  return 0;
}

// Walks an interleaved scan MCU by MCU: block(c, bx, by) for each of its
// blocks, rowdone(my) after each MCU row; the first non-zero result ends it.
template <typename Block, typename RowDone>
int JpgDecoder::WalkMcus(const JpgScan& scan, Block block, RowDone rowdone) {
  uint32_t counted = 0;
  for (uint32_t my = 0; my < mcush; ++my) {
    for (uint32_t mx = 0; mx < mcusw; ++mx, ++counted) {
      if (int rc = RestartIfDue(scan, counted)) return rc;
      for (int i = 0; i < scan.count; ++i) {
        JpgComponent& c = *scan.components[i];
        for (uint32_t v = 0; v < c.v; ++v) {
          for (uint32_t h = 0; h < c.h; ++h) {
            if (int rc = block(c, mx * c.h + h, my * c.v + v)) return rc;
          }
        }
      }
    }
    if (int rc = rowdone(my)) return rc;
  }
  return 0;
}

// Decodes a scan into the whole-image coefficients.
int JpgDecoder::GatherScan(const JpgScan& scan) {
  auto gather = [&](JpgComponent& c, uint32_t bx, uint32_t by) {
    return DecodeBlock(scan, c, c.coefs + (size_t(by) * c.blocksw + bx) * 64);
  };
  if (scan.count > 1) return WalkMcus(scan, gather, [](uint32_t) { return 0; });
  // A scan of one component covers its own blocks only, not the MCU padding.
  JpgComponent& c = *scan.components[0];
  uint32_t bw = (c.width + 7) / 8, bh = (c.height + 7) / 8, counted = 0;
  for (uint32_t by = 0; by < bh; ++by) {
    for (uint32_t bx = 0; bx < bw; ++bx, ++counted) {
      if (int rc = RestartIfDue(scan, counted)) return rc;
      if (int rc = gather(c, bx, by)) return rc;
    }
  }
  return 0;
}

// Decodes the one scan of a frame that carries every component, delivering
// each MCU row as soon as the row below it is there.
int JpgDecoder::StreamScan(const JpgScan& scan) {
  auto decode = [&](JpgComponent& c, uint32_t bx, uint32_t by) {
    std::memset(scratch, 0, sizeof scratch);
    if (int rc = DecodeBlock(scan, c, scratch)) return rc;
    VJpg_InverseDct(scratch, c.quant, BlockTarget(c, bx, by), c.ringstride);
    return 0;
  };
  auto deliver = [&](uint32_t my) { return my > 0 ? DeliverMcuRow(my - 1) : 0; };
  if (int rc = WalkMcus(scan, decode, deliver)) return rc;
  return DeliverMcuRow(mcush - 1);
}

int JpgDecoder::DecodeScan(const JpgScan& scan) {
  bits.Reset(in.Tell());
  nextrestart = 0;
  eobrun = 0;
  for (int i = 0; i < scan.count; ++i) scan.components[i]->dcpred = 0;
  int rc;
  if (!gathered && !progressive && scan.count == ncomponents) {
    rc = StreamScan(scan);
    streamed = true;
  } else {
    rc = GatherScan(scan);
  }
  if (rc) return rc;
  // Continue at the first marker after the entropy-coded data.
  uint32_t at = bits.pos;
  while (at + 1 < size && !(data[at] == 0xFF && data[at + 1] != 0x00 && data[at + 1] != 0xFF &&
                            (data[at + 1] < kRST0 || data[at + 1] > kRST7))) {
    ++at;
  }
  in.SeekSet(at);
  return 0;
}

// --- rows --------------------------------------------------------------------

// Row y of a component, held in its ring; rows outside the component repeat its edge.
const uint8_t* JpgDecoder::RingRow(const JpgComponent& c, int64_t y) const {
  if (y < 0) y = 0;
  if (y >= int64_t(c.height)) y = int64_t(c.height) - 1;
  return c.ring + size_t(uint64_t(y) % c.ringrows) * c.ringstride;
}

// One full-width row of a chroma component for image row py.
void JpgDecoder::UpsampleChroma(const JpgComponent& c, uint32_t py, uint8_t* out) {
  if (vmax == 1) {
    const uint8_t* src = RingRow(c, py);
    if (hmax == 1) {
      std::memcpy(out, src, width);
    } else {
      VJpg_UpsampleWide(src, out, c.width);
    }
    return;
  }
  uint32_t nearest = py / 2;
  bool odd = py & 1;
  const uint8_t* nearrow = RingRow(c, nearest);
  const uint8_t* farrow = RingRow(c, odd ? int64_t(nearest) + 1 : int64_t(nearest) - 1);
  if (hmax == 1) {
    VJpg_UpsampleTall(nearrow, farrow, out, width, odd);
  } else {
    VJpg_UpsampleBoth(nearrow, farrow, out, c.width);
  }
}

int JpgDecoder::DeliverMcuRow(uint32_t mcurow) {
  uint32_t first = mcurow * 8u * vmax;
  uint32_t last = first + 8u * vmax < height ? first + 8u * vmax : height;
  for (uint32_t py = first; py < last; ++py) {
    const uint8_t* luma = RingRow(components[0], py);
    if (ncomponents == 1) {
      VJpg_GreyRow(luma, row, width);
    } else {
      UpsampleChroma(components[1], py, chroma[0]);
      UpsampleChroma(components[2], py, chroma[1]);
      VJpg_YccRow(luma, chroma[0], chroma[1], row, width);
    }
    info.data = row;
    info.length = width * 4;
    info.offset = int32_t(py * width);
    if (int rc = surface->LdrOnPixelStream(&info)) return rc;
  }
  return 0;
}

// Transforms one MCU row of the gathered coefficients into the rings.
void JpgDecoder::ProduceFromCoefficients(uint32_t mcurow) {
  for (int i = 0; i < ncomponents; ++i) {
    JpgComponent& c = components[i];
    for (uint32_t v = 0; v < c.v; ++v) {
      uint32_t by = mcurow * c.v + v;
      for (uint32_t bx = 0; bx < c.blocksw; ++bx) {
        VJpg_InverseDct(c.coefs + (size_t(by) * c.blocksw + bx) * 64, c.quant, BlockTarget(c, bx, by), c.ringstride);
      }
    }
  }
}

// Delivers a gathered image, once every component has had its scan.
int JpgDecoder::Finish() {
  if (!gathered) return streamed ? 0 : VLDR_CORRUPT;
  for (int i = 0; i < ncomponents; ++i) {
    if (!components[i].scanned) return VLDR_CORRUPT;
  }
  for (uint32_t my = 0; my < mcush; ++my) {
    ProduceFromCoefficients(my);
    if (my > 0) {
      if (int rc = DeliverMcuRow(my - 1)) return rc;
    }
  }
  return DeliverMcuRow(mcush - 1);
}

// --- the two passes ------------------------------------------------------------

// Walks the segments up to the frame header and checks what the loader
// decodes. No frame header, or one it cannot decode: 3; segments that break
// off the marker structure before it: 1.
int JpgDecoder::Locate() {
  in.LinkData(data, size);
  in.SetByteOrder(true);
  uint8_t b0 = 0, b1 = 0;
  if (!in.Read8(b0) || !in.Read8(b1) || b0 != 0xFF || b1 != kSOI) return VLDR_NOTMYFORMAT;
  for (;;) {
    uint8_t marker = 0;
    if (!in.HaveData()) return VLDR_NOTMYFORMAT;
    if (NextMarker(marker)) return VLDR_CORRUPT;
    if (marker == kSOF0 || marker == kSOF1 || marker == kSOF2) {
      progressive = marker == kSOF2;
      return ReadFrame();
    }
    if (marker >= 0xC3 && marker <= 0xCF && marker != kDHT && marker != 0xC8 && marker != kDAC) {
      return VLDR_NOTMYFORMAT;  // lossless, hierarchical or arithmetic-coded frames
    }
    if (marker == kEOI) return VLDR_NOTMYFORMAT;
    if (marker == kSOS || marker == kSOI) return VLDR_CORRUPT;
    if ((marker >= kRST0 && marker <= kRST7) || marker == kTEM) continue;
    uint32_t end = 0;
    if (SegmentLength(end)) return VLDR_CORRUPT;
    in.SeekSet(end);
  }
}

int JpgDecoder::Run() {
  info.width = int32_t(width);
  info.height = height;
  info.indexed = 0;
  info.alpha = 0;
  info.lastimage = 0;
  if (int rc = surface->LdrOnCreate(&info)) return rc;
  return Decode();
}

// Walks every segment from the start: tables, the frame, scans, the end.
int JpgDecoder::Decode() {
  if (int rc = CheckLayout()) return rc;
  if (int rc = Prepare()) return rc;
  in.SeekSet(2);
  for (;;) {
    uint8_t marker = 0;
    if (NextMarker(marker)) return VLDR_CORRUPT;  // the data ends without an end of image
    if (marker == kEOI) return Finish();
    if ((marker >= kRST0 && marker <= kRST7) || marker == kTEM) continue;
    if (marker == kSOI) return VLDR_CORRUPT;
    uint32_t end = 0;
    if (int rc = SegmentLength(end)) return rc;
    int rc = 0;
    switch (marker) {
      case kSOF0:
      case kSOF1:
      case kSOF2:
        if (framed) return VLDR_CORRUPT;  // one frame per image
        framed = true;
        break;
      case kDHT:
        rc = ReadHuffmanTables(end);
        break;
      case kDQT:
        rc = ReadQuantTables(end);
        break;
      case kDRI:
        rc = ReadRestartInterval(end);
        break;
      case kSOS: {
        if (streamed) return VLDR_CORRUPT;  // nothing follows the one scan of a streamed frame
        JpgScan scan;
        rc = ReadScan(end, scan);
        if (rc) return rc;
        if (!gathered && (progressive || scan.count != ncomponents)) {
          for (int i = 0; i < ncomponents; ++i) {
            JpgComponent& c = components[i];
            c.coefs = static_cast<int16_t*>(blocks.Zeroed(uint64_t(c.blocksw) * c.blocksh * 64 * sizeof(int16_t)));
            if (!c.coefs) return VLDR_OUTOFMEMORY;
          }
          gathered = true;
        }
        in.SeekSet(end);
        if (int scanrc = DecodeScan(scan)) return scanrc;
        continue;
      }
      default:
        break;  // application data, comments and the rest: skipped
    }
    if (rc) return rc;
    in.SeekSet(end);
  }
}

}  // namespace

int VLoader_JPG::Start(V2DSurfaceBase* surface, const void* block, uint32_t length, uint8_t displaytype,
                       uint32_t flags) {
  if (!surface || !block) return VLDR_NOTMYFORMAT;
  VLDR_2DCALLBACKINFO info = {};
  info.displaytype = displaytype;
  info.flags = flags;
  JpgDecoder decoder(*this, static_cast<const uint8_t*>(block), length, surface, info);
  if (int rc = decoder.Locate()) return rc;
  return decoder.Run();
}
