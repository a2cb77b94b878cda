// Resource lookup and file opening on Windows.
#include <windows.h>

#include <cstdio>

#include "../LicePlatformMemory.h"
#include "../LicePng.h"
#include "../LiceResourcesInternal.h"

namespace {
// The module (DLL or program) this code is linked into.
HMODULE OwnModule() {
  HMODULE self = nullptr;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&OwnModule), &self);
  return self;
}
}  // namespace

bool lice_platform::FindPngResource(void* module, int id, const void** data, int* size) {
  // Without a module handle, the resources of the module holding the raster library.
  HMODULE instance = module ? static_cast<HMODULE>(module) : OwnModule();
  HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(id & 0xFFFF), "PNG");
  if (found) {
    const DWORD bytes = SizeofResource(instance, found);
    if (bytes <= 7 || bytes > 0x7FFFFFFF) return false;
    HGLOBAL loaded = LoadResource(instance, found);
    const void* locked = loaded ? LockResource(loaded) : nullptr;
    if (!locked) return false;
    *data = locked;
    *size = int(bytes);
    return true;
  }
  // Tables registered at run time (tests) serve where the module has no such resource.
  return lice_resources::FindInTables(id, "PNG", data, size);
}

std::vector<lice_resources::Bytes> lice_platform::ResourcesOfType(const char* type) {
  struct Search {
    const char* type;
    std::vector<lice_resources::Bytes> found;
  } search = {type, {}};
  auto each = [](HMODULE module, LPCSTR, LPSTR name, LONG_PTR param) -> BOOL {
    auto* s = reinterpret_cast<Search*>(param);
    HRSRC found = FindResourceA(module, name, s->type);
    const DWORD bytes = found ? SizeofResource(module, found) : 0;
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* locked = loaded ? LockResource(loaded) : nullptr;
    if (locked && bytes > 0 && bytes <= 0x7FFFFFFF) s->found.push_back({locked, int(bytes)});
    return TRUE;
  };
  EnumResourceNamesA(OwnModule(), type, each, reinterpret_cast<LONG_PTR>(&search));
  for (const auto& r : lice_resources::AllInTables(type)) search.found.push_back(r);
  return search.found;
}

void* lice_platform::OpenFileForReading(const char* utf8Path) {
  wchar_t wide[2048];
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8Path, -1, wide, 2048);
  if (n > 0) {
    if (std::FILE* f = _wfopen(wide, L"rb")) return f;
  }
  return std::fopen(utf8Path, "rb");
}

void lice_platform::AdviseLargeBlock(void*, std::size_t) {
  // Large pages need a privilege hosts do not hold: ordinary pages it is.
}
