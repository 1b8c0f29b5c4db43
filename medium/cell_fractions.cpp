#include "medium/cell_fractions.hpp"

#include <cmath>
#include <string>

#include "common/format.hpp"
#include "common/stop.hpp"

void require_known_model(const std::int32_t& key_model, std::string_view routine) {
  if (key_model != permafrost_model && key_model != shaley_sand_model) {
    stop_run(stop_bad_parameter,
             record_text(std::string(routine) + ": key_model must be 0 (permafrost) or 1 (shaley sand), found",
                         key_model));
  }
}

double cell_water(const std::int32_t& key_model, const std::int32_t& i, const std::int32_t& j, const std::int32_t& k,
                  RealMap& phiw, const RealMap& binary_ice) {
  if (water_from_ice_map(key_model, i)) phiw(j, k) = binary_ice(j, k);
  return phiw(j, k);
}

bool some_cell_water(bool from_ice_map, std::int32_t key_model, std::int32_t nx, std::int32_t ny, const IntMap& matnum) {
  for (std::int32_t k = 1; k <= ny; ++k) {
    for (std::int32_t j = 1; j <= nx; ++j) {
      if (water_from_ice_map(key_model, matnum(j, k)) == from_ice_map) return true;
    }
  }
  return false;
}

CellFractions cell_fractions(const std::int32_t& key_model, const double& phi_a, const double& s3_layer,
                             const double& phiw) {
  CellFractions f{};
  if (key_model == permafrost_model) {
    // The pores (phi_a) hold water and ice; the rest is mineral.
    f.phi1 = 1 - phi_a;
    f.phi3 = phi_a - phiw;
    if (f.phi3 <= 0 || f.phi3 >= 1) stop_run(45678);
    f.s3 = f.phi3 / (1 - phiw);
    f.s3_prima = f.phi3 / (1 - f.phi1);
    f.s1 = 1 - f.s3;
    f.Sw = phiw / phi_a;
  } else {
    // Sand and shale share the solid part 1 - phiw in the layer's proportion.
    f.s3 = s3_layer;
    f.phi3 = f.s3 * (1 - phiw);
    f.s1 = 1 - f.s3;
    f.phi1 = f.s1 * (1 - phiw);
  }
  f.control = (f.phi1 + phiw) + f.phi3;
  return f;
}

void check_control(const double& control) {
  if (std::abs(control - 1) >= 1e-15) stop_run(555);
}

void echo_fractions(const double& phiw, const CellFractions& f, std::string_view phi1_label,
                    std::string_view s1_label) {
  write_line(stdout_unit, "porosity (water proportion)  =" + format_g(phiw, 10, 5));
  record(stdout_unit);
  write_line(stdout_unit, std::string(phi1_label) + format_g(f.phi1, 10, 5));
  write_line(stdout_unit, "bulk solid 3 fraction phi3   =" + format_g(f.phi3, 10, 5));
  write_line(stdout_unit, std::string(s1_label) + format_g(f.s1, 10, 5));
  write_line(stdout_unit, "solid 3 matrix fraction s3   =" + format_g(f.s3, 10, 5));
  record(stdout_unit);
}

void echo_asterisk_lines() {
  record(stdout_unit, "************************** ");
  record(stdout_unit, "************************** ");
}
