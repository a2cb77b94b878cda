#include "AudioFile.h"

#include <sndfile.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

namespace brimo::render {

namespace {

struct NamedFormat {
  const char* name;
  int value;
};

// Containers by the names --format and OUT's extension use. The lossy ones imply their encoding.
struct Container {
  const char* name;
  int major;
  int encoding;  // 0: chosen from the input's
};

constexpr Container kContainers[] = {
    {"wav", SF_FORMAT_WAV, 0},
    {"aiff", SF_FORMAT_AIFF, 0},
    {"aif", SF_FORMAT_AIFF, 0},
    {"flac", SF_FORMAT_FLAC, 0},
    {"ogg", SF_FORMAT_OGG, SF_FORMAT_VORBIS},
    {"oga", SF_FORMAT_OGG, SF_FORMAT_VORBIS},
    {"opus", SF_FORMAT_OGG, SF_FORMAT_OPUS},
    {"mp3", SF_FORMAT_MPEG, SF_FORMAT_MPEG_LAYER_III},
    {"caf", SF_FORMAT_CAF, 0},
    {"w64", SF_FORMAT_W64, 0},
    {"au", SF_FORMAT_AU, 0},
    {"rf64", SF_FORMAT_RF64, 0},
};

constexpr NamedFormat kEncodings[] = {
    {"pcm16", SF_FORMAT_PCM_16}, {"pcm24", SF_FORMAT_PCM_24},       {"pcm32", SF_FORMAT_PCM_32},
    {"float", SF_FORMAT_FLOAT},  {"double", SF_FORMAT_DOUBLE},      {"vorbis", SF_FORMAT_VORBIS},
    {"opus", SF_FORMAT_OPUS},    {"mp3", SF_FORMAT_MPEG_LAYER_III},
};

int Lookup(const NamedFormat* table, size_t n, const std::string& name) {
  for (size_t i = 0; i < n; ++i)
    if (name == table[i].name) return table[i].value;
  return 0;
}

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

const Container* FindContainer(const std::string& name) {
  const std::string lower = Lower(name);
  for (const Container& c : kContainers)
    if (lower == c.name) return &c;
  return nullptr;
}

std::string Extension(const std::string& path) {
  const std::string name = std::filesystem::path(path).filename().string();
  const size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot + 1);
}

// The installed libsndfile lists only the containers it was built to handle (MPEG needs an
// encoder library, for one); sf_format_check alone does not know.
bool Listed(int major) {
  int count = 0;
  sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
  for (int i = 0; i < count; ++i) {
    SF_FORMAT_INFO info{};
    info.format = i;
    if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info) == 0 && info.format == major)
      return true;
  }
  return false;
}

bool Holds(int format, int channels, int sampleRate) {
  SF_INFO probe{};
  probe.channels = channels;
  probe.samplerate = sampleRate;
  probe.format = format;
  return sf_format_check(&probe) != 0;
}

// How a refusal names the files: by the container's name in upper case where it has one here.
std::string FilesOf(const Container* chosen, int major) {
  const char* name = chosen ? chosen->name : nullptr;
  for (size_t i = 0; !name && i < std::size(kContainers); ++i)
    if (kContainers[i].major == major) name = kContainers[i].name;
  if (!name) return "files in the input's format";
  std::string upper = name;
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return upper + " files";
}

std::string EncodingName(int minor) {
  for (const NamedFormat& e : kEncodings)
    if (e.value == minor) return e.name;
  return "the input's";
}

// Temporary files in flight, so that an interrupt (Ctrl-C, kill) removes them too. Slots are
// claimed by the main thread only; the handler reads them, which unlink() allows.
constexpr int kSlots = 8;
constexpr size_t kPathMax = 4096;
char g_pending[kSlots][kPathMax];
volatile sig_atomic_t g_used[kSlots];

extern "C" void RemovePendingAndDie(int sig) {
  for (int i = 0; i < kSlots; ++i)
    if (g_used[i]) ::unlink(g_pending[i]);
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

int Register(const std::string& path) {
  static const bool installed = [] {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::signal(sig, RemovePendingAndDie);
    return true;
  }();
  (void)installed;
  if (path.size() >= kPathMax) return -1;
  for (int i = 0; i < kSlots; ++i)
    if (!g_used[i]) {
      std::memcpy(g_pending[i], path.c_str(), path.size() + 1);
      g_used[i] = 1;
      return i;
    }
  return -1;
}

void Unregister(int slot) {
  if (slot >= 0) g_used[slot] = 0;
}

std::string Folder(const std::string& path) {
  std::filesystem::path p(path);
  std::filesystem::path parent = p.parent_path();
  return parent.empty() ? std::string(".") : parent.string();
}

}  // namespace

SoundReader::~SoundReader() {
  if (file_) sf_close(file_);
}

bool SoundReader::Open(const std::string& path, std::string& error) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    error = "cannot read " + path + ": it is a folder";
    return false;
  }
  SF_INFO info{};
  file_ = sf_open(path.c_str(), SFM_READ, &info);
  if (!file_) {
    error = "cannot read " + path + ": " + sf_strerror(nullptr);
    return false;
  }
  if (info.channels < 1 || info.channels > 2) {
    error = path + " has " + std::to_string(info.channels) +
            " channels; only mono and stereo files are supported";
    return false;
  }
  if (info.samplerate <= 0) {
    error = path + " has no valid sample rate";
    return false;
  }
  path_ = path;
  channels_ = info.channels;
  sampleRate_ = info.samplerate;
  format_ = info.format;
  frames_ = info.frames > 0 && info.frames < SF_COUNT_MAX ? info.frames : 0;
  return true;
}

int64_t SoundReader::Read(std::vector<std::vector<double>>& planar, int64_t maxFrames,
                          std::string& error) {
  if (!file_ || maxFrames <= 0) return 0;
  interleaved_.resize(static_cast<size_t>(maxFrames * channels_));
  const sf_count_t got = sf_readf_double(file_, interleaved_.data(), maxFrames);
  if (got < 0 || sf_error(file_) != SF_ERR_NO_ERROR) {
    error = "cannot read " + path_ + ": " + sf_strerror(file_);
    return -1;
  }
  planar.resize(static_cast<size_t>(channels_));
  for (int c = 0; c < channels_; ++c) {
    std::vector<double>& out = planar[static_cast<size_t>(c)];
    out.resize(static_cast<size_t>(got));
    for (sf_count_t i = 0; i < got; ++i)
      out[static_cast<size_t>(i)] = interleaved_[static_cast<size_t>(i * channels_ + c)];
  }
  return got;
}

SoundWriter::~SoundWriter() {
  if (file_) sf_close(file_);
}

bool SoundWriter::Open(const PendingFile& file, int channels, double sampleRate, int format,
                       std::string& error) {
  SF_INFO info{};
  info.channels = channels;
  info.samplerate = static_cast<int>(sampleRate);
  info.format = format;
  target_ = file.Target();
  file_ = sf_open(file.TempPath().c_str(), SFM_WRITE, &info);
  if (!file_) {
    error = "cannot write " + target_ + ": " + sf_strerror(nullptr);
    return false;
  }
  channels_ = channels;
  // Integer encodings clip instead of wrapping around when the equaliser boosts past full scale.
  sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  return true;
}

bool SoundWriter::Write(const std::vector<std::vector<double>>& planar, std::string& error) {
  const size_t frames = planar.empty() ? 0 : planar[0].size();
  if (!file_ || static_cast<int>(planar.size()) != channels_) {
    error = "cannot write " + target_;
    return false;
  }
  interleaved_.resize(frames * static_cast<size_t>(channels_));
  for (size_t i = 0; i < frames; ++i)
    for (size_t c = 0; c < planar.size(); ++c) interleaved_[i * planar.size() + c] = planar[c][i];
  if (sf_writef_double(file_, interleaved_.data(), static_cast<sf_count_t>(frames)) !=
      static_cast<sf_count_t>(frames)) {
    error = "cannot write " + target_ + ": " + sf_strerror(file_);
    return false;
  }
  return true;
}

bool SoundWriter::Close(std::string& error) {
  if (!file_) return false;
  sf_write_sync(file_);
  const int r = sf_close(file_);
  file_ = nullptr;
  if (r != 0) {
    error = "cannot write " + target_;
    return false;
  }
  return true;
}

bool ReadAudio(const std::string& path, Audio& audio, std::string& error) {
  SoundReader reader;
  if (!reader.Open(path, error)) return false;
  audio.sampleRate = reader.SampleRate();
  audio.format = reader.Format();
  audio.channels.assign(static_cast<size_t>(reader.Channels()), {});
  for (auto& c : audio.channels) c.reserve(static_cast<size_t>(reader.Frames()));
  std::vector<std::vector<double>> chunk;
  for (;;) {
    const int64_t got = reader.Read(chunk, 65536, error);
    if (got < 0) return false;
    if (got == 0) return true;
    for (size_t c = 0; c < chunk.size(); ++c)
      audio.channels[c].insert(audio.channels[c].end(), chunk[c].begin(), chunk[c].end());
  }
}

bool ChooseFormat(const FormatRequest& request, int& format, std::string& error) {
  const Container* chosen = nullptr;
  if (!request.container.empty()) {
    chosen = FindContainer(request.container);
    if (!chosen) {
      error = "unknown output format \"" + request.container + "\"";
      return false;
    }
    if (!Listed(chosen->major)) {
      error = "this libsndfile cannot write " + std::string(chosen->name) + " files";
      return false;
    }
  } else if (const Container* named = FindContainer(Extension(request.output));
             named && Listed(named->major)) {
    chosen = named;
  }
  const int major = chosen ? chosen->major : request.inputFormat & SF_FORMAT_TYPEMASK;
  const int inputEncoding = request.inputFormat & SF_FORMAT_SUBMASK;
  int minor = 0;
  if (!request.encoding.empty()) {
    minor = Lookup(kEncodings, std::size(kEncodings), Lower(request.encoding));
    if (minor == 0) {
      error = "unknown output encoding \"" + request.encoding + "\"";
      return false;
    }
  } else if (chosen && chosen->encoding) {
    minor = chosen->encoding;
  } else {
    // The input's encoding where the container holds it, else the first of these it does:
    // FLAC, for one, holds no floats and gets 24-bit PCM from a float input.
    const int candidates[] = {inputEncoding, SF_FORMAT_PCM_24, SF_FORMAT_PCM_16, SF_FORMAT_FLOAT};
    for (int candidate : candidates)
      if (Holds(major | candidate, request.channels, request.sampleRate)) {
        minor = candidate;
        break;
      }
  }
  if (minor == 0 || !Holds(major | minor, request.channels, request.sampleRate)) {
    error = FilesOf(chosen, major) + " cannot hold " + EncodingName(minor ? minor : inputEncoding) +
            " samples (choose another --format or --encoding)";
    return false;
  }
  format = major | minor;
  return true;
}

PendingFile::~PendingFile() {
  Discard();
}

bool PendingFile::Create(const std::string& target, std::string& error) {
  Discard();
  target_ = target;
  std::string pattern = Folder(target) + "/.brimo-render-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  // An interrupt between creating the file and registering it would leave the file behind:
  // hold the interrupting signals until the handler knows the name.
  sigset_t interrupts, previous;
  sigemptyset(&interrupts);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&interrupts, sig);
  ::pthread_sigmask(SIG_BLOCK, &interrupts, &previous);
  const int fd = ::mkstemp(name.data());
  if (fd >= 0) {
    ::close(fd);
    temp_ = name.data();
    open_ = true;
    slot_ = Register(temp_);
  }
  const int mkstempError = errno;
  ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (fd < 0) {
    error = "cannot write in the folder of " + target + ": " + std::strerror(mkstempError);
    return false;
  }
  return true;
}

bool PendingFile::Commit(std::string& error) {
  if (!open_) {
    error = "nothing to write to " + target_;
    return false;
  }
  // mkstemp makes the file 0600; give the result the usual permissions for a new file.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::chmod(temp_.c_str(), 0666 & ~mask);
  if (std::rename(temp_.c_str(), target_.c_str()) != 0) {
    error = "cannot write " + target_ + ": " + std::strerror(errno);
    Discard();
    return false;
  }
  open_ = false;
  Unregister(slot_);
  slot_ = -1;
  temp_.clear();
  return true;
}

void PendingFile::Discard() {
  if (open_) ::unlink(temp_.c_str());
  Unregister(slot_);
  slot_ = -1;
  open_ = false;
  temp_.clear();
}

bool WriteAudio(PendingFile& file, const Audio& audio, int format, std::string& error) {
  SoundWriter writer;
  return writer.Open(file, static_cast<int>(audio.channels.size()), audio.sampleRate, format,
                     error) &&
         writer.Write(audio.channels, error) && writer.Close(error);
}

bool WriteText(PendingFile& file, const std::string& text, std::string& error) {
  std::FILE* f = std::fopen(file.TempPath().c_str(), "wb");
  if (!f) {
    error = "cannot write " + file.Target() + ": " + std::strerror(errno);
    return false;
  }
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  const bool closed = std::fclose(f) == 0;
  if (!ok || !closed) {
    error = "cannot write " + file.Target();
    return false;
  }
  return true;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace brimo::render
