#include "driver/refine.hpp"

#include <charconv>
#include <cstring>
#include <limits>
#include <string>

#include "common/stop.hpp"

void refine_deck(Deck& deck, std::int32_t factor) {
  if (factor < 1) stop_input_parameter("--refine " + std::to_string(factor) + " is not admitted (at least 1)");
  if (factor == 1) return;
  auto scaled = [&](std::int32_t value, const char* item) {
    const std::int64_t product = std::int64_t{value} * factor;
    if (product > std::numeric_limits<std::int32_t>::max()) {
      stop_input_parameter("--refine " + std::to_string(factor) + ": " + item + " = " + std::to_string(value) +
                           " times " + std::to_string(factor) + " exceeds 32-bit integers");
    }
    return static_cast<std::int32_t>(product);
  };
  deck.nx = scaled(deck.nx, "nx");
  deck.ny = scaled(deck.ny, "ny");
  deck.nl(1) = scaled(deck.nl(1), "nl(1)");
  deck.nl(2) = scaled(deck.nl(2), "nl(2)");
  if (std::int64_t{deck.nl(1)} + deck.nl(2) > std::numeric_limits<std::int32_t>::max()) {
    stop_input_parameter("--refine " + std::to_string(factor) + ": nl(1) + nl(2) exceeds 32-bit integers");
  }
  // The same formula as the deck reader's, on the refined ny.
  deck.h = deck.domain_size / static_cast<double>(deck.ny);
  deck.refine = factor;
}

void refine_map(const RealMap& coarse, std::int32_t factor, std::int32_t nx, std::int32_t ny, RealMap& fine) {
  for (std::int32_t k = 1; k <= ny; ++k) {
    for (std::int32_t j = 1; j <= nx; ++j) fine(j, k) = coarse((j - 1) / factor + 1, (k - 1) / factor + 1);
  }
}

std::int32_t refine_factor(const char* text, const char* usage) {
  std::int32_t value = 0;
  const char* end = text + std::strlen(text);
  const auto [stop, error] = std::from_chars(text, end, value);
  if (error != std::errc() || stop != end || value < 1) {
    stop_input_parameter(std::string("--refine ") + text + " is not admitted: a whole number of at least 1\n" + usage);
  }
  return value;
}
