// The settings dialog on Windows: frmConfig as a window of real controls, run as the
// application's main window. No Windows type appears here, so start-up can include it.
#pragma once

#include <string>

// Makes the application's own window (titled applicationTitle, for other instances to find),
// opens the dialog centred on the screen and runs the message loop until the dialog closes (OK,
// Cancel, Escape, the close box, or another instance asking this one to close). Returns the
// exit status, 0; 1 when the window cannot be made.
int RunSettingsDialog(const std::string& applicationTitle);
