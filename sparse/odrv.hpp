// Ordering driver (the generic body of sodrv, dodrv, codrv, zodrv).
//
// path 1: minimum-degree ordering into p (new -> old) and ip (old -> new);
// path 2: the ordering, then the symmetric reordering of a symmetrically
//         stored matrix into the upper triangle of the new order;
// path 3: that reordering alone, with the permutation given in ip;
// paths 4, 5: as 2, 3, each row's diagonal entry moved to its front.
// nsp counts integer words of isp.  flag = 0 on success, 11n + 1 for a path
// outside 1..5, 10n + 1 when the partition leaves no room, 9n + vi from
// the ordering.
//
// Partition of isp for the ordering: v = isp(1..max), link =
// isp(max+1..2max), head = isp(2max+1..2max+n), max = (nsp - n) div 2;
// mark shares v.  The reordering takes its per-row counts at
// isp(tmp..tmp+n-1), tmp = nsp + 1 - n, and its per-entry destinations in
// the nnz words just below.
#pragma once

#include <cstdint>

#include "sparse/families.hpp"
#include "sparse/md.hpp"
#include "sparse/sro.hpp"
#include "sparse/work_block.hpp"

namespace sparse {

template <class V>
void odrv(const std::int32_t& n, std::int32_t* ia, std::int32_t* ja, V* a, std::int32_t* p,
          std::int32_t* ip, const std::int32_t& nsp, std::int32_t* isp, const std::int32_t& path,
          std::int32_t& flag) {
  flag = 0;
  if (path < 1 || path > 5) {
    flag = 11 * n + 1;
    return;
  }

  if (path == 1 || path == 2 || path == 4) {
    const std::int32_t max = (nsp - n) / 2;
    if (max < n) {
      flag = 10 * n + 1;
      return;
    }
    std::int32_t* w = begin_region(isp, std::int64_t{2} * max + n);
    std::int32_t* v = w;
    std::int32_t* link = w + max;
    std::int32_t* head = w + 2 * static_cast<std::int64_t>(max);
    md(n, ia, ja, max, v, link, head, p, ip, v, flag);
    if (flag != 0) return;
  }

  if (path >= 2) {
    const std::int32_t nnz = ia[n] - 1;
    const std::int32_t tmp = nsp + 1 - n;
    const std::int32_t qq = tmp - nnz;
    if (qq < 1) {
      flag = 10 * n + 1;
      return;
    }
    const bool dflag = path == 4 || path == 5;
    std::int32_t* w = begin_region(word_at(isp, qq), std::int64_t{nnz} + n);
    std::int32_t* r = w;
    std::int32_t* q = w + nnz;
    sro(n, ip, ia, ja, a, q, r, dflag);
  }
}

}  // namespace sparse
