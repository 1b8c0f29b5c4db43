// Stochastic maps: their statistics, their reproducibility, the refusal of
// values the deck makes impossible, and the file the program reads.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>

#include "common/stop.hpp"
#include "maps/exact_math.hpp"
#include "maps/maps.hpp"
#include "maps/study_deck.hpp"
#include "maps/von_karman.hpp"
#include "tests/test_support.hpp"

namespace fs = std::filesystem;

namespace {

// Runs upscale_maps with `options` in `directory`, the deck on standard input.
ProgramRun run_maps(const fs::path& directory, const std::string& deck, const std::string& options) {
  write_file(directory / "deck.in", deck);
  return run_in(directory, UPSCALE_MAPS_BINARY, options + " < deck.in");
}

TestDeck square_deck(int cells, double domain_size) {
  TestDeck deck;
  deck.nx = deck.ny = deck.layer[0].nl = std::to_string(cells);
  deck.domain_size = std::to_string(domain_size);
  return deck;
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void read_deck(const TestDeck& test_deck, Deck& deck, IntMap& matnum) {
  std::istringstream in(test_deck.text());
  read_study_deck(in, "test deck", deck, matnum);
}

}  // namespace

TEST(Maps, ExponentialFieldHasTheAskedCorrelationAtOneCorrelationLength) {
  // 60 x 60 cells of 1 m, LX = 2 m and LY = 3 m: the correlation at lags of
  // 2 cells along x and 3 along y, over 100 realisations, normalised with
  // the asked mean and standard deviation.  Its standard error is about
  // 0.006 (2 % of exp(-1)), so the 10 % band holds by five of them.
  static Deck deck;
  static IntMap matnum;
  read_deck(square_deck(60, 60.0), deck, matnum);
  MapOptions o;
  o.kind = FieldKind::gaussian;
  o.mean = 0.15;
  o.std = 0.01;  // fifteen deviations from either bound: nothing is clipped
  o.lx = 2.0;
  o.ly = 3.0;
  FieldSynthesis synthesis(60, 60, deck.h, o.lx, o.ly, CovarianceKind::exponential, 0.5);
  EXPECT_EQ(synthesis.dropped_variance(), 0.0) << "the padded grid embeds the exponential correlation exactly";
  static RealMap values;
  double along_x = 0, along_y = 0, variance = 0;
  long pairs_x = 0, pairs_y = 0, cells = 0;
  for (std::uint64_t seed = 1; seed <= 100; ++seed) {
    o.seed = seed;
    int clipped = -1;
    make_map(o, deck, matnum, synthesis, values, clipped);
    ASSERT_EQ(clipped, 0);
    for (int k = 1; k <= 60; ++k) {
      for (int j = 1; j <= 60; ++j) {
        const double a = (values(j, k) - o.mean) / o.std;
        variance += a * a;
        ++cells;
        if (j + 2 <= 60) {
          along_x += a * (values(j + 2, k) - o.mean) / o.std;
          ++pairs_x;
        }
        if (k + 3 <= 60) {
          along_y += a * (values(j, k + 3) - o.mean) / o.std;
          ++pairs_y;
        }
      }
    }
  }
  const double expected = std::exp(-1.0);
  EXPECT_NEAR(along_x / pairs_x, expected, 0.1 * expected) << "correlation at lag LX along x";
  EXPECT_NEAR(along_y / pairs_y, expected, 0.1 * expected) << "correlation at lag LY along y";
  EXPECT_NEAR(variance / cells, 1.0, 0.1) << "the asked standard deviation";
}

TEST(Maps, BinaryFieldHasExactlyTheRoundedFractionOfHighCells) {
  struct Case {
    int cells;
    double fraction;
    CovarianceKind covariance;
    double length;
  };
  const Case cases[] = {
      {10, 0.3, CovarianceKind::exponential, 0.2}, {10, 0.25, CovarianceKind::gaussian, 0.5},
      {7, 0.5, CovarianceKind::von_karman, 0.3},   {20, 0.0, CovarianceKind::exponential, 0.1},
      {20, 1.0, CovarianceKind::exponential, 0.1}, {33, 0.123, CovarianceKind::gaussian, 0.05},
      {60, 0.7, CovarianceKind::von_karman, 0.02},
  };
  static Deck deck;
  static IntMap matnum;
  static RealMap values;
  for (const Case& c : cases) {
    read_deck(square_deck(c.cells, 1.0), deck, matnum);
    MapOptions o;
    o.kind = FieldKind::binary;
    o.fraction = c.fraction;
    o.low = 0.08;
    o.high = 0.2;
    o.covariance = c.covariance;
    o.nu = 0.8;
    FieldSynthesis synthesis(c.cells, c.cells, deck.h, c.length, c.length, c.covariance, o.nu);
    const long expected = std::lround(c.fraction * c.cells * c.cells);
    for (std::uint64_t seed = 1; seed <= 20; ++seed) {
      o.seed = seed;
      int clipped = 0;
      make_map(o, deck, matnum, synthesis, values, clipped);
      long high = 0, low = 0;
      for (int k = 1; k <= c.cells; ++k) {
        for (int j = 1; j <= c.cells; ++j) {
          high += values(j, k) == 0.2;
          low += values(j, k) == 0.08;
        }
      }
      EXPECT_EQ(high, expected) << c.cells << " x " << c.cells << " cells, F = " << c.fraction << ", seed " << seed;
      EXPECT_EQ(high + low, long{c.cells} * c.cells) << "every cell takes LOW or HIGH";
    }
  }
}

TEST(Maps, OwnElementaryFunctionsAgreeWithTheLibrary) {
  for (const double x : {-700.0, -30.5, -1.0, -1e-9, 0.0, 1e-12, 0.3465, 1.0, 2.5, 50.0, 700.0}) {
    EXPECT_NEAR(exact_math::exp(x), std::exp(x), 4e-16 * std::exp(x)) << "exp(" << x << ")";
  }
  for (const double x : {1e-300, 1e-5, 0.5, 0.70710678, 1.0, 1.5, 2.0, 10.0, 1e10, 1e300}) {
    EXPECT_NEAR(exact_math::log(x), std::log(x), 4e-16 * std::max(1.0, std::abs(std::log(x)))) << "log(" << x << ")";
  }
  for (const double z : {0.1, 0.5, 1.0, 2.5, 7.0}) {
    EXPECT_NEAR(exact_math::gamma(z), std::tgamma(z), 1e-13 * std::tgamma(z)) << "gamma(" << z << ")";
  }
  // K_1/2(r) = sqrt(pi/(2r)) e^-r: the von Karman correlation of order 1/2
  // is the exponential one; of order 3/2 it is (1 + r) e^-r.
  for (const double r : {0.0, 1e-6, 0.01, 0.5, 1.0, 3.0, 10.0, 40.0}) {
    EXPECT_NEAR(correlation(CovarianceKind::von_karman, 0.5, r), std::exp(-r), 1e-12) << "order 1/2 at r = " << r;
    EXPECT_NEAR(correlation(CovarianceKind::von_karman, 1.5, r), (1 + r) * std::exp(-r), 1e-12)
        << "order 3/2 at r = " << r;
  }
  // A high order at a small lag, where K_nu alone overflows: the
  // correlation is 1 - r^2/(4 (nu - 1)) to second order.
  for (const double r : {1e-7, 1e-4}) {
    EXPECT_NEAR(correlation(CovarianceKind::von_karman, 50.0, r), 1 - r * r / (4 * 49.0), 1e-12) << "r = " << r;
  }
}

TEST(Maps, ExpCoefficientsAreTheDivisionsMadeAtRunTime) {
  // The table of 1/i! is evaluated by the compiler; the same divisions made
  // at run time (from a value the compiler cannot see) must give the same
  // bits, or the maps of existing studies would change with the build.
  volatile double one = 1.0;
  double f = one;
  for (int i = 0; i < 17; ++i) {
    if (i > 0) f = f / i;
    EXPECT_TRUE(same_bits(exact_math::factorial_inverse[i], f))
        << "1/" << i << "!: table " << exact_math::factorial_inverse[i] << ", run time " << f;
  }
}

TEST(Maps, ExpOfManyArgumentsHasTheBitsOfExpAndItsBound) {
  // Groups of every length around the 32 lanes, arguments over the whole
  // range: the pairs' range [-707, 709] and its edges, subnormal results,
  // underflow, overflow, infinities and NaN, which exp itself computes.
  constexpr double inf = std::numeric_limits<double>::infinity();
  std::vector<double> x = {-inf, -1e300, -746.0, -745.2, -745.1, -740.0, -708.5, -707.0, -706.99, -1e-300,
                           0.0,  -0.0,   1e-300, 0.5,    -0.3466, 0.3466, 708.9,  709.0,  709.1,   709.8,
                           710.0, 1e300, inf,    std::numeric_limits<double>::quiet_NaN()};
  for (int i = 0; i < 4000; ++i) x.push_back(-750.0 + 1465.0 * ((i * 7919) % 4000) / 4000.0 + 1e-7 * i);
  // Every width of register this processor has, and the choice among them.
  struct Path {
    const char* name;
    void (*each)(const double*, double*, int);
  };
  std::vector<Path> paths = {{"exp_each", exact_math::exp_each}, {"in pairs", exact_math::exp_each_in_pairs}};
  if (exact_math::fours_available()) paths.push_back({"in fours", exact_math::exp_each_in_fours});
  for (const Path& path : paths) {
    for (const int length : {1, 31, 32, 33, 70, static_cast<int>(x.size())}) {
      std::vector<double> y(static_cast<std::size_t>(length));
      path.each(x.data(), y.data(), length);
      for (int i = 0; i < length; ++i) {
        ASSERT_TRUE(same_bits(y[i], exact_math::exp(x[i]))) << path.name << ", " << length << " arguments, x = " << x[i];
      }
    }
  }
  // The bound by which the quadrature leaves out negligible terms:
  // exp(x) <= 2^e, never below it.
  for (const double xi : x) {
    if (xi != xi) continue;
    const int e = exact_math::exp_bound_exponent(xi);
    const double bound = e > 1023 ? inf : std::ldexp(1.0, std::max(e, -1074));
    EXPECT_LE(exact_math::exp(xi), bound) << "x = " << xi << ", e = " << e;
    if (e <= -1075) {
      EXPECT_EQ(exact_math::exp(xi), 0.0) << "x = " << xi;
    }
  }
}

TEST(Maps, VonKarmanAtManyLagsHasTheBitsOfThePlainRule) {
  // Orders from 0.05 to 50 at lags from 1e-6 to 700 and beyond, r = 0 and
  // r = infinity: the fast evaluation must give the plain rule's bits, with
  // its table of cosh t whole and cut short (nodes past the table computed
  // as the plain rule computes them).
  constexpr double inf = std::numeric_limits<double>::infinity();
  std::vector<double> lags = {0.0, 1e-200, 1e-12, 700.0, 745.0, 800.0, 1e5, 1e300, inf};
  for (double r = 1e-6; r < 700.0; r *= 1.05) lags.push_back(r);
  for (const double nu : {0.05, 0.3, 0.5, 0.8, 1.5, 2.5, 7.0, 17.0, 50.0}) {
    const exact_math::VonKarmanCorrelation whole(nu);
    const exact_math::VonKarmanCorrelation cut_short(nu, 40);
    for (const double r : lags) {
      const double plain = exact_math::von_karman(r, nu);
      EXPECT_TRUE(same_bits(whole(r), plain)) << "nu = " << nu << ", r = " << r << ": " << whole(r) << " != " << plain;
      EXPECT_TRUE(same_bits(cut_short(r), plain)) << "table of 40 nodes, nu = " << nu << ", r = " << r;
    }
    // The limits, and a lag so small that (nu/r)^2 overflows: the rule
    // still ends, at the correlation of a vanishing lag.
    EXPECT_EQ(exact_math::von_karman(0.0, nu), 1.0);
    EXPECT_EQ(exact_math::von_karman(inf, nu), 0.0);
    EXPECT_NEAR(exact_math::von_karman(1e-200, nu), 1.0, 1e-12) << "nu = " << nu;
  }
}

TEST(Maps, TheCorrelationQuadrantHoldsTheCorrelationOfEachLag) {
  // Every lag of the quadrant is computed once per distinct scaled lag and
  // shared among threads: each entry must still be correlation() of its
  // own lag, bit for bit, with equal and unequal lengths.
  struct Case {
    CovarianceKind kind;
    double lx, ly, nu;
  };
  const Case cases[] = {{CovarianceKind::von_karman, 0.3, 0.3, 0.8}, {CovarianceKind::von_karman, 0.3, 0.7, 2.5},
                        {CovarianceKind::von_karman, 1e6, 1e6, 0.5}, {CovarianceKind::exponential, 0.2, 0.5, 0.5},
                        {CovarianceKind::gaussian, 0.4, 0.4, 0.5}};
  const int hx = 80, hy = 50;  // several blocks of lags for the threads
  const double h = 0.025;
  for (const Case& c : cases) {
    const std::vector<double> quadrant = correlation_quadrant(hx, hy, h, c.lx, c.ly, c.kind, c.nu, "");
    ASSERT_EQ(quadrant.size(), static_cast<std::size_t>((hx + 1) * (hy + 1)));
    for (int iy = 0; iy <= hy; ++iy) {
      for (int ix = 0; ix <= hx; ++ix) {
        const double sx = (ix * h) / c.lx;
        const double sy = (iy * h) / c.ly;
        const double expected = correlation(c.kind, c.nu, std::sqrt(sx * sx + sy * sy));
        ASSERT_TRUE(same_bits(quadrant[static_cast<std::size_t>(iy) * (hx + 1) + ix], expected))
            << "lag (" << ix << ", " << iy << "), LX = " << c.lx << ", LY = " << c.ly << ", nu = " << c.nu;
      }
    }
  }
}

TEST(Maps, TheProgramWritesTheSameBytesForTheSameSeedInTheProgramsLayout) {
  ScratchDirectory dir;
  TestDeck deck = square_deck(12, 1.0);
  deck.nx = "9";  // not square: j runs to 9, k to 12
  const std::string options = "--kind binary --fraction 0.4 --values 0.08 0.2 --correlation 0.1 0.2";
  const ProgramRun made = run_maps(dir.path(), deck.text(), "--seed 5 " + options);
  ASSERT_EQ(made.exit_status, 0);
  EXPECT_EQ(made.out, "upscale_maps: wrote phiw_binary_patchy.dat: 9 x 12 cells of a binary field, seed 5\n")
      << "one line on success saying what was written";
  const std::string first = read_file(dir.path() / "phiw_binary_patchy.dat");
  ASSERT_EQ(run_maps(dir.path(), deck.text(), "--seed 5 " + options).exit_status, 0);
  EXPECT_EQ(read_file(dir.path() / "phiw_binary_patchy.dat"), first) << "the same seed gives the same bytes";
  ASSERT_EQ(run_maps(dir.path(), deck.text(), "--seed 6 " + options + " --file ice").exit_status, 0);
  EXPECT_NE(read_file(dir.path() / "binary_ice_gnu.dat"), first) << "another seed gives another map";

  const std::vector<std::string> lines = split_lines(first);
  ASSERT_EQ(lines.size(), 108u);
  for (int k = 1, line = 0; k <= 12; ++k) {
    for (int j = 1; j <= 9; ++j, ++line) {
      std::istringstream record(lines[line]);
      int jj = 0, kk = 0;
      double value = 0;
      record >> jj >> kk >> value;
      ASSERT_EQ(jj, j) << "row by row from the bottom";
      ASSERT_EQ(kk, k);
      ASSERT_TRUE(value == 0.08 || value == 0.2) << lines[line];
    }
  }
}

TEST(Maps, ValuesTheDeckMakesImpossibleAreRefusedNamingTheOptionBeforeWriting) {
  struct Case {
    std::string options;
    std::string named;
  };
  const std::string corr = " --correlation 0.1 0.1";
  const Case cases[] = {
      {"--kind binary --fraction 0.3 --values 0 0.2" + corr, "--values: LOW = 0 is not admitted"},
      {"--kind binary --fraction 0.3 --values 0.1 0.3" + corr, "--values: HIGH = 0.3 is not admitted"},
      {"--kind binary --fraction 1.5 --values 0.1 0.2" + corr, "--fraction"},
      {"--kind binary --fraction 0.5 --values 0.1" + corr, "--values"},
      {"--kind binary --fraction 0.5 --values 0.1 0.2", "--correlation: missing"},
      {"--kind binary --values 0.1 0.2" + corr, "--fraction: missing"},
      {"--kind gaussian --mean 0.35 --std 0.01" + corr, "--mean: M = 0.35 is not admitted"},
      {"--kind gaussian --mean 0.15" + corr, "--std: missing"},
      {"--kind gaussian --mean 0.15 --std -1" + corr, "--std"},
      {"--kind uniform" + corr, "--kind"},
      {"--kind binary --fraction 0.5 --values 0.1 0.2 --correlation 0 0.1", "--correlation"},
      {"--kind binary --fraction 0.5 --values 0.1 0.2 --covariance vonkarman:-1" + corr, "--covariance"},
      {"--kind binary --fraction 0.5 --values 0.1 0.2 --covariance cubic" + corr, "--covariance"},
      {"--kind binary --fraction 0.5 --values 0.1 0.2 --seed x" + corr, "--seed"},
      {"--kind binary --fraction 0.5 --values 0.1 0.2 --file both" + corr, "--file"},
      {"--kind binary --fraction 0.5 --values 0.1 0.2 --colour red" + corr, "--colour: unknown option"},
  };
  for (const Case& c : cases) {
    ScratchDirectory dir;
    const ProgramRun run = run_maps(dir.path(), square_deck(5, 1.0).text(), c.options);
    EXPECT_EQ(run.exit_status, 3) << c.options;
    EXPECT_NE(run.out.find("upscale_maps: " + c.named), std::string::npos) << c.options << "\n" << run.out;
    EXPECT_NE(run.err.find("STOP 3"), std::string::npos) << c.options;
    EXPECT_FALSE(fs::exists(dir.path() / "phiw_binary_patchy.dat")) << "nothing written: " << c.options;
  }

  // A deck the program would refuse is refused as the program refuses it.
  ScratchDirectory dir;
  TestDeck unreadable = square_deck(5, 1.0);
  unreadable.nx = "five";
  const ProgramRun run = run_maps(dir.path(), unreadable.text(), "--kind binary --fraction 0.5 --values 0.1 0.2" + corr);
  EXPECT_EQ(run.exit_status, 2);
  EXPECT_NE(run.out.find("standard input, line 5"), std::string::npos) << run.out;
}

TEST(Maps, AGaussianFieldIsClippedToTheAdmissibleRangeAndSaysHowManyCells) {
  ScratchDirectory dir;
  const ProgramRun run =
      run_maps(dir.path(), square_deck(20, 1.0).text(), "--kind gaussian --mean 0.15 --std 0.2 --correlation 0.1 0.1");
  ASSERT_EQ(run.exit_status, 0) << run.out << run.err;
  int at_bounds = 0;
  for (const std::string& line : split_lines(read_file(dir.path() / "phiw_binary_patchy.dat"))) {
    std::istringstream record(line);
    int j = 0, k = 0;
    double value = 0;
    record >> j >> k >> value;
    ASSERT_GE(value, clip_margin) << line;
    ASSERT_LE(value, 0.30 - clip_margin) << line;
    at_bounds += value == clip_margin || value == 0.30 - clip_margin;
  }
  ASSERT_GT(at_bounds, 0) << "a standard deviation of 0.2 around 0.15 reaches both bounds";
  EXPECT_NE(run.err.find("warning: " + std::to_string(at_bounds) + " of 400 cells clipped"), std::string::npos)
      << run.err;
}

TEST(Maps, AVonKarmanCorrelationReadFromTheCacheGivesTheSameBytes) {
  // Without the cache, with it empty (computed and kept), and with it
  // filled (read back): one map, byte for byte.  A cache file cut short
  // (a run killed while writing it elsewhere) is computed again.
  ScratchDirectory dir;
  const TestDeck deck = square_deck(12, 1.0);
  const std::string options = "--seed 9 --kind gaussian --mean 0.15 --std 0.02 --correlation 0.3 0.2 "
                              "--covariance vonkarman:0.3 --file ice";
  ASSERT_EQ(run_maps(dir.path(), deck.text(), options).exit_status, 0);
  const std::string plain = read_file(dir.path() / "binary_ice_gnu.dat");
  fs::create_directories(dir.path() / "cache");
  for (const char* pass : {"computed and kept", "read back"}) {
    const ProgramRun run = run_maps(dir.path(), deck.text(), options + " --cache cache");
    ASSERT_EQ(run.exit_status, 0) << pass << run.out;
    EXPECT_EQ(read_file(dir.path() / "binary_ice_gnu.dat"), plain) << pass;
  }
  std::vector<fs::path> kept;
  for (const auto& entry : fs::directory_iterator(dir.path() / "cache")) kept.push_back(entry.path());
  ASSERT_EQ(kept.size(), 1u) << "one file per grid and correlation";
  const std::string bytes = read_file(kept[0]);
  write_file(kept[0], bytes.substr(0, bytes.size() - 8));
  ASSERT_EQ(run_maps(dir.path(), deck.text(), options + " --cache cache").exit_status, 0);
  EXPECT_EQ(read_file(dir.path() / "binary_ice_gnu.dat"), plain) << "a short cache file is not taken";
}

TEST(Maps, ShortOfMemoryTheProgramStopsSayingSoAndNeverAborts) {
  // The largest padded grid (2048 x 2048, 64 MB of transform) in 100 MB of
  // address space: the transform's buffer fits, the correlation's lags and
  // the spectral weights after it do not.  The program stops with 2 and
  // says it ran out of memory (or, should the buffer itself not fit, with 3
  // naming the padded grid); it never aborts and writes no map.
  if (address_sanitized_build()) GTEST_SKIP() << "no address-space limit under AddressSanitizer";
  ScratchDirectory dir;
  write_file(dir.path() / "deck.in", square_deck(40, 1.0).text());
  const std::string command = "cd '" + dir.path().string() + "' && (ulimit -v 100000; '" + UPSCALE_MAPS_BINARY +
                              "' --kind binary --fraction 0.3 --values 0.08 0.2 --correlation 1e6 1e6 "
                              "--covariance vonkarman:0.5 < deck.in > limited.out 2> limited.err)";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  const std::string out = read_file(dir.path() / "limited.out"), err = read_file(dir.path() / "limited.err");
  EXPECT_EQ(err.find("terminate"), std::string::npos) << err;
  if (WEXITSTATUS(status) == stop_input_error) {
    EXPECT_NE(out.find("upscale_maps: out of memory"), std::string::npos) << out;
  } else {
    EXPECT_EQ(WEXITSTATUS(status), stop_bad_parameter) << out << err;
    EXPECT_NE(out.find("no memory for the padded grid"), std::string::npos) << out;
  }
  EXPECT_FALSE(fs::exists(dir.path() / "phiw_binary_patchy.dat"));
}
