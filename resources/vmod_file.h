// vmod_file.h - the framework's file object: one stdio stream and one folder
// listing, resolved against a current folder, with plain byte I/O, file and
// folder management, and the package format (VPK2, read and written; the old
// VPCK layout, read and converted).
//
// Depends on: vmod_std (narrowing, MD5, dates), vmod_memory (blocks and the
// two compressors), vmod_device (clock), GetPath (program folder), platform
// (sync on close). The plain half lives in vmod_file.cpp, the package half in
// vmod_file_pack.cpp.
#pragma once

#include <cstdint>
#include <cstdio>

#include <dirent.h>

constexpr int VFILE_PATHMAX = 512;    // wide characters of a kept path
constexpr int VFILE_SYSPATHMAX = 255; // characters handed to the system
constexpr int VFILE_NAMEMAX = 256;    // characters of a ReadFolder name, zero included

// Open modes.
constexpr int VFILE_MODE_READWRITE = 0; // "r+b" (3 is the same)
constexpr int VFILE_MODE_READ = 1;      // "rb"
constexpr int VFILE_MODE_WRITE = 2;     // "wb"

// Attributes of GetAttributes; 0 means the entry does not exist.
constexpr uint16_t VFILE_ATTR_FILE = 0x01;     // a file its owner may write
constexpr uint16_t VFILE_ATTR_READONLY = 0x03; // anything its owner may not write
constexpr uint16_t VFILE_ATTR_FOLDER = 0x20;   // folder bit (0x21: a writable folder)

// Package format.
constexpr uint32_t VPK_HEADERSIZE = 28;      // header bytes every writer writes
constexpr uint32_t VPK_RECORDSIZE = 92;      // entry record bytes every writer writes
constexpr uint32_t VPK_NAMESIZE = 64;        // stored name bytes, zero included
constexpr uint32_t VPK_MAXENTRIES = 32768;   // entries a package may hold
constexpr uint32_t VPK_MOVEBUFFER = 32768;   // bytes moved at a time inside a package
constexpr uint8_t VPK_VERSION = 200;         // "VPK2"
constexpr uint8_t VPK_VERSION_OLD = 100;     // "VPCK", read in place, converted before changes

// Storage methods of an entry.
constexpr int VPK_METHOD_RAW = 0;  // stored as is
constexpr int VPK_METHOD_LZW = 1;  // ClassVMemory::Compress
constexpr int VPK_METHOD_ZLIB = 2; // ClassVMemory::CompressZLib

// Result codes of the package operations.
constexpr int VPK_OK = 0;
constexpr int VPK_ERR_IO = 1;         // open, seek, read, write, truncate, conversion
constexpr int VPK_ERR_MEMORY = 2;     // out of memory
constexpr int VPK_ERR_NOPACKAGE = 5;  // no valid package is open
constexpr int VPK_ERR_FULL = 6;       // the package holds VPK_MAXENTRIES entries
constexpr int VPK_ERR_NOENTRY = 7;    // index out of range, name not found, record unreadable
constexpr int VPK_ERR_CORRUPT = 8;    // data cannot be unpacked, or unknown method
constexpr int VPK_ERR_EXISTS = 9;     // the target exists and may not be replaced

// Package header as kept in memory (28 bytes on disk, little-endian).
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

// Entry record, the same fields as on disk (92 bytes, little-endian there).
struct VPK_FILEINFO {
  uint32_t recordsize;      // 92 as written; the reader accepts 4..92
  char name[VPK_NAMESIZE];  // stored name, zero-terminated, zero-filled
  uint32_t dataposition;    // 0 on disk; record position + record size once read
  uint32_t unpackedsize;    // bytes after decompression
  uint32_t packedsize;      // bytes stored after the record
  uint8_t method;           // VPK_METHOD_*
  uint8_t reserved0;
  uint16_t reserved1;
  uint32_t modifiedtime;    // source file's modification, seconds since 1970 UTC (0 unknown)
  uint32_t addedtime;       // when the entry was added, seconds since 1970 UTC
};
static_assert(sizeof(VPK_FILEINFO) == 92, "entry record is 92 bytes");

// Result of GetInformation.
struct V_FILEINFO {
  uint16_t attributes;      // as GetAttributes
  uint32_t createdyear;     // of the status-change time
  uint8_t createdmonth;     // 1..12
  uint8_t createdday;       // 1..31
  uint8_t createdhour;
  uint8_t createdminute;
  uint8_t createdsecond;
  uint32_t modifiedyear;    // of the last modification
  uint8_t modifiedmonth;
  uint8_t modifiedday;
  uint8_t modifiedhour;
  uint8_t modifiedminute;
  uint8_t modifiedsecond;
};

// Resolves path against currentfolder (the program's folder when empty) into
// out (VFILE_PATHMAX wide characters): absolute paths stay, '\' becomes '/'.
// No path gives the empty text; the file object supplies its open file's path.
void VFile_CheckFileName(char16_t* out, const char16_t* path, const char16_t* currentfolder);

void VFile_CheckStoreName(char* out, const char* path);     // out (VPK_NAMESIZE): the name a path is stored under
void VFile_CheckStoreName(char* out, const char16_t* path); // the same from a wide path (low 8 bits kept)
uint32_t VFile_QuickChecksum(const void* data, uint32_t length); // MD5 hex digits 5..8 as a number + 692792
uint32_t VFile_LongFCC(const char* text);                  // four characters, little-endian; zeros after a short text's end
uint32_t VFile_LongFCC(const char16_t* text);              // the same from the low bytes of wide characters
void VFile_CharFCC(char* buffer, uint32_t value);          // four characters and a zero (buffer holds 5)
void VFile_CharFCC(char16_t* buffer, uint32_t value);      // the same, wide

class ClassVFile {
 public:
  ClassVFile();
  ~ClassVFile();
  ClassVFile(const ClassVFile&) = delete;
  ClassVFile& operator=(const ClassVFile&) = delete;

  // Plain files.
  int Open(const char16_t* path, int mode);           // 1 when the file opened; examines the package header
  int Open(const char* path, int mode);
  int New(const char16_t* path);                      // create or truncate, "w+b"
  int New(const char* path);
  void Close();                                       // flush, fsync if written, close, then sync
  int Read(void* buffer, uint32_t length);            // 1 if the whole block moved; 0 bytes give 0
  int Write(const void* buffer, uint32_t length);     // 1 if the whole block moved; 0 bytes give 0
  int Seek(uint32_t offset);                          // absolute position
  uint32_t Tell();                                    // 0 without a stream
  uint32_t Size(const char16_t* path = nullptr);      // open stream when no path
  uint32_t SizeC(const char* path = nullptr);
  int SetSize(uint32_t size);                         // truncate the open file, reopened "r+b"
  int MoveData(uint32_t destination, uint32_t source, uint32_t length, uint32_t buffersize); // overlap-safe move inside the open file
  bool IsOpen() const { return fileopen; }

  // Files and folders by name.
  int Delete(const char16_t* path);                   // remove a file
  int Delete(const char* path);
  int Rename(const char16_t* newname, const char16_t* existing); // existing gets newname
  int Rename(const char* newname, const char* existing);
  int NewFolder(const char16_t* path);                // bits 0700
  int NewFolder(const char* path);
  int DeleteFolder(const char16_t* path);             // an empty folder
  int DeleteFolder(const char* path);
  int RenameFolder(const char16_t* newname, const char16_t* existing);
  int RenameFolder(const char* newname, const char* existing);
  int OpenFolder(const char16_t* path, const char16_t* pattern = u"*.*"); // pattern accepted, not applied
  int OpenFolder(const char* path, const char* pattern = "*.*");
  int ReadFolder(char16_t* name);                     // next entry (VFILE_NAMEMAX); 0 and closed at the end
  int ReadFolder(char* name);
  void CloseFolder();

  // Attributes and information; no path means the open file.
  uint16_t GetAttributes(const char16_t* path = nullptr); // VFILE_ATTR_*, 0 if missing
  uint16_t GetAttributesC(const char* path = nullptr);
  bool IsFolder(const char16_t* path = nullptr);      // folder bit
  bool IsFolder(const char* path);
  bool Exists(const char16_t* path = nullptr);        // attributes not 0
  bool Exists(const char* path);
  int GetInformation(V_FILEINFO& info, const char16_t* path = nullptr, bool localtime = false); // 1 when examined
  int GetInformationC(V_FILEINFO& info, const char* path = nullptr, bool localtime = false);

  // Current folder and path texts.
  void SetCurrentFolder(const char16_t* path);        // normalises "./" and "../"
  void SetCurrentFolder(const char* path);
  const char16_t* GetCurrentFolder();
  const char* GetCurrentFolderC();
  static void GetFileName(char16_t* path);            // in place: the part after the last separator
  static void GetFileName(char* path);
  static void GetFolderName(char16_t* path);          // in place: up to the last separator, '\' to '/'
  static void GetFolderName(char* path);

  // Packages: reading.
  bool PackValid() const;                             // a file is open with a valid package header
  uint32_t PackContainFiles() const;                  // entry count, 0 without a package
  int PackGetVendor(char* out) const;                 // four characters and a zero; 0 without a package
  int PackGetVendor(char16_t* out) const;
  uint8_t* PackBuildIndex();                          // entry count x 64 names; the caller frees it (DeAlloc)
  void PackUseIndex(uint8_t* block);                  // install a name index (null: none)
  int PackSearchFile(const char* name, int32_t& index);     // 1 and the index of the first match, else 0
  int PackSearchFile(const char16_t* name, int32_t& index);
  int PackGetFileInfo(VPK_FILEINFO& info, int32_t index, bool localtime); // 1 when the record was read
  int PackGetFileInfo(VPK_FILEINFO& info, const char* name, bool localtime);
  int PackGetFileInfo(VPK_FILEINFO& info, const char16_t* name, bool localtime);
  int PackGetFileData(uint8_t*& data, uint32_t& size, int32_t index); // VPK_*; data freed with DeAlloc
  int PackGetFileData(uint8_t*& data, uint32_t& size, const char* name);
  int PackGetFileData(uint8_t*& data, uint32_t& size, const char16_t* name);

  // Packages: writing.
  int PackNew(const char16_t* path, const char16_t* vendor = nullptr); // VPK_*; default tag without vendor
  int PackNew(const char* path, const char* vendor = nullptr);
  int PackAddFile(const char16_t* path, bool replace, int method);      // VPK_*; under the file's stored name
  int PackAddFile(const char* path, bool replace, int method);
  int PackAddFileData(const char* name, const void* data, uint32_t length, bool replace, int method, uint32_t modified); // VPK_*
  int PackAddFileData(const char16_t* name, const void* data, uint32_t length, bool replace, int method, uint32_t modified);
  int PackDeleteFile(int32_t index);                  // VPK_*; later entries move down one index
  int PackDeleteFile(const char* name);
  int PackDeleteFile(const char16_t* name);
  int PackChangeVendor(const char* vendor);           // 1 on success
  int PackChangeVendor(const char16_t* vendor);
  int PackExtractFile(const char16_t* folder, int32_t index, bool overwrite); // VPK_*; folder/stored name
  int PackExtractFile(const char* folder, int32_t index, bool overwrite);
  int PackExtractFile(const char16_t* folder, const char16_t* name, bool overwrite);
  int PackExtractFile(const char* folder, const char* name, bool overwrite);
  int ConvertPackFile();                              // old layout to VPK2 in place; 1 on success

 private:
  enum class Access : uint8_t { None, Read, Write };
  struct PackTable;

  void ResolvePath(char16_t* out, const char16_t* path);
  void FillEmptyCurrentFolder();
  int OpenStream(const char16_t* path, const char* how); // resolves, closes, opens
  void TurnStream(Access next);                         // stdio needs a seek between reads and writes
  uint32_t StreamSize();                                 // size of the open stream, position kept
  bool SystemPath(char* out, const char16_t* path);     // resolved and narrowed; false when too long

  // Package half (vmod_file_pack.cpp).
  void ExaminePackage();                                 // after Open: recognise the header
  bool EntryCountFits();                                 // the file can hold the header's entry count
  bool ReadRecord(uint32_t index, VPK_FILEINFO& info);   // false when unreadable
  bool ReadRecord(uint32_t index, VPK_FILEINFO& info, uint32_t size); // size: of the file, known to the caller
  bool ReadCurrentRecord(uint32_t index, VPK_FILEINFO& info, uint32_t size);
  bool ReadOldRecord(uint32_t index, VPK_FILEINFO& info, uint32_t size);
  int32_t SearchStored(const char* stored);              // reader's search: installed index or records
  int SearchRecords(const char* stored, int32_t& index); // writers' search; VPK_OK or VPK_ERR_IO
  int LoadEntryData(const VPK_FILEINFO& info, uint8_t*& data, uint32_t& size);
  int InfoByStored(VPK_FILEINFO& info, const char* stored, bool localtime);
  int DataByStored(uint8_t*& data, uint32_t& size, const char* stored);
  int PackNewTag(const char16_t* path, uint32_t vendor);
  int AddStored(const char* stored, const void* data, uint32_t length, bool replace, int method, uint32_t modified);
  int DeleteStored(const char* stored);
  int ChangeVendorTag(uint32_t vendor);
  int ExtractTo(const char16_t* folder, int32_t index, bool overwrite);
  int ExtractStored(const char16_t* folder, const char* stored, bool overwrite);
  int PrepareWrite();                                    // valid, converted, index forgotten
  int LoadTable(PackTable& table, uint32_t spare);       // positions plus the end of the data area
  int NormaliseHeaderSize(PackTable& table);             // header size 28, positions moved along
  int CommitTable(const PackTable& table, uint32_t count); // table, header and file size
  int WriteBlock(uint32_t position, const VPK_FILEINFO& record, const uint8_t* data);
  bool WriteConverted(ClassVFile& target);               // the old layout as VPK2 into target
  bool CopyOut(ClassVFile& target, uint32_t position, uint32_t length, uint8_t* buffer);

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
  bool written = false;                 // the stream was written since it opened
  bool readonly = false;                // opened "rb"; a reopen keeps that
  Access lastaccess = Access::None;
};
