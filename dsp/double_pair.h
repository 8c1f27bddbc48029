// Two doubles handled together in one SSE2 register (plain doubles elsewhere): two channels of
// a frame, or two bands of a detector.
#pragma once

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace plumbrook::dsp {

#if defined(__SSE2__)

struct DoublePair {
  __m128d v;
  static DoublePair both(double x) noexcept { return {_mm_set1_pd(x)}; }
  static DoublePair of(double first, double second) noexcept { return {_mm_set_pd(second, first)}; }
  static DoublePair load(const double* p) noexcept { return {_mm_load_pd(p)}; }
  void store(double* p) const noexcept { _mm_store_pd(p, v); }
  double first() const noexcept { return _mm_cvtsd_f64(v); }
  double second() const noexcept { return _mm_cvtsd_f64(_mm_unpackhi_pd(v, v)); }
  DoublePair swapped() const noexcept { return {_mm_shuffle_pd(v, v, 1)}; }
  /// (first of a, first of b) and (second of a, second of b).
  static DoublePair firsts(DoublePair a, DoublePair b) noexcept { return {_mm_unpacklo_pd(a.v, b.v)}; }
  static DoublePair seconds(DoublePair a, DoublePair b) noexcept { return {_mm_unpackhi_pd(a.v, b.v)}; }
};

/// A lane mask: all ones where a condition holds.
struct PairMask {
  __m128d v;
  static PairMask of(bool first, bool second) noexcept {
    return {_mm_castsi128_pd(_mm_set_epi64x(second ? -1 : 0, first ? -1 : 0))};
  }
};

inline DoublePair operator+(DoublePair a, DoublePair b) noexcept { return {_mm_add_pd(a.v, b.v)}; }
inline DoublePair operator-(DoublePair a, DoublePair b) noexcept { return {_mm_sub_pd(a.v, b.v)}; }
inline DoublePair operator*(DoublePair a, DoublePair b) noexcept { return {_mm_mul_pd(a.v, b.v)}; }
inline DoublePair operator/(DoublePair a, DoublePair b) noexcept { return {_mm_div_pd(a.v, b.v)}; }
inline DoublePair operator-(DoublePair a) noexcept { return {_mm_xor_pd(a.v, _mm_set1_pd(-0.0))}; }
inline PairMask operator>(DoublePair a, DoublePair b) noexcept { return {_mm_cmpgt_pd(a.v, b.v)}; }
inline PairMask operator<(DoublePair a, DoublePair b) noexcept { return {_mm_cmplt_pd(a.v, b.v)}; }
/// Where the mask holds a, else b.
inline DoublePair select(PairMask m, DoublePair a, DoublePair b) noexcept {
  return {_mm_or_pd(_mm_and_pd(m.v, a.v), _mm_andnot_pd(m.v, b.v))};
}
/// 0 where the mask holds, else a.
inline DoublePair zeroWhere(PairMask m, DoublePair a) noexcept { return {_mm_andnot_pd(m.v, a.v)}; }
/// max(a, b) for ordered values.
inline DoublePair max(DoublePair a, DoublePair b) noexcept { return {_mm_max_pd(a.v, b.v)}; }
inline DoublePair sqrt(DoublePair a) noexcept { return {_mm_sqrt_pd(a.v)}; }
inline DoublePair abs(DoublePair a) noexcept { return {_mm_andnot_pd(_mm_set1_pd(-0.0), a.v)}; }
/// a limited to -limit..limit.
inline DoublePair clampSymmetric(DoublePair a, DoublePair limit) noexcept {
  return {_mm_min_pd(_mm_max_pd(a.v, (-limit).v), limit.v)};
}
/// NaN and infinities become 0; finite values pass unchanged.
inline DoublePair finiteOrZero(DoublePair a) noexcept {
  return {_mm_and_pd(a.v, _mm_cmplt_pd(abs(a).v, _mm_set1_pd(HUGE_VAL)))};
}

#else

struct DoublePair {
  double a, b;
  static DoublePair both(double x) noexcept { return {x, x}; }
  static DoublePair of(double first, double second) noexcept { return {first, second}; }
  static DoublePair load(const double* p) noexcept { return {p[0], p[1]}; }
  void store(double* p) const noexcept { p[0] = a, p[1] = b; }
  double first() const noexcept { return a; }
  double second() const noexcept { return b; }
  DoublePair swapped() const noexcept { return {b, a}; }
  static DoublePair firsts(DoublePair x, DoublePair y) noexcept { return {x.a, y.a}; }
  static DoublePair seconds(DoublePair x, DoublePair y) noexcept { return {x.b, y.b}; }
};

struct PairMask {
  bool a, b;
  static PairMask of(bool first, bool second) noexcept { return {first, second}; }
};

inline DoublePair operator+(DoublePair x, DoublePair y) noexcept { return {x.a + y.a, x.b + y.b}; }
inline DoublePair operator-(DoublePair x, DoublePair y) noexcept { return {x.a - y.a, x.b - y.b}; }
inline DoublePair operator*(DoublePair x, DoublePair y) noexcept { return {x.a * y.a, x.b * y.b}; }
inline DoublePair operator/(DoublePair x, DoublePair y) noexcept { return {x.a / y.a, x.b / y.b}; }
inline DoublePair operator-(DoublePair x) noexcept { return {-x.a, -x.b}; }
inline PairMask operator>(DoublePair x, DoublePair y) noexcept { return {x.a > y.a, x.b > y.b}; }
inline PairMask operator<(DoublePair x, DoublePair y) noexcept { return {x.a < y.a, x.b < y.b}; }
inline DoublePair select(PairMask m, DoublePair x, DoublePair y) noexcept {
  return {m.a ? x.a : y.a, m.b ? x.b : y.b};
}
inline DoublePair zeroWhere(PairMask m, DoublePair x) noexcept { return {m.a ? 0.0 : x.a, m.b ? 0.0 : x.b}; }
inline DoublePair max(DoublePair x, DoublePair y) noexcept { return {std::max(y.a, x.a), std::max(y.b, x.b)}; }
inline DoublePair sqrt(DoublePair x) noexcept { return {std::sqrt(x.a), std::sqrt(x.b)}; }
inline DoublePair abs(DoublePair x) noexcept { return {std::fabs(x.a), std::fabs(x.b)}; }
inline DoublePair clampSymmetric(DoublePair x, DoublePair limit) noexcept {
  return {std::clamp(x.a, -limit.a, limit.a), std::clamp(x.b, -limit.b, limit.b)};
}
inline DoublePair finiteOrZero(DoublePair x) noexcept {
  return {std::isfinite(x.a) ? x.a : 0.0, std::isfinite(x.b) ? x.b : 0.0};
}

#endif

}  // namespace plumbrook::dsp
