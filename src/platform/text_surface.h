// TTextSurface: the 2D text output the clock overlay writes with, over a window or an image:
// a font chosen by name, size in points and colour, a transparent background, the clip box,
// text placed in pixels from the top-left corner of the client area.
#pragma once

#include <cstdint>
#include <string>

// <windows.h>, wherever it came in before this header, renames DrawText by a macro; the
// interface keeps its own name in every file.
#undef DrawText

struct TTextRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
};

struct TFontSpec {
  std::string Name = "Verdana";
  int Size = 8;  // points
  uint8_t Red = 0;
  uint8_t Green = 0;
  uint8_t Blue = 0;
};

class TTextSurface {
 public:
  virtual ~TTextSurface() = default;
  // The visible client rectangle in pixels (normally the whole client area).
  virtual TTextRect ClipBox() = 0;
  // Logical pixels per inch of the screen; a font of s points is s * this / 72 pixels high.
  virtual int PixelsPerInch() = 0;
  // How many of the surface's pixels make one pixel of a screen of 96 per inch: the scale the
  // desktop gives a high-density screen (1.5 for 150 %), 1 where the platform says none.
  virtual double PixelScale() { return 1; }
  // The text written next lies in area (pixels of the client area): a surface over monitors of
  // different densities then gives that area's pixels per inch and scale, until another is
  // selected. Elsewhere one density holds for the whole surface.
  virtual void SelectArea(const TTextRect& area) { (void)area; }
  virtual void SetFont(const TFontSpec& font) = 0;
  // Text drawn without a background box (the brush style "clear").
  virtual void SetTransparentBackground(bool transparent) = 0;
  // Draws UTF-8 text with the top-left corner of its cell at (x, y) pixels.
  virtual void DrawText(int x, int y, const std::string& text) = 0;
};

// The current local time written with the user's locale's long time format.
std::string LongTimeText();
