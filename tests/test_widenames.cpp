// Image paths and names that Shift-JIS cannot hold, as current Jw_cad's
// UTF-16 drawings may carry them: they are embedded, named, stored and
// found again like any other, and never pass through CP932 on their way.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "app/Unit1.h"
#include "app/UnitGval.h"
#include "embed/staging.h"
#include "testing/faulty_os.h"
#include "testing/memory_os.h"
#ifndef _WIN32
#include "platform/posix/signals.h"
#endif
#include "platform/unicode.h"
#include "testing/conversion_fixture.h"
#include "testing/jwwfixture.h"
#include "testing/testutil.h"
#include "text/widenames.h"

namespace fs = std::filesystem;
using testutil::TempDir;

namespace {

// Ünï_表.png, Café, plan〜1.png (U+301C WAVE DASH, which CP932 spells
// U+FF5E).
const std::u16string kUni = u"\u00DCn\u00EF_\u8868.png";
const std::string kUniUtf8 = "\xC3\x9Cn\xC3\xAF_\xE8\xA1\xA8.png";
const std::u16string kCafe = u"Caf\u00E9";
const std::string kCafeUtf8 = "Caf\xC3\xA9";
const std::u16string kWave = u"plan\u301C1.png";
const std::string kWaveUtf8 =
    "plan\xE3\x80\x9C"
    "1.png";

using testutil::Wide;

class WideConversion : public ConversionTest {
 protected:
  std::vector<std::u16string> TextsOf(const platform::Path& output, bool inBlock) {
    TJwwData d;
    EXPECT_TRUE(d.LoadFromFile(output, &StagedImageFiles())) << d.LastError;
    std::vector<std::u16string> texts;
    const TEntityLists& lists = inBlock ? d.BlockDefs.at(0).Entities : d;
    for (const auto& t : lists.Texts)
      texts.push_back(t.Text.verbatim() ? std::u16string(t.Text.units())
                                        : SjisToUtf16(std::string(t.Text.text())));
    return texts;
  }

  // The three images of the brief: relative, absolute through a folder
  // with "é", and one with a wave dash; referenced at the top level and
  // in a block.
  void WriteThreeImageDrawing() {
    testutil::WriteText(dwg.Native(kUniUtf8), "umlaut image");
    fs::create_directories(dwg.Native(kCafeUtf8));
    testutil::WriteText(dwg.Native(kCafeUtf8 + "/b.png"), "cafe image, longer");
    testutil::WriteText(dwg.Native("img/" + kWaveUtf8), "wave");
    absolute = dwg.Path() + kCafe + u"\\b.png";
    testutil::WriteWideDrawing(dwg.Path("u16.jww"),
                               {Wide(u"^@BM" + kUni + u",1,2"), Wide(u"^@BM" + absolute + u",3"),
                                Wide(u"^@BMimg\\" + kWave + u",4")},
                               {Wide(u"^@BM" + kUni + u",5"), Wide(u"^@BMimg\\" + kWave + u",6")});
  }

  std::u16string absolute;
};

}  // namespace

TEST_F(WideConversion, PathsShiftJisCannotHoldAreEmbeddedWithPlainNames) {
  WriteThreeImageDrawing();
  form.PathInEmbeddedName = false;
  EXPECT_EQ(Convert("u16.jww"), ResultOkLine(3, 3, 2, 0, 0));
  EXPECT_TRUE(form.Warnings.empty());

  const std::u16string e = u"^@BM%temp%";
  EXPECT_EQ(TextsOf(out.Path("u16.jww"), false),
            (std::vector<std::u16string>{e + kUni + u",1,2", e + u"b.png,3", e + kWave + u",4"}));
  EXPECT_EQ(TextsOf(out.Path("u16.jww"), true),
            (std::vector<std::u16string>{e + kUni + u",5", e + kWave + u",6"}));
  const auto images = testutil::WideImagesOf(out.Path("u16.jww"));
  ASSERT_EQ(images.size(), 3u);
  EXPECT_EQ(images.at(kUni), "umlaut image");
  EXPECT_EQ(images.at(u"b.png"), "cafe image, longer");
  EXPECT_EQ(images.at(kWave), "wave");
  // Stored under their UTF-16 names (the loader just read them back).
  std::vector<std::u16string> stored;
  for (const auto& img : StagedImages) stored.push_back(WideSpelling(img.Name, img.WideName));
  EXPECT_EQ(stored, (std::vector<std::u16string>{kUni + u".gz", u"b.png.gz", kWave + u".gz"}));
}

TEST_F(WideConversion, PathsShiftJisCannotHoldAreEmbeddedWithPathDerivedNames) {
  WriteThreeImageDrawing();
  form.PathInEmbeddedName = true;
  EXPECT_EQ(Convert("u16.jww"), ResultOkLine(3, 3, 2, 0, 0));
  EXPECT_TRUE(form.Warnings.empty());

  std::u16string folder = dwg.Path();
  for (char16_t& u : folder)
    if (u == u'\\' || u == u':') u = u'_';
  const auto images = testutil::WideImagesOf(out.Path("u16.jww"));
  ASSERT_EQ(images.size(), 3u);
  EXPECT_EQ(images.at(folder + kUni), "umlaut image");
  EXPECT_EQ(images.at(folder + kCafe + u"_b.png"), "cafe image, longer");
  EXPECT_EQ(images.at(folder + u"img_" + kWave), "wave");

  // The staged archive of a name CP932 cannot hold carries no name in its
  // header (flags 0); the Shift-JIS ones keep theirs.
  auto gz = platform::Current().OpenRead(StagingFolder + folder + kUni + u".gz");
  ASSERT_TRUE(gz);
  std::uint8_t header[10];
  ASSERT_EQ(gz->Read(header, 10), 10);
  EXPECT_EQ(header[3], 0);
}

TEST_F(WideConversion, PlainNamesGetBranchNumbersIgnoringLetterCase) {
  // Two different "Ü.png" and a "ü.png": Windows takes all three names for
  // one, so each gets a name of its own.
  for (const char* dir : {"a", "b", "c"}) fs::create_directories(dwg.Native(dir));
  testutil::WriteText(dwg.Native("a/\xC3\x9C.png"), "first");
  testutil::WriteText(dwg.Native("b/\xC3\x9C.png"), "second one");
  testutil::WriteText(dwg.Native("c/\xC3\xBC.png"), "third image");
  testutil::WriteWideDrawing(dwg.Path("u16.jww"),
                             {Wide(u"^@BMa\\\u00DC.png,1"), Wide(u"^@BMb\\\u00DC.png,2"),
                              Wide(u"^@BMc\\\u00FC.png,3"), Wide(u"^@BMA\\\u00DC.png,4")},
                             {});
  form.PathInEmbeddedName = false;
  EXPECT_EQ(Convert("u16.jww"), ResultOkLine(3, 4, 0, 0, 0));
  const auto images = testutil::WideImagesOf(out.Path("u16.jww"));
  EXPECT_EQ(images.at(u"\u00DC.png"), "first");
  EXPECT_EQ(images.at(u"\u00DC~1.png"), "second one");
  EXPECT_EQ(images.at(u"\u00FC~2.png"), "third image");
  EXPECT_EQ(TextsOf(out.Path("u16.jww"), false).back(), u"^@BM%temp%\u00DC.png,4");
}

TEST_F(WideConversion, NamesCp932HoldsAreKeptApartByWindowsLetterCaseToo) {
  // "α.png" and "Α.png", "ａ.png" and "Ａ.png": Jw_cad's own matching of
  // byte names tells them apart, but Windows takes each pair for one file
  // in the folder Jw_cad extracts its images into.
  for (const char* dir : {"a", "b"}) fs::create_directories(dwg.Native(dir));
  testutil::WriteText(dwg.Native("a/\xCE\xB1.png"), "small alpha");
  testutil::WriteText(dwg.Native("b/\xCE\x91.png"), "capital alpha");
  testutil::WriteText(dwg.Native("a/\xEF\xBD\x81.png"), "small full-width a");
  testutil::WriteText(dwg.Native("b/\xEF\xBC\xA1.png"), "capital full-width A");
  testutil::WriteDrawing(dwg.Path("greek.jww"),
                         {"^@BMa\\\x83\xBF.png,1", "^@BMb\\\x83\x9F.png,2", "^@BMa\\\x82\x81.png,3",
                          "^@BMb\\\x82\x60.png,4"},
                         {});
  form.PathInEmbeddedName = false;
  EXPECT_EQ(Convert("greek.jww"), ResultOkLine(4, 4, 0, 0, 0));
  const auto images = testutil::ImagesOf(out.Path("greek.jww"));
  ASSERT_EQ(images.size(), 4u);
  const auto text = [&](const std::string& name) {
    const auto& bytes = images.at(name);
    return std::string(bytes.begin(), bytes.end());
  };
  EXPECT_EQ(text("\x83\xBF.png"), "small alpha");
  EXPECT_EQ(text("\x83\x9F~1.png"), "capital alpha");
  EXPECT_EQ(text("\x82\x81.png"), "small full-width a");
  EXPECT_EQ(text("\x82\x60~1.png"), "capital full-width A");
}

TEST_F(WideConversion, CarriedImageWithSuchANameComesThroughUnchanged) {
  // A drawing current Jw_cad saved with an image named "Ünï.png.gz": it
  // loads, its image is kept byte for byte, and a new image of the same
  // plain name does not overwrite it.
  testutil::WriteText(home.Native("src.png"), "carried picture");
  std::string reason;
  ASSERT_TRUE(GzipCompressFile(home.Path("src.png"), home.Path("src.gz"), reason));
  const auto gz = testutil::ReadBytes(home.Native("src.gz"));
  fs::create_directories(dwg.Native("new"));
  testutil::WriteText(dwg.Native("new/\xC3\x9Cn\xC3\xAF.png"), "new picture");

  jwwfixture::JwwBuilder section(700);
  section.Dword(1);
  section.Utf16String(u"\u00DCn\u00EF.png.gz");
  section.Dword(static_cast<std::int32_t>(gz.size()));
  section.Raw(gz);
  testutil::WriteWideDrawing(
      dwg.Path("u16.jww"),
      {Wide(u"^@BM%temp%\u00DCn\u00EF.png,1"), Wide(u"^@BMnew\\\u00DCn\u00EF.png,2")}, {},
      section.bytes());
  form.PathInEmbeddedName = false;
  EXPECT_EQ(Convert("u16.jww"), ResultOkLine(1, 1, 0, 0, 0));
  EXPECT_EQ(TextsOf(out.Path("u16.jww"), false).back(), u"^@BM%temp%\u00DCn\u00EF~1.png,2");
  const auto images = testutil::WideImagesOf(out.Path("u16.jww"));
  EXPECT_EQ(images.at(u"\u00DCn\u00EF.png"), "carried picture");
  EXPECT_EQ(images.at(u"\u00DCn\u00EF~1.png"), "new picture");
  // The stored archive itself is the one the source carried.
  auto file = platform::Current().OpenRead(StagingFolder + u"\u00DCn\u00EF.png.gz");
  ASSERT_TRUE(file);
  std::vector<std::uint8_t> kept(static_cast<std::size_t>(file->Size()));
  ASSERT_EQ(file->Read(kept.data(), kept.size()), static_cast<long long>(kept.size()));
  EXPECT_EQ(kept, gz);
}

TEST_F(WideConversion, StoredNamesThatReachOutsideTheStagingFolderFailTheLoad) {
  for (const std::u16string bad :
       {u"..\\\u00DC.png.gz", u"\u00DC/x.gz", u"CON.\u00DC", u"\u00DC.png.", u"a\xD800.gz"}) {
    jwwfixture::JwwBuilder section(700);
    section.Dword(1);
    section.Utf16String(bad);
    section.Dword(3);
    section.Raw(std::string("abc"));
    testutil::WriteWideDrawing(dwg.Path("bad.jww"), {}, {}, section.bytes());
    TJwwData d;
    EXPECT_FALSE(d.LoadFromFile(dwg.Path("bad.jww"), &StagedImageFiles()));
  }
  for (auto& e : fs::recursive_directory_iterator(home.Native("TEMP")))
    EXPECT_FALSE(e.is_regular_file()) << testutil::Utf8(e.path());
}

TEST_F(WideConversion, AFailedCopyFailsTheConversionAndLeavesNothing) {
  WriteThreeImageDrawing();
  form.PathInEmbeddedName = false;
  platform::FaultyOs faulty;
  faulty.failCreateAt = 2;  // the copy of the second image
  platform::ScopedOs use(faulty);
  EXPECT_EQ(Convert("u16.jww"), kResultFailed);
  EXPECT_FALSE(fs::exists(out.Native("u16.jww")));
  form.ResetConversion();
  for (auto& e : fs::recursive_directory_iterator(home.Native("TEMP")))
    EXPECT_FALSE(e.is_regular_file()) << testutil::Utf8(e.path());
}

TEST(WideNames, KeysFoldLetterCaseAndKeepBeginnings) {
  EXPECT_EQ(WideNameKey(u"\u00FCn\u00EF.png"), WideNameKey(u"\u00DCN\u00CF.PNG"));
  EXPECT_EQ(WideNameKey(u"\u0101\u017E\u00FF"), WideNameKey(u"\u0100\u017D\u0178"));
  EXPECT_NE(WideNameKey(u"\u00DC.png"), WideNameKey(u"U.png"));
  // A name CP932 can hold has the key of its Shift-JIS form; a wide name
  // never meets a Shift-JIS one.
  EXPECT_EQ(WideNameKey(u"a\u8868.Png"), ImageNameKey("a\x95\x5C.Png", u""));
  EXPECT_EQ(WideNameKey(u"\u0131.png").find(ImageNameKey("I.PNG", u"")), std::string::npos);
  // The first-prefix rule sees through both forms.
  EXPECT_TRUE(WideNameKey(u"a.png\u00DC.gz").starts_with(ImageNameKey("a.png", u"")));
  EXPECT_FALSE(WideNameKey(u"\u00DD.png").starts_with(WideNameKey(u"\u00DC")));
}

TEST(WideNames, PlainNamesAndPathDerivedNames) {
  for (const std::u16string good : {u"\u00DC.png", u"plan\u301C1.png", u"a\U0001F600.jpg"})
    EXPECT_TRUE(IsPlainWideName(good));
  for (const std::u16string bad : {u"", u"..", u".", u"a\\\u00DC", u"\u00DC/a", u"C:\u00DC",
                                   u"\u00DC?", u"\u00DC.", u"\u00DC ", u"a\xD800",
                                   u"a\xDC00"
                                   u"b",
                                   u"\u00DC\x01", u"con.\u00DC", u"LPT1"})
    EXPECT_FALSE(IsPlainWideName(bad)) << Utf16ToSjisLossy(bad);
  EXPECT_EQ(WidePathDerivedName(u"C:\\\u00E9/a.png"), u"C__\u00E9_a.png");
}

TEST(WideNames, MemoryOsKeepsWidePathsApartFromByteOnes) {
  platform::MemoryOs os;
  os.AddFolder("C:\\d");
  auto f = os.Create(u"C:\\d\\\u00DC.png");
  ASSERT_TRUE(f);
  f.reset();
  EXPECT_TRUE(os.FileExists(u"C:\\d\\\u00DC.png"));
  EXPECT_FALSE(os.FileExists(SjisToUtf16("C:\\d\\?.png")));
  EXPECT_FALSE(os.FileExists(u"C:\\d\\\u00DD.png"));
  // A wide path CP932 can hold is the byte path.
  os.AddFile("C:\\d\\\x95\x5C.png", "x");
  EXPECT_TRUE(os.FileExists(u"C:\\d\\\u8868.png"));
  EXPECT_TRUE(os.Delete(u"C:\\d\\\u00DC.png"));
  EXPECT_FALSE(os.FileExists(u"C:\\d\\\u00DC.png"));
}

TEST(WideNames, PosixPathsGoThroughUtf8WithTheCaseInsensitiveLookup) {
#ifdef _WIN32
  GTEST_SKIP() << "the wide API needs no lookup of its own";
#else
  TempDir dir;
  fs::create_directories(dir.Native("Img"));
  testutil::WriteText(dir.Native("Img/" + kUniUtf8), "u");
  platform::Os& os = platform::Native();
  const std::u16string folder = dir.Path();
  EXPECT_TRUE(os.FileExists(folder + u"IMG\\" + kUni));
  EXPECT_TRUE(os.FileExists(folder + u"img\\" + u"\u00DCN\u00EF_\u8868.PNG"));
  auto f = os.OpenRead(folder + u"img\\" + kUni);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->Size(), 1);
  EXPECT_EQ(platform::InternalToNative(folder + u"img\\" + kUni),
            testutil::Utf8(dir.path()) + "/Img/" + kUniUtf8);
  EXPECT_FALSE(os.FileExists(folder + std::u16string(u"img\\a\0b", 7)));

  // A file made under such a name is noted for an interrupt's clean-up
  // until it is deleted.
  const std::string made = testutil::Utf8(dir.path()) + "/Img/" + kWaveUtf8;
  auto noted = [&] {
    const auto files = platform::posix::WhatWouldBeCleanedUp().files;
    return std::find(files.begin(), files.end(), made) != files.end();
  };
  ASSERT_TRUE(os.Create(folder + u"img\\" + kWave));
  EXPECT_TRUE(noted());
  EXPECT_TRUE(os.Delete(folder + u"IMG\\" + kWave));
  EXPECT_FALSE(noted());
#endif
}
