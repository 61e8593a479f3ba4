// The switch between the real operating system and a test's wrapper. Kept
// free of OS headers: it is compiled on every platform.
#include "platform/platform.h"

namespace platform {

namespace {
Os* installed = nullptr;
}  // namespace

Os& Current() {
  return installed ? *installed : Native();
}

ScopedOs::ScopedOs(Os& os) : previous_(installed) {
  installed = &os;
}

ScopedOs::~ScopedOs() {
  installed = previous_;
}

}  // namespace platform
