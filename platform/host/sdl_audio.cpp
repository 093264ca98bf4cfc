// sdl_audio.cpp - the emulated "/dev/dsp" played through SDL2.
//
// The device is opened on the first write, in the format the driver set. A
// write waits while SDL's queue holds more than a few fragments, so the
// output thread is paced as the handheld's blocking write paces it.
#include <atomic>
#include <cstdint>
#include <cstdio>

#include <SDL.h>

#include "platform/host/host_audio.h"
#include "platform/host/host_devices.h"
#include "platform/platform.h"

namespace {

constexpr uint32_t QUEUE_LIMIT_MILLISECONDS = 80;

std::atomic<SDL_AudioDeviceID> g_device{0};
uint32_t g_queuelimit = 0;
bool g_subsystem = false;  // SDL's audio subsystem is initialised by us

SDL_AudioDeviceID OpenForStream() {
  HOSTDSPSTATE dsp = HostDevices_DspState();
  SDL_AudioSpec want{};
  want.freq = dsp.rate > 0 ? dsp.rate : 44100;
  want.format = dsp.format == PLATFORM_AFMT_U8 ? AUDIO_U8 : AUDIO_S16LSB;
  want.channels = dsp.stereo ? 2 : 1;
  want.samples = 512;
  SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
  if (device == 0) return 0;
  uint32_t bytespersecond = uint32_t(want.freq) * want.channels * (want.format == AUDIO_U8 ? 1 : 2);
  g_queuelimit = bytespersecond * QUEUE_LIMIT_MILLISECONDS / 1000;
  SDL_PauseAudioDevice(device, 0);
  return device;
}

void QueueToSdl(const void* data, size_t length, void*) {
  SDL_AudioDeviceID device = g_device.load();
  if (device == 0) {
    device = OpenForStream();
    if (device == 0) {
      std::fprintf(stderr, "vexa-puzzle: audio device lost (%s); playing silently\n", SDL_GetError());
      HostAudio_PlaySilently();
      return;
    }
    g_device.store(device);
  }
  while (SDL_GetQueuedAudioSize(device) > g_queuelimit) SDL_Delay(2);
  SDL_QueueAudio(device, data, uint32_t(length));
}

}  // namespace

bool HostAudio_PlayThroughSdl(char* notice, size_t size) {
  HostAudio_Close();
  if (notice && size) notice[0] = '\0';
  // Probe once with the mixer's usual format, so a machine without audio is
  // told at start rather than at the first sound.
  SDL_AudioSpec probe{};
  probe.freq = 44100;
  probe.format = AUDIO_S16LSB;
  probe.channels = 2;
  probe.samples = 512;
  SDL_AudioDeviceID device = 0;
  g_subsystem = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
  if (g_subsystem) device = SDL_OpenAudioDevice(nullptr, 0, &probe, nullptr, 0);
  if (device == 0) {
    if (notice && size) std::snprintf(notice, size, "vexa-puzzle: no audio device (%s); playing silently", SDL_GetError());
    HostAudio_PlaySilently();
    return false;
  }
  SDL_CloseAudioDevice(device);
  HostDevices_SetDspSink(QueueToSdl, nullptr);
  return true;
}

void HostAudio_CloseSdl() {
  SDL_AudioDeviceID device = g_device.exchange(0);
  if (device != 0) SDL_CloseAudioDevice(device);
  if (g_subsystem) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  g_subsystem = false;
}
