#include <windows.h>

#include <filesystem>

#include "Library.h"

namespace brimo::host::library {

namespace fs = std::filesystem;

namespace {
// Paths arrive and leave as UTF-8; Windows wants UTF-16.
fs::path fromUtf8(const std::string& s) {
  return fs::path(std::u8string(s.begin(), s.end()));
}
std::string toUtf8(const fs::path& p) {
  std::u8string u = p.u8string();
  return std::string(u.begin(), u.end());
}
}  // namespace

std::string resolve(const std::string& path) {
  std::error_code ec;
  if (!fs::is_directory(fromUtf8(path), ec)) return path;
  // BRIMO.vst3/Contents/x86_64-win/BRIMO.vst3
  fs::path bundle = fromUtf8(path);
  fs::path stem = bundle.filename().empty() ? bundle.parent_path().stem() : bundle.stem();
  return toUtf8(bundle / "Contents" / "x86_64-win" / (stem.wstring() + L".vst3"));
}

void* open(const std::string& file, std::string* error) {
  std::wstring wide = fromUtf8(file).wstring();
  HMODULE lib = LoadLibraryW(wide.c_str());
  if (!lib && error) *error = "cannot load " + file + ": error " + std::to_string(GetLastError());
  return reinterpret_cast<void*>(lib);
}

void* symbol(void* lib, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(lib), name));
}

bool enter(void* lib, std::string* error) {
  using Entry = bool (*)();
  auto entry = reinterpret_cast<Entry>(symbol(lib, "InitDll"));
  if (entry && !entry()) {
    if (error) *error = "InitDll answered false";
    return false;
  }
  return true;
}

void exit(void* lib) {
  using Exit = bool (*)();
  if (auto fn = reinterpret_cast<Exit>(symbol(lib, "ExitDll"))) fn();
}

void close(void* lib) {
  if (lib) FreeLibrary(static_cast<HMODULE>(lib));
}

}  // namespace brimo::host::library
