// Where the Windows editor keeps the user's settings: the roaming application-data folder, so the
// choice follows the user between machines of a domain.
#include <windows.h>
#include <shlobj.h>

#include "IEditorSettings.h"

std::string EditorSettingsFolder() noexcept {
  try {
    // The wide call, converted to UTF-8: the ANSI one garbles names outside the code page.
    wchar_t path[MAX_PATH + 1] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path)) ||
        !path[0])
      return "";
    const int size = WideCharToMultiByte(CP_UTF8, 0, path, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return "";
    std::string folder(size_t(size), '\0');
    if (WideCharToMultiByte(CP_UTF8, 0, path, -1, folder.data(), size, nullptr, nullptr) != size)
      return "";
    folder.resize(size_t(size - 1));
    return folder + "\\BRIMO";
  } catch (...) {
    return "";
  }
}
