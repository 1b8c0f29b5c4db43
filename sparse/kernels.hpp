// The vector kernels of the double-complex numeric factorisation and how
// one is chosen.
//
// Every kernel does the same pass, with the same products and sums in the
// same order, so every kernel gives the same bits:
//   w(cols[s], r) := w(cols[s], r) + lk[r][0]*u[0][s] + ... + lk[r][G-1]*u[G-1][s]
// for s = 0..count-1 and rows r = 0..R-1 of a block of work rows (R, G in
// 1..4), each product the plain four-multiplication one, no fused
// multiply-add anywhere.
//   portable  plain C++, for any processor
//   sse2      one complex value per 128-bit register (baseline x86-64)
//   avx2      two complex values per 256-bit register, compiled for AVX2
//             without FMA; used only where the processor offers AVX2
// The program is built for the baseline x86-64 target; the best kernel the
// processor offers is found once, and a factorisation scratch starts with
// it.  A caller (tests, benchmarks) may force another supported one on its
// own scratch; nothing process-wide changes.
#pragma once

#include <cstdint>

#include "common/complex.hpp"

namespace sparse {

enum class Kernel { portable, sse2, avx2 };

inline constexpr Kernel all_kernels[] = {Kernel::portable, Kernel::sse2, Kernel::avx2};

// True when this build has the kernel and this processor can run it.
bool kernel_supported(Kernel kernel);
// The fastest supported kernel (found at the first call, fixed from then on).
Kernel best_kernel();
// "portable", "sse2", "avx2".
const char* kernel_name(Kernel kernel);

// The work rows of a block lie side by side: entry (col, r) of the block is
// w1[(col - 1)*block_rows + r], so that the rows of one column share a
// cache line.  A pass updates R <= block_rows rows by G <= group_max
// eliminated rows, with the factors lk[r][0..G-1] of each row r.
inline constexpr int block_rows = 4;
inline constexpr int group_max = 4;

using BlockPass = void (*)(dcomplex* w1, const std::int32_t* cols, std::int32_t count,
                           const dcomplex* const* u, const dcomplex (*lk)[group_max]);

// The passes of one kernel: pass[R - 1][G - 1].
struct PassTable {
  BlockPass pass[block_rows][group_max];
};

// The passes of a kernel; an unsupported one gives the portable passes.
const PassTable& pass_table(Kernel kernel);

// The AVX2 passes (nnf_avx2.cpp); a null pointer in a build without them.
const PassTable* avx2_passes();

}  // namespace sparse
