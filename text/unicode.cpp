#include "text/unicode.h"

#include "platform/platform.h"

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

std::u16string SjisToUtf16(const std::string& sjis) {
  std::u16string units;
  Utf8ToUtf16(platform::SjisToDisplay(sjis), units);
  return units;
}

bool Utf16ToSjisExact(const std::u16string& units, std::string& sjis) {
  std::string utf8;
  if (!Utf16ToUtf8(units, utf8)) return false;
  if (!platform::DisplayToSjis(utf8, sjis)) return false;
  return SjisToUtf16(sjis) == units;
}

std::string Utf16ToSjisLossy(const std::u16string& units) {
  std::string out;
  for (std::size_t i = 0; i < units.size(); ++i) {
    std::size_t n = (units[i] >= 0xD800 && units[i] <= 0xDBFF && i + 1 < units.size()) ? 2 : 1;
    std::string one;
    if (Utf16ToSjisExact(units.substr(i, n), one))
      out += one;
    else
      out += '?';
    i += n - 1;
  }
  return out;
}
