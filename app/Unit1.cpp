#include "app/Unit1.h"

#include "app/UnitGval.h"
#include "embed/staging.h"
#include "text/filenames.h"

const char* const kResultFailed = "\x95\xCF\x8A\xB7\x8E\xB8\x94s";  // 変換失敗

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

}  // namespace

TForm1::TForm1() : Jww(std::make_unique<TJwwData>()) {}

TForm1::~TForm1() = default;

void TForm1::ResetConversion() {
  EmbeddedImages.clear();
  Jww->FreeDrawing();
  DeleteStagedArchives();
  DeleteStagedOriginals();
  ClearStagedImages();
}

std::string TForm1::ConvertFile(const std::string& source, const std::string& output) {
  EmbeddedRefCount = 0;
  EmbeddedRefInBlockCount = 0;
  MissingRefCount = 0;
  MissingRefInBlockCount = 0;
  FailureReason.clear();
  Warnings.clear();
  ResetConversion();

  // A drawing that could be read only in part is damaged: converting what
  // was read would hand the user a drawing with entities silently missing.
  try {
    if (!Jww->LoadFromFile(source)) {
      FailureReason = "damaged drawing: " + Jww->LastError;
      return kResultFailed;
    }
    if (HasDroppedEntity(*Jww)) {
      FailureReason = "damaged drawing: an entity could not be read";
      return kResultFailed;
    }
  } catch (const JwwIoError& e) {
    FailureReason = "cannot be opened, or is not a drawing of version 2.20 or later (" +
                    IoErrorText(e.code()) + ")";
    return kResultFailed;
  }
  CurrentSourcePath = source;

  if (!EmbedImages(StagingFolder)) return kResultFailed;
  if (!SaveThroughTemporary(output)) return kResultFailed;
  return ResultOkLine(EmbeddedImages.size(), EmbeddedRefCount, EmbeddedRefInBlockCount,
                      MissingRefCount, MissingRefInBlockCount);
}

// The drawing is written under a name of its own beside the output and
// renamed only when complete, with a rename that never replaces a file: an
// interrupted conversion leaves no half-written drawing under the output
// name, and two runs writing into one folder cannot overwrite each other.
bool TForm1::SaveThroughTemporary(const std::string& output) {
  platform::Os& os = platform::Current();
  std::string temporary;
  for (int n = 1; n <= 99999 && temporary.empty(); ++n) {
    std::string candidate = output + ".~" + std::to_string(n) + ".tmp";
    if (auto reserved = os.CreateNew(candidate)) {
      reserved->Close();
      temporary = candidate;
    }
  }
  if (temporary.empty()) {
    FailureReason = "cannot create a file in the destination folder";
    return false;
  }
  if (!Jww->SaveToFile(temporary, 700)) {
    FailureReason = "cannot write the converted drawing: " + Jww->LastError;
    if (os.FileExists(temporary)) os.Delete(temporary);
    return false;
  }
  if (!os.Rename(temporary, output)) {
    FailureReason = os.FileExists(output) ? "the output name was taken meanwhile"
                                          : "cannot rename the converted drawing into place";
    os.Delete(temporary);
    return false;
  }
  return true;
}
