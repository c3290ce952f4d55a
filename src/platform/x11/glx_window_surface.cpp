// The GLX surface: the visual choice for the renderer's pixel format, the context on a window,
// presenting and the window's rectangle. Every call that can raise an X error runs under a
// trap that swallows it and reports it to the caller instead of ending the process.
#include "x11/glx_window_surface.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "text/gl_frame_text.h"
#include "x11/cold_pages.h"
#include "x11/screen_density.h"

namespace {

// Catches X errors raised between its construction and Sync(); the handler that was installed
// before comes back when the trap ends. One thread only, like all X calls of this program.
class TXErrorTrap {
 public:
  explicit TXErrorTrap(Display* display) : Dpy(display) {
    XSync(Dpy, False);
    Caught = 0;
    Previous = XSetErrorHandler(&TXErrorTrap::Handle);
  }
  ~TXErrorTrap() {
    XSync(Dpy, False);
    XSetErrorHandler(Previous);
  }
  TXErrorTrap(const TXErrorTrap&) = delete;
  TXErrorTrap& operator=(const TXErrorTrap&) = delete;

  // The error code of the first error since the trap was set, 0 when none came.
  int Sync() {
    XSync(Dpy, False);
    return Caught;
  }

 private:
  static int Handle(Display*, XErrorEvent* event) {
    if (Caught == 0) Caught = event->error_code;
    return 0;
  }
  static int Caught;
  Display* Dpy;
  XErrorHandler Previous;
};

int TXErrorTrap::Caught = 0;

// While a surface lives, X errors that GL raises on its own (a window destroyed while a frame
// is drawn into it, as when the host closes its preview) are dropped instead of ending the
// program; the next frame tick notices the window is gone.
int IgnoreXError(Display*, XErrorEvent*) {
  return 0;
}

std::string WindowName(Window window) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(window));
  return text;
}

// Presents at most once per refresh where the driver offers a swap interval; Mesa's own switch
// vblank_mode=0 turns it off. A driver may offer none (Mesa's software rasteriser on a virtual X
// server) or offer one and not wait, so the frame loop keeps its own pace as well.
void WaitForRefreshOnSwap(Display* display, int screen, GLXDrawable drawable) {
  const char* vblank = std::getenv("vblank_mode");
  if (vblank && std::strcmp(vblank, "0") == 0) return;
  const char* list = glXQueryExtensionsString(display, screen);
  const std::string extensions = std::string(" ") + (list ? list : "") + " ";
  auto offered = [&](const char* name) {
    return extensions.find(std::string(" ") + name + " ") != std::string::npos;
  };
  auto address = [](const char* name) {
    return glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name));
  };
  if (offered("GLX_EXT_swap_control")) {
    using TSwapInterval = void (*)(Display*, GLXDrawable, int);
    if (auto set = reinterpret_cast<TSwapInterval>(address("glXSwapIntervalEXT")))
      return set(display, drawable, 1);
  }
  if (offered("GLX_MESA_swap_control")) {
    using TSwapInterval = int (*)(unsigned);
    if (auto set = reinterpret_cast<TSwapInterval>(address("glXSwapIntervalMESA"))) {
      set(1);
      return;
    }
  }
  if (offered("GLX_SGI_swap_control")) {
    using TSwapInterval = int (*)(int);
    if (auto set = reinterpret_cast<TSwapInterval>(address("glXSwapIntervalSGI"))) set(1);
  }
}

int FBConfigAttrib(Display* display, GLXFBConfig config, int attribute) {
  int value = 0;
  glXGetFBConfigAttrib(display, config, attribute, &value);
  return value;
}

}  // namespace

XVisualInfo* TGlxWindowSurface::ChooseVisual(Display* display, int screen, std::string& error) {
  int major = 0, minor = 0;
  if (!glXQueryVersion(display, &major, &minor) || major < 1 || (major == 1 && minor < 3)) {
    error = "the X server offers no GLX 1.3";
    return nullptr;
  }
  // clang-format off
  const int wanted[] = {
      GLX_X_RENDERABLE,  True,
      GLX_DRAWABLE_TYPE, GLX_WINDOW_BIT,
      GLX_RENDER_TYPE,   GLX_RGBA_BIT,
      GLX_DOUBLEBUFFER,  True,
      GLX_RED_SIZE,      1,
      GLX_GREEN_SIZE,    1,
      GLX_BLUE_SIZE,     1,
      GLX_DEPTH_SIZE,    1,
      GLX_STENCIL_SIZE,  1,
      None};
  // clang-format on
  int count = 0;
  GLXFBConfig* configs = glXChooseFBConfig(display, screen, wanted, &count);
  if (configs == nullptr || count <= 0) {
    if (configs) XFree(configs);
    error = "the X server has no double-buffered RGBA OpenGL visual with depth and stencil";
    return nullptr;
  }
  // The deepest depth buffer, then the fewest stencil bits, then 8-bit colour channels; among
  // equals the server's own order.
  XVisualInfo* best = nullptr;
  int bestDepth = -1, bestStencil = 0, bestEightBit = 0;
  for (int i = 0; i < count; ++i) {
    XVisualInfo* info = glXGetVisualFromFBConfig(display, configs[i]);
    if (info == nullptr) continue;
    const int depth = FBConfigAttrib(display, configs[i], GLX_DEPTH_SIZE);
    const int stencil = FBConfigAttrib(display, configs[i], GLX_STENCIL_SIZE);
    const int eightBit = FBConfigAttrib(display, configs[i], GLX_RED_SIZE) == 8 &&
                         FBConfigAttrib(display, configs[i], GLX_GREEN_SIZE) == 8 &&
                         FBConfigAttrib(display, configs[i], GLX_BLUE_SIZE) == 8;
    bool better = best == nullptr || depth > bestDepth ||
                  (depth == bestDepth &&
                   (stencil < bestStencil || (stencil == bestStencil && eightBit > bestEightBit)));
    if (better) {
      if (best) XFree(best);
      best = info;
      bestDepth = depth;
      bestStencil = stencil;
      bestEightBit = eightBit;
    } else {
      XFree(info);
    }
  }
  XFree(configs);
  if (best == nullptr) error = "no OpenGL configuration of the X server has an X visual";
  return best;
}

TGlxWindowSurface::TGlxWindowSurface(Display* display, Window window) : Dpy(display), Win(window) {}

bool TGlxWindowSurface::ServerHasGlx(Display* display, std::string& error) {
  if (display == nullptr) {
    error = "no X display";
    return false;
  }
  int errorBase = 0, eventBase = 0;
  if (!glXQueryExtension(display, &errorBase, &eventBase)) {
    error = "the X server has no GLX extension";
    return false;
  }
  return true;
}

std::unique_ptr<TGlxWindowSurface> TGlxWindowSurface::Create(Display* display, Window window,
                                                             std::string& error) {
  if (!ServerHasGlx(display, error)) return nullptr;

  std::unique_ptr<TGlxWindowSurface> surface(new TGlxWindowSurface(display, window));
  if (!surface->Open(error)) return nullptr;
  TGlxWindowSurface* self = surface.get();
  auto text = std::make_unique<TGLFrameText>([self] { return self->ClientRect(); });
  // The text is drawn at the density the desktop asks for, and the clock counts the view's
  // height in pixels of a 96-per-inch screen, as on Windows and Wayland: the same share of the
  // height whatever the density.
  const int pixelsPerInch = ScreenPixelsPerInch(display, self->Screen);
  text->SetPixelsPerInch(pixelsPerInch);
  text->SetPixelScale(pixelsPerInch / 96.0);
  surface->TextSurface = std::move(text);
  // Set only now: the trap of Open would put the previous handler back on its way out.
  surface->PreviousHandler = XSetErrorHandler(&IgnoreXError);
  surface->HandlerSet = true;
  return surface;
}

bool TGlxWindowSurface::Open(std::string& error) {
  TXErrorTrap trap(Dpy);
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(Dpy, Win, &attributes) || trap.Sync() != 0) {
    error = "window " + WindowName(Win) + " does not exist";
    return false;
  }

  XVisualInfo pattern{};
  pattern.visualid = XVisualIDFromVisual(attributes.visual);
  int count = 0;
  XVisualInfo* visual = XGetVisualInfo(Dpy, VisualIDMask, &pattern, &count);
  if (visual == nullptr || count < 1) {
    if (visual) XFree(visual);
    error = "the visual of window " + WindowName(Win) + " is unknown to the X server";
    return false;
  }
  int useGL = 0, rgba = 0, doubleBuffer = 0;
  glXGetConfig(Dpy, visual, GLX_USE_GL, &useGL);
  glXGetConfig(Dpy, visual, GLX_RGBA, &rgba);
  glXGetConfig(Dpy, visual, GLX_DOUBLEBUFFER, &doubleBuffer);
  if (!useGL || !rgba) {
    XFree(visual);
    error = "window " + WindowName(Win) + " has no RGBA OpenGL visual";
    return false;
  }
  DoubleBuffered = doubleBuffer != 0;
  Screen = XScreenNumberOfScreen(attributes.screen);
  Context = glXCreateContext(Dpy, visual, nullptr, True);
  XFree(visual);
  if (Context == nullptr || trap.Sync() != 0) {
    error = "no OpenGL context for window " + WindowName(Win);
    return false;
  }
  if (!MakeCurrent()) {
    error = "the OpenGL context of window " + WindowName(Win) + " cannot be made current";
    return false;
  }
  if (DoubleBuffered) WaitForRefreshOnSwap(Dpy, XScreenNumberOfScreen(attributes.screen), Win);
  return true;
}

TGlxWindowSurface::~TGlxWindowSurface() {
  TextSurface.reset();
  if (Context) {
    TXErrorTrap trap(Dpy);
    if (glXGetCurrentContext() == Context) glXMakeCurrent(Dpy, None, nullptr);
    glXDestroyContext(Dpy, Context);
  }
  if (HandlerSet) XSetErrorHandler(PreviousHandler);
}

bool TGlxWindowSurface::MakeCurrent() {
  TXErrorTrap trap(Dpy);
  const bool made = glXMakeCurrent(Dpy, Win, Context) == True;
  return made && trap.Sync() == 0;
}

void TGlxWindowSurface::ReleaseCurrent() {
  TXErrorTrap trap(Dpy);
  glXMakeCurrent(Dpy, None, nullptr);
}

void TGlxWindowSurface::SwapBuffers() {
  // No trap of its own: the surface ignores X errors for as long as it exists (a window gone
  // between two frames), and a trap would wait for the server twice every frame.
  if (DoubleBuffered)
    glXSwapBuffers(Dpy, Win);
  else
    glFlush();
  FrameRectKnown = false;
  // The first frame has had a software driver compile what the scene needs: its compiler (tens
  // of megabytes of code with Mesa's llvmpipe) and its work space lie idle from here on, and
  // the start-up's pages as well. They go back before the next frames add the depth buffer and
  // the rasteriser's work space; again after the 10th frame, for what the frames right after
  // the first still compiled (with llvmpipe, a few megabytes more of its compiler), and after
  // the 120th for anything compiled later still.
  constexpr int FramesToSettle = 120;
  auto releasesColdPages = [](int frame) {
    return frame == 1 || frame == 10 || frame == FramesToSettle;
  };
  // In its first 20-second cycle the snow table is arranged again and again as flakes that
  // start at every height meet, each time in smaller arrays, and the driver's work space for a
  // frame grows and shrinks with what is in view: the heap's free pages go back every 300
  // frames until then (25 s at 60 frames a second, later at fewer).
  constexpr int FramesBetweenReleases = 300, FramesToSettleSnow = 1500;
  if (Swaps < FramesToSettleSnow) {
    ++Swaps;
    if (releasesColdPages(Swaps))
      ReleaseColdPages();
    else if (Swaps % FramesBetweenReleases == 0)
      ReleaseFreeHeap();
  }
}

TTextRect TGlxWindowSurface::WindowRect() {
  TXErrorTrap trap(Dpy);
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(Dpy, Win, &attributes) || trap.Sync() != 0) return TTextRect{};
  int x = 0, y = 0;
  Window child = None;
  if (!XTranslateCoordinates(Dpy, Win, attributes.root, 0, 0, &x, &y, &child) || trap.Sync() != 0)
    return TTextRect{};
  const int border = attributes.border_width;
  return TTextRect{x - border, y - border, x + attributes.width + border,
                   y + attributes.height + border};
}

void TGlxWindowSurface::Invalidate() {}

TTextRect TGlxWindowSurface::ClientRect() {
  if (!FrameRectKnown) {
    int width = 0, height = 0;
    if (!KnownSize || !KnownSize(width, height)) {
      XWindowAttributes attributes;
      if (XGetWindowAttributes(Dpy, Win, &attributes) == 0) return TTextRect{};
      width = attributes.width;
      height = attributes.height;
    }
    FrameRect = TTextRect{0, 0, width, height};
    FrameRectKnown = true;
  }
  return FrameRect;
}

TTextSurface& TGlxWindowSurface::Text() {
  return *TextSurface;
}
