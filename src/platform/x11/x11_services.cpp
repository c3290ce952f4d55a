// The X11 backend's window services of start-up: search by title, close requests to this
// program's own windows, visibility and existence, the cursor, the root window, size watches on
// foreign windows, whether anyone can see a form (DPMS included), and OpenGL through the renderer's
// GLX surface.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/dpms.h>

#include <cstring>

#include "text/cp1251.h"
#include "x11/glx_window_surface.h"
#include "x11/x11_display.h"

// The title of a window in UTF-8: _NET_WM_NAME, else WM_NAME; false when it has none.
bool TX11Display::ReadTitle(Window window, std::string& title) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(Dpy, window, NetWmName, 0, 4096, False, Utf8String, &type, &format, &count,
                         &after, &data) == Success &&
      data != nullptr) {
    const bool found = type == Utf8String && format == 8;
    if (found) title.assign(reinterpret_cast<char*>(data), count);
    XFree(data);
    if (found) return true;
  }
  XTextProperty property{};
  if (!XGetWMName(Dpy, window, &property) || property.value == nullptr) return false;
  char** list = nullptr;
  int items = 0;
  bool found = false;
  if (Xutf8TextPropertyToTextList(Dpy, &property, &list, &items) >= Success && items > 0) {
    title = list[0];
    found = true;
  }
  if (list) XFreeStringList(list);
  XFree(property.value);
  return found;
}

bool TX11Display::IsOurs(Window window) {
  XClassHint hint{};
  if (!XGetClassHint(Dpy, window, &hint)) return false;
  const bool ours = hint.res_class != nullptr && std::strcmp(hint.res_class, X11ResourceClass) == 0;
  if (hint.res_name) XFree(hint.res_name);
  if (hint.res_class) XFree(hint.res_class);
  return ours;
}

TWindowHandle TX11Display::FindWindowByTitle(const std::string& title) {
  const std::string wanted = Cp1251ToUtf8(title);
  auto matches = [&](Window window, bool& titled) {
    std::string text;
    titled = ReadTitle(window, text);
    return titled && text == wanted;
  };

  Window rootReturn = None, parent = None;
  Window* children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(Dpy, Root, &rootReturn, &parent, &children, &count)) return 0;
  Window found = None;
  // Top of the stacking order first; an untitled window may be a window manager's frame whose
  // child is the program's window.
  for (unsigned int i = count; i-- > 0 && found == None;) {
    bool titled = false;
    if (matches(children[i], titled)) {
      found = children[i];
      break;
    }
    if (titled) continue;
    Window* inner = nullptr;
    unsigned int innerCount = 0;
    if (XQueryTree(Dpy, children[i], &rootReturn, &parent, &inner, &innerCount)) {
      for (unsigned int j = 0; j < innerCount; ++j)
        if (matches(inner[j], titled)) {
          found = inner[j];
          break;
        }
      if (inner) XFree(inner);
    }
  }
  if (children) XFree(children);
  return found;
}

void TX11Display::RequestWindowClose(TWindowHandle window) {
  if (!IsOurs(window)) return;
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = WmProtocols;
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(WmDeleteWindow);
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(Dpy, window, False, NoEventMask, &event);
  XFlush(Dpy);
}

bool TX11Display::WindowIsVisible(TWindowHandle window) {
  // A form of this program is visible while it is shown, as on Windows: a window manager that
  // unmaps it (iconified, on another desktop) does not hide it.
  if (auto form = Forms.find(window); form != Forms.end()) return form->second->Form->Visible();
  XWindowAttributes attributes;
  // A window that does not exist fails the request; the error itself is swallowed.
  if (!XGetWindowAttributes(Dpy, window, &attributes)) return false;
  return attributes.map_state == IsViewable;
}

bool TX11Display::WindowIsSeen(TWindowHandle window) {
  // Windows of other programs (the daemon's, the host's preview) are the other program's concern.
  auto form = Forms.find(window);
  if (form == Forms.end()) return true;
  PollDpms();
  TX11Sight sight = form->second->Sight;
  sight.DpmsEnabled = DpmsEnabled;
  sight.DpmsLevel = DpmsLevel;
  return X11WindowSeen(sight);
}

void TX11Display::PollDpms() {
  if (!HasDpms) return;
  // A round trip every second and a half: the monitors wake a little later than the frames
  // could, for a few hundred round trips an hour.
  constexpr double DpmsPollSeconds = 1.5;
  const double now = MonotonicSeconds();
  if (DpmsPolledAt >= 0 && now - DpmsPolledAt < DpmsPollSeconds) return;
  DpmsPolledAt = now;
  CARD16 level = DPMSModeOn;
  BOOL enabled = False;
  if (!DPMSInfo(Dpy, &level, &enabled)) {
    DpmsEnabled = false;
    return;
  }
  DpmsEnabled = enabled;
  DpmsLevel = level;
}

bool TX11Display::WindowExists(TWindowHandle window) {
  XWindowAttributes attributes;
  return XGetWindowAttributes(Dpy, window, &attributes) != 0;
}

bool TX11Display::ForeignWindowsReachable(std::string&) {
  return true;
}

TPoint TX11Display::CursorPos() {
  Window root = None, child = None;
  int rootX = 0, rootY = 0, winX = 0, winY = 0;
  unsigned int mask = 0;
  // root_x and root_y are valid even when the pointer is on another screen.
  XQueryPointer(Dpy, Root, &root, &child, &rootX, &rootY, &winX, &winY, &mask);
  TPoint point;
  point.X = rootX;
  point.Y = rootY;
  return point;
}

TWindowHandle TX11Display::RootWindowHandle() {
  return Root;
}

void TX11Display::WatchWindowSize(TWindowHandle window, std::function<void(int, int)> onResize) {
  // A form's own window already reports its size through OnResize.
  if (Forms.count(window)) return;
  TX11ErrorScope scope(Dpy);
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(Dpy, window, &attributes)) return;
  XSelectInput(Dpy, window, StructureNotifyMask);
  if (scope.Failed()) return;
  TWatch& watch = Watches[window];
  watch.Width = attributes.width;
  watch.Height = attributes.height;
  watch.OnResize = std::move(onResize);
}

bool TX11Display::OpenGLAvailable(std::string& error) {
  if (!TGlxWindowSurface::ServerHasGlx(Dpy, error)) return false;
  XVisualInfo* info = TGlxWindowSurface::ChooseVisual(Dpy, Screen, error);
  if (!info) return false;
  XFree(info);
  return true;
}

std::unique_ptr<TGLSurface> TX11Display::CreateGLSurface(TWindowHandle window, std::string& error) {
  auto surface = TGlxWindowSurface::Create(Dpy, window, error);
  if (surface)
    surface->KnowSizeFrom(
        [this, window](int& width, int& height) { return KnownSize(window, width, height); });
  return surface;
}

bool TX11Display::KnownSize(Window window, int& width, int& height) const {
  if (auto form = Forms.find(window); form != Forms.end()) {
    if (form->second->Destroyed) return false;
    width = form->second->Form->ClientWidth();
    height = form->second->Form->ClientHeight();
    return true;
  }
  if (auto watched = Watches.find(window); watched != Watches.end()) {
    width = watched->second.Width;
    height = watched->second.Height;
    return true;
  }
  return false;
}
