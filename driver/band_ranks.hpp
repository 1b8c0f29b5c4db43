// The rows of one sample's system shared between the ranks: rank 0 keeps
// the band of cell rows 1.. of its own and sends each worker what its band
// follows from (the mesh and numbering with the analysis; the frequency,
// the coefficients and the held unknowns with each factorisation); each
// worker assembles its band (fem/band_assembly.hpp) and hands MUMPS the
// lower triangle of its own rows.
#pragma once

#include <memory>
#include <vector>

#include "driver/pass_storage.hpp"
#include "scalable/row_share.hpp"

// A worker's row source (the factory start_ranks is given).
std::unique_ptr<scalable::RowSource> make_band_row_source();

// Rank 0's share at the analysis of `run`'s system among `ranks` ranks:
// its own rows (band 0) and the words of the mesh and its numbering.
scalable::RowShare band_share(const RunStorage& run, int ranks);

// The words of one factorisation of `run` at omega: the coefficients and
// the unknowns held (run.held, after held_unknowns), into `words`.
void band_values_words(const RunStorage& run, double omega, std::vector<char>& words);
