// Compiled-in resource tables, for builds whose modules carry no native resources.
#include <cstring>
#include <mutex>
#include <vector>

#include "LicePng.h"
#include "LiceResourcesInternal.h"

namespace {
struct Table {
  const LICE_ResourceEntry* entries;
  int count;
};
std::mutex& TablesLock() {
  static std::mutex lock;
  return lock;
}
std::vector<Table>& Tables() {
  static std::vector<Table> tables;
  return tables;
}
}  // namespace

void LICE_RegisterResources(const LICE_ResourceEntry* table, int count) {
  if (!table || count <= 0) return;
  std::lock_guard<std::mutex> hold(TablesLock());
  Tables().push_back({table, count});
}

bool lice_resources::FindInTables(int id, const char* type, const void** data, int* size) {
  std::lock_guard<std::mutex> hold(TablesLock());
  const auto& tables = Tables();
  for (auto t = tables.rbegin(); t != tables.rend(); ++t) {
    for (int i = 0; i < t->count; ++i) {
      const LICE_ResourceEntry& e = t->entries[i];
      if (e.id == id && e.type && std::strcmp(e.type, type) == 0 && e.data) {
        *data = e.data;
        *size = e.size;
        return true;
      }
    }
  }
  return false;
}

std::vector<lice_resources::Bytes> lice_resources::AllInTables(const char* type) {
  std::vector<Bytes> found;
  std::lock_guard<std::mutex> hold(TablesLock());
  for (const Table& t : Tables())
    for (int i = 0; i < t.count; ++i) {
      const LICE_ResourceEntry& e = t.entries[i];
      if (e.type && std::strcmp(e.type, type) == 0 && e.data && e.size > 0)
        found.push_back({e.data, e.size});
    }
  return found;
}
