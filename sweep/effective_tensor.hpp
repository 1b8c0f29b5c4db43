// The sample's effective complex stiffness from three harmonic tests, and
// the qP and qSV waves it carries at every angle.
//
// Conventions.  Time dependence exp(+i omega t): the system of a test is
// (K + i omega B) z = f with K, B real symmetric positive semi-definite, so
// a positive imaginary part of a modulus is dissipative and a passive
// sample never gives the other sign.  x is horizontal, z vertical (the
// mesh's y); plane strain, the symmetry axis vertical (a horizontally
// layered sample is transversely isotropic about it).
//
// The averages of the total stress and strain: driver/stress_averages.hpp.
//
// The tests (fem/global_numbering.hpp, HarmonicTest) and what they give:
//   vertical   (<eps_xx> = 0):  c33 = <s_zz>/<e_zz>, c13 = <s_xx>/<e_zz>;
//   horizontal (<eps_zz> = 0):  c11 = <s_xx>/<e_xx>, c13h = <s_zz>/<e_xx>;
//   shear      (<eps_zz> = 0):  c55 = <s_xz>/(2 <e_xz>).
// The two c13 agree for any sample, to rounding: the system matrix is
// complex symmetric, so Betti's reciprocity holds between the two tests'
// solutions, and each held side's reaction is the average stress times
// the side's length.  The vertical test's reaction on the right side times
// the horizontal test's plate displacement equals the horizontal test's
// reaction on the top times the vertical piston's displacement, which is
// c13 = c13h.  Their difference checks the assembly and the averages.
//
// Checked against: a homogeneous sample (c11 = c33 = the locked P modulus,
// c55 = mu1 + mu3 + mu13, c13 = c11 - 2 c55, qP and qSV the analytic P1
// and S1 speeds), and a layered one (c33 against the exact layered Mw, the
// high-frequency end against the Backus average of the locked layers, the
// qP and qSV waves at 45 degrees against an independent evaluation of the
// Christoffel equation).
#pragma once

#include <cstdint>

#include "common/cellmap.hpp"
#include "common/complex.hpp"
#include "driver/stress_averages.hpp"

// The effective stiffness (Pa): c13 from the vertical test, c13h from the
// horizontal one.  The periodic tests also give the couplings of normal
// strain and shear, which the closed-wall tests cannot see (they stay
// zero there): c15 = <s_xz>/e_xx and c35 = <s_xz>/e_zz from the horizontal
// and vertical strains, c51 = <s_xx>/gamma_xz and c53 = <s_zz>/gamma_xz
// from the shear; by reciprocity c51 = c15 and c53 = c35.
struct EffectiveStiffness {
  dcomplex c11, c13, c13h, c33, c55;
  dcomplex c15, c35, c51, c53;
  bool periodic = false;
};

EffectiveStiffness effective_stiffness(const StressStrainAverages& vertical, const StressStrainAverages& horizontal,
                                       const StressStrainAverages& shear);

// The full stiffness of a periodic sample in Voigt form from its three
// periodic tests (unit strains e_zz, e_xx and gamma_xz): each test's
// average stress is one column.
EffectiveStiffness periodic_stiffness(const StressStrainAverages& vertical, const StressStrainAverages& horizontal,
                                      const StressStrainAverages& shear);

// The largest relative asymmetry of a periodic stiffness,
// max(|c13 - c13h|, |c15 - c51|, |c35 - c53|) / max |c_ij|: zero to
// rounding by reciprocity.
double reciprocity_difference(const EffectiveStiffness& c);

// |c13 - c13h| / |c13|: zero for a sample symmetric about the vertical
// axis but for the discretisation.
double c13_difference(const EffectiveStiffness& c);

// The qP and qSV waves at `angle` degrees from the vertical.  The 2-D
// Christoffel equation with n = (sin a, cos a),
//   G11 = c11 nx^2 + 2 c15 nx nz + c55 nz^2,
//   G33 = c55 nx^2 + 2 c35 nx nz + c33 nz^2,
//   G13 = c15 nx^2 + (c13 + c55) nx nz + c35 nz^2,
// (c13, c15, c35: the means of their two estimates; c15 = c35 = 0 for a
// sample symmetric about the vertical, whose waves at a and -a are the
// same),
// has the eigenvalues rho V^2 = M = (G11 + G33 +- sqrt((G11 - G33)^2 + 4 G13^2)) / 2,
// + for qP, - for qSV (the principal root has Re >= 0, so qP is the wave
// with the larger real modulus).  From each M, as for every modulus of the
// program: velocity 1 / Re(1 / sqrt(M / rho)), 1000/Q = 1000 Im M / Re M
// (signed).  At 0 degrees the qP modulus is c33, at 90 degrees c11.
struct AngleWaves {
  double velocity_qp = 0, thousand_over_q_qp = 0;
  double velocity_qsv = 0, thousand_over_q_qsv = 0;
};

AngleWaves christoffel_waves(const EffectiveStiffness& c, double rob_med, double angle_degrees);

// The angles of the angle table: 0, step, 2 step, ... up to `last`
// degrees (90, or 180 for a sample that need not be symmetric about the
// vertical; `last` itself included when step divides it).
std::int32_t angle_count(double step_degrees, double last = 90.0);
double angle_at(double step_degrees, std::int32_t i, double last = 90.0);  // i = 0 .. angle_count - 1
