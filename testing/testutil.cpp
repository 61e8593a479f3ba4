#include "testing/testutil.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>

#include "embed/staging.h"
#include "jww/jwwunit.h"
#include "platform/platform.h"
#include "platform/unicode.h"
#include "testing/jwwfixture.h"
#include "text/sjis.h"
#include "text/widenames.h"

namespace testutil {

const std::string kSaveAsJwwFirst =
    "\x8A"
    "O\x95\x94\x95\xCF\x8C`\x8E\xC0\x8Ds\x91O\x82\xC9\x90}\x96\xCA\x82\xF0JWW\x8C`\x8E\xAE\x82\xC5"
    "\x95\xDB\x91\xB6\x82\xB5\x82\xC4\x89\xBA\x82\xB3\x82\xA2\x81"
    "B";
const std::string kTempStillThere =
    "\x88\xEA\x8E\x9E\x83t\x83@\x83"
    "C\x83\x8B TEMP.JWW \x82\xAA\x8E"
    "c\x82\xC1\x82\xC4\x82\xA2\x82\xE9\x82\xBD\x82\xDF\x95\xCF\x8A\xB7\x82\xC5\x82\xAB\x82\xDC\x82"
    "\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD\x81"
    "B";
const std::string kNotConverted =
    "\x95\xCF\x8A\xB7\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD\x81"
    "B";

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

platform::Path TempDir::Path(const std::string& name) const {
  if (name.empty()) return InternalPath(path_) + u"\\";
  return InternalPath(path_ / name);
}

std::string TempDir::Internal(const std::string& name) const {
  if (name.empty()) return testutil::Internal(path_) + "\\";
  return testutil::Internal(path_ / name);
}

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& p) {
  // In one read: the fault walk reads its whole tree after every run.
  std::ifstream in(p, std::ios::binary | std::ios::ate);
  if (!in) return {};
  const std::streamoff size = in.tellg();
  if (size <= 0) return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(bytes.data()), size);
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
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

std::string Shown(const platform::Path& path) {
  std::string utf8;
  Utf16ToUtf8(path, utf8);
  return utf8;
}

platform::Path InternalPath(const std::filesystem::path& native) {
  platform::Path internal;
  std::string error;
  if (!platform::NativeToInternal(Utf8(native), internal, error))
    throw std::runtime_error("no internal form for " + Utf8(native) + ": " + error);
  return internal;
}

std::string Internal(const std::filesystem::path& native) {
  std::string sjis;
  if (!Utf16ToSjisExact(InternalPath(native), sjis))
    throw std::runtime_error("no Shift-JIS form for " + Utf8(native));
  return sjis;
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
  const bool saved = d.SaveToFile(InternalPath(native), 700, &StagedImageFiles());
  std::swap(none, StagedImages);
  if (!saved) throw std::runtime_error("cannot write " + Utf8(native) + ": " + d.LastError);
}

void WriteExternalDataFile(const std::filesystem::path& file, const std::string& drawing) {
  WriteText(file, "hq\r\nfile=" + drawing + "\r\nhk 0\r\nlg0\r\nly0\r\n");
}

TEntJwwText MakeText(const std::string& s) {
  TEntJwwText t;
  t.Attr.PenStyle = 1;
  t.Attr.PenColor = 3;
  t.TextKind = 2;
  t.FontName = JwwStr("font");
  t.Text = JwwStr(s);
  return t;
}

void AddText(TEntityLists& lists, const std::string& s) {
  jwwfixture::Add(lists, MakeText(s));
}

void WriteDrawing(const platform::Path& path, const std::vector<std::string>& top,
                  const std::vector<std::string>& inBlock) {
  TJwwData d;
  d.Header.Version = 700;
  for (const auto& s : top) AddText(d, s);
  TEntJwwBlockDef def;
  def.Number = 7;
  def.Name = JwwStr("blk");
  for (const auto& s : inBlock) AddText(def.Entities, s);
  d.BlockDefs.push_back(def);
  TEntJwwBlockRef ref;
  ref.BlockNumber = 7;
  ref.ScaleX = ref.ScaleY = 1;
  d.EntityTable.push_back({kBlockRef, 0});
  d.BlockRefs.push_back(ref);
  d.ResolveBlockUse();
  std::vector<TBindImageType> none;
  std::swap(none, StagedImages);
  const bool saved = d.SaveToFile(path, 700, &StagedImageFiles());
  std::swap(none, StagedImages);
  if (!saved) throw std::runtime_error("cannot write " + Shown(path) + ": " + d.LastError);
}

std::vector<std::uint8_t> Gunzip(const std::vector<std::uint8_t>& gz) {
  z_stream z{};
  if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) throw std::runtime_error("inflateInit2 failed");
  std::vector<std::uint8_t> out;
  z.next_in = const_cast<Bytef*>(gz.data());
  z.avail_in = static_cast<uInt>(gz.size());
  std::uint8_t buf[4096];
  int rc;
  do {
    z.next_out = buf;
    z.avail_out = sizeof buf;
    rc = inflate(&z, Z_NO_FLUSH);
    out.insert(out.end(), buf, buf + (sizeof buf - z.avail_out));
  } while (rc == Z_OK);
  const uInt after = z.avail_in;
  inflateEnd(&z);
  // zlib has checked the trailer's CRC and length; nothing may follow.
  if (rc != Z_STREAM_END || after != 0) throw std::runtime_error("not one whole gzip member");
  return out;
}

std::vector<std::uint8_t> ReadThrough(platform::Os& os, const platform::Path& path) {
  std::unique_ptr<platform::File> file = os.OpenRead(path);
  if (!file) throw std::runtime_error("cannot open " + Shown(path));
  std::vector<std::uint8_t> bytes;
  std::uint8_t buffer[65536];
  for (long long got; (got = file->Read(buffer, sizeof buffer)) != 0;) {
    if (got < 0) throw std::runtime_error("cannot read " + Shown(path));
    bytes.insert(bytes.end(), buffer, buffer + got);
  }
  return bytes;
}

std::map<std::string, std::vector<std::uint8_t>> ImagesOf(const platform::Path& output) {
  TJwwData d;
  if (!d.LoadFromFile(output, &StagedImageFiles()))
    throw std::runtime_error("cannot load " + Shown(output) + ": " + d.LastError);
  std::map<std::string, std::vector<std::uint8_t>> images;
  auto visit = [&](const TEntityLists& lists) {
    for (const auto& t : lists.Texts) {
      const std::string s(t.Text.text());
      if (s.rfind("^@BM%temp%", 0) != 0) continue;
      std::string name = s.substr(10, s.find(',') - 10);
      bool found = false;
      for (const auto& img : StagedImages)
        if (SjisUpper(img.Name).rfind(SjisUpper(name), 0) == 0) {
          images[name] =
              Gunzip(ReadThrough(platform::Current(), StagingFolder + StagedFileName(img)));
          found = true;
          break;
        }
      if (!found) throw std::runtime_error("no stored image for " + name);
    }
  };
  visit(d);
  for (const auto& def : d.BlockDefs) visit(def.Entities);
  return images;
}

JwwStr Wide(const std::u16string& units) {
  return JwwStr::Verbatim(Utf16ToSjisLossy(units), units);
}

void WriteWideDrawing(const platform::Path& path, const std::vector<JwwStr>& top,
                      const std::vector<JwwStr>& inBlock,
                      const std::vector<std::uint8_t>& section) {
  TJwwData d;
  d.Header.Version = 700;
  for (const JwwStr& s : top) {
    jwwfixture::Add(d, MakeText("x"));
    d.Texts.back().Text = s;
  }
  TEntJwwBlockDef def;
  def.Number = 7;
  def.Name = JwwStr("blk");
  for (const JwwStr& s : inBlock) {
    jwwfixture::Add(def.Entities, MakeText("x"));
    def.Entities.Texts.back().Text = s;
  }
  d.BlockDefs.push_back(def);
  TEntJwwBlockRef ref;
  ref.BlockNumber = 7;
  ref.ScaleX = ref.ScaleY = 1;
  jwwfixture::Add(d, ref);
  d.ResolveBlockUse();
  std::vector<TBindImageType> none;
  std::swap(none, StagedImages);
  const bool saved = d.SaveToFile(path, 700, &StagedImageFiles());
  std::swap(none, StagedImages);
  if (!saved) throw std::runtime_error("cannot write " + Shown(path) + ": " + d.LastError);
  // The writer's empty section is replaced by the one given.
  platform::Os& os = platform::Current();
  std::vector<std::uint8_t> bytes = ReadThrough(os, path);
  if (bytes.size() < 4 ||
      std::vector<std::uint8_t>(bytes.end() - 4, bytes.end()) != std::vector<std::uint8_t>(4, 0))
    throw std::runtime_error("no empty image section at the end of " + Shown(path));
  bytes.resize(bytes.size() - 4);
  bytes.insert(bytes.end(), section.begin(), section.end());
  auto file = os.Create(path);
  if (!file || file->Write(bytes.data(), bytes.size()) != static_cast<long long>(bytes.size()) ||
      !file->Close())
    throw std::runtime_error("cannot write " + Shown(path));
}

std::map<std::u16string, std::string> WideImagesOf(const platform::Path& output) {
  TJwwData d;
  if (!d.LoadFromFile(output, &StagedImageFiles()))
    throw std::runtime_error("cannot load: " + d.LastError);
  std::map<std::u16string, std::string> images;
  auto visit = [&](const TEntityLists& lists) {
    for (const auto& t : lists.Texts) {
      const std::u16string s = t.Text.verbatim() ? std::u16string(t.Text.units())
                                                 : SjisToUtf16(std::string(t.Text.text()));
      if (s.rfind(u"^@BM%temp%", 0) != 0) continue;
      const std::u16string name = s.substr(10, s.find(u',') - 10);
      bool found = false;
      for (const auto& img : StagedImages) {
        const std::u16string stored = WideSpelling(img.Name, img.WideName);
        if (stored.rfind(name, 0) != 0) continue;
        auto file = platform::Current().OpenRead(StagingFolder + stored);
        if (!file) throw std::runtime_error("no staged file");
        std::vector<std::uint8_t> gz(static_cast<std::size_t>(file->Size()));
        if (file->Read(gz.data(), gz.size()) != static_cast<long long>(gz.size()))
          throw std::runtime_error("short read");
        const std::vector<std::uint8_t> data = Gunzip(gz);
        images[name] = std::string(data.begin(), data.end());
        found = true;
        break;
      }
      if (!found) throw std::runtime_error("no stored image for a reference");
    }
  };
  visit(d);
  for (const auto& def : d.BlockDefs) visit(def.Entities);
  return images;
}

}  // namespace testutil
