// Conversions between the program's byte strings (UTF-8, or code page 1251 for the statistics
// caption) and the UTF-16 text of the wide Win32 calls. Invalid input bytes become U+FFFD.
#pragma once

#include <string>

// UTF-8 (or, with codePage 1251, Windows-1251) bytes as UTF-16.
std::wstring WideFromBytes(const std::string& text, unsigned codePage);
std::wstring WideFromUtf8(const std::string& text);
// UTF-16 as UTF-8; length -1 reads up to the terminating zero.
std::string Utf8FromWide(const wchar_t* text, int length = -1);
