#include "HostIdentification.h"

#include <cstring>

#include "IParamDef.h"

namespace {

struct HostEntry {
  const char* substring;
  int32_t code;
};

// Matching is by substring, so the order decides between names that contain several entries
// ("live" comes before "melodyne" and "logic"). Do not sort.
constexpr HostEntry kHosts[] = {
    {"cubase", HostCubase},
    {"reaper", HostReaper},
    {"nuendo", HostNuendo},
    {"cakewalk", HostCakewalk},
    {"samplitude", HostSamplitude},
    {"fruity", HostFruity},
    {"live", HostLive},
    {"melodyne", HostMelodyne},
    {"vstmanlib", HostVstManLib},
    {"aulab", HostAULab},
    {"garageband", HostGarageBand},
    {"forte", HostForte},
    {"chainer", HostChainer},
    {"audition", HostAudition},
    {"orion", HostOrion},
    {"sawstudio", HostSawStudio},
    {"logic", HostLogic},
    {"digital", HostDigital},
    {"audiomulch", HostAudioMulch},
    {"presonus", HostPreSonus},
    {"vst3plugintesthost", HostVst3PluginTestHost},
    {"protools", HostProTools},
    {"ardour", HostArdour},
    {"openmpt", HostOpenMpt},
    {"renoise", HostRenoise},
    {"standalone", HostStandalone},
};

}  // namespace

int32_t IdentifyHost(const char* name) {
  if (!name) return HostNotIdentified;
  char lower[256];
  CopyTruncated(lower, name, sizeof lower);
  // Only A to Z change, whatever the C locale says.
  for (char* c = lower; *c; ++c)
    if (*c >= 'A' && *c <= 'Z') *c = char(*c - 'A' + 'a');
  for (const HostEntry& entry : kHosts)
    if (std::strstr(lower, entry.substring)) return entry.code;
  return HostUnknown;
}
