// The program clock: the local time of day in seconds (fraction of the day times 86400) with
// millisecond resolution. It falls back by 86400 at local midnight; ElapsedSeconds measures
// an interval across that instant as the true elapsed time.
#pragma once

class TClockSource {
 public:
  virtual ~TClockSource() = default;
  virtual double Now() = 0;
};

// The real clock: local time of day, whole milliseconds.
class TLocalClock : public TClockSource {
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

// Replaces the process-wide clock (not owned); nullptr restores the real local clock.
void SetClockSource(TClockSource* source);

// A fresh reading of the current clock, in seconds since local midnight.
double ClockNow();

constexpr double SecondsPerDay = 86400.0;

// now - earlier, taking a reading that fell back across midnight as the next day's.
inline double ElapsedSeconds(double earlier, double now) {
  double elapsed = now - earlier;
  if (elapsed < 0) elapsed += SecondsPerDay;
  return elapsed;
}
