// Module-level facts shared by the entry points, the factory and the plug-in.
#pragma once

#include "PluginIdentity.h"

#include "pluginterfaces/base/funknown.h"

namespace Steinberg {
class IPluginFactory;
namespace Vst {
class IAudioProcessor;
}
}  // namespace Steinberg

namespace brimo {

// The module's instance handle as published by InitDll (Windows: the HINSTANCE recorded when the
// library was attached; Linux: the handle ModuleEntry received). Null before that. The plug-in's
// graphics object loads its images through it.
void* ModuleInstanceHandle();

// Constructs one plug-in instance and returns its IAudioProcessor interface with one reference,
// or null on failure. Defined once per module (the shipped module builds BRIMO; tests build a
// stand-in). Called by the factory under the process-wide creation lock.
Steinberg::Vst::IAudioProcessor* NewPluginInstance();

// The identity of the module's one class, declared beside the plug-in class (defined once per
// module, like NewPluginInstance). The factory reports it, and the build writes the same values
// into the bundle's moduleinfo.json.
const PluginIdentity& ModuleIdentity();

// The class identifier of a plug-in: its two class-id words, then its maker and unique codes.
// Hosts print and store it as one string on every platform ("F2AEE70D00DE4F4E4B77696C42726D31"
// for BRIMO): Windows holds it in GUID layout (0D E7 AE F2 DE 00 4E 4F ...), other platforms
// hold the words in reading order.
void MakeClassId(Steinberg::TUID cid, const PluginIdentity& id);

// The process-wide factory (what GetPluginFactory returns, with the reference it adds).
Steinberg::IPluginFactory* AcquirePluginFactory();

}  // namespace brimo
