// The idle watcher's autostart entry: the state its command line asks for, and the command line
// that asks for a state.
#include "autostart.h"

#include <algorithm>

namespace {

unsigned MinutesOf(unsigned seconds) {
  return std::clamp((seconds + 30) / 60, MinIdleMinutes, MaxIdleMinutes);
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

TIdleStart DefaultIdleStart(unsigned gnomeIdleDelay) {
  return TIdleStart{true, MinutesOf(DefaultIdleSeconds(gnomeIdleDelay))};
}

TIdleStart IdleStartOf(const TAutostartEntry& entry, unsigned fallbackMinutes) {
  if (entry.Exec.empty()) return TIdleStart{false, fallbackMinutes};
  const TIdleOptions options = ParseIdleOptions({entry.Exec.begin() + 1, entry.Exec.end()});
  if (options.Help || !options.Error.empty()) return TIdleStart{false, fallbackMinutes};
  return TIdleStart{entry.Enabled,
                    options.AfterSeconds != 0 ? MinutesOf(options.AfterSeconds) : fallbackMinutes};
}

TAutostartEntry IdleWatcherEntry(const std::string& watcherPath, const TIdleStart& start) {
  const unsigned minutes = std::clamp(start.Minutes, MinIdleMinutes, MaxIdleMinutes);
  return TAutostartEntry{start.Enabled, {watcherPath, "--after", std::to_string(minutes * 60)}};
}
