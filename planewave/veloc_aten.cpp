// Plane-wave analysis of each cell's homogeneous three-phase medium.
//
// A plane wave exp(i(k x - omega t)) with amplitude u satisfies
// omega^2 A u = k^2 E u, so the eigenvalues of S = E^{-1} A are the squared
// complex slownesses (k/omega)^2; a mode's phase speed is 1/Re(slowness) and
// its quality factor Q = |Re s / Im s|.
//
// Unknowns (index of E, A, S): 1 solid 1 compressional, 2 solid 1 shear,
// 3 fluid compressional, 4 solid 3 compressional, 5 solid 3 shear.  E and A
// are block diagonal: the compressional block on 1, 3, 4, the shear block on
// 2, 5.  The friction enters A as i*b/omega, the quotient (0, b)/(omega, 0).
// The fluid carries no shear stress, so the shear block of A is the
// compressional block with the fluid row and column eliminated.
//
// Per cell:
//   1. E, A;  2. S = E^{-1} A (c_invert, sums in ascending inner index);
//   3. compressional eigenvalues of S(1,3,4; 1,3,4) by cautov, refined;
//   4. vp1 is the faster of roots 1 and 2 (a tie keeps root 1 first),
//      vp3 is root 3 whatever its speed;
//   5. atp, Q, 1000/Q of each compressional mode;
//   6. shear eigenvalues of S(2,5; 2,5) by the quadratic formula, refined;
//   7. vs1 is the faster shear mode;
//   8. the checks of the five speeds.
#include "planewave/veloc_aten.hpp"

#include <cmath>
#include <string>

#include "common/complex.hpp"
#include "common/format.hpp"
#include "common/stop.hpp"
#include "planewave/c_invert.hpp"
#include "planewave/cautov.hpp"
#include "planewave/plane_mode.hpp"
#include "planewave/refine_roots.hpp"

namespace {

int at5(int i, int j) { return (j - 1) * 5 + (i - 1); }

void check_positive(double speed, const char* message, int code) {
  if (speed <= 0.0) {
    stop_run(code, record_text(message, speed));
  }
}

// A mode that does not propagate has no speed to report (see propagates()).
// The test is a tolerance on the real part of the slowness, so the speed
// shown may be finite (if absurdly large): the message says what was
// found, the slowness and its real part, rather than calling it infinite.
void check_propagates(const PlaneMode& mode, const char* label) {
  if (propagates(mode)) return;
  const std::string name(label);
  if (std::isnan(mode.speed)) {
    stop_run(stop_infinite_speed, record_text(" error, " + name + " is not a number, " + name + " = ", mode.speed));
  }
  stop_run(stop_infinite_speed,
           record_text(" error, " + name + " does not propagate: its slowness has practically no real part, Re s =",
                       mode.s.re, "|s| =", abs(mode.s), name + " = ", mode.speed));
}

void echo_compressional(int label, double speed, double atp, double thousand_over_q, double q) {
  const std::string n = std::to_string(label);
  record(stdout_unit, "vp" + n + " = ", speed, "m/s", " atp" + n + " = ", atp, "1000/qp" + n + " ",
         thousand_over_q);
  record(stdout_unit, " Q" + n + " = ", q);
  record(stdout_unit);
}

void echo_shear(int label, double speed, double ats, double thousand_over_q, double q) {
  const std::string n = std::to_string(label);
  record(stdout_unit, "vs" + n + " = ", speed, " ats" + n + " = ", ats, "1000/qs" + n + " ", thousand_over_q);
  record(stdout_unit, " Qs" + n + " = ", q);
  record(stdout_unit);
}

}  // namespace

void veloc_aten(const std::int32_t& nx, const std::int32_t& ny, const double& omega,
                const RealMap& p11, const RealMap& p12, const RealMap& p13, const RealMap& p22,
                const RealMap& p23, const RealMap& p33, const RealMap& b11, const RealMap& b12,
                const RealMap& b22, const RealMap& lambda1, const RealMap& lambda3, const RealMap& mu1,
                const RealMap& mu3, const RealMap& mu13, const RealMap& b1, const RealMap& b2,
                const RealMap& m, const RealMap& d3, double& vp1, double& vp2, double& vp3, double& vs1,
                double& vs2, double& thousand_over_qp1, double& thousand_over_qp2,
                double& thousand_over_qp3, double& thousand_over_qs1, double& thousand_over_qs2,
                double* slowest_vp1) {
  const std::int32_t centre_j = nx / 2;
  const std::int32_t centre_k = ny / 2;
  const dcomplex frequency(omega, 0.0);

  dcomplex e[25], a[25], s[25];
  for (int k = 1; k <= ny; ++k) {
    for (int j = 1; j <= nx; ++j) {
      const bool centre = (j == centre_j && k == centre_k);

      // --- 1. Stiffness E and mass-and-friction A ---
      for (int i = 0; i < 25; ++i) e[i] = a[i] = dcomplex{};
      e[at5(1, 1)] = dcomplex(lambda1(j, k) + 2.0 * mu1(j, k));
      e[at5(1, 3)] = e[at5(3, 1)] = dcomplex(b1(j, k));
      e[at5(1, 4)] = e[at5(4, 1)] = dcomplex(mu13(j, k) + d3(j, k));
      e[at5(3, 3)] = dcomplex(m(j, k));
      e[at5(3, 4)] = e[at5(4, 3)] = dcomplex(b2(j, k));
      e[at5(4, 4)] = dcomplex(lambda3(j, k) + 2.0 * mu3(j, k));
      e[at5(2, 2)] = dcomplex(mu1(j, k));
      e[at5(2, 5)] = e[at5(5, 2)] = dcomplex(0.5 * mu13(j, k));
      e[at5(5, 5)] = dcomplex(mu3(j, k));

      const dcomplex i_b11 = dcomplex(0.0, b11(j, k)) / frequency;
      const dcomplex i_b12 = dcomplex(0.0, b12(j, k)) / frequency;
      const dcomplex i_b22 = dcomplex(0.0, b22(j, k)) / frequency;
      const dcomplex a11 = dcomplex(p11(j, k)) - i_b11;
      const dcomplex a12 = dcomplex(p12(j, k)) + i_b12;
      const dcomplex a13 = dcomplex(p13(j, k)) + i_b11;
      const dcomplex a22 = dcomplex(p22(j, k)) - i_b22;
      const dcomplex a23 = dcomplex(p23(j, k)) - i_b12;
      const dcomplex a33 = dcomplex(p33(j, k)) - i_b11;
      a[at5(1, 1)] = a11;
      a[at5(1, 3)] = a[at5(3, 1)] = a12;
      a[at5(1, 4)] = a[at5(4, 1)] = a13;
      a[at5(3, 3)] = a22;
      a[at5(3, 4)] = a[at5(4, 3)] = a23;
      a[at5(4, 4)] = a33;
      // Fluid eliminated (Schur complement on the fluid entry); grouping as written.
      a[at5(2, 2)] = a11 - (a12 * a12) / a22;
      a[at5(2, 5)] = a[at5(5, 2)] = a13 - (a12 * a23) / a22;
      a[at5(5, 5)] = a33 - (a23 * a23) / a22;

      // --- 2. S = E^{-1} A ---
      const std::int32_t order = 5;
      c_invert(order, e);  // e now holds E^{-1}
      for (int c = 1; c <= 5; ++c) {
        for (int r = 1; r <= 5; ++r) {
          dcomplex sum{};
          for (int f = 1; f <= 5; ++f) sum += e[at5(r, f)] * a[at5(f, c)];
          s[at5(r, c)] = sum;
        }
      }

      // --- 3. Compressional eigenvalues: rows and columns 1, 3, 4 of S ---
      constexpr int compressional[3] = {1, 3, 4};
      dcomplex t[9], a_c[9];
      for (int c = 0; c < 3; ++c) {
        for (int r = 0; r < 3; ++r) {
          t[c * 3 + r] = s[at5(compressional[r], compressional[c])];
          a_c[c * 3 + r] = a[at5(compressional[r], compressional[c])];
        }
      }
      dcomplex lambda[3];
      cautov(t, lambda);
      refine_cubic_roots(t, lambda);
      PlaneMode p1 = plane_mode(lambda[0]);
      PlaneMode p2 = plane_mode(lambda[1]);
      const PlaneMode p3 = plane_mode(lambda[2]);

      // --- 4. Order: the faster of roots 1 and 2 first (vp3 stays root 3) ---
      faster_first(p1, p2);
      vp1 = p1.speed;
      vp2 = p2.speed;
      vp3 = p3.speed;

      if (j == 1 && k == 1) {
        record(stdout_unit, "********************************************");
        record(stdout_unit);
        record(stdout_unit, " ANGULAR FREQUENCY :  ", omega, " (HZ)");
        record(stdout_unit);
        record(stdout_unit, "********************************************");
      }

      // --- 5. Attenuation of the compressional modes ---
      const double atp1 = attenuation_per_wavelength(p1);
      const double atp2 = attenuation_per_wavelength(p2);
      const double atp3 = attenuation_per_wavelength(p3);
      const double qp1 = quality_factor(p1);
      const double qp2 = quality_factor(p2);
      const double qp3 = quality_factor(p3);
      thousand_over_qp1 = 1000.0 / qp1;
      thousand_over_qp2 = 1000.0 / qp2;
      thousand_over_qp3 = 1000.0 / qp3;

      if (centre) {
        record(stdout_unit, "nx/2,ny/2 ", centre_j, centre_k);
        record(stdout_unit, "Compressional wave speeds using eigenvalues");
        record(stdout_unit, "  of matrix S = E^{-1} A associated with   ");
        record(stdout_unit, " rows and  col. 1,3 y 4  of S,  respec.");
        record(stdout_unit);
        echo_compressional(1, vp1, atp1, thousand_over_qp1, qp1);
        echo_compressional(2, vp2, atp2, thousand_over_qp2, qp2);
        echo_compressional(3, vp3, atp3, thousand_over_qp3, qp3);
      }

      // --- 6. Shear eigenvalues: rows and columns 2, 5 of S ---
      const dcomplex s22 = s[at5(2, 2)], s25 = s[at5(2, 5)];
      const dcomplex s52 = s[at5(5, 2)], s55 = s[at5(5, 5)];
      const dcomplex tr = s22 + s55;
      const dcomplex det = s22 * s55 - s25 * s52;
      const dcomplex root = sqrt(tr * tr - 4.0 * det);
      dcomplex mu_plus = 0.5 * (tr + root);
      dcomplex mu_minus = 0.5 * (tr - root);
      refine_shear_pair(a_c, mu1(j, k), mu3(j, k), mu13(j, k), mu_plus, mu_minus);
      PlaneMode s1 = plane_mode(mu_plus);
      PlaneMode s2 = plane_mode(mu_minus);

      // --- 7. Order: the faster shear mode first ---
      faster_first(s1, s2);
      vs1 = s1.speed;
      vs2 = s2.speed;
      const double ats1 = attenuation_per_wavelength(s1);
      const double ats2 = attenuation_per_wavelength(s2);
      const double qs1 = quality_factor(s1);
      const double qs2 = quality_factor(s2);
      thousand_over_qs1 = 1000.0 / qs1;
      thousand_over_qs2 = 1000.0 / qs2;

      if (centre) {
        record(stdout_unit, "nx/2,ny/2 ", centre_j, centre_k);
        record(stdout_unit);
        record(stdout_unit, " Shear  wave speeds and att. using eigenvalues");
        record(stdout_unit, "  of matrix S = E^{-1} A col. associated with ");
        record(stdout_unit, " rows and  cols. 2 and 5 of  S,  respec.");
        record(stdout_unit);
        echo_shear(1, vs1, ats1, thousand_over_qs1, qs1);
        echo_shear(2, vs2, ats2, thousand_over_qs2, qs2);
      }

      // --- 8. Checks: a speed must be positive ... ---
      check_positive(vp1, " error, vp1 is negative, vp1 = ", 2000);
      check_positive(vp2, " error, vp2 is negative, vp2 = ", 2001);
      check_positive(vp3, " error, vp3 is negative, vp3 = ", 2002);
      check_positive(vs1, " error, vs1 is negative, vs1 = ", 2003);
      check_positive(vs2, " error, vs2 is negative, vs2 = ", 2004);
      // ... and a travelling wave: an infinite speed (Re s = 0, the mode
      // only decays) or a NaN (singular E) is no result to report.
      check_propagates(p1, "vp1");
      check_propagates(p2, "vp2");
      check_propagates(p3, "vp3");
      check_propagates(s1, "vs1");
      check_propagates(s2, "vs2");
      if (slowest_vp1 != nullptr && ((j == 1 && k == 1) || vp1 < *slowest_vp1)) *slowest_vp1 = vp1;
    }
  }
  record(stdout_unit);
}
