// Loading the settings dialog's module: beside the running program in the build folder, else
// in its installed folder, TUNDREL_SETTINGS_MODULE_FOLDER from the program's.
#include <dlfcn.h>

#include <cstdio>

#include "program_folder.h"
#include "settings_dialog.h"

int RunSettingsDialog(const std::string& applicationTitle) {
  const std::string folder = ProgramFolder();
  std::string error = "the program's folder is unknown";
  void* module = nullptr;
  if (!folder.empty()) {
    for (const std::string& place :
         {folder + SettingsDialogModule,
          folder + TUNDREL_SETTINGS_MODULE_FOLDER + "/" + SettingsDialogModule}) {
      // Kept loaded until the process ends, as GTK cannot be unloaded.
      module = dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (module != nullptr) break;
      error = dlerror();
    }
  }
  void* entry = module != nullptr ? dlsym(module, SettingsDialogEntry) : nullptr;
  if (entry == nullptr) {
    if (module != nullptr) error = dlerror();
    std::fprintf(stderr, "tundrel: cannot load the settings dialog: %s\n", error.c_str());
    return 1;
  }
  return reinterpret_cast<TSettingsDialogEntry>(entry)(applicationTitle.c_str());
}
