// The X11 backend's connection: opening it with the locale's input method, the atoms, the error
// handlers (X errors swallowed; a lost connection ends the process with status 1 and one line on
// stderr), the application's own window, the loop's hooks and the shutdown that keeps it open.
#include "x11/x11_display.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/dpms.h>
#include <errno.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "text/cp1251.h"

namespace {

unsigned long ErrorCount = 0;
// The display connection, open for the life of the process (see TX11Display::Shutdown).
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

}  // namespace

std::vector<unsigned long> X11ListProperty(Display* dpy, Window window, Atom property, Atom type) {
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

TX11ErrorScope::TX11ErrorScope(Display* display) : Dpy(display) {
  XSync(Dpy, False);
  Start = ErrorCount;
}

bool TX11ErrorScope::Failed() {
  XSync(Dpy, False);
  return ErrorCount != Start;
}

std::unique_ptr<TApplication::TPlatformState> ConnectX11(std::string& error) {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') {
    error = "no X display: DISPLAY is not set";
    return nullptr;
  }
  // The input method is the locale's own (dead keys and compose sequences), never an
  // input-method server that would open windows of its own over the saver.
  if (!XSupportsLocale()) std::setlocale(LC_CTYPE, "C");
  XSetLocaleModifiers("@im=none");
  Display* dpy = XOpenDisplay(name);
  if (dpy == nullptr) {
    error = std::string("cannot open the X display \"") + name + "\"";
    return nullptr;
  }
  XSetErrorHandler(IgnoreXError);
  XSetIOErrorHandler(LostConnection);
  DisplayConnection = dpy;
  return std::make_unique<TX11Display>(dpy);
}

TX11Display::TX11Display(Display* display) : Dpy(display) {
  Screen = DefaultScreen(Dpy);
  Root = RootWindow(Dpy, Screen);
  WmProtocols = XInternAtom(Dpy, "WM_PROTOCOLS", False);
  WmDeleteWindow = XInternAtom(Dpy, "WM_DELETE_WINDOW", False);
  NetWmName = XInternAtom(Dpy, "_NET_WM_NAME", False);
  Utf8String = XInternAtom(Dpy, "UTF8_STRING", False);
  NetWmState = XInternAtom(Dpy, "_NET_WM_STATE", False);
  NetWmStateAbove = XInternAtom(Dpy, "_NET_WM_STATE_ABOVE", False);
  NetWmStateMaxVert = XInternAtom(Dpy, "_NET_WM_STATE_MAXIMIZED_VERT", False);
  NetWmStateMaxHorz = XInternAtom(Dpy, "_NET_WM_STATE_MAXIMIZED_HORZ", False);
  NetWmStateFullscreen = XInternAtom(Dpy, "_NET_WM_STATE_FULLSCREEN", False);
  NetWmFullscreenMonitors = XInternAtom(Dpy, "_NET_WM_FULLSCREEN_MONITORS", False);
  MotifWmHints = XInternAtom(Dpy, "_MOTIF_WM_HINTS", False);
  NetWmPid = XInternAtom(Dpy, "_NET_WM_PID", False);
  WmState = XInternAtom(Dpy, "WM_STATE", False);
  NetWmStateHidden = XInternAtom(Dpy, "_NET_WM_STATE_HIDDEN", False);
  NetClientListStacking = XInternAtom(Dpy, "_NET_CLIENT_LIST_STACKING", False);
  int dpmsEvent = 0, dpmsError = 0;
  HasDpms = DPMSQueryExtension(Dpy, &dpmsEvent, &dpmsError) && DPMSCapable(Dpy);
  InputMethod = XOpenIM(Dpy, nullptr, nullptr, nullptr);
  int eventBase = 0, errorBase = 0, major = 0, minor = 0;
  if (XRRQueryExtension(Dpy, &eventBase, &errorBase) && XRRQueryVersion(Dpy, &major, &minor)) {
    RandrEventBase = eventBase;
    RandrMonitors = major > 1 || (major == 1 && minor >= 5);
    // Monitors that come, go or change are told as screen and output changes.
    XRRSelectInput(Dpy, Root,
                   RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
  }
}

void TX11Display::MarkAsOurs(Window window) {
  XClassHint hint{};
  hint.res_name = const_cast<char*>(X11ResourceName);
  hint.res_class = const_cast<char*>(X11ResourceClass);
  XSetClassHint(Dpy, window, &hint);
  Atom protocols[] = {WmDeleteWindow};
  XSetWMProtocols(Dpy, window, protocols, 1);
  const long pid = static_cast<long>(getpid());
  XChangeProperty(Dpy, window, NetWmPid, XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&pid), 1);
}

void TX11Display::SetTitleOf(Window window, const std::string& cp1251) {
  const std::string utf8 = Cp1251ToUtf8(cp1251);
  XChangeProperty(Dpy, window, NetWmName, Utf8String, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(utf8.data()),
                  static_cast<int>(utf8.size()));
  // WM_NAME for programs that do not read _NET_WM_NAME: STRING when Latin-1 suffices, else
  // COMPOUND_TEXT.
  char* list[] = {const_cast<char*>(utf8.c_str())};
  XTextProperty property{};
  if (Xutf8TextListToTextProperty(Dpy, list, 1, XStdICCTextStyle, &property) >= Success) {
    XSetWMName(Dpy, window, &property);
    XFree(property.value);
  }
}

void TX11Display::Initialize(const std::string& title) {
  if (AppWindow != None) return;
  XSetWindowAttributes attributes{};
  AppWindow = XCreateWindow(Dpy, Root, 0, 0, 1, 1, 0, CopyFromParent, InputOnly, CopyFromParent, 0,
                            &attributes);
  MarkAsOurs(AppWindow);
  SetTitleOf(AppWindow, title);
  XFlush(Dpy);
}

void TX11Display::SetTitle(const std::string& title) {
  if (AppWindow == None) return;
  SetTitleOf(AppWindow, title);
  XFlush(Dpy);
}

void TX11Display::Shutdown() {
  if (AppWindow != None) XDestroyWindow(Dpy, AppWindow);
  AppWindow = None;
  if (InputMethod) XCloseIM(InputMethod);
  InputMethod = nullptr;
  // The connection itself stays open until the process ends, and the server then frees what is
  // left. Closing it here would unload the GL driver before the exit handlers run, leaving the
  // driver's unreleased allocations to a module that is no longer there.
  XSync(Dpy, False);
}

bool TX11Display::DispatchPending() {
  if (XPending(Dpy) <= 0) return false;
  XEvent event;
  XNextEvent(Dpy, &event);
  Dispatch(event);
  return true;
}

int TX11Display::ConnectionFd() {
  return ConnectionNumber(Dpy);
}

bool TX11Display::BeforeSleep() {
  XFlush(Dpy);
  return true;
}

void TX11Display::AfterSleep(bool) {
  // What arrived is read by the next DispatchPending; a lost connection shows there, in Xlib's
  // I/O error handler.
}
