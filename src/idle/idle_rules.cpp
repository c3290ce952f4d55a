// The idle watcher's decisions: its delay, its command line and when a fired watch starts the
// saver.
#include "idle_rules.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

const char* const IdleWatcherBusName = "org.ombrix.Tundrel.Idle";

const char* const IdleUsage =
    "usage: tundrel-idle [--after SECONDS] [--saver PATH]\n"
    "Starts the Tundrel screen saver (/s) when a GNOME session has been idle for SECONDS\n"
    "(default: a minute before GNOME blanks the screen, at least a minute).\n";

unsigned DefaultIdleSeconds(unsigned gnomeIdleDelay) {
  if (gnomeIdleDelay == 0) return 300;
  return std::max(60u, gnomeIdleDelay > 60 ? gnomeIdleDelay - 60 : 0u);
}

namespace {

bool ParseSeconds(const std::string& text, unsigned& seconds) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  const unsigned long value = std::strtoul(text.c_str(), nullptr, 10);
  if (value < 1 || value > MaxAfterSeconds) return false;
  seconds = static_cast<unsigned>(value);
  return true;
}

}  // namespace

TIdleOptions ParseIdleOptions(const std::vector<std::string>& arguments) {
  TIdleOptions options;
  for (size_t i = 0; i < arguments.size() && options.Error.empty(); ++i) {
    const std::string& argument = arguments[i];
    const bool hasValue = i + 1 < arguments.size();
    if (argument == "--help" || argument == "-h") {
      options.Help = true;
    } else if (argument == "--after") {
      if (!hasValue || !ParseSeconds(arguments[++i], options.AfterSeconds))
        options.Error =
            "--after needs a whole number of seconds from 1 to " + std::to_string(MaxAfterSeconds);
    } else if (argument == "--saver") {
      if (!hasValue || arguments[++i].empty())
        options.Error = "--saver needs the path of the saver";
      else
        options.SaverPath = arguments[i];
    } else {
      options.Error = "unknown option " + argument;
    }
  }
  return options;
}

bool StartsSaver(bool shieldActive, bool saverRunning) {
  return !shieldActive && !saverRunning;
}
