// The XDG configuration folder.
#include "user_folders.h"

#include <cstdlib>

std::string ConfigHomeOf(const char* xdgConfigHome, const char* home) {
  if (xdgConfigHome != nullptr && xdgConfigHome[0] == '/') return xdgConfigHome;
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.config";
  return std::string();
}

std::string ConfigHome() {
  return ConfigHomeOf(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
}
