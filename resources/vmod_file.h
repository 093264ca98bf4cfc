// vmod_file.h - the framework's file object: one stdio stream, resolved
// against a current folder, with plain byte I/O.
//
// Depends on: vmod_std (narrowing of wide paths), GetPath (program folder).
// The package half of the class (VPK2/VPCK) builds on these operations.
#pragma once

#include <cstdint>
#include <cstdio>

#include <dirent.h>

constexpr int VFILE_PATHMAX = 512;   // wide characters of a kept path
constexpr int VFILE_SYSPATHMAX = 255; // characters handed to the system

// Open modes.
constexpr int VFILE_MODE_READWRITE = 0; // "r+b" (3 is the same)
constexpr int VFILE_MODE_READ = 1;      // "rb"
constexpr int VFILE_MODE_WRITE = 2;     // "wb"

// Package header as kept in memory (28 bytes on disk).
struct VPK_HEADER {
  uint8_t magic[4];
  uint8_t vendor[4];
  uint32_t headersize;
  uint8_t version;
  uint8_t reserved0[3];
  uint32_t entries;
  uint32_t checksum;
  uint16_t reserved1;
  uint16_t reserved2;
};
static_assert(sizeof(VPK_HEADER) == 28, "package header is 28 bytes");

// Resolves path against currentfolder (the program's folder when empty) into
// out (VFILE_PATHMAX wide characters): absolute paths stay, '\' becomes '/'.
// No path gives the empty text; the file object supplies its open file's path.
void VFile_CheckFileName(char16_t* out, const char16_t* path, const char16_t* currentfolder);

class ClassVFile {
 public:
  ClassVFile();
  ~ClassVFile();

  int Open(const char16_t* path, int mode);           // 1 when the file opened
  int Open(const char* path, int mode);
  int New(const char16_t* path);                      // create or truncate, "w+b"
  int New(const char* path);
  void Close();                                       // closes, then sync
  int Read(void* buffer, uint32_t length);            // 1 if the whole block moved
  int Write(const void* buffer, uint32_t length);     // 1 if the whole block moved
  int Seek(uint32_t offset);                          // absolute position
  uint32_t Tell();                                    // 0 without a stream
  uint32_t Size(const char16_t* path = nullptr);      // open stream when no path
  uint32_t SizeC(const char* path = nullptr);
  bool IsOpen() const { return fileopen; }

  void SetCurrentFolder(const char16_t* path);        // normalises "./" and "../"
  void SetCurrentFolder(const char* path);
  const char16_t* GetCurrentFolder();
  const char* GetCurrentFolderC();

 private:
  enum class Access : uint8_t { None, Read, Write };

  void ResolvePath(char16_t* out, const char16_t* path);
  void FillEmptyCurrentFolder();
  int OpenStream(const char16_t* path, const char* how); // resolves, closes, opens
  void TurnStream(Access next);                         // stdio needs a seek between reads and writes
  uint32_t StreamSize();                                 // size of the open stream, position kept

  FILE* stream = nullptr;
  DIR* directory = nullptr;
  VPK_HEADER packheader{};
  char16_t filepath[VFILE_PATHMAX] = {};
  char16_t currentfolder[VFILE_PATHMAX] = {};
  char currentfolderc[VFILE_PATHMAX] = {};
  uint8_t* nameindex = nullptr;
  bool fileopen = false;
  bool folderopen = false;
  bool packvalid = false;
  Access lastaccess = Access::None;
};
