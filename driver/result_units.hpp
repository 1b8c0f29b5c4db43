// The result files of a run and the numbered units they are written
// through (common/unit_numbers.hpp).
#pragma once

#include "common/unit_numbers.hpp"

inline constexpr const char* phiw_used_name = "phiw_used.dat";
inline constexpr const char* work_modulus_name = "work_modulus.dat";

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
