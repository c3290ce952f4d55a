// The offscreen surface over EGL: display set-up on Mesa's surfaceless platform, the choice of
// a configuration that matches the renderer's pixel format, and the read-back of each frame.
// The EGL display is initialised once and kept for the life of the process: every surface
// shares it, and loading Mesa's driver again for each surface would cost far more.
#include "egl/offscreen_surface.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "egl/egl_config.h"
#include "text/gl_frame_text.h"

namespace {

EGLDisplay OpenDisplay() {
  // The surfaceless platform needs neither an X server nor a GPU; without it the platform the
  // environment names (EGL_PLATFORM) decides.
  const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
  if (HasEglExtension(clientExtensions, "EGL_MESA_platform_surfaceless"))
    return eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
  return eglGetDisplay(EGL_DEFAULT_DISPLAY);
}

}  // namespace

struct TOffscreenSurface::TEglState {
  EGLDisplay Display = EGL_NO_DISPLAY;
  EGLSurface Surface = EGL_NO_SURFACE;
  EGLContext Context = EGL_NO_CONTEXT;
};

TOffscreenSurface::TOffscreenSurface(int width, int height)
    : Width(width), Height(height), Egl(std::make_unique<TEglState>()) {
  Image.Width = width;
  Image.Height = height;
  Image.Pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0);
}

std::unique_ptr<TOffscreenSurface> TOffscreenSurface::Create(int width, int height,
                                                             std::string& error) {
  // Beyond this a pbuffer is refused by every Mesa driver, and the image would not fit easily.
  constexpr int MaxSide = 16384;
  if (width < 1 || height < 1 || width > MaxSide || height > MaxSide) {
    error = "offscreen surface: size " + std::to_string(width) + "x" + std::to_string(height) +
            " is not between 1x1 and 16384x16384 pixels";
    return nullptr;
  }
  setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);

  std::unique_ptr<TOffscreenSurface> surface(new TOffscreenSurface(width, height));
  TEglState& egl = *surface->Egl;
  egl.Display = OpenDisplay();
  if (egl.Display == EGL_NO_DISPLAY) {
    error = "offscreen surface: no EGL display (is Mesa's EGL installed?)";
    return nullptr;
  }
  if (!eglInitialize(egl.Display, nullptr, nullptr)) {
    error = "offscreen surface: " + EglErrorText("eglInitialize");
    return nullptr;
  }

  if (!eglBindAPI(EGL_OPENGL_API)) {
    error = "offscreen surface: desktop OpenGL is not offered: " + EglErrorText("eglBindAPI");
    return nullptr;
  }
  EGLConfig config;
  if (!ChooseRendererConfig(egl.Display, EGL_PBUFFER_BIT, config)) {
    error =
        "offscreen surface: no EGL configuration with RGB colour, a depth buffer and a stencil "
        "bit for OpenGL pbuffers";
    return nullptr;
  }
  surface->Depth = EglConfigAttrib(egl.Display, config, EGL_DEPTH_SIZE);
  surface->Stencil = EglConfigAttrib(egl.Display, config, EGL_STENCIL_SIZE);

  const EGLint size[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
  egl.Surface = eglCreatePbufferSurface(egl.Display, config, size);
  if (egl.Surface == EGL_NO_SURFACE) {
    error = "offscreen surface: " + EglErrorText("eglCreatePbufferSurface") + " for " +
            std::to_string(width) + "x" + std::to_string(height) + " pixels";
    return nullptr;
  }
  // No version asked: that gives a legacy context, in which the fixed-function pipeline of
  // OpenGL 1.1 is all there.
  egl.Context = eglCreateContext(egl.Display, config, EGL_NO_CONTEXT, nullptr);
  if (egl.Context == EGL_NO_CONTEXT) {
    error = "offscreen surface: " + EglErrorText("eglCreateContext");
    return nullptr;
  }
  if (!surface->MakeCurrent()) {
    error = "offscreen surface: " + EglErrorText("eglMakeCurrent");
    return nullptr;
  }
  surface->TextSurface = std::make_unique<TGLFrameText>([width, height] {
    return TTextRect{0, 0, width, height};
  });
  return surface;
}

TOffscreenSurface::~TOffscreenSurface() {
  TextSurface.reset();
  TEglState& egl = *Egl;
  if (egl.Display != EGL_NO_DISPLAY) {
    if (egl.Context != EGL_NO_CONTEXT && eglGetCurrentContext() == egl.Context)
      eglMakeCurrent(egl.Display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (egl.Context != EGL_NO_CONTEXT) eglDestroyContext(egl.Display, egl.Context);
    if (egl.Surface != EGL_NO_SURFACE) eglDestroySurface(egl.Display, egl.Surface);
  }
}

bool TOffscreenSurface::MakeCurrent() {
  return eglMakeCurrent(Egl->Display, Egl->Surface, Egl->Surface, Egl->Context) == EGL_TRUE;
}

void TOffscreenSurface::ReleaseCurrent() {
  eglMakeCurrent(Egl->Display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}

void TOffscreenSurface::SwapBuffers() {
  // A pbuffer presents nothing: the frame is finished here and read back only when asked for.
  glFinish();
  FrameRead = false;
}

void TOffscreenSurface::ReadFrame() const {
  if (!FrameRead) ReadPixels();
  FrameRead = true;
}

void TOffscreenSurface::ReadPixels() const {
  // The frame may be asked for after the renderer has left the thread without a context.
  const EGLContext previousContext = eglGetCurrentContext();
  const bool borrowed = previousContext != Egl->Context;
  const EGLDisplay previousDisplay = eglGetCurrentDisplay();
  const EGLSurface previousDraw = eglGetCurrentSurface(EGL_DRAW);
  const EGLSurface previousRead = eglGetCurrentSurface(EGL_READ);
  if (borrowed &&
      eglMakeCurrent(Egl->Display, Egl->Surface, Egl->Surface, Egl->Context) != EGL_TRUE)
    return;
  // Rows of RGBA bytes are 4-byte aligned, so the default pack alignment needs no change and the
  // renderer's GL state stays as it was. GL gives the bottom row first: the rows are swapped in
  // place, and the alpha the scene cleared to 0 is made opaque on the way.
  glReadPixels(0, 0, Width, Height, GL_RGBA, GL_UNSIGNED_BYTE, Image.Pixels.data());
  const uint8_t opaqueBytes[4] = {0, 0, 0, 255};
  uint32_t opaque;
  std::memcpy(&opaque, opaqueBytes, sizeof opaque);
  const size_t rowBytes = static_cast<size_t>(Width) * 4;
  std::vector<uint32_t> upperRow(static_cast<size_t>(Width)), lowerRow(upperRow.size());
  for (int top = 0, bottom = Height - 1; top <= bottom; ++top, --bottom) {
    uint8_t* upper = Image.PixelAt(0, top);
    uint8_t* lower = Image.PixelAt(0, bottom);
    std::memcpy(upperRow.data(), upper, rowBytes);
    std::memcpy(lowerRow.data(), lower, rowBytes);
    for (uint32_t& pixel : upperRow) pixel |= opaque;
    for (uint32_t& pixel : lowerRow) pixel |= opaque;
    std::memcpy(upper, lowerRow.data(), rowBytes);
    std::memcpy(lower, upperRow.data(), rowBytes);
  }
  if (!borrowed) return;
  if (previousContext == EGL_NO_CONTEXT)
    eglMakeCurrent(Egl->Display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  else
    eglMakeCurrent(previousDisplay, previousDraw, previousRead, previousContext);
}

TTextRect TOffscreenSurface::WindowRect() {
  return TTextRect{0, 0, Width, Height};
}

void TOffscreenSurface::Invalidate() {
  ++Invalidations;
}

TTextSurface& TOffscreenSurface::Text() {
  return *TextSurface;
}
