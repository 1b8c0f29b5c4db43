#include "medium/kt.hpp"

// The spherical-inclusion forms, solved for the effective moduli:
//   (ak_kt - Km) / (3 ak_kt + 4 Gm) = c (Ki - Km) / (3 Ki + 4 Gm)
//   (xmu_kt - Gm) / (xmu_kt + zeta) = c (Gi - Gm) / (Gi + zeta),
//   zeta = Gm (9 Km + 8 Gm) / (6 (Km + 2 Gm)).
// Km, Gm: matrix; Ki, Gi: inclusions.  Both quotients are evaluated with the
// grouping below, which fixes their rounding.
void kt(const double& ak_matrix, const double& xmu_matrix, const double& ak_incl, const double& xmu_incl,
        const double& c, double& ak_kt, double& xmu_kt) {
  const double Km = ak_matrix;
  const double Gm = xmu_matrix;
  const double Ki = ak_incl;
  const double Gi = xmu_incl;

  ak_kt = Km * (1 + 4 * c * Gm * (Ki - Km) / ((3 * Ki + 4 * Gm) * Km)) / (1 - 3 * c * (Ki - Km) / (3 * Ki + 4 * Gm));

  xmu_kt = Gm * ((c * Gi + (1 - c) * Gm) * (9 * Km + 8 * Gm) + Gi * (6 * Km + 12 * Gm)) /
           (Gm * (9 * Km + 8 * Gm) + (6 * Km + 12 * Gm) * ((1 - c) * Gi + c * Gm));
}
