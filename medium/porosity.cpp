#include "medium/porosity.hpp"

#include "common/input.hpp"

void porosity(const std::int32_t& nx, const std::int32_t& ny, const LayerReal& phi_layer, const std::int32_t& model,
              const RealMap& patchy, RealMap& phiw, const IntMap& matnum) {
  for (std::int32_t k = 1; k <= ny; ++k) {
    for (std::int32_t j = 1; j <= nx; ++j) {
      // model is 0 or 1 (the deck reader admits no other).
      phiw(j, k) = model == 0 ? phi_layer(matnum(j, k)) : patchy(j, k);
    }
  }
}

void read_patchy_map(std::int32_t nx, std::int32_t ny, RealMap& patchy) {
  read_cell_map("phiw_binary_patchy.dat", "the per-cell water proportion file", "the water proportion", nx, ny, patchy);
}
