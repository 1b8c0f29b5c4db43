#include "medium/porosity.hpp"

#include "common/input.hpp"

void porosity(const std::int32_t& nx, const std::int32_t& ny, const LayerReal& phi_layer, const std::int32_t& model,
              RealMap& phiw, const IntMap& matnum) {
  if (model == 0) {
    for (std::int32_t k = 1; k <= ny; ++k) {
      for (std::int32_t j = 1; j <= nx; ++j) phiw(j, k) = phi_layer(matnum(j, k));
    }
    return;
  }
  // model = 1 (the deck reader admits only 0 and 1): the per-cell map.
  read_cell_map("phiw_binary_patchy.dat", "the per-cell water proportion file", "the water proportion", nx, ny, phiw);
}
