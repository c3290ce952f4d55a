// TGlxWindowSurface: the renderer's OpenGL surface on an X window through GLX; the clock's text
// goes into each frame before it is presented. The context uses the window's own visual, so a
// window meant for the renderer is made with ChooseVisual. X errors are never fatal: those of these
// calls are reported, and while a surface lives, those GL raises while drawing are dropped
// (handlers are set and restored LIFO).
#pragma once

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <functional>
#include <memory>
#include <string>

#include "gl_surface.h"

class TGlxWindowSurface : public TGLSurface {
 public:
  // The visual for a window the renderer will draw in: RGBA, double buffered, the deepest depth
  // buffer offered and the fewest stencil bits above none. nullptr when the server has no such
  // visual (error says why); otherwise free it with XFree.
  static XVisualInfo* ChooseVisual(Display* display, int screen, std::string& error);
  // Whether the display is open and its server offers GLX; false and the reason in error if not.
  static bool ServerHasGlx(Display* display, std::string& error);

  // A context on window, current on return; nullptr and a message in error when the window is
  // gone, the server lacks GLX, the window's visual is not an RGBA OpenGL visual, or no context
  // can be made current. The display must stay open as long as the surface lives.
  static std::unique_ptr<TGlxWindowSurface> Create(Display* display, Window window,
                                                   std::string& error);
  ~TGlxWindowSurface() override;
  TGlxWindowSurface(const TGlxWindowSurface&) = delete;
  TGlxWindowSurface& operator=(const TGlxWindowSurface&) = delete;

  bool MakeCurrent() override;
  void ReleaseCurrent() override;
  // glXSwapBuffers, or a flush on a single-buffered visual; a window that has gone is ignored.
  // After the first frames, the pages the driver needed only to start are given back.
  void SwapBuffers() override;
  // Screen coordinates of the window's border edges; empty when the window is gone.
  TTextRect WindowRect() override;
  // The frame tick redraws the whole window; no expose is owed to anyone, so nothing is sent.
  void Invalidate() override;
  // Writes into the frame being drawn, in FreeType glyphs at the screen's pixels per inch; the
  // clip box is the client area (empty if the window is gone).
  TTextSurface& Text() override;
  // Where the client area's size is known without asking the server: a function that gives it,
  // or false when it does not know (then the server is asked, once a frame). A caller that
  // follows the window's ConfigureNotify events saves the clock a round trip every frame.
  using TSizeSource = std::function<bool(int& width, int& height)>;
  void KnowSizeFrom(TSizeSource source) { KnownSize = std::move(source); }
  bool TextGoesIntoFrame() const override { return true; }

  Window Target() const { return Win; }

 private:
  TGlxWindowSurface(Display* display, Window window);
  // The context on the window's visual, made current; false and the reason otherwise.
  bool Open(std::string& error);
  // The window's size, from KnownSize or else asked of the server once a frame: the text of
  // every view of a frame goes into the same drawable, and each question is a round trip.
  TTextRect ClientRect();

  Display* Dpy;
  Window Win;
  GLXContext Context = nullptr;
  bool DoubleBuffered = false;
  int Screen = 0;
  int Swaps = 0;  // frames presented, counted up to the last release of start-up memory
  TTextRect FrameRect{};
  bool FrameRectKnown = false;  // FrameRect holds the size of the frame being drawn
  TSizeSource KnownSize;
  // The error handler that was in force before this surface began to ignore X errors.
  XErrorHandler PreviousHandler = nullptr;
  bool HandlerSet = false;
  std::unique_ptr<TTextSurface> TextSurface;
};
