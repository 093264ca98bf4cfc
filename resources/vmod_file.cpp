// vmod_file.cpp - the framework's file object, plain half: byte I/O on one
// stdio stream, relative paths resolved against a current folder, files and
// folders by name, attributes, and the 8-bit forms of every path operation.
//
// Depends on: vmod_std (widening and narrowing), vmod_memory (the heap block
// of a long 8-bit path, the move buffer), GetPath (program folder), platform
// (sync on close), POSIX file and folder calls.
#include "resources/vmod_file.h"

#include <cstdint>
#include <cstdio>
#include <ctime>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "framework/vexa_records.h"
#include "platform/platform.h"
#include "util/vmod_memory.h"
#include "util/vmod_std.h"

namespace {

// 8-bit paths shorter than this are widened on the stack.
constexpr int32_t WIDE_LOCAL = 256;
// Room to join a current folder and a relative path before normalising.
constexpr int32_t JOIN_MAX = VFILE_PATHMAX * 2;

bool IsSeparator(char16_t c) {
  return c == u'/' || c == u'\\';
}

bool IsAbsolutePath(const char16_t* path) {
  if (IsSeparator(path[0])) {
    return true;
  }
  return path[0] != u'\0' && path[1] == u':' && IsSeparator(path[2]);
}

void ForwardSlashes(char16_t* path) {
  for (; *path != u'\0'; path++) {
    if (*path == u'\\') {
      *path = u'/';
    }
  }
}

// Narrows a resolved path for the system's file functions; false when it is
// longer than the system is handed.
bool NarrowSystemPath(char* out, const char16_t* path) {
  if (path[0] == u'\0' || ClassVStd::StrLen(path) > VFILE_SYSPATHMAX) {
    return false;
  }
  ClassVStd::StrCpy(out, path, VFILE_SYSPATHMAX + 1);
  return true;
}

// Runs of '/' in text[0, end), a run counting once.
int32_t CountSeparatorRuns(const char16_t* text, int32_t end) {
  int32_t runs = 0;
  for (int32_t i = 0; i < end; i++) {
    if (text[i] == u'/' && (i == 0 || text[i - 1] != u'/')) {
      runs++;
    }
  }
  return runs;
}

// Drops the folder segment (and the separators after it) that ends text[0, end).
int32_t DropLastSegment(const char16_t* text, int32_t end) {
  while (end > 0 && text[end - 1] == u'/') {
    end--;
  }
  while (end > 0 && text[end - 1] != u'/') {
    end--;
  }
  return end;
}

// Removes "./" segments, and "../" segments with the folder before them where
// more than one separator precedes, in place from left to right. The output
// never outruns the input, so text[in - 1] is still the input's character.
void NormaliseFolder(char16_t* text) {
  int32_t out = 0;
  int32_t in = 0;
  while (text[in] != u'\0') {
    const bool segmentstart = in == 0 || text[in - 1] == u'/';
    if (segmentstart && text[in] == u'.' && text[in + 1] == u'/') {
      in += 2;
      continue;
    }
    if (segmentstart && text[in] == u'.' && text[in + 1] == u'.' && text[in + 2] == u'/') {
      in += 3;
      if (CountSeparatorRuns(text, out) > 1) {
        out = DropLastSegment(text, out);
      }
      continue;
    }
    text[out++] = text[in++];
  }
  text[out] = u'\0';
}

// Widens an 8-bit path and hands it to call: on the stack when short, in a
// heap block when long, and cut to WIDE_LOCAL characters if no block is had.
template <typename Call>
auto WithWidePath(const char* path, Call call) -> decltype(call(nullptr)) {
  if (path == nullptr) {
    return call(nullptr);
  }
  const int32_t length = ClassVStd::StrLen(path);
  if (length >= WIDE_LOCAL) {
    const uint32_t bytes = static_cast<uint32_t>(length) * 2u + 2u;
    auto* block = static_cast<char16_t*>(ClassVMemory::Alloc(bytes));
    if (block != nullptr) {
      ClassVStd::StrCpy(block, path, length + 1);
      auto result = call(block);
      ClassVMemory::DeAlloc(block);
      return result;
    }
  }
  char16_t local[WIDE_LOCAL + 1];
  ClassVStd::StrCpy(local, path, WIDE_LOCAL + 1);
  return call(local);
}

// Attributes of an examined entry: only the owner's write bit counts.
uint16_t AttributesOf(const struct stat& status) {
  if ((status.st_mode & S_IWUSR) == 0) {
    return VFILE_ATTR_READONLY;
  }
  return S_ISDIR(status.st_mode) ? (VFILE_ATTR_FOLDER | VFILE_ATTR_FILE) : VFILE_ATTR_FILE;
}

struct CALENDAR {
  uint32_t year;
  uint8_t month, day, hour, minute, second;
};

CALENDAR CalendarOf(time_t seconds, bool localtime) {
  struct tm parts {};
  if (localtime) {
    localtime_r(&seconds, &parts);
  } else {
    gmtime_r(&seconds, &parts);
  }
  return {static_cast<uint32_t>(parts.tm_year + 1900), static_cast<uint8_t>(parts.tm_mon + 1),
          static_cast<uint8_t>(parts.tm_mday), static_cast<uint8_t>(parts.tm_hour),
          static_cast<uint8_t>(parts.tm_min), static_cast<uint8_t>(parts.tm_sec)};
}

template <typename C>
int32_t LastSeparator(const C* path) {
  int32_t last = -1;
  for (int32_t i = 0; path[i] != 0 && i < VSTD_MAXLENGTH; i++) {
    if (path[i] == '/' || path[i] == '\\') {
      last = i;
    }
  }
  return last;
}

template <typename C>
void KeepFileName(C* path) {
  const int32_t cut = LastSeparator(path) + 1;
  if (cut == 0) {
    return;
  }
  int32_t i = 0;
  for (; path[cut + i] != 0; i++) {
    path[i] = path[cut + i];
  }
  path[i] = 0;
}

template <typename C>
void KeepFolderName(C* path) {
  const int32_t end = LastSeparator(path) + 1;
  path[end] = 0;
  for (int32_t i = 0; i < end; i++) {
    if (path[i] == '\\') {
      path[i] = '/';
    }
  }
}

}  // namespace

void VFile_CheckFileName(char16_t* out, const char16_t* path, const char16_t* currentfolder) {
  out[0] = u'\0';
  if (path == nullptr) {
    return;
  }
  if (IsAbsolutePath(path)) {
    ClassVStd::StrCpy(out, path, VFILE_PATHMAX);
  } else {
    char16_t program[VEXA_PATHMAX];
    const char16_t* base = currentfolder;
    if (base == nullptr || base[0] == u'\0') {
      GetPath(program);
      base = program;
    }
    ClassVStd::StrCpy(out, base, VFILE_PATHMAX);
    const int32_t used = ClassVStd::StrLen(out, VFILE_PATHMAX);
    // A joined path that does not fit is cut; it is then far beyond what the
    // system is handed, so no file operation acts on the cut text.
    ClassVStd::StrCpy(out + used, path, VFILE_PATHMAX - used);
  }
  ForwardSlashes(out);
}

// --- ClassVFile ----------------------------------------------------------------

ClassVFile::ClassVFile() = default;

ClassVFile::~ClassVFile() {
  Close();
  CloseFolder();
}

int ClassVFile::Open(const char16_t* path, int mode) {
  int opened = 0;
  switch (mode) {
    case VFILE_MODE_READWRITE:
    case 3:
      opened = OpenStream(path, "r+b");
      break;
    case VFILE_MODE_READ:
      opened = OpenStream(path, "rb");
      break;
    case VFILE_MODE_WRITE:
      opened = OpenStream(path, "wb");
      break;
    default:
      Close();
      return 0;
  }
  if (opened) {
    ExaminePackage();
  }
  return opened;
}

int ClassVFile::New(const char16_t* path) {
  return OpenStream(path, "w+b");
}

void ClassVFile::Close() {
  if (stream != nullptr) {
    // The handheld may be switched off at any time; what was written goes
    // onto the card before the stream is let go.
    if (written) {
      std::fflush(stream);
      fsync(fileno(stream));
    }
    std::fclose(stream);
    stream = nullptr;
    Platform_Sync();
  }
  fileopen = false;
  packvalid = false;
  packheader = VPK_HEADER{};
  nameindex = nullptr;
  written = false;
  readonly = false;
  lastaccess = Access::None;
}

int ClassVFile::Read(void* buffer, uint32_t length) {
  if (stream == nullptr || buffer == nullptr || length == 0) {
    return 0;
  }
  TurnStream(Access::Read);
  return std::fread(buffer, 1, length, stream) == length ? 1 : 0;
}

int ClassVFile::Write(const void* buffer, uint32_t length) {
  if (stream == nullptr || buffer == nullptr || length == 0) {
    return 0;
  }
  TurnStream(Access::Write);
  written = true;
  return std::fwrite(buffer, 1, length, stream) == length ? 1 : 0;
}

int ClassVFile::Seek(uint32_t offset) {
  if (stream == nullptr) {
    return 0;
  }
  // Where long has 32 bits, offsets from 2 GiB on come out negative: refused.
  const long position = static_cast<long>(offset);
  if (position < 0) {
    return 0;
  }
  lastaccess = Access::None;
  return std::fseek(stream, position, SEEK_SET) == 0 ? 1 : 0;
}

uint32_t ClassVFile::Tell() {
  if (stream == nullptr) {
    return 0;
  }
  const long position = std::ftell(stream);
  return position < 0 ? 0 : static_cast<uint32_t>(position);
}

uint32_t ClassVFile::Size(const char16_t* path) {
  char16_t resolved[VFILE_PATHMAX];
  ResolvePath(resolved, path);
  if (fileopen && (path == nullptr || ClassVStd::StrEqual(resolved, filepath))) {
    return StreamSize();
  }
  char system[VFILE_SYSPATHMAX + 1];
  struct stat status;
  if (path == nullptr || !NarrowSystemPath(system, resolved) || stat(system, &status) != 0 ||
      !S_ISREG(status.st_mode)) {
    return 0;
  }
  const uint64_t size = static_cast<uint64_t>(status.st_size);
  return size > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(size);
}

int ClassVFile::SetSize(uint32_t size) {
  if (stream == nullptr) {
    return 0;
  }
  const uint32_t position = Tell();
  std::fclose(stream);
  stream = nullptr;
  lastaccess = Access::None;
  char system[VFILE_SYSPATHMAX + 1];
  NarrowSystemPath(system, filepath);
  const bool truncated = truncate(system, static_cast<off_t>(size)) == 0;
  stream = std::fopen(system, "r+b");
  if (stream == nullptr) {
    Close();
    return 0;
  }
  readonly = false;
  Seek(size != 0 && position > size ? size - 1 : position);
  return truncated ? 1 : 0;
}

int ClassVFile::MoveData(uint32_t destination, uint32_t source, uint32_t length, uint32_t buffersize) {
  if (length == 0 || destination == source) {
    return 1;
  }
  if (stream == nullptr || buffersize == 0 || uint64_t{source} + length > UINT32_MAX ||
      uint64_t{destination} + length > UINT32_MAX) {
    return 0;
  }
  const uint32_t chunk = length < buffersize ? length : buffersize;
  auto* buffer = static_cast<uint8_t*>(ClassVMemory::Alloc(chunk));
  if (buffer == nullptr) {
    return 0;
  }
  auto movepiece = [&](uint32_t offset, uint32_t count) {
    return Seek(source + offset) && Read(buffer, count) && Seek(destination + offset) &&
           Write(buffer, count);
  };
  bool moved = true;
  if (destination < source) {
    // Front to back: every piece lands below what is still to be read.
    for (uint32_t done = 0; moved && done < length;) {
      const uint32_t count = length - done < chunk ? length - done : chunk;
      moved = movepiece(done, count);
      done += count;
    }
  } else {
    // Back to front, the remainder first: every piece lands above what is
    // still to be read.
    uint32_t remaining = length;
    uint32_t count = length % chunk == 0 ? chunk : length % chunk;
    while (moved && remaining > 0) {
      remaining -= count;
      moved = movepiece(remaining, count);
      count = chunk;
    }
  }
  ClassVMemory::DeAlloc(buffer);
  return moved ? 1 : 0;
}

int ClassVFile::Delete(const char16_t* path) {
  char system[VFILE_SYSPATHMAX + 1];
  return SystemPath(system, path) && unlink(system) == 0 ? 1 : 0;
}

int ClassVFile::Rename(const char16_t* newname, const char16_t* existing) {
  char target[VFILE_SYSPATHMAX + 1];
  char system[VFILE_SYSPATHMAX + 1];
  if (newname == nullptr || existing == nullptr || !SystemPath(target, newname) ||
      !SystemPath(system, existing)) {
    return 0;
  }
  return std::rename(system, target) == 0 ? 1 : 0;
}

int ClassVFile::NewFolder(const char16_t* path) {
  char system[VFILE_SYSPATHMAX + 1];
  // The owner needs the search bit to reach anything inside.
  return path != nullptr && SystemPath(system, path) && mkdir(system, 0700) == 0 ? 1 : 0;
}

int ClassVFile::DeleteFolder(const char16_t* path) {
  char system[VFILE_SYSPATHMAX + 1];
  return path != nullptr && SystemPath(system, path) && rmdir(system) == 0 ? 1 : 0;
}

int ClassVFile::RenameFolder(const char16_t* newname, const char16_t* existing) {
  return Rename(newname, existing);
}

int ClassVFile::OpenFolder(const char16_t* path, const char16_t* /*pattern*/) {
  CloseFolder();
  char system[VFILE_SYSPATHMAX + 1];
  if (!SystemPath(system, path != nullptr ? path : u"")) {
    return 0;
  }
  directory = opendir(system);
  folderopen = directory != nullptr;
  return folderopen ? 1 : 0;
}

int ClassVFile::ReadFolder(char16_t* name) {
  char narrow[VFILE_NAMEMAX];
  if (!ReadFolder(narrow)) {
    return 0;
  }
  ClassVStd::StrCpy(name, narrow, VFILE_NAMEMAX);
  return 1;
}

int ClassVFile::ReadFolder(char* name) {
  if (!folderopen) {
    return 0;
  }
  const dirent* entry = readdir(directory);
  if (entry == nullptr) {
    CloseFolder();
    return 0;
  }
  ClassVStd::StrCpy(name, entry->d_name, VFILE_NAMEMAX);
  return 1;
}

void ClassVFile::CloseFolder() {
  if (directory != nullptr) {
    closedir(directory);
    directory = nullptr;
  }
  folderopen = false;
}

uint16_t ClassVFile::GetAttributes(const char16_t* path) {
  char system[VFILE_SYSPATHMAX + 1];
  struct stat status;
  if (!SystemPath(system, path) || stat(system, &status) != 0) {
    return 0;
  }
  return AttributesOf(status);
}

bool ClassVFile::IsFolder(const char16_t* path) {
  return (GetAttributes(path) & VFILE_ATTR_FOLDER) != 0;
}

bool ClassVFile::Exists(const char16_t* path) {
  return GetAttributes(path) != 0;
}

int ClassVFile::GetInformation(V_FILEINFO& info, const char16_t* path, bool localtime) {
  info = V_FILEINFO{};
  char system[VFILE_SYSPATHMAX + 1];
  struct stat status;
  if (!SystemPath(system, path) || stat(system, &status) != 0) {
    return 0;
  }
  info.attributes = AttributesOf(status);
  const CALENDAR created = CalendarOf(status.st_ctime, localtime);
  info.createdyear = created.year;
  info.createdmonth = created.month;
  info.createdday = created.day;
  info.createdhour = created.hour;
  info.createdminute = created.minute;
  info.createdsecond = created.second;
  const CALENDAR modified = CalendarOf(status.st_mtime, localtime);
  info.modifiedyear = modified.year;
  info.modifiedmonth = modified.month;
  info.modifiedday = modified.day;
  info.modifiedhour = modified.hour;
  info.modifiedminute = modified.minute;
  info.modifiedsecond = modified.second;
  return 1;
}

void ClassVFile::SetCurrentFolder(const char16_t* path) {
  if (path == nullptr) {
    return;
  }
  char16_t joined[JOIN_MAX];
  int32_t used = 0;
  if (!IsAbsolutePath(path)) {
    FillEmptyCurrentFolder();
    ClassVStd::StrCpy(joined, currentfolder, JOIN_MAX);
    used = ClassVStd::StrLen(joined, JOIN_MAX);
  }
  // Room for the path, a trailing '/' and the zero; a folder that cannot be
  // held is not taken at all rather than taken cut.
  const int32_t length = ClassVStd::StrLen(path);
  if (used + length + 2 > JOIN_MAX) {
    return;
  }
  ClassVStd::StrCpy(joined + used, path, length + 1);
  used += length;
  ForwardSlashes(joined);
  if (used == 0 || joined[used - 1] != u'/') {
    joined[used++] = u'/';
    joined[used] = u'\0';
  }
  NormaliseFolder(joined);
  if (ClassVStd::StrLen(joined, JOIN_MAX) >= VFILE_PATHMAX) {
    return;
  }
  ClassVStd::StrCpy(currentfolder, joined, VFILE_PATHMAX);
}

const char16_t* ClassVFile::GetCurrentFolder() {
  FillEmptyCurrentFolder();
  return currentfolder;
}

const char* ClassVFile::GetCurrentFolderC() {
  FillEmptyCurrentFolder();
  ClassVStd::StrCpy(currentfolderc, currentfolder, VFILE_PATHMAX);
  return currentfolderc;
}

void ClassVFile::GetFileName(char16_t* path) { KeepFileName(path); }
void ClassVFile::GetFileName(char* path) { KeepFileName(path); }
void ClassVFile::GetFolderName(char16_t* path) { KeepFolderName(path); }
void ClassVFile::GetFolderName(char* path) { KeepFolderName(path); }

// --- 8-bit forms: widened, then forwarded ----------------------------------------

int ClassVFile::Open(const char* path, int mode) {
  return WithWidePath(path, [&](const char16_t* wide) { return Open(wide, mode); });
}

int ClassVFile::New(const char* path) {
  return WithWidePath(path, [&](const char16_t* wide) { return New(wide); });
}

uint32_t ClassVFile::SizeC(const char* path) {
  return WithWidePath(path, [&](const char16_t* wide) { return Size(wide); });
}

int ClassVFile::Delete(const char* path) {
  return WithWidePath(path, [&](const char16_t* wide) { return Delete(wide); });
}

int ClassVFile::Rename(const char* newname, const char* existing) {
  return WithWidePath(newname, [&](const char16_t* widenew) {
    return WithWidePath(existing, [&](const char16_t* wideold) { return Rename(widenew, wideold); });
  });
}

int ClassVFile::NewFolder(const char* path) {
  return WithWidePath(path, [&](const char16_t* wide) { return NewFolder(wide); });
}

int ClassVFile::DeleteFolder(const char* path) {
  return WithWidePath(path, [&](const char16_t* wide) { return DeleteFolder(wide); });
}

int ClassVFile::RenameFolder(const char* newname, const char* existing) {
  return Rename(newname, existing);
}

int ClassVFile::OpenFolder(const char* path, const char* /*pattern*/) {
  return WithWidePath(path, [&](const char16_t* wide) { return OpenFolder(wide); });
}

uint16_t ClassVFile::GetAttributesC(const char* path) {
  return WithWidePath(path, [&](const char16_t* wide) { return GetAttributes(wide); });
}

bool ClassVFile::IsFolder(const char* path) {
  return WithWidePath(path, [&](const char16_t* wide) { return IsFolder(wide); });
}

bool ClassVFile::Exists(const char* path) {
  return WithWidePath(path, [&](const char16_t* wide) { return Exists(wide); });
}

int ClassVFile::GetInformationC(V_FILEINFO& info, const char* path, bool localtime) {
  return WithWidePath(path, [&](const char16_t* wide) { return GetInformation(info, wide, localtime); });
}

void ClassVFile::SetCurrentFolder(const char* path) {
  WithWidePath(path, [&](const char16_t* wide) {
    SetCurrentFolder(wide);
    return 0;
  });
}

int ClassVFile::PackNew(const char* path, const char* vendor) {
  const uint32_t tag = vendor != nullptr && vendor[0] != '\0' ? VFile_LongFCC(vendor) : 0;
  return WithWidePath(path, [&](const char16_t* wide) { return PackNewTag(wide, tag); });
}

int ClassVFile::PackAddFile(const char* path, bool replace, int method) {
  return WithWidePath(path, [&](const char16_t* wide) { return PackAddFile(wide, replace, method); });
}

int ClassVFile::PackExtractFile(const char* folder, int32_t index, bool overwrite) {
  return WithWidePath(folder, [&](const char16_t* wide) { return ExtractTo(wide, index, overwrite); });
}

int ClassVFile::PackExtractFile(const char* folder, const char* name, bool overwrite) {
  char stored[VPK_NAMESIZE];
  VFile_CheckStoreName(stored, name);
  return WithWidePath(folder, [&](const char16_t* wide) { return ExtractStored(wide, stored, overwrite); });
}

// --- private ------------------------------------------------------------------

void ClassVFile::ResolvePath(char16_t* out, const char16_t* path) {
  if (path == nullptr) {
    ClassVStd::StrCpy(out, filepath, VFILE_PATHMAX);
    return;
  }
  VFile_CheckFileName(out, path, currentfolder);
}

void ClassVFile::FillEmptyCurrentFolder() {
  if (currentfolder[0] == u'\0') {
    GetPath(currentfolder);
  }
}

int ClassVFile::OpenStream(const char16_t* path, const char* how) {
  char16_t resolved[VFILE_PATHMAX];
  ResolvePath(resolved, path);
  Close();
  char system[VFILE_SYSPATHMAX + 1];
  if (!NarrowSystemPath(system, resolved)) {
    return 0;
  }
  stream = std::fopen(system, how);
  if (stream == nullptr) {
    return 0;
  }
  ClassVStd::StrCpy(filepath, resolved, VFILE_PATHMAX);
  fileopen = true;
  readonly = how[0] == 'r' && how[1] != '+';
  return 1;
}

void ClassVFile::TurnStream(Access next) {
  if (lastaccess != Access::None && lastaccess != next) {
    std::fseek(stream, 0, SEEK_CUR);
  }
  lastaccess = next;
}

uint32_t ClassVFile::StreamSize() {
  const long position = std::ftell(stream);
  if (position < 0 || std::fseek(stream, 0, SEEK_END) != 0) {
    return 0;
  }
  const long end = std::ftell(stream);
  std::fseek(stream, position, SEEK_SET);
  lastaccess = Access::None;
  return end < 0 ? 0 : static_cast<uint32_t>(end);
}

bool ClassVFile::SystemPath(char* out, const char16_t* path) {
  if (path == nullptr && !fileopen) {
    return false;
  }
  char16_t resolved[VFILE_PATHMAX];
  ResolvePath(resolved, path);
  return NarrowSystemPath(out, resolved);
}
