#include "maps/maps.hpp"

#include <fftw3.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <numeric>
#include <system_error>
#include <thread>
#include <utility>

#include <unistd.h>

#include "common/format.hpp"
#include "common/stop.hpp"
#include "common/checksum.hpp"
#include "maps/exact_math.hpp"
#include "maps/von_karman.hpp"

namespace {

[[noreturn]] void refuse(const std::string& option, const std::string& why) {
  stop_input_parameter("upscale_maps: " + option + ": " + why);
}

double number_of(const std::string& option, const std::string& text) {
  const char* begin = text.c_str();
  char* end = nullptr;
  const double value = std::strtod(begin, &end);
  if (text.empty() || end != begin + text.size() || !std::isfinite(value)) {
    refuse(option, "'" + text + "' is not a finite number");
  }
  return value;
}

// The next word of the arguments, the value of `option`.
const std::string& value_word(const std::vector<std::string>& args, std::size_t& i, const std::string& option) {
  if (i + 1 >= args.size() || args[i + 1].rfind("--", 0) == 0) {
    refuse(option, "a value is missing");
  }
  return args[++i];
}

CovarianceKind covariance_of(const std::string& text, double& nu) {
  if (text == "exponential") return CovarianceKind::exponential;
  if (text == "gaussian") return CovarianceKind::gaussian;
  if (text.rfind("vonkarman:", 0) == 0) {
    nu = number_of("--covariance", text.substr(10));
    if (!(nu > 0) || nu > 50) refuse("--covariance", "the von Karman order NU must lie in (0, 50]");
    return CovarianceKind::von_karman;
  }
  refuse("--covariance", "'" + text + "' is not exponential, gaussian or vonkarman:NU");
}

// A size of the transform no smaller than `target`: even, and a product of
// 2, 3 and 5 only, which FFTW transforms fastest.
int transform_size(int target) {
  for (int n = std::max(target, 2);; ++n) {
    if (n % 2 != 0) continue;
    int rest = n;
    for (const int p : {2, 3, 5}) {
      while (rest % p == 0) rest /= p;
    }
    if (rest == 1) return n;
  }
}

// Largest side of the padded grid: 2048 x 2048 complex words are 64 MB.
constexpr int max_padded_side = 2048;
// Eigenvalues above -tolerance * largest are rounding noise of a
// non-negative spectrum.
constexpr double eigen_tolerance = 1e-10;
// Correlation lengths of padding: the correlation has decayed to 3e-4
// (exponential) or less at that distance.
constexpr double padding_lengths = 8.0;

}  // namespace

MapOptions parse_map_options(const std::vector<std::string>& args) {
  MapOptions o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& option = args[i];
    if (option == "--seed") {
      const std::string& text = value_word(args, i, option);
      const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), o.seed);
      if (error != std::errc() || end != text.data() + text.size()) {
        refuse(option, "'" + text + "' is not an integer in 0..18446744073709551615");
      }
    } else if (option == "--kind") {
      const std::string& text = value_word(args, i, option);
      if (text == "gaussian") {
        o.kind = FieldKind::gaussian;
      } else if (text == "binary") {
        o.kind = FieldKind::binary;
      } else {
        refuse(option, "'" + text + "' is not gaussian or binary");
      }
      o.kind_given = true;
    } else if (option == "--mean") {
      o.mean = number_of(option, value_word(args, i, option));
      o.mean_given = true;
    } else if (option == "--std") {
      o.std = number_of(option, value_word(args, i, option));
      if (o.std < 0) refuse(option, "a standard deviation cannot be negative");
      o.std_given = true;
    } else if (option == "--fraction") {
      o.fraction = number_of(option, value_word(args, i, option));
      if (o.fraction < 0 || o.fraction > 1) refuse(option, "the fraction of HIGH cells must lie in [0, 1]");
      o.fraction_given = true;
    } else if (option == "--values") {
      o.low = number_of(option, value_word(args, i, option));
      o.high = number_of(option, value_word(args, i, option));
      o.values_given = true;
    } else if (option == "--correlation") {
      o.lx = number_of(option, value_word(args, i, option));
      o.ly = number_of(option, value_word(args, i, option));
      if (!(o.lx > 0) || !(o.ly > 0)) refuse(option, "the correlation lengths LX LY must be positive");
      o.correlation_given = true;
    } else if (option == "--covariance") {
      o.covariance = covariance_of(value_word(args, i, option), o.nu);
    } else if (option == "--cache") {
      o.cache = value_word(args, i, option);
    } else if (option == "--file") {
      const std::string& text = value_word(args, i, option);
      if (text == "patchy") {
        o.file = MapFile::patchy;
      } else if (text == "ice") {
        o.file = MapFile::ice;
      } else {
        refuse(option, "'" + text + "' is not patchy or ice");
      }
    } else {
      refuse(option, "unknown option (options: --seed S --kind gaussian|binary --mean M --std S --fraction F "
                     "--values LOW HIGH --correlation LX LY --covariance exponential|gaussian|vonkarman:NU "
                     "--file patchy|ice --cache DIR)");
    }
  }
  if (!o.kind_given) refuse("--kind", "missing: say --kind gaussian or --kind binary");
  if (!o.correlation_given) refuse("--correlation", "missing: give the correlation lengths LX LY in metres");
  if (o.kind == FieldKind::gaussian) {
    if (!o.mean_given) refuse("--mean", "missing: a Gaussian field needs --mean M");
    if (!o.std_given) refuse("--std", "missing: a Gaussian field needs --std S");
    if (o.fraction_given || o.values_given) {
      refuse(o.fraction_given ? "--fraction" : "--values", "belongs to --kind binary, not gaussian");
    }
  } else {
    if (!o.fraction_given) refuse("--fraction", "missing: a binary field needs --fraction F");
    if (!o.values_given) refuse("--values", "missing: a binary field needs --values LOW HIGH");
    if (o.high < o.low) {
      refuse("--values", "HIGH = " + format_real(o.high) + " lies below LOW = " + format_real(o.low) +
                             " (give the two values in the order LOW HIGH: the fraction F of cells takes HIGH)");
    }
    if (o.mean_given || o.std_given) refuse(o.mean_given ? "--mean" : "--std", "belongs to --kind gaussian, not binary");
  }
  return o;
}

const char* map_file_name(MapFile file) {
  return file == MapFile::ice ? "binary_ice_gnu.dat" : "phiw_binary_patchy.dat";
}

double water_upper_bound(const Deck& deck, const IntMap& matnum, int j, int k) {
  return deck.key_model == 0 ? deck.phi_a(matnum(j, k)) : 1.0;
}

void check_map_options(const MapOptions& o, const Deck& deck, const IntMap& matnum) {
  // The admissible interval must hold for every layer type the map uses.
  double upper = 1.0;
  for (int k = 1; k <= deck.ny; ++k) {
    for (int j = 1; j <= deck.nx; ++j) {
      const int i = matnum(j, k);
      if (i < 1 || i > deck.nmat) {
        stop_input_parameter("upscale_maps: the deck leaves cell (" + std::to_string(j) + "," + std::to_string(k) +
                             ") without a layer type (ny is not a whole number of layer periods)");
      }
      upper = std::min(upper, water_upper_bound(deck, matnum, j, k));
    }
  }
  const std::string bound = deck.key_model == 0 ? "phi_a = " + format_real(upper) + " of the deck" : "1";
  const auto require_inside = [&](const std::string& option, const std::string& name, double value) {
    if (!(value > 0) || !(value < upper)) {
      refuse(option, name + " = " + format_real(value) + " is not admitted: a water proportion must lie strictly "
                     "between 0 (a cell without water) and " + bound);
    }
  };
  if (o.kind == FieldKind::binary) {
    require_inside("--values", "LOW", o.low);
    require_inside("--values", "HIGH", o.high);
  } else {
    require_inside("--mean", "M", o.mean);
    if (!(upper - clip_margin > clip_margin)) refuse("--mean", "the admissible range is empty");
  }
}

double NormalGenerator::next() {
  if (has_spare_) {
    has_spare_ = false;
    return spare_;
  }
  constexpr double two_to_minus_53 = 1.0 / 9007199254740992.0;
  for (;;) {
    const double u = static_cast<double>(engine_() >> 11) * two_to_minus_53 * 2.0 - 1.0;
    const double v = static_cast<double>(engine_() >> 11) * two_to_minus_53 * 2.0 - 1.0;
    const double s = u * u + v * v;
    if (s >= 1.0 || s == 0.0) continue;
    const double factor = std::sqrt(-2.0 * exact_math::log(s) / s);
    spare_ = v * factor;
    has_spare_ = true;
    return u * factor;
  }
}

double correlation(CovarianceKind kind, double nu, double r) {
  switch (kind) {
    case CovarianceKind::exponential:
      return exact_math::exp(-r);
    case CovarianceKind::gaussian:
      return exact_math::exp(-(r * r));
    case CovarianceKind::von_karman:
      return exact_math::von_karman(r, nu);
  }
  return 0;
}

namespace {

// Calls block(i) for i = 0..blocks-1 on every processor of the machine,
// each block taken by the next free thread.  A block writes only values of
// its own, so the result depends neither on the number of threads nor on
// which thread took which block.  Should the system refuse a thread, the
// blocks are shared among those started and this one.
void for_each_block(std::size_t blocks, const std::function<void(std::size_t)>& block) {
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t i = next++; i < blocks; i = next++) block(i);
  };
  const std::size_t processors = std::max(std::thread::hardware_concurrency(), 1u);
  const std::size_t helpers = std::min(processors, blocks) - (blocks > 0 ? 1 : 0);
  std::vector<std::thread> threads;
  try {
    threads.reserve(helpers);
    for (std::size_t t = 0; t < helpers; ++t) threads.emplace_back(work);
  } catch (const std::system_error&) {
  }
  work();
  for (std::thread& thread : threads) thread.join();
}

// The scaled lag of cells ix columns and iy rows apart.
double scaled_lag(int ix, int iy, double h, double lx, double ly) {
  const double sx = (ix * h) / lx;
  const double sy = (iy * h) / ly;
  return std::sqrt(sx * sx + sy * sy);
}

// The von Karman correlation at every lag of the quadrant, a quadrature
// each.  Each distinct scaled lag is computed once (with LX = LY the lags
// (ix, iy) and (iy, ix) are the same double, since the sum of the two
// squares does not depend on their order, and many more coincide): sorted,
// equal lags are neighbours, and the value, a function of the lag alone,
// is written to every entry of the run.  The sorted lags are shared among
// the processors in blocks of positions; a run belongs to the block of its
// first position, so that each is computed once whoever takes it.
void von_karman_quadrant(int hx, int hy, double h, double lx, double ly, double nu, std::vector<double>& quadrant) {
  const std::size_t count = quadrant.size();  // at most 1025 x 1025
  std::vector<std::pair<double, std::uint32_t>> lags(count);  // the scaled lag and its entry iy (hx + 1) + ix
  for (int iy = 0; iy <= hy; ++iy) {
    for (int ix = 0; ix <= hx; ++ix) {
      const std::size_t i = static_cast<std::size_t>(iy) * (hx + 1) + ix;
      lags[i] = {scaled_lag(ix, iy, h, lx, ly), static_cast<std::uint32_t>(i)};
    }
  }
  std::sort(lags.begin(), lags.end());
  constexpr std::size_t block = 2048;
  const exact_math::VonKarmanCorrelation von_karman(nu);
  for_each_block((count + block - 1) / block, [&](std::size_t b) {
    std::size_t k = b * block;
    while (k > 0 && k < count && lags[k].first == lags[k - 1].first) ++k;
    while (k < std::min(count, (b + 1) * block)) {
      const double r = lags[k].first;
      const double value = von_karman(r);
      for (; k < count && lags[k].first == r; ++k) quadrant[lags[k].second] = value;
    }
  });
}

std::vector<double> compute_quadrant(int hx, int hy, double h, double lx, double ly, CovarianceKind kind,
                                     double nu) {
  std::vector<double> quadrant(static_cast<std::size_t>(hx + 1) * static_cast<std::size_t>(hy + 1));
  if (kind == CovarianceKind::von_karman) {
    von_karman_quadrant(hx, hy, h, lx, ly, nu, quadrant);
    return quadrant;
  }
  for (int iy = 0; iy <= hy; ++iy) {
    for (int ix = 0; ix <= hx; ++ix) {
      quadrant[static_cast<std::size_t>(iy) * (hx + 1) + ix] = correlation(kind, nu, scaled_lag(ix, iy, h, lx, ly));
    }
  }
  return quadrant;
}

}  // namespace

std::vector<double> correlation_quadrant(int hx, int hy, double h, double lx, double ly, CovarianceKind kind,
                                         double nu, const std::string& cache) {
  if (cache.empty() || kind != CovarianceKind::von_karman) return compute_quadrant(hx, hy, h, lx, ly, kind, nu);
  // The key: every input of the values, the reals by their exact bits.
  char key[256];
  std::snprintf(key, sizeof key, "von Karman quadrant %d %d h %a lx %a ly %a nu %a\n", hx, hy, h, lx, ly, nu);
  const std::string file = cache + "/correlation_" + checksum_text(key) + ".bin";
  const std::size_t count = static_cast<std::size_t>(hx + 1) * static_cast<std::size_t>(hy + 1);
  std::vector<double> quadrant(count);
  if (std::FILE* in = std::fopen(file.c_str(), "rb")) {
    char header[256] = {};
    const bool same_key = std::fgets(header, sizeof header, in) != nullptr && std::string(header) == key;
    const bool read = same_key && std::fread(quadrant.data(), sizeof(double), count, in) == count &&
                      std::fgetc(in) == EOF;
    std::fclose(in);
    if (read) return quadrant;
  }
  quadrant = compute_quadrant(hx, hy, h, lx, ly, kind, nu);
  // Kept for the next realisation when the directory takes it; a cache
  // that cannot be written only costs the time.
  const std::string temporary = file + "." + std::to_string(static_cast<long long>(getpid())) + ".tmp";
  if (std::FILE* out = std::fopen(temporary.c_str(), "wb")) {
    const bool written = std::fputs(key, out) >= 0 &&
                         std::fwrite(quadrant.data(), sizeof(double), count, out) == count;
    if ((std::fclose(out) == 0) && written) {
      std::rename(temporary.c_str(), file.c_str());
    } else {
      std::remove(temporary.c_str());
    }
  }
  return quadrant;
}

FieldSynthesis::FieldSynthesis(int nx, int ny, double h, double lx, double ly, CovarianceKind kind, double nu,
                               const std::string& cache)
    : nx_(nx), ny_(ny) {
  // The smallest exact embedding has 2(n-1) points per side; padding by
  // several correlation lengths lets the periodic correlation decay before
  // it wraps around, which keeps the spectrum non-negative.  When it is
  // not, the grid is doubled until it is, up to the largest side.
  const auto padded = [&](int n, double length) {
    const double cells = std::min(std::ceil(padding_lengths * length / h), double{max_padded_side});
    return std::min(transform_size(std::max(2 * n, n + static_cast<int>(cells))), max_padded_side);
  };
  mx_ = padded(nx, lx);
  my_ = padded(ny, ly);
  while (!embed(h, lx, ly, kind, nu, cache)) {
    if (2 * mx_ > max_padded_side && 2 * my_ > max_padded_side) break;
    if (2 * mx_ <= max_padded_side) mx_ *= 2;
    if (2 * my_ <= max_padded_side) my_ *= 2;
  }
}

// Lays the correlation on the mx x my periodic grid (lag min(i, m - i)
// cells along each axis), transforms it, and keeps the square roots of the
// eigenvalues scaled by 1/(mx my).  False while some eigenvalue is
// negative beyond rounding; the last attempt keeps them set to zero.
bool FieldSynthesis::embed(double h, double lx, double ly, CovarianceKind kind, double nu, const std::string& cache) {
  if (plan_ != nullptr) fftw_destroy_plan(static_cast<fftw_plan>(plan_));
  if (buffer_ != nullptr) fftw_free(buffer_);
  const std::size_t total = static_cast<std::size_t>(mx_) * static_cast<std::size_t>(my_);
  auto* buffer = static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * total));
  if (buffer == nullptr) stop_run(stop_bad_parameter, "upscale_maps: no memory for the padded grid");
  buffer_ = buffer;
  // The plan is made before the buffer is filled: FFTW_ESTIMATE does not
  // touch the array, and the same plan serves every realisation.
  plan_ = fftw_plan_dft_2d(my_, mx_, buffer, buffer, FFTW_FORWARD, FFTW_ESTIMATE | FFTW_NO_SIMD);

  // The correlation depends on |lag| only, so one quadrant of lags is
  // computed and mirrored.
  const int hx = mx_ / 2, hy = my_ / 2;
  const std::vector<double> quadrant = correlation_quadrant(hx, hy, h, lx, ly, kind, nu, cache);
  for (int iy = 0; iy < my_; ++iy) {
    const int ly_cells = std::min(iy, my_ - iy);
    for (int ix = 0; ix < mx_; ++ix) {
      const int lx_cells = std::min(ix, mx_ - ix);
      fftw_complex& z = buffer[static_cast<std::size_t>(iy) * mx_ + ix];
      z[0] = quadrant[static_cast<std::size_t>(ly_cells) * (hx + 1) + lx_cells];
      z[1] = 0.0;
    }
  }
  fftw_execute(static_cast<fftw_plan>(plan_));

  double largest = 0, negative_sum = 0, total_sum = 0;
  for (std::size_t i = 0; i < total; ++i) largest = std::max(largest, buffer[i][0]);
  bool exact = true;
  weight_.assign(total, 0.0);
  for (std::size_t i = 0; i < total; ++i) {
    double eigenvalue = buffer[i][0];
    total_sum = total_sum + std::abs(eigenvalue);
    if (eigenvalue < 0) {
      if (eigenvalue < -eigen_tolerance * largest) {
        exact = false;
        negative_sum = negative_sum - eigenvalue;
      }
      eigenvalue = 0;
    }
    weight_[i] = std::sqrt(eigenvalue / static_cast<double>(total));
  }
  dropped_ = exact ? 0.0 : negative_sum / total_sum;
  return exact;
}

FieldSynthesis::~FieldSynthesis() {
  if (plan_ != nullptr) fftw_destroy_plan(static_cast<fftw_plan>(plan_));
  if (buffer_ != nullptr) fftw_free(buffer_);
}

void FieldSynthesis::draw(NormalGenerator& normal, RealMap& field) {
  auto* buffer = static_cast<fftw_complex*>(buffer_);
  const std::size_t total = weight_.size();
  for (std::size_t i = 0; i < total; ++i) {
    const double a = normal.next();
    const double b = normal.next();
    buffer[i][0] = weight_[i] * a;
    buffer[i][1] = weight_[i] * b;
  }
  fftw_execute(static_cast<fftw_plan>(plan_));
  // The real part of the transform is one field with the embedded
  // correlation; the sample is its corner of nx x ny cells.
  for (int k = 1; k <= ny_; ++k) {
    for (int j = 1; j <= nx_; ++j) field(j, k) = buffer[static_cast<std::size_t>(k - 1) * mx_ + (j - 1)][0];
  }
}

void make_map(const MapOptions& o, const Deck& deck, const IntMap& matnum, FieldSynthesis& synthesis,
              RealMap& values, int& clipped) {
  NormalGenerator normal(o.seed);
  RealMap field;
  field.resize(deck.nx, deck.ny);
  values.resize(deck.nx, deck.ny);
  synthesis.draw(normal, field);
  clipped = 0;
  const int nx = deck.nx, ny = deck.ny;
  if (o.kind == FieldKind::gaussian) {
    for (int k = 1; k <= ny; ++k) {
      for (int j = 1; j <= nx; ++j) {
        const double low = clip_margin;
        const double high = water_upper_bound(deck, matnum, j, k) - clip_margin;
        double value = o.mean + o.std * field(j, k);
        if (value < low || value > high) {
          value = value < low ? low : high;
          ++clipped;
        }
        values(j, k) = value;
      }
    }
    return;
  }
  // Binary: the cells of the largest field values take HIGH, exactly
  // round(F nx ny) of them; equal values are ranked by cell number, so the
  // threshold is the empirical quantile whatever ties the field holds.
  const int cells = nx * ny;
  const long high_cells = std::lround(o.fraction * cells);
  std::vector<int> order(static_cast<std::size_t>(cells));
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](int a, int b) {
    const double fa = field(a % nx + 1, a / nx + 1), fb = field(b % nx + 1, b / nx + 1);
    return fa > fb || (fa == fb && a < b);
  });
  for (int rank = 0; rank < cells; ++rank) {
    const int cell = order[static_cast<std::size_t>(rank)];
    values(cell % nx + 1, cell / nx + 1) = rank < high_cells ? o.high : o.low;
  }
}

void write_map_file(const std::string& file_name, int nx, int ny, const RealMap& values) {
  std::FILE* file = std::fopen(file_name.c_str(), "w");
  if (file == nullptr) stop_input("cannot create the per-cell file \"" + file_name + "\"");
  bool ok = true;
  for (int k = 1; k <= ny; ++k) {
    for (int j = 1; j <= nx; ++j) {
      const std::string line = record_text(j, k, values(j, k)) + "\n";
      ok = ok && std::fputs(line.c_str(), file) >= 0;
    }
  }
  ok = (std::fclose(file) == 0) && ok;
  if (!ok) stop_input("cannot write the per-cell file \"" + file_name + "\" (output lost)");
}
