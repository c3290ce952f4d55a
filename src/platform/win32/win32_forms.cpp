// The form framework (forms.h) over USER32: the application object with its own hidden top-level
// window, which carries the title and receives the timers (SetTimer, WM_TIMER), and forms as
// top-level windows of one class. Their messages are handled in win32_form_messages.cpp, the
// window services of start-up in win32_window_services.cpp.
#include <float.h>

#include <algorithm>
#include <exception>
#include <utility>
#include <vector>

#include "app_icon.h"
#include "forms.h"
#include "wide_text.h"
#include "win32_form_windows.h"

TApplication Application;

namespace {

void SetTitleText(HWND window, const std::string& cp1251) {
  SetWindowTextW(window, WideFromBytes(cp1251, TitleCodePage).c_str());
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

  DWORD style = Design.Borderless || Design.Wallpaper ? WS_POPUP : WS_OVERLAPPEDWINDOW;
  style |= WS_CLIPCHILDREN | WS_CLIPSIBLINGS;  // OpenGL draws only into its own window's pixels
  // A wallpaper's own window is never shown: it draws in a window of its own in the desktop.
  const DWORD exStyle = Design.Wallpaper   ? WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE
                        : Design.StayOnTop ? WS_EX_TOPMOST
                                           : 0;
  RECT bounds = {Design.Left, Design.Top, Design.Left + Design.ClientWidth,
                 Design.Top + Design.ClientHeight};
  AdjustWindowRectEx(&bounds, style, FALSE, exStyle);

  TFormLink* link = new TFormLink{this, Design.Black, Design.HideCursor, {}, nullptr};
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
  if (Design.Wallpaper) link->Wallpaper = std::make_unique<TWallpaper>(window, this);
  return FromHwnd(window);
}

void TForm::Show() {
  if (Handle() == 0 || Wnd->Destroyed) return;
  HWND window = Wnd->Wnd;
  Shown = true;
  if (Wnd->Link->Wallpaper) {
    // The hidden window keeps the size of the virtual screen, which the drawing window covers.
    SetWindowPos(window, nullptr, GetSystemMetrics(SM_XVIRTUALSCREEN),
                 GetSystemMetrics(SM_YVIRTUALSCREEN), GetSystemMetrics(SM_CXVIRTUALSCREEN),
                 GetSystemMetrics(SM_CYVIRTUALSCREEN), SWP_NOZORDER | SWP_NOACTIVATE);
    Wnd->Link->Wallpaper->Place();
    RECT client = {};
    GetClientRect(window, &client);
    ClientResized(client.right, client.bottom);
    return;
  }
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
