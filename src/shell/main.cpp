// Start-up of the saver: closes a running instance titled "ScreenSaver", sets the application
// title, picks the run mode from the first argument and runs the scene window or the settings
// dialog until it closes. A copy drawing into a window XScreenSaver hands over stays out of that
// closing both ways. Failures before the loop are one line on stderr: status 2 for a command
// line naming no usable window (a preview where no window of another program can be drawn
// into), 1 for a missing display or OpenGL. --help and --version alone print and end with
// status 0, with or without a display.
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

// The live wallpaper: one per session, beside whatever saver runs. Its application window carries
// a title of its own, so no saver's start closes it and it closes none.
int RunWallpaper() {
  std::string error;
  bool alreadyRunning = false;
  if (!Application.ClaimInstance(WallpaperName, alreadyRunning, error)) {
    if (!alreadyRunning) return Fail(error, 1);
    std::fprintf(stderr, "tundrel: the live wallpaper already runs in this session\n");
    Application.Shutdown();
    return 0;
  }
  Application.SetTitle(WallpaperName);
  Application.Initialize();
  return RunScene();
}

int Start() {
  std::string error;
  // The daemon's windows live on its display, whatever else the session runs.
  Application.HostedByDaemon = IsHandOver(Target().Kind);
  Application.Wallpaper = WallpaperRun();
  if (!Application.Connect(error)) return Fail(error, 1);
  if (Application.Wallpaper) return RunWallpaper();

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

#ifndef _WIN32
// The Linux program's --help; the Windows screen saver takes only the host's switches.
const char* const Help =
    "usage: tundrel [/s | /c | /p ID | /w | --root | --window-id ID] [--no-trails] [--no-clock]\n"
    "       tundrel --help | --version\n"
    "\n"
    "A live winter ecosystem of firs, grazing herbivores and hunting predators under falling\n"
    "snow, watched by a camera that trails one predator.\n"
    "\n"
    "The first argument picks how it runs; only its second character counts, in either case\n"
    "(/s, -S and /s:1 are the same):\n"
    "  (none)          a window that mouse and keyboard steer: the mouse turns the camera, a\n"
    "                  click or a key switches to another predator, Escape ends it\n"
    "  /s              the full-screen saver on every monitor: a key other than Space, a click\n"
    "                  or a mouse move of more than 5 pixels ends it (any first argument not\n"
    "                  listed here runs it too)\n"
    "  /c              the settings dialog: \"Show time\" and \"Show trails\"\n"
    "  /p ID           draw into the window whose decimal id follows (a host's preview), and\n"
    "                  end when it is hidden or gone (X11 only)\n"
    "  /w, --wallpaper the live wallpaper: the scene under every window on every monitor, taking\n"
    "                  no input and drawing nothing where a window covers it; one per session\n"
    "                  (a second start says so and ends), ended by SIGTERM or SIGINT\n"
    "  --root          XScreenSaver's run: draw into the window in XSCREENSAVER_WINDOW, else\n"
    "                  into the root window\n"
    "  --window-id ID  draw into that window (decimal or 0x hexadecimal), as XScreenSaver's\n"
    "                  settings program does for its preview\n"
    "  --no-trails, --no-clock\n"
    "                  in XScreenSaver's runs, leave out the trails or the clock whatever the\n"
    "                  settings dialog stored (--trails, --clock turn them on)\n"
    "\n"
    "Settings: ${XDG_CONFIG_HOME:-~/.config}/Ombrix/Tundrel.reg, written by the dialog.\n"
    "Exit status: 0 when it ends as asked, 1 without a display or OpenGL, 2 for a command\n"
    "line that names no window it can draw into.\n";
#endif

}  // namespace

int main(int argc, char** argv) {
#ifndef _WIN32
  // The two long options of a Unix program, which need no display; every other first argument
  // keeps the run mode it selects.
  if (argc == 2 && std::string(argv[1]) == "--help") {
    std::fputs(Help, stdout);
    return 0;
  }
  if (argc == 2 && std::string(argv[1]) == "--version") {
    std::printf("tundrel %s\n", TUNDREL_VERSION);
    return 0;
  }
#endif
  SetCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  try {
    return Start();
  } catch (const std::exception& failure) {
    return Fail(failure.what(), 1);
  }
}
