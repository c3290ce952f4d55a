// The scene window: creation and destruction of world and renderer, the frame tick with its
// statistics, the resize projection and the input rules of both kinds of start.
#include "frmMain.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>

#include "clock.h"
#include "drawer.h"
#include "fConfig.h"
#include "gl_surface.h"
#include "population.h"
#include "random.h"
#include "run_mode.h"
#include "species.h"
#include "statistics.h"
#include "world.h"

TfMain* fMain = nullptr;

namespace {

constexpr double WorldSide = 1000.0;         // world units
constexpr double StartOrbitDistance = 60.0;  // world units
// While no one can see a view and no event would tell when someone can again, it asks this often.
constexpr uint32_t UnseenPollMs = 5000;
// Until the caption has said that no frames are drawn, an unseen window ticks this often: a
// little more than the statistics' interval.
constexpr uint32_t UnseenCaptionMs = 600;
// How often the power source is asked about, seconds.
constexpr double PowerCheckInterval = 5.0;

TFormDesign MainDesign() {
  TFormDesign design;
  design.Borderless = true;
  // The wallpaper lies under every window, and the pointer over it is the desktop's.
  design.StayOnTop = !WallpaperRun();
  design.Wallpaper = WallpaperRun();
  design.Maximized = true;
  design.Black = true;
  design.HideCursor = !WallpaperRun();
  design.Caption = "fMain";
  design.Left = 410;
  design.Top = 130;
  design.ClientWidth = 854;
  design.ClientHeight = 604;
  return design;
}

uint64_t TimeSeed() {
  return static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
}

}  // namespace

TfMain::TfMain() : TForm(MainDesign()) {
  LifeTimer.SetInterval(1);
  LifeTimer.OnTimer = [this](TObject* sender) { LifeTimerTimer(sender); };
  Timer1.SetInterval(60000);
  Timer1.OnTimer = [this](TObject* sender) { Timer1Timer(sender); };
  OnCreate = [this](TObject* sender) { FormCreate(sender); };
  OnDestroy = [this](TObject* sender) { FormDestroy(sender); };
  OnKeyDown = [this](TObject* sender, uint16_t& key, TShiftState shift) {
    FormKeyDown(sender, key, shift);
  };
  OnKeyPress = [this](TObject* sender, char& key) { FormKeyPress(sender, key); };
  OnMouseDown = [this](TObject* sender, TMouseButton button, TShiftState shift, int x, int y) {
    FormMouseDown(sender, button, shift, x, y);
  };
  OnMouseMove = [this](TObject* sender, TShiftState shift, int x, int y) {
    FormMouseMove(sender, shift, x, y);
  };
  OnResize = [this](TObject* sender) { FormResize(sender); };
  OnDisplayChange = [this](TObject* sender) { FormDisplayChange(sender); };
  OnSeenChange = [this](TObject* sender) { FormSeenChange(sender); };
}

TfMain::~TfMain() = default;

void TfMain::FormCreate(TObject*) {
  LoadSettings(Settings);
  StatTime = ClockNow();
  MousePos = CursorPos();
  Randomize(TimeSeed());
  Env = std::make_unique<TEnv>(WorldSide);

  TargetWindow = Handle();
  PreviewMode = false;
  const TTargetChoice target =
      ChooseTargetWindow(Params(), std::getenv("XSCREENSAVER_WINDOW"), DaemonHandsOverWindows());
  switch (target.Kind) {
    case TTargetChoice::PreviewWindow:
      TargetWindow = target.Window;
      PreviewMode = true;
      break;
    case TTargetChoice::HostWindow:
      TargetWindow = target.Window;
      PreviewMode = true;
      HandOver = true;
      break;
    case TTargetChoice::RootWindow:
      TargetWindow = RootWindowHandle();
      PreviewMode = true;
      HandOver = true;
      break;
    case TTargetChoice::Invalid:
      // Start-up refuses such a command line before this window exists; a preview without a
      // window to draw into ends at the first tick.
      TargetWindow = 0;
      PreviewMode = true;
      break;
    case TTargetChoice::OwnWindow:
      break;
  }
  // The full-screen run spans every monitor; the preview, the hand-over and the user's run keep
  // one view.
  SpanMonitors = target.Kind == TTargetChoice::OwnWindow && IsArgumentMode(ParamCount());
  SetSpanMonitors(SpanMonitors);
  Refresh = DisplayRefreshRate();
  Paced = Refresh >= 0;
  // The host's preview is a thumbnail: half the rate looks as smooth at that size, for half the
  // work.
  Thumbnail = target.Kind == TTargetChoice::PreviewWindow;
  Wallpaper = WallpaperRun();
  OnBattery = OnBatteryPower();
  PowerCheckedAt = ClockNow();
  Pacer = TFramePacer(FrameRate());
  // XScreenSaver's check boxes, for this run only: Settings is never saved from this window.
  ApplyHandOverOptions(Params(), target.Kind, Settings);

  std::string error;
  Surface = CreateGLSurface(TargetWindow, error);
  if (Surface) {
    try {
      Drawer = std::make_unique<TDrawer>(*Surface, *Env);
    } catch (const std::runtime_error& failure) {
      error = failure.what();
    }
  }
  if (!Drawer) {
    // A target that has already gone ends the program quietly, as the first tick would; a
    // window that exists but cannot be drawn into is a failure of the start.
    if (TargetWindow == Handle() || WindowExists(TargetWindow)) StartFailure = error;
    Close();
    return;
  }
  Drawer->UseSwitches(&Settings.ShowTrail, &Settings.ShowTime);

  Predator = CreateStartPopulation(*Env);

  Drawer->FollowedUnit = Predator;
  Drawer->OrbitAngle = Pi;
  Drawer->OrbitDistance = StartOrbitDistance;

  DecimalSeparator = UserDecimalSeparator();
  if (HandOver)
    WatchWindowSize(TargetWindow,
                    [this](int width, int height) { HostWindowResize(width, height); });
}

void TfMain::FormDestroy(TObject*) {
  Env.reset();
  MoreViews.clear();
  Drawer.reset();
  Surface.reset();
}

void TfMain::FormResize(TObject*) {
  if (!Drawer) return;
  if (SpanMonitors) {
    UpdateViews();
    RenderFrame(Wallpaper ? SeenViews() : Views());
    return;
  }
  Drawer->Resize(ClientWidth(), ClientHeight());
  Drawer->Render();
}

double TfMain::FrameRate() const {
  // The wallpaper, seen beside the user's own work, is held to the preview's rate.
  return FrameBudget(Refresh, OnBattery) / (Thumbnail || Wallpaper ? 2 : 1);
}

void TfMain::CheckPowerSource(double now) {
  // Across midnight the clock falls back: that counts as due too.
  if (now - PowerCheckedAt < PowerCheckInterval && now >= PowerCheckedAt) return;
  PowerCheckedAt = now;
  const bool battery = OnBatteryPower();
  if (battery == OnBattery) return;
  OnBattery = battery;
  Pacer = TFramePacer(FrameRate());
}

void TfMain::FormSeenChange(TObject*) {
  // A view that can be seen again gets its frame at once, not at the next slow tick.
  if (!Drawer || Seen || SeenViews().empty()) return;
  LifeTimer.SetEnabled(true);
  LifeTimer.SetInterval(1);
  Timer1.SetEnabled(true);
}

std::vector<TDrawer*> TfMain::SeenViews() const {
  if (!WindowIsSeen(TargetWindow)) return {};
  std::vector<TDrawer*> views = Views();
  if (!Wallpaper) return views;
  views.erase(std::remove_if(views.begin(), views.end(),
                             [this](const TDrawer* view) {
                               const TTextRect& r = view->View;
                               const TScreenRect monitor{WindowOrigin.X + r.Left,
                                                         WindowOrigin.Y + r.Top, r.Right - r.Left,
                                                         r.Bottom - r.Top};
                               return ViewCovered(TargetWindow, monitor);
                             }),
              views.end());
  return views;
}

void TfMain::SleepUnseen() {
  if (SightNeedsPolling(TargetWindow))
    LifeTimer.SetInterval(UnseenPollMs);
  else
    LifeTimer.SetEnabled(false);
  Timer1.SetEnabled(false);
}

void TfMain::FormDisplayChange(TObject*) {
  if (!Drawer) return;
  // A new mode may bring a new refresh rate.
  if (Paced) {
    Refresh = DisplayRefreshRate();
    Pacer = TFramePacer(FrameRate());
  }
  if (!SpanMonitors) return;
  // The window covers the virtual screen as it is now; a new size reaches FormResize.
  Show();
  UpdateViews();
}

std::vector<TDrawer*> TfMain::Views() const {
  std::vector<TDrawer*> views{Drawer.get()};
  for (const auto& view : MoreViews) views.push_back(view.get());
  return views;
}

void TfMain::UpdateViews() {
  const TTextRect outer = Surface->WindowRect();
  WindowOrigin = TPoint{outer.Left, outer.Top};
  const TScreenRect window{outer.Left, outer.Top, ClientWidth(), ClientHeight()};
  const std::vector<TScreenRect> rects = LayoutViews(MonitorRects(), window);

  if (MoreViews.size() >= rects.size()) {
    MoreViews.resize(rects.size() - 1);
    // A drawer leaves the thread without a context as it goes; the others still draw with it.
    Surface->MakeCurrent();
  }
  while (MoreViews.size() + 1 < rects.size()) {
    std::unique_ptr<TDrawer> view;
    try {
      view = std::make_unique<TDrawer>(*Surface, *Env);
    } catch (const std::runtime_error&) {
      break;
    }
    view->UseSwitches(&Settings.ShowTrail, &Settings.ShowTime);
    // Where there are enough predators, each view follows one that no other view follows.
    std::vector<const TEnvUnit*> taken;
    for (const TDrawer* other : Views()) taken.push_back(other->FollowedUnit.Get());
    view->FollowedUnit = Drawer->FollowedUnit;
    for (const auto& unit : Env->Units)
      if (unit && unit->InheritsFrom(TPredator::ClassInfo) &&
          std::find(taken.begin(), taken.end(), unit.get()) == taken.end()) {
        view->FollowedUnit = unit.get();
        break;
      }
    view->OrbitAngle = Pi;
    view->OrbitDistance = StartOrbitDistance;
    MoreViews.push_back(std::move(view));
  }

  const std::vector<TDrawer*> views = Views();
  for (size_t i = 0; i < views.size() && i < rects.size(); ++i) {
    const TScreenRect& r = rects[i];
    views[i]->View = TTextRect{r.Left, r.Top, r.Left + r.Width, r.Top + r.Height};
  }
  OneView = views.size() == 1 && rects[0].Left == 0 && rects[0].Top == 0 &&
            rects[0].Width == ClientWidth() && rects[0].Height == ClientHeight();
  // One view over the whole window draws as the other runs do.
  if (OneView) Drawer->Resize(ClientWidth(), ClientHeight());
}

bool TfMain::RenderFrame(const std::vector<TDrawer*>& views) {
  // A window the display does not show wants no frames; each monitor's own drawable says so for
  // itself as its view is drawn.
  if (OneView && !Surface->DrawablePerMonitor()) {
    if (!Surface->FrameWanted()) return false;
    Drawer->Render();
    return true;
  }
  return TDrawer::RenderViews(views, ClientWidth(), ClientHeight());
}

void TfMain::HostWindowResize(int width, int height) {
  if (!Drawer) return;
  Drawer->Resize(width, height);
  Drawer->Render();
}

bool TfMain::TargetLost() {
  // The daemon unmaps its window before it kills the saver; an exit of our own in between would
  // be reported as a crash.
  return HandOver ? !WindowExists(TargetWindow) : !WindowIsVisible(TargetWindow);
}

void TfMain::LifeTimerTimer(TObject*) {
  if (!Drawer) return;
  // No more frames than the budget allows, and none while no one can see them: the world then
  // waits where it is (its next step is its longest at most) and nothing wakes the program but
  // the events that say a view can be seen again.
  const double start = ClockNow();
  if (Paced) CheckPowerSource(start);
  const std::vector<TDrawer*> seenViews = SeenViews();
  Seen = !seenViews.empty();
  if (!Seen) {
    if (TargetLost()) Close();
    if (StatisticsDue(StatTime, ClockNow())) RefreshStatistics();
    // The caption says that no frames are drawn before the loop goes to sleep.
    if (ShownFrames > 0)
      LifeTimer.SetInterval(UnseenCaptionMs);
    else
      SleepUnseen();
    return;
  }
  if (Paced)
    LifeTimer.SetInterval(static_cast<uint32_t>(Pacer.FrameStarted(start)));
  else if (LifeTimer.Interval() != 1)
    LifeTimer.SetInterval(1);
  if (StatisticsDue(StatTime, ClockNow())) RefreshStatistics();

  // The tick goes on after asking to close: this frame is still stepped, and drawn unless the
  // window is gone (Mesa would size its buffers from a geometry request that failed, up to
  // hundreds of megabytes to clear).
  const bool lost = TargetLost();
  if (lost) Close();
  const bool drawable = !lost || WindowExists(TargetWindow);

  double t = ClockNow();
  const double dt = Env->Step();
  CalcTime += ElapsedSeconds(t, ClockNow());

  t = ClockNow();
  TDrawer::UpdateCameras(Views(), dt);
  // The frame rate counts the frames that reached the display, not the ticks.
  if (drawable && Seen && RenderFrame(seenViews)) ++FrameCount;
  DrawTime += ElapsedSeconds(t, ClockNow());

  TopUpPopulation(*Env);
}

void TfMain::RefreshStatistics() {
  TFrameStatistics stats;
  stats.FrameCount = FrameCount;
  stats.RateElapsed = ElapsedSeconds(StatTime, ClockNow());
  stats.Units = Env->CountOf<TEnvUnit>();
  stats.CostElapsed = ElapsedSeconds(StatTime, ClockNow());
  stats.DrawTime = DrawTime;
  stats.CalcTime = CalcTime;
  // While nothing is drawn the caption rarely changes; the same text again would only wake
  // the window manager and, through its property events, this loop.
  const std::string caption = StatisticsCaption(stats, DecimalSeparator);
  if (caption != Caption()) SetCaption(caption);
  StatTime = ClockNow();
  ShownFrames = FrameCount;
  FrameCount = 0;
  CalcTime = 0;
  DrawTime = 0;
}

void TfMain::Timer1Timer(TObject*) {
  FollowNext();
}

void TfMain::FollowNext() {
  if (!Drawer) return;
  TDrawer::FollowNextPredators(Views());
}

void TfMain::Perform(TInputAction action) {
  switch (action) {
    case TInputAction::Close:
      Close();
      break;
    case TInputAction::FollowNext:
      FollowNext();
      break;
    case TInputAction::Nothing:
      break;
  }
}

// The wallpaper takes no input; should a platform deliver some all the same, it changes nothing.
void TfMain::FormKeyDown(TObject*, uint16_t& Key, TShiftState) {
  if (!Wallpaper) Perform(KeyDownAction(IsArgumentMode(ParamCount()), Key));
}

void TfMain::FormKeyPress(TObject*, char& Key) {
  if (!Wallpaper) Perform(KeyPressAction(Key));
}

void TfMain::FormMouseDown(TObject*, TMouseButton, TShiftState, int, int) {
  if (!Wallpaper) Perform(MouseDownAction(IsArgumentMode(ParamCount())));
}

void TfMain::FormMouseMove(TObject*, TShiftState, int, int) {
  if (Wallpaper) return;
  // The cursor's screen position, not the event's window coordinates.
  const TPoint current = CursorPos();
  const TMouseMoveOutcome outcome =
      MouseMoveOutcome(IsArgumentMode(ParamCount()), MousePos, current);
  if (outcome.Close) Close();
  if (Drawer)
    for (TDrawer* view : Views()) view->OrbitAngle += outcome.AngleChange;
  if (outcome.StorePosition) MousePos = current;
}
