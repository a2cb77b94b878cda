// Audio files through libsndfile, held as planar doubles, and output that appears only when
// complete.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

typedef struct sf_private_tag SNDFILE;

namespace brimo::render {

struct Audio {
  double sampleRate = 44100.0;
  int format = 0;                             // libsndfile SF_FORMAT_* word (container | encoding)
  std::vector<std::vector<double>> channels;  // planar; every channel the same length

  int64_t Frames() const { return channels.empty() ? 0 : static_cast<int64_t>(channels[0].size()); }
};

// Reads a mono or stereo file. Anything libsndfile cannot read, or more than two channels, fails
// with a message naming the file and the problem.
bool ReadAudio(const std::string& path, Audio& audio, std::string& error);

// A mono or stereo file read piece by piece, so renders of long files need little memory.
class SoundReader {
public:
  SoundReader() = default;
  ~SoundReader();
  SoundReader(const SoundReader&) = delete;
  SoundReader& operator=(const SoundReader&) = delete;

  // Fails like ReadAudio on anything unreadable or with more than two channels.
  bool Open(const std::string& path, std::string& error);
  int Channels() const { return channels_; }
  double SampleRate() const { return sampleRate_; }
  int Format() const { return format_; }
  int64_t Frames() const { return frames_; }  // as the header says; 0 when unknown
  // Reads up to maxFrames into planar (resized to the frames read); 0 at the end, -1 on error.
  int64_t Read(std::vector<std::vector<double>>& planar, int64_t maxFrames, std::string& error);

private:
  SNDFILE* file_ = nullptr;
  std::string path_;
  int channels_ = 0;
  double sampleRate_ = 0;
  int format_ = 0;
  int64_t frames_ = 0;
  std::vector<double> interleaved_;
};

class PendingFile;

// Writes planar audio piece by piece into a pending file; Close() before committing.
class SoundWriter {
public:
  SoundWriter() = default;
  ~SoundWriter();
  SoundWriter(const SoundWriter&) = delete;
  SoundWriter& operator=(const SoundWriter&) = delete;

  bool Open(const PendingFile& file, int channels, double sampleRate, int format,
            std::string& error);
  bool Write(const std::vector<std::vector<double>>& planar, std::string& error);
  bool Close(std::string& error);

private:
  SNDFILE* file_ = nullptr;
  std::string target_;
  int channels_ = 0;
  std::vector<double> interleaved_;
};

struct FormatRequest {
  int inputFormat = 0;    // the input's SF_FORMAT_* word
  std::string output;     // OUT, whose extension names the container unless `container` does
  std::string container;  // --format: "wav", "flac", "mp3"...; empty = by OUT's extension
  std::string encoding;   // --encoding: "pcm16", "float"...; empty = chosen
  int channels = 1;
  int sampleRate = 44100;
};

// Resolves the output format word. The container: --format, else OUT's extension when it names
// one the installed libsndfile writes, else the input's. The encoding: --encoding, else the one a
// lossy container implies (Vorbis, Opus, MPEG layer III), else the input's where the container
// holds it, else 24-bit PCM, 16-bit PCM or float, the first it holds. Fails on an unknown name,
// a container this libsndfile cannot write, or a combination the container cannot hold.
bool ChooseFormat(const FormatRequest& request, int& format, std::string& error);

// A file written under a temporary name in the target's folder and renamed over the target only
// by Commit(). Destroying it uncommitted, or an interrupting signal, removes the temporary file;
// the target is never touched before Commit().
class PendingFile {
public:
  PendingFile() = default;
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // Creates the temporary file next to target; false with a message when the folder is not
  // writable or does not exist.
  bool Create(const std::string& target, std::string& error);
  const std::string& TempPath() const { return temp_; }
  const std::string& Target() const { return target_; }
  bool Commit(std::string& error);
  void Discard();

private:
  std::string target_;
  std::string temp_;
  bool open_ = false;
  int slot_ = -1;  // entry in the interrupt clean-up list
};

// Writes audio to a pending file in the given format; the caller commits.
bool WriteAudio(PendingFile& file, const Audio& audio, int format, std::string& error);

// Writes text to a pending file; the caller commits.
bool WriteText(PendingFile& file, const std::string& text, std::string& error);

// True when both paths name the same existing file (also through links or other spellings).
bool SameFile(const std::string& a, const std::string& b);

}  // namespace brimo::render
