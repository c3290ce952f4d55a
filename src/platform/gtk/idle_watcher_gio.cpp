// The idle line's session on Linux: GSettings for GNOME's idle-delay, the watcher's autostart
// entry through GLib's key files, GLib's spawn to start the watcher and the session bus to find
// the one that runs.
#include "idle_watcher_gio.h"

#include <gio/gio.h>

#include "autostart_entry.h"
#include "detached_start.h"
#include "gnome_session.h"
#include "idle_rules.h"
#include "program_folder.h"

namespace {

const TAutostartFile IdleWatcherFile{
    "tundrel-idle.desktop", "Tundrel idle watcher",
    "Starts the Tundrel screen saver when the session has been idle",
    "Start after N minutes of inactivity", "GNOME"};

// The bus's RequestName flags and answer, as the D-Bus standard numbers them.
constexpr guint32 DbusNameReplaceExisting = 2;
constexpr guint32 DbusNameDoNotQueue = 4;
constexpr guint32 DbusNamePrimaryOwner = 1;

// The session bus, whose loss must not end the dialog; null where there is none.
GDBusConnection* SessionBus() {
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (bus != nullptr) g_dbus_connection_set_exit_on_close(bus, FALSE);
  return bus;
}

// A call to the bus itself, answered within 2 s; null when it fails.
GVariant* BusCall(GDBusConnection* bus, const char* method, GVariant* parameters,
                  const GVariantType* replyType) {
  return g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                     "org.freedesktop.DBus", method, parameters, replyType,
                                     G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
}

// The process that owns the watcher's bus name; 0 where none does.
guint32 OwnerProcess(GDBusConnection* bus) {
  GVariant* reply = BusCall(bus, "GetConnectionUnixProcessID",
                            g_variant_new("(s)", IdleWatcherBusName), G_VARIANT_TYPE("(u)"));
  guint32 pid = 0;
  if (reply != nullptr) {
    g_variant_get(reply, "(u)", &pid);
    g_variant_unref(reply);
  }
  return pid;
}

// How long a started watcher is given to own its name: 100 looks, 100 ms apart.
constexpr int StartWait = 100;

}  // namespace

unsigned TGioIdleWatcher::GnomeIdleDelay() const {
  GSettings* session = GnomeSessionSettings();
  const unsigned delay = ::GnomeIdleDelay(session);
  if (session != nullptr) g_object_unref(session);
  return delay;
}

std::string TGioIdleWatcher::WatcherPath() const {
  return CompanionPath(TUNDREL_WATCHER_IN_BUILD, TUNDREL_WATCHER_FROM_SAVER,
                       TUNDREL_WATCHER_INSTALLED_PATH);
}

bool TGioIdleWatcher::ReadEntry(TAutostartEntry& entry) const {
  return ReadAutostartEntry(IdleWatcherFile.FileName, entry);
}

bool TGioIdleWatcher::WriteEntry(const TAutostartEntry& entry, std::string& reason) {
  return WriteAutostartEntry(IdleWatcherFile, entry, reason);
}

bool TGioIdleWatcher::StartWatcher(const std::string& program, unsigned seconds,
                                   std::string& reason) {
  // It owns its bus name within moments, or ends at once where it cannot serve (no idle monitor
  // on the bus, no saver): a failure.
  GDBusConnection* bus = SessionBus();
  const TDetachedStart start = StartDetached(
      {program, "--after", std::to_string(seconds)}, StartWait,
      [bus](int pid) { return bus != nullptr && OwnerProcess(bus) == static_cast<guint32>(pid); });
  if (bus != nullptr) g_object_unref(bus);
  if (start.Started && !start.Ended) return true;
  reason = start.Started ? EndedAtOnce(start.Status) : start.Reason;
  return false;
}

bool TGioIdleWatcher::WatcherRuns() const {
  GDBusConnection* bus = SessionBus();
  if (bus == nullptr) return false;
  GVariant* reply =
      BusCall(bus, "NameHasOwner", g_variant_new("(s)", IdleWatcherBusName), G_VARIANT_TYPE("(b)"));
  gboolean owned = FALSE;
  if (reply != nullptr) {
    g_variant_get(reply, "(b)", &owned);
    g_variant_unref(reply);
  }
  g_object_unref(bus);
  return owned;
}

void TGioIdleWatcher::StopWatcher() {
  GDBusConnection* bus = SessionBus();
  if (bus == nullptr) return;  // no session bus: no watcher can be running
  // The watcher lets its name be taken and ends in order when it loses it, giving up its watch;
  // the name is let go again at once. No process is signalled: a process id read from the bus
  // could name another process by the time it was used.
  GVariant* reply = BusCall(
      bus, "RequestName",
      g_variant_new("(su)", IdleWatcherBusName, DbusNameReplaceExisting | DbusNameDoNotQueue),
      G_VARIANT_TYPE("(u)"));
  if (reply != nullptr) {
    guint32 result = 0;
    g_variant_get(reply, "(u)", &result);
    g_variant_unref(reply);
    if (result == DbusNamePrimaryOwner) {
      reply = BusCall(bus, "ReleaseName", g_variant_new("(s)", IdleWatcherBusName), nullptr);
      if (reply != nullptr) g_variant_unref(reply);
    }
  }
  g_object_unref(bus);
}
