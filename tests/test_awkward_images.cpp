// Images a user's disk really holds beside their drawings: ones that cannot
// be read, files that are no images, a reference spelt several ways, paths
// too deep for a path-derived name, and output names already taken by
// something that is no file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/Unit1.h"
#include "app/UnitGval.h"
#include "embed/staging.h"
#include "jww/jwwunit.h"
#include "platform/platform.h"
#include "testing/conversion_fixture.h"
#include "testing/faulty_os.h"
#include "testing/testutil.h"

namespace fs = std::filesystem;
using testutil::ImagesOf;
using testutil::TempDir;
using testutil::WriteDrawing;

namespace {

class AwkwardImages : public ConversionTest {
 protected:
  void SetUp() override {
    ConversionTest::SetUp();
    form.PathInEmbeddedName = false;
  }

  std::vector<std::string> TextsOf(const platform::Path& output) {
    TJwwData d;
    EXPECT_TRUE(d.LoadFromFile(output, &StagedImageFiles())) << d.LastError;
    std::vector<std::string> texts;
    for (const auto& t : d.Texts) texts.emplace_back(t.Text.text());
    return texts;
  }
};

TEST_F(AwkwardImages, AnImageThatCannotBeOpenedIsMissingAndTheRestConverts) {
  testutil::WriteText(dwg.Native("img/a.bmp"), "image a");
  testutil::WriteText(dwg.Native("img/b.bmp"), "image b");
  WriteDrawing(dwg.Path("p.jww"), {"^@BMimg\\a.bmp,1", "^@BMimg\\b.bmp,2", "^@BMimg\\a.bmp,3"});
  // The first open after the drawing's own is a.bmp's, read to be compressed.
  platform::FaultyOs faulty;
  faulty.failOpenReadAt = 2;
  std::string result;
  {
    platform::ScopedOs use(faulty);
    form.DisableMissingRefs = true;
    result = Convert("p.jww");
  }
  EXPECT_EQ(result, ResultOkLine(1, 1, 0, 2, 0));
  ASSERT_EQ(form.Warnings.size(), 1u);
  EXPECT_NE(form.Warnings[0].find("a.bmp"), std::string::npos) << form.Warnings[0];
  auto images = ImagesOf(out.Path("p.jww"));
  EXPECT_EQ(images.size(), 1u);
  EXPECT_EQ(images.count("b.bmp"), 1u);
  const std::vector<std::string> texts = TextsOf(out.Path("p.jww"));
  ASSERT_EQ(texts.size(), 3u);
  // Both references to a.bmp disabled, as for any missing image.
  EXPECT_EQ(texts[0], "_@BM" + dwg.Internal() + "img\\a.bmp" + ",1");
  EXPECT_EQ(texts[1], "^@BM%temp%b.bmp,2");
  EXPECT_EQ(texts[2], "_@BM" + dwg.Internal() + "img\\a.bmp" + ",3");
  // Nothing of a.bmp is left staged.
  for (auto& e : fs::recursive_directory_iterator(home.path()))
    EXPECT_EQ(testutil::Utf8(e.path().filename()).find("a.bmp"), std::string::npos);
}

TEST_F(AwkwardImages, AReadErrorHalfwayLeavesTheImageMissing) {
  // Several pieces, so that the failing read comes after the first.
  testutil::WriteBytes(dwg.Native("img/big.bmp"), std::vector<std::uint8_t>(1500000, 7));
  WriteDrawing(dwg.Path("p.jww"), {"^@BMimg\\big.bmp,1"});
  int leftMissing = 0;
  for (int n = 1; n <= 8; ++n) {
    platform::FaultyOs faulty;
    faulty.failReadAt = n;
    std::string result;
    {
      platform::ScopedOs use(faulty);
      result = Convert("p.jww");
    }
    fs::remove(out.Native("p.jww"));
    if (result == kResultFailed) continue;  // the drawing's own read
    if (result == ResultOkLine(0, 0, 0, 1, 0)) {
      ++leftMissing;
      EXPECT_EQ(form.Warnings.size(), 1u) << n;
    } else {
      EXPECT_EQ(result, ResultOkLine(1, 1, 0, 0, 0)) << n;
    }
  }
  // The image is read in several pieces: a failure at any of them.
  EXPECT_GE(leftMissing, 2);
}

#ifndef _WIN32
TEST_F(AwkwardImages, FilesThatAreNoImagesAreMissingAndNeverRead) {
  // A FIFO would hang a read, /dev/zero would never end, a folder is no
  // file: each is missing, with a warning, and the run goes on.
  ASSERT_EQ(::system(("mkfifo '" + dwg.Native("img/fifo.bmp").string() + "'").c_str()), 0);
  fs::create_symlink("/dev/zero", dwg.Native("img/zero.bmp"));
  fs::create_directories(dwg.Native("img/folder.bmp"));
  testutil::WriteText(dwg.Native("img/good.bmp"), "good");
  WriteDrawing(dwg.Path("p.jww"), {"^@BMimg\\fifo.bmp,1", "^@BMimg\\zero.bmp,2",
                                   "^@BMimg\\folder.bmp,3", "^@BMimg\\good.bmp,4"});
  EXPECT_EQ(Convert("p.jww"), ResultOkLine(1, 1, 0, 3, 0));
  ASSERT_EQ(form.Warnings.size(), 3u);
  for (const std::string& w : form.Warnings)
    EXPECT_NE(w.find("not a regular file"), std::string::npos) << w;
  EXPECT_EQ(ImagesOf(out.Path("p.jww")).size(), 1u);
}
#endif

TEST_F(AwkwardImages, OneFileUnderSeveralSpellingsIsOneImage) {
  testutil::WriteText(dwg.Native("img/a.jpg"), "a");
  testutil::WriteText(dwg.Native("img/b.jpg"), "b");
  testutil::WriteText(dwg.Native("img/c.jpg"), "c");
  WriteDrawing(dwg.Path("p.jww"),
               {"^@BMimg\\a.jpg,1", "^@BM.\\img\\a.jpg,2", "^@BMimg/a.jpg,3", "^@BMimg\\\\a.jpg,4",
                "^@BMIMG\\A.JPG,5", "^@BMimg\\b.jpg,6", "^@BMimg\\c.jpg,7"});
  for (bool wholePath : {false, true}) {
    form.PathInEmbeddedName = wholePath;
    fs::remove(out.Native("p.jww"));
    EXPECT_EQ(Convert("p.jww"), ResultOkLine(3, 7, 0, 0, 0)) << wholePath;
    EXPECT_EQ(ImagesOf(out.Path("p.jww")).size(), 3u) << wholePath;
    const std::vector<std::string> texts = TextsOf(out.Path("p.jww"));
    ASSERT_EQ(texts.size(), 7u);
    const std::string first = texts[0].substr(0, texts[0].find(','));
    for (int i = 1; i < 5; ++i)
      EXPECT_EQ(texts[i].substr(0, texts[i].find(',')), first) << texts[i];
    form.ResetConversion();
  }
}

TEST_F(AwkwardImages, SlashRootedReferencesAreRootedAsBackslashOnes) {
  testutil::WriteText(dwg.Native("img/a.jpg"), "a");
  // The folder's absolute path in both spellings of the separator.
  std::string slashed = dwg.Internal() + "img\\a.jpg";
  std::replace(slashed.begin(), slashed.end(), '\\', '/');
  WriteDrawing(dwg.Path("p.jww"),
               {"^@BM" + dwg.Internal() + "img\\a.jpg" + ",1", "^@BM" + slashed + ",2"});
  EXPECT_EQ(Convert("p.jww"), ResultOkLine(1, 2, 0, 0, 0));
}

TEST_F(AwkwardImages, LookBesideFindsAFileNameAfterASlash) {
  testutil::WriteText(dwg.Native("a.png"), "beside");
  WriteDrawing(dwg.Path("p.jww"), {"^@BMD:/photos/a.png,1"});
  form.LookBeside = true;
  EXPECT_EQ(Convert("p.jww"), ResultOkLine(1, 1, 0, 0, 0));
}

TEST_F(AwkwardImages, DeepPathsGiveNamesThatFitTheDiskAndTheText) {
  // A folder path of kanji (3 bytes each in UTF-8, 2 in Shift-JIS) that
  // with the image's path passes 255 bytes.
  std::string folder;
  for (int i = 0; i < 3; ++i) {
    std::string part;
    for (int k = 0; k < 30; ++k) part += "\x8A\xBF";  // 漢
    folder += part + std::to_string(i) + "\\";
  }
  std::string nativeFolder;
  for (int i = 0; i < 3; ++i) {
    std::string part;
    for (int k = 0; k < 30; ++k) part += "\xE6\xBC\xA2";
    nativeFolder += part + std::to_string(i) + "/";
  }
  fs::create_directories(dwg.Native("img") / fs::u8path(nativeFolder));
  testutil::WriteText(dwg.Native("img") / fs::u8path(nativeFolder + "a.jpg"), "deep a");
  testutil::WriteText(dwg.Native("img") / fs::u8path(nativeFolder + "b.jpg"), "deep b");
  testutil::WriteText(dwg.Native("img/near.jpg"), "near");
  const std::string refA = "^@BMimg\\" + folder + "a.jpg,1";
  WriteDrawing(dwg.Path("p.jww"), {refA, "^@BMimg\\" + folder + "b.jpg,2", "^@BMimg\\near.jpg,3"});
  form.PathInEmbeddedName = true;
  ASSERT_EQ(Convert("p.jww"), ResultOkLine(3, 3, 0, 0, 0)) << form.FailureReason;
  const std::vector<std::string> texts = TextsOf(out.Path("p.jww"));
  ASSERT_EQ(texts.size(), 3u);
  ASSERT_LE(refA.size(), 255u);
  for (const std::string& t : texts) EXPECT_LE(t.size(), 255u) << t;
  // The end of the path is kept: the file name and the nearest folders,
  // whole; a and b stay apart.
  EXPECT_NE(texts[0], texts[1]);
  EXPECT_NE(texts[0].find("2_a.jpg,1"), std::string::npos) << texts[0];
  EXPECT_EQ(texts[0].rfind("^@BM%temp%\x8A\xBF", 0), 0u) << texts[0];
  // A name that fits stays as it always was.
  std::string near = dwg.Internal() + "img\\near.jpg";
  for (char& c : near)
    if (c == '\\' || c == ':') c = '_';
  EXPECT_EQ(texts[2], "^@BM%temp%" + near + ",3");
  EXPECT_EQ(ImagesOf(out.Path("p.jww")).size(), 3u);
}

TEST_F(AwkwardImages, AFileThatIsNoDrawingSaysSo) {
  testutil::WriteText(dwg.Native("random.jww"), "just some text, no drawing at all");
  EXPECT_EQ(Convert("random.jww"), kResultFailed);
  EXPECT_EQ(form.FailureReason, "not a Jw_cad drawing (it does not begin with \"JwwData.\")");
}

}  // namespace
