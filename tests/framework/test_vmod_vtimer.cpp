// Tests of the real-time and virtual timers: scaled advances with the carried
// remainder, long gaps, wrap-around, pausing, and the platform clock.
#include <cstdint>
#include <ostream>
#include <vector>

#include <gtest/gtest.h>

#include "framework/vmod_vtimer.h"
#include "platform/host/host_devices.h"

namespace {

constexpr uint64_t US_PER_MS = 1000;

// --- ClassVVTimer: advances at a speed ----------------------------------------

struct ScaledAdvanceCase {
  const char* name;
  uint32_t speed;
  std::vector<uint32_t> advances;    // real ms of each advance
  std::vector<uint32_t> deltas;      // virtual ms each advance yields
  std::vector<uint32_t> remainders;  // thousandths carried after each advance
};

// Expected values follow virtual = (speed * real + carried) / 1000 by hand.
const ScaledAdvanceCase SCALED_ADVANCES[] = {
    {"SlowEvenSteps", 400, {5, 5, 5, 5}, {2, 2, 2, 2}, {0, 0, 0, 0}},
    {"SlowCarriedSteps", 400, {7, 7, 7, 7, 7}, {2, 3, 3, 3, 3}, {800, 600, 400, 200, 0}},
    {"RealTime", 1000, {16, 17, 1}, {16, 17, 1}, {0, 0, 0}},
    {"FastCarriedSteps", 2500, {3, 3, 1}, {7, 8, 2}, {500, 0, 500}},
    {"StandingStill", 0, {100, 200}, {0, 0}, {0, 0}},
};

void PrintTo(const ScaledAdvanceCase& c, std::ostream* os) { *os << c.name; }

class ScaledAdvance : public ::testing::TestWithParam<ScaledAdvanceCase> {};

TEST_P(ScaledAdvance, UpdateFromClockYieldsScaledDeltasWithCarry) {
  const ScaledAdvanceCase& c = GetParam();
  ClassVVTimer timer;
  uint32_t now = 5000;
  timer.Reset(now);
  timer.SetSpeed(c.speed);
  uint32_t total = 0;
  for (size_t i = 0; i < c.advances.size(); ++i) {
    now += c.advances[i];
    timer.Update(now);
    total += c.deltas[i];
    EXPECT_EQ(timer.RetrieveDelta(), c.deltas[i]) << "advance " << i;
    EXPECT_EQ(timer.remainder, c.remainders[i]) << "advance " << i;
    EXPECT_EQ(timer.RetrieveTime(), total) << "advance " << i;
  }
}

TEST_P(ScaledAdvance, IncreaseByRealTimeYieldsTheSameDeltas) {
  const ScaledAdvanceCase& c = GetParam();
  ClassVVTimer timer;
  timer.Reset(5000);
  timer.SetSpeed(c.speed);
  for (size_t i = 0; i < c.advances.size(); ++i) {
    timer.Increase(c.advances[i]);
    EXPECT_EQ(timer.RetrieveDelta(), c.deltas[i]) << "advance " << i;
    EXPECT_EQ(timer.remainder, c.remainders[i]) << "advance " << i;
  }
  EXPECT_EQ(timer.lasttime, 5000u);  // the clock is not consulted
}

INSTANTIATE_TEST_SUITE_P(Speeds, ScaledAdvance, ::testing::ValuesIn(SCALED_ADVANCES),
                         [](const ::testing::TestParamInfo<ScaledAdvanceCase>& info) { return info.param.name; });

TEST(VVTimer, SlowSevenMillisecondStepsSumToFourteen) {
  ClassVVTimer timer;
  timer.Reset(0);
  timer.SetSpeed(400);
  for (uint32_t now = 7; now <= 35; now += 7) {
    timer.Update(now);
  }
  EXPECT_EQ(timer.RetrieveTime(), 14u);
  EXPECT_EQ(timer.remainder, 0u);
}

// --- ClassVVTimer: long gaps and wrap-around -------------------------------------

struct LongGapCase {
  const char* name;
  uint32_t speed;
  uint32_t gap;        // real ms between two advances
  uint32_t delta;      // exact virtual ms
  uint32_t remainder;  // thousandths carried
};

constexpr uint32_t MS_PER_MINUTE = 60u * 1000u;

// speed x gap passes 2^32 in each case.
const LongGapCase LONG_GAPS[] = {
    {"TwoHoursFast", 2500, 120 * MS_PER_MINUTE, 300 * MS_PER_MINUTE, 0},
    {"TwoHoursAndOneMsFast", 2500, 120 * MS_PER_MINUTE + 1, 300 * MS_PER_MINUTE + 2, 500},
    {"SeventyTwoMinutesRealTime", 1000, 72 * MS_PER_MINUTE, 72 * MS_PER_MINUTE, 0},
    {"TenHoursSlow", 400, 600 * MS_PER_MINUTE, 240 * MS_PER_MINUTE, 0},
};

void PrintTo(const LongGapCase& c, std::ostream* os) { *os << c.name; }

class LongGap : public ::testing::TestWithParam<LongGapCase> {};

TEST_P(LongGap, UpdateCountsTheWholeGapExactly) {
  const LongGapCase& c = GetParam();
  ClassVVTimer timer;
  timer.Reset(1000);
  timer.SetSpeed(c.speed);
  timer.Update(1000 + c.gap);
  EXPECT_EQ(timer.RetrieveDelta(), c.delta);
  EXPECT_EQ(timer.remainder, c.remainder);
}

TEST_P(LongGap, IncreaseCountsTheWholeGapExactly) {
  const LongGapCase& c = GetParam();
  ClassVVTimer timer;
  timer.Reset(1000);
  timer.SetSpeed(c.speed);
  timer.Increase(c.gap);
  EXPECT_EQ(timer.RetrieveDelta(), c.delta);
  EXPECT_EQ(timer.remainder, c.remainder);
}

INSTANTIATE_TEST_SUITE_P(Gaps, LongGap, ::testing::ValuesIn(LONG_GAPS),
                         [](const ::testing::TestParamInfo<LongGapCase>& info) { return info.param.name; });

TEST(VVTimer, ElapsedTimeIsMeasuredAcrossTheClockWrap) {
  ClassVVTimer timer;
  timer.Reset(0xFFFFFFF0u);
  timer.Update(0x10u);
  EXPECT_EQ(timer.RetrieveDelta(), 32u);
  EXPECT_EQ(timer.lasttime, 0x10u);
}

TEST(VVTimer, VirtualTimeWrapsAsThirtyTwoBits) {
  ClassVVTimer timer;
  timer.Reset(0);
  timer.time = 0xFFFFFFF0u;
  timer.Update(32);
  EXPECT_EQ(timer.RetrieveTime(), 16u);
  EXPECT_EQ(timer.RetrieveDelta(), 32u);
}

// --- ClassVVTimer: state, reset, pausing -------------------------------------------

TEST(VVTimer, StartsRunningAtRealSpeedFromZero) {
  const ClassVVTimer timer;
  EXPECT_EQ(timer.suspended, 0u);
  EXPECT_EQ(timer.speed, 1000u);
  EXPECT_EQ(timer.starttime, 0u);
  EXPECT_EQ(timer.lasttime, 0u);
  EXPECT_EQ(timer.remainder, 0u);
  EXPECT_EQ(timer.prevtime, 0u);
  EXPECT_EQ(timer.time, 0u);
  EXPECT_EQ(timer.clocknow, 0u);
  EXPECT_EQ(timer.clockprev, 0u);
}

TEST(VVTimer, ResetRestartsVirtualTimeAndClearsThePause) {
  ClassVVTimer timer;
  timer.Reset(0);
  timer.SetSpeed(400);
  timer.Update(7);  // leaves a remainder of 800
  timer.Suspend();
  timer.Reset(9000);
  EXPECT_EQ(timer.starttime, 9000u);
  EXPECT_EQ(timer.lasttime, 9000u);
  EXPECT_EQ(timer.RetrieveTime(), 0u);
  EXPECT_EQ(timer.RetrieveDelta(), 0u);
  EXPECT_EQ(timer.remainder, 0u);
  EXPECT_EQ(timer.suspended, 0u);
  EXPECT_EQ(timer.speed, 400u);  // the speed is the caller's to keep
  timer.Update(9005);
  EXPECT_EQ(timer.RetrieveDelta(), 2u);
}

TEST(VVTimer, UpdateRemembersTheLastTwoClockReadings) {
  ClassVVTimer timer;
  timer.Reset(100);
  timer.Update(120);
  timer.Update(150);
  EXPECT_EQ(timer.clockprev, 120u);
  EXPECT_EQ(timer.clocknow, 150u);
}

TEST(VVTimer, SuspendedTimeStandsStillAndResumeSkipsThePause) {
  ClassVVTimer timer;
  timer.Reset(1000);
  timer.Update(1010);
  ASSERT_EQ(timer.RetrieveDelta(), 10u);

  timer.Suspend();
  for (uint32_t now : {1020u, 1500u, 4000u}) {
    timer.Update(now);
    EXPECT_EQ(timer.RetrieveDelta(), 0u) << "update at " << now;
    EXPECT_EQ(timer.clocknow, now);  // the clock is still followed
  }
  timer.Increase(50);
  EXPECT_EQ(timer.RetrieveDelta(), 0u);
  EXPECT_EQ(timer.RetrieveTime(), 10u);

  timer.Resume(5000);
  EXPECT_EQ(timer.suspended, 0u);
  timer.Update(5016);
  EXPECT_EQ(timer.RetrieveDelta(), 16u);  // only the time since the resume
  EXPECT_EQ(timer.RetrieveTime(), 26u);
}

TEST(VVTimer, ResumeWithoutSuspendKeepsCountingFromTheLastAdvance) {
  ClassVVTimer timer;
  timer.Reset(0);
  timer.Resume(500);
  timer.Update(600);
  EXPECT_EQ(timer.RetrieveDelta(), 600u);
}

TEST(VVTimer, ClockFormsReadThePlatformClock) {
  HostClock_UseVirtual(true, 50000 * US_PER_MS);
  ClassVVTimer timer;
  timer.Reset();
  EXPECT_EQ(timer.starttime, 50000u);
  HostClock_Advance(40 * US_PER_MS);
  timer.Update();
  EXPECT_EQ(timer.RetrieveDelta(), 40u);
  EXPECT_EQ(timer.clocknow, 50040u);

  timer.Suspend();
  HostClock_Advance(3000 * US_PER_MS);
  timer.Resume();
  HostClock_Advance(20 * US_PER_MS);
  timer.Update();
  EXPECT_EQ(timer.RetrieveDelta(), 20u);
}

// --- ClassVRTimer ------------------------------------------------------------------

struct ClockReadingCase {
  uint64_t microseconds;  // platform time of day
  uint32_t milliseconds;  // Count(): whole ms, modulo 2^32
};

constexpr uint64_t WRAP_MS = 0x100000000ull;

const ClockReadingCase CLOCK_READINGS[] = {
    {0, 0},
    {999, 0},
    {1000, 1},
    {1234567, 1234},
    {(WRAP_MS - 1) * US_PER_MS, 0xFFFFFFFFu},
    {WRAP_MS * US_PER_MS, 0},
    {(WRAP_MS + 1) * US_PER_MS + 500, 1},
    {1700000000ull * 1000000ull + 123456, static_cast<uint32_t>((1700000000ull * 1000ull + 123) % WRAP_MS)},
};

void PrintTo(const ClockReadingCase& c, std::ostream* os) { *os << c.microseconds << " us"; }

class ClockReading : public ::testing::TestWithParam<ClockReadingCase> {};

TEST_P(ClockReading, CountIsThePlatformTimeOfDayInWrappingMilliseconds) {
  HostClock_UseVirtual(true, GetParam().microseconds);
  EXPECT_EQ(ClassVRTimer::Count(), GetParam().milliseconds);
}

INSTANTIATE_TEST_SUITE_P(Times, ClockReading, ::testing::ValuesIn(CLOCK_READINGS));

TEST(RTimer, StartsAtZero) {
  const ClassVRTimer timer;
  EXPECT_EQ(timer.current, 0u);
  EXPECT_EQ(timer.previous, 0u);
  EXPECT_EQ(timer.RetrieveDelta(), 0u);
}

TEST(RTimer, UpdateMeasuresTheClockBetweenUpdates) {
  HostClock_UseVirtual(true, 7000 * US_PER_MS);
  ClassVRTimer timer;
  timer.Update();
  HostClock_Advance(33 * US_PER_MS);
  timer.Update();
  EXPECT_EQ(timer.previous, 7000u);
  EXPECT_EQ(timer.current, 7033u);
  EXPECT_EQ(timer.RetrieveDelta(), 33u);
}

TEST(RTimer, DeltaCountsAcrossTheWrap) {
  EXPECT_EQ(ClassVRTimer::Delta(5, 0xFFFFFFFEu), 7u);
  EXPECT_EQ(ClassVRTimer::Delta(300, 100), 200u);
}

}  // namespace
