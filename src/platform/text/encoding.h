// Conversions between UTF-8 and the other character encodings the platform layer meets (UTF-16,
// Windows code pages), done by the C library's iconv. Unreadable input never stops a decode.
#pragma once

#include <cstddef>
#include <string>

// Decodes text in the encoding `from` (an iconv name such as "UTF-16LE" or "CP1251") to UTF-8.
// Each code unit that does not decode (an unassigned byte, a lone surrogate, a unit cut off
// at the end) becomes one U+FFFD; unitBytes is the size of a code unit (1 or 2 bytes).
// Without a converter for `from`, ASCII bytes pass and every other unit becomes U+FFFD.
std::string DecodeToUtf8(const std::string& text, const char* from, size_t unitBytes);

// The same decoding for many texts in one encoding (the lines of a file): the converter is set
// up once. Not for use from two threads at once.
class TUtf8Decoder {
 public:
  TUtf8Decoder(const char* from, size_t unitBytes);
  ~TUtf8Decoder();
  TUtf8Decoder(const TUtf8Decoder&) = delete;
  TUtf8Decoder& operator=(const TUtf8Decoder&) = delete;

  std::string Decode(const std::string& text);

 private:
  void* Handle;  // the iconv descriptor, or null without a converter
  size_t UnitBytes;
};

// Encodes UTF-8 text in the encoding `to`; false when the text is not valid UTF-8, holds a
// character `to` cannot express, or no converter exists. Nothing is ever replaced by '?'.
bool EncodeFromUtf8(const std::string& utf8, const char* to, std::string& text);
