// The icons of the program's top-level windows: the large one for Alt+Tab, the small one for
// the caption and the taskbar, each picked from the icon's sizes (16 to 256 pixels) by the size
// the system asks for.
#include "app_icon.h"

namespace {

LPARAM LoadAppIcon(int widthMetric, int heightMetric) {
  // Shared: the system keeps the icon for as long as the program, so no one destroys it.
  return reinterpret_cast<LPARAM>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(TUNDREL_ICON), IMAGE_ICON,
                 GetSystemMetrics(widthMetric), GetSystemMetrics(heightMetric), LR_SHARED));
}

}  // namespace

void SetWindowIcons(HWND window) {
  SendMessageW(window, WM_SETICON, ICON_BIG, LoadAppIcon(SM_CXICON, SM_CYICON));
  SendMessageW(window, WM_SETICON, ICON_SMALL, LoadAppIcon(SM_CXSMICON, SM_CYSMICON));
}
