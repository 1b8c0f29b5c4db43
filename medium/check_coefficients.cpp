#include "medium/check_coefficients.hpp"

#include <cmath>

#include "common/format.hpp"
#include "common/stop.hpp"
#include "common/units.hpp"

void check_coefficients_finite(const std::int32_t& nx, const std::int32_t& ny, const RealMap& lambda1,
                               const RealMap& lambda3, const RealMap& mu1, const RealMap& mu3, const RealMap& mu13,
                               const RealMap& b1, const RealMap& b2, const RealMap& m, const RealMap& d3,
                               const RealMap& p11, const RealMap& p12, const RealMap& p13, const RealMap& p22,
                               const RealMap& p23, const RealMap& p33, const RealMap& b11, const RealMap& b12,
                               const RealMap& b22) {
  constexpr int map_count = 18;
  const RealMap* const maps[map_count] = {&lambda1, &lambda3, &mu1, &mu3, &mu13, &b1,  &b2,  &m,   &d3,
                                          &p11,     &p12,     &p13, &p22, &p23,  &p33, &b11, &b12, &b22};
  static constexpr const char* names[map_count] = {"lambda1", "lambda3", "mu1", "mu3", "mu13", "b1",
                                                   "b2",      "m",       "d3",  "p11", "p12",  "p13",
                                                   "p22",     "p23",     "p33", "b11", "b12",  "b22"};
  for (std::int32_t j = 1; j <= nx; ++j) {
    for (std::int32_t k = 1; k <= ny; ++k) {
      for (int c = 0; c < map_count; ++c) {
        const double value = (*maps[c])(j, k);
        if (!std::isfinite(value)) {
          stop_run(stop_nonfinite_coefficient,
                   record_text(" non-finite coefficient", names[c], "in cell j,k =", j, k, "value", value));
        }
      }
    }
  }
}
