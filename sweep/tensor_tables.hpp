// The formats of the two tables of the effective stiffness that
// `upscale_sweep --tensor` writes: one owner for their names, widths and
// positions, used by their writer (the sweep) and their readers (tests,
// plots, studies).  Each is a header line, then one row per frequency (or
// per frequency and angle), every field right-justified in column_width
// characters, the header after the convention of common/table_header.hpp
// (no comment marker, the unit at the end of each name); values in the
// shortest form that reads back to the same double.
//
// "effective_stiffness.dat", one row per frequency, columns 1-based:
//   1  frequency_Hz
//   2  Re_c11_Pa    3  Im_c11_Pa      horizontal test
//   4  Re_c13_Pa    5  Im_c13_Pa      vertical test, <s_xx>/<e_zz>
//   6  Re_c13h_Pa   7  Im_c13h_Pa     horizontal test, <s_zz>/<e_xx>
//   8  Re_c33_Pa    9  Im_c33_Pa      vertical test
//  10  Re_c55_Pa   11  Im_c55_Pa      shear test
//  12  c13_difference                     |c13 - c13h| / |c13|
//  13  density_kg_per_m3                     the average density rob_med
//  14  vp1_m_per_s      15  vs1_m_per_s         analytic P1 and S1 of the last cell
// and under periodic sides, whose tests also give the couplings of normal
// strain and shear:
//  16  Re_c15_Pa   17  Im_c15_Pa      mean of <s_xz>/e_xx and <s_xx>/gamma_xz
//  18  Re_c35_Pa   19  Im_c35_Pa      mean of <s_xz>/e_zz and <s_zz>/gamma_xz
//  20  reciprocity_difference             largest |c_ij - c_ji| / max |c|
// and, for a sample whose every row is uniform, the exact stiffness of the
// infinite periodic stack and the relative error of each component:
//  21-28  Re_c11_exact_Pa, Im_c11_exact_Pa, ... of c11, c13, c33, c55
//  29-32  error_c11, error_c13, error_c33, error_c55
// and last, with --error-estimate, the Richardson estimates from the same
// sample at h/2: for c11, c13, c33 and c55 in turn, the relative error of
// the modulus and the absolute error of its thousand_over_Q:
//         estimate_c11  estimate_thousand_over_Q_c11  ...  estimate_c55  estimate_thousand_over_Q_c55
//
// "angle_sweep.dat", one row per frequency and angle (angles inner; 0 to
// 90 degrees under closed walls, 0 to 180 under periodic sides, where the
// sample need not be symmetric about the vertical):
//   1  frequency_Hz  2  angle_deg       from the vertical
//   3  qP_velocity_m_per_s   4  qP_thousand_over_Q    (signed)
//   5  qSV_velocity_m_per_s  6  qSV_thousand_over_Q   (signed)
// and, with --error-estimate, the Richardson estimates of the relative
// error of each velocity and the absolute error of each thousand_over_Q:
//   7  estimate_qP_vel    8  estimate_qP_thousand_over_Q
//   9  estimate_qSV_vel  10  estimate_qSV_thousand_over_Q
#pragma once

#include <array>
#include <string_view>

namespace tensor_table {

inline constexpr int column_width = 24;

inline constexpr const char* stiffness_name = "effective_stiffness.dat";
inline constexpr const char* stiffness_partial_name = "effective_stiffness.dat.partial";
inline constexpr std::array<std::string_view, 15> stiffness_columns = {
    "frequency_Hz", "Re_c11_Pa", "Im_c11_Pa",    "Re_c13_Pa",    "Im_c13_Pa",
    "Re_c13h_Pa",  "Im_c13h_Pa", "Re_c33_Pa",   "Im_c33_Pa",    "Re_c55_Pa",
    "Im_c55_Pa",   "c13_difference", "density_kg_per_m3", "vp1_m_per_s",     "vs1_m_per_s"};

inline constexpr std::array<std::string_view, 5> periodic_columns = {
    "Re_c15_Pa", "Im_c15_Pa", "Re_c35_Pa", "Im_c35_Pa", "reciprocity_difference"};

inline constexpr std::array<std::string_view, 12> exact_columns = {
    "Re_c11_exact_Pa", "Im_c11_exact_Pa", "Re_c13_exact_Pa", "Im_c13_exact_Pa",
    "Re_c33_exact_Pa", "Im_c33_exact_Pa", "Re_c55_exact_Pa", "Im_c55_exact_Pa",
    "error_c11",         "error_c13",         "error_c33",         "error_c55"};

inline constexpr std::array<std::string_view, 8> estimate_columns = {
    "estimate_c11", "estimate_thousand_over_Q_c11", "estimate_c13", "estimate_thousand_over_Q_c13",
    "estimate_c33", "estimate_thousand_over_Q_c33", "estimate_c55", "estimate_thousand_over_Q_c55"};

inline constexpr std::array<std::string_view, 4> angle_estimate_columns = {
    "estimate_qP_vel", "estimate_qP_thousand_over_Q", "estimate_qSV_vel", "estimate_qSV_thousand_over_Q"};

inline constexpr const char* angle_name = "angle_sweep.dat";
inline constexpr const char* angle_partial_name = "angle_sweep.dat.partial";
inline constexpr std::array<std::string_view, 6> angle_columns = {
    "frequency_Hz", "angle_deg", "qP_velocity_m_per_s", "qP_thousand_over_Q", "qSV_velocity_m_per_s", "qSV_thousand_over_Q"};

// 1-based positions that readers look up.
inline constexpr int re_c11 = 2, re_c13 = 4, re_c13h = 6, re_c33 = 8, re_c55 = 10;  // Im follows each
inline constexpr int c13_difference = 12, density = 13, vp1 = 14, vs1 = 15;
inline constexpr int re_c15 = 16, re_c35 = 18, reciprocity_difference = 20;
inline constexpr int re_c11_exact = 21, re_c13_exact = 23, re_c33_exact = 25, re_c55_exact = 27;  // Im follows each
inline constexpr int error_c11 = 29, error_c13 = 30, error_c33 = 31, error_c55 = 32;
inline constexpr int angle = 2, velocity_qp = 3, thousand_over_q_qp = 4, velocity_qsv = 5, thousand_over_q_qsv = 6;

}  // namespace tensor_table
