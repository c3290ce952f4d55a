// Reading a small text file of the user's (settings, an autostart entry) whole, safely.
#pragma once

#include <cstddef>
#include <string>

enum class TSmallFileRead { Read, Missing, Unreadable };

// The whole text of the regular file at path, opened without blocking (a FIFO in its place
// would hang the reader). Missing when nothing is there; Unreadable when it cannot be read, is
// no regular file or holds more than maxSize bytes.
TSmallFileRead ReadSmallFile(const std::string& path, size_t maxSize, std::string& text);
