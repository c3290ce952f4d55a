// TImageTextSurface: the text surface over an in-memory TImage, for offscreen frames. Glyphs
// come from FreeType, the font from fontconfig by name (its substitute when the name is
// missing); without any font it draws nothing. Nothing outside the image is ever written.
#pragma once

#include <memory>
#include <string>

#include "image.h"
#include "text_surface.h"

class TImageTextSurface : public TTextSurface {
 public:
  // The surface keeps a reference to the image and reads its size on every call, so the image
  // may be resized between frames; it must outlive the surface.
  explicit TImageTextSurface(TImage& image);
  ~TImageTextSurface() override;
  TImageTextSurface(const TImageTextSurface&) = delete;
  TImageTextSurface& operator=(const TImageTextSurface&) = delete;

  // The whole image.
  TTextRect ClipBox() override;
  int PixelsPerInch() override;
  // Logical pixels per inch used to turn points into pixels; 96 unless set. Values below 1
  // are raised to 1.
  void SetPixelsPerInch(int pixelsPerInch);
  void SetFont(const TFontSpec& font) override;
  void SetTransparentBackground(bool transparent) override;
  // Anti-aliased glyphs blended over the image in the font colour; the text cell's top edge
  // is at y and the baseline one ascent below it. With an opaque background the text cell is
  // first filled with white.
  void DrawText(int x, int y, const std::string& text) override;

  // The font file fontconfig chose for the current font, empty when none could be loaded.
  std::string FontFile() const;
  // The em height in pixels the current font is drawn at: points * PixelsPerInch / 72,
  // rounded to the nearest integer.
  int FontPixelSize() const;

 private:
  struct TFontState;

  TImage& Image;
  int Ppi = 96;
  TFontSpec Font;
  bool Transparent = true;
  std::unique_ptr<TFontState> State;
};
