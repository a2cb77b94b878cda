// The host adaptor a plug-in class derives from in the test build (the module build has its own
// PlugAdaptor.h). The build refuses a target that links both adaptors.
#pragma once

#include "TestAdaptor.h"

using PlugAdaptor = TestAdaptor;
