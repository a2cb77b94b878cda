#pragma once

#include <cstdint>

// Host application codes. Codes 6, 10, 11 and 19 are never produced.
enum HostCode : int32_t {
  HostNotIdentified = -1,
  HostUnknown = 0,
  HostReaper = 1,
  HostProTools = 2,
  HostCubase = 3,
  HostNuendo = 4,
  HostCakewalk = 5,
  HostFruity = 7,
  HostSamplitude = 8,
  HostLive = 9,
  HostMelodyne = 12,
  HostVstManLib = 13,
  HostAULab = 14,
  HostForte = 15,
  HostChainer = 16,
  HostAudition = 17,
  HostOrion = 18,
  HostSawStudio = 20,
  HostLogic = 21,
  HostGarageBand = 22,
  HostDigital = 23,
  HostStandalone = 24,
  HostAudioMulch = 25,
  HostPreSonus = 26,
  HostVst3PluginTestHost = 27,
  HostArdour = 28,
  HostRenoise = 29,
  HostOpenMpt = 30,
};

// Turns a host's self-reported name into a host code: the first entry of a fixed, ordered table of
// substrings that occurs anywhere in the lower-cased name decides; no match gives HostUnknown.
// A null name gives HostNotIdentified.
int32_t IdentifyHost(const char* name);
