#include <windows.h>

#include <new>

#include "platform/platform.h"

namespace platform {

// Windows gives large pages only to an account holding the right to lock
// memory; the block is committed whole and its pages are touched lazily.
void* AllocateLarge(std::size_t bytes, std::size_t /*huge*/) {
  if (bytes == 0) throw std::bad_alloc();
  void* block = ::VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (!block) throw std::bad_alloc();
  return block;
}

void FreeLarge(void* block, std::size_t /*bytes*/) noexcept {
  if (block) ::VirtualFree(block, 0, MEM_RELEASE);
}

}  // namespace platform
