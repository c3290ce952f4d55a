// Code page 1251 (Windows Cyrillic) to UTF-8, for the single-byte captions the shell builds.
// The one unassigned byte, 0x98, becomes U+FFFD; so does every byte above 0x7F on a system
// without the code page's converter.
#pragma once

#include <string>

std::string Cp1251ToUtf8(const std::string& text);
