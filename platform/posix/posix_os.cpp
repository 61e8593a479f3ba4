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

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/casefold.h"
#include "platform/platform.h"
#include "platform/posix/encoding.h"
#include "platform/posix/services.h"
#include "platform/posix/signals.h"
#include "platform/unicode.h"

namespace platform {

namespace {

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

// An internal path taken apart: where it starts and its components.
struct InternalPath {
  enum Kind { kRelative, kRooted, kDrive } kind = kRelative;
  char drive = 0;
};

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  std::string joined;
  joined.reserve(folder.size() + 1 + name.size());
  joined += folder;
  if (folder.back() != '/') joined += '/';
  joined += name;
  return joined;
}

// `root` and the components after it, as one native path.
std::string JoinAll(const std::string& root, const std::vector<std::string>& parts,
                    std::size_t count) {
  std::size_t size = root.size();
  for (std::size_t i = 0; i < count; ++i) size += 1 + parts[i].size();
  std::string path;
  path.reserve(size);
  path += root;
  for (std::size_t i = 0; i < count; ++i) {
    if (!path.empty() && path.back() != '/') path += '/';
    path += parts[i];
  }
  return path;
}

// Folder listings, for names not found as written, which are looked up
// ignoring case; reading the whole folder for each one made a drawing that
// stages thousands of images, and a batch into a folder that holds
// thousands of drawings, quadratic. A listing holds while the folder keeps
// the stamp (modification and change times, inode) seen when it was read,
// and across the changes this program makes itself, which it applies to the
// listing when the folder had not changed otherwise before them.
//
// The stamp is taken through the folder's own descriptor, held open with
// its listing, so that checking it looks up no path: a batch checks its
// folders at every name, and each look up of their paths walked every
// component again. The folder moved away or removed changes its stamp too;
// what the descriptor cannot tell is a path that comes to name another
// folder because a folder above it was renamed. A name is always looked for
// as written first, and a file is only ever made where its name is free, so
// such a listing can at worst let a name differ only in case from one
// there.
//
// A batch into a folder of 20,000 drawings lists it once, and that must be
// cheap: a listing costs no allocation per name, but holds the names one
// after another in one text, and an open-addressing table of their numbers
// by a hash of the name in lower case. Several names may differ only in
// case on Linux (not on Windows); the smallest is taken, so the choice
// does not depend on the directory's order.
// A folder's descriptor, closed with its listing.
struct FolderHandle {
  int fd = -1;
  FolderHandle() = default;
  explicit FolderHandle(int fd) : fd(fd) {}
  FolderHandle(FolderHandle&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
  FolderHandle& operator=(FolderHandle&& other) noexcept {
    std::swap(fd, other.fd);
    return *this;
  }
  ~FolderHandle() {
    if (fd >= 0) ::close(fd);
  }
};

struct Listing {
  FolderHandle folder;  // the folder read, for its stamp
  struct timespec modified {};
  struct timespec changed {};
  dev_t device = 0;
  ino_t inode = 0;
  std::string text;                   // every name, each ending in a NUL
  std::vector<std::uint32_t> start;   // where name i begins in `text`
  std::vector<std::uint32_t> hash;    // its hash
  std::vector<std::uint8_t> removed;  // 1 once this program removed it
  std::vector<std::uint32_t> slots;   // name number + 1; 0 for a free slot
  std::size_t live = 0;
};

struct ListingCache {
  std::mutex lock;
  std::map<std::string, Listing> folders;
  // Looks spent trying spellings in a folder not listed (TryRatherThanList).
  std::map<std::string, std::size_t> tries;
};

ListingCache& Listings() {
  static ListingCache cache;
  return cache;
}

bool SameTime(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool SameStamp(const Listing& l, const struct stat& st) {
  return l.device == st.st_dev && l.inode == st.st_ino && SameTime(l.modified, st.st_mtim) &&
         SameTime(l.changed, st.st_ctim);
}

// The listing's folder's stamp now, through its descriptor; false when
// it cannot be had.
bool StampNow(const Listing& l, struct stat& st) {
  return l.folder.fd >= 0 && ::fstat(l.folder.fd, &st) == 0;
}

void Stamp(Listing& l, const struct stat& st) {
  l.device = st.st_dev;
  l.inode = st.st_ino;
  l.modified = st.st_mtim;
  l.changed = st.st_ctim;
}

// FNV-1a of the name's characters, upper-cased as Windows compares names.
std::uint32_t NameHash(const char* name) {
  std::uint32_t h = 2166136261u;
  while (*name) h = (h ^ NextFoldedUtf8(name)) * 16777619u;
  return h;
}

bool SameIgnoringCase(const char* a, const char* b) {
  while (*a && *b)
    if (NextFoldedUtf8(a) != NextFoldedUtf8(b)) return false;
  return *a == '\0' && *b == '\0';
}

const char* NameAt(const Listing& l, std::size_t i) {
  return l.text.c_str() + l.start[i];
}

void Append(Listing& l, const char* name) {
  l.start.push_back(static_cast<std::uint32_t>(l.text.size()));
  l.text.append(name);
  l.text.push_back('\0');
  l.hash.push_back(NameHash(name));
  l.removed.push_back(0);
  ++l.live;
}

void Index(Listing& l, std::uint32_t i) {
  const std::size_t mask = l.slots.size() - 1;
  std::size_t at = l.hash[i] & mask;
  while (l.slots[at] != 0) at = (at + 1) & mask;
  l.slots[at] = i + 1;
}

// Drops the removed names and builds the table anew, with room to grow.
void Rebuild(Listing& l) {
  if (l.live < l.start.size()) {
    Listing kept;
    for (std::size_t i = 0; i < l.start.size(); ++i)
      if (!l.removed[i]) Append(kept, NameAt(l, i));
    l.text = std::move(kept.text);
    l.start = std::move(kept.start);
    l.hash = std::move(kept.hash);
    l.removed = std::move(kept.removed);
  }
  std::size_t size = 16;
  while (size < 2 * (l.start.size() + 1)) size *= 2;
  l.slots.assign(size, 0);
  for (std::size_t i = 0; i < l.start.size(); ++i) Index(l, static_cast<std::uint32_t>(i));
}

// The number of the name equal to `name` ignoring case (exactly equal when
// `exact`), the smallest of several; -1 when there is none.
long Find(const Listing& l, const std::string& name, bool exact) {
  if (l.slots.empty()) return -1;
  const std::uint32_t h = NameHash(name.c_str());
  const std::size_t mask = l.slots.size() - 1;
  long best = -1;
  for (std::size_t at = h & mask; l.slots[at] != 0; at = (at + 1) & mask) {
    const std::uint32_t i = l.slots[at] - 1;
    if (l.removed[i] || l.hash[i] != h) continue;
    const char* candidate = NameAt(l, i);
    if (exact ? std::strcmp(candidate, name.c_str()) != 0
              : !SameIgnoringCase(candidate, name.c_str()))
      continue;
    if (best < 0 || std::strcmp(candidate, NameAt(l, static_cast<std::size_t>(best))) < 0)
      best = static_cast<long>(i);
  }
  return best;
}

void AddName(Listing& l, const std::string& name) {
  if (Find(l, name, true) >= 0) return;
  Append(l, name.c_str());
  // Removed names keep their slots until the table is built anew.
  if (2 * (l.start.size() + 1) > l.slots.size()) {
    Rebuild(l);
  } else {
    Index(l, static_cast<std::uint32_t>(l.start.size() - 1));
  }
}

void RemoveName(Listing& l, const std::string& name) {
  const long i = Find(l, name, true);
  if (i < 0) return;
  l.removed[static_cast<std::size_t>(i)] = 1;
  --l.live;
}

// The key of a folder's listing: its native path without a closing "/",
// "." for the current folder.
std::string FolderKey(const std::string& folder) {
  std::string key = folder.empty() ? "." : folder;
  while (key.size() > 1 && key.back() == '/') key.pop_back();
  return key;
}

struct DirCloser {
  void operator()(DIR* d) const { ::closedir(d); }
};

// Trying every spelling of a name costs one look per spelling; listing a
// folder costs about one per entry, and a single conversion into a folder of
// 20,000 drawings would spend most of its time listing it. A name of few
// letters in a large folder is tried, until the looks spent on the folder
// would have paid for its listing: then the folder is listed, and the many
// names of a batch are looked up there.
bool TryRatherThanList(ListingCache& cache, const std::string& folder, const struct stat& st,
                       const std::string& name) {
  std::size_t letters = 0;
  for (char c : name) {
    // Letters beyond ASCII have their cases in other bytes: only the
    // listing finds "CAFÉ" for "café".
    if (static_cast<unsigned char>(c) >= 0x80) return false;
    letters += IsAsciiLetter(c);
  }
  if (letters > 12) return false;
  const std::size_t spellings = std::size_t{1} << letters;
  // A guess: file systems give a folder's size in their own ways, most as
  // some tens of bytes per entry.
  const auto entries = static_cast<std::size_t>(st.st_size) / 32;
  if (cache.tries.size() >= 64) cache.tries.clear();
  std::size_t& spent = cache.tries[folder];
  if (spent + spellings > entries) return false;
  spent += spellings;
  return true;
}

// The smallest entry of `folder` other than `name` itself that is equal to
// it ignoring ASCII case, found by trying each spelling.
bool TrySpellings(const std::string& folder, const std::string& name, std::string& found) {
  std::vector<std::size_t> letters;
  for (std::size_t i = 0; i < name.size(); ++i)
    if (IsAsciiLetter(name[i])) letters.push_back(i);
  bool any = false;
  std::string spelling = name;
  struct stat st;
  for (std::size_t mask = 0; mask < (std::size_t{1} << letters.size()); ++mask) {
    for (std::size_t k = 0; k < letters.size(); ++k) {
      const char c = name[letters[k]];
      spelling[letters[k]] = (mask >> k) & 1 ? UpperAscii(c) : LowerAscii(c);
    }
    if (spelling == name || (any && spelling >= found)) continue;
    if (::lstat(Join(folder, spelling).c_str(), &st) == 0) {
      found = spelling;
      any = true;
    }
  }
  return any;
}

// Whether `folder` has a listing that is current; `st` gets the folder's
// stamp, looked at through the listing's descriptor.
bool ListedAndCurrent(const std::string& folder, struct stat& st) {
  ListingCache& cache = Listings();
  std::lock_guard<std::mutex> hold(cache.lock);
  const auto it = cache.folders.find(FolderKey(folder));
  return it != cache.folders.end() && StampNow(it->second, st) && SameStamp(it->second, st);
}

// The entry of `folder` equal to `name` ignoring case. `known` is the
// folder's stat when the caller has just taken it; `current`: its listing
// was found current just now (ListedAndCurrent).
bool FindIgnoringCase(const std::string& folder, const std::string& name, std::string& found,
                      const struct stat* known = nullptr, bool current = false) {
  const std::string path = FolderKey(folder);
  ListingCache& cache = Listings();
  std::lock_guard<std::mutex> hold(cache.lock);
  auto it = cache.folders.find(path);
  struct stat st;
  if (it == cache.folders.end() ||
      !(current || (StampNow(it->second, st) && SameStamp(it->second, st)))) {
    if (known) {
      st = *known;
    } else if (::stat(path.c_str(), &st) != 0) {
      return false;
    }
    if (!S_ISDIR(st.st_mode)) return false;
    if (TryRatherThanList(cache, path, st, name)) return TrySpellings(path, name, found);
    Listing fresh;
    fresh.folder = FolderHandle(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fresh.folder.fd < 0 || !StampNow(fresh, st)) return false;
    std::unique_ptr<DIR, DirCloser> dir(::fdopendir(::dup(fresh.folder.fd)));
    if (!dir) return false;
    Stamp(fresh, st);
    while (const dirent* e = ::readdir(dir.get())) {
      if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
      Append(fresh, e->d_name);
    }
    Rebuild(fresh);
    if (cache.folders.size() >= 64) cache.folders.clear();
    it = cache.folders.insert_or_assign(path, std::move(fresh)).first;
  }
  const long entry = Find(it->second, name, false);
  if (entry < 0) return false;
  found = NameAt(it->second, static_cast<std::size_t>(entry));
  return true;
}

// What a lookup learnt on its way, so that the question asked next needs
// no call of its own.
struct Lookup {
  bool missing = false;  // no such entry
  struct stat seen {};   // the entry's lstat when it was there as written; st_mode 0 if not
  bool folderSeen = false;
  struct stat folder {};  // the stat of the folder the last component was looked for in
};

// A folder as it was just before this program changed one of its entries.
struct FolderBefore {
  std::string folder;  // the listing's key
  std::string name;    // the entry
  bool stamped = false;
  struct stat st {};
};

std::string FolderOf(const std::string& native) {
  const std::size_t slash = native.rfind('/');
  return FolderKey(slash == std::string::npos ? "." : slash == 0 ? "/" : native.substr(0, slash));
}

// `look`: the lookup of `native` just made, whose stat of the folder
// stands for one taken now.
FolderBefore Before(const std::string& native, const Lookup* look = nullptr) {
  FolderBefore b;
  const std::size_t slash = native.rfind('/');
  b.folder = FolderOf(native);
  b.name = slash == std::string::npos ? native : native.substr(slash + 1);
  // A folder not listed has no listing to keep current, and a listing made
  // before the change is noted goes unstamped (NoteChange drops it).
  ListingCache& cache = Listings();
  std::lock_guard<std::mutex> hold(cache.lock);
  const auto it = cache.folders.find(b.folder);
  if (it == cache.folders.end()) return b;
  if (look && look->folderSeen) {
    b.st = look->folder;
    b.stamped = true;
  } else {
    b.stamped = StampNow(it->second, b.st);
  }
  return b;
}

// This program removed the entry `gone` of the folder of `before` and/or
// made the entry `made` there (either may be empty). A listing that was
// current just before stays current with the change applied; one that was
// not (the folder changed behind our back since it was read) goes.
// Another process that changes the folder between the two looks at its
// stamp goes unnoticed, as it would between any look and the use of its
// result.
void NoteChange(const FolderBefore& before, const std::string& gone, const std::string& made) {
  ListingCache& cache = Listings();
  std::lock_guard<std::mutex> hold(cache.lock);
  auto it = cache.folders.find(before.folder);
  if (it == cache.folders.end()) return;
  struct stat now;
  if (!before.stamped || !SameStamp(it->second, before.st) || !StampNow(it->second, now)) {
    cache.folders.erase(it);
    return;
  }
  if (!gone.empty()) RemoveName(it->second, gone);
  if (!made.empty()) AddName(it->second, made);
  Stamp(it->second, now);
}

void NoteMade(const FolderBefore& before) {
  NoteChange(before, "", before.name);
}
void NoteGone(const FolderBefore& before) {
  NoteChange(before, before.name, "");
}

void ForgetListing(const std::string& folder) {
  ListingCache& cache = Listings();
  std::lock_guard<std::mutex> hold(cache.lock);
  cache.folders.erase(FolderKey(folder));
}

bool Exists(const std::string& native, struct stat* seen = nullptr) {
  struct stat st;
  if (::lstat(native.c_str(), &st) != 0) return false;
  if (seen) *seen = st;
  return true;
}

// A name whose bytes on disk are its CP932 form, not UTF-8: what unzip
// makes of a zip made on a Japanese Windows, and what older tools leave.
// Only the exact bytes count: ignoring ASCII case would fold the second
// byte of a double-byte character (0x83 0x41 is not 0x83 0x61).
bool FindAsCp932Bytes(const std::string& folder, const std::string& utf8Name, std::string& found) {
  // An ASCII name is the same in both.
  if (std::all_of(utf8Name.begin(), utf8Name.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
    return false;
  std::string bytes;
  if (!posix::Utf8ToCp932(utf8Name, bytes) || bytes == utf8Name) return false;
  if (!Exists(Join(folder, bytes))) return false;
  found = bytes;
  return true;
}

// The native start of an internal path: "" (relative), "/" or a drive's
// folder. False for a drive that is not mapped.
bool RootOf(const InternalPath& p, std::string& root) {
  switch (p.kind) {
    case InternalPath::kRelative:
      root.clear();
      return true;
    case InternalPath::kRooted:
      root.assign(1, '/');
      return true;
    case InternalPath::kDrive:
      return DriveFolder(p.drive, root);
  }
  return false;
}

bool ResolveParts(const std::string& root, const std::vector<std::string>& parts,
                  std::string& native, bool keepLast, Lookup* look);

// The root and UTF-8 components of an internal path; false as for Resolve.
bool Split(const Path& internal, std::string& root, std::vector<std::string>& parts) {
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
  parts.clear();
  std::u16string part;
  auto take = [&] {
    if (part.empty()) return true;
    parts.emplace_back();
    if (!Utf16ToUtf8(part, parts.back())) return false;
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
  return RootOf(p, root);
}

// The native path of an internal one, each component found as written or
// else ignoring letter case, else by its CP932 bytes. Components
// after the first missing one are kept as written, so the operation on the
// result fails as it should. With `keepLast`, the last component is never
// replaced by another name. False when the drive is not mapped, or a
// component holds a NUL or an unpaired surrogate (no UTF-8 form).
// `look` gets what the lookup learnt (see Lookup).
bool Resolve(const Path& internal, std::string& native, bool keepLast = false,
             Lookup* look = nullptr) {
  std::string root;
  std::vector<std::string> parts;
  return Split(internal, root, parts) && ResolveParts(root, parts, native, keepLast, look);
}

// An existing file opened by its path as written, without a lookup: where
// that path is there, the lookup would take it as it is. Null when it is
// not there so (nor openable).
std::unique_ptr<File> OpenAsWritten(const Path& internal, int flags);

// The native path of components already in UTF-8 below `root`.
bool ResolveParts(const std::string& root, const std::vector<std::string>& parts,
                  std::string& native, bool keepLast, Lookup* look) {
  Lookup ignored;
  if (!look) look = &ignored;
  *look = Lookup{};
  const std::string asWritten = JoinAll(root, parts, parts.size());
  native = asWritten;
  if (parts.empty() || Exists(asWritten, &look->seen)) return true;

  // Most paths that are not there as written are new files in a folder
  // that is: only their last component needs looking for.
  std::string current = root;
  std::size_t first = 0;
  struct stat parentStat;
  bool parentFound = false, parentListed = false;
  if (parts.size() > 1) {
    std::string parent = JoinAll(root, parts, parts.size() - 1);
    // A current listing of the folder stands for a look at its path.
    parentListed = ListedAndCurrent(parent, parentStat);
    if (parentListed || ::stat(parent.c_str(), &parentStat) == 0) {
      current = parent;
      first = parts.size() - 1;
      parentFound = true;
      look->folderSeen = true;
      look->folder = parentStat;
    }
  }
  for (std::size_t i = first; i < parts.size(); ++i) {
    std::string candidate = Join(current, parts[i]);
    std::string found;
    bool last = i + 1 == parts.size();
    // The whole path was looked for above: not again.
    const bool lookedFor = candidate == asWritten;
    if ((!lookedFor && Exists(candidate)) || (last && keepLast)) {
      current = candidate;
    } else if (FindIgnoringCase(current, parts[i], found,
                                i == first && parentFound ? &parentStat : nullptr,
                                i == first && parentListed)) {
      current = Join(current, found);
    } else if (FindAsCp932Bytes(current, parts[i], found)) {
      current = Join(current, found);
    } else {
      current = candidate;
      for (std::size_t j = i + 1; j < parts.size(); ++j) current = Join(current, parts[j]);
      look->missing = true;
      break;
    }
  }
  native = current;
  return true;
}

class PosixFile : public File {
 public:
  // `size` and `written`: the size and modification time of a file opened
  // only for reading, as the open found them; -1 for one that may change.
  explicit PosixFile(int fd, long long size = -1, time_t written = -1)
      : fd_(fd), openedSize_(size), openedWritten_(written) {}
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
    if (fd_ >= 0 && openedSize_ >= 0) return openedSize_;
    struct stat st;
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
    return static_cast<long long>(st.st_size);
  }

  bool LastWriteTime(LocalTime& time) override;

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
  long long openedSize_;
  time_t openedWritten_;
  bool closedOk_ = true;
};

std::unique_ptr<File> OpenNative(const std::string& native, int flags) {
  // Opened without blocking: a FIFO given for a file would otherwise wait
  // forever for a writer (or a reader) before anything could be checked.
  int fd = ::open(native.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) return nullptr;
  struct stat st;
  // Linux opens a folder for reading, and a FIFO, a device or a socket
  // too; none of them is a file that ends (/dev/zero never would), and
  // Windows does not open them as files.
  // F_SETFL takes only the status flags of `flags`: the file's own, without
  // the O_NONBLOCK the open added.
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::fcntl(fd, F_SETFL, flags) != 0) {
    ::close(fd);
    return nullptr;
  }
  const bool readOnly = (flags & O_ACCMODE) == O_RDONLY;
  if (!readOnly) return std::make_unique<PosixFile>(fd);
  return std::make_unique<PosixFile>(fd, static_cast<long long>(st.st_size), st.st_mtim.tv_sec);
}

std::unique_ptr<File> OpenAsWritten(const Path& internal, int flags) {
  std::string root;
  std::vector<std::string> parts;
  if (!Split(internal, root, parts) || parts.empty()) return nullptr;
  return OpenNative(JoinAll(root, parts, parts.size()), flags);
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

bool PosixFile::LastWriteTime(LocalTime& time) {
  if (fd_ < 0 || openedWritten_ < 0) return false;
  // What FindFirst gives for the same file.
  time = ToLocalTime(openedWritten_);
  return true;
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
std::unique_ptr<File> CreateNoted(const std::string& native, int flags, const Lookup* look) {
  // A file the lookup found as a file is emptied, not made: its folder
  // does not change. (Should it be replaced meanwhile, the folder's new
  // time tells the listing so.)
  const bool existing = !(flags & O_EXCL) && look && S_ISREG(look->seen.st_mode);
  const FolderBefore before = existing ? FolderBefore{} : Before(native, look);
  std::unique_ptr<File> file;
  posix::WithEndSignalsHeld([&] {
    file = OpenNative(native, flags);
    if (file) posix::NoteCreatedFile(native);
  });
  if (file && !existing) NoteMade(before);
  return file;
}

// A file renamed into place is finished: an interrupt must not delete it,
// even where a file the program made earlier lay under the new name (a
// placeholder it replaced, or one removed behind the Os's back).
void ForgetRenamed(const std::string& from, const std::string& to) {
  // A file renamed onto itself is still where it was made.
  if (from == to) return;
  posix::ForgetEntry(from);
  posix::ForgetEntry(to);
}

// `rename` from `from` to `to`, with the listings of both folders kept.
// `toLook`: the lookup of `to` just made.
template <typename RenameFn>
bool RenameNoted(const std::string& from, const std::string& to, RenameFn rename,
                 const Lookup* toLook) {
  const FolderBefore target = Before(to, toLook);
  FolderBefore source;
  if (target.folder == FolderOf(from)) {
    // One folder: its stamp is taken once.
    source = target;
    source.name = from.substr(from.rfind('/') + 1);
  } else {
    source = Before(from);
  }
  bool renamed = false;
  posix::WithEndSignalsHeld([&] {
    renamed = rename();
    if (renamed) ForgetRenamed(from, to);
  });
  if (!renamed || from == to) return renamed;
  if (source.folder == target.folder) {
    NoteChange(source, source.name, target.name);
  } else {
    NoteGone(source);
    NoteMade(target);
  }
  return true;
}

// A message as a terminal shows it.
void Print(std::FILE* stream, const std::string& sjis) {
  const std::string out = posix::MessageForTerminal(sjis);
  std::fwrite(out.data(), 1, out.size(), stream);
  std::fflush(stream);
}

class PosixOs : public Os {
 public:
  std::unique_ptr<File> OpenRead(const Path& path) override {
    if (auto file = OpenAsWritten(path, O_RDONLY)) return file;
    std::string native;
    if (!Resolve(path, native)) return nullptr;
    return OpenNative(native, O_RDONLY);
  }

  std::unique_ptr<File> Create(const Path& path) override {
    std::string native;
    Lookup look;
    if (!Resolve(path, native, false, &look)) return nullptr;
    return CreateNoted(native, O_WRONLY | O_CREAT | O_TRUNC, &look);
  }

  std::unique_ptr<File> CreateNew(const Path& path) override {
    std::string native;
    Lookup look;
    if (!Resolve(path, native, false, &look)) return nullptr;
    return CreateNoted(native, O_WRONLY | O_CREAT | O_EXCL, &look);
  }

  std::unique_ptr<File> OpenWrite(const Path& path) override {
    if (auto file = OpenAsWritten(path, O_WRONLY)) return file;
    std::string native;
    if (!Resolve(path, native)) return nullptr;
    return OpenNative(native, O_WRONLY);
  }

  bool Delete(const Path& path) override {
    std::string native;
    return Resolve(path, native) && DeleteNative(native);
  }

  static bool DeleteNative(const std::string& native) {
    const FolderBefore before = Before(native);
    bool deleted = false;
    posix::WithEndSignalsHeld([&] {
      deleted = ::unlink(native.c_str()) == 0;
      if (deleted) posix::ForgetEntry(native);
    });
    if (deleted) NoteGone(before);
    return deleted;
  }

  bool Rename(const Path& from, const Path& to) override {
    std::string nativeFrom, nativeTo;
    Lookup look;
    if (!Resolve(from, nativeFrom) || !Resolve(to, nativeTo, false, &look)) return false;
    // "a.txt" -> "A.TXT" finds the source itself; Windows lets the name
    // change its case.
    if (nativeTo == nativeFrom && !Resolve(to, nativeTo, true, &look)) return false;
    return RenameNoted(
        nativeFrom, nativeTo, [&] { return RenameNoReplace(nativeFrom, nativeTo); }, &look);
  }

  bool Replace(const Path& from, const Path& to) override {
    std::string nativeFrom, nativeTo;
    Lookup look;
    if (!Resolve(from, nativeFrom) || !Resolve(to, nativeTo, false, &look)) return false;
    if (nativeTo == nativeFrom && !Resolve(to, nativeTo, true, &look)) return false;
    // rename(2) would put a folder in place of an empty folder; Windows
    // replaces files only.
    struct stat st;
    if (::lstat(nativeTo.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return false;
    return RenameNoted(
        nativeFrom, nativeTo, [&] { return ::rename(nativeFrom.c_str(), nativeTo.c_str()) == 0; },
        &look);
  }

  bool FindFirst(const Path& path, DirEntry& entry) override {
    std::string native;
    Lookup look;
    return Resolve(path, native, false, &look) && !look.missing &&
           FindFirstNative(native, entry, &look.seen);
  }

  // `seen`: the entry's lstat when the lookup took one.
  static bool FindFirstNative(const std::string& native, DirEntry& entry,
                              const struct stat* seen = nullptr) {
    struct stat st;
    if (seen && seen->st_mode != 0 && !S_ISLNK(seen->st_mode)) {
      st = *seen;
    } else if (::stat(native.c_str(), &st) != 0 && ::lstat(native.c_str(), &st) != 0) {
      // A dangling link is still an entry of its folder.
      return false;
    }
    entry.isFolder = S_ISDIR(st.st_mode);
    entry.special = !entry.isFolder && !S_ISREG(st.st_mode);
    entry.size = entry.isFolder ? 0 : static_cast<std::uint64_t>(st.st_size);
    entry.lastWrite = ToLocalTime(st.st_mtim.tv_sec);
    return true;
  }

  bool FileExists(const Path& path) override {
    struct stat st;
    return Followed(path, st) && !S_ISDIR(st.st_mode);
  }

  bool FolderExists(const Path& path) override {
    struct stat st;
    return Followed(path, st) && S_ISDIR(st.st_mode);
  }

  // What the path names, links followed; false when it names nothing.
  static bool Followed(const Path& path, struct stat& st) {
    std::string native;
    Lookup look;
    if (!Resolve(path, native, false, &look) || look.missing) return false;
    st = look.seen;
    // The lookup's own lstat answers unless the entry is a link.
    if (st.st_mode != 0 && !S_ISLNK(st.st_mode)) return true;
    return ::stat(native.c_str(), &st) == 0;
  }

  bool CreateFolder(const Path& path) override {
    std::string native;
    if (!Resolve(path, native)) return false;
    const FolderBefore before = Before(native);
    bool created = false;
    posix::WithEndSignalsHeld([&] {
      created = ::mkdir(native.c_str(), 0777) == 0;
      if (created) posix::NoteCreatedFolder(native);
    });
    if (created) NoteMade(before);
    return created;
  }

  bool RemoveFolder(const Path& path) override {
    std::string native;
    if (!Resolve(path, native)) return false;
    const FolderBefore before = Before(native);
    bool removed = false;
    posix::WithEndSignalsHeld([&] {
      removed = ::rmdir(native.c_str()) == 0;
      if (removed) posix::ForgetEntry(native);
    });
    if (removed) {
      NoteGone(before);
      // A folder made again under the name is another folder.
      ForgetListing(native);
    }
    return removed;
  }

  bool SetLastWriteTime(const Path& path, const LocalTime& time) override {
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

  bool SetArchiveOnly(const Path& path) override {
    std::string native;
    struct stat st;
    if (!Resolve(path, native) || ::stat(native.c_str(), &st) != 0) return false;
    return ::chmod(native.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0;
  }

  void MapDrive(char letter, const std::string& nativeFolder) override {
    if (nativeFolder.empty()) {
      DriveTable().erase(UpperAscii(letter));
    } else {
      DriveTable()[UpperAscii(letter)] = nativeFolder;
    }
  }

  std::uint32_t RandomNumber() override { return std::random_device()(); }
};

class PosixDesktop : public Desktop {
 public:
  Path DesktopFolder() override { return posix::UserFolderInternal("XDG_DESKTOP_DIR", "Desktop"); }

  Path DocumentsFolder() override {
    return posix::UserFolderInternal("XDG_DOCUMENTS_DIR", "Documents");
  }

  bool EscapeKeyDown() override { return posix::PollEscapeKey(); }

  void ShowMessage(const std::string& text) override { Print(stdout, text); }

  // Apart from the log on standard output, so that `2>/dev/null` hides no
  // log line and a reader of the log never takes a failure for one.
  void ShowFailureMessage(const std::string& text) override { Print(stderr, text); }

  // A command line has no file dialog: the files come as arguments.
  bool OpenFilesDialog(const OpenDialogRequest&, std::vector<Path>&, std::int32_t&) override {
    return false;
  }

  bool SaveFileDialog(const SaveDialogRequest& request, Path& chosen) override {
    return posix::AskSaveFolderOnTerminal(request, chosen);
  }

  std::u16string ClassesRootDefault(const std::string&) override { return u""; }

  // Jw_cad under Wine registers itself with the desktop for JWW files, so
  // the desktop's opener reaches it; the Windows program path means nothing
  // here.
  bool ShellOpen(const Path&, const Path& document, const Path&) override {
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

Desktop& NativeDesktop() {
  static PosixDesktop desktop;
  return desktop;
}

bool NativeToInternal(const std::string& native, Path& internal, std::string& error) {
  internal.clear();
  error.clear();
  // A path typed in Windows form ("C:\dwg\a.jww") keeps its backslashes;
  // anywhere else a backslash is part of a Linux file name and would turn
  // into a separator inside, naming another file.
  const bool windowsForm = native.size() >= 2 && IsAsciiLetter(native[0]) && native[1] == ':';
  std::u16string units;
  if (!Utf8ToUtf16(native, units)) {
    // Not UTF-8, but CP932: a name made on a Japanese Windows, as unzip
    // leaves it. Its "\" may be the second byte of 表, which is no
    // character of its own.
    std::string utf8;
    if (!posix::Cp932ToUtf8(native, utf8) || !Utf8ToUtf16(utf8, units)) {
      error = "the path \"" + posix::Cp932ToUtf8Lossy(native) +
              "\" is neither UTF-8 nor Shift-JIS (CP932)";
      return false;
    }
  }
  if (!windowsForm && units.find(u'\\') != std::u16string::npos) {
    error = "the path \"" + native + "\" contains \"\\\", which cannot be part of a file name here";
    return false;
  }
  for (char16_t& u : units) {
    if (u == u'/') u = u'\\';
  }
  internal = std::move(units);
  return true;
}

std::string InternalToNative(const std::u16string& internal) {
  std::string native;
  if (Resolve(internal, native)) return native;
  // For display only: an unmapped drive keeps its letter.
  std::u16string shown = internal;
  for (std::size_t i = 0; i < shown.size(); ++i) {
    char16_t& u = shown[i];
    if (u == u'\\') u = u'/';
    // Only a half of a pair that is not there has no UTF-8 form.
    const bool pair = u >= 0xD800 && u <= 0xDBFF && i + 1 < shown.size() &&
                      shown[i + 1] >= 0xDC00 && shown[i + 1] <= 0xDFFF;
    if (pair)
      ++i;
    else if (u >= 0xD800 && u <= 0xDFFF)
      u = 0xFFFD;
  }
  Utf16ToUtf8(shown, native);
  return native;
}

namespace {

// A native path with each name that is not UTF-8 but CP932 decoded.
std::string DecodedNative(const std::string& native, bool* cp932Names) {
  if (cp932Names) *cp932Names = false;
  std::string shown;
  std::size_t start = 0;
  while (start <= native.size()) {
    std::size_t end = native.find('/', start);
    if (end == std::string::npos) end = native.size();
    const std::string part = native.substr(start, end - start);
    std::u16string units;
    std::string decoded;
    if (Utf8ToUtf16(part, units)) {
      shown += part;
    } else if (posix::Cp932ToUtf8(part, decoded)) {
      shown += decoded;
      if (cp932Names) *cp932Names = true;
    } else {
      shown += posix::Cp932ToUtf8Lossy(part);
    }
    if (end < native.size()) shown += '/';
    start = end + 1;
  }
  return shown;
}

}  // namespace

std::string InternalToDisplay(const std::u16string& internal, bool* cp932Names) {
  return DecodedNative(InternalToNative(internal), cp932Names);
}

std::string NewPathToDisplay(const std::u16string& internal) {
  const std::size_t cut = internal.find_last_of(u"\\/");
  std::string name;
  if (cut == std::u16string::npos || cut + 1 == internal.size() ||
      !Utf16ToUtf8(internal.substr(cut + 1), name))
    return InternalToDisplay(internal);
  std::string folder = InternalToDisplay(internal.substr(0, cut + 1));
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder + name;
}

std::string AbsoluteNative(const std::string& native) {
  if (!native.empty() && native[0] == '/') return native;
  std::string cwd = CurrentFolder();
  if (native.empty() || native == ".") return cwd;
  std::string rest = native;
  while (rest.size() >= 2 && rest[0] == '.' && rest[1] == '/') rest.erase(0, 2);
  return Join(cwd, rest);
}

std::string CodePageToUtf8(const std::string& sjis) {
  return posix::Cp932ToUtf8Lossy(sjis);
}

std::string SjisToDisplay(const std::string& sjis) {
  std::u16string units = TextForPerson(sjis);
  for (std::size_t i = 0; i < units.size(); ++i) {
    // A surrogate unpaired has no UTF-8 form.
    const bool high = units[i] >= 0xD800 && units[i] <= 0xDBFF;
    const bool low = units[i] >= 0xDC00 && units[i] <= 0xDFFF;
    if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF)
      ++i;
    else if (high || low)
      units[i] = 0xFFFD;
  }
  std::string utf8;
  Utf16ToUtf8(units, utf8);
  return utf8;
}

bool DisplayToSjis(const std::string& display, std::string& sjis) {
  if (posix::Utf8ToCp932(display, sjis)) return true;
  sjis.clear();
  return false;
}

}  // namespace platform
