// vmod_ini.cpp - INI files: reading key and value lines through a parse
// buffer, writing key lines, comments and empty lines.
//
// Depends on: vmod_file, vmod_std, vmod_memory.
#include "util/vmod_ini.h"

#include <cstdint>
#include <cstring>

#include "util/vmod_memory.h"
#include "util/vmod_std.h"

namespace {

constexpr uint8_t CR = '\r';
constexpr uint8_t LF = '\n';
constexpr uint8_t QUOTE = '"';

// Room for the decimal text of any 32-bit number, sign and zero included.
constexpr int32_t NUMBER_TEXT = 16;

// Appends one byte to a key or value being read; beyond the buffer's room the
// byte is dropped, so an over-long key or value is cut. The zero follows
// every byte, so text written over from its start ends where the new text does.
void AppendByte(char* text, int32_t& length, uint8_t byte) {
  if (length >= VINI_TEXTMAX - 1) {
    return;
  }
  text[length++] = static_cast<char>(byte);
  text[length] = '\0';
}

// Trims a read key or value and removes the quotes around it. A lone quote
// both starts and ends the text, so it takes two characters to have a pair.
void FinishText(char* text) {
  ClassVStd::StrTrim(text);
  const int32_t length = ClassVStd::StrLen(text, VINI_TEXTMAX);
  if (length >= 2 && text[0] == QUOTE && text[length - 1] == QUOTE) {
    std::memmove(text, text + 1, static_cast<size_t>(length - 2));
    text[length - 2] = '\0';
  }
}

const char* OrEmpty(const char* text) {
  return text == nullptr ? "" : text;
}

}  // namespace

ClassVIni::ClassVIni() = default;

ClassVIni::~ClassVIni() {
  Close();
}

int ClassVIni::Open(const char16_t* name, int mode) {
  Close();
  return StartReading(file.Open(name, mode));
}

int ClassVIni::Open(const char* name, int mode) {
  Close();
  return StartReading(file.Open(name, mode));
}

int ClassVIni::OpenData(const void* data, uint32_t length) {
  Close();
  if (data == nullptr || length == 0) {
    return 0;
  }
  memory = static_cast<const uint8_t*>(data);
  sourcelength = length;
  frommemory = true;
  open = true;
  if (!SetParseBufferSize(VINI_PARSEBUFFER_SIZE)) {
    Close();
    return 0;
  }
  return 1;
}

int ClassVIni::New(const char16_t* name) {
  Close();
  return StartWriting(file.New(name));
}

int ClassVIni::New(const char* name) {
  Close();
  return StartWriting(file.New(name));
}

bool ClassVIni::SetParseBufferSize(uint32_t size) {
  if (!open) {
    return false;
  }
  // The old buffer goes whatever happens: a failed call leaves no buffer, and
  // reading then reports the end instead of running on a stale one.
  FreeParseBuffer();
  if (size == 0) {
    return false;
  }
  parsebuffer = static_cast<uint8_t*>(ClassVMemory::Alloc(size));
  if (parsebuffer == nullptr) {
    return false;
  }
  buffersize = size;
  ResetCursor();
  return true;
}

void ClassVIni::ResetCursor() {
  consumed = 0;
  parseposition = buffersize;
}

bool ClassVIni::ReadLine(char* key, char* value) {
  if (key == nullptr || value == nullptr) {
    return false;
  }
  key[0] = '\0';
  value[0] = '\0';
  if (!open || parsebuffer == nullptr) {
    return false;
  }
  while (ParseLine(key, value)) {
    FinishText(key);
    FinishText(value);
    // Blank and comment-only lines have no key and are passed over.
    if (key[0] != '\0') {
      return true;
    }
  }
  return false;
}

bool ClassVIni::FindKey(const char* key, char* value, bool caseSensitive) {
  if (key == nullptr || value == nullptr) {
    return false;
  }
  char linekey[VINI_TEXTMAX];
  char linevalue[VINI_TEXTMAX];
  while (ReadLine(linekey, linevalue)) {
    if (ClassVStd::StrEqual(linekey, key, caseSensitive)) {
      ClassVStd::StrCpy(value, linevalue, VINI_TEXTMAX);
      return true;
    }
  }
  return false;
}

bool ClassVIni::FindValue(char* key, const char* value, bool caseSensitive) {
  if (key == nullptr || value == nullptr) {
    return false;
  }
  char linekey[VINI_TEXTMAX];
  char linevalue[VINI_TEXTMAX];
  while (ReadLine(linekey, linevalue)) {
    if (ClassVStd::StrEqual(linevalue, value, caseSensitive)) {
      ClassVStd::StrCpy(key, linekey, VINI_TEXTMAX);
      return true;
    }
  }
  return false;
}

bool ClassVIni::WriteLine(const char* key, const char* text) {
  return CanWrite() && StartLine() && WriteText(OrEmpty(key)) && WriteBytes(" = \"", 4) &&
         WriteText(OrEmpty(text)) && WriteBytes("\"\r\n", 3);
}

bool ClassVIni::WriteLine(const char* key, int32_t number) {
  char digits[NUMBER_TEXT];
  ClassVStd::IntToStr(digits, number);
  return CanWrite() && StartLine() && WriteText(OrEmpty(key)) && WriteBytes(" = ", 3) &&
         WriteText(digits) && WriteBytes("\r\n", 2);
}

bool ClassVIni::WriteComment(const char* text) {
  return CanWrite() && StartLine() && WriteBytes("# ", 2) && WriteText(OrEmpty(text)) &&
         WriteBytes("\r\n", 2);
}

bool ClassVIni::WriteNewline() {
  return CanWrite() && WriteBytes("\r\n", 2);
}

void ClassVIni::Close() {
  FreeParseBuffer();
  file.Close();
  memory = nullptr;
  sourcelength = 0;
  consumed = 0;
  open = false;
  frommemory = false;
}

int ClassVIni::StartReading(int opened) {
  if (opened == 0) {
    return 0;
  }
  sourcelength = file.Size();
  open = true;
  if (!SetParseBufferSize(VINI_PARSEBUFFER_SIZE)) {
    Close();
    return 0;
  }
  return opened;
}

int ClassVIni::StartWriting(int opened) {
  if (opened == 0) {
    return 0;
  }
  open = true;
  return opened;
}

bool ClassVIni::NextByte(uint8_t& byte) {
  if (consumed >= sourcelength) {
    return false;
  }
  if (parseposition >= buffersize && !FillParseBuffer()) {
    return false;
  }
  byte = parsebuffer[parseposition++];
  consumed++;
  return true;
}

bool ClassVIni::FillParseBuffer() {
  const uint32_t remaining = sourcelength - consumed;
  const uint32_t count = remaining < buffersize ? remaining : buffersize;
  if (frommemory) {
    std::memcpy(parsebuffer, memory + consumed, count);
  } else if (!file.Seek(consumed) || !file.Read(parsebuffer, count)) {
    // The file ended early (cut while open): what was read is the source.
    sourcelength = consumed;
    return false;
  }
  parseposition = 0;
  return true;
}

bool ClassVIni::ParseLine(char* key, char* value) {
  key[0] = '\0';
  value[0] = '\0';
  uint8_t byte;
  if (!NextByte(byte)) {
    return false;
  }
  int32_t keylength = 0;
  int32_t valuelength = 0;
  bool inquotes = false;
  bool incomment = false;
  bool invalue = false;
  // Every line starts outside quotes and comments, and CR or LF ends it
  // wherever it stands: an open quote or comment never swallows the next line.
  do {
    if (byte == CR || byte == LF) {
      break;
    }
    if (incomment) {
      continue;
    }
    if (!inquotes && (byte == '#' || byte == ';')) {
      incomment = true;
      continue;
    }
    if (byte == QUOTE) {
      inquotes = !inquotes;
    } else if (!inquotes && byte == '=') {
      // The first "=" ends the key; a later one starts the value over.
      if (invalue) {
        valuelength = 0;
      }
      invalue = true;
      continue;
    }
    if (invalue) {
      AppendByte(value, valuelength, byte);
    } else {
      AppendByte(key, keylength, byte);
    }
  } while (NextByte(byte));
  return true;
}

bool ClassVIni::CanWrite() const {
  return open && !frommemory && file.IsOpen();
}

bool ClassVIni::WriteBytes(const char* bytes, uint32_t length) {
  if (length == 0) {
    return true;
  }
  if (!file.Seek(consumed) || !file.Write(bytes, length)) {
    return false;
  }
  consumed += length;
  if (consumed > sourcelength) {
    sourcelength = consumed;
  }
  // What the parse buffer held may just have been overwritten.
  parseposition = buffersize;
  return true;
}

bool ClassVIni::WriteText(const char* text) {
  return WriteBytes(text, static_cast<uint32_t>(ClassVStd::StrLen(text)));
}

bool ClassVIni::StartLine() {
  if (consumed < 2) {
    return true;
  }
  uint8_t before[2];
  // A stream that cannot be read back (opened write-only) is taken to be at a
  // line start; inserting there would double every line end.
  if (!file.Seek(consumed - 2) || !file.Read(before, 2)) {
    return true;
  }
  if (before[0] == LF || before[1] == LF) {
    return true;
  }
  return WriteBytes("\r\n", 2);
}

void ClassVIni::FreeParseBuffer() {
  if (parsebuffer != nullptr) {
    ClassVMemory::DeAlloc(parsebuffer);
  }
  parsebuffer = nullptr;
  buffersize = 0;
  parseposition = 0;
}
