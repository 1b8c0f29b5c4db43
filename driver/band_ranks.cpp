#include "driver/band_ranks.hpp"

#include <array>
#include <cstring>
#include <utility>
#include <stdexcept>

#include "fem/band_assembly.hpp"

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
    // The lower triangle of the band's rows, and where each entry lies in the band.
    row_.clear();
    column_.clear();
    at_.clear();
    for (std::size_t i = 0; i < band_.rows.size(); ++i)
      for (std::int64_t p = band_.ia[i]; p < band_.ia[i + 1]; ++p)
        if (band_.ja[p - 1] <= band_.rows[i]) {
          row_.push_back(band_.rows[i]);
          column_.push_back(band_.ja[p - 1]);
          at_.push_back(p - 1);
        }
    value_.assign(at_.size(), dcomplex(0.0, 0.0));
    coef_.resize(nx_, ny_);
    held_.assign(static_cast<std::size_t>(band_.n), 0);
  }

  // The band's values with the held unknowns' couplings cleared, as rank 0
  // clears them in the whole matrix (scalable/symmetric_values.hpp).
  void values(const std::vector<char>& words) override {
    WordReader in{words};
    const double omega = in.get<double>(), h = in.get<double>();
    for (RealMap* map : coefficient_maps(coef_))
      for (std::int32_t k = 1; k <= ny_; ++k) in.get(&(*map)(1, k), static_cast<std::size_t>(nx_));
    in.get(held_.data(), held_.size());
    band_values(omega, nx_, ny_, h, xnod_, coef_, band_, test_);
    const dcomplex zero(0.0, 0.0);
    for (std::size_t q = 0; q < at_.size(); ++q) {
      const std::int32_t r = row_[q], c = column_[q];
      value_[q] = r != c && (held_[r - 1] != 0 || held_[c - 1] != 0) ? zero : band_.a[at_[q]];
    }
  }

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
  std::vector<std::int32_t> row_, column_;
  std::vector<std::int64_t> at_;
  std::vector<dcomplex> value_;
};

}  // namespace

std::unique_ptr<scalable::RowSource> make_band_row_source() { return std::make_unique<BandRowSource>(); }

scalable::RowShare band_share(const RunStorage& run, int ranks) {
  const std::int32_t nx = run.deck.nx, ny = run.deck.ny, cells = nx * ny;
  scalable::RowShare share;
  WordWriter out{share.words};
  out.put(nx);
  out.put(ny);
  out.put(static_cast<std::int32_t>(run.test));
  for (int s = 1; s <= NodeTable::slots; ++s) out.put(&run.xnod(1, s), static_cast<std::size_t>(cells));
  std::int32_t k0 = 0, k1 = 0;
  band_cell_rows(ny, ranks, 0, k0, k1);
  band_unknowns(nx, ny, run.xnod, k0, k1, share.own);
  return share;
}

void band_values_words(const RunStorage& run, double omega, std::vector<char>& words) {
  words.clear();
  WordWriter out{words};
  out.put(omega);
  out.put(run.deck.h);
  for (const RealMap* map : coefficient_maps(run.coef))
    for (std::int32_t k = 1; k <= run.deck.ny; ++k) out.put(&(*map)(1, k), static_cast<std::size_t>(run.deck.nx));
  out.put(run.held.data(), static_cast<std::size_t>(numbered_unknowns(run.deck.nx, run.deck.ny, run.xnod)));
}
