// The settings file: the window's choices and position from one run to the
// next, fourteen lines without keys next to the program.
//
//   1 left  2 top  3-6 RadioButton1-4  7 Edit1  8 Label1  9 OpenFilterIndex
//   10 CheckBox1  11 RadioButton5  12 RadioButton6  13 RadioButton7
//   14 LabelPreFolder
//
// Lines 13 and 14 came later: a file that ends after line 12 is complete.
#include <memory>

#include "app/Unit1.h"
#include "app/UnitGval.h"
#include "text/sjis.h"
#include "text/unicode.h"

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

bool WriteAll(platform::File& file, const std::string& data) {
  return file.Write(data.data(), data.size()) == static_cast<long long>(data.size());
}

}  // namespace

void TForm1::LoadSettings(const std::string& path) {
  SetRadioButton(1, true);
  Edit1.clear();
  Label1.clear();
  OpenFilterIndex = 1;
  CheckBox1 = false;
  SetRadioButton(5, true);
  RadioButton7 = false;
  LabelPreFolder = ProgramFolder;

  platform::Os& os = platform::Current();
  if (!os.FileExists(SjisToUtf16(path))) return;
  std::unique_ptr<platform::File> file = os.OpenRead(SjisToUtf16(path));
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
        Edit1 = text;
        break;
      case 8:
        Label1 = text;
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
    if (lines.size() > 13) LabelPreFolder = lines[13];
  }
}

// Written beside the old file and put over it in one step: a failed save
// (a full disk, a crash) leaves the previous settings whole.
bool TForm1::SaveSettings(const std::string& path) {
  std::string data;
  auto add = [&](const std::string& value) { data += value + "\r\n"; };
  add(std::to_string(Left));
  add(std::to_string(Top));
  add(BoolToText(RadioButton1));
  add(BoolToText(RadioButton2));
  add(BoolToText(RadioButton3));
  add(BoolToText(RadioButton4));
  add(OneLine(Edit1));
  add(OneLine(Label1));
  add(std::to_string(OpenFilterIndex));
  add(BoolToText(CheckBox1));
  add(BoolToText(RadioButton5));
  add(BoolToText(RadioButton6));
  add(BoolToText(RadioButton7));
  add(OneLine(LabelPreFolder));

  platform::Os& os = platform::Current();
  std::string temporary;
  std::unique_ptr<platform::File> file;
  for (int n = 1; n <= 99 && !file; ++n) {
    temporary = path + ".~" + std::to_string(n) + ".tmp";
    file = os.CreateNew(SjisToUtf16(temporary));
  }
  if (!file) return false;
  const bool written = WriteAll(*file, data);
  const bool closed = file->Close();
  file.reset();
  if (written && closed && os.Replace(SjisToUtf16(temporary), SjisToUtf16(path))) return true;
  os.Delete(SjisToUtf16(temporary));
  return false;
}
