// Autostart entries through GKeyFile, which undoes and makes the value escapes of desktop entries
// (\\, \n, \s, ...); the Exec line's own quoting is done here, and undone as GLib's launcher does:
// field codes first ("%%" is '%'), then the shell's rules.
#include "autostart_entry.h"

#include <glib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "small_file.h"
#include "user_folders.h"

namespace {

const char* const Group = G_KEY_FILE_DESKTOP_GROUP;

// An autostart entry is a few hundred bytes; a larger file is not one to follow.
constexpr size_t MaxEntrySize = 64 * 1024;  // bytes

// One argument of an Exec line: in double quotes when it holds a reserved character, with '"',
// '`', '$' and '\' escaped inside them; '%' doubled.
std::string ExecArgument(const std::string& argument) {
  bool reserved = argument.empty();
  std::string quoted;
  for (char c : argument) {
    if (c != '\0' && std::strchr(" \t\n\"'\\><~|&;$*?#()`", c)) reserved = true;
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
    if (c == '%') quoted += '%';
  }
  return reserved ? '"' + quoted + '"' : quoted;
}

// The arguments of an Exec value; false when the shell's rules cannot split it.
bool ExecArguments(const std::string& exec, std::vector<std::string>& arguments) {
  std::string expanded;
  for (size_t i = 0; i < exec.size(); ++i) {
    if (exec[i] != '%') {
      expanded += exec[i];
    } else if (i + 1 < exec.size() && exec[++i] == '%') {
      expanded += '%';  // the other field codes stand for nothing at login
    }
  }
  gint count = 0;
  gchar** argv = nullptr;
  if (!g_shell_parse_argv(expanded.c_str(), &count, &argv, nullptr)) return false;
  arguments.assign(argv, argv + count);
  g_strfreev(argv);
  return true;
}

// A boolean key; fallback where it is missing, false where it is not a boolean.
bool Flag(GKeyFile* file, const char* key, bool fallback) {
  if (!g_key_file_has_key(file, Group, key, nullptr)) return fallback;
  return g_key_file_get_boolean(file, Group, key, nullptr) != FALSE;
}

// A string key's value, its escapes undone; empty where it is missing.
std::string Text(GKeyFile* file, const char* key) {
  gchar* value = g_key_file_get_string(file, Group, key, nullptr);
  const std::string text = value ? value : "";
  g_free(value);
  return text;
}

// Written beside the file, flushed to the disk and renamed into place; a symbolic link (a dotfile
// manager's) stays, and the file it names is replaced. Only in folders of the user's own.
bool ReplaceFile(const std::string& path, const std::string& text, std::string& reason) {
  const std::string folder = path.substr(0, path.rfind('/'));
  if (g_mkdir_with_parents(folder.c_str(), 0700) != 0) {
    reason = g_strerror(errno);
    return false;
  }
  std::string target;
  if (!OwnFileToWrite(path, target, reason)) return false;
  GError* error = nullptr;
  if (!g_file_set_contents_full(target.c_str(), text.data(), static_cast<gssize>(text.size()),
                                G_FILE_SET_CONTENTS_CONSISTENT, 0644, &error)) {
    reason = error->message;
    g_error_free(error);
    return false;
  }
  return true;
}

}  // namespace

std::string UserAutostartPath(const std::string& fileName) {
  const std::string folder = ConfigHome();
  return folder.empty() ? folder : folder + "/autostart/" + fileName;
}

bool ReadAutostartFile(const std::string& path, TAutostartEntry& entry) {
  std::string text;
  if (ReadSmallFile(path, MaxEntrySize, text) != TSmallFileRead::Read) return false;
  GKeyFile* file = g_key_file_new();
  const bool read =
      g_key_file_load_from_data(file, text.data(), text.size(), G_KEY_FILE_NONE, nullptr) &&
      g_key_file_has_group(file, Group);
  if (read) {
    const std::string tryExec = Text(file, "TryExec");
    gchar* program = tryExec.empty() ? nullptr : g_find_program_in_path(tryExec.c_str());
    entry.Enabled = !Flag(file, "Hidden", false) && Flag(file, "X-GNOME-Autostart-enabled", true) &&
                    (tryExec.empty() || program != nullptr);
    g_free(program);
    if (!ExecArguments(Text(file, "Exec"), entry.Exec)) entry.Exec.clear();
  }
  g_key_file_free(file);
  return read;
}

namespace {

// The first entry of the name in the system's configuration folders; empty where there is none.
std::string SystemAutostartPath(const std::string& fileName) {
  for (const gchar* const* folder = g_get_system_config_dirs(); *folder != nullptr; ++folder) {
    const std::string system = std::string(*folder) + "/autostart/" + fileName;
    if (access(system.c_str(), F_OK) == 0) return system;
  }
  return std::string();
}

}  // namespace

bool ReadAutostartEntry(const std::string& fileName, TAutostartEntry& entry) {
  // The user's file of the name overrides the system's: it counts even where it cannot be read.
  const std::string path = UserAutostartPath(fileName);
  if (!path.empty() && access(path.c_str(), F_OK) == 0) return ReadAutostartFile(path, entry);
  const std::string system = SystemAutostartPath(fileName);
  return !system.empty() && ReadAutostartFile(system, entry);
}

bool WriteAutostartEntry(const TAutostartFile& file, const TAutostartEntry& entry,
                         std::string& reason) {
  const std::string path = UserAutostartPath(file.FileName);
  if (path.empty()) {
    reason = "neither XDG_CONFIG_HOME nor HOME names a folder";
    return false;
  }
  std::string exec;
  for (const std::string& argument : entry.Exec)
    exec += (exec.empty() ? "" : " ") + ExecArgument(argument);
  GKeyFile* keys = g_key_file_new();
  g_key_file_set_comment(
      keys, nullptr, nullptr,
      (std::string(" Written by Tundrel's settings dialog: \"") + file.DialogLine + "\".").c_str(),
      nullptr);
  g_key_file_set_string(keys, Group, "Type", "Application");
  g_key_file_set_string(keys, Group, "Name", file.Name);
  g_key_file_set_string(keys, Group, "Comment", file.Comment);
  // A program that is gone (the package removed) is then skipped without a word.
  if (entry.Enabled && !entry.Exec.empty())
    g_key_file_set_string(keys, Group, "TryExec", entry.Exec[0].c_str());
  g_key_file_set_string(keys, Group, "Exec", exec.c_str());
  g_key_file_set_string(keys, Group, "Icon", "tundrel");
  g_key_file_set_boolean(keys, Group, "Terminal", FALSE);
  g_key_file_set_boolean(keys, Group, "NoDisplay", TRUE);
  if (file.OnlyShowIn != nullptr) {
    const gchar* const desktops[] = {file.OnlyShowIn};
    g_key_file_set_string_list(keys, Group, "OnlyShowIn", desktops, 1);
  }
  g_key_file_set_boolean(keys, Group, "X-GNOME-Autostart-enabled", entry.Enabled);
  g_key_file_set_boolean(keys, Group, "X-GNOME-AutoRestart", FALSE);
  if (!entry.Enabled) g_key_file_set_boolean(keys, Group, "Hidden", TRUE);
  gsize size = 0;
  gchar* data = g_key_file_to_data(keys, &size, nullptr);
  g_key_file_free(keys);
  const bool written = ReplaceFile(path, std::string(data, size), reason);
  g_free(data);
  if (!written) reason = "'" + path + "': " + reason;
  return written;
}

bool RemoveAutostartEntry(const TAutostartFile& file, std::string& reason) {
  if (!SystemAutostartPath(file.FileName).empty())
    return WriteAutostartEntry(file, TAutostartEntry{false, {}}, reason);
  const std::string path = UserAutostartPath(file.FileName);
  if (path.empty() || access(path.c_str(), F_OK) != 0) return true;
  // A link there is taken away itself, never the file it names.
  reason.clear();
  if (IsOwnFolder(path.substr(0, path.rfind('/')), reason) && unlink(path.c_str()) == 0)
    return true;
  if (reason.empty()) reason = g_strerror(errno);
  reason = "'" + path + "': " + reason;
  return false;
}
