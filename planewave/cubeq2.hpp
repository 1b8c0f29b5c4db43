// Roots of the complex cubic a3*x^3 + a2*x^2 + a1*x + a0 = 0 by Cardano's
// formula: x1, x2, x3 in the order of the three cube-root branches, unsorted.
#pragma once

#include "common/complex.hpp"

void cubeq2(const dcomplex& a3, const dcomplex& a2, const dcomplex& a1, const dcomplex& a0,
            dcomplex& x1, dcomplex& x2, dcomplex& x3);
