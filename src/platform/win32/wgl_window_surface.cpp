// The WGL surface: GetDC, ChoosePixelFormat/SetPixelFormat, wglCreateContext/wglMakeCurrent,
// SwapBuffers, and on the way out wglMakeCurrent(none), wglDeleteContext and ReleaseDC.
#include "wgl_window_surface.h"

PIXELFORMATDESCRIPTOR TWglWindowSurface::RequestedPixelFormat() {
  PIXELFORMATDESCRIPTOR pfd = {};
  pfd.nSize = 40;  // sizeof(PIXELFORMATDESCRIPTOR)
  pfd.nVersion = 1;
  pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  pfd.iPixelType = PFD_TYPE_RGBA;
  pfd.cColorBits = 16;
  pfd.cDepthBits = 64;  // more than any driver has: the deepest depth buffer on offer
  pfd.cStencilBits = 1;
  pfd.iLayerType = PFD_MAIN_PLANE;
  return pfd;
}

TWglWindowSurface::TWglWindowSurface(HWND window, HDC dc)
    : Wnd(window), Dc(dc), TextSurface(new TGdiFrameText(window, dc)) {
  TextSurface->SetTransparentBackground(true);
}

std::unique_ptr<TWglWindowSurface> TWglWindowSurface::Create(HWND window, std::string& error) {
  if (!IsWindow(window)) {
    error = "the window to draw in does not exist";
    return nullptr;
  }
  HDC dc = GetDC(window);
  if (!dc) {
    error = "the window's device context cannot be had";
    return nullptr;
  }
  std::unique_ptr<TWglWindowSurface> surface(new TWglWindowSurface(window, dc));

  const PIXELFORMATDESCRIPTOR pfd = RequestedPixelFormat();
  const int format = ChoosePixelFormat(dc, &pfd);
  // A window keeps the first pixel format it is given, so a refused SetPixelFormat still
  // leaves a usable window when an earlier format is in place.
  if (format == 0 || (!SetPixelFormat(dc, format, &pfd) && GetPixelFormat(dc) == 0)) {
    error = "no OpenGL pixel format can be set on the window";
    return nullptr;
  }
  surface->Context = wglCreateContext(dc);
  if (!surface->Context) {
    error = "no OpenGL context can be created on the window";
    return nullptr;
  }
  if (!surface->MakeCurrent()) {
    error = "the window's OpenGL context cannot be made current";
    return nullptr;
  }
  // Presents at most once per refresh where the driver offers a swap interval; the frame loop
  // keeps its own pace as well, for drivers that offer none.
  using TSwapInterval = BOOL(WINAPI*)(int);
  if (auto set = reinterpret_cast<TSwapInterval>(
          reinterpret_cast<void*>(wglGetProcAddress("wglSwapIntervalEXT"))))
    set(1);
  return surface;
}

TWglWindowSurface::~TWglWindowSurface() {
  TextSurface.reset();
  if (Context) {
    if (wglGetCurrentContext() == Context) wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(Context);
  }
  ReleaseDC(Wnd, Dc);
}

bool TWglWindowSurface::MoveTo(HWND window) {
  HDC dc = GetDC(window);
  if (!dc) return false;
  const PIXELFORMATDESCRIPTOR pfd = RequestedPixelFormat();
  const int format = ChoosePixelFormat(dc, &pfd);
  if (format == 0 || (!SetPixelFormat(dc, format, &pfd) && GetPixelFormat(dc) == 0) ||
      !wglMakeCurrent(dc, Context)) {
    ReleaseDC(window, dc);
    return false;
  }
  TextSurface.reset(new TGdiFrameText(window, dc));
  TextSurface->SetTransparentBackground(true);
  ReleaseDC(Wnd, Dc);
  Wnd = window;
  Dc = dc;
  return true;
}

bool TWglWindowSurface::MakeCurrent() {
  return Context && wglMakeCurrent(Dc, Context);
}

void TWglWindowSurface::ReleaseCurrent() {
  if (wglGetCurrentContext() == Context) wglMakeCurrent(nullptr, nullptr);
}

void TWglWindowSurface::SwapBuffers() {
  ::SwapBuffers(Dc);
}

TTextRect TWglWindowSurface::WindowRect() {
  RECT rect = {};
  if (!GetWindowRect(Wnd, &rect)) return TTextRect{};
  return TTextRect{rect.left, rect.top, rect.right, rect.bottom};
}

void TWglWindowSurface::Invalidate() {
  InvalidateRect(Wnd, nullptr, FALSE);
}

TTextSurface& TWglWindowSurface::Text() {
  return *TextSurface;
}
