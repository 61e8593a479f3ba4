// The Linux side of the platform layer. Internal paths are Windows-form
// Shift-JIS; here they become UTF-8 POSIX paths, with drive letters mapped
// to folders and a lookup that ignores ASCII letter case the way Windows
// does, because drawings made on Windows name "C:\IMG\A.BMP" for a file
// that lies on disk as img/a.bmp.
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>  // renameat2
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/encoding.h"
#include "platform/posix/services.h"
#include "platform/posix/signals.h"
#include "text/unicode.h"

namespace platform {

namespace {

using posix::IsLeadByte;

// Folders set with MapDrive, by upper-case letter. One table for the
// process: the free functions (InternalToNative) must see it too.
std::map<char, std::string>& DriveTable() {
  static std::map<char, std::string> table;
  return table;
}

char UpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The folder of drive `letter`: the mapping, else Wine's link for it.
bool DriveFolder(char letter, std::string& folder) {
  auto& table = DriveTable();
  auto it = table.find(UpperAscii(letter));
  if (it != table.end()) {
    folder = it->second;
    return true;
  }
  const char* home = std::getenv("HOME");
  if (!home || !*home) return false;
  std::string link = std::string(home) + "/.wine/dosdevices/" + LowerAscii(letter) + ":";
  struct stat st;
  if (::stat(link.c_str(), &st) != 0) return false;
  folder = link;
  return true;
}

// An internal path taken apart: where it starts and its components, still
// in Shift-JIS.
struct InternalPath {
  enum Kind { kRelative, kRooted, kDrive } kind = kRelative;
  char drive = 0;
  std::vector<std::string> parts;
};

InternalPath Split(const std::string& internal) {
  InternalPath p;
  std::size_t i = 0;
  if (internal.size() >= 2 && IsAsciiLetter(internal[0]) && internal[1] == ':') {
    p.kind = InternalPath::kDrive;
    p.drive = internal[0];
    i = 2;
  } else if (!internal.empty() && (internal[0] == '\\' || internal[0] == '/')) {
    p.kind = InternalPath::kRooted;
  }
  std::string part;
  while (i < internal.size()) {
    unsigned char b = static_cast<unsigned char>(internal[i]);
    if (IsLeadByte(b) && i + 1 < internal.size()) {
      part.append(internal, i, 2);
      i += 2;
      continue;
    }
    // Windows takes "/" for a separator too.
    if (b == '\\' || b == '/') {
      if (!part.empty()) p.parts.push_back(part);
      part.clear();
    } else {
      part += static_cast<char>(b);
    }
    ++i;
  }
  if (!part.empty()) p.parts.push_back(part);
  return p;
}

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::string LowerAsciiText(const std::string& s) {
  std::string out = s;
  for (char& c : out) c = LowerAscii(c);
  return out;
}

// Folder listings by lower-cased name. A name not found as written is
// looked up ignoring case; reading the whole folder for each one made a
// drawing that stages thousands of images quadratic. A listing holds while
// the folder's modification time is the one seen when it was read, or when
// this program itself last made an entry in it.
struct Listing {
  struct timespec modified {};
  dev_t device = 0;
  ino_t inode = 0;
  // Lower-cased name -> the smallest name of that spelling (several are
  // possible on Linux, not on Windows), so the choice does not depend on
  // the directory's order.
  std::map<std::string, std::string> names;
};

struct ListingCache {
  std::mutex lock;
  std::map<std::string, Listing> folders;
};

ListingCache& Listings() {
  static ListingCache cache;
  return cache;
}

bool SameStamp(const Listing& l, const struct stat& st) {
  return l.device == st.st_dev && l.inode == st.st_ino && l.modified.tv_sec == st.st_mtim.tv_sec &&
         l.modified.tv_nsec == st.st_mtim.tv_nsec;
}

void Stamp(Listing& l, const struct stat& st) {
  l.device = st.st_dev;
  l.inode = st.st_ino;
  l.modified = st.st_mtim;
}

void AddName(Listing& l, const std::string& name) {
  auto [it, added] = l.names.try_emplace(LowerAsciiText(name), name);
  if (!added && name < it->second) it->second = name;
}

struct DirCloser {
  void operator()(DIR* d) const { ::closedir(d); }
};

// The entry of `folder` equal to `name` ignoring ASCII case.
bool FindIgnoringCase(const std::string& folder, const std::string& name, std::string& found) {
  const std::string path = folder.empty() ? "." : folder;
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  ListingCache& cache = Listings();
  std::lock_guard<std::mutex> hold(cache.lock);
  auto it = cache.folders.find(path);
  if (it == cache.folders.end() || !SameStamp(it->second, st)) {
    Listing fresh;
    std::unique_ptr<DIR, DirCloser> dir(::opendir(path.c_str()));
    if (!dir) return false;
    Stamp(fresh, st);
    while (const dirent* e = ::readdir(dir.get())) {
      if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
      AddName(fresh, e->d_name);
    }
    if (cache.folders.size() >= 64) cache.folders.clear();
    it = cache.folders.insert_or_assign(path, std::move(fresh)).first;
  }
  auto entry = it->second.names.find(LowerAsciiText(name));
  if (entry == it->second.names.end()) return false;
  found = entry->second;
  return true;
}

// This program made the entry `native`: a listing of its folder that was
// current stays current with the name added.
void NoteEntryMade(const std::string& native) {
  const std::size_t slash = native.rfind('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : native.substr(0, slash);
  const std::string name = slash == std::string::npos ? native : native.substr(slash + 1);
  ListingCache& cache = Listings();
  std::lock_guard<std::mutex> hold(cache.lock);
  auto it = cache.folders.find(folder);
  if (it == cache.folders.end()) return;
  struct stat st;
  if (::stat(folder.c_str(), &st) != 0) {
    cache.folders.erase(it);
    return;
  }
  AddName(it->second, name);
  Stamp(it->second, st);
}

// An entry of `native`'s folder went away: its listing is read again when
// next needed.
void NoteEntryGone(const std::string& native) {
  const std::size_t slash = native.rfind('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : native.substr(0, slash);
  ListingCache& cache = Listings();
  std::lock_guard<std::mutex> hold(cache.lock);
  cache.folders.erase(folder);
}

bool Exists(const std::string& native) {
  struct stat st;
  return ::lstat(native.c_str(), &st) == 0;
}

// The native start of an internal path: "" (relative), "/" or a drive's
// folder. False for a drive that is not mapped.
bool RootOf(const InternalPath& p, std::string& root) {
  switch (p.kind) {
    case InternalPath::kRelative:
      root.clear();
      return true;
    case InternalPath::kRooted:
      root = "/";
      return true;
    case InternalPath::kDrive:
      return DriveFolder(p.drive, root);
  }
  return false;
}

bool ResolveParts(const std::string& root, const std::vector<std::string>& parts,
                  std::string& native, bool keepLast);

// The native path of an internal one, each component found as written or
// else ignoring ASCII letter case. Components after the first missing one
// are kept as written, so the operation on the result fails as it should.
// With `keepLast`, the last component is never replaced by another name.
// False when the drive is not mapped or a component is not valid CP932.
bool Resolve(const std::string& internal, std::string& native, bool keepLast = false) {
  InternalPath p = Split(internal);
  std::string root;
  if (!RootOf(p, root)) return false;
  std::vector<std::string> parts;
  for (const std::string& part : p.parts) {
    std::string utf8;
    if (!posix::Cp932ToUtf8(part, utf8)) return false;
    // A "/" cannot occur in a decoded component (it would have split), but
    // a NUL byte would cut the path short for the kernel.
    if (utf8.find('\0') != std::string::npos) return false;
    parts.push_back(utf8);
  }
  return ResolveParts(root, parts, native, keepLast);
}

// A wide internal path (UTF-16, for names CP932 cannot hold) resolved the
// same way; its components go to UTF-8 straight from UTF-16.
bool ResolveWide(const std::u16string& internal, std::string& native) {
  InternalPath p;
  std::size_t i = 0;
  if (internal.size() >= 2 && internal[0] < 0x80 && IsAsciiLetter(static_cast<char>(internal[0])) &&
      internal[1] == u':') {
    p.kind = InternalPath::kDrive;
    p.drive = static_cast<char>(internal[0]);
    i = 2;
  } else if (!internal.empty() && (internal[0] == u'\\' || internal[0] == u'/')) {
    p.kind = InternalPath::kRooted;
  }
  std::vector<std::string> parts;
  std::u16string part;
  auto take = [&] {
    std::string utf8;
    if (!part.empty() && !Utf16ToUtf8(part, utf8)) return false;
    if (!utf8.empty()) parts.push_back(utf8);
    part.clear();
    return true;
  };
  for (; i < internal.size(); ++i) {
    if (internal[i] == u'\0') return false;
    if (internal[i] == u'\\' || internal[i] == u'/') {
      if (!take()) return false;
    } else {
      part += internal[i];
    }
  }
  if (!take()) return false;
  std::string root;
  if (!RootOf(p, root)) return false;
  return ResolveParts(root, parts, native, false);
}

// The native path of components already in UTF-8 below `root`.
bool ResolveParts(const std::string& root, const std::vector<std::string>& parts,
                  std::string& native, bool keepLast) {
  std::string asWritten = root;
  for (const std::string& part : parts) asWritten = Join(asWritten, part);
  native = asWritten;
  if (parts.empty() || Exists(asWritten)) return true;

  // Most paths that are not there as written are new files in a folder
  // that is: only their last component needs looking for.
  std::string current = root;
  std::size_t first = 0;
  if (parts.size() > 1) {
    std::string parent = root;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) parent = Join(parent, parts[i]);
    if (Exists(parent)) {
      current = parent;
      first = parts.size() - 1;
    }
  }
  for (std::size_t i = first; i < parts.size(); ++i) {
    std::string candidate = Join(current, parts[i]);
    std::string found;
    bool last = i + 1 == parts.size();
    if (Exists(candidate) || (last && keepLast)) {
      current = candidate;
    } else if (FindIgnoringCase(current, parts[i], found)) {
      current = Join(current, found);
    } else {
      current = candidate;
      for (std::size_t j = i + 1; j < parts.size(); ++j) current = Join(current, parts[j]);
      break;
    }
  }
  native = current;
  return true;
}

class PosixFile : public File {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override { Close(); }

  long long Read(void* buffer, std::size_t count) override {
    if (fd_ < 0) return -1;
    char* p = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
      ssize_t n = ::read(fd_, p + done, count - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        return -1;
      }
      if (n == 0) break;
      done += static_cast<std::size_t>(n);
    }
    return static_cast<long long>(done);
  }

  long long Write(const void* buffer, std::size_t count) override {
    if (fd_ < 0) return -1;
    const char* p = static_cast<const char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
      ssize_t n = ::write(fd_, p + done, count - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        // What went out before the error is reported as a short write.
        return done > 0 ? static_cast<long long>(done) : -1;
      }
      if (n == 0) break;
      done += static_cast<std::size_t>(n);
    }
    return static_cast<long long>(done);
  }

  long long Size() override {
    struct stat st;
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
    return static_cast<long long>(st.st_size);
  }

  bool Close() override {
    if (fd_ >= 0) {
      // Linux releases the descriptor even when close() reports an error,
      // so it is never retried.
      closedOk_ = ::close(fd_) == 0;
      fd_ = -1;
    }
    return closedOk_;
  }

 private:
  int fd_;
  bool closedOk_ = true;
};

std::unique_ptr<File> OpenNative(const std::string& native, int flags) {
  int fd = ::open(native.c_str(), flags | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  struct stat st;
  // Linux opens a folder for reading; Windows does not open it as a file.
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<PosixFile>(fd);
}

LocalTime ToLocalTime(time_t t) {
  struct tm tm {};
  LocalTime lt;
  if (!::localtime_r(&t, &tm)) return lt;
  lt.year = tm.tm_year + 1900;
  lt.month = tm.tm_mon + 1;
  lt.day = tm.tm_mday;
  lt.hour = tm.tm_hour;
  lt.minute = tm.tm_min;
  lt.second = tm.tm_sec;
  return lt;
}

// Renames without ever replacing `to`. Filesystems without RENAME_NOREPLACE
// get link()+unlink(), where link() refuses an existing target.
bool RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
  if (::link(from.c_str(), to.c_str()) == 0) {
    if (::unlink(from.c_str()) == 0) return true;
    ::unlink(to.c_str());
    return false;
  }
  return false;
}

// Creates the file and notes it for an interrupt that ends the program,
// in one step as far as the ending signals can tell.
std::unique_ptr<File> CreateNoted(const std::string& native, int flags) {
  std::unique_ptr<File> file;
  posix::WithEndSignalsHeld([&] {
    file = OpenNative(native, flags);
    if (file) posix::NoteCreatedFile(native);
  });
  if (file) NoteEntryMade(native);
  return file;
}

// A file renamed into place is finished: an interrupt must not delete it,
// even where a file the program made earlier lay under the new name (a
// placeholder it replaced, or one removed behind the Os's back).
void ForgetRenamed(const std::string& from, const std::string& to) {
  // A file renamed onto itself is still where it was made.
  if (from == to) return;
  NoteEntryGone(from);
  NoteEntryMade(to);
  posix::ForgetEntry(from);
  posix::ForgetEntry(to);
}

class PosixOs : public Os {
 public:
  std::unique_ptr<File> OpenRead(const std::string& path) override {
    std::string native;
    if (!Resolve(path, native)) return nullptr;
    return OpenNative(native, O_RDONLY);
  }

  std::unique_ptr<File> Create(const std::string& path) override {
    std::string native;
    if (!Resolve(path, native)) return nullptr;
    return CreateNoted(native, O_WRONLY | O_CREAT | O_TRUNC);
  }

  std::unique_ptr<File> CreateNew(const std::string& path) override {
    std::string native;
    if (!Resolve(path, native)) return nullptr;
    return CreateNoted(native, O_WRONLY | O_CREAT | O_EXCL);
  }

  std::unique_ptr<File> OpenWrite(const std::string& path) override {
    std::string native;
    if (!Resolve(path, native)) return nullptr;
    return OpenNative(native, O_WRONLY);
  }

  bool Delete(const std::string& path) override {
    std::string native;
    return Resolve(path, native) && DeleteNative(native);
  }

  static bool DeleteNative(const std::string& native) {
    bool deleted = false;
    posix::WithEndSignalsHeld([&] {
      deleted = ::unlink(native.c_str()) == 0;
      if (deleted) posix::ForgetEntry(native);
    });
    if (deleted) NoteEntryGone(native);
    return deleted;
  }

  bool Rename(const std::string& from, const std::string& to) override {
    std::string nativeFrom, nativeTo;
    if (!Resolve(from, nativeFrom) || !Resolve(to, nativeTo)) return false;
    // "a.txt" -> "A.TXT" finds the source itself; Windows lets the name
    // change its case.
    if (nativeTo == nativeFrom && !Resolve(to, nativeTo, true)) return false;
    bool renamed = false;
    posix::WithEndSignalsHeld([&] {
      renamed = RenameNoReplace(nativeFrom, nativeTo);
      if (renamed) ForgetRenamed(nativeFrom, nativeTo);
    });
    return renamed;
  }

  bool Replace(const std::string& from, const std::string& to) override {
    std::string nativeFrom, nativeTo;
    if (!Resolve(from, nativeFrom) || !Resolve(to, nativeTo)) return false;
    if (nativeTo == nativeFrom && !Resolve(to, nativeTo, true)) return false;
    // rename(2) would put a folder in place of an empty folder; Windows
    // replaces files only.
    struct stat st;
    if (::lstat(nativeTo.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return false;
    bool replaced = false;
    posix::WithEndSignalsHeld([&] {
      replaced = ::rename(nativeFrom.c_str(), nativeTo.c_str()) == 0;
      if (replaced) ForgetRenamed(nativeFrom, nativeTo);
    });
    return replaced;
  }

  bool FindFirst(const std::string& path, DirEntry& entry) override {
    std::string native;
    return Resolve(path, native) && FindFirstNative(native, entry);
  }

  static bool FindFirstNative(const std::string& native, DirEntry& entry) {
    struct stat st;
    // A dangling link is still an entry of its folder.
    if (::stat(native.c_str(), &st) != 0 && ::lstat(native.c_str(), &st) != 0) return false;
    entry.isFolder = S_ISDIR(st.st_mode);
    entry.size = entry.isFolder ? 0 : static_cast<std::uint64_t>(st.st_size);
    entry.lastWrite = ToLocalTime(st.st_mtim.tv_sec);
    return true;
  }

  bool FileExists(const std::string& path) override {
    struct stat st;
    std::string native;
    return Resolve(path, native) && ::stat(native.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
  }

  bool FolderExists(const std::string& path) override {
    struct stat st;
    std::string native;
    return Resolve(path, native) && ::stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }

  bool CreateFolder(const std::string& path) override {
    std::string native;
    if (!Resolve(path, native)) return false;
    bool created = false;
    posix::WithEndSignalsHeld([&] {
      created = ::mkdir(native.c_str(), 0777) == 0;
      if (created) posix::NoteCreatedFolder(native);
    });
    if (created) NoteEntryMade(native);
    return created;
  }

  bool RemoveFolder(const std::string& path) override {
    std::string native;
    if (!Resolve(path, native)) return false;
    bool removed = false;
    posix::WithEndSignalsHeld([&] {
      removed = ::rmdir(native.c_str()) == 0;
      if (removed) posix::ForgetEntry(native);
    });
    if (removed) NoteEntryGone(native);
    return removed;
  }

  bool SetLastWriteTime(const std::string& path, const LocalTime& time) override {
    std::string native;
    return Resolve(path, native) && SetLastWriteTimeNative(native, time);
  }

  static bool SetLastWriteTimeNative(const std::string& native, const LocalTime& time) {
    struct tm tm {};
    tm.tm_year = time.year - 1900;
    tm.tm_mon = time.month - 1;
    tm.tm_mday = time.day;
    tm.tm_hour = time.hour;
    tm.tm_min = time.minute;
    tm.tm_sec = time.second;
    tm.tm_isdst = -1;
    time_t t = ::mktime(&tm);
    if (t == static_cast<time_t>(-1)) return false;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = t;
    times[1].tv_nsec = 0;
    return ::utimensat(AT_FDCWD, native.c_str(), times, 0) == 0;
  }

  bool SetArchiveOnly(const std::string& path) override {
    std::string native;
    struct stat st;
    if (!Resolve(path, native) || ::stat(native.c_str(), &st) != 0) return false;
    return ::chmod(native.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0;
  }

  std::unique_ptr<File> OpenReadWide(const std::u16string& path) override {
    std::string native;
    if (!ResolveWide(path, native)) return nullptr;
    return OpenNative(native, O_RDONLY);
  }

  std::unique_ptr<File> CreateWide(const std::u16string& path) override {
    std::string native;
    if (!ResolveWide(path, native)) return nullptr;
    return CreateNoted(native, O_WRONLY | O_CREAT | O_TRUNC);
  }

  bool DeleteWide(const std::u16string& path) override {
    std::string native;
    return ResolveWide(path, native) && DeleteNative(native);
  }

  bool FindFirstWide(const std::u16string& path, DirEntry& entry) override {
    std::string native;
    return ResolveWide(path, native) && FindFirstNative(native, entry);
  }

  bool FileExistsWide(const std::u16string& path) override {
    struct stat st;
    std::string native;
    return ResolveWide(path, native) && ::stat(native.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
  }

  bool SetLastWriteTimeWide(const std::u16string& path, const LocalTime& time) override {
    std::string native;
    return ResolveWide(path, native) && SetLastWriteTimeNative(native, time);
  }

  bool SetArchiveOnlyWide(const std::u16string& path) override {
    std::string native;
    struct stat st;
    if (!ResolveWide(path, native) || ::stat(native.c_str(), &st) != 0) return false;
    return ::chmod(native.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0;
  }

  void MapDrive(char letter, const std::string& nativeFolder) override {
    if (nativeFolder.empty()) {
      DriveTable().erase(UpperAscii(letter));
    } else {
      DriveTable()[UpperAscii(letter)] = nativeFolder;
    }
  }

  std::string DesktopFolder() override {
    return posix::UserFolderInternal("XDG_DESKTOP_DIR", "Desktop");
  }

  std::string DocumentsFolder() override {
    return posix::UserFolderInternal("XDG_DOCUMENTS_DIR", "Documents");
  }

  bool EscapeKeyDown() override { return posix::PollEscapeKey(); }

  void ShowMessage(const std::string& text) override {
    std::string out = posix::MessageForTerminal(text);
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
  }

  // A command line has no file dialog: the files come as arguments.
  bool OpenFilesDialog(const OpenDialogRequest&, std::vector<std::string>&,
                       std::int32_t&) override {
    return false;
  }

  bool SaveFileDialog(const SaveDialogRequest& request, std::string& chosen) override {
    return posix::AskSaveFolderOnTerminal(request, chosen);
  }

  std::string ClassesRootDefault(const std::string&) override { return ""; }

  // Jw_cad under Wine registers itself with the desktop for JWW files, so
  // the desktop's opener reaches it; the Windows program path means nothing
  // here.
  bool ShellOpen(const std::string&, const std::string& document, const std::string&) override {
    const std::string opener = posix::FindInPath("xdg-open");
    if (opener.empty()) return false;
    return posix::StartDetached({opener, InternalToNative(document)});
  }
};

std::string CurrentFolder() {
  std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
  return cwd ? std::string(cwd.get()) : std::string(".");
}

}  // namespace

Os& Native() {
  static PosixOs os;
  return os;
}

bool NativeToInternal(const std::string& native, std::string& internal, std::string& error) {
  internal.clear();
  error.clear();
  // A path typed in Windows form ("C:\dwg\a.jww") keeps its backslashes;
  // anywhere else a backslash is part of a Linux file name and would turn
  // into a separator inside, naming another file.
  bool windowsForm = native.size() >= 2 && IsAsciiLetter(native[0]) && native[1] == ':';
  if (!windowsForm && native.find('\\') != std::string::npos) {
    error = "the path \"" + native + "\" contains \"\\\", which cannot be part of a file name here";
    return false;
  }
  std::string sjis;
  std::size_t badAt = 0;
  if (!posix::Utf8ToCp932(native, sjis, &badAt)) {
    // Name the first character that does not convert (its UTF-8 bytes).
    std::size_t end = badAt + 1;
    while (end < native.size() && (static_cast<unsigned char>(native[end]) & 0xC0) == 0x80) ++end;
    error = "the path \"" + native + "\" contains \"" + native.substr(badAt, end - badAt) +
            "\", which Shift-JIS (CP932) cannot represent";
    return false;
  }
  // 0x2F is never the second byte of a CP932 character, so every "/" left
  // after the conversion is a separator.
  for (char& c : sjis) {
    if (c == '/') c = '\\';
  }
  internal = sjis;
  return true;
}

std::string InternalToNative(const std::string& internal) {
  std::string native;
  if (Resolve(internal, native)) return native;
  // For display only: an unmapped drive keeps its letter, and bytes that do
  // not decode show as U+FFFD.
  InternalPath p = Split(internal);
  std::string root;
  if (p.kind == InternalPath::kDrive && !DriveFolder(p.drive, root)) {
    root = std::string(1, p.drive) + ":/";
  } else {
    RootOf(p, root);
  }
  native = root;
  for (const std::string& part : p.parts) native = Join(native, posix::Cp932ToUtf8Lossy(part));
  return native;
}

std::string InternalToNative(const std::u16string& internal) {
  std::string native;
  if (ResolveWide(internal, native)) return native;
  // For display only, as above.
  std::u16string shown = internal;
  for (char16_t& u : shown) {
    if (u == u'\\') u = u'/';
    if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD;
  }
  Utf16ToUtf8(shown, native);
  return native;
}

std::string AbsoluteNative(const std::string& native) {
  if (!native.empty() && native[0] == '/') return native;
  std::string cwd = CurrentFolder();
  if (native.empty() || native == ".") return cwd;
  std::string rest = native;
  while (rest.size() >= 2 && rest[0] == '.' && rest[1] == '/') rest.erase(0, 2);
  return Join(cwd, rest);
}

std::string SjisToDisplay(const std::string& sjis) {
  return posix::Cp932ToUtf8Lossy(sjis);
}

bool DisplayToSjis(const std::string& display, std::string& sjis) {
  if (posix::Utf8ToCp932(display, sjis)) return true;
  sjis.clear();
  return false;
}

}  // namespace platform
