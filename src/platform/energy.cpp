// The frame budget, the sight of a window on each platform and the battery test.
#include "energy.h"

#include <algorithm>
#include <cmath>

double FrameBudget(double refresh, bool onBattery) {
  if (!(refresh > 0)) refresh = DefaultFrameRate;
  const double cap = onBattery ? BatteryFrameRateCap : FrameRateCap;
  // A display that says 75.02 Hz is a 75 Hz one: half a percent over the cap is not worth
  // halving the rate for.
  const double divisor = std::max(1.0, std::ceil(refresh / cap - 0.005));
  return refresh / divisor;
}

bool X11WindowSeen(const TX11Sight& sight) {
  if (!sight.Mapped || sight.Iconic || sight.Hidden || sight.FullyObscured) return false;
  return !sight.DpmsEnabled || sight.DpmsLevel == 0;
}

bool CoversMonitor(const TScreenRect& monitor, const TScreenRect& window, bool maximized,
                   bool fullScreen) {
  auto right = [](const TScreenRect& r) { return static_cast<long long>(r.Left) + r.Width; };
  auto bottom = [](const TScreenRect& r) { return static_cast<long long>(r.Top) + r.Height; };
  const bool spans = window.Left <= monitor.Left && window.Top <= monitor.Top &&
                     right(window) >= right(monitor) && bottom(window) >= bottom(monitor);
  if (!maximized && !fullScreen && !spans) return false;
  // Twice the centre, so that odd sizes need no rounding.
  const long long x = 2LL * window.Left + window.Width, y = 2LL * window.Top + window.Height;
  return x >= 2LL * monitor.Left && x < 2 * right(monitor) && y >= 2LL * monitor.Top &&
         y < 2 * bottom(monitor);
}

bool WaylandSurfaceSeen(bool framePending, double pendingSeconds) {
  return !framePending || pendingSeconds < FrameCallbackPatience;
}

bool Win32WindowSeen(const TWin32Sight& sight) {
  // A dimmed display still shows the scene.
  return sight.ConsoleDisplay != 0 && !sight.Minimized && !sight.Locked && !sight.Disconnected;
}

void ApplySessionChange(TWin32Sight& sight, unsigned code) {
  switch (code) {
    case 1:  // WTS_CONSOLE_CONNECT
    case 3:  // WTS_REMOTE_CONNECT
      sight.Disconnected = false;
      break;
    case 2:  // WTS_CONSOLE_DISCONNECT
    case 4:  // WTS_REMOTE_DISCONNECT
      sight.Disconnected = true;
      break;
    case 7:  // WTS_SESSION_LOCK
      sight.Locked = true;
      break;
    case 8:  // WTS_SESSION_UNLOCK
      sight.Locked = false;
      break;
    default:
      break;
  }
}

bool OnBatteryPower(const std::vector<TPowerSupply>& supplies) {
  bool battery = false;
  for (const TPowerSupply& supply : supplies) {
    if (supply.Type == "Battery") {
      if (supply.Present && !supply.Device) battery = true;
    } else if (supply.Online && !supply.Device) {
      return false;
    }
  }
  return battery;
}

bool Win32OnBattery(int acLineStatus, int systemStatusFlag) {
  return acLineStatus == 0 || (systemStatusFlag & 1) != 0;
}
