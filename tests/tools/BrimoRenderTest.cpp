// brimo-render as a user runs it, against the bundle this build produced: renders checked against
// the equaliser's own behaviour, responses against its documented figures, and every refusal
// checked to leave the file system exactly as it was.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <sstream>

#include "BRIMO.h"
#include "Commands.h"
#include "IGraphicsHeadless.h"
#include "LicePng.h"
#include "Response.h"
#include "Session.h"
#include "GeneratedSignals.h"
#include "TestDir.h"

extern char** environ;

namespace brimo::render {
namespace {

using test::ReadBytes;
using test::ReadSound;
using test::TestDir;
using test::WriteBytes;
using test::WriteSound;

constexpr double kPi = 3.14159265358979323846;

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the program with a given working folder; its output goes to files outside that folder.
Result RunRender(const std::vector<std::string>& args, const std::string& cwd = ".") {
  static TestDir logs;
  const std::string outPath = logs / "stdout";
  const std::string errPath = logs / "stderr";
  std::vector<std::string> all = {BRIMO_RENDER_EXE};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  pid_t pid = 0;
  Result r;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  r.out = ReadBytes(outPath);
  r.err = ReadBytes(errPath);
  return r;
}

std::vector<std::string> WithPlugin(std::vector<std::string> args) {
  args.push_back("--plugin");
  args.push_back(BRIMO_TEST_BUNDLE);
  return args;
}

std::vector<double> Sine(double freq, double rate, size_t frames, double amplitude) {
  std::vector<double> x(frames);
  for (size_t i = 0; i < frames; ++i)
    x[i] = amplitude * std::sin(2 * kPi * freq * static_cast<double>(i) / rate);
  return x;
}

double RmsDb(const std::vector<double>& x, size_t from) {
  double sum = 0;
  for (size_t i = from; i < x.size(); ++i) sum += x[i] * x[i];
  return 10 * std::log10(sum / static_cast<double>(x.size() - from));
}

// The response CSV as columns; value at any frequency by interpolation on the log axis.
struct Csv {
  std::vector<std::string> labels;
  std::vector<double> freq;
  std::vector<std::vector<double>> db;

  double At(size_t column, double f) const {
    for (size_t i = 1; i < freq.size(); ++i)
      if (freq[i] >= f) {
        const double t = std::log(f / freq[i - 1]) / std::log(freq[i] / freq[i - 1]);
        return db[column][i - 1] + t * (db[column][i] - db[column][i - 1]);
      }
    return NAN;
  }
};

Csv ReadCsv(const std::string& path) {
  Csv csv;
  std::istringstream in(ReadBytes(path));
  std::string line;
  std::getline(in, line);
  std::istringstream header(line);
  std::string field;
  std::getline(header, field, ',');
  while (std::getline(header, field, ',')) csv.labels.push_back(field);
  csv.db.resize(csv.labels.size());
  while (std::getline(in, line)) {
    std::istringstream row(line);
    std::getline(row, field, ',');
    csv.freq.push_back(std::stod(field));
    for (auto& column : csv.db) {
      std::getline(row, field, ',');
      column.push_back(std::stod(field));
    }
  }
  return csv;
}

class RenderCli : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(BRIMO_TEST_BUNDLE))
        << "the bundle is built with the program";
  }
  TestDir dir;
};

TEST_F(RenderCli, BypassReturnsTheInputExactly) {
  // A float file, so that "exactly" covers every bit of every sample, including a full-scale
  // overload the equaliser would otherwise shape.
  std::vector<double> left = Sine(997, 44100, 20000, 0.9);
  std::vector<double> right = PinkNoise(44100, 20000, 1.5, 7);
  for (double& v : left) v = static_cast<float>(v);
  for (double& v : right) v = static_cast<float>(v);
  WriteSound(dir / "in.wav", {left, right}, 44100, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  const Result r = RunRender(WithPlugin(
      {dir / "in.wav", dir / "out.wav", "--bypass", "--set", "High Boost=8", "--block", "333"}));
  ASSERT_EQ(r.status, 0) << r.err;
  int format = 0;
  EXPECT_EQ(ReadSound(dir / "out.wav", nullptr, &format),
            (std::vector<std::vector<double>>{left, right}));
  EXPECT_EQ(format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);

  // And without bypass the same settings do change the signal.
  ASSERT_EQ(
      RunRender(WithPlugin({dir / "in.wav", dir / "boosted.wav", "--set", "High Boost=8"})).status,
      0);
  EXPECT_NE(ReadSound(dir / "boosted.wav")[0], left);
}

TEST_F(RenderCli, EachStereoChannelEqualsItsMonoRender) {
  const std::vector<double> left = SineSweep(48000, 30000, 30, 18000, 0.5);
  const std::vector<double> right = PinkNoise(48000, 30000, 0.7, 99);
  WriteSound(dir / "stereo.wav", {left, right}, 48000, SF_FORMAT_WAV | SF_FORMAT_DOUBLE);
  WriteSound(dir / "left.wav", {left}, 48000, SF_FORMAT_WAV | SF_FORMAT_DOUBLE);
  WriteSound(dir / "right.wav", {right}, 48000, SF_FORMAT_WAV | SF_FORMAT_DOUBLE);
  const std::vector<std::string> settings = {
      "--set", "Low Boost=-0.3", "--set",          "Low Frequency=2",
      "--set", "Mid Boost=0.6",  "--set",          "Mid Cut=0.4",
      "--set", "High Boost=5",   "--set",          "High Cut=2",
      "--set", "Low Cut=1",      "--oversampling", "16"};
  for (const char* name : {"stereo", "left", "right"}) {
    std::vector<std::string> args = {dir / (std::string(name) + ".wav"),
                                     dir / (std::string(name) + "-out.wav")};
    args.insert(args.end(), settings.begin(), settings.end());
    const Result r = RunRender(WithPlugin(args));
    ASSERT_EQ(r.status, 0) << name << ": " << r.err;
  }
  const auto stereo = ReadSound(dir / "stereo-out.wav");
  ASSERT_EQ(stereo.size(), 2u);
  EXPECT_EQ(stereo[0], ReadSound(dir / "left-out.wav")[0]);
  EXPECT_EQ(stereo[1], ReadSound(dir / "right-out.wav")[0]);
  EXPECT_NE(stereo[0], left);
}

TEST_F(RenderCli, SettingsAreInForceFromTheFirstSampleAndKeepTheFormat) {
  // A 1 kHz tone with "High Boost" 8 against 0: the documented +2.6 dB at 1 kHz, through a
  // 24-bit FLAC at 48 kHz that comes back as a 24-bit FLAC at 48 kHz.
  const double rate = 48000;
  WriteSound(dir / "tone.flac", {Sine(1000, rate, 48000, 0.1)}, static_cast<int>(rate),
             SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
  ASSERT_EQ(RunRender(WithPlugin({dir / "tone.flac", dir / "flat.flac"})).status, 0);
  const Result r =
      RunRender(WithPlugin({dir / "tone.flac", dir / "hb8.flac", "--set", "high boost=8"}));
  ASSERT_EQ(r.status, 0) << r.err;
  int outRate = 0, format = 0;
  const auto boosted = ReadSound(dir / "hb8.flac", &outRate, &format);
  EXPECT_EQ(outRate, 48000);
  EXPECT_EQ(format, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
  const double gain = RmsDb(boosted[0], 24000) - RmsDb(ReadSound(dir / "flat.flac")[0], 24000);
  EXPECT_NEAR(gain, 2.6, 0.06);

  // --format and --encoding choose another output format.
  ASSERT_EQ(RunRender(WithPlugin({dir / "tone.flac", dir / "out.aiff", "--format", "aiff",
                                  "--encoding", "float"}))
                .status,
            0);
  ReadSound(dir / "out.aiff", nullptr, &format);
  EXPECT_EQ(format, SF_FORMAT_AIFF | SF_FORMAT_FLOAT);
}

bool WritesMpeg() {
  int count = 0;
  sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
  for (int i = 0; i < count; ++i) {
    SF_FORMAT_INFO info{};
    info.format = i;
    if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info) == 0 &&
        info.format == SF_FORMAT_MPEG)
      return true;
  }
  return false;
}

TEST_F(RenderCli, TheOutputIsTheFormatItsNameSays) {
  // A float input at 48 kHz (a rate Opus allows): each output must read back as the container its
  // name says, in an encoding that container holds, and sound like the float render.
  const std::vector<double> tone = Sine(1000, 48000, 24000, 0.25);
  WriteSound(dir / "in.wav", {tone, tone}, 48000, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  WriteSound(dir / "in.flac", {tone}, 48000, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
  ASSERT_EQ(RunRender(WithPlugin({dir / "in.wav", dir / "reference.wav"})).status, 0);
  const double referenceDb = RmsDb(ReadSound(dir / "reference.wav")[0], 4800);
  const int mp3 =
      WritesMpeg() ? SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III : SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  const struct {
    std::vector<std::string> args;
    int format;
    double toleranceDb;
  } cases[] = {
      {{"in.wav", "out.flac"}, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 0.001},
      {{"in.wav", "out.ogg"}, SF_FORMAT_OGG | SF_FORMAT_VORBIS, 0.5},
      {{"in.wav", "out.opus"}, SF_FORMAT_OGG | SF_FORMAT_OPUS, 0.5},
      {{"in.wav", "out.mp3"}, mp3, 0.5},
      {{"in.wav", "out.Aiff"}, SF_FORMAT_AIFF | SF_FORMAT_FLOAT, 0.001},
      {{"in.flac", "out.data"}, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 0.001},
      {{"in.wav", "forced.flac", "--format", "caf", "--encoding", "pcm16"},
       SF_FORMAT_CAF | SF_FORMAT_PCM_16,
       0.001},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[1]);
    std::vector<std::string> args = c.args;
    for (size_t i = 0; i < 2; ++i) args[i] = dir / args[i];
    const Result r = RunRender(WithPlugin(args));
    ASSERT_EQ(r.status, 0) << r.err;
    int rate = 0, format = 0;
    const auto out = ReadSound(args[1], &rate, &format);
    EXPECT_EQ(format, c.format);
    EXPECT_EQ(rate, 48000);
    ASSERT_FALSE(out.empty());
    EXPECT_NEAR(RmsDb(out[0], 4800), referenceDb, c.toleranceDb);
  }
}

TEST_F(RenderCli, OversamplingSwitchChangesOnlyTheFaintColouration) {
  const std::vector<double> x = SineSweep(44100, 44100, 50, 15000, 0.08);
  WriteSound(dir / "in.wav", {x}, 44100, SF_FORMAT_WAV | SF_FORMAT_DOUBLE);
  ASSERT_EQ(RunRender(WithPlugin({dir / "in.wav", dir / "x4.wav", "--oversampling", "4"})).status,
            0);
  ASSERT_EQ(RunRender(WithPlugin({dir / "in.wav", dir / "x16.wav", "--oversampling", "16"})).status,
            0);
  const auto a = ReadSound(dir / "x4.wav")[0];
  const auto b = ReadSound(dir / "x16.wav")[0];
  double maxDiff = 0;
  for (size_t i = 0; i < a.size(); ++i) maxDiff = std::max(maxDiff, std::fabs(a[i] - b[i]));
  EXPECT_GT(maxDiff, 0.0);
  EXPECT_LT(maxDiff, 0.08 * 1e-3);  // the colouration is mixed in at -60 dB
}

TEST_F(RenderCli, ResponseReproducesTheDocumentedFigures) {
  const Result r =
      RunRender(WithPlugin({"--response", dir / "hb.svg",    "--curve", "hb0",
                            "--set",      "High Boost=0",    "--curve", "hb8",
                            "--set",      "High Boost=8",    "--curve", "mc0",
                            "--set",      "Mid Cut=0",       "--curve", "mc1",
                            "--set",      "Mid Cut=1",       "--curve", "lb99",
                            "--set",      "Low Boost=-0.99", "--set",   "Low Frequency=1"}));
  ASSERT_EQ(r.status, 0) << r.err;
  const Csv csv = ReadCsv(dir / "hb.csv");
  ASSERT_EQ(csv.labels, (std::vector<std::string>{"hb0", "hb8", "mc0", "mc1", "lb99"}));
  EXPECT_NE(ReadBytes(dir / "hb.svg").find("<polyline"), std::string::npos);

  // "High Boost" 8 relative to 0 at 44100 Hz.
  const std::pair<double, double> highBoost[] = {
      {100, 0.03}, {1000, 2.6}, {5000, 11.3}, {10000, 13.7}};
  for (const auto& [f, db] : highBoost)
    EXPECT_NEAR(csv.At(1, f) - csv.At(0, f), db, 0.05) << f << " Hz";
  // The flat default chain: 0.99908 (-0.008 dB) dry, plus the colouration mixed in at 0.001,
  // which at the measuring level is the saturation curve's slope of about 0.6 applied to the
  // band-limited input: 0.99908 * (1 + 0.0006), about -0.0028 dB.
  EXPECT_NEAR(csv.At(0, 100), 20 * std::log10(0.99908 * 1.0006), 0.001);
  // Mid cut at b = 1: about -11.5 dB at the centre of position 0 (692.6 Hz).
  EXPECT_NEAR(csv.At(3, 692.6) - csv.At(2, 692.6), -11.5, 0.1);
  // "Low Boost" -0.99 switches the network in: a bump of about 2.5 dB at 100.7 Hz.
  EXPECT_NEAR(csv.At(4, 100.7) - csv.At(0, 100.7), 2.5, 0.1);
}

TEST_F(RenderCli, MeasuringLevelDoesNotDisturbTheResponse) {
  // The colouration is signal dependent; at the measuring level it must be linear enough that
  // a tenfold quieter impulse gives the same curve. Mid boost near its minimum is the slowest
  // network to decay, so it also shows the recording is long enough.
  std::string error;
  const auto frequencies = LogFrequencies(20.0, 20000.0, 20);
  std::vector<std::vector<double>> curves;
  for (double level : {kImpulseLevel, kImpulseLevel / 10}) {
    auto session = Session::Open(BRIMO_TEST_BUNDLE, error);
    ASSERT_TRUE(session) << error;
    std::vector<ResolvedSetting> settings;
    ASSERT_TRUE(session->Resolve({{"High Boost", "8"}, {"Mid Boost", "0.001"}, {"Low Boost", "0"}},
                                 settings, error))
        << error;
    std::vector<double> db;
    ASSERT_TRUE(MeasureResponse(*session, 44100, settings, frequencies, db, error, level)) << error;
    curves.push_back(db);
  }
  for (size_t i = 0; i < frequencies.size(); ++i)
    EXPECT_NEAR(curves[0][i], curves[1][i], 0.0005) << frequencies[i] << " Hz";
}

TEST_F(RenderCli, ListParamsShowsTheHostView) {
  const Result r = RunRender(WithPlugin(
      {"--list-params", "--set", "High Boost=8", "--set", "Oversampling=16x", "--bypass"}));
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* name : {"Low Boost", "Mid Boost", "Mid Cut", "Output", "High Boost", "High Cut",
                           "Low Cut", "Low Frequency", "Mid Boost Frequency", "Mid Cut Frequency",
                           "Bypass", "Preset", "Oversampling", "Bypass Switch"})
    EXPECT_NE(r.out.find(name), std::string::npos) << name << "\n" << r.out;
  // The hidden slot is not listed, and a legend sets its switch.
  EXPECT_EQ(r.out.find("Reserved"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("16x"), std::string::npos) << r.out;
  EXPECT_NE(RunRender(WithPlugin({"--list-params", "--set", "Reserved=1"})).status, 0);
  EXPECT_NE(RunRender(WithPlugin({"--list-params", "--set", "Oversampling=8x"})).status, 0);
  // The current value column follows the settings.
  std::istringstream lines(r.out);
  std::string line;
  bool sawHighBoost = false;
  while (std::getline(lines, line))
    if (line.find("High Boost ") != std::string::npos) {
      sawHighBoost = true;
      EXPECT_EQ(line.substr(line.find_last_not_of(' ')), "8") << line;
    }
  EXPECT_TRUE(sawHighBoost) << r.out;
}

TEST_F(RenderCli, DemoWritesItsFolder) {
  const Result r = RunRender(WithPlugin({"--demo"}), dir.Path());
  ASSERT_EQ(r.status, 0) << r.err;
  int rate = 0;
  const auto in = ReadSound(dir / "brimo-demo/input.wav", &rate);
  const auto out = ReadSound(dir / "brimo-demo/output.wav");
  EXPECT_EQ(rate, 44100);
  ASSERT_EQ(in.size(), 2u);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(in[0].size(), out[0].size());
  EXPECT_NE(in[0], out[0]);
  EXPECT_EQ(ReadCsv(dir / "brimo-demo/response.csv").labels.size(), 2u);
  EXPECT_NE(ReadBytes(dir / "brimo-demo/response.svg").find("demo setting"), std::string::npos);
}

// The snapshot against the editor drawn directly by the headless graphics object, and a setting's
// effect confined to the control that shows it.
TEST_F(RenderCli, SnapshotIsTheHeadlessEditorWithTheSettingsShown) {
  using Pixels = std::vector<LICE_PixelWord>;
  auto pixelsOf = [](LICE_IBitmap& b) {
    Pixels p;
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x) p.push_back(b.PixelData()[y * b.RowSpan() + x]);
    return p;
  };
  auto readPng = [&](const std::string& path) {
    std::unique_ptr<LICE_IBitmap> b(LICE_DecodePngFile(path.c_str(), nullptr));
    EXPECT_TRUE(b && b->Width() == BRIMO::kEditorWidth && b->Height() == BRIMO::kEditorHeight)
        << path;
    return b ? pixelsOf(*b) : Pixels();
  };
  ASSERT_EQ(RunRender({"--snapshot", dir / "defaults.png"}).status, 0);
  const Result r = RunRender({"--snapshot", dir / "boost.png", "--set", "High Boost=8"});
  ASSERT_EQ(r.status, 0) << r.err;
  const Pixels defaults = readPng(dir / "defaults.png");
  const Pixels boost = readPng(dir / "boost.png");

  auto* plug = new BRIMO();
  plug->initialize(nullptr);
  auto* graphics = dynamic_cast<IGraphicsHeadless*>(plug->GetGraphics());
  ASSERT_NE(graphics, nullptr);
  graphics->RenderAll();
  EXPECT_TRUE(defaults == pixelsOf(*graphics->Screen()));
  plug->terminate();
  plug->release();

  // The High Boost knob's box is (530, 18) to (625, 110).
  ASSERT_EQ(boost.size(), defaults.size());
  int inside = 0;
  int outside = 0;
  for (size_t i = 0; i < boost.size(); ++i) {
    if (boost[i] == defaults[i]) continue;
    const int x = static_cast<int>(i % BRIMO::kEditorWidth);
    const int y = static_cast<int>(i / BRIMO::kEditorWidth);
    ++(x >= 530 && x < 625 && y >= 18 && y < 110 ? inside : outside);
  }
  EXPECT_GT(inside, 0);
  EXPECT_EQ(outside, 0);
}

// Every refusal: a message on standard error, a non-zero status, and not one byte changed.
TEST_F(RenderCli, RefusalsLeaveTheFileSystemAsItWas) {
  WriteSound(dir / "in.wav", {Sine(440, 44100, 4410, 0.5)}, 44100,
             SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  WriteSound(dir / "three.wav", {{0.1, 0.2}, {0.1, 0.2}, {0.1, 0.2}}, 44100,
             SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  WriteBytes(dir / "junk.wav", "RIFF\x10\0\0\0WAVEjunkjunkjunk");
  WriteBytes(dir / "out.wav", "an older file that must survive");
  std::filesystem::create_directory(dir / "sub");
  std::filesystem::create_directory(dir / "broken.vst3");
  std::filesystem::create_directories(dir / "broken.vst3/Contents/x86_64-linux");
  WriteBytes(dir / "broken.vst3/Contents/x86_64-linux/broken.so",
             "\x7f"
             "ELF but not really");
  std::filesystem::create_symlink(dir / "in.wav", dir / "alias.wav");
  const std::string in = dir / "in.wav";
  const std::string out = dir / "out.wav";

  const std::vector<std::vector<std::string>> cases = {
      WithPlugin({in, out, "--set", "Treble=3"}),
      WithPlugin({in, out, "--set", "High Boost=9"}),
      WithPlugin({in, out, "--set", "High Boost=2.5"}),
      WithPlugin({in, out, "--set", "Low Boost=0.5"}),
      WithPlugin({in, out, "--set", "Output=loud"}),
      WithPlugin({in, out, "--set", "Bypass=maybe"}),
      WithPlugin({dir / "missing.wav", out}),
      WithPlugin({dir / "junk.wav", out}),
      WithPlugin({dir / "three.wav", out}),
      WithPlugin({dir / "sub", out}),
      WithPlugin({in, in}),
      WithPlugin({in, dir / "sub/../in.wav"}),
      WithPlugin({in, dir / "alias.wav"}),
      WithPlugin({in, dir / "sub"}),
      WithPlugin({in, dir / "no-folder/out.wav"}),
      WithPlugin({in, out, "--format", "mp9"}),
      WithPlugin({in, dir / "out.flac", "--encoding", "float"}),
      WithPlugin({in, dir / "out.opus"}),  // Opus allows no 44.1 kHz
      WithPlugin({in, out, "--format", "ogg", "--encoding", "pcm16"}),
      {in, out, "--plugin", dir / "missing.vst3"},
      {in, out, "--plugin", dir / "broken.vst3"},
      {"--demo", dir / "demo", "--plugin", dir / "missing.vst3"},
      WithPlugin({"--demo", dir / "in.wav"}),
      WithPlugin(
          {"--response", dir / "resp", "--curve", "ok", "--curve", "bad", "--set", "Mid Cut=2"}),
      WithPlugin({"--list-params", "--set", "Nothing=1"}),
      {"--snapshot", dir / "editor.png", "--set", "Treble=3"},
      {"--snapshot", dir / "editor.png", "--set", "Reserved=1"},
      {"--snapshot", dir / "editor.png", "--touch", "Treble"},
      WithPlugin({in, out, "--touch", "Output"}),
      WithPlugin({in, out, "--oversampling", "8"}),
  };
  const auto before = dir.Snapshot();
  for (const auto& args : cases) {
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    const Result r = RunRender(args);
    EXPECT_NE(r.status, 0) << joined;
    EXPECT_NE(r.err.find("brimo-render: "), std::string::npos) << joined;
    EXPECT_EQ(dir.Snapshot(), before) << joined << "\n" << r.err;
  }
}

TEST_F(RenderCli, AnInterruptedRenderLeavesNoTrace) {
  // Two minutes at 16x oversampling takes long enough to interrupt once the temporary output
  // has appeared; the old OUT must survive and the temporary file must go.
  WriteSound(dir / "long.wav", {SineSweep(44100, 44100 * 120, 20, 20000, 0.5)}, 44100,
             SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  WriteBytes(dir / "out.wav", "keep me");
  const auto before = dir.Snapshot();
  std::vector<std::string> all =
      WithPlugin({BRIMO_RENDER_EXE, dir / "long.wav", dir / "out.wav", "--oversampling", "16"});
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
  bool sawTemporary = false;
  for (int i = 0; i < 120000 && !sawTemporary; ++i) {  // up to a minute on a busy machine
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
      if (entry.path().filename().string().rfind(".brimo-render-", 0) == 0) sawTemporary = true;
    if (!sawTemporary) ::usleep(500);
  }
  ::kill(pid, SIGINT);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(sawTemporary);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
  EXPECT_EQ(dir.Snapshot(), before);
}

TEST_F(RenderCli, FindsTheBuildsBundleWithoutBeingTold) {
  const Result r = RunRender({"--list-params"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("High Boost"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace brimo::render
