// Elastic coefficients of the three-phase poroelastic medium of every cell.
//
// e_modulus: layer-type properties (moduli in Pa, fluid viscosity eta), the
// cell water proportions phiw and the material map in; the nine per-cell
// elastic maps out (Pa): lambda1, lambda3, mu1, mu3, mu13, b1, b2, m, d3.
// In the permafrost model (key_model = 0) every cell of layer type 1 first
// takes its water proportion from binary_ice, stored back into phiw.
// Cell (1,1) is echoed on standard output; with cycle = 1 every cell's
// values also go to the record files "xmu1_gnu" ... "d3_gnu" (units 50-59),
// which are closed before the routine returns.  Stops: 45678, 555 (phase
// fractions), 12345, 12346 (cell (1,1) lambdas), 45687, 45688 (strain energy).
#pragma once

#include <cstdint>

#include "common/cellmap.hpp"

void e_modulus(const std::int32_t& nx, const std::int32_t& ny, const IntMap& matnum, const LayerReal& phi_a,
               RealMap& phiw, const LayerReal& s3, const LayerReal& akf, const LayerReal& eta, const double& omega,
               const LayerReal& ak_air, const LayerReal& xmu_air, const LayerReal& ak_s3, const LayerReal& xmu_s3,
               const LayerReal& ak_s1, const LayerReal& xmu_s1, const std::int32_t& key_model, RealMap& lambda1,
               RealMap& lambda3, RealMap& mu1, RealMap& mu3, RealMap& mu13, RealMap& b1, RealMap& b2, RealMap& m,
               RealMap& d3, const std::int32_t& cycle, const RealMap& binary_ice);
