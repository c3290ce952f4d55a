// The settings dialog frmConfig: two check boxes for the settings, OK to save them, Cancel to
// leave them; in GNOME sessions also the line "Start after [N] minutes of inactivity" for the
// idle watcher, and where the system has one the line "Live wallpaper". Portable: the window
// itself is a TConfigView that a platform backend provides, the session behind each line a
// TIdleWatcherSystem or a TWallpaperSystem.
#pragma once

#include <string>

#include "autostart.h"

// The dialog's check boxes; cbLiveWallpaper only in a dialog given a TWallpaperSystem.
enum class TConfigCheckBox { cbShowTime, cbShowTrails, cbLiveWallpaper };

// What the dialog's handlers need from its window. A backend reports a user's click on a
// check box by calling the matching click handler after the box has changed state.
class TConfigView {
 public:
  virtual ~TConfigView() = default;
  virtual bool IsChecked(TConfigCheckBox box) const = 0;
  // Changes the box's state without reporting a click.
  virtual void SetChecked(TConfigCheckBox box, bool checked) = 0;
  // Closes the dialog; as the application's main window this ends the program.
  virtual void Close() = 0;
  // A modal error message box with the error icon; returns once the user has dismissed it.
  virtual void ShowError(const std::string& caption, const std::string& text) = 0;

  // The idle watcher's line, which only a dialog given a TIdleWatcherSystem has: its check box
  // "Start after" and its minutes (whole, MinIdleMinutes to MaxIdleMinutes).
  virtual TIdleStart IdleLine() const { return TIdleStart(); }
  virtual void SetIdleLine(const TIdleStart&) {}
  // The note under the line (empty: none). A backend calls TfrmConfig::IdleLineChanged when the
  // user changes the line.
  virtual void SetIdleNote(const std::string&) {}
};

// What the idle watcher's line needs from the session: GNOME's settings, the watcher's autostart
// entry and the watcher's process.
class TIdleWatcherSystem {
 public:
  virtual ~TIdleWatcherSystem() = default;
  // GNOME's idle-delay in seconds (0: GNOME never blanks); 300 where its settings are missing.
  virtual unsigned GnomeIdleDelay() const = 0;
  // The watcher's program, tundrel-idle, by its full path.
  virtual std::string WatcherPath() const = 0;
  // The watcher's autostart entry as GNOME follows it at login; false when there is none.
  virtual bool ReadEntry(TAutostartEntry& entry) const = 0;
  // Replaces the user's entry, which overrides the system's; false with the reason (naming the
  // entry) when it fails.
  virtual bool WriteEntry(const TAutostartEntry& entry, std::string& reason) = 0;
  // Starts `program --after seconds` on its own, apart from the dialog; the session's running
  // watcher gives way to it. False with the reason when it cannot be started or ends at once.
  virtual bool StartWatcher(const std::string& program, unsigned seconds, std::string& reason) = 0;
  // Ends the session's running watcher, if there is one.
  virtual void StopWatcher() = 0;
  // Whether a watcher runs in this session now.
  virtual bool WatcherRuns() const = 0;
};

// What the live wallpaper's line needs from the system: the wallpaper's start at every login and
// the one that runs in the session. A failure gives the whole message the user is shown.
class TWallpaperSystem {
 public:
  virtual ~TWallpaperSystem() = default;
  // Whether the wallpaper starts at every login.
  virtual bool StartsAtLogin() const = 0;
  // Has it start at every login, or no longer.
  virtual bool SetStartAtLogin(bool start, std::string& failure) = 0;
  // Starts the wallpaper now, apart from the dialog, which it outlives; one that already runs in
  // the session stays, and the new one gives way to it.
  virtual bool StartWallpaper(std::string& failure) = 0;
  // Ends the session's running wallpaper, if there is one.
  virtual void StopWallpaper() = 0;
};

// The dialog's handlers. They edit the global Settings; only OKClick writes them to the store.
class TfrmConfig {
 public:
  // applicationTitle is the caption of the error message box ("ScreenSaver"). With an
  // idleWatcher the dialog has the watcher's line; without one (Windows, and desktops other
  // than GNOME) it has the two boxes only.
  // With a wallpaper system the dialog has the line "Live wallpaper" too.
  TfrmConfig(TConfigView& view, std::string applicationTitle,
             TIdleWatcherSystem* idleWatcher = nullptr, TWallpaperSystem* wallpaper = nullptr);

  // Loads Settings and fills the boxes: cbShowTime first, then cbShowTrails; then the idle
  // line from the autostart entry GNOME follows (off without one), and its note where this
  // session differs from it; then the wallpaper's box from its start at login.
  void FormCreate();
  // The user changed the idle line: its note follows, which also says when GNOME blanks the
  // screen first, so that the saver would never show.
  void IdleLineChanged();
  void cbShowTimeClick();
  void cbShowTrailsClick();
  // Saves Settings, then, when the idle line was changed, writes the user's autostart entry
  // from it; starts or stops the watcher where the session differs from the line; then, with
  // the wallpaper's box checked, has it start at login and starts it now, or, unchecked where it
  // was checked, takes its start away and ends it; then closes. A failure is shown and the
  // dialog stays open.
  void OKClick();
  // Closes without saving.
  void CancelClick();

 private:
  // Sets a box as a user's click would: its click handler runs when the state changes.
  void SetCheckBox(TConfigCheckBox box, bool checked);
  // Writes the autostart entry and starts or stops the watcher; throws what the user is shown.
  void ApplyIdleLine();
  // Makes the wallpaper's start at login and the session match its box; throws the failure.
  void ApplyWallpaperLine();

  TConfigView& View;
  std::string ApplicationTitle;
  TIdleWatcherSystem* IdleWatcher;
  TWallpaperSystem* Wallpaper;
  bool ShownWallpaper = false;  // the wallpaper's box as FormCreate showed it
  TIdleStart ShownIdleLine;     // the idle line as FormCreate showed it
  bool WatcherRan = false;      // a watcher ran in the session when FormCreate looked
  unsigned GnomeIdleDelay = 0;  // seconds after which GNOME blanks the screen; 0: never
};
