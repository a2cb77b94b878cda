// Resource lookup and file opening where modules carry no native resources.
#include <sys/mman.h>

#include <cstdint>
#include <cstdio>

#include "../LicePlatformMemory.h"
#include "../LicePng.h"
#include "../LiceResourcesInternal.h"

bool lice_platform::FindPngResource(void*, int id, const void** data, int* size) {
  return lice_resources::FindInTables(id, "PNG", data, size);
}

std::vector<lice_resources::Bytes> lice_platform::ResourcesOfType(const char* type) {
  return lice_resources::AllInTables(type);
}

void* lice_platform::OpenFileForReading(const char* utf8Path) {
  return std::fopen(utf8Path, "rb");
}

void lice_platform::AdviseLargeBlock(void* block, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
  // Only the whole 2 MiB pages inside the block; the advice is a hint, and its failure harmless.
  constexpr std::uintptr_t kHugePage = std::uintptr_t(2) << 20;
  const auto first = reinterpret_cast<std::uintptr_t>(block);
  const std::uintptr_t start = (first + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t end = (first + bytes) & ~(kHugePage - 1);
  if (block && end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
  (void)block;
  (void)bytes;
#endif
}
