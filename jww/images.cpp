// The image section that ends a drawing of version 7.00: a DWORD count,
// then per image its name, a DWORD size and that many bytes of the image
// file (a gzip file in drawings this program writes). On load every image
// goes to the caller's sink; on save the images that some "^@BM%temp%"
// reference names are stored from the caller's source. No file is opened
// here.
//
// Image data moves through one buffer of 128 KiB: few system calls, and an
// image is never held in memory whole.

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <queue>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "jww/jwwunit.h"
#include "platform/unicode.h"
#include "text/filenames.h"
#include "text/sjis.h"
#include "text/widenames.h"

namespace {

constexpr std::size_t kBlock = 128 * 1024;
constexpr char kEmbeddedPrefix[] = "^@BM%temp%";
constexpr std::size_t kEmbeddedPrefixLength = sizeof(kEmbeddedPrefix) - 1;

// On the heap: a stack may hold less than it.
using Block = std::vector<std::uint8_t>;

void SkipImage(JwwReader& r, const TBindImageType& image) {
  Block buffer(static_cast<std::size_t>(std::min<std::int64_t>(image.Size, kBlock)));
  for (std::int64_t left = image.Size; left > 0;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(left, kBlock));
    if (r.ReadSome(buffer.data(), n) != n)
      throw JwwIoError(100, "the embedded image " + QuotedName(image.Name) + " ends early");
    left -= static_cast<std::int64_t>(n);
  }
}

// An image's bytes in the drawing, for the sink: never past its end.
class SectionBytes : public TImageBytes {
 public:
  SectionBytes(JwwReader& r, std::int64_t size) : r_(r), left_(size) {}
  std::size_t Read(std::uint8_t* out, std::size_t count) override {
    const auto n = static_cast<std::size_t>(std::min<std::int64_t>(left_, count));
    const std::size_t got = n ? r_.ReadSome(out, n) : 0;
    left_ -= static_cast<std::int64_t>(got);
    if (got < n) ended_ = true;
    return got;
  }
  std::int64_t Left() const { return ended_ ? 0 : left_; }
  bool Ended() const { return ended_; }

 private:
  JwwReader& r_;
  std::int64_t left_;
  bool ended_ = false;
};

// The position of the first "," of a text, found character by character.
std::size_t FindComma(std::string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (IsSjisLeadByte(static_cast<std::uint8_t>(s[i]))) {
      ++i;
    } else if (s[i] == ',') {
      return i;
    }
  }
  return std::string::npos;
}

// The staged names, upper-cased, looked up as a reference finds its image.
// `order` is the order of the store, which decides between candidates.
struct NameIndex {
  struct Entry {
    std::string name;
    std::size_t index, rank;
  };

  NameIndex(const std::vector<std::string>& upper, const std::vector<std::size_t>& order) {
    for (std::size_t rank = 0; rank < order.size(); ++rank) {
      const Entry e{upper[order[rank]], order[rank], rank};
      exact.emplace(e.name, e);  // the first in order stays
      sorted.push_back(e);
    }
    std::sort(sorted.begin(), sorted.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
  }

  // The image the reference names: the first in order whose name is the
  // referenced name with or without ".gz", else the first whose name begins
  // with it; npos for none.
  std::size_t Find(const std::string& ref) const {
    const Entry* best = nullptr;
    for (const std::string& name : {ref, ref + ".GZ"}) {
      auto it = exact.find(name);
      if (it != exact.end() && (!best || it->second.rank < best->rank)) best = &it->second;
    }
    if (best) return best->index;
    // The names beginning with `ref` are one run of the sorted list.
    auto it = std::lower_bound(sorted.begin(), sorted.end(), ref,
                               [](const Entry& e, const std::string& r) { return e.name < r; });
    for (; it != sorted.end() && it->name.starts_with(ref); ++it)
      if (!best || it->rank < best->rank) best = &*it;
    return best ? best->index : std::string::npos;
  }

  std::unordered_map<std::string, Entry> exact;
  std::vector<Entry> sorted;
};

// The key of the name a text in UTF-16 that Shift-JIS cannot hold refers
// to, in the space of ImageNameKey; "" when it refers to none.
std::string WideReferenceKey(std::u16string_view units) {
  const std::u16string prefix(kEmbeddedPrefix, kEmbeddedPrefix + kEmbeddedPrefixLength);
  if (units.size() <= prefix.size() || units.compare(0, prefix.size(), prefix) != 0) return "";
  const std::size_t comma = units.find(u',', prefix.size());
  if (comma == std::u16string_view::npos) return "";
  return WideNameKey(std::u16string(units.substr(prefix.size(), comma - prefix.size())));
}

// Marks the staged image a text refers to.
void MarkReference(const JwwStr& text, const NameIndex& names) {
  if (text.verbatim()) {
    const std::string ref = WideReferenceKey(text.units());
    const std::size_t found = ref.empty() ? std::string::npos : names.Find(ref);
    if (found != std::string::npos) StagedImages[found].InUse = true;
    return;
  }
  const std::string_view s = text.text();
  if (s.size() <= kEmbeddedPrefixLength ||
      s.compare(0, kEmbeddedPrefixLength, kEmbeddedPrefix) != 0)
    return;
  const std::size_t comma = FindComma(s);
  if (comma == std::string::npos) return;
  const std::string ref =
      SjisUpper(std::string(s.substr(kEmbeddedPrefixLength, comma - kEmbeddedPrefixLength)));
  if (ref.empty()) return;
  const std::size_t found = names.Find(ref);
  if (found != std::string::npos) StagedImages[found].InUse = true;
}

void MarkReferences(const TEntityLists& lists, const NameIndex& names) {
  for (const TEntityRef& entry : lists.EntityTable) {
    if (entry.Kind != kText || entry.Index < 0 ||
        static_cast<std::size_t>(entry.Index) >= lists.Texts.size())
      continue;
    MarkReference(lists.Texts[static_cast<std::size_t>(entry.Index)].Text, names);
  }
}

struct StoredImage {
  const TBindImageType* image;
  std::int32_t size;
  // Still open from the sizing, for the first few images.
  std::unique_ptr<platform::File> file;
};
// Images kept open between their sizing and their turn: a drawing shows a
// few as a rule, and each one opened again costs its lookups once more.
constexpr std::size_t kKeptOpen = 16;

// The name as the section stores it: bytes, or UTF-16 for a name Shift-JIS
// cannot hold.
JwwStr StoredName(const TBindImageType& image) {
  if (image.WideName.empty()) return JwwStr(image.Name);
  return JwwStr::Verbatim(image.Name, image.WideName);
}

// Reads exactly `count` bytes unless the file ends or fails.
bool ReadFull(platform::File& file, std::uint8_t* out, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    const long long got = file.Read(out + done, count - done);
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

}  // namespace

// The order images are stored in. Jw_cad ties a reference to the first
// stored name that begins with it, so an image whose name without ".gz" is
// the beginning of another's name must come first; otherwise the list order
// stands. Names that are beginnings of each other both ways (a loop) cannot
// all come first: the loop is broken at its shortest stem, equal stems in
// list order.
//
// Who must wait for whom is found in a trie of the names rather than by
// comparing every pair: a drawing may list tens of thousands of images, and
// with many equal names the pairs alone would not fit in memory. An image
// waits for the stems that lie on its name's path; `owners` counts, per
// node, the stems ending there that are not yet placed.
std::vector<std::size_t> ImageStoreOrder(const std::vector<std::string>& upper) {
  const std::size_t n = upper.size();
  // One image waits for nobody.
  if (n < 2) return std::vector<std::size_t>(n, 0);
  std::vector<std::int32_t> parent{-1};
  std::vector<std::vector<std::int32_t>> children(1);
  std::unordered_map<std::uint64_t, std::int32_t> edge;
  std::vector<std::int32_t> owners(1, 0);
  std::vector<std::vector<std::size_t>> ending(1);
  std::vector<std::int32_t> stemNode(n);
  for (std::size_t i = 0; i < n; ++i) {
    const std::string& name = upper[i];
    const std::size_t stemLength = IsCompressedName(name) ? name.size() - 3 : name.size();
    std::int32_t node = 0;
    for (std::size_t k = 0; k <= name.size(); ++k) {
      if (k == stemLength) stemNode[i] = node;
      if (k == name.size()) break;
      const std::uint64_t key =
          (static_cast<std::uint64_t>(node) << 8) | static_cast<std::uint8_t>(name[k]);
      auto [it, added] = edge.try_emplace(key, static_cast<std::int32_t>(parent.size()));
      if (added) {
        parent.push_back(node);
        children.emplace_back();
        owners.push_back(0);
        ending.emplace_back();
        children[static_cast<std::size_t>(node)].push_back(it->second);
      }
      node = it->second;
    }
    ++owners[static_cast<std::size_t>(stemNode[i])];
    ending[static_cast<std::size_t>(node)].push_back(i);
  }

  std::priority_queue<std::size_t, std::vector<std::size_t>, std::greater<>> ready;
  std::vector<bool> placed(n, false);
  // Visits the nodes below `from` whose path holds at most one unplaced stem
  // (the image's own): the images ending there wait for nobody. Below a node
  // with two or more, every node has as many, so the walk stops there.
  auto release = [&](std::int32_t from, std::int32_t above) {
    std::vector<std::pair<std::int32_t, std::int32_t>> stack{{from, above}};
    while (!stack.empty()) {
      const auto [node, before] = stack.back();
      stack.pop_back();
      const std::int32_t waiting = before + owners[static_cast<std::size_t>(node)];
      if (waiting >= 2) continue;
      if (waiting == 1)
        for (std::size_t j : ending[static_cast<std::size_t>(node)])
          if (!placed[j]) ready.push(j);
      for (std::int32_t child : children[static_cast<std::size_t>(node)])
        stack.emplace_back(child, waiting);
    }
  };
  release(0, 0);

  // When every unplaced image waits, some wait on a loop and others only
  // on it. The image with the shortest stem is in a loop that waits for
  // nobody outside it: each image it waits for has a stem on its name's path
  // no shorter than its own, so its stem begins their names and they wait
  // for it in turn. Breaking the loop at the lowest index instead could
  // place an image that merely waits before the one its reference needs.
  std::priority_queue<std::pair<std::size_t, std::size_t>,
                      std::vector<std::pair<std::size_t, std::size_t>>, std::greater<>>
      byStem;
  for (std::size_t i = 0; i < n; ++i)
    byStem.emplace(IsCompressedName(upper[i]) ? upper[i].size() - 3 : upper[i].size(), i);

  std::vector<std::size_t> order;
  while (order.size() < n) {
    if (ready.empty()) {
      while (placed[byStem.top().second]) byStem.pop();
      ready.push(byStem.top().second);
    }
    const std::size_t i = ready.top();
    ready.pop();
    if (placed[i]) continue;
    placed[i] = true;
    order.push_back(i);
    const std::int32_t node = stemNode[i];
    --owners[static_cast<std::size_t>(node)];
    std::int32_t above = 0;
    for (std::int32_t p = parent[static_cast<std::size_t>(node)]; p >= 0;
         p = parent[static_cast<std::size_t>(p)])
      above += owners[static_cast<std::size_t>(p)];
    // Every node below lost one unplaced stem: those that came down to one
    // release their images (each node does so once).
    release(node, above);
  }
  return order;
}

void TJwwData::ReadImageSection(JwwReader& r, TImageSink* images) {
  ClearStagedImages();
  // A reference shows the first image of its name; a later one of the same
  // name is read past, not staged over the first one's file.
  std::unordered_set<std::string> seen;
  // The count only bounds the loop: the list grows as records are read, so
  // a damaged count fails at the first missing record.
  const std::int32_t count = r.ReadDword();
  for (std::int32_t i = 0; i < count; ++i) {
    const JwwStr name = ReadJwwString(r);
    TBindImageType image;
    image.Name = name.text();
    image.Size = r.ReadDword();
    // A name Shift-JIS cannot hold is staged under its UTF-16 units.
    if (name.verbatim()) image.WideName = name.units();
    // A stored name becomes a file name in the staging folder: anything but
    // a plain name could reach outside it.
    if (name.verbatim() ? !IsPlainWideName(image.WideName)
                        : !image.Name.empty() && !IsPlainFileName(image.Name))
      throw std::runtime_error("the embedded image name " + QuotedName(image.Name) +
                               " is not a plain file name");
    if (image.Size < 0)
      throw JwwIoError(100,
                       "the embedded image " + QuotedName(image.Name) + " has an impossible size");
    StagedImages.push_back(image);
    const bool first = seen.insert(ImageNameKey(image.Name, image.WideName)).second;
    if (image.Name.empty() || image.Size == 0) continue;
    TBindImageType left = image;
    if (images && first) {
      SectionBytes bytes(r, image.Size);
      images->Take(image, bytes);
      if (bytes.Ended())
        throw JwwIoError(100, "the embedded image " + QuotedName(image.Name) + " ends early");
      left.Size = static_cast<std::int32_t>(bytes.Left());
    }
    SkipImage(r, left);
  }
}

void TJwwData::WriteImageSection(JwwWriter& w, TImageSource* images) {
  for (TBindImageType& image : StagedImages) image.InUse = false;
  std::vector<std::string> upper;
  for (const TBindImageType& image : StagedImages)
    upper.push_back(ImageNameKey(image.Name, image.WideName));
  const std::vector<std::size_t> order = ImageStoreOrder(upper);
  if (images) {
    const NameIndex names(upper, order);
    MarkReferences(*this, names);
    for (const TEntJwwBlockDef& def : BlockDefs) MarkReferences(def.Entities, names);
  }

  // Every stored file is opened and sized before the count goes out, so a
  // file that cannot be read fails the save instead of leaving a section
  // that disagrees with its count. All but the first few are closed again
  // until their turn: a drawing may carry more images than a process may
  // hold files open.
  std::vector<StoredImage> stored;
  for (std::size_t i : order) {
    TBindImageType& image = StagedImages[i];
    if (!image.InUse) continue;
    StoredImage s{&image, 0, nullptr};
    bool absent = false;
    std::unique_ptr<platform::File> file = images->Open(image, absent);
    if (absent) {
      image.InUse = false;
      continue;
    }
    if (!file)
      throw JwwIoError(100, "the staged image " + QuotedName(image.Name) + " cannot be opened");
    const long long size = file->Size();
    if (size < 0 || size > std::numeric_limits<std::int32_t>::max())
      throw JwwIoError(
          100, "the size of the staged image " + QuotedName(image.Name) + " cannot be stored");
    s.size = static_cast<std::int32_t>(size);
    if (stored.size() < kKeptOpen) s.file = std::move(file);
    stored.push_back(std::move(s));
  }

  w.WriteDword(static_cast<std::int32_t>(stored.size()));
  std::int64_t largest = 0;
  for (const StoredImage& s : stored) largest = std::max<std::int64_t>(largest, s.size);
  Block buffer(static_cast<std::size_t>(std::min<std::int64_t>(largest, kBlock)));
  for (StoredImage& s : stored) {
    bool absent = false;
    std::unique_ptr<platform::File> file =
        s.file ? std::move(s.file) : images->Open(*s.image, absent);
    if (!file || file->Size() != s.size)
      throw JwwIoError(100,
                       "the staged image " + QuotedName(s.image->Name) + " changed while saving");
    WriteJwwString(w, StoredName(*s.image));
    w.WriteDword(s.size);
    for (std::int64_t left = s.size; left > 0;) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(left, kBlock));
      if (!ReadFull(*file, buffer.data(), n))
        throw JwwIoError(100, "the staged image " + QuotedName(s.image->Name) + " cannot be read");
      w.WriteExact(buffer.data(), n);
      left -= static_cast<std::int64_t>(n);
    }
  }
}
