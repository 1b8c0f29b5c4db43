// The deck of a case as the studies need it: read and checked by the
// program's own reader, with the layer type of every cell.
#pragma once

#include <istream>
#include <string>

#include "common/cellmap.hpp"
#include "driver/readata.hpp"

// Reads the parameter deck from `in` (named `source` in messages) without
// its echo and builds the layered material map of the deck.  Every fault
// stops as the program stops on it (StopRun), its message carried by the
// stop.
void read_study_deck(std::istream& in, const std::string& source, Deck& deck, IntMap& matnum);
