// The settings dialog's handlers: load into the boxes, copy the boxes into Settings, save on OK;
// the idle watcher's line, kept in the user's autostart entry, and the live wallpaper's line.
#include "fConfig_dialog.h"

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <utility>

#include "fConfig.h"

TfrmConfig::TfrmConfig(TConfigView& view, std::string applicationTitle,
                       TIdleWatcherSystem* idleWatcher, TWallpaperSystem* wallpaper)
    : View(view),
      ApplicationTitle(std::move(applicationTitle)),
      IdleWatcher(idleWatcher),
      Wallpaper(wallpaper) {}

void TfrmConfig::SetCheckBox(TConfigCheckBox box, bool checked) {
  if (View.IsChecked(box) == checked) return;
  View.SetChecked(box, checked);
  if (box == TConfigCheckBox::cbShowTime) {
    cbShowTimeClick();
  } else {
    cbShowTrailsClick();
  }
}

void TfrmConfig::FormCreate() {
  LoadSettings(Settings);
  // Each click handler writes back the value just read, so Settings ends as loaded.
  SetCheckBox(TConfigCheckBox::cbShowTime, Settings.ShowTime);
  SetCheckBox(TConfigCheckBox::cbShowTrails, Settings.ShowTrail);
  if (Wallpaper != nullptr) {
    ShownWallpaper = Wallpaper->StartsAtLogin();
    View.SetChecked(TConfigCheckBox::cbLiveWallpaper, ShownWallpaper);
  }
  if (IdleWatcher == nullptr) return;
  // The entry GNOME follows at login; without one nothing starts the watcher there. An entry
  // without --after has it follow GNOME's delay.
  GnomeIdleDelay = IdleWatcher->GnomeIdleDelay();
  const unsigned fallbackMinutes = DefaultIdleStart(GnomeIdleDelay).Minutes;
  TAutostartEntry entry;
  ShownIdleLine = IdleWatcher->ReadEntry(entry) ? IdleStartOf(entry, fallbackMinutes)
                                                : TIdleStart{false, fallbackMinutes};
  WatcherRan = IdleWatcher->WatcherRuns();
  View.SetIdleLine(ShownIdleLine);
  IdleLineChanged();
}

void TfrmConfig::IdleLineChanged() {
  if (IdleWatcher == nullptr) return;
  const TIdleStart line = View.IdleLine();
  // GNOME's shield comes first, and the watcher rightly stands back before it.
  if (line.Enabled && GnomeIdleDelay != 0 && line.Minutes * 60 >= GnomeIdleDelay) {
    const std::string blank = GnomeIdleDelay % 60 == 0
                                  ? std::to_string(GnomeIdleDelay / 60) + " min"
                                  : std::to_string(GnomeIdleDelay) + " s";
    View.SetIdleNote("Never shows: GNOME blanks the screen after " + blank);
  } else if (line.Enabled && !WatcherRan) {
    View.SetIdleNote("Not running in this session: OK starts it");
  } else if (!line.Enabled && WatcherRan) {
    View.SetIdleNote("Running in this session: OK ends it");
  } else {
    View.SetIdleNote("");
  }
}

void TfrmConfig::cbShowTimeClick() {
  Settings.ShowTime = View.IsChecked(TConfigCheckBox::cbShowTime);
}

void TfrmConfig::cbShowTrailsClick() {
  Settings.ShowTrail = View.IsChecked(TConfigCheckBox::cbShowTrails);
}

void TfrmConfig::ApplyIdleLine() {
  TIdleStart start = View.IdleLine();
  start.Minutes = std::clamp(start.Minutes, MinIdleMinutes, MaxIdleMinutes);
  // A line left as it was shown writes nothing: without an entry of the user's the system's
  // keeps deciding. The session is then made to match the line.
  const bool changed =
      start.Enabled != ShownIdleLine.Enabled || start.Minutes != ShownIdleLine.Minutes;
  const std::string program = IdleWatcher->WatcherPath();
  std::string reason;
  if (changed && !IdleWatcher->WriteEntry(IdleWatcherEntry(program, start), reason))
    throw std::runtime_error("Failed to write the autostart entry " + reason);
  if (!start.Enabled && (changed || WatcherRan)) {
    IdleWatcher->StopWatcher();
  } else if (start.Enabled && (changed || !WatcherRan) &&
             !IdleWatcher->StartWatcher(program, start.Minutes * 60, reason)) {
    throw std::runtime_error("Failed to start the idle watcher '" + program + "': " + reason);
  }
}

void TfrmConfig::ApplyWallpaperLine() {
  const bool checked = View.IsChecked(TConfigCheckBox::cbLiveWallpaper);
  // Unchecked as shown, a wallpaper started by other means (a terminal's) is left running.
  if (!checked && !ShownWallpaper) return;
  std::string failure;
  if (checked != ShownWallpaper) {
    if (!Wallpaper->SetStartAtLogin(checked, failure)) throw std::runtime_error(failure);
    ShownWallpaper = checked;
  }
  // Checked, it is started even as shown: one that runs stays, and one that ended comes back.
  if (!checked) {
    Wallpaper->StopWallpaper();
  } else if (!Wallpaper->StartWallpaper(failure)) {
    throw std::runtime_error(failure);
  }
}

void TfrmConfig::OKClick() {
  try {
    SaveSettings(Settings);
    if (IdleWatcher != nullptr) ApplyIdleLine();
    if (Wallpaper != nullptr) ApplyWallpaperLine();
  } catch (const std::exception& error) {
    // Any failure, not only a refused write, is shown the same way: it must never reach the
    // window system's callbacks, and the user must not lose the dialog and its choices.
    View.ShowError(ApplicationTitle, error.what());
    return;
  }
  View.Close();
}

void TfrmConfig::CancelClick() {
  View.Close();
}
