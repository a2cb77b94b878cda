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

constexpr NamedFormat kContainers[] = {
    {"wav", SF_FORMAT_WAV},   {"aiff", SF_FORMAT_AIFF}, {"aif", SF_FORMAT_AIFF},
    {"flac", SF_FORMAT_FLAC}, {"ogg", SF_FORMAT_OGG},   {"caf", SF_FORMAT_CAF},
    {"w64", SF_FORMAT_W64},   {"au", SF_FORMAT_AU},     {"rf64", SF_FORMAT_RF64},
};

constexpr NamedFormat kEncodings[] = {
    {"pcm16", SF_FORMAT_PCM_16}, {"pcm24", SF_FORMAT_PCM_24}, {"pcm32", SF_FORMAT_PCM_32},
    {"float", SF_FORMAT_FLOAT},  {"double", SF_FORMAT_DOUBLE}, {"vorbis", SF_FORMAT_VORBIS},
};

int Lookup(const NamedFormat* table, size_t n, const std::string& name) {
    for (size_t i = 0; i < n; ++i)
        if (name == table[i].name) return table[i].value;
    return 0;
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

int64_t SoundReader::Read(std::vector<std::vector<double>>& planar, int64_t maxFrames, std::string& error) {
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
        for (sf_count_t i = 0; i < got; ++i) out[static_cast<size_t>(i)] = interleaved_[static_cast<size_t>(i * channels_ + c)];
    }
    return got;
}

SoundWriter::~SoundWriter() {
    if (file_) sf_close(file_);
}

bool SoundWriter::Open(const PendingFile& file, int channels, double sampleRate, int format, std::string& error) {
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

bool ChooseFormat(int inputFormat, const std::string& container, const std::string& encoding,
                  int channels, int& format, std::string& error) {
    int major = inputFormat & SF_FORMAT_TYPEMASK;
    int minor = inputFormat & SF_FORMAT_SUBMASK;
    if (!container.empty()) {
        major = Lookup(kContainers, std::size(kContainers), container);
        if (major == 0) {
            error = "unknown output format \"" + container + "\"";
            return false;
        }
    }
    if (!encoding.empty()) {
        minor = Lookup(kEncodings, std::size(kEncodings), encoding);
        if (minor == 0) {
            error = "unknown output encoding \"" + encoding + "\"";
            return false;
        }
    }
    SF_INFO probe{};
    probe.channels = channels;
    probe.samplerate = 44100;
    probe.format = major | minor;
    if (!container.empty() && encoding.empty() && !sf_format_check(&probe)) {
        // A new container with the input's encoding it cannot hold: take the container's own
        // first encoding rather than refusing (e.g. FLAC from a float WAV).
        for (const NamedFormat& e : kEncodings) {
            probe.format = major | e.value;
            if (sf_format_check(&probe)) {
                minor = e.value;
                break;
            }
        }
        probe.format = major | minor;
    }
    if (!sf_format_check(&probe)) {
        error = "the output format cannot hold this audio (choose another --format or --encoding)";
        return false;
    }
    format = probe.format;
    return true;
}

PendingFile::~PendingFile() { Discard(); }

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
    return writer.Open(file, static_cast<int>(audio.channels.size()), audio.sampleRate, format, error) &&
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
    struct stat sa {}, sb {};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace brimo::render
