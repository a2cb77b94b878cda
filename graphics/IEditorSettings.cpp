#include "IEditorSettings.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string_view>
#include <system_error>
#include <thread>

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSizeKey = "editor-size";
// The file holds one short line: nothing past this is read, whatever the file's length.
constexpr size_t kReadLimit = 256;

// Folder names travel as UTF-8; Windows wants them converted, not taken in the ANSI code page.
fs::path PathOf(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// The size the last editor-size line names; other lines (comments, later settings) are skipped,
// so a hand-edited file works. A final line without its end counts only when the file ended.
int32_t SizeIn(std::string_view text, bool whole) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // Notepad's byte-order mark
  int32_t size = kDefaultEditorSize;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    if (end == std::string_view::npos && !whole) break;
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos || Trimmed(line.substr(0, equals)) != kSizeKey) continue;
    const std::string_view value = Trimmed(line.substr(equals + 1));
    int32_t percent = 0;
    const auto [stop, error] = std::from_chars(value.data(), value.data() + value.size(), percent);
    const bool valid = error == std::errc() && stop == value.data() + value.size();
    size = valid && IsEditorSize(percent) ? percent : kDefaultEditorSize;
  }
  return size;
}

// Unique per attempt: the counter within this process, fresh system randomness between
// processes (forked ones included, which share the counter).
std::string TemporaryName() {
  static std::atomic<uint64_t> attempts{0};
  uint64_t noise = uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                   std::hash<std::thread::id>()(std::this_thread::get_id());
  try {
    std::random_device device;
    noise ^= (uint64_t(device()) << 32) | device();
  } catch (...) {
    // No entropy source: the clock and the thread stand in.
  }
  char digits[17] = {};
  std::to_chars(digits, digits + 16, noise, 16);
  return std::string(kEditorSettingsFile) + "." + digits + "-" + std::to_string(attempts++) +
         ".tmp";
}

// Windows refuses to replace a file that another process has open (a reader, or another writer
// replacing it at that moment) and reports an access or I/O error; that passes within
// milliseconds. POSIX renames fail only for lasting reasons, with other errors.
bool Replace(const fs::path& from, const fs::path& to) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  for (std::error_code error;; std::this_thread::sleep_for(std::chrono::milliseconds(1))) {
    fs::rename(from, to, error);
    if (!error) return true;
    if (error != std::errc::permission_denied && error != std::errc::io_error) return false;
    if (std::chrono::steady_clock::now() > deadline) return false;
  }
}

// Removes the temporary file unless it was renamed into place.
struct TemporaryFile {
  fs::path path;
  bool kept = false;
  ~TemporaryFile() {
    std::error_code error;
    if (!kept) fs::remove(path, error);
  }
};

}  // namespace

bool IsEditorSize(int32_t percent) noexcept {
  return std::find(std::begin(kEditorSizes), std::end(kEditorSizes), percent) !=
         std::end(kEditorSizes);
}

int32_t ReadEditorSize(const std::string& folder) noexcept {
  try {
    if (folder.empty()) return kDefaultEditorSize;
    const fs::path file = PathOf(folder) / kEditorSettingsFile;
    std::error_code error;
    // A FIFO or device in its place would block or never end.
    if (!fs::is_regular_file(file, error)) return kDefaultEditorSize;
    // Windows refuses to open the file while a writer's rename of it completes; that passes
    // within milliseconds.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
    std::ifstream in(file, std::ios::binary);
    while (!in.is_open() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      in.open(file, std::ios::binary);
    }
    char bytes[kReadLimit + 1];
    in.read(bytes, sizeof bytes);
    const size_t count = size_t(std::max<std::streamsize>(in.gcount(), 0));
    return SizeIn(std::string_view(bytes, std::min(count, kReadLimit)), count <= kReadLimit);
  } catch (...) {
    return kDefaultEditorSize;
  }
}

bool WriteEditorSize(const std::string& folder, int32_t percent) noexcept {
  try {
    if (folder.empty() || !IsEditorSize(percent)) return false;
    const fs::path directory = PathOf(folder);
    std::error_code error;
    fs::create_directories(directory, error);
    if (error) return false;
    const std::string text = std::string(kSizeKey) + "=" + std::to_string(percent) + "\n";
    // Written whole beside the settings file, then renamed over it in one step.
    TemporaryFile temporary{directory / TemporaryName()};
    {
      std::ofstream out(temporary.path, std::ios::binary | std::ios::trunc);
      out.write(text.data(), std::streamsize(text.size()));
      out.close();
      if (out.fail()) return false;
    }
    temporary.kept = Replace(temporary.path, directory / kEditorSettingsFile);
    return temporary.kept;
  } catch (...) {
    return false;
  }
}
