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

namespace {

// The exact CP932 form of a wide path, for the calls that take one.
bool Narrow(const std::u16string& wide, std::string& path) {
  return Utf16ToSjisExact(wide, path);
}

}  // namespace

void Os::ShowFailureMessage(const std::string& text) {
  ShowMessage(text);
}

std::unique_ptr<File> Os::OpenReadWide(const std::u16string& path) {
  std::string narrow;
  return Narrow(path, narrow) ? OpenRead(narrow) : nullptr;
}

std::unique_ptr<File> Os::CreateWide(const std::u16string& path) {
  std::string narrow;
  return Narrow(path, narrow) ? Create(narrow) : nullptr;
}

bool Os::DeleteWide(const std::u16string& path) {
  std::string narrow;
  return Narrow(path, narrow) && Delete(narrow);
}

bool Os::FindFirstWide(const std::u16string& path, DirEntry& entry) {
  std::string narrow;
  return Narrow(path, narrow) && FindFirst(narrow, entry);
}

bool Os::FileExistsWide(const std::u16string& path) {
  std::string narrow;
  return Narrow(path, narrow) && FileExists(narrow);
}

bool Os::SetLastWriteTimeWide(const std::u16string& path, const LocalTime& time) {
  std::string narrow;
  return Narrow(path, narrow) && SetLastWriteTime(narrow, time);
}

bool Os::SetArchiveOnlyWide(const std::u16string& path) {
  std::string narrow;
  return Narrow(path, narrow) && SetArchiveOnly(narrow);
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
