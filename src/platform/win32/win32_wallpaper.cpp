// The live wallpaper in Explorer's desktop: the place behind the icons, the drawing window and
// its OpenGL surface, attaching again after Explorer restarts, the foreground window that may
// cover a monitor, and the user's own wallpaper painted again on the way out.
#include "win32_wallpaper.h"

#include <stdexcept>
#include <utility>

#include "energy.h"
#include "wgl_window_surface.h"
#include "win32_form_windows.h"

namespace {

// Progman's private message that makes Explorer put a WorkerW behind the icons, where the
// wallpaper is drawn.
constexpr UINT SpawnWorkerMessage = 0x052C;
// After a restart, the new Explorer's desktop is looked for this often and this many times.
constexpr UINT RetryTimerId = 2;
constexpr UINT RetryInterval = 1000;  // milliseconds
constexpr unsigned RetryCount = 10;
// SHQueryUserNotificationState's answers: a full-screen program, Direct3D full screen, and the
// presentation mode.
constexpr int QunsBusy = 2;
constexpr int QunsD3DFullScreen = 3;
constexpr int QunsPresentation = 4;

// Lets a message of a program of lower integrity through to window: a wallpaper started
// elevated (by its installer) still hears Explorer's TaskbarCreated and its settings dialog's
// WM_CLOSE. Windows 7 and later; older ones need not be asked.
void AllowFromBelow(HWND window, UINT message) {
  using TFilter = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
  TFilter filter = nullptr;
  LookupCall(GetModuleHandleW(L"user32.dll"), "ChangeWindowMessageFilterEx", filter);
  if (filter && window) filter(window, message, 1 /* MSGFLT_ALLOW */, nullptr);
}

UINT TaskbarCreatedMessage() {
  static const UINT message = RegisterWindowMessageW(L"TaskbarCreated");
  return message;
}

// The one wallpaper of the process, for the window events' callback, which carries no context.
TWallpaper* Watching = nullptr;

// The virtual screen: every monitor, in screen pixels.
RECT VirtualScreen() {
  const int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
  return RECT{left, top, left + GetSystemMetrics(SM_CXVIRTUALSCREEN),
              top + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

// The virtual screen in parent's client coordinates.
RECT PlaceIn(HWND parent) {
  RECT rect = VirtualScreen();
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// The desktop's own windows cover every monitor, but they are what the wallpaper lies in.
bool IsDesktopWindow(HWND window) {
  return ClassIs(window, L"Progman") || ClassIs(window, L"WorkerW");
}

// The user's wallpaper set again, as it is (a picture's path, or none for a plain colour), which
// makes Explorer paint it over what the drawing window left behind; the change is announced to
// every program, as the system's own settings do.
void PaintUserWallpaper(HWND parent) {
  if (parent && IsWindow(parent))
    RedrawWindow(parent, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  wchar_t path[MAX_PATH] = L"";
  if (SystemParametersInfoW(SPI_GETDESKWALLPAPER, MAX_PATH, path, 0))
    SystemParametersInfoW(SPI_SETDESKWALLPAPER, 0, path, SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
}

}  // namespace

TDesktopPlace FindDesktopPlace() {
  TDesktopPlace place;
  HWND progman = FindWindowW(L"Progman", nullptr);
  if (!progman) return place;
  DWORD_PTR result = 0;
  SendMessageTimeoutW(progman, SpawnWorkerMessage, 0, 0, SMTO_NORMAL, 1000, &result);
  place.Parent = progman;
  if (HWND icons = FindWindowExW(progman, nullptr, L"SHELLDLL_DefView", nullptr)) {
    place.After = icons;
    return place;
  }
  // The Z order is walked window by window: FindWindowEx with a window of another class to
  // start after finds nothing on Wine.
  for (HWND top = GetTopWindow(nullptr); top; top = GetWindow(top, GW_HWNDNEXT)) {
    if (!FindWindowExW(top, nullptr, L"SHELLDLL_DefView", nullptr)) continue;
    for (HWND next = GetWindow(top, GW_HWNDNEXT); next; next = GetWindow(next, GW_HWNDNEXT))
      if (ClassIs(next, L"WorkerW")) {
        place.Parent = next;
        return place;
      }
    break;
  }
  return place;
}

TWallpaper::TWallpaper(HWND formWindow, TForm* form) : FormWindow(formWindow), Form(form) {
  LookupCall(LoadLibraryW(L"shell32.dll"), "SHQueryUserNotificationState", QueryNotificationState);
  AllowFromBelow(FormWindow, TaskbarCreatedMessage());
  if (TApplication::TPlatformState* st = State()) AllowFromBelow(st->AppWindow, WM_CLOSE);
  Watching = this;
  const DWORD flags = WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS;
  Hooks[0] = SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, nullptr, WinEvent, 0,
                             0, flags);
  Hooks[1] = SetWinEventHook(EVENT_SYSTEM_MINIMIZESTART, EVENT_SYSTEM_MINIMIZEEND, nullptr,
                             WinEvent, 0, 0, flags);
  FollowForegroundMoves();
  Foreground = ReadForeground();
}

TWallpaper::~TWallpaper() {
  for (HWINEVENTHOOK hook : Hooks)
    if (hook) UnhookWinEvent(hook);
  if (Watching == this) Watching = nullptr;
  KillTimer(FormWindow, RetryTimerId);
  SurfaceGone();
  if (EverAttached) PaintUserWallpaper(Parent);
}

std::unique_ptr<TGLSurface> TWallpaper::CreateSurface(std::string& error) {
  if (!Attach(error)) {
    if (error.empty()) throw std::runtime_error("no desktop shell (Explorer) to lie under");
    return nullptr;
  }
  std::unique_ptr<TWglWindowSurface> inner = TWglWindowSurface::Create(Window, error);
  if (!inner) {
    SurfaceGone();
    return nullptr;
  }
  // The context is handed on to each new drawing window.
  Surface = inner.get();
  return std::make_unique<TOwnedWindowSurface>(std::move(inner), [this] { SurfaceGone(); });
}

bool TWallpaper::Attach(std::string& error) {
  const TDesktopPlace place = FindDesktopPlace();
  if (!place.Parent) return false;
  const RECT rect = PlaceIn(place.Parent);
  TApplication::TPlatformState* st = State();
  // Disabled: clicks and keys go to the desktop's icons and windows as if it were not there.
  HWND window = CreateWindowExW(
      WS_EX_NOACTIVATE, SurfaceClass, L"", WS_CHILD | WS_VISIBLE | WS_DISABLED | WS_CLIPSIBLINGS,
      rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, place.Parent, nullptr,
      st ? st->Instance : GetModuleHandleW(nullptr), nullptr);
  if (!window) {
    error = "no window can be made in the desktop";
    return false;
  }
  SetWindowPos(window, place.After, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  if (Surface && !Surface->MoveTo(window)) {
    DestroyWindow(window);
    error = "the OpenGL context cannot move to the new desktop's window";
    return false;
  }
  if (Window && IsWindow(Window)) DestroyWindow(Window);
  Window = window;
  Parent = place.Parent;
  EverAttached = true;
  return true;
}

void TWallpaper::Place() {
  if (!Attached()) return;
  const RECT rect = PlaceIn(Parent);
  SetWindowPos(Window, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

bool TWallpaper::Attached() const {
  return Window && IsWindow(Window) && GetParent(Window) == Parent;
}

void TWallpaper::SurfaceGone() {
  Surface = nullptr;
  if (Window && IsWindow(Window)) DestroyWindow(Window);
  Window = nullptr;
}

bool TWallpaper::Take(UINT message, WPARAM wParam) {
  const UINT taskbarCreated = TaskbarCreatedMessage();
  if (message == WM_TIMER && wParam == RetryTimerId) {
    std::string error;
    if (Attach(error)) {
      KillTimer(FormWindow, RetryTimerId);
      Form->SeenChanged();
    } else if (--Retries == 0) {
      KillTimer(FormWindow, RetryTimerId);
      throw std::runtime_error(
          "the restarted desktop shell (Explorer) has no desktop to lie under" +
          (error.empty() ? std::string() : ": " + error));
    }
    return true;
  }
  // Explorer lays its desktop out again after the monitors changed and then announces the new
  // work area; the drawing window follows. Others may want the message too.
  if (message == WM_SETTINGCHANGE && wParam == SPI_SETWORKAREA) {
    Place();
    return false;
  }
  if (message != taskbarCreated || taskbarCreated == 0) return false;
  // Explorer also announces its task bar again while it keeps running (a new density): the
  // drawing window it still holds is only placed again.
  if (Attached() || !Surface) {
    Place();
    return true;
  }
  const DWORD now = GetTickCount();
  if (Restarts > 0 && now - LastRestart < GiveUpSeconds * 1000)
    throw std::runtime_error("the desktop shell (Explorer) restarted twice within 30 seconds");
  ++Restarts;
  LastRestart = now;
  std::string error;
  if (Attach(error)) {
    Form->SeenChanged();
  } else {
    Retries = RetryCount;
    SetTimer(FormWindow, RetryTimerId, RetryInterval, nullptr);
  }
  return true;
}

bool TWallpaper::Covers(const TScreenRect& monitor) const {
  if (Foreground.Presentation) return true;
  return CoversMonitor(monitor, Foreground.Rect, Foreground.Maximized, Foreground.FullScreen);
}

bool TWallpaper::TForeground::operator==(const TForeground& other) const {
  return Rect.Left == other.Rect.Left && Rect.Top == other.Rect.Top &&
         Rect.Width == other.Rect.Width && Rect.Height == other.Rect.Height &&
         Maximized == other.Maximized && FullScreen == other.FullScreen &&
         Presentation == other.Presentation;
}

TWallpaper::TForeground TWallpaper::ReadForeground() const {
  TForeground foreground;
  int state = 0;
  if (QueryNotificationState && SUCCEEDED(QueryNotificationState(&state)))
    foreground.Presentation = state == QunsPresentation;
  HWND window = GetForegroundWindow();
  RECT rect = {};
  if (!window || !IsWindowVisible(window) || IsIconic(window) || IsDesktopWindow(window) ||
      !GetWindowRect(window, &rect))
    return foreground;
  foreground.Rect =
      TScreenRect{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
  foreground.Maximized = IsZoomed(window) != FALSE;
  foreground.FullScreen = state == QunsBusy || state == QunsD3DFullScreen;
  return foreground;
}

void TWallpaper::FollowForegroundMoves() {
  // Only the foreground window's moves are followed, so the pointer and the caret of other
  // programs wake no one.
  if (Hooks[2]) UnhookWinEvent(Hooks[2]);
  Hooks[2] = nullptr;
  DWORD process = 0;
  const DWORD thread = GetWindowThreadProcessId(GetForegroundWindow(), &process);
  if (thread)
    Hooks[2] =
        SetWinEventHook(EVENT_OBJECT_LOCATIONCHANGE, EVENT_OBJECT_LOCATIONCHANGE, nullptr, WinEvent,
                        process, thread, WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
}

void TWallpaper::ForegroundChanged(bool newWindow) {
  if (newWindow) FollowForegroundMoves();
  const TForeground now = ReadForeground();
  if (now == Foreground) return;
  Foreground = now;
  Guarded([&] { Form->SeenChanged(); });
}

void CALLBACK TWallpaper::WinEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child,
                                   DWORD, DWORD) {
  if (!Watching) return;
  if (event == EVENT_OBJECT_LOCATIONCHANGE &&
      (object != OBJID_WINDOW || child != CHILDID_SELF || window != GetForegroundWindow()))
    return;
  Watching->ForegroundChanged(event == EVENT_SYSTEM_FOREGROUND);
}
