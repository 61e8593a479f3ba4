// The conversion of one drawing: the reference scan, staging, the result
// line, and what is left on disk when something fails.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <map>

#include "app/Unit1.h"
#include "app/UnitGval.h"
#include "embed/staging.h"
#include "testing/conversion_fixture.h"
#include "testing/faulty_os.h"
#include "testing/jwwfixture.h"
#include "testing/testutil.h"
#include "text/sjis.h"

namespace fs = std::filesystem;
using testutil::AddText;
using testutil::ImagesOf;
using testutil::TempDir;
using testutil::WriteDrawing;

namespace {

const std::string kOk0 = ResultOkLine(0, 0, 0, 0, 0);

#ifdef _WIN32
// The path-derived name of an ASCII folder path: ":" and "\" become "_".
std::string EmbeddedPrefix(const std::string& folder) {
  std::string name = folder;
  for (char& c : name) {
    if (c == ':' || c == '\\') c = '_';
  }
  return name;
}
#endif

class Conversion : public ConversionTest {
 protected:
  std::vector<std::string> TextsOf(const platform::Path& output, bool inBlock = false) {
    TJwwData d;
    EXPECT_TRUE(d.LoadFromFile(output, &StagedImageFiles())) << d.LastError;
    std::vector<std::string> texts;
    const TEntityLists& lists = inBlock ? d.BlockDefs.at(0).Entities : d;
    for (const auto& t : lists.Texts) texts.emplace_back(t.Text.text());
    return texts;
  }

  std::vector<std::string> FilesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (auto& e : fs::recursive_directory_iterator(dir))
      if (e.is_regular_file()) names.push_back(testutil::Utf8(e.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
  }
};

}  // namespace

TEST_F(Conversion, DrawingWithoutImages) {
  WriteDrawing(dwg.Path("plain.jww"), {"hello", "^@bmlower.bmp,1"});
  EXPECT_EQ(Convert("plain.jww"), kOk0);
  EXPECT_EQ(TextsOf(out.Path("plain.jww")), (std::vector<std::string>{"hello", "^@bmlower.bmp,1"}));
}

TEST_F(Conversion, ScanEdgeCases) {
  testutil::WriteText(dwg.Native("img/a.bmp"), "image A");
  WriteDrawing(dwg.Path("plan.jww"),
               {
                   "^@BM%temp%x.bmp,1,2",     // already embedded: left alone, not counted
                   "^@BMimg\\a.bmp",          // no comma
                   "^@BM,1,2",                // empty path
                   "^@BMimg\\a.bmp,1,2",      // relative, found in the drawing's folder
                   "^@BMIMG\\A.BMP,9",        // the same file in other letter case: one row
                   "^@BMimg\\b.bmp,1,2",      // missing, relative
                   "^@BM\\nowhere\\c.bmp,5",  // missing, absolute
               },
               {"^@BMimg\\a.bmp,3,4"});
  form.DisableMissingRefs = true;
  form.PathInEmbeddedName = false;
  EXPECT_EQ(Convert("plan.jww"), ResultOkLine(1, 2, 1, 2, 0));
  auto texts = TextsOf(out.Path("plan.jww"));
  ASSERT_EQ(texts.size(), 7u);
  EXPECT_EQ(texts[0], "^@BM%temp%x.bmp,1,2");
  EXPECT_EQ(texts[1], "^@BMimg\\a.bmp");
  EXPECT_EQ(texts[2], "^@BM,1,2");
  EXPECT_EQ(texts[3], "^@BM%temp%a.bmp,1,2");
  EXPECT_EQ(texts[4], "^@BM%temp%a.bmp,9");
  // A missing relative path gets the drawing's folder; an absolute one is
  // kept as written.
  EXPECT_EQ(texts[5], "_@BM" + dwg.Internal() + "img\\b.bmp" + ",1,2");
  EXPECT_EQ(texts[6], "_@BM\\nowhere\\c.bmp,5");
  EXPECT_EQ(TextsOf(out.Path("plan.jww"), true)[0], "^@BM%temp%a.bmp,3,4");

  TJwwData d;
  ASSERT_TRUE(d.LoadFromFile(out.Path("plan.jww"), &StagedImageFiles()));
  EXPECT_EQ(d.Texts[5].Attr.PenColor, 9);
  EXPECT_EQ(d.Texts[5].TextKind, 0);
  EXPECT_EQ(d.Texts[3].Attr.PenColor, 3);
  EXPECT_EQ(d.Texts[3].TextKind, 2);
}

// A drawing sent from another machine names its images by the sender's
// paths; with the look beside the drawing they are found where they came.
TEST_F(Conversion, LookBesideFindsImagesSentWithTheDrawing) {
  testutil::WriteText(dwg.Native("a.bmp"), "image A");
  WriteDrawing(dwg.Path("sent.jww"), {"^@BM\\sender\\pics\\a.bmp,1", "^@BM\\sender\\pics\\b.bmp,2"},
               {"^@BMpics\\a.bmp,3"});
  form.PathInEmbeddedName = false;
  EXPECT_EQ(Convert("sent.jww"), ResultOkLine(0, 0, 0, 2, 1));
  form.LookBeside = true;
  form.DisableMissingRefs = true;
  EXPECT_EQ(Convert("sent.jww", out.Path("sent2.jww")), ResultOkLine(1, 1, 1, 1, 0));
  auto texts = TextsOf(out.Path("sent2.jww"));
  EXPECT_EQ(texts[0], "^@BM%temp%a.bmp,1");
  // Still missing: disabled under the path the drawing gave, not beside.
  EXPECT_EQ(texts[1], "_@BM\\sender\\pics\\b.bmp,2");
  EXPECT_EQ(TextsOf(out.Path("sent2.jww"), true)[0], "^@BM%temp%a.bmp,3");
  EXPECT_EQ(ImagesOf(out.Path("sent2.jww"))["a.bmp"],
            (std::vector<std::uint8_t>{'i', 'm', 'a', 'g', 'e', ' ', 'A'}));
}

TEST_F(Conversion, MissingWithoutTheOptionIsOnlyCounted) {
  WriteDrawing(dwg.Path("m.jww"), {"^@BMimg\\gone.bmp,1"}, {"^@BMgone2.bmp,2"});
  EXPECT_EQ(Convert("m.jww"), ResultOkLine(0, 0, 0, 1, 1));
  EXPECT_EQ(TextsOf(out.Path("m.jww"))[0], "^@BMimg\\gone.bmp,1");
}

TEST_F(Conversion, RelativePathsNeverResolveAgainstTheCurrentFolder) {
  TempDir elsewhere;
  testutil::WriteText(elsewhere.Native("stray.bmp"), "unrelated");
  auto previous = fs::current_path();
  fs::current_path(elsewhere.path());
  WriteDrawing(dwg.Path("r.jww"), {"^@BMstray.bmp,1"});
  std::string result = Convert("r.jww");
  fs::current_path(previous);
  EXPECT_EQ(result, ResultOkLine(0, 0, 0, 1, 0));
}

TEST_F(Conversion, ThreeReferencesToOneImageEmbedItOnce) {
  std::vector<std::uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3, 0, 0xFF, 0xD9};
  testutil::WriteBytes(dwg.Native("img/photo.jpg"), jpeg);
  WriteDrawing(dwg.Path("three.jww"), {"^@BMimg\\photo.jpg,1", "^@BMimg\\photo.jpg,2"},
               {"^@BMimg\\photo.jpg,3"});
  form.PathInEmbeddedName = true;
  EXPECT_EQ(Convert("three.jww"), ResultOkLine(1, 2, 1, 0, 0));
  auto images = ImagesOf(out.Path("three.jww"));
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images.begin()->second, jpeg);
  EXPECT_EQ(StagedImages.size(), 1u);
}

TEST_F(Conversion, PlainNamesGetBranchNumbers) {
  fs::create_directories(dwg.Native("x"));
  fs::create_directories(dwg.Native("y"));
  testutil::WriteText(dwg.Native("x/a.jpg"), "first a");
  testutil::WriteText(dwg.Native("y/a.jpg"), "second a, longer");
  WriteDrawing(dwg.Path("p.jww"), {"^@BMx\\a.jpg,1", "^@BMy\\a.jpg,2"});
  form.PathInEmbeddedName = false;
  EXPECT_EQ(Convert("p.jww"), ResultOkLine(2, 2, 0, 0, 0));
  auto texts = TextsOf(out.Path("p.jww"));
  EXPECT_EQ(texts[0], "^@BM%temp%a.jpg,1");
  EXPECT_EQ(texts[1], "^@BM%temp%a~1.jpg,2");
  auto images = ImagesOf(out.Path("p.jww"));
  EXPECT_EQ(images["a.jpg"], std::vector<std::uint8_t>({'f', 'i', 'r', 's', 't', ' ', 'a'}));
  EXPECT_EQ(images["a~1.jpg"].size(), 16u);
}

TEST_F(Conversion, PlainNamesTellStagedImagesByTheirSourcesStamps) {
  // Two copies of one file (name, date and size alike) in two folders are
  // one image under one name; a third a.jpg of another size is another.
  // Nothing lies in the work folder under a.jpg to compare with: the
  // sources' own stamps decide.
  for (const char* folder : {"x", "y", "z"}) fs::create_directories(dwg.Native(folder));
  testutil::WriteText(dwg.Native("x/a.jpg"), "the photo");
  testutil::WriteText(dwg.Native("y/a.jpg"), "the photo");
  testutil::WriteText(dwg.Native("z/a.jpg"), "another photo");
  const auto taken = fs::last_write_time(dwg.Native("x/a.jpg")) - std::chrono::hours(1);
  for (const char* copy : {"x/a.jpg", "y/a.jpg"}) fs::last_write_time(dwg.Native(copy), taken);
  WriteDrawing(dwg.Path("twins.jww"), {"^@BMx\\a.jpg,1", "^@BMy\\a.jpg,2"}, {"^@BMz\\a.jpg,3"});
  form.PathInEmbeddedName = false;
  ASSERT_EQ(Convert("twins.jww"), ResultOkLine(3, 2, 1, 0, 0)) << form.FailureReason;
  EXPECT_EQ(TextsOf(out.Path("twins.jww")),
            (std::vector<std::string>{"^@BM%temp%a.jpg,1", "^@BM%temp%a.jpg,2"}));
  EXPECT_EQ(TextsOf(out.Path("twins.jww"), true), std::vector<std::string>{"^@BM%temp%a~1.jpg,3"});
  auto images = ImagesOf(out.Path("twins.jww"));
  EXPECT_EQ(std::string(images["a.jpg"].begin(), images["a.jpg"].end()), "the photo");
  EXPECT_EQ(std::string(images["a~1.jpg"].begin(), images["a~1.jpg"].end()), "another photo");
  ASSERT_EQ(StagedImages.size(), 2u);
  EXPECT_EQ(StagedImages[0].Name, "a.jpg.gz");
  EXPECT_EQ(StagedImages[1].Name, "a~1.jpg.gz");
}

TEST_F(Conversion, NoFreePlainNameFailsTheScanWhereAPathDerivedNameNeedsNoLookup) {
  testutil::WriteText(dwg.Native("img/a.bmp"), "image A");
  WriteDrawing(dwg.Path("p.jww"), {"^@BMimg\\a.bmp,1"});
  std::u16string whole = dwg.Path("img/a.bmp");
  for (char16_t& u : whole)
    if (u == u'\\' || u == u':') u = u'_';
  for (bool wholePath : {false, true}) {
    SCOPED_TRACE(wholePath);
    TJwwData d;
    ASSERT_TRUE(d.LoadFromFile(dwg.Path("p.jww"), &StagedImageFiles())) << d.LastError;
    std::vector<TStr2List> rows;
    TEmbedScan scan;
    scan.PathInEmbeddedName = wholePath;
    // Every name in the staging folder is taken, by a file of another stamp
    // than the image's, through all 99,999 branch numbers.
    platform::FaultyOs faulty;
    faulty.everythingExists = true;
    bool embedded;
    {
      platform::ScopedOs use(faulty);
      embedded = EmbedImages(d, dwg.Path("p.jww"), StagingFolder, rows, scan);
    }
    if (wholePath) {
      // The name is chosen whatever lies in the folder. (Staging then takes
      // the files the wrapper invents for the image, and cannot read them.)
      EXPECT_EQ(scan.FailureReason.find("no free name"), std::string::npos) << scan.FailureReason;
      ASSERT_EQ(rows.size(), 1u);
      EXPECT_EQ(rows[0].EmbeddedName, whole);
    } else {
      EXPECT_FALSE(embedded);
      EXPECT_NE(scan.FailureReason.find("no free name"), std::string::npos) << scan.FailureReason;
      EXPECT_TRUE(rows.empty());
    }
    form.ResetConversion();
  }
}

TEST_F(Conversion, PathDerivedNamesKeepDoubleByteCharactersAndNeverCollide) {
  // 表 ends in 0x5C: it must survive whole. C:\a_b.jpg and C:\a\b.jpg both
  // make C__a_b.jpg; the second gets a branch number.
  TempDir drive;
#ifdef _WIN32
  // No drive of the test's here: the folder's own (ASCII) path stands for
  // Q:\, and for q:\ the same in small letters.
  const std::string q = drive.Internal(), qName = EmbeddedPrefix(q);
  std::string qSmall = q;
  for (char& c : qSmall) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::string qSmallName = EmbeddedPrefix(qSmall);
#else
  platform::Current().MapDrive('Q', drive.path().string());
  const std::string q = "Q:\\", qName = "Q__", qSmall = "q:\\", qSmallName = "q__";
#endif
  fs::create_directories(drive.Native("a"));
  fs::create_directories(drive.Native("\xE8\xA1\xA8"));  // 表 in UTF-8
  testutil::WriteText(drive.Native("\xE8\xA1\xA8/a.bmp"), "hyou");
  testutil::WriteText(drive.Native("a_b.jpg"), "underscore");
  testutil::WriteText(drive.Native("a/b.jpg"), "folder");
  WriteDrawing(dwg.Path("d.jww"), {"^@BM" + q + "\x95\x5C\\a.bmp,1", "^@BM" + q + "a_b.jpg,2",
                                   "^@BM" + qSmall + "A\\B.JPG,3"});
  form.PathInEmbeddedName = true;
  EXPECT_EQ(Convert("d.jww"), ResultOkLine(3, 3, 0, 0, 0));
  auto texts = TextsOf(out.Path("d.jww"));
  EXPECT_EQ(texts[0], "^@BM%temp%" + qName + "\x95\x5C_a.bmp,1");
  EXPECT_EQ(texts[1], "^@BM%temp%" + qName + "a_b.jpg,2");
  EXPECT_EQ(texts[2], "^@BM%temp%" + qSmallName + "A_B~1.JPG,3");
  auto images = ImagesOf(out.Path("d.jww"));
  EXPECT_EQ(images[qName + "a_b.jpg"],
            std::vector<std::uint8_t>({'u', 'n', 'd', 'e', 'r', 's', 'c', 'o', 'r', 'e'}));
  EXPECT_EQ(images[qSmallName + "A_B~1.JPG"],
            std::vector<std::uint8_t>({'f', 'o', 'l', 'd', 'e', 'r'}));
}

TEST_F(Conversion, LongReferenceIsNeverCut) {
  testutil::WriteText(dwg.Native("img/a.bmp"), "A");
  std::string params = "," + std::string(300, '7') + "\x95\x5C";
  WriteDrawing(dwg.Path("long.jww"), {"^@BMimg\\a.bmp" + params});
  form.PathInEmbeddedName = false;
  EXPECT_EQ(Convert("long.jww"), ResultOkLine(1, 1, 0, 0, 0));
  EXPECT_EQ(TextsOf(out.Path("long.jww"))[0], "^@BM%temp%a.bmp" + params);
}

TEST_F(Conversion, TwoConversionsInARowStartAfresh) {
  testutil::WriteText(dwg.Native("img/one.bmp"), "one");
  testutil::WriteText(dwg.Native("img/two.bmp"), "two");
  WriteDrawing(dwg.Path("one.jww"), {"^@BMimg\\one.bmp,1", "^@BMmissing.bmp,1"});
  WriteDrawing(dwg.Path("two.jww"), {"^@BMimg\\two.bmp,1"});
  form.PathInEmbeddedName = false;
  // Each image is staged as its archive alone, compressed straight from
  // the image file.
  EXPECT_EQ(Convert("one.jww"), ResultOkLine(1, 1, 0, 1, 0));
  EXPECT_EQ(FilesIn(testutil::PathFromUtf8(platform::InternalToNative(StagingFolder))),
            (std::vector<std::string>{"one.bmp.gz"}));
  EXPECT_EQ(Convert("two.jww"), ResultOkLine(1, 1, 0, 0, 0));
  EXPECT_EQ(FilesIn(testutil::PathFromUtf8(platform::InternalToNative(StagingFolder))),
            (std::vector<std::string>{"two.bmp.gz"}));
  auto images = ImagesOf(out.Path("two.jww"));
  EXPECT_EQ(images.size(), 1u);
}

TEST_F(Conversion, ImagesTheDrawingCarriesStayAndAreNotOverwritten) {
  // A drawing that carries new.bmp.gz gains a reference to another file
  // named new.bmp: with plain names it must not take "new.bmp", whose
  // compressed copy would overwrite the carried image.
  testutil::WriteText(dwg.Native("img/new.bmp"), "carried image");
  WriteDrawing(dwg.Path("first.jww"), {"^@BMimg\\new.bmp,1"});
  form.PathInEmbeddedName = false;
  ASSERT_EQ(Convert("first.jww"), ResultOkLine(1, 1, 0, 0, 0));
  fs::create_directories(dwg.Native("other"));
  testutil::WriteText(dwg.Native("other/new.bmp"), "another image");
  {
    TJwwData d;
    ASSERT_TRUE(d.LoadFromFile(out.Path("first.jww"), &StagedImageFiles())) << d.LastError;
    AddText(d, "^@BMother\\new.bmp,2");
    ASSERT_TRUE(d.SaveToFile(dwg.Path("second.jww"), 700, &StagedImageFiles())) << d.LastError;
  }
  EXPECT_EQ(Convert("second.jww"), ResultOkLine(1, 1, 0, 0, 0));
  auto texts = TextsOf(out.Path("second.jww"));
  EXPECT_EQ(texts[0], "^@BM%temp%new.bmp,1");
  EXPECT_EQ(texts[1], "^@BM%temp%new~1.bmp,2");
  auto images = ImagesOf(out.Path("second.jww"));
  EXPECT_EQ(std::string(images["new.bmp"].begin(), images["new.bmp"].end()), "carried image");
  EXPECT_EQ(std::string(images["new~1.bmp"].begin(), images["new~1.bmp"].end()), "another image");
}

TEST_F(Conversion, UnreadableOrDamagedSourcesFailWithoutOutput) {
  EXPECT_EQ(Convert("absent.jww"), kResultFailed);
  EXPECT_NE(form.FailureReason, "");

  std::vector<std::uint8_t> old(12, 0);
  old[8] = 219;
  testutil::WriteBytes(dwg.Native("old.jww"), old);
  EXPECT_EQ(Convert("old.jww"), kResultFailed);

  testutil::WriteText(dwg.Native("img/a.bmp"), "A");
  WriteDrawing(dwg.Path("whole.jww"), {"^@BMimg\\a.bmp,1", "text"});
  auto bytes = testutil::ReadBytes(dwg.Native("whole.jww"));
  bytes.resize(bytes.size() - 10);
  testutil::WriteBytes(dwg.Native("cut.jww"), bytes);
  EXPECT_EQ(Convert("cut.jww"), kResultFailed);
  EXPECT_NE(form.FailureReason, "");
  EXPECT_TRUE(FilesIn(out.path()).empty());
  // A later good drawing converts normally.
  EXPECT_EQ(Convert("whole.jww"), ResultOkLine(1, 1, 0, 0, 0));
}

TEST_F(Conversion, NeverOverwritesAnExistingOutput) {
  WriteDrawing(dwg.Path("p.jww"), {"x"});
  testutil::WriteText(out.Native("p.jww"), "someone else's");
  EXPECT_EQ(Convert("p.jww"), kResultFailed);
  EXPECT_EQ(testutil::ReadText(out.Native("p.jww")), "someone else's");
  EXPECT_EQ(FilesIn(out.path()), std::vector<std::string>{"p.jww"});
}

TEST_F(Conversion, InjectedFailuresLeaveNoFileAndNeverSayOk) {
  testutil::WriteText(dwg.Native("img/a.bmp"), std::string(10000, 'a'));
  // Enough texts that the drawing is read in several pieces, so that a read
  // can fail in the middle of an entity.
  std::vector<std::string> texts = {"^@BMimg\\a.bmp,1"};
  for (int i = 0; i < 1500; ++i) texts.push_back("filler text number " + std::to_string(i));
  WriteDrawing(dwg.Path("f.jww"), texts);
  form.PathInEmbeddedName = false;

  // Count the calls of a good run, then make each one fail in turn.
  platform::FaultyOs counting;
  {
    platform::ScopedOs use(counting);
    ASSERT_EQ(Convert("f.jww", out.Path("good.jww")), ResultOkLine(1, 1, 0, 0, 0));
  }
  fs::remove(out.Native("good.jww"));
  EXPECT_GE(counting.readCalls, 4);

  struct Walk {
    const char* what;
    int calls;
    int platform::FaultyOs::*at;
  };
  const Walk walks[] = {
      {"create", counting.createCalls, &platform::FaultyOs::failCreateAt},
      {"read", counting.readCalls, &platform::FaultyOs::failReadAt},
      {"write", counting.writeCalls, &platform::FaultyOs::failWriteAt},
      {"short write", counting.writeCalls, &platform::FaultyOs::shortWriteAt},
      {"rename", counting.renameCalls, &platform::FaultyOs::failRenameAt},
      {"close", counting.closeCalls, &platform::FaultyOs::failCloseAt},
  };
  for (const Walk& walk : walks) {
    for (int n = 1; n <= walk.calls; ++n) {
      platform::FaultyOs faulty;
      faulty.*(walk.at) = n;
      std::string result;
      {
        platform::ScopedOs use(faulty);
        result = Convert("f.jww", out.Path("f.jww"));
      }
      if (result == kResultFailed) {
        EXPECT_TRUE(FilesIn(out.path()).empty()) << walk.what << " " << n;
        EXPECT_NE(form.FailureReason, "") << walk.what << " " << n;
      } else {
        // A failure the conversion could live with (a close of a file only
        // read): the drawing must then be whole. An image that could not be
        // read is missing, and said to be.
        auto images = ImagesOf(out.Path("f.jww"));
        if (result == ResultOkLine(0, 0, 0, 1, 0)) {
          EXPECT_TRUE(images.empty()) << walk.what << " " << n;
          ASSERT_EQ(form.Warnings.size(), 1u) << walk.what << " " << n;
          EXPECT_NE(form.Warnings[0].find("a.bmp"), std::string::npos) << form.Warnings[0];
        } else {
          EXPECT_EQ(result, ResultOkLine(1, 1, 0, 0, 0)) << walk.what << " " << n;
          EXPECT_EQ(images["a.bmp"].size(), 10000u) << walk.what << " " << n;
        }
        fs::remove(out.Native("f.jww"));
      }
    }
  }
}

TEST_F(Conversion, CorpusDrawingsWithAddedReferences) {
  auto drawings = testutil::CorpusDrawings();
  if (drawings.empty()) GTEST_SKIP() << "the corpus of real drawings is not there";
  std::vector<std::uint8_t> image(5000);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7);
  testutil::WriteBytes(dwg.Native("img/a.bmp"), image);
  form.PathInEmbeddedName = true;
  std::string expectedName = dwg.Internal() + "img\\a.bmp";
  for (char& c : expectedName)
    if (c == '\\' || c == ':') c = '_';
  for (const auto& path : drawings) {
    const std::string name = path.filename().string();
    TJwwData d;
    ASSERT_TRUE(d.LoadFromFile(testutil::InternalPath(path), &StagedImageFiles()))
        << name << ": " << d.LastError;
    // The new references take the drawing's own string form.
    const JwwStr::Form form16 = d.Header.Memo.form();
    AddText(d, "^@BMimg\\a.bmp,1,2,3");
    d.Texts.back().Text.SetForm(form16);
    bool hasBlocks = !d.BlockDefs.empty();
    if (hasBlocks) {
      AddText(d.BlockDefs[0].Entities, "^@BMimg\\a.bmp,4,5");
      d.BlockDefs[0].Entities.Texts.back().Text.SetForm(form16);
    }
    ASSERT_TRUE(d.SaveToFile(dwg.Path(name), 700, &StagedImageFiles())) << name;
    ASSERT_EQ(Convert(name), ResultOkLine(1, 1, hasBlocks ? 1 : 0, 0, 0)) << name;

    TJwwData converted;
    ASSERT_TRUE(converted.LoadFromFile(out.Path(name), &StagedImageFiles())) << name;
    EXPECT_EQ(converted.Texts.size(), d.Texts.size()) << name;
    EXPECT_EQ(converted.Texts.back().Text.text(), "^@BM%temp%" + expectedName + ",1,2,3") << name;
    EXPECT_EQ(converted.Texts.back().Text.form(), form16) << name;
    auto images = ImagesOf(out.Path(name));
    ASSERT_EQ(images.size(), 1u) << name;
    EXPECT_EQ(images.begin()->second, image) << name;
  }
}

TEST_F(Conversion, Utf16ReferencesAndStoredNames) {
  // Current Jw_cad stores texts and image names as UTF-16: they are found,
  // rewritten and matched like byte strings; a reference Shift-JIS cannot
  // hold whose image is missing is counted and left exactly as it was.
  testutil::WriteText(dwg.Native("img/a.bmp"), "live image");
  testutil::WriteText(home.Native("carried.bmp"), "carried image");
  std::string reason;
  ASSERT_TRUE(GzipCompressFile(home.Path("carried.bmp"), home.Path("carried.gz"), reason));
  auto gz = testutil::ReadBytes(home.Native("carried.gz"));

  TJwwData d;
  d.Header.Version = 700;
  for (const char* s : {"^@BM%temp%\x95\x5C.bmp,1", "^@BMimg\\a.bmp,2"}) {
    AddText(d, s);
    d.Texts.back().Text.SetForm(JwwStr::Form::Utf16);
  }
  AddText(d, "");
  d.Texts.back().Text = JwwStr::Verbatim("^@BMcaf?.bmp,3", u"^@BMcaf\u00E9.bmp,3");
  ASSERT_TRUE(d.SaveToFile(dwg.Path("u16.jww"), 700, &StagedImageFiles())) << d.LastError;
  auto bytes = testutil::ReadBytes(dwg.Native("u16.jww"));
  ASSERT_EQ(std::vector<std::uint8_t>(bytes.end() - 4, bytes.end()),
            std::vector<std::uint8_t>(4, 0));
  bytes.resize(bytes.size() - 4);
  jwwfixture::JwwBuilder section(700);
  section.Dword(1);
  section.Utf16String(u"\u8868.bmp.gz");  // 表.bmp.gz
  section.Dword(static_cast<std::int32_t>(gz.size()));
  section.Raw(gz);
  bytes.insert(bytes.end(), section.bytes().begin(), section.bytes().end());
  testutil::WriteBytes(dwg.Native("u16.jww"), bytes);

  form.PathInEmbeddedName = false;
  EXPECT_EQ(Convert("u16.jww"), ResultOkLine(1, 1, 0, 1, 0));
  EXPECT_TRUE(form.Warnings.empty());

  TJwwData converted;
  ASSERT_TRUE(converted.LoadFromFile(out.Path("u16.jww"), &StagedImageFiles()))
      << converted.LastError;
  ASSERT_EQ(converted.Texts.size(), 3u);
  EXPECT_EQ(converted.Texts[0].Text.text(), "^@BM%temp%\x95\x5C.bmp,1");
  EXPECT_EQ(converted.Texts[1].Text.text(), "^@BM%temp%a.bmp,2");
  for (int i = 0; i < 2; ++i) EXPECT_EQ(converted.Texts[i].Text.form(), JwwStr::Form::Utf16);
  EXPECT_TRUE(converted.Texts[2].Text.verbatim());
  EXPECT_EQ(converted.Texts[2].Text.units(), u"^@BMcaf\u00E9.bmp,3");
  auto images = ImagesOf(out.Path("u16.jww"));
  EXPECT_EQ(std::string(images["\x95\x5C.bmp"].begin(), images["\x95\x5C.bmp"].end()),
            "carried image");
  EXPECT_EQ(std::string(images["a.bmp"].begin(), images["a.bmp"].end()), "live image");
}
