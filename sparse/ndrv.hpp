// Factor/solve driver (the generic body of sndrv, dndrv, cndrv, zndrv).
//
// path 1: symbolic + numeric factorisation and solution;  2: numeric
// factorisation and solution on the structure of an earlier path 1 or 5;
// 3: solution with the factors of an earlier path 1 or 2;  4: the same for
// the transposed system;  5: symbolic factorisation only.
// nsp counts value words of rsp; isp is the same block in integer words
// (lratio per value word).  esp: value words to spare for U (negative: the
// shortfall).  flag is set only by the factorisations and by the driver's
// own errors (11n + 1 bad path, 10n + 1 no room); paths 3 and 4 leave it.
//
// Partition, in integer words of isp:
//   il = 1..n+1,  iu = n+2..2n+2,  jl from 2n+3
//   symbolic phase: jl room jlmax = max div 2 with
//     max = lratio*nsp + 1 - (2n+3) - (n+1) - n; then q (n+1), im (n), and
//     the provisional ju from jutmp = 4n + 4 + jlmax to the end of the block;
//     afterwards ju moves down to follow the used part of jl.
// scratch: the numeric factorisation's fast-path scratch (nnf.hpp); none
// means row by row, with the same results.
// In value words of rsp:
//   l from lv (the first value word wholly after ju), lmax = il(n+1) - 1;
//   d (n), u up to tmp (umax words); tmp = last 2n words, row = last n.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

#include "sparse/factor_scratch.hpp"
#include "sparse/families.hpp"
#include "sparse/nnf.hpp"
#include "sparse/nns.hpp"
#include "sparse/nnt.hpp"
#include "sparse/nsf.hpp"
#include "sparse/work_block.hpp"

namespace sparse {

template <class V>
void ndrv(const std::int32_t& n, const std::int32_t* r, const std::int32_t* c,
          const std::int32_t* ic, const std::int32_t* ia, const std::int32_t* ja, const V* a,
          const V* b, V* z, const std::int32_t& nsp, std::int32_t* isp, V* rsp,
          std::int32_t& esp, const std::int32_t& path, std::int32_t& flag,
          FactorScratch* scratch = nullptr) {
  constexpr std::int32_t lratio = Family<V>::lratio;
  if (path < 1 || path > 5) {
    flag = 11 * n + 1;
    return;
  }

  // iw[w - 1] is integer word w
  std::int32_t* iw = nullptr;
  if (path == 1 || path == 5) {
    // --- Symbolic phase
    const std::int32_t max = lratio * nsp + 1 - (2 * n + 3) - (n + 1) - n;
    std::int32_t jlmax = max / 2;
    const std::int32_t jutmp = 4 * n + 4 + jlmax;
    std::int32_t jumax = lratio * nsp + 1 - jutmp;
    esp = max / lratio;
    if (jlmax <= 0 || jumax <= 0) {
      flag = 10 * n + 1;
      return;
    }
    iw = begin_region(isp, std::int64_t{lratio} * nsp);
    std::int32_t* il = iw;
    std::int32_t* iu = iw + (n + 1);
    std::int32_t* jl = iw + (2 * n + 2);
    std::int32_t* q = jl + jlmax;
    std::int32_t* im = q + (n + 1);
    std::int32_t* ju = iw + (jutmp - 1);
    nsf(n, r, ic, ia, ja, il, jl, jlmax, iu, ju, jumax, q, im, flag);
    if (flag != 0) return;

    // --- Close the gap: ju follows the used part of jl (ascending copy;
    // the target lies below the source)
    jlmax = il[n] - 1;
    jumax = iu[n] - 1;
    // (memmove gives the ascending copy's result for a target below the
    // source, in wide moves)
    std::memmove(jl + jlmax, ju, static_cast<std::size_t>(jumax) * sizeof(std::int32_t));
    // the factor structure alone stays an integer array; the rest of the
    // block is free for the values
    iw = retype_region(isp, std::int64_t{2} * n + 2 + jlmax + jumax);
  } else {
    iw = std::launder(isp);
  }

  // --- Value arrays
  const std::int32_t* il = iw;
  const std::int32_t* iu = iw + (n + 1);
  const std::int32_t* jl = iw + (2 * n + 2);
  const std::int32_t jlmax = il[n] - 1;
  const std::int32_t jup = 2 * n + 3 + jlmax;
  const std::int32_t* ju = iw + (jup - 1);
  const std::int32_t jumax = iu[n] - 1;
  const std::int32_t lv = (jup + jumax - 2 + lratio) / lratio + 1;
  const std::int32_t lmax = jlmax;
  const std::int32_t dv = lv + lmax;
  const std::int32_t uv = dv + n;
  const std::int32_t tmpv = nsp + 1 - 2 * n;
  const std::int32_t rowv = nsp + 1 - n;
  const std::int32_t umax = tmpv - uv;
  esp = umax - jumax;

  if (path == 1 || path == 2) {
    if (umax <= 0) {
      flag = 10 * n + 1;
      return;
    }
    V* vw = begin_region(word_at(rsp, lv), std::int64_t{nsp} - lv + 1);
    nnf(n, r, c, ic, ia, ja, a, z, b, il, jl, vw, lmax, vw + (dv - lv), iu, ju, vw + (uv - lv),
        umax, vw + (rowv - lv), vw + (tmpv - lv), flag, scratch);
  } else if (path == 3 || path == 4) {
    V* vw = std::launder(word_at(rsp, lv));
    if (path == 3) {
      nns(n, r, c, il, jl, vw, vw + (dv - lv), iu, ju, vw + (uv - lv), z, b, vw + (tmpv - lv));
    } else {
      nnt(n, r, c, il, jl, vw, vw + (dv - lv), iu, ju, vw + (uv - lv), z, b, vw + (tmpv - lv));
    }
  }
}

}  // namespace sparse
