// The program's icon, resource TUNDREL_ICON of tundrel.rc (its first icon, which Explorer and
// the Screen Saver Settings show), and the windows that carry it. The header is read by the
// resource compiler too, which sees only the number.
#pragma once

#define TUNDREL_ICON 1

#ifndef RC_INVOKED
#include "windows_api.h"

// Gives a window class the icon, at the system's large and small icon sizes for its DPI; a
// module without the resource (a test program) leaves the class without one.
void SetClassIcons(WNDCLASSEXW& cls);
#endif
