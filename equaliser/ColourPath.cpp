#include "ColourPath.h"

#include "ChainKernel.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace brimo {

namespace {

bool HasX86_64v3()
{
    return __builtin_cpu_supports("avx") && __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") &&
           __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("f16c") &&
           __builtin_cpu_supports("lzcnt") && __builtin_cpu_supports("movbe");
}

bool HasX86_64v4()
{
    return HasX86_64v3() && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
           __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512dq") &&
           __builtin_cpu_supports("avx512cd");
}

const ChainKernels& KernelsOf(ColourPath path)
{
    switch (path) {
    case ColourPath::Avx512: return kChainKernelsAvx512;
    case ColourPath::Avx2: return kChainKernelsAvx2;
    case ColourPath::Sse2: break;
    }
    return kChainKernelsSse2;
}

ColourPath Select()
{
    ColourPath path = ColourPath::Sse2;
    for (ColourPath p : kColourPaths)
        if (ColourPathSupported(p))
            path = p;
    // BRIMO_COLOUR_PATH=sse2|avx2|avx512 forces a path so that tests and benchmarks can run each
    // one the machine supports. It is a test hook, not a setting: nothing else in the plug-in
    // reads the environment, and an unknown or unsupported value is ignored.
    if (const char* forced = std::getenv("BRIMO_COLOUR_PATH")) {
        for (ColourPath p : kColourPaths)
            if (std::strcmp(forced, ColourPathName(p)) == 0 && ColourPathSupported(p))
                path = p;
    }
    return path;
}

// Null until the first block asks; then the selected path's table. Racing first calls select the
// same table, so relaxed stores are enough and nothing locks.
std::atomic<const ChainKernels*> gActive{nullptr};

}  // namespace

const char* ColourPathName(ColourPath path)
{
    switch (path) {
    case ColourPath::Avx512: return "avx512";
    case ColourPath::Avx2: return "avx2";
    case ColourPath::Sse2: break;
    }
    return "sse2";
}

bool ColourPathSupported(ColourPath path)
{
    __builtin_cpu_init();  // idempotent; needed before the feature tests when called from a constructor
    switch (path) {
    case ColourPath::Avx512: return HasX86_64v4();
    case ColourPath::Avx2: return HasX86_64v3();
    case ColourPath::Sse2: break;
    }
    return true;
}

ColourPath ActiveColourPath()
{
    const ChainKernels& active = ActiveChainKernels();
    for (ColourPath p : kColourPaths)
        if (&KernelsOf(p) == &active)
            return p;
    return ColourPath::Sse2;
}

bool UseColourPath(ColourPath path)
{
    if (!ColourPathSupported(path))
        return false;
    gActive.store(&KernelsOf(path), std::memory_order_relaxed);
    return true;
}

const ChainKernels& ActiveChainKernels()
{
    const ChainKernels* active = gActive.load(std::memory_order_relaxed);
    if (!active) {
        active = &KernelsOf(Select());
        gActive.store(active, std::memory_order_relaxed);
    }
    return *active;
}

}  // namespace brimo
