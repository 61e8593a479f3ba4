#include "tests/testutil.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>

#include "jww/jwwunit.h"
#include "platform/platform.h"

namespace testutil {

TempDir::TempDir() {
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto p = std::filesystem::temp_directory_path() /
             ("marrowfold-test-" + std::to_string(rd()) + std::to_string(attempt));
    if (std::filesystem::create_directory(p)) {
      path_ = p;
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::filesystem::path TempDir::Native(const std::string& name) const {
  return path_ / PathFromUtf8(name);
}

std::string TempDir::Internal(const std::string& name) const {
  if (name.empty()) return testutil::Internal(path_) + "\\";
  return testutil::Internal(path_ / name);
}

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::filesystem::path& p, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::string ReadText(const std::filesystem::path& p) {
  auto b = ReadBytes(p);
  return std::string(b.begin(), b.end());
}

void WriteText(const std::filesystem::path& p, const std::string& text) {
  WriteBytes(p, std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::string Utf8(const std::filesystem::path& p) {
  const std::u8string u8 = p.u8string();
  return std::string(u8.begin(), u8.end());
}

std::filesystem::path PathFromUtf8(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Internal(const std::filesystem::path& native) {
  std::string internal, error;
  if (!platform::NativeToInternal(Utf8(native), internal, error))
    throw std::runtime_error("no internal form for " + Utf8(native) + ": " + error);
  return internal;
}

std::filesystem::path CorpusDir() {
  std::vector<std::string> candidates;
  if (const char* env = std::getenv("MARROWFOLD_CORPUS_DIR"); env && *env)
    candidates.push_back(env);
  const std::string built = MARROWFOLD_CORPUS_DIR;
  candidates.push_back(built);
#ifdef _WIN32
  // Wine shows the Linux root as drive Z:.
  if (!built.empty() && built[0] == '/') candidates.push_back("Z:" + built);
#endif
  for (const std::string& c : candidates) {
    std::filesystem::path p = PathFromUtf8(c);
    std::error_code ec;
    if (std::filesystem::is_directory(p, ec)) return p;
  }
  return {};
}

std::vector<std::filesystem::path> CorpusDrawings() {
  std::vector<std::filesystem::path> out;
  auto dir = CorpusDir();
  if (dir.empty()) return out;
  for (auto& e : std::filesystem::directory_iterator(dir))
    if (e.path().extension() == ".jww") out.push_back(e.path());
  std::sort(out.begin(), out.end());
  return out;
}

long long MemoryFile::Read(void* buffer, std::size_t count) {
  std::size_t n = std::min(count, bytes.size() - position);
  std::copy_n(bytes.data() + position, n, static_cast<std::uint8_t*>(buffer));
  position += n;
  return static_cast<long long>(n);
}

long long MemoryFile::Write(const void* buffer, std::size_t count) {
  const auto* p = static_cast<const std::uint8_t*>(buffer);
  bytes.insert(bytes.end(), p, p + count);
  return static_cast<long long>(count);
}

void WriteTextDrawing(const std::filesystem::path& native, const std::vector<std::string>& texts) {
  std::filesystem::create_directories(native.parent_path());
  TJwwData d;
  d.Header.Version = 700;
  for (const std::string& s : texts) {
    TEntJwwText t;
    t.Attr.PenStyle = 1;
    t.FontName = JwwStr("font");
    t.Text = JwwStr(s);
    d.EntityTable.push_back({kText, static_cast<std::int32_t>(d.Texts.size())});
    d.Texts.push_back(t);
  }
  // The writer stores the staged images of the drawing being converted:
  // none belong to this one.
  std::vector<TBindImageType> none;
  std::swap(none, StagedImages);
  const bool saved = d.SaveToFile(Internal(native), 700);
  std::swap(none, StagedImages);
  if (!saved) throw std::runtime_error("cannot write " + Utf8(native) + ": " + d.LastError);
}

}  // namespace testutil
