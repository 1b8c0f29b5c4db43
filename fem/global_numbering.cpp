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
