// The session behind the settings dialog's idle line on Linux: GNOME's idle-delay through
// GSettings, the user's autostart entry as a file, and the watcher tundrel-idle, started apart
// from the dialog or ended through the session bus name it owns. Found beside the saver's
// folder in the build tree, else at its installed place relative to the saver's.
#pragma once

#include <string>

#include "fConfig_dialog.h"

class TGioIdleWatcher final : public TIdleWatcherSystem {
 public:
  unsigned GnomeIdleDelay() const override;
  std::string WatcherPath() const override;
  bool ReadFile(const std::string& path, std::string& text) const override;
  bool ReplaceFile(const std::string& path, const std::string& text, std::string& reason) override;
  bool StartWatcher(const std::string& program, unsigned seconds, std::string& reason) override;
  void StopWatcher() override;
};
