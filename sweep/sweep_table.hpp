// The format of the sweep's table, "frequency_sweep.dat": one owner for
// its names, widths and positions, used by its writer (the sweep) and its
// readers (the study's summary).
//
// A header line, then one row per frequency.  Every field is right-justified
// in column_width characters; the header names the columns in the same
// fields, its first character replaced by "#" so that plotting programs
// read it as a comment.  Values are written in the shortest form that
// reads back to the same double.  Columns, 1-based:
//   1  frequency(Hz)        2  omega(rad/s)
//   3  velocity(m/s)        4  1000/Q            of c33 (|Im/Re|)
//   5  Re(c33)(Pa)          6  Im(c33)(Pa)
//   7  Re(mstar)(Pa)        8  Im(mstar)(Pa)
//   9  vp1(m/s)            10  1000/qp1          analytic P1 of the last cell
//  11  Re(Mw)(Pa)          12  Im(Mw)(Pa)        work-conjugate modulus
//  13  velocity_w(m/s)     14  1000/Q_w          of Mw, signed
//  15  velocity_mstar(m/s) 16  1000/Q_mstar      of mstar, signed
// and, for a sample whose every row is uniform (a layered sample), the
// exact one-dimensional solution under the same load:
//  17  Re(Mw_exact)(Pa)    18  Im(Mw_exact)(Pa)
//  19  error_w              |Mw - Mw_exact| / |Mw_exact|
// then, with --error-estimate, the Richardson estimates from the same
// sample at h/2: of the relative error of Mw, of the relative error of its
// velocity and of the absolute error of its 1000/Q (in its own units):
//      error_estimate_w  error_estimate_vel_w  error_estimate_1000/Q_w
// then, always, the shortest diffusion length of the cells' slow mode in
// cells of the mesh (below about 3 the mesh does not resolve it), and last
// the row's flags, words joined by commas or "ok" (sweep/sweep.cpp,
// row_flags: rig, unresolved, rounding, not_dissipative):
//      diffusion_length(cells)  flags
#pragma once

#include <array>
#include <string_view>

namespace sweep_table {

inline constexpr const char* file_name = "frequency_sweep.dat";
// The table while it grows; renamed to file_name once its last row is
// written, so that a table under file_name is always complete.
inline constexpr const char* partial_name = "frequency_sweep.dat.partial";

inline constexpr int column_width = 24;

inline constexpr std::array<std::string_view, 16> columns = {
    "frequency(Hz)", "omega(rad/s)", "velocity(m/s)",       "1000/Q",      "Re(c33)(Pa)", "Im(c33)(Pa)",
    "Re(mstar)(Pa)", "Im(mstar)(Pa)", "vp1(m/s)",           "1000/qp1",    "Re(Mw)(Pa)",  "Im(Mw)(Pa)",
    "velocity_w(m/s)", "1000/Q_w",    "velocity_mstar(m/s)", "1000/Q_mstar"};

inline constexpr std::array<std::string_view, 3> exact_columns = {"Re(Mw_exact)(Pa)", "Im(Mw_exact)(Pa)",
                                                                  "error_w"};

inline constexpr std::array<std::string_view, 3> error_estimate_columns = {
    "error_estimate_w", "error_estimate_vel_w", "error_estimate_1000/Q_w"};

inline constexpr std::string_view diffusion_column = "diffusion_length(cells)";
inline constexpr std::string_view flags_column = "flags";
// Room for three flags at once; more run past the field, after one blank.
inline constexpr int flags_width = 40;

// Fewer cells than this across the diffusion length do not resolve it.
inline constexpr double resolved_cells = 3.0;
// The size, relative to |M|, below which a negative Im M is rounding.
inline constexpr double rounding_level = 1e-8;

// 1-based positions of the columns that readers look up.
inline constexpr int frequency = 1;
inline constexpr int velocity_c33 = 3, thousand_over_q_c33 = 4;
inline constexpr int velocity_w = 13, thousand_over_q_w = 14;
inline constexpr int velocity_mstar = 15, thousand_over_q_mstar = 16;

}  // namespace sweep_table
