// What the VST3 module needs of its one plug-in class: how to make an instance and who it is.
#include "ModuleEntry.h"

#include "BRIMO.h"
#include "BRIMOIdentity.h"

Steinberg::Vst::IAudioProcessor* brimo::NewPluginInstance() {
  return new BRIMO();
}

const PluginIdentity& brimo::ModuleIdentity() {
  return kBRIMOIdentity;
}
