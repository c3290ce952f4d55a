// tundrel_probe: the end-to-end scripts' hands and eyes on Windows (or Wine). It stands in for
// the screen-saver host's preview window, reads screen pixels and window titles, finds the
// settings dialog's check boxes, moves the mouse and presses keys through SendInput, and stands
// in for Explorer's desktop (probe_shell.cpp).
// Every command prints one line and exits 0 when what it looked for holds, 1 when not, 2 on
// bad usage.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int StandInShell(bool newLayout, double seconds);
int WallpaperPlace(double seconds);

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: tundrel_probe host SAVER [SECONDS]\n"
               "       tundrel_probe lit X Y W H         (non-black pixels of a screen area)\n"
               "       tundrel_probe yellow X Y W H SHOTS (the clock's yellow in each screenshot)\n"
               "       tundrel_probe yellow-rows X Y W H (the rows the clock's yellow spans)\n"
               "       tundrel_probe wait-title TITLE SECONDS\n"
               "       tundrel_probe wait-caption PREFIX SECONDS\n"
               "       tundrel_probe gone TITLE SECONDS\n"
               "       tundrel_probe boxes               (the settings dialog's check boxes)\n"
               "       tundrel_probe box CAPTION         (one more of them)\n"
               "       tundrel_probe layout              (the settings dialog's sizes)\n"
               "       tundrel_probe dpi-changed CLASS DPI (WM_DPICHANGED to a window)\n"
               "       tundrel_probe message-box TITLE SECONDS\n"
               "       tundrel_probe volatile-key PATH   (below HKEY_CURRENT_USER)\n"
               "       tundrel_probe picture TITLE       (a window's largest bitmap control)\n"
               "       tundrel_probe move DX DY | key VK | click\n"
               "       tundrel_probe shell old|new SECONDS (a stand-in desktop for that long)\n"
               "       tundrel_probe wallpaper-place SECONDS (the wallpaper's window in it)\n");
  return 2;
}

std::string Utf8(const wchar_t* text) {
  char buffer[1024];
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr);
  return size > 0 ? std::string(buffer) : std::string();
}

std::string TitleOf(HWND window) {
  wchar_t title[512];
  return GetWindowTextW(window, title, 512) > 0 ? Utf8(title) : std::string();
}

// Pumps this thread's messages for the given time: a window with a child of another process
// must keep answering, or both programs stall.
void Pump(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  do {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    Sleep(10);
  } while (GetTickCount() - start < milliseconds);
}

// The number of screen pixels in the rectangle that are not black, or (yellow) that have the
// clock's full yellow: red and green 200 or more, blue 60 or less; with rows, also the rows
// from the first to the last that hold two such pixels or more.
long CountPixels(int x, int y, int width, int height, bool yellow = false, int* rows = nullptr) {
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  long count = -1;
  if (bitmap && bits) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, x, y, SRCCOPY);
    GdiFlush();
    count = 0;
    int first = -1, last = -1;
    const unsigned char* pixel = static_cast<const unsigned char*>(bits);  // B, G, R, x
    for (int row = 0; row < height; ++row) {
      long inRow = 0;
      for (int column = 0; column < width; ++column, pixel += 4)
        if (yellow ? pixel[2] >= 200 && pixel[1] >= 200 && pixel[0] <= 60
                   : pixel[0] > 8 || pixel[1] > 8 || pixel[2] > 8)
          ++inRow;
      count += inRow;
      if (inRow >= 2) {
        if (first < 0) first = row;
        last = row;
      }
    }
    if (rows) *rows = first < 0 ? 0 : last - first + 1;
    SelectObject(memory, old);
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return count;
}

long LitPixels(int x, int y, int width, int height) {
  return CountPixels(x, y, width, height);
}

// The yellow count of the rectangle in each of a series of screenshots 50 ms apart, on one line.
int YellowShots(int x, int y, int width, int height, int shots) {
  for (int shot = 0; shot < shots; ++shot) {
    if (shot > 0) Sleep(50);
    std::printf(shot > 0 ? " %ld" : "%ld", CountPixels(x, y, width, height, true));
  }
  std::printf("\n");
  return 0;
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ERASEBKGND) {
    RECT client;
    GetClientRect(window, &client);
    FillRect(reinterpret_cast<HDC>(wParam), &client,
             static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    return 1;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

struct TProcessWindow {
  DWORD Process;
  const char* Prefix;
  std::string Found;
};

BOOL CALLBACK MatchProcessCaption(HWND window, LPARAM data) {
  TProcessWindow* search = reinterpret_cast<TProcessWindow*>(data);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  const std::string title = TitleOf(window);
  if (process != search->Process || title.compare(0, std::strlen(search->Prefix), search->Prefix))
    return TRUE;
  search->Found = title;
  return FALSE;
}

// The preview host: a black window of 320 x 240, the saver started with "/p HWND". It waits for
// the saver's drawing window inside its own (covering the client area) and for the saver's
// statistics caption (frames are being drawn), counts its lit pixels, then destroys the window
// and times the saver's exit from the moment the destruction is done.
int Host(const char* saver, double seconds) {
  WNDCLASSW cls = {};
  cls.lpfnWndProc = HostProc;
  cls.hInstance = GetModuleHandleW(nullptr);
  cls.lpszClassName = L"TundrelPreviewHost";
  RegisterClassW(&cls);
  const int left = 40, top = 40, width = 320, height = 240;
  HWND host = CreateWindowExW(0, cls.lpszClassName, L"Preview host",
                              WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, left, top, width, height,
                              nullptr, nullptr, cls.hInstance, nullptr);
  if (!host) {
    std::printf("host window not created\n");
    return 1;
  }
  Pump(300);
  const long before = LitPixels(left, top, width, height);

  char command[1024];
  std::snprintf(command, sizeof command, "\"%s\" /p %lu", saver,
                static_cast<unsigned long>(reinterpret_cast<uintptr_t>(host)));
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    std::printf("cannot start %s\n", command);
    return 1;
  }

  HWND child = nullptr;
  RECT childRect = {};
  TProcessWindow caption{process.dwProcessId, "FPS: ", std::string()};
  long lit = 0;
  const DWORD deadline = GetTickCount() + static_cast<DWORD>(seconds * 1000);
  while (GetTickCount() < deadline) {
    Pump(200);
    if (!child) child = FindWindowExW(host, nullptr, nullptr, nullptr);
    if (child) GetClientRect(child, &childRect);
    if (caption.Found.empty()) EnumWindows(MatchProcessCaption, reinterpret_cast<LPARAM>(&caption));
    lit = LitPixels(left, top, width, height);
    if (child && !caption.Found.empty() && lit > 100) break;
    if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) break;
  }
  const bool stillRunning = WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT;
  const bool covers = child && childRect.right == width && childRect.bottom == height;

  const DWORD destroying = GetTickCount();
  DestroyWindow(host);
  const DWORD destroyed = GetTickCount();
  DWORD exitedAfter = 0;
  bool exited = false;
  while (GetTickCount() - destroyed < 5000) {
    Pump(10);
    if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) {
      exitedAfter = GetTickCount() - destroyed;
      exited = true;
      break;
    }
  }
  DWORD status = 0;
  GetExitCodeProcess(process.hProcess, &status);
  if (!exited) TerminateProcess(process.hProcess, 1);
  std::printf(
      "child=%d covers=%d caption=%d before=%ld lit=%ld running=%d destroy_ms=%lu exited=%d "
      "after_ms=%lu status=%lu\n",
      child ? 1 : 0, covers ? 1 : 0, caption.Found.empty() ? 0 : 1, before, lit,
      stillRunning ? 1 : 0, static_cast<unsigned long>(destroyed - destroying), exited ? 1 : 0,
      static_cast<unsigned long>(exitedAfter), static_cast<unsigned long>(status));
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return (covers && !caption.Found.empty() && stillRunning && exited && exitedAfter <= 1000 &&
          status == 0)
             ? 0
             : 1;
}

struct TCaptionSearch {
  const char* Prefix;
  std::string Found;
};

BOOL CALLBACK MatchCaption(HWND window, LPARAM data) {
  TCaptionSearch* search = reinterpret_cast<TCaptionSearch*>(data);
  const std::string title = TitleOf(window);
  if (title.compare(0, std::strlen(search->Prefix), search->Prefix) != 0) return TRUE;
  search->Found = title;
  return FALSE;
}

// Waits for a top-level window whose title begins with prefix; prints the title.
int WaitCaption(const char* prefix, double seconds) {
  const DWORD deadline = GetTickCount() + static_cast<DWORD>(seconds * 1000);
  do {
    TCaptionSearch search{prefix, std::string()};
    EnumWindows(MatchCaption, reinterpret_cast<LPARAM>(&search));
    if (!search.Found.empty()) {
      std::printf("%s\n", search.Found.c_str());
      return 0;
    }
    Sleep(100);
  } while (GetTickCount() < deadline);
  std::printf("no window titled %s...\n", prefix);
  return 1;
}

int WaitTitle(const char* title, double seconds, bool present) {
  const DWORD deadline = GetTickCount() + static_cast<DWORD>(seconds * 1000);
  do {
    if ((FindWindowA(nullptr, title) != nullptr) == present) {
      std::printf("%s %s\n", title, present ? "present" : "gone");
      return 0;
    }
    Sleep(100);
  } while (GetTickCount() < deadline);
  std::printf("%s %s\n", title, present ? "missing" : "still present");
  return 1;
}

// The settings dialog's boxes as "time=<0|1> trails=<0|1>".
int Boxes() {
  HWND dialog = FindWindowA(nullptr, "Settings");
  if (!dialog) {
    std::printf("no settings dialog\n");
    return 1;
  }
  HWND time = FindWindowExA(dialog, nullptr, "Button", "Show time");
  HWND trails = FindWindowExA(dialog, nullptr, "Button", "Show trails");
  if (!time || !trails) {
    std::printf("check boxes not found\n");
    return 1;
  }
  std::printf("time=%d trails=%d\n", SendMessageA(time, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0,
              SendMessageA(trails, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0);
  return 0;
}

// A check box of the settings dialog by its caption, as "<caption>=<0|1>".
int Box(const char* caption) {
  HWND box = FindWindowExA(FindWindowA(nullptr, "Settings"), nullptr, "Button", caption);
  if (!box) {
    std::printf("no check box %s\n", caption);
    return 1;
  }
  std::printf("%s=%d\n", caption, SendMessageA(box, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0);
  return 0;
}

// Sends window a message whose lParam points to size bytes of data, as the system would: the
// data lies in the window's process, as a message between processes carries only the pointer.
// The data is read back afterwards. False when the message could not be sent.
bool SendWithData(HWND window, UINT message, WPARAM wParam, void* data, SIZE_T size) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  HANDLE target =
      OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process);
  if (!target) return false;
  void* remote = VirtualAllocEx(target, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  DWORD_PTR result = 0;
  const bool sent = remote && WriteProcessMemory(target, remote, data, size, nullptr) &&
                    SendMessageTimeoutW(window, message, wParam, reinterpret_cast<LPARAM>(remote),
                                        SMTO_ABORTIFHUNG, 5000, &result) &&
                    ReadProcessMemory(target, remote, data, size, nullptr);
  if (remote) VirtualFreeEx(target, remote, 0, MEM_RELEASE);
  CloseHandle(target);
  return sent;
}

// The settings dialog's layout as "client=WxH line=H cut=N": its client size, the height a check
// box asks for (a line of its font, or its box), and how many controls are cut: reaching out of
// the client area, or smaller than the size the control asks for its caption in its font
// (BCM_GETIDEALSIZE); a dialog reaching out of the screen's work area counts as one more.
int Layout() {
  HWND dialog = FindWindowA(nullptr, "Settings");
  if (!dialog) {
    std::printf("no settings dialog\n");
    return 1;
  }
  RECT client = {}, frame = {}, work = {};
  GetClientRect(dialog, &client);
  GetWindowRect(dialog, &frame);
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  int cut = frame.left < work.left || frame.top < work.top || frame.right > work.right ||
                    frame.bottom > work.bottom
                ? 1
                : 0;
  long line = 0;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    RECT box = {};
    GetWindowRect(child, &box);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&box), 2);
    SIZE ideal = {0, 0};
    if (!SendWithData(child, 0x1601 /* BCM_GETIDEALSIZE */, 0, &ideal, sizeof ideal)) ++cut;
    if ((GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK) == BS_AUTOCHECKBOX) line = ideal.cy;
    if (box.left < 0 || box.top < 0 || box.right > client.right || box.bottom > client.bottom ||
        ideal.cx > box.right - box.left || ideal.cy > box.bottom - box.top) {
      wchar_t caption[64] = L"";
      GetWindowTextW(child, caption, 64);
      std::printf("cut: %s at %ld,%ld %ldx%ld, asks %ldx%ld\n", Utf8(caption).c_str(), box.left,
                  box.top, box.right - box.left, box.bottom - box.top, ideal.cx, ideal.cy);
      ++cut;
    }
  }
  std::printf("client=%ldx%ld line=%ld cut=%d\n", client.right, client.bottom, line, cut);
  return cut == 0 ? 0 : 1;
}

// Sends a window of the class WM_DPICHANGED for dpi, as the system does when the window's
// monitor changes its scale, with half the window from its top-left corner as the rectangle
// it suggests. Prints the window's rectangle afterwards.
int DpiChanged(const char* className, int dpi) {
  HWND window = FindWindowA(className, nullptr);
  if (!window) {
    std::printf("no window of class %s\n", className);
    return 1;
  }
  RECT rect = {};
  GetWindowRect(window, &rect);
  RECT suggested = {rect.left, rect.top, (rect.left + rect.right) / 2,
                    (rect.top + rect.bottom) / 2};
  const bool sent = SendWithData(window, 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(dpi, dpi),
                                 &suggested, sizeof suggested);
  GetWindowRect(window, &rect);
  std::printf("window=%ld,%ld,%ld,%ld\n", rect.left, rect.top, rect.right, rect.bottom);
  return sent ? 0 : 1;
}

// Waits for a message box (dialog class) with the given title; prints its text.
int MessageBoxText(const char* title, double seconds) {
  const DWORD deadline = GetTickCount() + static_cast<DWORD>(seconds * 1000);
  do {
    if (HWND box = FindWindowA("#32770", title)) {
      wchar_t text[512] = L"";
      GetDlgItemTextW(box, 0xFFFF, text, 512);  // the message's static control
      std::printf("%s\n", Utf8(text).c_str());
      return 0;
    }
    Sleep(100);
  } while (GetTickCount() < deadline);
  std::printf("no message box titled %s\n", title);
  return 1;
}

// A volatile key: Windows creates no lasting key below it, so saving settings there fails.
int VolatileKey(const char* path) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  const LONG result = RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, REG_OPTION_VOLATILE,
                                      KEY_ALL_ACCESS, nullptr, &key, &disposition);
  if (result != ERROR_SUCCESS || disposition != REG_CREATED_NEW_KEY) {
    std::printf("cannot create %s as a new volatile key\n", path);
    if (key) RegCloseKey(key);
    return 1;
  }
  RegCloseKey(key);
  std::printf("volatile %s\n", path);
  return 0;
}

struct TPictureSearch {
  HWND Found = nullptr;
  RECT Rect = {};
};

BOOL CALLBACK MatchPicture(HWND window, LPARAM data) {
  TPictureSearch* search = reinterpret_cast<TPictureSearch*>(data);
  wchar_t name[16] = L"";
  RECT rect;
  if (!IsWindowVisible(window) || !GetClassNameW(window, name, 16) || lstrcmpiW(name, L"Static") ||
      (GetWindowLongW(window, GWL_STYLE) & SS_TYPEMASK) != SS_BITMAP ||
      !GetWindowRect(window, &rect))
    return TRUE;
  const auto area = [](const RECT& r) { return long(r.right - r.left) * (r.bottom - r.top); };
  if (!search->Found || area(rect) > area(search->Rect)) {
    search->Found = window;
    search->Rect = rect;
  }
  return TRUE;
}

// The largest visible bitmap control in the window titled title (a wizard's picture), as
// "WxH lit=N": its size on the screen and how many of its pixels are not black.
int Picture(const char* title) {
  HWND window = FindWindowA(nullptr, title);
  TPictureSearch search;
  if (window) EnumChildWindows(window, MatchPicture, reinterpret_cast<LPARAM>(&search));
  if (!search.Found) {
    std::printf("no picture in a window titled %s\n", title);
    return 1;
  }
  const RECT& r = search.Rect;
  std::printf("%ldx%ld lit=%ld\n", r.right - r.left, r.bottom - r.top,
              LitPixels(r.left, r.top, r.right - r.left, r.bottom - r.top));
  return 0;
}

void Send(INPUT& input) {
  SendInput(1, &input, sizeof input);
}

int Move(int dx, int dy) {
  POINT point;
  GetCursorPos(&point);
  // Absolute coordinates, so the system's mouse acceleration cannot change the distance.
  const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  INPUT input = {};
  input.type = INPUT_MOUSE;
  input.mi.dx = ((point.x + dx) * 65535 + width / 2) / (width - 1);
  input.mi.dy = ((point.y + dy) * 65535 + height / 2) / (height - 1);
  input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  Send(input);
  Sleep(200);
  POINT after;
  GetCursorPos(&after);
  std::printf("cursor %ld,%ld -> %ld,%ld\n", point.x, point.y, after.x, after.y);
  return (after.x == point.x + dx && after.y == point.y + dy) ? 0 : 1;
}

int Key(WORD vk) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  Send(input);
  input.ki.dwFlags = KEYEVENTF_KEYUP;
  Send(input);
  std::printf("key %u\n", vk);
  return 0;
}

int Click() {
  INPUT input = {};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  Send(input);
  input.mi.dwFlags = MOUSEEVENTF_LEFTUP;
  Send(input);
  std::printf("click\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  // The screen's own pixels and the saver's coordinates at any DPI, as the saver sees them.
  using TSetAware = BOOL(WINAPI*)();
  if (auto setAware = reinterpret_cast<TSetAware>(reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDPIAware"))))
    setAware();
  const std::string command = argv[1];
  if (command == "host" && argc >= 3) return Host(argv[2], argc >= 4 ? std::atof(argv[3]) : 20);
  if (command == "lit" && argc == 6) {
    const long lit =
        LitPixels(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]));
    std::printf("%ld\n", lit);
    return lit > 0 ? 0 : 1;
  }
  if (command == "yellow-rows" && argc == 6) {
    int rows = 0;
    CountPixels(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]),
                true, &rows);
    std::printf("%d\n", rows);
    return rows > 0 ? 0 : 1;
  }
  if (command == "yellow" && argc == 7)
    return YellowShots(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]),
                       std::atoi(argv[5]), std::atoi(argv[6]));
  if (command == "wait-title" && argc == 4) return WaitTitle(argv[2], std::atof(argv[3]), true);
  if (command == "gone" && argc == 4) return WaitTitle(argv[2], std::atof(argv[3]), false);
  if (command == "wait-caption" && argc == 4) return WaitCaption(argv[2], std::atof(argv[3]));
  if (command == "boxes") return Boxes();
  if (command == "box" && argc == 3) return Box(argv[2]);
  if (command == "layout") return Layout();
  if (command == "dpi-changed" && argc == 4) return DpiChanged(argv[2], std::atoi(argv[3]));
  if (command == "message-box" && argc == 4) return MessageBoxText(argv[2], std::atof(argv[3]));
  if (command == "volatile-key" && argc == 3) return VolatileKey(argv[2]);
  if (command == "picture" && argc == 3) return Picture(argv[2]);
  if (command == "move" && argc == 4) return Move(std::atoi(argv[2]), std::atoi(argv[3]));
  if (command == "key" && argc == 3) return Key(static_cast<WORD>(std::atoi(argv[2])));
  if (command == "click") return Click();
  if (command == "shell" && argc == 4 &&
      (std::strcmp(argv[2], "old") == 0 || std::strcmp(argv[2], "new") == 0))
    return StandInShell(std::strcmp(argv[2], "new") == 0, std::atof(argv[3]));
  if (command == "wallpaper-place" && argc == 3) return WallpaperPlace(std::atof(argv[2]));
  return Usage();
}
