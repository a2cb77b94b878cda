#include "Commands.h"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "AudioFile.h"
#include "Session.h"
#include "GeneratedSignals.h"
#include "Snapshot.h"

namespace brimo::render {

namespace {

void Fail(const std::string& message) {
  std::fprintf(stderr, "brimo-render: %s\n", message.c_str());
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A one-line bar on standard error, for long files when someone is watching.
class Progress {
public:
  Progress(int64_t total, double sampleRate, bool quiet)
      : total_(total),
        enabled_(!quiet && total > static_cast<int64_t>(5.0 * sampleRate) &&
                 ::isatty(STDERR_FILENO)) {}
  ~Progress() {
    if (enabled_ && shown_ >= 0) std::fprintf(stderr, "\r%60s\r", "");
  }
  void Update(int64_t done) {
    if (!enabled_ || total_ <= 0) return;
    const int percent = static_cast<int>(100 * done / total_);
    if (percent == shown_) return;
    shown_ = percent;
    constexpr int kWidth = 40;
    char bar[kWidth + 1];
    const int filled = percent * kWidth / 100;
    for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '-';
    bar[kWidth] = '\0';
    std::fprintf(stderr, "\rrendering [%s] %3d%%", bar, percent);
    std::fflush(stderr);
  }

private:
  int64_t total_;
  bool enabled_;
  int shown_ = -1;
};

bool OpenSession(const Options& options, std::shared_ptr<host::Module>& module,
                 std::unique_ptr<Session>& session, std::string& error) {
  if (!module) {
    std::string bundle;
    if (!FindBundle(options.plugin, bundle, error)) return false;
    session = Session::Open(bundle, error);
    if (session) module = session->Module();
  } else {
    session = Session::Open(module, error);
  }
  return session != nullptr;
}

// Renders audio through a fresh instance with the given settings.
bool RenderAudio(const Options& options, std::shared_ptr<host::Module>& module,
                 const std::vector<Assignment>& sets, Audio& audio, std::string& error) {
  std::unique_ptr<Session> session;
  if (!OpenSession(options, module, session, error)) return false;
  std::vector<ResolvedSetting> settings;
  if (!session->Resolve(sets, settings, error)) return false;
  if (!session->Start(audio.sampleRate, static_cast<int>(audio.channels.size()), options.blockSize,
                      settings, error))
    return false;
  return session->Process(audio.channels, error);
}

bool MeasureCurves(const Options& options, std::shared_ptr<host::Module>& module,
                   const std::vector<double>& frequencies, std::vector<ResponseCurve>& curves,
                   std::string& error) {
  // Check every curve's settings before measuring any, so a typo in the last one fails fast.
  std::vector<std::unique_ptr<Session>> sessions;
  std::vector<std::vector<ResolvedSetting>> settings(options.curves.size());
  for (size_t i = 0; i < options.curves.size(); ++i) {
    std::unique_ptr<Session> session;
    if (!OpenSession(options, module, session, error)) return false;
    if (!session->Resolve(options.curves[i].sets, settings[i], error)) return false;
    sessions.push_back(std::move(session));
  }
  curves.clear();
  for (size_t i = 0; i < sessions.size(); ++i) {
    ResponseCurve curve{options.curves[i].label, {}};
    if (!MeasureResponse(*sessions[i], options.sampleRate, settings[i], frequencies, curve.db,
                         error))
      return false;
    curves.push_back(std::move(curve));
  }
  return true;
}

// Writes the CSV and SVG of a response; both appear or neither is touched.
bool WriteResponse(const std::string& base, const std::vector<double>& frequencies,
                   const std::vector<ResponseCurve>& curves, const std::string& title,
                   std::string& error) {
  const std::string csvPath = base + ".csv";
  const std::string svgPath = base + ".svg";
  for (const std::string& p : {csvPath, svgPath})
    if (IsFolder(p)) {
      error = "cannot write " + p + ": it is a folder";
      return false;
    }
  PendingFile csv, svg;
  if (!csv.Create(csvPath, error) || !svg.Create(svgPath, error)) return false;
  if (!WriteText(csv, ResponseCsv(frequencies, curves), error)) return false;
  if (!WriteText(svg, ResponseSvg(frequencies, curves, title), error)) return false;
  return csv.Commit(error) && svg.Commit(error);
}

std::string ResponseBase(std::string path) {
  for (const char* ext : {".svg", ".csv"}) {
    const size_t n = std::strlen(ext);
    if (path.size() > n && path.compare(path.size() - n, n, ext) == 0)
      return path.substr(0, path.size() - n);
  }
  return path;
}

// The chart's 20 Hz to 20 kHz, stopping short of the Nyquist frequency at low sample rates
// (above it a digital response only mirrors what lies below).
std::vector<double> ChartFrequencies(double sampleRate) {
  return LogFrequencies(20.0, std::min(20000.0, 0.499 * sampleRate), 100);
}

std::string Plain(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

}  // namespace

bool MeasureResponse(Session& session, double sampleRate,
                     const std::vector<ResolvedSetting>& settings,
                     const std::vector<double>& frequencies, std::vector<double>& db,
                     std::string& error, double impulseLevel) {
  // Mono is enough: both channels run the same chain.
  if (!session.Start(sampleRate, 1, 512, settings, error)) return false;
  std::vector<std::vector<double>> h(
      1, std::vector<double>(static_cast<size_t>(kImpulseSeconds * sampleRate)));
  h[0][0] = impulseLevel;
  if (!session.Process(h, error)) return false;
  for (double& v : h[0]) v /= impulseLevel;
  db = MagnitudeDb(h[0], sampleRate, frequencies);
  return true;
}

int RunRender(const Options& options) {
  std::string error;
  auto fail = [&error] {
    Fail(error);
    return 1;
  };
  if (SameFile(options.input, options.output)) {
    error = "OUT is the same file as IN (" + options.output + "); refusing to overwrite the input";
    return fail();
  }
  if (IsFolder(options.output)) {
    error = "cannot write " + options.output + ": it is a folder";
    return fail();
  }
  SoundReader reader;
  if (!reader.Open(options.input, error)) return fail();
  int format = 0;
  const FormatRequest request{reader.Format(),   options.output,
                              options.format,    options.encoding,
                              reader.Channels(), static_cast<int>(reader.SampleRate())};
  if (!ChooseFormat(request, format, error)) return fail();
  std::shared_ptr<host::Module> module;
  std::unique_ptr<Session> session;
  std::vector<ResolvedSetting> settings;
  if (!OpenSession(options, module, session, error) ||
      !session->Resolve(options.curves[0].sets, settings, error) ||
      !session->Start(reader.SampleRate(), reader.Channels(), options.blockSize, settings, error))
    return fail();

  // The file streams through: read a piece, process it, write it to the temporary output.
  PendingFile out;
  SoundWriter writer;
  if (!out.Create(options.output, error) ||
      !writer.Open(out, reader.Channels(), reader.SampleRate(), format, error))
    return fail();
  {
    Progress progress(reader.Frames(), reader.SampleRate(), options.quiet);
    std::vector<std::vector<double>> piece;
    int64_t done = 0;
    for (;;) {
      const int64_t got = reader.Read(piece, 65536, error);
      if (got < 0) return fail();
      if (got == 0) break;
      if (!session->Process(piece, error) || !writer.Write(piece, error)) return fail();
      done += got;
      progress.Update(done);
    }
  }
  if (!writer.Close(error) || !out.Commit(error)) return fail();
  return 0;
}

int RunListParams(const Options& options) {
  std::string error;
  std::shared_ptr<host::Module> module;
  std::unique_ptr<Session> session;
  std::vector<ResolvedSetting> settings;
  if (!OpenSession(options, module, session, error) ||
      !session->Resolve(options.curves[0].sets, settings, error) ||
      !session->Start(options.sampleRate, 2, options.blockSize, settings, error)) {
    Fail(error);
    return 1;
  }
  std::printf("%-10s  %-20s  %10s  %10s  %10s  %-5s  %5s  %-10s\n", "id", "name", "min", "max",
              "default", "units", "steps", "value");
  for (const ParameterRow& r : session->Parameters()) {
    const std::string current = r.currentText.empty() ? Plain(r.normalized) : r.currentText;
    std::printf("%-10u  %-20s  %10s  %10s  %10s  %-5s  %5d  %s\n", static_cast<unsigned>(r.info.id),
                r.name.c_str(), Plain(r.min).c_str(), Plain(r.max).c_str(),
                Plain(r.defaultPlain).c_str(), r.info.units.c_str(),
                static_cast<int>(r.info.stepCount), current.c_str());
  }
  return 0;
}

int RunResponse(const Options& options) {
  std::string error;
  const std::string base = ResponseBase(options.output);
  std::shared_ptr<host::Module> module;
  const std::vector<double> frequencies = ChartFrequencies(options.sampleRate);
  std::vector<ResponseCurve> curves;
  if (!MeasureCurves(options, module, frequencies, curves, error) ||
      !WriteResponse(base, frequencies, curves,
                     "BRIMO magnitude response at " + Plain(options.sampleRate) + " Hz", error)) {
    Fail(error);
    return 1;
  }
  std::printf("wrote %s.csv and %s.svg\n", base.c_str(), base.c_str());
  return 0;
}

int RunDemo(const Options& options) {
  // A setting that shows each section at work: a low boost at 100 Hz, a mid cut at 2 kHz,
  // a high boost and the gentler high cut.
  static const std::vector<Assignment> kDemoSettings = {
      {"Low Frequency", "1"}, {"Low Boost", "-0.4"}, {"Mid Cut Frequency", "3"},
      {"Mid Cut", "0.5"},     {"High Boost", "6"},   {"High Cut", "1"},
  };
  const std::string folder = options.output;
  std::string error;
  if (std::filesystem::exists(folder) && !IsFolder(folder)) {
    Fail("cannot write the demo into " + folder + ": it is not a folder");
    return 1;
  }
  // Everything is rendered and measured before the folder is touched, so a missing or broken
  // bundle leaves nothing behind.
  constexpr double kRate = 44100.0;
  Audio input;
  input.sampleRate = kRate;
  input.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
  input.channels = DemoSignal(kRate);
  Audio output = input;

  std::shared_ptr<host::Module> module;
  Options demo = options;
  demo.curves = {{"defaults", {}}, {"demo setting", kDemoSettings}};
  demo.sampleRate = kRate;
  const std::vector<double> frequencies = ChartFrequencies(kRate);
  std::vector<ResponseCurve> curves;
  if (!RenderAudio(demo, module, kDemoSettings, output, error) ||
      !MeasureCurves(demo, module, frequencies, curves, error)) {
    Fail(error);
    return 1;
  }

  std::error_code ec;
  const bool created = std::filesystem::create_directories(folder, ec);
  if (ec || !IsFolder(folder)) {
    Fail("cannot create the folder " + folder + (ec ? ": " + ec.message() : std::string()));
    return 1;
  }
  const std::string inPath = folder + "/input.wav";
  const std::string outPath = folder + "/output.wav";
  bool written = false;
  {
    PendingFile in, out, csv, svg;
    written =
        in.Create(inPath, error) && out.Create(outPath, error) &&
        csv.Create(folder + "/response.csv", error) &&
        svg.Create(folder + "/response.svg", error) && WriteAudio(in, input, input.format, error) &&
        WriteAudio(out, output, input.format, error) &&
        WriteText(csv, ResponseCsv(frequencies, curves), error) &&
        WriteText(svg, ResponseSvg(frequencies, curves, "BRIMO: defaults and the demo setting"),
                  error) &&
        in.Commit(error) && out.Commit(error) && csv.Commit(error) && svg.Commit(error);
  }
  if (!written) {
    if (created) std::filesystem::remove(folder, ec);  // only if still empty
    Fail(error);
    return 1;
  }
  std::printf("BRIMO demo: rendered a 6 s sweep and pink noise through\n ");
  for (const Assignment& a : kDemoSettings)
    std::printf(" \"%s=%s\"", a.name.c_str(), a.value.c_str());
  std::printf("\n  %s\n  %s\n  %s/response.svg (and .csv)\n", inPath.c_str(), outPath.c_str(),
              folder.c_str());
  return 0;
}

int RunSnapshot(const Options& options) {
  std::string error;
  const std::string& path = options.output;
  if (IsFolder(path)) {
    Fail("cannot write " + path + ": it is a folder");
    return 1;
  }
  EditorPicture picture;
  PendingFile png;
  if (!RenderEditor(options.curves[0].sets, picture, error, options.scale, options.touch) ||
      !png.Create(path, error) || !WritePng(png, picture, error) || !png.Commit(error)) {
    Fail(error);
    return 1;
  }
  std::printf("wrote %s (%d x %d)\n", path.c_str(), picture.width, picture.height);
  return 0;
}

}  // namespace brimo::render
