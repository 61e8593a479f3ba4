#include "app/Unit1.h"

#include <algorithm>
#include <exception>

#include "app/UnitGval.h"
#include "embed/staging.h"
#include "platform/unicode.h"
#include "text/filenames.h"
#include "text/sjis.h"

const char* const kResultFailed = "\x95\xCF\x8A\xB7\x8E\xB8\x94s";  // 変換失敗
const char* const kLogArrow = "\x81\xA8 ";                          // "→ "
const char* const kLogResult =
    "\x81@\x81"
    "c\x81"
    "c ";  // "　…… "
// [ESC]を押しましたので中断します。
const char* const kLogEscape =
    "[ESC]\x82\xF0\x89\x9F\x82\xB5\x82\xDC\x82\xB5\x82\xBD\x82\xCC\x82\xC5\x92\x86\x92"
    "f\x82\xB5\x82\xDC\x82\xB7\x81"
    "B";

std::string ResultOkLine(std::size_t files, std::int32_t refs, std::int32_t refsInBlocks,
                         std::int32_t missing, std::int32_t missingInBlocks) {
  // 変換ＯＫ(同梱ファイル数:F 画像文字数:R blk内:RB 不明画像文字:M blk内:MB)
  return "\x95\xCF\x8A\xB7\x82n\x82j(\x93\xAF\x8D\xAB\x83t\x83@\x83"
         "C\x83\x8B\x90\x94:" +
         std::to_string(files) +
         " \x89\xE6\x91\x9C\x95\xB6\x8E\x9A\x90\x94:" + std::to_string(refs) +
         " blk\x93\xE0:" + std::to_string(refsInBlocks) +
         " \x95s\x96\xBE\x89\xE6\x91\x9C\x95\xB6\x8E\x9A:" + std::to_string(missing) +
         " blk\x93\xE0:" + std::to_string(missingInBlocks) + ")";
}

platform::Path AppendSeparator(const platform::Path& folder) {
  return !folder.empty() && folder.back() == u'\\' ? folder : folder + u"\\";
}

bool IsExternalModeSwitch(const std::vector<platform::Path>& args) {
  return args.size() == 1 &&
         (args[0] == u"-G" || args[0] == u"-g" || args[0] == u"/G" || args[0] == u"/g");
}

void TListBox::Add(const std::string& line) {
  Items.push_back(line);
  if (OnAdd) OnAdd(line);
}

namespace {

// An entity whose body could not be read is kept as an empty pair; a
// drawing with one is not whole, even when the reading went on after it.
bool HasDroppedEntity(const TJwwData& d) {
  auto dropped = [](const TEntityLists& lists) {
    for (const TEntityRef& e : lists.EntityTable)
      if (e.Kind == kNone) return true;
    return false;
  };
  if (dropped(d)) return true;
  for (const TEntJwwBlockDef& def : d.BlockDefs)
    if (dropped(def.Entities)) return true;
  return false;
}

// The temporary file a drawing is written to before it takes its name.
platform::Path TemporaryFor(const platform::Path& output, int n) {
  const std::string tail = ".~" + std::to_string(n) + ".tmp";
  return output + platform::Path(tail.begin(), tail.end());
}

}  // namespace

TForm1::TForm1() : Jww(std::make_unique<TJwwData>()) {}

TForm1::~TForm1() = default;

void TForm1::SetRadioButton(int number, bool value) {
  bool* destination[] = {&RadioButton1, &RadioButton2, &RadioButton3, &RadioButton4, &RadioButton7};
  bool* naming[] = {&RadioButton5, &RadioButton6};
  bool* self = nullptr;
  switch (number) {
    case 1:
      self = &RadioButton1;
      break;
    case 2:
      self = &RadioButton2;
      break;
    case 3:
      self = &RadioButton3;
      break;
    case 4:
      self = &RadioButton4;
      break;
    case 5:
      self = &RadioButton5;
      break;
    case 6:
      self = &RadioButton6;
      break;
    case 7:
      self = &RadioButton7;
      break;
    default:
      return;
  }
  if (value) {
    if (number == 5 || number == 6) {
      for (bool* b : naming) *b = false;
    } else {
      for (bool* b : destination) *b = false;
    }
  }
  *self = value;
}

// ---------------------------------------------------------------- start, close

void TForm1::FormShow(const std::vector<platform::Path>& args) {
  if (!Startup()) {
    platform::CurrentDesktop().ShowMessage(StartupError);
    return;
  }
  if (IsExternalModeSwitch(args)) {
    RunExternalTransformation();
    FormClose();
    return;
  }
  RunCommandLine(args);
}

bool TForm1::Startup() {
  ProgramFolder = ExtractFileDir(ProgramFile);
  LoadSettings(SettingsPath());
  ClearStagedImages();
  WorkFolder = ProgramFolder + u"TEMP\\";
  // Without a work folder no image could be staged, and drawings with
  // images would fail one by one; better to say so once, before any batch.
  std::string reason;
  StartupError.clear();
  if (!CreateWorkFolder(reason))
    StartupError = "cannot create the work folder " + PathInText(WorkFolder) + ": " + reason;
  Jww = std::make_unique<TJwwData>();
  InputQueue.clear();
  return StartupError.empty();
}

void TForm1::RunCommandLine(const std::vector<platform::Path>& args) {
  if (IsExternalModeSwitch(args)) return;  // FormShow's business
  for (const platform::Path& a : args) AddInputFile(a);
  if (!InputQueue.empty()) ConvertQueue();
}

void TForm1::FormClose() {
  InputQueue.clear();
  SaveSettings(SettingsPath());
  ResetConversion();
  Jww.reset();
  RemoveWorkFolder();
}

platform::Path TForm1::SettingsPath() const {
  return ChangeFileExt(ProgramFile, u".dat");
}

// ---------------------------------------------------------------- intake

bool TForm1::AddInputFile(const platform::Path& path) {
  std::u16string ext = ExtractFileExt(path);
  for (char16_t& u : ext)
    if (u >= u'a' && u <= u'z') u = static_cast<char16_t>(u - u'a' + u'A');
  if (path.empty() || ext != u".JWW") return false;
  if (!platform::Current().FileExists(path)) return false;
  InputQueue.push_back(path);
  return true;
}

void TForm1::OnDropFiles(const std::vector<platform::Path>& paths) {
  InputQueue.clear();
  for (const platform::Path& p : paths) AddInputFile(p);
  if (!InputQueue.empty()) ConvertQueue();
}

void TForm1::Label3Click() {
  platform::OpenDialogRequest request;
  request.title =
      "\x95\xCF\x8A\xB7\x8C\xB3\x83t\x83@\x83"
      "C\x83\x8B\x82\xF0\x8Ew\x92\xE8";
  request.initialFolder = Label1;
  request.fileName = u"\u3000";
  request.filter =
      "Jw_cad \x90}\x96\xCA\x83t\x83@\x83"
      "C\x83\x8B(win)|*.jww|\x91S\x82\xC4\x82\xCC\x83t\x83@\x83"
      "C\x83\x8B(*.*)|*.*";
  request.filterIndex = OpenFilterIndex;
  std::vector<platform::Path> files;
  std::int32_t index = OpenFilterIndex;
  if (!platform::CurrentDesktop().OpenFilesDialog(request, files, index)) return;
  OpenDialogChosen(files, index);
}

void TForm1::OpenDialogChosen(const std::vector<platform::Path>& files, std::int32_t filterIndex) {
  if (!files.empty()) Label1 = ExtractFileDir(files.front());
  OpenFilterIndex = filterIndex;
  InputQueue.clear();
  for (const platform::Path& f : files) AddInputFile(f);
  if (!InputQueue.empty()) ConvertQueue();
}

// ---------------------------------------------------------------- the batch

void TForm1::ConvertQueue() {
  LastBatch = TBatchReport{};
  if (InputQueue.empty()) return;
  const TDestination destination = ChooseDestinationFolder();
  if (destination.kind == TDestination::Kind::EndBatch) return;
  DisableMissingRefs = CheckBox1;
  PathInEmbeddedName = RadioButton5;
  LastBatch.ran = true;
  ListBox1.Clear();
  for (const platform::Path& source : InputQueue) {
    if (platform::CurrentDesktop().EscapeKeyDown()) {
      ListBox1.Add(kLogEscape);
      LastBatch.stopped = true;
      break;
    }
    ConvertOne(source, destination);
  }
  ActivePage = 1;
}

void TForm1::ConvertOne(const platform::Path& source, const TDestination& destination) {
  const platform::Path base = destination.kind == TDestination::Kind::SameFolder
                                  ? source
                                  : destination.folder + ExtractFileName(source);
  FailureReason.clear();
  Warnings.clear();
  const std::optional<platform::Path> output = ReserveOutput(base);
  ListBox1.Add(PathInText(source));
  ListBox1.Add(kLogArrow + PathInText(output.value_or(base)));
  std::string result = kResultFailed;
  if (output) {
    // Whatever goes wrong inside one conversion ends that file only: the
    // user still gets every other drawing of the batch.
    try {
      result = ConvertFile(source, *output);
    } catch (const std::exception& e) {
      FailureReason = std::string("unexpected failure: ") + e.what();
      result = kResultFailed;
    }
  }
  platform::Os& os = platform::Current();
  // Closed first: Windows deletes no file that is open.
  reservedFile_.reset();
  if (!reservedTemporary_.empty() && os.FileExists(reservedTemporary_))
    os.Delete(reservedTemporary_);
  reservedFor_.clear();
  reservedTemporary_.clear();
  ListBox1.Add(kLogResult + result);
  if (result == kResultFailed) {
    ++LastBatch.failed;
  } else {
    ++LastBatch.converted;
  }
  if (OnFileConverted) OnFileConverted(source, result);
}

// The first free branch of `base` whose temporary file this run could
// create: another run converting into the same folder at the same time
// holds the temporary of the name it chose, so the two never pick one name
// and neither overwrites the other's drawing.
std::optional<platform::Path> TForm1::ReserveOutput(const platform::Path& base) {
  platform::Os& os = platform::Current();
  bool cannotCreate = false;
  std::optional<platform::Path> output =
      FirstUsableBranch(base, [&](const platform::Path& candidate) {
        // Any entry takes a name, a dangling link too: the rename into place
        // would fail on it, and writing through it would put the drawing
        // wherever the link points.
        platform::DirEntry entry;
        if (cannotCreate || os.FindFirst(candidate, entry)) return false;
        const platform::Path temporary = TemporaryFor(candidate, 1);
        if (auto file = os.CreateNew(temporary)) {
          // The other run may have renamed its drawing into this name between
          // the look above and the creation: its temporary was gone by then.
          if (os.FindFirst(candidate, entry)) {
            file.reset();
            os.Delete(temporary);
            return false;
          }
          reservedFor_ = candidate;
          reservedTemporary_ = temporary;
          reservedFile_ = std::move(file);
          return true;
        }
        // Taken by another run, or the folder takes no files at all.
        if (!os.FileExists(temporary)) cannotCreate = true;
        return false;
      });
  if (!output) {
    FailureReason = cannotCreate ? "cannot create a file in the destination folder " +
                                       platform::PathForPerson(ExtractFileDir(base))
                                 : "every branch number of " + PathInText(ExtractFileName(base)) +
                                       " is taken in the destination folder";
  }
  return cannotCreate ? std::nullopt : output;
}

// ---------------------------------------------------------------- one file

void TForm1::ResetConversion() {
  EmbeddedImages.clear();
  if (Jww) Jww->FreeDrawing();
  DeleteStagedArchives();
  DeleteStagedOriginals();
  ClearStagedImages();
}

std::string TForm1::ConvertFile(const platform::Path& source, const platform::Path& output) {
  EmbeddedRefCount = 0;
  EmbeddedRefInBlockCount = 0;
  MissingRefCount = 0;
  MissingRefInBlockCount = 0;
  FailureReason.clear();
  Warnings.clear();
  if (!Jww) Jww = std::make_unique<TJwwData>();
  ResetConversion();

  // A drawing that could be read only in part is damaged: converting what
  // was read would hand the user a drawing with entities silently missing.
  try {
    if (!Jww->LoadFromFile(source, &StagedImageFiles())) {
      // A file too short to hold what its first bytes would announce is
      // no damaged drawing when they do not say "JwwData." at all.
      const bool drawing =
          std::equal(Jww->Header.Identifier.begin(), Jww->Header.Identifier.end(), "JwwData.");
      FailureReason =
          drawing ? "damaged drawing: " + Jww->LastError : UnreadableReason(source, *Jww);
      return kResultFailed;
    }
    if (HasDroppedEntity(*Jww)) {
      FailureReason = "damaged drawing: an entity could not be read";
      return kResultFailed;
    }
  } catch (const JwwIoError& e) {
    // The same words --info gives: "I/O エラー (103)" tells a person nothing.
    FailureReason = e.code() == 103 ? UnreadableReason(source, *Jww)
                                    : "cannot be opened, or is not a drawing of version 2.20 or "
                                      "later (" +
                                          IoErrorText(e.code()) + ")";
    return kResultFailed;
  }
  CurrentSourcePath = source;

  if (!EmbedImages(StagingFolder)) return kResultFailed;
  if (!SaveThroughTemporary(output)) return kResultFailed;
  return ResultOkLine(EmbeddedImages.size(), EmbeddedRefCount, EmbeddedRefInBlockCount,
                      MissingRefCount, MissingRefInBlockCount);
}

bool TForm1::EmbedImages(const std::u16string& workFolder) {
  TEmbedScan scan;
  scan.PathInEmbeddedName = PathInEmbeddedName;
  scan.DisableMissingRefs = DisableMissingRefs;
  scan.LookBeside = LookBeside;
  scan.Deflated = &DeflatedImages;
  const bool ok = ::EmbedImages(*Jww, CurrentSourcePath, workFolder, EmbeddedImages, scan);
  EmbeddedRefCount = scan.EmbeddedRefCount;
  EmbeddedRefInBlockCount = scan.EmbeddedRefInBlockCount;
  MissingRefCount = scan.MissingRefCount;
  MissingRefInBlockCount = scan.MissingRefInBlockCount;
  Warnings.insert(Warnings.end(), scan.Warnings.begin(), scan.Warnings.end());
  if (!ok) FailureReason = scan.FailureReason;
  return ok;
}

// The drawing is written under a name of its own beside the output and
// renamed only when complete, with a rename that never replaces a file: an
// interrupted conversion leaves no half-written drawing under the output
// name, and two runs writing into one folder cannot overwrite each other.
bool TForm1::SaveThroughTemporary(const platform::Path& output) {
  platform::Os& os = platform::Current();
  platform::Path temporary;
  std::unique_ptr<platform::File> file;
  if (reservedFor_ == output && reservedFile_) {
    temporary = reservedTemporary_;
    file = std::move(reservedFile_);
  } else {
    for (int n = 1; n <= 99999 && !file; ++n) {
      temporary = TemporaryFor(output, n);
      file = os.CreateNew(temporary);
    }
  }
  if (!file) {
    FailureReason = "cannot create a file in the destination folder";
    return false;
  }
  if (!Jww->SaveToFile(*file, 700, &StagedImageFiles())) {
    FailureReason = "cannot write the converted drawing: " + Jww->LastError;
    file.reset();
    if (os.FileExists(temporary)) os.Delete(temporary);
    return false;
  }
  file.reset();
  if (!(replaceOutput_ ? os.Replace(temporary, output) : os.Rename(temporary, output))) {
    FailureReason = os.FileExists(output) ? "the output name was taken meanwhile"
                                          : "cannot rename the converted drawing into place";
    os.Delete(temporary);
    return false;
  }
  // Renamed into place: there is no temporary left to look for.
  if (temporary == reservedTemporary_) reservedTemporary_.clear();
  return true;
}
