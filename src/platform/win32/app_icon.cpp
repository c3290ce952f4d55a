// The icons of the program's top-level windows: the large one for Alt+Tab, the small one for
// the caption and the taskbar, each picked from the icon's sizes (16 to 256 pixels) by the size
// the system asks for at the density of the window's monitor.
#include "app_icon.h"

#include "win32_dpi.h"

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
    HANDLE image = LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(TUNDREL_ICON), IMAGE_ICON,
                              MulDiv(GetSystemMetrics(icon.Width), dpi, system),
                              MulDiv(GetSystemMetrics(icon.Height), dpi, system), 0);
    if (image == nullptr) continue;
    // Each icon is this window's own: the one it replaces, if any, was made here too.
    const LRESULT previous =
        SendMessageW(window, WM_SETICON, icon.Which, reinterpret_cast<LPARAM>(image));
    if (previous != 0) DestroyIcon(reinterpret_cast<HICON>(previous));
  }
}
