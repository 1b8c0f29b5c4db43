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

// The arrays of one factorisation as views from element 1 (a(i) is
// element i), made once by nnf and handed to its steps, which bind them by
// these names in this order.
template <class V>
struct NnfArrays {
  Array1<const std::int32_t> r, ic, ia, ja;
  Array1<const V> a, b;
  Array1<const std::int32_t> il, jl, iu, ju;
  Array1<V> l, d, u, row, tmp;
};

// The block of work rows k0..k0+nr-1 of the fast path and the steps that
// eliminate it (see "Blocks" above).  State of the block:
//   pos[t], lend[t]: next and last L position of row t = k - k0;
//   sum[t]: the row's forward substitution so far;
//   lk[t][m]: -l of member m of the group being applied, per row;
//   ut[m]: where member m's row of U meets the group's shared tail.
// The work rows live in the caller's scratch: entry (col, t) at
// w1[(col - 1)*block_rows + t].
template <class V>
class RowBlock {
 public:
  RowBlock(const std::int32_t& n, const NnfArrays<V>& f, FactorScratch& scratch)
      : n_(n), f_(f), chain_(one_based(static_cast<const std::int32_t*>(scratch.chain))),
        w1_(begin_region(reinterpret_cast<V*>(scratch.rows), std::int64_t{n} * block_rows)),
        passes_(scratch.kernel) {}

  // --- Clear the work rows on their patterns, scatter rows r(k)
  void scatter(std::int32_t k0) {
    const auto& [r, ic, ia, ja, a, b, il, jl, iu, ju, l, d, u, row, tmp] = f_;  // NnfArrays' order
    k0_ = k0;
    nr_ = n_ - k0 + 1 < block_rows ? n_ - k0 + 1 : block_rows;
    for (std::int32_t t = 0; t < nr_; ++t) {
      const std::int32_t k = k0 + t;
      pos_[t] = il(k);
      lend_[t] = il(k + 1) - 1;
      for (std::int32_t j = il(k); j <= lend_[t]; ++j) w(jl(j), t) = zero_value<V>();
      w(k, t) = zero_value<V>();
      for (std::int32_t j = iu(k); j < iu(k + 1); ++j) w(ju(j), t) = zero_value<V>();
      const std::int32_t rk = r(k);
      for (std::int32_t j = ia(rk); j < ia(rk + 1); ++j) w(ic(ja(j)), t) = a(j);
      sum_[t] = b(rk);
    }
  }

  // --- Eliminate the rows of U below k0: the lowest column any row still
  // holds, for all rows at once when every row holds it, else for those
  // that do.
  void eliminate_below() {
    for (;;) {
      std::int32_t i = n_ + 1;
      bool all = true;
      for (std::int32_t t = 0; t < nr_; ++t) {
        const std::int32_t h = head(t);
        if (h != i && t > 0) all = false;
        if (h < i) i = h;
      }
      if (i > n_) break;
      if (all) {
        apply_to_all(i);
      } else {
        apply_to_holders(i);
      }
    }
  }

  // --- Each row in turn: pivot and row of U, then that row of U to the
  // later rows of the block (each row's updates stay in ascending order;
  // a row's own entries from this block have all been applied when its
  // turn comes, so the loop below finds nothing left in that case).
  // false, with flag = 8n + k, at a zero pivot.
  bool finish_rows(std::int32_t& flag) {
    const auto& [r, ic, ia, ja, a, b, il, jl, iu, ju, l, d, u, row, tmp] = f_;  // NnfArrays' order
    for (std::int32_t t = 0; t < nr_; ++t) {
      const std::int32_t k = k0_ + t;
      while (pos_[t] <= lend_[t]) {
        const std::int32_t i = jl(pos_[t]);
        const std::int32_t g = group_length(t, pos_[t], i, k);
        finish_members(t, i, g);
        apply(1, g, t, i);
        pos_[t] += g;
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
        flag = 8 * n_ + k;
        return false;
      }
      const V dk = pivot_reciprocal(pivot);
      d(k) = dk;
      tmp(k) = sum_[t] * dk;
      for (std::int32_t j = iu(k); j < iu(k + 1); ++j) {
        const V x = w(ju(j), t);
        row(ju(j)) = x;
        u(j) = x * dk;
      }
      pass_row_on(t, k);
    }
    return true;
  }

 private:
  // entry (col, t) of the block of work rows
  V& w(std::int32_t col, std::int32_t t) const {
    return w1_[(static_cast<std::ptrdiff_t>(col) - 1) * block_rows + t];
  }

  // next L column below k0 of row t, n + 1 when none is left
  std::int32_t head(std::int32_t t) const {
    return pos_[t] <= lend_[t] && f_.jl(pos_[t]) < k0_ ? f_.jl(pos_[t]) : n_ + 1;
  }

  // Length of the group starting at L position p of row t with column i:
  // consecutive chained columns below `limit`.
  std::int32_t group_length(std::int32_t t, std::int32_t p, std::int32_t i, std::int32_t limit) const {
    std::int32_t g = 1;
    while (g < group_max && p + g <= lend_[t] && f_.jl(p + g) == i + g && i + g < limit && chain_(i + g - 1) != 0)
      ++g;
    return g;
  }

  // Finishes the members i..i+g-1 of a group in row t: each takes the
  // updates of the members before it, then becomes -l.
  void finish_members(std::int32_t t, std::int32_t i, std::int32_t g) {
    const auto& [r, ic, ia, ja, a, b, il, jl, iu, ju, l, d, u, row, tmp] = f_;  // NnfArrays' order
    for (std::int32_t m = 0; m < g; ++m) {
      V x = w(i + m, t);
      for (std::int32_t q = 0; q < m; ++q) x = add_product(x, lk_[t][q], u(iu(i + q) + (m - 1 - q)));
      w(i + m, t) = x;
      lk_[t][m] = -x;
      sum_[t] = add_product(sum_[t], lk_[t][m], tmp(i + m));
    }
    for (std::int32_t q = 0; q < g; ++q) ut_[q] = u.at(iu(i + q) + (g - 1 - q));
  }

  // One pass of the group i..i+g-1 over the shared tail of U (the row of
  // U of its last member) into `rows` rows of the block from row t.
  void apply(std::int32_t rows, std::int32_t g, std::int32_t t, std::int32_t i) {
    const auto& iu = f_.iu;
    passes_(rows, g, w1_ + t, f_.ju.at(iu(i + g - 1)), iu(i + g) - iu(i + g - 1), ut_, lk_ + t);
  }

  // Column i held by every row: one group for all of them.
  void apply_to_all(std::int32_t i) {
    const auto& [r, ic, ia, ja, a, b, il, jl, iu, ju, l, d, u, row, tmp] = f_;  // NnfArrays' order
    std::int32_t g = group_length(0, pos_[0], i, k0_);
    for (std::int32_t t = 1; t < nr_; ++t) {
      const std::int32_t gt = group_length(t, pos_[t], i, k0_);
      if (gt < g) g = gt;
    }
    // the rows of U of an entry a few steps on lie far from this one:
    // ask for their first lines now
    const std::int32_t ahead = pos_[0] + g + 4;
    if (ahead <= lend_[0]) {
      const std::int32_t ia_ = jl(ahead);
      __builtin_prefetch(u.at(iu(ia_)));
      __builtin_prefetch(ju.at(iu(ia_)));
      __builtin_prefetch(tmp.at(ia_));
    }
    for (std::int32_t t = 0; t < nr_; ++t) finish_members(t, i, g);
    apply(nr_, g, 0, i);
    for (std::int32_t t = 0; t < nr_; ++t) pos_[t] += g;
  }

  // Column i held by some rows only: together when they are adjacent in
  // the block, else each alone; groups stop before the next column of the
  // other rows.
  void apply_to_holders(std::int32_t i) {
    std::int32_t next = k0_;
    std::int32_t first = nr_, last = -1, holders = 0;
    for (std::int32_t t = 0; t < nr_; ++t) {
      const std::int32_t h = head(t);
      if (h != i && h < next) next = h;
      if (h != i) continue;
      if (t < first) first = t;
      last = t;
      ++holders;
    }
    if (holders > 1 && holders == last - first + 1) {
      std::int32_t g = group_length(first, pos_[first], i, next);
      for (std::int32_t t = first + 1; t <= last; ++t) {
        const std::int32_t gt = group_length(t, pos_[t], i, next);
        if (gt < g) g = gt;
      }
      for (std::int32_t t = first; t <= last; ++t) finish_members(t, i, g);
      apply(holders, g, first, i);
      for (std::int32_t t = first; t <= last; ++t) pos_[t] += g;
    } else {
      for (std::int32_t t = first; t <= last; ++t) {
        if (head(t) != i) continue;
        const std::int32_t g = group_length(t, pos_[t], i, next);
        finish_members(t, i, g);
        apply(1, g, t, i);
        pos_[t] += g;
      }
    }
  }

  // --- Row k (row t of the block) of U to the later rows of the block
  // that hold column k: together when they all do, else each alone.
  void pass_row_on(std::int32_t t, std::int32_t k) {
    const auto& jl = f_.jl;
    std::int32_t holders = 0;
    for (std::int32_t t2 = t + 1; t2 < nr_; ++t2)
      if (pos_[t2] <= lend_[t2] && jl(pos_[t2]) == k) ++holders;
    if (holders == 0) return;
    if (holders == nr_ - 1 - t) {
      for (std::int32_t t2 = t + 1; t2 < nr_; ++t2) {
        finish_members(t2, k, 1);
        ++pos_[t2];
      }
      apply(holders, 1, t + 1, k);
    } else {
      for (std::int32_t t2 = t + 1; t2 < nr_; ++t2) {
        if (pos_[t2] > lend_[t2] || jl(pos_[t2]) != k) continue;
        finish_members(t2, k, 1);
        ++pos_[t2];
        apply(1, 1, t2, k);
      }
    }
  }

  const std::int32_t n_;
  const NnfArrays<V>& f_;
  const Array1<const std::int32_t> chain_;
  V* const w1_;
  const BlockPasses<V> passes_;
  std::int32_t k0_ = 1, nr_ = 0;
  std::int32_t pos_[block_rows];
  std::int32_t lend_[block_rows];
  V sum_[block_rows];
  V lk_[block_rows][group_max];
  const V* ut_[group_max];
};

// Rows 1..n eliminated block_rows at a time side by side (the fast path);
// flag = 8n + k at a zero pivot, else untouched.
template <class V>
void eliminate_in_blocks(const std::int32_t& n, const NnfArrays<V>& f, FactorScratch& scratch,
                         std::int32_t& flag) {
  find_chains(n, f.iu.base, f.ju.base, scratch.chain);
  RowBlock<V> block(n, f, scratch);
  for (std::int32_t k0 = 1; k0 <= n; k0 += block_rows) {
    block.scatter(k0);
    block.eliminate_below();
    if (!block.finish_rows(flag)) return;
  }
}

// Rows 1..n one by one on the work row; flag = 8n + k at a zero pivot,
// else untouched.
template <class V>
void eliminate_row_by_row(const std::int32_t& n, const NnfArrays<V>& f, std::int32_t& flag) {
  const auto& [r, ic, ia, ja, a, b, il, jl, iu, ju, l, d, u, row, tmp] = f;  // NnfArrays' order

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
  const NnfArrays<V> arrays{one_based(r),   one_based(ic),  one_based(ia), one_based(ja),  one_based(a),
                            one_based(b),   il,             one_based(jl), iu,             ju,
                            one_based(l),   one_based(d),   u,             one_based(row), tmp};
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
