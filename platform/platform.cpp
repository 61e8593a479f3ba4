// The switch between the real operating system and a test's wrapper. Kept
// free of OS headers: it is compiled on every platform.
#include "platform/platform.h"

#include <string>

#include "platform/unicode.h"

namespace platform {

namespace {
Os* installed = nullptr;
Desktop* installedDesktop = nullptr;
}  // namespace

std::string PathForPerson(const Path& internal) {
#ifdef _WIN32
  return PathInText(internal);
#else
  std::string native = InternalToDisplay(internal);
  if (!internal.empty() && (internal.back() == u'\\' || internal.back() == u'/') &&
      !native.empty() && native.back() != '/')
    native += '/';
  std::u16string units;
  Utf8ToUtf16(native, units);
  return PathInText(units);
#endif
}

void Desktop::ShowFailureMessage(const std::string& text) {
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

Desktop& CurrentDesktop() {
  return installedDesktop ? *installedDesktop : NativeDesktop();
}

ScopedDesktop::ScopedDesktop(Desktop& desktop) : previous_(installedDesktop) {
  installedDesktop = &desktop;
}

ScopedDesktop::~ScopedDesktop() {
  installedDesktop = previous_;
}

}  // namespace platform
