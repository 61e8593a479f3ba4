// A test wrapper around another file system that makes chosen calls fail,
// the way a full disk, a vanished file or a refused rename would. Tests run as root,
// so permission bits cannot produce these failures; this can.
//
//   platform::FaultyOs faulty;
//   faulty.failWriteAt = 3;            // the third File::Write fails
//   platform::ScopedOs use(faulty);
//
// Counters are 1-based call numbers; 0 means never. With failFromThenOn,
// every call after the N-th fails too. The *Calls counters tell how many
// calls of each kind were made, so a test can run once, read the count and
// then walk N over every call. Files opened through the wrapper must not
// outlive it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

class FaultyOs : public Os {
 public:
  explicit FaultyOs(Os& inner = Native());

  int failOpenReadAt = 0;
  int failCreateAt = 0;  // Create and CreateNew, counted together
  int failReadAt = 0;    // File::Read on files opened through this wrapper
  int failWriteAt = 0;   // File::Write: -1, nothing written
  int shortWriteAt = 0;  // File::Write: writes count/2 bytes and says so
  int failRenameAt = 0;  // Rename and Replace, counted together
  int failDeleteAt = 0;
  int failCloseAt = 0;  // File::Close: the file is closed but reports failure
  bool failFromThenOn = false;
  // FileExists says yes to every path, and FindFirst reports a file (of
  // size 0, dated 1980-01-01) for every path that does not really exist.
  bool everythingExists = false;

  int openReadCalls = 0;
  int createCalls = 0;
  int readCalls = 0;
  int writeCalls = 0;   // failWriteAt and shortWriteAt both count these
  int renameCalls = 0;  // Rename and Replace
  int deleteCalls = 0;
  int closeCalls = 0;  // first Close of each file only; later ones do nothing

  // Every path a call asked to change, whether or not it could: created,
  // opened for writing, deleted, renamed from or to, a folder made or
  // removed, stamped. A test checks from these that a program never even
  // tries to write where it has no business, which a look at the disk
  // afterwards cannot tell of a refused attempt. Noted as MemoryOs spells
  // them (CP932 where it can hold the path).
  std::vector<std::string> changedPaths;

  // True when call number `call` of an operation whose failing call is `at`
  // must fail.
  bool Hits(int at, int call) const;

  std::unique_ptr<File> OpenRead(const Path& path) override;
  std::unique_ptr<File> Create(const Path& path) override;
  std::unique_ptr<File> CreateNew(const Path& path) override;
  std::unique_ptr<File> OpenWrite(const Path& path) override;
  bool Delete(const Path& path) override;
  bool Rename(const Path& from, const Path& to) override;
  bool FindFirst(const Path& path, DirEntry& entry) override;
  bool FileExists(const Path& path) override;
  bool FolderExists(const Path& path) override;
  bool CreateFolder(const Path& path) override;
  bool RemoveFolder(const Path& path) override;
  bool SetLastWriteTime(const Path& path, const LocalTime& time) override;
  bool SetArchiveOnly(const Path& path) override;
  void MapDrive(char letter, const std::string& nativeFolder) override;
  bool Replace(const Path& from, const Path& to) override;
  // Its own sequence, the same in every wrapper: a run under a fault is
  // the run that was counted, call for call.
  std::uint32_t RandomNumber() override;

 private:
  std::unique_ptr<File> Wrap(std::unique_ptr<File> file);

  Os& inner_;
  std::uint32_t random_ = 0;
};

}  // namespace platform
