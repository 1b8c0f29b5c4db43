#include "fem/local_sys.hpp"

#include "fem/global_numbering.hpp"

namespace {

// Exact integrals over the reference square [0,1]^2 of the bilinear vertex
// functions N1 = (1-xi)(1-eta), N2 = xi(1-eta), N3 = xi*eta, N4 = (1-xi)eta
// and of the edge functions of the fluid, (1-xi), xi on the left and right
// edges and (1-eta), eta on the bottom and top edges. Every constant is the
// correctly rounded value of its rational number.
//   kxx(i,l) = int dNi/dxi  dNl/dxi     kyy(i,l) = int dNi/deta dNl/deta
//   kxy(i,l) = int dNi/dxi  dNl/deta    mv(i,l)  = int Ni Nl
//   gx(i) = int dNi/dxi,  gy(i) = int dNi/deta
//   c_edge(e,i) = int Ni * (fluid function of edge e), e = L, R, B, T
//   g_edge(e,e') = int (fluid function of e) * (fluid function of e')
constexpr double sixth = 1.0 / 6.0;
constexpr double twelfth = 1.0 / 12.0;
constexpr double third = 1.0 / 3.0;
constexpr double ninth = 1.0 / 9.0;
constexpr double eighteenth = 1.0 / 18.0;
constexpr double thirty_sixth = 1.0 / 36.0;

constexpr double kxx[4][4] = {{2 * sixth, -2 * sixth, -1 * sixth, 1 * sixth},
                              {-2 * sixth, 2 * sixth, 1 * sixth, -1 * sixth},
                              {-1 * sixth, 1 * sixth, 2 * sixth, -2 * sixth},
                              {1 * sixth, -1 * sixth, -2 * sixth, 2 * sixth}};
constexpr double kyy[4][4] = {{2 * sixth, 1 * sixth, -1 * sixth, -2 * sixth},
                              {1 * sixth, 2 * sixth, -2 * sixth, -1 * sixth},
                              {-1 * sixth, -2 * sixth, 2 * sixth, 1 * sixth},
                              {-2 * sixth, -1 * sixth, 1 * sixth, 2 * sixth}};
constexpr double kxy[4][4] = {{0.25, 0.25, -0.25, -0.25},
                              {-0.25, -0.25, 0.25, 0.25},
                              {-0.25, -0.25, 0.25, 0.25},
                              {0.25, 0.25, -0.25, -0.25}};
constexpr double mv[4][4] = {{ninth, eighteenth, thirty_sixth, eighteenth},
                             {eighteenth, ninth, eighteenth, thirty_sixth},
                             {thirty_sixth, eighteenth, ninth, eighteenth},
                             {eighteenth, thirty_sixth, eighteenth, ninth}};
constexpr double gx[4] = {-0.5, 0.5, 0.5, -0.5};
constexpr double gy[4] = {-0.5, -0.5, 0.5, 0.5};
constexpr double c_edge[4][4] = {{sixth, twelfth, twelfth, sixth},    // L: 1-xi
                                 {twelfth, sixth, sixth, twelfth},    // R: xi
                                 {sixth, sixth, twelfth, twelfth},    // B: 1-eta
                                 {twelfth, twelfth, sixth, sixth}};   // T: eta
constexpr double g_edge[4][4] = {{third, sixth, 0.0, 0.0},
                                 {sixth, third, 0.0, 0.0},
                                 {0.0, 0.0, third, sixth},
                                 {0.0, 0.0, sixth, third}};
// Reference divergence of the fluid function of edge L, R, B, T.
constexpr double d_edge[4] = {-1.0, 1.0, -1.0, 1.0};
// Whether an edge is vertical (carries the x component of the fluid).
constexpr bool vertical_edge[4] = {true, true, false, false};

// Local slots. Solid phase ph: 0 = solid 1, 1 = solid 3; vertex i = 0..3;
// fluid edge e = 0..3 for L, R, B, T.
constexpr int x_slot(int ph, int i) { return ph == 0 ? slot::solid1_x(i + 1) : slot::solid3_x(i + 1); }
constexpr int y_slot(int ph, int i) { return ph == 0 ? slot::solid1_y(i + 1) : slot::solid3_y(i + 1); }
constexpr int f_slot(int e) { return slot::fluid_left + e; }

// The held slots of the horizontal and the shear test, for the sides the
// cell (j,k) touches.  Every side is closed to the fluid.
//   horizontal: left x; bottom and top y; the right x displacements are
//       the loaded plate's.
//   shear: bottom x and y; left, right and top y; the top x displacements
//       are the loaded plate's.  With y held on every side and x free on
//       the lateral sides, the uniform simple shear u1 = u3 = (g y, 0) of a
//       homogeneous or horizontally layered sample meets every condition
//       (its sigma_xx and the lateral sides' tangential traction sigma_xz
//       are what the held y displacements react), so the test shears such
//       samples uniformly.
void hold_other_test(HarmonicTest test, int j, int k, int nx, int ny, int* ifix) {
  using namespace slot;
  auto hold_x = [&](int v1, int v2) {
    for (int s : {solid1_x(v1), solid1_x(v2), solid3_x(v1), solid3_x(v2)}) ifix[s] = 1;
  };
  auto hold_y = [&](int v1, int v2) {
    for (int s : {solid1_y(v1), solid1_y(v2), solid3_y(v1), solid3_y(v2)}) ifix[s] = 1;
  };
  if (j == 1) ifix[fluid_left] = 1;
  if (j == nx) ifix[fluid_right] = 1;
  if (k == 1) ifix[fluid_bottom] = 1;
  if (k == ny) ifix[fluid_top] = 1;
  if (test == HarmonicTest::horizontal) {
    if (j == 1) hold_x(lower_left, upper_left);
    if (k == 1) hold_y(lower_left, lower_right);
    if (k == ny) hold_y(upper_left, upper_right);
  } else {
    if (k == 1) {
      hold_x(lower_left, lower_right);
      hold_y(lower_left, lower_right);
    }
    if (j == 1) hold_y(lower_left, upper_left);
    if (j == nx) hold_y(lower_right, upper_right);
    if (k == ny) hold_y(upper_left, upper_right);
  }
}

}  // namespace

// Policy:
//   1. load and boundary flags cleared;
//   2. flags ifix(s) = 1 for the slots held at zero by the side(s) the cell
//      touches;
//   3. the full symmetric matrix: stiffness (real) + i*omega*h^2*friction;
//   4. rows completed in order s = 1..20: a flagged row keeps only its
//      diagonal; an unflagged row copies its entries left of the diagonal
//      from the already completed rows above it, so a column of a flagged
//      slot is zero below its diagonal (the matrix of a boundary cell is no
//      longer symmetric);
//   5. on the top row, the nodal load -h/2 of a traction of -1 Pa on the
//      y displacement of both solids at the two top vertices.
void local_sys(const std::int32_t& j, const std::int32_t& k, const std::int32_t& nx,
               const std::int32_t& ny, const double& omega, const double& h,
               const double& lambda1, const double& lambda3, const double& mu1,
               const double& mu3, const double& mu13, const double& b1, const double& b2,
               const double& m, const double& d3, const double& /*p11*/,
               const double& /*p12*/, const double& /*p13*/, const double& /*p22*/,
               const double& /*p23*/, const double& /*p33*/, const double& b11,
               const double& b12, const double& b22, ElementMatrix& a_el,
               ElementVector& rhs_el, HarmonicTest test) {
  const dcomplex zero(0.0, 0.0);

  // --- 1. Clear the load and the flags ---
  for (int s = 1; s <= 20; ++s) rhs_el(s) = zero;
  int ifix[21] = {};  // ifix[s], s = 1..20

  // --- 2. Boundary flags: normal solid displacement and fluid flux ---
  using namespace slot;
  if (test == HarmonicTest::vertical) {
    if (j == 1) {  // left side: x of both solids at the left vertices, edge L
      for (int s : {solid1_x(lower_left), solid1_x(upper_left), fluid_left, solid3_x(lower_left),
                    solid3_x(upper_left)}) {
        ifix[s] = 1;
      }
    }
    if (j == nx) {  // right side: x at the right vertices, edge R
      for (int s : {solid1_x(lower_right), solid1_x(upper_right), fluid_right, solid3_x(lower_right),
                    solid3_x(upper_right)}) {
        ifix[s] = 1;
      }
    }
    if (k == 1) {  // bottom: y at the bottom vertices, edge B
      for (int s : {solid1_y(lower_left), solid1_y(lower_right), fluid_bottom, solid3_y(lower_left),
                    solid3_y(lower_right)}) {
        ifix[s] = 1;
      }
    }
    if (k == ny) {  // top: only the fluid is held; both solids are loaded
      ifix[fluid_top] = 1;
    }
  } else if (is_periodic(test)) {
    // No side: only solid 1 at the corner vertex, against the rigid
    // translation.
    for (int s = 1; s <= 20; ++s) ifix[s] = periodic_held_slot(j, k, nx, ny, s) ? 1 : 0;
  } else {
    hold_other_test(test, j, k, nx, ny, ifix);
  }
  // --- 3. Full symmetric matrix ---
  // Friction scale omega*h^2: the mass-type integrals scale with the area.
  const double fac = omega * (h * h);

  // Solid-solid blocks: lambda*div u*div v + 2*mu*eps(u):eps(v), one
  // (lambda, mu) pair per block; the two solids are coupled through d3 and
  // mu13/2. Friction b11*(u1 - u3).(v1 - v3) acts on like components only,
  // with the sign + within a solid and - between the solids.
  for (int pr = 0; pr < 2; ++pr) {
    for (int pc = 0; pc < 2; ++pc) {
      double lam;
      double mu;
      if (pr == 0 && pc == 0) {
        lam = lambda1;
        mu = mu1;
      } else if (pr == 1 && pc == 1) {
        lam = lambda3;
        mu = mu3;
      } else {
        lam = d3;
        mu = mu13 / 2.0;
      }
      const double fric = (pr == pc) ? b11 : -b11;
      for (int i = 0; i < 4; ++i) {
        for (int l = 0; l < 4; ++l) {
          const double like = fac * (fric * mv[i][l]);
          a_el(x_slot(pr, i), x_slot(pc, l)) =
              dcomplex((lam + 2.0 * mu) * kxx[i][l] + mu * kyy[i][l], like);
          a_el(y_slot(pr, i), y_slot(pc, l)) =
              dcomplex((lam + 2.0 * mu) * kyy[i][l] + mu * kxx[i][l], like);
          a_el(x_slot(pr, i), y_slot(pc, l)) =
              dcomplex(lam * kxy[i][l] + mu * kxy[l][i], 0.0);
          a_el(y_slot(pr, i), x_slot(pc, l)) =
              dcomplex(lam * kxy[l][i] + mu * kxy[i][l], 0.0);
        }
      }
    }
  }

  // Solid-fluid: beta * div(solid) * div(fluid) with beta = b1 (solid 1) or
  // b2 (solid 3); friction b12*((u3 - u1).w' + w.(v3 - v1)) couples a solid
  // component only with the fluid component of the same direction.
  for (int ph = 0; ph < 2; ++ph) {
    const double beta = (ph == 0) ? b1 : b2;
    const double fric = (ph == 0) ? -b12 : b12;
    for (int i = 0; i < 4; ++i) {
      for (int e = 0; e < 4; ++e) {
        const double fx = vertical_edge[e] ? fac * (fric * c_edge[e][i]) : 0.0;
        const double fy = vertical_edge[e] ? 0.0 : fac * (fric * c_edge[e][i]);
        const dcomplex ax(beta * gx[i] * d_edge[e], fx);
        const dcomplex ay(beta * gy[i] * d_edge[e], fy);
        a_el(x_slot(ph, i), f_slot(e)) = ax;
        a_el(f_slot(e), x_slot(ph, i)) = ax;
        a_el(y_slot(ph, i), f_slot(e)) = ay;
        a_el(f_slot(e), y_slot(ph, i)) = ay;
      }
    }
  }

  // Fluid-fluid: m * div w * div w' + i*omega*h^2 * b22 * w.w'.
  for (int e = 0; e < 4; ++e) {
    for (int f = 0; f < 4; ++f) {
      a_el(f_slot(e), f_slot(f)) =
          dcomplex(m * d_edge[e] * d_edge[f], fac * (b22 * g_edge[e][f]));
    }
  }

  // --- 3b. Periodic tests: the load of the imposed strain ---
  // The unknowns are the fluctuations u~ of u = E.x + u~, so the element's
  // share of the equations A (E.x + u~) = 0 puts -A (E.x) on the right,
  // from the full matrix, before any row is held.
  if (is_periodic(test)) {
    const MacroStrain strain = imposed_strain(test);
    double affine[21];
    for (int t = 1; t <= 20; ++t) affine[t] = affine_displacement(strain, t, h);
    for (int s = 1; s <= 20; ++s) {
      if (ifix[s] == 1) continue;
      dcomplex sum(0.0, 0.0);
      for (int t = 1; t <= 20; ++t) {
        if (affine[t] == 0.0) continue;
        sum.re -= a_el(s, t).re * affine[t];
        sum.im -= a_el(s, t).im * affine[t];
      }
      rhs_el(s) = sum;
    }
  }

  // --- 4. Rows completed in order, imposing the held slots ---
  for (int s = 1; s <= 20; ++s) {
    if (ifix[s] == 1) {
      for (int t = 1; t <= 20; ++t) {
        if (t != s) a_el(s, t) = zero;
      }
    } else {
      for (int t = 1; t < s; ++t) a_el(s, t) = a_el(t, s);
    }
  }

  // --- 5. Load: traction of 1 Pa on the loaded side of both solids ---
  if (test == HarmonicTest::vertical) {
    if (k == ny) {  // -1 Pa normal to the top
      const dcomplex load(-h / 2.0, 0.0);
      rhs_el(slot::solid1_y(slot::upper_right)) = load;
      rhs_el(slot::solid1_y(slot::upper_left)) = load;
      rhs_el(slot::solid3_y(slot::upper_right)) = load;
      rhs_el(slot::solid3_y(slot::upper_left)) = load;
    }
  } else if (!is_periodic(test)) {
    // The loaded slots are the x displacements of the right vertices
    // (horizontal, -1 Pa normal to the right side) or of the top vertices
    // (shear, +1 Pa along the top).
    const dcomplex load(test == HarmonicTest::horizontal ? -h / 2.0 : h / 2.0, 0.0);
    for (int s = 1; s <= 20; ++s) {
      if (loaded_slot(test, j, k, nx, ny, s)) rhs_el(s) = load;
    }
  }
}
