// Water proportion of every cell.
#pragma once

#include <cstdint>

#include "common/cellmap.hpp"

// model = 0 (layered): each cell takes the water proportion phi_layer of its
// layer type matnum(j,k).  model = 1 (patchy): each cell takes its value of
// `patchy`, the per-cell map read once per run by read_patchy_map (a run
// at many frequencies computes all of them from the same map).
void porosity(const std::int32_t& nx, const std::int32_t& ny, const LayerReal& phi_layer, const std::int32_t& model,
              const RealMap& patchy, RealMap& phiw, const IntMap& matnum);

// The per-cell water proportion of the patchy model from
// "phiw_binary_patchy.dat", one record j, k, value per cell, row by row
// from the bottom; the value lands at the cell that the record's place in
// the file gives (the two integers are read and discarded).  A missing
// file, a short file or an unreadable record stops the run with a message
// naming the file and the line.
void read_patchy_map(std::int32_t nx, std::int32_t ny, RealMap& patchy);
