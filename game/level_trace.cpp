// level_trace.cpp - a plain-text record of every play-field frame: what it
// was given, what the rules drew from the random generator, and the whole
// model afterwards, so that two runs can be compared line by line to find
// the frame where they part. The format is described in docs/trace.md.
//
// Depends on: game/level.h, game/shared.h.
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "game/level.h"
#include "game/shared.h"

namespace {

// Appends formatted text to a fixed record; what does not fit is dropped.
void Append(char* record, uint32_t size, const char* format, ...) {
  const size_t used = std::strlen(record);
  if (used + 1 >= size) return;
  va_list args;
  va_start(args, format);
  std::vsnprintf(record + used, size - used, format, args);
  va_end(args);
}

}  // namespace

bool ClassLevel::OpenTrace(const char* path) {
  std::FILE* file = std::fopen(path, "w");
  if (file == nullptr) return false;
  SetTrace(file);
  traceowned = true;
  return true;
}

void ClassLevel::SetTrace(std::FILE* file) {
  if (traceowned && trace != nullptr) std::fclose(trace);
  trace = file;
  traceowned = false;
  traceframe = 0;
}

void ClassLevel::TraceInput(const char* format, int32_t a, int32_t b) {
  if (trace == nullptr) return;
  Append(traceinputs, LEVEL_TRACEINPUTS, traceinputs[0] != 0 ? ", " : "");
  Append(traceinputs, LEVEL_TRACEINPUTS, format, a, b);
}

void ClassLevel::TraceSound(char kind, uint32_t slot) {
  if (trace == nullptr) return;
  Append(tracesounds, LEVEL_TRACESOUNDS, " %c%u", kind, slot);
}

void ClassLevel::TraceFrame(uint32_t t) {
  if (trace == nullptr) return;
  const ClassPlayer& player = Player();
  std::FILE* out = trace;
  std::fprintf(out, "frame %u t %u rand %08x phase %u\n", traceframe++, t, tracegen, LevelPhase);
  std::fprintf(out, "input %s\n", traceinputs[0] != 0 ? traceinputs : "-");
  std::fprintf(out,
               "timers intro %u create %u freeze %u count %u shown %u hint %u total %u unsettled %u drop %u/%u "
               "siren %u\n",
               introtime, createtime, freezetime, counttime, shownscore, hinttime, totaltime, unsettledtime,
               droptime, dropcount, sirentime);
  std::fprintf(out, "cursor %u %u sel %u swap %u %u lock %u hintcell %u %u over %u\n", cursorx, cursory, selected,
               swapx, swapy, swaplock, hintx, hinty, gameover);
  std::fprintf(out,
               "player level %u mode %u score %u progress %u/%u tick %u bonus %u/%u treasure %u freeze %u "
               "requests %u %u\n",
               player.level, player.mode, player.score, player.progress, player.progressShown, player.tickTime,
               player.bonusClock, player.bonusSteps, player.treasureCount, player.freezeCount, player.hintRequest,
               player.endRequest);
  std::fprintf(out, "grid");
  for (uint16_t cell : grid) std::fprintf(out, " %u", cell);
  std::fprintf(out, "\nobjects");
  for (int32_t slot = 0; slot < LEVEL_OBJECTS; slot++) {
    const LEVEL_OBJECT& o = objects[slot];
    if (o.type == OBJTYPE_FREE) continue;
    std::fprintf(out, " %d:%u,%u,%d,%u,%u,%u,%d,%d,%d,%d", slot, o.param, o.fade, o.clock, o.type, o.state, o.frame,
                 o.x, o.y, o.offsetX, o.offsetY);
  }
  std::fprintf(out, "\nscores");
  for (int32_t slot = 0; slot < LEVEL_SCOREOBJECTS; slot++) {
    const SCORE_OBJECT& s = scoreobjects[slot];
    if (s.value != 0) std::fprintf(out, " %d:%u,%u,%d,%d", slot, s.age, s.value, s.x, s.y);
  }
  std::fprintf(out, "\nsound%s\n", tracesounds[0] != 0 ? tracesounds : " -");
  traceinputs[0] = 0;
  tracesounds[0] = 0;
}
