// Module-level facts shared by the entry points, the factory and the plug-in.
#pragma once

#include "pluginterfaces/base/funknown.h"

namespace Steinberg {
class IPluginFactory;
namespace Vst {
class IAudioProcessor;
}
}

namespace brimo {

// The module's instance handle as published by InitDll (Windows: the HINSTANCE recorded when the
// library was attached; Linux: the handle ModuleEntry received). Null before that. The plug-in's
// graphics object loads its images through it.
void* ModuleInstanceHandle ();

// Constructs one plug-in instance and returns its IAudioProcessor interface with one reference,
// or null on failure. Defined once per module (the shipped module builds BRIMO; tests build a
// stand-in). Called by the factory under the process-wide creation lock.
Steinberg::Vst::IAudioProcessor* NewPluginInstance ();

// The class identifier: 0D E7 AE F2 DE 00 4E 4F, then the maker code and the plug-in code, each
// in reading order. The same bytes on every platform.
void MakeClassId (Steinberg::TUID cid, Steinberg::uint32 makerCode, Steinberg::uint32 uniqueCode);

// The process-wide factory (what GetPluginFactory returns, with the reference it adds).
Steinberg::IPluginFactory* AcquirePluginFactory ();

} // namespace brimo
