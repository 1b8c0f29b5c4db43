// held_unknowns, symmetric_values: the assembled system made symmetric for
// the L D L^T factorisation.
//
// Every element matrix is symmetric, but an unknown held at zero keeps only
// its diagonal in its row while its column keeps the couplings of the rows
// above it; so the assembled matrix is symmetric except in the columns of
// held unknowns. Its held rows say x(c) = rhs(c) / a(c,c) outright, so that
// column's entries in the other rows may move to their right-hand side,
// which leaves a symmetric matrix with the same solution.
//
// held_unknowns: held[c-1] = 1 when row c stores no nonzero value besides
//   its diagonal (and the diagonal is nonzero), else 0; returns how many.
// symmetric_values: for every held c and every row r != c storing (r,c):
//   rhs(r) -= a(r,c) * (rhs(c) / a(c,c)) when rhs(c) != 0 (the assembled
//   loads of held unknowns are zero, so rhs is then untouched), and
//   a(r,c) = 0; the held rows' off-diagonal entries are written as +0 too,
//   so that a(r,c) and a(c,r) then agree bit for bit.
// Compressed rows ia (n+1, in 32 or 64 bits), ja, a, 1-based; rhs n values.
#pragma once

#include <cstdint>

#include "common/complex.hpp"

namespace scalable {

template <class Index>
std::int32_t held_unknowns(std::int32_t n, const Index* ia, const std::int32_t* ja, const dcomplex* a,
                           unsigned char* held);

template <class Index>
void symmetric_values(std::int32_t n, const Index* ia, const std::int32_t* ja, dcomplex* a, dcomplex* rhs,
                      const unsigned char* held);

}  // namespace scalable
