#include "text/sjis.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Byte at a position, as unsigned; the walks below index strings by size_t.
std::uint8_t At(std::string_view s, std::size_t i) {
  return static_cast<std::uint8_t>(s[i]);
}

// Size in bytes of the character that starts at i, as the walk counts it: a
// lead byte always opens a two-byte character, even in the last position.
std::size_t CharSize(const std::string& s, std::size_t i) {
  return IsSjisLeadByte(At(s, i)) ? 2 : 1;
}

// The bytes that the character at i really has (a trailing lone lead byte has one).
std::size_t CharBytes(const std::string& s, std::size_t i) {
  return i + 1 < s.size() ? CharSize(s, i) : 1;
}

std::string MapAsciiLetters(const std::string& s, char from, char to, int shift) {
  std::string out = s;
  for (std::size_t i = 0; i < out.size(); i += CharSize(out, i)) {
    if (out[i] >= from && out[i] <= to) out[i] = static_cast<char>(out[i] + shift);
  }
  return out;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

int SjisCharCount(const std::string& s) {
  int count = 0;
  for (std::size_t i = 0; i < s.size(); i += CharSize(s, i)) ++count;
  return count;
}

std::string SjisRightBytes(const std::string& s, int n) {
  const std::size_t m = static_cast<std::size_t>(std::llabs(static_cast<long long>(n)));
  const std::size_t len = s.size();
  if (m == 0 || len == 0) return {};
  // A right part ends where the text ends, so a lone lead byte there is in
  // it or nothing is; like every cut, it needs room for two bytes.
  std::size_t extra = 0;
  std::size_t i = 0;
  for (std::size_t next; i < len; i = next) {
    next = i + CharSize(s, i);
    if (next > len) extra = 1;
  }
  for (i = 0; i < len; i += CharSize(s, i)) {
    if (len - i + extra <= m) return s.substr(i);
  }
  return {};
}

std::string SjisMidBytes(const std::string& s, int start, int count) {
  if (s.empty() || start < 1 || static_cast<std::size_t>(start) > s.size() || count <= 0) return {};
  // 1-based window, in 64 bits so that start + count cannot overflow.
  const long long first = start;
  const long long last = first + count - 1;
  std::string out;
  for (std::size_t i = 0; i < s.size(); i += CharSize(s, i)) {
    const long long p = static_cast<long long>(i) + 1;
    const long long end = p + static_cast<long long>(CharSize(s, i)) - 1;
    if (p >= first && end <= last) out.append(s, i, CharBytes(s, i));
  }
  return out;
}

std::string SjisMidChars(const std::string& s, int start, int count) {
  const long long chars = SjisCharCount(s);
  if (chars == 0 || chars < start || count <= 0) return {};
  const long long last = std::min(static_cast<long long>(start) + count - 1, chars);
  std::string out;
  long long index = 1;
  for (std::size_t i = 0; i < s.size() && index <= last; i += CharSize(s, i), ++index) {
    if (index >= start) out.append(s, i, CharBytes(s, i));
  }
  return out;
}

void CopyToBuffer(std::uint8_t* buffer, std::size_t capacity, const std::string& s, int n) {
  std::size_t count = static_cast<std::size_t>(std::llabs(static_cast<long long>(n)));
  count = std::min({count, s.size(), capacity});
  if (count > 0) std::memcpy(buffer, s.data(), count);
}

void FillBuffer(std::uint8_t* buffer, std::size_t capacity, std::uint8_t c, int n) {
  if (n <= 0) return;
  const std::size_t count = std::min(static_cast<std::size_t>(n), capacity);
  if (count > 0) std::memset(buffer, c, count);
}

bool TextToBool(const std::string& s) {
  static const char* const kTrueWords[] = {
      "T", "TR", "TRU", "TRUE", "1", "\x82\x50", "\x81\x9B", "ON", "\x90\x5E", "\x90\xB3",
  };
  const std::string word = SjisUpper(StripBlanks(s));
  for (const char* w : kTrueWords) {
    if (word == w) return true;
  }
  return false;
}

std::string BoolToText(bool b) {
  return b ? "1" : "0";
}

std::int32_t TextToIntOrZero(const std::string& s) {
  std::size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i >= s.size()) return 0;

  bool hex = false;
  if (s[i] == '$' || s[i] == 'x' || s[i] == 'X') {
    hex = true;
    i += 1;
  } else if (s[i] == '0' && i + 1 < s.size() && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= s.size()) return 0;  // a sign or a hex prefix with no digits

  std::uint64_t value = 0;
  if (hex) {
    for (; i < s.size(); ++i) {
      const int d = HexValue(s[i]);
      if (d < 0) return 0;
      value = value * 16 + static_cast<std::uint64_t>(d);
      if (value > 0xFFFFFFFFull) return 0;
    }
    // A hex value is a 32-bit pattern: eight F digits are -1.
    std::uint32_t bits = static_cast<std::uint32_t>(value);
    if (negative) bits = 0u - bits;
    return static_cast<std::int32_t>(bits);
  }

  const std::uint64_t limit = negative ? 2147483648ull : 2147483647ull;
  for (; i < s.size(); ++i) {
    if (!IsDigit(s[i])) return 0;
    value = value * 10 + static_cast<std::uint64_t>(s[i] - '0');
    if (value > limit) return 0;
  }
  const long long signed_value =
      negative ? -static_cast<long long>(value) : static_cast<long long>(value);
  return static_cast<std::int32_t>(signed_value);
}

double TextToFloatOrZero(const std::string& s) {
  // The grammar is checked by hand and the number handed to from_chars, which
  // always reads "." as the separator (strtod would follow the C locale).
  std::size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  const std::size_t number = i;

  std::size_t digits = 0;
  while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
  }
  if (digits == 0) return 0.0;
  if (i < s.size() && (s[i] == 'E' || s[i] == 'e')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t exponent_digits = 0;
    while (i < s.size() && IsDigit(s[i])) ++i, ++exponent_digits;
    if (exponent_digits == 0) return 0.0;
  }
  if (i != s.size()) return 0.0;

  double value = 0.0;
  const char* begin = s.data() + number;
  const char* end = s.data() + s.size();
  const auto result = std::from_chars(begin, end, value, std::chars_format::general);
  if (result.ec != std::errc() || result.ptr != end) return 0.0;
  return negative ? -value : value;
}

std::string StripBlanks(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); i += CharSize(s, i)) {
    const std::uint8_t b = At(s, i);
    if (IsSjisLeadByte(b)) {
      const std::size_t bytes = CharBytes(s, i);
      const bool full_width_space = bytes == 2 && b == 0x81 && At(s, i + 1) == 0x40;
      if (!full_width_space) out.append(s, i, bytes);
    } else if (b > 0x20) {
      out += s[i];
    }
  }
  return out;
}

bool IsBlankText(std::string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto b = static_cast<std::uint8_t>(s[i]);
    if (IsSjisLeadByte(b)) {
      // Only a whole full-width space is a blank.
      if (b != 0x81 || i + 1 >= s.size() || static_cast<std::uint8_t>(s[i + 1]) != 0x40)
        return false;
      ++i;
    } else if (b > 0x20) {
      return false;
    }
  }
  return true;
}

bool TextIsCleanForWrite(std::string_view s) {
  // Nearly every name is clean already: no control byte and no "^m" at all
  // (one as a trail byte included) leaves nothing to drop. An empty text
  // stays empty.
  return s.find("^m") == std::string_view::npos && std::none_of(s.begin(), s.end(), [](char c) {
           return static_cast<std::uint8_t>(c) < 0x20;
         });
}

std::string CleanTextForWrite(const std::string& s) {
  if (s.empty()) return {};
  if (TextIsCleanForWrite(s)) return s;
  // Dropping a pair (or a control byte) can bring a caret and an "m" together
  // ("a^^mm", "^\x01m"); they are dropped as they meet, so the result holds
  // no "^m" and a second cleaning changes nothing. `caretAtEnd` tells
  // whether the last kept character is a one-byte caret.
  std::string out;
  std::vector<bool> caretAtEnd{false};
  std::size_t i = 0;
  while (i < s.size()) {
    const std::uint8_t b = At(s, i);
    if (IsSjisLeadByte(b)) {
      out.append(s, i, CharBytes(s, i));
      caretAtEnd.push_back(false);
      i += 2;
      continue;
    }
    i += 1;
    if (b < 0x20) continue;
    if (b == 'm' && caretAtEnd.back()) {
      out.pop_back();
      caretAtEnd.pop_back();
      continue;
    }
    out += static_cast<char>(b);
    caretAtEnd.push_back(b == '^');
  }
  // An emptied name would vanish from the file; a single space keeps its place.
  if (out.empty()) out.push_back(' ');
  return out;
}

std::string CleanTextAfterRead(const std::string& s) {
  std::string out = s;
  CleanTextAfterReadInPlace(out);
  return out;
}

bool TextIsCleanAfterRead(std::string_view s) {
  // Nearly every text read is clean: no control byte and no lead byte left
  // alone at the end. Only the walk by characters can tell the latter.
  std::size_t i = 0;
  while (i < s.size()) {
    const std::uint8_t b = At(s, i);
    if (IsSjisLeadByte(b))
      i += 2;
    else if (b < 0x20)
      break;
    else
      i += 1;
  }
  return i == s.size();
}

void CleanTextAfterReadInPlace(std::string& s) {
  if (TextIsCleanAfterRead(s)) return;
  const std::size_t n = s.size();
  std::size_t kept = 0;
  for (std::size_t i = 0; i < n;) {
    const std::uint8_t b = At(s, i);
    if (IsSjisLeadByte(b)) {
      if (i + 1 < n) {
        s[kept++] = s[i];
        s[kept++] = s[i + 1];
      }
      i += 2;
    } else {
      if (b >= 0x20) s[kept++] = s[i];
      i += 1;
    }
  }
  s.resize(kept);
}

std::string SjisUpper(const std::string& s) {
  return MapAsciiLetters(s, 'a', 'z', 'A' - 'a');
}

std::string SjisLower(const std::string& s) {
  return MapAsciiLetters(s, 'A', 'Z', 'a' - 'A');
}
