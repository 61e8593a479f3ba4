#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "embed/staging.h"
#include "jww/jwwunit.h"
#include "platform/platform.h"
#include "testing/faulty_os.h"
#include "testing/testutil.h"
#include "text/filenames.h"
#include "text/sjis.h"

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testutil::MemoryFile;
using testutil::ReadBytes;
using testutil::TempDir;
using testutil::WriteBytes;

namespace {

// Points the staging folder at a folder of its own ("stage" two levels down
// in a temporary folder, so that a step up still lands inside the
// temporary folder) and puts the globals back afterwards.
struct StagingScope {
  TempDir dir;
  fs::path stage = dir.path() / "a" / "b" / "stage";
  std::u16string oldStaging = StagingFolder;
  std::vector<TBindImageType> oldImages = StagedImages;

  StagingScope() {
    fs::create_directories(stage);
    StagingFolder = testutil::InternalPath(stage) + u"\\";
    StagedImages.clear();
  }
  ~StagingScope() {
    StagingFolder = oldStaging;
    StagedImages = oldImages;
  }
  fs::path Staged(const std::string& name) const { return stage / name; }
  // Every file below the temporary folder.
  std::vector<fs::path> AllFiles() const {
    std::vector<fs::path> files;
    for (auto& e : fs::recursive_directory_iterator(dir.path()))
      if (!e.is_directory()) files.push_back(e.path());
    return files;
  }
};

Bytes Sample(std::size_t n, unsigned seed) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 31 + seed * 7 + i / 97);
  return b;
}

// An image section: the count, then name, size and data of each image.
struct Image {
  std::string name;
  Bytes data;
  std::optional<std::int32_t> size;  // else the data's size
  Image(std::string n, Bytes d, std::optional<std::int32_t> s = std::nullopt)
      : name(std::move(n)), data(std::move(d)), size(s) {}
};

Bytes Section(const std::vector<Image>& images, std::int32_t count = -1) {
  ByteSink s;
  s.Dword(count < 0 ? static_cast<std::int32_t>(images.size()) : count);
  for (const Image& image : images) {
    s.Byte(static_cast<std::uint8_t>(image.name.size()));
    s.bytes.insert(s.bytes.end(), image.name.begin(), image.name.end());
    s.Dword(image.size.value_or(static_cast<std::int32_t>(image.data.size())));
    s.bytes.insert(s.bytes.end(), image.data.begin(), image.data.end());
  }
  return s.bytes;
}

long long ReadSection(TJwwData& d, const Bytes& bytes) {
  MemoryFile file(bytes);
  JwwReader r(file);
  d.ReadImageSection(r, &StagedImageFiles());
  return r.Position();
}

Bytes WriteSection(TJwwData& d) {
  MemoryFile file;
  JwwWriter w(file);
  d.WriteImageSection(w, &StagedImageFiles());
  w.Flush();
  return file.bytes;
}

// The names and data of a written section.
std::vector<std::pair<std::string, Bytes>> ParseSection(const Bytes& bytes) {
  MemoryFile file(bytes);
  JwwReader r(file);
  std::vector<std::pair<std::string, Bytes>> images;
  const std::int32_t count = r.ReadDword();
  for (std::int32_t i = 0; i < count; ++i) {
    std::string name(ReadJwwString(r).text());
    const std::int32_t size = r.ReadDword();
    images.emplace_back(name, r.ReadBlock(static_cast<std::size_t>(size)));
  }
  EXPECT_EQ(r.Position(), static_cast<long long>(bytes.size())) << "bytes after the last image";
  return images;
}

std::vector<std::string> Names(const Bytes& section) {
  std::vector<std::string> names;
  for (auto& image : ParseSection(section)) names.push_back(image.first);
  return names;
}

void AddText(TEntityLists& lists, const JwwStr& text) {
  TEntJwwText t;
  t.Text = text;
  lists.Texts.push_back(t);
  lists.EntityTable.push_back({kText, static_cast<std::int32_t>(lists.Texts.size() - 1)});
}

// What Jw_cad shows for a reference: the first stored image whose name
// begins with the referenced name.
std::string FirstPrefix(const std::vector<std::string>& stored, const std::string& ref) {
  for (const std::string& name : stored)
    if (name.starts_with(ref)) return name;
  return "";
}

void Stage(const StagingScope& s, const std::string& name, const Bytes& data) {
  WriteBytes(s.Staged(name), data);
  StagedImages.push_back({name, static_cast<std::int32_t>(data.size()), false});
}

// The bytes of a whole 7.00 drawing without entities, ending in `section`.
Bytes Drawing(const TempDir& dir, const Bytes& section) {
  std::vector<TBindImageType> keep;
  std::swap(keep, StagedImages);
  TJwwData blank;
  const platform::Path path = dir.Path("blank.jww");
  EXPECT_TRUE(blank.SaveToFile(path, 700, &StagedImageFiles())) << blank.LastError;
  std::swap(keep, StagedImages);
  Bytes bytes = ReadBytes(dir.Native("blank.jww"));
  EXPECT_EQ(Bytes(bytes.end() - 4, bytes.end()), Bytes(4, 0)) << "an empty image section";
  bytes.resize(bytes.size() - 4);
  bytes.insert(bytes.end(), section.begin(), section.end());
  return bytes;
}

}  // namespace

TEST(ImageSection, LoadExtractsImagesAndSaveStoresTheReferencedOnes) {
  StagingScope s;
  const Image a{"a.bmp.gz", Sample(5000, 1)};  // two full blocks and a part
  const Image b{"b.jpg.gz", Sample(2048, 2)};  // exactly one block
  const Image unused{"unused.png.gz", Sample(10, 3)};
  const Image zero{"zero.jpg.gz", {}};
  WriteBytes(s.Staged("b.jpg.gz"), Sample(9000, 9));  // a file of that name is replaced
  const Bytes section = Section({a, zero, unused, b});

  TJwwData d;
  EXPECT_EQ(ReadSection(d, section), static_cast<long long>(section.size()));
  ASSERT_EQ(StagedImages.size(), 4u);
  const std::vector<std::pair<std::string, std::int32_t>> listed = {
      {"a.bmp.gz", 5000}, {"zero.jpg.gz", 0}, {"unused.png.gz", 10}, {"b.jpg.gz", 2048}};
  for (std::size_t i = 0; i < listed.size(); ++i) {
    EXPECT_EQ(StagedImages[i].Name, listed[i].first);
    EXPECT_EQ(StagedImages[i].Size, listed[i].second);
    EXPECT_FALSE(StagedImages[i].InUse);
  }
  EXPECT_EQ(ReadBytes(s.Staged("a.bmp.gz")), a.data);
  EXPECT_EQ(ReadBytes(s.Staged("b.jpg.gz")), b.data);
  EXPECT_EQ(ReadBytes(s.Staged("unused.png.gz")), unused.data);
  EXPECT_FALSE(fs::exists(s.Staged("zero.jpg.gz"))) << "a size-0 image writes no file";

  // Saved again: the referenced images go back byte for byte under their
  // names; two references to b store it once; unused is dropped.
  AddText(d, "^@BM%temp%b.jpg,100,200,0,1");
  AddText(d, "^@BM%temp%a.bmp,1,2,3");
  AddText(d, "^@BM%temp%B.JPG,5,6");
  EXPECT_EQ(WriteSection(d), Section({a, b}));
  EXPECT_TRUE(StagedImages[0].InUse);
  EXPECT_FALSE(StagedImages[2].InUse);
  EXPECT_TRUE(StagedImages[3].InUse);
}

// The section's reader and writer open no file: a sink takes what the
// drawing stores, a source gives what is to be stored.
TEST(ImageSection, BytesGoToTheSinkAndComeFromTheSourceWithoutAFileOpened) {
  struct HalfSink : TImageSink {
    std::vector<std::pair<std::string, Bytes>> taken;
    void Take(const TBindImageType& image, TImageBytes& bytes) override {
      // Half of each image: the reader reads past the rest.
      Bytes half(static_cast<std::size_t>(image.Size) / 2);
      half.resize(bytes.Read(half.data(), half.size()));
      taken.emplace_back(image.Name, half);
    }
  };
  struct MemorySource : TImageSource {
    std::map<std::string, Bytes> files;
    std::unique_ptr<platform::File> Open(const TBindImageType& image, bool& absent) override {
      auto it = files.find(image.Name);
      absent = it == files.end();
      return absent ? nullptr : std::make_unique<testutil::MemoryFile>(it->second);
    }
  };
  const Bytes a = Sample(300000, 1), b = Sample(10, 2), again = Sample(7, 3);
  const Bytes section = Section({{"a.jpg.gz", a}, {"b.png.gz", b}, {"A.JPG.GZ", again}});
  platform::FaultyOs counting;
  platform::ScopedOs use(counting);
  TJwwData d;
  HalfSink sink;
  {
    MemoryFile file(section);
    JwwReader r(file);
    d.ReadImageSection(r, &sink);
    EXPECT_EQ(r.Position(), static_cast<long long>(section.size()));
  }
  // The first image of a name only; every entry listed.
  ASSERT_EQ(sink.taken.size(), 2u);
  EXPECT_EQ(sink.taken[0].second, Bytes(a.begin(), a.begin() + 150000));
  EXPECT_EQ(sink.taken[1].second, Bytes(b.begin(), b.begin() + 5));
  EXPECT_EQ(StagedImages.size(), 3u);
  {
    // Without a sink the bytes are read past.
    MemoryFile file(section);
    JwwReader r(file);
    d.ReadImageSection(r, nullptr);
    EXPECT_EQ(r.Position(), static_cast<long long>(section.size()));
  }

  testutil::AddText(d, "^@BM%temp%b.png.gz,1");
  testutil::AddText(d, "^@BM%temp%gone.png.gz,1");
  StagedImages = {{"b.png.gz", 0, false}, {"gone.png.gz", 0, false}};
  MemorySource source;
  source.files["b.png.gz"] = b;
  {
    MemoryFile file;
    JwwWriter w(file);
    d.WriteImageSection(w, &source);
    w.Flush();
    const auto stored = ParseSection(file.bytes);
    ASSERT_EQ(stored.size(), 1u) << "an image the source has not is left out";
    EXPECT_EQ(stored[0], (std::pair<std::string, Bytes>{"b.png.gz", b}));
  }
  EXPECT_EQ(counting.openReadCalls + counting.createCalls + counting.deleteCalls, 0);
  StagedImages.clear();
}

TEST(ImageSection, WholeDrawingLoadsAndSavesItsImages) {
  StagingScope s;
  const Image a{"house.jpg.gz", Sample(3000, 4)};
  const Bytes drawing = Drawing(s.dir, Section({a}));
  WriteBytes(s.dir.Native("in.jww"), drawing);

  TJwwData d;
  ASSERT_TRUE(d.LoadFromFile(s.dir.Path("in.jww"), &StagedImageFiles())) << d.LastError;
  ASSERT_EQ(StagedImages.size(), 1u);
  EXPECT_EQ(ReadBytes(s.Staged("house.jpg.gz")), a.data);
  AddText(d, "^@BM%temp%house.jpg,1,2,3");
  ASSERT_TRUE(d.SaveToFile(s.dir.Path("out.jww"), 700, &StagedImageFiles())) << d.LastError;
  const Bytes out = ReadBytes(s.dir.Native("out.jww"));
  const Bytes expected = Section({a});
  ASSERT_GE(out.size(), expected.size());
  EXPECT_EQ(Bytes(out.end() - static_cast<long>(expected.size()), out.end()), expected);
}

TEST(ImageSection, SizeZeroAndEmptyNames) {
  StagingScope s;
  // An empty name carries no data even with a size.
  const Image c{"c.gz", Sample(3, 5)};
  const Bytes section = Section({{"zero.gz", {}}, {"", {}, 7}, c});
  TJwwData d;
  EXPECT_EQ(ReadSection(d, section), static_cast<long long>(section.size()));
  ASSERT_EQ(StagedImages.size(), 3u);
  EXPECT_EQ(StagedImages[1].Name, "");
  EXPECT_EQ(StagedImages[1].Size, 7);
  EXPECT_EQ(s.AllFiles(), std::vector<fs::path>{s.Staged("c.gz")});

  // A referenced staged file of 0 bytes: its name and a zero size.
  WriteBytes(s.Staged("zero.gz"), {});
  AddText(d, "^@BM%temp%zero,1");
  const Bytes expected = {1, 0, 0, 0, 7, 'z', 'e', 'r', 'o', '.', 'g', 'z', 0, 0, 0, 0};
  EXPECT_EQ(WriteSection(d), expected);

  // Nothing staged: the section is the count 0 alone.
  StagedImages.clear();
  EXPECT_EQ(WriteSection(d), Bytes(4, 0));
}

TEST(ImageSection, WhichTextsSelectAnImage) {
  StagingScope s;
  const auto selects = [&](const JwwStr& text) {
    TJwwData d;
    AddText(d, text);
    return Names(WriteSection(d)) == std::vector<std::string>{"house.jpg.gz"};
  };
  Stage(s, "house.jpg.gz", Sample(20, 6));
  EXPECT_TRUE(selects("^@BM%temp%house.jpg,1,2,3"));
  EXPECT_TRUE(selects("^@BM%temp%HOUSE.JPG,1"));
  EXPECT_TRUE(selects("^@BM%temp%house,1"));  // the first name that begins with it
  EXPECT_FALSE(selects("^@BM%TEMP%house.jpg,1"));
  EXPECT_FALSE(selects("^@BM%temp%house.jpg"));
  EXPECT_FALSE(selects("^@BM%temp%,1"));
  EXPECT_FALSE(selects("^@BMhouse.jpg,1"));
  EXPECT_FALSE(selects("_@BM%temp%house.jpg,1"));
  // A UTF-16 text names its image by its units.
  EXPECT_TRUE(
      selects(JwwStr::Verbatim("^@BM%temp%house.jpg,1", u"^@BM%temp%house.jpg,1\U0001F600")));
  EXPECT_FALSE(
      selects(JwwStr::Verbatim("^@BM%temp%house.jpg,1", u"^@BM%temp%house.jpg\U0001F600,1")));

  // A reference inside a block definition counts, used or not; a staged
  // file that is gone is not stored.
  TJwwData d;
  d.BlockDefs.resize(2);
  AddText(d.BlockDefs[1].Entities, "^@BM%temp%house.jpg,1");
  AddText(d.BlockDefs[1].Entities, "^@BM%temp%gone.png,1");
  StagedImages.push_back({"gone.png.gz", 5, false});
  EXPECT_EQ(Names(WriteSection(d)), std::vector<std::string>{"house.jpg.gz"});
  EXPECT_FALSE(StagedImages[1].InUse);
}

TEST(ImageSection, NamesThatBeginOtherNamesKeepEachReferenceOnItsImage) {
  for (bool reversed : {false, true}) {
    StagingScope s;
    const Bytes bmp = Sample(30, 1), bmp2 = Sample(40, 2);
    if (reversed) {
      Stage(s, "a.bmp2.gz", bmp2);
      Stage(s, "a.bmp.gz", bmp);
    } else {
      Stage(s, "a.bmp.gz", bmp);
      Stage(s, "a.bmp2.gz", bmp2);
    }
    TJwwData both, onlyBmp, onlyBmp2;
    AddText(both, "^@BM%temp%a.bmp2,1");
    AddText(both, "^@BM%temp%a.bmp,1");
    AddText(onlyBmp, "^@BM%temp%a.bmp,1");
    AddText(onlyBmp2, "^@BM%temp%a.bmp2,1");

    const auto stored = ParseSection(WriteSection(both));
    ASSERT_EQ(stored.size(), 2u) << reversed;
    EXPECT_EQ(stored[0], std::make_pair(std::string("a.bmp.gz"), bmp)) << reversed;
    EXPECT_EQ(stored[1], std::make_pair(std::string("a.bmp2.gz"), bmp2)) << reversed;
    const std::vector<std::string> names = {stored[0].first, stored[1].first};
    EXPECT_EQ(FirstPrefix(names, "a.bmp"), "a.bmp.gz");
    EXPECT_EQ(FirstPrefix(names, "a.bmp2"), "a.bmp2.gz");

    EXPECT_EQ(Names(WriteSection(onlyBmp)), std::vector<std::string>{"a.bmp.gz"}) << reversed;
    EXPECT_EQ(Names(WriteSection(onlyBmp2)), std::vector<std::string>{"a.bmp2.gz"}) << reversed;
  }

  // Names that clash both ways (a loop of equal names) with an image that
  // waits on them listed first: that one must still come last, in the
  // section as read and in a second save of it.
  for (const char* other : {"a.jpg.gz", "A.JPG.GZ", "a.jpg"}) {
    StagingScope s;
    const Bytes jpg2 = Sample(30, 4), jpg = Sample(40, 5), copy = Sample(50, 6);
    TJwwData d;
    AddText(d, "^@BM%temp%a.jpg,1");
    AddText(d, "^@BM%temp%a.jpg2,1");
    // a.jpg.gz leads in the third case, so that "a.jpg" is the second copy.
    const bool plain = std::string(other) == "a.jpg";
    const Bytes section = plain ? Section({{"a.jpg2.gz", jpg2}, {"a.jpg", copy}, {"a.jpg.gz", jpg}})
                                : Section({{"a.jpg2.gz", jpg2}, {"a.jpg.gz", jpg}, {other, copy}});
    ReadSection(d, section);
    const Bytes first = WriteSection(d);
    const auto stored = ParseSection(first);
    ASSERT_EQ(stored.size(), 2u) << other;
    const std::vector<std::string> names = {stored[0].first, stored[1].first};
    const Bytes& expectedJpg = plain ? copy : jpg;
    EXPECT_EQ(stored[0].second, expectedJpg) << other;
    EXPECT_EQ(stored[1], std::make_pair(std::string("a.jpg2.gz"), jpg2)) << other;
    EXPECT_EQ(FirstPrefix(names, "a.jpg"), stored[0].first) << other;
    EXPECT_EQ(FirstPrefix(names, "a.jpg2"), "a.jpg2.gz") << other;
    ReadSection(d, first);
    EXPECT_EQ(WriteSection(d), first) << other;
  }

  // A chain of three, listed longest first, and an unrelated image that
  // keeps its place.
  StagingScope s;
  for (const char* name : {"p.bmp22.gz", "q.png.gz", "p.bmp2.gz", "p.bmp.gz"})
    Stage(s, name, Sample(10, 3));
  TJwwData d;
  for (const char* ref : {"p.bmp22", "p.bmp", "q.png", "p.bmp2"})
    AddText(d, std::string("^@BM%temp%") + ref + ",1");
  const std::vector<std::string> names = Names(WriteSection(d));
  EXPECT_EQ(names, (std::vector<std::string>{"q.png.gz", "p.bmp.gz", "p.bmp2.gz", "p.bmp22.gz"}));
  for (const char* ref : {"p.bmp22", "p.bmp", "q.png", "p.bmp2"})
    EXPECT_EQ(FirstPrefix(names, ref), std::string(ref) + ".gz");
}

TEST(ImageSection, ANameStoredTwiceShowsItsFirstImage) {
  // Before the save the reference shows the first image of its name; the
  // later one must not take its place in the staged file.
  const Bytes first = {'0', '0'}, later = {'1', '1'};
  for (const char* again : {"a.jpg.gz", "A.JPG.GZ"}) {
    StagingScope s;
    TJwwData d;
    AddText(d, "^@BM%temp%a.jpg,1");
    ReadSection(d, Section({{"a.jpg.gz", first}, {again, later}}));
    EXPECT_EQ(StagedImages.size(), 2u);
    const Bytes saved = WriteSection(d);
    EXPECT_EQ(ParseSection(saved),
              (std::vector<std::pair<std::string, Bytes>>{{"a.jpg.gz", first}}))
        << again;
    ReadSection(d, saved);
    EXPECT_EQ(WriteSection(d), saved) << again;
  }
  // An empty first image is what the reference showed, so it stays empty
  // rather than showing the later one's picture.
  StagingScope s;
  TJwwData d;
  AddText(d, "^@BM%temp%a.jpg,1");
  ReadSection(d, Section({{"a.jpg.gz", {}}, {"a.jpg.gz", later}}));
  EXPECT_FALSE(fs::exists(s.Staged("a.jpg.gz")));
  EXPECT_EQ(WriteSection(d), Bytes(4, 0));
}

TEST(ImageSection, HostileNamesWriteNothingAndFailTheLoad) {
  StagingScope s;
  const fs::path drive = s.dir.path() / "cdrive";
  fs::create_directories(drive / "x");
  platform::Native().MapDrive('C', drive.string());
  const std::string absolute = s.dir.path().string() + "/abs.bmp";
  for (const std::string& name :
       {std::string("..\\..\\evil.txt"), std::string("C:\\x\\y.bmp"), absolute,
        std::string("../evil.txt"), std::string("..\\\x95\x5C.bmp"), std::string(".."),
        std::string("CON"), std::string("nul.bmp.gz"), std::string("a\x01.gz"),
        std::string("x.gz.")}) {
    const Bytes section = Section({{"ok.gz", Sample(5, 1)}, {name, Sample(10, 2)}});
    TJwwData d;
    try {
      ReadSection(d, section);
      ADD_FAILURE() << "loaded " << name;
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find(QuotedName(name)), std::string::npos) << e.what();
    }
    EXPECT_EQ(s.AllFiles(), std::vector<fs::path>{s.Staged("ok.gz")}) << name;
    fs::remove(s.Staged("ok.gz"));

    // Through the whole load: it fails and says why.
    WriteBytes(s.dir.Native("in.jww"), Drawing(s.dir, section));
    EXPECT_FALSE(d.LoadFromFile(s.dir.Path("in.jww"), &StagedImageFiles())) << name;
    EXPECT_NE(d.LastError.find(QuotedName(name)), std::string::npos) << d.LastError;
    fs::remove(s.dir.Native("in.jww"));
    fs::remove(s.dir.Native("blank.jww"));
    fs::remove(s.Staged("ok.gz"));
    EXPECT_TRUE(s.AllFiles().empty()) << name;
  }
  platform::Native().MapDrive('C', "");
}

TEST(ImageSection, DamagedOrUnwritableImagesFailTheLoad) {
  StagingScope s;
  TJwwData d;
  // Cut off inside the data, also when it is the last image.
  Bytes cut = Section({{"a.gz", Sample(5000, 1)}});
  cut.resize(cut.size() - 1000);
  EXPECT_THROW(ReadSection(d, cut), JwwIoError);
  EXPECT_TRUE(s.AllFiles().empty());

  // A count far beyond the records fails at the first missing one.
  EXPECT_THROW(ReadSection(d, Section({{"b.gz", Sample(5, 1)}}, 0x7FFFFFFF)), JwwIoError);
  EXPECT_EQ(StagedImages.size(), 1u);

  EXPECT_THROW(ReadSection(d, Section({{"n.gz", {}, -5}})), JwwIoError);

  // A file that cannot be created or written in the staging folder.
  for (int fault = 0; fault < 3; ++fault) {
    fs::remove(s.Staged("b.gz"));
    platform::FaultyOs faulty;
    if (fault == 0) faulty.failCreateAt = 1;
    if (fault == 1) faulty.failWriteAt = 2;
    if (fault == 2) faulty.failCloseAt = 1;
    platform::ScopedOs use(faulty);
    // Three pieces: the write that fails comes after one that did not.
    EXPECT_THROW(ReadSection(d, Section({{"c.gz", Sample(300000, 1)}})), JwwIoError) << fault;
    EXPECT_TRUE(s.AllFiles().empty()) << fault;
  }

  // No staging folder: nothing is written relative to the current folder.
  StagingFolder.clear();
  EXPECT_THROW(ReadSection(d, Section({{"d.gz", Sample(5, 1)}})), JwwIoError);
  EXPECT_FALSE(fs::exists("d.gz"));
}

TEST(ImageSection, UnreadableStagedFileFailsTheSave) {
  StagingScope s;
  // Two pieces each.
  Stage(s, "a.jpg.gz", Sample(200000, 1));
  Stage(s, "b.jpg.gz", Sample(200000, 2));
  TJwwData d;
  AddText(d, "^@BM%temp%a.jpg,1");
  AddText(d, "^@BM%temp%b.jpg,1");
  for (int fault = 0; fault < 3; ++fault) {
    const auto inject = [fault](platform::FaultyOs& faulty) {
      if (fault == 0) faulty.failOpenReadAt = 2;  // b cannot be opened
      if (fault == 1) faulty.failReadAt = 1;      // a cannot be read
      if (fault == 2) faulty.failReadAt = 3;      // b fails after a was copied
    };
    {
      platform::FaultyOs faulty;
      inject(faulty);
      platform::ScopedOs use(faulty);
      EXPECT_THROW(WriteSection(d), JwwIoError) << fault;
    }
    platform::FaultyOs faulty;
    inject(faulty);
    platform::ScopedOs use(faulty);
    EXPECT_FALSE(d.SaveToFile(s.dir.Path("out.jww"), 700, &StagedImageFiles())) << fault;
    EXPECT_FALSE(d.LastError.empty());
    EXPECT_FALSE(fs::exists(s.dir.Native("out.jww"))) << fault;
  }
}

namespace {

std::size_t StemLength(const std::string& name) {
  return IsCompressedName(name) ? name.size() - 3 : name.size();
}

// Every pair compared: the order the trie must give.
std::vector<std::size_t> PairwiseStoreOrder(const std::vector<std::string>& upper) {
  const std::size_t n = upper.size();
  std::vector<std::size_t> waiting(n, 0);
  std::vector<std::vector<std::size_t>> before(n);
  for (std::size_t i = 0; i < n; ++i) {
    const std::string stem = upper[i].substr(0, StemLength(upper[i]));
    for (std::size_t j = 0; j < n; ++j)
      if (i != j && upper[j].starts_with(stem)) before[i].push_back(j), ++waiting[j];
  }
  std::vector<bool> placed(n, false);
  std::vector<std::size_t> order;
  while (order.size() < n) {
    std::size_t pick = n;
    for (std::size_t j = 0; j < n && pick == n; ++j)
      if (!placed[j] && waiting[j] == 0) pick = j;
    const bool ready = pick < n;
    // Every one left waits: break a loop at its shortest stem. The lowest
    // index may be an image that only waits on the loop.
    for (std::size_t j = 0; j < n && !ready; ++j)
      if (!placed[j] && (pick == n || StemLength(upper[j]) < StemLength(upper[pick]))) pick = j;
    placed[pick] = true;
    order.push_back(pick);
    for (std::size_t j : before[pick]) --waiting[j];
  }
  return order;
}

}  // namespace

TEST(ImageSection, StoreOrderPutsBeginningsFirstAndCopesWithHostileLists) {
  EXPECT_EQ(ImageStoreOrder({"A.BMP2.GZ", "A.BMP.GZ"}), (std::vector<std::size_t>{1, 0}));
  EXPECT_EQ(ImageStoreOrder({"A.BMP.GZ", "A.BMP2.GZ"}), (std::vector<std::size_t>{0, 1}));
  // A loop of two behind an image that only waits on it.
  EXPECT_EQ(ImageStoreOrder({"A.JPG2.GZ", "A.JPG.GZ", "A.JPG.GZ"}),
            (std::vector<std::size_t>{1, 2, 0}));
  EXPECT_EQ(ImageStoreOrder({"A.JPG2.GZ", "A.JPG", "A.JPG.GZ"}),
            (std::vector<std::size_t>{1, 2, 0}));
  // Small random lists over names that begin each other in every way,
  // loops and equal names included.
  std::mt19937 random(7);
  const std::vector<std::string> parts{"A", "B", ".GZ", "AB", ""};
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::string> names(1 + random() % 7);
    for (std::string& name : names)
      for (std::size_t k = random() % 4; k > 0; --k) name += parts[random() % parts.size()];
    ASSERT_EQ(ImageStoreOrder(names), PairwiseStoreOrder(names)) << ::testing::PrintToString(names);
  }
  // Sixty thousand empty or equal names: every pair waits for the other, so
  // comparing pairs would need billions of steps and entries.
  for (const std::string name : {"", "A.GZ"}) {
    const std::vector<std::size_t> order = ImageStoreOrder(std::vector<std::string>(60000, name));
    ASSERT_EQ(order.size(), 60000u);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
  }
}

// The images the references keep, saved again in the order they were
// stored, must keep that order and each reference its image: else every
// conversion of the output changes the drawing again.
TEST(ImageSection, StoreOrderOfTheKeptImagesHoldsOnTheNextSave) {
  std::mt19937 random(13);
  // ".G" makes loops of unequal names ("A.G" and "A.GZ").
  const std::vector<std::string> loopy{"A", "B", ".GZ", "AB", "", ".G", "Z"};
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::string> names(1 + random() % 7);
    for (std::string& name : names)
      for (std::size_t k = random() % 4; k > 0; --k) name += loopy[random() % loopy.size()];
    std::vector<std::string> refs(random() % 6);
    for (std::string& ref : refs)
      for (std::size_t k = 1 + random() % 3; k > 0; --k) ref += loopy[random() % loopy.size()];
    const auto select = [](const std::vector<std::string>& list,
                           const std::vector<std::size_t>& order, const std::string& ref) {
      for (std::size_t i : order)
        if (list[i] == ref || list[i] == ref + ".GZ") return i;
      for (std::size_t i : order)
        if (!ref.empty() && list[i].starts_with(ref)) return i;
      return list.size();
    };
    const std::vector<std::size_t> order = ImageStoreOrder(names);
    std::vector<bool> kept(names.size(), false);
    for (const std::string& ref : refs)
      if (std::size_t i = select(names, order, ref); i < names.size()) kept[i] = true;
    std::vector<std::string> saved;
    std::vector<std::size_t> source;  // per saved image, its index in `names`
    for (std::size_t i : order) {
      if (!kept[i]) continue;
      saved.push_back(names[i]);
      source.push_back(i);
    }
    std::vector<std::size_t> same(saved.size());
    for (std::size_t i = 0; i < same.size(); ++i) same[i] = i;
    ASSERT_EQ(ImageStoreOrder(saved), same) << ::testing::PrintToString(names);
    for (const std::string& ref : refs) {
      const std::size_t before = select(names, order, ref), after = select(saved, same, ref);
      ASSERT_EQ(before == names.size(), after == saved.size()) << ref;
      if (after < saved.size()) {
        ASSERT_EQ(before, source[after]) << ::testing::PrintToString(names) << " " << ref;
      }
    }
  }
}

// Which images a drawing's references keep, against the first way it was
// written (every reference compared with every name, in store order).
TEST(ImageSection, ReferencesKeepTheImagesTheyNameAmongManyLikeNames) {
  std::mt19937 random(11);
  const std::vector<std::string> parts{"a", "B", ".gz", "ab", ".b"};
  for (int round = 0; round < 300; ++round) {
    StagingScope s;
    std::vector<std::string> names;
    for (std::size_t n = 1 + random() % 8; names.size() < n;) {
      std::string name = "x";
      for (std::size_t k = random() % 4; k > 0; --k) name += parts[random() % parts.size()];
      if (std::find_if(names.begin(), names.end(), [&](const std::string& other) {
            return SjisUpper(other) == SjisUpper(name);
          }) == names.end())
        names.push_back(name);
    }
    for (const std::string& name : names) Stage(s, name, Sample(3, 1));
    TJwwData d;
    std::vector<std::string> refs;
    for (std::size_t n = random() % 5; n > 0; --n) {
      std::string ref = "x";
      for (std::size_t k = random() % 3; k > 0; --k) ref += parts[random() % parts.size()];
      refs.push_back(ref);
      AddText(d, "^@BM%temp%" + ref + ",1");
    }
    std::vector<std::string> upper;
    for (const std::string& name : names) upper.push_back(SjisUpper(name));
    const std::vector<std::size_t> order = ImageStoreOrder(upper);
    std::vector<bool> kept(names.size(), false);
    for (const std::string& ref : refs) {
      const std::string r = SjisUpper(ref);
      auto pick = [&](auto matches) {
        for (std::size_t i : order) {
          if (matches(upper[i])) {
            kept[i] = true;
            return true;
          }
        }
        return false;
      };
      if (!pick([&](const std::string& u) { return u == r || u == r + ".GZ"; }))
        pick([&](const std::string& u) { return u.starts_with(r); });
    }
    std::vector<std::string> expected;
    for (std::size_t i : order)
      if (kept[i]) expected.push_back(names[i]);
    ASSERT_EQ(Names(WriteSection(d)), expected)
        << ::testing::PrintToString(names) << " " << ::testing::PrintToString(refs);
  }
}

TEST(ImageSection, TensOfThousandsOfImagesLoadAndSave) {
  // Sixty thousand empty images, then five thousand one-byte ones: hostile
  // lists that once ran out of memory (pairs of names) or crawled (each
  // staged file made the lookup read the whole staging folder).
  StagingScope s;
  std::vector<Image> empty(60000, Image("", {}));
  TJwwData d;
  const Bytes manyEmpty = Drawing(s.dir, Section(empty));
  WriteBytes(s.dir.Native("empty.jww"), manyEmpty);
  ASSERT_TRUE(d.LoadFromFile(s.dir.Path("empty.jww"), &StagedImageFiles())) << d.LastError;
  EXPECT_EQ(StagedImages.size(), 60000u);
  ASSERT_TRUE(d.SaveToFile(s.dir.Path("empty-out.jww"), 700, &StagedImageFiles())) << d.LastError;

  std::vector<Image> small;
  for (int i = 0; i < 5000; ++i) small.emplace_back("i" + std::to_string(i) + ".gz", Bytes{1});
  WriteBytes(s.dir.Native("small.jww"), Drawing(s.dir, Section(small)));
  ASSERT_TRUE(d.LoadFromFile(s.dir.Path("small.jww"), &StagedImageFiles())) << d.LastError;
  EXPECT_EQ(StagedImages.size(), 5000u);
  EXPECT_TRUE(fs::exists(s.Staged("i4999.gz")));
  ASSERT_TRUE(d.SaveToFile(s.dir.Path("small-out.jww"), 700, &StagedImageFiles())) << d.LastError;
}
