#include "medium/check_coefficients.hpp"

#include <cmath>

#include "common/format.hpp"
#include "common/stop.hpp"
#include "common/units.hpp"

void check_coefficients_finite(const std::int32_t& nx, const std::int32_t& ny, const CoefficientMaps& coef) {
  struct NamedMap {
    const char* name;
    const RealMap& map;
  };
  const NamedMap maps[] = {{"lambda1", coef.lambda1}, {"lambda3", coef.lambda3}, {"mu1", coef.mu1},
                           {"mu3", coef.mu3},         {"mu13", coef.mu13},       {"b1", coef.b1},
                           {"b2", coef.b2},           {"m", coef.m},             {"d3", coef.d3},
                           {"p11", coef.p11},         {"p12", coef.p12},         {"p13", coef.p13},
                           {"p22", coef.p22},         {"p23", coef.p23},         {"p33", coef.p33},
                           {"b11", coef.b11},         {"b12", coef.b12},         {"b22", coef.b22}};
  for (std::int32_t j = 1; j <= nx; ++j) {
    for (std::int32_t k = 1; k <= ny; ++k) {
      for (const NamedMap& named : maps) {
        const double value = named.map(j, k);
        if (!std::isfinite(value)) {
          stop_run(stop_nonfinite_coefficient,
                   record_text(" non-finite coefficient", named.name, "in cell j,k =", j, k, "value", value));
        }
      }
    }
  }
}
