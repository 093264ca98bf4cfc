// vmod_file_pack.cpp - the file object's package half: the VPK2 format read
// and written, the old VPCK layout read in place and converted to VPK2.
//
// Depends on: vmod_file.cpp (the plain half), vmod_std (MD5, dates),
// vmod_memory (blocks, both compressors), vmod_device (the clock).
//
// A package is a 28-byte header, then per entry a record followed by its
// stored data, then one 32-bit position per entry filling the end of the
// file. Nothing read from the file is trusted or allocated before it has been
// checked against the file's size. Default vendor tag: "VEXA".
#include <cstdint>
#include <cstring>

#include "framework/vmod_device.h"
#include "resources/vmod_file.h"
#include "util/vmod_memory.h"
#include "util/vmod_std.h"

namespace {

constexpr uint32_t kChecksumBias = 692792;       // added to the digest's four characters
constexpr uint32_t kDefaultVendor = 0x41584556u; // "VEXA", little-endian
constexpr uint32_t kMinRecordSize = 4;           // the record size field itself
constexpr uint32_t kMinEntryBytes = 8;           // a position word and a record size
constexpr uint32_t kExtensionMax = 32;           // characters of an extension a long name keeps
constexpr char kTempSuffix[] = "_tmp";

// Header fields.
constexpr uint32_t kHeaderVendor = 4;
constexpr uint32_t kHeaderSize = 8;
constexpr uint32_t kHeaderVersion = 12;
constexpr uint32_t kHeaderEntries = 16;
constexpr uint32_t kHeaderChecksum = 20;
constexpr uint32_t kHeaderReserved1 = 24;
constexpr uint32_t kHeaderReserved2 = 26;
constexpr uint32_t kHeaderPeek = 12; // magic, vendor and header size

// Record fields.
constexpr uint32_t kRecordName = 4;
constexpr uint32_t kRecordPosition = 68;
constexpr uint32_t kRecordUnpacked = 72;
constexpr uint32_t kRecordPacked = 76;
constexpr uint32_t kRecordMethod = 80;
constexpr uint32_t kRecordReserved0 = 81;
constexpr uint32_t kRecordReserved1 = 82;
constexpr uint32_t kRecordModified = 84;
constexpr uint32_t kRecordAdded = 88;

// Old layout: a 32-byte header, then fixed 152-byte records.
constexpr uint32_t kOldHeaderSize = 32;
constexpr uint32_t kOldRecordSize = 152;
constexpr uint32_t kOldNameSize = 128;
constexpr uint32_t kOldPosition = 128;
constexpr uint32_t kOldUnpacked = 132;
constexpr uint32_t kOldPacked = 136;
constexpr uint32_t kOldMethod = 140;

// The most either compressed form can expand: deflate codes 258 bytes in two
// bits at best, an LZW code of at least 9 bits stands for at most 255 bytes.
constexpr uint64_t kZlibMaxRatio = 1032;
constexpr uint64_t kLzwMaxRatio = 256;

uint32_t ReadLe32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

uint16_t ReadLe16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

void WriteLe32(uint8_t* p, uint32_t value) {
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
  p[2] = static_cast<uint8_t>(value >> 16);
  p[3] = static_cast<uint8_t>(value >> 24);
}

void WriteLe16(uint8_t* p, uint16_t value) {
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
}

// A heap block freed on every way out.
struct HEAPBLOCK {
  uint8_t* data = nullptr;
  explicit HEAPBLOCK(uint64_t size)
      : data(size <= UINT32_MAX ? static_cast<uint8_t*>(ClassVMemory::Alloc(static_cast<uint32_t>(size)))
                                : nullptr) {}
  ~HEAPBLOCK() { ClassVMemory::DeAlloc(data); }
  HEAPBLOCK(const HEAPBLOCK&) = delete;
  HEAPBLOCK& operator=(const HEAPBLOCK&) = delete;
};

void EncodeHeader(const VPK_HEADER& header, uint8_t* out) {
  std::memcpy(out, header.magic, 4);
  std::memcpy(out + kHeaderVendor, header.vendor, 4);
  WriteLe32(out + kHeaderSize, header.headersize);
  out[kHeaderVersion] = header.version;
  std::memcpy(out + kHeaderVersion + 1, header.reserved0, 3);
  WriteLe32(out + kHeaderEntries, header.entries);
  WriteLe32(out + kHeaderChecksum, header.checksum);
  WriteLe16(out + kHeaderReserved1, header.reserved1);
  WriteLe16(out + kHeaderReserved2, header.reserved2);
}

VPK_HEADER DecodeHeader(const uint8_t* in) {
  VPK_HEADER header{};
  std::memcpy(header.magic, in, 4);
  std::memcpy(header.vendor, in + kHeaderVendor, 4);
  header.headersize = ReadLe32(in + kHeaderSize);
  header.version = in[kHeaderVersion];
  std::memcpy(header.reserved0, in + kHeaderVersion + 1, 3);
  header.entries = ReadLe32(in + kHeaderEntries);
  header.checksum = ReadLe32(in + kHeaderChecksum);
  header.reserved1 = ReadLe16(in + kHeaderReserved1);
  header.reserved2 = ReadLe16(in + kHeaderReserved2);
  return header;
}

// Checksum of the first covered bytes of a header whose checksum field is 0.
uint32_t HeaderChecksum(VPK_HEADER header, uint32_t covered) {
  header.checksum = 0;
  uint8_t bytes[VPK_HEADERSIZE];
  EncodeHeader(header, bytes);
  return VFile_QuickChecksum(bytes, covered);
}

// The header every writer writes.
VPK_HEADER CurrentHeader(const uint8_t* vendor, uint32_t entries) {
  VPK_HEADER header{};
  std::memcpy(header.magic, "VPK2", 4);
  std::memcpy(header.vendor, vendor, 4);
  header.headersize = VPK_HEADERSIZE;
  header.version = VPK_VERSION;
  header.entries = entries;
  header.checksum = HeaderChecksum(header, VPK_HEADERSIZE);
  return header;
}

// The old header as the reader keeps it: the current shape, version 100.
VPK_HEADER OldHeaderInMemory(const uint8_t* in) {
  VPK_HEADER header{};
  std::memcpy(header.magic, "VPCK", 4);
  std::memcpy(header.vendor, in + kHeaderVendor, 4);
  header.headersize = VPK_HEADERSIZE;
  header.version = VPK_VERSION_OLD;
  header.entries = ReadLe32(in + kHeaderEntries);
  header.checksum = HeaderChecksum(header, VPK_HEADERSIZE);
  return header;
}

// The data position is written as 0; the reader derives it.
void EncodeRecord(const VPK_FILEINFO& record, uint8_t* out) {
  std::memset(out, 0, VPK_RECORDSIZE);
  WriteLe32(out, VPK_RECORDSIZE);
  std::memcpy(out + kRecordName, record.name, VPK_NAMESIZE);
  WriteLe32(out + kRecordUnpacked, record.unpackedsize);
  WriteLe32(out + kRecordPacked, record.packedsize);
  out[kRecordMethod] = record.method;
  WriteLe32(out + kRecordModified, record.modifiedtime);
  WriteLe32(out + kRecordAdded, record.addedtime);
}

VPK_FILEINFO DecodeRecord(const uint8_t* in) {
  VPK_FILEINFO record{};
  record.recordsize = ReadLe32(in);
  std::memcpy(record.name, in + kRecordName, VPK_NAMESIZE);
  record.dataposition = ReadLe32(in + kRecordPosition);
  record.unpackedsize = ReadLe32(in + kRecordUnpacked);
  record.packedsize = ReadLe32(in + kRecordPacked);
  record.method = in[kRecordMethod];
  record.reserved0 = in[kRecordReserved0];
  record.reserved1 = ReadLe16(in + kRecordReserved1);
  record.modifiedtime = ReadLe32(in + kRecordModified);
  record.addedtime = ReadLe32(in + kRecordAdded);
  return record;
}

bool HasZero(const uint8_t* text, uint32_t size) {
  return std::memchr(text, 0, size) != nullptr;
}

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Stored names compare within their 64 bytes, ASCII letters without case.
bool SameStoredName(const char* a, const char* b) {
  for (uint32_t i = 0; i < VPK_NAMESIZE; i++) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) {
      return false;
    }
    if (a[i] == '\0') {
      return true;
    }
  }
  return true;
}

char Low8(char c) { return c; }
char Low8(char16_t c) { return static_cast<char>(static_cast<uint8_t>(c & 0xFF)); }

template <typename C>
void ReduceName(char* out, const C* path) {
  std::memset(out, 0, VPK_NAMESIZE);
  if (path == nullptr) {
    return;
  }
  const int32_t length = ClassVStd::StrLen(path);
  int32_t start = 0;
  for (int32_t i = 0; i < length; i++) {
    if (path[i] == '/' || path[i] == '\\') {
      start = i + 1;
    }
  }
  const C* name = path + start;
  const int32_t namelength = length - start;
  const int32_t keep = static_cast<int32_t>(VPK_NAMESIZE) - 1;
  int32_t head = namelength < keep + 1 ? namelength : keep;
  int32_t dot = -1;
  if (namelength > keep) {
    for (int32_t i = 0; i < namelength; i++) {
      if (name[i] == '.') {
        dot = i;
      }
    }
  }
  int32_t extension = 0;
  if (dot >= 0) {
    extension = namelength - dot < static_cast<int32_t>(kExtensionMax) ? namelength - dot
                                                                       : static_cast<int32_t>(kExtensionMax);
    head = keep - extension;
  }
  for (int32_t i = 0; i < head; i++) {
    out[i] = Low8(name[i]);
  }
  for (int32_t i = 0; i < extension; i++) {
    out[head + i] = Low8(name[dot + i]);
  }
}

struct STOREDNAME {
  char text[VPK_NAMESIZE];
};

template <typename C>
STOREDNAME StoredName(const C* name) {
  STOREDNAME stored;
  ReduceName(stored.text, name);
  return stored;
}

template <typename C>
uint32_t PackFourCharacters(const C* text) {
  uint32_t value = 0;
  for (uint32_t i = 0; text != nullptr && i < 4 && text[i] != 0; i++) {
    value |= uint32_t{static_cast<uint8_t>(Low8(text[i]))} << (8 * i);
  }
  return value;
}

template <typename C>
void UnpackFourCharacters(C* buffer, uint32_t value) {
  for (uint32_t i = 0; i < 4; i++) {
    buffer[i] = static_cast<C>(static_cast<uint8_t>(value >> (8 * i)));
  }
  buffer[4] = 0;
}

// A vendor text names a tag when it has at least one character.
template <typename C>
uint32_t VendorTag(const C* vendor) {
  return vendor != nullptr && vendor[0] != 0 ? PackFourCharacters(vendor) : 0;
}

// Names an extracted file may carry inside its folder.
bool IsPlainFileName(const char* name) {
  return name[0] != '\0' && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0;
}

uint32_t ShiftTimestamp(uint32_t timestamp, int32_t offset) {
  const int64_t shifted = int64_t{timestamp} + offset;
  if (shifted < 0) {
    return 0;
  }
  return shifted > int64_t{UINT32_MAX} ? UINT32_MAX : static_cast<uint32_t>(shifted);
}

uint64_t MaxUnpackedSize(uint8_t method, uint32_t packed) {
  return uint64_t{packed} * (method == VPK_METHOD_LZW ? kLzwMaxRatio : kZlibMaxRatio);
}

}  // namespace

// Positions of a package's entries as the writers work on them: count words
// and, after them, the end of the data area, with room for spare more.
struct ClassVFile::PackTable {
  uint32_t* words = nullptr;
  uint32_t count = 0;
  PackTable() = default;
  ~PackTable() { ClassVMemory::DeAlloc(words); }
  PackTable(const PackTable&) = delete;
  PackTable& operator=(const PackTable&) = delete;
};

// --- names, tags and checksums --------------------------------------------------

void VFile_CheckStoreName(char* out, const char* path) { ReduceName(out, path); }
void VFile_CheckStoreName(char* out, const char16_t* path) { ReduceName(out, path); }

uint32_t VFile_QuickChecksum(const void* data, uint32_t length) {
  char digest[VSTD_MD5LENGTH];
  ClassVStd::MD5Data(digest, data, length);
  const auto* characters = reinterpret_cast<const uint8_t*>(digest + 5);
  return ReadLe32(characters) + kChecksumBias;
}

uint32_t VFile_LongFCC(const char* text) { return PackFourCharacters(text); }
uint32_t VFile_LongFCC(const char16_t* text) { return PackFourCharacters(text); }
void VFile_CharFCC(char* buffer, uint32_t value) { UnpackFourCharacters(buffer, value); }
void VFile_CharFCC(char16_t* buffer, uint32_t value) { UnpackFourCharacters(buffer, value); }

// --- reading --------------------------------------------------------------------

bool ClassVFile::PackValid() const {
  return fileopen && packvalid;
}

uint32_t ClassVFile::PackContainFiles() const {
  return PackValid() ? packheader.entries : 0;
}

int ClassVFile::PackGetVendor(char* out) const {
  if (!PackValid()) {
    return 0;
  }
  VFile_CharFCC(out, ReadLe32(packheader.vendor));
  return 1;
}

int ClassVFile::PackGetVendor(char16_t* out) const {
  if (!PackValid()) {
    return 0;
  }
  VFile_CharFCC(out, ReadLe32(packheader.vendor));
  return 1;
}

uint8_t* ClassVFile::PackBuildIndex() {
  if (!PackValid() || packheader.entries == 0 || !EntryCountFits()) {
    return nullptr;
  }
  const uint32_t count = packheader.entries;
  const uint64_t bytes = uint64_t{count} * VPK_NAMESIZE;
  auto* block = bytes <= UINT32_MAX ? static_cast<uint8_t*>(ClassVMemory::Alloc(static_cast<uint32_t>(bytes)))
                                    : nullptr;
  if (block == nullptr) {
    return nullptr;
  }
  std::memset(block, 0, size_t{count} * VPK_NAMESIZE);
  const uint32_t size = StreamSize();
  VPK_FILEINFO info;
  for (uint32_t i = 0; i < count; i++) {
    if (ReadRecord(i, info, size)) {
      std::memcpy(block + size_t{i} * VPK_NAMESIZE, info.name, VPK_NAMESIZE);
    }
  }
  nameindex = block;
  return block;
}

void ClassVFile::PackUseIndex(uint8_t* block) {
  nameindex = block;
}

int ClassVFile::PackSearchFile(const char* name, int32_t& index) {
  const int32_t found = SearchStored(StoredName(name).text);
  if (found < 0) {
    return 0;
  }
  index = found;
  return 1;
}

int ClassVFile::PackSearchFile(const char16_t* name, int32_t& index) {
  return PackSearchFile(StoredName(name).text, index);  // a stored name reduces to itself
}

int ClassVFile::PackGetFileInfo(VPK_FILEINFO& info, int32_t index, bool localtime) {
  if (index < 0 || !ReadRecord(static_cast<uint32_t>(index), info)) {
    info = VPK_FILEINFO{};
    return 0;
  }
  if (localtime) {
    ClassVDevice device;
    const int32_t offset = device.LocalTimeOffset();
    info.modifiedtime = ShiftTimestamp(info.modifiedtime, offset);
    info.addedtime = ShiftTimestamp(info.addedtime, offset);
  }
  return 1;
}

int ClassVFile::PackGetFileInfo(VPK_FILEINFO& info, const char* name, bool localtime) {
  return InfoByStored(info, StoredName(name).text, localtime);
}

int ClassVFile::PackGetFileInfo(VPK_FILEINFO& info, const char16_t* name, bool localtime) {
  return InfoByStored(info, StoredName(name).text, localtime);
}

int ClassVFile::PackGetFileData(uint8_t*& data, uint32_t& size, int32_t index) {
  data = nullptr;
  size = 0;
  if (!PackValid()) {
    return VPK_ERR_NOPACKAGE;
  }
  VPK_FILEINFO info;
  if (index < 0 || !ReadRecord(static_cast<uint32_t>(index), info)) {
    return VPK_ERR_NOENTRY;
  }
  return LoadEntryData(info, data, size);
}

int ClassVFile::PackGetFileData(uint8_t*& data, uint32_t& size, const char* name) {
  return DataByStored(data, size, StoredName(name).text);
}

int ClassVFile::PackGetFileData(uint8_t*& data, uint32_t& size, const char16_t* name) {
  return DataByStored(data, size, StoredName(name).text);
}

// --- writing --------------------------------------------------------------------

int ClassVFile::PackNew(const char16_t* path, const char16_t* vendor) {
  return PackNewTag(path, VendorTag(vendor));
}

int ClassVFile::PackAddFile(const char16_t* path, bool replace, int method) {
  if (!PackValid()) {
    return VPK_ERR_NOPACKAGE;
  }
  const STOREDNAME stored = StoredName(path);
  if (stored.text[0] == '\0') {
    return VPK_ERR_NOENTRY;
  }
  int32_t found = -1;
  const int searched = SearchRecords(stored.text, found);
  if (searched != VPK_OK) {
    return searched;
  }
  if (found < 0 && packheader.entries >= VPK_MAXENTRIES) {
    return VPK_ERR_FULL;
  }
  if (found >= 0 && !replace) {
    return VPK_ERR_EXISTS;
  }
  char16_t resolved[VFILE_PATHMAX];
  ResolvePath(resolved, path);
  ClassVFile source;
  if (!source.Open(resolved, VFILE_MODE_READ)) {
    return VPK_ERR_NOENTRY;
  }
  const uint32_t length = source.Size();
  HEAPBLOCK contents(length);
  if (length > 0 && contents.data == nullptr) {
    return VPK_ERR_MEMORY;
  }
  if (length > 0 && !source.Read(contents.data, length)) {
    return VPK_ERR_IO;
  }
  uint32_t modified = 0;
  V_FILEINFO information;
  if (source.GetInformation(information, nullptr, false)) {
    V_DATETIME date{};
    date.year = information.modifiedyear;
    date.month = information.modifiedmonth;
    date.day = information.modifiedday;
    date.hour = information.modifiedhour;
    date.minute = information.modifiedminute;
    date.second = information.modifiedsecond;
    modified = ClassVStd::DateTimeToTimestamp(date);
  }
  source.Close();
  return AddStored(stored.text, contents.data, length, replace, method, modified);
}

int ClassVFile::PackAddFileData(const char* name, const void* data, uint32_t length, bool replace, int method,
                                uint32_t modified) {
  return AddStored(StoredName(name).text, data, length, replace, method, modified);
}

int ClassVFile::PackAddFileData(const char16_t* name, const void* data, uint32_t length, bool replace, int method,
                                uint32_t modified) {
  return AddStored(StoredName(name).text, data, length, replace, method, modified);
}

int ClassVFile::PackDeleteFile(int32_t index) {
  if (!PackValid()) {
    return VPK_ERR_NOPACKAGE;
  }
  if (index < 0 || static_cast<uint32_t>(index) >= packheader.entries) {
    return VPK_ERR_NOENTRY;
  }
  int result = PrepareWrite();
  PackTable table;
  if (result == VPK_OK) result = LoadTable(table, 0);
  if (result == VPK_OK) result = NormaliseHeaderSize(table);
  if (result != VPK_OK) {
    return result;
  }
  uint32_t* words = table.words;
  const uint32_t count = table.count;
  const uint32_t k = static_cast<uint32_t>(index);
  const uint32_t gap = words[k + 1] - words[k];
  if (!MoveData(words[k], words[k + 1], words[count] - words[k + 1], VPK_MOVEBUFFER)) {
    return VPK_ERR_IO;
  }
  for (uint32_t i = k; i < count; i++) {
    words[i] = words[i + 1] - gap;
  }
  return CommitTable(table, count - 1);
}

int ClassVFile::PackDeleteFile(const char* name) {
  return DeleteStored(StoredName(name).text);
}

int ClassVFile::PackDeleteFile(const char16_t* name) {
  return DeleteStored(StoredName(name).text);
}

int ClassVFile::PackChangeVendor(const char* vendor) {
  return vendor != nullptr ? ChangeVendorTag(VFile_LongFCC(vendor)) : 0;
}

int ClassVFile::PackChangeVendor(const char16_t* vendor) {
  return vendor != nullptr ? ChangeVendorTag(VFile_LongFCC(vendor)) : 0;
}

int ClassVFile::PackExtractFile(const char16_t* folder, int32_t index, bool overwrite) {
  return ExtractTo(folder, index, overwrite);
}

int ClassVFile::PackExtractFile(const char16_t* folder, const char16_t* name, bool overwrite) {
  return ExtractStored(folder, StoredName(name).text, overwrite);
}

int ClassVFile::ConvertPackFile() {
  if (!PackValid()) {
    return 0;
  }
  if (packheader.version != VPK_VERSION_OLD) {
    return 1;  // already the current layout
  }
  char16_t package[VFILE_PATHMAX];
  char16_t temporary[VFILE_PATHMAX];
  ClassVStd::StrCpy(package, filepath, VFILE_PATHMAX);
  ClassVStd::StrCpy(temporary, filepath, VFILE_PATHMAX);
  ClassVStd::StrCat(temporary, kTempSuffix);
  char systempackage[VFILE_SYSPATHMAX + 1];
  char systemtemporary[VFILE_SYSPATHMAX + 1];
  if (!SystemPath(systempackage, package) || !SystemPath(systemtemporary, temporary) || Exists(temporary) ||
      !EntryCountFits()) {
    return 0;
  }
  ClassVFile target;
  if (!target.New(temporary)) {
    return 0;
  }
  const bool converted = WriteConverted(target);
  target.Close();
  // One rename replaces the package, so it is either the old file or the
  // whole new one, never missing.
  if (!converted || std::rename(systemtemporary, systempackage) != 0) {
    Delete(temporary);
    return 0;
  }
  Open(package, readonly ? VFILE_MODE_READ : VFILE_MODE_READWRITE);
  return PackValid() && packheader.version == VPK_VERSION ? 1 : 0;
}

// --- private: reading -------------------------------------------------------------

void ClassVFile::ExaminePackage() {
  packvalid = false;
  packheader = VPK_HEADER{};
  const uint32_t size = StreamSize();
  uint8_t bytes[kOldHeaderSize] = {};
  if (size >= 4 && Seek(0) && Read(bytes, 4)) {
    if (std::memcmp(bytes, "VPCK", 4) == 0) {
      if (size >= kOldHeaderSize && Seek(0) && Read(bytes, kOldHeaderSize)) {
        packheader = OldHeaderInMemory(bytes);
        packvalid = true;
      }
    } else if (size >= kHeaderPeek && Seek(0) && Read(bytes, kHeaderPeek) && std::memcmp(bytes, "VPK2", 4) == 0) {
      // The header size says how many bytes the checksum covers; a package
      // shorter than 28 bytes reads the missing ones as zeros.
      const uint32_t covered = ReadLe32(bytes + kHeaderSize);
      const uint32_t available = size < VPK_HEADERSIZE ? size : VPK_HEADERSIZE;
      if (covered <= VPK_HEADERSIZE && covered <= size && Seek(0) && Read(bytes, available)) {
        VPK_HEADER header = DecodeHeader(bytes);
        packvalid = header.checksum == HeaderChecksum(header, covered);
        header.checksum = HeaderChecksum(header, VPK_HEADERSIZE);
        packheader = header;
      }
    }
  }
  Seek(0);
}

bool ClassVFile::EntryCountFits() {
  const uint64_t size = StreamSize();
  const uint64_t count = packheader.entries;
  if (packheader.version == VPK_VERSION_OLD) {
    return kOldHeaderSize + count * kOldRecordSize <= size;
  }
  return packheader.headersize + count * kMinEntryBytes <= size;
}

bool ClassVFile::ReadRecord(uint32_t index, VPK_FILEINFO& info) {
  return PackValid() && ReadRecord(index, info, StreamSize());
}

bool ClassVFile::ReadRecord(uint32_t index, VPK_FILEINFO& info, uint32_t size) {
  if (!PackValid() || index >= packheader.entries) {
    return false;
  }
  return packheader.version == VPK_VERSION_OLD ? ReadOldRecord(index, info, size)
                                               : ReadCurrentRecord(index, info, size);
}

// An entry is readable when its position lies between the header and the
// position table, its record size is 4..92, and its record and data end at
// or before the next entry's position (the table, for the last entry).
bool ClassVFile::ReadCurrentRecord(uint32_t index, VPK_FILEINFO& info, uint32_t size) {
  const uint32_t count = packheader.entries;
  const uint32_t first = packheader.headersize;
  if (first + uint64_t{count} * kMinEntryBytes > size) {
    return false;
  }
  const uint32_t table = size - count * 4;
  uint8_t words[8];
  const uint32_t wordcount = index + 1 < count ? 2 : 1;
  if (!Seek(table + index * 4) || !Read(words, wordcount * 4)) {
    return false;
  }
  const uint32_t position = ReadLe32(words);
  const uint32_t next = wordcount == 2 ? ReadLe32(words + 4) : table;
  if (position < first || next > table || uint64_t{position} + kMinRecordSize > next) {
    return false;
  }
  // The record size first, then the rest of that many bytes; a short record
  // reads as the whole record with the fields it lacks zero.
  uint8_t bytes[VPK_RECORDSIZE] = {};
  if (!Seek(position) || !Read(bytes, kMinRecordSize)) {
    return false;
  }
  const uint32_t recordsize = ReadLe32(bytes);
  if (recordsize < kMinRecordSize || recordsize > VPK_RECORDSIZE || uint64_t{position} + recordsize > next ||
      (recordsize > kMinRecordSize && !Read(bytes + kMinRecordSize, recordsize - kMinRecordSize)) ||
      !HasZero(bytes + kRecordName, VPK_NAMESIZE)) {
    return false;
  }
  info = DecodeRecord(bytes);
  info.dataposition = position + recordsize;
  return uint64_t{info.dataposition} + info.packedsize <= next;
}

bool ClassVFile::ReadOldRecord(uint32_t index, VPK_FILEINFO& info, uint32_t size) {
  const uint64_t offset = kOldHeaderSize + uint64_t{index} * kOldRecordSize;
  uint8_t bytes[kOldRecordSize];
  if (offset + kOldRecordSize > size || !Seek(static_cast<uint32_t>(offset)) || !Read(bytes, kOldRecordSize) ||
      !HasZero(bytes, kOldNameSize)) {
    return false;
  }
  info = VPK_FILEINFO{};
  info.recordsize = VPK_RECORDSIZE;
  VFile_CheckStoreName(info.name, reinterpret_cast<const char*>(bytes));
  info.dataposition = ReadLe32(bytes + kOldPosition);
  info.unpackedsize = ReadLe32(bytes + kOldUnpacked);
  info.packedsize = ReadLe32(bytes + kOldPacked);
  info.method = bytes[kOldMethod];
  return info.dataposition >= kOldHeaderSize && uint64_t{info.dataposition} + info.packedsize <= size;
}

int32_t ClassVFile::SearchStored(const char* stored) {
  if (!PackValid() || stored[0] == '\0') {
    return -1;
  }
  const uint32_t count = packheader.entries;
  if (nameindex != nullptr) {
    for (uint32_t i = 0; i < count && i <= INT32_MAX; i++) {
      if (SameStoredName(reinterpret_cast<const char*>(nameindex + size_t{i} * VPK_NAMESIZE), stored)) {
        return static_cast<int32_t>(i);
      }
    }
    return -1;
  }
  if (!EntryCountFits()) {
    return -1;
  }
  const uint32_t size = StreamSize();
  VPK_FILEINFO info;
  for (uint32_t i = 0; i < count; i++) {
    if (ReadRecord(i, info, size) && SameStoredName(info.name, stored)) {
      return static_cast<int32_t>(i);
    }
  }
  return -1;
}

// The writers never trust an installed index: it may be older than the
// package. Every record is read, and one that is unreadable stops the change.
int ClassVFile::SearchRecords(const char* stored, int32_t& index) {
  index = -1;
  const uint32_t count = packheader.entries;
  if (count == 0) {
    return VPK_OK;
  }
  if (!EntryCountFits()) {
    return VPK_ERR_IO;
  }
  const uint32_t size = StreamSize();
  VPK_FILEINFO info;
  for (uint32_t i = 0; i < count; i++) {
    if (!ReadRecord(i, info, size)) {
      return VPK_ERR_IO;
    }
    if (SameStoredName(info.name, stored)) {
      index = static_cast<int32_t>(i);
      return VPK_OK;
    }
  }
  return VPK_OK;
}

int ClassVFile::LoadEntryData(const VPK_FILEINFO& info, uint8_t*& data, uint32_t& size) {
  data = nullptr;
  size = 0;
  const uint8_t method = info.method;
  if (method > VPK_METHOD_ZLIB || (method == VPK_METHOD_RAW && info.packedsize != info.unpackedsize)) {
    return VPK_ERR_CORRUPT;
  }
  if (info.unpackedsize == 0) {
    return VPK_OK;
  }
  if (method != VPK_METHOD_RAW && info.unpackedsize > MaxUnpackedSize(method, info.packedsize)) {
    return VPK_ERR_CORRUPT;
  }
  auto* block = static_cast<uint8_t*>(ClassVMemory::Alloc(info.unpackedsize));
  if (block == nullptr) {
    return VPK_ERR_MEMORY;
  }
  int result = VPK_OK;
  if (method == VPK_METHOD_RAW) {
    if (!Seek(info.dataposition) || !Read(block, info.unpackedsize)) {
      result = VPK_ERR_IO;
    }
  } else {
    HEAPBLOCK packed(info.packedsize);
    uint32_t produced = info.unpackedsize;
    if (packed.data == nullptr) {
      result = VPK_ERR_MEMORY;
    } else if (!Seek(info.dataposition) || !Read(packed.data, info.packedsize)) {
      result = VPK_ERR_IO;
    } else {
      ClassVMemory memory;
      const int unpacked = method == VPK_METHOD_LZW
                               ? memory.UnCompress(block, produced, packed.data, info.packedsize)
                               : ClassVMemory::UnCompressZLib(block, produced, packed.data, info.packedsize);
      if (!unpacked || produced != info.unpackedsize) {
        result = VPK_ERR_CORRUPT;
      }
    }
  }
  if (result != VPK_OK) {
    ClassVMemory::DeAlloc(block);
    return result;
  }
  data = block;
  size = info.unpackedsize;
  return VPK_OK;
}

int ClassVFile::InfoByStored(VPK_FILEINFO& info, const char* stored, bool localtime) {
  const int32_t index = SearchStored(stored);
  if (index < 0) {
    info = VPK_FILEINFO{};
    return 0;
  }
  return PackGetFileInfo(info, index, localtime);
}

int ClassVFile::DataByStored(uint8_t*& data, uint32_t& size, const char* stored) {
  data = nullptr;
  size = 0;
  if (!PackValid()) {
    return VPK_ERR_NOPACKAGE;
  }
  const int32_t index = SearchStored(stored);
  return index < 0 ? VPK_ERR_NOENTRY : PackGetFileData(data, size, index);
}

// --- private: writing ---------------------------------------------------------------

int ClassVFile::PackNewTag(const char16_t* path, uint32_t vendor) {
  Close();
  if (path == nullptr) {
    return VPK_ERR_IO;
  }
  char16_t resolved[VFILE_PATHMAX];
  ResolvePath(resolved, path);
  if (Exists(resolved)) {
    return VPK_ERR_EXISTS;
  }
  if (!New(resolved)) {
    return VPK_ERR_IO;
  }
  uint8_t tag[4];
  WriteLe32(tag, vendor != 0 ? vendor : kDefaultVendor);
  const VPK_HEADER header = CurrentHeader(tag, 0);
  uint8_t bytes[VPK_HEADERSIZE];
  EncodeHeader(header, bytes);
  if (!Write(bytes, VPK_HEADERSIZE)) {
    Close();
    Delete(resolved);
    return VPK_ERR_IO;
  }
  packheader = header;
  packvalid = true;
  Seek(0);
  return VPK_OK;
}

int ClassVFile::AddStored(const char* stored, const void* data, uint32_t length, bool replace, int method,
                          uint32_t modified) {
  int result = PrepareWrite();
  if (result != VPK_OK) {
    return result;
  }
  if (stored[0] == '\0') {
    return VPK_ERR_NOENTRY;
  }
  int32_t found = -1;
  result = SearchRecords(stored, found);
  if (result != VPK_OK) {
    return result;
  }
  if (found < 0 && packheader.entries >= VPK_MAXENTRIES) {
    return VPK_ERR_FULL;
  }
  if (found >= 0 && !replace) {
    return VPK_ERR_EXISTS;
  }
  if (data == nullptr) {
    length = 0;
  }

  // The stored form: compressed only when that saves more than the 4 bytes
  // the comparison allows; otherwise the bytes as given, method 0.
  const auto* body = static_cast<const uint8_t*>(data);
  uint32_t packed = length;
  uint8_t usedmethod = VPK_METHOD_RAW;
  HEAPBLOCK compressed((method == VPK_METHOD_LZW || method == VPK_METHOD_ZLIB) && length > 0
                           ? uint64_t{length} + length / 100 + 12
                           : 0);
  if ((method == VPK_METHOD_LZW || method == VPK_METHOD_ZLIB) && length > 0) {
    if (compressed.data == nullptr) {
      return VPK_ERR_MEMORY;
    }
    uint32_t capacity = length + length / 100 + 12;
    ClassVMemory memory;
    const int done = method == VPK_METHOD_LZW ? memory.Compress(compressed.data, capacity, data, length)
                                              : ClassVMemory::CompressZLib(compressed.data, capacity, data, length);
    if (done && uint64_t{capacity} + 4 < length) {
      body = compressed.data;
      packed = capacity;
      usedmethod = static_cast<uint8_t>(method);
    }
  }

  VPK_FILEINFO record{};
  record.recordsize = VPK_RECORDSIZE;
  std::memcpy(record.name, stored, VPK_NAMESIZE);
  record.unpackedsize = length;
  record.packedsize = packed;
  record.method = usedmethod;
  record.modifiedtime = modified;
  ClassVDevice device;
  record.addedtime = device.TimestampNow(false);

  PackTable table;
  result = LoadTable(table, 1);
  if (result == VPK_OK) result = NormaliseHeaderSize(table);
  if (result != VPK_OK) {
    return result;
  }
  uint32_t* words = table.words;
  const uint32_t count = table.count;
  const int64_t block = int64_t{VPK_RECORDSIZE} + packed;
  if (found < 0) {
    // Appended where the position table was.
    const int64_t end = words[count] + block;
    if (end + int64_t{count + 1} * 4 > int64_t{UINT32_MAX}) {
      return VPK_ERR_IO;
    }
    words[count + 1] = static_cast<uint32_t>(end);
    if (WriteBlock(words[count], record, body) != VPK_OK) {
      return VPK_ERR_IO;
    }
    return CommitTable(table, count + 1);
  }
  // Replaced in place: everything after it moves by the difference in size.
  const uint32_t k = static_cast<uint32_t>(found);
  const int64_t difference = block - (int64_t{words[k + 1]} - words[k]);
  if (words[count] + difference + int64_t{count} * 4 > int64_t{UINT32_MAX}) {
    return VPK_ERR_IO;
  }
  const uint32_t after = static_cast<uint32_t>(words[k + 1] + difference);
  if (!MoveData(after, words[k + 1], words[count] - words[k + 1], VPK_MOVEBUFFER)) {
    return VPK_ERR_IO;
  }
  for (uint32_t i = k + 1; i <= count; i++) {
    words[i] = static_cast<uint32_t>(words[i] + difference);
  }
  if (WriteBlock(words[k], record, body) != VPK_OK) {
    return VPK_ERR_IO;
  }
  return CommitTable(table, count);
}

int ClassVFile::DeleteStored(const char* stored) {
  if (!PackValid()) {
    return VPK_ERR_NOPACKAGE;
  }
  if (stored[0] == '\0') {
    return VPK_ERR_NOENTRY;
  }
  int32_t found = -1;
  const int searched = SearchRecords(stored, found);
  if (searched != VPK_OK) {
    return searched;
  }
  return found < 0 ? VPK_ERR_NOENTRY : PackDeleteFile(found);
}

int ClassVFile::ChangeVendorTag(uint32_t vendor) {
  if (PrepareWrite() != VPK_OK) {
    return 0;
  }
  const VPK_HEADER before = packheader;
  WriteLe32(packheader.vendor, vendor);
  if (packheader.headersize != VPK_HEADERSIZE) {
    // A shorter header grows to 28 bytes first, which moves the whole table.
    PackTable table;
    int result = LoadTable(table, 0);
    if (result == VPK_OK) result = NormaliseHeaderSize(table);
    if (result == VPK_OK) result = CommitTable(table, table.count);
    if (result != VPK_OK) {
      packheader = before;
    }
    return result == VPK_OK ? 1 : 0;
  }
  const VPK_HEADER header = CurrentHeader(packheader.vendor, packheader.entries);
  uint8_t bytes[VPK_HEADERSIZE];
  EncodeHeader(header, bytes);
  if (!Seek(0) || !Write(bytes, VPK_HEADERSIZE)) {
    packheader = before;
    return 0;
  }
  packheader = header;
  Seek(0);
  return 1;
}

int ClassVFile::ExtractTo(const char16_t* folder, int32_t index, bool overwrite) {
  if (!PackValid()) {
    return VPK_ERR_NOPACKAGE;
  }
  if (index < 0 || static_cast<uint32_t>(index) >= packheader.entries) {
    return VPK_ERR_NOENTRY;
  }
  VPK_FILEINFO info;
  if (!ReadRecord(static_cast<uint32_t>(index), info)) {
    return VPK_ERR_IO;
  }
  // The stored name of a package made elsewhere may hold separators or dot
  // segments; only its last plain segment names the file.
  char name[VPK_NAMESIZE];
  VFile_CheckStoreName(name, info.name);
  if (!IsPlainFileName(name)) {
    return VPK_ERR_IO;
  }
  char16_t target[VFILE_PATHMAX];
  ResolvePath(target, folder != nullptr ? folder : u"");
  int32_t used = ClassVStd::StrLen(target, VFILE_PATHMAX);
  if (used > 0 && target[used - 1] != u'/') {
    target[used++] = u'/';
  }
  if (used + ClassVStd::StrLen(name) >= VFILE_PATHMAX) {
    return VPK_ERR_IO;
  }
  ClassVStd::StrCpy(target + used, name, VFILE_PATHMAX - used);
  if (ClassVStd::StrEqual(target, filepath)) {
    return VPK_ERR_IO;  // the package itself
  }
  if (!overwrite && Exists(target)) {
    return VPK_ERR_EXISTS;
  }
  // The data first: a corrupt entry never creates or truncates a file.
  uint8_t* data = nullptr;
  uint32_t size = 0;
  const int loaded = LoadEntryData(info, data, size);
  if (loaded != VPK_OK) {
    return loaded;
  }
  ClassVFile output;
  int result = VPK_OK;
  if (!output.Open(target, VFILE_MODE_WRITE)) {
    result = VPK_ERR_IO;
  } else if (size > 0 && !output.Write(data, size)) {
    output.Close();
    output.Delete(target);
    result = VPK_ERR_IO;
  }
  output.Close();
  ClassVMemory::DeAlloc(data);
  return result;
}

int ClassVFile::ExtractStored(const char16_t* folder, const char* stored, bool overwrite) {
  if (!PackValid()) {
    return VPK_ERR_NOPACKAGE;
  }
  const int32_t index = SearchStored(stored);
  return index < 0 ? VPK_ERR_NOENTRY : ExtractTo(folder, index, overwrite);
}

// Every change starts here: the package is valid, in the current layout,
// and the installed name index is forgotten, since the change outdates it.
int ClassVFile::PrepareWrite() {
  if (!PackValid()) {
    return VPK_ERR_NOPACKAGE;
  }
  if (packheader.version == VPK_VERSION_OLD && !ConvertPackFile()) {
    return VPK_ERR_IO;
  }
  nameindex = nullptr;
  return PackValid() ? VPK_OK : VPK_ERR_IO;
}

// The writers need the positions to rise from the header to the table, so
// every block they move has a size of 0 or more.
int ClassVFile::LoadTable(PackTable& table, uint32_t spare) {
  if (!EntryCountFits()) {
    return VPK_ERR_IO;
  }
  const uint32_t size = StreamSize();
  const uint32_t count = packheader.entries;
  table.words = static_cast<uint32_t*>(ClassVMemory::Alloc((count + 1 + spare) * 4));
  if (table.words == nullptr) {
    return VPK_ERR_MEMORY;
  }
  table.count = count;
  const uint32_t start = size - count * 4;
  uint8_t bytes[4];
  if (count > 0 && !Seek(start)) {
    return VPK_ERR_IO;
  }
  for (uint32_t i = 0; i < count; i++) {
    if (!Read(bytes, 4)) {
      return VPK_ERR_IO;
    }
    table.words[i] = ReadLe32(bytes);
  }
  table.words[count] = start;
  if (count > 0 && table.words[0] < packheader.headersize) {
    return VPK_ERR_IO;
  }
  for (uint32_t i = 0; i < count; i++) {
    if (table.words[i] > table.words[i + 1]) {
      return VPK_ERR_IO;
    }
  }
  return VPK_OK;
}

int ClassVFile::NormaliseHeaderSize(PackTable& table) {
  const uint32_t first = packheader.headersize;
  if (first == VPK_HEADERSIZE) {
    return VPK_OK;
  }
  const uint32_t size = StreamSize();
  const uint32_t shift = VPK_HEADERSIZE - first;
  if (uint64_t{size} + shift > UINT32_MAX ||
      !MoveData(VPK_HEADERSIZE, first, size - first, VPK_MOVEBUFFER)) {
    return VPK_ERR_IO;
  }
  for (uint32_t i = 0; i <= table.count; i++) {
    table.words[i] += shift;
  }
  packheader.headersize = VPK_HEADERSIZE;
  return VPK_OK;
}

// Writes count positions after the data area, which ends at words[count],
// then the header, and cuts the file right after the table.
int ClassVFile::CommitTable(const PackTable& table, uint32_t count) {
  const uint32_t end = table.words[count];
  const uint64_t tableend = uint64_t{end} + uint64_t{count} * 4;
  if (tableend > UINT32_MAX) {
    return VPK_ERR_IO;
  }
  if (count > 0) {
    HEAPBLOCK bytes(uint64_t{count} * 4);
    if (bytes.data == nullptr) {
      return VPK_ERR_MEMORY;
    }
    for (uint32_t i = 0; i < count; i++) {
      WriteLe32(bytes.data + size_t{i} * 4, table.words[i]);
    }
    if (!Seek(end) || !Write(bytes.data, count * 4)) {
      return VPK_ERR_IO;
    }
  }
  const VPK_HEADER header = CurrentHeader(packheader.vendor, count);
  uint8_t encoded[VPK_HEADERSIZE];
  EncodeHeader(header, encoded);
  if (!Seek(0) || !Write(encoded, VPK_HEADERSIZE) || !SetSize(static_cast<uint32_t>(tableend))) {
    return VPK_ERR_IO;
  }
  packheader = header;
  Seek(0);
  return VPK_OK;
}

int ClassVFile::WriteBlock(uint32_t position, const VPK_FILEINFO& record, const uint8_t* data) {
  uint8_t bytes[VPK_RECORDSIZE];
  EncodeRecord(record, bytes);
  if (!Seek(position) || !Write(bytes, VPK_RECORDSIZE)) {
    return VPK_ERR_IO;
  }
  if (record.packedsize > 0 && !Write(data, record.packedsize)) {
    return VPK_ERR_IO;
  }
  return VPK_OK;
}

bool ClassVFile::WriteConverted(ClassVFile& target) {
  const uint32_t count = packheader.entries;
  uint8_t bytes[VPK_RECORDSIZE];
  EncodeHeader(CurrentHeader(packheader.vendor, count), bytes);
  HEAPBLOCK table(uint64_t{count} * 4);
  HEAPBLOCK buffer(VPK_MOVEBUFFER);
  if (!target.Write(bytes, VPK_HEADERSIZE) || (count > 0 && table.data == nullptr) || buffer.data == nullptr) {
    return false;
  }
  const uint32_t size = StreamSize();
  VPK_FILEINFO info;
  for (uint32_t i = 0; i < count; i++) {
    if (!ReadRecord(i, info, size)) {
      return false;
    }
    WriteLe32(table.data + size_t{i} * 4, target.Tell());
    EncodeRecord(info, bytes);
    if (!target.Write(bytes, VPK_RECORDSIZE) || !CopyOut(target, info.dataposition, info.packedsize, buffer.data)) {
      return false;
    }
  }
  return count == 0 || target.Write(table.data, count * 4);
}

bool ClassVFile::CopyOut(ClassVFile& target, uint32_t position, uint32_t length, uint8_t* buffer) {
  for (uint32_t done = 0; done < length;) {
    const uint32_t count = length - done < VPK_MOVEBUFFER ? length - done : VPK_MOVEBUFFER;
    if (!Seek(position + done) || !Read(buffer, count) || !target.Write(buffer, count)) {
      return false;
    }
    done += count;
  }
  return true;
}
