// What a key press hands to the forms on Linux, under X11 or Wayland (xkbcommon's key symbols are
// X's): the Windows virtual-key code of its key symbol, and the characters it typed as single
// bytes of code page 1251, the code page of the shell's strings.
#pragma once

#include <cstdint>
#include <string>

// The virtual-key code of an unshifted key symbol. A key without a code of its own (a dead key,
// a letter outside A to Z, a key unknown to Windows, no symbol at all) gets VK::Unassigned, so
// that every key is reported and none of them passes for Space.
uint16_t VirtualKeyOf(unsigned long keySym);

// Typed UTF-8 text as one byte per character in code page 1251; '?' stands for a character that
// has no byte there, as in the characters Windows hands to a window of that code page.
std::string KeyPressCharacters(const std::string& utf8);
