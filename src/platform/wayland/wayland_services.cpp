// The window services answered for Wayland. Wayland shows no program the windows of another, so
// these know only the forms' own windows: no search by title, no foreign window to close, watch
// or draw into, and no root window.
#include "energy.h"
#include "wayland/wayland_backend.h"

TWindowHandle TWaylandState::FindWindowByTitle(const std::string&) {
  // Wayland shows no program the windows of another.
  return 0;
}

void TWaylandState::RequestWindowClose(TWindowHandle) {}

bool TWaylandState::WindowIsVisible(TWindowHandle handle) {
  const TWlWindow* window = WindowOf(handle);
  return window && window->Form->Visible();
}

bool TWaylandState::WindowIsSeen(TWindowHandle handle) {
  const TWlWindow* window = WindowOf(handle);
  if (window == nullptr || window->Drawables.empty()) return true;
  // The compositor answers the frame callbacks of the surfaces it shows: a window none of whose
  // surfaces has had its answer for a while is shown nowhere. A surface not configured yet cannot
  // tell.
  const double now = MonotonicSeconds();
  for (const auto& drawable : window->Drawables)
    if (!drawable->Configured ||
        WaylandSurfaceSeen(drawable->Frame != nullptr, now - drawable->FrameAskedAt))
      return true;
  return false;
}

bool TWaylandState::WindowExists(TWindowHandle handle) {
  return WindowOf(handle) != nullptr;
}

bool TWaylandState::ForeignWindowsReachable(std::string& why) {
  why =
      "Wayland has no window of another program to draw into; the preview runs on X11 and "
      "Windows";
  return false;
}

TWindowHandle TWaylandState::RootWindowHandle() {
  return 0;
}

void TWaylandState::WatchWindowSize(TWindowHandle, std::function<void(int, int)>) {}
