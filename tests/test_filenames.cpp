#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/faulty_os.h"
#include "platform/platform.h"
#include "tests/testutil.h"
#include "text/filenames.h"
#include "text/unicode.h"

namespace fs = std::filesystem;
using testutil::ReadText;
using testutil::TempDir;
using testutil::WriteText;

namespace {

const std::string kHyo = "\x95\x5C";            // 表: second byte is "\"
const std::string kGazou = "\x89\xE6\x91\x9C";  // 画像

void SetTime(const std::string& internal, const platform::LocalTime& t) {
  ASSERT_TRUE(platform::Current().SetLastWriteTime(SjisToUtf16(internal), t));
}

}  // namespace

TEST(FileNames, PartsFollowTheLeadByteRule) {
  EXPECT_EQ(ExtractFileName("C:\\dwg\\plan.jww"), "plan.jww");
  EXPECT_EQ(ExtractFileName("C:plan.jww"), "plan.jww");
  EXPECT_EQ(ExtractFileName("C:\\" + kHyo), kHyo);
  EXPECT_EQ(ExtractFileName(kHyo + "\\" + kHyo + ".bmp"), kHyo + ".bmp");
  EXPECT_EQ(ExtractFileDir("C:\\" + kHyo + "\\a.bmp"), "C:\\" + kHyo + "\\");
  EXPECT_EQ(ExtractFileDir("C:\\" + kHyo), "C:\\");
  EXPECT_EQ(ExtractFileDir("plan.jww"), "");

  EXPECT_EQ(ExtractFileExt("C:\\dwg\\a.b.bmp"), ".bmp");
  EXPECT_EQ(ExtractFileExt("C:\\dwg.d\\plan"), "");  // a dot in a folder is no extension
  EXPECT_EQ(ExtractFileExt("plan."), ".");
  EXPECT_EQ(ExtractFileExt("a\x81."), "");  // "." as a second byte is no dot
  EXPECT_EQ(ChangeFileExt("C:\\dwg.d\\plan", ".jww"), "C:\\dwg.d\\plan.jww");
  EXPECT_EQ(ChangeFileExt("C:\\" + kHyo + ".bmp", ".gz"), "C:\\" + kHyo + ".gz");

  EXPECT_EQ(IncludeTrailingBackslash("C:\\" + kHyo), "C:\\" + kHyo + "\\");
  EXPECT_EQ(IncludeTrailingBackslash("C:\\dwg\\"), "C:\\dwg\\");
  EXPECT_EQ(IncludeTrailingBackslash(""), "\\");
}

TEST(FileNames, DosDateTimePacking) {
  platform::LocalTime t{2024, 3, 15, 13, 45, 31};
  EXPECT_EQ(PackDosDateTime(t), static_cast<std::int32_t>(0x586F6DAF));
  EXPECT_EQ(UnpackDosDateTime(0x586F6DAF), (platform::LocalTime{2024, 3, 15, 13, 45, 30}));
  // Years past 2043 set the sign bit; the round trip must survive it.
  platform::LocalTime late{2100, 12, 31, 23, 59, 58};
  EXPECT_LT(PackDosDateTime(late), 0);
  EXPECT_EQ(UnpackDosDateTime(PackDosDateTime(late)), late);
  // Out of range clamps rather than wrapping into another date.
  EXPECT_EQ(UnpackDosDateTime(PackDosDateTime({1970, 1, 1, 9, 0, 0})),
            (platform::LocalTime{1980, 1, 1, 0, 0, 0}));
}

TEST(FileNames, FileStamp) {
  TempDir dir;
  WriteText(dir.Native("a.bmp"), "12345");
  platform::LocalTime t{2020, 2, 29, 8, 7, 6};
  SetTime(dir.Internal("a.bmp"), t);
  TFileStamp s = GetFileStamp(dir.Internal("A.BMP"));
  EXPECT_EQ(s.time, PackDosDateTime(t));
  EXPECT_EQ(s.size, 5);
  EXPECT_EQ(GetFileStamp(dir.Internal("missing")), TFileStamp{});
  EXPECT_NE(GetFileStamp(dir.Internal()).time, 0);  // a folder has a stamp too
}

TEST(FileNames, EmbeddedNameFromTheWholePath) {
  EXPECT_EQ(MakeEmbeddedName(true, "C:\\" + kGazou + "\\a.bmp", "W:\\"), "C__" + kGazou + "_a.bmp");
  EXPECT_EQ(MakeEmbeddedName(true, "C:\\" + kHyo + "\\" + kHyo + ".bmp", "W:\\"),
            "C__" + kHyo + "_" + kHyo + ".bmp");
  EXPECT_EQ(MakeEmbeddedName(true, "", "W:\\"), "");
}

TEST(FileNames, EmbeddedNameWithBranchNumbers) {
  TempDir src, work;
  fs::create_directories(src.Native("one"));
  fs::create_directories(src.Native("two"));
  fs::create_directories(src.Native("\xE8\xA1\xA8"));
  WriteText(src.Native("one/a.bmp"), "first image");
  WriteText(src.Native("two/a.bmp"), "second, other image");
  WriteText(src.Native("\xE8\xA1\xA8/a.bmp"), "third image, of its own size");
  std::string w = work.Internal();

  // The same image staged twice gets one name.
  std::string one = src.Internal("one/a.bmp");
  auto n1 = MakeEmbeddedName(false, one, w);
  ASSERT_EQ(n1, "a.bmp");
  ASSERT_TRUE(CopyFileKeepDate(one, w + *n1));
  EXPECT_EQ(MakeEmbeddedName(false, one, w), "a.bmp");

  // A different a.bmp takes the next branch number, and keeps it.
  std::string two = src.Internal("two/a.bmp");
  auto n2 = MakeEmbeddedName(false, two, w);
  ASSERT_EQ(n2, "a~1.bmp");
  ASSERT_TRUE(CopyFileKeepDate(two, w + *n2));
  EXPECT_EQ(MakeEmbeddedName(false, two, w), "a~1.bmp");
  // 表 in the folder: the name is found past the real "\" only.
  EXPECT_EQ(MakeEmbeddedName(false, src.Internal() + kHyo + "\\a.bmp", w), "a~2.bmp");

  // Without and with several dots.
  WriteText(work.Native("plan"), "x");
  WriteText(work.Native("a.b.bmp"), "x");
  WriteText(src.Native("plan"), "plan source");
  WriteText(src.Native("a.b.bmp"), "dotted source");
  EXPECT_EQ(MakeEmbeddedName(false, src.Internal("plan"), w), "plan~1");
  EXPECT_EQ(MakeEmbeddedName(false, src.Internal("a.b.bmp"), w), "a.b~1.bmp");

  // Images staged without a file of their name: their stamps, as the
  // lookup tells them, decide before any file in the folder.
  TempDir empty;
  const TFileStamp oneStamp = GetFileStamp(one);
  const StagedStampLookup staged = [&](const std::string& name) -> std::optional<TFileStamp> {
    if (name == "a.bmp") return oneStamp;
    return std::nullopt;
  };
  EXPECT_EQ(MakeEmbeddedName(false, one, empty.Internal(), staged), "a.bmp");
  EXPECT_EQ(MakeEmbeddedName(false, two, empty.Internal(), staged), "a~1.bmp");
  EXPECT_EQ(MakeEmbeddedName(false, two, empty.Internal()), "a.bmp");
}

TEST(FileNames, UniqueFileName) {
  TempDir dir;
  std::string plan = dir.Internal("plan.jww");
  EXPECT_EQ(MakeUniqueFileName(plan), plan);
  WriteText(dir.Native("plan.jww"), "x");
  EXPECT_EQ(MakeUniqueFileName(plan), dir.Internal("plan~1.jww"));
  WriteText(dir.Native("plan~1.jww"), "x");
  EXPECT_EQ(MakeUniqueFileName(plan), dir.Internal("plan~2.jww"));
  // Letter case does not make a name free.
  EXPECT_EQ(MakeUniqueFileName(dir.Internal("PLAN.JWW")), dir.Internal("PLAN~2.JWW"));
  // Any entry takes its name: a folder, and a dangling link, which a create
  // would follow to wherever it points.
  fs::create_directory(dir.Native("out.jww"));
  EXPECT_EQ(MakeUniqueFileName(dir.Internal("out.jww")), dir.Internal("out~1.jww"));
#ifndef _WIN32
  fs::create_symlink(dir.Native("nowhere/x.jww"), dir.Native("link.jww"));
  EXPECT_EQ(MakeUniqueFileName(dir.Internal("link.jww")), dir.Internal("link~1.jww"));
#endif
}

TEST(FileNames, NoNameWhenEveryBranchNumberIsTaken) {
  TempDir src, work;
  WriteText(src.Native("a.bmp"), "image");
  platform::FaultyOs faulty;
  faulty.everythingExists = true;
  platform::ScopedOs use(faulty);
  EXPECT_EQ(MakeUniqueFileName(work.Internal("plan.jww")), std::nullopt);
  EXPECT_EQ(MakeEmbeddedName(false, src.Internal("a.bmp"), work.Internal()), std::nullopt);
  // The path-derived name never looks at the folder.
  EXPECT_EQ(MakeEmbeddedName(true, "C:\\a.bmp", work.Internal()), "C__a.bmp");
}

TEST(FileCopy, ReadOnlySourceKeepsItsDateAndGivesAWritableCopy) {
  TempDir dir;
  std::string body(5000, 'x');
  for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 7);
  WriteText(dir.Native("src.bmp"), body);
  SetTime(dir.Internal("src.bmp"), {2019, 11, 3, 4, 5, 7});
  fs::permissions(dir.Native("src.bmp"), fs::perms::owner_read | fs::perms::others_read);
  WriteText(dir.Native("dst.bmp"), std::string(9000, 'o'));  // truncated by the copy

  std::string error;
  ASSERT_TRUE(CopyFileKeepDate(dir.Internal("src.bmp"), dir.Internal("dst.bmp"), &error)) << error;
  EXPECT_EQ(ReadText(dir.Native("dst.bmp")), body);
  EXPECT_NE(fs::status(dir.Native("dst.bmp")).permissions() & fs::perms::owner_write,
            fs::perms::none);
  platform::DirEntry e;
  ASSERT_TRUE(platform::Current().FindFirst(SjisToUtf16(dir.Internal("dst.bmp")), e));
  EXPECT_EQ(e.lastWrite, (platform::LocalTime{2019, 11, 3, 4, 5, 6}));
  EXPECT_EQ(GetFileStamp(dir.Internal("dst.bmp")), GetFileStamp(dir.Internal("src.bmp")));

  // A copy onto itself (here spelt in other letters) must not empty it.
  EXPECT_FALSE(CopyFileBytes(dir.Internal("dst.bmp"), dir.Internal("DST.BMP"), &error));
  EXPECT_EQ(ReadText(dir.Native("dst.bmp")), body);

  // An empty file copies too.
  WriteText(dir.Native("empty"), "");
  EXPECT_TRUE(CopyFileBytes(dir.Internal("empty"), dir.Internal("empty2")));
  EXPECT_TRUE(fs::exists(dir.Native("empty2")));
}

TEST(FileCopy, FailuresAreReportedAndLeaveNoDestination) {
  TempDir dir;
  std::string src = dir.Internal("src.bmp"), dst = dir.Internal("dst.bmp");
  std::string error;

  EXPECT_NO_THROW(EXPECT_FALSE(CopyFileKeepDate(dir.Internal("gone.bmp"), dst, &error)));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(fs::exists(dir.Native("dst.bmp")));
  EXPECT_FALSE(CopyFileBytes(dir.Internal(), dst, &error));  // a folder is no source
  EXPECT_FALSE(fs::exists(dir.Native("dst.bmp")));

  WriteText(dir.Native("src.bmp"), std::string(300000, 'b'));  // three pieces of 128 KiB
  // A count of the calls a clean copy makes, to walk every failure point.
  platform::FaultyOs counting;
  {
    platform::ScopedOs use(counting);
    ASSERT_TRUE(CopyFileBytes(src, dst));
    ASSERT_TRUE(platform::Current().Delete(SjisToUtf16(dst)));
  }
  ASSERT_EQ(counting.writeCalls, 3);
  ASSERT_EQ(counting.readCalls, 4);

  auto expectFailure = [&](const char* what, auto setUp) {
    platform::FaultyOs faulty;
    setUp(faulty);
    platform::ScopedOs use(faulty);
    error.clear();
    EXPECT_FALSE(CopyFileKeepDate(src, dst, &error)) << what;
    EXPECT_FALSE(error.empty()) << what;
    EXPECT_FALSE(fs::exists(dir.Native("dst.bmp"))) << what;
  };
  expectFailure("open", [](platform::FaultyOs& f) { f.failOpenReadAt = 1; });
  expectFailure("create", [](platform::FaultyOs& f) { f.failCreateAt = 1; });
  for (int n = 1; n <= counting.readCalls; ++n) {
    expectFailure("read", [n](platform::FaultyOs& f) { f.failReadAt = n; });
  }
  for (int n = 1; n <= counting.writeCalls; ++n) {
    expectFailure("write", [n](platform::FaultyOs& f) { f.failWriteAt = n; });
    expectFailure("short write", [n](platform::FaultyOs& f) { f.shortWriteAt = n; });
  }
  expectFailure("close", [](platform::FaultyOs& f) { f.failCloseAt = 1; });

  // A destination that could not be created is someone else's file: kept.
  WriteText(dir.Native("dst.bmp"), "theirs");
  {
    platform::FaultyOs faulty;
    faulty.failCreateAt = 1;
    platform::ScopedOs use(faulty);
    EXPECT_FALSE(CopyFileBytes(src, dst));
  }
  EXPECT_EQ(ReadText(dir.Native("dst.bmp")), "theirs");
}
