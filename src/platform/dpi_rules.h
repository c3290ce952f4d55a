// What the Windows saver draws at on monitors of different densities: the pixels per inch of a
// view's text from what the system says of its window and monitor, and the settings dialog's
// rectangles at a density. Pure decisions on plain facts, so each can be tested without a display.
#pragma once

#include "forms.h"

// The density designs are drawn for: 96 pixels per inch, a screen at 100 %.
constexpr int DesignPixelsPerInch = 96;

// What Windows says of the pixels per inch about a part of a window, 0 where it says nothing:
// the monitor the part lies on (GetDpiForMonitor, Windows 8.1 and later), the window's own
// (GetDpiForWindow, Windows 10 1607 and later: what the system draws the window at), and the
// system's (the screen's LOGPIXELSY, one for every monitor, fixed for the process's life).
struct TWin32Dpi {
  // The window follows each monitor's density itself (per-monitor awareness): the system
  // scales none of its pixels.
  bool PerMonitorAware = false;
  int Monitor = 0;
  int Window = 0;
  int System = 0;
};

// The pixels per inch text in that part of the window is drawn at: its monitor's when the window
// is aware of each monitor's density, else the window's (which the system scales to the monitor
// as a bitmap), else the system's, else 96. A WM_DPICHANGED changes the facts, so the next
// text of the window is drawn at the new density.
int Win32ViewPixelsPerInch(const TWin32Dpi& dpi);

// The settings dialog's design, in pixels of a 96-per-inch screen: its client area and its
// controls in tab order (cbShowTime, cbShowTrails, OK, Cancel). The GTK window has it as it is;
// the Windows window scales it below.
constexpr int DialogClientWidth = 294;
constexpr int DialogClientHeight = 151;
constexpr TScreenRect DialogControls[4] = {
    {24, 16, 97, 17},    // cbShowTime
    {24, 40, 97, 17},    // cbShowTrails
    {128, 112, 75, 25},  // OK
    {208, 112, 75, 25},  // Cancel
};
// The live wallpaper's box, a row under the two boxes, as far as the right margin, and before OK
// in tab order.
constexpr TScreenRect DialogWallpaperBox{24, 64, DialogClientWidth - 2 * 24, 17};

// The settings dialog at a density: its client area, its controls in tab order (cbShowTime,
// cbShowTrails, OK, Cancel) and the live wallpaper's box, each of the design's 96-per-inch numbers
// times dpi / 96 rounded to the nearest pixel (halves away from zero, as MulDiv). Densities of 0 or
// less count as 96.
struct TSettingsDialogLayout {
  int ClientWidth = 0;
  int ClientHeight = 0;
  TScreenRect Controls[4];
  TScreenRect WallpaperBox;
};
TSettingsDialogLayout SettingsDialogLayout(int dpi);
