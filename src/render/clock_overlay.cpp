// The clock overlay: the local time in the user's long time format, written in yellow through
// the surface's 2D text output, into the frame or over it as the surface does text.
#include "drawer.h"

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
  // Points, a thirtieth of the view's height, and never below 8 (views under 240 pixels).
  int size = (view.Bottom - view.Top) / 30;
  if (size < 8) size = 8;
  font.Size = size;
  canvas.SetFont(font);
  // The same number serves as the margin in pixels from the view's top-left corner.
  canvas.DrawText(view.Left + size, view.Top + size, LongTimeText());
}
