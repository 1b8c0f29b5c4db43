// The format of the sweep's table, "frequency_sweep.dat": one owner for
// its names, widths and positions, used by its writer (the sweep) and its
// readers (the study's summary).
//
// A header line, then one row per frequency.  Every field is right-justified
// in column_width characters; the header names the columns in the same
// fields, after the convention of common/table_header.hpp (no comment
// marker, the unit at the end of each name).  Values are written in the
// shortest form that reads back to the same double.  Columns, 1-based:
//   1  frequency_Hz              2  omega_rad_per_s
//   3  velocity_c33_m_per_s      4  thousand_over_Q_c33   of c33 (|Im/Re|)
//   5  Re_c33_Pa                 6  Im_c33_Pa
//   7  Re_mstar_Pa               8  Im_mstar_Pa
//   9  vp1_m_per_s              10  thousand_over_qp1     analytic P1 of the last cell
//  11  Re_Mw_Pa                 12  Im_Mw_Pa              work-conjugate modulus
//  13  velocity_w_m_per_s       14  thousand_over_Q_w     of Mw, signed
//  15  velocity_mstar_m_per_s   16  thousand_over_Q_mstar of mstar, signed
//  17  density_kg_per_m3                                  the average density rob_med
// and, for a sample whose every row is uniform (a layered sample), the
// exact one-dimensional solution under the same load:
//  18  Re_Mw_exact_Pa           19  Im_Mw_exact_Pa
//  20  error_w                                            |Mw - Mw_exact| / |Mw_exact|
//  21  velocity_w_exact_m_per_s 22  thousand_over_Q_w_exact
// then, with --error-estimate, the Richardson estimates from the same
// sample at h/2: of the relative error of Mw, of the relative error of its
// velocity and of the absolute error of its 1000/Q (in its own units):
//      error_estimate_w  error_estimate_vel_w  error_estimate_thousand_over_Q_w
// then, always, the shortest diffusion length of the cells' slow mode in
// cells of the mesh (below about 3 the mesh does not resolve it), and last
// the row's flags, words joined by commas or "ok" (sweep/one_frequency.hpp,
// row_flags: rig, unresolved, rounding, not_dissipative):
//      diffusion_length_cells  flags
//
// Beside it, for a layered sample, "sweep_limits.dat": the rows "relaxed"
// (omega -> 0, the coefficients at fmin) and "unrelaxed" (omega ->
// infinity, the coefficients at fmax) of the exact Mw, with its velocity
// (nan where the sample has no closed form):
//      limit  Mw_Pa  velocity_m_per_s
#pragma once

#include <array>
#include <string_view>

namespace sweep_table {

inline constexpr const char* file_name = "frequency_sweep.dat";
// The table while it grows; renamed to file_name once its last row is
// written, so that a table under file_name is always complete.
inline constexpr const char* partial_name = "frequency_sweep.dat.partial";

inline constexpr int column_width = 24;

inline constexpr std::array<std::string_view, 17> columns = {
    "frequency_Hz",       "omega_rad_per_s",   "velocity_c33_m_per_s",   "thousand_over_Q_c33",
    "Re_c33_Pa",          "Im_c33_Pa",         "Re_mstar_Pa",            "Im_mstar_Pa",
    "vp1_m_per_s",        "thousand_over_qp1", "Re_Mw_Pa",               "Im_Mw_Pa",
    "velocity_w_m_per_s", "thousand_over_Q_w", "velocity_mstar_m_per_s", "thousand_over_Q_mstar",
    "density_kg_per_m3"};

inline constexpr std::array<std::string_view, 5> exact_columns = {
    "Re_Mw_exact_Pa", "Im_Mw_exact_Pa", "error_w", "velocity_w_exact_m_per_s", "thousand_over_Q_w_exact"};

inline constexpr std::array<std::string_view, 3> error_estimate_columns = {
    "error_estimate_w", "error_estimate_vel_w", "error_estimate_thousand_over_Q_w"};

inline constexpr std::string_view diffusion_column = "diffusion_length_cells";
inline constexpr std::string_view flags_column = "flags";
// Room for three flags at once; more run past the field, after one blank.
inline constexpr int flags_width = 40;

// Fewer cells than this across the diffusion length do not resolve it.
inline constexpr double resolved_cells = 3.0;
// The size, relative to |M|, below which a negative Im M is rounding.
inline constexpr double rounding_level = 1e-8;

// The exact limits of a layered sample.
inline constexpr const char* limits_name = "sweep_limits.dat";
inline constexpr std::array<std::string_view, 3> limits_columns = {"limit", "Mw_Pa", "velocity_m_per_s"};

// 1-based positions of the columns that readers look up.
inline constexpr int frequency = 1;
inline constexpr int velocity_c33 = 3, thousand_over_q_c33 = 4;
inline constexpr int velocity_w = 13, thousand_over_q_w = 14;
inline constexpr int velocity_mstar = 15, thousand_over_q_mstar = 16;
inline constexpr int density = 17;
inline constexpr int re_mw_exact = 18, error_w = 20, velocity_w_exact = 21, thousand_over_q_w_exact = 22;

}  // namespace sweep_table
