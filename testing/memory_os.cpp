#include "testing/memory_os.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/casefold.h"
#include "platform/unicode.h"
#include "text/filenames.h"
#include "text/sjis.h"

namespace platform {

namespace {

// The character `spelt` (a double-byte character, or a unit escaped as
// WideSpelling writes it) upper-cased as Windows compares names.
std::string FoldedCharacter(const std::string& spelt) {
  char16_t unit;
  if (spelt[0] == '\x01') {
    unit = static_cast<char16_t>(std::stoul(spelt.substr(1), nullptr, 16));
  } else {
    const std::u16string decoded = SjisToUtf16(spelt);
    if (decoded.size() != 1) return spelt;
    unit = decoded[0];
  }
  const char16_t folded = UpcaseFileNameUnit(unit);
  if (folded == unit && spelt[0] != '\x01') return spelt;
  return MemoryOs::WideSpelling(std::u16string(1, folded));
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Splits at real separators only: a trail byte 0x5C belongs to its
// character, as in any Shift-JIS path.
std::vector<std::string> Components(const std::string& path, bool& rooted) {
  std::vector<std::string> parts;
  std::string current;
  rooted = !path.empty() && (path[0] == '\\' || path[0] == '/');
  for (std::size_t i = 0; i < path.size(); ++i) {
    const auto b = static_cast<unsigned char>(path[i]);
    if (IsSjisLeadByte(b) && i + 1 < path.size()) {
      current += FoldedCharacter(path.substr(i, 2));
      ++i;
    } else if (b == 0x01 && i + 4 < path.size() &&
               std::all_of(path.begin() + i + 1, path.begin() + i + 5, IsHexDigit)) {
      current += FoldedCharacter(path.substr(i, 5));
      i += 4;
    } else if (b == '\\' || b == '/') {
      if (!current.empty()) parts.push_back(std::move(current));
      current.clear();
    } else {
      current += static_cast<char>(b >= 'a' && b <= 'z' ? b - 'a' + 'A' : b);
    }
  }
  if (!current.empty()) parts.push_back(std::move(current));
  // Windows resolves these textually before any file system sees the path,
  // and ".." never climbs above the root component.
  std::vector<std::string> out;
  for (auto& p : parts) {
    if (p == ".") continue;
    if (p == "..") {
      if (out.size() > 1) out.pop_back();
      continue;
    }
    out.push_back(std::move(p));
  }
  return out;
}

std::string Join(const std::vector<std::string>& parts, bool rooted, std::size_t count) {
  std::string key = rooted ? "\\" : "";
  for (std::size_t i = 0; i < count; ++i) {
    if (i) key += '\\';
    key += parts[i];
  }
  return key;
}

std::string ParentKey(const std::string& key) {
  bool rooted = false;
  auto parts = Components(key, rooted);
  if (parts.size() <= 1) return "";
  return Join(parts, rooted, parts.size() - 1);
}

bool IsRootKey(const std::string& key) {
  bool rooted = false;
  return Components(key, rooted).size() == 1;
}

class MemoryFileHandle : public File {
 public:
  MemoryFileHandle(std::shared_ptr<std::vector<std::uint8_t>> bytes, bool readable, bool writable)
      : bytes_(std::move(bytes)), readable_(readable), writable_(writable) {}

  long long Read(void* buffer, std::size_t count) override {
    if (!readable_ || closed_) return -1;
    if (position_ >= bytes_->size()) return 0;
    std::size_t n = std::min(count, bytes_->size() - position_);
    std::memcpy(buffer, bytes_->data() + position_, n);
    position_ += n;
    return static_cast<long long>(n);
  }

  long long Write(const void* buffer, std::size_t count) override {
    if (!writable_ || closed_) return -1;
    if (position_ + count > bytes_->size()) bytes_->resize(position_ + count);
    if (count) std::memcpy(bytes_->data() + position_, buffer, count);
    position_ += count;
    return static_cast<long long>(count);
  }

  long long Size() override { return static_cast<long long>(bytes_->size()); }

  bool Close() override {
    closed_ = true;
    return true;
  }

 private:
  std::shared_ptr<std::vector<std::uint8_t>> bytes_;
  std::size_t position_ = 0;
  bool readable_;
  bool writable_;
  bool closed_ = false;
};

}  // namespace

std::string MemoryOs::Key(const std::string& path) {
  bool rooted = false;
  auto parts = Components(path, rooted);
  return Join(parts, rooted, parts.size());
}

bool MemoryOs::IsInside(const std::string& path, const std::string& folder) {
  bool rootedPath = false, rootedFolder = false;
  auto p = Components(path, rootedPath);
  auto f = Components(folder, rootedFolder);
  if (rootedPath != rootedFolder || f.empty() || p.size() < f.size()) return false;
  return std::equal(f.begin(), f.end(), p.begin());
}

bool MemoryOs::ParentExists(const std::string& key) const {
  if (key.empty()) return false;
  if (IsRootKey(key)) return true;
  std::string parent = ParentKey(key);
  if (IsRootKey(parent)) return true;
  auto it = entries_.find(parent);
  return it != entries_.end() && it->second.isFolder;
}

bool MemoryOs::HasChildren(const std::string& key) const {
  for (const auto& [k, e] : entries_) {
    if (k != key && ParentKey(k) == key) return true;
  }
  return false;
}

void MemoryOs::MakeFolders(const std::string& path) {
  bool rooted = false;
  auto parts = Components(path, rooted);
  for (std::size_t n = 2; n <= parts.size(); ++n) {
    std::string key = Join(parts, rooted, n);
    auto& e = entries_[key];
    e.name = key;
    e.isFolder = true;
    e.bytes.reset();
  }
}

void MemoryOs::AddFolder(const std::string& path) {
  MakeFolders(path);
}

void MemoryOs::AddFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::string key = Key(path);
  MakeFolders(ParentKey(key));
  Entry e;
  e.name = key;
  e.bytes = std::make_shared<std::vector<std::uint8_t>>(bytes);
  entries_[key] = std::move(e);
}

void MemoryOs::AddFile(const std::string& path, const std::string& bytes) {
  AddFile(path, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

bool MemoryOs::GetFile(const std::string& path, std::vector<std::uint8_t>& bytes) const {
  auto it = entries_.find(Key(path));
  if (it == entries_.end() || it->second.isFolder) return false;
  bytes = *it->second.bytes;
  return true;
}

std::vector<std::string> MemoryOs::AllPaths() const {
  std::vector<std::string> all;
  for (const auto& [k, e] : entries_) all.push_back(k);
  return all;
}

std::unique_ptr<File> MemoryOs::OpenRead(const Path& wide) {
  const std::string path = WideSpelling(wide);
  auto it = entries_.find(Key(path));
  if (it == entries_.end() || it->second.isFolder) return nullptr;
  return std::make_unique<MemoryFileHandle>(it->second.bytes, true, false);
}

std::unique_ptr<File> MemoryOs::OpenForWrite(const std::string& path, bool truncate, bool mustBeNew,
                                             bool mustExist) {
  std::string key = Key(path);
  if (IsRootKey(key) || !ParentExists(key)) return nullptr;
  auto it = entries_.find(key);
  if (it != entries_.end()) {
    if (it->second.isFolder || mustBeNew) return nullptr;
  } else if (mustExist) {
    return nullptr;
  }
  written_.push_back(key);
  if (it == entries_.end()) {
    Entry e;
    e.name = key;
    e.bytes = std::make_shared<std::vector<std::uint8_t>>();
    it = entries_.emplace(key, std::move(e)).first;
  } else if (truncate) {
    // A fresh buffer: a reader still holding the old file keeps its bytes.
    it->second.bytes = std::make_shared<std::vector<std::uint8_t>>();
  }
  return std::make_unique<MemoryFileHandle>(it->second.bytes, true, true);
}

std::unique_ptr<File> MemoryOs::Create(const Path& wide) {
  const std::string path = WideSpelling(wide);
  return OpenForWrite(path, true, false, false);
}

std::unique_ptr<File> MemoryOs::CreateNew(const Path& wide) {
  const std::string path = WideSpelling(wide);
  return OpenForWrite(path, true, true, false);
}

std::unique_ptr<File> MemoryOs::OpenWrite(const Path& wide) {
  const std::string path = WideSpelling(wide);
  return OpenForWrite(path, false, false, true);
}

bool MemoryOs::Delete(const Path& wide) {
  const std::string path = WideSpelling(wide);
  std::string key = Key(path);
  auto it = entries_.find(key);
  if (it == entries_.end() || it->second.isFolder) return false;
  written_.push_back(key);
  entries_.erase(it);
  return true;
}

bool MemoryOs::Rename(const Path& wideFrom, const Path& wideTo) {
  const std::string from = WideSpelling(wideFrom), to = WideSpelling(wideTo);
  std::string fromKey = Key(from), toKey = Key(to);
  auto it = entries_.find(fromKey);
  if (it == entries_.end() || it->second.isFolder) return false;
  if (fromKey == toKey) return true;
  if (entries_.count(toKey) || IsRootKey(toKey) || !ParentExists(toKey)) return false;
  written_.push_back(toKey);
  Entry e = std::move(it->second);
  e.name = toKey;
  entries_.erase(it);
  entries_.emplace(toKey, std::move(e));
  return true;
}

bool MemoryOs::Replace(const Path& wideFrom, const Path& wideTo) {
  const std::string from = WideSpelling(wideFrom), to = WideSpelling(wideTo);
  std::string fromKey = Key(from), toKey = Key(to);
  auto it = entries_.find(fromKey);
  if (it == entries_.end() || it->second.isFolder) return false;
  if (fromKey == toKey) return true;
  auto target = entries_.find(toKey);
  if (target != entries_.end() && target->second.isFolder) return false;
  if (IsRootKey(toKey) || !ParentExists(toKey)) return false;
  written_.push_back(toKey);
  Entry e = std::move(it->second);
  e.name = toKey;
  entries_.erase(it);
  entries_[toKey] = std::move(e);
  return true;
}

bool MemoryOs::FindFirst(const Path& wide, DirEntry& entry) {
  const std::string path = WideSpelling(wide);
  std::string key = Key(path);
  auto it = entries_.find(key);
  if (it == entries_.end()) return false;
  entry.isFolder = it->second.isFolder;
  entry.size = it->second.isFolder ? 0 : it->second.bytes->size();
  entry.lastWrite = it->second.lastWrite;
  return true;
}

bool MemoryOs::FileExists(const Path& wide) {
  const std::string path = WideSpelling(wide);
  auto it = entries_.find(Key(path));
  return it != entries_.end() && !it->second.isFolder;
}

bool MemoryOs::FolderExists(const Path& wide) {
  const std::string path = WideSpelling(wide);
  std::string key = Key(path);
  if (key.empty()) return false;
  if (IsRootKey(key)) return true;
  auto it = entries_.find(key);
  return it != entries_.end() && it->second.isFolder;
}

bool MemoryOs::CreateFolder(const Path& wide) {
  const std::string path = WideSpelling(wide);
  std::string key = Key(path);
  if (IsRootKey(key) || entries_.count(key) || !ParentExists(key)) return false;
  written_.push_back(key);
  Entry e;
  e.name = key;
  e.isFolder = true;
  entries_.emplace(key, std::move(e));
  return true;
}

bool MemoryOs::RemoveFolder(const Path& wide) {
  const std::string path = WideSpelling(wide);
  std::string key = Key(path);
  auto it = entries_.find(key);
  if (it == entries_.end() || !it->second.isFolder || HasChildren(key)) return false;
  written_.push_back(key);
  entries_.erase(it);
  return true;
}

bool MemoryOs::SetLastWriteTime(const Path& wide, const LocalTime& time) {
  const std::string path = WideSpelling(wide);
  std::string key = Key(path);
  auto it = entries_.find(key);
  if (it == entries_.end()) return false;
  written_.push_back(key);
  it->second.lastWrite = time;
  return true;
}

bool MemoryOs::SetArchiveOnly(const Path& wide) {
  const std::string path = WideSpelling(wide);
  return entries_.count(Key(path)) != 0;
}

void MemoryOs::MapDrive(char, const std::string&) {}

std::uint32_t MemoryOs::RandomNumber() {
  random_ = random_ * 1664525u + 1013904223u;
  return random_;
}

Path MemoryOs::DesktopFolder() {
  return kDesktop;
}

Path MemoryOs::DocumentsFolder() {
  return kDocuments;
}

bool MemoryOs::EscapeKeyDown() {
  return false;
}

void MemoryOs::ShowMessage(const std::string& text) {
  messages_.push_back(text);
}

bool MemoryOs::OpenFilesDialog(const OpenDialogRequest&, std::vector<Path>&, std::int32_t&) {
  return false;
}

bool MemoryOs::SaveFileDialog(const SaveDialogRequest&, Path&) {
  return false;
}

std::u16string MemoryOs::ClassesRootDefault(const std::string&) {
  return u"";
}

bool MemoryOs::ShellOpen(const Path&, const Path&, const Path&) {
  return false;
}

std::string MemoryOs::WideSpelling(const std::u16string& path) {
  std::string spelt;
  for (std::size_t i = 0; i < path.size(); ++i) {
    // A surrogate pair converts as one character.
    const std::size_t n = (path[i] >= 0xD800 && path[i] <= 0xDBFF && i + 1 < path.size()) ? 2 : 1;
    std::string sjis;
    if (Utf16ToSjisExact(path.substr(i, n), sjis) && sjis.find('\0') == std::string::npos) {
      spelt += sjis;
    } else {
      for (std::size_t k = 0; k < n; ++k) {
        spelt += '\x01';
        spelt += HexText(path[i + k], 4);
      }
    }
    i += n - 1;
  }
  return spelt;
}

}  // namespace platform
