// What the saver learns of the displays on Windows: the monitors and the primary one's refresh
// rate.
#include <vector>

#include "forms.h"
#include "windows_api.h"

namespace {

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
  MONITORINFO info = {};
  info.cbSize = sizeof info;
  if (GetMonitorInfoW(monitor, &info)) {
    const RECT& r = info.rcMonitor;
    auto* monitors = reinterpret_cast<std::vector<TScreenRect>*>(list);
    const TScreenRect rect{r.left, r.top, r.right - r.left, r.bottom - r.top};
    if (info.dwFlags & MONITORINFOF_PRIMARY)
      monitors->insert(monitors->begin(), rect);
    else
      monitors->push_back(rect);
  }
  return TRUE;
}

}  // namespace

std::vector<TScreenRect> MonitorRects() {
  std::vector<TScreenRect> monitors;
  EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
  if (monitors.empty())
    monitors.push_back(
        TScreenRect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)});
  return monitors;
}

double DisplayRefreshRate() {
  DEVMODEW mode = {};
  mode.dmSize = sizeof mode;
  if (!EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &mode)) return 0;
  // 0 and 1 stand for the hardware's default rate, which the system does not name.
  return mode.dmDisplayFrequency > 1 ? static_cast<double>(mode.dmDisplayFrequency) : 0;
}
