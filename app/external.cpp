// The external-transformation mode: Jw_cad starts the program with "-G" in
// the folder where it left JWC_TEMP.TXT; the drawing named there becomes
// TEMP.JWW beside the program, which Jw_cad is then asked to open.
#include <exception>

#include "app/Unit1.h"
#include "app/UnitGval.h"
#include "external/JwwGaibu.h"
#include "platform/unicode.h"
#include "text/filenames.h"
#include "text/sjis.h"

namespace {

// 外部変形実行前に図面をJWW形式で保存して下さい。
const char* const kSaveAsJwwFirst =
    "\x8A"
    "O\x95\x94\x95\xCF\x8C`\x8E\xC0\x8Ds\x91O\x82\xC9\x90}\x96\xCA\x82\xF0JWW\x8C`\x8E\xAE\x82\xC5"
    "\x95\xDB\x91\xB6\x82\xB5\x82\xC4\x89\xBA\x82\xB3\x82\xA2\x81"
    "B";
// 図面ファイル「 ... 」は存在しませんので変換できませんでした。
const char* const kDrawingBefore =
    "\x90}\x96\xCA\x83t\x83@\x83"
    "C\x83\x8B\x81u";
const char* const kDrawingAfter =
    "\x81v\x82\xCD\x91\xB6\x8D\xDD\x82\xB5\x82\xDC\x82\xB9\x82\xF1\x82\xCC\x82\xC5\x95\xCF\x8A\xB7"
    "\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD\x81"
    "B";
// 一時ファイル TEMP.JWW が残っているため変換できませんでした。
const char* const kTempStillThere =
    "\x88\xEA\x8E\x9E\x83t\x83@\x83"
    "C\x83\x8B TEMP.JWW \x82\xAA\x8E"
    "c\x82\xC1\x82\xC4\x82\xA2"
    "\x82\xE9\x82\xBD\x82\xDF\x95\xCF\x8A\xB7\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82"
    "\xB5\x82\xBD\x81"
    "B";
// 変換できませんでした。
const char* const kNotConverted =
    "\x95\xCF\x8A\xB7\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD\x81"
    "B";

const char* const kJwCadKey = "Jwwin.Document\\shell\\open\\command";
const char* const kJwCadFallback = "C:\\JWW\\JW_WIN.EXE";

}  // namespace

const char* const kExternalDataFile = "JWC_TEMP.TXT";
const char* const kExternalOutputFile = "TEMP.JWW";

platform::Path TForm1::ReadExternalDrawingPath() {
  platform::Path path;
  ResetGaibuData();
  try {
    ReadGaibuFile(ProgramFolder + SjisToUtf16(kExternalDataFile));
    path = SjisToUtf16(GaibuData.FileName);
  } catch (const std::exception& e) {
    // A data file that is there but cannot be read names no drawing; the
    // user gets the message for that, and the reason goes with it.
    FailureReason = e.what();
  }
  FreeGaibuData();
  // Jw_cad under Wine may write a path of this system ("/home/u/plan.jww")
  // rather than one of a Windows drive.
  std::string native;
  if (!path.empty() && path[0] == u'/' && Utf16ToUtf8(path, native)) {
    platform::Path internal;
    std::string error;
    if (platform::NativeToInternal(native, internal, error)) path = internal;
  }
  return path;
}

platform::Path TForm1::FindJwCadExecutable() {
  std::u16string value = platform::CurrentDesktop().ClassesRootDefault(kJwCadKey);
  // "C:\JWW\Jw_win.exe" "%1": the program, then the document's placeholder.
  const std::size_t blankQuote = value.find(u" \"");
  if (blankQuote != std::u16string::npos) value.erase(blankQuote);
  if (!value.empty() && value[0] == u'"') {
    value.erase(0, 1);
    if (!value.empty() && value.back() == u'"') value.pop_back();
  }
  return value;
}

void TForm1::RunExternalTransformation() {
  platform::Os& os = platform::Current();
  platform::Desktop& desktop = platform::CurrentDesktop();
  ExternalWritten = false;
  FailureReason.clear();
  DisableMissingRefs = CheckBox1;
  // The names the user chose in the window do not apply here: Jw_cad's own
  // folder gets plain names.
  PathInEmbeddedName = false;

  const platform::Path path = ReadExternalDrawingPath();
  std::u16string ext = ExtractFileExt(path);
  for (char16_t& u : ext)
    if (u >= u'a' && u <= u'z') u = static_cast<char16_t>(u - u'a' + u'A');
  if (path.empty() || ext != u".JWW") {
    desktop.ShowFailureMessage(kSaveAsJwwFirst);
    return;
  }
  if (!os.FileExists(path)) {
    desktop.ShowFailureMessage(kDrawingBefore + platform::PathForPerson(path) + kDrawingAfter);
    return;
  }
  const platform::Path out = ProgramFolder + SjisToUtf16(kExternalOutputFile);
  if (os.FileExists(out)) os.Delete(out);
  if (os.FileExists(out)) {
    desktop.ShowFailureMessage(kTempStillThere);
    return;
  }

  // This output alone is replaced: Jw_cad opens TEMP.JWW by its name.
  std::string result = kResultFailed;
  replaceOutput_ = true;
  try {
    result = ConvertFile(path, out);
  } catch (const std::exception& e) {
    FailureReason = std::string("unexpected failure: ") + e.what();
  }
  replaceOutput_ = false;
  // A TEMP.JWW that another program put there meanwhile is not ours to
  // report as converted.
  if (result == kResultFailed || !os.FileExists(out)) {
    desktop.ShowFailureMessage(kNotConverted);
    return;
  }
  ExternalWritten = true;
  desktop.ShowMessage(result);

  if (!OpenInJwCad) return;
  platform::Path exe = FindJwCadExecutable();
  if (exe.empty()) exe = SjisToUtf16(kJwCadFallback);
  desktop.ShellOpen(exe, out, ExtractFileDir(exe));
}
