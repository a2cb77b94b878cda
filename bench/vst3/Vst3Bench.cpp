// What a host pays for the VST3 module: loading it, creating and initialising an instance, and the
// adaptor's process() per stereo frame at 32 and 64 bits next to the bare signal path, and at 64
// bits on each instruction-set path.
#include "BRIMO.h"
#include "ColourPath.h"
#include "ModuleEntry.h"

#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"

#include <benchmark/benchmark.h>

#include <dlfcn.h>

#include <cmath>
#include <string>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr int32 kBlock = 512;

using GetFactory = IPluginFactory*(PLUGIN_API*)();

// The bundle loaded as a host loads it: dlopen, ModuleEntry, GetPluginFactory; closed in reverse.
struct LoadedModule {
  void* lib = dlopen(BRIMO_BUNDLE_BINARY, RTLD_NOW | RTLD_LOCAL);
  IPluginFactory* factory = nullptr;

  LoadedModule() {
    if (!lib) return;
    reinterpret_cast<bool (*)(void*)>(dlsym(lib, "ModuleEntry"))(lib);
    factory = reinterpret_cast<GetFactory>(dlsym(lib, "GetPluginFactory"))();
  }
  ~LoadedModule() {
    if (!lib) return;
    if (factory) factory->release();
    reinterpret_cast<bool (*)()>(dlsym(lib, "ModuleExit"))();
    dlclose(lib);
  }
};

// Creates, initialises and takes down one instance of the factory's first class.
void CreateAndInitialiseOnce(IPluginFactory* factory, const PClassInfo& info) {
  void* obj = nullptr;
  factory->createInstance(info.cid, IComponent::iid, &obj);
  auto* component = static_cast<IComponent*>(obj);
  component->initialize(nullptr);
  benchmark::DoNotOptimize(component);
  component->terminate();
  component->release();
}

void BM_LoadModule(benchmark::State& state) {
  for (auto _ : state) {
    LoadedModule module;
    if (!module.factory) {
      state.SkipWithError("bundle not loadable");
      return;
    }
    benchmark::DoNotOptimize(module.factory);
  }
}
BENCHMARK(BM_LoadModule)->Unit(benchmark::kMicrosecond);

// Load the module, then create and initialise one instance and take it down again.
void BM_LoadCreateAndInitialise(benchmark::State& state) {
  for (auto _ : state) {
    LoadedModule module;
    if (!module.factory) {
      state.SkipWithError("bundle not loadable");
      return;
    }
    PClassInfo info;
    module.factory->getClassInfo(0, &info);
    CreateAndInitialiseOnce(module.factory, info);
  }
}
BENCHMARK(BM_LoadCreateAndInitialise)->Unit(benchmark::kMicrosecond);

// Creation and initialisation alone, with the module already loaded.
void BM_CreateAndInitialise(benchmark::State& state) {
  IPluginFactory* factory = brimo::AcquirePluginFactory();
  PClassInfo info;
  factory->getClassInfo(0, &info);
  for (auto _ : state) CreateAndInitialiseOnce(factory, info);
  factory->release();
}
BENCHMARK(BM_CreateAndInitialise)->Unit(benchmark::kMicrosecond);

// One initialised, set-up instance with stereo buses and a noise-like input.
struct Rig {
  explicit Rig(int32 sampleSize, bool oversample16) {
    plug = new BRIMO();
    plug->initialize(nullptr);
    plug->activateBus(kAudio, kInput, 0, true);
    plug->activateBus(kAudio, kOutput, 0, true);
    ProcessSetup setup{kRealtime, sampleSize, kBlock, 48000.0};
    plug->setupProcessing(setup);
    plug->setParamNormalized(BRIMO::kOversampling, oversample16 ? 1.0 : 0.0);
    plug->OnParamChanged(BRIMO::kOversampling);
    plug->setActive(true);
    for (int c = 0; c < 2; ++c) {
      in64[c].resize(kBlock);
      out64[c].resize(kBlock);
      in32[c].resize(kBlock);
      out32[c].resize(kBlock);
      for (int t = 0; t < kBlock; ++t) {
        in64[c][t] = 0.25 * std::sin(0.01 * t * (c + 1));
        in32[c][t] = float(in64[c][t]);
      }
      pin64[c] = in64[c].data();
      pout64[c] = out64[c].data();
      pin32[c] = in32[c].data();
      pout32[c] = out32[c].data();
    }
    inBus.numChannels = outBus.numChannels = 2;
    if (sampleSize == kSample64) {
      inBus.channelBuffers64 = pin64;
      outBus.channelBuffers64 = pout64;
    } else {
      inBus.channelBuffers32 = pin32;
      outBus.channelBuffers32 = pout32;
    }
    data.processMode = kRealtime;
    data.symbolicSampleSize = sampleSize;
    data.numSamples = kBlock;
    data.numInputs = data.numOutputs = 1;
    data.inputs = &inBus;
    data.outputs = &outBus;
  }
  ~Rig() {
    plug->setActive(false);
    plug->terminate();
    plug->release();
  }

  BRIMO* plug;
  std::vector<double> in64[2], out64[2];
  std::vector<float> in32[2], out32[2];
  double* pin64[2];
  double* pout64[2];
  float* pin32[2];
  float* pout32[2];
  AudioBusBuffers inBus{}, outBus{};
  ProcessData data{};
};

// process() at either sample size; 32-bit adds the widening and narrowing around the block.
template <SymbolicSampleSizes sampleSize>
void BM_Process(benchmark::State& state) {
  Rig rig(sampleSize, state.range(0) == 16);
  for (auto _ : state) {
    rig.plug->process(rig.data);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK_TEMPLATE(BM_Process, kSample32)->Arg(4)->Arg(16);
BENCHMARK_TEMPLATE(BM_Process, kSample64)->Arg(4)->Arg(16);

// process() at 64 bits on each instruction-set path of the signal path, the paths next to each
// other (BM_ProcessPath/avx512/16); "frame_s" is the time of one stereo frame. The selected path
// is put back afterwards.
void BM_ProcessPath(benchmark::State& state, brimo::ColourPath path) {
  const brimo::ColourPath selected = brimo::ActiveColourPath();
  if (!brimo::UseColourPath(path)) {
    state.SkipWithError("not supported by this processor");
    return;
  }
  {
    Rig rig(kSample64, state.range(0) == 16);
    for (auto _ : state) {
      rig.plug->process(rig.data);
      benchmark::ClobberMemory();
    }
  }
  state.SetItemsProcessed(state.iterations() * kBlock);
  state.counters["frame_s"] = benchmark::Counter(
      kBlock, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  brimo::UseColourPath(selected);
}
const bool processPathsRegistered = [] {
  for (int factor : {4, 16})
    for (brimo::ColourPath path : brimo::kColourPaths)
      benchmark::RegisterBenchmark(
          (std::string("BM_ProcessPath/") + brimo::ColourPathName(path)).c_str(), BM_ProcessPath,
          path)
          ->Arg(factor);
  return true;
}();

// The signal path alone: the plug-in's block on the same buffers, no adaptor around it.
void BM_BareSignalPath(benchmark::State& state) {
  Rig rig(kSample64, state.range(0) == 16);
  for (auto _ : state) {
    rig.plug->ProcessBlock(rig.pin64, rig.pout64, kBlock);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_BareSignalPath)->Arg(4)->Arg(16);

}  // namespace
