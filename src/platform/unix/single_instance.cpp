// The session's instance of a name, over an abstract Unix socket.
#include "single_instance.h"

#include <errno.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace {

// "\0tundrel/<uid>/<name>/<runtime folder>/<Wayland display>/<X display>": a session's displays
// tell it from another session of the same user (a compositor of its own names its socket in its
// own runtime folder).
socklen_t InstanceAddress(const std::string& name, sockaddr_un& address) {
  auto env = [](const char* variable) {
    const char* value = std::getenv(variable);
    return std::string(value ? value : "");
  };
  const std::string path = "tundrel/" + std::to_string(getuid()) + "/" + name + "/" +
                           env("XDG_RUNTIME_DIR") + "/" + env("WAYLAND_DISPLAY") + "/" +
                           env("DISPLAY");
  address = sockaddr_un{};
  address.sun_family = AF_UNIX;
  const size_t length = std::min(path.size(), sizeof(address.sun_path) - 1);
  std::memcpy(address.sun_path + 1, path.data(), length);
  return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
}

int StreamSocket() {
  return socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
}

}  // namespace

int ListenAsInstance(const std::string& name, bool& alreadyRunning, std::string& error) {
  alreadyRunning = false;
  sockaddr_un address;
  const socklen_t length = InstanceAddress(name, address);
  const int fd = StreamSocket();
  if (fd < 0) {
    error = std::string("no socket: ") + std::strerror(errno);
    return -1;
  }
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
    const int failure = errno;
    close(fd);
    if (failure == EADDRINUSE) {
      alreadyRunning = true;
    } else {
      error = std::string("cannot claim the session's instance: ") + std::strerror(failure);
    }
    return -1;
  }
  if (listen(fd, 4) != 0) {
    error = std::string("cannot claim the session's instance: ") + std::strerror(errno);
    close(fd);
    return -1;
  }
  return fd;
}

bool TakeStopRequest(int fd) {
  bool stop = false;
  for (;;) {
    const int peer = accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (peer < 0) break;
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (getsockopt(peer, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 &&
        credentials.uid == getuid())
      stop = true;
    close(peer);
  }
  return stop;
}

bool RequestInstanceStop(const std::string& name) {
  sockaddr_un address;
  const socklen_t length = InstanceAddress(name, address);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool reached = connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0;
  close(fd);
  return reached;
}
