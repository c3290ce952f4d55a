// LongTimeText on Windows: GetTimeFormatW with the user's long time format (no format string,
// no flags), converted to UTF-8.
#include "text_surface.h"
#include "wide_text.h"
#include "windows_api.h"

std::string LongTimeText() {
  wchar_t text[128];  // a time of day in any locale's format is far shorter
  const int length = GetTimeFormatW(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, text, 128);
  if (length <= 0) return std::string();
  return Utf8FromWide(text);
}
