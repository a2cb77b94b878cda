// Blit, fill, text and resampling throughput. Counters report pixels per second (items); divide by
// 1e9 for pixels per nanosecond.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#include "LiceFont.h"
#include "LiceScale.h"

namespace {

// A skin-like image: mostly opaque, with transparent and partly transparent regions.
void Paint(LICE_IBitmap& bm, unsigned seed, int transparentPercent) {
  std::mt19937 rng(seed);
  for (int y = 0; y < bm.Height(); ++y)
    for (int x = 0; x < bm.Width(); ++x) {
      const int r = int(rng() % 100);
      const LICE_PixelWord alpha = r < transparentPercent        ? 0
                                   : r < transparentPercent + 10 ? (rng() & 0xFF)
                                                                 : 255;
      bm.PixelData()[y * bm.RowSpan() + x] = (LICE_PixelWord(rng()) & 0xFFFFFF) | alpha << 24;
    }
}

void Blit(benchmark::State& state, int w, int h, int transparentPercent) {
  LICE_SysBitmap surface;
  surface.Resize(790, 249);
  LICE_MemBitmap image;
  image.Resize(w, h);
  Paint(image, 1, transparentPercent);
  for (auto _ : state) {
    LICE_ComposeRect(&surface, &image, 0, 0, nullptr, 1.0f, ComposeCopy | ComposeUseSourceAlpha);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * w * h);
}

void BM_SourceAlphaCopy_FullRedraw790x249(benchmark::State& state) {
  Blit(state, 790, 249, 5);
}
void BM_SourceAlphaCopy_KnobFrame92x92(benchmark::State& state) {
  Blit(state, 92, 92, 40);
}

void BM_Fill790x249(benchmark::State& state) {
  LICE_SysBitmap surface;
  surface.Resize(790, 249);
  const float weight = float(state.range(0)) / 100.0f;
  for (auto _ : state) {
    LICE_FillArea(&surface, 0, 0, 790, 249, 0xFF336699, weight, ComposeCopy);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 790 * 249);
}

void BM_DrawText20Chars_WarmCache(benchmark::State& state) {
  LICE_SysBitmap surface;
  surface.Resize(790, 249);
  LICE_CachedFont font;
  font.AdoptFont(LICE_CreateFont(14, 0, 400, false, 0, "DejaVu Sans"), 0x600);
  font.SetForeground(0xFFE0E0E0);
  const char* text = "Output trim -12.5 dB";  // 20 characters
  LICE_RECT box = {10, 10, 400, 40};
  font.RenderText(&surface, text, -1, &box, LICE_DT_NEEDALPHA);  // warm the cache
  LICE_RECT measured = {0, 0, 0, 0};
  font.RenderText(nullptr, text, -1, &measured, LICE_DT_CALCRECT | LICE_DT_NEEDALPHA);
  for (auto _ : state) {
    benchmark::DoNotOptimize(font.RenderText(&surface, text, -1, &box, LICE_DT_NEEDALPHA));
    benchmark::ClobberMemory();
  }
  // Pixels of the string's measured box per drawing.
  state.SetItemsProcessed(state.iterations() * measured.right * measured.bottom);
  state.counters["box_pixels"] = double(measured.right * measured.bottom);
}

// Load-time resampling of the 2x artwork: the background to 1.5x (1185 x 374) and to 3x
// (2370 x 747, enlarging), items = destination pixels.
void BM_ScaledBlit_Background1580x498(benchmark::State& state) {
  LICE_MemBitmap source, dest;
  source.Resize(1580, 498);
  Paint(source, 1, 5);
  const int w = int(state.range(0)), h = int(state.range(1));
  dest.Resize(w, h);
  for (auto _ : state) {
    LICE_ScaledBlit(&dest, &source, nullptr, nullptr);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * w * h);
}

// A 61-frame knob strip at 2x (184 x 184 frames) into a new bitmap of 1.5x frames (138 x 138).
void BM_ResampleFrames_Knob61Frames184To138(benchmark::State& state) {
  LICE_MemBitmap strip;
  strip.Resize(184, 184 * 61);
  Paint(strip, 2, 40);
  for (auto _ : state) {
    std::unique_ptr<LICE_MemBitmap> out(LICE_ResampleFrames(&strip, 61, 138, 138));
    benchmark::DoNotOptimize(out.get());
  }
  state.SetItemsProcessed(state.iterations() * 138 * 138 * 61);
}

}  // namespace

BENCHMARK(BM_SourceAlphaCopy_FullRedraw790x249);
BENCHMARK(BM_SourceAlphaCopy_KnobFrame92x92);
BENCHMARK(BM_Fill790x249)->Arg(100)->Arg(30);
BENCHMARK(BM_DrawText20Chars_WarmCache);
BENCHMARK(BM_ScaledBlit_Background1580x498)
    ->Args({1185, 374})
    ->Args({2370, 747})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResampleFrames_Knob61Frames184To138)->Unit(benchmark::kMillisecond);
