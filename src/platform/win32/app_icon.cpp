// The class icons of the program's top-level windows: the large one for Alt+Tab and the
// taskbar, the small one for the caption and the taskbar at 100 % (each picked from the icon's
// sizes for the DPI the process sees).
#include "app_icon.h"

namespace {

HICON LoadAppIcon(HINSTANCE instance, int widthMetric, int heightMetric) {
  // Shared: the system keeps the icon for as long as the module, so no one destroys it.
  return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(TUNDREL_ICON), IMAGE_ICON,
                                       GetSystemMetrics(widthMetric),
                                       GetSystemMetrics(heightMetric), LR_SHARED));
}

}  // namespace

void SetClassIcons(WNDCLASSEXW& cls) {
  cls.hIcon = LoadAppIcon(cls.hInstance, SM_CXICON, SM_CYICON);
  cls.hIconSm = LoadAppIcon(cls.hInstance, SM_CXSMICON, SM_CYSMICON);
}
