// Writes drawings under 1 MB built to be expensive: huge claimed counts,
// tens of thousands of images or definitions, deep nesting. Each must still
// convert (or fail cleanly) in little time and memory; bench/hostile runs
// them. Written by the test fixtures, so the files follow the format's
// tables rather than the program's own writer.
//   marrowfold-make-hostile FOLDER
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "testing/jwwfixture.h"
#include "testing/testutil.h"

namespace {

using jwwfixture::JwwBuilder;

std::string folder;

void Save(const std::string& name, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(folder + "/" + name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  std::printf("%-24s %8zu bytes\n", name.c_str(), bytes.size());
}

TEntJwwBlockRef Insert(std::int32_t number) {
  TEntJwwBlockRef r;
  r.Attr.PenStyle = 1;
  r.Attr.PenColor = 1;
  r.ScaleX = r.ScaleY = 1;
  r.BlockNumber = number;
  return r;
}

// A 7.00 drawing of one line whose image section holds `count` images of
// the given name pattern and one-byte gzip members.
std::vector<std::uint8_t> WithImages(std::size_t count, bool named) {
  TEntityLists top = jwwfixture::SampleEntities(700, 1, {});
  JwwBuilder b(700);
  b.Header("hostile");
  b.EntityList(top);
  b.BlockDefList({});
  // gzip of "a"
  const std::string gz(
      "\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03\x4b\x04\x00\x43\xbe\xb7\xe8\x01\x00\x00\x00", 21);
  b.Dword(static_cast<std::int32_t>(count));
  for (std::size_t i = 0; i < count; ++i) {
    b.String(named ? std::string("i").append(std::to_string(i)).append(".bmp.gz") : "");
    if (named) {
      b.Dword(static_cast<std::int32_t>(gz.size()));
      b.Raw(gz);
    } else {
      b.Dword(0);
    }
  }
  return b.bytes();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: marrowfold-make-hostile FOLDER\n");
    return 2;
  }
  folder = argv[1];
  std::filesystem::create_directories(folder + "/img");

  Save("empty_images_60k.jww", WithImages(60000, false));
  Save("named_images_5k.jww", WithImages(5000, true));

  {
    // 5,000 references, each to an image of its own that exists.
    TEntityLists top;
    for (int i = 0; i < 5000; ++i) {
      const std::string name = "r" + std::to_string(i) + ".bmp";
      std::ofstream(folder + "/img/" + name, std::ios::binary) << static_cast<char>(i);
      jwwfixture::Add(top, testutil::MakeText("^@BMimg\\" + name + ",1,2"));
    }
    JwwBuilder b(700);
    b.Drawing(top, {});
    Save("references_5k.jww", b.bytes());
  }
  {
    // 5,000 references to images that are not there.
    TEntityLists top;
    for (int i = 0; i < 5000; ++i)
      jwwfixture::Add(top, testutil::MakeText("^@BMnowhere\\m" + std::to_string(i) + ".bmp,1,2"));
    JwwBuilder b(700);
    b.Drawing(top, {});
    Save("missing_5k.jww", b.bytes());
  }
  {
    // 2,000 definitions, each inserted five times at the top level.
    TEntityLists top;
    std::vector<TEntJwwBlockDef> defs;
    for (int i = 0; i < 2000; ++i) {
      TEntityLists inner;
      jwwfixture::Add(inner, testutil::MakeText("d"));
      defs.push_back(jwwfixture::SampleBlockDef(700, i + 1, "b" + std::to_string(i), inner));
      for (int k = 0; k < 5; ++k) jwwfixture::Add(top, Insert(i + 1));
    }
    JwwBuilder b(700);
    b.Drawing(top, defs);
    Save("definitions_2k.jww", b.bytes());
  }
  {
    // A chain of 4,500 definitions, each inserting the next: nesting far
    // deeper than any drawing has.
    TEntityLists top;
    jwwfixture::Add(top, Insert(1));
    std::vector<TEntJwwBlockDef> defs;
    for (int i = 4500; i >= 1; --i) {
      TEntityLists inner;
      if (i < 4500) jwwfixture::Add(inner, Insert(i + 1));
      jwwfixture::Add(inner, testutil::MakeText("^@BMimg\\r1.bmp,1,2"));
      defs.push_back(jwwfixture::SampleBlockDef(700, i, "n" + std::to_string(i), inner));
    }
    JwwBuilder b(700);
    b.Drawing(top, defs);
    Save("nesting_4500.jww", b.bytes());
  }
  {
    // Counts that claim far more than the file holds.
    JwwBuilder b(700);
    b.Header("hostile");
    b.Count(0x7FFFFFFF);
    Save("claimed_entities.jww", b.bytes());
    JwwBuilder c(700);
    c.Header("hostile");
    c.EntityList({});
    c.BlockDefList({});
    c.Dword(0x7FFFFFFF);
    c.String("a.bmp.gz");
    c.Dword(0x7FFFFFFF);
    Save("claimed_images.jww", c.bytes());
  }
  {
    // One text of 900 KB.
    TEntityLists top;
    jwwfixture::Add(top, testutil::MakeText(std::string(900000, 'x')));
    JwwBuilder b(700);
    b.Drawing(top, {});
    Save("long_text.jww", b.bytes());
  }
  return 0;
}
