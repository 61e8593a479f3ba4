// An Os for the fuzz targets that keeps the files they read and write in
// memory: a disk round trip per input would cost most of the run.
// Everything else goes to the native Os through FaultyOs (which fails
// nothing unless told to).
#pragma once

#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "platform/faulty_os.h"

namespace fuzzos {

class MemFile : public platform::File {
 public:
  MemFile(std::string& bytes, bool writing) : bytes_(bytes) {
    if (writing) bytes_.clear();
  }
  long long Read(void* buffer, std::size_t count) override {
    const std::size_t n = std::min(count, bytes_.size() - pos_);
    if (n > 0) std::memcpy(buffer, bytes_.data() + pos_, n);
    pos_ += n;
    return static_cast<long long>(n);
  }
  long long Write(const void* buffer, std::size_t count) override {
    bytes_.append(static_cast<const char*>(buffer), count);
    return static_cast<long long>(count);
  }
  long long Size() override { return static_cast<long long>(bytes_.size()); }
  bool Close() override { return true; }

 private:
  std::string& bytes_;
  std::size_t pos_ = 0;
};

class MemOs : public platform::FaultyOs {
 public:
  std::map<std::string, std::string> files;

  bool FileExists(const std::string& path) override { return files.count(path) != 0; }
  std::unique_ptr<platform::File> OpenRead(const std::string& path) override {
    auto it = files.find(path);
    if (it == files.end()) return nullptr;
    return std::make_unique<MemFile>(it->second, false);
  }
  std::unique_ptr<platform::File> Create(const std::string& path) override {
    return std::make_unique<MemFile>(files[path], true);
  }
  std::unique_ptr<platform::File> CreateNew(const std::string& path) override {
    if (files.count(path)) return nullptr;
    return std::make_unique<MemFile>(files[path], true);
  }
  bool Delete(const std::string& path) override { return files.erase(path) != 0; }
  bool Replace(const std::string& from, const std::string& to) override {
    auto it = files.find(from);
    if (it == files.end()) return false;
    std::string bytes = std::move(it->second);
    files.erase(it);
    files[to] = std::move(bytes);
    return true;
  }
};

}  // namespace fuzzos
