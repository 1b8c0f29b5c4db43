#include "driver/pass.hpp"

#include <cmath>

#include "common/format.hpp"
#include "common/input.hpp"
#include "common/stop.hpp"
#include "fem/global_sist.hpp"
#include "medium/check_coefficients.hpp"
#include "medium/e_modulus.hpp"
#include "medium/mass_visco_coef.hpp"
#include "medium/porosity.hpp"
#include "planewave/veloc_aten.hpp"
#include "sparse/sparse.hpp"

void read_binary_ice(const Deck& deck, RealMap& binary_ice) {
  read_cell_map("binary_ice_gnu.dat", "the per-cell ice map", "the value", deck.nx, deck.ny, binary_ice);
}

void medium_stage(RunStorage& run, PassScalars& pass) {
  const Deck& deck = run.deck;
  porosity(deck.nx, deck.ny, deck.phi_layer, deck.model, run.phiw, run.matnum);
  e_modulus(deck.nx, deck.ny, run.matnum, deck.phi_a, run.phiw, deck.s3, deck.akf, deck.eta, pass.omega,
            deck.ak_air, deck.xmu_air, deck.ak_s3, deck.xmu_s3, deck.ak_s1, deck.xmu_s1, deck.key_model, run.lambda1,
            run.lambda3, run.mu1, run.mu3, run.mu13, run.b1, run.b2, run.m, run.d3, pass.cycle, run.binary_ice);
  mass_visco_coef(deck.nx, deck.ny, run.matnum, deck.phi_a, run.phiw, deck.s3, deck.eta, deck.key_model, deck.ro1,
                  deck.ro2, deck.ro3, deck.capa_1_0, deck.capa_3_0, deck.rs1, deck.rs3, deck.coef_b13, run.p11,
                  run.p12, run.p13, run.p22, run.p23, run.p33, run.b11, run.b12, run.b22, pass.s1_frac, pass.s3_frac,
                  pass.phi1_frac, pass.phi3_frac, run.binary_ice);
  // A coefficient that is not a finite number (a dry cell, a zero shale
  // proportion or grain size) would make every later result meaningless.
  check_coefficients_finite(deck.nx, deck.ny, run.lambda1, run.lambda3, run.mu1, run.mu3, run.mu13, run.b1, run.b2,
                            run.m, run.d3, run.p11, run.p12, run.p13, run.p22, run.p23, run.p33, run.b11, run.b12,
                            run.b22);
}

void plane_wave_stage(RunStorage& run, PassScalars& pass) {
  veloc_aten(run.deck.nx, run.deck.ny, pass.omega, run.p11, run.p12, run.p13, run.p22, run.p23, run.p33, run.b11,
             run.b12, run.b22, run.lambda1, run.lambda3, run.mu1, run.mu3, run.mu13, run.b1, run.b2, run.m, run.d3,
             pass.vp1, pass.vp2, pass.vp3, pass.vs1, pass.vs2, pass.thousand_over_qp1, pass.thousand_over_qp2,
             pass.thousand_over_qp3, pass.thousand_over_qs1, pass.thousand_over_qs2);
}

void assembly_stage(RunStorage& run, PassScalars& pass) {
  const Deck& deck = run.deck;
  global_sist(pass.omega, deck.nx, deck.ny, deck.h, run.xnod, run.lambda1, run.lambda3, run.mu1, run.mu3, run.mu13,
              run.b1, run.b2, run.m, run.d3, run.p11, run.p12, run.p13, run.p22, run.p23, run.p33, run.b11, run.b12,
              run.b22, run.avec.data(), run.ia.data(), run.ja.data(), run.rhs_m.data());
  pass.n = (6 * deck.nx + 5) * deck.ny + 5 * deck.nx + 4;
}

void solve_stage(RunStorage& run, const PassScalars& pass) {
  // The same permutation orders rows and columns; ordering, factors and
  // solution all live in the one work block.
  const std::int32_t nsp = sparse::WorkBlock::nsp;
  std::int32_t path = 1, flag = 0, esp = 0;
  zodrv(pass.n, run.ia.data(), run.ja.data(), run.avec.data(), run.c.data(), run.ic.data(), nsp, run.work.isp(),
        path, flag);
  if (flag != 0) stop_run(9, record_text("FLAG=", flag));
  path = 1;
  zndrv(pass.n, run.c.data(), run.c.data(), run.ic.data(), run.ia.data(), run.ja.data(), run.avec.data(),
        run.rhs_m.data(), run.z.data(), nsp, run.work.isp(), run.work.rsp(), esp, path, flag);
  if (flag != 0) stop_run(99, record_text("ESP=", esp) + "\n" + record_text("FLAG=", flag));
}

double logarithmic_frequency(const Deck& deck, std::int32_t cycle) {
  if (deck.nfreq == 1) return deck.fmin;  // the general formula would divide 0 by 0
  // The number of intervals enters in single precision; the power is taken
  // in double precision.
  const float intervals = static_cast<float>(deck.nfreq - 1);
  const double exponent = std::log10(deck.fmin) + (std::log10(deck.fmax) - std::log10(deck.fmin)) *
                                                      static_cast<double>(cycle - 1) / static_cast<double>(intervals);
  return std::pow(10.0, exponent);
}
