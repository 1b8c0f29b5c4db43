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
#include <string>
#include <vector>

#include "scalable/symmetric_solver.hpp"

// Which solver a pass uses.
enum class SolverChoice {
  automatic,  // the built-in solver up to 60 x 60 cells, the scalable one beyond
  builtin,    // minimum degree and the project's factorisation, at any size
  mumps,      // the scalable solver, at any size
};

// The ordering of the scalable solver for n unknowns: MUMPS's approximate
// minimum degree, or the mesh's geometric nested dissection
// (geometric_order, handed to MUMPS as the given order) past
// n_geometric_order unknowns. The factors of the geometric order hold
// fewer entries than AMD's from 20 x 20 cells on (1 to 3 % fewer from
// 40 x 40 to 120 x 120 under the default test, 18 % at 90 x 61 under the
// piston, whose one top unknown AMD places badly), and 10 to 13 % fewer
// than METIS's nested dissection from 60 x 60 to 120 x 120; at 10 x 10
// AMD's hold 2 % fewer.
scalable::Ordering scalable_ordering(std::int32_t n);
inline constexpr std::int32_t n_geometric_order = 2000;

// One analysed instance shared by the passes of one sample, with the
// pivot order its analysis was given (empty under MUMPS's own orderings).
struct SharedSolver {
  // out_of_core: the directory of the factor files, or "" to keep them in core.
  explicit SharedSolver(scalable::Ordering ordering, const std::string& out_of_core = "")
      : ordering(ordering), out_of_core(out_of_core), solver(ordering) {
    solver.out_of_core(out_of_core);
  }
  scalable::Ordering ordering;
  std::string out_of_core;
  scalable::SymmetricSolver solver;
  std::vector<std::int32_t> pivot_order;
  bool analysed = false;
  // Over several ranks each, rank 0 included, assembles its own band of
  // rows (driver/band_ranks.hpp) from the words of each factorisation,
  // which rank 0 keeps here.
  bool rows_shared = false;
  std::vector<char> words;
};
