// Mass (inertial) and friction (viscous) coefficients of every cell.
//
// mass_visco_coef: the layer-type densities ro1, ro2, ro3 (kg/m^3),
// permeability constants capa_1_0, capa_3_0 (permafrost model), grain sizes
// rs1, rs3 (shaley-sand model), viscosity eta, solid-solid friction coef_b13
// and the cell water proportions in; out the six mass maps p11, p12, p13,
// p22, p23, p33 (kg/m^3), the three friction maps b11, b12, b22, and the
// fractions s1, s3, phi1, phi3 of the last cell processed, (nx, ny).
// Index 1 is solid 1, 2 the water, 3 solid 3.  In the permafrost model the
// cells of layer type 1 take their water proportion from binary_ice.
// Opens "b11", "b12", "b22" (units 86, 90, 91), writes one record per cell
// to each and leaves them open.  Cell (1,1) is echoed on standard output.
// Stops: 45678, 555 (phase fractions), 99999, 99998 (cell (1,1) friction
// not positive semi-definite).
#pragma once

#include <cstdint>

#include "common/cellmap.hpp"

void mass_visco_coef(const std::int32_t& nx, const std::int32_t& ny, const IntMap& matnum, const LayerReal& phi_a,
                     RealMap& phiw, const LayerReal& s3, const LayerReal& eta, const std::int32_t& key_model,
                     const LayerReal& ro1, const LayerReal& ro2, const LayerReal& ro3, const LayerReal& capa_1_0,
                     const LayerReal& capa_3_0, const LayerReal& rs1, const LayerReal& rs3,
                     const LayerReal& coef_b13, RealMap& p11, RealMap& p12, RealMap& p13, RealMap& p22,
                     RealMap& p23, RealMap& p33, RealMap& b11, RealMap& b12, RealMap& b22, double& s1_frac,
                     double& s3_frac, double& phi1_frac, double& phi3_frac, const RealMap& binary_ice);
