// An autostart entry of Tundrel's as a file, read and written with GLib's key files as GNOME
// reads it at login: the user's in ${XDG_CONFIG_HOME:-$HOME/.config}/autostart, else the first
// of the same name in the system's configuration folders. One entry per file name; the settings
// dialog's lines each have one.
#pragma once

#include <string>

#include "autostart.h"

// The fixed parts of an entry's file.
struct TAutostartFile {
  const char* FileName;    // "tundrel-idle.desktop"
  const char* Name;        // the entry's Name
  const char* Comment;     // the entry's Comment
  const char* DialogLine;  // the settings dialog's line that writes it, named in its first line
  const char* OnlyShowIn = nullptr;  // the one desktop it runs in ("GNOME"); null: every one
};

// The user's entry of that file name; empty when neither XDG_CONFIG_HOME nor HOME names a folder.
std::string UserAutostartPath(const std::string& fileName);

// The entry in the file at path; false when there is none or it cannot be read. It runs unless
// its Hidden is true, its X-GNOME-Autostart-enabled is not true or its TryExec names no program.
bool ReadAutostartFile(const std::string& path, TAutostartEntry& entry);
// The entry GNOME follows at login: the user's file, else the first of that name in the
// system's configuration folders ($XDG_CONFIG_DIRS); false when there is none.
bool ReadAutostartEntry(const std::string& fileName, TAutostartEntry& entry);

// Replaces the user's file in one step, creating its folder, with an entry for GNOME sessions
// that runs entry.Exec (each argument quoted as desktop entries ask), or that runs nothing and
// hides the system's when entry.Enabled is false. False with the reason (naming the file) when
// it cannot be written.
bool WriteAutostartEntry(const TAutostartFile& file, const TAutostartEntry& entry,
                         std::string& reason);
// Takes the user's file away, in a folder of the user's own only; where the system's folders
// hold an entry of the name, a hidden one of the user's keeps it from running instead. False
// with the reason (naming the file) when that fails.
bool RemoveAutostartEntry(const TAutostartFile& file, std::string& reason);
