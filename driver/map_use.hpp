// Which per-cell map each cell reads its water proportion from, and the
// warnings for a map whose values the deck at hand never uses.
//
// The rule: a cell of layer type 1 in the permafrost model (key_model 0)
// takes its water from "binary_ice_gnu.dat"; every other cell takes it
// from "phiw_binary_patchy.dat" in the patchy model (model 1) and from its
// layer's phi_layer in the layered model (model 0).  The ice map is read
// in every run, the patchy map in every run of model 1.
#pragma once

#include <string>
#include <vector>

#include "common/cellmap.hpp"
#include "driver/readata.hpp"

inline constexpr const char* ice_map_name = "binary_ice_gnu.dat";
inline constexpr const char* patchy_map_name = "phiw_binary_patchy.dat";

// One line per map whose values no cell of the deck uses, naming the file
// and the rule; `patchy_present` tells whether "phiw_binary_patchy.dat" is
// in the run's directory (a layered deck never reads it).  Empty when
// every map the deck reads shapes some cell.
std::vector<std::string> unused_map_warnings(const Deck& deck, const IntMap& matnum, bool patchy_present);

// The same lines on standard error, each after "PROGRAM: warning: ".
void warn_unused_maps(const char* program, const Deck& deck, const IntMap& matnum, bool patchy_present);
