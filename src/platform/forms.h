// The minimal form framework the shell's scene window is written against: the application object
// with its title, message loop and main form, forms with design properties and events, timers
// delivered on the one user-interface thread, and the few window services of start-up (search by
// title, visibility, cursor position). Everything here runs on one thread; nothing is locked.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TGLSurface;

// A window of the platform: an X window id on X11, a number of the program's own for each of its
// surfaces on Wayland. 0 names no window.
using TWindowHandle = unsigned long;

// A point in screen pixels.
struct TPoint {
  int32_t X = 0;
  int32_t Y = 0;
};

// A rectangle in screen pixels: a monitor, or the part of a window one view takes.
struct TScreenRect {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
};

// Root of the framework's objects; event handlers receive the object that raised the event.
class TObject {
 public:
  virtual ~TObject() = default;
};

// Modifier keys and mouse buttons held during an input event.
enum TShiftFlag : uint8_t {
  ssShift = 1,
  ssAlt = 2,
  ssCtrl = 4,
  ssLeft = 8,
  ssRight = 16,
  ssMiddle = 32,
};
using TShiftState = uint8_t;

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

// Virtual-key codes of key-down events; the numbers are the Windows ones. Letters are their
// capital ASCII codes ('A' is 65), digits their ASCII codes ('0' is 48).
namespace VK {
constexpr uint16_t Back = 8, Tab = 9, Return = 13, Shift = 16, Control = 17, Menu = 18, Pause = 19,
                   Capital = 20, Escape = 27, Space = 32, Prior = 33, Next = 34, End = 35,
                   Home = 36, Left = 37, Up = 38, Right = 39, Down = 40, Insert = 45, Delete = 46,
                   Numpad0 = 96, Multiply = 106, Add = 107, Subtract = 109, Decimal = 110,
                   Divide = 111, F1 = 112;
// What Windows keyboard layouts report for a key that has no code of its own.
constexpr uint16_t Unassigned = 255;
}  // namespace VK

using TNotifyEvent = std::function<void(TObject* Sender)>;
using TKeyEvent = std::function<void(TObject* Sender, uint16_t& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char& Key)>;
using TMouseEvent =
    std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;

// Properties a form is designed with.
struct TFormDesign {
  bool Borderless = false;
  bool StayOnTop = false;
  bool Maximized = false;  // shown over the whole screen
  bool Black = false;      // black background instead of the platform's window colour
  bool HideCursor = false;
  // The live wallpaper: shown over every monitor like a spanning form, but under every other
  // window (behind the desktop's icons where the desktop draws them), taking no keys, clicks or
  // motion: they go to whatever lies beneath, as if it were not there.
  bool Wallpaper = false;
  std::string Caption;  // code page 1251
  int Left = 0;         // screen pixels, used while not maximized
  int Top = 0;
  int ClientWidth = 320;
  int ClientHeight = 240;
};

// A top-level window. Its platform window is made on demand by Handle(); events are delivered
// by the application's loop. Create forms with TApplication::CreateForm.
class TForm : public TObject {
 public:
  explicit TForm(const TFormDesign& design);
  ~TForm() override;
  TForm(const TForm&) = delete;
  TForm& operator=(const TForm&) = delete;

  // The platform window, created (unmapped, at the design bounds) on the first call; 0 when the
  // application has no display connection.
  TWindowHandle Handle();
  bool HandleAllocated() const;

  // Maps the window (maximized when so designed), raises it and gives it the keyboard focus. A
  // maximized form fills the monitor under the cursor, or, once SpanMonitors is set, the whole
  // virtual screen as a full-screen window above every panel. Showing it again follows the
  // monitors as they are now.
  void Show();
  void SetSpanMonitors(bool span) { SpanMonitors = span; }
  void Hide();
  bool Visible() const { return Shown; }
  // Hides the form; closing the main form ends the message loop. The caller goes on.
  void Close();

  // Caption in code page 1251; the platform title shows it converted to UTF-8.
  void SetCaption(const std::string& caption);
  const std::string& Caption() const { return Design.Caption; }

  int ClientWidth() const { return Width; }
  int ClientHeight() const { return Height; }

  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  TNotifyEvent OnResize;  // the client area changed size
  TKeyEvent OnKeyDown;
  TKeyPressEvent OnKeyPress;
  TMouseEvent OnMouseDown;
  TMouseMoveEvent OnMouseMove;
  // Monitors came, went, moved or changed size or scale (the form's window itself may not have).
  TNotifyEvent OnDisplayChange;
  // Someone may see the window again, or no one can any more (WindowIsSeen tells which): it was
  // minimised or restored, covered or uncovered, its display or its session came or went.
  TNotifyEvent OnSeenChange;

  // Called by the platform backend when the client area has a new size.
  void ClientResized(int width, int height);
  // Called by the platform backend when another program destroyed the window.
  void WindowDestroyed();
  // Called by the platform backend when what WindowIsSeen says of the window may have changed.
  void SeenChanged() {
    if (OnSeenChange) OnSeenChange(this);
  }

  // The backend's state for this form.
  struct TPlatformWindow;

 private:
  TFormDesign Design;
  bool Shown = false;
  bool SpanMonitors = false;
  int Width;
  int Height;
  std::unique_ptr<TPlatformWindow> Wnd;
};

// A timer component: OnTimer runs on the user-interface thread from the application's loop,
// never while another handler runs. Enabled from creation, like the designed component.
class TTimer : public TObject {
 public:
  TTimer();
  ~TTimer() override;
  TTimer(const TTimer&) = delete;
  TTimer& operator=(const TTimer&) = delete;

  // Milliseconds between events; below 10 the loop uses 10. Setting it restarts the count.
  void SetInterval(uint32_t milliseconds);
  uint32_t Interval() const { return IntervalMs; }
  void SetEnabled(bool enabled);
  bool Enabled() const { return IsEnabled; }

  TNotifyEvent OnTimer;

  // The loop's bookkeeping: when the next event is due, in milliseconds of a monotonic clock.
  int64_t DueAt = 0;

 private:
  void Restart();

  uint32_t IntervalMs = 1000;
  bool IsEnabled = true;
};

// Intervals below this are raised to it, as the Windows timer does.
constexpr uint32_t MinimumTimerInterval = 10;

// The application object: title, forms, and the message loop.
class TApplication {
 public:
  TApplication();
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  // Opens the connection to the display. False, with the reason in error, when there is none.
  // From here on a lost connection ends the process with status 1 and one line on stderr.
  bool Connect(std::string& error);
  // Set before Connect when the program draws into a window a screen-saver daemon hands over:
  // the connection is then to the display that daemon's windows live on (X11 on Linux).
  bool HostedByDaemon = false;
  // Set before Connect for the live wallpaper. On Linux a Wayland compositor without the layer
  // shell has no place under its windows for a client's surface: the program then draws through
  // the session's X server (Xwayland) as a desktop window.
  bool Wallpaper = false;
  // Creates the application's own unmapped top-level window, which carries the title.
  void Initialize();

  void SetTitle(const std::string& title);
  const std::string& Title() const { return AppTitle; }

  // Makes a form of class T; the first form made is the main form. reference points to the
  // form before its OnCreate runs, which happens here.
  template <class T>
  void CreateForm(T*& reference) {
    auto form = std::make_unique<T>();
    reference = form.get();
    AdoptForm(std::move(form));
  }
  TForm* MainForm() const { return Main; }

  // Whether Run shows the main form before its first message.
  bool ShowMainForm = true;

  // Shows the main form (unless told not to) and dispatches events, timers and the termination
  // signals (SIGTERM, SIGINT: an orderly close of the main form) until the main form closes.
  void Run();
  void Terminate() { IsTerminated = true; }
  bool Terminated() const { return IsTerminated; }

  // Destroys every form (OnDestroy first), then the application window. The connection stays
  // open until the process ends.
  void Shutdown();

  // Makes this process the one of that name in the user's session until it ends: false when
  // another holds the name (alreadyRunning) or the claim failed (error says why). From then on a
  // StopInstance of that name from any process of the user closes the main form, as a
  // termination signal does.
  bool ClaimInstance(const std::string& name, bool& alreadyRunning, std::string& error);

  // The backend's state; public so the backend's free functions can reach it.
  struct TPlatformState;
  TPlatformState* Platform() const { return State.get(); }

  // Bookkeeping of the loop's timers.
  void AddTimer(TTimer* timer);
  void RemoveTimer(TTimer* timer);

 private:
  void AdoptForm(std::unique_ptr<TForm> form);
  // Destroys the forms, the newest first, each after its OnDestroy.
  void DestroyForms();

  std::string AppTitle = "tundrel";
  std::vector<std::unique_ptr<TForm>> Forms;
  TForm* Main = nullptr;
  std::vector<TTimer*> Timers;
  bool IsTerminated = false;
  std::unique_ptr<TPlatformState> State;
};

extern TApplication Application;

// The first top-level window whose title is title (code page 1251), of any program; 0 if none.
TWindowHandle FindWindowByTitle(const std::string& title);
// Asks the window to close when it belongs to this program; other programs' windows are left
// alone. The answer is not awaited.
void RequestWindowClose(TWindowHandle window);
// Whether the window exists and is viewable; a window that does not exist is not visible. For
// a form of this program: whether it is shown.
bool WindowIsVisible(TWindowHandle window);
// Whether the window exists.
bool WindowExists(TWindowHandle window);
// Whether anyone may see a form's window now: false while it is unmapped or minimised, covered
// whole, on a display that is powered down or in a session that is locked or disconnected.
// True for windows of other programs, and wherever the platform cannot tell.
bool WindowIsSeen(TWindowHandle window);
// Whether another window covers the part area (screen pixels, one monitor's view) of a live
// wallpaper's window: one that is full screen or maximised on that monitor, or a full-screen
// program or presentation the system knows of. False where the platform cannot tell, and for
// forms that are not wallpapers.
bool ViewCovered(TWindowHandle window, const TScreenRect& area);
// Whether WindowIsSeen may turn true again without an OnSeenChange (X11's monitors powering up
// again, which the server announces to no one): an unseen form then asks again every few seconds
// instead of sleeping until an event.
bool SightNeedsPolling(TWindowHandle window);
// Asks the process that claimed name in this session (TApplication::ClaimInstance) to end; false
// when none holds it. Needs no display connection. The answer is not awaited.
bool StopInstance(const std::string& name);
// Whether the computer runs on its battery: a battery of its own and no external supply online.
// Asks the system afresh on every call.
bool OnBatteryPower();
// The cursor's position on the screen.
TPoint CursorPos();
// The decimal separator of the user's locale; '.' when the locale is not installed or its
// separator is not a single ASCII character.
char UserDecimalSeparator();
// Whether this display lets the program draw into a window of another program (the screen-saver
// host's preview window); why says why not (Wayland keeps every program to its own surfaces).
bool ForeignWindowsReachable(std::string& why);
// Whether a screen-saver daemon hands this program windows to draw into (XScreenSaver on X11);
// the Windows host only ever passes its switches.
bool DaemonHandsOverWindows();
// The screen's root window, drawn into by the screen-saver daemon's hacks.
TWindowHandle RootWindowHandle();
// Calls onResize(width, height) from the loop whenever the client area of window (a window of
// another program) changes size. One watch per window; a second replaces the first.
void WatchWindowSize(TWindowHandle window, std::function<void(int, int)> onResize);

// The monitors in screen pixels, the primary one first; the whole screen when the platform
// names none.
std::vector<TScreenRect> MonitorRects();
// Frames per second the frame loop keeps to: the primary monitor's refresh rate, 0 when it is
// unknown. Negative when the user turned the wait for the display off (vblank_mode=0, the
// OpenGL driver's own switch), so frames come as fast as the timer allows.
double DisplayRefreshRate();

// Whether OpenGL drawing into windows is possible on this display; error says why not.
bool OpenGLAvailable(std::string& error);
// The renderer's surface on window; nullptr and the reason in error when it cannot be made.
std::unique_ptr<TGLSurface> CreateGLSurface(TWindowHandle window, std::string& error);
