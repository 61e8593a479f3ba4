// A walk of injected faults over four whole runs of the program: one
// conversion of a drawing with images, a batch of three drawings, a save of
// the settings and an external transformation. Each run is made once with
// nothing failing, to count the calls of every kind it makes, and then once
// for every one of those calls with just that call failing (and once with
// that write writing only half, as on a full disk). After every run the
// same invariants are checked against a snapshot of the whole test tree;
// the tree is then put back as it was, so that every run starts from the
// same disk and no leftover of one fault reaches the next run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>

#include "app/Unit1.h"
#include "app/UnitGval.h"
#include "embed/staging.h"
#include "platform/unicode.h"
#include "testing/fake_desktop.h"
#include "testing/jwwfixture.h"
#include "testing/memory_os.h"
#include "testing/testutil.h"

namespace fs = std::filesystem;
using platform::FaultyOs;
using testutil::FakeDesktop;
using testutil::TempDir;

namespace {

using Bytes = std::vector<std::uint8_t>;

// ---------------------------------------------------------------- the tree

struct Node {
  bool folder = false;
  Bytes bytes;
  bool operator==(const Node&) const = default;
};
// Every file and folder below a root, by its path relative to the root in
// UTF-8 with "/" between components.
using Tree = std::map<std::string, Node>;

std::string Relative(const fs::path& p, const fs::path& root) {
  const std::u8string u8 = p.lexically_relative(root).generic_u8string();
  return std::string(u8.begin(), u8.end());
}

// The paths and sizes alone (a folder's size -1): enough to tell that a
// tree was put back, at a fraction of the cost of reading it.
std::map<std::string, long long> Listing(const fs::path& root) {
  std::map<std::string, long long> listing;
  for (const auto& e : fs::recursive_directory_iterator(root))
    listing.emplace(Relative(e.path(), root),
                    e.is_directory() ? -1 : static_cast<long long>(e.file_size()));
  return listing;
}

std::map<std::string, long long> Listing(const Tree& tree) {
  std::map<std::string, long long> listing;
  for (const auto& [path, node] : tree)
    listing.emplace(path, node.folder ? -1 : static_cast<long long>(node.bytes.size()));
  return listing;
}

Tree Snapshot(const fs::path& root) {
  Tree tree;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    Node node;
    node.folder = e.is_directory();
    if (!node.folder) node.bytes = testutil::ReadBytes(e.path());
    tree.emplace(Relative(e.path(), root), std::move(node));
  }
  return tree;
}

// Puts the tree below `root` back from `after` to `before`.
void Restore(const fs::path& root, const Tree& before, const Tree& after) {
  std::error_code ec;
  // Children sort after their folder: backwards, they go first.
  for (auto it = after.rbegin(); it != after.rend(); ++it) {
    auto old = before.find(it->first);
    if (old == before.end() || old->second.folder != it->second.folder)
      fs::remove_all(root / testutil::PathFromUtf8(it->first), ec);
  }
  for (const auto& [path, node] : before) {
    auto now = after.find(path);
    if (now != after.end() && now->second == node) continue;
    const fs::path p = root / testutil::PathFromUtf8(path);
    if (node.folder) {
      fs::create_directories(p);
    } else {
      fs::create_directories(p.parent_path());
      testutil::WriteBytes(p, node.bytes);
    }
  }
}

bool Under(const std::string& path, const std::string& folder) {
  return path == folder || path.rfind(folder + "/", 0) == 0;
}

// ---------------------------------------------------------------- invariants

// What a run may leave different in the tree (paths relative to its root).
struct Allowed {
  std::set<std::string> added;     // files that may appear: outputs that succeeded
  std::set<std::string> replaced;  // files that may change or go
  // The work folder, where the run stages its images: it may leave things
  // there only when a delete failed, for it cleans up after itself.
  std::string scratch;
  bool scratchMayStay = false;
};

// A source drawing, its images and every other input are never modified.
void ExpectSourcesUnchanged(const Tree& before, const Tree& after,
                            const std::vector<std::string>& sources, const std::string& label) {
  for (const std::string& source : sources) {
    ASSERT_TRUE(before.count(source)) << "not a source: " << source;
    auto now = after.find(source);
    EXPECT_TRUE(now != after.end() && now->second == before.at(source))
        << label << ": the source " << source << " changed";
  }
}

// An output never replaces an existing file, no temporary or partial file
// stays, and nothing outside the destination and the program's folders
// changes: every difference between the snapshots must be allowed.
void ExpectOnlyAllowedChanges(const Tree& before, const Tree& after, const Allowed& allowed,
                              const std::string& label) {
  auto inScratch = [&](const std::string& path) {
    return !allowed.scratch.empty() && Under(path, allowed.scratch);
  };
  for (const auto& [path, node] : before) {
    auto now = after.find(path);
    if (now != after.end() && now->second == node) continue;
    if (allowed.replaced.count(path) || inScratch(path)) continue;
    ADD_FAILURE() << label << ": " << path << (now == after.end() ? " is gone" : " was changed");
  }
  for (const auto& [path, node] : after) {
    if (before.count(path) || allowed.added.count(path)) continue;
    if (inScratch(path) && allowed.scratchMayStay) continue;
    ADD_FAILURE() << label << ": " << path << " was left behind";
  }
}

// The program never even asks to change anything outside the given folders:
// the snapshot cannot see what lies outside the tree.
void ExpectChangesAskedOnlyInside(const FaultyOs& os, const std::vector<platform::Path>& folders,
                                  const std::string& label) {
  for (const std::string& path : os.changedPaths) {
    bool inside = false;
    for (const platform::Path& folder : folders)
      inside =
          inside || platform::MemoryOs::IsInside(path, platform::MemoryOs::WideSpelling(folder));
    EXPECT_TRUE(inside) << label << ": asked to change " << path;
  }
}

// The five counts of a result line.
std::vector<int> Counts(const std::string& line) {
  std::vector<int> counts;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] != ':') continue;
    counts.push_back(std::atoi(line.c_str() + i + 1));
  }
  return counts;
}

// True when `result` is `good` but for images an injected read failure
// left missing: the same references, some counted missing instead of
// embedded.
bool ImagesLeftMissing(const std::string& result, const std::string& good) {
  const std::vector<int> r = Counts(result), g = Counts(good);
  return r.size() == 5 && g.size() == 5 && r[1] + r[3] == g[1] + g[3] &&
         r[2] + r[4] == g[2] + g[4] && r[3] + r[4] > g[3] + g[4] && r[0] < g[0];
}

// A failed conversion says so and why; a successful one says exactly what
// the run without faults said, or, when an image could not be read, counts
// it missing and warns about it.
void ExpectResult(const std::string& result, const std::string& reason, const std::string& good,
                  bool warned, const std::string& label) {
  if (result == kResultFailed) {
    EXPECT_NE(reason, "") << label << ": a failure without a reason";
  } else if (result != good) {
    EXPECT_TRUE(ImagesLeftMissing(result, good) && warned) << label << ": " << result;
  }
}

// The settings file after a save: its old bytes when the save failed, the
// new ones when it succeeded; never a mixture, never gone. `saved` is what
// the save said, when the caller heard it.
void ExpectSettingsOldOrNew(const Tree& after, const std::string& file, const Bytes& old,
                            const Bytes& fresh, std::optional<bool> saved,
                            const std::string& label) {
  auto now = after.find(file);
  ASSERT_TRUE(now != after.end()) << label << ": the settings file is gone";
  const Bytes& bytes = now->second.bytes;
  if (saved) {
    EXPECT_TRUE(bytes == (*saved ? fresh : old))
        << label << ": the save said " << (*saved ? "yes" : "no") << " but left the "
        << (bytes == old     ? "old file"
            : bytes == fresh ? "new file"
                             : "file neither");
  } else {
    EXPECT_TRUE(bytes == old || bytes == fresh)
        << label << ": the settings file is neither the old nor the new one (" << bytes.size()
        << " bytes)";
  }
}

// A converted drawing as read back: its texts, and the image bytes of every
// embedded reference by the reference's parameters (the part from its first
// ","), which stay the same whatever name the image was given.
struct Drawn {
  std::vector<std::string> top, block;
  std::map<std::string, Bytes> images;
  bool operator==(const Drawn&) const = default;
};

bool IsEmbeddedRef(const std::string& s) {
  return s.rfind(kEmbeddedRefPrefix, 0) == 0;
}

// `got` is `golden` but that some references embedded there are left as
// the source drawing had them (their images could not be read); every
// image it does hold is golden's.
void ExpectGoldenOrImagesMissing(const Drawn& got, const Drawn& golden, const std::string& label) {
  if (got == golden) return;
  const auto same = [&](const std::vector<std::string>& a, const std::vector<std::string>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
      if (a[i] != b[i] &&
          !(IsEmbeddedRef(b[i]) && !IsEmbeddedRef(a[i]) && a[i].rfind(kLiveRefPrefix, 0) == 0))
        return false;
    return true;
  };
  EXPECT_TRUE(same(got.top, golden.top) && same(got.block, golden.block)) << label;
  for (const auto& [params, bytes] : got.images) {
    auto it = golden.images.find(params);
    EXPECT_TRUE(it != golden.images.end() && it->second == bytes) << label << ": image " << params;
  }
}

// ---------------------------------------------------------------- the walk

struct FaultKind {
  const char* name;
  int FaultyOs::*at;
  int FaultyOs::*calls;
};

const FaultKind kKinds[] = {
    {"open", &FaultyOs::failOpenReadAt, &FaultyOs::openReadCalls},
    {"create", &FaultyOs::failCreateAt, &FaultyOs::createCalls},
    {"read", &FaultyOs::failReadAt, &FaultyOs::readCalls},
    {"write", &FaultyOs::failWriteAt, &FaultyOs::writeCalls},
    {"short write", &FaultyOs::shortWriteAt, &FaultyOs::writeCalls},
    {"rename", &FaultyOs::failRenameAt, &FaultyOs::renameCalls},
    {"delete", &FaultyOs::failDeleteAt, &FaultyOs::deleteCalls},
    {"close", &FaultyOs::failCloseAt, &FaultyOs::closeCalls},
};

// The faults that last once they come, walked from every call on in every
// scenario: a folder that takes no more files, a full disk. The others are
// walked so for the one drawing only: under Wine every run costs several
// times what it costs on Linux.
const std::set<std::string> kLasting = {"create", "write", "short write"};

int FailureParts() {
  return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
}

class FaultWalk : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder : {"home", "src", "out", "desk", "docs", "cwd"})
      fs::create_directories(Native(folder));
    // A relative path that slipped through would land here, inside the
    // tree, where the snapshot sees it.
    previousFolder = fs::current_path();
    fs::current_path(Native("cwd"));
  }
  void TearDown() override {
    fs::current_path(previousFolder);
    ResetConversionState();
  }

  static void ResetConversionState() {
    ClearStagedImages();
    EmbeddedImages.clear();
    StagingFolder.clear();
  }

  // Paths of the tree: `rel` is UTF-8 with "/" between components.
  fs::path Native(const std::string& rel) const {
    fs::path p = root.path() / testutil::PathFromUtf8(rel);
    p.make_preferred();
    return p;
  }
  platform::Path In(const std::string& rel) const { return testutil::InternalPath(Native(rel)); }
  platform::Path Folder(const std::string& rel) const { return In(rel) + u"\\"; }
  // home/marrowfold.dat as the defaults save it (empty if that fails).
  Bytes DefaultSettings() {
    ProgramFolder = Folder("home");
    TForm1 form;
    form.LoadSettings(In("home/marrowfold.dat"));
    if (!form.SaveSettings(In("home/marrowfold.dat"))) return {};
    return testutil::ReadBytes(Native("home/marrowfold.dat"));
  }

  static Bytes Pattern(std::size_t size, unsigned seed) {
    // Not compressible, so that compressing and storing it take as many
    // reads and writes as its size asks.
    Bytes b(size);
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& c : b) {
      x ^= x << 13;
      x ^= x >> 17;
      x ^= x << 5;
      c = static_cast<std::uint8_t>(x);
    }
    return b;
  }

  // The drawing at `path` read back, in memory: a staging folder on disk
  // for every check would cost more than the conversion checked.
  static Drawn ReadBack(const platform::Path& path) {
    platform::MemoryOs memory;
    const std::string copy = "C:\\check\\drawing.jww";
    Drawn drawn;
    const std::u16string staging = StagingFolder;
    try {
      memory.AddFile(copy, testutil::ReadThrough(platform::Native(), path));
      memory.AddFolder("C:\\check\\staging");
      StagingFolder = u"C:\\check\\staging\\";
      platform::ScopedOs use(memory);
      platform::ScopedDesktop useDesktop(memory);
      TJwwData d;
      if (!d.LoadFromFile(SjisToUtf16(copy), &StagedImageFiles()))
        throw std::runtime_error(d.LastError);
      auto texts = [](const TEntityLists& lists, std::vector<std::string>& out) {
        for (const auto& t : lists.Texts) out.emplace_back(t.Text.text());
      };
      texts(d, drawn.top);
      for (const auto& def : d.BlockDefs) texts(def.Entities, drawn.block);
      const auto byName = testutil::ImagesOf(SjisToUtf16(copy));
      const std::string prefix = kEmbeddedRefPrefix;
      for (const auto* list : {&drawn.top, &drawn.block})
        for (const std::string& s : *list) {
          if (s.rfind(prefix, 0) != 0) continue;
          const std::size_t comma = s.find(',');
          drawn.images[s.substr(comma)] = byName.at(s.substr(prefix.size(), comma - prefix.size()));
        }
    } catch (const std::exception& e) {
      ADD_FAILURE() << testutil::Shown(path) << " cannot be read back: " << e.what();
    }
    ClearStagedImages();
    StagingFolder = staging;
    return drawn;
  }

  // Runs `run` with nothing failing, then once per call of every kind with
  // that call failing, then for the kinds named in `fromThenOn` once per
  // call with it and every later call of its kind failing; checks each run
  // with `check` against a snapshot taken after it, and puts the tree back.
  // Returns the number of runs.
  int Walk(const std::string& scenario, const std::function<void(FakeDesktop&)>& run,
           const std::function<void(const FakeDesktop&, const Tree& before, const Tree& after,
                                    const std::string& label)>& check,
           const std::set<std::string>& fromThenOn) {
    const Tree baseline = Snapshot(root.path());
    int runs = 0;
    auto once = [&](FakeDesktop& os, const std::string& label) {
      os.desktop = In("desk");
      os.documents = In("docs");
      run(os);
      ++runs;
      const Tree after = Snapshot(root.path());
      check(os, baseline, after, label);
      Restore(root.path(), baseline, after);
      const bool same = Listing(root.path()) == Listing(baseline);
      if (!same) {
        ADD_FAILURE() << label << ": the tree could not be put back";
        return false;
      }
      return true;
    };

    FakeDesktop counting;
    if (!once(counting, scenario + ", no fault")) return runs;
    if (HasFailure()) return runs;  // the good run itself is wrong
    // The walk fails call N of what the counting run did: a second run must
    // make the same calls (the staging folder's name included).
    FakeDesktop again;
    if (!once(again, scenario + ", no fault, again")) return runs;
    for (const FaultKind& kind : kKinds)
      EXPECT_EQ(again.*kind.calls, counting.*kind.calls) << scenario << ": " << kind.name;
    if (HasFailure()) return runs;
    for (bool thenOn : {false, true}) {
      for (const FaultKind& kind : kKinds) {
        if (thenOn && !fromThenOn.count(kind.name)) continue;
        const int calls = counting.*kind.calls;
        for (int n = 1; n <= calls; ++n) {
          FakeDesktop faulty;
          faulty.*kind.at = n;
          faulty.failFromThenOn = thenOn;
          const std::string label = scenario + ", " + kind.name + " " + std::to_string(n) + " of " +
                                    std::to_string(calls) + (thenOn ? " and on" : "");
          const int parts = FailureParts();
          if (!once(faulty, label)) return runs;
          // One failing run of a kind tells enough; the others would
          // mostly repeat it.
          if (FailureParts() != parts) break;
        }
      }
    }
    RecordProperty("runs", runs);
    return runs;
  }

  TempDir root, scratch;
  fs::path previousFolder;
};

// ---------------------------------------------------------------- 1. one drawing

TEST_F(FaultWalk, OneDrawingWithImages) {
  // Images at the top level and in a block definition, one the drawing
  // carries already, and enough texts that the drawing is read and written
  // in several pieces.
  fs::create_directories(Native("src/img"));
  // a moves in several pieces of 128 KiB, b and c in one.
  const Bytes a = Pattern(300000, 1), b = Pattern(3000, 2), c = Pattern(2500, 3);
  testutil::WriteBytes(Native("src/img/a.bmp"), a);
  testutil::WriteBytes(Native("src/img/b.bmp"), b);
  std::vector<std::string> texts = {"^@BMimg\\a.bmp,1", "^@BM%temp%c.bmp,5"};
  for (int i = 0; i < 1200; ++i) texts.push_back("filler text number " + std::to_string(i));
  testutil::WriteDrawing(In("src/plan.jww"), texts, {"^@BMimg\\b.bmp,2"});
  {
    testutil::WriteBytes(scratch.Native("c.bmp"), c);
    std::string reason;
    ASSERT_TRUE(GzipCompressFile(scratch.Path("c.bmp"), scratch.Path("c.bmp.gz"), reason))
        << reason;
    const Bytes gz = testutil::ReadBytes(scratch.Native("c.bmp.gz"));
    Bytes drawing = testutil::ReadBytes(Native("src/plan.jww"));
    ASSERT_EQ(Bytes(drawing.end() - 4, drawing.end()), Bytes(4, 0)) << "an empty image section";
    drawing.resize(drawing.size() - 4);
    jwwfixture::JwwBuilder section(700);
    section.Dword(1);
    section.String("c.bmp.gz");
    section.Dword(static_cast<std::int32_t>(gz.size()));
    section.Raw(gz);
    drawing.insert(drawing.end(), section.bytes().begin(), section.bytes().end());
    testutil::WriteBytes(Native("src/plan.jww"), drawing);
    ASSERT_GT(drawing.size(), 2u * 64 * 1024) << "read in one or two pieces only";
  }
  // Someone else's drawing, and the temporary of another run writing
  // plan.jww into the same folder right now.
  testutil::WriteText(Native("out/other.jww"), "someone else's drawing");
  testutil::WriteText(Native("out/plan.jww.~1.tmp"), "another run's drawing, half written");

  std::string result, reason, good;
  bool warned = false;
  int imagesLeftMissing = 0;  // runs where a failed read of an image left it out
  Drawn golden;
  auto run = [&](FakeDesktop& os) {
    ResetConversionState();
    ProgramFolder = Folder("home");
    WorkFolder = ProgramFolder + u"TEMP\\";
    platform::ScopedOs use(os);
    platform::ScopedDesktop useDesktop(os);
    std::string why;
    ASSERT_TRUE(CreateWorkFolder(why)) << why;
    TForm1 form;
    form.PathInEmbeddedName = false;
    result = form.ConvertFile(In("src/plan.jww"), In("out/plan.jww"));
    reason = form.FailureReason;
    warned = !form.Warnings.empty();
    form.ResetConversion();
    RemoveWorkFolder();
  };
  auto check = [&](const FakeDesktop& os, const Tree& before, const Tree& after,
                   const std::string& label) {
    const bool ok = result != kResultFailed;
    if (good.empty()) {
      // The run without faults, against what the drawing holds.
      ASSERT_EQ(result, ResultOkLine(2, 1, 1, 0, 0)) << reason;
      good = result;
      golden = ReadBack(In("out/plan.jww"));
      ASSERT_EQ(golden.top.size(), texts.size());
      EXPECT_EQ(golden.block, std::vector<std::string>{"^@BM%temp%b.bmp,2"});
      EXPECT_EQ(golden.images, (std::map<std::string, Bytes>{{",1", a}, {",2", b}, {",5", c}}));
      EXPECT_GE(os.readCalls, 4);
      EXPECT_GE(os.writeCalls, 4);
    }
    ExpectResult(result, reason, good, warned, label);
    ExpectSourcesUnchanged(before, after, {"src/plan.jww", "src/img/a.bmp", "src/img/b.bmp"},
                           label);
    Allowed allowed;
    if (ok) allowed.added = {"out/plan.jww"};
    allowed.scratch = "home/TEMP";
    allowed.scratchMayStay = os.failDeleteAt != 0;
    ExpectOnlyAllowedChanges(before, after, allowed, label);
    ExpectChangesAskedOnlyInside(os, {In("home"), In("out")}, label);
    if (ok) ExpectGoldenOrImagesMissing(ReadBack(In("out/plan.jww")), golden, label);
    if (ok && result != good) ++imagesLeftMissing;
  };
  std::set<std::string> everyKind;
  for (const FaultKind& kind : kKinds) everyKind.insert(kind.name);
  EXPECT_GT(Walk("one drawing", run, check, everyKind), 90);
  // The opens and reads of a.bmp and b.bmp: each such failure converts the
  // drawing without that image.
  EXPECT_GE(imagesLeftMissing, 4);
}

TEST_F(FaultWalk, OneUtf16DrawingWithNamesBeyondShiftJis) {
  // Paths and a stored name that Shift-JIS cannot hold take the wide calls,
  // which fail and are counted like the others.
  fs::create_directories(Native("src/img"));
  const Bytes a = Pattern(5000, 5), b = Pattern(2500, 6), c = Pattern(2000, 7);
  testutil::WriteBytes(Native("src/img/\xC3\x9Cn\xC3\xAF_\xE8\xA1\xA8.png"), a);  // Ünï_表.png
  testutil::WriteBytes(Native("src/plan\xE3\x80\x9C"
                              "1.png"),
                       b);  // plan〜1.png
  testutil::WriteBytes(scratch.Native("c.png"), c);
  std::string why;
  ASSERT_TRUE(GzipCompressFile(scratch.Path("c.png"), scratch.Path("c.gz"), why)) << why;
  const Bytes gz = testutil::ReadBytes(scratch.Native("c.gz"));
  jwwfixture::JwwBuilder section(700);
  section.Dword(1);
  section.Utf16String(u"\u00E9.png.gz");
  section.Dword(static_cast<std::int32_t>(gz.size()));
  section.Raw(gz);
  testutil::WriteWideDrawing(In("src/plan.jww"),
                             {testutil::Wide(u"^@BMimg\\\u00DCn\u00EF_\u8868.png,1"),
                              testutil::Wide(u"^@BM%temp%\u00E9.png,5")},
                             {testutil::Wide(u"^@BMplan\u301C1.png,2")}, section.bytes());

  // The images of a converted drawing by reference, read in memory.
  auto imagesOf = [](const platform::Path& path) {
    platform::MemoryOs memory;
    std::map<std::u16string, std::string> images;
    const std::u16string staging = StagingFolder;
    try {
      memory.AddFile("C:\\check\\drawing.jww", testutil::ReadThrough(platform::Native(), path));
      memory.AddFolder("C:\\check\\staging");
      StagingFolder = u"C:\\check\\staging\\";
      platform::ScopedOs use(memory);
      platform::ScopedDesktop useDesktop(memory);
      images = testutil::WideImagesOf(u"C:\\check\\drawing.jww");
    } catch (const std::exception& e) {
      ADD_FAILURE() << testutil::Shown(path) << " cannot be read back: " << e.what();
    }
    ClearStagedImages();
    StagingFolder = staging;
    return images;
  };
  std::string result, reason, good;
  bool warned = false;
  std::map<std::u16string, std::string> golden;
  auto run = [&](FakeDesktop& os) {
    ResetConversionState();
    ProgramFolder = Folder("home");
    WorkFolder = ProgramFolder + u"TEMP\\";
    platform::ScopedOs use(os);
    platform::ScopedDesktop useDesktop(os);
    std::string why;
    ASSERT_TRUE(CreateWorkFolder(why)) << why;
    TForm1 form;
    form.PathInEmbeddedName = false;
    result = form.ConvertFile(In("src/plan.jww"), In("out/plan.jww"));
    reason = form.FailureReason;
    warned = !form.Warnings.empty();
    form.ResetConversion();
    RemoveWorkFolder();
  };
  auto check = [&](const FakeDesktop& os, const Tree& before, const Tree& after,
                   const std::string& label) {
    const bool ok = result != kResultFailed;
    if (good.empty()) {
      ASSERT_EQ(result, ResultOkLine(2, 1, 1, 0, 0)) << reason;
      good = result;
      golden = imagesOf(In("out/plan.jww"));
      const auto text = [](const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); };
      EXPECT_EQ(golden,
                (std::map<std::u16string, std::string>{{u"\u00DCn\u00EF_\u8868.png", text(a)},
                                                       {u"plan\u301C1.png", text(b)},
                                                       {u"\u00E9.png", text(c)}}));
    }
    ExpectResult(result, reason, good, warned, label);
    ExpectSourcesUnchanged(before, after,
                           {"src/plan.jww", "src/img/\xC3\x9Cn\xC3\xAF_\xE8\xA1\xA8.png",
                            "src/plan\xE3\x80\x9C"
                            "1.png"},
                           label);
    Allowed allowed;
    if (ok) allowed.added = {"out/plan.jww"};
    allowed.scratch = "home/TEMP";
    allowed.scratchMayStay = os.failDeleteAt != 0;
    ExpectOnlyAllowedChanges(before, after, allowed, label);
    ExpectChangesAskedOnlyInside(os, {In("home"), In("out")}, label);
    if (ok) {
      // Every image stored is golden's; one that could not be read is not.
      for (const auto& [name, bytes] : imagesOf(In("out/plan.jww")))
        EXPECT_EQ(golden.at(name), bytes) << label;
      if (result == good) {
        EXPECT_EQ(imagesOf(In("out/plan.jww")), golden) << label;
      }
    }
  };
  std::set<std::string> everyKind;
  for (const FaultKind& kind : kKinds) everyKind.insert(kind.name);
  EXPECT_GT(Walk("one UTF-16 drawing", run, check, everyKind), 50);
}

// ---------------------------------------------------------------- 2. a batch

TEST_F(FaultWalk, BatchOfThreeDrawings) {
  fs::create_directories(Native("src/batch/img"));
  const Bytes d = Pattern(300000, 4);  // several pieces of 128 KiB
  testutil::WriteBytes(Native("src/batch/img/d.bmp"), d);
  testutil::WriteTextDrawing(Native("src/batch/a.jww"), {"plain text a"});
  testutil::WriteDrawing(In("src/batch/b.jww"), {"^@BMimg\\d.bmp,1", "text b"});
  testutil::WriteTextDrawing(Native("src/batch/c.jww"), {"plain text c"});
  const std::vector<std::string> sources = {"src/batch/a.jww", "src/batch/b.jww",
                                            "src/batch/c.jww"};
  // b.jww is someone else's: the batch's b.jww becomes b~1.jww.
  const std::vector<std::string> outputs = {"out/a.jww", "out/b~1.jww", "out/c.jww"};
  testutil::WriteText(Native("out/b.jww"), "someone else's b.jww");
  testutil::WriteText(Native("out/notes.txt"), "the user's notes");
  // The settings of the last run: the defaults, so that a start that could
  // not read them runs exactly as one that could.
  const Bytes oldSettings = DefaultSettings();
  ASSERT_FALSE(oldSettings.empty());

  struct FileResult {
    platform::Path source;
    std::string result, reason;
    bool warned = false;
  };
  std::vector<FileResult> results;
  std::vector<std::string> log;
  TBatchReport batch;
  bool started = false;
  auto run = [&](FakeDesktop& os) {
    ResetConversionState();
    results.clear();
    platform::ScopedOs use(os);
    platform::ScopedDesktop useDesktop(os);
    TForm1 form;
    form.ProgramFile = In("home/marrowfold");
    started = form.Startup();
    form.SetRadioButton(4, true);
    form.Edit1 = In("out");
    form.OnFileConverted = [&](const platform::Path& source, const std::string& result) {
      results.push_back({source, result, form.FailureReason, !form.Warnings.empty()});
    };
    std::vector<platform::Path> drop;
    for (const std::string& source : sources) drop.push_back(In(source));
    form.OnDropFiles(drop);
    log = form.ListBox1.Items;
    batch = form.LastBatch;
    form.FormClose();
  };

  std::vector<std::string> goodResults;
  std::vector<Drawn> golden;
  Bytes newSettings;
  auto check = [&](const FakeDesktop& os, const Tree& before, const Tree& after,
                   const std::string& label) {
    if (goodResults.empty()) {
      const std::string ok0 = ResultOkLine(0, 0, 0, 0, 0);
      for (const auto& r : results) goodResults.push_back(r.result);
      ASSERT_EQ(goodResults, (std::vector<std::string>{ok0, ResultOkLine(1, 1, 0, 0, 0), ok0}));
      for (const std::string& output : outputs) golden.push_back(ReadBack(In(output)));
      EXPECT_EQ(golden[1].images, (std::map<std::string, Bytes>{{",1", d}}));
      newSettings = after.at("home/marrowfold.dat").bytes;
      EXPECT_NE(newSettings, oldSettings);
    }
    EXPECT_TRUE(started) << label;
    ASSERT_EQ(results.size(), 3u) << label;
    ASSERT_EQ(log.size(), 9u) << label;
    EXPECT_TRUE(batch.ran) << label;
    EXPECT_EQ(batch.converted + batch.failed, 3) << label;
    Allowed allowed;
    allowed.replaced = {"home/marrowfold.dat"};
    allowed.scratch = "home/TEMP";
    allowed.scratchMayStay = os.failDeleteAt != 0;
    for (std::size_t i = 0; i < 3; ++i) {
      const std::string file = label + ", " + sources[i];
      EXPECT_EQ(results[i].source, In(sources[i])) << file;
      EXPECT_EQ(log[3 * i], PathInText(In(sources[i]))) << file;
      EXPECT_EQ(log[3 * i + 2], kLogResult + results[i].result) << file;
      ExpectResult(results[i].result, results[i].reason, goodResults[i], results[i].warned, file);
      if (results[i].result == kResultFailed) continue;
      EXPECT_EQ(log[3 * i + 1], kLogArrow + PathInText(In(outputs[i]))) << file;
      allowed.added.insert(outputs[i]);
      ExpectGoldenOrImagesMissing(ReadBack(In(outputs[i])), golden[i], file);
    }
    ExpectSourcesUnchanged(
        before, after,
        {"src/batch/a.jww", "src/batch/b.jww", "src/batch/c.jww", "src/batch/img/d.bmp"}, label);
    ExpectOnlyAllowedChanges(before, after, allowed, label);
    ExpectChangesAskedOnlyInside(os, {In("home"), In("out")}, label);
    ExpectSettingsOldOrNew(after, "home/marrowfold.dat", oldSettings, newSettings, std::nullopt,
                           label);
  };
  EXPECT_GT(Walk("batch", run, check, kLasting), 60);
}

// ---------------------------------------------------------------- 3. the settings

TEST_F(FaultWalk, SettingsSave) {
  ProgramFolder = Folder("home");
  const platform::Path path = In("home/marrowfold.dat");
  {
    TForm1 form;
    form.Edit1 = u"C:\\old";
    ASSERT_TRUE(form.SaveSettings(path));
  }
  const Bytes oldSettings = testutil::ReadBytes(Native("home/marrowfold.dat"));
  // What a run that died in the middle of its save left.
  testutil::WriteText(Native("home/marrowfold.dat.~1.tmp"), "another run's settings, half");

  bool saved = false;
  auto run = [&](FakeDesktop& os) {
    platform::ScopedOs use(os);
    platform::ScopedDesktop useDesktop(os);
    TForm1 form;
    form.Left = 300;
    form.Top = -40;
    form.SetRadioButton(4, true);
    form.Edit1 = u"D:\\\u8868\\out";  // 表 ends in 0x5C in Shift-JIS
    form.CheckBox1 = true;
    form.SetRadioButton(6, true);
    saved = form.SaveSettings(path);
  };
  Bytes newSettings;
  auto check = [&](const FakeDesktop& os, const Tree& before, const Tree& after,
                   const std::string& label) {
    if (newSettings.empty()) {
      ASSERT_TRUE(saved);
      newSettings = after.at("home/marrowfold.dat").bytes;
      ASSERT_NE(newSettings, oldSettings);
    }
    ExpectSettingsOldOrNew(after, "home/marrowfold.dat", oldSettings, newSettings, saved, label);
    Allowed allowed;
    allowed.replaced = {"home/marrowfold.dat"};
    ExpectOnlyAllowedChanges(before, after, allowed, label);
    ExpectChangesAskedOnlyInside(os, {In("home")}, label);
  };
  EXPECT_GE(Walk("settings", run, check, kLasting), 8);
}

// ---------------------------------------------------------------- 4. external

TEST_F(FaultWalk, ExternalTransformation) {
  fs::create_directories(Native("src/ext"));
  const Bytes e = Pattern(300000, 5);  // several pieces of 128 KiB
  testutil::WriteBytes(Native("src/ext/e.bmp"), e);
  testutil::WriteDrawing(In("src/ext/plan.jww"), {"^@BMe.bmp,1,2", "^@BMmissing.bmp,3", "text"},
                         {"^@BMe.bmp,4"});
  testutil::WriteExternalDataFile(Native("home/JWC_TEMP.TXT"),
                                  testutil::Internal(Native("src/ext/plan.jww")));
  testutil::WriteText(Native("home/TEMP.JWW"), "the last run's drawing");
  testutil::WriteText(Native("home/notes.txt"), "the user's notes");
  const Bytes oldSettings = DefaultSettings();
  ASSERT_FALSE(oldSettings.empty());

  std::vector<std::string> messages;
  std::size_t shellCalls = 0;
  bool written = false;
  std::string reason;
  auto run = [&](FakeDesktop& os) {
    ResetConversionState();
    {
      platform::ScopedOs use(os);
      platform::ScopedDesktop useDesktop(os);
      TForm1 form;
      form.ProgramFile = In("home/marrowfold");
      form.FormShow({u"-G"});
      written = form.ExternalWritten;
      reason = form.FailureReason;
    }
    messages = os.messages;
    shellCalls = os.shellCalls.size();
  };

  std::string good;
  Drawn golden;
  Bytes newSettings;
  auto check = [&](const FakeDesktop& os, const Tree& before, const Tree& after,
                   const std::string& label) {
    if (good.empty()) {
      ASSERT_EQ(messages, std::vector<std::string>{ResultOkLine(1, 1, 1, 1, 0)});
      good = messages[0];
      golden = ReadBack(In("home/TEMP.JWW"));
      EXPECT_EQ(golden.images, (std::map<std::string, Bytes>{{",1,2", e}, {",4", e}}));
      newSettings = after.at("home/marrowfold.dat").bytes;
    }
    ASSERT_EQ(messages.size(), 1u) << label;
    const std::string& said = messages[0];
    Allowed allowed;
    allowed.replaced = {"home/TEMP.JWW", "home/marrowfold.dat"};
    allowed.scratch = "home/TEMP";
    allowed.scratchMayStay = os.failDeleteAt != 0;
    if (said == good || ImagesLeftMissing(said, good)) {
      EXPECT_TRUE(written) << label;
      EXPECT_EQ(shellCalls, 1u) << label;
      ExpectGoldenOrImagesMissing(ReadBack(In("home/TEMP.JWW")), golden, label);
    } else {
      EXPECT_TRUE(said == testutil::kNotConverted || said == testutil::kSaveAsJwwFirst ||
                  said == testutil::kTempStillThere)
          << label << ": said " << said;
      EXPECT_FALSE(written) << label;
      EXPECT_EQ(shellCalls, 0u) << label;
      if (said != testutil::kTempStillThere) {
        EXPECT_NE(reason, "") << label;
      }
      // No TEMP.JWW, or the last run's whole: never a drawing half written.
      auto temp = after.find("home/TEMP.JWW");
      EXPECT_TRUE(temp == after.end() || temp->second == before.at("home/TEMP.JWW"))
          << label << ": TEMP.JWW after a failure";
    }
    ExpectSourcesUnchanged(before, after,
                           {"src/ext/plan.jww", "src/ext/e.bmp", "home/JWC_TEMP.TXT"}, label);
    ExpectOnlyAllowedChanges(before, after, allowed, label);
    ExpectChangesAskedOnlyInside(os, {In("home")}, label);
    ExpectSettingsOldOrNew(after, "home/marrowfold.dat", oldSettings, newSettings, std::nullopt,
                           label);
  };
  EXPECT_GT(Walk("external", run, check, kLasting), 50);
}

}  // namespace
