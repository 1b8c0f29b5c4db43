// The rows of one sample's system shared between the ranks: rank 0 sends
// every rank what its band of cell rows follows from (the mesh and
// numbering with the analysis; the frequency and the coefficients with
// each factorisation); each rank, rank 0 included, assembles its band
// (fem/band_assembly.hpp), eliminates the held unknowns from it, hands
// MUMPS the lower triangle of its rows and computes their residual, so
// that no rank holds the whole matrix.
#pragma once

#include <memory>
#include <vector>

#include "driver/pass_storage.hpp"
#include "scalable/row_share.hpp"

// A rank's row source (the factory start_ranks is given; rank 0 makes its own).
std::unique_ptr<scalable::RowSource> make_band_row_source();

// The words of the analysis of `run`'s system: the mesh, its numbering and the test.
std::vector<char> band_pattern_words(const RunStorage& run);

// The words of one factorisation of `run` at omega: the frequency, the
// cell size and the coefficients, into `words`.
void band_values_words(const RunStorage& run, double omega, std::vector<char>& words);
