// The window services of start-up over USER32 (search by title, closing another instance,
// visibility, the cursor, the locale's decimal separator, watches of another program's window)
// and the renderer's surface, which draws into a child window of ours when the target belongs to
// another program (the host's preview).
#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>

#include "forms.h"
#include "wgl_window_surface.h"
#include "wide_text.h"
#include "win32_form_windows.h"

namespace {

bool IsOwnWindow(HWND window) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  return process == GetCurrentProcessId();
}

}  // namespace

bool ClassIs(HWND window, const wchar_t* name) {
  wchar_t text[64];
  return GetClassNameW(window, text, 64) > 0 && lstrcmpW(text, name) == 0;
}

const TFormLink* OwnFormLink(HWND window) {
  if (!IsWindow(window) || !IsOwnWindow(window) || !ClassIs(window, FormClass)) return nullptr;
  return reinterpret_cast<TFormLink*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

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
  if (window == 0) return false;
  // A wallpaper's own window stays hidden while its form is shown in the desktop.
  const TFormLink* link = OwnFormLink(ToHwnd(window));
  if (link && link->Wallpaper) return link->Form->Visible();
  return IsWindowVisible(ToHwnd(window)) != FALSE;
}

bool WindowExists(TWindowHandle window) {
  return window != 0 && IsWindow(ToHwnd(window)) != FALSE;
}

bool WindowIsSeen(TWindowHandle handle) {
  // Other programs' windows (the host's preview) are the other program's concern. A wallpaper
  // whose Explorer has gone is seen again once it is attached to the next one.
  const TFormLink* link = handle ? OwnFormLink(ToHwnd(handle)) : nullptr;
  return !link || (link->Sight.Seen() && (!link->Wallpaper || link->Wallpaper->Attached()));
}

bool ViewCovered(TWindowHandle handle, const TScreenRect& area) {
  const TFormLink* link = handle ? OwnFormLink(ToHwnd(handle)) : nullptr;
  return link && link->Wallpaper && link->Wallpaper->Covers(area);
}

bool SightNeedsPolling(TWindowHandle) {
  return false;
}

bool TApplication::ClaimInstance(const std::string& name, bool& alreadyRunning,
                                 std::string& error) {
  alreadyRunning = false;
  // A mutex of the session's own namespace, held by the process until it ends; the instance is
  // found again by its application window, which carries the same name as its title.
  HANDLE mutex =
      CreateMutexW(nullptr, FALSE, (L"Local\\" + WideFromBytes(name, TitleCodePage)).c_str());
  if (mutex == nullptr) {
    error = "cannot claim the session's instance";
    return false;
  }
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    alreadyRunning = true;
    return false;
  }
  return true;
}

bool StopInstance(const std::string& name) {
  HWND window = FindWindowW(AppClass, WideFromBytes(name, TitleCodePage).c_str());
  return window != nullptr && PostMessageW(window, WM_CLOSE, 0, 0) != FALSE;
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
  if (const TFormLink* link = OwnFormLink(target))
    if (link->Wallpaper) return link->Wallpaper->CreateSurface(error);
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
  // The other program's window takes only one pixel format, which is not ours to set: the child
  // of ours takes it. The child goes with the surface; when the other program destroys its
  // window, the child goes with it.
  return std::make_unique<TOwnedWindowSurface>(std::move(inner), [child] {
    if (IsWindow(child)) DestroyWindow(child);
  });
}
