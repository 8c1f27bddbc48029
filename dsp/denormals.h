// Flush-to-zero and denormals-are-zero for the lifetime of a scope (x86-64 MXCSR).
#pragma once

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace plumbrook::dsp {

class ScopedDenormalsOff {
 public:
#if defined(__SSE__) || defined(__x86_64__)
  // Writing the control register is slow; nested scopes (an adapter's around the plug-in's) find
  // the bits set and leave the register alone.
  ScopedDenormalsOff() noexcept : saved_(_mm_getcsr()) {
    if (!alreadyOff()) _mm_setcsr(saved_ | kFlushToZero | kDenormalsAreZero);
  }
  ~ScopedDenormalsOff() {
    if (!alreadyOff()) _mm_setcsr(saved_);
  }
#endif
  ScopedDenormalsOff(const ScopedDenormalsOff&) = delete;
  ScopedDenormalsOff& operator=(const ScopedDenormalsOff&) = delete;

  static constexpr unsigned kFlushToZero = 0x8000;
  static constexpr unsigned kDenormalsAreZero = 0x0040;

 private:
#if defined(__SSE__) || defined(__x86_64__)
  bool alreadyOff() const noexcept {
    return (saved_ & (kFlushToZero | kDenormalsAreZero)) == (kFlushToZero | kDenormalsAreZero);
  }
  unsigned saved_;
#endif
};

}  // namespace plumbrook::dsp
