// What the files of the form framework over USER32 share: the window classes and their
// procedures, a form window's link to its form, the application's state, and the conversions
// between window handles and the framework's numbers. Private to this folder.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include "forms.h"
#include "win32_display.h"
#include "win32_wallpaper.h"
#include "windows_api.h"

// What a form window keeps besides its TForm: the design's colour and cursor, its sight, and a
// live wallpaper's place in the desktop.
struct TFormLink {
  TForm* Form = nullptr;
  bool Black = false;
  bool HideCursor = false;
  TWin32SightWatch Sight;
  std::unique_ptr<TWallpaper> Wallpaper;
};

// The link of a form window of this process; null for other windows.
const TFormLink* OwnFormLink(HWND window);
// Whether the window's class has that name.
bool ClassIs(HWND window, const wchar_t* name);

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

inline const wchar_t* const AppClass = L"TundrelApplication";
inline const wchar_t* const FormClass = L"TundrelForm";
inline const wchar_t* const SurfaceClass = L"TundrelSurface";

// The single-byte strings of the program (titles, the statistics caption) are code page 1251.
constexpr unsigned TitleCodePage = 1251;

// Another program's window is asked for its size this often while it is watched.
constexpr UINT WatchTimerId = 1;
constexpr UINT WatchInterval = 250;  // milliseconds

// The window procedures of the three classes (win32_form_messages.cpp): the application's
// hidden window with the timers, the forms, and the renderer's child window in another
// program's window.
LRESULT CALLBACK AppWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK FormWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK SurfaceWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

inline TApplication::TPlatformState* State() {
  return Application.Platform();
}

// Window handles fit in 32 bits on every Windows, 64-bit ones included, which keep them
// sign-extended; the command line and TWindowHandle carry the low 32 bits.
inline HWND ToHwnd(TWindowHandle handle) {
  return reinterpret_cast<HWND>(static_cast<intptr_t>(static_cast<int32_t>(handle & 0xFFFFFFFFu)));
}

inline TWindowHandle FromHwnd(HWND window) {
  return static_cast<TWindowHandle>(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window)));
}

// Runs a handler; an exception is kept for the loop instead of unwinding through USER32. The
// loop is woken to rethrow it: a message another program sends is handled inside GetMessage,
// which would otherwise go on waiting.
template <class F>
void Guarded(F&& handler) {
  try {
    handler();
  } catch (...) {
    if (TApplication::TPlatformState* st = State()) {
      if (!st->Failure) st->Failure = std::current_exception();
      Application.Terminate();
      PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
    }
  }
}
