// The Shift-JIS helpers, number parsers and file-name case folding on
// arbitrary bytes, with the promises of their headers checked: a broken
// promise traps.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/casefold.h"
#include "platform/unicode.h"
#include "text/sjis.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

// Whether byte offset `at` of s starts a character by the lead-byte walk.
// The end of s counts as one, even after a lone lead byte.
bool IsBoundary(const std::string& s, std::size_t at) {
  if (at == s.size()) return true;
  std::size_t i = 0;
  while (i < at) i += IsSjisLeadByte(static_cast<std::uint8_t>(s[i])) ? 2 : 1;
  return i == at;
}

// `part` is a run of whole characters of s: found at a character boundary,
// ending at one (or at the end of s).
bool IsWholeCharsOf(const std::string& s, const std::string& part) {
  if (part.empty()) return true;
  for (std::size_t at = s.find(part); at != std::string::npos; at = s.find(part, at + 1)) {
    const std::size_t end = at + part.size();
    if (IsBoundary(s, at) && IsBoundary(s, end)) return true;
  }
  return false;
}

void CheckCuts(const std::string& s, int a, int b) {
  const std::size_t len = s.size();
  const std::string right = SjisRightBytes(s, a);
  const std::size_t want = std::min<std::size_t>(static_cast<std::size_t>(std::llabs(a)), len);
  Check(right.size() <= want);
  Check(len >= right.size() && s.compare(len - right.size(), right.size(), right) == 0);
  Check(IsBoundary(s, len - right.size()));

  const std::string mid = SjisMidBytes(s, a, b);
  Check(mid.size() <= static_cast<std::size_t>(std::max(b, 0)));
  Check(IsWholeCharsOf(s, mid));

  const std::string chars = SjisMidChars(s, a, b);
  Check(SjisCharCount(chars) <= std::max(b, 0));
  Check(IsWholeCharsOf(s, chars));
  Check(SjisCharCount(s) <= static_cast<int>(len));

  std::uint8_t buffer[16];
  std::memset(buffer, 0xAA, sizeof buffer);
  CopyToBuffer(buffer, 8, s, a);
  FillBuffer(buffer, 8, 0x20, b);
  for (std::size_t i = 8; i < sizeof buffer; ++i) Check(buffer[i] == 0xAA);
}

void CheckFolding(const std::string& s) {
  for (const std::string& folded : {SjisUpper(s), SjisLower(s)}) {
    Check(folded.size() == s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
      if (folded[i] == s[i]) continue;
      // Only a one-byte ASCII letter on a character boundary may change.
      const char c = s[i];
      Check(((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) && IsBoundary(s, i));
    }
  }
  Check(SjisUpper(SjisLower(s)) == SjisUpper(s));
}

void CheckCleaning(const std::string& s) {
  const std::string once = CleanTextForWrite(s);
  Check(CleanTextForWrite(once) == once);
  const std::string read = CleanTextAfterRead(s);
  for (std::size_t i = 0; i < read.size();) {
    const auto b = static_cast<std::uint8_t>(read[i]);
    if (IsSjisLeadByte(b)) {
      Check(i + 1 < read.size());  // no half character is kept
      i += 2;
    } else {
      Check(b >= 0x20);
      ++i;
    }
  }
  Check(CleanTextAfterRead(read) == read);
  const std::string stripped = StripBlanks(s);
  Check(StripBlanks(stripped) == stripped);
  Check(IsBlankText(s) == stripped.empty());
}

void CheckNumbers(const std::string& s) {
  const std::int32_t i = TextToIntOrZero(s);
  Check(TextToIntOrZero(std::to_string(i)) == i);
  const double d = TextToFloatOrZero(s);
  Check(!std::isnan(d));
  (void)TextToBool(s);
}

void CheckConversions(const std::string& s) {
  std::u16string units;
  for (std::size_t i = 0; i + 1 < s.size(); i += 2)
    units.push_back(static_cast<char16_t>(static_cast<std::uint8_t>(s[i]) |
                                          static_cast<std::uint8_t>(s[i + 1]) << 8));
  std::string sjis;
  if (Utf16ToSjisExact(units, sjis)) Check(SjisToUtf16(sjis) == units);
  const std::string lossy = Utf16ToSjisLossy(units);
  std::string utf8;
  if (Utf16ToUtf8(units, utf8)) {
    std::u16string back;
    Check(Utf8ToUtf16(utf8, back) && back == units);
  }
  std::u16string fromUtf8;
  if (Utf8ToUtf16(s, fromUtf8)) {
    std::string back;
    Check(Utf16ToUtf8(fromUtf8, back) && back == s);
    // A name read from a POSIX folder folds character by character as its
    // UTF-16 form folds unit by unit.
    if (s.find('\0') == std::string::npos) {
      std::vector<std::uint32_t> byChar, byUnit;
      for (const char* p = s.c_str(); *p;) byChar.push_back(platform::NextFoldedUtf8(p));
      const std::u16string key = platform::FileNameKey(fromUtf8);
      for (std::size_t k = 0; k < key.size(); ++k) {
        const bool pair = key[k] >= 0xD800 && key[k] <= 0xDBFF && k + 1 < key.size();
        byUnit.push_back(pair ? 0x10000 + ((key[k] - 0xD800u) << 10) + (key[k + 1] - 0xDC00u)
                              : key[k]);
        k += pair;
      }
      Check(byChar == byUnit);
    }
  }
  // A decoded Shift-JIS text that encodes exactly gives the same units again.
  const std::u16string decoded = SjisToUtf16(s);
  std::string again;
  if (Utf16ToSjisExact(decoded, again)) Check(SjisToUtf16(again) == decoded);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The first four bytes choose the cut positions; the rest is the text.
  int a = 0, b = 0;
  if (size >= 4) {
    a = static_cast<std::int8_t>(data[0]) * 256 + data[1];
    b = static_cast<std::int8_t>(data[2]) * 256 + data[3];
    data += 4;
    size -= 4;
  }
  const std::string s(reinterpret_cast<const char*>(data), size);
  CheckCuts(s, a, b);
  CheckFolding(s);
  CheckCleaning(s);
  CheckNumbers(s);
  CheckConversions(s);
  return 0;
}
