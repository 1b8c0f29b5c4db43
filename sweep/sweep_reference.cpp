#include "sweep/sweep_reference.hpp"

namespace {

// The coefficients of cell (j,k) that enter the one-dimensional test.
ExactLayer cell_layer(const CoefficientMaps& c, std::int32_t j, std::int32_t k, double thickness) {
  return ExactLayer{thickness,  c.lambda1(j, k), c.lambda3(j, k), c.mu1(j, k), c.mu3(j, k), c.mu13(j, k),
                    c.b1(j, k), c.b2(j, k),      c.m(j, k),       c.d3(j, k),  c.b11(j, k), c.b12(j, k),
                    c.b22(j, k)};
}

bool same_medium(const ExactLayer& a, const ExactLayer& b) {
  return a.lambda1 == b.lambda1 && a.lambda3 == b.lambda3 && a.mu1 == b.mu1 && a.mu3 == b.mu3 &&
         a.mu13 == b.mu13 && a.b1 == b.b1 && a.b2 == b.b2 && a.m == b.m && a.d3 == b.d3 && a.b11 == b.b11 &&
         a.b12 == b.b12 && a.b22 == b.b22;
}

}  // namespace

bool row_uniform_layers(std::int32_t nx, std::int32_t ny, double h, const CoefficientMaps& coef,
                        std::vector<ExactLayer>& layers) {
  layers.clear();
  std::vector<std::int32_t> rows;  // rows of each layer: its thickness is rows * h
  for (std::int32_t k = 1; k <= ny; ++k) {
    const ExactLayer row = cell_layer(coef, 1, k, h);
    for (std::int32_t j = 2; j <= nx; ++j) {
      if (!same_medium(row, cell_layer(coef, j, k, h))) {
        layers.clear();
        return false;
      }
    }
    if (!layers.empty() && same_medium(layers.back(), row)) {
      ++rows.back();
    } else {
      layers.push_back(row);
      rows.push_back(1);
    }
  }
  for (std::size_t l = 0; l < layers.size(); ++l) layers[l].thickness = static_cast<double>(rows[l]) * h;
  return !layers.empty();
}

double diffusion_length_in_cells(std::int32_t nx, std::int32_t ny, double h, const CoefficientMaps& coef,
                                 double omega) {
  double largest = 0.0;
  ExactLayer previous{};
  for (std::int32_t k = 1; k <= ny; ++k) {
    for (std::int32_t j = 1; j <= nx; ++j) {
      const ExactLayer cell = cell_layer(coef, j, k, h);
      if (j + k > 2 && same_medium(cell, previous)) continue;  // most neighbours share their medium
      previous = cell;
      const double lambda = largest_diffusion_eigenvalue(cell);
      largest = lambda > largest ? lambda : largest;
    }
  }
  return diffusion_length(omega, largest) / h;
}
