// global_numbering: the global number of every local unknown of every cell.
//
// In:  nx, ny, the mesh size (cells along x and along y).
// Out: xnod(e, s), the global number (1..n) of local slot s = 1..20 of cell
//      e = (k-1)*nx + j; rows 1..nx*ny are written, the rest untouched.
//      n = 6*nx*ny + 5*nx + 5*ny + 4.
//
// Local slots of a cell (local vertices 1..4 = lower left, lower right,
// upper right, upper left):
//   1-4   solid-1 x displacement at vertices 1-4    (xs1_1)
//   5-8   solid-1 y displacement at vertices 1-4    (xs1_2)
//   9,10  fluid x displacement on the left, right edge   (xf_L, xf_R)
//   11,12 fluid y displacement on the bottom, top edge   (xf_B, xf_T)
//   13-16 solid-3 x displacement at vertices 1-4    (xs2_1)
//   17-20 solid-3 y displacement at vertices 1-4    (xs2_2)
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/cellmap.hpp"

// The local slots by name.  Local vertices v = 1..4: lower left, lower
// right, upper right, upper left.
namespace slot {
constexpr int lower_left = 1, lower_right = 2, upper_right = 3, upper_left = 4;
constexpr int solid1_x(int v) { return v; }
constexpr int solid1_y(int v) { return 4 + v; }
constexpr int fluid_left = 9, fluid_right = 10, fluid_bottom = 11, fluid_top = 12;
constexpr int solid3_x(int v) { return 12 + v; }
constexpr int solid3_y(int v) { return 16 + v; }
}  // namespace slot

// The table xnod: `rows` rows (at least the 3600 of a 60 x 60 mesh, more
// after resize for a larger one) x 20 columns, column-major (cell index
// fastest), 1-based access xnod(cell, slot).
struct NodeTable {
  static constexpr int slots = 20;
  std::int32_t rows = classic_cells;
  std::vector<std::int32_t> data = std::vector<std::int32_t>(std::size_t{classic_cells} * slots);

  void resize(std::int32_t cells) {
    rows = cells > classic_cells ? cells : classic_cells;
    data.assign(static_cast<std::size_t>(rows) * slots, 0);
  }

  std::int32_t& operator()(int e, int s) { return data[static_cast<std::size_t>(s - 1) * rows + (e - 1)]; }
  const std::int32_t& operator()(int e, int s) const {
    return data[static_cast<std::size_t>(s - 1) * rows + (e - 1)];
  }
};

// Number of unknowns of an nx x ny mesh: four per vertex, one per edge.
constexpr std::int32_t unknown_count(std::int32_t nx, std::int32_t ny) {
  return (6 * nx + 5) * ny + 5 * nx + 4;
}

void global_numbering(const std::int32_t& nx, const std::int32_t& ny, NodeTable& xnod);

// How the top of the sample is loaded.
//   split:  the top of each solid carries its own uniform traction of 1 Pa;
//           the two frames may slip against each other and the top need
//           not stay flat.
//   piston: a rigid, impermeable piston carries 2 Pa in total: the vertical
//           displacements of both solids at every top vertex are one
//           unknown, so the loaded side stays flat and the frames cannot
//           slip there; the horizontal displacements stay free.
//   periodic: no load and no side at all: the sample is one period of an
//           infinite medium under an imposed macroscopic strain (see
//           HarmonicTest's periodic tests).
enum class TopLoad { split, piston, periodic };

// piston_numbering: the numbering of global_numbering with the vertical
// displacements of both solids at all nx + 1 top vertices made one unknown.
// It takes the place of the smallest of them (the solid-1 vertical
// displacement of the upper-left corner); the numbers above it close up in
// their order, so n = unknown_count(nx, ny) - 2*(nx + 1) + 1.  The assembly
// then adds the rows of the shared unknown and their loads by itself.
void piston_numbering(const std::int32_t& nx, const std::int32_t& ny, NodeTable& xnod);

// The numbering of the chosen load: global_numbering or piston_numbering.
void number_unknowns(TopLoad load, const std::int32_t& nx, const std::int32_t& ny, NodeTable& xnod);

// The harmonic tests of the sample.  Every side is closed to the fluid,
// and the load is carried by a rigid plate bonded to both solids: the
// displacements of both solids along the load at every loaded vertex are
// one unknown (its row sums their rows and their nodal loads).
//   vertical:   left, right: x held; bottom: y held; the top loaded
//               vertically (the piston numbering when the load is piston,
//               the default test when it is split);
//   horizontal: the vertical test turned a quarter: left: x held; top,
//               bottom: y held; the right side loaded horizontally;
//   shear:      bottom: x and y held; left, right and top: y held; the
//               top loaded horizontally by a plate whose horizontal
//               displacement is one unknown.
//
// The periodic tests take the sample as one period of an infinite medium:
// no wall, no plate, no loaded face.  The displacement of each solid is
// the affine field E.x of an imposed macroscopic strain E plus a periodic
// fluctuation, u(x + L) = u(x) + E.L across opposite sides, and the fluid
// displacement is periodic; the unknowns are the fluctuations
// (periodic_numbering).  The common rigid translation of the two solids is
// the only motion the equations do not resist (a slip of one solid against
// the other, or a uniform flux of the fluid, meets friction at any
// frequency above zero), so exactly it is removed: solid 1's displacement
// at the corner vertex is held at zero, and nothing else.
//   periodic_vertical:   E = e_zz = 1;
//   periodic_horizontal: E = e_xx = 1;
//   periodic_shear:      E = gamma_xz = 2 e_xz = 1.
enum class HarmonicTest { vertical, horizontal, shear, periodic_vertical, periodic_horizontal, periodic_shear };

constexpr bool is_periodic(HarmonicTest test) {
  return test == HarmonicTest::periodic_vertical || test == HarmonicTest::periodic_horizontal ||
         test == HarmonicTest::periodic_shear;
}

// A macroscopic strain: e_xx, e_zz and the engineering shear gamma_xz.
struct MacroStrain {
  double exx = 0, ezz = 0, gxz = 0;
};

// The strain a periodic test imposes (zero for the other tests).
constexpr MacroStrain imposed_strain(HarmonicTest test) {
  switch (test) {
    case HarmonicTest::periodic_vertical: return MacroStrain{0.0, 1.0, 0.0};
    case HarmonicTest::periodic_horizontal: return MacroStrain{1.0, 0.0, 0.0};
    case HarmonicTest::periodic_shear: return MacroStrain{0.0, 0.0, 1.0};
    default: return MacroStrain{};
  }
}

// The affine displacement E.x of local slot s at the local vertex of a cell
// whose lower-left corner is the origin (cell side h): x = (0 or h, 0 or
// h).  Zero for the fluid slots.  Within a cell the affine field is known
// up to a rigid translation, which neither the element matrices nor the
// strains see, so each cell may take its own corner as the origin; the
// numbers then do not grow with the cell's place in the sample.
double affine_displacement(const MacroStrain& e, int s, double h);

// periodic_numbering: the numbering of the fluctuations of a periodic test.
// Vertex (a, b) is vertex (a mod nx, b mod ny), the vertical edge at x =
// nx h is the one at x = 0, the horizontal edge at y = ny h the one at
// y = 0; each merged unknown keeps the number of its image inside the
// sample (the smallest), and the numbers close up in their order, so
// n = 6 nx ny.  `mark` is the caller's scratch of unknown_count(nx, ny) + 1
// entries.
void periodic_numbering(const std::int32_t& nx, const std::int32_t& ny, NodeTable& xnod,
                        std::vector<std::int32_t>& mark);

// Whether local slot s of cell (j,k) is a displacement of solid 1 at the
// corner vertex (0, 0) of the periodic mesh, which a periodic test holds.
bool periodic_held_slot(std::int32_t j, std::int32_t k, std::int32_t nx, std::int32_t ny, int s);

// merged_numbering: the numbering of global_numbering with the
// displacements of both solids along the load at every loaded vertex of
// `test` made one unknown, numbered as the smallest of them; the numbers
// above close up in their order.  For the vertical test it is
// piston_numbering.  The right side has ny + 1 vertices and the top nx + 1,
// so n = unknown_count(nx, ny) - 2*(ny + 1) + 1 (horizontal) or
// - 2*(nx + 1) + 1 (vertical, shear).  `mark` is the caller's scratch of
// unknown_count(nx, ny) + 1 entries.
void merged_numbering(HarmonicTest test, const std::int32_t& nx, const std::int32_t& ny, NodeTable& xnod,
                      std::vector<std::int32_t>& mark);

// transposed_piston_numbering: the horizontal test is the vertical piston
// test of the mesh mirrored about its diagonal (x <-> y: the right side
// becomes the top, the left the bottom, and the x and y displacements
// swap), and this is its numbering: piston_numbering of the ny x nx mesh,
// read through the mirror.  It merges the same unknowns as
// merged_numbering(horizontal), but the system is then the vertical piston
// test's own, with the same ordering and the same fill (the numbering
// steers the ties of the minimum-degree ordering: numbered along the rows,
// the horizontal test's factors take a third more time).  `transposed` is
// the caller's scratch.
void transposed_piston_numbering(const std::int32_t& nx, const std::int32_t& ny, NodeTable& xnod,
                                 NodeTable& transposed);

// Whether local slot s of cell (j,k) is a displacement that `test` merges
// into its loaded plate (the slots that carry the nodal load).
bool loaded_slot(HarmonicTest test, std::int32_t j, std::int32_t k, std::int32_t nx, std::int32_t ny, int s);

// The number of unknowns of a numbering: its largest number (every number
// 1..n occurs), unknown_count(nx, ny) for global_numbering's.
std::int32_t numbered_unknowns(const std::int32_t& nx, const std::int32_t& ny, const NodeTable& xnod);
