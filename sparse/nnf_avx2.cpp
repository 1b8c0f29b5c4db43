// AVX2 passes of the double-complex numeric factorisation (the pass is
// stated in kernels.hpp), compiled for AVX2 *without* FMA (GCC: avx2 and
// no-fma; clang: avx2, which leaves FMA out) and run only on processors
// that offer AVX2 (kernels.cpp).
//
// Two complex values share one 256-bit register.  Each product rounds
// exactly like the plain (lr*ur - li*ui, lr*ui + li*ur): products and sums
// of two terms commute exactly, negation is exact and x + (-y) is x - y.
// Each product is rounded, then each sum: the target excludes FMA, so no
// multiply and add can be fused into one rounding.
//   R >= 2: the rows of one column lie side by side in the block, two per
//           register; each value of u is loaded once for all R rows.
//   R = 1:  two columns per register (their u values are adjacent), four
//           per step.
// All loads of a step come before its stores; the columns of a row of U
// are distinct, so no two entries of a pass overlap.
//
// Only headers come before the target switch, and everything compiled
// under it has internal linkage: no inline function of the program is
// ever emitted here with AVX instructions for other files to pick up.
#include <cstddef>
#include <cstdint>

#include "common/complex.hpp"
#include "sparse/kernels.hpp"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,no-fma")
#endif

namespace sparse {
namespace {

// R = 1: the factor lk = (lr, li) of the row, twice, as a = [lr, li, lr, li]
// and b = [-li, lr, -li, lr]; with the two parts of u = (ur, ui) of two
// adjacent columns each spread over its column's half,
//   lk*u = ur*a + ui*b = [ur*lr + ui*(-li), ur*li + ui*lr].
struct Factor {
  __m256d a;
  __m256d b;
};

inline Factor make_factor(const dcomplex& l) {
  return {_mm256_setr_pd(l.re, l.im, l.re, l.im), _mm256_setr_pd(-l.im, l.re, -l.im, l.re)};
}

// x + (ur*a + ui*b)
inline __m256d update(__m256d x, __m256d ur, __m256d ui, const Factor& f) {
  return _mm256_add_pd(x, _mm256_add_pd(_mm256_mul_pd(ur, f.a), _mm256_mul_pd(ui, f.b)));
}
inline __m128d update(__m128d x, __m128d ur, __m128d ui, const Factor& f) {
  return _mm_add_pd(x, _mm_add_pd(_mm_mul_pd(ur, _mm256_castpd256_pd128(f.a)),
                                  _mm_mul_pd(ui, _mm256_castpd256_pd128(f.b))));
}

inline dcomplex* entry(dcomplex* w1, std::int32_t col) {
  return w1 + (static_cast<std::ptrdiff_t>(col) - 1) * block_rows;
}

// R = 2, 3, 4: rows side by side, two per register, each row's factor as
// rr = [lr, lr] and ii = [-li, li]; u = [ur, ui, ur, ui] is loaded once for
// all rows, with its swap [ui, ur, ui, ur]:
//   lk*u = rr*u + ii*swap(u) = [lr*ur + (-li*ui), lr*ui + li*ur].
struct RowFactor {
  __m256d rr;
  __m256d ii;
};

inline RowFactor row_factor(const dcomplex& l0, const dcomplex& l1) {
  return {_mm256_setr_pd(l0.re, l0.re, l1.re, l1.re), _mm256_setr_pd(-l0.im, l0.im, -l1.im, l1.im)};
}

inline __m256d update(__m256d x, __m256d u, __m256d swapped, const RowFactor& f) {
  return _mm256_add_pd(x, _mm256_add_pd(_mm256_mul_pd(f.rr, u), _mm256_mul_pd(f.ii, swapped)));
}
inline __m128d update(__m128d x, __m128d u, __m128d swapped, const RowFactor& f) {
  return _mm_add_pd(x, _mm_add_pd(_mm_mul_pd(_mm256_castpd256_pd128(f.rr), u),
                                  _mm_mul_pd(_mm256_castpd256_pd128(f.ii), swapped)));
}

template <int R, int G>
void rows_pass(dcomplex* w1, const std::int32_t* cols, std::int32_t count,
               const dcomplex* const* u, const dcomplex (*lk)[group_max]) {
  constexpr int P = R / 2;  // pairs of rows; an odd last row alone
  RowFactor f[P + 1][G];
  const dcomplex* v[G];
#pragma GCC unroll 4
  for (int t = 0; t < G; ++t) {
    v[t] = u[t];
#pragma GCC unroll 2
    for (int p = 0; p < P; ++p) f[p][t] = row_factor(lk[2 * p][t], lk[2 * p + 1][t]);
    if constexpr (R % 2 == 1) f[P][t] = row_factor(lk[R - 1][t], lk[R - 1][t]);
  }
  for (std::int32_t s = 0; s < count; ++s) {
    double* w = &entry(w1, cols[s])->re;
    __m256d x[P];
    [[maybe_unused]] __m128d x1 = _mm_setzero_pd();
#pragma GCC unroll 2
    for (int p = 0; p < P; ++p) x[p] = _mm256_loadu_pd(w + 4 * p);
    if constexpr (R % 2 == 1) x1 = _mm_loadu_pd(w + 4 * P);
#pragma GCC unroll 4
    for (int t = 0; t < G; ++t) {
      const __m256d us = _mm256_broadcast_pd(reinterpret_cast<const __m128d*>(&v[t][s].re));
      const __m256d swapped = _mm256_permute_pd(us, 0b0101);
#pragma GCC unroll 2
      for (int p = 0; p < P; ++p) x[p] = update(x[p], us, swapped, f[p][t]);
      if constexpr (R % 2 == 1)
        x1 = update(x1, _mm256_castpd256_pd128(us), _mm256_castpd256_pd128(swapped), f[P][t]);
    }
#pragma GCC unroll 2
    for (int p = 0; p < P; ++p) _mm256_storeu_pd(w + 4 * p, x[p]);
    if constexpr (R % 2 == 1) _mm_storeu_pd(w + 4 * P, x1);
  }
}

// R = 1: two columns per register, four per step.
template <int G>
void columns_pass(dcomplex* w1, const std::int32_t* cols, std::int32_t count,
                  const dcomplex* const* u, const dcomplex (*lk)[group_max]) {
  Factor f[G];
  const dcomplex* ut[G];
#pragma GCC unroll 4
  for (int t = 0; t < G; ++t) {
    ut[t] = u[t];
    f[t] = make_factor(lk[0][t]);
  }
  std::int32_t s = 0;
  for (; s + 4 <= count; s += 4) {
    double* w[4];
#pragma GCC unroll 4
    for (int e = 0; e < 4; ++e) w[e] = &entry(w1, cols[s + e])->re;
    __m256d x[2];
#pragma GCC unroll 2
    for (int h = 0; h < 2; ++h)
      x[h] = _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(w[2 * h])),
                                  _mm_loadu_pd(w[2 * h + 1]), 1);
#pragma GCC unroll 4
    for (int t = 0; t < G; ++t) {
#pragma GCC unroll 2
      for (int h = 0; h < 2; ++h) {
        const __m256d v = _mm256_loadu_pd(&ut[t][s + 2 * h].re);  // [ur0, ui0, ur1, ui1]
        x[h] = update(x[h], _mm256_movedup_pd(v), _mm256_permute_pd(v, 0b1111), f[t]);
      }
    }
#pragma GCC unroll 2
    for (int h = 0; h < 2; ++h) {
      _mm_storeu_pd(w[2 * h], _mm256_castpd256_pd128(x[h]));
      _mm_storeu_pd(w[2 * h + 1], _mm256_extractf128_pd(x[h], 1));
    }
  }
  for (; s < count; ++s) {
    double* w = &entry(w1, cols[s])->re;
    __m128d x = _mm_loadu_pd(w);
#pragma GCC unroll 4
    for (int t = 0; t < G; ++t)
      x = update(x, _mm_set1_pd(ut[t][s].re), _mm_set1_pd(ut[t][s].im), f[t]);
    _mm_storeu_pd(w, x);
  }
}

template <int R, int G>
void avx2_pass(dcomplex* w1, const std::int32_t* cols, std::int32_t count,
               const dcomplex* const* u, const dcomplex (*lk)[group_max]) {
  if constexpr (R == 1)
    columns_pass<G>(w1, cols, count, u, lk);
  else
    rows_pass<R, G>(w1, cols, count, u, lk);
}

const PassTable avx2_table = {{{avx2_pass<1, 1>, avx2_pass<1, 2>, avx2_pass<1, 3>, avx2_pass<1, 4>},
                               {avx2_pass<2, 1>, avx2_pass<2, 2>, avx2_pass<2, 3>, avx2_pass<2, 4>},
                               {avx2_pass<3, 1>, avx2_pass<3, 2>, avx2_pass<3, 3>, avx2_pass<3, 4>},
                               {avx2_pass<4, 1>, avx2_pass<4, 2>, avx2_pass<4, 3>, avx2_pass<4, 4>}}};

}  // namespace
}  // namespace sparse

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

namespace sparse {
const PassTable* avx2_passes() { return &avx2_table; }
}  // namespace sparse

#else

namespace sparse {
const PassTable* avx2_passes() { return nullptr; }
}  // namespace sparse

#endif
