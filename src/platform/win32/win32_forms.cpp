// The form framework (forms.h) over USER32: the application object with its own hidden top-level
// window, which carries the title and receives the timers (SetTimer, WM_TIMER); forms as top-level
// windows of one class; the window services of start-up; and the renderer's surface, which draws
// into a child window of ours when the target belongs to another program (the host's preview).
#include <float.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <utility>
#include <vector>

#include "app_icon.h"
#include "forms.h"
#include "wgl_window_surface.h"
#include "wide_text.h"
#include "win32_display.h"
#include "windows_api.h"

TApplication Application;

// What a form window keeps besides its TForm: the design's colour and cursor, and its sight.
struct TFormLink {
  TForm* Form = nullptr;
  bool Black = false;
  bool HideCursor = false;
  TWin32SightWatch Sight;
};

struct TForm::TPlatformWindow {
  HWND Wnd = nullptr;
  TFormLink* Link = nullptr;  // owned; the window's GWLP_USERDATA while it lives
  bool Destroyed = false;     // the system destroyed the window before the form
};

struct TApplication::TPlatformState {
  HINSTANCE Instance = nullptr;
  HWND AppWindow = nullptr;
  std::vector<TTimer*> Timers;  // every live timer, armed or not
  // An exception thrown by a handler, carried past the system's frames to the loop.
  std::exception_ptr Failure;

  struct TWatch {
    HWND Window = nullptr;
    int Width = 0;
    int Height = 0;
    std::function<void(int, int)> OnResize;
  };
  std::vector<TWatch> Watches;
};

namespace {

const wchar_t* const AppClass = L"TundrelApplication";
const wchar_t* const FormClass = L"TundrelForm";
const wchar_t* const SurfaceClass = L"TundrelSurface";

// The single-byte strings of the program (titles, the statistics caption) are code page 1251.
constexpr unsigned TitleCodePage = 1251;

// Another program's window is asked for its size this often while it is watched.
constexpr UINT WatchTimerId = 1;
constexpr UINT WatchInterval = 250;  // milliseconds

TApplication::TPlatformState* State() {
  return Application.Platform();
}

// Window handles fit in 32 bits on every Windows, 64-bit ones included, which keep them
// sign-extended; the command line and TWindowHandle carry the low 32 bits.
HWND ToHwnd(TWindowHandle handle) {
  return reinterpret_cast<HWND>(static_cast<intptr_t>(static_cast<int32_t>(handle & 0xFFFFFFFFu)));
}

TWindowHandle FromHwnd(HWND window) {
  return static_cast<TWindowHandle>(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window)));
}

void SetTitleText(HWND window, const std::string& cp1251) {
  SetWindowTextW(window, WideFromBytes(cp1251, TitleCodePage).c_str());
}

// Runs a handler; an exception is kept for the loop instead of unwinding through USER32.
template <class F>
void Guarded(F&& handler) {
  try {
    handler();
  } catch (...) {
    if (TApplication::TPlatformState* st = State()) {
      if (!st->Failure) st->Failure = std::current_exception();
      Application.Terminate();
    }
  }
}

TShiftState ShiftNow() {
  TShiftState shift = 0;
  if (GetKeyState(VK_SHIFT) < 0) shift |= ssShift;
  if (GetKeyState(VK_MENU) < 0) shift |= ssAlt;
  if (GetKeyState(VK_CONTROL) < 0) shift |= ssCtrl;
  if (GetKeyState(VK_LBUTTON) < 0) shift |= ssLeft;
  if (GetKeyState(VK_RBUTTON) < 0) shift |= ssRight;
  if (GetKeyState(VK_MBUTTON) < 0) shift |= ssMiddle;
  return shift;
}

// A typed character as the 8-bit character of the key-press event: ASCII as it is, anything
// else in code page 1251 ('?' when it has no place there).
char KeyChar(WPARAM code) {
  if (code < 0x80) return static_cast<char>(code);
  const wchar_t wide = static_cast<wchar_t>(code);
  char byte = '?';
  if (WideCharToMultiByte(TitleCodePage, 0, &wide, 1, &byte, 1, nullptr, nullptr) != 1) byte = '?';
  return byte;
}

int SignedLow(LPARAM value) {
  return static_cast<short>(LOWORD(static_cast<DWORD_PTR>(value)));
}
int SignedHigh(LPARAM value) {
  return static_cast<short>(HIWORD(static_cast<DWORD_PTR>(value)));
}

void ArmTimer(TTimer* timer) {
  TApplication::TPlatformState* st = State();
  if (!st || !st->AppWindow) return;
  const UINT_PTR id = reinterpret_cast<UINT_PTR>(timer);
  KillTimer(st->AppWindow, id);
  // Windows raises intervals below USER_TIMER_MINIMUM (10 ms) itself.
  if (timer->Enabled() && timer->Interval() > 0)
    SetTimer(st->AppWindow, id, timer->Interval(), nullptr);
}

void FireTimer(UINT_PTR id) {
  TApplication::TPlatformState* st = State();
  // The id is the timer's address; only a timer still registered is called.
  for (TTimer* timer : st->Timers) {
    if (reinterpret_cast<UINT_PTR>(timer) != id) continue;
    if (timer->Enabled() && timer->OnTimer) Guarded([&] { timer->OnTimer(timer); });
    return;
  }
}

void CheckWatches() {
  TApplication::TPlatformState* st = State();
  for (size_t i = 0; i < st->Watches.size(); ++i) {
    RECT client = {};
    if (!GetClientRect(st->Watches[i].Window, &client)) continue;
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    if (width == st->Watches[i].Width && height == st->Watches[i].Height) continue;
    st->Watches[i].Width = width;
    st->Watches[i].Height = height;
    std::function<void(int, int)> onResize = st->Watches[i].OnResize;
    if (onResize) Guarded([&] { onResize(width, height); });
  }
}

LRESULT CALLBACK AppWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      if (wParam == WatchTimerId)
        CheckWatches();
      else
        FireTimer(wParam);
      return 0;
    case WM_CLOSE:
      // Another instance asks this one to go: the main form closes in order.
      if (TForm* main = Application.MainForm())
        Guarded([&] { main->Close(); });
      else
        Application.Terminate();
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

LRESULT CALLBACK FormWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const CREATESTRUCTW* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    return DefWindowProcW(window, message, wParam, lParam);
  }
  TFormLink* link = reinterpret_cast<TFormLink*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!link) return DefWindowProcW(window, message, wParam, lParam);
  TForm* form = link->Form;

  switch (message) {
    case WM_SIZE:
      // A minimised window has no client area to draw into; its old size stays.
      if (wParam != SIZE_MINIMIZED)
        Guarded([&] { form->ClientResized(LOWORD(lParam), HIWORD(lParam)); });
      if (link->Sight.Take(message, wParam, lParam)) Guarded([&] { form->SeenChanged(); });
      return 0;
    case WM_POWERBROADCAST:
    case WM_WTSSESSION_CHANGE:
      if (link->Sight.Take(message, wParam, lParam)) Guarded([&] { form->SeenChanged(); });
      // Every power event is granted, the suspend requests of older Windows too.
      return message == WM_POWERBROADCAST ? TRUE : 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      if (form->OnKeyDown) {
        uint16_t key = static_cast<uint16_t>(wParam);
        Guarded([&] { form->OnKeyDown(form, key, ShiftNow()); });
      }
      // Alt and F10 combinations keep their system meaning (Alt+F4 closes).
      if (message == WM_SYSKEYDOWN) return DefWindowProcW(window, message, wParam, lParam);
      return 0;
    case WM_CHAR:
      if (form->OnKeyPress) {
        char key = KeyChar(wParam);
        Guarded([&] { form->OnKeyPress(form, key); });
      }
      return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      if (form->OnMouseDown) {
        const TMouseButton button = message == WM_LBUTTONDOWN   ? TMouseButton::mbLeft
                                    : message == WM_RBUTTONDOWN ? TMouseButton::mbRight
                                                                : TMouseButton::mbMiddle;
        Guarded([&] {
          form->OnMouseDown(form, button, ShiftNow(), SignedLow(lParam), SignedHigh(lParam));
        });
      }
      return 0;
    case WM_MOUSEMOVE:
      if (form->OnMouseMove)
        Guarded(
            [&] { form->OnMouseMove(form, ShiftNow(), SignedLow(lParam), SignedHigh(lParam)); });
      return 0;
    case WM_SETCURSOR:
      if (link->HideCursor && LOWORD(lParam) == HTCLIENT) {
        SetCursor(nullptr);
        return TRUE;
      }
      break;
    case WM_ERASEBKGND: {
      RECT client;
      GetClientRect(window, &client);
      FillRect(reinterpret_cast<HDC>(wParam), &client,
               link->Black ? static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))
                           : GetSysColorBrush(COLOR_BTNFACE));
      return 1;
    }
    case WM_PAINT: {
      // The frame timer redraws the window; the paint request only has to be answered.
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_DISPLAYCHANGE:
      if (form->OnDisplayChange) Guarded([&] { form->OnDisplayChange(form); });
      return 0;
    case WM_CLOSE:
      Guarded([&] { form->Close(); });
      return 0;
    case WM_DESTROY:
      // Reached only when the window goes before its form: the form destroys its window after
      // taking the link away.
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      link->Sight.Stop();
      form->WindowDestroyed();
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// The window the renderer draws in when the target is another program's: input and painting
// are left to the system, and the background is never erased over a frame.
LRESULT CALLBACK SurfaceWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
      return 0;
    }
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

bool RegisterClasses(HINSTANCE instance) {
  WNDCLASSEXW app = {};
  app.cbSize = sizeof app;
  app.lpfnWndProc = AppWindowProc;
  app.hInstance = instance;
  app.lpszClassName = AppClass;

  // Own device contexts: OpenGL keeps one pixel format and context on a window's DC for life.
  WNDCLASSEXW form = {};
  form.cbSize = sizeof form;
  form.style = CS_OWNDC;
  form.lpfnWndProc = FormWindowProc;
  form.hInstance = instance;
  form.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  form.lpszClassName = FormClass;

  WNDCLASSEXW surface = form;
  surface.lpfnWndProc = SurfaceWindowProc;
  surface.lpszClassName = SurfaceClass;

  for (const WNDCLASSEXW* cls : {&app, &form, &surface}) {
    if (!RegisterClassExW(cls) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
  }
  return true;
}

// The renderer's surface on a child window of ours that covers another program's window: that
// window's pixel format is not ours to set, and a window takes only one. The child goes with
// the surface; when the other program destroys its window, the child goes with it.
class TChildWindowSurface : public TGLSurface {
 public:
  TChildWindowSurface(HWND child, std::unique_ptr<TWglWindowSurface> inner)
      : Child(child), Inner(std::move(inner)) {}
  ~TChildWindowSurface() override {
    Inner.reset();
    if (IsWindow(Child)) DestroyWindow(Child);
  }
  TChildWindowSurface(const TChildWindowSurface&) = delete;
  TChildWindowSurface& operator=(const TChildWindowSurface&) = delete;

  bool MakeCurrent() override { return Inner->MakeCurrent(); }
  void ReleaseCurrent() override { Inner->ReleaseCurrent(); }
  void SwapBuffers() override { Inner->SwapBuffers(); }
  TTextRect WindowRect() override { return Inner->WindowRect(); }
  void Invalidate() override { Inner->Invalidate(); }
  TTextSurface& Text() override { return Inner->Text(); }

 private:
  HWND Child;
  std::unique_ptr<TWglWindowSurface> Inner;
};

bool IsOwnWindow(HWND window) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  return process == GetCurrentProcessId();
}

bool ClassIs(HWND window, const wchar_t* name) {
  wchar_t text[64];
  return GetClassNameW(window, text, 64) > 0 && lstrcmpW(text, name) == 0;
}

}  // namespace

// ---- TForm ----

TForm::TForm(const TFormDesign& design)
    : Design(design), Width(design.ClientWidth), Height(design.ClientHeight) {}

TForm::~TForm() {
  if (!Wnd) return;
  if (!Wnd->Destroyed) {
    // Messages sent while the window goes must not reach a form that is being destroyed.
    SetWindowLongPtrW(Wnd->Wnd, GWLP_USERDATA, 0);
    Wnd->Link->Sight.Stop();
    DestroyWindow(Wnd->Wnd);
  }
  delete Wnd->Link;
}

bool TForm::HandleAllocated() const {
  return Wnd != nullptr;
}

TWindowHandle TForm::Handle() {
  if (Wnd) return FromHwnd(Wnd->Wnd);
  TApplication::TPlatformState* st = State();
  if (!st) return 0;

  DWORD style = Design.Borderless ? WS_POPUP : WS_OVERLAPPEDWINDOW;
  style |= WS_CLIPCHILDREN | WS_CLIPSIBLINGS;  // OpenGL draws only into its own window's pixels
  const DWORD exStyle = Design.StayOnTop ? WS_EX_TOPMOST : 0;
  RECT bounds = {Design.Left, Design.Top, Design.Left + Design.ClientWidth,
                 Design.Top + Design.ClientHeight};
  AdjustWindowRectEx(&bounds, style, FALSE, exStyle);

  TFormLink* link = new TFormLink{this, Design.Black, Design.HideCursor, {}};
  const std::wstring caption = WideFromBytes(Design.Caption, TitleCodePage);
  HWND window = CreateWindowExW(exStyle, FormClass, caption.c_str(), style, bounds.left, bounds.top,
                                bounds.right - bounds.left, bounds.bottom - bounds.top, nullptr,
                                nullptr, st->Instance, link);
  if (!window) {
    delete link;
    return 0;
  }
  SetWindowIcons(window);
  Wnd = std::make_unique<TPlatformWindow>();
  Wnd->Wnd = window;
  Wnd->Link = link;
  link->Sight.Start(window);
  return FromHwnd(window);
}

void TForm::Show() {
  if (Handle() == 0 || Wnd->Destroyed) return;
  HWND window = Wnd->Wnd;
  Shown = true;
  const bool span = Design.Maximized && SpanMonitors;
  if (span) {
    // The full-screen run covers the virtual screen, every monitor, with a plain popup window.
    SetWindowPos(window, nullptr, GetSystemMetrics(SM_XVIRTUALSCREEN),
                 GetSystemMetrics(SM_YVIRTUALSCREEN), GetSystemMetrics(SM_CXVIRTUALSCREEN),
                 GetSystemMetrics(SM_CYVIRTUALSCREEN), SWP_NOZORDER | SWP_NOACTIVATE);
  } else if (Design.Maximized) {
    // The normal bounds become those of the monitor under the cursor, so the window covers it
    // from its corner even where the maximised state is left to a window manager that may not
    // be running, and maximizes there.
    POINT cursor = {};
    GetCursorPos(&cursor);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    if (GetMonitorInfoW(MonitorFromPoint(cursor, MONITOR_DEFAULTTOPRIMARY), &monitor)) {
      const RECT& area = monitor.rcMonitor;
      SetWindowPos(window, nullptr, area.left, area.top, area.right - area.left,
                   area.bottom - area.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  ShowWindow(window, span ? SW_SHOWNORMAL : Design.Maximized ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
  if (span) {
    RECT client = {};
    GetClientRect(window, &client);
    ClientResized(client.right, client.bottom);
  }
  SetForegroundWindow(window);
  SetFocus(window);
  UpdateWindow(window);
}

void TForm::Hide() {
  Shown = false;
  if (Wnd && !Wnd->Destroyed) ShowWindow(Wnd->Wnd, SW_HIDE);
}

void TForm::Close() {
  // The main form stays on screen until the application destroys it on the way out.
  if (Application.MainForm() == this) {
    Application.Terminate();
    // Wakes the loop when the close comes from outside a dispatched message.
    if (TApplication::TPlatformState* st = State())
      if (st->AppWindow) PostMessageW(st->AppWindow, WM_NULL, 0, 0);
  } else {
    Hide();
  }
}

void TForm::SetCaption(const std::string& caption) {
  Design.Caption = caption;
  if (Wnd && !Wnd->Destroyed) SetTitleText(Wnd->Wnd, caption);
}

void TForm::WindowDestroyed() {
  Shown = false;
  if (Wnd) Wnd->Destroyed = true;
}

void TTimer::Restart() {
  ArmTimer(this);
}

// ---- TApplication ----

TApplication::TApplication() {
  // Every floating-point exception masked, round to nearest, and the x87 unit (which the
  // 32-bit math library still uses) at its full 64-bit precision: a division by zero gives an
  // infinity and never traps.
  _control87(_MCW_EM, _MCW_EM);
  _control87(_RC_NEAR, _MCW_RC);
#if defined(__i386__)
  _control87(_PC_64, _MCW_PC);
#endif
}

TApplication::~TApplication() {
  Shutdown();
}

bool TApplication::Connect(std::string& error) {
  if (State) return true;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  if (!RegisterClasses(instance)) {
    error = "the window classes cannot be registered";
    return false;
  }
  State = std::make_unique<TPlatformState>();
  State->Instance = instance;
  State->Timers = Timers;
  return true;
}

void TApplication::Initialize() {
  if (!State || State->AppWindow) return;
  // A top-level window that is never shown: other instances find it by its title.
  State->AppWindow =
      CreateWindowExW(WS_EX_TOOLWINDOW, AppClass, WideFromBytes(AppTitle, TitleCodePage).c_str(),
                      WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, State->Instance, nullptr);
  for (TTimer* timer : State->Timers) ArmTimer(timer);
}

void TApplication::SetTitle(const std::string& title) {
  AppTitle = title;
  if (State && State->AppWindow) SetTitleText(State->AppWindow, title);
}

void TApplication::AdoptForm(std::unique_ptr<TForm> form) {
  TForm* raw = form.get();
  Forms.push_back(std::move(form));
  if (Main == nullptr) Main = raw;
  if (raw->OnCreate) raw->OnCreate(raw);
}

void TApplication::AddTimer(TTimer* timer) {
  Timers.push_back(timer);
  if (State) State->Timers.push_back(timer);
}

void TApplication::RemoveTimer(TTimer* timer) {
  Timers.erase(std::remove(Timers.begin(), Timers.end(), timer), Timers.end());
  if (!State) return;
  State->Timers.erase(std::remove(State->Timers.begin(), State->Timers.end(), timer),
                      State->Timers.end());
  if (State->AppWindow) KillTimer(State->AppWindow, reinterpret_cast<UINT_PTR>(timer));
}

void TApplication::Run() {
  if (!State || Main == nullptr) return;
  if (ShowMainForm && !IsTerminated) Main->Show();
  MSG message;
  while (!IsTerminated) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0 || got == -1) break;  // WM_QUIT, or a loop that cannot go on
    TranslateMessage(&message);
    DispatchMessageW(&message);
    if (State->Failure) std::rethrow_exception(std::exchange(State->Failure, nullptr));
  }
}

void TApplication::Shutdown() {
  DestroyForms();
  if (!State) return;
  if (State->AppWindow) DestroyWindow(State->AppWindow);
  State.reset();
}

// ---- window services ----

TWindowHandle FindWindowByTitle(const std::string& title) {
  bool ascii = true;
  for (const char c : title) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  // FindWindowA reads the title in the system's code page, which agrees with 1251 on ASCII.
  HWND found = ascii ? FindWindowA(nullptr, title.c_str())
                     : FindWindowW(nullptr, WideFromBytes(title, TitleCodePage).c_str());
  return FromHwnd(found);
}

void RequestWindowClose(TWindowHandle handle) {
  HWND window = ToHwnd(handle);
  if (!handle || !IsWindow(window)) return;
  // Windows destroys only windows of the calling thread; another instance of this program is
  // asked to close in order instead, and other programs' windows are left alone.
  if (!IsOwnWindow(window) && ClassIs(window, AppClass))
    PostMessageW(window, WM_CLOSE, 0, 0);
  else
    DestroyWindow(window);
}

bool WindowIsVisible(TWindowHandle window) {
  return window != 0 && IsWindowVisible(ToHwnd(window)) != FALSE;
}

bool WindowExists(TWindowHandle window) {
  return window != 0 && IsWindow(ToHwnd(window)) != FALSE;
}

bool WindowIsSeen(TWindowHandle handle) {
  // Other programs' windows (the host's preview) are the other program's concern.
  HWND window = ToHwnd(handle);
  if (!handle || !IsWindow(window) || !IsOwnWindow(window) || !ClassIs(window, FormClass))
    return true;
  const TFormLink* link = reinterpret_cast<TFormLink*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  return !link || link->Sight.Seen();
}

bool ForeignWindowsReachable(std::string&) {
  return true;
}

bool DaemonHandsOverWindows() {
  return false;
}

char UserDecimalSeparator() {
  char separator[4] = {};
  if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, sizeof separator) == 2 &&
      separator[0] > ' ' && separator[0] < 0x7F)
    return separator[0];
  return '.';
}

TPoint CursorPos() {
  POINT point = {};
  GetCursorPos(&point);
  TPoint result;
  result.X = point.x;
  result.Y = point.y;
  return result;
}

// Windows has no root window that savers draw into (the desktop window belongs to the system),
// so a request for it names no window and the drawing target is refused.
TWindowHandle RootWindowHandle() {
  return 0;
}

void WatchWindowSize(TWindowHandle handle, std::function<void(int, int)> onResize) {
  TApplication::TPlatformState* st = State();
  HWND window = ToHwnd(handle);
  if (!st || !st->AppWindow || !handle || !IsWindow(window)) return;
  RECT client = {};
  GetClientRect(window, &client);
  auto watch = std::find_if(
      st->Watches.begin(), st->Watches.end(),
      [&](const TApplication::TPlatformState::TWatch& w) { return w.Window == window; });
  if (watch == st->Watches.end()) watch = st->Watches.insert(st->Watches.end(), {});
  watch->Window = window;
  watch->Width = client.right - client.left;
  watch->Height = client.bottom - client.top;
  watch->OnResize = std::move(onResize);
  SetTimer(st->AppWindow, WatchTimerId, WatchInterval, nullptr);
}

bool OpenGLAvailable(std::string&) {
  // opengl32.dll comes with every Windows; whether a window can take a context is known only
  // when the surface is made.
  return true;
}

std::unique_ptr<TGLSurface> CreateGLSurface(TWindowHandle handle, std::string& error) {
  HWND target = ToHwnd(handle);
  if (!handle || !IsWindow(target)) {
    error = "the window to draw in does not exist";
    return nullptr;
  }
  if (IsOwnWindow(target)) return TWglWindowSurface::Create(target, error);

  TApplication::TPlatformState* st = State();
  RECT client = {};
  GetClientRect(target, &client);
  HWND child = CreateWindowExW(0, SurfaceClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0,
                               client.right - client.left, client.bottom - client.top, target,
                               nullptr, st ? st->Instance : GetModuleHandleW(nullptr), nullptr);
  if (!child) {
    error = "no window can be made inside the window to draw in";
    return nullptr;
  }
  std::unique_ptr<TWglWindowSurface> inner = TWglWindowSurface::Create(child, error);
  if (!inner) {
    DestroyWindow(child);
    return nullptr;
  }
  return std::make_unique<TChildWindowSurface>(child, std::move(inner));
}
