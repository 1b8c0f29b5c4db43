// One frequency of the sweep: what it gives (SweepPoint), the pass objects
// it is computed on (PassPair, TensorPasses), its computation (solve_at),
// and what its row reports beside the results: the Richardson estimates of
// the error (error_estimates) and the flags (row_flags).  The frequencies
// of the grid are sweep_frequency's (sweep/sweep.hpp).
#pragma once

#include <string>
#include <vector>

#include "common/complex.hpp"
#include "driver/evaluation.hpp"
#include "driver/pass.hpp"
#include "exact/layered_exact.hpp"
#include "exact/periodic_stack.hpp"
#include "sweep/effective_tensor.hpp"

// What one frequency of the sweep gives: the program's results, for a
// layered sample the exact solution of the same test, and with the error
// estimate the work-conjugate modulus of the sample at h/2.  A job process
// sends it to the sweep field by field (sweep/job_messages.cpp): a field
// added here is added there too.
struct SweepPoint {
  PassScalars pass;
  SampleResults results;
  LayeredSolution reference;  // valid only for a layered sample (under periodic sides only its mw: c33)
  LayeredLimits limits;       // the reference's own limits, from this frequency's coefficients
  StackStiffness stack;       // the infinite periodic stack, for a layered sample under periodic sides
  bool refined = false;
  dcomplex mw_half;           // Mw at h/2, when refined
  bool tensor = false;
  EffectiveStiffness stiffness;       // when tensor
  EffectiveStiffness stiffness_half;  // when tensor and refined: at h/2
  double tensor_backward_error = 0;  // the largest of the tensor's tests
  double diffusion_cells = 0;        // the shortest diffusion length, in cells
};

// The tensor's other tests of one sample (null without --tensor);
// vertical is null when the sample's own test is the vertical one of the
// tensor (piston, periodic).
struct TensorPasses {
  RunStorage* vertical = nullptr;
  RunStorage* horizontal = nullptr;
  RunStorage* shear = nullptr;
};

// The pass objects of one worker: the sample, and the sample at h/2 when
// the sweep estimates its discretisation error (null otherwise).
struct PassPair {
  RunStorage* sample = nullptr;
  RunStorage* half = nullptr;
  TensorPasses tensor;       // of the sample
  TensorPasses half_tensor;  // of the sample at h/2, with the error estimate
};

// The pass objects of `passes` that are there: the sample, at h/2, then
// the tensor's tests of both.
std::vector<RunStorage*> pass_objects(const PassPair& passes);

// The pass of the program at `frequency`, on a storage that holds the
// sample and the structure of its system (read_sample, structure_stage or
// copy_structure).  The caller has silenced the output.
SweepPoint solve_at(const PassPair& passes, double frequency);

// The Richardson estimates of a refined point: the relative error of Mw
// and of its velocity, and the absolute error of its 1000/Q, each
// extrapolated from its own values at h and h/2.
struct ErrorEstimates {
  double mw = 0, velocity = 0, thousand_over_q = 0;
};

ErrorEstimates error_estimates(const SweepPoint& point);

// What a reader of a row should know before trusting it, as one word per
// finding joined by commas ("ok" when there is none):
//   rig          the velocity of Mw is below half the slowest P1 speed of
//                the cells: a closed-wall test measures its loaded face;
//   unresolved   the diffusion length spans fewer than 3 cells, or the
//                estimated error of 1000/Q exceeds 10 % of it;
//   rounding     Im Mw < 0 within rounding of |Mw| (a nearly elastic row);
//   not_dissipative  Im Mw < 0 beyond rounding;
//   ill_conditioned  one step of iterative refinement moves the solution by
//                more than forward_error_threshold of its size;
//   exact_outside_limits  the exact reference's Re lies outside its own
//                relaxed and unrelaxed limits (from the same coefficients).
std::string row_flags(const SweepPoint& point, bool periodic);
