// Whole games on the play field: the same seed, frame times and moves give
// the same trace line by line; and a long random run of complete games in
// both modes keeps the board's invariants after every frame, never lets the
// score fall, and ends every game with its score ranked into its table.
// VEXA_LONG_GAMES=N plays N games per mode and seed instead of a few.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "level_bot.h"
#include "level_rig.h"

namespace {

// An easy game lasts while moves remain, and a patient player can keep
// finding them: past this many frames (about 50 minutes of play) the player
// gives up through the overlay's request instead.
constexpr uint32_t GAME_PATIENCE = 100000;
constexpr uint32_t GIVEUP_FRAMES = 2000;       // a give-up waits for the intro or a board change to end

struct GameResult {
  bool ended = false;
  bool lost = false;       // by the rules: no move left, or out of time
  uint32_t frames = 0;
  uint32_t score = 0;
};

// Begins a game as the title does: the play field entered with status 1.
void EnterLevel(LevelRig& rig) {
  rig.shared.activemodule = MODULE_LEVEL;
  rig.shared.modulestatus = MODULESTATUS_ENTER;
}

std::string CheckInvariants(const ClassLevel& level, const ClassPlayer& player) {
  int32_t used = 0;
  bool dropping = false;
  for (const LEVEL_OBJECT& object : level.objects) {
    used += object.type != OBJTYPE_FREE;
    dropping = dropping || (object.type != OBJTYPE_FREE && object.state == OBJSTATE_DROPPING);
  }
  if (used > 64) return "more than 64 objects";
  if (player.progress > 1024) return "progress above 1024";
  for (int32_t cell = 0; cell < LEVEL_CELLS; cell++)
    if (level.grid[cell] > CELL_CLEARING) return "a cell holds " + std::to_string(level.grid[cell]);
  if (dropping || level.LevelPhase == LEVELPHASE_CLEARING) return "";  // the old board's cells are left behind
  for (int32_t slot = 0; slot < LEVEL_OBJECTS; slot++) {
    const LEVEL_OBJECT& object = level.objects[slot];
    const bool rests = object.state == OBJSTATE_RESTING || object.state == OBJSTATE_SWAPPED ||
                       object.state == OBJSTATE_FROZEN;
    if (object.type == OBJTYPE_FREE || !rests || object.y < 0) continue;
    if (level.grid[object.y * 8 + object.x] != slot) return "slot " + std::to_string(slot) + " not in its cell";
  }
  for (int32_t cell = 0; cell < LEVEL_CELLS; cell++) {
    const uint16_t slot = level.grid[cell];
    if (slot >= LEVEL_OBJECTS) continue;
    const LEVEL_OBJECT& object = level.objects[slot];
    if (object.type == OBJTYPE_FREE || object.y * 8 + object.x != cell)
      return "cell " + std::to_string(cell) + " names slot " + std::to_string(slot) + " elsewhere";
  }
  return "";
}

// What a game that would not end looks like.
std::string Describe(const ClassLevel& level, const ClassPlayer& player) {
  std::string text = "phase " + std::to_string(level.LevelPhase) + " level " + std::to_string(player.level) +
                     " score " + std::to_string(player.score) + " progress " + std::to_string(player.progress) +
                     " unsettled " + std::to_string(level.unsettledtime) + " states";
  for (const LEVEL_OBJECT& object : level.objects)
    if (object.type != OBJTYPE_FREE) text += " " + std::to_string(object.state) + "/" + std::to_string(object.type);
  return text;
}

GameResult PlayGame(LevelRig& rig, LevelBot& bot) {
  GameResult result;
  EnterLevel(rig);
  uint32_t lastscore = 0;
  while (result.frames < GAME_PATIENCE + GIVEUP_FRAMES) {
    if (result.frames >= GAME_PATIENCE) rig.Player().endRequest = 1;
    bot.Act();
    rig.Frames(bot.FrameTime());
    result.frames++;
    if (rig.shared.activemodule != MODULE_LEVEL) {
      result.ended = true;
      break;
    }
    const std::string broken = CheckInvariants(rig.level, rig.Player());
    EXPECT_EQ(broken, "") << "frame " << result.frames;
    EXPECT_GE(rig.Player().score, lastscore) << "frame " << result.frames;
    if (!broken.empty() || rig.Player().score < lastscore) break;
    lastscore = rig.Player().score;
  }
  result.score = rig.Player().score;
  result.lost = rig.level.gameover != 0;
  return result;
}

// The finished game's score is in its table where it belongs, or beat none of it.
void ExpectRanked(const ClassShared& shared, uint8_t mode, uint32_t score) {
  const uint32_t* scores = shared.settings.scores[mode];
  if (shared.pendinghighscore < HIGHSCORE_RANKS) {
    const uint8_t rank = shared.pendinghighscore;
    EXPECT_EQ(scores[rank], score);
    if (rank > 0) {
      EXPECT_GE(scores[rank - 1], score);
    }
    if (rank < HIGHSCORE_RANKS - 1) {
      EXPECT_LE(scores[rank + 1], score);
    }
  } else {
    EXPECT_LE(score, scores[HIGHSCORE_RANKS - 1]);
  }
}

uint32_t GamesPerRun() {
  const char* games = std::getenv("VEXA_LONG_GAMES");
  const long n = games != nullptr ? std::strtol(games, nullptr, 10) : 0;
  return n > 0 ? static_cast<uint32_t>(n) : 2;
}

class LevelGames : public ::testing::TestWithParam<uint8_t> {};

TEST_P(LevelGames, EveryGameKeepsTheBoardWholeAndEndsRanked) {
  const uint8_t mode = GetParam();
  uint32_t games = 0, lost = 0;
  for (uint32_t seed : {1u, 77u, 4242u}) {
    LevelRig rig(seed, mode);
    LevelBot bot(rig, seed * 31u);
    rig.level.SetTrace(nullptr);  // a long run writes no trace
    for (uint32_t game = 0; game < GamesPerRun(); game++) {
      rig.shared.pendinghighscore = HIGHSCORE_NONE;
      const GameResult result = PlayGame(rig, bot);
      ASSERT_TRUE(result.ended) << "seed " << seed << " game " << game << " still running after "
                                << result.frames << " frames: " << Describe(rig.level, rig.Player());
      ExpectRanked(rig.shared, mode, result.score);
      games++;
      lost += result.lost;
      if (mode == PLAYER_MODE_TIMED) {
        EXPECT_TRUE(result.lost) << "a timed game ends when its time runs out";
      }
      EXPECT_EQ(rig.shared.activemodule, MODULE_TITLE);
      if (::testing::Test::HasFailure()) return;
    }
  }
  std::printf("%u games, %u ended by the rules, the others given up\n", games, lost);
  EXPECT_GE(lost * 2, games) << "most games end by the rules";
}

INSTANTIATE_TEST_SUITE_P(Modes, LevelGames, ::testing::Values(PLAYER_MODE_EASY, PLAYER_MODE_TIMED),
                         [](const auto& info) { return info.param == PLAYER_MODE_EASY ? "Easy" : "Timed"; });

// --- determinism ----------------------------------------------------------------------

std::vector<std::string> TraceOfAGame(uint32_t seed, uint8_t mode, uint32_t frames) {
  LevelRig rig(seed, mode);
  LevelBot bot(rig, 99);
  EnterLevel(rig);
  for (uint32_t i = 0; i < frames && rig.shared.activemodule == MODULE_LEVEL; i++) {
    bot.Act();
    rig.Frames(bot.FrameTime());
  }
  std::vector<std::string> lines;
  std::istringstream text(rig.Trace());
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  return lines;
}

TEST(LevelTrace, TheSameSeedFrameTimesAndMovesGiveTheSameTrace) {
  for (uint8_t mode : {PLAYER_MODE_EASY, PLAYER_MODE_TIMED}) {
    const std::vector<std::string> first = TraceOfAGame(2026, mode, 3000);
    const std::vector<std::string> second = TraceOfAGame(2026, mode, 3000);
    ASSERT_GT(first.size(), 3000u * 5u);
    ASSERT_EQ(first.size(), second.size());
    for (size_t i = 0; i < first.size(); i++) ASSERT_EQ(first[i], second[i]) << "line " << i + 1;
    bool swapped = false, scored = false;
    for (const std::string& line : first) {
      swapped = swapped || line.find("input sel") == 0;
      scored = scored || (line.find("player ") == 0 && line.find(" score 0 ") == std::string::npos);
    }
    EXPECT_TRUE(swapped) << "the game saw moves";
    EXPECT_TRUE(scored) << "and points";
  }
}

TEST(LevelTrace, AnotherSeedPartsFromTheFirstFrameThatDrawsADifferentNumber) {
  const std::vector<std::string> first = TraceOfAGame(1, PLAYER_MODE_EASY, 200);
  const std::vector<std::string> second = TraceOfAGame(2, PLAYER_MODE_EASY, 200);
  ASSERT_FALSE(first.empty());
  EXPECT_NE(first[0], second[0]) << "the generator's state is in the frame's first line";
  EXPECT_NE(first, second);
}

TEST(LevelTrace, EachFrameWritesItsRecordInOrder) {
  const std::vector<std::string> lines = TraceOfAGame(5, PLAYER_MODE_TIMED, 3);
  const char* const heads[] = {"frame ",  "input ", "timers ", "cursor ", "player ",
                               "grid",    "objects", "scores", "sound"};
  ASSERT_EQ(lines.size(), 3u * 9u);
  for (size_t i = 0; i < lines.size(); i++) EXPECT_EQ(lines[i].rfind(heads[i % 9], 0), 0u) << lines[i];
  EXPECT_EQ(lines[0].rfind("frame 0 t ", 0), 0u);
  EXPECT_EQ(lines[9].rfind("frame 1 t ", 0), 0u);
}

}  // namespace
