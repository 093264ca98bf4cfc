// host_audio.cpp - the WAV file and silent sinks of the emulated "/dev/dsp".
#include "platform/host/host_audio.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include <sys/time.h>
#include <unistd.h>

#include "platform/host/host_devices.h"
#include "platform/platform.h"

namespace {

constexpr uint32_t WAV_HEADER_BYTES = 44;

// The WAV writer: a header written with the device's format once data comes,
// its two sizes completed on close.
struct WavSink {
  FILE* file = nullptr;
  bool headerwritten = false;
  uint64_t databytes = 0;
};
WavSink g_wav;

void PutLe16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

void PutLe32(uint8_t* p, uint32_t v) {
  PutLe16(p, v);
  PutLe16(p + 2, v >> 16);
}

void BuildWavHeader(uint8_t* h, const HOSTDSPSTATE& dsp, uint32_t databytes) {
  const uint32_t channels = dsp.stereo ? 2 : 1;
  const uint32_t bits = dsp.format == PLATFORM_AFMT_U8 ? 8 : 16;
  const uint32_t rate = dsp.rate > 0 ? uint32_t(dsp.rate) : 0;
  const uint32_t align = channels * bits / 8;
  std::memcpy(h, "RIFF", 4);
  PutLe32(h + 4, 36 + databytes);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  PutLe32(h + 16, 16);
  PutLe16(h + 20, 1);  // PCM
  PutLe16(h + 22, channels);
  PutLe32(h + 24, rate);
  PutLe32(h + 28, rate * align);
  PutLe16(h + 32, align);
  PutLe16(h + 34, bits);
  std::memcpy(h + 36, "data", 4);
  PutLe32(h + 40, databytes);
}

void WriteToWav(const void* data, size_t length, void*) {
  if (!g_wav.file) return;
  if (!g_wav.headerwritten) {
    uint8_t header[WAV_HEADER_BYTES];
    BuildWavHeader(header, HostDevices_DspState(), 0);
    std::fwrite(header, 1, sizeof header, g_wav.file);
    g_wav.headerwritten = true;
  }
  g_wav.databytes += std::fwrite(data, 1, length, g_wav.file);
}

void CloseWav() {
  if (!g_wav.file) return;
  // A WAV file states its sizes in 32 bits; a longer run keeps its first 4 GB
  // of samples addressable and says so no further.
  uint32_t databytes = g_wav.databytes > 0xFFFFFFFFu - 36 ? 0xFFFFFFFFu - 36 : uint32_t(g_wav.databytes);
  if (g_wav.headerwritten) {
    uint8_t header[WAV_HEADER_BYTES];
    BuildWavHeader(header, HostDevices_DspState(), databytes);
    std::fseek(g_wav.file, 0, SEEK_SET);
    std::fwrite(header, 1, sizeof header, g_wav.file);
  }
  std::fclose(g_wav.file);
  g_wav = WavSink{};
}

uint64_t RealMicroseconds() {
  timeval tv;
  ::gettimeofday(&tv, nullptr);
  return uint64_t(tv.tv_sec) * 1000000u + uint64_t(tv.tv_usec);
}

// The silent sink: keeps the writer no further ahead of real time than a
// device buffer would, so an output thread never spins.
struct SilentSink {
  uint64_t start = 0;
  uint64_t bytes = 0;
};
SilentSink g_silent;
constexpr uint64_t SILENT_LEAD_MICROSECONDS = 60000;

void DiscardInTime(const void*, size_t length, void*) {
  HOSTDSPSTATE dsp = HostDevices_DspState();
  uint64_t bytespersecond = uint64_t(dsp.rate > 0 ? dsp.rate : 44100) * (dsp.stereo ? 2 : 1) *
                            (dsp.format == PLATFORM_AFMT_U8 ? 1 : 2);
  uint64_t now = RealMicroseconds();
  if (g_silent.bytes == 0) g_silent.start = now;
  g_silent.bytes += length;
  uint64_t played = g_silent.bytes * 1000000u / bytespersecond;
  uint64_t elapsed = now - g_silent.start;
  if (played > elapsed + SILENT_LEAD_MICROSECONDS) ::usleep(useconds_t(played - elapsed - SILENT_LEAD_MICROSECONDS));
}

}  // namespace

bool HostAudio_WriteWavFile(const char* path) {
  HostAudio_Close();
  g_wav.file = std::fopen(path, "wb");
  if (!g_wav.file) return false;
  HostDevices_SetDspSink(WriteToWav, nullptr);
  return true;
}

void HostAudio_PlaySilently() {
  HostAudio_Close();
  g_silent = SilentSink{};
  HostDevices_SetDspSink(DiscardInTime, nullptr);
}

#if VEXA_WITH_SDL
void HostAudio_CloseSdl();
#else
// A build without SDL2 (the handheld's unit suites) has no window output.
bool HostAudio_PlayThroughSdl(char* notice, size_t size) {
  if (notice && size) std::snprintf(notice, size, "vexa-puzzle: built without SDL2; playing silently");
  HostAudio_PlaySilently();
  return false;
}
#endif

void HostAudio_Close() {
  HostDevices_SetDspSink(nullptr, nullptr);
  CloseWav();
#if VEXA_WITH_SDL
  HostAudio_CloseSdl();
#endif
}
