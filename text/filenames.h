// File-name parts and file helpers over internal paths (UTF-16, Windows
// form): the file name follows the last "\", "/" or ":", the extension runs
// from the last "." of the file name (dot included). And the checks of
// image names as a drawing stores them (Shift-JIS text).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/platform.h"

std::u16string ExtractFileName(const std::u16string& path);
std::u16string ExtractFileDir(const std::u16string& path);  // up to the last separator, included
std::u16string ExtractFileExt(const std::u16string& path);  // ".jww", or "" without a dot
std::u16string ChangeFileExt(const std::u16string& path, const std::u16string& ext);
// Appends "\" unless the path already ends in one.
std::u16string IncludeTrailingBackslash(const std::u16string& path);
// base~N.ext: branch number N of a name.
std::u16string WithBranch(const std::u16string& name, int n);

// The packed MS-DOS date (high word) and time (low word) of a local time.
std::int32_t PackDosDateTime(const platform::LocalTime& t);
platform::LocalTime UnpackDosDateTime(std::int32_t packed);

struct TFileStamp {
  std::int32_t time = 0;  // packed MS-DOS local date and time; 0 if not found
  std::int32_t size = 0;  // low 32 bits of the size; 0 if not found
  bool operator==(const TFileStamp&) const = default;
};

TFileStamp GetFileStamp(const std::u16string& path);
// The stamp of an entry already found.
TFileStamp FileStampOf(const platform::DirEntry& entry);

// The first of the path itself, base~1.ext, ..., base~99999.ext that
// `usable` accepts; nothing when it accepts none.
std::optional<std::u16string> FirstUsableBranch(
    const std::u16string& path, const std::function<bool(const std::u16string&)>& usable);
// The path itself, or the first free base~N.ext beside it (an entry of any
// kind takes a name); nothing when all 99,999 branch numbers are taken.
std::optional<std::u16string> MakeUniqueFileName(const std::u16string& path);

// Byte-for-byte copy; the destination then takes the source's last-write
// time. False (and no destination left behind) when the source cannot be
// opened, the destination cannot be created, or the copy came out short,
// or source and destination are one file; `error` (a text for a person)
// then says what went wrong. Never throws.
bool CopyFileKeepDate(const std::u16string& source, const std::u16string& destination,
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
