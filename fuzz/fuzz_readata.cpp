// Fuzz target: the parameter-deck reader on arbitrary text.
//
// The bytes are the whole of standard input.  readata must either accept
// the deck or end with one of its own stops (input error, bad deck
// parameter, the ice-model porosity check); anything else (a crash, a
// sanitizer report, another exception) is a finding.  An accepted deck
// must also hold only what the rest of the run relies on: sizes inside the
// storage, a non-empty layer period, a positive sample height, finite
// reals, element 2 of the layer arrays zero for one layer type, and no more
// lines consumed than given.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "common/input.hpp"
#include "common/stop.hpp"
#include "common/units.hpp"
#include "driver/readata.hpp"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

int count_lines(const std::string& text) {
  int lines = 0;
  for (char c : text) lines += c == '\n';
  if (!text.empty() && text.back() != '\n') ++lines;
  return lines;
}

void require_finite_layers(const Deck& d, int i) {
  for (const LayerReal* a : {&d.akf, &d.ro2, &d.eta, &d.ro1, &d.ro3, &d.phi_a, &d.phi_layer, &d.capa_1_0,
                             &d.capa_3_0, &d.s3, &d.rs1, &d.rs3, &d.coef_b13, &d.ak_air, &d.xmu_air, &d.ak_s1,
                             &d.xmu_s1, &d.ak_s3, &d.xmu_s3}) {
    require(std::isfinite((*a)(i)));
    if (i == 2 && d.nmat == 1) require((*a)(i) == 0.0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The echo is not what is tested: send it nowhere.
  open_unit(stdout_unit, "/dev/null");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::istringstream in(text);
  LineInput input(in, "standard input");
  Deck deck;
  try {
    readata(input, deck);
  } catch (const StopRun& stop) {
    require(stop.code == stop_input_error || stop.code == stop_bad_parameter || stop.code == 11);
    require(input.line_number() <= count_lines(text));
    return 0;
  }
  require(input.line_number() <= count_lines(text));
  require(deck.nx >= 1 && deck.nx <= 60 && deck.ny >= 1 && deck.ny <= 60);
  require(deck.nmat == 1 || deck.nmat == 2);
  require(deck.key_model == 0 || deck.key_model == 1);
  require(deck.model == 0 || deck.model == 1);
  require(deck.nl(1) >= 0 && deck.nl(2) >= 0 && static_cast<long long>(deck.nl(1)) + deck.nl(2) >= 1);
  if (deck.nmat == 1) require(deck.nl(2) == 0);
  require(std::isfinite(deck.fmin) && std::isfinite(deck.fmax) && std::isfinite(deck.domain_size));
  require(deck.domain_size > 0 && std::isfinite(deck.h));
  require_finite_layers(deck, 1);
  require_finite_layers(deck, 2);
  if (deck.key_model == 0) {
    for (int i = 1; i <= deck.nmat; ++i) require(deck.phi_layer(i) < deck.phi_a(i));
  }
  return 0;
}
