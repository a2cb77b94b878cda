// A scratch folder per test, and a snapshot of its contents to prove that a failed command left
// the file system as it was.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace brimo::render::test {

class TestDir {
public:
  TestDir();
  ~TestDir();
  TestDir(const TestDir&) = delete;
  TestDir& operator=(const TestDir&) = delete;

  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  // Every entry below the folder: relative path -> contents (folders "<dir>", links "-> target").
  std::map<std::string, std::string> Snapshot() const;

private:
  std::string path_;
};

void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);

// Writes planar audio with libsndfile (format: SF_FORMAT_* word); fails the test on error.
void WriteSound(const std::string& path, const std::vector<std::vector<double>>& channels, int rate,
                int format);
// Reads a file back; the format word and rate go to the optional outputs.
std::vector<std::vector<double>> ReadSound(const std::string& path, int* rate = nullptr,
                                           int* format = nullptr);

}  // namespace brimo::render::test
