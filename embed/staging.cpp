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
// call; compressing one piece may happen on another thread.
struct Member {
  explicit Member(std::size_t j) : job(j) {}
  ~Member() {
    if (started) deflateEnd(&zs);
  }
  Member(const Member&) = delete;
  Member& operator=(const Member&) = delete;

  std::size_t job;
  std::unique_ptr<platform::File> in, out;
  // zlib keeps pointers to the header and its name until the first bytes
  // are out: both stay where they are with the member.
  z_stream zs{};
  bool started = false;
  gz_header header{};
  std::vector<unsigned char> name;
  std::vector<unsigned char> input, output;
  std::size_t inputSize = 0, outputSize = 0;
  bool last = false;      // `input` ends the file
  bool finished = false;  // `output` ends the member
  std::uint64_t written = 0;
  const char* error = nullptr;
  bool inputError = false;  // `error` is the input's
};

// The image section stores a member's size in a signed 32-bit field.
constexpr std::uint64_t kMaxMemberSize = 0x7FFFFFFF;

// zlib's gzip wrapper writes exactly the member wanted here: flags 08 (name
// only), XFL 0 at the default level, the given time and OS, and a trailer of
// CRC-32 and length mod 2^32, which it computes while compressing.
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
  platform::DirEntry entry;
  std::uint32_t mtime = 0;
  if (os.FindFirst(job.input, entry))
    mtime = GzipTime(job.stampTime ? UnpackDosDateTime(PackDosDateTime(entry.lastWrite))
                                   : entry.lastWrite);
  m->out = os.Create(job.output);
  if (!m->out) {
    reason = "cannot create " + Quoted(job.output);
    return nullptr;
  }
  const char* why = nullptr;
  if (deflateInit2(&m->zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) !=
      Z_OK) {
    why = "the compressor could not be started";
  } else {
    m->started = true;
    m->name.assign(job.storedName.begin(), job.storedName.end());
    m->name.push_back(0);
    m->header.time = mtime;
    m->header.os = 0;
    // No name field at all for a name Shift-JIS cannot hold.
    m->header.name = job.storedName.empty() ? Z_NULL : m->name.data();
    if (deflateSetHeader(&m->zs, &m->header) != Z_OK) why = "the compressor refused the header";
  }
  if (why) {
    m->out.reset();
    DeleteOutput(job);
    reason = Quoted(job.output) + ": " + why;
    return nullptr;
  }
  m->input.resize(kPiece);
  m->output.resize(kPiece + kPiece / 8);
  return m;
}

// Compresses the piece in `input` into `output`. Touches nothing but the
// member: it may run on any thread.
void DeflatePiece(Member& m) noexcept {
  if (m.error) return;
  m.zs.next_in = m.input.data();
  m.zs.avail_in = static_cast<uInt>(m.inputSize);
  const int flush = m.last ? Z_FINISH : Z_NO_FLUSH;
  m.outputSize = 0;
  try {
    for (;;) {
      if (m.outputSize == m.output.size()) m.output.resize(m.output.size() + kPiece);
      m.zs.next_out = m.output.data() + m.outputSize;
      m.zs.avail_out = static_cast<uInt>(m.output.size() - m.outputSize);
      const int rc = deflate(&m.zs, flush);
      m.outputSize = m.output.size() - m.zs.avail_out;
      if (rc == Z_STREAM_ERROR) {
        m.error = "compression error";
        return;
      }
      if (flush == Z_FINISH ? rc == Z_STREAM_END : m.zs.avail_in == 0 && m.zs.avail_out != 0) break;
    }
  } catch (const std::bad_alloc&) {
    m.error = "out of memory";
    return;
  }
  m.finished = m.last;
}

struct GzipFailure {
  std::size_t job;
  std::string reason;
};

// Writes every job's member, up to `threads` compressing at once. Every
// file call is made here, on the calling thread, in an order that depends
// on the jobs and the thread count alone; other threads only compress
// pieces already read. Returns the first job in list order that failed:
// its output and those of every later job are gone then, while the jobs
// before it are written whole. With `skipped`, a job reading a user's own
// file (`stampTime`) that cannot be read, or whose member the image section
// could not hold, is no failure: it is listed there, its output gone, and
// the others go on.
std::optional<GzipFailure> WriteGzipMembers(const std::vector<GzipJob>& jobs, unsigned threads,
                                            std::vector<GzipFailure>* skipped = nullptr) {
  // A thread per image at most: with one image, none is started.
  threads = static_cast<unsigned>(std::clamp<std::size_t>(jobs.size(), 1, std::max(1u, threads)));
  // Twice as many images as threads: one slow piece does not leave the
  // others without work.
  const std::size_t window = threads == 1 ? 1 : 2 * static_cast<std::size_t>(threads);
  TaskPool pool(threads);
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

  std::size_t next = 0;
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

    for (auto& m : active) {
      const long long got = m->in->Read(m->input.data(), kPiece);
      if (got < 0) {
        m->error = "read error";
        m->inputError = true;
      } else {
        m->inputSize = static_cast<std::size_t>(got);
        m->last = got == 0;
      }
    }
    pool.Run(active.size(), [&](std::size_t i) { DeflatePiece(*active[i]); });
    for (auto& m : active) {
      m->written += m->outputSize;
      if (!m->error && m->written > kMaxMemberSize) {
        m->error = "it is too large to embed (2 GiB at most)";
        m->inputError = true;
      }
      if (!m->error && !WriteAll(*m->out, m->output.data(), m->outputSize))
        m->error = "write error (disk full?)";
      if (!m->error && m->finished && !m->out->Close())
        m->error = "the file could not be closed (disk full?)";
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
  absent = StagingFolder.empty() || !StagedFileExists(name);
  return absent ? nullptr : platform::Current().OpenRead(StagingFolder + name);
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
                          unsigned threads, std::vector<TUnreadableImage>* unreadable) {
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
      WriteGzipMembers(jobs, ThreadsToUse(threads), unreadable ? &skipped : nullptr);
  for (const GzipFailure& s : skipped) unreadable->push_back({entryOf[s.job], s.reason});
  const std::size_t done = failure ? failure->job : jobs.size();
  for (std::size_t j = 0; j < done; ++j) {
    TBindImageType& image = StagedImages[entryOf[j]];
    if (!platform::Current().FileExists(StagingFolder + StagedFileName(image) + u".gz")) continue;
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
    if (IsCompressedName(image.Name) && StagedFileExists(name))
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
