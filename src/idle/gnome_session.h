// GNOME's session settings (org.gnome.desktop.session), which say when GNOME blanks the screen:
// read by the idle watcher, which follows them, and by the settings dialog, which shows them.
#pragma once

#include <gio/gio.h>

// The settings where their schema, with its idle-delay, is installed; null elsewhere. The caller
// owns the reference.
GSettings* GnomeSessionSettings();
// Their idle-delay in seconds (0: GNOME never blanks); GNOME's default, 300, without them.
unsigned GnomeIdleDelay(GSettings* session);
