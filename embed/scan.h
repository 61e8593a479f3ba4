// The image-reference scan of a loaded drawing: every "^@BM" text, at the
// top level and inside every block definition, is resolved, its image
// staged and the reference rewritten to the staged copy, or counted (and
// perhaps disabled) when the image file is missing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jww/jwwunit.h"

struct TDeflatedImages;

// One image file found in the drawing being converted.
struct TStr2List {
  std::u16string SourcePath;    // where the image file was found
  std::u16string EmbeddedName;  // its name in the staging folder and the references
};

// The three forms of an image reference text.
extern const char* const kLiveRefPrefix;      // "^@BM" + path + "," + parameters
extern const char* const kEmbeddedRefPrefix;  // "^@BM%temp%" + embedded name + ","...
extern const char* const kDisabledRefPrefix;  // "_@BM" + path + "," + parameters

struct TImageRef {
  enum class Kind { Live, Embedded, Disabled };
  Kind kind = Kind::Live;
  std::string path;    // the path, or the embedded name, as written
  std::string params;  // from the first "," on
};

// The reference a text holds, if it is one: a prefix, something before the
// first "," after it, and that ",".
std::optional<TImageRef> ParseImageRef(std::string_view text);

// The same for a text held as UTF-16 units (characters CP932 cannot hold).
struct TWideImageRef {
  TImageRef::Kind kind = TImageRef::Kind::Live;
  std::u16string path;
  std::u16string params;
};
std::optional<TWideImageRef> ParseWideImageRef(std::u16string_view text);

// Where the path of a live reference (decoded from its text) leads: a
// relative path (no drive letter, no leading "\" or "/") against the
// drawing's folder, anything else as written. With `lookBeside`, a path
// whose file is not there is looked for once more by its file name in the
// drawing's folder, as drawings sent from another machine carry their
// images beside them.
struct TResolvedRef {
  std::u16string path;  // where the file was looked for (found or not)
  bool found = false;
  bool beside = false;  // found only by the look beside the drawing
};
TResolvedRef ResolveImageRef(const std::u16string& drawingFolder, const std::u16string& refPath,
                             bool lookBeside);

// Why a found image would still be counted missing by a conversion (no
// regular file, too large, unreadable), in words for a person; "" when it
// can be embedded. Opens the file but reads nothing.
std::string WhyImageUnusable(const std::u16string& path);

// The options and the outcome of one scan.
struct TEmbedScan {
  bool PathInEmbeddedName = false;  // names made from the whole path
  bool DisableMissingRefs = false;  // "^@BM" -> "_@BM" for missing images
  bool LookBeside = false;
  // Threads compressing the images at once; 0: as many as the processors
  // allow.
  unsigned Threads = 0;
  // Images compressed by earlier scans of the run, reused and added to;
  // none when null.
  TDeflatedImages* Deflated = nullptr;

  std::int32_t EmbeddedRefCount = 0;
  std::int32_t EmbeddedRefInBlockCount = 0;
  std::int32_t MissingRefCount = 0;
  std::int32_t MissingRefInBlockCount = 0;
  // What the scan could not do but lived with, and why it failed: text for
  // a person (Shift-JIS).
  std::vector<std::string> Warnings;
  std::string FailureReason;
};

// Scans `jww` (loaded from `sourcePath`), adds one row per distinct image
// to `rows`, appends the new images to StagedImages and compresses each
// from its own file into `workFolder`. False (with FailureReason)
// when an image that exists could not be staged or compressed; the images
// staged before are in StagedImages then too, for the clean-up.
bool EmbedImages(TJwwData& jww, const std::u16string& sourcePath, const std::u16string& workFolder,
                 std::vector<TStr2List>& rows, TEmbedScan& scan);
