// Inputs the fuzzers found faults with, kept so the faults stay mended.
#include <gtest/gtest.h>

#include "app/Unit1.h"
#include "app/UnitGval.h"
#include "embed/staging.h"
#include "testing/jwwfixture.h"
#include "testing/memory_os.h"
#include "testing/testutil.h"
#include "text/filenames.h"

using platform::MemoryOs;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Converts a drawing in memory and returns the paths the conversion
// changed.
std::vector<std::string> ConvertDrawingInMemory(MemoryOs& os, const Bytes& drawing, bool wholePath,
                                                std::string& result) {
  platform::ScopedOs use(os);
  platform::ScopedDesktop useDesktop(os);
  os.AddFile("C:\\dwg\\plan.jww", drawing);
  os.AddFolder("C:\\prog");
  os.AddFolder("C:\\out");
  const std::size_t setUp = os.WrittenPaths().size();
  const std::u16string savedProgram = ProgramFolder;
  const std::u16string savedWork = WorkFolder;
  ProgramFolder = u"C:\\prog\\";
  WorkFolder = u"C:\\prog\\TEMP\\";
  std::string reason;
  EXPECT_TRUE(CreateWorkFolder(reason)) << reason;
  {
    TForm1 form;
    form.PathInEmbeddedName = wholePath;
    result = form.ConvertFile(u"C:\\dwg\\plan.jww", u"C:\\out\\plan.jww");
    form.ResetConversion();
  }
  RemoveWorkFolder();
  ProgramFolder = savedProgram;
  WorkFolder = savedWork;
  return {os.WrittenPaths().begin() + static_cast<std::ptrdiff_t>(setUp), os.WrittenPaths().end()};
}

// The same for a drawing of the given texts.
std::vector<std::string> ConvertInMemory(MemoryOs& os, const std::vector<std::string>& texts,
                                         bool wholePath, std::string& result) {
  TEntityLists top;
  for (const auto& s : texts) jwwfixture::Add(top, testutil::MakeText(s));
  jwwfixture::JwwBuilder b(700);
  b.Drawing(top, {});
  return ConvertDrawingInMemory(os, b.bytes(), wholePath, result);
}

using Images = std::vector<std::pair<std::string, std::string>>;  // name, bytes

void AddImageSection(jwwfixture::JwwBuilder& b, const Images& images) {
  b.Dword(static_cast<std::int32_t>(images.size()));
  for (const auto& [name, data] : images) {
    b.String(name);
    b.Dword(static_cast<std::int32_t>(data.size()));
    b.Raw(data);
  }
}

// A 7.00 drawing of references to embedded images, ending in `images`.
Bytes DrawingWithImages(const std::vector<std::string>& refs, const Images& images) {
  TEntityLists top;
  for (const auto& ref : refs) jwwfixture::Add(top, testutil::MakeText("^@BM%temp%" + ref + ",1"));
  jwwfixture::JwwBuilder b(700);
  b.Header();
  b.EntityList(top);
  b.BlockDefList({});
  AddImageSection(b, images);
  return b.bytes();
}

// The embedded names the references of the converted C:\out\plan.jww use,
// in order.
std::vector<std::string> EmbeddedNames(MemoryOs& os) {
  platform::ScopedOs use(os);
  platform::ScopedDesktop useDesktop(os);
  TJwwData d;
  EXPECT_TRUE(d.LoadFromFile(u"C:\\out\\plan.jww")) << d.LastError;
  ClearStagedImages();
  std::vector<std::string> names;
  for (const TEntJwwText& t : d.Texts) {
    const std::string s(t.Text.text());
    const std::string prefix = kEmbeddedRefPrefix;
    if (s.rfind(prefix, 0) == 0)
      names.push_back(s.substr(prefix.size(), s.find(',') - prefix.size()));
  }
  return names;
}

Bytes Converted(const Bytes& drawing) {
  MemoryOs os;
  std::string result;
  ConvertDrawingInMemory(os, drawing, false, result);
  EXPECT_EQ(result, ResultOkLine(0, 0, 0, 0, 0));
  Bytes out;
  EXPECT_TRUE(os.GetFile("C:\\out\\plan.jww", out));
  return out;
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
  for (bool wholePath : {false, true}) {
    MemoryOs os;
    os.AddFile("C:\\dwg\\x\\a.bmp", "x a");
    os.AddFile("C:\\a.bmp", "root a");
    os.AddFile("C:\\dwg\\img\\a\\b.bmp", "img a b");
    os.AddFile("C:\\\x95\x5C\\c.bmp", "hyou c");  // 表 ends in 0x5C, which is no separator
    std::string result;
    ConvertInMemory(os,
                    {"^@BMg/../x/a.bmp,1", "^@BMg/../../a.bmp,2", "^@BMimg\\a/b.bmp,3",
                     "^@BMC:\\\x95\x5C\\c.bmp,4"},
                    wholePath, result);
    ASSERT_EQ(result, ResultOkLine(4, 4, 0, 0, 0)) << wholePath;
    const std::vector<std::string> names = EmbeddedNames(os);
    for (const std::string& name : names) EXPECT_TRUE(IsPlainFileName(name)) << name;
    if (wholePath) {
      EXPECT_EQ(names, (std::vector<std::string>{"C__dwg_g_.._x_a.bmp", "C__dwg_g_.._.._a.bmp",
                                                 "C__dwg_img_a_b.bmp", "C__\x95\x5C_c.bmp"}));
    } else {
      EXPECT_EQ(names, (std::vector<std::string>{"a.bmp", "a~1.bmp", "b.bmp", "c.bmp"}));
    }
  }
}

// Found by fuzz_load (seeds v700_clash_loop, v700_twice): with names that
// begin each other both ways behind one that waits on them, a.jpg2.gz was
// stored first, so Jw_cad showed its picture for "a.jpg"; and a name stored
// twice showed the later image after conversion. Each conversion must store
// every reference's own image where Jw_cad finds it first, and converting
// the output again must change nothing.
TEST(LoadRegressions, ClashingAndTwiceStoredNamesKeepEachReferenceOnItsImage) {
  struct Case {
    std::vector<std::string> refs;
    Images images, stored;
  };
  const Case cases[] = {
      {{"a.jpg", "a.jpg2"},
       {{"a.jpg2.gz", "22"}, {"a.jpg.gz", "00"}, {"a.jpg.gz", "11"}},
       {{"a.jpg.gz", "00"}, {"a.jpg2.gz", "22"}}},
      {{"a.jpg", "a.jpg2"},
       {{"a.jpg2.gz", "22"}, {"a.jpg.gz", "00"}, {"A.JPG.GZ", "11"}},
       {{"a.jpg.gz", "00"}, {"a.jpg2.gz", "22"}}},
      {{"a.jpg"}, {{"a.jpg.gz", "00"}, {"a.jpg.gz", "11"}}, {{"a.jpg.gz", "00"}}},
  };
  for (const Case& c : cases) {
    const Bytes first = Converted(DrawingWithImages(c.refs, c.images));
    jwwfixture::JwwBuilder tail(700);
    AddImageSection(tail, c.stored);
    ASSERT_GE(first.size(), tail.size());
    EXPECT_EQ(Bytes(first.end() - static_cast<std::ptrdiff_t>(tail.size()), first.end()),
              tail.bytes())
        << c.images.front().first << " " << c.images.back().first;
    EXPECT_EQ(Converted(first), first);
  }
}
