// TXftTextSurface: Xft text on an X window. The XftDraw is made once for the window's visual
// and colormap; the font is reopened only when its name or pixel size changes, the colour only
// when it changes.
#include "x11/xft_text_surface.h"

#include <X11/Xft/Xft.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "text/utf8.h"

namespace {

constexpr int kDefaultPixelsPerInch = 96;
constexpr int kPointsPerInch = 72;
constexpr double kMillimetresPerInch = 25.4;
// Resolutions outside this range are taken for a misreported screen size.
constexpr double kMinPixelsPerInch = 24.0;
constexpr double kMaxPixelsPerInch = 1200.0;
// The X protocol carries coordinates as 16-bit integers; text placed past them would wrap
// around onto the window instead of being clipped.
constexpr long long kMinCoordinate = -32768;
constexpr long long kMaxCoordinate = 32767;

int ScreenPixelsPerInch(Display* display, int screen) {
  if (const char* resource = XGetDefault(display, "Xft", "dpi")) {
    char* end = nullptr;
    const double dpi = std::strtod(resource, &end);
    if (end != resource && dpi >= kMinPixelsPerInch && dpi <= kMaxPixelsPerInch) {
      return static_cast<int>(std::lround(dpi));
    }
  }
  const int millimetres = DisplayHeightMM(display, screen);
  if (millimetres > 0) {
    const double dpi = DisplayHeight(display, screen) * kMillimetresPerInch / millimetres;
    if (dpi >= kMinPixelsPerInch && dpi <= kMaxPixelsPerInch) {
      return static_cast<int>(std::lround(dpi));
    }
  }
  return kDefaultPixelsPerInch;
}

bool InCoordinateRange(long long value) {
  return value >= kMinCoordinate && value <= kMaxCoordinate;
}

}  // namespace

struct TXftTextSurface::TXftState {
  Display* Dpy = nullptr;
  int Screen = 0;
  Visual* WindowVisual = nullptr;
  Colormap WindowColormap = 0;
  XftDraw* Draw = nullptr;

  XftFont* Font = nullptr;
  std::string FontName;
  int FontPixelSize = 0;
  bool FontLooked = false;  // a lookup was made for FontName at FontPixelSize

  XftColor Colour{};
  bool ColourAllocated = false;

  ~TXftState() {
    if (Font != nullptr) XftFontClose(Dpy, Font);
    if (ColourAllocated) XftColorFree(Dpy, WindowVisual, WindowColormap, &Colour);
    if (Draw != nullptr) XftDrawDestroy(Draw);
  }

  // Regular, upright face of the family; fontconfig substitutes a similar family when the
  // name is not installed.
  XftFont* FontFor(const std::string& name, int pixelSize) {
    if (FontLooked && name == FontName && pixelSize == FontPixelSize) return Font;
    if (Font != nullptr) XftFontClose(Dpy, Font);
    Font = XftFontOpen(Dpy, Screen, XFT_FAMILY, XftTypeString, name.c_str(), XFT_PIXEL_SIZE,
                       XftTypeDouble, static_cast<double>(pixelSize), XFT_WEIGHT, XftTypeInteger,
                       FC_WEIGHT_REGULAR, XFT_SLANT, XftTypeInteger, FC_SLANT_ROMAN, nullptr);
    FontLooked = true;
    FontName = name;
    FontPixelSize = pixelSize;
    return Font;
  }

  bool SetColour(uint8_t red, uint8_t green, uint8_t blue) {
    // 8-bit channels widen to 16 bits by repetition, so 255 becomes 0xFFFF.
    const XRenderColor wanted{static_cast<unsigned short>(red * 257),
                              static_cast<unsigned short>(green * 257),
                              static_cast<unsigned short>(blue * 257), 0xFFFF};
    if (ColourAllocated && Colour.color.red == wanted.red && Colour.color.green == wanted.green &&
        Colour.color.blue == wanted.blue) {
      return true;
    }
    if (ColourAllocated) XftColorFree(Dpy, WindowVisual, WindowColormap, &Colour);
    ColourAllocated = XftColorAllocValue(Dpy, WindowVisual, WindowColormap, &wanted, &Colour) != 0;
    return ColourAllocated;
  }
};

TXftTextSurface::TXftTextSurface(Display* display, Window window)
    : Dpy(display), Win(window), State(std::make_unique<TXftState>()) {
  State->Dpy = display;
  XWindowAttributes attributes;
  if (display == nullptr || XGetWindowAttributes(display, window, &attributes) == 0) return;
  State->Screen = XScreenNumberOfScreen(attributes.screen);
  State->WindowVisual = attributes.visual;
  State->WindowColormap = attributes.colormap;
  State->Draw = XftDrawCreate(display, window, attributes.visual, attributes.colormap);
  Ppi = ScreenPixelsPerInch(display, State->Screen);
}

TXftTextSurface::~TXftTextSurface() = default;

TTextRect TXftTextSurface::ClipBox() {
  TTextRect box;
  XWindowAttributes attributes;
  if (Dpy != nullptr && XGetWindowAttributes(Dpy, Win, &attributes) != 0) {
    box.Right = attributes.width;
    box.Bottom = attributes.height;
  }
  return box;
}

int TXftTextSurface::PixelsPerInch() {
  return Ppi;
}

void TXftTextSurface::SetFont(const TFontSpec& font) {
  Font = font;
}

void TXftTextSurface::SetTransparentBackground(bool transparent) {
  Transparent = transparent;
}

void TXftTextSurface::DrawText(int x, int y, const std::string& text) {
  if (State->Draw == nullptr) return;
  // Points to pixels rounded to the nearest integer, as GDI's MulDiv does.
  const long long pixelSize =
      (static_cast<long long>(Font.Size) * Ppi + kPointsPerInch / 2) / kPointsPerInch;
  if (Font.Size <= 0 || pixelSize <= 0 || pixelSize > kMaxCoordinate) return;
  XftFont* font = State->FontFor(Font.Name, static_cast<int>(pixelSize));
  if (font == nullptr || !State->SetColour(Font.Red, Font.Green, Font.Blue)) return;

  const long long baseline = static_cast<long long>(y) + font->ascent;
  if (!InCoordinateRange(x) || !InCoordinateRange(y) || !InCoordinateRange(baseline)) return;

  std::u32string codes = DecodeUtf8(text);
  std::vector<FcChar32> glyphs;
  glyphs.reserve(codes.size());
  for (char32_t c : codes) {
    // A space separator the font lacks becomes a plain space, not a missing-glyph box.
    if (IsSpaceSeparator(c) && !XftCharExists(Dpy, font, c)) c = ' ';
    glyphs.push_back(c);
  }
  const int length = static_cast<int>(glyphs.size());

  if (!Transparent) {
    XGlyphInfo extents;
    XftTextExtents32(Dpy, font, glyphs.data(), length, &extents);
    XftColor white;
    const XRenderColor whiteValue{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
    if (XftColorAllocValue(Dpy, State->WindowVisual, State->WindowColormap, &whiteValue, &white)) {
      XftDrawRect(State->Draw, &white, x, y, extents.xOff, font->ascent + font->descent);
      XftColorFree(Dpy, State->WindowVisual, State->WindowColormap, &white);
    }
  }
  XftDrawString32(State->Draw, &State->Colour, font, x, static_cast<int>(baseline), glyphs.data(),
                  length);
  XFlush(Dpy);
}
