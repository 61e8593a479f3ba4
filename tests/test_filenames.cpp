#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "testing/faulty_os.h"
#include "testing/testutil.h"
#include "text/filenames.h"

namespace fs = std::filesystem;
using testutil::ReadText;
using testutil::TempDir;
using testutil::WriteText;

namespace {

const std::u16string kHyo = u"\u8868";  // 表: its second Shift-JIS byte is "\"

void SetTime(const platform::Path& path, const platform::LocalTime& t) {
  ASSERT_TRUE(platform::Current().SetLastWriteTime(path, t));
}

}  // namespace

TEST(FileNames, PartsSplitAtEverySeparator) {
  EXPECT_EQ(ExtractFileName(u"C:\\dwg\\plan.jww"), u"plan.jww");
  EXPECT_EQ(ExtractFileName(u"C:plan.jww"), u"plan.jww");
  EXPECT_EQ(ExtractFileName(u"C:\\dwg/g/a.bmp"), u"a.bmp");
  EXPECT_EQ(ExtractFileName(u"C:\\" + kHyo), kHyo);
  EXPECT_EQ(ExtractFileName(kHyo + u"\\" + kHyo + u".bmp"), kHyo + u".bmp");
  EXPECT_EQ(ExtractFileName(u"C:\\x\\\u00DC.png"), u"\u00DC.png");
  EXPECT_EQ(ExtractFileDir(u"C:\\" + kHyo + u"\\a.bmp"), u"C:\\" + kHyo + u"\\");
  EXPECT_EQ(ExtractFileDir(u"C:\\" + kHyo), u"C:\\");
  EXPECT_EQ(ExtractFileDir(u"C:/dwg/plan.jww"), u"C:/dwg/");
  EXPECT_EQ(ExtractFileDir(u"plan.jww"), u"");

  EXPECT_EQ(ExtractFileExt(u"C:\\dwg\\a.b.bmp"), u".bmp");
  // A dot in a folder is no extension, whichever separator follows it.
  EXPECT_EQ(ExtractFileExt(u"C:\\dwg.d\\plan"), u"");
  EXPECT_EQ(ExtractFileExt(u"C:\\dwg.d/plan"), u"");
  EXPECT_EQ(ExtractFileExt(u"a.b\\\u00DC"), u"");
  EXPECT_EQ(ExtractFileExt(u"plan."), u".");
  EXPECT_EQ(ChangeFileExt(u"C:\\dwg.d\\plan", u".jww"), u"C:\\dwg.d\\plan.jww");
  EXPECT_EQ(ChangeFileExt(u"C:\\" + kHyo + u".bmp", u".gz"), u"C:\\" + kHyo + u".gz");

  EXPECT_EQ(IncludeTrailingBackslash(u"C:\\" + kHyo), u"C:\\" + kHyo + u"\\");
  EXPECT_EQ(IncludeTrailingBackslash(u"C:\\dwg\\"), u"C:\\dwg\\");
  EXPECT_EQ(IncludeTrailingBackslash(u""), u"\\");
}

TEST(FileNames, BranchNumbersGoBeforeTheExtension) {
  EXPECT_EQ(WithBranch(u"a.bmp", 1), u"a~1.bmp");
  EXPECT_EQ(WithBranch(u"plan", 1), u"plan~1");
  EXPECT_EQ(WithBranch(u"a.b.bmp", 1), u"a.b~1.bmp");
  EXPECT_EQ(WithBranch(u"\u00DC.png", 1), u"\u00DC~1.png");
  EXPECT_EQ(WithBranch(u"\u00DC", 12), u"\u00DC~12");
  EXPECT_EQ(WithBranch(u"C:\\dwg.d\\plan", 99999), u"C:\\dwg.d\\plan~99999");
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
  SetTime(dir.Path("a.bmp"), t);
  TFileStamp s = GetFileStamp(dir.Path("A.BMP"));
  EXPECT_EQ(s.time, PackDosDateTime(t));
  EXPECT_EQ(s.size, 5);
  EXPECT_EQ(GetFileStamp(dir.Path("missing")), TFileStamp{});
  EXPECT_NE(GetFileStamp(dir.Path()).time, 0);  // a folder has a stamp too
}

TEST(FileNames, UniqueFileName) {
  TempDir dir;
  const platform::Path plan = dir.Path("plan.jww");
  EXPECT_EQ(MakeUniqueFileName(plan), plan);
  WriteText(dir.Native("plan.jww"), "x");
  EXPECT_EQ(MakeUniqueFileName(plan), dir.Path("plan~1.jww"));
  WriteText(dir.Native("plan~1.jww"), "x");
  EXPECT_EQ(MakeUniqueFileName(plan), dir.Path("plan~2.jww"));
  // Letter case does not make a name free.
  EXPECT_EQ(MakeUniqueFileName(dir.Path("PLAN.JWW")), dir.Path("PLAN~2.JWW"));
  // Any entry takes its name: a folder, and a dangling link, which a create
  // would follow to wherever it points.
  fs::create_directory(dir.Native("out.jww"));
  EXPECT_EQ(MakeUniqueFileName(dir.Path("out.jww")), dir.Path("out~1.jww"));
#ifndef _WIN32
  fs::create_symlink(dir.Native("nowhere/x.jww"), dir.Native("link.jww"));
  EXPECT_EQ(MakeUniqueFileName(dir.Path("link.jww")), dir.Path("link~1.jww"));
#endif
}

TEST(FileNames, NoNameWhenEveryBranchNumberIsTaken) {
  TempDir work;
  platform::FaultyOs faulty;
  faulty.everythingExists = true;
  platform::ScopedOs use(faulty);
  EXPECT_EQ(MakeUniqueFileName(work.Path("plan.jww")), std::nullopt);
}

TEST(FileCopy, ReadOnlySourceKeepsItsDateAndGivesAWritableCopy) {
  TempDir dir;
  std::string body(5000, 'x');
  for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 7);
  WriteText(dir.Native("src.bmp"), body);
  SetTime(dir.Path("src.bmp"), {2019, 11, 3, 4, 5, 7});
  fs::permissions(dir.Native("src.bmp"), fs::perms::owner_read | fs::perms::others_read);
  WriteText(dir.Native("dst.bmp"), std::string(9000, 'o'));  // truncated by the copy

  std::string error;
  ASSERT_TRUE(CopyFileKeepDate(dir.Path("src.bmp"), dir.Path("dst.bmp"), &error)) << error;
  EXPECT_EQ(ReadText(dir.Native("dst.bmp")), body);
  EXPECT_NE(fs::status(dir.Native("dst.bmp")).permissions() & fs::perms::owner_write,
            fs::perms::none);
  platform::DirEntry e;
  ASSERT_TRUE(platform::Current().FindFirst(dir.Path("dst.bmp"), e));
  EXPECT_EQ(e.lastWrite, (platform::LocalTime{2019, 11, 3, 4, 5, 6}));
  EXPECT_EQ(GetFileStamp(dir.Path("dst.bmp")), GetFileStamp(dir.Path("src.bmp")));

  // A copy onto itself (here spelt in other letters) must not empty it.
  EXPECT_FALSE(CopyFileKeepDate(dir.Path("dst.bmp"), dir.Path("DST.BMP"), &error));
  EXPECT_EQ(ReadText(dir.Native("dst.bmp")), body);

  // An empty file copies too.
  WriteText(dir.Native("empty"), "");
  EXPECT_TRUE(CopyFileKeepDate(dir.Path("empty"), dir.Path("empty2")));
  EXPECT_TRUE(fs::exists(dir.Native("empty2")));
}

TEST(FileCopy, FailuresAreReportedAndLeaveNoDestination) {
  TempDir dir;
  const platform::Path src = dir.Path("src.bmp"), dst = dir.Path("dst.bmp");
  std::string error;

  EXPECT_NO_THROW(EXPECT_FALSE(CopyFileKeepDate(dir.Path("gone.bmp"), dst, &error)));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(fs::exists(dir.Native("dst.bmp")));
  EXPECT_FALSE(CopyFileKeepDate(dir.Path(), dst, &error));  // a folder is no source
  EXPECT_FALSE(fs::exists(dir.Native("dst.bmp")));

  WriteText(dir.Native("src.bmp"), std::string(300000, 'b'));  // three pieces of 128 KiB
  // A count of the calls a clean copy makes, to walk every failure point.
  platform::FaultyOs counting;
  {
    platform::ScopedOs use(counting);
    ASSERT_TRUE(CopyFileKeepDate(src, dst));
    ASSERT_TRUE(platform::Current().Delete(dst));
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
    EXPECT_FALSE(CopyFileKeepDate(src, dst));
  }
  EXPECT_EQ(ReadText(dir.Native("dst.bmp")), "theirs");
}
