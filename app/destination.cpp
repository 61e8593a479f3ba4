// The destination of a batch, settled once before it converts anything,
// and the "参照" button that browses for the given folder.
#include "app/Unit1.h"
#include "app/UnitGval.h"
#include "platform/unicode.h"
#include "text/filenames.h"

namespace {

// 指定したフォルダが見つかりません。\r\n
const char* const kFolderNotFound =
    "\x8Ew\x92\xE8\x82\xB5\x82\xBD\x83t\x83H\x83\x8B\x83_\x82\xAA\x8C\xA9\x82\xC2\x82\xA9\x82\xE8"
    "\x82\xDC\x82\xB9\x82\xF1\x81"
    "B\r\n";
// 保存先フォルダを指定
const char* const kSaveDialogTitle =
    "\x95\xDB\x91\xB6\x90\xE6\x83t\x83H\x83\x8B\x83_\x82\xF0\x8Ew\x92\xE8";
// The dialog's file name: a full-width space, which names no file.
constexpr char16_t kFullWidthSpace = u'\u3000';

// The folder the dialog opens in: the given one, or the program's folder
// when it is empty or gone.
platform::Path StartFolder(const platform::Path& wanted) {
  if (!wanted.empty() && platform::Current().FolderExists(wanted)) return wanted;
  return ProgramFolder;
}

bool AskFolder(const platform::Path& start, platform::Path& chosen) {
  platform::SaveDialogRequest request;
  request.title = kSaveDialogTitle;
  request.initialFolder = start;
  request.fileName.assign(1, kFullWidthSpace);
  return platform::CurrentDesktop().SaveFileDialog(request, chosen);
}

TDestination Folder(const platform::Path& folder) {
  return {TDestination::Kind::Folder, AppendSeparator(folder)};
}

TDestination NotFound(const platform::Path& folder) {
  platform::CurrentDesktop().ShowFailureMessage(kFolderNotFound + platform::PathForPerson(folder));
  return {};
}

}  // namespace

TDestination TForm1::ChooseDestinationFolder() {
  platform::Os& os = platform::Current();
  if (RadioButton1 || RadioButton2) {
    // Said once, like a given folder that is gone, rather than with a
    // failure for every drawing of the batch: a desktop or documents folder
    // is often missing on systems other than Windows. A system that cannot
    // name the folder at all would otherwise send the drawings to the root
    // of the drive ("" + "\").
    const platform::Path folder = RadioButton1 ? platform::CurrentDesktop().DesktopFolder()
                                               : platform::CurrentDesktop().DocumentsFolder();
    if (folder.empty() || !os.FolderExists(folder)) return NotFound(AppendSeparator(folder));
    return Folder(folder);
  }
  if (RadioButton3) return {TDestination::Kind::SameFolder, u""};
  if (RadioButton4) {
    const platform::Path folder = AppendSeparator(Edit1);
    if (!os.FolderExists(folder)) return NotFound(folder);
    return Folder(folder);
  }
  // "毎回指定", and no button selected at all.
  platform::Path chosen;
  if (!AskFolder(StartFolder(LabelPreFolder), chosen)) return {};
  LabelPreFolder = ExtractFileDir(chosen);
  return Folder(LabelPreFolder);
}

void TForm1::Button1Click() {
  platform::Path chosen;
  if (AskFolder(StartFolder(Edit1), chosen)) Edit1 = ExtractFileDir(chosen);
}
