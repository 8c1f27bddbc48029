// Array log and exp on the C library's vector math routines (4 lanes with AVX2, 2 with SSE2),
// with a plain loop where they are not available.
#include "dsp/vector_math.h"

#include <cmath>

#if defined(__x86_64__) && defined(__GLIBC__)
#define PLUMBROOK_VECTOR_MATH 1
#include <immintrin.h>
#endif

namespace plumbrook::dsp {

#ifdef PLUMBROOK_VECTOR_MATH

// The C library's vector variants, by their vector-ABI names: 2 lanes (SSE2) and 4 lanes (AVX2).
extern "C" {
__m128d _ZGVbN2v_log(__m128d);
__m128d _ZGVbN2v_exp(__m128d);
__attribute__((target("avx2"))) __m256d _ZGVdN4v_log(__m256d);
__attribute__((target("avx2"))) __m256d _ZGVdN4v_exp(__m256d);
}

namespace {

// The tail shorter than a full register goes through a padded copy, so every element takes the
// same vector path whatever n is.
template <int kLanes, typename Fn>
inline void eachPadded(double* x, int n, double pad, Fn&& fn) noexcept {
  int i = 0;
  for (; i + kLanes <= n; i += kLanes) fn(x + i);
  if (i < n) {
    alignas(32) double tmp[kLanes];
    for (int k = 0; k < kLanes; ++k) tmp[k] = i + k < n ? x[i + k] : pad;
    fn(tmp);
    for (int k = 0; i + k < n; ++k) x[i + k] = tmp[k];
  }
}

void logSse2(double* x, int n) noexcept {
  eachPadded<2>(x, n, 1.0, [](double* p) { _mm_storeu_pd(p, _ZGVbN2v_log(_mm_loadu_pd(p))); });
}
void expSse2(double* x, int n) noexcept {
  eachPadded<2>(x, n, 0.0, [](double* p) { _mm_storeu_pd(p, _ZGVbN2v_exp(_mm_loadu_pd(p))); });
}
__attribute__((target("avx2"))) void logAvx2(double* x, int n) noexcept {
  int i = 0;
  for (; i + 4 <= n; i += 4) _mm256_storeu_pd(x + i, _ZGVdN4v_log(_mm256_loadu_pd(x + i)));
  if (i < n) logSse2(x + i, n - i);
}
__attribute__((target("avx2"))) void expAvx2(double* x, int n) noexcept {
  int i = 0;
  for (; i + 4 <= n; i += 4) _mm256_storeu_pd(x + i, _ZGVdN4v_exp(_mm256_loadu_pd(x + i)));
  if (i < n) expSse2(x + i, n - i);
}

bool hasAvx2() noexcept {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

// Chosen once while the library loads, so the audio thread never meets a guarded static; a call
// made before that (from another static initialiser) takes the baseline path.
const bool kAvx2 = hasAvx2();

}  // namespace

void logInPlace(double* x, int n) noexcept {
  if (kAvx2)
    logAvx2(x, n);
  else
    logSse2(x, n);
}
void expInPlace(double* x, int n) noexcept {
  if (kAvx2)
    expAvx2(x, n);
  else
    expSse2(x, n);
}

#else

void logInPlace(double* x, int n) noexcept {
  for (int i = 0; i < n; ++i) x[i] = std::log(x[i]);
}
void expInPlace(double* x, int n) noexcept {
  for (int i = 0; i < n; ++i) x[i] = std::exp(x[i]);
}

#endif

}  // namespace plumbrook::dsp
