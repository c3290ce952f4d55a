// TRegDocument: the text of one registry export file (.reg) holding one key, edited line by
// line so that lines and values it does not understand survive. A 32-bit value is
// "Name"=dword: with exactly 8 hex digits; every other form of data is another type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "registry.h"

// One value of the key as the file holds it.
struct TRegValue {
  TRegistryValueType Type = TRegistryValueType::Other;
  // A 32-bit integer as 4 bytes, least significant first; any other type as the text that
  // follows the '=' (continuation lines joined), so its size is that text's length.
  std::vector<unsigned char> Data;
};

class TRegDocument {
 public:
  // keyName is the full name in the section header: "HKEY_CURRENT_USER\\Software\\...".
  explicit TRegDocument(std::string keyName);

  // Takes the file's text; false when it is not text (it holds NUL bytes).
  bool Load(const std::string& text);

  // The value's data; false when the key has no value of that name. Names compare
  // without regard to ASCII case, as registry names do; the last definition wins.
  bool Find(const std::string& name, TRegValue& value) const;

  // Writes a value as a 32-bit integer in place of the first definition of that name and
  // drops later ones; a new name goes after the key's last value, a missing key section
  // at the end of the file.
  void SetDword(const std::string& name, uint32_t value);

  // An empty document gains the file header and the key's section header.
  void AddKeyIfMissing();

  // The whole file, every line ended with the line end the file used (CRLF or LF).
  std::string Text() const;

 private:
  // A value definition inside one of the key's sections; hex data may continue over
  // following lines with a trailing backslash, so it spans lines First..Last.
  struct TEntry {
    size_t First;
    size_t Last;
    std::string Name;
    std::string Data;
  };

  void Scan(std::vector<TEntry>& entries, size_t& keyEnd) const;

  std::string KeyName;
  std::vector<std::string> Lines;  // without their line ends
  std::string LineEnd = "\n";
};
