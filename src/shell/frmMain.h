// TfMain, the scene window fMain: owns the world and the renderer, fills the world at start,
// steps and draws it from the frame timer, keeps the population topped up, shows running
// statistics in its caption and turns input into camera moves or the end of the program.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "forms.h"
#include "input_rules.h"
#include "views.h"

class TDrawer;
class TEnv;
class TGLSurface;
class TPredator;

class TfMain : public TForm {
 public:
  TfMain();
  ~TfMain() override;

  TTimer LifeTimer;  // the frame tick, 1 ms asked
  TTimer Timer1;     // the predator switch, every 60000 ms

  void FormCreate(TObject* Sender);
  void FormDestroy(TObject* Sender);
  void FormKeyDown(TObject* Sender, uint16_t& Key, TShiftState Shift);
  void FormKeyPress(TObject* Sender, char& Key);
  void FormMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void FormMouseMove(TObject* Sender, TShiftState Shift, int X, int Y);
  void FormResize(TObject* Sender);
  void FormDisplayChange(TObject* Sender);
  void FormSeenChange(TObject* Sender);
  void LifeTimerTimer(TObject* Sender);
  void Timer1Timer(TObject* Sender);

  // The renderer's device and GL context on the target window; it outlives the renderer.
  std::unique_ptr<TGLSurface> Surface;

  std::unique_ptr<TEnv> Env;
  std::unique_ptr<TDrawer> Drawer;
  // In the full-screen run, a view with its own camera for every monitor after the first, whose
  // view is Drawer's; they draw through Drawer's surface.
  std::vector<std::unique_ptr<TDrawer>> MoreViews;
  TPredator* Predator = nullptr;  // the first followed animal; the world owns it
  TPoint MousePos;                // screen pixels
  double StatTime = 0;            // clock reading at the last statistics refresh, seconds
  double CalcTime = 0;            // seconds in world steps since then
  double DrawTime = 0;            // seconds in camera update and rendering since then
  int32_t FrameCount = 0;         // frame ticks since then
  int32_t ShownFrames = 0;        // the frames the caption counted at the last refresh

  // The window drawn into: this window, the host's preview window or the daemon's window.
  TWindowHandle TargetWindow = 0;
  // The target came from the XScreenSaver daemon: it is only lost when it is destroyed.
  bool HandOver = false;
  // The full-screen run: one window over every monitor, a view on each.
  bool SpanMonitors = false;
  // When the next frame is due, at the display's frame budget; unpaced when the user turned the
  // wait for the display off.
  TFramePacer Pacer;
  bool Paced = true;
  double Refresh = 0;      // the display's refresh rate, frames per second; 0 unknown
  bool Thumbnail = false;  // the host's preview: half the budget
  // The live wallpaper: under every window, deaf to input, half the budget, and a view whose
  // monitor another window covers is not drawn.
  bool Wallpaper = false;
  TPoint WindowOrigin;        // the window's top-left corner on the screen, for the views' monitors
  bool OnBattery = false;     // as last checked
  double PowerCheckedAt = 0;  // clock reading of that check
  // Someone could see a view at the last tick; while no one can, nothing is drawn.
  bool Seen = true;
  // The views are one, over the whole window: it draws and presents as the other runs do.
  bool OneView = true;
  // Why the renderer could not be set up; the window then closes before its first tick.
  std::string StartFailure;

 private:
  void Perform(TInputAction action);
  bool TargetLost();
  void HostWindowResize(int width, int height);
  // Lays the views out over the monitors as they are now, making or dropping cameras.
  void UpdateViews();
  // Every view's renderer, Drawer first.
  std::vector<TDrawer*> Views() const;
  // Draws the frame of the views given (the wallpaper leaves out the monitors other windows
  // cover: their part of the frame is only cleared, and drawn again once it can be seen); whether
  // any was presented.
  bool RenderFrame(const std::vector<TDrawer*>& views);
  // The views someone may see now: none while the window is not seen, and for the wallpaper
  // only those whose monitor no other window covers.
  std::vector<TDrawer*> SeenViews() const;
  // While no view can be seen the world waits and the loop sleeps on its events, asking again
  // every few seconds only where no event would say that a view can be seen again.
  void SleepUnseen();
  // The pacer's rate for the display, the power source and the kind of view.
  double FrameRate() const;
  // Asks the system afresh whether it runs on its battery, every few seconds.
  void CheckPowerSource(double now);
  // Shows the statistics since the last refresh in the caption and starts counting afresh.
  void RefreshStatistics();
  // Moves every view's camera on to its next predator.
  void FollowNext();

  char DecimalSeparator = '.';
};

extern TfMain* fMain;
