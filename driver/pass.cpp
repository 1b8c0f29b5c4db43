#include "driver/pass.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "common/format.hpp"
#include "common/input.hpp"
#include "common/stop.hpp"
#include "common/units.hpp"
#include "driver/band_ranks.hpp"
#include "driver/result_units.hpp"
#include "driver/physical_ranges.hpp"
#include "driver/refine.hpp"
#include "fem/geometric_order.hpp"
#include "fem/global_sist.hpp"
#include "medium/check_coefficients.hpp"
#include "medium/e_modulus.hpp"
#include "medium/makematnum.hpp"
#include "medium/mass_visco_coef.hpp"
#include "medium/porosity.hpp"
#include "planewave/veloc_aten.hpp"
#include "scalable/symmetric_values.hpp"
#include "sparse/backward_error.hpp"
#include "sparse/sparse.hpp"
#include "sparse/structure_copy.hpp"

void material_map_stage(RunStorage& run) {
  const Deck& deck = run.deck;
  makematnum(deck.nx, deck.ny, deck.nl, run.size_layer, deck.h, run.matnum);
  open_unit(result_unit::matnum, "matnum_p33");
  open_unit(result_unit::matnum_gnu, "matnum_p33_gnu");
  for (std::int32_t k = 1; k <= deck.ny; ++k) {
    for (std::int32_t j = 1; j <= deck.nx; ++j) {
      record(result_unit::matnum, run.matnum(j, k));
      record(result_unit::matnum_gnu, j, k, run.matnum(j, k));
      if (run.matnum(j, k) < 1 || run.matnum(j, k) > deck.nmat) {
        stop_run(222, record_text("j,k, matnum(j,k) ", j, k, run.matnum(j, k)));
      }
    }
  }
  close_unit(result_unit::matnum);
  close_unit(result_unit::matnum_gnu);
}

void read_binary_ice(const Deck& deck, RealMap& binary_ice, RealMap& coarse) {
  if (deck.refine == 1) {
    read_cell_map("binary_ice_gnu.dat", "the per-cell ice map", "the value", deck.nx, deck.ny, binary_ice);
    return;
  }
  read_cell_map("binary_ice_gnu.dat", "the per-cell ice map", "the value", deck.nx / deck.refine,
                deck.ny / deck.refine, coarse);
  refine_map(coarse, deck.refine, deck.nx, deck.ny, binary_ice);
}

void read_binary_ice(RunStorage& run) { read_binary_ice(run.deck, run.binary_ice, run.coarse_map); }

void read_patchy_map(RunStorage& run) {
  const Deck& deck = run.deck;
  if (deck.model != 1) return;
  if (deck.refine == 1) {
    read_patchy_map(deck.nx, deck.ny, run.patchy);
    return;
  }
  // The per-cell file holds the deck's own cells.
  read_patchy_map(deck.nx / deck.refine, deck.ny / deck.refine, run.coarse_map);
  refine_map(run.coarse_map, deck.refine, deck.nx, deck.ny, run.patchy);
}

void refine_cell_maps(const RunStorage& from, std::int32_t factor, RunStorage& to) {
  refine_map(from.binary_ice, factor, to.deck.nx, to.deck.ny, to.binary_ice);
  if (to.deck.model == 1) refine_map(from.patchy, factor, to.deck.nx, to.deck.ny, to.patchy);
}

void medium_stage(RunStorage& run, PassScalars& pass) {
  const Deck& deck = run.deck;
  CoefficientMaps& coef = run.coef;
  porosity(deck.nx, deck.ny, deck.phi_layer, deck.model, run.patchy, run.phiw, run.matnum);
  e_modulus(deck.nx, deck.ny, run.matnum, deck.phi_a, run.phiw, deck.s3, deck.akf, deck.eta, pass.omega,
            deck.ak_air, deck.xmu_air, deck.ak_s3, deck.xmu_s3, deck.ak_s1, deck.xmu_s1, deck.key_model, coef.lambda1,
            coef.lambda3, coef.mu1, coef.mu3, coef.mu13, coef.b1, coef.b2, coef.m, coef.d3, pass.cycle,
            run.binary_ice);
  mass_visco_coef(deck.nx, deck.ny, run.matnum, deck.phi_a, run.phiw, deck.s3, deck.eta, deck.key_model, deck.ro1,
                  deck.ro2, deck.ro3, deck.capa_1_0, deck.capa_3_0, deck.rs1, deck.rs3, deck.coef_b13, coef.p11,
                  coef.p12, coef.p13, coef.p22, coef.p23, coef.p33, coef.b11, coef.b12, coef.b22, pass.s1_frac,
                  pass.s3_frac, pass.phi1_frac, pass.phi3_frac, run.binary_ice);
  // A coefficient that is not a finite number (a dry cell, a zero shale
  // proportion or grain size) would make every later result meaningless.
  check_coefficients_finite(deck.nx, deck.ny, coef);
  // Values no rock can have (a negative density, viscosity or water
  // proportion) that none of the stops above has caught; checked after
  // them, so that every stop of the model keeps its place.
  check_physical_ranges(deck, run.matnum, run.phiw, run.binary_ice);
}

void plane_wave_stage(RunStorage& run, PassScalars& pass) {
  const CoefficientMaps& coef = run.coef;
  veloc_aten(run.deck.nx, run.deck.ny, pass.omega, coef.p11, coef.p12, coef.p13, coef.p22, coef.p23, coef.p33,
             coef.b11, coef.b12, coef.b22, coef.lambda1, coef.lambda3, coef.mu1, coef.mu3, coef.mu13, coef.b1,
             coef.b2, coef.m, coef.d3, pass.vp1, pass.vp2, pass.vp3, pass.vs1, pass.vs2, pass.thousand_over_qp1,
             pass.thousand_over_qp2, pass.thousand_over_qp3, pass.thousand_over_qs1, pass.thousand_over_qs2,
             &pass.slowest_vp1);
}

void assembly_stage(RunStorage& run, PassScalars& pass) {
  const Deck& deck = run.deck;
  pass.n = numbered_unknowns(deck.nx, deck.ny, run.xnod);
  if (run.rows_shared) return;  // each rank assembles its own rows with the factorisation
  // global_sist in its two halves, the coefficients as one bundle.
  global_pattern(deck.nx, deck.ny, run.xnod, run.ia.data(), run.ja.data(), run.avec.data(), run.assembly);
  global_values(pass.omega, deck.nx, deck.ny, deck.h, run.xnod, run.coef, run.avec.data(), run.ia.data(),
                run.ja.data(), run.rhs_m.data(), run.assembly, run.test);
}

void assembly_pattern_stage(RunStorage& run, PassScalars& pass) {
  pass.n = numbered_unknowns(run.deck.nx, run.deck.ny, run.xnod);
  if (run.rows_shared) return;
  global_pattern(run.deck.nx, run.deck.ny, run.xnod, run.ia.data(), run.ja.data(), run.avec.data(), run.assembly);
}

void assembly_values_stage(RunStorage& run, const PassScalars& pass) {
  const Deck& deck = run.deck;
  if (run.rows_shared) return;
  global_values(pass.omega, deck.nx, deck.ny, deck.h, run.xnod, run.coef, run.avec.data(), run.ia.data(),
                run.ja.data(), run.rhs_m.data(), run.assembly, run.test);
}

void number_pass_unknowns(RunStorage& run) {
  if (is_periodic(run.test)) {
    periodic_numbering(run.deck.nx, run.deck.ny, run.xnod, run.numbering_scratch);
  } else if (run.test == HarmonicTest::vertical) {
    number_unknowns(run.load, run.deck.nx, run.deck.ny, run.xnod);
  } else if (run.test == HarmonicTest::horizontal) {
    transposed_piston_numbering(run.deck.nx, run.deck.ny, run.xnod, run.transposed_scratch);
  } else {
    merged_numbering(run.test, run.deck.nx, run.deck.ny, run.xnod, run.numbering_scratch);
  }
}

namespace {

// The row pointers of the system narrowed to the built-in solver's 32 bits
// (its meshes hold far fewer than 2^31 entries: its work block refuses
// long before).
std::int32_t* builtin_rows(RunStorage& run, std::int32_t n) {
  std::copy_n(run.ia.begin(), n + 1, run.ia_builtin.begin());
  return run.ia_builtin.data();
}

}  // namespace

void structure_stage(RunStorage& run, PassScalars& pass) {
  number_pass_unknowns(run);
  assembly_pattern_stage(run, pass);
  if (run.shared != nullptr) {
    analyse_scalable(run, pass);
    return;
  }
  const std::int32_t nsp = run.work.nsp;
  std::int32_t flag = 0, esp = 0;
  zodrv(pass.n, builtin_rows(run, pass.n), run.ja.data(), run.avec.data(), run.c.data(), run.ic.data(), nsp, run.work.isp(), 1,
        flag);
  if (flag != 0) stop_run(9, record_text("FLAG=", flag));
  zndrv(pass.n, run.c.data(), run.c.data(), run.ic.data(), run.ia_builtin.data(), run.ja.data(), run.avec.data(),
        run.rhs_m.data(), run.z.data(), nsp, run.work.isp(), run.work.rsp(), esp, 5, flag);
  if (flag != 0) stop_run(99, record_text("ESP=", esp) + "\n" + record_text("FLAG=", flag));
}

void copy_sample(const RunStorage& from, RunStorage& to, bool scalable) {
  to.deck = from.deck;
  // Sized for the numbering without merged unknowns, the largest of every
  // test (up to 60 x 60 the sizes it was made with hold it).
  to.load = TopLoad::split;
  size_for_mesh(to, 1, scalable);
  to.load = from.load;
  to.size_layer = from.size_layer;
  to.matnum = from.matnum;
  to.binary_ice = from.binary_ice;
  to.patchy = from.patchy;
  to.phiw = from.phiw;
}

void copy_structure(const RunStorage& from, RunStorage& to) {
  to.deck = from.deck;
  // The scalable solver's factors are shared: the work block goes first,
  // so that the arrays below never stand beside it.
  if (from.shared != nullptr && to.work.nsp != 1) to.work.allocate(1);
  // The sizes of the original, from what its passes do not write.
  if (to.ia.size() != from.ia.size() || to.work.nsp != from.work.nsp || to.rows_shared != from.rows_shared) {
    to.rows_shared = from.rows_shared;
    resize_arrays(to, static_cast<std::int32_t>(from.ia.size() - 1), from.work.nsp);
  }
  to.shared = from.shared;
  to.rows_shared = from.rows_shared;
  to.size_layer = from.size_layer;
  to.matnum = from.matnum;
  to.binary_ice = from.binary_ice;
  to.patchy = from.patchy;
  to.load = from.load;
  to.test = from.test;
  to.xnod = from.xnod;
  if (from.rows_shared) return;  // no compressed rows; the analysis is shared
  const std::int32_t n = numbered_unknowns(from.deck.nx, from.deck.ny, from.xnod);
  std::copy_n(from.ia.begin(), n + 1, to.ia.begin());
  std::copy_n(from.ja.begin(), from.ia[n] - 1, to.ja.begin());
  if (from.shared != nullptr) return;  // the scalable solver's analysis is shared, not copied
  std::copy_n(from.c.begin(), n, to.c.begin());
  std::copy_n(from.ic.begin(), n, to.ic.begin());
  sparse::copy_factor_structure(n, from.work, to.work);
}

namespace {

// The first unknown (1-based) whose solution is not a finite number; 0 when none.
std::int32_t first_nonfinite_unknown(const RunStorage& run, std::int32_t n) {
  for (std::int32_t i = 1; i <= n; ++i)
    if (!std::isfinite(run.z[i - 1].re) || !std::isfinite(run.z[i - 1].im)) return i;
  return 0;
}

}  // namespace

void solve_stage(RunStorage& run, PassScalars& pass, Factorisation factorisation) {
  if (run.shared != nullptr) {
    solve_scalable(run, pass);
  } else {
    solve_builtin(run, pass, factorisation);
  }

  // A system of extreme coefficients (a sample height far outside any
  // physical scale) can overflow in the factorisation: every result
  // derived from such a solution would be meaningless.
  if (const std::int32_t i = first_nonfinite_unknown(run, pass.n); i != 0) {
    const dcomplex zi = run.z[i - 1];
    stop_run(stop_nonfinite_result,
             record_text(" non-finite solution z at unknown i =", i, "of", pass.n, "value", zi.re, zi.im));
  }
  // The scalable solver, whose factors other workers may replace once its
  // lock is released, makes its figures within its own turn.
  if (run.shared != nullptr) return;
  pass.backward_error = componentwise_backward_error(pass.n, run.ia.data(), run.ja.data(), run.avec.data(),
                                                     run.rhs_m.data(), run.z.data());
  pass.forward_error = refinement_forward_error(run, pass);
}

namespace {

// MUMPS refused for want of memory: a stop as any allocation the system
// refuses, with what the solver needed and what the machine offers now.
[[noreturn]] void stop_scalable_memory(const Deck& deck, const scalable::Status& status, long estimated_mb) {
  stop_input("standard input, lines 5-6: nx = " + std::to_string(deck.nx) + ", ny = " + std::to_string(deck.ny) +
             ": the scalable solver ran out of memory (" + status.message + "); its factors need about " +
             (estimated_mb > 0 ? std::to_string(estimated_mb) : std::string("an unknown number of")) +
             " MB, and this machine offers " + std::to_string(memory_offered() >> 20) + " MB");
}

// The residual r = b - A z of the system the solver factorised, into
// run.residual; returns max |z|.
double solution_residual(RunStorage& run, std::int32_t n) {
  double largest = 0.0;
  for (std::int32_t i = 1; i <= n; ++i) {
    dcomplex r = run.rhs_m[i - 1];
    for (std::int64_t p = run.ia[i - 1]; p < run.ia[i]; ++p) r = r - run.avec[p - 1] * run.z[run.ja[p - 1] - 1];
    run.residual[i - 1] = r;
    largest = std::fmax(largest, abs(run.z[i - 1]));
  }
  return largest;
}

// max |d| / max |z| once the correction d is in run.correction.
double correction_ratio(const RunStorage& run, std::int32_t n, double largest) {
  double change = 0.0;
  for (std::int32_t i = 1; i <= n; ++i) change = std::fmax(change, abs(run.correction[i - 1]));
  return largest > 0.0 ? change / largest : 0.0;
}

}  // namespace

double refinement_forward_error(RunStorage& run, const PassScalars& pass) {
  const std::int32_t n = pass.n;
  const double largest = solution_residual(run, n);
  // The correction d = A^-1 r from the same factors: one step of
  // iterative refinement, whose size is what the solution lacks.
  std::int32_t flag = 0, esp = 0;
  zndrv(n, run.c.data(), run.c.data(), run.ic.data(), builtin_rows(run, n), run.ja.data(), run.avec.data(),
        run.residual.data(), run.correction.data(), run.work.nsp, run.work.isp(), run.work.rsp(), esp, 3, flag,
        run.work.scratch);
  if (flag != 0) stop_run(99, record_text("ESP=", esp) + "\n" + record_text("FLAG=", flag));
  return correction_ratio(run, n, largest);
}

void solve_builtin(RunStorage& run, PassScalars& pass, Factorisation factorisation) {
  // The same permutation orders rows and columns; ordering, factors and
  // solution all live in the one work block.
  const std::int32_t nsp = run.work.nsp;
  std::int32_t path = 1, flag = 0, esp = 0;
  if (factorisation == Factorisation::order_and_factor) {
    zodrv(pass.n, builtin_rows(run, pass.n), run.ja.data(), run.avec.data(), run.c.data(), run.ic.data(), nsp,
          run.work.isp(), path, flag);
    if (flag != 0) stop_run(9, record_text("FLAG=", flag));
    path = 1;  // symbolic and numeric factorisation, then the solution
  } else {
    path = 2;  // numeric factorisation on the structure kept in the work block
  }
  zndrv(pass.n, run.c.data(), run.c.data(), run.ic.data(), builtin_rows(run, pass.n), run.ja.data(),
        run.avec.data(), run.rhs_m.data(), run.z.data(), nsp, run.work.isp(), run.work.rsp(), esp, path, flag,
        run.work.scratch);
  if (flag != 0) stop_run(99, record_text("ESP=", esp) + "\n" + record_text("FLAG=", flag));
}


void analyse_scalable(RunStorage& run, const PassScalars& pass) {
  SharedSolver& shared = *run.shared;
  const std::lock_guard<std::recursive_mutex> turn(scalable::mumps_lock());
  if (shared.analysed) return;
  if (shared.ordering == scalable::Ordering::given)
    geometric_order(run.deck.nx, run.deck.ny, run.xnod, pass.n, shared.pivot_order);
  // Over several ranks, each assembles and hands MUMPS its own band of rows.
  shared.rows_shared = run.rows_shared;
  const scalable::Status status =
      shared.rows_shared
          ? shared.solver.analyse_shared(pass.n, shared.pivot_order.data(), make_band_row_source(),
                                         band_pattern_words(run))
          : shared.solver.analyse(pass.n, run.ia.data(), run.ja.data(), shared.pivot_order.data());
  if (status.memory_refused()) stop_scalable_memory(run.deck, status, shared.solver.memory().estimated_mb);
  if (!status.good()) stop_run(9, " the scalable solver's analysis failed: " + status.message);
  // MUMPS's own estimate of each rank's share of the factors, against what
  // that rank's machine offers, before the factorisation takes it.
  const std::vector<scalable::RankMemory> ranks = shared.solver.memory().ranks;
  for (std::size_t r = 0; r < ranks.size(); ++r) {
    if (ranks[r].needed_mb <= 0 || ranks[r].needed_mb <= ranks[r].offered_mb) continue;
    const std::string where = "standard input, lines 5-6: nx = " + std::to_string(run.deck.nx) + ", ny = " +
                              std::to_string(run.deck.ny) + ": ";
    const std::string figures = std::to_string(ranks[r].needed_mb) + " MB, and ";
    if (ranks.size() == 1) {
      stop_input_parameter(where + "the factors need about " + figures + "this machine offers " +
                           std::to_string(ranks[r].offered_mb) + " MB");
    }
    stop_input_parameter(where + "rank " + std::to_string(r) + " of " + std::to_string(ranks.size()) +
                         " needs about " + figures + "is offered " + std::to_string(ranks[r].offered_mb) + " MB");
  }
  shared.analysed = true;
}

namespace {

void stop_unless_good(const RunStorage& run, const scalable::Status& status) {
  if (status.memory_refused()) stop_scalable_memory(run.deck, status, run.shared->solver.memory().estimated_mb);
  if (!status.good()) stop_run(99, " the scalable solver failed: " + status.message);
}

}  // namespace

void solve_scalable(RunStorage& run, PassScalars& pass) {
  if (!run.shared->analysed) analyse_scalable(run, pass);
  SharedSolver& shared = *run.shared;
  if (!run.rows_shared) {
    // The held columns cleared with their rows: the same solution, a
    // symmetric matrix.
    scalable::held_unknowns(pass.n, run.ia.data(), run.ja.data(), run.avec.data(), run.held.data());
    scalable::symmetric_values(pass.n, run.ia.data(), run.ja.data(), run.avec.data(), run.rhs_m.data(),
                               run.held.data());
  }
  // One turn: the factorisation, the solution, its residual and one step
  // of refinement on these factors, before another worker's factorisation
  // replaces them (refinement_forward_error).
  const std::lock_guard<std::recursive_mutex> turn(scalable::mumps_lock());
  // Over several ranks every rank assembles its rows and eliminates the
  // held unknowns, the whole load comes to this rank, and the ranks
  // compute the residual and the backward error, each of its own rows.
  if (run.rows_shared) band_values_words(run, pass.omega, shared.words);
  // The pivots first in the analysis's order, as they come, which saves
  // MUMPS the search for them; where that fails, or leaves a solution
  // that is not finite or whose backward error exceeds its threshold,
  // the same system again with threshold pivoting. Each factorisation
  // decides for itself, so that no result depends on the frequencies
  // before it.
  for (const bool pivoting : {false, true}) {
    shared.solver.pivoting(pivoting);
    scalable::Status status = run.rows_shared ? shared.solver.factor_shared(shared.words, run.rhs_m.data())
                                              : shared.solver.factor_borrowing(run.avec.data());
    if (status.good()) status = shared.solver.solve(run.rhs_m.data(), run.z.data());
    if (!pivoting && !status.good() && !status.memory_refused()) continue;
    stop_unless_good(run, status);
    if (run.rows_shared) {
      pass.backward_error = shared.solver.residual_shared(run.z.data(), run.residual.data());
    } else {
      solution_residual(run, pass.n);
      pass.backward_error = componentwise_backward_error(pass.n, run.ia.data(), run.ja.data(), run.avec.data(),
                                                         run.rhs_m.data(), run.z.data());
    }
    if (first_nonfinite_unknown(run, pass.n) == 0 && pass.backward_error <= backward_error_threshold) break;
  }
  double largest = 0.0;
  for (std::int32_t i = 1; i <= pass.n; ++i) largest = std::fmax(largest, abs(run.z[i - 1]));
  const scalable::Status status = shared.solver.solve(run.residual.data(), run.correction.data());
  stop_unless_good(run, status);
  pass.forward_error = correction_ratio(run, pass.n, largest);
}

std::string backward_error_figure(double backward_error) {
  char figure[32];
  std::snprintf(figure, sizeof figure, "%.1e", backward_error);
  return figure;
}

std::string backward_error_warning(const PassScalars& pass) {
  if (!(pass.backward_error > backward_error_threshold)) return {};
  return "warning: the componentwise backward error of the solution is " + backward_error_figure(pass.backward_error) +
         " (above " + format_real(backward_error_threshold) +
         "): the factorisation, which does not pivot, has lost accuracy; the results may be inaccurate";
}

SampleResults evaluation_stage(RunStorage& run, const PassScalars& pass) {
  const EvaluationInput evaluation{run.matnum, run.coef, run.xnod, run.z.data(), pass.rob_med, pass.s1_frac,
                                   pass.s3_frac, pass.vp1, pass.thousand_over_qp1, pass.freq_log,
                                   imposed_strain(run.test)};
  return evaluate_results(run.deck, evaluation, run.fields);
}

SampleResults run_pass(RunStorage& run, PassScalars& pass, SystemLayout layout) {
  const Deck& deck = run.deck;

  // 1. The medium of every cell: water proportion, then elastic, mass and
  //    friction coefficients (the permafrost model takes the water
  //    proportion of layer-type-1 cells from the ice map here).
  medium_stage(run, pass);

  // 2. Global numbers of the unknowns of every cell (under the piston the
  //    top's vertical displacements share one).
  if (layout == SystemLayout::build) number_pass_unknowns(run);

  // 3. Average density of the sample, for the velocities.
  record(stdout_unit, "  computes average density, ");
  pass.rob_med = average_density(deck, run.matnum, run.phiw);
  record(stdout_unit, "average density rob_med is (kg/m**3)", pass.rob_med);
  record(stdout_unit);
  record(stdout_unit, "cycle=", pass.cycle);
  record(stdout_unit, "freq (Hz), omega_fix ", pass.frequency, pass.omega);

  // 4. Analytic plane-wave reference of every cell's medium.
  plane_wave_stage(run, pass);

  // 5. The complex system of the test: element matrices with the boundary
  //    conditions and the top load, assembled in compressed rows.
  if (layout == SystemLayout::build) {
    assembly_stage(run, pass);
  } else {
    pass.n = numbered_unknowns(deck.nx, deck.ny, run.xnod);
    assembly_values_stage(run, pass);
  }
  record(stdout_unit, "number of unknowns nodos = ", pass.n);

  // 6. Minimum-degree ordering, factorisation and solution.
  solve_stage(run, pass,
              layout == SystemLayout::build ? Factorisation::order_and_factor
                                            : Factorisation::reuse_order_and_structure);
  const std::string warning = backward_error_warning(pass);
  if (!warning.empty() && !output_discarded()) std::fprintf(stderr, "%s\n", warning.c_str());
  if (pass.forward_error > forward_error_threshold && !output_discarded()) {
    std::fprintf(stderr,
                 "warning: one step of iterative refinement changes the solution by %.1e of its size (above %g): "
                 "the system is ill-conditioned and the results may be inaccurate\n",
                 pass.forward_error, forward_error_threshold);
  }

  // 7. Volume change, strains, stress, pressure, effective moduli and all
  //    result files.
  return evaluation_stage(run, pass);
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
