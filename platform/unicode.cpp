#include "platform/unicode.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "platform/platform.h"

bool IsSjisLeadByte(std::uint8_t b) {
  return (b >= 0x80 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFD);
}

bool Utf16ToUtf8(const std::u16string& in, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < in.size(); ++i) {
    char32_t c = in[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= in.size() || in[i + 1] < 0xDC00 || in[i + 1] > 0xDFFF) return false;
      c = 0x10000 + ((c - 0xD800) << 10) + (in[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return false;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return true;
}

bool Utf8ToUtf16(const std::string& in, std::u16string& out) {
  out.clear();
  std::size_t i = 0;
  while (i < in.size()) {
    unsigned char b = static_cast<unsigned char>(in[i]);
    char32_t c;
    int extra;
    if (b < 0x80) {
      c = b, extra = 0;
    } else if ((b & 0xE0) == 0xC0) {
      c = b & 0x1F, extra = 1;
    } else if ((b & 0xF0) == 0xE0) {
      c = b & 0x0F, extra = 2;
    } else if ((b & 0xF8) == 0xF0) {
      c = b & 0x07, extra = 3;
    } else {
      return false;
    }
    if (i + extra >= in.size() && extra > 0) return false;
    for (int k = 1; k <= extra; ++k) {
      unsigned char t = static_cast<unsigned char>(in[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      c = (c << 6) | (t & 0x3F);
    }
    i += 1 + extra;
    // An overlong form, an encoded surrogate or a value past U+10FFFF is
    // malformed: accepting it would let two byte strings mean one text.
    static constexpr char32_t kShortest[] = {0, 0x80, 0x800, 0x10000};
    if (c < kShortest[extra] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) return false;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return true;
}

// ---- CP932 through tables ---------------------------------------------------
//
// The platform's converter defines CP932 here (iconv's table on POSIX,
// Windows' own elsewhere), but going through it character by character, by
// way of UTF-8, costs more than everything else a UTF-16 drawing needs. So
// its answers are asked for once, the first time a UTF-16 string comes
// along, and kept in two tables; a text the tables cannot vouch for (a byte
// that does not decode, a surrogate, a character that converts one way
// only) still goes through the converter as before, so every string
// converts exactly as the converter alone would convert it.

namespace {

bool IsSurrogate(char16_t u) {
  return u >= 0xD800 && u <= 0xDFFF;
}

// The conversions by way of the platform: the reference the tables are made
// from and the way for everything they do not cover.
std::u16string PlatformSjisToUtf16(const std::string& sjis) {
  std::u16string units;
  Utf8ToUtf16(platform::CodePageToUtf8(sjis), units);
  return units;
}

bool PlatformUtf16ToSjis(const std::u16string& units, std::string& sjis) {
  std::string utf8;
  if (!Utf16ToUtf8(units, utf8)) return false;
  return platform::DisplayToSjis(utf8, sjis);
}

bool PlatformUtf16ToSjisExact(const std::u16string& units, std::string& sjis) {
  return PlatformUtf16ToSjis(units, sjis) && PlatformSjisToUtf16(sjis) == units;
}

constexpr char16_t kNoUnit = 0xFFFF;
// Encoding entries: a single byte b is b, a pair is lead * 256 + trail
// (so 0x8000 and above); the two values below have no lead byte.
constexpr std::uint16_t kNoCode = 0xFFFF;   // no CP932 form at all
constexpr std::uint16_t kAskCode = 0xFFFE;  // the converter must decide

struct Cp932Tables {
  // The one unit a byte that is no lead byte decodes to, alone and among
  // others; kNoUnit when it does not decode to exactly one ordinary unit.
  std::array<char16_t, 256> single{};
  // The same for a lead byte and the byte after it, by lead then trail.
  std::array<std::array<char16_t, 256>, 256> pair{};
  // Per UTF-16 unit: its CP932 bytes when they decode back to it, else
  // kNoCode or kAskCode.
  std::vector<std::uint16_t> code = std::vector<std::uint16_t>(0x10000, kNoCode);
};

// One decoded unit is trusted only when it is a plain character: not the
// replacement character the lossy decoding puts for bad bytes, not half of
// a surrogate pair, not the U+FFFF that marks an empty entry.
bool Plain(char16_t u) {
  return u != 0xFFFD && u != kNoUnit && !IsSurrogate(u);
}

// Fills `t.pair` for `lead` and trails [from, from + count): the whole run
// in one conversion when every pair in it decodes to one plain unit, else
// halves. A converter that decodes pairs one by one gives back one unit per
// pair exactly when each pair alone gives one (a pair read as two
// characters would give two).
void DecodePairs(Cp932Tables& t, std::uint8_t lead, int from, int count) {
  std::string bytes;
  for (int i = 0; i < count; ++i) {
    bytes += static_cast<char>(lead);
    bytes += static_cast<char>(from + i);
  }
  const std::u16string units = PlatformSjisToUtf16(bytes);
  if (units.size() == static_cast<std::size_t>(count) &&
      std::all_of(units.begin(), units.end(), Plain)) {
    for (int i = 0; i < count; ++i) t.pair[lead][static_cast<std::size_t>(from + i)] = units[i];
    return;
  }
  // A run of pairs that all fail decodes to one U+FFFD each and stays
  // kNoUnit; most rows begin with 64 such trail bytes.
  if (count == 1 ||
      (units.size() == static_cast<std::size_t>(count) &&
       std::all_of(units.begin(), units.end(), [](char16_t u) { return u == 0xFFFD; })))
    return;
  DecodePairs(t, lead, from, count / 2);
  DecodePairs(t, lead, from + count / 2, count - count / 2);
}

// The entry for `u` when the converter encodes it as `bytes`: kept when the
// bytes are one character of the tables that decodes back to `u`.
std::uint16_t CodeFor(const Cp932Tables& t, char16_t u, const std::string& bytes) {
  const auto b0 = static_cast<std::uint8_t>(bytes[0]);
  if (bytes.size() == 1 && !IsSjisLeadByte(b0) && t.single[b0] == u) return b0;
  if (bytes.size() == 2 && IsSjisLeadByte(b0)) {
    const auto b1 = static_cast<std::uint8_t>(bytes[1]);
    if (t.pair[b0][b1] == u) return static_cast<std::uint16_t>(b0 << 8 | b1);
  }
  return kAskCode;
}

// Encodes `run` in one conversion when its bytes fall apart into one good
// character per unit, else its halves; a single unit the converter refuses
// has no CP932 form, one it encodes into anything else is left to it.
void EncodeUnits(Cp932Tables& t, const std::u16string& run) {
  std::string bytes;
  const bool converted = PlatformUtf16ToSjis(run, bytes);
  if (converted) {
    std::vector<std::uint16_t> codes;
    std::size_t i = 0;
    for (char16_t u : run) {
      if (i >= bytes.size()) break;
      const std::size_t n =
          IsSjisLeadByte(static_cast<std::uint8_t>(bytes[i])) && i + 1 < bytes.size() ? 2 : 1;
      const std::uint16_t c = CodeFor(t, u, bytes.substr(i, n));
      if (c == kAskCode) break;
      codes.push_back(c);
      i += n;
    }
    if (codes.size() == run.size() && i == bytes.size()) {
      for (std::size_t k = 0; k < run.size(); ++k) t.code[run[k]] = codes[k];
      return;
    }
  }
  if (run.size() == 1) {
    t.code[run[0]] = converted ? kAskCode : kNoCode;
    return;
  }
  const std::size_t half = run.size() / 2;
  EncodeUnits(t, run.substr(0, half));
  EncodeUnits(t, run.substr(half));
}

Cp932Tables BuildTables() {
  Cp932Tables t;
  t.single.fill(kNoUnit);
  for (auto& row : t.pair) row.fill(kNoUnit);
  std::vector<bool> decoded(0x10000, false);
  for (int b = 0; b < 256; ++b) {
    const std::u16string u = PlatformSjisToUtf16(std::string(1, static_cast<char>(b)));
    const bool one = u.size() == 1 && Plain(u[0]);
    if (IsSjisLeadByte(static_cast<std::uint8_t>(b))) {
      // Runs where Shift-JIS trail bytes begin and end, so that most runs
      // convert whole at the first try; the split only saves time.
      static constexpr int kRuns[] = {0x00, 0x40, 0x7F, 0x80, 0xFD, 0x100};
      for (std::size_t k = 0; k + 1 < std::size(kRuns); ++k)
        DecodePairs(t, static_cast<std::uint8_t>(b), kRuns[k], kRuns[k + 1] - kRuns[k]);
      // Windows' CP932 reads some of these bytes as characters of their own
      // (0x80 is U+0080, 0xFD is U+F8F1): the tables, which take them for
      // lead bytes, leave those characters to the converter.
      if (one) decoded[u[0]] = true;
      continue;
    }
    if (one) t.single[static_cast<std::size_t>(b)] = u[0];
  }
  // Only a unit that some bytes decode to can convert exactly; every other
  // one has no exact form, except U+FFFD, which the lossy decoding puts
  // for bytes that do not decode and is left to the converter.
  for (char16_t u : t.single)
    if (u != kNoUnit) decoded[u] = true;
  for (const auto& row : t.pair)
    for (char16_t u : row)
      if (u != kNoUnit) decoded[u] = true;
  std::u16string targets;
  for (std::size_t u = 0; u < decoded.size(); ++u)
    if (decoded[u]) targets += static_cast<char16_t>(u);
  for (std::size_t from = 0; from < targets.size(); from += 512)
    EncodeUnits(t, targets.substr(from, 512));
  t.code[0xFFFD] = kAskCode;
  return t;
}

// Built once, by whichever thread converts first; a function-local static
// is initialised exactly once even when threads race for it.
const Cp932Tables& Tables() {
  static const Cp932Tables tables = BuildTables();
  return tables;
}

// The tables' decoding into `out`, which has room for one unit per byte (no
// more is ever needed), or false when some byte is not theirs to decide.
bool DecodeByTables(std::string_view sjis, char16_t* out, std::size_t& count) {
  const Cp932Tables& t = Tables();
  const std::size_t n = sjis.size();
  char16_t* const begin = out;
  for (std::size_t i = 0; i < n;) {
    const auto b = static_cast<std::uint8_t>(sjis[i]);
    char16_t u;
    if (IsSjisLeadByte(b)) {
      if (i + 1 >= n) return false;
      u = t.pair[b][static_cast<std::uint8_t>(sjis[i + 1])];
      i += 2;
    } else {
      u = t.single[b];
      i += 1;
    }
    if (u == kNoUnit) return false;
    *out++ = u;
  }
  count = static_cast<std::size_t>(out - begin);
  return true;
}

enum class Encoded { Exact, NotExact, Ask };

// Into `out`, which has room for two bytes per unit (no more is ever needed).
Encoded EncodeByTables(std::u16string_view units, char* out, std::size_t& size) {
  const Cp932Tables& t = Tables();
  char* const begin = out;
  for (char16_t u : units) {
    if (IsSurrogate(u)) return Encoded::Ask;
    const std::uint16_t c = t.code[u];
    if (c == kNoCode) return Encoded::NotExact;
    if (c == kAskCode) return Encoded::Ask;
    if (c >= 0x100) *out++ = static_cast<char>(c >> 8);
    *out++ = static_cast<char>(c & 0xFF);
  }
  size = static_cast<std::size_t>(out - begin);
  return Encoded::Exact;
}

}  // namespace

std::u16string SjisToUtf16(const std::string& sjis) {
  std::u16string units(sjis.size(), u'\0');
  std::size_t count = 0;
  if (DecodeByTables(sjis, units.data(), count)) {
    units.resize(count);
    return units;
  }
  units.clear();
  return PlatformSjisToUtf16(sjis);
}

bool SjisToUtf16ByTables(std::string_view sjis, char16_t* out, std::size_t& count) {
  return DecodeByTables(sjis, out, count);
}

bool Utf16ToSjisExact(std::u16string_view units, std::string& sjis) {
  // A short text is encoded on the stack first, so that a result that fits
  // in the string's own room (nearly every one) allocates nothing.
  char small[32];
  const bool onStack = units.size() * 2 <= sizeof small;
  if (!onStack) sjis.resize(units.size() * 2);
  std::size_t size = 0;
  switch (EncodeByTables(units, onStack ? small : sjis.data(), size)) {
    case Encoded::Exact:
      if (onStack)
        sjis.assign(small, size);
      else
        sjis.resize(size);
      return true;
    case Encoded::NotExact:
      sjis.clear();
      return false;
    case Encoded::Ask:
      break;
  }
  sjis.clear();
  return PlatformUtf16ToSjisExact(std::u16string(units), sjis);
}

std::string Utf16ToSjisLossy(const std::u16string& units) {
  const Cp932Tables& t = Tables();
  std::string out;
  std::string one;
  for (std::size_t i = 0; i < units.size(); ++i) {
    std::size_t n = (units[i] >= 0xD800 && units[i] <= 0xDBFF && i + 1 < units.size()) ? 2 : 1;
    const std::uint16_t c = IsSurrogate(units[i]) ? kAskCode : t.code[units[i]];
    if (c == kNoCode) {
      out += '?';
    } else if (c != kAskCode) {
      if (c >= 0x100) out += static_cast<char>(c >> 8);
      out += static_cast<char>(c & 0xFF);
    } else if (Utf16ToSjisExact(units.substr(i, n), one)) {
      out += one;
    } else {
      out += '?';
    }
    i += n - 1;
  }
  return out;
}

namespace {

constexpr char kUnitEscape = '\x1B';  // never part of a text of ours otherwise
constexpr char kHex[] = "0123456789ABCDEF";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The unit an escape at `i` stands for, if one is there.
bool EscapedUnit(const std::string& text, std::size_t i, char16_t& unit) {
  if (i + 6 > text.size() || text[i] != kUnitEscape || text[i + 1] != 'u') return false;
  unsigned value = 0;
  for (std::size_t k = i + 2; k < i + 6; ++k) {
    const int digit = HexValue(text[k]);
    if (digit < 0) return false;
    value = value * 16 + static_cast<unsigned>(digit);
  }
  unit = static_cast<char16_t>(value);
  return true;
}

}  // namespace

std::string PathInText(const std::u16string& path) {
  std::string sjis;
  if (Utf16ToSjisExact(path, sjis)) return sjis;
  std::string out, one;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const bool pair = path[i] >= 0xD800 && path[i] <= 0xDBFF && i + 1 < path.size() &&
                      path[i + 1] >= 0xDC00 && path[i + 1] <= 0xDFFF;
    const std::size_t n = pair ? 2 : 1;
    if (Utf16ToSjisExact(path.substr(i, n), one)) {
      out += one;
    } else {
      for (std::size_t k = i; k < i + n; ++k) {
        out += kUnitEscape;
        out += 'u';
        for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(path[k] >> shift) & 15];
      }
    }
    i += n - 1;
  }
  return out;
}

std::u16string TextForPerson(const std::string& text) {
  std::u16string out;
  std::size_t run = 0;
  char16_t unit = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (EscapedUnit(text, i, unit)) {
      out += SjisToUtf16(text.substr(run, i - run));
      out += unit;
      i += 6;
      run = i;
    } else {
      // An escape never starts inside a double-byte character.
      i += IsSjisLeadByte(static_cast<std::uint8_t>(text[i])) && i + 1 < text.size() ? 2 : 1;
    }
  }
  return out + SjisToUtf16(text.substr(run));
}
