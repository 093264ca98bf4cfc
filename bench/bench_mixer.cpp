// bench_mixer.cpp - speed of the mixing pass: updateModSFX summing 8 sound
// channels of 16-bit samples into 44.1 kHz 16-bit stereo, one 20 ms fragment
// (3528 bytes, as the output driver asks) per call.
//
// Scenes: every sample at the output rate and centred (the game's effects);
// mixed rates (11025..48000 Hz), mono and stereo samples and pans; and, as a
// peer, the work of an 8-track module: looping 8-bit samples at the rate of
// period 214 (16726 Hz), panned left and right as the Amiga does. Where
// libxmp is installed it renders that same module (generated here, 8CHN,
// nearest-neighbour interpolation, so both do one fetch per sample) into the
// same fragments. The driver runs in manual mode, so no output thread
// competes for the core.
// Songs: 60 s of a 4-track and of an 8-track module (made by the module
// writer: notes on every track, arpeggio, slides, tone portamento, vibrato,
// volume slides, looped samples) played by the MOD player through
// updateModSFX, and, where libxmp is installed, by libxmp with
// nearest-neighbour interpolation, 16-bit stereo at 44.1 kHz, in the same
// 20 ms fragments.
// Reported: x_realtime, seconds of audio mixed per second of work (one core).
#include <cstdint>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>
#if defined(VEXA_HAVE_LIBXMP)
#include <xmp.h>
#endif

#include "audio/mxrData.h"
#include "audio/mxrGP2X.h"
#include "audio/mxrSpeaker.h"
#include "tests/support/xorshift.h"
#include "tools/common/mod_writer.h"
#include "tools/common/wav_writer.h"

namespace {

constexpr uint32_t kOutputRate = 44100;
constexpr uint32_t kFragmentBytes = 3528;  // 20 ms of 16-bit stereo
constexpr double kFragmentSeconds = 0.020;
constexpr int kChannels = 8;

constexpr uint32_t kModulePeriod = 214;
constexpr uint32_t kModuleRate = 7159090 / (2 * kModulePeriod);  // 16726 Hz
constexpr uint32_t kModuleSampleBytes = 2048;

struct Source {
  bool stereo;
  uint32_t rate;
  unsigned pan;
  bool eightbit = false;
};

struct Loaded {
  std::vector<uint8_t> image;
  mxrSound sound;
};

std::unique_ptr<Loaded> MakeLoopingSound(const Source& source, uint32_t seed) {
  auto loaded = std::make_unique<Loaded>();
  XorShift32 rng{seed};
  const uint16_t channels = source.stereo ? 2 : 1;
  if (source.eightbit) {
    // A module's sample: 2048 bytes of noise around the centre, looped.
    std::vector<uint8_t> samples(kModuleSampleBytes * channels);
    for (uint8_t& s : samples) s = static_cast<uint8_t>(128 + static_cast<int8_t>(rng.Next() >> 26));
    loaded->image = wavwriter::Pcm8(channels, source.rate, samples);
  } else {
    // Two seconds of noise at the sample's rate, looping, so no channel ends.
    std::vector<int16_t> samples(source.rate * 2 * channels);
    for (int16_t& s : samples) s = static_cast<int16_t>(rng.Next() >> 18);  // quiet enough not to clamp all the time
    loaded->image = wavwriter::Pcm16(channels, source.rate, samples);
  }
  loaded->sound.load(loaded->image.data(), static_cast<uint32_t>(loaded->image.size()), false);
  loaded->sound.loop(true);
  loaded->sound.pan(source.pan);
  return loaded;
}

void MixScene(benchmark::State& state, const std::vector<Source>& sources) {
  mxrGP2X::manualByDefault(true);
  mxrSpeaker speaker;
  if (speaker.open(kOutputRate, 16, true, 2, kChannels) != 0) {
    state.SkipWithError("mixer did not open");
    return;
  }
  std::vector<std::unique_ptr<Loaded>> sounds;
  uint32_t seed = 1;
  for (const Source& source : sources) {
    sounds.push_back(MakeLoopingSound(source, seed++));
    speaker.playSound(&sounds.back()->sound, MXR_PLAY_ANYCHANNEL);
  }
  if (speaker.playingChannelSounds() != kChannels) {
    state.SkipWithError("not every channel plays");
    return;
  }
  std::vector<uint8_t> fragment(kFragmentBytes);
  for (auto _ : state) {
    speaker.updateModSFX(fragment.data(), kFragmentBytes);
    benchmark::DoNotOptimize(fragment.data());
    benchmark::ClobberMemory();
  }
  state.counters["x_realtime"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kFragmentSeconds, benchmark::Counter::kIsRate);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFragmentBytes);
  speaker.close();
  mxrGP2X::manualByDefault(false);
}

void BM_Mix8Centred44k(benchmark::State& state) {
  MixScene(state, std::vector<Source>(kChannels, Source{false, kOutputRate, 128}));
}
BENCHMARK(BM_Mix8Centred44k);

void BM_Mix8MixedRatesAndPans(benchmark::State& state) {
  MixScene(state, {{false, 44100, 128},
                   {true, 44100, 128},
                   {false, 22050, 40},
                   {true, 22050, 200},
                   {false, 11025, 128},
                   {false, 32000, 255},
                   {true, 48000, 0},
                   {false, 44100, 90}});
}
BENCHMARK(BM_Mix8MixedRatesAndPans);

// Tracks 0, 3, 4, 7 left and 1, 2, 5, 6 right, as the Amiga pans them.
unsigned AmigaPan(int track) {
  return track % 4 == 0 || track % 4 == 3 ? 0 : 255;
}

void BM_Mix8AsModuleTracks(benchmark::State& state) {
  std::vector<Source> sources;
  for (int track = 0; track < kChannels; ++track) sources.push_back({false, kModuleRate, AmigaPan(track), true});
  MixScene(state, sources);
}
BENCHMARK(BM_Mix8AsModuleTracks);

// --- whole songs ----------------------------------------------------------------

constexpr unsigned kSongSeconds = 60;
constexpr unsigned kSongFragments = kSongSeconds * 50;

// A song as a tracker user writes one: four patterns, a note on every track
// every other row, an effect on most cells, four looped samples of 300 to
// 2400 bytes, looping from the start.
std::vector<uint8_t> SongModule(unsigned tracks) {
  modwriter::MODULE m;
  m.title = "bench song";
  m.tracks = tracks;
  m.orders = {0, 1, 2, 3};
  m.restart = 0;
  XorShift32 rng{tracks};
  for (unsigned k = 0; k < 4; ++k) {
    modwriter::SAMPLE s;
    const unsigned bytes = 300u << k;
    for (unsigned i = 0; i < bytes; ++i) s.data.push_back(static_cast<int8_t>(rng.Next() >> 25));
    s.volume = 56;
    s.repeatstart = static_cast<uint16_t>(bytes / 8);
    s.repeatlength = static_cast<uint16_t>(bytes / 2 - bytes / 8);
    m.samples.push_back(s);
  }
  const modwriter::CELL effects[] = {{0, 0, 0x0, 0x47}, {0, 0, 0x4, 0x46}, {0, 0, 0xA, 0x02}, {0, 0, 0x1, 0x01},
                                     {0, 0, 0x2, 0x01}, {0, 0, 0x6, 0x10}, {0, 0, 0x0, 0x00}, {0, 0, 0x3, 0x08}};
  for (unsigned p = 0; p < 4; ++p) {
    for (unsigned row = 0; row < modwriter::kRows; ++row) {
      for (unsigned t = 0; t < tracks; ++t) {
        modwriter::CELL cell = effects[rng.Below(8)];
        if (row % 2 == 0) {
          cell.period = modwriter::kNotePeriods[rng.Below(36)];
          cell.instrument = static_cast<uint8_t>(1 + rng.Below(4));
        }
        m.at(p, row, t) = cell;
      }
    }
  }
  return modwriter::Write(m);
}

void RenderSong(benchmark::State& state, unsigned tracks) {
  const std::vector<uint8_t> image = SongModule(tracks);
  mxrGP2X::manualByDefault(true);
  mxrSpeaker speaker;
  mxrMusic music;
  if (speaker.open(kOutputRate, 16, true, 1, kChannels) != 0 ||
      music.load(image.data(), static_cast<uint32_t>(image.size()), false) != MXR_MOD_OK) {
    state.SkipWithError("mixer or module did not open");
    return;
  }
  music.loop(true);
  std::vector<uint8_t> fragment(kFragmentBytes);
  for (auto _ : state) {
    speaker.stopMusics();
    speaker.playMusic(&music, 0);
    for (unsigned f = 0; f < kSongFragments; ++f) {
      speaker.updateModSFX(fragment.data(), kFragmentBytes);
      benchmark::DoNotOptimize(fragment.data());
      benchmark::ClobberMemory();
    }
  }
  if (speaker.playingChannelMusics() != 1 || fragment == std::vector<uint8_t>(kFragmentBytes, 0)) {
    state.SkipWithError("the song stopped or fell silent");
  }
  state.counters["x_realtime"] = benchmark::Counter(static_cast<double>(state.iterations()) * kSongSeconds,
                                                    benchmark::Counter::kIsRate);
  speaker.close();
  mxrGP2X::manualByDefault(false);
}

void BM_PlayerSong60s4Tracks(benchmark::State& state) {
  RenderSong(state, 4);
}
BENCHMARK(BM_PlayerSong60s4Tracks)->Unit(benchmark::kMillisecond);

void BM_PlayerSong60s8Tracks(benchmark::State& state) {
  RenderSong(state, 8);
}
BENCHMARK(BM_PlayerSong60s8Tracks)->Unit(benchmark::kMillisecond);

#if defined(VEXA_HAVE_LIBXMP)
void LibxmpSong(benchmark::State& state, unsigned tracks) {
  const std::vector<uint8_t> image = SongModule(tracks);
  xmp_context context = xmp_create_context();
  if (xmp_load_module_from_memory(context, image.data(), static_cast<long>(image.size())) != 0) {
    state.SkipWithError("libxmp refused the module");
    xmp_free_context(context);
    return;
  }
  std::vector<uint8_t> fragment(kFragmentBytes);
  bool stopped = false;
  for (auto _ : state) {
    xmp_start_player(context, kOutputRate, 0);
    xmp_set_player(context, XMP_PLAYER_INTERP, XMP_INTERP_NEAREST);
    for (unsigned f = 0; f < kSongFragments; ++f) {
      stopped = stopped || xmp_play_buffer(context, fragment.data(), kFragmentBytes, 0) != 0;
      benchmark::DoNotOptimize(fragment.data());
      benchmark::ClobberMemory();
    }
    xmp_end_player(context);
  }
  if (stopped || fragment == std::vector<uint8_t>(kFragmentBytes, 0)) {
    state.SkipWithError("libxmp stopped playing or fell silent");
  }
  state.counters["x_realtime"] = benchmark::Counter(static_cast<double>(state.iterations()) * kSongSeconds,
                                                    benchmark::Counter::kIsRate);
  xmp_release_module(context);
  xmp_free_context(context);
}

void BM_LibxmpSong60s4Tracks(benchmark::State& state) {
  LibxmpSong(state, 4);
}
BENCHMARK(BM_LibxmpSong60s4Tracks)->Unit(benchmark::kMillisecond);

void BM_LibxmpSong60s8Tracks(benchmark::State& state) {
  LibxmpSong(state, 8);
}
BENCHMARK(BM_LibxmpSong60s8Tracks)->Unit(benchmark::kMillisecond);

void PutBe16(std::vector<uint8_t>& image, size_t at, uint32_t value) {
  image[at] = static_cast<uint8_t>(value >> 8);
  image[at + 1] = static_cast<uint8_t>(value);
}

// 8CHN module: one pattern whose first row starts sample k on track k at
// period 214; every sample loops over its whole length, so all eight tracks
// sound for ever.
std::vector<uint8_t> EightTrackModule() {
  constexpr size_t kHeader = 1084, kPattern = 64 * kChannels * 4;
  std::vector<uint8_t> image(kHeader + kPattern + kChannels * kModuleSampleBytes, 0);
  for (int k = 0; k < kChannels; ++k) {
    const size_t header = 20 + 30 * size_t(k);
    PutBe16(image, header + 22, kModuleSampleBytes / 2);  // length in words
    image[header + 25] = 64;                               // volume
    PutBe16(image, header + 28, kModuleSampleBytes / 2);  // repeat length: the whole sample
    uint8_t* cell = &image[kHeader + size_t(k) * 4];
    const uint32_t instrument = uint32_t(k) + 1;
    cell[0] = static_cast<uint8_t>((instrument & 0xF0) | (kModulePeriod >> 8));
    cell[1] = static_cast<uint8_t>(kModulePeriod & 0xFF);
    cell[2] = static_cast<uint8_t>((instrument & 0x0F) << 4);
  }
  image[950] = 1;    // song length
  image[951] = 127;  // restart at 0
  image[1080] = '8';
  image[1081] = 'C';
  image[1082] = 'H';
  image[1083] = 'N';
  XorShift32 rng{99};
  for (size_t i = kHeader + kPattern; i < image.size(); ++i) image[i] = static_cast<uint8_t>(rng.Next() >> 26);
  return image;
}

void BM_LibxmpRender8TrackModule(benchmark::State& state) {
  const std::vector<uint8_t> module = EightTrackModule();
  xmp_context context = xmp_create_context();
  if (xmp_load_module_from_memory(context, module.data(), static_cast<long>(module.size())) != 0) {
    state.SkipWithError("libxmp refused the module");
    xmp_free_context(context);
    return;
  }
  const auto finish = [&] {
    xmp_end_player(context);
    xmp_release_module(context);
    xmp_free_context(context);
  };
  std::vector<uint8_t> fragment(kFragmentBytes);
  xmp_start_player(context, kOutputRate, 0);
  xmp_set_player(context, XMP_PLAYER_INTERP, XMP_INTERP_NEAREST);
  // The first rows must already sound, or the comparison measures silence.
  xmp_play_buffer(context, fragment.data(), kFragmentBytes, 0);
  xmp_play_buffer(context, fragment.data(), kFragmentBytes, 0);
  if (fragment == std::vector<uint8_t>(kFragmentBytes, 0)) {
    state.SkipWithError("libxmp rendered silence");
    finish();
    return;
  }
  for (auto _ : state) {
    if (xmp_play_buffer(context, fragment.data(), kFragmentBytes, 0) != 0) {
      state.SkipWithError("libxmp stopped playing");
      break;
    }
    benchmark::DoNotOptimize(fragment.data());
    benchmark::ClobberMemory();
  }
  state.counters["x_realtime"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kFragmentSeconds, benchmark::Counter::kIsRate);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFragmentBytes);
  finish();
}
BENCHMARK(BM_LibxmpRender8TrackModule);
#endif

}  // namespace

BENCHMARK_MAIN();
