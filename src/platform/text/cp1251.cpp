// Code page 1251 to UTF-8 through the C library's converter, so the table is the system's.
#include "text/cp1251.h"

#include "text/encoding.h"

std::string Cp1251ToUtf8(const std::string& text) {
  return DecodeToUtf8(text, "CP1251", 1);
}
