// The icons of the program's top-level windows: the large one for Alt+Tab, the small one for
// the caption and the taskbar, each picked from the icon's sizes (16 to 256 pixels) by the size
// the system asks for at the density of the window's monitor. A size the icon lacks is scaled
// down from a larger one (LoadIconWithScaleDown, comctl32 6.10 of Vista); Windows XP scales
// LoadImage's nearest instead.
#include "app_icon.h"

#include "win32_dpi.h"

namespace {

// The icon resource at cx by cy pixels; null where it is missing.
HICON LoadIconAt(int cx, int cy) {
  static const auto scaleDown = [] {
    HRESULT(WINAPI * call)(HINSTANCE, PCWSTR, int, int, HICON*) = nullptr;
    LookupCall(GetModuleHandleW(L"comctl32.dll"), "LoadIconWithScaleDown", call);
    return call;
  }();
  const HINSTANCE module = GetModuleHandleW(nullptr);
  HICON icon = nullptr;
  if (scaleDown != nullptr && scaleDown(module, MAKEINTRESOURCEW(TUNDREL_ICON), cx, cy, &icon) >= 0)
    return icon;
  return static_cast<HICON>(
      LoadImageW(module, MAKEINTRESOURCEW(TUNDREL_ICON), IMAGE_ICON, cx, cy, 0));
}

}  // namespace

void SetWindowIcons(HWND window) {
  RECT area{};
  GetWindowRect(window, &area);
  const int dpi = Win32ViewPixelsPerInch(DpiFacts(window, area));
  const int system = SystemPixelsPerInch();
  const struct {
    WPARAM Which;
    int Width, Height;  // the system's metrics of that icon
  } icons[] = {{ICON_BIG, SM_CXICON, SM_CYICON}, {ICON_SMALL, SM_CXSMICON, SM_CYSMICON}};
  for (const auto& icon : icons) {
    // The metrics are the system density's: scaled to the monitor's, so no icon is stretched.
    const HICON image = LoadIconAt(MulDiv(GetSystemMetrics(icon.Width), dpi, system),
                                   MulDiv(GetSystemMetrics(icon.Height), dpi, system));
    if (image == nullptr) continue;
    // Each icon is this window's own: the one it replaces, if any, was made here too.
    const LRESULT previous =
        SendMessageW(window, WM_SETICON, icon.Which, reinterpret_cast<LPARAM>(image));
    if (previous != 0) DestroyIcon(reinterpret_cast<HICON>(previous));
  }
}
