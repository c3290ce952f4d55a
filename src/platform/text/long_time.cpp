// LongTimeText: the locale's time format (T_FMT) through a locale object made from the
// environment, so the process-wide C locale stays untouched. Output in another codeset than
// UTF-8 is converted with iconv.
#include "text/long_time.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <strings.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "text_surface.h"

namespace {

constexpr const char* kFallbackFormat = "%H:%M:%S";
// strftime gives no way to ask for the needed size; a time of day never comes near this.
constexpr size_t kMaxTextBytes = 4096;

// The user's locale for time text. Whole-environment first; when one of the other categories
// names a locale that is not installed, the time and character categories alone still count.
locale_t UserTimeLocale() {
  locale_t locale = newlocale(LC_ALL_MASK, "", static_cast<locale_t>(0));
  if (locale == static_cast<locale_t>(0)) {
    locale = newlocale(LC_TIME_MASK | LC_CTYPE_MASK, "", static_cast<locale_t>(0));
  }
  if (locale == static_cast<locale_t>(0)) {
    locale = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
  }
  return locale;
}

// The user's time locale, made again only when the environment that names it changes: making
// one opens and maps a dozen files, too much for a clock drawn every frame.
locale_t CachedUserTimeLocale() {
  static const char* const kNames[] = {
      "LC_ALL",     "LANG",         "LC_CTYPE",       "LC_NUMERIC",        "LC_TIME",
      "LC_COLLATE", "LC_MONETARY",  "LC_MESSAGES",    "LC_PAPER",          "LC_NAME",
      "LC_ADDRESS", "LC_TELEPHONE", "LC_MEASUREMENT", "LC_IDENTIFICATION", "LOCPATH"};
  struct TCache {
    bool Made = false;
    std::string Key;
    locale_t Locale = static_cast<locale_t>(0);
    ~TCache() {
      if (Locale != static_cast<locale_t>(0)) freelocale(Locale);
    }
  };
  static TCache cache;
  std::string key;
  for (const char* name : kNames) {
    const char* value = std::getenv(name);
    // An unset variable differs from an empty one.
    key += value != nullptr ? std::string("=") + value : std::string("-");
    key += '\0';
  }
  if (!cache.Made || key != cache.Key) {
    if (cache.Locale != static_cast<locale_t>(0)) freelocale(cache.Locale);
    cache.Locale = UserTimeLocale();
    cache.Key = key;
    cache.Made = true;
  }
  return cache.Locale;
}

// strftime_l into a growing buffer. An empty result and a too-small buffer look alike, so
// growth stops at kMaxTextBytes.
std::string Format(const char* format, const std::tm& time, locale_t locale) {
  std::vector<char> buffer(128);
  while (true) {
    const size_t length = locale != static_cast<locale_t>(0)
                              ? strftime_l(buffer.data(), buffer.size(), format, &time, locale)
                              : strftime(buffer.data(), buffer.size(), format, &time);
    if (length > 0 || buffer.size() >= kMaxTextBytes) return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

bool IsUtf8Codeset(const char* codeset) {
  return strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "UTF8") == 0;
}

bool IsAscii(const std::string& text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// Converts from the locale's codeset to UTF-8; false when iconv cannot.
bool ToUtf8(const std::string& text, const char* codeset, std::string& result) {
  iconv_t converter = iconv_open("UTF-8", codeset);
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;
  std::string input = text;
  std::vector<char> output(text.size() * 4 + 16);
  char* in = input.data();
  size_t inLeft = input.size();
  char* out = output.data();
  size_t outLeft = output.size();
  bool ok = true;
  while (inLeft > 0) {
    if (iconv(converter, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1)) continue;
    if (errno != E2BIG) {
      ok = false;
      break;
    }
    const size_t used = static_cast<size_t>(out - output.data());
    output.resize(output.size() * 2);
    out = output.data() + used;
    outLeft = output.size() - used;
  }
  iconv_close(converter);
  if (ok) result.assign(output.data(), static_cast<size_t>(out - output.data()));
  return ok;
}

}  // namespace

std::string FormatLongTime(const std::tm& time) {
  locale_t locale = CachedUserTimeLocale();
  std::string text;
  if (locale != static_cast<locale_t>(0)) {
    const char* format = nl_langinfo_l(T_FMT, locale);
    text = Format(format != nullptr && *format != '\0' ? format : kFallbackFormat, time, locale);
    const char* codeset = nl_langinfo_l(CODESET, locale);
    if (!IsAscii(text) && codeset != nullptr && !IsUtf8Codeset(codeset)) {
      std::string converted;
      // Text that cannot be converted would reach the screen as mojibake: the plain digits
      // say the same.
      text = ToUtf8(text, codeset, converted) ? converted : std::string();
    }
  }
  if (text.empty()) text = Format(kFallbackFormat, time, static_cast<locale_t>(0));
  return text;
}

std::string LongTimeText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return std::string();
  return FormatLongTime(local);
}
