// frmConfig on Windows: a fixed dialog window with two check boxes and the OK (default) and
// Cancel buttons at the design's pixel positions, scaled for its monitor's DPI (and again when
// that changes) and drawn with visual styles (the manifest asks for common controls 6). A third
// box, "Live wallpaper", below them, starts the wallpaper at every logon (the user's Run key)
// and now, or stops it and takes that start away.
// IsDialogMessage gives the keyboard its dialog meaning: Tab in design order, Enter presses the
// default button, Escape Cancel.
#include "windows_api.h"
// The common controls' header needs the Windows types before it.
#include <commctrl.h>

#include <exception>
#include <string>

#include "app_icon.h"
#include "fConfig_dialog.h"
#include "forms.h"
#include "run_mode.h"
#include "settings_dialog.h"
#include "win32_dpi.h"

namespace {

const wchar_t* const DialogClass = L"TundrelSettings";

enum : int { IdShowTime = 101, IdShowTrails = 102, IdWallpaper = 103 };

// The user's programs started at logon; the wallpaper's value there is named as its instance.
const wchar_t* const RunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// A fixed dialog frame.
constexpr DWORD DialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
constexpr DWORD DialogExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

struct TControlDesign {
  int Id;
  const wchar_t* ClassName;
  const wchar_t* Caption;
  DWORD Style;
};

// In tab order: cbShowTime, cbShowTrails, OK, Cancel, as SettingsDialogLayout places them.
const TControlDesign Controls[] = {
    {IdShowTime, L"BUTTON", L"Show time", BS_AUTOCHECKBOX},
    {IdShowTrails, L"BUTTON", L"Show trails", BS_AUTOCHECKBOX},
    {IDOK, L"BUTTON", L"OK", BS_DEFPUSHBUTTON},
    {IDCANCEL, L"BUTTON", L"Cancel", BS_PUSHBUTTON},
};

class TWin32ConfigView : public TConfigView {
 public:
  HWND Window = nullptr;
  HFONT Font = nullptr;
  HWND LastFocus = nullptr;  // given back when the dialog is activated again
  std::exception_ptr Failure;

  bool IsChecked(TConfigCheckBox box) const override {
    return SendMessageW(Box(box), BM_GETCHECK, 0, 0) == BST_CHECKED;
  }
  void SetChecked(TConfigCheckBox box, bool checked) override {
    SendMessageW(Box(box), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  void Close() override {
    if (Window) DestroyWindow(Window);
  }
  void ShowError(const std::string& caption, const std::string& text) override {
    MessageBoxA(Window, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
  }

 private:
  HWND Box(TConfigCheckBox box) const {
    return GetDlgItem(Window, box == TConfigCheckBox::cbShowTime ? IdShowTime : IdShowTrails);
  }
};

struct TDialog {
  TWin32ConfigView View;
  TfrmConfig Form;
  std::string Title;
  explicit TDialog(const std::string& title) : Form(View, title), Title(title) {}
};

std::wstring WallpaperValueName() {
  const std::string name = WallpaperName;
  return std::wstring(name.begin(), name.end());
}

bool WallpaperStartsAtLogon() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, RunKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return false;
  const bool found = RegQueryValueExW(key, WallpaperValueName().c_str(), nullptr, nullptr, nullptr,
                                      nullptr) == ERROR_SUCCESS;
  RegCloseKey(key);
  return found;
}

// The wallpaper's command line: this program, quoted, with /w; empty when its path is too long.
std::wstring WallpaperCommand() {
  wchar_t path[MAX_PATH + 1] = L"";
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) return std::wstring();
  return L"\"" + std::wstring(path) + L"\" /w";
}

// The wallpaper's start at logon as the box says when OK is pressed: the Run value holds its
// command line, or is removed. False, with the error shown, when that fails.
bool WriteWallpaperStart(TDialog& dialog, bool wanted) {
  const std::wstring command = WallpaperCommand();
  HKEY key = nullptr;
  LONG result = RegCreateKeyExW(HKEY_CURRENT_USER, RunKey, 0, nullptr, 0,
                                KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, &key, nullptr);
  if (result == ERROR_SUCCESS) {
    if (!wanted) {
      result = RegDeleteValueW(key, WallpaperValueName().c_str());
      if (result == ERROR_FILE_NOT_FOUND) result = ERROR_SUCCESS;
    } else if (command.empty()) {
      result = ERROR_FILENAME_EXCED_RANGE;
    } else {
      result = RegSetValueExW(key, WallpaperValueName().c_str(), 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(command.c_str()),
                              static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    }
    RegCloseKey(key);
  }
  if (result == ERROR_SUCCESS) return true;
  dialog.View.ShowError(dialog.Title,
                        std::string(wanted ? "Failed to set data for '" : "Failed to delete '") +
                            WallpaperName + "'");
  return false;
}

// Starts the wallpaper now (a second one ends at once where one runs), or asks the running one
// to end.
void StartOrStopWallpaper(bool wanted) {
  if (!wanted) {
    StopInstance(WallpaperName);
    return;
  }
  std::wstring command = WallpaperCommand();
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!command.empty() && CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                         nullptr, &startup, &process)) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
}

template <class F>
void Guarded(TWin32ConfigView& view, F&& handler) {
  try {
    handler();
  } catch (...) {
    if (!view.Failure) view.Failure = std::current_exception();
    view.Close();
  }
}

// The dialog's window size at dpi: the frame around its client area.
SIZE FrameSize(int dpi) {
  const TSettingsDialogLayout layout = SettingsDialogLayout(dpi);
  RECT frame = {0, 0, layout.ClientWidth, layout.ClientHeight};
  AdjustWindowRectForDpi(frame, DialogStyle, DialogExStyle, dpi);
  return SIZE{frame.right - frame.left, frame.bottom - frame.top};
}

// Lays the dialog out at dpi with its top-left corner at (left, top): each control at its
// rectangle for the density in the dialog font for it, and the frame around them.
void LayOut(TWin32ConfigView& view, int dpi, int left, int top) {
  const TSettingsDialogLayout layout = SettingsDialogLayout(dpi);
  HFONT font = CreateMessageFont(dpi);
  for (size_t i = 0; i < sizeof Controls / sizeof Controls[0]; ++i) {
    HWND child = GetDlgItem(view.Window, Controls[i].Id);
    const TScreenRect& r = layout.Controls[i];
    SetWindowPos(child, nullptr, r.Left, r.Top, r.Width, r.Height, SWP_NOZORDER | SWP_NOACTIVATE);
    if (font) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
  const TScreenRect& w = layout.WallpaperBox;
  HWND wallpaper = GetDlgItem(view.Window, IdWallpaper);
  SetWindowPos(wallpaper, nullptr, w.Left, w.Top, w.Width, w.Height, SWP_NOZORDER | SWP_NOACTIVATE);
  if (font) SendMessageW(wallpaper, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  // The controls have let go of the old font.
  if (font) {
    if (view.Font) DeleteObject(view.Font);
    view.Font = font;
  }
  const SIZE frame = FrameSize(dpi);
  SetWindowPos(view.Window, nullptr, left, top, frame.cx, frame.cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const CREATESTRUCTW* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    return DefWindowProcW(window, message, wParam, lParam);
  }
  TDialog* dialog = reinterpret_cast<TDialog*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!dialog) return DefWindowProcW(window, message, wParam, lParam);

  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) != BN_CLICKED) break;
      switch (LOWORD(wParam)) {
        case IdShowTime:
          Guarded(dialog->View, [&] { dialog->Form.cbShowTimeClick(); });
          return 0;
        case IdShowTrails:
          Guarded(dialog->View, [&] { dialog->Form.cbShowTrailsClick(); });
          return 0;
        case IDOK:
          Guarded(dialog->View, [&] {
            const bool wallpaper = IsDlgButtonChecked(window, IdWallpaper) == BST_CHECKED;
            if (!WriteWallpaperStart(*dialog, wallpaper)) return;
            dialog->Form.OKClick();
            // Once the settings it reads are saved, which closed the dialog.
            if (!dialog->View.Window) StartOrStopWallpaper(wallpaper);
          });
          return 0;
        case IDCANCEL:
          Guarded(dialog->View, [&] { dialog->Form.CancelClick(); });
          return 0;
        default:
          break;
      }
      break;
    case DM_GETDEFID:
      // Enter presses the focused push button, else OK, as in the platform's dialogs.
      return MAKELONG(GetFocus() == GetDlgItem(window, IDCANCEL) ? IDCANCEL : IDOK, DC_HASDEFID);
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        dialog->View.LastFocus = GetFocus();
      } else if (dialog->View.LastFocus && IsWindow(dialog->View.LastFocus)) {
        SetFocus(dialog->View.LastFocus);
        return 0;
      }
      break;
    case WM_CTLCOLORSTATIC:
      // Check boxes draw their background through this message: the dialog face colour.
      SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    case DpiScaledSizeMessage:
      // Before a move to a monitor of another density the system asks the size there: the exact
      // frame, so the rectangle it then suggests is the one the layout takes.
      *reinterpret_cast<SIZE*>(lParam) = FrameSize(static_cast<int>(wParam));
      return TRUE;
    case DpiChangedMessage: {
      // Moved to a monitor of another density, or its monitor's scale changed: laid out afresh
      // at the new density, where the system suggests.
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      LayOut(dialog->View, HIWORD(wParam), suggested->left, suggested->top);
      SetWindowIcons(window);
      return 0;
    }
    case WM_CLOSE:
      // The close box closes without saving, as Cancel does.
      Guarded(dialog->View, [&] { dialog->Form.CancelClick(); });
      return 0;
    case WM_DESTROY:
      dialog->View.Window = nullptr;
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool CreateDialogWindow(TDialog& dialog, HINSTANCE instance) {
  WNDCLASSEXW cls = {};
  cls.cbSize = sizeof cls;
  cls.lpfnWndProc = DialogProc;
  cls.hInstance = instance;
  cls.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  cls.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  cls.lpszClassName = DialogClass;
  if (!RegisterClassExW(&cls) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;

  // Centred in the work area, at the density of the monitor that holds it.
  RECT work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const SIZE frame = FrameSize(Win32ViewPixelsPerInch(DpiFacts(nullptr, work)));
  const int left = work.left + (work.right - work.left - frame.cx) / 2;
  const int top = work.top + (work.bottom - work.top - frame.cy) / 2;

  HWND window = CreateWindowExW(DialogExStyle, DialogClass, L"Settings", DialogStyle, left, top,
                                frame.cx, frame.cy, nullptr, nullptr, instance, &dialog);
  if (!window) return false;
  SetWindowIcons(window);
  dialog.View.Window = window;
  for (const TControlDesign& control : Controls) {
    HWND child = CreateWindowExW(0, control.ClassName, control.Caption,
                                 WS_CHILD | WS_VISIBLE | WS_TABSTOP | control.Style, 0, 0, 0, 0,
                                 window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.Id)),
                                 instance, nullptr);
    if (!child) return false;
  }
  // After Show trails in the tab order.
  HWND wallpaper = CreateWindowExW(
      0, L"BUTTON", L"Live wallpaper", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 0, 0,
      0, 0, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IdWallpaper)), instance, nullptr);
  if (!wallpaper) return false;
  SetWindowPos(wallpaper, GetDlgItem(window, IdShowTrails), 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  CheckDlgButton(window, IdWallpaper, WallpaperStartsAtLogon() ? BST_CHECKED : BST_UNCHECKED);
  // At the density of the window as it came out, which the system may have put elsewhere.
  RECT client = {};
  GetClientRect(window, &client);
  LayOut(dialog.View, ClientAreaPixelsPerInch(window, client), left, top);
  return true;
}

}  // namespace

int RunSettingsDialog(const std::string& applicationTitle) {
  // The application window, titled for other instances to find, is served by this loop.
  Application.Initialize();
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  HINSTANCE instance = GetModuleHandleW(nullptr);
  TDialog dialog(applicationTitle);
  if (!CreateDialogWindow(dialog, instance)) {
    if (dialog.View.Window) DestroyWindow(dialog.View.Window);
    if (dialog.View.Font) DeleteObject(dialog.View.Font);
    return 1;
  }
  HWND window = dialog.View.Window;
  dialog.Form.FormCreate();

  ShowWindow(window, SW_SHOWNORMAL);
  SetForegroundWindow(window);
  SetFocus(GetDlgItem(window, IdShowTime));
  UpdateWindow(window);

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (!dialog.View.Window || !IsDialogMessageW(dialog.View.Window, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    // Another instance asked this one to close (through the application window).
    if (Application.Terminated() && dialog.View.Window) dialog.View.Close();
  }
  if (dialog.View.Font) DeleteObject(dialog.View.Font);
  if (dialog.View.Failure) std::rethrow_exception(dialog.View.Failure);
  return 0;
}
