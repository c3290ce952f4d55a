// The scene window: creation and destruction of world and renderer, the frame tick with its
// statistics, the resize projection and the input rules of both kinds of start.
#include "frmMain.h"

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

TFormDesign MainDesign() {
  TFormDesign design;
  design.Borderless = true;
  design.StayOnTop = true;
  design.Maximized = true;
  design.Black = true;
  design.HideCursor = true;
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
  Drawer.reset();
  Surface.reset();
}

void TfMain::FormResize(TObject*) {
  if (!Drawer) return;
  Drawer->Resize(ClientWidth(), ClientHeight());
  Drawer->Render();
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
  if (StatisticsDue(StatTime, ClockNow())) {
    TFrameStatistics stats;
    stats.FrameCount = FrameCount;
    stats.RateElapsed = ElapsedSeconds(StatTime, ClockNow());
    stats.Units = Env->CountOf<TEnvUnit>();
    stats.CostElapsed = ElapsedSeconds(StatTime, ClockNow());
    stats.DrawTime = DrawTime;
    stats.CalcTime = CalcTime;
    SetCaption(StatisticsCaption(stats, DecimalSeparator));
    StatTime = ClockNow();
    FrameCount = 0;
    CalcTime = 0;
    DrawTime = 0;
  }
  ++FrameCount;

  // The tick goes on after asking to close: this frame is still stepped and drawn.
  if (TargetLost()) Close();

  double t = ClockNow();
  const double dt = Env->Step();
  CalcTime += ElapsedSeconds(t, ClockNow());

  t = ClockNow();
  Drawer->UpdateCamera(dt);
  Drawer->Render();
  DrawTime += ElapsedSeconds(t, ClockNow());

  TopUpPopulation(*Env);
}

void TfMain::Timer1Timer(TObject*) {
  if (Drawer) Drawer->FollowNext<TPredator>();
}

void TfMain::Perform(TInputAction action) {
  switch (action) {
    case TInputAction::Close:
      Close();
      break;
    case TInputAction::FollowNext:
      if (Drawer) Drawer->FollowNext<TPredator>();
      break;
    case TInputAction::Nothing:
      break;
  }
}

void TfMain::FormKeyDown(TObject*, uint16_t& Key, TShiftState) {
  Perform(KeyDownAction(IsArgumentMode(ParamCount()), Key));
}

void TfMain::FormKeyPress(TObject*, char& Key) {
  Perform(KeyPressAction(Key));
}

void TfMain::FormMouseDown(TObject*, TMouseButton, TShiftState, int, int) {
  Perform(MouseDownAction(IsArgumentMode(ParamCount())));
}

void TfMain::FormMouseMove(TObject*, TShiftState, int, int) {
  // The cursor's screen position, not the event's window coordinates.
  const TPoint current = CursorPos();
  const TMouseMoveOutcome outcome =
      MouseMoveOutcome(IsArgumentMode(ParamCount()), MousePos, current);
  if (outcome.Close) Close();
  if (Drawer) Drawer->OrbitAngle += outcome.AngleChange;
  if (outcome.StorePosition) MousePos = current;
}
