// The idle watcher's decisions, without a bus or a display: how long the session must be idle
// before the saver starts, its command line, and whether a fired watch starts the saver. The
// user's autostart entry that turns it on or off at login is autostart.h's.
#pragma once

#include <string>
#include <vector>

// The bus name the running watcher owns: one watcher a session, and a newer one replaces it.
extern const char* const IdleWatcherBusName;

// The seconds of idle after which the saver starts when the command line names none: a minute
// before GNOME blanks the screen (its idle-delay, in seconds), at least a minute; 5 minutes where
// GNOME never blanks (an idle-delay of 0).
unsigned DefaultIdleSeconds(unsigned gnomeIdleDelay);

// The longest --after the watcher takes: a day, in seconds.
constexpr unsigned MaxAfterSeconds = 86400;

struct TIdleOptions {
  unsigned AfterSeconds = 0;  // 0: follow GNOME's idle-delay
  std::string SaverPath;      // empty: the installed saver
  bool Help = false;
  std::string Error;  // not empty: the command line is wrong and this says why
};
// --after SECONDS (1 to MaxAfterSeconds), --saver PATH, --help; anything else is an error.
TIdleOptions ParseIdleOptions(const std::vector<std::string>& arguments);
extern const char* const IdleUsage;

// A fired watch starts the saver unless GNOME's own screen shield is up or a saver started by
// this watcher still runs.
bool StartsSaver(bool shieldActive, bool saverRunning);
