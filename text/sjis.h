// Shift-JIS (code page 932) byte text: cutting, counting, cleaning and the
// few conversions the settings and data files share. Every helper walks its
// text from the first byte by the lead-byte rule, so the second byte of a
// double-byte character (0x5C in 表) is never taken for a character of its
// own. Positions count from 1. No helper fails.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/unicode.h"  // IsSjisLeadByte

int SjisCharCount(const std::string& s);
std::string SjisRightBytes(const std::string& s, int n);
std::string SjisMidBytes(const std::string& s, int start, int count);
std::string SjisMidChars(const std::string& s, int start, int count);

// Fixed byte fields. `capacity` bounds every write.
void CopyToBuffer(std::uint8_t* buffer, std::size_t capacity, const std::string& s, int n);
void FillBuffer(std::uint8_t* buffer, std::size_t capacity, std::uint8_t c, int n);

bool TextToBool(const std::string& s);
std::string BoolToText(bool b);
std::int32_t TextToIntOrZero(const std::string& s);
double TextToFloatOrZero(const std::string& s);

// Cleaning of names and texts on their way into and out of a drawing.
std::string StripBlanks(const std::string& s);
// True when StripBlanks would leave nothing of `s`.
bool IsBlankText(std::string_view s);
std::string CleanTextForWrite(const std::string& s);
std::string CleanTextAfterRead(const std::string& s);
// True when CleanTextForWrite would give `s` back unchanged.
bool TextIsCleanForWrite(std::string_view s);
// True when CleanTextAfterRead would give `s` back unchanged.
bool TextIsCleanAfterRead(std::string_view s);
// CleanTextAfterRead without a second string: what is dropped closes up.
void CleanTextAfterReadInPlace(std::string& s);

// Case folding for comparisons: only one-byte a-z (A-Z) on character
// boundaries change; a second byte is never touched, whatever its value.
std::string SjisUpper(const std::string& s);
std::string SjisLower(const std::string& s);
