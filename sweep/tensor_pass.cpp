#include "sweep/tensor_pass.hpp"

void other_test_structure(const RunStorage& sample, HarmonicTest test, RunStorage& run, SharedSolver* solver) {
  copy_sample(sample, run, solver != nullptr);
  run.shared = solver;
  run.test = test;
  run.load = TopLoad::piston;  // every plate is rigid
  PassScalars layout;
  structure_stage(run, layout);
}

StressStrainAverages solve_other_test(RunStorage& run, const CoefficientMaps& coef, const PassScalars& pass,
                                      double& backward_error) {
  run.coef = coef;  // same sizes: no allocation
  PassScalars own = pass;
  own.n = numbered_unknowns(run.deck.nx, run.deck.ny, run.xnod);
  assembly_values_stage(run, own);
  solve_stage(run, own, Factorisation::reuse_order_and_structure);
  backward_error = own.backward_error;
  return average_stress_strain(run.deck, run.coef, run.xnod, run.z.data(), imposed_strain(run.test));
}
