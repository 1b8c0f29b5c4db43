// Symbolic LDU factorisation (the generic body of snsf, dnsf, cnsf, znsf).
//
// From the pattern of the permuted matrix M(k, m) = A(r(k), c(m)) alone,
// finds the strict lower pattern il/jl and the strict upper pattern iu/ju
// of its factors, row by row, each row's columns ascending.  Integers only.
//
// Row k, in outline:
//   list  = sorted pattern of row r(k) of A, in permuted columns
//           (q: q(n+1) is the head, q(i) the successor of i, n+1 the end)
//   for each member i < k, ascending:             -- row k of L
//       append i to jl
//       merge the columns of row i of U up to im(i) into the list
//           (forward-only search: U rows are ascending; members < k added
//           here are met later in this same walk)
//       if row i of U holds k, im(i) = that position: later rows need row
//       i only up to column k, the rest reaches them through row k
//   the walk must stop at k itself (else no pivot position: 5n + k)
//   members > k are row k of U; im(k) = its last position
// flag: 0; n + r(k) empty row; 2n + r(k) repeated column (or a column
// outside 1..n, which would index past the permutation); 3n + k no room
// in jl (jlmax words); 5n + k null pivot; 6n + k no room in ju (jumax).
#pragma once

#include <cstdint>

#include "sparse/families.hpp"

namespace sparse {

inline void nsf(const std::int32_t& n, const std::int32_t* r_, const std::int32_t* ic_,
                const std::int32_t* ia_, const std::int32_t* ja_, std::int32_t* il_,
                std::int32_t* jl_, const std::int32_t& jlmax, std::int32_t* iu_,
                std::int32_t* ju_, const std::int32_t& jumax, std::int32_t* q_,
                std::int32_t* im_, std::int32_t& flag) {
  const auto r = one_based(r_);
  const auto ic = one_based(ic_);
  const auto ia = one_based(ia_);
  const auto ja = one_based(ja_);
  const auto il = one_based(il_);
  const auto jl = one_based(jl_);
  const auto iu = one_based(iu_);
  const auto ju = one_based(ju_);
  const auto q = one_based(q_);
  const auto im = one_based(im_);

  const std::int32_t np1 = n + 1;
  std::int32_t jlptr = 0;
  std::int32_t juptr = 0;
  il(1) = 1;
  iu(1) = 1;

  for (std::int32_t k = 1; k <= n; ++k) {
    // --- Sorted list of the row's permuted columns
    q(np1) = np1;
    const std::int32_t rk = r(k);
    const std::int32_t jmin = ia(rk);
    const std::int32_t jmax = ia(rk + 1) - 1;
    if (jmin > jmax) {
      flag = n + rk;
      return;
    }
    for (std::int32_t j = jmin; j <= jmax; ++j) {
      // a column outside 1..n has no place in the permutation: the row is
      // malformed like one with a repeated column
      const std::int32_t col = ja(j);
      if (col < 1 || col > n) {
        flag = 2 * n + rk;
        return;
      }
      const std::int32_t vj = ic(col);
      std::int32_t m = np1;
      while (q(m) < vj) m = q(m);
      if (q(m) == vj) {
        flag = 2 * n + rk;
        return;
      }
      q(vj) = q(m);
      q(m) = vj;
    }

    // --- Row k of L, with the fill from the U rows it eliminates
    std::int32_t i = np1;
    for (;;) {
      i = q(i);
      if (i >= k) break;
      ++jlptr;
      if (jlptr > jlmax) {
        flag = 3 * n + k;
        return;
      }
      jl(jlptr) = i;
      std::int32_t m = i;
      const std::int32_t umin = iu(i);
      const std::int32_t umax = im(i);
      for (std::int32_t j = umin; j <= umax; ++j) {
        const std::int32_t vj = ju(j);
        if (vj == k) im(i) = j;
        while (q(m) < vj) m = q(m);
        if (q(m) != vj) {
          q(vj) = q(m);
          q(m) = vj;
        }
        m = vj;
      }
    }
    if (i != k) {
      flag = 5 * n + k;
      return;
    }

    // --- Row k of U
    for (;;) {
      i = q(i);
      if (i > n) break;
      ++juptr;
      if (juptr > jumax) {
        flag = 6 * n + k;
        return;
      }
      ju(juptr) = i;
    }
    im(k) = juptr;
    il(k + 1) = jlptr + 1;
    iu(k + 1) = juptr + 1;
  }
  flag = 0;
}

}  // namespace sparse
