#include "jww/jwwunit.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/platform.h"
#include "platform/unicode.h"

TJwwData::TJwwData() {
  ClearDrawing();
}

TJwwData::~TJwwData() {
  FreeDrawing();
}

void TJwwData::ClearDrawing() {
  // A fresh header carries the cleared values (scales 1.0, jump layer groups
  // -1), which a drawing older than 7.00 keeps for the fields it lacks.
  Header = TEntJwwHeader{};
  LayerGroups.clear();
  Layers.clear();
  Pens.clear();
  LineTypes.clear();
  RandomLines.clear();
  DoubleLineTypes.clear();
  ColorsEx.clear();
  LineTypesEx.clear();
  TextKinds.clear();
  static_cast<TEntityLists&>(*this) = TEntityLists{};
  BlockDefs.clear();
  BlockDefs.shrink_to_fit();
  BlockTree.clear();
  UsedBlockDefCount = 0;
}

void TJwwData::FreeDrawing() {
  // The nested tables are values inside BlockDefs and go with it.
  ClearDrawing();
}

bool TJwwData::LoadFromFile(const std::u16string& fileName, TImageSink* images) {
  bool result = false;
  ClearDrawing();
  LastError.clear();

  std::unique_ptr<platform::File> file = platform::Current().OpenRead(fileName);
  if (!file) throw JwwIoError(103, IoErrorText(103));
  try {
    JwwReader r(*file);
    ReadHeader(r);
    if (Header.Version < kOldestReadableVersion) {
      file.reset();
      throw JwwIoError(103, IoErrorText(103));
    }
    ReadEntityStream(r, images);
    result = true;
  } catch (const JwwIoError& e) {
    if (e.code() == 103) throw;
    LastError = e.what();
  } catch (const std::exception& e) {
    // A malformed stream (an unknown class, a hostile image name) is damage
    // in the file like a short read: the load fails with what was read.
    LastError = e.what();
  }
  file.reset();
  ResolveBlockUse();
  return result;
}

bool TJwwData::SaveToFile(const std::u16string& fileName, std::int32_t version,
                          TImageSource* images) {
  platform::Os& os = platform::Current();
  std::unique_ptr<platform::File> file = os.Create(fileName);
  if (!file) {
    LastError = "cannot create the file";
    return false;
  }
  if (SaveToFile(*file, version, images)) return true;
  file.reset();
  if (os.FileExists(fileName)) os.Delete(fileName);
  return false;
}

bool TJwwData::SaveToFile(platform::File& file, std::int32_t version, TImageSource* images) {
  static const char kIdentifier[8] = {'J', 'w', 'w', 'D', 'a', 't', 'a', '.'};
  std::copy(kIdentifier, kIdentifier + 8, Header.Identifier.begin());
  LastError.clear();
  try {
    JwwWriter w(file);
    WriteHeader(w, version);
    WriteEntityStream(w, version, images);
    w.Flush();
    if (!file.Close()) throw JwwIoError(101, "the file could not be closed (disk full?)");
    return true;
  } catch (const std::exception& e) {
    LastError = e.what();
  }
  return false;
}

void TJwwData::ReadEntityStream(JwwReader& r, TImageSink* images) {
  TTagState tags;
  Header.EntityCount = ReadEntityList(r, Header.Version, tags, *this);
  ReadBlockDefs(r, tags);
  if (HasImageSection(Header.Version)) ReadImageSection(r, images);
}

void TJwwData::WriteEntityStream(JwwWriter& w, std::int32_t version, TImageSource* images) {
  TTagState tags;
  const BlockNumberMap numbers(*this);
  WriteEntityList(w, tags, *this, numbers);
  WriteBlockDefs(w, tags, numbers);
  if (HasImageSection(version)) WriteImageSection(w, images);
}

std::string VersionText(std::int32_t v) {
  if (v < 0) return std::to_string(v);
  char text[16];
  std::snprintf(text, sizeof text, "%d.%02d", static_cast<int>(v / 100), static_cast<int>(v % 100));
  return text;
}

// A loader throws the same code for a file it cannot open and one too old
// to read; a person needs to know which, so the file is looked at again.
std::string UnreadableReason(const std::u16string& path, const TJwwData& d) {
  platform::Os& os = platform::Current();
  if (!os.FileExists(path)) return "no such file";
  if (!os.OpenRead(path)) return "the file cannot be opened";
  static const char kIdentifier[] = "JwwData.";
  if (std::memcmp(d.Header.Identifier.data(), kIdentifier, d.Header.Identifier.size()) != 0)
    return "not a Jw_cad drawing (it does not begin with \"JwwData.\")";
  return "version " + VersionText(d.Header.Version) + " is older than 2.20, the oldest readable";
}
