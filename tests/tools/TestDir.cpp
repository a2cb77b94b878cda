#include "TestDir.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace brimo::render::test {

TestDir::TestDir() {
  std::string pattern = (fs::temp_directory_path() / "brimo-render-test-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) ADD_FAILURE() << "mkdtemp failed";
  path_ = pattern;
}

TestDir::~TestDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::map<std::string, std::string> TestDir::Snapshot() const {
  std::map<std::string, std::string> entries;
  for (auto it = fs::recursive_directory_iterator(path_); it != fs::recursive_directory_iterator();
       ++it) {
    const std::string rel = fs::relative(it->path(), path_).string();
    if (it->is_symlink())
      entries[rel] = "-> " + fs::read_symlink(it->path()).string();
    else if (it->is_directory())
      entries[rel] = "<dir>";
    else
      entries[rel] = ReadBytes(it->path().string());
  }
  return entries;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary);
  f << bytes;
  ASSERT_TRUE(f.good()) << path;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

void WriteSound(const std::string& path, const std::vector<std::vector<double>>& channels, int rate,
                int format) {
  SF_INFO info{};
  info.channels = static_cast<int>(channels.size());
  info.samplerate = rate;
  info.format = format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
  const size_t frames = channels[0].size();
  std::vector<double> interleaved(frames * channels.size());
  for (size_t i = 0; i < frames; ++i)
    for (size_t c = 0; c < channels.size(); ++c)
      interleaved[i * channels.size() + c] = channels[c][i];
  EXPECT_EQ(sf_writef_double(f, interleaved.data(), static_cast<sf_count_t>(frames)),
            static_cast<sf_count_t>(frames));
  sf_close(f);
}

std::vector<std::vector<double>> ReadSound(const std::string& path, int* rate, int* format) {
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f) {
    ADD_FAILURE() << "cannot read " << path << ": " << sf_strerror(nullptr);
    return {};
  }
  std::vector<double> interleaved(static_cast<size_t>(info.frames * info.channels));
  sf_readf_double(f, interleaved.data(), info.frames);
  sf_close(f);
  std::vector<std::vector<double>> channels(static_cast<size_t>(info.channels),
                                            std::vector<double>(static_cast<size_t>(info.frames)));
  for (size_t i = 0; i < static_cast<size_t>(info.frames); ++i)
    for (size_t c = 0; c < channels.size(); ++c)
      channels[c][i] = interleaved[i * channels.size() + c];
  if (rate) *rate = info.samplerate;
  if (format) *format = info.format;
  return channels;
}

}  // namespace brimo::render::test
