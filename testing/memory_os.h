// A file system held entirely in memory (files, folders and their stamps
// in maps), with a desktop whose dialogs cancel and whose messages are only
// recorded. Fuzzers and tests install it as both (ScopedOs and
// ScopedDesktop), run whole conversions on it without touching a disk, and
// can then ask which paths were ever created or written.
//
// Names are compared ignoring letter case as Windows does (whole
// characters: the second byte of a double-byte character is never folded
// alone), "/" separates like "\", and "."
// and ".." components are resolved as Windows resolves them before a path
// reaches the file system. A top-level component ("C:", or the first name
// under a leading "\") is a root that always exists.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

class MemoryOs : public Os, public Desktop {
 public:
  struct Entry {
    std::string name;  // the path as it was first created, normalised
    bool isFolder = false;
    std::shared_ptr<std::vector<std::uint8_t>> bytes;
    LocalTime lastWrite{2020, 1, 1, 0, 0, 0};
  };

  MemoryOs() = default;

  // Test set-up, bypassing the record of writes: the folders on the way
  // are made too.
  void AddFolder(const std::string& path);
  void AddFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
  void AddFile(const std::string& path, const std::string& bytes);
  // The bytes of a file, or false when there is none.
  bool GetFile(const std::string& path, std::vector<std::uint8_t>& bytes) const;

  // Every path the interface changed: created, opened for writing, renamed
  // to, deleted, stamped, a folder made or removed; as keys, in order.
  const std::vector<std::string>& WrittenPaths() const { return written_; }
  // Every file and folder there is, normalised and upper-cased.
  std::vector<std::string> AllPaths() const;
  const std::vector<std::string>& Messages() const { return messages_; }

  // The canonical key of a path: separators as "\", "." and ".." resolved,
  // no final "\", letters upper-cased.
  static std::string Key(const std::string& path);
  // Whether `path` is `folder` or lies inside it (both as keys).
  static bool IsInside(const std::string& path, const std::string& folder);

  std::unique_ptr<File> OpenRead(const Path& path) override;
  std::unique_ptr<File> Create(const Path& path) override;
  std::unique_ptr<File> CreateNew(const Path& path) override;
  std::unique_ptr<File> OpenWrite(const Path& path) override;
  bool Delete(const Path& path) override;
  bool Rename(const Path& from, const Path& to) override;
  bool Replace(const Path& from, const Path& to) override;
  bool FindFirst(const Path& path, DirEntry& entry) override;
  bool FileExists(const Path& path) override;
  bool FolderExists(const Path& path) override;
  bool CreateFolder(const Path& path) override;
  bool RemoveFolder(const Path& path) override;
  bool SetLastWriteTime(const Path& path, const LocalTime& time) override;
  bool SetArchiveOnly(const Path& path) override;
  void MapDrive(char letter, const std::string& nativeFolder) override;
  std::uint32_t RandomNumber() override;
  // A path lives under its byte spelling: CP932 where it has one, and 0x01
  // plus four hexadecimal digits for each code unit it has not (no CP932
  // path holds a control byte, so none can meet such a spelling). Test
  // set-up and WrittenPaths use that spelling.
  static std::string WideSpelling(const std::u16string& path);
  Path DesktopFolder() override;
  Path DocumentsFolder() override;
  bool EscapeKeyDown() override;
  void ShowMessage(const std::string& text) override;
  bool OpenFilesDialog(const OpenDialogRequest& request, std::vector<Path>& files,
                       std::int32_t& filterIndex) override;
  bool SaveFileDialog(const SaveDialogRequest& request, Path& chosen) override;
  std::u16string ClassesRootDefault(const std::string& key) override;
  bool ShellOpen(const Path& program, const Path& document, const Path& folder) override;

  static constexpr const char16_t* kDesktop = u"C:\\Users\\fuzz\\Desktop";
  static constexpr const char16_t* kDocuments = u"C:\\Users\\fuzz\\Documents";

 private:
  // Whether the folder a new entry would go into is there.
  bool ParentExists(const std::string& key) const;
  bool HasChildren(const std::string& key) const;
  std::unique_ptr<File> OpenForWrite(const std::string& path, bool truncate, bool mustBeNew,
                                     bool mustExist);
  void MakeFolders(const std::string& path);

  std::map<std::string, Entry> entries_;
  std::vector<std::string> written_;
  std::vector<std::string> messages_;
  std::uint32_t random_ = 0;
};

}  // namespace platform
