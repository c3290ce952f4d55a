// The settings dialog's handlers: load into the boxes, copy the boxes into Settings, save on OK;
// and the idle watcher's line, kept in the user's autostart entry.
#include "fConfig_dialog.h"

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <utility>

#include "fConfig.h"

TfrmConfig::TfrmConfig(TConfigView& view, std::string applicationTitle,
                       TIdleWatcherSystem* idleWatcher)
    : View(view), ApplicationTitle(std::move(applicationTitle)), IdleWatcher(idleWatcher) {}

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
  if (IdleWatcher == nullptr) return;
  // Without an entry of the user's, the system's starts the watcher, which follows GNOME.
  const TIdleStart fallback = DefaultIdleStart(IdleWatcher->GnomeIdleDelay());
  TAutostartEntry entry;
  ShownIdleLine = IdleWatcher->ReadEntry(entry) ? IdleStartOf(entry, fallback.Minutes) : fallback;
  View.SetIdleLine(ShownIdleLine);
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
  // A line left as it was shown changes nothing: without an entry of the user's the watcher
  // keeps following GNOME's delay.
  if (start.Enabled == ShownIdleLine.Enabled && start.Minutes == ShownIdleLine.Minutes) return;
  const std::string program = IdleWatcher->WatcherPath();
  std::string reason;
  if (!IdleWatcher->WriteEntry(IdleWatcherEntry(program, start), reason))
    throw std::runtime_error("Failed to write the autostart entry " + reason);
  if (!start.Enabled) {
    IdleWatcher->StopWatcher();
  } else if (!IdleWatcher->StartWatcher(program, start.Minutes * 60, reason)) {
    throw std::runtime_error("Failed to start the idle watcher '" + program + "': " + reason);
  }
}

void TfrmConfig::OKClick() {
  try {
    SaveSettings(Settings);
    if (IdleWatcher != nullptr) ApplyIdleLine();
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
