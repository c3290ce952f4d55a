// tundrel-idle: waits on mutter's idle monitor (org.gnome.Mutter.IdleMonitor on the session bus)
// and starts the saver's full-screen run when the session has been idle long enough. It never
// polls: between watches it sleeps in the bus connection. Mutter holds its idle watches back
// while gnome-session says idle is inhibited, so a video or a call keeps the saver away.
#include <gio/gio.h>
#include <glib-unix.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "gnome_session.h"
#include "idle_rules.h"
#include "program_folder.h"

namespace {

const char* const MonitorName = "org.gnome.Mutter.IdleMonitor";
const char* const MonitorPath = "/org/gnome/Mutter/IdleMonitor/Core";
const char* const MonitorInterface = "org.gnome.Mutter.IdleMonitor";
const char* const ElsewhereHint =
    "this watcher serves GNOME; elsewhere XScreenSaver (X11), swayidle (sway, KDE Plasma), "
    "hypridle (Hyprland) or the desktop's own screensaver (MATE, Xfce) starts Tundrel";

struct TWatcher {
  GMainLoop* Loop = nullptr;
  GDBusConnection* Bus = nullptr;
  GSettings* Session = nullptr;  // GNOME's org.gnome.desktop.session, when --after is not given
  std::string SaverPath;
  unsigned FixedSeconds = 0;  // --after; 0 follows GNOME's idle-delay
  unsigned WatchSeconds = 0;  // the idle time the current watch waits for
  guint32 WatchId = 0;        // mutter's id of our idle watch; 0 while there is none
  unsigned Generation = 0;    // counts the AddIdleWatch calls made
  unsigned Refusals = 0;      // AddIdleWatch calls refused in a row
  guint Retry = 0;            // the pause before the next AddIdleWatch, while one runs
  bool MonitorPresent = false;
  GPid SaverPid = 0;  // the saver this watcher started, while it runs
  int Status = 0;
};

void Say(const std::string& text) {
  std::fprintf(stderr, "tundrel-idle: %s\n", text.c_str());
}

void Quit(TWatcher& watcher, int status) {
  watcher.Status = status;
  g_main_loop_quit(watcher.Loop);
}

// The saver of this watcher's own build folder, else the installed one.
std::string DefaultSaverPath() {
  return CompanionPath(TUNDREL_SAVER_IN_BUILD, TUNDREL_SAVER_FROM_BINDIR,
                       TUNDREL_SAVER_INSTALLED_PATH);
}

unsigned WantedSeconds(const TWatcher& watcher) {
  if (watcher.FixedSeconds != 0) return watcher.FixedSeconds;
  return DefaultIdleSeconds(GnomeIdleDelay(watcher.Session));
}

// Mutter can be too busy to answer at login: a refused AddIdleWatch is tried again after 1, 2, 4
// and 8 s, and a watcher that still has no watch then ends rather than run on deaf.
constexpr unsigned WatchAttempts = 5;

// An AddIdleWatch call in flight: a newer one, or mutter's restart, makes its answer stale.
struct TWatchRequest {
  TWatcher* Watcher;
  unsigned Generation;
};

// A call to mutter's idle monitor; an answer of another type than replyType is an error.
void CallMonitor(TWatcher& watcher, const char* method, GVariant* parameters,
                 const GVariantType* replyType = nullptr, GAsyncReadyCallback done = nullptr,
                 gpointer data = nullptr) {
  g_dbus_connection_call(watcher.Bus, MonitorName, MonitorPath, MonitorInterface, method,
                         parameters, replyType, G_DBUS_CALL_FLAGS_NO_AUTO_START, 5000, nullptr,
                         done, data);
}

void CancelRetry(TWatcher& watcher) {
  if (watcher.Retry != 0) g_source_remove(watcher.Retry);
  watcher.Retry = 0;
}

void ArmWatch(TWatcher& watcher);

// The current AddIdleWatch failed: a pause before the next, or the end after the last.
void WatchRefused(TWatcher& watcher, const char* message) {
  if (++watcher.Refusals >= WatchAttempts) {
    Say(std::string("mutter refused the idle watch ") + std::to_string(watcher.Refusals) +
        " times, giving up: " + message);
    Quit(watcher, 1);
    return;
  }
  const unsigned pause = 1u << (watcher.Refusals - 1);  // seconds
  Say(std::string("mutter refused the idle watch (") + message + "), trying again in " +
      std::to_string(pause) + " s");
  watcher.Retry = g_timeout_add_seconds(
      pause,
      +[](gpointer data) -> gboolean {
        auto& retrying = *static_cast<TWatcher*>(data);
        retrying.Retry = 0;
        ArmWatch(retrying);
        return G_SOURCE_REMOVE;
      },
      &watcher);
}

void OnWatchAdded(GObject* source, GAsyncResult* result, gpointer data) {
  const TWatchRequest request = *static_cast<TWatchRequest*>(data);
  delete static_cast<TWatchRequest*>(data);
  TWatcher& watcher = *request.Watcher;
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
  if (reply == nullptr) {
    if (request.Generation == watcher.Generation) WatchRefused(watcher, error->message);
    g_error_free(error);
    return;
  }
  guint32 id = 0;
  g_variant_get(reply, "(u)", &id);
  g_variant_unref(reply);
  if (request.Generation == watcher.Generation) {
    watcher.WatchId = id;
    watcher.Refusals = 0;
  } else if (watcher.MonitorPresent) {
    CallMonitor(watcher, "RemoveWatch", g_variant_new("(u)", id));
  }
}

// Replaces our watch by one for the idle time wanted now.
void ArmWatch(TWatcher& watcher) {
  CancelRetry(watcher);
  if (!watcher.MonitorPresent) return;
  if (watcher.WatchId != 0) {
    CallMonitor(watcher, "RemoveWatch", g_variant_new("(u)", watcher.WatchId));
    watcher.WatchId = 0;
  }
  watcher.WatchSeconds = WantedSeconds(watcher);
  CallMonitor(watcher, "AddIdleWatch",
              g_variant_new("(t)", static_cast<guint64>(watcher.WatchSeconds) * 1000),
              G_VARIANT_TYPE("(u)"), OnWatchAdded,
              new TWatchRequest{&watcher, ++watcher.Generation});
}

void OnMonitorAppeared(GDBusConnection*, const gchar*, const gchar*, gpointer data) {
  auto& watcher = *static_cast<TWatcher*>(data);
  watcher.MonitorPresent = true;
  watcher.WatchId = 0;  // a new mutter knows nothing of the old one's watches
  watcher.Refusals = 0;
  ArmWatch(watcher);
}

void OnMonitorVanished(GDBusConnection*, const gchar*, gpointer data) {
  auto& watcher = *static_cast<TWatcher*>(data);
  watcher.MonitorPresent = false;
  watcher.WatchId = 0;
  CancelRetry(watcher);
  ++watcher.Generation;  // what the old mutter still answers is of no use
}

void OnIdleDelayChanged(GSettings*, gchar*, gpointer data) {
  auto& watcher = *static_cast<TWatcher*>(data);
  if (WantedSeconds(watcher) != watcher.WatchSeconds) ArmWatch(watcher);
}

void OnSaverEnded(GPid pid, gint, gpointer data) {
  auto& watcher = *static_cast<TWatcher*>(data);
  g_spawn_close_pid(pid);
  if (watcher.SaverPid == pid) watcher.SaverPid = 0;
}

void StartSaver(TWatcher& watcher) {
  gchar* argv[] = {const_cast<gchar*>(watcher.SaverPath.c_str()), const_cast<gchar*>("/s"),
                   nullptr};
  GError* error = nullptr;
  GPid pid = 0;
  if (!g_spawn_async(nullptr, argv, nullptr, G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr, &pid,
                     &error)) {
    Say("cannot start " + watcher.SaverPath + ": " + error->message);
    g_error_free(error);
    return;
  }
  watcher.SaverPid = pid;
  g_child_watch_add(pid, OnSaverEnded, &watcher);
}

// GNOME's screen shield answered (or nobody did, which counts as down).
void OnShieldAnswered(GObject* source, GAsyncResult* result, gpointer data) {
  auto& watcher = *static_cast<TWatcher*>(data);
  gboolean active = FALSE;
  GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, nullptr);
  if (reply != nullptr) {
    if (g_variant_is_of_type(reply, G_VARIANT_TYPE("(b)"))) g_variant_get(reply, "(b)", &active);
    g_variant_unref(reply);
  }
  if (StartsSaver(active, watcher.SaverPid != 0)) StartSaver(watcher);
}

void OnWatchFired(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                  GVariant* parameters, gpointer data) {
  auto& watcher = *static_cast<TWatcher*>(data);
  if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(u)"))) return;
  guint32 id = 0;
  g_variant_get(parameters, "(u)", &id);
  if (id == 0 || id != watcher.WatchId || watcher.SaverPid != 0) return;
  g_dbus_connection_call(watcher.Bus, "org.gnome.ScreenSaver", "/org/gnome/ScreenSaver",
                         "org.gnome.ScreenSaver", "GetActive", nullptr, G_VARIANT_TYPE("(b)"),
                         G_DBUS_CALL_FLAGS_NO_AUTO_START, 2000, nullptr, OnShieldAnswered,
                         &watcher);
}

void OnNameLost(GDBusConnection*, const gchar*, gpointer data) {
  // Another watcher took over (the settings dialog started one with a new delay), or the dialog
  // took the name to end this one; a watcher never waits in the name's queue.
  Quit(*static_cast<TWatcher*>(data), 0);
}

void OnBusClosed(GDBusConnection*, gboolean, GError*, gpointer data) {
  Say("the session bus went away");
  Quit(*static_cast<TWatcher*>(data), 1);
}

gboolean OnStopSignal(gpointer data) {
  Quit(*static_cast<TWatcher*>(data), 0);
  return G_SOURCE_REMOVE;
}

bool MonitorAnswers(GDBusConnection* bus) {
  GVariant* reply = g_dbus_connection_call_sync(
      bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
      g_variant_new("(s)", MonitorName), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 5000,
      nullptr, nullptr);
  gboolean owned = FALSE;
  if (reply != nullptr) {
    g_variant_get(reply, "(b)", &owned);
    g_variant_unref(reply);
  }
  return owned;
}

int Watch(TWatcher& watcher) {
  GError* error = nullptr;
  watcher.Bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (watcher.Bus == nullptr) {
    Say(std::string("no session bus (") + error->message + "): " + ElsewhereHint);
    g_error_free(error);
    return 1;
  }
  if (!MonitorAnswers(watcher.Bus)) {
    Say(std::string("nothing answers on ") + MonitorName + ": " + ElsewhereHint);
    g_object_unref(watcher.Bus);
    return 1;
  }
  g_dbus_connection_set_exit_on_close(watcher.Bus, FALSE);
  g_signal_connect(watcher.Bus, "closed", G_CALLBACK(OnBusClosed), &watcher);

  watcher.Loop = g_main_loop_new(nullptr, FALSE);
  if (watcher.FixedSeconds == 0) {
    watcher.Session = GnomeSessionSettings();
    if (watcher.Session != nullptr)
      g_signal_connect(watcher.Session, "changed::idle-delay", G_CALLBACK(OnIdleDelayChanged),
                       &watcher);
  }
  const guint owner = g_bus_own_name_on_connection(
      watcher.Bus, IdleWatcherBusName,
      static_cast<GBusNameOwnerFlags>(G_BUS_NAME_OWNER_FLAGS_ALLOW_REPLACEMENT |
                                      G_BUS_NAME_OWNER_FLAGS_REPLACE |
                                      G_BUS_NAME_OWNER_FLAGS_DO_NOT_QUEUE),
      nullptr, OnNameLost, &watcher, nullptr);
  const guint fired = g_dbus_connection_signal_subscribe(
      watcher.Bus, MonitorName, MonitorInterface, "WatchFired", MonitorPath, nullptr,
      G_DBUS_SIGNAL_FLAGS_NONE, OnWatchFired, &watcher, nullptr);
  const guint names =
      g_bus_watch_name_on_connection(watcher.Bus, MonitorName, G_BUS_NAME_WATCHER_FLAGS_NONE,
                                     OnMonitorAppeared, OnMonitorVanished, &watcher, nullptr);
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) g_unix_signal_add(signal, OnStopSignal, &watcher);

  g_main_loop_run(watcher.Loop);

  CancelRetry(watcher);
  g_bus_unwatch_name(names);
  g_dbus_connection_signal_unsubscribe(watcher.Bus, fired);
  g_bus_unown_name(owner);
  if (watcher.WatchId != 0 && !g_dbus_connection_is_closed(watcher.Bus)) {
    GVariant* reply =
        g_dbus_connection_call_sync(watcher.Bus, MonitorName, MonitorPath, MonitorInterface,
                                    "RemoveWatch", g_variant_new("(u)", watcher.WatchId), nullptr,
                                    G_DBUS_CALL_FLAGS_NO_AUTO_START, 1000, nullptr, nullptr);
    if (reply != nullptr) g_variant_unref(reply);
  }
  if (watcher.Session != nullptr) g_object_unref(watcher.Session);
  g_main_loop_unref(watcher.Loop);
  g_object_unref(watcher.Bus);
  return watcher.Status;
}

}  // namespace

int main(int argc, char** argv) {
  const TIdleOptions options = ParseIdleOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (options.Help) {
    std::fputs(IdleUsage, stdout);
    return 0;
  }
  if (!options.Error.empty()) {
    Say(options.Error);
    std::fputs(IdleUsage, stderr);
    return 2;
  }
  TWatcher watcher;
  watcher.FixedSeconds = options.AfterSeconds;
  watcher.SaverPath = options.SaverPath.empty() ? DefaultSaverPath() : options.SaverPath;
  if (access(watcher.SaverPath.c_str(), X_OK) != 0) {
    Say("the saver " + watcher.SaverPath + " cannot be run");
    return 1;
  }
  return Watch(watcher);
}
