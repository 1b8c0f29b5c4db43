// The exact reference of a sweep: a sample whose every row of cells is
// uniform is a stack of layers, and its test has the exact one-dimensional
// solution of exact/layered_exact.hpp.
#pragma once

#include <vector>

#include "common/cellmap.hpp"
#include "exact/diffusion_length.hpp"
#include "exact/layered_exact.hpp"

// The layers of the sample, bottom first: consecutive rows with the same
// coefficients (bit for bit) form one layer of their total height.  Returns
// false, with `layers` emptied, when some row is not uniform along x.
bool row_uniform_layers(std::int32_t nx, std::int32_t ny, double h, const CoefficientMaps& coef,
                        std::vector<ExactLayer>& layers);

// The shortest diffusion length of the sample's cells at omega, in cells
// of side h: the thinnest boundary layer of the slow mode, which a mesh
// resolves only while it spans a few cells (exact/diffusion_length.hpp).
double diffusion_length_in_cells(std::int32_t nx, std::int32_t ny, double h, const CoefficientMaps& coef,
                                 double omega);
