// The external-transformation mode against a scripted desktop: every
// message, TEMP.JWW written only whole, plain names whatever the settings
// say, the program Jw_cad is started as, and the batch file users install.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/Unit1.h"
#include "app/UnitGval.h"
#include "embed/staging.h"
#include "testing/fake_desktop.h"
#include "testing/testutil.h"
#include "text/sjis.h"

namespace fs = std::filesystem;
using testutil::kNotConverted;
using testutil::kSaveAsJwwFirst;
using testutil::kTempStillThere;
using testutil::TempDir;

namespace {

class External : public ::testing::Test {
 protected:
  void SetUp() override {
    form.ProgramFile = home.Path("marrowfold");
    ASSERT_TRUE(form.Startup()) << form.StartupError;
    form.SetRadioButton(5, true);  // names from the whole path: not for this mode
    testutil::WriteText(dwg.Native("a.bmp"), "image A");
    testutil::WriteTextDrawing(dwg.Native("plan.jww"), {"^@BMa.bmp,1,2", "^@BMmissing.bmp,3"});
  }
  void TearDown() override {
    if (form.Jww) form.FormClose();
  }

  void DataFile(const std::string& drawing) {
    testutil::WriteExternalDataFile(home.Native("JWC_TEMP.TXT"), drawing);
  }
  std::vector<std::string> TextsOfTemp() {
    TJwwData d;
    EXPECT_TRUE(d.LoadFromFile(home.Path("TEMP.JWW"), &StagedImageFiles())) << d.LastError;
    std::vector<std::string> texts;
    for (const auto& t : d.Texts) texts.emplace_back(t.Text.text());
    return texts;
  }

  TempDir home, dwg;
  testutil::FakeDesktop fake;
  platform::ScopedOs use{fake};
  platform::ScopedDesktop useDesktop{fake};
  TForm1 form;
};

TEST_F(External, AGoodDrawingBecomesTempJwwWithPlainNamesAndOpensInJwCad) {
  DataFile(dwg.Internal("plan.jww"));
  testutil::WriteText(home.Native("TEMP.JWW"), "the last run's drawing");
  form.CheckBox1 = true;
  form.RunExternalTransformation();
  EXPECT_TRUE(form.ExternalWritten);
  EXPECT_EQ(fake.messages, std::vector<std::string>{ResultOkLine(1, 1, 0, 1, 0)});
  EXPECT_TRUE(fake.failures.empty());  // a result is no failure
  const auto texts = TextsOfTemp();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], "^@BM%temp%a.bmp,1,2");
  EXPECT_EQ(texts[1].substr(0, 4), "_@BM");  // CheckBox1 from the settings applies
  ASSERT_EQ(fake.shellCalls.size(), 1u);
  EXPECT_EQ(fake.shellCalls[0].program, u"C:\\JWW\\JW_WIN.EXE");
  EXPECT_EQ(fake.shellCalls[0].document, home.Path("TEMP.JWW"));
  EXPECT_EQ(fake.shellCalls[0].folder, u"C:\\JWW\\");
  EXPECT_EQ(fake.registryKeys, std::vector<std::string>{"Jwwin.Document\\shell\\open\\command"});
  EXPECT_TRUE(form.RadioButton5);  // the stored choice itself stays

  // Without opening, everything else the same; a path of this system
  // (Jw_cad under Wine) is taken too.
  form.OpenInJwCad = false;
  DataFile(dwg.Native("plan.jww").string());
  form.RunExternalTransformation();
  EXPECT_TRUE(form.ExternalWritten);
  EXPECT_EQ(fake.shellCalls.size(), 1u);
}

TEST_F(External, NoDrawingToConvertSaysSaveAsJwwFirst) {
  form.RunExternalTransformation();  // no JWC_TEMP.TXT at all
  DataFile("");
  form.RunExternalTransformation();
  DataFile(dwg.Internal("plan.jwc"));
  testutil::WriteText(dwg.Native("plan.jwc"), "x");
  form.RunExternalTransformation();
  DataFile(dwg.Internal("plan"));
  form.RunExternalTransformation();
  EXPECT_EQ(fake.messages, std::vector<std::string>(4, kSaveAsJwwFirst));
  EXPECT_EQ(fake.failures, fake.messages);
  EXPECT_FALSE(fs::exists(home.Native("TEMP.JWW")));
  EXPECT_TRUE(fake.shellCalls.empty());
}

TEST_F(External, ADataFileThatCannotBeReadSaysSoWithItsReason) {
  DataFile(dwg.Internal("plan.jww"));
  fake.failOpenReadAt = 1;
  form.RunExternalTransformation();
  EXPECT_EQ(fake.messages, std::vector<std::string>{kSaveAsJwwFirst});
  EXPECT_NE(form.FailureReason.find("JWC_TEMP.TXT"), std::string::npos) << form.FailureReason;
  EXPECT_FALSE(form.ExternalWritten);
}

TEST_F(External, AMissingDrawingIsNamedInTheMessage) {
  DataFile(dwg.Internal("gone.jww"));
  form.RunExternalTransformation();
  // The path as a person on this system writes it.
#ifdef _WIN32
  const std::string gone = dwg.Internal("gone.jww");
#else
  const std::string gone = dwg.Native("gone.jww").string();
#endif
  // 図面ファイル「...」は存在しませんので変換できませんでした。
  EXPECT_EQ(fake.messages,
            std::vector<std::string>{
                "\x90}\x96\xCA\x83t\x83@\x83"
                "C\x83\x8B\x81u" +
                gone +
                "\x81v\x82\xCD\x91\xB6\x8D\xDD\x82\xB5\x82\xDC\x82\xB9\x82\xF1\x82\xCC\x82\xC5\x95"
                "\xCF\x8A\xB7\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD\x81"
                "B"});
  EXPECT_EQ(fake.failures, fake.messages);
}

TEST_F(External, AnOldTempJwwThatStaysStopsTheRun) {
  DataFile(dwg.Internal("plan.jww"));
  testutil::WriteText(home.Native("TEMP.JWW"), "locked");
  fake.failDeleteAt = 1;
  form.RunExternalTransformation();
  EXPECT_EQ(fake.messages, std::vector<std::string>{kTempStillThere});
  EXPECT_EQ(fake.failures, fake.messages);
  EXPECT_EQ(testutil::ReadText(home.Native("TEMP.JWW")), "locked");
}

TEST_F(External, AFailedConversionLeavesNoTempJwwAndNeverSaysOk) {
  for (const char* damage : {"cut", "old", "write"}) {
    fake.messages.clear();
    fake.failures.clear();
    testutil::WriteText(home.Native("TEMP.JWW"), "the last run's drawing");
    const std::string name = std::string(damage) + ".jww";
    if (std::string(damage) == "cut") {
      auto bytes = testutil::ReadBytes(dwg.Native("plan.jww"));
      bytes.resize(bytes.size() - 20);
      testutil::WriteBytes(dwg.Native(name), bytes);
    } else if (std::string(damage) == "old") {
      testutil::WriteText(dwg.Native(name), std::string("JwwData.\xDB\x00\x00\x00", 12));
    } else {
      fs::copy_file(dwg.Native("plan.jww"), dwg.Native(name));
      fake.failWriteAt = 1;
      fake.failFromThenOn = true;
      fake.writeCalls = 0;
    }
    DataFile(dwg.Internal(name));
    form.RunExternalTransformation();
    fake.failWriteAt = 0;
    EXPECT_EQ(fake.messages, std::vector<std::string>{kNotConverted}) << damage;
    EXPECT_EQ(fake.failures, fake.messages) << damage;
    EXPECT_FALSE(form.FailureReason.empty()) << damage;
    EXPECT_FALSE(form.ExternalWritten) << damage;
    EXPECT_TRUE(fs::directory_iterator(home.path()) != fs::directory_iterator());
    for (const auto& e : fs::directory_iterator(home.path()))
      EXPECT_NE(e.path().filename().string().substr(0, 8), "TEMP.JWW") << damage;
    EXPECT_TRUE(fake.shellCalls.empty());
  }
}

TEST_F(External, JwCadIsFoundInItsRegistration) {
  fake.registryValue = u"\"C:\\Program Files\\Jw\\Jw_win.exe\" \"%1\"";
  EXPECT_EQ(form.FindJwCadExecutable(), u"C:\\Program Files\\Jw\\Jw_win.exe");
  fake.registryValue = u"C:\\JWW\\Jw_win.exe \"%1\"";
  EXPECT_EQ(form.FindJwCadExecutable(), u"C:\\JWW\\Jw_win.exe");
  fake.registryValue = u"\"C:\\JWW\\Jw_win.exe\"";
  EXPECT_EQ(form.FindJwCadExecutable(), u"C:\\JWW\\Jw_win.exe");
  fake.registryValue = u"";
  EXPECT_EQ(form.FindJwCadExecutable(), u"");

  fake.registryValue = u"\"D:\\Jw\\Jw_win.exe\" \"%1\"";
  DataFile(dwg.Internal("plan.jww"));
  form.RunExternalTransformation();
  ASSERT_EQ(fake.shellCalls.size(), 1u);
  EXPECT_EQ(fake.shellCalls[0].program, u"D:\\Jw\\Jw_win.exe");
  EXPECT_EQ(fake.shellCalls[0].folder, u"D:\\Jw\\");
}

TEST_F(External, TheWindowRunsTheModeAndClosesAfterIt) {
  form.FormClose();
  DataFile(dwg.Internal("plan.jww"));
  TForm1 shown;
  shown.ProgramFile = home.Path("marrowfold");
  shown.FormShow({u"/g"});
  EXPECT_EQ(shown.Jww, nullptr);
  EXPECT_TRUE(fs::exists(home.Native("TEMP.JWW")));
  EXPECT_TRUE(fs::exists(home.Native("marrowfold.dat")));
  EXPECT_FALSE(fs::exists(home.Native("TEMP")));
  EXPECT_EQ(fake.messages.size(), 1u);
}

// What Jw_cad's external-transformation dialog reads: the name it shows on
// the first line, then its directives, then the program.
TEST(ExternalBatchFile, IsShiftJisWithCrLfAndTheDirectivesInOrder) {
  const std::string text =
      testutil::ReadText(fs::path(MARROWFOLD_SOURCE_DIR) / "dist" / "Marrowfold.bat");
  EXPECT_EQ(
      text,
      "REM \x89\xE6\x91\x9C\x93\xAF\x8D\xAB\x81iMarrowfold\x81j\r\n"  // 画像同梱（Marrowfold）
      "REM #jww\r\n"
      "REM #cd\r\n"
      "REM #hf\r\n"
      "REM #e\r\n"
      "marrowfold.exe -G\r\n");
}

}  // namespace
