#include "driver/evaluation.hpp"

#include <cmath>
#include <string>

#include "common/format.hpp"
#include "common/stop.hpp"
#include "common/units.hpp"
#include "driver/stress_averages.hpp"
#include "driver/result_units.hpp"
#include "medium/cell_fractions.hpp"

namespace {

// Two values in the table format "(g15.5,2x,g15.5)".
void table_record(int unit, double first, double second) {
  write_line(unit, format_g(first, 15, 5) + "  " + format_g(second, 15, 5));
}

// Minus the reciprocal of the volumetric strain deltavol/area: the top of
// the sample carries a unit downward traction, so this is the modulus.
dcomplex modulus_from_volume_change(const dcomplex& deltavol, double area) {
  return dcomplex(-1.0, 0.0) / (deltavol / area);
}

}  // namespace

dcomplex work_conjugate_modulus(const dcomplex& top_work, double area) {
  return dcomplex(-2.0, 0.0) / (top_work / (2.0 * area));
}

double average_density(const Deck& deck, const IntMap& matnum, const RealMap& phiw) {
  const double cells = static_cast<double>(deck.nx * deck.ny);
  double rob_med = 0.0;
  for (std::int32_t j = 1; j <= deck.nx; ++j) {
    for (std::int32_t k = 1; k <= deck.ny; ++k) {
      const int i = matnum(j, k);
      // The fractions were checked when the coefficients were formed, so
      // this recomputation cannot stop.
      const CellFractions f = cell_fractions(deck.key_model, deck.phi_a(i), deck.s3(i), phiw(j, k));
      rob_med = rob_med + (f.phi1 * deck.ro1(i) + phiw(j, k) * deck.ro2(i) + f.phi3 * deck.ro3(i)) / cells;
    }
  }
  return rob_med;
}

double phase_velocity(const dcomplex& modulus, const double& rob_med) {
  return 1.0 / reciprocal(sqrt(modulus / rob_med)).re;
}

SampleResults evaluate_results(const Deck& deck, const EvaluationInput& in, ResultFields& fields) {
  const std::int32_t nx = deck.nx, ny = deck.ny;
  const double h = deck.h;
  // u(c, s): the solution value of local slot s of cell c.
  // Under a periodic test z is the fluctuation, and the field adds the
  // affine part of the imposed strain (from each cell's own corner: only
  // gradients are read).
  const bool periodic = in.imposed.ezz != 0.0;
  auto u = [&](std::int32_t c, int s) {
    return periodic ? in.z[in.xnod(c, s) - 1] + dcomplex(affine_displacement(in.imposed, s, h), 0.0)
                    : in.z[in.xnod(c, s) - 1];
  };
  // A periodic sample has no loaded top: its one modulus is the average
  // total vertical stress over the imposed vertical strain, and it stands
  // for all three below.
  const dcomplex periodic_modulus =
      periodic ? average_stress_strain(deck, in.coef, in.xnod, in.z, in.imposed).sigma_zz / dcomplex(in.imposed.ezz, 0.0)
               : dcomplex(0.0, 0.0);
  using namespace slot;
  constexpr int ll = lower_left, lr = lower_right, ur = upper_right, ul = upper_left;

  record(stdout_unit, " h ", h);

  // --- Volume change of the top boundary ---
  // The vertical displacement of each top cell's upper-right vertex times
  // the cell width, summed along the top: solid 1, solid 3.
  dcomplex deltavol1(0.0, 0.0), deltavol3(0.0, 0.0);
  for (std::int32_t j = 1; j <= nx; ++j) {
    const std::int32_t c = (ny - 1) * nx + j;
    deltavol1 = deltavol1 + h * u(c, solid1_y(ur));
    deltavol3 = deltavol3 + h * u(c, solid3_y(ur));
  }
  record(stdout_unit);
  record(stdout_unit, "deltavol1=", deltavol1.re, deltavol1.im);
  record(stdout_unit);
  record(stdout_unit);
  record(stdout_unit, "deltavol3=", deltavol3.re, deltavol3.im);
  record(stdout_unit);
  record(stdout_unit, "s1, s3 ", in.s1_frac, in.s3_frac);
  record(stdout_unit);
  const dcomplex deltavol = deltavol1 * in.s1_frac + deltavol3 * in.s3_frac;
  record(stdout_unit);
  record(stdout_unit, "deltavol=", deltavol.re, deltavol.im);

  // --- Modulus from the volume change of solid 1 ---
  const double area = static_cast<double>(nx) * deck.domain_size * h;
  const dcomplex mstar = periodic ? periodic_modulus : modulus_from_volume_change(deltavol1, area);
  const double velocity_mstar = phase_velocity(mstar, in.rob_med);
  const double q_mstar = mstar.re / mstar.im;  // the sign is kept
  record(stdout_unit, "from deltavol1 Velocity(m/s) FE = ", velocity_mstar);
  record(stdout_unit, "from deltavol1 1000/Q FE        = ", 1000.0 / q_mstar);
  record(stdout_unit, "from deltavol1  Q FE            = ", q_mstar);
  record(stdout_unit, "from deltavol1 Re(p33) FE mstar      = ", mstar.re);
  record(stdout_unit, "from deltavol1 Im(p33) FE mstar      = ", mstar.im);
  record(stdout_unit);

  // --- Work-conjugate displacement of the top ---
  // Each top cell carries -h/2 on the vertical displacement of both solids
  // at its two upper vertices; the same weights give the displacement
  // conjugate to the load.  Under the piston all four are one unknown.
  dcomplex top_work(0.0, 0.0);
  for (std::int32_t j = 1; j <= nx; ++j) {
    const std::int32_t c = (ny - 1) * nx + j;
    const dcomplex upper = ((u(c, solid1_y(ul)) + u(c, solid1_y(ur))) + u(c, solid3_y(ul))) + u(c, solid3_y(ur));
    top_work = top_work + (0.5 * h) * upper;
  }
  const dcomplex mw = periodic ? periodic_modulus : work_conjugate_modulus(top_work, area);
  const double velocity_w = phase_velocity(mw, in.rob_med);
  const double q_w = mw.re / mw.im;  // the sign is kept: a negative Q is not dissipative

  // --- Strain and stress of every cell ---
  // Vertical strains of both solids (mean of the two vertical edge
  // differences), the divergence xi of the fluid displacement, and the
  // vertical stress of the three-phase constitutive law.
  dcomplex strain_sum(0.0, 0.0), stress_sum(0.0, 0.0);
  for (std::int32_t k = 1; k <= ny; ++k) {
    for (std::int32_t j = 1; j <= nx; ++j) {
      const std::int32_t c = (k - 1) * nx + j;
      fields.strain1(j, k) =
          (u(c, solid1_y(ur)) - u(c, solid1_y(lr)) + u(c, solid1_y(ul)) - u(c, solid1_y(ll))) / (2.0 * h);
      fields.strain3(j, k) =
          (u(c, solid3_y(ur)) - u(c, solid3_y(lr)) + u(c, solid3_y(ul)) - u(c, solid3_y(ll))) / (2.0 * h);
      const dcomplex xi = (u(c, fluid_right) - u(c, fluid_left) + u(c, fluid_top) - u(c, fluid_bottom)) / h;
      fields.stress(j, k) = in.coef.d3(j, k) * xi + (in.coef.lambda1(j, k) + 2.0 * in.coef.mu1(j, k)) * fields.strain1(j, k) +
                            in.coef.mu13(j, k) * fields.strain3(j, k);
      record(result_unit::real_strain1, j, k, fields.strain1(j, k).re);
      record(result_unit::imag_strain1, j, k, fields.strain1(j, k).im);
      record(result_unit::real_strain3, j, k, fields.strain3(j, k).re);
      record(result_unit::imag_strain3, j, k, fields.strain3(j, k).im);
      record(result_unit::real_stress, j, k, fields.stress(j, k).re);
      record(result_unit::imag_stress, j, k, fields.stress(j, k).im);
      strain_sum = strain_sum + fields.strain1(j, k);
      stress_sum = stress_sum + fields.stress(j, k);
    }
  }
  const double volume = static_cast<double>(nx) * h * h * static_cast<double>(ny);
  const dcomplex av_strain = strain_sum / volume;
  const dcomplex av_stress = stress_sum / volume;
  record(stdout_unit, " av_strain ", av_strain.re, av_strain.im);
  record(stdout_unit);
  record(stdout_unit, " av_stress ", av_stress.re, av_stress.im);

  // --- Modulus from the averages ---
  const dcomplex c33 = periodic ? periodic_modulus : av_stress / av_strain;
  const double velocity_c33 = phase_velocity(c33, in.rob_med);
  const double q_c33 = std::fabs(c33.re / c33.im);
  const double thousand_over_q_c33 = 1000.0 / q_c33;
  record(stdout_unit, " ****************************************");
  record(stdout_unit);
  record(stdout_unit, "using averages  Velocity(m/s) FE = ", velocity_c33);
  record(stdout_unit, "using averages 1000/Q FE         = ", thousand_over_q_c33);
  record(stdout_unit, "using averages Q FE              = ", q_c33);
  record(stdout_unit, "using averages Re(c33) FE        = ", c33.re);
  record(stdout_unit, "using averages Im(c33) FE        = ", c33.im);
  record(stdout_unit);
  record(stdout_unit, " ****************************************");
  record(stdout_unit, "work-conjugate Re(M)           = ", mw.re);
  record(stdout_unit, "work-conjugate Im(M)           = ", mw.im);
  record(stdout_unit, "work-conjugate velocity (m/s)  = ", velocity_w);
  record(stdout_unit, "work-conjugate 1000/Q          = ", 1000.0 / q_w);

  // A modulus that is not a finite number (averages that overflow or
  // vanish for a sample far outside any physical scale) must not reach the
  // result tables as if it were a result.
  if (!std::isfinite(c33.re) || !std::isfinite(c33.im)) {
    stop_run(stop_nonfinite_result, record_text(" non-finite modulus c33 value", c33.re, c33.im));
  }

  // --- Result tables ---
  record(result_unit::vp_anal, deck.phi_layer(1), in.vp1);
  table_record(result_unit::vp_eq, deck.phi_layer(1), velocity_c33);
  table_record(result_unit::thousand_over_q_eq, deck.phi_layer(1), thousand_over_q_c33);
  table_record(result_unit::thousand_over_q_anal, deck.fmin, in.thousand_over_qp1);

  // --- Modulus from the volume change of solid 3 ---
  const dcomplex mstar3 = periodic ? periodic_modulus : modulus_from_volume_change(deltavol3, area);
  const double q_mstar3 = mstar3.re / mstar3.im;

  // --- Fluid pressure and its gradient ---
  // p = -(B1 div u1 + B2 div u3 + M div w); its differences towards the
  // left and lower neighbours give the gradient of the interior cells.
  for (std::int32_t k = 1; k <= ny; ++k) {
    for (std::int32_t j = 1; j <= nx; ++j) {
      const std::int32_t c = (k - 1) * nx + j;
      const dcomplex theta1 = (u(c, solid1_x(lr)) - u(c, solid1_x(ll)) + u(c, solid1_x(ur)) - u(c, solid1_x(ul)) -
                               u(c, solid1_y(ll)) - u(c, solid1_y(lr)) + u(c, solid1_y(ur)) + u(c, solid1_y(ul))) /
                              (2.0 * h);
      const dcomplex theta3 = (u(c, solid3_x(lr)) - u(c, solid3_x(ll)) + u(c, solid3_x(ur)) - u(c, solid3_x(ul)) -
                               u(c, solid3_y(ll)) - u(c, solid3_y(lr)) + u(c, solid3_y(ur)) + u(c, solid3_y(ul))) /
                              (2.0 * h);
      const dcomplex xi = (u(c, fluid_right) - u(c, fluid_left) + u(c, fluid_top) - u(c, fluid_bottom)) / h;
      fields.pres(j, k) = -(in.coef.b1(j, k) * theta1 + in.coef.b2(j, k) * theta3 + in.coef.m(j, k) * xi);
      record(result_unit::mod_pressure, j, k, abs(fields.pres(j, k)));
      if (j >= 2 && j <= nx - 1 && k >= 2 && k <= ny - 1) {
        fields.derx_pres(j, k) = (fields.pres(j, k) - fields.pres(j - 1, k)) / h;
        fields.dery_pres(j, k) = (fields.pres(j, k) - fields.pres(j, k - 1)) / h;
        // Euclidean norm of the complex gradient, sqrt(|dp/dx|^2 + |dp/dy|^2),
        // formed with hypot so that no square overflows or underflows.
        fields.grad_pres_mod(j, k) = std::hypot(abs(fields.derx_pres(j, k)), abs(fields.dery_pres(j, k)));
        record(result_unit::mod_grad_pressure, j - 1, k - 1, fields.grad_pres_mod(j, k));
      }
    }
  }

  // --- The tables of mstar3 (default file names fort.54, fort.18) ---
  table_record(result_unit::q_mstar3, in.freq_log, q_mstar3);
  record(result_unit::mstar3, in.freq_log, mstar3.re, mstar3.im);

  return SampleResults{mstar,       c33, velocity_c33, thousand_over_q_c33, velocity_mstar, 1000.0 / q_mstar,
                       mw,          velocity_w, 1000.0 / q_w};
}
