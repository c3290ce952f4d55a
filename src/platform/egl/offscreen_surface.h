// TOffscreenSurface: an OpenGL surface without a window or X server: an EGL pbuffer of a fixed
// size on Mesa's surfaceless platform with a legacy desktop GL context. Text goes into the frame
// being drawn, as on a window. Presenting finishes the frame; it is read back into an image when
// the image is first asked for after that, so ask before drawing the next frame. One thread only.
#pragma once

#include <memory>
#include <string>

#include "gl_surface.h"
#include "image.h"

class TOffscreenSurface : public TGLSurface {
 public:
  // A surface of width x height pixels whose context is current on return; nullptr and a
  // message in error when EGL or the GL context cannot be had. Unless LIBGL_ALWAYS_SOFTWARE is
  // already set, Mesa's software rasteriser is asked for, so a frame gives the same pixels on
  // every machine.
  static std::unique_ptr<TOffscreenSurface> Create(int width, int height, std::string& error);
  ~TOffscreenSurface() override;
  TOffscreenSurface(const TOffscreenSurface&) = delete;
  TOffscreenSurface& operator=(const TOffscreenSurface&) = delete;

  bool MakeCurrent() override;
  void ReleaseCurrent() override;
  // Finishes the frame, which Frame() then shows top row first, every pixel opaque as on a screen.
  void SwapBuffers() override;
  // (0, 0, width, height): the image stands for a window without a border at the origin.
  TTextRect WindowRect() override;
  // An image has no one to repaint it, so this only counts the calls.
  void Invalidate() override;
  // Writes into the frame being drawn; the clip box is the whole image.
  TTextSurface& Text() override;
  bool TextGoesIntoFrame() const override { return true; }

  // The last presented frame; the surface's context need not be current.
  const TImage& Frame() const {
    ReadFrame();
    return Image;
  }
  int InvalidateCount() const { return Invalidations; }
  // The depth and stencil bits of the chosen configuration.
  int DepthBits() const { return Depth; }
  int StencilBits() const { return Stencil; }

 private:
  struct TEglState;
  TOffscreenSurface(int width, int height);
  // Reads the presented frame into Image once after each swap.
  void ReadFrame() const;
  void ReadPixels() const;

  int Width;
  int Height;
  int Depth = 0;
  int Stencil = 0;
  int Invalidations = 0;
  mutable TImage Image;
  mutable bool FrameRead = true;  // Image holds the last presented frame
  std::unique_ptr<TEglState> Egl;
  std::unique_ptr<TTextSurface> TextSurface;
};
