// Storage of the run, sized from the deck.
//
// A per-cell map holds one value per cell (j,k) of the sample: j is the
// column (1..nx, along x), k the row (1..ny, along y, row 1 at the bottom).
// It is stored column-major: cell (j,k) sits at position (k-1)*ld + j.  A
// map is made for at least 60 x 60 cells, so that on meshes up to 60 x 60
// the layout is the one of the fixed arrays of the classic layout
// (leading dimension 60); a larger mesh sizes it with resize(nx, ny).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// The sizes of the classic fixed arrays, which every mesh up to
// 60 x 60 keeps: its solver work block and the 50 stored entries per
// unknown of the assembly.
constexpr int classic_cells_x = 60;
constexpr int classic_cells_y = 60;
constexpr int classic_cells = 3600;
constexpr int classic_unknowns = 22204;   // n of the 60 x 60 mesh
constexpr int entries_per_unknown = 50;   // room of the assembly per unknown
constexpr int classic_work_words = 11102000;  // the solver's work block at 60 x 60

template <class T>
struct CellMap {
  std::int32_t ld = classic_cells_x;  // leading dimension
  std::vector<T> data = std::vector<T>(std::size_t{classic_cells_x} * classic_cells_y);

  // Room for an nx x ny mesh (at least 60 x 60), every value cleared.
  void resize(std::int32_t nx, std::int32_t ny) {
    ld = nx > classic_cells_x ? nx : classic_cells_x;
    const std::int32_t rows = ny > classic_cells_y ? ny : classic_cells_y;
    data.assign(static_cast<std::size_t>(ld) * static_cast<std::size_t>(rows), T{});
  }

  T& operator()(int j, int k) { return data[static_cast<std::size_t>(k - 1) * ld + (j - 1)]; }
  const T& operator()(int j, int k) const { return data[static_cast<std::size_t>(k - 1) * ld + (j - 1)]; }
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

  void resize(std::int32_t nx, std::int32_t ny) {
    for (RealMap* map : {&lambda1, &lambda3, &mu1, &mu3, &mu13, &b1, &b2, &m, &d3, &p11, &p12, &p13, &p22, &p23,
                         &p33, &b11, &b12, &b22}) {
      map->resize(nx, ny);
    }
  }
};
using LayerInt = LayerArray<std::int32_t>;

// An array of trivial values whose storage is taken once and left
// untouched until written (no value initialisation): large arrays of the
// system cost no page until the assembly fills them.
template <class T>
class Buffer {
 public:
  void allocate(std::size_t count) {
    values_.reset(new T[count > 0 ? count : 1]);
    size_ = count;
  }
  T* data() { return values_.get(); }
  const T* data() const { return values_.get(); }
  T& operator[](std::size_t i) { return values_[i]; }
  const T& operator[](std::size_t i) const { return values_[i]; }
  T* begin() { return data(); }
  const T* begin() const { return data(); }
  T* end() { return data() + size_; }
  std::size_t size() const { return size_; }

 private:
  std::unique_ptr<T[]> values_;
  std::size_t size_ = 0;
};
