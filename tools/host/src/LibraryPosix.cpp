#include <dlfcn.h>

#include <filesystem>

#include "Library.h"

namespace brimo::host::library {

namespace fs = std::filesystem;

std::string resolve(const std::string& path) {
  std::error_code ec;
  if (!fs::is_directory(path, ec)) return path;
  // BRIMO.vst3/Contents/x86_64-linux/BRIMO.so
  fs::path bundle(path);
  fs::path stem = bundle.filename().empty() ? bundle.parent_path().stem() : bundle.stem();
  return (bundle / "Contents" / "x86_64-linux" / (stem.string() + ".so")).string();
}

void* open(const std::string& file, std::string* error) {
  void* lib = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!lib && error) {
    const char* why = dlerror();
    *error = "cannot load " + file + ": " + (why ? why : "unknown reason");
  }
  return lib;
}

void* symbol(void* lib, const char* name) {
  return dlsym(lib, name);
}

bool enter(void* lib, std::string* error) {
  using Entry = bool (*)(void*);
  auto entry = reinterpret_cast<Entry>(symbol(lib, "ModuleEntry"));
  if (entry && !entry(lib)) {
    if (error) *error = "ModuleEntry answered false";
    return false;
  }
  return true;
}

void exit(void* lib) {
  using Exit = bool (*)();
  if (auto fn = reinterpret_cast<Exit>(symbol(lib, "ModuleExit"))) fn();
}

void close(void* lib) {
  if (lib) dlclose(lib);
}

}  // namespace brimo::host::library
