// TGLFrameText: the text surface over the OpenGL frame being drawn. Text goes into the frame
// before it is presented, so every presented frame carries it; the glyphs are the image text
// surface's, composited once onto a transparent stamp that OpenGL blends over the frame
// (OpenGL 1.1 only): nothing is read back, so the CPU never waits for the frame to be drawn. The
// stamp is kept in a texture until its text changes, once a second for a clock.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "gl_frame_patch.h"
#include "image.h"
#include "text/image_text_surface.h"
#include "text_surface.h"

class TGLFrameText : public TTextSurface {
 public:
  // frame gives the drawable's rectangle in pixels, (0, 0) its top-left corner, asked on every
  // call that needs it. The context that draws the frame must be current for DrawText.
  explicit TGLFrameText(std::function<TTextRect()> frame);

  TTextRect ClipBox() override { return Frame(); }
  int PixelsPerInch() override { return Glyphs.PixelsPerInch(); }
  void SetPixelsPerInch(int pixelsPerInch) { Glyphs.SetPixelsPerInch(pixelsPerInch); }
  double PixelScale() override { return Scale; }
  // The desktop's scale of the drawable's screen, where the platform has one.
  void SetPixelScale(double scale) { Scale = scale; }
  void SetFont(const TFontSpec& font) override;
  void SetTransparentBackground(bool transparent) override;
  // Blends the text over the current draw buffer; the pixels are those of the image text
  // surface to within a step of each channel. GL state is left as found.
  void DrawText(int x, int y, const std::string& text) override;
  // Gives the stamps' textures back to the context, which must be current; the context's end
  // frees them as well.
  void ReleaseTextures();

 private:
  std::function<TTextRect()> Frame;
  TFontSpec Font;
  bool Transparent = true;
  double Scale = 1;
  TImage Scratch;  // the image the glyphs are laid out for; nothing is drawn into it
  TImageTextSurface Glyphs{Scratch};
  // A text laid out once for where and how it was drawn. A clock changes its text once a second,
  // so most frames reuse the layout of each place (a clock per monitor) with its own font size.
  struct TLayout {
    TFontSpec Font;
    bool Transparent;
    int X, Y, PixelsPerInch;
    std::string Text;
    TTextInk Ink;
    // The ink over transparent black, colours premultiplied by coverage, rows bottom up as
    // OpenGL takes them; made for the part of the ink inside StampRect.
    TImage Stamp;
    TTextRect StampRect{};
    TBlendedPatch Kept;  // the stamp in a texture, where Texture says so
    bool Texture = false;
  };
  std::vector<TLayout> Layouts;
};
