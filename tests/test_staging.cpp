#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "embed/staging.h"
#include "jww/jwwtype.h"
#include "platform/platform.h"
#include "platform/unicode.h"
#include "testing/faulty_os.h"
#include "testing/testutil.h"

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testutil::ReadBytes;
using testutil::TempDir;
using testutil::WriteBytes;

namespace {

// Points the staging folder at a fresh temporary folder for one test and
// puts the globals back afterwards.
struct StagingScope {
  TempDir dir;
  std::u16string oldStaging = StagingFolder;
  std::u16string oldWork = WorkFolder;
  std::vector<TBindImageType> oldImages = StagedImages;

  StagingScope() {
    StagingFolder = dir.Path();
    StagedImages.clear();
  }
  ~StagingScope() {
    StagingFolder = oldStaging;
    WorkFolder = oldWork;
    StagedImages = oldImages;
  }
};

// Varied but compressible bytes.
Bytes Sample(std::size_t n, unsigned seed) {
  Bytes b(n);
  unsigned x = seed;
  for (std::size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    b[i] = static_cast<std::uint8_t>(i % 7 == 0 ? (x >> 16) : 'a' + i % 13);
  }
  return b;
}

std::uint32_t Le32(const Bytes& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

Bytes Inflate(const Bytes& gz) {
  z_stream zs{};
  EXPECT_EQ(inflateInit2(&zs, 15 + 16), Z_OK);
  Bytes out;
  std::vector<std::uint8_t> buf(4096);
  zs.next_in = const_cast<std::uint8_t*>(gz.data());
  zs.avail_in = static_cast<uInt>(gz.size());
  int rc;
  do {
    zs.next_out = buf.data();
    zs.avail_out = static_cast<uInt>(buf.size());
    rc = inflate(&zs, Z_NO_FLUSH);
    out.insert(out.end(), buf.data(), buf.data() + (buf.size() - zs.avail_out));
  } while (rc == Z_OK);
  EXPECT_EQ(rc, Z_STREAM_END);
  EXPECT_EQ(zs.avail_in, 0u) << "bytes after the gzip member";
  inflateEnd(&zs);
  return out;
}

#ifdef _WIN32
// Windows has no gzip tool: zlib's own gzip file reader stands in for it
// (it checks the header, the CRC and the length as gzip -t does).
bool GunzipWithZlib(const fs::path& p, Bytes& data) {
  gzFile f = gzopen_w(p.c_str(), "rb");
  if (!f) return false;
  data.clear();
  char buffer[4096];
  int n;
  while ((n = gzread(f, buffer, sizeof buffer)) > 0) data.insert(data.end(), buffer, buffer + n);
  return gzclose_r(f) == Z_OK && n == 0;
}

bool GzipTests(const fs::path& p) {
  Bytes data;
  return GunzipWithZlib(p, data);
}

Bytes GunzipWithTool(const fs::path& p, const fs::path&) {
  Bytes data;
  EXPECT_TRUE(GunzipWithZlib(p, data));
  return data;
}
#else
bool GzipTests(const fs::path& p) {
  return std::system(("gzip -t '" + p.string() + "' 2>/dev/null").c_str()) == 0;
}

Bytes GunzipWithTool(const fs::path& p, const fs::path& out) {
  EXPECT_EQ(std::system(("gzip -dc '" + p.string() + "' > '" + out.string() + "'").c_str()), 0);
  return ReadBytes(out);
}
#endif

std::string Sjis(const std::string& utf8) {
  std::string s;
  EXPECT_TRUE(platform::DisplayToSjis(utf8, s));
  return s;
}

std::uint32_t GzipSeconds(int y, unsigned m, unsigned d, int hh, int mm, int ss) {
  using namespace std::chrono;
  const auto days = sys_days{year{y} / month{m} / day{d}}.time_since_epoch().count();
  return static_cast<std::uint32_t>(days * 86400LL + hh * 3600 + mm * 60 + ss);
}

}  // namespace

TEST(GzipCompressFile, MemberLayoutNameTimeAndRoundTrip) {
  StagingScope s;
  // Several 32 KiB reads, and a Shift-JIS name that must go into the header
  // as its own bytes.
  const std::string name = Sjis("画像.jpg");
  const Bytes data = Sample(100000, 7);
  WriteBytes(s.dir.Native("画像.jpg"), data);
  // The odd second drops to the two-second resolution of a file stamp.
  ASSERT_TRUE(platform::Current().SetLastWriteTime(SjisToUtf16(s.dir.Internal() + name),
                                                   platform::LocalTime{2021, 3, 4, 5, 6, 7}));
  // An older, longer archive of that name is replaced.
  WriteBytes(s.dir.Native("画像.jpg.gz"), Sample(300000, 1));

  std::string reason;
  ASSERT_TRUE(GzipCompressFile(SjisToUtf16(s.dir.Internal() + name),
                               SjisToUtf16(s.dir.Internal() + name + ".gz"), reason))
      << reason;
  const fs::path gz = s.dir.Native("画像.jpg.gz");
  const Bytes out = ReadBytes(gz);
  ASSERT_GT(out.size(), 10 + name.size() + 1 + 8);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 4), (Bytes{0x1F, 0x8B, 0x08, 0x08}));
  EXPECT_EQ(Le32(out, 4), GzipSeconds(2021, 3, 4, 5, 6, 6));
  EXPECT_EQ(out[8], 0) << "XFL";
  EXPECT_EQ(out[9], 0) << "OS";
  EXPECT_EQ(std::string(out.begin() + 10, out.begin() + 10 + static_cast<long>(name.size())), name);
  EXPECT_EQ(out[10 + name.size()], 0);
  EXPECT_EQ(Le32(out, out.size() - 8), crc32(0, data.data(), static_cast<uInt>(data.size())));
  EXPECT_EQ(Le32(out, out.size() - 4), data.size());
  EXPECT_EQ(Inflate(out), data);
  EXPECT_TRUE(GzipTests(gz));
  EXPECT_EQ(GunzipWithTool(gz, s.dir.Native("back")), data);
  // The input stays as it was.
  EXPECT_EQ(ReadBytes(s.dir.Native("画像.jpg")), data);
}

TEST(GzipCompressFile, EmptyInputGivesHeaderNameEmptyStreamAndZeroTrailer) {
  StagingScope s;
  WriteBytes(s.dir.Native("a.jpg"), {});
  std::string reason;
  ASSERT_TRUE(GzipCompressFile(SjisToUtf16(s.dir.Internal("a.jpg")),
                               SjisToUtf16(s.dir.Internal("a.jpg.gz")), reason));
  const Bytes out = ReadBytes(s.dir.Native("a.jpg.gz"));
  ASSERT_EQ(out.size(), 10u + 6 + 2 + 8);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 4), (Bytes{0x1F, 0x8B, 0x08, 0x08}));
  EXPECT_EQ(out[8], 0);
  EXPECT_EQ(out[9], 0);
  EXPECT_EQ(Bytes(out.begin() + 10, out.begin() + 16), (Bytes{'a', '.', 'j', 'p', 'g', 0}));
  EXPECT_EQ(Bytes(out.begin() + 16, out.begin() + 18), (Bytes{0x03, 0x00}));  // empty final block
  EXPECT_EQ(Bytes(out.begin() + 18, out.end()), Bytes(8, 0));
  EXPECT_TRUE(Inflate(out).empty());
  EXPECT_TRUE(GzipTests(s.dir.Native("a.jpg.gz")));
}

TEST(GzipCompressFile, FailuresLeaveNoOutput) {
  StagingScope s;
  std::string reason;
  EXPECT_FALSE(GzipCompressFile(SjisToUtf16(s.dir.Internal("none.jpg")),
                                SjisToUtf16(s.dir.Internal("none.jpg.gz")), reason));
  EXPECT_FALSE(reason.empty());
  EXPECT_FALSE(fs::exists(s.dir.Native("none.jpg.gz")));

  // Two pieces, so that a write can fail after one went through.
  WriteBytes(s.dir.Native("a.jpg"), Sample(1024 * 1024 + 70000, 3));
  reason.clear();
  EXPECT_FALSE(GzipCompressFile(SjisToUtf16(s.dir.Internal("a.jpg")),
                                SjisToUtf16(s.dir.Internal() + "no\\such\\a.jpg.gz"), reason));
  EXPECT_FALSE(reason.empty());

  // A write, a read or the closing of the archive failing: never a partial
  // archive.
  for (int fault = 0; fault < 4; ++fault) {
    platform::FaultyOs faulty;
    if (fault == 0) faulty.failWriteAt = 2;
    if (fault == 1) faulty.shortWriteAt = 1;
    if (fault == 2) faulty.failReadAt = 2;
    if (fault == 3) faulty.failCloseAt = 1;
    platform::ScopedOs use(faulty);
    reason.clear();
    EXPECT_FALSE(GzipCompressFile(SjisToUtf16(s.dir.Internal("a.jpg")),
                                  SjisToUtf16(s.dir.Internal("a.jpg.gz")), reason))
        << fault;
    EXPECT_FALSE(reason.empty()) << fault;
    EXPECT_FALSE(fs::exists(s.dir.Native("a.jpg.gz"))) << fault;
  }
}

TEST(CompressStagedImages, CompressesOnlyUncompressedCopiesThatExist) {
  StagingScope s;
  const Bytes jpg = Sample(5000, 11), bmp = Sample(40, 12), png = Sample(30, 13);
  WriteBytes(s.dir.Native("a.jpg"), jpg);
  WriteBytes(s.dir.Native("a.jpg.gz"), {1, 2, 3});  // stale: replaced
  WriteBytes(s.dir.Native("x.bmp.gz"), bmp);        // extracted from a drawing
  WriteBytes(s.dir.Native("Y.PNG.GZ"), png);
  StagedImages = {{"a.jpg", 5000, false},
                  {"x.bmp.gz", 40, false},
                  {"Y.PNG.GZ", 30, false},
                  {"gone.png", 0, false}};  // its copy failed

  std::string reason;
  ASSERT_TRUE(CompressStagedImages(reason)) << reason;
  ASSERT_EQ(StagedImages.size(), 4u);
  EXPECT_EQ(StagedImages[0].Name, "a.jpg.gz");
  EXPECT_EQ(StagedImages[1].Name, "x.bmp.gz");
  EXPECT_EQ(StagedImages[2].Name, "Y.PNG.GZ");
  EXPECT_EQ(StagedImages[3].Name, "gone.png");
  const Bytes gz = ReadBytes(s.dir.Native("a.jpg.gz"));
  EXPECT_EQ(Inflate(gz), jpg);
  EXPECT_EQ(std::string(gz.begin() + 10, gz.begin() + 16), std::string("a.jpg\0", 6));
  EXPECT_EQ(ReadBytes(s.dir.Native("a.jpg")), jpg);  // the copy stays
  EXPECT_EQ(ReadBytes(s.dir.Native("x.bmp.gz")), bmp);
  EXPECT_EQ(ReadBytes(s.dir.Native("Y.PNG.GZ")), png);
  EXPECT_FALSE(fs::exists(s.dir.Native("x.bmp.gz.gz")));
  EXPECT_FALSE(fs::exists(s.dir.Native("Y.PNG.GZ.gz")));
  EXPECT_FALSE(fs::exists(s.dir.Native("gone.png.gz")));
}

TEST(CompressStagedImages, ReportsFailuresInsteadOfThrowing) {
  StagingScope s;
  WriteBytes(s.dir.Native("a.jpg"), Sample(100, 1));
  WriteBytes(s.dir.Native("b.jpg"), Sample(100, 2));
  StagedImages = {{"a.jpg", 100, false}, {"b.jpg", 100, false}};
  {
    platform::FaultyOs faulty;
    faulty.failCreateAt = 2;  // the archive of b.jpg
    platform::ScopedOs use(faulty);
    std::string reason;
    EXPECT_NO_THROW(EXPECT_FALSE(CompressStagedImages(reason)));
    EXPECT_NE(reason.find("b.jpg"), std::string::npos) << reason;
  }
  EXPECT_EQ(StagedImages[0].Name, "a.jpg.gz");
  EXPECT_EQ(StagedImages[1].Name, "b.jpg");
  EXPECT_FALSE(fs::exists(s.dir.Native("b.jpg.gz")));

  // An image of the loaded drawing already lies under the archive name of
  // a new copy: it is not overwritten.
  const Bytes loaded = Sample(20, 9);
  WriteBytes(s.dir.Native("c.jpg.gz"), loaded);
  WriteBytes(s.dir.Native("c.jpg"), Sample(50, 8));
  StagedImages = {{"C.JPG.GZ", 20, false}, {"c.jpg", 50, false}};
  std::string reason;
  EXPECT_FALSE(CompressStagedImages(reason));
  EXPECT_FALSE(reason.empty());
  EXPECT_EQ(ReadBytes(s.dir.Native("c.jpg.gz")), loaded);
  EXPECT_EQ(StagedImages[1].Name, "c.jpg");
}

namespace {

constexpr std::size_t kPiece = 128 * 1024;  // what the staging reads at a time

// Noise: deflate finds nothing to shorten.
Bytes Noise(std::size_t n, std::uint32_t seed) {
  Bytes b(n);
  std::uint32_t x = seed * 2654435761u + 1;
  for (auto& c : b) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<std::uint8_t>(x >> 5);
  }
  return b;
}

// New images beside the staging folder, each to be compressed straight
// from its own file under an embedded name of its own.
struct NewImages {
  std::vector<std::string> names;
  std::vector<std::u16string> sources;
  std::vector<Bytes> bytes;

  void Add(StagingScope& s, const std::string& name, Bytes data) {
    const std::string file = "src" + std::to_string(names.size()) + ".bmp";
    WriteBytes(s.dir.Native(file), data);
    names.push_back(name);
    sources.push_back(SjisToUtf16(s.dir.Internal(file)));
    bytes.push_back(std::move(data));
  }
  void List(const std::string& staging) {
    StagingFolder = SjisToUtf16(staging);
    StagedImages.clear();
    for (const std::string& name : names) StagedImages.push_back({name, 0, true});
  }
};

// The files of a folder, by name.
std::map<std::string, Bytes> FilesOf(const fs::path& folder) {
  std::map<std::string, Bytes> files;
  for (const auto& e : fs::directory_iterator(folder))
    files[testutil::Utf8(e.path().filename())] = ReadBytes(e.path());
  return files;
}

// Makes one chosen file fail as it is read or written, wherever its turn
// comes among the files being compressed at once.
class OneFileFails : public platform::FaultyOs {
 public:
  enum class How { Open, Read, Create, Write };
  OneFileFails(platform::Path path, How how) : path_(std::move(path)), how_(how) {}

  std::unique_ptr<platform::File> OpenRead(const platform::Path& path) override {
    if (path != path_ || (how_ != How::Open && how_ != How::Read)) return FaultyOs::OpenRead(path);
    if (how_ == How::Open) return nullptr;
    return std::make_unique<Failing>(FaultyOs::OpenRead(path));
  }
  std::unique_ptr<platform::File> Create(const platform::Path& path) override {
    if (path != path_ || (how_ != How::Create && how_ != How::Write)) return FaultyOs::Create(path);
    if (how_ == How::Create) return nullptr;
    return std::make_unique<Failing>(FaultyOs::Create(path));
  }

 private:
  // Its second read or write fails: the first went through.
  class Failing : public platform::File {
   public:
    explicit Failing(std::unique_ptr<platform::File> inner) : inner_(std::move(inner)) {}
    long long Read(void* buffer, std::size_t count) override {
      return ++calls_ == 2 ? -1 : inner_->Read(buffer, count);
    }
    long long Write(const void* buffer, std::size_t count) override {
      return ++calls_ == 2 ? -1 : inner_->Write(buffer, count);
    }
    long long Size() override { return inner_->Size(); }
    bool Close() override { return inner_->Close(); }

   private:
    std::unique_ptr<platform::File> inner_;
    int calls_ = 0;
  };

  platform::Path path_;
  How how_;
};

}  // namespace

// What zlib's own gzip writer makes of `data` in one stream, fed in pieces
// of 128 KiB: name and time in the header, XFL 0, OS 0.
Bytes OneStreamGzip(const Bytes& data, const std::string& name, std::uint32_t time) {
  z_stream zs{};
  EXPECT_EQ(deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 9, Z_DEFAULT_STRATEGY), Z_OK);
  std::vector<unsigned char> stored(name.begin(), name.end());
  stored.push_back(0);
  gz_header header{};
  header.time = time;
  header.os = 0;
  header.name = stored.data();
  deflateSetHeader(&zs, &header);
  Bytes out(deflateBound(&zs, static_cast<uLong>(data.size())) + 64);
  zs.next_out = out.data();
  zs.avail_out = static_cast<uInt>(out.size());
  std::size_t at = 0;
  int rc = Z_OK;
  while (rc != Z_STREAM_END) {
    const std::size_t n = std::min<std::size_t>(128 * 1024, data.size() - at);
    zs.next_in = const_cast<unsigned char*>(data.data() + at);
    zs.avail_in = static_cast<uInt>(n);
    at += n;
    rc = deflate(&zs, n == 0 ? Z_FINISH : Z_NO_FLUSH);
    if (rc == Z_STREAM_ERROR || (rc == Z_BUF_ERROR && zs.avail_out == 0)) break;
  }
  out.resize(out.size() - zs.avail_out);
  deflateEnd(&zs);
  return out;
}

TEST(CompressStagedImages, NewImagesGoStraightIntoArchivesAlikeOnAnyNumberOfThreads) {
  StagingScope s;
  NewImages images;
  // Empty, one byte, a piece exactly and a byte more, and several MB of
  // mixed compressible and incompressible data; names not the sources'.
  images.Add(s, Sjis("C__写真_empty.bmp"), {});
  images.Add(s, "one.bmp", Bytes{42});
  images.Add(s, "piece.bmp", Noise(kPiece, 1));
  images.Add(s, "piece1.jpg", Sample(kPiece + 1, 2));
  Bytes mixed = Sample(2 * 1024 * 1024 + 7, 3);
  const Bytes noise = Noise(1024 * 1024 + 3, 4);
  mixed.insert(mixed.begin() + 1000000, noise.begin(), noise.end());
  images.Add(s, "mixed.bmp", mixed);
  images.Add(s, "small.png", Sample(100, 5));
  // Exactly one large piece: the stream ends in a piece of its own, empty.
  images.Add(s, "mib.bmp", Sample(1024 * 1024, 6));
  ASSERT_TRUE(platform::Current().SetLastWriteTime(images.sources[1],
                                                   platform::LocalTime{2021, 3, 4, 5, 6, 7}));
  // An old file: an archive carries the time as a file stamp holds it.
  ASSERT_TRUE(platform::Current().SetLastWriteTime(images.sources[2],
                                                   platform::LocalTime{1975, 6, 1, 12, 0, 0}));

  std::map<std::string, Bytes> first;
  for (unsigned threads : {1u, 2u, 3u, 8u}) {
    SCOPED_TRACE(threads);
    const std::string folder = "stage" + std::to_string(threads);
    fs::create_directory(s.dir.Native(folder));
    images.List(s.dir.Internal(folder) + "\\");
    std::string reason;
    ASSERT_TRUE(CompressStagedImages(reason, images.sources, threads)) << reason;
    const std::map<std::string, Bytes> files = FilesOf(s.dir.Native(folder));
    ASSERT_EQ(files.size(), images.names.size()) << "the archives alone";
    for (std::size_t i = 0; i < images.names.size(); ++i) {
      const std::string archive = images.names[i] + ".gz";
      EXPECT_EQ(StagedImages[i].Name, archive);
      const Bytes& gz = files.at(platform::SjisToDisplay(archive));
      EXPECT_EQ(testutil::Gunzip(gz), images.bytes[i]) << archive;
      const std::string& name = images.names[i];
      EXPECT_EQ(std::string(gz.begin() + 10, gz.begin() + 10 + static_cast<long>(name.size())),
                name);
    }
    EXPECT_EQ(Le32(files.at("one.bmp.gz"), 4), GzipSeconds(2021, 3, 4, 5, 6, 6));
    EXPECT_EQ(Le32(files.at("piece.bmp.gz"), 4), GzipSeconds(1980, 1, 1, 0, 0, 0));
    if (first.empty()) {
      first = files;
    } else {
      EXPECT_TRUE(files == first) << "archives differ from those of one thread";
    }
  }
  // An image smaller than one piece is one stream, as zlib's own gzip
  // writer makes it (and as every earlier release stored it); a larger one
  // is cut into primed pieces at almost no cost in size.
  for (std::size_t i = 0; i < images.names.size(); ++i) {
    const std::string archive = images.names[i] + ".gz";
    const Bytes& gz = first.at(platform::SjisToDisplay(archive));
    const Bytes whole = OneStreamGzip(images.bytes[i], images.names[i], Le32(gz, 4));
    if (images.bytes[i].size() < 1024 * 1024) {
      EXPECT_EQ(gz, whole) << archive;
    } else {
      EXPECT_NE(gz, whole) << archive;
      EXPECT_LT(static_cast<double>(gz.size()), 1.01 * static_cast<double>(whole.size()))
          << archive;
    }
  }
  // The sources are only read.
  for (std::size_t i = 0; i < images.sources.size(); ++i)
    EXPECT_EQ(ReadBytes(s.dir.Native("src" + std::to_string(i) + ".bmp")), images.bytes[i]);
}

// A batch whose drawings share an image deflates it once: the stream is
// taken again only for the very same bytes, and every archive is the one
// that compressing afresh makes.
TEST(CompressStagedImages, AStreamIsReusedForTheSameBytesAlone) {
  StagingScope s;
  NewImages images;
  const Bytes logo = Sample(20000, 7);
  images.Add(s, "logo.bmp", logo);
  images.Add(s, "copy.bmp", logo);  // the same bytes under another name
  images.Add(s, "empty.bmp", {});
  images.Add(s, "large.bmp", Sample(1024 * 1024 + 5, 8));
  ASSERT_TRUE(platform::Current().SetLastWriteTime(images.sources[1],
                                                   platform::LocalTime{2020, 1, 2, 3, 4, 6}));
  auto compress = [&](const std::string& folder, TDeflatedImages* deflated) {
    fs::create_directory(s.dir.Native(folder));
    images.List(s.dir.Internal(folder) + "\\");
    std::string reason;
    EXPECT_TRUE(CompressStagedImages(reason, images.sources, 2, nullptr, deflated)) << reason;
    return FilesOf(s.dir.Native(folder));
  };

  TDeflatedImages deflated;
  const auto fresh = compress("fresh", nullptr);
  EXPECT_EQ(compress("first", &deflated), fresh);
  // The logo, once for both names, and the empty image; not the image of
  // more than one piece.
  EXPECT_EQ(deflated.images.size(), 2u);
  EXPECT_EQ(compress("again", &deflated), fresh);
  EXPECT_EQ(deflated.images.size(), 2u);

  // The logo changes between two drawings, keeping its size and its time:
  // its bytes decide, and the new picture is what the drawing gets.
  Bytes changed = logo;
  changed[12345] ^= 0x5A;
  const platform::Path source = images.sources[0];
  platform::DirEntry before;
  ASSERT_TRUE(platform::Current().FindFirst(source, before));
  WriteBytes(s.dir.Native("src0.bmp"), changed);
  ASSERT_TRUE(platform::Current().SetLastWriteTime(source, before.lastWrite));
  images.bytes[0] = changed;
  const auto now = compress("changed", &deflated);
  EXPECT_EQ(testutil::Gunzip(now.at("logo.bmp.gz")), changed);
  EXPECT_EQ(now.at("copy.bmp.gz"), fresh.at("copy.bmp.gz"));
  EXPECT_EQ(now, compress("changed fresh", nullptr));
  EXPECT_EQ(deflated.images.size(), 3u);

  // Beyond the budget nothing more is kept, and what is kept still serves.
  deflated.kept = TDeflatedImages::kDeflatedBudget - 100;
  WriteBytes(s.dir.Native("src0.bmp"), Sample(20000, 9));
  images.bytes[0] = Sample(20000, 9);
  const auto full = compress("full", &deflated);
  EXPECT_EQ(deflated.images.size(), 3u);
  EXPECT_EQ(testutil::Gunzip(full.at("logo.bmp.gz")), images.bytes[0]);
  EXPECT_EQ(full.at("copy.bmp.gz"), fresh.at("copy.bmp.gz"));
}

TEST(CompressStagedImages, AFailingImageFailsAllAfterItWhateverTheThreads) {
  StagingScope s;
  NewImages images;
  // The last two are small: compressed at once beside the failing one,
  // they are done before it fails, and must go again. The first three are
  // of two pieces, each written on its own.
  for (int i = 0; i < 5; ++i)
    images.Add(s, "i" + std::to_string(i) + ".bmp",
               Noise(i < 3 ? 1024 * 1024 + 2 * kPiece : 100, 10 + i));
  using How = OneFileFails::How;
  for (How how : {How::Open, How::Read, How::Create, How::Write}) {
    for (unsigned threads : {1u, 3u, 8u}) {
      const std::string label =
          "fault " + std::to_string(static_cast<int>(how)) + ", " + std::to_string(threads);
      const std::string folder =
          "f" + std::to_string(static_cast<int>(how)) + "t" + std::to_string(threads);
      fs::create_directory(s.dir.Native(folder));
      images.List(s.dir.Internal(folder) + "\\");
      const bool onSource = how == How::Open || how == How::Read;
      OneFileFails faulty(onSource ? images.sources[2] : StagingFolder + u"i2.bmp.gz", how);
      std::string reason;
      {
        platform::ScopedOs use(faulty);
        EXPECT_FALSE(CompressStagedImages(reason, images.sources, threads)) << label;
      }
      EXPECT_NE(reason.find("i2.bmp"), std::string::npos) << label << ": " << reason;
      // The images before the failing one are done; it and those after it
      // leave nothing, and keep their names for the clean-up.
      EXPECT_EQ(FilesOf(s.dir.Native(folder)).size(), 2u) << label;
      for (int i = 0; i < 5; ++i) {
        const std::string name = "i" + std::to_string(i) + ".bmp";
        EXPECT_EQ(StagedImages[i].Name, i < 2 ? name + ".gz" : name) << label;
        EXPECT_EQ(fs::exists(s.dir.Native(folder + "/" + name + ".gz")), i < 2) << label;
      }
      DeleteStagedArchives();
      DeleteStagedOriginals();
      EXPECT_TRUE(fs::is_empty(s.dir.Native(folder))) << label;
    }
  }
}

TEST(DeleteStaged, ArchivesThenOriginalsOnlyOfListedEntries) {
  StagingScope s;
  for (const char* f : {"x.bmp.gz", "x.bmp", "c.jpg", "c.jpg.gz", "other.txt", "Y.PNG.GZ", "Y.PNG"})
    WriteBytes(s.dir.Native(f), {1});
  StagedImages = {{"x.bmp.gz", 1, false}, {"c.jpg", 1, false}, {"Y.PNG.GZ", 1, false}};

  DeleteStagedArchives();
  EXPECT_FALSE(fs::exists(s.dir.Native("x.bmp.gz")));
  EXPECT_FALSE(fs::exists(s.dir.Native("Y.PNG.GZ")));
  EXPECT_TRUE(fs::exists(s.dir.Native("x.bmp")));
  EXPECT_TRUE(fs::exists(s.dir.Native("c.jpg")));
  EXPECT_TRUE(fs::exists(s.dir.Native("c.jpg.gz"))) << "no entry names it";

  DeleteStagedOriginals();
  EXPECT_FALSE(fs::exists(s.dir.Native("x.bmp")));
  EXPECT_FALSE(fs::exists(s.dir.Native("c.jpg")));
  EXPECT_FALSE(fs::exists(s.dir.Native("Y.PNG")));
  EXPECT_TRUE(fs::exists(s.dir.Native("c.jpg.gz")));
  EXPECT_TRUE(fs::exists(s.dir.Native("other.txt")));

  // A name that is not plain never reaches outside the staging folder, and
  // with no staging folder nothing is deleted at all.
  fs::create_directory(s.dir.Native("stage"));
  StagingFolder = SjisToUtf16(s.dir.Internal("stage") + "\\");
  StagedImages = {{"..\\other.txt", 1, false}, {"..\\c.jpg.gz", 1, false}};
  DeleteStagedArchives();
  DeleteStagedOriginals();
  StagingFolder.clear();
  StagedImages = {{"other.txt", 1, false}};
  DeleteStagedOriginals();
  EXPECT_TRUE(fs::exists(s.dir.Native("other.txt")));
  EXPECT_TRUE(fs::exists(s.dir.Native("c.jpg.gz")));
}

TEST(WorkFolder, EachRunStagesInItsOwnFolderAndTidiesUp) {
  StagingScope s;
  WorkFolder = SjisToUtf16(s.dir.Internal("TEMP") + "\\");
  std::string reason;
  ASSERT_TRUE(CreateWorkFolder(reason)) << reason;
  const std::u16string first = StagingFolder;
  ASSERT_TRUE(CreateWorkFolder(reason)) << reason;  // another run, same work folder
  const std::u16string second = StagingFolder;
  EXPECT_NE(first, second);
  for (const std::u16string& f : {first, second}) {
    EXPECT_EQ(f.rfind(WorkFolder, 0), 0u);
    EXPECT_EQ(f.back(), u'\\');
    EXPECT_TRUE(platform::Current().FolderExists(f));
  }

  // The second run stages an image and ends; the first run's folder keeps
  // the work folder alive.
  testutil::WriteText(platform::InternalToNative(second + u"a.jpg"), "x");
  testutil::WriteText(platform::InternalToNative(second + u"a.jpg.gz"), "x");
  StagedImages = {{"a.jpg.gz", 1, false}};
  RemoveWorkFolder();
  EXPECT_TRUE(StagingFolder.empty());
  EXPECT_TRUE(StagedImages.empty());
  EXPECT_FALSE(platform::Current().FolderExists(second));
  EXPECT_TRUE(platform::Current().FolderExists(WorkFolder));

  StagingFolder = first;
  RemoveWorkFolder();
  EXPECT_FALSE(platform::Current().FolderExists(WorkFolder));

  // A work folder that cannot be made.
  testutil::WriteText(s.dir.Native("file"), "x");
  WorkFolder = SjisToUtf16(s.dir.Internal("file") + "\\");
  reason.clear();
  EXPECT_FALSE(CreateWorkFolder(reason));
  EXPECT_FALSE(reason.empty());
  EXPECT_TRUE(StagingFolder.empty());
}

TEST(IsPlainFileName, AcceptsFileNamesAndRefusesEverythingElse) {
  for (const std::string& ok :
       {std::string("a.bmp.gz"), Sjis("C__画像_a.bmp"), Sjis("表.jpg"), Sjis("ｱｲ.png"),
        std::string("a..b"), std::string(".hidden"), std::string("CONFIG.SYS"),
        std::string("COM10.bmp"), std::string("con-x.bmp"), std::string("a b.jpg")})
    EXPECT_TRUE(IsPlainFileName(ok)) << ok;
  for (const std::string& bad : {std::string(""),
                                 std::string("."),
                                 std::string(".."),
                                 std::string("..\\evil.txt"),
                                 std::string("a\\b"),
                                 std::string("a/b"),
                                 std::string("C:x.bmp"),
                                 std::string("a:b"),
                                 std::string("a\x01z"),
                                 std::string("a\x7Fz"),
                                 std::string("CON"),
                                 std::string("con.txt"),
                                 std::string("Lpt9.bmp.gz"),
                                 std::string("com1"),
                                 std::string("NUL .gz"),
                                 std::string("aux"),
                                 std::string("a."),
                                 std::string("a "),
                                 std::string("a*b"),
                                 std::string("a?b"),
                                 std::string("x\x95"),
                                 std::string("\x81/x"),
                                 std::string("\x80\\x"),
                                 std::string("\xFD\\x")})
    EXPECT_FALSE(IsPlainFileName(bad)) << bad;
  EXPECT_TRUE(IsCompressedName("a.bmp.GZ"));
  EXPECT_TRUE(IsCompressedName("a.Gz"));
  EXPECT_FALSE(IsCompressedName("a.gz.bmp"));
  EXPECT_FALSE(IsCompressedName("agz"));
  EXPECT_EQ(QuotedName("a\x01z"), "\"a\\x01z\"");
}
