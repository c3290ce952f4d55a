// The Wayland backend: not built yet.
#include "forms_backend.h"

std::unique_ptr<TApplication::TPlatformState> ConnectWayland(std::string& error) {
  error = "no Wayland support in this build";
  return nullptr;
}
