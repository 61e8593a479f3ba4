#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <new>

#include "platform/platform.h"

namespace platform {

void* AllocateLarge(std::size_t bytes, std::size_t hugeBytes) {
  // A huge page backs only a whole aligned stretch of a mapping: map the
  // block with room to align its start, then give the slack back. Its end
  // is not rounded up, so a block fully used never holds a partly used
  // huge page.
  constexpr std::size_t huge = kLargeBlock;
  if (bytes == 0 || bytes > SIZE_MAX - huge) throw std::bad_alloc();
  void* mapped =
      ::mmap(nullptr, bytes + huge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) throw std::bad_alloc();
  const auto start = reinterpret_cast<std::uintptr_t>(mapped);
  const std::uintptr_t aligned = (start + huge - 1) & ~std::uintptr_t{huge - 1};
  if (aligned > start) ::munmap(mapped, aligned - start);
  const std::uintptr_t end = start + bytes + huge;
  // munmap takes whole pages: the block's last page stays whole.
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const std::uintptr_t used = (aligned + bytes + page - 1) & ~(page - 1);
  if (end > used) ::munmap(reinterpret_cast<void*>(used), end - used);
  void* block = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
  // Only a wish: a system without huge pages to spare gives small ones.
  const std::size_t advised = std::min(bytes, hugeBytes) & ~(huge - 1);
  if (advised > 0) ::madvise(block, advised, MADV_HUGEPAGE);
#endif
  return block;
}

void FreeLarge(void* block, std::size_t bytes) noexcept {
  if (block) ::munmap(block, bytes);
}

}  // namespace platform
