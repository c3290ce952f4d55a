// The renderer's OpenGL surface on a Wayland form: EGL on the compositor's connection with a
// legacy desktop OpenGL context, shared by the EGL window surfaces of the form's wl_surfaces.
// A swap never waits for the display (swap interval 0); instead each drawable asks for a frame
// callback before it presents and wants no frame until that callback has come, so an output the
// compositor does not show costs no drawing.
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>

#include "egl/egl_config.h"
#include "energy.h"
#include "gl_surface.h"
#include "text/gl_frame_text.h"
#include "wayland/wayland_backend.h"

namespace {

void FrameDone(void* data, wl_callback* callback, uint32_t) {
  TWlDrawable& drawable = *static_cast<TWlDrawable*>(data);
  if (drawable.Frame == callback) {
    drawable.Frame = nullptr;
    // An answer that kept the window waiting this long says it is shown again: its form hears
    // of it at once instead of at its next slow tick.
    if (MonotonicSeconds() - drawable.FrameAskedAt >= FrameCallbackPatience) {
      TWaylandState* state = drawable.State;
      const TWindowHandle handle = drawable.Window;
      state->Defer([state, handle] {
        if (TWlWindow* window = state->WindowOf(handle)) window->Form->SeenChanged();
      });
    }
  }
  wl_callback_destroy(callback);
}

const wl_callback_listener FrameListener = [] {
  wl_callback_listener listener{};
  listener.done = FrameDone;
  return listener;
}();

// Wayland tells no client the screen's physical size: text is sized as on a screen of 96 pixels
// per inch, times the output's scale.
constexpr int BasePixelsPerInch = 96;

class TWaylandGLSurface : public TGLSurface {
 public:
  TWaylandGLSurface(TWaylandState& state, TWindowHandle window) : State(state), Window(window) {
    TextSurface = std::make_unique<TGLFrameText>([this] { return FrameRect(); });
    TextSurface->SetPixelsPerInch(BasePixelsPerInch);
  }
  ~TWaylandGLSurface() override {
    // The context outlives the surface: the text's textures go back to it while it is current.
    const bool current =
        State.Egl.Display != EGL_NO_DISPLAY && eglGetCurrentContext() == State.Egl.Context;
    if (current) TextSurface->ReleaseTextures();
    TextSurface.reset();
    if (current) eglMakeCurrent(State.Egl.Display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  }

  bool MakeCurrent() override {
    if (TWlDrawable* drawable = Target(); drawable && drawable->EglSurface != EGL_NO_SURFACE)
      return Current(*drawable);
    const TWlEgl& egl = State.Egl;
    if (egl.Surfaceless)
      return eglMakeCurrent(egl.Display, EGL_NO_SURFACE, EGL_NO_SURFACE, egl.Context) == EGL_TRUE;
    // Without surfaceless contexts, any drawable of the window will do until one is chosen.
    if (TWlWindow* window = State.WindowOf(Window))
      for (const auto& drawable : window->Drawables)
        if (drawable->EglSurface != EGL_NO_SURFACE) return Current(*drawable);
    return false;
  }

  void ReleaseCurrent() override {
    if (State.Egl.Display != EGL_NO_DISPLAY)
      eglMakeCurrent(State.Egl.Display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  }

  void SwapBuffers() override {
    TWlDrawable* drawable = Target();
    // A frame drawn before the drawable could take it (no configure yet) goes nowhere.
    if (drawable == nullptr || drawable->EglSurface == EGL_NO_SURFACE ||
        eglGetCurrentSurface(EGL_DRAW) != drawable->EglSurface) {
      glFlush();
      return;
    }
    // The next frame is wanted when the compositor says this one is shown.
    if (drawable->Frame) wl_callback_destroy(drawable->Frame);
    drawable->Frame = wl_surface_frame(drawable->Surface);
    drawable->FrameAskedAt = MonotonicSeconds();
    wl_callback_add_listener(drawable->Frame, &FrameListener, drawable);
    eglSwapBuffers(State.Egl.Display, drawable->EglSurface);
  }

  TTextRect WindowRect() override {
    TWlWindow* window = State.WindowOf(Window);
    if (window && window->Span) {
      const TScreenRect bounds = State.Bounds();
      return TTextRect{bounds.Left, bounds.Top, bounds.Left + bounds.Width,
                       bounds.Top + bounds.Height};
    }
    // A toplevel's place on the screen is the compositor's secret.
    if (window) return TTextRect{0, 0, window->Form->ClientWidth(), window->Form->ClientHeight()};
    return TTextRect{};
  }

  void Invalidate() override {}
  TTextSurface& Text() override { return *TextSurface; }
  bool TextGoesIntoFrame() const override { return true; }

  bool FrameWanted() override {
    TWlDrawable* drawable = Target();
    return drawable && Wants(*drawable) && Current(*drawable);
  }

  bool DrawablePerMonitor() const override {
    const TWlWindow* window = State.WindowOf(Window);
    return window && window->Span;
  }

  bool SelectView(const TTextRect& view) override {
    Selected = 0;
    TWlWindow* window = State.WindowOf(Window);
    if (window == nullptr) return false;
    // Outputs that show the same part of the screen (clones) share one view: it goes to
    // whichever of them wants a frame, and to the next one on the next pass.
    const TScreenRect bounds = State.Bounds();
    for (const auto& drawable : window->Drawables) {
      const TWlOutput* output = State.OutputOf(drawable->OutputName);
      if (output == nullptr) continue;
      const TScreenRect r = output->Rect();
      const int left = r.Left - bounds.Left, top = r.Top - bounds.Top;
      if (view.Left != left || view.Top != top || view.Right != left + r.Width ||
          view.Bottom != top + r.Height)
        continue;
      if (Selected == 0) Selected = drawable->Id;
      if (Wants(*drawable)) {
        Selected = drawable->Id;
        return Current(*drawable);
      }
    }
    return false;
  }

 private:
  // The drawable the next frame goes to: the selected view's, or the window's only one.
  TWlDrawable* Target() const {
    TWlWindow* window = State.WindowOf(Window);
    if (window == nullptr) return nullptr;
    for (const auto& drawable : window->Drawables)
      if (drawable->Id == Selected || (!window->Span && drawable->OutputName == 0))
        return drawable.get();
    return nullptr;
  }

  // Configured, with its EGL surface, and no frame on its way to the screen.
  static bool Wants(const TWlDrawable& drawable) {
    return drawable.Configured && drawable.EglSurface != EGL_NO_SURFACE &&
           drawable.Frame == nullptr;
  }

  // Makes the drawable the one drawn into, its text in points at its scale.
  bool Current(const TWlDrawable& drawable) {
    TextSurface->SetPixelsPerInch((BasePixelsPerInch * drawable.Scale120 + WlScaleDenominator / 2) /
                                  WlScaleDenominator);
    TextSurface->SetPixelScale(static_cast<double>(drawable.Scale120) / WlScaleDenominator);
    if (eglGetCurrentSurface(EGL_DRAW) == drawable.EglSurface &&
        eglGetCurrentContext() == State.Egl.Context)
      return true;
    return eglMakeCurrent(State.Egl.Display, drawable.EglSurface, drawable.EglSurface,
                          State.Egl.Context) == EGL_TRUE;
  }

  TTextRect FrameRect() const {
    if (const TWlDrawable* drawable = Target(); drawable && drawable->Width > 0)
      return TTextRect{0, 0, drawable->Width, drawable->Height};
    const TWlWindow* window = State.WindowOf(Window);
    if (window) return TTextRect{0, 0, window->Form->ClientWidth(), window->Form->ClientHeight()};
    return TTextRect{};
  }

  TWaylandState& State;
  TWindowHandle Window;
  uint64_t Selected = 0;  // the drawable of the view SelectView chose
  std::unique_ptr<TGLFrameText> TextSurface;
};

}  // namespace

bool TWaylandState::InitEgl(std::string& error) {
  TWlEgl& egl = Egl;
  if (egl.Tried) {
    error = egl.Error;
    return egl.Context != EGL_NO_CONTEXT;
  }
  egl.Tried = true;
  const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
  if (HasEglExtension(clientExtensions, "EGL_KHR_platform_wayland") ||
      HasEglExtension(clientExtensions, "EGL_EXT_platform_wayland"))
    egl.Display = eglGetPlatformDisplay(EGL_PLATFORM_WAYLAND_KHR, Display, nullptr);
  else
    egl.Display = eglGetDisplay(reinterpret_cast<EGLNativeDisplayType>(Display));
  if (egl.Display == EGL_NO_DISPLAY) {
    egl.Error = "no EGL display on the Wayland connection (is Mesa's EGL installed?)";
  } else if (!eglInitialize(egl.Display, nullptr, nullptr)) {
    egl.Error = EglErrorText("eglInitialize");
    egl.Display = EGL_NO_DISPLAY;
  } else if (!eglBindAPI(EGL_OPENGL_API)) {
    egl.Error = "desktop OpenGL is not offered: " + EglErrorText("eglBindAPI");
  } else if (!ChooseRendererConfig(egl.Display, EGL_WINDOW_BIT, egl.Config)) {
    egl.Error = "no EGL configuration for OpenGL windows with a depth buffer and a stencil bit";
  } else {
    // No version asked: a legacy context, in which OpenGL 1.1's fixed pipeline is all there.
    egl.Context = eglCreateContext(egl.Display, egl.Config, EGL_NO_CONTEXT, nullptr);
    if (egl.Context == EGL_NO_CONTEXT) egl.Error = EglErrorText("eglCreateContext");
    egl.Surfaceless =
        HasEglExtension(eglQueryString(egl.Display, EGL_EXTENSIONS), "EGL_KHR_surfaceless_context");
  }
  error = egl.Error;
  return egl.Context != EGL_NO_CONTEXT;
}

void TWaylandState::MakeEglSurface(TWlDrawable& drawable) {
  if (Egl.Context == EGL_NO_CONTEXT || drawable.EglWindow || drawable.Width <= 0) return;
  drawable.EglWindow = wl_egl_window_create(drawable.Surface, drawable.Width, drawable.Height);
  if (drawable.EglWindow == nullptr) return;
  drawable.EglSurface = eglCreateWindowSurface(
      Egl.Display, Egl.Config, reinterpret_cast<EGLNativeWindowType>(drawable.EglWindow), nullptr);
  if (drawable.EglSurface == EGL_NO_SURFACE) {
    wl_egl_window_destroy(drawable.EglWindow);
    drawable.EglWindow = nullptr;
    return;
  }
  // The context is made current on it at once, to set the swap interval: presenting never
  // waits for the display, the frame callbacks pace the frames.
  const EGLDisplay display = eglGetCurrentDisplay();
  const EGLSurface draw = eglGetCurrentSurface(EGL_DRAW);
  const EGLSurface read = eglGetCurrentSurface(EGL_READ);
  const EGLContext context = eglGetCurrentContext();
  if (eglMakeCurrent(Egl.Display, drawable.EglSurface, drawable.EglSurface, Egl.Context))
    eglSwapInterval(Egl.Display, 0);
  // A window of its own has one drawable: it stays current. A drawable per output gives the
  // context back to the one that had it.
  if (drawable.OutputName != 0 && context == Egl.Context && display != EGL_NO_DISPLAY &&
      draw != EGL_NO_SURFACE)
    eglMakeCurrent(display, draw, read, context);
}

void TWaylandState::DropEglSurface(TWlDrawable& drawable) {
  if (drawable.EglSurface != EGL_NO_SURFACE) {
    if (eglGetCurrentSurface(EGL_DRAW) == drawable.EglSurface) {
      if (Egl.Surfaceless)
        eglMakeCurrent(Egl.Display, EGL_NO_SURFACE, EGL_NO_SURFACE, Egl.Context);
      else
        eglMakeCurrent(Egl.Display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    }
    eglDestroySurface(Egl.Display, drawable.EglSurface);
    drawable.EglSurface = EGL_NO_SURFACE;
  }
  if (drawable.EglWindow) wl_egl_window_destroy(drawable.EglWindow);
  drawable.EglWindow = nullptr;
}

void TWaylandState::ReleaseEgl() {
  if (Egl.Display == EGL_NO_DISPLAY) return;
  eglMakeCurrent(Egl.Display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  if (Egl.Context != EGL_NO_CONTEXT) eglDestroyContext(Egl.Display, Egl.Context);
  // The display stays initialised, as the offscreen surface's does: terminating it would unload
  // the driver with what it keeps for the life of the process, and EGL gives its displays back
  // as the process ends, before the connection goes.
  eglReleaseThread();
  Egl = TWlEgl{};
  Egl.Tried = true;
  Egl.Error = "the connection to the compositor is shut down";
}

bool TWaylandState::OpenGLAvailable(std::string& error) {
  return InitEgl(error);
}

std::unique_ptr<TGLSurface> TWaylandState::CreateGLSurface(TWindowHandle window,
                                                           std::string& error) {
  if (WindowOf(window) == nullptr) {
    error = "window " + std::to_string(window) + " is not a window of this program";
    return nullptr;
  }
  if (!InitEgl(error)) return nullptr;
  // Drawables configured before EGL was there get their surfaces now.
  for (const auto& drawable : WindowOf(window)->Drawables)
    if (drawable->Configured) MakeEglSurface(*drawable);
  return std::make_unique<TWaylandGLSurface>(*this, window);
}
