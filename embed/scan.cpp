#include "embed/scan.h"

#include <unordered_map>
#include <unordered_set>

#include "embed/staging.h"
#include "platform/platform.h"
#include "text/filenames.h"
#include "text/sjis.h"

const char* const kLiveRefPrefix = "^@BM";
const char* const kEmbeddedRefPrefix = "^@BM%temp%";
const char* const kDisabledRefPrefix = "_@BM";

namespace {

const std::string kLive = kLiveRefPrefix;
const std::string kEmbedded = kEmbeddedRefPrefix;
const std::string kDisabled = kDisabledRefPrefix;

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

// base~N.ext for N = 1, 2, ...: the branch numbers of plain names.
std::string WithBranch(const std::string& name, int n) {
  std::string ext = ExtractFileExt(name);
  return name.substr(0, name.size() - ext.size()) + "~" + std::to_string(n) + ext;
}

}  // namespace

std::optional<TImageRef> ParseImageRef(const std::string& t) {
  TImageRef ref;
  std::size_t prefix = 0;
  if (StartsWith(t, kEmbedded)) {
    ref.kind = TImageRef::Kind::Embedded;
    prefix = kEmbedded.size();
  } else if (StartsWith(t, kLive)) {
    prefix = kLive.size();
  } else if (StartsWith(t, kDisabled)) {
    ref.kind = TImageRef::Kind::Disabled;
    prefix = kDisabled.size();
  } else {
    return std::nullopt;
  }
  std::size_t comma = t.find(',', prefix);
  if (comma == std::string::npos || comma == prefix) return std::nullopt;
  ref.path = t.substr(prefix, comma - prefix);
  ref.params = t.substr(comma);
  return ref;
}

TResolvedRef ResolveImageRef(const std::string& drawingFolder, const std::string& refPath,
                             bool lookBeside) {
  platform::Os& os = platform::Current();
  TResolvedRef r;
  r.path = IsRelative(refPath) ? drawingFolder + refPath : refPath;
  r.found = os.FileExists(r.path);
  if (!r.found && lookBeside) {
    std::string beside = drawingFolder + ExtractFileName(refPath);
    if (!ExtractFileName(refPath).empty() && os.FileExists(beside)) {
      r.path = beside;
      r.found = r.beside = true;
    }
  }
  return r;
}

bool EmbedImages(TJwwData& jww, const std::string& sourcePath, const std::string& workFolder,
                 std::vector<TStr2List>& rows, TEmbedScan& scan) {
  platform::Os& os = platform::Current();
  const std::string drawingFolder = ExtractFileDir(sourcePath);
  const bool PathInEmbeddedName = scan.PathInEmbeddedName;
  // Images the source drawing carried already: a new image must not take a
  // name that would overwrite one of them (x.jpg would compress onto x.jpg.gz).
  // Names are compared ignoring letter case, through their upper-cased
  // forms kept in sets, so that a drawing of thousands of images costs no
  // more per image than one of a few.
  std::unordered_set<std::string> carried;
  for (const auto& img : StagedImages) carried.insert(SjisUpper(img.Name));
  std::unordered_set<std::string> rowNames;
  std::unordered_map<std::string, std::size_t> rowOfSource;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    rowNames.insert(SjisUpper(rows[i].EmbeddedName));
    rowOfSource.emplace(SjisUpper(rows[i].SourcePath), i);
  }

  // The images staged so far, by upper-cased name: the file each is taken
  // from, and its stamp once asked for. No uncompressed copy lies in the
  // work folder to tell a name's image by.
  struct Staged {
    std::string source;
    std::optional<TFileStamp> stamp;
  };
  std::unordered_map<std::string, Staged> staged;
  for (const TStr2List& row : rows)
    staged.emplace(SjisUpper(row.EmbeddedName), Staged{row.SourcePath, {}});
  const StagedStampLookup stagedStamp = [&](const std::string& name) -> std::optional<TFileStamp> {
    auto it = staged.find(SjisUpper(name));
    if (it == staged.end()) return std::nullopt;
    if (!it->second.stamp) it->second.stamp = GetFileStamp(it->second.source);
    return it->second.stamp;
  };
  // Images compressed straight from their source once the scan is done.
  std::unordered_map<std::string, std::string> pendingSource;

  auto nameTaken = [&](const std::string& name, bool byRows) {
    if (carried.count(SjisUpper(name)) || carried.count(SjisUpper(name + ".gz"))) return true;
    return byRows && rowNames.count(SjisUpper(name)) > 0;
  };

  auto embedOne = [&](TEntJwwText& text, bool inBlock) -> bool {
    const std::string& t = text.Text.text;
    std::optional<TImageRef> ref = ParseImageRef(t);
    if (!ref || ref->kind != TImageRef::Kind::Live) return true;
    std::int32_t& embedded = inBlock ? scan.EmbeddedRefInBlockCount : scan.EmbeddedRefCount;
    std::int32_t& missing = inBlock ? scan.MissingRefInBlockCount : scan.MissingRefCount;

    if (text.Text.verbatim) {
      // The drawing names the image with characters Shift-JIS cannot hold:
      // no path of ours can reach it. Left as it is, and said so.
      ++missing;
      scan.Warnings.push_back(
          "image reference not embedded: its path has characters outside "
          "Shift-JIS: " +
          t);
      return true;
    }

    const TResolvedRef resolved = ResolveImageRef(drawingFolder, ref->path, scan.LookBeside);
    const std::string& path = resolved.path;
    if (!resolved.found) {
      ++missing;
      if (scan.DisableMissingRefs) {
        text.Text.Assign(kDisabled + path + ref->params);
        text.TextKind = 0;
        text.Attr.PenColor = 9;
      }
      return true;
    }

    std::string name;
    const std::string upperPath = SjisUpper(path);
    if (auto row = rowOfSource.find(upperPath); row != rowOfSource.end())
      name = rows[row->second].EmbeddedName;
    if (name.empty()) {
      std::optional<std::string> made =
          MakeEmbeddedName(PathInEmbeddedName, path, workFolder, stagedStamp);
      // Two different images must never share a name: C:\a_b.jpg and
      // C:\a\b.jpg both give C__a_b.jpg. Plain names are kept apart by their
      // stamps already; a taken name gets branch numbers here.
      if (made && !made->empty() && nameTaken(*made, PathInEmbeddedName)) {
        const std::string base = *made;
        const TFileStamp stamp = GetFileStamp(path);
        made.reset();
        for (int n = 1; n <= 99999 && !made; ++n) {
          std::string candidate = WithBranch(base, n);
          const std::optional<TFileStamp> held = stagedStamp(candidate);
          bool otherFile = held ? !(*held == stamp)
                                : os.FileExists(workFolder + candidate) &&
                                      !(GetFileStamp(workFolder + candidate) == stamp);
          if (!nameTaken(candidate, PathInEmbeddedName) && !otherFile) made = candidate;
        }
      }
      if (!made || made->empty()) {
        scan.FailureReason = "no free name to stage the image " + path;
        return false;
      }
      name = *made;
      const std::string upperName = SjisUpper(name);
      rowOfSource.emplace(upperPath, rows.size());
      rowNames.insert(upperName);
      rows.push_back({path, name});
      // A plain name staged before with the same stamp is this image, and
      // so is a file already lying in the work folder under the name.
      const bool stagedBefore = !staged.emplace(upperName, Staged{path, {}}).second;
      if (!stagedBefore && !os.FileExists(workFolder + name)) {
        if (IsCompressedName(name)) {
          // Stored as it is, never compressed: only a copy stages it.
          std::string error;
          if (!CopyFileKeepDate(path, workFolder + name, &error)) {
            scan.FailureReason = "cannot stage the image " + path + ": " + error;
            return false;
          }
        } else {
          pendingSource.emplace(upperName, path);
        }
      }
    }
    text.Text.Assign(kEmbedded + name + ref->params);
    ++embedded;
    return true;
  };

  auto embedAll = [&] {
    for (auto& text : jww.Texts)
      if (!embedOne(text, false)) return false;
    for (auto& def : jww.BlockDefs)
      for (auto& text : def.Entities.Texts)
        if (!embedOne(text, true)) return false;
    return true;
  };
  const bool embedded = embedAll();

  // Listed even when an image could not be staged: the clean-up deletes the
  // staged files the list names, and a file made before the failure would
  // otherwise stay in the work folder for good. Rows that share a name show
  // one image (two copies of one file) and list it once.
  std::vector<std::string> sources(StagedImages.size());
  std::unordered_set<std::string> listed;
  for (const auto& row : rows) {
    const std::string upperName = SjisUpper(row.EmbeddedName);
    if (!listed.insert(upperName).second) continue;
    auto pending = pendingSource.find(upperName);
    const bool fromSource = pending != pendingSource.end();
    StagedImages.push_back(
        {row.EmbeddedName, 0, fromSource || os.FileExists(workFolder + row.EmbeddedName)});
    sources.push_back(fromSource ? pending->second : std::string());
  }
  if (!embedded) return false;

  std::string error;
  if (!CompressStagedImages(error, sources, scan.Threads)) {
    scan.FailureReason = "cannot compress a staged image: " + error;
    return false;
  }
  return true;
}
