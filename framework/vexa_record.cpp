// vexa_record.cpp - input recording and playback of the framework object:
// frame times and button changes into a growing memory buffer, and such a
// buffer played back in place of the live frame step. The format is in
// vexa.h. A buffer from a file is checked against its own size before and
// record by record during playback; a bad one stops the playback.
//
// Depends on: util/vmod_memory.h (blocks), util/vmod_math.h (the seed),
// framework/vmod_console.h (the end notice).
#include <cstring>

#include "framework/vexa.h"

namespace {

constexpr uint32_t RECORD_GROWTH = 4096;   // bytes the buffer grows by
constexpr uint8_t RECORD_MAXPAYLOAD = 8;   // two words

void PutWord(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; i++) at[i] = uint8_t(value >> (8 * i));
}

uint32_t GetWord(const uint8_t* at) {
  return uint32_t(at[0]) | (uint32_t(at[1]) << 8) | (uint32_t(at[2]) << 16) | (uint32_t(at[3]) << 24);
}

int32_t GetSigned(const uint8_t* at) {
  const uint32_t word = GetWord(at);
  int32_t value;
  std::memcpy(&value, &word, sizeof value);
  return value;
}

// The payload length each record type must have.
uint8_t PayloadLength(uint8_t type) {
  switch (type) {
    case VEXA_RECORD_FRAME:
    case VEXA_RECORD_BUTTONDOWN:
    case VEXA_RECORD_BUTTONUP:
    case VEXA_RECORD_WHEEL: return 4;
    case VEXA_RECORD_STYLUSUP:
    case VEXA_RECORD_STYLUSDOWN:
    case VEXA_RECORD_STYLUSDOUBLE:
    case VEXA_RECORD_STYLUSMOVE:
    case VEXA_RECORD_TILT: return 8;
    default: return 0;
  }
}

}  // namespace

bool ClassVexa::StartRecording() {
  FreeRecordings();
  recordbuffer = static_cast<uint8_t*>(ClassVMemory::Alloc(RECORD_GROWTH));
  if (!recordbuffer) return false;
  recordcapacity = RECORD_GROWTH;
  PutWord(recordbuffer, VEXA_RECORD_HEADERSIZE);
  PutWord(recordbuffer + 4, recordcapacity);
  PutWord(recordbuffer + 8, VEXA_RECORD_HEADERSIZE);
  PutWord(recordbuffer + 12, math.GetRandSeed());
  recording = true;
  return true;
}

void ClassVexa::StopRecording() { recording = false; }

const uint8_t* ClassVexa::GetRecording(uint32_t& size) const {
  size = recordbuffer ? GetWord(recordbuffer + 8) : 0;
  return recordbuffer;
}

void ClassVexa::AppendRecord(uint8_t type, const uint32_t* words, uint8_t count) {
  const uint32_t position = GetWord(recordbuffer + 8);
  const uint32_t needed = position + 2u + 4u * count;
  if (needed > recordcapacity) {
    // Grow; when memory runs out the recording ends where it stands.
    uint8_t* larger = static_cast<uint8_t*>(ClassVMemory::Alloc(recordcapacity + RECORD_GROWTH));
    if (!larger) {
      recording = false;
      return;
    }
    std::memcpy(larger, recordbuffer, position);
    ClassVMemory::DeAlloc(recordbuffer);
    recordbuffer = larger;
    recordcapacity += RECORD_GROWTH;
  }
  uint8_t* at = recordbuffer + position;
  at[0] = type;
  at[1] = uint8_t(4u * count);
  for (uint8_t i = 0; i < count; i++) PutWord(at + 2 + 4 * i, words[i]);
  PutWord(recordbuffer + 8, needed);
  // The stored buffer size is what a reader may trust: the bytes written.
  PutWord(recordbuffer + 4, needed);
}

bool ClassVexa::StartPlayback(const void* buffer, uint32_t size) {
  StopPlayback();
  const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
  if (!bytes || size < VEXA_RECORD_HEADERSIZE) return false;
  const uint32_t headersize = GetWord(bytes), buffersize = GetWord(bytes + 4), end = GetWord(bytes + 8);
  if (headersize != VEXA_RECORD_HEADERSIZE || buffersize > size || end < headersize || end > buffersize) return false;
  playback = static_cast<uint8_t*>(ClassVMemory::Alloc(end));
  if (!playback) return false;
  std::memcpy(playback, bytes, end);
  playbacksize = end;
  playbackposition = VEXA_RECORD_HEADERSIZE;
  math.SetRandSeed(GetWord(bytes + 12));
  return true;
}

void ClassVexa::StopPlayback() {
  if (!playback) return;
  ClassVMemory::DeAlloc(playback);
  playback = nullptr;
  playbacksize = playbackposition = 0;
  console.ShowMsg("Vexa recording stopped");
}

// One recorded frame: its time, then the button changes that followed it,
// up to the next frame record.
void ClassVexa::RunPlayback() {
  bool framedone = false;
  while (playbackposition < playbacksize) {
    const uint32_t left = playbacksize - playbackposition;
    const uint8_t* at = playback + playbackposition;
    if (left < 2 || at[1] > RECORD_MAXPAYLOAD || at[1] != PayloadLength(at[0]) || left < 2u + at[1]) break;
    if (at[0] == VEXA_RECORD_FRAME && framedone) return;
    playbackposition += 2u + at[1];
    if (at[0] == VEXA_RECORD_FRAME) {
      RunFrame(GetWord(at + 2));
      framedone = true;
    } else {
      DispatchRecord(at[0], at + 2);
    }
  }
  // The recording ended (or broke) before this frame: it runs live.
  StopPlayback();
  if (!framedone) RunFrame(vtimer.RetrieveDelta());
}

void ClassVexa::DispatchRecord(uint8_t type, const uint8_t* payload) {
  const uint32_t code = GetWord(payload);
  const tagPOINT point = {GetSigned(payload), type >= VEXA_RECORD_STYLUSUP ? GetSigned(payload + 4) : 0};
  switch (type) {
    case VEXA_RECORD_BUTTONDOWN:
      OnButtonDown(code, &buttonlist);
      input.OnKeyDown(uint16_t(code));
      break;
    case VEXA_RECORD_BUTTONUP:
      OnButtonUp(code, &buttonlist);
      input.OnKeyUp(uint16_t(code));
      break;
    case VEXA_RECORD_WHEEL: OnWheel(GetSigned(payload)); break;
    case VEXA_RECORD_STYLUSUP: OnStylusUp(point); break;
    case VEXA_RECORD_STYLUSDOWN: OnStylusDown(point); break;
    case VEXA_RECORD_STYLUSDOUBLE: OnStylusDouble(point); break;
    case VEXA_RECORD_STYLUSMOVE: OnStylusMove(point); break;
    case VEXA_RECORD_TILT: OnDeviceTilt(point.x, point.y); break;
    default: break;
  }
}

void ClassVexa::FreeRecordings() {
  ClassVMemory::DeAlloc(recordbuffer);
  recordbuffer = nullptr;
  recordcapacity = 0;
  recording = false;
  if (playback) ClassVMemory::DeAlloc(playback);
  playback = nullptr;
  playbacksize = playbackposition = 0;
}
