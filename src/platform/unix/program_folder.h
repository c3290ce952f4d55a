// Where the running program lies, for the Linux programs that find their companions (the
// settings dialog's module, the idle watcher, the saver) by paths relative to their own folder.
#pragma once

#include <string>

// The running program's file, links resolved (a link on the PATH names the file it points to);
// empty when it cannot be told.
std::string ProgramPath();
// The folder of the running program with a slash at its end; empty when it cannot be told.
std::string ProgramFolder();

// A companion program: by the path inBuild from the running program's folder where an
// executable lies there (in the build folder), else by the path installed from it; the absolute
// path unknownFolder where that folder cannot be told.
std::string CompanionPath(const std::string& inBuild, const std::string& installed,
                          const std::string& unknownFolder);
