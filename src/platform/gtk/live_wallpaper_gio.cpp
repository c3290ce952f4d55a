// The live wallpaper's line on Linux: its autostart entry through GLib's key files, its start
// through GLib's spawn and its end through the session's single instance.
#include "live_wallpaper_gio.h"

#include <sys/wait.h>

#include "autostart_entry.h"
#include "detached_start.h"
#include "run_mode.h"
#include "single_instance.h"

namespace {

const TAutostartFile WallpaperFile{"tundrel-wallpaper.desktop", "Tundrel live wallpaper",
                                   "The Tundrel winter scene under every window", "Live wallpaper"};

// A wallpaper that cannot start (no display, no OpenGL) ends within moments; one that runs after
// a second is taken as started: 10 looks, 100 ms apart.
constexpr int StartWait = 10;

}  // namespace

bool TGioLiveWallpaper::StartsAtLogin() const {
  TAutostartEntry entry;
  return ReadAutostartEntry(WallpaperFile.FileName, entry) && entry.Enabled && !entry.Exec.empty();
}

bool TGioLiveWallpaper::SetStartAtLogin(bool start, std::string& failure) {
  std::string reason;
  if (start ? WriteAutostartEntry(WallpaperFile, TAutostartEntry{true, {SaverPath, "/w"}}, reason)
            : RemoveAutostartEntry(WallpaperFile, reason))
    return true;
  failure =
      std::string("Failed to ") + (start ? "write" : "remove") + " the autostart entry " + reason;
  return false;
}

bool TGioLiveWallpaper::StartWallpaper(std::string& failure) {
  const TDetachedStart start = StartDetached({SaverPath, "/w"}, StartWait);
  // Status 0 at once: the session's wallpaper already runs, and stays.
  if (start.Started &&
      (!start.Ended || (WIFEXITED(start.Status) && WEXITSTATUS(start.Status) == 0)))
    return true;
  failure = "Failed to start the live wallpaper '" + SaverPath +
            "': " + (start.Started ? EndedAtOnce(start.Status) : start.Reason);
  return false;
}

void TGioLiveWallpaper::StopWallpaper() {
  RequestInstanceStop(WallpaperName);
}
