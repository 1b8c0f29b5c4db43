// Fixed-size storage of the run.
//
// A per-cell map holds one value per cell (j,k) of the sample: j is the
// column (1..nx, along x), k the row (1..ny, along y, row 1 at the bottom).
// It is stored column-major with a leading dimension of 60, so cell (j,k)
// sits at position (k-1)*60 + j, and only the first nx x ny cells are used.
// The pressure fields use the same layout with a leading dimension of 160.
#pragma once

#include <array>
#include <cstdint>

constexpr int max_cells_x = 60;      // nx <= 60
constexpr int max_cells_y = 60;      // ny <= 60
constexpr int max_cells = 3600;      // nx*ny <= 3600
constexpr int max_unknowns = 22204;  // n of the 60 x 60 mesh
constexpr int max_entries = 1110200; // 50 stored matrix entries per unknown
constexpr int work_words = 11102000; // nsp: solver work block, in value words

template <class T, int LD = 60>
struct CellMap {
  static constexpr int leading_dimension = LD;
  std::array<T, LD * LD> data{};

  T& operator()(int j, int k) { return data[(k - 1) * LD + (j - 1)]; }
  const T& operator()(int j, int k) const { return data[(k - 1) * LD + (j - 1)]; }
};

using RealMap = CellMap<double>;
using IntMap = CellMap<std::int32_t>;

// Per-layer-type array, indexed by the layer type i = 1..2.
template <class T>
struct LayerArray {
  std::array<T, 2> data{};

  T& operator()(int i) { return data[i - 1]; }
  const T& operator()(int i) const { return data[i - 1]; }
};

using LayerReal = LayerArray<double>;

// The eighteen coefficient maps of the three-phase medium of every cell:
// elastic (Pa), mass (kg/m^3) and friction.  Helpers take the bundle and
// read each map by its name.
struct CoefficientMaps {
  RealMap lambda1, lambda3, mu1, mu3, mu13, b1, b2, m, d3;  // elastic
  RealMap p11, p12, p13, p22, p23, p33;                     // mass
  RealMap b11, b12, b22;                                    // friction
};
using LayerInt = LayerArray<std::int32_t>;
