// Four doubles handled together: one AVX register, or two SSE2 registers on the baseline. Both
// run the same operations per lane, so results agree exactly.
#pragma once

#include "dsp/double_pair.h"

#if defined(__x86_64__)
#define PLUMBROOK_HAVE_AVX2_QUAD 1
#include <immintrin.h>
#endif

namespace plumbrook::dsp {

/// Baseline build: two DoublePairs.
struct QuadPairs {
  DoublePair lo, hi;
  struct Mask {
    PairMask lo, hi;
  };
  static QuadPairs both(double x) noexcept { return {DoublePair::both(x), DoublePair::both(x)}; }
  static QuadPairs of(double a, double b, double c, double d) noexcept {
    return {DoublePair::of(a, b), DoublePair::of(c, d)};
  }
  static Mask maskOf(bool a, bool b, bool c, bool d) noexcept { return {PairMask::of(a, b), PairMask::of(c, d)}; }
  static QuadPairs load(const double* p) noexcept { return {DoublePair::load(p), DoublePair::load(p + 2)}; }
  static QuadPairs fromPairs(DoublePair low, DoublePair high) noexcept { return {low, high}; }
  DoublePair lowPair() const noexcept { return lo; }
  DoublePair highPair() const noexcept { return hi; }
  /// Lanes (1, 0, 3, 2): each pair swapped.
  QuadPairs swapped() const noexcept { return {lo.swapped(), hi.swapped()}; }
  /// Lanes (1, 1, 2, 2).
  QuadPairs duplicateMiddle() const noexcept { return {DoublePair::seconds(lo, lo), DoublePair::firsts(hi, hi)}; }
  void store(double* p) const noexcept {
    lo.store(p);
    hi.store(p + 2);
  }
  friend QuadPairs operator+(QuadPairs a, QuadPairs b) noexcept { return {a.lo + b.lo, a.hi + b.hi}; }
  friend QuadPairs operator-(QuadPairs a, QuadPairs b) noexcept { return {a.lo - b.lo, a.hi - b.hi}; }
  friend QuadPairs operator*(QuadPairs a, QuadPairs b) noexcept { return {a.lo * b.lo, a.hi * b.hi}; }
  friend QuadPairs operator-(QuadPairs a) noexcept { return {-a.lo, -a.hi}; }
  friend Mask operator>(QuadPairs a, QuadPairs b) noexcept { return {a.lo > b.lo, a.hi > b.hi}; }
  friend Mask operator<(QuadPairs a, QuadPairs b) noexcept { return {a.lo < b.lo, a.hi < b.hi}; }
  friend QuadPairs select(Mask m, QuadPairs a, QuadPairs b) noexcept {
    return {dsp::select(m.lo, a.lo, b.lo), dsp::select(m.hi, a.hi, b.hi)};
  }
  friend QuadPairs zeroWhere(Mask m, QuadPairs a) noexcept {
    return {dsp::zeroWhere(m.lo, a.lo), dsp::zeroWhere(m.hi, a.hi)};
  }
  friend QuadPairs max(QuadPairs a, QuadPairs b) noexcept { return {dsp::max(a.lo, b.lo), dsp::max(a.hi, b.hi)}; }
  friend QuadPairs sqrt(QuadPairs a) noexcept { return {dsp::sqrt(a.lo), dsp::sqrt(a.hi)}; }
  friend QuadPairs abs(QuadPairs a) noexcept { return {dsp::abs(a.lo), dsp::abs(a.hi)}; }
  friend QuadPairs clampSymmetric(QuadPairs a, QuadPairs limit) noexcept {
    return {dsp::clampSymmetric(a.lo, limit.lo), dsp::clampSymmetric(a.hi, limit.hi)};
  }
};

#ifdef PLUMBROOK_HAVE_AVX2_QUAD

/// AVX build: one register; usable only inside functions built for AVX2.
struct QuadAvx {
  __m256d v;
  struct Mask {
    __m256d v;
  };
  [[gnu::target("avx2")]] static QuadAvx both(double x) noexcept { return {_mm256_set1_pd(x)}; }
  [[gnu::target("avx2")]] static QuadAvx of(double a, double b, double c, double d) noexcept {
    return {_mm256_set_pd(d, c, b, a)};
  }
  [[gnu::target("avx2")]] static Mask maskOf(bool a, bool b, bool c, bool d) noexcept {
    return {_mm256_castsi256_pd(_mm256_set_epi64x(d ? -1 : 0, c ? -1 : 0, b ? -1 : 0, a ? -1 : 0))};
  }
  [[gnu::target("avx2")]] static QuadAvx load(const double* p) noexcept { return {_mm256_loadu_pd(p)}; }
  [[gnu::target("avx2")]] void store(double* p) const noexcept { _mm256_storeu_pd(p, v); }
  [[gnu::target("avx2")]] static QuadAvx fromPairs(DoublePair low, DoublePair high) noexcept {
    return {_mm256_set_m128d(high.v, low.v)};
  }
  [[gnu::target("avx2")]] DoublePair lowPair() const noexcept { return {_mm256_castpd256_pd128(v)}; }
  [[gnu::target("avx2")]] DoublePair highPair() const noexcept { return {_mm256_extractf128_pd(v, 1)}; }
  [[gnu::target("avx2")]] QuadAvx swapped() const noexcept { return {_mm256_permute_pd(v, 0b0101)}; }
  [[gnu::target("avx2")]] QuadAvx duplicateMiddle() const noexcept {
    return {_mm256_permute4x64_pd(v, 0b10100101)};
  }
};
[[gnu::target("avx2")]] inline QuadAvx operator+(QuadAvx a, QuadAvx b) noexcept { return {_mm256_add_pd(a.v, b.v)}; }
[[gnu::target("avx2")]] inline QuadAvx operator-(QuadAvx a, QuadAvx b) noexcept { return {_mm256_sub_pd(a.v, b.v)}; }
[[gnu::target("avx2")]] inline QuadAvx operator*(QuadAvx a, QuadAvx b) noexcept { return {_mm256_mul_pd(a.v, b.v)}; }
[[gnu::target("avx2")]] inline QuadAvx operator-(QuadAvx a) noexcept {
  return {_mm256_xor_pd(a.v, _mm256_set1_pd(-0.0))};
}
[[gnu::target("avx2")]] inline QuadAvx::Mask operator>(QuadAvx a, QuadAvx b) noexcept {
  return {_mm256_cmp_pd(a.v, b.v, _CMP_GT_OS)};
}
[[gnu::target("avx2")]] inline QuadAvx::Mask operator<(QuadAvx a, QuadAvx b) noexcept {
  return {_mm256_cmp_pd(a.v, b.v, _CMP_LT_OS)};
}
[[gnu::target("avx2")]] inline QuadAvx select(QuadAvx::Mask m, QuadAvx a, QuadAvx b) noexcept {
  return {_mm256_blendv_pd(b.v, a.v, m.v)};
}
[[gnu::target("avx2")]] inline QuadAvx zeroWhere(QuadAvx::Mask m, QuadAvx a) noexcept {
  return {_mm256_andnot_pd(m.v, a.v)};
}
[[gnu::target("avx2")]] inline QuadAvx max(QuadAvx a, QuadAvx b) noexcept { return {_mm256_max_pd(a.v, b.v)}; }
[[gnu::target("avx2")]] inline QuadAvx clampSymmetric(QuadAvx a, QuadAvx limit) noexcept {
  return {_mm256_min_pd(_mm256_max_pd(a.v, (-limit).v), limit.v)};
}
[[gnu::target("avx2")]] inline QuadAvx sqrt(QuadAvx a) noexcept { return {_mm256_sqrt_pd(a.v)}; }
[[gnu::target("avx2")]] inline QuadAvx abs(QuadAvx a) noexcept {
  return {_mm256_andnot_pd(_mm256_set1_pd(-0.0), a.v)};
}

#endif

}  // namespace plumbrook::dsp
