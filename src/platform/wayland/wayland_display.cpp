// The Wayland backend's connection: the registry and the globals it binds, the loop's hooks
// (DispatchPending runs the handlers the listeners queued, one a call), the lost connection that
// ends the process with status 1, and the shutdown that gives the proxies back but keeps it open.
#include <errno.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fractional-scale-v1-client-protocol.h"
#include "viewporter-client-protocol.h"
#include "wayland/wayland_backend.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace {

// The versions of the globals this backend speaks; a compositor's newer ones are bound at these.
constexpr uint32_t CompositorVersion = 4;
constexpr uint32_t SeatVersion = 5;
constexpr uint32_t OutputVersion = 4;
constexpr uint32_t WmBaseVersion = 1;
constexpr uint32_t OutputManagerVersion = 3;
constexpr uint32_t LayerShellVersion = 3;
constexpr uint32_t ViewporterVersion = 1;
constexpr uint32_t FractionalScaleVersion = 1;

TWaylandState& StateOf(void* data) {
  return *static_cast<TWaylandState*>(data);
}

// ---- the registry ----

void WmBasePing(void*, xdg_wm_base* base, uint32_t serial) {
  xdg_wm_base_pong(base, serial);
}

const xdg_wm_base_listener WmBaseListener = [] {
  xdg_wm_base_listener listener{};
  listener.ping = WmBasePing;
  return listener;
}();

template <class T>
T* Bind(wl_registry* registry, uint32_t name, const wl_interface* interface, uint32_t offered,
        uint32_t wanted) {
  return static_cast<T*>(wl_registry_bind(registry, name, interface, std::min(offered, wanted)));
}

void RegistryGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface,
                    uint32_t version) {
  TWaylandState& state = StateOf(data);
  if (std::strcmp(interface, wl_compositor_interface.name) == 0 && !state.Compositor) {
    state.Compositor =
        Bind<wl_compositor>(registry, name, &wl_compositor_interface, version, CompositorVersion);
  } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !state.Seat) {
    state.Seat = Bind<wl_seat>(registry, name, &wl_seat_interface, version, SeatVersion);
    state.WatchSeat();
  } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0 && !state.WmBase) {
    state.WmBase =
        Bind<xdg_wm_base>(registry, name, &xdg_wm_base_interface, version, WmBaseVersion);
    xdg_wm_base_add_listener(state.WmBase, &WmBaseListener, &state);
  } else if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0 &&
             !state.OutputManager) {
    state.OutputManager = Bind<zxdg_output_manager_v1>(
        registry, name, &zxdg_output_manager_v1_interface, version, OutputManagerVersion);
    for (const auto& output : state.Outputs) state.AddOutputDescription(*output);
  } else if (std::strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0 && !state.LayerShell) {
    state.LayerShell = Bind<zwlr_layer_shell_v1>(registry, name, &zwlr_layer_shell_v1_interface,
                                                 version, LayerShellVersion);
    state.LayerShellVersion = std::min(version, LayerShellVersion);
  } else if (std::strcmp(interface, wp_viewporter_interface.name) == 0 && !state.Viewporter) {
    state.Viewporter =
        Bind<wp_viewporter>(registry, name, &wp_viewporter_interface, version, ViewporterVersion);
  } else if (std::strcmp(interface, wp_fractional_scale_manager_v1_interface.name) == 0 &&
             !state.FractionalScaleManager) {
    state.FractionalScaleManager = Bind<wp_fractional_scale_manager_v1>(
        registry, name, &wp_fractional_scale_manager_v1_interface, version, FractionalScaleVersion);
  } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
    state.AddOutput(name,
                    Bind<wl_output>(registry, name, &wl_output_interface, version, OutputVersion));
  }
}

void RegistryGlobalRemove(void* data, wl_registry*, uint32_t name) {
  StateOf(data).RemoveOutput(name);
}

const wl_registry_listener RegistryListener = [] {
  wl_registry_listener listener{};
  listener.global = RegistryGlobal;
  listener.global_remove = RegistryGlobalRemove;
  return listener;
}();

}  // namespace

// ---- the connection ----

TWaylandState::~TWaylandState() {
  if (Display) wl_display_disconnect(Display);
}

bool TWaylandState::Open(std::string& error) {
  Display = wl_display_connect(nullptr);
  if (Display == nullptr) {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    error = std::string("cannot connect to the Wayland compositor \"") + (name ? name : "") + "\"";
    return false;
  }
  OpenKeyboardContext();
  Registry = wl_display_get_registry(Display);
  wl_registry_add_listener(Registry, &RegistryListener, this);
  if (wl_display_roundtrip(Display) < 0) LostConnection();
  if (Compositor == nullptr) {
    error = "the Wayland compositor offers no wl_compositor";
    return false;
  }
  if (WmBase == nullptr && LayerShell == nullptr) {
    error = "the Wayland compositor offers neither xdg_wm_base nor the layer shell";
    return false;
  }
  for (int i = 0; i < WlAnswerRoundTrips; ++i) {
    if (std::all_of(Outputs.begin(), Outputs.end(), [](const auto& o) { return o->Described; }))
      break;
    if (wl_display_roundtrip(Display) < 0) LostConnection();
  }
  // What start-up learnt is no change of the display.
  DisplayChanged = false;
  return true;
}

void TWaylandState::LostConnection() {
  std::fprintf(stderr, "%s: lost the connection to the Wayland compositor\n",
               program_invocation_short_name);
  // Neither libwayland nor EGL may be entered again, and neither may the destructors that would.
  _exit(1);
}

void TWaylandState::Initialize(const std::string&) {}

void TWaylandState::SetTitle(const std::string&) {}

bool TWaylandState::DispatchPending() {
  if (Deferred.empty()) {
    const int dispatched = wl_display_dispatch_pending(Display);
    if (dispatched < 0) LostConnection();
    if (DisplayChanged) {
      DisplayChanged = false;
      Defer([this] {
        TForm* main = Application.MainForm();
        if (main && main->OnDisplayChange) main->OnDisplayChange(main);
      });
    }
    if (Deferred.empty()) return dispatched > 0;
  }
  std::function<void()> action = std::move(Deferred.front());
  Deferred.pop_front();
  action();
  return true;
}

int TWaylandState::ConnectionFd() {
  return wl_display_get_fd(Display);
}

bool TWaylandState::BeforeSleep() {
  // Events another reader (EGL, as it presents) queued for us after the loop's last dispatch go
  // first, and the handlers they queue run before any sleep.
  while (wl_display_prepare_read(Display) != 0)
    if (wl_display_dispatch_pending(Display) < 0) LostConnection();
  if (!Deferred.empty() || DisplayChanged) {
    wl_display_cancel_read(Display);
    return false;
  }
  ReadPrepared = true;
  if (wl_display_flush(Display) < 0 && errno != EAGAIN) LostConnection();
  return true;
}

void TWaylandState::AfterSleep(bool readable) {
  if (!ReadPrepared) return;
  ReadPrepared = false;
  if (readable) {
    if (wl_display_read_events(Display) < 0) LostConnection();
  } else {
    wl_display_cancel_read(Display);
  }
  if (wl_display_get_error(Display) != 0) LostConnection();
}

void TWaylandState::Shutdown() {
  std::vector<TWlWindow*> windows;
  for (const auto& [handle, window] : Windows) windows.push_back(window);
  for (TWlWindow* window : windows) DropDrawables(*window);
  ReleaseEgl();
  if (Display == nullptr) return;
  ReleaseSeat();
  for (const auto& output : Outputs) ReleaseOutput(*output);
  Outputs.clear();
  if (LayerShell) {
    if (LayerShellVersion >= ZWLR_LAYER_SHELL_V1_DESTROY_SINCE_VERSION)
      zwlr_layer_shell_v1_destroy(LayerShell);
    else
      wl_proxy_destroy(reinterpret_cast<wl_proxy*>(LayerShell));
  }
  if (OutputManager) zxdg_output_manager_v1_destroy(OutputManager);
  if (Viewporter) wp_viewporter_destroy(Viewporter);
  if (FractionalScaleManager) wp_fractional_scale_manager_v1_destroy(FractionalScaleManager);
  if (WmBase) xdg_wm_base_destroy(WmBase);
  if (Compositor) wl_compositor_destroy(Compositor);
  if (Registry) wl_registry_destroy(Registry);
  LayerShell = nullptr;
  OutputManager = nullptr;
  Viewporter = nullptr;
  FractionalScaleManager = nullptr;
  WmBase = nullptr;
  Compositor = nullptr;
  Registry = nullptr;
  if (Compose) xkb_compose_state_unref(Compose);
  if (ComposeTable) xkb_compose_table_unref(ComposeTable);
  if (KeyState) xkb_state_unref(KeyState);
  if (Keymap) xkb_keymap_unref(Keymap);
  if (Xkb) xkb_context_unref(Xkb);
  Compose = nullptr;
  ComposeTable = nullptr;
  KeyState = nullptr;
  Keymap = nullptr;
  Xkb = nullptr;
  Deferred.clear();
  // The compositor learns of all this now; the connection itself stays open, as on X11.
  if (wl_display_flush(Display) < 0 && errno != EAGAIN) LostConnection();
}

std::unique_ptr<TApplication::TPlatformState> ConnectWayland(std::string& error,
                                                             bool needLayerShell) {
  auto state = std::make_unique<TWaylandState>();
  if (!state->Open(error) || (needLayerShell && state->LayerShell == nullptr)) {
    if (error.empty())
      error = "the Wayland compositor offers no layer shell to lie under its windows";
    state->Shutdown();
    return nullptr;
  }
  return state;
}
