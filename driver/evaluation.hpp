// Result evaluation of the harmonic compressibility test.
//
// From the solution z (displacements of both solids at the vertices, fluid
// displacement on the edges) the run derives the volume change of the top
// boundary, the per-cell strains, stress and fluid pressure, their averages,
// and two estimates of the sample's effective complex plane-wave modulus
// (mstar from the volume change, c33 from the averaged stress and strain),
// each with its phase velocity, Q and 1000/Q.
#pragma once

#include <cstdint>

#include "common/cellmap.hpp"
#include "common/complex.hpp"
#include "driver/readata.hpp"
#include "fem/global_numbering.hpp"

// Average density of the sample (kg/m^3): every cell's mixture density
// phi1*ro1 + phiw*ro2 + phi3*ro3 (phi1, phi3 of the last cell of the
// coefficient routines), each term divided by nx*ny before it is added,
// cells j outer, k inner.
double average_density(const Deck& deck, const IntMap& matnum, const RealMap& phiw, const double& phi1_frac,
                       const double& phi3_frac);

// Phase velocity 1 / Re(1 / sqrt(M / rob_med)) of a complex modulus M.
double phase_velocity(const dcomplex& modulus, const double& rob_med);

// The per-cell fields the evaluation fills (fixed storage of the run).
struct ResultFields {
  CellMap<dcomplex> strain1, strain3, stress;
  CellMap<dcomplex, 160> pres, derx_pres, dery_pres;
  CellMap<double, 160> grad_pres_mod;
};

// What evaluate_results reads besides the deck and the solution.
struct EvaluationInput {
  const IntMap& matnum;
  const CoefficientMaps& coef;  // lambda1, mu1, mu13, d3 (stress), b1, b2, m (pressure)
  const NodeTable& xnod;
  const dcomplex* z;  // solution, z[i-1] is unknown i
  double rob_med;
  double s1_frac, s3_frac;     // solid matrix fractions of the last coefficient cell
  double vp1, thousand_over_qp1;  // analytic reference of the last cell
  double freq_log;
};

// The sample's effective response found by the evaluation.
struct SampleResults {
  dcomplex mstar;                    // Pa, modulus from the volume change of solid 1
  dcomplex c33;                      // Pa, modulus from the averaged stress and strain
  double velocity_c33 = 0;           // m/s, phase velocity of c33
  double thousand_over_q_c33 = 0;    // attenuation of c33
};

// Echoes the results on standard output, writes the result tables and the
// per-cell field maps (driver/result_units.hpp), and
// returns the effective moduli with the velocity and attenuation of c33.
SampleResults evaluate_results(const Deck& deck, const EvaluationInput& in, ResultFields& fields);
