#include "medium/e_modulus.hpp"

#include <cmath>
#include <string>

#include "common/format.hpp"
#include "common/stop.hpp"
#include "common/unit_numbers.hpp"
#include "common/units.hpp"
#include "medium/cell_fractions.hpp"
#include "medium/kt.hpp"

namespace {

// The nine record files of the elastic maps, one record "j k value" per cell.
void open_record_files() {
  open_unit(result_unit::mu1, "xmu1_gnu");
  open_unit(result_unit::mu3, "xmu3_gnu");
  open_unit(result_unit::mu13, "xmu13_gnu");
  open_unit(result_unit::lambda1, "xlambda1_gnu");
  open_unit(result_unit::lambda3, "xlambda3_gnu");
  open_unit(result_unit::b1, "b1_gnu");
  open_unit(result_unit::b2, "b2_gnu");
  open_unit(result_unit::m, "xm_gnu");
  open_unit(result_unit::d3, "d3_gnu");
}

// Closing unit 54 matters beyond tidiness: the result table written later
// through that unit must land in a fresh file of the unit's default name.
void close_record_files() {
  using namespace result_unit;
  for (const int unit : {mu1, mu3, mu13, lambda1, lambda3, b1, b2, m, d3}) {
    close_unit(unit);
  }
}

std::string negative_lambda1_message(const std::int32_t& j, const std::int32_t& k, const double& lambda1) {
  return record_text(" neg. lambda1 j,k   ", j, k, lambda1);
}

}  // namespace

// Per cell (j outer, k inner; i = matnum(j,k)):
//   1. phase fractions (cell_fractions), control test 555;
//   2. dry-frame moduli ak_m1, xmu_m1 (solid-1 frame), ak_m3, xmu_m3
//      (solid-3 frame): Kuster-Toksoz with air-filled pores for the ice
//      model, Krief's porosity law for the shaley-sand model;
//   3. average moduli Kav (bulk) and muav (shear, viscous fluid term);
//   4. Gassmann-type coefficients K1, K2, K3, C12, C13, C23;
//   5. plane-strain (2D) coefficients, checks, storage and records.
// Every formula keeps its written grouping: the rounding of the results
// depends on it.
void e_modulus(const std::int32_t& nx, const std::int32_t& ny, const IntMap& matnum, const LayerReal& phi_a,
               RealMap& phiw, const LayerReal& s3, const LayerReal& akf, const LayerReal& eta, const double& omega,
               const LayerReal& ak_air, const LayerReal& xmu_air, const LayerReal& ak_s3, const LayerReal& xmu_s3,
               const LayerReal& ak_s1, const LayerReal& xmu_s1, const std::int32_t& key_model, RealMap& lambda1,
               RealMap& lambda3, RealMap& mu1, RealMap& mu3, RealMap& mu13, RealMap& b1, RealMap& b2, RealMap& m,
               RealMap& d3, const std::int32_t& cycle, const RealMap& binary_ice) {
  require_known_model(key_model, "e_modulus");
  if (cycle == 1) open_record_files();

  for (std::int32_t j = 1; j <= nx; ++j) {
    for (std::int32_t k = 1; k <= ny; ++k) {
      const std::int32_t i = matnum(j, k);
      const bool echo = (j == 1 && k == 1);

      // --- 1. Phase fractions ---
      const double phiw_cell = cell_water(key_model, i, j, k, phiw, binary_ice);
      const CellFractions f = cell_fractions(key_model, phi_a(i), s3(i), phiw_cell);
      const double phi1 = f.phi1;
      const double phi3 = f.phi3;
      const double s1 = f.s1;
      const double s3_cell = f.s3;

      if (echo && key_model == permafrost_model) {
        record(stdout_unit, "ice content s3_prima=", f.s3_prima);
        record(stdout_unit, "j,k, water saturation  Sw =", j, k, f.Sw);
        echo_asterisk_lines();
        record(stdout_unit, "for j, k  = ", j, k);
        record(stdout_unit, "  control (must be = 1) =  ", f.control);
        record(stdout_unit);
        echo_asterisk_lines();
        echo_fractions(phiw_cell, f, "bulk solid 1 fraction phi1 en e_mod   =",
                       "solid 1 matrix fraction s1 en e_mod  =");
        record(stdout_unit);
        record(stdout_unit);
        echo_asterisk_lines();
      }
      check_control(f.control);

      // --- 2. Dry-frame moduli ---
      double ak_m1, xmu_m1, ak_m3, xmu_m3;
      if (key_model == permafrost_model) {
        // Ice stiffens the solid-1 frame and forms a frame of its own as the
        // pores fill: both scale with the ice content of the pores^3.8.
        const double x = std::pow(f.s3_prima, 3.8);
        double ak_kt, xmu_kt;
        kt(ak_s1(i), xmu_s1(i), ak_air(i), xmu_air(i), 1 - phi1, ak_kt, xmu_kt);
        ak_m1 = 1.44e10;
        xmu_m1 = 1.31e10 + (xmu_kt - 1.31e10) * x;
        kt(ak_s3(i), xmu_s3(i), ak_air(i), xmu_air(i), phi1, ak_kt, xmu_kt);
        ak_m3 = x * ak_kt;
        xmu_m3 = x * xmu_kt;
      } else {
        // Krief: the frame softens with porosity as (1-phi)^(1+2/(1-phi)).
        const double krief = std::pow(1 - phiw_cell, 1 + 2 / (1 - phiw_cell));
        ak_m1 = s1 * ak_s1(i) * krief;
        xmu_m1 = xmu_s1(i) * std::exp(-std::sqrt(s3_cell * s1)) * ak_m1 / ak_s1(i);
        ak_m3 = s3_cell * ak_s3(i) * krief;
        xmu_m3 = xmu_s3(i) * ak_m3 / ak_s3(i);
        if (echo) record(stdout_unit, " output of  Krief s model  eqs. (A.8)-(A.9)");
      }

      // --- 3. Average moduli ---
      const double Ks1 = ak_s1(i), Ks3 = ak_s3(i), Gs1 = xmu_s1(i), Gs3 = xmu_s3(i);
      const double Kav = 1 / ((phi1 / Ks1) * (1 - ak_m1 / (phi1 * Ks1)) + phiw_cell / akf(i) +
                              (phi3 / Ks3) * (1 - ak_m3 / (phi3 * Ks3)));
      const double c1 = xmu_m1 / (phi1 * Gs1);
      const double c3 = xmu_m3 / (phi3 * Gs3);
      // The fluid enters the shear average through its viscous stiffness
      // eta * 2 omega; an inviscid fluid decouples the two frames in shear.
      double muav = 0;
      if (eta(i) > 0) {
        muav = 1 / ((phi1 / Gs1) * (1 - c1) + (phi3 / Gs3) * (1 - c3) + phiw_cell / (eta(i) * 2 * omega));
      }
      const double t1 = phi1 * (1 - c1);
      const double t3 = phi3 * (1 - c3);
      const double mu1_cell = t1 * t1 * muav + xmu_m1;
      const double mu3_cell = t3 * t3 * muav + xmu_m3;
      const double mu13_cell = (1 - c1) * (1 - c3) * phi1 * phi3 * muav;

      // --- 4. Gassmann-type coefficients ---
      const double alfa1 = s1 - ak_m1 / Ks1;
      const double alfa3 = s3_cell - ak_m3 / Ks3;
      const double KG1 = alfa1 * alfa1 * Kav + ak_m1;
      const double KG3 = alfa3 * alfa3 * Kav + ak_m3;
      const double s1w = s1 * phiw_cell;
      const double s3w = s3_cell * phiw_cell;
      const double K1 = KG1 - 2 * alfa1 * s1 * phiw_cell * Kav + s1w * s1w * Kav;
      const double K3 = KG3 - 2 * alfa3 * s3_cell * phiw_cell * Kav + s3w * s3w * Kav;
      const double K2 = phiw_cell * phiw_cell * Kav;
      const double C12 = phiw_cell * Kav * (alfa1 - s1 * phiw_cell);
      const double C23 = phiw_cell * Kav * (alfa3 - s3_cell * phiw_cell);
      const double C13 = (alfa1 - s1 * phiw_cell) * (alfa3 - s3_cell * phiw_cell) * Kav;
      const double alfa13 = alfa1 + alfa3;
      const double KG = alfa13 * alfa13 * Kav + ak_m1 + ak_m3;

      if (echo) {
        record(stdout_unit);
        record(stdout_unit, "Moduli  as in eqs. (A.2),(A.5),(A.6),(A.7)");
        record(stdout_unit);
        record(stdout_unit, "used in contitutive eqs. (4.6)--(4.8)");
        record(stdout_unit);
        record(stdout_unit, "alfa1,alfa3 =", alfa1, alfa3);
        record(stdout_unit);
        record(stdout_unit);
        record(stdout_unit, "Kav(GPa)    = ", Kav / 1e9);
        record(stdout_unit, "K1(GPa)     = ", K1 / 1e9);
        record(stdout_unit, "K2(GPa)     = ", K2 / 1e9);
        record(stdout_unit, "K3(GPa)     = ", K3 / 1e9);
        record(stdout_unit, "C12(GPa)    = ", C12 / 1e9);
        record(stdout_unit, "C13(GPa)    = ", C13 / 1e9);
        record(stdout_unit, "C23(GPa)    = ", C23 / 1e9);
        record(stdout_unit);
        record(stdout_unit);
        record(stdout_unit, " rigidity modulus mu1,mu3,mu13,muav eqs.  (A.1)");
        record(stdout_unit, "xmuav(GPa)  = ", muav / 1e9);
        record(stdout_unit);
        record(stdout_unit, "mu1(GPa)    = ", mu1_cell / 1e9);
        record(stdout_unit, "mu3(GPa)    = ", mu3_cell / 1e9);
        record(stdout_unit, "mu13(GPA)   = ", mu13_cell / 1e9);
        record(stdout_unit);
        record(stdout_unit);
        record(stdout_unit, "  Gassmann moduli  eqs. (A.7)");
        record(stdout_unit);
        record(stdout_unit, "KG1(GPa)    = ", KG1 / 1e9);
        record(stdout_unit, "KG3(GPa)    = ", KG3 / 1e9);
        record(stdout_unit, "KG(GPa)     = ", KG / 1e9);
      }

      // --- 5. Coefficients handed on ---
      // H1 and H3 equal KG1 and KG3 (up to rounding); lambda, d3 are the
      // plane-strain forms (shear moduli counted once, mu13 halved).
      const double H1 = K1 + 2 * s1 * C12 + s1 * s1 * K2;
      const double H3 = K3 + 2 * s3_cell * C23 + s3_cell * s3_cell * K2;
      const double B1 = (s1 * K2 + C12) / phiw_cell;
      const double B2 = (s3_cell * K2 + C23) / phiw_cell;
      const double B3 = s3_cell * C12 + C13 + s1 * C23 + s1 * s3_cell * K2;
      const double lambda1_cell = H1 - mu1_cell;
      const double lambda3_cell = H3 - mu3_cell;
      const double d3_cell = B3 - mu13_cell / 2;

      if (lambda1_cell <= 0) write_line(stdout_unit, negative_lambda1_message(j, k, lambda1_cell));
      if (echo) {
        record(stdout_unit, " element j,k = ", j, k);
        record(stdout_unit);
        record(stdout_unit);
        record(stdout_unit, "Modulos elasticos notacion Trelno et al. JASA 04");
        record(stdout_unit, "(en Pa)");
        record(stdout_unit);
        record(stdout_unit, "H1=K_{G1}(GPa)     = ", H1 / 1e9);
        record(stdout_unit, "H3=K_{G3}(GPa)     = ", H3 / 1e9);
        record(stdout_unit, "B1(GPa)            = ", B1 / 1e9);
        record(stdout_unit, "B2(GPa)            = ", B2 / 1e9);
        record(stdout_unit, "B3(GPa)            = ", B3 / 1e9);
        record(stdout_unit, "M=k_av(Pa)        = ", Kav / 1e9);
        record(stdout_unit, "xlambda1(GPa) (2D) = ", lambda1_cell / 1e9);
        record(stdout_unit, "xlambda3(GPa) (2D) = ", lambda3_cell / 1e9);
        record(stdout_unit, "d3(GPa) (2D)       = ", d3_cell / 1e9);
        record(stdout_unit, "xlambda1(GPa) (3D) = ", (H1 - 2 * mu1_cell / 3) / 1e9);
        record(stdout_unit, "xlambda3(GPa) (3D) = ", (H3 - 2 * mu3_cell / 3) / 1e9);
        record(stdout_unit, "d3(GPa) (3D)       = ", (B3 - mu13_cell / 3) / 1e9);
        record(stdout_unit, "mu1(GPa)           = ", mu1_cell / 1e9);
        record(stdout_unit, "mu3(GPa)           = ", mu3_cell / 1e9);
        record(stdout_unit, "mu13(GPA)          = ", mu13_cell / 1e9);
        record(stdout_unit);
        if (lambda1_cell <= 0) {
          stop_run(12345, negative_lambda1_message(j, k, lambda1_cell));
        }
        if (lambda3_cell <= 0) stop_run(12346);
      }

      lambda1(j, k) = lambda1_cell;
      lambda3(j, k) = lambda3_cell;
      mu1(j, k) = mu1_cell;
      mu3(j, k) = mu3_cell;
      mu13(j, k) = mu13_cell;
      b1(j, k) = B1;
      b2(j, k) = B2;
      m(j, k) = Kav;
      d3(j, k) = d3_cell;

      if (cycle == 1) {
        record(result_unit::mu1, j, k, mu1(j, k));
        record(result_unit::mu3, j, k, mu3(j, k));
        record(result_unit::mu13, j, k, mu13(j, k));
        record(result_unit::lambda1, j, k, lambda1(j, k));
        record(result_unit::lambda3, j, k, lambda3(j, k));
        record(result_unit::b1, j, k, b1(j, k));
        record(result_unit::b2, j, k, b2(j, k));
        record(result_unit::m, j, k, m(j, k));
        record(result_unit::d3, j, k, d3(j, k));
      }

      // The plane-strain energy must be positive definite: the normal part
      // (solid 1, solid 3 and their coupling) and the shear part.
      const double normal_a = lambda1(j, k) + 2 * mu1(j, k);
      const double normal_b = lambda3(j, k) + 2 * mu3(j, k);
      const double normal_c = d3(j, k) + mu13(j, k);
      if (normal_a * normal_b - normal_c * normal_c <= 0) {
        stop_run(45687, record_text("j,k, strain energy not positive definite ", j, k));
      }
      if (mu1(j, k) * mu3(j, k) - mu13(j, k) * mu13(j, k) / 4 <= 0) {
        stop_run(45688, record_text(" j,k,strain energy not positive definite", j, k));
      }
    }
  }

  close_record_files();
}
