// Pixels per inch on Windows as the system says them: the system's, each monitor's and each
// window's, with the frame and the dialog font of a window at a density, and the rules that
// decide by them (dpi_rules.h). The calls of newer Windows are looked up at run time, so the
// saver still starts where they are missing; there every window has the system's density.
#pragma once

#include "dpi_rules.h"
#include "windows_api.h"

// WM_DPICHANGED (Windows 8.1 and later), which the headers of Windows XP's API level leave out:
// a top-level window's density changed, the new one in each word of wParam, a window rectangle
// the system suggests for it at lParam.
constexpr UINT DpiChangedMessage = 0x02E0;
// WM_GETDPISCALEDSIZE (Windows 10 1703 and later): the size a top-level window wants at the
// density in wParam, written to the SIZE at lParam, before the system suggests a rectangle.
constexpr UINT DpiScaledSizeMessage = 0x02E4;

// The system's pixels per inch: the screen's LOGPIXELSY, read once; 96 when it cannot be read.
int SystemPixelsPerInch();
// What the system says of the density of the part area (screen pixels) of window. A null window
// stands for one yet to be made there by this thread.
TWin32Dpi DpiFacts(HWND window, const RECT& area);
// The pixels per inch text in the part area (pixels of the client area) of window is drawn at.
int ClientAreaPixelsPerInch(HWND window, const RECT& area);
// AdjustWindowRectEx with the frame's metrics at dpi where Windows has them (Windows 10 1607 and
// later), the system's elsewhere.
void AdjustWindowRectForDpi(RECT& rect, DWORD style, DWORD exStyle, int dpi);
// The font of message boxes and dialogs at dpi; null when the system does not say which it is.
HFONT CreateMessageFont(int dpi);
