#include "embed/scan.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <unordered_map>
#include <unordered_set>

#include "embed/staging.h"
#include "platform/casefold.h"
#include "platform/platform.h"
#include "platform/unicode.h"
#include "text/filenames.h"
#include "text/sjis.h"
#include "text/widenames.h"

const char* const kLiveRefPrefix = "^@BM";
const char* const kEmbeddedRefPrefix = "^@BM%temp%";
const char* const kDisabledRefPrefix = "_@BM";

namespace {

const std::string kLive = kLiveRefPrefix;
const std::string kEmbedded = kEmbeddedRefPrefix;
const std::string kDisabled = kDisabledRefPrefix;

bool StartsWith(std::string_view s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

std::u16string Units(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

bool StartsWith(std::u16string_view s, const std::string& ascii) {
  return s.compare(0, ascii.size(), Units(ascii)) == 0;
}

// A path with neither a drive letter nor a leading separator is relative to
// the drawing's folder, and only to it: the current folder of whoever runs
// the conversion has nothing to do with the drawing. Windows takes "/" for
// "\" everywhere, the root included.
bool IsRelative(const std::u16string& path) {
  const bool drive = path.size() >= 2 && path[1] == u':' &&
                     ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z'));
  return !drive && path[0] != u'\\' && path[0] != u'/';
}

// Replaces a text by units, in Shift-JIS when it can hold them.
void AssignUnits(JwwStr& s, std::u16string units) {
  std::string sjis;
  if (Utf16ToSjisExact(units, sjis)) {
    s.Assign(sjis);
    return;
  }
  const std::string rendering = Utf16ToSjisLossy(units);
  s = JwwStr::Verbatim(rendering, std::move(units));
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

// The costs of a name's characters. In a text held as Shift-JIS a
// character costs its bytes there ("_" for one that CP932 lacks) and, on a
// disk, 3 UTF-8 bytes unless it is ASCII; in a text held as UTF-16 units,
// its units and its UTF-8 bytes.
std::vector<CharCost> Costs(const std::u16string& units, bool bytesText) {
  std::vector<CharCost> costs;
  for (std::size_t i = 0; i < units.size();) {
    const char16_t u = units[i];
    const std::size_t n = u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() &&
                                  units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF
                              ? 2
                              : 1;
    std::string sjis;
    if (bytesText && Utf16ToSjisExact(units.substr(i, n), sjis)) {
      const bool ascii = sjis.size() == 1 && static_cast<std::uint8_t>(sjis[0]) < 0x80;
      costs.push_back({i, sjis.size(), ascii ? std::size_t{1} : 3});
    } else if (n == 2) {
      costs.push_back({i, bytesText ? std::size_t{1} : 2, 4});
    } else {
      costs.push_back({i, 1, u < 0x80 ? std::size_t{1} : u < 0x800 ? std::size_t{2} : 3});
    }
    i += n;
  }
  return costs;
}

bool IsPathSeparator(char16_t c) {
  return c == u'\\' || c == u'/' || c == u':';
}

// `name` as it is when it fits both the disk and `textRoom` of the
// rewritten reference; else its end that fits, with room for a branch
// number when `branchRoom`. A name made from `path` (same length: every
// separator spelt "_") keeps whole folders: the file name and as many of
// the nearest folders as fit, for a person to recognise. Empty when not
// even one character fits.
std::u16string FitName(const std::u16string& name, const std::u16string& path, std::size_t textRoom,
                       bool branchRoom, bool bytesText) {
  const std::vector<CharCost> costs = Costs(name, bytesText);
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
      if (derived && k > 0 && costs[k - 1].text == 1 && IsPathSeparator(path[costs[k].start - 1]))
        return name.substr(costs[k].start);
    }
    text -= costs[k].text;
    disk -= costs[k].disk;
  }
  return anyCut ? name.substr(*anyCut) : std::u16string();
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
std::u16string NormalPath(const std::u16string& path) {
  const auto separator = [](char16_t c) { return c == u'\\' || c == u'/'; };
  std::u16string out;
  std::size_t i = 0;
  if (path.size() >= 2 && path[1] == u':') {
    out = path.substr(0, 2);
    i = 2;
  } else if (path.size() >= 2 && separator(path[0]) && separator(path[1])) {
    out = u"\\\\";
    i = 2;
  }
  if (i == 0 && !path.empty() && separator(path[0])) out += u'\\';
  if (i == 2 && out[1] == u':' && path.size() > 2 && separator(path[2])) out += u'\\';
  std::u16string part;
  bool first = true;
  const auto flush = [&] {
    if (!part.empty() && part != u".") {
      if (!first) out += u'\\';
      out += part;
      first = false;
    }
    part.clear();
  };
  for (; i < path.size(); ++i) {
    if (separator(path[i]))
      flush();
    else
      part += path[i];
  }
  flush();
  return out;
}

std::u16string SourceKey(const std::u16string& path) {
  return platform::FileNameKey(NormalPath(path));
}

// An image's path in a warning, as a person on this system writes it.
std::string ImageForPerson(const std::u16string& path) {
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

// A text of Shift-JIS bytes holds no character CP932 lacks: such a unit
// of a name becomes "_" (one per unit, so that a name keeps the length of
// the path it was made from).
std::u16string FitForBytes(const std::u16string& name) {
  std::u16string out;
  out.reserve(name.size());
  std::string sjis;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char16_t u = name[i];
    const bool pair = u >= 0xD800 && u <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 &&
                      name[i + 1] <= 0xDFFF;
    if (pair) {
      out += u"__";
      ++i;
    } else {
      out += Utf16ToSjisExact(std::u16string(1, u), sjis) ? u : u'_';
    }
  }
  return out;
}

// A reference taken apart in the form its text is stored in: the path
// decoded for the file system, the rest kept as it was.
struct StoredRef {
  TImageRef::Kind kind = TImageRef::Kind::Live;
  std::u16string path;
  bool bytes = false;      // the text is Shift-JIS bytes (not its UTF-16 units)
  std::string sjisPath;    // the path as written, when `bytes`
  std::string sjisParams;  // the parameters, when `bytes`
  std::u16string params;   // the parameters, otherwise
};

std::optional<StoredRef> ReadStoredRef(const JwwStr& text) {
  StoredRef r;
  if (text.verbatim()) {
    const std::optional<TWideImageRef> wide = ParseWideImageRef(text.units());
    if (!wide) return std::nullopt;
    r.kind = wide->kind;
    r.path = wide->path;
    r.params = wide->params;
    return r;
  }
  const std::optional<TImageRef> ref = ParseImageRef(text.text());
  if (!ref) return std::nullopt;
  r.kind = ref->kind;
  r.path = SjisToUtf16(ref->path);
  r.bytes = true;
  r.sjisPath = ref->path;
  r.sjisParams = ref->params;
  return r;
}

}  // namespace

std::string WhyImageUnusable(const std::u16string& path) {
  platform::Os& os = platform::Current();
  platform::DirEntry entry;
  if (!os.FindFirst(path, entry)) return "";
  if (std::string why = NotAnImage(entry); !why.empty()) return why;
  return os.OpenRead(path) ? "" : "it cannot be read";
}

std::optional<TWideImageRef> ParseWideImageRef(std::u16string_view t) {
  return SplitImageRef<TWideImageRef>(t);
}

std::optional<TImageRef> ParseImageRef(std::string_view t) {
  return SplitImageRef<TImageRef>(t);
}

TResolvedRef ResolveImageRef(const std::u16string& drawingFolder, const std::u16string& refPath,
                             bool lookBeside) {
  platform::Os& os = platform::Current();
  TResolvedRef r;
  r.path = IsRelative(refPath) ? drawingFolder + refPath : refPath;
  r.found = os.FileExists(r.path);
  if (!r.found && lookBeside) {
    const std::u16string name = ExtractFileName(refPath);
    if (!name.empty() && os.FileExists(drawingFolder + name)) {
      r.path = drawingFolder + name;
      r.found = r.beside = true;
    }
  }
  return r;
}

bool EmbedImages(TJwwData& jww, const std::u16string& sourcePath, const std::u16string& workFolder,
                 std::vector<TStr2List>& rows, TEmbedScan& scan) {
  platform::Os& os = platform::Current();
  const std::u16string drawingFolder = ExtractFileDir(sourcePath);
  const bool PathInEmbeddedName = scan.PathInEmbeddedName;
  // Images the source drawing carried already: a new image must not take a
  // name that would overwrite one of them (x.jpg would compress onto x.jpg.gz).
  // Names are compared as Windows compares file names, since every one of
  // them becomes a file in one folder (here and in Jw_cad's), through their
  // keys kept in sets, so that a drawing of thousands of images costs no
  // more per image than one of a few.
  std::unordered_set<std::u16string> carried;
  for (const auto& img : StagedImages) carried.insert(platform::FileNameKey(StagedFileName(img)));
  std::unordered_set<std::u16string> rowNames;
  std::unordered_map<std::u16string, std::size_t> rowOfSource;
  // The row holding each name: a name of another letter case is another
  // file on a POSIX disk, but not for Windows.
  std::unordered_map<std::u16string, std::size_t> rowOfName;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    rowNames.insert(platform::FileNameKey(rows[i].EmbeddedName));
    rowOfName.emplace(platform::FileNameKey(rows[i].EmbeddedName), i);
    rowOfSource.emplace(SourceKey(rows[i].SourcePath), i);
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
  const auto rowOf = [&](const std::u16string& key) -> std::size_t {
    auto it = rowOfName.find(key);
    return it == rowOfName.end() ? rows.size() : it->second;
  };

  // The images staged so far, by name key: the file each is taken from,
  // and its stamp once asked for. No uncompressed copy lies in the work
  // folder to tell a name's image by.
  struct Staged {
    std::u16string source;
    std::optional<TFileStamp> stamp;
  };
  std::unordered_map<std::u16string, Staged> staged;
  for (const TStr2List& row : rows)
    staged.emplace(platform::FileNameKey(row.EmbeddedName), Staged{row.SourcePath, {}});
  const auto stagedStamp = [&](const std::u16string& name) -> std::optional<TFileStamp> {
    auto it = staged.find(platform::FileNameKey(name));
    if (it == staged.end()) return std::nullopt;
    if (!it->second.stamp) it->second.stamp = GetFileStamp(it->second.source);
    return it->second.stamp;
  };
  // Images compressed straight from their source once the scan is done.
  std::unordered_map<std::u16string, std::u16string> pendingSource;

  auto nameTaken = [&](const std::u16string& name, bool byRows) {
    const std::u16string key = platform::FileNameKey(name);
    if (carried.count(key) || carried.count(key + u".GZ")) return true;
    return byRows && rowNames.count(key) > 0;
  };
  // A name whose file in the work folder is another image than the one
  // stamped so.
  auto heldByAnother = [&](const std::u16string& name, const TFileStamp& stamp) {
    if (const std::optional<TFileStamp> held = stagedStamp(name)) return !(*held == stamp);
    return os.FileExists(workFolder + name) && !(GetFileStamp(workFolder + name) == stamp);
  };

  // The text of a reference of `ref`'s form: `prefix` + `path` + its
  // parameters, in Shift-JIS where the text is bytes or can be.
  auto setRefText = [](JwwStr& text, const StoredRef& ref, const std::string& prefix,
                       const std::u16string& path) {
    std::string sjis;
    if (ref.bytes && Utf16ToSjisExact(path, sjis)) {
      text.Assign(prefix + sjis + ref.sjisParams);
    } else {
      AssignUnits(text,
                  Units(prefix) + path + (ref.bytes ? SjisToUtf16(ref.sjisParams) : ref.params));
    }
  };

  auto embedOne = [&](TEntJwwText& text, bool inBlock) -> bool {
    const std::optional<StoredRef> found = ReadStoredRef(text.Text);
    if (!found || found->kind != TImageRef::Kind::Live) return true;
    const StoredRef& ref = *found;
    std::int32_t& embedded = inBlock ? scan.EmbeddedRefInBlockCount : scan.EmbeddedRefCount;
    std::int32_t& missing = inBlock ? scan.MissingRefInBlockCount : scan.MissingRefCount;
    // Names go into a text of Shift-JIS bytes as they are written there.
    const bool bytesText = ref.bytes && text.Text.form() == JwwStr::Form::Bytes;

    const TResolvedRef resolved = ResolveImageRef(drawingFolder, ref.path, scan.LookBeside);
    const std::u16string& path = resolved.path;
    const TEntJwwText original = text;
    auto markMissing = [&](TEntJwwText& m) {
      if (!scan.DisableMissingRefs) return;
      if (ref.bytes) {
        // The path as written, after the drawing's folder where it is
        // relative: bytes that do not decode stay as they were.
        std::string sjis;
        if (IsRelative(ref.path) && !Utf16ToSjisExact(drawingFolder, sjis))
          sjis = Utf16ToSjisLossy(FitForBytes(drawingFolder));
        m.Text.Assign(kDisabled + sjis + ref.sjisPath + ref.sjisParams);
      } else {
        AssignUnits(m.Text, Units(kDisabled) + path + ref.params);
      }
      m.TextKind = 0;
      m.Attr.PenColor = 9;
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
    const bool listed = os.FindFirst(path, entry) && (resolved.found || entry.isFolder);
    if (listed && !NotAnImage(entry).empty()) return countMissing(NotAnImage(entry));
    if (!resolved.found) return countMissing("");

    std::u16string name;
    const std::u16string pathKey = SourceKey(path);
    if (auto row = rowOfSource.find(pathKey); row != rowOfSource.end())
      name = rows[row->second].EmbeddedName;
    if (name.empty()) {
      const std::size_t room = ref.bytes ? NameRoom(text.Text.text().size(), ref.sjisParams.size())
                                         : NameRoom(text.Text.units().size(), ref.params.size());
      // The entry just found is the file's stamp: no second look.
      const TFileStamp stamp = listed ? FileStampOf(entry) : GetFileStamp(path);
      std::u16string made;
      if (PathInEmbeddedName) {
        std::u16string whole = WidePathDerivedName(path);
        if (bytesText) whole = FitForBytes(whole);
        made = FitName(whole, path, room, true, ref.bytes);
      } else {
        // A plain name holding a file with the image's own stamp is the
        // image, staged before: it is reused, not copied twice.
        std::u16string plain = ExtractFileName(path);
        if (bytesText) plain = FitForBytes(plain);
        for (int n = 0; n <= 99999 && made.empty(); ++n) {
          const std::u16string candidate = n == 0 ? plain : WithBranch(plain, n);
          if (!heldByAnother(candidate, stamp)) made = candidate;
        }
      }
      // Two different images must never share a name: C:\a_b.jpg and
      // C:\a\b.jpg both give C__a_b.jpg. Plain names are kept apart by their
      // stamps already; a taken name gets branch numbers here.
      if (!made.empty() && nameTaken(made, PathInEmbeddedName)) {
        const std::u16string base = made;
        made.clear();
        for (int n = 1; n <= 99999 && made.empty(); ++n) {
          std::u16string candidate = WithBranch(base, n);
          if (PathInEmbeddedName)
            candidate = FitName(candidate, std::u16string(), room, false, ref.bytes);
          if (!nameTaken(candidate, PathInEmbeddedName) && !heldByAnother(candidate, stamp))
            made = candidate;
        }
      }
      if (made.empty()) {
        scan.FailureReason = "no free name to stage the image " + PathInText(path);
        return false;
      }
      name = made;
      const std::u16string key = platform::FileNameKey(name);
      rowOfSource.emplace(pathKey, rows.size());
      rowNames.insert(key);
      rowOfName.emplace(key, rows.size());
      rows.push_back({path, name});
      // A plain name staged before with the same stamp is this image, and
      // so is a file already lying in the work folder under the name.
      const bool stagedBefore = !staged.emplace(key, Staged{path, {}}).second;
      if (!stagedBefore && !os.FileExists(workFolder + name)) {
        if (IsCompressedName(Utf16ToSjisLossy(name))) {
          // Stored as it is, never compressed: only a copy stages it. An
          // image the user may not read is missing, not a failed drawing.
          if (!os.OpenRead(path)) {
            rowOfSource.erase(pathKey);
            rowNames.erase(key);
            rowOfName.erase(key);
            staged.erase(key);
            rows.pop_back();
            return countMissing("it cannot be read");
          }
          std::string error;
          if (!CopyFileKeepDate(path, workFolder + name, &error)) {
            scan.FailureReason = "cannot stage the image " + PathInText(path) + ": " + error;
            return false;
          }
        } else {
          pendingSource.emplace(key, path);
        }
      }
    }
    setRefText(text.Text, ref, kEmbedded, name);
    ++embedded;
    TEntJwwText asMissing = original;
    markMissing(asMissing);
    noteRewrite(rowOf(platform::FileNameKey(name)), text, original, asMissing, inBlock);
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
  std::vector<std::u16string> sources(StagedImages.size());
  std::unordered_set<std::u16string> listed;
  for (const auto& row : rows) {
    const std::u16string key = platform::FileNameKey(row.EmbeddedName);
    if (!listed.insert(key).second) continue;
    auto pending = pendingSource.find(key);
    const bool fromSource = pending != pendingSource.end();
    TBindImageType image;
    if (!Utf16ToSjisExact(row.EmbeddedName, image.Name)) {
      image.Name = Utf16ToSjisLossy(row.EmbeddedName);
      image.WideName = row.EmbeddedName;
    }
    image.InUse = fromSource || os.FileExists(workFolder + row.EmbeddedName);
    StagedImages.push_back(image);
    sources.push_back(fromSource ? pending->second : std::u16string());
  }
  if (!embedded) return false;

  std::string error;
  std::vector<TUnreadableImage> unreadable;
  const bool compressed =
      CompressStagedImages(error, sources, scan.Threads, &unreadable, scan.Deflated);
  // An image that could not be read is missing after all: its references
  // are put back (or disabled) and counted so, its row and entry go.
  if (!unreadable.empty()) {
    std::vector<bool> dropRow(rows.size(), false);
    std::vector<bool> dropEntry(StagedImages.size(), false);
    for (const TUnreadableImage& u : unreadable) {
      dropEntry[u.entry] = true;
      const std::u16string key = platform::FileNameKey(StagedFileName(StagedImages[u.entry]));
      for (std::size_t r = 0; r < rows.size(); ++r) {
        if (platform::FileNameKey(rows[r].EmbeddedName) != key) continue;
        if (!dropRow[r])
          scan.Warnings.push_back("the image " + ImageForPerson(rows[r].SourcePath) +
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
