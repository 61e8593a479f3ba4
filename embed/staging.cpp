#include "embed/staging.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <unordered_map>
#include <vector>

#include "embed/task_pool.h"
#include "jww/jwwio.h"
#include "jww/jwwtype.h"
#include "platform/casefold.h"
#include "platform/platform.h"
#include "platform/unicode.h"
#include "text/filenames.h"
#include "text/sjis.h"
#include "text/widenames.h"

namespace {

// Image data moves in pieces of this size: few system calls, and memory
// bounded by the pieces of the images being compressed at once.
constexpr std::size_t kPiece = 128 * 1024;
// More threads than this gain little: the images' own reads and writes,
// made one at a time, begin to decide the pace.
constexpr unsigned kMaxThreads = 8;

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

bool WriteAll(platform::File& out, const unsigned char* data, std::size_t count) {
  return count == 0 || out.Write(data, count) == static_cast<long long>(count);
}

// One gzip member to write.
struct GzipJob {
  platform::Path input, output;
  // The file name in its header; "" for none.
  std::string storedName;
  // The time as a file stamp holds it (two-second steps, 1980 to 2107):
  // what a copy of the image given the date of its source had.
  bool stampTime = false;
};

void DeleteOutput(const GzipJob& job) {
  platform::Current().Delete(job.output);
}

// A path in a message (Shift-JIS text).
std::string Quoted(const platform::Path& path) {
  return QuotedName(PathInText(path));
}

// A member being written. The thread that started it makes every file
// call; its pieces may be compressed on other threads.
struct Member {
  explicit Member(std::size_t j) : job(j) {}

  std::size_t job;
  std::unique_ptr<platform::File> in, out;
  std::vector<unsigned char> header;      // written before the first piece
  std::vector<unsigned char> dictionary;  // the last 32 KiB read so far
  bool readAll = false;                   // the last piece has been read
  bool finished = false;                  // the trailer is out, the file closed
  uLong crc = crc32(0, Z_NULL, 0);
  std::uint64_t length = 0;   // bytes of the image
  std::uint64_t written = 0;  // bytes of the member
  const char* error = nullptr;
  bool inputError = false;  // `error` is the input's
};

// A piece of an image and its compressed form. Every image is cut into
// pieces of kMemberPiece bytes, whatever the threads, and each piece is
// deflated on its own, primed with the 32 KiB before it: so one large image
// is compressed on every core, and the bytes depend on the image alone. A
// piece ends on a byte boundary (a sync flush), the last one ends the
// stream; an image smaller than one piece is one stream, as zlib's own
// gzip writer makes it.
struct Piece {
  Member* member = nullptr;
  // Left uninitialised: the piece is as large as an image may need, and
  // zeroing it would cost a small image more than reading it.
  std::unique_ptr<unsigned char[]> input;
  std::vector<unsigned char> dictionary, output;
  std::size_t inputSize = 0, outputSize = 0;
  bool last = false;
  // The whole image: its first piece and its last.
  bool whole = false;
  // Its stream was compressed before (`output` holds it).
  bool reused = false;
  bool crcKnown = false;
  uLong crc = 0;
  const char* error = nullptr;
};

constexpr std::size_t kMemberPiece = 1024 * 1024;
constexpr std::size_t kWindow = 32 * 1024;

// The image section stores a member's size in a signed 32-bit field.
constexpr std::uint64_t kMaxMemberSize = 0x7FFFFFFF;

void PutLe32(std::vector<unsigned char>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

// The gzip header zlib's writer makes at the default level: flags 08 (a
// name) or 00, the time, XFL 0 and OS 0; the name ends in a NUL.
std::vector<unsigned char> GzipHeader(const std::string& storedName, std::uint32_t mtime) {
  std::vector<unsigned char> h = {0x1F, 0x8B, 8,
                                  static_cast<unsigned char>(storedName.empty() ? 0 : 8)};
  PutLe32(h, mtime);
  h.push_back(0);
  h.push_back(0);
  if (!storedName.empty()) {
    h.insert(h.end(), storedName.begin(), storedName.end());
    h.push_back(0);
  }
  return h;
}

std::unique_ptr<Member> StartMember(const GzipJob& job, std::size_t index, std::string& reason,
                                    bool& inputError) {
  platform::Os& os = platform::Current();
  auto m = std::make_unique<Member>(index);
  m->in = os.OpenRead(job.input);
  inputError = !m->in;
  if (!m->in) {
    reason = "cannot open " + Quoted(job.input);
    return nullptr;
  }
  // The open file's own time where it tells it: no second lookup.
  platform::LocalTime written;
  bool known = m->in->LastWriteTime(written);
  platform::DirEntry entry;
  if (!known && os.FindFirst(job.input, entry)) {
    written = entry.lastWrite;
    known = true;
  }
  std::uint32_t mtime = 0;
  if (known)
    mtime = GzipTime(job.stampTime ? UnpackDosDateTime(PackDosDateTime(written)) : written);
  m->out = os.Create(job.output);
  if (!m->out) {
    reason = "cannot create " + Quoted(job.output);
    return nullptr;
  }
  // No name field at all for a name Shift-JIS cannot hold.
  m->header = GzipHeader(job.storedName, mtime);
  return m;
}

// Reads the member's next piece (kMemberPiece bytes, fewer only at the end
// of the file). False on a read error.
bool ReadPiece(Member& m, Piece& p) {
  p.member = &m;
  p.dictionary = m.dictionary;
  if (!p.input) p.input = std::make_unique_for_overwrite<unsigned char[]>(kMemberPiece);
  p.inputSize = 0;
  while (p.inputSize < kMemberPiece) {
    const std::size_t wanted = kMemberPiece - p.inputSize;
    const long long got = m.in->Read(p.input.get() + p.inputSize, wanted);
    if (got < 0) return false;
    p.inputSize += static_cast<std::size_t>(got);
    // A file reads short only at its end.
    if (static_cast<std::size_t>(got) < wanted) {
      p.last = true;
      break;
    }
  }
  m.readAll = p.last;
  p.whole = p.last && p.dictionary.empty();
  const std::size_t keep = std::min(kWindow, p.inputSize);
  if (!p.last)
    m.dictionary.assign(p.input.get() + (p.inputSize - keep), p.input.get() + p.inputSize);
  return true;
}

// Compresses one piece into raw deflate data. Touches nothing but the
// piece: it may run on any thread.
void DeflatePiece(Piece& p) noexcept {
  z_stream zs{};
  if (deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK) {
    p.error = "the compressor could not be started";
    return;
  }
  try {
    if (!p.dictionary.empty() &&
        deflateSetDictionary(&zs, p.dictionary.data(), static_cast<uInt>(p.dictionary.size())) !=
            Z_OK) {
      p.error = "the compressor refused the preceding bytes";
    } else {
      if (!p.crcKnown) p.crc = crc32(0, p.input.get(), static_cast<uInt>(p.inputSize));
      zs.next_in = p.input.get();
      zs.avail_in = static_cast<uInt>(p.inputSize);
      const int flush = p.last ? Z_FINISH : Z_SYNC_FLUSH;
      p.output.resize(deflateBound(&zs, static_cast<uLong>(p.inputSize)) + 16);
      p.outputSize = 0;
      for (;;) {
        if (p.outputSize == p.output.size()) p.output.resize(p.output.size() + kPiece);
        zs.next_out = p.output.data() + p.outputSize;
        zs.avail_out = static_cast<uInt>(p.output.size() - p.outputSize);
        const int rc = deflate(&zs, flush);
        p.outputSize = p.output.size() - zs.avail_out;
        if (rc == Z_STREAM_ERROR) {
          p.error = "compression error";
          break;
        }
        if (flush == Z_FINISH ? rc == Z_STREAM_END : zs.avail_in == 0 && zs.avail_out != 0) break;
      }
    }
  } catch (const std::bad_alloc&) {
    p.error = "out of memory";
  }
  deflateEnd(&zs);
}

std::uint64_t DeflatedKey(uLong crc, std::size_t size) {
  return (std::uint64_t{crc} << 32) ^ size;
}

// The stream kept for the piece's very bytes; null when they are new.
const TDeflatedImages::Image* FindDeflated(const TDeflatedImages& deflated, const Piece& p) {
  const auto [first, last] = deflated.images.equal_range(DeflatedKey(p.crc, p.inputSize));
  for (auto it = first; it != last; ++it) {
    const TDeflatedImages::Image& image = it->second;
    if (image.bytes.size() == p.inputSize &&
        std::equal(image.bytes.begin(), image.bytes.end(), p.input.get()))
      return &image;
  }
  return nullptr;
}

// Takes the stream of a whole image whose very bytes were compressed
// before; false when they are new.
bool ReuseDeflated(const TDeflatedImages& deflated, Piece& p) {
  p.crc = crc32(0, p.input.get(), static_cast<uInt>(p.inputSize));
  p.crcKnown = true;
  const TDeflatedImages::Image* image = FindDeflated(deflated, p);
  if (!image) return false;
  if (p.output.size() < image->stream.size()) p.output.resize(image->stream.size());
  std::copy(image->stream.begin(), image->stream.end(), p.output.begin());
  p.outputSize = image->stream.size();
  return true;
}

// Keeps a whole image just compressed, unless it would pass the budget or
// the same bytes came twice in one round.
void KeepDeflated(TDeflatedImages& deflated, const Piece& p) {
  const std::size_t size = p.inputSize + p.outputSize;
  if (size > TDeflatedImages::kDeflatedBudget - deflated.kept || FindDeflated(deflated, p)) return;
  try {
    TDeflatedImages::Image image;
    image.bytes.assign(p.input.get(), p.input.get() + p.inputSize);
    image.stream.assign(p.output.begin(),
                        p.output.begin() + static_cast<std::ptrdiff_t>(p.outputSize));
    deflated.images.emplace(DeflatedKey(p.crc, p.inputSize), std::move(image));
    deflated.kept += size;
  } catch (const std::bad_alloc&) {
    // Only time is lost: the image is compressed again when it comes back.
  }
}

struct GzipFailure {
  std::size_t job;
  std::string reason;
};

// Writes every job's member, up to `threads` compressing pieces at once.
// Every file call is made here, on the calling thread, in an order that
// depends on the jobs and the thread count alone; other threads only
// compress pieces already read. Returns the first job in list order that
// failed: its output and those of every later job are gone then, while the
// jobs before it are written whole. With `skipped`, a job reading a user's
// own file (`stampTime`) that cannot be read, or whose member the image
// section could not hold, is no failure: it is listed there, its output
// gone, and the others go on. With `deflated`, a whole image is compressed
// only when its bytes are not kept there, and kept there once compressed.
std::optional<GzipFailure> WriteGzipMembers(const std::vector<GzipJob>& jobs, unsigned threads,
                                            std::vector<GzipFailure>* skipped = nullptr,
                                            TDeflatedImages* deflated = nullptr) {
  threads = std::max(1u, threads);
  // Twice as many pieces and images as threads: one slow piece does not
  // leave the others without work.
  const std::size_t window = threads == 1 ? 1 : 2 * static_cast<std::size_t>(threads);
  // Started only for a round of several pieces: one small image starts no
  // thread.
  std::optional<TaskPool> pool;
  std::vector<std::unique_ptr<Member>> active;
  std::vector<bool> written(jobs.size(), false);
  std::optional<GzipFailure> failure;
  auto fail = [&](std::size_t job, std::string reason) {
    if (!failure || job < failure->job) failure = GzipFailure{job, std::move(reason)};
  };
  auto abandon = [&](Member& m) {
    m.out.reset();
    m.in.reset();
    DeleteOutput(jobs[m.job]);
  };
  auto skippable = [&](std::size_t job, bool inputError) {
    return skipped && inputError && jobs[job].stampTime;
  };
  auto put = [](Member& m, const unsigned char* data, std::size_t count) {
    m.written += count;
    if (m.written > kMaxMemberSize) {
      m.error = "it is too large to embed (2 GiB at most)";
      m.inputError = true;
    } else if (!WriteAll(*m.out, data, count)) {
      m.error = "write error (disk full?)";
    }
  };

  std::size_t next = 0;
  std::vector<Piece> batch(window);
  std::vector<std::size_t> toDeflate;
  for (;;) {
    while (!failure && active.size() < window && next < jobs.size()) {
      std::string reason;
      bool inputError = false;
      std::unique_ptr<Member> m = StartMember(jobs[next], next, reason, inputError);
      if (!m && skippable(next, inputError)) {
        skipped->push_back({next, "it cannot be read"});
        ++next;
        continue;
      }
      if (!m) {
        fail(next, reason);
        break;
      }
      active.push_back(std::move(m));
      ++next;
    }
    // Images after a failed one are given up: the conversion fails there.
    for (auto& m : active) {
      if (failure && m->job > failure->job) {
        abandon(*m);
        m.reset();
      }
    }
    std::erase(active, nullptr);
    if (active.empty()) break;

    std::size_t pieces = 0;
    for (auto& m : active) {
      while (pieces < window && !m->readAll && !m->error) {
        // The buffers of the last round are used again.
        Piece& p = batch[pieces];
        p.last = false;
        p.reused = false;
        p.crcKnown = false;
        p.error = nullptr;
        p.outputSize = 0;
        if (!ReadPiece(*m, p)) {
          m->error = "read error";
          m->inputError = true;
          break;
        }
        ++pieces;
      }
    }
    toDeflate.clear();
    for (std::size_t i = 0; i < pieces; ++i) {
      Piece& p = batch[i];
      p.reused = deflated && p.whole && ReuseDeflated(*deflated, p);
      if (!p.reused) toDeflate.push_back(i);
    }
    if (toDeflate.size() > 1 && !pool) pool.emplace(threads);
    if (toDeflate.size() > 1) {
      pool->Run(toDeflate.size(), [&](std::size_t i) { DeflatePiece(batch[toDeflate[i]]); });
    } else if (toDeflate.size() == 1) {
      DeflatePiece(batch[toDeflate[0]]);
    }
    for (std::size_t i = 0; i < pieces; ++i) {
      Piece& p = batch[i];
      Member& m = *p.member;
      if (m.error) continue;
      if (p.error) {
        m.error = p.error;
        continue;
      }
      if (deflated && p.whole && !p.reused) KeepDeflated(*deflated, p);
      m.crc = crc32_combine(m.crc, p.crc, static_cast<z_off_t>(p.inputSize));
      m.length += p.inputSize;
      std::vector<unsigned char> trailer;
      if (p.last) {
        PutLe32(trailer, static_cast<std::uint32_t>(m.crc));
        PutLe32(trailer, static_cast<std::uint32_t>(m.length));
      }
      if (p.whole) {
        // A small image goes out in one write, header and trailer included.
        m.header.insert(m.header.end(), p.output.data(), p.output.data() + p.outputSize);
        m.header.insert(m.header.end(), trailer.begin(), trailer.end());
        put(m, m.header.data(), m.header.size());
      } else {
        if (!m.header.empty()) put(m, m.header.data(), m.header.size());
        if (!m.error) put(m, p.output.data(), p.outputSize);
        if (!m.error && !trailer.empty()) put(m, trailer.data(), trailer.size());
      }
      m.header.clear();
      if (!m.error && p.last) {
        if (!m.out->Close()) m.error = "the file could not be closed (disk full?)";
        if (!m.error) m.finished = true;
      }
    }
    for (auto& m : active) {
      if (m->error && skippable(m->job, m->inputError)) {
        skipped->push_back(
            {m->job, m->error == std::string("read error") ? "it cannot be read" : m->error});
        abandon(*m);
        m.reset();
      } else if (m->error) {
        fail(m->job, Quoted(jobs[m->job].output) + ": " + m->error);
        abandon(*m);
        m.reset();
      } else if (m->finished) {
        written[m->job] = true;
        m.reset();
      }
    }
    std::erase(active, nullptr);
  }

  if (failure) {
    for (std::size_t j = failure->job + 1; j < jobs.size(); ++j)
      if (written[j]) DeleteOutput(jobs[j]);
  }
  return failure;
}

unsigned ThreadsToUse(unsigned asked) {
  if (asked > 0) return asked;
  return std::min(platform::ProcessorsAvailable(), kMaxThreads);
}

// True when `name` is a file of this run's staging folder that can be
// touched without reaching outside it.
bool StagedFileExists(const platform::Path& name) {
  return !StagingFolder.empty() && IsPlainWideName(name) &&
         platform::Current().FileExists(StagingFolder + name);
}

}  // namespace

std::u16string WorkFolder;
std::u16string StagingFolder;

void TStagedImageFiles::Take(const TBindImageType& image, TImageBytes& bytes) {
  if (StagingFolder.empty())
    throw JwwIoError(101, "there is no staging folder for the embedded images");
  platform::Os& os = platform::Current();
  const platform::Path path = StagingFolder + StagedFileName(image);
  std::unique_ptr<platform::File> file = os.Create(path);
  if (!file)
    throw JwwIoError(101, "the embedded image " + QuotedName(image.Name) +
                              " cannot be created in the staging folder");
  try {
    std::vector<std::uint8_t> buffer(
        static_cast<std::size_t>(std::min<std::int64_t>(image.Size, kPiece)));
    for (std::int64_t left = image.Size; left > 0;) {
      const auto n = static_cast<std::size_t>(std::min<std::int64_t>(left, kPiece));
      const std::size_t got = bytes.Read(buffer.data(), n);
      if (got > 0 && file->Write(buffer.data(), got) != static_cast<long long>(got))
        throw JwwIoError(101, "the embedded image " + QuotedName(image.Name) +
                                  " cannot be written (disk full?)");
      if (got < n)
        throw JwwIoError(100, "the embedded image " + QuotedName(image.Name) + " ends early");
      left -= static_cast<std::int64_t>(n);
    }
    if (!file->Close())
      throw JwwIoError(
          101, "the embedded image " + QuotedName(image.Name) + " cannot be written (disk full?)");
  } catch (...) {
    file.reset();
    os.Delete(path);
    throw;
  }
}

std::unique_ptr<platform::File> TStagedImageFiles::Open(const TBindImageType& image, bool& absent) {
  const platform::Path name = StagedFileName(image);
  absent = StagingFolder.empty() || !IsPlainWideName(name);
  if (absent) return nullptr;
  // Opened first, since it is nearly always there: only a file that cannot
  // be opened is asked whether it is there at all.
  std::unique_ptr<platform::File> file = platform::Current().OpenRead(StagingFolder + name);
  if (!file) absent = !StagedFileExists(name);
  return file;
}

TStagedImageFiles& StagedImageFiles() {
  static TStagedImageFiles files;
  return files;
}

bool CreateWorkFolder(std::string& reason) {
  platform::Os& os = platform::Current();
  StagingFolder.clear();
  if (WorkFolder.empty()) {
    reason = "no work folder is set";
    return false;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    // Made again on every attempt: another run that ends now removes the
    // work folder when it finds it empty, just before our folder goes in.
    os.CreateFolder(WorkFolder);  // it may be there from an earlier run
    if (!os.FolderExists(WorkFolder)) {
      reason = "the folder cannot be created";
      return false;
    }
    const platform::Path folder = WorkFolder + u"run" + SjisToUtf16(HexText(os.RandomNumber(), 8));
    if (os.CreateFolder(folder)) {
      StagingFolder = folder + u"\\";
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

bool CompressStagedImages(std::string& reason, const std::vector<platform::Path>& sources,
                          unsigned threads, std::vector<TUnreadableImage>* unreadable,
                          TDeflatedImages* deflated) {
  // How many entries hold each name, by its key: kept up to date as entries
  // take their archive's name.
  std::unordered_map<std::u16string, int> holders;
  for (const TBindImageType& image : StagedImages)
    ++holders[platform::FileNameKey(StagedFileName(image))];
  std::vector<GzipJob> jobs;
  std::vector<std::size_t> entryOf;
  std::string refused;
  for (std::size_t i = 0; i < StagedImages.size(); ++i) {
    const TBindImageType& image = StagedImages[i];
    if (IsCompressedName(image.Name)) continue;
    const platform::Path name = StagedFileName(image);
    const platform::Path source = i < sources.size() ? sources[i] : platform::Path();
    if (source.empty() && !StagedFileExists(name)) continue;
    const platform::Path archive = name + u".gz";
    const std::u16string archiveKey = platform::FileNameKey(archive);
    // Replacing the archive of another listed image would make both
    // entries show this picture. (A key never equals itself with ".GZ"
    // added, so every holder is another image.)
    if (holders[archiveKey] > 0) {
      refused =
          "the compressed name " + QuotedName(PathInText(archive)) + " is taken by another image";
      break;
    }
    // Counted as done already: the entries up to a failure are.
    --holders[platform::FileNameKey(name)];
    ++holders[archiveKey];
    // The header's name field is bytes in no stated code page: tools read
    // it in the system's own (CP932 on a Japanese Windows), where a name
    // CP932 cannot hold would come out garbled. Left out, every tool takes
    // the archive's own name less ".gz", which is the image's name exactly.
    std::string storedName;
    if (!Utf16ToSjisExact(name, storedName)) storedName.clear();
    const bool fromSource = !source.empty();
    jobs.push_back({fromSource ? source : StagingFolder + name, StagingFolder + archive, storedName,
                    fromSource});
    entryOf.push_back(i);
  }

  std::vector<GzipFailure> skipped;
  const std::optional<GzipFailure> failure =
      WriteGzipMembers(jobs, ThreadsToUse(threads), unreadable ? &skipped : nullptr, deflated);
  for (const GzipFailure& s : skipped) unreadable->push_back({entryOf[s.job], s.reason});
  // Every job before the failure has its archive, but those skipped.
  const std::size_t done = failure ? failure->job : jobs.size();
  std::vector<bool> skippedJob(jobs.size(), false);
  for (const GzipFailure& s : skipped) skippedJob[s.job] = true;
  for (std::size_t j = 0; j < done; ++j) {
    TBindImageType& image = StagedImages[entryOf[j]];
    if (skippedJob[j]) continue;
    image.Name += ".gz";
    if (!image.WideName.empty()) image.WideName += u".gz";
  }
  if (failure) {
    reason = "cannot compress " + QuotedName(StagedImages[entryOf[failure->job]].Name) + ": " +
             failure->reason;
    return false;
  }
  if (!refused.empty()) {
    reason = refused;
    return false;
  }
  return true;
}

bool GzipCompressFile(const platform::Path& input, const platform::Path& output,
                      std::string& reason) {
  // A name Shift-JIS cannot hold goes without the header's name field, as
  // the staged images do.
  std::string storedName;
  if (!Utf16ToSjisExact(ExtractFileName(input), storedName)) storedName.clear();
  const std::optional<GzipFailure> failure = WriteGzipMembers({{input, output, storedName}}, 1);
  if (failure) reason = failure->reason;
  return !failure;
}

void DeleteStagedArchives() {
  for (const TBindImageType& image : StagedImages) {
    const platform::Path name = StagedFileName(image);
    // A file that is not there is simply not deleted.
    if (IsCompressedName(image.Name) && !StagingFolder.empty() && IsPlainWideName(name))
      platform::Current().Delete(StagingFolder + name);
  }
}

void DeleteStagedOriginals() {
  for (const TBindImageType& image : StagedImages) {
    platform::Path name = StagedFileName(image);
    if (IsCompressedName(image.Name)) name.resize(name.size() - 3);
    if (StagedFileExists(name)) platform::Current().Delete(StagingFolder + name);
  }
}
