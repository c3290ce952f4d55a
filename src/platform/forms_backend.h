// The display backends behind the form framework on Linux: X11 (x11/) and Wayland (wayland/),
// chosen once, as the application connects. The framework's objects (forms_linux.cpp) keep what
// every backend shares (the loop's timers and termination signals, forms' sizes and shown state)
// and ask the backend everything else. One thread, as the framework; nothing is locked.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "forms.h"

// A form's window on a backend; the backend's own window type derives from it.
struct TForm::TPlatformWindow {
  virtual ~TPlatformWindow() = default;
  TWindowHandle Handle = 0;
};

// The connection to one display server: the backend's state, its windows and its services.
struct TApplication::TPlatformState {
  virtual ~TPlatformState() = default;

  // ---- the application ----
  // Makes the application's own window titled title where the platform has such windows.
  virtual void Initialize(const std::string& title) = 0;
  virtual void SetTitle(const std::string& title) = 0;
  // Gives back the application's window and what the connection holds; the connection itself
  // stays open until the process ends.
  virtual void Shutdown() = 0;

  // ---- the loop ----
  // Dispatches one event, or a batch the server sent together, that has already arrived; false
  // when none waits.
  virtual bool DispatchPending() = 0;
  // The descriptor that becomes readable when the server sends something.
  virtual int ConnectionFd() = 0;
  // Before the loop sleeps on ConnectionFd: sends what is queued for the server. False when
  // events came in meanwhile, which the loop then dispatches instead of sleeping.
  virtual bool BeforeSleep() = 0;
  // After the sleep: readable tells whether ConnectionFd became readable. A lost connection
  // ends the process with status 1 and one line on stderr, on every backend.
  virtual void AfterSleep(bool readable) = 0;

  // ---- forms ----
  // Makes form's window (unmapped, at the design's bounds); nullptr when it cannot be made.
  // Events on it reach form's handlers until DestroyWindow.
  virtual std::unique_ptr<TForm::TPlatformWindow> CreateWindow(TForm& form,
                                                               const TFormDesign& design) = 0;
  // Maps the window as TForm::Show describes (span: over every monitor, above everything),
  // gives it the keyboard, and sets width and height to its client size (they hold the current
  // one on entry).
  virtual void ShowWindow(TForm::TPlatformWindow& window, const TFormDesign& design, bool span,
                          int& width, int& height) = 0;
  virtual void HideWindow(TForm::TPlatformWindow& window) = 0;
  // The window's title, from a caption in code page 1251.
  virtual void SetWindowTitle(TForm::TPlatformWindow& window, const std::string& cp1251) = 0;
  virtual void DestroyWindow(TForm::TPlatformWindow& window) = 0;

  // ---- window services (see forms.h) ----
  virtual TWindowHandle FindWindowByTitle(const std::string& title) = 0;
  virtual void RequestWindowClose(TWindowHandle window) = 0;
  virtual bool WindowIsVisible(TWindowHandle window) = 0;
  virtual bool WindowExists(TWindowHandle window) = 0;
  virtual bool WindowIsSeen(TWindowHandle window) {
    (void)window;
    return true;
  }
  virtual bool ViewCovered(TWindowHandle window, const TScreenRect& area) {
    (void)window;
    (void)area;
    return false;
  }
  virtual bool SightNeedsPolling(TWindowHandle window) {
    (void)window;
    return false;
  }
  virtual bool ForeignWindowsReachable(std::string& why) = 0;
  virtual TPoint CursorPos() = 0;
  virtual TWindowHandle RootWindowHandle() = 0;
  virtual void WatchWindowSize(TWindowHandle window, std::function<void(int, int)> onResize) = 0;
  virtual std::vector<TScreenRect> MonitorRects() = 0;
  virtual double DisplayRefreshRate() = 0;
  virtual bool OpenGLAvailable(std::string& error) = 0;
  virtual std::unique_ptr<TGLSurface> CreateGLSurface(TWindowHandle window, std::string& error) = 0;
};

// The backends: each opens its connection, or returns nullptr with the reason in error. They
// call the handlers of forms they made through forms.h's public interface only. needLayerShell:
// a compositor without the layer shell is refused too (the live wallpaper's).
std::unique_ptr<TApplication::TPlatformState> ConnectX11(std::string& error);
std::unique_ptr<TApplication::TPlatformState> ConnectWayland(std::string& error,
                                                             bool needLayerShell = false);

// The display's refresh rate is not waited for when the user turned the wait off (vblank_mode=0,
// the OpenGL driver's own switch); shared by the backends' DisplayRefreshRate.
bool UserTurnedVsyncOff();

// Seconds of the monotonic clock the loop's timers keep, for the backends' own waits (the
// frame callbacks' patience, the DPMS poll).
double MonotonicSeconds();
