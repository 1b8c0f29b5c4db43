// Refinement of a sample: every cell of the deck split into K x K cells
// that carry its values, so that the physical sample stays the same while
// the cell side becomes h/K.
//
// The deck's nx, ny and layer counts nl(i) are multiplied by K (layer
// thicknesses stay the same) and h = domain_size/ny is formed again from the
// new ny; the per-cell files keep the deck's own cells, one record per
// coarse cell, and each record's value fills the K x K cells it covers.  A
// refined deck thus gives, file for file, what the same sample written out
// cell by cell on the fine mesh gives.
#pragma once

#include <cstdint>

#include "common/cellmap.hpp"
#include "driver/readata.hpp"

// Refines `deck` by `factor` (1 leaves it as it is).  A factor below 1, or
// a mesh or layer count beyond 32-bit integers, stops with
// stop_bad_parameter.
void refine_deck(Deck& deck, std::int32_t factor);

// fine(j,k) = coarse((j-1)/factor + 1, (k-1)/factor + 1) over the fine
// nx x ny cells.
void refine_map(const RealMap& coarse, std::int32_t factor, std::int32_t nx, std::int32_t ny, RealMap& fine);

// The value of a --refine option: a whole number of at least 1; anything
// else stops with stop_bad_parameter and `usage`.
std::int32_t refine_factor(const char* text, const char* usage);
