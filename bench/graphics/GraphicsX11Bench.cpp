// What BRIMO's editor costs in a real X11 window (run it under Xvfb: xvfb-run -a): the built
// bundle, loaded by our host code and opened through its VST3 view in a host window, on a run
// loop of the program's own whose timer the benchmarks fire directly. One tick with nothing dirty
// (draining events and finding nothing to draw), with one knob moved by the host, and with the
// whole window exposed; and the time from attaching the view to the first painted frame.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

#include "brimo/host/Vst3Host.h"
// Xlib's macros (None, True, Bool...) last.
#include "X11TestHost.h"

namespace {

using namespace x11test;

constexpr Steinberg::Vst::ParamID kHighBoost = 5;

// The bundle loaded once; one instance with its editor open in a host window.
struct OpenEditor {
  HostWindow host;
  TestRunLoop loop;
  TestFrame frame{&loop};
  std::shared_ptr<brimo::host::Module> module;
  std::unique_ptr<brimo::host::Plugin> plugin;
  IPlugView* view = nullptr;

  bool Load() {
    if (!std::getenv("DISPLAY") || !host.Ok()) return false;
    module = brimo::host::Module::load(BRIMO_BENCH_MODULE);
    if (!module) return false;
    auto cls = module->firstAudioEffect();
    plugin = cls ? module->createPlugin(cls->cid) : nullptr;
    return plugin != nullptr;
  }
  void Attach() {
    view = plugin->controller()->createView("editor");
    view->setFrame(&frame);
    view->attached(host.Parent(), kPlatformTypeX11EmbedWindowID);
  }
  void Remove() {
    view->removed();
    view->release();
    view = nullptr;
  }
  ~OpenEditor() {
    if (view) Remove();
    plugin.reset();
  }
};

void BM_X11TickNothingDirty(benchmark::State& state) {
  OpenEditor e;
  if (!e.Load()) return state.SkipWithError("needs the bundle and an X server (xvfb-run -a)");
  e.Attach();
  e.loop.FireTimers();  // the first paint
  for (auto _ : state) e.loop.FireTimers();
}

void BM_X11TickOneKnob(benchmark::State& state) {
  OpenEditor e;
  if (!e.Load()) return state.SkipWithError("needs the bundle and an X server (xvfb-run -a)");
  e.Attach();
  e.loop.FireTimers();
  double value = 0.0;
  for (auto _ : state) {
    value = value > 0.5 ? 0.0 : 1.0;  // every frame of the knob differs from the last
    e.plugin->setControllerNormalized(kHighBoost, value);
    e.loop.FireTimers();
  }
}

void BM_X11TickFullRepaint(benchmark::State& state) {
  OpenEditor e;
  if (!e.Load()) return state.SkipWithError("needs the bundle and an X server (xvfb-run -a)");
  e.Attach();
  e.loop.FireTimers();
  const Window editor = e.host.Children().at(0);
  for (auto _ : state) {
    // The whole window exposed, as when a host window is uncovered; the tick drains the event
    // and redraws everything.
    XClearArea(e.host.display, editor, 0, 0, 0, 0, True);
    XSync(e.host.display, False);
    e.loop.FireTimers();
  }
}

void BM_X11OpenToFirstPaint(benchmark::State& state) {
  OpenEditor e;
  if (!e.Load()) return state.SkipWithError("needs the bundle and an X server (xvfb-run -a)");
  for (auto _ : state) {
    e.Attach();
    e.loop.FireTimers();  // draws every control and presents the window
    XSync(e.host.display, False);
    state.PauseTiming();
    e.Remove();
    state.ResumeTiming();
  }
}

BENCHMARK(BM_X11TickNothingDirty)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_X11TickOneKnob)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_X11TickFullRepaint)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_X11OpenToFirstPaint)->Unit(benchmark::kMillisecond);

}  // namespace
