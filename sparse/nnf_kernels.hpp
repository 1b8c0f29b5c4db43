// SSE2 passes of the double-complex numeric factorisation: the update of
// the work row by G (1 to 4) eliminated rows at once,
//   row(cols[s]) := row(cols[s]) + lk[0]*u[0][s] + ... + lk[G-1]*u[G-1][s],
// the additions in that order, each product the plain four-multiplication
// one.  With a complex value held as [re, im] in one register:
//   lk*u = [lr, lr]*[ur, ui] + [-li, li]*[ui, ur]
//        = [lr*ur + (-li*ui), lr*ui + li*ur],
// which rounds exactly like (lr*ur - li*ui, lr*ui + li*ur): negation is
// exact and a + (-b) is a - b.  Four entries are handled per step, all
// loads before the stores (the columns of a row are distinct, so the
// entries never overlap).  SSE2 belongs to the baseline x86-64 target.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "common/complex.hpp"

namespace sparse {

struct SplitFactor {
  __m128d rr;  // [lr, lr]
  __m128d ii;  // [-li, li]
};

inline SplitFactor split_factor(dcomplex lk) {
  return {_mm_set1_pd(lk.re), _mm_set_pd(lk.im, -lk.im)};
}

// x + f*u
inline __m128d multiply_add(__m128d x, const SplitFactor& f, __m128d u) {
  const __m128d swapped = _mm_shuffle_pd(u, u, 1);
  return _mm_add_pd(x, _mm_add_pd(_mm_mul_pd(f.rr, u), _mm_mul_pd(f.ii, swapped)));
}

inline __m128d load(const dcomplex* p) { return _mm_loadu_pd(&p->re); }
inline void store(dcomplex* p, __m128d x) { _mm_storeu_pd(&p->re, x); }

// Single entries, the same rounding as x + a*b and x - a*b written out.
inline dcomplex add_product(dcomplex x, dcomplex a, dcomplex b) {
  dcomplex r;
  store(&r, multiply_add(load(&x), split_factor(a), load(&b)));
  return r;
}
inline dcomplex subtract_product(dcomplex x, dcomplex a, dcomplex b) {
  const __m128d u = load(&b);
  const SplitFactor f = split_factor(a);
  const __m128d swapped = _mm_shuffle_pd(u, u, 1);
  dcomplex r;
  store(&r, _mm_sub_pd(load(&x), _mm_add_pd(_mm_mul_pd(f.rr, u), _mm_mul_pd(f.ii, swapped))));
  return r;
}

template <int G>
inline void update_pass_sse2(dcomplex* row1, const std::int32_t* cols, std::int32_t count,
                             const dcomplex* const* u, const dcomplex* lk) {
  SplitFactor f[G];
  const dcomplex* ut[G];
#pragma GCC unroll 8
  for (int t = 0; t < G; ++t) {
    f[t] = split_factor(lk[t]);
    ut[t] = u[t];
  }
  std::int32_t s = 0;
  for (; s + 4 <= count; s += 4) {
    dcomplex* p0 = row1 + (cols[s] - 1);
    dcomplex* p1 = row1 + (cols[s + 1] - 1);
    dcomplex* p2 = row1 + (cols[s + 2] - 1);
    dcomplex* p3 = row1 + (cols[s + 3] - 1);
    __m128d x0 = load(p0);
    __m128d x1 = load(p1);
    __m128d x2 = load(p2);
    __m128d x3 = load(p3);
#pragma GCC unroll 8
    for (int t = 0; t < G; ++t) {
      x0 = multiply_add(x0, f[t], load(ut[t] + s));
      x1 = multiply_add(x1, f[t], load(ut[t] + s + 1));
      x2 = multiply_add(x2, f[t], load(ut[t] + s + 2));
      x3 = multiply_add(x3, f[t], load(ut[t] + s + 3));
    }
    store(p0, x0);
    store(p1, x1);
    store(p2, x2);
    store(p3, x3);
  }
  for (; s < count; ++s) {
    dcomplex* p0 = row1 + (cols[s] - 1);
    __m128d x0 = load(p0);
#pragma GCC unroll 8
    for (int t = 0; t < G; ++t) x0 = multiply_add(x0, f[t], load(ut[t] + s));
    store(p0, x0);
  }
}

// Rows of a block of R work rows held side by side: entry (col, r) of the
// block is w1[(col - 1)*block_rows + r], r = 0..R-1.  The pass adds
//   w(cols[s], r) := w(cols[s], r) + lk[r][0]*u[0][s] + ... + lk[r][G-1]*u[G-1][s]
// for every row r, the additions of each entry in that order; one load
// and one swap of u[t][s] serve all R rows.
inline constexpr int block_rows = 4;
inline constexpr int group_max = 4;

template <int R, int G>
inline void block_pass_sse2(dcomplex* w1, const std::int32_t* cols, std::int32_t count,
                            const dcomplex* const* u, const dcomplex (*lk)[group_max]) {
  constexpr int E = R == 1 ? 4 : R == 2 ? 2 : 1;  // entries per step
  SplitFactor f[R][G];
  const dcomplex* ut[G];
#pragma GCC unroll 8
  for (int r = 0; r < R; ++r) {
#pragma GCC unroll 8
    for (int t = 0; t < G; ++t) f[r][t] = split_factor(lk[r][t]);
  }
#pragma GCC unroll 8
  for (int t = 0; t < G; ++t) ut[t] = u[t];
  std::int32_t s = 0;
  for (; s + E <= count; s += E) {
    dcomplex* p[E];
    __m128d x[E][R];
#pragma GCC unroll 8
    for (int e = 0; e < E; ++e) {
      p[e] = w1 + (static_cast<std::ptrdiff_t>(cols[s + e]) - 1) * block_rows;
#pragma GCC unroll 8
      for (int r = 0; r < R; ++r) x[e][r] = load(p[e] + r);
    }
#pragma GCC unroll 8
    for (int t = 0; t < G; ++t) {
#pragma GCC unroll 8
      for (int e = 0; e < E; ++e) {
        const __m128d v = load(ut[t] + s + e);
        const __m128d swapped = _mm_shuffle_pd(v, v, 1);
#pragma GCC unroll 8
        for (int r = 0; r < R; ++r)
          x[e][r] = _mm_add_pd(x[e][r], _mm_add_pd(_mm_mul_pd(f[r][t].rr, v),
                                                   _mm_mul_pd(f[r][t].ii, swapped)));
      }
    }
#pragma GCC unroll 8
    for (int e = 0; e < E; ++e) {
#pragma GCC unroll 8
      for (int r = 0; r < R; ++r) store(p[e] + r, x[e][r]);
    }
  }
  for (; s < count; ++s) {
    dcomplex* p0 = w1 + (static_cast<std::ptrdiff_t>(cols[s]) - 1) * block_rows;
    __m128d x[R];
#pragma GCC unroll 8
    for (int r = 0; r < R; ++r) x[r] = load(p0 + r);
#pragma GCC unroll 8
    for (int t = 0; t < G; ++t) {
      const __m128d v = load(ut[t] + s);
      const __m128d swapped = _mm_shuffle_pd(v, v, 1);
#pragma GCC unroll 8
      for (int r = 0; r < R; ++r)
        x[r] = _mm_add_pd(x[r], _mm_add_pd(_mm_mul_pd(f[r][t].rr, v), _mm_mul_pd(f[r][t].ii, swapped)));
    }
#pragma GCC unroll 8
    for (int r = 0; r < R; ++r) store(p0 + r, x[r]);
  }
}

}  // namespace sparse
