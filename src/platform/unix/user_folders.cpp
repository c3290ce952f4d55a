// The XDG configuration folder and the ownership test of the folders written into.
#include "user_folders.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The group is the user's own: their primary group, with no other members listed.
bool IsPrivateGroup(gid_t group) {
  const passwd* user = getpwuid(geteuid());
  if (user == nullptr || user->pw_gid != group) return false;
  const struct group* entry = getgrgid(group);
  return entry != nullptr && (entry->gr_mem == nullptr || entry->gr_mem[0] == nullptr);
}

}  // namespace

std::string ConfigHomeOf(const char* xdgConfigHome, const char* home) {
  if (xdgConfigHome != nullptr && xdgConfigHome[0] == '/') return xdgConfigHome;
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.config";
  return std::string();
}

std::string ConfigHome() {
  return ConfigHomeOf(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
}

bool IsOwnFolder(const std::string& folder, std::string& reason) {
  struct stat info;
  if (stat(folder.c_str(), &info) != 0) {
    reason = "the folder '" + folder + "': " + std::strerror(errno);
    return false;
  }
  if (!S_ISDIR(info.st_mode)) {
    reason = "'" + folder + "' is no folder";
  } else if (info.st_uid != geteuid()) {
    reason = "the folder '" + folder + "' belongs to another user";
  } else if ((info.st_mode & S_IWOTH) != 0 ||
             ((info.st_mode & S_IWGRP) != 0 && !IsPrivateGroup(info.st_gid))) {
    reason = "others can write into the folder '" + folder + "'";
  } else {
    return true;
  }
  return false;
}

bool OwnFileToWrite(const std::string& path, std::string& target, std::string& reason) {
  if (!IsOwnFolder(FolderOf(path), reason)) return false;
  char resolved[PATH_MAX];
  target = realpath(path.c_str(), resolved) ? resolved : path;
  return target == path || IsOwnFolder(FolderOf(target), reason);
}
