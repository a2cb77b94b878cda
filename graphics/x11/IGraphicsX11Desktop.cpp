// What the Linux editor asks of the desktop: folders through the XDG conventions, web addresses
// through xdg-open, and the dialogs BRIMO never reaches (cancelled, empty).
#include <dlfcn.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <vector>

#include "IGraphicsX11.h"

extern char** environ;

namespace {

std::string HomeDirectory() {
  if (const char* home = std::getenv("HOME"); home && home[0] == '/') return home;
  if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
  return "";
}

// An XDG variable holding an absolute path, else the fallback.
std::string XdgPath(const char* variable, const std::string& fallback) {
  const char* value = std::getenv(variable);
  return value && value[0] == '/' ? std::string(value) : fallback;
}

// The folder part of path with its trailing '/', or "" when path has none.
std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Web-address openers not yet waited for, process-wide: reaped without blocking by every editor's
// timer and by the next OpenUrl, so none stays a zombie for long.
std::mutex childrenMutex;
std::vector<pid_t> children;

}  // namespace

void IGraphicsX11::ReapFinishedChildren() {
  std::lock_guard<std::mutex> lock(childrenMutex);
  std::erase_if(children, [](pid_t pid) {
    int status = 0;
    const pid_t done = waitpid(pid, &status, WNOHANG);
    // A host that reaps every child itself leaves us ECHILD: gone as well.
    return done == pid || (done < 0 && errno != EINTR);
  });
}

bool IGraphicsX11::OpenUrl(const char* url, const char*, const char*, const char*) {
  // xdg-open would read a leading '-' as an option; control characters have no place in an
  // address.
  if (!url || !url[0] || url[0] == '-') return false;
  for (const char* p = url; *p; ++p)
    if (static_cast<unsigned char>(*p) < 0x20 || *p == 0x7F) return false;
  ReapFinishedChildren();
  char program[] = "xdg-open";
  std::string address = url;
  char* argv[] = {program, address.data(), nullptr};
  pid_t pid = 0;
  // Started directly, never through a shell; the child's exit is collected later, without
  // blocking the user-interface thread.
  if (posix_spawnp(&pid, program, nullptr, nullptr, argv, environ) != 0) return false;
  std::lock_guard<std::mutex> lock(childrenMutex);
  children.push_back(pid);
  return true;
}

void IGraphicsX11::GetHostDirectory(std::string* out) {
  out->clear();
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n > 0) *out = FolderOf(std::string(path, size_t(n)));
}

void IGraphicsX11::GetModuleDirectory(std::string* out) {
  out->clear();
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&NewPlatformGraphics), &info) || !info.dli_fname) return;
  std::string path = info.dli_fname;
  // Linked into the program itself, dladdr may name it relatively (or not at all).
  if (path.empty() || path[0] != '/') {
    if (char* resolved = realpath(path.empty() ? "/proc/self/exe" : path.c_str(), nullptr)) {
      path = resolved;
      std::free(resolved);
    } else {
      return;
    }
  }
  *out = FolderOf(path);
}

void IGraphicsX11::GetDesktopPath(std::string* out) {
  const std::string home = HomeDirectory();
  *out = home + "/Desktop";
  // XDG user directories: a line XDG_DESKTOP_DIR="$HOME/..." or an absolute path.
  std::ifstream dirs(XdgPath("XDG_CONFIG_HOME", home + "/.config") + "/user-dirs.dirs");
  std::string line;
  while (std::getline(dirs, line)) {
    const std::string key = "XDG_DESKTOP_DIR=\"";
    if (line.rfind(key, 0) != 0) continue;
    const size_t end = line.find('"', key.size());
    if (end == std::string::npos) continue;
    std::string value = line.substr(key.size(), end - key.size());
    if (value.rfind("$HOME", 0) == 0)
      value = home + value.substr(5);
    else if (value.empty() || value[0] != '/')
      continue;
    *out = value;
  }
}

void IGraphicsX11::GetAppDataPath(std::string* out, bool common) {
  if (!common) {
    *out = XdgPath("XDG_DATA_HOME", HomeDirectory() + "/.local/share");
    return;
  }
  *out = "/usr/local/share";
  // The first absolute entry of XDG_DATA_DIRS.
  const char* dirs = std::getenv("XDG_DATA_DIRS");
  if (!dirs) return;
  const std::string list = dirs;
  for (size_t start = 0; start <= list.size();) {
    size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    if (end > start && list[start] == '/') {
      *out = list.substr(start, end - start);
      return;
    }
    start = end + 1;
  }
}

// ---- Nothing in BRIMO reaches these: they answer as cancelled or empty ----

int32_t IGraphicsX11::ShowMessageBox(const char*, const char*, int32_t) {
  return 0;
}

bool IGraphicsX11::PromptForFile(std::string* fileName, int32_t, std::string*, const char*) {
  if (fileName) fileName->clear();
  return false;
}

bool IGraphicsX11::PromptForColor(IArgb*, const char*) {
  return false;
}
