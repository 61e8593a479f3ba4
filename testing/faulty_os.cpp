#include "testing/faulty_os.h"

#include <utility>

#include "platform/unicode.h"
#include "testing/memory_os.h"

namespace platform {

namespace {

class FaultyFile : public File {
 public:
  FaultyFile(FaultyOs& os, std::unique_ptr<File> inner) : os_(os), inner_(std::move(inner)) {}

  long long Read(void* buffer, std::size_t count) override {
    if (os_.Hits(os_.failReadAt, ++os_.readCalls)) return -1;
    return inner_->Read(buffer, count);
  }

  long long Write(const void* buffer, std::size_t count) override {
    int call = ++os_.writeCalls;
    if (os_.Hits(os_.failWriteAt, call)) return -1;
    if (os_.Hits(os_.shortWriteAt, call)) return inner_->Write(buffer, count / 2);
    return inner_->Write(buffer, count);
  }

  long long Size() override { return inner_->Size(); }
  bool LastWriteTime(LocalTime& time) override { return inner_->LastWriteTime(time); }

  bool Close() override {
    if (closed_) return closedOk_;
    closed_ = true;
    bool fail = os_.Hits(os_.failCloseAt, ++os_.closeCalls);
    closedOk_ = inner_->Close() && !fail;
    return closedOk_;
  }

 private:
  FaultyOs& os_;
  std::unique_ptr<File> inner_;
  bool closed_ = false;
  bool closedOk_ = true;
};

}  // namespace

FaultyOs::FaultyOs(Os& inner) : inner_(inner) {}

bool FaultyOs::Hits(int at, int call) const {
  return at > 0 && (call == at || (failFromThenOn && call > at));
}

std::unique_ptr<File> FaultyOs::Wrap(std::unique_ptr<File> file) {
  if (!file) return nullptr;
  return std::make_unique<FaultyFile>(*this, std::move(file));
}

std::unique_ptr<File> FaultyOs::OpenRead(const Path& path) {
  if (Hits(failOpenReadAt, ++openReadCalls)) return nullptr;
  return Wrap(inner_.OpenRead(path));
}

std::unique_ptr<File> FaultyOs::Create(const Path& path) {
  changedPaths.push_back(MemoryOs::WideSpelling(path));
  if (Hits(failCreateAt, ++createCalls)) return nullptr;
  return Wrap(inner_.Create(path));
}

std::unique_ptr<File> FaultyOs::CreateNew(const Path& path) {
  changedPaths.push_back(MemoryOs::WideSpelling(path));
  if (Hits(failCreateAt, ++createCalls)) return nullptr;
  return Wrap(inner_.CreateNew(path));
}

std::unique_ptr<File> FaultyOs::OpenWrite(const Path& path) {
  changedPaths.push_back(MemoryOs::WideSpelling(path));
  return Wrap(inner_.OpenWrite(path));
}

bool FaultyOs::Delete(const Path& path) {
  changedPaths.push_back(MemoryOs::WideSpelling(path));
  if (Hits(failDeleteAt, ++deleteCalls)) return false;
  return inner_.Delete(path);
}

bool FaultyOs::Rename(const Path& from, const Path& to) {
  changedPaths.push_back(MemoryOs::WideSpelling(from));
  changedPaths.push_back(MemoryOs::WideSpelling(to));
  if (Hits(failRenameAt, ++renameCalls)) return false;
  return inner_.Rename(from, to);
}

bool FaultyOs::Replace(const Path& from, const Path& to) {
  changedPaths.push_back(MemoryOs::WideSpelling(from));
  changedPaths.push_back(MemoryOs::WideSpelling(to));
  if (Hits(failRenameAt, ++renameCalls)) return false;
  return inner_.Replace(from, to);
}

bool FaultyOs::FindFirst(const Path& path, DirEntry& entry) {
  if (inner_.FindFirst(path, entry)) return true;
  if (!everythingExists) return false;
  entry = DirEntry{};
  entry.lastWrite = LocalTime{1980, 1, 1, 0, 0, 0};
  return true;
}

bool FaultyOs::FileExists(const Path& path) {
  return everythingExists || inner_.FileExists(path);
}

bool FaultyOs::FolderExists(const Path& path) {
  return inner_.FolderExists(path);
}

bool FaultyOs::CreateFolder(const Path& path) {
  changedPaths.push_back(MemoryOs::WideSpelling(path));
  return inner_.CreateFolder(path);
}

bool FaultyOs::RemoveFolder(const Path& path) {
  changedPaths.push_back(MemoryOs::WideSpelling(path));
  return inner_.RemoveFolder(path);
}

bool FaultyOs::SetLastWriteTime(const Path& path, const LocalTime& time) {
  changedPaths.push_back(MemoryOs::WideSpelling(path));
  return inner_.SetLastWriteTime(path, time);
}

bool FaultyOs::SetArchiveOnly(const Path& path) {
  changedPaths.push_back(MemoryOs::WideSpelling(path));
  return inner_.SetArchiveOnly(path);
}

void FaultyOs::MapDrive(char letter, const std::string& nativeFolder) {
  inner_.MapDrive(letter, nativeFolder);
}

std::uint32_t FaultyOs::RandomNumber() {
  // A linear congruential step: any fixed sequence does.
  random_ = random_ * 1664525u + 1013904223u;
  return random_;
}

}  // namespace platform
