// The settings file on arbitrary bytes: load, save, load again. The second
// load gives the controls of the first, folders without their line breaks
// (one line holds each value), and a folder Shift-JIS cannot hold without
// its tabs too (it goes into the fifteenth line's tab-separated fields).
#include <cstdint>
#include <string>

#include "app/Unit1.h"
#include "app/UnitGval.h"
#include "platform/unicode.h"
#include "testing/memory_os.h"

namespace {

const std::string kPath = "C:\\prog\\marrowfold.dat";

std::u16string OneLine(const std::u16string& folder) {
  std::string sjis;
  const bool unicode = !Utf16ToSjisExact(folder, sjis);
  std::u16string out;
  for (char16_t c : folder)
    if (c != u'\r' && c != u'\n' && !(unicode && c == u'\t')) out += c;
  return out;
}

struct Controls {
  std::int32_t left, top, filter;
  bool r1, r2, r3, r4, r5, r6, r7, check;
  std::u16string edit, label, pre;
  bool operator==(const Controls&) const = default;
};

Controls Of(const TForm1& f) {
  return {f.Left,
          f.Top,
          f.OpenFilterIndex,
          f.RadioButton1,
          f.RadioButton2,
          f.RadioButton3,
          f.RadioButton4,
          f.RadioButton5,
          f.RadioButton6,
          f.RadioButton7,
          f.CheckBox1,
          OneLine(f.Edit1),
          OneLine(f.Label1),
          OneLine(f.LabelPreFolder)};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  platform::MemoryOs os;
  platform::ScopedOs use(os);
  platform::ScopedDesktop useDesktop(os);
  ProgramFolder = u"C:\\prog\\";
  os.AddFile(kPath, std::string(reinterpret_cast<const char*>(data), size));
  TForm1 first;
  first.LoadSettings(SjisToUtf16(kPath));
  const Controls loaded = Of(first);
  if (!first.SaveSettings(SjisToUtf16(kPath))) __builtin_trap();
  TForm1 second;
  second.LoadSettings(SjisToUtf16(kPath));
  if (!(Of(second) == loaded)) __builtin_trap();
  return 0;
}
