// File-name parts and file helpers over Windows-form Shift-JIS paths: the
// file name follows the last "\" or ":", the extension runs from the last
// "." of the file name (dot included); separators are found by the lead-byte
// rule, so 表 (0x95 0x5C) never splits a path.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/platform.h"

std::string ExtractFileName(const std::string& path);
std::string ExtractFileDir(const std::string& path);  // up to and including the last "\" or ":"
std::string ExtractFileExt(const std::string& path);  // ".jww", or "" without a dot
std::string ChangeFileExt(const std::string& path, const std::string& ext);
// Appends "\" unless the path already ends in a real "\" (not a second byte).
std::string IncludeTrailingBackslash(const std::string& path);

// The packed MS-DOS date (high word) and time (low word) of a local time.
std::int32_t PackDosDateTime(const platform::LocalTime& t);
platform::LocalTime UnpackDosDateTime(std::int32_t packed);

struct TFileStamp {
  std::int32_t time = 0;  // packed MS-DOS local date and time; 0 if not found
  std::int32_t size = 0;  // low 32 bits of the size; 0 if not found
  bool operator==(const TFileStamp&) const = default;
};

TFileStamp GetFileStamp(const std::string& path);

// The stamp of the image staged under a name, when one is: an image can be
// staged without a file of that name in the work folder.
using StagedStampLookup = std::function<std::optional<TFileStamp>(const std::string& name)>;

// The name under which an image is stored in the work folder, or nothing
// when every branch number up to 99,999 is taken by another file. A plain
// name is taken by an image `stagedStamp` knows of, else by a file in the
// work folder, unless that has the image's own stamp.
std::optional<std::string> MakeEmbeddedName(bool wholePath, const std::string& imagePath,
                                            const std::string& workFolder,
                                            const StagedStampLookup& stagedStamp = nullptr);
// The first of the path itself, base~1.ext, ..., base~99999.ext that
// `usable` accepts; nothing when it accepts none.
std::optional<std::string> FirstUsableBranch(const std::string& path,
                                             const std::function<bool(const std::string&)>& usable);
// The path itself, or the first free base~N.ext beside it; nothing when all
// 99,999 branch numbers are taken.
std::optional<std::string> MakeUniqueFileName(const std::string& path);

// Byte-for-byte copy. False (and no destination left behind) when the source
// cannot be opened, the destination cannot be created, or the copy came out
// short, or source and destination are one file; `error` then says what
// went wrong. Never throws.
bool CopyFileBytes(const std::string& source, const std::string& destination,
                   std::string* error = nullptr);
// CopyFileBytes, then the destination takes the source's last-write time.
bool CopyFileKeepDate(const std::string& source, const std::string& destination,
                      std::string* error = nullptr);

// `v` as `digits` upper-case hexadecimal digits.
std::string HexText(std::uint32_t v, int digits);

// True for a file name whose extension is ".gz" in any letter case.
bool IsCompressedName(const std::string& name);
// True when `name` can only name a file directly inside a folder on any
// system: not empty; no drive, separator, control byte, wildcard or broken
// double-byte character; not "." or ".."; no trailing dot or space; not a
// reserved device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with or without
// an extension).
bool IsPlainFileName(const std::string& name);
// A name quoted for a message (Shift-JIS text like every message of a load
// or save), its control bytes shown as \xNN.
std::string QuotedName(const std::string& name);
