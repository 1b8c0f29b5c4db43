#include "fem/global_numbering.hpp"

// Global order: the numbers run through the mesh row by row from the bottom.
// With P = 6*nx + 5 numbers per cell row,
//   vertex (a,b)  -> P*b + 5*a + 1 .. +4   (solid-1 x, solid-1 y, solid-3 x, solid-3 y)
//   horizontal edge between vertices (a-1,b) and (a,b) -> P*b + 5*a
//   vertical edge at x = a*h in cell row k -> P*(k-1) + 5*nx + 5 + a
// so every vertex row uses 5*nx + 4 numbers and is followed by the nx + 1
// vertical edges of the cell row above it. A cell's numbers then differ by
// at most P + 8, which keeps the matrix banded.
//
// W and V below are the numbers just before the lower-left and the upper-left
// vertex blocks of cell (j,k).
void global_numbering(const std::int32_t& nx, const std::int32_t& ny, NodeTable& xnod) {
  const std::int32_t p = 6 * nx + 5;
  for (std::int32_t j = 1; j <= nx; ++j) {
    for (std::int32_t k = 1; k <= ny; ++k) {
      const int e = (k - 1) * nx + j;
      const std::int32_t w = p * (k - 1) + 5 * (j - 1);
      const std::int32_t v = p * k + 5 * (j - 1);
      // Solid-1 x at the four vertices; the other vertex unknowns follow
      // in the same vertex block.
      using namespace slot;
      xnod(e, solid1_x(lower_left)) = w + 1;
      xnod(e, solid1_x(lower_right)) = w + 6;
      xnod(e, solid1_x(upper_right)) = v + 6;
      xnod(e, solid1_x(upper_left)) = v + 1;
      for (int vertex = lower_left; vertex <= upper_left; ++vertex) {
        xnod(e, solid1_y(vertex)) = xnod(e, solid1_x(vertex)) + 1;
        xnod(e, solid3_x(vertex)) = xnod(e, solid1_x(vertex)) + 2;
        xnod(e, solid3_y(vertex)) = xnod(e, solid1_x(vertex)) + 3;
      }
      // Fluid: left and right vertical edges, bottom and top horizontal edges.
      xnod(e, fluid_left) = p * (k - 1) + 5 * nx + 4 + j;
      xnod(e, fluid_right) = xnod(e, fluid_left) + 1;
      xnod(e, fluid_bottom) = w + 5;
      xnod(e, fluid_top) = v + 5;
    }
  }
}

void piston_numbering(const std::int32_t& nx, const std::int32_t& ny, NodeTable& xnod) {
  global_numbering(nx, ny, xnod);
  if (nx <= 0 || ny <= 0) return;
  // The top vertex row b = ny holds, for vertex a, the block
  // P*ny + 5*a + 1 .. +4 (solid-1 x, solid-1 y, solid-3 x, solid-3 y).  Its
  // 2*(nx + 1) vertical unknowns become the first of them, `shared`; every
  // other number above `shared` moves down by the count of merged numbers
  // below it.  Vertical unknowns of vertex a: P*ny + 5*a + 2 and + 4.
  const std::int32_t p = 6 * nx + 5;
  const std::int32_t top = p * ny;
  const std::int32_t shared = top + 2;
  auto renumber = [&](std::int32_t number) -> std::int32_t {
    if (number <= shared) return number;
    const std::int32_t offset = number - top - 1;  // 0-based place in the top vertex row
    const std::int32_t a = offset / 5, in_block = offset % 5;
    if (in_block == 1 || in_block == 3) return shared;  // a vertical displacement of the top
    // Places in the block: 0 solid-1 x, 1 solid-1 y, 2 solid-3 x, 3 solid-3
    // y, 4 the horizontal edge to the right of vertex a.  Merged numbers
    // below: 2 per earlier vertex, less the one kept, plus this vertex's
    // vertical unknowns that lie below the number.
    std::int32_t merged_below = 2 * a - 1;
    if (in_block > 1) merged_below += 1;
    if (in_block > 3) merged_below += 1;
    return number - merged_below;
  };
  for (int e = 1; e <= nx * ny; ++e) {
    for (int s = 1; s <= NodeTable::slots; ++s) xnod(e, s) = renumber(xnod(e, s));
  }
}

void number_unknowns(TopLoad load, const std::int32_t& nx, const std::int32_t& ny, NodeTable& xnod) {
  if (load == TopLoad::periodic) {
    std::vector<std::int32_t> mark;
    periodic_numbering(nx, ny, xnod, mark);
  } else if (load == TopLoad::piston) {
    piston_numbering(nx, ny, xnod);
  } else {
    global_numbering(nx, ny, xnod);
  }
}

std::int32_t numbered_unknowns(const std::int32_t& nx, const std::int32_t& ny, const NodeTable& xnod) {
  std::int32_t n = 0;
  if (nx <= 0 || ny <= 0) return unknown_count(nx, ny);
  for (int e = 1; e <= nx * ny; ++e) {
    for (int s = 1; s <= NodeTable::slots; ++s) n = xnod(e, s) > n ? xnod(e, s) : n;
  }
  return n;
}

double affine_displacement(const MacroStrain& e, int s, double h) {
  using namespace slot;
  // Local vertices 1..4 at (0,0), (h,0), (h,h), (0,h).
  constexpr double at_x[5] = {0.0, 0.0, 1.0, 1.0, 0.0}, at_z[5] = {0.0, 0.0, 0.0, 1.0, 1.0};
  int v = 0;
  bool x_component = false;
  if (s >= solid1_x(1) && s <= solid1_x(4)) {
    v = s, x_component = true;
  } else if (s >= solid1_y(1) && s <= solid1_y(4)) {
    v = s - 4;
  } else if (s >= solid3_x(1) && s <= solid3_x(4)) {
    v = s - 12, x_component = true;
  } else if (s >= solid3_y(1) && s <= solid3_y(4)) {
    v = s - 16;
  } else {
    return 0.0;  // the fluid has no affine part
  }
  const double x = at_x[v] * h, z = at_z[v] * h;
  // u = E x with E = [[e_xx, gamma/2], [gamma/2, e_zz]].
  const double half_gamma = e.gxz / 2.0;
  return x_component ? e.exx * x + half_gamma * z : half_gamma * x + e.ezz * z;
}

namespace {

// The vertex (a, b) of local vertex v = 1..4 of cell (j, k).
void vertex_of(std::int32_t j, std::int32_t k, int v, std::int32_t& a, std::int32_t& b) {
  a = (v == slot::lower_left || v == slot::upper_left) ? j - 1 : j;
  b = (v == slot::lower_left || v == slot::lower_right) ? k - 1 : k;
}

}  // namespace

bool periodic_held_slot(std::int32_t j, std::int32_t k, std::int32_t nx, std::int32_t ny, int s) {
  using namespace slot;
  int v = 0;
  if (s >= solid1_x(1) && s <= solid1_x(4)) v = s;
  if (s >= solid1_y(1) && s <= solid1_y(4)) v = s - 4;
  if (v == 0) return false;
  std::int32_t a, b;
  vertex_of(j, k, v, a, b);
  return a % nx == 0 && b % ny == 0;
}

void periodic_numbering(const std::int32_t& nx, const std::int32_t& ny, NodeTable& xnod,
                        std::vector<std::int32_t>& mark) {
  if (nx <= 0 || ny <= 0) return;
  // The number that global_numbering gives the image of each unknown:
  // vertex (a, b) -> P b + 5 a + 1 .. + 4, horizontal edge right of vertex
  // (a - 1, b) -> P b + 5 a, vertical edge at x = a h in row k ->
  // P (k - 1) + 5 nx + 5 + a.
  const std::int32_t p = 6 * nx + 5;
  using namespace slot;
  for (std::int32_t j = 1; j <= nx; ++j) {
    for (std::int32_t k = 1; k <= ny; ++k) {
      const int e = (k - 1) * nx + j;
      for (int v = lower_left; v <= upper_left; ++v) {
        std::int32_t a, b;
        vertex_of(j, k, v, a, b);
        const std::int32_t first = p * (b % ny) + 5 * (a % nx) + 1;
        xnod(e, solid1_x(v)) = first;
        xnod(e, solid1_y(v)) = first + 1;
        xnod(e, solid3_x(v)) = first + 2;
        xnod(e, solid3_y(v)) = first + 3;
      }
      xnod(e, fluid_left) = p * (k - 1) + 5 * nx + 5 + (j - 1);
      xnod(e, fluid_right) = p * (k - 1) + 5 * nx + 5 + j % nx;
      xnod(e, fluid_bottom) = p * (k - 1) + 5 * j;
      xnod(e, fluid_top) = p * (k % ny) + 5 * j;
    }
  }
  // Close up: each number used becomes the count of used numbers up to it.
  const std::int32_t total = unknown_count(nx, ny);
  mark.assign(static_cast<std::size_t>(total) + 1, 0);
  for (int e = 1; e <= nx * ny; ++e) {
    for (int s = 1; s <= NodeTable::slots; ++s) mark[xnod(e, s)] = 1;
  }
  for (std::int32_t x = 1; x <= total; ++x) mark[x] += mark[x - 1];
  for (int e = 1; e <= nx * ny; ++e) {
    for (int s = 1; s <= NodeTable::slots; ++s) xnod(e, s) = mark[xnod(e, s)];
  }
}

bool loaded_slot(HarmonicTest test, std::int32_t j, std::int32_t k, std::int32_t nx, std::int32_t ny, int s) {
  using namespace slot;
  switch (test) {
    case HarmonicTest::vertical:  // y of both solids at the top vertices
      return k == ny && (s == solid1_y(upper_left) || s == solid1_y(upper_right) || s == solid3_y(upper_left) ||
                         s == solid3_y(upper_right));
    case HarmonicTest::horizontal:  // x of both solids at the right vertices
      return j == nx && (s == solid1_x(lower_right) || s == solid1_x(upper_right) || s == solid3_x(lower_right) ||
                         s == solid3_x(upper_right));
    case HarmonicTest::shear:  // x of both solids at the top vertices
      return k == ny && (s == solid1_x(upper_left) || s == solid1_x(upper_right) || s == solid3_x(upper_left) ||
                         s == solid3_x(upper_right));
    default:  // the periodic tests load no plate
      return false;
  }
}

// mark[x] = 1 for the merged numbers, then their count at or below x.  A
// merged number moves onto the kept (smallest) one, and every other number
// moves down by the merged numbers below it, less the kept one.
namespace {

// The local slot of the transposed cell (x <-> y) that slot s of a cell
// becomes: local vertices 1, 2, 3, 4 -> 1, 4, 3, 2, the x and y
// displacements of each solid swapped, fluid edges L, R, B, T -> B, T, L, R.
int transposed_slot(int s) {
  using namespace slot;
  constexpr int vertex[5] = {0, 1, 4, 3, 2};
  if (s >= 1 && s <= 4) return solid1_y(vertex[s]);
  if (s >= 5 && s <= 8) return solid1_x(vertex[s - 4]);
  if (s >= 13 && s <= 16) return solid3_y(vertex[s - 12]);
  if (s >= 17 && s <= 20) return solid3_x(vertex[s - 16]);
  constexpr int edge[4] = {fluid_bottom, fluid_top, fluid_left, fluid_right};
  return edge[s - fluid_left];
}

}  // namespace

void transposed_piston_numbering(const std::int32_t& nx, const std::int32_t& ny, NodeTable& xnod,
                                 NodeTable& transposed) {
  transposed.resize(nx * ny);
  piston_numbering(ny, nx, transposed);
  for (std::int32_t j = 1; j <= nx; ++j) {
    for (std::int32_t k = 1; k <= ny; ++k) {
      const int e = (k - 1) * nx + j, et = (j - 1) * ny + k;  // cell (j,k) and its transpose (k,j)
      for (int s = 1; s <= NodeTable::slots; ++s) xnod(e, s) = transposed(et, transposed_slot(s));
    }
  }
}

void merged_numbering(HarmonicTest test, const std::int32_t& nx, const std::int32_t& ny, NodeTable& xnod,
                      std::vector<std::int32_t>& mark) {
  global_numbering(nx, ny, xnod);
  if (nx <= 0 || ny <= 0) return;
  const std::int32_t total = unknown_count(nx, ny);
  mark.assign(static_cast<std::size_t>(total) + 1, 0);
  std::int32_t kept = total + 1;
  for (std::int32_t j = 1; j <= nx; ++j) {
    for (std::int32_t k = 1; k <= ny; ++k) {
      const int e = (k - 1) * nx + j;
      for (int s = 1; s <= NodeTable::slots; ++s) {
        if (!loaded_slot(test, j, k, nx, ny, s)) continue;
        mark[xnod(e, s)] = 1;
        kept = xnod(e, s) < kept ? xnod(e, s) : kept;
      }
    }
  }
  // In place: mark[x] becomes the count of merged numbers at or below x,
  // and x is merged exactly when the count steps at x.
  for (std::int32_t x = 1; x <= total; ++x) mark[x] += mark[x - 1];
  for (int e = 1; e <= nx * ny; ++e) {
    for (int s = 1; s <= NodeTable::slots; ++s) {
      const std::int32_t x = xnod(e, s);
      if (mark[x] != mark[x - 1]) {
        xnod(e, s) = kept;
      } else {
        xnod(e, s) = x - (mark[x] > 0 ? mark[x] - 1 : 0);
      }
    }
  }
}
