// One record "j k value" of a per-cell record file.
//
// write_cell_record: unit, cell (j,k) and the value in; the line written is
// exactly record(unit, j, k, value), but it is formatted in a local buffer,
// so the tens of thousands of records of a 60 x 60 sample cost no heap
// allocation each.
#pragma once

#include <cstdint>

void write_cell_record(int unit, std::int32_t j, std::int32_t k, double value);
