// Writes the inputs bench/run measures: large drawings of every entity kind
// in either string form, drawings that reference many or large images, and
// folders of small drawings. Written by the test fixtures, so the files
// follow the format's tables rather than the program's own writer.
//   marrowfold-make-bench entities OUT.jww COUNT bytes|utf16
//   marrowfold-make-bench inserts OUT.jww COUNT DEFINITIONS
//   marrowfold-make-bench images FOLDER COUNT BYTES [photo|bitmap|mixed|half]
//   marrowfold-make-bench drawings FOLDER COUNT [image]
//   marrowfold-make-bench files FOLDER COUNT
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "testing/jwwfixture.h"
#include "testing/testutil.h"

namespace {

using jwwfixture::JwwBuilder;

// "d17" from "d" and 17. (GCC 12 warns, wrongly, of an overlap in
// "d" + std::to_string(17).)
std::string Numbered(const char* prefix, long long n) {
  std::string s = prefix;
  return s += std::to_string(n);
}

void Save(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
}

// A text in both string forms; the bench writes one or the other.
struct Words {
  std::string sjis;
  std::u16string utf16;
};

Words Join(const Words& a, const std::string& ascii) {
  Words w = a;
  w.sjis += ascii;
  for (char c : ascii) w.utf16 += static_cast<char16_t>(c);
  return w;
}

// Japanese as drawings hold it: 表 ends in the byte of "\", which every
// Shift-JIS walk must step over.
const Words kFont{"\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E", u"ＭＳ ゴシック"};
const Words kTexts[] = {
    {"\x95\xBD\x96\xCA\x90\x7D", u"平面図"},
    {"\x82\x50\x8A\x4B \x95\x5C", u"１階 表"},
    {"\x91\x8B W", u"窓 W"},
    {"\x90\xA1\x96\x40", u"寸法"},
};
const Words kBlockName{"\x83\x75\x83\x8D\x83\x62\x83\x4E", u"ブロック"};

struct Writer {
  explicit Writer(bool utf16) : b(700), utf16(utf16) {}

  void Put(const Words& w) {
    if (utf16) {
      b.Utf16String(w.utf16);
    } else {
      b.String(w.sjis);
    }
  }

  void TextBody(int seed, const Words& text) {
    b.Attr(jwwfixture::SampleAttr(seed));
    for (double d : {seed + 1.5, seed + 2.5, seed + 30.5, seed + 2.5}) b.Double(d);
    b.Dword(1 + seed % 10);
    for (double d : {3.5, 3.5, 0.25, 0.0}) b.Double(d);
    Put(kFont);
    Put(text);
  }

  // Entity number `i` of a list, in a mix near that of real plans: mostly
  // lines, then arcs, texts, points, solids, insertions and a few
  // dimensions. `blocks` definitions exist for insertions to name.
  void Entity(std::int64_t i, std::int32_t blocks) {
    const int seed = static_cast<int>(i % 100000);
    const int slot = static_cast<int>(i % 100);
    if (slot < 60) {
      b.Entity(Line(seed));
    } else if (slot < 72) {
      TEntJwwArc arc;
      arc.Attr = jwwfixture::SampleAttr(seed, 2);
      arc.CenterX = seed + 10.5;
      arc.CenterY = -3.25;
      arc.Radius = 4.75;
      arc.StartAngle = 0.1;
      arc.ArcAngle = slot == 71 ? 6.283185307179586 : 3.0;
      arc.Flatness = 1;
      arc.FullCircle = slot == 71;
      b.Entity(arc);
    } else if (slot < 80) {
      b.Entity(Point(seed, slot == 79));
    } else if (slot < 90) {
      b.Tag("CDataMoji");
      TextBody(seed, Join(kTexts[slot % 4], Numbered(" ", i)));
      b.EndObject();
    } else if (slot < 92) {
      b.Tag("CDataSunpou");
      b.Attr(jwwfixture::SampleAttr(seed));
      b.Body(Line(seed));
      TextBody(seed, Join(kTexts[3], std::to_string(seed % 9000 + 100)));
      b.Word(1);
      b.Body(Line(seed + 1));
      b.Body(Line(seed + 2));
      for (int k = 0; k < 4; ++k) b.Body(Point(seed + k, k == 2));
      b.EndObject();
    } else if (slot < 97 || blocks == 0) {
      TEntJwwSolid s;
      s.Attr = jwwfixture::SampleAttr(seed);
      s.Attr.PenColor = slot % 2 ? 10 : 3;
      s.X1 = seed, s.Y1 = 0, s.X2 = seed + 5, s.Y2 = 0, s.X3 = seed + 5, s.Y3 = 5;
      s.X4 = seed, s.Y4 = 5;
      s.Rgb = 0x00FF8040;
      b.Entity(s);
    } else {
      b.Entity(Insertion(1 + static_cast<std::int32_t>(i % blocks), seed));
    }
  }

  void Definition(std::int32_t number, std::int32_t entities) {
    b.Tag("CDataList");
    b.Attr(jwwfixture::SampleAttr(number));
    b.Dword(number);
    b.Dword(0);
    b.Dword(0x5F000000 + number);
    Put(Join(kBlockName, std::to_string(number)));
    b.EndObject();
    // Definitions come in chains of ten, each inserting the one before it:
    // nesting as drawings have it, never a cycle.
    const bool nested = number % 10 != 1;
    b.Count(static_cast<std::uint32_t>(entities + nested));
    for (std::int32_t k = 0; k < entities; ++k) Entity(k * 11, 0);
    if (nested) b.Entity(Insertion(number - 1, number));
  }

  static TEntJwwLine Line(int seed) {
    TEntJwwLine e;
    e.Attr = jwwfixture::SampleAttr(seed, static_cast<std::uint8_t>(1 + seed % 9));
    e.StartX = seed + 0.125;
    e.StartY = -seed - 0.25;
    e.EndX = seed * 2 + 0.5;
    e.EndY = 1e4 + seed;
    return e;
  }

  static TEntJwwPoint Point(int seed, bool marked) {
    TEntJwwPoint e;
    e.Attr = jwwfixture::SampleAttr(seed, marked ? 100 : 1);
    e.X = seed + 0.375;
    e.Y = seed - 0.625;
    if (marked) {
      e.Code = 7;
      e.Angle = 0.5;
      e.Scale = 2.5;
    }
    return e;
  }

  static TEntJwwBlockRef Insertion(std::int32_t number, int seed) {
    TEntJwwBlockRef r;
    r.Attr = jwwfixture::SampleAttr(seed);
    r.RefX = seed;
    r.RefY = -seed;
    r.ScaleX = r.ScaleY = 1;
    r.BlockNumber = number;
    return r;
  }

  JwwBuilder b;
  bool utf16;
};

// `count` entities at the top level, and one definition of ten entities per
// 5,000 of them that the insertions among them name.
std::vector<std::uint8_t> Entities(std::int64_t count, bool utf16) {
  Writer w(utf16);
  const auto blocks = static_cast<std::int32_t>(count / 5000 + 1);
  w.b.Header("bench");
  w.b.Count(static_cast<std::uint32_t>(count));
  for (std::int64_t i = 0; i < count; ++i) w.Entity(i, blocks);
  w.b.Count(static_cast<std::uint32_t>(blocks));
  for (std::int32_t n = 1; n <= blocks; ++n) w.Definition(n, 10);
  w.b.EmptyImageSection();
  return w.b.bytes();
}

// `count` insertions spread over `definitions` definitions of two lines each.
std::vector<std::uint8_t> Insertions(std::int64_t count, std::int32_t definitions) {
  Writer w(false);
  w.b.Header("bench");
  w.b.Count(static_cast<std::uint32_t>(count));
  for (std::int64_t i = 0; i < count; ++i)
    w.b.Entity(Writer::Insertion(1 + static_cast<std::int32_t>(i % definitions), 1));
  w.b.Count(static_cast<std::uint32_t>(definitions));
  for (std::int32_t n = 1; n <= definitions; ++n) {
    w.b.Tag("CDataList");
    w.b.Attr(jwwfixture::SampleAttr(n));
    w.b.Dword(n);
    w.b.Dword(0);
    w.b.Dword(0x5F000000 + n);
    w.b.String(Numbered("b", n));
    w.b.EndObject();
    w.b.Count(2);
    w.b.Entity(Writer::Line(n));
    w.b.Entity(Writer::Line(n + 1));
  }
  w.b.EmptyImageSection();
  return w.b.bytes();
}

// Fast reproducible noise.
struct Noise {
  std::uint64_t s;
  std::uint64_t Next() {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return s;
  }
};

// A photograph as a camera stores it: a JPEG whose entropy-coded data
// deflate cannot shrink.
std::vector<std::uint8_t> Photo(std::size_t size, std::uint64_t seed) {
  std::vector<std::uint8_t> bytes(size);
  Noise n{seed * 0x9E3779B97F4A7C15ull + 1};
  for (std::size_t i = 0; i < size; i += 8) {
    const std::uint64_t r = n.Next();
    for (std::size_t k = 0; k < 8 && i + k < size; ++k)
      bytes[i + k] = static_cast<std::uint8_t>(r >> (8 * k));
  }
  const std::uint8_t soi[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0};
  for (std::size_t k = 0; k < sizeof soi && k < size; ++k) bytes[k] = soi[k];
  return bytes;
}

// A scanned plan as a 24-bit BMP: tiles of colour with sensor noise in a
// quarter of the pixels, which deflates about 5:1 (a flat gradient would
// deflate far better than any real scan).
std::vector<std::uint8_t> Bitmap(std::size_t size, std::uint64_t seed) {
  std::vector<std::uint8_t> bytes(size < 54 ? 54 : size);
  const std::uint32_t width = 1024;
  const std::uint32_t height = static_cast<std::uint32_t>((bytes.size() - 54) / (3 * width));
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) bytes[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
  };
  bytes[0] = 'B';
  bytes[1] = 'M';
  put32(2, static_cast<std::uint32_t>(bytes.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, width);
  put32(22, height);
  bytes[26] = 1;
  bytes[28] = 24;
  Noise n{seed * 0x9E3779B97F4A7C15ull + 7};
  for (std::size_t i = 54; i + 3 <= bytes.size(); i += 3) {
    const std::size_t pixel = (i - 54) / 3;
    const std::size_t x = pixel % width, y = pixel / width;
    const std::uint64_t r = n.Next();
    const auto base = static_cast<std::uint8_t>((x / 16) * 7 + (y / 16) * 13 + seed);
    const auto v = static_cast<std::uint8_t>(base + (((r >> 8) & 3) == 0 ? (r & 7) : 0));
    bytes[i] = v;
    bytes[i + 1] = static_cast<std::uint8_t>(v * 3);
    bytes[i + 2] = static_cast<std::uint8_t>(v + 40);
  }
  return bytes;
}

// `count` images of `size` bytes in FOLDER/img, and FOLDER/images.jww that
// references each once (relative to itself).
void Images(const std::filesystem::path& folder, int count, std::size_t size,
            const std::string& kind) {
  std::filesystem::create_directories(folder / "img");
  Writer w(false);
  w.b.Header("bench");
  w.b.Count(static_cast<std::uint32_t>(count));
  for (int i = 0; i < count; ++i) {
    const bool photo = kind == "photo" || (kind == "mixed" && i % 2 == 0);
    const std::string name = Numbered(photo ? "p" : "s", i) + (photo ? ".jpg" : ".bmp");
    if (kind == "half") {
      // A scanned sheet: half noise-like photograph, half flat bitmap.
      std::vector<std::uint8_t> bytes = Photo(size / 2, i);
      const std::vector<std::uint8_t> rest = Bitmap(size - size / 2, i);
      bytes.insert(bytes.end(), rest.begin(), rest.end());
      Save(folder / "img" / name, bytes);
    } else {
      Save(folder / "img" / name, photo ? Photo(size, i) : Bitmap(size, i));
    }
    w.b.Entity(testutil::MakeText("^@BMimg\\" + name + ",100,75,0,0,1,0"));
  }
  w.b.Count(0);
  w.b.EmptyImageSection();
  Save(folder / "images.jww", w.b.bytes());
}

// `count` small drawings d0.jww ... of a few entities each; with `image`,
// each also shows FOLDER/img/plan.bmp (16 KiB), as a site's drawings share
// a logo or a key plan.
void Drawings(const std::filesystem::path& folder, int count, bool image) {
  std::filesystem::create_directories(folder);
  Writer w(false);
  w.b.Header("bench");
  w.b.Count(image ? 21 : 20);
  for (int i = 0; i < 20; ++i) w.Entity(i * 5, 0);
  if (image) {
    std::filesystem::create_directories(folder / "img");
    Save(folder / "img" / "plan.bmp", Bitmap(16 * 1024, 0));
    w.b.Entity(testutil::MakeText("^@BMimg\\plan.bmp,100,75,0,0,1,0"));
  }
  w.b.Count(0);
  w.b.EmptyImageSection();
  for (int i = 0; i < count; ++i) Save(folder / (Numbered("d", i) + ".jww"), w.b.bytes());
}

// `count` empty files f0.jww ...: a folder already full of drawings.
void Files(const std::filesystem::path& folder, int count) {
  std::filesystem::create_directories(folder);
  for (int i = 0; i < count; ++i) std::ofstream(folder / (Numbered("f", i) + ".jww"));
}

int Usage() {
  std::fprintf(stderr,
               "usage: marrowfold-make-bench entities OUT.jww COUNT bytes|utf16\n"
               "       marrowfold-make-bench inserts OUT.jww COUNT DEFINITIONS\n"
               "       marrowfold-make-bench images FOLDER COUNT BYTES [photo|bitmap|mixed|half]\n"
               "       marrowfold-make-bench drawings FOLDER COUNT [image]\n"
               "       marrowfold-make-bench files FOLDER COUNT\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return Usage();
  const std::string what = argv[1];
  const std::filesystem::path out = argv[2];
  const long long count = std::atoll(argv[3]);
  if (count < 0 || count > 100000000) return Usage();
  if (what == "entities" && argc == 5) {
    const std::string form = argv[4];
    if (form != "bytes" && form != "utf16") return Usage();
    Save(out, Entities(count, form == "utf16"));
  } else if (what == "inserts" && argc == 5) {
    const int definitions = std::atoi(argv[4]);
    if (definitions < 1) return Usage();
    Save(out, Insertions(count, definitions));
  } else if (what == "images" && (argc == 5 || argc == 6)) {
    const std::string kind = argc == 6 ? argv[5] : "mixed";
    if (kind != "photo" && kind != "bitmap" && kind != "mixed" && kind != "half") return Usage();
    Images(out, static_cast<int>(count), static_cast<std::size_t>(std::atoll(argv[4])), kind);
  } else if (what == "drawings" && (argc == 4 || (argc == 5 && std::string(argv[4]) == "image"))) {
    Drawings(out, static_cast<int>(count), argc == 5);
  } else if (what == "files" && argc == 4) {
    Files(out, static_cast<int>(count));
  } else {
    return Usage();
  }
  return 0;
}
