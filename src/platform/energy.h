// What keeps the saver from spending energy on nobody: the frame budget of a display, whether
// anyone can see a window from the facts each platform records of it, and whether the computer
// runs on its battery. Pure decisions on plain facts, so each can be tested without a display.
#pragma once

#include <string>
#include <vector>

#include "forms.h"

// Frames per second at most: on mains power, and on the battery.
constexpr double FrameRateCap = 75.0;
constexpr double BatteryFrameRateCap = 30.0;
// Frames per second where the display does not say its refresh rate.
constexpr double DefaultFrameRate = 60.0;

// The frames per second for a display that refreshes refresh times a second (DefaultFrameRate
// when 0 or less): the refresh divided by the smallest whole number that brings it to the cap
// or below, so that every frame stays on the screen for the same number of refreshes. 60 and
// 75 Hz keep their rate, 120 gives 60, 144 gives 72, 165 gives 55, 240 gives 60, 360 gives 72.
double FrameBudget(double refresh, bool onBattery);

// ---- whether anyone can see a window ----

// A window of ours on X11, as the server and the window manager describe it.
struct TX11Sight {
  bool Mapped = false;
  bool Iconic = false;         // WM_STATE says IconicState
  bool Hidden = false;         // _NET_WM_STATE holds _NET_WM_STATE_HIDDEN
  bool FullyObscured = false;  // the last VisibilityNotify said VisibilityFullyObscured
  bool DpmsEnabled = false;    // the server has DPMS and it is switched on
  int DpmsLevel = 0;           // DPMSModeOn 0, Standby 1, Suspend 2, Off 3
};
bool X11WindowSeen(const TX11Sight& sight);

// A Wayland surface whose last frame is on its way to the screen is seen until its frame
// callback has stayed away for this long (a hidden workspace, a lock screen over it, outputs
// powered off), in seconds.
constexpr double FrameCallbackPatience = 1.0;
bool WaylandSurfaceSeen(bool framePending, double pendingSeconds);

// A window of ours on Windows, as its messages describe it.
struct TWin32Sight {
  int ConsoleDisplay = 1;  // GUID_CONSOLE_DISPLAY_STATE: 0 off, 1 on, 2 dimmed
  bool Minimized = false;
  bool Locked = false;        // WTS_SESSION_LOCK until WTS_SESSION_UNLOCK
  bool Disconnected = false;  // a console or remote disconnect until a connect
};
bool Win32WindowSeen(const TWin32Sight& sight);
// The sight after a WM_WTSSESSION_CHANGE with that code (WTS_CONSOLE_CONNECT 1 … WTS_SESSION_UNLOCK
// 8); other codes change nothing.
void ApplySessionChange(TWin32Sight& sight, unsigned code);

// Whether a window hides a monitor from sight (rectangles in screen pixels): it spans the whole
// monitor, or it is maximised or full screen and that monitor holds its centre (a maximised
// window's borders reach a few pixels into its neighbours). A window of no area covers nothing.
bool CoversMonitor(const TScreenRect& monitor, const TScreenRect& window, bool maximized,
                   bool fullScreen);

// ---- the battery ----

// One entry of Linux's power-supply class.
struct TPowerSupply {
  std::string Type;     // "Battery", "Mains", "USB", "UPS" …
  bool Online = false;  // an external supply that delivers power
  bool Present = true;  // a battery that is in its bay
  bool Device = false;  // scope "Device": a mouse's or a headset's battery, not the computer's
};
// A battery of the computer is present and no external supply is online.
bool OnBatteryPower(const std::vector<TPowerSupply>& supplies);
// GetSystemPowerStatus's answer: ACLineStatus 0 (offline), or the battery saver on (bit 0 of
// SystemStatusFlag).
bool Win32OnBattery(int acLineStatus, int systemStatusFlag);
