// Exact-count reading and writing of JWW items through a buffer, and the
// item encodings every section is made of: little-endian integers and
// doubles, the length-prefixed string (byte form and UTF-16 form), the
// attribute block.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "jww/jwwtype.h"
#include "platform/platform.h"

// Items are copied between the file's bytes and the records with memcpy:
// the file is little-endian, and so must the host be.
static_assert(std::endian::native == std::endian::little,
              "JWW items are read and written by copying little-endian bytes");

// The versions at which the layout of a drawing changed, named once.
constexpr std::int32_t kOldestReadableVersion = 220;  // older ones are refused
// Sky-map heights in the shadow settings.
constexpr bool HasSkyMap(std::int32_t v) {
  return v >= 300;
}
// Longer shadow settings and jump table after 2.30.
constexpr bool HasLongShadowsAndJumps(std::int32_t v) {
  return v > 230;
}
// A pen width in every attribute block (two bytes more per block).
constexpr bool HasPenWidth(std::int32_t v) {
  return v >= 351;
}
// Files up to 4.20 carry no drawing width below -101.
constexpr bool LimitsDrawWidth(std::int32_t v) {
  return v <= 420;
}
// Extended colours and line types in the header; an extension of every
// text.
constexpr bool HasExtendedTables(std::int32_t v) {
  return v >= 420;
}
// Option 11 holds a tens digit of at least 1.
constexpr bool HasOption11Tens(std::int32_t v) {
  return v >= 600;
}
// The image section after the drawing.
constexpr bool HasImageSection(std::int32_t v) {
  return v >= 700;
}

// An I/O failure of a load or a save. `code` follows the run-time error
// numbers users of the original tool know: 100 a read past the end, 101 a
// write that could not be placed, 103 a file that could not be opened (or is
// not a drawing this program reads).
class JwwIoError : public std::runtime_error {
 public:
  JwwIoError(int code, const std::string& what) : std::runtime_error(what), code_(code) {}
  int code() const { return code_; }

 private:
  int code_;
};

// "I/O エラー (%d)" for a failure code, as Shift-JIS text.
std::string IoErrorText(int code);

class JwwReader {
 public:
  explicit JwwReader(platform::File& file) : file_(file) {}

  // Reads exactly `count` bytes or throws JwwIoError (100 at the end of the
  // file, with the offset where the data ran out).
  void ReadExact(void* out, std::size_t count) {
    if (count <= end_ - begin_) {
      std::memcpy(out, buffer_.get() + begin_, count);
      begin_ += count;
      consumed_ += static_cast<long long>(count);
      return;
    }
    ReadExactSlow(out, count);
  }
  // Reads up to `count` bytes; fewer only at the end of the file.
  std::size_t ReadSome(void* out, std::size_t count);

  std::uint8_t ReadByte() { return Read<std::uint8_t>(); }
  std::uint16_t ReadWord() { return Read<std::uint16_t>(); }
  std::int32_t ReadDword() { return Read<std::int32_t>(); }
  double ReadDouble() { return Read<double>(); }
  std::vector<std::uint8_t> ReadBlock(std::size_t count);

  // Offset of the next byte in the file.
  long long Position() const { return consumed_; }
  // Bytes between Position() and the end of the file, or -1 when the file
  // cannot tell its size.
  long long BytesLeft();

 private:
  template <typename T>
  T Read() {
    T v;
    ReadExact(&v, sizeof v);
    return v;
  }
  void ReadExactSlow(void* out, std::size_t count);
  bool Fill();

  static constexpr std::size_t kBufferSize = 64 * 1024;
  platform::File& file_;
  // Not zeroed: a small drawing's conversion would spend longer clearing
  // the buffers than filling them.
  std::unique_ptr<std::uint8_t[]> buffer_ =
      std::make_unique_for_overwrite<std::uint8_t[]>(kBufferSize);
  std::size_t begin_ = 0, end_ = 0;
  long long consumed_ = 0;
  long long size_ = -2;  // the file's size once asked for; -2 before
};

// Every item goes into one buffer of 64 KB that reaches the file whole, so
// an entity costs a few copies and no allocation.
class JwwWriter {
 public:
  explicit JwwWriter(platform::File& file) : file_(file) {}
  ~JwwWriter() = default;  // callers Flush(); a destructor must not throw

  void WriteExact(const void* data, std::size_t count) {
    if (count <= kBufferSize - fill_) {
      std::memcpy(buffer_.get() + fill_, data, count);
      fill_ += count;
      return;
    }
    WriteExactSlow(data, count);
  }
  void WriteByte(std::uint8_t v) { WriteExact(&v, 1); }
  void WriteWord(std::uint16_t v) { WriteExact(&v, sizeof v); }
  void WriteDword(std::int32_t v) { WriteExact(&v, sizeof v); }
  void WriteDouble(double v) { WriteExact(&v, sizeof v); }
  void WriteZeros(std::size_t count);
  // Hands everything buffered to the file; throws JwwIoError 101 when the
  // file takes fewer bytes than it was given.
  void Flush();

  long long Position() const { return written_ + static_cast<long long>(fill_); }

 private:
  void WriteExactSlow(const void* data, std::size_t count);

  static constexpr std::size_t kBufferSize = 64 * 1024;
  platform::File& file_;
  std::unique_ptr<std::uint8_t[]> buffer_ =
      std::make_unique_for_overwrite<std::uint8_t[]>(kBufferSize);
  std::size_t fill_ = 0;
  long long written_ = 0;
};

// Taking apart a block that was read in one piece, and building one to write
// in one piece: little-endian fields at increasing offsets.
class ByteCursor {
 public:
  ByteCursor(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  explicit ByteCursor(const std::vector<std::uint8_t>& v) : ByteCursor(v.data(), v.size()) {}

  template <typename T>
  T Get() {
    T v{};
    if (pos_ + sizeof(T) > size_) throw std::logic_error("ByteCursor: field past the block");
    std::memcpy(&v, data_ + pos_, sizeof(T));
    pos_ += sizeof(T);
    return v;
  }
  std::int32_t Dword() { return Get<std::int32_t>(); }
  double Double() { return Get<double>(); }
  std::uint16_t Word() { return Get<std::uint16_t>(); }
  std::uint8_t Byte() { return Get<std::uint8_t>(); }
  void Skip(std::size_t n) { pos_ += n; }
  std::size_t Pos() const { return pos_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

class ByteSink {
 public:
  // Room for nearly every block at once: a header is hundreds of them.
  ByteSink() { bytes.reserve(512); }
  template <typename T>
  void Put(T v) {
    const std::size_t at = bytes.size();
    bytes.resize(at + sizeof(T));
    std::memcpy(bytes.data() + at, &v, sizeof(T));
  }
  void Dword(std::int32_t v) { Put(v); }
  void Double(double v) { Put(v); }
  void Word(std::uint16_t v) { Put(v); }
  void Byte(std::uint8_t v) { Put(v); }
  void Zeros(std::size_t n) { bytes.insert(bytes.end(), n, 0); }

  std::vector<std::uint8_t> bytes;
};

// Strings. Both forms are read; each string is written in the form it was
// read in (new strings in the byte form).
JwwStr ReadJwwString(JwwReader& r);
// ReadJwwString, then CleanTextAfterRead: every name passes through here.
JwwStr ReadJwwName(JwwReader& r);
void WriteJwwString(JwwWriter& w, const JwwStr& s);
// CleanTextForWrite on a string of either form.
JwwStr CleanForWrite(const JwwStr& s);
// WriteJwwString(w, CleanForWrite(s)), without copying a string that is
// clean already (nearly every one).
void WriteCleanJwwString(JwwWriter& w, const JwwStr& s);

// The attribute block: 15 bytes from version 351 on, 13 before (no pen width).
TEntJwwAttr ReadEntityAttr(JwwReader& r, std::int32_t version);
TEntJwwAttr ParseEntityAttr(ByteCursor& c, std::int32_t version);
void CopyEntityAttr(const TEntJwwAttr& source, TEntJwwAttr& destination);
