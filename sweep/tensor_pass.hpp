// The passes of the horizontal and shear tests (and of the vertical piston
// test when the run's own test is not one) beside the run's own pass, for
// the effective stiffness (sweep/effective_tensor.hpp).
//
// Each test has its own numbering (its loaded plate merges other
// unknowns), so its own pattern, ordering and symbolic factorisation, laid
// out once per sample; at every frequency a test repeats only its
// assembly, numeric factorisation and solution, on the coefficients the
// run's own pass has just formed.  The medium, the density and the
// analytic reference are not recomputed.
#pragma once

#include "sweep/effective_tensor.hpp"
#include "driver/pass.hpp"
#include "fem/global_numbering.hpp"

// Lays out on `run` the sample of `sample` (copy_sample) and the structure
// of `test`'s system under its rigid plate: numbering, pattern, ordering
// and symbolic factorisation.  With `solver` (not null) the test is solved
// by that scalable solver, analysed here for its own pattern.  Stops with 9
// or 99 as structure_stage.
void other_test_structure(const RunStorage& sample, HarmonicTest test, RunStorage& run,
                          SharedSolver* solver = nullptr);

// Solves the test of `run` at pass.omega with the coefficients `coef` of
// that frequency (copied into run), and returns the averages of its total
// stress and strain; backward_error receives the componentwise backward
// error of its solution.  Stops as solve_stage.
StressStrainAverages solve_other_test(RunStorage& run, const CoefficientMaps& coef, const PassScalars& pass,
                                      double& backward_error);
