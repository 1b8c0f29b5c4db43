// Volume averages of the total stress and the strain of a solved test,
// the quantities every modulus of a harmonic test is a ratio of.
//
// Conventions.  Time dependence exp(+i omega t): the system of a test is
// (K + i omega B) z = f with K, B real symmetric positive semi-definite, so
// a positive imaginary part of a modulus is dissipative and a passive
// sample never gives the other sign.  x is horizontal, z vertical (the
// mesh's y); plane strain, the symmetry axis vertical (a horizontally
// layered sample is transversely isotropic about it).
//
// Total stress.  The elastic energy density of a cell, with theta_i the
// divergence and eps_i the strain of solid i and xi = div w of the fluid,
//   2W = lambda1 theta1^2 + 2 mu1 eps1:eps1 + lambda3 theta3^2 + 2 mu3 eps3:eps3
//      + 2 d3 theta1 theta3 + 2 mu13 eps1:eps3
//      + 2 b1 theta1 xi + 2 b2 theta3 xi + m xi^2,
// gives the stresses of the solids (each carrying its share of the fluid
// pressure p = -(b1 theta1 + b2 theta3 + m xi))
//   sigma1 = (lambda1 theta1 + d3 theta3 + b1 xi) I + 2 mu1 eps1 + mu13 eps3,
//   sigma3 = (lambda3 theta3 + d3 theta1 + b2 xi) I + 2 mu3 eps3 + mu13 eps1.
// The loads act on both solids and no fluid crosses a side, so the work of
// the loads is that of the total stress sigma = sigma1 + sigma3: with the
// test field v1 = v3 = E.x, w' = 0 (E symmetric, admissible in every test
// here) the friction drops out and the discrete equations give exactly
//   integral of sigma : E over the sample = work of the loads on E.x.
// So the volume average of sigma is the applied traction: under the
// vertical piston <sigma_zz> = -2 Pa and <sigma_zz>/<eps_zz> is the
// work-conjugate modulus Mw.  Strains are volume averages too; on a
// bilinear field they reduce to the displacements of the sample's sides.
#pragma once

#include "common/cellmap.hpp"
#include "common/complex.hpp"
#include "driver/readata.hpp"
#include "fem/global_numbering.hpp"

// Volume averages of the total stress and the strain of a solved test;
// gamma_xz = 2 eps_xz.  The strain is the mean of the two solids'.
struct StressStrainAverages {
  dcomplex sigma_xx, sigma_zz, sigma_xz;
  dcomplex eps_xx, eps_zz, gamma_xz;
};

// The averages of the solution z (z[i-1] is unknown i) of a test numbered
// by xnod on the deck's mesh, from the cells' coefficients.
// For a periodic test z holds the fluctuation, and `imposed` is its
// strain.
StressStrainAverages average_stress_strain(const Deck& deck, const CoefficientMaps& coef, const NodeTable& xnod,
                                           const dcomplex* z, const MacroStrain& imposed = MacroStrain{});
