#include <windows.h>

#include <filesystem>

#include "library.h"

namespace brimo::host::library {

namespace fs = std::filesystem;

std::string resolve(const std::string& path) {
    std::error_code ec;
    if (!fs::is_directory(fs::u8path(path), ec)) return path;
    // BRIMO.vst3/Contents/x86_64-win/BRIMO.vst3
    fs::path bundle = fs::u8path(path);
    fs::path stem = bundle.filename().empty() ? bundle.parent_path().stem() : bundle.stem();
    return (bundle / "Contents" / "x86_64-win" / (stem.string() + ".vst3")).u8string();
}

void* open(const std::string& file, std::string* error) {
    std::wstring wide = fs::u8path(file).wstring();
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
