// The reader of JWC_TEMP.TXT on arbitrary bytes, from a file kept in memory.
#include <cstdint>
#include <string>

#include "external/JwwGaibu.h"
#include "platform/unicode.h"
#include "testing/memory_os.h"

namespace {
const std::string kPath = "C:\\jww\\JWC_TEMP.TXT";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  platform::MemoryOs os;
  platform::ScopedOs use(os);
  platform::ScopedDesktop useDesktop(os);
  os.AddFile(kPath, std::string(reinterpret_cast<const char*>(data), size));
  ResetGaibuData();
  if (!ReadGaibuFile(SjisToUtf16(kPath))) __builtin_trap();
  const TGaibuData& g = GaibuData;
  // Every order entry names a record of its kind's list.
  for (const TGaibuOrder& o : g.Order) {
    if (o.Index < 0) __builtin_trap();
  }
  for (const TGaibuText& t : g.Texts)
    if (t.Text.size() > 255 || t.FontName.size() > 255) __builtin_trap();
  if (g.LayerNames.size() != 256 || g.LayerGroupNames.size() != 16) __builtin_trap();
  FreeGaibuData();
  return 0;
}
