// The X11 backend's event dispatch: monitor changes, close requests, the size of watched foreign
// windows, and on form windows keys (virtual-key codes and the characters they type through the
// locale's input method), buttons, motion, size, mapping and destruction.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <string>

#include "keys/key_codes.h"
#include "x11/x11_display.h"

namespace {

TShiftState ShiftOf(unsigned int state) {
  TShiftState shift = 0;
  if (state & ShiftMask) shift |= ssShift;
  if (state & ControlMask) shift |= ssCtrl;
  if (state & Mod1Mask) shift |= ssAlt;
  if (state & Button1Mask) shift |= ssLeft;
  if (state & Button2Mask) shift |= ssMiddle;
  if (state & Button3Mask) shift |= ssRight;
  return shift;
}

// The text a key press typed, in UTF-8: through the input context in the user's locale, else the
// Latin-1 of the plain lookup.
std::string TypedText(XIC context, XKeyEvent& key) {
  char buffer[64];
  KeySym sym = NoSymbol;
  if (context) {
    Status status = 0;
    int length = Xutf8LookupString(context, &key, buffer, sizeof buffer, &sym, &status);
    if (status == XBufferOverflow) {
      std::string text(static_cast<size_t>(length), '\0');
      length = Xutf8LookupString(context, &key, &text[0], length, &sym, &status);
      text.resize(static_cast<size_t>(std::max(0, length)));
      return status == XLookupChars || status == XLookupBoth ? text : std::string();
    }
    if (status != XLookupChars && status != XLookupBoth) return std::string();
    return std::string(buffer, static_cast<size_t>(std::max(0, length)));
  }
  const int length = XLookupString(&key, buffer, sizeof buffer, &sym, nullptr);
  std::string text;
  for (int i = 0; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(buffer[i]);
    if (c < 0x80) {
      text += static_cast<char>(c);
    } else {
      text += static_cast<char>(0xC0 | (c >> 6));
      text += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return text;
}

}  // namespace

void TX11Display::Dispatch(XEvent& event) {
  const Window window = event.xany.window;
  if (RandrEventBase >= 0 && (event.type == RandrEventBase + RRScreenChangeNotify ||
                              event.type == RandrEventBase + RRNotify)) {
    XRRUpdateConfiguration(&event);
    if (TForm* main = Application.MainForm())
      if (main->OnDisplayChange) main->OnDisplayChange(main);
    return;
  }
  if (TakeCoverEvent(event)) return;
  if (event.type == ClientMessage && event.xclient.message_type == WmProtocols &&
      static_cast<Atom>(event.xclient.data.l[0]) == WmDeleteWindow) {
    if (window == AppWindow) {
      if (TForm* main = Application.MainForm())
        main->Close();
      else
        Application.Terminate();
    } else if (auto found = Forms.find(window); found != Forms.end()) {
      found->second->Form->Close();
    }
    return;
  }

  if (auto watched = Watches.find(window); watched != Watches.end()) {
    if (event.type == DestroyNotify && event.xdestroywindow.window == window) {
      Watches.erase(watched);
    } else if (event.type == ConfigureNotify && event.xconfigure.window == window) {
      TWatch& watch = watched->second;
      if (event.xconfigure.width != watch.Width || event.xconfigure.height != watch.Height) {
        watch.Width = event.xconfigure.width;
        watch.Height = event.xconfigure.height;
        const auto onResize = watch.OnResize;
        if (onResize) onResize(watch.Width, watch.Height);
      }
    }
    return;
  }

  if (auto found = Forms.find(window); found != Forms.end()) DispatchToForm(*found->second, event);
}

void TX11Display::ReadWindowManagerState(TX11Window& window, Atom property) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  // WM_STATE holds the state (IconicState 3) and an icon window; _NET_WM_STATE a list of atoms.
  if (XGetWindowProperty(Dpy, window.Win, property, 0, 64, False, AnyPropertyType, &type, &format,
                         &count, &after, &data) != Success)
    data = nullptr;
  const long* values = format == 32 && data ? reinterpret_cast<const long*>(data) : nullptr;
  if (property == WmState) {
    window.Sight.Iconic = values && count >= 1 && values[0] == IconicState;
  } else {
    window.Sight.Hidden = false;
    for (unsigned long i = 0; values && i < count; ++i)
      if (static_cast<Atom>(values[i]) == NetWmStateHidden) window.Sight.Hidden = true;
  }
  if (data) XFree(data);
}

void TX11Display::DispatchToForm(TX11Window& window, XEvent& event) {
  TForm* form = window.Form;
  switch (event.type) {
    case KeyPress: {
      // Every key is reported, dead keys and keys without a code of their own included.
      if (form->OnKeyDown) {
        uint16_t key = VirtualKeyOf(XLookupKeysym(&event.xkey, 0));
        form->OnKeyDown(form, key, ShiftOf(event.xkey.state));
      }
      // Like the Windows loop, nothing is dispatched after the message that ended it.
      if (Application.Terminated()) return;
      // A dead key or the start of a compose sequence types its character with a later key.
      if (XFilterEvent(&event, None)) return;
      const std::string typed = KeyPressCharacters(TypedText(window.Context, event.xkey));
      for (char character : typed) {
        if (!form->OnKeyPress || Application.Terminated()) break;
        char key = character;
        form->OnKeyPress(form, key);
      }
      break;
    }
    case ButtonPress: {
      // Buttons 4 to 7 are the wheel and 8, 9 the side buttons: no button-down event for them.
      TMouseButton button;
      switch (event.xbutton.button) {
        case Button1:
          button = TMouseButton::mbLeft;
          break;
        case Button2:
          button = TMouseButton::mbMiddle;
          break;
        case Button3:
          button = TMouseButton::mbRight;
          break;
        default:
          return;
      }
      if (form->OnMouseDown)
        form->OnMouseDown(form, button, ShiftOf(event.xbutton.state), event.xbutton.x,
                          event.xbutton.y);
      break;
    }
    case MotionNotify:
      if (form->OnMouseMove)
        form->OnMouseMove(form, ShiftOf(event.xmotion.state), event.xmotion.x, event.xmotion.y);
      break;
    case ConfigureNotify:
      if (event.xconfigure.window == window.Win)
        form->ClientResized(event.xconfigure.width, event.xconfigure.height);
      break;
    case MapNotify:
      window.Sight.Mapped = true;
      // A shown window takes the keyboard, as an activated window does on Windows; the
      // wallpaper never does.
      if (form->Visible() && &window != Wallpaper)
        XSetInputFocus(Dpy, window.Win, RevertToParent, CurrentTime);
      form->SeenChanged();
      break;
    case UnmapNotify:
      if (event.xunmap.window != window.Win) break;
      window.Sight.Mapped = false;
      // An unmapped window is told no more of its visibility: it starts afresh when mapped.
      window.Sight.FullyObscured = false;
      form->SeenChanged();
      break;
    case VisibilityNotify:
      window.Sight.FullyObscured = event.xvisibility.state == VisibilityFullyObscured;
      form->SeenChanged();
      break;
    case PropertyNotify:
      if (event.xproperty.atom == WmState || event.xproperty.atom == NetWmState) {
        ReadWindowManagerState(window, event.xproperty.atom);
        form->SeenChanged();
      }
      break;
    case DestroyNotify:
      if (event.xdestroywindow.window == window.Win) {
        window.Destroyed = true;
        form->WindowDestroyed();
      }
      break;
    default:
      break;
  }
}
