// Any bytes as a drawing: the load must fail cleanly or succeed, and a
// drawing that loads must survive a 7.00 save, a reload and a second save
// with the second save byte for byte the first (a writer whose output reads
// back differently loses data on every conversion).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "jww/jwwtype.h"
#include "jww/jwwunit.h"
#include "platform/memory_os.h"

namespace {

// Each pass stages the images it reads into a folder of its own, so the
// reload does not find the first pass's copies in its way.
bool Load(TJwwData& d, const std::string& path, const std::string& staging) {
  ClearStagedImages();
  StagingFolder = staging;
  try {
    return d.LoadFromFile(path);
  } catch (...) {
    return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  platform::MemoryOs os;
  platform::ScopedOs use(os);
  os.AddFolder("C:\\in");
  os.AddFolder("C:\\out");
  os.AddFolder("C:\\work\\s1");
  os.AddFolder("C:\\work\\s2");
  os.AddFile("C:\\in\\a.jww", std::vector<std::uint8_t>(data, data + size));
  WorkFolder = "C:\\work\\";
  ExtractImagesOnLoad = true;
  WriteImagesOnSave = true;

  std::vector<std::uint8_t> first, second;
  {
    TJwwData d;
    if (!Load(d, "C:\\in\\a.jww", "C:\\work\\s1\\")) {
      ClearStagedImages();
      return 0;
    }
    if (!d.SaveToFile("C:\\out\\1.jww", 700)) {
      // Only the staged copies could make a save fail, and they are all
      // in memory: any failure here is the writer's.
      std::abort();
    }
  }
  if (!os.GetFile("C:\\out\\1.jww", first)) std::abort();
  {
    TJwwData d;
    if (!Load(d, "C:\\out\\1.jww", "C:\\work\\s2\\")) std::abort();
    if (!d.SaveToFile("C:\\out\\2.jww", 700)) std::abort();
  }
  if (!os.GetFile("C:\\out\\2.jww", second)) std::abort();
  if (first != second) std::abort();
  ClearStagedImages();
  StagingFolder.clear();
  return 0;
}
