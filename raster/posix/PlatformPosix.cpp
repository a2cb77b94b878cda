// Resource lookup and file opening where modules carry no native resources.
#include <cstdio>

#include "../LicePng.h"
#include "../LiceResourcesInternal.h"

bool lice_platform::FindPngResource(void*, int id, const void** data, int* size) {
  return lice_resources::FindInTables(id, "PNG", data, size);
}

void* lice_platform::OpenFileForReading(const char* utf8Path) {
  return std::fopen(utf8Path, "rb");
}
