// Start-up decisions made from the command line alone: the run mode, the window the scene is
// drawn into (the host's preview window after /p, or the window the XScreenSaver daemon hands
// over) and the daemon's options for the two settings. Also the process's argument list, which
// the main window reads again in its handlers.
#pragma once

#include <string>
#include <vector>

#include "fConfig.h"
#include "forms.h"

// The program's arguments without the program name; set once by start-up.
void SetCommandLine(std::vector<std::string> arguments);
// The number of arguments, and argument i counting from 1 ("" past the end).
int ParamCount();
std::string ParamStr(int index);
const std::vector<std::string>& Params();

enum class TRunMode {
  UserRun,     // no arguments: a window steered by mouse and keyboard
  Settings,    // switch "C": the settings dialog
  Preview,     // switch "P": draw into the host's preview window
  FullScreen,  // any other switch
  Wallpaper,   // switch "W" (or --wallpaper): the scene under every window, taking no input
};

// The live wallpaper's application title and the name of its one instance in a session.
constexpr char WallpaperName[] = "Tundrel wallpaper";

// The second character of the first argument, upper-cased in ASCII; 0 when there is none.
char SwitchOf(const std::vector<std::string>& arguments);
// The mode the first argument selects. "--wallpaper", the long spelling of /w, and XScreenSaver's
// "-window-id" are the first arguments whose second character does not decide.
TRunMode DecideRunMode(const std::vector<std::string>& arguments);
// Whether the program's own arguments start the live wallpaper.
bool WallpaperRun();

// A window id written in decimal digits only, as the preview host writes it. False for
// anything else, including signs, spaces and values past 32 bits.
bool ParseDecimalWindowId(const std::string& text, TWindowHandle& id);
// A window id in hexadecimal after "0x" or "0X", else in decimal, as the XScreenSaver daemon
// and its settings program write it.
bool ParseWindowId(const std::string& text, TWindowHandle& id);

// Where the scene is drawn.
struct TTargetChoice {
  enum TKind {
    OwnWindow,      // the main window itself
    PreviewWindow,  // the host's preview window after /p
    HostWindow,     // the daemon's window: XSCREENSAVER_WINDOW with --root, or --window-id
    RootWindow,     // --root without XSCREENSAVER_WINDOW: the screen's root window
    Invalid,        // the command line names no usable window; Error says why
  };
  TKind Kind = OwnWindow;
  TWindowHandle Window = 0;
  std::string Error;
};

// Whether the scene goes into a window the XScreenSaver daemon handed over.
inline bool IsHandOver(TTargetChoice::TKind kind) {
  return kind == TTargetChoice::HostWindow || kind == TTargetChoice::RootWindow;
}

// The preview needs at least two arguments with "p" or "P" second in the first; the hand-over
// is looked for only in the full-screen run (--window-id ID wins over --root; the single-dash
// spellings and --window-id=ID work too). xscreensaverWindow is the environment's value, or
// nullptr when unset. Where no daemon hands windows over (daemonHandsOver false, as on
// Windows), those options are ordinary further arguments of the full-screen run.
TTargetChoice ChooseTargetWindow(const std::vector<std::string>& arguments,
                                 const char* xscreensaverWindow, bool daemonHandsOver = true);

// The check boxes of XScreenSaver's settings program arrive as options anywhere on the command
// line: "--trails" / "--no-trails" and "--clock" / "--no-clock", the last of a pair winning.
// They override the stored settings for this run only, and only when the scene is drawn into the
// daemon's window (HostWindow or RootWindow); elsewhere every further argument is ignored, as
// before. Single-dash spellings are not options: "-clock" is the settings dialog's switch. The
// value after --window-id is a window id, never an option.
void ApplyHandOverOptions(const std::vector<std::string>& arguments, TTargetChoice::TKind target,
                          TSettings& settings);
