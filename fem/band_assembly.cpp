#include "fem/band_assembly.hpp"

#include <algorithm>
#include <cstring>

#include "fem/element_scatter.hpp"
#include "fem/local_sys.hpp"

void band_cell_rows(std::int32_t ny, std::int32_t bands, std::int32_t b, std::int32_t& first_cell_row,
                    std::int32_t& last_cell_row) {
  const std::int64_t rows = ny;
  first_cell_row = static_cast<std::int32_t>(1 + b * rows / bands);
  last_cell_row = static_cast<std::int32_t>((b + 1) * rows / bands);
}

void band_unknowns(const std::int32_t& nx, const std::int32_t& ny, const NodeTable& xnod, std::int32_t k0,
                   std::int32_t k1, std::vector<unsigned char>& own) {
  const std::int32_t n = numbered_unknowns(nx, ny, xnod);
  std::vector<std::int32_t> highest_row(static_cast<std::size_t>(n) + 1, 0);
  for (std::int32_t k = 1; k <= ny; ++k)
    for (std::int32_t j = 1; j <= nx; ++j)
      for (int s = 1; s <= 20; ++s) highest_row[xnod((k - 1) * nx + j, s)] = k;
  own.assign(static_cast<std::size_t>(n), 0);
  for (std::int32_t r = 1; r <= n; ++r) own[r - 1] = highest_row[r] >= k0 && highest_row[r] <= k1 ? 1 : 0;
}

// 1. The highest cell row of every unknown, hence the band's own unknowns;
// 2. the cells touching them, in assembly order, with their sorted numbers;
// 3. row r = the union of the sorted numbers of r's cells (as global_pattern
//    makes it), through each cell's list of the band's unknowns it holds.
void band_pattern(const std::int32_t& nx, const std::int32_t& ny, const NodeTable& xnod, std::int32_t k0,
                  std::int32_t k1, RowBand& band) {
  const std::int32_t n = numbered_unknowns(nx, ny, xnod);
  band.first_cell_row = k0;
  band.last_cell_row = k1;
  band.n = n;

  // --- 1. The band's unknowns ---
  std::vector<unsigned char> own;
  band_unknowns(nx, ny, xnod, k0, k1, own);
  band.rows.clear();
  band.local.assign(static_cast<std::size_t>(n) + 1, 0);
  for (std::int32_t r = 1; r <= n; ++r) {
    if (own[r - 1] == 0) continue;
    band.rows.push_back(r);
    band.local[r] = static_cast<std::int32_t>(band.rows.size());
  }

  // --- 2. Its cells, j outer, k inner ---
  band.cells.clear();
  for (std::int32_t j = 1; j <= nx; ++j)
    for (std::int32_t k = 1; k <= ny; ++k) {
      const std::int32_t e = (k - 1) * nx + j;
      for (int s = 1; s <= 20; ++s)
        if (band.local[xnod(e, s)] != 0) {
          band.cells.push_back(e);
          break;
        }
    }
  const std::size_t ncells = band.cells.size();
  band.sorted_node.assign(ncells * 20, 0);
  band.sorted_slot.assign(ncells * 20, 0);
  for (std::size_t c = 0; c < ncells; ++c)
    element_scatter::sort_cell_numbers(xnod, band.cells[c], &band.sorted_node[c * 20], &band.sorted_slot[c * 20]);

  // --- 3. The pattern: the cells of each of the band's rows, then their union ---
  const std::size_t rows = band.rows.size();
  std::vector<std::int64_t> start(rows + 2, 0);
  for (std::size_t c = 0; c < ncells; ++c)
    for (int q = 0; q < 20; ++q) {
      const std::int32_t i = band.local[band.sorted_node[c * 20 + q]];
      if (i != 0 && (q == 0 || band.sorted_node[c * 20 + q - 1] != band.sorted_node[c * 20 + q])) ++start[i + 1];
    }
  for (std::size_t i = 1; i <= rows; ++i) start[i + 1] += start[i];
  std::vector<std::int32_t> row_cells(static_cast<std::size_t>(start[rows + 1]));
  {
    std::vector<std::int64_t> next(start.begin() + 1, start.end());
    for (std::size_t c = 0; c < ncells; ++c)
      for (int q = 0; q < 20; ++q) {
        const std::int32_t i = band.local[band.sorted_node[c * 20 + q]];
        if (i != 0 && (q == 0 || band.sorted_node[c * 20 + q - 1] != band.sorted_node[c * 20 + q]))
          row_cells[static_cast<std::size_t>(next[i - 1]++)] = static_cast<std::int32_t>(c);
      }
  }
  band.ia.assign(rows + 1, 1);
  band.ja.clear();
  std::vector<std::int32_t> row(static_cast<std::size_t>(n)), spare(static_cast<std::size_t>(n));
  for (std::size_t i = 0; i < rows; ++i) {
    int len = 0;
    for (std::int64_t q = start[i + 1]; q < start[i + 2]; ++q) {
      len = element_scatter::merge_unique(row.data(), len, &band.sorted_node[row_cells[q] * std::size_t{20}], 20,
                                          spare.data());
      std::swap(row, spare);
    }
    band.ja.insert(band.ja.end(), row.begin(), row.begin() + len);
    band.ia[i + 1] = band.ia[i] + len;
  }
  band.a.assign(band.ja.size(), dcomplex(0.0, 0.0));
  band.rhs.assign(rows, dcomplex(0.0, 0.0));
  band.touched.assign(band.ja.size(), 0);
}

void band_values(const double& omega, const std::int32_t& nx, const std::int32_t& ny, const double& h,
                 const NodeTable& xnod, const CoefficientMaps& coef, RowBand& band, HarmonicTest test) {
  std::fill(band.rhs.begin(), band.rhs.end(), dcomplex(0.0, 0.0));
  std::fill(band.touched.begin(), band.touched.end(), static_cast<unsigned char>(0));
  ElementMatrix a_el;
  ElementVector rhs_el;
  for (std::size_t c = 0; c < band.cells.size(); ++c) {
    const std::int32_t e = band.cells[c];
    const std::int32_t j = (e - 1) % nx + 1, k = (e - 1) / nx + 1;
    local_sys(j, k, nx, ny, omega, h, coef.lambda1(j, k), coef.lambda3(j, k), coef.mu1(j, k), coef.mu3(j, k),
              coef.mu13(j, k), coef.b1(j, k), coef.b2(j, k), coef.m(j, k), coef.d3(j, k), coef.p11(j, k),
              coef.p12(j, k), coef.p13(j, k), coef.p22(j, k), coef.p23(j, k), coef.p33(j, k), coef.b11(j, k),
              coef.b12(j, k), coef.b22(j, k), a_el, rhs_el, test);
    const std::int32_t* node = &band.sorted_node[c * 20];
    const std::int32_t* slot = &band.sorted_slot[c * 20];
    for (int s = 1; s <= 20; ++s) {
      const std::int32_t i = band.local[xnod(e, s)];
      if (i == 0) continue;
      element_scatter::add_element_row(a_el, s, node, slot, band.ia[i - 1], band.ja.data(), band.a.data(),
                                       band.touched.data());
    }
    for (int s = 1; s <= 20; ++s) {
      const std::int32_t i = band.local[xnod(e, s)];
      if (i == 0) continue;
      band.rhs[i - 1].re += rhs_el(s).re;
      band.rhs[i - 1].im += rhs_el(s).im;
    }
  }
}
