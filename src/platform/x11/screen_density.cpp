// The screen's density from the resource database's text and the screen's size.
#include "x11/screen_density.h"

#include <X11/Xatom.h>
#include <X11/Xresource.h>

#include <climits>
#include <cmath>

namespace {

constexpr double MinPixelsPerInch = 24.0, MaxPixelsPerInch = 1200.0;

bool Blank(char c) {
  return c == ' ' || c == '\t';
}

// The RESOURCE_MANAGER property of the first screen's root window, where xrdb and the desktops
// keep the database; empty when there is none.
std::string ResourceManagerText(Display* display) {
  // 32-bit units: 4 MB, far beyond any desktop's resources.
  constexpr long MaxWords = 1L << 20;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const int status =
      XGetWindowProperty(display, RootWindow(display, 0), XA_RESOURCE_MANAGER, 0, MaxWords, False,
                         XA_STRING, &type, &format, &count, &after, &data);
  std::string text;
  if (status == Success && data && type == XA_STRING && format == 8)
    text.assign(reinterpret_cast<const char*>(data), count);
  if (data) XFree(data);
  return text;
}

}  // namespace

double XftDpiOf(const std::string& resources) {
  XrmInitialize();
  const XrmDatabase database = XrmGetStringDatabase(resources.c_str());
  if (database == nullptr) return 0;
  char* type = nullptr;
  XrmValue value{};
  // Xft's own class for the resource, so "Xft*dpi" and "*dpi" count as with XGetDefault.
  const std::string text =
      XrmGetResource(database, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr ? value.addr : "";
  XrmDestroyDatabase(database);
  // Digits with an optional fraction, read without the C library's locale.
  double dpi = 0, unit = 1;
  bool digits = false, point = false;
  size_t i = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.' && !point) {
      point = true;
    } else if (c >= '0' && c <= '9' && dpi < 1e6) {
      digits = true;
      if (point) {
        unit /= 10;
        dpi += (c - '0') * unit;
      } else {
        dpi = dpi * 10 + (c - '0');
      }
    } else {
      break;
    }
  }
  while (i < text.size() && (Blank(text[i]) || text[i] == '\r')) ++i;
  return digits && i == text.size() ? dpi : 0;
}

int ScreenPixelsPerInch(Display* display, int screen) {
  const double xft = XftDpiOf(ResourceManagerText(display));
  if (xft >= MinPixelsPerInch && xft <= MaxPixelsPerInch) return static_cast<int>(std::lround(xft));
  // Along the diagonal, which the rounding of each side to whole millimetres skews least: a
  // server told 192 per inch says 192 and 193 along the sides of a 1280x720 screen.
  const int widthMM = DisplayWidthMM(display, screen), heightMM = DisplayHeightMM(display, screen);
  if (widthMM > 0 && heightMM > 0) {
    const double dpi = std::hypot(DisplayWidth(display, screen), DisplayHeight(display, screen)) *
                       25.4 / std::hypot(widthMM, heightMM);
    if (dpi >= MinPixelsPerInch && dpi <= MaxPixelsPerInch)
      return static_cast<int>(std::lround(dpi));
  }
  return 96;
}
