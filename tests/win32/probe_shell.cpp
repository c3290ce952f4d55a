// The probe's stand-in for Explorer's desktop, which Wine lacks: a Progman holding the icons'
// SHELLDLL_DefView that answers 0x052C in the layout of Windows 10 (the icons move to a WorkerW
// of their own, another WorkerW follows it) or of Windows 11 24H2 (a WorkerW child of Progman
// below the icons), announces itself with TaskbarCreated as a restarted Explorer does, and shows
// in Progman's title when the user's wallpaper is set again; and where the live wallpaper's
// drawing window lies in it.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

bool NewLayout = false;
HWND Icons = nullptr;
bool Spawned = false;

// A window of the desktop over the whole screen.
HWND Window(const wchar_t* cls, DWORD style, HWND parent) {
  const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  return CreateWindowExW(WS_EX_NOACTIVATE, cls, L"", style | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0,
                         width, height, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
}

void SpawnWorker(HWND progman) {
  if (Spawned) return;
  Spawned = true;
  const UINT flags = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
  if (NewLayout) {
    SetWindowPos(Window(L"WorkerW", WS_CHILD, progman), Icons, 0, 0, 0, 0, flags);
    return;
  }
  // A new window goes on top: the one behind the icons first.
  Window(L"WorkerW", WS_POPUP, nullptr);
  SetParent(Icons, Window(L"WorkerW", WS_POPUP, nullptr));
  SetWindowPos(progman, HWND_BOTTOM, 0, 0, 0, 0, flags);
}

LRESULT CALLBACK ShellProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == 0x052C) {
    SpawnWorker(window);
    return 0;
  }
  if (message == WM_SETTINGCHANGE && wParam == SPI_SETDESKWALLPAPER)
    SetWindowTextW(window, L"Program Manager: wallpaper set");
  return DefWindowProcW(window, message, wParam, lParam);
}

std::string ClassOf(HWND window) {
  char name[64] = "";
  if (!window || !GetClassNameA(window, name, sizeof name)) return "none";
  return name;
}

struct TFound {
  HWND Window = nullptr;
};

BOOL CALLBACK FindDrawing(HWND top, LPARAM data) {
  HWND drawing = FindWindowExW(top, nullptr, L"TundrelSurface", nullptr);
  if (!drawing) return TRUE;
  reinterpret_cast<TFound*>(data)->Window = drawing;
  return FALSE;
}

}  // namespace

// Runs the stand-in desktop for the given time, then ends, its windows with it.
int StandInShell(bool newLayout, double seconds) {
  NewLayout = newLayout;
  WNDCLASSW cls = {};
  cls.lpfnWndProc = ShellProc;
  cls.hInstance = GetModuleHandleW(nullptr);
  cls.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  for (const wchar_t* name : {L"Progman", L"SHELLDLL_DefView", L"WorkerW"}) {
    cls.lpszClassName = name;
    RegisterClassW(&cls);
  }
  HWND progman = Window(L"Progman", WS_POPUP, nullptr);
  Icons = Window(L"SHELLDLL_DefView", WS_CHILD, progman);
  if (!progman || !Icons) {
    std::printf("the stand-in desktop cannot be made\n");
    return 1;
  }
  SetWindowTextW(progman, L"Program Manager");
  DWORD_PTR result = 0;
  SendMessageTimeoutW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0,
                      SMTO_ABORTIFHUNG, 2000, &result);
  const DWORD end = GetTickCount() + static_cast<DWORD>(seconds * 1000);
  while (GetTickCount() < end) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
  }
  std::printf("the stand-in desktop ends\n");
  return 0;
}

// Where the wallpaper's drawing window lies, as "parent=CLASS above=CLASS icons_above=0|1
// disabled=0|1 rect=L,T,R,B": its parent, the sibling right above it, whether the window right
// above its parent holds the icons, its input state and its screen rectangle.
int WallpaperPlace(double seconds) {
  const DWORD end = GetTickCount() + static_cast<DWORD>(seconds * 1000);
  TFound found;
  while (EnumWindows(FindDrawing, reinterpret_cast<LPARAM>(&found)) && GetTickCount() < end)
    Sleep(100);
  if (!found.Window) {
    std::printf("no drawing window in the desktop\n");
    return 1;
  }
  HWND parent = GetParent(found.Window);
  HWND aboveParent = GetWindow(parent, GW_HWNDPREV);
  RECT rect = {};
  GetWindowRect(found.Window, &rect);
  std::printf("parent=%s above=%s icons_above=%d disabled=%d rect=%ld,%ld,%ld,%ld\n",
              ClassOf(parent).c_str(), ClassOf(GetWindow(found.Window, GW_HWNDPREV)).c_str(),
              aboveParent && FindWindowExW(aboveParent, nullptr, L"SHELLDLL_DefView", nullptr),
              !IsWindowEnabled(found.Window), rect.left, rect.top, rect.right, rect.bottom);
  return 0;
}
