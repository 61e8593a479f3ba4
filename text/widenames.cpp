#include "text/widenames.h"

#include <memory>
#include <string_view>

#include "platform/casefold.h"
#include "platform/platform.h"
#include "platform/unicode.h"
#include "text/sjis.h"

namespace {

bool IsSeparator(char16_t u) {
  return u == u'\\' || u == u'/' || u == u':';
}

// One character of `units` at `i`: a surrogate pair is one.
std::size_t CharLength(const std::u16string& units, std::size_t i) {
  return (units[i] >= 0xD800 && units[i] <= 0xDBFF && i + 1 < units.size() &&
          units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF)
             ? 2
             : 1;
}

}  // namespace

std::string WideNameKey(const std::u16string& units) {
  std::string key, run;
  for (std::size_t i = 0; i < units.size();) {
    const std::size_t n = CharLength(units, i);
    std::string sjis;
    if (Utf16ToSjisExact(units.substr(i, n), sjis) && sjis.find('\0') == std::string::npos) {
      run += sjis;
    } else {
      key += SjisUpper(run);
      run.clear();
      for (std::size_t k = 0; k < n; ++k) {
        // Four letters "A" to "P", one per hexadecimal digit: never a lead
        // byte, a "." or a separator, which the name-part helpers look for.
        const char16_t u = platform::UpcaseFileNameUnit(units[i + k]);
        key += '\0';
        for (int shift = 12; shift >= 0; shift -= 4)
          key += static_cast<char>('A' + ((u >> shift) & 15));
      }
    }
    i += n;
  }
  return key + SjisUpper(run);
}

std::string ImageNameKey(const std::string& name, const std::u16string& wide) {
  return wide.empty() ? SjisUpper(name) : WideNameKey(wide);
}

std::u16string WideSpelling(const std::string& name, const std::u16string& wide) {
  return wide.empty() ? SjisToUtf16(name) : wide;
}

bool IsPlainWideName(const std::u16string& name) {
  if (name.empty()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char16_t u = name[i];
    if (u >= 0xD800 && u <= 0xDFFF) {
      // Only a whole pair is a character; a lone half has no UTF-8 form.
      if (u > 0xDBFF || CharLength(name, i) != 2) return false;
      ++i;
      continue;
    }
    if (u < 0x20 || u == 0x7F) return false;
    if (u < 0x80 && std::u16string_view(u"\\/:*?\"<>|").find(u) != std::u16string_view::npos)
      return false;
  }
  if (name.back() == u'.' || name.back() == u' ') return false;
  // The reserved device names are ASCII: only a base of ASCII can be one.
  std::u16string base = name.substr(0, name.find(u'.'));
  std::string ascii;
  for (char16_t u : base) {
    if (u >= 0x80) return true;
    ascii += static_cast<char>(u);
  }
  return IsPlainFileName(ascii + ".x");
}

std::u16string WidePathDerivedName(const std::u16string& path) {
  std::u16string name = path;
  for (char16_t& u : name)
    if (IsSeparator(u)) u = u'_';
  return name;
}
