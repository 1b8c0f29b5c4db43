// The run driver.
//
// The sample is a rectangle of nx x ny square cells of side h of a
// three-phase porous rock (mineral frame, ice or shale, water).  Its left,
// right and bottom sides are held against normal displacement of both
// solids, no fluid crosses any side, and the top of both solids carries a
// uniform compressive normal stress of 1 Pa oscillating at the angular
// frequency omega.  The finite-element solution of this harmonic test gives
// the sample's effective complex plane-wave modulus, its phase velocity and
// its attenuation; the analytic plane-wave speeds of every cell's medium are
// computed beside it.
#include "driver/run.hpp"

#include <array>
#include <cmath>
#include <fstream>
#include <string>

#include "common/cellmap.hpp"
#include "common/format.hpp"
#include "common/input.hpp"
#include "common/stop.hpp"
#include "common/units.hpp"
#include "driver/readata.hpp"
#include "driver/timer.hpp"
#include "driver/evaluation.hpp"
#include "fem/global_numbering.hpp"
#include "fem/global_sist.hpp"
#include "medium/check_coefficients.hpp"
#include "medium/e_modulus.hpp"
#include "medium/makematnum.hpp"
#include "medium/mass_visco_coef.hpp"
#include "medium/porosity.hpp"
#include "planewave/veloc_aten.hpp"
#include "sparse/sparse.hpp"

namespace {

// Everything the run holds, sized for the largest mesh, allocated once.
struct RunStorage {
  Deck deck;
  LayerReal size_layer;
  IntMap matnum;
  RealMap phiw, binary_ice;
  // Elastic (Pa), mass (kg/m^3) and friction coefficients of every cell.
  RealMap lambda1, lambda3, mu1, mu3, mu13, b1, b2, m, d3;
  RealMap p11, p12, p13, p22, p23, p33;
  RealMap b11, b12, b22;
  NodeTable xnod;
  // The assembled system in compressed rows, its load and its solution.
  std::array<std::int32_t, max_unknowns + 1> ia;
  std::array<std::int32_t, max_entries> ja;
  std::array<dcomplex, max_entries> avec;
  std::array<dcomplex, max_unknowns> rhs_m;
  std::array<dcomplex, max_unknowns> z;
  std::array<std::int32_t, max_unknowns> c, ic;
  sparse::WorkBlock work;
  ResultFields fields;
};

RunStorage& storage() {
  static RunStorage run;
  return run;
}

// The result files, opened at the start in this order and kept open.
void open_result_files() {
  open_unit(75, "vp_anal.phiw");
  open_unit(76, "vp_eq.phiw");
  open_unit(77, "1000_over_q_eq.phiw");
  open_unit(78, "1000_over_q_anal.phiw");
  open_unit(98, "mod_pressure_p33_ice");
  open_unit(99, "mod_grad_pressure_p33_ice");
  open_unit(30, "real_strain1_map");
  open_unit(31, "imag_strain1_map");
  open_unit(32, "real_strain3_map");
  open_unit(33, "imag_strain3_map");
  open_unit(34, "real_stress_map");
  open_unit(35, "imag_stress_map");
}

// Writes the material map row by row from the bottom and stops at the
// first cell whose layer type lies outside 1..nmat (its records written).
void write_and_check_matnum(const Deck& deck, const IntMap& matnum) {
  open_unit(2, "matnum_p33");
  open_unit(22, "matnum_p33_gnu");
  for (std::int32_t k = 1; k <= deck.ny; ++k) {
    for (std::int32_t j = 1; j <= deck.nx; ++j) {
      record(2, matnum(j, k));
      record(22, j, k, matnum(j, k));
      if (matnum(j, k) < 1 || matnum(j, k) > deck.nmat) {
        record(stdout_unit, "j,k, matnum(j,k) ", j, k, matnum(j, k));
        stop_run(222);
      }
    }
  }
  close_unit(2);
  close_unit(22);
}

// The per-cell map of "binary_ice_gnu.dat": record j, k, value per cell,
// row by row from the bottom; the value is stored by the record's place.
void read_binary_ice(const Deck& deck, RealMap& binary_ice) {
  const std::string name = "binary_ice_gnu.dat";
  std::ifstream file(name);
  if (!file) stop_input("cannot open \"" + name + "\": the per-cell ice map is missing or unreadable");
  LineInput input(file, name);
  for (std::int32_t k = 1; k <= deck.ny; ++k) {
    for (std::int32_t j = 1; j <= deck.nx; ++j) {
      binary_ice(j, k) = input.cell_record_value("the value of cell (" + std::to_string(j) + "," +
                                                 std::to_string(k) + ")");
    }
  }
}

// Point `cycle` of the logarithmic frequency grid fmin..fmax of nfreq
// points.  A grid of one point is fmin itself (the general formula would
// divide 0 by 0 there).
double logarithmic_frequency(const Deck& deck, std::int32_t cycle) {
  if (deck.nfreq == 1) return deck.fmin;
  const float intervals = static_cast<float>(deck.nfreq - 1);
  const double exponent = std::log10(deck.fmin) + (std::log10(deck.fmax) - std::log10(deck.fmin)) *
                                                      static_cast<double>(cycle - 1) / static_cast<double>(intervals);
  return std::pow(10.0, exponent);
}

}  // namespace

void upscale_run(std::istream& parameters) {
  RunStorage& run = storage();
  Deck& deck = run.deck;

  // 1. Result files first, so that every run leaves them, then the clock.
  open_result_files();
  timer();

  // 2. The parameters, echoed; h = domain_size/ny.
  LineInput input(parameters, "standard input");
  readata(input, deck);

  // 3. The layered material map, written and checked.
  makematnum(deck.nx, deck.ny, deck.nl, run.size_layer, deck.h, run.matnum);
  write_and_check_matnum(deck, run.matnum);

  // 4. The per-cell ice map, read in every run.
  read_binary_ice(deck, run.binary_ice);

  // 5. The single pass of the test, at the first frequency of the deck.
  for (std::int32_t cycle = 1; cycle <= 1; ++cycle) {
    // 5.1 Water proportion of every cell.
    porosity(deck.nx, deck.ny, deck.phi_layer, deck.model, run.phiw, run.matnum);
    const double omega = deck.fmin * 6.283185307179586;

    // 5.2 The medium of every cell: elastic, then mass and friction
    //     coefficients.  A coefficient that is not a finite number (a dry
    //     cell, a zero shale proportion or grain size) would make every
    //     later result meaningless, so the run stops on it here.
    e_modulus(deck.nx, deck.ny, run.matnum, deck.phi_a, run.phiw, deck.s3, deck.akf, deck.eta, omega, deck.ak_air,
              deck.xmu_air, deck.ak_s3, deck.xmu_s3, deck.ak_s1, deck.xmu_s1, deck.key_model, run.lambda1,
              run.lambda3, run.mu1, run.mu3, run.mu13, run.b1, run.b2, run.m, run.d3, cycle, run.binary_ice);
    double s1_frac = 0, s3_frac = 0, phi1_frac = 0, phi3_frac = 0;
    mass_visco_coef(deck.nx, deck.ny, run.matnum, deck.phi_a, run.phiw, deck.s3, deck.eta, deck.key_model, deck.ro1,
                    deck.ro2, deck.ro3, deck.capa_1_0, deck.capa_3_0, deck.rs1, deck.rs3, deck.coef_b13, run.p11,
                    run.p12, run.p13, run.p22, run.p23, run.p33, run.b11, run.b12, run.b22, s1_frac, s3_frac,
                    phi1_frac, phi3_frac, run.binary_ice);
    check_coefficients_finite(deck.nx, deck.ny, run.lambda1, run.lambda3, run.mu1, run.mu3, run.mu13, run.b1,
                              run.b2, run.m, run.d3, run.p11, run.p12, run.p13, run.p22, run.p23, run.p33, run.b11,
                              run.b12, run.b22);

    // 5.3 Global numbers of the unknowns of every cell.
    global_numbering(deck.nx, deck.ny, run.xnod);

    // 5.4 Average density of the sample, for the velocities.
    record(stdout_unit, "  computes average density, ");
    const double rob_med = average_density(deck, run.matnum, run.phiw, phi1_frac, phi3_frac);
    record(stdout_unit, "average density rob_med is (kg/m**3)", rob_med);

    const double freq_log = logarithmic_frequency(deck, cycle);
    record(stdout_unit);
    record(stdout_unit, "cycle=", cycle);
    record(stdout_unit, "freq (Hz), omega_fix ", deck.fmin, omega);

    // 5.5 Analytic plane-wave reference of every cell's medium.
    double vp1 = 0, vp2 = 0, vp3 = 0, vs1 = 0, vs2 = 0;
    double thousand_over_qp1 = 0, thousand_over_qp2 = 0, thousand_over_qp3 = 0;
    double thousand_over_qs1 = 0, thousand_over_qs2 = 0;
    veloc_aten(deck.nx, deck.ny, omega, run.p11, run.p12, run.p13, run.p22, run.p23, run.p33, run.b11, run.b12,
               run.b22, run.lambda1, run.lambda3, run.mu1, run.mu3, run.mu13, run.b1, run.b2, run.m, run.d3, vp1, vp2,
               vp3, vs1, vs2, thousand_over_qp1, thousand_over_qp2, thousand_over_qp3, thousand_over_qs1,
               thousand_over_qs2);

    // 5.6 The complex system of the test: element matrices with the
    //     boundary conditions and the top load, assembled in compressed rows.
    global_sist(omega, deck.nx, deck.ny, deck.h, run.xnod, run.lambda1, run.lambda3, run.mu1, run.mu3, run.mu13,
                run.b1, run.b2, run.m, run.d3, run.p11, run.p12, run.p13, run.p22, run.p23, run.p33, run.b11, run.b12,
                run.b22, run.avec.data(), run.ia.data(), run.ja.data(), run.rhs_m.data());
    const std::int32_t n = (6 * deck.nx + 5) * deck.ny + 5 * deck.nx + 4;
    record(stdout_unit, "number of unknowns nodos = ", n);

    // 5.7 Minimum-degree ordering, then factorisation and solution, all in
    //     the one work block.  The same permutation orders rows and columns.
    std::int32_t path = 1, flag = 0, esp = 0;
    const std::int32_t nsp = sparse::WorkBlock::nsp;
    zodrv(n, run.ia.data(), run.ja.data(), run.avec.data(), run.c.data(), run.ic.data(), nsp, run.work.isp(), path,
          flag);
    if (flag != 0) {
      record(stdout_unit, "FLAG=", flag);
      stop_run(9);
    }
    path = 1;
    zndrv(n, run.c.data(), run.c.data(), run.ic.data(), run.ia.data(), run.ja.data(), run.avec.data(),
          run.rhs_m.data(), run.z.data(), nsp, run.work.isp(), run.work.rsp(), esp, path, flag);
    if (flag != 0) {
      record(stdout_unit, "ESP=", esp);
      record(stdout_unit, "FLAG=", flag);
      stop_run(99);
    }

    // 5.8 Volume change, strains, stress, pressure, effective moduli and
    //     all result files.
    const EvaluationInput evaluation{run.matnum, run.lambda1, run.mu1, run.mu13, run.d3, run.b1, run.b2, run.m,
                                     run.xnod, run.z.data(), rob_med, s1_frac, s3_frac, vp1, thousand_over_qp1,
                                     freq_log};
    evaluate_results(deck, evaluation, run.fields);
  }

  // 6. The CPU time of the run, in hours.
  const double hours = timer() / 3600.0;
  record(stdout_unit);
  write_line(stdout_unit, " running time=" + format_f(hours, 15, 6) + "hours");
  stop_run(40);
}
