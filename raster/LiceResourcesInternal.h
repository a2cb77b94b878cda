#pragma once

#include <vector>

namespace lice_resources {
struct Bytes {
  const void* data;
  int size;
};
// Looks a resource up in the registered tables, newest table first.
bool FindInTables(int id, const char* type, const void** data, int* size);
// Every resource of a type in the registered tables.
std::vector<Bytes> AllInTables(const char* type);
}  // namespace lice_resources

namespace lice_platform {
// Every resource of a type: the module's own where it carries native resources, then those in
// the registered tables.
std::vector<lice_resources::Bytes> ResourcesOfType(const char* type);
}  // namespace lice_platform
