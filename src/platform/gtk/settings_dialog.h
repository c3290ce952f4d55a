// The settings dialog on Linux: frmConfig in a GTK 3 window, run as the application's main
// window. The window lives in a module, tundrel-settings.so, that RunSettingsDialog loads: GTK
// and the libraries under it come into memory for the dialog only, never for the scene. No GTK
// type appears here, so start-up can include it without the GTK headers.
#pragma once

#include <string>

// Opens the dialog and runs the event loop until it closes (OK, Cancel, Escape or the close
// box). Returns the exit status: 0, or 1 with one line on stderr when no display can be opened
// or the module cannot be loaded. GTK is initialised here, so call it at most once per process.
int RunSettingsDialog(const std::string& applicationTitle);

// The module's file, and its entry, found by name, that does RunSettingsDialog's work.
constexpr char SettingsDialogModule[] = "tundrel-settings.so";
constexpr char SettingsDialogEntry[] = "TundrelSettingsDialog";
using TSettingsDialogEntry = int (*)(const char* applicationTitle);
