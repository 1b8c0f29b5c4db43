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
// * Groups: consecutive L entries i, i+1, ..., i+g-1 (g <= 4) whose U rows
//   form a chain, U(i+t) = {i+t+1} + U(i+t+1), are applied together: the
//   entries inside the group are finished one after the other, then one
//   pass over the shared tail of U adds the g updates to each work-row
//   entry in the order t = 0, 1, ..., g-1.
// * Blocks: the rows k0..k0+R-1 (R <= 4) are eliminated side by side in
//   a block of R work rows.  Walking the L entries below k0 of all R rows
//   in ascending order, an entry (or group) present in every row is
//   applied to all of them in one pass, so that each value of U is loaded
//   once for R rows; an entry present in some rows only is applied to
//   those rows together when they are adjacent in the block, else to each
//   alone.  Each row still sees its own updates in ascending
//   order.  Then each row k in turn takes its pivot and its row of U,
//   which goes at once, in one pass, to the later rows of the block that
//   hold column k.  A work-row entry is not changed once its column has
//   been eliminated, so the values of L are stored from the work row when
//   the row is complete, before its pivot is tested; a zero pivot at row k
//   leaves the factors and the work row of the rows after k untouched, as
//   in the row-by-row order (only their block rows have moved on).
// The passes run on the kernel of the caller's scratch (kernels.hpp); every
// kernel rounds alike.  The chain marks and the block of work rows belong
// to the caller's FactorScratch; without one, or for a system larger than
// it holds, the rows are eliminated one by one on the work row, with the
// same bits.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sparse/factor_scratch.hpp"
#include "sparse/families.hpp"
#include "sparse/kernels.hpp"
#include "sparse/nnf_kernels.hpp"
#include "sparse/work_block.hpp"

namespace sparse {

template <int R, class V>
inline void block_pass_g(std::int32_t g, V* w1, const std::int32_t* cols, std::int32_t count,
                         const V* const* u, const V (*lk)[group_max]) {
  switch (g) {
    case 1: block_pass<R, 1>(w1, cols, count, u, lk); break;
    case 2: block_pass<R, 2>(w1, cols, count, u, lk); break;
    case 3: block_pass<R, 3>(w1, cols, count, u, lk); break;
    default: block_pass<R, 4>(w1, cols, count, u, lk); break;
  }
}

// The passes of family V for R rows of the block (1 to 4) and a group of
// g (1 to 4): the portable ones inline, whatever the kernel.
template <class V>
struct BlockPasses {
  explicit BlockPasses(Kernel) {}
  void operator()(std::int32_t rows, std::int32_t g, V* w1, const std::int32_t* cols,
                  std::int32_t count, const V* const* u, const V (*lk)[group_max]) const {
    switch (rows) {
      case 1: block_pass_g<1>(g, w1, cols, count, u, lk); break;
      case 2: block_pass_g<2>(g, w1, cols, count, u, lk); break;
      case 3: block_pass_g<3>(g, w1, cols, count, u, lk); break;
      default: block_pass_g<4>(g, w1, cols, count, u, lk); break;
    }
  }
};

// The double-complex passes: the table of the chosen kernel.
template <>
struct BlockPasses<dcomplex> {
  const PassTable* table;
  explicit BlockPasses(Kernel kernel) : table(&pass_table(kernel)) {}
  void operator()(std::int32_t rows, std::int32_t g, dcomplex* w1, const std::int32_t* cols,
                  std::int32_t count, const dcomplex* const* u,
                  const dcomplex (*lk)[group_max]) const {
    table->pass[rows - 1][g - 1](w1, cols, count, u, lk);
  }
};

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

// The arrays of one factorisation (pointers to element 1), handed to its
// steps.
template <class V>
struct NnfArrays {
  const std::int32_t *r, *ic, *ia, *ja;
  const V *a, *b;
  const std::int32_t *il, *jl, *iu, *ju;
  V *l, *d, *u, *row, *tmp;
};

// Rows 1..n eliminated block_rows at a time side by side (the fast path);
// flag = 8n + k at a zero pivot, else untouched.
template <class V>
void eliminate_in_blocks(const std::int32_t& n, const NnfArrays<V>& f, FactorScratch& scratch,
                         std::int32_t& flag) {
  const auto r = one_based(f.r);
  const auto ic = one_based(f.ic);
  const auto ia = one_based(f.ia);
  const auto ja = one_based(f.ja);
  const auto a = one_based(f.a);
  const auto b = one_based(f.b);
  const auto il = one_based(f.il);
  const auto jl = one_based(f.jl);
  const auto l = one_based(f.l);
  const auto d = one_based(f.d);
  const auto iu = one_based(f.iu);
  const auto ju = one_based(f.ju);
  const auto u = one_based(f.u);
  const auto row = one_based(f.row);
  const auto tmp = one_based(f.tmp);

  find_chains(n, f.iu, f.ju, scratch.chain);
  const auto chain = one_based(static_cast<const std::int32_t*>(scratch.chain));
  V* const w1 = begin_region(reinterpret_cast<V*>(scratch.rows), std::int64_t{n} * block_rows);
  // entry (col, t) of the block of work rows
  const auto w = [w1](std::int32_t col, std::int32_t t) -> V& {
    return w1[(static_cast<std::ptrdiff_t>(col) - 1) * block_rows + t];
  };
  const BlockPasses<V> passes(scratch.kernel);

  for (std::int32_t k0 = 1; k0 <= n; k0 += block_rows) {
    const std::int32_t nr = n - k0 + 1 < block_rows ? n - k0 + 1 : block_rows;
    std::int32_t pos[block_rows];   // next L position of each row
    std::int32_t lend[block_rows];  // last L position of each row
    V sum[block_rows];
    V lk[block_rows][group_max];   // -l of the group members, per row
    const V* ut[group_max];

    // --- Clear the work rows on their patterns, scatter rows r(k)
    for (std::int32_t t = 0; t < nr; ++t) {
      const std::int32_t k = k0 + t;
      pos[t] = il(k);
      lend[t] = il(k + 1) - 1;
      for (std::int32_t j = il(k); j <= lend[t]; ++j) w(jl(j), t) = zero_value<V>();
      w(k, t) = zero_value<V>();
      for (std::int32_t j = iu(k); j < iu(k + 1); ++j) w(ju(j), t) = zero_value<V>();
      const std::int32_t rk = r(k);
      for (std::int32_t j = ia(rk); j < ia(rk + 1); ++j) w(ic(ja(j)), t) = a(j);
      sum[t] = b(rk);
    }

    // Finishes the members i..i+g-1 of a group in row t: each takes the
    // updates of the members before it, then becomes -l.
    const auto finish_members = [&](std::int32_t t, std::int32_t i, std::int32_t g) {
      for (std::int32_t m = 0; m < g; ++m) {
        V x = w(i + m, t);
        for (std::int32_t q = 0; q < m; ++q)
          x = add_product(x, lk[t][q], u(iu(i + q) + (m - 1 - q)));
        w(i + m, t) = x;
        lk[t][m] = -x;
        sum[t] = add_product(sum[t], lk[t][m], tmp(i + m));
      }
      for (std::int32_t q = 0; q < g; ++q) ut[q] = u.at(iu(i + q) + (g - 1 - q));
    };
    // Length of the group starting at L position p of row t with
    // column i: consecutive chained columns below `limit`.
    const auto group_length = [&](std::int32_t t, std::int32_t p, std::int32_t i,
                                  std::int32_t limit) {
      std::int32_t g = 1;
      while (g < group_max && p + g <= lend[t] && jl(p + g) == i + g && i + g < limit &&
             chain(i + g - 1) != 0)
        ++g;
      return g;
    };
    // next L column below k0 of row t, n + 1 when none is left
    const auto head = [&](std::int32_t t) {
      return pos[t] <= lend[t] && jl(pos[t]) < k0 ? jl(pos[t]) : n + 1;
    };

    // --- Eliminate the rows of U below k0
    for (;;) {
      std::int32_t i = n + 1;
      bool all = true;
      for (std::int32_t t = 0; t < nr; ++t) {
        const std::int32_t h = head(t);
        if (h != i && t > 0) all = false;
        if (h < i) i = h;
      }
      if (i > n) break;
      if (all) {
        // in every row: one group for all of them
        std::int32_t g = group_length(0, pos[0], i, k0);
        for (std::int32_t t = 1; t < nr; ++t) {
          const std::int32_t gt = group_length(t, pos[t], i, k0);
          if (gt < g) g = gt;
        }
        // the rows of U of an entry a few steps on lie far from this one:
        // ask for their first lines now
        const std::int32_t ahead = pos[0] + g + 4;
        if (ahead <= lend[0]) {
          const std::int32_t ia_ = jl(ahead);
          __builtin_prefetch(u.at(iu(ia_)));
          __builtin_prefetch(ju.at(iu(ia_)));
          __builtin_prefetch(tmp.at(ia_));
        }
        for (std::int32_t t = 0; t < nr; ++t) finish_members(t, i, g);
        passes(nr, g, w1, ju.at(iu(i + g - 1)), iu(i + g) - iu(i + g - 1), ut, lk);
        for (std::int32_t t = 0; t < nr; ++t) pos[t] += g;
      } else {
        // in some rows only: together when they are adjacent in the
        // block, else each alone; groups stop before the next column of
        // the other rows
        std::int32_t next = k0;
        std::int32_t first = nr, last = -1, holders = 0;
        for (std::int32_t t = 0; t < nr; ++t) {
          const std::int32_t h = head(t);
          if (h != i && h < next) next = h;
          if (h != i) continue;
          if (t < first) first = t;
          last = t;
          ++holders;
        }
        if (holders > 1 && holders == last - first + 1) {
          std::int32_t g = group_length(first, pos[first], i, next);
          for (std::int32_t t = first + 1; t <= last; ++t) {
            const std::int32_t gt = group_length(t, pos[t], i, next);
            if (gt < g) g = gt;
          }
          for (std::int32_t t = first; t <= last; ++t) finish_members(t, i, g);
          passes(holders, g, w1 + first, ju.at(iu(i + g - 1)), iu(i + g) - iu(i + g - 1), ut,
                 lk + first);
          for (std::int32_t t = first; t <= last; ++t) pos[t] += g;
        } else {
          for (std::int32_t t = first; t <= last; ++t) {
            if (head(t) != i) continue;
            const std::int32_t g = group_length(t, pos[t], i, next);
            finish_members(t, i, g);
            passes(1, g, w1 + t, ju.at(iu(i + g - 1)), iu(i + g) - iu(i + g - 1), ut, lk + t);
            pos[t] += g;
          }
        }
      }
    }

    // --- Each row in turn: pivot and row of U, then that row of U to the
    // later rows of the block (each row's updates stay in ascending order;
    // a row's own entries from this block have all been applied when its
    // turn comes, so the loop below finds nothing left in that case)
    for (std::int32_t t = 0; t < nr; ++t) {
      const std::int32_t k = k0 + t;
      while (pos[t] <= lend[t]) {
        const std::int32_t i = jl(pos[t]);
        const std::int32_t g = group_length(t, pos[t], i, k);
        finish_members(t, i, g);
        passes(1, g, w1 + t, ju.at(iu(i + g - 1)), iu(i + g) - iu(i + g - 1), ut,
                      lk + t);
        pos[t] += g;
      }
      // the finished row, also left in the work row as the row-by-row
      // order leaves it
      for (std::int32_t j = il(k); j < il(k + 1); ++j) {
        const V x = w(jl(j), t);
        l(j) = x;
        row(jl(j)) = x;
      }
      const V pivot = w(k, t);
      row(k) = pivot;
      if (is_zero(pivot)) {
        for (std::int32_t j = iu(k); j < iu(k + 1); ++j) row(ju(j)) = w(ju(j), t);
        flag = 8 * n + k;
        return;
      }
      const V dk = pivot_reciprocal(pivot);
      d(k) = dk;
      tmp(k) = sum[t] * dk;
      for (std::int32_t j = iu(k); j < iu(k + 1); ++j) {
        const V x = w(ju(j), t);
        row(ju(j)) = x;
        u(j) = x * dk;
      }

      // --- Row k of U to the later rows of the block that hold column k:
      // together when they all do, else each alone
      std::int32_t holders = 0;
      for (std::int32_t t2 = t + 1; t2 < nr; ++t2)
        if (pos[t2] <= lend[t2] && jl(pos[t2]) == k) ++holders;
      if (holders == 0) continue;
      const std::int32_t ucount = iu(k + 1) - iu(k);
      if (holders == nr - 1 - t) {
        for (std::int32_t t2 = t + 1; t2 < nr; ++t2) {
          finish_members(t2, k, 1);
          ++pos[t2];
        }
        passes(holders, 1, w1 + (t + 1), ju.at(iu(k)), ucount, ut, lk + (t + 1));
      } else {
        for (std::int32_t t2 = t + 1; t2 < nr; ++t2) {
          if (pos[t2] > lend[t2] || jl(pos[t2]) != k) continue;
          finish_members(t2, k, 1);
          ++pos[t2];
          passes(1, 1, w1 + t2, ju.at(iu(k)), ucount, ut, lk + t2);
        }
      }
    }
  }
}

// Rows 1..n one by one on the work row; flag = 8n + k at a zero pivot,
// else untouched.
template <class V>
void eliminate_row_by_row(const std::int32_t& n, const NnfArrays<V>& f, std::int32_t& flag) {
  const auto r = one_based(f.r);
  const auto ic = one_based(f.ic);
  const auto ia = one_based(f.ia);
  const auto ja = one_based(f.ja);
  const auto a = one_based(f.a);
  const auto b = one_based(f.b);
  const auto il = one_based(f.il);
  const auto jl = one_based(f.jl);
  const auto l = one_based(f.l);
  const auto d = one_based(f.d);
  const auto iu = one_based(f.iu);
  const auto ju = one_based(f.ju);
  const auto u = one_based(f.u);
  const auto row = one_based(f.row);
  const auto tmp = one_based(f.tmp);

  for (std::int32_t k = 1; k <= n; ++k) {
    for (std::int32_t j = il(k); j < il(k + 1); ++j) row(jl(j)) = zero_value<V>();
    row(k) = zero_value<V>();
    for (std::int32_t j = iu(k); j < iu(k + 1); ++j) row(ju(j)) = zero_value<V>();
    const std::int32_t rk = r(k);
    for (std::int32_t j = ia(rk); j < ia(rk + 1); ++j) row(ic(ja(j))) = a(j);
    V sum = b(rk);
    for (std::int32_t j = il(k); j < il(k + 1); ++j) {
      const std::int32_t i = jl(j);
      l(j) = row(i);
      const V lki = -row(i);
      sum = add_product(sum, lki, tmp(i));
      for (std::int32_t p = iu(i); p < iu(i + 1); ++p)
        row(ju(p)) = add_product(row(ju(p)), lki, u(p));
    }
    if (is_zero(row(k))) {
      flag = 8 * n + k;
      return;
    }
    const V dk = pivot_reciprocal(row(k));
    d(k) = dk;
    tmp(k) = sum * dk;
    for (std::int32_t j = iu(k); j < iu(k + 1); ++j) u(j) = row(ju(j)) * dk;
  }
}

template <class V>
void nnf(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c_,
         const std::int32_t* ic, const std::int32_t* ia, const std::int32_t* ja, const V* a,
         V* z_, const V* b, const std::int32_t* il_, const std::int32_t* jl, V* l,
         const std::int32_t& lmax, V* d, const std::int32_t* iu_, const std::int32_t* ju_, V* u_,
         const std::int32_t& umax, V* row, V* tmp_, std::int32_t& flag,
         FactorScratch* scratch = nullptr) {
  const auto c = one_based(c_);
  const auto z = one_based(z_);
  const auto il = one_based(il_);
  const auto iu = one_based(iu_);
  const auto ju = one_based(ju_);
  const auto u = one_based(u_);
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

  // --- Elimination with the forward substitution
  const NnfArrays<V> arrays{r, ic, ia, ja, a, b, il_, jl, iu_, ju_, l, d, u_, row, tmp_};
  std::int32_t stop = 0;
  if (scratch != nullptr && n <= FactorScratch::capacity)
    eliminate_in_blocks(n, arrays, *scratch, stop);
  else
    eliminate_row_by_row(n, arrays, stop);
  if (stop != 0) {
    flag = stop;
    return;
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
