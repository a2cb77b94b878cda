// Flush-to-zero and denormals-are-zero for the lifetime of the object, restoring the caller's
// floating-point mode afterwards. Sections of the equaliser decay towards zero when the input
// falls silent; without this their histories would pass through the denormal range, which is slow
// on x86 and which hosts' validators reject in output buffers.
//
// Only operations whose exact result is below the normal range are affected; every result in the
// normal range is the same as without the mode.
#pragma once

#if defined(__SSE2__) || defined(__x86_64__) || defined(_M_X64)
#include <xmmintrin.h>
#define BRIMO_HAVE_MXCSR 1
#endif

namespace brimo {

class ScopedDenormalFlush {
public:
#if defined(BRIMO_HAVE_MXCSR)
  ScopedDenormalFlush() : saved_(_mm_getcsr()) {
    _mm_setcsr(saved_ | kFlushToZero | kDenormalsAreZero);
  }
  ~ScopedDenormalFlush() {
    _mm_setcsr(saved_);
  }
#else
  ScopedDenormalFlush() = default;
#endif
  ScopedDenormalFlush(const ScopedDenormalFlush&) = delete;
  ScopedDenormalFlush& operator=(const ScopedDenormalFlush&) = delete;

private:
#if defined(BRIMO_HAVE_MXCSR)
  static constexpr unsigned kFlushToZero = 0x8000u;
  static constexpr unsigned kDenormalsAreZero = 0x0040u;
  unsigned saved_;
#endif
};

}  // namespace brimo
