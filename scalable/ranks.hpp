// The ranks that factorise one sample together: MUMPS over MPI.
//
// Built with the MPI MUMPS (the build option UPSCALE_MPI), a program
// started by mpirun or srun runs as P ranks of one communicator. Rank 0 is
// the program: it reads the deck, assembles the system, evaluates and
// writes every result. Every other rank is a worker that only serves
// MUMPS: it waits for rank 0's next call, makes the same call on its own
// copy of the instance, and MUMPS shares the factors and the work between
// the ranks. Where rank 0 shares the rows of the matrix (row_share.hpp),
// each rank hands MUMPS its own rows (distributed input); otherwise rank 0
// hands it the whole matrix. A worker writes nothing; it ends when rank 0
// ends, with rank 0's exit status.
//
// Built with the sequential MUMPS, or started without a launcher, there is
// one rank, rank 0, and nothing is sent; the sequential build started as
// several ranks (mpirun, srun) refuses with status 3 on each.
//
// Every call into MUMPS goes through call_mumps() (scalable/mumps_call.hpp),
// on rank 0 under the process's one MUMPS lock, so the workers see rank
// 0's calls one at a time and in its order.
#pragma once

#include "scalable/row_share.hpp"

namespace scalable {

// Starts the ranks (MPI_Init_thread where built with MPI). On a worker it
// serves rank 0 until rank 0 ends and returns the status to exit with; on
// rank 0 it returns -1 and the program goes on. `factory` makes a worker's
// row source of each instance whose rows rank 0 shares (null: none does).
int start_ranks(int& argc, char**& argv, RowSourceFactory factory = nullptr);

// Rank 0's end: tells the workers to end with `status`, ends MPI, and
// returns `status`.
int end_ranks(int status);

// The number of ranks (1 without MPI).
int rank_count();

// What each rank needs for its share of the factors and what its machine
// offers it, in megabytes (10^6 bytes), after an analysis.
struct RankMemory {
  long needed_mb = 0;   // MUMPS's INFO(15) in core, INFO(17) out of core
  long offered_mb = 0;  // memory_offered()
};

}  // namespace scalable
