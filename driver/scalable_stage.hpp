// The solve stage on the scalable solver (sequential MUMPS, L D L^T of the
// complex symmetric system), for meshes past 60 x 60 or on request
// (--solver mumps).
//
// Every element matrix is symmetric and the held unknowns are zero, so
// once the held columns are cleared along with their rows the system is
// complex symmetric (A = A^T, not Hermitian) and half of it is factorised.
// The pattern is analysed once (ordering and symbolic factorisation); each
// frequency repeats only the numeric factorisation.
//
// MUMPS keeps working state shared by all its instances of a process;
// scalable/ takes its one lock (scalable::mumps_lock()) around every call
// into it.  The workers of a sweep share one analysed instance and take
// turns at it, while their other stages run side by side: a turn (the
// factorisation and the solutions from its factors) holds the same lock.
#pragma once

#include <cstdint>

#include "scalable/symmetric_solver.hpp"

// Which solver a pass uses.
enum class SolverChoice {
  automatic,  // the built-in solver up to 60 x 60 cells, the scalable one beyond
  builtin,    // minimum degree and the project's factorisation, at any size
  mumps,      // the scalable solver, at any size
};

// The ordering of the scalable solver for n unknowns: MUMPS's approximate
// minimum degree, or METIS's nested dissection past n_nested_dissection
// unknowns, where the benchmark finds it the faster.
scalable::Ordering scalable_ordering(std::int32_t n);
inline constexpr std::int32_t n_nested_dissection = 200000;

// One analysed instance shared by the passes of one sample.
struct SharedSolver {
  explicit SharedSolver(scalable::Ordering ordering) : solver(ordering) {}
  scalable::SymmetricSolver solver;
  bool analysed = false;
};
