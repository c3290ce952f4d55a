// The running program's folder, from /proc/self/exe.
#include "program_folder.h"

#include <unistd.h>

#include <climits>

std::string ProgramFolder() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof path) return std::string();
  const std::string program(path, static_cast<size_t>(length));
  return program.substr(0, program.rfind('/') + 1);
}
