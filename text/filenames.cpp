#include "text/filenames.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "platform/casefold.h"
#include "platform/unicode.h"
#include "text/sjis.h"

namespace {

constexpr int kMaxBranch = 99999;
// Large pieces: a copy costs two system calls per piece.
constexpr std::size_t kCopyBlock = 128 * 1024;

bool IsSeparator(char16_t u) {
  return u == u'\\' || u == u'/' || u == u':';
}

// Offset just past the last "\", "/" or ":" (0 when there is none).
std::size_t NameStart(const std::u16string& path) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size(); ++i)
    if (IsSeparator(path[i])) start = i + 1;
  return start;
}

// Offset of the extension's "." in the file name, or path.size() if none.
std::size_t ExtStart(const std::u16string& path) {
  const std::size_t dot = path.rfind(u'.');
  return dot == std::u16string::npos || dot < NameStart(path) ? path.size() : dot;
}

// Any entry takes a name: a folder, and a dangling link, which a create
// would write through.
bool ExistsAsFile(const std::u16string& path) {
  platform::DirEntry entry;
  return platform::Current().FindFirst(path, entry);
}

void SetError(std::string* error, const std::string& text) {
  if (error) *error = text;
}

}  // namespace

std::u16string ExtractFileName(const std::u16string& path) {
  return path.substr(NameStart(path));
}

std::u16string ExtractFileDir(const std::u16string& path) {
  return path.substr(0, NameStart(path));
}

std::u16string ExtractFileExt(const std::u16string& path) {
  return path.substr(ExtStart(path));
}

std::u16string ChangeFileExt(const std::u16string& path, const std::u16string& ext) {
  return path.substr(0, ExtStart(path)) + ext;
}

std::u16string IncludeTrailingBackslash(const std::u16string& path) {
  return !path.empty() && path.back() == u'\\' ? path : path + u"\\";
}

std::u16string WithBranch(const std::u16string& name, int n) {
  const std::size_t dot = ExtStart(name);
  std::u16string out = name.substr(0, dot);
  out += u'~';
  for (char digit : std::to_string(n)) out += static_cast<char16_t>(digit);
  return out.append(name, dot);
}

std::int32_t PackDosDateTime(const platform::LocalTime& t) {
  // The packed form holds 1980 to 2107 only; outside that range the nearest
  // representable moment keeps stamps comparable instead of wrapping.
  platform::LocalTime c = t;
  if (c.year < 1980) c = platform::LocalTime{1980, 1, 1, 0, 0, 0};
  if (c.year > 2107) c = platform::LocalTime{2107, 12, 31, 23, 59, 58};
  std::uint32_t date = static_cast<std::uint32_t>(((c.year - 1980) << 9) | (c.month << 5) | c.day);
  std::uint32_t time =
      static_cast<std::uint32_t>((c.hour << 11) | (c.minute << 5) | (c.second / 2));
  return static_cast<std::int32_t>((date << 16) | (time & 0xFFFF));
}

platform::LocalTime UnpackDosDateTime(std::int32_t packed) {
  std::uint32_t p = static_cast<std::uint32_t>(packed);
  std::uint32_t date = p >> 16, time = p & 0xFFFF;
  platform::LocalTime t;
  t.year = static_cast<int>(date >> 9) + 1980;
  t.month = static_cast<int>((date >> 5) & 15);
  t.day = static_cast<int>(date & 31);
  t.hour = static_cast<int>(time >> 11);
  t.minute = static_cast<int>((time >> 5) & 63);
  t.second = static_cast<int>(time & 31) * 2;
  return t;
}

TFileStamp GetFileStamp(const std::u16string& path) {
  platform::DirEntry entry;
  if (!platform::Current().FindFirst(path, entry)) return TFileStamp{};
  return FileStampOf(entry);
}

TFileStamp FileStampOf(const platform::DirEntry& entry) {
  TFileStamp stamp;
  stamp.time = PackDosDateTime(entry.lastWrite);
  stamp.size = static_cast<std::int32_t>(static_cast<std::uint32_t>(entry.size & 0xFFFFFFFFu));
  return stamp;
}

std::optional<std::u16string> FirstUsableBranch(
    const std::u16string& path, const std::function<bool(const std::u16string&)>& usable) {
  if (usable(path)) return path;
  for (int n = 1; n <= kMaxBranch; ++n) {
    std::u16string candidate = WithBranch(path, n);
    if (usable(candidate)) return candidate;
  }
  return std::nullopt;
}

std::optional<std::u16string> MakeUniqueFileName(const std::u16string& path) {
  // Never hand out a taken name: the caller would overwrite that file.
  return FirstUsableBranch(path, [](const std::u16string& p) { return !ExistsAsFile(p); });
}

bool CopyFileKeepDate(const std::u16string& source, const std::u16string& destination,
                      std::string* error) {
  platform::Os& os = platform::Current();
  const std::string shownSource = PathInText(source);
  const std::string shownDestination = PathInText(destination);
  // Creating the destination would empty the source before a byte is read.
  if (platform::FileNameKey(source) == platform::FileNameKey(destination)) {
    SetError(error, "cannot copy " + shownSource + " onto itself");
    return false;
  }
  std::unique_ptr<platform::File> in = os.OpenRead(source);
  if (!in) {
    SetError(error, "cannot open " + shownSource);
    return false;
  }
  std::unique_ptr<platform::File> out = os.Create(destination);
  if (!out) {
    SetError(error, "cannot create " + shownDestination);
    return false;
  }
  std::string failure;
  std::vector<char> buffer(kCopyBlock);
  for (;;) {
    const long long got = in->Read(buffer.data(), buffer.size());
    if (got < 0) {
      failure = "cannot read " + shownSource;
      break;
    }
    if (got == 0) break;
    const long long put = out->Write(buffer.data(), static_cast<std::size_t>(got));
    if (put < got) {
      failure = (put < 0 ? "cannot write " : "disk full while writing ") + shownDestination;
      break;
    }
  }
  if (!out->Close() && failure.empty()) failure = "cannot finish writing " + shownDestination;
  out.reset();
  in.reset();
  if (!failure.empty()) {
    // A partial copy must not pass for the image: it goes, and if even that
    // fails the caller hears of it.
    if (!os.Delete(destination)) failure += " (and the partial copy could not be removed)";
    SetError(error, failure);
    return false;
  }
  os.SetArchiveOnly(destination);
  // The packed time keeps two-second steps, the same value the stamp
  // comparison of staged images sees; failing to set it only loses the date.
  const TFileStamp stamp = GetFileStamp(source);
  if (stamp.time != 0) os.SetLastWriteTime(destination, UnpackDosDateTime(stamp.time));
  return true;
}

std::string HexText(std::uint32_t v, int digits) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string s(static_cast<std::size_t>(digits), '0');
  for (int i = digits - 1; i >= 0; --i, v >>= 4) s[static_cast<std::size_t>(i)] = kDigits[v & 15];
  return s;
}

namespace {

bool IsReservedDeviceName(const std::string& name) {
  std::string base = SjisUpper(name.substr(0, name.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" ||
      base == "CONOUT$")
    return true;
  return base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) &&
         base[3] >= '1' && base[3] <= '9';
}

}  // namespace

bool IsCompressedName(const std::string& name) {
  std::u16string ext = ExtractFileExt(SjisToUtf16(name));
  for (char16_t& u : ext)
    if (u >= u'A' && u <= u'Z') u = static_cast<char16_t>(u - u'A' + u'a');
  return ext == u".gz";
}

bool IsPlainFileName(const std::string& name) {
  if (name.empty()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto b = static_cast<std::uint8_t>(name[i]);
    if (IsSjisLeadByte(b)) {
      // 0x80 and 0xFD open no character in code page 932 itself, and a
      // second byte outside 40-FC is no character either: Windows would read
      // the following byte on its own, and it might be a separator.
      if (b == 0x80 || b == 0xFD || i + 1 >= name.size()) return false;
      const auto t = static_cast<std::uint8_t>(name[i + 1]);
      if (t < 0x40 || t == 0x7F || t > 0xFC) return false;
      ++i;
      continue;
    }
    if (b < 0x20 || b == 0x7F || std::strchr("\\/:*?\"<>|", b) != nullptr) return false;
  }
  // Windows drops a trailing dot or space, so "a.bmp." names a.bmp and ".."
  // the parent folder.
  if (name.back() == '.' || name.back() == ' ') return false;
  return !IsReservedDeviceName(name);
}

std::string QuotedName(const std::string& name) {
  std::string shown;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto b = static_cast<std::uint8_t>(name[i]);
    if (IsSjisLeadByte(b) && i + 1 < name.size()) {
      shown.append(name, i, 2);
      ++i;
    } else if (b == 0x1B && TextForPerson(name.substr(i, 6)).size() == 1) {
      // A character of a path that CP932 lacks (PathInText): it is shown
      // as itself.
      shown.append(name, i, 6);
      i += 5;
    } else if (b < 0x20 || b == 0x7F) {
      shown += "\\x" + HexText(b, 2);
    } else {
      shown += name[i];
    }
  }
  return "\"" + shown + "\"";
}
