// The density an X screen's text is drawn at: the Xft.dpi resource the desktop puts into the root
// window's RESOURCE_MANAGER property (read there, as GTK and Qt read it, so a value set after the
// program connected counts too), else the server's resolution from the screen's size in
// millimetres.
#pragma once

#include <X11/Xlib.h>

#include <string>

// The value the X resource manager gives for Xft.dpi (class Xft.Dpi) from a resource database's
// text, so "Xft*dpi" and "*dpi" count and the most specific entry wins, as with XGetDefault. 0
// when there is none or its value is no number.
double XftDpiOf(const std::string& resources);

// Logical pixels per inch of the screen: Xft.dpi, else the screen's diagonal in pixels and
// millimetres, else 96. Values outside 24..1200 are taken for a misreported screen and passed
// over.
int ScreenPixelsPerInch(Display* display, int screen);
