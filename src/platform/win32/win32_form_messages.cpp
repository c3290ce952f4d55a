// The form framework's window procedures over USER32: the messages of a form window become the
// form's events, the application window's timers fire the framework's timers and the watches of
// other programs' windows, and the renderer's child window is left to draw in peace.
#include <cstdint>

#include "app_icon.h"
#include "win32_dpi.h"
#include "win32_form_windows.h"

namespace {

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

// Answers a paint request without drawing: the frame timer redraws the window.
LRESULT AnswerPaint(HWND window) {
  PAINTSTRUCT paint;
  BeginPaint(window, &paint);
  EndPaint(window, &paint);
  return 0;
}

}  // namespace

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
    case WM_PAINT:
      return AnswerPaint(window);
    case WM_DISPLAYCHANGE:
    case DpiChangedMessage:
      // A monitor came or went, or changed its mode or its scale. The window is left where it
      // is rather than moved to the rectangle the system suggests for a new density: the form
      // covers its monitors again itself, and each view's text is drawn at its monitor's
      // density from the next frame on.
      if (form->OnDisplayChange) Guarded([&] { form->OnDisplayChange(form); });
      if (message == DpiChangedMessage) SetWindowIcons(window);
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
      if (link->Wallpaper) {
        bool taken = false;
        Guarded([&] { taken = link->Wallpaper->Take(message, wParam); });
        if (taken) return 0;
      }
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
    case WM_PAINT:
      return AnswerPaint(window);
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}
