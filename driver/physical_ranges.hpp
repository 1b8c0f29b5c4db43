// Values no rock can have: the guard run after the coefficient routines.
//
// check_physical_ranges: the deck, the material map and the two water maps
// in (phiw as the coefficient routines left it, binary_ice as read);
// nothing out.  Every deck item and per-cell value that the selected medium
// model uses, for every layer type that holds a cell, must lie in its
// physically possible range:
//
//   item                        model   possible   refused here
//   akf                         both    > 0        <= 0
//   ro2, ro1, ro3               both    > 0        <= 0
//   eta                         both    >= 0       < 0   (0: no fluid friction)
//   phi_a                       ice     0..1       < 0, > 1
//   phi_layer(i), model 0 (*)   both    0..1       < 0, > 1
//   capa_1_0, capa_3_0          ice     >= 0       < 0   (0: a sealed frame)
//   s3                          shale   0..1       < 0, > 1
//   rs1, rs3                    shale   > 0        <= 0
//   coef_b13                    both    >= 0       < 0   (0: no friction)
//   ak_air, xmu_air             ice     >= 0       < 0   (0: empty pores, a gas)
//   ak_s1, xmu_s1, ak_s3, xmu_s3 both   > 0        <= 0
//   water proportion of a cell read from a file (*)   0..1   < 0, > 1
//   (*) the cells of layer type 1 of the ice model take their water from
//       "binary_ice_gnu.dat"; the other cells from phi_layer (model 0) or
//       from "phiw_binary_patchy.dat" (model 1).
//
// Many values outside these ranges meet a stop of the model first: a water
// proportion at or above phi_a (11, 45678), negative moduli (12345, 12346,
// 45687, 45688), negative friction in cell (1,1) (99999, 99998), fractions
// that do not add up (555), and zeros that leave a coefficient undefined
// (stop_nonfinite_coefficient).  This check runs after all of them, so each
// keeps its place, and refuses what they let through: results computed
// from such values are numbers without meaning.
//
// The first value refused (deck items of layer type 1 in the order of the
// deck, then those of layer type 2, then the cells row by row from the
// bottom) stops the run: a deck item with stop_bad_parameter,
//   "standard input, line <l>: <item>(<i>) = <value> is not admitted (<why>)",
// a value of a per-cell file with stop_input_error,
//   "<file>, line <l>: the water proportion of cell (<j>,<k>) = <value> is
//    not admitted (<why>)".
#pragma once

#include "common/cellmap.hpp"
#include "driver/readata.hpp"

void check_physical_ranges(const Deck& deck, const IntMap& matnum, const RealMap& phiw, const RealMap& binary_ice);
