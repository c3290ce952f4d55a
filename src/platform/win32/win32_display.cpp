// What the saver learns of the displays and the power on Windows: the monitors and the primary
// one's refresh rate, the sight of a form window (win32_display.h), and whether the computer runs
// on its battery.
#include "win32_display.h"

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "forms.h"

namespace {

// What the headers of Windows XP's API level leave out: the power-setting broadcast of Vista and
// later, and the setting that carries the console display's state.
constexpr WPARAM PowerSettingChange = 0x8013;  // PBT_POWERSETTINGCHANGE
struct TPowerSetting {                         // POWERBROADCAST_SETTING
  GUID PowerSetting;
  DWORD DataLength;
  UCHAR Data[1];
};
// GUID_CONSOLE_DISPLAY_STATE, {6FE69556-704A-47A0-8F24-C28D936FDA47}: a DWORD, 0 off, 1 on,
// 2 dimmed.
const GUID ConsoleDisplayState = {
    0x6fe69556, 0x704a, 0x47a0, {0x8f, 0x24, 0xc2, 0x8d, 0x93, 0x6f, 0xda, 0x47}};
constexpr DWORD NotifyForThisSession = 0;  // NOTIFY_FOR_THIS_SESSION

// The notification calls, from user32 (Vista and later) and wtsapi32 (XP and later); each is null
// where the system lacks it, and the saver then runs as if the display and session never changed.
struct TNotifyCalls {
  HANDLE(WINAPI* RegisterPower)(HANDLE, const GUID*, DWORD) = nullptr;
  BOOL(WINAPI* UnregisterPower)(HANDLE) = nullptr;
  BOOL(WINAPI* RegisterSession)(HWND, DWORD) = nullptr;
  BOOL(WINAPI* UnregisterSession)(HWND) = nullptr;
};

// A DLL of the system directory, never one planted beside the saver or in the current folder.
HMODULE LoadSystemLibrary(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  const std::wstring path = std::wstring(folder, length) + L"\\" + name;
  return LoadLibraryW(path.c_str());
}

const TNotifyCalls& NotifyCalls() {
  static const TNotifyCalls calls = [] {
    TNotifyCalls found;
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    LookupCall(user32, "RegisterPowerSettingNotification", found.RegisterPower);
    LookupCall(user32, "UnregisterPowerSettingNotification", found.UnregisterPower);
    // Kept loaded for the process's life: windows may ask until it ends.
    HMODULE wtsapi32 = LoadSystemLibrary(L"wtsapi32.dll");
    LookupCall(wtsapi32, "WTSRegisterSessionNotification", found.RegisterSession);
    LookupCall(wtsapi32, "WTSUnRegisterSessionNotification", found.UnregisterSession);
    return found;
  }();
  return calls;
}

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

// ---- the sight of a form window ----

void TWin32SightWatch::Start(HWND window) {
  Stop();
  Window = window;
  const TNotifyCalls& calls = NotifyCalls();
  // The display's state comes at once, then with every change.
  if (calls.RegisterPower && calls.UnregisterPower)
    PowerNotify = calls.RegisterPower(window, &ConsoleDisplayState, DEVICE_NOTIFY_WINDOW_HANDLE);
  if (calls.RegisterSession && calls.UnregisterSession)
    SessionNotify = calls.RegisterSession(window, NotifyForThisSession) != FALSE;
}

void TWin32SightWatch::Stop() {
  if (PowerNotify) NotifyCalls().UnregisterPower(PowerNotify);
  if (SessionNotify) NotifyCalls().UnregisterSession(Window);
  PowerNotify = nullptr;
  SessionNotify = false;
  Window = nullptr;
}

bool TWin32SightWatch::Take(UINT message, WPARAM wParam, LPARAM lParam) {
  const bool seen = Seen();
  switch (message) {
    case WM_SIZE:
      Sight.Minimized = wParam == SIZE_MINIMIZED;
      break;
    case WM_WTSSESSION_CHANGE:
      ApplySessionChange(Sight, static_cast<unsigned>(wParam));
      break;
    case WM_POWERBROADCAST: {
      const auto* setting = reinterpret_cast<const TPowerSetting*>(lParam);
      if (wParam != PowerSettingChange || !setting || setting->DataLength < sizeof(DWORD) ||
          !IsEqualGUID(setting->PowerSetting, ConsoleDisplayState))
        break;
      DWORD state = 0;
      std::memcpy(&state, setting->Data, sizeof state);
      Sight.ConsoleDisplay = static_cast<int>(state);
      break;
    }
    default:
      break;
  }
  return Seen() != seen;
}

// ---- the services of forms.h ----

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

bool OnBatteryPower() {
  SYSTEM_POWER_STATUS status = {};
  if (!GetSystemPowerStatus(&status)) return false;
  // The byte after the battery's percentage is SystemStatusFlag (the battery saver, Windows 10
  // and later); older headers call it Reserved1, and older systems leave it 0.
  const BYTE* bytes = reinterpret_cast<const BYTE*>(&status);
  return Win32OnBattery(status.ACLineStatus,
                        bytes[offsetof(SYSTEM_POWER_STATUS, BatteryLifePercent) + 1]);
}
