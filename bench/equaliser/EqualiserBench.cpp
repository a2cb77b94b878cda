// Equaliser benchmarks. "frame_s" is the CPU time of one stereo frame, so the share of one core
// that a stereo instance needs at 48 kHz is frame_s * 48000. The signal path and the colouration
// run once per instruction-set path (sse2, avx2, avx512), the paths next to each other; the other
// benchmarks run on the path the process selected.
#include "ColourPath.h"
#include "Colouration.h"
#include "DenormalFlush.h"
#include "EqualiserChain.h"
#include "FilterSections.h"
#include "ReferenceEqualiser.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace brimo;

// Every stage active, so the measurement covers the longest path through the chain.
EqualiserSettings BusySettings(int factor) {
  EqualiserSettings s;
  s.lowBoost = -0.3;
  s.midBoost = 0.6;
  s.midCut = 0.4;
  s.outputGain = 1.2;
  s.oversampleFactor = factor;
  s.lowCut = 2;
  s.lowFrequency = 1;
  s.midBoostFrequency = 3;
  s.midCutFrequency = 5;
  s.highBoost = 6;
  s.highCut = 1;
  return s;
}

struct Buffers {
  std::vector<double> left, right, outLeft, outRight;
  explicit Buffers(int frames) : left(frames), right(frames), outLeft(frames), outRight(frames) {
    std::mt19937_64 rng(1);
    std::uniform_real_distribution<double> u(-0.5, 0.5);
    for (int i = 0; i < frames; ++i) {
      left[i] = u(rng);
      right[i] = u(rng);
    }
  }
};

// Runs a benchmark on one path and puts the selected path back afterwards; false (and the
// benchmark reports an error) when the processor lacks the path.
class OnPath {
public:
  OnPath(benchmark::State& state, ColourPath path) : ok_(UseColourPath(path)) {
    if (!ok_) state.SkipWithError("not supported by this processor");
  }
  ~OnPath() { UseColourPath(selected_); }
  explicit operator bool() const { return ok_; }

private:
  ColourPath selected_ = ActiveColourPath();
  bool ok_;
};

void SetFrameCounters(benchmark::State& state, std::int64_t framesPerIteration) {
  state.SetItemsProcessed(state.iterations() * framesPerIteration);
  state.counters["frame_s"] = benchmark::Counter(
      static_cast<double>(framesPerIteration),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The production signal path: args factor, sample rate, block size.
void BM_SignalPath(benchmark::State& state, ColourPath path) {
  const OnPath onPath(state, path);
  if (!onPath) return;
  const int factor = static_cast<int>(state.range(0));
  const double fs = static_cast<double>(state.range(1));
  const int block = static_cast<int>(state.range(2));
  const int frames = 4096;
  Buffers b(frames);
  EqualiserChain chain;
  const EqualiserSettings s = BusySettings(factor);
  for (auto _ : state) {
    for (int pos = 0; pos < frames; pos += block) {
      const double* in[2] = {b.left.data() + pos, b.right.data() + pos};
      double* out[2] = {b.outLeft.data() + pos, b.outRight.data() + pos};
      chain.ProcessBlock(in, out, block, fs, s);
    }
    benchmark::DoNotOptimize(b.outLeft.data());
  }
  SetFrameCounters(state, frames);
}

// The plain reference, for comparison: args factor, block size (44100 Hz).
void BM_ReferencePath(benchmark::State& state) {
  const int factor = static_cast<int>(state.range(0));
  const int block = static_cast<int>(state.range(1));
  const int frames = 4096;
  Buffers b(frames);
  reference::Equaliser ref;
  const EqualiserSettings s = BusySettings(factor);
  for (auto _ : state) {
    for (int pos = 0; pos < frames; pos += block) {
      const double* in[2] = {b.left.data() + pos, b.right.data() + pos};
      double* out[2] = {b.outLeft.data() + pos, b.outRight.data() + pos};
      ref.ProcessBlock(in, out, block, 44100.0, s);
    }
    benchmark::DoNotOptimize(b.outLeft.data());
  }
  SetFrameCounters(state, frames);
}
BENCHMARK(BM_ReferencePath)->ArgsProduct({{4, 16}, {512}});

// The colouration alone (N steps of the up- and down-sampling filters per frame): arg factor.
void BM_Colouration(benchmark::State& state, ColourPath path) {
  const OnPath onPath(state, path);
  if (!onPath) return;
  const int factor = static_cast<int>(state.range(0));
  const int frames = 512;
  Buffers b(frames);
  std::vector<StereoSample> out(frames);
  StereoColouration colour;
  colour.Design(factor);
  for (auto _ : state) {
    colour.Process(b.left.data(), b.right.data(), out.data(), frames);
    benchmark::DoNotOptimize(out.data());
  }
  SetFrameCounters(state, frames);
}

// Each argument set once per path, the paths next to each other: BM_SignalPath/avx2/16/44100/512.
template <typename Function>
void RegisterPerPath(const char* name, Function function,
                     const std::vector<std::vector<std::int64_t>>& argSets) {
  for (const std::vector<std::int64_t>& args : argSets)
    for (ColourPath path : kColourPaths)
      benchmark::RegisterBenchmark((std::string(name) + "/" + ColourPathName(path)).c_str(),
                                   function, path)
          ->Args(args);
}

const bool kPerPathRegistered = [] {
  std::vector<std::vector<std::int64_t>> signal;
  for (std::int64_t factor : {4, 16})
    for (std::int64_t rate : {44100, 96000})
      for (std::int64_t block : {64, 512}) signal.push_back({factor, rate, block});
  RegisterPerPath("BM_SignalPath", BM_SignalPath, signal);
  RegisterPerPath("BM_Colouration", BM_Colouration, {{4}, {16}});
  return true;
}();

// Per-block overhead: all 35 coefficient sets and the colouration design (a block of 0 frames
// does exactly that and nothing else).
void BM_BlockRefresh(benchmark::State& state) {
  EqualiserChain chain;
  EqualiserSettings s = BusySettings(static_cast<int>(state.range(0)));
  const double* in[2] = {nullptr, nullptr};
  double* out[2] = {nullptr, nullptr};
  for (auto _ : state) {
    chain.ProcessBlock(in, out, 0, 44100.0, s);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_BlockRefresh)->Arg(4)->Arg(16);

void BM_NetworkCoefficients(benchmark::State& state) {
  double fs = 44100.0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(fs);
    for (int k = 0; k < 4; ++k) benchmark::DoNotOptimize(LowBoostCoefficients(k, fs, 0.3));
    for (int k = 0; k < 8; ++k) {
      benchmark::DoNotOptimize(MidBoostCoefficients(k, fs, 0.6));
      benchmark::DoNotOptimize(MidCutCoefficients(k, fs, 0.4));
      benchmark::DoNotOptimize(HighBoostCoefficients(k + 1, fs));
    }
    for (int k = 1; k <= 5; ++k) benchmark::DoNotOptimize(LowCutCoefficients(k, fs));
    for (int k = 1; k <= 2; ++k) benchmark::DoNotOptimize(HighCutCoefficients(k, fs));
  }
}
BENCHMARK(BM_NetworkCoefficients);

void BM_DesignColourFilter(benchmark::State& state) {
  ColourFilterDesign d;
  double fc = 0.05;
  for (auto _ : state) {
    benchmark::DoNotOptimize(fc);
    DesignColourFilter(d, fc);
    benchmark::DoNotOptimize(d);
  }
}
BENCHMARK(BM_DesignColourFilter);

// The hardware bound of the colouration. In a filter step the newest history value enters the sum
// first, so the path from one output to the next is one multiplication followed by nine additions
// (ten on the sub-sample that carries the input), all dependent. The up- and down-sampling chains
// are independent and run side by side, so a frame cannot take less than N such steps. This runs
// exactly that dependency chain with nothing else around it: "step_s" is the bound per sub-sample.
void BM_ColourStepBound(benchmark::State& state) {
  double y = 0.5;
  double c[9];
  for (int k = 0; k < 9; ++k) c[k] = 1e-3 * (k + 1);
  double f = 0.25;
  benchmark::DoNotOptimize(f);
  for (double& v : c) benchmark::DoNotOptimize(v);
  for (auto _ : state) {
    for (int i = 0; i < 1000; ++i)
      y = f * y + c[0] + c[1] + c[2] + c[3] + c[4] + c[5] + c[6] + c[7] + c[8];
    benchmark::DoNotOptimize(y);
  }
  state.counters["step_s"] = benchmark::Counter(
      1000, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ColourStepBound);

// A burst of signal followed by a long silence through the chain: the cost of a silent frame and
// how many section history values were ever denormal (counter "denormal_histories").
void BM_SilenceAfterBurst(benchmark::State& state) {
  const int factor = static_cast<int>(state.range(0));
  const int block = 512;
  Buffers burst(block);
  std::vector<double> silence(block, 0.0), outL(block), outR(block);
  EqualiserChain chain;
  const EqualiserSettings s = BusySettings(factor);
  const double* burstIn[2] = {burst.left.data(), burst.right.data()};
  const double* silentIn[2] = {silence.data(), silence.data()};
  double* out[2] = {outL.data(), outR.data()};
  chain.ProcessBlock(burstIn, out, block, 48000.0, s);
  long denormals = 0;
  for (int b = 0; b < 200; ++b) {  // ten seconds of silence before measuring
    chain.ProcessBlock(silentIn, out, block, 48000.0, s);
    chain.ForEachSectionHistory([&](double v) { denormals += std::fpclassify(v) == FP_SUBNORMAL; });
  }
  for (auto _ : state) {
    chain.ProcessBlock(silentIn, out, block, 48000.0, s);
    benchmark::DoNotOptimize(outL.data());
  }
  chain.ForEachSectionHistory([&](double v) { denormals += std::fpclassify(v) == FP_SUBNORMAL; });
  SetFrameCounters(state, block);
  state.counters["denormal_histories"] = static_cast<double>(denormals);
}
BENCHMARK(BM_SilenceAfterBurst)->Arg(4)->Arg(16);

// What denormals cost when nothing flushes them: twelve decaying sections (both channels of six
// stages) stepped through the denormal range with zero input, with the flush mode off (arg 0) or
// on (arg 1). Counter "denormal_steps" is the share of steps whose output was denormal.
void BM_SectionDecayThroughDenormals(benchmark::State& state) {
  const bool flush = state.range(0) != 0;
  SecondOrderSection sections[12];
  for (int k = 0; k < 12; ++k) sections[k].c = MidBoostCoefficients(k % 8, 48000.0, 0.5);
  const int steps = 2048;
  long denormal = 0, total = 0;
  for (auto _ : state) {
    state.PauseTiming();
    for (SecondOrderSection& s : sections) {
      s.x1 = s.x2 = 0.0;
      s.y1 = 1e-305;  // starts just above the denormal range and decays through it
      s.y2 = 0.9e-305;
    }
    state.ResumeTiming();
    if (flush) {
      const ScopedDenormalFlush guard;
      for (int i = 0; i < steps; ++i)
        for (SecondOrderSection& s : sections) benchmark::DoNotOptimize(s.Step(0.0));
    } else {
      for (int i = 0; i < steps; ++i)
        for (SecondOrderSection& s : sections) {
          const double y = s.Step(0.0);
          denormal += std::fpclassify(y) == FP_SUBNORMAL;
          benchmark::DoNotOptimize(y);
        }
    }
    total += steps * 12;
  }
  state.counters["step_s"] = benchmark::Counter(
      12.0 * steps, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["denormal_steps"] = total ? static_cast<double>(denormal) / total : 0.0;
}
BENCHMARK(BM_SectionDecayThroughDenormals)->Arg(0)->Arg(1);

}  // namespace
