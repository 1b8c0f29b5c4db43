// The scratch of the numeric factorisation's fast path, owned by its caller.
//
// The fast path eliminates block_rows rows side by side and applies chains
// of eliminated rows together (nnf.hpp).  It needs, per unknown, one chain
// mark and block_rows work-row entries.  They live outside the work block,
// so that the block's partition, esp and the error results stay those of
// the plain factorisation.  The caller creates the scratch once (the run's
// work block holds one) and hands it to every factorisation; two threads
// factorise at once with two scratches.  A system of more than `capacity`
// unknowns, or a call without a scratch, is factorised row by row on the
// work block's own row, with the same bits.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/complex.hpp"
#include "sparse/kernels.hpp"

namespace sparse {

struct FactorScratch {
  // The solver's own bound for the fast path (2.2 MB of scratch); pages
  // beyond the system's order are never touched.
  static constexpr std::int32_t capacity = 32768;

  // The vector kernel of the passes: the processor's best at creation.
  Kernel kernel = best_kernel();

  // Forces a kernel (tests and benchmarks); false, and nothing changed,
  // when this build or processor lacks it.
  bool use_kernel(Kernel k) {
    if (!kernel_supported(k)) return false;
    kernel = k;
    return true;
  }

  // chain(i), i = 1..n: chain[i - 1].
  std::int32_t chain[capacity];
  // block_rows work rows of the widest family (double complex), side by
  // side; a family with smaller values uses the front part.
  alignas(64) std::byte rows[std::size_t{capacity} * block_rows * sizeof(dcomplex)];
};

}  // namespace sparse
