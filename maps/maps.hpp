// Stochastic per-cell maps: one realisation of a stationary random field
// over the cells of a deck, written as a per-cell file of the program.
//
// The field is Gaussian with zero mean, unit variance and a correlation
// c(r) of the scaled lag r = sqrt((dx/LX)^2 + (dy/LY)^2) between cell
// centres: exp(-r) (exponential), exp(-r^2) (gaussian) or the von Karman
// function 2^(1-nu)/Gamma(nu) r^nu K_nu(r).  It is drawn by circulant
// embedding: the correlation is laid on a periodic grid larger than the
// sample by several correlation lengths, where it is a circulant matrix
// whose eigenvalues are its discrete Fourier transform; complex white noise
// weighted by their square roots and transformed back has exactly that
// correlation between the sample's cells (no wrap-around), as long as no
// eigenvalue is negative.
//
// A realisation is fixed by its seed: std::mt19937_64, whose sequence the
// C++ standard fixes, a normal transform of our own, and FFTW planned with
// FFTW_ESTIMATE | FFTW_NO_SIMD, which chooses the same algorithm on every
// machine and no processor-dependent vector code.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "common/cellmap.hpp"
#include "driver/readata.hpp"

enum class FieldKind { gaussian, binary };
enum class CovarianceKind { exponential, gaussian, von_karman };
enum class MapFile { patchy, ice };

// The options of one realisation, as given on the command line.
struct MapOptions {
  std::uint64_t seed = 1;
  bool kind_given = false;
  FieldKind kind = FieldKind::binary;
  bool mean_given = false, std_given = false, fraction_given = false, values_given = false;
  double mean = 0, std = 0;    // gaussian: the field's mean and standard deviation
  double fraction = 0;         // binary: the fraction of cells that take `high`
  double low = 0, high = 0;    // binary: the two values
  bool correlation_given = false;
  double lx = 0, ly = 0;       // m, correlation lengths along x and y
  CovarianceKind covariance = CovarianceKind::exponential;
  double nu = 0.5;             // von Karman order
  MapFile file = MapFile::patchy;
  std::string cache;           // directory of the correlation cache ("": none)
};

// Distance from the admissible bounds to which a Gaussian field is clipped:
// a water proportion must lie strictly between 0 and the cell's phi_a.
constexpr double clip_margin = 1e-6;

// Parses the options (the words after the program's name).  A usage error
// (an unknown option, a missing or unreadable value, a value outside its
// range, a missing option the kind needs) stops with stop_bad_parameter and
// a message naming the option.
MapOptions parse_map_options(const std::vector<std::string>& args);

// The per-cell file a realisation is written to.
const char* map_file_name(MapFile file);

// Largest admissible water proportion of cell (j,k): the phi_a of its layer
// type in the permafrost model, 1 in the shaley-sand model.
double water_upper_bound(const Deck& deck, const IntMap& matnum, int j, int k);

// Refuses, naming the option, values that the deck makes impossible: a
// binary value or a Gaussian mean not strictly between 0 and the upper bound
// of some cell, and a deck whose map leaves a cell without a layer type.
void check_map_options(const MapOptions& options, const Deck& deck, const IntMap& matnum);

// Normal numbers from std::mt19937_64: Marsaglia's polar method on 53-bit
// uniform numbers, with the logarithm of exact_math; the second number of
// each pair is kept for the next call.
class NormalGenerator {
 public:
  explicit NormalGenerator(std::uint64_t seed) : engine_(seed) {}
  double next();

 private:
  std::mt19937_64 engine_;
  bool has_spare_ = false;
  double spare_ = 0;
};

// The correlation c(r) of the scaled lag r.
double correlation(CovarianceKind kind, double nu, double r);

// The correlation laid on the lags of an embedding, one quadrant (0..hx
// along x, 0..hy along y, row by row) of the scaled lags of the cells.  The
// von Karman function costs a quadrature per distinct lag, up to a million
// of them on the largest grid (over a second, shared among the processors;
// maps/von_karman.hpp), against one exponential each for the
// others: with a cache directory, its values are kept there in a file per
// grid and correlation (named by the checksum of its key, which the file
// repeats), read back bit for bit by every later realisation of the same
// study.  A cache file that is missing, unreadable or of another key is
// computed again and replaced (under a temporary name, then moved), so
// that a realisation is the same with or without the cache.
std::vector<double> correlation_quadrant(int hx, int hy, double h, double lx, double ly, CovarianceKind kind,
                                         double nu, const std::string& cache);

// The circulant embedding of one sample's grid and correlation: its
// eigenvalues and the transform's plan and buffer, made once and used for
// every realisation drawn on that grid.
class FieldSynthesis {
 public:
  FieldSynthesis(int nx, int ny, double h, double lx, double ly, CovarianceKind kind, double nu,
                 const std::string& cache = "");
  ~FieldSynthesis();
  FieldSynthesis(const FieldSynthesis&) = delete;
  FieldSynthesis& operator=(const FieldSynthesis&) = delete;

  // One realisation of the zero-mean, unit-variance field on the cells.
  void draw(NormalGenerator& normal, RealMap& field);

  int padded_nx() const { return mx_; }
  int padded_ny() const { return my_; }
  // The share of the variance lost by setting negative eigenvalues to zero
  // when even the largest padded grid does not embed the correlation
  // exactly (0 when the embedding is exact).
  double dropped_variance() const { return dropped_; }

 private:
  bool embed(double h, double lx, double ly, CovarianceKind kind, double nu, const std::string& cache);

  int nx_, ny_, mx_ = 0, my_ = 0;
  double dropped_ = 0;
  std::vector<double> weight_;  // sqrt(eigenvalue / (mx my)), >= 0
  void* buffer_ = nullptr;      // fftw_complex[mx my]
  void* plan_ = nullptr;        // fftw_plan of the forward transform in place
};

// One realisation of the map on the deck's cells (row k, column j), and the
// number of cells of a Gaussian field that were clipped to the admissible
// range.
void make_map(const MapOptions& options, const Deck& deck, const IntMap& matnum, FieldSynthesis& synthesis,
              RealMap& values, int& clipped);

// Writes nx*ny records "j k value", row by row from the bottom, every value
// in the shortest form that reads back to the same double; a write that
// fails stops with stop_input_error naming the file.
void write_map_file(const std::string& file_name, int nx, int ny, const RealMap& values);
