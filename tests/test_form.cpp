// The main window's logic without a window: intake, the batch and its log,
// the destination choices, the dialogs, and the start and close of the
// program, against a scripted user.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/Unit1.h"
#include "app/UnitGval.h"
#include "embed/staging.h"
#include "testing/fake_desktop.h"
#include "testing/testutil.h"

namespace fs = std::filesystem;
using testutil::TempDir;

namespace {

// 指定したフォルダが見つかりません。\r\n
const std::string kNotFound =
    "\x8Ew\x92\xE8\x82\xB5\x82\xBD\x83t\x83H\x83\x8B\x83_\x82\xAA\x8C\xA9\x82\xC2\x82\xA9\x82\xE8"
    "\x82\xDC\x82\xB9\x82\xF1\x81"
    "B\r\n";
const std::u16string kFullWidthSpace = u"\u3000";
const std::string kOk0 = ResultOkLine(0, 0, 0, 0, 0);

std::vector<std::string> FilesIn(const fs::path& folder) {
  std::vector<std::string> names;
  if (!fs::exists(folder)) return names;
  for (const auto& e : fs::directory_iterator(folder))
    names.push_back(testutil::Utf8(e.path().filename()));
  std::sort(names.begin(), names.end());
  return names;
}

class Form : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(out.path());
    fake.desktop = testutil::InternalPath(desk.path());
    fake.documents = testutil::InternalPath(docs.path());
    form.ProgramFile = home.Path("marrowfold");
    ASSERT_TRUE(form.Startup()) << form.StartupError;
  }
  void TearDown() override {
    if (!closed) form.FormClose();
  }

  platform::Path Drawing(const std::string& name) {
    testutil::WriteTextDrawing(dwg.Native(name), {"plain text"});
    return dwg.Path(name);
  }
  void GiveFolder(const TempDir& d) {
    form.SetRadioButton(4, true);
    form.Edit1 = testutil::InternalPath(d.path());
  }

  TempDir home, dwg, out, desk, docs;
  testutil::FakeDesktop fake;
  platform::ScopedOs use{fake};
  platform::ScopedDesktop useDesktop{fake};
  TForm1 form;
  bool closed = false;
};

TEST_F(Form, IntakeTakesExistingJwwFilesOfAnyLetterCaseAndNothingElse) {
  fs::create_directories(dwg.Native("folder.jww"));
  testutil::WriteText(dwg.Native("notes.txt"), "x");
  const platform::Path upper = Drawing("A.JwW");
  const platform::Path lower = Drawing("b.jww");
  EXPECT_FALSE(form.AddInputFile(dwg.Path("folder.jww")));
  EXPECT_FALSE(form.AddInputFile(dwg.Path("notes.txt")));
  EXPECT_FALSE(form.AddInputFile(dwg.Path("missing.jww")));
  EXPECT_FALSE(form.AddInputFile(u""));
  EXPECT_TRUE(form.AddInputFile(upper));
  EXPECT_TRUE(form.AddInputFile(lower));
  EXPECT_EQ(form.InputQueue, (std::vector<platform::Path>{upper, lower}));

  // Unusable drops start nothing: the log and the page stay.
  form.ListBox1.Add("earlier");
  form.OnDropFiles({dwg.Path("folder.jww"), dwg.Path("notes.txt")});
  EXPECT_TRUE(form.InputQueue.empty());
  EXPECT_EQ(form.ListBox1.Items, std::vector<std::string>{"earlier"});
  EXPECT_EQ(form.ActivePage, 0);
  EXPECT_EQ(fake.escapePolls, 0);
}

TEST_F(Form, ThreeFilesGiveNineLogLinesAndTheLogPage) {
  GiveFolder(out);
  std::vector<std::string> seen;
  form.ListBox1.OnAdd = [&](const std::string& line) { seen.push_back(line); };
  form.ListBox1.Add("old line");
  seen.clear();
  form.OnDropFiles({Drawing("a.jww"), Drawing("b.jww"), Drawing("c.jww")});
  std::vector<std::string> expected;
  for (const char* name : {"a.jww", "b.jww", "c.jww"}) {
    expected.push_back(dwg.Internal(name));
    expected.push_back(kLogArrow + out.Internal(name));
    expected.push_back(kLogResult + kOk0);
  }
  EXPECT_EQ(form.ListBox1.Items, expected);
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(form.ActivePage, 1);
  EXPECT_EQ(fake.escapePolls, 3);
  EXPECT_EQ(FilesIn(out.path()), (std::vector<std::string>{"a.jww", "b.jww", "c.jww"}));
  EXPECT_TRUE(form.LastBatch.ran);
  EXPECT_EQ(form.LastBatch.converted, 3);
  // The queue stays until the next intake.
  EXPECT_EQ(form.InputQueue.size(), 3u);
}

TEST_F(Form, EscStopsTheBatchBetweenFiles) {
  GiveFolder(out);
  const platform::Path a = Drawing("a.jww"), b = Drawing("b.jww");
  fake.escape = {true};
  form.OnDropFiles({a, b});
  EXPECT_EQ(form.ListBox1.Items, std::vector<std::string>{kLogEscape});
  EXPECT_EQ(form.ActivePage, 1);
  EXPECT_TRUE(form.LastBatch.stopped);
  EXPECT_TRUE(FilesIn(out.path()).empty());

  fake.escape = {false, true};
  form.OnDropFiles({a, b});
  ASSERT_EQ(form.ListBox1.Items.size(), 4u);
  EXPECT_EQ(form.ListBox1.Items[3], kLogEscape);
  EXPECT_EQ(FilesIn(out.path()), std::vector<std::string>{"a.jww"});
}

TEST_F(Form, DesktopAndDocumentsAreTheSystemsFolders) {
  const platform::Path a = Drawing("a.jww");
  form.OnDropFiles({a});  // the desktop is the default
  EXPECT_EQ(FilesIn(desk.path()), std::vector<std::string>{"a.jww"});
  form.SetRadioButton(2, true);
  EXPECT_FALSE(form.RadioButton1);
  form.OnDropFiles({a});
  EXPECT_EQ(FilesIn(docs.path()), std::vector<std::string>{"a.jww"});
  EXPECT_EQ(form.ListBox1.Items[1], kLogArrow + docs.Internal("a.jww"));

  // A folder that is not there is said once, and nothing is converted; a
  // system that cannot name it sends nothing to the drive's root.
  fake.documents = docs.Path("gone");
  form.ListBox1.Items = {"kept"};
  form.OnDropFiles({a});
  EXPECT_EQ(form.ListBox1.Items, std::vector<std::string>{"kept"});
  EXPECT_FALSE(form.LastBatch.ran);
  fake.documents.clear();
  EXPECT_EQ(form.ChooseDestinationFolder().kind, TDestination::Kind::EndBatch);
  EXPECT_EQ(fake.messages.size(), 2u);
}

TEST_F(Form, SourceFolderGivesANumberedSiblingAndNeverTheSourceItself) {
  form.SetRadioButton(3, true);
  const platform::Path plan = Drawing("plan.jww");
  const auto before = testutil::ReadBytes(dwg.Native("plan.jww"));
  form.OnDropFiles({plan});
  EXPECT_EQ(form.ListBox1.Items[1], kLogArrow + dwg.Internal("plan~1.jww"));
  form.OnDropFiles({plan});
  EXPECT_EQ(form.ListBox1.Items[1], kLogArrow + dwg.Internal("plan~2.jww"));
  EXPECT_EQ(testutil::ReadBytes(dwg.Native("plan.jww")), before);
  EXPECT_EQ(FilesIn(dwg.path()),
            (std::vector<std::string>{"plan.jww", "plan~1.jww", "plan~2.jww"}));
}

TEST_F(Form, GivenFolderWithOrWithoutSeparatorAndOneNameTwice) {
  fs::create_directories(dwg.Native("a"));
  fs::create_directories(dwg.Native("b"));
  const platform::Path a = Drawing("a/plan.jww"), b = Drawing("b/plan.jww");
  form.SetRadioButton(4, true);
  form.Edit1 = testutil::InternalPath(out.path());
  EXPECT_EQ(form.ChooseDestinationFolder().folder, out.Path());
  form.Edit1 = out.Path();
  EXPECT_EQ(form.ChooseDestinationFolder().folder, out.Path());

  form.OnDropFiles({a, b});
  EXPECT_EQ(form.ListBox1.Items[1], kLogArrow + out.Internal("plan.jww"));
  EXPECT_EQ(form.ListBox1.Items[4], kLogArrow + out.Internal("plan~1.jww"));
  form.OnDropFiles({a});
  EXPECT_EQ(form.ListBox1.Items[1], kLogArrow + out.Internal("plan~2.jww"));

  // An empty folder text is the root of the drive, which exists.
  form.Edit1.clear();
  const TDestination root = form.ChooseDestinationFolder();
  EXPECT_EQ(root.kind, TDestination::Kind::Folder);
  EXPECT_EQ(root.folder, u"\\");
}

TEST_F(Form, MissingGivenFolderSaysSoAndLeavesTheLogAlone) {
  const platform::Path a = Drawing("a.jww");
  form.SetRadioButton(4, true);
  form.Edit1 = out.Path("gone");
  form.ListBox1.Add("earlier");
  form.OnDropFiles({a});
  // The folder as a person on this system writes it.
#ifdef _WIN32
  const std::string shown = out.Internal("gone") + "\\";
#else
  const std::string shown = out.Native("gone").string() + "/";
#endif
  EXPECT_EQ(fake.messages, std::vector<std::string>{kNotFound + shown});
  EXPECT_EQ(fake.failures, fake.messages);
  EXPECT_EQ(form.ListBox1.Items, std::vector<std::string>{"earlier"});
  EXPECT_EQ(form.ActivePage, 0);
  EXPECT_FALSE(form.LastBatch.ran);
  EXPECT_EQ(form.InputQueue, std::vector<platform::Path>{a});
}

TEST_F(Form, AskEveryTimeRemembersTheFolderAndCancelEndsQuietly) {
  const platform::Path a = Drawing("a.jww");
  form.SetRadioButton(7, true);
  fake.saveAnswers = {out.Path() + kFullWidthSpace, std::nullopt};
  form.OnDropFiles({a});
  ASSERT_EQ(fake.saveRequests.size(), 1u);
  // 保存先フォルダを指定
  EXPECT_EQ(fake.saveRequests[0].title,
            "\x95\xDB\x91\xB6\x90\xE6\x83t\x83H\x83\x8B\x83_\x82\xF0\x8Ew\x92\xE8");
  EXPECT_EQ(fake.saveRequests[0].fileName, kFullWidthSpace);
  EXPECT_EQ(fake.saveRequests[0].initialFolder, ProgramFolder);
  EXPECT_EQ(form.LabelPreFolder, out.Path());
  EXPECT_EQ(FilesIn(out.path()), std::vector<std::string>{"a.jww"});

  form.ListBox1.Items = {"kept"};
  form.OnDropFiles({a});
  EXPECT_EQ(fake.saveRequests[1].initialFolder, out.Path());
  EXPECT_EQ(form.ListBox1.Items, std::vector<std::string>{"kept"});
  EXPECT_TRUE(fake.messages.empty());
  EXPECT_FALSE(form.LastBatch.ran);

  // No destination selected at all asks too; a folder gone since opens the
  // dialog in the program's folder.
  form.RadioButton7 = false;
  form.LabelPreFolder = out.Path("gone") + u"\\";
  fake.saveAnswers = {std::nullopt};
  form.OnDropFiles({a});
  EXPECT_EQ(fake.saveRequests.size(), 3u);
  EXPECT_EQ(fake.saveRequests[2].initialFolder, ProgramFolder);
}

TEST_F(Form, BrowseButtonFillsTheGivenFolder) {
  fake.saveAnswers = {out.Path() + kFullWidthSpace, std::nullopt};
  form.Button1Click();
  EXPECT_EQ(fake.saveRequests[0].initialFolder, ProgramFolder);
  EXPECT_EQ(form.Edit1, out.Path());
  form.Button1Click();
  EXPECT_EQ(fake.saveRequests[1].initialFolder, out.Path());
  EXPECT_EQ(form.Edit1, out.Path());
}

TEST_F(Form, FileDialogQueuesTheChosenFilesAndRemembersFolderAndFilter) {
  GiveFolder(out);
  const platform::Path a = Drawing("a.jww"), b = Drawing("b.jww");
  form.Label1 = u"\\nowhere\\";
  fake.openAnswers = {std::vector<platform::Path>{b, a}, std::nullopt};
  fake.openFilterAnswer = 2;
  form.Label3Click();
  ASSERT_EQ(fake.openRequests.size(), 1u);
  const platform::OpenDialogRequest& r = fake.openRequests[0];
  EXPECT_EQ(r.initialFolder, u"\\nowhere\\");
  EXPECT_EQ(r.fileName, kFullWidthSpace);
  EXPECT_EQ(r.filterIndex, 1);
  // Jw_cad 図面ファイル(win)|*.jww|全てのファイル(*.*)|*.*
  EXPECT_EQ(r.filter,
            "Jw_cad \x90}\x96\xCA\x83t\x83@\x83"
            "C\x83\x8B(win)|*.jww|\x91S\x82\xC4\x82\xCC\x83t\x83@\x83"
            "C\x83\x8B(*.*)|*.*");
  EXPECT_EQ(form.Label1, dwg.Path());
  EXPECT_EQ(form.OpenFilterIndex, 2);
  EXPECT_EQ(form.ListBox1.Items[0], dwg.Internal("b.jww"));
  EXPECT_EQ(form.ListBox1.Items[3], dwg.Internal("a.jww"));

  form.Label3Click();  // cancelled: nothing changes
  EXPECT_EQ(form.ListBox1.Items.size(), 6u);
  EXPECT_EQ(fake.openRequests[1].filterIndex, 2);
}

TEST_F(Form, AFailedFileNeverEndsTheBatch) {
  GiveFolder(out);
  const platform::Path a = Drawing("a.jww"), c = Drawing("c.jww");
  testutil::WriteText(dwg.Native("b.jww"), "JwwData. but nothing after");
  const platform::Path b = dwg.Path("b.jww");
  std::vector<std::string> reasons;
  form.OnFileConverted = [&](const platform::Path&, const std::string& result) {
    if (result == kResultFailed) reasons.push_back(form.FailureReason);
  };
  form.OnDropFiles({a, b, c});
  ASSERT_EQ(form.ListBox1.Items.size(), 9u);
  EXPECT_EQ(form.ListBox1.Items[2], kLogResult + kOk0);
  EXPECT_EQ(form.ListBox1.Items[5], std::string(kLogResult) + kResultFailed);
  EXPECT_EQ(form.ListBox1.Items[8], kLogResult + kOk0);
  EXPECT_EQ(form.LastBatch.failed, 1);
  EXPECT_EQ(form.LastBatch.converted, 2);
  ASSERT_EQ(reasons.size(), 1u);
  EXPECT_FALSE(reasons[0].empty());
  EXPECT_EQ(FilesIn(out.path()), (std::vector<std::string>{"a.jww", "c.jww"}));
}

TEST_F(Form, AnotherRunsOutputNameIsNeverTaken) {
  GiveFolder(out);
  const platform::Path a = Drawing("plan.jww");
  // Another run is writing plan.jww into the same folder right now.
  testutil::WriteText(out.Native("plan.jww.~1.tmp"), "");
  form.OnDropFiles({a});
  EXPECT_EQ(form.ListBox1.Items[1], kLogArrow + out.Internal("plan~1.jww"));
  EXPECT_EQ(FilesIn(out.path()), (std::vector<std::string>{"plan.jww.~1.tmp", "plan~1.jww"}));

  // A failed conversion gives its reserved name back.
  fs::remove(out.Native("plan.jww.~1.tmp"));
  testutil::WriteText(dwg.Native("bad.jww"), "not a drawing at all");
  form.OnDropFiles({dwg.Path("bad.jww")});
  EXPECT_EQ(form.ListBox1.Items[2], std::string(kLogResult) + kResultFailed);
  EXPECT_EQ(FilesIn(out.path()), std::vector<std::string>{"plan~1.jww"});
}

TEST_F(Form, FailuresInjectedAroundTheOutputLeaveNoFileAndSayWhy) {
  GiveFolder(out);
  const platform::Path a = Drawing("a.jww");
  for (int at = 1; at <= 3; ++at) {
    fake.failCreateAt = at;
    fake.createCalls = 0;
    form.OnDropFiles({a});
    const std::string& result = form.ListBox1.Items.back();
    if (result == std::string(kLogResult) + kResultFailed) {
      EXPECT_TRUE(FilesIn(out.path()).empty()) << at;
    } else {
      EXPECT_EQ(FilesIn(out.path()).size(), 1u) << at;
      fs::remove_all(out.path());
      fs::create_directories(out.path());
    }
  }
  // A folder that takes no files fails at once, with the folder named.
  fake.failCreateAt = 1;
  fake.failFromThenOn = true;
  fake.createCalls = 0;
  std::string reason;
  form.OnFileConverted = [&](const platform::Path&, const std::string&) {
    reason = form.FailureReason;
  };
  form.OnDropFiles({a});
  EXPECT_EQ(form.ListBox1.Items.back(), std::string(kLogResult) + kResultFailed);
  EXPECT_NE(reason.find(platform::PathForPerson(out.Path())), std::string::npos) << reason;
  EXPECT_LT(fake.createCalls, 10);
}

TEST_F(Form, CloseSavesTheSettingsAndRemovesTheWorkFolder) {
  EXPECT_TRUE(fs::is_directory(home.Native("TEMP")));
  form.SetRadioButton(3, true);
  form.FormClose();
  closed = true;
  EXPECT_FALSE(fs::exists(home.Native("TEMP")));
  EXPECT_EQ(form.Jww, nullptr);
  const std::string settings = testutil::ReadText(home.Native("marrowfold.dat"));
  EXPECT_EQ(settings.rfind("192\r\n133\r\n0\r\n0\r\n1\r\n0\r\n", 0), 0u) << settings;
}

TEST_F(Form, OnlyALoneGSwitchIsTheExternalMode) {
  EXPECT_TRUE(IsExternalModeSwitch({u"/g"}));
  EXPECT_TRUE(IsExternalModeSwitch({u"-G"}));
  EXPECT_FALSE(IsExternalModeSwitch({u"-G", u"x.jww"}));
  EXPECT_FALSE(IsExternalModeSwitch({u"-GX"}));
  GiveFolder(out);
  const platform::Path a = Drawing("a.jww");
  form.RunCommandLine({u"-G", a});
  EXPECT_EQ(form.InputQueue, std::vector<platform::Path>{a});
  EXPECT_EQ(FilesIn(out.path()), std::vector<std::string>{"a.jww"});
}

TEST(AppendSeparator, OnlyARealBackslashCounts) {
  EXPECT_EQ(AppendSeparator(u"D:\\out"), u"D:\\out\\");
  EXPECT_EQ(AppendSeparator(u"D:\\out\\"), u"D:\\out\\");
  EXPECT_EQ(AppendSeparator(u""), u"\\");
  // 表 ends in 0x5C in Shift-JIS, which is half of the character.
  EXPECT_EQ(AppendSeparator(u"D:\\\u8868"), u"D:\\\u8868\\");
}

}  // namespace
