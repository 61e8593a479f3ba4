#include "jww/jwwio.h"

#include <algorithm>

#include "text/sjis.h"
#include "text/unicode.h"

std::string IoErrorText(int code) {
  // "I/O エラー (%d)"
  return "I/O \x83\x47\x83\x89\x81\x5B (" + std::to_string(code) + ")";
}

// ---- reading -------------------------------------------------------------

bool JwwReader::Fill() {
  begin_ = 0;
  end_ = 0;
  long long got = file_.Read(buffer_.data(), buffer_.size());
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
    std::memcpy(dst + done, buffer_.data() + begin_, n);
    begin_ += n;
    done += n;
    consumed_ += static_cast<long long>(n);
  }
  return done;
}

void JwwReader::ReadExact(void* out, std::size_t count) {
  long long at = consumed_;
  if (ReadSome(out, count) != count)
    throw JwwIoError(100, "the file ends at byte " + std::to_string(consumed_) +
                              " inside an item at byte " + std::to_string(at));
}

std::uint8_t JwwReader::ReadByte() {
  std::uint8_t v;
  ReadExact(&v, 1);
  return v;
}

std::uint16_t JwwReader::ReadWord() {
  std::uint8_t b[2];
  ReadExact(b, 2);
  return ByteCursor(b, 2).Word();
}

std::int32_t JwwReader::ReadDword() {
  std::uint8_t b[4];
  ReadExact(b, 4);
  return ByteCursor(b, 4).Dword();
}

double JwwReader::ReadDouble() {
  std::uint8_t b[8];
  ReadExact(b, 8);
  return ByteCursor(b, 8).Double();
}

std::vector<std::uint8_t> JwwReader::ReadBlock(std::size_t count) {
  std::vector<std::uint8_t> v(count);
  ReadExact(v.data(), count);
  return v;
}

// ---- writing -------------------------------------------------------------

void JwwWriter::WriteExact(const void* data, std::size_t count) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  buffer_.insert(buffer_.end(), p, p + count);
  if (buffer_.size() >= 64 * 1024) Flush();
}

void JwwWriter::WriteWord(std::uint16_t v) {
  ByteSink s;
  s.Word(v);
  WriteExact(s.bytes.data(), s.bytes.size());
}

void JwwWriter::WriteDword(std::int32_t v) {
  ByteSink s;
  s.Dword(v);
  WriteExact(s.bytes.data(), s.bytes.size());
}

void JwwWriter::WriteDouble(double v) {
  ByteSink s;
  s.Double(v);
  WriteExact(s.bytes.data(), s.bytes.size());
}

void JwwWriter::WriteZeros(std::size_t count) {
  buffer_.insert(buffer_.end(), count, 0);
  if (buffer_.size() >= 64 * 1024) Flush();
}

void JwwWriter::Flush() {
  std::size_t done = 0;
  while (done < buffer_.size()) {
    long long n = file_.Write(buffer_.data() + done, buffer_.size() - done);
    if (n <= 0)
      throw JwwIoError(101, "could not write at byte " + std::to_string(written_ + done) +
                                " (disk full or write error)");
    done += static_cast<std::size_t>(n);
  }
  written_ += static_cast<long long>(buffer_.size());
  buffer_.clear();
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

// A corrupt length must not allocate gigabytes: the bytes are taken in
// pieces, and the string grows only as far as the file really has data.
std::string ReadBytes(JwwReader& r, std::uint32_t count) {
  std::string s;
  s.reserve(std::min<std::uint32_t>(count, 1 << 16));
  char piece[4096];
  while (count > 0) {
    std::size_t n = std::min<std::size_t>(count, sizeof piece);
    r.ReadExact(piece, n);
    s.append(piece, n);
    count -= static_cast<std::uint32_t>(n);
  }
  return s;
}

JwwStr FromUnits(std::u16string units) {
  JwwStr s;
  s.form = JwwStr::Form::Utf16;
  if (!Utf16ToSjisExact(units, s.text)) {
    s.text = Utf16ToSjisLossy(units);
    s.verbatim = true;
    s.units = std::move(units);
  }
  return s;
}

}  // namespace

JwwStr ReadJwwString(JwwReader& r) {
  bool utf16 = false;
  std::uint32_t n = ReadLength(r, r.ReadByte(), &utf16);
  if (!utf16) return JwwStr(ReadBytes(r, n));
  n = ReadLength(r, r.ReadByte(), nullptr);
  if (n > 0x7FFFFFFF) throw JwwIoError(100, "a string length past any file's size");
  std::string raw = ReadBytes(r, n * 2);
  std::u16string units(n, u'\0');
  for (std::uint32_t i = 0; i < n; ++i)
    units[i] = static_cast<char16_t>(static_cast<std::uint8_t>(raw[2 * i]) |
                                     (static_cast<std::uint8_t>(raw[2 * i + 1]) << 8));
  return FromUnits(std::move(units));
}

JwwStr ReadJwwName(JwwReader& r) {
  JwwStr s = ReadJwwString(r);
  if (s.verbatim) {
    std::u16string kept;
    for (char16_t u : s.units)
      if (u >= 0x20) kept += u;
    return FromUnits(std::move(kept));
  }
  s.text = CleanTextAfterRead(s.text);
  return s;
}

void WriteJwwString(JwwWriter& w, const JwwStr& s) {
  if (s.form == JwwStr::Form::Bytes) {
    WriteLength(w, s.text.size());
    w.WriteExact(s.text.data(), s.text.size());
    return;
  }
  const std::u16string units = s.verbatim ? s.units : SjisToUtf16(s.text);
  w.WriteByte(0xFF);
  w.WriteWord(0xFFFE);
  WriteLength(w, units.size());
  std::string raw;
  raw.reserve(units.size() * 2);
  for (char16_t u : units) {
    raw += static_cast<char>(u & 0xFF);
    raw += static_cast<char>(u >> 8);
  }
  w.WriteExact(raw.data(), raw.size());
}

JwwStr CleanForWrite(const JwwStr& s) {
  if (!s.verbatim) {
    JwwStr out = s;
    out.text = CleanTextForWrite(s.text);
    return out;
  }
  // The same cleaning on the stored units, so that characters CP932 cannot
  // hold survive it.
  // A pair is dropped as its caret and "m" meet, as in the byte form.
  std::u16string kept;
  for (char16_t u : s.units) {
    if (u < 0x20) continue;
    if (u == u'm' && !kept.empty() && kept.back() == u'^') {
      kept.pop_back();
      continue;
    }
    kept += u;
  }
  if (kept.empty() && !s.units.empty()) kept.push_back(u' ');
  return FromUnits(std::move(kept));
}

// ---- attribute block -------------------------------------------------------

TEntJwwAttr ParseEntityAttr(ByteCursor& c, std::int32_t version) {
  TEntJwwAttr a;
  a.Group = c.Dword();
  a.PenStyle = c.Byte();
  a.PenColor = c.Word();
  if (version >= 351) a.PenWidth = c.Word();
  a.Layer = c.Word();
  a.LayerGroup = c.Word();
  a.Flags = c.Word();
  return a;
}

TEntJwwAttr ReadEntityAttr(JwwReader& r, std::int32_t version) {
  std::uint8_t b[15];
  std::size_t n = version >= 351 ? 15 : 13;
  r.ReadExact(b, n);
  ByteCursor c(b, n);
  return ParseEntityAttr(c, version);
}

void CopyEntityAttr(const TEntJwwAttr& source, TEntJwwAttr& destination) {
  destination = source;
}
