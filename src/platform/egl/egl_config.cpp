// The EGL helpers the offscreen and the Wayland surfaces share.
#include "egl/egl_config.h"

#include <cstdio>
#include <cstring>
#include <vector>

bool HasEglExtension(const char* list, const char* name) {
  if (list == nullptr) return false;
  const size_t length = std::strlen(name);
  for (const char* p = std::strstr(list, name); p; p = std::strstr(p + 1, name))
    if ((p == list || p[-1] == ' ') && (p[length] == ' ' || p[length] == '\0')) return true;
  return false;
}

std::string EglErrorText(const char* what) {
  char text[96];
  std::snprintf(text, sizeof text, "%s failed (EGL error 0x%04X)", what,
                static_cast<unsigned>(eglGetError()));
  return text;
}

int EglConfigAttrib(EGLDisplay display, EGLConfig config, EGLint attribute) {
  EGLint value = 0;
  eglGetConfigAttrib(display, config, attribute, &value);
  return value;
}

bool ChooseRendererConfig(EGLDisplay display, EGLint surfaceType, EGLConfig& chosen) {
  // clang-format off
  const EGLint wanted[] = {
      EGL_SURFACE_TYPE,      surfaceType,
      EGL_RENDERABLE_TYPE,   EGL_OPENGL_BIT,
      EGL_COLOR_BUFFER_TYPE, EGL_RGB_BUFFER,
      EGL_RED_SIZE,          1,
      EGL_GREEN_SIZE,        1,
      EGL_BLUE_SIZE,         1,
      EGL_DEPTH_SIZE,        1,
      EGL_STENCIL_SIZE,      1,
      EGL_NONE};
  // clang-format on
  EGLint count = 0;
  if (!eglChooseConfig(display, wanted, nullptr, 0, &count) || count <= 0) return false;
  std::vector<EGLConfig> configs(static_cast<size_t>(count));
  if (!eglChooseConfig(display, wanted, configs.data(), count, &count) || count <= 0) return false;

  struct TRank {
    int EightBit, Depth, Stencil, Alpha;
  };
  auto rankOf = [&](EGLConfig c) {
    const bool eightBit = EglConfigAttrib(display, c, EGL_RED_SIZE) == 8 &&
                          EglConfigAttrib(display, c, EGL_GREEN_SIZE) == 8 &&
                          EglConfigAttrib(display, c, EGL_BLUE_SIZE) == 8;
    return TRank{eightBit ? 1 : 0, EglConfigAttrib(display, c, EGL_DEPTH_SIZE),
                 EglConfigAttrib(display, c, EGL_STENCIL_SIZE),
                 EglConfigAttrib(display, c, EGL_ALPHA_SIZE)};
  };
  auto better = [](const TRank& a, const TRank& b) {
    if (a.EightBit != b.EightBit) return a.EightBit > b.EightBit;
    if (a.Depth != b.Depth) return a.Depth > b.Depth;
    if (a.Stencil != b.Stencil) return a.Stencil < b.Stencil;
    return a.Alpha < b.Alpha;
  };
  chosen = configs[0];
  TRank best = rankOf(chosen);
  for (int i = 1; i < count; ++i) {
    const TRank rank = rankOf(configs[static_cast<size_t>(i)]);
    if (better(rank, best)) {
      best = rank;
      chosen = configs[static_cast<size_t>(i)];
    }
  }
  return true;
}
