// The live wallpaper on Windows: the drawing window lies inside Explorer's desktop, behind the
// icons, and is attached again when Explorer restarts; the system's window events say when the
// foreground window covers a monitor. Only one wallpaper form per process. Private to this folder.
#pragma once

#include <memory>
#include <string>

#include "forms.h"
#include "windows_api.h"

class TGLSurface;
class TWglWindowSurface;

// Where the drawing window goes among the desktop's windows: a child of Parent, right below
// After in the Z order (HWND_TOP: above all of Parent's children).
struct TDesktopPlace {
  HWND Parent = nullptr;
  HWND After = HWND_TOP;
};
// Asks Progman for the window that shows the wallpaper, then finds the place: the WorkerW that
// follows the top-level window holding the icons (SHELLDLL_DefView), or Progman itself, below
// the icons, where they are its child (Windows 11 24H2, and a desktop without the WorkerW).
// Parent is null where no desktop shell runs.
TDesktopPlace FindDesktopPlace();

// A wallpaper form's part in Explorer's desktop. The form's own window is a hidden top-level
// one, which outlives Explorer and receives its TaskbarCreated; the OpenGL context moves to each
// new drawing window, so the renderer and the world go on after a restart.
class TWallpaper {
 public:
  TWallpaper(HWND formWindow, TForm* form);
  ~TWallpaper();
  TWallpaper(const TWallpaper&) = delete;
  TWallpaper& operator=(const TWallpaper&) = delete;

  // The renderer's surface on a drawing window in the desktop; throws std::runtime_error when
  // no desktop shell runs (nowhere to lie), nullptr and error when no OpenGL context can be had.
  std::unique_ptr<TGLSurface> CreateSurface(std::string& error);
  // Covers the virtual screen again: after the monitors changed.
  void Place();
  // Whether the drawing window is in the desktop (not gone with an Explorer that ended).
  bool Attached() const;
  // Whether the foreground window, or a full-screen program or presentation, covers the monitor.
  bool Covers(const TScreenRect& monitor) const;
  // A message of the form window that concerns the wallpaper (TaskbarCreated, the retry timer, a
  // new work area): true when nothing else need handle it. Throws std::runtime_error when
  // Explorer restarted twice within GiveUpSeconds, or came back without a desktop for the
  // retries' time.
  bool Take(UINT message, WPARAM wParam);
  // The drawing window's surface is going: the window goes with it.
  void SurfaceGone();

  // A second restart of Explorer this soon after the first ends the wallpaper.
  static constexpr unsigned GiveUpSeconds = 30;

 private:
  struct TForeground {
    TScreenRect Rect;
    bool Maximized = false;
    bool FullScreen = false;    // the system says a full-screen program runs in it
    bool Presentation = false;  // the system's presentation mode: every monitor
    bool operator==(const TForeground& other) const;
  };
  static void CALLBACK WinEvent(HWINEVENTHOOK hook, DWORD event, HWND window, LONG object,
                                LONG child, DWORD thread, DWORD time);
  bool Attach(std::string& error);
  void FollowForegroundMoves();
  void ForegroundChanged(bool newWindow);
  TForeground ReadForeground() const;

  HWND FormWindow;
  TForm* Form;
  HWND Parent = nullptr;
  HWND Window = nullptr;                 // the drawing window
  TWglWindowSurface* Surface = nullptr;  // owned by the surface CreateSurface gave
  bool EverAttached = false;
  unsigned Restarts = 0;
  DWORD LastRestart = 0;  // GetTickCount, milliseconds
  unsigned Retries = 0;   // attempts left to attach after a restart
  TForeground Foreground;
  HWINEVENTHOOK Hooks[3] = {};  // foreground, minimising, the foreground window's moves
  using TQueryNotificationState = HRESULT(WINAPI*)(int*);
  TQueryNotificationState QueryNotificationState = nullptr;
};
