// What the platform may do for large pixel blocks (posix/, win32/).
#pragma once

#include <cstddef>

namespace lice_platform {
// Called on a freshly allocated block before anything is written to it. Where the system offers
// large pages (Linux: transparent huge pages on request), a block of megabytes is backed by them:
// its first writes then fault a few times instead of once per 4 KiB page.
void AdviseLargeBlock(void* block, std::size_t bytes);
}  // namespace lice_platform
