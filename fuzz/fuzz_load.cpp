// Any bytes as a drawing: the load must fail cleanly or succeed, and a
// drawing that loads must survive a 7.00 save, a reload and a second save
// with the second save byte for byte the first (a writer whose output reads
// back differently loses data on every conversion). Whatever happens, the
// input is never changed and nothing is written but the outputs and the
// staged images.
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

// Called on every way out of an input.
void CheckWrites(platform::MemoryOs& os, const std::uint8_t* data, std::size_t size,
                 std::size_t setUp) {
  std::vector<std::uint8_t> input;
  if (!os.GetFile("C:\\in\\a.jww", input) || input != std::vector<std::uint8_t>(data, data + size))
    std::abort();
  const auto& written = os.WrittenPaths();
  for (std::size_t i = setUp; i < written.size(); ++i) {
    const std::string& path = written[i];
    if (!platform::MemoryOs::IsInside(path, "C:\\out") &&
        !platform::MemoryOs::IsInside(path, "C:\\work"))
      std::abort();
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
  const std::size_t setUp = os.WrittenPaths().size();
  WorkFolder = "C:\\work\\";
  ExtractImagesOnLoad = true;
  WriteImagesOnSave = true;

  std::vector<std::uint8_t> first, second;
  {
    TJwwData d;
    if (!Load(d, "C:\\in\\a.jww", "C:\\work\\s1\\")) {
      ClearStagedImages();
      CheckWrites(os, data, size, setUp);
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
  CheckWrites(os, data, size, setUp);
  ClearStagedImages();
  StagingFolder.clear();
  return 0;
}
