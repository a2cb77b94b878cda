// Parameter settings as typed on the command line, resolved against a plug-in's edit controller:
// the same names, value texts and checks whether the controller belongs to a loaded bundle or to
// an instance built into this program.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "brimo/host/Vst3Host.h"
#include "Options.h"

namespace brimo::render {

// A setting resolved against the plug-in's parameter list.
struct ResolvedSetting {
  host::ParamID id = 0;
  std::string name;
  double normalized = 0;
};

// Hidden parameters are not the user's to see or set, as in a host.
bool IsHidden(const host::ParamInfo& p);

// The title, or "#id" for an unnamed parameter.
std::string DisplayName(const host::ParamInfo& p);

// Checks every assignment (known name, a number inside the range, a whole step for stepped
// parameters; list parameters also accept their entries' texts, others the texts they show).
// Nothing is applied.
bool ResolveSettings(Steinberg::Vst::IEditController& controller,
                     const std::vector<Assignment>& sets, std::vector<ResolvedSetting>& resolved,
                     std::string& error);

}  // namespace brimo::render
