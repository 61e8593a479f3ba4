// The in-memory Os the fuzzers run on: it must refuse what Windows refuses,
// or a fuzzer would miss the faults that only a refusal exposes.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/Unit1.h"
#include "app/UnitGval.h"
#include "embed/staging.h"
#include "platform/unicode.h"
#include "testing/jwwfixture.h"
#include "testing/memory_os.h"

using platform::MemoryOs;

namespace {

std::string ReadAll(platform::Os& os, const std::string& path) {
  auto f = os.OpenRead(SjisToUtf16(path));
  if (!f) return "<none>";
  std::string s;
  char buf[7];
  long long n;
  while ((n = f->Read(buf, sizeof buf)) > 0) s.append(buf, static_cast<std::size_t>(n));
  return s;
}

void Put(platform::Os& os, const std::string& path, const std::string& text) {
  auto f = os.Create(SjisToUtf16(path));
  ASSERT_TRUE(f) << path;
  ASSERT_EQ(f->Write(text.data(), text.size()), static_cast<long long>(text.size()));
  ASSERT_TRUE(f->Close());
}

}  // namespace

TEST(MemoryOs, FilesNeedTheirFolderAndCreateNewRefusesAnExistingName) {
  MemoryOs os;
  EXPECT_FALSE(os.Create(SjisToUtf16("C:\\dwg\\a.jww"))) << "no folder C:\\dwg yet";
  EXPECT_TRUE(os.CreateFolder(SjisToUtf16("C:\\dwg")));
  EXPECT_FALSE(os.CreateFolder(SjisToUtf16("C:\\dwg"))) << "exists already";
  EXPECT_FALSE(os.CreateFolder(SjisToUtf16("C:\\x\\y"))) << "parent missing";
  Put(os, "C:\\dwg\\a.jww", "first");
  EXPECT_FALSE(os.CreateNew(SjisToUtf16("C:\\dwg\\A.JWW")));
  EXPECT_EQ(ReadAll(os, "C:\\dwg\\a.jww"), "first");
  Put(os, "C:\\dwg\\a.jww", "2nd");
  EXPECT_EQ(ReadAll(os, "c:\\DWG\\a.jww"), "2nd") << "Create truncates";
  EXPECT_FALSE(os.Create(SjisToUtf16("C:\\dwg"))) << "a folder is not a file";
  EXPECT_FALSE(os.OpenWrite(SjisToUtf16("C:\\dwg\\missing"))) << "OpenWrite needs the file";
  auto w = os.OpenWrite(SjisToUtf16("C:\\dwg\\a.jww"));
  ASSERT_TRUE(w);
  EXPECT_EQ(w->Write("X", 1), 1);
  EXPECT_EQ(ReadAll(os, "C:\\dwg\\a.jww"), "Xnd") << "OpenWrite keeps the rest";
}

TEST(MemoryOs, NamesIgnoreAsciiCaseButNotTrailBytesAndResolveDots) {
  MemoryOs os;
  os.AddFolder("C:\\Dwg\\Img");
  Put(os, "c:\\dWG\\img\\Plan.BMP", "p");
  EXPECT_TRUE(os.FileExists(SjisToUtf16("C:\\DWG\\IMG\\plan.bmp")));
  EXPECT_TRUE(os.FileExists(SjisToUtf16("C:/dwg/x/../img/./plan.bmp")));
  EXPECT_TRUE(os.FolderExists(SjisToUtf16("C:\\dwg\\img\\")));
  EXPECT_FALSE(os.FileExists(SjisToUtf16("C:\\dwg\\img")));
  EXPECT_FALSE(os.FolderExists(SjisToUtf16("C:\\dwg\\img\\plan.bmp")));
  // "表" is 95 5C: its second byte is no separator and is never folded;
  // "a" after a lead byte 0x82 is the trail byte of another character.
  os.AddFolder("C:\\\x95\x5C");
  Put(os, "C:\\\x95\x5C\\f", "t");
  EXPECT_TRUE(os.FileExists(SjisToUtf16("C:\\\x95\x5C\\F")));
  EXPECT_FALSE(os.FileExists(SjisToUtf16("C:\\\x95\\F")));
  EXPECT_NE(MemoryOs::Key("C:\\\x82\x61"), MemoryOs::Key("C:\\\x82\x41"));
  // Whole characters fold as Windows folds them: full-width ａ (0x82 0x81)
  // is Ａ (0x82 0x60), α (0x83 0xBF) is Α, and so are units CP932 lacks.
  EXPECT_EQ(MemoryOs::Key("C:\\\x82\x81\x83\xBF"), MemoryOs::Key("C:\\\x82\x60\x83\x9F"));
  os.AddFile(
      "C:\\caf\x01"
      "00e9.png",
      "e");
  EXPECT_TRUE(os.FileExists(u"C:\\CAF\u00C9.PNG"));
  EXPECT_TRUE(os.FileExists(u"c:\\caf\u00E9.png"));
  EXPECT_FALSE(os.FileExists(u"C:\\CAFE.PNG"));
  // 0x80 and 0xFD lead a character on the real systems' paths too: the
  // 0x5C after them is no separator here either.
  Put(os, "C:\\x\x80\\y", "t");
  Put(os, "C:\\x\xFD\\y", "t");
  EXPECT_TRUE(os.FileExists(SjisToUtf16("C:\\x\x80\\y")));
  EXPECT_FALSE(os.FolderExists(SjisToUtf16("C:\\x\x80")));
  EXPECT_FALSE(os.FolderExists(SjisToUtf16("C:\\x\xFD")));
  EXPECT_EQ(MemoryOs::Key("C:\\..\\..\\a"), "C:\\A") << ".. never climbs above the drive";
  EXPECT_TRUE(MemoryOs::IsInside("c:\\work\\temp\\x", "C:\\WORK"));
  EXPECT_FALSE(MemoryOs::IsInside("C:\\workshop\\x", "C:\\WORK"));
  EXPECT_FALSE(MemoryOs::IsInside("C:\\work\\..\\x", "C:\\WORK"));
}

TEST(MemoryOs, RenameNeverReplacesButReplaceDoes) {
  MemoryOs os;
  os.AddFolder("C:\\d");
  Put(os, "C:\\d\\a", "A");
  Put(os, "C:\\d\\b", "B");
  EXPECT_FALSE(os.Rename(SjisToUtf16("C:\\d\\a"), SjisToUtf16("C:\\D\\B")));
  EXPECT_EQ(ReadAll(os, "C:\\d\\a"), "A");
  EXPECT_EQ(ReadAll(os, "C:\\d\\b"), "B");
  EXPECT_FALSE(os.Rename(SjisToUtf16("C:\\d\\a"), SjisToUtf16("C:\\nowhere\\a")))
      << "target folder missing";
  EXPECT_FALSE(os.Rename(SjisToUtf16("C:\\d\\none"), SjisToUtf16("C:\\d\\c")));
  EXPECT_TRUE(os.Rename(SjisToUtf16("C:\\d\\a"), SjisToUtf16("C:\\d\\c")));
  EXPECT_FALSE(os.FileExists(SjisToUtf16("C:\\d\\a")));
  EXPECT_EQ(ReadAll(os, "C:\\d\\c"), "A");
  EXPECT_TRUE(os.Replace(SjisToUtf16("C:\\d\\c"), SjisToUtf16("C:\\d\\b")));
  EXPECT_EQ(ReadAll(os, "C:\\d\\b"), "A");
  EXPECT_FALSE(os.FileExists(SjisToUtf16("C:\\d\\c")));
  EXPECT_TRUE(os.Delete(SjisToUtf16("C:\\d\\b")));
  EXPECT_FALSE(os.Delete(SjisToUtf16("C:\\d\\b")));
}

TEST(MemoryOs, RemoveFolderOnlyWhenEmptyAndStampsAreKept) {
  MemoryOs os;
  os.AddFolder("C:\\w\\s");
  EXPECT_FALSE(os.RemoveFolder(SjisToUtf16("C:\\w"))) << "holds a folder";
  Put(os, "C:\\w\\s\\f", "x");
  EXPECT_FALSE(os.RemoveFolder(SjisToUtf16("C:\\w\\s"))) << "holds a file";
  EXPECT_FALSE(os.RemoveFolder(SjisToUtf16("C:\\w\\s\\f"))) << "a file is no folder";
  const platform::LocalTime t{2001, 2, 3, 4, 5, 6};
  EXPECT_TRUE(os.SetLastWriteTime(SjisToUtf16("C:\\w\\s\\F"), t));
  platform::DirEntry e;
  ASSERT_TRUE(os.FindFirst(SjisToUtf16("C:\\W\\S\\f"), e));
  EXPECT_FALSE(e.isFolder);
  EXPECT_EQ(e.size, 1u);
  EXPECT_EQ(e.lastWrite, t);
  EXPECT_TRUE(os.Delete(SjisToUtf16("C:\\w\\s\\f")));
  EXPECT_TRUE(os.RemoveFolder(SjisToUtf16("C:\\w\\s")));
  EXPECT_TRUE(os.RemoveFolder(SjisToUtf16("C:\\w")));
  EXPECT_FALSE(os.FolderExists(SjisToUtf16("C:\\w")));
}

TEST(MemoryOs, WrittenPathsRecordEveryChangeAndDesktopServicesAreInert) {
  MemoryOs os;
  os.AddFolder("C:\\d");  // set-up is not recorded
  Put(os, "C:\\d\\a", "A");
  EXPECT_TRUE(os.Rename(SjisToUtf16("C:\\d\\a"), SjisToUtf16("C:\\d\\b")));
  EXPECT_TRUE(os.CreateFolder(SjisToUtf16("C:\\d\\e")));
  EXPECT_EQ(os.WrittenPaths(), (std::vector<std::string>{"C:\\D\\A", "C:\\D\\B", "C:\\D\\E"}));
  EXPECT_EQ(os.DesktopFolder(), MemoryOs::kDesktop);
  EXPECT_FALSE(os.EscapeKeyDown());
  std::vector<platform::Path> files;
  std::int32_t index = 1;
  EXPECT_FALSE(os.OpenFilesDialog({}, files, index));
  platform::Path chosen;
  EXPECT_FALSE(os.SaveFileDialog({}, chosen));
  os.ShowMessage("msg");
  EXPECT_EQ(os.Messages(), std::vector<std::string>{"msg"});
  EXPECT_EQ(os.ClassesRootDefault("x"), u"");
  EXPECT_FALSE(os.ShellOpen(u"a", u"b", u"c"));
}

TEST(MemoryOs, AConversionRunsEntirelyInMemory) {
  MemoryOs os;
  platform::ScopedOs use(os);
  platform::ScopedDesktop useDesktop(os);
  os.AddFolder("C:\\prog");
  os.AddFolder("C:\\out");
  os.AddFile("C:\\dwg\\img\\a.bmp", "image A");

  TEntityLists top;
  TEntJwwText t;
  t.Attr.PenStyle = 1;
  t.Attr.PenColor = 3;
  t.TextKind = 2;
  t.FontName = JwwStr("font");
  t.Text = JwwStr("^@BMimg\\a.bmp,1,2");
  jwwfixture::Add(top, t);
  jwwfixture::JwwBuilder b(700);
  b.Drawing(top, {});
  os.AddFile("C:\\dwg\\plan.jww", b.bytes());

  const std::u16string savedProgram = ProgramFolder;
  const std::u16string savedWork = WorkFolder;
  ProgramFolder = u"C:\\prog\\";
  WorkFolder = u"C:\\prog\\TEMP\\";
  std::string reason;
  ASSERT_TRUE(CreateWorkFolder(reason)) << reason;
  TForm1 form;
  EXPECT_EQ(form.ConvertFile(u"C:\\dwg\\plan.jww", u"C:\\out\\plan.jww"),
            ResultOkLine(1, 1, 0, 0, 0));
  form.ResetConversion();
  {
    // Reading it back stages its images again, so the work folder must
    // still be there.
    TJwwData d;
    ASSERT_TRUE(d.LoadFromFile(u"C:\\out\\plan.jww", &StagedImageFiles())) << d.LastError;
    ASSERT_EQ(d.Texts.size(), 1u);
    EXPECT_EQ(d.Texts[0].Text.text().rfind("^@BM%temp%", 0), 0u) << d.Texts[0].Text.text();
    ASSERT_EQ(StagedImages.size(), 1u);
    std::vector<std::uint8_t> gz;
    EXPECT_TRUE(
        os.GetFile(MemoryOs::WideSpelling(StagingFolder + StagedFileName(StagedImages[0])), gz));
  }
  RemoveWorkFolder();
  ProgramFolder = savedProgram;
  WorkFolder = savedWork;
  for (const auto& p : os.WrittenPaths())
    EXPECT_TRUE(MemoryOs::IsInside(p, "C:\\prog\\TEMP") || MemoryOs::IsInside(p, "C:\\out")) << p;
  EXPECT_FALSE(os.FolderExists(SjisToUtf16("C:\\prog\\TEMP"))) << "the work folder is cleaned up";
}
