// The running program's folder, from /proc/self/exe, and the companions found from it.
#include "program_folder.h"

#include <unistd.h>

#include <climits>
#include <filesystem>

std::string ProgramPath() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof path) return std::string();
  return std::string(path, static_cast<size_t>(length));
}

std::string ProgramFolder() {
  const std::string program = ProgramPath();
  return program.substr(0, program.rfind('/') + 1);
}

std::string CompanionPath(const std::string& inBuild, const std::string& installed,
                          const std::string& unknownFolder) {
  const std::string folder = ProgramFolder();
  if (folder.empty()) return unknownFolder;
  const std::string built = folder + inBuild;
  const std::string found = access(built.c_str(), X_OK) == 0 ? built : folder + installed;
  return std::filesystem::path(found).lexically_normal().string();
}
