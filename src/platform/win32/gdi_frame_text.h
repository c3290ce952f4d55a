// TGdiFrameText: the text surface over a window's OpenGL frame being drawn, written with GDI.
// The rectangle under the text is read back into a bitmap, GDI draws the text there exactly as
// it would on the window, and the rectangle goes back into the frame before it is presented.
// Text in each part of the window is drawn at the density of the monitor that part lies on.
#pragma once

#include <memory>
#include <string>
#include <vector>

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
  int PixelsPerInch() override { return Current().Surface.PixelsPerInch(); }
  double PixelScale() override { return Current().Surface.PixelScale(); }
  // Asks the system afresh every time: a monitor's scale may change without a message to this
  // window (only the monitor a window is counted on sends it WM_DPICHANGED).
  void SelectArea(const TTextRect& area) override;
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
  // The text of one density: its font, and the text cell measured last in it (a clock changes
  // its text once a second, so most frames reuse it).
  struct TInk {
    explicit TInk(HDC dc) : Surface(dc) {}
    TGdiTextSurface Surface;
    TFontSpec CellFont;
    std::string CellText;
    TTextRect Cell;
    bool CellValid = false;
  };
  TInk& Current() { return *Inks[Selected]; }
  // One for each density text was drawn at, the screen's first: views on monitors of different
  // densities keep their fonts from frame to frame.
  std::vector<std::unique_ptr<TInk>> Inks;
  size_t Selected = 0;
  bool Transparent = true;
};
