// Matrices and references shared by the sparse-solver tests and benchmark:
// finite-element patterns and systems of the real mesh numbering, random
// values, a work block of any size, a literal numeric factorisation and a
// dense reference solver.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <set>
#include <vector>

#include "common/cellmap.hpp"
#include "common/complex.hpp"
#include "fem/global_numbering.hpp"
#include "fem/global_sist.hpp"
#include "sparse/families.hpp"

namespace sparse_fixtures {

using std::int32_t;

// A matrix in 1-based compressed rows, values of type V.
template <class V>
struct Csr {
  int32_t n = 0;
  std::vector<int32_t> ia;  // n + 1
  std::vector<int32_t> ja;
  std::vector<V> a;
  int32_t nnz() const { return ia[n] - 1; }
};

// Builds compressed rows from per-row column sets (ascending columns).
inline Csr<dcomplex> from_rows(const std::vector<std::set<int32_t>>& rows) {
  Csr<dcomplex> m;
  m.n = static_cast<int32_t>(rows.size());
  m.ia.push_back(1);
  for (const auto& r : rows) {
    for (int32_t c : r) m.ja.push_back(c);
    m.ia.push_back(static_cast<int32_t>(m.ja.size()) + 1);
  }
  m.a.assign(m.ja.size(), dcomplex(0));
  return m;
}

// The pattern of the finite-element system of an nx x ny mesh: unknowns
// are coupled exactly when they share a cell (numbering of the mesh).
inline Csr<dcomplex> fem_pattern(int32_t nx, int32_t ny) {
  auto xnod = std::make_unique<NodeTable>();
  global_numbering(nx, ny, *xnod);
  const int32_t n = unknown_count(nx, ny);
  std::vector<std::set<int32_t>> rows(n);
  for (int32_t e = 1; e <= nx * ny; ++e)
    for (int s = 1; s <= 20; ++s)
      for (int t = 1; t <= 20; ++t) rows[(*xnod)(e, s) - 1].insert((*xnod)(e, t));
  return from_rows(rows);
}

// Random values on a pattern, made diagonally dominant so that elimination
// without pivoting is stable: every off-diagonal value has parts in
// [-1, 1], every diagonal value exceeds its row's sum of moduli.
template <class V>
V random_value(std::mt19937& gen);
template <>
inline double random_value<double>(std::mt19937& gen) {
  return std::uniform_real_distribution<double>(-1.0, 1.0)(gen);
}
template <>
inline float random_value<float>(std::mt19937& gen) {
  return static_cast<float>(random_value<double>(gen));
}
template <>
inline dcomplex random_value<dcomplex>(std::mt19937& gen) {
  const double re = random_value<double>(gen);
  return dcomplex(re, random_value<double>(gen));
}
template <>
inline scomplex random_value<scomplex>(std::mt19937& gen) {
  const float re = random_value<float>(gen);
  return scomplex(re, random_value<float>(gen));
}

inline double modulus(double x) { return std::fabs(x); }
inline double modulus(float x) { return std::fabs(x); }
inline double modulus(dcomplex x) { return std::hypot(x.re, x.im); }
inline double modulus(scomplex x) { return std::hypot(double(x.re), double(x.im)); }

template <class V>
Csr<V> with_random_values(const Csr<dcomplex>& pattern, unsigned seed, bool dominant = true) {
  std::mt19937 gen(seed);
  Csr<V> m;
  m.n = pattern.n;
  m.ia = pattern.ia;
  m.ja = pattern.ja;
  m.a.resize(pattern.ja.size());
  for (int32_t i = 1; i <= m.n; ++i) {
    double off = 0;
    int32_t diag = 0;
    for (int32_t p = m.ia[i - 1]; p < m.ia[i]; ++p) {
      m.a[p - 1] = random_value<V>(gen);
      if (m.ja[p - 1] == i) diag = p;
      else off += modulus(m.a[p - 1]);
    }
    if (dominant && diag != 0) m.a[diag - 1] = m.a[diag - 1] + V(static_cast<float>(off + 1.0));
  }
  return m;
}

// A random pattern of order n: the diagonal, about `per_row` random
// off-diagonal entries per row, mirrored so that the pattern is
// structurally symmetric when `symmetric`; rows in random column order.
inline Csr<dcomplex> random_pattern(int32_t n, int per_row, unsigned seed, bool symmetric) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int32_t> col(1, n);
  std::vector<std::set<int32_t>> rows(n);
  for (int32_t i = 1; i <= n; ++i) {
    rows[i - 1].insert(i);
    for (int t = 0; t < per_row; ++t) {
      const int32_t c = col(gen);
      rows[i - 1].insert(c);
      if (symmetric) rows[c - 1].insert(i);
    }
  }
  Csr<dcomplex> m = from_rows(rows);
  // shuffle each row's entries: the solver must not rely on their order
  for (int32_t i = 1; i <= n; ++i)
    std::shuffle(m.ja.begin() + (m.ia[i - 1] - 1), m.ja.begin() + (m.ia[i] - 1), gen);
  return m;
}

// The finite-element system of the compressibility test on an nx x ny
// mesh with plausible constant coefficients per cell.
struct FemSystem {
  Csr<dcomplex> m;
  std::vector<dcomplex> rhs;
};

inline FemSystem fem_system(int32_t nx, int32_t ny) {
  struct Maps {
    RealMap lambda1, lambda3, mu1, mu3, mu13, b1, b2, m, d3;
    RealMap p11, p12, p13, p22, p23, p33;
    RealMap b11, b12, b22;
    NodeTable xnod;
    AssemblyScratch scratch;
  };
  auto c = std::make_unique<Maps>();
  const double values[18] = {1.2e10, 3e9, 1.3e10, 3e9, 1e7, 2e9, 1e9, 2.2e9, 1e9,
                             2650, 0, 0, 1000, 0, 917, 1e6, 5e7, 1e10};
  RealMap* maps[18] = {&c->lambda1, &c->lambda3, &c->mu1, &c->mu3, &c->mu13, &c->b1,
                       &c->b2, &c->m, &c->d3, &c->p11, &c->p12, &c->p13,
                       &c->p22, &c->p23, &c->p33, &c->b11, &c->b12, &c->b22};
  for (int t = 0; t < 18; ++t) std::fill(maps[t]->data.begin(), maps[t]->data.end(), values[t]);
  global_numbering(nx, ny, c->xnod);
  const int32_t n = unknown_count(nx, ny);
  FemSystem s;
  std::vector<int32_t> ia(n + 1), ja(50 * static_cast<size_t>(n));
  std::vector<dcomplex> avec(50 * static_cast<size_t>(n)), rhs(n);
  const double omega = 6.283185307179586;
  const double h = 1.0 / ny;
  global_sist(omega, nx, ny, h, c->xnod, c->lambda1, c->lambda3, c->mu1, c->mu3, c->mu13, c->b1,
              c->b2, c->m, c->d3, c->p11, c->p12, c->p13, c->p22, c->p23, c->p33, c->b11, c->b12,
              c->b22, avec.data(), ia.data(), ja.data(), rhs.data(), c->scratch);
  s.m.n = n;
  s.m.ia = ia;
  const int32_t nnz = ia[n] - 1;
  s.m.ja.assign(ja.begin(), ja.begin() + nnz);
  s.m.a.assign(avec.begin(), avec.begin() + nnz);
  s.rhs = rhs;
  return s;
}

// A work block of nsp value words of family V, for tests that need a
// block of a chosen size: isp() is its integer view (lratio*nsp words).
template <class V>
struct TestBlock {
  int32_t nsp;
  std::unique_ptr<std::byte[]> bytes;
  explicit TestBlock(int32_t words)
      : nsp(words), bytes(new std::byte[static_cast<size_t>(words) * sizeof(V) + 16]) {}
  int32_t* isp() { return reinterpret_cast<int32_t*>(bytes.get()); }
  V* rsp() { return reinterpret_cast<V*>(bytes.get()); }
};

// The numeric factorisation exactly as stated, one entry at a time: the
// reference the fast implementation must match bit for bit.
template <class V>
void literal_nnf(int32_t n, const int32_t* r, const int32_t* c, const int32_t* ic,
                 const int32_t* ia, const int32_t* ja, const V* a, V* z, const V* b,
                 const int32_t* il, const int32_t* jl, V* l, int32_t lmax, V* d,
                 const int32_t* iu, const int32_t* ju, V* u, int32_t umax, V* row, V* tmp,
                 int32_t& flag) {
  if (il[n] - 1 > lmax) { flag = 4 * n + 1; return; }
  if (iu[n] - 1 > umax) { flag = 7 * n + 1; return; }
  for (int32_t k = 1; k <= n; ++k) {
    for (int32_t j = il[k - 1]; j < il[k]; ++j) row[jl[j - 1] - 1] = V(0);
    row[k - 1] = V(0);
    for (int32_t j = iu[k - 1]; j < iu[k]; ++j) row[ju[j - 1] - 1] = V(0);
    const int32_t rk = r[k - 1];
    for (int32_t j = ia[rk - 1]; j < ia[rk]; ++j) row[ic[ja[j - 1] - 1] - 1] = a[j - 1];
    V sum = b[rk - 1];
    for (int32_t j = il[k - 1]; j < il[k]; ++j) {
      const int32_t i = jl[j - 1];
      l[j - 1] = row[i - 1];
      const V lki = -row[i - 1];
      sum = sum + lki * tmp[i - 1];
      for (int32_t p = iu[i - 1]; p < iu[i]; ++p)
        row[ju[p - 1] - 1] = row[ju[p - 1] - 1] + lki * u[p - 1];
    }
    if (sparse::is_zero(row[k - 1])) { flag = 8 * n + k; return; }
    const V dk = sparse::pivot_reciprocal(row[k - 1]);
    d[k - 1] = dk;
    tmp[k - 1] = sum * dk;
    for (int32_t j = iu[k - 1]; j < iu[k]; ++j) u[j - 1] = row[ju[j - 1] - 1] * dk;
  }
  for (int32_t k = n; k >= 1; --k) {
    V sum = tmp[k - 1];
    for (int32_t j = iu[k - 1]; j < iu[k]; ++j) sum = sum - u[j - 1] * tmp[ju[j - 1] - 1];
    tmp[k - 1] = sum;
    z[c[k - 1] - 1] = sum;
  }
  flag = 0;
}

// Residual ||A z - b|| / ||b|| (2-norms, in double), A in compressed rows;
// with transposed, A^T z - b.
template <class V>
double relative_residual(const Csr<V>& m, const std::vector<V>& z, const std::vector<V>& b,
                         bool transposed = false) {
  std::vector<dcomplex> az(m.n, dcomplex(0));
  auto wide = [](V x) {
    if constexpr (std::is_same_v<V, dcomplex> || std::is_same_v<V, scomplex>)
      return dcomplex(double(x.re), double(x.im));
    else
      return dcomplex(double(x));
  };
  for (int32_t i = 1; i <= m.n; ++i)
    for (int32_t p = m.ia[i - 1]; p < m.ia[i]; ++p) {
      const int32_t j = m.ja[p - 1];
      if (transposed) az[j - 1] = az[j - 1] + wide(m.a[p - 1]) * wide(z[i - 1]);
      else az[i - 1] = az[i - 1] + wide(m.a[p - 1]) * wide(z[j - 1]);
    }
  double num = 0, den = 0;
  for (int32_t i = 0; i < m.n; ++i) {
    const dcomplex e = az[i] - wide(b[i]);
    num += e.re * e.re + e.im * e.im;
    den += wide(b[i]).re * wide(b[i]).re + wide(b[i]).im * wide(b[i]).im;
  }
  return std::sqrt(num / den);
}

// Dense Gaussian elimination with partial pivoting (small systems only).
inline std::vector<dcomplex> dense_solve(const Csr<dcomplex>& m, std::vector<dcomplex> b,
                                         bool transposed = false) {
  const int32_t n = m.n;
  std::vector<dcomplex> a(static_cast<size_t>(n) * n, dcomplex(0));
  for (int32_t i = 1; i <= n; ++i)
    for (int32_t p = m.ia[i - 1]; p < m.ia[i]; ++p) {
      const int32_t j = m.ja[p - 1];
      if (transposed) a[(j - 1) * n + (i - 1)] = a[(j - 1) * n + (i - 1)] + m.a[p - 1];
      else a[(i - 1) * n + (j - 1)] = a[(i - 1) * n + (j - 1)] + m.a[p - 1];
    }
  for (int32_t k = 0; k < n; ++k) {
    int32_t piv = k;
    for (int32_t i = k + 1; i < n; ++i)
      if (abs(a[i * n + k]) > abs(a[piv * n + k])) piv = i;
    for (int32_t j = 0; j < n; ++j) std::swap(a[k * n + j], a[piv * n + j]);
    std::swap(b[k], b[piv]);
    for (int32_t i = k + 1; i < n; ++i) {
      const dcomplex f = a[i * n + k] / a[k * n + k];
      for (int32_t j = k; j < n; ++j) a[i * n + j] = a[i * n + j] - f * a[k * n + j];
      b[i] = b[i] - f * b[k];
    }
  }
  std::vector<dcomplex> x(n);
  for (int32_t k = n - 1; k >= 0; --k) {
    dcomplex s = b[k];
    for (int32_t j = k + 1; j < n; ++j) s = s - a[k * n + j] * x[j];
    x[k] = s / a[k * n + k];
  }
  return x;
}

}  // namespace sparse_fixtures
