#include "text/filenames.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "text/sjis.h"
#include "text/unicode.h"

namespace {

constexpr int kMaxBranch = 99999;
// Large pieces: a copy costs two system calls per piece.
constexpr std::size_t kCopyBlock = 128 * 1024;

// Offset just past the last real "\" or ":" (0 when there is none); a second
// byte of a double-byte character is never taken for either.
std::size_t NameStart(const std::string& path) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (IsSjisLeadByte(static_cast<std::uint8_t>(path[i]))) {
      ++i;
    } else if (path[i] == '\\' || path[i] == ':') {
      start = i + 1;
    }
  }
  return start;
}

// Offset of the extension's "." in the file name, or path.size() if none.
std::size_t ExtStart(const std::string& path) {
  std::size_t start = NameStart(path);
  std::size_t dot = path.size();
  for (std::size_t i = start; i < path.size(); ++i) {
    if (IsSjisLeadByte(static_cast<std::uint8_t>(path[i]))) {
      ++i;
    } else if (path[i] == '.') {
      dot = i;
    }
  }
  return dot;
}

// Any entry takes a name: a folder, and a dangling link, which a create
// would write through.
bool ExistsAsFile(const std::string& path) {
  platform::DirEntry entry;
  return platform::Current().FindFirst(SjisToUtf16(path), entry);
}

// Candidate N of the branch-number series: "stem~N" + ext.
std::string Branch(const std::string& stem, int n, const std::string& ext) {
  return stem + "~" + std::to_string(n) + ext;
}

void SetError(std::string* error, const std::string& text) {
  if (error) *error = text;
}

}  // namespace

std::string ExtractFileName(const std::string& path) {
  return path.substr(NameStart(path));
}

std::string ExtractFileDir(const std::string& path) {
  return path.substr(0, NameStart(path));
}

std::string ExtractFileExt(const std::string& path) {
  return path.substr(ExtStart(path));
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
  return path.substr(0, ExtStart(path)) + ext;
}

std::string IncludeTrailingBackslash(const std::string& path) {
  bool endsInBackslash = false;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (IsSjisLeadByte(static_cast<std::uint8_t>(path[i]))) {
      ++i;
      endsInBackslash = false;
    } else {
      endsInBackslash = path[i] == '\\';
    }
  }
  return endsInBackslash ? path : path + "\\";
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

TFileStamp GetFileStamp(const std::string& path) {
  platform::DirEntry entry;
  TFileStamp stamp;
  if (!platform::Current().FindFirst(SjisToUtf16(path), entry)) return stamp;
  stamp.time = PackDosDateTime(entry.lastWrite);
  stamp.size = static_cast<std::int32_t>(static_cast<std::uint32_t>(entry.size & 0xFFFFFFFFu));
  return stamp;
}

std::optional<std::string> MakeEmbeddedName(bool wholePath, const std::string& imagePath,
                                            const std::string& workFolder,
                                            const StagedStampLookup& stagedStamp) {
  if (wholePath) {
    // The whole path in one name: every real "\" and ":" becomes "_"; the
    // 0x5C inside 表 is half of a character and stays.
    std::string name;
    for (std::size_t i = 0; i < imagePath.size(); ++i) {
      if (IsSjisLeadByte(static_cast<std::uint8_t>(imagePath[i])) && i + 1 < imagePath.size()) {
        name.append(imagePath, i, 2);
        ++i;
      } else if (imagePath[i] == '\\' || imagePath[i] == ':' || imagePath[i] == '/') {
        name += '_';
      } else {
        name += imagePath[i];
      }
    }
    return name;
  }

  // A candidate holding a file with the image's own stamp is the image,
  // staged before: it is reused, not copied twice.
  TFileStamp stamp = GetFileStamp(imagePath);
  auto usable = [&](const std::string& name) {
    if (stagedStamp) {
      if (std::optional<TFileStamp> held = stagedStamp(name)) return *held == stamp;
    }
    std::string path = workFolder + name;
    return !ExistsAsFile(path) || GetFileStamp(path) == stamp;
  };
  // Windows takes "/" as a separator too: a name still holding one (and
  // "..") would put the staged copy outside the staging folder.
  std::string name = ExtractFileName(imagePath);
  std::size_t start = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (IsSjisLeadByte(static_cast<std::uint8_t>(name[i])))
      ++i;
    else if (name[i] == '/')
      start = i + 1;
  }
  name.erase(0, start);
  if (usable(name)) return name;
  std::size_t dot = ExtStart(name);
  std::string stem = name.substr(0, dot), ext = name.substr(dot);
  for (int n = 1; n <= kMaxBranch; ++n) {
    std::string candidate = Branch(stem, n, ext);
    if (usable(candidate)) return candidate;
  }
  // Every name is taken by another image; reusing one would show the wrong
  // picture in the drawing.
  return std::nullopt;
}

std::optional<std::string> FirstUsableBranch(
    const std::string& path, const std::function<bool(const std::string&)>& usable) {
  if (usable(path)) return path;
  std::size_t dot = ExtStart(path);
  std::string stem = path.substr(0, dot), ext = path.substr(dot);
  for (int n = 1; n <= kMaxBranch; ++n) {
    std::string candidate = Branch(stem, n, ext);
    if (usable(candidate)) return candidate;
  }
  return std::nullopt;
}

std::optional<std::string> MakeUniqueFileName(const std::string& path) {
  // Never hand out a taken name: the caller would overwrite that file.
  return FirstUsableBranch(path, [](const std::string& p) { return !ExistsAsFile(p); });
}

bool CopyFileBytes(const std::string& source, const std::string& destination, std::string* error) {
  platform::Os& os = platform::Current();
  // Creating the destination would empty the source before a byte is read.
  if (platform::InternalToNative(source) == platform::InternalToNative(destination)) {
    SetError(error, "cannot copy " + source + " onto itself");
    return false;
  }
  std::unique_ptr<platform::File> in = os.OpenRead(SjisToUtf16(source));
  if (!in) {
    SetError(error, "cannot open " + source);
    return false;
  }
  std::unique_ptr<platform::File> out = os.Create(SjisToUtf16(destination));
  if (!out) {
    SetError(error, "cannot create " + destination);
    return false;
  }

  std::string failure;
  std::vector<char> buffer(kCopyBlock);
  for (;;) {
    long long got = in->Read(buffer.data(), buffer.size());
    if (got < 0) {
      failure = "cannot read " + source;
      break;
    }
    if (got == 0) break;
    long long put = out->Write(buffer.data(), static_cast<std::size_t>(got));
    if (put < 0) {
      failure = "cannot write " + destination;
      break;
    }
    if (put < got) {
      failure = "disk full while writing " + destination;
      break;
    }
  }
  if (!out->Close() && failure.empty()) failure = "cannot finish writing " + destination;
  out.reset();
  in->Close();
  in.reset();

  if (!failure.empty()) {
    // A partial copy must not pass for the image: it goes, and if even that
    // fails the caller hears of it.
    if (!os.Delete(SjisToUtf16(destination)))
      failure += " (and the partial copy could not be removed)";
    SetError(error, failure);
    return false;
  }
  os.SetArchiveOnly(SjisToUtf16(destination));
  return true;
}

bool CopyFileKeepDate(const std::string& source, const std::string& destination,
                      std::string* error) {
  if (!CopyFileBytes(source, destination, error)) return false;
  // The packed time keeps two-second steps, the same value the stamp
  // comparison of staged images sees; failing to set it only loses the date.
  TFileStamp stamp = GetFileStamp(source);
  if (stamp.time != 0) {
    platform::Current().SetLastWriteTime(SjisToUtf16(destination), UnpackDosDateTime(stamp.time));
  }
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
  return SjisLower(ExtractFileExt(name)) == ".gz";
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
    } else if (b < 0x20 || b == 0x7F) {
      shown += "\\x" + HexText(b, 2);
    } else {
      shown += name[i];
    }
  }
  return "\"" + shown + "\"";
}
