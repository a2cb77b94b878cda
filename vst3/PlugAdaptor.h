// The host adaptor a plug-in class derives from in the VST3 build.
#pragma once

#include "IPlugVST3.h"

using PlugAdaptor = IPlugVST3;
