// The settings file: the window's choices and position from one run to the
// next, fourteen lines without keys next to the program.
//
//   1 left  2 top  3-6 RadioButton1-4  7 Edit1  8 Label1  9 OpenFilterIndex
//   10 CheckBox1  11 RadioButton5  12 RadioButton6  13 RadioButton7
//   14 LabelPreFolder
//
// Lines 13 and 14 came later: a file that ends after line 12 is complete.
// A folder (lines 7, 8 and 14) that Shift-JIS cannot hold leaves its line
// empty, so that a reader of the fourteen lines takes its default rather
// than another folder, and goes into a fifteenth line, written only then:
// "UTF-8", a tab, and the three folders' fields separated by tabs, each the
// folder in UTF-8 when its own line is empty for it, else empty. A field
// read back replaces only its own folder, and only when it is not empty.
#include <memory>

#include "app/Unit1.h"
#include "app/UnitGval.h"
#include "platform/unicode.h"
#include "text/sjis.h"

namespace {

// The lines of the file as far as it could be read. `complete` is false
// when reading failed part-way; the unfinished last line is then dropped.
std::vector<std::string> ReadLines(platform::File& file, bool& complete) {
  std::string data;
  char buffer[4096];
  complete = true;
  for (;;) {
    const long long got = file.Read(buffer, sizeof buffer);
    if (got == 0) break;
    if (got < 0) {
      complete = false;
      break;
    }
    data.append(buffer, static_cast<std::size_t>(got));
  }
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t lf; (lf = data.find('\n', start)) != std::string::npos; start = lf + 1) {
    std::string line = data.substr(start, lf - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  if (complete && start < data.size()) {
    std::string line = data.substr(start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// One line per value: a text with a line break in it would shift every
// later line of the file.
std::string OneLine(const std::string& text) {
  std::string out;
  for (char c : text)
    if (c != '\r' && c != '\n') out += c;
  return out;
}

constexpr char kUnicodeLine[] = "UTF-8\t";

// The three folders of the fifteenth line, when it is one.
bool UnicodeFolders(const std::string& line, std::vector<platform::Path>& folders) {
  if (line.rfind(kUnicodeLine, 0) != 0) return false;
  folders.clear();
  std::size_t start = sizeof kUnicodeLine - 1;
  for (;;) {
    const std::size_t tab = line.find('\t', start);
    platform::Path folder;
    if (!Utf8ToUtf16(line.substr(start, tab - start), folder)) return false;
    folders.push_back(folder);
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  return folders.size() == 3;
}

// A folder's line: its Shift-JIS form, or empty when it has none.
std::string FolderLine(const platform::Path& folder, bool& needsUnicode) {
  std::string sjis;
  if (Utf16ToSjisExact(folder, sjis)) return OneLine(sjis);
  needsUnicode = true;
  return "";
}

// A folder's field of the fifteenth line: "" when its own line holds it,
// else UTF-8 without the tabs and line breaks that would end the field or
// the line, as the other lines lose their line breaks.
std::string UnicodeField(const platform::Path& folder) {
  std::string utf8;
  if (Utf16ToSjisExact(folder, utf8) || !Utf16ToUtf8(folder, utf8)) return "";
  std::string out;
  for (char c : utf8)
    if (c != '\t' && c != '\r' && c != '\n') out += c;
  return out;
}

bool WriteAll(platform::File& file, const std::string& data) {
  return file.Write(data.data(), data.size()) == static_cast<long long>(data.size());
}

}  // namespace

void TForm1::LoadSettings(const platform::Path& path) {
  SetRadioButton(1, true);
  Edit1.clear();
  Label1.clear();
  OpenFilterIndex = 1;
  CheckBox1 = false;
  SetRadioButton(5, true);
  RadioButton7 = false;
  LabelPreFolder = ProgramFolder;

  platform::Os& os = platform::Current();
  if (!os.FileExists(path)) return;
  std::unique_ptr<platform::File> file = os.OpenRead(path);
  if (!file) return;
  bool complete = false;
  const std::vector<std::string> lines = ReadLines(*file, complete);
  file->Close();

  // Lines 1 to 12 are always there: one missing at the end of the file
  // reads as empty. A read that failed ends the reading, and what it did
  // not reach keeps its default.
  const std::size_t fixed = complete ? 12 : std::min<std::size_t>(12, lines.size());
  auto line = [&](std::size_t n) { return n <= lines.size() ? lines[n - 1] : std::string(); };
  for (std::size_t n = 1; n <= fixed; ++n) {
    const std::string text = line(n);
    switch (n) {
      case 1:
        Left = TextToIntOrZero(text);
        break;
      case 2:
        Top = TextToIntOrZero(text);
        break;
      case 3:
      case 4:
      case 5:
      case 6:
        SetRadioButton(static_cast<int>(n) - 2, TextToBool(text));
        break;
      case 7:
        Edit1 = SjisToUtf16(text);
        break;
      case 8:
        Label1 = SjisToUtf16(text);
        break;
      case 9:
        OpenFilterIndex = TextToIntOrZero(text);
        break;
      case 10:
        CheckBox1 = TextToBool(text);
        break;
      case 11:
        SetRadioButton(5, TextToBool(text));
        break;
      case 12:
        SetRadioButton(6, TextToBool(text));
        break;
    }
  }
  if (lines.size() > 12) {
    SetRadioButton(7, TextToBool(lines[12]));
    if (lines.size() > 13) LabelPreFolder = SjisToUtf16(lines[13]);
  }
  std::vector<platform::Path> folders;
  if (lines.size() > 14 && UnicodeFolders(lines[14], folders)) {
    if (!folders[0].empty()) Edit1 = folders[0];
    if (!folders[1].empty()) Label1 = folders[1];
    if (!folders[2].empty()) LabelPreFolder = folders[2];
  }
}

// Written beside the old file and put over it in one step: a failed save
// (a full disk, a crash) leaves the previous settings whole.
bool TForm1::SaveSettings(const platform::Path& path) {
  std::string data;
  auto add = [&](const std::string& value) { data += value + "\r\n"; };
  add(std::to_string(Left));
  add(std::to_string(Top));
  add(BoolToText(RadioButton1));
  add(BoolToText(RadioButton2));
  add(BoolToText(RadioButton3));
  add(BoolToText(RadioButton4));
  bool needsUnicode = false;
  add(FolderLine(Edit1, needsUnicode));
  add(FolderLine(Label1, needsUnicode));
  add(std::to_string(OpenFilterIndex));
  add(BoolToText(CheckBox1));
  add(BoolToText(RadioButton5));
  add(BoolToText(RadioButton6));
  add(BoolToText(RadioButton7));
  add(FolderLine(LabelPreFolder, needsUnicode));
  if (needsUnicode)
    add(kUnicodeLine + UnicodeField(Edit1) + "\t" + UnicodeField(Label1) + "\t" +
        UnicodeField(LabelPreFolder));

  platform::Os& os = platform::Current();
  platform::Path temporary;
  std::unique_ptr<platform::File> file;
  for (int n = 1; n <= 99 && !file; ++n) {
    const std::string tail = ".~" + std::to_string(n) + ".tmp";
    temporary = path + platform::Path(tail.begin(), tail.end());
    file = os.CreateNew(temporary);
  }
  if (!file) return false;
  const bool written = WriteAll(*file, data);
  const bool closed = file->Close();
  file.reset();
  if (written && closed && os.Replace(temporary, path)) return true;
  os.Delete(temporary);
  return false;
}
