#include "jww/jwwio.h"

#include <algorithm>

#include "platform/unicode.h"
#include "text/sjis.h"

std::string IoErrorText(int code) {
  // "I/O エラー (%d)"
  return "I/O \x83\x47\x83\x89\x81\x5B (" + std::to_string(code) + ")";
}

// ---- reading -------------------------------------------------------------

bool JwwReader::Fill() {
  begin_ = 0;
  end_ = 0;
  long long got = file_.Read(buffer_.get(), kBufferSize);
  if (got < 0) throw JwwIoError(100, "read error at byte " + std::to_string(consumed_));
  end_ = static_cast<std::size_t>(got);
  return got > 0;
}

std::size_t JwwReader::ReadSome(void* out, std::size_t count) {
  auto* dst = static_cast<std::uint8_t*>(out);
  std::size_t done = 0;
  while (done < count) {
    if (begin_ == end_ && !Fill()) break;
    std::size_t n = std::min(count - done, end_ - begin_);
    std::memcpy(dst + done, buffer_.get() + begin_, n);
    begin_ += n;
    done += n;
    consumed_ += static_cast<long long>(n);
  }
  return done;
}

void JwwReader::ReadExactSlow(void* out, std::size_t count) {
  long long at = consumed_;
  if (ReadSome(out, count) != count)
    throw JwwIoError(100, "the file ends at byte " + std::to_string(consumed_) +
                              " inside an item at byte " + std::to_string(at));
}

long long JwwReader::BytesLeft() {
  if (size_ == -2) size_ = file_.Size();
  return size_ < 0 ? -1 : std::max(0LL, size_ - consumed_);
}

std::vector<std::uint8_t> JwwReader::ReadBlock(std::size_t count) {
  std::vector<std::uint8_t> v(count);
  ReadExact(v.data(), count);
  return v;
}

// ---- writing -------------------------------------------------------------

void JwwWriter::WriteExactSlow(const void* data, std::size_t count) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  while (count > 0) {
    if (fill_ == kBufferSize) Flush();
    const std::size_t n = std::min(count, kBufferSize - fill_);
    std::memcpy(buffer_.get() + fill_, p, n);
    fill_ += n;
    p += n;
    count -= n;
  }
}

void JwwWriter::WriteZeros(std::size_t count) {
  while (count > 0) {
    if (fill_ == kBufferSize) Flush();
    const std::size_t n = std::min(count, kBufferSize - fill_);
    std::memset(buffer_.get() + fill_, 0, n);
    fill_ += n;
    count -= n;
  }
}

void JwwWriter::Flush() {
  std::size_t done = 0;
  while (done < fill_) {
    long long n = file_.Write(buffer_.get() + done, fill_ - done);
    if (n <= 0)
      throw JwwIoError(101, "could not write at byte " + std::to_string(written_ + done) +
                                " (disk full or write error)");
    done += static_cast<std::size_t>(n);
  }
  written_ += static_cast<long long>(fill_);
  fill_ = 0;
}

// ---- strings ---------------------------------------------------------------
//
// Byte form:   n < 255      n, bytes
//              n < 65534    FF, n as WORD, bytes
//              otherwise    FF, FF FF, n as DWORD, bytes
// UTF-16 form: FF FE FF, then the length in code units as above, then the
//              units little-endian.
// The WORD FFFE after a first FF is the UTF-16 marker, so a byte string of
// 65,534 bytes must take the 32-bit form: written as a WORD it would read
// back as a UTF-16 string.

namespace {

std::uint32_t ReadLength(JwwReader& r, std::uint8_t first, bool* utf16Marker) {
  if (first != 0xFF) return first;
  std::uint16_t w = r.ReadWord();
  if (w == 0xFFFE && utf16Marker) {
    *utf16Marker = true;
    return 0;
  }
  if (w == 0xFFFF) return static_cast<std::uint32_t>(r.ReadDword());
  return w;
}

void WriteLength(JwwWriter& w, std::size_t n) {
  if (n < 0xFF) {
    w.WriteByte(static_cast<std::uint8_t>(n));
  } else if (n < 0xFFFE) {
    w.WriteByte(0xFF);
    w.WriteWord(static_cast<std::uint16_t>(n));
  } else {
    w.WriteByte(0xFF);
    w.WriteWord(0xFFFF);
    w.WriteDword(static_cast<std::int32_t>(static_cast<std::uint32_t>(n)));
  }
}

// A corrupt length must not allocate gigabytes: the first 65,536 units are
// taken at once, then pieces as large as what has arrived, so the string
// never holds much more than twice what the file really had.
constexpr std::uint32_t kFirstPiece = 1 << 16;

template <typename Str>
Str ReadUnits(JwwReader& r, std::uint32_t count) {
  using Unit = typename Str::value_type;
  Str s;
  std::size_t have = 0;
  while (have < count) {
    const std::size_t n = std::min<std::size_t>(count - have, have == 0 ? kFirstPiece : have);
    s.resize(have + n);
    r.ReadExact(s.data() + have, n * sizeof(Unit));
    have += n;
  }
  return s;
}

// The units as the file holds them, little-endian, like every other item.
void WriteUnits(JwwWriter& w, std::u16string_view units) {
  w.WriteByte(0xFF);
  w.WriteWord(0xFFFE);
  WriteLength(w, units.size());
  w.WriteExact(units.data(), units.size() * sizeof(char16_t));
}

}  // namespace

JwwStr ReadJwwString(JwwReader& r) {
  bool utf16 = false;
  std::uint32_t n = ReadLength(r, r.ReadByte(), &utf16);
  if (!utf16) {
    JwwStr s;
    // Read where the string keeps them; only a length past the first piece
    // ReadUnits takes at once can be a corrupt one.
    if (n <= kFirstPiece)
      r.ReadExact(s.AssignSpace(n), n);
    else
      s.Assign(ReadUnits<std::string>(r, n));
    return s;
  }
  n = ReadLength(r, r.ReadByte(), nullptr);
  if (n > 0x7FFFFFFF) throw JwwIoError(100, "a string length past any file's size");
  if (n <= JwwStr::kInline) {
    // Units that may fit the string's own room pass through the stack.
    char16_t units[JwwStr::kInline];
    r.ReadExact(units, n * sizeof(char16_t));
    return JwwStr::FromUnits(std::u16string_view(units, n));
  }
  return JwwStr::FromUnits(ReadUnits<std::u16string>(r, n));
}

JwwStr ReadJwwName(JwwReader& r) {
  JwwStr s = ReadJwwString(r);
  if (s.verbatim()) {
    const std::u16string_view units = s.units();
    if (std::none_of(units.begin(), units.end(), [](char16_t u) { return u < 0x20; })) return s;
    std::u16string kept;
    for (char16_t u : units)
      if (u >= 0x20) kept += u;
    return JwwStr::FromUnits(kept);
  }
  if (!TextIsCleanAfterRead(s.text())) {
    std::string text(s.text());
    CleanTextAfterReadInPlace(text);
    s.Assign(text);
  }
  return s;
}

void WriteJwwString(JwwWriter& w, const JwwStr& s) {
  const std::string_view text = s.text();
  if (s.form() == JwwStr::Form::Bytes) {
    WriteLength(w, text.size());
    w.WriteExact(text.data(), text.size());
    return;
  }
  if (s.verbatim()) return WriteUnits(w, s.units());
  // A text held in the object converts on the stack.
  char16_t units[JwwStr::kInline];
  std::size_t count = 0;
  if (text.size() <= JwwStr::kInline && SjisToUtf16ByTables(text, units, count))
    WriteUnits(w, std::u16string_view(units, count));
  else
    WriteUnits(w, SjisToUtf16(std::string(text)));
}

void WriteCleanJwwString(JwwWriter& w, const JwwStr& s) {
  if (!s.verbatim() && TextIsCleanForWrite(s.text())) return WriteJwwString(w, s);
  WriteJwwString(w, CleanForWrite(s));
}

JwwStr CleanForWrite(const JwwStr& s) {
  if (!s.verbatim()) {
    JwwStr out(CleanTextForWrite(std::string(s.text())));
    out.SetForm(s.form());
    return out;
  }
  // The same cleaning on the stored units, so that characters CP932 cannot
  // hold survive it.
  // A pair is dropped as its caret and "m" meet, as in the byte form.
  std::u16string kept;
  for (char16_t u : s.units()) {
    if (u < 0x20) continue;
    if (u == u'm' && !kept.empty() && kept.back() == u'^') {
      kept.pop_back();
      continue;
    }
    kept += u;
  }
  if (kept.empty() && !s.units().empty()) kept.push_back(u' ');
  return JwwStr::FromUnits(kept);
}

// ---- attribute block -------------------------------------------------------

TEntJwwAttr ParseEntityAttr(ByteCursor& c, std::int32_t version) {
  TEntJwwAttr a;
  a.Group = c.Dword();
  a.PenStyle = c.Byte();
  a.PenColor = c.Word();
  if (HasPenWidth(version)) a.PenWidth = c.Word();
  a.Layer = c.Word();
  a.LayerGroup = c.Word();
  a.Flags = c.Word();
  return a;
}

TEntJwwAttr ReadEntityAttr(JwwReader& r, std::int32_t version) {
  std::uint8_t b[15];
  std::size_t n = HasPenWidth(version) ? 15 : 13;
  r.ReadExact(b, n);
  ByteCursor c(b, n);
  return ParseEntityAttr(c, version);
}

void CopyEntityAttr(const TEntJwwAttr& source, TEntJwwAttr& destination) {
  destination = source;
}
