// The Wayland backend's input: the seat with its keyboard (xkbcommon keymaps, the locale's compose
// table, no key repeat) and pointer. Wayland tells a client where the pointer is only over its own
// surfaces, so the cursor position counts from where the pointer was first seen.
#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "keys/key_codes.h"
#include "wayland/wayland_backend.h"

namespace {

TWaylandState& StateOf(void* data) {
  return *static_cast<TWaylandState*>(data);
}

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
  // Without an xkbcommon context (it could not be made at start-up) no keymap can be compiled.
  if (format != WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 || size == 0 || state.Xkb == nullptr) {
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
// position (the output's logical origin plus the position on its surface, in the surface's own
// pixels) less that first one. The pixels are those of the view the scene is drawn in, whatever
// the output's scale.
void PointerAt(TWaylandState& state, const TWlDrawable& drawable, wl_fixed_t x, wl_fixed_t y,
               bool entering) {
  state.PointerPixel =
      WlBufferPoint(wl_fixed_to_double(x), wl_fixed_to_double(y), drawable.Scale120);
  TPoint global = state.PointerPixel;
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

void PointerMotion(void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
  TWaylandState& state = StateOf(data);
  TWlDrawable* drawable = state.DrawableById(state.PointerDrawable);
  if (drawable == nullptr) return;
  PointerAt(state, *drawable, x, y, false);
  const TPoint client = state.ClientPoint(*drawable, state.PointerPixel);
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
  TWlDrawable* drawable = state.DrawableById(state.PointerDrawable);
  if (drawable == nullptr) return;
  const TPoint client = state.ClientPoint(*drawable, state.PointerPixel);
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

// ---- the seat ----

// The keyboard and pointer are released, not only destroyed, where the seat's version knows the
// request: otherwise the compositor keeps them, and sends them input, while the connection lasts.
void ReleaseKeyboard(TWaylandState& state) {
  if (wl_keyboard_get_version(state.Keyboard) >= WL_KEYBOARD_RELEASE_SINCE_VERSION)
    wl_keyboard_release(state.Keyboard);
  else
    wl_keyboard_destroy(state.Keyboard);
  state.Keyboard = nullptr;
  state.KeyboardFocus = 0;
}

void ReleasePointer(TWaylandState& state) {
  if (wl_pointer_get_version(state.Pointer) >= WL_POINTER_RELEASE_SINCE_VERSION)
    wl_pointer_release(state.Pointer);
  else
    wl_pointer_destroy(state.Pointer);
  state.Pointer = nullptr;
  state.PointerDrawable = 0;
}

void SeatCapabilities(void* data, wl_seat* seat, uint32_t capabilities) {
  TWaylandState& state = StateOf(data);
  const bool keyboard = (capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
  const bool pointer = (capabilities & WL_SEAT_CAPABILITY_POINTER) != 0;
  if (keyboard && state.Keyboard == nullptr) {
    state.Keyboard = wl_seat_get_keyboard(seat);
    wl_keyboard_add_listener(state.Keyboard, &KeyboardListener, &state);
  } else if (!keyboard && state.Keyboard) {
    ReleaseKeyboard(state);
  }
  if (pointer && state.Pointer == nullptr) {
    state.Pointer = wl_seat_get_pointer(seat);
    wl_pointer_add_listener(state.Pointer, &PointerListener, &state);
  } else if (!pointer && state.Pointer) {
    ReleasePointer(state);
  }
}

void SeatName(void*, wl_seat*, const char*) {}

const wl_seat_listener SeatListener = [] {
  wl_seat_listener listener{};
  listener.capabilities = SeatCapabilities;
  listener.name = SeatName;
  return listener;
}();

}  // namespace

void TWaylandState::OpenKeyboardContext() {
  Xkb = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  if (Xkb) {
    ComposeTable = ComposeTableOf(Xkb);
    if (ComposeTable) Compose = xkb_compose_state_new(ComposeTable, XKB_COMPOSE_STATE_NO_FLAGS);
  }
}

void TWaylandState::WatchSeat() {
  wl_seat_add_listener(Seat, &SeatListener, this);
}

void TWaylandState::ReleaseSeat() {
  if (Keyboard) ReleaseKeyboard(*this);
  if (Pointer) ReleasePointer(*this);
  if (Seat == nullptr) return;
  if (wl_seat_get_version(Seat) >= WL_SEAT_RELEASE_SINCE_VERSION)
    wl_seat_release(Seat);
  else
    wl_seat_destroy(Seat);
  Seat = nullptr;
}

TPoint TWaylandState::ClientPoint(const TWlDrawable& drawable, TPoint pixel) const {
  TPoint point = pixel;
  if (const TWlOutput* output = OutputOf(drawable.OutputName)) {
    const TScreenRect rect = output->Rect();
    const TScreenRect bounds = Bounds();
    point.X += rect.Left - bounds.Left;
    point.Y += rect.Top - bounds.Top;
  }
  return point;
}

TPoint TWaylandState::CursorPos() {
  if (!PointerSeen) return TPoint{};
  return TPoint{PointerPos.X - PointerOrigin.X, PointerPos.Y - PointerOrigin.Y};
}
