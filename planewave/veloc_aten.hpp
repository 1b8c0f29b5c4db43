// Analytic phase speeds and attenuations of the five plane-wave modes (three
// compressional, two shear) of the homogeneous three-phase medium of every
// cell (j,k), j = 1..nx, k = 1..ny, at the angular frequency omega.
//
// In: the mass maps p11..p33 (kg/m^3), the friction maps b11, b12, b22 and
// the elastic maps lambda1..d3 (Pa).  Out: the speeds vp1, vp2, vp3, vs1,
// vs2 (m/s) and the values 1000/Q of the same modes, of the last cell
// (nx, ny).  Echo on unit 6: the frequency banner at the first cell, the
// results of the centre cell (nx/2, ny/2), an empty record at the end.
// With slowest_vp1 (not null), also the smallest vp1 of all cells: the
// slowest rock any part of the sample holds.
// Stops: 2000..2004 when vp1, vp2, vp3, vs1 or vs2 is not positive,
// stop_infinite_speed when a mode does not propagate (Re s = 0 up to
// rounding: an infinite or absurdly large speed) or its speed is not a
// number.
#pragma once

#include <cstdint>

#include "common/cellmap.hpp"

// A speed that is infinite or absurdly large (a slowness with practically no
// real part: the mode does not propagate) or not a number (singular
// stiffness).  2005 & 255 = 213
// collides with no other stop number of the program.
constexpr int stop_infinite_speed = 2005;

void veloc_aten(const std::int32_t& nx, const std::int32_t& ny, const double& omega,
                const RealMap& p11, const RealMap& p12, const RealMap& p13, const RealMap& p22,
                const RealMap& p23, const RealMap& p33, const RealMap& b11, const RealMap& b12,
                const RealMap& b22, const RealMap& lambda1, const RealMap& lambda3, const RealMap& mu1,
                const RealMap& mu3, const RealMap& mu13, const RealMap& b1, const RealMap& b2,
                const RealMap& m, const RealMap& d3, double& vp1, double& vp2, double& vp3, double& vs1,
                double& vs2, double& thousand_over_qp1, double& thousand_over_qp2,
                double& thousand_over_qp3, double& thousand_over_qs1, double& thousand_over_qs2,
                double* slowest_vp1 = nullptr);
