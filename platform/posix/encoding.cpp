#include "platform/posix/encoding.h"

#include <iconv.h>

#include <cerrno>

#include "platform/unicode.h"

namespace platform::posix {

namespace {

const char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// One iconv descriptor per direction and thread, reset before each use:
// opening a descriptor costs far more than a path conversion.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts in[from..]; returns the offset where a sequence failed to
  // convert (or in.size() when everything converted).
  std::size_t Run(const std::string& in, std::size_t from, std::string& out) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) return from;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(in.data()) + from;
    std::size_t srcLeft = in.size() - from;
    char buffer[512];
    while (srcLeft > 0) {
      char* dst = buffer;
      std::size_t dstLeft = sizeof buffer;
      std::size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
      out.append(buffer, dst - buffer);
      if (r == static_cast<std::size_t>(-1) && errno != E2BIG) break;
    }
    return in.size() - srcLeft;
  }

 private:
  iconv_t cd_;
};

Converter& ToUtf8() {
  static thread_local Converter c("UTF-8", "CP932");
  return c;
}

Converter& ToCp932() {
  static thread_local Converter c("CP932", "UTF-8");
  return c;
}

}  // namespace

bool Cp932ToUtf8(const std::string& in, std::string& out, std::size_t* badAt) {
  out.clear();
  std::size_t stop = ToUtf8().Run(in, 0, out);
  if (badAt) *badAt = stop;
  return stop == in.size();
}

bool Utf8ToCp932(const std::string& in, std::string& out, std::size_t* badAt) {
  out.clear();
  std::size_t stop = ToCp932().Run(in, 0, out);
  if (badAt) *badAt = stop;
  return stop == in.size();
}

std::string Cp932ToUtf8Lossy(const std::string& in) {
  std::string out;
  std::size_t pos = 0;
  while (pos < in.size()) {
    pos = ToUtf8().Run(in, pos, out);
    if (pos >= in.size()) break;
    out += kReplacement;
    // The byte after a lead byte belongs to it whatever its value, so an
    // undefined double-byte character is one replacement, not two.
    pos += (IsSjisLeadByte(static_cast<unsigned char>(in[pos])) && pos + 1 < in.size()) ? 2 : 1;
  }
  return out;
}

}  // namespace platform::posix
