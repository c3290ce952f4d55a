// The program's icon, resource TUNDREL_ICON of tundrel.rc (its first icon, which Explorer and
// the Screen Saver Settings show), and the windows that show it. The header is read by the
// resource compiler too, which sees only the number.
#pragma once

#define TUNDREL_ICON 1

#ifndef RC_INVOKED
#include "windows_api.h"

// Gives a top-level window the icon, large and small (WM_SETICON), at the system's icon sizes
// for the density of its monitor; again after a change of density. A program without the
// resource (a test) leaves it without one.
void SetWindowIcons(HWND window);
#endif
