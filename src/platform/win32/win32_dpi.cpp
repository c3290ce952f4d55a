// The densities of monitors and windows: GetDpiForMonitor (shcore, Windows 8.1), GetDpiForWindow,
// the windows' awareness contexts, AdjustWindowRectExForDpi and SystemParametersInfoForDpi
// (user32, Windows 10 1607), each looked up once.
#include "win32_dpi.h"

namespace {

constexpr DWORD SearchSystem32 = 0x800;  // LOAD_LIBRARY_SEARCH_SYSTEM32, Windows 8 and later
constexpr UINT MonitorEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI
constexpr int PerMonitorAwareness = 2;   // DPI_AWARENESS_PER_MONITOR_AWARE, and for processes
                                         // PROCESS_PER_MONITOR_DPI_AWARE

// The calls of newer Windows; each is null where the system lacks it.
struct TDpiCalls {
  HRESULT(WINAPI* MonitorDpi)(HMONITOR, UINT, UINT*, UINT*) = nullptr;
  HRESULT(WINAPI* ProcessAwareness)(HANDLE, int*) = nullptr;
  UINT(WINAPI* WindowDpi)(HWND) = nullptr;
  void*(WINAPI* WindowContext)(HWND) = nullptr;
  void*(WINAPI* ThreadContext)() = nullptr;
  int(WINAPI* ContextAwareness)(void*) = nullptr;
  BOOL(WINAPI* AdjustForDpi)(RECT*, DWORD, BOOL, DWORD, UINT) = nullptr;
  BOOL(WINAPI* ParametersForDpi)(UINT, UINT, void*, UINT, UINT) = nullptr;
};

const TDpiCalls& DpiCalls() {
  static const TDpiCalls calls = [] {
    TDpiCalls found;
    // shcore.dll comes with Windows 8.1 and later, which all search System32 alone when asked;
    // kept loaded for the process's life.
    HMODULE shcore = LoadLibraryExW(L"shcore.dll", nullptr, SearchSystem32);
    LookupCall(shcore, "GetDpiForMonitor", found.MonitorDpi);
    LookupCall(shcore, "GetProcessDpiAwareness", found.ProcessAwareness);
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    LookupCall(user32, "GetDpiForWindow", found.WindowDpi);
    LookupCall(user32, "GetWindowDpiAwarenessContext", found.WindowContext);
    LookupCall(user32, "GetThreadDpiAwarenessContext", found.ThreadContext);
    LookupCall(user32, "GetAwarenessFromDpiAwarenessContext", found.ContextAwareness);
    LookupCall(user32, "AdjustWindowRectExForDpi", found.AdjustForDpi);
    LookupCall(user32, "SystemParametersInfoForDpi", found.ParametersForDpi);
    return found;
  }();
  return calls;
}

// Whether window (a window yet to be made by this thread when null) follows each monitor's
// density: its awareness context says so on Windows 10, the process's awareness on Windows 8.1.
bool PerMonitorAware(HWND window) {
  const TDpiCalls& calls = DpiCalls();
  if (calls.ContextAwareness && calls.WindowContext && calls.ThreadContext) {
    void* context = window ? calls.WindowContext(window) : calls.ThreadContext();
    return context && calls.ContextAwareness(context) == PerMonitorAwareness;
  }
  int awareness = 0;
  return calls.ProcessAwareness && SUCCEEDED(calls.ProcessAwareness(nullptr, &awareness)) &&
         awareness == PerMonitorAwareness;
}

}  // namespace

int SystemPixelsPerInch() {
  static const int ppi = [] {
    int read = 0;
    if (HDC screen = GetDC(nullptr)) {
      read = GetDeviceCaps(screen, LOGPIXELSY);
      ReleaseDC(nullptr, screen);
    }
    return read > 0 ? read : DesignPixelsPerInch;
  }();
  return ppi;
}

TWin32Dpi DpiFacts(HWND window, const RECT& area) {
  const TDpiCalls& calls = DpiCalls();
  TWin32Dpi dpi;
  dpi.PerMonitorAware = PerMonitorAware(window);
  UINT x = 0, y = 0;
  if (calls.MonitorDpi &&
      SUCCEEDED(calls.MonitorDpi(MonitorFromRect(&area, MONITOR_DEFAULTTONEAREST),
                                 MonitorEffectiveDpi, &x, &y)))
    dpi.Monitor = static_cast<int>(y);
  if (window && calls.WindowDpi) dpi.Window = static_cast<int>(calls.WindowDpi(window));
  dpi.System = SystemPixelsPerInch();
  return dpi;
}

int ClientAreaPixelsPerInch(HWND window, const RECT& area) {
  POINT origin = {0, 0};
  ClientToScreen(window, &origin);
  RECT screen = area;
  OffsetRect(&screen, origin.x, origin.y);
  return Win32ViewPixelsPerInch(DpiFacts(window, screen));
}

void AdjustWindowRectForDpi(RECT& rect, DWORD style, DWORD exStyle, int dpi) {
  const TDpiCalls& calls = DpiCalls();
  if (!calls.AdjustForDpi || !calls.AdjustForDpi(&rect, style, FALSE, exStyle, dpi))
    AdjustWindowRectEx(&rect, style, FALSE, exStyle);
}

HFONT CreateMessageFont(int dpi) {
  // NONCLIENTMETRICSW as Windows Vista made it, with the padded border after the fonts: the size
  // SystemParametersInfoForDpi takes. Older Windows take the size without it.
  struct {
    NONCLIENTMETRICSW Metrics;
    int PaddedBorderWidth;
  } metrics = {};
  const TDpiCalls& calls = DpiCalls();
  metrics.Metrics.cbSize = sizeof metrics;
  if (calls.ParametersForDpi &&
      calls.ParametersForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi))
    return CreateFontIndirectW(&metrics.Metrics.lfMessageFont);
  metrics.Metrics.cbSize = sizeof metrics.Metrics;
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics.Metrics, &metrics.Metrics, 0))
    return nullptr;
  // The system's metrics are for its own density.
  LOGFONTW font = metrics.Metrics.lfMessageFont;
  font.lfHeight = MulDiv(font.lfHeight, dpi, SystemPixelsPerInch());
  return CreateFontIndirectW(&font);
}
