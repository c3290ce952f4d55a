// UTF-8 and code-page text to and from UTF-16 through MultiByteToWideChar/WideCharToMultiByte.
#include "wide_text.h"

#include <windows.h>

#include <climits>

std::wstring WideFromBytes(const std::string& text, unsigned codePage) {
  if (text.empty() || text.size() > INT_MAX) return std::wstring();
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), size, &wide[0], length);
  return wide;
}

std::wstring WideFromUtf8(const std::string& text) {
  return WideFromBytes(text, CP_UTF8);
}

std::string Utf8FromWide(const wchar_t* text, int length) {
  if (!text || length == 0) return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string utf8(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, &utf8[0], size, nullptr, nullptr);
  // A length of -1 converts the terminating zero too; the string keeps its own.
  if (length < 0 && !utf8.empty() && utf8.back() == '\0') utf8.pop_back();
  return utf8;
}
