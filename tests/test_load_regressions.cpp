// Inputs the fuzzers found faults with, kept so the faults stay mended.
#include <gtest/gtest.h>

#include "app/Unit1.h"
#include "app/UnitGval.h"
#include "embed/staging.h"
#include "platform/memory_os.h"
#include "tests/jwwfixture.h"
#include "tests/testutil.h"
#include "text/filenames.h"

using platform::MemoryOs;

namespace {

// Converts a drawing of the given texts in memory and returns the paths the
// conversion changed.
std::vector<std::string> ConvertInMemory(MemoryOs& os, const std::vector<std::string>& texts,
                                         bool wholePath, std::string& result) {
  platform::ScopedOs use(os);
  TEntityLists top;
  for (const auto& s : texts) jwwfixture::Add(top, testutil::MakeText(s));
  jwwfixture::JwwBuilder b(700);
  b.Drawing(top, {});
  os.AddFile("C:\\dwg\\plan.jww", b.bytes());
  os.AddFolder("C:\\prog");
  os.AddFolder("C:\\out");
  const std::size_t setUp = os.WrittenPaths().size();
  const std::string savedProgram = ProgramFolder, savedWork = WorkFolder;
  ProgramFolder = "C:\\prog\\";
  WorkFolder = "C:\\prog\\TEMP\\";
  std::string reason;
  EXPECT_TRUE(CreateWorkFolder(reason)) << reason;
  {
    TForm1 form;
    form.PathInEmbeddedName = wholePath;
    result = form.ConvertFile("C:\\dwg\\plan.jww", "C:\\out\\plan.jww");
    form.ResetConversion();
  }
  RemoveWorkFolder();
  ProgramFolder = savedProgram;
  WorkFolder = savedWork;
  return {os.WrittenPaths().begin() + static_cast<std::ptrdiff_t>(setUp), os.WrittenPaths().end()};
}

}  // namespace

// A reference written with "/" and ".." (Windows takes "/" as a separator)
// once gave a staged name "g/../../img/../../a.bmp", and the copy of the
// image landed in the program's folder, outside the work folder.
TEST(ScanRegressions, ForwardSlashesInAReferenceStayInsideTheWorkFolder) {
  for (bool wholePath : {false, true}) {
    MemoryOs os;
    os.AddFile("C:\\a.bmp", "root image");
    os.AddFile("C:\\dwg\\img\\b.bmp", "b");
    std::string result;
    const auto written = ConvertInMemory(
        os, {"^@BMg/../../img/../../a.bmp,1,2", "^@BMimg/b.bmp,1,2"}, wholePath, result);
    EXPECT_EQ(result, ResultOkLine(2, 2, 0, 0, 0)) << wholePath;
    for (const auto& p : written)
      EXPECT_TRUE(MemoryOs::IsInside(p, "C:\\prog\\TEMP") || MemoryOs::IsInside(p, "C:\\out"))
          << p << " wholePath " << wholePath;
  }
}

TEST(ScanRegressions, EmbeddedNamesTakeForwardSlashAsASeparator) {
  MemoryOs os;
  platform::ScopedOs use(os);
  os.AddFolder("C:\\w");
  EXPECT_EQ(MakeEmbeddedName(false, "C:\\dwg\\g/../x/a.bmp", "C:\\w\\").value_or("-"), "a.bmp");
  EXPECT_EQ(MakeEmbeddedName(true, "C:\\dwg\\g/../a.bmp", "C:\\w\\").value_or("-"),
            "C__dwg_g_.._a.bmp");
  // The trail byte of 表 is no separator, nor is 0x2F after a lead byte.
  EXPECT_EQ(MakeEmbeddedName(false, "C:\\\x95\x5C\\\x82\x2F.bmp", "C:\\w\\").value_or("-"),
            "\x82\x2F.bmp");
  for (const char* p : {"C:\\dwg\\g/../../a.bmp", "C:\\dwg\\img\\a/b.bmp"}) {
    EXPECT_TRUE(IsPlainFileName(MakeEmbeddedName(false, p, "C:\\w\\").value_or(""))) << p;
    EXPECT_TRUE(IsPlainFileName(MakeEmbeddedName(true, p, "C:\\w\\").value_or(""))) << p;
  }
}
