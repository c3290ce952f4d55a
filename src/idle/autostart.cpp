// The user's autostart entry for the idle watcher: path, text and the state it asks for. Exec
// follows the desktop entry rules: reserved characters quoted, '%' doubled, and the value's own
// escapes (\\, \n, \t, \r, \s) on top.
#include "autostart.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

const char* const EntryName = "tundrel-idle.desktop";

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

unsigned MinutesOf(unsigned seconds) {
  return std::clamp((seconds + 30) / 60, MinIdleMinutes, MaxIdleMinutes);
}

std::string EscapeValue(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    switch (c) {
      case '\\':
        escaped += "\\\\";
        break;
      case '\n':
        escaped += "\\n";
        break;
      case '\t':
        escaped += "\\t";
        break;
      case '\r':
        escaped += "\\r";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::string UnescapeValue(const std::string& value) {
  std::string text;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      text += value[i];
      continue;
    }
    const char c = value[++i];
    text += c == 's' ? ' ' : c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
  }
  return text;
}

// One argument of an Exec line: in double quotes when it holds a reserved character, with '"',
// '`', '$' and '\' escaped inside them.
std::string ExecArgument(const std::string& argument) {
  bool reserved = argument.empty();
  std::string quoted;
  for (char c : argument) {
    if (c != '\0' && std::strchr(" \t\n\"'\\><~|&;$*?#()`", c)) reserved = true;
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
    if (c == '%') quoted += '%';
  }
  return reserved ? '"' + quoted + '"' : quoted;
}

// The arguments of an Exec line (its value's own escapes already undone), quoting undone.
std::vector<std::string> ExecArguments(const std::string& exec) {
  std::vector<std::string> arguments;
  std::string current;
  bool started = false, quoted = false;
  for (size_t i = 0; i < exec.size(); ++i) {
    const char c = exec[i];
    const bool next = i + 1 < exec.size();
    if (c == '%' && next && exec[i + 1] == '%') {
      current += exec[++i];
    } else if (quoted) {
      if (c == '"') {
        quoted = false;
      } else {
        current += c == '\\' && next ? exec[++i] : c;
      }
    } else if (c == ' ' || c == '\t' || c == '\n') {
      if (started) arguments.push_back(current);
      current.clear();
      started = false;
      continue;
    } else if (c == '"') {
      quoted = true;
    } else {
      current += c;
    }
    started = true;
  }
  if (started) arguments.push_back(current);
  return arguments;
}

}  // namespace

bool IsGnomeDesktop(const char* currentDesktop) {
  if (currentDesktop == nullptr) return false;
  const std::string desktops = currentDesktop;
  for (size_t start = 0; start <= desktops.size();) {
    const size_t end = std::min(desktops.find(':', start), desktops.size());
    if (desktops.compare(start, end - start, "GNOME") == 0) return true;
    start = end + 1;
  }
  return false;
}

std::string AutostartEntryPath(const char* configHome, const char* home) {
  std::string folder;
  if (configHome != nullptr && configHome[0] == '/') {
    folder = configHome;
  } else if (home != nullptr && home[0] == '/') {
    folder = std::string(home) + "/.config";
  } else {
    return std::string();
  }
  return folder + "/autostart/" + EntryName;
}

TIdleStart DefaultIdleStart(unsigned gnomeIdleDelay) {
  return TIdleStart{true, MinutesOf(DefaultIdleSeconds(gnomeIdleDelay))};
}

TIdleStart IdleStartFromEntry(const std::string& text, unsigned fallbackMinutes) {
  bool hidden = false, autostartEnabled = true, inEntry = false, refused = false;
  TIdleStart start{true, fallbackMinutes};
  for (size_t begin = 0; begin < text.size();) {
    const size_t end = std::min(text.find('\n', begin), text.size());
    const std::string line = Trim(text.substr(begin, end - begin));
    begin = end + 1;
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      inEntry = line == "[Desktop Entry]";
      continue;
    }
    const size_t equals = line.find('=');
    if (!inEntry || equals == std::string::npos) continue;
    const std::string key = Trim(line.substr(0, equals));
    const std::string value = Trim(line.substr(equals + 1));
    if (key == "Hidden") {
      hidden = value == "true" || value == "1";
    } else if (key == "X-GNOME-Autostart-enabled") {
      autostartEnabled = !(value == "false" || value == "0");
    } else if (key == "Exec") {
      const std::vector<std::string> arguments = ExecArguments(UnescapeValue(value));
      const TIdleOptions options = ParseIdleOptions(
          {arguments.begin() + std::min<size_t>(1, arguments.size()), arguments.end()});
      refused = arguments.empty() || options.Help || !options.Error.empty();
      start.Minutes =
          options.AfterSeconds != 0 && !refused ? MinutesOf(options.AfterSeconds) : fallbackMinutes;
    }
  }
  start.Enabled = !hidden && autostartEnabled && !refused;
  return start;
}

std::string AutostartEntryText(const std::string& watcherPath, const TIdleStart& start) {
  const unsigned minutes = std::clamp(start.Minutes, MinIdleMinutes, MaxIdleMinutes);
  std::string text =
      "# Written by Tundrel's settings dialog: \"Start after N minutes of inactivity\".\n"
      "[Desktop Entry]\n"
      "Type=Application\n"
      "Name=Tundrel idle watcher\n"
      "Comment=Starts the Tundrel screen saver when the session has been idle\n";
  // A watcher that is gone (the package removed) is then skipped without a word.
  if (start.Enabled) text += "TryExec=" + EscapeValue(watcherPath) + "\n";
  text += "Exec=" + EscapeValue(ExecArgument(watcherPath)) + " --after " +
          std::to_string(minutes * 60) +
          "\n"
          "Icon=tundrel\n"
          "Terminal=false\n"
          "NoDisplay=true\n"
          "OnlyShowIn=GNOME;\n"
          "X-GNOME-Autostart-enabled=" +
          (start.Enabled ? "true" : "false") +
          "\n"
          "X-GNOME-AutoRestart=false\n";
  if (!start.Enabled) text += "Hidden=true\n";
  return text;
}
