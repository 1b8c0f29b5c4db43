// Componentwise backward error of a computed solution z of A z = b:
//
//   omega = max over rows i of |b - A z|_i / (|A| |z| + |b|)_i
//
// (|.| the modulus of every entry).  It is the smallest relative change of
// each single entry of A and b that makes z the exact solution.  The
// factorisation does not pivot, so at extreme inputs it may lose accuracy
// while every value stays finite; the normwise backward error is blind to
// that when the rows of A differ by many orders of magnitude, the
// componentwise one is not.  A row whose residual and denominator are both
// zero counts as exact; a row with a residual but a zero denominator makes
// omega infinite.
//
// One pass over the stored entries of the compressed rows ia, ja, a
// (1-based, order n; the row pointers ia in 32 or 64 bits); nothing is
// modified.
#pragma once

#include <cstdint>

#include "common/complex.hpp"

template <class Index>
double componentwise_backward_error(std::int32_t n, const Index* ia, const std::int32_t* ja, const dcomplex* a,
                                    const dcomplex* b, const dcomplex* z);
