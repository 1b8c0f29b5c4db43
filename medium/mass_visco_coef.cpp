#include "medium/mass_visco_coef.hpp"

#include <string>

#include "common/format.hpp"
#include "common/stop.hpp"
#include "common/unit_numbers.hpp"
#include "common/units.hpp"
#include "medium/cell_fractions.hpp"

namespace {

// The format (/1x,'<label>',e20.10): an empty line, then one blank, the
// label (which begins with a blank of its own, so two blanks lead the line)
// and the value in an E20.10 field.
void echo_density(const char* label, const double& value) {
  record(stdout_unit);
  write_line(stdout_unit, " " + std::string(label) + format_e(value, 20, 10));
}

}  // namespace

// Per cell (j outer, k inner; i = matnum(j,k)):
//   1. phase fractions (as in e_modulus), control test 555;
//   2. mixture densities ro (solid 3 with water), ro_prim (solid 1 with water);
//   3. tortuosity-type factors a21, a23 (water dragged by each solid),
//      a13, a31 (the solids dragging each other; 1 for ice);
//   4. mass coefficients from R1 = ro1 phi1, R2 = ro2 phiw, R3 = ro3 phi3;
//   5. permeabilities and the fluid friction coefficients coef_b12, coef_b23;
//   6. friction coefficients b11, b12, b22 with the positivity tests of (1,1);
//   7. one record per friction map.
// Every formula keeps its written grouping: the rounding depends on it.
void mass_visco_coef(const std::int32_t& nx, const std::int32_t& ny, const IntMap& matnum, const LayerReal& phi_a,
                     RealMap& phiw, const LayerReal& s3, const LayerReal& eta, const std::int32_t& key_model,
                     const LayerReal& ro1, const LayerReal& ro2, const LayerReal& ro3, const LayerReal& capa_1_0,
                     const LayerReal& capa_3_0, const LayerReal& rs1, const LayerReal& rs3,
                     const LayerReal& coef_b13, RealMap& p11, RealMap& p12, RealMap& p13, RealMap& p22,
                     RealMap& p23, RealMap& p33, RealMap& b11, RealMap& b12, RealMap& b22, double& s1_frac,
                     double& s3_frac, double& phi1_frac, double& phi3_frac, const RealMap& binary_ice) {
  require_known_model(key_model, "mass_visco_coef");
  open_unit(result_unit::b11, "b11");
  open_unit(result_unit::b12, "b12");
  open_unit(result_unit::b22, "b22");
  record(stdout_unit, "enters  mass_visco_coef  key_model ", key_model);

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
      s1_frac = s1;
      s3_frac = s3_cell;
      phi1_frac = phi1;
      phi3_frac = phi3;

      if (echo) {
        if (key_model == permafrost_model) {
          record(stdout_unit, "ice content s3_prima=", f.s3_prima);
          record(stdout_unit, " water saturation  Sw=", f.Sw);
          echo_asterisk_lines();
          record(stdout_unit);
          record(stdout_unit, "  control (must be = 1) =  ", f.control);
          record(stdout_unit);
          echo_asterisk_lines();
          echo_fractions(phiw_cell, f, "bulk solid 1 fraction phi1 en mass_visco  =",
                         "solid 1 matrix fraction s1 en mass_visco  =");
          record(stdout_unit);
          record(stdout_unit);
          echo_asterisk_lines();
        } else {
          echo_fractions(phiw_cell, f, "bulk solid 1 fraction phi1 en mass_visco  =",
                         "solid 1 matrix fraction s1 en mass_visco  =");
        }
      }
      check_control(f.control);

      // --- 2. Mixture densities ---
      const double ro = (ro3(i) * phi3 + ro2(i) * phiw_cell) / (phi3 + phiw_cell);
      const double ro_prim = (ro1(i) * phi1 + ro2(i) * phiw_cell) / (phi1 + phiw_cell);
      if (echo) {
        record(stdout_unit);
        record(stdout_unit, " mass densities for each phase");
        echo_density(" ro1(Kgr/m^3)     =", ro1(i));
        echo_density(" ro2(Kgr/m^3)     =", ro2(i));
        echo_density(" ro3(Kgr/m^3)     =", ro3(i));
        echo_density(" ro(Kgr/m^3)      =", ro);
        echo_density(" ro_prim(Kgr/m^3) =", ro_prim);
      }

      // --- 3. Tortuosity-type factors (coupling factor 0.5) ---
      const double a21 = 1 + 0.5 * ro * phi1 / (ro2(i) * phiw_cell);
      const double a23 = 1 + 0.5 * ro_prim * phi3 / (ro2(i) * phiw_cell);
      double a13 = 1;
      double a31 = 1;
      if (key_model == shaley_sand_model) {
        a13 = 1 + 0.5 * ro_prim * phi3 / (phi1 * ro1(i));
        a31 = 1 + 0.5 * ro * phi1 / (phi3 * ro3(i));
      }

      // --- 4. Mass coefficients ---
      const double R1 = ro1(i) * phi1;
      const double R2 = ro2(i) * phiw_cell;
      const double R3 = ro3(i) * phi3;
      const double s1s1 = s1 * s1;
      const double s3s3 = s3_cell * s3_cell;
      p11(j, k) = (1 + a23 * s1s1 + a21 * s3s3 - 2 * s3_cell - s1s1) * R2 + a13 * R1 + (a31 - 1) * R3;
      p12(j, k) = ((1 - a21) * s3_cell + a23 * s1) * ro2(i);
      p13(j, k) = (1 - a23 * s1s1 - a21 * s3s3 - s1 * s3_cell) * R2 + (1 - a13) * R1 + (1 - a31) * R3;
      p22(j, k) = (a21 + a23 - 1) * ro2(i) / phiw_cell;
      p23(j, k) = ((1 - a23) * s1 + a21 * s3_cell) * ro2(i);
      p33(j, k) = (1 + a23 * s1s1 + a21 * s3s3 - 2 * s1 - s3s3) * R2 + a31 * R3 + (a13 - 1) * R1;
      if (echo) {
        record(stdout_unit, "mass coef.");
        record(stdout_unit, "p11(Kgr/m^3) = ", p11(j, k));
        record(stdout_unit, "p12(Kgr/m^3) = ", p12(j, k));
        record(stdout_unit, "p13(Kgr/m^3) = ", p13(j, k));
        record(stdout_unit, "p22(Kgr/m^3) = ", p22(j, k));
        record(stdout_unit, "p23(Kgr/m^3) = ", p23(j, k));
        record(stdout_unit, "p33(Kgr/m^3) = ", p33(j, k));
      }

      // --- 5. Permeabilities and fluid friction coefficients ---
      double capa_1, capa_3, coef_b12, coef_b23;
      if (key_model == permafrost_model) {
        // Kozeny-Carman-type scaling of the two frames' permeabilities with
        // the water left in the pores.
        const double pores = 1 - phi1;
        const double pores_per_ice = (1 - phi1) / phi3;
        const double water_per_solid1 = phiw_cell / phi1;
        capa_1 = capa_1_0(i) * (phiw_cell * phiw_cell * phiw_cell) / (pores * pores * pores);
        capa_3 = capa_3_0(i) * (pores_per_ice * pores_per_ice) *
                 (water_per_solid1 * water_per_solid1 * water_per_solid1);
        coef_b12 = eta(i) * (phiw_cell * phiw_cell) / capa_1;
        coef_b23 = eta(i) * (phiw_cell * phiw_cell) / capa_3;
      } else {
        // Spheres of radius rs: permeability 2 rs^2 / (9 phi); the friction
        // coefficients use the grain sizes directly.
        const double rs1_sq = rs1(i) * rs1(i);
        const double rs3_sq = rs3(i) * rs3(i);
        capa_1 = 2 * rs1_sq / (9 * phi1);
        capa_3 = 2 * rs3_sq / (9 * phi3);
        coef_b12 = 45 * eta(i) * (1 - phiw_cell) * phi1 / (rs1_sq * phiw_cell);
        coef_b23 = 45 * eta(i) * (1 - phiw_cell) * phi3 / (rs3_sq * phiw_cell);
      }
      const double capa = capa_1 * capa_3 / (capa_1 + capa_3);
      if (echo) {
        record(stdout_unit);
        if (key_model == permafrost_model) {
          record(stdout_unit, "permeabilities for the permafrost model (m^2)");
          record(stdout_unit, "capa_1=,", capa_1);
          record(stdout_unit, "capa_3=,", capa_3);
          record(stdout_unit, "capa=,", capa);
        } else {
          record(stdout_unit, " permeabilities for the shaley-sand model (m^2)");
          record(stdout_unit, "capa_1 = ", capa_1);
          record(stdout_unit, "capa_3 = ", capa_3);
          record(stdout_unit, "capa   = ", capa);
        }
        record(stdout_unit, "coef_b12, coef_b23 ", coef_b12, coef_b23);
      }

      // --- 6. Friction coefficients ---
      // The solid-solid friction b13 enters f11 and again b11.
      const double b13 = coef_b13(i);
      const double f11 = s1s1 * coef_b23 + b13 + s3s3 * coef_b12;
      const double f12 = (coef_b12 * s3_cell - coef_b23 * s1) / phiw_cell;
      const double f22 = (coef_b12 + coef_b23) / (phiw_cell * phiw_cell);
      b11(j, k) = f11 + b13;
      b12(j, k) = f12;
      b22(j, k) = f22;
      if (echo) {
        // Only cell (1,1) is tested; zero and NaN pass (strict tests).
        const double control1 = f11 * f22 - f12 * f12;
        const double control2 = b11(j, k) * b22(j, k) - b12(j, k) * b12(j, k);
        record(stdout_unit, "f11      =", f11);
        record(stdout_unit, "f12      =", f12);
        record(stdout_unit, "f22      =", f22);
        record(stdout_unit, "control1 (must be  positive)  =", control1);
        if (control1 < 0) stop_run(99999);
        record(stdout_unit, "Coef. de friccion ");
        record(stdout_unit, "coef_b13  ", b13);
        record(stdout_unit, "b11  = ", b11(j, k));
        record(stdout_unit, "b12  = ", b12(j, k));
        record(stdout_unit, "b22  = ", b22(j, k));
        record(stdout_unit, "control2 (must be  positive)  =", control2);
        if (control2 < 0) stop_run(99998);
        record(stdout_unit);
      }

      // --- 7. Records ---
      record(result_unit::b11, j, k, b11(j, k));
      record(result_unit::b12, j, k, b12(j, k));
      record(result_unit::b22, j, k, b22(j, k));
    }
  }
}
