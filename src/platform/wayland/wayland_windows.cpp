// The Wayland backend's form windows: an xdg_toplevel for a window of its own, and for the
// full-screen run one surface per output (a layer surface on the overlay layer, or a full-screen
// toplevel without the layer shell), with their configures. Sizes are in compositor space.
#include <algorithm>
#include <cstdlib>

#include "fractional-scale-v1-client-protocol.h"
#include "viewporter-client-protocol.h"
#include "wayland/wayland_backend.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#include "text/cp1251.h"
#include "xdg-shell-client-protocol.h"

namespace {

// ---- the shell ----

void XdgSurfaceConfigure(void* data, xdg_surface* surface, uint32_t serial) {
  TWlDrawable& drawable = *static_cast<TWlDrawable*>(data);
  xdg_surface_ack_configure(surface, serial);
  drawable.State->DrawableConfigured(drawable, drawable.PendingWidth, drawable.PendingHeight);
}

const xdg_surface_listener XdgSurfaceListener = [] {
  xdg_surface_listener listener{};
  listener.configure = XdgSurfaceConfigure;
  return listener;
}();

void ToplevelConfigure(void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*) {
  TWlDrawable& drawable = *static_cast<TWlDrawable*>(data);
  drawable.PendingWidth = width;
  drawable.PendingHeight = height;
}

void ToplevelClose(void* data, xdg_toplevel*) {
  TWlDrawable& drawable = *static_cast<TWlDrawable*>(data);
  TWaylandState& state = *drawable.State;
  const TWindowHandle handle = drawable.Window;
  state.Defer([&state, handle] {
    if (TWlWindow* window = state.WindowOf(handle)) window->Form->Close();
  });
}

void ToplevelBounds(void*, xdg_toplevel*, int32_t, int32_t) {}
void ToplevelCapabilities(void*, xdg_toplevel*, wl_array*) {}

const xdg_toplevel_listener ToplevelListener = [] {
  xdg_toplevel_listener listener{};
  listener.configure = ToplevelConfigure;
  listener.close = ToplevelClose;
  listener.configure_bounds = ToplevelBounds;
  listener.wm_capabilities = ToplevelCapabilities;
  return listener;
}();

void LayerConfigure(void* data, zwlr_layer_surface_v1* layer, uint32_t serial, uint32_t width,
                    uint32_t height) {
  TWlDrawable& drawable = *static_cast<TWlDrawable*>(data);
  zwlr_layer_surface_v1_ack_configure(layer, serial);
  drawable.State->DrawableConfigured(drawable, static_cast<int>(width), static_cast<int>(height));
}

void LayerClosed(void* data, zwlr_layer_surface_v1*) {
  TWlDrawable& drawable = *static_cast<TWlDrawable*>(data);
  drawable.State->DrawableClosed(drawable);
}

const zwlr_layer_surface_v1_listener LayerListener = [] {
  zwlr_layer_surface_v1_listener listener{};
  listener.configure = LayerConfigure;
  listener.closed = LayerClosed;
  return listener;
}();

// A toplevel takes the largest scale of the outputs it is on.
void SurfaceEnter(void* data, wl_surface*, wl_output* output) {
  TWlDrawable& drawable = *static_cast<TWlDrawable*>(data);
  for (const auto& known : drawable.State->Outputs)
    if (known->Output == output) drawable.ShownOn.push_back(known->Name);
  drawable.State->FitBuffer(drawable);
}

void SurfaceLeave(void* data, wl_surface*, wl_output* output) {
  TWlDrawable& drawable = *static_cast<TWlDrawable*>(data);
  for (const auto& known : drawable.State->Outputs)
    if (known->Output == output)
      drawable.ShownOn.erase(
          std::remove(drawable.ShownOn.begin(), drawable.ShownOn.end(), known->Name),
          drawable.ShownOn.end());
  drawable.State->FitBuffer(drawable);
}

const wl_surface_listener SurfaceListener = [] {
  wl_surface_listener listener{};
  listener.enter = SurfaceEnter;
  listener.leave = SurfaceLeave;
  return listener;
}();

// A new preferred scale gives the buffer a new size.
void PreferredScale(void* data, wp_fractional_scale_v1*, uint32_t scale) {
  TWlDrawable& drawable = *static_cast<TWlDrawable*>(data);
  if (scale == 0 || scale > 100 * WlScaleDenominator) return;  // no screen's scale
  drawable.PreferredScale = static_cast<int>(scale);
  drawable.State->FitBuffer(drawable);
}

const wp_fractional_scale_v1_listener FractionalScaleListener = [] {
  wp_fractional_scale_v1_listener listener{};
  listener.preferred_scale = PreferredScale;
  return listener;
}();

}  // namespace

TWlWindow* TWaylandState::WindowOf(TWindowHandle handle) const {
  auto found = Windows.find(handle);
  return found == Windows.end() ? nullptr : found->second;
}

TWlDrawable* TWaylandState::DrawableById(uint64_t id) const {
  for (const auto& [handle, window] : Windows)
    for (const auto& drawable : window->Drawables)
      if (drawable->Id == id) return drawable.get();
  return nullptr;
}

std::unique_ptr<TForm::TPlatformWindow> TWaylandState::CreateWindow(TForm& form,
                                                                    const TFormDesign& design) {
  auto window = std::make_unique<TWlWindow>();
  window->Handle = NextHandle++;
  window->Form = &form;
  window->Design = design;
  window->Title = Cp1251ToUtf8(design.Caption);
  Windows[window->Handle] = window.get();
  return window;
}

std::unique_ptr<TWlDrawable> TWaylandState::MakeDrawable(TWlWindow& window, TWlOutput* output) {
  auto drawable = std::make_unique<TWlDrawable>();
  drawable->State = this;
  drawable->Id = NextDrawableId++;
  drawable->Window = window.Handle;
  drawable->OutputName = output ? output->Name : 0;
  drawable->Surface = wl_compositor_create_surface(Compositor);
  wl_surface_add_listener(drawable->Surface, &SurfaceListener, drawable.get());
  if (Viewporter && FractionalScaleManager) {
    drawable->Viewport = wp_viewporter_get_viewport(Viewporter, drawable->Surface);
    drawable->FractionalScale = wp_fractional_scale_manager_v1_get_fractional_scale(
        FractionalScaleManager, drawable->Surface);
    wp_fractional_scale_v1_add_listener(drawable->FractionalScale, &FractionalScaleListener,
                                        drawable.get());
  }
  const bool wallpaper = window.Design.Wallpaper;
  if (output && LayerShell) {
    // Above every window and panel of that output, all of it, with the keyboard; the wallpaper
    // under them all (Plasma's own desktop takes the background layer: there, just over it).
    const uint32_t layer = !wallpaper ? ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY
                           : OnPlasma(std::getenv("XDG_CURRENT_DESKTOP"))
                               ? ZWLR_LAYER_SHELL_V1_LAYER_BOTTOM
                               : ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND;
    drawable->Layer =
        zwlr_layer_shell_v1_get_layer_surface(LayerShell, drawable->Surface, output->Output, layer,
                                              wallpaper ? "tundrel-wallpaper" : "tundrel");
    zwlr_layer_surface_v1_add_listener(drawable->Layer, &LayerListener, drawable.get());
    zwlr_layer_surface_v1_set_size(drawable->Layer, 0, 0);
    zwlr_layer_surface_v1_set_anchor(drawable->Layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP |
                                                          ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                                          ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT |
                                                          ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    zwlr_layer_surface_v1_set_exclusive_zone(drawable->Layer, -1);
    zwlr_layer_surface_v1_set_keyboard_interactivity(
        drawable->Layer, wallpaper ? ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE
                                   : ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE);
    if (wallpaper) {
      // No part of it takes the pointer: it goes to the desktop beneath, as if it were not there.
      wl_region* none = wl_compositor_create_region(Compositor);
      wl_surface_set_input_region(drawable->Surface, none);
      wl_region_destroy(none);
    }
  } else if (wallpaper) {
    // Without the layer shell no surface of a client lies under the windows (start-up went to
    // the X server instead where it could).
    DestroyDrawable(*drawable);
    return nullptr;
  } else if (WmBase) {
    drawable->XdgSurface = xdg_wm_base_get_xdg_surface(WmBase, drawable->Surface);
    xdg_surface_add_listener(drawable->XdgSurface, &XdgSurfaceListener, drawable.get());
    drawable->Toplevel = xdg_surface_get_toplevel(drawable->XdgSurface);
    xdg_toplevel_add_listener(drawable->Toplevel, &ToplevelListener, drawable.get());
    xdg_toplevel_set_title(drawable->Toplevel, window.Title.c_str());
    xdg_toplevel_set_app_id(drawable->Toplevel, "tundrel");
    if (output)
      xdg_toplevel_set_fullscreen(drawable->Toplevel, output->Output);
    else if (window.Design.Maximized)
      xdg_toplevel_set_maximized(drawable->Toplevel);
  } else {
    DestroyDrawable(*drawable);
    return nullptr;
  }
  // The first commit carries no buffer: the compositor answers with the first configure.
  wl_surface_commit(drawable->Surface);
  return drawable;
}

void TWaylandState::DestroyDrawable(TWlDrawable& drawable) {
  if (PointerDrawable == drawable.Id) PointerDrawable = 0;
  DropEglSurface(drawable);
  if (drawable.Frame) wl_callback_destroy(drawable.Frame);
  if (drawable.Layer) zwlr_layer_surface_v1_destroy(drawable.Layer);
  if (drawable.Toplevel) xdg_toplevel_destroy(drawable.Toplevel);
  if (drawable.XdgSurface) xdg_surface_destroy(drawable.XdgSurface);
  if (drawable.FractionalScale) wp_fractional_scale_v1_destroy(drawable.FractionalScale);
  if (drawable.Viewport) wp_viewport_destroy(drawable.Viewport);
  if (drawable.Surface) wl_surface_destroy(drawable.Surface);
  drawable.FractionalScale = nullptr;
  drawable.Viewport = nullptr;
  drawable.Frame = nullptr;
  drawable.Layer = nullptr;
  drawable.Toplevel = nullptr;
  drawable.XdgSurface = nullptr;
  drawable.Surface = nullptr;
}

void TWaylandState::DropDrawables(TWlWindow& window) {
  for (const auto& drawable : window.Drawables) DestroyDrawable(*drawable);
  window.Drawables.clear();
  if (KeyboardFocus == window.Handle) KeyboardFocus = 0;
}

void TWaylandState::SyncSpanDrawables(TWlWindow& window) {
  const std::vector<TWlOutput*> outputs = DescribedOutputs();
  // Surfaces of outputs that went or were given up.
  for (size_t i = window.Drawables.size(); i-- > 0;) {
    const TWlDrawable& drawable = *window.Drawables[i];
    const TWlOutput* output = OutputOf(drawable.OutputName);
    if (output == nullptr || output->Refused || drawable.Surface == nullptr) {
      DestroyDrawable(*window.Drawables[i]);
      window.Drawables.erase(window.Drawables.begin() + static_cast<ptrdiff_t>(i));
    }
  }
  for (TWlOutput* output : outputs) {
    if (output->Refused) continue;
    const bool covered = std::any_of(
        window.Drawables.begin(), window.Drawables.end(),
        [output](const auto& drawable) { return drawable->OutputName == output->Name; });
    if (covered) continue;
    if (auto drawable = MakeDrawable(window, output))
      window.Drawables.push_back(std::move(drawable));
  }
}

void TWaylandState::ShowWindow(TForm::TPlatformWindow& platformWindow, const TFormDesign& design,
                               bool span, int& width, int& height) {
  auto& window = static_cast<TWlWindow&>(platformWindow);
  window.Design = design;
  if (window.Shown && window.Span != span) DropDrawables(window);
  window.Span = span;
  window.Shown = true;
  if (span) {
    SyncSpanDrawables(window);
    const TScreenRect bounds = Bounds();
    if (bounds.Width > 0 && bounds.Height > 0) {
      width = bounds.Width;
      height = bounds.Height;
    }
    return;
  }
  if (!window.Drawables.empty()) return;
  auto drawable = MakeDrawable(window, nullptr);
  if (drawable == nullptr) return;
  TWlDrawable& made = *drawable;
  window.Drawables.push_back(std::move(drawable));
  // The first configure says the size the compositor gives the window; a size of 0 leaves it
  // to the program, which keeps the design's.
  for (int i = 0; i < WlAnswerRoundTrips && !made.Configured; ++i)
    if (wl_display_roundtrip(Display) < 0) LostConnection();
  if (made.Width > 0 && made.Height > 0) {
    width = made.Width;
    height = made.Height;
  }
}

void TWaylandState::HideWindow(TForm::TPlatformWindow& platformWindow) {
  auto& window = static_cast<TWlWindow&>(platformWindow);
  window.Shown = false;
  DropDrawables(window);
}

void TWaylandState::SetWindowTitle(TForm::TPlatformWindow& platformWindow,
                                   const std::string& cp1251) {
  auto& window = static_cast<TWlWindow&>(platformWindow);
  window.Title = Cp1251ToUtf8(cp1251);
  for (const auto& drawable : window.Drawables)
    if (drawable->Toplevel) xdg_toplevel_set_title(drawable->Toplevel, window.Title.c_str());
}

void TWaylandState::DestroyWindow(TForm::TPlatformWindow& platformWindow) {
  auto& window = static_cast<TWlWindow&>(platformWindow);
  DropDrawables(window);
  Windows.erase(window.Handle);
}

void TWaylandState::DrawableConfigured(TWlDrawable& drawable, int width, int height) {
  TWlWindow* window = WindowOf(drawable.Window);
  if (window == nullptr) return;
  if (width <= 0 || height <= 0) {
    // The compositor leaves the size to us: an output's size, or the form's.
    if (const TWlOutput* output = OutputOf(drawable.OutputName)) {
      width = output->Rect().Width;
      height = output->Rect().Height;
    } else if (drawable.SurfaceWidth > 0 && drawable.SurfaceHeight > 0) {
      width = drawable.SurfaceWidth;
      height = drawable.SurfaceHeight;
    } else {
      width = window->Form->ClientWidth() * WlScaleDenominator / drawable.Scale120;
      height = window->Form->ClientHeight() * WlScaleDenominator / drawable.Scale120;
    }
  }
  drawable.SurfaceWidth = width;
  drawable.SurfaceHeight = height;
  if (!drawable.Configured) {
    drawable.Configured = true;
    // An opaque surface: the scene's cleared alpha is not the desktop's business.
    wl_region* region = wl_compositor_create_region(Compositor);
    wl_region_add(region, 0, 0, INT32_MAX, INT32_MAX);
    wl_surface_set_opaque_region(drawable.Surface, region);
    wl_region_destroy(region);
  }
  FitBuffer(drawable);
}

void TWaylandState::FitBuffer(TWlDrawable& drawable) {
  if (!drawable.Configured) return;
  int scale = 1;
  if (const TWlOutput* output = OutputOf(drawable.OutputName)) scale = output->Scale;
  for (uint32_t name : drawable.ShownOn)
    if (const TWlOutput* output = OutputOf(name)) scale = std::max(scale, output->Scale);
  if (wl_surface_get_version(drawable.Surface) < WL_SURFACE_SET_BUFFER_SCALE_SINCE_VERSION)
    scale = 1;
  // With a viewport the buffer scale stays 1 and the compositor's preferred scale sizes the
  // buffer; until it says one, the outputs' scale does.
  int scale120 = scale * WlScaleDenominator;
  if (drawable.Viewport) {
    if (drawable.PreferredScale > 0) scale120 = drawable.PreferredScale;
    scale = 1;
  }
  // Both take effect with the next frame's buffer, which is made at the new size.
  if (scale != drawable.Scale) {
    wl_surface_set_buffer_scale(drawable.Surface, scale);
    drawable.Scale = scale;
  }
  if (drawable.Viewport && drawable.SurfaceWidth > 0 && drawable.SurfaceHeight > 0)
    wp_viewport_set_destination(drawable.Viewport, drawable.SurfaceWidth, drawable.SurfaceHeight);
  drawable.Scale120 = scale120;
  const int width = WlScaledLength(drawable.SurfaceWidth, scale120);
  const int height = WlScaledLength(drawable.SurfaceHeight, scale120);
  const bool resized = width != drawable.Width || height != drawable.Height;
  drawable.Width = width;
  drawable.Height = height;
  if (drawable.EglWindow)
    wl_egl_window_resize(drawable.EglWindow, width, height, 0, 0);
  else
    MakeEglSurface(drawable);
  // The form's client area is in the buffer's pixels, which the renderer's viewport takes.
  if (drawable.OutputName != 0 || !resized) return;
  const TWindowHandle handle = drawable.Window;
  Defer([this, handle, width, height] {
    if (TWlWindow* w = WindowOf(handle)) w->Form->ClientResized(width, height);
  });
}

void TWaylandState::DrawableClosed(TWlDrawable& drawable) {
  // The compositor took the output's surface away (the output is going); one it still shows is
  // not offered that surface again.
  if (TWlOutput* output = OutputOf(drawable.OutputName)) output->Refused = true;
  DropEglSurface(drawable);
  DisplayChanged = true;
}
