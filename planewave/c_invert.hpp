// In-place inverse of the leading n x n block (n <= 5) of a complex matrix
// stored column-major with leading dimension 5: a points to a(1,1), and
// a(i,j) is a[(j-1)*5 + (i-1)].  No pivoting: a zero leading minor gives
// non-finite entries, which are passed on unchanged.
#pragma once

#include <cstdint>

#include "common/complex.hpp"

void c_invert(const std::int32_t& n, dcomplex* a);
