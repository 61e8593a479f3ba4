// Shared helpers of the tests: temporary folders, whole-file bytes, the
// corpus of drawings Jw_cad wrote, and internal paths of native ones.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace testutil {

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The internal (Windows-form Shift-JIS) path of `name` inside the folder;
  // with an empty name, the folder itself ending in "\".
  std::string Internal(const std::string& name = "") const;
  std::filesystem::path Native(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& p);
void WriteBytes(const std::filesystem::path& p, const std::vector<std::uint8_t>& bytes);
std::string ReadText(const std::filesystem::path& p);
void WriteText(const std::filesystem::path& p, const std::string& text);

// A version 7.00 drawing of nothing but the given top-level texts, written
// with no image section entries (the folder is made if missing).
void WriteTextDrawing(const std::filesystem::path& native, const std::vector<std::string>& texts);

// The internal form of a native (UTF-8, "/") path.
std::string Internal(const std::filesystem::path& native);

// The folder of real drawings, or an empty path when it is not there (tests
// then skip).
std::filesystem::path CorpusDir();
std::vector<std::filesystem::path> CorpusDrawings();

// A file in memory, for reading and writing items without touching a disk.
class MemoryFile : public platform::File {
 public:
  MemoryFile() = default;
  explicit MemoryFile(std::vector<std::uint8_t> bytes) : bytes(std::move(bytes)) {}
  long long Read(void* buffer, std::size_t count) override;
  long long Write(const void* buffer, std::size_t count) override;
  long long Size() override { return static_cast<long long>(bytes.size()); }
  bool Close() override { return true; }

  std::vector<std::uint8_t> bytes;
  std::size_t position = 0;
};

}  // namespace testutil
