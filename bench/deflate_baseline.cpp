// The least a conversion that embeds images can cost: each image read once,
// deflated once on one thread with the settings the staging uses (level 6,
// memory level 9, gzip framing) through 128 KiB buffers, and written once.
// bench/run sets the image conversion's time against this program's.
//   marrowfold-bench-deflate OUTFOLDER FILE...
#include <zlib.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

bool Deflate(const std::string& from, const std::string& to) {
  FilePtr in(std::fopen(from.c_str(), "rb"));
  FilePtr out(std::fopen(to.c_str(), "wb"));
  if (!in || !out) return false;
  z_stream z{};
  if (deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  const std::size_t kBuffer = 128 * 1024;
  std::vector<unsigned char> input(kBuffer), output(kBuffer);
  bool ok = true;
  int flush = Z_NO_FLUSH;
  while (ok && flush != Z_FINISH) {
    const std::size_t n = std::fread(input.data(), 1, input.size(), in.get());
    if (std::ferror(in.get())) ok = false;
    flush = n < input.size() ? Z_FINISH : Z_NO_FLUSH;
    z.next_in = input.data();
    z.avail_in = static_cast<uInt>(n);
    do {
      z.next_out = output.data();
      z.avail_out = static_cast<uInt>(output.size());
      deflate(&z, flush);
      const std::size_t have = output.size() - z.avail_out;
      if (std::fwrite(output.data(), 1, have, out.get()) != have) ok = false;
    } while (ok && z.avail_out == 0);
  }
  deflateEnd(&z);
  return ok && std::fflush(out.get()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: marrowfold-bench-deflate OUTFOLDER FILE...\n");
    return 2;
  }
  const std::string folder = argv[1];
  for (int i = 2; i < argc; ++i) {
    std::string name = argv[i];
    name = name.substr(name.find_last_of('/') + 1);
    if (!Deflate(argv[i], folder + "/" + name + ".gz")) {
      std::fprintf(stderr, "cannot deflate %s\n", argv[i]);
      return 1;
    }
  }
  return 0;
}
