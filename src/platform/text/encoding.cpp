// Encoding conversions over iconv: a lenient decoder (damaged input becomes U+FFFD, never an
// error) and a strict encoder (a character that would be lost fails the whole conversion).
#include "text/encoding.h"

#include <iconv.h>

#include <cerrno>

namespace {

const char* const Replacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// One iconv conversion descriptor, closed with its owner.
class TConverter {
 public:
  TConverter(const char* to, const char* from) : Handle(iconv_open(to, from)) {}
  ~TConverter() {
    if (IsOpen()) iconv_close(Handle);
  }
  TConverter(const TConverter&) = delete;
  TConverter& operator=(const TConverter&) = delete;

  bool IsOpen() const { return Handle != reinterpret_cast<iconv_t>(-1); }

  // Converts from in[done] onward into out until the input ends or a sequence fails; returns
  // 0 when all of it converted, else the errno of the failure (EILSEQ, EINVAL).
  int Run(const std::string& in, size_t& done, std::string& out) {
    char buffer[1024];
    for (;;) {
      // iconv never writes through its input pointer; the cast only matches its signature.
      char* source = const_cast<char*>(in.data()) + done;
      size_t left = in.size() - done;
      char* target = buffer;
      size_t room = sizeof buffer;
      const size_t result = iconv(Handle, &source, &left, &target, &room);
      const int error = result == static_cast<size_t>(-1) ? errno : 0;
      out.append(buffer, static_cast<size_t>(target - buffer));
      done = in.size() - left;
      if (error != E2BIG) return error;
    }
  }

  // Writes any shift sequence that ends the output and resets the state for the next text.
  void Finish(std::string& out) {
    char buffer[64];
    char* target = buffer;
    size_t room = sizeof buffer;
    iconv(Handle, nullptr, nullptr, &target, &room);
    out.append(buffer, static_cast<size_t>(target - buffer));
  }

 private:
  iconv_t Handle;
};

}  // namespace

std::string DecodeToUtf8(const std::string& text, const char* from, size_t unitBytes) {
  std::string out;
  out.reserve(text.size() * 2);
  TConverter converter("UTF-8", from);
  if (!converter.IsOpen()) {
    for (size_t i = 0; i < text.size(); i += unitBytes) {
      const auto byte = static_cast<unsigned char>(text[i]);
      if (unitBytes == 1 && byte < 0x80)
        out += text[i];
      else
        out += Replacement;
    }
    return out;
  }
  size_t done = 0;
  while (converter.Run(text, done, out) != 0) {
    // The failed unit is skipped; a cut-off sequence at the end (EINVAL) is one last unit.
    out += Replacement;
    done += unitBytes;
    if (done >= text.size()) break;
  }
  converter.Finish(out);
  return out;
}

bool EncodeFromUtf8(const std::string& utf8, const char* to, std::string& text) {
  text.clear();
  TConverter converter(to, "UTF-8");
  if (!converter.IsOpen()) return false;
  size_t done = 0;
  if (converter.Run(utf8, done, text) != 0) return false;
  converter.Finish(text);
  return true;
}
