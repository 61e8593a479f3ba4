// What every conversion promises, whatever the drawing: checked over the
// fixture drawings of every version, every drawing Jw_cad wrote in the corpus
// and every drawing input the fuzzer kept.
//   - the source drawing and its images are left as they were;
//   - files appear or change only in the destination folder and in the
//     program folder with its work folder;
//   - the output loads whole, and a second conversion of it gives the same
//     bytes again;
//   - an existing output is never replaced: converting onto it fails, says
//     why, and leaves it as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "app/Unit1.h"
#include "app/UnitGval.h"
#include "embed/staging.h"
#include "testing/jwwfixture.h"
#include "testing/testutil.h"

namespace fs = std::filesystem;

namespace {

using Tree = std::map<std::string, std::vector<std::uint8_t>>;

// Every file under `root` by its path relative to it (UTF-8, "/").
Tree Snapshot(const fs::path& root) {
  Tree tree;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (!e.is_regular_file()) continue;
    tree[testutil::Utf8(fs::relative(e.path(), root).generic_u8string())] =
        testutil::ReadBytes(e.path());
  }
  return tree;
}

bool Under(const std::string& relative, const std::string& folder) {
  return relative.rfind(folder + "/", 0) == 0;
}

// The paths that differ between two snapshots: made, changed or gone.
std::vector<std::string> Changes(const Tree& before, const Tree& after) {
  std::vector<std::string> changed;
  for (const auto& [path, bytes] : after) {
    auto it = before.find(path);
    if (it == before.end() || it->second != bytes) changed.push_back(path);
  }
  for (const auto& [path, bytes] : before)
    if (!after.count(path)) changed.push_back(path);
  return changed;
}

// One test folder: the program folder "prog" (work folder prog/TEMP), the
// drawings and their images in "dwg", the destination "out".
class Invariants : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root.Native("prog"));
    fs::create_directories(root.Native("dwg/img"));
    fs::create_directories(root.Native("out"));
    ProgramFolder = root.Path("prog") + u"\\";
    WorkFolder = ProgramFolder + u"TEMP\\";
    std::string reason;
    ASSERT_TRUE(CreateWorkFolder(reason)) << reason;
    std::vector<std::uint8_t> photo(30000);
    for (std::size_t i = 0; i < photo.size(); ++i)
      photo[i] = static_cast<std::uint8_t>((i * 2654435761u) >> 13);
    testutil::WriteBytes(root.Native("dwg/img/photo.bmp"), photo);
    testutil::WriteText(root.Native("dwg/img/plan.png"), std::string(5000, 'p'));
  }
  void TearDown() override {
    form.ResetConversion();
    RemoveWorkFolder();
  }

  // Converts dwg/NAME into out/NAME and checks every promise; returns the
  // output's bytes (empty when the drawing failed, as it may for a fuzz
  // input that does not load).
  std::vector<std::uint8_t> CheckConversion(const std::string& name, bool mustConvert,
                                            const std::string& expected = "") {
    SCOPED_TRACE(name);
    const Tree before = Snapshot(root.path());
    const std::string result = form.ConvertFile(root.Path("dwg/" + name), root.Path("out/" + name));
    const Tree after = Snapshot(root.path());
    for (const std::string& path : Changes(before, after))
      EXPECT_TRUE(Under(path, "out") || Under(path, "prog")) << "changed: " << path;
    for (const auto& [path, bytes] : before) {
      if (Under(path, "dwg")) {
        EXPECT_EQ(after.at(path), bytes) << "source changed: " << path;
      }
    }

    if (result == kResultFailed) {
      EXPECT_FALSE(mustConvert) << form.FailureReason;
      EXPECT_NE(form.FailureReason, "");
      EXPECT_FALSE(fs::exists(root.Native("out/" + name)));
      EXPECT_TRUE(fs::is_empty(root.Native("out")));
      form.ResetConversion();
      return {};
    }
    EXPECT_EQ(result.rfind("\x95\xCF\x8A\xB7\x82n\x82j(", 0), 0u) << result;
    if (!expected.empty()) {
      EXPECT_EQ(result, expected);
    }
    const auto output = testutil::ReadBytes(root.Native("out/" + name));
    form.ResetConversion();

    // Converted again, the output is its own fixpoint.
    fs::copy_file(root.Native("out/" + name), root.Native("dwg/again.jww"));
    EXPECT_EQ(form.ConvertFile(root.Path("dwg/again.jww"), root.Path("out/again.jww"))
                  .rfind("\x95\xCF\x8A\xB7\x82n\x82j(", 0),
              0u)
        << form.FailureReason;
    EXPECT_EQ(testutil::ReadBytes(root.Native("out/again.jww")), output);
    form.ResetConversion();

    // And it is never converted over.
    EXPECT_EQ(form.ConvertFile(root.Path("dwg/" + name), root.Path("out/" + name)), kResultFailed);
    EXPECT_NE(form.FailureReason, "");
    EXPECT_EQ(testutil::ReadBytes(root.Native("out/" + name)), output);
    form.ResetConversion();

    fs::remove(root.Native("dwg/again.jww"));
    fs::remove(root.Native("out/again.jww"));
    fs::remove(root.Native("out/" + name));
    return output;
  }

  testutil::TempDir root;
  TForm1 form;
};

}  // namespace

TEST_F(Invariants, FixtureDrawingsOfEveryVersionWithImages) {
  for (bool pathInName : {false, true}) {
    form.PathInEmbeddedName = pathInName;
    for (std::int32_t v : {220, 230, 300, 350, 351, 420, 600, 700}) {
      TEntityLists top = jwwfixture::SampleEntities(v, 3, {1});
      jwwfixture::Add(top, testutil::MakeText("^@BMimg\\photo.bmp,0,0,100,80,0"));
      jwwfixture::Add(top, testutil::MakeText("^@BMIMG\\PHOTO.BMP,5,5"));
      jwwfixture::Add(top, testutil::MakeText("^@BMimg\\gone.bmp,1,1"));
      TEntityLists inner = jwwfixture::SampleEntities(v, 20, {});
      jwwfixture::Add(inner, testutil::MakeText("^@BMimg\\plan.png,2,2"));
      jwwfixture::JwwBuilder b(v);
      b.Drawing(top, {jwwfixture::SampleBlockDef(v, 1, "blk", inner)});
      const std::string name = "v" + std::to_string(v) + ".jww";
      testutil::WriteBytes(root.Native("dwg/" + name), b.bytes());
      // Two images, two rows of references (the same image in two letter
      // cases is one), one of them in the block, and one missing.
      const auto output = CheckConversion(name, true, ResultOkLine(2, 2, 1, 1, 0));
      EXPECT_FALSE(output.empty()) << v;
    }
  }
}

TEST_F(Invariants, CorpusDrawings) {
  const auto drawings = testutil::CorpusDrawings();
  if (drawings.empty()) GTEST_SKIP() << "the corpus of real drawings is not there";
  for (const auto& path : drawings) {
    const std::string name = testutil::Utf8(path.filename());
    // Copied by content: a copy of a read-only file could not be deleted
    // again on Windows.
    testutil::WriteBytes(root.Native("dwg/" + name), testutil::ReadBytes(path));
    CheckConversion(name, true);
    EXPECT_EQ(testutil::ReadBytes(root.Native("dwg/" + name)), testutil::ReadBytes(path));
    fs::remove(root.Native("dwg/" + name));
  }
}

// The drawings the loading fuzzer grew, most of them damaged: whatever each
// does, it either converts with every promise kept or fails leaving nothing.
TEST_F(Invariants, FuzzerDrawings) {
  const fs::path folder = testutil::PathFromUtf8(MARROWFOLD_SOURCE_DIR "/fuzz/corpus/load");
  if (!fs::is_directory(folder)) GTEST_SKIP() << "no fuzz corpus beside the tests";
  int converted = 0, failed = 0;
  for (const auto& e : fs::directory_iterator(folder)) {
    testutil::WriteBytes(root.Native("dwg/input.jww"), testutil::ReadBytes(e.path()));
    (CheckConversion("input.jww", false).empty() ? failed : converted) += 1;
    fs::remove(root.Native("dwg/input.jww"));
  }
  // The seeds are whole drawings of every version.
  EXPECT_GE(converted, 6);
  RecordProperty("converted", converted);
  RecordProperty("failed", failed);
}
