// The POSIX desktop services and the clean-up after an interrupt: what
// they decide is tried here without a terminal, a signal or the user's own
// home folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/services.h"
#include "platform/posix/signals.h"
#include "platform/program.h"
#include "platform/unicode.h"
#include "testing/faulty_os.h"
#include "testing/testutil.h"

namespace fs = std::filesystem;
using testutil::ReadText;
using testutil::TempDir;
using testutil::WriteText;

namespace {

platform::Os& Native() {
  return platform::Native();
}

// 表 (0x95 0x5C) ends in the byte of "\".
const std::string kHyoSjis = "\x95\x5C";
const std::string kHyoUtf8 = "\xE8\xA1\xA8";

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// --- Replace -------------------------------------------------------------

TEST(Replace, PutsTheNewFileInPlaceOfTheOld) {
  TempDir t;
  WriteText(t.Native("new.tmp"), "new");
  WriteText(t.Native("plan.jww"), "old");
  ASSERT_TRUE(Native().Replace(t.Path("new.tmp"), t.Path("plan.jww")));
  EXPECT_EQ(ReadText(t.Native("plan.jww")), "new");
  EXPECT_EQ(Names(t.path()), std::vector<std::string>{"plan.jww"});

  // With nothing to replace it is a plain rename.
  WriteText(t.Native("b.tmp"), "b");
  ASSERT_TRUE(Native().Replace(t.Path("b.tmp"), t.Path("b.jww")));
  EXPECT_EQ(ReadText(t.Native("b.jww")), "b");
}

TEST(Replace, ReplacesTheFileFoundIgnoringCaseRatherThanAddingOne) {
  TempDir t;
  WriteText(t.Native("new.tmp"), "new");
  WriteText(t.Native("plan.jww"), "old");
  ASSERT_TRUE(Native().Replace(t.Path("new.tmp"), t.Path("PLAN.JWW")));
  EXPECT_EQ(Names(t.path()), std::vector<std::string>{"plan.jww"});
  EXPECT_EQ(ReadText(t.Native("plan.jww")), "new");
}

TEST(Replace, FailsWithoutHarmingTheTarget) {
  TempDir t;
  WriteText(t.Native("plan.jww"), "old");
  EXPECT_FALSE(Native().Replace(t.Path("missing.tmp"), t.Path("plan.jww")));
  EXPECT_EQ(ReadText(t.Native("plan.jww")), "old");

  // Only files are replaced, never a folder, even an empty one.
  fs::create_directory(t.Native("dir"));
  fs::create_directory(t.Native("empty"));
  WriteText(t.Native("a.tmp"), "a");
  EXPECT_FALSE(Native().Replace(t.Path("a.tmp"), t.Path("empty")));
  EXPECT_FALSE(Native().Replace(t.Path("dir"), t.Path("empty")));
  EXPECT_TRUE(fs::is_directory(t.Native("empty")));
  EXPECT_EQ(ReadText(t.Native("a.tmp")), "a");
}

TEST(Replace, CountsAsARenameForInjectedFailures) {
  TempDir t;
  WriteText(t.Native("a.tmp"), "a");
  WriteText(t.Native("b.tmp"), "b");
  WriteText(t.Native("plan.jww"), "old");
  platform::FaultyOs faulty;
  faulty.failRenameAt = 2;
  EXPECT_TRUE(faulty.Rename(t.Path("a.tmp"), t.Path("a.jww")));
  EXPECT_FALSE(faulty.Replace(t.Path("b.tmp"), t.Path("plan.jww")));
  EXPECT_EQ(faulty.renameCalls, 2);
  EXPECT_EQ(ReadText(t.Native("plan.jww")), "old");
  EXPECT_EQ(ReadText(t.Native("b.tmp")), "b");
  EXPECT_TRUE(faulty.Replace(t.Path("b.tmp"), t.Path("plan.jww")));
  EXPECT_EQ(ReadText(t.Native("plan.jww")), "b");
}

// --- The user's folders from user-dirs.dirs ----------------------------

std::string Desktop(const std::string& config, const std::string& home = "/home/u") {
  return platform::posix::UserFolderFromConfig(config, "XDG_DESKTOP_DIR", home, "Desktop");
}

TEST(UserDirs, ReadsTheFileAsXdgUserDirsWritesIt) {
  const std::string file =
      "# This file is written by xdg-user-dirs-update\n"
      "# If you want to change or add directories, just edit the line you're\n"
      "# interested in.\n"
      "XDG_DESKTOP_DIR=\"$HOME/" +
      kHyoUtf8 +
      "\"\n"
      "XDG_DOCUMENTS_DIR=\"/srv/docs\"\n";
  EXPECT_EQ(Desktop(file), "/home/u/" + kHyoUtf8);
  EXPECT_EQ(
      platform::posix::UserFolderFromConfig(file, "XDG_DOCUMENTS_DIR", "/home/u", "Documents"),
      "/srv/docs");
  // Windows line ends and blanks around "=".
  EXPECT_EQ(Desktop("  XDG_DESKTOP_DIR = \"$HOME/Desk\"\r\n"), "/home/u/Desk");
  // Written for the shell: backslash escapes.
  EXPECT_EQ(Desktop("XDG_DESKTOP_DIR=\"$HOME/my \\\"desk\\\" \\\\ \\$x\"\n"),
            "/home/u/my \"desk\" \\ $x");
  EXPECT_EQ(Desktop("XDG_DESKTOP_DIR=\"/srv/desk/\"\n"), "/srv/desk");
  EXPECT_EQ(Desktop("XDG_DESKTOP_DIR=\"$HOME/Desk\"\n", "/home/u/"), "/home/u/Desk");
  // The last line for the key wins, as when the shell sources the file.
  EXPECT_EQ(Desktop("XDG_DESKTOP_DIR=\"/a\"\nXDG_DESKTOP_DIR=\"/b\"\n"), "/b");
}

TEST(UserDirs, DisabledFolderMeansTheHomeFolder) {
  EXPECT_EQ(Desktop("XDG_DESKTOP_DIR=\"$HOME/\"\n"), "/home/u");
  EXPECT_EQ(Desktop("XDG_DESKTOP_DIR=\"$HOME\"\n"), "/home/u");
  EXPECT_EQ(Desktop("XDG_DESKTOP_DIR=\"$HOME/\"\n", "/"), "/");
}

TEST(UserDirs, FallsBackToTheUsualNameWhenTheFileDoesNotTell) {
  const std::string fallback = "/home/u/Desktop";
  EXPECT_EQ(Desktop(""), fallback);
  EXPECT_EQ(Desktop("XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n"), fallback);
  EXPECT_EQ(Desktop("# XDG_DESKTOP_DIR=\"/commented\"\n"), fallback);
  EXPECT_EQ(Desktop("XDG_DESKTOP_DIRS=\"/another/key\"\n"), fallback);
  // Malformed lines are passed over.
  EXPECT_EQ(Desktop("XDG_DESKTOP_DIR=/unquoted\n"), fallback);
  EXPECT_EQ(Desktop("XDG_DESKTOP_DIR=\"/unterminated\n"), fallback);
  EXPECT_EQ(Desktop("XDG_DESKTOP_DIR\n"), fallback);
  EXPECT_EQ(Desktop("XDG_DESKTOP_DIR=\"relative/desk\"\n"), fallback);
  // $HOME is expanded only as a whole word at the start.
  EXPECT_EQ(Desktop("XDG_DESKTOP_DIR=\"$HOMEDesk\"\n"), fallback);
  EXPECT_EQ(Desktop("XDG_DESKTOP_DIR=\"/x/$HOME\"\n"), "/x/$HOME");
  // A malformed line does not undo a good one before it.
  EXPECT_EQ(Desktop("XDG_DESKTOP_DIR=\"/good\"\nXDG_DESKTOP_DIR=bad\n"), "/good");
}

// --- The typed save question --------------------------------------------

// A conversation with AskSaveFolder: the lines the user types, what was
// written back, and the folders that exist.
struct Conversation {
  std::deque<std::string> lines;
  std::string written;
  std::set<std::string> folders{"/home/u/out", "/home/u", "/work", "/work/sub", "/data/my out"};
  int asked = 0;

  bool Ask(const std::string& start, platform::Path& chosen,
           const platform::Path& fileName = u"a.jww") {
    platform::posix::FolderPrompt prompt;
    prompt.title = "保存先";
    prompt.startNative = start;
    std::string error;
    if (!start.empty()) {
      EXPECT_TRUE(platform::NativeToInternal(start, prompt.startInternal, error));
    }
    prompt.home = "/home/u";
    prompt.currentFolder = "/work";
    prompt.readLine = [this](std::string& line) {
      ++asked;
      if (lines.empty()) return false;
      line = lines.front();
      lines.pop_front();
      return true;
    };
    prompt.write = [this](const std::string& text) { written += text; };
    prompt.isFolder = [this](const std::string& native) { return folders.count(native) > 0; };
    return platform::posix::AskSaveFolder(prompt, fileName, chosen);
  }
};

TEST(SaveQuestion, EnterAloneAcceptsTheStartFolder) {
  Conversation c;
  c.lines = {""};
  platform::Path chosen;
  ASSERT_TRUE(c.Ask("/home/u/out", chosen));
  EXPECT_EQ(chosen, u"\\home\\u\\out\\a.jww");
  EXPECT_EQ(c.written, "保存先 [/home/u/out]: ");

  // Blanks and the "\r" of a terminal in raw mode are not an answer.
  c.lines = {" \t\r"};
  ASSERT_TRUE(c.Ask("/home/u/out", chosen));
  EXPECT_EQ(chosen, u"\\home\\u\\out\\a.jww");
}

TEST(SaveQuestion, TypedFoldersAreTakenAsAShellWould) {
  struct Case {
    std::string typed;
    platform::Path chosen;
  } cases[] = {
      {"/home/u/out", u"\\home\\u\\out\\a.jww"},
      {"/home/u/out/", u"\\home\\u\\out\\a.jww"},
      {"sub", u"\\work\\sub\\a.jww"},
      {"./sub/", u"\\work\\sub\\a.jww"},
      {"../home/u/out", u"\\home\\u\\out\\a.jww"},
      {"~", u"\\home\\u\\a.jww"},
      {"~/out", u"\\home\\u\\out\\a.jww"},
      {"  '/data/my out' ", u"\\data\\my out\\a.jww"},
      {"\"/data/my out\"", u"\\data\\my out\\a.jww"},
  };
  for (const Case& k : cases) {
    Conversation c;
    c.lines = {k.typed};
    platform::Path chosen;
    EXPECT_TRUE(c.Ask("/home/u", chosen)) << k.typed;
    EXPECT_EQ(chosen, k.chosen) << k.typed;
  }
}

TEST(SaveQuestion, AsksAgainUntilTheFolderExists) {
  Conversation c;
  c.lines = {"/nowhere", "~nobody", "out"};
  c.folders.insert("/work/out");
  platform::Path chosen;
  ASSERT_TRUE(c.Ask("/home/u/out", chosen));
  EXPECT_EQ(chosen, u"\\work\\out\\a.jww");
  EXPECT_EQ(c.asked, 3);
  EXPECT_NE(c.written.find("フォルダがありません: /nowhere\n"), std::string::npos);
  // "~user" is not expanded: it is a relative name like any other.
  EXPECT_NE(c.written.find("フォルダがありません: /work/~nobody\n"), std::string::npos);
}

TEST(SaveQuestion, TakesAFolderShiftJisCannotNameAndRefusesOneNoPathCanHold) {
  Conversation c;
  c.folders.insert("/work/caf\xC3\xA9");
  c.lines = {"caf\xC3\xA9"};
  platform::Path chosen;
  ASSERT_TRUE(c.Ask("/home/u/out", chosen));
  EXPECT_EQ(chosen, u"\\work\\caf\u00E9\\a.jww");

  // A "\" in a name would become a separator inside: asked again.
  c.folders.insert("/work/a\\b");
  c.lines = {"a\\b", ""};
  c.written.clear();
  ASSERT_TRUE(c.Ask("/home/u/out", chosen));
  EXPECT_EQ(chosen, u"\\home\\u\\out\\a.jww");
  EXPECT_NE(c.written.find("/work/a\\b"), std::string::npos) << c.written;
}

TEST(SaveQuestion, EndOfInputCancels) {
  Conversation c;
  platform::Path chosen = u"untouched";
  EXPECT_FALSE(c.Ask("/home/u/out", chosen));
  EXPECT_EQ(chosen, u"untouched");
  // The shell's prompt must not follow on the question's line.
  EXPECT_EQ(c.written.back(), '\n');

  c.lines = {"/nowhere"};
  EXPECT_FALSE(c.Ask("/home/u/out", chosen));
  EXPECT_EQ(c.asked, 3);
}

TEST(SaveQuestion, JoinsTheFileNameOnceAfterAFolderEndingIn0x5C) {
  Conversation c;
  c.folders.insert("/work/" + kHyoUtf8);
  c.lines = {kHyoUtf8};
  platform::Path chosen;
  ASSERT_TRUE(c.Ask("/home/u/out", chosen));
  EXPECT_EQ(chosen, u"\\work\\\u8868\\a.jww");

  // The root itself already ends in a separator.
  c.folders.insert("/");
  c.lines = {"/"};
  ASSERT_TRUE(c.Ask("/home/u/out", chosen));
  EXPECT_EQ(chosen, u"\\a.jww");
}

TEST(SaveQuestion, WithoutAStartFolderEnterIsNoAnswer) {
  Conversation c;
  c.lines = {"", "/work"};
  platform::Path chosen;
  ASSERT_TRUE(c.Ask("", chosen));
  EXPECT_EQ(chosen, u"\\work\\a.jww");
  EXPECT_EQ(c.asked, 2);
}

// --- Esc in what a terminal sends ---------------------------------------

TEST(EscapeKey, TellsTheKeyFromTheSequencesOfOtherKeys) {
  using platform::posix::HoldsEscapeKey;
  EXPECT_TRUE(HoldsEscapeKey("\x1B"));
  EXPECT_TRUE(HoldsEscapeKey("abc\x1B"));
  EXPECT_TRUE(HoldsEscapeKey("\x1B\r"));  // Esc, then Enter before the next look
  EXPECT_TRUE(HoldsEscapeKey("\x1B\x1B[A"));
  EXPECT_TRUE(HoldsEscapeKey("\x1B[A\x1B"));
  EXPECT_FALSE(HoldsEscapeKey(""));
  EXPECT_FALSE(HoldsEscapeKey("q\r\n"));
  EXPECT_FALSE(HoldsEscapeKey("\x1B[A"));    // up arrow
  EXPECT_FALSE(HoldsEscapeKey("\x1B[15~"));  // F5
  EXPECT_FALSE(HoldsEscapeKey("\x1BOP"));    // F1
  EXPECT_FALSE(HoldsEscapeKey("\x1B[A\x1B[B\x1BOH"));
}

// --- Messages on the terminal -------------------------------------------

// Feeds each read in turn until the answer is entered or abandoned; the
// status, with the answer and what was echoed.
struct Typed {
  platform::posix::LineEditor::Status status;
  std::string line, echo;
};
Typed Type(std::initializer_list<std::string> reads) {
  platform::posix::LineEditor editor;
  Typed t{platform::posix::LineEditor::Status::Typing, "", ""};
  for (const std::string& r : reads) {
    t.status = editor.Feed(r, t.echo);
    if (t.status != platform::posix::LineEditor::Status::Typing) break;
  }
  t.line = editor.line;
  return t;
}

TEST(QuestionKeys, EscCancelsWhereOtherKeysDoNotEnterTheAnswer) {
  using Status = platform::posix::LineEditor::Status;
  Typed t = Type({"out\x1B"});
  EXPECT_EQ(t.status, Status::Abandoned);
  t = Type({"ou", "t\x1B", "\r"});  // Esc alone in its read, as a terminal sends it
  EXPECT_EQ(t.status, Status::Abandoned);
  t = Type({"\x1B", "x"});
  EXPECT_EQ(t.status, Status::Abandoned);
  t = Type({"\x1Bx"});  // Alt-x: no key of a path
  EXPECT_EQ(t.status, Status::Abandoned);
  t = Type({"o\x1B[Du\x1BOPt\x1B[200~\x1B[201~\r"});  // arrows, F1, a paste's marks
  EXPECT_EQ(t.status, Status::Entered);
  EXPECT_EQ(t.line, "out");
  EXPECT_EQ(t.echo, "out\n");
  t = Type({"a\x1B[", "1;5C", "b\n"});  // a sequence split across reads
  EXPECT_EQ(t.line, "ab");
  t = Type({"\x04"});
  EXPECT_EQ(t.status, Status::Abandoned);
  t = Type({"a\x04\t\r"});  // Ctrl-D after text, a tab: nothing
  EXPECT_EQ(t.status, Status::Entered);
  EXPECT_EQ(t.line, "a");
}

TEST(QuestionKeys, BackspaceErasesWholeCharactersAndTheirColumns) {
  using Status = platform::posix::LineEditor::Status;
  Typed t = Type({"ab\x7F", "\x7F\x7F\b", "c\r"});
  EXPECT_EQ(t.status, Status::Entered);
  EXPECT_EQ(t.line, "c");
  EXPECT_EQ(t.echo, "ab\b \b\b \bc\n");
  t = Type({"é表\x7F"});  // 表 takes two columns, é one
  EXPECT_EQ(t.line, "é");
  EXPECT_EQ(t.echo, "é表\b \b\b \b");
  t = Type({"é\x7F"});
  EXPECT_EQ(t.line, "");
  EXPECT_EQ(t.echo, "é\b \b");
  t = Type({"ab表\x15x\r"});  // Ctrl-U clears the answer
  EXPECT_EQ(t.line, "x");
  EXPECT_EQ(t.echo, "ab表\b \b\b \b\b \b\b \bx\n");
}

TEST(TerminalMessage, IsUtf8WithOneNewlinePerLine) {
  using platform::posix::MessageForTerminal;
  EXPECT_EQ(MessageForTerminal(kHyoSjis + "\r\n" + kHyoSjis), kHyoUtf8 + "\n" + kHyoUtf8 + "\n");
  EXPECT_EQ(MessageForTerminal("done\r\n"), "done\n");
  EXPECT_EQ(MessageForTerminal("a\r\n\r\nb"), "a\n\nb\n");
  EXPECT_EQ(MessageForTerminal(""), "\n");
  // A character cut short at the end still leaves the line ended.
  EXPECT_EQ(MessageForTerminal("x\x81"), "x\xEF\xBF\xBD\n");
}

// --- What an ending interrupt would clean up ----------------------------

bool Pending(const std::vector<std::string>& list, const fs::path& p) {
  return std::find(list.begin(), list.end(), p.string()) != list.end();
}

TEST(InterruptCleanup, ListsTheFilesMadeAndNotYetPutInPlace) {
  TempDir t;
  ASSERT_TRUE(Native().Create(t.Path("staged.bmp")));
  ASSERT_TRUE(Native().CreateNew(t.Path("plan.jww.~1.tmp")));
  ASSERT_TRUE(Native().Create(t.Path("gone.tmp")));
  ASSERT_TRUE(Native().Create(t.Path("new.tmp")));
  WriteText(t.Native("plan.jww"), "old");
  ASSERT_TRUE(Native().Rename(t.Path("plan.jww.~1.tmp"), t.Path("done.jww")));
  ASSERT_TRUE(Native().Delete(t.Path("gone.tmp")));
  ASSERT_TRUE(Native().Replace(t.Path("new.tmp"), t.Path("plan.jww")));

  auto pending = platform::posix::WhatWouldBeCleanedUp();
  EXPECT_TRUE(Pending(pending.files, t.Native("staged.bmp")));
  EXPECT_FALSE(Pending(pending.files, t.Native("plan.jww.~1.tmp")));
  EXPECT_FALSE(Pending(pending.files, t.Native("done.jww")));
  EXPECT_FALSE(Pending(pending.files, t.Native("gone.tmp")));
  EXPECT_FALSE(Pending(pending.files, t.Native("new.tmp")));
  EXPECT_FALSE(Pending(pending.files, t.Native("plan.jww")));
  ASSERT_TRUE(Native().Delete(t.Path("staged.bmp")));
}

TEST(InterruptCleanup, AFileRenamedIntoPlaceIsNeverCleanedUpUnderItsNewName) {
  TempDir t;
  // A placeholder the program made and then replaced with the finished file.
  ASSERT_TRUE(Native().CreateNew(t.Path("plan.jww")));
  ASSERT_TRUE(Native().CreateNew(t.Path("plan.jww.~1.tmp")));
  ASSERT_TRUE(Native().Replace(t.Path("plan.jww.~1.tmp"), t.Path("plan.jww")));
  // One the program made, that went behind the Os's back, and whose name a
  // finished file takes.
  ASSERT_TRUE(Native().CreateNew(t.Path("b.jww")));
  fs::remove(t.Native("b.jww"));
  ASSERT_TRUE(Native().CreateNew(t.Path("b.tmp")));
  ASSERT_TRUE(Native().Rename(t.Path("b.tmp"), t.Path("b.jww")));

  auto pending = platform::posix::WhatWouldBeCleanedUp();
  EXPECT_FALSE(Pending(pending.files, t.Native("plan.jww")));
  EXPECT_FALSE(Pending(pending.files, t.Native("b.jww")));
}

TEST(InterruptCleanup, NeverListsAFileTheProgramDidNotMake) {
  TempDir t;
  WriteText(t.Native("users.jww"), "mine");
  EXPECT_FALSE(Native().CreateNew(t.Path("users.jww")));
  // A failed rename leaves the file the program's to clean.
  ASSERT_TRUE(Native().Create(t.Path("a.tmp")));
  EXPECT_FALSE(Native().Rename(t.Path("a.tmp"), t.Path("users.jww")));
  // Made through the fault injector, which hands on to the real Os.
  platform::FaultyOs faulty;
  faulty.failCreateAt = 1;
  EXPECT_FALSE(faulty.Create(t.Path("refused.tmp")));

  auto pending = platform::posix::WhatWouldBeCleanedUp();
  EXPECT_FALSE(Pending(pending.files, t.Native("users.jww")));
  EXPECT_TRUE(Pending(pending.files, t.Native("a.tmp")));
  EXPECT_FALSE(Pending(pending.files, t.Native("refused.tmp")));
  ASSERT_TRUE(Native().Delete(t.Path("a.tmp")));
}

TEST(InterruptCleanup, ListsFoldersNewestFirstUntilRemoved) {
  TempDir t;
  ASSERT_TRUE(Native().CreateFolder(t.Path("TEMP")));
  ASSERT_TRUE(Native().CreateFolder(SjisToUtf16(t.Internal("TEMP") + "\\run")));
  ASSERT_TRUE(Native().CreateFolder(SjisToUtf16(t.Internal("TEMP") + "\\run\\images")));
  ASSERT_TRUE(Native().CreateFolder(t.Path("other")));
  ASSERT_TRUE(Native().RemoveFolder(t.Path("other")));
  // One the program did not make is not its to remove.
  fs::create_directory(t.Native("users"));
  EXPECT_FALSE(Native().CreateFolder(t.Path("users")));

  auto pending = platform::posix::WhatWouldBeCleanedUp();
  auto at = [&](const fs::path& p) {
    return std::find(pending.folders.begin(), pending.folders.end(), p.string()) -
           pending.folders.begin();
  };
  const long n = static_cast<long>(pending.folders.size());
  ASSERT_LT(at(t.Native("TEMP")), n);
  EXPECT_LT(at(t.Native("TEMP/run/images")), at(t.Native("TEMP/run")));
  EXPECT_LT(at(t.Native("TEMP/run")), at(t.Native("TEMP")));
  EXPECT_EQ(at(t.Native("other")), n);
  EXPECT_EQ(at(t.Native("users")), n);

  ASSERT_TRUE(Native().RemoveFolder(SjisToUtf16(t.Internal("TEMP") + "\\run\\images")));
  ASSERT_TRUE(Native().RemoveFolder(SjisToUtf16(t.Internal("TEMP") + "\\run")));
  ASSERT_TRUE(Native().RemoveFolder(t.Path("TEMP")));
  pending = platform::posix::WhatWouldBeCleanedUp();
  EXPECT_FALSE(Pending(pending.folders, t.Native("TEMP")));
  EXPECT_FALSE(Pending(pending.folders, t.Native("TEMP/run")));
}

// --- Folders of the front end -------------------------------------------

TEST(ProgramFolders, MakeFoldersMakesEveryMissingLevel) {
  TempDir t;
  std::string error;
  const fs::path deep = t.Native("state/marrowfold/" + kHyoUtf8);
  ASSERT_TRUE(platform::MakeFolders(deep.string() + "/", error)) << error;
  EXPECT_TRUE(fs::is_directory(deep));
  EXPECT_TRUE(platform::MakeFolders(deep.string(), error)) << error;
  EXPECT_TRUE(error.empty());
  EXPECT_TRUE(platform::FolderWritable(deep.string()));
}

TEST(ProgramFolders, MakeFoldersNamesTheFolderAndTheReason) {
  TempDir t;
  WriteText(t.Native("file"), "");
  std::string error;
  EXPECT_FALSE(platform::MakeFolders(t.Native("file").string(), error));
  EXPECT_NE(error.find(t.Native("file").string()), std::string::npos) << error;
  EXPECT_NE(error.find("File exists"), std::string::npos) << error;

  EXPECT_FALSE(platform::MakeFolders(t.Native("file/sub").string(), error));
  EXPECT_NE(error.find(t.Native("file/sub").string()), std::string::npos) << error;
  EXPECT_NE(error.find("Not a directory"), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(t.Native("file/sub")));
}

TEST(ProgramFolders, FolderWritableOnlyForAFolder) {
  TempDir t;
  WriteText(t.Native("file"), "");
  EXPECT_TRUE(platform::FolderWritable(t.path().string()));
  EXPECT_FALSE(platform::FolderWritable(t.Native("file").string()));
  EXPECT_FALSE(platform::FolderWritable(t.Native("missing").string()));
}

}  // namespace
