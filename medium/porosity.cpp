#include "medium/porosity.hpp"

#include <fstream>
#include <string>

#include "common/input.hpp"
#include "common/stop.hpp"

void porosity(const std::int32_t& nx, const std::int32_t& ny, const LayerReal& phi_layer, const std::int32_t& model,
              RealMap& phiw, const IntMap& matnum) {
  if (model == 0) {
    for (std::int32_t k = 1; k <= ny; ++k) {
      for (std::int32_t j = 1; j <= nx; ++j) phiw(j, k) = phi_layer(matnum(j, k));
    }
    return;
  }
  if (model != 1) return;  // the deck reader admits only 0 and 1

  const std::string name = "phiw_binary_patchy.dat";
  std::ifstream file(name);
  if (!file) stop_input("cannot open \"" + name + "\": the per-cell water proportion file is missing or unreadable");
  LineInput input(file, name);
  for (std::int32_t k = 1; k <= ny; ++k) {
    for (std::int32_t j = 1; j <= nx; ++j) {
      phiw(j, k) = input.cell_record_value("the water proportion of cell (" + std::to_string(j) + "," +
                                           std::to_string(k) + ")");
    }
  }
}
