// Eigenvalues of a complex 3 x 3 matrix: a is column-major with leading
// dimension 3 (a(i,j) at a[(j-1)*3 + (i-1)]); eig[0..2] receive the three
// eigenvalues in the order of the cubic solver's roots.
#pragma once

#include "common/complex.hpp"

void cautov(const dcomplex* a, dcomplex* eig);
