// Loading and saving a whole drawing: what is refused, what a failure leaves
// behind, and that one drawing object serves load after load.
#include <gtest/gtest.h>

#include "embed/staging.h"
#include "jww/jwwunit.h"
#include "testing/faulty_os.h"
#include "testing/jwwfixture.h"
#include "testing/testutil.h"

using testutil::TempDir;

namespace {

int LoadFailureCode(TJwwData& d, const platform::Path& path) {
  try {
    d.LoadFromFile(path, &StagedImageFiles());
  } catch (const JwwIoError& e) {
    EXPECT_STREQ(e.what(), IoErrorText(e.code()).c_str());
    return e.code();
  }
  return 0;
}

std::vector<std::uint8_t> SmallDrawing(std::int32_t version) {
  TEntityLists top;
  TEntJwwLine line;
  line.Attr.PenStyle = 1;
  line.Attr.PenColor = 2;
  line.EndX = 10;
  jwwfixture::Add(top, line);
  jwwfixture::JwwBuilder b(version);
  b.Drawing(top, {});
  return b.bytes();
}

}  // namespace

TEST(Drawing, UnopenableAndTooOldFilesRaise103AndTheObjectStaysUsable) {
  TempDir dir;
  TJwwData d;
  EXPECT_EQ(LoadFailureCode(d, dir.Path("absent.jww")), 103);
  EXPECT_EQ(IoErrorText(103), "I/O \x83G\x83\x89\x81[ (103)");  // I/O エラー (103)

  auto old = SmallDrawing(700);
  old[8] = 219 & 0xFF;
  old[9] = 0;
  testutil::WriteBytes(dir.Native("old.jww"), old);
  EXPECT_EQ(LoadFailureCode(d, dir.Path("old.jww")), 103);
  EXPECT_EQ(d.Header.Version, 219);
  EXPECT_TRUE(d.EntityTable.empty());

  testutil::WriteBytes(dir.Native("good.jww"), SmallDrawing(700));
  EXPECT_TRUE(d.LoadFromFile(dir.Path("good.jww"), &StagedImageFiles()));
  EXPECT_EQ(d.Lines.size(), 1u);
}

TEST(Drawing, ShortFilesAndAnyIdentifier) {
  TempDir dir;
  TJwwData d;
  // Shorter than the version field: a failed load, not the version refusal.
  testutil::WriteBytes(dir.Native("short.jww"), {'J', 'w', 'w', 'D', 'a', 't', 'a', '.', 0xBC});
  EXPECT_FALSE(d.LoadFromFile(dir.Path("short.jww"), &StagedImageFiles()));
  EXPECT_EQ(d.Header.Version, 0);
  EXPECT_FALSE(d.LastError.empty());

  // The identifier is not checked; the copy written carries "JwwData.".
  auto bytes = SmallDrawing(700);
  std::copy_n("JWWDATA.", 8, bytes.begin());
  testutil::WriteBytes(dir.Native("upper.jww"), bytes);
  ASSERT_TRUE(d.LoadFromFile(dir.Path("upper.jww"), &StagedImageFiles()));
  ASSERT_TRUE(d.SaveToFile(dir.Path("saved.jww"), 700, &StagedImageFiles()));
  auto saved = testutil::ReadBytes(dir.Native("saved.jww"));
  EXPECT_EQ(std::string(saved.begin(), saved.begin() + 8), "JwwData.");
}

TEST(Drawing, FailedSavesLeaveNoFile) {
  TempDir dir;
  TJwwData d;
  testutil::WriteBytes(dir.Native("good.jww"), SmallDrawing(600));
  ASSERT_TRUE(d.LoadFromFile(dir.Path("good.jww"), &StagedImageFiles()));

  EXPECT_FALSE(d.SaveToFile(dir.Path() + u"no such folder\\x.jww", 700, &StagedImageFiles()));
  EXPECT_FALSE(d.LastError.empty());

  platform::FaultyOs counting;
  {
    platform::ScopedOs use(counting);
    ASSERT_TRUE(d.SaveToFile(dir.Path("x.jww"), 700, &StagedImageFiles()));
  }
  std::filesystem::remove(dir.Native("x.jww"));
  for (int n = 1; n <= counting.writeCalls; ++n) {
    platform::FaultyOs faulty;
    faulty.shortWriteAt = n;
    faulty.failFromThenOn = true;
    platform::ScopedOs use(faulty);
    EXPECT_FALSE(d.SaveToFile(dir.Path("x.jww"), 700, &StagedImageFiles())) << n;
    EXPECT_FALSE(std::filesystem::exists(dir.Native("x.jww"))) << n;
  }
  platform::FaultyOs failingClose;
  failingClose.failCloseAt = 1;
  {
    platform::ScopedOs use(failingClose);
    EXPECT_FALSE(d.SaveToFile(dir.Path("x.jww"), 700, &StagedImageFiles()));
  }
  EXPECT_FALSE(std::filesystem::exists(dir.Native("x.jww")));
}

TEST(Drawing, ClearedStateAndFreeDrawing) {
  TJwwData d;
  d.FreeDrawing();
  const TEntJwwHeader& h = d.Header;
  EXPECT_EQ(h.Version, 0);
  EXPECT_EQ(h.PrintScale, 1.0);
  EXPECT_EQ(h.GridMinSpacing, 1.0);
  EXPECT_EQ(h.ScreenScale, 1.0);
  EXPECT_EQ(h.RangeScale, 1.0);
  for (int j = 1; j <= 8; ++j) {
    EXPECT_EQ(h.JumpScale[j], 1.0);
    EXPECT_EQ(h.JumpLayerGroup[j], -1);
  }
  EXPECT_TRUE(d.Layers.empty());
  EXPECT_TRUE(d.BlockDefs.empty());
  EXPECT_EQ(d.UsedBlockDefCount, 0);
}
