// vmod_file.cpp - the framework's file object: plain byte I/O on one stdio
// stream, with relative paths resolved against a current folder.
//
// Depends on: vmod_std (widening and narrowing), vmod_memory (the heap block
// of a long 8-bit path), GetPath (program folder), platform (sync on close).
#include "resources/vmod_file.h"

#include <cstdint>
#include <cstdio>

#include <dirent.h>
#include <sys/stat.h>

#include "framework/vexa.h"
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
  if (directory != nullptr) {
    closedir(directory);
    directory = nullptr;
  }
  folderopen = false;
}

int ClassVFile::Open(const char16_t* path, int mode) {
  switch (mode) {
    case VFILE_MODE_READWRITE:
    case 3:
      return OpenStream(path, "r+b");
    case VFILE_MODE_READ:
      return OpenStream(path, "rb");
    case VFILE_MODE_WRITE:
      return OpenStream(path, "wb");
    default:
      Close();
      return 0;
  }
}

int ClassVFile::Open(const char* path, int mode) {
  return WithWidePath(path, [&](const char16_t* wide) { return Open(wide, mode); });
}

int ClassVFile::New(const char16_t* path) {
  return OpenStream(path, "w+b");
}

int ClassVFile::New(const char* path) {
  return WithWidePath(path, [&](const char16_t* wide) { return New(wide); });
}

void ClassVFile::Close() {
  if (stream != nullptr) {
    std::fclose(stream);
    stream = nullptr;
    // The handheld may be switched off at any time; get the data onto the card.
    Platform_Sync();
  }
  fileopen = false;
  packvalid = false;
  packheader = VPK_HEADER{};
  nameindex = nullptr;
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

uint32_t ClassVFile::SizeC(const char* path) {
  return WithWidePath(path, [&](const char16_t* wide) { return Size(wide); });
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

void ClassVFile::SetCurrentFolder(const char* path) {
  WithWidePath(path, [&](const char16_t* wide) {
    SetCurrentFolder(wide);
    return 0;
  });
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
