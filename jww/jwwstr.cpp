#include "jww/jwwstr.h"

#include <limits>
#include <stdexcept>

#include "platform/unicode.h"

struct JwwStr::Wide {
  std::string text;
  std::u16string units;
};

JwwStr::JwwStr(const JwwStr& other) : raw_{} {
  switch (other.Kind()) {
    case kInlined:
      std::memcpy(raw_, other.raw_, kSize);
      return;
    case kHeap:
      std::memcpy(Room(other.HeapSize()), other.Pointer<char>(), other.HeapSize());
      break;
    default: {
      Wide* wide = new Wide(*other.Pointer<Wide>());
      std::memcpy(raw_, &wide, sizeof wide);
      SetKind(kWide);
    }
  }
  SetForm(other.form());
}

JwwStr& JwwStr::operator=(const JwwStr& other) {
  if (this != &other) *this = JwwStr(other);
  return *this;
}

JwwStr JwwStr::FromUnits(std::u16string_view units) {
  std::string sjis;
  if (!Utf16ToSjisExact(units, sjis)) {
    std::u16string kept(units);
    const std::string rendering = Utf16ToSjisLossy(kept);
    return Verbatim(rendering, std::move(kept));
  }
  JwwStr s(sjis);
  s.SetForm(Form::Utf16);
  return s;
}

JwwStr JwwStr::Verbatim(std::string_view rendering, std::u16string units) {
  JwwStr s;
  Wide* wide = new Wide{std::string(rendering), std::move(units)};
  std::memcpy(s.raw_, &wide, sizeof wide);
  s.SetKind(kWide);
  s.SetForm(Form::Utf16);
  return s;
}

std::string_view JwwStr::text() const noexcept {
  switch (Kind()) {
    case kInlined:
      return {raw_, static_cast<std::uint8_t>(raw_[kLength])};
    case kHeap:
      return {Pointer<char>(), HeapSize()};
    default:
      return Pointer<Wide>()->text;
  }
}

std::u16string_view JwwStr::units() const noexcept {
  if (Kind() != kWide) return {};
  return Pointer<Wide>()->units;
}

void JwwStr::Assign(std::string_view bytes) {
  // Built apart first: `bytes` may be this string's own text.
  JwwStr fresh(bytes);
  fresh.SetForm(form());
  *this = std::move(fresh);
}

char* JwwStr::AssignSpace(std::size_t n) {
  const Form kept = form();
  char* at = Room(n);
  SetForm(kept);
  return at;
}

bool JwwStr::operator==(const JwwStr& other) const noexcept {
  return form() == other.form() && verbatim() == other.verbatim() && text() == other.text() &&
         units() == other.units();
}

void JwwStr::Release() noexcept {
  if (Kind() == kHeap)
    delete[] Pointer<char>();
  else if (Kind() == kWide)
    delete Pointer<Wide>();
  const char flags = raw_[kFlags];
  std::memset(raw_, 0, kSize);
  raw_[kFlags] = static_cast<char>(flags & kUtf16);
}

char* JwwStr::Room(std::size_t n) {
  Release();
  if (n <= kInline) {
    raw_[kLength] = static_cast<char>(n);
    return raw_;
  }
  // A file states a byte string's length in 32 bits.
  if (n > std::numeric_limits<std::uint32_t>::max()) throw std::length_error("JwwStr: too long");
  char* heap = new char[n];
  const auto size = static_cast<std::uint32_t>(n);
  std::memcpy(raw_, &heap, sizeof heap);
  std::memcpy(raw_ + sizeof(void*), &size, sizeof size);
  SetKind(kHeap);
  return heap;
}
