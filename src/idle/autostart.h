// The idle watcher's autostart entry, tundrel-idle.desktop: the state the settings dialog's line
// shows and the command line it asks GNOME to run at login. The user's entry overrides the
// system's of the same name. Portable: reading and writing the entry's file is the platform's.
#pragma once

#include <string>
#include <vector>

#include "idle_rules.h"

// The minutes the settings dialog offers: up to the longest --after the watcher takes.
constexpr unsigned MinIdleMinutes = 1;
constexpr unsigned MaxIdleMinutes = MaxAfterSeconds / 60;

// Whether and when the watcher starts the saver.
struct TIdleStart {
  bool Enabled = true;
  unsigned Minutes = 5;  // of inactivity before the saver starts
};

// What an autostart entry makes GNOME do at login: whether it runs the entry, and the command
// line it runs (the program first), its quoting undone.
struct TAutostartEntry {
  bool Enabled = true;
  std::vector<std::string> Exec;
};

// Whether GNOME is one of the ':'-separated desktops of XDG_CURRENT_DESKTOP (null: unset).
bool IsGnomeDesktop(const char* currentDesktop);

// A watcher that follows GNOME (an entry without --after): on, after DefaultIdleSeconds of
// GNOME's idle-delay, to the nearest minute.
TIdleStart DefaultIdleStart(unsigned gnomeIdleDelay);

// The state the watcher's entry asks for: off when the entry does not run or the watcher would
// refuse its arguments, else on; the minutes from --after, to the nearest minute, else
// fallbackMinutes.
TIdleStart IdleStartOf(const TAutostartEntry& entry, unsigned fallbackMinutes);

// The entry that runs `watcherPath --after <Minutes * 60>` at login, or, when start is off,
// keeps the system's entry from running anything.
TAutostartEntry IdleWatcherEntry(const std::string& watcherPath, const TIdleStart& start);
