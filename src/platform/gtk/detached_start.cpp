// Companion programs started apart from the settings dialog, through GLib's spawn.
#include "detached_start.h"

#include <glib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

namespace {

constexpr gulong WaitStep = 100 * 1000;  // microseconds

}  // namespace

TDetachedStart StartDetached(const std::vector<std::string>& argv, int waits,
                             const std::function<bool(int)>& serving) {
  TDetachedStart start;
  std::vector<gchar*> arguments;
  for (const std::string& argument : argv)
    arguments.push_back(const_cast<gchar*>(argument.c_str()));
  arguments.push_back(nullptr);
  GError* error = nullptr;
  GPid pid = 0;
  // GLib closes the dialog's other descriptors (its display connection) in the child. The
  // dialog's stderr may be a pipe whose reader goes long before the program ends: a message then
  // fails (SIGPIPE stays ignored across exec) instead of ending the program.
  if (!g_spawn_async(
          nullptr, arguments.data(), nullptr,
          static_cast<GSpawnFlags>(G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_DO_NOT_REAP_CHILD),
          +[](gpointer) {
            setsid();
            signal(SIGPIPE, SIG_IGN);
          },
          nullptr, &pid, &error)) {
    start.Reason = error->message;
    g_error_free(error);
    return start;
  }
  start.Started = true;
  for (int wait = 0; wait < waits; ++wait) {
    start.Ended = waitpid(pid, &start.Status, WNOHANG) == pid;
    if (start.Ended || (serving && serving(pid))) break;
    g_usleep(WaitStep);
  }
  if (!start.Ended) {
    g_child_watch_add(
        pid, +[](GPid child, gint, gpointer) { g_spawn_close_pid(child); }, nullptr);
  }
  return start;
}

std::string EndedAtOnce(int status) {
  return WIFEXITED(status) ? "it ended at once with status " + std::to_string(WEXITSTATUS(status))
                           : "it ended at once on signal " + std::to_string(WTERMSIG(status));
}
