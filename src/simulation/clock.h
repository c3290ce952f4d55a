// The program clock: seconds on a monotonic clock, counted from an arbitrary origin, with
// millisecond resolution. Every elapsed time (the world's step, the behaviour timers, the
// statistics) is a difference of two readings; changes of the local time of day (midnight,
// daylight saving time, the user or a time service setting the clock) never reach it. The
// local time of day is only what the clock overlay shows.
#pragma once

class TClockSource {
 public:
  virtual ~TClockSource() = default;
  virtual double Now() = 0;
};

// The real clock: std::chrono::steady_clock, which is CLOCK_MONOTONIC with glibc and
// QueryPerformanceCounter with the mingw-w64 runtime; whole milliseconds.
class TMonotonicClock : public TClockSource {
 public:
  double Now() override;
};

// A clock that only moves when told to; the headless driver and the tests use it.
class TManualClock : public TClockSource {
 public:
  explicit TManualClock(double start = 0.0) : Time(start) {}
  double Now() override { return Time; }
  void Set(double t) { Time = t; }

 private:
  double Time;
};

// Replaces the process-wide clock (not owned); nullptr restores the real monotonic clock.
void SetClockSource(TClockSource* source);

// A fresh reading of the current clock, in seconds.
double ClockNow();

// now - earlier. The real clock never runs back; a substitute that does gives an empty
// interval, never a negative one.
inline double ElapsedSeconds(double earlier, double now) {
  const double elapsed = now - earlier;
  return elapsed > 0 ? elapsed : 0.0;
}
