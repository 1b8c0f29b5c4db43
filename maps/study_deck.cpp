#include "maps/study_deck.hpp"

#include "common/input.hpp"
#include "common/units.hpp"

void read_study_deck(std::istream& in, const std::string& source, Deck& deck, IntMap& matnum) {
  OutputDiscarded quiet;
  LineInput input(in, source);
  readata(input, deck);
  deck_layers(deck, matnum);
}
