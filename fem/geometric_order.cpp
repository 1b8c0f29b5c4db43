#include "fem/geometric_order.hpp"

#include <stdexcept>

namespace {

// The places of the unknowns on a grid of doubled coordinates: vertex
// (a, b) at (2a, 2b), the vertical edge at x = a h of cell row k at
// (2a, 2k - 1), the horizontal edge at y = b h of cell column j at
// (2j - 1, 2b). A cell (j, k) spans X = 2j-2 .. 2j and Y = 2k-2 .. 2k; its
// centre (both coordinates odd) holds no unknown.
class Dissection {
 public:
  Dissection(std::int32_t nx, std::int32_t ny, const NodeTable& xnod, std::vector<std::int32_t>& met)
      : nx_(nx), ny_(ny), xnod_(xnod), met_(met) {}

  // Numbers the places of the box [x0, x1] x [y0, y1] (inclusive).
  void dissect(std::int32_t x0, std::int32_t x1, std::int32_t y0, std::int32_t y1) {
    // The cells of the box are its odd coordinates; a cut is an even
    // coordinate strictly inside, at the middle of the longer side.
    const std::int32_t columns = odd_count(x0, x1), rows = odd_count(y0, y1);
    if (columns < 2 && rows < 2) {
      for (std::int32_t y = y0; y <= y1; ++y)
        for (std::int32_t x = x0; x <= x1; ++x) meet(x, y);
      return;
    }
    if (columns >= rows) {
      const std::int32_t cut = middle_even(x0, x1);
      dissect(x0, cut - 1, y0, y1);
      dissect(cut + 1, x1, y0, y1);
      for (std::int32_t y = y0; y <= y1; ++y) meet(cut, y);
    } else {
      const std::int32_t cut = middle_even(y0, y1);
      dissect(x0, x1, y0, cut - 1);
      dissect(x0, x1, cut + 1, y1);
      for (std::int32_t x = x0; x <= x1; ++x) meet(x, cut);
    }
  }

  // Appends the unknowns at place (x, y), read from a cell that holds it.
  void meet(std::int32_t x, std::int32_t y) {
    if (x % 2 == 1 && y % 2 == 1) return;  // a cell's centre
    // The cell: the one to the upper right of the place where there is
    // one, else the one to its left or below.
    const std::int32_t j = x / 2 + 1 <= nx_ ? x / 2 + 1 : nx_;
    const std::int32_t k = y / 2 + 1 <= ny_ ? y / 2 + 1 : ny_;
    const std::int32_t jc = x % 2 == 1 ? (x + 1) / 2 : j;
    const std::int32_t kc = y % 2 == 1 ? (y + 1) / 2 : k;
    const int e = (kc - 1) * nx_ + jc;
    const bool left = x == 2 * (jc - 1), bottom = y == 2 * (kc - 1);
    using namespace slot;
    if (x % 2 == 0 && y % 2 == 0) {
      const int v = bottom ? (left ? lower_left : lower_right) : (left ? upper_left : upper_right);
      for (int s : {solid1_x(v), solid1_y(v), solid3_x(v), solid3_y(v)}) met_.push_back(xnod_(e, s));
    } else if (x % 2 == 0) {
      met_.push_back(xnod_(e, left ? fluid_left : fluid_right));
    } else {
      met_.push_back(xnod_(e, bottom ? fluid_bottom : fluid_top));
    }
  }

 private:
  static std::int32_t odd_count(std::int32_t lo, std::int32_t hi) {
    const std::int32_t first = lo % 2 == 1 ? lo : lo + 1;
    return first > hi ? 0 : (hi - first) / 2 + 1;
  }

  static std::int32_t middle_even(std::int32_t lo, std::int32_t hi) {
    const std::int32_t mid = lo + (hi - lo) / 2;
    return mid % 2 == 0 ? mid : mid + 1;
  }

  std::int32_t nx_, ny_;
  const NodeTable& xnod_;
  std::vector<std::int32_t>& met_;
};

}  // namespace

void geometric_order(std::int32_t nx, std::int32_t ny, const NodeTable& xnod, std::int32_t n,
                     std::vector<std::int32_t>& perm_in) {
  // Every meeting of every unknown, in the order of the dissection.
  std::vector<std::int32_t> met;
  met.reserve(static_cast<std::size_t>(n) + 4 * static_cast<std::size_t>(nx + ny + 2));
  Dissection dissection(nx, ny, xnod, met);
  // A periodic numbering closes the grid on itself: the side x = 0 is the
  // side x = nx h (one fluid unknown on their edges), and likewise in y.
  // The lines where it closes then cut the torus open into a rectangle, so
  // they are numbered after it, as the outermost separators.
  const bool x_closes = xnod(1, slot::fluid_left) == xnod(nx, slot::fluid_right);
  const bool y_closes = xnod(1, slot::fluid_bottom) == xnod((ny - 1) * nx + 1, slot::fluid_top);
  dissection.dissect(x_closes ? 1 : 0, x_closes ? 2 * nx - 1 : 2 * nx, y_closes ? 1 : 0,
                     y_closes ? 2 * ny - 1 : 2 * ny);
  if (y_closes)
    for (std::int32_t x = x_closes ? 1 : 0; x <= 2 * nx; ++x) dissection.meet(x, 0);
  if (x_closes)
    for (std::int32_t y = 0; y <= 2 * ny; ++y) dissection.meet(0, y);

  // Each unknown at its last meeting: walking back, the first meeting seen.
  perm_in.assign(static_cast<std::size_t>(n), 0);
  std::int32_t position = n;
  for (auto it = met.rbegin(); it != met.rend(); ++it) {
    std::int32_t& p = perm_in[static_cast<std::size_t>(*it - 1)];
    if (p == 0) p = position--;
  }
  if (position != 0) throw std::logic_error("geometric_order: the numbering does not use every number 1..n");
}
