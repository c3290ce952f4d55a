// Whether anyone can see a form window of ours on Windows, kept from what the system tells the
// window: its minimised state, the console display's power and the session's lock and connection.
// The notifications of newer Windows are looked up as the window asks for them.
#pragma once

#include "energy.h"
#include "windows_api.h"

class TWin32SightWatch {
 public:
  TWin32SightWatch() = default;
  ~TWin32SightWatch() { Stop(); }
  TWin32SightWatch(const TWin32SightWatch&) = delete;
  TWin32SightWatch& operator=(const TWin32SightWatch&) = delete;

  // Asks the system to tell window of the console display's power and of the session, where it
  // can: Windows XP knows only the session, and without wtsapi32.dll neither is told.
  void Start(HWND window);
  // Asks it no more; before the window is destroyed.
  void Stop();
  // A message of the window (WM_SIZE, WM_POWERBROADCAST, WM_WTSSESSION_CHANGE; others change
  // nothing): true when it changed whether the window is seen.
  bool Take(UINT message, WPARAM wParam, LPARAM lParam);
  bool Seen() const { return Win32WindowSeen(Sight); }

 private:
  HWND Window = nullptr;
  HANDLE PowerNotify = nullptr;
  bool SessionNotify = false;
  TWin32Sight Sight;
};
