// One loaded plug-in instance as brimo-render uses it: settings by host-visible name and plain
// value, checked before anything is processed, and planar 64-bit audio through process().
// A thin layer over the shared VST3 host (brimo/host/vst3_host.h); it adds name lookup, range
// checks and whole-buffer rendering, nothing the host itself lacks.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "brimo/host/Vst3Host.h"
#include "Options.h"
#include "Settings.h"

namespace brimo::render {

// The bundle to load: the explicit path when given, else the one the build produced (when it
// exists), else ~/.vst3/BRIMO.vst3. Fails with the places it looked.
bool FindBundle(const std::string& explicitPath, std::string& bundle, std::string& error);

// A parameter as a host lists it, with its plain range and current display text.
struct ParameterRow {
  host::ParamInfo info;
  std::string name;  // the title, or "#id" for an unnamed parameter
  double min = 0;
  double max = 1;
  double defaultPlain = 0;
  double normalized = 0;
  std::string defaultText;
  std::string currentText;
};

class Session {
public:
  // Loads the bundle and creates one instance. The module is shared between sessions.
  static std::unique_ptr<Session> Open(const std::string& bundle, std::string& error);
  static std::unique_ptr<Session> Open(std::shared_ptr<host::Module> module, std::string& error);
  ~Session();

  const std::shared_ptr<host::Module>& Module() const { return module_; }

  // Checks every assignment against this instance's controller (see ResolveSettings). Nothing is
  // applied.
  bool Resolve(const std::vector<Assignment>& sets, std::vector<ResolvedSetting>& resolved,
               std::string& error) const;

  // Sets up processing for a channel count (1 = the plug-in's mono configuration, 2 = stereo)
  // and sends the settings with an empty first block, so they are in force from sample 0.
  bool Start(double sampleRate, int channels, int blockSize,
             const std::vector<ResolvedSetting>& settings, std::string& error);

  // Processes planar audio of any length in place, in blocks of the set-up's size. Successive
  // calls continue the same stream.
  bool Process(std::vector<std::vector<double>>& audio, std::string& error);

  // The parameter list with current values (after Start, the settings are shown).
  std::vector<ParameterRow> Parameters() const;  // as hosts list them: hidden ones left out

private:
  Session() = default;
  std::shared_ptr<host::Module> module_;
  std::unique_ptr<host::Plugin> plugin_;
  int channels_ = 2;
  int blockSize_ = 512;
};

}  // namespace brimo::render
