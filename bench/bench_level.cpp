// bench_level.cpp - the cost of the play field's model: one frame on a busy
// board (both object passes and the game rules of the frame, with its stuck
// check) and one move search. Goal: each well under 10 us, a tenth of the
// play field's frame budget together.
//
// The busy board is a new board half landed: 64 objects, most of them still
// falling, some resting and linking, the game in play. Every iteration
// starts again from that picture (the copy back is counted, a few hundred
// bytes), so the frame always meets the same busy board.
// Reported: LevelFrame (one model frame), LevelCheckHint (one search on the
// settled board of the same game).
#include <cstdint>
#include <cstring>

#include <benchmark/benchmark.h>

#include "game/level.h"
#include "game/shared.h"
#include "util/vmod_math.h"

namespace {

constexpr uint32_t kFrameTime = 16;

class BenchLevel : public ClassLevel {
 protected:
  bool LoadBackdrop() override { return true; }
};

// The model's state that one frame changes.
struct Snapshot {
  LEVEL_OBJECT objects[LEVEL_OBJECTS];
  uint16_t grid[LEVEL_CELLS];
  SCORE_OBJECT scores[LEVEL_SCOREOBJECTS];
  ClassPlayer player;
  uint32_t mathseed;
};

struct Rig {
  ClassVMath math;
  VCD vcd{};
  ClassShared shared;
  BenchLevel level;

  Rig() {
    math.Init();
    math.SetRandSeed(12345);
    vcd.math = &math;
    shared.vcd = &vcd;
    shared.player = &shared.playerrecord;
    level.LinkShared(&shared);
    shared.modulestatus = MODULESTATUS_ENTER;
    level.OnNextFrame(nullptr, &shared.activemodule, &shared.modulestatus, 0);
  }

  void Frames(int32_t n) {
    for (int32_t i = 0; i < n; i++) level.OnNextFrame(nullptr, &shared.activemodule, &shared.modulestatus, kFrameTime);
  }

  void Take(Snapshot& s) const {
    std::memcpy(s.objects, level.objects, sizeof s.objects);
    std::memcpy(s.grid, level.grid, sizeof s.grid);
    std::memcpy(s.scores, level.scoreobjects, sizeof s.scores);
    s.player = shared.playerrecord;
    s.mathseed = math.GetRandSeed();
  }

  void Restore(const Snapshot& s) {
    std::memcpy(level.objects, s.objects, sizeof s.objects);
    std::memcpy(level.grid, s.grid, sizeof s.grid);
    std::memcpy(level.scoreobjects, s.scores, sizeof s.scores);
    shared.playerrecord = s.player;
    math.SetRandSeed(s.mathseed);
    level.LevelPhase = LEVELPHASE_PLAYING;
  }
};

void LevelFrame(benchmark::State& state) {
  Rig rig;
  rig.Frames(2000 / kFrameTime + 40);  // the board filled at 2000 ms, then 640 ms of falling
  rig.level.LevelPhase = LEVELPHASE_PLAYING;
  rig.level.introtime = 4000;
  Snapshot busy;
  rig.Take(busy);
  for (auto _ : state) {
    rig.Restore(busy);
    rig.level.HandleObjects(kFrameTime, false);
    rig.level.HandleObjects(kFrameTime, true);
    rig.level.HandleIdle(kFrameTime);
    rig.shared.ResetParticles();
    benchmark::DoNotOptimize(rig.level.grid);
  }
}
BENCHMARK(LevelFrame);

void LevelCheckHint(benchmark::State& state) {
  Rig rig;
  rig.Frames(6000 / kFrameTime);  // the first board landed and settled
  uint8_t start = 0;
  for (auto _ : state) {
    uint8_t column = 0, row = 0;
    benchmark::DoNotOptimize(rig.level.CheckHint(column, row, start));
    benchmark::DoNotOptimize(column);
    start = static_cast<uint8_t>((start + 1) & 7);
  }
}
BENCHMARK(LevelCheckHint);

}  // namespace

BENCHMARK_MAIN();
