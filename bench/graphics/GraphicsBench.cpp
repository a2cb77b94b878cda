// What BRIMO's editor costs on the headless platform: the first instance in a process (its images
// decoded into the process-wide cache) and the decoding alone, later instances that find the
// images cached, a full redraw, one knob's redraw, and the memory each further instance adds.
//
// The headless platform presents into a screen bitmap of its own; a native window presents to the
// screen instead, so redraws here include one copy of the presented box that a window would spend
// on its own presentation too.
#include "BRIMO.h"
#include "AllocationCounter.h"
#include "IGraphicsCaches.h"
#include "IGraphicsHeadless.h"
#include "LicePng.h"

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstdint>
#include <memory>

namespace {

// The editor's images as it loads them: resource id and name.
struct Image {
  int id;
  const char* name;
};
constexpr Image kImages[] = {
    {101, "resources/img/BG.png"},  {102, "resources/img/HB.png"},  {103, "resources/img/HC.png"},
    {104, "resources/img/LB.png"},  {105, "resources/img/LC.png"},  {106, "resources/img/LF.png"},
    {107, "resources/img/MB.png"},  {108, "resources/img/MBF.png"}, {109, "resources/img/MC.png"},
    {110, "resources/img/MCF.png"}, {111, "resources/img/OUT.png"}, {112, "resources/img/OVER.png"},
    {113, "resources/img/BY.png"},
};

IGraphicsHeadless* HeadlessGraphics(BRIMO& plug) {
  return dynamic_cast<IGraphicsHeadless*>(plug.GetGraphics());
}

// The first instance in the process decodes every image into the process-wide cache, which is
// never emptied, so this can be measured once per process only: it is registered before every
// other benchmark, runs a single iteration, and refuses to run once the cache holds anything (with
// a filter, or with repetitions). Run the program several times for more samples;
// BM_DecodeEditorImages measures the decoding repeatably.
void BM_FirstInstance(benchmark::State& state) {
  if (BitmapCacheSize() != 0) {
    state.SkipWithError("the bitmap cache is already filled in this process");
    return;
  }
  for (auto _ : state) {
    BRIMO plug;
    benchmark::DoNotOptimize(plug.GetGraphics());
  }
  state.counters["images_cached"] = BitmapCacheSize();
}
BENCHMARK(BM_FirstInstance)->Iterations(1)->Unit(benchmark::kMicrosecond);

// The first editor in the process drawn at 200 % (a high-density screen): the images at twice the
// size decoded side by side, then the whole editor drawn. Once per process, like the above.
void BM_FirstEditorAt200(benchmark::State& state) {
  if (graphics_cache::FindBitmap(101 + BRIMO::kImage2xIdOffset)) {
    state.SkipWithError("the 2x images are already cached in this process");
    return;
  }
  BRIMO plug;
  for (auto _ : state) {
    HeadlessGraphics(plug)->SetDrawScale(2.0);
    HeadlessGraphics(plug)->RenderAll();
  }
}
BENCHMARK(BM_FirstEditorAt200)->Iterations(1)->Unit(benchmark::kMillisecond);

// The thirteen images decoded from the compiled-in PNGs and freed again, as the first instance
// decodes them but without the cache.
void BM_DecodeEditorImages(benchmark::State& state) {
  int64_t pixels = 0;
  for (auto _ : state) {
    for (const Image& image : kImages) {
      std::unique_ptr<LICE_IBitmap> bitmap(LICE_LoadPngResource(nullptr, image.id, image.name));
      if (!bitmap) {
        state.SkipWithError("an editor image is missing");
        return;
      }
      pixels += int64_t(bitmap->Width()) * bitmap->Height();
      benchmark::DoNotOptimize(bitmap->PixelData());
    }
  }
  state.SetItemsProcessed(pixels);
}
BENCHMARK(BM_DecodeEditorImages)->Unit(benchmark::kMicrosecond);

// Each image alone, to see which ones the decoding time goes to.
void BM_DecodeImage(benchmark::State& state) {
  const Image& image = kImages[state.range(0) - 101];
  state.SetLabel(image.name);
  int64_t pixels = 0;
  for (auto _ : state) {
    std::unique_ptr<LICE_IBitmap> bitmap(LICE_LoadPngResource(nullptr, image.id, image.name));
    if (!bitmap) {
      state.SkipWithError("image missing");
      return;
    }
    pixels += int64_t(bitmap->Width()) * bitmap->Height();
    benchmark::DoNotOptimize(bitmap->PixelData());
  }
  state.SetItemsProcessed(pixels);
}
BENCHMARK(BM_DecodeImage)->DenseRange(101, 113)->Unit(benchmark::kMicrosecond);

// Construction and destruction of an instance whose images are already cached.
void BM_LaterInstance(benchmark::State& state) {
  { BRIMO warm; }  // fills the cache in case BM_FirstInstance was filtered out
  for (auto _ : state) {
    auto plug = std::make_unique<BRIMO>();
    benchmark::DoNotOptimize(plug->GetGraphics());
  }
}
BENCHMARK(BM_LaterInstance)->Unit(benchmark::kMicrosecond);

// The same with the editor's first full drawing, as opening the window does. Construction only
// reserves the pixel buffers; the drawing is what first writes them.
void BM_LaterInstanceWithFirstDraw(benchmark::State& state) {
  { BRIMO warm; }
  for (auto _ : state) {
    auto plug = std::make_unique<BRIMO>();
    HeadlessGraphics(*plug)->RenderAll();
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_LaterInstanceWithFirstDraw)->Unit(benchmark::kMicrosecond);

// The whole editor at a size (the argument, in percent: 100 is 790 x 249): every control
// composited and the whole box presented.
void BM_FullRedraw(benchmark::State& state) {
  BRIMO plug;
  IGraphicsHeadless* graphics = HeadlessGraphics(plug);
  graphics->SetDrawScale(double(state.range(0)) / 100.0);
  graphics->RenderAll();  // the images at this scale, made once
  for (auto _ : state) {
    graphics->RenderAll();
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * graphics->DeviceWidth() * graphics->DeviceHeight());
  state.counters["controls"] = graphics->NControls();
}
BENCHMARK(BM_FullRedraw)->Arg(100)->Arg(200)->Arg(175)->Unit(benchmark::kMicrosecond);

// One knob (the argument is its control index: 2 is Low Boost with 61 frames, 6 is High Boost with
// 9) takes a new value from the plug-in and the next timer tick draws it: the background under its
// box, the knob and whatever else overlaps the box. The value alternates so that every tick shows
// a different frame.
void BM_KnobRedraw(benchmark::State& state) {
  BRIMO plug;
  IGraphicsHeadless* graphics = HeadlessGraphics(plug);
  graphics->SetDrawScale(double(state.range(1)) / 100.0);
  graphics->RenderAll();  // leaves every control clean
  auto* knob = dynamic_cast<IKnobMultiControl*>(graphics->GetControl(int32_t(state.range(0))));
  if (!knob) {
    state.SkipWithError("not a knob");
    return;
  }
  state.SetLabel(plug.GetParam(knob->ParamIdx())->Name());
  const double values[2] = {0.25, 0.75};
  int next = 0;
  int64_t frameChanges = 0;
  for (auto _ : state) {
    const int32_t frame = knob->FrameNumber();
    knob->SetValueFromPlugin(values[next ^= 1]);
    frameChanges += knob->FrameNumber() != frame;
    benchmark::DoNotOptimize(graphics->Tick());
  }
  if (frameChanges != state.iterations()) state.SkipWithError("the knob's frame did not change");
  const IBox box = graphics->ToDevice(knob->GetBox());
  state.SetItemsProcessed(state.iterations() * box.W() * box.H());
  state.counters["box_pixels"] = box.W() * box.H();
}
// Arguments: the control, and the size in percent.
BENCHMARK(BM_KnobRedraw)
    ->Args({2, 100})
    ->Args({6, 100})
    ->Args({2, 200})
    ->Args({6, 200})
    ->Unit(benchmark::kMicrosecond);

// A frame of a drag on Output: the knob takes a new value and the next tick draws it, with its
// readout showing (second argument 1: the plate's text changes every frame, so it is drawn anew
// and the area under it with it) or without (0). The readout's cost per frame is the difference.
void BM_ReadoutFrame(benchmark::State& state) {
  BRIMO plug;
  IGraphicsHeadless* graphics = HeadlessGraphics(plug);
  graphics->SetDrawScale(double(state.range(0)) / 100.0);
  graphics->OpenWindow(nullptr);
  double now = 0;
  graphics->SetClock([&now] { return now; });
  const bool readout = state.range(1) != 0;
  if (readout) {
    graphics->OnMouseOver(706, 128, {});
    now = 1;
  }
  graphics->RenderAll();
  while (graphics->Tick()) {}
  IControl* knob = graphics->GetControl(5);
  int64_t step = 0;
  for (auto _ : state) {
    ++step;
    knob->SetValueFromPlugin(0.25 + 0.5 * double(step % 2) + double(step % 97) / 1000);
    benchmark::DoNotOptimize(graphics->Tick());
  }
  if ((graphics->ReadoutControl() >= 0) != readout) state.SkipWithError("readout not as asked");
  graphics->SetClock(nullptr);
  graphics->CloseWindow();
}
// Arguments: the size in percent, and the readout off or on.
BENCHMARK(BM_ReadoutFrame)
    ->Args({100, 0})
    ->Args({100, 1})
    ->Args({200, 0})
    ->Args({200, 1})
    ->Unit(benchmark::kMicrosecond);

// The images at twice the size, decoded from the compiled-in PNGs and freed again, as the first
// editor drawn above 100 % decodes them; and the memory they hold, process-wide, once cached.
void BM_DecodeEditorImages2x(benchmark::State& state) {
  double bytes = 0;
  for (auto _ : state) {
    bytes = 0;
    for (const Image& image : kImages) {
      std::unique_ptr<LICE_IBitmap> decoded(
          LICE_LoadPngResource(nullptr, image.id + BRIMO::kImage2xIdOffset, image.name));
      if (!decoded) {
        state.SkipWithError("a 2x image did not decode");
        return;
      }
      bytes += 4.0 * decoded->RowSpan() * decoded->Height();
    }
  }
  state.counters["image_bytes"] = benchmark::Counter(bytes, {}, benchmark::Counter::kIs1024);
}
BENCHMARK(BM_DecodeEditorImages2x)->Unit(benchmark::kMicrosecond);

// An open editor switched from 100 % to 175 % and drawn whole. The first time resamples every
// image from the 2x set (here: each iteration, as the last editor at 175 % lets its images go);
// cached (the argument 1): another editor holds 175 % meanwhile.
void BM_SwitchTo175(benchmark::State& state) {
  BRIMO holder;
  if (state.range(0) == 1) {
    HeadlessGraphics(holder)->SetDrawScale(1.75);
    HeadlessGraphics(holder)->RenderAll();
  }
  {
    BRIMO warm;
    HeadlessGraphics(warm)->SetDrawScale(2.0);
    HeadlessGraphics(warm)->RenderAll();
  }
  for (auto _ : state) {
    state.PauseTiming();
    auto plug = std::make_unique<BRIMO>();
    IGraphicsHeadless* graphics = HeadlessGraphics(*plug);
    graphics->RenderAll();
    state.ResumeTiming();
    graphics->SetDrawScale(1.75);
    graphics->RenderAll();
    benchmark::ClobberMemory();
    state.PauseTiming();
    plug.reset();
    state.ResumeTiming();
  }
  state.SetLabel(state.range(0) == 1 ? "cached" : "first time");
}
BENCHMARK(BM_SwitchTo175)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Bytes the heap holds in use now, allocator overhead included (single-threaded use, so the main
// arena and its mapped blocks are all there is). Small blocks parked in the thread's cache count as
// in use, which blurs the figure by a few kilobytes at most.
double LiveHeapBytes() {
  const struct mallinfo2 info = mallinfo2();
  return double(info.uordblks + info.hblkhd);
}

// Memory a second instance adds while a first one is alive: the growth of the live heap, how much
// of that went through operator new, and the drawing surface inside it. (The headless platform's
// screen copy is made only when something is first presented.)
// Each iteration builds the second instance, measures, and destroys it again.
void BM_SecondInstanceMemory(benchmark::State& state) {
  BRIMO first;
  double heap = 0, newBytes = 0, newCalls = 0, surface = 0;
  for (auto _ : state) {
    const double heapBefore = LiveHeapBytes();
    const long callsBefore = AllocationCount(), bytesBefore = AllocatedBytes();
    auto second = std::make_unique<BRIMO>();
    newCalls += double(AllocationCount() - callsBefore);
    newBytes += double(AllocatedBytes() - bytesBefore);
    heap += LiveHeapBytes() - heapBefore;
    if (LICE_SysBitmap* drawSurface = second->GetGraphics()->DrawSurface())
      surface += 4.0 * drawSurface->RowSpan() * drawSurface->Height();
  }
  using benchmark::Counter;
  state.counters["heap_bytes"] = Counter(heap, Counter::kAvgIterations, Counter::kIs1024);
  state.counters["new_bytes"] = Counter(newBytes, Counter::kAvgIterations, Counter::kIs1024);
  state.counters["new_calls"] = Counter(newCalls, Counter::kAvgIterations);
  state.counters["surface_bytes"] = Counter(surface, Counter::kAvgIterations, Counter::kIs1024);
  state.counters["rest_bytes"] = Counter(heap - surface, Counter::kAvgIterations, Counter::kIs1024);
}
BENCHMARK(BM_SecondInstanceMemory)->Unit(benchmark::kMicrosecond);

}  // namespace
