// The image-reference scan: every "^@BM" text of a drawing, at the top level
// and inside every block definition, is resolved, its image staged and the
// reference rewritten to the staged copy, or counted (and perhaps disabled)
// when the image file is missing.
#include <optional>

#include "app/Unit1.h"
#include "app/UnitGval.h"
#include "embed/staging.h"
#include "platform/platform.h"
#include "text/filenames.h"
#include "text/sjis.h"

namespace {

const std::string kLive = "^@BM";
const std::string kEmbedded = "^@BM%temp%";
const std::string kDisabled = "_@BM";

bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

bool HasDriveLetter(const std::string& path) {
  return path.size() >= 2 && path[1] == ':' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

// A path with neither a drive letter nor a leading "\" is relative to the
// drawing's folder, and only to it: the current folder of whoever runs the
// conversion has nothing to do with the drawing.
bool IsRelative(const std::string& path) {
  return !HasDriveLetter(path) && path[0] != '\\';
}

bool SameName(const std::string& a, const std::string& b) {
  return SjisUpper(a) == SjisUpper(b);
}

// base~N.ext for N = 1, 2, ...: the branch numbers of plain names.
std::string WithBranch(const std::string& name, int n) {
  std::string ext = ExtractFileExt(name);
  return name.substr(0, name.size() - ext.size()) + "~" + std::to_string(n) + ext;
}

struct Reference {
  std::string path;    // as written after "^@BM"
  std::string params;  // from the first "," to the end
};

std::optional<Reference> ParseLive(const std::string& t) {
  if (StartsWith(t, kEmbedded) || !StartsWith(t, kLive)) return std::nullopt;
  std::size_t comma = t.find(',', kLive.size());
  if (comma == std::string::npos || comma == kLive.size()) return std::nullopt;
  return Reference{t.substr(kLive.size(), comma - kLive.size()), t.substr(comma)};
}

}  // namespace

bool TForm1::EmbedImages(const std::string& workFolder) {
  platform::Os& os = platform::Current();
  const std::string drawingFolder = ExtractFileDir(CurrentSourcePath);
  // Images the source drawing carried already: a new image must not take a
  // name that would overwrite one of them (x.jpg would compress onto x.jpg.gz).
  const std::vector<TBindImageType> carried = StagedImages;

  auto nameTaken = [&](const std::string& name, bool byRows) {
    for (const auto& img : carried)
      if (SameName(img.Name, name) || SameName(img.Name, name + ".gz")) return true;
    if (byRows)
      for (const auto& row : EmbeddedImages)
        if (SameName(row.EmbeddedName, name)) return true;
    return false;
  };

  auto embedOne = [&](TEntJwwText& text, bool inBlock) -> bool {
    const std::string& t = text.Text.text;
    std::optional<Reference> ref = ParseLive(t);
    if (!ref) return true;
    std::int32_t& embedded = inBlock ? EmbeddedRefInBlockCount : EmbeddedRefCount;
    std::int32_t& missing = inBlock ? MissingRefInBlockCount : MissingRefCount;

    if (text.Text.verbatim) {
      // The drawing names the image with characters Shift-JIS cannot hold:
      // no path of ours can reach it. Left as it is, and said so.
      ++missing;
      Warnings.push_back(
          "image reference not embedded: its path has characters outside "
          "Shift-JIS: " +
          t);
      return true;
    }

    std::string path = IsRelative(ref->path) ? drawingFolder + ref->path : ref->path;
    if (!os.FileExists(path)) {
      ++missing;
      if (DisableMissingRefs) {
        text.Text.Assign(kDisabled + path + ref->params);
        text.TextKind = 0;
        text.Attr.PenColor = 9;
      }
      return true;
    }

    std::string name;
    for (const auto& row : EmbeddedImages)
      if (SameName(row.SourcePath, path)) {
        name = row.EmbeddedName;
        break;
      }
    if (name.empty()) {
      std::optional<std::string> made = MakeEmbeddedName(PathInEmbeddedName, path, workFolder);
      // Two different images must never share a name: C:\a_b.jpg and
      // C:\a\b.jpg both give C__a_b.jpg. Plain names are kept apart by their
      // stamps already; a taken name gets branch numbers here.
      if (made && !made->empty() && nameTaken(*made, PathInEmbeddedName)) {
        const std::string base = *made;
        const TFileStamp stamp = GetFileStamp(path);
        made.reset();
        for (int n = 1; n <= 99999 && !made; ++n) {
          std::string candidate = WithBranch(base, n);
          bool otherFile = os.FileExists(workFolder + candidate) &&
                           !(GetFileStamp(workFolder + candidate) == stamp);
          if (!nameTaken(candidate, PathInEmbeddedName) && !otherFile) made = candidate;
        }
      }
      if (!made || made->empty()) {
        FailureReason = "no free name to stage the image " + path;
        return false;
      }
      name = *made;
      EmbeddedImages.push_back({path, name});
      if (!os.FileExists(workFolder + name)) {
        std::string error;
        if (!CopyFileKeepDate(path, workFolder + name, &error)) {
          FailureReason = "cannot stage the image " + path + ": " + error;
          return false;
        }
      }
    }
    text.Text.Assign(kEmbedded + name + ref->params);
    ++embedded;
    return true;
  };

  for (auto& text : Jww->Texts)
    if (!embedOne(text, false)) return false;
  for (auto& def : Jww->BlockDefs)
    for (auto& text : def.Entities.Texts)
      if (!embedOne(text, true)) return false;

  for (const auto& row : EmbeddedImages)
    StagedImages.push_back({row.EmbeddedName, 0, os.FileExists(workFolder + row.EmbeddedName)});

  std::string error;
  if (!CompressStagedImages(error)) {
    FailureReason = "cannot compress a staged image: " + error;
    return false;
  }
  return true;
}
