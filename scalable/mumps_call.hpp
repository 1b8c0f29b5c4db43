// The one door into MUMPS, for scalable/'s own use: every call of every
// instance, mirrored on the workers when there are several ranks
// (scalable/ranks.hpp).
#pragma once

#include <cstdint>
#include <vector>

#include <zmumps_c.h>

#include "scalable/ranks.hpp"

namespace scalable {

// MUMPS's communicator, in its Fortran form (its sequential build's value
// without MPI).
int mumps_communicator();

// One MUMPS call with id.job set, made by rank 0 (under the MUMPS lock)
// and mirrored on every worker: the workers' copies take the host's
// controls (ICNTL) and out-of-core directory first. `instance` names the
// object whose MUMPS instance it is (the same for the instance's life).
// After an analysis (job 1), every rank's RankMemory, rank 0 first, goes
// to `memory` when it is given.
void call_mumps(ZMUMPS_STRUC_C& id, std::uintptr_t instance, std::vector<RankMemory>* memory = nullptr);

// The steps of rows shared between the ranks (scalable/row_share.hpp),
// made by rank 0 on its own rows and mirrored on every worker's rows of
// the same instance (without MPI, rank 0's rows are all the rows):
// - the rows' pattern from the analysis's words, before the analysis;
// - their values from a factorisation's words, the held unknowns found by
//   every rank and eliminated on each, and the whole load into `load`;
// - the residual of the whole solution z into `residual`, and the largest
//   componentwise backward error of the rows.
void share_rows_pattern(std::uintptr_t instance, SharedRows& rows, const std::vector<char>& words);
void share_rows_values(std::uintptr_t instance, SharedRows& rows, const std::vector<char>& words, dcomplex* load);
double share_rows_residual(std::uintptr_t instance, SharedRows& rows, const dcomplex* z, dcomplex* residual);

}  // namespace scalable
