// TImageTextSurface: the text surface over an in-memory TImage, for offscreen frames. Glyphs
// come from FreeType, the font from fontconfig by name (its substitute when the name is
// missing); without any font it draws nothing. Nothing outside the image is ever written.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image.h"
#include "text_surface.h"

// What DrawText writes, laid out but not yet blended: anti-aliased glyph masks and the
// optional background box, in pixels of the whole picture. Coordinates are 64-bit so text placed
// far outside cannot overflow.
struct TTextInk {
  struct TGlyph {
    long long Left, Top;
    int Width, Rows;
    std::vector<uint8_t> Coverage;  // 0..255, Width * Rows, rows from the top down
  };
  uint8_t Red = 0, Green = 0, Blue = 0;
  bool Filled = false;  // the background box is first filled with white
  long long FillLeft = 0, FillTop = 0, FillRight = 0, FillBottom = 0;
  std::vector<TGlyph> Glyphs;  // only the first GlyphCount are in use; the rest keep storage
  size_t GlyphCount = 0;
  // Every pixel the text writes lies in [Left, Right) x [Top, Bottom); empty when nothing does.
  long long Left = 0, Top = 0, Right = 0, Bottom = 0;

  bool Empty() const { return Left >= Right || Top >= Bottom; }
};

// Blends ink onto image, whose top-left pixel stands for (originX, originY) of the picture the
// ink was laid out for; whatever falls outside the image is left out.
void BlendInk(TImage& image, const TTextInk& ink, long long originX, long long originY);

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
  // Lays text out as DrawText places it, into ink (whose storage is reused), without touching
  // the image.
  void LayOut(int x, int y, const std::string& text, TTextInk& ink);

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
