#include "cli/info.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "embed/scan.h"
#include "jww/jwwio.h"
#include "jww/jwwtype.h"
#include "jww/jwwunit.h"
#include "platform/platform.h"
#include "platform/unicode.h"
#include "text/filenames.h"
#include "text/sjis.h"
#include "text/widenames.h"

namespace {

// ---- What is told about a drawing -------------------------------------------------

struct Counts {
  std::size_t lines = 0, arcs = 0, points = 0, texts = 0, dimensions = 0, solids = 0,
              insertions = 0;

  void Add(const TEntityLists& l) {
    lines += l.Lines.size();
    arcs += l.Arcs.size();
    points += l.Points.size();
    texts += l.Texts.size();
    dimensions += l.Dimensions.size();
    solids += l.Solids.size();
    insertions += l.BlockRefs.size();
  }
};

struct BlockFact {
  std::string name;  // UTF-8
  std::int32_t number = 0;
  bool used = false;
};

struct ImageFact {
  std::string name;  // UTF-8
  std::int32_t size = 0;
};

struct RefFact {
  TImageRef::Kind kind = TImageRef::Kind::Live;
  std::string path;  // the path or embedded name as written, UTF-8
  // The text has characters CP932 cannot hold (it is looked up and tied to
  // its image by its UTF-16 form).
  bool outsideShiftJis = false;
  std::optional<std::string> resolved;  // native path, for live and disabled references
  bool found = false;
  bool beside = false;
  bool cp932Name = false;  // some name on its way lies on disk as CP932 bytes
  // Found, yet a conversion counts it missing: why, for a person (UTF-8).
  std::string unusable;
  std::optional<std::string> image;  // the stored image an embedded reference names
  std::optional<std::size_t> block;  // the definition holding it, in Facts::blocks
};

struct Facts {
  std::string path;  // native, as a person reads it
  bool cp932Name = false;
  bool read = false;
  bool complete = false;
  std::string error;  // UTF-8
  std::int32_t version = 0;
  std::string strings;
  Counts top, inBlocks;
  std::vector<BlockFact> blocks;
  std::vector<ImageFact> images;
  std::vector<RefFact> refs;
};

// ---- Text -------------------------------------------------------------------------

std::string DisplayText(const JwwStr& s) {
  std::string utf8;
  if (s.verbatim() && Utf16ToUtf8(std::u16string(s.units()), utf8)) return utf8;
  // A lone surrogate has no UTF-8 form either: the rendering with "?" is
  // the best there is.
  return platform::SjisToDisplay(std::string(s.text()));
}

std::string ImageDisplayName(const TBindImageType& image) {
  std::string utf8;
  if (!image.WideName.empty() && Utf16ToUtf8(image.WideName, utf8)) return utf8;
  return platform::SjisToDisplay(image.Name);
}

std::string Grouped(std::uint64_t n) {
  const std::string digits = std::to_string(n);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

// Control bytes in a line for a person (a file name may hold a tab or an
// escape sequence) would break the layout or drive the terminal.
std::string Printable(const std::string& utf8) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : utf8) {
    const auto b = static_cast<std::uint8_t>(c);
    if (b < 0x20 || b == 0x7F) {
      out += "\\x";
      out += kHex[b >> 4];
      out += kHex[b & 15];
    } else {
      out += c;
    }
  }
  return out;
}

// The length of the valid UTF-8 sequence at `i`, or 0. Overlong forms,
// surrogates and code points past U+10FFFF are invalid.
std::size_t Utf8SequenceAt(std::string_view s, std::size_t i) {
  const auto at = [&](std::size_t k) { return static_cast<std::uint8_t>(s[k]); };
  const std::uint8_t b = at(i);
  if (b < 0x80) return 1;
  std::size_t n;
  std::uint32_t cp;
  if (b >= 0xC2 && b <= 0xDF) {
    n = 2, cp = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    n = 3, cp = b & 0x0F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    n = 4, cp = b & 0x07;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((at(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (at(i + k) & 0x3F);
  }
  if ((n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000) || cp > 0x10FFFF ||
      (cp >= 0xD800 && cp <= 0xDFFF))
    return 0;
  return n;
}

// ---- JSON -------------------------------------------------------------------------

// Keeps the commas between members and elements; nothing more. Strings are
// checked as UTF-8 on the way out: a native file name need not be valid
// UTF-8, and one bad byte would make the whole document unreadable.
class JsonWriter {
 public:
  explicit JsonWriter(std::string& out) : out_(out) {}

  JsonWriter& Key(std::string_view key) {
    Separate();
    Quote(key);
    out_ += ':';
    afterKey_ = true;
    return *this;
  }
  void String(std::string_view s) {
    Value();
    Quote(s);
  }
  void OptionalString(const std::optional<std::string>& s) {
    if (s) {
      String(*s);
    } else {
      Null();
    }
  }
  void Number(long long n) {
    Value();
    out_ += std::to_string(n);
  }
  void Bool(bool b) {
    Value();
    out_ += b ? "true" : "false";
  }
  void Null() {
    Value();
    out_ += "null";
  }
  void BeginObject() { Open('{'); }
  void EndObject() { Close('}'); }
  void BeginArray() { Open('['); }
  void EndArray() { Close(']'); }

 private:
  void Separate() {
    if (!first_.empty() && !first_.back()) out_ += ',';
    if (!first_.empty()) first_.back() = false;
  }
  void Value() {
    if (afterKey_) {
      afterKey_ = false;
    } else {
      Separate();
    }
  }
  void Open(char c) {
    Value();
    out_ += c;
    first_.push_back(true);
  }
  void Close(char c) {
    out_ += c;
    first_.pop_back();
  }
  void Quote(std::string_view s) {
    static const char kHex[] = "0123456789abcdef";
    out_ += '"';
    for (std::size_t i = 0; i < s.size();) {
      const auto b = static_cast<std::uint8_t>(s[i]);
      if (b == '"' || b == '\\') {
        out_ += '\\';
        out_ += static_cast<char>(b);
        ++i;
      } else if (b < 0x20 || b == 0x7F) {
        out_ += "\\u00";
        out_ += kHex[b >> 4];
        out_ += kHex[b & 15];
        ++i;
      } else if (const std::size_t n = Utf8SequenceAt(s, i); n > 0) {
        out_.append(s.substr(i, n));
        i += n;
      } else {
        out_ += "\xEF\xBF\xBD";  // U+FFFD
        ++i;
      }
    }
    out_ += '"';
  }

  std::string& out_;
  std::vector<bool> first_;
  bool afterKey_ = false;
};

// ---- Gathering --------------------------------------------------------------------

// Bytes, UTF-16, or both, over every string the drawing stores (the stored
// image names excepted: they are not kept as strings). An empty byte string
// tells nothing: it is also what every table holds that a damaged drawing
// ended before, and such a drawing is not "mixed" for it.
std::string StringForm(const TJwwData& d) {
  bool bytes = false, utf16 = false;
  const auto see = [&](const JwwStr& s) {
    if (s.form() == JwwStr::Form::Utf16) {
      utf16 = true;
    } else if (!s.text().empty()) {
      bytes = true;
    }
  };
  const auto seeLists = [&](const TEntityLists& l) {
    for (const auto& t : l.Texts) see(t.FontName), see(t.Text);
    for (const auto& dim : l.Dimensions) see(dim.Text.FontName), see(dim.Text.Text);
  };
  see(d.Header.Memo);
  for (const auto& g : d.LayerGroups) see(g.Name);
  for (const auto& l : d.Layers) see(l.Name);
  for (const auto& c : d.ColorsEx) see(c.Name);
  for (const auto& t : d.LineTypesEx) see(t.Name);
  seeLists(d);
  for (const auto& def : d.BlockDefs) {
    see(def.Name);
    seeLists(def.Entities);
  }
  if (bytes && utf16) return "mixed";
  return utf16 ? "UTF-16" : "Shift-JIS";
}

// What Jw_cad shows for an embedded reference: the stored image of that
// name, with or without ".gz", else the first whose name begins with it.
// `ref` is the referenced name's key (ImageNameKey); the result is UTF-8.
std::optional<std::string> StoredImageFor(const std::string& ref) {
  const TBindImageType* found = nullptr;
  for (const TBindImageType& image : StagedImages) {
    const std::string upper = ImageNameKey(image.Name, image.WideName);
    if (upper == ref || upper == ref + ".GZ") {
      found = &image;
      break;
    }
  }
  for (const TBindImageType& image : StagedImages)
    if (!found && ImageNameKey(image.Name, image.WideName).starts_with(ref)) found = &image;
  if (!found) return std::nullopt;
  return ImageDisplayName(*found);
}

RefFact DescribeRef(const JwwStr& text, const TImageRef& ref, const std::u16string& drawingFolder,
                    bool lookBeside) {
  RefFact f;
  f.kind = ref.kind;
  f.outsideShiftJis = text.verbatim();
  f.path = platform::SjisToDisplay(ref.path);
  std::u16string path = SjisToUtf16(ref.path);
  if (text.verbatim()) {
    // The path as the drawing spells it: the Shift-JIS rendering has "?"
    // where the characters that matter are.
    const std::optional<TWideImageRef> wide = ParseWideImageRef(text.units());
    if (!wide) return f;
    path = wide->path;
    std::string utf8;
    if (Utf16ToUtf8(path, utf8)) f.path = utf8;
  }
  if (ref.kind == TImageRef::Kind::Embedded) {
    f.image = StoredImageFor(WideNameKey(path));
    return f;
  }
  const TResolvedRef r = ResolveImageRef(drawingFolder, path, lookBeside);
  f.resolved = platform::InternalToDisplay(r.path, &f.cp932Name);
  f.found = r.found;
  f.beside = r.beside;
  if (r.found && ref.kind == TImageRef::Kind::Live) f.unusable = WhyImageUnusable(r.path);
  return f;
}

void CollectRefs(const TEntityLists& lists, std::optional<std::size_t> block,
                 const std::u16string& drawingFolder, bool lookBeside, Facts& facts) {
  for (const TEntJwwText& t : lists.Texts) {
    const std::optional<TImageRef> ref = ParseImageRef(t.Text.text());
    if (!ref) continue;
    facts.refs.push_back(DescribeRef(t.Text, *ref, drawingFolder, lookBeside));
    facts.refs.back().block = block;
  }
}

Facts Gather(const platform::Path& internalPath, const InfoOptions& options) {
  Facts facts;
  facts.path = platform::InternalToDisplay(internalPath, &facts.cp932Name);
  // Without a sink the stored images are read past: nothing is written.
  TJwwData d;
  try {
    facts.complete = d.LoadFromFile(internalPath);
    facts.read = true;
    if (!facts.complete) facts.error = platform::SjisToDisplay(d.LastError);
  } catch (const JwwIoError& e) {
    facts.error = e.code() == 103 ? platform::SjisToDisplay(UnreadableReason(internalPath, d))
                                  : platform::SjisToDisplay(e.what());
    return facts;
  } catch (const std::exception& e) {
    facts.error = platform::SjisToDisplay(e.what());
    return facts;
  }

  facts.version = d.Header.Version;
  facts.strings = StringForm(d);
  facts.top.Add(d);
  for (const TEntJwwBlockDef& def : d.BlockDefs) {
    facts.inBlocks.Add(def.Entities);
    facts.blocks.push_back({DisplayText(def.Name), def.Number, def.Used});
  }
  for (const TBindImageType& image : StagedImages)
    facts.images.push_back({ImageDisplayName(image), image.Size});

  const std::u16string folder = ExtractFileDir(internalPath);
  CollectRefs(d, std::nullopt, folder, options.lookBeside, facts);
  for (std::size_t i = 0; i < d.BlockDefs.size(); ++i)
    CollectRefs(d.BlockDefs[i].Entities, i, folder, options.lookBeside, facts);
  return facts;
}

// ---- Lines for a person -----------------------------------------------------------

const char* KindName(TImageRef::Kind k) {
  switch (k) {
    case TImageRef::Kind::Embedded:
      return "embedded";
    case TImageRef::Kind::Disabled:
      return "disabled";
    case TImageRef::Kind::Live:
      break;
  }
  return "live";
}

std::string CountList(const Counts& c) {
  std::string out;
  const auto item = [&](std::size_t n, const char* one, const char* many) {
    if (n == 0) return;
    if (!out.empty()) out += ", ";
    out += Grouped(n) + " " + (n == 1 ? one : many);
  };
  item(c.lines, "line", "lines");
  item(c.arcs, "arc", "arcs");
  item(c.points, "point", "points");
  item(c.texts, "text", "texts");
  item(c.dimensions, "dimension", "dimensions");
  item(c.solids, "solid", "solids");
  item(c.insertions, "block insertion", "block insertions");
  return out;
}

// Where a name was found only by its CP932 bytes (not the system's UTF-8).
const char* const kCp932Note = "  (named on disk in CP932 bytes)";

void WriteText(const Facts& f, std::string& out) {
  out += Printable(f.path) + (f.cp932Name ? kCp932Note : "") + "\n";
  if (!f.read) {
    out += "  not read: " + Printable(f.error) + "\n";
    return;
  }
  if (!f.complete) out += "  damaged: " + Printable(f.error) + "\n";
  // A drawing that ends inside its first twelve bytes has no version.
  out += "  version " + (f.version > 0 ? VersionText(f.version) : std::string("unknown")) +
         ", strings " + f.strings + "\n";

  const std::string top = CountList(f.top), inBlocks = CountList(f.inBlocks);
  out += "  entities: " + (top.empty() ? std::string("none") : top);
  if (!inBlocks.empty()) out += "; in blocks: " + inBlocks;
  out += "\n";

  std::size_t used = 0;
  for (const BlockFact& b : f.blocks) used += b.used ? 1 : 0;
  out += "  block definitions: ";
  out += f.blocks.empty() ? std::string("none")
                          : std::to_string(used) + " used of " + std::to_string(f.blocks.size());
  out += "\n";

  out += "  embedded images";
  if (f.images.empty()) {
    out += ": none\n";
  } else {
    out += " (" + std::to_string(f.images.size()) + "):\n";
    for (const ImageFact& image : f.images) {
      const std::string& name = image.name;
      out += "    " + (name.empty() ? std::string("\"\"") : Printable(name)) + "  " +
             Grouped(static_cast<std::uint64_t>(image.size)) + " bytes\n";
    }
  }

  out += "  image references";
  if (f.refs.empty()) {
    out += ": none\n";
    return;
  }
  out += " (" + std::to_string(f.refs.size()) + "):\n";
  for (const RefFact& r : f.refs) {
    std::string line = KindName(r.kind);
    line.resize(10, ' ');
    line += Printable(r.path);
    if (r.kind == TImageRef::Kind::Embedded) {
      line += " -> " + (r.image ? Printable(*r.image) : std::string("none"));
    } else {
      line += " -> " + Printable(r.resolved.value_or("")) + " (" +
              (r.beside ? "found beside the drawing" : (r.found ? "found" : "missing")) +
              (r.found && r.cp932Name ? ", named on disk in CP932 bytes" : "") +
              (r.unusable.empty() ? "" : ", but counted as missing: " + r.unusable) + ")";
    }
    if (r.block) {
      const BlockFact& b = f.blocks[*r.block];
      line += std::string("  [in ") + (b.used ? "" : "unused ") + "block \"" + Printable(b.name) +
              "\"]";
    }
    out += "    " + line + "\n";
  }
}

// ---- JSON -------------------------------------------------------------------------

void WriteCounts(JsonWriter& j, const Counts& c) {
  j.BeginObject();
  j.Key("lines").Number(static_cast<long long>(c.lines));
  j.Key("arcs").Number(static_cast<long long>(c.arcs));
  j.Key("points").Number(static_cast<long long>(c.points));
  j.Key("texts").Number(static_cast<long long>(c.texts));
  j.Key("dimensions").Number(static_cast<long long>(c.dimensions));
  j.Key("solids").Number(static_cast<long long>(c.solids));
  j.Key("blockInsertions").Number(static_cast<long long>(c.insertions));
  j.EndObject();
}

void WriteJson(const Facts& f, std::string& out) {
  JsonWriter j(out);
  j.BeginObject();
  j.Key("path").String(f.path);
  j.Key("cp932Name").Bool(f.cp932Name);
  j.Key("complete").Bool(f.complete);
  if (f.complete) {
    j.Key("error").Null();
  } else {
    j.Key("error").String(f.error);
  }
  if (f.read) {
    j.Key("version");
    if (f.version > 0) {
      j.String(VersionText(f.version));
    } else {
      j.Null();
    }
    j.Key("strings").String(f.strings);
    j.Key("entities");
    WriteCounts(j, f.top);
    j.Key("entitiesInBlocks");
    WriteCounts(j, f.inBlocks);

    std::size_t used = 0;
    for (const BlockFact& b : f.blocks) used += b.used ? 1 : 0;
    j.Key("blockDefinitions").BeginObject();
    j.Key("used").Number(static_cast<long long>(used));
    j.Key("total").Number(static_cast<long long>(f.blocks.size()));
    j.Key("list").BeginArray();
    for (const BlockFact& b : f.blocks) {
      j.BeginObject();
      j.Key("name").String(b.name);
      j.Key("number").Number(b.number);
      j.Key("used").Bool(b.used);
      j.EndObject();
    }
    j.EndArray();
    j.EndObject();

    j.Key("embeddedImages").BeginArray();
    for (const ImageFact& image : f.images) {
      j.BeginObject();
      j.Key("name").String(image.name);
      j.Key("size").Number(image.size);
      j.EndObject();
    }
    j.EndArray();

    j.Key("imageReferences").BeginArray();
    for (const RefFact& r : f.refs) {
      j.BeginObject();
      j.Key("form").String(KindName(r.kind));
      j.Key("path").String(r.path);
      j.Key("outsideShiftJis").Bool(r.outsideShiftJis);
      if (r.kind == TImageRef::Kind::Embedded) {
        j.Key("image").OptionalString(r.image);
      } else {
        j.Key("resolved").OptionalString(r.resolved);
        j.Key("found").Bool(r.found);
        j.Key("beside").Bool(r.beside);
        j.Key("cp932Name").Bool(r.found && r.cp932Name);
        j.Key("unusable")
            .OptionalString(r.unusable.empty() ? std::nullopt : std::optional(r.unusable));
      }
      j.Key("block");
      if (r.block) {
        j.BeginObject();
        j.Key("name").String(f.blocks[*r.block].name);
        j.Key("used").Bool(f.blocks[*r.block].used);
        j.EndObject();
      } else {
        j.Null();
      }
      j.EndObject();
    }
    j.EndArray();
  }
  j.EndObject();
  out += "\n";
}

}  // namespace

bool DescribeDrawing(const platform::Path& internalPath, const InfoOptions& options,
                     std::string& out) {
  const Facts facts = Gather(internalPath, options);
  if (options.json) {
    WriteJson(facts, out);
  } else {
    WriteText(facts, out);
  }
  return facts.complete;
}
