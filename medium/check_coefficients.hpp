// Guard run after e_modulus and mass_visco_coef: every coefficient of every
// used cell must be a finite number.
//
// check_coefficients_finite: the eighteen coefficient maps in; nothing out.  A dry cell, a zero
// shale proportion or a zero grain size makes coefficients infinite or NaN,
// which the physical checks let through; such a run would go on to produce
// meaningless results.  The first offending value, scanning cells j outer,
// k inner and the maps in the order elastic (lambda1, lambda3, mu1, mu3,
// mu13, b1, b2, m, d3), mass (p11 .. p33), friction (b11, b12, b22), is
// reported as
//   " non-finite coefficient <name> in cell j,k = <j> <k> value <value>"
// on standard output, and the run stops with stop_nonfinite_coefficient.
#pragma once

#include <cstdint>

#include "common/cellmap.hpp"

void check_coefficients_finite(const std::int32_t& nx, const std::int32_t& ny, const CoefficientMaps& coef);
