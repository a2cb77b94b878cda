// Where the Linux editor keeps the user's settings: the XDG configuration folder.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "IEditorSettings.h"

namespace {

// $HOME when absolute, else the password entry's home (thread-safe lookup), else "".
std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && home[0] == '/') return home;
  const long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(hint > 0 ? size_t(hint) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_dir && found->pw_dir[0] == '/')
    return found->pw_dir;
  return "";
}

}  // namespace

std::string EditorSettingsFolder() noexcept {
  try {
    // The XDG rules ignore a relative XDG_CONFIG_HOME.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
      return std::string(config) + "/BRIMO";
    const std::string home = HomeFolder();
    return home.empty() ? std::string() : home + "/.config/BRIMO";
  } catch (...) {
    return "";
  }
}
