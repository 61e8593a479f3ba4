// Writes the seed drawings of fuzz_load and the seed references of
// fuzz_scan from the test fixtures, so the seeds follow the format's tables
// rather than the program's own writer. From the repository's root:
//   cmake --build build --target marrowfold-make-seeds
//   build/marrowfold-make-seeds fuzz/corpus
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "testing/jwwfixture.h"
#include "testing/testutil.h"

namespace {

void Save(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

using Images = std::vector<std::pair<std::string, std::string>>;  // name, bytes

// A drawing of every entity kind, two block definitions (one nested), and
// texts, some of them image references: `refs` names embedded images.
std::vector<std::uint8_t> Drawing(std::int32_t version, const Images& images = {},
                                  const std::vector<std::string>& refs = {}) {
  using namespace jwwfixture;
  TEntityLists top = SampleEntities(version, 1, {1});
  Add(top, testutil::MakeText("plain \x95\x5C text"));
  if (refs.empty()) Add(top, testutil::MakeText("^@BMimg\\a.bmp,1,2"));
  for (const std::string& ref : refs)
    Add(top, testutil::MakeText("^@BM%temp%" + ref + ",10,20,0,0,1,0"));
  TEntityLists inner = SampleEntities(version, 2, {2});
  Add(inner, testutil::MakeText("_@BMgone.bmp,1,2"));
  TEntityLists leaf;
  Add(leaf, testutil::MakeText("leaf"));
  std::vector<TEntJwwBlockDef> defs{SampleBlockDef(version, 1, "outer", inner),
                                    SampleBlockDef(version, 2, "leaf", leaf)};
  JwwBuilder b(version);
  b.Header("seed");
  b.EntityList(top);
  b.BlockDefList(defs);
  if (version >= 700) {
    b.Dword(static_cast<std::int32_t>(images.size()));
    for (const auto& [name, data] : images) {
      b.String(name);
      b.Dword(static_cast<std::int32_t>(data.size()));
      b.Raw(data);
    }
  }
  return b.bytes();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string root = argc > 1 ? argv[1] : "fuzz/corpus";
  for (std::int32_t v : {220, 300, 351, 420, 600, 700}) {
    Save(root + "/load/v" + std::to_string(v) + ".jww", Drawing(v));
  }
  const std::string gz(
      "\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03\x4b\x04\x00\x43\xbe\xb7\xe8"
      "\x01\x00\x00\x00",
      21);
  Save(root + "/load/v700_image.jww", Drawing(700, {{"a.bmp.gz", gz}}, {"a.bmp"}));
  // Names that begin each other both ways, behind a name that waits on them;
  // and one name stored twice with different bytes.
  Save(root + "/load/v700_clash_loop.jww",
       Drawing(700, {{"a.jpg2.gz", "22"}, {"a.jpg.gz", "00"}, {"a.jpg.gz", "11"}},
               {"a.jpg", "a.jpg2"}));
  Save(root + "/load/v700_clash_plain.jww",
       Drawing(700, {{"a.jpg2.gz", "22"}, {"a.jpg", "00"}, {"a.jpg.gz", "11"}},
               {"a.jpg", "a.jpg2", "a.jpg.gz"}));
  Save(root + "/load/v700_twice.jww",
       Drawing(700, {{"a.jpg.gz", "00"}, {"a.jpg.gz", "11"}}, {"a.jpg"}));
  // fuzz_scan reads its input as reference paths, one a line.
  const char* scans[] = {
      "img\\a.bmp\n..\\..\\etc\\passwd\nC:\\dwg\\img\\b.bmp\n",
      "CON\nNUL.bmp\nimg\\\x95\x5C.bmp\n\\\\server\\share\\x.bmp\n",
      "..\\out\\a.bmp\nimg/../../a.bmp\nD:a.bmp\n",
  };
  int n = 0;
  for (const char* s : scans) {
    std::string text(s);
    Save(root + "/scan/s" + std::to_string(++n),
         std::vector<std::uint8_t>(text.begin(), text.end()));
  }
  std::printf("seeds written under %s\n", root.c_str());
  return 0;
}
