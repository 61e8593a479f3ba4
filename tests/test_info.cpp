// `--info`: the facts told about a drawing, in lines and as JSON, and that
// telling them leaves the disk as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/info.h"
#include "embed/staging.h"
#include "jww/jwwtype.h"
#include "jww/jwwunit.h"
#include "platform/platform.h"
#include "platform/unicode.h"
#include "testing/faulty_os.h"
#include "testing/jwwfixture.h"
#include "testing/testutil.h"

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testutil::TempDir;

namespace {

// ---- A strict JSON reader: a document that only looks right fails here ------------

struct Json {
  char kind = 'n';  // n(ull), b(ool), d(igits), s(tring), a(rray), o(bject)
  bool boolean = false;
  double number = 0;
  std::string string;
  std::vector<Json> items;
  std::vector<std::string> keys;  // of an object, beside its items

  bool Has(const std::string& key) const {
    return std::find(keys.begin(), keys.end(), key) != keys.end();
  }
  const Json& operator[](const std::string& key) const {
    auto it = std::find(keys.begin(), keys.end(), key);
    if (it == keys.end()) throw std::runtime_error("no member " + key);
    return items[static_cast<std::size_t>(it - keys.begin())];
  }
  const Json& operator[](std::size_t i) const { return items.at(i); }
  bool IsNull() const { return kind == 'n'; }
};

Json ParseValue(const std::string& s, std::size_t& i);

[[noreturn]] void JsonFail(const std::string& why, std::size_t i) {
  throw std::runtime_error(why + " at byte " + std::to_string(i));
}

void SkipSpace(const std::string& s, std::size_t& i) {
  while (i < s.size() && std::strchr(" \t\r\n", s[i]) != nullptr) ++i;
}

std::string ParseString(const std::string& s, std::size_t& i) {
  std::string out;
  for (++i; i < s.size() && s[i] != '"'; ++i) {
    const auto b = static_cast<std::uint8_t>(s[i]);
    if (b < 0x20) JsonFail("a raw control character", i);
    if (b != '\\') {
      out += s[i];
      continue;
    }
    const char e = ++i < s.size() ? s[i] : '\0';
    if (e == 'u') {
      if (i + 4 >= s.size()) JsonFail("a short \\u escape", i);
      std::string utf8;
      if (!Utf16ToUtf8(
              std::u16string(1, static_cast<char16_t>(std::stoul(s.substr(i + 1, 4), nullptr, 16))),
              utf8))
        JsonFail("a lone surrogate", i);
      out += utf8;
      i += 4;
    } else if (const char* at = std::strchr("\"\\/bfnrt", e); e != '\0' && at != nullptr) {
      out += "\"\\/\b\f\n\r\t"[at - "\"\\/bfnrt"];
    } else {
      JsonFail("a bad escape", i);
    }
  }
  if (i++ >= s.size()) JsonFail("an unterminated string", i);
  std::u16string check;
  if (!Utf8ToUtf16(out, check)) JsonFail("a string that is not UTF-8", i);
  return out;
}

// The members of an object or the elements of an array, up to `close`.
void ParseItems(const std::string& s, std::size_t& i, Json& v, char close) {
  SkipSpace(s, ++i);
  if (i < s.size() && s[i] == close) return void(++i);
  for (;;) {
    if (close == '}') {
      SkipSpace(s, i);
      if (i >= s.size() || s[i] != '"') JsonFail("a key must be a string", i);
      v.keys.push_back(ParseString(s, i));
      SkipSpace(s, i);
      if (i >= s.size() || s[i++] != ':') JsonFail("':' expected", i);
    }
    v.items.push_back(ParseValue(s, i));
    SkipSpace(s, i);
    if (i < s.size() && s[i] == close) return void(++i);
    if (i >= s.size() || s[i++] != ',') JsonFail("',' expected", i);
  }
}

Json ParseValue(const std::string& s, std::size_t& i) {
  SkipSpace(s, i);
  Json v;
  const auto word = [&](const char* w) {
    const std::size_t n = std::strlen(w);
    if (s.compare(i, n, w) != 0) return false;
    i += n;
    return true;
  };
  if (i >= s.size()) JsonFail("the end of the text", i);
  if (s[i] == '{' || s[i] == '[') {
    v.kind = s[i] == '{' ? 'o' : 'a';
    ParseItems(s, i, v, s[i] == '{' ? '}' : ']');
  } else if (s[i] == '"') {
    v.kind = 's';
    v.string = ParseString(s, i);
  } else if (word("true")) {
    v.kind = 'b';
    v.boolean = true;
  } else if (word("false")) {
    v.kind = 'b';
  } else if (!word("null")) {
    const std::size_t start = i;
    while (i < s.size() && std::strchr("-0123456789.", s[i]) != nullptr) ++i;
    if (start == i) JsonFail("a value expected", i);
    v.kind = 'd';
    v.number = std::stod(s.substr(start, i - start));
  }
  return v;
}

Json ParseJson(const std::string& text) {
  std::size_t i = 0;
  Json v = ParseValue(text, i);
  SkipSpace(text, i);
  if (i != text.size()) JsonFail("text after the document", i);
  return v;
}

// ---- Drawings ---------------------------------------------------------------------

TEntJwwText Text(const JwwStr& s) {
  TEntJwwText t;
  t.Attr.PenStyle = 1;
  t.TextKind = 1;
  t.SizeX = t.SizeY = 2.5;
  t.FontName = JwwStr("font");
  t.Text = s;
  return t;
}

TEntJwwBlockRef Insertion(std::int32_t number) {
  TEntJwwBlockRef r;
  r.ScaleX = r.ScaleY = 1;
  r.BlockNumber = number;
  return r;
}

// A UTF-16 string with a character CP932 has no form for, as the loader
// keeps it.
JwwStr Verbatim(const std::u16string& units) {
  return testutil::Wide(units);
}

struct StoredImage {
  std::string name;
  Bytes data;
};

Bytes Filler(std::size_t n) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return b;
}

// A 7.00 drawing written byte by byte, its image section included: the
// reader meets what a Jw_cad drawing carrying images holds, not what our
// writer happens to produce.
Bytes DrawingBytes(const TEntityLists& top, const std::vector<TEntJwwBlockDef>& defs,
                   const std::vector<StoredImage>& images = {}) {
  jwwfixture::JwwBuilder b(700);
  b.Header();
  b.EntityList(top);
  b.BlockDefList(defs);
  b.Dword(static_cast<std::int32_t>(images.size()));
  for (const StoredImage& image : images) {
    b.String(image.name);
    b.Dword(static_cast<std::int32_t>(image.data.size()));
    b.Raw(image.data);
  }
  return b.bytes();
}

// Through the program's writer, for strings in UTF-16 (the fixture writes
// byte strings only). Only used block definitions are written.
void SaveDrawing(TJwwData& d, const platform::Path& path) {
  d.Header.Version = 700;
  d.ResolveBlockUse();
  std::vector<TBindImageType> none;
  std::swap(none, StagedImages);
  const bool saved = d.SaveToFile(path, 700, &StagedImageFiles());
  std::swap(none, StagedImages);
  ASSERT_TRUE(saved) << d.LastError;
}

struct Described {
  bool complete = false;
  std::string text;
};

Described Describe(const platform::Path& internalPath, bool json = false, bool lookBeside = false) {
  Described d;
  InfoOptions options;
  options.json = json;
  options.lookBeside = lookBeside;
  d.complete = DescribeDrawing(internalPath, options, d.text);
  return d;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
    lines.push_back(text.substr(start, nl - start));
  EXPECT_EQ(start, text.size()) << "the text must end in a line break";
  return lines;
}

// A rooted path as this system shows it.
#ifdef _WIN32
const std::string kOldC = "\\old\\c.bmp";
const std::string kElsewhere = "\\elsewhere\\side.png";
#else
const std::string kOldC = "/old/c.bmp";
const std::string kElsewhere = "/elsewhere/side.png";
#endif

// The drawing behind most tests: every form of reference, at the top level,
// in a used and in an unused definition, and three stored images whose names
// make the exact match and the first-prefix rule disagree.
class InfoDrawing : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir.Native("img"));
    testutil::WriteText(dir.Native("img/a.jpg"), "jpeg");
    platform::Current().MapDrive('Q', drive.path().string());

    TEntityLists top;
    jwwfixture::Add(top, Text(JwwStr("hello")));
    jwwfixture::Add(top, Text(JwwStr("^@BMimg\\a.jpg")));  // no ",": plain text to Jw_cad
    jwwfixture::Add(top, Text(JwwStr("^@BMimg\\a.jpg,100,50,0,1")));
    jwwfixture::Add(top, Text(JwwStr("^@BMQ:\\x\\b.png,1")));
    jwwfixture::Add(top, Text(JwwStr("^@BM%temp%a.jpg,1")));
    jwwfixture::Add(top, Text(JwwStr("^@BM%temp%A.JP,1")));
    jwwfixture::Add(top, Text(JwwStr("^@BM%temp%gone.png,1")));
    jwwfixture::Add(top, Text(JwwStr("_@BM\\old\\c.bmp,1")));
    jwwfixture::Add(top, Insertion(7));
    TEntityLists used, unused;
    jwwfixture::Add(used, Text(JwwStr("^@BMimg\\gone.jpg,3")));
    jwwfixture::Add(unused, Text(JwwStr("^@BM%temp%a.jpg,2")));
    const std::vector<TEntJwwBlockDef> defs = {jwwfixture::SampleBlockDef(700, 7, "blk", used),
                                               jwwfixture::SampleBlockDef(700, 8, "spare", unused)};
    testutil::WriteBytes(dir.Native("plan.jww"), DrawingBytes(top, defs,
                                                              {{"a.jpg.bak.gz", Filler(5)},
                                                               {"a.jpg.gz", Filler(12345)},
                                                               {"b.png.gz", Filler(1000)}}));
  }
  void TearDown() override { platform::Current().MapDrive('Q', ""); }

  // make_preferred: "img/a.jpg" as Windows writes it there, unchanged on POSIX.
  std::string Native(const std::string& name) const {
    return testutil::Utf8(dir.Native(name).make_preferred());
  }
  // Where Q:\x\b.png leads: the mapped folder on POSIX; on Windows no drive
  // of the test's, so the path as it is.
  std::string OnQ() const {
#ifdef _WIN32
    return "Q:\\x\\b.png";
#else
    return (drive.path() / "x" / "b.png").string();
#endif
  }

  TempDir dir, drive;
};

// Every file and folder below `root` with its size and time: what a
// description must leave as it found it.
std::map<std::string, std::string> Tree(const fs::path& root) {
  std::map<std::string, std::string> tree;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    std::string what = e.is_directory() ? "folder" : std::to_string(e.file_size());
    what += " " + std::to_string(e.last_write_time().time_since_epoch().count());
    tree[e.path().lexically_relative(root).string()] = what;
  }
  return tree;
}

}  // namespace

// ---- Lines for a person -----------------------------------------------------------

TEST_F(InfoDrawing, TellsEveryReferenceWhereItLeads) {
  const Described d = Describe(dir.Path("plan.jww"));
  EXPECT_TRUE(d.complete);
  const std::string expected =
      Native("plan.jww") +
      "\n"
      "  version 7.00, strings Shift-JIS\n"
      "  entities: 8 texts, 1 block insertion; in blocks: 2 texts\n"
      "  block definitions: 1 used of 2\n"
      "  embedded images (3):\n"
      "    a.jpg.bak.gz  5 bytes\n"
      "    a.jpg.gz  12,345 bytes\n"
      "    b.png.gz  1,000 bytes\n"
      "  image references (8):\n"
      "    live      img\\a.jpg -> " +
      Native("img/a.jpg") +
      " (found)\n"
      "    live      Q:\\x\\b.png -> " +
      OnQ() +
      " (missing)\n"
      // The exact name (with ".gz") wins over an earlier name it only begins.
      "    embedded  a.jpg -> a.jpg.gz\n"
      "    embedded  A.JP -> a.jpg.bak.gz\n"
      "    embedded  gone.png -> none\n"
      "    disabled  \\old\\c.bmp -> " +
      kOldC +
      " (missing)\n"
      "    live      img\\gone.jpg -> " +
      Native("img/gone.jpg") +
      " (missing)  [in block \"blk\"]\n"
      "    embedded  a.jpg -> a.jpg.gz  [in unused block \"spare\"]\n";
  EXPECT_EQ(d.text, expected);
}

TEST_F(InfoDrawing, LookBesideFindsTheFileNextToTheDrawing) {
  TEntityLists top;
  jwwfixture::Add(top, Text(JwwStr("^@BM\\elsewhere\\side.png,1")));
  testutil::WriteBytes(dir.Native("side.jww"), DrawingBytes(top, {}));
  testutil::WriteText(dir.Native("side.png"), "png");

  const std::string plain = Describe(dir.Path("side.jww")).text;
  EXPECT_NE(plain.find("live      \\elsewhere\\side.png -> " + kElsewhere + " (missing)\n"),
            std::string::npos)
      << plain;
  const std::string beside = Describe(dir.Path("side.jww"), false, true).text;
  EXPECT_NE(beside.find("live      \\elsewhere\\side.png -> " + Native("side.png") +
                        " (found beside the drawing)\n"),
            std::string::npos)
      << beside;
#ifndef _WIN32
  // A file where the path leads needs no look beside (Q: is a drive of the
  // test's only on POSIX).
  fs::create_directories(drive.Native("x"));
  testutil::WriteText(drive.Native("x/b.png"), "png");
  const std::string found = Describe(dir.Path("plan.jww"), false, true).text;
  EXPECT_NE(found.find("Q:\\x\\b.png -> " + (drive.path() / "x" / "b.png").string() + " (found)\n"),
            std::string::npos)
      << found;
#endif
}

TEST(InfoCounts, EveryKindAtTheTopAndInBlocksOverVersions) {
  TempDir dir;
  for (std::int32_t version : {230, 300, 351, 420, 600, 700}) {
    SCOPED_TRACE(version);
    TEntityLists top, inBlock, spare;
    for (int i = 0; i < 1234; ++i) jwwfixture::Add(top, TEntJwwLine{});
    jwwfixture::Add(top, TEntJwwArc{});
    jwwfixture::Add(top, TEntJwwPoint{});
    jwwfixture::Add(top, Text(JwwStr("t")));
    jwwfixture::Add(top, Text(JwwStr("u")));
    jwwfixture::Add(top, TEntJwwDimension{});
    jwwfixture::Add(top, Insertion(3));
    jwwfixture::Add(top, Insertion(3));
    jwwfixture::Add(inBlock, TEntJwwSolid{});
    jwwfixture::Add(inBlock, TEntJwwLine{});
    jwwfixture::Add(spare, TEntJwwPoint{});
    jwwfixture::Add(spare, TEntJwwPoint{});
    jwwfixture::JwwBuilder b(version);
    b.Drawing(top, {jwwfixture::SampleBlockDef(version, 3, "a", inBlock),
                    jwwfixture::SampleBlockDef(version, 4, "b", spare),
                    jwwfixture::SampleBlockDef(version, 5, "c", {})});
    testutil::WriteBytes(dir.Native("v.jww"), b.bytes());

    const Described d = Describe(dir.Path("v.jww"));
    ASSERT_TRUE(d.complete) << d.text;
    const std::vector<std::string> lines = Lines(d.text);
    ASSERT_EQ(lines.size(), 6u) << d.text;
    const std::string v = std::to_string(version);
    EXPECT_EQ(lines[1], "  version " + v.substr(0, 1) + "." + v.substr(1) + ", strings Shift-JIS");
    EXPECT_EQ(lines[2],
              "  entities: 1,234 lines, 1 arc, 1 point, 2 texts, 1 dimension, 2 block insertions; "
              "in blocks: 1 line, 2 points, 1 solid");
    EXPECT_EQ(lines[3], "  block definitions: 1 used of 3");
    EXPECT_EQ(lines[4], "  embedded images: none");
    EXPECT_EQ(lines[5], "  image references: none");

    const Json j = ParseJson(Describe(dir.Path("v.jww"), true).text);
    EXPECT_EQ(j["entities"]["lines"].number, 1234);
    EXPECT_EQ(j["entitiesInBlocks"]["points"].number, 2);
    const Json& list = j["blockDefinitions"]["list"];
    ASSERT_EQ(list.items.size(), 3u);
    EXPECT_EQ(list[0]["number"].number, 3);
    EXPECT_TRUE(list[0]["used"].boolean);
    EXPECT_FALSE(list[1]["used"].boolean);
  }
}

// ---- Text beyond ASCII ------------------------------------------------------------

TEST(InfoText, ShiftJisAndUtf16BeyondCp932ShowInUtf8) {
  TempDir dir;
  // 表 ends in the byte 0x5C, which must not split the path; 𠮷 (U+20BB7)
  // has no CP932 form, so its strings stay UTF-16 units, and its paths are
  // looked up as such.
  const std::string hyouSjis = "\x95\x5C";
  const std::string hyouUtf8 = "\xE8\xA1\xA8";
  const std::string yoshiUtf8 = "\xF0\xA0\xAE\xB7";
  fs::create_directories(dir.Native(hyouUtf8));
  testutil::WriteText(dir.Native(hyouUtf8 + "/" + hyouUtf8 + ".jpg"), "jpeg");
  fs::create_directories(dir.Native("img"));
  testutil::WriteText(dir.Native("img/" + yoshiUtf8 + ".png"), "png");

  TJwwData d;
  jwwfixture::Add(d, Text(JwwStr("^@BM" + hyouSjis + "\\" + hyouSjis + ".jpg,1")));
  jwwfixture::Add(d, Text(Verbatim(u"^@BMimg\\\U00020BB7.png,1")));
  jwwfixture::Add(d, Text(Verbatim(u"^@BM%temp%\U00020BB7.png,1")));
  TEntJwwBlockDef def;
  def.Number = 1;
  def.Name = Verbatim(u"\u56F3\U00020BB7");  // 図𠮷
  jwwfixture::Add(def.Entities, Text(Verbatim(u"_@BM\\\U00020BB7.bmp,1")));
  d.BlockDefs.push_back(def);
  jwwfixture::Add(d, Insertion(1));
  SaveDrawing(d, dir.Path("u.jww"));

  const Described out = Describe(dir.Path("u.jww"));
  ASSERT_TRUE(out.complete) << out.text;
  const std::vector<std::string> lines = Lines(out.text);
  ASSERT_EQ(lines.size(), 10u) << out.text;
  // Byte strings ("font") and UTF-16 ones in one drawing.
  EXPECT_EQ(lines[1], "  version 7.00, strings mixed");
  EXPECT_EQ(lines[6],
            "    live      " + hyouUtf8 + "\\" + hyouUtf8 + ".jpg -> " +
                testutil::Utf8(dir.Native(hyouUtf8 + "/" + hyouUtf8 + ".jpg").make_preferred()) +
                " (found)");
  EXPECT_EQ(lines[7], "    live      img\\" + yoshiUtf8 + ".png -> " +
                          testutil::Utf8(dir.Native("img/" + yoshiUtf8 + ".png").make_preferred()) +
                          " (found)");
  EXPECT_EQ(lines[8], "    embedded  " + yoshiUtf8 + ".png -> none");
  EXPECT_EQ(lines[9], "    disabled  \\" + yoshiUtf8 + ".bmp -> " +
                          platform::InternalToNative(u"\\\U00020BB7.bmp") +
                          " (missing)  [in block \"" + "\xE5\x9B\xB3" + yoshiUtf8 + "\"]");

  const Json j = ParseJson(Describe(dir.Path("u.jww"), true).text);
  const Json& refs = j["imageReferences"];
  ASSERT_EQ(refs.items.size(), 4u);
  EXPECT_EQ(refs[1]["path"].string, "img\\" + yoshiUtf8 + ".png");
  EXPECT_TRUE(refs[1]["outsideShiftJis"].boolean);
  EXPECT_FALSE(refs[1]["resolved"].IsNull());
  EXPECT_TRUE(refs[1]["found"].boolean);
  EXPECT_TRUE(refs[2]["image"].IsNull());
  EXPECT_EQ(refs[3]["block"]["name"].string, "\xE5\x9B\xB3" + yoshiUtf8);
  EXPECT_EQ(j["blockDefinitions"]["list"][0]["name"].string, "\xE5\x9B\xB3" + yoshiUtf8);
}

TEST(InfoText, StoredNamesBeyondCp932AreShownAndTiedToTheirReferences) {
  // Current Jw_cad stores "Ünï.png.gz" as UTF-16: the name shows as it is,
  // and an embedded reference to "Ünï.png" (in any letter case) finds it.
  TempDir dir;
  const std::string uniUtf8 = "\xC3\x9Cn\xC3\xAF";
  TJwwData d;
  jwwfixture::Add(d, Text(Verbatim(u"^@BM%temp%\u00DCn\u00EF.png,1")));
  jwwfixture::Add(d, Text(Verbatim(u"^@BM%temp%\u00FCN\u00CF.PNG,2")));
  SaveDrawing(d, dir.Path("u.jww"));
  Bytes bytes = testutil::ReadBytes(dir.Native("u.jww"));
  ASSERT_EQ(Bytes(bytes.end() - 4, bytes.end()), Bytes(4, 0));
  bytes.resize(bytes.size() - 4);
  jwwfixture::JwwBuilder section(700);
  section.Dword(1);
  section.Utf16String(u"\u00DCn\u00EF.png.gz");
  section.Dword(5);
  section.Raw(Filler(5));
  bytes.insert(bytes.end(), section.bytes().begin(), section.bytes().end());
  testutil::WriteBytes(dir.Native("u.jww"), bytes);

  const Described out = Describe(dir.Path("u.jww"));
  ASSERT_TRUE(out.complete) << out.text;
  const std::string uni = uniUtf8 + ".png";
  EXPECT_NE(out.text.find("    " + uni + ".gz  5 bytes\n"), std::string::npos) << out.text;
  EXPECT_NE(out.text.find("    embedded  " + uni + " -> " + uni + ".gz\n"), std::string::npos)
      << out.text;
  EXPECT_NE(out.text.find("    embedded  \xC3\xBCN\xC3\x8F.PNG -> " + uni + ".gz\n"),
            std::string::npos)
      << out.text;
  const Json j = ParseJson(Describe(dir.Path("u.jww"), true).text);
  EXPECT_EQ(j["embeddedImages"][0]["name"].string, uni + ".gz");
  EXPECT_EQ(j["imageReferences"][0]["image"].string, uni + ".gz");
}

TEST(InfoText, AllUtf16IsToldAsSuch) {
  // Every string of the header's tables too, as current Jw_cad writes them:
  // our writer's defaults alone would make the drawing mixed.
  TempDir dir;
  TJwwData d;
  jwwfixture::Add(d, Text(JwwStr("abc")));
  SaveDrawing(d, dir.Path("b.jww"));
  ASSERT_TRUE(d.LoadFromFile(dir.Path("b.jww"), &StagedImageFiles()));
  const auto wide = [](JwwStr& s) { s.SetForm(JwwStr::Form::Utf16); };
  wide(d.Header.Memo);
  for (auto& g : d.LayerGroups) wide(g.Name);
  for (auto& l : d.Layers) wide(l.Name);
  for (auto& c : d.ColorsEx) wide(c.Name);
  for (auto& t : d.LineTypesEx) wide(t.Name);
  for (auto& t : d.Texts) wide(t.FontName), wide(t.Text);
  SaveDrawing(d, dir.Path("w.jww"));
  EXPECT_EQ(Lines(Describe(dir.Path("w.jww")).text).at(1), "  version 7.00, strings UTF-16");
}

// ---- JSON -------------------------------------------------------------------------

TEST_F(InfoDrawing, JsonHoldsTheSameFacts) {
  const Described d = Describe(dir.Path("plan.jww"), true);
  EXPECT_TRUE(d.complete);
  ASSERT_EQ(Lines(d.text).size(), 1u) << "one document, one line";
  // A Windows path keeps its "\" as "\\".
  EXPECT_NE(d.text.find("\"path\":\"Q:\\\\x\\\\b.png\""), std::string::npos) << d.text;

  const Json j = ParseJson(d.text);
  EXPECT_EQ(j["path"].string, Native("plan.jww"));
  EXPECT_TRUE(j["complete"].boolean);
  EXPECT_TRUE(j["error"].IsNull());
  EXPECT_EQ(j["version"].string, "7.00");
  EXPECT_EQ(j["strings"].string, "Shift-JIS");
  EXPECT_EQ(j["entities"]["texts"].number, 8);
  EXPECT_EQ(j["entitiesInBlocks"]["texts"].number, 2);
  EXPECT_EQ(j["blockDefinitions"]["total"].number, 2);

  const Json& images = j["embeddedImages"];
  ASSERT_EQ(images.items.size(), 3u);
  EXPECT_EQ(images[1]["name"].string, "a.jpg.gz");
  EXPECT_EQ(images[1]["size"].number, 12345);

  const Json& refs = j["imageReferences"];
  ASSERT_EQ(refs.items.size(), 8u);
  EXPECT_EQ(refs[0]["form"].string, "live");
  EXPECT_EQ(refs[0]["path"].string, "img\\a.jpg");
  EXPECT_EQ(refs[0]["resolved"].string, Native("img/a.jpg"));
  EXPECT_TRUE(refs[0]["found"].boolean);
  EXPECT_FALSE(refs[0]["beside"].boolean);
  EXPECT_TRUE(refs[0]["block"].IsNull());
  EXPECT_FALSE(refs[1]["found"].boolean);
  EXPECT_EQ(refs[2]["form"].string, "embedded");
  EXPECT_EQ(refs[2]["image"].string, "a.jpg.gz");
  EXPECT_FALSE(refs[2].Has("resolved"));
  EXPECT_EQ(refs[3]["image"].string, "a.jpg.bak.gz");
  EXPECT_TRUE(refs[4]["image"].IsNull());
  EXPECT_EQ(refs[5]["form"].string, "disabled");
  EXPECT_EQ(refs[5]["path"].string, "\\old\\c.bmp");
  EXPECT_EQ(refs[6]["block"]["name"].string, "blk");
  EXPECT_TRUE(refs[6]["block"]["used"].boolean);
  EXPECT_EQ(refs[7]["block"]["name"].string, "spare");
  EXPECT_FALSE(refs[7]["block"]["used"].boolean);
}

TEST_F(InfoDrawing, JsonEscapesQuotesBackslashesAndControlCharacters) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows file names cannot hold '\"' or control characters";
#endif
  // Only the drawing's own name can carry these: a drawing's texts lose
  // their control characters on reading.
  const std::string name = "we\"ird\tname\x01.jww";
  fs::copy_file(dir.Native("plan.jww"), dir.Native(name));
  const Described d = Describe(dir.Path(name), true);
  EXPECT_TRUE(d.complete);
  EXPECT_NE(d.text.find("we\\\"ird\\u0009name\\u0001.jww\""), std::string::npos) << d.text;
  EXPECT_EQ(ParseJson(d.text)["path"].string, Native(name));

  // A person's lines show the control bytes instead of obeying them.
  const std::string text = Describe(dir.Path(name)).text;
  EXPECT_EQ(Lines(text).at(0), dir.path().string() + "/we\"ird\\x09name\\x01.jww");
}

// ---- Drawings that cannot be read fully --------------------------------------------

TEST_F(InfoDrawing, ATruncatedImageIsDamageAndTheRestIsStillTold) {
  Bytes bytes = testutil::ReadBytes(dir.Native("plan.jww"));
  bytes.resize(bytes.size() - 1000 - 100);  // inside a.jpg.gz's data
  testutil::WriteBytes(dir.Native("cut.jww"), bytes);

  const Described d = Describe(dir.Path("cut.jww"));
  EXPECT_FALSE(d.complete);
  const std::vector<std::string> lines = Lines(d.text);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[1], "  damaged: the embedded image \"a.jpg.gz\" ends early");
  EXPECT_EQ(lines[3], "  entities: 8 texts, 1 block insertion; in blocks: 2 texts");
  EXPECT_NE(d.text.find("  image references (8):\n"), std::string::npos);

  const Json j = ParseJson(Describe(dir.Path("cut.jww"), true).text);
  EXPECT_FALSE(j["complete"].boolean);
  EXPECT_EQ(j["error"].string, "the embedded image \"a.jpg.gz\" ends early");
  EXPECT_EQ(j["imageReferences"].items.size(), 8u);
}

TEST_F(InfoDrawing, ATruncatedEntityListIsDamage) {
  Bytes bytes = testutil::ReadBytes(dir.Native("plan.jww"));
  // 200 bytes more than the images' data (their names, sizes and count take
  // 47) ends inside the block definitions.
  const std::size_t cut = bytes.size() - 12345 - 1000 - 5 - 200;
  bytes.resize(cut);
  testutil::WriteBytes(dir.Native("cut.jww"), bytes);
  const Described d = Describe(dir.Path("cut.jww"));
  EXPECT_FALSE(d.complete);
  EXPECT_NE(Lines(d.text).at(1).find("damaged: the file ends at byte " + std::to_string(cut)),
            std::string::npos)
      << d.text;

  // So short that not even the version is there.
  bytes.resize(6);
  testutil::WriteBytes(dir.Native("stub.jww"), bytes);
  const Described stub = Describe(dir.Path("stub.jww"));
  EXPECT_FALSE(stub.complete);
  EXPECT_EQ(Lines(stub.text).at(2), "  version unknown, strings Shift-JIS");
  EXPECT_EQ(Lines(stub.text).at(3), "  entities: none");
  EXPECT_EQ(Lines(stub.text).at(4), "  block definitions: none");
  EXPECT_TRUE(ParseJson(Describe(dir.Path("stub.jww"), true).text)["version"].IsNull());
}

TEST_F(InfoDrawing, AnImageNameReachingOutsideIsDamage) {
  testutil::WriteBytes(dir.Native("evil.jww"), DrawingBytes({}, {}, {{"..\\up.gz", Filler(3)}}));
  const auto before = Tree(dir.path());
  const Described d = Describe(dir.Path("evil.jww"));
  EXPECT_FALSE(d.complete);
  EXPECT_NE(
      d.text.find("  damaged: the embedded image name \"..\\up.gz\" is not a plain file name"),
      std::string::npos)
      << d.text;
  EXPECT_EQ(Tree(dir.path()), before);
}

TEST(InfoUnread, MissingOldForeignAndShutFiles) {
  TempDir dir;
  const Described missing = Describe(dir.Path("nothing.jww"));
  EXPECT_FALSE(missing.complete);
  EXPECT_EQ(missing.text, dir.Native("nothing.jww").string() + "\n  not read: no such file\n");
  const Json j = ParseJson(Describe(dir.Path("nothing.jww"), true).text);
  EXPECT_EQ(j.keys, (std::vector<std::string>{"path", "cp932Name", "complete", "error"}));
  EXPECT_FALSE(j["complete"].boolean);
  EXPECT_EQ(j["error"].string, "no such file");

  jwwfixture::JwwBuilder old(210);
  old.Raw(std::string("JwwData."));
  old.Dword(210);
  old.String("memo");
  testutil::WriteBytes(dir.Native("old.jww"), old.bytes());
  const Described o = Describe(dir.Path("old.jww"));
  EXPECT_FALSE(o.complete);
  EXPECT_EQ(Lines(o.text).at(1),
            "  not read: version 2.10 is older than 2.20, the oldest readable");

  Bytes foreign = {'P', 'K', 3, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  testutil::WriteBytes(dir.Native("zip.jww"), foreign);
  EXPECT_EQ(Lines(Describe(dir.Path("zip.jww")).text).at(1),
            "  not read: not a Jw_cad drawing (it does not begin with \"JwwData.\")");

  platform::FaultyOs faulty;
  faulty.failOpenReadAt = 1;
  faulty.failFromThenOn = true;
  platform::ScopedOs use(faulty);
  const Described shut = Describe(dir.Path("zip.jww"));
  EXPECT_FALSE(shut.complete);
  EXPECT_EQ(Lines(shut.text).at(1), "  not read: the file cannot be opened");
}

// ---- Nothing written --------------------------------------------------------------

namespace {

// The globals a conversion sets, put back however the test ends.
struct SavedGlobals {
  std::u16string work = WorkFolder, staging = StagingFolder;
  std::vector<TBindImageType> staged = StagedImages;
  ~SavedGlobals() {
    WorkFolder = work;
    StagingFolder = staging;
    StagedImages = staged;
  }
};

}  // namespace

TEST_F(InfoDrawing, DescribingWritesNothingEvenWithAStagingFolderSet) {
  // Set up as a conversion would be, with a staging folder that exists, so
  // that an extraction would succeed and show in the tree watched.
  SavedGlobals saved;
  fs::create_directories(dir.Native("home"));
  fs::create_directories(dir.Native("stage"));
  WorkFolder = dir.Path("home") + u"\\TEMP\\";
  StagingFolder = dir.Path("stage") + u"\\";

  const auto before = Tree(dir.path());
  platform::FaultyOs faulty;
  {
    platform::ScopedOs use(faulty);
    EXPECT_TRUE(Describe(dir.Path("plan.jww")).complete);
    EXPECT_TRUE(Describe(dir.Path("plan.jww"), true, true).complete);
    EXPECT_FALSE(Describe(dir.Path("missing.jww")).complete);
  }
  EXPECT_EQ(Tree(dir.path()), before);
  EXPECT_FALSE(fs::exists(dir.Native("home/TEMP")));
  EXPECT_EQ(faulty.createCalls, 0);
  EXPECT_EQ(faulty.writeCalls, 0);
  EXPECT_EQ(faulty.renameCalls, 0);
  EXPECT_EQ(faulty.deleteCalls, 0);
  EXPECT_GT(faulty.openReadCalls, 0) << "the wrapper saw the reads";
}

// ---- Drawings Jw_cad wrote --------------------------------------------------------

TEST(InfoCorpus, EveryDrawingIsReadFully) {
  const auto drawings = testutil::CorpusDrawings();
  if (drawings.empty()) GTEST_SKIP() << "no corpus";
  for (const fs::path& p : drawings) {
    SCOPED_TRACE(p.string());
    const platform::Path internal = testutil::InternalPath(p);
    const Described text = Describe(internal);
    EXPECT_TRUE(text.complete) << text.text;
    const Described json = Describe(internal, true);
    EXPECT_TRUE(json.complete);
    const Json j = ParseJson(json.text);
    EXPECT_TRUE(j["complete"].boolean);
    // The corpus's own table: the u16_ drawings store UTF-16, the rest bytes;
    // none holds an image reference or an image.
    const bool u16 = p.filename().string().starts_with("u16_");
    EXPECT_EQ(j["strings"].string, u16 ? "UTF-16" : "Shift-JIS");
    EXPECT_TRUE(j["imageReferences"].items.empty());
    EXPECT_TRUE(j["embeddedImages"].items.empty());
    EXPECT_GT(j["entities"]["lines"].number + j["entities"]["texts"].number, 0);
  }
}
