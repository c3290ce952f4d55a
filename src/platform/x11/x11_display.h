// The X11 backend of the form framework: the connection to the X server with the atoms it names,
// the form windows it made and the foreign windows it watches, and the helpers its files share.
// One thread; X errors are swallowed (a vanished window is an ordinary event here).
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "energy.h"
#include "forms_backend.h"

// A form's window and what was made for it.
struct TX11Window final : TForm::TPlatformWindow {
  TForm* Form = nullptr;
  Window Win = None;
  bool Destroyed = false;  // by another program
  Colormap Map = None;
  Cursor Blank = None;
  XIC Context = nullptr;  // for the characters keys type
  TX11Sight Sight;        // what the server and the window manager say of it; DPMS aside
};

// A property of 32-bit items (atoms, windows) of the given type; empty when it is missing.
std::vector<unsigned long> X11ListProperty(Display* dpy, Window window, Atom property, Atom type);

// Counts the X errors raised by the requests made while it lives.
class TX11ErrorScope {
 public:
  explicit TX11ErrorScope(Display* display);
  bool Failed();

 private:
  Display* Dpy;
  unsigned long Start;
};

// A window of another program as the live wallpaper follows it: may it cover a monitor?
struct TX11Client {
  TScreenRect Rect;  // screen pixels
  bool Viewable = false;
  bool Hidden = false;  // _NET_WM_STATE_HIDDEN
  bool Maximized = false;
  bool FullScreen = false;
};

class TX11Display final : public TApplication::TPlatformState {
 public:
  explicit TX11Display(Display* display);
  // The application shuts the backend down before it goes; the connection stays open.
  ~TX11Display() override = default;
  TX11Display(const TX11Display&) = delete;
  TX11Display& operator=(const TX11Display&) = delete;

  void Initialize(const std::string& title) override;
  void SetTitle(const std::string& title) override;
  void Shutdown() override;

  bool DispatchPending() override;
  int ConnectionFd() override;
  bool BeforeSleep() override;
  void AfterSleep(bool readable) override;

  std::unique_ptr<TForm::TPlatformWindow> CreateWindow(TForm& form,
                                                       const TFormDesign& design) override;
  void ShowWindow(TForm::TPlatformWindow& window, const TFormDesign& design, bool span, int& width,
                  int& height) override;
  void HideWindow(TForm::TPlatformWindow& window) override;
  void SetWindowTitle(TForm::TPlatformWindow& window, const std::string& cp1251) override;
  void DestroyWindow(TForm::TPlatformWindow& window) override;

  TWindowHandle FindWindowByTitle(const std::string& title) override;
  void RequestWindowClose(TWindowHandle window) override;
  bool WindowIsVisible(TWindowHandle window) override;
  bool WindowExists(TWindowHandle window) override;
  bool WindowIsSeen(TWindowHandle window) override;
  bool ViewCovered(TWindowHandle window, const TScreenRect& area) override;
  bool SightNeedsPolling(TWindowHandle window) override;
  bool ForeignWindowsReachable(std::string& why) override;
  TPoint CursorPos() override;
  TWindowHandle RootWindowHandle() override;
  void WatchWindowSize(TWindowHandle window, std::function<void(int, int)> onResize) override;
  std::vector<TScreenRect> MonitorRects() override;
  double DisplayRefreshRate() override;
  bool OpenGLAvailable(std::string& error) override;
  std::unique_ptr<TGLSurface> CreateGLSurface(TWindowHandle window, std::string& error) override;

 private:
  struct TWatch {
    int Width = 0;
    int Height = 0;
    std::function<void(int, int)> OnResize;
  };

  // x11_display.cpp: the properties every window of this program carries (WM_CLASS,
  // WM_PROTOCOLS, _NET_WM_PID), and a title set from code page 1251.
  void MarkAsOurs(Window window);
  void SetTitleOf(Window window, const std::string& cp1251);
  // x11_input.cpp: one event to the form, watch or application it concerns.
  void Dispatch(XEvent& event);
  void DispatchToForm(TX11Window& window, XEvent& event);
  // x11_windows.cpp: full screen over several monitors under a window manager.
  bool ManagerKeepsFullScreenToOneMonitor();
  void SetOverrideRedirect(Window window, bool bypass);
  void RequestFullscreenMonitors(Window window);
  // x11_monitors.cpp: the monitors in the server's order (the order _NET_WM_FULLSCREEN_MONITORS
  // counts in); primary is the index of the primary one. Empty when the server names none.
  std::vector<TScreenRect> ServerMonitors(size_t& primary);
  // x11_services.cpp: a window's title in UTF-8, and whether this program made the window.
  bool ReadTitle(Window window, std::string& title);
  bool IsOurs(Window window);
  // x11_input.cpp: a property the window manager keeps on a form's window changed.
  void ReadWindowManagerState(TX11Window& window, Atom property);
  // x11_wallpaper.cpp: the wallpaper's desktop window, made and shown, and the other programs'
  // windows that may cover it: the stacking list's, each read again on its own events. An event
  // about them is taken (true) and tells the wallpaper's form that what it shows may change.
  void MakeDesktopWindow(TX11Window& window);
  void ShowDesktopWindow(TX11Window& window, int& width, int& height);
  void FollowClients();
  void ReadClient(Window client, TX11Client& facts);
  bool TakeCoverEvent(const XEvent& event);
  // The monitors' DPMS state, asked of the server at most every DpmsPollSeconds.
  void PollDpms();
  // The client size of a form's window or a watched one, as their ConfigureNotify events told
  // it; false for any other window.
  bool KnownSize(Window window, int& width, int& height) const;

  Display* Dpy;
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
  Atom WmState = None;
  Atom NetWmStateHidden = None;
  bool HasDpms = false;       // the server offers the DPMS extension
  bool DpmsEnabled = false;   // and its power saving is switched on
  int DpmsLevel = 0;          // DPMSModeOn 0 … DPMSModeOff 3
  double DpmsPolledAt = -1;   // seconds of a monotonic clock; never yet
  XIM InputMethod = nullptr;  // the locale's own, for the characters keys type
  std::map<Window, TX11Window*> Forms;
  std::map<Window, TWatch> Watches;
  TX11Window* Wallpaper = nullptr;  // the wallpaper's window, while there is one
  std::map<Window, TX11Client> Clients;
  Atom NetClientListStacking = None;
  int RandrEventBase = -1;     // RandR's first event code; -1 without the extension
  bool RandrMonitors = false;  // the server has RandR 1.5 and its monitor list
};

// The WM_CLASS of every window this program makes; only such windows are ever asked to close.
constexpr char X11ResourceName[] = "tundrel";
constexpr char X11ResourceClass[] = "Tundrel";
