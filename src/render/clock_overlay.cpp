// The clock overlay: the local time in the user's long time format, written in yellow over the
// presented frame through the surface's 2D text output, after the GL frame is on screen.
#include "drawer.h"

void TDrawer::DrawClock() {
  TTextSurface& canvas = TargetWindow.Text();
  TFontSpec font;
  font.Red = 255;
  font.Green = 255;
  font.Blue = 0;
  font.Name = "Verdana";
  // Points, a thirtieth of the visible height, and never below 8 (windows under 240 pixels).
  const TTextRect clip = canvas.ClipBox();
  int size = (clip.Bottom - clip.Top) / 30;
  if (size < 8) size = 8;
  font.Size = size;
  canvas.SetFont(font);
  // The same number serves as the margin in pixels from the client area's top-left corner.
  canvas.DrawText(size, size, LongTimeText());
}
