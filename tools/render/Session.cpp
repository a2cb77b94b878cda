#include "Session.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "pluginterfaces/vst/ivsteditcontroller.h"

#ifndef BRIMO_RENDER_BUILD_BUNDLE
#define BRIMO_RENDER_BUILD_BUNDLE ""
#endif

namespace brimo::render {

namespace {

bool Exists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

std::string Number(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

}  // namespace

bool FindBundle(const std::string& explicitPath, std::string& bundle, std::string& error) {
  if (!explicitPath.empty()) {
    if (!Exists(explicitPath)) {
      error = "plug-in bundle " + explicitPath + " does not exist";
      return false;
    }
    bundle = explicitPath;
    return true;
  }
  std::vector<std::string> places;
  const std::string built = BRIMO_RENDER_BUILD_BUNDLE;
  if (!built.empty()) places.push_back(built);
  if (const char* home = std::getenv("HOME"); home && *home)
    places.push_back(std::string(home) + "/.vst3/BRIMO.vst3");
  for (const std::string& p : places) {
    if (Exists(p)) {
      bundle = p;
      return true;
    }
  }
  error = "no BRIMO.vst3 bundle found (looked in";
  for (const std::string& p : places) error += " " + p;
  error += "); build it or pass --plugin PATH";
  return false;
}

std::unique_ptr<Session> Session::Open(const std::string& bundle, std::string& error) {
  std::string why;
  std::shared_ptr<host::Module> module = host::Module::load(bundle, &why);
  if (!module) {
    error = "cannot load plug-in " + bundle + (why.empty() ? "" : ": " + why);
    return nullptr;
  }
  return Open(std::move(module), error);
}

std::unique_ptr<Session> Session::Open(std::shared_ptr<host::Module> module, std::string& error) {
  const std::optional<host::ClassInfo> cls = module->firstAudioEffect();
  if (!cls) {
    error = "plug-in " + module->libraryPath() + " offers no audio effect";
    return nullptr;
  }
  host::HostOptions options;
  options.hostName = "brimo-render";
  std::string why;
  std::unique_ptr<host::Plugin> plugin = module->createPlugin(cls->cid, options, &why);
  if (!plugin) {
    error = "cannot create the plug-in " + cls->name + (why.empty() ? "" : ": " + why);
    return nullptr;
  }
  std::unique_ptr<Session> s(new Session);
  s->module_ = std::move(module);
  s->plugin_ = std::move(plugin);
  return s;
}

Session::~Session() {
  // The instance goes before the module that made it.
  plugin_.reset();
}

bool Session::Resolve(const std::vector<Assignment>& sets, std::vector<ResolvedSetting>& resolved,
                      std::string& error) const {
  return ResolveSettings(*plugin_->controller(), sets, resolved, error);
}

bool Session::Start(double sampleRate, int channels, int blockSize,
                    const std::vector<ResolvedSetting>& settings, std::string& error) {
  channels_ = channels;
  blockSize_ = blockSize;
  // The host's usual order, announced as an offline render.
  Steinberg::tresult r = plugin_->setChannels(channels, channels);
  if (r == Steinberg::kResultOk)
    r = plugin_->setupProcessing(sampleRate, blockSize, host::SampleSize::k64,
                                 Steinberg::Vst::kOffline);
  if (r == Steinberg::kResultOk) r = plugin_->setActive(true);
  if (r == Steinberg::kResultOk) {
    r = plugin_->setProcessing(true);
    if (r == Steinberg::kNotImplemented) r = Steinberg::kResultOk;
  }
  if (r != Steinberg::kResultOk) {
    error = "the plug-in refused to process " + std::string(channels == 1 ? "mono" : "stereo") +
            " audio at " + Number(sampleRate) + " Hz (result " + std::to_string(r) + ")";
    return false;
  }
  // Like a host: the controller learns the value, the processor gets it through the queue.
  for (const ResolvedSetting& s : settings) {
    plugin_->setControllerNormalized(s.id, s.normalized);
    plugin_->queueChange(s.id, s.normalized);
  }
  if (!settings.empty()) {
    double dummy = 0;
    const double* in[2] = {&dummy, &dummy};
    double* out[2] = {&dummy, &dummy};
    if (plugin_->process64(in, out, 0) != Steinberg::kResultOk) {
      error = "the plug-in failed to take the settings";
      return false;
    }
  }
  return true;
}

bool Session::Process(std::vector<std::vector<double>>& audio, std::string& error) {
  if (static_cast<int>(audio.size()) != channels_) {
    error = "internal error: channel count differs from the set-up";
    return false;
  }
  const int64_t frames = audio.empty() ? 0 : static_cast<int64_t>(audio[0].size());
  std::vector<std::vector<double>> in(audio.size(),
                                      std::vector<double>(static_cast<size_t>(blockSize_)));
  const double* inPtr[2] = {nullptr, nullptr};
  double* outPtr[2] = {nullptr, nullptr};
  for (size_t c = 0; c < audio.size(); ++c) inPtr[c] = in[c].data();
  for (int64_t start = 0; start < frames; start += blockSize_) {
    const int n = static_cast<int>(std::min<int64_t>(blockSize_, frames - start));
    // The plug-in reads the input block and writes the output; separate buffers, as hosts
    // are not required to process in place.
    for (size_t c = 0; c < audio.size(); ++c) {
      std::copy_n(audio[c].begin() + start, n, in[c].begin());
      outPtr[c] = audio[c].data() + start;
    }
    if (plugin_->process64(inPtr, outPtr, n) != Steinberg::kResultOk) {
      error = "the plug-in failed to process a block";
      return false;
    }
  }
  return true;
}

std::vector<ParameterRow> Session::Parameters() const {
  std::vector<ParameterRow> rows;
  for (const host::ParamInfo& p : plugin_->parameters()) {
    if (IsHidden(p)) continue;
    ParameterRow r;
    r.info = p;
    r.name = DisplayName(p);
    r.min = plugin_->toPlain(p.id, 0.0);
    r.max = plugin_->toPlain(p.id, 1.0);
    r.defaultPlain = plugin_->toPlain(p.id, p.defaultNormalized);
    r.normalized = plugin_->controllerNormalized(p.id);
    r.defaultText = plugin_->toText(p.id, p.defaultNormalized).value_or("");
    r.currentText = plugin_->toText(p.id, r.normalized).value_or("");
    rows.push_back(std::move(r));
  }
  return rows;
}

}  // namespace brimo::render
