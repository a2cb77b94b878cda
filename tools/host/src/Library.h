// The platform half of module loading: finding the library inside a bundle, opening it, calling
// its entry and exit functions and closing it. One implementation per platform, chosen in CMake.
#pragma once

#include <string>

namespace brimo::host::library {

// The library to open for a path that names either a bundle folder or the library itself.
std::string resolve(const std::string& path);
// Opens the library; null with a reason in *error on failure.
void* open(const std::string& file, std::string* error);
void* symbol(void* lib, const char* name);
// Calls the module's entry function (ModuleEntry on Linux, InitDll on Windows). A module without
// one is accepted; one whose entry answers false is not.
bool enter(void* lib, std::string* error);
// Calls ModuleExit / ExitDll when exported.
void exit(void* lib);
void close(void* lib);

}  // namespace brimo::host::library
