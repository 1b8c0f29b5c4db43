// Tests of the medium model: Kuster-Toksoz moduli, the elastic coefficients
// (e_modulus), the mass and friction coefficients (mass_visco_coef) and the
// guard against non-finite coefficients.
//
// Reference values marked "reference" were evaluated independently from the
// physical formulas with 50-digit decimal arithmetic (the double inputs taken
// exactly); the program, computing in doubles, must agree to ~1e-12.  Texts
// of the fixed-width fields (G10.5, E20.10) were worked out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "common/cellmap.hpp"
#include "common/stop.hpp"
#include "common/units.hpp"
#include "common/format.hpp"
#include "medium/check_coefficients.hpp"
#include "medium/e_modulus.hpp"
#include "medium/kt.hpp"
#include "medium/mass_visco_coef.hpp"
#include "tests/test_support.hpp"

namespace {

// ---------------------------------------------------------------------------
// Fixture: one sample with all inputs and outputs of the two routines.

struct LayerValues {
  double akf, ro2, eta, ro1, ro3, phi_a, capa_1_0, capa_3_0, s3, rs1, rs3, coef_b13, ak_air, xmu_air, ak_s1,
      xmu_s1, ak_s3, xmu_s3;
};

// A permafrost layer: quartz-like grains, ice, water, air-filled frame pores.
LayerValues permafrost_layer() {
  return {2.25e9, 1000, 0.00179, 2650, 920, 0.3, 1e-13, 1e-13, 0.2, 1e-4, 1e-6, 0.0,
          1.5e5,  0.0,  3.8e10,  4.4e10, 8.58e9, 3.32e9};
}

// A shaley sand: sand grains with 20 % clay, with solid-solid friction.
LayerValues shaley_layer() {
  return {2.25e9, 1000, 0.00179, 2650, 2550, 0.3, 1e-13, 1e-13, 0.2, 5e-5, 1e-6, 1e6,
          1.5e5,  0.0,  3.8e10,  4.4e10, 2.1e10, 7e9};
}

constexpr double test_omega = 100 * 6.283185307179586;  // 100 Hz

struct Medium : CoefficientMaps {
  std::int32_t nx = 1, ny = 1, key_model = 0, cycle = 1;
  double omega = test_omega;
  IntMap matnum;
  RealMap phiw, binary_ice;
  LayerReal akf, ro2, eta, ro1, ro3, phi_a, capa_1_0, capa_3_0, s3, rs1, rs3, coef_b13, ak_air, xmu_air, ak_s1,
      xmu_s1, ak_s3, xmu_s3;
  double s1_frac = -1, s3_frac = -1, phi1_frac = -1, phi3_frac = -1;

  void set_layer(int i, const LayerValues& v) {
    akf(i) = v.akf, ro2(i) = v.ro2, eta(i) = v.eta, ro1(i) = v.ro1, ro3(i) = v.ro3, phi_a(i) = v.phi_a;
    capa_1_0(i) = v.capa_1_0, capa_3_0(i) = v.capa_3_0, s3(i) = v.s3, rs1(i) = v.rs1, rs3(i) = v.rs3;
    coef_b13(i) = v.coef_b13, ak_air(i) = v.ak_air, xmu_air(i) = v.xmu_air, ak_s1(i) = v.ak_s1;
    xmu_s1(i) = v.xmu_s1, ak_s3(i) = v.ak_s3, xmu_s3(i) = v.xmu_s3;
  }
  // Every cell of layer type i, water proportion w (in phiw and binary_ice).
  void fill(std::int32_t nx_, std::int32_t ny_, int i, double w) {
    nx = nx_, ny = ny_;
    for (int j = 1; j <= nx; ++j) {
      for (int k = 1; k <= ny; ++k) {
        matnum(j, k) = i;
        phiw(j, k) = w;
        binary_ice(j, k) = w;
      }
    }
  }
  void elastic() {
    e_modulus(nx, ny, matnum, phi_a, phiw, s3, akf, eta, omega, ak_air, xmu_air, ak_s3, xmu_s3, ak_s1, xmu_s1,
              key_model, lambda1, lambda3, mu1, mu3, mu13, b1, b2, m, d3, cycle, binary_ice);
  }
  void mass() {
    mass_visco_coef(nx, ny, matnum, phi_a, phiw, s3, eta, key_model, ro1, ro2, ro3, capa_1_0, capa_3_0, rs1, rs3,
                    coef_b13, p11, p12, p13, p22, p23, p33, b11, b12, b22, s1_frac, s3_frac, phi1_frac, phi3_frac,
                    binary_ice);
  }
  void guard() {
    check_coefficients_finite(nx, ny, *this);
  }
};

// The stop number a call ends with, or nothing when it returns.
std::optional<int> stop_code(const std::function<void()>& call) {
  try {
    call();
  } catch (const StopRun& stop) {
    return stop.code;
  }
  return std::nullopt;
}

class MediumTest : public ::testing::Test {
 protected:
  ScratchDirectory scratch;
  CapturedOutput out;
  std::unique_ptr<Medium> md = std::make_unique<Medium>();

  std::vector<std::string> echo() { return split_lines(out.text()); }
  std::vector<std::string> file_lines(const std::string& name) {
    flush_all_units();
    return split_lines(read_file(scratch.path() / name));
  }
};

// ---------------------------------------------------------------------------
// Echo comparison: exact texts, or a label followed by free-format values.

struct ExpectedLine {
  std::string text;            // the whole line, or the label before the values
  std::vector<double> values;  // empty: the line must equal text exactly
};

ExpectedLine line(std::string text) { return {std::move(text), {}}; }
ExpectedLine labelled(std::string label, std::vector<double> values) { return {std::move(label), std::move(values)}; }
ExpectedLine asterisks() { return line("************************** "); }

bool close_to(double got, double want) {
  if (got == want) return true;
  return std::abs(got - want) <= 1e-12 * std::abs(want);
}

// Compares the echo from line `first` on; returns the index after the block.
std::size_t expect_echo(const std::vector<std::string>& got, std::size_t first,
                        const std::vector<ExpectedLine>& want, const std::string& block) {
  std::size_t at = first;
  for (std::size_t n = 0; n < want.size(); ++n, ++at) {
    const ExpectedLine& w = want[n];
    if (at >= got.size()) {
      ADD_FAILURE() << block << ": the echo ends before line " << n + 1 << " \"" << w.text << "\"";
      return at;
    }
    const std::string& g = got[at];
    if (w.values.empty()) {
      EXPECT_EQ(g, w.text) << block << ", line " << n + 1 << ": wrong echo text";
      continue;
    }
    if (g.compare(0, w.text.size(), w.text) != 0 || g.size() <= w.text.size() || g[w.text.size()] != ' ') {
      ADD_FAILURE() << block << ", line " << n + 1 << ": expected the label \"" << w.text
                    << "\" followed by a blank, got \"" << g << "\"";
      continue;
    }
    std::istringstream rest(g.substr(w.text.size()));
    std::vector<std::string> fields;
    for (std::string field; rest >> field;) fields.push_back(field);
    if (fields.size() != w.values.size()) {
      ADD_FAILURE() << block << ", line " << n + 1 << " \"" << g << "\": expected " << w.values.size()
                    << " values after the label";
      continue;
    }
    for (std::size_t v = 0; v < fields.size(); ++v) {
      char* end = nullptr;
      const double value = std::strtod(fields[v].c_str(), &end);
      EXPECT_TRUE(*end == '\0' && close_to(value, w.values[v]))
          << block << ", line " << n + 1 << " \"" << w.text << "\": value " << v + 1 << " is " << fields[v]
          << ", expected " << w.values[v];
    }
  }
  return at;
}

// Values of the reference cells (independent 50-digit evaluation).
struct Reference {
  double s3_prima, Sw, control, alfa1, alfa3, Kav, K1, K2, K3, C12, C13, C23, muav, mu1, mu3, mu13, KG1, KG3, KG,
      H1, H3, B1, B2, B3, lambda1, lambda3, d3, lambda1_3D, lambda3_3D, d3_3D;
  double p11, p12, p13, p22, p23, p33, capa_1, capa_3, capa, coef_b12, coef_b23, f11, f12, f22, b11, b12, b22,
      control1, control2;
};

// Permafrost layer, water proportion 0.1 (from binary_ice), 100 Hz.
const Reference permafrost_reference = {
    0.66666666666666663, 0.33333333333333337, 1, 0.39883040935672515, 0.19494997965082764, 13694008284.107365,
    15811507058.868795, 136940082.84107366, 642554910.30129921, 439649739.64765751, 759397135.8341012,
    236533534.11226103, 22.493803371223905, 15266528722.44998, 132033094.15064685, 1.2724047122275517,
    16578246950.903578, 754443398.68902373, 19462162871.199207, 16578246950.903578, 754443398.68902373,
    5461586929.684926, 2669646636.324996, 1064736260.8033025, 1311718228.4535983, 622410304.53837693,
    1064736260.1671002, 6400561135.9369249, 666421335.9219259, 1064736260.3791677,
    // mass and friction
    2079.687757201646, 1942.1759259259259, -146.90997942386829, 67570.833333333328, -942.17592592592575,
    353.13220164609049, 3.703703703703705e-15, 6.5597667638483977e-16, 5.5727554179566581e-16,
    4832999999.999999, 27287555555.55555, 16745953360.768173, -201496543209.8765, 3212055555555.5547,
    16745953360.768173, -201496543209.8765, 3212055555555.5547, 1.3188075599999992e+22, 1.3188075599999992e+22};

// Shaley-sand layer, water proportion 0.25, 100 Hz.
const Reference shaley_reference = {
    0, 0, 1, 0.5213998883745159, 0.13034997209362897, 8104043466.5553398, 11423934818.126686, 506502716.65970874,
    1514971247.0561848, 651159666.38327765, 209282644.08957246, 162789916.59581944, 8.9975213581915821,
    8217054546.1510134, 487550195.4026863, 0.29875843512913647, 12789952023.002144, 1600347322.3609009,
    15491873235.979919, 12789952023.002144, 1600347322.3609009, 4225447358.8441787, 1056361839.7110448,
    550786945.30843699, 4572897476.8511314, 1112797126.9582148, 550786945.15905774, 7311915658.9014692,
    1275313858.7591102, 550786945.20885086,
    // mass and friction
    2509.6088235294119, 940.02941176470586, -719.60882352941178, 14187.64705882353, 59.97058823529413,
    1152.1088235294119, 9.2592592592592599e-10, 1.4814814814814812e-12, 1.4791148976452488e-12, 57995999.999999993,
    36247500000, 23201719840, -115945603200.00002, 580887936000, 23202719840, -115945603200.00002, 580887936000,
    3.4216248096e+19, 3.4797136032e+19};

std::vector<ExpectedLine> moduli_echo(const Reference& r) {
  return {line(""),
          line("Moduli  as in eqs. (A.2),(A.5),(A.6),(A.7)"),
          line(""),
          line("used in contitutive eqs. (4.6)--(4.8)"),
          line(""),
          labelled("alfa1,alfa3 =", {r.alfa1, r.alfa3}),
          line(""),
          line(""),
          labelled("Kav(GPa)    = ", {r.Kav / 1e9}),
          labelled("K1(GPa)     = ", {r.K1 / 1e9}),
          labelled("K2(GPa)     = ", {r.K2 / 1e9}),
          labelled("K3(GPa)     = ", {r.K3 / 1e9}),
          labelled("C12(GPa)    = ", {r.C12 / 1e9}),
          labelled("C13(GPa)    = ", {r.C13 / 1e9}),
          labelled("C23(GPa)    = ", {r.C23 / 1e9}),
          line(""),
          line(""),
          line(" rigidity modulus mu1,mu3,mu13,muav eqs.  (A.1)"),
          labelled("xmuav(GPa)  = ", {r.muav / 1e9}),
          line(""),
          labelled("mu1(GPa)    = ", {r.mu1 / 1e9}),
          labelled("mu3(GPa)    = ", {r.mu3 / 1e9}),
          labelled("mu13(GPA)   = ", {r.mu13 / 1e9}),
          line(""),
          line(""),
          line("  Gassmann moduli  eqs. (A.7)"),
          line(""),
          labelled("KG1(GPa)    = ", {r.KG1 / 1e9}),
          labelled("KG3(GPa)    = ", {r.KG3 / 1e9}),
          labelled("KG(GPa)     = ", {r.KG / 1e9})};
}

std::vector<ExpectedLine> coefficient_echo(const Reference& r) {
  return {labelled(" element j,k = ", {1, 1}),
          line(""),
          line(""),
          line("Modulos elasticos notacion Trelno et al. JASA 04"),
          line("(en Pa)"),
          line(""),
          labelled("H1=K_{G1}(GPa)     = ", {r.H1 / 1e9}),
          labelled("H3=K_{G3}(GPa)     = ", {r.H3 / 1e9}),
          labelled("B1(GPa)            = ", {r.B1 / 1e9}),
          labelled("B2(GPa)            = ", {r.B2 / 1e9}),
          labelled("B3(GPa)            = ", {r.B3 / 1e9}),
          labelled("M=k_av(Pa)        = ", {r.Kav / 1e9}),
          labelled("xlambda1(GPa) (2D) = ", {r.lambda1 / 1e9}),
          labelled("xlambda3(GPa) (2D) = ", {r.lambda3 / 1e9}),
          labelled("d3(GPa) (2D)       = ", {r.d3 / 1e9}),
          labelled("xlambda1(GPa) (3D) = ", {r.lambda1_3D / 1e9}),
          labelled("xlambda3(GPa) (3D) = ", {r.lambda3_3D / 1e9}),
          labelled("d3(GPa) (3D)       = ", {r.d3_3D / 1e9}),
          labelled("mu1(GPa)           = ", {r.mu1 / 1e9}),
          labelled("mu3(GPa)           = ", {r.mu3 / 1e9}),
          labelled("mu13(GPA)          = ", {r.mu13 / 1e9}),
          line("")};
}

std::vector<ExpectedLine> friction_echo(const Reference& r, double b13) {
  return {labelled("f11      =", {r.f11}),
          labelled("f12      =", {r.f12}),
          labelled("f22      =", {r.f22}),
          labelled("control1 (must be  positive)  =", {r.control1}),
          line("Coef. de friccion "),
          labelled("coef_b13  ", {b13}),
          labelled("b11  = ", {r.b11}),
          labelled("b12  = ", {r.b12}),
          labelled("b22  = ", {r.b22}),
          labelled("control2 (must be  positive)  =", {r.control2}),
          line("")};
}

std::vector<ExpectedLine> mass_echo(const Reference& r) {
  return {line("mass coef."),
          labelled("p11(Kgr/m^3) = ", {r.p11}),
          labelled("p12(Kgr/m^3) = ", {r.p12}),
          labelled("p13(Kgr/m^3) = ", {r.p13}),
          labelled("p22(Kgr/m^3) = ", {r.p22}),
          labelled("p23(Kgr/m^3) = ", {r.p23}),
          labelled("p33(Kgr/m^3) = ", {r.p33})};
}

// Value of the first line that starts with `label`, NaN when absent.
double echoed_value(const std::vector<std::string>& lines, const std::string& label) {
  for (const std::string& l : lines) {
    if (l.compare(0, label.size(), label) == 0) return std::strtod(l.c_str() + label.size(), nullptr);
  }
  return std::numeric_limits<double>::quiet_NaN();
}

int count_lines_starting(const std::vector<std::string>& lines, const std::string& start) {
  int n = 0;
  for (const std::string& l : lines) n += l.compare(0, start.size(), start) == 0;
  return n;
}

}  // namespace

// ===========================================================================
// kt: Kuster-Toksoz moduli

TEST(KusterToksoz, NoInclusionsGiveTheMatrix) {
  double ak = 0, mu = 0;
  kt(3.8e10, 4.4e10, 1.5e5, 0.0, 0.0, ak, mu);
  EXPECT_EQ(ak, 3.8e10) << "c = 0 must leave the matrix bulk modulus unchanged";
  EXPECT_DOUBLE_EQ(mu, 4.4e10) << "c = 0 must leave the matrix shear modulus unchanged";
}

TEST(KusterToksoz, FullConcentrationGivesTheInclusions) {
  double ak = 0, mu = 0;
  kt(3.8e10, 4.4e10, 8.58e9, 3.32e9, 1.0, ak, mu);
  EXPECT_NEAR(ak, 8.58e9, 1e-12 * 8.58e9) << "c = 1 must give the inclusion bulk modulus";
  EXPECT_NEAR(mu, 3.32e9, 1e-12 * 3.32e9) << "c = 1 must give the inclusion shear modulus";
}

TEST(KusterToksoz, EmptyPoresInAUnitMatrixWorkedByHand) {
  // Km = Gm = 1, empty inclusions, c = 1/2:
  //   ak = (1 - 1/2) / (1 + 3/8) = 4/11,  mu = (17/2) / (17 + 9) = 17/52.
  double ak = 0, mu = 0;
  kt(1.0, 1.0, 0.0, 0.0, 0.5, ak, mu);
  EXPECT_NEAR(ak, 4.0 / 11.0, 1e-15) << "bulk modulus of a half-empty unit matrix";
  EXPECT_NEAR(mu, 17.0 / 52.0, 1e-15) << "shear modulus of a half-empty unit matrix";
}

TEST(KusterToksoz, SatisfiesTheSphericalInclusionRelations) {
  const double cases[][5] = {{3.8e10, 4.4e10, 1.5e5, 0.0, 0.3},
                             {8.58e9, 3.32e9, 1.5e5, 0.0, 0.7},
                             {2.1e10, 7e9, 3.8e10, 4.4e10, 0.25},
                             {1.0, 0.5, 2.0, 3.0, 0.6}};
  for (const auto& c : cases) {
    const double Km = c[0], Gm = c[1], Ki = c[2], Gi = c[3], conc = c[4];
    double ak = 0, mu = 0;
    kt(Km, Gm, Ki, Gi, conc, ak, mu);
    const double bulk_lhs = (ak - Km) / (3 * ak + 4 * Gm);
    const double bulk_rhs = conc * (Ki - Km) / (3 * Ki + 4 * Gm);
    EXPECT_NEAR(bulk_lhs, bulk_rhs, 1e-13) << "bulk relation fails for Km=" << Km << " c=" << conc;
    const double zeta = Gm * (9 * Km + 8 * Gm) / (6 * (Km + 2 * Gm));
    const double shear_lhs = (mu - Gm) / (mu + zeta);
    const double shear_rhs = conc * (Gi - Gm) / (Gi + zeta);
    EXPECT_NEAR(shear_lhs, shear_rhs, 1e-13) << "shear relation fails for Km=" << Km << " c=" << conc;
  }
}

// ===========================================================================
// e_modulus: echo of cell (1,1)

TEST_F(MediumTest, ElasticEchoOfThePermafrostCellMatchesTheReference) {
  md->set_layer(1, permafrost_layer());
  md->fill(1, 1, 1, 0.1);
  md->elastic();
  const auto lines = echo();
  const Reference& r = permafrost_reference;
  std::vector<ExpectedLine> fractions = {
      labelled("ice content s3_prima=", {r.s3_prima}),
      labelled("j,k, water saturation  Sw =", {1, 1, r.Sw}),
      asterisks(),
      asterisks(),
      labelled("for j, k  = ", {1, 1}),
      labelled("  control (must be = 1) =  ", {r.control}),
      line(""),
      asterisks(),
      asterisks(),
      // G10.5: F6.5 (leading zero dropped) and four blanks.
      line("porosity (water proportion)  =.10000    "),
      line(""),
      line("bulk solid 1 fraction phi1 en e_mod   =.70000    "),
      line("bulk solid 3 fraction phi3   =.20000    "),
      line("solid 1 matrix fraction s1 en e_mod  =.77778    "),
      line("solid 3 matrix fraction s3   =.22222    "),
      line(""),
      line(""),
      line(""),
      asterisks(),
      asterisks()};
  std::size_t at = expect_echo(lines, 0, fractions, "permafrost fraction echo");
  at = expect_echo(lines, at, moduli_echo(r), "permafrost moduli echo");
  at = expect_echo(lines, at, coefficient_echo(r), "permafrost coefficient echo");
  EXPECT_EQ(at, lines.size()) << "unexpected lines after the coefficient echo of a one-cell sample";
}

TEST_F(MediumTest, ElasticEchoOfTheShaleySandCellMatchesTheReference) {
  md->key_model = 1;
  md->set_layer(1, shaley_layer());
  md->fill(1, 1, 1, 0.25);
  md->elastic();
  const auto lines = echo();
  const Reference& r = shaley_reference;
  std::size_t at = expect_echo(lines, 0, {line(" output of  Krief s model  eqs. (A.8)-(A.9)")}, "Krief echo");
  at = expect_echo(lines, at, moduli_echo(r), "shaley-sand moduli echo");
  at = expect_echo(lines, at, coefficient_echo(r), "shaley-sand coefficient echo");
  EXPECT_EQ(at, lines.size()) << "unexpected lines after the coefficient echo of a one-cell sample";
}

TEST_F(MediumTest, ElasticEchoConcernsCellOneOneOnly) {
  md->set_layer(1, permafrost_layer());
  md->fill(3, 2, 1, 0.1);
  md->elastic();
  const auto lines = echo();
  EXPECT_EQ(count_lines_starting(lines, " element j,k = "), 1) << "only cell (1,1) may be echoed";
  EXPECT_EQ(count_lines_starting(lines, "ice content s3_prima="), 1) << "only cell (1,1) may be echoed";
}

// ===========================================================================
// e_modulus: the handed-on coefficients

TEST_F(MediumTest, StoredMapsHoldTheReferenceCoefficients) {
  md->set_layer(1, permafrost_layer());
  md->fill(2, 2, 1, 0.1);
  md->elastic();
  const Reference& r = permafrost_reference;
  for (int j = 1; j <= 2; ++j) {
    for (int k = 1; k <= 2; ++k) {
      EXPECT_TRUE(close_to(md->lambda1(j, k), r.lambda1)) << "lambda1 at " << j << "," << k;
      EXPECT_TRUE(close_to(md->lambda3(j, k), r.lambda3)) << "lambda3 at " << j << "," << k;
      EXPECT_TRUE(close_to(md->mu1(j, k), r.mu1)) << "mu1 at " << j << "," << k;
      EXPECT_TRUE(close_to(md->mu3(j, k), r.mu3)) << "mu3 at " << j << "," << k;
      EXPECT_TRUE(close_to(md->mu13(j, k), r.mu13)) << "mu13 at " << j << "," << k;
      EXPECT_TRUE(close_to(md->b1(j, k), r.B1)) << "b1 at " << j << "," << k;
      EXPECT_TRUE(close_to(md->b2(j, k), r.B2)) << "b2 at " << j << "," << k;
      EXPECT_TRUE(close_to(md->m(j, k), r.Kav)) << "m (Kav) at " << j << "," << k;
      EXPECT_TRUE(close_to(md->d3(j, k), r.d3)) << "d3 at " << j << "," << k;
    }
  }
}

TEST_F(MediumTest, CombinedModuliEqualTheGassmannModuli) {
  for (int model = 0; model <= 1; ++model) {
    auto sample = std::make_unique<Medium>();
    sample->key_model = model;
    sample->set_layer(1, model == 0 ? permafrost_layer() : shaley_layer());
    sample->fill(1, 1, 1, model == 0 ? 0.17 : 0.31);
    CapturedOutput own;
    sample->elastic();
    const auto lines = split_lines(own.text());
    const double H1 = echoed_value(lines, "H1=K_{G1}(GPa)     = ");
    const double KG1 = echoed_value(lines, "KG1(GPa)    = ");
    const double H3 = echoed_value(lines, "H3=K_{G3}(GPa)     = ");
    const double KG3 = echoed_value(lines, "KG3(GPa)    = ");
    EXPECT_NEAR(H1, KG1, 1e-12 * KG1) << "H1 must equal KG1 in model " << model;
    EXPECT_NEAR(H3, KG3, 1e-12 * KG3) << "H3 must equal KG3 in model " << model;
    // lambda and the 2D/3D forms: lambda1 + mu1 = H1.
    EXPECT_NEAR((sample->lambda1(1, 1) + sample->mu1(1, 1)) / 1e9, H1, 1e-12 * H1)
        << "lambda1 + mu1 must give H1 in model " << model;
  }
}

TEST_F(MediumTest, InviscidFluidDecouplesTheFramesInShear) {
  for (int model = 0; model <= 1; ++model) {
    auto sample = std::make_unique<Medium>();
    sample->key_model = model;
    LayerValues layer = model == 0 ? permafrost_layer() : shaley_layer();
    layer.eta = 0;
    sample->set_layer(1, layer);
    sample->fill(2, 1, 1, model == 0 ? 0.1 : 0.25);
    CapturedOutput own;
    sample->elastic();
    const auto lines = split_lines(own.text());
    EXPECT_EQ(sample->mu13(1, 1), 0.0) << "eta = 0 must give mu13 = 0 in model " << model;
    EXPECT_EQ(sample->mu13(2, 1), 0.0) << "eta = 0 must give mu13 = 0 in model " << model;
    EXPECT_EQ(echoed_value(lines, "xmuav(GPa)  = "), 0.0) << "eta = 0 must give muav = 0";
  }
  // In the shaley-sand model the frame moduli are closed-form (Krief):
  // mu1 = xmu_s1 exp(-sqrt(s3 s1)) s1 (1-phiw)^(1+2/(1-phiw)), mu3 = xmu_s3 s3 (...).
  auto sample = std::make_unique<Medium>();
  sample->key_model = 1;
  LayerValues layer = shaley_layer();
  layer.eta = -1;  // a negative viscosity counts as none
  sample->set_layer(1, layer);
  sample->fill(1, 1, 1, 0.25);
  CapturedOutput own;
  sample->elastic();
  const double krief = std::pow(0.75, 1 + 2 / 0.75);
  EXPECT_NEAR(sample->mu1(1, 1), 4.4e10 * std::exp(-0.4) * 0.8 * krief, 1e-12 * 4.4e10)
      << "with no viscous coupling mu1 must be the Krief frame shear modulus";
  EXPECT_NEAR(sample->mu3(1, 1), 7e9 * 0.2 * krief, 1e-12 * 7e9)
      << "with no viscous coupling mu3 must be the shale frame shear modulus";
  EXPECT_EQ(sample->mu13(1, 1), 0.0) << "a negative eta must give mu13 = 0";
}

TEST_F(MediumTest, PermafrostLayerOneTakesItsWaterFromTheIceMap) {
  md->set_layer(1, permafrost_layer());
  md->set_layer(2, permafrost_layer());
  md->fill(2, 2, 1, 0.05);
  md->matnum(2, 1) = 2;
  md->matnum(2, 2) = 2;
  md->binary_ice(1, 1) = 0.1, md->binary_ice(1, 2) = 0.2;
  md->binary_ice(2, 1) = 0.15, md->binary_ice(2, 2) = 0.25;
  md->elastic();
  EXPECT_EQ(md->phiw(1, 1), 0.1) << "a layer-type-1 cell must take binary_ice";
  EXPECT_EQ(md->phiw(1, 2), 0.2) << "a layer-type-1 cell must take binary_ice";
  EXPECT_EQ(md->phiw(2, 1), 0.05) << "a layer-type-2 cell must keep its water proportion";
  EXPECT_EQ(md->phiw(2, 2), 0.05) << "a layer-type-2 cell must keep its water proportion";
  EXPECT_TRUE(close_to(md->lambda1(1, 1), permafrost_reference.lambda1))
      << "the moduli of cell (1,1) must come from its binary_ice water proportion";
  // The overwritten map is what mass_visco_coef sees; it changes nothing more.
  md->mass();
  EXPECT_EQ(md->phiw(1, 2), 0.2) << "mass_visco_coef must leave the overwritten value";
  EXPECT_EQ(md->phiw(2, 2), 0.05) << "mass_visco_coef must not overwrite a layer-type-2 cell";
}

TEST_F(MediumTest, ShaleySandKeepsTheWaterProportions) {
  md->key_model = 1;
  md->set_layer(1, shaley_layer());
  md->fill(2, 2, 1, 0.25);
  md->binary_ice(1, 1) = 0.1;
  md->elastic();
  md->mass();
  EXPECT_EQ(md->phiw(1, 1), 0.25) << "the shaley-sand model must not read binary_ice";
}

// ===========================================================================
// e_modulus: checks and stops

TEST_F(MediumTest, IceFractionOutOfRangeStopsWith45678BeforeTheCellEcho) {
  md->set_layer(1, permafrost_layer());
  md->fill(1, 1, 1, 0.3);  // water fills the pores: no ice
  EXPECT_EQ(stop_code([&] { md->elastic(); }), 45678) << "phi3 = 0 must stop with 45678";
  EXPECT_TRUE(echo().empty()) << "the stop must come before any echo of the cell";

  auto negative = std::make_unique<Medium>();
  negative->set_layer(1, permafrost_layer());
  negative->fill(1, 1, 1, -0.7);  // phi3 = 1: no room for the frame
  EXPECT_EQ(stop_code([&] { negative->elastic(); }), 45678) << "phi3 >= 1 must stop with 45678";
}

TEST_F(MediumTest, IceFractionStopLeavesTheRecordsOfTheCellsDone) {
  md->set_layer(1, permafrost_layer());
  md->fill(2, 2, 1, 0.1);
  md->binary_ice(2, 1) = 0.35;  // the third cell in loop order
  EXPECT_EQ(stop_code([&] { md->elastic(); }), 45678) << "phiw > phi_a must stop with 45678";
  const auto records = file_lines("xmu1_gnu");
  ASSERT_EQ(records.size(), 2u) << "the record file must hold the two cells done before the stop";
  EXPECT_EQ(records[0].substr(0, 4), "1 1 ");
  EXPECT_EQ(records[1].substr(0, 4), "1 2 ");
}

TEST_F(MediumTest, FractionsNotSummingToOneStopWith555) {
  md->key_model = 1;
  md->set_layer(1, shaley_layer());
  md->fill(1, 1, 1, 1e16);  // 1 - phiw rounds: (phi1 + phiw) + phi3 = 0
  EXPECT_EQ(stop_code([&] { md->elastic(); }), 555) << "control = 0 must stop with 555";
  auto mass_sample = std::make_unique<Medium>();
  *mass_sample = *md;
  EXPECT_EQ(stop_code([&] { mass_sample->mass(); }), 555) << "mass_visco_coef must stop with 555 too";
}

TEST_F(MediumTest, NegativeLambda1InCellOneOneStopsWith12345) {
  md->key_model = 1;
  LayerValues layer = shaley_layer();
  layer.xmu_s1 = 4.4e11;  // a frame far stiffer in shear than in bulk
  md->set_layer(1, layer);
  md->fill(1, 1, 1, 0.25);
  EXPECT_EQ(stop_code([&] { md->elastic(); }), 12345) << "lambda1 <= 0 in cell (1,1) must stop with 12345";
  const auto lines = echo();
  EXPECT_EQ(count_lines_starting(lines, " neg. lambda1 j,k    1 1 -"), 2)
      << "the negative-lambda1 line must be written before the echo and again before the stop";
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back().substr(0, 23), " neg. lambda1 j,k    1 ") << "the stop message must be the last line";
  EXPECT_EQ(count_lines_starting(lines, " element j,k = "), 1) << "the coefficient echo precedes the stop";
}

TEST_F(MediumTest, NegativeLambda3InCellOneOneStopsWith12346) {
  md->key_model = 1;
  LayerValues layer = shaley_layer();
  layer.xmu_s3 = 2.1e11;
  md->set_layer(1, layer);
  md->fill(1, 1, 1, 0.25);
  EXPECT_EQ(stop_code([&] { md->elastic(); }), 12346) << "lambda3 <= 0 in cell (1,1) must stop with 12346";
  const auto lines = echo();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "") << "12346 has no message: the echo must end with the coefficient echo";
}

TEST_F(MediumTest, NegativeLambda1ElsewhereOnlyWarns) {
  md->key_model = 1;
  md->set_layer(1, shaley_layer());
  LayerValues stiff = shaley_layer();
  stiff.xmu_s1 = 4.4e11;
  md->set_layer(2, stiff);
  md->fill(2, 2, 1, 0.25);
  md->matnum(2, 1) = 2;
  md->matnum(2, 2) = 2;
  EXPECT_EQ(stop_code([&] { md->elastic(); }), std::nullopt) << "a negative lambda1 outside (1,1) must not stop";
  const auto lines = echo();
  EXPECT_EQ(count_lines_starting(lines, " neg. lambda1 j,k   "), 2) << "one warning per cell with lambda1 <= 0";
  EXPECT_EQ(count_lines_starting(lines, " neg. lambda1 j,k    2 1 "), 1) << "warning for cell (2,1)";
  EXPECT_EQ(count_lines_starting(lines, " neg. lambda1 j,k    2 2 "), 1) << "warning for cell (2,2)";
  EXPECT_LT(md->lambda1(2, 1), 0.0) << "the negative value must still be stored";
  const double warned = echoed_value(lines, " neg. lambda1 j,k    2 1 ");
  EXPECT_EQ(warned, md->lambda1(2, 1)) << "the warning must give lambda1 in Pa";
}

TEST_F(MediumTest, IndefiniteNormalStrainEnergyStopsWith45687) {
  md->key_model = 1;
  md->set_layer(1, shaley_layer());
  LayerValues soft = shaley_layer();
  soft.eta = 0;
  soft.xmu_s3 = -2.1e11;  // (lambda3 + 2 mu3) < 0
  md->set_layer(2, soft);
  md->fill(2, 2, 1, 0.25);
  md->matnum(2, 1) = 2;
  EXPECT_EQ(stop_code([&] { md->elastic(); }), 45687) << "an indefinite normal strain energy must stop with 45687";
  const auto lines = echo();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "j,k, strain energy not positive definite  2 1") << "message naming the cell";
}

TEST_F(MediumTest, IndefiniteShearStrainEnergyStopsWith45688) {
  md->key_model = 1;
  md->set_layer(1, shaley_layer());
  LayerValues soft = shaley_layer();
  soft.eta = 0;
  soft.xmu_s3 = -1e8;  // mu3 < 0 but small: only the shear part is indefinite
  md->set_layer(2, soft);
  md->fill(2, 2, 1, 0.25);
  md->matnum(1, 2) = 2;
  EXPECT_EQ(stop_code([&] { md->elastic(); }), 45688) << "an indefinite shear strain energy must stop with 45688";
  const auto lines = echo();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), " j,k,strain energy not positive definite 1 2") << "message naming the cell";
}

TEST_F(MediumTest, NaNPassesEveryElasticCheck) {
  md->set_layer(1, permafrost_layer());
  md->fill(2, 1, 1, std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(stop_code([&] { md->elastic(); }), std::nullopt) << "the physical checks must let a NaN through";
  EXPECT_TRUE(std::isnan(md->lambda1(2, 1)));
}

// ===========================================================================
// e_modulus: record files

TEST_F(MediumTest, RecordFilesHoldOneRecordPerCellInLoopOrder) {
  md->set_layer(1, permafrost_layer());
  md->fill(3, 2, 1, 0.1);
  md->binary_ice(2, 1) = 0.12, md->binary_ice(3, 2) = 0.2;
  md->elastic();
  const std::pair<const char*, RealMap*> files[] = {
      {"xmu1_gnu", &md->mu1},        {"xmu3_gnu", &md->mu3},         {"xmu13_gnu", &md->mu13},
      {"xlambda1_gnu", &md->lambda1}, {"xlambda3_gnu", &md->lambda3}, {"b1_gnu", &md->b1},
      {"b2_gnu", &md->b2},            {"xm_gnu", &md->m},             {"d3_gnu", &md->d3}};
  for (const auto& [name, map] : files) {
    const auto records = file_lines(name);
    ASSERT_EQ(records.size(), 6u) << name << " must hold nx*ny = 6 records";
    int n = 0;
    for (int j = 1; j <= 3; ++j) {
      for (int k = 1; k <= 2; ++k, ++n) {
        std::istringstream in(records[n]);
        int jj = 0, kk = 0;
        std::string value;
        in >> jj >> kk >> value;
        EXPECT_EQ(jj, j) << name << " record " << n + 1 << ": wrong j (loop is j outer, k inner)";
        EXPECT_EQ(kk, k) << name << " record " << n + 1 << ": wrong k (loop is j outer, k inner)";
        EXPECT_EQ(std::strtod(value.c_str(), nullptr), (*map)(j, k)) << name << " record " << n + 1;
      }
    }
  }
}

TEST_F(MediumTest, RecordFilesAreClosedSoUnit54LaterWritesFort54) {
  md->set_layer(1, permafrost_layer());
  md->fill(1, 1, 1, 0.1);
  md->elastic();
  for (int unit : {50, 51, 52, 54, 55, 56, 57, 58, 59}) {
    EXPECT_FALSE(unit_is_open(unit)) << "unit " << unit << " must be closed when e_modulus returns";
  }
  write_line(54, "later table");
  flush_all_units();
  EXPECT_TRUE(std::filesystem::exists(scratch.path() / "fort.54")) << "unit 54 must then write fort.54";
  EXPECT_EQ(file_lines("xlambda1_gnu").size(), 1u) << "xlambda1_gnu must not receive the later write";
}

TEST_F(MediumTest, OtherPassesWriteNoRecordFilesButStillEcho) {
  md->set_layer(1, permafrost_layer());
  md->fill(1, 1, 1, 0.1);
  md->cycle = 2;
  md->elastic();
  for (const char* name : {"xmu1_gnu", "xmu3_gnu", "xmu13_gnu", "xlambda1_gnu", "xlambda3_gnu", "b1_gnu", "b2_gnu",
                           "xm_gnu", "d3_gnu"}) {
    EXPECT_FALSE(std::filesystem::exists(scratch.path() / name)) << name << " must not be written when cycle != 1";
  }
  EXPECT_EQ(count_lines_starting(echo(), " element j,k = "), 1) << "the echo is written in every pass";
  EXPECT_TRUE(close_to(md->lambda1(1, 1), permafrost_reference.lambda1)) << "moduli computed in every pass";
}

TEST(CellRecord, EveryValueReadsBackExactlyFromItsRecord) {
  ScratchDirectory scratch;
  const double values[] = {0.0, -0.0, 1.0, -2.5, 1311718228.4535983, 1e-300, 4.9e-324, -1.7976931348623157e308,
                           0.1, 3.703703703703705e-15};
  for (const double v : values) record(41, 60, 60, v);
  record(41, 1, 2, std::numeric_limits<double>::infinity());
  record(41, 1, 2, -std::numeric_limits<double>::infinity());
  record(41, 1, 2, std::numeric_limits<double>::quiet_NaN());
  close_all_units();
  const auto lines = split_lines(read_file(scratch.path() / "fort.41"));
  ASSERT_EQ(lines.size(), std::size(values) + 3);
  for (std::size_t i = 0; i < std::size(values); ++i) {
    std::istringstream in(lines[i]);
    int j = 0, k = 0;
    std::string text;
    in >> j >> k >> text;
    EXPECT_EQ(j, 60);
    EXPECT_EQ(k, 60);
    const double back = std::strtod(text.c_str(), nullptr);
    EXPECT_EQ(back, values[i]) << "record " << lines[i] << " does not read back exactly";
    EXPECT_EQ(std::signbit(back), std::signbit(values[i])) << lines[i];
  }
  EXPECT_EQ(lines[std::size(values)], "1 2 Infinity");
  EXPECT_EQ(lines[std::size(values) + 1], "1 2 -Infinity");
  EXPECT_EQ(lines[std::size(values) + 2], "1 2 NaN");
}

// ===========================================================================
// mass_visco_coef: echo of cell (1,1)

TEST_F(MediumTest, MassEchoOfThePermafrostCellMatchesTheReference) {
  md->set_layer(1, permafrost_layer());
  md->fill(1, 1, 1, 0.1);
  md->mass();
  const auto lines = echo();
  const Reference& r = permafrost_reference;
  std::vector<ExpectedLine> head = {
      line("enters  mass_visco_coef  key_model  0"),
      labelled("ice content s3_prima=", {r.s3_prima}),
      labelled(" water saturation  Sw=", {r.Sw}),
      asterisks(),
      asterisks(),
      line(""),
      labelled("  control (must be = 1) =  ", {r.control}),
      line(""),
      asterisks(),
      asterisks(),
      line("porosity (water proportion)  =.10000    "),
      line(""),
      line("bulk solid 1 fraction phi1 en mass_visco  =.70000    "),
      line("bulk solid 3 fraction phi3   =.20000    "),
      line("solid 1 matrix fraction s1 en mass_visco  =.77778    "),
      line("solid 3 matrix fraction s3   =.22222    "),
      line(""),
      line(""),
      line(""),
      asterisks(),
      asterisks(),
      line(""),
      line(" mass densities for each phase"),
      // E20.10; ro = 284/0.3 = 946.666..., ro_prim = 1955/0.8 = 2443.75.
      line(""),
      line("  ro1(Kgr/m^3)     =    0.2650000000E+04"),
      line(""),
      line("  ro2(Kgr/m^3)     =    0.1000000000E+04"),
      line(""),
      line("  ro3(Kgr/m^3)     =    0.9200000000E+03"),
      line(""),
      line("  ro(Kgr/m^3)      =    0.9466666667E+03"),
      line(""),
      line("  ro_prim(Kgr/m^3) =    0.2443750000E+04")};
  std::size_t at = expect_echo(lines, 0, head, "permafrost fraction and density echo");
  at = expect_echo(lines, at, mass_echo(r), "permafrost mass echo");
  at = expect_echo(lines, at,
                   {line(""), line("permeabilities for the permafrost model (m^2)"), labelled("capa_1=,", {r.capa_1}),
                    labelled("capa_3=,", {r.capa_3}), labelled("capa=,", {r.capa}),
                    labelled("coef_b12, coef_b23 ", {r.coef_b12, r.coef_b23})},
                   "permafrost permeability echo");
  at = expect_echo(lines, at, friction_echo(r, 0.0), "permafrost friction echo");
  EXPECT_EQ(at, lines.size()) << "unexpected lines after the friction echo of a one-cell sample";
}

TEST_F(MediumTest, MassEchoOfTheShaleySandCellMatchesTheReference) {
  md->key_model = 1;
  md->set_layer(1, shaley_layer());
  md->fill(1, 1, 1, 0.25);
  md->mass();
  const auto lines = echo();
  const Reference& r = shaley_reference;
  std::vector<ExpectedLine> head = {
      line("enters  mass_visco_coef  key_model  1"),
      line("porosity (water proportion)  =.25000    "),
      line(""),
      line("bulk solid 1 fraction phi1 en mass_visco  =.60000    "),
      line("bulk solid 3 fraction phi3   =.15000    "),
      line("solid 1 matrix fraction s1 en mass_visco  =.80000    "),
      line("solid 3 matrix fraction s3   =.20000    "),
      line(""),
      line(""),
      line(" mass densities for each phase"),
      // ro = 1012.5/0.4 = 1581.25, ro_prim = 1840/0.85 = 2164.70588235...
      line(""),
      line("  ro1(Kgr/m^3)     =    0.2650000000E+04"),
      line(""),
      line("  ro2(Kgr/m^3)     =    0.1000000000E+04"),
      line(""),
      line("  ro3(Kgr/m^3)     =    0.2550000000E+04"),
      line(""),
      line("  ro(Kgr/m^3)      =    0.1581250000E+04"),
      line(""),
      line("  ro_prim(Kgr/m^3) =    0.2164705882E+04")};
  std::size_t at = expect_echo(lines, 0, head, "shaley-sand fraction and density echo");
  at = expect_echo(lines, at, mass_echo(r), "shaley-sand mass echo");
  at = expect_echo(lines, at,
                   {line(""), line(" permeabilities for the shaley-sand model (m^2)"),
                    labelled("capa_1 = ", {r.capa_1}), labelled("capa_3 = ", {r.capa_3}),
                    labelled("capa   = ", {r.capa}), labelled("coef_b12, coef_b23 ", {r.coef_b12, r.coef_b23})},
                   "shaley-sand permeability echo");
  at = expect_echo(lines, at, friction_echo(r, 1e6), "shaley-sand friction echo");
  EXPECT_EQ(at, lines.size()) << "unexpected lines after the friction echo of a one-cell sample";
}

// ===========================================================================
// mass_visco_coef: mass and friction coefficients

// Fractions of a cell worked out directly from the definitions.
struct TestFractions {
  double phi1, phi3, s1, s3;
};
TestFractions fractions_of(int model, const LayerValues& layer, double w) {
  if (model == 0) {
    const double phi3 = layer.phi_a - w;
    return {1 - layer.phi_a, phi3, 1 - phi3 / (1 - w), phi3 / (1 - w)};
  }
  return {(1 - layer.s3) * (1 - w), layer.s3 * (1 - w), 1 - layer.s3, layer.s3};
}

TEST_F(MediumTest, MassCoefficientsConserveEachPhaseMass) {
  // p11 + p13 = R1 + s1 R2 and p33 + p13 = R3 + s3 R2 in every cell: the
  // inertial coupling only redistributes the water's mass between the solids.
  const double water[3][2] = {{0.05, 0.1}, {0.15, 0.2}, {0.25, 0.12}};
  for (int model = 0; model <= 1; ++model) {
    auto sample = std::make_unique<Medium>();
    sample->key_model = model;
    const LayerValues layer = model == 0 ? permafrost_layer() : shaley_layer();
    sample->set_layer(1, layer);
    sample->fill(3, 2, 1, 0);
    for (int j = 1; j <= 3; ++j) {
      for (int k = 1; k <= 2; ++k) sample->phiw(j, k) = sample->binary_ice(j, k) = water[j - 1][k - 1];
    }
    CapturedOutput own;
    sample->mass();
    for (int j = 1; j <= 3; ++j) {
      for (int k = 1; k <= 2; ++k) {
        const double w = water[j - 1][k - 1];
        const TestFractions f = fractions_of(model, layer, w);
        const double R1 = layer.ro1 * f.phi1, R2 = layer.ro2 * w, R3 = layer.ro3 * f.phi3;
        const double scale = 1e-12 * (R1 + R2 + R3) * 10;
        EXPECT_NEAR(sample->p11(j, k) + sample->p13(j, k), R1 + f.s1 * R2, scale)
            << "p11 + p13 must equal R1 + s1 R2, model " << model << " cell " << j << "," << k;
        EXPECT_NEAR(sample->p33(j, k) + sample->p13(j, k), R3 + f.s3 * R2, scale)
            << "p33 + p13 must equal R3 + s3 R2, model " << model << " cell " << j << "," << k;
      }
    }
  }
}

TEST_F(MediumTest, PermafrostSolidsAreNotInertiallyCoupled) {
  // a13 = a31 = 1: p11 and p33 lose their (a - 1) terms.
  const LayerValues layer = permafrost_layer();
  md->set_layer(1, layer);
  md->fill(1, 1, 1, 0.1);
  md->mass();
  const double phi1 = 0.7, phi3 = 0.2, w = 0.1, s3 = 0.2 / 0.9, s1 = 0.7 / 0.9;
  const double ro = (920 * phi3 + 1000 * w) / (phi3 + w), ro_prim = (2650 * phi1 + 1000 * w) / (phi1 + w);
  const double a21 = 1 + 0.5 * ro * phi1 / (1000 * w), a23 = 1 + 0.5 * ro_prim * phi3 / (1000 * w);
  const double R1 = 2650 * phi1, R2 = 1000 * w, R3 = 920 * phi3;
  const double p11 = (1 + a23 * s1 * s1 + a21 * s3 * s3 - 2 * s3 - s1 * s1) * R2 + R1;
  const double p33 = (1 + a23 * s1 * s1 + a21 * s3 * s3 - 2 * s1 - s3 * s3) * R2 + R3;
  EXPECT_NEAR(md->p11(1, 1), p11, 1e-11 * p11) << "p11 of the ice model must have a13 = 1";
  EXPECT_NEAR(md->p33(1, 1), p33, 1e-11 * p33) << "p33 of the ice model must have a31 = 1";
  EXPECT_NEAR(md->p13(1, 1), (1 - a23 * s1 * s1 - a21 * s3 * s3 - s1 * s3) * R2, 1e-9)
      << "p13 of the ice model must have no solid-solid terms";
}

TEST_F(MediumTest, SolidFrictionRaisesTheSecondControlByB13TimesF22) {
  for (const double b13 : {0.0, 1e6, 3e7}) {
    auto sample = std::make_unique<Medium>();
    sample->key_model = 1;
    LayerValues layer = shaley_layer();
    layer.coef_b13 = b13;
    sample->set_layer(1, layer);
    sample->fill(1, 1, 1, 0.25);
    CapturedOutput own;
    sample->mass();
    const auto lines = split_lines(own.text());
    const double control1 = echoed_value(lines, "control1 (must be  positive)  =");
    const double control2 = echoed_value(lines, "control2 (must be  positive)  =");
    const double f22 = echoed_value(lines, "f22      =");
    EXPECT_NEAR(control2 - control1, b13 * f22, 1e-12 * control2 + 1e-300)
        << "control2 - control1 must equal b13 f22 for b13 = " << b13;
    EXPECT_EQ(sample->b11(1, 1), echoed_value(lines, "f11      =") + b13) << "b11 must count b13 twice";
    EXPECT_EQ(sample->b22(1, 1), f22) << "b22 must be f22";
  }
}

TEST_F(MediumTest, NegativeFirstFrictionControlStopsWith99999) {
  md->key_model = 1;
  LayerValues layer = shaley_layer();
  layer.coef_b13 = -1e9;
  md->set_layer(1, layer);
  md->fill(1, 1, 1, 0.25);
  EXPECT_EQ(stop_code([&] { md->mass(); }), 99999) << "control1 < 0 must stop with 99999";
  const auto lines = echo();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back().rfind("control1 (must be  positive)  = -", 0), 0u)
      << "the echo must end with the negative control1";
}

TEST_F(MediumTest, NegativeSecondFrictionControlStopsWith99998) {
  md->key_model = 1;
  LayerValues layer = shaley_layer();
  layer.coef_b13 = -4e7;  // control1 > 0 > control2
  md->set_layer(1, layer);
  md->fill(1, 1, 1, 0.25);
  EXPECT_EQ(stop_code([&] { md->mass(); }), 99998) << "control2 < 0 must stop with 99998";
  const auto lines = echo();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back().rfind("control2 (must be  positive)  = -", 0), 0u)
      << "the echo must end with the negative control2";
  EXPECT_EQ(count_lines_starting(lines, "Coef. de friccion "), 1) << "control1 was positive and passed";
}

TEST_F(MediumTest, ZeroFrictionControlsPass) {
  md->key_model = 1;
  LayerValues layer = shaley_layer();
  layer.eta = 0;  // no fluid friction: f22 = f12 = 0, so both controls are 0
  md->set_layer(1, layer);
  md->fill(1, 1, 1, 0.25);
  EXPECT_EQ(stop_code([&] { md->mass(); }), std::nullopt) << "control values of exactly 0 must pass";
  EXPECT_EQ(echoed_value(echo(), "control2 (must be  positive)  ="), 0.0);
}

TEST_F(MediumTest, IceFractionOutOfRangeStopsMassCoefficientsToo) {
  md->set_layer(1, permafrost_layer());
  md->fill(2, 1, 1, 0.1);
  md->matnum(2, 1) = 2;
  md->set_layer(2, permafrost_layer());
  md->phiw(2, 1) = 0.3;  // layer type 2 keeps phiw: no ice left
  EXPECT_EQ(stop_code([&] { md->mass(); }), 45678) << "phi3 = 0 must stop mass_visco_coef with 45678";
  EXPECT_EQ(file_lines("b11").size(), 1u) << "b11 must hold the record of the cell done before the stop";
}

// ===========================================================================
// mass_visco_coef: record files and returned fractions

TEST_F(MediumTest, FrictionRecordsCoverEveryCellAndStayOpen) {
  md->set_layer(1, permafrost_layer());
  md->fill(3, 2, 1, 0.1);
  md->binary_ice(3, 2) = 0.2;
  md->cycle = 7;  // the friction records do not depend on the pass
  md->mass();
  for (int unit : {86, 90, 91}) EXPECT_TRUE(unit_is_open(unit)) << "unit " << unit << " must stay connected";
  const std::pair<const char*, RealMap*> files[] = {{"b11", &md->b11}, {"b12", &md->b12}, {"b22", &md->b22}};
  for (const auto& [name, map] : files) {
    const auto records = file_lines(name);
    ASSERT_EQ(records.size(), 6u) << name << " must hold nx*ny records";
    std::istringstream last(records.back());
    int j = 0, k = 0;
    double value = 0;
    last >> j >> k >> value;
    EXPECT_EQ(j, 3) << name << ": the last record must be cell (nx, ny)";
    EXPECT_EQ(k, 2) << name << ": the last record must be cell (nx, ny)";
    EXPECT_EQ(value, (*map)(3, 2)) << name << ": the record must hold the stored value";
  }
}

TEST_F(MediumTest, ReturnedFractionsAreThoseOfTheLastCell) {
  md->set_layer(1, permafrost_layer());
  md->fill(2, 3, 1, 0.1);
  md->binary_ice(2, 3) = 0.21;
  md->mass();
  // Cell (2,3): phi1 = 0.7, phi3 = 0.3 - 0.21, s3 = phi3 / 0.79.
  EXPECT_DOUBLE_EQ(md->phi1_frac, 0.7) << "phi1_frac must be that of cell (nx, ny)";
  EXPECT_NEAR(md->phi3_frac, 0.09, 1e-15) << "phi3_frac must be that of cell (nx, ny)";
  EXPECT_NEAR(md->s3_frac, 0.09 / 0.79, 1e-15) << "s3_frac must be that of cell (nx, ny)";
  EXPECT_NEAR(md->s1_frac, 0.70 / 0.79, 1e-15) << "s1_frac must be that of cell (nx, ny)";
}

TEST_F(MediumTest, UnknownMediumModelIsRefused) {
  md->set_layer(1, permafrost_layer());
  md->fill(1, 1, 1, 0.1);
  md->key_model = 2;
  EXPECT_EQ(stop_code([&] { md->elastic(); }), stop_bad_parameter) << "e_modulus must refuse key_model = 2";
  EXPECT_EQ(stop_code([&] { md->mass(); }), stop_bad_parameter) << "mass_visco_coef must refuse key_model = 2";
  EXPECT_FALSE(std::filesystem::exists(scratch.path() / "b11")) << "the refusal must come before any file is opened";
}

// ===========================================================================
// The non-finite coefficient guard

TEST(NonFiniteGuard, StatusCollidesWithNoOtherStop) {
  const int taken[] = {11, 222, 45678, 555, 12345, 12346, 45687, 45688, 99999, 99998,
                       2000, 2001, 2002, 2003, 2004, 9, 99, 40, stop_input_error, stop_bad_parameter};
  for (int code : taken) {
    EXPECT_NE(stop_nonfinite_coefficient & 255, code & 255) << "exit status collides with stop " << code;
  }
}

TEST_F(MediumTest, GuardPassesFiniteCoefficients) {
  md->set_layer(1, permafrost_layer());
  md->fill(2, 2, 1, 0.1);
  md->elastic();
  md->mass();
  md->lambda1(3, 1) = std::numeric_limits<double>::quiet_NaN();  // outside the sample: not used
  EXPECT_EQ(stop_code([&] { md->guard(); }), std::nullopt) << "finite coefficients must pass the guard";
}

TEST_F(MediumTest, GuardNamesTheCoefficientAndTheCell) {
  md->set_layer(1, permafrost_layer());
  md->fill(3, 3, 1, 0.1);
  md->elastic();
  md->mass();
  md->p22(3, 2) = std::numeric_limits<double>::infinity();
  md->b22(3, 3) = std::numeric_limits<double>::quiet_NaN();
  CapturedOutput guard_output;
  EXPECT_EQ(stop_code([&] { md->guard(); }), stop_nonfinite_coefficient) << "an infinite p22 must stop the run";
  EXPECT_EQ(guard_output.text(), " non-finite coefficient p22 in cell j,k = 3 2 value Infinity\n")
      << "the message must name the first bad coefficient and its cell";
}

TEST_F(MediumTest, DryShaleySandCellIsStoppedByTheGuard) {
  // phiw = 0 with Krief's frame: the frame fills the solid, so the average
  // bulk modulus is 1/0 and lambda1 = inf - inf; b1 = 0/0; a21, p22 and f22
  // are infinite in mass_visco_coef.
  md->key_model = 1;
  md->set_layer(1, shaley_layer());
  md->fill(2, 2, 1, 0.25);
  md->phiw(2, 1) = 0;
  EXPECT_EQ(stop_code([&] { md->elastic(); }), std::nullopt) << "the physical elastic checks let a dry cell pass";
  EXPECT_EQ(stop_code([&] { md->mass(); }), std::nullopt) << "the friction checks let a dry cell pass";
  CapturedOutput guard_output;
  EXPECT_EQ(stop_code([&] { md->guard(); }), stop_nonfinite_coefficient) << "the guard must stop a dry cell";
  EXPECT_EQ(guard_output.text(), " non-finite coefficient lambda1 in cell j,k = 2 1 value NaN\n");
}

TEST_F(MediumTest, ZeroShaleOrGrainSizeIsStoppedByTheGuard) {
  {
    auto sample = std::make_unique<Medium>();
    sample->key_model = 1;
    LayerValues layer = shaley_layer();
    layer.s3 = 0;  // phi3 = 0: 0/0 in the average bulk modulus
    sample->set_layer(1, layer);
    sample->fill(1, 1, 1, 0.25);
    sample->elastic();
    sample->mass();
    EXPECT_EQ(stop_code([&] { sample->guard(); }), stop_nonfinite_coefficient) << "s3 = 0 must be stopped";
  }
  {
    auto sample = std::make_unique<Medium>();
    sample->key_model = 1;
    LayerValues layer = shaley_layer();
    layer.rs3 = 0;  // infinite fluid friction against the shale
    sample->set_layer(1, layer);
    sample->fill(1, 1, 1, 0.25);
    sample->elastic();
    sample->mass();
    EXPECT_EQ(stop_code([&] { sample->guard(); }), stop_nonfinite_coefficient) << "rs3 = 0 must be stopped";
  }
  EXPECT_EQ(count_lines_starting(echo(), " non-finite coefficient "), 2) << "each stop must write its message";
}

TEST_F(MediumTest, NaNWaterProportionIsStoppedByTheGuard) {
  md->key_model = 1;
  md->set_layer(1, shaley_layer());
  md->fill(1, 2, 1, 0.25);
  md->phiw(1, 2) = std::numeric_limits<double>::quiet_NaN();
  md->elastic();
  md->mass();
  CapturedOutput guard_output;
  EXPECT_EQ(stop_code([&] { md->guard(); }), stop_nonfinite_coefficient);
  EXPECT_EQ(guard_output.text(), " non-finite coefficient lambda1 in cell j,k = 1 2 value NaN\n");
}
