// The user's own autostart entry for the idle watcher, tundrel-idle.desktop in their autostart
// folder: its path, its text, and the state read back from it. It overrides the system entry of
// the same name, so it alone decides whether GNOME starts the watcher at login and with what
// delay. Text only: reading and writing the file is the caller's.
#pragma once

#include <string>

#include "idle_rules.h"

// The minutes the settings dialog offers: up to the longest --after the watcher takes.
constexpr unsigned MinIdleMinutes = 1;
constexpr unsigned MaxIdleMinutes = MaxAfterSeconds / 60;

// Whether and when the watcher starts the saver.
struct TIdleStart {
  bool Enabled = true;
  unsigned Minutes = 5;  // of inactivity before the saver starts
};

// Whether GNOME is one of the ':'-separated desktops of XDG_CURRENT_DESKTOP (null: unset).
bool IsGnomeDesktop(const char* currentDesktop);

// ${XDG_CONFIG_HOME:-$HOME/.config}/autostart/tundrel-idle.desktop from those two variables
// (null: unset). A relative folder counts as unset, as the XDG rules ask; empty when neither
// names a folder.
std::string AutostartEntryPath(const char* configHome, const char* home);

// What runs without an entry of the user's: the watcher on, after DefaultIdleSeconds of GNOME's
// idle-delay, to the nearest minute.
TIdleStart DefaultIdleStart(unsigned gnomeIdleDelay);

// The state an entry asks for: off when its [Desktop Entry] says Hidden=true or
// X-GNOME-Autostart-enabled=false, or when the watcher would refuse its Exec's arguments, else
// on; the minutes from --after of its Exec, to the nearest minute, else fallbackMinutes.
TIdleStart IdleStartFromEntry(const std::string& text, unsigned fallbackMinutes);

// The entry that runs `watcherPath --after <Minutes * 60>` at login in GNOME sessions, or, when
// start is off, hides the system entry so that nothing runs.
std::string AutostartEntryText(const std::string& watcherPath, const TIdleStart& start);
