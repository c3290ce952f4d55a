// The session behind the settings dialog's idle line on Linux: GNOME's idle-delay through
// GSettings, the watcher's autostart entry as GNOME reads it, and the watcher tundrel-idle, started
// apart from the dialog or ended through the session bus name it owns. Found beside the saver's
// folder in the build tree, else at its installed place relative to the saver's.
#pragma once

#include <string>

#include "fConfig_dialog.h"

class TGioIdleWatcher final : public TIdleWatcherSystem {
 public:
  unsigned GnomeIdleDelay() const override;
  std::string WatcherPath() const override;
  bool ReadEntry(TAutostartEntry& entry) const override;
  bool WriteEntry(const TAutostartEntry& entry, std::string& reason) override;
  bool StartWatcher(const std::string& program, unsigned seconds, std::string& reason) override;
  void StopWatcher() override;
  bool WatcherRuns() const override;
};
