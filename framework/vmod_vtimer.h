// vmod_vtimer.h - the framework's clocks.
//
// ClassVRTimer reads the real time of day in milliseconds; ClassVVTimer turns
// real time into virtual time that can run slower or faster and be paused.
// The frame loop advances the virtual timer once per frame and hands its delta
// to the game, the frame-rate hold and the sound module.
// Depends on: platform/platform.h (the clock).
#pragma once

#include <cstdint>

// Real time: the time of day in milliseconds, wrapping at 2^32.
class ClassVRTimer {
 public:
  static uint32_t Count();                              // real time in ms: seconds * 1000 + microseconds / 1000
  static uint32_t Delta(uint32_t a, uint32_t b);        // a - b, across the wrap

  void Update();                                        // previous = current; current = Count()
  uint32_t RetrieveDelta() const;                       // current - previous

  uint32_t current = 0;                                 // real time (ms) of the last update
  uint32_t previous = 0;                                // real time (ms) of the update before
};

// Virtual time: real time scaled by speed / 1000, standing still while suspended.
class ClassVVTimer {
 public:
  void Reset();                                         // restart at virtual time 0 from the clock's now
  void Reset(uint32_t now);                             // restart at virtual time 0 from real time now (ms)
  void SetSpeed(uint32_t newspeed);                     // thousandths: 1000 real time, 400 slower, 2500 faster
  void Update();                                        // advance by the real time since the last advance
  void Update(uint32_t now);                            // the same, with the real time now (ms) given
  void Increase(uint32_t ms);                           // advance by ms of real time, clock untouched
  uint32_t RetrieveTime() const;                        // virtual time (ms)
  uint32_t RetrieveDelta() const;                       // virtual ms of the last advance (0 while suspended)
  void Suspend();                                       // virtual time stands still from now on
  void Resume();                                        // run again, not counting the paused period
  void Resume(uint32_t now);                            // the same, with the real time now (ms) given

  uint8_t suspended = 0;                                // while set, virtual time stands still
  uint32_t starttime = 0;                               // real time (ms) of the last reset
  uint32_t lasttime = 0;                                // real time (ms) of the last advance
  uint32_t remainder = 0;                               // carried part of a ms, in thousandths (0..999)
  uint32_t speed = 1000;                                // thousandths of real time
  uint32_t prevtime = 0;                                // virtual time (ms) before the last advance
  uint32_t time = 0;                                    // virtual time (ms)
  uint32_t clocknow = 0;                                // real time (ms) at the last update
  uint32_t clockprev = 0;                               // real time (ms) at the update before

 private:
  void Advance(uint32_t elapsed);                       // adds elapsed real ms at the current speed
};
