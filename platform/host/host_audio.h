// host_audio.h - where the emulated "/dev/dsp" stream goes on the host.
//
// The window front end plays it through SDL2 (sdl_audio.cpp), whose queue
// blocks the writer while it is full, as the handheld's device does; a
// machine without a usable audio device gets a silent sink that still paces
// the writer by the real clock, and a one-line notice. Headless runs mix on
// the main thread (mxrGP2X's manual mode) and write the stream to a WAV file
// or discard it.
#pragma once

#include <cstddef>

// Headless: the stream goes to a 16- or 8-bit PCM WAV file in the format the
// device was set to. False when the file cannot be created.
bool HostAudio_WriteWavFile(const char* path);

// No device: the stream is discarded at the pace real audio would play.
void HostAudio_PlaySilently();

// Window: SDL2 audio output. When no device can be opened, falls back to
// HostAudio_PlaySilently and writes a one-line notice into notice.
bool HostAudio_PlayThroughSdl(char* notice, size_t size);

// Ends the current output: completes the WAV file's header, closes SDL audio.
void HostAudio_Close();
