#include "study/study_deck.hpp"

#include "common/input.hpp"
#include "common/units.hpp"
#include "medium/makematnum.hpp"

void read_study_deck(std::istream& in, const std::string& source, Deck& deck, IntMap& matnum) {
  OutputDiscarded quiet;
  LineInput input(in, source);
  readata(input, deck);
  matnum.resize(deck.nx, deck.ny);
  LayerReal size_layer;
  makematnum(deck.nx, deck.ny, deck.nl, size_layer, deck.h, matnum);
}
