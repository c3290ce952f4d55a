// The form framework over Xlib: the application window and loop, form windows with their design
// properties, the timer queue, SIGTERM/SIGINT through a self-pipe, and the window services of
// start-up. One thread; X errors are swallowed (a vanished window is an ordinary event here),
// and a lost connection ends the process with status 1 and one line on stderr. Connecting sets
// the character type of the user's locale (LC_CTYPE only), for the characters keys type.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>
#include <X11/keysym.h>
#include <errno.h>
#include <fcntl.h>
#include <locale.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <locale>
#include <map>
#include <vector>

#include "forms.h"
#include "x11/cp1251.h"
#include "x11/glx_window_surface.h"
#include "x11/key_codes.h"

// The application's state on X: the connection, the atoms it names, the windows it owns or
// watches, and the read end of the signal pipe.
struct TApplication::TPlatformState {
  Display* Dpy = nullptr;
  int Screen = 0;
  Window Root = None;
  Window AppWindow = None;
  Atom WmProtocols = None;
  Atom WmDeleteWindow = None;
  Atom NetWmName = None;
  Atom Utf8String = None;
  Atom NetWmState = None;
  Atom NetWmStateAbove = None;
  Atom NetWmStateMaxVert = None;
  Atom NetWmStateMaxHorz = None;
  Atom NetWmStateFullscreen = None;
  Atom NetWmFullscreenMonitors = None;
  Atom MotifWmHints = None;
  Atom NetWmPid = None;
  XIM InputMethod = nullptr;  // the locale's own, for the characters keys type
  std::map<Window, TForm*> Forms;
  std::map<Window, XIC> InputContexts;  // one per form window
  struct TWatch {
    int Width = 0;
    int Height = 0;
    std::function<void(int, int)> OnResize;
  };
  std::map<Window, TWatch> Watches;
  int SignalRead = -1;
  bool SignalsInstalled = false;
  int RandrEventBase = -1;     // RandR's first event code; -1 without the extension
  bool RandrMonitors = false;  // the server has RandR 1.5 and its monitor list
};

// A form's window and the resources made for it.
struct TForm::TPlatformWindow {
  Window Win = None;
  bool Destroyed = false;  // by another program
  Colormap Map = None;
  Cursor Blank = None;
};

TApplication Application;

namespace {

// The WM_CLASS of every window this program makes; only such windows are ever asked to close.
constexpr char ResourceName[] = "tundrel";
constexpr char ResourceClass[] = "Tundrel";

int SignalWrite = -1;
unsigned long ErrorCount = 0;
// The display connection, open for the life of the process (see TApplication::Shutdown).
Display* DisplayConnection = nullptr;

int IgnoreXError(Display*, XErrorEvent*) {
  ++ErrorCount;
  return 0;
}

int LostConnection(Display*) {
  std::fprintf(stderr, "%s: lost the connection to the X server\n", program_invocation_short_name);
  // Xlib must not be entered again, and neither may the destructors that would call it.
  _exit(1);
}

void ForwardSignal(int) {
  const int saved = errno;
  const char byte = 1;
  if (write(SignalWrite, &byte, 1) < 0) {
    // The pipe is full: a close is already pending.
  }
  errno = saved;
}

// Counts the X errors raised by the requests made while it lives.
class TErrorScope {
 public:
  explicit TErrorScope(Display* display) : Dpy(display) {
    XSync(Dpy, False);
    Start = ErrorCount;
  }
  bool Failed() {
    XSync(Dpy, False);
    return ErrorCount != Start;
  }

 private:
  Display* Dpy;
  unsigned long Start;
};

TApplication::TPlatformState* State() {
  return Application.Platform();
}

Display* Dpy() {
  TApplication::TPlatformState* state = State();
  return state ? state->Dpy : nullptr;
}

int64_t MonotonicMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void SetWindowTitle(Window window, const std::string& cp1251) {
  TApplication::TPlatformState* st = State();
  const std::string utf8 = Cp1251ToUtf8(cp1251);
  XChangeProperty(st->Dpy, window, st->NetWmName, st->Utf8String, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(utf8.data()),
                  static_cast<int>(utf8.size()));
  // WM_NAME for programs that do not read _NET_WM_NAME: STRING when Latin-1 suffices, else
  // COMPOUND_TEXT.
  char* list[] = {const_cast<char*>(utf8.c_str())};
  XTextProperty property{};
  if (Xutf8TextListToTextProperty(st->Dpy, list, 1, XStdICCTextStyle, &property) >= Success) {
    XSetWMName(st->Dpy, window, &property);
    XFree(property.value);
  }
}

// The title of a window in UTF-8: _NET_WM_NAME, else WM_NAME; empty when it has none.
bool ReadTitle(Display* dpy, Window window, std::string& title) {
  TApplication::TPlatformState* st = State();
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(dpy, window, st->NetWmName, 0, 4096, False, st->Utf8String, &type, &format,
                         &count, &after, &data) == Success &&
      data != nullptr) {
    const bool found = type == st->Utf8String && format == 8;
    if (found) title.assign(reinterpret_cast<char*>(data), count);
    XFree(data);
    if (found) return true;
  }
  XTextProperty property{};
  if (!XGetWMName(dpy, window, &property) || property.value == nullptr) return false;
  char** list = nullptr;
  int items = 0;
  bool found = false;
  if (Xutf8TextPropertyToTextList(dpy, &property, &list, &items) >= Success && items > 0) {
    title = list[0];
    found = true;
  }
  if (list) XFreeStringList(list);
  XFree(property.value);
  return found;
}

bool IsOurs(Display* dpy, Window window) {
  XClassHint hint{};
  if (!XGetClassHint(dpy, window, &hint)) return false;
  const bool ours = hint.res_class != nullptr && std::strcmp(hint.res_class, ResourceClass) == 0;
  if (hint.res_name) XFree(hint.res_name);
  if (hint.res_class) XFree(hint.res_class);
  return ours;
}

// Properties every window of this program carries: WM_CLASS, WM_PROTOCOLS, _NET_WM_PID.
void MarkAsOurs(Window window) {
  TApplication::TPlatformState* st = State();
  XClassHint hint{};
  hint.res_name = const_cast<char*>(ResourceName);
  hint.res_class = const_cast<char*>(ResourceClass);
  XSetClassHint(st->Dpy, window, &hint);
  Atom protocols[] = {st->WmDeleteWindow};
  XSetWMProtocols(st->Dpy, window, protocols, 1);
  const long pid = static_cast<long>(getpid());
  XChangeProperty(st->Dpy, window, st->NetWmPid, XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&pid), 1);
}

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

// The text a key press typed, in UTF-8: through the input context in the user's locale, else
// the Latin-1 of the plain lookup.
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

XIC InputContextOf(TApplication::TPlatformState* st, Window window) {
  const auto found = st->InputContexts.find(window);
  return found == st->InputContexts.end() ? nullptr : found->second;
}

void InstallSignals(TApplication::TPlatformState* st) {
  if (st->SignalsInstalled) return;
  int fds[2];
  if (pipe(fds) != 0) return;
  for (int fd : fds) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  st->SignalRead = fds[0];
  SignalWrite = fds[1];
  struct sigaction action {};
  action.sa_handler = ForwardSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  st->SignalsInstalled = true;
}

// True when a termination signal came since the last call.
bool TakeSignals(TApplication::TPlatformState* st) {
  if (st->SignalRead < 0) return false;
  bool any = false;
  char buffer[16];
  while (read(st->SignalRead, buffer, sizeof buffer) > 0) any = true;
  return any;
}

// The monitors in the server's order (the order _NET_WM_FULLSCREEN_MONITORS counts in), from
// RandR 1.5, else Xinerama; primary is the index of the primary one. Empty when neither names any.
std::vector<TScreenRect> ServerMonitors(TApplication::TPlatformState* st, size_t& primary) {
  std::vector<TScreenRect> monitors;
  primary = 0;
  if (st->RandrMonitors) {
    int count = 0;
    XRRMonitorInfo* info = XRRGetMonitors(st->Dpy, st->Root, True, &count);
    for (int i = 0; i < count; ++i) {
      if (info[i].primary) primary = monitors.size();
      monitors.push_back(TScreenRect{info[i].x, info[i].y, info[i].width, info[i].height});
    }
    if (info) XRRFreeMonitors(info);
    if (!monitors.empty()) return monitors;
  }
  int eventBase = 0, errorBase = 0;
  if (XineramaQueryExtension(st->Dpy, &eventBase, &errorBase) && XineramaIsActive(st->Dpy)) {
    int count = 0;
    XineramaScreenInfo* info = XineramaQueryScreens(st->Dpy, &count);
    for (int i = 0; i < count; ++i)
      monitors.push_back(TScreenRect{info[i].x_org, info[i].y_org, info[i].width, info[i].height});
    if (info) XFree(info);
  }
  return monitors;
}

// A property of 32-bit items (atoms, windows) of the given type; empty when it is missing.
std::vector<unsigned long> ListProperty(Display* dpy, Window window, Atom property, Atom type) {
  std::vector<unsigned long> items;
  Atom actual = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(dpy, window, property, 0, 4096, False, type, &actual, &format, &count,
                         &after, &data) == Success &&
      data != nullptr) {
    if (actual == type && format == 32) {
      const unsigned long* values = reinterpret_cast<const unsigned long*>(data);
      items.assign(values, values + count);
    }
    XFree(data);
  }
  return items;
}

// Whether a window manager runs that keeps a full-screen window to one monitor: its check
// window names itself (so the root's list is not a dead manager's), and the atoms it supports
// lack _NET_WM_FULLSCREEN_MONITORS.
bool ManagerKeepsFullScreenToOneMonitor(TApplication::TPlatformState* st) {
  Display* dpy = st->Dpy;
  const Atom check = XInternAtom(dpy, "_NET_SUPPORTING_WM_CHECK", False);
  const std::vector<unsigned long> manager = ListProperty(dpy, st->Root, check, XA_WINDOW);
  if (manager.empty()) return false;
  const std::vector<unsigned long> self = ListProperty(dpy, manager[0], check, XA_WINDOW);
  if (self.empty() || self[0] != manager[0]) return false;
  const std::vector<unsigned long> supported =
      ListProperty(dpy, st->Root, XInternAtom(dpy, "_NET_SUPPORTED", False), XA_ATOM);
  return std::find(supported.begin(), supported.end(), st->NetWmFullscreenMonitors) ==
         supported.end();
}

// Puts window in or out of the window manager's care. A mapped window the manager holds is
// withdrawn first and changed once the manager has put it back on the root window (a second
// at most), as a managed window's redirect may not change.
void SetOverrideRedirect(TApplication::TPlatformState* st, Window window, bool bypass) {
  Display* dpy = st->Dpy;
  XWindowAttributes now{};
  if (!XGetWindowAttributes(dpy, window, &now) || (now.override_redirect != False) == bypass)
    return;
  if (now.map_state != IsUnmapped) {
    XWithdrawWindow(dpy, window, st->Screen);
    for (int i = 0; i < 100; ++i) {
      Window root = None, parent = None, *children = nullptr;
      unsigned count = 0;
      XSync(dpy, False);
      if (!XQueryTree(dpy, window, &root, &parent, &children, &count)) return;
      if (children) XFree(children);
      if (parent == st->Root) break;
      usleep(10000);
    }
  }
  XSetWindowAttributes attributes{};
  attributes.override_redirect = bypass ? True : False;
  XChangeWindowAttributes(dpy, window, CWOverrideRedirect, &attributes);
}

// Asks the window manager to stretch a full-screen window over the monitors at the edges of
// the virtual screen (indices in the server's order).
void RequestFullscreenMonitors(TApplication::TPlatformState* st, Window window) {
  size_t primary = 0;
  const std::vector<TScreenRect> monitors = ServerMonitors(st, primary);
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
  event.xclient.message_type = st->NetWmFullscreenMonitors;
  event.xclient.format = 32;
  event.xclient.data.l[0] = top;
  event.xclient.data.l[1] = bottom;
  event.xclient.data.l[2] = left;
  event.xclient.data.l[3] = right;
  event.xclient.data.l[4] = 1;  // a normal application asks
  XSendEvent(st->Dpy, st->Root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
}

void Dispatch(TApplication::TPlatformState* st, XEvent& event) {
  const Window window = event.xany.window;
  if (st->RandrEventBase >= 0 && (event.type == st->RandrEventBase + RRScreenChangeNotify ||
                                  event.type == st->RandrEventBase + RRNotify)) {
    XRRUpdateConfiguration(&event);
    if (TForm* main = Application.MainForm())
      if (main->OnDisplayChange) main->OnDisplayChange(main);
    return;
  }
  if (event.type == ClientMessage && event.xclient.message_type == st->WmProtocols &&
      static_cast<Atom>(event.xclient.data.l[0]) == st->WmDeleteWindow) {
    if (window == st->AppWindow) {
      if (TForm* main = Application.MainForm())
        main->Close();
      else
        Application.Terminate();
    } else if (auto found = st->Forms.find(window); found != st->Forms.end()) {
      found->second->Close();
    }
    return;
  }

  if (auto watched = st->Watches.find(window); watched != st->Watches.end()) {
    if (event.type == DestroyNotify && event.xdestroywindow.window == window) {
      st->Watches.erase(watched);
    } else if (event.type == ConfigureNotify && event.xconfigure.window == window) {
      TApplication::TPlatformState::TWatch& watch = watched->second;
      if (event.xconfigure.width != watch.Width || event.xconfigure.height != watch.Height) {
        watch.Width = event.xconfigure.width;
        watch.Height = event.xconfigure.height;
        const auto onResize = watch.OnResize;
        if (onResize) onResize(watch.Width, watch.Height);
      }
    }
    return;
  }

  auto found = st->Forms.find(window);
  if (found == st->Forms.end()) return;
  TForm* form = found->second;
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
      const std::string typed =
          KeyPressCharacters(TypedText(InputContextOf(st, window), event.xkey));
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
      if (event.xconfigure.window == window)
        form->ClientResized(event.xconfigure.width, event.xconfigure.height);
      break;
    case MapNotify:
      // A shown window takes the keyboard, as an activated window does on Windows.
      if (form->Visible()) XSetInputFocus(st->Dpy, window, RevertToParent, CurrentTime);
      break;
    case DestroyNotify:
      if (event.xdestroywindow.window == window) form->WindowDestroyed();
      break;
    default:
      break;
  }
}

}  // namespace

// ---- TForm ----

TForm::TForm(const TFormDesign& design)
    : Design(design), Width(design.ClientWidth), Height(design.ClientHeight) {}

TForm::~TForm() {
  if (!Wnd) return;
  TApplication::TPlatformState* st = State();
  if (st && st->Dpy) {
    st->Forms.erase(Wnd->Win);
    if (XIC context = InputContextOf(st, Wnd->Win)) {
      XDestroyIC(context);
      st->InputContexts.erase(Wnd->Win);
    }
    if (!Wnd->Destroyed) XDestroyWindow(st->Dpy, Wnd->Win);
    if (Wnd->Map != None) XFreeColormap(st->Dpy, Wnd->Map);
    if (Wnd->Blank != None) XFreeCursor(st->Dpy, Wnd->Blank);
    XFlush(st->Dpy);
  }
}

bool TForm::HandleAllocated() const {
  return Wnd != nullptr;
}

TWindowHandle TForm::Handle() {
  if (Wnd) return Wnd->Win;
  TApplication::TPlatformState* st = State();
  if (!st || !st->Dpy) return 0;
  Display* dpy = st->Dpy;

  // Forms are made with the renderer's visual, so OpenGL can draw into any of them.
  std::string unused;
  XVisualInfo* info = TGlxWindowSurface::ChooseVisual(dpy, st->Screen, unused);
  Visual* visual = info ? info->visual : DefaultVisual(dpy, st->Screen);
  const int depth = info ? info->depth : DefaultDepth(dpy, st->Screen);
  if (info) XFree(info);

  auto created = std::make_unique<TPlatformWindow>();
  created->Map = XCreateColormap(dpy, st->Root, visual, AllocNone);
  XColor colour{};
  // Black, or the light grey of Windows dialog faces.
  const unsigned short grey = Design.Black ? 0 : 0xF0F0;
  colour.red = colour.green = colour.blue = grey;
  colour.flags = DoRed | DoGreen | DoBlue;
  XAllocColor(dpy, created->Map, &colour);

  XSetWindowAttributes attributes{};
  attributes.background_pixel = colour.pixel;
  attributes.border_pixel = 0;
  attributes.colormap = created->Map;
  attributes.event_mask = KeyPressMask | ButtonPressMask | PointerMotionMask | StructureNotifyMask |
                          ExposureMask | FocusChangeMask;
  created->Win =
      XCreateWindow(dpy, st->Root, Design.Left, Design.Top,
                    static_cast<unsigned>(std::max(1, Design.ClientWidth)),
                    static_cast<unsigned>(std::max(1, Design.ClientHeight)), 0, depth, InputOutput,
                    visual, CWBackPixel | CWBorderPixel | CWColormap | CWEventMask, &attributes);
  MarkAsOurs(created->Win);
  if (Application.Platform()->AppWindow != None) {
    XWMHints hints{};
    hints.flags = WindowGroupHint | InputHint;
    hints.window_group = st->AppWindow;
    hints.input = True;
    XSetWMHints(dpy, created->Win, &hints);
  }
  XSizeHints size{};
  size.flags = USPosition | USSize;
  size.x = Design.Left;
  size.y = Design.Top;
  size.width = Design.ClientWidth;
  size.height = Design.ClientHeight;
  XSetWMNormalHints(dpy, created->Win, &size);
  if (Design.Borderless) {
    // Motif hints: flags = decorations, decorations = none.
    const long hints[5] = {2, 0, 0, 0, 0};
    XChangeProperty(dpy, created->Win, st->MotifWmHints, st->MotifWmHints, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(hints), 5);
  }
  if (Design.HideCursor) {
    const char none[1] = {0};
    Pixmap pixmap = XCreateBitmapFromData(dpy, created->Win, none, 1, 1);
    XColor black{};
    created->Blank = XCreatePixmapCursor(dpy, pixmap, pixmap, &black, &black, 0, 0);
    XFreePixmap(dpy, pixmap);
    XDefineCursor(dpy, created->Win, created->Blank);
  }
  if (st->InputMethod) {
    XIC context = XCreateIC(st->InputMethod, XNInputStyle, XIMPreeditNothing | XIMStatusNothing,
                            XNClientWindow, created->Win, XNFocusWindow, created->Win, nullptr);
    if (context) {
      XSetICFocus(context);
      st->InputContexts[created->Win] = context;
    }
  }
  Wnd = std::move(created);
  st->Forms[Wnd->Win] = this;
  SetWindowTitle(Wnd->Win, Design.Caption);
  XFlush(dpy);
  return Wnd->Win;
}

void TForm::Show() {
  const TWindowHandle win = Handle();
  if (win == 0) return;
  TApplication::TPlatformState* st = State();
  Display* dpy = st->Dpy;
  const bool span = Design.Maximized && SpanMonitors;
  std::vector<Atom> state;
  if (Design.StayOnTop) state.push_back(st->NetWmStateAbove);
  if (span) {
    state.push_back(st->NetWmStateFullscreen);
  } else if (Design.Maximized) {
    state.push_back(st->NetWmStateMaxVert);
    state.push_back(st->NetWmStateMaxHorz);
  }
  if (!state.empty())
    XChangeProperty(dpy, win, st->NetWmState, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(state.data()),
                    static_cast<int>(state.size()));
  int width = Width, height = Height;
  if (Design.Maximized) {
    // Without a window manager the window covers the area by itself: the whole root window
    // (every monitor), or the monitor under the cursor, which a window manager then maximizes
    // the window on.
    TScreenRect area{0, 0, DisplayWidth(dpy, st->Screen), DisplayHeight(dpy, st->Screen)};
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
    XSetWMNormalHints(dpy, win, &size);
    XMoveResizeWindow(dpy, win, area.Left, area.Top, static_cast<unsigned>(width),
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
  SetOverrideRedirect(st, win, several && ManagerKeepsFullScreenToOneMonitor(st));
  Shown = true;
  XMapRaised(dpy, win);
  if (span) RequestFullscreenMonitors(st, win);
  XFlush(dpy);
  ClientResized(width, height);
}

void TForm::Hide() {
  Shown = false;
  if (!Wnd) return;
  Display* dpy = Dpy();
  XUnmapWindow(dpy, Wnd->Win);
  XFlush(dpy);
}

void TForm::Close() {
  // The main form stays on screen until the application destroys it on the way out.
  if (Application.MainForm() == this)
    Application.Terminate();
  else
    Hide();
}

void TForm::SetCaption(const std::string& caption) {
  Design.Caption = caption;
  if (Wnd) {
    SetWindowTitle(Wnd->Win, caption);
    XFlush(Dpy());
  }
}

void TForm::WindowDestroyed() {
  Shown = false;
  if (Wnd) Wnd->Destroyed = true;
}

void TTimer::Restart() {
  DueAt = MonotonicMs() + std::max(IntervalMs, MinimumTimerInterval);
}

// ---- TApplication ----

TApplication::TApplication() = default;

TApplication::~TApplication() {
  Shutdown();
}

bool TApplication::Connect(std::string& error) {
  if (State && State->Dpy) return true;
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') {
    error = "no X display: DISPLAY is not set";
    return false;
  }
  // Keys type characters of the user's locale; numbers stay in the C locale's notation. The input
  // method is the locale's own (dead keys and compose sequences), never an input-method server
  // that would open windows of its own over the saver.
  if (setlocale(LC_CTYPE, "") == nullptr || !XSupportsLocale()) setlocale(LC_CTYPE, "C");
  XSetLocaleModifiers("@im=none");
  Display* dpy = XOpenDisplay(name);
  if (dpy == nullptr) {
    error = std::string("cannot open the X display \"") + name + "\"";
    return false;
  }
  XSetErrorHandler(IgnoreXError);
  XSetIOErrorHandler(LostConnection);
  DisplayConnection = dpy;

  State = std::make_unique<TPlatformState>();
  TPlatformState& st = *State;
  st.Dpy = dpy;
  st.Screen = DefaultScreen(dpy);
  st.Root = RootWindow(dpy, st.Screen);
  st.WmProtocols = XInternAtom(dpy, "WM_PROTOCOLS", False);
  st.WmDeleteWindow = XInternAtom(dpy, "WM_DELETE_WINDOW", False);
  st.NetWmName = XInternAtom(dpy, "_NET_WM_NAME", False);
  st.Utf8String = XInternAtom(dpy, "UTF8_STRING", False);
  st.NetWmState = XInternAtom(dpy, "_NET_WM_STATE", False);
  st.NetWmStateAbove = XInternAtom(dpy, "_NET_WM_STATE_ABOVE", False);
  st.NetWmStateMaxVert = XInternAtom(dpy, "_NET_WM_STATE_MAXIMIZED_VERT", False);
  st.NetWmStateMaxHorz = XInternAtom(dpy, "_NET_WM_STATE_MAXIMIZED_HORZ", False);
  st.NetWmStateFullscreen = XInternAtom(dpy, "_NET_WM_STATE_FULLSCREEN", False);
  st.NetWmFullscreenMonitors = XInternAtom(dpy, "_NET_WM_FULLSCREEN_MONITORS", False);
  st.MotifWmHints = XInternAtom(dpy, "_MOTIF_WM_HINTS", False);
  st.NetWmPid = XInternAtom(dpy, "_NET_WM_PID", False);
  st.InputMethod = XOpenIM(dpy, nullptr, nullptr, nullptr);
  int eventBase = 0, errorBase = 0, major = 0, minor = 0;
  if (XRRQueryExtension(dpy, &eventBase, &errorBase) && XRRQueryVersion(dpy, &major, &minor)) {
    st.RandrEventBase = eventBase;
    st.RandrMonitors = major > 1 || (major == 1 && minor >= 5);
    // Monitors that come, go or change are told as screen and output changes.
    XRRSelectInput(dpy, st.Root,
                   RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
  }
  return true;
}

void TApplication::Initialize() {
  if (!State || !State->Dpy || State->AppWindow != None) return;
  TPlatformState& st = *State;
  XSetWindowAttributes attributes{};
  st.AppWindow = XCreateWindow(st.Dpy, st.Root, 0, 0, 1, 1, 0, CopyFromParent, InputOnly,
                               CopyFromParent, 0, &attributes);
  MarkAsOurs(st.AppWindow);
  SetWindowTitle(st.AppWindow, AppTitle);
  XFlush(st.Dpy);
}

void TApplication::SetTitle(const std::string& title) {
  AppTitle = title;
  if (State && State->AppWindow != None) {
    SetWindowTitle(State->AppWindow, title);
    XFlush(State->Dpy);
  }
}

void TApplication::AdoptForm(std::unique_ptr<TForm> form) {
  TForm* raw = form.get();
  Forms.push_back(std::move(form));
  if (Main == nullptr) Main = raw;
  // From the first form on, SIGTERM and SIGINT wait in the pipe for the loop.
  if (State) InstallSignals(State.get());
  if (raw->OnCreate) raw->OnCreate(raw);
}

void TApplication::AddTimer(TTimer* timer) {
  Timers.push_back(timer);
}

void TApplication::RemoveTimer(TTimer* timer) {
  Timers.erase(std::remove(Timers.begin(), Timers.end(), timer), Timers.end());
}

void TApplication::Run() {
  if (!State || !State->Dpy || Main == nullptr) return;
  TPlatformState* st = State.get();
  Display* dpy = st->Dpy;
  // A termination signal during the main form's creation closes it before it is shown.
  if (TakeSignals(st)) Main->Close();
  if (ShowMainForm && !IsTerminated) Main->Show();

  while (!IsTerminated) {
    // Window events first; timer events only when no other message waits, as on Windows.
    if (XPending(dpy) > 0) {
      XEvent event;
      XNextEvent(dpy, &event);
      Dispatch(st, event);
      continue;
    }
    if (TakeSignals(st)) {
      Main->Close();
      continue;
    }
    const int64_t now = MonotonicMs();
    TTimer* next = nullptr;
    for (TTimer* timer : Timers)
      if (timer->Enabled() && timer->Interval() > 0 && (!next || timer->DueAt < next->DueAt))
        next = timer;
    if (next && next->DueAt <= now) {
      next->DueAt = now + std::max(next->Interval(), MinimumTimerInterval);
      if (next->OnTimer) next->OnTimer(next);
      continue;
    }

    XFlush(dpy);
    pollfd fds[2] = {{ConnectionNumber(dpy), POLLIN, 0}, {st->SignalRead, POLLIN, 0}};
    const int timeout = next ? static_cast<int>(std::min<int64_t>(next->DueAt - now, 60000)) : -1;
    poll(fds, st->SignalRead >= 0 ? 2 : 1, timeout);
  }
}

void TApplication::Shutdown() {
  DestroyForms();
  if (!State) return;
  if (State->Dpy) {
    if (State->AppWindow != None) XDestroyWindow(State->Dpy, State->AppWindow);
    State->AppWindow = None;
    if (State->InputMethod) XCloseIM(State->InputMethod);
    State->InputMethod = nullptr;
    // The connection itself stays open until the process ends, and the server then frees what
    // is left. Closing it here would unload the GL driver before the exit handlers run, leaving
    // the driver's unreleased allocations to a module that is no longer there.
    XSync(State->Dpy, False);
  }
  if (State->SignalRead >= 0) {
    signal(SIGTERM, SIG_DFL);
    signal(SIGINT, SIG_DFL);
    close(State->SignalRead);
    close(SignalWrite);
    State->SignalRead = -1;
    SignalWrite = -1;
    State->SignalsInstalled = false;
  }
}

// ---- window services ----

TWindowHandle FindWindowByTitle(const std::string& title) {
  Display* dpy = Dpy();
  if (!dpy) return 0;
  const std::string wanted = Cp1251ToUtf8(title);
  TApplication::TPlatformState* st = State();
  auto matches = [&](Window window, bool& titled) {
    std::string text;
    titled = ReadTitle(dpy, window, text);
    return titled && text == wanted;
  };

  Window rootReturn = None, parent = None;
  Window* children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(dpy, st->Root, &rootReturn, &parent, &children, &count)) return 0;
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
    if (XQueryTree(dpy, children[i], &rootReturn, &parent, &inner, &innerCount)) {
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

void RequestWindowClose(TWindowHandle window) {
  Display* dpy = Dpy();
  if (!dpy || window == 0) return;
  TApplication::TPlatformState* st = State();
  if (!IsOurs(dpy, window)) return;
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = st->WmProtocols;
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(st->WmDeleteWindow);
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(dpy, window, False, NoEventMask, &event);
  XFlush(dpy);
}

bool WindowIsVisible(TWindowHandle window) {
  Display* dpy = Dpy();
  if (!dpy || window == 0) return false;
  // A form of this program is visible while it is shown, as on Windows: a window manager that
  // unmaps it (iconified, on another desktop) does not hide it.
  TApplication::TPlatformState* st = State();
  if (auto form = st->Forms.find(window); form != st->Forms.end()) return form->second->Visible();
  XWindowAttributes attributes;
  // A window that does not exist fails the request; the error itself is swallowed.
  if (!XGetWindowAttributes(dpy, window, &attributes)) return false;
  return attributes.map_state == IsViewable;
}

bool WindowExists(TWindowHandle window) {
  Display* dpy = Dpy();
  if (!dpy || window == 0) return false;
  XWindowAttributes attributes;
  return XGetWindowAttributes(dpy, window, &attributes) != 0;
}

bool DaemonHandsOverWindows() {
  return true;
}

char UserDecimalSeparator() {
  try {
    // LC_NUMERIC of the environment, without touching the program's own C locale.
    const char c = std::use_facet<std::numpunct<char>>(std::locale("")).decimal_point();
    if (c > ' ' && c < 0x7F) return c;
  } catch (const std::exception&) {
    // The environment names a locale that is not installed.
  }
  return '.';
}

TPoint CursorPos() {
  TPoint point;
  Display* dpy = Dpy();
  if (!dpy) return point;
  Window root = None, child = None;
  int rootX = 0, rootY = 0, winX = 0, winY = 0;
  unsigned int mask = 0;
  // root_x and root_y are valid even when the pointer is on another screen.
  XQueryPointer(dpy, State()->Root, &root, &child, &rootX, &rootY, &winX, &winY, &mask);
  point.X = rootX;
  point.Y = rootY;
  return point;
}

TWindowHandle RootWindowHandle() {
  TApplication::TPlatformState* st = State();
  return st ? st->Root : 0;
}

void WatchWindowSize(TWindowHandle window, std::function<void(int, int)> onResize) {
  Display* dpy = Dpy();
  if (!dpy || window == 0) return;
  TApplication::TPlatformState* st = State();
  // A form's own window already reports its size through OnResize.
  if (st->Forms.count(window)) return;
  TErrorScope scope(dpy);
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(dpy, window, &attributes)) return;
  XSelectInput(dpy, window, StructureNotifyMask);
  if (scope.Failed()) return;
  TApplication::TPlatformState::TWatch& watch = st->Watches[window];
  watch.Width = attributes.width;
  watch.Height = attributes.height;
  watch.OnResize = std::move(onResize);
}

std::vector<TScreenRect> MonitorRects() {
  TApplication::TPlatformState* st = State();
  if (!st || !st->Dpy) return {};
  size_t primary = 0;
  std::vector<TScreenRect> monitors = ServerMonitors(st, primary);
  if (monitors.empty())
    return {
        TScreenRect{0, 0, DisplayWidth(st->Dpy, st->Screen), DisplayHeight(st->Dpy, st->Screen)}};
  std::rotate(monitors.begin(), monitors.begin() + static_cast<long>(primary),
              monitors.begin() + static_cast<long>(primary) + 1);
  return monitors;
}

double DisplayRefreshRate() {
  const char* vblank = std::getenv("vblank_mode");
  if (vblank && std::strcmp(vblank, "0") == 0) return -1;
  TApplication::TPlatformState* st = State();
  if (!st || !st->Dpy || st->RandrEventBase < 0) return 0;
  // The mode of the primary output's CRTC, else of the first CRTC that shows anything.
  XRRScreenResources* resources = XRRGetScreenResourcesCurrent(st->Dpy, st->Root);
  if (!resources) return 0;
  RRCrtc wanted = None;
  if (RROutput primary = XRRGetOutputPrimary(st->Dpy, st->Root)) {
    if (XRROutputInfo* output = XRRGetOutputInfo(st->Dpy, resources, primary)) {
      wanted = output->crtc;
      XRRFreeOutputInfo(output);
    }
  }
  double rate = 0;
  for (int i = 0; i < resources->ncrtc && rate == 0; ++i) {
    if (wanted != None && resources->crtcs[i] != wanted) continue;
    XRRCrtcInfo* crtc = XRRGetCrtcInfo(st->Dpy, resources, resources->crtcs[i]);
    if (!crtc) continue;
    for (int m = 0; m < resources->nmode; ++m) {
      const XRRModeInfo& mode = resources->modes[m];
      if (mode.id == crtc->mode && mode.hTotal > 0 && mode.vTotal > 0)
        rate =
            static_cast<double>(mode.dotClock) / (static_cast<double>(mode.hTotal) * mode.vTotal);
    }
    XRRFreeCrtcInfo(crtc);
  }
  XRRFreeScreenResources(resources);
  return rate;
}

bool OpenGLAvailable(std::string& error) {
  Display* dpy = Dpy();
  if (!TGlxWindowSurface::ServerHasGlx(dpy, error)) return false;
  XVisualInfo* info = TGlxWindowSurface::ChooseVisual(dpy, State()->Screen, error);
  if (!info) return false;
  XFree(info);
  return true;
}

std::unique_ptr<TGLSurface> CreateGLSurface(TWindowHandle window, std::string& error) {
  return TGlxWindowSurface::Create(Dpy(), window, error);
}
