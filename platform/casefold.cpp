#include "platform/casefold.h"

#include <cstdint>
#include <iterator>

namespace platform {

namespace {

// The lower-case letters and the distance to their capitals, by runs.
// `step` 2 is a run of pairs with the lower letter at every other unit
// from `first` (Ā ā Ă ă …). Windows' table upper-cases no letter into ASCII:
// ı (dotless i) and ſ (long s) stay, or a name would meet a plain-ASCII
// one that Windows keeps apart.
struct Run {
  char16_t first, last;
  std::int32_t delta;
  std::uint8_t step;
};

constexpr Run kRuns[] = {
    {0x0061, 0x007A, -32, 1},   // a-z
    {0x00B5, 0x00B5, 743, 1},   // µ → Μ
    {0x00E0, 0x00F6, -32, 1},   // à-ö
    {0x00F8, 0x00FE, -32, 1},   // ø-þ
    {0x00FF, 0x00FF, 121, 1},   // ÿ → Ÿ
    {0x0101, 0x012F, -1, 2},    // ā … į
    {0x0133, 0x0137, -1, 2},    // ĳ … ķ
    {0x013A, 0x0148, -1, 2},    // ĺ … ň
    {0x014B, 0x0177, -1, 2},    // ŋ … ŷ
    {0x017A, 0x017E, -1, 2},    // ź … ž
    {0x0180, 0x0180, 195, 1},   // ƀ
    {0x0183, 0x0185, -1, 2},    // ƃ ƅ
    {0x0188, 0x0188, -1, 1},    // ƈ
    {0x018C, 0x018C, -1, 1},    // ƌ
    {0x0192, 0x0192, -1, 1},    // ƒ
    {0x0195, 0x0195, 97, 1},    // ƕ
    {0x0199, 0x0199, -1, 1},    // ƙ
    {0x019A, 0x019A, 163, 1},   // ƚ
    {0x019E, 0x019E, 130, 1},   // ƞ
    {0x01A1, 0x01A5, -1, 2},    // ơ ƣ ƥ
    {0x01A8, 0x01A8, -1, 1},    // ƨ
    {0x01AD, 0x01AD, -1, 1},    // ƭ
    {0x01B0, 0x01B0, -1, 1},    // ư
    {0x01B4, 0x01B6, -1, 2},    // ƴ ƶ
    {0x01B9, 0x01B9, -1, 1},    // ƹ
    {0x01BD, 0x01BD, -1, 1},    // ƽ
    {0x01BF, 0x01BF, 56, 1},    // ƿ
    {0x01C5, 0x01C5, -1, 1},    // ǅ
    {0x01C6, 0x01C6, -2, 1},    // ǆ
    {0x01C8, 0x01C8, -1, 1},    // ǈ
    {0x01C9, 0x01C9, -2, 1},    // ǉ
    {0x01CB, 0x01CB, -1, 1},    // ǋ
    {0x01CC, 0x01CC, -2, 1},    // ǌ
    {0x01CE, 0x01DC, -1, 2},    // ǎ … ǜ
    {0x01DD, 0x01DD, -79, 1},   // ǝ
    {0x01DF, 0x01EF, -1, 2},    // ǟ … ǯ
    {0x01F2, 0x01F2, -1, 1},    // ǲ
    {0x01F3, 0x01F3, -2, 1},    // ǳ
    {0x01F5, 0x01F5, -1, 1},    // ǵ
    {0x01F9, 0x021F, -1, 2},    // ǹ … ȟ
    {0x0223, 0x0233, -1, 2},    // ȣ … ȳ
    {0x023C, 0x023C, -1, 1},    // ȼ
    {0x0242, 0x0242, -1, 1},    // ɂ
    {0x0247, 0x024F, -1, 2},    // ɇ … ɏ
    {0x0253, 0x0253, -210, 1},  // ɓ
    {0x0254, 0x0254, -206, 1},  // ɔ
    {0x0256, 0x0257, -205, 1},  // ɖ ɗ
    {0x0259, 0x0259, -202, 1},  // ə
    {0x025B, 0x025B, -203, 1},  // ɛ
    {0x0260, 0x0260, -205, 1},  // ɠ
    {0x0263, 0x0263, -207, 1},  // ɣ
    {0x0268, 0x0268, -209, 1},  // ɨ
    {0x0269, 0x0269, -211, 1},  // ɩ
    {0x026F, 0x026F, -211, 1},  // ɯ
    {0x0272, 0x0272, -213, 1},  // ɲ
    {0x0275, 0x0275, -214, 1},  // ɵ
    {0x0280, 0x0280, -218, 1},  // ʀ
    {0x0283, 0x0283, -218, 1},  // ʃ
    {0x0288, 0x0288, -218, 1},  // ʈ
    {0x028A, 0x028B, -217, 1},  // ʊ ʋ
    {0x0292, 0x0292, -219, 1},  // ʒ
    {0x0371, 0x0373, -1, 2},    // ͱ ͳ
    {0x0377, 0x0377, -1, 1},    // ͷ
    {0x037B, 0x037D, 130, 1},   // ͻ-ͽ
    {0x03AC, 0x03AC, -38, 1},   // ά
    {0x03AD, 0x03AF, -37, 1},   // έ-ί
    {0x03B1, 0x03C1, -32, 1},   // α-ρ
    {0x03C2, 0x03C2, -31, 1},   // ς → Σ
    {0x03C3, 0x03CB, -32, 1},   // σ-ϋ
    {0x03CC, 0x03CC, -64, 1},   // ό
    {0x03CD, 0x03CE, -63, 1},   // ύ ώ
    {0x03D9, 0x03EF, -1, 2},    // ϙ … ϯ
    {0x03F8, 0x03F8, -1, 1},    // ϸ
    {0x03FB, 0x03FB, -1, 1},    // ϻ
    {0x0430, 0x044F, -32, 1},   // а-я
    {0x0450, 0x045F, -80, 1},   // ѐ-џ
    {0x0461, 0x0481, -1, 2},    // ѡ … ҁ
    {0x048B, 0x04BF, -1, 2},    // ҋ … ҿ
    {0x04C2, 0x04CE, -1, 2},    // ӂ … ӎ
    {0x04CF, 0x04CF, -15, 1},   // ӏ
    {0x04D1, 0x052F, -1, 2},    // ӑ … ԯ
    {0x0561, 0x0586, -48, 1},   // Armenian
    {0x1E01, 0x1E95, -1, 2},    // ḁ … ẕ
    {0x1EA1, 0x1EFF, -1, 2},    // ạ … ỿ
    {0x1F00, 0x1F07, 8, 1},     // Greek with breathings
    {0x1F10, 0x1F15, 8, 1},     {0x1F20, 0x1F27, 8, 1},  {0x1F30, 0x1F37, 8, 1},
    {0x1F40, 0x1F45, 8, 1},     {0x1F51, 0x1F57, 8, 2},  {0x1F60, 0x1F67, 8, 1},
    {0x2170, 0x217F, -16, 1},                             // ⅰ-ⅿ
    {0x2184, 0x2184, -1, 1},                              // ↄ
    {0x24D0, 0x24E9, -26, 1},                             // ⓐ-ⓩ
    {0x2C30, 0x2C5F, -48, 1},                             // Glagolitic
    {0x2C61, 0x2C61, -1, 1},                              // ⱡ
    {0x2C68, 0x2C6C, -1, 2},                              // ⱨ ⱪ ⱬ
    {0x2C73, 0x2C73, -1, 1},                              // ⱳ
    {0x2C76, 0x2C76, -1, 1},                              // ⱶ
    {0x2C81, 0x2CE3, -1, 2},                              // Coptic
    {0x2D00, 0x2D25, -7264, 1},                           // Georgian Nuskhuri
    {0xA641, 0xA66D, -1, 2},                              // Cyrillic Extended-B
    {0xA681, 0xA69B, -1, 2},    {0xA723, 0xA72F, -1, 2},  // Latin Extended-D
    {0xA733, 0xA76F, -1, 2},    {0xA77A, 0xA77C, -1, 2}, {0xA77F, 0xA787, -1, 2},
    {0xA78C, 0xA78C, -1, 1},    {0xA791, 0xA793, -1, 2}, {0xA797, 0xA7A9, -1, 2},
    {0xFF41, 0xFF5A, -32, 1},  // ａ-ｚ
};

}  // namespace

char16_t UpcaseFileNameUnit(char16_t u) {
  if (u < 0x61) return u;
  if (u <= 0x7A) return static_cast<char16_t>(u - 32);
  // The runs are in order: the last one that starts at or before `u`.
  const Run* lo = std::begin(kRuns);
  const Run* hi = std::end(kRuns);
  while (hi - lo > 1) {
    const Run* mid = lo + (hi - lo) / 2;
    if (mid->first <= u)
      lo = mid;
    else
      hi = mid;
  }
  if (u < lo->first || u > lo->last || (u - lo->first) % lo->step != 0) return u;
  return static_cast<char16_t>(u + lo->delta);
}

std::u16string FileNameKey(std::u16string_view name) {
  std::u16string key(name);
  for (char16_t& u : key) u = UpcaseFileNameUnit(u);
  return key;
}

char32_t NextFoldedUtf8(const char*& p) {
  const auto b = static_cast<unsigned char>(*p++);
  if (b < 0x80) return b >= 'a' && b <= 'z' ? b - 32 : b;
  const int length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 ? 2 : 0;
  if (length == 0 || b > 0xF4) return 0x80000000u | b;
  char32_t c = b & (0x7F >> length);
  for (int k = 1; k < length; ++k) {
    const auto t = static_cast<unsigned char>(p[k - 1]);
    if ((t & 0xC0) != 0x80) return 0x80000000u | b;
    c = (c << 6) | (t & 0x3F);
  }
  // Overlong forms and surrogates are no characters either.
  if ((length == 3 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) ||
      (length == 4 && (c < 0x10000 || c > 0x10FFFF)))
    return 0x80000000u | b;
  p += length - 1;
  return c < 0x10000 ? UpcaseFileNameUnit(static_cast<char16_t>(c)) : c;
}

}  // namespace platform
