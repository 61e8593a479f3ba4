// Paths and image names that Shift-JIS cannot hold. Current Jw_cad keeps
// its texts as UTF-16, so a drawing may name an image "Ünï_表.png" or a
// folder "Café"; such a path stays UTF-16 code units (Windows form, "\"
// separators) from the reference to the operating system and into the
// image section, while every name CP932 can hold keeps living as Shift-JIS
// bytes. A staged image or a row of the scan carries the units beside its
// byte name, which is then only a rendering with "?" (never a usable file
// name: "?" is a wildcard).
#pragma once

#include <optional>
#include <string>

#include "text/filenames.h"

// The key image names are matched by, as Jw_cad matches them, one space
// for both forms: a Shift-JIS name's key is SjisUpper of it (ASCII letters
// only, as Jw_cad upper-cases byte text); a wide name's key has its CP932
// characters as SjisUpper gives them, and each other code unit, upper-cased
// as in file names (platform/casefold.h), as a 0x00 byte and four letters. No Shift-JIS name holds
// a 0x00 byte, so the forms never meet by chance, and a name stays the beginning of a longer one it
// begins ("a.png" of "a.pngÜ.gz"), as the first-prefix rule of the image references needs. A wide
// name CP932 can hold has the key of its Shift-JIS form.
std::string WideNameKey(const std::u16string& units);
std::string ImageNameKey(const std::string& name, const std::u16string& wide);

// The wide spelling of a name: its units, or its Shift-JIS bytes decoded.
std::u16string WideSpelling(const std::string& name, const std::u16string& wide);

// IsPlainFileName for a wide name: no separator, wildcard, control unit or
// unpaired surrogate; not "." or ".."; no trailing dot or space; no
// reserved device name.
bool IsPlainWideName(const std::u16string& name);

// The path-derived embedded name: every ":", "\" and "/" becomes "_".
std::u16string WidePathDerivedName(const std::u16string& path);
