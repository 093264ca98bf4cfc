// Fuzz target of the INI reader: the input is read from memory through a
// small parse buffer (1 to 13 bytes, chosen by the input's length, so refills
// fall everywhere), then looked up by key and by value.
#include <cstddef>
#include <cstdint>

#include "util/vmod_ini.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > UINT32_MAX) {
    return 0;
  }
  ClassVIni ini;
  if (!ini.OpenData(data, static_cast<uint32_t>(size))) {
    return 0;
  }
  if (!ini.SetParseBufferSize(1u + static_cast<uint32_t>(size % 13))) {
    return 0;
  }
  char key[VINI_TEXTMAX];
  char value[VINI_TEXTMAX];
  while (ini.ReadLine(key, value)) {
    // every line to the end of the source
  }
  ini.ResetCursor();
  ini.FindKey("key", value, false);
  ini.ResetCursor();
  ini.FindValue(key, "value", true);
  return 0;
}
