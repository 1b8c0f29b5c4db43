#include "driver/band_ranks.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>
#include <stdexcept>

#include "fem/band_assembly.hpp"
#include "sparse/backward_error.hpp"

namespace {

// Words written and read back in the same order, each item as its bytes.
struct WordWriter {
  std::vector<char>& out;
  template <class T>
  void put(const T* items, std::size_t count) {
    const std::size_t at = out.size(), size = count * sizeof(T);
    out.resize(at + size);
    if (size > 0) std::memcpy(out.data() + at, items, size);
  }
  template <class T>
  void put(const T& item) { put(&item, 1); }
};

struct WordReader {
  const std::vector<char>& in;
  std::size_t at = 0;
  template <class T>
  void get(T* items, std::size_t count) {
    const std::size_t size = count * sizeof(T);
    if (at + size > in.size()) throw std::runtime_error("rank 0's words end early");
    std::memcpy(items, in.data() + at, size);
    at += size;
  }
  template <class T>
  T get() {
    T item;
    get(&item, 1);
    return item;
  }
};

// The maps of the coefficients, in the order both sides read them.
template <class Maps>
std::array<decltype(&std::declval<Maps&>().lambda1), 18> coefficient_maps(Maps& c) {
  return {&c.lambda1, &c.lambda3, &c.mu1, &c.mu3, &c.mu13, &c.b1, &c.b2, &c.m, &c.d3,
          &c.p11,     &c.p12,     &c.p13, &c.p22, &c.p23, &c.p33, &c.b11, &c.b12, &c.b22};
}

bool is_zero(dcomplex v) { return v.re == 0.0 && v.im == 0.0; }

// One rank's band of cell rows (fem/band_assembly.hpp). The held unknowns
// are eliminated as scalable::symmetric_values eliminates them from the
// whole matrix, row by row in the same order, so that every row, load and
// residual is the whole system's bit for bit.
class BandRowSource : public scalable::RowSource {
 public:
  void pattern(const std::vector<char>& words, int rank, int ranks) override {
    WordReader in{words};
    nx_ = in.get<std::int32_t>();
    ny_ = in.get<std::int32_t>();
    test_ = static_cast<HarmonicTest>(in.get<std::int32_t>());
    const std::int32_t cells = nx_ * ny_;
    xnod_.resize(cells);
    for (int s = 1; s <= NodeTable::slots; ++s) in.get(&xnod_(1, s), static_cast<std::size_t>(cells));
    std::int32_t k0 = 0, k1 = 0;
    band_cell_rows(ny_, ranks, rank, k0, k1);
    band_pattern(nx_, ny_, xnod_, k0, k1, band_);
    // The lower triangle of the band's rows: the leading entries of each
    // row, whose columns rise.
    row_.clear();
    column_.clear();
    for (std::size_t i = 0; i < band_.rows.size(); ++i)
      for (std::int64_t p = band_.ia[i]; p < band_.ia[i + 1] && band_.ja[p - 1] <= band_.rows[i]; ++p) {
        row_.push_back(band_.rows[i]);
        column_.push_back(band_.ja[p - 1]);
      }
    value_.assign(row_.size(), dcomplex(0.0, 0.0));
    load_.assign(band_.rows.size(), dcomplex(0.0, 0.0));
    coef_.resize(nx_, ny_);
    held_.assign(static_cast<std::size_t>(band_.n), 0);
    known_.assign(static_cast<std::size_t>(band_.n), dcomplex(0.0, 0.0));
  }

  void values(const std::vector<char>& words) override {
    WordReader in{words};
    const double omega = in.get<double>(), h = in.get<double>();
    for (RealMap* map : coefficient_maps(coef_))
      for (std::int32_t k = 1; k <= ny_; ++k) in.get(&(*map)(1, k), static_cast<std::size_t>(nx_));
    band_values(omega, nx_, ny_, h, xnod_, coef_, band_, test_);
    // A held row: a nonzero diagonal and no other nonzero value; its
    // unknown is load / diagonal.
    std::fill(held_.begin(), held_.end(), 0);
    std::fill(known_.begin(), known_.end(), dcomplex(0.0, 0.0));
    for (std::size_t i = 0; i < band_.rows.size(); ++i) {
      const std::int32_t r = band_.rows[i];
      bool diagonal = false, coupled = false;
      std::int64_t at_diagonal = 0;
      for (std::int64_t p = band_.ia[i]; p < band_.ia[i + 1]; ++p) {
        if (band_.ja[p - 1] == r) {
          diagonal = diagonal || !is_zero(band_.a[p - 1]);
          at_diagonal = p;
        } else {
          coupled = coupled || !is_zero(band_.a[p - 1]);
        }
      }
      if (!diagonal || coupled) continue;
      held_[r - 1] = 1;
      if (!is_zero(band_.rhs[i])) known_[r - 1] = band_.rhs[i] / band_.a[at_diagonal - 1];
    }
  }

  void eliminate_held() override {
    const dcomplex zero(0.0, 0.0);
    for (std::size_t i = 0; i < band_.rows.size(); ++i) {
      const std::int32_t r = band_.rows[i];
      dcomplex load = band_.rhs[i];
      for (std::int64_t p = band_.ia[i]; p < band_.ia[i + 1]; ++p) {
        const std::int32_t c = band_.ja[p - 1];
        if (c == r) continue;
        if (held_[r - 1]) {
          band_.a[p - 1] = zero;
        } else if (held_[c - 1]) {
          if (!is_zero(known_[c - 1])) load = load - band_.a[p - 1] * known_[c - 1];
          band_.a[p - 1] = zero;
        }
      }
      load_[i] = load;
    }
    std::size_t q = 0;
    for (std::size_t i = 0; i < band_.rows.size(); ++i)
      for (std::int64_t p = band_.ia[i]; p < band_.ia[i + 1] && band_.ja[p - 1] <= band_.rows[i]; ++p)
        value_[q++] = band_.a[p - 1];
  }

  double residual(const dcomplex* z, dcomplex* residual) override {
    for (std::size_t i = 0; i < band_.rows.size(); ++i) {
      dcomplex r = load_[i];
      for (std::int64_t p = band_.ia[i]; p < band_.ia[i + 1]; ++p) r = r - band_.a[p - 1] * z[band_.ja[p - 1] - 1];
      residual[i] = r;
    }
    return componentwise_backward_error(static_cast<std::int32_t>(band_.rows.size()), band_.ia.data(),
                                        band_.ja.data(), band_.a.data(), load_.data(), z);
  }

  const std::vector<std::int32_t>& rows() const override { return band_.rows; }
  std::vector<unsigned char>& held() override { return held_; }
  std::vector<dcomplex>& known() override { return known_; }
  const std::vector<dcomplex>& load() const override { return load_; }
  std::vector<std::int32_t>& row() override { return row_; }
  std::vector<std::int32_t>& column() override { return column_; }
  std::vector<dcomplex>& value() override { return value_; }

 private:
  std::int32_t nx_ = 0, ny_ = 0;
  HarmonicTest test_ = HarmonicTest::vertical;
  NodeTable xnod_;
  RowBand band_;
  CoefficientMaps coef_;
  std::vector<unsigned char> held_;
  std::vector<dcomplex> known_, load_;
  std::vector<std::int32_t> row_, column_;
  std::vector<dcomplex> value_;
};

}  // namespace

std::unique_ptr<scalable::RowSource> make_band_row_source() { return std::make_unique<BandRowSource>(); }

std::vector<char> band_pattern_words(const RunStorage& run) {
  const std::int32_t nx = run.deck.nx, ny = run.deck.ny, cells = nx * ny;
  std::vector<char> words;
  WordWriter out{words};
  out.put(nx);
  out.put(ny);
  out.put(static_cast<std::int32_t>(run.test));
  for (int s = 1; s <= NodeTable::slots; ++s) out.put(&run.xnod(1, s), static_cast<std::size_t>(cells));
  return words;
}

void band_values_words(const RunStorage& run, double omega, std::vector<char>& words) {
  words.clear();
  WordWriter out{words};
  out.put(omega);
  out.put(run.deck.h);
  for (const RealMap* map : coefficient_maps(run.coef))
    for (std::int32_t k = 1; k <= run.deck.ny; ++k) out.put(&(*map)(1, k), static_cast<std::size_t>(run.deck.nx));
}
