// What the program's EGL surfaces share, offscreen and on Wayland: the extension test, the text
// of a failed call, and the configuration that matches the renderer's pixel format.
#pragma once

#include <EGL/egl.h>

#include <string>

// Whether the space-separated extension list names name; false for a null list.
bool HasEglExtension(const char* list, const char* name);
// "<what> failed (EGL error 0x....)" with the error of the last EGL call.
std::string EglErrorText(const char* what);
int EglConfigAttrib(EGLDisplay display, EGLConfig config, EGLint attribute);
// The best desktop OpenGL configuration for surfaces of surfaceType (EGL_PBUFFER_BIT,
// EGL_WINDOW_BIT): 8-bit colour channels first, then the deepest depth buffer, then the fewest
// stencil bits above none, then the fewest alpha bits (the scene clears its alpha to 0, which a
// compositor would blend with whatever lies below). False when none has depth and stencil.
bool ChooseRendererConfig(EGLDisplay display, EGLint surfaceType, EGLConfig& chosen);
