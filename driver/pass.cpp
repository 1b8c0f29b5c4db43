#include "driver/pass.hpp"

#include <sys/mman.h>

#include <cmath>
#include <cstdint>

#include "common/format.hpp"
#include "common/input.hpp"
#include "common/stop.hpp"
#include "common/units.hpp"
#include "driver/physical_ranges.hpp"
#include "fem/global_sist.hpp"
#include "medium/check_coefficients.hpp"
#include "medium/e_modulus.hpp"
#include "medium/makematnum.hpp"
#include "medium/mass_visco_coef.hpp"
#include "medium/porosity.hpp"
#include "planewave/veloc_aten.hpp"
#include "sparse/sparse.hpp"

RunStorage& run_storage() {
  // About 200 MB, touched for the first time as the solver fills it.
  // Asking the system for large pages there spares tens of thousands of
  // page faults (a tenth of a run's CPU time); where the system offers
  // none, nothing changes.
  static RunStorage run;
  static const bool advised = [] {
    const std::uintptr_t page = 4096;
    const std::uintptr_t first = (reinterpret_cast<std::uintptr_t>(&run) + page - 1) & ~(page - 1);
    const std::uintptr_t last = (reinterpret_cast<std::uintptr_t>(&run) + sizeof run) & ~(page - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    return true;
  }();
  (void)advised;
  return run;
}

void material_map_stage(RunStorage& run) {
  const Deck& deck = run.deck;
  makematnum(deck.nx, deck.ny, deck.nl, run.size_layer, deck.h, run.matnum);
  open_unit(2, "matnum_p33");
  open_unit(22, "matnum_p33_gnu");
  for (std::int32_t k = 1; k <= deck.ny; ++k) {
    for (std::int32_t j = 1; j <= deck.nx; ++j) {
      record(2, run.matnum(j, k));
      record(22, j, k, run.matnum(j, k));
      if (run.matnum(j, k) < 1 || run.matnum(j, k) > deck.nmat) {
        stop_run(222, record_text("j,k, matnum(j,k) ", j, k, run.matnum(j, k)));
      }
    }
  }
  close_unit(2);
  close_unit(22);
}

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
  // Values no rock can have (a negative density, viscosity or water
  // proportion) that none of the stops above has caught; checked after
  // them, so that every stop of the model keeps its place.
  check_physical_ranges(deck, run.matnum, run.phiw, run.binary_ice);
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
  pass.n = unknown_count(deck.nx, deck.ny);
}

void assembly_pattern_stage(RunStorage& run, PassScalars& pass) {
  global_pattern(run.deck.nx, run.deck.ny, run.xnod, run.ia.data(), run.ja.data(), run.avec.data());
  pass.n = unknown_count(run.deck.nx, run.deck.ny);
}

void assembly_values_stage(RunStorage& run, const PassScalars& pass) {
  const Deck& deck = run.deck;
  global_values(pass.omega, deck.nx, deck.ny, deck.h, run.xnod, run.lambda1, run.lambda3, run.mu1, run.mu3,
                run.mu13, run.b1, run.b2, run.m, run.d3, run.p11, run.p12, run.p13, run.p22, run.p23, run.p33,
                run.b11, run.b12, run.b22, run.avec.data(), run.ia.data(), run.ja.data(), run.rhs_m.data());
}

void solve_stage(RunStorage& run, const PassScalars& pass, Factorisation factorisation) {
  // The same permutation orders rows and columns; ordering, factors and
  // solution all live in the one work block.
  const std::int32_t nsp = sparse::WorkBlock::nsp;
  std::int32_t path = 1, flag = 0, esp = 0;
  if (factorisation == Factorisation::order_and_factor) {
    zodrv(pass.n, run.ia.data(), run.ja.data(), run.avec.data(), run.c.data(), run.ic.data(), nsp,
          run.work.isp(), path, flag);
    if (flag != 0) stop_run(9, record_text("FLAG=", flag));
    path = 1;  // symbolic and numeric factorisation, then the solution
  } else {
    path = 2;  // numeric factorisation on the structure kept in the work block
  }
  zndrv(pass.n, run.c.data(), run.c.data(), run.ic.data(), run.ia.data(), run.ja.data(), run.avec.data(),
        run.rhs_m.data(), run.z.data(), nsp, run.work.isp(), run.work.rsp(), esp, path, flag);
  if (flag != 0) stop_run(99, record_text("ESP=", esp) + "\n" + record_text("FLAG=", flag));
}

SampleResults evaluation_stage(RunStorage& run, const PassScalars& pass) {
  const EvaluationInput evaluation{run.matnum, run.lambda1, run.mu1, run.mu13, run.d3, run.b1, run.b2,
                                   run.m, run.xnod, run.z.data(), pass.rob_med, pass.s1_frac,
                                   pass.s3_frac, pass.vp1, pass.thousand_over_qp1, pass.freq_log};
  return evaluate_results(run.deck, evaluation, run.fields);
}

double angular_frequency(double frequency) { return frequency * 6.283185307179586; }

double logarithmic_frequency(const Deck& deck, std::int32_t cycle) {
  if (deck.nfreq == 1) return deck.fmin;  // the general formula would divide 0 by 0
  // The number of intervals enters in single precision; the power is taken
  // in double precision.
  const float intervals = static_cast<float>(deck.nfreq - 1);
  const double exponent = std::log10(deck.fmin) + (std::log10(deck.fmax) - std::log10(deck.fmin)) *
                                                      static_cast<double>(cycle - 1) / static_cast<double>(intervals);
  return std::pow(10.0, exponent);
}
