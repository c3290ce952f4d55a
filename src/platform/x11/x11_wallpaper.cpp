// The live wallpaper on X11: a window of the desktop's type over the whole screen (under every
// window, on every workspace, out of the task bar and pager, with an empty input shape so that
// keys and the pointer go to what lies beneath), and the windows that may cover its monitors,
// followed from the window manager's stacking list and their own property and configure events.
// Nothing here polls.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/shape.h>

#include <vector>

#include "x11/x11_display.h"

void TX11Display::MakeDesktopWindow(TX11Window& window) {
  const Window win = window.Win;
  Wallpaper = &window;
  const Atom type = XInternAtom(Dpy, "_NET_WM_WINDOW_TYPE", False);
  const Atom desktop = XInternAtom(Dpy, "_NET_WM_WINDOW_TYPE_DESKTOP", False);
  XChangeProperty(Dpy, win, type, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&desktop), 1);
  // Never given the keyboard, and no part of it takes the pointer.
  XWMHints hints{};
  hints.flags = InputHint;
  hints.input = False;
  XSetWMHints(Dpy, win, &hints);
  XShapeCombineRectangles(Dpy, win, ShapeInput, 0, 0, nullptr, 0, ShapeSet, Unsorted);
  // The stacking list names the windows that may cover it.
  XSelectInput(Dpy, Root, PropertyChangeMask);
  FollowClients();
}

void TX11Display::ShowDesktopWindow(TX11Window& window, int& width, int& height) {
  const Window win = window.Win;
  const Atom state[] = {XInternAtom(Dpy, "_NET_WM_STATE_BELOW", False),
                        XInternAtom(Dpy, "_NET_WM_STATE_STICKY", False),
                        XInternAtom(Dpy, "_NET_WM_STATE_SKIP_TASKBAR", False),
                        XInternAtom(Dpy, "_NET_WM_STATE_SKIP_PAGER", False)};
  XChangeProperty(Dpy, win, NetWmState, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(state), 4);
  // Every workspace.
  const long all = 0xFFFFFFFF;
  XChangeProperty(Dpy, win, XInternAtom(Dpy, "_NET_WM_DESKTOP", False), XA_CARDINAL, 32,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(&all), 1);
  // The whole screen, every monitor: each has its view.
  width = DisplayWidth(Dpy, Screen);
  height = DisplayHeight(Dpy, Screen);
  XSizeHints size{};
  size.flags = USPosition | USSize;
  size.width = width;
  size.height = height;
  XSetWMNormalHints(Dpy, win, &size);
  XMoveResizeWindow(Dpy, win, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height));
  XMapWindow(Dpy, win);
  // Without a window manager nothing else puts it under the windows that are already there.
  XLowerWindow(Dpy, win);
  XFlush(Dpy);
}

void TX11Display::FollowClients() {
  std::vector<unsigned long> listed = X11ListProperty(Dpy, Root, NetClientListStacking, XA_WINDOW);
  if (listed.empty())
    listed = X11ListProperty(Dpy, Root, XInternAtom(Dpy, "_NET_CLIENT_LIST", False), XA_WINDOW);
  std::map<Window, TX11Client> clients;
  for (const unsigned long id : listed) {
    const Window client = static_cast<Window>(id);
    if (Forms.count(client)) continue;
    auto known = Clients.find(client);
    if (known != Clients.end()) {
      clients[client] = known->second;
      continue;
    }
    // Its own mask of this connection: the other program's masks are its own.
    TX11ErrorScope scope(Dpy);
    XSelectInput(Dpy, client, PropertyChangeMask | StructureNotifyMask);
    if (scope.Failed()) continue;
    ReadClient(client, clients[client]);
  }
  Clients = std::move(clients);
}

void TX11Display::ReadClient(Window client, TX11Client& facts) {
  facts = TX11Client{};
  XWindowAttributes attributes{};
  Window child = None;
  int x = 0, y = 0;
  if (!XGetWindowAttributes(Dpy, client, &attributes) ||
      !XTranslateCoordinates(Dpy, client, Root, 0, 0, &x, &y, &child))
    return;
  // A window on another workspace or minimised is unmapped by the window manager.
  facts.Viewable = attributes.map_state == IsViewable;
  facts.Rect = TScreenRect{x, y, attributes.width, attributes.height};
  bool vertical = false, horizontal = false;
  for (const unsigned long atom : X11ListProperty(Dpy, client, NetWmState, XA_ATOM)) {
    vertical = vertical || atom == NetWmStateMaxVert;
    horizontal = horizontal || atom == NetWmStateMaxHorz;
    facts.FullScreen = facts.FullScreen || atom == NetWmStateFullscreen;
    facts.Hidden = facts.Hidden || atom == NetWmStateHidden;
  }
  facts.Maximized = vertical && horizontal;
}

bool TX11Display::TakeCoverEvent(const XEvent& event) {
  if (!Wallpaper) return false;
  const Window window = event.xany.window;
  if (window == Root) {
    if (event.type != PropertyNotify || event.xproperty.atom != NetClientListStacking) return false;
    FollowClients();
  } else {
    auto client = Clients.find(window);
    if (client == Clients.end()) return false;
    switch (event.type) {
      case DestroyNotify:
        Clients.erase(client);
        break;
      case PropertyNotify:
        if (event.xproperty.atom != NetWmState) return true;
        ReadClient(window, client->second);
        break;
      case ConfigureNotify:
      case MapNotify:
      case UnmapNotify:
        ReadClient(window, client->second);
        break;
      default:
        return true;
    }
  }
  Wallpaper->Form->SeenChanged();
  return true;
}

bool TX11Display::ViewCovered(TWindowHandle window, const TScreenRect& area) {
  if (!Wallpaper || Wallpaper->Win != window) return false;
  for (const auto& [id, client] : Clients)
    if (client.Viewable && !client.Hidden &&
        CoversMonitor(area, client.Rect, client.Maximized, client.FullScreen))
      return true;
  return false;
}

bool TX11Display::SightNeedsPolling(TWindowHandle window) {
  // Monitors that power up again say so to no one; everything else comes as an event.
  return Forms.count(window) && DpmsEnabled && DpmsLevel != 0;
}
