// The system behind the settings dialog's line "Live wallpaper" on Linux: the user's autostart
// entry tundrel-wallpaper.desktop, which every desktop that follows the XDG autostart rules runs
// at login, and the saver's wallpaper run (/w), started apart from the dialog or asked to end
// through the session's instance of its name.
#pragma once

#include <string>

#include "fConfig_dialog.h"

class TGioLiveWallpaper final : public TWallpaperSystem {
 public:
  // saverPath: the saver's program, which the entry and the start run with /w.
  explicit TGioLiveWallpaper(std::string saverPath) : SaverPath(std::move(saverPath)) {}

  bool StartsAtLogin() const override;
  bool SetStartAtLogin(bool start, std::string& failure) override;
  bool StartWallpaper(std::string& failure) override;
  void StopWallpaper() override;

 private:
  std::string SaverPath;
};
