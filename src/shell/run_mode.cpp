// The run mode and the drawing target, decided from the arguments and the environment only.
#include "run_mode.h"

#include <cstdint>

namespace {

std::vector<std::string> CommandLine;

bool ParseDigits(const std::string& text, int base, TWindowHandle& id) {
  if (text.empty()) return false;
  uint64_t value = 0;
  for (const char c : text) {
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return false;
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    if (value > UINT32_MAX) return false;
  }
  id = static_cast<TWindowHandle>(value);
  return true;
}

}  // namespace

void SetCommandLine(std::vector<std::string> arguments) {
  CommandLine = std::move(arguments);
}

int ParamCount() {
  return static_cast<int>(CommandLine.size());
}

std::string ParamStr(int index) {
  if (index < 1 || index > ParamCount()) return "";
  return CommandLine[static_cast<size_t>(index - 1)];
}

const std::vector<std::string>& Params() {
  return CommandLine;
}

char SwitchOf(const std::vector<std::string>& arguments) {
  if (arguments.empty() || arguments[0].size() < 2) return 0;
  const char c = arguments[0][1];
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

TRunMode DecideRunMode(const std::vector<std::string>& arguments) {
  if (arguments.empty()) return TRunMode::UserRun;
  if (SwitchOf(arguments) == 'C') return TRunMode::Settings;
  if (SwitchOf(arguments) == 'P') return TRunMode::Preview;
  // XScreenSaver's single-dash -window-id is its option, not the switch "W".
  const bool daemonOption = arguments[0].rfind("-window-id", 0) == 0;
  if ((SwitchOf(arguments) == 'W' && !daemonOption) || arguments[0] == "--wallpaper")
    return TRunMode::Wallpaper;
  return TRunMode::FullScreen;
}

bool WallpaperRun() {
  return DecideRunMode(Params()) == TRunMode::Wallpaper;
}

bool ParseDecimalWindowId(const std::string& text, TWindowHandle& id) {
  return ParseDigits(text, 10, id);
}

bool ParseWindowId(const std::string& text, TWindowHandle& id) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    return ParseDigits(text.substr(2), 16, id);
  return ParseDigits(text, 10, id);
}

TTargetChoice ChooseTargetWindow(const std::vector<std::string>& arguments,
                                 const char* xscreensaverWindow, bool daemonHandsOver) {
  TTargetChoice choice;
  if (arguments.size() >= 2 && (SwitchOf(arguments) == 'P')) {
    if (ParseDecimalWindowId(arguments[1], choice.Window)) {
      choice.Kind = TTargetChoice::PreviewWindow;
    } else {
      choice.Kind = TTargetChoice::Invalid;
      choice.Error = "the preview needs a decimal window id, not \"" + arguments[1] + "\"";
    }
    return choice;
  }
  if (DecideRunMode(arguments) != TRunMode::FullScreen || !daemonHandsOver) return choice;

  bool root = false;
  bool windowIdGiven = false;
  std::string windowId;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    if (a == "--root" || a == "-root") {
      root = true;
    } else if (a == "--window-id" || a == "-window-id") {
      windowIdGiven = true;
      windowId = i + 1 < arguments.size() ? arguments[++i] : "";
    } else if (a.rfind("--window-id=", 0) == 0 || a.rfind("-window-id=", 0) == 0) {
      windowIdGiven = true;
      windowId = a.substr(a.find('=') + 1);
    }
  }
  if (windowIdGiven) {
    if (ParseWindowId(windowId, choice.Window)) {
      choice.Kind = TTargetChoice::HostWindow;
    } else {
      choice.Kind = TTargetChoice::Invalid;
      choice.Error = "--window-id needs a window id, not \"" + windowId + "\"";
    }
  } else if (root) {
    if (xscreensaverWindow == nullptr || *xscreensaverWindow == '\0') {
      choice.Kind = TTargetChoice::RootWindow;
    } else if (ParseWindowId(xscreensaverWindow, choice.Window)) {
      choice.Kind = TTargetChoice::HostWindow;
    } else {
      choice.Kind = TTargetChoice::Invalid;
      choice.Error =
          std::string("XSCREENSAVER_WINDOW is not a window id: \"") + xscreensaverWindow + "\"";
    }
  }
  return choice;
}

void ApplyHandOverOptions(const std::vector<std::string>& arguments, TTargetChoice::TKind target,
                          TSettings& settings) {
  if (target != TTargetChoice::HostWindow && target != TTargetChoice::RootWindow) return;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& a = arguments[i];
    if (a == "--window-id" || a == "-window-id")
      ++i;
    else if (a == "--trails")
      settings.ShowTrail = true;
    else if (a == "--no-trails")
      settings.ShowTrail = false;
    else if (a == "--clock")
      settings.ShowTime = true;
    else if (a == "--no-clock")
      settings.ShowTime = false;
  }
}
