// Any bytes as a drawing: the load must fail cleanly or succeed, and a
// drawing that loads must survive a 7.00 save, a reload and a second save
// with the second save byte for byte the first (a writer whose output reads
// back differently loses data on every conversion). Whatever happens, the
// input is never changed and nothing is written but the outputs and the
// staged images. Every image reference must show the same bytes in the
// first save as in the input: the image it names there, not another one
// staged under the same name.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "embed/staging.h"
#include "jww/jwwtype.h"
#include "jww/jwwunit.h"
#include "platform/unicode.h"
#include "testing/memory_os.h"
#include "text/filenames.h"
#include "text/sjis.h"
#include "text/widenames.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Record {
  std::string key;  // the name as references match it
  Bytes data;
};

// The image section of a drawing that loaded, read on its own: the name
// and bytes of each record as the file holds them, before any staging.
std::vector<Record> ReadRecords(const std::string& path) {
  std::unique_ptr<platform::File> file = platform::Current().OpenRead(SjisToUtf16(path));
  if (!file) std::abort();
  JwwReader r(*file);
  TJwwData d;
  d.ReadHeader(r);
  std::vector<Record> records;
  if (d.Header.Version < 700) return records;
  TTagState tags;
  ReadEntityList(r, d.Header.Version, tags, d);
  d.ReadBlockDefs(r, tags);
  for (std::int32_t count = r.ReadDword(); count > 0; --count) {
    const JwwStr name = ReadJwwString(r);
    const std::int32_t size = r.ReadDword();
    Record record{ImageNameKey(std::string(name.text()), std::u16string(name.units())), {}};
    if (!name.text().empty() && size > 0) record.data = r.ReadBlock(static_cast<std::size_t>(size));
    records.push_back(std::move(record));
  }
  return records;
}

// The upper-cased name an image reference names; "" for a text that is
// none.
std::string ReferenceKey(const JwwStr& text) {
  static const std::string prefix = "^@BM%temp%";
  if (text.verbatim()) {
    const std::u16string wide(prefix.begin(), prefix.end());
    const std::u16string units(text.units());
    if (units.size() <= wide.size() || units.compare(0, wide.size(), wide) != 0) return "";
    const std::size_t comma = units.find(u',', wide.size());
    return comma == std::u16string::npos
               ? ""
               : WideNameKey(units.substr(wide.size(), comma - wide.size()));
  }
  const std::string s(text.text());
  if (s.size() <= prefix.size() || s.compare(0, prefix.size(), prefix) != 0) return "";
  for (std::size_t i = prefix.size(); i < s.size(); ++i) {
    if (IsSjisLeadByte(static_cast<std::uint8_t>(s[i]))) {
      ++i;
    } else if (s[i] == ',') {
      return SjisUpper(s.substr(prefix.size(), i - prefix.size()));
    }
  }
  return "";
}

std::vector<std::string> ReferenceKeys(const TJwwData& d) {
  std::vector<std::string> keys;
  const auto add = [&keys](const TEntityLists& lists) {
    for (const TEntityRef& entry : lists.EntityTable) {
      if (entry.Kind != kText || entry.Index < 0 ||
          static_cast<std::size_t>(entry.Index) >= lists.Texts.size())
        continue;
      std::string key = ReferenceKey(lists.Texts[static_cast<std::size_t>(entry.Index)].Text);
      if (!key.empty()) keys.push_back(key);
    }
  };
  add(d);
  for (const TEntJwwBlockDef& def : d.BlockDefs) add(def.Entities);
  return keys;
}

std::string Stem(const std::string& key) {
  return IsCompressedName(key) ? key.substr(0, key.size() - 3) : key;
}

// The images of a section as references find them.
struct Section {
  explicit Section(std::vector<Record> r) : records(std::move(r)) {
    for (const Record& record : records) keys.push_back(record.key);
    order = ImageStoreOrder(keys);
  }
  // The image the program takes a reference to name: the first in store
  // order named as referenced, with or without ".gz", else the first whose
  // name begins so; npos for none.
  std::size_t Named(const std::string& ref) const {
    for (std::size_t i : order)
      if (keys[i] == ref || keys[i] == ref + ".GZ") return i;
    for (std::size_t i : order)
      if (keys[i].starts_with(ref)) return i;
    return std::string::npos;
  }
  // The image Jw_cad shows: the first stored whose name begins so.
  std::size_t ShownByJwCad(const std::string& ref) const {
    for (std::size_t i = 0; i < keys.size(); ++i)
      if (keys[i].starts_with(ref)) return i;
    return std::string::npos;
  }
  // No bytes for none, as for an empty image: both show nothing.
  Bytes Data(std::size_t i) const { return i < records.size() ? records[i].data : Bytes(); }

  std::vector<Record> records;
  std::vector<std::string> keys;
  std::vector<std::size_t> order;
};

// Each reference of the loaded drawing `d` must show the same bytes in the
// save as in the input, and in the save Jw_cad must show the image named,
// unless the two names begin each other both ways (no order serves both).
bool ReferencesKeepTheirImages(const TJwwData& d, const Section& in, const Section& out) {
  for (const std::string& ref : ReferenceKeys(d)) {
    const std::size_t named = out.Named(ref), shown = out.ShownByJwCad(ref);
    if (in.Data(in.Named(ref)) != out.Data(named)) return false;
    if (shown != named && !(out.keys[named].starts_with(Stem(out.keys[shown])) &&
                            out.keys[shown].starts_with(Stem(out.keys[named]))))
      return false;
  }
  return true;
}

// Each pass stages the images it reads into a folder of its own, so the
// reload does not find the first pass's copies in its way.
bool Load(TJwwData& d, const std::string& path, const std::string& staging) {
  ClearStagedImages();
  StagingFolder = SjisToUtf16(staging);
  try {
    return d.LoadFromFile(SjisToUtf16(path), &StagedImageFiles());
  } catch (...) {
    return false;
  }
}

// Called on every way out of an input.
void CheckWrites(platform::MemoryOs& os, const std::uint8_t* data, std::size_t size,
                 std::size_t setUp) {
  std::vector<std::uint8_t> input;
  if (!os.GetFile("C:\\in\\a.jww", input) || input != std::vector<std::uint8_t>(data, data + size))
    std::abort();
  const auto& written = os.WrittenPaths();
  for (std::size_t i = setUp; i < written.size(); ++i) {
    const std::string& path = written[i];
    if (!platform::MemoryOs::IsInside(path, "C:\\out") &&
        !platform::MemoryOs::IsInside(path, "C:\\work"))
      std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  platform::MemoryOs os;
  platform::ScopedOs use(os);
  platform::ScopedDesktop useDesktop(os);
  os.AddFolder("C:\\in");
  os.AddFolder("C:\\out");
  os.AddFolder("C:\\work\\s1");
  os.AddFolder("C:\\work\\s2");
  os.AddFile("C:\\in\\a.jww", std::vector<std::uint8_t>(data, data + size));
  const std::size_t setUp = os.WrittenPaths().size();
  WorkFolder = u"C:\\work\\";

  std::vector<std::uint8_t> first, second;
  {
    TJwwData d;
    if (!Load(d, "C:\\in\\a.jww", "C:\\work\\s1\\")) {
      ClearStagedImages();
      CheckWrites(os, data, size, setUp);
      return 0;
    }
    if (!d.SaveToFile(SjisToUtf16("C:\\out\\1.jww"), 700, &StagedImageFiles())) {
      // Only the staged copies could make a save fail, and they are all
      // in memory: any failure here is the writer's.
      std::abort();
    }
    if (!ReferencesKeepTheirImages(d, Section(ReadRecords("C:\\in\\a.jww")),
                                   Section(ReadRecords("C:\\out\\1.jww"))))
      std::abort();
  }
  if (!os.GetFile("C:\\out\\1.jww", first)) std::abort();
  {
    TJwwData d;
    if (!Load(d, "C:\\out\\1.jww", "C:\\work\\s2\\")) std::abort();
    if (!d.SaveToFile(SjisToUtf16("C:\\out\\2.jww"), 700, &StagedImageFiles())) std::abort();
  }
  if (!os.GetFile("C:\\out\\2.jww", second)) std::abort();
  if (first != second) std::abort();
  CheckWrites(os, data, size, setUp);
  ClearStagedImages();
  StagingFolder.clear();
  return 0;
}
