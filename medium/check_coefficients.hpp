// Guard run after e_modulus and mass_visco_coef: every coefficient of every
// used cell must be a finite number.
//
// check_coefficients_finite: the eighteen coefficient maps in the order they
// are handed on (elastic, mass, friction) in; nothing out.  A dry cell, a zero
// shale proportion or a zero grain size makes coefficients infinite or NaN,
// which the physical checks let through; such a run would go on to produce
// meaningless results.  The first offending value, scanning cells j outer,
// k inner and the maps in the order of the arguments, is reported as
//   " non-finite coefficient <name> in cell j,k = <j> <k> value <value>"
// on standard output, and the run stops with stop_nonfinite_coefficient.
#pragma once

#include <cstdint>

#include "common/cellmap.hpp"

void check_coefficients_finite(const std::int32_t& nx, const std::int32_t& ny, const RealMap& lambda1,
                               const RealMap& lambda3, const RealMap& mu1, const RealMap& mu3, const RealMap& mu13,
                               const RealMap& b1, const RealMap& b2, const RealMap& m, const RealMap& d3,
                               const RealMap& p11, const RealMap& p12, const RealMap& p13, const RealMap& p22,
                               const RealMap& p23, const RealMap& p33, const RealMap& b11, const RealMap& b12,
                               const RealMap& b22);
