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

// Average density of the sample (kg/m^3): the volume mean of every cell's
// own mixture density phi1(j,k)*ro1 + phiw(j,k)*ro2 + phi3(j,k)*ro3, each
// term divided by nx*ny before it is added, cells j outer, k inner.  The
// fractions phi1, phi3 are the cell's own, from its water proportion as the
// coefficient routines left it (so the medium stage must have run).
double average_density(const Deck& deck, const IntMap& matnum, const RealMap& phiw);

// Phase velocity 1 / Re(1 / sqrt(M / rob_med)) of a complex modulus M.
double phase_velocity(const dcomplex& modulus, const double& rob_med);

// The per-cell fields the evaluation fills (fixed storage of the run).
struct ResultFields {
  CellMap<dcomplex> strain1, strain3, stress;
  CellMap<dcomplex> pres, derx_pres, dery_pres;
  CellMap<double> grad_pres_mod;

  void resize(std::int32_t nx, std::int32_t ny) {
    for (CellMap<dcomplex>* map : {&strain1, &strain3, &stress, &pres, &derx_pres, &dery_pres}) map->resize(nx, ny);
    grad_pres_mod.resize(nx, ny);
  }
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
  // The strain a periodic test imposes (zero otherwise): z is then the
  // fluctuation, and every modulus is the average total vertical stress
  // over e_zz.
  MacroStrain imposed{};
};

// The sample's effective response found by the evaluation.
//
// Three moduli, all from the same solution:
//   mstar  from the volume change of solid 1's top alone;
//   c33    from solid 1's averaged vertical stress and strain;
//   mw     the work-conjugate modulus: the total load on the top (both
//          solids) over the load-weighted mean vertical strain of the top,
//          so that the work of the loads is |load|^2/conj(mw) per unit
//          volume.  The system is (K + i omega B) z = f with K and B real,
//          symmetric and positive semi-definite (the elastic energy and the
//          friction of the three phases), which is the time dependence
//          exp(+i omega t).  Then f^T z = z^H K z - i omega z^H B z, and
//          Im mw >= 0: a positive imaginary part is dissipative, and a
//          passive medium never gives the other sign.
struct SampleResults {
  dcomplex mstar;                    // Pa, modulus from the volume change of solid 1
  dcomplex c33;                      // Pa, modulus from the averaged stress and strain
  double velocity_c33 = 0;           // m/s, phase velocity of c33
  double thousand_over_q_c33 = 0;    // attenuation of c33, |Im/Re| * 1000
  double velocity_mstar = 0;         // m/s, phase velocity of mstar
  double thousand_over_q_mstar = 0;  // 1000 Im/Re of mstar, signed
  dcomplex mw;                       // Pa, work-conjugate modulus
  double velocity_w = 0;             // m/s, phase velocity of mw
  double thousand_over_q_w = 0;      // 1000 Im/Re of mw, signed
};

// The work-conjugate modulus of the top load: -2 Pa (1 Pa on each solid)
// over the load-weighted mean vertical strain, top_work / (2 * area), where
// top_work is the sum over the top cells of (h/2) times the vertical
// displacements of both solids at the cell's two upper vertices (the
// weights of the nodal loads) and area the sample's width times its height.
dcomplex work_conjugate_modulus(const dcomplex& top_work, double area);

// Echoes the results on standard output, writes the result tables and the
// per-cell field maps (driver/result_units.hpp), and
// returns the effective moduli with the velocity and attenuation of c33.
SampleResults evaluate_results(const Deck& deck, const EvaluationInput& in, ResultFields& fields);
