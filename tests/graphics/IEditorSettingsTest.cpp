// The remembered editor size: what a reader makes of any file, round trips, refusals, failures
// that leave nothing behind, writers racing each other, and where each platform keeps the file.
#include "IEditorSettings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

class EditorSettings : public ::testing::Test {
protected:
  void SetUp() override {
    root = fs::temp_directory_path() / ("brimo-settings-" + std::to_string(std::random_device()()));
    fs::create_directories(root);
    folder = root / "config" / "BRIMO";
    dir = Utf8(folder);
  }
  void TearDown() override {
    std::error_code error;
    fs::remove_all(root, error);
  }
  void Put(const std::string& bytes) {
    fs::create_directories(folder);
    std::ofstream(folder / kEditorSettingsFile, std::ios::binary | std::ios::trunc) << bytes;
  }
  std::string Contents() const {
    std::ifstream in(folder / kEditorSettingsFile, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // What the folder holds besides the settings file: temporaries left behind.
  std::vector<std::string> Leftovers() const {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
      if (entry.path().filename() != kEditorSettingsFile) names.push_back(Utf8(entry.path()));
    return names;
  }
  fs::path root, folder;
  std::string dir;
};

TEST_F(EditorSettings, ReadsWhatAHandEditedOrDamagedFileSays) {
  // A comment line that pushes the next line across the read limit of 256 bytes.
  const std::string limit = std::string(240, '#') + "\n";
  const struct {
    std::string bytes;
    int32_t size;
  } cases[] = {
      {"", 100},
      {"garbage", 100},
      {"editor-size=", 100},
      {"editor-size=150abc", 100},
      {"editor-size=99", 100},
      {"editor-size=-75", 100},
      {"editor-size=" + std::string(100, '9'), 100},
      {"editor-size=" + std::string(5000, '1'), 100},
      {std::string("\0\xFF\x01\x80", 4), 100},
      {std::string(10 << 20, '\xA5'), 100},
      {"editor-size=150", 150},
      {"editor-size=75\r\n", 75},
      {"\xEF\xBB\xBF# mine\r\nzoom=2\r\n\t editor-size = 175 \r\n", 175},
      {std::string("\0\xFF\n", 3) + "editor-size=150\n", 150},
      {"editor-size=150\neditor-size=200\n", 200},
      {"editor-size=125\n" + std::string(10 << 20, 'x'), 125},
      {limit + "editor-size=1250\n", 100},  // cut at the limit it would read 125
  };
  EXPECT_EQ(ReadEditorSize(dir), 100) << "no file";
  EXPECT_EQ(ReadEditorSize(""), 100) << "no folder";
  for (const auto& c : cases) {
    Put(c.bytes);
    EXPECT_EQ(ReadEditorSize(dir), c.size) << c.bytes.substr(0, 40);
  }
  fs::remove(folder / kEditorSettingsFile);
  fs::create_directory(folder / kEditorSettingsFile);
  EXPECT_EQ(ReadEditorSize(dir), 100) << "a folder in the file's place";
#ifndef _WIN32
  fs::remove(folder / kEditorSettingsFile);
  ASSERT_EQ(mkfifo(Utf8(folder / kEditorSettingsFile).c_str(), 0600), 0);
  EXPECT_EQ(ReadEditorSize(dir), 100) << "a FIFO, with no writer to end the read";
#endif
}

TEST_F(EditorSettings, RoundTripsEveryOfferedSizeAsOneReadableLine) {
  for (const int32_t size : kEditorSizes) {
    EXPECT_TRUE(WriteEditorSize(dir, size)) << size;
    EXPECT_EQ(ReadEditorSize(dir), size);
    EXPECT_EQ(Contents(), "editor-size=" + std::to_string(size) + "\n");
  }
  EXPECT_TRUE(Leftovers().empty());
  // A folder named outside ASCII: the name is UTF-8 on every platform.
  const fs::path named = root / fs::path(u8"R\u00e9glages \u8a2d\u5b9a");
  EXPECT_TRUE(WriteEditorSize(Utf8(named), 175));
  EXPECT_EQ(ReadEditorSize(Utf8(named)), 175);
  EXPECT_TRUE(fs::is_regular_file(named / kEditorSettingsFile));
}

TEST_F(EditorSettings, RefusesSizesNotOfferedAndKeepsTheOldOne) {
  EXPECT_FALSE(WriteEditorSize(dir, 99));
  EXPECT_FALSE(WriteEditorSize("", 150));
  EXPECT_FALSE(fs::exists(folder)) << "a refusal writes nothing";
  ASSERT_TRUE(WriteEditorSize(dir, 150));
  for (const int32_t size : {0, 74, 76, 101, 225, -100, INT32_MIN, INT32_MAX}) {
    EXPECT_FALSE(WriteEditorSize(dir, size)) << size;
    EXPECT_EQ(ReadEditorSize(dir), 150);
  }
}

TEST_F(EditorSettings, FailsCleanlyWhereItCannotWrite) {
  std::ofstream(root / "file") << "x";
  EXPECT_FALSE(WriteEditorSize(Utf8(root / "file" / "BRIMO"), 150)) << "under a regular file";
  EXPECT_EQ(ReadEditorSize(Utf8(root / "file" / "BRIMO")), 100);
  EXPECT_FALSE(WriteEditorSize(Utf8(root / "file"), 150)) << "the folder is a file";
  // A folder with something in it in the settings file's place cannot be replaced: the written
  // temporary must go again.
  fs::create_directories(folder / kEditorSettingsFile / "inside");
  EXPECT_FALSE(WriteEditorSize(dir, 150));
  EXPECT_EQ(ReadEditorSize(dir), 100);
  EXPECT_TRUE(Leftovers().empty());
}

// Writers only ever write sizes other than 100, so a reader meeting 100 met a partial or missing
// file.
bool Whole(int32_t size) {
  return size != kDefaultEditorSize && IsEditorSize(size);
}

TEST_F(EditorSettings, ConcurrentWritersLoseNothingAndReadersSeeWholeFiles) {
  ASSERT_TRUE(WriteEditorSize(dir, 75));
  std::atomic<bool> writing{true};
  std::atomic<int> failures{0}, partial{0};
  const auto write = [&](int32_t first, int32_t last) {
    for (int i = 0; i < 300; ++i)
      if (!WriteEditorSize(dir, i % 2 ? last : first)) ++failures;
  };
  // Paced as editors opening, not flat out: on Windows a reader holding the file open stalls
  // the writers' renames, and one in a tight loop starves them.
  std::thread reader([&] {
    for (; writing; std::this_thread::sleep_for(std::chrono::milliseconds(1)))
      if (!Whole(ReadEditorSize(dir))) ++partial;
  });
  std::thread a(write, 125, 150), b(write, 175, 200);
  a.join();
  b.join();
  writing = false;
  reader.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(partial, 0);
  const int32_t last = ReadEditorSize(dir);
  EXPECT_TRUE(last == 150 || last == 200) << "the last rename wins, got " << last;
  EXPECT_TRUE(Leftovers().empty());
}

#ifndef _WIN32
TEST_F(EditorSettings, TwoProcessesWritingAtOnceLoseNothing) {
  ASSERT_TRUE(WriteEditorSize(dir, 75));
  pid_t children[2] = {};
  for (int child = 0; child < 2; ++child) {
    children[child] = fork();
    ASSERT_GE(children[child], 0);
    if (children[child] == 0) {
      int failures = 0;
      for (int i = 0; i < 300; ++i) failures += !WriteEditorSize(dir, child ? 200 : 150);
      _exit(failures ? 1 : 0);
    }
  }
  int partial = 0;
  for (int i = 0; i < 2000; ++i) partial += !Whole(ReadEditorSize(dir));
  for (const pid_t child : children) {
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a write failed";
  }
  EXPECT_EQ(partial, 0);
  const int32_t last = ReadEditorSize(dir);
  EXPECT_TRUE(last == 150 || last == 200) << last;
  EXPECT_TRUE(Leftovers().empty());
}

// Sets or (for null) unsets a variable, restoring it at the end of the scope.
class ScopedVariable {
public:
  ScopedVariable(const char* name, const char* value) : name(name) {
    if (const char* old = std::getenv(name)) saved = old;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~ScopedVariable() { saved ? setenv(name, saved->c_str(), 1) : unsetenv(name); }

private:
  const char* name;
  std::optional<std::string> saved;
};

TEST(EditorSettingsFolder, FollowsXdgConfigHomeThenHome) {
  const passwd* entry = getpwuid(getuid());
  const std::string account = entry && entry->pw_dir && entry->pw_dir[0] == '/'
                                  ? entry->pw_dir + std::string("/.config/BRIMO")
                                  : "";
  const struct {
    const char *config, *home;
    std::string folder;
  } cases[] = {
      {"/cfg", "/home/u", "/cfg/BRIMO"},
      {"cfg", "/home/u", "/home/u/.config/BRIMO"},  // relative: ignored
      {"", "/home/u", "/home/u/.config/BRIMO"},
      {nullptr, "/home/u", "/home/u/.config/BRIMO"},
      {nullptr, "relative", account},
      {nullptr, nullptr, account},
  };
  for (const auto& c : cases) {
    ScopedVariable config("XDG_CONFIG_HOME", c.config), home("HOME", c.home);
    EXPECT_EQ(EditorSettingsFolder(), c.folder)
        << (c.config ? c.config : "(unset)") << ", " << (c.home ? c.home : "(unset)");
  }
}
#else
TEST(EditorSettingsFolder, IsTheRoamingApplicationDataFolder) {
  const std::string folder = EditorSettingsFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_TRUE(folder.ends_with("\\BRIMO")) << folder;
  const fs::path path(std::u8string(folder.begin(), folder.end()));
  EXPECT_TRUE(path.is_absolute()) << folder;
  EXPECT_TRUE(fs::is_directory(path.parent_path())) << folder;
}
#endif

}  // namespace
