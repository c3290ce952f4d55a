// TGdiTextSurface: text drawn with GDI on a device context (a window's or a bitmap's) that the
// caller owns and keeps alive: a font made with CreateFont by name and points for the screen's
// logical pixels per inch, or those of the monitor it is told, TextOutW.
#pragma once

#include <string>

#include "text_surface.h"
#include "windows_api.h"

class TGdiTextSurface : public TTextSurface {
 public:
  explicit TGdiTextSurface(HDC dc);
  ~TGdiTextSurface() override;
  TGdiTextSurface(const TGdiTextSurface&) = delete;
  TGdiTextSurface& operator=(const TGdiTextSurface&) = delete;

  // GetClipBox of the device context: the client area, less what other windows cover.
  TTextRect ClipBox() override;
  // LOGPIXELSY of the screen, read once when the surface is made, until another is set.
  int PixelsPerInch() override;
  // The saver is DPI-aware: a screen of 144 pixels per inch is one scaled to 150 %.
  double PixelScale() override { return Ppi / 96.0; }
  // The density of the monitor the text is for (0 or less changes nothing); the font is made
  // anew for it at the next SetFont.
  void SetPixelsPerInch(int pixelsPerInch);
  // Makes a new GDI font only when the name or the size changes; the colour is kept apart.
  void SetFont(const TFontSpec& font) override;
  void SetTransparentBackground(bool transparent) override;
  // TextOutW with the top-left corner of the text cell at (x, y); the device context's own
  // font, colour and background mode are restored afterwards.
  void DrawText(int x, int y, const std::string& text) override;
  // The width and height in pixels of the cell DrawText gives the text in the current font;
  // 0 x 0 when GDI cannot measure it.
  SIZE TextExtent(const std::string& text);

  // The font's character height in pixels as CreateFont received it (negative: a cell height
  // without the internal leading), 0 before the first SetFont.
  int FontHeight() const { return Height; }

 private:
  HDC Dc;
  int Ppi = 96;
  TFontSpec Wanted;
  HFONT Font = nullptr;
  int Height = 0;
  int FontPpi = 0;  // the density Font was made for
  bool Transparent = true;
};
