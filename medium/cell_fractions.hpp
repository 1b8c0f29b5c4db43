// Volume fractions of the three phases of one cell, shared by e_modulus and
// mass_visco_coef.
//
// Phases: solid 1 (mineral frame), solid 3 (ice or shale), water.
//   phi1, phi3   bulk fractions of solid 1 and solid 3 (phi1 + phi3 + phiw = 1)
//   s1, s3       matrix fractions: the share of each solid in the solid part
//   s3_prima     ice content of the pore space      (permafrost model only)
//   Sw           water saturation of the pore space  (permafrost model only)
//   control      (phi1 + phiw) + phi3, which must be 1
#pragma once

#include <cstdint>
#include <string_view>

#include "common/cellmap.hpp"

struct CellFractions {
  double phi1;
  double phi3;
  double s1;
  double s3;
  double s3_prima;
  double Sw;
  double control;
};

// The medium models selected by key_model.
constexpr std::int32_t permafrost_model = 0;  // solid 3 is ice; phi_a - phiw is ice
constexpr std::int32_t shaley_sand_model = 1; // solid 3 is shale, in proportion s3

// Stops with stop_bad_parameter unless key_model selects one of the two models
// (any other value would leave the fractions undefined).
void require_known_model(const std::int32_t& key_model, std::string_view routine);

// Which map feeds which cell: a cell of layer type i takes its water from
// the ice map in the permafrost model when i is 1; every other cell takes
// it from the water map porosity() filled (the patchy map in model 1,
// phi_layer in model 0).
constexpr bool water_from_ice_map(std::int32_t key_model, std::int32_t i) {
  return key_model == permafrost_model && i == 1;
}
// Whether some cell of the nx x ny layer-type map takes its water from the
// ice map (from_ice_map) or from the other map (!from_ice_map).
bool some_cell_water(bool from_ice_map, std::int32_t key_model, std::int32_t nx, std::int32_t ny, const IntMap& matnum);

// Water proportion of cell (j,k) of layer type i.  In the permafrost model
// every cell of layer type 1 takes it from the ice map, stored back into
// phiw so that every later user of the map sees it.
double cell_water(const std::int32_t& key_model, const std::int32_t& i, const std::int32_t& j, const std::int32_t& k,
                  RealMap& phiw, const RealMap& binary_ice);

// Fractions of a cell of water proportion phiw in a layer type of absolute
// porosity phi_a and shale proportion s3_layer.  In the permafrost model an
// ice fraction outside (0, 1) stops the run with 45678 (a NaN passes).
CellFractions cell_fractions(const std::int32_t& key_model, const double& phi_a, const double& s3_layer,
                             const double& phiw);

// Stops with 555 when |control - 1| >= 1e-15 (a NaN passes).
void check_control(const double& control);

// The five labelled fractions of the cell (1,1) echo, G10.5 fields; the two
// routines label phi1 and s1 with their own names.
void echo_fractions(const double& phiw, const CellFractions& f, std::string_view phi1_label,
                    std::string_view s1_label);

// "************************** " (26 asterisks and a blank), written twice.
void echo_asterisk_lines();
