// The switch between the real operating system and a test's wrapper. Kept
// free of OS headers: it is compiled on every platform.
#include "platform/platform.h"

#include <string>

#include "text/sjis.h"
#include "text/unicode.h"

namespace platform {

namespace {
Os* installed = nullptr;
}  // namespace

std::string PathForPerson(const std::string& internal) {
#ifdef _WIN32
  return internal;
#else
  // A real "\" at the end, not the second byte of a double-byte character.
  bool separatorAtEnd = false;
  for (std::size_t i = 0; i < internal.size(); ++i) {
    const auto b = static_cast<unsigned char>(internal[i]);
    if (IsSjisLeadByte(b)) {
      ++i;
      separatorAtEnd = false;
    } else {
      separatorAtEnd = b == '\\';
    }
  }
  std::string native = InternalToNative(internal);
  if (separatorAtEnd && !native.empty() && native.back() != '/') native += '/';
  std::string sjis;
  return DisplayToSjis(native, sjis) ? sjis : internal;
#endif
}

void Os::ShowFailureMessage(const std::string& text) {
  ShowMessage(text);
}

Os& Current() {
  return installed ? *installed : Native();
}

ScopedOs::ScopedOs(Os& os) : previous_(installed) {
  installed = &os;
}

ScopedOs::~ScopedOs() {
  installed = previous_;
}

}  // namespace platform
