// The Win32 Os on real Windows (or Wine): CP932 names through the wide API,
// file stamps in local time, the file operations' promises, and the text
// work around the dialogs. Built only for Windows.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/program.h"
#include "platform/unicode.h"
#include "platform/win32/dialogs.h"
#include "platform/win32/encoding.h"
#include "platform/win32/interrupts.h"
#include "testing/testutil.h"
#include "text/filenames.h"

namespace fs = std::filesystem;
using testutil::ReadText;
using testutil::TempDir;
using testutil::WriteText;

namespace {

// 表 (0x95 0x5C) ends in the byte of "\".
const std::string kHyoSjis = "\x95\x5C";
const std::string kHyoUtf8 = "\xE8\xA1\xA8";
const std::wstring kHyoWide = L"\u8868";

platform::Os& Os() {
  return platform::Current();
}

bool WriteFile(const std::string& internal, const std::string& text) {
  auto f = Os().Create(SjisToUtf16(internal));
  return f && f->Write(text.data(), text.size()) == static_cast<long long>(text.size()) &&
         f->Close();
}

std::vector<std::wstring> NamesIn(const fs::path& folder) {
  std::vector<std::wstring> names;
  for (const auto& e : fs::directory_iterator(folder))
    names.push_back(e.path().filename().wstring());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

TEST(Win32Encoding, StrictBothWays) {
  std::wstring wide;
  ASSERT_TRUE(platform::win32::Cp932ToWide("a" + kHyoSjis, wide));
  EXPECT_EQ(wide, L"a" + kHyoWide);
  std::string sjis;
  ASSERT_TRUE(platform::win32::WideToCp932(L"a" + kHyoWide, sjis));
  EXPECT_EQ(sjis, "a" + kHyoSjis);
  // No best fit: é would become "e", ¥ a "\" that names another folder.
  std::size_t bad = 0;
  EXPECT_FALSE(platform::win32::WideToCp932(L"caf\u00E9", sjis, &bad));
  EXPECT_EQ(bad, 3u);
  EXPECT_FALSE(platform::win32::WideToCp932(L"a\u00A5b", sjis, &bad));
  EXPECT_EQ(bad, 1u);
  // A character beyond the BMP is named whole (two units).
  EXPECT_FALSE(platform::win32::WideToCp932(L"x\U00020BB7", sjis, &bad));
  EXPECT_EQ(bad, 1u);
  // A cut-off lead byte does not decode.
  EXPECT_FALSE(platform::win32::Cp932ToWide("a\x95", wide));
  EXPECT_EQ(platform::win32::Cp932ToWideLossy("a\x95"), L"a\uFFFD");
}

TEST(Win32Paths, NativeToInternalTakesEveryCharacter) {
  platform::Path internal;
  std::string error;
  ASSERT_TRUE(platform::NativeToInternal("C:/dwg/" + kHyoUtf8 + "/a.jww", internal, error));
  EXPECT_EQ(internal, u"C:\\dwg\\\u8868\\a.jww");
  EXPECT_EQ(platform::InternalToNative(internal), "C:\\dwg\\" + kHyoUtf8 + "\\a.jww");
  // é, Ü and a character beyond the BMP: a path as it is, every one.
  ASSERT_TRUE(
      platform::NativeToInternal("C:\\caf\xC3\xA9\\\xC3\x9C\xF0\xA0\xAE\xB7.jww", internal, error));
  EXPECT_EQ(internal, u"C:\\caf\u00E9\\\u00DC\U00020BB7.jww");
  // Not UTF-8 at all.
  EXPECT_FALSE(platform::NativeToInternal("C:\\\xFF.jww", internal, error));
  EXPECT_FALSE(error.empty());

  EXPECT_EQ(platform::SjisToDisplay("a" + kHyoSjis), "a" + kHyoUtf8);
  std::string sjis;
  EXPECT_FALSE(platform::DisplayToSjis("\xC3\x9C", sjis));
  EXPECT_EQ(platform::PathForPerson(u"C:\\\u8868\\"), "C:\\" + kHyoSjis + "\\");
  // A character CP932 lacks comes through a message whole.
  EXPECT_EQ(platform::SjisToDisplay("[" + platform::PathForPerson(u"C:\\caf\u00E9") + "]"),
            "[C:\\caf\xC3\xA9]");
}

TEST(Win32Paths, AbsoluteAndOnDisk) {
  TempDir dir;
  fs::create_directory(dir.Native("Sub"));
  WriteText(dir.Native("Sub/File.TXT"), "x");
  // The letters as they lie on disk, for what exists; the rest as written.
  const std::string small = testutil::Utf8(dir.path()) + "\\sub\\file.txt";
  platform::Path internal;
  std::string error;
  ASSERT_TRUE(platform::NativeToInternal(small, internal, error)) << error;
  EXPECT_EQ(platform::InternalToNative(internal), testutil::Utf8(dir.path()) + "\\Sub\\File.TXT");
  ASSERT_TRUE(
      platform::NativeToInternal(testutil::Utf8(dir.path()) + "\\sub\\new.txt", internal, error));
  EXPECT_EQ(platform::InternalToNative(internal), testutil::Utf8(dir.path()) + "\\Sub\\new.txt");

  EXPECT_EQ(platform::AbsoluteNative("C:/x/../y"), "C:\\y");
  EXPECT_EQ(platform::AbsoluteNative("a.jww"), testutil::Utf8(fs::current_path() / "a.jww"));
}

TEST(Win32Files, PathsLongerThanMaxPath) {
  // A deep folder and a long staged name pass MAX_PATH together; every
  // call takes such a path all the same.
  TempDir dir;
  std::string folder = dir.Internal();
  for (int i = 0; i < 3; ++i) {
    folder += std::string(90, static_cast<char>('a' + i));
    ASSERT_TRUE(Os().CreateFolder(SjisToUtf16(folder))) << folder.size();
    folder += "\\";
  }
  const std::string file = folder + std::string(200, 'f') + ".bmp.gz";
  ASSERT_GT(file.size(), 500u);
  ASSERT_TRUE(WriteFile(file, "long"));
  EXPECT_TRUE(Os().FileExists(SjisToUtf16(file)));
  platform::DirEntry e;
  ASSERT_TRUE(Os().FindFirst(SjisToUtf16(file), e));
  EXPECT_EQ(e.size, 4u);
  EXPECT_TRUE(Os().OpenRead(SjisToUtf16(file)));
  EXPECT_TRUE(Os().Rename(SjisToUtf16(file), SjisToUtf16(file + "2")));
  EXPECT_TRUE(Os().Delete(SjisToUtf16(file + "2")));
  EXPECT_FALSE(Os().FileExists(SjisToUtf16(file + "2")));
}

TEST(Win32Files, DoubleByteNamesWithTheBackslashByte) {
  TempDir dir;
  const std::string folder = dir.Internal() + kHyoSjis;  // 表
  const std::string file = folder + "\\" + kHyoSjis + ".txt";
  ASSERT_TRUE(Os().CreateFolder(SjisToUtf16(folder)));
  EXPECT_TRUE(fs::is_directory(dir.path() / kHyoWide));
  EXPECT_TRUE(Os().FolderExists(SjisToUtf16(folder)));
  EXPECT_FALSE(Os().FileExists(SjisToUtf16(folder)));

  ASSERT_TRUE(WriteFile(file, "hyo"));
  EXPECT_EQ(NamesIn(dir.path() / kHyoWide), std::vector<std::wstring>{kHyoWide + L".txt"});
  EXPECT_TRUE(Os().FileExists(SjisToUtf16(file)));
  EXPECT_FALSE(Os().FolderExists(SjisToUtf16(file)));
  platform::DirEntry e;
  ASSERT_TRUE(Os().FindFirst(SjisToUtf16(file), e));
  EXPECT_FALSE(e.isFolder);
  EXPECT_EQ(e.size, 3u);
  ASSERT_TRUE(Os().FindFirst(SjisToUtf16(folder), e));
  EXPECT_TRUE(e.isFolder);
  ASSERT_TRUE(Os().FindFirst(SjisToUtf16(folder + "\\"), e));  // as on POSIX, the folder itself
  EXPECT_TRUE(e.isFolder);
  ASSERT_TRUE(Os().FindFirst(SjisToUtf16(folder + "\\*.txt"), e));  // the first match, as FindFirst
  EXPECT_EQ(e.size, 3u);

  const std::string renamed = folder + "\\" + kHyoSjis + kHyoSjis + ".txt";
  ASSERT_TRUE(Os().Rename(SjisToUtf16(file), SjisToUtf16(renamed)));
  EXPECT_EQ(NamesIn(dir.path() / kHyoWide),
            std::vector<std::wstring>{kHyoWide + kHyoWide + L".txt"});
  auto f = Os().OpenRead(SjisToUtf16(renamed));
  ASSERT_TRUE(f);
  char buf[8];
  EXPECT_EQ(f->Read(buf, sizeof buf), 3);
  f.reset();
  EXPECT_EQ(platform::InternalToNative(SjisToUtf16(renamed)),
            testutil::Utf8(dir.path()) + "\\" + kHyoUtf8 + "\\" + kHyoUtf8 + kHyoUtf8 + ".txt");

  // The file-name helpers take 表 whole too.
  EXPECT_EQ(MakeUniqueFileName(SjisToUtf16(renamed)).value_or(u""),
            SjisToUtf16(folder + "\\" + kHyoSjis + kHyoSjis + "~1.txt"));

  EXPECT_FALSE(Os().RemoveFolder(SjisToUtf16(folder)));  // not empty
  ASSERT_TRUE(Os().Delete(SjisToUtf16(renamed)));
  EXPECT_FALSE(Os().FileExists(SjisToUtf16(renamed)));
  ASSERT_TRUE(Os().RemoveFolder(SjisToUtf16(folder)));
  EXPECT_FALSE(fs::exists(dir.path() / kHyoWide));
}

TEST(Win32Files, WidePathsReachNamesCp932CannotHold) {
  // é and Ü are refused as byte paths; as UTF-16 they go to the wide API
  // as they are, and a created file is noted for the interrupt clean-up.
  TempDir dir;
  fs::create_directory(dir.path() / L"Caf\u00E9");
  const std::wstring native = dir.path().wstring() + L"\\Caf\u00E9\\\u00DCn\u00EF_\u8868.png";
  const std::u16string file(native.begin(), native.end());
  auto f = Os().Create(file);
  ASSERT_TRUE(f);
  const auto pending = platform::win32::WhatWouldBeCleanedUp();
  EXPECT_NE(std::find(pending.files.begin(), pending.files.end(), native), pending.files.end());
  ASSERT_EQ(f->Write("abc", 3), 3);
  ASSERT_TRUE(f->Close());
  f.reset();
  EXPECT_TRUE(fs::exists(fs::path(native)));
  // Windows ignores the letter case of é and Ü themselves.
  std::u16string upper = file;
  for (char16_t& u : upper)
    if (u == u'\u00E9' || u == u'\u00EF') u = static_cast<char16_t>(u - 0x20);
  EXPECT_TRUE(Os().FileExists(upper));
  platform::DirEntry entry;
  ASSERT_TRUE(Os().FindFirst(file, entry));
  EXPECT_EQ(entry.size, 3u);
  EXPECT_TRUE(Os().SetLastWriteTime(file, platform::LocalTime{2001, 2, 3, 4, 5, 6}));
  ASSERT_TRUE(Os().FindFirst(file, entry));
  EXPECT_EQ(entry.lastWrite, (platform::LocalTime{2001, 2, 3, 4, 5, 6}));
  auto r = Os().OpenRead(file);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->Size(), 3);
  r.reset();
  EXPECT_EQ(platform::InternalToNative(file), platform::win32::WideToUtf8(native));
  EXPECT_TRUE(Os().Delete(file));
  EXPECT_FALSE(Os().FileExists(file));
  EXPECT_FALSE(Os().FileExists(std::u16string(u"C:\\a\0b", 6)));
}

TEST(Win32Files, CreateNewRenameAndReplace) {
  TempDir dir;
  const std::string a = dir.Internal("a.txt"), b = dir.Internal("b.txt");
  ASSERT_TRUE(WriteFile(a, "alpha"));
  ASSERT_TRUE(WriteFile(b, "beta"));
  EXPECT_FALSE(Os().CreateNew(SjisToUtf16(a)));
  EXPECT_EQ(ReadText(dir.Native("a.txt")), "alpha");
  EXPECT_TRUE(Os().CreateNew(SjisToUtf16(dir.Internal("new.txt"))));

  // Rename never replaces; Replace does, in one step.
  EXPECT_FALSE(Os().Rename(SjisToUtf16(a), SjisToUtf16(b)));
  EXPECT_EQ(ReadText(dir.Native("b.txt")), "beta");
  ASSERT_TRUE(Os().Replace(SjisToUtf16(a), SjisToUtf16(b)));
  EXPECT_FALSE(fs::exists(dir.Native("a.txt")));
  EXPECT_EQ(ReadText(dir.Native("b.txt")), "alpha");
  // Replace puts no file in place of a folder.
  ASSERT_TRUE(Os().CreateFolder(SjisToUtf16(dir.Internal("folder"))));
  EXPECT_FALSE(Os().Replace(SjisToUtf16(b), SjisToUtf16(dir.Internal("folder"))));
  EXPECT_TRUE(fs::is_directory(dir.Native("folder")));
  // A file being read may be deleted, as on POSIX.
  auto reading = Os().OpenRead(SjisToUtf16(b));
  ASSERT_TRUE(reading);
  EXPECT_TRUE(Os().Delete(SjisToUtf16(b)));
  reading.reset();
  EXPECT_FALSE(fs::exists(dir.Native("b.txt")));

  EXPECT_FALSE(Os().FileExists(SjisToUtf16(dir.Internal("folder"))));
  EXPECT_TRUE(Os().FolderExists(SjisToUtf16(dir.Internal("folder"))));
  EXPECT_FALSE(Os().FolderExists(SjisToUtf16(dir.Internal("new.txt"))));
  EXPECT_TRUE(Os().FileExists(SjisToUtf16(dir.Internal("NEW.TXT"))));
  EXPECT_FALSE(Os().OpenRead(SjisToUtf16(dir.Internal("folder"))));
}

TEST(Win32Files, StampsAreThePackedLocalTime) {
  TempDir dir;
  const std::string a = dir.Internal("a.txt");
  ASSERT_TRUE(WriteFile(a, "abcde"));
  // Two times, one in winter and one in summer, should the zone keep
  // daylight saving time.
  for (const platform::LocalTime t :
       {platform::LocalTime{2024, 1, 15, 13, 45, 31}, platform::LocalTime{2023, 7, 1, 0, 0, 2}}) {
    ASSERT_TRUE(Os().SetLastWriteTime(SjisToUtf16(a), t));
    platform::DirEntry e;
    ASSERT_TRUE(Os().FindFirst(SjisToUtf16(a), e));
    EXPECT_EQ(e.lastWrite, t);
    // Packed MS-DOS: the year from 1980 in 7 bits, month 4, day 5; hours 5,
    // minutes 6, seconds halved in 5.
    const std::int32_t packed = ((t.year - 1980) << 25) | (t.month << 21) | (t.day << 16) |
                                (t.hour << 11) | (t.minute << 5) | (t.second / 2);
    const TFileStamp stamp = GetFileStamp(SjisToUtf16(a));
    EXPECT_EQ(stamp.time, packed);
    EXPECT_EQ(stamp.time, PackDosDateTime(t));
    EXPECT_EQ(stamp.size, 5);
  }
  // SetArchiveOnly clears read-only and hidden. (Whether a read-only file
  // refuses writing proves nothing here: the tests run as root under Wine.)
  ASSERT_TRUE(::SetFileAttributesW(dir.path().wstring().append(L"\\a.txt").c_str(),
                                   FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(Os().SetArchiveOnly(SjisToUtf16(a)));
  EXPECT_EQ(::GetFileAttributesW(dir.path().wstring().append(L"\\a.txt").c_str()),
            static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_TRUE(Os().OpenWrite(SjisToUtf16(a)));
}

TEST(Win32Files, CreatedFilesAreNotedUntilRenamedIntoPlace) {
  TempDir dir;
  const std::wstring base = dir.path().wstring() + L"\\";
  auto noted = [](const std::wstring& path) {
    const auto pending = platform::win32::WhatWouldBeCleanedUp();
    return std::find(pending.files.begin(), pending.files.end(), path) != pending.files.end() ||
           std::find(pending.folders.begin(), pending.folders.end(), path) != pending.folders.end();
  };
  ASSERT_TRUE(Os().CreateFolder(SjisToUtf16(dir.Internal("work"))));
  EXPECT_TRUE(noted(base + L"work"));
  {
    auto f = Os().CreateNew(SjisToUtf16(dir.Internal("work\\part.tmp")));
    ASSERT_TRUE(f);
    EXPECT_TRUE(noted(base + L"work\\part.tmp"));
  }
  ASSERT_TRUE(Os().Rename(SjisToUtf16(dir.Internal("work\\part.tmp")),
                          SjisToUtf16(dir.Internal("done.jww"))));
  EXPECT_FALSE(noted(base + L"work\\part.tmp"));
  EXPECT_FALSE(noted(base + L"done.jww"));
  ASSERT_TRUE(Os().RemoveFolder(SjisToUtf16(dir.Internal("WORK"))));  // letter case ignored
  EXPECT_FALSE(noted(base + L"work"));
  EXPECT_FALSE(platform::NativeDesktop().EscapeKeyDown());
}

TEST(Win32Dialogs, FilterTextBecomesNulSeparated) {
  using platform::win32::DialogFilter;
  const std::wstring filter = DialogFilter(L"Jw_cad \u56F3\u9762(win)|*.jww|\u5168\u3066(*.*)|*.*");
  const wchar_t expected[] = L"Jw_cad \u56F3\u9762(win)\0*.jww\0\u5168\u3066(*.*)\0*.*\0";
  // The array's own final NUL is the second one.
  EXPECT_EQ(filter, std::wstring(expected, sizeof expected / sizeof expected[0]));
  EXPECT_EQ(DialogFilter(L"a|b|"), std::wstring(L"a\0b\0\0", 5));
  EXPECT_EQ(DialogFilter(L""), std::wstring(L"\0\0", 2));
  // The "|" of a CP932 double-byte character (ー is 0x81 0x5B; 0x7C ends
  // 筺, 0xE2 0x7C) is no separator once the text is UTF-16.
  std::wstring wide;
  ASSERT_TRUE(platform::win32::Cp932ToWide("\xE2\x7C|*.x", wide));
  EXPECT_EQ(DialogFilter(wide).size(), 1u + 1 + 3 + 1 + 1);
}

TEST(Win32Dialogs, ChosenFilesOfOneAndOfSeveral) {
  using platform::win32::ChosenFiles;
  const wchar_t one[] = L"C:\\dwg\\a.jww\0\0";
  EXPECT_EQ(ChosenFiles(one, sizeof one / sizeof one[0]),
            std::vector<std::wstring>{L"C:\\dwg\\a.jww"});
  const wchar_t several[] = L"C:\\dwg\0a.jww\0\u8868.jww\0\0";
  EXPECT_EQ(ChosenFiles(several, sizeof several / sizeof several[0]),
            (std::vector<std::wstring>{L"C:\\dwg\\a.jww", L"C:\\dwg\\\u8868.jww"}));
  const wchar_t root[] = L"C:\\\0a.jww\0b.jww\0\0";
  EXPECT_EQ(ChosenFiles(root, sizeof root / sizeof root[0]),
            (std::vector<std::wstring>{L"C:\\a.jww", L"C:\\b.jww"}));
  const wchar_t none[] = L"\0\0";
  EXPECT_TRUE(ChosenFiles(none, 2).empty());
}

TEST(Win32Program, FoldersAndArguments) {
  const std::string program = platform::ProgramFolderNative();
  EXPECT_TRUE(fs::is_directory(testutil::PathFromUtf8(program))) << program;
  EXPECT_TRUE(platform::FolderWritable(testutil::Utf8(fs::temp_directory_path())));
  EXPECT_FALSE(platform::FolderWritable("C:\\no such folder here"));
  const std::string state = platform::UserStateFolderNative();
  EXPECT_TRUE(state.ends_with("\\Marrowfold")) << state;

  TempDir dir;
  std::string error;
  const std::string deep = testutil::Utf8(dir.path()) + "\\" + kHyoUtf8 + "\\b\\c";
  ASSERT_TRUE(platform::MakeFolders(deep, error)) << error;
  EXPECT_TRUE(fs::is_directory(dir.path() / kHyoWide / "b" / "c"));
  EXPECT_TRUE(platform::MakeFolders(deep + "\\", error)) << "an existing folder is fine";
  WriteText(dir.Native("file"), "x");
  EXPECT_FALSE(platform::MakeFolders(testutil::Utf8(dir.path()) + "\\file\\sub", error));
  EXPECT_NE(error.find("file"), std::string::npos) << error;

  // The program's own command line, as UTF-8; argv is not looked at.
  const std::vector<std::string> args = platform::CommandLineArguments(0, nullptr);
  for (const std::string& a : args) {
    std::wstring wide;
    EXPECT_TRUE(platform::win32::Utf8ToWide(a, wide)) << a;
  }
}

TEST(Win32Registry, ClassesRootDefaultReadsOnly) {
  // Every Windows (and Wine's prefix, in both registry views) opens text
  // files with Notepad: a key of the same shape as Jw_cad's.
  std::u16string command =
      platform::NativeDesktop().ClassesRootDefault("txtfile\\shell\\open\\command");
  for (char16_t& c : command)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  EXPECT_NE(command.find(u"notepad.exe"), std::u16string::npos);
  EXPECT_EQ(
      platform::NativeDesktop().ClassesRootDefault("Marrowfold.NoSuchKey\\shell\\open\\command"),
      u"");
  // Reading never creates the key.
  HKEY h = nullptr;
  EXPECT_NE(::RegOpenKeyExW(HKEY_CLASSES_ROOT, L"Marrowfold.NoSuchKey", 0, KEY_READ, &h),
            ERROR_SUCCESS);
}
