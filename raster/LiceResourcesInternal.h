#pragma once

namespace lice_resources {
// Looks a resource up in the registered tables, newest table first.
bool FindInTables(int id, const char* type, const void** data, int* size);
}  // namespace lice_resources
