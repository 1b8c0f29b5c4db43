// The programs over MPI ranks, as the programs see them (scalable/ranks.hpp
// holds how the ranks serve one MUMPS factorisation).
#pragma once

// Runs a program's main routine `program` on rank 0 and serves the solver
// on every other rank, every process on the one set of BLAS kernels
// (scalable/blas_kernels.hpp); returns the exit status of this process (rank 0's
// status on every rank). Without MPI, or started without a launcher,
// `program` simply runs.
int run_on_ranks(int argc, char** argv, int (*program)(int, char**));

// The ranks one factorisation is shared between (1 without MPI).
int solver_ranks();
