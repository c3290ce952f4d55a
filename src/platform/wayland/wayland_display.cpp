// The Wayland backend: the connection and its globals, the outputs with their logical
// rectangles, the forms' surfaces (an xdg_toplevel for a window of its own; for the full-screen
// run a surface on each output) and the seat's keyboard and pointer. Listeners only record what
// came and queue the forms' handlers; DispatchPending runs those one at a time, so a handler
// never runs inside libwayland's dispatch and nothing is delivered after the one that ended the
// loop.
#include <errno.h>
#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "wayland/wayland_backend.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#include "x11/cp1251.h"
#include "x11/key_codes.h"
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

// Round trips at start-up until every output is described; a compositor answers in one or two.
constexpr int DescribeRoundTrips = 4;

TWaylandState& StateOf(void* data) {
  return *static_cast<TWaylandState*>(data);
}

// ---- outputs ----

void OutputGeometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t,
                    const char*, const char*, int32_t) {
  TWlOutput& output = *static_cast<TWlOutput*>(data);
  output.GeometryX = x;
  output.GeometryY = y;
}

void OutputMode(void* data, wl_output* wlOutput, uint32_t flags, int32_t width, int32_t height,
                int32_t refresh) {
  if ((flags & WL_OUTPUT_MODE_CURRENT) == 0) return;
  TWlOutput& output = *static_cast<TWlOutput*>(data);
  output.ModeWidth = width;
  output.ModeHeight = height;
  output.RefreshMilliHz = refresh;
  // Version 1 has no done event: the current mode completes the description.
  if (wl_output_get_version(wlOutput) < WL_OUTPUT_DONE_SINCE_VERSION) {
    output.WlDone = true;
    output.State->OutputChanged(output);
  }
}

void OutputDone(void* data, wl_output*) {
  TWlOutput& output = *static_cast<TWlOutput*>(data);
  output.WlDone = true;
  output.State->OutputChanged(output);
}

void OutputScale(void* data, wl_output*, int32_t factor) {
  static_cast<TWlOutput*>(data)->Scale = factor > 0 ? factor : 1;
}

void OutputText(void*, wl_output*, const char*) {}

const wl_output_listener OutputListener = [] {
  wl_output_listener listener{};
  listener.geometry = OutputGeometry;
  listener.mode = OutputMode;
  listener.done = OutputDone;
  listener.scale = OutputScale;
  listener.name = OutputText;
  listener.description = OutputText;
  return listener;
}();

void XdgOutputPosition(void* data, zxdg_output_v1*, int32_t x, int32_t y) {
  TWlOutput& output = *static_cast<TWlOutput*>(data);
  output.LogicalX = x;
  output.LogicalY = y;
  output.LogicalPositionKnown = true;
}

void XdgOutputSize(void* data, zxdg_output_v1*, int32_t width, int32_t height) {
  TWlOutput& output = *static_cast<TWlOutput*>(data);
  output.LogicalWidth = width;
  output.LogicalHeight = height;
  output.LogicalSizeKnown = true;
}

void XdgOutputDone(void* data, zxdg_output_v1* xdgOutput) {
  TWlOutput& output = *static_cast<TWlOutput*>(data);
  output.XdgDone = true;
  // From version 3 on, wl_output.done closes the description; this event is not sent.
  if (zxdg_output_v1_get_version(xdgOutput) < 3) output.State->OutputChanged(output);
}

void XdgOutputText(void*, zxdg_output_v1*, const char*) {}

const zxdg_output_v1_listener XdgOutputListener = [] {
  zxdg_output_v1_listener listener{};
  listener.logical_position = XdgOutputPosition;
  listener.logical_size = XdgOutputSize;
  listener.done = XdgOutputDone;
  listener.name = XdgOutputText;
  listener.description = XdgOutputText;
  return listener;
}();

// ---- the shell ----

void WmBasePing(void*, xdg_wm_base* base, uint32_t serial) {
  xdg_wm_base_pong(base, serial);
}

const xdg_wm_base_listener WmBaseListener = [] {
  xdg_wm_base_listener listener{};
  listener.ping = WmBasePing;
  return listener;
}();

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

// ---- the keyboard ----

TShiftState ModifiersOf(xkb_state* state) {
  TShiftState shift = 0;
  if (state == nullptr) return shift;
  auto active = [state](const char* name) {
    return xkb_state_mod_name_is_active(state, name, XKB_STATE_MODS_EFFECTIVE) > 0;
  };
  if (active(XKB_MOD_NAME_SHIFT)) shift |= ssShift;
  if (active(XKB_MOD_NAME_CTRL)) shift |= ssCtrl;
  if (active(XKB_MOD_NAME_ALT)) shift |= ssAlt;
  return shift;
}

// The compose table of the user's locale, as the C library would choose it for LC_CTYPE.
xkb_compose_table* ComposeTableOf(xkb_context* context) {
  const char* locale = nullptr;
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value) {
      locale = value;
      break;
    }
  }
  if (locale == nullptr) locale = "C";
  xkb_compose_table* table =
      xkb_compose_table_new_from_locale(context, locale, XKB_COMPOSE_COMPILE_NO_FLAGS);
  if (table == nullptr && std::strcmp(locale, "C") != 0)
    table = xkb_compose_table_new_from_locale(context, "C", XKB_COMPOSE_COMPILE_NO_FLAGS);
  return table;
}

void KeyboardKeymap(void* data, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size) {
  TWaylandState& state = StateOf(data);
  if (format != WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 || size == 0) {
    close(fd);
    return;
  }
  void* map = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  close(fd);
  if (map == MAP_FAILED) return;
  const char* text = static_cast<const char*>(map);
  xkb_keymap* keymap = xkb_keymap_new_from_buffer(
      state.Xkb, text, strnlen(text, size), XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
  munmap(map, size);
  if (keymap == nullptr) return;
  xkb_state* keyState = xkb_state_new(keymap);
  if (keyState == nullptr) {
    xkb_keymap_unref(keymap);
    return;
  }
  if (state.KeyState) xkb_state_unref(state.KeyState);
  if (state.Keymap) xkb_keymap_unref(state.Keymap);
  state.Keymap = keymap;
  state.KeyState = keyState;
  if (state.Compose) xkb_compose_state_reset(state.Compose);
}

void KeyboardEnter(void* data, wl_keyboard*, uint32_t, wl_surface* surface, wl_array*) {
  TWaylandState& state = StateOf(data);
  auto* drawable = surface ? static_cast<TWlDrawable*>(wl_surface_get_user_data(surface)) : nullptr;
  state.KeyboardFocus = drawable ? drawable->Window : 0;
}

void KeyboardLeave(void* data, wl_keyboard*, uint32_t, wl_surface*) {
  TWaylandState& state = StateOf(data);
  state.KeyboardFocus = 0;
  if (state.Compose) xkb_compose_state_reset(state.Compose);
}

// The text a key press types: through the compose state when the locale has one, so that dead
// keys and compose sequences type their character with the key that completes them.
std::string TypedText(TWaylandState& state, xkb_keycode_t code) {
  auto textOf = [&](auto get) {
    char buffer[64];
    const int length = get(buffer, sizeof buffer);
    if (length <= 0) return std::string();
    return std::string(buffer, std::min<size_t>(static_cast<size_t>(length), sizeof buffer - 1));
  };
  if (state.Compose) {
    const xkb_keysym_t sym = xkb_state_key_get_one_sym(state.KeyState, code);
    xkb_compose_state_feed(state.Compose, sym);
    switch (xkb_compose_state_get_status(state.Compose)) {
      case XKB_COMPOSE_COMPOSING:
        return std::string();
      case XKB_COMPOSE_COMPOSED: {
        std::string text = textOf([&](char* buffer, size_t size) {
          return xkb_compose_state_get_utf8(state.Compose, buffer, size);
        });
        xkb_compose_state_reset(state.Compose);
        return text;
      }
      case XKB_COMPOSE_CANCELLED:
        xkb_compose_state_reset(state.Compose);
        return std::string();
      case XKB_COMPOSE_NOTHING:
        break;
    }
  }
  return textOf([&](char* buffer, size_t size) {
    return xkb_state_key_get_utf8(state.KeyState, code, buffer, size);
  });
}

void KeyboardKey(void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t pressed) {
  TWaylandState& state = StateOf(data);
  // Keys are not repeated: a key held down is one key-down, as the saver's input rules need.
  if (pressed != WL_KEYBOARD_KEY_STATE_PRESSED || state.KeyState == nullptr) return;
  const TWindowHandle handle = state.KeyboardFocus;
  if (handle == 0) return;
  const xkb_keycode_t code = key + 8;
  // The key's symbol at its first level in the current layout, as X's XLookupKeysym(event, 0).
  const xkb_layout_index_t layout = xkb_state_key_get_layout(state.KeyState, code);
  const xkb_keysym_t* syms = nullptr;
  const int count = layout == XKB_LAYOUT_INVALID
                        ? 0
                        : xkb_keymap_key_get_syms_by_level(state.Keymap, code, layout, 0, &syms);
  const uint16_t virtualKey = VirtualKeyOf(count > 0 ? syms[0] : XKB_KEY_NoSymbol);
  const TShiftState shift = ModifiersOf(state.KeyState) | state.ButtonsHeld;
  const std::string typed = KeyPressCharacters(TypedText(state, code));
  state.Defer([&state, handle, virtualKey, shift, typed] {
    TWlWindow* window = state.WindowOf(handle);
    if (window == nullptr) return;
    TForm* form = window->Form;
    if (form->OnKeyDown) {
      uint16_t k = virtualKey;
      form->OnKeyDown(form, k, shift);
    }
    // Like the Windows loop, nothing is dispatched after the message that ended it.
    for (char character : typed) {
      if (!form->OnKeyPress || Application.Terminated()) break;
      char c = character;
      form->OnKeyPress(form, c);
    }
  });
}

void KeyboardModifiers(void* data, wl_keyboard*, uint32_t, uint32_t depressed, uint32_t latched,
                       uint32_t locked, uint32_t group) {
  TWaylandState& state = StateOf(data);
  if (state.KeyState)
    xkb_state_update_mask(state.KeyState, depressed, latched, locked, 0, 0, group);
}

void KeyboardRepeat(void*, wl_keyboard*, int32_t, int32_t) {}

const wl_keyboard_listener KeyboardListener = [] {
  wl_keyboard_listener listener{};
  listener.keymap = KeyboardKeymap;
  listener.enter = KeyboardEnter;
  listener.leave = KeyboardLeave;
  listener.key = KeyboardKey;
  listener.modifiers = KeyboardModifiers;
  listener.repeat_info = KeyboardRepeat;
  return listener;
}();

// ---- the pointer ----

TWlDrawable* DrawableOfSurface(wl_surface* surface) {
  return surface ? static_cast<TWlDrawable*>(wl_surface_get_user_data(surface)) : nullptr;
}

// Wayland tells no client where the pointer is on the screen, only where it is over the client's
// own surfaces. The saver reads CursorPos once at start and ends the full-screen run when a
// motion takes the pointer more than a few pixels from there, so positions are counted from
// where the pointer was first seen: (0, 0) until then, and from then on the compositor-space
// position (the output's logical origin plus the position on its surface) less that first one.
void PointerAt(TWaylandState& state, const TWlDrawable& drawable, wl_fixed_t x, wl_fixed_t y,
               bool entering) {
  TPoint global{static_cast<int32_t>(std::floor(wl_fixed_to_double(x))),
                static_cast<int32_t>(std::floor(wl_fixed_to_double(y)))};
  if (const TWlOutput* output = state.OutputOf(drawable.OutputName)) {
    const TScreenRect rect = output->Rect();
    global.X += rect.Left;
    global.Y += rect.Top;
  }
  if (entering && !state.PointerSeen) {
    state.PointerSeen = true;
    state.PointerOrigin = global;
  }
  state.PointerPos = global;
}

void PointerEnter(void* data, wl_pointer* pointer, uint32_t serial, wl_surface* surface,
                  wl_fixed_t x, wl_fixed_t y) {
  TWaylandState& state = StateOf(data);
  TWlDrawable* drawable = DrawableOfSurface(surface);
  state.PointerDrawable = drawable ? drawable->Id : 0;
  if (drawable == nullptr) return;
  PointerAt(state, *drawable, x, y, true);
  const TWlWindow* window = state.WindowOf(drawable->Window);
  if (window && window->Design.HideCursor) wl_pointer_set_cursor(pointer, serial, nullptr, 0, 0);
}

void PointerLeave(void* data, wl_pointer*, uint32_t, wl_surface*) {
  StateOf(data).PointerDrawable = 0;
}

TWlDrawable* PointerDrawableOf(TWaylandState& state) {
  if (state.PointerDrawable == 0) return nullptr;
  for (const auto& [handle, window] : state.Windows)
    for (const auto& drawable : window->Drawables)
      if (drawable->Id == state.PointerDrawable) return drawable.get();
  return nullptr;
}

void PointerMotion(void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
  TWaylandState& state = StateOf(data);
  TWlDrawable* drawable = PointerDrawableOf(state);
  if (drawable == nullptr) return;
  PointerAt(state, *drawable, x, y, false);
  const TPoint client = state.ClientPoint(*drawable, wl_fixed_to_double(x), wl_fixed_to_double(y));
  const TShiftState shift = ModifiersOf(state.KeyState) | state.ButtonsHeld;
  const TWindowHandle handle = drawable->Window;
  state.Defer([&state, handle, shift, client] {
    TWlWindow* window = state.WindowOf(handle);
    if (window && window->Form->OnMouseMove)
      window->Form->OnMouseMove(window->Form, shift, client.X, client.Y);
  });
}

void PointerButton(void* data, wl_pointer*, uint32_t, uint32_t, uint32_t button, uint32_t pressed) {
  TWaylandState& state = StateOf(data);
  TMouseButton which;
  uint8_t flag;
  switch (button) {
    case BTN_LEFT:
      which = TMouseButton::mbLeft;
      flag = ssLeft;
      break;
    case BTN_RIGHT:
      which = TMouseButton::mbRight;
      flag = ssRight;
      break;
    case BTN_MIDDLE:
      which = TMouseButton::mbMiddle;
      flag = ssMiddle;
      break;
    default:
      // Side and extra buttons make no button-down event.
      return;
  }
  if (pressed != WL_POINTER_BUTTON_STATE_PRESSED) {
    state.ButtonsHeld &= static_cast<uint8_t>(~flag);
    return;
  }
  state.ButtonsHeld |= flag;
  TWlDrawable* drawable = PointerDrawableOf(state);
  if (drawable == nullptr) return;
  TWlOutput* output = state.OutputOf(drawable->OutputName);
  const TScreenRect rect = output ? output->Rect() : TScreenRect{};
  const TPoint client =
      state.ClientPoint(*drawable, state.PointerPos.X - rect.Left, state.PointerPos.Y - rect.Top);
  const TShiftState shift = ModifiersOf(state.KeyState) | state.ButtonsHeld;
  const TWindowHandle handle = drawable->Window;
  state.Defer([&state, handle, which, shift, client] {
    TWlWindow* window = state.WindowOf(handle);
    if (window && window->Form->OnMouseDown)
      window->Form->OnMouseDown(window->Form, which, shift, client.X, client.Y);
  });
}

void PointerAxis(void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {}
void PointerFrame(void*, wl_pointer*) {}
void PointerAxisSource(void*, wl_pointer*, uint32_t) {}
void PointerAxisStop(void*, wl_pointer*, uint32_t, uint32_t) {}
void PointerAxisDiscrete(void*, wl_pointer*, uint32_t, int32_t) {}

const wl_pointer_listener PointerListener = [] {
  wl_pointer_listener listener{};
  listener.enter = PointerEnter;
  listener.leave = PointerLeave;
  listener.motion = PointerMotion;
  listener.button = PointerButton;
  listener.axis = PointerAxis;
  listener.frame = PointerFrame;
  listener.axis_source = PointerAxisSource;
  listener.axis_stop = PointerAxisStop;
  listener.axis_discrete = PointerAxisDiscrete;
  return listener;
}();

// ---- the seat and the registry ----

void SeatCapabilities(void* data, wl_seat* seat, uint32_t capabilities) {
  TWaylandState& state = StateOf(data);
  const bool keyboard = (capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
  const bool pointer = (capabilities & WL_SEAT_CAPABILITY_POINTER) != 0;
  if (keyboard && state.Keyboard == nullptr) {
    state.Keyboard = wl_seat_get_keyboard(seat);
    wl_keyboard_add_listener(state.Keyboard, &KeyboardListener, &state);
  } else if (!keyboard && state.Keyboard) {
    if (wl_keyboard_get_version(state.Keyboard) >= WL_KEYBOARD_RELEASE_SINCE_VERSION)
      wl_keyboard_release(state.Keyboard);
    else
      wl_keyboard_destroy(state.Keyboard);
    state.Keyboard = nullptr;
    state.KeyboardFocus = 0;
  }
  if (pointer && state.Pointer == nullptr) {
    state.Pointer = wl_seat_get_pointer(seat);
    wl_pointer_add_listener(state.Pointer, &PointerListener, &state);
  } else if (!pointer && state.Pointer) {
    if (wl_pointer_get_version(state.Pointer) >= WL_POINTER_RELEASE_SINCE_VERSION)
      wl_pointer_release(state.Pointer);
    else
      wl_pointer_destroy(state.Pointer);
    state.Pointer = nullptr;
    state.PointerDrawable = 0;
  }
}

void SeatName(void*, wl_seat*, const char*) {}

const wl_seat_listener SeatListener = [] {
  wl_seat_listener listener{};
  listener.capabilities = SeatCapabilities;
  listener.name = SeatName;
  return listener;
}();

template <class T>
T* Bind(wl_registry* registry, uint32_t name, const wl_interface* interface, uint32_t offered,
        uint32_t wanted) {
  return static_cast<T*>(wl_registry_bind(registry, name, interface, std::min(offered, wanted)));
}

void AddOutputDescription(TWaylandState& state, TWlOutput& output) {
  if (state.OutputManager == nullptr || output.XdgOutput) return;
  output.XdgOutput = zxdg_output_manager_v1_get_xdg_output(state.OutputManager, output.Output);
  zxdg_output_v1_add_listener(output.XdgOutput, &XdgOutputListener, &output);
}

void RegistryGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface,
                    uint32_t version) {
  TWaylandState& state = StateOf(data);
  if (std::strcmp(interface, wl_compositor_interface.name) == 0 && !state.Compositor) {
    state.Compositor =
        Bind<wl_compositor>(registry, name, &wl_compositor_interface, version, CompositorVersion);
  } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !state.Seat) {
    state.Seat = Bind<wl_seat>(registry, name, &wl_seat_interface, version, SeatVersion);
    wl_seat_add_listener(state.Seat, &SeatListener, &state);
  } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0 && !state.WmBase) {
    state.WmBase =
        Bind<xdg_wm_base>(registry, name, &xdg_wm_base_interface, version, WmBaseVersion);
    xdg_wm_base_add_listener(state.WmBase, &WmBaseListener, &state);
  } else if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0 &&
             !state.OutputManager) {
    state.OutputManager = Bind<zxdg_output_manager_v1>(
        registry, name, &zxdg_output_manager_v1_interface, version, OutputManagerVersion);
    for (const auto& output : state.Outputs) AddOutputDescription(state, *output);
  } else if (std::strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0 && !state.LayerShell) {
    state.LayerShell = Bind<zwlr_layer_shell_v1>(registry, name, &zwlr_layer_shell_v1_interface,
                                                 version, LayerShellVersion);
    state.LayerShellVersion = std::min(version, LayerShellVersion);
  } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
    auto output = std::make_unique<TWlOutput>();
    output->State = &state;
    output->Name = name;
    output->Output = Bind<wl_output>(registry, name, &wl_output_interface, version, OutputVersion);
    wl_output_add_listener(output->Output, &OutputListener, output.get());
    AddOutputDescription(state, *output);
    state.Outputs.push_back(std::move(output));
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

void ReleaseOutput(TWlOutput& output) {
  if (output.XdgOutput) zxdg_output_v1_destroy(output.XdgOutput);
  if (wl_output_get_version(output.Output) >= WL_OUTPUT_RELEASE_SINCE_VERSION)
    wl_output_release(output.Output);
  else
    wl_output_destroy(output.Output);
  output.XdgOutput = nullptr;
  output.Output = nullptr;
}

}  // namespace

// ---- outputs ----

TScreenRect TWlOutput::Rect() const {
  if (LogicalSizeKnown && LogicalWidth > 0 && LogicalHeight > 0) {
    if (LogicalPositionKnown) return TScreenRect{LogicalX, LogicalY, LogicalWidth, LogicalHeight};
    return TScreenRect{GeometryX, GeometryY, LogicalWidth, LogicalHeight};
  }
  const int scale = Scale > 0 ? Scale : 1;
  return TScreenRect{GeometryX, GeometryY, ModeWidth / scale, ModeHeight / scale};
}

void TWaylandState::OutputChanged(TWlOutput& output) {
  const bool described = output.WlDone && (output.XdgOutput == nullptr || output.LogicalSizeKnown);
  if (!described) return;
  output.Described = true;
  DisplayChanged = true;
}

void TWaylandState::RemoveOutput(uint32_t name) {
  auto found = std::find_if(Outputs.begin(), Outputs.end(),
                            [name](const auto& output) { return output->Name == name; });
  if (found == Outputs.end()) return;
  // The surfaces on it go first; the compositor may have closed them already.
  for (const auto& [handle, window] : Windows)
    for (size_t i = window->Drawables.size(); i-- > 0;)
      if (window->Drawables[i]->OutputName == name) {
        DestroyDrawable(*window->Drawables[i]);
        window->Drawables.erase(window->Drawables.begin() + static_cast<ptrdiff_t>(i));
      }
  ReleaseOutput(**found);
  Outputs.erase(found);
  DisplayChanged = true;
}

TWlOutput* TWaylandState::OutputOf(uint32_t name) const {
  if (name == 0) return nullptr;
  for (const auto& output : Outputs)
    if (output->Name == name) return output.get();
  return nullptr;
}

std::vector<TWlOutput*> TWaylandState::DescribedOutputs() const {
  std::vector<TWlOutput*> described;
  for (const auto& output : Outputs) {
    const TScreenRect rect = output->Rect();
    if (output->Described && rect.Width > 0 && rect.Height > 0) described.push_back(output.get());
  }
  return described;
}

TScreenRect TWaylandState::Bounds() const {
  const std::vector<TWlOutput*> outputs = DescribedOutputs();
  if (outputs.empty()) return TScreenRect{};
  TScreenRect first = outputs[0]->Rect();
  int left = first.Left, top = first.Top;
  int right = left + first.Width, bottom = top + first.Height;
  for (const TWlOutput* output : outputs) {
    const TScreenRect r = output->Rect();
    left = std::min(left, r.Left);
    top = std::min(top, r.Top);
    right = std::max(right, r.Left + r.Width);
    bottom = std::max(bottom, r.Top + r.Height);
  }
  return TScreenRect{left, top, right - left, bottom - top};
}

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
  Xkb = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  if (Xkb) {
    ComposeTable = ComposeTableOf(Xkb);
    if (ComposeTable) Compose = xkb_compose_state_new(ComposeTable, XKB_COMPOSE_STATE_NO_FLAGS);
  }
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
  for (int i = 0; i < DescribeRoundTrips; ++i) {
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

void TWaylandState::BeforeSleep() {
  // Events another reader (EGL, as it presents) queued for us after the loop's last dispatch go
  // first. Handlers they queue run after the sleep, which the frame timer keeps short.
  while (wl_display_prepare_read(Display) != 0)
    if (wl_display_dispatch_pending(Display) < 0) LostConnection();
  ReadPrepared = true;
  if (wl_display_flush(Display) < 0 && errno != EAGAIN) LostConnection();
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
  if (Keyboard) wl_keyboard_destroy(Keyboard);
  if (Pointer) wl_pointer_destroy(Pointer);
  Keyboard = nullptr;
  Pointer = nullptr;
  for (const auto& output : Outputs) ReleaseOutput(*output);
  Outputs.clear();
  if (LayerShell) {
    if (LayerShellVersion >= ZWLR_LAYER_SHELL_V1_DESTROY_SINCE_VERSION)
      zwlr_layer_shell_v1_destroy(LayerShell);
    else
      wl_proxy_destroy(reinterpret_cast<wl_proxy*>(LayerShell));
  }
  if (OutputManager) zxdg_output_manager_v1_destroy(OutputManager);
  if (WmBase) xdg_wm_base_destroy(WmBase);
  if (Seat) wl_seat_destroy(Seat);
  if (Compositor) wl_compositor_destroy(Compositor);
  if (Registry) wl_registry_destroy(Registry);
  LayerShell = nullptr;
  OutputManager = nullptr;
  WmBase = nullptr;
  Seat = nullptr;
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

// ---- windows ----

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
  wl_surface_set_user_data(drawable->Surface, drawable.get());
  if (output && LayerShell) {
    // Above every window and panel of that output, all of it, with the keyboard.
    drawable->Layer =
        zwlr_layer_shell_v1_get_layer_surface(LayerShell, drawable->Surface, output->Output,
                                              ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "tundrel");
    zwlr_layer_surface_v1_add_listener(drawable->Layer, &LayerListener, drawable.get());
    zwlr_layer_surface_v1_set_size(drawable->Layer, 0, 0);
    zwlr_layer_surface_v1_set_anchor(drawable->Layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP |
                                                          ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                                          ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT |
                                                          ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    zwlr_layer_surface_v1_set_exclusive_zone(drawable->Layer, -1);
    zwlr_layer_surface_v1_set_keyboard_interactivity(
        drawable->Layer, ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE);
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
    wl_surface_destroy(drawable->Surface);
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
  if (drawable.Surface) wl_surface_destroy(drawable.Surface);
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
  for (int i = 0; i < DescribeRoundTrips && !made.Configured; ++i)
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
    } else if (drawable.Width > 0 && drawable.Height > 0) {
      width = drawable.Width;
      height = drawable.Height;
    } else {
      width = window->Form->ClientWidth();
      height = window->Form->ClientHeight();
    }
  }
  const bool resized = width != drawable.Width || height != drawable.Height;
  drawable.Width = width;
  drawable.Height = height;
  const bool first = !drawable.Configured;
  drawable.Configured = true;
  if (first) {
    // An opaque surface: the scene's cleared alpha is not the desktop's business.
    wl_region* region = wl_compositor_create_region(Compositor);
    wl_region_add(region, 0, 0, INT32_MAX, INT32_MAX);
    wl_surface_set_opaque_region(drawable.Surface, region);
    wl_region_destroy(region);
  }
  if (drawable.EglWindow)
    wl_egl_window_resize(drawable.EglWindow, width, height, 0, 0);
  else
    MakeEglSurface(drawable);
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

TPoint TWaylandState::ClientPoint(const TWlDrawable& drawable, double x, double y) const {
  TPoint point{static_cast<int32_t>(std::floor(x)), static_cast<int32_t>(std::floor(y))};
  if (const TWlOutput* output = OutputOf(drawable.OutputName)) {
    const TScreenRect rect = output->Rect();
    const TScreenRect bounds = Bounds();
    point.X += rect.Left - bounds.Left;
    point.Y += rect.Top - bounds.Top;
  }
  return point;
}

// ---- window services ----

TWindowHandle TWaylandState::FindWindowByTitle(const std::string&) {
  // Wayland shows no program the windows of another.
  return 0;
}

void TWaylandState::RequestWindowClose(TWindowHandle) {}

bool TWaylandState::WindowIsVisible(TWindowHandle handle) {
  const TWlWindow* window = WindowOf(handle);
  return window && window->Form->Visible();
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

TPoint TWaylandState::CursorPos() {
  if (!PointerSeen) return TPoint{};
  return TPoint{PointerPos.X - PointerOrigin.X, PointerPos.Y - PointerOrigin.Y};
}

TWindowHandle TWaylandState::RootWindowHandle() {
  return 0;
}

void TWaylandState::WatchWindowSize(TWindowHandle, std::function<void(int, int)>) {}

std::vector<TScreenRect> TWaylandState::MonitorRects() {
  std::vector<TScreenRect> rects;
  for (const TWlOutput* output : DescribedOutputs()) rects.push_back(output->Rect());
  return rects;
}

double TWaylandState::DisplayRefreshRate() {
  const std::vector<TWlOutput*> outputs = DescribedOutputs();
  if (outputs.empty() || outputs[0]->RefreshMilliHz <= 0) return 0;
  return outputs[0]->RefreshMilliHz / 1000.0;
}

std::unique_ptr<TApplication::TPlatformState> ConnectWayland(std::string& error) {
  auto state = std::make_unique<TWaylandState>();
  if (!state->Open(error)) {
    state->Shutdown();
    return nullptr;
  }
  return state;
}
