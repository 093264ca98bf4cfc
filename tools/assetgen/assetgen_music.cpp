// assetgen_music - the game's two tunes, composed as 4-track M.K. modules
// for res/music.vpk: "00-bonus.mod", a short bright jingle for the level-up
// bonus, and "01-ingame.mod", a looping tune of a little over a minute.
//
// Tracks: 0 drums, 1 bass, 2 chords (arpeggios), 3 melody. The instruments
// are synthesised single-cycle waves grown into notes (a struck bell-piano
// lead, a plucked bass, a soft pad) and three drums. The score is written as
// text, a token a row: a melody line names its notes, chords and drums name
// one bar each. Effects used: arpeggio (chords), tone portamento (melody
// slides, bass octave slides), vibrato, volume slides (note endings), speed
// and tempo.
// Depends on: tools/assetgen/assetgen_random.h, tools/common/mod_writer.h.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/assetgen/assetgen.h"
#include "tools/assetgen/assetgen_random.h"
#include "tools/common/mod_writer.h"

namespace {

using modwriter::CELL;
using modwriter::MODULE;
using modwriter::SAMPLE;

constexpr double kPi = 3.14159265358979323846;
constexpr unsigned kRowsPerBar = 16;
constexpr unsigned kBars = modwriter::kRows / kRowsPerBar;

// Instruments, numbered as the cells name them.
constexpr uint8_t kLead = 1;
constexpr uint8_t kBass = 2;
constexpr uint8_t kPad = 3;
constexpr uint8_t kKick = 4;
constexpr uint8_t kSnare = 5;
constexpr uint8_t kHat = 6;

constexpr unsigned kDrumTrack = 0;
constexpr unsigned kBassTrack = 1;
constexpr unsigned kChordTrack = 2;
constexpr unsigned kMelodyTrack = 3;

// Effect commands.
constexpr uint8_t kArpeggio = 0x0;
constexpr uint8_t kTonePortamento = 0x3;
constexpr uint8_t kVibrato = 0x4;
constexpr uint8_t kVolumeSlide = 0xA;
constexpr uint8_t kPatternBreak = 0xD;
constexpr uint8_t kSpeed = 0xF;

constexpr uint8_t kVibratoShape = 0x34;  // speed 3, depth 4: a gentle singer's wobble
constexpr uint8_t kGlideSpeed = 0x0C;
constexpr uint8_t kBassGlideSpeed = 0x40;
constexpr uint8_t kFadeStep = 0x04;      // volume slide down 4 a tick

// Bytes per cycle of the pitched waves: a 32-byte cycle played at C-2 of the
// period table sounds middle C, a 64-byte one an octave lower.
constexpr unsigned kLeadCycle = 32;
constexpr unsigned kBassCycle = 64;
constexpr int kLeadOctaveShift = 2;  // musical octave - period table octave
constexpr int kBassOctaveShift = 1;
// Drums are made at the rate C-3 plays a sample.
constexpr double kDrumRate = 7159090.0 / (2 * 214);

// --- instruments -------------------------------------------------------------

constexpr double kSamplePeak = 0.95;  // of the 8-bit range, a little headroom for rounding

// A sample of a wave scaled to the sample peak, at a default volume.
SAMPLE Normalised(const std::vector<double>& wave, uint8_t volume) {
  double peak = 0;
  for (double s : wave) peak = std::max(peak, std::fabs(s));
  SAMPLE sample;
  sample.data.reserve(wave.size());
  for (double s : wave) sample.data.push_back(static_cast<int8_t>(std::lround(s / peak * kSamplePeak * 127)));
  sample.volume = volume;
  return sample;
}

// A pitched note grown from one cycle of harmonics: brightness and loudness
// fall from the strike towards a sustain; the last `loopcycles` repeat (or,
// with a sustain of 0, the note dies to silence and does not loop).
struct VOICE {
  unsigned cyclebytes;
  unsigned cycles;
  unsigned loopcycles;
  unsigned attackcycles;
  double sustain;          // loudness the note settles to
  double decaycycles;      // time constant of the fall, in cycles
  double mellowing;        // how much faster the upper harmonics fall
  std::array<double, 6> harmonics;
  uint8_t volume;
};

SAMPLE Voiced(const VOICE& v) {
  std::vector<double> wave;
  const unsigned held = v.cycles - v.loopcycles;  // from here on the cycle stays the same
  for (unsigned c = 0; c < v.cycles; ++c) {
    const double age = std::min(c, held);
    const double fall = std::exp(-age / v.decaycycles);
    double loudness = v.sustain + (1 - v.sustain) * fall;
    if (c < v.attackcycles) loudness *= (c + 1.0) / (v.attackcycles + 1.0);
    if (v.sustain == 0 && c + 8 >= v.cycles) loudness *= (v.cycles - c - 1) / 8.0;  // ends at zero
    for (unsigned i = 0; i < v.cyclebytes; ++i) {
      const double phase = 2 * kPi * i / v.cyclebytes;
      double sum = 0;
      for (size_t k = 0; k < v.harmonics.size(); ++k) {
        sum += v.harmonics[k] * std::exp(-age * k * v.mellowing / v.decaycycles) * std::sin((k + 1) * phase);
      }
      wave.push_back(loudness * sum);
    }
  }
  SAMPLE sample = Normalised(wave, v.volume);
  if (v.sustain > 0) {
    sample.repeatstart = static_cast<uint16_t>(held * v.cyclebytes / 2);
    sample.repeatlength = static_cast<uint16_t>(v.loopcycles * v.cyclebytes / 2);
  }
  return sample;
}

SAMPLE Lead() { return Voiced({kLeadCycle, 480, 8, 2, 0.3, 70, 0.6, {1, 0.5, 0.3, 0.12, 0.08, 0.04}, 50}); }
SAMPLE Bass() { return Voiced({kBassCycle, 110, 0, 1, 0, 30, 0.8, {1, 0.6, 0.35, 0.2, 0.1, 0.05}, 58}); }
SAMPLE Pad() { return Voiced({kLeadCycle, 360, 16, 24, 0.55, 60, 0.3, {1, 0.3, 0.12, 0.05, 0, 0}, 30}); }

// Takes out the wave's offset (a decaying sine leans to its first half-wave)
// along a sine bump, so the ends stay at zero and no hit adds a click.
void RemoveOffset(std::vector<double>& wave) {
  const double count = static_cast<double>(wave.size());
  double mean = 0;
  for (double s : wave) mean += s;
  mean /= count;
  const double bumpmean = 2 / kPi;
  for (size_t i = 0; i < wave.size(); ++i) wave[i] -= mean / bumpmean * std::sin(kPi * static_cast<double>(i) / count);
}

// A drum: a tone gliding from `tone` to `toneend` Hz mixed with noise
// (high-passed when `bright`), both decaying; the last 4 ms fade to silence.
struct DRUMSOUND {
  double seconds;
  double tone;
  double toneend;
  double tonelevel;
  double tonedecay;   // s
  double noiselevel;
  double noisedecay;  // s
  bool bright;
  uint8_t volume;
};

SAMPLE Drum(const DRUMSOUND& d) {
  AssetGenRandom random(0x2545F491u);  // every drum from the same seed
  const auto count = static_cast<size_t>(d.seconds * kDrumRate);
  std::vector<double> wave(count);
  double phase = 0;
  double low = 0;
  for (size_t i = 0; i < count; ++i) {
    const double t = static_cast<double>(i) / kDrumRate;
    const double freq = d.tone * std::pow(d.toneend / d.tone, t / d.seconds);
    const double white = random.Signed();
    low += 0.3 * (white - low);
    const double grain = d.bright ? white - low : low;
    const double tail = std::min(1.0, static_cast<double>(count - 1 - i) / (0.004 * kDrumRate));
    wave[i] = tail * (d.tonelevel * std::exp(-t / d.tonedecay) * std::sin(phase) +
                      d.noiselevel * std::exp(-t / d.noisedecay) * grain);
    phase += 2 * kPi * freq / kDrumRate;
  }
  RemoveOffset(wave);
  return Normalised(wave, d.volume);
}

std::vector<SAMPLE> Instruments() {
  return {Lead(),
          Bass(),
          Pad(),
          Drum({0.22, 130, 45, 1, 0.09, 0.15, 0.01, false, 64}),   // kick
          Drum({0.16, 190, 160, 1, 0.04, 1, 0.05, true, 48}),      // snare
          Drum({0.05, 1000, 1000, 0, 1, 1, 0.012, true, 26})};     // hi-hat
}

// --- the score ---------------------------------------------------------------

// The semitone (C = 0) and musical octave of a name such as "C5", "F#4", "Bb3".
bool ParsePitch(const char* text, int& semitone, int& octave) {
  static const int kLetters[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
  if (text[0] < 'A' || text[0] > 'G') return false;
  semitone = kLetters[text[0] - 'A'];
  size_t at = 1;
  if (text[at] == '#' || text[at] == 'b') {
    semitone += text[at] == '#' ? 1 : -1;
    ++at;
  }
  if (text[at] < '0' || text[at] > '9') return false;
  octave = text[at] - '0';
  // B# and Cb belong to the neighbouring octave.
  if (semitone < 0) {
    semitone += 12;
    octave -= 1;
  } else if (semitone > 11) {
    semitone -= 12;
    octave += 1;
  }
  return true;
}

// The period of a musical pitch on an instrument whose cycle sounds
// `shift` octaves above the period table's; kept inside its three octaves.
uint16_t PeriodOf(int semitone, int octave, int shift) {
  const int tableoctave = std::clamp(octave - shift, 1, 3);
  return modwriter::Period(static_cast<unsigned>(tableoctave), static_cast<unsigned>(semitone));
}

std::vector<std::string> Tokens(const char* text) {
  std::vector<std::string> tokens;
  std::string token;
  for (const char* p = text;; ++p) {
    if (*p == ' ' || *p == '\0') {
      if (!token.empty()) tokens.push_back(token);
      token.clear();
      if (*p == '\0') break;
    } else {
      token += *p;
    }
  }
  return tokens;
}

// A melody line, a token a row: a pitch strikes a note, "/pitch" slides to
// it, "~" sings the note with vibrato, "-" fades it, "." lets it ring.
void WriteMelody(MODULE& m, unsigned pattern, const char* line) {
  unsigned row = 0;
  bool vibratostarted = false;
  for (const std::string& token : Tokens(line)) {
    if (row >= modwriter::kRows) break;
    CELL& cell = m.at(pattern, row++, kMelodyTrack);
    int semitone = 0;
    int octave = 0;
    if (token == "~") {
      cell.command = kVibrato;
      cell.parameter = vibratostarted ? 0 : kVibratoShape;
      vibratostarted = true;
    } else if (token == "-") {
      cell.command = kVolumeSlide;
      cell.parameter = kFadeStep;
    } else if (token[0] == '/' && ParsePitch(token.c_str() + 1, semitone, octave)) {
      cell.period = PeriodOf(semitone, octave, kLeadOctaveShift);
      cell.command = kTonePortamento;
      cell.parameter = kGlideSpeed;
    } else if (ParsePitch(token.c_str(), semitone, octave)) {
      cell.period = PeriodOf(semitone, octave, kLeadOctaveShift);
      cell.instrument = kLead;
      vibratostarted = false;
    }
  }
}

struct CHORD {
  int root;        // semitone, C = 0
  uint8_t shape;   // arpeggio: the two semitone steps above the root
};

// A chord name: a root ("C", "F#", "Bb"), with "m" after it for minor.
CHORD ParseChord(const std::string& name) {
  const bool minor = !name.empty() && name.back() == 'm';
  const std::string root = minor ? name.substr(0, name.size() - 1) : name;
  int semitone = 0;
  int octave = 0;
  ParsePitch((root + "4").c_str(), semitone, octave);
  return {semitone, static_cast<uint8_t>(minor ? 0x37 : 0x47)};  // minor or major third, then the fifth
}

// Chords, each held for `rowsperchord` rows, struck where the bar's rhythm
// has 'x' and kept ringing as an arpeggio on '.'; '-' fades the chord out.
void WriteChords(MODULE& m, unsigned pattern, const char* chords, const char* const rhythm[kBars],
                 unsigned rowsperchord) {
  const std::vector<std::string> names = Tokens(chords);
  for (unsigned row = 0; row < modwriter::kRows && row / rowsperchord < names.size(); ++row) {
    const CHORD chord = ParseChord(names[row / rowsperchord]);
    CELL& cell = m.at(pattern, row, kChordTrack);
    const char step = rhythm[row / kRowsPerBar][row % kRowsPerBar];
    if (step == '-') {
      cell.command = kVolumeSlide;
      cell.parameter = kFadeStep;
      continue;
    }
    if (step == 'x') {
      cell.period = PeriodOf(chord.root, 4, kLeadOctaveShift);
      cell.instrument = kPad;
    }
    cell.command = kArpeggio;
    cell.parameter = chord.shape;
  }
}

// The bass under the chords: 'R' the root, '5' the fifth, '8' the octave,
// '^' a slide up to the octave, '.' rest.
void WriteBass(MODULE& m, unsigned pattern, const char* chords, const char* const rhythm[kBars],
               unsigned rowsperchord) {
  const std::vector<std::string> names = Tokens(chords);
  for (unsigned row = 0; row < modwriter::kRows && row / rowsperchord < names.size(); ++row) {
    const char step = rhythm[row / kRowsPerBar][row % kRowsPerBar];
    if (step == '.') continue;
    const int root = ParseChord(names[row / rowsperchord]).root;
    const int interval = step == '5' ? 7 : (step == '8' || step == '^') ? 12 : 0;
    const int semitone = root + interval;
    CELL& cell = m.at(pattern, row, kBassTrack);
    cell.period = PeriodOf(semitone % 12, 2 + semitone / 12, kBassOctaveShift);
    if (step == '^') {
      cell.command = kTonePortamento;
      cell.parameter = kBassGlideSpeed;
    } else {
      cell.instrument = kBass;
    }
  }
}

// Drums, a character a row: 'K' kick, 'S' snare, 'h' hi-hat, '.' rest.
void WriteDrums(MODULE& m, unsigned pattern, const char* const bars[kBars], unsigned barcount) {
  for (unsigned bar = 0; bar < barcount; ++bar) {
    for (unsigned r = 0; r < kRowsPerBar; ++r) {
      const char step = bars[bar][r];
      const uint8_t instrument = step == 'K' ? kKick : step == 'S' ? kSnare : step == 'h' ? kHat : 0;
      if (instrument == 0) continue;
      CELL& cell = m.at(pattern, bar * kRowsPerBar + r, kDrumTrack);
      cell.period = modwriter::Period(3, 0);
      cell.instrument = instrument;
    }
  }
}

struct PATTERNSCORE {
  const char* chords;              // four chord names, one a bar
  const char* const* chordrhythm;  // kBars rhythms each
  const char* const* bass;
  const char* const* drums;
  const char* melody;              // 64 tokens
};

// Rhythms the patterns share.
const char kPulse[] = "x.....x...x.....";
const char kPulseEnd[] = "x.....x...x...--";
const char kWhole[] = "x.......x.......";
const char kWalk[] = "R..R..5.R...8.5.";
const char kWalkTurn[] = "R..R..5.R...R.^.";
const char kSteps[] = "R.......5.......";
const char kBeat[] = "K.h.S.h.K.hKS.h.";
const char kFill[] = "K.h.S.h.K.S.S.SS";
const char kSoft[] = "K.h...h.K.h...h.";
// Whole patterns of them: three bars alike, the fourth turning towards the next.
const char* const kPulseBars[kBars] = {kPulse, kPulse, kPulse, kPulse};
const char* const kPulseEndBars[kBars] = {kPulse, kPulse, kPulse, kPulseEnd};
const char* const kWholeBars[kBars] = {kWhole, kWhole, kWhole, kWhole};
const char* const kWalkBars[kBars] = {kWalk, kWalk, kWalk, kWalkTurn};
const char* const kStepBars[kBars] = {kSteps, kSteps, kSteps, kSteps};
const char* const kBeatBars[kBars] = {kBeat, kBeat, kBeat, kFill};
const char* const kSoftBars[kBars] = {kSoft, kSoft, kSoft, kBeat};

// In C major; a pattern is four bars of 16 rows, a row a sixteenth note.
const PATTERNSCORE kInGame[] = {
    // A: the theme
    {"C Am F G",
     kPulseBars, kWalkBars, kBeatBars,
     "E5 . ~ ~ G5 . E5 . C5 . ~ ~ D5 . E5 . "
     "C5 . ~ ~ A4 . ~ ~ E5 . D5 . C5 . B4 . "
     "A4 . ~ ~ C5 . F5 . E5 . ~ ~ D5 . C5 . "
     "D5 . ~ ~ ~ ~ ~ ~ B4 . ~ ~ - . . ."},
    // A': the theme answered
    {"C Am Dm G",
     kPulseBars, kWalkBars, kBeatBars,
     "E5 . ~ ~ G5 . A5 . G5 . E5 . C5 . E5 . "
     "A5 . ~ ~ G5 . E5 . C5 . ~ ~ A4 . C5 . "
     "D5 . ~ ~ F5 . E5 . D5 . A4 . D5 . F5 . "
     "G5 . ~ ~ F5 . D5 . B4 . ~ ~ D5 . - ."},
    // B: climbing away from home
    {"F G Em Am",
     kPulseBars, kWalkBars, kBeatBars,
     "C5 . A4 . C5 . F5 . ~ ~ E5 . F5 . A5 . "
     "G5 . ~ ~ D5 . ~ ~ B4 . D5 . G5 . F5 . "
     "E5 . ~ ~ B4 . ~ ~ G4 . B4 . E5 . G5 . "
     "/A5 ~ ~ ~ ~ ~ G5 . E5 . ~ ~ - . . ."},
    // B': and back to C
    {"F G C C",
     kPulseBars, kWalkBars, kBeatBars,
     "A5 . ~ ~ G5 . F5 . E5 . F5 . A5 . C5 . "
     "B4 . ~ ~ D5 . G5 . F5 . E5 . D5 . B4 . "
     "C5 . ~ ~ ~ ~ ~ ~ E5 . G5 . ~ ~ E5 . "
     "C5 . ~ ~ ~ ~ ~ ~ - . . . . . . ."},
    // C: a calmer bridge
    {"Am Em F C",
     kWholeBars, kStepBars, kSoftBars,
     "A4 . ~ ~ ~ ~ ~ ~ C5 . ~ ~ E5 . ~ ~ "
     "B4 . ~ ~ ~ ~ ~ ~ G4 . ~ ~ B4 . ~ ~ "
     "C5 . ~ ~ ~ ~ ~ ~ A4 . ~ ~ F5 . ~ ~ "
     "E5 . ~ ~ ~ ~ ~ ~ ~ ~ ~ ~ - . . ."},
    // C': turning round to the theme
    {"Dm Em F G",
     kPulseEndBars, kWalkBars, kBeatBars,
     "F5 . ~ ~ E5 . D5 . A4 . ~ ~ D5 . F5 . "
     "G5 . ~ ~ E5 . B4 . E5 . ~ ~ G5 . B4 . "
     "A5 . ~ ~ G5 . F5 . C5 . ~ ~ F5 . A5 . "
     "G5 . ~ ~ F5 . D5 . B4 . ~ ~ - . . ."},
};
const std::vector<uint8_t> kInGameOrders = {0, 1, 2, 3, 0, 1, 4, 5};

void WriteScore(MODULE& m, unsigned pattern, const PATTERNSCORE& score) {
  WriteChords(m, pattern, score.chords, score.chordrhythm, kRowsPerBar);
  WriteBass(m, pattern, score.chords, score.bass, kRowsPerBar);
  WriteDrums(m, pattern, score.drums, kBars);
  WriteMelody(m, pattern, score.melody);
}

// Speed and tempo on the song's first row, where drums and bass carry no effect.
void SetTiming(MODULE& m, uint8_t speed, uint8_t tempo) {
  m.at(0, 0, kDrumTrack).command = kSpeed;
  m.at(0, 0, kDrumTrack).parameter = speed;
  m.at(0, 0, kBassTrack).command = kSpeed;
  m.at(0, 0, kBassTrack).parameter = tempo;
}

std::vector<uint8_t> InGameTune() {
  MODULE m;
  m.title = "vexa puzzle in-game";
  m.samples = Instruments();
  for (unsigned p = 0; p < sizeof kInGame / sizeof kInGame[0]; ++p) WriteScore(m, p, kInGame[p]);
  SetTiming(m, 6, 125);
  m.orders = kInGameOrders;
  m.restart = 0;
  return modwriter::Write(m);
}

// The bonus: a quick rising run over G G C D, a bar of G to ring out, then
// everything fades and a pattern break ends the song. Chords change a beat.
std::vector<uint8_t> BonusJingle() {
  constexpr unsigned kRowsPerBeat = 4;
  constexpr unsigned kJingleBars = 2;
  static const char* const kChordRhythm[kBars] = {"x.......x...x...", "x.........------", "", ""};
  static const char* const kBassRhythm[kBars] = {"R...R...R...R...", "R...8...........", "", ""};
  static const char* const kDrumBars[kBars] = {"K.h.S.h.K.h.SSSS", "K.......S.......", "", ""};
  const char* const chords = "G G C D G G G G";
  MODULE m;
  m.title = "vexa puzzle bonus";
  m.samples = Instruments();
  WriteChords(m, 0, chords, kChordRhythm, kRowsPerBeat);
  WriteBass(m, 0, chords, kBassRhythm, kRowsPerBeat);
  WriteDrums(m, 0, kDrumBars, kJingleBars);
  WriteMelody(m, 0, "G4 . B4 . D5 . G5 . E5 . G5 . F#5 . A5 . B5 . ~ ~ ~ ~ ~ ~ ~ ~ - - - - - -");
  SetTiming(m, 4, 125);
  m.at(0, kJingleBars * kRowsPerBar - 1, kDrumTrack).command = kPatternBreak;
  return modwriter::Write(m);
}

}  // namespace

void AssetGen_Music(std::vector<ASSETENTRY>& entries) {
  entries.push_back({"00-bonus.mod", BonusJingle()});
  entries.push_back({"01-ingame.mod", InGameTune()});
}
