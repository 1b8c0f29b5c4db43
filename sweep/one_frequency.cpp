// One frequency of the sweep (sweep/one_frequency.hpp), and the grid of
// frequencies (sweep_frequency, sweep/sweep.hpp).
#include "sweep/one_frequency.hpp"

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "driver/readata.hpp"
#include "driver/stress_averages.hpp"
#include "fem/global_numbering.hpp"
#include "sweep/sweep.hpp"
#include "sweep/sweep_reference.hpp"
#include "sweep/sweep_table.hpp"
#include "sweep/tensor_pass.hpp"

namespace {

// The effective stiffness at the frequency the pass of `run` has just
// solved, from its coefficients; `worst` receives the largest backward
// error of the tests.
EffectiveStiffness tensor_at(const RunStorage& run, const TensorPasses& tests, const PassScalars& pass,
                             double& worst) {
  double error = 0;
  worst = 0;
  StressStrainAverages vertical;
  if (tests.vertical == nullptr) {
    vertical = average_stress_strain(run.deck, run.coef, run.xnod, run.z.data(), imposed_strain(run.test));
  } else {
    vertical = solve_other_test(*tests.vertical, run.coef, pass, error);
    worst = error;
  }
  const StressStrainAverages horizontal = solve_other_test(*tests.horizontal, run.coef, pass, error);
  worst = error > worst ? error : worst;
  const StressStrainAverages shear = solve_other_test(*tests.shear, run.coef, pass, error);
  worst = error > worst ? error : worst;
  return is_periodic(run.test) ? periodic_stiffness(vertical, horizontal, shear)
                               : effective_stiffness(vertical, horizontal, shear);
}

// The Richardson estimate of the relative error of Mw at h from Mw at h and
// h/2, for second-order convergence: Mw(h) - M = C h^2 + ..., so the
// extrapolated M = (4 Mw(h/2) - Mw(h)) / 3, and the estimate is
// |Mw(h) - M| / |M|.
double richardson_error(const dcomplex& mw, const dcomplex& mw_half) {
  const dcomplex extrapolated = (4.0 * mw_half - mw) / dcomplex(3.0, 0.0);
  return abs(mw - extrapolated) / abs(extrapolated);
}

}  // namespace

std::vector<RunStorage*> pass_objects(const PassPair& passes) {
  std::vector<RunStorage*> runs;
  for (RunStorage* run : {passes.sample, passes.half, passes.tensor.vertical, passes.tensor.horizontal,
                          passes.tensor.shear, passes.half_tensor.vertical, passes.half_tensor.horizontal,
                          passes.half_tensor.shear}) {
    if (run != nullptr) runs.push_back(run);
  }
  return runs;
}

SweepPoint solve_at(const PassPair& passes, double frequency) {
  RunStorage& run = *passes.sample;
  SweepPoint point;
  PassScalars& pass = point.pass;
  pass.cycle = 1;  // each frequency is computed as the one pass of a run at that frequency
  pass.frequency = frequency;
  pass.omega = angular_frequency(frequency);
  pass.freq_log = frequency;
  point.results = run_pass(run, pass, SystemLayout::reuse);
  // The coefficients of this frequency, as the pass left them.
  point.diffusion_cells = diffusion_length_in_cells(run.deck.nx, run.deck.ny, run.deck.h, run.coef, pass.omega);
  std::vector<ExactLayer> layers;
  if (row_uniform_layers(run.deck.nx, run.deck.ny, run.deck.h, run.coef, layers)) {
    if (run.load == TopLoad::periodic) {
      // The sample is one period of the infinite stack, whose exact c33 is
      // the reference of Mw.
      point.stack = exact_periodic_stack(layers, pass.omega);
      point.reference.valid = point.stack.valid;
      point.reference.mw = point.stack.c33;
      point.limits = exact_periodic_limits(layers);
    } else {
      point.reference = exact_layered_solution(layers, pass.omega, run.load == TopLoad::piston);
      point.limits = exact_layered_limits(layers, run.load == TopLoad::piston);
    }
  }
  if (passes.tensor.horizontal != nullptr) {
    point.stiffness = tensor_at(run, passes.tensor, pass, point.tensor_backward_error);
    point.tensor = true;
  }
  if (passes.half != nullptr) {
    PassScalars half = pass;
    point.mw_half = run_pass(*passes.half, half, SystemLayout::reuse).mw;
    point.refined = true;
    if (passes.half_tensor.horizontal != nullptr) {
      double worst = 0;
      point.stiffness_half = tensor_at(*passes.half, passes.half_tensor, half, worst);
      point.tensor_backward_error = worst > point.tensor_backward_error ? worst : point.tensor_backward_error;
    }
  }
  return point;
}

ErrorEstimates error_estimates(const SweepPoint& point) {
  const SampleResults& r = point.results;
  const double velocity = r.velocity_w, velocity_half = phase_velocity(point.mw_half, point.pass.rob_med);
  const double q = r.thousand_over_q_w, q_half = 1000.0 * point.mw_half.im / point.mw_half.re;
  const double velocity_extrapolated = (4.0 * velocity_half - velocity) / 3.0;
  const double q_extrapolated = (4.0 * q_half - q) / 3.0;
  return ErrorEstimates{richardson_error(r.mw, point.mw_half),
                        std::fabs(velocity - velocity_extrapolated) / std::fabs(velocity_extrapolated),
                        std::fabs(q - q_extrapolated)};
}

std::string row_flags(const SweepPoint& point, bool periodic) {
  const SampleResults& r = point.results;
  std::string flags;
  auto add = [&](const char* word) {
    if (!flags.empty()) flags += ',';
    flags += word;
  };
  if (!periodic && r.velocity_w < 0.5 * point.pass.slowest_vp1) add("rig");
  bool unresolved = point.diffusion_cells < sweep_table::resolved_cells;
  if (point.refined) {
    unresolved = unresolved || error_estimates(point).thousand_over_q > 0.1 * std::fabs(r.thousand_over_q_w);
  }
  if (unresolved) add("unresolved");
  if (r.mw.im < 0) add(-r.mw.im <= sweep_table::rounding_level * abs(r.mw) ? "rounding" : "not_dissipative");
  if (point.pass.forward_error > forward_error_threshold) add("ill_conditioned");
  if (point.reference.valid && point.limits.relaxed_exists && point.limits.unrelaxed_exists) {
    const double re = point.reference.mw.re, slack = 1e-9 * std::fabs(re);
    if (re < point.limits.relaxed - slack || re > point.limits.unrelaxed + slack) add("exact_outside_limits");
  }
  return flags.empty() ? "ok" : flags;
}

double sweep_frequency(const Deck& deck, std::int32_t i) {
  if (deck.nfreq == 1 || i == 1) return deck.fmin;
  if (i == deck.nfreq) return deck.fmax;
  const double exponent = std::log10(deck.fmin) + (std::log10(deck.fmax) - std::log10(deck.fmin)) *
                                                      static_cast<double>(i - 1) / static_cast<double>(deck.nfreq - 1);
  return std::pow(10.0, exponent);
}
