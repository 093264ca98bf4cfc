// player.h - the current player's record: level, mode, score, the progress
// bar and the accumulators of the game flow. The shared state owns the one
// instance; the play field runs the game on it and the overlay sets its
// requests.
//
// Depends on: nothing.
#pragma once

#include <cstdint>

constexpr uint8_t PLAYER_MODE_EASY = 0;
constexpr uint8_t PLAYER_MODE_TIMED = 1;

class ClassPlayer {
 public:
  uint8_t level = 0;            // level number from 0; raised by each level-up
  uint8_t mode = PLAYER_MODE_EASY; // selects the rules and the high-score table
  uint32_t score = 0;           // points
  uint32_t progressShown = 0;   // copy of progress, refreshed after each timed tick and at reset
  uint32_t progress = 0;        // the bar, 0..1024; in timed mode also the remaining time
  uint32_t tickTime = 0;        // timed mode: milliseconds not yet turned into ticks
  uint32_t bonusClock = 0;      // 0 without a level-up bonus, else ms into it (starts at 1)
  uint32_t bonusSteps = 0;      // payouts made in the running level-up bonus
  uint32_t treasureCount = 0;   // accumulator for the next treasure object, 0..511
  uint32_t freezeCount = 0;     // accumulator that decides when a freeze aims at a move
  uint8_t hintRequest = 0;      // set by the overlay to ask for a hint
  uint8_t endRequest = 0;       // set by the overlay to give up the game
};
