#include "embed/scan.h"

#include <algorithm>
#include <cstdint>
#include <limits>
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

// A path with neither a drive letter nor a leading separator is relative to
// the drawing's folder, and only to it: the current folder of whoever runs
// the conversion has nothing to do with the drawing. Windows takes "/" for
// "\" everywhere, the root included.
bool IsRelative(const std::string& path) {
  return !HasDriveLetter(path) && path[0] != '\\' && path[0] != '/';
}

bool IsSeparator(char c) {
  return c == '\\' || c == '/' || c == ':';
}

// The file name a reference ends in, after its last "\", "/" or ":" (a 0x5C
// inside a double-byte character is none).
std::string RefFileName(const std::string& path) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (IsSjisLeadByte(static_cast<std::uint8_t>(path[i])))
      ++i;
    else if (IsSeparator(path[i]))
      start = i + 1;
  }
  return path.substr(std::min(start, path.size()));
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
  return !drive && path[0] != u'\\' && path[0] != u'/';
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

// Names on disk are limited to 255 bytes on Linux (UTF-8) and 255 units on
// Windows (UTF-16): an image is staged as its name + ".gz". Jw_cad keeps 255
// bytes of a text.
constexpr std::size_t kDiskNameRoom = 255 - 3;
constexpr std::size_t kTextLimit = 255;
// Room kept in a shortened name for a branch number "~99999".
constexpr std::size_t kBranchRoom = 6;
// Below this, a reference's parameters leave no useful room for a name, and
// its length is not held to Jw_cad's limit (it did not fit before either).
constexpr std::size_t kLeastNameRoom = 32;

// One character of a name: where it starts, its length in the drawing's
// text, and its length at most in UTF-8 on a disk.
struct CharCost {
  std::size_t start, text, disk;
};

std::vector<CharCost> Costs(const std::string& sjis) {
  std::vector<CharCost> costs;
  for (std::size_t i = 0; i < sjis.size();) {
    const auto b = static_cast<std::uint8_t>(sjis[i]);
    if (IsSjisLeadByte(b) && i + 1 < sjis.size()) {
      costs.push_back({i, 2, 3});
      i += 2;
    } else {
      costs.push_back({i, 1, b < 0x80 ? std::size_t{1} : 3});
      ++i;
    }
  }
  return costs;
}

std::vector<CharCost> Costs(const std::u16string& units) {
  std::vector<CharCost> costs;
  for (std::size_t i = 0; i < units.size();) {
    const char16_t u = units[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      costs.push_back({i, 2, 4});
      i += 2;
    } else {
      costs.push_back({i, 1, u < 0x80 ? std::size_t{1} : u < 0x800 ? std::size_t{2} : 3});
      ++i;
    }
  }
  return costs;
}

template <typename Str>
bool IsPathSeparator(typename Str::value_type c) {
  return c == '\\' || c == '/' || c == ':';
}

// `name` as it is when it fits both the disk and `textRoom` bytes of the
// rewritten reference; else its end that fits, with room for a branch
// number when `branchRoom`. A name made from `path` (same length: every
// separator spelt "_") keeps whole folders: the file name and as many of
// the nearest folders as fit, for a person to recognise. Empty when not
// even one character fits.
template <typename Str>
Str FitName(const Str& name, const Str& path, std::size_t textRoom, bool branchRoom) {
  const std::vector<CharCost> costs = Costs(name);
  std::size_t text = 0, disk = 0;
  for (const CharCost& c : costs) text += c.text, disk += c.disk;
  std::size_t diskRoom = kDiskNameRoom;
  if (text <= textRoom && disk <= diskRoom) return name;
  if (branchRoom) {
    textRoom -= std::min(textRoom, kBranchRoom);
    diskRoom -= kBranchRoom;
  }
  const bool derived = path.size() == name.size();
  std::optional<std::size_t> anyCut;
  for (std::size_t k = 0; k < costs.size(); ++k) {
    if (text <= textRoom && disk <= diskRoom) {
      if (!anyCut) anyCut = costs[k].start;
      if (derived && k > 0 && costs[k - 1].text == 1 &&
          IsPathSeparator<Str>(path[costs[k].start - 1]))
        return name.substr(costs[k].start);
    }
    text -= costs[k].text;
    disk -= costs[k].disk;
  }
  return anyCut ? name.substr(*anyCut) : Str();
}

// The room a name has in a rewritten reference whose text was `textLength`
// long, with `params` after the name.
std::size_t NameRoom(std::size_t textLength, std::size_t params) {
  const std::size_t fixed = kEmbedded.size() + params;
  if (textLength > kTextLimit || fixed + kLeastNameRoom > kTextLimit) return SIZE_MAX;
  return kTextLimit - fixed;
}

// One file however a reference spells its path: "\" and "/" alike, "." and
// empty parts dropped (a leading "\\" of a network share kept), letters as
// Windows compares them (by the caller's key). ".." stays: what it leads to
// depends on links a spelling cannot see.
template <typename Str>
Str NormalPath(const Str& path) {
  using C = typename Str::value_type;
  const auto separator = [](C c) { return c == C('\\') || c == C('/'); };
  Str out;
  std::size_t i = 0;
  if (path.size() >= 2 && path[1] == C(':')) {
    out = path.substr(0, 2);
    i = 2;
  } else if (path.size() >= 2 && separator(path[0]) && separator(path[1])) {
    out = Str(2, C('\\'));
    i = 2;
  }
  if (i == 0 && !path.empty() && separator(path[0])) out += C('\\');
  if (i == 2 && out[1] == C(':') && path.size() > 2 && separator(path[2])) out += C('\\');
  Str part;
  bool first = true;
  const auto flush = [&] {
    if (!part.empty() && !(part.size() == 1 && part[0] == C('.'))) {
      if (!first) out += C('\\');
      out += part;
      first = false;
    }
    part.clear();
  };
  for (; i < path.size(); ++i) {
    const C c = path[i];
    if constexpr (sizeof(C) == 1) {
      if (IsSjisLeadByte(static_cast<std::uint8_t>(c)) && i + 1 < path.size()) {
        part += c;
        part += path[++i];
        continue;
      }
    }
    if (separator(c))
      flush();
    else
      part += c;
  }
  flush();
  return out;
}

std::string SourceKey(const std::string& path) {
  return SjisUpper(NormalPath(path));
}

std::string SourceKey(const std::u16string& path) {
  return WideNameKey(NormalPath(path));
}

// An image's path in a warning, as a person on this system writes it.
std::string ImageForPerson(const std::string& path) {
  return QuotedName(platform::PathForPerson(path));
}

// Why a found file is no image to embed, for a warning; "" when it is one.
// A FIFO would never end a read, a device like /dev/zero would never end
// its data, and an image whose archive the image section's size field
// cannot hold could not be stored.
std::string NotAnImage(const platform::DirEntry& entry) {
  if (entry.isFolder || entry.special) return "it is not a regular file";
  if (entry.size > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
    return "it is too large to embed (2 GiB at most)";
  return "";
}

}  // namespace

std::string WhyImageUnusable(const std::string& path) {
  platform::Os& os = platform::Current();
  platform::DirEntry entry;
  if (!os.FindFirst(SjisToUtf16(path), entry)) return "";
  if (std::string why = NotAnImage(entry); !why.empty()) return why;
  return os.OpenRead(SjisToUtf16(path)) ? "" : "it cannot be read";
}

std::string WhyImageUnusable(const std::u16string& path) {
  platform::Os& os = platform::Current();
  platform::DirEntry entry;
  if (!os.FindFirst(path, entry)) return "";
  if (std::string why = NotAnImage(entry); !why.empty()) return why;
  return os.OpenRead(path) ? "" : "it cannot be read";
}

std::optional<TWideImageRef> ParseWideImageRef(const std::u16string& t) {
  return SplitImageRef<TWideImageRef>(t);
}

TWideResolvedRef ResolveWideImageRef(const std::string& drawingFolder,
                                     const std::u16string& refPath, bool lookBeside) {
  platform::Os& os = platform::Current();
  const std::u16string folder = SjisToUtf16(drawingFolder);
  TWideResolvedRef r;
  r.path = IsRelative(refPath) ? folder + refPath : refPath;
  r.found = os.FileExists(r.path);
  if (!r.found && lookBeside) {
    const std::u16string name = WideFileName(refPath);
    if (!name.empty() && os.FileExists(folder + name)) {
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
  r.found = os.FileExists(SjisToUtf16(r.path));
  if (!r.found && lookBeside) {
    const std::string name = RefFileName(refPath);
    const std::string beside = drawingFolder + name;
    if (!name.empty() && os.FileExists(SjisToUtf16(beside))) {
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
    rowOfSource.emplace(rows[i].WideSourcePath.empty() ? SourceKey(rows[i].SourcePath)
                                                       : SourceKey(rows[i].WideSourcePath),
                        i);
  }
  // Every reference rewritten to a row, as it was and as it would be for a
  // missing image: an image that turns out unreadable while it is being
  // compressed is missing after all, and its references are put back.
  struct Rewritten {
    TEntJwwText* text;
    TEntJwwText original, asMissing;
    bool inBlock;
  };
  std::vector<std::vector<Rewritten>> refsOfRow(rows.size());
  const auto noteRewrite = [&](std::size_t row, TEntJwwText& text, const TEntJwwText& original,
                               const TEntJwwText& asMissing, bool inBlock) {
    if (refsOfRow.size() <= row) refsOfRow.resize(row + 1);
    refsOfRow[row].push_back({&text, original, asMissing, inBlock});
  };
  const auto rowOf = [&](const std::string& key) -> std::size_t {
    auto it = rowOfName.find(key);
    return it == rowOfName.end() ? rows.size() : it->second;
  };

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
  auto embedWide = [&](TEntJwwText& text, std::int32_t& embedded, std::int32_t& missing,
                       bool inBlock) {
    const std::optional<TWideImageRef> ref = ParseWideImageRef(text.Text.units);
    if (!ref || ref->kind != TImageRef::Kind::Live) return true;
    const TWideResolvedRef resolved =
        ResolveWideImageRef(drawingFolder, ref->path, scan.LookBeside);
    const std::u16string& path = resolved.path;
    const TEntJwwText original = text;
    auto markMissing = [&](TEntJwwText& t) {
      if (scan.DisableMissingRefs) {
        AssignUnits(t.Text, Units(kDisabled) + path + ref->params);
        t.TextKind = 0;
        t.Attr.PenColor = 9;
      }
    };
    // A folder is "not found" as a file, but it is no image either.
    std::string notImage;
    platform::DirEntry entry;
    if (os.FindFirst(path, entry) && (resolved.found || entry.isFolder))
      notImage = NotAnImage(entry);
    if (!resolved.found || !notImage.empty()) {
      if (!notImage.empty())
        scan.Warnings.push_back("the image " + ImageForPerson(Utf16ToSjisLossy(path)) +
                                " is counted as missing: " + notImage);
      ++missing;
      markMissing(text);
      return true;
    }

    std::u16string name;
    const std::string pathKey = SourceKey(path);
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
        return !os.FileExists(wideWork + use) || GetFileStamp(wideWork + use) == stamp;
      };
      const std::size_t room = NameRoom(text.Text.units.size(), ref->params.size());
      const std::u16string base = PathInEmbeddedName
                                      ? FitName(WidePathDerivedName(path), path, room, true)
                                      : WideFileName(path);
      if (!base.empty() && !usable(base, name)) {
        name.clear();
        for (int n = 1; n <= 99999 && name.empty(); ++n) {
          std::u16string candidate = WideWithBranch(base, n);
          if (PathInEmbeddedName) candidate = FitName(candidate, std::u16string(), room, false);
          if (!usable(candidate, name)) name.clear();
        }
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
      if (!os.FileExists(wideWork + name)) {
        // An image the user may not read is missing, not a failed drawing.
        if (!os.OpenRead(path)) {
          rowOfSource.erase(pathKey);
          rowNames.erase(WideNameKey(name));
          rowOfName.erase(WideNameKey(name));
          rows.pop_back();
          scan.Warnings.push_back("the image " + ImageForPerson(Utf16ToSjisLossy(path)) +
                                  " is counted as missing: it cannot be read");
          ++missing;
          markMissing(text);
          return true;
        }
        std::string error;
        if (!CopyFileKeepDate(path, wideWork + name, &error)) {
          scan.FailureReason = "cannot stage the image " + Utf16ToSjisLossy(path) + ": " + error;
          return false;
        }
      }
    }
    AssignUnits(text.Text, Units(kEmbedded) + name + ref->params);
    ++embedded;
    TEntJwwText asMissing = original;
    markMissing(asMissing);
    noteRewrite(rowOf(WideNameKey(name)), text, original, asMissing, inBlock);
    return true;
  };

  auto embedOne = [&](TEntJwwText& text, bool inBlock) -> bool {
    const std::string& t = text.Text.text;
    std::optional<TImageRef> ref = ParseImageRef(t);
    if (!ref || ref->kind != TImageRef::Kind::Live) return true;
    std::int32_t& embedded = inBlock ? scan.EmbeddedRefInBlockCount : scan.EmbeddedRefCount;
    std::int32_t& missing = inBlock ? scan.MissingRefInBlockCount : scan.MissingRefCount;

    if (text.Text.verbatim) return embedWide(text, embedded, missing, inBlock);

    const TResolvedRef resolved = ResolveImageRef(drawingFolder, ref->path, scan.LookBeside);
    const std::string& path = resolved.path;
    const TEntJwwText original = text;
    auto markMissing = [&](TEntJwwText& m) {
      if (scan.DisableMissingRefs) {
        m.Text.Assign(kDisabled + path + ref->params);
        m.TextKind = 0;
        m.Attr.PenColor = 9;
      }
    };
    auto countMissing = [&](const std::string& why) {
      if (!why.empty())
        scan.Warnings.push_back("the image " + ImageForPerson(path) +
                                " is counted as missing: " + why);
      ++missing;
      markMissing(text);
      return true;
    };
    // A folder is "not found" as a file, but it is no image either.
    platform::DirEntry entry;
    const bool listed =
        os.FindFirst(SjisToUtf16(path), entry) && (resolved.found || entry.isFolder);
    if (listed && !NotAnImage(entry).empty()) return countMissing(NotAnImage(entry));
    if (!resolved.found) return countMissing("");

    std::string name;
    const std::string upperPath = SourceKey(path);
    if (auto row = rowOfSource.find(upperPath); row != rowOfSource.end())
      name = rows[row->second].EmbeddedName;
    if (name.empty()) {
      const std::size_t room = NameRoom(t.size(), ref->params.size());
      std::optional<std::string> made =
          MakeEmbeddedName(PathInEmbeddedName, path, workFolder, stagedStamp);
      if (made && PathInEmbeddedName) made = FitName(*made, path, room, true);
      // Two different images must never share a name: C:\a_b.jpg and
      // C:\a\b.jpg both give C__a_b.jpg. Plain names are kept apart by their
      // stamps already; a taken name gets branch numbers here.
      if (made && !made->empty() && nameTaken(*made, PathInEmbeddedName)) {
        const std::string base = *made;
        const TFileStamp stamp = GetFileStamp(path);
        made.reset();
        for (int n = 1; n <= 99999 && !made; ++n) {
          std::string candidate = WithBranch(base, n);
          if (PathInEmbeddedName) candidate = FitName(candidate, std::string(), room, false);
          const std::optional<TFileStamp> held = stagedStamp(candidate);
          bool otherFile = held ? !(*held == stamp)
                                : os.FileExists(SjisToUtf16(workFolder + candidate)) &&
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
      if (!stagedBefore && !os.FileExists(SjisToUtf16(workFolder + name))) {
        if (IsCompressedName(name)) {
          // Stored as it is, never compressed: only a copy stages it. An
          // image the user may not read is missing, not a failed drawing.
          if (!os.OpenRead(SjisToUtf16(path))) {
            rowOfSource.erase(upperPath);
            rowNames.erase(upperName);
            rowOfName.erase(upperName);
            staged.erase(upperName);
            rows.pop_back();
            return countMissing("it cannot be read");
          }
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
    TEntJwwText asMissing = original;
    markMissing(asMissing);
    noteRewrite(rowOf(SjisUpper(name)), text, original, asMissing, inBlock);
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
      StagedImages.push_back({row.EmbeddedName, 0, os.FileExists(wideWork + row.WideEmbeddedName),
                              row.WideEmbeddedName});
      sources.emplace_back();
      continue;
    }
    auto pending = pendingSource.find(key);
    const bool fromSource = pending != pendingSource.end();
    StagedImages.push_back(
        {row.EmbeddedName, 0,
         fromSource || os.FileExists(SjisToUtf16(workFolder + row.EmbeddedName))});
    sources.push_back(fromSource ? pending->second : std::string());
  }
  if (!embedded) return false;

  std::string error;
  std::vector<TUnreadableImage> unreadable;
  const bool compressed = CompressStagedImages(error, sources, scan.Threads, &unreadable);
  // An image that could not be read is missing after all: its references
  // are put back (or disabled) and counted so, its row and entry go.
  if (!unreadable.empty()) {
    std::vector<bool> dropRow(rows.size(), false);
    std::vector<bool> dropEntry(StagedImages.size(), false);
    for (const TUnreadableImage& u : unreadable) {
      const TBindImageType& image = StagedImages[u.entry];
      dropEntry[u.entry] = true;
      const std::string key = ImageNameKey(image.Name, image.WideName);
      for (std::size_t r = 0; r < rows.size(); ++r) {
        if (ImageNameKey(rows[r].EmbeddedName, rows[r].WideEmbeddedName) != key) continue;
        if (!dropRow[r])
          scan.Warnings.push_back("the image " +
                                  ImageForPerson(rows[r].WideSourcePath.empty()
                                                     ? rows[r].SourcePath
                                                     : Utf16ToSjisLossy(rows[r].WideSourcePath)) +
                                  " is counted as missing: " + u.reason);
        dropRow[r] = true;
        if (r >= refsOfRow.size()) continue;
        for (const Rewritten& ref : refsOfRow[r]) {
          *ref.text = ref.asMissing;
          --(ref.inBlock ? scan.EmbeddedRefInBlockCount : scan.EmbeddedRefCount);
          ++(ref.inBlock ? scan.MissingRefInBlockCount : scan.MissingRefCount);
        }
      }
    }
    std::size_t kept = 0;
    for (std::size_t r = 0; r < rows.size(); ++r)
      if (!dropRow[r]) {
        if (kept != r) rows[kept] = std::move(rows[r]);
        ++kept;
      }
    rows.resize(kept);
    kept = 0;
    for (std::size_t e = 0; e < StagedImages.size(); ++e)
      if (!dropEntry[e]) {
        if (kept != e) StagedImages[kept] = std::move(StagedImages[e]);
        ++kept;
      }
    StagedImages.resize(kept);
  }
  if (!compressed) {
    scan.FailureReason = "cannot compress a staged image: " + error;
    return false;
  }
  return true;
}
