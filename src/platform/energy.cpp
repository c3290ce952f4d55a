// The frame budget, the sight of a window on each platform and the battery test.
#include "energy.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

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

bool CoversMonitor(const TScreenRect& monitor, const TScreenRect& window, bool maximized,
                   bool fullScreen) {
  if (window.Width <= 0 || window.Height <= 0 || monitor.Width <= 0 || monitor.Height <= 0)
    return false;
  // 64-bit sums: a window may sit far off the screen.
  const int64_t monitorRight = int64_t(monitor.Left) + monitor.Width;
  const int64_t monitorBottom = int64_t(monitor.Top) + monitor.Height;
  const int64_t windowRight = int64_t(window.Left) + window.Width;
  const int64_t windowBottom = int64_t(window.Top) + window.Height;
  if (window.Left <= monitor.Left && window.Top <= monitor.Top && windowRight >= monitorRight &&
      windowBottom >= monitorBottom)
    return true;
  if (!maximized && !fullScreen) return false;
  // The centre, doubled to stay in whole numbers; a monitor holds its left and top edges only.
  const int64_t centreX2 = int64_t(window.Left) + windowRight;
  const int64_t centreY2 = int64_t(window.Top) + windowBottom;
  return centreX2 >= 2 * int64_t(monitor.Left) && centreX2 < 2 * monitorRight &&
         centreY2 >= 2 * int64_t(monitor.Top) && centreY2 < 2 * monitorBottom;
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
