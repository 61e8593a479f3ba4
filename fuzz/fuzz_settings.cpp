// The settings file on arbitrary bytes: load, save, load again. The second
// load gives the controls of the first, texts without their line breaks
// (one line holds each value).
#include <cstdint>
#include <string>

#include "app/Unit1.h"
#include "app/UnitGval.h"
#include "platform/memory_os.h"

namespace {

const std::string kPath = "C:\\prog\\marrowfold.dat";

std::string OneLine(const std::string& text) {
  std::string out;
  for (char c : text)
    if (c != '\r' && c != '\n') out += c;
  return out;
}

struct Controls {
  std::int32_t left, top, filter;
  bool r1, r2, r3, r4, r5, r6, r7, check;
  std::string edit, label, pre;
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
  ProgramFolder = "C:\\prog\\";
  os.AddFile(kPath, std::string(reinterpret_cast<const char*>(data), size));
  TForm1 first;
  first.LoadSettings(kPath);
  const Controls loaded = Of(first);
  if (!first.SaveSettings(kPath)) __builtin_trap();
  TForm1 second;
  second.LoadSettings(kPath);
  if (!(Of(second) == loaded)) __builtin_trap();
  return 0;
}
