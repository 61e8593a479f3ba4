#include <gtest/gtest.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <locale.h>
#include <wctype.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/casefold.h"
#include "platform/platform.h"
#include "platform/unicode.h"
#include "testing/faulty_os.h"
#include "testing/memory_os.h"
#include "testing/testutil.h"

namespace fs = std::filesystem;
using testutil::ReadText;
using testutil::TempDir;
using testutil::WriteText;

namespace {

// 表 (0x95 0x5C) ends in the byte of "\".
const std::string kHyoSjis = "\x95\x5C";
const std::string kHyoUtf8 = "\xE8\xA1\xA8";

platform::Os& Os() {
  return platform::Current();
}

// Maps a drive letter for one test and forgets it afterwards: the table is
// shared by the whole process.
class DriveMapping {
 public:
  DriveMapping(char letter, const fs::path& folder) : letter_(letter) {
    platform::Native().MapDrive(letter, folder.string());
  }
  ~DriveMapping() { platform::Native().MapDrive(letter_, ""); }

 private:
  char letter_;
};

#ifndef _WIN32
class HomeOverride {
 public:
  explicit HomeOverride(const fs::path& home) {
    if (const char* old = std::getenv("HOME")) old_ = old;
    ::setenv("HOME", home.c_str(), 1);
  }
  ~HomeOverride() {
    if (old_) {
      ::setenv("HOME", old_->c_str(), 1);
    } else {
      ::unsetenv("HOME");
    }
  }

 private:
  std::optional<std::string> old_;
};
#endif

std::string ReadAll(platform::File& f) {
  std::string s;
  char buf[7];  // small, so several reads are needed
  long long n;
  while ((n = f.Read(buf, sizeof buf)) > 0) s.append(buf, static_cast<std::size_t>(n));
  return s;
}

// The names of a folder's entries as it lists them, sorted.
std::vector<std::string> NamesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder))
    names.push_back(testutil::Utf8(e.path().filename()));
  std::sort(names.begin(), names.end());
  return names;
}

bool WriteFile(const std::string& internal, const std::string& text) {
  auto f = Os().Create(SjisToUtf16(internal));
  return f && f->Write(text.data(), text.size()) == static_cast<long long>(text.size()) &&
         f->Close();
}

}  // namespace

TEST(PlatformPaths, DriveMappingAndDoubleByteComponents) {
#ifdef _WIN32
  GTEST_SKIP() << "drive mapping and \"/\" roots are POSIX only: Windows has drives of its own "
                  "(表 paths: test_platform_win32.cpp)";
#else
  TempDir dir;
  DriveMapping q('Q', dir.path());
  fs::create_directory(dir.Native(kHyoUtf8));
  WriteText(dir.Native(kHyoUtf8) / "a.txt", "hyo");

  // The 0x5C of 表 is no separator: one folder, not two.
  EXPECT_EQ(platform::InternalToNative(SjisToUtf16("Q:\\" + kHyoSjis + "\\a.txt")),
            (dir.path() / kHyoUtf8 / "a.txt").string());
  EXPECT_TRUE(Os().FileExists(SjisToUtf16("q:\\" + kHyoSjis + "\\a.txt")));
  EXPECT_TRUE(Os().FolderExists(SjisToUtf16("Q:\\" + kHyoSjis)));
  EXPECT_FALSE(Os().FileExists(SjisToUtf16("Q:\\" + kHyoSjis)));
  auto f = Os().OpenRead(SjisToUtf16("Q:/" + kHyoSjis + "/a.txt"));  // "/" separates too
  ASSERT_TRUE(f);
  EXPECT_EQ(ReadAll(*f), "hyo");

  // Rooted and relative paths.
  EXPECT_EQ(platform::InternalToNative(u"\\home\\u\\a.jww"), "/home/u/a.jww");
  EXPECT_EQ(platform::InternalToNative(SjisToUtf16("sub\\" + kHyoSjis + ".txt")),
            "sub/" + kHyoUtf8 + ".txt");

  // An unmapped drive names no file; its display form keeps the letter.
  HomeOverride home(dir.path());
  EXPECT_FALSE(Os().FileExists(SjisToUtf16("Y:\\a.txt")));
  EXPECT_FALSE(Os().OpenRead(SjisToUtf16("Y:\\a.txt")));
  EXPECT_FALSE(Os().Create(SjisToUtf16("Y:\\a.txt")));
  EXPECT_EQ(platform::InternalToNative(SjisToUtf16("Y:\\x\\" + kHyoSjis)), "Y:/x/" + kHyoUtf8);
  // A character beyond the BMP shows whole, its pair kept.
  EXPECT_EQ(platform::InternalToNative(u"Y:\\\U0001F600"), "Y:/\xF0\x9F\x98\x80");
  // A unit that is no character (a lone surrogate) shows as U+FFFD, never
  // raw.
  EXPECT_EQ(platform::InternalToNative(u"\\a\\\xD800"), "/a/\xEF\xBF\xBD");
  EXPECT_FALSE(Os().FileExists(u"Q:\\\xD800"));
#endif
}

TEST(PlatformPaths, NamesOnDiskInCp932BytesAreFoundToo) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows names are UTF-16 on disk";
#else
  // A folder and a file as unzip leaves them from a zip made on a Japanese
  // Windows: their names are the CP932 bytes, not UTF-8.
  TempDir dir;
  DriveMapping q('Q', dir.path());
  fs::create_directory(dir.path() / kHyoSjis);
  WriteText(dir.path() / kHyoSjis / (kHyoSjis + ".txt"), "hyo");
  const std::string inside = "Q:\\" + kHyoSjis + "\\";
  EXPECT_TRUE(Os().FolderExists(SjisToUtf16("Q:\\" + kHyoSjis)));
  EXPECT_TRUE(Os().FileExists(SjisToUtf16(inside + kHyoSjis + ".txt")));
  auto f = Os().OpenRead(SjisToUtf16(inside + kHyoSjis + ".txt"));
  ASSERT_TRUE(f);
  EXPECT_EQ(ReadAll(*f), "hyo");
  bool cp932 = false;
  EXPECT_EQ(platform::InternalToDisplay(SjisToUtf16(inside + kHyoSjis + ".txt"), &cp932),
            (dir.path() / kHyoUtf8 / (kHyoUtf8 + ".txt")).string());
  EXPECT_TRUE(cp932);
  platform::InternalToDisplay(u"Q:\\a.txt", &cp932);
  EXPECT_FALSE(cp932);

  // A new file inside such a folder takes the system's own encoding; a
  // name of both spellings is found as UTF-8 first.
  ASSERT_TRUE(WriteFile(inside + "new" + kHyoSjis + ".txt", "n"));
  EXPECT_TRUE(fs::exists(dir.path() / kHyoSjis / ("new" + kHyoUtf8 + ".txt")));
  WriteText(dir.path() / kHyoSjis / (kHyoUtf8 + ".txt"), "utf8");
  f = Os().OpenRead(SjisToUtf16(inside + kHyoSjis + ".txt"));
  ASSERT_TRUE(f);
  EXPECT_EQ(ReadAll(*f), "utf8");

  // A command-line argument in those bytes names the file as it lies.
  platform::Path internal;
  std::string error;
  ASSERT_TRUE(platform::NativeToInternal((dir.path() / kHyoSjis).string(), internal, error));
  EXPECT_EQ(platform::InternalToNative(internal), (dir.path() / kHyoSjis).string());
  // Bytes neither UTF-8 nor CP932 stay refused.
  EXPECT_FALSE(platform::NativeToInternal("/tmp/\x85\x40.jww", internal, error));
#endif
}

TEST(PlatformPaths, WineDosdevicesLinkIsTheDefaultDrive) {
#ifdef _WIN32
  GTEST_SKIP() << "Wine's dosdevices links are how POSIX finds drives; Windows has them itself";
#else
  TempDir dir;
  HomeOverride home(dir.path());
  fs::create_directories(dir.path() / ".wine/dosdevices");
  fs::create_directories(dir.path() / ".wine/drive_x/dwg");
  fs::create_directory_symlink("../drive_x", dir.path() / ".wine/dosdevices/x:");
  WriteText(dir.path() / ".wine/drive_x/dwg/plan.jww", "jww");

  EXPECT_TRUE(Os().FileExists(SjisToUtf16("X:\\dwg\\plan.jww")));
  EXPECT_TRUE(Os().FileExists(SjisToUtf16("x:\\DWG\\Plan.JWW")));
  EXPECT_FALSE(Os().FileExists(SjisToUtf16("W:\\dwg\\plan.jww")));

  // A mapping set with MapDrive wins over the link.
  TempDir other;
  fs::create_directory(other.Native("dwg"));
  DriveMapping x('x', other.path());
  EXPECT_FALSE(Os().FileExists(SjisToUtf16("X:\\dwg\\plan.jww")));
  EXPECT_TRUE(Os().FolderExists(SjisToUtf16("X:\\dwg")));
#endif
}

TEST(PlatformPaths, LetterCaseIsIgnoredLikeWindows) {
  TempDir dir;
#ifdef _WIN32
  // Windows ignores letter case itself: the folder as it is.
  const std::string c = dir.Internal();
#else
  DriveMapping mapping('C', dir.path());
  const std::string c = "C:\\";
#endif
  fs::create_directory(dir.Native("img"));
  WriteText(dir.Native("img/a.bmp"), "image");

  EXPECT_TRUE(Os().FileExists(SjisToUtf16(c + "IMG\\A.BMP")));
#ifndef _WIN32
  EXPECT_EQ(platform::InternalToNative(u"C:\\IMG\\A.BMP"), (dir.path() / "img/a.bmp").string());
#endif
  platform::DirEntry e;
  ASSERT_TRUE(Os().FindFirst(SjisToUtf16(c + "Img\\A.bmp"), e));
  EXPECT_EQ(e.size, 5u);
  EXPECT_FALSE(Os().FileExists(SjisToUtf16(c + "IMG\\B.BMP")));

  // A new name keeps its letters as written, in the folder found. The
  // names as the folder lists them (fs::exists ignores case on Windows).
  ASSERT_TRUE(WriteFile(c + "IMG\\New.TXT", "n"));
  EXPECT_EQ(NamesIn(dir.path()), std::vector<std::string>{"img"});
  // Create replaces the existing entry rather than adding a second one;
  // CreateNew refuses it.
  ASSERT_TRUE(WriteFile(c + "IMG\\A.BMP", "replaced"));
  EXPECT_EQ(ReadText(dir.Native("img/a.bmp")), "replaced");
  EXPECT_EQ(NamesIn(dir.Native("img")), (std::vector<std::string>{"New.TXT", "a.bmp"}));
  EXPECT_FALSE(Os().CreateNew(SjisToUtf16(c + "img\\a.BMP")));
  EXPECT_FALSE(Os().CreateFolder(SjisToUtf16(c + "IMG")));

  // Letters beyond ASCII fold as Windows folds them: full-width Ａ (0x82
  // 0x60) and ａ, É and é, Greek and Cyrillic; ı (dotless i) meets no "I".
  WriteText(dir.Native("\xEF\xBC\xA1.txt"), "fw");
  EXPECT_TRUE(Os().FileExists(SjisToUtf16(c + "\x82\x60.TXT")));
  EXPECT_TRUE(Os().FileExists(SjisToUtf16(c + "\x82\x81.txt")));  // full-width ａ
  fs::create_directory(dir.Native("Caf\xC3\xA9"));
  WriteText(dir.Native("Caf\xC3\xA9/\xC3\xA9t\xC3\xA9 \xCE\xB1\xD0\xB6.png"), "e");
  const std::u16string cafe = SjisToUtf16(c) + u"CAF\u00C9\\";
  EXPECT_TRUE(Os().FileExists(cafe + u"\u00C9T\u00C9 \u0391\u0416.PNG"));
  EXPECT_FALSE(Os().FileExists(cafe + u"ETE \u0391\u0416.PNG"));
  WriteText(dir.Native("\xC4\xB1.txt"), "dotless");
  EXPECT_FALSE(Os().FileExists(SjisToUtf16(c + "I.txt")));
  EXPECT_TRUE(Os().FileExists(SjisToUtf16(c) + u"\u0131.TXT"));

  EXPECT_TRUE(Os().Delete(SjisToUtf16(c + "IMG\\NEW.txt")));
  EXPECT_EQ(NamesIn(dir.Native("img")), std::vector<std::string>{"a.bmp"});
}

// Another process changes the folder later than our look at it. Kernels
// before 6.13 stamp folders with a clock of some milliseconds, so "later"
// must be that far apart for any stamp to tell; a user's hand is slower.
void Later() {
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

#ifndef _WIN32
// A lookup that finds no entry answers the questions of existence itself;
// what it must not lose is an entry that stat alone would miss or see.
TEST(PlatformPaths, ExistenceAfterALookupThatFoundNothing) {
  TempDir dir;
  DriveMapping mapping('C', dir.path());
  fs::create_directory(dir.Native("Sub"));
  fs::create_symlink("nowhere", dir.Native("Sub/dangling"));
  fs::create_symlink("Sub", dir.Native("link"));
  platform::DirEntry e;
  // A dangling link is an entry of its folder, though no file.
  EXPECT_TRUE(Os().FindFirst(u"C:\\SUB\\DANGLING", e));
  EXPECT_FALSE(Os().FileExists(u"C:\\sub\\dangling"));
  // Through a link to a folder, in other letters.
  EXPECT_TRUE(Os().FolderExists(u"C:\\LINK"));
  EXPECT_FALSE(Os().FileExists(u"C:\\LINK"));
  // Missing at the last component, and below a missing folder.
  for (const char16_t* missing : {u"C:\\Sub\\none", u"C:\\none\\Sub", u"C:\\NONE\\x\\y"}) {
    EXPECT_FALSE(Os().FindFirst(missing, e)) << testutil::Utf8(std::u16string(missing));
    EXPECT_FALSE(Os().FileExists(missing));
    EXPECT_FALSE(Os().FolderExists(missing));
  }
  // Made afterwards by another hand, in other letters: found at once.
  Later();
  WriteText(dir.Native("Sub/None"), "n");
  EXPECT_TRUE(Os().FileExists(u"C:\\Sub\\none"));
}
#endif

TEST(PlatformPaths, LookupSeesEntriesMadeAndRemovedBehindItsBack) {
  TempDir dir;
  WriteText(dir.Native("x.jww"), "x");
  EXPECT_TRUE(Os().FileExists(dir.Path("X.JWW")));  // the folder is listed

  // Made by another process: found in any case, never replaced or doubled.
  Later();
  WriteText(dir.Native("A.jww"), "theirs");
  EXPECT_TRUE(Os().FileExists(dir.Path("a.jww")));
  EXPECT_FALSE(Os().CreateNew(dir.Path("a.jww")));
  EXPECT_FALSE(Os().Rename(dir.Path("x.jww"), dir.Path("a.JWW")));
  EXPECT_EQ(ReadText(dir.Native("A.jww")), "theirs");

  // Between two changes of our own, the second one to a name that needs no
  // lookup (a conversion writes the temporary it reserved): that change
  // must not take the folder's new stamp for its own doing.
  ASSERT_TRUE(WriteFile(dir.Internal("b.jww"), "b"));
  Later();
  WriteText(dir.Native("C.jww"), "theirs");
  Later();
  ASSERT_TRUE(WriteFile(dir.Internal("b.jww"), "b again"));
  EXPECT_FALSE(Os().CreateNew(dir.Path("c.jww")));
  ASSERT_TRUE(WriteFile(dir.Internal("c.JWW"), "ours"));
  EXPECT_EQ(ReadText(dir.Native("C.jww")), "ours");

  // Removed by another process: a new file takes the name as written.
  Later();
  fs::remove(dir.Native("A.jww"));
  EXPECT_FALSE(Os().FileExists(dir.Path("a.jww")));
  ASSERT_TRUE(Os().CreateNew(dir.Path("a.jww")));
  EXPECT_EQ(NamesIn(dir.path()), (std::vector<std::string>{"C.jww", "a.jww", "b.jww", "x.jww"}));
}

TEST(PlatformPaths, LookupFollowsOurOwnChanges) {
  TempDir dir;
  ASSERT_TRUE(WriteFile(dir.Internal("t.tmp"), "t"));
  EXPECT_FALSE(Os().FileExists(dir.Path("OUT.JWW")));  // the folder is listed

  // Renamed into place, the name is taken in every case; deleted, free.
  ASSERT_TRUE(Os().Rename(dir.Path("T.TMP"), dir.Path("Out.jww")));
  EXPECT_FALSE(Os().FileExists(dir.Path("t.tmp")));
  EXPECT_TRUE(Os().FileExists(dir.Path("OUT.JWW")));
  EXPECT_FALSE(Os().CreateNew(dir.Path("out.jww")));
  ASSERT_TRUE(Os().Delete(dir.Path("OUT.jww")));
  EXPECT_FALSE(Os().FileExists(dir.Path("out.jww")));
  ASSERT_TRUE(Os().CreateNew(dir.Path("OUT.jww")));
  EXPECT_EQ(NamesIn(dir.path()), std::vector<std::string>{"OUT.jww"});

  // A folder removed and made again is listed afresh.
  ASSERT_TRUE(Os().CreateFolder(dir.Path("Sub")));
  ASSERT_TRUE(WriteFile(dir.Internal() + "SUB\\Old.txt", "o"));
  ASSERT_TRUE(Os().Delete(SjisToUtf16(dir.Internal() + "sub\\old.txt")));
  ASSERT_TRUE(Os().RemoveFolder(dir.Path("SUB")));
  fs::create_directory(dir.Native("Sub"));
  WriteText(dir.Native("Sub/OLD.txt"), "theirs");
  EXPECT_TRUE(Os().FileExists(SjisToUtf16(dir.Internal() + "sub\\old.txt")));

  // Many made and removed in turn, as a batch does: each found in any
  // case while it is there, and not after.
  for (int i = 0; i < 300; ++i) {
    const std::string name = "Drawing" + std::to_string(i) + ".jww";
    ASSERT_TRUE(WriteFile(dir.Internal(name), "n"));
    if (i % 3 == 0) {
      ASSERT_TRUE(Os().Rename(dir.Path(name), dir.Path("R" + name)));
    } else if (i % 3 == 1) {
      ASSERT_TRUE(Os().Delete(dir.Path(name)));
    }
  }
  for (int i = 0; i < 300; ++i) {
    const std::string name = "DRAWING" + std::to_string(i) + ".JWW";
    EXPECT_EQ(Os().FileExists(dir.Path(name)), i % 3 == 2) << name;
    EXPECT_EQ(Os().FileExists(dir.Path("r" + name)), i % 3 == 0) << name;
  }

#ifndef _WIN32
  // Two spellings of one name: the smallest is found, and the other once
  // the first is gone.
  WriteText(dir.Native("m.txt"), "lower");
  WriteText(dir.Native("M.txt"), "upper");
  EXPECT_FALSE(Os().FileExists(dir.Path("zzz")));  // listed with both
  platform::DirEntry e;
  ASSERT_TRUE(Os().FindFirst(dir.Path("m.TXT"), e));
  EXPECT_EQ(e.size, 5u);
  ASSERT_TRUE(Os().Delete(dir.Path("M.txt")));
  ASSERT_TRUE(Os().FindFirst(dir.Path("m.TXT"), e));
  EXPECT_EQ(e.size, 5u);
  ASSERT_TRUE(Os().Delete(dir.Path("m.TXT")));
  EXPECT_FALSE(Os().FileExists(dir.Path("M.TXT")));
#endif
}

#ifndef _WIN32
// A listing checks its folder through the folder's own descriptor: renamed
// entries, the folder moved away with another made in its place, removed
// and made again, one folder reached under two paths: a listing never
// answers for what is no longer there.
TEST(PlatformPaths, LookupSeesRenamesAndMovesBehindItsBack) {
  TempDir dir;
  fs::create_directory(dir.Native("Sub"));
  WriteText(dir.Native("Sub/A.jww"), "a");
  EXPECT_TRUE(Os().FileExists(dir.Path("SUB/a.JWW")));  // Sub is listed
  Later();
  fs::rename(dir.Native("Sub/A.jww"), dir.Native("Sub/B.jww"));
  EXPECT_FALSE(Os().FileExists(dir.Path("Sub/a.jww")));
  EXPECT_TRUE(Os().FileExists(dir.Path("Sub/b.JWW")));
  ASSERT_TRUE(Os().CreateNew(dir.Path("Sub/a.jww")));

  // The folder moved away and another made under its name.
  Later();
  fs::rename(dir.Native("Sub"), dir.Native("Old"));
  fs::create_directory(dir.Native("Sub"));
  WriteText(dir.Native("Sub/C.jww"), "c");
  EXPECT_FALSE(Os().FileExists(dir.Path("Sub/b.jww")));
  EXPECT_TRUE(Os().FileExists(dir.Path("Sub/c.jww")));
  EXPECT_TRUE(Os().FileExists(dir.Path("OLD/B.JWW")));

  // Removed and made again by another hand.
  Later();
  fs::remove_all(dir.Native("Sub"));
  fs::create_directory(dir.Native("Sub"));
  WriteText(dir.Native("Sub/E.jww"), "e");
  EXPECT_FALSE(Os().FileExists(dir.Path("Sub/c.jww")));
  EXPECT_TRUE(Os().FileExists(dir.Path("Sub/e.jww")));

  // One folder under two paths: a change through one is seen through both.
  fs::create_symlink("Sub", dir.Native("link"));
  EXPECT_FALSE(Os().FileExists(dir.Path("link/d.jww")));
  ASSERT_TRUE(Os().CreateNew(dir.Path("Sub/D.jww")));
  EXPECT_TRUE(Os().FileExists(dir.Path("link/d.jww")));
  ASSERT_TRUE(Os().Delete(dir.Path("LINK/D.JWW")));
  EXPECT_FALSE(Os().FileExists(dir.Path("sub/d.jww")));
  EXPECT_EQ(NamesIn(dir.Native("Sub")), std::vector<std::string>{"E.jww"});
}
#endif

TEST(PlatformPaths, LookupInAFolderOfThousandsOfEntries) {
  // Short names in a large folder are looked for spelling by spelling
  // rather than through a listing; the answers must be the same.
  TempDir dir;
  for (int i = 0; i < 3000; ++i) WriteText(dir.Native("f" + std::to_string(i) + ".jww"), "");
  WriteText(dir.Native("x.jww"), "x");
  EXPECT_TRUE(Os().FileExists(dir.Path("X.JWW")));
  EXPECT_FALSE(Os().CreateNew(dir.Path("X.jww")));
  EXPECT_FALSE(Os().FileExists(dir.Path("y.jww")));
  ASSERT_TRUE(Os().CreateNew(dir.Path("Y.jww")));
  EXPECT_TRUE(Os().FileExists(dir.Path("y.JWW")));
  WriteText(dir.Native("Z.jww"), "theirs");
  EXPECT_FALSE(Os().CreateNew(dir.Path("z.jww")));
#ifndef _WIN32
  WriteText(dir.Native("ab.txt"), "lower");
  WriteText(dir.Native("AB.txt"), "UP");
  platform::DirEntry e;
  ASSERT_TRUE(Os().FindFirst(dir.Path("Ab.TXT"), e));
  EXPECT_EQ(e.size, 2u);  // the smallest spelling, as a listing gives it
#endif
  // A name of many letters, which no one tries spelling by spelling.
  WriteText(dir.Native("ArchitecturalPlan.jww"), "plan");
  EXPECT_TRUE(Os().FileExists(dir.Path("architecturalplan.JWW")));
  // And many short ones, until listing the folder is the cheaper way.
  for (int i = 0; i < 3000; i += 7) {
    EXPECT_TRUE(Os().FileExists(SjisToUtf16(dir.Internal("F" + std::to_string(i) + ".JWW")))) << i;
    EXPECT_FALSE(Os().FileExists(SjisToUtf16(dir.Internal("G" + std::to_string(i) + ".JWW")))) << i;
  }
#ifndef _WIN32
  EXPECT_EQ(NamesIn(dir.path()).size(), 3000u + 6u);
#endif
}

TEST(PlatformPaths, NativeToInternalAndDisplayText) {
  platform::Path internal;
  std::string error;
  ASSERT_TRUE(platform::NativeToInternal("/home/u/a.jww", internal, error));
  EXPECT_EQ(internal, u"\\home\\u\\a.jww");
  ASSERT_TRUE(platform::NativeToInternal("dwg/" + kHyoUtf8 + ".jww", internal, error));
  EXPECT_EQ(internal, u"dwg\\\u8868.jww");
#ifdef _WIN32
  EXPECT_EQ(platform::InternalToNative(internal), "dwg\\" + kHyoUtf8 + ".jww");
#else
  EXPECT_EQ(platform::InternalToNative(internal), "dwg/" + kHyoUtf8 + ".jww");
#endif
  ASSERT_TRUE(platform::NativeToInternal("C:\\dwg/a.jww", internal, error));
  EXPECT_EQ(internal, u"C:\\dwg\\a.jww");

  // Characters Shift-JIS lacks are taken as they are: é, and an emoji (a
  // surrogate pair).
  ASSERT_TRUE(platform::NativeToInternal("/tmp/caf\xC3\xA9.jww", internal, error)) << error;
  EXPECT_EQ(internal, u"\\tmp\\caf\u00E9.jww");
  ASSERT_TRUE(platform::NativeToInternal("/tmp/\xF0\x9F\x98\x80.jww", internal, error)) << error;
  EXPECT_EQ(internal, u"\\tmp\\\U0001F600.jww");
#ifdef _WIN32
  // A backslash is the separator itself here.
  ASSERT_TRUE(platform::NativeToInternal("C:\\tmp\\a\\b.jww", internal, error));
  EXPECT_EQ(internal, u"C:\\tmp\\a\\b.jww");
  EXPECT_EQ(platform::AbsoluteNative("C:/x/y"), "C:\\x\\y");
  EXPECT_EQ(platform::AbsoluteNative("./a.jww"), testutil::Utf8(fs::current_path() / "a.jww"));
#else
  // Refused, with the path named: a backslash that would become a separator
  // inside.
  EXPECT_FALSE(platform::NativeToInternal("/tmp/a\\b.jww", internal, error));
  EXPECT_NE(error.find("/tmp/a\\b.jww"), std::string::npos) << error;

  EXPECT_EQ(platform::AbsoluteNative("/x/y"), "/x/y");
  EXPECT_EQ(platform::AbsoluteNative("./a.jww"), (fs::current_path() / "a.jww").string());
#endif

  // A file about to be made shows under its folder as the disk spells it,
  // as InternalToDisplay shows it while it is not there.
  {
    TempDir dir;
    fs::create_directory(dir.Native("Sub"));
    const platform::Path made = SjisToUtf16(dir.Internal() + "SUB\\" + kHyoSjis + ".jww");
    EXPECT_EQ(platform::NewPathToDisplay(made), platform::InternalToDisplay(made));
#ifndef _WIN32
    EXPECT_EQ(platform::NewPathToDisplay(made),
              testutil::Utf8(dir.Native("Sub")) + "/" + kHyoUtf8 + ".jww");
#endif
    EXPECT_EQ(platform::NewPathToDisplay(u"new.jww"), platform::InternalToDisplay(u"new.jww"));
  }

  EXPECT_EQ(platform::SjisToDisplay("a" + kHyoSjis + "b"), "a" + kHyoUtf8 + "b");
  // A cut-off lead byte and an undefined character each show as one U+FFFD.
  EXPECT_EQ(platform::SjisToDisplay("a\x95"), "a\xEF\xBF\xBD");
  EXPECT_EQ(platform::SjisToDisplay("\x85\x40z"), "\xEF\xBF\xBDz");
  std::string sjis;
  ASSERT_TRUE(platform::DisplayToSjis(kHyoUtf8, sjis));
  EXPECT_EQ(sjis, kHyoSjis);
  EXPECT_FALSE(platform::DisplayToSjis("\xC3\xA9", sjis));
}

TEST(PlatformFiles, CreateReadWriteRenameDelete) {
  TempDir dir;
  std::string a = dir.Internal("a.txt"), b = dir.Internal("b.txt");
  ASSERT_TRUE(WriteFile(a, "alpha"));
  EXPECT_FALSE(Os().CreateNew(SjisToUtf16(a))) << "CreateNew must not touch an existing file";
  EXPECT_EQ(ReadText(dir.Native("a.txt")), "alpha");
  {
    auto f = Os().OpenRead(SjisToUtf16(a));
    ASSERT_TRUE(f);
    EXPECT_EQ(f->Size(), 5);
    EXPECT_EQ(ReadAll(*f), "alpha");
    EXPECT_EQ(f->Read(nullptr, 0), 0);
    EXPECT_TRUE(f->Close());
    EXPECT_TRUE(f->Close());
  }
  {
    auto f = Os().OpenWrite(SjisToUtf16(a));  // no truncation
    ASSERT_TRUE(f);
    EXPECT_EQ(f->Write("A", 1), 1);
  }
  EXPECT_EQ(ReadText(dir.Native("a.txt")), "Alpha");

  // Rename never replaces, and a refused rename leaves both files alone.
  ASSERT_TRUE(WriteFile(b, "beta"));
  EXPECT_FALSE(Os().Rename(SjisToUtf16(a), SjisToUtf16(b)));
  EXPECT_FALSE(Os().Rename(SjisToUtf16(a), dir.Path("B.TXT")));
  EXPECT_EQ(ReadText(dir.Native("a.txt")), "Alpha");
  EXPECT_EQ(ReadText(dir.Native("b.txt")), "beta");
  EXPECT_TRUE(Os().Rename(SjisToUtf16(a), dir.Path("c.txt")));
  EXPECT_FALSE(fs::exists(dir.Native("a.txt")));
  EXPECT_EQ(ReadText(dir.Native("c.txt")), "Alpha");
  // A change of letter case alone is allowed, as on Windows.
  EXPECT_TRUE(Os().Rename(dir.Path("c.txt"), dir.Path("C.TXT")));
  EXPECT_TRUE(fs::exists(dir.Native("C.TXT")));

  // Folders are not files: not opened, not deleted; only empty ones go.
  ASSERT_TRUE(Os().CreateFolder(dir.Path("sub")));
  EXPECT_FALSE(Os().OpenRead(dir.Path("sub")));
  EXPECT_FALSE(Os().Create(dir.Path("sub")));
  EXPECT_FALSE(Os().Delete(dir.Path("sub")));
  EXPECT_FALSE(Os().FileExists(dir.Path("sub")));
  ASSERT_TRUE(WriteFile(dir.Internal() + "sub\\x", "x"));
  EXPECT_FALSE(Os().RemoveFolder(dir.Path("sub")));
  EXPECT_TRUE(Os().Delete(SjisToUtf16(dir.Internal() + "SUB\\X")));
  EXPECT_TRUE(Os().RemoveFolder(dir.Path("sub")));
  EXPECT_FALSE(Os().FolderExists(dir.Path("sub")));
  EXPECT_FALSE(Os().Delete(dir.Path("missing")));
}

TEST(PlatformFiles, TimesAndAttributes) {
  TempDir dir;
  std::string a = dir.Internal("a.txt");
  ASSERT_TRUE(WriteFile(a, "abc"));
  platform::LocalTime t{2021, 6, 1, 10, 20, 31};
  ASSERT_TRUE(Os().SetLastWriteTime(SjisToUtf16(a), t));
  platform::DirEntry e;
  ASSERT_TRUE(Os().FindFirst(SjisToUtf16(a), e));
  EXPECT_EQ(e.lastWrite, t);
  EXPECT_FALSE(e.isFolder);
  EXPECT_EQ(e.size, 3u);
  // A file opened for reading may tell the same time itself; one opened for
  // writing never does, its time being about to change.
  {
    platform::LocalTime told;
    auto f = Os().OpenRead(SjisToUtf16(a));
    ASSERT_TRUE(f);
    if (f->LastWriteTime(told)) {
      EXPECT_EQ(told, t);
    }
    f->Close();
    EXPECT_FALSE(f->LastWriteTime(told));
    EXPECT_FALSE(Os().OpenWrite(SjisToUtf16(a))->LastWriteTime(told));
  }
  ASSERT_TRUE(Os().FindFirst(dir.Path(), e));
  EXPECT_TRUE(e.isFolder);
  EXPECT_FALSE(Os().FindFirst(dir.Path("missing"), e));

  fs::permissions(dir.Native("a.txt"), fs::perms::owner_read | fs::perms::group_read);
  ASSERT_TRUE(Os().SetArchiveOnly(dir.Path("A.TXT")));
  EXPECT_NE(fs::status(dir.Native("a.txt")).permissions() & fs::perms::owner_write,
            fs::perms::none);
}

// Large blocks are zero, writable to their last byte, and freed whole; a
// size no system can give is refused as an allocation is.
TEST(PlatformMemory, LargeBlocks) {
  using platform::AllocateLarge, platform::FreeLarge, platform::kLargeBlock;
  for (std::size_t bytes : {std::size_t{1}, kLargeBlock, 3 * kLargeBlock + 12345}) {
    auto* block = static_cast<unsigned char*>(AllocateLarge(bytes));
    ASSERT_NE(block, nullptr);
#ifndef _WIN32
    // On POSIX it starts on a huge page, so that huge pages can back it.
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % kLargeBlock, 0u);
#endif
    EXPECT_EQ(block[0], 0);
    EXPECT_EQ(block[bytes - 1], 0);
    EXPECT_EQ(block[bytes / 2], 0);
    block[0] = 1;
    block[bytes - 1] = 2;
    EXPECT_EQ(block[bytes - 1], 2);
    FreeLarge(block, bytes);
  }
  EXPECT_THROW(AllocateLarge(0), std::bad_alloc);
  EXPECT_THROW(AllocateLarge(SIZE_MAX - 16), std::bad_alloc);
  FreeLarge(nullptr, 0);
}

TEST(FaultyOs, CountsAndFailsTheChosenCalls) {
  TempDir dir;
  platform::FaultyOs faulty;
  platform::ScopedOs use(faulty);
  EXPECT_EQ(&platform::Current(), &faulty);

  faulty.failCreateAt = 2;
  auto f1 = Os().Create(dir.Path("1"));
  EXPECT_TRUE(f1);
  EXPECT_FALSE(Os().CreateNew(dir.Path("2")));  // Create and CreateNew count together
  EXPECT_FALSE(fs::exists(dir.Native("2")));
  EXPECT_TRUE(Os().CreateNew(dir.Path("3")));
  EXPECT_EQ(faulty.createCalls, 3);

  faulty.failWriteAt = 2;
  faulty.shortWriteAt = 3;
  EXPECT_EQ(f1->Write("abcd", 4), 4);
  EXPECT_EQ(f1->Write("efgh", 4), -1);
  EXPECT_EQ(f1->Write("ijkl", 4), 2);
  EXPECT_EQ(f1->Write("mnop", 4), 4);
  EXPECT_EQ(faulty.writeCalls, 4);
  faulty.failCloseAt = 1;
  EXPECT_FALSE(f1->Close());
  EXPECT_FALSE(f1->Close());  // the second Close repeats the outcome, not counted
  EXPECT_EQ(faulty.closeCalls, 1);
  EXPECT_EQ(ReadText(dir.Native("1")), "abcdijmnop");

  faulty.failOpenReadAt = 1;
  EXPECT_FALSE(Os().OpenRead(dir.Path("1")));
  auto r = Os().OpenRead(dir.Path("1"));
  ASSERT_TRUE(r);
  faulty.failReadAt = 2;
  faulty.failFromThenOn = true;
  char buf[4];
  EXPECT_EQ(r->Read(buf, 4), 4);
  EXPECT_EQ(r->Read(buf, 4), -1);
  EXPECT_EQ(r->Read(buf, 4), -1);
  EXPECT_EQ(faulty.readCalls, 3);
  EXPECT_EQ(faulty.openReadCalls, 2);

  faulty.failRenameAt = 1;
  EXPECT_FALSE(Os().Rename(dir.Path("1"), dir.Path("4")));
  EXPECT_FALSE(Os().Rename(dir.Path("1"), dir.Path("4")));  // from then on
  EXPECT_TRUE(fs::exists(dir.Native("1")));
  faulty.failDeleteAt = 2;
  EXPECT_TRUE(Os().Delete(dir.Path("1")));
  EXPECT_FALSE(Os().Delete(dir.Path("3")));
  EXPECT_TRUE(fs::exists(dir.Native("3")));
  EXPECT_EQ(faulty.renameCalls, 2);
  EXPECT_EQ(faulty.deleteCalls, 2);

  EXPECT_FALSE(Os().FileExists(dir.Path("nothing")));
  faulty.everythingExists = true;
  platform::DirEntry e;
  EXPECT_TRUE(Os().FileExists(dir.Path("nothing")));
  EXPECT_TRUE(Os().FindFirst(dir.Path("nothing"), e));
  EXPECT_FALSE(e.isFolder);
}

TEST(FaultyOs, NumbersForNamesRepeatFromWrapperToWrapper) {
  // The staging folder's name comes from here: a run under a fault must
  // name its folders as the counted run did.
  platform::FaultyOs first, second;
  platform::MemoryOs memory, memoryAgain;
  std::vector<std::uint32_t> a, b, c, d;
  for (int i = 0; i < 4; ++i) {
    a.push_back(first.RandomNumber());
    b.push_back(second.RandomNumber());
    c.push_back(memory.RandomNumber());
    d.push_back(memoryAgain.RandomNumber());
  }
  EXPECT_EQ(a, b);
  EXPECT_EQ(c, d);
  EXPECT_NE(a[0], a[1]);
}

TEST(FaultyOs, ScopedOsRestoresThePrevious) {
  platform::FaultyOs outer, inner(outer);
  {
    platform::ScopedOs a(outer);
    {
      platform::ScopedOs b(inner);
      EXPECT_EQ(&platform::Current(), &inner);
    }
    EXPECT_EQ(&platform::Current(), &outer);
  }
  EXPECT_EQ(&platform::Current(), &platform::Native());
}

TEST(CaseFold, TheTableIsWindowsOwnAndStable) {
  // Every unit folds to a capital that folds no further, and nothing
  // beyond ASCII folds into ASCII (a name would meet a plain one).
  for (std::uint32_t c = 0; c < 0x10000; ++c) {
    const auto u = static_cast<char16_t>(c);
    const std::uint32_t f = platform::UpcaseFileNameUnit(u);
    EXPECT_EQ(platform::UpcaseFileNameUnit(static_cast<char16_t>(f)), f) << std::hex << c;
    if (c >= 0x80) {
      EXPECT_GE(f, 0x80u) << std::hex << c;
    }
    if (c >= 0xD800 && c <= 0xDFFF) {
      EXPECT_EQ(f, c);
    }
  }
  EXPECT_EQ(platform::FileNameKey(u"caf\u00E9 \u00FF\u0101\u03C2\u0450\uFF41\U0001F600"),
            u"CAF\u00C9 \u0178\u0100\u03A3\u0400\uFF21\U0001F600");
#ifndef _WIN32
  // Each letter the table folds folds to the capital Unicode gives it.
  if (locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr)) {
    for (std::uint32_t c = 0x80; c < 0x10000; ++c) {
      const std::uint32_t f = platform::UpcaseFileNameUnit(static_cast<char16_t>(c));
      if (f != c) {
        EXPECT_EQ(static_cast<std::uint32_t>(::towupper_l(static_cast<wint_t>(c), utf8)), f)
            << std::hex << c;
      }
    }
    ::freelocale(utf8);
  }
#endif
}

TEST(CaseFold, Utf8NamesFoldByCharacterAndBadBytesStandForThemselves) {
  const auto folded = [](const char* s) {
    std::vector<std::uint32_t> out;
    while (*s) out.push_back(platform::NextFoldedUtf8(s));
    return out;
  };
  EXPECT_EQ(folded("caf\xC3\xA9\xF0\x9F\x98\x80"),
            (std::vector<std::uint32_t>{'C', 'A', 'F', 0xC9, 0x1F600}));
  // CP932 bytes ("ャ" is 0x83 0x61) and an overlong "/" make no character:
  // their markers never equal one that a name from UTF-16 holds.
  EXPECT_EQ(folded("\x83\x61"), (std::vector<std::uint32_t>{0x80000083u, 'A'}));
  EXPECT_EQ(folded("\xC0\xAF"), (std::vector<std::uint32_t>{0x800000C0u, 0x800000AFu}));
  EXPECT_EQ(folded("\xE3\x81"), (std::vector<std::uint32_t>{0x800000E3u, 0x80000081u}));
}
