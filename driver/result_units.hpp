// The result files of a run and the numbered units they are written
// through, in one table.  Units 54 and 18 are never opened by name: the
// first record written to them creates "fort.54" and "fort.18".
#pragma once

namespace result_unit {
constexpr int matnum = 2, matnum_gnu = 22;  // the material map
constexpr int real_strain1 = 30, imag_strain1 = 31, real_strain3 = 32, imag_strain3 = 33;
constexpr int real_stress = 34, imag_stress = 35;
constexpr int vp_anal = 75, vp_eq = 76, thousand_over_q_eq = 77, thousand_over_q_anal = 78;
constexpr int mod_pressure = 98, mod_grad_pressure = 99;
constexpr int q_mstar3 = 54;  // frequency and Q of mstar3
constexpr int mstar3 = 18;    // frequency, Re and Im of mstar3
}  // namespace result_unit

struct ResultFile {
  int unit;
  const char* name;
};

// The files opened at the start of every run, in this order, and kept open
// until it ends, so that every run leaves them.
inline constexpr ResultFile result_files[] = {
    {result_unit::vp_anal, "vp_anal.phiw"},
    {result_unit::vp_eq, "vp_eq.phiw"},
    {result_unit::thousand_over_q_eq, "1000_over_q_eq.phiw"},
    {result_unit::thousand_over_q_anal, "1000_over_q_anal.phiw"},
    {result_unit::mod_pressure, "mod_pressure_p33_ice"},
    {result_unit::mod_grad_pressure, "mod_grad_pressure_p33_ice"},
    {result_unit::real_strain1, "real_strain1_map"},
    {result_unit::imag_strain1, "imag_strain1_map"},
    {result_unit::real_strain3, "real_strain3_map"},
    {result_unit::imag_strain3, "imag_strain3_map"},
    {result_unit::real_stress, "real_stress_map"},
    {result_unit::imag_stress, "imag_stress_map"},
};
