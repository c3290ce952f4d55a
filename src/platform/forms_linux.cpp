// The form framework on Linux over the display backend chosen as the application connects:
// Wayland when WAYLAND_DISPLAY names a compositor and the program draws into windows of its own,
// X11 otherwise (XScreenSaver's windows are X windows). Here are the loop with its timer queue,
// SIGTERM/SIGINT through a self-pipe, and the forms' shared state; every question about windows
// goes to the backend. Connecting sets the character type of the user's locale (LC_CTYPE only),
// for the characters keys type.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <locale>

#include "energy.h"
#include "forms.h"
#include "forms_backend.h"
#include "gl_surface.h"
#include "single_instance.h"

TApplication Application;

namespace {

int SignalRead = -1;
int SignalWrite = -1;
// The socket of the instance the program claimed, whose connections ask it to end; -1 none.
int InstanceSocket = -1;

void ForwardSignal(int) {
  const int saved = errno;
  const char byte = 1;
  if (write(SignalWrite, &byte, 1) < 0) {
    // The pipe is full: a close is already pending.
  }
  errno = saved;
}

void InstallSignals() {
  if (SignalRead >= 0) return;
  int fds[2];
  if (pipe(fds) != 0) return;
  for (int fd : fds) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  SignalRead = fds[0];
  SignalWrite = fds[1];
  struct sigaction action {};
  action.sa_handler = ForwardSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

// True when a termination signal came since the last call.
bool TakeSignals() {
  if (SignalRead < 0) return false;
  bool any = false;
  char buffer[16];
  while (read(SignalRead, buffer, sizeof buffer) > 0) any = true;
  return any;
}

void RemoveSignals() {
  if (SignalRead < 0) return;
  signal(SIGTERM, SIG_DFL);
  signal(SIGINT, SIG_DFL);
  close(SignalRead);
  close(SignalWrite);
  SignalRead = SignalWrite = -1;
}

TApplication::TPlatformState* Backend() {
  return Application.Platform();
}

int64_t MonotonicMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

double MonotonicSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

bool UserTurnedVsyncOff() {
  const char* vblank = std::getenv("vblank_mode");
  return vblank && std::strcmp(vblank, "0") == 0;
}

// ---- TForm ----

TForm::TForm(const TFormDesign& design)
    : Design(design), Width(design.ClientWidth), Height(design.ClientHeight) {}

TForm::~TForm() {
  if (Wnd)
    if (TApplication::TPlatformState* backend = Backend()) backend->DestroyWindow(*Wnd);
}

bool TForm::HandleAllocated() const {
  return Wnd != nullptr;
}

TWindowHandle TForm::Handle() {
  if (Wnd) return Wnd->Handle;
  TApplication::TPlatformState* backend = Backend();
  if (!backend) return 0;
  Wnd = backend->CreateWindow(*this, Design);
  return Wnd ? Wnd->Handle : 0;
}

void TForm::Show() {
  if (Handle() == 0) return;
  int width = Width, height = Height;
  Shown = true;
  Backend()->ShowWindow(*Wnd, Design, Design.Maximized && SpanMonitors, width, height);
  ClientResized(width, height);
}

void TForm::Hide() {
  Shown = false;
  if (Wnd) Backend()->HideWindow(*Wnd);
}

void TForm::Close() {
  // The main form stays on screen until the application destroys it on the way out.
  if (Application.MainForm() == this)
    Application.Terminate();
  else
    Hide();
}

void TForm::SetCaption(const std::string& caption) {
  Design.Caption = caption;
  if (Wnd) Backend()->SetWindowTitle(*Wnd, caption);
}

void TForm::WindowDestroyed() {
  Shown = false;
}

void TTimer::Restart() {
  DueAt = MonotonicMs() + std::max(IntervalMs, MinimumTimerInterval);
}

// ---- TApplication ----

TApplication::TApplication() = default;

TApplication::~TApplication() {
  Shutdown();
}

bool TApplication::Connect(std::string& error) {
  if (State) return true;
  // Keys type characters of the user's locale; numbers stay in the C locale's notation.
  if (std::setlocale(LC_CTYPE, "") == nullptr) std::setlocale(LC_CTYPE, "C");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (wayland && *wayland && !HostedByDaemon) {
    State = ConnectWayland(error, Wallpaper);
    // A session whose compositor cannot be reached, or has no place under its windows for the
    // wallpaper (GNOME's), may still have its X server (XWayland).
    const char* x = std::getenv("DISPLAY");
    std::string ignored;
    if (!State && x && *x) State = ConnectX11(ignored);
  } else {
    State = ConnectX11(error);
  }
  return State != nullptr;
}

void TApplication::Initialize() {
  if (State) State->Initialize(AppTitle);
}

void TApplication::SetTitle(const std::string& title) {
  AppTitle = title;
  if (State) State->SetTitle(title);
}

void TApplication::AdoptForm(std::unique_ptr<TForm> form) {
  TForm* raw = form.get();
  Forms.push_back(std::move(form));
  if (Main == nullptr) Main = raw;
  // From the first form on, SIGTERM and SIGINT wait in the pipe for the loop.
  if (State) InstallSignals();
  if (raw->OnCreate) raw->OnCreate(raw);
}

void TApplication::AddTimer(TTimer* timer) {
  Timers.push_back(timer);
}

void TApplication::RemoveTimer(TTimer* timer) {
  Timers.erase(std::remove(Timers.begin(), Timers.end(), timer), Timers.end());
}

void TApplication::Run() {
  if (!State || Main == nullptr) return;
  TPlatformState* backend = State.get();
  // A termination signal during the main form's creation closes it before it is shown.
  if (TakeSignals()) Main->Close();
  if (ShowMainForm && !IsTerminated) Main->Show();

  while (!IsTerminated) {
    // Window events first; timer events only when no other message waits, as on Windows.
    if (backend->DispatchPending()) continue;
    if (TakeSignals()) {
      Main->Close();
      continue;
    }
    const int64_t now = MonotonicMs();
    TTimer* next = nullptr;
    for (TTimer* timer : Timers)
      if (timer->Enabled() && timer->Interval() > 0 && (!next || timer->DueAt < next->DueAt))
        next = timer;
    if (next && next->DueAt <= now) {
      next->DueAt = now + std::max(next->Interval(), MinimumTimerInterval);
      if (next->OnTimer) next->OnTimer(next);
      continue;
    }

    if (!backend->BeforeSleep()) continue;
    // A descriptor of -1 is left out by poll.
    pollfd fds[3] = {
        {backend->ConnectionFd(), POLLIN, 0}, {SignalRead, POLLIN, 0}, {InstanceSocket, POLLIN, 0}};
    const int timeout = next ? static_cast<int>(std::min<int64_t>(next->DueAt - now, 60000)) : -1;
    const int ready = poll(fds, 3, timeout);
    backend->AfterSleep(ready > 0 && (fds[0].revents & (POLLIN | POLLERR | POLLHUP)) != 0);
    if (ready > 0 && fds[2].revents != 0 && TakeStopRequest(InstanceSocket)) Main->Close();
  }
}

void TApplication::Shutdown() {
  DestroyForms();
  if (State) State->Shutdown();
  RemoveSignals();
}

bool TApplication::ClaimInstance(const std::string& name, bool& alreadyRunning,
                                 std::string& error) {
  if (InstanceSocket >= 0) return true;
  InstanceSocket = ListenAsInstance(name, alreadyRunning, error);
  return InstanceSocket >= 0;
}

bool StopInstance(const std::string& name) {
  return RequestInstanceStop(name);
}

// ---- window services ----

TWindowHandle FindWindowByTitle(const std::string& title) {
  return Backend() ? Backend()->FindWindowByTitle(title) : 0;
}

void RequestWindowClose(TWindowHandle window) {
  if (Backend() && window != 0) Backend()->RequestWindowClose(window);
}

bool WindowIsVisible(TWindowHandle window) {
  return Backend() && window != 0 && Backend()->WindowIsVisible(window);
}

bool WindowExists(TWindowHandle window) {
  return Backend() && window != 0 && Backend()->WindowExists(window);
}

bool WindowIsSeen(TWindowHandle window) {
  return !Backend() || window == 0 || Backend()->WindowIsSeen(window);
}

bool ViewCovered(TWindowHandle window, const TScreenRect& area) {
  return Backend() && window != 0 && Backend()->ViewCovered(window, area);
}

bool SightNeedsPolling(TWindowHandle window) {
  return Backend() && window != 0 && Backend()->SightNeedsPolling(window);
}

bool OnBatteryPower() {
  // Each supply is a folder of one-line files; a file that cannot be read says nothing.
  const auto firstLine = [](const std::string& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
  };
  std::vector<TPowerSupply> supplies;
  DIR* folder = opendir("/sys/class/power_supply");
  if (folder == nullptr) return false;
  while (const dirent* entry = readdir(folder)) {
    if (entry->d_name[0] == '.') continue;
    const std::string base = std::string("/sys/class/power_supply/") + entry->d_name + "/";
    TPowerSupply supply;
    supply.Type = firstLine(base + "type");
    supply.Online = firstLine(base + "online") == "1";
    supply.Present = firstLine(base + "present") != "0";
    supply.Device = firstLine(base + "scope") == "Device";
    supplies.push_back(supply);
  }
  closedir(folder);
  return OnBatteryPower(supplies);
}

bool ForeignWindowsReachable(std::string& why) {
  return Backend() ? Backend()->ForeignWindowsReachable(why) : true;
}

bool DaemonHandsOverWindows() {
  return true;
}

char UserDecimalSeparator() {
  try {
    // LC_NUMERIC of the environment, without touching the program's own C locale.
    const char c = std::use_facet<std::numpunct<char>>(std::locale("")).decimal_point();
    if (c > ' ' && c < 0x7F) return c;
  } catch (const std::exception&) {
    // The environment names a locale that is not installed.
  }
  return '.';
}

TPoint CursorPos() {
  return Backend() ? Backend()->CursorPos() : TPoint{};
}

TWindowHandle RootWindowHandle() {
  return Backend() ? Backend()->RootWindowHandle() : 0;
}

void WatchWindowSize(TWindowHandle window, std::function<void(int, int)> onResize) {
  if (Backend() && window != 0) Backend()->WatchWindowSize(window, std::move(onResize));
}

std::vector<TScreenRect> MonitorRects() {
  return Backend() ? Backend()->MonitorRects() : std::vector<TScreenRect>{};
}

double DisplayRefreshRate() {
  if (UserTurnedVsyncOff()) return -1;
  return Backend() ? Backend()->DisplayRefreshRate() : 0;
}

bool OpenGLAvailable(std::string& error) {
  if (!Backend()) {
    error = "no display connection";
    return false;
  }
  return Backend()->OpenGLAvailable(error);
}

std::unique_ptr<TGLSurface> CreateGLSurface(TWindowHandle window, std::string& error) {
  if (!Backend()) {
    error = "no display connection";
    return nullptr;
  }
  return Backend()->CreateGLSurface(window, error);
}
