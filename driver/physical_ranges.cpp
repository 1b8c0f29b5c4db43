#include "driver/physical_ranges.hpp"

#include <cstdint>
#include <string>

#include "common/format.hpp"
#include "common/input.hpp"
#include "common/stop.hpp"
#include "medium/cell_fractions.hpp"

namespace {

// The physically possible range of a quantity.
enum class Range {
  positive,      // > 0
  non_negative,  // >= 0
  fraction,      // 0..1
};

bool inside(Range range, double value) {
  switch (range) {
    case Range::positive:
      return value > 0;
    case Range::non_negative:
      return value >= 0;
    case Range::fraction:
      return value >= 0 && value <= 1;
  }
  return false;
}

// Which runs use a real of a layer type.
enum class Use {
  both_models,
  permafrost,     // the ice model only
  shaley_sand,    // the shaley-sand model only
  layered_water,  // the cells that take their water from phi_layer
};

// One real of a layer type: its name, its offset among the twenty lines of
// the layer type, its range, the reason given when it is refused, and the
// runs that use it.
struct LayerItem {
  const char* name;
  LayerReal Deck::*values;
  int offset;
  Range range;
  const char* why;
  Use use;
};

constexpr const char* water_why = "a water proportion lies in 0..1";

// In the order of the deck.
constexpr LayerItem layer_items[] = {
    {"akf", &Deck::akf, 2, Range::positive, "a bulk modulus must be positive", Use::both_models},
    {"ro2", &Deck::ro2, 3, Range::positive, "a density must be positive", Use::both_models},
    {"eta", &Deck::eta, 4, Range::non_negative, "a viscosity cannot be negative", Use::both_models},
    {"ro1", &Deck::ro1, 5, Range::positive, "a density must be positive", Use::both_models},
    {"ro3", &Deck::ro3, 6, Range::positive, "a density must be positive", Use::both_models},
    {"phi_a", &Deck::phi_a, 7, Range::fraction, "a porosity lies in 0..1", Use::permafrost},
    {"phi_layer", &Deck::phi_layer, 8, Range::fraction, water_why, Use::layered_water},
    {"capa_1_0", &Deck::capa_1_0, 9, Range::non_negative, "a permeability cannot be negative", Use::permafrost},
    {"capa_3_0", &Deck::capa_3_0, 10, Range::non_negative, "a permeability cannot be negative", Use::permafrost},
    {"s3", &Deck::s3, 11, Range::fraction, "a proportion lies in 0..1", Use::shaley_sand},
    {"rs1", &Deck::rs1, 12, Range::positive, "a grain size must be positive", Use::shaley_sand},
    {"rs3", &Deck::rs3, 13, Range::positive, "a grain size must be positive", Use::shaley_sand},
    {"coef_b13", &Deck::coef_b13, 14, Range::non_negative, "a friction coefficient cannot be negative",
     Use::both_models},
    {"ak_air", &Deck::ak_air, 15, Range::non_negative, "a bulk modulus cannot be negative", Use::permafrost},
    {"xmu_air", &Deck::xmu_air, 16, Range::non_negative, "a shear modulus cannot be negative", Use::permafrost},
    {"ak_s1", &Deck::ak_s1, 17, Range::positive, "a bulk modulus must be positive", Use::both_models},
    {"xmu_s1", &Deck::xmu_s1, 18, Range::positive, "a shear modulus must be positive", Use::both_models},
    {"ak_s3", &Deck::ak_s3, 19, Range::positive, "a bulk modulus must be positive", Use::both_models},
    {"xmu_s3", &Deck::xmu_s3, 20, Range::positive, "a shear modulus must be positive", Use::both_models},
};

// Whether the run uses the item of layer type i.  A cell takes its water
// from phi_layer in the layered mode, except the ice model's layer-type-1
// cells, which take it from the ice map.
bool item_used(const LayerItem& item, const Deck& deck, int i) {
  const bool permafrost = deck.key_model == permafrost_model;
  switch (item.use) {
    case Use::both_models:
      return true;
    case Use::permafrost:
      return permafrost;
    case Use::shaley_sand:
      return !permafrost;
    case Use::layered_water:
      return deck.model == 0 && !(permafrost && i == 1);
  }
  return false;
}

[[noreturn]] void refuse_deck_item(const Deck& deck, const char* name, int i, int offset, double value,
                                   const char* why) {
  // nl(i) stands on its line; the reals of the layer type follow it, one per line.
  const int line = deck.nl_line(i) + (offset - 1);
  stop_input_parameter("standard input, line " + std::to_string(line) + ": " + name + "(" + std::to_string(i) +
                       ") = " + format_real(value) + " is not admitted (" + why + ")");
}

[[noreturn]] void refuse_cell_value(const char* file, std::int32_t nx, std::int32_t j, std::int32_t k,
                                    double value) {
  const int line = cell_record_line(file, nx, j, k);
  const std::string where = line > 0 ? "line " + std::to_string(line)
                                     : "record " + std::to_string(std::int64_t{k - 1} * nx + j);
  stop_input(std::string(file) + ", " + where + ": the water proportion of cell (" + std::to_string(j) + "," +
             std::to_string(k) + ") = " + format_real(value) + " is not admitted (" + water_why + ")");
}

}  // namespace

void check_physical_ranges(const Deck& deck, const IntMap& matnum, const RealMap& phiw, const RealMap& binary_ice) {
  const bool permafrost = deck.key_model == permafrost_model;

  // --- The layer types that hold at least one cell ---
  bool used[2] = {false, false};
  for (std::int32_t k = 1; k <= deck.ny; ++k) {
    for (std::int32_t j = 1; j <= deck.nx; ++j) {
      const std::int32_t i = matnum(j, k);
      if (i >= 1 && i <= 2) used[i - 1] = true;
    }
  }

  // --- Deck items, layer type by layer type, in the order of the deck ---
  for (int i = 1; i <= deck.nmat; ++i) {
    if (!used[i - 1]) continue;
    for (const LayerItem& item : layer_items) {
      const double value = (deck.*item.values)(i);
      if (item_used(item, deck, i) && !inside(item.range, value)) {
        refuse_deck_item(deck, item.name, i, item.offset, value, item.why);
      }
    }
  }

  // --- Water proportions read from the per-cell files, in file order ---
  for (std::int32_t k = 1; k <= deck.ny; ++k) {
    for (std::int32_t j = 1; j <= deck.nx; ++j) {
      if (permafrost && matnum(j, k) == 1) {
        if (!inside(Range::fraction, binary_ice(j, k))) {
          refuse_cell_value("binary_ice_gnu.dat", deck.nx, j, k, binary_ice(j, k));
        }
      } else if (deck.model == 1 && !inside(Range::fraction, phiw(j, k))) {
        refuse_cell_value("phiw_binary_patchy.dat", deck.nx, j, k, phiw(j, k));
      }
    }
  }
}
