// The Wayland backend's state, shared by its files: the connection (wayland_display.cpp), the
// outputs (wayland_outputs.cpp), the forms' surfaces (wayland_windows.cpp), the seat's input
// (wayland_input.cpp), the window services (wayland_services.cpp) and the renderer's EGL surfaces
// (wayland_gl_surface.cpp). Listeners only record what came and queue the forms' handlers;
// DispatchPending runs those one at a time, so a handler never runs inside libwayland's dispatch
// and nothing is delivered after the one that ended the loop. A form's window is a set of
// wl_surfaces: one xdg_toplevel for a window of its own, or one surface per output for the
// full-screen run (a layer surface on the overlay layer where the compositor offers the layer
// shell, a full-screen toplevel on that output otherwise). Wayland shows no program the windows of
// another, so the window services know only these. A surface's buffer has the screen's own
// pixels: its size times the scale the compositor prefers for it (in 120ths, with a viewport
// that shows it at the surface's size) where it offers fractional scales, otherwise times the
// largest integer scale of the outputs it is on.
#pragma once

#include <EGL/egl.h>
#include <wayland-client.h>
#include <wayland-egl.h>
#include <xkbcommon/xkbcommon-compose.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "forms_backend.h"

struct xdg_wm_base;
struct xdg_surface;
struct xdg_toplevel;
struct zxdg_output_manager_v1;
struct zxdg_output_v1;
struct zwlr_layer_shell_v1;
struct zwlr_layer_surface_v1;
struct wp_viewporter;
struct wp_viewport;
struct wp_fractional_scale_manager_v1;
struct wp_fractional_scale_v1;

class TWaylandState;

// A fractional scale's denominator: the compositor's preferred scales come in 120ths.
constexpr int WlScaleDenominator = 120;

// A length of the surface in the buffer's pixels at scale (in 120ths), rounded half away from
// zero as the compositor rounds it.
inline int WlScaledLength(int length, int scale) {
  const long long scaled = static_cast<long long>(length) * scale;
  const long long half = WlScaleDenominator / 2;
  return static_cast<int>((scaled >= 0 ? scaled + half : scaled - half) / WlScaleDenominator);
}

// A position on a surface in surface units, as pointer events give it, in the pixels of its buffer
// at scale (in 120ths): the pixel it falls in, from the surface's top-left corner. The form counts
// the pointer in these, the view's own pixels, so that the camera turns by the same angle and the
// mouse tolerance spans the same part of the screen at every scale, as on X11 and Windows.
inline TPoint WlBufferPoint(double x, double y, int scale) {
  auto pixel = [scale](double position) {
    const double scaled = std::floor(position * scale / WlScaleDenominator);
    return static_cast<int32_t>(std::clamp(scaled, -2147483648.0, 2147483647.0));
  };
  return TPoint{pixel(x), pixel(y)};
}

// Whether XDG_CURRENT_DESKTOP (a colon-separated list; nullptr when unset) names KDE Plasma, whose
// desktop window takes the background layer.
inline bool OnPlasma(const char* currentDesktop) {
  const std::string list = std::string(":") + (currentDesktop ? currentDesktop : "") + ":";
  return list.find(":KDE:") != std::string::npos;
}

// The round trips the backend waits at most for the compositor to answer (every output described
// at start-up, a new toplevel's first configure); a compositor answers in one or two.
constexpr int WlAnswerRoundTrips = 4;

// One output as the compositor describes it. The logical rectangle (compositor space, what the
// surfaces on it are sized in) comes from xdg-output where the compositor has it, otherwise from
// the output's position and current mode divided by its scale.
struct TWlOutput {
  TWaylandState* State = nullptr;
  uint32_t Name = 0;  // the registry's name of the global
  wl_output* Output = nullptr;
  zxdg_output_v1* XdgOutput = nullptr;
  int GeometryX = 0, GeometryY = 0;
  int ModeWidth = 0, ModeHeight = 0;
  int RefreshMilliHz = 0;
  int Scale = 1;
  int LogicalX = 0, LogicalY = 0, LogicalWidth = 0, LogicalHeight = 0;
  bool LogicalPositionKnown = false, LogicalSizeKnown = false;
  bool WlDone = false;   // wl_output.done came (or the version has none and a mode came)
  bool XdgDone = false;  // xdg_output's description came
  bool Described = false;
  bool Refused = false;  // the compositor closed our surface on it: none is made again

  TScreenRect Rect() const;
};

// One wl_surface of a form's window with its role and its EGL drawable.
struct TWlDrawable {
  TWaylandState* State = nullptr;
  uint64_t Id = 0;
  TWindowHandle Window = 0;
  uint32_t OutputName = 0;  // the output a full-screen surface covers; 0 for a toplevel
  wl_surface* Surface = nullptr;
  xdg_surface* XdgSurface = nullptr;
  xdg_toplevel* Toplevel = nullptr;
  zwlr_layer_surface_v1* Layer = nullptr;
  // Where the compositor offers both: the scale it prefers for the surface, and the viewport that
  // shows a buffer of that scale at the surface's size.
  wp_fractional_scale_v1* FractionalScale = nullptr;
  wp_viewport* Viewport = nullptr;
  wl_egl_window* EglWindow = nullptr;
  EGLSurface EglSurface = EGL_NO_SURFACE;
  wl_callback* Frame = nullptr;  // the frame callback of the last frame presented, until it comes
  double FrameAskedAt = 0;       // when that frame was presented, MonotonicSeconds
  int SurfaceWidth = 0, SurfaceHeight = 0;  // compositor space, as configured
  // The buffer: the surface's size times its scale, in the screen's own pixels (a scaled output
  // shows the scene and the clock sharp, not stretched).
  int Width = 0, Height = 0;
  int Scale = 1;  // the surface's buffer scale, which stays 1 with a viewport
  // The buffer's pixels to a unit of the surface, in 120ths: the buffer scale's, or the
  // compositor's preferred scale with a viewport.
  int Scale120 = WlScaleDenominator;
  int PreferredScale = 0;                   // in 120ths, 0 until the compositor says
  int PendingWidth = 0, PendingHeight = 0;  // the toplevel's configure, applied by xdg_surface's
  bool Configured = false;
  std::vector<uint32_t> ShownOn;  // the outputs a toplevel is on, which set its scale
};

struct TWlWindow : TForm::TPlatformWindow {
  TForm* Form = nullptr;
  TFormDesign Design;
  bool Span = false;
  bool Shown = false;
  std::string Title;  // UTF-8
  std::vector<std::unique_ptr<TWlDrawable>> Drawables;
};

// EGL on the compositor's display: one context for every drawable.
struct TWlEgl {
  bool Tried = false;
  std::string Error;  // why there is no context, once tried
  EGLDisplay Display = EGL_NO_DISPLAY;
  EGLConfig Config = nullptr;
  EGLContext Context = EGL_NO_CONTEXT;
  bool Surfaceless = false;  // the context can be current without a drawable
};

class TWaylandState : public TApplication::TPlatformState {
 public:
  ~TWaylandState() override;
  // Connects and learns the globals and the outputs; false and the reason in error otherwise.
  bool Open(std::string& error);

  void Initialize(const std::string& title) override;
  void SetTitle(const std::string& title) override;
  void Shutdown() override;
  bool DispatchPending() override;
  int ConnectionFd() override;
  bool BeforeSleep() override;
  void AfterSleep(bool readable) override;
  std::unique_ptr<TForm::TPlatformWindow> CreateWindow(TForm& form,
                                                       const TFormDesign& design) override;
  void ShowWindow(TForm::TPlatformWindow& window, const TFormDesign& design, bool span, int& width,
                  int& height) override;
  void HideWindow(TForm::TPlatformWindow& window) override;
  void SetWindowTitle(TForm::TPlatformWindow& window, const std::string& cp1251) override;
  void DestroyWindow(TForm::TPlatformWindow& window) override;
  TWindowHandle FindWindowByTitle(const std::string& title) override;
  void RequestWindowClose(TWindowHandle window) override;
  bool WindowIsVisible(TWindowHandle window) override;
  bool WindowExists(TWindowHandle window) override;
  bool WindowIsSeen(TWindowHandle window) override;
  bool ForeignWindowsReachable(std::string& why) override;
  TPoint CursorPos() override;
  TWindowHandle RootWindowHandle() override;
  void WatchWindowSize(TWindowHandle window, std::function<void(int, int)> onResize) override;
  std::vector<TScreenRect> MonitorRects() override;
  double DisplayRefreshRate() override;
  bool OpenGLAvailable(std::string& error) override;
  std::unique_ptr<TGLSurface> CreateGLSurface(TWindowHandle window, std::string& error) override;

  // ---- shared with the listeners and the GL surface ----
  // wayland_outputs.cpp: an output the registry announced, bound as proxy; its logical rectangle
  // asked of xdg-output where the compositor has it; the proxies given back.
  void AddOutput(uint32_t name, wl_output* proxy);
  void AddOutputDescription(TWlOutput& output);
  void ReleaseOutput(TWlOutput& output);
  // wayland_input.cpp: the xkbcommon context with the locale's compose state, and the seat's
  // keyboard and pointer followed as its capabilities change, and all three given back.
  void OpenKeyboardContext();
  void WatchSeat();
  void ReleaseSeat();
  TWlWindow* WindowOf(TWindowHandle handle) const;
  // The drawable of that id in any window; nullptr for 0 or one that is gone.
  TWlDrawable* DrawableById(uint64_t id) const;
  TWlOutput* OutputOf(uint32_t name) const;
  // The outputs that are described, first announced first.
  std::vector<TWlOutput*> DescribedOutputs() const;
  // The bounding box of the described outputs' rectangles.
  TScreenRect Bounds() const;
  // Runs action from DispatchPending, one handler per call, as a message loop dispatches.
  void Defer(std::function<void()> action) { Deferred.push_back(std::move(action)); }
  // Reports the end of the connection on stderr and ends the process with status 1.
  [[noreturn]] void LostConnection();
  void OutputChanged(TWlOutput& output);
  void RemoveOutput(uint32_t name);
  // The surface of a toplevel or layer surface came or changed size.
  void DrawableConfigured(TWlDrawable& drawable, int width, int height);
  // Sizes the drawable's buffer for its surface's size and its outputs' scale.
  void FitBuffer(TWlDrawable& drawable);
  void DrawableClosed(TWlDrawable& drawable);
  // The position of the pointer over drawable, given in the drawable's pixels, in the form's
  // client area: a toplevel's client area is its buffer; a full-screen surface's view starts at
  // its output's corner in the window (in compositor space), its pixels counted from there.
  TPoint ClientPoint(const TWlDrawable& drawable, TPoint pixel) const;

  // EGL: the display and context, made once; false and the reason otherwise.
  bool InitEgl(std::string& error);
  // The drawable's wl_egl_window and EGL window surface, made at its first configure.
  void MakeEglSurface(TWlDrawable& drawable);
  void DropEglSurface(TWlDrawable& drawable);
  void ReleaseEgl();

  wl_display* Display = nullptr;
  wl_registry* Registry = nullptr;
  wl_compositor* Compositor = nullptr;
  wl_seat* Seat = nullptr;
  xdg_wm_base* WmBase = nullptr;
  zxdg_output_manager_v1* OutputManager = nullptr;
  zwlr_layer_shell_v1* LayerShell = nullptr;
  uint32_t LayerShellVersion = 0;
  wp_viewporter* Viewporter = nullptr;
  wp_fractional_scale_manager_v1* FractionalScaleManager = nullptr;
  std::vector<std::unique_ptr<TWlOutput>> Outputs;

  wl_keyboard* Keyboard = nullptr;
  wl_pointer* Pointer = nullptr;
  xkb_context* Xkb = nullptr;
  xkb_keymap* Keymap = nullptr;
  xkb_state* KeyState = nullptr;
  xkb_compose_table* ComposeTable = nullptr;
  xkb_compose_state* Compose = nullptr;
  TWindowHandle KeyboardFocus = 0;
  uint64_t PointerDrawable = 0;  // the drawable under the pointer, 0 when none of ours
  uint8_t ButtonsHeld = 0;       // ssLeft, ssRight, ssMiddle
  bool PointerSeen = false;
  // Where the pointer was first seen and where it was last, in compositor space with the position
  // on the surface under it in that surface's pixels.
  TPoint PointerOrigin{};
  TPoint PointerPos{};
  TPoint PointerPixel{};  // the pointer's last position on PointerDrawable, in its pixels

  std::map<TWindowHandle, TWlWindow*> Windows;
  TWindowHandle NextHandle = 1;
  uint64_t NextDrawableId = 1;
  std::deque<std::function<void()>> Deferred;
  bool DisplayChanged = false;
  bool ReadPrepared = false;
  TWlEgl Egl;

 private:
  // wayland_windows.cpp: the surfaces of a form's window.
  void SyncSpanDrawables(TWlWindow& window);
  std::unique_ptr<TWlDrawable> MakeDrawable(TWlWindow& window, TWlOutput* output);
  void DestroyDrawable(TWlDrawable& drawable);
  void DropDrawables(TWlWindow& window);
};
