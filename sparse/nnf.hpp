// Numeric LDU factorisation with solution (the generic body of snnf, dnnf,
// cnnf, znnf).
//
// Factorises the permuted matrix M(k, m) = A(r(k), c(m)) as
// M = (L + D^-1)(I + U) in the patterns il/jl and iu/ju of the symbolic
// factorisation, taking the pivots in order with no search, and solves
// M x = b on the way: the forward substitution is fused into the
// elimination, the back substitution follows.
//   l(j): work-row entry at column jl(j) when that row is eliminated
//         (not divided by a pivot);  d(k) = 1 / pivot of row k;
//   u(j): row k of the eliminated work row at column ju(j), times d(k).
// b is read by unpermuted row, z written by unpermuted column; every read
// of b comes before the first write of z, so they may be one array.
// flag: 0; 4n + 1 when lmax < il(n+1) - 1; 7n + 1 when umax < iu(n+1) - 1;
// 8n + k when the pivot of row k is exactly zero (rows 1..k-1 are then
// complete and z is untouched).
//
// Row k:
//   row := 0 on the pattern of row k;  row := row r(k) of A, scattered
//   sum := b(r(k))
//   for each i in row k of L, ascending:
//       l := row(i);  lki := -row(i);  sum := sum + lki*tmp(i)
//       for each p in row i of U:  row(ju(p)) := row(ju(p)) + lki*u(p)
//   pivot row(k) exactly zero -> 8n + k
//   d(k) := 1/row(k) (scaled division);  tmp(k) := sum*d(k)
//   row k of U := row(ju(j))*d(k)
// Back substitution: tmp(k) := tmp(k) - sum of u(j)*tmp(ju(j)), j
// ascending; z(c(k)) := tmp(k).
//
// Speed, with the same operations in the same order for every entry:
// consecutive L entries i, i+1, ..., i+g-1 (g <= 4) whose U rows form a
// chain, U(i+t) = {i+t+1} + U(i+t+1), are applied as one group: the
// entries inside the group are finished one after the other, then one
// pass over the shared tail of U adds the g updates to each work-row
// entry in the order t = 0, 1, ..., g-1.  The per-family kernels below do
// the passes; the double-complex ones use SSE2.
#pragma once

#include <cstdint>

#include "common/cellmap.hpp"
#include "sparse/families.hpp"
#include "sparse/nnf_kernels.hpp"

namespace sparse {

// row(cols[s]) := row(cols[s]) + lk[0]*u[0][s] + ... + lk[G-1]*u[G-1][s]
// for s = 0..count-1, the additions in that order.  row1 is the work row's
// element 1.
template <int G, class V>
inline void update_pass(V* row1, const std::int32_t* cols, std::int32_t count,
                        const V* const* u, const V* lk) {
  for (std::int32_t s = 0; s < count; ++s) {
    V x = row1[cols[s] - 1];
    for (int t = 0; t < G; ++t) x = x + lk[t] * u[t][s];
    row1[cols[s] - 1] = x;
  }
}

template <>
inline void update_pass<1, dcomplex>(dcomplex* row1, const std::int32_t* cols, std::int32_t count,
                                     const dcomplex* const* u, const dcomplex* lk) {
  update_pass_sse2<1>(row1, cols, count, u, lk);
}
template <>
inline void update_pass<2, dcomplex>(dcomplex* row1, const std::int32_t* cols, std::int32_t count,
                                     const dcomplex* const* u, const dcomplex* lk) {
  update_pass_sse2<2>(row1, cols, count, u, lk);
}
template <>
inline void update_pass<3, dcomplex>(dcomplex* row1, const std::int32_t* cols, std::int32_t count,
                                     const dcomplex* const* u, const dcomplex* lk) {
  update_pass_sse2<3>(row1, cols, count, u, lk);
}
template <>
inline void update_pass<4, dcomplex>(dcomplex* row1, const std::int32_t* cols, std::int32_t count,
                                     const dcomplex* const* u, const dcomplex* lk) {
  update_pass_sse2<4>(row1, cols, count, u, lk);
}

// Room for the chain marks of the groups: one word per unknown.
inline constexpr std::int32_t chain_capacity = max_unknowns;

// chain(i) = 1 when U(i) = {i+1} + U(i+1) (row i+1 continues row i's
// pattern), else 0; for i = 1..n-1, chain(n) = 0.
inline void find_chains(const std::int32_t& n, const std::int32_t* iu_, const std::int32_t* ju_,
                        std::int32_t* chain_) {
  const auto iu = one_based(iu_);
  const auto ju = one_based(ju_);
  const auto chain = one_based(chain_);
  for (std::int32_t i = 1; i < n; ++i) {
    chain(i) = 0;
    const std::int32_t len = iu(i + 1) - iu(i);
    if (len == 0 || len != iu(i + 2) - iu(i + 1) + 1 || ju(iu(i)) != i + 1) continue;
    bool same = true;
    const std::int32_t off = iu(i + 1) - iu(i) - 1;  // shift from row i's tail to row i+1
    for (std::int32_t j = iu(i) + 1; j < iu(i + 1); ++j) {
      if (ju(j) != ju(j + off)) {
        same = false;
        break;
      }
    }
    chain(i) = same ? 1 : 0;
  }
  if (n >= 1) chain(n) = 0;
}

template <class V>
void nnf(const std::int32_t& n, const std::int32_t* r_, const std::int32_t* c_,
         const std::int32_t* ic_, const std::int32_t* ia_, const std::int32_t* ja_, const V* a_,
         V* z_, const V* b_, const std::int32_t* il_, const std::int32_t* jl_, V* l_,
         const std::int32_t& lmax, V* d_, const std::int32_t* iu_, const std::int32_t* ju_, V* u_,
         const std::int32_t& umax, V* row_, V* tmp_, std::int32_t& flag) {
  const auto r = one_based(r_);
  const auto c = one_based(c_);
  const auto ic = one_based(ic_);
  const auto ia = one_based(ia_);
  const auto ja = one_based(ja_);
  const auto a = one_based(a_);
  const auto z = one_based(z_);
  const auto b = one_based(b_);
  const auto il = one_based(il_);
  const auto jl = one_based(jl_);
  const auto l = one_based(l_);
  const auto d = one_based(d_);
  const auto iu = one_based(iu_);
  const auto ju = one_based(ju_);
  const auto u = one_based(u_);
  const auto row = one_based(row_);
  const auto tmp = one_based(tmp_);

  // --- Storage check
  if (il(n + 1) - 1 > lmax) {
    flag = 4 * n + 1;
    return;
  }
  if (iu(n + 1) - 1 > umax) {
    flag = 7 * n + 1;
    return;
  }

  // --- Groups of chained U rows (none when n exceeds the marks' room).
  // The marks are scratch of this fast path alone; they live outside the
  // work block so that its partition, esp and the error results stay those
  // of the plain factorisation.
  static std::int32_t chain_marks[chain_capacity];
  const bool grouping = n <= chain_capacity;
  if (grouping) find_chains(n, iu_, ju_, chain_marks);
  const auto chain = one_based(static_cast<const std::int32_t*>(chain_marks));

  for (std::int32_t k = 1; k <= n; ++k) {
    // --- Clear the work row on the pattern of row k, scatter row r(k)
    const std::int32_t lbeg = il(k);
    const std::int32_t lend = il(k + 1) - 1;
    const std::int32_t ubeg = iu(k);
    const std::int32_t uend = iu(k + 1) - 1;
    for (std::int32_t j = lbeg; j <= lend; ++j) row(jl(j)) = zero_value<V>();
    row(k) = zero_value<V>();
    for (std::int32_t j = ubeg; j <= uend; ++j) row(ju(j)) = zero_value<V>();
    const std::int32_t rk = r(k);
    for (std::int32_t j = ia(rk); j < ia(rk + 1); ++j) row(ic(ja(j))) = a(j);

    // --- Eliminate rows jl(j) of U from the work row
    V sum = b(rk);
    std::int32_t j = lbeg;
    while (j <= lend) {
      const std::int32_t i = jl(j);
      std::int32_t g = 1;
      if (grouping) {
        while (g < 4 && j + g <= lend && jl(j + g) == i + g && chain(i + g - 1) != 0) ++g;
      }
      V lk[4];
      const V* ut[4];
      // members inside the group, finished one after the other
      for (std::int32_t m = 0; m < g; ++m) {
        V x = row(i + m);
        for (std::int32_t t = 0; t < m; ++t) x = add_product(x, lk[t], u(iu(i + t) + (m - 1 - t)));
        row(i + m) = x;
        l(j + m) = x;
        lk[m] = -x;
        sum = add_product(sum, lk[m], tmp(i + m));
      }
      // the shared tail: row i+g-1 of U
      for (std::int32_t t = 0; t < g; ++t) ut[t] = u.at(iu(i + t) + (g - 1 - t));
      const std::int32_t* cols = ju.at(iu(i + g - 1));
      const std::int32_t count = iu(i + g) - iu(i + g - 1);
      switch (g) {
        case 1: update_pass<1>(row_, cols, count, ut, lk); break;
        case 2: update_pass<2>(row_, cols, count, ut, lk); break;
        case 3: update_pass<3>(row_, cols, count, ut, lk); break;
        default: update_pass<4>(row_, cols, count, ut, lk); break;
      }
      j += g;
    }

    // --- Pivot
    if (is_zero(row(k))) {
      flag = 8 * n + k;
      return;
    }
    const V dk = pivot_reciprocal(row(k));
    d(k) = dk;
    tmp(k) = sum * dk;
    for (std::int32_t jj = ubeg; jj <= uend; ++jj) u(jj) = row(ju(jj)) * dk;
  }

  // --- Back substitution
  for (std::int32_t k = n; k >= 1; --k) {
    V sum = tmp(k);
    const std::int32_t uend = iu(k + 1) - 1;
    for (std::int32_t j = iu(k); j <= uend; ++j) sum = subtract_product(sum, u(j), tmp(ju(j)));
    tmp(k) = sum;
    z(c(k)) = sum;
  }
  flag = 0;
}

}  // namespace sparse
