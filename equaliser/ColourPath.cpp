#include "ColourPath.h"

#include "ChainKernel.h"

#include <cpuid.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace brimo {

namespace {

// What the processor offers and the operating system saves on a context switch, read once with
// CPUID and XGETBV (the compilers' own feature tests do not all know every x86-64-v3 feature).
struct Levels {
  bool v3 = false;  // AVX, AVX2, BMI1, BMI2, F16C, FMA, LZCNT, MOVBE, with YMM state enabled
  bool v4 = false;  // v3 and AVX-512 F, BW, CD, DQ, VL, with ZMM and mask state enabled
};

Levels DetectLevels() {
  Levels levels;
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return levels;
  const bool fma = c & (1u << 12), movbe = c & (1u << 22), osxsave = c & (1u << 27);
  const bool avx = c & (1u << 28), f16c = c & (1u << 29);
  if (!osxsave || !avx) return levels;
  unsigned xcr0Low = 0, xcr0High = 0;
  __asm__("xgetbv" : "=a"(xcr0Low), "=d"(xcr0High) : "c"(0));
  unsigned extended = 0;
  if (__get_cpuid(0x80000001, &a, &b, &extended, &d) == 0) extended = 0;
  const bool lzcnt = extended & (1u << 5);
  if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return levels;
  const bool bmi1 = b & (1u << 3), avx2 = b & (1u << 5), bmi2 = b & (1u << 8);
  const bool avx512f = b & (1u << 16), avx512dq = b & (1u << 17), avx512cd = b & (1u << 28);
  const bool avx512bw = b & (1u << 30), avx512vl = b & (1u << 31);
  const bool ymmState = (xcr0Low & 0x06u) == 0x06u, zmmState = (xcr0Low & 0xE6u) == 0xE6u;
  levels.v3 = ymmState && avx2 && bmi1 && bmi2 && f16c && fma && lzcnt && movbe;
  levels.v4 = levels.v3 && zmmState && avx512f && avx512bw && avx512cd && avx512dq && avx512vl;
  return levels;
}

const ChainKernels& KernelsOf(ColourPath path) {
  switch (path) {
    case ColourPath::Avx512:
      return kChainKernelsAvx512;
    case ColourPath::Avx2:
      return kChainKernelsAvx2;
    case ColourPath::Sse2:
      break;
  }
  return kChainKernelsSse2;
}

ColourPath Select() {
  ColourPath path = ColourPath::Sse2;
  for (ColourPath p : kColourPaths)
    if (ColourPathSupported(p)) path = p;
  // BRIMO_COLOUR_PATH=sse2|avx2|avx512 forces a path so that tests and benchmarks can run each
  // one the machine supports. It is a test hook, not a setting: nothing else in the plug-in
  // reads the environment, and an unknown or unsupported value is ignored.
  if (const char* forced = std::getenv("BRIMO_COLOUR_PATH")) {
    for (ColourPath p : kColourPaths)
      if (std::strcmp(forced, ColourPathName(p)) == 0 && ColourPathSupported(p)) path = p;
  }
  return path;
}

// Null until the first block asks; then the selected path's table. Racing first calls select the
// same table, so relaxed stores are enough and nothing locks.
std::atomic<const ChainKernels*> gActive{nullptr};

}  // namespace

const char* ColourPathName(ColourPath path) {
  switch (path) {
    case ColourPath::Avx512:
      return "avx512";
    case ColourPath::Avx2:
      return "avx2";
    case ColourPath::Sse2:
      break;
  }
  return "sse2";
}

bool ColourPathSupported(ColourPath path) {
  // Detected on first use; racing first calls store the same answer, and nothing locks (a
  // function-local static would take a lock on the audio thread's first block).
  static std::atomic<int> detected{-1};
  int bits = detected.load(std::memory_order_relaxed);
  if (bits < 0) {
    const Levels found = DetectLevels();
    bits = (found.v3 ? 1 : 0) | (found.v4 ? 2 : 0);
    detected.store(bits, std::memory_order_relaxed);
  }
  const Levels levels{(bits & 1) != 0, (bits & 2) != 0};
  switch (path) {
    case ColourPath::Avx512:
      return levels.v4;
    case ColourPath::Avx2:
      return levels.v3;
    case ColourPath::Sse2:
      break;
  }
  return true;
}

ColourPath ActiveColourPath() {
  const ChainKernels& active = ActiveChainKernels();
  for (ColourPath p : kColourPaths)
    if (&KernelsOf(p) == &active) return p;
  return ColourPath::Sse2;
}

bool UseColourPath(ColourPath path) {
  if (!ColourPathSupported(path)) return false;
  gActive.store(&KernelsOf(path), std::memory_order_relaxed);
  return true;
}

const ChainKernels& ActiveChainKernels() {
  const ChainKernels* active = gActive.load(std::memory_order_relaxed);
  if (!active) {
    active = &KernelsOf(Select());
    gActive.store(active, std::memory_order_relaxed);
  }
  return *active;
}

}  // namespace brimo
