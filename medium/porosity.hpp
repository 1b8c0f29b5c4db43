// Water proportion of every cell.
#pragma once

#include <cstdint>

#include "common/cellmap.hpp"

// model = 0 (layered): each cell takes the water proportion phi_layer of its
// layer type matnum(j,k).  model = 1 (patchy): the proportion of every cell
// is read from "phiw_binary_patchy.dat", one record j, k, value per cell,
// row by row from the bottom; the value lands at the cell that the record's
// place in the file gives (the two integers are read and discarded).  A
// missing file, a short file or an unreadable record stops the run with a
// message naming the file and the line.
void porosity(const std::int32_t& nx, const std::int32_t& ny, const LayerReal& phi_layer, const std::int32_t& model,
              RealMap& phiw, const IntMap& matnum);
