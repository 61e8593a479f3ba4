// A string of a drawing, as small as a record can hold a million of.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

// Inside the program text is Shift-JIS bytes; current Jw_cad releases store
// strings as UTF-16 (marked FF FE FF), older ones as bytes. A string
// remembers its stored form so that it is written back in it. A UTF-16
// string with a character CP932 cannot hold keeps its code units (`units`)
// and is written back from them unchanged; `text` then holds a rendering
// with "?" for such characters, good for nothing but display.
//
// Sixteen bytes, because a text entity holds two and a drawing may hold a
// million: a text of up to 14 bytes (nearly every font name and text) lives
// in the object itself, a longer one in a heap block of its exact size, and
// the rare verbatim string in one heap object with its units.
class JwwStr {
 public:
  enum class Form : std::uint8_t { Bytes, Utf16 };
  // The longest text held in the object itself.
  static constexpr std::size_t kInline = 14;

  JwwStr() noexcept : raw_{} {}
  // NOLINTNEXTLINE: byte text converts freely, as a plain string would
  JwwStr(std::string_view bytes) : raw_{} {
    if (!bytes.empty()) std::memcpy(Room(bytes.size()), bytes.data(), bytes.size());
  }
  JwwStr(const std::string& bytes) : JwwStr(std::string_view(bytes)) {}  // NOLINT
  JwwStr(const char* bytes) : JwwStr(std::string_view(bytes)) {}         // NOLINT
  JwwStr(const JwwStr& other);
  JwwStr(JwwStr&& other) noexcept : raw_{} { Take(other); }
  JwwStr& operator=(const JwwStr& other);
  JwwStr& operator=(JwwStr&& other) noexcept {
    if (this != &other) {
      Release();
      Take(other);
    }
    return *this;
  }
  ~JwwStr() {
    if (Kind() != kInlined) Release();
  }

  // A string stored as UTF-16: its Shift-JIS text when that gives the units
  // back exactly, else verbatim.
  static JwwStr FromUnits(std::u16string_view units);
  // A verbatim UTF-16 string with `rendering` as its text.
  static JwwStr Verbatim(std::string_view rendering, std::u16string units);

  std::string_view text() const noexcept;
  Form form() const noexcept { return (raw_[kFlags] & kUtf16) ? Form::Utf16 : Form::Bytes; }
  void SetForm(Form form) noexcept {
    raw_[kFlags] = static_cast<char>((raw_[kFlags] & ~kUtf16) | (form == Form::Utf16 ? kUtf16 : 0));
  }
  bool verbatim() const noexcept { return Kind() == kWide; }
  // The stored units of a verbatim string; empty otherwise.
  std::u16string_view units() const noexcept;

  // Replaces the text, keeping the stored form (a rewritten reference keeps
  // the form of the text it replaces).
  void Assign(std::string_view bytes);
  // Assign for a reader: the text becomes `n` bytes, which the caller writes
  // at the place returned before anything else reads the string.
  char* AssignSpace(std::size_t n);

  bool operator==(const JwwStr& other) const noexcept;

 private:
  struct Wide;
  static constexpr std::size_t kSize = 16;
  static constexpr std::size_t kLength = 14;  // of an inline text
  static constexpr std::size_t kFlags = 15;
  // The flags: where the text lives (low two bits), then the form.
  static constexpr char kInlined = 0, kHeap = 1, kWide = 2, kWhere = 3, kUtf16 = 4;

  char Kind() const noexcept { return static_cast<char>(raw_[kFlags] & kWhere); }
  void SetKind(char kind) noexcept {
    raw_[kFlags] = static_cast<char>((raw_[kFlags] & ~kWhere) | kind);
  }
  // The pointer and the byte count of a heap text, or the Wide, sit at the
  // front of raw_; memcpy keeps the reads of them well defined.
  template <typename T>
  T* Pointer() const noexcept {
    T* p;
    std::memcpy(&p, raw_, sizeof p);
    return p;
  }
  std::uint32_t HeapSize() const noexcept {
    std::uint32_t n;
    std::memcpy(&n, raw_ + sizeof(void*), sizeof n);
    return n;
  }
  // Frees what the text holds, leaving an empty inline text of the same form.
  void Release() noexcept;
  // Release, then room for a text of `n` bytes.
  char* Room(std::size_t n);
  // Moves `other`'s contents here (this holds nothing) and empties it.
  void Take(JwwStr& other) noexcept {
    std::memcpy(raw_, other.raw_, kSize);
    std::memset(other.raw_, 0, kSize);
  }

  alignas(void*) char raw_[kSize];
};

static_assert(sizeof(void*) != 8 || sizeof(JwwStr) == 16);
static_assert(sizeof(JwwStr) <= 16);
static_assert(sizeof(void*) + sizeof(std::uint32_t) <= 14);
