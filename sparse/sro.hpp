// Symmetric reordering of a symmetrically stored matrix (the generic body
// of ssro, dsro, csro, zsro).
//
// Of each off-diagonal pair at most one entry is stored.  The rows keep
// their numbers; an entry moves between rows so that, in the new order ip
// (old -> new), it lies in the upper triangle: entry (i, j) stays in row i
// when ip(j) >= ip(i) and becomes entry (j, i) of row j otherwise.
//   Phase 1: destination row of every entry, q = entries per row.
//   Phase 2: new row pointers; r = destination slot of every entry, rows
//            filled from the back so entries keep their relative order
//            (with dflag a row's diagonal entry goes to its first slot).
//   Phase 3: permute ja and a in place, cycle by cycle.
// q has n words; r has one word per stored entry.
#pragma once

#include <cstdint>

#include "sparse/families.hpp"

namespace sparse {

template <class V>
void sro(const std::int32_t& n, const std::int32_t* ip_, std::int32_t* ia_, std::int32_t* ja_,
         V* a_, std::int32_t* q_, std::int32_t* r_, const bool& dflag) {
  const auto ip = one_based(ip_);
  const auto ia = one_based(ia_);
  const auto ja = one_based(ja_);
  const auto a = one_based(a_);
  const auto q = one_based(q_);
  const auto r = one_based(r_);

  // --- Phase 1: where each entry goes
  for (std::int32_t i = 1; i <= n; ++i) q(i) = 0;
  for (std::int32_t i = 1; i <= n; ++i) {
    const std::int32_t jmin = ia(i);
    const std::int32_t jmax = ia(i + 1) - 1;
    for (std::int32_t j = jmin; j <= jmax; ++j) {
      std::int32_t dest = i;
      const std::int32_t col = ja(j);
      if (ip(col) < ip(i)) {
        dest = col;
        ja(j) = i;
      }
      r(j) = dest;
      ++q(dest);
    }
  }

  // --- Phase 2: new row pointers and each entry's slot
  for (std::int32_t i = 1; i <= n; ++i) {
    ia(i + 1) = ia(i) + q(i);
    q(i) = ia(i + 1);
  }
  std::int32_t ilast = 0;
  const std::int32_t jmin = ia(1);
  const std::int32_t jmax = ia(n + 1) - 1;
  for (std::int32_t j = jmax; j >= jmin; --j) {
    const std::int32_t i = r(j);
    if (dflag && ja(j) == i && i != ilast) {
      r(j) = ia(i);
      ilast = i;
    } else {
      --q(i);
      r(j) = q(i);
    }
  }

  // --- Phase 3: permute in place by cycles
  for (std::int32_t j = jmin; j <= jmax; ++j) {
    while (r(j) != j) {
      const std::int32_t k = r(j);
      r(j) = r(k);
      r(k) = k;
      const std::int32_t jak = ja(j);
      ja(j) = ja(k);
      ja(k) = jak;
      const V ak = a(j);
      a(j) = a(k);
      a(k) = ak;
    }
  }
}

}  // namespace sparse
