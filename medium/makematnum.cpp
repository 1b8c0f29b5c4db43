#include "medium/makematnum.hpp"

#include <algorithm>
#include <string>

#include "common/format.hpp"
#include "common/stop.hpp"

void makematnum(const std::int32_t& nx, const std::int32_t& ny, const LayerInt& nl, LayerReal& size_layer,
                const double& h, IntMap& matnum) {
  record(stdout_unit, "nl(1), nl(2)  ", nl(1), nl(2));

  const std::int32_t period = nl(1) + nl(2);
  if (period < 1) {
    stop_input_parameter("nl(1) + nl(2) = " + std::to_string(period) +
                         " is not admitted (the layers must hold at least one row of cells)");
  }
  const std::int32_t nper = ny / period;
  size_layer(1) = static_cast<double>(nl(1)) * h;
  size_layer(2) = static_cast<double>(nl(2)) * h;

  record(stdout_unit, " domain size (m) ", static_cast<double>(ny) * h);
  record(stdout_unit);
  record(stdout_unit, " ny = number of subintervals in y-direction ", ny);
  record(stdout_unit);
  record(stdout_unit, " hy = subinterval size (m) ", h);
  record(stdout_unit);
  record(stdout_unit, " nper = number of periods ", nper);
  record(stdout_unit);
  record(stdout_unit, " size of layer 1 in subintervals ", nl(1));
  record(stdout_unit);
  record(stdout_unit, " size of layer 1 (m) ", size_layer(1));
  record(stdout_unit);
  record(stdout_unit, " size of layer 2 in subintervals ", nl(2));
  record(stdout_unit);
  record(stdout_unit, " size of layer 2 (m) ", size_layer(2));
  record(stdout_unit);

  // Rows above the last whole period stay 0 (no layer type).
  std::fill(matnum.data.begin(), matnum.data.end(), 0);
  for (std::int32_t q = 1; q <= nper; ++q) {
    for (std::int32_t r = 1; r <= period; ++r) {
      const std::int32_t k = (q - 1) * period + r;
      const std::int32_t type = r <= nl(1) ? 1 : 2;
      for (std::int32_t j = 1; j <= nx; ++j) matnum(j, k) = type;
    }
  }
}
