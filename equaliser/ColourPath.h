// The instruction sets the signal path is built for. One binary carries all of them; the first
// block processed picks the widest one the processor supports, once per process.
//
// Thread contract: any thread. Selection is lock-free and allocates nothing, so it may happen on
// the audio thread.
#pragma once

namespace brimo {

enum class ColourPath {
  Sse2,    // the x86-64 baseline
  Avx2,    // x86-64-v3
  Avx512,  // x86-64-v4
};

inline constexpr ColourPath kColourPaths[] = {ColourPath::Sse2, ColourPath::Avx2,
                                              ColourPath::Avx512};

// "sse2", "avx2" or "avx512".
const char* ColourPathName(ColourPath path);

// Whether this processor (and its operating system) can run the path.
bool ColourPathSupported(ColourPath path);

// The path in use; selects it on first call.
ColourPath ActiveColourPath();

// For tests and benchmarks only: runs every later block on the given path, which must be
// supported. Returns false, changing nothing, when it is not.
bool UseColourPath(ColourPath path);

}  // namespace brimo
