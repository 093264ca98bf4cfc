// Tests of the shared game state: the particle pool (creation, movement,
// freeing, drawing), "game.cfg" (layout, short, long and corrupt files,
// names without their zero, the atomic save at each failure point), the
// volume steps and the high-score insertion.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "audio/mxrGP2X.h"
#include "audio/vmod_sound.h"
#include "game/game_folder.h"
#include "game/shared.h"
#include "resources/vmod_file.h"
#include "support/xorshift.h"

namespace {

// --- particles ----------------------------------------------------------------------

constexpr int32_t PIXEL = 0x10000;

int32_t LiveParticles(const ClassShared& shared) {
  int32_t live = 0;
  for (const PARTICLE& particle : shared.particles) live += particle.type != PARTICLE_FREE;
  return live;
}

TEST(SharedParticles, CreatedParticleStartsTwoPixelsUpAndLeftOfThePoint) {
  ClassShared shared;
  shared.CreateParticle(0, 10, PARTICLE_HEAVY, 5, -3);
  const PARTICLE& particle = shared.particles[0];
  EXPECT_EQ(particle.type, PARTICLE_HEAVY);
  EXPECT_EQ(particle.x >> 16, -2);
  EXPECT_EQ(particle.y >> 16, 8);
  EXPECT_EQ(particle.x % PIXEL, 0);
  EXPECT_EQ(particle.vx, 5);
  EXPECT_EQ(particle.vy, -3);
  EXPECT_EQ(particle.angle, 0);
}

TEST(SharedParticles, The257thIsSilentlyNotCreatedAndAFreedRecordIsReused) {
  ClassShared shared;
  for (int32_t i = 0; i < SHARED_PARTICLES; i++) shared.CreateParticle(i, 0, PARTICLE_LIGHT, 0, 0);
  shared.CreateParticle(1000, 1000, PARTICLE_TUMBLING, 0, 0);
  EXPECT_EQ(LiveParticles(shared), SHARED_PARTICLES);
  for (const PARTICLE& particle : shared.particles) EXPECT_EQ(particle.type, PARTICLE_LIGHT);

  shared.particles[7].type = PARTICLE_FREE;
  shared.particles[9].type = PARTICLE_FREE;
  shared.CreateParticle(50, 60, PARTICLE_TUMBLING, 0, 0);
  EXPECT_EQ(shared.particles[7].type, PARTICLE_TUMBLING) << "the lowest free record";
  EXPECT_EQ(shared.particles[9].type, PARTICLE_FREE);
  shared.ResetParticles();
  EXPECT_EQ(LiveParticles(shared), 0);
}

struct MoveCase {
  const char* name;
  uint8_t type;
  int32_t vx, vy;
  uint32_t t;
  int32_t vyafter;     // gravity: 1, 4 and 4 per ms
  int32_t angleafter;  // tumbling pieces turn by 2 per ms
};

const MoveCase MOVES[] = {
    {"LightPiece", PARTICLE_LIGHT, 100, -50, 10, -40, 0},
    {"HeavyPiece", PARTICLE_HEAVY, -30, 0, 16, 64, 0},
    {"TumblingPiece", PARTICLE_TUMBLING, 7, 20, 25, 120, 50},
    {"TumblingAngleWraps", PARTICLE_TUMBLING, 0, -8400, 2100, 0, (2 * 2100) & 0xFFF},
    {"StandingStill", PARTICLE_LIGHT, 3, 3, 0, 3, 0},
};

class SharedParticleMoves : public ::testing::TestWithParam<MoveCase> {};

TEST_P(SharedParticleMoves, AdvanceByFourTimesTheVelocityAfterGravity) {
  const MoveCase& c = GetParam();
  ClassShared shared;
  shared.CreateParticle(160, 120, c.type, c.vx, c.vy);
  const PARTICLE before = shared.particles[0];
  shared.HandleParticles(c.t);
  const PARTICLE& after = shared.particles[0];
  ASSERT_EQ(after.type, c.type);
  EXPECT_EQ(after.vy, c.vyafter);
  EXPECT_EQ(after.angle, c.angleafter);
  EXPECT_EQ(after.x - before.x, 4 * c.vx * int32_t(c.t));
  EXPECT_EQ(after.y - before.y, 4 * c.vyafter * int32_t(c.t));
}

INSTANTIATE_TEST_SUITE_P(Cases, SharedParticleMoves, ::testing::ValuesIn(MOVES),
                         [](const auto& info) { return std::string(info.param.name); });

struct BoundCase {
  const char* name;
  int32_t x, y;     // 16.16 start
  int32_t vx, vy;   // one millisecond of a light piece (vy gains 1 first)
  bool freed;
};

// One millisecond moves a light piece by 4 x v: 16384 is one pixel.
const BoundCase BOUNDS[] = {
    {"LeftEdgeKept", -59 * PIXEL, 100 * PIXEL, -16384, -1, false},
    {"LeftBeyondFreed", -60 * PIXEL, 100 * PIXEL, -16384, -1, true},
    {"FractionPastLeftEdgeFreed", -60 * PIXEL, 100 * PIXEL, -1, -1, true},
    {"RightEdgeKept", 379 * PIXEL, 100 * PIXEL, 16384, -1, false},
    {"RightBeyondFreed", 380 * PIXEL, 100 * PIXEL, 16384, -1, true},
    {"TopEdgeKept", 100 * PIXEL, -59 * PIXEL, 0, -16385, false},
    {"TopBeyondFreed", 100 * PIXEL, -60 * PIXEL, 0, -16385, true},
    {"BottomEdgeKept", 100 * PIXEL, 299 * PIXEL, 0, 16383, false},
    {"BottomBeyondFreed", 100 * PIXEL, 300 * PIXEL, 0, 16383, true},
    {"FarOutsideInOneStepFreed", 0, 0, 0x7FFFFFFF, -1, true},
};

class SharedParticleBounds : public ::testing::TestWithParam<BoundCase> {};

TEST_P(SharedParticleBounds, AreFreedSixtyPixelsBeyondTheScreen) {
  const BoundCase& c = GetParam();
  ClassShared shared;
  shared.particles[0] = PARTICLE{c.x, c.y, c.vx, c.vy, 0, PARTICLE_LIGHT};
  shared.HandleParticles(1);
  EXPECT_EQ(shared.particles[0].type == PARTICLE_FREE, c.freed);
}

INSTANTIATE_TEST_SUITE_P(Cases, SharedParticleBounds, ::testing::ValuesIn(BOUNDS),
                         [](const auto& info) { return std::string(info.param.name); });

constexpr uint32_t KEY = 0xFF00FF;
constexpr uint32_t RED = 0x0000FF;
constexpr uint32_t GREEN = 0x00FF00;

TEST(SharedParticles, PiecesAreDrawnFromTheMenuSheetWithTheColourKey) {
  ClassShared shared;
  V2DSurface& sheet = shared.surface.menusprites;
  ASSERT_EQ(sheet.Create(80, 80, VideoType::Xrgb8888, 1), VSURF_OK);
  sheet.Clear(KEY);
  sheet.SetColorKey(KEY);
  const tagRECT small = {76, 76, 80, 80};
  sheet.FillRect(&small, RED);
  const tagRECT tumbling = {48, 0, 80, 32};
  sheet.FillRect(&tumbling, GREEN);
  sheet.PutPixel(48, 0, KEY, 0, 0);  // a see-through corner
  V2DSurface target;
  ASSERT_EQ(target.Create(320, 240, VideoType::Xrgb8888, 1), VSURF_OK);
  target.Clear(0);

  shared.CreateParticle(12, 22, PARTICLE_LIGHT, 0, 0);     // corner (10, 20)
  shared.CreateParticle(102, 102, PARTICLE_TUMBLING, 0, 0); // position (100, 100), no turn yet
  shared.RenderParticles(&target);

  EXPECT_EQ(target.GetPixel(10, 20), RED);
  EXPECT_EQ(target.GetPixel(13, 23), RED);
  EXPECT_EQ(target.GetPixel(14, 20), 0u);
  EXPECT_EQ(target.GetPixel(10, 24), 0u);
  // The rotating blit centres the 32 x 32 piece on the position.
  EXPECT_EQ(target.GetPixel(84, 84), 0u) << "key pixel left out";
  EXPECT_EQ(target.GetPixel(85, 84), GREEN);
  EXPECT_EQ(target.GetPixel(115, 115), GREEN);
  EXPECT_EQ(target.GetPixel(116, 116), 0u);
}

// --- "game.cfg" -----------------------------------------------------------------------

// The file image, built from the format's offsets.
struct CfgImage {
  std::vector<uint8_t> bytes = std::vector<uint8_t>(SETTINGS_SIZE, 0);
  CfgImage() { bytes[250] = 64; }
  CfgImage& Name(int mode, int rank, const std::string& name) {
    std::memset(&bytes[96 * mode + 32 * rank], 0, 32);
    std::memcpy(&bytes[96 * mode + 32 * rank], name.data(), name.size() < 32 ? name.size() : 32);
    return *this;
  }
  CfgImage& Score(int mode, int rank, uint32_t score) {
    for (int i = 0; i < 4; i++) bytes[192 + 12 * mode + 4 * rank + i] = uint8_t(score >> (8 * i));
    return *this;
  }
  CfgImage& Volume(uint8_t volume) {
    bytes[250] = volume;
    return *this;
  }
};

CfgImage FullImage() {
  return CfgImage()
      .Name(0, 0, "Ada")
      .Name(0, 1, "Grace Hopper")
      .Name(0, 2, "Fifteen letters")
      .Name(1, 0, "Linus")
      .Name(1, 1, "Ken")
      .Name(1, 2, "Dennis")
      .Score(0, 0, 0x01020304)
      .Score(0, 1, 70000)
      .Score(0, 2, 5)
      .Score(1, 0, 0xFFFFFFFF)
      .Score(1, 1, 2000)
      .Score(1, 2, 1)
      .Volume(200);
}

class SharedCfg : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(folder.Entered()); }

  // What a load followed by a save makes of the file: the block byte for byte.
  std::vector<uint8_t> LoadAndSave() {
    ClassShared loaded;
    loaded.LoadCfg();
    EXPECT_TRUE(loaded.SaveCfg());
    return ReadWholeFile("game.cfg");
  }

  GameFolder folder;
  ClassShared shared;
};

TEST_F(SharedCfg, MissingFileKeepsTheDefaults) {
  EXPECT_FALSE(shared.CfgLoaded());
  shared.LoadCfg();
  EXPECT_TRUE(shared.CfgLoaded());
  for (int mode = 0; mode < HIGHSCORE_MODES; mode++) {
    for (int rank = 0; rank < HIGHSCORE_RANKS; rank++) {
      EXPECT_EQ(shared.settings.scores[mode][rank], 0u);
      EXPECT_STREQ(shared.settings.names[mode][rank], "");
    }
  }
  EXPECT_EQ(shared.settings.volume, 64);
  EXPECT_FALSE(FileExists("game.cfg")) << "loading writes nothing";
}

TEST_F(SharedCfg, SaveWritesTheBlockAtItsOffsetsAndLoadReadsItBack) {
  const CfgImage image = FullImage();
  std::strcpy(shared.settings.names[0][0], "Ada");
  std::strcpy(shared.settings.names[0][1], "Grace Hopper");
  std::strcpy(shared.settings.names[0][2], "Fifteen letters");
  std::strcpy(shared.settings.names[1][0], "Linus");
  std::strcpy(shared.settings.names[1][1], "Ken");
  std::strcpy(shared.settings.names[1][2], "Dennis");
  const uint32_t scores[2][3] = {{0x01020304, 70000, 5}, {0xFFFFFFFF, 2000, 1}};
  std::memcpy(shared.settings.scores, scores, sizeof scores);
  shared.settings.volume = 200;
  std::memset(shared.settings.reserved, 0x5A, sizeof shared.settings.reserved);
  shared.settings.padding = 0x77;
  shared.resetdelta = 0;

  EXPECT_TRUE(shared.SaveCfg());
  EXPECT_EQ(shared.resetdelta, 1);
  EXPECT_EQ(ReadWholeFile("game.cfg"), image.bytes) << "reserved bytes and padding are written as zero";
  EXPECT_FALSE(FileExists("game.cfg.tmp"));

  ClassShared loaded;
  loaded.LoadCfg();
  EXPECT_EQ(std::memcmp(loaded.settings.names, shared.settings.names, sizeof shared.settings.names), 0);
  EXPECT_EQ(std::memcmp(loaded.settings.scores, scores, sizeof scores), 0);
  EXPECT_EQ(loaded.settings.volume, 200);
}

class SharedShortCfg : public SharedCfg, public ::testing::WithParamInterface<size_t> {};

TEST_P(SharedShortCfg, BytesItHoldsReplaceTheDefaultsAndTheRestKeepThem) {
  const size_t length = GetParam();
  const std::vector<uint8_t> full = FullImage().bytes;
  ASSERT_TRUE(WriteWholeFile("game.cfg", std::vector<uint8_t>(full.begin(), full.begin() + length)));
  std::vector<uint8_t> expected = CfgImage().bytes;
  std::copy(full.begin(), full.begin() + length, expected.begin());
  EXPECT_EQ(LoadAndSave(), expected);
}

// Empty, one byte, inside a name, at the scores, inside a score, before and after the volume.
INSTANTIATE_TEST_SUITE_P(Lengths, SharedShortCfg, ::testing::Values(0, 1, 40, 192, 198, 250, 251));

TEST_F(SharedCfg, LongerFileGivesItsFirst252Bytes) {
  std::vector<uint8_t> bytes = FullImage().bytes;
  bytes.resize(300, 0xEE);
  ASSERT_TRUE(WriteWholeFile("game.cfg", bytes));
  EXPECT_EQ(LoadAndSave(), FullImage().bytes);
}

TEST_F(SharedCfg, NameWithoutZeroIsCutTo31Characters) {
  const CfgImage image =
      CfgImage().Name(0, 0, std::string(32, 'X')).Name(0, 1, "Next").Name(1, 2, std::string(32, 'Y'));
  ASSERT_TRUE(WriteWholeFile("game.cfg", image.bytes));
  shared.LoadCfg();
  EXPECT_EQ(std::string(shared.settings.names[0][0]), std::string(31, 'X'));
  EXPECT_STREQ(shared.settings.names[0][1], "Next") << "the next field is its own";
  EXPECT_EQ(std::string(shared.settings.names[1][2]), std::string(31, 'Y'));
  EXPECT_EQ(shared.settings.scores[0][0], 0u) << "the last name does not run into the scores";
}

TEST_F(SharedCfg, CorruptFileLoadsEveryFieldWithinItsBounds) {
  XorShift32 random{0x9E3779B9u};
  std::vector<uint8_t> bytes(SETTINGS_SIZE);
  for (uint8_t& byte : bytes) byte = uint8_t(random.Next());
  ASSERT_TRUE(WriteWholeFile("game.cfg", bytes));
  shared.LoadCfg();
  for (int mode = 0; mode < HIGHSCORE_MODES; mode++) {
    for (int rank = 0; rank < HIGHSCORE_RANKS; rank++) {
      EXPECT_LT(strnlen(shared.settings.names[mode][rank], HIGHSCORE_NAMESIZE), size_t(HIGHSCORE_NAMESIZE));
      const uint8_t* score = &bytes[192 + 12 * mode + 4 * rank];
      EXPECT_EQ(shared.settings.scores[mode][rank],
                uint32_t(score[0]) | uint32_t(score[1]) << 8 | uint32_t(score[2]) << 16 | uint32_t(score[3]) << 24);
    }
  }
  EXPECT_EQ(shared.settings.volume, bytes[250]);
}

TEST_F(SharedCfg, FolderInPlaceOfTheFileKeepsTheDefaults) {
  ASSERT_EQ(mkdir("game.cfg", 0700), 0);
  shared.settings.volume = 1;
  shared.LoadCfg();
  EXPECT_EQ(shared.settings.volume, 64);
  EXPECT_EQ(shared.settings.scores[0][0], 0u);
  EXPECT_STREQ(shared.settings.names[0][0], "");
}

// A save that fails at one of its steps; a failing write has put part of
// the block on the disk, a failing close or rename has done its own work.
class FailingSave : public ClassShared {
 public:
  explicit FailingSave(CfgSaveStep step) : failat(step) {}

 protected:
  bool RunSaveStep(CfgSaveStep step, ClassVFile& file, const uint8_t* block) override {
    if (step != failat) return ClassShared::RunSaveStep(step, file, block);
    if (step == CfgSaveStep::Write) file.Write(block, SETTINGS_SIZE / 2);
    if (step == CfgSaveStep::Close) ClassShared::RunSaveStep(step, file, block);
    return false;
  }

 private:
  CfgSaveStep failat;
};

const char* StepName(CfgSaveStep step) {
  switch (step) {
    case CfgSaveStep::Create: return "Create";
    case CfgSaveStep::Write: return "Write";
    case CfgSaveStep::Close: return "Close";
    case CfgSaveStep::Rename: return "Rename";
  }
  return "";
}

class SharedFailedSave : public SharedCfg, public ::testing::WithParamInterface<CfgSaveStep> {};

TEST_P(SharedFailedSave, LeavesThePreviousFileIntactAndNoTemporary) {
  const std::vector<uint8_t> previous = FullImage().bytes;
  ASSERT_TRUE(WriteWholeFile("game.cfg", previous));
  FailingSave saving(GetParam());
  saving.LoadCfg();
  saving.settings.scores[0][0] = 999;
  saving.settings.volume = 3;
  saving.resetdelta = 0;
  EXPECT_FALSE(saving.SaveCfg());
  EXPECT_EQ(saving.resetdelta, 1) << "set whether or not the file was written";
  EXPECT_EQ(ReadWholeFile("game.cfg"), previous);
  EXPECT_FALSE(FileExists("game.cfg.tmp"));
}

INSTANTIATE_TEST_SUITE_P(Steps, SharedFailedSave,
                         ::testing::Values(CfgSaveStep::Create, CfgSaveStep::Write, CfgSaveStep::Close,
                                           CfgSaveStep::Rename),
                         [](const auto& info) { return std::string(StepName(info.param)); });

TEST_F(SharedCfg, TemporaryThatCannotBeCreatedLeavesThePreviousFile) {
  const std::vector<uint8_t> previous = FullImage().bytes;
  ASSERT_TRUE(WriteWholeFile("game.cfg", previous));
  ASSERT_EQ(mkdir("game.cfg.tmp", 0700), 0);
  shared.LoadCfg();
  shared.settings.scores[1][1] = 1;
  EXPECT_FALSE(shared.SaveCfg());
  EXPECT_EQ(ReadWholeFile("game.cfg"), previous);
}

TEST_F(SharedCfg, TemporaryLeftByAnInterruptedSaveIsIgnoredAndReplaced) {
  ASSERT_TRUE(WriteWholeFile("game.cfg", FullImage().bytes));
  ASSERT_TRUE(WriteWholeFile("game.cfg.tmp", std::vector<uint8_t>(100, 0xAB)));
  shared.LoadCfg();
  EXPECT_EQ(shared.settings.volume, 200);
  shared.settings.volume = 10;
  EXPECT_TRUE(shared.SaveCfg());
  EXPECT_EQ(ReadWholeFile("game.cfg"), FullImage().Volume(10).bytes);
  EXPECT_FALSE(FileExists("game.cfg.tmp"));
}

// --- the volume -------------------------------------------------------------------------

class SharedSound : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.Entered());
    mxrGP2X::manualByDefault(true);
    ASSERT_EQ(sound.Open(), 0);
    vcd.sound = &sound;
    shared.vcd = &vcd;
  }
  void TearDown() override {
    sound.Close();
    mxrGP2X::manualByDefault(false);
  }

  GameFolder folder;
  ClassVSound sound;
  VCD vcd{};
  ClassShared shared;
};

struct VolumeFileCase {
  uint8_t volume;
  uint8_t effects;
};

class SharedVolumeFromFile : public SharedSound, public ::testing::WithParamInterface<VolumeFileCase> {};

TEST_P(SharedVolumeFromFile, SetsMusicToTheVolumeAndEffectsToThreeQuarters) {
  ASSERT_TRUE(WriteWholeFile("game.cfg", CfgImage().Volume(GetParam().volume).bytes));
  shared.LoadCfg();
  EXPECT_EQ(sound.GetMusicVolume(), GetParam().volume);
  EXPECT_EQ(sound.GetSoundVolume(), GetParam().effects);
}

INSTANTIATE_TEST_SUITE_P(Volumes, SharedVolumeFromFile,
                         ::testing::Values(VolumeFileCase{255, 191}, VolumeFileCase{0, 0}, VolumeFileCase{64, 48}));

struct VolumeStepCase {
  uint8_t from;
  bool up;
  uint8_t to;
  uint8_t effects;
};

class SharedVolumeStep : public SharedSound, public ::testing::WithParamInterface<VolumeStepCase> {};

TEST_P(SharedVolumeStep, MovesByThirteenWithinTheRange) {
  const VolumeStepCase& c = GetParam();
  shared.settings.volume = c.from;
  shared.ChangeVolume(c.up);
  EXPECT_EQ(shared.settings.volume, c.to);
  EXPECT_EQ(sound.GetMusicVolume(), c.to);
  EXPECT_EQ(sound.GetSoundVolume(), c.effects);
}

INSTANTIATE_TEST_SUITE_P(Steps, SharedVolumeStep,
                         ::testing::Values(VolumeStepCase{241, true, 254, 190}, VolumeStepCase{242, true, 255, 191},
                                           VolumeStepCase{255, true, 255, 191}, VolumeStepCase{13, false, 0, 0},
                                           VolumeStepCase{14, false, 1, 0}, VolumeStepCase{0, false, 0, 0},
                                           VolumeStepCase{51, true, 64, 48}));

// --- high scores ------------------------------------------------------------------------

struct HighScoreCase {
  const char* name;
  uint32_t table[3];       // the mode's scores before, ranks 0..2
  uint32_t score;
  uint8_t rank;            // HIGHSCORE_NONE when it beats none
  uint32_t after[3];
  const char* names[3];    // the names after; the table starts with "R0", "R1", "R2"
};

const HighScoreCase HIGHSCORES[] = {
    {"FirstStartAnyScoreTakesRankZero", {0, 0, 0}, 1, 0, {1, 0, 0}, {"", "R0", "R1"}},
    {"BestMovesTheOthersDown", {300, 200, 100}, 301, 0, {301, 300, 200}, {"", "R0", "R1"}},
    {"TieWithRankZeroRanksBelowIt", {300, 200, 100}, 300, 1, {300, 300, 200}, {"R0", "", "R1"}},
    {"RankTwoMovesNothing", {300, 200, 100}, 150, 2, {300, 200, 150}, {"R0", "R1", ""}},
    {"TieWithTheLastEntersNothing", {300, 200, 100}, 100, HIGHSCORE_NONE, {300, 200, 100}, {"R0", "R1", "R2"}},
    {"ZeroEntersNothing", {0, 0, 0}, 0, HIGHSCORE_NONE, {0, 0, 0}, {"R0", "R1", "R2"}},
    {"ComparedUnsigned", {0x80000000u, 0, 0}, 5, 1, {0x80000000u, 5, 0}, {"R0", "", "R1"}},
};

class SharedHighScores : public ::testing::TestWithParam<std::tuple<HighScoreCase, uint8_t>> {};

TEST_P(SharedHighScores, InsertBottomUpWithinTheModesOwnTable) {
  const HighScoreCase& c = std::get<0>(GetParam());
  const uint8_t mode = std::get<1>(GetParam());
  ClassShared shared;
  // Everything outside the mode's entries carries a pattern that must survive.
  std::memset(&shared.settings, 0xC3, sizeof shared.settings);
  for (int rank = 0; rank < 3; rank++) {
    std::memset(shared.settings.names[mode][rank], 0, HIGHSCORE_NAMESIZE);
    shared.settings.names[mode][rank][0] = 'R';
    shared.settings.names[mode][rank][1] = char('0' + rank);
    shared.settings.scores[mode][rank] = c.table[rank];
  }
  SHARED_SETTINGS before;
  std::memcpy(&before, &shared.settings, sizeof before);

  EXPECT_EQ(shared.InsertHighScore(mode, c.score), c.rank);
  EXPECT_EQ(shared.pendinghighscore, c.rank);
  for (int rank = 0; rank < 3; rank++) {
    EXPECT_EQ(shared.settings.scores[mode][rank], c.after[rank]) << "rank " << rank;
    EXPECT_STREQ(shared.settings.names[mode][rank], c.names[rank]) << "rank " << rank;
  }
  // Put the mode's table back: then nothing else may differ.
  std::memcpy(shared.settings.names[mode], before.names[mode], sizeof before.names[mode]);
  std::memcpy(shared.settings.scores[mode], before.scores[mode], sizeof before.scores[mode]);
  EXPECT_EQ(std::memcmp(&shared.settings, &before, sizeof before), 0) << "written outside mode " << int(mode);
}

INSTANTIATE_TEST_SUITE_P(Cases, SharedHighScores,
                         ::testing::Combine(::testing::ValuesIn(HIGHSCORES), ::testing::Values(0, 1)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) + "Mode" +
                                  std::to_string(std::get<1>(info.param));
                         });

TEST(SharedHighScoreMode, UnknownModeWritesNothing) {
  ClassShared shared;
  SHARED_SETTINGS before;
  std::memcpy(&before, &shared.settings, sizeof before);
  EXPECT_EQ(shared.InsertHighScore(2, 500), HIGHSCORE_NONE);
  EXPECT_EQ(shared.pendinghighscore, HIGHSCORE_NONE);
  EXPECT_EQ(std::memcmp(&shared.settings, &before, sizeof before), 0);
}

}  // namespace
