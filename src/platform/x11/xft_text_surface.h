// TXftTextSurface: the text surface over an X window, drawn with Xft (fontconfig picks the font
// by name, or its substitute). The display must outlive the surface; a font that cannot be found
// draws nothing, and so does a vanished window as long as X errors are handled as non-fatal.
#pragma once

#include <X11/Xlib.h>

#include <memory>
#include <string>

#include "text_surface.h"

class TXftTextSurface : public TTextSurface {
 public:
  TXftTextSurface(Display* display, Window window);
  ~TXftTextSurface() override;
  TXftTextSurface(const TXftTextSurface&) = delete;
  TXftTextSurface& operator=(const TXftTextSurface&) = delete;

  // The window's client area, read from the server on every call; empty if the window is gone.
  TTextRect ClipBox() override;
  // The Xft.dpi resource, else the screen's size in pixels and millimetres, else 96; read once
  // when the surface is created.
  int PixelsPerInch() override;
  void SetFont(const TFontSpec& font) override;
  void SetTransparentBackground(bool transparent) override;
  // Draws with the baseline one font ascent below y and flushes, so the text shows at once.
  void DrawText(int x, int y, const std::string& text) override;

 private:
  struct TXftState;

  Display* Dpy;
  Window Win;
  int Ppi = 96;
  TFontSpec Font;
  bool Transparent = true;
  std::unique_ptr<TXftState> State;
};
