// The user's own folders: the XDG configuration folder, and whether a file may be written in a
// folder at all, for the settings store and the autostart entries alike.
#pragma once

#include <string>

// ${XDG_CONFIG_HOME:-$HOME/.config} from those two variables (null: unset). A relative folder
// counts as unset, as the XDG rules ask, so nothing lands in the working folder; empty when
// neither names a folder.
std::string ConfigHomeOf(const char* xdgConfigHome, const char* home);
// The same from this process's environment.
std::string ConfigHome();

// The file that writing at path replaces: path itself, or the file a symbolic link there names.
// False with the reason when the folder of either is not the user's or others can write into it
// (a link planted there by someone else would name the file to overwrite); a folder writable by
// the user's own private group only (a umask of 002) is the user's.
bool OwnFileToWrite(const std::string& path, std::string& target, std::string& reason);
// The folder test of OwnFileToWrite alone, for a folder about to receive a new file.
bool IsOwnFolder(const std::string& folder, std::string& reason);
