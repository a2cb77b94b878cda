#include "Options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace brimo::render {

namespace {

std::string Trim(const std::string& s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

std::string DefaultLabel(const std::vector<Assignment>& sets) {
  if (sets.empty()) return "defaults";
  std::string label;
  for (const Assignment& a : sets) {
    if (!label.empty()) label += ", ";
    label += a.name + "=" + a.value;
  }
  return label;
}

}  // namespace

std::optional<double> ParseNumber(const std::string& text) {
  const std::string t = Trim(text);
  if (t.empty()) return std::nullopt;
  const char* begin = t.c_str();
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(begin, &end);
  if (end != begin + t.size() || errno == ERANGE || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::optional<Assignment> ParseAssignment(const std::string& text) {
  const size_t eq = text.find('=');
  if (eq == std::string::npos) return std::nullopt;
  Assignment a{Trim(text.substr(0, eq)), Trim(text.substr(eq + 1))};
  if (a.name.empty() || a.value.empty()) return std::nullopt;
  return a;
}

const char* UsageText() {
  return "usage:\n"
         "  brimo-render IN OUT [settings] [--format F] [--encoding E] [--block N] [--quiet]\n"
         "  brimo-render --list-params [settings]\n"
         "  brimo-render --response BASE [--rate HZ] [settings] [--curve LABEL [settings]]...\n"
         "  brimo-render --demo [FOLDER]\n"
         "  brimo-render --snapshot FILE.png [--scale S] [--touch NAME] [settings]\n"
         "settings:\n"
         "  --set \"NAME=VALUE\"   a parameter by its host-visible name (or #id) and plain value,\n"
         "                       e.g. --set \"High Boost=8\" --set \"Low Boost=-0.4\"\n"
         "  --oversampling 4|16  colouration oversampling factor\n"
         "  --bypass             the host's bypass switch on\n"
         "other options:\n"
         "  --plugin PATH        the BRIMO.vst3 bundle to load (default: the build's, then\n"
         "                       ~/.vst3/BRIMO.vst3)\n"
         "  --format F           output container: wav, aiff, flac, ogg, opus, mp3, caf, w64, au, "
         "rf64\n"
         "                       (default: as OUT's extension names it, else as IN)\n"
         "  --encoding E         output samples: pcm16, pcm24, pcm32, float, double, vorbis, opus, "
         "mp3\n"
         "                       (default: as IN where the container holds it, else one it holds)\n"
         "  --response BASE      measure the magnitude response; writes BASE.csv and BASE.svg.\n"
         "                       Settings before the first --curve apply to every curve\n"
         "  --rate HZ            sample rate of the response measurement (default 44100)\n"
         "  --demo [FOLDER]      render a test signal through a characteristic setting into "
         "FOLDER\n"
         "                       (default brimo-demo): input.wav, output.wav, response.csv/.svg\n"
         "  --snapshot FILE.png  draw the editor (790 x 249) with the settings into an RGBA PNG;\n"
         "                       the editor is built into brimo-render, no bundle is loaded\n"
         "  --scale S            with --snapshot: draw the editor at S times its size (0.5 to 4)\n"
         "  --touch NAME         with --snapshot: show the readout of a control, named as its\n"
         "                       parameter or as the panel names it (\"High Boost\", "
         "\"OVERSAMPLING\")\n"
         "  --quiet              no progress bar\n"
         "  --help, --version\n";
}

ParseResult ParseArguments(const std::vector<std::string>& args) {
  ParseResult r;
  Options& o = r.options;
  std::vector<std::string> positional;
  std::vector<Assignment> common;
  std::vector<Curve> curves;
  bool modeGiven = false;
  bool rateGiven = false;
  bool scaleGiven = false;

  auto fail = [&r](std::string message) {
    r.ok = false;
    r.error = std::move(message);
    return r;
  };
  auto setMode = [&](Mode m) {
    if (modeGiven && o.mode != m) return false;
    o.mode = m;
    modeGiven = true;
    return true;
  };
  auto addSet = [&](Assignment a) {
    if (curves.empty())
      common.push_back(std::move(a));
    else
      curves.back().sets.push_back(std::move(a));
  };

  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    std::string v;
    if (arg == "--help" || arg == "-h") {
      o.mode = Mode::Help;
      r.ok = true;
      return r;
    } else if (arg == "--version") {
      o.mode = Mode::Version;
      r.ok = true;
      return r;
    } else if (arg == "--set" || arg == "-s") {
      if (!value(v)) return fail("--set needs \"NAME=VALUE\"");
      auto a = ParseAssignment(v);
      if (!a) return fail("--set \"" + v + "\": expected \"NAME=VALUE\"");
      addSet(std::move(*a));
    } else if (arg == "--oversampling") {
      if (!value(v)) return fail("--oversampling needs 4 or 16");
      if (v != "4" && v != "16") return fail("--oversampling " + v + ": must be 4 or 16");
      // Parameter 11 is the unnamed oversampling switch: 0 means 4x, 1 means 16x.
      addSet({"#11", v == "16" ? "1" : "0"});
    } else if (arg == "--bypass") {
      addSet({"Bypass", "1"});
    } else if (arg == "--plugin") {
      if (!value(o.plugin) || o.plugin.empty()) return fail("--plugin needs a path");
    } else if (arg == "--format") {
      if (!value(o.format)) return fail("--format needs a name");
    } else if (arg == "--encoding") {
      if (!value(o.encoding)) return fail("--encoding needs a name");
    } else if (arg == "--block") {
      if (!value(v)) return fail("--block needs a size");
      auto n = ParseNumber(v);
      if (!n || *n < 1 || *n > 65536 || *n != std::floor(*n))
        return fail("--block " + v + ": must be a whole number from 1 to 65536");
      o.blockSize = static_cast<int>(*n);
    } else if (arg == "--rate") {
      if (!value(v)) return fail("--rate needs a sample rate");
      auto n = ParseNumber(v);
      if (!n || *n < 8000 || *n > 768000)
        return fail("--rate " + v + ": must be from 8000 to 768000 Hz");
      o.sampleRate = *n;
      rateGiven = true;
    } else if (arg == "--quiet" || arg == "-q") {
      o.quiet = true;
    } else if (arg == "--list-params") {
      if (!setMode(Mode::ListParams))
        return fail("--list-params cannot be combined with another mode");
    } else if (arg == "--response") {
      if (!setMode(Mode::Response)) return fail("--response cannot be combined with another mode");
      if (!value(o.output) || o.output.empty()) return fail("--response needs an output name");
    } else if (arg == "--curve") {
      std::string label;
      if (!value(label)) return fail("--curve needs a label");
      curves.push_back({label, {}});
    } else if (arg == "--demo") {
      if (!setMode(Mode::Demo)) return fail("--demo cannot be combined with another mode");
      if (i + 1 < args.size() && args[i + 1].rfind("-", 0) != 0) o.output = args[++i];
    } else if (arg == "--snapshot") {
      if (!setMode(Mode::Snapshot)) return fail("--snapshot cannot be combined with another mode");
      if (!value(o.output) || o.output.empty()) return fail("--snapshot needs a file name");
    } else if (arg == "--scale") {
      if (!value(v)) return fail("--scale needs a factor");
      auto n = ParseNumber(v);
      if (!n || *n < 0.5 || *n > 4) return fail("--scale " + v + ": must be from 0.5 to 4");
      o.scale = *n;
      scaleGiven = true;
    } else if (arg == "--touch") {
      if (!value(o.touch) || o.touch.empty()) return fail("--touch needs a control's name");
    } else if (arg.size() > 1 && arg[0] == '-') {
      return fail("unknown option " + arg);
    } else {
      positional.push_back(arg);
    }
  }

  if (!modeGiven) {
    if (positional.empty()) {
      o.mode = Mode::Help;
      return fail("nothing to do");
    }
    o.mode = Mode::Render;
  }
  if (o.mode == Mode::Render) {
    if (positional.size() != 2) return fail("expected IN and OUT");
    o.input = positional[0];
    o.output = positional[1];
  } else if (!positional.empty()) {
    return fail("unexpected argument " + positional[0]);
  }
  if (o.mode == Mode::Demo && o.output.empty()) o.output = "brimo-demo";
  if (!curves.empty() && o.mode != Mode::Response) return fail("--curve is only for --response");
  // Renders keep the input's rate: there is no resampler to honour another one.
  if (rateGiven && o.mode != Mode::Response && o.mode != Mode::ListParams)
    return fail("--rate is only for --response (a render keeps the input's sample rate)");
  // The snapshot draws the editor built into this program; a bundle given for it would be ignored.
  if (!o.plugin.empty() && o.mode == Mode::Snapshot)
    return fail("--plugin is not used by --snapshot (the editor is built into brimo-render)");
  if (scaleGiven && o.mode != Mode::Snapshot) return fail("--scale is only for --snapshot");
  if (!o.touch.empty() && o.mode != Mode::Snapshot) return fail("--touch is only for --snapshot");
  if ((!o.format.empty() || !o.encoding.empty()) && o.mode != Mode::Render)
    return fail("--format and --encoding are only for rendering a file");

  if (curves.empty()) {
    o.curves.push_back({DefaultLabel(common), common});
  } else {
    for (Curve& c : curves) {
      std::vector<Assignment> all = common;
      all.insert(all.end(), c.sets.begin(), c.sets.end());
      if (c.label.empty()) c.label = DefaultLabel(c.sets);
      o.curves.push_back({c.label, std::move(all)});
    }
  }
  r.ok = true;
  return r;
}

}  // namespace brimo::render
