// The writers of the sweep's tables: the sweep's own table and its limits
// (their formats in sweep/sweep_table.hpp) and the tensor's stiffness and
// angle tables (sweep/tensor_tables.hpp), each row written as its
// frequency comes in grid order.
#pragma once

#include <string>

#include "common/unit_numbers.hpp"
#include "exact/layered_exact.hpp"
#include "sweep/one_frequency.hpp"

// The units of the sweep's table and of the tensor's two tables.
inline constexpr int table_unit = result_unit::sweep_table;
inline constexpr int stiffness_unit = result_unit::sweep_stiffness, angle_unit = result_unit::sweep_angle;

// The header line of the sweep's table: its columns with the exact
// solution of a layered sample and with the error estimate, then its flags.
void write_table_header(bool layered, bool refined);

// One row: every value in the shortest form that reads back to the same
// double, as the program's echo writes it.  The row is on disk when this
// returns; a row that cannot be written stops the sweep, since every later
// row would be lost too.
void write_table_row(double frequency, const SweepPoint& point, bool periodic, const std::string& where);

// The exact limits of Mw of a layered sample in a table of their own,
// beside the sweep's table (nan where the sample has no closed form).
void write_limits_table(const LayeredLimits& low, const LayeredLimits& high, double rob_med);

// The header lines of the tensor's two tables.
void write_tensor_headers(bool periodic, bool layered, bool refined);

// The rows of one frequency in both tables of the tensor.
void write_tensor_rows(double frequency, const SweepPoint& point, double angle_step, const std::string& where);
