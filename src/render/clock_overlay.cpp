// The clock overlay: the local time in the user's long time format, written in yellow through
// the surface's 2D text output, into the frame or over it as the surface does text.
#include <algorithm>
#include <cmath>

#include "drawer.h"

TClockPlacement ClockPlacement(int pixelHeight, double scale) {
  if (!(scale > 0)) scale = 1;
  // A scaled screen's pixels are counted as those of a 96-per-inch one: the font, drawn at the
  // screen's own density, would otherwise grow with the scale twice over.
  const int height = static_cast<int>(std::lround(pixelHeight / scale));
  // Points, a thirtieth of the height, and never below 8 (views under 240 pixels).
  const int points = std::max(height / 30, 8);
  return TClockPlacement{points, static_cast<int>(std::lround(points * scale))};
}

void TDrawer::DrawClock() {
  DrawClock(TargetWindow.Text().ClipBox());
}

void TDrawer::DrawClock(const TTextRect& view) {
  TTextSurface& canvas = TargetWindow.Text();
  TFontSpec font;
  font.Red = 255;
  font.Green = 255;
  font.Blue = 0;
  font.Name = "Verdana";
  // Each view is counted at its own monitor's density.
  canvas.SelectArea(view);
  const TClockPlacement place = ClockPlacement(view.Bottom - view.Top, canvas.PixelScale());
  font.Size = place.Points;
  canvas.SetFont(font);
  canvas.DrawText(view.Left + place.Margin, view.Top + place.Margin, LongTimeText());
}
