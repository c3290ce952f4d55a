// Runs the settings dialog as the settings run mode does, with the application title
// "ScreenSaver"; the end-to-end test drives it. Takes no arguments.
#include "settings_dialog.h"

int main() {
  return RunSettingsDialog("ScreenSaver");
}
