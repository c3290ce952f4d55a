// The user's own folders: the XDG configuration folder, for the settings store and the
// autostart entries alike.
#pragma once

#include <string>

// ${XDG_CONFIG_HOME:-$HOME/.config} from those two variables (null: unset). A relative folder
// counts as unset, as the XDG rules ask, so nothing lands in the working folder; empty when
// neither names a folder.
std::string ConfigHomeOf(const char* xdgConfigHome, const char* home);
// The same from this process's environment.
std::string ConfigHome();
