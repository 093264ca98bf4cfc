// vmod_ini.h - INI files: key and value lines read from a file or a memory
// block through a fixed parse buffer, and written to a new file.
//
// Line format as written: key = "text" or key = number, comments "# text",
// every line ended by CR LF. On reading, "#" or ";" outside quotes starts a
// comment, the first "=" ends the key, and a CR or LF always ends the line.
// Depends on: vmod_file (the file), vmod_std (trim, compare, numbers),
// vmod_memory (the parse buffer). Tunable: the parse buffer, 4096 bytes.
#pragma once

#include <cstdint>

#include "resources/vmod_file.h"

constexpr int32_t VINI_TEXTMAX = 256;             // bytes of every key and value buffer, zero included
constexpr uint32_t VINI_PARSEBUFFER_SIZE = 4096;  // parse buffer set by Open and OpenData

class ClassVIni {
 public:
  ClassVIni();
  ~ClassVIni();

  int Open(const char16_t* name, int mode = VFILE_MODE_READ); // the file's open result; 0 without a parse buffer
  int Open(const char* name, int mode = VFILE_MODE_READ);
  int OpenData(const void* data, uint32_t length);            // read-only memory source; 0 for length 0
  int New(const char16_t* name);                              // new file for writing
  int New(const char* name);
  bool SetParseBufferSize(uint32_t size);                     // new buffer, rewound; false (and no buffer) for 0 or no memory
  void ResetCursor();                                         // reading starts again at the source's start
  bool ReadLine(char* key, char* value);                      // next line with a key; buffers of VINI_TEXTMAX bytes
  bool FindKey(const char* key, char* value, bool caseSensitive = true);   // reads on to key; value out (VINI_TEXTMAX)
  bool FindValue(char* key, const char* value, bool caseSensitive = true); // reads on to value; key out (VINI_TEXTMAX)
  bool WriteLine(const char* key, const char* text);          // key = "text" CR LF
  bool WriteLine(const char* key, int32_t number);            // key = number CR LF
  bool WriteComment(const char* text);                        // # text CR LF
  bool WriteNewline();                                        // CR LF
  void Close();                                               // frees the parse buffer, closes the file

 private:
  int StartReading(int opened);                               // source and parse buffer of a just-opened file
  int StartWriting(int opened);                               // write offset of a just-created file
  bool NextByte(uint8_t& byte);                               // from the parse buffer, refilled as used up
  bool FillParseBuffer();
  bool ParseLine(char* key, char* value);                     // false when the source is already used up
  bool CanWrite() const;
  bool WriteBytes(const char* bytes, uint32_t length);        // at the write offset
  bool WriteText(const char* text);
  bool StartLine();                                           // CR LF first unless the line before ended
  void FreeParseBuffer();

  ClassVFile file;
  const uint8_t* memory = nullptr;      // memory source
  uint8_t* parsebuffer = nullptr;       // owned, from ClassVMemory::Alloc
  uint32_t parseposition = 0;           // next byte inside the parse buffer
  uint32_t sourcelength = 0;            // bytes in the source
  uint32_t consumed = 0;                // source bytes read so far; when writing, the file offset
  uint32_t buffersize = 0;              // bytes of the parse buffer
  bool open = false;
  bool frommemory = false;
};
