#include "embed/scan.h"

#include <unordered_map>
#include <unordered_set>

#include "embed/staging.h"
#include "platform/platform.h"
#include "text/filenames.h"
#include "text/sjis.h"
#include "text/unicode.h"
#include "text/widenames.h"

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

std::u16string Units(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

bool StartsWith(const std::u16string& s, const std::string& ascii) {
  return s.compare(0, ascii.size(), Units(ascii)) == 0;
}

bool IsRelative(const std::u16string& path) {
  const bool drive = path.size() >= 2 && path[1] == u':' &&
                     ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z'));
  return !drive && path[0] != u'\\';
}

// Replaces a text by units, in Shift-JIS when it can hold them.
void AssignUnits(JwwStr& s, std::u16string units) {
  std::string sjis;
  if (Utf16ToSjisExact(units, sjis)) {
    s.Assign(std::move(sjis));
    return;
  }
  s.text = Utf16ToSjisLossy(units);
  s.form = JwwStr::Form::Utf16;
  s.verbatim = true;
  s.units = std::move(units);
}

// The three prefixes and the first "," after them, in either string form.
template <typename Ref, typename Str>
std::optional<Ref> SplitImageRef(const Str& t) {
  Ref ref;
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
  if (comma == Str::npos || comma == prefix) return std::nullopt;
  ref.path = t.substr(prefix, comma - prefix);
  ref.params = t.substr(comma);
  return ref;
}

}  // namespace

std::optional<TWideImageRef> ParseWideImageRef(const std::u16string& t) {
  return SplitImageRef<TWideImageRef>(t);
}

TWideResolvedRef ResolveWideImageRef(const std::string& drawingFolder,
                                     const std::u16string& refPath, bool lookBeside) {
  platform::Os& os = platform::Current();
  const std::u16string folder = SjisToUtf16(drawingFolder);
  TWideResolvedRef r;
  r.path = IsRelative(refPath) ? folder + refPath : refPath;
  r.found = os.FileExistsWide(r.path);
  if (!r.found && lookBeside) {
    const std::u16string name = WideFileName(refPath);
    if (!name.empty() && os.FileExistsWide(folder + name)) {
      r.path = folder + name;
      r.found = r.beside = true;
    }
  }
  return r;
}

std::optional<TImageRef> ParseImageRef(const std::string& t) {
  return SplitImageRef<TImageRef>(t);
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
  // Names and paths Shift-JIS cannot hold have keys of their own in the
  // same sets (ImageNameKey).
  std::unordered_set<std::string> carried;
  for (const auto& img : StagedImages) carried.insert(ImageNameKey(img.Name, img.WideName));
  std::unordered_set<std::string> rowNames;
  std::unordered_map<std::string, std::size_t> rowOfSource;
  // The row holding each name: a name of another letter case is another
  // file on a POSIX disk, but not for Windows.
  std::unordered_map<std::string, std::size_t> rowOfName;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    rowNames.insert(ImageNameKey(rows[i].EmbeddedName, rows[i].WideEmbeddedName));
    rowOfName.emplace(ImageNameKey(rows[i].EmbeddedName, rows[i].WideEmbeddedName), i);
    rowOfSource.emplace(ImageNameKey(rows[i].SourcePath, rows[i].WideSourcePath), i);
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
    if (row.WideEmbeddedName.empty())
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

  // A reference whose text Shift-JIS cannot hold: the same steps on its
  // UTF-16 units, so that a path with "Ü" or "〜" reaches its image and
  // its name keeps those characters.
  const std::u16string wideWork = SjisToUtf16(workFolder);
  auto embedWide = [&](TEntJwwText& text, std::int32_t& embedded, std::int32_t& missing) {
    const std::optional<TWideImageRef> ref = ParseWideImageRef(text.Text.units);
    if (!ref || ref->kind != TImageRef::Kind::Live) return true;
    const TWideResolvedRef resolved =
        ResolveWideImageRef(drawingFolder, ref->path, scan.LookBeside);
    const std::u16string& path = resolved.path;
    if (!resolved.found) {
      ++missing;
      if (scan.DisableMissingRefs) {
        AssignUnits(text.Text, Units(kDisabled) + path + ref->params);
        text.TextKind = 0;
        text.Attr.PenColor = 9;
      }
      return true;
    }

    std::u16string name;
    const std::string pathKey = WideNameKey(path);
    if (auto row = rowOfSource.find(pathKey); row != rowOfSource.end())
      name = WideSpelling(rows[row->second].EmbeddedName, rows[row->second].WideEmbeddedName);
    if (name.empty()) {
      const TFileStamp stamp = GetFileStamp(path);
      // A name is usable unless a carried image holds it (or it with
      // ".gz"), another listed image holds it in any letter case, or
      // another file lies under it; a plain name holding this very image
      // (same stamp) is taken as it is spelt.
      auto usable = [&](const std::u16string& candidate, std::u16string& use) {
        const std::string key = WideNameKey(candidate);
        if (carried.count(key) || carried.count(key + ".GZ")) return false;
        use = candidate;
        if (auto row = rowOfName.find(key); row != rowOfName.end()) {
          if (PathInEmbeddedName) return false;
          use = WideSpelling(rows[row->second].EmbeddedName, rows[row->second].WideEmbeddedName);
        }
        return !os.FileExistsWide(wideWork + use) || GetFileStamp(wideWork + use) == stamp;
      };
      const std::u16string base =
          PathInEmbeddedName ? WidePathDerivedName(path) : WideFileName(path);
      if (!base.empty() && !usable(base, name)) {
        name.clear();
        for (int n = 1; n <= 99999 && name.empty(); ++n)
          if (!usable(WideWithBranch(base, n), name)) name.clear();
      }
      if (name.empty()) {
        scan.FailureReason = "no free name to stage the image " + Utf16ToSjisLossy(path);
        return false;
      }
      TStr2List row;
      if (!Utf16ToSjisExact(path, row.SourcePath)) {
        row.SourcePath = Utf16ToSjisLossy(path);
        row.WideSourcePath = path;
      }
      if (!Utf16ToSjisExact(name, row.EmbeddedName)) {
        row.EmbeddedName = Utf16ToSjisLossy(name);
        row.WideEmbeddedName = name;
      }
      rowOfSource.emplace(pathKey, rows.size());
      rowNames.insert(WideNameKey(name));
      rowOfName.emplace(WideNameKey(name), rows.size());
      rows.push_back(row);
      if (!os.FileExistsWide(wideWork + name)) {
        std::string error;
        if (!CopyFileKeepDate(path, wideWork + name, &error)) {
          scan.FailureReason = "cannot stage the image " + Utf16ToSjisLossy(path) + ": " + error;
          return false;
        }
      }
    }
    AssignUnits(text.Text, Units(kEmbedded) + name + ref->params);
    ++embedded;
    return true;
  };

  auto embedOne = [&](TEntJwwText& text, bool inBlock) -> bool {
    const std::string& t = text.Text.text;
    std::optional<TImageRef> ref = ParseImageRef(t);
    if (!ref || ref->kind != TImageRef::Kind::Live) return true;
    std::int32_t& embedded = inBlock ? scan.EmbeddedRefInBlockCount : scan.EmbeddedRefCount;
    std::int32_t& missing = inBlock ? scan.MissingRefInBlockCount : scan.MissingRefCount;

    if (text.Text.verbatim) return embedWide(text, embedded, missing);

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
      rowOfName.emplace(upperName, rows.size());
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
    const std::string key = ImageNameKey(row.EmbeddedName, row.WideEmbeddedName);
    if (!listed.insert(key).second) continue;
    if (!row.WideEmbeddedName.empty()) {
      // Staged by a copy under its own name, compressed from there.
      StagedImages.push_back({row.EmbeddedName, 0,
                              os.FileExistsWide(wideWork + row.WideEmbeddedName),
                              row.WideEmbeddedName});
      sources.emplace_back();
      continue;
    }
    auto pending = pendingSource.find(key);
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
