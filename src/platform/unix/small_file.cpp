// The whole text of a small file, read with open, fstat and read.
#include "small_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

TSmallFileRead ReadSmallFile(const std::string& path, size_t maxSize, std::string& text) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT ? TSmallFileRead::Missing : TSmallFileRead::Unreadable;
  struct stat info;
  TSmallFileRead result = TSmallFileRead::Read;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) result = TSmallFileRead::Unreadable;
  text.clear();
  char buffer[4096];
  while (result == TSmallFileRead::Read) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) result = TSmallFileRead::Unreadable;
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
    if (text.size() > maxSize) result = TSmallFileRead::Unreadable;
  }
  close(fd);
  return result;
}
