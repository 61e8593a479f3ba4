// The one door to the operating system, in two halves. Everything that
// touches a file or a folder goes through `platform::Current()`, the file
// system, so that tests can put a wrapper in front of it and make the N-th
// create, read, write, rename or delete fail (tests run as root:
// permission bits prove nothing). What the user's desktop does (folders,
// keys, messages, dialogs, the shell) goes through
// `platform::CurrentDesktop()`, which a front end or a test provides.
//
// Paths given to this interface are internal paths: Windows form
// ("C:\dwg\plan.jww", "\home\user\plan.jww") in UTF-16 code units, which
// hold every name a file system allows; each implementation translates them
// into its own native form at this boundary and nowhere else. A name not
// found as written is looked up ignoring letter case, one component at a
// time, as on Windows (platform/casefold.h); a name being created keeps its
// letters unless an entry of that name already exists in another case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// An internal path (see above). "/" separates as "\" does.
using Path = std::u16string;

// A wall-clock time as the local calendar shows it (no time zone attached):
// what Windows' FileTimeToLocalFileTime gives and what the packed MS-DOS date
// and the gzip header are made of.
struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  bool operator==(const LocalTime&) const = default;
};

// What "find the first directory entry of a path" tells about it.
struct DirEntry {
  bool isFolder = false;
  // Neither a file nor a folder: a FIFO, a device, a socket, a dangling
  // link. Such an entry takes a name but holds no file's bytes.
  bool special = false;
  std::uint64_t size = 0;
  LocalTime lastWrite;
};

// What the file dialogs are opened with: Shift-JIS texts, internal paths.
struct OpenDialogRequest {
  std::string title;
  std::u16string initialFolder;
  std::u16string fileName;
  // "label|pattern|label|pattern...", as the window system's filter text.
  std::string filter;
  std::int32_t filterIndex = 1;  // 1-based
};

struct SaveDialogRequest {
  std::string title;
  std::u16string initialFolder;
  std::u16string fileName;
};

// An open file. Read returns the bytes read (0 at the end) or -1 on an error;
// Write returns the bytes written, which may be fewer than asked (a full
// disk), or -1. Destroying the object closes the file.
class File {
 public:
  virtual ~File() = default;
  // Reads `count` bytes, fewer only at the end of the file; -1 on an error.
  virtual long long Read(void* buffer, std::size_t count) = 0;
  virtual long long Write(const void* buffer, std::size_t count) = 0;
  // The file's size in bytes, or -1 when it cannot be told. A file opened
  // only for reading may answer with its size when it was opened.
  virtual long long Size() = 0;
  // Flushes and closes; false when the data may not have reached the disk.
  // Safe to call twice.
  virtual bool Close() = 0;
  // The time the file was last written, as FindFirst gives it, for a file
  // opened only for reading that knows it from its opening; false when the
  // file cannot tell (FindFirst can).
  virtual bool LastWriteTime(LocalTime&) { return false; }
};

class Os {
 public:
  virtual ~Os() = default;

  // Files and folders, by internal path (see Path). A null result or false
  // means the operation failed.
  virtual std::unique_ptr<File> OpenRead(const Path& path) = 0;
  // Creates the file, replacing a file of that name.
  virtual std::unique_ptr<File> Create(const Path& path) = 0;
  // Creates the file only if no file of that name exists.
  virtual std::unique_ptr<File> CreateNew(const Path& path) = 0;
  // Opens an existing file for writing without truncating it.
  virtual std::unique_ptr<File> OpenWrite(const Path& path) = 0;
  virtual bool Delete(const Path& path) = 0;
  // Renames a file; never replaces an existing file of the new name.
  virtual bool Rename(const Path& from, const Path& to) = 0;
  // Renames a file over another in one step: `to` is either the old file,
  // whole, or the new one, never a mixture or nothing.
  virtual bool Replace(const Path& from, const Path& to) = 0;

  virtual bool FindFirst(const Path& path, DirEntry& entry) = 0;
  virtual bool FileExists(const Path& path) = 0;    // a file, not a folder
  virtual bool FolderExists(const Path& path) = 0;  // a folder, not a file
  virtual bool CreateFolder(const Path& path) = 0;
  virtual bool RemoveFolder(const Path& path) = 0;  // only an empty one
  virtual bool SetLastWriteTime(const Path& path, const LocalTime& time) = 0;
  // Clears read-only, hidden and system; sets archive (on POSIX: makes the
  // file writable by its owner).
  virtual bool SetArchiveOnly(const Path& path) = 0;

  // Where drive letter X: lies (POSIX only; Windows has its own drives).
  // Without a mapping, Wine's link $HOME/.wine/dosdevices/x: is used if it
  // exists; an empty folder removes the mapping. Paths on a drive that
  // lies nowhere name no file.
  virtual void MapDrive(char letter, const std::string& nativeFolder) = 0;

  // A number that differs from run to run, for the names of the work
  // folder's staging folders: through here, so that a test's file system
  // can make every run alike.
  virtual std::uint32_t RandomNumber() = 0;
};

// The user's desktop: the folders a user keeps, the keyboard, messages,
// dialogs, the registry and the shell. What a front end provides (a
// terminal, a window, a test's scripted user); nothing here is a fault a
// conversion must survive.
class Desktop {
 public:
  virtual ~Desktop() = default;

  // The user's desktop and documents folders as internal paths without a
  // final "\", or "" when the system cannot tell.
  virtual Path DesktopFolder() = 0;
  virtual Path DocumentsFolder() = 0;

  // Whether the Esc key is down at this moment. Never blocks. On a POSIX
  // terminal it also answers true once the user pressed Ctrl-C.
  virtual bool EscapeKeyDown() = 0;

  // A modal message with one OK button and the caption "Marrowfold".
  // `text` is Shift-JIS; "\r\n" in it is a line break.
  virtual void ShowMessage(const std::string& text) = 0;
  // The same for a message that reports a failure. Where messages are
  // printed it goes to standard error, apart from what the program reports
  // on standard output; by default it is shown as any message.
  virtual void ShowFailureMessage(const std::string& text);

  // The file-open dialog (several files may be chosen; they must exist).
  // True with the chosen files (internal paths, in the dialog's order) and
  // the filter index the user left selected; false when cancelled.
  virtual bool OpenFilesDialog(const OpenDialogRequest& request, std::vector<Path>& files,
                               std::int32_t& filterIndex) = 0;
  // The save dialog used to pick a folder: true with the chosen file's
  // full path (only its folder part matters to the caller); false when
  // cancelled.
  virtual bool SaveFileDialog(const SaveDialogRequest& request, Path& chosen) = 0;

  // The default value of a key under HKEY_CLASSES_ROOT, read only; "" when
  // the key or the value is not there. Systems without a
  // registry have no value.
  virtual std::u16string ClassesRootDefault(const std::string& key) = 0;
  // Asks the shell to open `document` with `program` ("open", shown
  // normally, started in `folder`), never waiting for it. Where the shell
  // knows no such program (POSIX), the document is opened with the desktop's
  // opener for its kind instead. False when nothing could be started.
  virtual bool ShellOpen(const Path& program, const Path& document, const Path& folder) = 0;
};

// The implementation in force; tests install a wrapper with ScopedOs.
Os& Current();
// The real implementation of this build.
Os& Native();

class ScopedOs {
 public:
  explicit ScopedOs(Os& os);
  ~ScopedOs();
  ScopedOs(const ScopedOs&) = delete;
  ScopedOs& operator=(const ScopedOs&) = delete;

 private:
  Os* previous_;
};

// The desktop in force, the real one of this build, and a test's in its
// place.
Desktop& CurrentDesktop();
Desktop& NativeDesktop();

class ScopedDesktop {
 public:
  explicit ScopedDesktop(Desktop& desktop);
  ~ScopedDesktop();
  ScopedDesktop(const ScopedDesktop&) = delete;
  ScopedDesktop& operator=(const ScopedDesktop&) = delete;

 private:
  Desktop* previous_;
};

// Native paths (command-line arguments, what a person types) and internal
// paths. A native path is refused only where it cannot name one file: on
// POSIX one holding a "\\" outside Windows form ("C:\\x"), which would become
// a separator inside; `error` (display text, naming the path) says so. On
// POSIX an absolute path "/a/b" becomes "\\a\\b"; a name that is no UTF-8
// but CP932 bytes (from a zip made on a Japanese Windows) is decoded from
// CP932. InternalToNative gives the native path of an existing entry as it
// lies on disk (letter case found as Windows would, a name in CP932 bytes
// as those bytes); for a path on a drive that is not mapped it gives
// "C:/x", fit for display only.
bool NativeToInternal(const std::string& native, Path& internal, std::string& error);
std::string InternalToNative(const Path& internal);
// InternalToNative as a person reads it (UTF-8), with `cp932Names` telling
// whether some name on the way lies on disk as CP932 bytes rather than in
// the system's own encoding; such names are shown decoded.
std::string InternalToDisplay(const Path& internal, bool* cp932Names = nullptr);
// InternalToDisplay for a file about to be made, whose name the disk holds
// in no spelling yet: only its folder is looked up.
std::string NewPathToDisplay(const Path& internal);
// Makes a native path absolute against the current folder.
std::string AbsoluteNative(const std::string& native);

// An internal path as a person on this system writes it, as a text for a
// person (Shift-JIS, see PathInText): on POSIX the native path
// ("/home/u/out/"), on Windows the path itself. A final separator stays.
std::string PathForPerson(const Path& internal);

// Text for a person: Shift-JIS (with the paths of PathInText) to the
// terminal's encoding (UTF-8 on POSIX), and back. Bytes that do not convert
// become U+FFFD / are refused.
std::string SjisToDisplay(const std::string& sjis);
// Shift-JIS to UTF-8 by the system's code page 932 alone, the paths of
// PathInText left as they are; what the text layer's tables are made from.
std::string CodePageToUtf8(const std::string& sjis);
bool DisplayToSjis(const std::string& display, std::string& sjis);

// Memory for the largest blocks of a drawing's records, which a conversion
// of a million entities fills tens of megabytes of: the first touch of each
// page is a fault, and in 4 KiB pages they cost about as much as reading the
// drawing. On POSIX a block starts on a huge-page boundary (kLargeBlock) and
// asks the system to back its first `huge` bytes with huge pages where it
// can (whole huge pages only: one touched at all is held whole). Its pages
// are zero and cost nothing until touched. AllocateLarge throws
// std::bad_alloc; FreeLarge takes the block with the size it was asked for.
inline constexpr std::size_t kLargeBlock = std::size_t{2} << 20;
void* AllocateLarge(std::size_t bytes, std::size_t huge = SIZE_MAX);
void FreeLarge(void* block, std::size_t bytes) noexcept;

// How many processors this process may run on (its affinity, which
// std::thread::hardware_concurrency does not heed on every system); at
// least 1.
unsigned ProcessorsAvailable();
// Runs `start`, which starts threads and must not throw, so that those
// threads never take the signals that end or stop the program: the thread
// that notes the files an interrupt must delete takes them, as it holds
// them back while noting.
void StartThreadsWithoutEndSignals(const std::function<void()>& start);

}  // namespace platform
