// The shipped module's one plug-in class.
#include "ModuleEntry.h"

#include "BRIMO.h"

Steinberg::Vst::IAudioProcessor* brimo::NewPluginInstance ()
{
	return new BRIMO ();
}
