// The X11 backend's form windows: made with the renderer's visual and the design's properties,
// shown maximized or over every monitor (with the override-redirect fallback for window managers
// that keep a full-screen window to one monitor), hidden, titled and destroyed.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "x11/glx_window_surface.h"
#include "x11/x11_display.h"

namespace {

TX11Window& X11(TForm::TPlatformWindow& window) {
  return static_cast<TX11Window&>(window);
}

}  // namespace

std::unique_ptr<TForm::TPlatformWindow> TX11Display::CreateWindow(TForm& form,
                                                                  const TFormDesign& design) {
  // Forms are made with the renderer's visual, so OpenGL can draw into any of them.
  std::string unused;
  XVisualInfo* info = TGlxWindowSurface::ChooseVisual(Dpy, Screen, unused);
  Visual* visual = info ? info->visual : DefaultVisual(Dpy, Screen);
  const int depth = info ? info->depth : DefaultDepth(Dpy, Screen);
  if (info) XFree(info);

  auto created = std::make_unique<TX11Window>();
  created->Form = &form;
  created->Map = XCreateColormap(Dpy, Root, visual, AllocNone);
  XColor colour{};
  // Black, or the light grey of Windows dialog faces.
  const unsigned short grey = design.Black ? 0 : 0xF0F0;
  colour.red = colour.green = colour.blue = grey;
  colour.flags = DoRed | DoGreen | DoBlue;
  XAllocColor(Dpy, created->Map, &colour);

  XSetWindowAttributes attributes{};
  attributes.background_pixel = colour.pixel;
  attributes.border_pixel = 0;
  attributes.colormap = created->Map;
  // Visibility and the window manager's properties tell whether anyone can see the window.
  attributes.event_mask = StructureNotifyMask | ExposureMask | FocusChangeMask |
                          VisibilityChangeMask | PropertyChangeMask;
  // The wallpaper hears no input.
  if (!design.Wallpaper)
    attributes.event_mask |= KeyPressMask | ButtonPressMask | PointerMotionMask;
  const Window win = XCreateWindow(
      Dpy, Root, design.Left, design.Top, static_cast<unsigned>(std::max(1, design.ClientWidth)),
      static_cast<unsigned>(std::max(1, design.ClientHeight)), 0, depth, InputOutput, visual,
      CWBackPixel | CWBorderPixel | CWColormap | CWEventMask, &attributes);
  created->Win = win;
  created->Handle = win;
  MarkAsOurs(win);
  if (AppWindow != None) {
    XWMHints hints{};
    hints.flags = WindowGroupHint | InputHint;
    hints.window_group = AppWindow;
    hints.input = True;
    XSetWMHints(Dpy, win, &hints);
  }
  XSizeHints size{};
  size.flags = USPosition | USSize;
  size.x = design.Left;
  size.y = design.Top;
  size.width = design.ClientWidth;
  size.height = design.ClientHeight;
  XSetWMNormalHints(Dpy, win, &size);
  if (design.Borderless) {
    // Motif hints: flags = decorations, decorations = none.
    const long hints[5] = {2, 0, 0, 0, 0};
    XChangeProperty(Dpy, win, MotifWmHints, MotifWmHints, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(hints), 5);
  }
  if (design.HideCursor) {
    const char none[1] = {0};
    Pixmap pixmap = XCreateBitmapFromData(Dpy, win, none, 1, 1);
    XColor black{};
    created->Blank = XCreatePixmapCursor(Dpy, pixmap, pixmap, &black, &black, 0, 0);
    XFreePixmap(Dpy, pixmap);
    XDefineCursor(Dpy, win, created->Blank);
  }
  if (design.Wallpaper) MakeDesktopWindow(*created);
  if (InputMethod && !design.Wallpaper) {
    created->Context = XCreateIC(InputMethod, XNInputStyle, XIMPreeditNothing | XIMStatusNothing,
                                 XNClientWindow, win, XNFocusWindow, win, nullptr);
    if (created->Context) XSetICFocus(created->Context);
  }
  Forms[win] = created.get();
  SetTitleOf(win, design.Caption);
  XFlush(Dpy);
  return created;
}

void TX11Display::ShowWindow(TForm::TPlatformWindow& window, const TFormDesign& design, bool span,
                             int& width, int& height) {
  const Window win = X11(window).Win;
  if (design.Wallpaper) return ShowDesktopWindow(X11(window), width, height);
  std::vector<Atom> state;
  if (design.StayOnTop) state.push_back(NetWmStateAbove);
  if (span) {
    state.push_back(NetWmStateFullscreen);
  } else if (design.Maximized) {
    state.push_back(NetWmStateMaxVert);
    state.push_back(NetWmStateMaxHorz);
  }
  if (!state.empty())
    XChangeProperty(Dpy, win, NetWmState, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(state.data()),
                    static_cast<int>(state.size()));
  if (design.Maximized) {
    // Without a window manager the window covers the area by itself: the whole root window
    // (every monitor), or the monitor under the cursor, which a window manager then maximizes
    // the window on.
    TScreenRect area{0, 0, DisplayWidth(Dpy, Screen), DisplayHeight(Dpy, Screen)};
    if (!span) {
      const TPoint cursor = CursorPos();
      for (const TScreenRect& m : MonitorRects())
        if (cursor.X >= m.Left && cursor.X < m.Left + m.Width && cursor.Y >= m.Top &&
            cursor.Y < m.Top + m.Height) {
          area = m;
          break;
        }
    }
    XSizeHints size{};
    size.flags = USPosition | USSize;
    size.x = area.Left;
    size.y = area.Top;
    size.width = width = area.Width;
    size.height = height = area.Height;
    XSetWMNormalHints(Dpy, win, &size);
    XMoveResizeWindow(Dpy, win, area.Left, area.Top, static_cast<unsigned>(width),
                      static_cast<unsigned>(height));
  }
  // A window manager that keeps a full-screen window to one monitor would leave the others
  // showing the desktop: the window then covers them by itself, out of the manager's care like
  // the screen-saver daemon's own windows, and takes the keyboard when it is mapped.
  bool several = false;
  if (span) {
    const std::vector<TScreenRect> monitors = MonitorRects();
    for (const TScreenRect& m : monitors)
      several = several || m.Left != monitors[0].Left || m.Top != monitors[0].Top ||
                m.Width != monitors[0].Width || m.Height != monitors[0].Height;
  }
  SetOverrideRedirect(win, several && ManagerKeepsFullScreenToOneMonitor());
  XMapRaised(Dpy, win);
  if (span) RequestFullscreenMonitors(win);
  XFlush(Dpy);
}

void TX11Display::HideWindow(TForm::TPlatformWindow& window) {
  XUnmapWindow(Dpy, X11(window).Win);
  XFlush(Dpy);
}

void TX11Display::SetWindowTitle(TForm::TPlatformWindow& window, const std::string& cp1251) {
  SetTitleOf(X11(window).Win, cp1251);
  XFlush(Dpy);
}

void TX11Display::DestroyWindow(TForm::TPlatformWindow& window) {
  TX11Window& x11 = X11(window);
  Forms.erase(x11.Win);
  if (Wallpaper == &x11) Wallpaper = nullptr;
  if (x11.Context) XDestroyIC(x11.Context);
  x11.Context = nullptr;
  if (!x11.Destroyed) XDestroyWindow(Dpy, x11.Win);
  if (x11.Map != None) XFreeColormap(Dpy, x11.Map);
  if (x11.Blank != None) XFreeCursor(Dpy, x11.Blank);
  x11.Map = None;
  x11.Blank = None;
  XFlush(Dpy);
}

// Whether a window manager runs that keeps a full-screen window to one monitor: its check window
// names itself (so the root's list is not a dead manager's), and the atoms it supports lack
// _NET_WM_FULLSCREEN_MONITORS.
bool TX11Display::ManagerKeepsFullScreenToOneMonitor() {
  const Atom check = XInternAtom(Dpy, "_NET_SUPPORTING_WM_CHECK", False);
  const std::vector<unsigned long> manager = X11ListProperty(Dpy, Root, check, XA_WINDOW);
  if (manager.empty()) return false;
  const std::vector<unsigned long> self = X11ListProperty(Dpy, manager[0], check, XA_WINDOW);
  if (self.empty() || self[0] != manager[0]) return false;
  const std::vector<unsigned long> supported =
      X11ListProperty(Dpy, Root, XInternAtom(Dpy, "_NET_SUPPORTED", False), XA_ATOM);
  return std::find(supported.begin(), supported.end(), NetWmFullscreenMonitors) == supported.end();
}

// Puts window in or out of the window manager's care. A mapped window the manager holds is
// withdrawn first and changed once the manager has put it back on the root window (a second at
// most), as a managed window's redirect may not change.
void TX11Display::SetOverrideRedirect(Window window, bool bypass) {
  XWindowAttributes now{};
  if (!XGetWindowAttributes(Dpy, window, &now) || (now.override_redirect != False) == bypass)
    return;
  if (now.map_state != IsUnmapped) {
    XWithdrawWindow(Dpy, window, Screen);
    for (int i = 0; i < 100; ++i) {
      Window root = None, parent = None, *children = nullptr;
      unsigned count = 0;
      XSync(Dpy, False);
      if (!XQueryTree(Dpy, window, &root, &parent, &children, &count)) return;
      if (children) XFree(children);
      if (parent == Root) break;
      usleep(10000);
    }
  }
  XSetWindowAttributes attributes{};
  attributes.override_redirect = bypass ? True : False;
  XChangeWindowAttributes(Dpy, window, CWOverrideRedirect, &attributes);
}

// Asks the window manager to stretch a full-screen window over the monitors at the edges of the
// virtual screen (indices in the server's order).
void TX11Display::RequestFullscreenMonitors(Window window) {
  size_t primary = 0;
  const std::vector<TScreenRect> monitors = ServerMonitors(primary);
  if (monitors.empty()) return;
  long top = 0, bottom = 0, left = 0, right = 0;
  for (size_t i = 0; i < monitors.size(); ++i) {
    const TScreenRect& m = monitors[i];
    if (m.Top < monitors[top].Top) top = static_cast<long>(i);
    if (m.Top + m.Height > monitors[bottom].Top + monitors[bottom].Height)
      bottom = static_cast<long>(i);
    if (m.Left < monitors[left].Left) left = static_cast<long>(i);
    if (m.Left + m.Width > monitors[right].Left + monitors[right].Width)
      right = static_cast<long>(i);
  }
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = NetWmFullscreenMonitors;
  event.xclient.format = 32;
  event.xclient.data.l[0] = top;
  event.xclient.data.l[1] = bottom;
  event.xclient.data.l[2] = left;
  event.xclient.data.l[3] = right;
  event.xclient.data.l[4] = 1;  // a normal application asks
  XSendEvent(Dpy, Root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
}
