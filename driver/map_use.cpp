#include "driver/map_use.hpp"

#include <cstdio>

#include "medium/cell_fractions.hpp"


std::vector<std::string> unused_map_warnings(const Deck& deck, const IntMap& matnum, bool patchy_present) {
  std::vector<std::string> lines;
  const bool permafrost = deck.key_model == 0;
  const bool ice_cells = some_cell_water(true, deck.key_model, deck.nx, deck.ny, matnum);
  const bool other_cells = some_cell_water(false, deck.key_model, deck.nx, deck.ny, matnum);
  const std::string rule = "(only layer-type-1 cells of the permafrost model, key_model 0, take their water from " +
                           std::string(ice_map_name) + ")";
  if (!ice_cells) {
    lines.push_back(std::string(ice_map_name) + " is read but none of its values is used: " +
                    (permafrost ? "no cell of this deck is of layer type 1 " : "this deck is of the shaley-sand "
                                                                               "model (key_model 1) ") + rule);
  }
  if (deck.model == 1 && !other_cells) {
    lines.push_back(std::string(patchy_map_name) + " is read but every value is replaced by " + ice_map_name +
                    "'s: every cell of this deck is of layer type 1 " + rule +
                    ", so the results do not depend on it");
  }
  if (deck.model == 0 && patchy_present) {
    lines.push_back(std::string(patchy_map_name) + " is never read: this deck is layered (model 0), whose cells "
                    "take their water from phi_layer (model 1 reads the map)");
  }
  return lines;
}

void warn_unused_maps(const char* program, const Deck& deck, const IntMap& matnum, bool patchy_present) {
  for (const std::string& line : unused_map_warnings(deck, matnum, patchy_present)) {
    std::fprintf(stderr, "%s: warning: %s\n", program, line.c_str());
  }
}
