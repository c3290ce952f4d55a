// The program clock: a monotonic clock in whole milliseconds, or a substitute.
#include "clock.h"

#include <chrono>

namespace {
TMonotonicClock RealClock;
TClockSource* CurrentClock = &RealClock;
}  // namespace

double TMonotonicClock::Now() {
  using namespace std::chrono;
  const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  return static_cast<double>(ms) / 1000.0;
}

void SetClockSource(TClockSource* source) {
  CurrentClock = source ? source : &RealClock;
}

double ClockNow() {
  return CurrentClock->Now();
}
