// UTF-8 decoding for the text surfaces (RFC 3629: at most four bytes, no surrogates, no
// overlong forms). Each maximal invalid subsequence becomes one U+FFFD.
#include "text/utf8.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

}  // namespace

std::u32string DecodeUtf8(const std::string& text) {
  std::u32string result;
  result.reserve(text.size());
  const size_t size = text.size();
  size_t i = 0;
  while (i < size) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      result.push_back(lead);
      ++i;
      continue;
    }
    int length = 0;
    char32_t code = 0;
    // The second byte's range also rules out overlong forms, surrogates and values past
    // U+10FFFF, so the later bytes only need to be continuation bytes.
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      code = lead & 0x0F;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      code = lead & 0x07;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      result.push_back(kReplacement);
      ++i;
      continue;
    }
    size_t used = 1;
    bool valid = true;
    while (used < static_cast<size_t>(length)) {
      if (i + used >= size) {
        valid = false;
        break;
      }
      const unsigned char byte = static_cast<unsigned char>(text[i + used]);
      const bool inRange = used == 1 ? (byte >= low && byte <= high) : IsContinuation(byte);
      if (!inRange) {
        valid = false;
        break;
      }
      code = (code << 6) | (byte & 0x3F);
      ++used;
    }
    result.push_back(valid ? code : kReplacement);
    // An invalid sequence consumes only the bytes that could still have begun it, so the byte
    // that broke it is read again as the start of the next character.
    i += used;
  }
  return result;
}

bool IsSpaceSeparator(char32_t c) {
  return c == 0x0020 || c == 0x00A0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x202F ||
         c == 0x205F || c == 0x3000;
}
