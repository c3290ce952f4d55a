// TGLSurface: what the renderer needs from the platform to draw with OpenGL: a context made
// with the renderer's pixel format (RGBA, double buffer, the deepest depth buffer offered, at
// least 1 stencil bit), presenting a frame, the window's outer rectangle and its text surface.
#pragma once

#include "text_surface.h"

class TGLSurface {
 public:
  virtual ~TGLSurface() = default;

  // Makes the surface's context current on the calling thread; false when the platform refuses.
  virtual bool MakeCurrent() = 0;
  // Leaves the calling thread without a current context.
  virtual void ReleaseCurrent() = 0;
  // Presents the frame drawn since the previous call.
  virtual void SwapBuffers() = 0;
  // The window's outer rectangle in screen pixels, border included.
  virtual TTextRect WindowRect() = 0;
  // Marks the whole client area as needing a repaint, without erasing it.
  virtual void Invalidate() = 0;
  // The 2D text output: into the frame being drawn when TextGoesIntoFrame, so text is written
  // before SwapBuffers; over the presented frame otherwise, so it is written after.
  virtual TTextSurface& Text() = 0;
  virtual bool TextGoesIntoFrame() const { return false; }

  // Whether the display wants a frame now; false while it shows none of the window (a hidden
  // Wayland surface asks for no frames), so nothing need be drawn.
  virtual bool FrameWanted() { return true; }
  // Whether the window reaches the screen through one drawable per monitor (Wayland: a surface
  // on each output) rather than one drawable over them all. Each view is then drawn and presented
  // on its own: SelectView makes the drawable that shows view (pixels of the client area) current
  // and tells whether it wants a frame now; the frame drawn next is that drawable's, as large as
  // the text surface's clip box (view's shape, in the monitor's own pixels), and SwapBuffers
  // presents it.
  virtual bool DrawablePerMonitor() const { return false; }
  virtual bool SelectView(const TTextRect& view) {
    (void)view;
    return true;
  }
};
