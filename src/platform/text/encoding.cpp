// Encoding conversions over iconv: a lenient decoder (damaged input becomes U+FFFD, never an
// error) and a strict encoder (a character that would be lost fails the whole conversion).
#include "text/encoding.h"

#include <iconv.h>

#include <cerrno>

namespace {

const char* const Replacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

const iconv_t NoConverter = reinterpret_cast<iconv_t>(-1);

// Converts from in[done] onward into out until the input ends or a sequence fails; returns
// 0 when all of it converted, else the errno of the failure (EILSEQ, EINVAL).
int Run(iconv_t handle, const std::string& in, size_t& done, std::string& out) {
  char buffer[1024];
  for (;;) {
    // iconv never writes through its input pointer; the cast only matches its signature.
    char* source = const_cast<char*>(in.data()) + done;
    size_t left = in.size() - done;
    char* target = buffer;
    size_t room = sizeof buffer;
    const size_t result = iconv(handle, &source, &left, &target, &room);
    const int error = result == static_cast<size_t>(-1) ? errno : 0;
    out.append(buffer, static_cast<size_t>(target - buffer));
    done = in.size() - left;
    if (error != E2BIG) return error;
  }
}

// Writes any shift sequence that ends the output and resets the state for the next text.
void Finish(iconv_t handle, std::string& out) {
  char buffer[64];
  char* target = buffer;
  size_t room = sizeof buffer;
  iconv(handle, nullptr, nullptr, &target, &room);
  out.append(buffer, static_cast<size_t>(target - buffer));
}

}  // namespace

TUtf8Decoder::TUtf8Decoder(const char* from, size_t unitBytes) : UnitBytes(unitBytes) {
  const iconv_t handle = iconv_open("UTF-8", from);
  Handle = handle == NoConverter ? nullptr : handle;
}

TUtf8Decoder::~TUtf8Decoder() {
  if (Handle) iconv_close(static_cast<iconv_t>(Handle));
}

std::string TUtf8Decoder::Decode(const std::string& text) {
  std::string out;
  out.reserve(text.size() * 2);
  if (!Handle) {
    for (size_t i = 0; i < text.size(); i += UnitBytes) {
      const auto byte = static_cast<unsigned char>(text[i]);
      if (UnitBytes == 1 && byte < 0x80)
        out += text[i];
      else
        out += Replacement;
    }
    return out;
  }
  const auto handle = static_cast<iconv_t>(Handle);
  size_t done = 0;
  while (Run(handle, text, done, out) != 0) {
    // The failed unit is skipped; a cut-off sequence at the end (EINVAL) is one last unit.
    out += Replacement;
    done += UnitBytes;
    if (done >= text.size()) break;
  }
  Finish(handle, out);
  return out;
}

std::string DecodeToUtf8(const std::string& text, const char* from, size_t unitBytes) {
  return TUtf8Decoder(from, unitBytes).Decode(text);
}

bool EncodeFromUtf8(const std::string& utf8, const char* to, std::string& text) {
  text.clear();
  const iconv_t handle = iconv_open(to, "UTF-8");
  if (handle == NoConverter) return false;
  size_t done = 0;
  const bool ok = Run(handle, utf8, done, text) == 0;
  if (ok) Finish(handle, text);
  iconv_close(handle);
  return ok;
}
