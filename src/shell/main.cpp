// Start-up of the saver: closes a running instance titled "ScreenSaver", sets the application
// title, picks the run mode from the first argument and runs the scene window or the settings
// dialog until it closes. A copy drawing into a window XScreenSaver hands over stays out of that
// closing both ways. Failures before the loop are one line on stderr: status 2 for a command
// line naming no usable window (a preview where no window of another program can be drawn
// into), 1 for a missing display or OpenGL.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "forms.h"
#include "frmMain.h"
#include "run_mode.h"
#ifdef TUNDREL_SETTINGS_DIALOG
#include "settings_dialog.h"
#endif

namespace {

int Fail(const std::string& message, int status) {
  std::fprintf(stderr, "tundrel: %s\n", message.c_str());
  Application.Shutdown();
  return status;
}

TTargetChoice Target() {
  return ChooseTargetWindow(Params(), std::getenv("XSCREENSAVER_WINDOW"), DaemonHandsOverWindows());
}

// Creates fMain as the main window and runs the loop until it closes.
int RunScene() {
  const TTargetChoice target = Target();
  if (target.Kind == TTargetChoice::Invalid) return Fail(target.Error, 2);
  // Under the daemon the saver has no window of its own on screen; input stays with the daemon.
  if (IsHandOver(target.Kind)) Application.ShowMainForm = false;
  std::string error;
  if (!OpenGLAvailable(error)) return Fail("no OpenGL: " + error, 1);

  Application.CreateForm(fMain);
  const std::string failure = fMain->StartFailure;
  Application.Run();
  if (!failure.empty()) return Fail("no OpenGL: " + failure, 1);
  Application.Shutdown();
  return 0;
}

int RunSettings() {
#ifdef TUNDREL_SETTINGS_DIALOG
  const int status = RunSettingsDialog(Application.Title());
  Application.Shutdown();
  return status;
#else
  return Fail("this build has no settings dialog", 1);
#endif
}

int Start() {
  std::string error;
  // The daemon's windows live on its display, whatever else the session runs.
  Application.HostedByDaemon = IsHandOver(Target().Kind);
  if (!Application.Connect(error)) return Fail(error, 1);

  // The daemon starts one copy per monitor and restarts each on its own, so a copy in a
  // handed-over window closes no other instance, and its application window keeps the program's
  // name: no search for "ScreenSaver" finds it, and none is shadowed by it.
  const bool handOver = IsHandOver(Target().Kind);
  if (!handOver) {
    if (const TWindowHandle running = FindWindowByTitle("ScreenSaver")) RequestWindowClose(running);
  }
  if (ParamCount() > 0 && SwitchOf(Params()) == 'C') {
    // The dialog's toolkit runs its own loop with its own application window of this title; a
    // second one here would be served by no loop and miss the next instance's close request.
    Application.SetTitle("ScreenSaver");
    return RunSettings();
  }
  Application.Initialize();

  if (ParamCount() == 0) {
    Application.SetTitle("Kelvarra");
    return RunScene();
  }

  if (!handOver) Application.SetTitle("ScreenSaver");
  if (SwitchOf(Params()) == 'P') {
    if (!ForeignWindowsReachable(error)) return Fail(error, 2);
    Application.ShowMainForm = false;
    return RunScene();
  }
  // A user's run is on: the full-screen run gives way to it.
  if (FindWindowByTitle("Kelvarra") != 0) {
    Application.Shutdown();
    return 0;
  }
  return RunScene();
}

}  // namespace

int main(int argc, char** argv) {
  SetCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  try {
    return Start();
  } catch (const std::exception& failure) {
    return Fail(failure.what(), 1);
  }
}
