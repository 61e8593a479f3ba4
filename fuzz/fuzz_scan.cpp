// Hostile image references in a drawing: whatever a reference's path says
// ("..", other drives, device names, a trail byte 0x5C, names past any
// limit), a conversion may create or change files only in the work folder
// and the destination folder. The input's first byte picks the options, the
// rest is reference paths, one a line; every other one goes into a block.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/Unit1.h"
#include "app/UnitGval.h"
#include "embed/staging.h"
#include "jww/jwwtype.h"
#include "jww/jwwunit.h"
#include "platform/unicode.h"
#include "testing/memory_os.h"

namespace {

TEntJwwText Text(const std::string& s) {
  TEntJwwText t;
  t.Attr.PenStyle = 1;
  t.Attr.PenColor = 3;
  t.TextKind = 2;
  t.FontName = JwwStr("font");
  t.Text = JwwStr(s);
  return t;
}

void Add(TEntityLists& l, const std::string& s) {
  l.Texts.push_back(Text(s));
  l.EntityTable.push_back({kText, static_cast<std::int32_t>(l.Texts.size() - 1)});
}

bool WriteDrawing(const std::vector<std::string>& refs) {
  TJwwData d;
  d.Header.Version = 700;
  TEntJwwBlockDef def;
  def.Number = 1;
  def.Name = JwwStr("blk");
  for (std::size_t i = 0; i < refs.size(); ++i)
    Add(i % 2 ? def.Entities : static_cast<TEntityLists&>(d), "^@BM" + refs[i] + ",1,2,0,0,1,0");
  d.BlockDefs.push_back(def);
  TEntJwwBlockRef ref;
  ref.BlockNumber = 1;
  ref.ScaleX = ref.ScaleY = 1;
  d.EntityTable.push_back({kBlockRef, 0});
  d.BlockRefs.push_back(ref);
  d.ResolveBlockUse();
  ClearStagedImages();
  return d.SaveToFile(SjisToUtf16("C:\\dwg\\plan.jww"), 700, &StagedImageFiles());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 4096) return 0;
  const std::uint8_t options = data[0];
  std::vector<std::string> refs;
  std::string current;
  for (std::size_t i = 1; i < size && refs.size() < 64; ++i) {
    // "," ends the path of a reference; a line break ends one here.
    if (data[i] == '\n') {
      refs.push_back(current);
      current.clear();
    } else if (data[i] != ',') {
      current += static_cast<char>(data[i]);
    }
  }
  if (!current.empty()) refs.push_back(current);

  platform::MemoryOs os;
  platform::ScopedOs use(os);
  platform::ScopedDesktop useDesktop(os);
  os.AddFolder("C:\\prog");
  os.AddFolder("C:\\out");
  os.AddFile("C:\\dwg\\img\\a.bmp", "image a");
  os.AddFile("C:\\dwg\\a.bmp", "beside");
  os.AddFile("C:\\dwg\\img\\\x95\x5C.bmp", "hyou");
  os.AddFile("C:\\a.bmp", "root");
  os.AddFile("C:\\out\\a.bmp", "in the destination");
  os.AddFile("D:\\x\\b.bmp", "other drive");
  os.AddFile("C:\\prog\\TEMP\\a.bmp", "in the work folder");
  if (!WriteDrawing(refs)) std::abort();
  const std::size_t setUp = os.WrittenPaths().size();

  ProgramFolder = u"C:\\prog\\";
  WorkFolder = u"C:\\prog\\TEMP\\";
  std::string reason;
  if (!CreateWorkFolder(reason)) std::abort();
  {
    TForm1 form;
    form.PathInEmbeddedName = options & 1;
    form.DisableMissingRefs = options & 2;
    form.LookBeside = options & 4;
    form.ConvertFile(u"C:\\dwg\\plan.jww", u"C:\\out\\plan.jww");
    form.ResetConversion();
  }
  RemoveWorkFolder();

  const auto& written = os.WrittenPaths();
  for (std::size_t i = setUp; i < written.size(); ++i) {
    if (!platform::MemoryOs::IsInside(written[i], "C:\\prog\\TEMP") &&
        !platform::MemoryOs::IsInside(written[i], "C:\\out")) {
      std::fprintf(stderr, "written outside the allowed folders: %s\n", written[i].c_str());
      std::abort();
    }
  }
  std::vector<std::uint8_t> bytes;
  // The images themselves are never touched.
  if (!os.GetFile("C:\\dwg\\img\\a.bmp", bytes) || bytes.size() != 7) std::abort();
  if (!os.GetFile("C:\\out\\a.bmp", bytes) || bytes.size() != 18) std::abort();
  ClearStagedImages();
  StagingFolder.clear();
  return 0;
}
