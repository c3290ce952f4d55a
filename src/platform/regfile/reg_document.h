// TRegDocument: one registry export file (.reg) holding one key, edited line by line so that
// lines and values it does not understand survive byte for byte, in the file's own encoding.
// A 32-bit value is "Name"=dword: with exactly 8 hex digits; every other form is another type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "registry.h"

// The lower case of an ASCII letter, every other byte unchanged: names compare alike whatever the
// user's locale says of bytes above 127.
inline unsigned char AsciiLower(unsigned char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

// One value of the key as the file holds it.
struct TRegValue {
  TRegistryValueType Type = TRegistryValueType::Other;
  // A 32-bit integer as 4 bytes, least significant first; any other type as the text that
  // follows the '=' (continuation lines joined), so its size is that text's length.
  std::vector<unsigned char> Data;
};

// How the file's bytes spell its text: regedit's export (UTF-16LE after a byte-order mark),
// UTF-8 with or without a byte-order mark, or a "REGEDIT4" file in the ANSI code page.
enum class TRegEncoding { Utf8, Utf8Bom, Utf16Le, Ansi };

class TRegDocument {
 public:
  // keyName is the full name in the section header: "HKEY_CURRENT_USER\\Software\\...".
  explicit TRegDocument(std::string keyName);

  // Takes the file's bytes; false when they are not text (they hold a NUL character).
  // Sequences that do not decode are read as U+FFFD and still kept as they were.
  bool Load(const std::string& bytes);

  TRegEncoding Encoding() const { return FileEncoding; }

  // The value's data; false when the key has no value of that name. Names compare
  // without regard to ASCII case, as registry names do; the last definition wins.
  bool Find(const std::string& name, TRegValue& value) const;

  // Writes a value as a 32-bit integer in place of the first definition of that name and
  // drops later ones; a new name goes after the key's last value, a missing key section
  // at the end of the file.
  void SetDword(const std::string& name, uint32_t value);

  // An empty document gains the file header and the key's section header.
  void AddKeyIfMissing();

  // The whole file in its encoding: lines read and not changed as they were, each new line
  // ended with the line end of the file's first line (CRLF or LF). False when a new line
  // cannot be written in the file's encoding (a name outside the ANSI code page).
  bool Bytes(std::string& bytes) const;

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

  struct TLine {
    std::string Text;  // decoded to UTF-8, without the line end
    std::string Raw;   // the file's bytes with the line end; empty for a line written here
  };

  std::string KeyName;
  std::vector<TLine> Lines;
  std::string LineEnd = "\n";
  TRegEncoding FileEncoding = TRegEncoding::Utf8;
  std::string Bom;   // the byte-order mark as the file spells it
  std::string Tail;  // a lone last byte of a UTF-16 file, kept after everything else
};
