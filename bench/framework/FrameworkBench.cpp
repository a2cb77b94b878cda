// Cost of the framework's share of a processing call: attaching and narrowing 32-bit buffers around
// the default copy, and saving the parameter state.

#include <benchmark/benchmark.h>

#include <vector>

#include "FourCC.h"
#include "PlugAdaptor.h"

namespace {

void BM_RunBlock32(benchmark::State& state) {
  const int32_t frames = int32_t(state.range(0));
  PlugAdaptor plug(13, "1-1 2-2", 1, "BRIMO", "", "KwillowAudioLab", 0x20000, FourCC("Brm1"),
                   FourCC("Kwil"), false, false);
  plug.SetupProcessing(48000.0, frames);
  std::vector<float> l(size_t(frames), 0.25f), r(size_t(frames), -0.25f), ol(l.size()),
      orr(l.size());
  const float* in[] = {l.data(), r.data()};
  float* out[] = {ol.data(), orr.data()};
  for (auto _ : state) {
    plug.RunBlock32(in, 2, out, 2, frames);
    benchmark::DoNotOptimize(ol.data());
  }
  state.SetItemsProcessed(state.iterations() * frames);
}
BENCHMARK(BM_RunBlock32)->Arg(64)->Arg(512)->Arg(4096);

void BM_SerializeParams(benchmark::State& state) {
  PlugAdaptor plug(13, "1-1 2-2", 1, "BRIMO", "", "KwillowAudioLab", 0x20000, FourCC("Brm1"),
                   FourCC("Kwil"), false, false);
  for (auto _ : state) {
    StateChunk chunk;
    plug.SerializeParams(&chunk);
    benchmark::DoNotOptimize(chunk.Bytes());
  }
}
BENCHMARK(BM_SerializeParams);

}  // namespace
