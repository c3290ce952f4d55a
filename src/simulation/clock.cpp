// The program clock: local time of day from the system clock, or a substitute.
#include "clock.h"

#include <chrono>
#include <ctime>

namespace {
TLocalClock RealClock;
TClockSource* CurrentClock = &RealClock;
}  // namespace

double TLocalClock::Now() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  const std::time_t seconds = system_clock::to_time_t(now);
  std::tm local{};
  // Single-threaded program: the shared buffer of localtime is safe here.
  if (const std::tm* t = std::localtime(&seconds)) local = *t;
  return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + ms / 1000.0;
}

void SetClockSource(TClockSource* source) { CurrentClock = source ? source : &RealClock; }

double ClockNow() { return CurrentClock->Now(); }
