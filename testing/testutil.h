// Shared helpers of the tests: temporary folders, whole-file bytes, the
// corpus of drawings Jw_cad wrote, and internal paths of native ones.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "jww/jwwunit.h"
#include "platform/platform.h"

namespace testutil {

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The internal path of `name` inside the folder; with an empty name, the
  // folder itself ending in "\". Internal spells it in Shift-JIS, as the
  // log and the messages show it.
  platform::Path Path(const std::string& name = "") const;
  std::string Internal(const std::string& name = "") const;
  // `name` is UTF-8 text ("表/a.txt"), whatever the system's code page.
  std::filesystem::path Native(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& p);
void WriteBytes(const std::filesystem::path& p, const std::vector<std::uint8_t>& bytes);
std::string ReadText(const std::filesystem::path& p);
void WriteText(const std::filesystem::path& p, const std::string& text);

// A version 7.00 drawing of nothing but the given top-level texts, written
// with no image section entries (the folder is made if missing).
void WriteTextDrawing(const std::filesystem::path& native, const std::vector<std::string>& texts);

// A top-level text as the conversion tests write them (pen colour 3, text
// kind 2), and one appended to `lists`.
TEntJwwText MakeText(const std::string& s);
void AddText(TEntityLists& lists, const std::string& s);
// A version 7.00 drawing at the internal `path` with the given top-level
// texts and one used block definition holding the block texts.
void WriteDrawing(const platform::Path& path, const std::vector<std::string>& top,
                  const std::vector<std::string>& inBlock = {});

// The whole file at the internal `path`, read through `os`; throws when it
// cannot be read.
std::vector<std::uint8_t> ReadThrough(platform::Os& os, const platform::Path& path);
// The content of one whole gzip member; throws when the bytes are not one.
std::vector<std::uint8_t> Gunzip(const std::vector<std::uint8_t>& gz);
// A converted drawing read back through the current Os and staging folder
// (which must be there): every embedded reference's image, found as Jw_cad finds
// it (the first stored name that begins with the referenced name),
// unzipped, by the referenced name. Throws when the drawing cannot be
// loaded or a reference has no stored image.
std::map<std::string, std::vector<std::uint8_t>> ImagesOf(const platform::Path& output);

// A UTF-16 string with characters CP932 may not hold, as current Jw_cad
// stores it.
JwwStr Wide(const std::u16string& units);
// A 7.00 drawing at the internal `path` of the given top-level texts and
// one used block definition holding the block texts, with `section` (the
// image count and the images, as built) as its image section.
void WriteWideDrawing(const platform::Path& path, const std::vector<JwwStr>& top,
                      const std::vector<JwwStr>& inBlock,
                      const std::vector<std::uint8_t>& section = {0, 0, 0, 0});
// ImagesOf for references and names that may be UTF-16: by the referenced
// name's units, the unzipped bytes as text. The first stored name that
// begins with the referenced name is taken, letter case as written.
std::map<std::u16string, std::string> WideImagesOf(const platform::Path& output);

// JWC_TEMP.TXT as Jw_cad writes it (Shift-JIS, CR LF, "hq" first), naming
// `drawing`.
void WriteExternalDataFile(const std::filesystem::path& file, const std::string& drawing);
// The messages of the external-transformation mode (Shift-JIS):
// 外部変形実行前に図面をJWW形式で保存して下さい。
extern const std::string kSaveAsJwwFirst;
// 一時ファイル TEMP.JWW が残っているため変換できませんでした。
extern const std::string kTempStillThere;
// 変換できませんでした。
extern const std::string kNotConverted;

// The internal form of a native path: its UTF-8 text (u8string, never the
// ANSI code page's) through platform::NativeToInternal. Internal gives its
// Shift-JIS spelling and throws when the path has none.
platform::Path InternalPath(const std::filesystem::path& native);
std::string Internal(const std::filesystem::path& native);

// A path as UTF-8 text, and back. std::filesystem::path::string() and a
// path made from a std::string use the ANSI code page on Windows (932 under
// a Japanese Wine), where the platform layer speaks UTF-8.
std::string Utf8(const std::filesystem::path& p);
std::filesystem::path PathFromUtf8(const std::string& utf8);
// An internal path as UTF-8 text, for the message of a failed check.
std::string Shown(const platform::Path& path);

// The folder of real drawings, or an empty path when it is not there (tests
// then skip). The environment variable MARROWFOLD_CORPUS_DIR overrides the
// folder of the build; on Windows a Linux path of the build is looked for
// through Wine's drive Z: as well.
std::filesystem::path CorpusDir();
std::vector<std::filesystem::path> CorpusDrawings();

// A file in memory, for reading and writing items without touching a disk.
class MemoryFile : public platform::File {
 public:
  MemoryFile() = default;
  explicit MemoryFile(std::vector<std::uint8_t> bytes) : bytes(std::move(bytes)) {}
  long long Read(void* buffer, std::size_t count) override;
  long long Write(const void* buffer, std::size_t count) override;
  long long Size() override { return static_cast<long long>(bytes.size()); }
  bool Close() override { return true; }

  std::vector<std::uint8_t> bytes;
  std::size_t position = 0;
};

}  // namespace testutil
