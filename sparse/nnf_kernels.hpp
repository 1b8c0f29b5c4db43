// The passes of the numeric factorisation: the update of R work rows
// (1 to 4) by G eliminated rows (1 to 4) at once,
//   w(cols[s], t) := w(cols[s], t) + lk[t][0]*u[0][s] + ... + lk[t][G-1]*u[G-1][s],
// the additions of each entry in that order, each product the plain
// four-multiplication one.  The portable pass is plain C++ for every
// family; the double-complex family also has SSE2 passes here (baseline
// x86-64) and AVX2 passes in nnf_avx2.cpp.
//
// SSE2, with a complex value held as [re, im] in one register:
//   lk*u = [lr, lr]*[ur, ui] + [-li, li]*[ui, ur]
//        = [lr*ur + (-li*ui), lr*ui + li*ur],
// which rounds exactly like (lr*ur - li*ui, lr*ui + li*ur): negation is
// exact and a + (-b) is a - b.  One load and one swap of u[g][s] serve
// all R rows.  All loads of a step come before its stores (the columns of
// a row of U are distinct, so the entries never overlap).
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/complex.hpp"
#include "sparse/kernels.hpp"

#if defined(__x86_64__)
#include <emmintrin.h>
#endif

namespace sparse {

// The portable pass, any family; entry (col, r) of the block is
// w1[(col - 1)*block_rows + r].
template <int R, int G, class V>
inline void block_pass(V* w1, const std::int32_t* cols, std::int32_t count, const V* const* u,
                       const V (*lk)[group_max]) {
  for (std::int32_t s = 0; s < count; ++s) {
    V* p = w1 + (static_cast<std::ptrdiff_t>(cols[s]) - 1) * block_rows;
    for (int r = 0; r < R; ++r) {
      V x = p[r];
      for (int t = 0; t < G; ++t) x = x + lk[r][t] * u[t][s];
      p[r] = x;
    }
  }
}

#if defined(__x86_64__)

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

// One entry per step for R >= 3 (the factors then stay in memory), two
// for R = 2, four for R = 1.
template <int R, int G>
inline void block_pass_sse2(dcomplex* w1, const std::int32_t* cols, std::int32_t count,
                            const dcomplex* const* u, const dcomplex (*lk)[group_max]) {
  constexpr int E = R == 1 ? 4 : R == 2 ? 2 : 1;  // entries per step
  SplitFactor f[R][G];
  const dcomplex* ut[G];
#pragma GCC unroll 4
  for (int r = 0; r < R; ++r) {
#pragma GCC unroll 4
    for (int t = 0; t < G; ++t) f[r][t] = split_factor(lk[r][t]);
  }
#pragma GCC unroll 4
  for (int t = 0; t < G; ++t) ut[t] = u[t];
  std::int32_t s = 0;
  for (; s + E <= count; s += E) {
    dcomplex* p[E];
    __m128d x[E][R];
#pragma GCC unroll 4
    for (int e = 0; e < E; ++e) {
      p[e] = w1 + (static_cast<std::ptrdiff_t>(cols[s + e]) - 1) * block_rows;
#pragma GCC unroll 4
      for (int r = 0; r < R; ++r) x[e][r] = load(p[e] + r);
    }
#pragma GCC unroll 4
    for (int t = 0; t < G; ++t) {
#pragma GCC unroll 4
      for (int e = 0; e < E; ++e) {
        const __m128d v = load(ut[t] + s + e);
        const __m128d swapped = _mm_shuffle_pd(v, v, 1);
#pragma GCC unroll 4
        for (int r = 0; r < R; ++r)
          x[e][r] = _mm_add_pd(x[e][r], _mm_add_pd(_mm_mul_pd(f[r][t].rr, v),
                                                   _mm_mul_pd(f[r][t].ii, swapped)));
      }
    }
#pragma GCC unroll 4
    for (int e = 0; e < E; ++e) {
#pragma GCC unroll 4
      for (int r = 0; r < R; ++r) store(p[e] + r, x[e][r]);
    }
  }
  for (; s < count; ++s) {
    dcomplex* p0 = w1 + (static_cast<std::ptrdiff_t>(cols[s]) - 1) * block_rows;
    __m128d x[R];
#pragma GCC unroll 4
    for (int r = 0; r < R; ++r) x[r] = load(p0 + r);
#pragma GCC unroll 4
    for (int t = 0; t < G; ++t) {
      const __m128d v = load(ut[t] + s);
      const __m128d swapped = _mm_shuffle_pd(v, v, 1);
#pragma GCC unroll 4
      for (int r = 0; r < R; ++r)
        x[r] = _mm_add_pd(x[r], _mm_add_pd(_mm_mul_pd(f[r][t].rr, v), _mm_mul_pd(f[r][t].ii, swapped)));
    }
#pragma GCC unroll 4
    for (int r = 0; r < R; ++r) store(p0 + r, x[r]);
  }
}

#endif  // __x86_64__

}  // namespace sparse
