#include "embed/staging.h"

#include <zlib.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <unordered_map>
#include <vector>

#include "jww/jwwtype.h"
#include "platform/platform.h"
#include "text/filenames.h"
#include "text/sjis.h"
#include "text/unicode.h"
#include "text/widenames.h"

namespace {

constexpr std::size_t kGzipBuffer = 32768;

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
long long DaysFromCivil(long long y, int m, int d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// The gzip time stamp: the local wall-clock time read as if it were UTC, at
// the two-second resolution of a packed MS-DOS time. 0 ("no time") when the
// time does not fit the field.
std::uint32_t GzipTime(const platform::LocalTime& t) {
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31) return 0;
  const long long seconds = DaysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600LL +
                            t.minute * 60LL + (t.second - t.second % 2);
  if (seconds < 0 || seconds > 0xFFFFFFFFLL) return 0;
  return static_cast<std::uint32_t>(seconds);
}

struct DeflateEnd {
  z_stream* stream;
  ~DeflateEnd() { deflateEnd(stream); }
};

bool WriteAll(platform::File& out, const unsigned char* data, std::size_t count) {
  return count == 0 || out.Write(data, count) == static_cast<long long>(count);
}

// zlib's gzip wrapper writes exactly the member wanted here: flags 08 (name
// only), XFL 0 at the default level, the given time and OS, and a trailer of
// CRC-32 and length mod 2^32, which it computes while compressing.
bool Compress(platform::File& in, platform::File& out, const std::string& storedName,
              std::uint32_t mtime, std::string& reason) {
  z_stream zs{};
  if (deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) !=
      Z_OK) {
    reason = "the compressor could not be started";
    return false;
  }
  DeflateEnd end{&zs};
  std::vector<unsigned char> name(storedName.begin(), storedName.end());
  name.push_back(0);
  gz_header header{};
  header.time = mtime;
  header.os = 0;
  // No name at all for one that Shift-JIS cannot hold (see GzipCompressFile).
  header.name = storedName.empty() ? Z_NULL : name.data();
  if (deflateSetHeader(&zs, &header) != Z_OK) {
    reason = "the compressor refused the header";
    return false;
  }

  std::vector<unsigned char> inBuf(kGzipBuffer), outBuf(kGzipBuffer);
  int flush = Z_NO_FLUSH;
  while (flush != Z_FINISH) {
    const long long got = in.Read(inBuf.data(), inBuf.size());
    if (got < 0) {
      reason = "read error";
      return false;
    }
    flush = got == 0 ? Z_FINISH : Z_NO_FLUSH;
    zs.next_in = inBuf.data();
    zs.avail_in = static_cast<uInt>(got);
    do {
      zs.next_out = outBuf.data();
      zs.avail_out = static_cast<uInt>(outBuf.size());
      if (deflate(&zs, flush) == Z_STREAM_ERROR) {
        reason = "compression error";
        return false;
      }
      if (!WriteAll(out, outBuf.data(), outBuf.size() - zs.avail_out)) {
        reason = "write error (disk full?)";
        return false;
      }
    } while (zs.avail_out == 0);
  }
  return true;
}

std::string StagedPath(const std::string& name) {
  return StagingFolder + name;
}

// True when `name` is a file of this run's staging folder that can be
// touched without reaching outside it.
bool StagedFileExists(const std::string& name) {
  return !StagingFolder.empty() && IsPlainFileName(name) &&
         platform::Current().FileExists(StagedPath(name));
}

// The staged file of a name Shift-JIS cannot hold.
std::u16string WideStagedPath(const std::u16string& name) {
  return SjisToUtf16(StagingFolder) + name;
}

bool WideStagedFileExists(const std::u16string& name) {
  return !StagingFolder.empty() && IsPlainWideName(name) &&
         platform::Current().FileExistsWide(WideStagedPath(name));
}

// CompressStagedImages for an entry whose name Shift-JIS cannot hold.
bool CompressWide(TBindImageType& image, std::unordered_map<std::string, int>& holders,
                  std::string& reason) {
  if (IsCompressedName(image.Name) || !WideStagedFileExists(image.WideName)) return true;
  const std::u16string archive = image.WideName + u".gz";
  const std::string key = WideNameKey(image.WideName);
  if (holders[key + ".GZ"] > 0) {
    reason = "the compressed name " + QuotedName(image.Name + ".gz") + " is taken by another image";
    return false;
  }
  std::string why;
  if (!GzipCompressFile(WideStagedPath(image.WideName), WideStagedPath(archive), why)) {
    reason = "cannot compress " + QuotedName(image.Name) + ": " + why;
    return false;
  }
  if (platform::Current().FileExistsWide(WideStagedPath(archive))) {
    --holders[key];
    ++holders[key + ".GZ"];
    image.Name += ".gz";
    image.WideName = archive;
  }
  return true;
}

}  // namespace

bool CreateWorkFolder(std::string& reason) {
  platform::Os& os = platform::Current();
  StagingFolder.clear();
  if (WorkFolder.empty()) {
    reason = "no work folder is set";
    return false;
  }
  std::random_device seed;
  std::mt19937 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    // Made again on every attempt: another run that ends now removes the
    // work folder when it finds it empty, just before our folder goes in.
    os.CreateFolder(WorkFolder);  // it may be there from an earlier run
    if (!os.FolderExists(WorkFolder)) {
      reason = "the folder cannot be created";
      return false;
    }
    const std::string folder =
        WorkFolder + "run" + HexText(static_cast<std::uint32_t>(random()), 8);
    if (os.CreateFolder(folder)) {
      StagingFolder = folder + "\\";
      return true;
    }
  }
  reason = "no staging folder can be created inside it";
  return false;
}

void RemoveWorkFolder() {
  platform::Os& os = platform::Current();
  if (!StagingFolder.empty()) {
    DeleteStagedArchives();
    DeleteStagedOriginals();
    ClearStagedImages();
    os.RemoveFolder(StagingFolder);
    StagingFolder.clear();
  }
  // Only empty: other runs may still be staging in it.
  if (!WorkFolder.empty()) os.RemoveFolder(WorkFolder);
}

bool CompressStagedImages(std::string& reason) {
  // How many entries hold each name, upper-cased: kept up to date as
  // entries take their archive's name.
  std::unordered_map<std::string, int> holders;
  for (const TBindImageType& image : StagedImages)
    ++holders[ImageNameKey(image.Name, image.WideName)];
  for (TBindImageType& image : StagedImages) {
    if (!image.WideName.empty()) {
      if (!CompressWide(image, holders, reason)) return false;
      continue;
    }
    if (IsCompressedName(image.Name) || !StagedFileExists(image.Name)) continue;
    const std::string archive = image.Name + ".gz";
    const std::string upperArchive = SjisUpper(archive);
    // Replacing the archive of another listed image would make both
    // entries show this picture.
    // (An upper-cased name never equals itself with ".GZ" added, so every
    // holder is another image.)
    if (holders[upperArchive] > 0) {
      reason = "the compressed name " + QuotedName(archive) + " is taken by another image";
      return false;
    }
    std::string why;
    if (!GzipCompressFile(StagedPath(image.Name), StagedPath(archive), why)) {
      reason = "cannot compress " + QuotedName(image.Name) + ": " + why;
      return false;
    }
    if (platform::Current().FileExists(StagedPath(archive))) {
      --holders[SjisUpper(image.Name)];
      ++holders[upperArchive];
      image.Name = archive;
    }
  }
  return true;
}

bool GzipCompressFile(const std::string& input, const std::string& output, std::string& reason) {
  platform::Os& os = platform::Current();
  std::unique_ptr<platform::File> in = os.OpenRead(input);
  if (!in) {
    reason = "cannot open " + QuotedName(input);
    return false;
  }
  platform::DirEntry entry;
  const std::uint32_t mtime = os.FindFirst(input, entry) ? GzipTime(entry.lastWrite) : 0;
  std::unique_ptr<platform::File> out = os.Create(output);
  if (!out) {
    reason = "cannot create " + QuotedName(output);
    return false;
  }
  std::string why;
  bool ok = Compress(*in, *out, ExtractFileName(input), mtime, why);
  if (ok && !out->Close()) {
    ok = false;
    why = "the file could not be closed (disk full?)";
  }
  if (ok) return true;
  out.reset();
  os.Delete(output);
  reason = QuotedName(output) + ": " + why;
  return false;
}

bool GzipCompressFile(const std::u16string& input, const std::u16string& output,
                      std::string& reason) {
  platform::Os& os = platform::Current();
  std::unique_ptr<platform::File> in = os.OpenReadWide(input);
  if (!in) {
    reason = "cannot open " + QuotedName(Utf16ToSjisLossy(input));
    return false;
  }
  platform::DirEntry entry;
  const std::uint32_t mtime = os.FindFirstWide(input, entry) ? GzipTime(entry.lastWrite) : 0;
  std::unique_ptr<platform::File> out = os.CreateWide(output);
  if (!out) {
    reason = "cannot create " + QuotedName(Utf16ToSjisLossy(output));
    return false;
  }
  // The header's name field is bytes in no stated code page: tools read it
  // in the system's own (CP932 on a Japanese Windows), where a name CP932
  // cannot hold would come out garbled. Left out, every tool takes the
  // archive's own name less ".gz", which is the image's name exactly.
  std::string storedName;
  if (!Utf16ToSjisExact(WideFileName(input), storedName)) storedName.clear();
  std::string why;
  bool ok = Compress(*in, *out, storedName, mtime, why);
  if (ok && !out->Close()) {
    ok = false;
    why = "the file could not be closed (disk full?)";
  }
  if (ok) return true;
  out.reset();
  os.DeleteWide(output);
  reason = QuotedName(Utf16ToSjisLossy(output)) + ": " + why;
  return false;
}

void DeleteStagedArchives() {
  for (const TBindImageType& image : StagedImages) {
    if (!image.WideName.empty()) {
      if (IsCompressedName(image.Name) && WideStagedFileExists(image.WideName))
        platform::Current().DeleteWide(WideStagedPath(image.WideName));
      continue;
    }
    if (IsCompressedName(image.Name) && StagedFileExists(image.Name))
      platform::Current().Delete(StagedPath(image.Name));
  }
}

void DeleteStagedOriginals() {
  for (const TBindImageType& image : StagedImages) {
    if (!image.WideName.empty()) {
      const std::u16string name = IsCompressedName(image.Name)
                                      ? image.WideName.substr(0, image.WideName.size() - 3)
                                      : image.WideName;
      if (WideStagedFileExists(name)) platform::Current().DeleteWide(WideStagedPath(name));
      continue;
    }
    const std::string name =
        IsCompressedName(image.Name) ? ChangeFileExt(image.Name, "") : image.Name;
    if (StagedFileExists(name)) platform::Current().Delete(StagedPath(name));
  }
}
