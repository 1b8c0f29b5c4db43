#include "driver/readata.hpp"

#include <cstdint>
#include <limits>
#include <string>

#include "common/format.hpp"
#include "common/stop.hpp"
#include "medium/makematnum.hpp"

namespace {

void reject(const LineInput& input, const std::string& item, std::int32_t value, const std::string& allowed) {
  stop_input_parameter(input.source_name() + ", line " + std::to_string(input.line_number()) + ": " + item + " = " +
                       std::to_string(value) + " is not admitted (" + allowed + ")");
}

void require_range(const LineInput& input, const char* item, std::int32_t value, std::int32_t low,
                   std::int32_t high) {
  if (value < low || value > high) {
    reject(input, item, value,
           high == std::numeric_limits<std::int32_t>::max() ? "it must be at least " + std::to_string(low)
                                                             : "it must lie in " + std::to_string(low) + ".." +
                                                                   std::to_string(high));
  }
}

void require_positive(const LineInput& input, const char* item, double value, const char* why) {
  if (!(value > 0)) {
    stop_input_parameter(input.source_name() + ", line " + std::to_string(input.line_number()) + ": " + item +
                         " = " + format_real(value) + " is not admitted (" + why + ")");
  }
}

std::string indexed(const char* name, int i) { return std::string(name) + "(" + std::to_string(i) + ")"; }

}  // namespace

void readata(LineInput& input, Deck& deck) {
  // 1. The nine scalars; each is checked as soon as it is read, so that a
  //    bad value is reported with its own line.
  // The frequencies enter the angular frequency of the test and the
  // logarithm of the frequency grid: a frequency that is not positive would
  // give conjugated or undefined results reported as a normal run.
  deck.fmin = input.free_real("fmin");
  require_positive(input, "fmin", deck.fmin, "the frequency of the test must be positive");
  deck.fmax = input.free_real("fmax");
  require_positive(input, "fmax", deck.fmax, "the frequencies of the grid must be positive");
  deck.nfreq = input.free_integer("nfreq");
  deck.nfreq_line = input.line_number();
  // The cell side h = domain_size/ny scales every element matrix: a sample
  // without a positive height has no solution (it would end with results
  // that are not numbers, reported as a normal run).
  deck.domain_size = input.free_real("domain_size");
  require_positive(input, "domain_size", deck.domain_size, "the height of the sample must be positive");
  deck.nx = input.free_integer("nx");
  require_range(input, "nx", deck.nx, 1, std::numeric_limits<std::int32_t>::max());
  deck.ny = input.free_integer("ny");
  require_range(input, "ny", deck.ny, 1, std::numeric_limits<std::int32_t>::max());
  deck.key_model = input.column_integer("key_model", 5);
  require_range(input, "key_model", deck.key_model, 0, 1);
  deck.model = input.column_integer("model", 5);
  require_range(input, "model", deck.model, 0, 1);
  deck.nmat = input.free_integer("nmat");
  require_range(input, "nmat", deck.nmat, 1, 2);

  // 2. Echo of the scalars, value only.
  record(stdout_unit, deck.fmin);
  record(stdout_unit, deck.fmax);
  record(stdout_unit, deck.nfreq);
  record(stdout_unit, deck.domain_size);
  record(stdout_unit, deck.nx);
  record(stdout_unit, deck.ny);
  record(stdout_unit, deck.key_model);
  record(stdout_unit, deck.model);
  record(stdout_unit, deck.nmat);

  // 3. Twenty lines per layer type.  In the permafrost model the ice
  //    fraction of a layer is phi_a minus its water proportion, so the
  //    water proportion must stay below phi_a; this is checked before the
  //    rest of the layer's lines are read.
  for (int i = 1; i <= deck.nmat; ++i) {
    deck.nl(i) = input.free_integer(indexed("nl", i));
    deck.nl_line(i) = input.line_number();
    if (deck.nl(i) < 0) reject(input, indexed("nl", i), deck.nl(i), "a layer thickness cannot be negative");
    deck.akf(i) = input.column_real(indexed("akf", i), 20);
    deck.ro2(i) = input.column_real(indexed("ro2", i), 20);
    deck.eta(i) = input.column_real(indexed("eta", i), 20);
    deck.ro1(i) = input.column_real(indexed("ro1", i), 20);
    deck.ro3(i) = input.column_real(indexed("ro3", i), 20);
    deck.phi_a(i) = input.column_real(indexed("phi_a", i), 20);
    deck.phi_layer(i) = input.column_real(indexed("phi_layer", i), 20);
    if (deck.key_model == 0 && deck.phi_layer(i) >= deck.phi_a(i)) {
      stop_run(11, record_text(" Ice model, phi_a_m is smaller than phi_layer_m(i) ") + "\n" +
                       record_text(" ERROR, the code stops ") + "\n" +
                       record_text(" phi_a_m(i) = ", deck.phi_a(i), " phi_layer_m(i) = ", deck.phi_layer(i)));
    }
    deck.capa_1_0(i) = input.column_real(indexed("capa_1_0", i), 20);
    deck.capa_3_0(i) = input.column_real(indexed("capa_3_0", i), 20);
    deck.s3(i) = input.column_real(indexed("s3", i), 20);
    deck.rs1(i) = input.column_real(indexed("rs1", i), 20);
    deck.rs3(i) = input.column_real(indexed("rs3", i), 20);
    deck.coef_b13(i) = input.column_real(indexed("coef_b13", i), 20);
    deck.ak_air(i) = input.column_real(indexed("ak_air", i), 20);
    deck.xmu_air(i) = input.column_real(indexed("xmu_air", i), 20);
    deck.ak_s1(i) = input.column_real(indexed("ak_s1", i), 20);
    deck.xmu_s1(i) = input.column_real(indexed("xmu_s1", i), 20);
    deck.ak_s3(i) = input.column_real(indexed("ak_s3", i), 20);
    deck.xmu_s3(i) = input.column_real(indexed("xmu_s3", i), 20);
  }
  // The layered map repeats a period of nl(1) + nl(2) rows; an empty period
  // would leave the map undefined, and one beyond the 32-bit range would
  // wrap around (the sum is formed in 64 bits so that it cannot).
  const std::int64_t period = std::int64_t{deck.nl(1)} + deck.nl(2);
  if (period < 1 || period > std::numeric_limits<std::int32_t>::max()) {
    stop_input_parameter(input.source_name() + ", line " + std::to_string(input.line_number()) +
                         ": nl(1) + nl(2) = " + std::to_string(period) + " is not admitted (" +
                         (period < 1 ? "the layers must hold at least one row of cells"
                                     : "the layer period must fit a 32-bit integer") +
                         ")");
  }

  // 4. Echo of every layer type.
  for (int i = 1; i <= deck.nmat; ++i) {
    record(stdout_unit, "**********************************");
    record(stdout_unit, " layer i=  ", i);
    record(stdout_unit);
    record(stdout_unit, "**********************************");
    record(stdout_unit, " nl(i) = cell in layer i       = ", deck.nl(i));
    record(stdout_unit, " akf (GPA) (fluid bulk mod.    = ", deck.akf(i));
    record(stdout_unit, " ro2 (gr/cm^3) (fluid density) = ", deck.ro2(i));
    record(stdout_unit, " eta (poise) (fluid viscosity) = ", deck.eta(i));
    record(stdout_unit);
    record(stdout_unit, " ro1(kgr/m^3)                  = ", deck.ro1(i));
    record(stdout_unit, " ro3(kgr/m^3)                  = ", deck.ro3(i));
    record(stdout_unit, " phi_a (absolute porosity,ice) = ", deck.phi_a(i));
    record(stdout_unit, " phi_layer1 (water proportion) = ", deck.phi_layer(i));
    record(stdout_unit, " capa_1_0 (cm^2) (ice)         = ", deck.capa_1_0(i));
    record(stdout_unit, " capa_3_0 (cm^2) (ice)         = ", deck.capa_3_0(i));
    record(stdout_unit, " s3 (shale proportion)(shales) = ", deck.s3(i));
    record(stdout_unit, " rs1 (m^2)   (shale)          = ", deck.rs1(i));
    record(stdout_unit, " rs3 (m^2) (shale)            = ", deck.rs3(i));
    record(stdout_unit, " coef_b13                      = ", deck.coef_b13(i));
    record(stdout_unit, " ak_air(PA )                   = ", deck.ak_air(i));
    record(stdout_unit, " xmu_air (PA)                  = ", deck.xmu_air(i));
    record(stdout_unit, " ak_s1  (PA)                   = ", deck.ak_s1(i));
    record(stdout_unit, " xmu_s1 (PA)                   = ", deck.xmu_s1(i));
    record(stdout_unit, " ak_s3  (PA)                   = ", deck.ak_s3(i));
    record(stdout_unit, " xmu_s3 (PA)                   = ", deck.xmu_s3(i));
  }

  // 5., 6. The water-distribution switch and the cell side.
  record(stdout_unit, " model (=0,layered,=1,fractal  = ", deck.model);
  record(stdout_unit);
  deck.h = deck.domain_size / static_cast<double>(deck.ny);
  record(stdout_unit, " mesh size h ", deck.h);
}

void deck_layers(const Deck& deck, IntMap& matnum) {
  matnum.resize(deck.nx, deck.ny);
  LayerReal size_layer;
  makematnum(deck.nx, deck.ny, deck.nl, size_layer, deck.h, matnum);
}
