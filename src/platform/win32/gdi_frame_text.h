// TGdiFrameText: the text surface over a window's OpenGL frame being drawn, written with GDI.
// The rectangle under the text is read back into a bitmap, GDI draws the text there exactly as
// it would on the window, and the rectangle goes back into the frame before it is presented.
#pragma once

#include <string>

#include "gdi_text_surface.h"
#include "text_surface.h"
#include "windows_api.h"

class TGdiFrameText : public TTextSurface {
 public:
  // window and its device context dc must outlive the surface; the OpenGL context that draws
  // the window's frames must be current for DrawText.
  TGdiFrameText(HWND window, HDC dc);
  ~TGdiFrameText() override;
  TGdiFrameText(const TGdiFrameText&) = delete;
  TGdiFrameText& operator=(const TGdiFrameText&) = delete;

  // GetClipBox of the window's device context, as text written on the window would have.
  TTextRect ClipBox() override;
  int PixelsPerInch() override { return Ink.PixelsPerInch(); }
  double PixelScale() override { return Ink.PixelScale(); }
  void SetFont(const TFontSpec& font) override;
  void SetTransparentBackground(bool transparent) override;
  // Read-modify-write of the text cell (and a margin for glyphs that reach past it) within
  // the client area; GL state is left as found.
  void DrawText(int x, int y, const std::string& text) override;

 private:
  // Makes the bitmap width x height pixels; false when GDI refuses.
  bool SizeBitmap(int width, int height);

  HWND Wnd;
  HDC WindowDc;
  HDC MemoryDc;
  HBITMAP Bitmap = nullptr;
  HGDIOBJ FirstBitmap = nullptr;
  unsigned char* Bits = nullptr;  // bottom-up rows of B, G, R, x: the order GL reads rows in
  int BitmapWidth = 0, BitmapHeight = 0;
  TGdiTextSurface Ink;
  // The text cell measured last: a clock changes its text once a second, so most frames reuse it.
  TFontSpec CellFont;
  std::string CellText;
  TTextRect Cell;
  bool CellValid = false;
};
