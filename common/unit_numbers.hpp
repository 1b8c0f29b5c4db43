// Every numbered output unit of the programs, in one table, so that two
// files never share a unit by accident.  Units 54 and 18 are never opened
// by name: the first record written to them creates "fort.54" and
// "fort.18".  Unit 54 is also the record file of lambda1: e_modulus closes
// it, so that the table of Q of mstar3 written later lands in a fresh
// "fort.54".
#pragma once

namespace result_unit {
// The run's result files (driver/result_units.hpp names them).
constexpr int matnum = 2, matnum_gnu = 22;  // the material map
constexpr int real_strain1 = 30, imag_strain1 = 31, real_strain3 = 32, imag_strain3 = 33;
constexpr int real_stress = 34, imag_stress = 35;
constexpr int vp_anal = 75, vp_eq = 76, thousand_over_q_eq = 77, thousand_over_q_anal = 78;
constexpr int mod_pressure = 98, mod_grad_pressure = 99;
constexpr int q_mstar3 = 54;  // frequency and Q of mstar3
constexpr int mstar3 = 18;    // frequency, Re and Im of mstar3
// Written by upscale at the end of its pass, beside the files above.
constexpr int phiw_used = 36;     // "phiw_used.dat": j, k, the water proportion the cell used
constexpr int work_modulus = 37;  // "work_modulus.dat": the table of Mw (common/table_header.hpp)

// The record files of the elastic maps (e_modulus), one record "j k
// value" per cell.
constexpr int mu1 = 50, mu3 = 51, mu13 = 52, lambda1 = 54, lambda3 = 55, b1 = 56, b2 = 57, m = 58, d3 = 59;
// The friction maps (mass_visco_coef).
constexpr int b11 = 86, b12 = 90, b22 = 91;

// The frequency sweep's table, stiffness table and angle table.
constexpr int sweep_table = 60, sweep_stiffness = 61, sweep_angle = 62;
}  // namespace result_unit
