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
// to `memory` when it is given. `words`, when given, go to the workers'
// row sources of the instance (scalable/row_share.hpp): with the analysis,
// for their rows' pattern; with a factorisation, for their values.
void call_mumps(ZMUMPS_STRUC_C& id, std::uintptr_t instance, std::vector<RankMemory>* memory = nullptr,
                const std::vector<char>* words = nullptr);

}  // namespace scalable
