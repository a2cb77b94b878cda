// The parts of brimo-render that need no plug-in: the command line, the response maths and
// charts, audio files and output that appears only when complete.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <filesystem>

#include "AudioFile.h"
#include "Options.h"
#include "Response.h"
#include "TestDir.h"

namespace brimo::render {
namespace {

using test::ReadBytes;
using test::TestDir;
using test::WriteBytes;

constexpr double kPi = 3.14159265358979323846;

ParseResult Parse(std::vector<std::string> args) {
  return ParseArguments(args);
}

TEST(RenderOptions, AssignmentsSplitAtTheFirstEqualsAndTrim) {
  auto a = ParseAssignment(" Low Boost = -0.4 ");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->name, "Low Boost");
  EXPECT_EQ(a->value, "-0.4");
  for (const char* bad : {"High Boost", "=8", "High Boost=", "  =  "})
    EXPECT_FALSE(ParseAssignment(bad)) << bad;
}

TEST(RenderOptions, NumbersMustBeWholeAndFinite) {
  EXPECT_EQ(ParseNumber("-0.4"), -0.4);
  EXPECT_EQ(ParseNumber(" 1e3 "), 1000.0);
  for (const char* bad : {"", "8x", "x8", "nan", "inf", "1e999", "0x"})
    EXPECT_FALSE(ParseNumber(bad)) << bad;
}

TEST(RenderOptions, RenderTakesInOutAndTranslatesSwitchesToParameters) {
  auto r =
      Parse({"in.wav", "--set", "High Boost=8", "out.wav", "--oversampling", "16", "--bypass"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.options.mode, Mode::Render);
  EXPECT_EQ(r.options.input, "in.wav");
  EXPECT_EQ(r.options.output, "out.wav");
  ASSERT_EQ(r.options.curves.size(), 1u);
  const auto& sets = r.options.curves[0].sets;
  ASSERT_EQ(sets.size(), 3u);
  EXPECT_EQ(sets[0].name, "High Boost");
  EXPECT_EQ(sets[1].name, "#11");  // the unnamed oversampling switch
  EXPECT_EQ(sets[1].value, "1");
  EXPECT_EQ(sets[2].name, "Bypass");

  auto four = Parse({"a", "b", "--oversampling", "4"});
  ASSERT_TRUE(four.ok);
  EXPECT_EQ(four.options.curves[0].sets[0].value, "0");
}

TEST(RenderOptions, MistakesAreRefusedWithAMessage) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"in.wav"},
      {"in.wav", "out.wav", "extra.wav"},
      {"in.wav", "out.wav", "--oversampling", "8"},
      {"in.wav", "out.wav", "--set", "High Boost"},
      {"in.wav", "out.wav", "--set"},
      {"in.wav", "out.wav", "--block", "0"},
      {"in.wav", "out.wav", "--block", "2.5"},
      {"in.wav", "out.wav", "--frobnicate"},
      {"--list-params", "--demo"},
      {"--list-params", "in.wav"},
      {"in.wav", "out.wav", "--curve", "A"},
      {"--response"},
      {"--response", "r", "--rate", "100"},
      {"in.wav", "out.wav", "--rate", "48000"},
      {"--response", "r", "--format", "wav"},
      {"--snapshot"},
      {"--snapshot", "e.png", "--plugin", "BRIMO.vst3"},
  };
  for (const auto& args : bad) {
    auto r = Parse(args);
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    EXPECT_FALSE(r.ok) << joined;
    EXPECT_FALSE(r.error.empty()) << joined;
  }
}

TEST(RenderOptions, CommonSettingsApplyToEveryCurveAndComeFirst) {
  auto r = Parse({"--response", "hb", "--set", "Output=-3", "--curve", "flat", "--curve", "",
                  "--set", "High Boost=8", "--rate", "48000"});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.options.mode, Mode::Response);
  EXPECT_EQ(r.options.output, "hb");
  EXPECT_EQ(r.options.sampleRate, 48000.0);
  ASSERT_EQ(r.options.curves.size(), 2u);
  EXPECT_EQ(r.options.curves[0].label, "flat");
  ASSERT_EQ(r.options.curves[0].sets.size(), 1u);
  EXPECT_EQ(r.options.curves[0].sets[0].name, "Output");
  // An empty label is named after the curve's own settings; later settings win when applied.
  EXPECT_EQ(r.options.curves[1].label, "High Boost=8");
  ASSERT_EQ(r.options.curves[1].sets.size(), 2u);
  EXPECT_EQ(r.options.curves[1].sets[1].name, "High Boost");

  auto single = Parse({"--response", "x"});
  ASSERT_TRUE(single.ok);
  EXPECT_EQ(single.options.curves[0].label, "defaults");
}

TEST(ResponseMaths, FrequencyGridHitsDecadesAndEnds) {
  const auto f = LogFrequencies(20.0, 20000.0, 100);
  ASSERT_GE(f.size(), 300u);
  EXPECT_EQ(f.front(), 20.0);
  EXPECT_EQ(f.back(), 20000.0);
  for (size_t i = 1; i < f.size(); ++i) ASSERT_GT(f[i], f[i - 1]);
  for (double decade : {100.0, 1000.0, 10000.0})
    EXPECT_NE(std::find(f.begin(), f.end(), decade), f.end()) << decade;
  EXPECT_TRUE(LogFrequencies(0.0, 10.0, 10).empty());
}

TEST(ResponseMaths, MagnitudeMatchesClosedForms) {
  const double fs = 44100.0;
  const std::vector<double> freqs = {20.0, 1000.0, 7000.0, 19999.0};

  // Two-tap average: |H| = 2 cos(pi f / fs), at any frequency, not only at bins.
  const auto avg = MagnitudeDb({1.0, 1.0}, fs, freqs);
  for (size_t i = 0; i < freqs.size(); ++i)
    EXPECT_NEAR(avg[i], 20 * std::log10(2 * std::cos(kPi * freqs[i] / fs)), 1e-9) << freqs[i];

  // A long, slowly decaying one-pole response: the running phasor must not drift over
  // hundreds of thousands of samples. |H| = 1 / |1 - a e^{-jw}|.
  const double a = 0.99995;
  std::vector<double> h(400000);
  double v = 1.0;
  for (double& s : h) {
    s = v;
    v *= a;
  }
  const auto pole = MagnitudeDb(h, fs, freqs);
  for (size_t i = 0; i < freqs.size(); ++i) {
    const double w = 2 * kPi * freqs[i] / fs;
    const double expected = -20 * std::log10(std::abs(1.0 - a * std::polar(1.0, -w)));
    EXPECT_NEAR(pole[i], expected, 1e-6) << freqs[i];
  }
}

TEST(ResponseMaths, DbAxisCoversTheCurvesOnWholeGridSteps) {
  const DbAxis flat = ChooseDbAxis({{"flat", {0.0, -0.01, 0.0}}});
  EXPECT_LT(flat.lo, -0.01);
  EXPECT_GT(flat.hi, 0.0);
  EXPECT_GE(flat.hi - flat.lo, 12.0);

  const DbAxis wide = ChooseDbAxis({{"a", {-15.2, 0.0}}, {"b", {13.7, -300.0}}});
  EXPECT_LE(wide.lo, -15.2);  // the -300 dB floor of a null is ignored
  EXPECT_GT(wide.lo, -30.0);
  EXPECT_GE(wide.hi, 13.7);
  EXPECT_EQ(std::fmod(wide.lo, wide.step), 0.0);
  EXPECT_EQ(std::fmod(wide.hi, wide.step), 0.0);
}

TEST(ResponseCharts, CsvHasOneColumnPerCurveWithQuotedLabels) {
  const std::string csv =
      ResponseCsv({100.0, 1000.0},
                  {{"High Boost=8, Low Boost=-0.4", {0.5, 2.25}}, {"say \"hi\"", {1.0, -1.0}}});
  EXPECT_EQ(csv,
            "frequency_hz,\"High Boost=8, Low Boost=-0.4\",\"say \"\"hi\"\"\"\n"
            "100.000,0.5000,1.0000\n"
            "1000.000,2.2500,-1.0000\n");
}

TEST(ResponseCharts, SvgDrawsEachCurveInsideThePlotAndEscapesLabels) {
  const auto f = LogFrequencies(20.0, 20000.0, 10);
  std::vector<double> wild(f.size(), 3.0);
  wild[3] = -300.0;  // a deep null must not throw the line off the page
  const std::string svg =
      ResponseSvg(f, {{"a<b & c", wild}, {"flat", std::vector<double>(f.size(), 0.0)}}, "T");
  EXPECT_EQ(svg.rfind("<svg", 0), 0u);
  EXPECT_NE(svg.find("</svg>"), std::string::npos);
  EXPECT_NE(svg.find("a&lt;b &amp; c"), std::string::npos);
  size_t lines = 0;
  for (size_t p = svg.find("<polyline"); p != std::string::npos; p = svg.find("<polyline", p + 1)) {
    ++lines;
    const size_t start = svg.find("points=\"", p) + 8;
    const std::string points = svg.substr(start, svg.find('"', start) - start);
    size_t count = 0;
    for (size_t q = 0; q < points.size();) {
      const size_t comma = points.find(',', q);
      const size_t space = points.find(' ', comma);
      const double x = std::stod(points.substr(q, comma - q));
      const double y = std::stod(points.substr(comma + 1, space - comma - 1));
      EXPECT_TRUE(x >= 0 && x <= 800) << x;
      EXPECT_TRUE(y >= 0 && y <= 480) << y;  // held just outside the frame, then clipped
      ++count;
      q = space == std::string::npos ? points.size() : space + 1;
    }
    EXPECT_EQ(count, f.size());
  }
  EXPECT_EQ(lines, 2u);
}

TEST(AudioFiles, FloatFilesRoundTripExactlyAndFormatsFollowTheInput) {
  TestDir dir;
  const std::vector<std::vector<double>> data = {{0.1f, -0.25f, 1.5f, 0.0f},
                                                 {0.3f, 0.0f, -0.75f, 1e-7f}};
  test::WriteSound(dir / "in.wav", data, 48000, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  Audio audio;
  std::string error;
  ASSERT_TRUE(ReadAudio(dir / "in.wav", audio, error)) << error;
  EXPECT_EQ(audio.sampleRate, 48000.0);
  EXPECT_EQ(audio.channels, data);

  int format = 0;
  ASSERT_TRUE(ChooseFormat({audio.format, dir / "out.wav", "", "", 2, 48000}, format, error));
  EXPECT_EQ(format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  PendingFile out;
  ASSERT_TRUE(out.Create(dir / "out.wav", error)) << error;
  ASSERT_TRUE(WriteAudio(out, audio, format, error)) << error;
  ASSERT_TRUE(out.Commit(error)) << error;
  int rate = 0, written = 0;
  EXPECT_EQ(test::ReadSound(dir / "out.wav", &rate, &written), data);
  EXPECT_EQ(rate, 48000);
  EXPECT_EQ(written, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
}

TEST(AudioFiles, TheContainerFollowsFormatThenExtensionThenInputWithAnEncodingItHolds) {
  constexpr int kFloatWav = SF_FORMAT_WAV | SF_FORMAT_FLOAT,
                kFlac16 = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
  struct Case {
    int input;
    const char* out;
    const char* container;
    const char* encoding;
    int expected;  // 0: refused
  } cases[] = {
      {kFloatWav, "a/out.flac", "", "", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
      {kFlac16, "out.FLAC", "", "", kFlac16},
      {kFlac16, "out.wav", "", "", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
      {kFloatWav, "out.aif", "", "", SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
      {kFloatWav, "out.au", "", "", SF_FORMAT_AU | SF_FORMAT_FLOAT},
      {kFloatWav, "out.oga", "", "", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
      {kFloatWav, "out.opus", "", "", SF_FORMAT_OGG | SF_FORMAT_OPUS},
      {SF_FORMAT_OGG | SF_FORMAT_VORBIS, "out.caf", "", "", SF_FORMAT_CAF | SF_FORMAT_PCM_24},
      {kFlac16, "out.txt", "", "", kFlac16},             // not a container: as the input
      {kFlac16, "flac", "", "", kFlac16},                // no extension at all
      {kFlac16, "out.flac", "wav", "float", kFloatWav},  // --format and --encoding win
      {kFloatWav, "out.ogg", "flac", "pcm16", kFlac16},
      {kFloatWav, "out.wav", "aiff", "", SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
      {kFloatWav, "out.flac", "", "float", 0},
      {kFloatWav, "out.opus", "", "pcm16", 0},
      {kFloatWav, "out.flac", "", "double", 0},
      {kFloatWav, "out.wav", "mp9", "", 0},
      {kFloatWav, "out.wav", "", "pcm7", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.out) + " " + c.container + " " + c.encoding);
    std::string error;
    int format = 0;
    const bool chosen =
        ChooseFormat({c.input, c.out, c.container, c.encoding, 2, 48000}, format, error);
    EXPECT_EQ(chosen, c.expected != 0) << error;
    EXPECT_EQ(chosen ? format : error.empty() ? -1 : 0, c.expected);
  }
}

TEST(AudioFiles, UnsupportedInputsFailWithTheReason) {
  TestDir dir;
  test::WriteSound(dir / "three.wav", {{0.1}, {0.2}, {0.3}}, 44100,
                   SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  WriteBytes(dir / "junk.wav", "RIFF not really a wave file at all");
  Audio audio;
  std::string error;
  EXPECT_FALSE(ReadAudio(dir / "three.wav", audio, error));
  EXPECT_NE(error.find("3 channels"), std::string::npos) << error;
  for (const char* name : {"junk.wav", "missing.wav", "."}) {
    error.clear();
    EXPECT_FALSE(ReadAudio(dir / name, audio, error)) << name;
    EXPECT_NE(error.find(dir / name), std::string::npos) << error;
  }
}

TEST(PendingFiles, TheTargetChangesOnlyOnCommit) {
  TestDir dir;
  WriteBytes(dir / "out.txt", "old");
  std::string error;
  {
    PendingFile f;
    ASSERT_TRUE(f.Create(dir / "out.txt", error)) << error;
    ASSERT_TRUE(WriteText(f, "new", error));
    EXPECT_EQ(ReadBytes(dir / "out.txt"), "old");
    // Dropped without commit: the temporary file goes, the old target stays.
  }
  EXPECT_EQ(dir.Snapshot(), (std::map<std::string, std::string>{{"out.txt", "old"}}));

  PendingFile f;
  ASSERT_TRUE(f.Create(dir / "out.txt", error));
  ASSERT_TRUE(WriteText(f, "new", error));
  ASSERT_TRUE(f.Commit(error)) << error;
  EXPECT_EQ(dir.Snapshot(), (std::map<std::string, std::string>{{"out.txt", "new"}}));
  // A committed file gets ordinary permissions, not the temporary file's private ones.
  EXPECT_EQ(::access((dir / "out.txt").c_str(), R_OK), 0);
  const auto perms = std::filesystem::status(dir / "out.txt").permissions();
  EXPECT_NE(perms & std::filesystem::perms::group_read, std::filesystem::perms::none);

  PendingFile nowhere;
  EXPECT_FALSE(nowhere.Create(dir / "no-such-folder/out.txt", error));
  EXPECT_NE(error.find("no-such-folder"), std::string::npos) << error;
}

TEST(PendingFiles, SameFileSeesThroughLinksAndSpellings) {
  TestDir dir;
  WriteBytes(dir / "a.wav", "a");
  WriteBytes(dir / "b.wav", "a");
  std::filesystem::create_directory(dir / "sub");
  std::filesystem::create_symlink(dir / "a.wav", dir / "link.wav");
  std::filesystem::create_hard_link(dir / "a.wav", dir / "hard.wav");
  EXPECT_TRUE(SameFile(dir / "a.wav", dir / "sub/../a.wav"));
  EXPECT_TRUE(SameFile(dir / "a.wav", dir / "link.wav"));
  EXPECT_TRUE(SameFile(dir / "a.wav", dir / "hard.wav"));
  EXPECT_FALSE(SameFile(dir / "a.wav", dir / "b.wav"));
  EXPECT_FALSE(SameFile(dir / "a.wav", dir / "missing.wav"));
}

}  // namespace
}  // namespace brimo::render
