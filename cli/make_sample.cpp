// marrowfold-sample DIR: writes a small Jw_cad drawing with image references
// into DIR (sample.jww, and the image files beside it) for the demonstration:
// a reference relative to the drawing's folder, one whose image is missing,
// one inside a block definition, and one to an image the drawing already
// carries.
#include <cstdio>
#include <string>
#include <vector>

#include "embed/staging.h"
#include "jww/jwwunit.h"
#include "platform/platform.h"
#include "platform/unicode.h"
#include "text/filenames.h"

namespace {

// A small 24-bit BMP with a gradient, so each sample image has its own bytes.
std::vector<std::uint8_t> MakeBmp(int width, int height, int tint) {
  int row = (width * 3 + 3) & ~3;
  int size = 54 + row * height;
  ByteSink s;
  s.Byte('B');
  s.Byte('M');
  s.Dword(size);
  s.Dword(0);
  s.Dword(54);
  s.Dword(40);
  s.Dword(width);
  s.Dword(height);
  s.Word(1);
  s.Word(24);
  s.Dword(0);
  s.Dword(row * height);
  s.Dword(2835);
  s.Dword(2835);
  s.Dword(0);
  s.Dword(0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      s.Byte(static_cast<std::uint8_t>(x * 255 / width));
      s.Byte(static_cast<std::uint8_t>(y * 255 / height));
      s.Byte(static_cast<std::uint8_t>(tint));
    }
    s.Zeros(row - width * 3);
  }
  return s.bytes;
}

bool WriteFile(const platform::Path& path, const std::vector<std::uint8_t>& bytes) {
  auto f = platform::Current().Create(path);
  return f && f->Write(bytes.data(), bytes.size()) == static_cast<long long>(bytes.size()) &&
         f->Close();
}

TEntJwwAttr Attr(std::uint16_t color) {
  TEntJwwAttr a;
  a.PenStyle = 1;
  a.PenColor = color;
  return a;
}

TEntJwwText Text(double x, double y, const std::string& s) {
  TEntJwwText t;
  t.Attr = Attr(2);
  t.StartX = x;
  t.StartY = y;
  t.EndX = x + 100;
  t.EndY = y;
  t.TextKind = 1;
  t.SizeX = t.SizeY = 5;
  t.FontName = JwwStr("\x82\x6c\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4e");  // ＭＳ ゴシック
  t.Text = JwwStr(s);
  return t;
}

void Add(TEntityLists& lists, const TEntJwwLine& line) {
  lists.EntityTable.push_back({kLine, static_cast<std::int32_t>(lists.Lines.size())});
  lists.Lines.push_back(line);
}

void Add(TEntityLists& lists, const TEntJwwText& text) {
  lists.EntityTable.push_back({kText, static_cast<std::int32_t>(lists.Texts.size())});
  lists.Texts.push_back(text);
}

TEntJwwLine Line(double x1, double y1, double x2, double y2) {
  TEntJwwLine l;
  l.Attr = Attr(1);
  l.StartX = x1, l.StartY = y1, l.EndX = x2, l.EndY = y2;
  return l;
}

}  // namespace

int main(int argc, char** argv) {
  // --utf16: the texts as current Jw_cad stores them.
  const bool utf16 = argc == 3 && std::string(argv[1]) == "--utf16";
  if (argc != 2 && !utf16) {
    std::fprintf(stderr, "usage: marrowfold-sample [--utf16] DIR\n");
    return 2;
  }
  platform::Os& os = platform::Current();
  const std::string native = platform::AbsoluteNative(argv[argc - 1]);
  platform::Path dir;
  std::string error;
  if (!platform::NativeToInternal(native, dir, error)) {
    std::fprintf(stderr, "marrowfold-sample: %s\n", error.c_str());
    return 2;
  }
  dir = IncludeTrailingBackslash(dir);
  os.CreateFolder(dir);
  os.CreateFolder(dir + u"images\\");
  if (!WriteFile(dir + u"images\\photo.bmp", MakeBmp(64, 48, 40)) ||
      !WriteFile(dir + u"images\\logo.bmp", MakeBmp(16, 16, 200))) {
    std::fprintf(stderr, "marrowfold-sample: cannot write the sample images\n");
    return 1;
  }

  TJwwData d;
  d.Header.Version = 700;
  d.Header.Memo = JwwStr("Marrowfold sample");
  d.LayerGroups.resize(16);
  for (auto& g : d.LayerGroups) g.Scale = 100;

  Add(d, Line(0, 0, 400, 0));
  Add(d, Line(400, 0, 400, 280));
  Add(d, Text(10, 260, "Marrowfold sample"));
  Add(d, Text(10, 150, "^@BMimages\\photo.bmp,120,90,0,0,1,0"));
  Add(d, Text(150, 150, "^@BMimages\\missing.jpg,80,60,0,0,1,0"));
  Add(d, Text(250, 150, "^@BM%temp%stamp.bmp,40,40,0,0,1,0"));

  TEntJwwBlockDef logo;
  logo.Number = 1;
  logo.Name = JwwStr("logo");
  Add(logo.Entities, Line(0, 0, 20, 20));
  Add(logo.Entities, Text(0, 0, "^@BMimages\\logo.bmp,20,20,0,0,1,0"));
  logo.EntityCount = static_cast<std::int32_t>(logo.Entities.EntityTable.size());
  d.BlockDefs.push_back(logo);
  TEntJwwBlockRef insert;
  insert.Attr = Attr(1);
  insert.RefX = 300, insert.RefY = 40, insert.ScaleX = insert.ScaleY = 1, insert.BlockNumber = 1;
  d.EntityTable.push_back({kBlockRef, 0});
  d.BlockRefs.push_back(insert);
  d.ResolveBlockUse();
  if (utf16) {
    for (TEntityLists* lists : {static_cast<TEntityLists*>(&d), &d.BlockDefs[0].Entities})
      for (TEntJwwText& t : lists->Texts) {
        t.Text.SetForm(JwwStr::Form::Utf16);
        t.FontName.SetForm(JwwStr::Form::Utf16);
      }
  }

  // The image the drawing carries already, staged the way a loaded drawing's
  // images are.
  StagingFolder = dir + u"stage\\";
  os.CreateFolder(StagingFolder);
  bool ok = WriteFile(dir + u"stage\\stamp.bmp", MakeBmp(8, 8, 120)) &&
            GzipCompressFile(StagingFolder + u"stamp.bmp", StagingFolder + u"stamp.bmp.gz", error);
  StagedImages = {{"stamp.bmp.gz", 0, false}};
  ok = ok && d.SaveToFile(dir + u"sample.jww", 700, &StagedImageFiles());
  os.Delete(StagingFolder + u"stamp.bmp");
  os.Delete(StagingFolder + u"stamp.bmp.gz");
  os.RemoveFolder(StagingFolder);
  if (!ok) {
    std::fprintf(stderr, "marrowfold-sample: cannot write the sample drawing\n");
    return 1;
  }
  std::printf("%s\n", platform::InternalToNative(dir + u"sample.jww").c_str());
  return 0;
}
