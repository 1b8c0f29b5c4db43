// Kuster-Toksoz effective moduli of a matrix holding spherical inclusions.
//
// kt: matrix bulk/shear moduli (ak_matrix, xmu_matrix), inclusion bulk/shear
// moduli (ak_incl, xmu_incl) and the volume concentration c of the
// inclusions in; the effective bulk and shear moduli (ak_kt, xmu_kt) out.
// c = 0 gives the matrix, c = 1 the inclusion material.
#pragma once

void kt(const double& ak_matrix, const double& xmu_matrix, const double& ak_incl, const double& xmu_incl,
        const double& c, double& ak_kt, double& xmu_kt);
