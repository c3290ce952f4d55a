// TWglWindowSurface: the renderer's OpenGL surface on a window through WGL: the window's device
// context with the renderer's pixel format, a rendering context current on the creating thread,
// and the GDI text the clock is written with into each frame before it is presented. A window
// takes one pixel format for life. TOwnedWindowSurface: the same on a window of ours that lies
// in another owner's window.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "gdi_frame_text.h"
#include "gl_surface.h"
#include "windows_api.h"

class TWglWindowSurface : public TGLSurface {
 public:
  // The descriptor the renderer asks for: RGBA, double buffered, 16 colour bits, 64 depth bits,
  // 1 stencil bit, main plane; ChoosePixelFormat picks the nearest format the driver offers.
  static PIXELFORMATDESCRIPTOR RequestedPixelFormat();

  // A context on window's device context, current on return; nullptr and a message in error
  // when the window is gone, no pixel format is set, or no context can be created or made
  // current. The window must outlive the surface.
  static std::unique_ptr<TWglWindowSurface> Create(HWND window, std::string& error);
  ~TWglWindowSurface() override;
  TWglWindowSurface(const TWglWindowSurface&) = delete;
  TWglWindowSurface& operator=(const TWglWindowSurface&) = delete;

  bool MakeCurrent() override;
  void ReleaseCurrent() override;
  void SwapBuffers() override;
  // GetWindowRect: screen coordinates of the window's border edges; empty when it is gone.
  TTextRect WindowRect() override;
  // InvalidateRect over the whole client area, without erasing the background.
  void Invalidate() override;
  TTextSurface& Text() override;
  bool TextGoesIntoFrame() const override { return true; }

  HWND Window() const { return Wnd; }
  // Goes on drawing in another window, the old one's successor, with the same context (the
  // renderer's textures and lists stay): the same pixel format is set on it. The old window may
  // be gone. False, and the surface as it was, when the new window refuses.
  bool MoveTo(HWND window);

 private:
  TWglWindowSurface(HWND window, HDC dc);

  HWND Wnd;
  HDC Dc;
  HGLRC Context = nullptr;
  std::unique_ptr<TGdiFrameText> TextSurface;
};

// The renderer's surface on a window of ours that lies in another owner's window (a preview
// host's, the desktop's): draws as the inner surface does, and once that has let go of the
// window, onGone takes the window away.
class TOwnedWindowSurface : public TGLSurface {
 public:
  TOwnedWindowSurface(std::unique_ptr<TWglWindowSurface> inner, std::function<void()> onGone)
      : Inner(std::move(inner)), OnGone(std::move(onGone)) {}
  ~TOwnedWindowSurface() override {
    Inner.reset();
    OnGone();
  }
  TOwnedWindowSurface(const TOwnedWindowSurface&) = delete;
  TOwnedWindowSurface& operator=(const TOwnedWindowSurface&) = delete;

  bool MakeCurrent() override { return Inner->MakeCurrent(); }
  void ReleaseCurrent() override { Inner->ReleaseCurrent(); }
  void SwapBuffers() override { Inner->SwapBuffers(); }
  TTextRect WindowRect() override { return Inner->WindowRect(); }
  void Invalidate() override { Inner->Invalidate(); }
  TTextSurface& Text() override { return Inner->Text(); }
  bool TextGoesIntoFrame() const override { return Inner->TextGoesIntoFrame(); }

 private:
  std::unique_ptr<TWglWindowSurface> Inner;
  std::function<void()> OnGone;
};
