// vexa-render - renders a MOD tune or a WAV sound effect through the game's
// own mixer into a WAV file, and prints what it found: for a tune its title,
// tracks, patterns and song length; for a sound its format.
//
// The mixer runs with its output driver in manual mode, so no thread or
// device is involved: every 20 ms fragment is one mixing pass, exactly as the
// handheld's output thread would ask for it.
// Depends on: audio/mxrSpeaker, audio/mxrData (mxrMusic, mxrSound),
// audio/mxrGP2X (manual mode), tools/common/wav_writer.h. Exit status:
// 0 success, 1 the input could not be read or played or the output not
// written, 2 the command line was wrong.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "audio/mxrData.h"
#include "audio/mxrGP2X.h"
#include "audio/mxrSpeaker.h"
#include "tools/common/wav_writer.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr unsigned kDefaultRate = 44100;
constexpr unsigned kMinRate = 4000;
constexpr unsigned kMaxRate = 96000;
constexpr double kDefaultSeconds = 180;  // a song without end (or --loop) stops here
constexpr double kMaxSeconds = 600;
constexpr unsigned kFragmentsPerSecond = 50;  // 20 ms, as the output driver asks

const char kUsage[] =
    "usage: vexa-render IN -o OUT.wav [--seconds N] [--rate R] [--mono] [--8bit] [--loop]\n"
    "\n"
    "Renders IN, a MOD module (M.K., M!K!, nCHN, nnCH) or a WAV sound effect\n"
    "(8- or 16-bit PCM, MS-ADPCM), through the game's mixer into OUT.wav, and\n"
    "prints the song's title, tracks, patterns and length (or the sound's format).\n"
    "\n"
    "options:\n"
    "  -o, --output FILE   the WAV file to write (required)\n"
    "  -s, --seconds N     render at most N seconds (default 180, at most 600);\n"
    "                      without --loop the render ends where the song or sound does\n"
    "  -r, --rate R        output rate in Hz, 4000 to 96000 (default 44100)\n"
    "      --mono          one output channel (default stereo)\n"
    "      --8bit          unsigned 8-bit output (default signed 16-bit)\n"
    "  -l, --loop          play the song (or sound) looping, for the whole --seconds\n"
    "  -h, --help          show this text\n"
    "\n"
    "Exit status: 0 success, 1 the input could not be read or played or the\n"
    "output not written, 2 the command line was wrong.\n";

struct OPTIONS {
  std::string input;
  std::string output;
  double seconds = kDefaultSeconds;
  unsigned rate = kDefaultRate;
  bool stereo = true;
  bool sixteenbit = true;
  bool loop = false;
};

int UsageError(const std::string& text) {
  std::fprintf(stderr, "vexa-render: %s\n(vexa-render --help shows the usage)\n", text.c_str());
  return kExitUsage;
}

int Failure(const std::string& text) {
  std::fprintf(stderr, "vexa-render: %s\n", text.c_str());
  return kExitFailed;
}

bool ParseNumber(const char* text, double low, double high, double& value) {
  char* end = nullptr;
  errno = 0;
  const double parsed = std::strtod(text, &end);
  if (errno != 0 || end == text || *end != '\0' || !(parsed >= low && parsed <= high)) {
    return false;
  }
  value = parsed;
  return true;
}

// Reads the command line into options; kExitOk, or the usage error's status.
int ParseCommandLine(int argc, char** argv, OPTIONS& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool takesvalue = arg == "-o" || arg == "--output" || arg == "-s" || arg == "--seconds" ||
                            arg == "-r" || arg == "--rate";
    if (takesvalue && i + 1 >= argc) {
      return UsageError(arg + " needs a value");
    }
    if (arg == "-o" || arg == "--output") {
      options.output = argv[++i];
    } else if (arg == "-s" || arg == "--seconds") {
      if (!ParseNumber(argv[++i], 0.02, kMaxSeconds, options.seconds)) {
        return UsageError(std::string("--seconds takes a number from 0.02 to 600, not '") + argv[i] + "'");
      }
    } else if (arg == "-r" || arg == "--rate") {
      double rate = 0;
      if (!ParseNumber(argv[++i], kMinRate, kMaxRate, rate) || rate != static_cast<unsigned>(rate)) {
        return UsageError(std::string("--rate takes a whole number of Hz from 4000 to 96000, not '") + argv[i] + "'");
      }
      options.rate = static_cast<unsigned>(rate);
    } else if (arg == "--mono") {
      options.stereo = false;
    } else if (arg == "--8bit") {
      options.sixteenbit = false;
    } else if (arg == "-l" || arg == "--loop") {
      options.loop = true;
    } else if (!arg.empty() && arg[0] == '-') {
      return UsageError("unknown option " + arg);
    } else if (options.input.empty()) {
      options.input = arg;
    } else {
      return UsageError("more than one input: " + options.input + " and " + arg);
    }
  }
  if (options.input.empty()) {
    return UsageError("no input file");
  }
  if (options.output.empty()) {
    return UsageError("no output file (-o OUT.wav)");
  }
  return kExitOk;
}

bool ReadFile(const std::string& path, std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    return false;
  }
  bytes.clear();
  uint8_t block[65536];
  size_t got;
  while ((got = std::fread(block, 1, sizeof block, f)) > 0) {
    bytes.insert(bytes.end(), block, block + got);
  }
  const bool ok = std::ferror(f) == 0;
  std::fclose(f);
  return ok && bytes.size() <= UINT32_MAX;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && written;
}

bool IsWav(const std::vector<uint8_t>& bytes) {
  return bytes.size() >= 12 && std::memcmp(bytes.data(), "RIFF", 4) == 0 &&
         std::memcmp(bytes.data() + 8, "WAVE", 4) == 0;
}

// The title's printable characters; the rest of its 20 bytes is padding.
std::string TitleOf(const std::vector<uint8_t>& module) {
  std::string title;
  for (size_t i = 0; i < 20 && module[i] != 0; ++i) {
    title += module[i] >= 32 && module[i] < 127 ? static_cast<char>(module[i]) : '?';
  }
  return title;
}

void PrintMusic(const std::vector<uint8_t>& bytes, const mxrMusic& music) {
  const unsigned orders = music.songLength();
  std::printf("title: %s\n", TitleOf(bytes).c_str());
  std::printf("tracks: %d\n", music.tracks());
  std::printf("patterns: %d\n", music.getNumPattern());
  std::printf("length: %u orders, %u rows\n", orders, orders * MXR_MOD_ROWS);
}

void PrintSound(const mxrSound& sound) {
  std::printf("sound: %u Hz, %s, %s, %u frames (%.2f s)\n", sound.sampleRate(), sound.stereo() ? "stereo" : "mono",
              sound.eightBit() ? "8-bit" : "16-bit", sound.frameCount(),
              sound.sampleRate() != 0 ? static_cast<double>(sound.frameCount()) / sound.sampleRate() : 0.0);
}

// Mixing passes until the time is up or, without looping, nothing plays.
std::vector<uint8_t> Render(mxrSpeaker& speaker, const OPTIONS& options) {
  const unsigned framebytes = (options.sixteenbit ? 2u : 1u) * (options.stereo ? 2u : 1u);
  const uint64_t total = static_cast<uint64_t>(options.seconds * options.rate);
  const uint64_t fragment = options.rate / kFragmentsPerSecond;
  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(total * framebytes));
  for (uint64_t done = 0; done < total;) {
    if (speaker.playingChannelMusics() + speaker.playingChannelSounds() == 0) {
      break;
    }
    const uint64_t frames = total - done < fragment ? total - done : fragment;
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(frames * framebytes));
    speaker.updateModSFX(out.data() + at, static_cast<unsigned>(frames * framebytes));
    done += frames;
  }
  return out;
}

int Run(const OPTIONS& options) {
  std::vector<uint8_t> bytes;
  if (!ReadFile(options.input, bytes)) {
    return Failure("cannot read " + options.input + ": " + std::strerror(errno));
  }
  mxrGP2X::manualByDefault(true);
  mxrSpeaker speaker;
  if (speaker.open(options.rate, options.sixteenbit ? 16 : 8, options.stereo, 1, 8) != 0) {
    return Failure("the mixer did not open");
  }
  mxrMusic music;
  mxrSound sound;
  const auto length = static_cast<uint32_t>(bytes.size());
  if (IsWav(bytes)) {
    const int loaded = sound.load(bytes.data(), length, false);
    if (loaded != MXR_WAV_OK) {
      return Failure(options.input + " is not a WAV sound the mixer plays (code " + std::to_string(loaded) + ")");
    }
    PrintSound(sound);
    sound.loop(options.loop);
    if (speaker.playSound(&sound, MXR_PLAY_ANYCHANNEL) < 0) {
      return Failure("the mixer did not play " + options.input);
    }
  } else {
    const int loaded = music.load(bytes.data(), length, false);
    if (loaded != MXR_MOD_OK) {
      return Failure(options.input + " is not a MOD module (code " + std::to_string(loaded) + ")");
    }
    PrintMusic(bytes, music);
    music.loop(options.loop);
    if (speaker.playMusic(&music, MXR_PLAY_ANYCHANNEL) < 0) {
      return Failure(options.input + " has nothing to play");
    }
  }
  const std::vector<uint8_t> samples = Render(speaker, options);
  speaker.close();
  const uint16_t channels = options.stereo ? 2 : 1;
  const uint16_t bits = options.sixteenbit ? 16 : 8;
  if (!WriteFile(options.output, wavwriter::Pcm(channels, options.rate, bits, samples))) {
    return Failure("cannot write " + options.output + ": " + std::strerror(errno));
  }
  const size_t frames = samples.size() / (channels * bits / 8);
  std::printf("rendered: %.2f s, %zu frames, %u Hz, %s, %u-bit -> %s\n", static_cast<double>(frames) / options.rate,
              frames, options.rate, options.stereo ? "stereo" : "mono", unsigned{bits}, options.output.c_str());
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kUsage, stdout);
      return kExitOk;
    }
  }
  OPTIONS options;
  const int parsed = ParseCommandLine(argc, argv, options);
  return parsed != kExitOk ? parsed : Run(options);
}
