// Where the running program lies, for the Linux programs that find their companions (the
// settings dialog's module, the idle watcher, the saver) by paths relative to their own folder.
#pragma once

#include <string>

// The folder of the running program with a slash at its end; empty when it cannot be told.
std::string ProgramFolder();
