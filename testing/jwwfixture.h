// Test fixtures in the JWW format, written byte by byte from the format's
// tables and independent of the program's own writer: a reader checked only
// against its writer can share a misunderstanding with it forever.
//
// JwwBuilder lays down a drawing item by item in the layout of one version:
// the header section by section, counts, class tags with their running object
// index, every entity body in the layout of that version (13-byte attribute
// blocks up to 3.50, no dimension extension before 4.20), block definitions
// and the image section.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "jww/jwwio.h"
#include "jww/jwwtype.h"
#include "jww/jwwunit.h"

namespace jwwfixture {

class JwwBuilder {
 public:
  explicit JwwBuilder(std::int32_t version) : version_(version) {}

  std::int32_t version() const { return version_; }
  const std::vector<std::uint8_t>& bytes() const { return sink_.bytes; }
  std::size_t size() const { return sink_.bytes.size(); }
  // The next object index: classes and objects share it.
  std::int32_t nextIndex() const { return nextIndex_; }

  // Items.
  void Byte(std::uint8_t v) { sink_.Byte(v); }
  void Word(std::uint16_t v) { sink_.Word(v); }
  void Dword(std::int32_t v) { sink_.Dword(v); }
  void Double(double v) { sink_.Double(v); }
  void Zeros(std::size_t n) { sink_.Zeros(n); }
  void Raw(const std::vector<std::uint8_t>& b) {
    sink_.bytes.insert(sink_.bytes.end(), b.begin(), b.end());
  }
  void Raw(const std::string& b) { sink_.bytes.insert(sink_.bytes.end(), b.begin(), b.end()); }
  // A length-prefixed byte string: n < 255 one byte, else FF and a WORD
  // (FF FF FF and a DWORD past 65,533).
  void String(const std::string& s);
  // The UTF-16 form: FF FE FF, the length in code units, the units.
  void Utf16String(const std::u16string& s);
  // A count: a WORD up to 0xFFFE, else FF FF and a DWORD.
  void Count(std::uint32_t n);

  // Sections H1 to H18 for this version: cleared values (scales 1.0, jump
  // layer groups -1) and a few distinctive ones, with `memo`.
  void Header(const std::string& memo = "fixture");

  // Tags. NewClass writes FF FF, the schema, the name, and takes the next
  // index, which it returns; ClassRef writes 8000 + i, or 7F FF and the
  // DWORD i | 80000000 from 32,767 on. Tag picks one of the two by name.
  std::int32_t NewClass(const std::string& name, std::uint16_t schema = 0);
  void ClassRef(std::int32_t classIndex);
  void Tag(const std::string& name);
  // The object that follows a tag takes an index too.
  void EndObject() { ++nextIndex_; }

  // Bodies in this version's layout.
  void Attr(const TEntJwwAttr& a);
  void Body(const TEntJwwLine& e);
  void Body(const TEntJwwArc& e);
  void Body(const TEntJwwPoint& e);
  void Body(const TEntJwwText& e);
  void Body(const TEntJwwDimension& e);
  void Body(const TEntJwwSolid& e);
  void Body(const TEntJwwBlockRef& e);

  // Tag, body and object index.
  template <typename T>
  void Entity(const T& e) {
    Tag(ClassOf(e));
    Body(e);
    EndObject();
  }
  // The count and every entity of a list in table order.
  void EntityList(const TEntityLists& l);

  // One definition: tag "CDataList", the fixed part (with the 8 more bytes
  // of the wide stamp form when `wideStamp`), the name, the count, the
  // object index, the entities.
  void BlockDef(const TEntJwwBlockDef& d, bool wideStamp = false);
  void BlockDefList(const std::vector<TEntJwwBlockDef>& defs);
  // The image section of 7.00 without images.
  void EmptyImageSection() { Dword(0); }

  // A whole drawing: header, entities, definitions, and for 7.00 the
  // empty image section.
  void Drawing(const TEntityLists& top, const std::vector<TEntJwwBlockDef>& defs,
               const std::string& memo = "fixture");

 private:
  static const char* ClassOf(const TEntJwwLine&) { return "CDataSen"; }
  static const char* ClassOf(const TEntJwwArc&) { return "CDataEnko"; }
  static const char* ClassOf(const TEntJwwPoint&) { return "CDataTen"; }
  static const char* ClassOf(const TEntJwwText&) { return "CDataMoji"; }
  static const char* ClassOf(const TEntJwwDimension&) { return "CDataSunpou"; }
  static const char* ClassOf(const TEntJwwSolid&) { return "CDataSolid"; }
  static const char* ClassOf(const TEntJwwBlockRef&) { return "CDataBlock"; }
  void TextFixed(const TEntJwwText& e);

  std::int32_t version_;
  ByteSink sink_;
  std::int32_t nextIndex_ = 1;
  std::map<std::string, std::int32_t> classes_;
};

// Appending records to lists keeps the table in step.
void Add(TEntityLists& l, const TEntJwwLine& e);
void Add(TEntityLists& l, const TEntJwwArc& e);
void Add(TEntityLists& l, const TEntJwwPoint& e);
void Add(TEntityLists& l, const TEntJwwText& e);
void Add(TEntityLists& l, const TEntJwwDimension& e);
void Add(TEntityLists& l, const TEntJwwSolid& e);
void Add(TEntityLists& l, const TEntJwwBlockRef& e);

// Distinct attribute values that survive the writer's cleaning for every
// kind (pen style `style`, colours 1-9, layers 0-15, widths up to 30,000);
// `seed` varies them. Files up to 3.50 have no pen width: pass `withWidth`
// false to get 0 there.
TEntJwwAttr SampleAttr(int seed, std::uint8_t style = 1, bool withWidth = true);
// One entity of every kind with distinct values; the point list holds a
// marked point (pen style 100) and a plain one, the solids one with its own
// colour (10) and one without; the dimension has an extension in files from
// 4.20 on and the made-up one before. The insertions name `blockNumbers`.
TEntityLists SampleEntities(std::int32_t version, int seed,
                            const std::vector<std::int32_t>& blockNumbers);
TEntJwwBlockDef SampleBlockDef(std::int32_t version, std::int32_t number, const std::string& name,
                               TEntityLists l);

// The entity list and block definitions alone (no header, no image section),
// read into `d` at `version` as ReadEntityStream does, then ResolveBlockUse.
// Returns the offset where reading stopped.
long long ReadStream(const std::vector<std::uint8_t>& bytes, std::int32_t version, TJwwData& d);
// The entity list and the used block definitions as WriteEntityStream
// writes them.
std::vector<std::uint8_t> WriteStream(TJwwData& d);

}  // namespace jwwfixture
